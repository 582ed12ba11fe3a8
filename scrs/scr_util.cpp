// Node lists, navigation by the grammar's shapes and bounded searches.
#include "scrs/scr_internal.h"

#include "scrs/sqlt_stack.h"

#include <cstring>

namespace {

bool inList(int kind, std::initializer_list<int> kinds)
{
    for (int k : kinds)
        if (k == kind)
            return true;
    return false;
}

// Pre-order over the descendants of n; visit answers 1 to go below the node,
// 0 to skip below it, -1 to stop.  Answers false when stopped.
template <class Visit>
bool descendants(SqlNode *n, Visit visit)
{
    if (!n)
        return true;
    SqltStack<SqlNode *> pending;
    SqlNode *x = n->firstChild;
    for (;;) {
        while (x) {
            int r = visit(x);
            if (r < 0)
                return false;
            if (x->nextSibling)
                pending.push(x->nextSibling);
            x = r ? x->firstChild : nullptr;
        }
        if (pending.empty())
            return true;
        x = pending.pop();
    }
}

} // namespace

bool ScrNodeList::push(SqlNode *n)
{
    if (count_ == capacity_) {
        size_t cap = capacity_ ? capacity_ * 2 : 16;
        SqlNode **items = static_cast<SqlNode **>(realloc(items_, cap * sizeof(SqlNode *)));
        if (!items)
            return false;
        items_ = items;
        capacity_ = cap;
    }
    items_[count_++] = n;
    return true;
}

SqlNode *scr_ChildAt(const SqlNode *n, int i)
{
    SqlNode *c = n ? n->firstChild : nullptr;
    while (c && i-- > 0)
        c = c->nextSibling;
    return c;
}

SqlNode *scr_Child(const SqlNode *n, int kind)
{
    for (SqlNode *c = n ? n->firstChild : nullptr; c; c = c->nextSibling)
        if (c->kind == kind)
            return c;
    return nullptr;
}

SqlNode *scr_LastChild(const SqlNode *n)
{
    SqlNode *c = n ? n->firstChild : nullptr;
    while (c && c->nextSibling)
        c = c->nextSibling;
    return c;
}

SqlNode *scr_Find(SqlNode *n, int kind)
{
    SqlNode *found = nullptr;
    SQLT_Walk(n, sqlt_FindKind, kind, &found);
    return found;
}

bool scr_Collect(SqlNode *n, std::initializer_list<int> want, std::initializer_list<int> stop, ScrNodeList &out)
{
    bool ok = true;
    descendants(n, [&](SqlNode *x) {
        bool wanted = inList(x->kind, want);
        if (wanted && !out.push(x)) {
            ok = false;
            return -1;
        }
        return inList(x->kind, stop) ? 0 : 1;
    });
    return ok;
}

bool scr_CollectSubtree(SqlNode *n, std::initializer_list<int> want, std::initializer_list<int> stop, ScrNodeList &out)
{
    if (!n)
        return true;
    if (inList(n->kind, want) && !out.push(n))
        return false;
    return inList(n->kind, stop) || scr_Collect(n, want, stop, out);
}

bool scr_HasMarker(SqlNode *n)
{
    if (!n || n->kind == SQLK_SUBQUERY)
        return false;
    return !descendants(n, [](SqlNode *x) {
        if (x->kind == SQLK_MARKER)
            return -1;
        return x->kind == SQLK_SUBQUERY ? 0 : 1;
    });
}

bool scr_Contains(SqlNode *n, int kind)
{
    if (n && n->kind == kind)
        return true;
    return !descendants(n, [kind](SqlNode *x) {
        if (x->kind == kind)
            return -1;
        return x->kind == SQLK_SUBQUERY || x->kind == SQLK_QUERY_BLOCK ? 0 : 1;
    });
}

SqlNode *scr_FirstBlock(const ScrAnalysedSql *r)
{
    if (!r || !r->tree)
        return nullptr;
    SqlNode *root = r->tree;
    if (root->kind == SQLK_SELECT)
        return scr_Child(root, SQLK_QUERY_BLOCK);
    if (root->kind == SQLK_INSERT)
        return scr_Child(scr_Child(root, SQLK_INSERT_SOURCE), SQLK_QUERY_BLOCK);
    return nullptr;
}

SqlNode *scr_Tail(const SqlNode *block) { return scr_Child(block, SQLK_QUERY_TAIL); }

SqlNode *scr_OrderByHolder(const ScrAnalysedSql *r)
{
    if (!r || !r->tree || r->tree->kind != SQLK_SELECT)
        return nullptr;
    SqlNode *own = scr_Child(r->tree, SQLK_ORDER_BY_HOLDER);
    SqlNode *block = scr_FirstBlock(r);
    SqlNode *holder = nullptr;
    while (SqlNode *tail = scr_Tail(block)) {
        holder = scr_Child(tail, SQLK_ORDER_BY_HOLDER);
        SqlNode *u = scr_Child(tail, SQLK_UNION_HOLDER);
        if (!scr_Present(u))
            break;
        block = scr_Child(scr_Child(u, SQLK_UNION), SQLK_QUERY_BLOCK);
    }
    if (scr_Present(own) || !holder)
        return own;
    return holder;
}

int scr_FromItems(SqlNode *tail, ScrNodeList &out)
{
    SqlNode *from = scr_Child(tail, SQLK_FROM_LIST);
    ScrNodeList items;
    if (from && !scr_Collect(from, {SQLK_FROM_TABLE, SQLK_JOINED_TABLE}, {SQLK_QUERY_BLOCK, SQLK_SUBQUERY}, items))
        return ERR_MEMORY_ALLOCATION;
    for (size_t i = 0; i < items.size(); ++i) {
        SqlNode *item = items[i];
        if (item->kind == SQLK_JOINED_TABLE && !scr_Child(item, SQLK_QUERY_BLOCK))
            continue;   // a join: its members are items of their own
        if (!out.push(item))
            return ERR_MEMORY_ALLOCATION;
    }
    return ERR_NONE;
}

char *scr_DupN(const char *text, size_t len)
{
    char *copy = static_cast<char *>(malloc(len + 1));
    if (copy) {
        memcpy(copy, text, len);
        copy[len] = 0;
    }
    return copy;
}

char *scr_Dup(const char *text) { return scr_DupN(text ? text : "", text ? strlen(text) : 0); }

bool scr_CopyField(char *field, size_t size, const char *text)
{
    size_t len = text ? strlen(text) : 0;
    field[0] = 0;
    if (len >= size)
        return false;
    memcpy(field, text ? text : "", len + 1);
    return true;
}

bool scr_SetText(SqlNode *n, const char *text)
{
    char *copy = scr_Dup(text);
    if (!copy)
        return false;
    free(n->text);
    n->text = copy;
    return true;
}

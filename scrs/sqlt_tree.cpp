// SQL tree nodes: creation, freeing, walks and the search visitors.
#include "scrs/sqlt_tree.h"
#include "util/strutil.h"

#include "scrs/sqlt_stack.h"
#include "util/dynarray.h"

#include <cstdlib>
#include <cstring>

namespace {

// One walk for both visitor shapes: call(node) answers the visitor's word.
template <class Call>
void walkFrom(SqlNode *node, Call call)
{
    SqltStack<SqlNode *> pending;   // following siblings still to walk
    for (;;) {
        while (node) {
            if (!call(node))
                break;
            if (node->nextSibling)
                pending.push(node->nextSibling);
            node = node->firstChild;
        }
        if (pending.empty())
            return;
        node = pending.pop();
    }
}

} // namespace

SqlNode *SQLT_LeafNew(int32_t kind, const char *text)
{
    if (!text)
        return nullptr;
    SqlNode *n = static_cast<SqlNode *>(calloc(1, sizeof(SqlNode)));
    if (!n)
        return nullptr;
    n->kind = kind;
    n->text = STR_Dup(text);
    if (!n->text) {
        free(n);
        return nullptr;
    }
    return n;
}

SqlNode *SQLT_NodeNew(int32_t kind, const SqlTemplate *tmpl, std::initializer_list<SqlNode *> children)
{
    for (SqlNode *c : children)
        if (!c)
            return nullptr;
    SqlNode *n = SQLT_LeafNew(kind, "");
    if (!n)
        return nullptr;
    n->tmpl = STR_Dup(tmpl ? tmpl : "");
    if (!n->tmpl) {
        free(n->text);
        free(n);
        return nullptr;
    }
    SqlNode **link = &n->firstChild;
    for (SqlNode *c : children) {
        *link = c;
        link = &c->nextSibling;
    }
    n->childCount = static_cast<int32_t>(children.size());
    return n;
}

SqlNode *SQLT_NodeNew1(int32_t kind, const SqlTemplate *tmpl, SqlNode *child)
{
    return SQLT_NodeNew(kind, tmpl, {child});
}

void SQLT_Free(SqlNode **node, SqltNodeDtor dtor)
{
    if (!node)
        return;
    // Seen as a binary tree (first child left, next sibling right): rotate
    // each left subtree into the right spine and free the spine's head.
    SqlNode *n = *node;
    while (n) {
        if (SqlNode *c = n->firstChild) {
            n->firstChild = c->nextSibling;
            c->nextSibling = n;
            n = c;
        } else {
            SqlNode *next = n->nextSibling;
            if (dtor)
                dtor(n);
            free(n);
            n = next;
        }
    }
    *node = nullptr;
}

void sqlt_NodeTextsFree(SqlNode *node)
{
    if (!node)
        return;
    free(node->text);
    free(node->tmpl);
    node->text = nullptr;
    node->tmpl = nullptr;
}

void SQLT_Walk(SqlNode *node, SqltVisitor visitor, int a, void *context)
{
    walkFrom(node, [&](SqlNode *n) { return visitor(n, a, context); });
}

void SQLT_Walk2(SqlNode *node, SqltVisitor2 visitor, int a, int b, void *context)
{
    walkFrom(node, [&](SqlNode *n) { return visitor(n, a, b, context); });
}

void SQLT_WalkSubtree(SqlNode *node, SqltVisitor visitor, int a, void *context)
{
    if (node && visitor(node, a, context))
        SQLT_Walk(node->firstChild, visitor, a, context);
}

int sqlt_FindKind(SqlNode *node, int kind, void *slot)
{
    SqlNode **found = static_cast<SqlNode **>(slot);
    if (!node || !found || *found)
        return 0;
    if (node->kind == kind) {
        *found = node;
        return 0;
    }
    return 1;
}

int sqlt_FindKindNotBelow(SqlNode *node, int kind, int stopKind, void *slot)
{
    if (node && node->kind == stopKind && node->kind != kind)
        return 0;
    return sqlt_FindKind(node, kind, slot);
}

int sqlt_CollectKind(SqlNode *node, int kind, void *array)
{
    if (!node || !array)
        return 0;
    if (node->kind == kind)
        return DA_Append(static_cast<DynArray *>(array), &node);
    return 1;
}

int sqlt_CollectKindNotBelow(SqlNode *node, int kind, int stopKind, void *array)
{
    if (node && node->kind == stopKind && node->kind != kind)
        return 0;
    return sqlt_CollectKind(node, kind, array);
}

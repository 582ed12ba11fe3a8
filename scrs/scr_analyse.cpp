// The analysed statement: parse, clause flags, and the questions about a
// SELECT's tables, select items and ORDER BY items.
#include "scrs/scr_analyse.h"

#include "scrs/sc_check.h"
#include "scrs/scr_internal.h"
#include "scrs/scsql_ctx.h"
#include "util/dynarray.h"

#include <cctype>
#include <cstring>

const char ScrInsertMarker[4] = "\x01\x01\x01";

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

// Index of the first (or last) ch among text's first end bytes, outside
// double-quoted names; kNone when there is none.
size_t findSep(const char *text, size_t end, char ch, bool last)
{
    size_t hit = kNone;
    bool quoted = false;
    for (size_t i = 0; i < end; ++i) {
        if (text[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && text[i] == ch) {
            hit = i;
            if (!last)
                break;
        }
    }
    return hit;
}

struct Part {
    const char *text = "";
    size_t len = 0;
};

struct TableParts {
    Part qualifier, owner, table;
};

// text[from, to) without the blanks around it (a link is written " @ ").
Part partOf(const char *text, size_t from, size_t to)
{
    while (from < to && text[from] == ' ')
        ++from;
    while (to > from && text[to - 1] == ' ')
        --to;
    return Part{text + from, to - from};
}

// Splits a regenerated table name: "q.o.t", "o.t", "q..t", "q:t", "q:o.t",
// "o.t@link" (the link dropped); separators inside quoted names do not count.
TableParts splitTableName(const char *text, bool keepQualifier)
{
    TableParts p;
    const size_t len = strlen(text);
    size_t at = findSep(text, len, '@', false);
    if (at != kNone) {
        size_t dot = findSep(text, at, '.', false);
        if (dot != kNone) {
            p.owner = partOf(text, 0, dot);
            p.table = partOf(text, dot + 1, at);
        } else {
            p.table = partOf(text, 0, at);
        }
        return p;
    }
    size_t dot = findSep(text, len, '.', true);
    if (dot != kNone) {
        p.table = partOf(text, dot + 1, len);
        size_t sep = findSep(text, dot, '.', true);
        if (sep == kNone)
            sep = findSep(text, dot, ':', false);
        if (sep == kNone) {
            p.owner = partOf(text, 0, dot);
        } else {
            p.owner = partOf(text, sep + 1, dot);
            if (keepQualifier)
                p.qualifier = partOf(text, 0, sep);
        }
        return p;
    }
    size_t colon = findSep(text, len, ':', false);
    if (colon != kNone) {
        p.table = partOf(text, colon + 1, len);
        if (keepQualifier)
            p.qualifier = partOf(text, 0, colon);
        return p;
    }
    p.table = partOf(text, 0, len);
    return p;
}

int appendTableRef(DynArray *out, const TableParts &p, const char *alias)
{
    ScrTableRef ref{scr_DupN(p.qualifier.text, p.qualifier.len), scr_DupN(p.owner.text, p.owner.len),
                    scr_DupN(p.table.text, p.table.len), scr_Dup(alias)};
    if (ref.qualifier && ref.owner && ref.table && ref.alias && DA_Append(out, &ref))
        return ERR_NONE;
    SCR_TableRefFree(&ref);
    return ERR_MEMORY_ALLOCATION;
}

// One FROM item (46), or a derived table (29 over a query block).
int tableRefSplit(SqlNode *item, DynArray *out, bool keepQualifier)
{
    SqlNode *alias = scr_Child(item, SQLK_TABLE_ALIAS);
    const char *aliasText = alias ? alias->text : "";
    if (item->kind == SQLK_JOINED_TABLE)
        return appendTableRef(out, TableParts{}, aliasText);
    SqlNode *name = scr_Child(item, SQLK_TABLE_NAME);
    if (!name)
        return SC_ERR_GENERAL;
    return appendTableRef(out, splitTableName(name->text, keepQualifier), aliasText);
}

// Column, table and owner of a column reference (11), from its leaves.
bool columnNameSplit(const SqlNode *ref, char *column, char *table, char *owner)
{
    const SqlNode *c = scr_Child(ref, SQLK_COL_PART);
    const SqlNode *t = scr_Child(ref, SQLK_TABLE_PART);
    const SqlNode *o = scr_Child(ref, SQLK_OWNER_PART);
    if (!c)
        return false;
    return scr_CopyField(column, SCR_NAME_SIZE, c->text) && scr_CopyField(table, SCR_NAME_SIZE, t ? t->text : "") &&
           scr_CopyField(owner, SCR_NAME_SIZE, o ? o->text : "");
}

bool isSelect(const ScrAnalysedSql *r) { return r && r->tree && r->tree->kind == SQLK_SELECT; }

// Sets or clears a flag after a test on a clause holder found by path.
int flagHolder(ScrAnalysedSql *r, SqlNode *holder, uint16_t bit)
{
    if (!holder)
        return SC_ERR_GENERAL;
    if (scr_Present(holder))
        r->flags |= bit;
    else
        r->flags &= static_cast<uint16_t>(~bit);
    return ERR_NONE;
}

int multiTableFlagSet(ScrAnalysedSql *r, int keepQualifier)
{
    DynArray *tables = DA_New(sizeof(ScrTableRef));
    if (!tables)
        return ERR_MEMORY_ALLOCATION;
    int rc = SCR_TablesGet(r, tables, keepQualifier);
    if (rc == ERR_NONE && tables->count >= 2)
        r->flags |= SCR_CF_MULTI_TABLE;
    DA_Free(&tables, SCR_TableRefFree);
    return rc;
}

int clauseFlagsSet(ScrAnalysedSql *r, int keepQualifier)
{
    SqlNode *block = scr_FirstBlock(r);
    SqlNode *tail = scr_Tail(block);
    if (!tail)
        return SC_ERR_GENERAL;
    if (int rc = flagHolder(r, scr_OrderByHolder(r), SCR_CF_ORDER_BY))
        return rc;
    if (int rc = flagHolder(r, scr_Child(tail, SQLK_GROUP_BY), SCR_CF_GROUP_BY))
        return rc;
    if (int rc = flagHolder(r, scr_Child(tail, SQLK_UNION_HOLDER), SCR_CF_UNION))
        return rc;
    if (int rc = multiTableFlagSet(r, keepQualifier))
        return rc;
    if (scr_Contains(block, SQLK_SETFUNC_CALL))
        r->flags |= SCR_CF_SET_FUNCTION;
    if (scr_Find(r->tree, SQLK_OUTER_SIDE))
        r->flags |= SCR_CF_OUTER_JOIN;
    return ERR_NONE;
}

// A select item that is a column reference in single-operand wrappers
// (no sign, no parentheses, no operator, no function): the reference.
SqlNode *plainColumn(SqlNode *item)
{
    SqlNode *e = item->firstChild;
    if (!e || e->kind != SQLK_EXPRESSION || e->childCount != 1)
        return nullptr;
    SqlNode *t = e->firstChild;
    if (!t || t->kind != SQLK_TERM || t->childCount != 1)
        return nullptr;
    SqlNode *f = t->firstChild;
    if (!f || f->kind != SQLK_FACTOR || f->childCount != 1 || strcmp(f->tmpl, SQLT_A1) != 0)
        return nullptr;
    SqlNode *p = f->firstChild;
    if (!p || p->kind != SQLK_PRIMARY || !p->tmpl || strcmp(p->tmpl, SQLT_A1) != 0)
        return nullptr;
    SqlNode *c = p->firstChild;
    return c && c->kind == SQLK_COLUMN_REF ? c : nullptr;
}

int selectItem(SqlNode *item, DynArray *out)
{
    ScrColumnRef col;
    memset(&col, 0, sizeof col);
    SqlNode *first = item->firstChild;
    if (first && first->kind == SQLK_TABLE_NAME) {
        col.itemKind = SCR_ITEM_TABLE_STAR;
        if (!scr_CopyField(col.table, sizeof col.table, first->text))
            return SC_ERR_GENERAL;
    } else if (SqlNode *ref = plainColumn(item)) {
        col.itemKind = SCR_ITEM_COLUMN;
        if (!columnNameSplit(ref, col.column, col.table, col.owner))
            return SC_ERR_GENERAL;
    } else {
        col.itemKind = SCR_ITEM_EXPRESSION;
        if (!scr_CopyField(col.column, sizeof col.column, item->text))
            return SC_ERR_GENERAL;
    }
    return DA_Append(out, &col) ? ERR_NONE : ERR_MEMORY_ALLOCATION;
}

// The ORDER BY items of the statement (80), in order.
int orderItems(ScrAnalysedSql *r, ScrNodeList &items)
{
    SqlNode *h = scr_OrderByHolder(r);
    if (!h)
        return SC_ERR_GENERAL;
    if (!scr_Collect(h, {SQLK_ORDER_ITEM}, {SQLK_SUBQUERY, SQLK_QUERY_BLOCK}, items))
        return ERR_MEMORY_ALLOCATION;
    return items.size() ? ERR_NONE : SC_ERR_GENERAL;
}

// The value of an ORDER BY position: 1..255, else 0.
int positionOf(const char *text)
{
    int v = 0;
    for (const char *p = text; *p; ++p) {
        if (!isdigit(static_cast<unsigned char>(*p)) || v > 255)
            return 0;
        v = v * 10 + (*p - '0');
    }
    return v <= 255 ? v : 0;
}

} // namespace

void SCR_Init(ScrAnalysedSql *r)
{
    if (!r)
        return;
    r->statement = r->echo = r->message = nullptr;
    r->tree = nullptr;
    r->kind = -1;
    r->flags = 0;
}

void SCR_Free(ScrAnalysedSql *r)
{
    if (!r)
        return;
    free(r->statement);
    free(r->echo);
    free(r->message);
    SQLT_Free(&r->tree, sqlt_NodeTextsFree);
    SCR_Init(r);
}

int SCR_AnalyseSQL(ScrAnalysedSql *r, const char *text, int noFlags, int keepQualifier)
{
    if (!r)
        return SC_ERR_GENERAL;
    const char *start = text ? text : "";
    while (*start == ' ' || (*start >= '\t' && *start <= '\r'))
        ++start;
    SCR_Free(r);
    r->statement = scr_Dup(start);
    if (!r->statement)
        return ERR_MEMORY_ALLOCATION;
    r->kind = 0;
    if (scr_Parse(r->statement, &r->tree, &r->echo, &r->message) != 0)
        return ERR_SYNTAX_OR_ACCESS;
    r->kind = r->tree->kind;
    SQLT_TextBuild(r->tree);
    if (noFlags || r->kind != SQLK_SELECT)
        return ERR_NONE;
    return clauseFlagsSet(r, keepQualifier);
}

void SCR_TableRefFree(void *elem)
{
    ScrTableRef *t = static_cast<ScrTableRef *>(elem);
    if (!t)
        return;
    free(t->qualifier);
    free(t->owner);
    free(t->table);
    free(t->alias);
    t->qualifier = t->owner = t->table = t->alias = nullptr;
}

int SCR_TablesGet(ScrAnalysedSql *r, DynArray *out, int keepQualifier)
{
    SqlNode *tail = isSelect(r) ? scr_Tail(scr_FirstBlock(r)) : nullptr;
    if (!tail || !out)
        return SC_ERR_GENERAL;
    ScrNodeList items;
    if (int rc = scr_FromItems(tail, items))
        return rc;
    for (size_t i = 0; i < items.size(); ++i)
        if (int rc = tableRefSplit(items[i], out, keepQualifier != 0))
            return rc;
    return ERR_NONE;
}

namespace {

// Walks the select items of the first query block: onStar() when the list
// starts with "*" (standing alone, or before the items a rewrite appended),
// then onItem(node) for the other items in order; the first failure ends the
// walk.  0, ERR_GENERAL (no select list, no item), ERR_MEMORY_ALLOCATION or a
// callback's number.
template <class OnStar, class OnItem>
int walkSelectItems(const ScrAnalysedSql *r, OnStar onStar, OnItem onItem)
{
    SqlNode *list = scr_Child(scr_FirstBlock(r), SQLK_SELECT_LIST);
    if (!isSelect(r) || !list)
        return SC_ERR_GENERAL;
    const SqlNode *first = list;
    while (first->firstChild && first->firstChild->kind == SQLK_SELECT_LIST)
        first = first->firstChild;
    if (!first->tmpl && strcmp(first->text, "*") == 0) {
        if (int rc = onStar())
            return rc;
        if (first == list)
            return ERR_NONE;
    }
    ScrNodeList items;
    if (!scr_Collect(list, {SQLK_SELECT_ITEM}, {SQLK_SUBQUERY, SQLK_QUERY_BLOCK}, items))
        return ERR_MEMORY_ALLOCATION;
    if (items.size() == 0)
        return SC_ERR_GENERAL;
    for (size_t i = 0; i < items.size(); ++i)
        if (int rc = onItem(items[i]))
            return rc;
    return ERR_NONE;
}

} // namespace

int SCR_SelectColsGet(ScrAnalysedSql *r, DynArray *out)
{
    if (!out)
        return SC_ERR_GENERAL;
    return walkSelectItems(
        r,
        [out] {
            ScrColumnRef col;
            memset(&col, 0, sizeof col);
            col.itemKind = SCR_ITEM_STAR;
            return DA_Append(out, &col) ? ERR_NONE : ERR_MEMORY_ALLOCATION;
        },
        [out](SqlNode *item) { return selectItem(item, out); });
}

int SCR_SelectItemTexts(const ScrAnalysedSql *r, std::vector<std::string> *out)
{
    if (!out)
        return SC_ERR_GENERAL;
    return walkSelectItems(
        r,
        [out] {
            out->push_back("*");
            return ERR_NONE;
        },
        [out](SqlNode *item) {
            out->push_back(item->text ? item->text : "");
            return ERR_NONE;
        });
}

int SCR_OrderByColsGet(ScrAnalysedSql *r, DynArray *out)
{
    if (!out)
        return SC_ERR_GENERAL;
    ScrNodeList items;
    if (int rc = orderItems(r, items))
        return rc;
    for (size_t i = 0; i < items.size(); ++i) {
        SqlNode *key = items[i]->firstChild;
        SqlNode *dir = scr_Child(items[i], SQLK_DIRECTION);
        if (!key || !dir)
            return SC_ERR_GENERAL;
        OrderByColDesc d;
        memset(&d, 0, sizeof d);
        d.desc = strstr(dir->text, "DESC") ? 1 : 0;
        if (key->kind == SQLK_INTEGER) {
            r->flags |= SCR_CF_ORDER_BY_POS;
            int pos = positionOf(key->text);
            if (pos == 0)
                return SC_ERR_GENERAL;
            d.position = static_cast<uint8_t>(pos);
        } else if (key->kind != SQLK_COLUMN_REF || !scr_CopyField(d.text, sizeof d.text, key->text) ||
                   !columnNameSplit(key, d.column, d.table, d.owner)) {
            return SC_ERR_GENERAL;
        }
        if (!DA_Append(out, &d))
            return ERR_MEMORY_ALLOCATION;
    }
    return ERR_NONE;
}

int SCR_OrderByPosResolve(ScrAnalysedSql *r, DynArray *list)
{
    if (!list)
        return SC_ERR_GENERAL;
    if (list->count == 0)
        return ERR_NONE;
    SqlNode *clause = scr_Child(scr_OrderByHolder(r), SQLK_ORDER_BY);
    if (!clause)
        return SC_ERR_GENERAL;
    ScrNodeList positions;
    if (!scr_Collect(clause, {SQLK_INTEGER}, {}, positions))
        return ERR_MEMORY_ALLOCATION;
    const OrderByColDesc *cols = static_cast<const OrderByColDesc *>(list->elements);
    // Every position is matched first, so that a failure changes no text.
    const OrderByColDesc **match =
        static_cast<const OrderByColDesc **>(calloc(positions.size() + 1, sizeof(OrderByColDesc *)));
    if (!match)
        return ERR_MEMORY_ALLOCATION;
    int rc = ERR_NONE;
    for (size_t i = 0; i < positions.size() && rc == ERR_NONE; ++i) {
        int v = positionOf(positions[i]->text);
        for (uint32_t k = 0; v && k < list->count && !match[i]; ++k)
            if (cols[k].position == v)
                match[i] = &cols[k];
        if (!match[i])
            rc = SC_ERR_GENERAL;
    }
    for (size_t i = 0; i < positions.size() && rc == ERR_NONE; ++i)
        if (!scr_SetText(positions[i], match[i]->text))
            rc = ERR_MEMORY_ALLOCATION;
    free(match);
    if (rc != ERR_NONE)
        return rc;
    SQLT_TextBuild(r->tree);
    return ERR_NONE;
}

int SCR_OrderByInvert(ScrAnalysedSql *r)
{
    ScrNodeList items;
    if (int rc = orderItems(r, items))
        return rc;
    ScrNodeList dirs;
    for (size_t i = 0; i < items.size(); ++i) {
        SqlNode *d = scr_Child(items[i], SQLK_DIRECTION);
        if (!d)
            return SC_ERR_GENERAL;
        if (!dirs.push(d))
            return ERR_MEMORY_ALLOCATION;
    }
    for (size_t i = 0; i < dirs.size(); ++i)
        if (!scr_SetText(dirs[i], strstr(dirs[i]->text, "DESC") ? "" : "DESC"))
            return ERR_MEMORY_ALLOCATION;
    SQLT_TextBuild(r->tree);
    return ERR_NONE;
}

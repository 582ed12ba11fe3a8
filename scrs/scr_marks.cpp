// Rewriting marks: the insertion marker at the place of the select list, the
// WHERE condition or the ORDER BY, and the splice of the clauses that fill
// the markers.
#include "scrs/scr_analyse.h"

#include "scrs/sc_check.h"
#include "scrs/scr_internal.h"

#include <cstring>

namespace {

// Makes n a leaf holding the marker: template and children dropped.
int becomeMarker(SqlNode *n)
{
    if (!scr_SetText(n, ScrInsertMarker))
        return ERR_MEMORY_ALLOCATION;
    free(n->tmpl);
    n->tmpl = nullptr;
    SQLT_Free(&n->firstChild, sqlt_NodeTextsFree);
    n->childCount = 0;
    return ERR_NONE;
}

// Links a new marker leaf into n, first or last; the template becomes tmpl.
int addMarkerChild(SqlNode *n, bool first, const char *tmpl)
{
    SqlNode *leaf = SQLT_LeafNew(SQLK_INSERT_MARK, ScrInsertMarker);
    char *t = scr_Dup(tmpl);
    if (!leaf || !t) {
        SQLT_Free(&leaf, sqlt_NodeTextsFree);
        free(t);
        return ERR_MEMORY_ALLOCATION;
    }
    if (first) {
        leaf->nextSibling = n->firstChild;
        n->firstChild = leaf;
    } else if (SqlNode *last = scr_LastChild(n)) {
        last->nextSibling = leaf;
    } else {
        n->firstChild = leaf;
    }
    ++n->childCount;
    free(n->tmpl);
    n->tmpl = t;
    return ERR_NONE;
}

int rebuilt(ScrAnalysedSql *r, int rc)
{
    if (rc == ERR_NONE)
        SQLT_TextBuild(r->tree);
    return rc;
}

bool isMarker(const SqlNode *n) { return !n->tmpl && n->text && strcmp(n->text, ScrInsertMarker) == 0; }

} // namespace

int SCR_SelectListMark(ScrAnalysedSql *r)
{
    if (!r || !r->tree || r->tree->kind != SQLK_SELECT)
        return SC_ERR_GENERAL;
    SqlNode *list = scr_Child(scr_FirstBlock(r), SQLK_SELECT_LIST);
    if (!list)
        return SC_ERR_GENERAL;
    return rebuilt(r, becomeMarker(list));
}

int SCR_SelectListText(const ScrAnalysedSql *r, char **out)
{
    if (!out)
        return SC_ERR_GENERAL;
    *out = nullptr;
    if (!r || !r->tree || r->tree->kind != SQLK_SELECT)
        return SC_ERR_GENERAL;
    const SqlNode *list = scr_Child(scr_FirstBlock(r), SQLK_SELECT_LIST);
    if (!list || !list->text)
        return SC_ERR_GENERAL;
    *out = scr_Dup(list->text);
    return *out ? ERR_NONE : ERR_MEMORY_ALLOCATION;
}

int SCR_WhereMark(ScrAnalysedSql *r)
{
    if (!r || !r->tree || r->tree->kind != SQLK_SELECT)
        return SC_ERR_GENERAL;
    SqlNode *holder = scr_Child(scr_Tail(scr_FirstBlock(r)), SQLK_WHERE_HOLDER);
    if (!holder)
        return SC_ERR_GENERAL;
    if (!scr_Present(holder)) {
        r->flags &= static_cast<uint16_t>(~SCR_CF_WHERE);
        return rebuilt(r, scr_SetText(holder, ScrInsertMarker) ? ERR_NONE : ERR_MEMORY_ALLOCATION);
    }
    SqlNode *where = scr_Child(holder, SQLK_WHERE);
    if (!where || where->childCount != 1)
        return SC_ERR_GENERAL;
    r->flags |= SCR_CF_WHERE;
    return rebuilt(r, addMarkerChild(where, true, "WHERE " SQLT_A1 " AND (" SQLT_A2 ")"));
}

int SCR_OrderByMark(ScrAnalysedSql *r)
{
    SqlNode *holder = scr_OrderByHolder(r);
    if (!holder)
        return SC_ERR_GENERAL;
    if (!scr_Present(holder)) {
        r->flags &= static_cast<uint16_t>(~SCR_CF_ORDER_BY);
        return rebuilt(r, scr_SetText(holder, ScrInsertMarker) ? ERR_NONE : ERR_MEMORY_ALLOCATION);
    }
    SqlNode *clause = scr_Child(holder, SQLK_ORDER_BY);
    if (!clause || clause->childCount != 1)
        return SC_ERR_GENERAL;
    r->flags |= SCR_CF_ORDER_BY;
    return rebuilt(r, addMarkerChild(clause, false, "ORDER BY " SQLT_A1 SQLT_A2));
}

int SCR_MarkersFill(ScrAnalysedSql *r, const char *const *clauses, int n, char **out)
{
    if (!out)
        return SC_ERR_GENERAL;
    *out = nullptr;
    if (!r || !r->tree || n < 0 || (n > 0 && !clauses))
        return SC_ERR_GENERAL;
    // Markers are leaves, found in the order their texts are written.
    ScrNodeList marks;
    if (!scr_CollectSubtree(r->tree, {SQLK_INSERT_MARK, SQLK_SELECT_LIST, SQLK_WHERE_HOLDER, SQLK_ORDER_BY_HOLDER}, {},
                     marks))
        return ERR_MEMORY_ALLOCATION;
    ScrNodeList found;
    for (size_t i = 0; i < marks.size(); ++i)
        if (isMarker(marks[i]) && !found.push(marks[i]))
            return ERR_MEMORY_ALLOCATION;
    if (found.size() != static_cast<size_t>(n))
        return SC_ERR_GENERAL;
    int rc = ERR_NONE;
    size_t set = 0;
    for (; set < found.size() && rc == ERR_NONE; ++set)
        if (!scr_SetText(found[set], clauses[set] ? clauses[set] : ""))
            rc = ERR_MEMORY_ALLOCATION;
    if (rc == ERR_NONE) {
        SQLT_TextBuild(r->tree);
        *out = scr_Dup(r->tree->text);
        if (!*out)
            rc = ERR_MEMORY_ALLOCATION;
    }
    for (size_t i = 0; i < set; ++i)
        if (!scr_SetText(found[i], ScrInsertMarker))
            rc = ERR_MEMORY_ALLOCATION;
    SQLT_TextBuild(r->tree);
    return rc;
}

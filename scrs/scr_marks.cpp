// Rewriting marks: the insertion marker at the place of the select list, the
// WHERE condition or the ORDER BY, and the splice of the clauses that fill
// the markers.
#include "scrs/scr_analyse.h"

#include "scrs/scr_internal.h"

#include <cstring>

namespace {

// Makes n a leaf holding the marker: template and children dropped.
int becomeMarker(SqlNode *n)
{
    if (!scr_SetText(n, ScrInsertMarker))
        return SCR_ERR_MEMORY;
    free(n->tmpl);
    n->tmpl = nullptr;
    SQLT_Free(&n->firstChild, sqlt_NodeTextsFree);
    n->childCount = 0;
    return SCR_OK;
}

// Links a new marker leaf into n, first or last; the template becomes tmpl.
int addMarkerChild(SqlNode *n, bool first, const char *tmpl)
{
    SqlNode *leaf = SQLT_LeafNew(SQLK_INSERT_MARK, ScrInsertMarker);
    char *t = scr_Dup(tmpl);
    if (!leaf || !t) {
        SQLT_Free(&leaf, sqlt_NodeTextsFree);
        free(t);
        return SCR_ERR_MEMORY;
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
    return SCR_OK;
}

int rebuilt(ScrAnalysedSql *r, int rc)
{
    if (rc == SCR_OK)
        SQLT_TextBuild(r->tree);
    return rc;
}

bool isMarker(const SqlNode *n) { return !n->tmpl && n->text && strcmp(n->text, ScrInsertMarker) == 0; }

} // namespace

int SCR_SelectListMark(ScrAnalysedSql *r)
{
    if (!r || !r->tree || r->tree->kind != SQLK_SELECT)
        return SCR_ERR_GENERAL;
    SqlNode *list = scr_Child(scr_FirstBlock(r), SQLK_SELECT_LIST);
    if (!list)
        return SCR_ERR_GENERAL;
    return rebuilt(r, becomeMarker(list));
}

int SCR_WhereMark(ScrAnalysedSql *r)
{
    if (!r || !r->tree || r->tree->kind != SQLK_SELECT)
        return SCR_ERR_GENERAL;
    SqlNode *holder = scr_Child(scr_Tail(scr_FirstBlock(r)), SQLK_WHERE_HOLDER);
    if (!holder)
        return SCR_ERR_GENERAL;
    if (!scr_Present(holder)) {
        r->flags &= static_cast<uint16_t>(~SCR_CF_WHERE);
        return rebuilt(r, scr_SetText(holder, ScrInsertMarker) ? SCR_OK : SCR_ERR_MEMORY);
    }
    SqlNode *where = scr_Child(holder, SQLK_WHERE);
    if (!where || where->childCount != 1)
        return SCR_ERR_GENERAL;
    r->flags |= SCR_CF_WHERE;
    return rebuilt(r, addMarkerChild(where, true, "WHERE " SQLT_A1 " AND (" SQLT_A2 ")"));
}

int SCR_OrderByMark(ScrAnalysedSql *r)
{
    SqlNode *holder = scr_OrderByHolder(r);
    if (!holder)
        return SCR_ERR_GENERAL;
    if (!scr_Present(holder)) {
        r->flags &= static_cast<uint16_t>(~SCR_CF_ORDER_BY);
        return rebuilt(r, scr_SetText(holder, ScrInsertMarker) ? SCR_OK : SCR_ERR_MEMORY);
    }
    SqlNode *clause = scr_Child(holder, SQLK_ORDER_BY);
    if (!clause || clause->childCount != 1)
        return SCR_ERR_GENERAL;
    r->flags |= SCR_CF_ORDER_BY;
    return rebuilt(r, addMarkerChild(clause, false, "ORDER BY " SQLT_A1 SQLT_A2));
}

int SCR_MarkersFill(ScrAnalysedSql *r, const char *const *clauses, int n, char **out)
{
    if (!out)
        return SCR_ERR_GENERAL;
    *out = nullptr;
    if (!r || !r->tree || n < 0 || (n > 0 && !clauses))
        return SCR_ERR_GENERAL;
    // Markers are leaves, found in the order their texts are written.
    ScrNodeList marks;
    if (!scr_CollectSubtree(r->tree, {SQLK_INSERT_MARK, SQLK_SELECT_LIST, SQLK_WHERE_HOLDER, SQLK_ORDER_BY_HOLDER}, {},
                     marks))
        return SCR_ERR_MEMORY;
    ScrNodeList found;
    for (size_t i = 0; i < marks.size(); ++i)
        if (isMarker(marks[i]) && !found.push(marks[i]))
            return SCR_ERR_MEMORY;
    if (found.size() != static_cast<size_t>(n))
        return SCR_ERR_GENERAL;
    int rc = SCR_OK;
    size_t set = 0;
    for (; set < found.size() && rc == SCR_OK; ++set)
        if (!scr_SetText(found[set], clauses[set] ? clauses[set] : ""))
            rc = SCR_ERR_MEMORY;
    if (rc == SCR_OK) {
        SQLT_TextBuild(r->tree);
        *out = scr_Dup(r->tree->text);
        if (!*out)
            rc = SCR_ERR_MEMORY;
    }
    for (size_t i = 0; i < set; ++i)
        if (!scr_SetText(found[i], ScrInsertMarker))
            rc = SCR_ERR_MEMORY;
    SQLT_TextBuild(r->tree);
    return rc;
}

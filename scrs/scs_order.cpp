// The ORDER BY of a cursor's SELECT: its items with ordinals resolved and
// names normalised, the sort key of keyed cursors and the key columns'
// ORDER BY positions.
#include "odbc/contract/errnum.h"
#include "scrs/sc_check.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyset.h"
#include "util/dynarray.h"
#include "util/strutil.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

template <size_t N>
void putName(char (&field)[N], const char *text)
{
    STR_CopyCut(field, static_cast<int>(N), text ? text : "");
}

OrderByColDesc *items(DynArray *a) { return static_cast<OrderByColDesc *>(a->elements); }

// Whether an ORDER BY item names a key column: the same column, and the same
// FROM table when the item says which: by its alias, or by its name for a
// table that has none (a self-join's two tables differ by alias only).
bool namesKey(const OrderByColDesc &o, const ScrColumnRef &kc)
{
    if (strcmp(o.column, kc.column) != 0)
        return false;
    if (!o.table[0])
        return true;
    if (o.alias[0])
        return strcmp(o.alias, kc.alias) == 0;
    return !kc.alias[0] && strcmp(o.table, kc.table) == 0 && (!o.owner[0] || strcmp(o.owner, kc.owner) == 0);
}

} // namespace

int scs_p_OrderByOrdinalsApply(DynArray *orderBy, const DynArray *selectCols, int32_t tableCount)
{
    const auto *sel = static_cast<const ScrColumnRef *>(selectCols->elements);
    for (uint32_t i = 0; i < orderBy->count; ++i) {
        OrderByColDesc &o = items(orderBy)[i];
        if (o.position == 0)
            continue;
        if (o.position > selectCols->count)
            return ERR_SYNTAX_OR_ACCESS;
        const ScrColumnRef &c = sel[o.position - 1];
        if (c.itemKind == SCR_ITEM_EXPRESSION)
            return ERR_EXPRESSION_ORDERING;
        putName(o.column, c.column);
        putName(o.table, c.table);
        putName(o.alias, c.alias);
        putName(o.owner, c.owner);
        putName(o.qualifier, c.qualifier);
        o.sqlType = c.sqlType;
        o.columnSize = c.columnSize;
        o.decimalDigits = c.decimalDigits;
        char *q = scs_p_QualifyColName(tableCount, &c);
        if (!q)
            return ERR_MEMORY_ALLOCATION;
        putName(o.text, q);
        free(q);
    }
    return 0;
}

int scs_p_OrderByOrdinalsResolve(ScsContext *ctx)
{
    DynArray *sel = nullptr;
    int rc = scs_p_SelectColsGet(ctx, &sel, nullptr);
    if (rc != 0)
        return rc;
    // The table count of the current analysis qualifies the names, so that
    // ordinals on a join are qualified from the first analysis on.
    const int32_t tables = ctx->fromTables ? static_cast<int32_t>(ctx->fromTables->count) : 0;
    rc = scs_p_OrderByOrdinalsApply(ctx->orderByCols, sel, tables);
    DA_Free(&sel, nullptr);
    return rc;
}

void scs_p_OrderByColsNormalise(ScsContext *ctx)
{
    const auto *tables = ctx->fromTables ? static_cast<ScrTableRef *>(ctx->fromTables->elements) : nullptr;
    const uint32_t nTables = ctx->fromTables ? ctx->fromTables->count : 0;
    const int utf8 = static_cast<int>(ctx->utf8Catalog);
    for (uint32_t i = 0; i < ctx->orderByCols->count; ++i) {
        OrderByColDesc &o = items(ctx->orderByCols)[i];
        scs_p_NormaliseIdent(o.column, ctx->identQuote, ctx->quotedIdentCase, ctx->identCase, utf8,
                             scs_p_IsPseudoColumn(o.column, ctx->dbmsName));
        if (!o.table[0])
            continue;
        const ScrTableRef *byAlias = nullptr;
        for (uint32_t k = 0; k < nTables && !byAlias; ++k)
            if (tables[k].alias && tables[k].alias[0] && strcmp(tables[k].alias, o.table) == 0)
                byAlias = &tables[k];
        if (byAlias) {
            putName(o.alias, o.table);
            putName(o.table, byAlias->table);
            putName(o.owner, byAlias->owner);
        } else {
            scs_p_NormaliseIdent(o.table, ctx->identQuote, ctx->quotedIdentCase, ctx->identCase, utf8, 1);
            scs_p_NormaliseIdent(o.owner, ctx->identQuote, ctx->quotedIdentCase, ctx->identCase, utf8, 1);
        }
    }
}

int scs_p_OrderByColsGet(ScsContext *ctx)
{
    DA_Free(&ctx->orderByCols, nullptr);
    ctx->orderByCols = DA_New(sizeof(OrderByColDesc));
    if (!ctx->orderByCols)
        return ERR_MEMORY_ALLOCATION;
    int rc = SCR_OrderByColsGet(&ctx->analysis, ctx->orderByCols);
    if (rc != 0)
        return rc;
    ctx->clauseFlags |= ctx->analysis.flags;
    if ((ctx->clauseFlags & SCR_CF_ORDER_BY_POS) && (rc = scs_p_OrderByOrdinalsResolve(ctx)) != 0)
        return rc;
    scs_p_OrderByColsNormalise(ctx);
    return 0;
}

int scs_p_KeySetOrderGet(ScsContext *ctx)
{
    if (ctx->clauseFlags & SCR_CF_GROUP_BY)
        return ERR_GROUP_BY_CLAUSE;
    if (ctx->clauseFlags & SCR_CF_UNION)
        return ERR_UNION_CLAUSE;
    const uint32_t nKeys = ctx->keyCols ? ctx->keyCols->count : 0;
    if (!(ctx->clauseFlags & SCR_CF_ORDER_BY) || !ctx->orderByCols) {
        ctx->sortKeyCount = static_cast<uint16_t>(nKeys);
        return 0;
    }
    const auto *keys = nKeys ? static_cast<const ScrColumnRef *>(ctx->keyCols->elements) : nullptr;
    uint32_t matched = 0, unmatched = 0, lastMatched = 0;
    for (uint32_t i = 0; i < ctx->orderByCols->count; ++i) {
        OrderByColDesc &o = items(ctx->orderByCols)[i];
        const ScrColumnRef *key = nullptr;
        for (uint32_t k = 0; k < nKeys && !key; ++k)
            if (namesKey(o, keys[k]))
                key = &keys[k];
        o.matched = key ? 1 : 0;
        if (key) {
            o.sqlType = key->sqlType;
            o.columnSize = key->columnSize;
            o.decimalDigits = key->decimalDigits;
            lastMatched = i + 1;
            if (++matched == nKeys)
                break;
            continue;
        }
        ++unmatched;
        if (o.sqlType == 0) {
            ScrColumnRef want{};
            putName(want.column, o.column);
            putName(want.table, o.table);
            putName(want.owner, o.owner);
            const ScrColumnRef *t = scs_p_FindColDesc(ctx->tableCols, &want, nullptr);
            if (!t)
                return SC_ERR_GENERAL;
            o.sqlType = t->sqlType;
            o.columnSize = t->columnSize;
            o.decimalDigits = t->decimalDigits;
        }
    }
    ctx->sortKeyCount = static_cast<uint16_t>(nKeys > 0 && matched == nKeys ? lastMatched : nKeys + unmatched);
    return 0;
}

void scs_p_KeyColsOrderByMark(ScsContext *ctx)
{
    if (!ctx->keyCols || !ctx->orderByCols)
        return;
    auto *keys = static_cast<ScrColumnRef *>(ctx->keyCols->elements);
    for (uint32_t k = 0; k < ctx->keyCols->count; ++k) {
        ScrColumnRef &kc = keys[k];
        kc.orderByMark = 0;
        for (uint32_t i = 0; i < ctx->orderByCols->count; ++i)
            if (namesKey(items(ctx->orderByCols)[i], kc))
                kc.orderByMark = static_cast<uint8_t>(i + 1);
    }
}

namespace {

bool sameColumn(const ScrColumnRef &a, const ScrColumnRef &b)
{
    return strcmp(a.column, b.column) == 0 && strcmp(a.table, b.table) == 0 && strcmp(a.owner, b.owner) == 0 &&
           strcmp(a.qualifier, b.qualifier) == 0;
}

// Appends the qualified name of a column to a select list.
bool listAdd(std::string &list, int32_t tableCount, const ScrColumnRef &col)
{
    char *name = scs_p_QualifyColName(tableCount, &col);
    if (!name)
        return false;
    list += (list.empty() ? "" : ", ") + std::string(name);
    free(name);
    return true;
}

// The FROM-table columns a wildcard item stands for: every one for "*", the
// columns of its table (by alias when it named one) for table.*.
bool wildcardCovers(const ScrColumnRef &item, const ScrColumnRef &col)
{
    if (item.itemKind == SCR_ITEM_STAR)
        return true;
    if (item.alias[0])
        return strcmp(col.alias, item.alias) == 0;
    return strcmp(col.table, item.table) == 0 && !col.alias[0];
}

} // namespace

int scs_p_SelListAddKeysnXpandWC(ScsContext *ctx, DynArray *rawItems, int *rewritten)
{
    *rewritten = 0;
    const auto *raw = static_cast<const ScrColumnRef *>(rawItems->elements);
    bool wildcard = false, star = false;
    for (uint32_t i = 0; i < rawItems->count && !star; ++i) {
        wildcard = wildcard || raw[i].itemKind == SCR_ITEM_TABLE_STAR || raw[i].itemKind == SCR_ITEM_STAR;
        star = raw[i].itemKind == SCR_ITEM_STAR;
    }
    std::vector<ScrColumnRef> missing;
    if (ctx->attrAddKeys && !star && ctx->keyCols) {
        const auto *keys = static_cast<const ScrColumnRef *>(ctx->keyCols->elements);
        const auto *sel = static_cast<const ScrColumnRef *>(ctx->selectCols->elements);
        for (uint32_t k = 0; k < ctx->keyCols->count; ++k) {
            bool found = false;
            for (uint32_t i = 0; i < ctx->selectCols->count && !found; ++i)
                found = sameColumn(keys[k], sel[i]);
            if (!found)
                missing.push_back(keys[k]);
        }
    }
    if (!wildcard && missing.empty())
        return 0;

    // Items other than wildcards keep their own text (and label).
    std::vector<std::string> texts;
    if (int rc = SCR_SelectItemTexts(&ctx->analysis, &texts))
        return rc;
    if (texts.size() != rawItems->count)
        return SC_ERR_GENERAL;
    const int32_t tables = ctx->fromTables ? static_cast<int32_t>(ctx->fromTables->count) : 0;
    const auto *tcols = ctx->tableCols ? static_cast<const ScrColumnRef *>(ctx->tableCols->elements) : nullptr;
    const uint32_t ntcols = ctx->tableCols ? ctx->tableCols->count : 0;
    std::string list;
    for (uint32_t i = 0; i < rawItems->count; ++i) {
        if (raw[i].itemKind != SCR_ITEM_STAR && raw[i].itemKind != SCR_ITEM_TABLE_STAR) {
            list += (list.empty() ? "" : ", ") + texts[i];
            continue;
        }
        for (uint32_t k = 0; k < ntcols; ++k)
            if (wildcardCovers(raw[i], tcols[k]) && !listAdd(list, tables, tcols[k]))
                return ERR_MEMORY_ALLOCATION;
    }
    for (const ScrColumnRef &key : missing) {
        if (!listAdd(list, tables, key))
            return ERR_MEMORY_ALLOCATION;
        if (!DA_Append(ctx->selectCols, &key))
            return ERR_MEMORY_ALLOCATION;
    }
    if (int rc = SCR_SelectListMark(&ctx->analysis))
        return rc;
    if (int rc = ks_MarkerFill(&ctx->analysis, list))
        return rc == ERR_MEMORY_ALLOCATION ? rc : SC_ERR_GENERAL;
    *rewritten = 1;
    return 0;
}

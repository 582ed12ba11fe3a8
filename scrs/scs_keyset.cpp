// The keyset of a cursor and the statement builders that put key columns
// and key values into the SQL the cursor library generates.
//
// Every builder works on an analysed statement that holds no insertion
// marker yet: it lets the analyser mark the clause's place, fills the marker
// with the clause and leaves the rewritten text in the record's `echo`
// (ks_RewrittenText), the tree keeping its marker.  The next builder of a
// chain therefore analyses the rewritten text afresh first.
#include "scrs/scs_keyset.h"

#include "odbc/contract/errnum.h"
#include "odbc/contract/rowblock.h"
#include "scrs/sc_check.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_owners.h"
#include "util/dynarray.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

bool isHeap(ValueType t) { return t == VT_HEAP_TEXT || t == VT_HEAP_BINARY || t == VT_HEAP_WTEXT; }

// The key columns' names as the generated SQL writes them (qualified when
// the statement has two or more tables).  false when memory is short.
bool keyNames(const ScsContext *ctx, std::vector<std::string> *out)
{
    out->clear();
    if (!ctx->keyCols)
        return true;
    const auto *cols = static_cast<const ScrColumnRef *>(ctx->keyCols->elements);
    for (uint32_t i = 0; i < ctx->keyCols->count; ++i) {
        char *name = scs_p_QualifyColName(ctx->keyTableCount, &cols[i]);
        if (!name)
            return false;
        out->emplace_back(name);
        free(name);
    }
    return true;
}


// Bytes of a fixed text without its trailing blanks.
uint32_t trimmedLength(const uint8_t *p, uint32_t width)
{
    while (width > 0 && (p[width - 1] == ' ' || p[width - 1] == 0))
        --width;
    return width;
}

// UTF-16 units of a fixed wide text without its trailing blanks.
uint32_t trimmedUnits(const uint8_t *p, uint32_t width)
{
    uint32_t units = width / 2;
    while (units > 0) {
        uint16_t u;
        memcpy(&u, p + 2 * (units - 1), 2);
        if (u != ' ' && u != 0)
            break;
        --units;
    }
    return units;
}

uint32_t wideUnits(const uint8_t *p, uint32_t width)
{
    uint32_t n = 0;
    for (; n < width / 2; ++n) {
        uint16_t u;
        memcpy(&u, p + 2 * n, 2);
        if (u == 0)
            break;
    }
    return n;
}

// Copies one cell of `src` into a new one-row column `dst`, choosing the
// parameter's width.  0 or ERR_MEMORY_ALLOCATION.
int paramColumnMake(const RowBlockColumn &src, int32_t row, int addTerminator, int trim, RowBlockColumn *dst)
{
    const uint8_t *cell = src.data + static_cast<size_t>(row) * src.width;
    const int16_t ind = src.indicators[row];
    const bool value = ind >= 0;
    uint32_t width = src.width;
    uint32_t copy = src.width;  // bytes of the value copied
    switch (src.valueType) {
    case VT_NTS: {
        const void *nul = memchr(cell, 0, src.width);
        copy = value ? (nul ? static_cast<uint32_t>(static_cast<const uint8_t *>(nul) - cell) : src.width) : 0;
        width = copy + 1;
        break;
    }
    case VT_WNTS:
        copy = value ? 2 * wideUnits(cell, src.width) : 0;
        width = copy + 2;
        break;
    case VT_CHAR:
        copy = value ? (trim ? trimmedLength(cell, src.width) : src.width) : 0;
        width = (trim ? copy : src.width) + (addTerminator ? 1 : 0);
        break;
    case VT_WCHAR:
        copy = value ? (trim ? 2 * trimmedUnits(cell, src.width) : src.width) : 0;
        width = (trim ? copy : src.width) + (addTerminator ? 2 : 0);
        break;
    default:
        break;
    }
    if (width == 0)
        width = 1;
    dst->valueType = src.valueType;
    dst->width = width;
    if (RB_AllocColumn(dst, 1) != 0)
        return ERR_MEMORY_ALLOCATION;
    dst->indicators[0] = ind;
    if (!value)
        return 0;
    if (isHeap(src.valueType)) {
        LongDataBuf from;
        memcpy(&from, cell, sizeof from);
        LongDataBuf to{from.length, nullptr};
        if (from.data) {
            const size_t bytes = src.valueType == VT_HEAP_WTEXT ? 2 * static_cast<size_t>(from.length) : from.length;
            to.data = static_cast<char *>(calloc(bytes + 2, 1));
            if (!to.data)
                return ERR_MEMORY_ALLOCATION;
            memcpy(to.data, from.data, bytes);
        }
        memcpy(dst->data, &to, sizeof to);
        return 0;
    }
    memcpy(dst->data, cell, copy < width ? copy : width);
    return 0;
}

} // namespace

// Fills the statement's marker with `clause` and keeps the result as its
// rewritten text.
int ks_MarkerFill(ScrAnalysedSql *sql, const std::string &clause)
{
    free(sql->echo);
    sql->echo = nullptr;
    const char *clauses[] = {clause.c_str()};
    char *text = nullptr;
    if (int rc = SCR_MarkersFill(sql, clauses, 1, &text))
        return rc;
    sql->echo = text;
    return 0;
}

// Marks the clause's place with `mark` and fills it with `clause`.
int ks_MarkerSplice(ScrAnalysedSql *sql, int (*mark)(ScrAnalysedSql *), const std::string &clause)
{
    if (int rc = mark(sql))
        return rc;
    return ks_MarkerFill(sql, clause);
}

// ---- the record ----

int KS_Alloc(KeySet **out)
{
    if (!out)
        return SC_ERR_GENERAL;
    *out = nullptr;
    auto *ks = new (std::nothrow) KeySet;
    if (!ks)
        return ERR_MEMORY_ALLOCATION;
    ks->keyRows = KS_BlockNew();
    if (!ks->keyRows) {
        delete ks;
        return ERR_MEMORY_ALLOCATION;
    }
    DSC_Init(&ks->cache);
    *out = ks;
    return 0;
}

void ks_CloseData(KeySet *ks)
{
    if (!ks)
        return;
    if (ks->keyRows)
        RB_Free(ks->keyRows);
    free(ks->statuses);
    ks->statuses = nullptr;
    ks->statusCount = 0;
    ks->windowStart = 0;
    DSC_Close(&ks->cache);
}

void KS_Close(KeySet *ks)
{
    // The key-column list is the context's keyCols, which the analysis
    // replaces; only the keys themselves belong to the record.
    ks_CloseData(ks);
}

void KS_Free(KeySet **ks)
{
    if (!ks || !*ks)
        return;
    KS_Close(*ks);
    free((*ks)->keyRows);
    delete *ks;
    *ks = nullptr;
}

const char *ks_RewrittenText(const ScrAnalysedSql *sql) { return sql ? sql->echo : nullptr; }

// ---- statement builders ----

int ks_SelectListKeysSet(ScrAnalysedSql *sql, ScsContext *ctx)
{
    if (!sql || !ctx || !ctx->keyCols || ctx->keyCols->count == 0)
        return SC_ERR_GENERAL;
    std::vector<std::string> names;
    if (!keyNames(ctx, &names))
        return ERR_MEMORY_ALLOCATION;
    std::string clause;
    for (size_t i = 0; i < names.size(); ++i)
        clause += (i ? ", " : "") + names[i];
    return ks_MarkerSplice(sql, SCR_SelectListMark, clause);
}

int ks_SelectListAddKeys(ScrAnalysedSql *sql, ScsContext *ctx)
{
    if (!sql || !ctx || !ctx->keyCols || ctx->keyCols->count == 0)
        return SC_ERR_GENERAL;
    char *list = nullptr;
    if (int rc = SCR_SelectListText(sql, &list))
        return rc;
    std::string clause = list;
    free(list);
    std::vector<std::string> names;
    if (!keyNames(ctx, &names))
        return ERR_MEMORY_ALLOCATION;
    for (const std::string &n : names)
        clause += ", " + n;
    return ks_MarkerSplice(sql, SCR_SelectListMark, clause);
}

int KS_WhereKeysSet(ScrAnalysedSql *sql, ScsContext *ctx, uint32_t n)
{
    if (!sql || !ctx || n == 0 || !ctx->keyCols || ctx->keyCols->count == 0)
        return SC_ERR_GENERAL;
    std::vector<std::string> names;
    if (!keyNames(ctx, &names))
        return ERR_MEMORY_ALLOCATION;
    std::string group;
    for (size_t i = 0; i < names.size(); ++i)
        group += (i ? " AND " : "") + names[i] + " = ?";
    std::string groups = "( ";
    for (uint32_t g = 0; g < n; ++g)
        groups += (g ? " OR " : "") + group;
    groups += " )";
    // The mark tells whether the statement had a WHERE: the analyser then
    // writes "WHERE <marker> AND (<condition>)".
    if (int rc = SCR_WhereMark(sql))
        return rc;
    return ks_MarkerFill(sql, (sql->flags & SCR_CF_WHERE) ? groups : " WHERE " + groups);
}

int KS_OrderByKeysSet(ScrAnalysedSql *sql, ScsContext *ctx)
{
    if (!sql || !ctx || !ctx->keySet)
        return SC_ERR_GENERAL;
    if (int rc = SCR_OrderByMark(sql))
        return rc;
    const bool hadOrderBy = (sql->flags & SCR_CF_ORDER_BY) != 0;
    int32_t existing = 0;
    if (hadOrderBy)
        existing = ctx->orderByCols && ctx->orderByCols->count ? static_cast<int32_t>(ctx->orderByCols->count) : 1;
    std::string clause = hadOrderBy ? "" : " ORDER BY ";
    int32_t added = 0;
    const auto *cols = ctx->keyCols ? static_cast<const ScrColumnRef *>(ctx->keyCols->elements) : nullptr;
    for (uint32_t i = 0; cols && i < ctx->keyCols->count; ++i) {
        if (cols[i].orderByMark != 0)
            continue;
        if (ctx->maxOrderByCols > 0 && existing + added >= ctx->maxOrderByCols)
            break;
        char *name = scs_p_QualifyColName(ctx->keyTableCount, &cols[i]);
        if (!name)
            return ERR_MEMORY_ALLOCATION;
        if (existing > 0 || added > 0)
            clause += ", ";
        clause += name;
        free(name);
        ++added;
    }
    // Nothing to order by: the marker is filled with nothing.
    if (!hadOrderBy && added == 0)
        clause.clear();
    return ks_MarkerFill(sql, clause);
}

// ---- parameter rows ----

int KS_ParamRowsetMake(const RowBlock *src, int32_t first, uint32_t groups, uint32_t rows, RowBlock **out,
                       int addTerminator, int trim, int dropNullCols, uint16_t *dropped, int16_t *dropFlags)
{
    if (out)
        *out = nullptr;
    if (!src || src->columnsUsed == 0 || !src->columns || !out || groups == 0 || rows == 0 || groups < rows)
        return SC_ERR_GENERAL;
    if (first < 0 || first >= src->rowsUsed)
        return SC_ERR_GENERAL;
    if (dropNullCols && (!dropped || !dropFlags))
        return SC_ERR_GENERAL;
    const uint16_t cols = src->columnsUsed;
    const int32_t last = std::min<int64_t>(static_cast<int64_t>(first) + rows, src->rowsUsed) - 1;
    uint16_t droppedCount = 0;
    if (dropNullCols) {
        for (uint16_t c = 0; c < cols; ++c) {
            dropFlags[c] = 0;
            for (int32_t r = first; r <= last && !dropFlags[c]; ++r)
                if (src->columns[c].indicators[r] == RB_IND_NULL)
                    dropFlags[c] = 1;
            droppedCount = static_cast<uint16_t>(droppedCount + (dropFlags[c] ? 1 : 0));
        }
        *dropped = droppedCount;
    }
    const uint64_t kept = cols - droppedCount;
    const uint64_t total = kept * groups;
    if (total == 0 || total > 0xFFFF)
        return SC_ERR_GENERAL;
    BlockOwner block(KS_BlockNew());
    if (!block || RB_Init(block.get(), static_cast<uint16_t>(total)) != 0)
        return ERR_MEMORY_ALLOCATION;
    block->rowsAllocated = 1;
    block->rowsUsed = 1;
    int32_t row = first;
    uint32_t used = 1;
    uint16_t at = 0;
    for (uint32_t g = 0; g < groups; ++g) {
        for (uint16_t c = 0; c < cols; ++c) {
            if (dropNullCols && dropFlags[c])
                continue;
            if (paramColumnMake(src->columns[c], row, addTerminator, trim, &block->columns[at]) != 0) {
                block->columnsUsed = static_cast<uint16_t>(at + 1);
                return ERR_MEMORY_ALLOCATION;
            }
            ++at;
            block->columnsUsed = at;
        }
        if (used < rows && row + 1 < src->rowsUsed) {
            ++row;
            ++used;
        }
    }
    *out = block.release();
    return 0;
}

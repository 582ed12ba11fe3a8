// Static cursors: the whole result read once into the static set and
// served from it by absolute row.  A static cursor that changes rows keeps
// a keyset beside the set, built at execute in the order of the statement
// run again with its keys behind its ORDER BY, so that key row, value row
// and static row i are the same row; its rows are locked or their compared
// values read before the set is filled.
#include "odbc/contract/errnum.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "scrs/sc_check.h"
#include "scrs/sc_dataset.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyset.h"
#include "scrs/scs_rowlocks.h"
#include "scrs/scs_static.h"
#include "util/dynarray.h"
#include "util/log.h"

#include <sqlext.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const char SRC[] = "sc_s";

// Locks every row of the keyset, a window of keys at a time.
int staticRowsLock(ScsContext *ctx)
{
    KeySet *ks = ctx->keySet;
    const int32_t total = ks->statusCount;
    for (int32_t at = 0; at < total; at += DSC_WINDOW_ROWS) {
        const int32_t n = total - at < DSC_WINDOW_ROWS ? total - at : DSC_WINDOW_ROWS;
        if (int rc = DSC_WindowGet(&ks->cache, at, n, &ks->windowStart, ks->keyRows))
            return rc;
        if (int rc = scs_p_LockRows(ctx, at, n))
            return rc;
    }
    return 0;
}

// Rows the compared values hold: all of them in memory, or in the files.
int32_t valueRows(const ScsContext *ctx)
{
    if (ctx->valueCache.state == DSC_SPILLED)
        return ctx->valueCache.rowsStored;
    return ctx->compareValues ? ctx->compareValues->rowsUsed : 0;
}

// Whether the key columns that `rows` shows (its columns are named by
// `names`) hold, row by row, the keys of the keyset: false only when some
// row shows another row's key.  Rows that do not show every key column
// cannot tell.
bool keysShownAgree(const ScsContext *ctx, const RowBlock *rows, const DynArray *names)
{
    const RowBlock *keys = ctx->keySet->keyRows;
    if (!rows || !keys || !names || rows->rowsUsed != keys->rowsUsed)
        return true;
    const auto *named = static_cast<const ScrColumnRef *>(names->elements);
    const auto *keyCols = static_cast<const ScrColumnRef *>(ctx->keyCols->elements);
    std::vector<std::pair<uint16_t, uint16_t>> pairs;   // (column of rows, key column)
    for (uint16_t k = 0; k < ctx->keyCols->count && k < keys->columnsUsed; ++k)
        for (uint32_t c = 0; c < names->count && c < rows->columnsUsed; ++c)
            if (named[c].itemKind == SCR_ITEM_COLUMN &&
                scs_p_IdentEqual(named[c].column, keyCols[k].column, ctx->identQuote, ctx->quotedIdentCase,
                                 ctx->identCase, static_cast<int>(ctx->utf8Catalog)) &&
                rows->columns[c].valueType == keys->columns[k].valueType) {
                pairs.emplace_back(static_cast<uint16_t>(c), k);
                break;
            }
    if (pairs.size() != ctx->keyCols->count)
        return true;
    for (const auto &p : pairs) {
        // One-column views of the two blocks.
        RowBlock a{}, b{};
        a.columns = const_cast<RowBlockColumn *>(&rows->columns[p.first]);
        b.columns = const_cast<RowBlockColumn *>(&keys->columns[p.second]);
        a.columnsUsed = a.columnsAllocated = b.columnsUsed = b.columnsAllocated = 1;
        a.rowsUsed = a.rowsAllocated = rows->rowsUsed;
        b.rowsUsed = b.rowsAllocated = keys->rowsUsed;
        for (int32_t r = 0; r < rows->rowsUsed; ++r) {
            int equal = 0;
            if (RB_CompareRows(&a, r, &b, r, &equal) != 0 || !equal)
                return false;
        }
    }
    return true;
}

// Whether the keys, the compared values and the static set hold the same
// rows: as many of each and, while they are in memory, the keys the values
// and the rows show are the keys at their places.
bool staticReadsAgree(ScsContext *ctx)
{
    const KeySet *ks = ctx->keySet;
    const int32_t rows = ctx->place.rowCount;
    const bool values = scs_p_Concurrency(ctx) == SCS_VALUES && ctx->compareSet == 1;
    if (rows != ks->statusCount || (values && valueRows(ctx) != rows))
        return false;
    if (ks->cache.state != DSC_IN_MEMORY)
        return true;
    if (values && ctx->valueCache.state == DSC_IN_MEMORY && !keysShownAgree(ctx, ctx->compareValues, ctx->tableCols))
        return false;
    if (ctx->staticSet->cache.state != DSC_IN_MEMORY)
        return true;
    DynArray *items = nullptr;
    if (scs_p_SelectColsGet(ctx, &items, nullptr) != 0 || !items)
        return true;
    const bool agree = keysShownAgree(ctx, ctx->staticSet->rowset, items);
    DA_Free(&items, nullptr);
    return agree;
}

// Locks the keyset's rows or reads their compared values, then the rows
// themselves into the static set.
int staticPass(ScsContext *ctx, bool keyed)
{
    const int32_t conc = scs_p_Concurrency(ctx);
    int rc = 0;
    if (keyed && conc == SCS_VALUES && ctx->compareSet == 1) {
        RowBlock *params = nullptr;
        if ((ctx->scsFlags & SCS_F_PARAMS_SAVED) && ctx->savedParams && !(params = KS_BlockClone(ctx->savedParams)))
            return ERR_MEMORY_ALLOCATION;
        if ((rc = scs_p_GetOptConcColVals(ctx, params, 0, 0, 0, 0)) != 0)
            return rc;
    } else if (keyed && conc == SCS_LOCK && ctx->lockByUpdate && (rc = staticRowsLock(ctx)) != 0) {
        return rc;
    }
    return SS_GetRsltSet(ctx->staticSet, ScsLowerBinding(), static_cast<int>(ctx->drvStmt), &ctx->place.rowCount);
}

// The 0-based first row of the rowset at absolute row `row` (1-based;
// negative from the end; 0 the last rowset): 0 and *a set, ERR_BEFORE_START
// before the start, ERR_BEYOND_END beyond the end; counted back from the end
// past the start by no more than a rowset, ERR_FETCH_BEFORE_FIRST_ROWSET
// with *a 0 (the first rowset stands in).
int rowsetStart(int32_t row, int32_t rowCount, int32_t rowsetSize, int32_t *a)
{
    int32_t first;
    if (row >= 1)
        first = row - 1;
    else if (row < 0)
        first = rowCount + row;
    else
        first = rowCount - rowsetSize > 0 ? rowCount - rowsetSize : 0;
    if (first < 0) {
        if (row < 0 && rowCount > 0 && -static_cast<int64_t>(row) <= rowsetSize) {
            *a = 0;
            return ERR_FETCH_BEFORE_FIRST_ROWSET;
        }
        return ERR_BEFORE_START;
    }
    if (first > rowCount - 1)
        return ERR_BEYOND_END;
    *a = first;
    return 0;
}

} // namespace

// A static cursor whose rows can be changed through it: a SELECT of one
// table with keys, under lock or values concurrency.  Its keyset is built at
// execute, in the order of the statement run again with the keys behind its
// ORDER BY, so that key row, value row and static row i are the same row.
bool scs_p_StaticKeyed(const ScsContext *ctx)
{
    return scs_p_CursorType(ctx) == SCS_STATIC && scs_p_Concurrency(ctx) != SCS_READ_ONLY &&
           ctx->analysis.kind == SQLK_SELECT && !ctx->unparsedSelect && ctx->keyCols && ctx->keyCols->count &&
           scs_p_ChkUpdatable(ctx) == 0;
}

// The keyset of such a static cursor, and the statement prepared again with
// the keys ordering its rows; the application's parameters follow it.
int scs_p_StaticKeysetBuild(ScsContext *ctx)
{
    int rc = KS_GetKeySet_KSD(ctx);
    if (rc != 0)
        return rc;
    const char *ordered = ks_RewrittenText(&ctx->analysis);
    if (!ordered)
        return SC_ERR_GENERAL;
    std::string text(ordered);
    if (scs_p_Concurrency(ctx) == SCS_LOCK && !ctx->lockByUpdate)
        text += " FOR UPDATE";
    if ((rc = ScsLower()->Prepare(static_cast<int>(ctx->drvStmt), text.c_str())) != 0)
        return rc;
    return scs_p_ParamsResend(ctx);
}

// Reads the whole result into the static set, once.  A static cursor that
// changes rows first locks its keyset's rows or reads their values, so that
// the rows it shows are the ones locked or compared, not older ones.  Keys,
// values and rows are read by statements of their own: when other users'
// changes made them disagree, all three are read again, up to three times.
int scs_p_StaticFill(ScsContext *ctx, bool closeCursor)
{
    if (ctx->scsFlags & SCS_F_STATIC_FILLED)
        return 0;
    if (int rc = scs_p_StaticSetReady(ctx))
        return rc;
    const bool keyed = scs_p_StaticKeyed(ctx) && ctx->keySet && ctx->keySet->statuses;
    const int h = static_cast<int>(ctx->drvStmt);
    int rc = 0;
    for (int pass = 0;; ++pass) {
        if ((rc = staticPass(ctx, keyed)) != 0)
            return rc;
        if (!keyed || staticReadsAgree(ctx))
            break;
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "static cursor: %d keys, %d rows; reading them again",
                   ctx->keySet->statusCount, ctx->place.rowCount);
        SS_Close(ctx->staticSet);
        if (pass == 2)
            return ERR_KEYSET_TOO_MANY_UPDATES;
        ScsLower()->CloseCursor(h);
        if ((rc = KS_GetKeySet_KSD(ctx)) != 0 || (rc = scs_p_ParamsResend(ctx)) != 0 ||
            (rc = ScsLower()->Execute(h)) != 0)
            return rc;
    }
    if (closeCursor && (rc = ScsLower()->CloseCursor(h)) != 0)
        return rc;
    ctx->scsFlags |= SCS_F_STATIC_FILLED;
    return 0;
}

int scs_p_AbsoluteTarget(ScsContext *ctx, int32_t row, int32_t *a)
{
    int rc = rowsetStart(row, ctx->place.rowCount, ctx->opts.rowsetSize, a);
    if (rc == ERR_BEFORE_START) {
        CUR_PosSet(&ctx->place, CUR_POS_BEFORE_START);
        return rc;
    }
    if (rc == ERR_BEYOND_END) {
        CUR_PosSet(&ctx->place, CUR_POS_AFTER_END);
        return rc;
    }
    return rc;
}

int scs_p_FetchStatic(ScsContext *ctx, RowsetCache *rowset, int32_t row)
{
    const bool keepOpen = ctx->analysis.kind == SQLK_CALL || scs_p_Concurrency(ctx) == SCS_LOCK;
    if (int rc = scs_p_StaticFill(ctx, !keepOpen))
        return rc;
    int32_t a = 0;
    const int placed = scs_p_AbsoluteTarget(ctx, row, &a);
    if (placed != 0 && placed != ERR_FETCH_BEFORE_FIRST_ROWSET)
        return placed;
    int rc = 0;
    ctx->place.absRow = rowset->firstRow = a + 1;
    const int32_t R = ctx->opts.rowsetSize;
    KeySet *ks = ctx->keySet;
    const bool keyed = scs_p_StaticKeyed(ctx) && ks && ks->statuses;
    const bool values = keyed && scs_p_Concurrency(ctx) == SCS_VALUES;
    // The keys and values of the rowset's rows, read back when they spilled.
    if (keyed && (rc = DSC_WindowGet(&ks->cache, a, R, &ks->windowStart, ks->keyRows)) != 0)
        return rc;
    if (values && ctx->compareSet == 1 && ctx->compareValues &&
        (rc = DSC_WindowGet(&ctx->valueCache, a, R, &ctx->valueCacheStart, ctx->compareValues)) != 0)
        return rc;
    if ((rc = SS_GetRowset(ctx->staticSet, a, R, &rowset->block)) != 0)
        return rc;
    for (int32_t i = 0; i < rowset->rows && a + i <= ctx->place.rowCount - 1; ++i) {
        uint16_t st = SQL_ROW_SUCCESS;
        if (keyed && a + i < ks->statusCount) {
            // A failed change is forgotten; a row this cursor updated or
            // deleted stays so marked, for the set still shows it as it was
            // read.
            if (ks->statuses[a + i] == SQL_ROW_ERROR)
                ks->statuses[a + i] = SQL_ROW_SUCCESS;
            st = static_cast<uint16_t>(ks->statuses[a + i]);
        }
        rowset->status[i] = st;
    }
    if (values && ctx->compareSet == 2 && rowset->block) {
        // The values compared are the rows as the application received them.
        if (!ctx->compareValues && !(ctx->compareValues = KS_BlockNew()))
            return ERR_MEMORY_ALLOCATION;
        RB_Free(ctx->compareValues);
        if ((rc = RB_Clone(ctx->compareValues, rowset->block)) != 0)
            return rc;
    }
    return placed;
}

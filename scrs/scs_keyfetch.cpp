// Keyset-driven cursors: the keyset read at execute, and the fetch that turns
// a window of keys into rows.
//
// At execute the keyset query (the statement's select list replaced by its
// key columns, ordered by the statement's ORDER BY and then the keys) runs on
// the auxiliary statement into the keyset's dataset cache.  A fetch runs the
// fetch-by-keys SELECT on the application's own statement: the statement's
// select list followed by the key columns, and groups of "key = ?" ahead of
// its WHERE, prepared once and bound again with each rowset's keys.  Every
// row fetched is put at the place of its own key, whatever order the server
// returns the rows in (another user may have changed an ORDER BY column in
// the meantime); a key that brings no row has been deleted, or no longer
// satisfies the statement's condition, and its row is shown as deleted.
#include "odbc/contract/errnum.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "scrs/sc_check.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyscroll.h"
#include "scrs/scs_keyset.h"
#include "scrs/scs_owners.h"
#include "scrs/scs_rowlocks.h"
#include "scrs/scs_static.h"
#include "util/dynarray.h"
#include "util/log.h"
#include "util/strutil.h"

#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char SRC_KS[] = "ks";
const char SRC_SC[] = "sc_s";

uint32_t keyCount(const ScsContext *ctx) { return ctx->keyCols ? ctx->keyCols->count : 0; }

const ScrColumnRef *keyCols(const ScsContext *ctx)
{
    return ctx->keyCols ? static_cast<const ScrColumnRef *>(ctx->keyCols->elements) : nullptr;
}

// Parameters the application's statement takes.
int32_t appParamCount(const ScsContext *ctx)
{
    int32_t n = ctx->appParamTypeCount;
    if ((ctx->scsFlags & SCS_F_PARAMS_SAVED) && ctx->savedParams && ctx->savedParams->columnsUsed > n)
        n = ctx->savedParams->columnsUsed;
    return n;
}



// Analyses `text` into `sql` (parse only); a failure is logged.
int analyse(ScrAnalysedSql *sql, const char *text, const ScsContext *ctx, const char *src)
{
    // The text may be the record's own rewritten text, which the parse frees.
    std::string copy = text ? text : "";
    int rc = SCR_AnalyseSQL(sql, copy.c_str(), 1, static_cast<int>(ctx->noCatalogs));
    if (rc != 0)
        scs_p_AnalysisFailureLog(src, copy.c_str(), sql);
    return rc;
}

// Hands a parameter block to the back end, the application's kept values
// joined behind the key values.
int paramsSend(ScsContext *ctx, int stmt, RowBlock *keys, RowBlock **lastSent)
{
    BlockOwner block(keys);
    if ((ctx->scsFlags & SCS_F_PARAMS_SAVED) && ctx->savedParams && ctx->savedParams->columnsUsed) {
        BlockOwner app(KS_BlockClone(ctx->savedParams));
        if (!app)
            return ERR_MEMORY_ALLOCATION;
        if (int rc = RB_JoinColumns(app.get(), block.get()))
            return rc;
        block.reset(app.release());
    }
    if (lastSent && !(*lastSent = KS_BlockClone(block.get())))
        return ERR_MEMORY_ALLOCATION;
    return ScsLower()->SetParams(stmt, block.release());
}

// Describes `groups` key groups and then the application's parameters.
int paramTypesSend(ScsContext *ctx, int stmt, uint32_t groups)
{
    free(ctx->genParamTypes);
    ctx->genParamTypes = nullptr;
    ctx->genParamTypeCount = 0;
    for (uint32_t g = 0; g < groups; ++g)
        if (int rc = scs_p_AddParamDescs(ctx, keyCols(ctx), keyCount(ctx), g + 1 == groups))
            return rc;
    return ScsLower()->SetParamTypes(stmt, ctx->genParamTypeCount, ctx->genParamTypes);
}

// Fetches up to `rows` rows of the statement's result behind those of `into`.
int fetchAppend(int stmt, int32_t rows, RowBlock *into)
{
    int64_t got = 0;
    return ks_FetchRows(stmt, rows, into, 0, &got);
}


} // namespace

// ---- the keyset at execute ----

int KS_GetKeySet_KSD(ScsContext *ctx)
{
    if (!ctx || !ctx->keySet || !ctx->stmtText || keyCount(ctx) == 0)
        return SC_ERR_GENERAL;
    KeySet *ks = ctx->keySet;
    const int aux = static_cast<int>(ctx->posStmt);
    // No room for one key group beside the application's parameters: such a
    // cursor could never fetch a row.
    int32_t stmts = 0, last = 0, per = 0;
    if (scs_p_GetKeyFetchBatches(ctx->maxParams, appParamCount(ctx), static_cast<int32_t>(keyCount(ctx)), 1, &stmts,
                                 &last, &per) != 0) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC_KS, __LINE__,
                   "KS_GetKeySet_KSD: %u key columns and %d parameters exceed the limit of %d parameters",
                   keyCount(ctx), appParamCount(ctx), ctx->maxParams);
        return ERR_NOT_CAPABLE;
    }
    ks->tableCount = static_cast<uint8_t>(ctx->keyTableCount & 0xFF);

    // The analysis is made again from the kept text: a fetch may have left
    // the fetch-by-keys SELECT in it.
    ctx->scsFlags &= static_cast<uint16_t>(~(SCS_F_KEYFETCH_PREPARED | SCS_F_KEY_ORDER_BY));
    if (int rc = analyse(&ctx->analysis, ctx->stmtText, ctx, SRC_KS))
        return rc;
    if (int rc = KS_OrderByKeysSet(&ctx->analysis, ctx))
        return rc;
    ctx->scsFlags |= SCS_F_KEY_ORDER_BY;
    if (int rc = analyse(&ctx->keysetAnalysis, ks_RewrittenText(&ctx->analysis), ctx, SRC_KS))
        return rc;
    if (int rc = ks_SelectListKeysSet(&ctx->keysetAnalysis, ctx))
        return rc;

    int rc = ScsLower()->Prepare(aux, ks_RewrittenText(&ctx->keysetAnalysis));
    if (rc != 0) {
        scs_p_AuxDiagsMove(ctx);
        return rc;
    }
    if ((ctx->scsFlags & SCS_F_PARAMS_SAVED) && ctx->savedParams) {
        RowBlock *copy = KS_BlockClone(ctx->savedParams);
        if (!copy)
            return ERR_MEMORY_ALLOCATION;
        if ((rc = ScsLower()->SetParams(aux, copy)) != 0)
            return rc;
    }
    if (ctx->sendParamTypes && ctx->appParamTypeCount &&
        (rc = ScsLower()->SetParamTypes(aux, ctx->appParamTypeCount, ctx->appParamTypes)) != 0)
        return rc;
    if ((rc = ScsLower()->Execute(aux)) != 0)
        return rc;

    ks_CloseData(ks);
    int32_t total = 0;
    rc = DSC_Fill(&ks->cache, ScsLowerBinding(), aux, ks->keyRows, &total);
    ScsLower()->CloseCursor(aux);
    if (rc != 0) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC_KS, __LINE__, "KS_GetKeySet_KSD: Could not fill dataset cache");
        ks_CloseData(ks);
        return rc;
    }
    ctx->place.rowCount = total;
    ks->windowStart = ks->cache.state == DSC_SPILLED ? -1 : 0;
    // Keys come from NOT NULL columns; a NULL among them (a catalog that
    // described a nullable column as a key) would match no row by "=" and
    // show a live row as deleted, so such a keyset is refused.
    if (ks->cache.state != DSC_SPILLED) {
        for (uint16_t c = 0; c < ks->keyRows->columnsUsed; ++c)
            for (int32_t r = 0; r < ks->keyRows->rowsUsed; ++r)
                if (ks->keyRows->columns[c].indicators[r] == RB_IND_NULL) {
                    LOG_Printf(LOG_LEVEL_ERROR, SRC_KS, __LINE__, "KS_GetKeySet_KSD: a key column holds NULL");
                    ks_CloseData(ks);
                    return ERR_NO_KEY_COLUMNS;
                }
    }
    ks->statuses = static_cast<int16_t *>(calloc(total > 0 ? static_cast<size_t>(total) : 1, sizeof(int16_t)));
    if (!ks->statuses)
        return ERR_MEMORY_ALLOCATION;
    ks->statusCount = total;
    return 0;
}

// ---- keys that still exist ----

int KS_GetExistingKeys(ScsContext *ctx, const RowBlock *keys, int32_t first, RowBlock **out)
{
    if (!out)
        return SC_ERR_GENERAL;
    *out = nullptr;
    if (!ctx || !keys || !ctx->stmtText || keyCount(ctx) == 0 || keys->columnsUsed != keyCount(ctx))
        return SC_ERR_GENERAL;
    RowBlock *result = KS_BlockNew();
    if (!result)
        return ERR_MEMORY_ALLOCATION;
    *out = result;   // the caller's, whatever happens
    const int32_t rows = std::min(ctx->opts.rowsetSize, keys->rowsUsed - first);
    if (first < 0 || rows <= 0)
        return 0;
    int32_t stmts = 0, lastRows = 0, per = 0;
    int rc = scs_p_GetKeyFetchBatches(ctx->maxParams, appParamCount(ctx), static_cast<int32_t>(keyCount(ctx)),
                                      ctx->opts.rowsetSize, &stmts, &lastRows, &per);
    if (rc != 0)
        return rc;
    const int stmt = static_cast<int>(ctx->refetchStmt);
    if (scs_p_CursorType(ctx) == SCS_DYNAMIC || !(ctx->refetchFlags & SCS_RF_EXISTING_KEYS) ||
        ctx->existingKeysGroups != static_cast<uint32_t>(per)) {
        ctx->refetchFlags = 0;
        if ((rc = analyse(&ctx->refetchAnalysis, ctx->stmtText, ctx, SRC_KS)) != 0 ||
            (rc = KS_OrderByKeysSet(&ctx->refetchAnalysis, ctx)) != 0 ||
            (rc = analyse(&ctx->refetchAnalysis, ks_RewrittenText(&ctx->refetchAnalysis), ctx, SRC_KS)) != 0 ||
            (rc = ks_SelectListKeysSet(&ctx->refetchAnalysis, ctx)) != 0 ||
            (rc = analyse(&ctx->refetchAnalysis, ks_RewrittenText(&ctx->refetchAnalysis), ctx, SRC_KS)) != 0 ||
            (rc = KS_WhereKeysSet(&ctx->refetchAnalysis, ctx, static_cast<uint32_t>(per))) != 0)
            return rc;
        if ((rc = ScsLower()->Prepare(stmt, ks_RewrittenText(&ctx->refetchAnalysis))) != 0)
            return rc;
        ctx->refetchFlags |= SCS_RF_EXISTING_KEYS;
        ctx->existingKeysGroups = static_cast<uint32_t>(per);
    }
    for (int32_t done = 0; done < rows; done += per) {
        const int32_t n = std::min(per, rows - done);
        AuxCursor answer(stmt);
        RowBlock *params = nullptr;
        rc = KS_ParamRowsetMake(keys, first + done, static_cast<uint32_t>(per), static_cast<uint32_t>(n), &params,
                                static_cast<int>(ctx->fixedTextNul), 0, 0, nullptr, nullptr);
        if (rc == 0)
            rc = paramsSend(ctx, stmt, params, nullptr);
        if (rc == 0 && ctx->sendParamTypes)
            rc = paramTypesSend(ctx, stmt, static_cast<uint32_t>(per));
        if (rc == 0)
            rc = ScsLower()->Execute(stmt);
        if (rc == 0)
            rc = fetchAppend(stmt, per, result);
        if (rc != 0)
            return rc;
    }
    return 0;
}

// ---- fetch by keys ----

int scs_p_MarkDeletedRows(ScsContext *ctx, RowBlock *rows, RowBlock *keyRows, int32_t first, int32_t windowStart,
                          int16_t *keyStatuses)
{
    if (!ctx || !rows || !keyRows || !keyStatuses)
        return SC_ERR_GENERAL;
    const int32_t at = first - windowStart;
    const int32_t check = std::min(ctx->opts.rowsetSize, keyRows->rowsUsed - at);
    BlockOwner existing;
    if (int rc = KS_GetExistingKeys(ctx, keyRows, at, existing.out()))
        return rc;
    // Membership, not order: the existing keys come back in the statement's
    // order, which another user's change to an ORDER BY column may have
    // moved away from the keyset's.
    for (int32_t j = 0; j < check; ++j) {
        bool found = false;
        for (int32_t i = 0; !found && i < existing->rowsUsed; ++i) {
            int equal = 0;
            if (RB_CompareRows(keyRows, at + j, existing.get(), i, &equal) != 0)
                break;
            found = equal != 0;
        }
        if (found)
            continue;
        if (rows->columnsUsed && j <= rows->rowsUsed && rows->rowsUsed < rows->rowsAllocated)
            RB_InsertRow(rows, j);
        keyStatuses[first + j] = SQL_ROW_DELETED;
    }
    return 0;
}

int scs_p_GetKeySetBounds(ScsContext *ctx, RowBlock **out)
{
    if (!ctx || !ctx->keySet || !out || !ctx->keySet->keyRows)
        return SC_ERR_GENERAL;
    RowBlock *keyRows = ctx->keySet->keyRows;
    if (keyRows->rowsUsed == 0 || keyRows->columnsUsed == 0)
        return SC_ERR_GENERAL;
    BlockOwner bounds;
    int rc = RB_NewLike(bounds.out(), keyRows, 2);
    if (rc == 0)
        rc = RB_CopyRow(bounds.get(), keyRows, 0, 0, 0);
    if (rc == 0)
        rc = RB_CopyRow(bounds.get(), keyRows, 1, keyRows->rowsUsed - 1, 0);
    // The window keeps only the key columns; the ORDER BY values behind them
    // were needed for the bounds alone.
    while (rc == 0 && keyRows->columnsUsed > keyCount(ctx))
        rc = RB_DeleteColumn(keyRows, keyRows->columnsUsed - 1);
    if (rc != 0)
        return rc;
    *out = bounds.release();
    return 0;
}

namespace {

// The fetch-by-keys SELECT on the application's statement, prepared again
// for `groups` key groups unless it is prepared for as many already.
int keyFetchPrepare(ScsContext *ctx, int32_t groups)
{
    if ((ctx->scsFlags & SCS_F_KEYFETCH_PREPARED) && !(ctx->scsFlags & SCS_F_REBUILD_KEYFETCH) &&
        ctx->keyFetchGroups == static_cast<uint32_t>(groups))
        return 0;
    ctx->scsFlags &= static_cast<uint16_t>(~SCS_F_KEY_ORDER_BY);
    int rc = 0;
    if ((rc = analyse(&ctx->analysis, ctx->stmtText, ctx, SRC_SC)) != 0 ||
        (rc = ks_SelectListAddKeys(&ctx->analysis, ctx)) != 0 ||
        (rc = analyse(&ctx->analysis, ks_RewrittenText(&ctx->analysis), ctx, SRC_SC)) != 0 ||
        (rc = KS_WhereKeysSet(&ctx->analysis, ctx, static_cast<uint32_t>(groups))) != 0)
        return rc;
    std::string text = ks_RewrittenText(&ctx->analysis);
    if (scs_p_Concurrency(ctx) == SCS_LOCK && !ctx->lockByUpdate)
        text += " FOR UPDATE";
    ctx->scsFlags |= SCS_F_KEYFETCH_PREPARED;
    ctx->scsFlags &= static_cast<uint16_t>(~SCS_F_REBUILD_KEYFETCH);
    ctx->keyFetchGroups = static_cast<uint32_t>(groups);
    if ((rc = ScsLower()->Prepare(static_cast<int>(ctx->drvStmt), text.c_str())) != 0) {
        ctx->scsFlags &= static_cast<uint16_t>(~SCS_F_KEYFETCH_PREPARED);
        return rc;
    }
    return 0;
}

// Where a rowset's rows come from: `count` key rows from row `at` of the
// window, `perStmt` key groups a statement.
struct KeyBatches {
    int32_t at;
    int32_t count;
    int32_t perStmt;
    int32_t statements = 0;    // statements run
};

// Runs the fetch-by-keys SELECT over the batches and appends the rows to
// *fetched.  With `lastSent` (a single statement under values concurrency),
// the parameters sent are kept there for the values read that follows.
int keyRowsFetch(ScsContext *ctx, KeyBatches *b, RowBlock *fetched, BlockOwner *lastSent)
{
    const int h = static_cast<int>(ctx->drvStmt);
    const RowBlock *keyRows = ctx->keySet->keyRows;
    for (int32_t done = 0; done < b->count; done += b->perStmt, ++b->statements) {
        const int32_t n = std::min(b->perStmt, b->count - done);
        RowBlock *params = nullptr;
        int rc = KS_ParamRowsetMake(keyRows, b->at + done, static_cast<uint32_t>(b->perStmt),
                                    static_cast<uint32_t>(n), &params, static_cast<int>(ctx->fixedTextNul), 0, 0,
                                    nullptr, nullptr);
        if (rc == 0) {
            if (lastSent)
                lastSent->reset();
            rc = paramsSend(ctx, h, params, lastSent ? lastSent->out() : nullptr);
        }
        if (rc == 0 && done == 0 && ctx->sendParamTypes)
            rc = paramTypesSend(ctx, h, static_cast<uint32_t>(b->perStmt));
        if (rc == 0)
            rc = ScsLower()->Execute(h);
        if (rc == 0)
            rc = fetchAppend(h, b->perStmt, fetched);
        if (rc != 0)
            return rc;
    }
    return 0;
}

// Puts each fetched row at the place of its key in the rowset's block (rows
// of the result's columns even when no row came back), marking the keys
// that brought none deleted.
int rowsetPlace(ScsContext *ctx, RowsetCache *rowset, const KeyBatches &b, int32_t first, RowBlock *fetched)
{
    KeySet *ks = ctx->keySet;
    const int32_t R = ctx->opts.rowsetSize;
    BlockRows fetchedKeys;
    int rc = 0;
    if (fetched->columnsUsed && (rc = KS_KeysSplitOff(fetched, static_cast<uint16_t>(keyCount(ctx)),
                                                      &fetchedKeys.rows)) != 0)
        return rc;
    RowBlock *out = rowset->block;
    if (fetched->columnsUsed)
        rc = RB_NewLike(&out, fetched, R);
    else if ((rc = scs_p_LoadRsltColDescs(ctx)) == 0) {
        RB_Free(out);
        rc = RB_InitFromColDescs(ctx->rsltColDescs, ctx->rsltColCount, R, out);
    }
    rowset->block = out;
    if (rc != 0)
        return rc;
    return KS_RowsPlaceByKeys(ks->keyRows, b.at, b.count, fetched, &fetchedKeys.rows, out, ks->statuses, first,
                              ks->statusCount);
}

} // namespace

int scs_p_FetchKeyset(ScsContext *ctx, RowsetCache *rowset, int32_t row)
{
    KeySet *ks = ctx->keySet;
    if (!ks || !rowset || !ctx->stmtText || keyCount(ctx) == 0)
        return SC_ERR_GENERAL;
    const bool keysetDriven = ctx->opts.keysetSize <= 0;
    const int32_t R = ctx->opts.rowsetSize;
    const uint16_t K = static_cast<uint16_t>(keyCount(ctx));
    const int h = static_cast<int>(ctx->drvStmt);

    int32_t a = row;
    const int placed = keysetDriven ? scs_p_AbsoluteTarget(ctx, row, &a) : 0;
    if (placed != 0 && placed != ERR_FETCH_BEFORE_FIRST_ROWSET)
        return placed;
    ctx->place.absRow = a + 1;
    if (keysetDriven)
        rowset->firstRow = a + 1;

    int32_t S = 0, L = 0, N = 0;
    int rc = scs_p_GetKeyFetchBatches(ctx->maxParams, appParamCount(ctx), K, R, &S, &L, &N);
    if (rc != 0)
        return ERR_NOT_CAPABLE;
    if ((rc = keyFetchPrepare(ctx, N)) != 0)
        return rc;

    if (keysetDriven && (rc = DSC_WindowGet(&ks->cache, a, R, &ks->windowStart, ks->keyRows)) != 0)
        return rc;
    KeyBatches batches{a - ks->windowStart, 0, N};
    batches.count = std::min<int32_t>(R, ks->keyRows->rowsUsed - batches.at);
    if (batches.at < 0 || batches.count <= 0)
        return placed;
    if (ks->keyRows->columnsUsed != K)
        return SC_ERR_GENERAL;

    const bool updatable = scs_p_ChkUpdatable(ctx) == 0;
    const int32_t conc = scs_p_Concurrency(ctx);
    const bool wantValues = updatable && conc == SCS_VALUES;
    BlockOwner lastParams;
    {
        BlockRows fetched;
        rc = keyRowsFetch(ctx, &batches, &fetched.rows, wantValues && S == 1 ? &lastParams : nullptr);
        if (rc == 0 && conc != SCS_LOCK)
            rc = ScsLower()->CloseCursor(h);
        // Each fetched row goes to the place of its key.
        if (rc == 0)
            rc = rowsetPlace(ctx, rowset, batches, a, &fetched.rows);
        if (rc != 0)
            return rc;
    }

    if (updatable && conc == SCS_VALUES) {
        const int32_t n = batches.statements;
        if ((rc = scs_p_GetOptConcColVals(ctx, lastParams.release(), a, n, N, batches.count - (n - 1) * N)) != 0)
            return rc;
    } else if (updatable && conc == SCS_LOCK && ctx->lockByUpdate) {
        if ((rc = scs_p_LockRows(ctx, ctx->place.absRow - 1, R)) != 0)
            return rc;
    }

    for (int32_t k = 0; k < rowset->rows && k < R && k < batches.count; ++k) {
        if (a + k >= ks->statusCount)
            break;
        if (ks->statuses[a + k] == SQL_ROW_ERROR)
            ks->statuses[a + k] = SQL_ROW_SUCCESS;
        rowset->status[k] = static_cast<uint16_t>(ks->statuses[a + k]);
    }
    return placed;
}

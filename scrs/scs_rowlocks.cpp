// Row locks and optimistic-concurrency values of scrollable cursors.
//
// Under lock concurrency this back end locks a row by an UPDATE that sets
// every key column to its own value, selected by the same key values, one
// row at a time on the positioned-operation statement; the lock lasts until
// the connection's transaction ends.  Under values concurrency the cursor
// keeps, beside the rowset, the current values of the table's columns for
// each row (compareValues), read by a value-refetch SELECT: the statement
// the fetch prepared last with its select list replaced by those columns.
// Positioned updates and deletes later require the values to be unchanged.
#include "odbc/contract/drv_items.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "scrs/sc_check.h"
#include "scrs/sc_dataset.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyscroll.h"
#include "scrs/scs_keyset.h"
#include "scrs/scs_owners.h"
#include "scrs/scs_rowlocks.h"
#include "util/dynarray.h"
#include "util/log.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char SRC[] = "sc_s";



const ScrColumnRef *keyColumns(const ScsContext *ctx, uint32_t *n)
{
    *n = ctx->keyCols ? ctx->keyCols->count : 0;
    return ctx->keyCols ? static_cast<const ScrColumnRef *>(ctx->keyCols->elements) : nullptr;
}

// genParamTypes := the key columns' entries `groups` times, then (when
// addApp) the application's entries.
int keyParamTypesBuild(ScsContext *ctx, int32_t groups, int addApp)
{
    free(ctx->genParamTypes);
    ctx->genParamTypes = nullptr;
    ctx->genParamTypeCount = 0;
    uint32_t nk = 0;
    const ScrColumnRef *keys = keyColumns(ctx, &nk);
    for (int32_t g = 0; g < groups; ++g)
        if (int rc = scs_p_AddParamDescs(ctx, keys, nk, addApp && g == groups - 1))
            return rc;
    if (groups <= 0 && addApp)
        return scs_p_AddParamDescs(ctx, keys, 0, 1);
    return 0;
}

// Fetches up to `want` rows of the statement's result behind the rows
// `into` holds (the back end may hand them over a row at a time).
int fetchRows(int stmt, int32_t want, RowBlock *into)
{
    int64_t got = 0;
    return ks_FetchRows(stmt, want, into, 0, &got);
}


// One parameter block of the key values of key row `row` (window-relative),
// twice: for the SET list and for the WHERE list.
int lockParams(ScsContext *ctx, int32_t row, RowBlock **out)
{
    *out = nullptr;
    const RowBlock *keyRows = ctx->keySet->keyRows;
    BlockOwner set, where;
    int rc = KS_ParamRowsetMake(keyRows, row, 1, 1, set.out(), static_cast<int>(ctx->fixedTextNul), 0, 0, nullptr,
                                nullptr);
    if (rc == 0)
        rc = KS_ParamRowsetMake(keyRows, row, 1, 1, where.out(), static_cast<int>(ctx->fixedTextNul), 0, 0,
                                nullptr, nullptr);
    if (rc == 0)
        rc = RB_JoinColumns(where.get(), set.get());  // the SET values in front
    if (rc != 0)
        return rc;
    *out = where.release();
    return 0;
}

} // namespace

const char *scs_p_AnalysisText(const ScrAnalysedSql *sql)
{
    if (!sql)
        return nullptr;
    if (sql->kind > 0 && sql->echo)
        return sql->echo;
    if (sql->tree && sql->tree->text)
        return sql->tree->text;
    return sql->statement;
}

int scs_p_LockTextBuild(const ScsContext *ctx, std::string *out)
{
    uint32_t nk = 0;
    const ScrColumnRef *keys = keyColumns(ctx, &nk);
    if (!ctx->fromTables || ctx->fromTables->count == 0 || nk == 0)
        return SC_ERR_GENERAL;
    const auto *table = static_cast<const ScrTableRef *>(ctx->fromTables->elements);
    if (!table->table || !table->table[0])
        return SC_ERR_GENERAL;
    std::string t = "UPDATE ";
    if (table->owner && table->owner[0])
        t += std::string(table->owner) + ".";
    t += table->table;
    t += " SET ";
    for (uint32_t i = 0; i < nk; ++i)
        t += std::string(i ? ", " : "") + keys[i].column + " = ?";
    t += " WHERE ";
    for (uint32_t i = 0; i < nk; ++i)
        t += std::string(i ? " AND " : "") + keys[i].column + " = ?";
    *out = t;
    return 0;
}

int scs_p_LockRows(ScsContext *ctx, int32_t first, int32_t count)
{
    KeySet *ks = ctx->keySet;
    if (!ks || !ks->keyRows || !ks->statuses)
        return SC_ERR_GENERAL;
    const int32_t windowStart = ks->windowStart < 0 ? 0 : ks->windowStart;
    int32_t last = first + count - 1;
    const int32_t held = windowStart + ks->keyRows->rowsUsed - 1;
    if (last > held)
        last = held;
    // Rows fetched as they are (or as another user changed them) are
    // locked; deleted rows and rows in error are not.
    auto wanted = [&](int32_t i) {
        return i >= 0 && i < ks->statusCount &&
               (ks->statuses[i] == SQL_ROW_SUCCESS || ks->statuses[i] == SQL_ROW_UPDATED);
    };
    int32_t toLock = 0;
    for (int32_t i = first; i <= last; ++i)
        toLock += wanted(i) ? 1 : 0;
    if (toLock == 0)
        return 0;

    uint32_t nk = 0;
    keyColumns(ctx, &nk);
    bool typesBuilt = false;
    if (ctx->sendParamTypes) {
        if (int rc = keyParamTypesBuild(ctx, 2, 0))
            return rc;
        typesBuilt = true;
    }
    std::string text;
    if (int rc = scs_p_LockTextBuild(ctx, &text))
        return rc;
    const int h = static_cast<int>(ctx->posStmt);
    int rc = ScsLower()->Prepare(h, text.c_str());
    if (rc == 0 && typesBuilt)
        rc = ScsLower()->SetParamTypes(h, ctx->genParamTypeCount, ctx->genParamTypes);
    if (rc != 0)
        return rc;

    int32_t locked = 0;
    for (int32_t i = first; i <= last; ++i) {
        if (!wanted(i))
            continue;
        RowBlock *params = nullptr;
        if ((rc = lockParams(ctx, i - windowStart, &params)) != 0)
            break;
        if ((rc = ScsLower()->SetParams(h, params)) != 0 || (rc = ScsLower()->Execute(h)) != 0)
            break;
        int32_t touched = 0;
        int16_t len = 0;
        if ((rc = ScsLower()->GetInfo(h, DrvInt(DRV_STMT_ROW_COUNT), &touched, 4, &len)) != 0 || touched <= 0)
            break;
        ++locked;
    }
    if (locked < toLock) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "scs_p_LockRows: Couldn't acquire row lock(s).");
        // The server's reason first, then what it means for the rowset.
        scs_p_AuxDiagsMove(ctx);
        scs_p_ErrPostCode(ctx, ERR_ROW_ERROR);
        return ERR_ROW_ERROR;
    }
    return 0;
}

namespace {

// The value-refetch SELECT of `text`; withKeys puts the key columns behind
// the table's columns, so that each row's values can be put at its key.
int optConcSelectBuild(ScsContext *ctx, const char *text, ScrAnalysedSql *sql, bool withKeys)
{
    // The text may be the record's own, which the parse frees.
    const std::string copy = text ? text : "";
    SCR_Free(sql);
    int rc = SCR_AnalyseSQL(sql, copy.c_str(), 1, static_cast<int>(ctx->noCatalogs));
    if (rc != 0) {
        scs_p_AnalysisFailureLog(SRC, copy.c_str(), sql);
        return rc;
    }
    if ((rc = SCR_SelectListMark(sql)) != 0)
        return rc;
    if (!ctx->tableCols || ctx->tableCols->count == 0)
        return SC_ERR_GENERAL;
    const int32_t tables = ctx->fromTables ? static_cast<int32_t>(ctx->fromTables->count) : 0;
    std::string list;
    auto add = [&](const ScrColumnRef *col, int32_t tableCount) {
        char *name = scs_p_QualifyColName(tableCount, col);
        if (!name)
            return false;
        list += (list.empty() ? "" : ", ") + std::string(name);
        free(name);
        return true;
    };
    const auto *cols = static_cast<const ScrColumnRef *>(ctx->tableCols->elements);
    for (uint32_t i = 0; i < ctx->tableCols->count; ++i)
        if (!add(&cols[i], tables))
            return ERR_MEMORY_ALLOCATION;
    uint32_t nk = 0;
    const ScrColumnRef *keys = keyColumns(ctx, &nk);
    if (withKeys)
        for (uint32_t i = 0; i < nk; ++i)
            if (!add(&keys[i], ctx->keyTableCount))
                return ERR_MEMORY_ALLOCATION;
    // Spliced in the tree: a marker's bytes inside a literal stay as they are.
    if ((rc = ks_MarkerFill(sql, list)) != 0)
        return rc == ERR_MEMORY_ALLOCATION ? rc : SC_ERR_GENERAL;
    return 0;
}

} // namespace

int scs_p_OptConcSelectBuild(ScsContext *ctx, const char *text, ScrAnalysedSql *sql)
{
    return optConcSelectBuild(ctx, text, sql, scs_p_CursorType(ctx) != SCS_STATIC);
}

namespace {

// The static cursor's values: the whole result of its own statement, in a
// dataset cache of their own.
int staticValuesRead(ScsContext *ctx, RowBlock *params)
{
    const int h = static_cast<int>(ctx->refetchStmt);
    int rc = 0;
    if (params) {
        if ((rc = ScsLower()->SetParams(h, params)) != 0)
            return rc;
        if (ctx->sendParamTypes && ctx->appParamTypeCount &&
            ((rc = keyParamTypesBuild(ctx, 0, 1)) != 0 ||
             (rc = ScsLower()->SetParamTypes(h, ctx->genParamTypeCount, ctx->genParamTypes)) != 0))
            return rc;
    }
    if ((rc = ScsLower()->Execute(h)) != 0)
        return rc;
    DSC_Close(&ctx->valueCache);
    int32_t total = 0;
    rc = DSC_Fill(&ctx->valueCache, ScsLowerBinding(), h, ctx->compareValues, &total);
    ScsLower()->CloseCursor(h);
    if (rc != 0) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__,
                   "scs_p_GetOptConcColVals: Could not fill optimistic concurrency values cache");
        return rc;
    }
    ctx->valueCacheStart = ctx->valueCache.state == DSC_SPILLED ? -1 : 0;
    return 0;
}


// `rows` all-NULL rows of the columns the statement describes, less the
// last `keys`.
int emptyValues(int stmt, uint16_t keys, int32_t rows, RowBlock *out)
{
    uint16_t n = 0;
    ColDesc *descs = nullptr;
    int rc = ScsLower()->GetColDescs(stmt, &n, &descs);
    if (rc == 0 && n < keys)
        rc = SC_ERR_GENERAL;
    if (rc == 0)
        rc = RB_InitFromColDescs(descs, static_cast<uint16_t>(n - keys), rows, out);
    CD_Free(descs, n);
    if (rc == 0)
        out->rowsUsed = rows;
    return rc;
}

} // namespace

namespace {

// compareValues emptied, or made when there is none.
int valuesBlockReset(ScsContext *ctx)
{
    if (ctx->compareValues)
        RB_Free(ctx->compareValues);
    else if (!(ctx->compareValues = KS_BlockNew()))
        return ERR_MEMORY_ALLOCATION;
    return 0;
}

// The value-refetch SELECT of the statement the fetch prepared last, on
// refetchStmt, unless it is prepared there for as many key groups.
int valueRefetchPrepare(ScsContext *ctx, int32_t rowsPerStmt)
{
    const int32_t type = scs_p_CursorType(ctx);
    if (type != SCS_DYNAMIC && (ctx->refetchFlags & SCS_RF_VALUE_REFETCH) &&
        (type == SCS_STATIC || ctx->valueRefetchGroups == static_cast<uint32_t>(rowsPerStmt)))
        return 0;
    ctx->refetchFlags = 0;
    // A static cursor's own statement as it was run: its keys behind the
    // ORDER BY put the values in the order of the keyset and the rows.
    const char *text = scs_p_AnalysisText(&ctx->analysis);
    int rc = scs_p_OptConcSelectBuild(ctx, text, &ctx->refetchAnalysis);
    if (rc == 0)
        rc = ScsLower()->Prepare(static_cast<int>(ctx->refetchStmt), scs_p_AnalysisText(&ctx->refetchAnalysis));
    if (rc != 0)
        return rc;
    ctx->refetchFlags |= SCS_RF_VALUE_REFETCH;
    ctx->valueRefetchGroups = static_cast<uint32_t>(rowsPerStmt);
    return 0;
}

// Reads, with the value-refetch SELECT prepared on refetchStmt, the values
// of key rows first .. first + count - 1 into compareValues, row k at key
// row first + k, in `statements` executions of rowsPerStmt key groups
// (lastRows in the last).  A key without values (its row is gone) gets an
// empty row and, when `gone` is given, gone[goneFirst + k] := deleted.
int keyedValuesFetch(ScsContext *ctx, BlockOwner &given, int32_t first, int32_t statements, int32_t rowsPerStmt,
                     int32_t lastRows, int16_t *gone, int32_t goneFirst, int32_t goneCount)
{
    const int h = static_cast<int>(ctx->refetchStmt);
    KeySet *ks = ctx->keySet;
    uint32_t nk = 0;
    keyColumns(ctx, &nk);
    if (!ks || !ks->keyRows || nk == 0)
        return SC_ERR_GENERAL;
    const int32_t windowStart = ks->windowStart < 0 ? 0 : ks->windowStart;
    const int32_t at = first - windowStart;
    BlockRows fetched;
    int32_t count = 0;
    int rc = 0;
    for (int32_t c = 0; c < statements && rc == 0; ++c) {
        const int32_t n = c == statements - 1 ? lastRows : rowsPerStmt;
        count += n;
        AuxCursor answer(h);
        BlockOwner block;
        if (statements == 1 && given) {
            block.reset(given.release());
        } else {
            rc = KS_ParamRowsetMake(ks->keyRows, at + c * rowsPerStmt, static_cast<uint32_t>(rowsPerStmt),
                                    static_cast<uint32_t>(n), block.out(), static_cast<int>(ctx->fixedTextNul), 0,
                                    0, nullptr, nullptr);
            if (rc == 0 && (ctx->scsFlags & SCS_F_PARAMS_SAVED) && ctx->savedParams &&
                ctx->savedParams->columnsUsed) {
                // The keys stand in front of the application's values.
                BlockOwner app(KS_BlockClone(ctx->savedParams));
                rc = app ? RB_JoinColumns(app.get(), block.get()) : ERR_MEMORY_ALLOCATION;
                block.reset(app.release());
            }
        }
        if (rc == 0)
            rc = ScsLower()->SetParams(h, block.release());
        if (rc == 0 && ctx->sendParamTypes &&
            ((rc = keyParamTypesBuild(ctx, rowsPerStmt, 1)) == 0))
            rc = ScsLower()->SetParamTypes(h, ctx->genParamTypeCount, ctx->genParamTypes);
        if (rc == 0)
            rc = ScsLower()->Execute(h);
        if (rc == 0)
            rc = fetchRows(h, rowsPerStmt, &fetched.rows);
    }

    // Each row's values go to the place of its key, whatever order the
    // server returned them in.
    BlockRows fetchedKeys;
    if (rc == 0 && fetched.rows.columnsUsed)
        rc = KS_KeysSplitOff(&fetched.rows, static_cast<uint16_t>(nk), &fetchedKeys.rows);
    if (rc == 0 && count > ks->keyRows->rowsUsed - at)
        count = ks->keyRows->rowsUsed - at;
    if (rc == 0 && fetched.rows.columnsUsed) {
        RowBlock *out = ctx->compareValues;
        rc = RB_NewLike(&out, &fetched.rows, count > 0 ? count : 1);
        if (rc == 0)
            rc = KS_RowsPlaceByKeys(ks->keyRows, at, count, &fetched.rows, &fetchedKeys.rows, out, gone, goneFirst,
                                    goneCount);
    } else if (rc == 0 && count > 0) {
        // Not one row left: every key asked for has vanished; the values
        // are empty rows of the statement's columns.
        rc = emptyValues(h, static_cast<uint16_t>(nk), count, ctx->compareValues);
        for (int32_t k = 0; rc == 0 && gone && k < count; ++k)
            if (goneFirst + k >= 0 && goneFirst + k < goneCount)
                gone[goneFirst + k] = SQL_ROW_DELETED;
    }
    return rc;
}

// A static cursor's values of single rows by key: its own statement with
// one key group in front of its condition, on refetchStmt.  The whole-result
// SELECT of the fetch is prepared again when it is next needed.
int staticKeyedSelectPrepare(ScsContext *ctx)
{
    if (!ctx->stmtText)
        return SC_ERR_GENERAL;
    ctx->refetchFlags = 0;
    std::string text;
    {
        SqlOwner sql;
        int rc = SCR_AnalyseSQL(sql.get(), ctx->stmtText, 1, static_cast<int>(ctx->noCatalogs));
        if (rc != 0)
            scs_p_AnalysisFailureLog(SRC, ctx->stmtText, sql.get());
        if (rc == 0)
            rc = KS_WhereKeysSet(sql.get(), ctx, 1);
        if (rc != 0)
            return rc;
        const char *t = ks_RewrittenText(sql.get());
        if (!t)
            return SC_ERR_GENERAL;
        text = t;
    }
    int rc = optConcSelectBuild(ctx, text.c_str(), &ctx->refetchAnalysis, true);
    if (rc == 0)
        rc = ScsLower()->Prepare(static_cast<int>(ctx->refetchStmt), scs_p_AnalysisText(&ctx->refetchAnalysis));
    return rc;
}

} // namespace

int scs_p_GetOptConcColVals(ScsContext *ctx, RowBlock *params, int32_t first, int32_t statements,
                            int32_t rowsPerStmt, int32_t lastRows)
{
    // The given block is this routine's from the start.
    BlockOwner given(params);
    if (int rc = valuesBlockReset(ctx))
        return rc;
    if (int rc = valueRefetchPrepare(ctx, rowsPerStmt))
        return rc;
    const int32_t type = scs_p_CursorType(ctx);
    if (type == SCS_STATIC) {
        return staticValuesRead(ctx, given.release());
    }
    // A keyset-driven or mixed cursor keeps a status per key it holds: a
    // key whose row vanished since the fetch is marked deleted.
    KeySet *ks = ctx->keySet;
    const bool keysetDriven = type == SCS_KEYSET && ks;
    return keyedValuesFetch(ctx, given, first, statements, rowsPerStmt, lastRows,
                            keysetDriven ? ks->statuses : nullptr, first, keysetDriven ? ks->statusCount : 0);
}

int scs_p_KeyedValuesRead(ScsContext *ctx, int32_t first, int32_t count, int16_t *gone)
{
    if (!ctx || count <= 0)
        return SC_ERR_GENERAL;
    BlockOwner none;
    if (int rc = valuesBlockReset(ctx))
        return rc;
    int32_t perStmt = 1;
    if (scs_p_CursorType(ctx) == SCS_STATIC) {
        if (int rc = staticKeyedSelectPrepare(ctx))
            return rc;
    } else {
        // The key groups of the fetch-by-keys SELECT the fetch prepared last,
        // from which the value-refetch SELECT is made.
        perStmt = static_cast<int32_t>(ctx->keyFetchGroups);
        if (perStmt <= 0 || !(ctx->scsFlags & SCS_F_KEYFETCH_PREPARED))
            return SC_ERR_GENERAL;
        if (int rc = valueRefetchPrepare(ctx, perStmt))
            return rc;
    }
    const int32_t statements = (count + perStmt - 1) / perStmt;
    return keyedValuesFetch(ctx, none, first, statements, perStmt, count - (statements - 1) * perStmt, gone, 0,
                            gone ? count : 0);
}

// The cursor library on the road of every statement: parameters, execution,
// forward and scrolling fetches, more results, information items and the
// catalog operations.  Forward-only statements pass straight to the back
// end; static cursors are served by the static engine (scs_static.cpp),
// the keyed ones by theirs.
#include "odbc/contract/catalog_args.h"
#include "odbc/contract/drv_items.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "scrs/sc_dataset.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_dynmix.h"
#include "scrs/scs_keyset.h"
#include "scrs/scs_static.h"
#include "util/dynarray.h"
#include "util/log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

const char SRC[] = "sc_s";
constexpr int32_t kKindSelect = 74;
constexpr int32_t kKindCall = 61;
// The capability text the library answers itself.
constexpr int32_t kCapabilityText = DrvText(DRV_CONN_PRIVATE + 0x10);

bool isQuery(const ScsContext *ctx) { return ctx->analysis.kind == kKindSelect || ctx->unparsedSelect; }

// After a close the statement may still hold a text of the library's own
// (the fetch-by-keys SELECT): the application's is prepared on it again,
// with its parameters, before anything runs or is described.  `again` says
// whether it was.
int appTextRestore(ScsContext *ctx, bool *again = nullptr)
{
    const bool restore = (ctx->scsFlags & SCS_F_REPREPARE) && ctx->stmtText;
    if (again)
        *again = restore;
    if (restore) {
        ctx->scsFlags &= static_cast<uint16_t>(~SCS_F_KEYFETCH_PREPARED);
        const int h = static_cast<int>(ctx->drvStmt);
        if (int rc = ScsLower()->Prepare(h, ctx->stmtText))
            return rc;
        if (int rc = scs_p_ParamsResend(ctx))
            return rc;
    }
    ctx->scsFlags &= static_cast<uint16_t>(~SCS_F_REPREPARE);
    return 0;
}

// The statement's SQL_MAX_LENGTH, 0 for none.
int32_t maxLength(const ScsContext *ctx)
{
    int32_t v = 0;
    int16_t len = 0;
    if (ScsLower()->GetInfo(static_cast<int>(ctx->drvStmt), DrvInt(DrvStmtOption(SQL_MAX_LENGTH)), &v, 4, &len) != 0)
        return 0;
    return v;
}

int32_t connInfo(int conn, int32_t item, bool *answered)
{
    int32_t v = 0;
    int16_t len = 0;
    *answered = ScsLower()->GetInfo(conn, item, &v, 4, &len) == 0;
    return *answered ? v : 0;
}

// "001.005:" and twelve capability digits.
int capabilityText(int conn, char *buf, int16_t size, int16_t *outLen)
{
    int32_t three = 3;
    ScsLower()->SetOption(conn, DrvInt(DRV_CONN_ODBC_VERSION), &three);
    bool ok = false;
    connInfo(conn, DrvInt(DRV_CONN_PRIVATE + 0x12), &ok);
    int f[13] = {};
    f[6] = 1;
    const int32_t word = connInfo(conn, DrvInt(DRV_CONN_CAPABILITY_WORD), &ok);
    if (ok) {
        f[1] = (word & 0x8) != 0;
        f[2] = (word & 0x80) != 0;
        f[3] = (word & 0x4) != 0;
        f[4] = (word & 0x10) != 0;
        f[5] = (word & 0x40) != 0;
        f[10] = (word & 0x400) != 0;
        f[11] = (word & 0x2000) != 0;
        f[12] = (word & 0x4000) != 0;
    } else {
        const int32_t items[] = {0x06, 0x0E, 0x04, 0x08, 0x05};
        for (int i = 0; i < 5; ++i)
            f[i + 1] = connInfo(conn, DrvInt(DRV_CONN_PRIVATE + items[i]), &ok) != 0;
    }
    f[7] = connInfo(conn, DrvInt(DrvConnInfo(0x17)), &ok);
    f[8] = connInfo(conn, DrvInt(DRV_CONN_PRIVATE + 0x14), &ok) != 0;
    f[9] = connInfo(conn, DrvInt(DRV_CONN_PRIVATE + 0x15), &ok) != 0;
    char text[64];
    snprintf(text, sizeof text, "%03d.%03d:%d%d%d%d%d%d%d%d%d%d%d%d", 1, 5, f[1], f[2], f[3], f[4], f[5], f[6], f[7],
             f[8], f[9], f[10], f[11], f[12]);
    return StrCopyOut(text, buf, size, outLen);
}

// A catalog operation: its result is a static read-only cursor for every
// statement that asked for a scrollable one.  The statement's own cursor
// type and concurrency stay as they are, so the next statement runs with
// them again and nothing is reported as changed.
template <class Call>
int catalogCall(int stmt, Call call)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx)
        return ERR_INVALID_ARGUMENT;
    scs_p_OptionsSync(ctx);
    ctx->catalogStatic = ctx->opts.cursorType != SCS_FORWARD_ONLY;
    if (ctx->catalogStatic) {
        if (ctx->staticSet)
            SS_Close(ctx->staticSet);
        ctx->scsFlags &= static_cast<uint16_t>(~SCS_F_STATIC_FILLED);
        CUR_PosReset(&ctx->place);
        CD_Free(ctx->rsltColDescs, ctx->rsltColCount);
        ctx->rsltColDescs = nullptr;
        ctx->rsltColCount = 0;
    }
    return call();
}

} // namespace

// Sends the kept parameter values and types again after the library
// prepared a text of its own on the statement.
int scs_p_ParamsResend(ScsContext *ctx)
{
    const int h = static_cast<int>(ctx->drvStmt);
    if ((ctx->scsFlags & SCS_F_PARAMS_SAVED) && ctx->savedParams) {
        RowBlock *copy = KS_BlockClone(ctx->savedParams);
        if (!copy)
            return ERR_MEMORY_ALLOCATION;
        if (int rc = ScsLower()->SetParams(h, copy))
            return rc;
    }
    if (ctx->sendParamTypes && ctx->appParamTypeCount)
        return ScsLower()->SetParamTypes(h, ctx->appParamTypeCount, ctx->appParamTypes);
    return 0;
}

int SCS_SetParams(int stmt, RowBlock *params)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx)
        return ERR_INVALID_ARGUMENT;
    scs_p_OptionsSync(ctx);
    if (ctx->opts.cursorType != SCS_FORWARD_ONLY && params) {
        RowBlock *copy = KS_BlockClone(params);
        if (!copy) {
            scs_p_ParamsRelease(params);  // the block was handed to us
            return ERR_MEMORY_ALLOCATION;
        }
        KS_BlockFree(&ctx->savedParams);
        ctx->savedParams = copy;
        ctx->scsFlags |= SCS_F_PARAMS_SAVED;
    }
    return ScsLower()->SetParams(stmt, params);
}

int SCS_SetParamTypes(int stmt, uint16_t count, const ParamTypeDesc *types)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx)
        return ERR_INVALID_ARGUMENT;
    free(ctx->appParamTypes);
    ctx->appParamTypes = nullptr;
    ctx->appParamTypeCount = 0;
    if (count && types) {
        ctx->appParamTypes = static_cast<ParamTypeDesc *>(malloc(count * sizeof(ParamTypeDesc)));
        if (!ctx->appParamTypes)
            return ERR_MEMORY_ALLOCATION;
        memcpy(ctx->appParamTypes, types, count * sizeof(ParamTypeDesc));
        ctx->appParamTypeCount = count;
    }
    return ScsLower()->SetParamTypes(stmt, count, types);
}

int SCS_GetParamDescs(int stmt, uint16_t *outCount, ColDesc **outCopy)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx)
        return ERR_INVALID_ARGUMENT;
    bool again = false;
    if (ctx->opts.cursorType != SCS_FORWARD_ONLY && ctx->prepared) {
        if (int rc = appTextRestore(ctx, &again)) {
            scs_p_AuxDiagsMove(ctx);
            return rc;
        }
    }
    // The markers of a text prepared again are described again: the
    // descriptions asked for before were the library's text's.
    if (again) {
        int32_t on = 1;
        ScsLower()->SetOption(stmt, DrvInt(DrvStmtOption(SQL_ATTR_ENABLE_AUTO_IPD)), &on);
    }
    return ScsLower()->GetParamDescs(stmt, outCount, outCopy);
}

int SCS_Execute(int stmt)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx)
        return ERR_INVALID_ARGUMENT;
    ctx->catalogStatic = 0;
    scs_p_OptionsSync(ctx);
    scs_p_LongValuesReset(ctx);
    ctx->posRowCount = -1;
    ctx->scsFlags |= SCS_F_THROUGH_LIBRARY;
    if (ctx->opts.cursorType == SCS_FORWARD_ONLY)
        return ScsLower()->Execute(stmt);
    if (!ctx->prepared) {
        LOG_Printf(LOG_LEVEL_WARNING, SRC, __LINE__, "execute without prior prepare");
        return ERR_FUNCTION_SEQUENCE;
    }
    int rc = appTextRestore(ctx);
    if (rc != 0)
        return rc;
    if (ctx->analysis.kind == -1) {
        // The cursor type was set after the prepare.
        if ((rc = scs_p_AnalyseCursorStmt(ctx, ctx->preparedText.c_str())) != 0) {
            scs_p_AuxDiagsMove(ctx);
            return rc;
        }
    }
    // A new result: the static set is read again, from the first row, and
    // a mixed cursor's key window is read afresh.
    if (ctx->staticSet)
        SS_Close(ctx->staticSet);
    ctx->scsFlags &= static_cast<uint16_t>(~SCS_F_STATIC_FILLED);
    CUR_PosReset(&ctx->place);
    ctx->ksWindowState = KSW_NONE;
    KS_KeyQueriesForget(ctx);

    if (ctx->analysis.kind == kKindSelect && ctx->opts.cursorType == SCS_KEYSET && ctx->opts.keysetSize <= 0) {
        if ((rc = KS_GetKeySet_KSD(ctx)) != 0) {
            scs_p_AuxDiagsMove(ctx);
            return rc;
        }
    } else if (ctx->opts.cursorType == SCS_STATIC) {
        // Keys of an earlier execution must not stand for this result's rows.
        ks_CloseData(ctx->keySet);
        if (scs_p_StaticKeyed(ctx) && (rc = scs_p_StaticKeysetBuild(ctx)) != 0) {
            scs_p_AuxDiagsMove(ctx);
            return rc;
        }
    }
    if ((rc = ScsLower()->Execute(stmt)) != 0)
        return rc;
    if (!isQuery(ctx))
        return 0;
    if ((rc = scs_p_LoadRsltColDescs(ctx)) != 0) {
        scs_p_AuxDiagsMove(ctx);
        return rc;
    }
    if (ctx->opts.cursorType == SCS_STATIC && ctx->opts.concurrency == SCS_READ_ONLY) {
        if ((rc = scs_p_StaticFill(ctx, true)) != 0) {
            scs_p_AuxDiagsMove(ctx);
            return rc;
        }
    }
    return 0;
}

int SCS_ExecDirect(int stmt, const char *sql, RowBlock *params, int16_t typeCount, const ParamTypeDesc *types)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx)
        return ERR_INVALID_ARGUMENT;
    scs_p_OptionsSync(ctx);
    if (ctx->opts.cursorType == SCS_FORWARD_ONLY) {
        ctx->catalogStatic = 0;
        if (sql) {
            ctx->preparedText = sql;
            ctx->prepared = 1;
        }
        return ScsLower()->ExecDirect(stmt, sql, params, typeCount, types);
    }
    return scs_p_RunDirect(stmt, sql, params, [&] {
        return typeCount > 0 ? SCS_SetParamTypes(stmt, static_cast<uint16_t>(typeCount), types) : 0;
    });
}

int scs_p_RunDirect(int stmt, const char *sql, RowBlock *params, const std::function<int()> &setTypes)
{
    int rc = sql ? SCS_Prepare(stmt, sql) : 0;
    if (rc != 0) {
        scs_p_ParamsRelease(params);
        return rc;
    }
    if (params && (rc = SCS_SetParams(stmt, params)) != 0)
        return rc;
    if ((rc = setTypes()) != 0)
        return rc;
    return SCS_Execute(stmt);
}

int SCS_Fetch(int stmt, uint16_t rows, RowBlock *out)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx)
        return ERR_INVALID_ARGUMENT;
    if (scs_p_CursorType(ctx) != SCS_STATIC || rows == 0)
        return ScsLower()->Fetch(stmt, rows, out);
    if (!out)
        return ERR_INVALID_ARGUMENT;
    int rc = scs_p_StaticFill(ctx, scs_p_Concurrency(ctx) != SCS_LOCK);
    if (rc == 0) {
        RowBlock *block = out;
        rc = SS_GetRowset(ctx->staticSet, SS_NEXT_ROW, rows, &block);
    }
    if (rc != 0) {
        scs_p_AuxDiagsMove(ctx);
        return rc;
    }
    const int32_t max = maxLength(ctx);
    return max > 0 ? RB_TruncateValues(out, static_cast<uint32_t>(max)) : 0;
}

int SCS_MoreResults(int stmt)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx)
        return ERR_INVALID_ARGUMENT;
    const int32_t type = scs_p_CursorType(ctx);
    const bool filled = (ctx->scsFlags & SCS_F_STATIC_FILLED) != 0;
    const bool allowed = type == SCS_FORWARD_ONLY ||
                         (type == SCS_STATIC && scs_p_Concurrency(ctx) == SCS_READ_ONLY &&
                          (!filled || ctx->analysis.kind == kKindCall));
    if (type != SCS_FORWARD_ONLY) {
        CUR_PosReset(&ctx->place);
        if (ctx->staticSet)
            SS_Close(ctx->staticSet);
        ctx->scsFlags &= static_cast<uint16_t>(~SCS_F_STATIC_FILLED);
    }
    return allowed ? ScsLower()->MoreResults(stmt) : ERR_NO_MORE_RESULTS;
}

int SCS_GetInfo(int h, int code, void *buf, int16_t len, int16_t *outLen)
{
    if (DrvClassOf(code) == DRV_CLASS_STMT && DrvItemOf(code) == DRV_STMT_ROW_COUNT) {
        ScsContext *ctx = scs_p_CtxFind(h);
        if (ctx && scs_p_CursorType(ctx) != SCS_FORWARD_ONLY && isQuery(ctx) && !ctx->catalogStatic) {
            if (!buf || len < 4)
                return ERR_INVALID_ARGUMENT;
            const int32_t v = ctx->posRowCount != -1 ? ctx->posRowCount : ctx->place.rowCount;
            memcpy(buf, &v, 4);
            if (outLen)
                *outLen = 4;
            return 0;
        }
    }
    if (code == kCapabilityText)
        return capabilityText(h, static_cast<char *>(buf), len, outLen);
    return ScsLower()->GetInfo(h, code, buf, len, outLen);
}

namespace {

// The next rows of the back end's result, every one of them a success.
int forwardFetch(ScsContext *ctx, RowsetCache *rs)
{
    int rc = ScsLower()->Fetch(static_cast<int>(ctx->drvStmt), static_cast<uint16_t>(ctx->opts.rowsetSize), rs->block);
    for (int32_t i = 0; rc == 0 && i < rs->block->rowsUsed && i < rs->rows; ++i)
        rs->status[i] = SQL_ROW_SUCCESS;
    return rc;
}

// An aggregate on a keyset-driven or dynamic cursor (the analysis serves such
// results from a static set; this guards a cursor that reaches here anyway):
// its rows have no keys, so they can only be read on forward.  Any other
// direction is refused rather than answered with the next rows.
int aggregateFetch(ScsContext *ctx, RowsetCache *rs, int orientation)
{
    if (orientation != SQL_FETCH_NEXT)
        return ERR_NOT_CAPABLE;
    return forwardFetch(ctx, rs);
}

} // namespace

int SCS_FetchScroll(int stmt, const CursorOptions *options, RowsetCache **cache, int row, int *rowsOut,
                    int *rowCount, int orientation)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx || !cache || !rowsOut || !rowCount)
        return ERR_INVALID_ARGUMENT;
    scs_p_OptionsTake(ctx, options);
    const int32_t type = scs_p_CursorType(ctx);
    if (!(ctx->scsFlags & SCS_F_THROUGH_LIBRARY) && type != SCS_FORWARD_ONLY &&
        !(type == SCS_STATIC && scs_p_Concurrency(ctx) == SCS_READ_ONLY))
        return ERR_INVALID_CURSOR_STATE;
    ctx->posRowCount = -1;
    scs_p_LongValuesReset(ctx);
    *rowsOut = 0;
    *cache = nullptr;
    RowsetCache *rs = nullptr;
    int rc = RS_Create(&rs, ctx->opts.rowsetSize);
    if (rc != 0)
        return rc;
    const bool aggregate = (ctx->clauseFlags & SCR_CF_SET_FUNCTION) != 0;
    switch (type) {
    case SCS_FORWARD_ONLY:
        rc = forwardFetch(ctx, rs);
        break;
    case SCS_KEYSET:
        if (aggregate)
            rc = aggregateFetch(ctx, rs, orientation);
        else if (ctx->opts.keysetSize <= 0)
            rc = scs_p_FetchKeyset(ctx, rs, row);
        else if (orientation == 0)
            rc = ERR_NOT_CAPABLE;
        else
            rc = scs_p_FetchMixed(ctx, row, static_cast<int16_t>(orientation), rs);
        break;
    case SCS_DYNAMIC:
        if (orientation == 0)
            rc = ERR_NOT_CAPABLE;
        else if (aggregate)
            rc = aggregateFetch(ctx, rs, orientation);
        else
            rc = scs_p_FetchDynamic(ctx, row, static_cast<int16_t>(orientation), rs);
        break;
    case SCS_STATIC:
        rc = scs_p_FetchStatic(ctx, rs, row);
        break;
    default:
        rc = ERR_NOT_CAPABLE;
    }
    // The first rowset standing in for one that began before it is a rowset
    // all the same.
    const int moved = rc == ERR_FETCH_BEFORE_FIRST_ROWSET ? rc : 0;
    if (rc != 0 && !moved) {
        RS_Free(&rs);
        scs_p_AuxDiagsMove(ctx);
        return rc;
    }
    *rowCount = ctx->place.rowCount;
    *rowsOut = rs->block ? rs->block->rowsUsed : 0;
    if (ctx->opts.retrieveData == SQL_RD_OFF && rs->block)
        RB_Free(rs->block);
    *cache = rs;
    if (*rowsOut == 0)
        return ERR_NO_DATA_FOUND;
    CUR_PosSet(&ctx->place, 1);
    return moved;
}

int SCS_ExtendedFetch(int stmt, const CursorOptions *options, RowsetCache **cache, int row, int *rowsOut,
                      int *rowCount)
{
    return SCS_FetchScroll(stmt, options, cache, row, rowsOut, rowCount, 0);
}

int SCS_DDColumnPrivileges(int stmt, CatalogArgs *a)
{
    return catalogCall(stmt, [&] { return ScsLower()->DDColumnPrivileges(stmt, a); });
}
int SCS_DDColumns(int stmt, CatalogArgs *a)
{
    return catalogCall(stmt, [&] { return ScsLower()->DDColumns(stmt, a); });
}
int SCS_DDForeignKeys(int stmt, CatalogArgs *a)
{
    return catalogCall(stmt, [&] { return ScsLower()->DDForeignKeys(stmt, a); });
}
int SCS_DDPrimaryKeys(int stmt, CatalogArgs *a)
{
    return catalogCall(stmt, [&] { return ScsLower()->DDPrimaryKeys(stmt, a); });
}
int SCS_DDProcedureColumns(int stmt, CatalogArgs *a)
{
    return catalogCall(stmt, [&] { return ScsLower()->DDProcedureColumns(stmt, a); });
}
int SCS_DDProcedures(int stmt, CatalogArgs *a)
{
    return catalogCall(stmt, [&] { return ScsLower()->DDProcedures(stmt, a); });
}
int SCS_DDSpecialColumns(int stmt, CatalogArgs *a)
{
    return catalogCall(stmt, [&] { return ScsLower()->DDSpecialColumns(stmt, a); });
}
int SCS_DDStatistics(int stmt, CatalogArgs *a)
{
    return catalogCall(stmt, [&] { return ScsLower()->DDStatistics(stmt, a); });
}
int SCS_DDTablePrivileges(int stmt, CatalogArgs *a)
{
    return catalogCall(stmt, [&] { return ScsLower()->DDTablePrivileges(stmt, a); });
}
int SCS_DDTables(int stmt, CatalogArgs *a)
{
    return catalogCall(stmt, [&] { return ScsLower()->DDTables(stmt, a); });
}
int SCS_DDGetTypeInfo(int stmt, int16_t sqlType)
{
    return catalogCall(stmt, [&] { return ScsLower()->DDGetTypeInfo(stmt, sqlType); });
}

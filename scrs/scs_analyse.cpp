// Statement analysis for scrollable cursors: what the statement selects, the
// refusals of cursors that cannot serve it, and the downgrade to a static
// read-only cursor.
#include "odbc/contract/drv_items.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/rowblock.h"
#include "scrs/sc_check.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyset.h"
#include "scrs/scs_rvc.h"
#include "scrs/sc_dataset.h"
#include "util/dynarray.h"
#include "util/log.h"
#include "util/strutil.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const char SRC[] = "sc_s";

// Statement kinds of the analysed text.
enum : int32_t {
    KIND_OTHER = 0,
    KIND_POSITIONED_DELETE = 18,
    KIND_DELETE = 19,
    KIND_INSERT = 28,
    KIND_CALL = 61,
    KIND_SELECT = 74,
    KIND_POSITIONED_UPDATE = 96,
    KIND_UPDATE = 97,
};

bool startsWithSelect(const char *text) { return text && STR_MatchKeyword("SELECT", STR_SkipBlanks(text)); }

// Result columns the back end describes for the prepared statement.
uint16_t describedColumns(ScsContext *ctx)
{
    uint16_t n = 0;
    ColDesc *descs = nullptr;
    if (ScsLower()->GetColDescs(static_cast<int>(ctx->drvStmt), &n, &descs) != 0)
        return 0;
    CD_Free(descs, n);
    return descs ? n : 0;
}

int allocAux(ScsContext *ctx, uint32_t *aux)
{
    if (*aux)
        return 0;
    int h = 0;
    if (ScsLower()->AllocStmt(static_cast<int>(ctx->drvConn), &h) != 0)
        return SC_ERR_GENERAL;
    *aux = static_cast<uint32_t>(h);
    return 0;
}

// Forgets the result a previous execution left: position, static set,
// window.
void dropResult(ScsContext *ctx)
{
    ctx->clauseFlags = SCS_CLAUSE_NOT_SELECT;
    ctx->ksWindowState = -6;
    KS_Close(ctx->keySet);
    if (ctx->staticSet)
        SS_Close(ctx->staticSet);
    ctx->scsFlags &= static_cast<uint16_t>(~SCS_F_STATIC_FILLED);
    CUR_PosReset(&ctx->place);
    // The compared values and the value-refetch statement belonged to it.
    DSC_Close(&ctx->valueCache);
    if (ctx->compareValues)
        RB_Free(ctx->compareValues);
    ctx->refetchFlags = 0;
}

// Binds a sensitive dynamic cursor to a row-version connection of its own,
// unless it holds one already.
int rvcBind(ScsContext *ctx)
{
    if (!ctx->rvcBinding && !(ctx->rvcBinding = new (std::nothrow) RvcBinding))
        return ERR_MEMORY_ALLOCATION;
    if (ctx->rvcBinding->rvStmt)
        return 0;
    return RVC_Attach(ctx->rvcBinding, ScsLowerBinding(), ctx->drvConn, ctx->drvStmt,
                      static_cast<int>(ctx->sendParamTypes));
}

bool keepsRowVersions(const ScsContext *ctx)
{
    return ctx->opts.cursorType == SCS_DYNAMIC && ctx->dynSensitive;
}

// Which keyed cursors have an engine.  A cursor that needs keys but has
// none is downgraded to a static read-only one, as if its tables had no
// key; a concurrency without an engine becomes read-only.
struct KeyedEngines {
    bool keyset;      // keyset-driven, keyset size 0
    bool mixed;       // keyset-driven with a key window
    bool dynamic;
    bool staticKeyed; // static with lock or values concurrency
    bool lock;        // SQL_CONCUR_LOCK on a keyed cursor
    bool values;      // SQL_CONCUR_VALUES on a keyed cursor
};
constexpr KeyedEngines kEngines{true, true, true, true, true, true};

bool engineServes(const ScsContext *ctx)
{
    switch (ctx->opts.cursorType) {
    case SCS_KEYSET:
        return ctx->opts.keysetSize > 0 ? kEngines.mixed : kEngines.keyset;
    case SCS_DYNAMIC:
        return kEngines.dynamic;
    case SCS_STATIC:
        return kEngines.staticKeyed;
    default:
        return false;
    }
}

// Locks and compared values are kept by keyset-driven, mixed and dynamic
// cursors, which take them for the rows of every rowset they fetch by key,
// and by static cursors, whose keyset is built beside the static set.
bool concurrencyServed(const ScsContext *ctx)
{
    const int32_t concurrency = ctx->opts.concurrency;
    if (concurrency == SCS_READ_ONLY)
        return true;
    const bool staticKeyed = ctx->opts.cursorType == SCS_STATIC && kEngines.staticKeyed;
    if (!staticKeyed && ctx->opts.cursorType != SCS_KEYSET && ctx->opts.cursorType != SCS_DYNAMIC)
        return false;
    return (concurrency == SCS_LOCK && kEngines.lock) || (concurrency == SCS_VALUES && kEngines.values);
}

// Makes the cursor read-only, keeping its type.  0 or ERR_NOT_CAPABLE.
int concurrencyReadOnly(ScsContext *ctx)
{
    int32_t v = SCS_READ_ONLY;
    if (ScsLower()->SetOption(static_cast<int>(ctx->drvStmt), DrvInt(DrvStmtOption(SQL_CONCURRENCY)), &v) != 0) {
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "scs_p_ChangeCursorType: Couldn't switch to read-only concurrency");
        return ERR_NOT_CAPABLE;
    }
    LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "scs_p_ChangeCursorType: Switched to read-only concurrency");
    ctx->replacedConcurrency = ctx->opts.concurrency;
    ctx->opts.concurrency = SCS_READ_ONLY;
    return 0;
}

// The key columns of the FROM tables.  ERR_NO_KEY_COLUMNS when some table cannot give one:
// a derived table (no name to look up) or a table without a unique key; and
// when the keys alone need more parameter markers than a statement takes.
int keyColsFind(ScsContext *ctx)
{
    const auto *tables = static_cast<const ScrTableRef *>(ctx->fromTables->elements);
    for (uint32_t i = 0; i < ctx->fromTables->count; ++i)
        if (!tables[i].table || !tables[i].table[0]) {
            LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "a derived table has no key columns");
            return ERR_NO_KEY_COLUMNS;
        }
    int rc = KS_GetKeyColDescs(ctx, ctx->fromTables);
    if (rc != 0)
        return rc;
    if (ctx->keyCols->count == 0 || static_cast<int32_t>(ctx->keyCols->count) > ctx->maxParams)
        return ERR_NO_KEY_COLUMNS;
    if (ctx->keySet)
        ctx->keySet->tableCount = static_cast<uint8_t>(ctx->keyTableCount & 0xFF);
    return 0;
}

// The statement runs forward-only after all: a cursor type that only the
// back end's words gave it does not serve this statement.
int forcedDecline(ScsContext *ctx)
{
    ctx->forcedDeclined = 1;
    ctx->typeForced = 0;
    ctx->opts.cursorType = SCS_FORWARD_ONLY;
    return 0;
}

// A forward-only SELECT with statement attribute 1052 or 1054: its key
// columns, the table columns, the select list with the tables' spelling,
// and the select list completed (wildcards, with 1054 the missing keys) and
// prepared again when that changed it.  0 or the number of the failing step.
int keyInfoComplete(ScsContext *ctx)
{
    int rc = KS_GetKeyColDescs(ctx, ctx->fromTables);
    if (ctx->keySet)
        ctx->keySet->tableCount = static_cast<uint8_t>(ctx->fromTables->count & 0xFF);
    if (rc != 0 && rc != ERR_NO_KEY_COLUMNS) {
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "ks_GetKeyColDescs_PKeys failed");
        return rc;
    }
    DA_Free(&ctx->tableCols, nullptr);
    ctx->tableCols = DA_New(sizeof(ScrColumnRef));
    if (!ctx->tableCols)
        return ERR_MEMORY_ALLOCATION;
    rc = scs_p_GetTblColDescs(ctx, static_cast<ScrTableRef *>(ctx->fromTables->elements), ctx->fromTables->count, 0,
                              ctx->tableCols);
    if (rc != 0) {
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "scs_p_GetTblColDescs failed");
        return rc;
    }
    DA_Free(&ctx->selectCols, nullptr);
    DynArray *items = nullptr;
    if ((rc = scs_p_SelectColsGet(ctx, &ctx->selectCols, &items)) != 0) {
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "scs_p_SelectColsGet failed");
        return rc;
    }
    scs_p_SelectCol_ColDescComplete(ctx);
    int rewritten = 0;
    rc = scs_p_SelListAddKeysnXpandWC(ctx, items, &rewritten);
    DA_Free(&items, nullptr);
    if (rc != 0) {
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "scs_p_SelListAddKeysnXpandWC failed");
        return rc;
    }
    if (rewritten) {
        const char *text = scs_p_AnalysisText(&ctx->analysis);
        const int stmt = static_cast<int>(ctx->drvStmt);
        if ((rc = ScsLower()->Prepare(stmt, text)) != 0)
            return rc;
        ctx->preparedText = text ? text : "";
    }
    ctx->scsFlags |= SCS_F_KEYS_ADDED;
    return 0;
}

// SELECT DISTINCT in the statement's first query block.
bool selectsDistinct(const ScsContext *ctx)
{
    const char *after = STR_MatchKeyword("SELECT", ctx->analysis.statement ? ctx->analysis.statement : "");
    return after && STR_MatchKeyword("DISTINCT", after);
}

} // namespace

void scs_p_AnalysisFailureLog(const char *src, const char *text, const ScrAnalysedSql *sql)
{
    LOG_Printf(LOG_LEVEL_DEBUG, src, __LINE__, "SCR_AnalyseSQL failed: %s", text ? text : "");
    LOG_Printf(LOG_LEVEL_DEBUG, src, __LINE__, "%s", sql->message ? sql->message : "");
    LOG_Printf(LOG_LEVEL_DEBUG, src, __LINE__, "%s", sql->echo ? sql->echo : "");
}

int scs_p_ChkKeysetStmt(const ScsContext *ctx)
{
    if (ctx->clauseFlags & SCR_CF_GROUP_BY)
        return ERR_GROUP_BY_CLAUSE;
    if (ctx->clauseFlags & SCR_CF_UNION)
        return ERR_UNION_CLAUSE;
    return 0;
}

int scs_p_ChkUpdatable(const ScsContext *ctx)
{
    const uint16_t f = ctx->clauseFlags;
    if (f & SCR_CF_MULTI_TABLE)
        return ERR_JOIN_RESULT;
    if (f & SCR_CF_GROUP_BY)
        return ERR_GROUP_BY_CLAUSE;
    if (f & SCR_CF_UNION)
        return ERR_UNION_CLAUSE;
    if (f & SCR_CF_SET_FUNCTION)
        return ERR_SCALAR_AGGREGATE;
    return 0;
}

int scs_p_ChangeCursorType(ScsContext *ctx)
{
    const int h = static_cast<int>(ctx->drvStmt);
    if (ctx->opts.cursorType == SCS_KEYSET || ctx->opts.cursorType == SCS_DYNAMIC) {
        int32_t v = SCS_STATIC;
        if (ScsLower()->SetOption(h, DrvInt(DrvStmtOption(SQL_CURSOR_TYPE)), &v) != 0) {
            LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "scs_p_ChangeCursorType: Couldn't switch to static cursor");
            return ERR_NOT_CAPABLE;
        }
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "scs_p_ChangeCursorType: Switched to static cursor");
        ctx->replacedType = ctx->opts.cursorType;
        ctx->opts.cursorType = SCS_STATIC;
    }
    return ctx->opts.concurrency != SCS_READ_ONLY ? concurrencyReadOnly(ctx) : 0;
}

void scs_p_DescriptionsFree(ScsContext *ctx)
{
    CD_Free(ctx->rsltColDescs, ctx->rsltColCount);
    ctx->rsltColDescs = nullptr;
    ctx->rsltColCount = 0;
    free(ctx->genParamTypes);
    ctx->genParamTypes = nullptr;
    ctx->genParamTypeCount = 0;
    free(ctx->appParamTypes);
    ctx->appParamTypes = nullptr;
    ctx->appParamTypeCount = 0;
}

void scs_p_AnalysisReset(ScsContext *ctx)
{
    free(ctx->stmtText);
    ctx->stmtText = nullptr;
    SCR_Free(&ctx->analysis);
    SCR_Free(&ctx->keysetAnalysis);
    SCR_Free(&ctx->refetchAnalysis);
    ctx->scsFlags = 0;
    ctx->refetchFlags = 0;
    scs_p_DescriptionsFree(ctx);
    DA_Free(&ctx->fromTables, SCR_TableRefFree);
    DA_Free(&ctx->tableCols, nullptr);
    DA_Free(&ctx->orderByCols, nullptr);
    DA_Free(&ctx->selectCols, nullptr);
    DA_Free(&ctx->keyCols, nullptr);
    ctx->unparsedSelect = 0;
}

namespace {

// A statement's analysis either ends at a step, with its answer, or goes on
// to the next step.
struct Step {
    bool done;
    int rc;
};
constexpr Step kGoOn{false, 0};
Step finish(int rc) { return Step{true, rc}; }

// The start of an analysis: the previous one forgotten, the identifier
// rules asked, the auxiliary statements (and a sensitive dynamic cursor's
// row versions) ready, and the text kept.  A forward-only statement is
// analysed only to report its key and expression columns (attributes 1052,
// 1054), and only a SELECT: any other ends here.
Step analysisBegin(ScsContext *ctx, const char *text)
{
    int rc = 0;
    if (ctx->scsFlags & SCS_F_ANALYSED) {
        scs_p_AnalysisReset(ctx);
        ctx->scsFlags &= static_cast<uint16_t>(~SCS_F_ANALYSED);
    }
    ctx->replacedType = ctx->replacedConcurrency = -1;
    const int32_t type = ctx->opts.cursorType;
    const bool keyInfo = type == SCS_FORWARD_ONLY && (ctx->attrKeyInfo || ctx->attrAddKeys);
    if (type == SCS_FORWARD_ONLY && !(keyInfo && startsWithSelect(text)))
        return finish(0);
    ctx->scsFlags |= SCS_F_ANALYSED;
    scs_p_CtxInfoLoad(ctx);

    if (allocAux(ctx, &ctx->posStmt) != 0 || allocAux(ctx, &ctx->refetchStmt) != 0)
        return finish(SC_ERR_GENERAL);
    if (keepsRowVersions(ctx)) {
        // Also a statement that was another cursor type when it was
        // analysed before binds now.
        if ((rc = rvcBind(ctx)) != 0)
            return finish(rc);
        // A fresh cursor starts without versions.
        if ((rc = RVC_CursorRowsDelete(ctx->rvcBinding)) != 0)
            return finish(rc);
    }

    free(ctx->stmtText);
    ctx->stmtText = STR_Dup(text);
    if (text && !ctx->stmtText)
        return finish(ERR_MEMORY_ALLOCATION);
    return kGoOn;
}

// A statement the analyser cannot read (`rc` its number).
int unparsedServe(ScsContext *ctx, const char *text, int32_t type, int rc)
{
    if (ctx->typeForced)
        return forcedDecline(ctx);
    if (type == SCS_FORWARD_ONLY)
        return 0;  // runs as the back end delivers it
    // One that returns no rows makes no cursor: it runs as written, as a
    // forward-only one does.
    if (describedColumns(ctx) == 0) {
        if (startsWithSelect(text))
            return rc;
        dropResult(ctx);
        return 0;
    }
    // Rows the analyser does not know (a query, a RETURNING clause):
    // without their tables there is no keyset, so whatever was asked they
    // are served from a static set.
    dropResult(ctx);
    ctx->unparsedSelect = 1;
    return scs_p_ChangeCursorType(ctx);
}

// What the statement's kind asks: a positioned UPDATE or DELETE an
// updatable cursor, an INSERT, DELETE or UPDATE nothing, a statement that
// is no SELECT a static read-only cursor.  Only a SELECT goes on.
Step kindServe(ScsContext *ctx)
{
    const int32_t kind = ctx->analysis.kind;
    // Only a read-only SELECT is served static for the back end's words.
    if (ctx->typeForced && (kind != KIND_SELECT || ctx->opts.concurrency != SCS_READ_ONLY))
        return finish(forcedDecline(ctx));
    if (kind != KIND_POSITIONED_DELETE && kind != KIND_POSITIONED_UPDATE)
        dropResult(ctx);
    switch (kind) {
    case KIND_POSITIONED_DELETE:
    case KIND_POSITIONED_UPDATE:
        return finish(scs_p_ChkUpdatable(ctx));
    case KIND_INSERT:
    case KIND_DELETE:
    case KIND_UPDATE:
        return finish(0);
    case KIND_SELECT:
        return kGoOn;
    default:
        return finish(scs_p_ChangeCursorType(ctx));
    }
}

// The refusals of the cursor type a SELECT asked for, and the results a
// keyed cursor cannot serve: an aggregate's rows have no keys, and a
// DISTINCT result's rows are not the rows the keys name, so such results
// are served from a static set, which scrolls them in every direction.
Step selectServe(ScsContext *ctx, int32_t type)
{
    ctx->clauseFlags = ctx->analysis.flags;
    if (ctx->typeForced)
        return finish(0);  // a static read-only cursor reads the result as it comes
    if ((type == SCS_KEYSET || type == SCS_DYNAMIC) && (ctx->clauseFlags & SCR_CF_OUTER_JOIN))
        return finish(ERR_OUTER_JOIN_NEEDS_STATIC);
    if (type == SCS_KEYSET)
        if (int rc = scs_p_ChkKeysetStmt(ctx))
            return finish(rc);
    if ((type == SCS_KEYSET || type == SCS_DYNAMIC) &&
        (((ctx->clauseFlags & SCR_CF_SET_FUNCTION) && !(ctx->clauseFlags & SCR_CF_GROUP_BY)) || selectsDistinct(ctx))) {
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "an aggregate or DISTINCT result has no keys");
        if (int rc = scs_p_ChangeCursorType(ctx))
            return finish(rc);
    }
    return kGoOn;
}

// The FROM tables, with the catalog's spelling of their names.  A keyed
// cursor needs at least one.
int fromTablesRead(ScsContext *ctx, int32_t type)
{
    DA_Free(&ctx->fromTables, SCR_TableRefFree);
    ctx->fromTables = DA_New(sizeof(ScrTableRef));
    if (!ctx->fromTables)
        return ERR_MEMORY_ALLOCATION;
    if (int rc = SCR_TablesGet(&ctx->analysis, ctx->fromTables, static_cast<int>(ctx->noCatalogs))) {
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "SCR_TablesGet failed");
        return rc;
    }
    if (ctx->fromTables->count == 0 && (type == SCS_KEYSET || type == SCS_DYNAMIC))
        return ERR_PREPARE_CURSOR_TYPE;
    return scs_p_GetTblDescs(ctx, static_cast<ScrTableRef *>(ctx->fromTables->elements), ctx->fromTables->count);
}

// The ORDER BY items; positions are resolved into the kept text.
int orderByRead(ScsContext *ctx)
{
    if (!(ctx->clauseFlags & SCR_CF_ORDER_BY))
        return 0;
    if (int rc = scs_p_OrderByColsGet(ctx))
        return rc;
    if (!(ctx->clauseFlags & SCR_CF_ORDER_BY_POS))
        return 0;
    if (int rc = SCR_OrderByPosResolve(&ctx->analysis, ctx->orderByCols))
        return rc;
    char *copy = STR_Dup(ctx->analysis.tree ? ctx->analysis.tree->text : nullptr);
    if (!copy)
        return ERR_MEMORY_ALLOCATION;
    free(ctx->stmtText);
    ctx->stmtText = copy;
    return 0;
}

// Table columns for the value comparisons of optimistic concurrency, and
// for the types of the ORDER BY columns a key window scrolls by; select
// columns (with the table columns' types) when the values compared are
// the select list's.
int compareColumnsRead(ScsContext *ctx, int32_t type)
{
    const int32_t conc = ctx->opts.concurrency;
    const bool keyWindows = type == SCS_DYNAMIC || (type == SCS_KEYSET && ctx->opts.keysetSize > 0);
    if (!keyWindows && !(conc == SCS_VALUES && scs_p_ChkUpdatable(ctx) == 0))
        return 0;
    DA_Free(&ctx->tableCols, nullptr);
    ctx->tableCols = DA_New(sizeof(ScrColumnRef));
    if (!ctx->tableCols)
        return ERR_MEMORY_ALLOCATION;
    int rc = scs_p_GetTblColDescs(ctx, static_cast<ScrTableRef *>(ctx->fromTables->elements), ctx->fromTables->count,
                                  1, ctx->tableCols);
    if (rc != 0) {
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "scs_p_GetTblColDescs failed");
        return rc;
    }
    if (ctx->compareSet != 2)
        return 0;
    DA_Free(&ctx->selectCols, nullptr);
    if ((rc = scs_p_SelectColsGet(ctx, &ctx->selectCols, nullptr)) != 0) {
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "scs_p_SelectColsGet failed");
        return rc;
    }
    for (uint32_t i = 0; ctx->sendParamTypes && i < ctx->selectCols->count; ++i) {
        auto *col = static_cast<ScrColumnRef *>(ctx->selectCols->elements) + i;
        if (col->sqlType != 0)
            continue;
        uint32_t at = 0;
        const ScrColumnRef *t = scs_p_FindColDesc(ctx->tableCols, col, &at);
        if (!t)
            return SC_ERR_GENERAL;
        col->sqlType = t->sqlType;
        col->columnSize = t->columnSize;
        col->decimalDigits = t->decimalDigits;
    }
    return 0;
}

// Key columns, unless a static read-only (or not updatable) cursor needs
// none.  Without keys (or an engine) the cursor becomes static read-only;
// a concurrency no engine serves becomes read-only.
int keysFind(ScsContext *ctx)
{
    const int32_t type = ctx->opts.cursorType;
    const int32_t conc = ctx->opts.concurrency;
    if (type == SCS_STATIC && (conc == SCS_READ_ONLY || scs_p_ChkUpdatable(ctx) != 0))
        return 0;
    int rc = engineServes(ctx) ? keyColsFind(ctx) : ERR_NO_KEY_COLUMNS;
    if (rc == ERR_NO_KEY_COLUMNS)
        rc = scs_p_ChangeCursorType(ctx);
    else if (rc == 0 && !concurrencyServed(ctx))
        rc = concurrencyReadOnly(ctx);
    if (rc != 0)
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "KS_GetKeyColDescs failed");
    return rc;
}

// The order key windows scroll in, and the key columns the ORDER BY names.
int keyOrderRead(ScsContext *ctx)
{
    const int32_t type = ctx->opts.cursorType;
    if (type == SCS_DYNAMIC || (type == SCS_KEYSET && ctx->opts.keysetSize > 0))
        if (int rc = scs_p_KeySetOrderGet(ctx))
            return rc;
    if (ctx->clauseFlags & SCR_CF_ORDER_BY)
        scs_p_KeyColsOrderByMark(ctx);
    return 0;
}

} // namespace

int scs_p_AnalyseCursorStmt(ScsContext *ctx, const char *text)
{
    Step step = analysisBegin(ctx, text);
    if (step.done)
        return step.rc;
    const int32_t asked = ctx->opts.cursorType;
    if (int rc = SCR_AnalyseSQL(&ctx->analysis, text, 0, static_cast<int>(ctx->noCatalogs))) {
        scs_p_AnalysisFailureLog(SRC, text, &ctx->analysis);
        return unparsedServe(ctx, text, asked, rc);
    }
    if ((step = kindServe(ctx)).done || (step = selectServe(ctx, asked)).done)
        return step.rc;
    // The type now served: a result without keys became static.
    const int32_t type = ctx->opts.cursorType;
    if (int rc = fromTablesRead(ctx, type))
        return rc;
    if (type == SCS_FORWARD_ONLY)
        return keyInfoComplete(ctx);
    if (int rc = orderByRead(ctx))
        return rc;
    if (int rc = compareColumnsRead(ctx, type))
        return rc;
    if (int rc = keysFind(ctx))
        return rc;
    return keyOrderRead(ctx);
}

int SCS_Prepare(int stmt, const char *sql)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx)
        return ERR_INVALID_ARGUMENT;
    ctx->posRowCount = -1;
    ctx->catalogStatic = 0;
    ctx->forcedDeclined = 0;
    scs_p_OptionsSync(ctx);
    int rc = ScsLower()->Prepare(stmt, sql);
    ctx->prepared = rc == 0;
    if (rc != 0)
        return rc;
    ctx->preparedText = sql ? sql : "";
    ctx->scsFlags &= static_cast<uint16_t>(~SCS_F_REPREPARE);
    rc = scs_p_AnalyseCursorStmt(ctx, sql);
    if (rc != 0) {
        scs_p_AuxDiagsMove(ctx);
        return rc;
    }
    // A keyset-driven cursor over a text with markers sends its parameters
    // again after every prepare of its own.
    uint16_t markers = 0;
    const DrvOpTable *lower = ScsLower();
    if (ctx->opts.cursorType == SCS_KEYSET && lower->GetParamDescs &&
        lower->GetParamDescs(stmt, &markers, nullptr) == 0 && markers > 0)
        ctx->scsFlags |= SCS_F_PARAMS_SAVED;
    ctx->scsFlags |= SCS_F_THROUGH_LIBRARY;
    return 0;
}

int SCS_CloseCursor(int stmt)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx)
        return ERR_INVALID_ARGUMENT;
    scs_p_LongValuesReset(ctx);
    ctx->scsFlags |= SCS_F_REPREPARE;
    ctx->scsFlags &= static_cast<uint16_t>(~(SCS_F_THROUGH_LIBRARY | SCS_F_STATIC_FILLED));
    // The rows of a closed cursor are not needed again: a static set that
    // spilled gives its temporary files back now.
    if (ctx->staticSet)
        SS_Close(ctx->staticSet);
    ks_CloseData(ctx->keySet);
    DSC_Close(&ctx->valueCache);
    int rc = ScsLower()->CloseCursor(stmt);
    if (rc != 0)
        scs_p_AuxDiagsMove(ctx);
    return rc;
}

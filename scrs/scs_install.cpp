// The cursor library's overlay on the back-end operation table, the
// per-statement cursor contexts and the diagnostics of the auxiliary
// statements.
#include "scrs/scs_install.h"
#include "util/strutil.h"

#include "odbc/contract/drv_items.h"
#include "odbc/contract/err_report.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/errtable.h"
#include "odbc/contract/rowblock.h"
#include "scrs/scr_locks.h"
#include "scrs/scs_combined.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyset.h"
#include "scrs/scs_rvc.h"
#include "scrs/sc_dataset.h"
#include "scrs/scs_setpos.h"
#include "odbc/contract/drv_connect_params.h"
#include "platform/locks.h"
#include "util/dynarray.h"
#include "util/hash.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

namespace {

DrvOpTable scsOpTable;        // the library's copy with its own slots
DrvBinding scsLowerBinding;   // the first binding as it stood: the back end

// The contexts by back-end statement handle.  A context is used only by
// calls on its own statement, which the handle layer serialises; the map
// itself is shared by every statement.
std::mutex &contextLock()
{
    static std::mutex *lock = new std::mutex;
    return *lock;
}

std::unordered_map<int, ScsContext *> &contexts()
{
    static auto *map = new std::unordered_map<int, ScsContext *>;
    return *map;
}

int SCS_Connect(int env, DrvConnectParams *params, int *outConn);
int SCS_Disconnect(int conn);
int SCS_AllocStmt(int conn, int *outStmt);
int SCS_FreeStmt(int stmt);
int SCS_GetErrors(int h, ErrReport *out);

// A 4-byte capability of the connection; def when the back end does not answer.
int32_t askCapability(uint32_t conn, int32_t item, int32_t def, bool *answered = nullptr)
{
    int32_t v = 0;
    int16_t len = 0;
    const int rc = ScsLower()->GetInfo(static_cast<int>(conn), DrvInt(item), &v, 4, &len);
    if (answered)
        *answered = rc == 0;
    return rc == 0 ? v : def;
}

// An integer item of a back-end statement; def when it is not answered.
int32_t askStmtWord(uint32_t stmt, int32_t item, int32_t def = 0)
{
    int32_t v = 0;
    int16_t len = 0;
    return ScsLower()->GetInfo(static_cast<int>(stmt), DrvInt(item), &v, 4, &len) == 0 ? v : def;
}

int32_t askStmtOption(uint32_t stmt, int option, int32_t def)
{
    return askStmtWord(stmt, DrvStmtOption(option), def);
}

// ---- connections: the connect-parameter registry and key-column caches ----

// A copy of the parameters a user connection was opened with, so that a
// second connection like it can be opened later.
struct ConnParamsNode {
    DrvConnectParams params{};
    int conn = 0;
};

void freeParams(DrvConnectParams &p)
{
    for (const char *t : {p.host, p.serverText, p.serverType, p.jdbcClass, p.dsn, p.dsProps, p.user, p.password,
                          p.appName})
        free(const_cast<char *>(t));
    p = DrvConnectParams{};
}

bool copyParams(DrvConnectParams &to, const DrvConnectParams &from)
{
    to.host = STR_Dup(from.host);
    to.serverText = STR_Dup(from.serverText);  // the wide marker has no NUL
    to.serverType = STR_Dup(from.serverType);
    to.jdbcClass = STR_Dup(from.jdbcClass);
    to.dsn = STR_Dup(from.dsn);
    to.dsProps = STR_Dup(from.dsProps);
    to.user = STR_Dup(from.user);
    to.password = STR_Dup(from.password);
    to.appName = STR_Dup(from.appName);
    to.readOnly = from.readOnly;
    to.flag = from.flag;
    to.loginTimeout = from.loginTimeout;
    auto lost = [](const char *a, const char *b) { return a && !b; };
    return !(lost(from.host, to.host) || lost(from.serverText, to.serverText) ||
             lost(from.serverType, to.serverType) || lost(from.jdbcClass, to.jdbcClass) || lost(from.dsn, to.dsn) ||
             lost(from.dsProps, to.dsProps) || lost(from.user, to.user) || lost(from.password, to.password) ||
             lost(from.appName, to.appName));
}

struct ConnRecord {
    int env = 0;
    HashTable *keyColCache = nullptr;  // MD5 of the FROM tables -> DynArray of key ScrColumnRef
};

// Registry nodes per environment (in connect order) and the library's
// record of each connection; under the list lock.
PL_CriticalSection &listLock()
{
    static auto *lock = new PL_CriticalSection;
    return *lock;
}

std::unordered_map<int, std::vector<ConnParamsNode *>> &registry()
{
    static auto *map = new std::unordered_map<int, std::vector<ConnParamsNode *>>;
    return *map;
}

std::unordered_map<int, ConnRecord> &connections()
{
    static auto *map = new std::unordered_map<int, ConnRecord>;
    return *map;
}

void keyCacheEntryFree(uint64_t value, const void *, void *)
{
    auto *cols = reinterpret_cast<DynArray *>(value);
    DA_Free(&cols, nullptr);
}

int SCS_Connect(int env, DrvConnectParams *params, int *outConn)
{
    int rc = ScsLower()->Connect(env, params, outConn);
    if (rc != 0)
        return rc;
    auto *node = new (std::nothrow) ConnParamsNode;
    HashTable *cache = HASH_Create(101, 16);
    if (!node || !cache || (params && !copyParams(node->params, *params))) {
        // The connection is of no use to the library without its records.
        if (node)
            freeParams(node->params);
        delete node;
        if (cache)
            HASH_Free(cache);
        ScsLower()->Disconnect(*outConn);
        *outConn = 0;
        return ERR_MEMORY_ALLOCATION;
    }
    node->conn = *outConn;
    PL_CsGuard hold(listLock());
    registry()[env].push_back(node);
    connections()[*outConn] = ConnRecord{env, cache};
    return 0;
}

int SCS_Disconnect(int conn)
{
    ConnRecord rec;
    {
        PL_CsGuard hold(listLock());
        auto it = connections().find(conn);
        if (it != connections().end()) {
            rec = it->second;
            connections().erase(it);
            std::vector<ConnParamsNode *> &nodes = registry()[rec.env];
            for (auto n = nodes.begin(); n != nodes.end(); ++n) {
                if ((*n)->conn != conn)
                    continue;
                freeParams((*n)->params);
                delete *n;
                nodes.erase(n);
                break;
            }
            if (nodes.empty())
                registry().erase(rec.env);
        }
    }
    scs_p_ConnDiagsDrop(conn);
    if (rec.keyColCache) {
        HASH_ForEach(rec.keyColCache, keyCacheEntryFree, nullptr);
        HASH_Free(rec.keyColCache);
    }
    return ScsLower()->Disconnect(conn);
}

int SCS_AllocStmt(int conn, int *outStmt)
{
    int rc = ScsLower()->AllocStmt(conn, outStmt);
    if (rc != 0)
        return rc;
    auto *ctx = new (std::nothrow) ScsContext;
    if (!ctx) {
        ScsLower()->FreeStmt(*outStmt);
        *outStmt = 0;
        return ERR_MEMORY_ALLOCATION;
    }
    rc = scs_p_CtxInit(ctx, static_cast<uint32_t>(*outStmt), static_cast<uint32_t>(conn));
    if (rc != 0) {
        // A statement without its context is of no use: it is freed with
        // whatever the set-up had taken.
        scs_p_CtxFree(ctx);
        delete ctx;
        ScsLower()->FreeStmt(*outStmt);
        *outStmt = 0;
        return rc;
    }
    std::lock_guard<std::mutex> hold(contextLock());
    contexts()[*outStmt] = ctx;
    return 0;
}

int SCS_FreeStmt(int stmt)
{
    ScsContext *ctx = nullptr;
    {
        std::lock_guard<std::mutex> hold(contextLock());
        auto it = contexts().find(stmt);
        if (it == contexts().end())
            return ERR_INVALID_ARGUMENT;
        ctx = it->second;
        contexts().erase(it);
    }
    scs_p_CtxFree(ctx);
    delete ctx;
    return ScsLower()->FreeStmt(stmt);
}

// The diagnostics the library keeps for a connection, behind those of the
// report.
int connDiagsAppend(int conn, ErrReport *out)
{
    int32_t native = 0;
    std::vector<std::string> kept;
    if (!scs_p_ConnDiagsTake(conn, &native, &kept) || kept.empty())
        return 0;
    const uint32_t n = out->count + static_cast<uint32_t>(kept.size());
    auto **texts = static_cast<char **>(realloc(out->texts, n * sizeof(char *)));
    if (!texts)
        return ERR_MEMORY_ALLOCATION;
    for (size_t i = 0; i < kept.size(); ++i)
        texts[out->count + i] = STR_Dup(kept[i].c_str());
    if (out->count == 0)
        out->firstNative = native;
    out->texts = texts;
    out->count = n;
    return 0;
}

// The back end's diagnostics of a handle, then those the library moved there
// from the statement's auxiliary statements.
int SCS_GetErrors(int h, ErrReport *out)
{
    int rc = ScsLower()->GetErrors(h, out);
    ScsContext *ctx = scs_p_CtxFind(h);
    if (rc == 0 && !ctx && out)
        return connDiagsAppend(h, out);
    if (rc != 0 || !ctx || ctx->auxTexts.empty() || !out)
        return rc;
    const uint32_t n = out->count + static_cast<uint32_t>(ctx->auxTexts.size());
    auto **texts = static_cast<char **>(realloc(out->texts, n * sizeof(char *)));
    if (!texts)
        return ERR_MEMORY_ALLOCATION;
    for (size_t i = 0; i < ctx->auxTexts.size(); ++i)
        texts[out->count + i] = STR_Dup(ctx->auxTexts[i].c_str());
    if (out->count == 0)
        out->firstNative = 0;
    out->texts = texts;
    out->count = n;
    ctx->auxTexts.clear();
    return 0;
}

// Serves a slot with the library's operation when the back-end operation
// it is built on exists; otherwise the slot stays as the back end left it,
// so that callers still see the operation missing.
template <class Op, class Base>
void serve(DrvOpTable *t, Op DrvOpTable::*slot, Op op, Base base)
{
    if (base)
        t->*slot = op;
}

// The library's slots in its copy of the back end's table.  The slots the
// back end never fills are served from the operations they are built on.
void overlayFill(DrvOpTable *t, const DrvOpTable &low)
{
    serve(t, &DrvOpTable::GetInfo, &SCS_GetInfo, low.GetInfo);
    serve(t, &DrvOpTable::GetErrors, &SCS_GetErrors, low.GetErrors);
    serve(t, &DrvOpTable::Connect, &SCS_Connect, low.Connect);
    serve(t, &DrvOpTable::Disconnect, &SCS_Disconnect, low.Disconnect);
    serve(t, &DrvOpTable::AllocStmt, &SCS_AllocStmt, low.AllocStmt);
    serve(t, &DrvOpTable::FreeStmt, &SCS_FreeStmt, low.FreeStmt);
    serve(t, &DrvOpTable::Prepare, &SCS_Prepare, low.Prepare);
    serve(t, &DrvOpTable::SetParams, &SCS_SetParams, low.SetParams);
    serve(t, &DrvOpTable::Execute, &SCS_Execute, low.Execute);
    serve(t, &DrvOpTable::GetParamDescs, &SCS_GetParamDescs, low.GetParamDescs);
    serve(t, &DrvOpTable::SetParamTypes, &SCS_SetParamTypes, low.SetParamTypes);
    serve(t, &DrvOpTable::Fetch, &SCS_Fetch, low.Fetch);
    serve(t, &DrvOpTable::CloseCursor, &SCS_CloseCursor, low.CloseCursor);
    serve(t, &DrvOpTable::MoreResults, &SCS_MoreResults, low.MoreResults);
    serve(t, &DrvOpTable::DDColumnPrivileges, &SCS_DDColumnPrivileges, low.DDColumnPrivileges);
    serve(t, &DrvOpTable::DDColumns, &SCS_DDColumns, low.DDColumns);
    serve(t, &DrvOpTable::DDForeignKeys, &SCS_DDForeignKeys, low.DDForeignKeys);
    serve(t, &DrvOpTable::DDPrimaryKeys, &SCS_DDPrimaryKeys, low.DDPrimaryKeys);
    serve(t, &DrvOpTable::DDProcedureColumns, &SCS_DDProcedureColumns, low.DDProcedureColumns);
    serve(t, &DrvOpTable::DDProcedures, &SCS_DDProcedures, low.DDProcedures);
    serve(t, &DrvOpTable::DDSpecialColumns, &SCS_DDSpecialColumns, low.DDSpecialColumns);
    serve(t, &DrvOpTable::DDStatistics, &SCS_DDStatistics, low.DDStatistics);
    serve(t, &DrvOpTable::DDTablePrivileges, &SCS_DDTablePrivileges, low.DDTablePrivileges);
    serve(t, &DrvOpTable::DDTables, &SCS_DDTables, low.DDTables);
    serve(t, &DrvOpTable::DDGetTypeInfo, &SCS_DDGetTypeInfo, low.DDGetTypeInfo);
    serve(t, &DrvOpTable::ExtendedFetch, &SCS_ExtendedFetch, low.Fetch);
    serve(t, &DrvOpTable::SetPos, &SCS_SetPos, low.Execute);
    serve(t, &DrvOpTable::ScrollFetch, &SCS_FetchScroll, low.Fetch);
    serve(t, &DrvOpTable::BulkOperations, &SCS_BulkOperations, low.Execute);
    serve(t, &DrvOpTable::ExecDirect, &SCS_ExecDirect, low.ExecDirect);
    serve(t, &DrvOpTable::ExecDescribe, &SCS_ExecDescribe, low.Execute);
    serve(t, &DrvOpTable::AllocPrepare, &SCS_AllocPrepare, low.AllocStmt);
    serve(t, &DrvOpTable::DescribeRowset, &SCS_DescribeRowset, low.Fetch);
    serve(t, &DrvOpTable::ScrollFetchLong, &SCS_FetchScrollLong, low.Fetch);
    serve(t, &DrvOpTable::LongData, &SCS_GetLongData, low.Fetch);
    serve(t, &DrvOpTable::ExecBatch, &SCS_ExecBatch, low.ExecDirect);
    serve(t, &DrvOpTable::ExecDescribeEx, &SCS_ExecDescribeEx, low.Execute);
    serve(t, &DrvOpTable::ExecDirectEx, &SCS_ExecDirectEx, low.ExecDirect);
    serve(t, &DrvOpTable::ParamTypesEx, &SCS_SetParamTypesEx, low.SetParamTypes);
}

} // namespace

void SCS_Install(DrvBinding *binding)
{
    if (!binding || !binding->ops)
        return;
    if (!scsLowerBinding.ops) {
        scsOpTable = *binding->ops;
        scsLowerBinding = *binding;
        overlayFill(&scsOpTable, *binding->ops);
        (void)ScrParserLock();
        (void)SqltTextLock();
        (void)contextLock();
        (void)listLock();
    }
    binding->ops = &scsOpTable;
}

const DrvOpTable *ScsLower() { return scsLowerBinding.ops; }

int scs_p_StmtAlloc(int conn, int *outStmt) { return SCS_AllocStmt(conn, outStmt); }
int scs_p_StmtFree(int stmt) { return SCS_FreeStmt(stmt); }

int scs_p_RegisteredConnections(int env)
{
    PL_CsGuard hold(listLock());
    auto it = registry().find(env);
    return it == registry().end() ? 0 : static_cast<int>(it->second.size());
}

int scs_p_ConnParamsFind(int conn, DrvConnectParams *out)
{
    PL_CsGuard hold(listLock());
    for (auto &entry : registry())
        for (ConnParamsNode *n : entry.second)
            if (n->conn == conn) {
                if (out)
                    *out = n->params;
                return 0;
            }
    return ERR_INVALID_ARGUMENT;
}

int scs_p_ConnEnv(int conn, int *env)
{
    PL_CsGuard hold(listLock());
    auto it = connections().find(conn);
    if (it == connections().end())
        return ERR_INVALID_ARGUMENT;
    if (env)
        *env = it->second.env;
    return 0;
}

PL_CriticalSection &scs_p_ListLock() { return listLock(); }

HashTable *scs_p_KeyColCache(int conn)
{
    PL_CsGuard hold(listLock());
    auto it = connections().find(conn);
    return it == connections().end() ? nullptr : it->second.keyColCache;
}
const DrvBinding *ScsLowerBinding() { return &scsLowerBinding; }

ScsContext *scs_p_CtxFind(int stmt)
{
    std::lock_guard<std::mutex> hold(contextLock());
    auto it = contexts().find(stmt);
    return it == contexts().end() ? nullptr : it->second;
}

namespace {

// The statement's options become those the library serves: a forward-only
// statement gets the cursor the back end's words give it, and a new keyset
// size resets a mixed cursor's window.
void optionsServe(ScsContext *ctx, const CursorOptions &o)
{
    CursorOptions &cs = ctx->opts;
    cs.cursorType = o.cursorType;
    ctx->typeForced = 0;
    if (cs.cursorType == SCS_FORWARD_ONLY && !ctx->forcedDeclined) {
        if (ctx->forceStatic)
            cs.cursorType = SCS_STATIC;
        else if (ctx->cursorDefault >= SCS_KEYSET && ctx->cursorDefault <= SCS_STATIC)
            cs.cursorType = ctx->cursorDefault;
        ctx->typeForced = cs.cursorType != SCS_FORWARD_ONLY;
    }
    cs.concurrency = o.concurrency;
    cs.rowsetSize = o.rowsetSize;
    if (o.keysetSize != cs.keysetSize && cs.cursorType == SCS_KEYSET)
        ctx->scsFlags |= SCS_F_KEYSET_SIZE_SET;
    cs.keysetSize = o.keysetSize;
    cs.retrieveData = o.retrieveData;
    ctx->attrKeyInfo = static_cast<uint32_t>(o.keyInfo);
    ctx->attrAddKeys = static_cast<uint32_t>(o.addKeys);
    // A record the back end never set holds zeros: read-only, one row.
    if (cs.rowsetSize < 1)
        cs.rowsetSize = 1;
    if (cs.concurrency < SCS_READ_ONLY)
        cs.concurrency = SCS_READ_ONLY;
}

} // namespace

void scs_p_OptionsSync(ScsContext *ctx)
{
    const uint32_t h = ctx->drvStmt;
    const CursorOptions &now = ctx->opts;
    CursorOptions o = now;
    o.cursorType = askStmtOption(h, SQL_CURSOR_TYPE, now.cursorType);
    o.concurrency = askStmtOption(h, SQL_CONCURRENCY, now.concurrency);
    o.rowsetSize = askStmtOption(h, SQL_ROWSET_SIZE, now.rowsetSize);
    o.keysetSize = askStmtOption(h, SQL_KEYSET_SIZE, now.keysetSize);
    o.retrieveData = askStmtOption(h, SQL_RETRIEVE_DATA, now.retrieveData);
    o.keyInfo = askStmtOption(h, KRS_STMT_KEY_INFO, 0);
    o.addKeys = askStmtOption(h, KRS_STMT_ADD_KEYS, 0);
    // What the library replaced is no longer so once the back end holds
    // another value.
    if (o.cursorType != SCS_STATIC)
        ctx->replacedType = -1;
    if (o.concurrency != SCS_READ_ONLY)
        ctx->replacedConcurrency = -1;
    optionsServe(ctx, o);
}

void scs_p_OptionsTake(ScsContext *ctx, const CursorOptions *handed)
{
    if (!handed) {
        scs_p_OptionsSync(ctx);
        return;
    }
    CursorOptions o = *handed;
    if (o.cursorType == ctx->replacedType)
        o.cursorType = SCS_STATIC;
    if (o.concurrency == ctx->replacedConcurrency)
        o.concurrency = SCS_READ_ONLY;
    optionsServe(ctx, o);
}

int32_t scs_p_CursorType(const ScsContext *ctx)
{
    return ctx->catalogStatic ? SCS_STATIC : ctx->opts.cursorType;
}

int32_t scs_p_Concurrency(const ScsContext *ctx)
{
    return ctx->catalogStatic ? SCS_READ_ONLY : ctx->opts.concurrency;
}

int scs_p_CtxInit(ScsContext *ctx, uint32_t stmt, uint32_t conn)
{
    CUR_OptionsInit(&ctx->opts);
    CUR_PosReset(&ctx->place);
    ctx->drvStmt = stmt;
    ctx->drvConn = conn;
    // The back end's record starts zero-filled: the options a cursor reads
    // get their defaults there (read-only, one row, data retrieved).
    for (int option : {SQL_CONCURRENCY, SQL_ROWSET_SIZE, SQL_RETRIEVE_DATA}) {
        if (askStmtOption(stmt, option, 1) != 0)
            continue;
        int32_t one = 1;
        ScsLower()->SetOption(static_cast<int>(stmt), DrvInt(DrvStmtOption(option)), &one);
    }
    SCR_Init(&ctx->analysis);
    SCR_Init(&ctx->keysetAnalysis);
    SCR_Init(&ctx->refetchAnalysis);
    if (int rc = KS_Alloc(&ctx->keySet))
        return rc;
    ctx->sendParamTypes = askCapability(conn, DRV_CONN_NEEDS_BIND, 0) != 0 ? 1 : 0;
    ctx->fixedTextNul = askCapability(conn, DRV_CONN_HAS_PARAM_ARRAYS, 0) != 0 ? 1 : 0;
    ctx->lockByUpdate = askCapability(conn, DRV_CONN_LOCK_BY_UPDATE, 0) != 0 ? 1 : 0;
    ctx->maxParams = askCapability(conn, DRV_CONN_MAX_PARAMS, ctx->maxParams);
    ctx->utf8Catalog = static_cast<uint32_t>(askCapability(conn, DRV_CONN_UTF8_TEXT, 0));
    ctx->dynSensitive = askCapability(conn, DRV_CONN_ROW_VERSIONS, 0) != 0 ? 1 : 0;
    ctx->cursorDefault = askStmtWord(stmt, DRV_STMT_CURSOR_DEFAULT);
    ctx->forceStatic = askStmtWord(stmt, DRV_STMT_FORCE_STATIC);
    DSC_Init(&ctx->valueCache);
    SCR_Init(&ctx->refetchAnalysis);

    return 0;
}

int scs_p_StaticSetReady(ScsContext *ctx)
{
    return ctx->staticSet ? 0 : SS_Alloc(&ctx->staticSet);
}

void scs_p_CtxInfoLoad(ScsContext *ctx)
{
    if (ctx->infoLoaded)
        return;
    ctx->infoLoaded = 1;
    const uint32_t conn = ctx->drvConn;
    char text[509];
    int16_t len = 0;
    if (CUR_DrvGetInfo(&scsLowerBinding, conn, SQL_IDENTIFIER_QUOTE_CHAR, text, 2, &len) == 0)
        ctx->identQuote = text[0] == ' ' ? 0 : text[0];
    int32_t v = 0;
    if (CUR_DrvGetInfo(&scsLowerBinding, conn, SQL_IDENTIFIER_CASE, &v, 4, &len) == 0)
        ctx->identCase = static_cast<uint32_t>(v);
    if (CUR_DrvGetInfo(&scsLowerBinding, conn, SQL_QUOTED_IDENTIFIER_CASE, &v, 4, &len) == 0)
        ctx->quotedIdentCase = static_cast<uint32_t>(v);
    if (CUR_DrvGetInfo(&scsLowerBinding, conn, SQL_USER_NAME, text, sizeof text, &len) == 0)
        ctx->userName = STR_Dup(text);
    if (CUR_DrvGetInfo(&scsLowerBinding, conn, SQL_DBMS_NAME, text, sizeof text, &len) == 0)
        ctx->dbmsName = STR_Dup(text);
    if (CUR_DrvGetInfo(&scsLowerBinding, conn, SQL_MAX_COLUMNS_IN_ORDER_BY, &v, 4, &len) == 0)
        ctx->maxOrderByCols = static_cast<int16_t>(v);
    uint16_t collation = 0;
    if (CUR_DrvGetInfo(&scsLowerBinding, conn, SQL_NULL_COLLATION, &collation, 2, &len) == 0)
        ctx->nullCollation = static_cast<int16_t>(collation);
}

void scs_p_CtxFree(ScsContext *ctx)
{
    SS_Free(&ctx->staticSet);
    KS_Free(&ctx->keySet);
    SCR_Free(&ctx->keysetAnalysis);
    SCR_Free(&ctx->refetchAnalysis);
    KS_BlockFree(&ctx->keysetBounds);
    DA_Free(&ctx->fromTables, SCR_TableRefFree);
    DA_Free(&ctx->tableCols, nullptr);
    DA_Free(&ctx->orderByCols, nullptr);
    DA_Free(&ctx->selectCols, nullptr);
    DA_Free(&ctx->keyCols, nullptr);
    KS_BlockFree(&ctx->savedParams);
    DSC_Close(&ctx->valueCache);
    KS_BlockFree(&ctx->compareValues);
    free(ctx->stmtText);
    ctx->stmtText = nullptr;
    SCR_Free(&ctx->analysis);
    SCR_Free(&ctx->refetchAnalysis);
    if (ctx->posStmt)
        ScsLower()->FreeStmt(static_cast<int>(ctx->posStmt));
    for (KsKeyQuery &q : ctx->keyQueries) {
        if (q.stmt)
            ScsLower()->FreeStmt(static_cast<int>(q.stmt));
        q = KsKeyQuery{};
    }
    // A cursor's row versions go with it, and so does its row-version
    // connection (whatever the cursor type became since it was opened).
    if (ctx->rvcBinding) {
        if (ctx->rvcBinding->rvStmt && scs_p_CursorType(ctx) == SCS_DYNAMIC && ctx->dynSensitive)
            RVC_CursorRowsDelete(ctx->rvcBinding);
        RVC_Detach(ctx->rvcBinding);
        delete ctx->rvcBinding;
        ctx->rvcBinding = nullptr;
    }
    if (ctx->refetchStmt)
        ScsLower()->FreeStmt(static_cast<int>(ctx->refetchStmt));
    scs_p_DescriptionsFree(ctx);
    free(ctx->userName);
    free(ctx->dbmsName);
    ctx->userName = ctx->dbmsName = nullptr;
    scs_p_LongValuesReset(ctx);
}

void scs_p_ErrPostCode(ScsContext *ctx, int number)
{
    const ErrorRow *row = ERR_Lookup(number);
    if (!ctx || !row)
        return;
    // The form of the back end's own reports (err_report.h).
    ctx->auxTexts.emplace_back(std::string("[Brennic Edition]") + row->message + "[SQLSTATE:" + row->sqlstate + "]");
}

void scs_p_AuxDiagsMove(ScsContext *ctx)
{
    std::vector<uint32_t> auxes{ctx->posStmt, ctx->refetchStmt};
    for (const KsKeyQuery &q : ctx->keyQueries)
        auxes.push_back(q.stmt);
    for (uint32_t aux : auxes) {
        if (!aux)
            continue;
        ErrReport rep{};
        if (ScsLower()->GetErrors(static_cast<int>(aux), &rep) != 0)
            continue;
        for (uint32_t i = 0; i < rep.count; ++i) {
            if (rep.texts && rep.texts[i])
                ctx->auxTexts.emplace_back(rep.texts[i]);
            if (rep.texts)
                free(rep.texts[i]);
        }
        free(rep.texts);
    }
}

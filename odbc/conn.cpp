// Connection objects.
#include "odbc/conn.h"

#include <cstdlib>
#include <new>

#include "odbc/contract/err_report.h"
#include "odbc/connattr.h"
#include "odbc/desc.h"
#include "odbc/dispatch.h"
#include "odbc/contract/drv_items.h"
#include "odbc/handles.h"
#include "odbc/layer_links.h"
#include "odbc/startup.h"
#include "odbc/stmt.h"
#include "odbc/trace.h"

namespace {

// Queues every text of a back-end delivery and frees it.
int QueueReport(ErrQueue *q, ErrReport &report)
{
    int queued = 0;
    for (uint32_t i = 0; i < report.count; ++i) {
        if (report.texts && report.texts[i]) {
            if (ERR_Push(q, report.texts[i], report.firstNative))
                ++queued;
            std::free(report.texts[i]);
        }
    }
    std::free(report.texts);
    report = ErrReport{};
    return queued;
}

// Whether a statement or descriptor may be allocated on the connection: an
// output pointer (HY009) and an open connection (08003).  Clears *out.
bool MayAllocChild(Conn *conn, SQLHANDLE *out)
{
    if (!out) {
        conn->diag.errNum = ERR_INVALID_ARGUMENT;
        return false;
    }
    *out = nullptr;
    if (conn->state != CONN_CONNECTED) {
        conn->diag.errNum = ERR_CONNECTION_NOT_OPEN;
        return false;
    }
    return true;
}

// Enters a new statement or descriptor into its handle table and hands its
// handle out; when the table refuses it, frees it and posts the table's error.
template <class T, class Release>
SQLRETURN HandOutChild(Conn *conn, HandleTable *table, T *child, Release release, SQLHANDLE *out)
{
    uint32_t handle = 0;
    int rc = HT_Insert(table, &handle, child);
    if (rc != 0) {
        release(child);
        conn->diag.errNum = rc;
        return SQL_ERROR;
    }
    child->handle = handle;
    *out = HT_HandleOut(handle);
    return SQL_SUCCESS;
}

// Queues on q the back end's messages of one of its handles (the connection
// or the environment it opened).  Number of texts queued.
int FetchReport(Conn *conn, uint32_t drvHandle, ErrQueue *q)
{
    if (!conn->binding.ops || !conn->binding.ops->GetErrors)
        return 0;
    ErrReport report{};
    if (conn->binding.ops->GetErrors(static_cast<int>(drvHandle), &report) != 0)
        return 0;
    return QueueReport(q, report);
}

SQLRETURN AllocStmtImpl(Conn *conn, SQLHANDLE *out)
{
    if (!MayAllocChild(conn, out))
        return SQL_ERROR;
    Stmt *stmt = StmtAlloc(conn);
    if (!stmt)
        return SQL_ERROR;
    return HandOutChild(conn, &StmtTable, stmt, [](Stmt *s) { StmtFree(s); }, out);
}

SQLRETURN FreeConnImpl(Conn *conn)
{
    int rc = ConnClose(conn);
    if (rc != 0) {
        conn->diag.errNum = rc;
        return SQL_ERROR;
    }
    ConnFree(conn);
    return SQL_SUCCESS;
}

} // namespace

Conn *ConnAlloc(Envr *env)
{
    Conn *conn = new (std::nothrow) Conn();
    if (!conn) {
        env->diag.errNum = ERR_MEMORY_ALLOCATION;
        return nullptr;
    }
    conn->typeTag = CONN_TAG;
    conn->env = env;
    conn->next = env->conns;
    env->conns = conn;
    conn->state = CONN_ALLOCATED;
    conn->loginTimeout = 120;
    conn->flags = CN_AUTOCOMMIT;
    conn->id = static_cast<uint32_t>(++env->connCounter);
    CUR_OptionsInit(&conn->stmtDefaults);
    return conn;
}

int ConnClose(Conn *conn, CloseMode mode)
{
    if (conn->state == CONN_CONNECTED) {
        while (Stmt *s = conn->stmts) {
            StmtClose(s, mode);
            StmtFree(s, mode);
        }
        if (void *dispenser = conn->dtcDispenser) {
            // At process exit the dispenser is let go without calling out.
            const DtcLinkOps *dtc = Core_Links().dtc;
            int released = mode == CLOSE_DETACH ? dtc->DropDispenser(dispenser)
                                                : dtc->CloseDispenser(dispenser);
            conn->dtcDispenser = nullptr;
            conn->dtcEnlisted = 0;
            if (released > 0 && mode == CLOSE_NORMAL)
                return ERR_INVALID_TRANSACTION_STATE;
        }
        if (mode == CLOSE_NORMAL && conn->binding.ops) {
            int rc = conn->binding.ops->Disconnect ? conn->binding.ops->Disconnect(static_cast<int>(conn->drvConn)) : 0;
            if (rc != 0) {
                ConnFetchMessages(conn, nullptr);
                return rc;
            }
            if (conn->binding.ops->EnvClose)
                conn->binding.ops->EnvClose(static_cast<int>(conn->serverHandle));
        }
        conn->state = CONN_ALLOCATED;
        conn->serverHandle = 0;
        conn->drvConn = 0;
    }
    conn->convTable = DrvConvTable{};
    InfoCacheReset(&conn->infoCache);
    DescFreeOwnedBy(conn);
    return 0;
}

void ConnFreeStrings(Conn *conn)
{
    char **texts[] = {&conn->dsn, &conn->uid, &conn->pwd, &conn->cn_dbpath, &conn->cn_dbopts,
                      &conn->cn_dbhost, &conn->port, &conn->cn_svtype, &conn->serverText,
                      &conn->extraText};
    for (char **t : texts) {
        std::free(*t);
        *t = nullptr;
    }
}

void ConnFree(Conn *conn)
{
    PL_CsGuard api(API_Lock());
    // Whatever a failed close left behind goes with the connection, so that
    // nothing keeps pointing at it once its memory is released.
    while (Stmt *s = conn->stmts)
        StmtFree(s, CLOSE_DETACH);
    DescFreeOwnedBy(conn);
    ConnFreeStrings(conn);
    ConnFreeAttrTexts(conn);
    InfoCacheReset(&conn->infoCache);
    std::free(conn->appName);
    conn->appName = nullptr;
    if (Envr *env = conn->env) {
        for (Conn **p = &env->conns; *p; p = &(*p)->next) {
            if (*p == conn) {
                *p = conn->next;
                break;
            }
        }
    }
    ERR_FreeMsgs(&conn->diag);
    conn->typeTag = FREED_TAG;
    conn->state = CONN_FREED;
    if (conn->handle)
        HT_Remove(&ConnTable, static_cast<uint32_t>(conn->handle));
}

void ConnRelease(Conn *conn) { delete conn; }

void ConnPushError(Conn *conn, const char *text, int32_t native) { ERR_Push(&conn->diag, text, native); }

char *ConnPopError(Conn *conn, int32_t *native) { return ERR_Pop(&conn->diag, native); }

int ConnFetchMessages(Conn *conn, Stmt *stmt)
{
    return FetchReport(conn, conn->drvConn, stmt ? &stmt->diag : &conn->diag);
}

int ConnFetchServerMessages(Conn *conn)
{
    return FetchReport(conn, conn->serverHandle, &conn->diag);
}

int ConnDrvSetOption(Conn *conn, int code, void *value)
{
    const DrvOpTable *ops = conn->binding.ops;
    if (!ops || !ops->SetOption)
        return ERR_NOT_CAPABLE;
    return ops->SetOption(static_cast<int>(conn->drvConn), code, value);
}

int ConnDrvSetInt(Conn *conn, int item, int32_t value) { return ConnDrvSetOption(conn, DrvInt(item), &value); }

bool ConnScrollCursorsBuilt(const Conn *conn)
{
    if (!conn || !conn->cn_hasScrlCurs || !conn->binding.ops)
        return false;
    const DrvOpTable *ops = conn->binding.ops;
    return conn->cn_hasDynMixCurs ? ops->ScrollFetch != nullptr : ops->ExtendedFetch != nullptr;
}

int ConnDrvGetInfo(Conn *conn, int code, void *buf, int16_t size)
{
    const DrvOpTable *ops = conn->binding.ops;
    if (!ops || !ops->GetInfo)
        return ERR_FUNCTION_NOT_SUPPORTED;
    int16_t len = 0;
    return ops->GetInfo(static_cast<int>(conn->drvConn), code, buf, size, &len);
}

SQLRETURN ConnTransact(Conn *conn, SQLUSMALLINT type)
{
    if (TR_IsOn())
        TR_Printf("%s", type == SQL_COMMIT ? "[Commit]" : "[Rollback]");
    if (conn->state != CONN_CONNECTED) {
        conn->diag.errNum = ERR_CONNECTION_NOT_OPEN;
        return SQL_ERROR;
    }
    int (*op)(int) = nullptr;
    if (type == SQL_COMMIT)
        op = conn->binding.ops ? conn->binding.ops->Commit : nullptr;
    else if (type == SQL_ROLLBACK)
        op = conn->binding.ops ? conn->binding.ops->Rollback : nullptr;
    else {
        conn->diag.errNum = ERR_INVALID_TRANSACTION_CODE;
        return SQL_ERROR;
    }
    int rc = op ? op(static_cast<int>(conn->drvConn)) : ERR_NOT_CAPABLE;
    conn->diag.errNum = rc;
    if (rc != 0) {
        ConnFetchMessages(conn, nullptr);
        return SQL_ERROR;
    }
    return SQL_SUCCESS;
}

SQLRETURN CN_AllocStmt(Conn *conn, SQLHSTMT *out) { return AllocStmtImpl(conn, out); }
SQLRETURN CN_AllocHandleStmt(Conn *conn, SQLHANDLE *out) { return AllocStmtImpl(conn, out); }

SQLRETURN CN_AllocHandleDesc(Conn *conn, SQLHANDLE *out)
{
    if (!MayAllocChild(conn, out))
        return SQL_ERROR;
    Desc *desc = DescAlloc(DK_USER, DA_EXPLICIT, nullptr, conn);
    if (!desc) {
        conn->diag.errNum = ERR_MEMORY_ALLOCATION;
        return SQL_ERROR;
    }
    return HandOutChild(conn, &DescTable, desc, DescFree, out);
}

SQLRETURN CN_FreeConnect(Conn *conn) { return FreeConnImpl(conn); }
SQLRETURN CN_FreeHandle(Conn *conn) { return FreeConnImpl(conn); }
SQLRETURN CN_Transact(Conn *conn, SQLUSMALLINT type) { return ConnTransact(conn, type); }

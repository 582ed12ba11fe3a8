// The back end's XA branch operations: the connection's XAConnection and its
// XAResource, driven through the XAResource bridge.
#include "drv_jdbc/j-xa.h"

#include "drv_jdbc/j-call.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-factory.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap.h"
#include "drv_jdbc/j-xares.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/xa_mode.h"
#include "odbc/contract/xid.h"

#include <cstdlib>
#include <cstring>

namespace {
// Takes over the new JDBC objects as global references; false (nothing
// kept, memory failure posted) when a reference cannot be made.
bool keepConnection(DrvConn *c, jobject conn, jobject md, jobject ds, jobject xaConn,
                    jobject xaRes)
{
    JNIEnv *env = c->env;
    bool held = c->connection.Set(env, conn);
    held = c->metaData.Set(env, md) && held;
    held = c->dataSource.Set(env, ds) && held;
    held = c->xaConnection.Set(env, xaConn) && held;
    held = c->xaResource.Set(env, xaRes) && held;
    if (!held) {
        env->ExceptionClear();
        closeConnRefs(c);
        errPostMsg(&c->errors, "Memory allocation failure", ERR_MEMORY_ALLOCATION);
        return false;
    }
    return true;
}

// The connect's access mode on a newly opened connection.
int applyAccessMode(DrvConn *c, jobject conn)
{
    return c->accessMode ? jc_Connection_setReadOnly(c, conn, 1) : 0;
}

// Opens a plain JDBC connection from the connect's class list with its
// properties, user and password.  0, or the factory's number (its text on
// the chain); whatever was opened is closed again on failure.
int reopenPlain(DrvConn *c)
{
    char *list = c->classList ? strdup(c->classList) : nullptr;
    char *props = c->dsProps ? strdup(c->dsProps) : nullptr;
    if (!list || (c->dsProps && !props)) {
        free(list);
        free(props);
        errPostMsg(&c->errors, "Memory allocation failure", ERR_MEMORY_ALLOCATION);
        return ERR_MEMORY_ALLOCATION;
    }
    jobject conn = nullptr, ds = nullptr, md = nullptr;
    int rc = _getConnection(c, &conn, list, props, c->user, c->password, nullptr, &ds);
    free(list);
    free(props);
    if (rc == 0 && !conn)
        rc = ERR_UNABLE_TO_CONNECT;
    if (rc == 0)
        rc = jc_Connection_getMetaData(c, conn, &md);
    if (rc == 0)
        rc = applyAccessMode(c, conn);
    if (rc == 0 && c->options.noAutoCommit)
        rc = jc_Connection_setAutoCommit(c, conn, 0);
    if (rc == 0 && !keepConnection(c, conn, md, ds, nullptr, nullptr))
        rc = ERR_MEMORY_ALLOCATION;
    if (rc != 0 && !c->connection) {
        if (conn)
            jc_CallVoidMethod(c->env, conn, nullptr, "close", "()V");
        jc_ClearException(c->env);
        if (ds)
            jc_CallVoidMethod(c->env, ds, nullptr, "close", "()V");
        jc_ClearException(c->env);
    }
    return rc;
}

// Opens the XAConnection of the XA data-source class; 0 or the factory's
// number, with whatever was opened closed again on failure.
int openXa(DrvConn *c)
{
    jobject conn = nullptr, xaConn = nullptr, xaRes = nullptr, md = nullptr;
    int rc = jc_DataSource_getXAConnection(c, &conn, c->xaClassName, c->dsProps, c->user,
                                           c->password, &xaConn, &xaRes);
    if (rc == 0)
        rc = jc_Connection_getMetaData(c, conn, &md);
    if (rc == 0)
        rc = applyAccessMode(c, conn);
    if (rc == 0 && !keepConnection(c, conn, md, nullptr, xaConn, xaRes))
        rc = ERR_MEMORY_ALLOCATION;
    if (rc != 0 && !c->xaConnection && xaConn) {
        jc_CallVoidMethod(c->env, xaConn, nullptr, "close", "()V");
        jc_ClearException(c->env);
    }
    return rc;
}

// The checks every XA operation starts with: the connection is known, the
// calling thread attached and the flags synchronous.  XA_OK or XAER_INVAL.
int xaEnter(DrvCall<DrvConn> &op, int flags)
{
    if (!op.get() || op.attach() != 0 || flags < 0)
        return XAER_INVAL;
    return XA_OK;
}

// Pushes the operation's local frame; XA_OK, or XAER_RMERR with a diagnostic.
int xaFrame(DrvCall<DrvConn> &op)
{
    if (op.pushFrame() == 0)
        return XA_OK;
    errPostMsg(&op.get()->errors, "Memory allocation failure", ERR_MEMORY_ALLOCATION);
    return XAER_RMERR;
}

// The frame of one branch operation on an XA connection; f(DrvConn *) runs
// the bridge call.
template <class F>
int branchOp(int handle, const XID *xid, int flags, F f)
{
    DrvCall<DrvConn> op(handle);
    if (int rc = xaEnter(op, flags))
        return rc;
    DrvConn *c = op.get();
    if (!xid || !c->xaResource)
        return XAER_INVAL;
    if (int rc = xaFrame(op))
        return rc;
    return f(c);
}

void dropRecovery(DrvConn *c)
{
    free(c->recoverList);
    c->recoverList = nullptr;
    c->recoverCount = 0;
    c->recoverPos = 0;
}
} // namespace

int DRV_XaOpen(int handle, int, const char *, int, int flags)
{
    DrvCall<DrvConn> op(handle);
    if (int rc = xaEnter(op, flags))
        return rc;
    DrvConn *c = op.get();
    if (!c->xaClassName || !c->xaClassName[0] || c->xaConnection)
        return XAER_INVAL;
    if (int rc = xaFrame(op))
        return rc;
    closeConnRefs(c);
    if (openXa(c) != 0) {
        // The plain connection comes back, so that a refused open changes nothing.
        reopenPlain(c);
        return XAER_INVAL;
    }
    XAT_SetXaActive(c->xaMode, 1);
    dropRecovery(c);
    c->xaBranchActive = 0;
    return XA_OK;
}

int DRV_XaClose(int handle, const char *, int, int flags)
{
    DrvCall<DrvConn> op(handle);
    if (int rc = xaEnter(op, flags))
        return rc;
    DrvConn *c = op.get();
    if (!c->xaConnection)
        return XA_OK;
    if (c->xaBranchActive)
        return XAER_PROTO;
    if (int rc = xaFrame(op))
        return rc;
    closeConnRefs(c);
    XAT_SetXaActive(c->xaMode, 0);
    return reopenPlain(c) == 0 ? XA_OK : XAER_INVAL;
}

int DRV_XaStart(int handle, XID *xid, int, int flags)
{
    return branchOp(handle, xid, flags, [&](DrvConn *c) {
        // A new branch must not be one the resource holds prepared already:
        // started again it could be neither committed nor rolled back here.
        if (!(flags & (XA_TMJOIN | XA_TMRESUME))) {
            int prepared = jc_XAResource_isPrepared(c, xid);
            if (prepared != 0)
                return prepared == 1 ? XAER_DUPID : prepared;
        }
        int rc = jc_XAResource_start(c, xid, flags);
        if (rc == XA_OK) {
            c->xaBranch = *xid;
            c->xaBranchActive = 1;
        }
        return rc;
    });
}

int DRV_XaEnd(int handle, XID *xid, int, int flags)
{
    return branchOp(handle, xid, flags, [&](DrvConn *c) {
        int rc = jc_XAResource_end(c, xid, flags);
        if (rc == XA_OK)
            c->xaBranchActive = 0;
        return rc;
    });
}

int DRV_XaPrepare(int handle, XID *xid, int, int flags)
{
    return branchOp(handle, xid, flags, [&](DrvConn *c) { return jc_XAResource_prepare(c, xid); });
}

int DRV_XaCommit(int handle, XID *xid, int, int flags)
{
    return branchOp(handle, xid, flags, [&](DrvConn *c) {
        return jc_XAResource_commit(c, xid, (flags & XA_TMONEPHASE) ? 1 : 0);
    });
}

int DRV_XaRollback(int handle, XID *xid, int, int flags)
{
    return branchOp(handle, xid, flags, [&](DrvConn *c) {
        int rc = jc_XAResource_rollback(c, xid);
        // The active branch itself may be rolled back without an end.
        if (rc == XA_OK && c->xaBranchActive && XA_SameXid(c->xaBranch, *xid))
            c->xaBranchActive = 0;
        return rc;
    });
}

int DRV_XaForget(int handle, XID *xid, int, int flags)
{
    return branchOp(handle, xid, flags, [&](DrvConn *c) { return jc_XAResource_forget(c, xid); });
}

int DRV_XaRecover(int handle, XID *xids, int count, int, int flags)
{
    DrvCall<DrvConn> op(handle);
    if (!op.get() || count < 0 || (!xids && count > 0))
        return XAER_INVAL;
    if (int rc = xaEnter(op, flags))
        return rc;
    DrvConn *c = op.get();
    if (!c->xaResource)
        return XAER_INVAL;
    if (flags & XA_TMSTARTRSCAN) {
        dropRecovery(c);
        if (int rc = xaFrame(op))
            return rc;
        int rc = jc_XAResource_recover(c, flags);
        op.popFrame();
        if (rc != XA_OK)
            return rc < 0 ? rc : XAER_RMERR;
        if (!c->recoverList) {
            // An open scan with nothing in doubt.
            c->recoverList = static_cast<XID *>(calloc(1, sizeof(XID)));
            if (!c->recoverList) {
                errPostMsg(&c->errors, "Memory allocation failure", ERR_MEMORY_ALLOCATION);
                return XAER_RMERR;
            }
        }
    }
    if (!c->recoverList)
        return XAER_INVAL;
    int handed = 0;
    while (handed < count && c->recoverPos < c->recoverCount)
        xids[handed++] = c->recoverList[c->recoverPos++];
    if (flags & XA_TMENDRSCAN)
        dropRecovery(c);
    return handed;
}

int DRV_XaComplete(int, int *, int *, int, int)
{
    return XAER_INVAL;
}

namespace {
XaWorkerMode **connModeSlot(int handle)
{
    DrvConn *c = drvConnOf(handle);
    return c ? &c->xaMode : nullptr;
}

bool stmtMode(int handle, XaWorkerMode **mode)
{
    DrvStmt *s = drvStmtOf(handle);
    *mode = s && s->conn ? s->conn->xaMode : nullptr;
    return s != nullptr;
}

void threadEnd() { jvmDetachThread(nullptr); }

const DrvXaSupport kXaSupport = {connModeSlot, stmtMode, threadEnd};
} // namespace

const DrvXaSupport *DRV_JdbcXaSupport() { return &kXaSupport; }

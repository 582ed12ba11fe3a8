// The XA switch: its record, its ten entries, SQLGetXaEnv and
// SQLGetXaConnect.  Each entry writes its call and its result on the XA
// trace, finds the calling thread's context and calls the matching XA
// operation of the connection's operation table, and so the worker proxies.
#include "xa/xa_switch.h"

#include <sqlext.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "odbc/contract/drv_ops.h"
#include "odbc/contract/handle_table.h"
#include "odbc/handles.h"
#include "odbc/trace.h"
#include "xa/xa_rm.h"
#include "xa/xat.h"

namespace {
constexpr size_t kInfoMax = sizeof XaThreadContext::xaInfo;

// Identifiers a recovery call converts at a time.
constexpr int kRecoverChunk = 64;

std::atomic<bool> setupRan{false};

struct ResultName {
    int value;
    const char *name;
};

constexpr ResultName kResultNames[] = {
    {XAER_OUTSIDE, "XAER_OUTSIDE"}, {XAER_DUPID, "XAER_DUPID"},
    {XAER_RMFAIL, "XAER_RMFAIL"},   {XAER_PROTO, "XAER_PROTO"},
    {XAER_INVAL, "XAER_INVAL"},     {XAER_NOTA, "XAER_NOTA"},
    {XAER_RMERR, "XAER_RMERR"},     {XAER_ASYNC, "XAER_ASYNC"},
    {XA_OK, "XA_OK"},               {XA_RDONLY, "XA_RDONLY"},
    {XA_RETRY, "XA_RETRY"},         {XA_HEURMIX, "XA_HEURMIX"},
    {XA_HEURRB, "XA_HEURRB"},       {XA_HEURCOM, "XA_HEURCOM"},
    {XA_HEURHAZ, "XA_HEURHAZ"},     {XA_NOMIGRATE, "XA_NOMIGRATE"},
    {XA_RBROLLBACK, "XA_RBROLLBACK"}, {XA_RBCOMMFAIL, "XA_RBCOMMFAIL"},
    {XA_RBDEADLOCK, "XA_RBDEADLOCK"}, {XA_RBINTEGRITY, "XA_RBINTEGRITY"},
    {XA_RBPROTO, "XA_RBPROTO"},     {XA_RBTIMEOUT, "XA_RBTIMEOUT"},
    {XA_RBTRANSIENT, "XA_RBTRANSIENT"},
};

// Writes the result line of an entry and answers the result.
int traced(int result)
{
    TR_XaPrintf(1, "Call returned: %s(%d)", XA_ResultName(result), result);
    return result;
}

// The connection of the calling thread's context for rmid (and, when
// given, that xa_info text); null when there is none.
Conn *contextConn(int rmid, const char *xaInfo, XaThreadContext **out = nullptr)
{
    XaThreadContext *ctx = XA_ContextFind(rmid, xaInfo);
    if (out)
        *out = ctx;
    return ctx ? XA_RmConn(ctx->rm) : nullptr;
}

int backendConn(const Conn *conn) { return static_cast<int>(conn->drvConn); }

// True when the identifier can name a branch to start: not the null
// identifier (format -1) and with a global transaction identifier.
bool namesBranch(const XID &xid) { return xid.formatID != -1 && xid.gtrid_length > 0; }

using BranchOp = int (*)(int, XID *, int, int);

// One branch operation of the binding's table (the member `op` names it);
// XAER_RMERR when the binding offers none.
int callBranch(const DrvBinding *binding, BranchOp DrvOpTable::*op, int conn, XID *xid, int rmid,
               int flags)
{
    if (!binding || !binding->ops || !(binding->ops->*op))
        return XAER_RMERR;
    return (binding->ops->*op)(conn, xid, rmid, flags);
}

// The branch entries: (xid, rmid, flags) on the operation `op` of the
// context's connection.  XAER_RMERR without a context, XAER_INVAL for an
// identifier or flags the driver cannot carry (and for xa_start, an
// identifier that names no branch).
int branchEntry(const char *name, BranchOp DrvOpTable::*op, xid_t *xid, int rmid, long flags)
{
    TR_XaPrintf(1, "%s(%p, %d, %lX)", name, static_cast<void *>(xid), rmid, flags);
    Conn *conn = contextConn(rmid, nullptr);
    if (!conn)
        return traced(XAER_RMERR);
    XID branch;
    int32_t f = 0;
    if (!xid || !XA_XidIn(xid, &branch) || !XA_FlagsIn(flags, &f) ||
        (op == &DrvOpTable::XaStart && !namesBranch(branch)))
        return traced(XAER_INVAL);
    return traced(callBranch(&conn->binding, op, backendConn(conn), &branch, rmid, f));
}

// Opens the resource manager of a parsed xa_info text.  XA_OK, the back
// end's answer, or XAER_RMERR.
int openRm(char *xaInfo, const char *dsn, int rmid, int32_t flags)
{
    if (XaThreadContext *ctx = XA_ContextGet()) {
        // One resource manager per thread: the same open again has no
        // effect; another is refused and the open one stays.
        return ctx->rmid == rmid && strcmp(ctx->xaInfo, xaInfo) == 0 ? XA_OK : XAER_RMERR;
    }
    auto *rm = static_cast<XaRmConnection *>(calloc(1, sizeof(XaRmConnection)));
    if (!rm)
        return XAER_RMERR;
    char openText[kInfoMax];
    int rc = XAER_RMERR;
    if (XA_EnvAcquire(rm) && XA_RmConnect(rm, xaInfo) && XA_GetDsnXaInfo(dsn, openText, sizeof openText)) {
        Conn *conn = XA_RmConn(rm);
        rc = conn->binding.ops->XaOpen(backendConn(conn), 1, openText, rmid, flags);
        if (rc == XA_OK && !XA_ContextCreate(rmid, xaInfo, rm))
            rc = XAER_RMERR;
    }
    if (rc != XA_OK)
        XA_RmRelease(rm);
    return rc;
}

// The data source name of an open or close text, after the entry's call
// line; false after the lines of a text without one.
bool entryDsn(const char *entry, const char *xaInfo, int rmid, long flags, char *dsn)
{
    if (XA_ParseDsn(xaInfo, dsn)) {
        TR_XaPrintf(1, "%s(%s, %d, %lX)", entry, dsn, rmid, flags);
        return true;
    }
    TR_XaPrintf(1, "%s(***, %d, %lX)", entry, rmid, flags);
    TR_XaPrintf(1, "%s: invalid xaInfo string format", entry);
    return false;
}

int xa_switch_open(char *xaInfo, int rmid, long flags)
{
    char dsn[kInfoMax];
    if (xaInfo && strlen(xaInfo) >= kInfoMax) {
        TR_XaPrintf(1, "xa_switch_open(***, %d, %lX)", rmid, flags);
        TR_XaPrintf(1, "xa_switch_open: xaInfo string too long");
        return traced(XAER_INVAL);
    }
    if (!entryDsn("xa_switch_open", xaInfo, rmid, flags, dsn))
        return traced(XAER_RMERR);
    int32_t f = 0;
    if (!XA_FlagsIn(flags, &f))
        return traced(XAER_INVAL);
    return traced(openRm(xaInfo, dsn, rmid, f));
}

int xa_switch_close(char *xaInfo, int rmid, long flags)
{
    char dsn[kInfoMax];
    if (!entryDsn("xa_switch_close", xaInfo, rmid, flags, dsn))
        return traced(XAER_RMERR);
    XaThreadContext *ctx = nullptr;
    Conn *conn = contextConn(rmid, xaInfo, &ctx);
    if (!conn)
        return traced(XAER_RMERR);
    int32_t f = 0;
    if (!XA_FlagsIn(flags, &f))
        return traced(XAER_INVAL);
    int rc = conn->binding.ops->XaClose(backendConn(conn), xaInfo, rmid, f);
    // A branch still active keeps the resource manager open and usable.
    if (rc == XAER_PROTO)
        return traced(rc);
    XaRmConnection *rm = ctx->rm;
    XA_ContextRelease(ctx);
    XA_RmRelease(rm);
    return traced(rc);
}

int xa_switch_start(xid_t *xid, int rmid, long flags)
{
    return branchEntry("xa_switch_start", &DrvOpTable::XaStart, xid, rmid, flags);
}

int xa_switch_end(xid_t *xid, int rmid, long flags)
{
    return branchEntry("xa_switch_end", &DrvOpTable::XaEnd, xid, rmid, flags);
}

int xa_switch_rollback(xid_t *xid, int rmid, long flags)
{
    return branchEntry("xa_switch_rollback", &DrvOpTable::XaRollback, xid, rmid, flags);
}

int xa_switch_prepare(xid_t *xid, int rmid, long flags)
{
    return branchEntry("xa_switch_prepare", &DrvOpTable::XaPrepare, xid, rmid, flags);
}

int xa_switch_commit(xid_t *xid, int rmid, long flags)
{
    return branchEntry("xa_switch_commit", &DrvOpTable::XaCommit, xid, rmid, flags);
}

int xa_switch_forget(xid_t *xid, int rmid, long flags)
{
    return branchEntry("xa_switch_forget", &DrvOpTable::XaForget, xid, rmid, flags);
}

// Hands out up to count identifiers in the monitor's layout, converting a
// chunk at a time; TMENDRSCAN ends the scan after the last chunk.
int recoverInto(Conn *conn, xid_t *xids, long count, int rmid, int32_t flags)
{
    const DrvOpTable *ops = conn->binding.ops;
    XID chunk[kRecoverChunk];
    if (count <= kRecoverChunk) {
        int n = ops->XaRecover(backendConn(conn), count ? chunk : nullptr, static_cast<int>(count),
                               rmid, flags);
        for (int i = 0; i < n; ++i)
            XA_XidOut(chunk[i], &xids[i]);
        return n;
    }
    int32_t pass = flags & ~XA_TMENDRSCAN;
    long total = 0;
    while (total < count) {
        int want = static_cast<int>(count - total < kRecoverChunk ? count - total : kRecoverChunk);
        int n = ops->XaRecover(backendConn(conn), chunk, want, rmid, pass);
        if (n < 0)
            return n;
        for (int i = 0; i < n; ++i)
            XA_XidOut(chunk[i], &xids[total + i]);
        total += n;
        pass &= ~XA_TMSTARTRSCAN;
        if (n < want)
            break;
    }
    if (flags & XA_TMENDRSCAN) {
        int rc = ops->XaRecover(backendConn(conn), nullptr, 0, rmid, pass | XA_TMENDRSCAN);
        if (rc < 0)
            return rc;
    }
    return static_cast<int>(total);
}

int xa_switch_recover(xid_t *xids, long count, int rmid, long flags)
{
    TR_XaPrintf(1, "xa_switch_recover(%p, %ld, %d, %lX)", static_cast<void *>(xids), count, rmid,
                flags);
    Conn *conn = contextConn(rmid, nullptr);
    if (!conn)
        return traced(XAER_RMERR);
    int32_t f = 0;
    if (count < 0 || count > INT_MAX || (!xids && count > 0) || !XA_FlagsIn(flags, &f))
        return traced(XAER_INVAL);
    return traced(recoverInto(conn, xids, count, rmid, f));
}

int xa_switch_complete(int *handle, int *retval, int rmid, long flags)
{
    int h = handle ? *handle : 0;
    TR_XaPrintf(1, "xa_switch_complete(%d,, %d, %lX)", h, rmid, flags);
    Conn *conn = contextConn(rmid, nullptr);
    if (!conn)
        return traced(XAER_RMERR);
    int32_t f = 0;
    if (!XA_FlagsIn(flags, &f))
        return traced(XAER_INVAL);
    int result = 0;
    int rc = conn->binding.ops->XaComplete(backendConn(conn), &h, &result, rmid, f);
    if (retval)
        *retval = result;
    return traced(rc);
}

xa_switch_t krsSwitch = {
    "KESTRUNE",         0,
    0,                  xa_switch_open,
    xa_switch_close,    xa_switch_start,
    xa_switch_end,      xa_switch_rollback,
    xa_switch_prepare,  xa_switch_commit,
    xa_switch_recover,  xa_switch_forget,
    xa_switch_complete,
};

// SQLGetXaEnv and SQLGetXaConnect: the handle `pick` takes from the
// calling thread's context.
template <class H, class Pick>
SQLRETURN xaHandle(const char *name, H *out, Pick pick)
{
    TR_XaPrintf(1, "%s(%p)", name, static_cast<void *>(out));
    if (!out)
        return SQL_ERROR;
    *out = nullptr;
    XaThreadContext *ctx = XA_ContextGet();
    if (!ctx || !XA_RmConn(ctx->rm))
        return static_cast<SQLRETURN>(traced(SQL_ERROR));
    *out = pick(ctx);
    return static_cast<SQLRETURN>(traced(SQL_SUCCESS));
}
} // namespace

const char *XA_ResultName(int value)
{
    for (const ResultName &r : kResultNames)
        if (r.value == value)
            return r.name;
    return "Unknown";
}

bool XA_XidIn(const xid_t *in, XID *out)
{
    if (!XA_XidLengthsValid(in->gtrid_length, in->bqual_length) || in->formatID < INT32_MIN ||
        in->formatID > INT32_MAX)
        return false;
    out->formatID = static_cast<int32_t>(in->formatID);
    out->gtrid_length = static_cast<int32_t>(in->gtrid_length);
    out->bqual_length = static_cast<int32_t>(in->bqual_length);
    const size_t used = static_cast<size_t>(in->gtrid_length + in->bqual_length);
    memcpy(out->data, in->data, used);
    memset(out->data + used, 0, sizeof out->data - used);
    return true;
}

void XA_XidOut(const XID &in, xid_t *out)
{
    out->formatID = in.formatID;
    out->gtrid_length = in.gtrid_length;
    out->bqual_length = in.bqual_length;
    memcpy(out->data, in.data, sizeof out->data);
}

bool XA_FlagsIn(long flags, int32_t *out)
{
    if (flags < INT32_MIN || flags > static_cast<long>(UINT32_MAX))
        return false;
    *out = static_cast<int32_t>(static_cast<uint32_t>(flags));
    return true;
}

int XA_SwitchInit()
{
    return 1;
}

int16_t XA_SwitchSetup()
{
    if (!setupRan.load()) {
        if (!TR_Stream(TR_KIND_XA))
            TR_Open(TR_KIND_XA);
        XA_SwitchInit();
        setupRan.store(true);
    }
    return 0;
}

void XA_TraceEnd()
{
    if (!setupRan.exchange(false))
        return;
    if (TR_Stream(TR_KIND_XA)) {
        TR_XaPrintf(0, "** normal end **");
        TR_Close(TR_KIND_XA);
    }
    XAT_Cleanup();
}

extern "C" {

xa_switch_t *krs_xa_switch(void)
{
    XA_SwitchSetup();
    return &krsSwitch;
}

SQLRETURN SQLGetXaEnv(SQLHENV *out)
{
    return xaHandle("SQLGetXaEnv", out, [](XaThreadContext *) { return XA_EnvHandle(); });
}

SQLRETURN SQLGetXaConnect(SQLHDBC *out)
{
    return xaHandle("SQLGetXaConnect", out, [](XaThreadContext *ctx) { return ctx->rm->hdbc; });
}

} // extern "C"

int XA_CallOpen(const DrvBinding *binding, int conn, void *, int useWorker, const char *xaInfo,
                int rmid, int flags)
{
    if (!binding || !binding->ops || !binding->ops->XaOpen)
        return XAER_RMERR;
    return binding->ops->XaOpen(conn, useWorker, xaInfo ? xaInfo : "", rmid, flags);
}

int XA_CallClose(const DrvBinding *binding, int conn, void *, const char *xaInfo, int rmid,
                 int flags)
{
    if (!binding || !binding->ops || !binding->ops->XaClose)
        return XAER_RMERR;
    return binding->ops->XaClose(conn, xaInfo ? xaInfo : "", rmid, flags);
}

int XA_CallStart(const DrvBinding *b, int conn, void *, XID *xid, int rmid, int flags)
{
    return callBranch(b, &DrvOpTable::XaStart, conn, xid, rmid, flags);
}

int XA_CallEnd(const DrvBinding *b, int conn, void *, XID *xid, int rmid, int flags)
{
    return callBranch(b, &DrvOpTable::XaEnd, conn, xid, rmid, flags);
}

int XA_CallPrepare(const DrvBinding *b, int conn, void *, XID *xid, int rmid, int flags)
{
    return callBranch(b, &DrvOpTable::XaPrepare, conn, xid, rmid, flags);
}

int XA_CallCommit(const DrvBinding *b, int conn, void *, XID *xid, int rmid, int flags)
{
    return callBranch(b, &DrvOpTable::XaCommit, conn, xid, rmid, flags);
}

int XA_CallRollback(const DrvBinding *b, int conn, void *, XID *xid, int rmid, int flags)
{
    return callBranch(b, &DrvOpTable::XaRollback, conn, xid, rmid, flags);
}

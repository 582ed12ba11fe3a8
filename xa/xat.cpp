// The XA worker proxies: an overlay of the operation table whose proxies run
// an XA connection's operations on the connection's worker thread.
#include "xa/xat.h"

#include "odbc/contract/drv_items.h"
#include "odbc/contract/drv_ops.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/xid.h"
#include "xa/xat_worker.h"

#include <atomic>
#include <mutex>
#include <new>
#include <tuple>

namespace {
DrvOpTable XaProxyOpTable;    // the onward table with the proxies in their slots
DrvBinding XaOnwardBinding;   // the binding as it stood before the layer interposed
std::once_flag proxyTableBuilt;
std::atomic<const DrvXaSupport *> g_support{nullptr};

// The back end's slot of a connection's worker record; null for an unknown
// connection (or when no back end gave its support).
XaWorkerMode **connModeSlot(int handle)
{
    const DrvXaSupport *s = g_support.load();
    return s && s->ConnModeSlot ? s->ConnModeSlot(handle) : nullptr;
}

// One proxied call: the onward operation, its arguments and its result.
template <class... A>
struct XaCallRecord {
    using Op = int (*)(A...);
    Op op;
    std::tuple<A...> args;
    int result = 0;

    XaCallRecord(Op onward, A... a) : op(onward), args(a...) {}
    static int Run(void *self)
    {
        auto *r = static_cast<XaCallRecord *>(self);
        r->result = std::apply(r->op, r->args);
        return 0;
    }
};

// Runs the onward operation on the record's worker; false when the post was
// refused (the operation did not run).
template <class... A>
bool postCall(XaWorkerMode *mode, int (*op)(A...), int *result, A... args)
{
    XaCallRecord<A...> record(op, args...);
    if (!XAT_ModePost(mode, &XaCallRecord<A...>::Run, &record))
        return false;
    *result = record.result;
    return true;
}

// The worker record of a back-end connection or statement; *found false for
// a handle the back end does not know.
XaWorkerMode *modeOfConn(int handle, bool *found)
{
    XaWorkerMode **slot = connModeSlot(handle);
    *found = slot != nullptr;
    return slot ? *slot : nullptr;
}

XaWorkerMode *modeOfStmt(int handle, bool *found)
{
    const DrvXaSupport *s = g_support.load();
    XaWorkerMode *mode = nullptr;
    *found = s && s->StmtMode && s->StmtMode(handle, &mode);
    return mode;
}

// The operations whose first argument is a connection handle rather than a
// statement handle.
template <auto Op>
constexpr bool kTakesConn = false;
template <>
constexpr bool kTakesConn<&DrvOpTable::AllocStmt> = true;

// Statement proxies of the operation `Op` (AllocStmt takes a connection
// handle): the worker runs the operation while the connection's XA
// connection is open, the calling thread otherwise.  ERR_INVALID_ARGUMENT
// for an unknown handle, ERR_WORKER_ASSIGNMENT (IM933) for a refused post.
template <auto Op>
struct StmtProxy;

template <class... A, int (*DrvOpTable::*Op)(int, A...)>
struct StmtProxy<Op> {
    static int Call(int handle, A... rest)
    {
        bool found = false;
        XaWorkerMode *mode = kTakesConn<Op> ? modeOfConn(handle, &found) : modeOfStmt(handle, &found);
        if (!found)
            return ERR_INVALID_ARGUMENT;
        auto op = XaOnwardBinding.ops->*Op;
        if (!mode || !mode->xaActive.load() || !mode->useWorker)
            return op(handle, rest...);
        int result = 0;
        return postCall(mode, op, &result, handle, rest...) ? result : ERR_WORKER_ASSIGNMENT;
    }
};

// The onward XA operation `Op` on the record's worker (or on the calling
// thread for a record without one); XAER_RMERR for a refused post.
template <auto Op, class... A>
int runXa(XaWorkerMode *mode, int handle, A... rest)
{
    auto op = XaOnwardBinding.ops->*Op;
    if (!mode->useWorker)
        return op(handle, rest...);
    int result = 0;
    return postCall(mode, op, &result, handle, rest...) ? result : XAER_RMERR;
}

// XA proxies of every XA operation but DRV_XaOpen: XAER_INVAL for an
// unknown connection or one that never had an XA open.
template <auto Op>
struct XaProxy;

template <class... A, int (*DrvOpTable::*Op)(int, A...)>
struct XaProxy<Op> {
    static int Call(int handle, A... rest)
    {
        XaWorkerMode **slot = connModeSlot(handle);
        if (!slot || !*slot)
            return XAER_INVAL;
        return runXa<Op>(*slot, handle, rest...);
    }
};

// One item of the onward DRV_GetInfo as a flag; 0 when it fails.
int32_t askFlag(int handle, int item)
{
    if (!XaOnwardBinding.ops->GetInfo)
        return 0;
    int32_t value = 0;
    int16_t len = 0;
    if (XaOnwardBinding.ops->GetInfo(handle, item, &value, sizeof value, &len) != 0)
        return 0;
    return value != 0 ? 1 : 0;
}

void freeMode(XaWorkerMode *mode)
{
    XAT_ModeDestroy(mode);
    delete mode;
}

// DRV_XaOpen: makes (or replaces) the connection's worker record, then opens.
// XAER_INVAL for an unknown connection, XAER_RMERR when the record or its
// worker cannot be made.
int XAT_ProxyXaOpen(int handle, int useWorker, const char *xaInfo, int rmid, int flags)
{
    XaWorkerMode **slot = connModeSlot(handle);
    if (!slot)
        return XAER_INVAL;
    int32_t keep = 0;
    int32_t terminate = 0;
    const bool hadRecord = *slot != nullptr;
    if (XaWorkerMode *old = *slot) {
        keep = old->keep;
        terminate = old->worker ? old->worker->terminate : 0;
        // A record whose XA connection is open stays: the back end refuses the open.
        if (!old->keep && !old->xaActive.load()) {
            freeMode(old);
            *slot = nullptr;
        }
    }
    if (!*slot) {
        auto *mode = new (std::nothrow) XaWorkerMode();
        if (!mode)
            return XAER_RMERR;
        if (!XAT_ModeInit(mode, useWorker)) {
            freeMode(mode);
            return XAER_RMERR;
        }
        if (!hadRecord) {
            keep = askFlag(handle, DrvInt(DRV_CONN_XA_KEEP_WORKER));
            terminate = askFlag(handle, DrvInt(DRV_CONN_XA_END_WORKER));
        }
        mode->keep = keep;
        if (mode->worker)
            mode->worker->terminate = terminate;
        *slot = mode;
    }
    return runXa<&DrvOpTable::XaOpen>(*slot, handle, useWorker, xaInfo, rmid, flags);
}

// DRV_Disconnect: disconnects on the calling thread, then stops the worker.
int XAT_ProxyDisconnect(int handle)
{
    XaWorkerMode **slot = connModeSlot(handle);
    if (!slot)
        return ERR_INVALID_ARGUMENT;
    XaWorkerMode *mode = *slot;
    int rc = XaOnwardBinding.ops->Disconnect(handle);
    if (rc == 0 && mode)
        freeMode(mode);
    return rc;
}

// Puts the proxy into a slot that has an onward operation; an empty slot
// stays empty, so that callers still see that nothing serves it.
template <class Op>
void putProxy(DrvOpTable &t, Op DrvOpTable::*slot, Op proxy)
{
    if (t.*slot)
        t.*slot = proxy;
}

template <auto Op>
void putStmtProxy(DrvOpTable &t)
{
    putProxy(t, Op, &StmtProxy<Op>::Call);
}

template <auto Op>
void putXaProxy(DrvOpTable &t)
{
    putProxy(t, Op, &XaProxy<Op>::Call);
}

void XAT_BuildProxyOpTable(DrvBinding *binding)
{
    std::call_once(proxyTableBuilt, [binding] {
        XaOnwardBinding = *binding;
        DrvOpTable &t = XaProxyOpTable;
        t = *binding->ops;
        putProxy(t, &DrvOpTable::Disconnect, &XAT_ProxyDisconnect);
        putStmtProxy<&DrvOpTable::AllocStmt>(t);
        putStmtProxy<&DrvOpTable::FreeStmt>(t);
        putStmtProxy<&DrvOpTable::Prepare>(t);
        putStmtProxy<&DrvOpTable::Execute>(t);
        putStmtProxy<&DrvOpTable::Fetch>(t);
        putStmtProxy<&DrvOpTable::CloseCursor>(t);
        putStmtProxy<&DrvOpTable::MoreResults>(t);
        putStmtProxy<&DrvOpTable::ParamData>(t);
        putStmtProxy<&DrvOpTable::PutData>(t);
        putStmtProxy<&DrvOpTable::ExecDirect>(t);
        putStmtProxy<&DrvOpTable::ExecDirectEx>(t);
        putXaProxy<&DrvOpTable::XaClose>(t);
        putXaProxy<&DrvOpTable::XaCommit>(t);
        putXaProxy<&DrvOpTable::XaComplete>(t);
        putXaProxy<&DrvOpTable::XaEnd>(t);
        putXaProxy<&DrvOpTable::XaForget>(t);
        putProxy(t, &DrvOpTable::XaOpen, &XAT_ProxyXaOpen);
        putXaProxy<&DrvOpTable::XaPrepare>(t);
        putXaProxy<&DrvOpTable::XaRecover>(t);
        putXaProxy<&DrvOpTable::XaRollback>(t);
        putXaProxy<&DrvOpTable::XaStart>(t);
    });
}
} // namespace

int XAT_InstallProxyOps(DrvBinding *binding)
{
    if (!binding || binding->flags == 0 || !binding->ops)
        return ERR_NOT_CAPABLE;
    XAT_BuildProxyOpTable(binding);
    binding->ops = &XaProxyOpTable;
    return 0;
}

void XAT_Cleanup() {}

void XAT_SetBackendSupport(const DrvXaSupport *support) { g_support.store(support); }

void XAT_ThreadEnd()
{
    const DrvXaSupport *s = g_support.load();
    if (s && s->ThreadEnd)
        s->ThreadEnd();
}

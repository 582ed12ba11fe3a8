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

template <class Op>
Op onwardOp(int slot)
{
    return reinterpret_cast<Op>(const_cast<void *>(*DRV_Slot(XaOnwardBinding.ops, slot)));
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

// Statement proxies (slot 7 takes a connection handle): the worker runs the
// operation while the connection's XA connection is open, the calling
// thread otherwise.  ERR_INVALID_ARGUMENT for an unknown handle,
// ERR_WORKER_ASSIGNMENT (IM933) for a refused post.
template <int Slot, class Sig>
struct StmtProxy;

template <int Slot, class... A>
struct StmtProxy<Slot, int (*)(int, A...)> {
    static int Call(int handle, A... rest)
    {
        bool found = false;
        XaWorkerMode *mode = Slot == 7 ? modeOfConn(handle, &found) : modeOfStmt(handle, &found);
        if (!found)
            return ERR_INVALID_ARGUMENT;
        auto op = onwardOp<int (*)(int, A...)>(Slot);
        if (!mode || !mode->xaActive.load() || !mode->useWorker)
            return op(handle, rest...);
        int result = 0;
        return postCall(mode, op, &result, handle, rest...) ? result : ERR_WORKER_ASSIGNMENT;
    }
};

// The XA operation of the slot on the record's worker (or on the calling
// thread for a record without one); XAER_RMERR for a refused post.
template <int Slot, class... A>
int runXa(XaWorkerMode *mode, int handle, A... rest)
{
    auto op = onwardOp<int (*)(int, A...)>(Slot);
    if (!mode->useWorker)
        return op(handle, rest...);
    int result = 0;
    return postCall(mode, op, &result, handle, rest...) ? result : XAER_RMERR;
}

// XA proxies of slots 55 to 59 and 61 to 64: XAER_INVAL for an unknown
// connection or one that never had an XA open.
template <int Slot, class Sig>
struct XaProxy;

template <int Slot, class... A>
struct XaProxy<Slot, int (*)(int, A...)> {
    static int Call(int handle, A... rest)
    {
        XaWorkerMode **slot = connModeSlot(handle);
        if (!slot || !*slot)
            return XAER_INVAL;
        return runXa<Slot>(*slot, handle, rest...);
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

// Slot 60: makes (or replaces) the connection's worker record, then opens.
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
    return runXa<60>(*slot, handle, useWorker, xaInfo, rmid, flags);
}

// Slot 6: disconnects on the calling thread, then stops the worker.
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

// Operations of the slots the cursor library may fill that the JDBC back end
// leaves empty.
using ParamDataOp = int (*)(int, int64_t, int64_t, int64_t, int64_t);
using ExecDirectExOp = decltype(DrvOpTable::ExecDirectEx);

// Puts the proxy into a slot that has an onward operation; an empty slot
// stays empty, so that callers still see that nothing serves it.
template <class Op>
void putProxy(DrvOpTable &t, int slot, Op proxy)
{
    void **p = DRV_Slot(&t, slot);
    if (*p)
        *p = reinterpret_cast<void *>(proxy);
}

void XAT_BuildProxyOpTable(DrvBinding *binding)
{
    std::call_once(proxyTableBuilt, [binding] {
        XaOnwardBinding = *binding;
        DrvOpTable &t = XaProxyOpTable;
        t = *binding->ops;
        putProxy(t, 6, &XAT_ProxyDisconnect);
        putProxy(t, 7, &StmtProxy<7, decltype(DrvOpTable::AllocStmt)>::Call);
        putProxy(t, 8, &StmtProxy<8, decltype(DrvOpTable::FreeStmt)>::Call);
        putProxy(t, 11, &StmtProxy<11, decltype(DrvOpTable::Prepare)>::Call);
        putProxy(t, 13, &StmtProxy<13, decltype(DrvOpTable::Execute)>::Call);
        putProxy(t, 19, &StmtProxy<19, decltype(DrvOpTable::Fetch)>::Call);
        putProxy(t, 20, &StmtProxy<20, decltype(DrvOpTable::CloseCursor)>::Call);
        putProxy(t, 24, &StmtProxy<24, decltype(DrvOpTable::MoreResults)>::Call);
        putProxy(t, 38, &StmtProxy<38, ParamDataOp>::Call);
        putProxy(t, 39, &StmtProxy<39, decltype(DrvOpTable::Slot39)>::Call);
        putProxy(t, 43, &StmtProxy<43, decltype(DrvOpTable::ExecDirect)>::Call);
        putProxy(t, 54, &StmtProxy<54, ExecDirectExOp>::Call);
        putProxy(t, 55, &XaProxy<55, decltype(DrvOpTable::XaClose)>::Call);
        putProxy(t, 56, &XaProxy<56, decltype(DrvOpTable::XaCommit)>::Call);
        putProxy(t, 57, &XaProxy<57, decltype(DrvOpTable::XaComplete)>::Call);
        putProxy(t, 58, &XaProxy<58, decltype(DrvOpTable::XaEnd)>::Call);
        putProxy(t, 59, &XaProxy<59, decltype(DrvOpTable::XaForget)>::Call);
        putProxy(t, 60, &XAT_ProxyXaOpen);
        putProxy(t, 61, &XaProxy<61, decltype(DrvOpTable::XaPrepare)>::Call);
        putProxy(t, 62, &XaProxy<62, decltype(DrvOpTable::XaRecover)>::Call);
        putProxy(t, 63, &XaProxy<63, decltype(DrvOpTable::XaRollback)>::Call);
        putProxy(t, 64, &XaProxy<64, decltype(DrvOpTable::XaStart)>::Call);
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

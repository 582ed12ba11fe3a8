// The distributed-transaction layer as the handle layer and the back end see
// it: the XA worker proxies on the operation table, the MS DTC resource
// manager and the XA trace.
//
// Once a back-end connection has been opened for XA, its XA operations, and
// its statement operations while the XA connection is open, run on one
// worker thread of its own, whatever thread calls.  The MS DTC resource
// manager (xa/oletx.h) enlists connections in coordinator transactions when
// a coordinator library is named by KRS_DTC_LIBRARY.
#pragma once
#include "odbc/contract/xa_mode.h"

struct DrvBinding;

// Points the binding at the worker layer's proxy table (copied from the
// table the binding points at on the first call of the process).  0, or ERR_NOT_CAPABLE
// (S1C00) when the binding's flags are 0 (the binding is left as it is).
int XAT_InstallProxyOps(DrvBinding *binding);
// The layer's clean-up hook; it holds nothing to release.
void XAT_Cleanup();
// Uses the back end's support (the library's assembly sets it before the
// first install).
void XAT_SetBackendSupport(const DrvXaSupport *support);
// A worker thread ends: the back end lets go of what it attached to it.
void XAT_ThreadEnd();

// Once per process (later calls answer 0): 0, or -1 when no coordinator
// library can be loaded (KRS_DTC_LIBRARY unset, or its library or its
// DtcGetTransactionManager missing); a later call tries again.
int OleTx_Init();
// A new dispenser for an enlistment of the connection, with one reference
// for the caller (callLock is the connection's PL_CallLock, transaction the
// application's ITransaction); null when it cannot be made.
void *OleTx_CreateDispenser(void *transaction, int serverHandle, int drvConn,
                            DrvBinding *binding, void *generalLock, void *callLock,
                            const char *connectText);
// The enlistment ends (or is replaced) on a connection that stays: the
// branch connection is given back (an active branch ends as failed, the XA
// connection is closed), the dispenser forgets the connection, and the
// caller's reference is given up.  The references left, -1 for null.
int OleTx_ReleaseDispenser(void *dispenser);
// The connection closes: the caller's reference is given up, and a
// dispenser that the coordinator still holds lets go of the connection
// first (the disconnect that follows ends its branch).
int OleTx_CloseDispenser(void *dispenser);
// The process exits: the caller's reference is given up after the
// dispenser forgot the connection and the coordinator's objects, without
// calling the back end or the coordinator.
int OleTx_DropDispenser(void *dispenser);
// Registration with the coordinator, and the enlistment: 0, or -1.
int OleTx_RMConnect(void *dispenser);
int OleTx_RMEnlist(void *dispenser);
// At library unload: every dispenser is destroyed, the trace closed.  At
// process exit (`exiting`) the dispensers are only abandoned: nothing calls
// the back end (and so Java) or the coordinator, whose library may be gone.
void OleTx_Term(bool exiting);
// The coordinator link as the library's assembly hands it to the handle layer.
struct DtcLinkOps;
const DtcLinkOps *OleTx_Link();
// At library unload, when the XA switch was set up: "** normal end **" on
// the XA trace, which is then closed.
void XA_TraceEnd();

// The back end's XA branch operations (DRV_XaClose .. DRV_XaStart).  Each answers an
// X/Open code: XA_OK, XAER_INVAL (-5) for an unknown connection, a thread
// the VM refuses, asynchronous flags (TMASYNC) or a connection without an
// open XA connection, and what the XAResource bridge answers otherwise.
#pragma once
#include "odbc/contract/drv_ops.h"

struct XID;

// DRV_XaOpen: replaces the plain JDBC connection by an XAConnection of the XA
// data-source class.  XAER_INVAL when the connection is already an XA
// connection or has no XA class, or when the XAConnection cannot be opened
// (the plain connection is then opened again).
// The back-end records the XA worker layer reaches (worker record slots,
// the end of a worker thread).
struct DrvXaSupport;
const DrvXaSupport *DRV_JdbcXaSupport();

int DRV_XaOpen(int conn, int useWorker, const char *xaInfo, int rmid, int flags);
// DRV_XaClose: closes the XAConnection and opens a plain connection again; XA_OK
// at once for a plain connection, XAER_PROTO (nothing closed) while a branch
// is active (started and neither ended nor rolled back), XAER_INVAL when the
// reopening fails.
int DRV_XaClose(int conn, const char *xaInfo, int rmid, int flags);
// A new branch (neither TMJOIN nor TMRESUME) whose identifier the resource
// holds prepared is refused with XAER_DUPID.
int DRV_XaStart(int conn, XID *xid, int rmid, int flags);
int DRV_XaEnd(int conn, XID *xid, int rmid, int flags);
// The resource's vote (XA_OK, XA_RDONLY) or an error code.
int DRV_XaPrepare(int conn, XID *xid, int rmid, int flags);
// One phase when TMONEPHASE is set, else two.
int DRV_XaCommit(int conn, XID *xid, int rmid, int flags);
int DRV_XaRollback(int conn, XID *xid, int rmid, int flags);
int DRV_XaForget(int conn, XID *xid, int rmid, int flags);
// TMSTARTRSCAN opens a scan with the identifiers recover answers; each call
// hands out up to count of them from the scan's position; TMENDRSCAN ends
// the scan.  The number handed out, or XAER_INVAL (no scan open, a negative
// count, no array for a positive count), or XAER_RMERR (recover failed).
int DRV_XaRecover(int conn, XID *xids, int count, int rmid, int flags);
// DRV_XaComplete: asynchronous calls are not offered; always XAER_INVAL.
int DRV_XaComplete(int conn, int *handle, int *result, int rmid, int flags);

// Fills the XA slots.
constexpr void DRV_FillXaOps(DrvOpTable &t)
{
    t.XaClose = DRV_XaClose;
    t.XaCommit = DRV_XaCommit;
    t.XaComplete = DRV_XaComplete;
    t.XaEnd = DRV_XaEnd;
    t.XaForget = DRV_XaForget;
    t.XaOpen = DRV_XaOpen;
    t.XaPrepare = DRV_XaPrepare;
    t.XaRecover = DRV_XaRecover;
    t.XaRollback = DRV_XaRollback;
    t.XaStart = DRV_XaStart;
}

// The X/Open XA switch of the driver and its exports.
//
// A transaction monitor loads the library, calls krs_xa_switch() for the
// switch record and calls its entries.  The record and the identifiers use
// the layout of this platform's X/Open xa.h, whose `long` is 64 bits wide;
// inside the driver identifiers travel as XID (odbc/contract/xid.h), converted at the
// entries.  xa_open's xa_info text names the data source ("DSN=...") and is
// the connection string of the resource manager's connection.
#pragma once
#include <sql.h>

#include <cstdint>

#include "odbc/contract/xid.h"

// X/Open's identifier, as the monitor passes it.
struct xid_t {
    long formatID;      // -1: the null identifier (xa_start refuses it)
    long gtrid_length;  // 1..64 (xa_start refuses 0; other entries take 0..64)
    long bqual_length;  // 0..64
    char data[XA_XIDDATASIZE];
};

constexpr int XA_RMNAMESZ = 32;

// X/Open's switch record.
struct xa_switch_t {
    char name[XA_RMNAMESZ];
    long flags;
    long version;
    int (*xa_open_entry)(char *xaInfo, int rmid, long flags);
    int (*xa_close_entry)(char *xaInfo, int rmid, long flags);
    int (*xa_start_entry)(xid_t *xid, int rmid, long flags);
    int (*xa_end_entry)(xid_t *xid, int rmid, long flags);
    int (*xa_rollback_entry)(xid_t *xid, int rmid, long flags);
    int (*xa_prepare_entry)(xid_t *xid, int rmid, long flags);
    int (*xa_commit_entry)(xid_t *xid, int rmid, long flags);
    int (*xa_recover_entry)(xid_t *xids, long count, int rmid, long flags);
    int (*xa_forget_entry)(xid_t *xid, int rmid, long flags);
    int (*xa_complete_entry)(int *handle, int *retval, int rmid, long flags);
};

#define KRS_XA_EXPORT __attribute__((visibility("default")))

extern "C" {
// The switch record (named "KESTRUNE"); opens the XA trace on first use.
KRS_XA_EXPORT xa_switch_t *krs_xa_switch(void);
// The same record for the transaction coordinator: S_OK (0) with *out set;
// E_FAIL (0x80004005) when the coordinator link cannot be made and
// E_INVALIDARG (0x80070057) for a null out pointer, *out untouched.
KRS_XA_EXPORT int32_t GetXaSwitch(uint32_t flags, xa_switch_t **out);
// The calling thread's XA environment or connection handle (the thread's
// xa_open made them): SQL_SUCCESS, or SQL_ERROR with *out set to 0 when the
// thread has none (or out is null).
KRS_XA_EXPORT SQLRETURN SQLGetXaEnv(SQLHENV *out);
KRS_XA_EXPORT SQLRETURN SQLGetXaConnect(SQLHDBC *out);
}

// Once per process: opens the XA trace and fills the switch.  Always 0.
int16_t XA_SwitchSetup();
// The switch record is fixed; 1.
int XA_SwitchInit();

// Copies an identifier into the driver's layout; false (nothing copied) for
// a part length outside 0..64 or a format identifier beyond 32 bits.
bool XA_XidIn(const xid_t *in, XID *out);
// Copies the driver's identifier into the monitor's layout.
void XA_XidOut(const XID &in, xid_t *out);
// The 32-bit flags word of a monitor's flags; false when bits beyond the
// low 32 are set (no X/Open flag lives there).
bool XA_FlagsIn(long flags, int32_t *out);

// The data source name of an xa_info text: the text after the first DSN=
// keyword (at the start or after ';') up to ';' or the end, trailing blanks
// removed, into a 256-byte buffer.
// 1, or 0 when there is no "DSN=" or the name does not fit.
int XA_ParseDsn(const char *xaInfo, char *out256);
// The "XaInfo" value of the data source in odbc.ini (empty when missing),
// at most length - 1 characters; 1, or 0 when it does not fit.
int XA_GetDsnXaInfo(const char *dsn, char *out, int length);
// The name of an XA result for the trace ("XAER_NOTA" ...; "Unknown").
const char *XA_ResultName(int value);

// The back end's XA operations for one connection through its binding (and
// so the worker proxies), as the coordinator's resource manager calls them.
// The general lock is passed along and not used.  An operation the binding
// does not offer answers XAER_RMERR.
struct DrvBinding;
int XA_CallOpen(const DrvBinding *binding, int conn, void *generalLock, int useWorker,
                const char *xaInfo, int rmid, int flags);
int XA_CallClose(const DrvBinding *binding, int conn, void *generalLock, const char *xaInfo,
                 int rmid, int flags);
int XA_CallStart(const DrvBinding *binding, int conn, void *generalLock, XID *xid, int rmid,
                 int flags);
int XA_CallEnd(const DrvBinding *binding, int conn, void *generalLock, XID *xid, int rmid,
               int flags);
int XA_CallPrepare(const DrvBinding *binding, int conn, void *generalLock, XID *xid, int rmid,
                   int flags);
int XA_CallCommit(const DrvBinding *binding, int conn, void *generalLock, XID *xid, int rmid,
                  int flags);
int XA_CallRollback(const DrvBinding *binding, int conn, void *generalLock, XID *xid, int rmid,
                    int flags);

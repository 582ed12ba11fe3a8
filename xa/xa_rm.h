// The resource manager's ODBC connections and the monitor threads' XA
// contexts behind the XA switch.
#pragma once
#include <sql.h>

#include <cstdint>

struct Conn;

// One per xa_open: the ODBC connection of the resource manager, made through
// the driver's own entry points on the shared XA environment.
struct XaRmConnection {
    SQLHDBC hdbc;   // null when none
    bool envHeld;   // counted as a user of the shared environment
};

// The XA context of a monitor thread (at most one per thread).
struct XaThreadContext {
    int32_t rmid;
    char xaInfo[256];
    XaRmConnection *rm;
};

// Counts one user of the shared environment, making it (ODBC 3) when there
// is none; 1, or 0 when it cannot be made.
int XA_EnvAcquire(XaRmConnection *rm);
// The shared environment's handle; null when there is none.
SQLHENV XA_EnvHandle();
// Connects with xa_info as the connection string (no prompt); 1, or 0 when
// the connection cannot be made or does not offer XA ("Agent does not
// support XA" on the XA trace).
int XA_RmConnect(XaRmConnection *rm, const char *xaInfo);
// The driver's connection object of the record, looked up anew by its
// handle (an application may have freed it); null when none.
Conn *XA_RmConn(const XaRmConnection *rm);
// Disconnects and frees the connection, gives up the environment use and
// frees the record.  Null is allowed.
void XA_RmRelease(XaRmConnection *rm);

// Makes the calling thread's context; null when memory is short.
XaThreadContext *XA_ContextCreate(int32_t rmid, const char *xaInfo, XaRmConnection *rm);
// Drops the calling thread's context when it is this one, and frees it.
void XA_ContextRelease(XaThreadContext *ctx);
// The calling thread's context; null when none.
XaThreadContext *XA_ContextGet();
// The calling thread's context when it has this rmid and, when a text is
// given, exactly this xa_info text; null otherwise.
XaThreadContext *XA_ContextFind(int32_t rmid, const char *xaInfo);

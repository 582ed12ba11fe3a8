// Connecting: ConnOpen binds a connection to the back end and opens it; the
// implementations of SQLConnect, SQLDriverConnect and SQLDisconnect.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

struct Conn;
struct DrvConvTable;
struct DrvOpTable;

// Connects a configured connection (width 'W' for the wide entry points): the
// outcome is the state (CONN_CONNECTED) and the error number, 22 when not in
// state 1, 53 (08004) or the back end's number with its texts queued.
void ConnOpen(Conn *conn, int width);
// Makes ConnOpen bind to this table instead of the back end's (tests; NULL
// restores the back end).
void ConnUseBackendForTests(const DrvOpTable *ops);
// GetOpTable (slot 23) for the record's type; on failure the type becomes 0.
int ConnGetOpTable(Conn *conn, DrvConvTable *table);

// Implementations run by CallODBC.  width is 'A' or 'W'; in SQLDriverConnect
// the output buffer holds SQLWCHAR and its size counts characters for 'W'.
SQLRETURN CN_Connect(Conn *conn, SQLCHAR *dsn, SQLSMALLINT dsnLen, SQLCHAR *uid, SQLSMALLINT uidLen,
                     SQLCHAR *pwd, SQLSMALLINT pwdLen, int width);
SQLRETURN CN_DriverConnect(Conn *conn, SQLHWND window, SQLCHAR *in, SQLSMALLINT inLen,
                           SQLPOINTER out, SQLSMALLINT outSize, SQLSMALLINT *outLen,
                           SQLUSMALLINT completion, int width);
SQLRETURN CN_Disconnect(Conn *conn);

// Connecting: ConnOpen binds a connection to the back end and opens it; the
// implementations of SQLConnect, SQLDriverConnect and SQLDisconnect.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/contract/textout.h"

struct Conn;
struct DrvConvTable;
struct DrvOpTable;

// Connects a configured connection (width 'W' for the wide entry points): the
// outcome is the state (CONN_CONNECTED) and the error number, ERR_FUNCTION_SEQUENCE when not in
// state 1, ERR_CONNECTION_REJECTED (08004) or the back end's number with its texts queued.
void ConnOpen(Conn *conn, int width);
// Makes ConnOpen bind to this table instead of the back end's (tests; NULL
// restores the back end).
void ConnUseBackendForTests(const DrvOpTable *ops);
// GetOpTable for the record's type; on failure the type becomes 0.
int ConnGetOpTable(Conn *conn, DrvConvTable *table);

// The arguments of one connect, packed by CN_DriverConnect and CN_Connect.
struct DriverConnectArgs {
    Conn *conn;
    void *window;
    const char *in;        // connection string (ignored when direct)
    int16_t inLen;         // its length or SQL_NTS
    TextOut out;           // where the output string goes (none for SQLConnect)
    uint16_t completion;   // SQL_DRIVER_NOPROMPT ...
    int width;             // 'W' or 'A': the application's text (keywords, dialog)
    // SQLConnect: the three values stored directly, never parsed.
    int direct;
    const char *dsn;
    const char *uid;
    const char *pwd;
};

// Everything before the open: the back end's configuration (keywords, login
// dialog, the options block) and the connection's fields from its settings.
// SQL_SUCCESS with the output string in *out and the same with the password
// masked in *outShown (the caller frees both); SQL_NO_DATA when the dialog
// was not confirmed; SQL_ERROR (08002, S1090 for a bad input length or a
// negative output size, S1001, IM008 for SQL_DRIVER_PROMPT without a window)
// otherwise.  The back end's keyword
// table is empty again afterwards.
SQLRETURN ConnApplyConnectArgs(const DriverConnectArgs *args, char **out, char **outShown);
// Turns the arguments into an open connection: keywords, login dialog,
// options, ConnOpen, the output string.  SQL_SUCCESS, SQL_SUCCESS_WITH_INFO
// (01004: output cut), SQL_NO_DATA (dialog not confirmed) or SQL_ERROR
// (08002 already connected, IM008 prompt without a window; otherwise what
// ConnOpen left on the connection).
SQLRETURN ConnDriverConnect(const DriverConnectArgs *args);

// Implementations run by CallODBC.  width is 'A' or 'W'; in SQLDriverConnect
// the output buffer holds SQLWCHAR and its size counts characters for 'W'.
SQLRETURN CN_Connect(Conn *conn, SQLCHAR *dsn, SQLSMALLINT dsnLen, SQLCHAR *uid, SQLSMALLINT uidLen,
                     SQLCHAR *pwd, SQLSMALLINT pwdLen, int width);
SQLRETURN CN_DriverConnect(Conn *conn, SQLHWND window, SQLCHAR *in, SQLSMALLINT inLen,
                           SQLPOINTER out, SQLSMALLINT outSize, SQLSMALLINT *outLen,
                           SQLUSMALLINT completion, int width);
SQLRETURN CN_Disconnect(Conn *conn);

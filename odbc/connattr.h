// Connection attributes and options: SQLSetConnectOption/SQLGetConnectOption
// (ODBC 2) and SQLSetConnectAttr/SQLGetConnectAttr (ODBC 3), narrow and wide.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

struct Conn;

// Conn::pendingAttrs: attributes set before connecting that ConnOpen's
// caller applies once the back end is open, and the application's access mode.
enum : uint32_t {
    CA_AUTOCOMMIT = 0x1,
    CA_CATALOG = 0x2,
    CA_ACCESS_MODE = 0x4,  // SQL_ATTR_ACCESS_MODE set by the application (kept
    CA_READ_ONLY = 0x8,    // for every connect); CA_READ_ONLY holds its value
};

// Stores an ODBC 2 statement option (0..12) as the connection's default
// and applies it to every statement of the connection.  The worst result
// wins; a statement's failure is reported on the connection as well.
SQLRETURN ConnSetStmtOptionDefault(Conn *conn, SQLUSMALLINT option, SQLULEN value);

// Whether the connection is to open read-only: the SQL_ATTR_ACCESS_MODE the
// application set on the handle, else the data source's READONLY keyword.
bool ConnWantsReadOnly(const Conn *conn, bool keywordReadOnly);

// Applies what was set before connecting (autocommit off, the current
// catalog) to a connection that has just been opened; a refusal is queued on
// the connection and answered SQL_SUCCESS_WITH_INFO.
SQLRETURN ConnApplyPendingAttrs(Conn *conn);

// Frees the texts the attributes keep (translate library, pending catalog).
void ConnFreeAttrTexts(Conn *conn);

// Implementations run by CallODBC; width 'W' means texts are UTF-16 (lengths
// of SQLSetConnectAttrW/SQLGetConnectAttrW in bytes).  A text read is cut
// with 01004; a negative buffer length for one is HY090.
SQLRETURN CN_SetConnectOption(Conn *conn, SQLUSMALLINT option, SQLULEN value, int width);
SQLRETURN CN_GetConnectOption(Conn *conn, SQLUSMALLINT option, SQLPOINTER value, int width);
SQLRETURN CN_SetConnectAttr(Conn *conn, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len,
                            int width);
SQLRETURN CN_GetConnectAttr(Conn *conn, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufLen,
                            SQLINTEGER *outLen, int width);

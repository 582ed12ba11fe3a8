// SQLGetFunctions on a connection handle.
#pragma once
#include <sql.h>
#include <sqlext.h>

struct Conn;

// The ODBC 2 array (id 0), the ODBC 3 bitmap (id 999) or one flag; a null
// output writes nothing.  Always SQL_SUCCESS.
SQLRETURN CN_GetFunctions(Conn *conn, SQLUSMALLINT id, SQLUSMALLINT *exists);

// SQLGetInfo on a connection handle.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

struct Conn;

// 1 when the back end's conversion table lets values of the SQL type convert
// to a target of the SQL_CVT_* mask (looked up by the type's default C type
// for the environment's ODBC version, and under the ODBC 2 date-time codes
// when the table lacks the ODBC 3 ones); else 0.
int ConnConvertSupported(const Conn *conn, int16_t sqlType, uint32_t mask);

// Implementations run by CallODBC.  SQLGetInfo answers the data source name,
// the driver ODBC version, two constants and the SQL_CONVERT masks in any
// state; every other listed type needs a connection (08003) and comes from
// the back end once per connection.  HY096 for an unknown type; 01004 when a
// text was cut, HY090 for a text with a negative length.  width 'W' writes
// text as UTF-16 with lengths in bytes.
SQLRETURN CN_GetInfo(Conn *conn, SQLUSMALLINT type, SQLPOINTER buf, SQLSMALLINT bufLen,
                     SQLSMALLINT *outLen, int width);

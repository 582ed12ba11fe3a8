// Statement attributes and options: the one place where statement options
// are kept and negotiated with the back end (SQLSetStmtOption,
// SQLGetStmtOption), and the ODBC 3 attributes mapped onto options,
// descriptor header fields and statement fields.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

struct Stmt;

// Sets an ODBC 2 statement option.  The back end may change a value
// (01S02 with SQL_SUCCESS_WITH_INFO; the statement keeps the back end's
// value) or refuse it (S1092 for the cursor options, else its number).
SQLRETURN StmtSetOption(Stmt *stmt, SQLUSMALLINT option, SQLULEN value);

// The value of an option and the width ODBC 2 gives it (4 or 8 bytes).
// S1092 for an unknown or write-only option, 24000 for a bookmark or row
// number without a result, or what asking the back end answered.
SQLRETURN StmtOptionValue(Stmt *stmt, SQLUSMALLINT option, uint64_t *value, int *width);

// Sends a new statement's options that differ from a fresh back-end
// statement's (the connection's ODBC 2 defaults) to the back end, so that
// both agree; a value the back end changes is kept as it answers.
void StmtApplyConnDefaults(Stmt *stmt);

// Implementations run by CallODBC, each a lookup in the table of options or
// of attributes.  SQLGetStmtOption writes a value at its ODBC 2 width (4 or 8
// bytes), SQLGetStmtAttr at 8 (a bookmark and SQL_ATTR_ENABLE_AUTO_IPD at 4);
// a null buffer writes nothing.  SQLSetStmtAttr writes the attributes kept in
// descriptor headers through the descriptor, so every statement sharing it
// follows.  S1092/HY092 for an unknown or read-only id, HY024 for a bad value
// or descriptor, HY017 for another statement's implicit descriptor, 24000 for
// a bookmark or row number without a result.
SQLRETURN ST_SetStmtOption(Stmt *stmt, SQLUSMALLINT option, SQLULEN value);
SQLRETURN ST_GetStmtOption(Stmt *stmt, SQLUSMALLINT option, SQLPOINTER value);
SQLRETURN ST_SetStmtAttr(Stmt *stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len, int width);
SQLRETURN ST_GetStmtAttr(Stmt *stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufLen,
                         SQLINTEGER *outLen, int width);

// Statement objects: creation with their back-end statement and implicit
// descriptors, close and free.  (Bindings and descriptions arrive with the
// statement layer.)
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/env.h"

struct Conn;
struct Stmt;

// A new statement of a connected connection, or null with the error number
// on the connection (ERR_MEMORY_ALLOCATION out of memory, the back end's number).
Stmt *StmtAlloc(Conn *conn);
// Ends data at execution, resets the position and closes an open result.
Stmt *StmtClose(Stmt *stmt, CloseMode mode = CLOSE_NORMAL);
// Frees the current result block and the rowset cache, lets the statement
// layer release its part of the result and puts the current row back to 0.
// 0.
int StmtFreeResults(Stmt *stmt);
// Frees the statement with its implicit descriptors and back-end statement.
// Takes the global API lock while the handle goes away.  0.
int StmtFree(Stmt *stmt, CloseMode mode = CLOSE_NORMAL);
// Frees the cached result and parameter descriptions and the results.
void StmtFreeColDescs(Stmt *stmt);
void StmtPushError(Stmt *stmt, const char *text, int32_t native);
char *StmtPopError(Stmt *stmt, int32_t *native);
// The statement of a handle with its error number cleared, or null.
Stmt *StmtLookup(SQLHSTMT handle);

// Implementations run by CallODBC.
SQLRETURN ST_FreeHandle(Stmt *stmt);
SQLRETURN ST_FreeStmt(Stmt *stmt, SQLUSMALLINT option);

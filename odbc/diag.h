// The diagnostic readers SQLError and SQLGetDiagRec (narrow and wide) for
// every handle kind.
#pragma once
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

struct Envr;
struct Conn;
struct Stmt;
struct Desc;
struct ApiByHandle;

// Implementations run by CallODBC: SQLError takes the next record and removes
// it; SQLGetDiagRec reads record RecNumber and keeps it.
SQLRETURN EN_Error(Envr *env, SQLCHAR *state, SQLINTEGER *native, SQLCHAR *msg, SQLSMALLINT bufLen,
                   SQLSMALLINT *textLen);
SQLRETURN CN_Error(Conn *conn, SQLCHAR *state, SQLINTEGER *native, SQLCHAR *msg, SQLSMALLINT bufLen,
                   SQLSMALLINT *textLen);
SQLRETURN ST_Error(Stmt *stmt, SQLCHAR *state, SQLINTEGER *native, SQLCHAR *msg, SQLSMALLINT bufLen,
                   SQLSMALLINT *textLen);
SQLRETURN EN_GetDiagRec(Envr *env, SQLSMALLINT rec, SQLCHAR *state, SQLINTEGER *native,
                        SQLCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *textLen);
SQLRETURN CN_GetDiagRec(Conn *conn, SQLSMALLINT rec, SQLCHAR *state, SQLINTEGER *native,
                        SQLCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *textLen);
SQLRETURN ST_GetDiagRec(Stmt *stmt, SQLSMALLINT rec, SQLCHAR *state, SQLINTEGER *native,
                        SQLCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *textLen);
SQLRETURN DS_GetDiagRec(Desc *desc, SQLSMALLINT rec, SQLCHAR *state, SQLINTEGER *native,
                        SQLCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *textLen);

// The bodies of the exported diagnostic entry points, run with the
// descriptors of the function (odbc/api/ passes them).
SQLRETURN API_ErrorBy(const ApiByHandle &api, SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt,
                      SQLCHAR *state, SQLINTEGER *native, SQLCHAR *msg, SQLSMALLINT bufLen,
                      SQLSMALLINT *textLen);
SQLRETURN API_ErrorWBy(const ApiByHandle &api, SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt,
                       SQLWCHAR *state, SQLINTEGER *native, SQLWCHAR *msg, SQLSMALLINT bufLen,
                       SQLSMALLINT *textLen);
SQLRETURN API_GetDiagRecBy(const ApiByHandle &api, SQLSMALLINT type, SQLHANDLE handle,
                           SQLSMALLINT rec, SQLCHAR *state, SQLINTEGER *native, SQLCHAR *msg,
                           SQLSMALLINT bufLen, SQLSMALLINT *textLen);
SQLRETURN API_GetDiagRecWBy(const ApiByHandle &api, SQLSMALLINT type, SQLHANDLE handle,
                            SQLSMALLINT rec, SQLWCHAR *state, SQLINTEGER *native, SQLWCHAR *msg,
                            SQLSMALLINT bufLen, SQLSMALLINT *textLen);
SQLRETURN API_GetDiagFieldBy(const ApiByHandle &api, SQLSMALLINT type, SQLHANDLE handle,
                             SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER value, SQLSMALLINT bufLen,
                             SQLSMALLINT *outLen, bool wide);

// Marks that the calling thread's last call failed because the library did
// not start (or is being unloaded); the next diagnostic read on the thread
// reports the start-up message (HY000).
void DIAG_NoteStartupFailure();
// Marks that the calling thread's last call failed in the dispatcher before
// any handle could hold a record; the next diagnostic read reports `text`
// (HY000).  `text` must live as long as the process; null forgets it.
void DIAG_NoteDispatchFailure(const char *text);

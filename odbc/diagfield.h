// SQLGetDiagField (narrow and wide): the header fields of a handle's
// diagnostic area and the fields of one record.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstddef>

struct Envr;
struct Conn;
struct Stmt;
struct Desc;
struct ErrQueue;

// Records a handle reports: its queued texts, else one record for its error
// number, else none.
size_t DiagCount(const ErrQueue *q);

// One diagnostic field of the object of a handle type (SQL_HANDLE_ENV ..
// SQL_HANDLE_DESC): record 0 answers the header fields, records from 1 the
// fields of that record.  SQL_NO_DATA past the last record; SQL_ERROR for a
// field the handle kind does not have, an unknown header field, a negative
// record number, a negative length for a text field or a row count the back
// end cannot give; a cut text is SQL_SUCCESS_WITH_INFO.  Nothing here ever
// posts or changes a diagnostic.
SQLRETURN DiagGetField(int handleType, void *object, SQLSMALLINT rec, SQLSMALLINT id,
                       SQLPOINTER buf, SQLSMALLINT bufLen, SQLSMALLINT *outLen, int width);

// Implementations run by CallODBC; width is 'A' or 'W'.
SQLRETURN EN_GetDiagField(Envr *env, SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER buf,
                          SQLSMALLINT bufLen, SQLSMALLINT *outLen, int width);
SQLRETURN CN_GetDiagField(Conn *conn, SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER buf,
                          SQLSMALLINT bufLen, SQLSMALLINT *outLen, int width);
SQLRETURN ST_GetDiagField(Stmt *stmt, SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER buf,
                          SQLSMALLINT bufLen, SQLSMALLINT *outLen, int width);
SQLRETURN DS_GetDiagField(Desc *desc, SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER buf,
                          SQLSMALLINT bufLen, SQLSMALLINT *outLen, int width);

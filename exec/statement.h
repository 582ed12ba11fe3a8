// The statement entry points of the statement layer: the implementations
// CallODBC runs for prepare, execute, parameters, data at execution, fetch,
// SQLGetData, column binding and result description, and the routines the
// handle layer calls into (binding cores, prepare core, type-information text).
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

struct Conn;
struct Stmt;

// ---- implementations run by CallODBC (width: 'A' narrow, 'W' UTF-16 text) ----
SQLRETURN ST_Prepare(Stmt *s, SQLCHAR *sql, SQLINTEGER len);
SQLRETURN ST_ExecDirect(Stmt *s, SQLCHAR *sql, SQLINTEGER len);
SQLRETURN ST_Execute(Stmt *s);
SQLRETURN ST_CloseCursor(Stmt *s);
SQLRETURN ST_MoreResults(Stmt *s);
SQLRETURN ST_NumParams(Stmt *s, SQLSMALLINT *count);
SQLRETURN ST_NumResultCols(Stmt *s, SQLSMALLINT *count);
SQLRETURN ST_ParamOptions(Stmt *s, SQLULEN rows, SQLULEN *processed);
SQLRETURN ST_RowCount(Stmt *s, SQLLEN *count);
SQLRETURN ST_GetCursorName(Stmt *s, SQLPOINTER name, SQLSMALLINT bufLen, SQLSMALLINT *outLen, int width);
SQLRETURN ST_SetCursorName(Stmt *s, SQLCHAR *name, SQLSMALLINT len);
SQLRETURN CN_NativeSql(Conn *c, SQLCHAR *in, SQLINTEGER inLen, SQLPOINTER out, SQLINTEGER outMax,
                       SQLINTEGER *outLen, int width);

SQLRETURN ST_BindParameter(Stmt *s, SQLUSMALLINT n, SQLSMALLINT paramType, SQLSMALLINT cType,
                           SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT digits, SQLPOINTER data,
                           SQLLEN bufLen, SQLLEN *lenInd);
SQLRETURN ST_SetParam(Stmt *s, SQLUSMALLINT n, SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN columnSize,
                      SQLSMALLINT digits, SQLPOINTER data, SQLLEN *lenInd);
SQLRETURN ST_DescribeParam(Stmt *s, SQLUSMALLINT n, SQLSMALLINT *sqlType, SQLULEN *columnSize,
                           SQLSMALLINT *digits, SQLSMALLINT *nullable);
SQLRETURN ST_ParamData(Stmt *s, SQLPOINTER *token);
SQLRETURN ST_PutData(Stmt *s, SQLPOINTER data, SQLLEN len);

SQLRETURN ST_BindCol(Stmt *s, SQLUSMALLINT col, SQLSMALLINT cType, SQLPOINTER data, SQLLEN bufLen,
                     SQLLEN *lenInd);
SQLRETURN ST_Fetch(Stmt *s);
SQLRETURN ST_FetchScroll(Stmt *s, SQLSMALLINT orientation, SQLLEN offset);
SQLRETURN ST_ExtendedFetch(Stmt *s, SQLUSMALLINT orientation, SQLLEN offset, SQLULEN *rowsFetched,
                           SQLUSMALLINT *status);
SQLRETURN ST_SetPos(Stmt *s, SQLSETPOSIROW row, SQLUSMALLINT op, SQLUSMALLINT lock);
SQLRETURN ST_BulkOperations(Stmt *s, SQLSMALLINT op);
SQLRETURN ST_GetData(Stmt *s, SQLUSMALLINT col, SQLSMALLINT cType, SQLPOINTER data, SQLLEN bufLen,
                     SQLLEN *lenInd);

SQLRETURN ST_DescribeCol(Stmt *s, SQLUSMALLINT col, SQLPOINTER name, SQLSMALLINT bufLen, SQLSMALLINT *nameLen,
                         SQLSMALLINT *sqlType, SQLULEN *columnSize, SQLSMALLINT *digits, SQLSMALLINT *nullable,
                         int width);
SQLRETURN ST_ColAttribute(Stmt *s, SQLUSMALLINT col, SQLUSMALLINT field, SQLPOINTER text, SQLSMALLINT bufLen,
                          SQLSMALLINT *outLen, SQLLEN *num, int width);
SQLRETURN ST_ColAttributes(Stmt *s, SQLUSMALLINT col, SQLUSMALLINT item, SQLPOINTER text, SQLSMALLINT bufLen,
                           SQLSMALLINT *outLen, SQLLEN *num, int width);

// ---- cores the handle layer uses (through its links, odbc/layer_links.h) ----

struct StmtLayerOps;
// The statement layer's links as the library's assembly hands them to the
// handle layer.
const StmtLayerOps *ExecLayerOps();

// Prepares the text (NUL-terminated) at the back end and classes its
// parameters.  SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (01S02) or SQL_ERROR.
SQLRETURN StmtPrepare(Stmt *s, const char *sql);
// Binds a column (a null buffer unbinds it) and writes its ARD record.  0 or the error
// number, which is also left on the statement: ERR_INVALID_LENGTH (S1090), ERR_NOT_CAPABLE
// (S1C00), ERR_RESTRICTED_DATA_TYPE (07006, column 0 bound as neither SQL_C_VARBOOKMARK nor
// SQL_C_UBIGINT), ERR_MEMORY_ALLOCATION (S1001).
int StmtBindCol(Stmt *s, uint16_t col, int16_t cType, void *data, int64_t bufLen, SQLLEN *lenInd);
// Binds a parameter and writes its APD and IPD records.  SQL_SUCCESS, or
// SQL_ERROR with ERR_INVALID_ARGUMENT (S1009), ERR_INVALID_SCALE (S1094),
// ERR_RESTRICTED_DATA_TYPE (07006), ERR_INVALID_PARAMETER_NUMBER (S1093) or
// ERR_MEMORY_ALLOCATION.
SQLRETURN StmtBindParam(Stmt *s, uint16_t n, int16_t paramType, int16_t cType, int16_t sqlType,
                        uint64_t columnSize, int16_t digits, void *data, int64_t bufLen, SQLLEN *octetLengthPtr,
                        SQLLEN *indicatorPtr);
// One row of the ODBC 2 column-attribute core (the width decides how text
// is written).
SQLRETURN StmtColAttributes(Stmt *s, uint16_t col, uint16_t item, void *text, int16_t bufLen, int16_t *outLen,
                            SQLLEN *num, int width);
// Column 1, 4 or 5 of the type-information row of an SQL type as text into
// buf (bufSize bytes); *len gets its length, -1 for NULL.  SQL_ERROR with ERR_CONNECTION_NOT_OPEN
// (08003) on the connection when it is not connected.
SQLRETURN ConnGetTypeInfoColumn(Conn *c, int column, int16_t sqlType, char *buf, int64_t bufSize, int64_t *len);

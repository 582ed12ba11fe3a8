// The statement side of descriptors: what descriptor fields read from and
// write into a statement (its column and parameter bindings, counts,
// result and parameter descriptions, attributes), gathered in one place so
// the field routines reach the statement layer through one seam.  Routines
// answering an error number leave it on nobody: the caller reports it.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

struct ColDesc;
struct Stmt;

// A column binding (row) or parameter binding as descriptor fields see it.
struct DescBinding {
    int16_t cType;
    int64_t bufferLength;
    int64_t octetSize;           // parameters: octet size of one value
    void *data;
    SQLLEN *octetLengthPtr;
    SQLLEN *indicatorPtr;
    int16_t paramType;           // parameters
};

// The binding of column n (row) or parameter n; false when there is none.
bool DescStmtFindBinding(Stmt *s, bool row, uint16_t n, DescBinding *out);
// Takes the data pointer away from column n's (row) or parameter n's binding.
void DescStmtUnbindData(Stmt *s, bool row, uint16_t n);
// Sets the octet-length or indicator pointer of a binding (when bound).
enum DescBindPtr { DBP_OCTET_LENGTH, DBP_INDICATOR };
void DescStmtSetBindingPtr(Stmt *s, bool row, uint16_t n, DescBindPtr which, SQLLEN *p);
// Parameter binding details an IPD field carries over (when bound): false
// when parameter n is not bound.
enum DescParamItem { DPI_SQL_TYPE, DPI_COLUMN_SIZE, DPI_DIGITS, DPI_PARAM_TYPE };
bool DescStmtSetParamItem(Stmt *s, uint16_t n, DescParamItem item, int64_t v);
int16_t DescStmtParamSqlType(Stmt *s, uint16_t n);
// Drops every column binding / every parameter binding of the statement,
// leaving its descriptors as they are.
void DescStmtUnbindAllCols(Stmt *s);
void DescStmtUnbindAllParams(Stmt *s);
// Drops the column bindings above column n / parameter bindings above n.
void DescStmtUnbindColsAbove(Stmt *s, uint16_t n);
void DescStmtUnbindParamsAbove(Stmt *s, uint16_t n);

// Binds a column or parameter (the statement layer's StmtBindCol and
// StmtBindParam, which also write the current ARD, APD and IPD records).
// 0 or an error number.
int DescStmtBindCol(Stmt *s, uint16_t n, int16_t cType, void *data, int64_t bufLen, SQLLEN *ind);
int DescStmtBindParam(Stmt *s, uint16_t n, int16_t paramType, int16_t cType, int16_t sqlType,
                      uint64_t columnSize, int16_t digits, void *data, int64_t bufLen,
                      SQLLEN *octetLengthPtr, SQLLEN *ind);

// Rowset size through the SQL_ROWSET_SIZE option: an ODBC return code, the
// error or warning number in *err.
SQLRETURN DescStmtSetRowsetSize(Stmt *s, uint64_t size, int *err);
// Paramset size and params-processed pointer.  0 or an error number.
int DescStmtSetParamset(Stmt *s, uint64_t size, SQLULEN *processed);
SQLULEN *DescStmtRowsFetchedPtr(Stmt *s);
void DescStmtSetRowsFetchedPtr(Stmt *s, SQLULEN *p);
SQLULEN *DescStmtParamsProcessedPtr(Stmt *s);

// Result columns the application sees.  0 or an error number (ERR_FUNCTION_SEQUENCE before
// the statement is prepared or executed).
int DescStmtNumResultCols(Stmt *s, uint16_t *count);
// Description of result column n (0 the bookmark column), or null with an
// error number in *err.
const ColDesc *DescStmtColDesc(Stmt *s, uint16_t n, int *err);
// Description of parameter n, or null.
const ColDesc *DescStmtParamDesc(Stmt *s, uint16_t n);
// A column-attribute override: true with the integer or the text when the
// statement holds one for (attribute, column).
bool DescStmtOverride(Stmt *s, int attr, uint16_t column, int32_t *intOut, const char **textOut);
// Column 1 (TYPE_NAME), 4 (LITERAL_PREFIX) or 5 (LITERAL_SUFFIX) of the
// type-information row of an SQL type into a 256-byte buffer, "" for NULL.
// 0 or an error number.
int DescStmtTypeInfoText(Stmt *s, int column, int16_t sqlType, char *buf);

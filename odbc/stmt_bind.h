// The statement's own records of the application's bindings, its cached
// column and parameter descriptions, its per-row buffers and its counts.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

struct ColDesc;
struct Stmt;

// The leading fields of a bound-column record (or a temporary binding of
// the same layout built for SQLGetData and output parameters).
struct ColBindingHead {
    uint16_t column;         // 1-based; 0 the bookmark column
    int16_t cType;           // SQL_C_DEFAULT and SQL_ARD_TYPE are resolved by GetColumn
    int16_t decimalDigits;   // timestamp scale of a deferred output parameter
    void *data;
    SQLLEN bufferLength;     // written when SQL_C_DEFAULT resolves to a fixed type and it was 0
    SQLLEN *octetLengthPtr;  // may be null
    SQLLEN *indicatorPtr;    // may be null
};

// One SQLBindCol binding: the fields GetColumn reads, then the per-row
// buffers of the statement layer.
struct ColBinding {
    ColBindingHead head;
    uint32_t rowCount;
    void **rowValues;
    int64_t *rowLengths;
};

struct ColBindingNode {
    ColBindingNode *next;
    ColBinding b;
};

// One parameter binding (number 1..1024).
struct ParamBinding {
    uint16_t number;
    int16_t cType;
    int64_t octetSize;       // octet size of one value
    int16_t sqlType;
    uint64_t columnSize;
    int16_t decimalDigits;
    void *data;
    SQLLEN *octetLengthPtr;
    SQLLEN *indicatorPtr;
    int64_t bufferLength;
    int16_t paramType;       // input when the buffer length is -1
    int64_t rowCount;
    void **rowValues;
    int64_t *rowLengths;
};

// What the back end last learnt of a parameter's type.
struct ParamSummary {
    int32_t sqlType;
    int32_t cType;
    uint32_t columnSize;
    int16_t decimalDigits;
    int16_t paramType;
};

constexpr uint16_t STMT_MAX_PARAMS = 1024;

// Bound columns.  SQL_ERROR with ERR_MEMORY_ALLOCATION (S1001) on the statement when out of memory.
SQLRETURN StmtSetBoundCol(Stmt *s, const ColBinding *b);
int StmtRemoveBoundCol(Stmt *s, uint16_t column);
// Drops every bound column; the current ARD keeps only its bookmark record.
int StmtUnbindCols(Stmt *s);
// The binding of column n, or null.
ColBinding *StmtFindBoundCol(uint16_t n, Stmt *s);

// Parameter bindings.  SQL_ERROR with ERR_INVALID_PARAMETER_NUMBER (S1093) for a number outside
// 1..1024, ERR_MEMORY_ALLOCATION when out of memory.
SQLRETURN StmtSetParamBinding(Stmt *s, const ParamBinding *b);
int StmtResetParams(Stmt *s);
// Entry n (bound or not) for 1 <= n <= the capacity, else null.
ParamBinding *StmtGetParamBinding(uint16_t n, Stmt *s);

// Descriptions.  StmtGetColDescs fetches the result descriptions once per
// result (null with the back end's number on the statement);
// StmtGetColDesc answers column n (0: the bookmark column when bookmarks
// are on), null with ERR_INVALID_COLUMN_NUMBER (S1002) otherwise; StmtGetParamDesc fetches the
// parameter descriptions once per preparation, null with ERR_INVALID_PARAMETER_NUMBER (S1093).
ColDesc *StmtGetColDescs(Stmt *s);
const ColDesc *StmtGetColDesc(Stmt *s, uint16_t n);
const ColDesc *StmtGetParamDesc(Stmt *s, uint16_t n);
void StmtFreeParamDescs(Stmt *s);
// Frees the column-attribute override table with its records.
void StmtDropOverrides(Stmt *s);
// Rows of one result block for the descriptions: 65535 divided by the row
// width, never below 1 and never above the fetch size (when set).
uint16_t StmtRowsPerBlock(const ColDesc *cols, uint16_t n, uint32_t fetchSize);

// Per-row buffers.
void FreeRowValueBufs(void ***values, uint64_t count, int64_t **lengths);
int StmtAllocParamBufs(Stmt *s);
int StmtAllocRowBufs(Stmt *s);

// Counts: error numbers (0 success).
int StmtSetParamsetSize(Stmt *s, uint64_t size, SQLULEN *processed);
int StmtGetRowCount(Stmt *s, int32_t *count);
int StmtNumResultCols(Stmt *s, uint16_t *count);
int StmtNumParams(Stmt *s, uint16_t *count);

// Queues the back end's messages of the statement and of its connection;
// nonzero when any arrived.
int StmtFetchErrors(Stmt *s);

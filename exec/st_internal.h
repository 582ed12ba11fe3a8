// Shared inside the statement layer: the engines behind the entry points
// and the small helpers they have in common.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "exec/st_state.h"
#include "exec/statement.h"
#include "odbc/contract/drv_items.h"
#include "odbc/handles.h"
#include "odbc/stmt_bind.h"

struct ParamTypeDesc;

inline const DrvOpTable *StOps(const Stmt *s) { return s->binding ? s->binding->ops : nullptr; }
inline int StDrv(const Stmt *s) { return static_cast<int>(s->drvStmt); }
inline SQLRETURN StFail(Stmt *s, int32_t number)
{
    s->diag.errNum = number;
    return SQL_ERROR;
}
// The ODBC version (2 or 3) of the statement's environment.
int StOdbcVersion(const Stmt *s);
// The application's params-processed count, or null.
SQLULEN *StParamsProcessed(const Stmt *s);

// ---- bound columns (st_posvalues.cpp) ----

// Where row i of a bound column lies: column-wise, values a buffer length
// apart and lengths 8 bytes apart; row-wise, everything one row structure
// apart.
struct BindStrides {
    int64_t value;
    int64_t length;
};
BindStrides StmtBindStrides(const Stmt *s, const ColBindingHead &b);
// The binding as it stands for row i (its pointers moved to that row).
ColBindingHead StmtBindingAt(const Stmt *s, const ColBindingHead &b, uint32_t i);

// ---- parameters (st_execute.cpp) ----

// Where parameter b's value, length and indicator lie for row r of the set.
struct ParamCell {
    void *data;
    SQLLEN *length;
    SQLLEN *indicator;
};
ParamCell ParamCellAt(const Stmt *s, const ParamBinding &b, uint32_t row);
// A length marking a value given at execution.
inline bool IsDataAtExec(SQLLEN len) { return len == SQL_DATA_AT_EXEC || len <= SQL_LEN_DATA_AT_EXEC_OFFSET; }
// The stride of one value in a column-wise parameter array.
int64_t ParamValueLength(const ParamBinding &b);
int64_t ParamValueLengthRow(const Stmt *s, const ParamBinding &b, uint32_t row);
int64_t ParamMaxValueLength(const Stmt *s, const ParamBinding &b, uint32_t rows);
// Direction of parameter i (0-based): PARAM_INPUT, PARAM_OUTPUT or
// PARAM_INPUT_OUTPUT, by its description's mark; a procedure call's marker
// described input-output or open by the direction bound.  Every other
// marker is an input, whatever direction it was bound with.
int16_t ParamClassOf(const Stmt *s, uint16_t i);
// Counts the classes into the statement; false when a direction is left
// open and `resolve` is false (the walk then stops).
bool ParamCountClasses(Stmt *s, bool resolve);
void NarrowParamSqlTypes(ParamTypeDesc *types, uint16_t n);

SQLRETURN StmtPreExecute(Stmt *s);
SQLRETURN StmtExecuteClassic(Stmt *s);
int StmtParamsNeedData(Stmt *s);
SQLRETURN StmtGetOutParams(Stmt *s);
// Frees the cached result descriptions (the next result reads them again).
void StmtFreeResultDescs(Stmt *s);
void StmtClearColDescs(Stmt *s);
// The ending both execute engines share: counts, statuses, state, output
// parameters, or the back end's messages.  rowsSent counts block rows;
// sentRows maps them to rows of the parameter set (null: the same).
SQLRETURN StmtExecOutcome(Stmt *s, int number, uint32_t rowsSent, const uint32_t *sentRows);

// ---- V2 data at execution (st_v2dae.cpp) ----
SQLRETURN StmtExecuteV2DAE(Stmt *s);
SQLRETURN StmtPostExecute(Stmt *s, uint32_t rowsSent);
SQLRETURN StmtParamDataV2(Stmt *s, SQLPOINTER *token);
SQLRETURN StmtPutDataV2(Stmt *s, SQLPOINTER data, SQLLEN len);
// Value type and fixed width (0 variable) a C type travels as.
ValueType CTypeToValueType(int16_t cType, uint32_t *width);

// ---- classic data at execution (st_dae.cpp) ----
SQLRETURN StmtParamData(Stmt *s, SQLPOINTER *token);
SQLRETURN StmtPutData(Stmt *s, SQLPOINTER data, SQLLEN len);
int ParamAppendPiece(ParamBinding *b, const void *data, const SQLLEN *len, uint32_t row);
int ColAppendPiece(ColBinding *b, const void *data, const SQLLEN *len, uint32_t row);
// The octet length of a null-terminated piece of C type cType (SQL_NTS):
// UTF-16 units times two for SQL_C_WCHAR, bytes otherwise.
SQLLEN PieceTextLength(int16_t cType, const void *data);

// ---- results (st_fetch.cpp) ----
// Moves the bound columns to their ARD records plus the bind offset.
void StmtRebaseBindings(Stmt *s);
int StmtFetchBlock(Stmt *s);
SQLRETURN StmtFetchOne(Stmt *s);
SQLRETURN StmtFetchForward(Stmt *s);
SQLRETURN StmtFetchScroll(Stmt *s, int16_t orientation, int64_t offset);
// The next rowset of a forward-only cursor from the block road: a rowset
// cache of up to rowset-size rows converted into the bound arrays.
SQLRETURN StmtFetchRowsetForward(Stmt *s);
// The same with the rows-fetched count and row-status array given (either
// may be null).
SQLRETURN StmtFetchRowsetInto(Stmt *s, SQLULEN *rowsFetched, uint16_t *status);

// ---- scrolling (st_scroll.cpp) ----
// The ODBC 3 fetch of a cursor that is not forward-only with one row: the
// statement's rows-fetched pointer and row-status array (a temporary one
// when it has none), the fetch-bookmark for BOOKMARK, then StmtExtendedFetch.
SQLRETURN StmtFetchScrollable(Stmt *s, int16_t orientation, int64_t offset);
// Checks the request against the cursor and moves it by one rowset; the
// rows fetched and the statuses go where given (either may be null).
SQLRETURN StmtExtendedFetch(Stmt *s, uint16_t orientation, int64_t offset, SQLULEN *rowsFetched, uint16_t *status);
// Converts the rows of the rowset cache into the bound rowset (row 0: every
// row, n: only row n) and writes the statuses; mode -1 for a fetch, else
// the SQLSetPos operation that asked.
SQLRETURN StmtFillRowset(Stmt *s, uint16_t *status, int32_t row, int mode);
// Moves the cursor by orientation and offset: frees the rowset, checks the orientation
// against the cursor and the fetch-direction mask, finds the target row and asks the
// cursor library for the rowset there.  ERR_NO_DATA_FOUND when there is no rowset
// (before the start or after the end), ERR_FETCH_BEFORE_FIRST_ROWSET (01S06) when the
// first rowset stands in for one that began before it, ERR_FETCH_TYPE_RANGE for an
// orientation the cursor does not take, else the cursor library's number.
int CUR_FetchScroll(CursorState *cs, uint16_t orientation, int32_t offset, uint32_t *rowsOut);
// The rowset at the target row from the cursor library (ScrollFetch with
// the orientation when the connection has dynamic and mixed cursors, else
// ExtendedFetch); a failure's messages are moved onto the statement.
int CUR_DrvFetch(CursorState *cs, uint16_t orientation, int32_t target, uint32_t *rowsOut);
SQLRETURN StmtGetData(Stmt *s, uint16_t col, int16_t cType, void *data, int64_t bufLen, SQLLEN *lenInd);
int StmtFetchColValue(Stmt *s, int64_t pieceSize);
void StmtFreeColValue(GetDataState *gd);
// The statement layer's part of StmtFreeResults: the piecewise SQLGetData
// state and an abandoned V2 block.
void StmtDropResults(Stmt *s);
// GetColumn with the statement as its host.
SQLRETURN StGetColumn(Stmt *s, uint32_t row, ColBindingHead *b, const RowBlock *block);

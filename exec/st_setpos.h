// SQLSetPos and SQLBulkOperations: the engines, the search for values given
// at execution and the row blocks the positioned and bulk operations send.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <vector>

struct ColBinding;
struct RowBlock;
struct RowsetCache;
struct Stmt;

// What a positioned or bulk operation hands back and what the engine gave
// it, released on every path: the statuses and a rowset cache are the
// engine's; the block and the column list are the operation's once sent,
// unless the statement's binding says the engine frees them.
struct OpCall {
    Stmt *s;
    uint16_t *statuses = nullptr;
    uint16_t count = 0;
    RowBlock *block = nullptr;
    uint16_t *list = nullptr;
    uint16_t listCount = 0;
    RowsetCache *rowset = nullptr;
    bool sent = false;
    // The column numbers sent, kept by the engine: the list itself may be
    // the operation's from the call on.
    std::vector<uint16_t> columns;

    explicit OpCall(Stmt *st) : s(st) {}
    ~OpCall();
    OpCall(const OpCall &) = delete;
    OpCall &operator=(const OpCall &) = delete;
};

// ---- engines (st_setpos.cpp, st_bulk.cpp) ----

// Checks the lock type and runs the positioned engine for SQLSetPos.
SQLRETURN StmtSetPos(Stmt *s, int64_t row, uint16_t op, uint16_t lock);
// The row-operation array (SQL_ATTR_ROW_OPERATION_PTR) the running
// operation honours: SQLSetPos's; none for SQLBulkOperations' ADD, which
// sends every row.
const uint16_t *StmtRowOperations(const Stmt *s);
// POSITION, REFRESH, UPDATE, DELETE or ADD on row `row` of the rowset (0:
// every row); SQL_NEED_DATA while bound values given at execution are
// outstanding.  With data-at-execution state 8 it resumes with the saved row
// and operation.
SQLRETURN StmtSetPosClassic(Stmt *s, int64_t row, uint16_t op);
// The second engine, for back ends that gather values given at execution
// themselves: the same checks, POSITION and REFRESH as the classic one; the
// value or marker block of UPDATE, ADD and DELETE is kept in the statement
// and sent at once, values given at execution marked for the back end to
// ask for (SQL_NEED_DATA until StmtSetPosFinish).
SQLRETURN StmtSetPosV2DAE(Stmt *s, uint16_t row, uint16_t op);
// Ends a call of the second engine with the number the statement holds:
// the operation's messages, the statuses written as the classic engine
// writes them (not for a failure other than a row outcome), the kept state
// freed.
SQLRETURN StmtSetPosFinish(Stmt *s);
// Frees the statuses the second engine kept, and the blocks it sent when
// the statement's binding says the engine frees them.
void StmtFreeSetPosState(Stmt *s);
// ADD, UPDATE_BY_BOOKMARK, DELETE_BY_BOOKMARK, FETCH_BY_BOOKMARK over the
// bound rowset; with data-at-execution state 9 it resumes the update.
SQLRETURN StmtBulkOperations(Stmt *s, uint16_t op);
// The bookmarks of the bound rowset (column 0), each checked against the
// current rowset: ERR_GENERAL without a bookmark binding,
// ERR_BOOKMARK_OUTSIDE_ROWSET (IM925) outside.
int StmtGetBookmarks(Stmt *s, uint32_t rows, std::vector<uint32_t> *out);

// ---- values (st_posvalues.cpp) ----

// Rows of the current rowset an operation other than ADD may name: those
// the last fetch delivered, no more than the bound buffers hold.
int32_t StmtRowsetRows(const Stmt *s);

// Length in bytes of a bound value in row `row` (0 for NULL).
uint32_t BindValueLength(const Stmt *s, const ColBinding &b, uint32_t row);
uint32_t BindMaxValueLength(const Stmt *s, const ColBinding &b, uint32_t rows);
// Looks for bound values given at execution in the rows of the operation
// (row 0 every row, n row n), in the listed columns or every bound column:
// 0 none, SQL_NEED_DATA (data-at-execution state 2, or 3 with a list), or
// SQL_ERROR with ERR_FUNCTION_SEQUENCE (S1010) when a sequence is open or the buffers' error.
int StmtSetPosNeedData(Stmt *s, int32_t row, const uint16_t *list, uint16_t count);
// 1 when a value is still outstanding from the scan position on (the
// position then names it), else 0 with the position reset.
int StmtColsNeedData(Stmt *s, const uint16_t *list, uint16_t count);
// The value block of an UPDATE or ADD of row `row` (CUR_POS_ROWSET or 0 every row) and
// the numbers of its columns (caller frees with free): the bound columns
// given (not SQL_COLUMN_IGNORE) in some row; a row that ignores all of them
// is left alone.  ERR_GENERAL for a bound column without a description, ERR_NOT_CAPABLE for a
// row that ignores some of them only, ERR_MEMORY_ALLOCATION, or a conversion's number.
int StmtBuildSetPosValues(Stmt *s, int32_t row, RowBlock *block, uint16_t **list, uint16_t *count);
// The second engine's value block: the columns and rows of
// StmtBuildSetPosValues, text as given (no escapes read, no minimum width),
// a value given at execution marked -2 for the back end to ask for.
int StmtBuildSetPosValuesV2(Stmt *s, int32_t row, RowBlock *block, uint16_t **list, uint16_t *count);
// Lengths as BindValueLength, 0 for a value given at execution (the back
// end asks for it); values gathered by the driver are never read.
uint32_t BindValueLengthV2(const Stmt *s, const ColBinding &b, uint32_t row);
uint32_t BindMaxValueLengthV2(const Stmt *s, const ColBinding &b, uint32_t rows);
// The row-marker block of a DELETE: -4 for rows to leave alone.
int StmtBuildStatusBlock(Stmt *s, int32_t row, RowBlock **out);
// The bound columns an update by bookmark of `rows` rows writes: those
// given (not SQL_COLUMN_IGNORE) in some row.  ERR_GENERAL without ARD records or for
// a column without a description.
int StmtUpdatableColumns(Stmt *s, uint32_t rows, std::vector<uint16_t> *out);
// The value block of an update by bookmark: the listed columns over rows
// 0 .. rows - 1, as StmtBuildSetPosValues marks them.
int StmtBuildBulkValues(Stmt *s, const uint16_t *list, uint16_t count, uint32_t rows, RowBlock *block);

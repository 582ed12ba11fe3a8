// SQLSetPos: positions the cursor on a row of the current rowset, converts
// the cached rowset into the bound buffers again, or sends the bound values
// of one row or of every row to the cursor library's positioned operation
// (UPDATE, DELETE, ADD), gathering values given at execution first.
#include <cstdlib>
#include <cstring>
#include <new>

#include "exec/st_internal.h"
#include "exec/st_setpos.h"
#include "odbc/conn.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/flavour.h"
#include "odbc/stmt.h"

namespace {

bool Narrow(const Stmt *s) { return (s->conn && s->conn->narrowConversion) || !KRS_IsUnicodeBuild(); }

// The row-status array the application reads: the one the last fetch wrote,
// else the IRD's; SQLBulkOperations always writes the IRD's.
uint16_t *AppStatus(const Stmt *s)
{
    if (s->cursor.appStatus && !s->ex->bulkAdd)
        return s->cursor.appStatus;
    return s->ird ? s->ird->arrayStatusPtr : nullptr;
}

int32_t FetchedRows(const Stmt *s) { return StmtRowsetRows(s); }

// Statuses the operation returned go into the rowset cache and, unless the
// row is marked to be ignored, into the application's array.  An ADD sends
// every row of the rowset, fetched or not, and says so for each; the other
// operations leave the rows of a partial rowset that were never fetched.
void WriteStatuses(Stmt *s, int64_t row, const OpCall &call)
{
    if (!call.statuses)
        return;
    CursorState &cs = s->cursor;
    const bool add = cs.setPosOp == SQL_ADD;
    const int32_t rows = row != 0 ? 1 : add ? cs.rowsetSize : FetchedRows(s);
    const int32_t first = row == 0 ? 1 : static_cast<int32_t>(row);
    const uint16_t *rowOps = StmtRowOperations(s);
    uint16_t *app = AppStatus(s);
    for (int32_t i = 0; i < rows && i < call.count; ++i) {
        const int32_t p = first + i;
        if (row == 0 && !add && CUR_RowStatusGet(cs.cache, p) == SQL_ROW_NOROW)
            continue;
        if (rowOps && rowOps[p - 1] == SQL_ROW_IGNORE)
            continue;
        if (!add)
            CUR_RowStatusSet(cs.cache, p, call.statuses[i]);
        if (app)
            app[p - 1] = call.statuses[i];
    }
}

bool IsRowOutcome(int rc) { return rc == ERR_NO_ROWS_CHANGED || rc == ERR_MANY_ROWS_CHANGED || rc == ERR_ROW_ERROR; }

// Moves the operation's messages onto the statement; its number is kept
// when none arrived, and always for the row outcomes, whose SQLSTATE the
// application looks for.
void StorePosError(Stmt *s, int rc)
{
    if (rc == 0)
        return;
    const bool texts = StmtFetchErrors(s) != 0;
    if (!texts || IsRowOutcome(rc))
        s->diag.errNum = rc;
}

// The answer of the positioned operation: a row that was not changed is a
// warning (01S03, 01S04) or an error in a row (01S01) with the statuses
// written; any other failure is an error.
SQLRETURN Outcome(Stmt *s, int64_t row, int rc, const OpCall &call)
{
    StorePosError(s, rc);
    switch (rc) {
    case 0:
        WriteStatuses(s, row, call);
        return SQL_SUCCESS;
    case ERR_NO_ROWS_CHANGED:
    case ERR_MANY_ROWS_CHANGED:
        WriteStatuses(s, row, call);
        return SQL_SUCCESS_WITH_INFO;
    case ERR_ROW_ERROR:
        WriteStatuses(s, row, call);
        return row == 0 ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
    default:
        return SQL_ERROR;
    }
}

// The row, or CUR_POS_ROWSET for every row, as the operation takes it.
int32_t OpRow(int64_t row) { return row == 0 ? CUR_POS_ROWSET : static_cast<int32_t>(row); }

// Rows an ADD inserted are not in the keyset and have no bookmark.  A bound
// bookmark column says so for the rows of the operation (indicator
// SQL_NULL_DATA, bookmark 0, which names no row) instead of keeping the
// bookmarks of the rows fetched before, which name other rows.  Rows the
// row-operation array leaves alone are not touched.
void NoBookmarks(Stmt *s, int64_t row)
{
    const ColBinding *b = StmtFindBoundCol(0, s);
    if (!b)
        return;
    const uint16_t *rowOps = StmtRowOperations(s);
    const int64_t first = row == 0 ? 0 : row - 1;
    const int64_t end = row == 0 ? s->cursor.rowsetSize : row;
    for (int64_t i = first; i < end; ++i) {
        if (rowOps && rowOps[i] == SQL_ROW_IGNORE)
            continue;
        const ColBindingHead one = StmtBindingAt(s, b->head, static_cast<uint32_t>(i));
        if (one.data && one.bufferLength > 0)
            std::memset(one.data, 0, static_cast<size_t>(one.bufferLength < 8 ? one.bufferLength : 8));
        for (SQLLEN *p : {one.indicatorPtr, one.octetLengthPtr})
            if (p)
                *p = SQL_NULL_DATA;
    }
}

// Sends an UPDATE or ADD with the bound values (gathered ones included).
SQLRETURN SendValues(Stmt *s, int64_t row, uint16_t op)
{
    const DrvOpTable *ops = StOps(s);
    if (!ops || !ops->SetPos)
        return StFail(s, ERR_NOT_CAPABLE);
    OpCall call(s);
    call.block = static_cast<RowBlock *>(std::calloc(1, sizeof(RowBlock)));
    if (!call.block)
        return StFail(s, ERR_MEMORY_ALLOCATION);
    if (int rc = StmtBuildSetPosValues(s, OpRow(row), call.block, &call.list, &call.listCount))
        return StFail(s, rc);
    if (Narrow(s))
        if (int rc = RB_WideToAnsi(call.block))
            return StFail(s, rc);
    call.sent = true;
    int rc = ops->SetPos(StDrv(s), &s->cursor, OpRow(row), op, SQL_LOCK_NO_CHANGE, &call.statuses, &call.count,
                         call.block, call.list, call.listCount);
    const SQLRETURN answer = Outcome(s, row, rc, call);
    if (op == SQL_ADD && SQL_SUCCEEDED(answer))
        NoBookmarks(s, row);
    return answer;
}

SQLRETURN SendDelete(Stmt *s, int64_t row)
{
    const DrvOpTable *ops = StOps(s);
    if (!ops || !ops->SetPos)
        return StFail(s, ERR_NOT_CAPABLE);
    OpCall call(s);
    if (int rc = StmtBuildStatusBlock(s, OpRow(row), &call.block))
        return StFail(s, rc);
    call.sent = true;
    int rc = ops->SetPos(StDrv(s), &s->cursor, s->cursor.position, SQL_DELETE, SQL_LOCK_NO_CHANGE, &call.statuses,
                         &call.count, call.block, nullptr, 0);
    return Outcome(s, row, rc, call);
}

// The row's status must allow the operation: a deleted or failed row cannot
// be refreshed, updated or deleted, and a row never fetched is no row.  With
// row 0 the rows never fetched (a partial rowset) are passed over; at least
// one row must be there.
int CheckRows(Stmt *s, int64_t row, uint16_t op)
{
    const RowsetCache *cache = s->cursor.cache;
    const int32_t first = row == 0 ? 1 : static_cast<int32_t>(row);
    const int32_t last = row == 0 ? FetchedRows(s) : static_cast<int32_t>(row);
    int present = 0;
    for (int32_t p = first; p <= last; ++p) {
        const uint16_t st = CUR_RowStatusGet(cache, p);
        if (st == SQL_ROW_NOROW)
            continue;
        ++present;
        if ((st == SQL_ROW_DELETED || st == SQL_ROW_ERROR) && (op == SQL_UPDATE || op == SQL_DELETE || op == SQL_REFRESH))
            return ERR_INVALID_CURSOR_POSITION;
    }
    return present == 0 ? ERR_INVALID_CURSOR_POSITION : 0;
}

bool HasBoundColumn(const Stmt *s)
{
    for (const ColBindingNode *n = s->boundCols; n; n = n->next)
        if (n->b.head.column != 0)
            return true;
    return false;
}

} // namespace

OpCall::~OpCall()
{
    std::free(statuses);
    RS_Free(&rowset);
    const bool mine = !sent || (s->binding && (s->binding->flags & DRVB_FREES_PARAMS));
    if (mine) {
        if (block) {
            RB_Free(block);
            std::free(block);
        }
        std::free(list);
    }
}

namespace {

// The checks both engines make before anything is sent: the request against
// the cursor, its state and the rowset (ADD takes rows of the bound buffers,
// the others rows of the fetched rowset), then the position moved and the
// row and operation saved.  SQL_SUCCESS to go on; else the error posted:
// S1C00, S1109, S1009, 24000, S1107.
SQLRETURN SetPosStart(Stmt *s, int64_t row, uint16_t op)
{
    CursorState &cs = s->cursor;
    if (op > SQL_ADD)
        return StFail(s, ERR_NOT_CAPABLE);
    if (cs.cursorType == SQL_CURSOR_FORWARD_ONLY)
        return StFail(s, ERR_INVALID_CURSOR_POSITION);
    const bool change = op == SQL_UPDATE || op == SQL_DELETE || op == SQL_ADD;
    if (cs.concurrency == SQL_CONCUR_READ_ONLY && change)
        return StFail(s, ERR_INVALID_ARGUMENT);
    if (s->state != STMT_EXECUTED)
        return StFail(s, ERR_INVALID_CURSOR_STATE);
    if (row < 0 || row > INT32_MAX)
        return StFail(s, ERR_ROW_VALUE_RANGE);
    if (op == SQL_ADD) {
        if (row > cs.rowsetSize)
            return StFail(s, ERR_ROW_VALUE_RANGE);
    } else {
        if (cs.position == CUR_POS_BEFORE_START || cs.position == CUR_POS_AFTER_END || !cs.cache)
            return StFail(s, ERR_INVALID_CURSOR_STATE);
        if (row > FetchedRows(s))
            return StFail(s, ERR_ROW_VALUE_RANGE);
        if (int rc = CheckRows(s, row, op))
            return StFail(s, rc);
        if (int rc = CUR_PosSet(&cs, OpRow(row)))
            return StFail(s, rc);
    }
    cs.setPosRow = static_cast<uint32_t>(row);
    cs.setPosOp = op;
    return SQL_SUCCESS;
}

// POSITION tells the cursor library the row; REFRESH converts the cached
// rows into the bound buffers again.
SQLRETURN PositionOrRefresh(Stmt *s, int64_t row, uint16_t op)
{
    if (op == SQL_REFRESH)
        return StmtFillRowset(s, AppStatus(s), static_cast<int32_t>(row), SQL_REFRESH);
    const DrvOpTable *ops = StOps(s);
    if (!ops || !ops->SetPos)
        return SQL_SUCCESS;
    int rc = ops->SetPos(StDrv(s), &s->cursor, OpRow(row), SQL_POSITION, SQL_LOCK_NO_CHANGE, nullptr, nullptr,
                         nullptr, nullptr, 0);
    StorePosError(s, rc);
    return rc == 0 ? SQL_SUCCESS : SQL_ERROR;
}

// Second engine: sends the value block (UPDATE, ADD) or the marker block
// (DELETE) that the statement keeps; a back end that asks for values given
// at execution (ERR_NEED_DATA) gets them through SQLParamData and SQLPutData before
// StmtSetPosFinish ends the call.
SQLRETURN SendKeptV2(Stmt *s, int64_t row, uint16_t op)
{
    const DrvOpTable *ops = StOps(s);
    if (!ops || !ops->SetPos)
        return StFail(s, ERR_NOT_CAPABLE);
    StmtFreeSetPosState(s);
    OpCall *call = new (std::nothrow) OpCall(s);
    if (!call)
        return StFail(s, ERR_MEMORY_ALLOCATION);
    s->ex->v2SetPos = call;
    int rc = 0;
    if (op == SQL_DELETE) {
        rc = StmtBuildStatusBlock(s, OpRow(row), &call->block);
    } else {
        call->block = static_cast<RowBlock *>(std::calloc(1, sizeof(RowBlock)));
        rc = call->block ? StmtBuildSetPosValuesV2(s, OpRow(row), call->block, &call->list, &call->listCount)
                         : ERR_MEMORY_ALLOCATION;
    }
    if (rc == 0 && Narrow(s))
        rc = RB_WideToAnsi(call->block);
    if (rc != 0) {
        StmtFreeSetPosState(s);
        return StFail(s, rc);
    }
    call->sent = true;
    if (call->list)
        call->columns.assign(call->list, call->list + call->listCount);
    const int32_t target = op == SQL_DELETE ? s->cursor.position : OpRow(row);
    rc = ops->SetPos(StDrv(s), &s->cursor, target, op, SQL_LOCK_NO_CHANGE, &call->statuses, &call->count,
                     call->block, call->list, call->listCount);
    if (rc == ERR_NEED_DATA && op != SQL_DELETE) {
        s->daeState = DAE_SETPOS;
        s->diag.errNum = ERR_NONE;
        return SQL_NEED_DATA;
    }
    s->diag.errNum = rc;
    return StmtSetPosFinish(s);
}

} // namespace

SQLRETURN StmtSetPosClassic(Stmt *s, int64_t row, uint16_t op)
{
    if (!s->conn || !s->conn->cn_hasScrlCurs)
        return StFail(s, ERR_FUNCTION_NOT_SUPPORTED);
    StmtRebaseBindings(s);
    CursorState &cs = s->cursor;
    if (s->daeState == DAE_SETPOS_READY) {
        // Every value given at execution has arrived: send them.
        // The sequence ends here whatever the outcome.
        s->daeState = DAE_NONE;
        row = cs.setPosRow;
        op = cs.setPosOp;
        return op == SQL_ADD || op == SQL_UPDATE ? SendValues(s, row, op) : StFail(s, ERR_FUNCTION_SEQUENCE);
    }
    if (SQLRETURN rc = SetPosStart(s, row, op))
        return rc;
    switch (op) {
    case SQL_POSITION:
    case SQL_REFRESH:
        return PositionOrRefresh(s, row, op);
    case SQL_UPDATE:
    case SQL_ADD: {
        if (!HasBoundColumn(s))
            return StFail(s, ERR_DERIVED_TABLE_DEGREE);
        int rc = StmtSetPosNeedData(s, static_cast<int32_t>(row), nullptr, 0);
        if (rc != 0)
            return static_cast<SQLRETURN>(rc);
        return SendValues(s, row, op);
    }
    case SQL_DELETE:
        return SendDelete(s, row);
    default:
        return StFail(s, ERR_NOT_CAPABLE);
    }
}

SQLRETURN StmtSetPosV2DAE(Stmt *s, uint16_t row, uint16_t op)
{
    if (!s->conn || !s->conn->cn_hasScrlCurs)
        return StFail(s, ERR_FUNCTION_NOT_SUPPORTED);
    StmtRebaseBindings(s);
    if (SQLRETURN rc = SetPosStart(s, row, op))
        return rc;
    if (op == SQL_POSITION || op == SQL_REFRESH)
        return PositionOrRefresh(s, row, op);
    if (op != SQL_DELETE && !HasBoundColumn(s))
        return StFail(s, ERR_DERIVED_TABLE_DEGREE);
    return SendKeptV2(s, row, op);
}

SQLRETURN StmtSetPosFinish(Stmt *s)
{
    OpCall *call = s->ex ? s->ex->v2SetPos : nullptr;
    s->daeState = DAE_NONE;
    if (!call)
        return StFail(s, ERR_FUNCTION_SEQUENCE);
    const int64_t row = s->cursor.setPosRow;
    const uint16_t op = s->cursor.setPosOp;
    // Statuses handed over at the end of a sequence come without a count:
    // one per row of the operation.
    if (call->statuses && call->count == 0)
        call->count = static_cast<uint16_t>(row == 0 ? s->cursor.rowsetSize : 1);
    const int rc = s->diag.errNum;
    s->diag.errNum = ERR_NONE;
    const SQLRETURN answer = Outcome(s, row, rc, *call);
    if (op == SQL_ADD && SQL_SUCCEEDED(answer))
        NoBookmarks(s, row);
    StmtFreeSetPosState(s);
    return answer;
}

void StmtFreeSetPosState(Stmt *s)
{
    if (!s->ex || !s->ex->v2SetPos)
        return;
    delete s->ex->v2SetPos;
    s->ex->v2SetPos = nullptr;
}

const uint16_t *StmtRowOperations(const Stmt *s)
{
    if (s->ex->bulkAdd)
        return nullptr;
    return s->ard ? s->ard->arrayStatusPtr : nullptr;
}

SQLRETURN StmtSetPos(Stmt *s, int64_t row, uint16_t op, uint16_t lock)
{
    s->ex->bulkAdd = false;
    if (lock != SQL_LOCK_NO_CHANGE)
        return StFail(s, ERR_NOT_CAPABLE);
    if (!(s->conn && s->conn->cn_hasV2DAE))
        return StmtSetPosClassic(s, row, op);
    // The second engine numbers rows in 16 bits: a row beyond them is no
    // row of any rowset.
    if (row < 0 || row > UINT16_MAX)
        return StFail(s, ERR_ROW_VALUE_RANGE);
    return StmtSetPosV2DAE(s, static_cast<uint16_t>(row), op);
}

SQLRETURN ST_SetPos(Stmt *s, SQLSETPOSIROW row, SQLUSMALLINT op, SQLUSMALLINT lock)
{
    return StmtSetPos(s, static_cast<int64_t>(row), op, lock);
}

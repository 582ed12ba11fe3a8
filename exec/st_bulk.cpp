// SQLBulkOperations: rows named by the bookmarks bound in column 0 are
// updated, deleted or fetched again through the cursor library's bulk
// operation; SQL_ADD inserts every row of the bound rowset as
// SQLSetPos(0, SQL_ADD) does, whatever the row-operation array says.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "exec/st_internal.h"
#include "exec/st_setpos.h"
#include "odbc/conn.h"
#include "odbc/contract/flavour.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/desc_rec.h"
#include "odbc/stmt.h"

namespace {

bool FullKeysetOrStatic(const CursorState &cs)
{
    return (cs.cursorType == SQL_CURSOR_KEYSET_DRIVEN && cs.keysetSize == 0) || cs.cursorType == SQL_CURSOR_STATIC;
}

uint32_t OpRows(const Stmt *s) { return s->ard ? static_cast<uint32_t>(s->ard->arraySize) : 1; }

// Rows that were not changed (01S03, 01S04, 01S01): the statuses say which.
bool IsRowOutcome(int rc) { return rc == ERR_NO_ROWS_CHANGED || rc == ERR_MANY_ROWS_CHANGED || rc == ERR_ROW_ERROR; }

void StoreError(Stmt *s, int rc)
{
    if (rc == 0)
        return;
    const bool texts = StmtFetchErrors(s) != 0;
    if (!texts || IsRowOutcome(rc))
        s->diag.errNum = rc;
}

SQLRETURN Answer(int rc) { return rc == 0 ? SQL_SUCCESS : IsRowOutcome(rc) ? SQL_SUCCESS_WITH_INFO : SQL_ERROR; }

// The statuses and counts every operation but ADD leaves: the IRD's status
// array (5 for every row when the operation returned none), the rows
// processed and fetched.
void WriteResults(Stmt *s, uint16_t op, uint32_t n, const OpCall &call)
{
    if (op != SQL_ADD && s->ird && s->ird->arrayStatusPtr)
        for (uint32_t i = 0; i < n; ++i)
            s->ird->arrayStatusPtr[i] = call.statuses ? call.statuses[i] : static_cast<uint16_t>(SQL_ROW_ERROR);
    if (s->ird && s->ird->rowsProcessedPtr)
        *s->ird->rowsProcessedPtr = n;
    if (s->rowsFetchedPtr)
        *s->rowsFetchedPtr = n;
}

// Sends the update with the kept columns and bookmarks.
SQLRETURN SendUpdate(Stmt *s, uint32_t n)
{
    StmtExec &ex = *s->ex;
    const DrvOpTable *ops = StOps(s);
    if (!ops || !ops->BulkOperations)
        return StFail(s, ERR_NOT_CAPABLE);
    OpCall call(s);
    call.block = static_cast<RowBlock *>(std::calloc(1, sizeof(RowBlock)));
    const size_t cols = ex.bulkCols.size();
    call.list = static_cast<uint16_t *>(std::malloc((cols ? cols : 1) * sizeof(uint16_t)));
    if (!call.block || !call.list)
        return StFail(s, ERR_MEMORY_ALLOCATION);
    if (cols)
        std::memcpy(call.list, ex.bulkCols.data(), cols * sizeof(uint16_t));
    if (int rc = StmtBuildBulkValues(s, ex.bulkCols.data(), static_cast<uint16_t>(cols), n, call.block))
        return StFail(s, rc);
    if ((s->conn && s->conn->narrowConversion) || !KRS_IsUnicodeBuild())
        if (int rc = RB_WideToAnsi(call.block))
            return StFail(s, rc);
    call.sent = true;
    int rc = ops->BulkOperations(StDrv(s), &s->cursor, SQL_UPDATE_BY_BOOKMARK, ex.bulkBookmarks.data(),
                                 static_cast<uint16_t>(n), call.block, call.list, static_cast<uint16_t>(cols),
                                 &call.statuses, &call.count, nullptr);
    StoreError(s, rc);
    WriteResults(s, SQL_UPDATE_BY_BOOKMARK, n, call);
    s->cursor.absRow = -1;
    return Answer(rc);
}

} // namespace

int StmtGetBookmarks(Stmt *s, uint32_t rows, std::vector<uint32_t> *out)
{
    out->clear();
    const ColBinding *b = StmtFindBoundCol(0, s);
    if (!b || !b->head.data)
        return ERR_GENERAL;
    try {
        out->resize(rows);
    } catch (...) {
        return ERR_MEMORY_ALLOCATION;
    }
    const CursorState &cs = s->cursor;
    // A bookmark is 32 bits at the start of its cell; a shorter cell holds
    // its low bytes.
    const int64_t cell = b->head.bufferLength;
    const size_t width = cell <= 0 ? 0 : cell < 4 ? static_cast<size_t>(cell) : sizeof(uint32_t);
    for (uint32_t i = 0; i < rows; ++i) {
        uint32_t v = 0;
        std::memcpy(&v, StmtBindingAt(s, b->head, i).data, width);
        (*out)[i] = v;
    }
    // Bookmarks name rows of the current rowset only.
    for (uint32_t v : *out) {
        const int64_t first = cs.absRow;
        const int64_t fetched = cs.cache ? cs.cache->rows : 0;
        if (first < 1 || static_cast<int64_t>(v) < first || static_cast<int64_t>(v) > first + fetched - 1 ||
            CUR_RowStatusGet(cs.cache, static_cast<int32_t>(v - first + 1)) == SQL_ROW_NOROW)
            return ERR_BOOKMARK_OUTSIDE_ROWSET;
    }
    return 0;
}

SQLRETURN StmtBulkOperations(Stmt *s, uint16_t op)
{
    StmtExec &ex = *s->ex;
    CursorState &cs = s->cursor;
    const uint32_t n = OpRows(s);
    if (s->daeState == DAE_BULK_READY) {
        // The sequence ends here whatever the outcome.
        s->daeState = DAE_NONE;
        return SendUpdate(s, n);
    }
    ex.bulkOp = op;
    if (!FullKeysetOrStatic(cs))
        return StFail(s, ERR_BULK_NOT_SUPPORTED);
    if (s->state != STMT_EXECUTED)
        return StFail(s, ERR_INVALID_CURSOR_STATE);
    if (op < SQL_ADD || op > SQL_FETCH_BY_BOOKMARK)
        return StFail(s, ERR_OPTION_TYPE_RANGE);
    if (n == 0)
        return SQL_SUCCESS;
    if (n > UINT16_MAX)
        return StFail(s, ERR_ROW_VALUE_RANGE);
    if (op != SQL_ADD) {
        const DescRec *rec0 = s->ard ? DescGetRec(s->ard, 0) : nullptr;
        if (!cs.useBookmarks || !rec0 || !rec0->dataPtr)
            return StFail(s, ERR_OPTION_TYPE_RANGE);
    }
    StmtRebaseBindings(s);
    if (op == SQL_UPDATE_BY_BOOKMARK)
        if (int rc = StmtUpdatableColumns(s, n, &ex.bulkCols))
            return StFail(s, rc);
    if (op != SQL_ADD)
        if (int rc = StmtGetBookmarks(s, n, &ex.bulkBookmarks))
            return StFail(s, rc);

    switch (op) {
    case SQL_ADD: {
        // Every row of the rowset is inserted: rows cannot be ignored here.
        ex.bulkAdd = true;
        SQLRETURN rc = StmtSetPosClassic(s, 0, SQL_ADD);
        if (rc == SQL_NEED_DATA)
            return rc;
        OpCall none(s);
        WriteResults(s, op, n, none);
        cs.absRow = -1;
        return rc;
    }
    case SQL_UPDATE_BY_BOOKMARK: {
        int rc = StmtSetPosNeedData(s, 0, ex.bulkCols.data(), static_cast<uint16_t>(ex.bulkCols.size()));
        if (rc != 0)
            return static_cast<SQLRETURN>(rc);
        return SendUpdate(s, n);
    }
    default:
        break;
    }
    const DrvOpTable *ops = StOps(s);
    if (!ops || !ops->BulkOperations)
        return StFail(s, ERR_NOT_CAPABLE);
    OpCall call(s);
    const bool fetch = op == SQL_FETCH_BY_BOOKMARK;
    int rc = ops->BulkOperations(StDrv(s), &s->cursor, op, ex.bulkBookmarks.data(), static_cast<uint16_t>(n), nullptr,
                                 nullptr, 0, &call.statuses, &call.count, fetch ? &call.rowset : nullptr);
    StoreError(s, rc);
    SQLRETURN result = Answer(rc);
    if (fetch && rc == 0) {
        // The fetched rows replace the rowset; they are converted into the
        // bound buffers like a fetch's.
        StmtFreeResults(s);
        cs.cache = call.rowset;
        call.rowset = nullptr;
        cs.position = 1;
        cs.absRow = -1;
        result = StmtFillRowset(s, s->ird ? s->ird->arrayStatusPtr : nullptr, 0, -1);
        if (s->ird && s->ird->rowsProcessedPtr)
            *s->ird->rowsProcessedPtr = n;
        if (s->rowsFetchedPtr)
            *s->rowsFetchedPtr = n;
    } else {
        WriteResults(s, op, n, call);
    }
    cs.absRow = -1;
    return result;
}

SQLRETURN ST_BulkOperations(Stmt *s, SQLSMALLINT op)
{
    return StmtBulkOperations(s, static_cast<uint16_t>(op));
}

// Data at execution gathered by the driver: SQLParamData names the next
// missing value, SQLPutData appends pieces to it, and the SQLParamData after
// the last value runs the execute.
#include <cstdlib>
#include <cstring>

#include "exec/st_internal.h"
#include "exec/st_setpos.h"

namespace {

// Appends a piece to one row of a per-row value array.  The length -1
// (SQL_NULL_DATA) drops what was gathered and marks the value NULL; it and
// an empty piece need no data pointer, as ODBC allows.
int AppendPiece(void **values, int64_t *lengths, uint64_t rows, uint32_t row, int16_t cType, const void *data,
                SQLLEN len)
{
    if ((!data && len != SQL_NULL_DATA && len != 0) || (len < 0 && len != SQL_NTS && len != SQL_NULL_DATA))
        return ERR_INVALID_ARGUMENT;
    if (!values || !lengths || row >= rows)
        return ERR_FUNCTION_SEQUENCE;
    if (len == SQL_NULL_DATA) {
        std::free(values[row]);
        values[row] = nullptr;
        lengths[row] = SQL_NULL_DATA;
        return 0;
    }
    if (len == SQL_NTS)
        len = PieceTextLength(cType, data);
    if (len == 0)
        return 0;
    const int64_t held = values[row] && lengths[row] > 0 ? lengths[row] : 0;
    auto *grown = static_cast<uint8_t *>(std::realloc(values[row], static_cast<size_t>(held + len)));
    if (!grown)
        return ERR_MEMORY_ALLOCATION;
    std::memcpy(grown + held, data, static_cast<size_t>(len));
    values[row] = grown;
    lengths[row] = held + len;
    return 0;
}

// Drops what a row has gathered.
void DropRow(void **values, int64_t *lengths, uint64_t rows, uint32_t row)
{
    if (!values || !lengths || row >= rows)
        return;
    std::free(values[row]);
    values[row] = nullptr;
    lengths[row] = 0;
}

SQLRETURN ParamDataExec(Stmt *s, SQLPOINTER *token)
{
    StmtExec &ex = *s->ex;
    ex.daeCurRow = ex.daeScanRow;
    if (SQLULEN *processed = StParamsProcessed(s))
        *processed = ex.daeCurRow + 1;
    if (s->daeState == DAE_EXECUTE_READY)
        return StmtExecuteClassic(s);
    ex.daeCurParam = ex.daeScanParam;
    ex.daeScanParam = static_cast<uint16_t>(ex.daeScanParam + 1);
    ParamBinding *b = StmtGetParamBinding(static_cast<uint16_t>(ex.daeCurParam + 1), s);
    if (!b)
        return StFail(s, ERR_FUNCTION_SEQUENCE);
    DropRow(b->rowValues, b->rowLengths, static_cast<uint64_t>(b->rowCount), ex.daeCurRow);
    if (token)
        *token = b->data;
    ex.daeNamed = 1;
    if (!StmtParamsNeedData(s)) {
        // Keep the scan on the value being sent: the last SQLParamData runs
        // the execute for its row.
        ex.daeScanRow = ex.daeCurRow;
        s->daeState = DAE_EXECUTE_READY;
    }
    return SQL_NEED_DATA;
}

// The bound column at a position of the bound-column list.
ColBinding *BoundColAt(Stmt *s, uint16_t index)
{
    ColBindingNode *n = s->boundCols;
    for (uint16_t i = 0; n && i < index; ++i)
        n = n->next;
    return n ? &n->b : nullptr;
}

// SQLSetPos and SQLBulkOperations: names the next bound value given at
// execution, or runs the engine once the last one has arrived.
SQLRETURN ParamDataSetPos(Stmt *s, SQLPOINTER *token)
{
    StmtExec &ex = *s->ex;
    ex.daeCurRow = ex.daeScanRow;
    if (s->daeState == DAE_SETPOS_READY)
        return StmtSetPosClassic(s, s->cursor.setPosRow, s->cursor.setPosOp);
    if (s->daeState == DAE_BULK_READY)
        return StmtBulkOperations(s, ex.bulkOp);
    ex.daeCurParam = ex.daeScanParam;
    ex.daeScanParam = static_cast<uint16_t>(ex.daeScanParam + 1);
    ColBinding *b = BoundColAt(s, ex.daeCurParam);
    if (!b)
        return StFail(s, ERR_FUNCTION_SEQUENCE);
    DropRow(b->rowValues, b->rowLengths, b->rowCount, ex.daeCurRow);
    if (token) {
        const uint32_t bindType = s->ard ? s->ard->bindType : 0;
        const int64_t stride = bindType ? bindType : b->head.bufferLength;
        *token = b->head.data ? static_cast<char *>(b->head.data) + static_cast<int64_t>(ex.daeCurRow) * stride
                              : nullptr;
    }
    ex.daeNamed = 1;
    const bool bulk = s->daeState == DAE_BULK;
    const uint16_t *list = bulk ? ex.bulkCols.data() : nullptr;
    const uint16_t count = bulk ? static_cast<uint16_t>(ex.bulkCols.size()) : 0;
    if (!StmtColsNeedData(s, list, count)) {
        // Keep the scan on the value being sent.
        ex.daeScanRow = ex.daeCurRow;
        s->daeState = bulk ? DAE_BULK_READY : DAE_SETPOS_READY;
    }
    return SQL_NEED_DATA;
}

} // namespace

SQLLEN PieceTextLength(int16_t cType, const void *data)
{
    if (cType == SQL_C_WCHAR) {
        const SQLWCHAR *w = static_cast<const SQLWCHAR *>(data);
        SQLLEN n = 0;
        while (w[n] != 0)
            ++n;
        return 2 * n;
    }
    return static_cast<SQLLEN>(std::strlen(static_cast<const char *>(data)));
}

SQLRETURN StmtParamData(Stmt *s, SQLPOINTER *token)
{
    switch (s->daeState) {
    case DAE_EXECUTE:
    case DAE_EXECUTE_READY:
        return ParamDataExec(s, token);
    case DAE_SETPOS:
    case DAE_BULK:
    case DAE_SETPOS_READY:
    case DAE_BULK_READY:
        return ParamDataSetPos(s, token);
    default:
        return StFail(s, ERR_FUNCTION_SEQUENCE);
    }
}

int ParamAppendPiece(ParamBinding *b, const void *data, const SQLLEN *len, uint32_t row)
{
    const SQLLEN n = len ? *len : b->octetSize;
    return AppendPiece(b->rowValues, b->rowLengths, static_cast<uint64_t>(b->rowCount), row, b->cType, data, n);
}

int ColAppendPiece(ColBinding *b, const void *data, const SQLLEN *len, uint32_t row)
{
    const SQLLEN n = len ? *len : b->head.bufferLength;
    return AppendPiece(b->rowValues, b->rowLengths, b->rowCount, row, b->head.cType, data, n);
}

SQLRETURN StmtPutData(Stmt *s, SQLPOINTER data, SQLLEN len)
{
    int rc;
    switch (s->daeState) {
    case DAE_EXECUTE:
    case DAE_EXECUTE_READY: {
        // Pieces go to the value the last SQLParamData named.
        if (!s->ex->daeNamed) {
            rc = ERR_FUNCTION_SEQUENCE;
            break;
        }
        ParamBinding *b = StmtGetParamBinding(static_cast<uint16_t>(s->ex->daeCurParam + 1), s);
        rc = b ? ParamAppendPiece(b, data, &len, s->ex->daeCurRow) : ERR_FUNCTION_SEQUENCE;
        break;
    }
    case DAE_SETPOS:
    case DAE_BULK:
    case DAE_SETPOS_READY:
    case DAE_BULK_READY: {
        ColBinding *b = s->ex->daeNamed ? BoundColAt(s, s->ex->daeCurParam) : nullptr;
        rc = b ? ColAppendPiece(b, data, &len, s->ex->daeCurRow) : ERR_FUNCTION_SEQUENCE;
        break;
    }
    default:
        rc = ERR_FUNCTION_SEQUENCE;
        break;
    }
    return rc ? StFail(s, rc) : SQL_SUCCESS;
}

namespace {

// A back end that gathers values itself takes them for executes and for
// SQLSetPos (its second engine); values of SQLBulkOperations updates are
// always gathered by the driver.
bool V2Road(const Stmt *s)
{
    const int16_t d = s->daeState;
    return s->conn && s->conn->cn_hasV2DAE && d != DAE_BULK && d != DAE_SETPOS_READY && d != DAE_BULK_READY;
}

} // namespace

SQLRETURN ST_ParamData(Stmt *s, SQLPOINTER *token)
{
    if (V2Road(s))
        return StmtParamDataV2(s, token);
    return StmtParamData(s, token);
}

SQLRETURN ST_PutData(Stmt *s, SQLPOINTER data, SQLLEN len)
{
    if (V2Road(s))
        return StmtPutDataV2(s, data, len);
    return StmtPutData(s, data, len);
}

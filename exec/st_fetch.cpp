// Reading a result forward: SQLBindCol, SQLFetch, SQLGetData, the block
// fetch from the back end and the long values a back end leaves behind.
#include <cstdlib>
#include <cstring>

#include "exec/convert.h"
#include "exec/st_internal.h"
#include "exec/st_setpos.h"
#include "odbc/stmt.h"
#include "odbc/desc_rec.h"
#include "odbc/desc_types.h"
#include "odbc/dispatch.h"
#include "odbc/contract/flavour.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/stmt.h"

namespace {

// The statement as GetColumn's host.
class StmtHost final : public GetColumnHost {
public:
    explicit StmtHost(Stmt *s) : s_(s) {}
    int ColDescs(const ColDesc **descs, uint16_t *count) override
    {
        *descs = StmtGetColDescs(s_);
        *count = *descs ? s_->resultColCount : 0;
        if (!*descs && s_->diag.errNum != ERR_NONE)
            return s_->diag.errNum;
        return 0;
    }
    bool DescRecord(bool apd, uint16_t column, int16_t *concise, int16_t *precision, int16_t *scale) override
    {
        const Desc *d = apd ? s_->apd : s_->ard;
        const DescRec *r = d ? DescGetRec(d, column) : nullptr;
        if (!r)
            return false;
        *concise = r->conciseType;
        *precision = r->precision;
        *scale = r->scale;
        return true;
    }
    int BookmarkGet(uint32_t row, int32_t *bookmark) override { return CUR_BookmarkGet(&s_->cursor, row, bookmark); }
    int FetchColValue(GetDataState *, int64_t pieceSize) override { return StmtFetchColValue(s_, pieceSize); }
    void FreeColValue(GetDataState *gd) override { StmtFreeColValue(gd); }

private:
    Stmt *s_;
};

void ClearGetData(Stmt *s)
{
    s->ex->gd.column = 0;
    s->ex->gd.row = 0;
}

// Converts every bound column of the current row; skip decides which
// bindings a fetch leaves alone.
template <class Skip>
SQLRETURN ConvertBound(Stmt *s, Skip skip)
{
    SQLRETURN result = SQL_SUCCESS;
    for (ColBindingNode *n = s->boundCols; n; n = n->next) {
        if (skip(n->b))
            continue;
        SQLRETURN rc = StGetColumn(s, s->currentRow, &n->b.head, &s->result);
        if (rc != SQL_SUCCESS) {
            result = rc;
            if (rc == SQL_ERROR)
                break;
        }
    }
    return result;
}

// The next row of the block road: 1 when there is one, 0 at the end, -1
// with the error stored.
int NextRow(Stmt *s)
{
    if (s->currentRow < s->result.rowsUsed && s->result.columnsUsed > 0)
        return 1;
    if (StmtFetchBlock(s) != 0) {
        StmtFetchErrors(s);
        return -1;
    }
    return s->result.rowsUsed > 0 && s->result.columnsUsed > 0 ? 1 : 0;
}

} // namespace

// Moves the bound columns to their ARD records plus the bind offset.
void StmtRebaseBindings(Stmt *s)
{
    const Desc *ard = s->ard;
    if (!ard || !ard->bindOffsetPtr)
        return;
    const SQLLEN off = *ard->bindOffsetPtr;
    const uint16_t count = DescRecCount(ard);
    for (uint16_t i = 0; i <= count; ++i) {
        ColBinding *b = StmtFindBoundCol(i, s);
        const DescRec *r = DescGetRec(ard, i);
        if (!b || !r)
            continue;
        if (r->dataPtr)
            b->head.data = static_cast<char *>(r->dataPtr) + off;
        if (r->indicatorPtr)
            b->head.indicatorPtr = reinterpret_cast<SQLLEN *>(reinterpret_cast<char *>(r->indicatorPtr) + off);
        if (r->octetLengthPtr)
            b->head.octetLengthPtr =
                reinterpret_cast<SQLLEN *>(reinterpret_cast<char *>(r->octetLengthPtr) + off);
    }
}

SQLRETURN StGetColumn(Stmt *s, uint32_t row, ColBindingHead *b, const RowBlock *block)
{
    StmtHost host(s);
    GetColumnCtx ctx{};
    ctx.err = &s->diag.errNum;
    ctx.gd = &s->ex->gd;
    ctx.host = &host;
    ctx.odbcVersion = StOdbcVersion(s);
    ctx.narrowUtf8 = KRS_IsUnicodeBuild();
    ctx.useBookmarks = s->cursor.useBookmarks != 0;
    ctx.deferredOutParams = s->ex->deferredClass != 0;
    SQLRETURN rc = GetColumn(ctx, row, b, block);
    if (rc == SQL_ERROR && s->diag.errNum == ERR_DATE_OVERFLOW) {
        // ODBC 3 rewrites the driver's own 22008 rows to 22007; an overflowing
        // year is 22008 "Datetime field overflow" in both versions.
        s->diag.errNum = 0;
        StmtPushError(s, "[Driver]Datetime field overflow[SQLSTATE:22008]", 0);
    }
    return rc;
}

void StmtDropResults(Stmt *s)
{
    if (!s->ex)
        return;
    StmtFreeColValue(&s->ex->gd);
    if (s->daeState == DAE_NONE && s->ex->v2Block) {
        // A V2 sequence that was abandoned leaves its copied block behind.
        RB_Free(s->ex->v2Block);
        std::free(s->ex->v2Block);
        s->ex->v2Block = nullptr;
    }
    if (s->daeState == DAE_NONE)
        StmtFreeSetPosState(s);
    ClearGetData(s);
    s->ex->gd.remaining = 0;
    s->ex->gd.rest = nullptr;
}

int StmtFetchBlock(Stmt *s)
{
    if (!StmtGetColDescs(s)) {
        if (s->diag.errNum == ERR_NONE)
            s->diag.errNum = ERR_GENERAL;
        return -1;
    }
    StmtFreeResults(s);
    const DrvOpTable *ops = StOps(s);
    const uint16_t rows = s->rowsPerBlock ? s->rowsPerBlock : 1;
    int rc = ops && ops->Fetch ? ops->Fetch(StDrv(s), rows, &s->result) : ERR_NOT_CAPABLE;
    s->diag.errNum = rc;
    return rc == 0 ? 0 : -1;
}

SQLRETURN StmtFetchForward(Stmt *s)
{
    if (s->state != STMT_EXECUTED)
        return StFail(s, ERR_FUNCTION_SEQUENCE);
    StmtRebaseBindings(s);
    int next = NextRow(s);
    if (next < 0)
        return SQL_ERROR;
    if (next == 0)
        return SQL_NO_DATA;
    ClearGetData(s);
    SQLRETURN rc = ConvertBound(s, [](const ColBinding &) { return false; });
    ++s->currentRow;
    return rc;
}

SQLRETURN StmtFetchOne(Stmt *s)
{
    StmtRebaseBindings(s);
    SQLULEN *fetched = s->rowsFetchedPtr;
    uint16_t *status = s->ird ? s->ird->arrayStatusPtr : nullptr;
    if (fetched)
        *fetched = 0;
    if (status)
        status[0] = SQL_ROW_NOROW;
    int next = NextRow(s);
    if (next < 0)
        return SQL_ERROR;
    if (next == 0)
        return SQL_NO_DATA;
    ClearGetData(s);
    if (status)
        status[0] = SQL_ROW_SUCCESS;
    if (fetched)
        *fetched = 1;
    ++s->rowCounter;
    const bool retrieve = s->cursor.retrieveData != SQL_RD_OFF;
    SQLRETURN rc = ConvertBound(s, [&](const ColBinding &b) { return !retrieve || b.head.column == 0; });
    ++s->currentRow;
    if (status && rc == SQL_SUCCESS_WITH_INFO)
        status[0] = SQL_ROW_SUCCESS_WITH_INFO;
    else if (status && rc == SQL_ERROR)
        status[0] = SQL_ROW_ERROR;
    return rc;
}

SQLRETURN StmtFetchScroll(Stmt *s, int16_t orientation, int64_t offset)
{
    if (s->state != STMT_EXECUTED)
        return StFail(s, ERR_FUNCTION_SEQUENCE);
    const bool forwardOnly = s->cursor.cursorType == SQL_CURSOR_FORWARD_ONLY;
    if (forwardOnly && orientation != SQL_FETCH_NEXT)
        return StFail(s, ERR_FETCH_TYPE_RANGE);
    if (forwardOnly && s->cursor.rowsetSize <= 1) {
        RS_Free(&s->cursor.cache);
        return StmtFetchOne(s);
    }
    if (forwardOnly)
        return StmtFetchRowsetForward(s);
    return StmtFetchScrollable(s, orientation, offset);
}

SQLRETURN StmtFetchRowsetForward(Stmt *s)
{
    return StmtFetchRowsetInto(s, s->rowsFetchedPtr, s->ird ? s->ird->arrayStatusPtr : nullptr);
}

SQLRETURN StmtFetchRowsetInto(Stmt *s, SQLULEN *rowsFetched, uint16_t *status)
{
    const int32_t size = s->cursor.rowsetSize;
    SQLULEN localFetched = 0;
    SQLULEN *fetched = rowsFetched ? rowsFetched : &localFetched;
    *fetched = 0;
    for (int32_t i = 0; status && i < size; ++i)
        status[i] = SQL_ROW_NOROW;
    RS_Free(&s->cursor.cache);
    ClearGetData(s);

    // The next rows of the block road, copied into a rowset cache.
    RowsetCache *cache = nullptr;
    int32_t rows = 0;
    for (; rows < size; ++rows) {
        int next = NextRow(s);
        if (next < 0) {
            RS_Free(&cache);
            return SQL_ERROR;
        }
        if (next == 0)
            break;
        if (!cache) {
            int rc = RS_Create(&cache, size);
            if (rc == 0)
                rc = RB_NewLike(&cache->block, &s->result, size);
            if (rc != 0) {
                RS_Free(&cache);
                return StFail(s, rc);
            }
        }
        if (int rc = RB_CopyRow(cache->block, &s->result, rows, s->currentRow, 1)) {
            RS_Free(&cache);
            return StFail(s, rc);
        }
        ++s->currentRow;
    }
    if (rows == 0) {
        CUR_PosSet(&s->cursor, CUR_POS_AFTER_END);
        return SQL_NO_DATA;
    }
    s->cursor.cache = cache;
    s->cursor.position = 1;
    s->cursor.absRow += s->cursor.prevRowsetSize > 0 ? s->cursor.prevRowsetSize : 0;
    s->cursor.prevRowsetSize = size;
    *fetched = static_cast<SQLULEN>(rows);
    s->rowCounter += static_cast<SQLULEN>(rows);

    // Every bound column of every row into the application's arrays:
    // column-wise, values lie a buffer length apart and lengths 8 bytes
    // apart; row-wise, everything lies one row structure apart.
    const Desc *ard = s->ard;
    const uint32_t bindType = ard ? ard->bindType : 0;
    const SQLLEN offset = ard && ard->bindOffsetPtr ? *ard->bindOffsetPtr : 0;
    const bool retrieve = s->cursor.retrieveData != SQL_RD_OFF;
    SQLRETURN result = SQL_SUCCESS;
    bool rowError = false;
    for (int32_t r = 0; r < rows; ++r) {
        SQLRETURN rowResult = SQL_SUCCESS;
        for (ColBindingNode *n = s->boundCols; n && retrieve; n = n->next) {
            const ColBindingHead &b = n->b.head;
            if (b.column == 0)
                continue;
            const DescRec *rec = ard ? DescGetRec(ard, b.column) : nullptr;
            char *data = static_cast<char *>(rec && rec->dataPtr ? rec->dataPtr : b.data);
            char *ind = reinterpret_cast<char *>(rec && rec->indicatorPtr ? rec->indicatorPtr : b.indicatorPtr);
            char *len = reinterpret_cast<char *>(rec && rec->octetLengthPtr ? rec->octetLengthPtr : b.octetLengthPtr);
            const int64_t valueStep = bindType ? bindType : b.bufferLength;
            const int64_t lengthStep = bindType ? bindType : static_cast<int64_t>(sizeof(SQLLEN));
            ColBindingHead one = b;
            one.data = data ? data + offset + r * valueStep : nullptr;
            one.indicatorPtr = ind ? reinterpret_cast<SQLLEN *>(ind + offset + r * lengthStep) : nullptr;
            one.octetLengthPtr = len ? reinterpret_cast<SQLLEN *>(len + offset + r * lengthStep) : nullptr;
            ClearGetData(s);
            SQLRETURN rc = StGetColumn(s, static_cast<uint32_t>(r), &one, cache->block);
            if (rc == SQL_ERROR)
                rowResult = SQL_ERROR;
            else if (rc == SQL_SUCCESS_WITH_INFO && rowResult == SQL_SUCCESS)
                rowResult = rc;
        }
        if (rowResult == SQL_ERROR)
            rowError = true;
        const uint16_t st = rowResult == SQL_ERROR ? SQL_ROW_ERROR
                            : rowResult == SQL_SUCCESS_WITH_INFO ? SQL_ROW_SUCCESS_WITH_INFO
                                                                 : SQL_ROW_SUCCESS;
        cache->status[r] = st;
        if (status)
            status[r] = st;
        if (rowResult != SQL_SUCCESS)
            result = SQL_SUCCESS_WITH_INFO;
    }
    ClearGetData(s);
    // A row that failed keeps its own diagnostic; 01S01 when it has none.
    if (rowError && s->diag.errNum == ERR_NONE)
        s->diag.errNum = ERR_ROW_ERROR;
    return result;
}

SQLRETURN StmtGetData(Stmt *s, uint16_t col, int16_t cType, void *data, int64_t bufLen, SQLLEN *lenInd)
{
    if (s->state != STMT_EXECUTED)
        return StFail(s, ERR_FUNCTION_SEQUENCE);
    ColBindingHead head{};
    head.column = col;
    head.cType = cType;
    head.data = data;
    head.bufferLength = bufLen;
    head.octetLengthPtr = lenInd;
    head.indicatorPtr = lenInd;
    if (RowsetCache *cache = s->cursor.cache) {
        uint16_t st = CUR_RowStatusGet(cache, s->cursor.position);
        if (st == SQL_ROW_ERROR || st == SQL_ROW_DELETED)
            return StFail(s, ERR_INVALID_CURSOR_POSITION);
        return StGetColumn(s, static_cast<uint32_t>(s->cursor.position - 1), &head, cache->block);
    }
    if (s->currentRow == 0)
        return StFail(s, ERR_INVALID_CURSOR_STATE);
    return StGetColumn(s, static_cast<uint32_t>(s->currentRow - 1), &head, &s->result);
}

int StmtBindCol(Stmt *s, uint16_t col, int16_t cType, void *data, int64_t bufLen, SQLLEN *lenInd)
{
    s->diag.errNum = ERR_NONE;
    int err = 0;
    if (bufLen < 0)
        err = ERR_INVALID_LENGTH;
    else if (bufLen == 0 && col != 0 && cType != SQL_C_DEFAULT)
        bufLen = CTypeSize(cType);
    if (col == 0) {
        int32_t persistence = 0;
        int rc;
        {
            PL_CsGuard connect(API_ConnectLock());
            rc = CUR_DrvGetInfo(s->cursor.binding, s->cursor.drvConn, SQL_BOOKMARK_PERSISTENCE, &persistence, 4,
                                nullptr);
        }
        if (rc != 0)
            err = rc;
        else if (persistence == 0)
            err = ERR_NOT_CAPABLE;
        else if (cType != SQL_C_VARBOOKMARK && cType != SQL_C_UBIGINT)
            err = ERR_RESTRICTED_DATA_TYPE;
        // A variable bookmark keeps the buffer length the application gave:
        // its cells lie that far apart and a longer bookmark is cut to it.
        if (cType == SQL_C_UBIGINT)
            bufLen = sizeof(SQLUBIGINT);
    }
    if (err != 0) {
        s->diag.errNum = err;
        return err;
    }
    if (data) {
        ColBinding b{};
        b.head.column = col;
        b.head.cType = cType;
        b.head.data = data;
        b.head.bufferLength = bufLen;
        b.head.octetLengthPtr = lenInd;
        b.head.indicatorPtr = lenInd;
        if (StmtSetBoundCol(s, &b) != SQL_SUCCESS) {
            s->diag.errNum = ERR_MEMORY_ALLOCATION;
            return ERR_MEMORY_ALLOCATION;
        }
    } else {
        StmtRemoveBoundCol(s, col);
    }
    if (s->ard) {
        if (DescGrowRecs(s->ard, col) != 0) {
            s->diag.errNum = ERR_MEMORY_ALLOCATION;
            return ERR_MEMORY_ALLOCATION;
        }
        if (DescRec *r = DescGetRec(s->ard, col)) {
            r->conciseType = cType;
            r->type = DescVerboseType(cType);
            r->datetimeIntervalCode = DescIntervalCode(cType);
            r->dataPtr = data;
            r->indicatorPtr = lenInd;
            r->octetLengthPtr = lenInd;
            r->octetLength = static_cast<int32_t>(bufLen > INT32_MAX ? INT32_MAX : bufLen);
        }
    }
    return 0;
}

int StmtFetchColValue(Stmt *s, int64_t pieceSize)
{
    GetDataState *gd = &s->ex->gd;
    StmtFreeColValue(gd);
    const DrvOpTable *ops = StOps(s);
    auto slot = ops ? ops->LongValue : nullptr;
    if (!slot)
        return ERR_NOT_CAPABLE;
    int rc = slot(StDrv(s), gd->column, gd->row, pieceSize, &gd->value, &gd->pieceLen, &gd->valueType, &gd->total);
    if (rc != 0) {
        StmtFetchErrors(s);
        return rc;
    }
    if (gd->pieceLen != 0) {
        gd->ownsValue = 1;
        return 0;
    }
    if (gd->total != 0 && pieceSize == 0)
        return 0;
    return ERR_NO_DATA_FOUND;
}

void StmtFreeColValue(GetDataState *gd)
{
    if (gd->ownsValue && gd->value) {
        if (gd->valueType == VT_HEAP_TEXT || gd->valueType == VT_HEAP_BINARY || gd->valueType == VT_HEAP_WTEXT)
            std::free(static_cast<LongDataBuf *>(gd->value)->data);
        std::free(gd->value);
        gd->value = nullptr;
    }
    gd->ownsValue = 0;
}

SQLRETURN ST_BindCol(Stmt *s, SQLUSMALLINT col, SQLSMALLINT cType, SQLPOINTER data, SQLLEN bufLen, SQLLEN *lenInd)
{
    return StmtBindCol(s, col, cType, data, bufLen, lenInd) ? SQL_ERROR : SQL_SUCCESS;
}

SQLRETURN ST_Fetch(Stmt *s)
{
    if (StOdbcVersion(s) == 2)
        return StmtFetchForward(s);
    return StmtFetchScroll(s, SQL_FETCH_NEXT, 0);
}

SQLRETURN ST_FetchScroll(Stmt *s, SQLSMALLINT orientation, SQLLEN offset)
{
    return StmtFetchScroll(s, orientation, offset);
}

SQLRETURN ST_GetData(Stmt *s, SQLUSMALLINT col, SQLSMALLINT cType, SQLPOINTER data, SQLLEN bufLen, SQLLEN *lenInd)
{
    return StmtGetData(s, col, cType, data, bufLen, lenInd);
}

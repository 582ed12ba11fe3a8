// SQLSetPos and SQLBulkOperations over a scripted cursor library: the
// argument and row checks, what reaches the positioned and bulk operations
// (rows, value blocks, column lists, bookmarks), the statuses written back,
// values given at execution, and the statement options left as they were.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "exec/st_internal.h"
#include "exec/st_setpos.h"
#include "odbc/contract/drv_items.h"
#include "odbc/contract/handle_table.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/handles.h"
#include "odbc/startup.h"
#include "tests/unit/odbc_test_support.h"

namespace {

SQLCHAR *Sql(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

// One call of the positioned operation as the library saw it.
struct PosSeen {
    int32_t row;
    uint16_t op;
    std::vector<uint16_t> cols;
    std::vector<std::vector<int16_t>> indicators;  // per column, per row
    std::vector<std::string> text;                 // column 0's values as text (NTS), "" otherwise
    std::vector<ValueType> types;
    std::vector<std::string> heap;                 // row 0's heap value of each heap column
    std::vector<uint32_t> widths;
    std::vector<std::string> firstText;            // row 0's NTS value of each column, "" otherwise
};

struct Lib {
    int32_t rows = 10;            // rows of the result
    int32_t partialFrom = 0;      // rows from here on are never fetched (0: none)
    uint16_t statusOfRow2 = SQL_ROW_SUCCESS;
    std::vector<PosSeen> setPos;
    int setPosAnswer = 0;
    uint16_t answerStatus = SQL_ROW_UPDATED;
    std::vector<std::vector<uint32_t>> bookmarks;
    std::vector<uint16_t> bulkOps;
    std::vector<std::string> bulkValues;   // the first text column of the last bulk update
    int scrollFetches = 0;
    int32_t cursorType = SQL_CURSOR_FORWARD_ONLY;
    int32_t concurrency = SQL_CONCUR_READ_ONLY;
    // A back end that gathers values given at execution itself: the entry
    // of the column list and the row it asks for next (-1 none), and the
    // pieces it received.
    int32_t askIndex = -1;
    int32_t askRow = 0;
    std::vector<std::string> pieces;
};
Lib *lib;
Stmt *g_stmt;

int L_Prepare(int, const char *) { return 0; }
int L_GetParamDescs(int, uint16_t *count, ColDesc **out)
{
    *count = 0;
    *out = nullptr;
    return 0;
}
// Two columns: id (integer, writable) and name (text, writable); a third,
// ro, is read-only.
int L_GetColDescs(int, uint16_t *count, ColDesc **out)
{
    *count = 3;
    *out = CD_Alloc(3);
    const char *names[] = {"id", "name", "ro"};
    for (int i = 0; i < 3; ++i) {
        std::strcpy((*out)[i].name, names[i]);
        (*out)[i].sqlType = SQL_INTEGER;
        (*out)[i].valueType = VT_LONG;
        (*out)[i].columnSize = 10;
        (*out)[i].bufferLength = 4;
        (*out)[i].attrFlags = (i == 2 ? 1u : 2u) << CD_UPDATABLE_SHIFT;
    }
    return 0;
}
int L_ExecDirect(int, const char *, RowBlock *b, int16_t, const ParamTypeDesc *)
{
    if (b) {
        RB_Free(b);
        std::free(b);
    }
    return 0;
}
int L_Execute(int) { return 0; }
int L_GetInfo(int, int code, void *buf, int16_t, int16_t *)
{
    int32_t v = 0;
    if (code == DrvInt(DrvStmtOption(SQL_CURSOR_TYPE)))
        v = lib->cursorType;
    else if (code == DrvInt(DrvStmtOption(SQL_CONCURRENCY)))
        v = lib->concurrency;
    else if (code == DrvInt(DrvConnInfo(SQL_FETCH_DIRECTION)))
        v = 0xBF;
    else if (code == DrvInt(DrvConnInfo(SQL_BOOKMARK_PERSISTENCE)))
        v = SQL_BP_SCROLL;
    std::memcpy(buf, &v, 4);
    return 0;
}
int L_SetOption(int, int code, void *value)
{
    if (code == DrvInt(DrvStmtOption(SQL_CURSOR_TYPE)))
        lib->cursorType = *static_cast<int32_t *>(value);
    if (code == DrvInt(DrvStmtOption(SQL_CONCURRENCY)))
        lib->concurrency = *static_cast<int32_t *>(value);
    return 0;
}
int L_CloseCursor(int) { return 0; }

// Rows 0 .. count - 1 of a rowset: the rows numbered rowOf(i), three
// columns each, the row number times ten, 100 + it and 7.
template <class RowOf>
void RowsPut(RowsetCache *c, int32_t count, RowOf rowOf)
{
    ColDesc d[3]{};
    for (ColDesc &x : d) {
        x.valueType = VT_LONG;
        x.columnSize = 10;
        x.bufferLength = 4;
    }
    RB_Free(c->block);
    RB_InitFromColDescs(d, 3, count, c->block);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t row = rowOf(i);
        const int32_t v[3] = {row * 10, 100 + row, 7};
        for (int k = 0; k < 3; ++k) {
            std::memcpy(c->block->columns[k].data + 4 * i, &v[k], 4);
            c->block->columns[k].indicators[i] = 0;
        }
        c->status[i] = SQL_ROW_SUCCESS;
    }
    c->block->rowsUsed = count;
}

// A static cursor over rows 1..n (as RowsPut makes them); with partialFrom
// set, rows from there on are missing from the rowset.
int L_ScrollFetch(int, const CursorOptions *, RowsetCache **cache, int row, int *rowsOut, int *rowCount, int)
{
    ++lib->scrollFetches;
    const int32_t r = g_stmt->cursor.rowsetSize;
    const int32_t n = lib->rows;
    *rowCount = n;
    const int32_t a = row >= 1 ? row - 1 : 0;
    if (a > n - 1)
        return ERR_BEYOND_END;
    RowsetCache *c = nullptr;
    if (int rc = RS_Create(&c, r))
        return rc;
    int32_t got = n - a < r ? n - a : r;
    if (lib->partialFrom && got > lib->partialFrom - 1)
        got = lib->partialFrom - 1;
    RowsPut(c, got, [a](int32_t i) { return a + i + 1; });
    if (got >= 2)
        c->status[1] = lib->statusOfRow2;
    // Where the rowset starts: the target row, or the last rowset or a row
    // counted from the end, decoded here.
    c->firstRow = row >= 1 ? row : std::max(1, row < 0 ? n + row + 1 : n - r + 1);
    *cache = c;
    *rowsOut = got;
    return 0;
}

int L_SetPos(int, const CursorOptions *, int32_t row, uint16_t op, uint16_t, uint16_t **statuses, uint16_t *count,
             RowBlock *data, uint16_t *cols, uint16_t colCount)
{
    PosSeen seen{row, op, {}, {}, {}, {}, {}, {}, {}};
    if (cols)
        seen.cols.assign(cols, cols + colCount);
    bool asks = false;
    if (data) {
        for (uint16_t c = 0; c < data->columnsUsed; ++c) {
            const RowBlockColumn &col = data->columns[c];
            seen.types.push_back(col.valueType);
            seen.widths.push_back(col.width);
            seen.firstText.emplace_back(col.valueType == VT_NTS && data->rowsUsed > 0 && col.indicators[0] == 0
                                            ? reinterpret_cast<const char *>(col.data)
                                            : "");
            for (int32_t r = 0; r < data->rowsUsed && !asks; ++r)
                if (col.indicators[r] == RB_IND_AT_EXEC) {
                    lib->askIndex = c;
                    lib->askRow = r;
                    asks = true;
                }
            seen.indicators.emplace_back(col.indicators, col.indicators + data->rowsUsed);
            if (col.valueType == VT_HEAP_BINARY && data->rowsUsed > 0) {
                LongDataBuf heap;
                std::memcpy(&heap, col.data, sizeof heap);
                seen.heap.emplace_back(heap.data ? heap.data : "", heap.length);
            }
        }
        if (data->columnsUsed && data->columns[0].valueType == VT_NTS)
            for (int32_t r = 0; r < data->rowsUsed; ++r)
                seen.text.emplace_back(reinterpret_cast<const char *>(data->columns[0].data) +
                                       static_cast<size_t>(r) * data->columns[0].width);
        RB_Free(data);
        std::free(data);
    }
    std::free(cols);
    lib->setPos.push_back(seen);
    if (asks)
        return ERR_NEED_DATA;  // the statuses come at the end of the sequence
    if (statuses) {
        const int32_t n = row == -2 ? g_stmt->cursor.rowsetSize : 1;
        *statuses = static_cast<uint16_t *>(std::malloc(static_cast<size_t>(n) * 2));
        for (int32_t i = 0; i < n; ++i)
            (*statuses)[i] = lib->answerStatus;
        if (count)
            *count = static_cast<uint16_t>(n);
    }
    return lib->setPosAnswer;
}

// Slots 38 and 39 of a back end that gathers values itself: the value it
// asks for, then, once it has them, the outcome and the statuses.
int L_V2ParamData(int, int32_t *index, int32_t *row, uint16_t **statuses, void *)
{
    if (lib->askIndex >= 0) {
        *index = lib->askIndex;
        *row = lib->askRow;
        lib->askIndex = -1;
        return ERR_NEED_DATA;
    }
    const int32_t n = g_stmt->cursor.setPosRow == 0 ? g_stmt->cursor.rowsetSize : 1;
    *statuses = static_cast<uint16_t *>(std::malloc(static_cast<size_t>(n) * 2));
    for (int32_t i = 0; i < n; ++i)
        (*statuses)[i] = lib->answerStatus;
    return lib->setPosAnswer;
}
int L_V2PutData(int, ValueType, int indicator, const void *piece, int64_t size)
{
    lib->pieces.push_back(indicator ? "<null>" : std::string(static_cast<const char *>(piece), size));
    return 0;
}

int L_Bulk(int, const CursorOptions *, uint16_t op, const uint32_t *bookmarks, uint16_t count, RowBlock *data,
           uint16_t *cols, uint16_t, uint16_t **statuses, uint16_t *done, RowsetCache **rowset)
{
    lib->bulkOps.push_back(op);
    lib->bookmarks.emplace_back(bookmarks, bookmarks + count);
    *statuses = static_cast<uint16_t *>(std::malloc(count * 2u));
    for (uint16_t i = 0; i < count; ++i)
        (*statuses)[i] = op == SQL_DELETE_BY_BOOKMARK ? SQL_ROW_DELETED
                         : op == SQL_FETCH_BY_BOOKMARK ? SQL_ROW_SUCCESS
                                                       : SQL_ROW_UPDATED;
    *done = count;
    lib->bulkValues.clear();
    for (uint16_t c = 0; data && c < data->columnsUsed && lib->bulkValues.empty(); ++c)
        for (int32_t r = 0; data->columns[c].valueType == VT_NTS && r < data->rowsUsed; ++r)
            lib->bulkValues.emplace_back(reinterpret_cast<const char *>(data->columns[c].data) +
                                         static_cast<size_t>(r) * data->columns[c].width);
    if (rowset) {
        // The rows of the bookmarks, in the caller's order: the same values
        // as the static cursor's rows.
        RowsetCache *c = nullptr;
        RS_Create(&c, g_stmt->cursor.rowsetSize);
        RowsPut(c, count, [bookmarks](int32_t i) { return static_cast<int32_t>(bookmarks[i]); });
        *rowset = c;
    }
    if (data) {
        RB_Free(data);
        std::free(data);
    }
    std::free(cols);
    return 0;
}

class SetPos : public ::testing::Test {
protected:
    FakeSession session;
    Lib script;
    DrvOpTable table{};
    SQLHSTMT h = nullptr;
    Stmt *s = nullptr;
    SQLINTEGER ids[8] = {};
    SQLLEN idInd[8] = {};
    SQLCHAR names[8][16] = {};
    SQLLEN nameInd[8] = {};
    SQLUSMALLINT status[8] = {};
    SQLULEN fetched = 0;

    void SetUp() override
    {
        lib = &script;
        table = *session.fake.Table();
        table.Prepare = L_Prepare;
        table.GetParamDescs = L_GetParamDescs;
        table.GetColDescs = L_GetColDescs;
        table.ExecDirect = L_ExecDirect;
        table.Execute = L_Execute;
        table.GetInfo = L_GetInfo;
        table.SetOption = L_SetOption;
        table.CloseCursor = L_CloseCursor;
        table.ScrollFetch = L_ScrollFetch;
        table.SetPos = L_SetPos;
        table.BulkOperations = L_Bulk;
        Conn *conn = static_cast<Conn *>(HT_Lookup(&ConnTable, HT_HandleIn(session.dbc)));
        ASSERT_NE(conn, nullptr);
        conn->binding.ops = &table;
        conn->cn_hasExecute2 = 1;
        conn->cn_hasScrlCurs = 1;
        conn->cn_hasDynMixCurs = 1;
        conn->cn_hasParamOp = 1;
        conn->cn_fetchSize = 60;
        h = session.NewStmt();
        s = static_cast<Stmt *>(HT_Lookup(&StmtTable, HT_HandleIn(h)));
        ASSERT_NE(s, nullptr);
        g_stmt = s;
    }
    void TearDown() override
    {
        lib = nullptr;
        g_stmt = nullptr;
    }
    std::string State() { return DiagState(SQL_HANDLE_STMT, h); }
    // The bulk engine called directly, its error number read from the
    // statement.
    // SQLSetPos(2, SQL_UPDATE) with the name given at execution in pieces.
    void Values();
    SQLRETURN Bulk(uint16_t op)
    {
        s->diag.errNum = ERR_NONE;
        return StmtBulkOperations(s, op);
    }
    // A static cursor with the given concurrency, rowset size 4, id and name
    // bound column-wise (name as text), fetched at its first rowset.
    void Open(SQLULEN concurrency = SQL_CONCUR_VALUES, bool fetch = true)
    {
        ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(4), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
        script.concurrency = static_cast<int32_t>(concurrency);
        s->cursor.concurrency = static_cast<int32_t>(concurrency);
        ASSERT_EQ(SQLExecDirect(h, Sql("select id, name, ro from t"), SQL_NTS), SQL_SUCCESS) << State();
        ASSERT_EQ(SQLBindCol(h, 1, SQL_C_SLONG, ids, 0, idInd), SQL_SUCCESS);
        ASSERT_EQ(SQLBindCol(h, 2, SQL_C_CHAR, names, 16, nameInd), SQL_SUCCESS);
        if (fetch) {
            ASSERT_TRUE(SQL_SUCCEEDED(SQLFetchScroll(h, SQL_FETCH_FIRST, 0))) << State();
        }
    }
};

TEST_F(SetPos, RequestsRefusedBeforeAnythingIsSent)
{
    struct Case {
        const char *what;
        SQLULEN concurrency;
        bool fetch;
        SQLSETPOSIROW row;
        SQLUSMALLINT op;
        SQLUSMALLINT lock;
        int32_t partialFrom;
        uint16_t row2;
        const char *state;
    } cases[] = {
        {"lock type", SQL_CONCUR_VALUES, true, 1, SQL_POSITION, SQL_LOCK_EXCLUSIVE, 0, 0, "HYC00"},
        {"operation above ADD", SQL_CONCUR_VALUES, true, 1, 5, SQL_LOCK_NO_CHANGE, 0, 0, "HYC00"},
        {"UPDATE read-only", SQL_CONCUR_READ_ONLY, true, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE, 0, 0, "HY009"},
        {"DELETE read-only", SQL_CONCUR_READ_ONLY, true, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE, 0, 0, "HY009"},
        {"ADD read-only", SQL_CONCUR_READ_ONLY, true, 1, SQL_ADD, SQL_LOCK_NO_CHANGE, 0, 0, "HY009"},
        {"before the first fetch", SQL_CONCUR_VALUES, false, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE, 0, 0, "24000"},
        {"row past the rowset", SQL_CONCUR_VALUES, true, 5, SQL_UPDATE, SQL_LOCK_NO_CHANGE, 0, 0, "HY107"},
        {"row past a partial rowset", SQL_CONCUR_VALUES, true, 3, SQL_POSITION, SQL_LOCK_NO_CHANGE, 3, 0, "HY107"},
        {"ADD past the rowset", SQL_CONCUR_VALUES, true, 5, SQL_ADD, SQL_LOCK_NO_CHANGE, 0, 0, "HY107"},
        {"UPDATE a deleted row", SQL_CONCUR_VALUES, true, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE, 0, SQL_ROW_DELETED,
         "HY109"},
        {"REFRESH a failed row", SQL_CONCUR_VALUES, true, 2, SQL_REFRESH, SQL_LOCK_NO_CHANGE, 0, SQL_ROW_ERROR,
         "HY109"},
        {"every row, one deleted", SQL_CONCUR_VALUES, true, 0, SQL_DELETE, SQL_LOCK_NO_CHANGE, 0, SQL_ROW_DELETED,
         "HY109"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SQLFreeStmt(h, SQL_CLOSE);
        SQLFreeStmt(h, SQL_UNBIND);
        script.partialFrom = c.partialFrom;
        script.statusOfRow2 = c.row2 ? c.row2 : SQL_ROW_SUCCESS;
        script.setPos.clear();
        Open(c.concurrency, c.fetch);
        const int32_t position = s->cursor.position;
        EXPECT_EQ(SQLSetPos(h, c.row, c.op, c.lock), SQL_ERROR);
        EXPECT_EQ(State(), c.state);
        EXPECT_TRUE(script.setPos.empty());
        EXPECT_EQ(s->cursor.position, position) << "the position stays";
    }
    // A forward-only cursor cannot be positioned at all.
    SQLFreeStmt(h, SQL_CLOSE);
    SQLFreeStmt(h, SQL_UNBIND);
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(h, Sql("select id from t"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLSetPos(h, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_ERROR);
    EXPECT_EQ(State(), "HY109");
}

TEST_F(SetPos, PositionThenGetDataReadsThatRow)
{
    Open();
    ASSERT_EQ(SQLSetPos(h, 3, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State();
    ASSERT_EQ(script.setPos.size(), 1u);
    EXPECT_EQ(script.setPos[0].row, 3);
    SQLINTEGER v = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQLGetData(h, 1, SQL_C_SLONG, &v, 0, &ind), SQL_SUCCESS) << State();
    EXPECT_EQ(v, 30);
    SQLULEN number = 0;
    ASSERT_EQ(SQLGetStmtAttr(h, SQL_ATTR_ROW_NUMBER, &number, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(number, 3u);
}

TEST_F(SetPos, RefreshConvertsTheCacheAgainWithoutTheLibrary)
{
    Open();
    ids[1] = -1;
    s->cursor.cache->status[0] = SQL_ROW_UPDATED;
    const int fetchesBefore = script.scrollFetches;
    ASSERT_EQ(SQLSetPos(h, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State();
    EXPECT_EQ(ids[1], 20);
    EXPECT_EQ(status[0], SQL_ROW_SUCCESS) << "an updated row reads as success";
    EXPECT_EQ(script.scrollFetches, fetchesBefore);
    EXPECT_TRUE(script.setPos.empty());
}

TEST_F(SetPos, UpdateSendsTheWritableBoundColumnsOfItsRow)
{
    SQLINTEGER ro[4] = {};
    Open();
    ASSERT_EQ(SQLBindCol(h, 3, SQL_C_SLONG, ro, 0, nullptr), SQL_SUCCESS);
    std::strcpy(reinterpret_cast<char *>(names[2]), "third");
    nameInd[2] = SQL_NTS;
    // Row 1 is marked to be ignored: a single-row update of row 3 reads row
    // 3's own entry.
    SQLUSMALLINT rowOps[4] = {SQL_ROW_IGNORE, SQL_ROW_PROCEED, SQL_ROW_PROCEED, SQL_ROW_PROCEED};
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROW_OPERATION_PTR, rowOps, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0), SQL_SUCCESS);
    status[2] = 99;
    ASSERT_EQ(SQLSetPos(h, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State();
    ASSERT_EQ(script.setPos.size(), 1u);
    const PosSeen &p = script.setPos[0];
    EXPECT_EQ(p.row, 3);
    EXPECT_EQ(p.op, SQL_UPDATE);
    EXPECT_EQ(p.cols, (std::vector<uint16_t>{1, 2})) << "the read-only column is left out";
    ASSERT_EQ(p.indicators.size(), 2u);
    EXPECT_EQ(p.indicators[0], (std::vector<int16_t>{RB_IND_VALUE}));
    EXPECT_EQ(status[2], SQL_ROW_UPDATED);
    EXPECT_EQ(s->cursor.cache->status[2], SQL_ROW_UPDATED);
    SQLULEN paramset = 0;
    SQLGetStmtAttr(h, SQL_ATTR_PARAMSET_SIZE, &paramset, 0, nullptr);
    EXPECT_EQ(paramset, 3u) << "the application's parameter set size stays";
}

TEST_F(SetPos, EveryRowSkipsRowsIgnoredAndRowsNeverFetched)
{
    script.partialFrom = 4;   // three rows of a rowset of four
    Open();
    SQLUSMALLINT rowOps[4] = {SQL_ROW_PROCEED, SQL_ROW_IGNORE, SQL_ROW_PROCEED, SQL_ROW_PROCEED};
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROW_OPERATION_PTR, rowOps, 0), SQL_SUCCESS);
    script.answerStatus = SQL_ROW_DELETED;
    status[1] = 77;
    ASSERT_EQ(SQLSetPos(h, 0, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State();
    ASSERT_EQ(script.setPos.size(), 1u);
    EXPECT_EQ(script.setPos[0].row, -2);
    EXPECT_EQ(script.setPos[0].indicators[0], (std::vector<int16_t>{RB_IND_NULL, RB_IND_IGNORED, RB_IND_NULL}))
        << "the rows fetched, the ignored one marked";
    EXPECT_EQ(status[0], SQL_ROW_DELETED);
    EXPECT_EQ(status[1], 77) << "an ignored row's entry is not written";
    EXPECT_EQ(status[3], SQL_ROW_NOROW) << "a row never fetched stays no row";
    EXPECT_EQ(s->cursor.position, -2);
}

TEST_F(SetPos, RowOutcomesOfTheOperation)
{
    struct Case {
        int answer;
        uint16_t rowStatus;
        SQLRETURN rc;
        const char *state;
    } cases[] = {
        {ERR_NO_ROWS_CHANGED, SQL_ROW_ERROR, SQL_SUCCESS_WITH_INFO, "01001"},
        {ERR_MANY_ROWS_CHANGED, SQL_ROW_UPDATED, SQL_SUCCESS_WITH_INFO, "01001"},
        {ERR_ROW_ERROR, SQL_ROW_ERROR, SQL_ERROR, "01S01"},
        {ERR_GENERAL, SQL_ROW_ERROR, SQL_ERROR, "HY000"},
    };
    Open();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answer);
        // A row in error takes no change until it is fetched again.
        ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_FIRST, 0), SQL_SUCCESS);
        script.setPosAnswer = c.answer;
        script.answerStatus = c.rowStatus;
        status[0] = 55;
        EXPECT_EQ(SQLSetPos(h, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), c.rc);
        EXPECT_EQ(State(), c.state);
        EXPECT_EQ(status[0], c.answer == ERR_GENERAL ? 55 : c.rowStatus) << "statuses of a row outcome are written";
    }
}

TEST_F(SetPos, ValuesTravelAsTheirTextOrStruct)
{
    Open();
    SQLFreeStmt(h, SQL_UNBIND);
    SQLBIGINT big[4] = {-42};
    SQLLEN bigInd[4] = {0};
    ASSERT_EQ(SQLBindCol(h, 1, SQL_C_SBIGINT, big, 0, bigInd), SQL_SUCCESS);
    struct Case {
        const char *text;
        SQLLEN ind;
        const char *sent;   // null: NULL
    } cases[] = {
        {"plain", SQL_NTS, "plain"},
        {"{d '2024-02-29'}", SQL_NTS, "2024-02-29"},
        {"{ts '2024-02-29 10:11:12'}", SQL_NTS, "2024-02-29 10:11:12"},
        {"{not an escape", SQL_NTS, "{not an escape"},
        {"cut here", 3, "cut"},
        {"gone", SQL_NULL_DATA, nullptr},
    };
    char texts[4][40] = {};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        SQLFreeStmt(h, SQL_UNBIND);
        ASSERT_EQ(SQLBindCol(h, 2, SQL_C_CHAR, texts, 40, nameInd), SQL_SUCCESS);
        ASSERT_EQ(SQLBindCol(h, 1, SQL_C_SBIGINT, big, 0, bigInd), SQL_SUCCESS);
        std::strcpy(texts[0], c.text);
        nameInd[0] = c.ind;
        script.setPos.clear();
        ASSERT_EQ(SQLSetPos(h, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State();
        ASSERT_EQ(script.setPos.size(), 1u);
        const PosSeen &p = script.setPos[0];
        ASSERT_EQ(p.cols, (std::vector<uint16_t>{2, 1})) << "binding order";
        EXPECT_EQ(p.types[0], VT_NTS);
        EXPECT_EQ(p.types[1], VT_NTS) << "a 64-bit integer goes as text";
        if (c.sent) {
            ASSERT_EQ(p.text.size(), 1u);
            EXPECT_EQ(p.text[0], c.sent);
        } else {
            EXPECT_EQ(p.indicators[0][0], RB_IND_NULL);
        }
    }
}

TEST_F(SetPos, ValuesGivenAtExecutionArriveThroughPutData)
{
    Open();
    Values();
}

// A back end that gathers values given at execution itself gets the second
// engine: the block goes at once, such a value marked for the back end to
// ask for, text as given and only as wide as it is; the values reach the
// back end piece by piece, and its statuses end the call.
TEST_F(SetPos, SecondEngineLeavesValuesGivenAtExecutionToTheBackEnd)
{
    table.ParamData = L_V2ParamData;
    table.PutData = L_V2PutData;
    s->conn->cn_hasV2DAE = 1;
    Open();

    std::strcpy(reinterpret_cast<char *>(names[0]), "{d '2024-02-29'}");
    nameInd[0] = SQL_NTS;
    ASSERT_EQ(SQLSetPos(h, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State();
    ASSERT_EQ(script.setPos.size(), 1u);
    ASSERT_EQ(script.setPos[0].cols, (std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(script.setPos[0].firstText[1], "{d '2024-02-29'}") << "escapes are the back end's";
    EXPECT_EQ(script.setPos[0].widths[1], 17u) << "the longest value and its terminator";
    EXPECT_EQ(status[0], SQL_ROW_UPDATED);

    script.setPos.clear();
    status[1] = 0;
    nameInd[1] = SQL_LEN_DATA_AT_EXEC(0);
    ASSERT_EQ(SQLSetPos(h, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_NEED_DATA) << State();
    ASSERT_EQ(script.setPos.size(), 1u) << "sent before the values";
    EXPECT_EQ(script.setPos[0].indicators[1], (std::vector<int16_t>{RB_IND_AT_EXEC}));
    EXPECT_EQ(status[1], 0) << "no status before the end";
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(h, &token), SQL_NEED_DATA) << State();
    EXPECT_EQ(token, static_cast<SQLPOINTER>(names[1])) << "the row's own buffer";
    ASSERT_EQ(SQLPutData(h, const_cast<char *>("abc"), 3), SQL_SUCCESS) << State();
    ASSERT_EQ(SQLPutData(h, const_cast<char *>("defgh"), SQL_NTS), SQL_SUCCESS) << State();
    EXPECT_EQ(script.pieces, (std::vector<std::string>{"abc", "defgh"}));
    ASSERT_EQ(SQLParamData(h, &token), SQL_SUCCESS) << State();
    EXPECT_EQ(script.setPos.size(), 1u) << "nothing sent again";
    EXPECT_EQ(status[1], SQL_ROW_UPDATED);
    EXPECT_EQ(s->cursor.cache->status[1], SQL_ROW_UPDATED);
    EXPECT_EQ(SQLParamData(h, &token), SQL_ERROR);
    EXPECT_EQ(State(), "HY010") << "the sequence is over";

    // A row outcome at the end still writes the statuses.
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetchScroll(h, SQL_FETCH_FIRST, 0))) << State();
    script.answerStatus = SQL_ROW_ERROR;
    script.setPosAnswer = ERR_NO_ROWS_CHANGED;
    nameInd[1] = SQL_DATA_AT_EXEC;
    ASSERT_EQ(SQLSetPos(h, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_NEED_DATA) << State();
    ASSERT_EQ(SQLParamData(h, &token), SQL_NEED_DATA) << State();
    ASSERT_EQ(SQLPutData(h, const_cast<char *>("x"), 1), SQL_SUCCESS) << State();
    EXPECT_EQ(SQLParamData(h, &token), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(status[1], SQL_ROW_ERROR);

    // DELETE of every row, and a row no 16-bit row number reaches.
    script.setPosAnswer = 0;
    script.answerStatus = SQL_ROW_DELETED;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetchScroll(h, SQL_FETCH_FIRST, 0))) << State();
    script.setPos.clear();
    ASSERT_EQ(SQLSetPos(h, 0, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State();
    ASSERT_EQ(script.setPos.size(), 1u);
    EXPECT_EQ(script.setPos[0].row, -2);
    EXPECT_EQ(status[3], SQL_ROW_DELETED);
    EXPECT_EQ(SQLSetPos(h, 70000, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_ERROR);
    EXPECT_EQ(State(), "HY107");
    s->conn->cn_hasV2DAE = 0;
}

void SetPos::Values()
{
    nameInd[1] = SQL_LEN_DATA_AT_EXEC(0);
    ASSERT_EQ(SQLSetPos(h, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_NEED_DATA) << State();
    EXPECT_TRUE(script.setPos.empty());
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(h, &token), SQL_NEED_DATA);
    EXPECT_EQ(token, static_cast<SQLPOINTER>(names[1])) << "the row's own buffer";
    ASSERT_EQ(SQLPutData(h, const_cast<char *>("abc"), 3), SQL_SUCCESS);
    ASSERT_EQ(SQLPutData(h, const_cast<char *>("defgh"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLParamData(h, &token), SQL_SUCCESS) << State();
    ASSERT_EQ(script.setPos.size(), 1u);
    EXPECT_EQ(script.setPos[0].row, 2);
    ASSERT_EQ(script.setPos[0].cols, (std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(status[1], SQL_ROW_UPDATED);
    // The sequence is over.
    EXPECT_EQ(SQLParamData(h, &token), SQL_ERROR);
    EXPECT_EQ(State(), "HY010");
}

// A long binary value in pieces: the whole value travels as one heap cell,
// every byte in place.
TEST_F(SetPos, LongBinaryValueInPieces)
{
    Open();
    SQLFreeStmt(h, SQL_UNBIND);
    char bytes[4][8] = {};
    SQLLEN lens[4] = {};
    ASSERT_EQ(SQLBindCol(h, 2, SQL_C_BINARY, bytes, 8, lens), SQL_SUCCESS);
    lens[2] = SQL_LEN_DATA_AT_EXEC(100000);
    ASSERT_EQ(SQLSetPos(h, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_NEED_DATA) << State();
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(h, &token), SQL_NEED_DATA);
    EXPECT_EQ(token, static_cast<SQLPOINTER>(bytes[2]));
    std::string whole;
    for (int i = 0; i < 100000; ++i)
        whole += static_cast<char>(i * 7 % 251);
    for (size_t at = 0; at < whole.size(); at += 7000) {
        const SQLLEN n = static_cast<SQLLEN>(std::min<size_t>(7000, whole.size() - at));
        ASSERT_EQ(SQLPutData(h, &whole[at], n), SQL_SUCCESS);
    }
    ASSERT_EQ(SQLParamData(h, &token), SQL_SUCCESS) << State();
    ASSERT_EQ(script.setPos.size(), 1u);
    const PosSeen &p = script.setPos[0];
    ASSERT_EQ(p.types, (std::vector<ValueType>{VT_HEAP_BINARY}));
    ASSERT_EQ(p.heap.size(), 1u);
    EXPECT_TRUE(p.heap[0] == whole) << "length " << p.heap[0].size();
}

TEST_F(SetPos, AddTakesBufferRowsWithoutReadingStatuses)
{
    script.partialFrom = 2;   // one row fetched of four
    Open();
    script.answerStatus = SQL_ROW_ADDED;
    ASSERT_EQ(SQLSetPos(h, 4, SQL_ADD, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State();
    ASSERT_EQ(script.setPos.size(), 1u);
    EXPECT_EQ(script.setPos[0].row, 4);
    EXPECT_EQ(status[3], SQL_ROW_ADDED);
    EXPECT_EQ(s->cursor.position, 1) << "ADD leaves the position";
}

TEST_F(SetPos, BulkOperationsByBookmark)
{
    Open(SQL_CONCUR_VALUES, false);
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_USE_BOOKMARKS, reinterpret_cast<SQLPOINTER>(SQL_UB_VARIABLE), 0),
              SQL_SUCCESS);
    SQLFreeStmt(h, SQL_CLOSE);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Sql("select id, name, ro from t"), SQL_NTS))) << State();
    s->cursor.concurrency = SQL_CONCUR_VALUES;
    SQLBIGINT marks[4] = {};
    SQLLEN markInd[4] = {};
    ASSERT_EQ(SQLBindCol(h, 0, SQL_C_UBIGINT, marks, 8, markInd), SQL_SUCCESS) << State();
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_ABSOLUTE, 5), SQL_SUCCESS) << State();
    EXPECT_EQ(marks[0], 5);
    EXPECT_EQ(marks[3], 8);

    // Bookmarks in any order of the current rowset reach the library as given.
    marks[0] = 7;
    marks[1] = 5;
    marks[2] = 8;
    marks[3] = 6;
    ASSERT_EQ(Bulk(SQL_DELETE_BY_BOOKMARK), SQL_SUCCESS) << s->diag.errNum;
    ASSERT_EQ(script.bookmarks.size(), 1u);
    EXPECT_EQ(script.bookmarks[0], (std::vector<uint32_t>{7, 5, 8, 6}));
    EXPECT_EQ(status[2], SQL_ROW_DELETED);

    // Afterwards the rowset's place is unknown: bookmarks no longer name it
    // and NEXT is refused until an absolute move.
    EXPECT_EQ(Bulk(SQL_UPDATE_BY_BOOKMARK), SQL_ERROR);
    EXPECT_EQ(s->diag.errNum, ERR_BOOKMARK_OUTSIDE_ROWSET);
    EXPECT_EQ(SQLFetchScroll(h, SQL_FETCH_NEXT, 0), SQL_ERROR);
    EXPECT_EQ(State(), "HY106");
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_FIRST, 0), SQL_SUCCESS);
    marks[0] = 9;
    EXPECT_EQ(Bulk(SQL_UPDATE_BY_BOOKMARK), SQL_ERROR);
    EXPECT_EQ(s->diag.errNum, ERR_BOOKMARK_OUTSIDE_ROWSET) << "a bookmark outside the rowset is refused before anything is sent";
    EXPECT_EQ(script.bookmarks.size(), 1u);

    // No rows: nothing happens.
    s->ard->arraySize = 0;
    EXPECT_EQ(Bulk(SQL_DELETE_BY_BOOKMARK), SQL_SUCCESS);
    EXPECT_EQ(script.bookmarks.size(), 1u);
}

// Fetch by bookmark replaces the rowset with the rows in the caller's
// order; an update by bookmark gathers values given at execution first.
TEST_F(SetPos, BulkFetchAndUpdateByBookmark)
{
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_USE_BOOKMARKS, reinterpret_cast<SQLPOINTER>(SQL_UB_VARIABLE), 0),
              SQL_SUCCESS);
    Open();
    SQLBIGINT marks[4] = {};
    SQLLEN markInd[4] = {};
    ASSERT_EQ(SQLBindCol(h, 0, SQL_C_UBIGINT, marks, 8, markInd), SQL_SUCCESS) << State();
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetchScroll(h, SQL_FETCH_ABSOLUTE, 3))) << State();
    marks[0] = 6;
    marks[1] = 3;
    marks[2] = 5;
    marks[3] = 4;
    ASSERT_EQ(Bulk(SQL_FETCH_BY_BOOKMARK), SQL_SUCCESS) << s->diag.errNum;
    EXPECT_EQ((std::vector<SQLINTEGER>(ids, ids + 4)), (std::vector<SQLINTEGER>{60, 30, 50, 40}));
    EXPECT_EQ((std::vector<SQLBIGINT>(marks, marks + 4)), (std::vector<SQLBIGINT>{6, 3, 5, 4}))
        << "the bookmarks stay as given";
    SQLINTEGER v = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQLSetPos(h, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State();
    ASSERT_EQ(SQLGetData(h, 1, SQL_C_SLONG, &v, 0, &ind), SQL_SUCCESS) << State();
    EXPECT_EQ(v, 60) << "SQLGetData reads the new rowset";

    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetchScroll(h, SQL_FETCH_ABSOLUTE, 3))) << State();
    marks[0] = 4;
    std::strcpy(reinterpret_cast<char *>(names[0]), "four");
    nameInd[0] = SQL_NTS;
    nameInd[1] = SQL_DATA_AT_EXEC;
    std::strcpy(reinterpret_cast<char *>(names[2]), "five");
    nameInd[2] = SQL_NTS;
    std::strcpy(reinterpret_cast<char *>(names[3]), "six");
    nameInd[3] = SQL_NTS;
    marks[1] = 3;
    marks[2] = 5;
    marks[3] = 6;
    ASSERT_EQ(Bulk(SQL_UPDATE_BY_BOOKMARK), SQL_NEED_DATA) << s->diag.errNum;
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(h, &token), SQL_NEED_DATA) << State();
    EXPECT_EQ(token, static_cast<SQLPOINTER>(names[1]));
    ASSERT_EQ(SQLPutData(h, const_cast<char *>("three"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLParamData(h, &token), SQL_SUCCESS) << State();
    EXPECT_EQ(script.bulkOps.back(), SQL_UPDATE_BY_BOOKMARK);
    EXPECT_EQ(script.bookmarks.back(), (std::vector<uint32_t>{4, 3, 5, 6}));
    EXPECT_EQ(script.bulkValues, (std::vector<std::string>{"four", "three", "five", "six"}));
    EXPECT_EQ(status[1], SQL_ROW_UPDATED);
}

TEST_F(SetPos, BulkOperationsRefusals)
{
    Open();
    EXPECT_EQ(Bulk(SQL_DELETE_BY_BOOKMARK), SQL_ERROR);
    EXPECT_EQ(s->diag.errNum, ERR_OPTION_TYPE_RANGE) << "bookmarks are off";
    EXPECT_EQ(Bulk(9), SQL_ERROR);
    EXPECT_EQ(s->diag.errNum, ERR_OPTION_TYPE_RANGE) << "no such operation";
    s->cursor.cursorType = SQL_CURSOR_DYNAMIC;
    EXPECT_EQ(Bulk(SQL_UPDATE_BY_BOOKMARK), SQL_ERROR);
    EXPECT_EQ(s->diag.errNum, ERR_BULK_NOT_SUPPORTED);
    s->cursor.cursorType = SQL_CURSOR_STATIC;
    EXPECT_TRUE(script.bulkOps.empty());
}

} // namespace

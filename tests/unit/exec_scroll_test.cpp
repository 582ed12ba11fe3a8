// The scrolling fetch over a scripted cursor library: target rows and their
// classes, every orientation on a static cursor with rowsets of one and of
// several rows, row statuses, rows fetched and SQL_ATTR_ROW_NUMBER, row-wise
// binding, SQLExtendedFetch, and the cursor types and capabilities a
// connection reports with and without the cursor library's scroll fetch.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>
#include <vector>

#include "exec/st_internal.h"
#include "odbc/contract/drv_items.h"
#include "odbc/contract/handle_table.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/handles.h"
#include "odbc/startup.h"
#include "tests/unit/odbc_test_support.h"

namespace {

SQLCHAR *Sql(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

// ---- target rows ----

TEST(ScrollTarget, ClassesOfTargetRows)
{
    struct Case {
        int32_t c, t, r, n;
        int want;
    } cases[] = {
        {1, 5, 4, -1, CUR_TARGET_UNKNOWN}, {1, 11, 4, 10, CUR_TARGET_AFTER},  {5, 9, 4, 10, CUR_TARGET_PAST_END},
        {5, -3, 4, 10, CUR_TARGET_BEFORE}, {5, -2, 4, 10, CUR_TARGET_PART_BEFORE}, {5, 7, 4, 10, CUR_TARGET_INSIDE},
        {5, 1, 4, -1, CUR_TARGET_INSIDE},  {5, -1, 30, 20, CUR_TARGET_PART_BEFORE},
    };
    for (const Case &k : cases)
        EXPECT_EQ(CUR_ClassifyTarget(k.c, k.t, k.r, k.n), k.want) << k.c << " " << k.t << " " << k.r << " " << k.n;
}

TEST(ScrollTarget, TargetRowsOfEveryOrientation)
{
    struct Case {
        uint16_t o;
        int32_t k, c, n, r, p;
        int32_t wantRow;
        int wantClass;
    } cases[] = {
        {SQL_FETCH_NEXT, 0, 5, 10, 4, 4, 9, CUR_TARGET_PAST_END},
        {SQL_FETCH_NEXT, 0, 9, 10, 4, 4, 13, CUR_TARGET_AFTER},
        {SQL_FETCH_FIRST, 0, 9, 10, 4, 4, 1, CUR_TARGET_INSIDE},
        {SQL_FETCH_LAST, 0, 1, 10, 4, 4, 7, CUR_TARGET_INSIDE},
        {SQL_FETCH_LAST, 0, 1, 3, 4, 4, 1, CUR_TARGET_INSIDE},
        {SQL_FETCH_LAST, 0, 1, -1, 4, 4, 0, CUR_TARGET_INSIDE},
        {SQL_FETCH_PRIOR, 0, 3, 10, 4, 4, -1, CUR_TARGET_PART_BEFORE},
        {SQL_FETCH_PRIOR, 0, -3, 10, 4, 4, 7, CUR_TARGET_INSIDE},   // from after the end
        {SQL_FETCH_ABSOLUTE, 0, 5, 10, 4, 4, 0, CUR_TARGET_BEFORE},
        {SQL_FETCH_ABSOLUTE, -2, 5, 10, 4, 4, 9, CUR_TARGET_PAST_END},
        // 11 rows back of 10: more than a rowset before the start.
        {SQL_FETCH_ABSOLUTE, -11, 5, 10, 4, 4, 0, CUR_TARGET_BEFORE},
        {SQL_FETCH_ABSOLUTE, -4, 1, 3, 4, 4, 0, CUR_TARGET_PART_BEFORE},
        {SQL_FETCH_ABSOLUTE, -3, 1, -1, 4, 4, -3, CUR_TARGET_UNKNOWN},
        {SQL_FETCH_ABSOLUTE, 11, 1, 10, 4, 4, 11, CUR_TARGET_AFTER},
        {SQL_FETCH_RELATIVE, 3, 5, 10, 4, 4, 8, CUR_TARGET_PAST_END},
        {SQL_FETCH_RELATIVE, INT32_MAX, 5, 10, 4, 4, INT32_MAX, CUR_TARGET_AFTER},
        {SQL_FETCH_RELATIVE, INT32_MIN, 5, 10, 4, 4, INT32_MIN + 5, CUR_TARGET_BEFORE},
        // Back past the start: from the first rowset always before it; from
        // a later one the first rowset when by no more than a rowset.
        {SQL_FETCH_RELATIVE, -3, 1, 10, 4, 4, -2, CUR_TARGET_BEFORE},
        {SQL_FETCH_RELATIVE, -4, 3, 10, 4, 4, -1, CUR_TARGET_PART_BEFORE},
        {SQL_FETCH_RELATIVE, -5, 3, 10, 4, 4, -2, CUR_TARGET_BEFORE},
        // A rowset larger than the result: 22 back of 20 with rowsets of 30
        // starts at the first row.
        {SQL_FETCH_ABSOLUTE, -22, 5, 20, 30, 30, -1, CUR_TARGET_PART_BEFORE},
        {SQL_FETCH_ABSOLUTE, -31, 5, 20, 30, 30, -10, CUR_TARGET_BEFORE},
        // NEXT moves by the previous rowset's size.
        {SQL_FETCH_NEXT, 0, 1, 20, 5, 3, 4, CUR_TARGET_INSIDE},
        {7, 0, 5, 10, 4, 4, 0, CUR_TARGET_UNKNOWN},
    };
    for (const Case &k : cases) {
        int32_t row = 12345;
        EXPECT_EQ(CUR_TargetRow(k.o, k.k, k.c, k.n, k.r, k.p, &row), k.wantClass) << k.o << " " << k.k;
        EXPECT_EQ(row, k.wantRow) << k.o << " " << k.k;
    }
}

// ---- a scripted static cursor library ----

struct Lib {
    int32_t rows = 10;            // rows of the result
    std::vector<int32_t> asked;   // the row argument of every scroll fetch
    std::vector<int> orientations;
    int32_t errorRow = 0;         // a row (from 1) the library marks as failed
    bool allErrors = false;
    int cursorType = SQL_CURSOR_FORWARD_ONLY;
    uint32_t fetchDirections = 0xBF;
};
Lib *lib;

int L_Prepare(int, const char *) { return 0; }
int L_GetParamDescs(int, uint16_t *count, ColDesc **out)
{
    *count = 0;
    *out = nullptr;
    return 0;
}
int L_GetColDescs(int, uint16_t *count, ColDesc **out)
{
    *count = 1;
    *out = CD_Alloc(1);
    std::strcpy((*out)[0].name, "id");
    (*out)[0].sqlType = SQL_INTEGER;
    (*out)[0].valueType = VT_LONG;
    (*out)[0].columnSize = 10;
    (*out)[0].bufferLength = 4;
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
    else if (code == DrvInt(DrvConnInfo(SQL_FETCH_DIRECTION)))
        v = static_cast<int32_t>(lib->fetchDirections);
    else if (code == DrvInt(DrvConnInfo(SQL_SCROLL_OPTIONS)))
        v = 31;
    else if (code == DrvInt(DrvConnInfo(SQL_STATIC_CURSOR_ATTRIBUTES1)))
        v = 1615;
    else if (code == DrvInt(DrvConnInfo(SQL_SCROLL_CONCURRENCY)))
        v = 11;
    std::memcpy(buf, &v, 4);
    return 0;
}
int L_SetOption(int, int code, void *value)
{
    if (code == DrvInt(DrvStmtOption(SQL_CURSOR_TYPE)))
        lib->cursorType = *static_cast<int32_t *>(value);
    return 0;
}
int L_CloseCursor(int) { return 0; }

Stmt *g_stmt;

// A static cursor over rows 1..n whose value is the row number times ten:
// the row argument is the rowset's first row (negative from the end, 0 the
// last full rowset), 85 and 86 before the start and beyond the end.
int L_ScrollFetch(int, const CursorOptions *, RowsetCache **cache, int row, int *rowsOut, int *rowCount,
                  int orientation)
{
    lib->asked.push_back(row);
    lib->orientations.push_back(orientation);
    const int32_t r = g_stmt->cursor.rowsetSize;
    const int32_t n = lib->rows;
    *rowsOut = 0;
    *cache = nullptr;
    *rowCount = n;
    const int32_t a = row >= 1 ? row - 1 : row < 0 ? n + row : (n - r > 0 ? n - r : 0);
    if (a < 0)
        return ERR_BEFORE_START;
    if (a > n - 1)
        return ERR_BEYOND_END;
    RowsetCache *c = nullptr;
    if (int rc = RS_Create(&c, r))
        return rc;
    const int32_t got = n - a < r ? n - a : r;
    ColDesc d{};
    d.valueType = VT_LONG;
    d.columnSize = 10;
    d.bufferLength = 4;
    RB_Free(c->block);
    RB_InitFromColDescs(&d, 1, got, c->block);
    for (int32_t i = 0; i < got; ++i) {
        const int32_t v = (a + i + 1) * 10;
        std::memcpy(c->block->columns[0].data + 4 * i, &v, 4);
        c->block->columns[0].indicators[i] = 0;
        const bool failed = lib->allErrors || a + i + 1 == lib->errorRow;
        c->status[i] = failed ? SQL_ROW_ERROR : SQL_ROW_SUCCESS;
    }
    c->block->rowsUsed = got;
    c->firstRow = a + 1;
    *cache = c;
    *rowsOut = got;
    return 0;
}

class Scroll : public ::testing::Test {
protected:
    FakeSession session;
    Lib script;
    DrvOpTable table{};
    SQLHSTMT h = nullptr;
    Stmt *s = nullptr;
    Conn *conn = nullptr;
    SQLINTEGER ids[8] = {};
    SQLLEN inds[8] = {};
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
        conn = static_cast<Conn *>(HT_Lookup(&ConnTable, HT_HandleIn(session.dbc)));
        ASSERT_NE(conn, nullptr);
        conn->binding.ops = &table;
        conn->cn_hasExecute2 = 1;
        conn->cn_hasScrlCurs = 1;
        conn->cn_hasDynMixCurs = 1;
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
    // A static cursor over `rows` rows with the given rowset size, bound
    // column-wise with a status array and a rows-fetched count.
    void Open(int32_t rows, SQLULEN rowset)
    {
        script.rows = rows;
        ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0),
                  SQL_SUCCESS)
            << State();
        ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rowset), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
        ASSERT_EQ(SQLExecDirect(h, Sql("select id from t"), SQL_NTS), SQL_SUCCESS) << State();
        ASSERT_EQ(SQLBindCol(h, 1, SQL_C_SLONG, ids, 0, inds), SQL_SUCCESS);
    }
    // The first rows of the rowset as row numbers (value / 10), with 0 for a
    // status other than success.
    std::vector<int> Rowset()
    {
        std::vector<int> v;
        for (SQLULEN i = 0; i < fetched; ++i)
            v.push_back(status[i] == SQL_ROW_SUCCESS ? ids[i] / 10 : 0);
        return v;
    }
    SQLULEN RowNumber()
    {
        SQLULEN n = 0;
        EXPECT_EQ(SQLGetStmtAttr(h, SQL_ATTR_ROW_NUMBER, &n, 0, nullptr), SQL_SUCCESS) << State();
        return n;
    }
};

TEST_F(Scroll, StaticCursorInEveryOrientationWithRowsetsOfFour)
{
    Open(10, 4);
    struct Step {
        SQLSMALLINT orientation;
        SQLLEN offset;
        SQLRETURN rc;
        std::vector<int> rows;
    } steps[] = {
        {SQL_FETCH_FIRST, 0, SQL_SUCCESS, {1, 2, 3, 4}},
        {SQL_FETCH_NEXT, 0, SQL_SUCCESS, {5, 6, 7, 8}},
        {SQL_FETCH_NEXT, 0, SQL_SUCCESS, {9, 10}},          // a partial rowset
        {SQL_FETCH_NEXT, 0, SQL_NO_DATA, {}},               // after the end
        {SQL_FETCH_PRIOR, 0, SQL_SUCCESS, {7, 8, 9, 10}},   // PRIOR after the end is LAST
        {SQL_FETCH_PRIOR, 0, SQL_SUCCESS, {3, 4, 5, 6}},
        {SQL_FETCH_PRIOR, 0, SQL_SUCCESS_WITH_INFO, {1, 2, 3, 4}},  // partly before the start: the first rowset, 01S06
        {SQL_FETCH_PRIOR, 0, SQL_NO_DATA, {}},              // before the start
        {SQL_FETCH_NEXT, 0, SQL_SUCCESS, {1, 2, 3, 4}},     // NEXT before the start is FIRST
        {SQL_FETCH_LAST, 0, SQL_SUCCESS, {7, 8, 9, 10}},
        {SQL_FETCH_ABSOLUTE, -2, SQL_SUCCESS, {9, 10}},
        {SQL_FETCH_ABSOLUTE, -11, SQL_NO_DATA, {}},
        {SQL_FETCH_ABSOLUTE, 3, SQL_SUCCESS, {3, 4, 5, 6}},
        {SQL_FETCH_ABSOLUTE, 11, SQL_NO_DATA, {}},
        {SQL_FETCH_RELATIVE, -2, SQL_SUCCESS, {9, 10}},     // from after the end: ABSOLUTE -2
        {SQL_FETCH_RELATIVE, -3, SQL_SUCCESS, {6, 7, 8, 9}},
        {SQL_FETCH_RELATIVE, 2, SQL_SUCCESS, {8, 9, 10}},
        {SQL_FETCH_RELATIVE, 3, SQL_NO_DATA, {}},
        {SQL_FETCH_RELATIVE, 1, SQL_NO_DATA, {}},           // after the end, forward: nothing asked
        {SQL_FETCH_ABSOLUTE, 0, SQL_NO_DATA, {}},           // before the start
        {SQL_FETCH_RELATIVE, -1, SQL_NO_DATA, {}},          // before the start, backward: nothing asked
        {SQL_FETCH_RELATIVE, 3, SQL_SUCCESS, {3, 4, 5, 6}}, // before the start: ABSOLUTE 3
    };
    int n = 0;
    for (const Step &st : steps) {
        ++n;
        const size_t askedBefore = script.asked.size();
        fetched = 99;
        SQLRETURN rc = SQLFetchScroll(h, st.orientation, st.offset);
        ASSERT_EQ(rc, st.rc) << "step " << n << " " << State();
        if (rc == SQL_SUCCESS_WITH_INFO)
            EXPECT_EQ(State(), "01S06") << "step " << n;
        if (rc == SQL_NO_DATA) {
            EXPECT_EQ(fetched, 0u) << "step " << n;
            EXPECT_EQ(SQLGetStmtAttr(h, SQL_ATTR_ROW_NUMBER, &fetched, 0, nullptr), SQL_ERROR) << "step " << n;
            EXPECT_EQ(State(), "24000");
            continue;
        }
        EXPECT_EQ(Rowset(), st.rows) << "step " << n;
        for (SQLULEN i = fetched; i < 4; ++i)
            EXPECT_EQ(status[i], SQL_ROW_NOROW) << "step " << n << " row " << i;
        EXPECT_EQ(RowNumber(), static_cast<SQLULEN>(st.rows[0])) << "step " << n;
        EXPECT_EQ(script.asked.size(), askedBefore + 1) << "step " << n;
    }
    // Once the row count is known, moves that land nowhere never ask the
    // library.
    EXPECT_EQ(script.asked.size(), 14u);
}

TEST_F(Scroll, RowsetsOfOneRowAndGetData)
{
    Open(5, 1);
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_LAST, 0), SQL_SUCCESS) << State();
    EXPECT_EQ(ids[0], 50);
    EXPECT_EQ(RowNumber(), 5u);
    SQLINTEGER v = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQLGetData(h, 1, SQL_C_SLONG, &v, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(v, 50);
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_PRIOR, 0), SQL_SUCCESS);
    EXPECT_EQ(ids[0], 40);
    ASSERT_EQ(SQLFetch(h), SQL_SUCCESS) << "SQLFetch of a static cursor is NEXT";
    EXPECT_EQ(ids[0], 50);
    EXPECT_EQ(SQLFetch(h), SQL_NO_DATA);
    EXPECT_EQ(SQLGetData(h, 1, SQL_C_SLONG, &v, 0, &ind), SQL_ERROR) << "no current row after the end";
    EXPECT_EQ(State(), "24000");
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_ABSOLUTE, 2), SQL_SUCCESS);
    EXPECT_EQ(ids[0], 20);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(status[0], SQL_ROW_SUCCESS);
}

// The first move of a new result does not know the row count: LAST and a
// negative ABSOLUTE leave the rowset to the library, and the cursor still
// knows where it stands afterwards.
TEST_F(Scroll, FirstMovesBeforeTheRowCountIsKnown)
{
    Open(10, 4);
    struct Case {
        SQLSMALLINT orientation;
        SQLLEN offset;
        int first;
        int afterPrior;   // first row after a PRIOR from there, 0 none
    } cases[] = {
        {SQL_FETCH_LAST, 0, 7, 3}, {SQL_FETCH_ABSOLUTE, -3, 8, 4}, {SQL_FETCH_ABSOLUTE, 6, 6, 2},
        {SQL_FETCH_NEXT, 0, 1, 0},
    };
    for (const Case &c : cases) {
        SQLFreeStmt(h, SQL_CLOSE);
        ASSERT_EQ(SQLExecDirect(h, Sql("select id from t"), SQL_NTS), SQL_SUCCESS) << State();
        ASSERT_EQ(SQLFetchScroll(h, c.orientation, c.offset), SQL_SUCCESS) << c.orientation << State();
        EXPECT_EQ(ids[0] / 10, c.first) << c.orientation << " " << c.offset;
        EXPECT_EQ(RowNumber(), static_cast<SQLULEN>(c.first));
        SQLRETURN rc = SQLFetchScroll(h, SQL_FETCH_PRIOR, 0);
        if (c.afterPrior == 0) {
            EXPECT_EQ(rc, SQL_NO_DATA);
            continue;
        }
        ASSERT_EQ(rc, SQL_SUCCESS);
        EXPECT_EQ(ids[0] / 10, c.afterPrior) << c.orientation << " " << c.offset;
    }
}

TEST_F(Scroll, ChangedRowsetSizeMovesByThePreviousOne)
{
    Open(10, 4);
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_FIRST, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(2), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
    EXPECT_EQ(Rowset(), (std::vector<int>{5, 6})) << "moved by 4, two rows";
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
    EXPECT_EQ(Rowset(), (std::vector<int>{7, 8})) << "then by 2";
}

TEST_F(Scroll, OrientationsOutsideTheMaskAndFailedRows)
{
    Open(6, 3);
    EXPECT_EQ(SQLFetchScroll(h, SQL_FETCH_BOOKMARK, 0), SQL_NO_DATA) << "no bookmark names no row";
    EXPECT_EQ(SQLFetchScroll(h, 7, 0), SQL_ERROR);
    EXPECT_EQ(State(), "HY106");
    EXPECT_TRUE(script.asked.empty());

    script.errorRow = 2;
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_FIRST, 0), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(State(), "HY000");
    EXPECT_EQ(status[0], SQL_ROW_SUCCESS);
    EXPECT_EQ(status[1], SQL_ROW_ERROR);
    EXPECT_EQ(ids[2], 30) << "the other rows are filled";
    SQLINTEGER v = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQLSetPos(h, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << "a failed row can be stood on";
    EXPECT_EQ(SQLGetData(h, 1, SQL_C_SLONG, &v, 0, &ind), SQL_ERROR);
    EXPECT_EQ(State(), "HY109");
    ASSERT_EQ(SQLSetPos(h, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
    script.allErrors = true;
    EXPECT_EQ(SQLFetchScroll(h, SQL_FETCH_NEXT, 0), SQL_ERROR);
    EXPECT_EQ(status[2], SQL_ROW_ERROR);
    EXPECT_EQ(SQLGetData(h, 1, SQL_C_SLONG, &v, 0, &ind), SQL_ERROR);
    EXPECT_EQ(State(), "HY109") << "the current row failed";
}

TEST_F(Scroll, RowWiseBindingLandsOneStructureApart)
{
    Open(10, 4);
    struct Row {
        SQLINTEGER id;
        SQLLEN ind;
        char pad[24];
    } rows[4] = {};
    static_assert(sizeof(Row) == 40, "a 40-byte row");
    SQLFreeStmt(h, SQL_UNBIND);
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(Row)), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(h, 1, SQL_C_SLONG, &rows[0].id, 0, &rows[0].ind), SQL_SUCCESS);
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_ABSOLUTE, 5), SQL_SUCCESS) << State();
    EXPECT_EQ(rows[0].id, 50);
    EXPECT_EQ(rows[3].id, 80) << "120 bytes after row 0";
    EXPECT_EQ(rows[3].ind, 4);
}

TEST_F(Scroll, ExtendedFetchTakesItsOwnCountAndStatuses)
{
    Open(10, 3);
    SQLULEN got = 0;
    SQLUSMALLINT own[3] = {9, 9, 9};
    ASSERT_EQ(SQLExtendedFetch(h, SQL_FETCH_ABSOLUTE, 9, &got, own), SQL_SUCCESS) << State();
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(own[0], SQL_ROW_SUCCESS);
    EXPECT_EQ(own[2], SQL_ROW_NOROW);
    EXPECT_EQ(ids[1], 100);
    EXPECT_EQ(SQLExtendedFetch(h, SQL_FETCH_ABSOLUTE, 0, &got, own), SQL_NO_DATA);
    ASSERT_EQ(SQLExtendedFetch(h, SQL_FETCH_NEXT, 0, &got, nullptr), SQL_SUCCESS) << "NEXT from before the start";
    EXPECT_EQ(ids[0], 10);
    EXPECT_EQ(script.orientations.back(), SQL_FETCH_FIRST);

    // Without a result: 24000; on a forward-only cursor only NEXT.
    SQLFreeStmt(h, SQL_CLOSE);
    EXPECT_EQ(SQLExtendedFetch(h, SQL_FETCH_FIRST, 0, &got, own), SQL_ERROR);
    EXPECT_EQ(State(), "24000");
}

TEST_F(Scroll, CursorTypesAndCapabilitiesFollowTheScrollFetch)
{
    // With the scroll fetch: static, keyset-driven and dynamic are taken, a
    // scrollable cursor is keyset-driven.
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0),
              SQL_SUCCESS);
    for (SQLULEN type : {SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_DYNAMIC}) {
        EXPECT_EQ(SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(type), 0), SQL_SUCCESS);
        SQLULEN back = 0;
        SQLGetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, &back, 0, nullptr);
        EXPECT_EQ(back, type);
    }
    SQLHSTMT other = session.NewStmt();
    EXPECT_EQ(SQLSetStmtAttr(other, SQL_ATTR_CURSOR_SCROLLABLE, reinterpret_cast<SQLPOINTER>(SQL_SCROLLABLE), 0),
              SQL_SUCCESS);
    SQLULEN back = 0;
    SQLGetStmtAttr(other, SQL_ATTR_CURSOR_TYPE, &back, 0, nullptr);
    EXPECT_EQ(back, static_cast<SQLULEN>(SQL_CURSOR_KEYSET_DRIVEN));
    SQLGetStmtAttr(other, SQL_ATTR_CURSOR_SCROLLABLE, &back, 0, nullptr);
    EXPECT_EQ(back, static_cast<SQLULEN>(SQL_SCROLLABLE));

    struct Capability {
        SQLUSMALLINT type;
        SQLUINTEGER withScroll;
        SQLUINTEGER without;
    } caps[] = {
        {SQL_SCROLL_OPTIONS,
         SQL_SO_FORWARD_ONLY | SQL_SO_STATIC | SQL_SO_KEYSET_DRIVEN | SQL_SO_DYNAMIC | SQL_SO_MIXED,
         SQL_SO_FORWARD_ONLY},
        {SQL_FETCH_DIRECTION, 0xBF, SQL_FD_FETCH_NEXT},
        // What static cursors do, whatever the back end says of its own:
        // positioned and refreshed, and under lock or values concurrency
        // their rows updated and deleted.
        {SQL_STATIC_CURSOR_ATTRIBUTES1,
         SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK | SQL_CA1_LOCK_NO_CHANGE |
             SQL_CA1_POS_POSITION | SQL_CA1_POS_REFRESH | SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE,
         0},
        {SQL_SCROLL_CONCURRENCY, SQL_SCCO_READ_ONLY | SQL_SCCO_LOCK | SQL_SCCO_OPT_VALUES, SQL_SCCO_READ_ONLY},
    };
    for (const Capability &c : caps) {
        SQLUINTEGER v = 0;
        ASSERT_EQ(SQLGetInfo(session.dbc, c.type, &v, sizeof v, nullptr), SQL_SUCCESS);
        EXPECT_EQ(v, c.withScroll) << c.type;
    }

    // Without the cursor library's scroll fetch: forward-only, as before.
    table.ScrollFetch = nullptr;
    EXPECT_EQ(SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0),
              SQL_SUCCESS_WITH_INFO);
    SQLGetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, &back, 0, nullptr);
    EXPECT_EQ(back, static_cast<SQLULEN>(SQL_CURSOR_FORWARD_ONLY));
    EXPECT_EQ(SQLSetStmtAttr(h, SQL_ATTR_CURSOR_SCROLLABLE, reinterpret_cast<SQLPOINTER>(SQL_SCROLLABLE), 0),
              SQL_ERROR);
    EXPECT_EQ(State(), "HYC00");
    for (const Capability &c : caps) {
        SQLUINTEGER v = 0;
        ASSERT_EQ(SQLGetInfo(session.dbc, c.type, &v, sizeof v, nullptr), SQL_SUCCESS);
        EXPECT_EQ(v, c.without) << c.type;
    }
}

} // namespace

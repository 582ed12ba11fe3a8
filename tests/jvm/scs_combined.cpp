// The cursor library's combined operations over the JDBC back end and
// PostgreSQL: execute and describe with the rowset size the back end settles
// on, long text values set aside from a rowset and read back in pieces (text
// and wide text), batches stopped by a SELECT or by a call that returns
// rows, allocate-and-prepare failing onto the connection, and the rowset
// layout.
#include "tests/jvm/scs_support.h"

#include "odbc/contract/cursor_state.h"
#include "odbc/contract/typed_value.h"

namespace {

// The diagnostics of a handle as the library hands them out.
std::string scsErrors(int h)
{
    ErrReport rep{};
    if (scsOps().GetErrors(h, &rep) != 0)
        return "<no report>";
    std::string all;
    for (uint32_t i = 0; i < rep.count; ++i) {
        all += rep.texts[i] ? std::string(rep.texts[i]) + "\n" : "";
        free(rep.texts[i]);
    }
    free(rep.texts);
    return all;
}

void setOption(int h, int option, int32_t v)
{
    const int rc = scsOps().SetOption(h, DrvInt(DrvStmtOption(option)), &v);
    EXPECT_TRUE(rc == 0 || rc == ERR_OPTION_VALUE_CHANGED) << rc;
}

class ScsCombined : public StmtTest {
protected:
    void SetUp() override
    {
        StmtTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        const std::string out = psql(
            "SET client_min_messages = warning;\n"
            "DROP TABLE IF EXISTS scs_combo, scs_long, scs_batch;\n"
            "CREATE TABLE scs_combo (id int PRIMARY KEY, name varchar(20));\n"
            "INSERT INTO scs_combo SELECT g, 'row ' || g FROM generate_series(1, 12) g;\n"
            "CREATE TABLE scs_long (id int PRIMARY KEY, t text);\n"
            "INSERT INTO scs_long VALUES (1, repeat('x', 60000)), (2, repeat('y', 60000) || 'Z'),\n"
            "  (3, NULL), (4, repeat('w', 69999) || 'E'), (5, repeat(chr(233), 60001));\n"
            "CREATE TABLE scs_batch (id int);\n"
            "CREATE OR REPLACE FUNCTION scs_batch_add(a int) RETURNS void LANGUAGE sql AS\n"
            "  'INSERT INTO scs_batch VALUES (a)';\n"
            "CREATE OR REPLACE PROCEDURE scs_batch_proc(a int) LANGUAGE sql AS\n"
            "  'INSERT INTO scs_batch VALUES (a)';\n");
        ASSERT_EQ(out, "");
    }

    // A statement of the library with the cursor options set.
    int cursor(int on, int32_t type, int32_t concurrency, int32_t rowset)
    {
        int h = 0;
        EXPECT_EQ(scsOps().AllocPrepare(on, nullptr, concurrency, type, &h), 0) << drainErrors(on);
        if (rowset)
            setOption(h, SQL_ROWSET_SIZE, rowset);
        return h;
    }

    // Every piece of a cell in pieces of n; the lengths left before each.
    std::string readAll(int h, uint16_t col, uint32_t row, int64_t n, std::vector<int32_t> *lefts,
                        uint32_t *valueType = nullptr)
    {
        std::string all;
        for (int guard = 0; guard < 100; ++guard) {
            void *piece = nullptr;
            uint32_t size = 0, vt = 0;
            int32_t left = 0;
            EXPECT_EQ(scsOps().LongData(h, col, row, n, &piece, &size, &vt, &left), 0);
            lefts->push_back(left);
            if (valueType)
                *valueType = vt;
            if (!piece)
                break;
            all.append(static_cast<char *>(piece), size);
            free(piece);
        }
        return all;
    }

    int32_t countBatchRows()
    {
        return std::atoi(psql("SELECT count(*) FROM scs_batch").c_str());
    }
};

} // namespace

TEST_F(ScsCombined, ExecDescribeOfASelectWithAParameter)
{
    int h = cursor(conn, SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, 0);
    RowBlock *params = newParamBlock({{VT_LONG, 4}}, 1);
    putCell<int32_t>(params, 0, 0, 7);
    ParamTypeDesc t = ptype(SQL_INTEGER);
    t.cType = SQL_C_LONG;
    // More rows than the back end allows in a rowset: it settles on its limit.
    int32_t rowset = 1000;
    uint16_t ncols = 0, nparams = 0;
    ColDesc *cols = nullptr, *pdescs = nullptr;
    int32_t rowCount = -1;
    ASSERT_EQ(scsOps().ExecDescribe(h, "SELECT id, name FROM scs_combo WHERE id <= ? ORDER BY id", params, 1, &t,
                                    &rowset, &ncols, &cols, &nparams, &pdescs, &rowCount),
              0)
        << drainErrors(h);
    EXPECT_EQ(rowset, 100);
    ASSERT_EQ(ncols, 2);
    EXPECT_STREQ(cols[0].name, "id");
    EXPECT_EQ(cols[0].sqlType, SQL_INTEGER);
    EXPECT_STREQ(cols[1].name, "name");
    EXPECT_EQ(cols[1].sqlType, SQL_VARCHAR);
    EXPECT_EQ(cols[1].columnSize, 20u);
    EXPECT_EQ(nparams, 1);
    // The static cursor has read its whole result.
    EXPECT_EQ(rowCount, 7);
    CD_Free(cols, ncols);
    CD_Free(pdescs, nparams);

    // The layout of its rowsets.
    uint16_t n = 0;
    ColDesc *layout = nullptr;
    RowBlock block{};
    ASSERT_EQ(scsOps().DescribeRowset(h, &n, &layout, &block), 0) << drainErrors(h);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(layout[0].valueType, VT_LONG);
    EXPECT_EQ(layout[0].bufferLength, 4u);
    EXPECT_EQ(layout[1].valueType, block.columns[1].valueType);
    EXPECT_EQ(layout[1].bufferLength, block.columns[1].width);
    EXPECT_GE(layout[1].bufferLength, 21u);
    CD_Free(layout, n);
    RB_Free(&block);

    // The rows are there to fetch.
    RowsetCache *rs = nullptr;
    int rows = 0, total = 0;
    ASSERT_EQ(scsOps().ScrollFetchLong(h, &rs, 5, &rows, &total, SQL_FETCH_ABSOLUTE), 0) << drainErrors(h);
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(total, 7);
    EXPECT_EQ(getCell<int32_t>(rs->block, 0, 0), 5);
    RS_Free(&rs);
    EXPECT_EQ(scsOps().FreeStmt(h), 0);

    // With the column attributes, on a forward-only statement whose rowset
    // size stays as it is.
    h = cursor(conn, SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_READ_ONLY, 0);
    params = newParamBlock({{VT_LONG, 4}}, 1);
    putCell<int32_t>(params, 0, 0, 3);
    rowset = 1000;
    int16_t nattrs = 0;
    TypedValue *attrs = nullptr;
    ASSERT_EQ(scsOps().ExecDescribeEx(h, "SELECT name FROM scs_combo WHERE id = ?", params, 1, &t, &rowset, &ncols,
                                      &cols, &nparams, &pdescs, &rowCount, &nattrs, &attrs),
              0)
        << drainErrors(h);
    EXPECT_EQ(rowset, 1000);
    EXPECT_EQ(ncols, 1);
    EXPECT_EQ(nparams, 1);
    EXPECT_GT(nattrs, 0);
    for (int16_t i = 0; i < nattrs; ++i)
        TV_FreeValue(&attrs[i]);
    free(attrs);
    CD_Free(cols, ncols);
    CD_Free(pdescs, nparams);
    RowBlock one = fetch(h, 1);
    EXPECT_EQ(textOf(&one, 0, 0), "row 3");
    RB_Free(&one);
    EXPECT_EQ(scsOps().FreeStmt(h), 0);
}

TEST_F(ScsCombined, LongTextBeyondTheLimitIsSetAsideAndReadInPieces)
{
    int h = cursor(conn, SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, 4);
    ASSERT_EQ(scsOps().Prepare(h, "SELECT id, t FROM scs_long WHERE id < 5 ORDER BY id"), 0) << drainErrors(h);
    ASSERT_EQ(scsOps().Execute(h), 0) << drainErrors(h);
    RowsetCache *rs = nullptr;
    int rows = 0, total = 0;
    ASSERT_EQ(scsOps().ScrollFetchLong(h, &rs, 1, &rows, &total, SQL_FETCH_ABSOLUTE), 0) << drainErrors(h);
    ASSERT_EQ(rows, 4);
    ASSERT_EQ(rs->block->columns[1].valueType, VT_HEAP_TEXT);
    // Exactly 60000 bytes stay in the rowset; 60001 and 70000 are set aside.
    EXPECT_EQ(indOf(rs->block, 1, 0), RB_IND_VALUE);
    EXPECT_EQ(textOf(rs->block, 1, 0), std::string(60000, 'x'));
    EXPECT_EQ(indOf(rs->block, 1, 1), RB_IND_LONG);
    EXPECT_EQ(indOf(rs->block, 1, 2), RB_IND_NULL);
    EXPECT_EQ(indOf(rs->block, 1, 3), RB_IND_LONG);

    std::vector<int32_t> lefts;
    uint32_t vt = 0;
    EXPECT_EQ(readAll(h, 2, 2, 25000, &lefts, &vt), std::string(60000, 'y') + "Z");
    EXPECT_EQ(lefts, (std::vector<int32_t>{60001, 35001, 10001, 0}));
    EXPECT_EQ(vt, static_cast<uint32_t>(VT_CHAR));

    // Another cell starts at its beginning, and so does the first one again.
    void *piece = nullptr;
    uint32_t size = 0;
    int32_t left = 0;
    ASSERT_EQ(scsOps().LongData(h, 2, 4, 10, &piece, &size, &vt, &left), 0);
    EXPECT_EQ(left, 70000);
    EXPECT_EQ(std::string(static_cast<char *>(piece), size), std::string(10, 'w'));
    free(piece);
    lefts.clear();
    const std::string again = readAll(h, 2, 2, 60000, &lefts);
    EXPECT_EQ(again.size(), 60001u);
    EXPECT_EQ(lefts, (std::vector<int32_t>{60001, 1, 0}));
    lefts.clear();
    const std::string rest = readAll(h, 2, 4, 1 << 20, &lefts);
    EXPECT_EQ(rest, std::string(69999, 'w') + "E");

    // Cells left in the rowset or NULL have nothing set aside; the key
    // column is no long column.
    for (uint32_t row : {1u, 3u}) {
        EXPECT_EQ(scsOps().LongData(h, 2, row, 10, &piece, &size, &vt, &left), ERR_NO_DATA_FOUND) << row;
        EXPECT_EQ(left, -4);
    }
    EXPECT_EQ(scsOps().LongData(h, 1, 2, 10, &piece, &size, &vt, &left), ERR_NO_DATA_FOUND);
    EXPECT_EQ(scsOps().LongData(h, 3, 2, 10, &piece, &size, &vt, &left), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(scsOps().LongData(h, 2, 5, 10, &piece, &size, &vt, &left), ERR_INVALID_ARGUMENT);
    RS_Free(&rs);

    // The next rowset's values replace them.
    ASSERT_EQ(scsOps().ScrollFetchLong(h, &rs, 3, &rows, &total, SQL_FETCH_ABSOLUTE), 0) << drainErrors(h);
    ASSERT_EQ(rows, 2);
    ASSERT_EQ(scsOps().LongData(h, 2, 2, 1, &piece, &size, &vt, &left), 0);
    EXPECT_EQ(left, 70000);
    free(piece);
    EXPECT_EQ(scsOps().LongData(h, 2, 1, 1, &piece, &size, &vt, &left), ERR_NO_DATA_FOUND);
    RS_Free(&rs);
    EXPECT_EQ(scsOps().FreeStmt(h), 0);
}

TEST_F(ScsCombined, WideTextPiecesCountCharacters)
{
    const int wide = openExtra(1);
    int h = cursor(wide, SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, 2);
    ASSERT_EQ(scsOps().Prepare(h, "SELECT t FROM scs_long WHERE id IN (1, 5) ORDER BY id"), 0) << drainErrors(h);
    ASSERT_EQ(scsOps().Execute(h), 0) << drainErrors(h);
    RowsetCache *rs = nullptr;
    int rows = 0, total = 0;
    ASSERT_EQ(scsOps().ScrollFetchLong(h, &rs, 1, &rows, &total, SQL_FETCH_ABSOLUTE), 0) << drainErrors(h);
    ASSERT_EQ(rows, 2);
    ASSERT_EQ(rs->block->columns[0].valueType, VT_HEAP_WTEXT);
    EXPECT_EQ(indOf(rs->block, 0, 0), RB_IND_VALUE);  // 60000 characters
    EXPECT_EQ(indOf(rs->block, 0, 1), RB_IND_LONG);   // 60001 characters
    std::vector<int32_t> lefts;
    uint32_t vt = 0;
    const std::string bytes = readAll(h, 1, 2, 25000, &lefts, &vt);
    EXPECT_EQ(vt, static_cast<uint32_t>(VT_WCHAR));
    EXPECT_EQ(lefts, (std::vector<int32_t>{120002, 70002, 20002, 0}));
    ASSERT_EQ(bytes.size(), 120002u);
    const std::u16string units(reinterpret_cast<const char16_t *>(bytes.data()), bytes.size() / 2);
    EXPECT_EQ(units, std::u16string(60001, u'\u00e9'));
    RS_Free(&rs);
    EXPECT_EQ(scsOps().FreeStmt(h), 0);
}

TEST_F(ScsCombined, BatchStopsAtASelectWithTheFirstRowCountKept)
{
    int h = cursor(conn, SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_READ_ONLY, 0);
    const BatchEntry entries[] = {
        {"INSERT INTO scs_batch VALUES (1), (2)", 0, nullptr, nullptr},
        {"SELECT * FROM scs_batch", 0, nullptr, nullptr},
        {"DELETE FROM scs_batch", 0, nullptr, nullptr},
    };
    int16_t done = -1;
    int32_t *counts = nullptr;
    EXPECT_EQ(scsOps().ExecBatch(h, 3, entries, &done, &counts), ERR_ONLY_DDL_DML);
    EXPECT_EQ(done, 1);
    ASSERT_NE(counts, nullptr);
    EXPECT_EQ(counts[0], 2);
    free(counts);
    EXPECT_NE(scsErrors(h).find("Only DDL and DML command can be executed[SQLSTATE:S1000]"), std::string::npos);
    // The DELETE never ran.
    EXPECT_EQ(countBatchRows(), 2);

    // DDL and DML with parameters, all run.
    RowBlock *params = newParamBlock({{VT_LONG, 4}}, 1);
    putCell<int32_t>(params, 0, 0, 2);
    ParamTypeDesc t = ptype(SQL_INTEGER);
    t.cType = SQL_C_LONG;
    const BatchEntry fine[] = {
        {"DELETE FROM scs_batch WHERE id = ?", 1, &t, params},
        {"CREATE TEMP TABLE scs_batch_tmp (x int)", 0, nullptr, nullptr},
        {"UPDATE scs_batch SET id = 10", 0, nullptr, nullptr},
    };
    ASSERT_EQ(scsOps().ExecBatch(h, 3, fine, &done, &counts), 0) << drainErrors(h);
    EXPECT_EQ(done, 3);
    EXPECT_EQ(counts[0], 1);
    EXPECT_EQ(counts[2], 1);
    free(counts);
    EXPECT_EQ(scsOps().FreeStmt(h), 0);
}

TEST_F(ScsCombined, BatchCallsThatReturnRowsStopIt)
{
    int h = cursor(conn, SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_READ_ONLY, 0);
    // A procedure returns nothing: the batch goes on.
    const BatchEntry procedure[] = {
        {"CALL scs_batch_proc(8)", 0, nullptr, nullptr},
        {"UPDATE scs_batch SET id = 9 WHERE id = 8", 0, nullptr, nullptr},
    };
    int16_t done = -1;
    int32_t *counts = nullptr;
    ASSERT_EQ(scsOps().ExecBatch(h, 2, procedure, &done, &counts), 0) << scsErrors(h);
    EXPECT_EQ(done, 2);
    EXPECT_EQ(counts[1], 1);
    free(counts);
    // The escape of a function is run as a query of its result: it ran, but
    // it returned a row, and the batch stops there.
    const BatchEntry function[] = {
        {"{call scs_batch_add(7)}", 0, nullptr, nullptr},
        {"DELETE FROM scs_batch", 0, nullptr, nullptr},
    };
    EXPECT_EQ(scsOps().ExecBatch(h, 2, function, &done, &counts), ERR_ONLY_DDL_DML);
    EXPECT_EQ(done, 0);
    free(counts);
    EXPECT_NE(scsErrors(h).find("Only DDL and DML command can be executed"), std::string::npos);
    EXPECT_EQ(psql("SELECT string_agg(id::text, ',' ORDER BY id) FROM scs_batch"), "7,9");
    EXPECT_EQ(scsOps().FreeStmt(h), 0);
}

TEST_F(ScsCombined, AllocPrepareOfATextThatCannotBePreparedLeavesTheDiagnosticsOnTheConnection)
{
    int h = -1;
    EXPECT_NE(scsOps().AllocPrepare(conn, "SELECT * FROM scs_no_such_table", SQL_CONCUR_READ_ONLY,
                                    SQL_CURSOR_STATIC, &h),
              0);
    EXPECT_EQ(h, 0);
    ErrReport rep{};
    ASSERT_EQ(scsOps().GetErrors(conn, &rep), 0);
    std::string all;
    for (uint32_t i = 0; i < rep.count; ++i) {
        all += rep.texts[i] ? rep.texts[i] : "";
        free(rep.texts[i]);
    }
    free(rep.texts);
    EXPECT_NE(all.find("scs_no_such_table"), std::string::npos) << all;
    EXPECT_NE(all.find("[SQLSTATE:42"), std::string::npos) << all;

    // A text that prepares gives a statement with the options asked.
    ASSERT_EQ(scsOps().AllocPrepare(conn, "SELECT id FROM scs_combo", SQL_CONCUR_READ_ONLY, SQL_CURSOR_STATIC, &h), 0)
        << drainErrors(conn);
    int32_t type = -1;
    int16_t len = 0;
    ASSERT_EQ(scsOps().GetInfo(h, DrvInt(DrvStmtOption(SQL_CURSOR_TYPE)), &type, 4, &len), 0);
    EXPECT_EQ(type, SQL_CURSOR_STATIC);
    ASSERT_EQ(scsOps().Execute(h), 0) << drainErrors(h);
    EXPECT_EQ(scsOps().FreeStmt(h), 0);
}

// Procedure calls with output and input-output parameters, ODBC escapes
// reaching the server, marker counting, native SQL, cursor names and the
// default parameter descriptions, at the operation-table level.
#include "tests/jvm/stmt_support.h"

#include "drv_jdbc/j-param.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap-ps.h"

namespace {
class Calls : public StmtTest {
protected:
    void SetUp() override
    {
        StmtTest::SetUp();
        if (!opened)
            return;
        psql("create or replace function krs_sc_add(a int, inout b int) language plpgsql as "
             "$$ begin b := a + b; end $$;"
             "create or replace function krs_sc_out(a int, out b text, out c int) language plpgsql as "
             "$$ begin b := 'v' || a; c := null; end $$;"
             "create or replace function krs_sc_twice(a int) returns int language sql as $$ select a * 2 $$;"
             "create or replace function krs_sc_rows(n int) returns setof int language sql as "
             "$$ select generate_series(1, n) $$;");
    }

    // Fetches the output parameters into a block (caller frees).
    RowBlock outputs(int h)
    {
        RowBlock b{};
        EXPECT_EQ(stmtOps().Fetch(h, 0, &b), 0) << drainErrors(h);
        return b;
    }
};

TEST_F(Calls, InputOutputParameter)
{
    int h = alloc();
    RowBlock *p = newParamBlock({{VT_LONG, 4}, {VT_LONG, 4}}, 1);
    putCell<int32_t>(p, 0, 0, 5);
    putCell<int32_t>(p, 1, 0, 7);
    ASSERT_EQ(run(h, "{call krs_sc_add(?, ?)}", p, {ptype(4), ptype(4, PARAM_INPUT_OUTPUT)}), ERR_OUTPUT_PARAMS_PENDING) << drainErrors(h);
    RowBlock b = outputs(h);
    ASSERT_EQ(b.columnsUsed, 2);
    ASSERT_EQ(b.rowsUsed, 1);
    EXPECT_EQ(getCell<int32_t>(&b, 0, 0), 5) << "input kept";
    EXPECT_EQ(getCell<int32_t>(&b, 1, 0), 12);
    EXPECT_EQ(indOf(&b, 1, 0), RB_IND_VALUE);
    RB_Free(&b);
    EXPECT_EQ(stmtOps().MoreResults(h), ERR_NO_MORE_RESULTS);
}

TEST_F(Calls, OutputParametersAndNull)
{
    int h = alloc();
    RowBlock *p = newParamBlock({{VT_LONG, 4}, {VT_NTS, 21}, {VT_LONG, 4}}, 1);
    putCell<int32_t>(p, 0, 0, 3);
    indOf(p, 1, 0) = RB_IND_NULL;
    indOf(p, 2, 0) = RB_IND_NULL;
    ASSERT_EQ(run(h, "{call krs_sc_out(?, ?, ?)}", p,
                  {ptype(4), ptype(12, PARAM_OUTPUT), ptype(4, PARAM_OUTPUT)}),
              80)
        << drainErrors(h);
    RowBlock b = outputs(h);
    ASSERT_EQ(b.columnsUsed, 3);
    EXPECT_EQ(textOf(&b, 1, 0), "v3");
    EXPECT_EQ(indOf(&b, 1, 0), RB_IND_VALUE);
    EXPECT_EQ(indOf(&b, 2, 0), RB_IND_NULL) << "the procedure left it NULL";
    RB_Free(&b);
}

TEST_F(Calls, ReturnValueOfAFunction)
{
    int h = alloc();
    RowBlock *p = newParamBlock({{VT_LONG, 4}, {VT_LONG, 4}}, 1);
    indOf(p, 0, 0) = RB_IND_NULL;
    putCell<int32_t>(p, 1, 0, 21);
    ASSERT_EQ(run(h, "{? = call krs_sc_twice(?)}", p, {ptype(4, PARAM_OUTPUT), ptype(4)}), ERR_OUTPUT_PARAMS_PENDING) << drainErrors(h);
    RowBlock b = outputs(h);
    ASSERT_EQ(b.columnsUsed, 2);
    EXPECT_EQ(getCell<int32_t>(&b, 0, 0), 42);
    EXPECT_EQ(indOf(&b, 0, 0), RB_IND_VALUE);
    RB_Free(&b);
}

TEST_F(Calls, WideTextOutputParameter)
{
    int w = openExtra(1);
    int h = alloc(w);
    RowBlock *p = newParamBlock({{VT_LONG, 4}, {VT_WNTS, 42}, {VT_LONG, 4}}, 2);
    for (int r = 0; r < 2; ++r) {
        putCell<int32_t>(p, 0, r, 8);
        putWide(p, 1, r, u"in");
        indOf(p, 2, r) = RB_IND_NULL;
    }
    ASSERT_EQ(run(h, "{call krs_sc_out(?, ?, ?)}", p,
                  {ptype(4), ptype(-9, PARAM_OUTPUT), ptype(4, PARAM_OUTPUT)}),
              80)
        << drainErrors(h);
    RowBlock b = outputs(h);
    ASSERT_EQ(b.rowsUsed, 2) << "the block has the parameter block's rows";
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(cellOf(&b, 1, 0))), u"v8");
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(cellOf(&b, 1, 1))), u"in") << "only row 0 is output";
    RB_Free(&b);
}

TEST_F(Calls, CallReturningRowsIsAResult)
{
    int h = alloc();
    RowBlock *p = newParamBlock({{VT_LONG, 4}}, 1);
    putCell<int32_t>(p, 0, 0, 3);
    ASSERT_EQ(run(h, "{call krs_sc_rows(?)}", p, {ptype(4)}), 0) << drainErrors(h);
    RowBlock b = fetch(h, 10);
    ASSERT_EQ(b.rowsUsed, 3);
    EXPECT_EQ(getCell<int32_t>(&b, 0, 2), 3);
    RB_Free(&b);
}

TEST_F(Calls, EscapesReachTheServer)
{
    psql("drop table if exists krs_sc_t1, krs_sc_t2; create table krs_sc_t1 (x int); create table krs_sc_t2 (x int, y text);"
         "insert into krs_sc_t1 values (1), (2); insert into krs_sc_t2 values (1, 'one')");
    struct {
        const char *sql;
        const char *want;
    } cases[] = {
        {"select {fn ucase('abc')}", "ABC"},
        {"select {fn concat('a', 'b')}", "ab"},
        {"select {fn lcase(?)}", "xyz"},
        {"select {d '2024-02-29'}::text", "2024-02-29"},
        {"select {ts '2024-02-29 10:11:12'}::text", "2024-02-29 10:11:12"},
        {"select {t '10:11:12'}::text", "10:11:12"},
        {"select string_agg(a.x || ':' || coalesce(b.y, '-'), ',' order by a.x) "
         "from {oj krs_sc_t1 a left outer join krs_sc_t2 b on a.x = b.x}",
         "1:one,2:-"},
        {"select {fn null}::text is null", nullptr},
    };
    int h = alloc();
    for (auto &c : cases) {
        SCOPED_TRACE(c.sql);
        RowBlock *p = nullptr;
        std::vector<ParamTypeDesc> types;
        if (strchr(c.sql, '?')) {
            p = newParamBlock({{VT_NTS, 8}}, 1);
            putText(p, 0, 0, "XyZ");
            types = {ptype(12)};
        }
        ASSERT_EQ(run(h, c.sql, p, types), 0) << drainErrors(h);
        RowBlock b = fetch(h, 1);
        ASSERT_EQ(b.rowsUsed, 1);
        if (c.want)
            EXPECT_EQ(textOf(&b, 0, 0), c.want);
        else
            EXPECT_EQ(getCell<uint8_t>(&b, 0, 0), 1);
        RB_Free(&b);
    }
}

// Markers in comments, dollar quotes and strings are not parameters.
TEST_F(Calls, MarkerCountIgnoresCommentsAndQuotedText)
{
    int h = alloc();
    const char *sql = "select $$?$$ || ? || E'\\'?' /* ? */ -- ?\n";
    ASSERT_EQ(stmtOps().Prepare(h, sql), 0) << drainErrors(h);
    uint16_t n = 0;
    ColDesc *descs = nullptr;
    ASSERT_EQ(stmtOps().GetParamDescs(h, &n, &descs), 0);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(descs[0].sqlType, 12);
    EXPECT_EQ(descs[0].columnSize, 255u);
    EXPECT_STREQ(descs[0].name, "");
    CD_Free(descs, n);
    RowBlock *p = newParamBlock({{VT_NTS, 8}}, 1);
    putText(p, 0, 0, "x");
    ASSERT_EQ(stmtOps().SetParams(h, p), 0);
    ParamTypeDesc t = ptype(12);
    ASSERT_EQ(stmtOps().SetParamTypes(h, 1, &t), 0);
    ASSERT_EQ(stmtOps().Execute(h), 0) << drainErrors(h);
    RowBlock b = fetch(h, 1);
    EXPECT_EQ(textOf(&b, 0, 0), "?x'?");
    RB_Free(&b);
    // A procedure call's parameters are described as "*B".
    ASSERT_EQ(stmtOps().Prepare(h, "{call krs_sc_add(?, ?)}"), 0);
    ASSERT_EQ(stmtOps().GetParamDescs(h, &n, &descs), 0);
    ASSERT_EQ(n, 2);
    EXPECT_STREQ(descs[1].name, "*B");
    CD_Free(descs, n);
}

TEST_F(Calls, NativeSqlAndCursorNames)
{
    char buf[128];
    int32_t len = 0;
    ASSERT_EQ(stmtOps().NativeSql(conn, "select {fn ucase('a')}", buf, sizeof buf, &len), 0) << drainErrors(conn);
    EXPECT_NE(std::string(buf).find("upper"), std::string::npos) << buf;
    const int32_t whole = static_cast<int32_t>(strlen(buf));
    EXPECT_EQ(len, whole);
    // Cut, or with no buffer, the length is still the whole answer's.
    EXPECT_EQ(stmtOps().NativeSql(conn, "select {fn ucase('a')}", buf, 5, &len), 19);
    EXPECT_EQ(strlen(buf), 4u);
    EXPECT_EQ(len, whole);
    EXPECT_EQ(stmtOps().NativeSql(conn, "select {fn ucase('a')}", nullptr, 0, &len), 0);
    EXPECT_EQ(len, whole);
    EXPECT_EQ(stmtOps().NativeSql(0x00BB0999, "x", buf, 5, &len), 21);

    int h = alloc();
    EXPECT_EQ(stmtOps().SetCursorName(h, "c1"), 0) << "no JDBC statement yet";
    ASSERT_EQ(run(h, "select 1"), 0);
    EXPECT_EQ(stmtOps().SetCursorName(h, "c1"), 0) << drainErrors(h);
    buf[0] = 'x';
    int16_t nameLen = -1;
    EXPECT_EQ(stmtOps().GetCursorName(h, buf, sizeof buf, &nameLen), 0) << drainErrors(h);
    EXPECT_EQ(nameLen, 0) << "the JDBC driver keeps no cursor names";
}

TEST_F(Calls, CloseCursorKeepsDescriptionsForTheNextExecute)
{
    int h = alloc();
    ASSERT_EQ(run(h, "select 1 as a, 2 as b"), 0);
    EXPECT_EQ(stmtOps().CloseCursor(h), 0);
    RowBlock b{};
    EXPECT_EQ(stmtOps().Fetch(h, ERR_FUNCTION_NOT_SUPPORTED, &b), ERR_FUNCTION_SEQUENCE);
    uint16_t n = 0;
    EXPECT_EQ(stmtOps().GetColDescs(h, &n, nullptr), 0);
    EXPECT_EQ(n, 2);
    ASSERT_EQ(stmtOps().Execute(h), 0);
    b = fetch(h, 1);
    EXPECT_EQ(getCell<int32_t>(&b, 1, 0), 2);
    RB_Free(&b);
    EXPECT_EQ(stmtOps().FreeStmt(h), 0);
    EXPECT_EQ(stmtOps().FreeStmt(h), ERR_INVALID_ARGUMENT);
}
// Without the analyser's probes the defaults stay; the derivation is done
// once per preparation and only before execution.
TEST_F(Calls, DescribeParamsKeepsDefaultsWithoutProbes)
{
    int h = alloc();
    DrvStmt *s = static_cast<DrvStmt *>(HT_Lookup(&drvStmtTable, static_cast<uint32_t>(h)));
    EXPECT_EQ(describeParams(s), ERR_FUNCTION_SEQUENCE) << "not prepared";
    ASSERT_EQ(stmtOps().Prepare(h, "select ? + 1, ?"), 0);
    EXPECT_EQ(describeParams(s), 0);
    EXPECT_EQ(s->paramsDescribed, 1);
    ASSERT_EQ(s->paramCount, 2);
    EXPECT_EQ(s->paramDescs[1].sqlType, 12);
    ASSERT_EQ(stmtOps().Prepare(h, "select 1"), 0);
    EXPECT_EQ(s->paramsDescribed, 0);
    EXPECT_EQ(describeParams(s), 0);
}

// The stream setters: long text through a Reader keeps every character;
// binary through a stream keeps every byte.
TEST_F(Calls, StreamSettersKeepEveryCharacterAndByte)
{
    psql("drop table if exists krs_sc_stream; create table krs_sc_stream (t text, b bytea)");
    int h = alloc();
    ASSERT_EQ(stmtOps().Prepare(h, "insert into krs_sc_stream values (?, ?)"), 0);
    DrvStmt *s = static_cast<DrvStmt *>(HT_Lookup(&drvStmtTable, static_cast<uint32_t>(h)));
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "Grüße 😀 ";
    const unsigned char bytes[] = {0, 1, 0xfe, 0xff, 0x80};
    EXPECT_EQ(jc_PreparedStatement_setCharacterStream(s, s->stmt, 1, text.data(), static_cast<int32_t>(text.size()), 0),
              0)
        << drainErrors(h);
    EXPECT_EQ(jc_PreparedStatement_setBinaryStream(s, s->stmt, 2, bytes, sizeof bytes), 0) << drainErrors(h);
    uint8_t isRs = 9;
    EXPECT_EQ(jc_PreparedStatement_execute(s, s->stmt, &isRs), 0) << drainErrors(h);
    EXPECT_EQ(isRs, 0);
    EXPECT_EQ(psql("select t = repeat('Grüße 😀 ', 3000), encode(b, 'hex') from krs_sc_stream"), "t|0001feff80");
    // A text with a zero byte inside binds the part before it; an empty text
    // is an empty string, not a NULL.
    EXPECT_EQ(jc_PreparedStatement_setString(s, s->stmt, 1, "ab\0cd", 5, 0), 0);
    EXPECT_EQ(jc_PreparedStatement_setNull(s, s->stmt, 2, -2), 0);
    EXPECT_EQ(jc_PreparedStatement_execute(s, s->stmt, &isRs), 0) << drainErrors(h);
    EXPECT_EQ(jc_PreparedStatement_setString(s, s->stmt, 1, "", 0, 0), 0);
    EXPECT_EQ(jc_PreparedStatement_execute(s, s->stmt, &isRs), 0) << drainErrors(h);
    EXPECT_EQ(psql("select string_agg(coalesce(t, 'NULL') || ':' || length(t), ',' order by length(t) desc) "
                   "from krs_sc_stream where length(t) < 10"),
              "ab:2,:0");
    // A decimal text that is no number fails in the bridge.
    EXPECT_EQ(jc_PreparedStatement_setBigDecimal(s, s->stmt, 1, "1x", 2, 0), ERR_GENERAL);
    drainErrors(h);
}
} // namespace

// Parameter binding at the operation-table level: parameter arrays with row
// counts and a failing set, range and syntax errors, BIGINT and text against
// non-text columns, long and non-BMP text, fractions and double precision.
#include "tests/jvm/stmt_support.h"

#include "drv_jdbc/j-stmt.h"

#include <array>
#include <cmath>
#include <functional>

namespace {
class Params : public StmtTest {
protected:
    DrvStmt *rec(int h) { return static_cast<DrvStmt *>(HT_Lookup(&drvStmtTable, static_cast<uint32_t>(h))); }

    // One value of the first row of a query, as text.
    std::string firstValue(int h, const std::string &sql, RowBlock *params = nullptr,
                           const std::vector<ParamTypeDesc> &types = {})
    {
        int rc = run(h, sql, params, types);
        EXPECT_EQ(rc, 0) << drainErrors(h);
        if (rc)
            return "<error>";
        RowBlock b = fetch(h, 1);
        std::string v = b.rowsUsed ? (indOf(&b, 0, 0) == RB_IND_NULL ? "<null>" : textOf(&b, 0, 0)) : "<none>";
        RB_Free(&b);
        return v;
    }
};

TEST_F(Params, ParameterArrayAddsUpdateCounts)
{
    psql("drop table if exists krs_sp_arr; create table krs_sp_arr (a int primary key, b varchar(10))");
    int h = alloc();
    RowBlock *p = newParamBlock({{VT_LONG, 4}, {VT_NTS, 11}}, 3);
    for (int r = 0; r < 3; ++r) {
        putCell<int32_t>(p, 0, r, r + 1);
        putText(p, 1, r, "v" + std::to_string(r + 1));
    }
    ASSERT_EQ(run(h, "insert into krs_sp_arr values (?, ?)", p, {ptype(4), ptype(12)}), 0) << drainErrors(h);
    EXPECT_EQ(rec(h)->rowCount, 3);
    EXPECT_EQ(psql("select string_agg(a || b, ',' order by a) from krs_sp_arr"), "1v1,2v2,3v3");

    // The second set fails: the first stays done, the third never runs.
    RowBlock *q = newParamBlock({{VT_LONG, 4}, {VT_NTS, 11}}, 3);
    int keys[] = {10, 1, 11};
    for (int r = 0; r < 3; ++r) {
        putCell<int32_t>(q, 0, r, keys[r]);
        putText(q, 1, r, "w");
    }
    EXPECT_EQ(stmtOps().SetParams(h, q), 0);
    int rc = stmtOps().Execute(h);
    EXPECT_NE(rc, 0);
    EXPECT_NE(drainErrors(h).find("23505"), std::string::npos);
    EXPECT_EQ(rec(h)->rowCount, 1);
    EXPECT_EQ(psql("select count(*) from krs_sp_arr where a in (10, 11)"), "1");
}

TEST_F(Params, SelectWithParameterSetsGivesOneResultPerSet)
{
    int h = alloc();
    RowBlock *p = newParamBlock({{VT_LONG, 4}}, 3);
    for (int r = 0; r < 3; ++r)
        putCell<int32_t>(p, 0, r, 10 * (r + 1));
    ASSERT_EQ(run(h, "select ? + 1", p, {ptype(4)}), 0) << drainErrors(h);
    for (int set = 0; set < 3; ++set) {
        if (set) {
            ASSERT_EQ(stmtOps().MoreResults(h), 0) << drainErrors(h);
        }
        RowBlock b = fetch(h, 5);
        ASSERT_EQ(b.rowsUsed, 1);
        EXPECT_EQ(getCell<int32_t>(&b, 0, 0), 10 * (set + 1) + 1);
        RB_Free(&b);
    }
    EXPECT_EQ(stmtOps().MoreResults(h), ERR_NO_MORE_RESULTS);
}

struct RangeCase {
    const char *name;
    ValueType vt;
    uint32_t width;
    int32_t sqlType;
    std::function<void(RowBlock *)> fill;
    int rc;
};

// Values out of range and malformed numbers are refused with their
// SQLSTATE before anything runs.
TEST_F(Params, RangeAndSyntaxErrors)
{
    auto text = [](const char *t) { return [t](RowBlock *b) { putText(b, 0, 0, t); }; };
    const RangeCase cases[] = {
        {"TinyintText200", VT_NTS, 16, -6, text("200"), 58},
        {"SmallintUnsigned70000", VT_ULONG, 4, 5, [](RowBlock *b) { putCell<uint32_t>(b, 0, 0, 70000); }, 58},
        {"SmallintSigned-40000", VT_LONG, 4, 5, [](RowBlock *b) { putCell<int32_t>(b, 0, 0, -40000); }, 58},
        {"IntegerDouble1e10", VT_DOUBLE, 8, 4, [](RowBlock *b) { putCell<double>(b, 0, 0, 1e10); }, 58},
        {"IntegerDoubleNaN", VT_DOUBLE, 8, 4, [](RowBlock *b) { putCell<double>(b, 0, 0, std::nan("")); }, 58},
        {"IntegerText5e9", VT_NTS, 16, 4, text("5000000000"), 58},
        {"IntegerTextAbc", VT_NTS, 16, 4, text("abc"), 121},
        {"IntegerTextEmpty", VT_NTS, 16, 4, text("  "), 121},
        {"IntegerText300Digits", VT_NTS, 320, 4, [](RowBlock *b) { putText(b, 0, 0, std::string(300, '9')); }, 58},
        {"BigintText12x", VT_NTS, 16, -5, text("12x"), 121},
        {"BigintDouble1e30", VT_DOUBLE, 8, -5, [](RowBlock *b) { putCell<double>(b, 0, 0, 1e30); }, 58},
        {"RealDouble1e39", VT_DOUBLE, 8, 7, [](RowBlock *b) { putCell<double>(b, 0, 0, 1e39); }, 58},
        {"RealTextAbc", VT_NTS, 16, 7, text("abc"), 121},
        {"DoubleTextInf", VT_NTS, 16, 8, text("inf"), 121},
        {"NumericTextNoNumber", VT_NTS, 16, 2, text("1.2.3"), 121},
        {"IntegerFromShortBinary", VT_BIN4, 8,  4,
         [](RowBlock *b) {
             putCell<uint32_t>(b, 0, 0, 2);
             memcpy(cellOf(b, 0, 0) + 4, "\x01\x02", 2);
         },
         58},
        // Binary sources shorter than the value they stand for are not over-read.
        {"SmallintFromOneByte", VT_BIN4, 8, 5, [](RowBlock *b) { putCell<uint32_t>(b, 0, 0, 1); }, 58},
        {"BigintFromFourBytes", VT_BIN4, 12, -5, [](RowBlock *b) { putCell<uint32_t>(b, 0, 0, 4); }, 58},
        {"RealFromTwoBytes", VT_BIN4, 8, 7, [](RowBlock *b) { putCell<uint32_t>(b, 0, 0, 2); }, 58},
        {"DoubleFromFourBytes", VT_BIN4, 12, 8, [](RowBlock *b) { putCell<uint32_t>(b, 0, 0, 4); }, 58},
        {"DoubleFromPrefixBeyondCell", VT_BIN4, 8, 8, [](RowBlock *b) { putCell<uint32_t>(b, 0, 0, 1000); }, 58},
        {"DateGarbage", VT_NTS, 16, 91, text("garbage"), 119},
        {"DateFebruary30", VT_NTS, 16, 91, text("2024-02-30"), 119},
        {"TimestampTextLeftOver", VT_NTS, 32, 93, text("2024-01-02 03:04 BC"), 119},
        {"TimeHour24", VT_NTS, 16, 92, text("24:00:00"), 119},
        {"DateFromTimeText", VT_NTS, 16, 91, text("10:11"), 119},
        {"DateCellFebruary30", VT_DATE, 6, 91,
         [](RowBlock *b) { putCell(b, 0, 0, std::array<int16_t, 3>{2024, 2, 30}); }, 119},
        {"TimestampCellHour25", VT_TIMESTAMP, 16, 93,
         [](RowBlock *b) { putCell(b, 0, 0, std::array<uint16_t, 8>{2024, 1, 2, 25, 0, 0, 0, 0}); }, 119},
        {"TimestampCellFractionOfASecondOrMore", VT_TIMESTAMP, 16, 93,
         [](RowBlock *b) {
             std::array<uint16_t, 8> t{2024, 1, 2, 3, 4, 5, 0, 0};
             const uint32_t f = 1000000000u;
             memcpy(&t[6], &f, 4);
             putCell(b, 0, 0, t);
         },
         119},
        {"DateFromNumber", VT_LONG, 4, 91, [](RowBlock *b) { putCell<int32_t>(b, 0, 0, 1); }, 43},
        {"UnknownSqlType", VT_LONG, 4, 1234, [](RowBlock *b) { putCell<int32_t>(b, 0, 0, 1); }, 43},
    };
    int h = alloc();
    for (const RangeCase &c : cases) {
        SCOPED_TRACE(c.name);
        RowBlock *p = newParamBlock({{c.vt, c.width}}, 1);
        c.fill(p);
        EXPECT_EQ(run(h, "select ?", p, {ptype(c.sqlType)}), c.rc);
        drainErrors(h);
    }
    // In range: the limits themselves bind.
    RowBlock *p = newParamBlock({{VT_NTS, 16}}, 1);
    putText(p, 0, 0, " -32768 ");
    EXPECT_EQ(firstValue(h, "select (?::int2)::text", p, {ptype(5)}), "-32768");
    p = newParamBlock({{VT_UTINYINT, 1}}, 1);
    putCell<uint8_t>(p, 0, 0, 200);
    EXPECT_EQ(firstValue(h, "select (?::int2)::text", p, {ptype(-6)}), "200") << "an unsigned byte 200 is a TINYINT";
    p = newParamBlock({{VT_ULONG, 4}}, 1);
    putCell<uint32_t>(p, 0, 0, 4000000000u);
    EXPECT_EQ(firstValue(h, "select (?::int8)::text", p, {ptype(4)}), "4000000000");
}

// A BIGINT parameter and a text parameter both compare with a bigint column.
TEST_F(Params, BigintAndTextAgainstNonTextColumns)
{
    psql("drop table if exists krs_sp_big; create table krs_sp_big (id bigint, d date, j json, n numeric);"
         "insert into krs_sp_big values (42, '2024-01-02', '{}', 1.5), (9000000000, '2024-01-03', '[]', 2)");
    int h = alloc();
    RowBlock *p = newParamBlock({{VT_LONG, 4}}, 1);
    putCell<int32_t>(p, 0, 0, 42);
    EXPECT_EQ(firstValue(h, "select id from krs_sp_big where id = ?", p, {ptype(-5)}), "42");
    p = newParamBlock({{VT_NTS, 32}}, 1);
    putText(p, 0, 0, "9000000000");
    EXPECT_EQ(firstValue(h, "select id from krs_sp_big where id = ?", p, {ptype(-5)}), "9000000000");
    p = newParamBlock({{VT_NTS, 32}}, 1);
    putText(p, 0, 0, "42");
    EXPECT_EQ(firstValue(h, "select id from krs_sp_big where id = ?", p, {ptype(12)}), "42");
    p = newParamBlock({{VT_NTS, 32}}, 1);
    putText(p, 0, 0, "2024-01-03");
    EXPECT_EQ(firstValue(h, "select id from krs_sp_big where d = ?", p, {ptype(12)}), "9000000000");
    // Text into a json column and a NULL typed as text into a numeric column.
    RowBlock *q = newParamBlock({{VT_NTS, 32}, {VT_NTS, 8}}, 1);
    putText(q, 0, 0, "{\"k\": 1}");
    indOf(q, 1, 0) = RB_IND_NULL;
    ASSERT_EQ(run(h, "insert into krs_sp_big (id, j, n) values (7, ?, ?)", q, {ptype(12), ptype(12)}), 0)
        << drainErrors(h);
    EXPECT_EQ(psql("select j::text || coalesce(n::text, '-') from krs_sp_big where id = 7"), "{\"k\": 1}-");
}

// Long text keeps every character, in both string modes.
TEST_F(Params, LongTextParametersKeepNonAsciiText)
{
    psql("drop table if exists krs_sp_long; create table krs_sp_long (k int, t text)");
    std::string unit = "Grüße 😀 ";
    std::string big;
    for (int i = 0; i < 7000; ++i)
        big += unit;
    std::u16string wide;
    for (int i = 0; i < 7000; ++i)
        wide += u"Grüße 😀 ";
    int h = alloc();
    RowBlock *p = newParamBlock({{VT_LONG, 4}, {VT_HEAP_TEXT, 16}}, 1);
    putCell<int32_t>(p, 0, 0, 1);
    putText(p, 1, 0, big);
    ASSERT_EQ(run(h, "insert into krs_sp_long values (?, ?)", p, {ptype(4), ptype(-1)}), 0) << drainErrors(h);

    int w = openExtra(1);
    int hw = alloc(w);
    RowBlock *q = newParamBlock({{VT_LONG, 4}, {VT_HEAP_WTEXT, 16}}, 1);
    putCell<int32_t>(q, 0, 0, 2);
    putWide(q, 1, 0, wide);
    ASSERT_EQ(run(hw, "insert into krs_sp_long values (?, ?)", q, {ptype(4), ptype(-10)}), 0) << drainErrors(hw);

    EXPECT_EQ(psql("select count(*) from krs_sp_long where t = repeat('Grüße 😀 ', 7000)"), "2");
    EXPECT_EQ(psql("select string_agg(length(t)::text, ',' order by k) from krs_sp_long"), "56000,56000");
    EXPECT_EQ(firstValue(h, "select t from krs_sp_long where k = 2"), big);
    EXPECT_EQ(firstValue(hw, "select t from krs_sp_long where k = 1"), big);
}

// Characters beyond the BMP survive SQL text, parameters and results in
// string mode 1.
TEST_F(Params, NonBmpTextSurvivesBothDirectionsInWideMode)
{
    psql("drop table if exists krs_sp_nonbmp; create table krs_sp_nonbmp (k int, t varchar(20))");
    int w = openExtra(1);
    int h = alloc(w);
    ASSERT_EQ(run(h, "insert into krs_sp_nonbmp values (1, 'a😀b')"), 0) << drainErrors(h);
    RowBlock *p = newParamBlock({{VT_WNTS, 42}}, 1);
    putWide(p, 0, 0, u"c😀d");
    ASSERT_EQ(run(h, "insert into krs_sp_nonbmp values (2, ?)", p, {ptype(-9)}), 0) << drainErrors(h);
    EXPECT_EQ(psql("select string_agg(t || length(t), ',' order by k) from krs_sp_nonbmp"), "a😀b3,c😀d3");
    EXPECT_EQ(firstValue(h, "select t from krs_sp_nonbmp where t = 'a😀b'"), "a😀b");
    RowBlock b{};
    ASSERT_EQ(run(h, "select t from krs_sp_nonbmp where k = 2"), 0);
    b = fetch(h, 1);
    ASSERT_EQ(b.columns[0].valueType, VT_WNTS);
    std::u16string got(reinterpret_cast<const char16_t *>(cellOf(&b, 0, 0)));
    EXPECT_EQ(got, u"c😀d");
    RB_Free(&b);
}

TEST_F(Params, TimestampFractionsAndDoublePrecision)
{
    psql("drop table if exists krs_sp_num; create table krs_sp_num (k int, ts timestamp(6), f float8, r real)");
    int h = alloc();
    const char *stamps[] = {"2024-01-02 03:04:05.5", "2024-01-02 03:04:05.000123", "02.01.2024 03:04:05.25",
                            "2024-01-02 03:04"};
    const char *want[] = {"2024-01-02 03:04:05.5", "2024-01-02 03:04:05.000123", "2024-01-02 03:04:05.25",
                          "2024-01-02 03:04:00"};
    for (int i = 0; i < 4; ++i) {
        RowBlock *p = newParamBlock({{VT_LONG, 4}, {VT_NTS, 40}}, 1);
        putCell<int32_t>(p, 0, 0, i);
        putText(p, 1, 0, stamps[i]);
        ASSERT_EQ(run(h, "insert into krs_sp_num (k, ts) values (?, ?)", p, {ptype(4), ptype(93)}), 0) << drainErrors(h);
        EXPECT_EQ(psql("select ts from krs_sp_num where k = " + std::to_string(i)), want[i]);
    }
    RowBlock *p = newParamBlock({{VT_DOUBLE, 8}, {VT_DOUBLE, 8}}, 1);
    putCell<double>(p, 0, 0, 0.1234567890123456);
    putCell<double>(p, 1, 0, 0.5);
    ASSERT_EQ(run(h, "insert into krs_sp_num (k, f, r) values (9, ?, ?)", p, {ptype(6), ptype(7)}), 0) << drainErrors(h);
    EXPECT_EQ(psql("select f = 0.1234567890123456::float8 and r = 0.5 from krs_sp_num where k = 9"), "t");
    // Text in the other date forms, and a time.
    RowBlock *d = newParamBlock({{VT_NTS, 40}, {VT_NTS, 40}}, 1);
    putText(d, 0, 0, "31.12.2024");
    putText(d, 1, 0, "10:11");
    EXPECT_EQ(firstValue(h, "select ?::date || ' ' || ?::time", d, {ptype(91), ptype(92)}), "2024-12-31 10:11:00");
}

TEST_F(Params, TypedValuesAndNulls)
{
    int h = alloc();
    struct {
        const char *name;
        ValueType vt;
        uint32_t width;
        int32_t sqlType;
        std::function<void(RowBlock *)> fill;
        const char *sql;
        const char *want;
    } cases[] = {
        {"BitFromTextTrue", VT_NTS, 8, -7, [](RowBlock *b) { putText(b, 0, 0, "true"); }, "select ?::text", "true"},
        {"BitFromTextYes", VT_NTS, 8, -7, [](RowBlock *b) { putText(b, 0, 0, "yes"); }, "select ?::text", "false"},
        {"NumericText", VT_NTS, 40, 2, [](RowBlock *b) { putText(b, 0, 0, " 12345678901234567890.125 "); },
         "select ?::text", "12345678901234567890.125"},
        {"NumericTextOf1000Digits", VT_NTS, 1040, 2,
         [](RowBlock *b) { putText(b, 0, 0, " " + std::string(1000, '7') + ".5 "); },
         "select length(?::text)::text", "1002"},
        {"IntegerTextOf150Characters", VT_NTS, 200, 4,
         [](RowBlock *b) { putText(b, 0, 0, std::string(148, '0') + "42"); }, "select ?::text", "42"},
        {"DoubleTextOf200Characters", VT_NTS, 240, 8,
         [](RowBlock *b) { putText(b, 0, 0, "0." + std::string(197, '0') + "5"); }, "select ?::text", "5e-198"},
        {"IntegerFromTextWithFraction", VT_NTS, 16, 4, [](RowBlock *b) { putText(b, 0, 0, "12.9"); },
         "select ?::text", "12"},
        {"NullWithType", VT_LONG, 4, 4, [](RowBlock *b) { indOf(b, 0, 0) = RB_IND_NULL; },
         "select coalesce(?::text, 'null')", "null"},
        {"BinaryIntoBytea", VT_BINARY, 3, -3,
         [](RowBlock *b) {
             memcpy(cellOf(b, 0, 0), "\x01\x00\xfe", 3);
             indOf(b, 0, 0) = RB_IND_VALUE;
         },
         "select encode(?, 'hex')", "0100fe"},
        {"DateTimeCell", VT_TIMESTAMP, 16, 93,
         [](RowBlock *b) {
             struct {
                 int16_t y;
                 uint16_t mo, d, h, mi, s;
                 uint32_t f;
             } t{1899, 12, 31, 23, 59, 58, 250000000};
             putCell(b, 0, 0, t);
         },
         "select ?::timestamp::text", "1899-12-31 23:59:58.25"},
        // Years outside 1 to 9999 arrive unchanged: astronomical years before Christ.
        {"DateCellBeforeChrist", VT_DATE, 6, 91,
         [](RowBlock *b) { putCell(b, 0, 0, std::array<int16_t, 3>{-43, 3, 15}); }, "select ?::date::text",
         "0044-03-15 BC"},
        {"DateCellYearZero", VT_DATE, 6, 91,
         [](RowBlock *b) { putCell(b, 0, 0, std::array<int16_t, 3>{0, 12, 31}); }, "select ?::date::text",
         "0001-12-31 BC"},
        {"DateCellYear12345", VT_DATE, 6, 91,
         [](RowBlock *b) { putCell(b, 0, 0, std::array<int16_t, 3>{12345, 1, 2}); }, "select ?::date::text",
         "12345-01-02"},
        {"TimeCellAsTimestampTakesToday", VT_TIME, 6, 93,
         [](RowBlock *b) { putCell(b, 0, 0, std::array<uint16_t, 3>{10, 11, 12}); },
         "select (abs(?::timestamp::date - current_date) <= 1)::text", "true"},
        {"DateTextBeforeChrist", VT_NTS, 32, 91, [](RowBlock *b) { putText(b, 0, 0, "-0043-03-15"); },
         "select ?::date::text", "0044-03-15 BC"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        RowBlock *p = newParamBlock({{c.vt, c.width}}, 1);
        c.fill(p);
        EXPECT_EQ(firstValue(h, c.sql, p, {ptype(c.sqlType)}), c.want);
    }
}
} // namespace

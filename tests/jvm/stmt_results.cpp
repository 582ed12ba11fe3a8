// Back-end statements at the operation-table level: result descriptions and
// row blocks over the PostgreSQL types, block fetch, row limits, prepare-time
// descriptions and results that reflect the data at execute time.
#include "tests/jvm/stmt_support.h"

#include "drv_jdbc/j-stmt.h"
#include "odbc/contract/typed_value.h"

#include <functional>

namespace {
const std::string kLongUnit = "Grüße 😀 ";  // 13 bytes, one character beyond the BMP

std::string longText()
{
    std::string s;
    for (int i = 0; i < 6000; ++i)
        s += kLongUnit;
    return s;
}

struct TypeCase {
    const char *column;
    int32_t sqlType[2];  // string mode 0, 1
    ValueType vt[2];
    std::function<void(const RowBlock *, int col)> check;
};

void checkTimestamp(const RowBlock *b, int c)
{
    struct {
        int16_t y;
        uint16_t mo, d, h, mi, s;
        uint32_t f;
    } t;
    memcpy(&t, cellOf(b, c, 0), sizeof t);
    EXPECT_EQ(t.y, 2024);
    EXPECT_EQ(t.mo, 2);
    EXPECT_EQ(t.d, 29);
    EXPECT_EQ(t.h, 10);
    EXPECT_EQ(t.mi, 11);
    EXPECT_EQ(t.s, 12);
    EXPECT_EQ(t.f, 123456000u);
}

std::vector<TypeCase> typeCases()
{
    auto text = [](const char *want) {
        return [want](const RowBlock *b, int c) { EXPECT_EQ(textOf(b, c, 0), want); };
    };
    return {
        {"i2", {5, 5}, {VT_SHORT, VT_SHORT}, [](const RowBlock *b, int c) { EXPECT_EQ(getCell<int16_t>(b, c, 0), 12); }},
        {"i4", {4, 4}, {VT_LONG, VT_LONG}, [](const RowBlock *b, int c) { EXPECT_EQ(getCell<int32_t>(b, c, 0), -34); }},
        {"i8", {-5, -5}, {VT_NTS, VT_NTS}, text("9223372036854775807")},
        {"n", {2, 2}, {VT_NTS, VT_NTS}, text("123456789.125")},
        {"nu", {2, 2}, {VT_NTS, VT_NTS}, text("1.5")},
        {"f4", {7, 7}, {VT_FLOAT, VT_FLOAT}, [](const RowBlock *b, int c) { EXPECT_EQ(getCell<float>(b, c, 0), 1.25f); }},
        {"f8", {8, 8}, {VT_DOUBLE, VT_DOUBLE},
         [](const RowBlock *b, int c) { EXPECT_EQ(getCell<double>(b, c, 0), 0.1234567890123456); }},
        {"b", {-7, -7}, {VT_BIT, VT_BIT}, [](const RowBlock *b, int c) { EXPECT_EQ(getCell<uint8_t>(b, c, 0), 1); }},
        {"d", {9, 9}, {VT_DATE, VT_DATE},
         [](const RowBlock *b, int c) {
             uint16_t f[3];
             memcpy(f, cellOf(b, c, 0), sizeof f);
             EXPECT_EQ(f[0], 2024);
             EXPECT_EQ(f[1], 2);
             EXPECT_EQ(f[2], 29);
         }},
        {"t", {10, 10}, {VT_TIME, VT_TIME},
         [](const RowBlock *b, int c) {
             uint16_t f[3];
             memcpy(f, cellOf(b, c, 0), sizeof f);
             EXPECT_EQ(f[0], 10);
             EXPECT_EQ(f[1], 11);
             EXPECT_EQ(f[2], 12);
         }},
        {"ts", {11, 11}, {VT_TIMESTAMP, VT_TIMESTAMP}, checkTimestamp},
        {"vc", {12, -9}, {VT_NTS, VT_WNTS}, text("Grüße 😀")},
        {"tx", {12, -9}, {VT_HEAP_TEXT, VT_HEAP_WTEXT},
         [](const RowBlock *b, int c) { EXPECT_TRUE(textOf(b, c, 0) == longText()) << textOf(b, c, 0).size(); }},
        {"ba", {-2, -2}, {VT_HEAP_BINARY, VT_HEAP_BINARY},
         [](const RowBlock *b, int c) { EXPECT_EQ(textOf(b, c, 0), std::string("\x00\xff\x41", 3)); }},
        {"u", {12, -9}, {VT_HEAP_TEXT, VT_HEAP_WTEXT}, text("a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11")},
        {"j", {12, -9}, {VT_HEAP_TEXT, VT_HEAP_WTEXT}, text("{\"a\": [1, \"x\"]}")},
        {"iv", {12, -9}, {VT_HEAP_TEXT, VT_HEAP_WTEXT}, text("1 day 02:03:04")},
    };
}

class Results : public StmtTest {
protected:
    void makeTypesTable()
    {
        psql("set client_encoding to 'UTF8'; drop table if exists krs_sr_types; "
             "create table krs_sr_types (k int, i2 int2, i4 int4, i8 int8, n numeric(12,3), nu numeric, "
             "f4 float4, f8 float8, b bool, d date, t time, ts timestamp(6), vc varchar(20), tx text, "
             "ba bytea, u uuid, j json, iv interval); "
             "insert into krs_sr_types values (1, 12, -34, 9223372036854775807, 123456789.125, 1.5, 1.25, "
             "0.1234567890123456, true, '2024-02-29', '10:11:12', '2024-02-29 10:11:12.123456', "
             "'Grüße 😀', repeat('" + kLongUnit + "', 6000), '\\x00ff41', "
             "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', '{\"a\": [1, \"x\"]}', '1 day 02:03:04'); "
             "insert into krs_sr_types (k) values (2)");
    }
};

// Every PostgreSQL type comes back intact in its cell, and NULLs as NULLs, in
// both string modes; a row with a long column travels one row per block.
TEST_F(Results, TypesComeBackIntactInTheirRowBlocks)
{
    makeTypesTable();
    const auto cases = typeCases();
    for (int mode : {0, 1}) {
        SCOPED_TRACE("string mode " + std::to_string(mode));
        int c = mode ? openExtra(1) : conn;
        for (const TypeCase &tc : cases) {
            SCOPED_TRACE(tc.column);
            int h = alloc(c);
            ASSERT_EQ(run(h, std::string("select ") + tc.column + " from krs_sr_types order by k"), 0) << drainErrors(h);
            ColDesc *cols = nullptr;
            uint16_t n = 0;
            ASSERT_EQ(stmtOps().GetColDescs(h, &n, &cols), 0);
            ASSERT_EQ(n, 1);
            EXPECT_EQ(cols[0].sqlType, tc.sqlType[mode]);
            EXPECT_EQ(cols[0].valueType, tc.vt[mode]);
            EXPECT_STREQ(cols[0].name, tc.column);
            CD_Free(cols, n);

            RowBlock b = fetch(h, 1);
            ASSERT_EQ(b.columnsUsed, 1);
            ASSERT_EQ(b.rowsUsed, 1);
            EXPECT_EQ(indOf(&b, 0, 0), RB_IND_VALUE);
            tc.check(&b, 0);
            RB_Free(&b);
            b = fetch(h, 1);
            ASSERT_EQ(b.rowsUsed, 1);
            EXPECT_EQ(indOf(&b, 0, 0), RB_IND_NULL);
            RB_Free(&b);
            b = fetch(h, 10);
            EXPECT_EQ(b.columnsUsed, 0) << "end of data is an empty block";
            RB_Free(&b);
            EXPECT_EQ(stmtOps().FreeStmt(h), 0);
        }
    }
}

// Dates outside the years 1 to 9999 keep their year: before Christ as
// astronomical years (1 BC is year 0), beyond 9999 as they are; beyond the
// 16-bit year field whole in the wide form (read back with RB_GetYearMonth),
// infinity as the farthest year.
TEST_F(Results, DatesBeforeChristAndBeyondYear9999KeepTheirYear)
{
    struct {
        const char *sql;
        ValueType vt;
        int32_t year;
        uint16_t month, day;  // 0: not checked
        bool wide;
    } cases[] = {
        {"select '0044-03-15 BC'::date", VT_DATE, -43, 3, 15, false},
        {"select '0001-01-01 BC'::date", VT_DATE, 0, 1, 1, false},
        {"select '0001-12-31 BC'::date", VT_DATE, 0, 12, 31, false},
        {"select '0001-01-01'::date", VT_DATE, 1, 1, 1, false},
        {"select '0001-12-31 23:59:59.999 BC'::timestamp", VT_TIMESTAMP, 0, 12, 31, false},
        {"select '0001-01-01 00:00:00'::timestamp", VT_TIMESTAMP, 1, 1, 1, false},
        {"select '12345-01-02'::date", VT_DATE, 12345, 1, 2, false},
        {"select '1500-02-28'::date", VT_DATE, 1500, 2, 28, false},
        {"select '0044-03-15 10:11:12 BC'::timestamp", VT_TIMESTAMP, -43, 3, 15, false},
        {"select '12345-01-02 03:04:05'::timestamp", VT_TIMESTAMP, 12345, 1, 2, false},
        {"select '32767-12-31'::date", VT_DATE, 32767, 12, 31, false},
        {"select '40000-01-01'::date", VT_DATE, 40000, 1, 1, true},
        {"select '5874897-12-31'::date", VT_DATE, 5874897, 12, 31, true},
        {"select '118085-06-09 08:19:11'::timestamp", VT_TIMESTAMP, 118085, 6, 9, true},
        {"select '294276-12-31 23:59:59'::timestamp", VT_TIMESTAMP, 294276, 12, 31, true},
        {"select 'infinity'::date", VT_DATE, RB_YEAR_MAX, 0, 0, true},
        {"select '-infinity'::timestamp", VT_TIMESTAMP, RB_YEAR_MIN, 0, 0, true},
    };
    int h = alloc();
    for (auto &c : cases) {
        SCOPED_TRACE(c.sql);
        ASSERT_EQ(run(h, c.sql), 0) << drainErrors(h);
        RowBlock b = fetch(h, 1);
        ASSERT_EQ(b.rowsUsed, 1);
        ASSERT_EQ(b.columns[0].valueType, c.vt);
        int16_t y;
        uint16_t md[2];
        memcpy(&y, cellOf(&b, 0, 0), 2);
        memcpy(md, cellOf(&b, 0, 0) + 2, 4);
        int32_t year = 0;
        uint16_t month = 0;
        EXPECT_EQ(RB_GetYearMonth(y, md[0], &year, &month), c.wide);
        EXPECT_EQ(year, c.year);
        if (!c.wide) {
            EXPECT_EQ(y, c.year) << "the plain ODBC layout";
            EXPECT_EQ(md[0], c.month);
        }
        if (c.month) {
            EXPECT_EQ(month, c.month);
            EXPECT_EQ(md[1], c.day);
        }
        RB_Free(&b);
    }
}

TEST_F(Results, DescriptionsOfSizesAndDigits)
{
    psql("drop table if exists krs_sr_sizes; create table krs_sr_sizes (a varchar(7), b char(3), c numeric(10,2), "
         "t3 time(3), ts6 timestamp(6), ts0 timestamp(0))");
    int h = alloc();
    ASSERT_EQ(stmtOps().Prepare(h, "select * from krs_sr_sizes"), 0) << drainErrors(h);
    ColDesc *cols = nullptr;
    uint16_t n = 0;
    ASSERT_EQ(stmtOps().GetColDescs(h, &n, &cols), 0);
    ASSERT_EQ(n, 6) << "described at prepare";
    struct {
        int32_t type;
        uint32_t size, display;
        int16_t digits;
        ValueType vt;
        uint32_t buffer;
    } want[] = {
        {12, 7, 7, 0, VT_NTS, 8},     {1, 3, 3, 0, VT_NTS, 4},         {2, 10, 12, 2, VT_NTS, 12},
        {10, 12, 12, 3, VT_TIME, 6},  {11, 26, 26, 6, VT_TIMESTAMP, 16}, {11, 19, 19, 0, VT_TIMESTAMP, 16},
    };
    for (uint16_t i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cols[i].sqlType, want[i].type);
        EXPECT_EQ(cols[i].columnSize, want[i].size);
        EXPECT_EQ(cols[i].displaySize, want[i].display);
        EXPECT_EQ(cols[i].decimalDigits, want[i].digits);
        EXPECT_EQ(cols[i].valueType, want[i].vt);
        EXPECT_EQ(cols[i].bufferLength, want[i].buffer);
    }
    CD_Free(cols, n);
}

TEST_F(Results, BlocksOfRowsAndEndOfData)
{
    int h = alloc();
    ASSERT_EQ(run(h, "select g, 'row ' || g from generate_series(1, 250) g"), 0) << drainErrors(h);
    int32_t total = 0;
    std::vector<int32_t> sizes;
    for (;;) {
        RowBlock b = fetch(h, 100);
        if (b.columnsUsed == 0) {
            RB_Free(&b);
            break;
        }
        ASSERT_EQ(b.columnsUsed, 2);
        for (int32_t r = 0; r < b.rowsUsed; ++r) {
            ++total;
            EXPECT_EQ(getCell<int32_t>(&b, 0, r), total);
            EXPECT_EQ(textOf(&b, 1, r), "row " + std::to_string(total));
        }
        sizes.push_back(b.rowsUsed);
        RB_Free(&b);
    }
    EXPECT_EQ(total, 250);
    EXPECT_EQ(sizes, (std::vector<int32_t>{100, 100, 50}));
    // After the end: empty blocks again and again.
    for (int i = 0; i < 2; ++i) {
        RowBlock b = fetch(h, 100);
        EXPECT_EQ(b.columnsUsed, 0);
        RB_Free(&b);
    }
}

TEST_F(Results, ExactlyFullBlockThenEmptyBlock)
{
    int h = alloc();
    ASSERT_EQ(run(h, "select g from generate_series(1, 5) g"), 0);
    RowBlock b = fetch(h, 5);
    EXPECT_EQ(b.rowsUsed, 5);
    RB_Free(&b);
    b = fetch(h, 5);
    EXPECT_EQ(b.columnsUsed, 0);
    RB_Free(&b);
}

TEST_F(Results, MaximumRowsLimitsTheResult)
{
    int h = alloc();
    DrvStmt *s = static_cast<DrvStmt *>(HT_Lookup(&drvStmtTable, static_cast<uint32_t>(h)));
    ASSERT_NE(s, nullptr);
    s->maxRows = 10;
    ASSERT_EQ(run(h, "select g from generate_series(1, 25) g"), 0);
    RowBlock b = fetch(h, 60);
    EXPECT_EQ(b.rowsUsed, 10);
    RB_Free(&b);
    b = fetch(h, 60);
    EXPECT_EQ(b.columnsUsed, 0);
    RB_Free(&b);
}

// A SELECT without markers is described at prepare but runs at execute:
// rows added in between are in the result.
TEST_F(Results, SelectWithoutMarkersReflectsTheDataAtExecuteTime)
{
    psql("drop table if exists krs_sr_stale; create table krs_sr_stale (a int)");
    int h = alloc();
    ASSERT_EQ(stmtOps().Prepare(h, "select count(*) from krs_sr_stale"), 0) << drainErrors(h);
    uint16_t n = 0;
    ASSERT_EQ(stmtOps().GetColDescs(h, &n, nullptr), 0);
    EXPECT_EQ(n, 1);
    psql("insert into krs_sr_stale values (1), (2), (3)");
    ASSERT_EQ(stmtOps().Execute(h), 0) << drainErrors(h);
    RowBlock b = fetch(h, 10);
    ASSERT_EQ(b.rowsUsed, 1);
    EXPECT_EQ(textOf(&b, 0, 0), "3");
    RB_Free(&b);
    // Executed again after more rows: the new count.
    psql("insert into krs_sr_stale values (4)");
    ASSERT_EQ(stmtOps().Execute(h), 0);
    b = fetch(h, 10);
    EXPECT_EQ(textOf(&b, 0, 0), "4");
    RB_Free(&b);
}

TEST_F(Results, DescribeErrorAtPrepareIsReportedAndDescriptionsStayOn)
{
    int h = alloc();
    EXPECT_NE(stmtOps().Prepare(h, "select * from krs_no_such_table"), 0);
    std::string diag = drainErrors(h);
    EXPECT_NE(diag.find("42P01"), std::string::npos) << diag;
    DrvConn *c = static_cast<DrvConn *>(HT_Lookup(&drvConnTable, static_cast<uint32_t>(conn)));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->useGetMetaData, 1);
    ASSERT_EQ(stmtOps().Prepare(h, "select 1 as one, 'x' as two"), 0) << drainErrors(h);
    uint16_t n = 0;
    ASSERT_EQ(stmtOps().GetColDescs(h, &n, nullptr), 0);
    EXPECT_EQ(n, 2);
}

TEST_F(Results, StatementSequenceErrors)
{
    int h = alloc();
    RowBlock b{};
    EXPECT_EQ(stmtOps().Fetch(h, ERR_TABLE_NOT_FOUND, &b), ERR_FUNCTION_SEQUENCE) << "no pending result";
    EXPECT_EQ(stmtOps().Execute(h), ERR_FUNCTION_SEQUENCE) << "not prepared";
    EXPECT_EQ(stmtOps().MoreResults(h), ERR_NO_MORE_RESULTS);
    char name[32];
    int16_t len = 0;
    EXPECT_EQ(stmtOps().GetCursorName(h, name, sizeof name, &len), 22);
    EXPECT_EQ(stmtOps().Fetch(0x00CC0999, ERR_TABLE_NOT_FOUND, &b), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(stmtOps().Prepare(0x00CC0999, "select 1"), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(stmtOps().NotCapable(h, 0, 0, nullptr), ERR_NOT_CAPABLE);
    EXPECT_EQ(stmtOps().Cancel(h), 0);
    EXPECT_EQ(stmtOps().Cancel(0x00CC0999), ERR_INVALID_ARGUMENT);
    ASSERT_EQ(stmtOps().Prepare(h, "select * from (values (1)) v(a) where a = ?"), 0);
    EXPECT_EQ(stmtOps().Execute(h), ERR_WRONG_PARAMETER_COUNT) << "markers but no parameter values";
    EXPECT_EQ(stmtOps().Prepare(h, "select {fn ucase('a')"), ERR_SYNTAX_OR_ACCESS);
}

TEST_F(Results, QueryTimeoutSetBeforePrepareApplies)
{
    int h = alloc();
    DrvStmt *s = static_cast<DrvStmt *>(HT_Lookup(&drvStmtTable, static_cast<uint32_t>(h)));
    s->queryTimeout = 1;
    ASSERT_EQ(stmtOps().Prepare(h, "select pg_sleep(30)"), 0) << drainErrors(h);
    EXPECT_NE(stmtOps().Execute(h), 0);
    EXPECT_NE(drainErrors(h).find("57014"), std::string::npos) << "canceled by the timeout";
}

TEST_F(Results, ReadOnlyConnectionRefusesAllButSelect)
{
    int ro = openExtra(0, 1);
    int h = alloc(ro);
    EXPECT_EQ(stmtOps().Prepare(h, "create table krs_sr_ro (a int)"), ERR_READ_ONLY_CONNECTION);
    EXPECT_EQ(stmtOps().Prepare(h, "select 1"), 0);
}

TEST_F(Results, UpdateCountsAndMoreResults)
{
    psql("drop table if exists krs_sr_upd; create table krs_sr_upd (a int); insert into krs_sr_upd select generate_series(1, 7)");
    int h = alloc();
    ASSERT_EQ(run(h, "update krs_sr_upd set a = a + 1 where a > 2"), 0) << drainErrors(h);
    DrvStmt *s = static_cast<DrvStmt *>(HT_Lookup(&drvStmtTable, static_cast<uint32_t>(h)));
    EXPECT_EQ(s->rowCount, 5);
    uint16_t n = 9;
    EXPECT_EQ(stmtOps().GetColDescs(h, &n, nullptr), 0);
    EXPECT_EQ(n, 0);
    RowBlock b = fetch(h, 10);
    EXPECT_EQ(b.columnsUsed, 0) << "nothing to fetch after an update count";
    RB_Free(&b);
    EXPECT_EQ(stmtOps().MoreResults(h), ERR_NO_MORE_RESULTS);
    // A statement without markers that is no DML runs as a plain Statement.
    ASSERT_EQ(run(h, "create temporary table krs_sr_plain (a int)"), 0) << drainErrors(h);
    ASSERT_EQ(run(h, "with x as (select 5 as v) select v from x"), 0) << drainErrors(h);
    b = fetch(h, 10);
    ASSERT_EQ(b.rowsUsed, 1);
    EXPECT_EQ(getCell<int32_t>(&b, 0, 0), 5);
    RB_Free(&b);
}

TEST_F(Results, ColumnAttributesCarryOnlyInformation)
{
    int h = alloc();
    ASSERT_EQ(run(h, "select 1 as a, 'x'::text as b"), 0);
    uint16_t cols = 0;
    int16_t attrs = 0;
    ColDesc *copy = nullptr;
    TypedValue *table = nullptr;
    EXPECT_EQ(stmtOps().ColAttributes(h, &cols, &attrs, nullptr, &table), ERR_INVALID_ARGUMENT);
    ASSERT_EQ(stmtOps().ColAttributes(h, &cols, &attrs, &copy, &table), 0) << drainErrors(h);
    EXPECT_EQ(cols, 2);
    ASSERT_GT(attrs, 0);
    bool updatableDefault = false;
    for (int16_t i = 0; i < attrs; ++i) {
        EXPECT_GT(table[i].attrId, 0) << "only reported attributes";
        EXPECT_NE(table[i].attrId, 13);
        if (table[i].attrId == 10 && table[i].column == 0)
            updatableDefault = table[i].value.integer == 2;
        TV_FreeValue(&table[i]);
    }
    EXPECT_TRUE(updatableDefault);
    free(table);
    CD_Free(copy, cols);
}
} // namespace

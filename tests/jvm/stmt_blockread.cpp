// Block reads of results: the rows the Java block reader lays out come into
// the row blocks byte for byte as the cell-by-cell getters put them, for
// every value type it takes, NULLs, text beyond its buffer (read cell by
// cell in the middle of a row), block and buffer boundaries, in both string
// modes; and the reader's layout itself.
#include "tests/jvm/stmt_support.h"

#include "drv_jdbc/j-blockread.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap-ps.h"

#include <string>
#include <vector>

namespace {
// One cell as comparable bytes: heap values by their contents.
std::string cellBytes(const RowBlock *b, int col, int32_t row)
{
    const RowBlockColumn &c = b->columns[col];
    const uint8_t *p = cellOf(b, col, row);
    if (c.valueType == VT_HEAP_TEXT || c.valueType == VT_HEAP_BINARY || c.valueType == VT_HEAP_WTEXT) {
        LongDataBuf buf = getCell<LongDataBuf>(b, col, row);
        const size_t unit = c.valueType == VT_HEAP_WTEXT ? 2 : 1;
        std::string out = "len=" + std::to_string(buf.length) + ":";
        if (buf.data)
            out.append(buf.data, buf.length * unit + unit);  // with the zero element after it
        else
            out += "<none>";
        return out;
    }
    return std::string(reinterpret_cast<const char *>(p), c.width);
}

struct Fetched {
    std::vector<int32_t> blockSizes;
    std::vector<std::vector<std::string>> rows;  // indicator and bytes per cell
    std::vector<ValueType> types;
};

class BlockReads : public StmtTest {
protected:
    void TearDown() override
    {
        drvSetBlockReads(true);
        StmtTest::TearDown();
    }

    // Runs the query on a new statement of the connection and fetches every
    // block of `rows` rows.
    Fetched fetchAll(int on, const std::string &sql, uint16_t rows, bool blocks)
    {
        drvSetBlockReads(blocks);
        Fetched f;
        int h = alloc(on);
        EXPECT_EQ(run(h, sql), 0) << drainErrors(h);
        for (int guard = 0; guard < 1000; ++guard) {
            RowBlock b = fetch(h, rows);
            if (b.columnsUsed == 0) {
                RB_Free(&b);
                break;
            }
            if (f.types.empty())
                for (int c = 0; c < b.columnsUsed; ++c)
                    f.types.push_back(b.columns[c].valueType);
            f.blockSizes.push_back(b.rowsUsed);
            for (int32_t r = 0; r < b.rowsUsed; ++r) {
                std::vector<std::string> cells;
                for (int c = 0; c < b.columnsUsed; ++c)
                    cells.push_back(std::to_string(indOf(&b, c, r)) + "|" + cellBytes(&b, c, r));
                f.rows.push_back(cells);
            }
            RB_Free(&b);
        }
        EXPECT_EQ(stmtOps().FreeStmt(h), 0);
        return f;
    }

    // The query read by blocks and cell by cell gives the same blocks.
    void expectSame(int on, const std::string &sql, uint16_t rows, size_t wantRows)
    {
        Fetched byBlock = fetchAll(on, sql, rows, true);
        Fetched byCell = fetchAll(on, sql, rows, false);
        EXPECT_EQ(byBlock.rows.size(), wantRows) << sql;
        EXPECT_EQ(byBlock.types, byCell.types) << sql;
        EXPECT_EQ(byBlock.blockSizes, byCell.blockSizes) << sql;
        ASSERT_EQ(byBlock.rows.size(), byCell.rows.size()) << sql;
        for (size_t r = 0; r < byBlock.rows.size(); ++r)
            for (size_t c = 0; c < byBlock.rows[r].size(); ++c)
                ASSERT_EQ(byBlock.rows[r][c], byCell.rows[r][c]) << "row " << r << " column " << c << "\n" << sql;
    }

    void makeTable()
    {
        // Row 7 has text beyond the reader's buffer in the middle of its row;
        // every tenth row is NULL in all but its key.
        std::string out = psql(
            "set client_encoding to 'UTF8'; drop table if exists krs_br; "
            "create table krs_br (k int, i2 int2, i4 int4, i8 int8, n numeric(12,2), nu numeric, f4 float4, "
            "f8 float8, b bool, d date, t time, ts timestamp(6), c5 char(5), vc varchar(20), tx text, ba bytea, "
            "u uuid, after int); "
            "insert into krs_br select g, g % 32000, g * 7 - 5000, g * 100000000000, g * 1.25 - 400, g / 3.0, "
            "g / 8.0, g / 3.0, g % 2 = 0, date '2024-02-29' + g, time '10:11:12' + g * interval '1 second', "
            "timestamp '2024-02-29 10:11:12.123456' + g * interval '1 minute', 'ab', "
            "'Grüße ' || g || ' 😀', repeat('ü€😀x', g % 50), decode(lpad(to_hex(g), 8, '0'), 'hex'), "
            "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', -g from generate_series(1, 1200) g; "
            "update krs_br set tx = repeat('Grüße 😀 ', 9000) where k = 7; "
            "update krs_br set i2 = null, i4 = null, i8 = null, n = null, nu = null, f4 = null, f8 = null, "
            "b = null, d = null, t = null, ts = null, c5 = null, vc = null, tx = null, ba = null, u = null, "
            "after = null where k % 10 = 0; "
            "insert into krs_br (k, d, ts, vc, tx) values "
            "(3001, '4713-01-01 BC', '4713-01-01 00:00:00 BC', '', ''), "
            "(3002, '0001-01-01', '0001-01-01 00:00:00', 'x', 'y'), "
            "(3003, '0001-12-31 BC', '0001-12-31 23:59:59.999999 BC', 'ÿ', 'ÿ'), "
            "(3004, '294276-12-31', '294276-12-31 23:59:59', '€', '€'), "
            "(3005, '5874897-12-31', null, '𝄞', '𝄞'), "
            "(3006, 'infinity', 'infinity', null, null), "
            "(3007, '-infinity', '-infinity', null, null), "
            "(3008, '1582-10-10', '1582-10-15 00:00:00', null, null)");
        ASSERT_EQ(out.find("ERROR"), std::string::npos) << out;
    }
};

TEST_F(BlockReads, EveryTypeAndNullComesAsCellByCellInBothStringModes)
{
    makeTable();
    const int wide = openExtra(1);
    const std::string sql = "select * from krs_br order by k";
    for (int on : {conn, wide}) {
        expectSame(on, sql, 1000, 1208);
        // Blocks smaller than what the reader takes in one call.
        expectSame(on, sql, 7, 1208);
    }
}

TEST_F(BlockReads, ExpressionsNumericsAndFarDates)
{
    const int wide = openExtra(1);
    const std::string sql =
        "select g, (g * 12345.67)::numeric(12,2), (-g)::numeric(30,10) / 7, 'Ωmega ' || g, "
        "chr(g % 1000 + 160), make_date(g * 2000 % 300000 + 1, 1, 1), "
        "make_timestamp(g * 37 % 9999 + 1, 12, 31, 23, 59, 59.5), g::int2, g::float8 / 3, "
        "null::text, null::int4 from generate_series(1, 1500) g";
    for (int on : {conn, wide})
        expectSame(on, sql, 400, 1500);
}

TEST_F(BlockReads, TimestampsWithAndWithoutZoneAcrossTheYearsTakenDirectly)
{
    // Timestamps without a zone from 1583 to 9999 are taken from the value
    // as it is; the years around those bounds, fractions of every length,
    // zoned timestamps and the special values are read as the getter reads
    // them.  Both ways give the same cells.
    const int wide = openExtra(1);
    const std::string sql =
        "select g, timestamp '1582-12-31 22:00:00' + g * interval '1 minute', "
        "(timestamp '9999-12-31 23:58:00' + g * interval '1 second')::timestamp, "
        "make_timestamp(1583 + g * 7 % 8417, g % 12 + 1, g % 28 + 1, g % 24, g % 60, (g % 600) / 10.0 + g % 7 * 0.000001), "
        "(timestamp '2024-03-10 01:30:00' + g * interval '7 minutes 0.25 seconds')::timestamp(2), "
        "timestamptz '2024-03-10 01:30:00+00' + g * interval '7 minutes', "
        "case g % 5 when 0 then null when 1 then timestamp 'infinity' when 2 then timestamp '-infinity' "
        "when 3 then timestamp '1200-03-01 12:00:00' else timestamp '2000-02-29 00:00:00.000001' end "
        "from generate_series(1, 300) g";
    for (int on : {conn, wide})
        expectSame(on, sql, 128, 300);
}

TEST_F(BlockReads, ReaderStopsBeforeAValueBeyondItsBufferAndTheRestOfTheRowIsReadByCell)
{
    // Every row carries text larger than the reader's buffer between two
    // small columns: each row is finished cell by cell.
    const std::string sql =
        "select g, repeat('é', 40000 + g), g * 2, repeat('x', g) from generate_series(1, 5) g";
    expectSame(conn, sql, 100, 5);
    const int wide = openExtra(1);
    expectSame(wide, sql, 100, 5);

    drvSetBlockReads(true);
    int h = alloc();
    ASSERT_EQ(run(h, sql), 0) << drainErrors(h);
    RowBlock b = fetch(h, 100);
    ASSERT_EQ(b.rowsUsed, 5);
    for (int32_t r = 0; r < 5; ++r) {
        EXPECT_EQ(getCell<int32_t>(&b, 0, r), r + 1);
        std::string big;
        for (int i = 0; i < 40001 + r; ++i)
            big += "é";
        EXPECT_TRUE(textOf(&b, 1, r) == big) << r;
        EXPECT_EQ(getCell<int32_t>(&b, 2, r), 2 * (r + 1));
        EXPECT_EQ(textOf(&b, 3, r), std::string(static_cast<size_t>(r + 1), 'x'));
    }
    RB_Free(&b);
}

TEST_F(BlockReads, EndOfDataAndRowLimitsAsBefore)
{
    for (bool blocks : {true, false}) {
        drvSetBlockReads(blocks);
        int h = alloc();
        DrvStmt *s = static_cast<DrvStmt *>(HT_Lookup(&drvStmtTable, static_cast<uint32_t>(h)));
        ASSERT_NE(s, nullptr);
        s->maxRows = 12;
        ASSERT_EQ(run(h, "select g from generate_series(1, 25) g"), 0);
        RowBlock b = fetch(h, 5);
        EXPECT_EQ(b.rowsUsed, 5);
        RB_Free(&b);
        b = fetch(h, 60);
        EXPECT_EQ(b.rowsUsed, 7) << blocks;
        EXPECT_EQ(getCell<int32_t>(&b, 0, 6), 12);
        RB_Free(&b);
        b = fetch(h, 60);
        EXPECT_EQ(b.columnsUsed, 0);
        RB_Free(&b);
        s->maxRows = 0;
        ASSERT_EQ(run(h, "select 1 where false"), 0);
        b = fetch(h, 60);
        EXPECT_EQ(b.columnsUsed, 0) << blocks;
        RB_Free(&b);
    }
}

TEST_F(BlockReads, ServerErrorWhileReadingIsTheSameDiagnostic)
{
    // The division fails on the server; wherever the failure surfaces, both
    // ways of reading report it alike.
    std::string errs[2];
    for (int blocks = 0; blocks < 2; ++blocks) {
        drvSetBlockReads(blocks != 0);
        int h = alloc();
        int rc = run(h, "select 1 / (g - 3) from generate_series(1, 5) g");
        if (rc == 0) {
            RowBlock b = fetch(h, 10, &rc);
            RB_Free(&b);
        }
        EXPECT_NE(rc, 0);
        errs[blocks] = drainErrors(h);
    }
    EXPECT_EQ(errs[0], errs[1]);
    EXPECT_NE(errs[1].find("22012"), std::string::npos) << errs[1];
}

// The kinds the reader is asked for by value type and width.
TEST(BlockReaderLayout, KindsByValueType)
{
    struct Case {
        ValueType vt;
        uint32_t width;
        BlockKind kind;
    } cases[] = {
        {VT_BIT, 1, BK_BOOLEAN},      {VT_TINYINT, 1, BK_BYTE},       {VT_SHORT, 2, BK_SHORT},
        {VT_LONG, 4, BK_INT},         {VT_FLOAT, 4, BK_FLOAT},        {VT_DOUBLE, 8, BK_DOUBLE},
        {VT_DATE, 6, BK_DATE},        {VT_TIME, 6, BK_TIME},          {VT_TIMESTAMP, 16, BK_TIMESTAMP},
        {VT_NTS, 15, BK_ENCODED},     {VT_CHAR, 6, BK_ENCODED},       {VT_HEAP_TEXT, 16, BK_ENCODED},
        {VT_TEXT4, 10, BK_ENCODED},   {VT_TEXT4, 4, BK_STOP},         {VT_BINARY, 8, BK_BYTES},
        {VT_BIN4, 12, BK_BYTES},      {VT_BIN4, 4, BK_STOP},          {VT_HEAP_BINARY, 16, BK_BYTES},
        {VT_WNTS, 42, BK_CHARS},      {VT_WCHAR, 10, BK_CHARS},       {VT_HEAP_WTEXT, 16, BK_CHARS},
        {VT_WTEXT4, 20, BK_CHARS},    {VT_WTEXT4, 4, BK_STOP},        {VT_BYTE, 1, BK_STOP},
        {VT_UTINYINT, 1, BK_STOP},    {VT_ULONG, 4, BK_STOP},         {VT_TEXT1, 10, BK_STOP},
    };
    for (const Case &c : cases)
        EXPECT_EQ(blockKindOf(c.vt, c.width), c.kind) << c.vt << " " << c.width;
}

// Cells laid out as the reader writes them go into their elements, with the
// partial row after the whole ones.
TEST(BlockReaderLayout, CellsIntoElements)
{
    RowBlock b{};
    ASSERT_EQ(RB_Init(&b, 5), 0);
    const ValueType vts[5] = {VT_LONG, VT_NTS, VT_TIMESTAMP, VT_HEAP_TEXT, VT_BIN4};
    const uint32_t widths[5] = {4, 6, 16, 16, 8};
    for (int c = 0; c < 5; ++c) {
        b.columns[c].valueType = vts[c];
        b.columns[c].width = widths[c];
    }
    b.columnsUsed = 5;
    ASSERT_EQ(RB_AllocRows(&b, 3), 0);
    const int32_t kinds[5] = {BK_INT, BK_ENCODED, BK_TIMESTAMP, BK_ENCODED, BK_BYTES};

    std::string cells;
    auto i32 = [&](int32_t v) { cells.append(reinterpret_cast<const char *>(&v), 4); };
    auto flag = [&](bool null) { cells += null ? '\1' : '\0'; };
    // Row 0: values; "abcdefg" is cut to 5 bytes, "xyzw" to 4.
    i32(42), flag(false);
    i32(7), cells += "abcdefg", flag(false);
    for (int32_t v : {70000, 2, 29, 10, 11, 12, 5000})
        i32(v);
    flag(false);
    i32(3), cells += std::string("h\0i", 3), flag(false);
    i32(4), cells += "xyzw", flag(false);
    // Row 1: NULLs.
    i32(0), flag(true);
    i32(-1), flag(true);
    for (int k = 0; k < 7; ++k)
        i32(0);
    flag(true);
    i32(-1), flag(true);
    i32(-1), flag(true);
    // Row 2, partial: its first cell only.
    i32(-9), flag(false);

    int32_t whole = 0;
    DrvStmt s{};
    ASSERT_EQ(blockDecode(&s, &b, kinds, reinterpret_cast<const uint8_t *>(cells.data()), 0, 2, 1, &whole), 0);
    EXPECT_EQ(whole, 2);
    EXPECT_EQ(getCell<int32_t>(&b, 0, 0), 42);
    EXPECT_EQ(textOf(&b, 1, 0), "abcde");
    DrvTimestamp t = getCell<DrvTimestamp>(&b, 2, 0);
    int32_t year = 0;
    uint16_t month = 0;
    EXPECT_TRUE(RB_GetYearMonth(t.year, t.month, &year, &month));
    EXPECT_EQ(year, 70000);
    EXPECT_EQ(month, 2);
    EXPECT_EQ(t.day, 29);
    EXPECT_EQ(t.fraction, 5000u);
    EXPECT_EQ(textOf(&b, 3, 0), std::string("h\0i", 3));
    EXPECT_EQ(getCell<uint32_t>(&b, 4, 0), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(cellOf(&b, 4, 0)) + 4, 4), "xyzw");
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(indOf(&b, c, 0), RB_IND_VALUE) << c;
        EXPECT_EQ(indOf(&b, c, 1), RB_IND_NULL) << c;
    }
    EXPECT_EQ(getCell<LongDataBuf>(&b, 3, 1).length, 0u);
    EXPECT_EQ(getCell<uint32_t>(&b, 4, 1), 0u);
    EXPECT_EQ(indOf(&b, 0, 2), RB_IND_VALUE);
    EXPECT_EQ(getCell<int32_t>(&b, 0, 2), -9);
    EXPECT_EQ(indOf(&b, 1, 2), RB_IND_NULL);  // not reached
    b.rowsUsed = 3;
    RB_Free(&b);
}
} // namespace

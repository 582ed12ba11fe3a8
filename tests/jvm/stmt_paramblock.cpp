// Parameter arrays under manual commit added to the JDBC batch by blocks
// (one call into Java per block) store exactly what the setters called one
// by one store: every setter's value type, NULLs, non-ASCII and non-BMP
// text, text cut at a NUL, numerics, dates, binary values, values beyond the
// block, in both string modes; and a failing set (refused by the server or
// not convertible, in the first or a later block) leaves the same row count,
// diagnostic and rows.
#include "tests/jvm/stmt_support.h"

#include "drv_jdbc/j-paramblock.h"
#include "drv_jdbc/j-stmt.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace {
constexpr int32_t kSets = 300;

// Column of the table, its parameter's value type and width, and its SQL type.
struct Col {
    const char *name;
    const char *type;
    ValueType vt;
    uint32_t width;
    int32_t sqlType;
};
const Col kCols[] = {
    {"k", "int primary key", VT_LONG, 4, SQL_INTEGER},
    {"i1", "smallint", VT_UTINYINT, 1, SQL_TINYINT},
    {"i2", "smallint", VT_SHORT, 2, SQL_SMALLINT},
    {"i4", "int", VT_NTS, 16, SQL_INTEGER},
    {"i8", "bigint", VT_ULONG, 4, SQL_BIGINT},
    {"n", "numeric(30,6)", VT_NTS, 40, SQL_NUMERIC},
    {"nd", "numeric", VT_DOUBLE, 8, SQL_DECIMAL},
    {"f4", "real", VT_FLOAT, 4, SQL_REAL},
    {"f8", "double precision", VT_DOUBLE, 8, SQL_DOUBLE},
    {"b", "boolean", VT_BIT, 1, SQL_BIT},
    {"d", "date", VT_DATE, 6, SQL_TYPE_DATE},
    {"t", "time", VT_TIME, 6, SQL_TYPE_TIME},
    {"ts", "timestamp(6)", VT_TIMESTAMP, 16, SQL_TYPE_TIMESTAMP},
    {"tsx", "timestamp(6)", VT_NTS, 40, SQL_TYPE_TIMESTAMP},
    {"c", "varchar(20)", VT_CHAR, 8, SQL_CHAR},
    {"vc", "varchar(200)", VT_NTS, 200, SQL_VARCHAR},
    {"tx", "text", VT_NTS, 140000, SQL_VARCHAR},
    {"ba", "bytea", VT_BINARY, 5, SQL_VARBINARY},
    {"bv", "bytea", VT_BIN4, 40, SQL_VARBINARY},
    {"u", "uuid", VT_NTS, 40, SQL_VARCHAR},
};
constexpr int kColCount = sizeof kCols / sizeof kCols[0];

struct Ts {
    int16_t year;
    uint16_t month, day, hour, minute, second;
    uint32_t fraction;
};

// Every value type a column takes, for set r; every seventh set is NULL in
// all but its key, and every fortieth carries a text beyond the block.
RowBlock *makeSets(int32_t rows, int32_t keyBase)
{
    std::vector<ParamCol> cols;
    for (const Col &c : kCols)
        cols.push_back({c.vt, c.width});
    RowBlock *p = newParamBlock(cols, rows);
    static const char *const texts[] = {"plain", "Grüße ÿ €", "😀 x 𝄞", "", "a'b\"c\\d", "tab\there"};
    for (int32_t r = 0; r < rows; ++r) {
        const int32_t k = keyBase + r;
        putCell<int32_t>(p, 0, r, k);
        if (r % 7 == 3) {
            for (int c = 1; c < kColCount; ++c)
                indOf(p, c, r) = RB_IND_NULL;
            continue;
        }
        putCell<uint8_t>(p, 1, r, static_cast<uint8_t>(r % 256));
        putCell<int16_t>(p, 2, r, static_cast<int16_t>(r * 97 - 15000));
        putText(p, 3, r, " " + std::to_string(r * 1000 - 77777) + (r % 2 ? ".9" : ""));
        putCell<uint32_t>(p, 4, r, 4000000000u - static_cast<uint32_t>(r));
        putText(p, 5, r, std::to_string(r) + "." + std::to_string(r * 37 % 1000000) + "e" + std::to_string(r % 5));
        putCell<double>(p, 6, r, r / 3.0 - 50);
        putCell<float>(p, 7, r, static_cast<float>(r) / 7.0f);
        putCell<double>(p, 8, r, r * 1e-3 + 1e300 * (r % 3 == 0));
        putCell<uint8_t>(p, 9, r, static_cast<uint8_t>(r % 2));
        putCell(p, 10, r, std::array<int16_t, 3>{static_cast<int16_t>(r % 11 == 0 ? -44 : 1900 + r), 2, 28});
        putCell(p, 11, r, std::array<uint16_t, 3>{static_cast<uint16_t>(r % 24), 59, static_cast<uint16_t>(r % 60)});
        putCell(p, 12, r, Ts{static_cast<int16_t>(1583 + r * 7), 12, 31, 23, 59, 58, static_cast<uint32_t>(r) * 1000});
        putText(p, 13, r, r % 2 ? "2024-02-29 10:11:12.5" : "31.12.1999 01:02");
        // Fixed-width text cut at its NUL, and full-width text.
        memcpy(cellOf(p, 14, r), r % 2 ? "ab\0cdefg" : "abcdefgh", 8);
        indOf(p, 14, r) = RB_IND_VALUE;
        putText(p, 15, r, std::string(texts[r % 6]) + " " + std::to_string(r));
        putText(p, 16, r, r % 40 == 5 ? std::string(66000, 'x') + "ü" : std::string(r % 30, 'y') + "é");
        memcpy(cellOf(p, 17, r), "\x00\x01\xfe\xff", 4);
        cellOf(p, 17, r)[4] = static_cast<uint8_t>(r);
        indOf(p, 17, r) = RB_IND_VALUE;
        const uint32_t n = static_cast<uint32_t>(r % 30);
        putCell<uint32_t>(p, 18, r, n);
        memset(cellOf(p, 18, r) + 4, r % 256, n);
        putText(p, 19, r, "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a" + std::to_string(10 + r % 90));
    }
    return p;
}

// The wide-text variant: varchar values as UTF-16 with a non-BMP character
// and a lone surrogate (which both ways replace alike).
RowBlock *makeWideSets(int32_t rows)
{
    RowBlock *p = newParamBlock({{VT_LONG, 4}, {VT_WNTS, 80}, {VT_WNTS, 700}}, rows);
    for (int32_t r = 0; r < rows; ++r) {
        putCell<int32_t>(p, 0, r, r);
        std::u16string v = u"Grüße 😀 " + std::u16string(static_cast<size_t>(r % 9), u'€');
        if (r % 13 == 4)
            v += static_cast<char16_t>(0xD800);
        putWide(p, 1, r, v);
        if (r % 5 == 0)
            indOf(p, 2, r) = RB_IND_NULL;
        else
            putWide(p, 2, r, u"w" + std::u16string(static_cast<size_t>(r), u'ß'));
    }
    return p;
}

std::vector<ParamTypeDesc> typesOf(const std::vector<int32_t> &sqlTypes)
{
    std::vector<ParamTypeDesc> types;
    for (int32_t t : sqlTypes)
        types.push_back(ptype(t));
    return types;
}

// What one execution of a parameter array left.
struct Outcome {
    int rc = 0;
    int32_t rowCount = 0;
    uint16_t executions = 0;
    std::string errors;
    std::string rows;  // the table's rows as text, in key order
    int64_t filled = 0;  // sets the Java filler added to the batch
};

bool operator==(const Outcome &a, const Outcome &b)
{
    return a.rc == b.rc && a.rowCount == b.rowCount && a.executions == b.executions && a.errors == b.errors &&
           a.rows == b.rows;
}

std::ostream &operator<<(std::ostream &os, const Outcome &o)
{
    return os << "rc=" << o.rc << " rowCount=" << o.rowCount << " executions=" << o.executions << " errors=["
              << o.errors << "] rows md5=" << o.rows.substr(0, 200);
}

class ParamBlocks : public StmtTest {
protected:
    void TearDown() override
    {
        drvSetBlockBatches(true);
        StmtTest::TearDown();
    }

    DrvStmt *rec(int h) { return static_cast<DrvStmt *>(HT_Lookup(&drvStmtTable, static_cast<uint32_t>(h))); }

    // A connection under manual commit in string mode 0 or 1.
    int manualCommit(int mode)
    {
        drvOptions.noAutoCommit = 1;
        const int h = openExtra(mode);
        drvOptions.noAutoCommit = 0;
        return h;
    }

    // Creates the table anew, runs the insert with the sets on a manual-commit
    // connection by blocks or set by set, commits, and reads the table back.
    // The table's serial column numbers the rows as the server inserted
    // them: a batch the server refused and that ran again set by set has
    // used numbers up, so a block that a wrong value made fail shows.
    Outcome insertAll(int on, const std::string &table, const std::string &columns, const std::string &names,
                      RowBlock *sets, const std::vector<int32_t> &sqlTypes, bool blocks,
                      const std::string &readBack)
    {
        EXPECT_EQ(psql("set client_min_messages to warning; drop table if exists " + table + "; create table " +
                       table + " (" + columns + ", sq serial)"),
                  "");
        std::string markers;
        for (size_t i = 0; i < sqlTypes.size(); ++i)
            markers += i ? ", ?" : "?";
        drvSetBlockBatches(blocks);
        Outcome o;
        const int h = alloc(on);
        o.rc = run(h, "insert into " + table + " (" + names + ") values (" + markers + ")", sets, typesOf(sqlTypes));
        o.rowCount = rec(h)->rowCount;
        o.executions = rec(h)->executions;
        o.errors = drainErrors(h);
        o.filled = drvBatchFillerSets(rec(h));
        EXPECT_EQ(stmtOps().FreeStmt(h), 0);
        EXPECT_EQ(stmtOps().Commit(on), 0) << drainErrors(on);
        o.rows = psql(readBack);
        return o;
    }

    std::string columnsSql() const
    {
        std::string s;
        for (const Col &c : kCols)
            s += std::string(s.empty() ? "" : ", ") + c.name + " " + c.type;
        return s;
    }

    std::string columnNames() const
    {
        std::string s;
        for (const Col &c : kCols)
            s += std::string(s.empty() ? "" : ", ") + c.name;
        return s;
    }

    std::vector<int32_t> sqlTypes() const
    {
        std::vector<int32_t> t;
        for (const Col &c : kCols)
            t.push_back(c.sqlType);
        return t;
    }

    // The typed table filled both ways from the same sets; the two outcomes.
    std::pair<Outcome, Outcome> bothWays(int on, const std::function<RowBlock *()> &sets)
    {
        const std::string readBack = "select string_agg(x::text, E'\\n' order by k) from krs_pb x";
        Outcome byBlock = insertAll(on, "krs_pb", columnsSql(), columnNames(), sets(), sqlTypes(), true, readBack);
        Outcome bySetter = insertAll(on, "krs_pb", columnsSql(), columnNames(), sets(), sqlTypes(), false, readBack);
        return {byBlock, bySetter};
    }
};

TEST_F(ParamBlocks, EveryValueTypeStoresAsBySettersInBothStringModes)
{
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        const int on = manualCommit(mode);
        auto [byBlock, bySetter] = bothWays(on, [] { return makeSets(kSets, 0); });
        EXPECT_EQ(byBlock, bySetter);
        EXPECT_EQ(byBlock.rc, 0) << byBlock.errors;
        EXPECT_EQ(byBlock.rowCount, kSets);
        EXPECT_EQ(byBlock.executions, kSets);
        // By blocks indeed, but for the values beyond a block.
        EXPECT_EQ(byBlock.filled, kSets - kSets / 40);
        EXPECT_EQ(bySetter.filled, 0);
        // Not the same mistake both ways: spot values as written.
        EXPECT_EQ(psql("select count(*) from krs_pb"), std::to_string(kSets));
        EXPECT_EQ(psql("select vc || '|' || c || '|' || i4 || '|' || b from krs_pb where k = 1"),
                  "Grüße ÿ € 1|ab|-76777|true");
        EXPECT_EQ(psql("select vc || '|' || ts || '|' || d || '|' || encode(ba, 'hex') from krs_pb where k = 2"),
                  "😀 x 𝄞 2|1597-12-31 23:59:58.000002|1902-02-28|0001feff02");
        EXPECT_EQ(psql("select count(*) from krs_pb where length(tx) = 66001"), std::to_string(kSets / 40));
        EXPECT_EQ(psql("select count(*) from krs_pb where vc is null and ts is null and ba is null"),
                  std::to_string((kSets + 3) / 7));
    }
}

TEST_F(ParamBlocks, WideTextStoresAsBySetters)
{
    const int on = manualCommit(1);
    const std::string readBack = "select string_agg(k || ':' || coalesce(v, '<null>') || ':' || "
                                 "coalesce(w, '<null>') || ':' || sq, E'\\n' order by k) from krs_pbw";
    const std::vector<int32_t> types = {SQL_INTEGER, SQL_WVARCHAR, SQL_WVARCHAR};
    const char *columns = "k int, v varchar(60), w text";
    Outcome byBlock = insertAll(on, "krs_pbw", columns, "k, v, w", makeWideSets(kSets), types, true, readBack);
    Outcome bySetter = insertAll(on, "krs_pbw", columns, "k, v, w", makeWideSets(kSets), types, false, readBack);
    EXPECT_EQ(byBlock, bySetter);
    EXPECT_EQ(byBlock.rowCount, kSets);
    EXPECT_EQ(byBlock.filled, kSets);
    EXPECT_EQ(psql("select v from krs_pbw where k = 2"), "Grüße 😀 €€");
}

// A set that fails stops the array where the one-by-one run stops, whether
// the server refuses it or the driver cannot convert one of its values, in
// the first block or a later one, after a value beyond the block.
TEST_F(ParamBlocks, FailingSetsStopAsBySetters)
{
    const int on = manualCommit(0);
    struct Case {
        const char *name;
        int32_t failing;
        bool duplicate;  // else a text that is no integer
    } cases[] = {
        {"DuplicateKeyInFirstBlock", 20, true},
        {"DuplicateKeyInLaterBlock", 290, true},
        {"DuplicateKeyAfterLongValue", 206, true},
        {"NoIntegerInFirstSet", 0, false},
        {"NoIntegerInFirstBlock", 120, false},
        {"NoIntegerInLastSet", kSets - 1, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto sets = [&c] {
            RowBlock *p = makeSets(kSets, 0);
            if (c.duplicate)
                putCell<int32_t>(p, 0, c.failing, 3);
            else
                putText(p, 3, c.failing, "12x");
            return p;
        };
        auto [byBlock, bySetter] = bothWays(on, sets);
        EXPECT_EQ(byBlock, bySetter);
        EXPECT_NE(byBlock.rc, 0);
        EXPECT_EQ(byBlock.rowCount, c.failing);
        if (c.duplicate)
            EXPECT_NE(byBlock.errors.find("23505"), std::string::npos) << byBlock.errors;
        else
            EXPECT_EQ(byBlock.rc, ERR_INVALID_CAST_VALUE);
    }
}
} // namespace

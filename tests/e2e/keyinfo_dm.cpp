// What the cursor library tells about a forward-only statement's columns
// when statement attribute 1052 (report key and expression columns) or 1054
// (also add the missing key columns) is set, through unixODBC with both
// libraries: key column (1053) and expression (1055) attributes, base
// column and table names of plain, labelled and joined columns; and
// one-statement emulation (MASE), which serves forward-only SELECTs from a
// static cursor read at execution.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <clocale>
#include <string>
#include <vector>

#include "tests/common/pg_env.h"
#include "tests/e2e/connect_common.h"

namespace {

using conntest::Diags;
using conntest::Sql;

PgEnv g_pg;

constexpr SQLUSMALLINT kKeyColumn = 1053;
constexpr SQLUSMALLINT kExpression = 1055;
constexpr SQLINTEGER kAttrKeyInfo = 1052;
constexpr SQLINTEGER kAttrAddKeys = 1054;

class KeyInfoEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        // Text outside ASCII crosses unixODBC's narrow calls as UTF-8.
        setlocale(LC_ALL, "C.UTF-8");
        ASSERT_TRUE(PgEnvLoad(g_pg));
        PgPsql(g_pg, "drop schema if exists krs_ki cascade; create schema krs_ki;"
                     "create table krs_ki.a (id int primary key, name varchar(20), n int);"
                     "create table krs_ki.b (aid int, bid int, v text, primary key (aid, bid));"
                     "insert into krs_ki.a values (1, 'one', 10), (2, 'two', 20), (3, 'three', 30);"
                     "insert into krs_ki.b values (1, 7, 'x'), (2, 8, 'y');");
        // Quotes escaped for the shell that runs psql.
        PgPsql(g_pg, "create table krs_ki.\\\"Grüße\\\" (\\\"Schlüssel\\\" int primary key, wert text);"
                     "insert into krs_ki.\\\"Grüße\\\" values (5, 'fünf');");
    }
    void TearDown() override { PgPsql(g_pg, "drop schema if exists krs_ki cascade"); }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new KeyInfoEnv);

// What one result column reports.
struct Seen {
    std::string label, baseColumn, baseTable;
    SQLLEN key = -1, expression = -1;
};

class KeyInfo : public conntest::DsnStatement {
protected:
    void Attr(SQLINTEGER attr, SQLULEN value)
    {
        ASSERT_EQ(SQLSetStmtAttr(st, attr, reinterpret_cast<SQLPOINTER>(value), 0), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
    }
    std::string Text(SQLUSMALLINT col, SQLUSMALLINT field)
    {
        char buf[256] = {};
        SQLSMALLINT len = 0;
        EXPECT_EQ(SQLColAttribute(st, col, field, buf, sizeof buf, &len, nullptr), SQL_SUCCESS)
            << field << " " << Diags(SQL_HANDLE_STMT, st);
        return buf;
    }
    SQLLEN Number(SQLUSMALLINT col, SQLUSMALLINT field)
    {
        SQLLEN v = -1;
        EXPECT_EQ(SQLColAttribute(st, col, field, nullptr, 0, nullptr, &v), SQL_SUCCESS)
            << field << " " << Diags(SQL_HANDLE_STMT, st);
        return v;
    }
    // Runs the statement and reads what every column reports.
    std::vector<Seen> Columns(const std::string &sql)
    {
        std::vector<Seen> out;
        EXPECT_EQ(SQLExecDirect(st, Sql(sql), SQL_NTS), SQL_SUCCESS) << sql << "\n" << Diags(SQL_HANDLE_STMT, st);
        SQLSMALLINT n = 0;
        EXPECT_EQ(SQLNumResultCols(st, &n), SQL_SUCCESS);
        for (SQLUSMALLINT c = 1; c <= n; ++c) {
            Seen s;
            s.label = Text(c, SQL_DESC_LABEL);
            s.baseColumn = Text(c, SQL_DESC_BASE_COLUMN_NAME);
            s.baseTable = Text(c, SQL_DESC_BASE_TABLE_NAME);
            s.key = Number(c, kKeyColumn);
            s.expression = Number(c, kExpression);
            SQLCHAR name[64] = {};
            SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            EXPECT_EQ(SQLDescribeCol(st, c, name, sizeof name, &len, &type, &size, &digits, &nullable), SQL_SUCCESS);
            EXPECT_EQ(reinterpret_cast<char *>(name), s.label) << "the name the application reads is its label";
            out.push_back(s);
        }
        return out;
    }
    // The first row's values as text.
    std::vector<std::string> FirstRow()
    {
        std::vector<std::string> out;
        SQLSMALLINT n = 0;
        SQLNumResultCols(st, &n);
        EXPECT_EQ(SQLFetch(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        for (SQLUSMALLINT c = 1; c <= n; ++c) {
            char buf[64] = {};
            SQLLEN ind = 0;
            SQLGetData(st, c, SQL_C_CHAR, buf, sizeof buf, &ind);
            out.push_back(ind == SQL_NULL_DATA ? "<null>" : buf);
        }
        SQLFreeStmt(st, SQL_CLOSE);
        return out;
    }
};

void Expect(const std::vector<Seen> &got, const std::vector<Seen> &want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("column " + std::to_string(i + 1));
        EXPECT_EQ(got[i].label, want[i].label);
        EXPECT_EQ(got[i].baseColumn, want[i].baseColumn);
        EXPECT_EQ(got[i].baseTable, want[i].baseTable);
        EXPECT_EQ(got[i].key, want[i].key);
        EXPECT_EQ(got[i].expression, want[i].expression);
    }
}

TEST_P(KeyInfo, KeyAndExpressionColumnsWithTheirBaseNames)
{
    Attr(kAttrKeyInfo, 1);
    // A column, a labelled column, an expression.
    Expect(Columns("SELECT id, name AS label, n + 1 AS expr, name FROM krs_ki.a WHERE id = 2"),
           {{"id", "id", "a", 1, 0}, {"label", "name", "a", 0, 0}, {"expr", "", "", 0, 1}, {"name", "name", "a", 0, 0}});
    EXPECT_EQ(FirstRow(), (std::vector<std::string>{"2", "two", "21", "two"}));

    // A join: each column names its own table; b's key has two columns.
    Expect(Columns("SELECT x.name, y.v, y.bid FROM krs_ki.a x, krs_ki.b y WHERE x.id = y.aid AND x.id = 1"),
           {{"name", "name", "a", 0, 0}, {"v", "v", "b", 0, 0}, {"bid", "bid", "b", 1, 0}});
    EXPECT_EQ(FirstRow(), (std::vector<std::string>{"one", "x", "7"}));

    // A wildcard stands for the table's columns.
    Expect(Columns("SELECT * FROM krs_ki.a WHERE id = 3"),
           {{"id", "id", "a", 1, 0}, {"name", "name", "a", 0, 0}, {"n", "n", "a", 0, 0}});
    EXPECT_EQ(FirstRow(), (std::vector<std::string>{"3", "three", "30"}));
}

TEST_P(KeyInfo, MissingKeyColumnsAreAdded)
{
    Attr(kAttrAddKeys, 1);
    Expect(Columns("SELECT name FROM krs_ki.a WHERE id = 1"), {{"name", "name", "a", 0, 0}, {"id", "id", "a", 1, 0}});
    EXPECT_EQ(FirstRow(), (std::vector<std::string>{"one", "1"}));
    Expect(Columns("SELECT v AS value FROM krs_ki.b WHERE aid = 2"),
           {{"value", "v", "b", 0, 0}, {"aid", "aid", "b", 1, 0}, {"bid", "bid", "b", 1, 0}});
    EXPECT_EQ(FirstRow(), (std::vector<std::string>{"y", "2", "8"}));
}

// Quoted names outside ASCII: base names as the database spells them,
// without their quotes.
TEST_P(KeyInfo, QuotedNamesOutsideAscii)
{
    Attr(kAttrAddKeys, 1);
    Expect(Columns("SELECT wert FROM krs_ki.\"Grüße\""),
           {{"wert", "wert", "Grüße", 0, 0}, {"Schlüssel", "Schlüssel", "Grüße", 1, 0}});
    EXPECT_EQ(FirstRow(), (std::vector<std::string>{"fünf", "5"}));
}

TEST_P(KeyInfo, WithoutTheAttributesNothingIsAnalysed)
{
    // The back end describes the columns alone: no key, no base table.
    Expect(Columns("SELECT id, n + 1 AS expr FROM krs_ki.a WHERE id = 1"),
           {{"id", "id", "", 0, 0}, {"expr", "expr", "", 0, 0}});
    EXPECT_EQ(FirstRow(), (std::vector<std::string>{"1", "11"}));
    // The attributes read back as set.
    Attr(kAttrKeyInfo, 1);
    SQLULEN v = 0;
    ASSERT_EQ(SQLGetStmtAttr(st, kAttrKeyInfo, &v, 0, nullptr), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(v, 1u);
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, KeyInfo, ::testing::Values("krs_w", "krs_a"),
                         [](const ::testing::TestParamInfo<const char *> &i) { return std::string(i.param); });

// One-statement emulation: a forward-only SELECT is read whole at
// execution (its row count is known at once); statements the analyser does
// not read run forward-only as before.
class OneStatement : public ::testing::TestWithParam<const char *> {
protected:
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;

    void SetUp() override
    {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    void TearDown() override
    {
        if (dbc) {
            SQLDisconnect(dbc);
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        }
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    void Connect(bool mase)
    {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
        const std::string in = std::string("DSN=") + GetParam() + (mase ? ";MASE=1" : "");
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLDriverConnect(dbc, nullptr, Sql(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
            << Diags(SQL_HANDLE_DBC, dbc);
    }
    // The row count right after execution and the rows then fetched.
    std::pair<SQLLEN, std::vector<std::string>> Run(const char *sql)
    {
        SQLHSTMT st = nullptr;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
        EXPECT_EQ(SQLExecDirect(st, Sql(sql), SQL_NTS), SQL_SUCCESS) << sql << "\n" << Diags(SQL_HANDLE_STMT, st);
        SQLLEN count = -7;
        EXPECT_EQ(SQLRowCount(st, &count), SQL_SUCCESS);
        std::vector<std::string> rows;
        while (SQLFetch(st) == SQL_SUCCESS) {
            char buf[64] = {};
            SQLLEN ind = 0;
            SQLGetData(st, 1, SQL_C_CHAR, buf, sizeof buf, &ind);
            rows.push_back(buf);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return {count, rows};
    }
};

TEST_P(OneStatement, ForwardOnlySelectsAreReadAtExecution)
{
    Connect(true);
    const auto all = Run("SELECT name FROM krs_ki.a ORDER BY id");
    EXPECT_EQ(all.first, 3) << "the static set holds the whole result";
    EXPECT_EQ(all.second, (std::vector<std::string>{"one", "two", "three"}));
    const auto outside = Run("SELECT name FROM krs_ki.a ORDER BY id LIMIT 2");
    EXPECT_EQ(outside.first, -1) << "outside the analyser's dialect: forward-only";
    EXPECT_EQ(outside.second, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(Run("SELECT 1 AS one").second, (std::vector<std::string>{"1"}));
}

TEST_P(OneStatement, WithoutItForwardOnlyStaysForwardOnly)
{
    Connect(false);
    const auto all = Run("SELECT name FROM krs_ki.a ORDER BY id");
    EXPECT_EQ(all.first, -1);
    EXPECT_EQ(all.second, (std::vector<std::string>{"one", "two", "three"}));
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, OneStatement, ::testing::Values("krs_w", "krs_a"),
                         [](const ::testing::TestParamInfo<const char *> &i) { return std::string(i.param); });

} // namespace

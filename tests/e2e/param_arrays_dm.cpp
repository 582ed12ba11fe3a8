// Parameter arrays through unixODBC with both libraries, under manual commit
// and autocommit: every row of a large array lands with its NULLs, non-ASCII
// text and ignored rows; a row the server refuses in the middle stops the
// array there (row statuses, rows processed, the server's own diagnostic),
// and the rows before it share the fate of the transaction exactly as when
// each row runs by itself; a value the driver cannot convert stops the array
// at its row; updates add up their counts; statements returning rows and
// arrays in a transaction the server has already aborted keep their answers.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <locale.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/common/pg_env.h"
#include "tests/e2e/connect_common.h"

namespace {

PgEnv g_pg;

class ArraysEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        // The ANSI library's code page is the locale's: UTF-8, named before
        // the Driver Manager loads a driver.
        locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        ASSERT_NE(utf8, static_cast<locale_t>(nullptr)) << "C.UTF-8 is not installed";
        freelocale(utf8);
        setenv("LC_ALL", "C.UTF-8", 1);
        ASSERT_TRUE(PgEnvLoad(g_pg));
        PgPsql(g_pg, "drop schema if exists krs_pa cascade; create schema krs_pa");
    }
    void TearDown() override { PgPsql(g_pg, "drop schema if exists krs_pa cascade"); }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new ArraysEnv);

using conntest::Diags;
using conntest::Sql;

std::string FirstState(SQLSMALLINT type, SQLHANDLE h) { return conntest::Diag(type, h); }

// UTF-16 units of a UTF-8 text of the Basic Multilingual Plane.
std::u16string Utf16(const std::string &s)
{
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out += c;
            i += 1;
        } else if (c < 0xE0) {
            out += static_cast<char16_t>(((c & 0x1F) << 6) | (s[i + 1] & 0x3F));
            i += 2;
        } else {
            out += static_cast<char16_t>(((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F));
            i += 3;
        }
    }
    return out;
}

// Column-wise parameter arrays for (id, name, wname, amount, born): the text
// columns are NULL where the row's name is empty.
struct Rows {
    static constexpr int kName = 48;
    static constexpr int kWide = 24;
    std::vector<SQLINTEGER> ids;
    std::vector<char> names;
    std::vector<SQLWCHAR> wnames;
    std::vector<SQLLEN> nameInd, wnameInd, amountInd;
    std::vector<double> amounts;
    std::vector<SQL_DATE_STRUCT> borns;
    std::vector<SQLUSMALLINT> ops, status;
    SQLULEN processed = 999;

    explicit Rows(size_t n)
        : ids(n), names(n * kName), wnames(n * kWide), nameInd(n), wnameInd(n), amountInd(n), amounts(n), borns(n),
          ops(n, SQL_PARAM_PROCEED), status(n, 99)
    {
    }
    size_t Size() const { return ids.size(); }
    void Set(size_t r, int id, const std::string &name, double amount)
    {
        ids[r] = id;
        amounts[r] = amount;
        amountInd[r] = 0;
        borns[r] = SQL_DATE_STRUCT{static_cast<SQLSMALLINT>(2000 + r % 20), static_cast<SQLUSMALLINT>(1 + r % 12),
                                   static_cast<SQLUSMALLINT>(1 + r % 28)};
        if (name.empty()) {
            nameInd[r] = wnameInd[r] = SQL_NULL_DATA;
            return;
        }
        std::snprintf(&names[r * kName], kName, "%s", name.c_str());
        nameInd[r] = SQL_NTS;
        const std::u16string w = Utf16(name).substr(0, kWide - 1);
        std::memcpy(&wnames[r * kWide], w.c_str(), (w.size() + 1) * sizeof(SQLWCHAR));
        wnameInd[r] = SQL_NTS;
    }
};

class Arrays : public conntest::DsnStatement {
protected:
    void SetUp() override
    {
        DsnStatement::SetUp();
        if (HasFatalFailure())
            return;
        t = std::string("krs_pa.items_") + GetParam();
        PgPsql(g_pg, "drop table if exists " + t + "; create table " + t +
                         " (id int primary key, name text, wname varchar(20), amount numeric(10,2), born date)");
    }
    void Manual(bool on)
    {
        ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT,
                                    reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_OFF : SQL_AUTOCOMMIT_ON), 0),
                  SQL_SUCCESS)
            << Diags(SQL_HANDLE_DBC, dbc);
    }
    // Binds the arrays to "insert into t values (?, ?, ?, ?, ?)" and prepares it.
    void BindInsert(Rows &r)
    {
        ASSERT_EQ(SQLPrepare(st, Sql("insert into " + t + " values (?, ?, ?, ?, ?)"), SQL_NTS), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        BindArrays(r);
        ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, r.ids.data(), 0, nullptr),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, Rows::kName - 1, 0,
                                   r.names.data(), Rows::kName, r.nameInd.data()),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, Rows::kWide - 1, 0,
                                   r.wnames.data(), Rows::kWide * sizeof(SQLWCHAR), r.wnameInd.data()),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLBindParameter(st, 4, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_NUMERIC, 10, 2, r.amounts.data(), 0,
                                   r.amountInd.data()),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLBindParameter(st, 5, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, r.borns.data(), 0,
                                   nullptr),
                  SQL_SUCCESS);
    }
    void BindArrays(Rows &r)
    {
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(r.Size()), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_PARAM_OPERATION_PTR, r.ops.data(), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_PARAM_STATUS_PTR, r.status.data(), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, &r.processed, 0), SQL_SUCCESS);
    }
    // Back to single parameter sets without bindings.
    void Unbind()
    {
        SQLFreeStmt(st, SQL_CLOSE);
        SQLFreeStmt(st, SQL_RESET_PARAMS);
        SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
        SQLSetStmtAttr(st, SQL_ATTR_PARAM_OPERATION_PTR, nullptr, 0);
        SQLSetStmtAttr(st, SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0);
        SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0);
    }
    // The committed rows as the server sees them, from a session of its own.
    std::string Committed(const std::string &what = "count(*)")
    {
        return PgPsql(g_pg, "select " + what + " from " + t);
    }
    // The statuses as a text: S success, E error, U unused, others by number.
    static std::string Statuses(const Rows &r)
    {
        std::string out;
        for (SQLUSMALLINT s : r.status)
            out += s == SQL_PARAM_SUCCESS ? 'S' : s == SQL_PARAM_ERROR ? 'E' : s == SQL_PARAM_UNUSED ? 'U' : '?';
        return out;
    }

    std::string t;
};

// 2500 rows in one array with NULL text every seventh row, non-ASCII text
// through narrow and wide buffers and ignored rows: every row sent lands.
TEST_P(Arrays, ManualCommitLargeArrayLandsWholly)
{
    Manual(true);
    constexpr size_t n = 2500;
    Rows r(n);
    const std::string texts[] = {"plain", "café ünïcode", "Ελληνικά", "€ 12,50", "日本語"};
    for (size_t i = 0; i < n; ++i)
        r.Set(i, static_cast<int>(i), i % 7 == 3 ? "" : texts[i % 5] + " " + std::to_string(i), i * 0.25);
    for (size_t i : {0u, 999u, 1000u, 2499u})
        r.ops[i] = SQL_PARAM_IGNORE;
    BindInsert(r);
    ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(r.processed, n - 4);
    std::string expect(n, 'S');
    for (size_t i : {0u, 999u, 1000u, 2499u})
        expect[i] = 'U';
    EXPECT_EQ(Statuses(r), expect);
    SQLLEN count = 0;
    EXPECT_EQ(SQLRowCount(st, &count), SQL_SUCCESS);
    EXPECT_EQ(count, static_cast<SQLLEN>(n - 4));
    EXPECT_EQ(Committed(), "0") << "not committed yet";
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS) << Diags(SQL_HANDLE_DBC, dbc);
    Unbind();
    EXPECT_EQ(Committed(), std::to_string(n - 4));
    EXPECT_EQ(Committed("count(*) filter (where name is null and wname is null)"), "357");
    EXPECT_EQ(Committed("count(*) filter (where name = wname || substr(name, 20))"), std::to_string(n - 4 - 357));
    EXPECT_EQ(PgPsql(g_pg, "select name || '|' || wname || '|' || amount || '|' || born from " + t +
                               " where id in (1, 2, 1002) order by id"),
              "café ünïcode 1|café ünïcode 1|0.25|2001-02-02\n"
              "Ελληνικά 2|Ελληνικά 2|0.50|2002-03-03\n"
              "Ελληνικά 1002|Ελληνικά 1002|250.50|2002-07-23");
    EXPECT_EQ(Committed("count(*) filter (where id in (0, 999, 1000, 2499))"), "0");
}

// A duplicate key in the middle: the rows before it are reported done, its
// own row failed, the rest unused; the server's message comes as it is; the
// transaction is the server's aborted one, whose rows a commit does not keep.
TEST_P(Arrays, ManualCommitStopsAtFirstRefusedRow)
{
    PgPsql(g_pg, "insert into " + t + " (id, name) values (7, 'there before')");
    Manual(true);
    Rows r(12);
    for (size_t i = 0; i < r.Size(); ++i)
        r.Set(i, static_cast<int>(i + 1), "row " + std::to_string(i + 1), 1.5);
    r.ops[2] = SQL_PARAM_IGNORE;
    r.Set(9, 7, "again", 0);  // a second duplicate: never reached
    BindInsert(r);
    ASSERT_EQ(SQLExecute(st), SQL_ERROR);
    const std::string diags = Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st), "23505") << diags;
    EXPECT_NE(diags.find("duplicate key value violates unique constraint"), std::string::npos) << diags;
    EXPECT_NE(diags.find("Key (id)=(7) already exists"), std::string::npos) << diags;
    EXPECT_EQ(diags.find("atch entry"), std::string::npos) << diags;
    EXPECT_EQ(r.processed, 6u) << "ids 1, 2, 4, 5, 6 and the failing 7";
    EXPECT_EQ(Statuses(r), "SSUSSSEUUUUU");

    // The transaction is aborted: the next statement is refused, a commit
    // keeps nothing of the array, and the connection goes on.
    Unbind();
    EXPECT_EQ(SQLExecDirect(st, Sql("select count(*) from " + t), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st), "25P02") << Diags(SQL_HANDLE_STMT, st);
    SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT);
    EXPECT_EQ(Committed("string_agg(id::text, ',')"), "7");

    // The same array once the duplicate is gone lands after a rollback.
    Rows again(12);
    for (size_t i = 0; i < again.Size(); ++i)
        again.Set(i, static_cast<int>(i + 100), "row", 1);
    BindInsert(again);
    ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(again.processed, 12u);
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
    Unbind();
    EXPECT_EQ(Committed(), "13");
}

// Under autocommit each row is its own transaction: the rows before the
// refused one stay, those after it are not run.
TEST_P(Arrays, AutocommitKeepsRowsBeforeTheRefusedOne)
{
    PgPsql(g_pg, "insert into " + t + " (id, name) values (4, 'there before')");
    Rows r(6);
    for (size_t i = 0; i < r.Size(); ++i)
        r.Set(i, static_cast<int>(i + 1), "", 2);
    BindInsert(r);
    ASSERT_EQ(SQLExecute(st), SQL_ERROR);
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st), "23505") << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(r.processed, 4u);
    EXPECT_EQ(Statuses(r), "SSSEUU");
    Unbind();
    EXPECT_EQ(Committed("string_agg(id::text, ',' order by id)"), "1,2,3,4");
}

// A value the driver cannot send as its declared type (text that is no
// number) stops the array at its row with 22018, as the server's refusals do.
TEST_P(Arrays, ManualCommitStopsAtUnconvertibleValue)
{
    Manual(true);
    constexpr int n = 5;
    SQLINTEGER ids[n] = {1, 2, 3, 4, 5};
    char qty[n][8] = {"10", "20", "3x", "40", "50"};
    SQLLEN qtyLen[n] = {SQL_NTS, SQL_NTS, SQL_NTS, SQL_NTS, SQL_NTS};
    Rows r(n);  // statuses and counter only
    ASSERT_EQ(SQLPrepare(st, Sql("insert into " + t + " (id, amount) values (?, ?)"), SQL_NTS), SQL_SUCCESS);
    BindArrays(r);
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_INTEGER, 0, 0, qty, 8, qtyLen), SQL_SUCCESS);
    SQLRETURN rc = SQLExecute(st);
    const std::string state = FirstState(SQL_HANDLE_STMT, st);
    const std::string statuses = Statuses(r);
    const SQLULEN processed = r.processed;
    EXPECT_EQ(rc, SQL_ERROR);
    EXPECT_EQ(state, "22018") << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(processed, 3u);
    EXPECT_EQ(statuses, "SSEUU");
    // The transaction is still usable: the driver refused the value itself.
    Unbind();
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS) << Diags(SQL_HANDLE_DBC, dbc);
    EXPECT_EQ(Committed("coalesce(string_agg(id || ':' || amount, ',' order by id), '-')"), "1:10.00,2:20.00");
}

// Updates and deletes in arrays add up the rows each set changed; a
// statement that returns rows runs set by set and answers the last set's rows.
TEST_P(Arrays, ManualCommitUpdatesCountAndQueriesAnswerRows)
{
    PgPsql(g_pg, "insert into " + t + " (id, amount) select g, g % 3 from generate_series(1, 30) g");
    Manual(true);
    SQLINTEGER groups[4] = {0, 1, 7, 2};
    Rows r(4);
    ASSERT_EQ(SQLPrepare(st, Sql("update " + t + " set name = 'g' || amount where amount = ?"), SQL_NTS), SQL_SUCCESS);
    BindArrays(r);
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, groups, 0, nullptr),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    SQLLEN count = 0;
    EXPECT_EQ(SQLRowCount(st, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 30);
    EXPECT_EQ(r.processed, 4u);
    EXPECT_EQ(Statuses(r), "SSSS");

    ASSERT_EQ(SQLPrepare(st, Sql("delete from " + t + " where amount = ?"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(SQLRowCount(st, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 30);
    SQLFreeStmt(st, SQL_CLOSE);

    // An insert returning rows: each set's row is a result of its own.
    SQLINTEGER ids[4] = {101, 102, 103, 104};
    ASSERT_EQ(SQLPrepare(st, Sql("insert into " + t + " (id) values (?) returning id * 2"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    std::string got;
    SQLRETURN more = SQL_SUCCESS;
    for (int results = 0; more == SQL_SUCCESS && results < 10; ++results) {
        SQLINTEGER v = 0;
        SQLLEN ind = 0;
        while (SQLFetch(st) == SQL_SUCCESS) {
            SQLGetData(st, 1, SQL_C_SLONG, &v, 0, &ind);
            got += std::to_string(v) + ",";
        }
        more = SQLMoreResults(st);
    }
    EXPECT_EQ(more, SQL_NO_DATA);
    EXPECT_EQ(got, "208,") << "the last set's rows, as each set runs by itself";
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
    Unbind();
    EXPECT_EQ(Committed("string_agg(id::text, ',' order by id)"), "101,102,103,104");
}

// Long values (streams for the JDBC driver) in an array under manual commit.
TEST_P(Arrays, ManualCommitLongValues)
{
    PgPsql(g_pg, "drop table if exists " + t + "_long; create table " + t + "_long (id int, txt text, bin bytea)");
    Manual(true);
    SQLINTEGER ids[3] = {1, 2, 3};
    char txt[3][16] = {"long one", "long twö", "three"};
    SQLLEN txtLen[3] = {SQL_NTS, SQL_NTS, SQL_NULL_DATA};
    unsigned char bin[3][4] = {{0, 1, 2, 3}, {0xde, 0xad, 0xbe, 0xef}, {9, 9, 9, 9}};
    SQLLEN binLen[3] = {4, 2, SQL_NULL_DATA};
    Rows r(3);
    ASSERT_EQ(SQLPrepare(st, Sql("insert into " + t + "_long values (?, ?, ?)"), SQL_NTS), SQL_SUCCESS);
    BindArrays(r);
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 100000, 0, txt, 16, txtLen),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 100000, 0, bin, 4, binLen),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(Statuses(r), "SSS");
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
    Unbind();
    EXPECT_EQ(PgPsql(g_pg, "select string_agg(id || ':' || coalesce(txt, '-') || ':' || coalesce(encode(bin, 'hex'), "
                           "'-'), ',' order by id) from " + t + "_long"),
              "1:long one:00010203,2:long twö:dead,3:-:-");
}

// An array in a transaction the server has already aborted fails at its
// first row with the server's answer.
TEST_P(Arrays, ManualCommitArrayInAbortedTransaction)
{
    Manual(true);
    Rows r(3);
    for (size_t i = 0; i < r.Size(); ++i)
        r.Set(i, static_cast<int>(i + 1), "x", 1);
    BindInsert(r);
    SQLHSTMT other = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &other), SQL_SUCCESS);
    EXPECT_EQ(SQLExecDirect(other, Sql("select 1/0"), SQL_NTS), SQL_ERROR);
    SQLFreeHandle(SQL_HANDLE_STMT, other);
    ASSERT_EQ(SQLExecute(st), SQL_ERROR);
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st), "25P02") << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(r.processed, 1u);
    EXPECT_EQ(Statuses(r), "EUU");
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(Statuses(r), "SSS");
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
    Unbind();
    EXPECT_EQ(Committed(), "3");
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, Arrays, ::testing::Values("krs_w", "krs_a"));

} // namespace

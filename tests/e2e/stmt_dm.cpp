// Statements through unixODBC with both libraries: parameters of every main
// C type read back with SQLBindCol and SQLGetData, parameter arrays with
// ignored and failing rows, block fetches and long values read in pieces,
// data at execution, result descriptions and the server's own errors.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <locale.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/common/pg_env.h"
#include "tests/e2e/connect_common.h"

namespace {

using conntest::Diags;
using conntest::Sql;

PgEnv g_pg;

class StmtEnv : public ::testing::Environment {
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
        PgPsql(g_pg, "drop schema if exists krs_st cascade; create schema krs_st");
    }
    void TearDown() override { PgPsql(g_pg, "drop schema if exists krs_st cascade"); }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new StmtEnv);



std::string FirstState(SQLSMALLINT type, SQLHANDLE h)
{
    SQLCHAR state[6] = {};
    SQLCHAR msg[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len);
    return reinterpret_cast<char *>(state);
}

class Stmt : public conntest::DsnStatement {
protected:
    std::string Table(const char *base) const { return std::string("krs_st.") + base + "_" + GetParam(); }
    void Exec(const std::string &sql)
    {
        SQLRETURN rc = SQLExecDirect(st, Sql(sql), SQL_NTS);
        ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << sql << "\n" << Diags(SQL_HANDLE_STMT, st);
        SQLFreeStmt(st, SQL_CLOSE);
    }
    std::string Scalar(const std::string &sql)
    {
        std::string out;
        EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql(sql), SQL_NTS))) << sql << Diags(SQL_HANDLE_STMT, st);
        if (SQLFetch(st) == SQL_SUCCESS) {
            char buf[512] = {};
            SQLLEN ind = 0;
            SQLGetData(st, 1, SQL_C_CHAR, buf, sizeof buf, &ind);
            out = ind == SQL_NULL_DATA ? "<null>" : buf;
        }
        SQLFreeStmt(st, SQL_CLOSE);
        return out;
    }
};

// ---- parameter round trip ----

struct RoundTrip {
    const char *name;
    const char *column;      // column type of the table
    SQLSMALLINT cType;       // bound and read back as
    SQLSMALLINT sqlType;
    SQLULEN size;
    SQLSMALLINT digits;
    std::vector<uint8_t> value;  // the application's bytes
    SQLLEN len;              // length/indicator of the parameter
    SQLSMALLINT readType;    // C type of the read-back
    std::vector<uint8_t> expect; // bytes read back (empty with SQL_NULL_DATA)
    const char *text;        // the value as the server's text
};

template <class T>
std::vector<uint8_t> Bytes(const T &v)
{
    const auto *p = reinterpret_cast<const uint8_t *>(&v);
    return std::vector<uint8_t>(p, p + sizeof v);
}
std::vector<uint8_t> Bytes(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }
std::vector<uint8_t> Bytes(const std::u16string &s)
{
    const auto *p = reinterpret_cast<const uint8_t *>(s.data());
    return std::vector<uint8_t>(p, p + 2 * s.size());
}

SQL_NUMERIC_STRUCT Numeric(uint64_t mantissa, int scale, bool negative = false)
{
    SQL_NUMERIC_STRUCT n{};
    n.precision = 12;
    n.scale = static_cast<SQLSCHAR>(scale);
    n.sign = negative ? 0 : 1;
    for (int i = 0; i < 8; ++i)
        n.val[i] = static_cast<SQLCHAR>(mantissa >> (8 * i));
    return n;
}

std::vector<RoundTrip> RoundTrips()
{
    const std::u16string wide = u"Gr\u00fc\u00dfe \u20ac \U0001F600 z";
    const DATE_STRUCT d{2024, 2, 29};
    const TIMESTAMP_STRUCT ts{2024, 1, 2, 3, 4, 5, 123456000};
    const std::vector<uint8_t> bin{0x00, 0x01, 0x7f, 0x80, 0xff, 0x00};
    return {
        {"char", "text", SQL_C_CHAR, SQL_VARCHAR, 20, 0, Bytes(std::string("hello")), SQL_NTS, SQL_C_CHAR,
         Bytes(std::string("hello")), "hello"},
        {"wchar", "text", SQL_C_WCHAR, SQL_WVARCHAR, 40, 0, Bytes(wide), static_cast<SQLLEN>(2 * wide.size()),
         SQL_C_WCHAR, Bytes(wide), "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac \xf0\x9f\x98\x80 z"},
        {"slong", "int4", SQL_C_SLONG, SQL_INTEGER, 0, 0, Bytes(int32_t(-123456)), 0, SQL_C_SLONG,
         Bytes(int32_t(-123456)), "-123456"},
        {"sbigint", "int8", SQL_C_SBIGINT, SQL_BIGINT, 0, 0, Bytes(int64_t(-9000000000123)), 0, SQL_C_SBIGINT,
         Bytes(int64_t(-9000000000123)), "-9000000000123"},
        {"double", "float8", SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, Bytes(3.25), 0, SQL_C_DOUBLE, Bytes(3.25), "3.25"},
        {"numeric", "numeric(12,2)", SQL_C_NUMERIC, SQL_NUMERIC, 12, 2, Bytes(Numeric(1234567, 2, true)), 0,
         SQL_C_CHAR, Bytes(std::string("-12345.67")), "-12345.67"},
        {"date_text", "date", SQL_C_CHAR, SQL_TYPE_DATE, 10, 0, Bytes(std::string("2024-02-29")), SQL_NTS,
         SQL_C_TYPE_DATE, Bytes(d), "2024-02-29"},
        {"date_escape", "date", SQL_C_CHAR, SQL_TYPE_DATE, 10, 0, Bytes(std::string("{d '2024-02-29'}")), SQL_NTS,
         SQL_C_TYPE_DATE, Bytes(d), "2024-02-29"},
        {"timestamp", "timestamp(6)", SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, 6, Bytes(ts), 0,
         SQL_C_TYPE_TIMESTAMP, Bytes(ts), "2024-01-02 03:04:05.123456"},
        {"bytea", "bytea", SQL_C_BINARY, SQL_VARBINARY, 6, 0, bin, static_cast<SQLLEN>(bin.size()), SQL_C_BINARY,
         bin, "\\x00017f80ff00"},
        {"null", "text", SQL_C_CHAR, SQL_VARCHAR, 10, 0, Bytes(std::string("x")), SQL_NULL_DATA, SQL_C_CHAR, {},
         "<null>"},
    };
}

TEST_P(Stmt, ParametersRoundTripThroughBindColAndGetData)
{
    for (const RoundTrip &c : RoundTrips()) {
        SCOPED_TRACE(c.name);
        // A table per case: the server keeps plans of statements it has seen.
        const std::string t = Table("rt") + "_" + c.name;
        Exec("drop table if exists " + t);
        Exec("create table " + t + " (v " + c.column + ")");
        std::vector<uint8_t> value = c.value;
        value.resize(value.size() + 4, 0);  // room for a terminator
        SQLLEN len = c.len;
        ASSERT_EQ(SQLPrepare(st, Sql("insert into " + t + " values (?)"), SQL_NTS), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, c.cType, c.sqlType, c.size, c.digits, value.data(),
                                   static_cast<SQLLEN>(value.size()), &len),
                  SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        SQLFreeStmt(st, SQL_RESET_PARAMS);
        EXPECT_EQ(Scalar("select v::text from " + t), c.text);

        ASSERT_EQ(SQLExecDirect(st, Sql("select v, v from " + t), SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        std::vector<uint8_t> bound(256, 0xAA), got(256, 0xAA);
        SQLLEN boundInd = 0, gotInd = 0;
        ASSERT_EQ(SQLBindCol(st, 1, c.readType, bound.data(), static_cast<SQLLEN>(bound.size()), &boundInd),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLFetch(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(st, 2, c.readType, got.data(), static_cast<SQLLEN>(got.size()), &gotInd)))
            << Diags(SQL_HANDLE_STMT, st);
        if (c.expect.empty()) {
            EXPECT_EQ(boundInd, SQL_NULL_DATA);
            EXPECT_EQ(gotInd, SQL_NULL_DATA);
        } else {
            const size_t n = c.expect.size();
            const bool variable =
                c.readType == SQL_C_CHAR || c.readType == SQL_C_WCHAR || c.readType == SQL_C_BINARY;
            if (variable) {
                EXPECT_EQ(boundInd, static_cast<SQLLEN>(n));
                EXPECT_EQ(gotInd, static_cast<SQLLEN>(n));
            }
            EXPECT_EQ(std::vector<uint8_t>(bound.begin(), bound.begin() + n), c.expect);
            EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + n), c.expect);
        }
        EXPECT_EQ(SQLFetch(st), SQL_NO_DATA);
        SQLFreeStmt(st, SQL_UNBIND);
        SQLFreeStmt(st, SQL_CLOSE);
    }
}

// ---- parameter arrays ----

TEST_P(Stmt, ParameterArrayReportsIgnoredAndFailingRows)
{
    const std::string t = Table("arr");
    Exec("drop table if exists " + t);
    Exec("create table " + t + " (id int primary key, name text)");
    SQLINTEGER ids[3] = {10, 11, 10};
    char names[3][8] = {"first", "skipped", "dup"};
    SQLLEN nameLen[3] = {SQL_NTS, SQL_NTS, SQL_NTS};
    SQLUSMALLINT ops[3] = {SQL_PARAM_PROCEED, SQL_PARAM_IGNORE, SQL_PARAM_PROCEED};
    SQLUSMALLINT status[3] = {99, 99, 99};
    SQLULEN processed = 99;
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_PARAM_OPERATION_PTR, ops, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_PARAM_STATUS_PTR, status, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 7, 0, names, 8, nameLen),
              SQL_SUCCESS);
    EXPECT_EQ(SQLExecDirect(st, Sql("insert into " + t + " values (?, ?)"), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st), "23505") << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(processed, 2u) << "the second row sent failed";
    EXPECT_EQ(status[0], SQL_PARAM_SUCCESS);
    EXPECT_EQ(status[1], SQL_PARAM_UNUSED);
    EXPECT_EQ(status[2], SQL_PARAM_ERROR);

    // The same array without the duplicate: every row lands.
    ids[2] = 12;
    ops[1] = SQL_PARAM_PROCEED;
    Exec("delete from " + t);
    ASSERT_EQ(SQLExecDirect(st, Sql("insert into " + t + " values (?, ?)"), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(processed, 3u);
    SQLLEN rows = 0;
    EXPECT_EQ(SQLRowCount(st, &rows), SQL_SUCCESS);
    EXPECT_EQ(rows, 3);
    for (SQLUSMALLINT s : status)
        EXPECT_EQ(s, SQL_PARAM_SUCCESS);
    SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    SQLSetStmtAttr(st, SQL_ATTR_PARAM_OPERATION_PTR, nullptr, 0);
    SQLSetStmtAttr(st, SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0);
    SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0);
    SQLFreeStmt(st, SQL_RESET_PARAMS);
    EXPECT_EQ(Scalar("select string_agg(id || ':' || name, ',' order by id) from " + t),
              "10:first,11:skipped,12:dup");
}

// The ODBC 2 calls: SQLSetParam and SQLParamOptions bind a parameter array,
// SQLRowCount counts its rows; SQLCloseCursor closes an open cursor.
TEST_P(Stmt, Odbc2ParameterCallsAndCloseCursor)
{
    const std::string t = Table("odbc2");
    Exec("drop table if exists " + t);
    Exec("create table " + t + " (id int, name varchar(10))");
    SQLINTEGER ids[2] = {1, 2};
    char names[2][10] = {"one", "two"};
    SQLLEN nameLen[2] = {SQL_NTS, SQL_NULL_DATA};
    SQLULEN done = 0;
    ASSERT_EQ(SQLPrepare(st, Sql("insert into " + t + " values (?, ?)"), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLParamOptions(st, 2, &done), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLSetParam(st, 1, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, nullptr), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    // SQLSetParam has no buffer length, so the text array takes
    // SQLBindParameter for its row stride.
    ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, names, 10, nameLen),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(done, 2u);
    SQLLEN rows = 0;
    EXPECT_EQ(SQLRowCount(st, &rows), SQL_SUCCESS);
    EXPECT_EQ(rows, 2);
    SQLParamOptions(st, 1, nullptr);
    SQLFreeStmt(st, SQL_RESET_PARAMS);
    EXPECT_EQ(Scalar("select string_agg(id || ':' || coalesce(name, '-'), ',' order by id) from " + t), "1:one,2:-");

    ASSERT_EQ(SQLExecDirect(st, Sql("select id from " + t + " order by id"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
    EXPECT_EQ(SQLCloseCursor(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(SQLFetch(st), SQL_ERROR) << "closed";
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st), "HY010");
    // The statement runs again after the close.
    EXPECT_EQ(Scalar("select count(*) from " + t), "2");
}

// ---- fetching ----

TEST_P(Stmt, FetchCrossesBlocksAndEndsWithNoData)
{
    // An int4 and a text column: a few thousand rows to a block, so 10000
    // rows take several blocks.
    ASSERT_EQ(SQLExecDirect(st, Sql("select g, 'row ' || g from generate_series(1, 10000) g order by g"), SQL_NTS),
              SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    SQLINTEGER id = 0;
    char text[32];
    SQLLEN idInd = 0, textInd = 0;
    SQLULEN fetched = 0;
    SQLUSMALLINT rowStatus = 99;
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, &rowStatus, 0);
    ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, &id, 0, &idInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(st, 2, SQL_C_CHAR, text, sizeof text, &textInd), SQL_SUCCESS);
    int n = 0;
    SQLRETURN rc;
    while ((rc = SQLFetch(st)) == SQL_SUCCESS) {
        ++n;
        ASSERT_EQ(id, n);
        ASSERT_EQ(std::string(text), "row " + std::to_string(n));
        ASSERT_EQ(fetched, 1u);
        ASSERT_EQ(rowStatus, SQL_ROW_SUCCESS);
    }
    EXPECT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(n, 10000);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(rowStatus, SQL_ROW_NOROW);
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
}

// Thousands of rows read by blocks: non-ASCII text (made by the server: the
// Driver Manager would widen a literal byte by byte for the wide library),
// numerics, dates from year 1000 to 9999 and timestamps, a NULL in every
// seventh row, each value as the row says.
TEST_P(Stmt, BlocksOfManyRowsKeepEveryValue)
{
    ASSERT_EQ(SQLExecDirect(st, Sql("select g, case when g % 7 = 0 then null else 'Gr' || chr(252) || chr(223) || 'e ' || chr(8364) || "
                                    "' ' || g || ' ' || chr(128512) end, "
                                    "(g * 1.25 - 1000)::numeric(12,2), "
                                    "make_date(1000 + g % 9000, 1 + g % 12, 1 + g % 28), "
                                    "make_timestamp(1000 + g % 9000, 1 + g % 12, 1 + g % 28, g % 24, g % 60, "
                                    "(g % 60) + 0.5) "
                                    "from generate_series(1, 6000) g order by g"),
                            SQL_NTS),
              SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    int g = 0;
    SQLRETURN rc;
    while ((rc = SQLFetch(st)) == SQL_SUCCESS) {
        ++g;
        SQLINTEGER id = 0;
        SQLLEN ind = 0;
        ASSERT_EQ(SQLGetData(st, 1, SQL_C_SLONG, &id, 0, &ind), SQL_SUCCESS);
        ASSERT_EQ(id, g);
        const std::string want = "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac " + std::to_string(g) + " \xf0\x9f\x98\x80";
        char name[64] = {};
        ASSERT_EQ(SQLGetData(st, 2, SQL_C_CHAR, name, sizeof name, &ind), SQL_SUCCESS);
        if (g % 7 == 0) {
            ASSERT_EQ(ind, SQL_NULL_DATA) << g;
        } else {
            ASSERT_EQ(ind, static_cast<SQLLEN>(want.size())) << g;
            ASSERT_EQ(std::string(name), want) << g;
        }
        char amount[32] = {};
        ASSERT_EQ(SQLGetData(st, 3, SQL_C_CHAR, amount, sizeof amount, &ind), SQL_SUCCESS);
        const long cents = g * 125L - 100000;
        char text[32];
        snprintf(text, sizeof text, "%s%ld.%02ld", cents < 0 ? "-" : "", labs(cents) / 100, labs(cents) % 100);
        ASSERT_STREQ(amount, text) << g;
        DATE_STRUCT d{};
        ASSERT_EQ(SQLGetData(st, 4, SQL_C_TYPE_DATE, &d, sizeof d, &ind), SQL_SUCCESS);
        ASSERT_EQ(d.year, 1000 + g % 9000);
        ASSERT_EQ(d.month, 1 + g % 12);
        ASSERT_EQ(d.day, 1 + g % 28);
        TIMESTAMP_STRUCT ts{};
        ASSERT_EQ(SQLGetData(st, 5, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &ind), SQL_SUCCESS);
        ASSERT_EQ(ts.year, 1000 + g % 9000);
        ASSERT_EQ(ts.hour, g % 24);
        ASSERT_EQ(ts.minute, g % 60);
        ASSERT_EQ(ts.second, g % 60);
        ASSERT_EQ(ts.fraction, 500000000u);
    }
    EXPECT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(g, 6000);
}

TEST_P(Stmt, ForwardOnlyRowsetsColumnAndRowWise)
{
    SQLULEN fetched = 0;
    SQLUSMALLINT status[10];
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(10), 0), SQL_SUCCESS);
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, status, 0);
    ASSERT_EQ(SQLExecDirect(st, Sql("select g, 'n' || g from generate_series(1, 25) g order by g"), SQL_NTS),
              SQL_SUCCESS);
    SQLINTEGER ids[10];
    SQLLEN idInd[10];
    char names[10][8];
    SQLLEN nameInd[10];
    ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, ids, 0, idInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(st, 2, SQL_C_CHAR, names, 8, nameInd), SQL_SUCCESS);
    std::vector<SQLULEN> sizes;
    std::vector<int> seen;
    SQLRETURN rc;
    while ((rc = SQLFetchScroll(st, SQL_FETCH_NEXT, 0)) == SQL_SUCCESS) {
        sizes.push_back(fetched);
        for (SQLULEN i = 0; i < fetched; ++i) {
            ASSERT_EQ(status[i], SQL_ROW_SUCCESS);
            ASSERT_EQ(std::string(names[i]), "n" + std::to_string(ids[i]));
            seen.push_back(ids[i]);
        }
    }
    EXPECT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(sizes, (std::vector<SQLULEN>{10, 10, 5}));
    ASSERT_EQ(seen.size(), 25u);
    EXPECT_EQ(seen.back(), 25);
    SQLFreeStmt(st, SQL_CLOSE);
    SQLFreeStmt(st, SQL_UNBIND);

    struct Row {
        SQLINTEGER id;
        SQLLEN idInd;
        char name[8];
        SQLLEN nameInd;
    } rows[10] = {};
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(Row)), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(st, Sql("select g, 'n' || g from generate_series(1, 12) g order by g"), SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, &rows[0].id, 0, &rows[0].idInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(st, 2, SQL_C_CHAR, rows[0].name, sizeof rows[0].name, &rows[0].nameInd), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(fetched, 10u);
    EXPECT_EQ(rows[9].id, 10);
    EXPECT_STREQ(rows[9].name, "n10");
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(rows[1].id, 12);
    EXPECT_EQ(status[2], SQL_ROW_NOROW);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
}

TEST_P(Stmt, LongTextComesBackExactlyInPieces)
{
    // 3 x 25000 characters, two of them outside ASCII: more than 60000 bytes.
    ASSERT_EQ(SQLExecDirect(st, Sql("select repeat('a\u00e9\u20ac', 25000)"), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
    std::u16string whole;
    SQLWCHAR piece[2048];
    SQLLEN ind = 0;
    SQLRETURN rc;
    int calls = 0;
    while ((rc = SQLGetData(st, 1, SQL_C_WCHAR, piece, sizeof piece, &ind)) == SQL_SUCCESS_WITH_INFO ||
           rc == SQL_SUCCESS) {
        ++calls;
        ASSERT_NE(ind, SQL_NULL_DATA);
        size_t units = 0;
        while (units < sizeof piece / 2 && piece[units] != 0)
            ++units;
        whole.append(reinterpret_cast<const char16_t *>(piece), units);
        if (rc == SQL_SUCCESS)
            break;
    }
    EXPECT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_GT(calls, 30);
    std::u16string expect;
    for (int i = 0; i < 25000; ++i)
        expect += u"a\u00e9\u20ac";
    EXPECT_EQ(whole.size(), expect.size());
    EXPECT_TRUE(whole == expect);
    EXPECT_EQ(SQLGetData(st, 1, SQL_C_WCHAR, piece, sizeof piece, &ind), SQL_NO_DATA);
    SQLFreeStmt(st, SQL_CLOSE);

    // The same through narrow pieces of ASCII text.
    ASSERT_EQ(SQLExecDirect(st, Sql("select repeat('0123456789', 7000)"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
    std::string narrow;
    char buf[1000];
    while ((rc = SQLGetData(st, 1, SQL_C_CHAR, buf, sizeof buf, &ind)) == SQL_SUCCESS_WITH_INFO ||
           rc == SQL_SUCCESS) {
        narrow += buf;
        if (rc == SQL_SUCCESS)
            break;
    }
    EXPECT_EQ(narrow.size(), 70000u);
    EXPECT_EQ(narrow.substr(69990), "0123456789");
}

// ---- data at execution ----

TEST_P(Stmt, DataAtExecutionSendsPiecesNullsAndArrays)
{
    const std::string t = Table("dae");
    Exec("drop table if exists " + t);
    Exec("create table " + t + " (id int, txt text, bin bytea)");
    SQLINTEGER ids[2] = {1, 2};
    SQLLEN idLen[2] = {0, 0};
    SQLLEN daeLen[2] = {SQL_LEN_DATA_AT_EXEC(0), SQL_LEN_DATA_AT_EXEC(0)};
    SQLLEN binLen[2] = {SQL_LEN_DATA_AT_EXEC(0), SQL_LEN_DATA_AT_EXEC(0)};
    char txtToken = 't', binToken = 'b';
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(2), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, idLen), SQL_SUCCESS);
    // Column-wise arrays of one byte per row: the tokens are the bound addresses.
    ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 100000, 0, &txtToken, 0, daeLen),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 100000, 0, &binToken, 0,
                               binLen),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(st, Sql("insert into " + t + " values (?, ?, ?)"), SQL_NTS), SQL_NEED_DATA)
        << Diags(SQL_HANDLE_STMT, st);
    const std::string part(30000, 'x');
    const unsigned char bytes[4] = {0x00, 0xde, 0xad, 0x00};
    SQLPOINTER token = nullptr;
    int asked = 0;
    SQLRETURN rc;
    while ((rc = SQLParamData(st, &token)) == SQL_NEED_DATA) {
        ++asked;
        if (token == &txtToken) {
            if (asked <= 2) {
                // Row 1: text in three pieces.
                for (int i = 0; i < 3; ++i)
                    ASSERT_EQ(SQLPutData(st, const_cast<char *>(part.c_str()), static_cast<SQLLEN>(part.size())),
                              SQL_SUCCESS);
            } else {
                // Row 2: SQL_NULL_DATA, with no data pointer, makes it NULL,
                // not empty text.
                ASSERT_EQ(SQLPutData(st, nullptr, SQL_NULL_DATA), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
            }
        } else {
            ASSERT_EQ(token, &binToken);
            ASSERT_EQ(SQLPutData(st, const_cast<unsigned char *>(bytes), 2), SQL_SUCCESS);
            ASSERT_EQ(SQLPutData(st, const_cast<unsigned char *>(bytes + 2), 2), SQL_SUCCESS);
        }
    }
    EXPECT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(asked, 4);
    SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    SQLFreeStmt(st, SQL_RESET_PARAMS);
    EXPECT_EQ(Scalar("select length(txt) from " + t + " where id = 1"), "90000");
    EXPECT_EQ(Scalar("select coalesce(txt, '<null>') from " + t + " where id = 2"), "<null>");
    EXPECT_EQ(Scalar("select string_agg(encode(bin, 'hex'), ',' order by id) from " + t), "00dead00,00dead00");

    // Cancelled in the middle: nothing is inserted and the sequence is over.
    SQLLEN one = SQL_DATA_AT_EXEC;
    SQLINTEGER id = 3;
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &txtToken, 0, &one),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_VARBINARY, 10, 0, &binToken, 0, &one),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(st, Sql("insert into " + t + " values (?, ?, ?)"), SQL_NTS), SQL_NEED_DATA);
    ASSERT_EQ(SQLParamData(st, &token), SQL_NEED_DATA);
    ASSERT_EQ(SQLPutData(st, const_cast<char *>("abc"), 3), SQL_SUCCESS);
    EXPECT_TRUE(SQL_SUCCEEDED(SQLCancel(st)));
    EXPECT_EQ(SQLParamData(st, &token), SQL_ERROR);
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st), "HY010");
    SQLFreeStmt(st, SQL_RESET_PARAMS);
    EXPECT_EQ(Scalar("select count(*) from " + t), "2");
}

// ---- description ----

TEST_P(Stmt, DescribeColAndColAttributeOnARealTable)
{
    const std::string t = Table("desc");
    Exec("drop table if exists " + t);
    Exec("create table " + t +
         " (id int not null, name varchar(40), amount numeric(12,2), created timestamp, "
         "a_rather_long_column_name int)");
    ASSERT_EQ(SQLExecDirect(st, Sql("select * from " + t), SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    SQLSMALLINT cols = 0;
    ASSERT_EQ(SQLNumResultCols(st, &cols), SQL_SUCCESS);
    EXPECT_EQ(cols, 5);
    struct Expect {
        const char *name;
        SQLSMALLINT types[2];   // narrow or wide text types are both fine
        SQLULEN size;           // 0: not checked
        SQLSMALLINT digits;
        SQLSMALLINT nullable;
    };
    const Expect expect[] = {
        {"id", {SQL_INTEGER, SQL_INTEGER}, 0, 0, SQL_NO_NULLS},
        {"name", {SQL_VARCHAR, SQL_WVARCHAR}, 40, 0, SQL_NULLABLE},
        {"amount", {SQL_NUMERIC, SQL_DECIMAL}, 12, 2, SQL_NULLABLE},
        {"created", {SQL_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP}, 0, 6, SQL_NULLABLE},
        {"a_rather_long_column_name", {SQL_INTEGER, SQL_INTEGER}, 0, 0, SQL_NULLABLE},
    };
    for (SQLUSMALLINT i = 1; i <= 5; ++i) {
        const Expect &e = expect[i - 1];
        SCOPED_TRACE(e.name);
        SQLCHAR name[64] = {};
        SQLSMALLINT nameLen = 0, type = 0, digits = -1, nullable = -1;
        SQLULEN size = 0;
        ASSERT_EQ(SQLDescribeCol(st, i, name, sizeof name, &nameLen, &type, &size, &digits, &nullable), SQL_SUCCESS);
        EXPECT_STREQ(reinterpret_cast<char *>(name), e.name);
        EXPECT_EQ(nameLen, static_cast<SQLSMALLINT>(strlen(e.name)));
        EXPECT_TRUE(type == e.types[0] || type == e.types[1]) << type;
        if (e.size) {
            EXPECT_EQ(size, e.size);
        }
        if (e.types[0] != SQL_TYPE_TIMESTAMP) {
            EXPECT_EQ(digits, e.digits);
        }
        EXPECT_EQ(nullable, e.nullable);
        SQLLEN num = -1;
        EXPECT_EQ(SQLColAttribute(st, i, SQL_DESC_NULLABLE, nullptr, 0, nullptr, &num), SQL_SUCCESS);
        EXPECT_EQ(num, e.nullable);
        char label[64] = {};
        SQLSMALLINT labelLen = 0;
        EXPECT_EQ(SQLColAttribute(st, i, SQL_DESC_NAME, label, sizeof label, &labelLen, nullptr), SQL_SUCCESS);
        EXPECT_STREQ(label, e.name);
        EXPECT_EQ(SQLColAttribute(st, i, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &num), SQL_SUCCESS);
        EXPECT_TRUE(num == e.types[0] || num == e.types[1]) << num;
    }
    SQLLEN count = 0;
    EXPECT_EQ(SQLColAttribute(st, 0, SQL_DESC_COUNT, nullptr, 0, nullptr, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(SQLColAttribute(st, 1, 20, nullptr, 0, nullptr, &count), SQL_ERROR);
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st), "HY091");

    // The wide forms cut the long name in characters (01004) and report its whole length.
    SQLWCHAR wname[10];
    SQLSMALLINT wlen = 0;
    EXPECT_EQ(SQLDescribeColW(st, 5, wname, 10, &wlen, nullptr, nullptr, nullptr, nullptr), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st), "01004");
    EXPECT_EQ(wlen, 25);
    EXPECT_TRUE(std::u16string(reinterpret_cast<char16_t *>(wname)) == u"a_rather_");
    SQLWCHAR wattr[8];
    SQLSMALLINT wattrLen = 0;
    EXPECT_EQ(SQLColAttributeW(st, 5, SQL_DESC_NAME, wattr, sizeof wattr, &wattrLen, nullptr),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(wattrLen, 50) << "bytes";
    EXPECT_TRUE(std::u16string(reinterpret_cast<char16_t *>(wattr)) == u"a_rathe");
    SQLWCHAR whole[64];
    EXPECT_EQ(SQLDescribeColW(st, 5, whole, 64, &wlen, nullptr, nullptr, nullptr, nullptr), SQL_SUCCESS);
    EXPECT_TRUE(std::u16string(reinterpret_cast<char16_t *>(whole)) == u"a_rather_long_column_name");
}

// ---- the server's errors ----

struct ServerError {
    const char *sql;
    const char *state;
    const char *text;  // part of the server's message
};

TEST_P(Stmt, ServerErrorsKeepTheirStateAndText)
{
    const std::string t = Table("err");
    Exec("drop table if exists " + t);
    Exec("create table " + t + " (id int primary key)");
    Exec("insert into " + t + " values (1)");
    const ServerError cases[] = {
        {"select * from krs_st.no_such_table", "42P01", "does not exist"},
        {"insert into krs_st.err_@ values (1)", "23505", "duplicate key"},
        {"select 2147483647::int4 + 1", "22003", "out of range"},
    };
    for (const ServerError &c : cases) {
        std::string sql = c.sql;
        if (size_t at = sql.find('@'); at != std::string::npos)
            sql.replace(at, 1, GetParam());
        SCOPED_TRACE(sql);
        EXPECT_EQ(SQLExecDirect(st, Sql(sql), SQL_NTS), SQL_ERROR);
        SQLCHAR state[6] = {};
        SQLCHAR msg[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        ASSERT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, st, 1, state, &native, msg, sizeof msg, &len), SQL_SUCCESS);
        EXPECT_STREQ(reinterpret_cast<char *>(state), c.state);
        EXPECT_NE(std::string(reinterpret_cast<char *>(msg)).find(c.text), std::string::npos) << msg;
        EXPECT_EQ(std::string(reinterpret_cast<char *>(msg)).rfind("[Kestrune][ODBC]", 0), 0u) << msg;
        SQLFreeStmt(st, SQL_CLOSE);
    }
    // The statement is usable afterwards.
    EXPECT_EQ(Scalar("select count(*) from " + t), "1");
}

// ---- statement odds and ends ----

TEST_P(Stmt, NativeSqlReportsTheWholeLengthAtAnySize)
{
    // Narrow and wide calls, whichever form the library has (unixODBC
    // converts for the other): the length is always the whole text's, in
    // bytes or characters, with no 16-bit limit on text or buffer.
    const std::string big = "select '" + std::string(40000, 'x') + "'";
    const std::string small = "select 1234567890";
    struct Case {
        const std::string *sql;
        SQLINTEGER room;  // characters, 0 with no buffer at all
        SQLRETURN rc;
    };
    const Case cases[] = {
        {&big, 200000, SQL_SUCCESS},
        {&big, 40010, SQL_SUCCESS},
        {&big, 40009, SQL_SUCCESS_WITH_INFO},
        {&big, 0, SQL_SUCCESS},
        {&small, 8, SQL_SUCCESS_WITH_INFO},
        {&small, 18, SQL_SUCCESS},
        {&small, 0, SQL_SUCCESS},
    };
    for (const Case &c : cases) {
        const std::string &sql = *c.sql;
        const SQLINTEGER whole = static_cast<SQLINTEGER>(sql.size());
        const std::string expect = c.room ? sql.substr(0, std::min<size_t>(sql.size(), c.room - 1)) : "";
        std::string what = std::to_string(sql.size()) + " chars into " + std::to_string(c.room);

        std::vector<SQLCHAR> out(c.room ? c.room : 1, '#');
        SQLINTEGER len = -1;
        EXPECT_EQ(SQLNativeSql(dbc, Sql(sql), SQL_NTS, c.room ? out.data() : nullptr, c.room, &len), c.rc)
            << what << Diags(SQL_HANDLE_DBC, dbc);
        EXPECT_EQ(len, whole) << what;
        if (c.room) {
            std::string got(reinterpret_cast<char *>(out.data()));
            EXPECT_TRUE(got == expect) << what << ": " << got.size() << " characters written";
        }
        if (c.rc == SQL_SUCCESS_WITH_INFO) {
            EXPECT_EQ(FirstState(SQL_HANDLE_DBC, dbc), "01004") << what;
        }

        std::u16string wsql(sql.begin(), sql.end());
        std::vector<SQLWCHAR> wout(c.room ? c.room : 1, u'#');
        len = -1;
        EXPECT_EQ(SQLNativeSqlW(dbc, reinterpret_cast<SQLWCHAR *>(wsql.data()), SQL_NTS, c.room ? wout.data() : nullptr,
                                c.room, &len),
                  c.rc)
            << "W " << what << Diags(SQL_HANDLE_DBC, dbc);
        EXPECT_EQ(len, whole) << "W " << what;
        if (c.room) {
            std::u16string got(reinterpret_cast<char16_t *>(wout.data()));
            EXPECT_TRUE(got == std::u16string(expect.begin(), expect.end()))
                << "W " << what << ": " << got.size() << " characters written";
        }
        if (c.rc == SQL_SUCCESS_WITH_INFO) {
            EXPECT_EQ(FirstState(SQL_HANDLE_DBC, dbc), "01004") << "W " << what;
        }
    }
    if (std::string(GetParam()) == "krs_w") {
        // Characters, not bytes: e-acute, a CJK character and a pair of surrogates.
        std::u16string wsql = u"select '\u00e9\u4e2d\U0001F31C'";
        SQLWCHAR wout[10];
        SQLINTEGER len = -1;
        EXPECT_EQ(SQLNativeSqlW(dbc, reinterpret_cast<SQLWCHAR *>(wsql.data()), SQL_NTS, wout, 10, &len),
                  SQL_SUCCESS_WITH_INFO);
        EXPECT_EQ(len, 13);
        EXPECT_TRUE(std::u16string(reinterpret_cast<char16_t *>(wout)) == u"select '\u00e9");
        EXPECT_EQ(SQLNativeSqlW(dbc, reinterpret_cast<SQLWCHAR *>(wsql.data()), SQL_NTS, nullptr, 0, &len),
                  SQL_SUCCESS);
        EXPECT_EQ(len, 13);
    }
}

TEST_P(Stmt, NativeSqlCursorNamesAndMoreResults)
{
    SQLCHAR out[128] = {};
    SQLINTEGER outLen = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLNativeSql(dbc, Sql("select {fn ucase('x')}"), SQL_NTS, out, sizeof out, &outLen)))
        << Diags(SQL_HANDLE_DBC, dbc);
    EXPECT_EQ(outLen, static_cast<SQLINTEGER>(strlen(reinterpret_cast<char *>(out))));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out)).find("{fn"), std::string::npos) << out;
    if (std::string(GetParam()) == "krs_w") {
        // Cut in characters by the wide library itself (the Driver Manager
        // converts for the ANSI one).
        SQLWCHAR wout[8];
        EXPECT_EQ(SQLNativeSqlW(dbc, reinterpret_cast<SQLWCHAR *>(const_cast<char16_t *>(u"select 12345678")),
                                SQL_NTS, wout, 8, &outLen),
                  SQL_SUCCESS_WITH_INFO);
        EXPECT_EQ(outLen, 15);
        EXPECT_TRUE(std::u16string(reinterpret_cast<char16_t *>(wout)) == u"select ");
    }

    ASSERT_EQ(SQLSetCursorName(st, Sql("krs_cursor"), SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLExecDirect(st, Sql("select 1"), SQL_NTS), SQL_SUCCESS);
    SQLCHAR name[64] = {};
    SQLSMALLINT nameLen = -1;
    EXPECT_EQ(SQLGetCursorName(st, name, sizeof name, &nameLen), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_STREQ(reinterpret_cast<char *>(name), "krs_cursor");
    EXPECT_EQ(nameLen, 10);
    EXPECT_EQ(SQLMoreResults(st), SQL_NO_DATA);
    SQLFreeStmt(st, SQL_CLOSE);
    EXPECT_EQ(SQLCloseCursor(st), SQL_ERROR);
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st), "24000");

    SQLSMALLINT params = -1;
    ASSERT_EQ(SQLPrepare(st, Sql("select ?::int + ?::int"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLNumParams(st, &params), SQL_SUCCESS);
    EXPECT_EQ(params, 2);
    SQLSMALLINT type = 0, nullable = -1, digits = -1;
    SQLULEN size = 0;
    EXPECT_EQ(SQLDescribeParam(st, 1, &type, &size, &digits, &nullable), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(SQLDescribeParam(st, 3, &type, &size, &digits, &nullable), SQL_ERROR);
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st), "07009");
}

TEST_P(Stmt, OutputParametersOfAProcedureCall)
{
    char out[64] = "unchanged";
    char in[] = "hello";
    SQLLEN outInd = 0, inInd = SQL_NTS;
    ASSERT_EQ(SQLPrepare(st, Sql("{? = call upper(?)}"), SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 60, 0, out, sizeof out, &outInd),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 60, 0, in, sizeof in, &inInd),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_STREQ(out, "HELLO");
    EXPECT_EQ(outInd, 5);
    SQLINTEGER n = 0;
    double square = 0;
    SQLLEN nInd = 0, squareInd = 0;
    ASSERT_EQ(SQLPrepare(st, Sql("{? = call power(?, 2)}"), SQL_NTS), SQL_SUCCESS);
    SQLFreeStmt(st, SQL_RESET_PARAMS);
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_OUTPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &square, 0, &squareInd),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &n, 0, &nInd), SQL_SUCCESS);
    for (n = 3; n <= 4; ++n) {
        ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(square, static_cast<double>(n * n));
    }
}

// ---- years beyond the C structs ----

struct FarYear {
    const char *expr;        // a date or timestamp expression
    SQLSMALLINT cType;
    const char *text;        // the text read, or nullptr
    const char *state;       // the SQLSTATE of a refusal, or nullptr
    SQL_TIMESTAMP_STRUCT ts; // the struct read (date fields only for a date target)
};

// Years outside the 16-bit year of the ODBC structs are written whole as
// text and refused with 22008 by the structs; the years that fit (up to
// 32767, and before Christ as astronomical years) come back as before.
TEST_P(Stmt, YearsBeyondTheStructsAreWholeAsTextAndRefusedByStructs)
{
    const FarYear cases[] = {
        {"date '40000-01-01'", SQL_C_CHAR, "40000-01-01", nullptr, {}},
        {"date '40000-01-01'", SQL_C_WCHAR, "40000-01-01", nullptr, {}},
        {"date '40000-01-01'", SQL_C_TYPE_DATE, nullptr, "22008", {}},
        {"date '40000-01-01'", SQL_C_TYPE_TIMESTAMP, nullptr, "22008", {}},
        {"date '40000-01-01'", SQL_C_DEFAULT, nullptr, "22008", {}},
        {"date '40000-01-01'", SQL_C_BINARY, nullptr, "22008", {}},
        {"timestamp(0) '118085-06-09 08:19:11'", SQL_C_CHAR, "118085-06-09 08:19:11", nullptr, {}},
        {"timestamp(0) '118085-06-09 08:19:11'", SQL_C_WCHAR, "118085-06-09 08:19:11", nullptr, {}},
        {"timestamp '118085-06-09 08:19:11'", SQL_C_TYPE_TIMESTAMP, nullptr, "22008", {}},
        {"timestamp '118085-06-09 08:19:11'", SQL_C_TYPE_DATE, nullptr, "22008", {}},
        {"timestamp '118085-06-09 08:19:11'", SQL_C_TYPE_TIME, nullptr, nullptr, {0, 0, 0, 8, 19, 11, 0}},
        {"date '5874897-12-31'", SQL_C_CHAR, "5874897-12-31", nullptr, {}},
        {"timestamp(6) '294276-12-31 23:59:59.999999'", SQL_C_CHAR, "294276-12-31 23:59:59.999999", nullptr, {}},
        {"date 'infinity'", SQL_C_CHAR, "infinity", nullptr, {}},
        {"timestamp '-infinity'", SQL_C_CHAR, "-infinity", nullptr, {}},
        {"date 'infinity'", SQL_C_TYPE_DATE, nullptr, "22008", {}},
        // Years the structs hold stay as they were.
        {"date '32767-12-31'", SQL_C_TYPE_DATE, nullptr, nullptr, {32767, 12, 31, 0, 0, 0, 0}},
        {"date '32767-12-31'", SQL_C_CHAR, "32767-12-31", nullptr, {}},
        {"timestamp '12345-01-02 03:04:05'", SQL_C_TYPE_TIMESTAMP, nullptr, nullptr, {12345, 1, 2, 3, 4, 5, 0}},
        {"date '0044-03-15 BC'", SQL_C_TYPE_DATE, nullptr, nullptr, {-43, 3, 15, 0, 0, 0, 0}},
        {"date '0044-03-15 BC'", SQL_C_CHAR, "-0043-03-15", nullptr, {}},
        {"timestamp(0) '0044-03-15 10:11:12 BC'", SQL_C_CHAR, "-0043-03-15 10:11:12", nullptr, {}},
    };
    for (const FarYear &c : cases) {
        SCOPED_TRACE(std::string(c.expr) + " as C type " + std::to_string(c.cType));
        ASSERT_EQ(SQLExecDirect(st, Sql(std::string("select ") + c.expr), SQL_NTS), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLFetch(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        uint8_t buf[128];
        memset(buf, 0xAA, sizeof buf);
        SQLLEN ind = 0;
        const SQLRETURN rc = SQLGetData(st, 1, c.cType, buf, sizeof buf, &ind);
        if (c.state) {
            EXPECT_EQ(rc, SQL_ERROR);
            EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st), c.state) << Diags(SQL_HANDLE_STMT, st);
        } else if (c.text) {
            ASSERT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
            const size_t n = strlen(c.text);
            if (c.cType == SQL_C_WCHAR) {
                EXPECT_EQ(ind, static_cast<SQLLEN>(2 * n));
                std::string narrow;
                for (size_t i = 0; i < n; ++i)
                    narrow += static_cast<char>(reinterpret_cast<SQLWCHAR *>(buf)[i]);
                EXPECT_EQ(narrow, c.text);
            } else {
                EXPECT_EQ(ind, static_cast<SQLLEN>(n));
                EXPECT_EQ(std::string(reinterpret_cast<char *>(buf)), c.text);
            }
        } else {
            ASSERT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
            SQL_TIMESTAMP_STRUCT want = c.ts;
            size_t size = sizeof want;
            if (c.cType == SQL_C_TYPE_DATE) {
                SQL_DATE_STRUCT d{want.year, want.month, want.day};
                EXPECT_EQ(memcmp(buf, &d, sizeof d), 0);
                size = sizeof d;
            } else if (c.cType == SQL_C_TYPE_TIME) {
                SQL_TIME_STRUCT t{want.hour, want.minute, want.second};
                EXPECT_EQ(memcmp(buf, &t, sizeof t), 0);
                size = sizeof t;
            } else {
                EXPECT_EQ(memcmp(buf, &want, sizeof want), 0);
            }
            EXPECT_EQ(ind, static_cast<SQLLEN>(size));
        }
        SQLFreeStmt(st, SQL_CLOSE);
    }
}

// A rowset bound as date structs fails only its row with the far year; the
// same rows bound as text come back whole.  A short text buffer gets the
// leading part of a far timestamp and its whole length.
TEST_P(Stmt, FarYearsInRowsetsAndShortBuffers)
{
    const std::string sql =
        "select v from (values (1, date '2024-02-29'), (2, date '40000-01-01'), (3, date '0001-01-01')) x(k, v) "
        "order by k";
    SQLULEN fetched = 0;
    SQLUSMALLINT status[3] = {99, 99, 99};
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(3), 0), SQL_SUCCESS);
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, status, 0);
    SQL_DATE_STRUCT dates[3] = {};
    SQLLEN dateInd[3] = {};
    ASSERT_EQ(SQLExecDirect(st, Sql(sql), SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLBindCol(st, 1, SQL_C_TYPE_DATE, dates, sizeof dates[0], dateInd), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(st), SQL_SUCCESS_WITH_INFO);
    EXPECT_NE(Diags(SQL_HANDLE_STMT, st).find("22008:"), std::string::npos) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(fetched, 3u);
    EXPECT_EQ(status[0], SQL_ROW_SUCCESS);
    EXPECT_EQ(status[1], SQL_ROW_ERROR);
    EXPECT_EQ(status[2], SQL_ROW_SUCCESS);
    EXPECT_EQ(dates[0].year, 2024);
    EXPECT_EQ(dates[2].year, 1);
    EXPECT_NE(dates[1].year, -25536) << "no wrapped year";
    SQLFreeStmt(st, SQL_CLOSE);
    SQLFreeStmt(st, SQL_UNBIND);

    char texts[3][16] = {};
    SQLLEN textInd[3] = {};
    ASSERT_EQ(SQLExecDirect(st, Sql(sql), SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLBindCol(st, 1, SQL_C_CHAR, texts, sizeof texts[0], textInd), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_STREQ(texts[0], "2024-02-29");
    EXPECT_STREQ(texts[1], "40000-01-01");
    EXPECT_STREQ(texts[2], "0001-01-01");
    EXPECT_EQ(textInd[1], 11);
    SQLFreeStmt(st, SQL_CLOSE);
    SQLFreeStmt(st, SQL_UNBIND);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);

    // A timestamp's text may be cut (01004); a date's is whole or refused (22003).
    ASSERT_EQ(SQLExecDirect(st, Sql("select timestamp(0) '118085-06-09 08:19:11', date '40000-01-01'"), SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
    char small[11];
    SQLLEN ind = 0;
    EXPECT_EQ(SQLGetData(st, 1, SQL_C_CHAR, small, sizeof small, &ind), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st), "01004");
    EXPECT_STREQ(small, "118085-06-");
    EXPECT_EQ(ind, 21);
    EXPECT_EQ(SQLGetData(st, 2, SQL_C_CHAR, small, sizeof small, &ind), SQL_ERROR);
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st), "22003");
    SQLFreeStmt(st, SQL_CLOSE);
}

// An output parameter with a far year: whole as text, 22008 as a struct.
TEST_P(Stmt, FarYearsInOutputParameters)
{
    const std::string fn = Table("far_date");
    Exec("create or replace function " + fn + "() returns date language sql as $$ select date '40000-01-01' $$");
    const std::string call = "{? = call " + fn + "()}";
    char text[32] = {};
    SQLLEN ind = 0;
    ASSERT_EQ(SQLPrepare(st, Sql(call), SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_TYPE_DATE, 10, 0, text, sizeof text, &ind),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_STREQ(text, "40000-01-01");
    EXPECT_EQ(ind, 11);
    SQLFreeStmt(st, SQL_RESET_PARAMS);
    SQLFreeStmt(st, SQL_CLOSE);

    SQL_DATE_STRUCT d{1, 1, 1};
    ASSERT_EQ(SQLPrepare(st, Sql(call), SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_OUTPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, &d, sizeof d, &ind),
              SQL_SUCCESS);
    EXPECT_EQ(SQLExecute(st), SQL_ERROR);
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st), "22008") << Diags(SQL_HANDLE_STMT, st);
    EXPECT_NE(d.year, -25536) << "no wrapped year";
    SQLFreeStmt(st, SQL_RESET_PARAMS);
    SQLFreeStmt(st, SQL_CLOSE);
}

// ---- wide parameters ----

std::u16string Repeat(const std::u16string &unit, int n)
{
    std::u16string s;
    for (int i = 0; i < n; ++i)
        s += unit;
    return s;
}

// SQL_C_WCHAR parameters arrive whole through both libraries, however many
// more bytes their text takes in the ANSI library's UTF-8: bound, sent in
// pieces at execution, in arrays, and coming back as output parameters.
TEST_P(Stmt, WideParametersArriveWholeInEveryLibrary)
{
    const std::string t = Table("wide");
    Exec("drop table if exists " + t);
    Exec("create table " + t + " (k int, v text)");
    const std::u16string zhong = u"\u4e2d";
    for (int n : {1, 10, 1000}) {
        SCOPED_TRACE(n);
        std::u16string value = Repeat(zhong, n);
        SQLLEN len = static_cast<SQLLEN>(2 * value.size());
        SQLINTEGER k = n;
        ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &k, 0, nullptr),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, value.size(), 0,
                                   const_cast<char16_t *>(value.data()), len, &len),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLExecDirect(st, Sql("insert into " + t + " values (?, ?)"), SQL_NTS), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        SQLFreeStmt(st, SQL_RESET_PARAMS);
        EXPECT_EQ(Scalar("select length(v) || ':' || (v = repeat(U&'\\4E2D', " + std::to_string(n) + ")) from " + t +
                         " where k = " + std::to_string(n)),
                  std::to_string(n) + ":true");
    }

    // Data at execution: a thousand characters in two pieces.
    const std::u16string half = Repeat(zhong, 500);
    SQLINTEGER k = 2000;
    SQLLEN dae = SQL_LEN_DATA_AT_EXEC(0);
    char token = 'w';
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &k, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WLONGVARCHAR, 1000, 0, &token, 0, &dae),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(st, Sql("insert into " + t + " values (?, ?)"), SQL_NTS), SQL_NEED_DATA)
        << Diags(SQL_HANDLE_STMT, st);
    SQLPOINTER asked = nullptr;
    ASSERT_EQ(SQLParamData(st, &asked), SQL_NEED_DATA);
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(SQLPutData(st, const_cast<char16_t *>(half.data()), static_cast<SQLLEN>(2 * half.size())),
                  SQL_SUCCESS);
    EXPECT_EQ(SQLParamData(st, &asked), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    SQLFreeStmt(st, SQL_RESET_PARAMS);
    EXPECT_EQ(Scalar("select length(v) || ':' || (v = repeat(U&'\\4E2D', 1000)) from " + t + " where k = 2000"),
              "1000:true");

    // An array whose rows need different room.
    SQLINTEGER ids[3] = {3001, 3002, 3003};
    SQLWCHAR rows[3][64] = {};
    SQLLEN rowLen[3] = {};
    const std::u16string values[3] = {zhong, Repeat(zhong, 50), u"abc"};
    for (int r = 0; r < 3; ++r) {
        memcpy(rows[r], values[r].data(), 2 * values[r].size());
        rowLen[r] = static_cast<SQLLEN>(2 * values[r].size());
    }
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 63, 0, rows, sizeof rows[0], rowLen),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(st, Sql("insert into " + t + " values (?, ?)"), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    SQLFreeStmt(st, SQL_RESET_PARAMS);
    EXPECT_EQ(Scalar("select string_agg(length(v)::text, ',' order by k) from " + t + " where k > 3000"), "1,50,3");

    // An output parameter: thirty characters fill 60 of the buffer's 64 bytes.
    SQLWCHAR out[32] = {};
    SQLLEN outInd = 0;
    std::u16string in = Repeat(zhong, 15);
    SQLLEN inLen = static_cast<SQLLEN>(2 * in.size());
    ASSERT_EQ(SQLPrepare(st, Sql("{? = call repeat(?, 2)}"), SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_OUTPUT, SQL_C_WCHAR, SQL_WVARCHAR, 31, 0, out, sizeof out, &outInd),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 15, 0,
                               const_cast<char16_t *>(in.data()), inLen, &inLen),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(outInd, 60);
    EXPECT_TRUE(std::u16string(reinterpret_cast<char16_t *>(out)) == Repeat(zhong, 30));
    SQLFreeStmt(st, SQL_RESET_PARAMS);
}

// ---- row counts ----

struct CountCase {
    const char *sql;  // '@' stands for the table
    SQLLEN rows;      // SQLRowCount after the execute (and after the fetch)
    bool result;      // the statement returns rows
};

// SQLRowCount is the count the server made for the statement, whatever its
// first word; -1 for statements that return rows, whose count JDBC does not
// give.
TEST_P(Stmt, RowCountIsTheServersCountWhateverTheFirstWord)
{
    const std::string t = Table("cnt");
    Exec("drop table if exists " + t);
    Exec("drop table if exists " + t + "_copy");
    Exec("create table " + t + " (id int primary key, n int)");
    const CountCase cases[] = {
        {"insert into @ values (1, 0), (2, 0), (3, 0)", 3, false},
        {"with s as (select 4 as id) insert into @ select id, 0 from s", 1, false},
        {"with s as (select g from generate_series(5, 7) g) insert into @ select g, 0 from s", 3, false},
        {"/* a comment first */ update @ set n = 1 where id <= 2", 2, false},
        {"-- a line comment\ndelete from @ where id = 7", 1, false},
        {"\n  update @ set n = 2", 6, false},
        {"with d as (update @ set n = 5 where id = 6 returning id) delete from @ where id = 5", 1, false},
        {"merge into @ using (select g as id from generate_series(1, 8) g) s on @.id = s.id "
         "when matched then update set n = 3 when not matched then insert values (s.id, 3)",
         8, false},
        {"create table @_copy as select * from @", 8, false},
        {"insert into @ values (100, 0), (101, 0) returning id", -1, true},
        {"with d as (delete from @ where id >= 100 returning id) select count(*) from d", -1, true},
        {"select * from @", -1, true},
        {"(select 1)", -1, true},
    };
    for (const CountCase &c : cases) {
        std::string sql = c.sql;
        for (size_t at; (at = sql.find('@')) != std::string::npos;)
            sql.replace(at, 1, t);
        SCOPED_TRACE(sql);
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql(sql), SQL_NTS))) << Diags(SQL_HANDLE_STMT, st);
        SQLLEN rows = 12345;
        EXPECT_EQ(SQLRowCount(st, &rows), SQL_SUCCESS);
        EXPECT_EQ(rows, c.rows);
        if (c.result) {
            int fetched = 0;
            while (SQLFetch(st) == SQL_SUCCESS)
                ++fetched;
            EXPECT_GT(fetched, 0);
            rows = 12345;
            EXPECT_EQ(SQLRowCount(st, &rows), SQL_SUCCESS);
            EXPECT_EQ(rows, c.rows) << "the count does not become the rows fetched";
        }
        SQLFreeStmt(st, SQL_CLOSE);
    }

    // Several statements in one text: each result has its own count.
    const std::string batch = "/* three */ insert into " + t + " values (200, 0), (201, 0); select id from " + t +
                              " where id >= 200; delete from " + t + " where id >= 200";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql(batch), SQL_NTS))) << Diags(SQL_HANDLE_STMT, st);
    SQLLEN rows = 0;
    EXPECT_EQ(SQLRowCount(st, &rows), SQL_SUCCESS);
    EXPECT_EQ(rows, 2);
    ASSERT_EQ(SQLMoreResults(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(SQLRowCount(st, &rows), SQL_SUCCESS);
    EXPECT_EQ(rows, -1);
    ASSERT_EQ(SQLMoreResults(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(SQLRowCount(st, &rows), SQL_SUCCESS);
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(SQLMoreResults(st), SQL_NO_DATA);
    SQLFreeStmt(st, SQL_CLOSE);
}

// A parameter array of a statement that starts with WITH counts its rows,
// and one that fails tells how far it went.
TEST_P(Stmt, RowCountOfAParameterArrayWithoutALeadingVerb)
{
    const std::string t = Table("cntarr");
    Exec("drop table if exists " + t);
    Exec("create table " + t + " (id int primary key)");
    SQLINTEGER ids[3] = {1, 2, 3};
    SQLUSMALLINT status[3] = {99, 99, 99};
    SQLULEN processed = 99;
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_PARAM_STATUS_PTR, status, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr), SQL_SUCCESS);
    const std::string sql = "with s as (select ?::int as id) insert into " + t + " select id from s";
    ASSERT_EQ(SQLExecDirect(st, Sql(sql), SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    SQLLEN rows = 0;
    EXPECT_EQ(SQLRowCount(st, &rows), SQL_SUCCESS);
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(processed, 3u);

    // Rows 2 and 3 again, after a new one: the second set fails.
    ids[0] = 4;
    EXPECT_EQ(SQLExecDirect(st, Sql(sql), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st), "23505") << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(processed, 2u);
    EXPECT_EQ(status[0], SQL_PARAM_SUCCESS);
    EXPECT_EQ(status[1], SQL_PARAM_ERROR);
    EXPECT_EQ(status[2], SQL_PARAM_UNUSED);
    SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    SQLSetStmtAttr(st, SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0);
    SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0);
    SQLFreeStmt(st, SQL_RESET_PARAMS);
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, Stmt, ::testing::Values("krs_w", "krs_a"),
                         [](const ::testing::TestParamInfo<const char *> &i) { return std::string(i.param); });

} // namespace

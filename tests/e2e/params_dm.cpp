// Parameter descriptions through unixODBC with both libraries: SQLNumParams
// and SQLDescribeParam answer from the analyser's probe queries with the
// types of the columns each marker stands for; statements the probes cannot
// describe keep the default description; under manual commit a probe that
// fails leaves the application's transaction usable.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "tests/common/pg_env.h"
#include "tests/e2e/connect_common.h"

namespace {

using conntest::Diags;
using conntest::Sql;

PgEnv g_pg;

class ParamsEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(g_pg));
        PgPsql(g_pg, "drop schema if exists krs_pp cascade; create schema krs_pp");
        for (const char *lib : {"krs_w", "krs_a"}) {
            std::string t = std::string("krs_pp.items_") + lib;
            std::string u = std::string("krs_pp.src_") + lib;
            PgPsql(g_pg, "create table " + t +
                             " (id integer primary key, qty smallint, price numeric(10,2), name varchar(40), born date)");
            PgPsql(g_pg, "create table " + u + " (id integer, uv varchar(12))");
            PgPsql(g_pg, std::string("create procedure krs_pp.bump_") + lib +
                             "(inout x integer) language plpgsql as 'begin x := x + 1; end'");
        }
    }
    void TearDown() override { PgPsql(g_pg, "drop schema if exists krs_pp cascade"); }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new ParamsEnv);



struct TypeInfo {
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    bool operator==(const TypeInfo &o) const { return type == o.type && size == o.size && digits == o.digits; }
};

std::ostream &operator<<(std::ostream &os, const TypeInfo &t)
{
    return os << "{type " << t.type << ", size " << t.size << ", digits " << t.digits << "}";
}

class Params : public conntest::DsnStatement {
protected:
    std::string T() const { return std::string("krs_pp.items_") + GetParam(); }
    std::string U() const { return std::string("krs_pp.src_") + GetParam(); }

    // The driver's own description of a column, as a result column.
    TypeInfo Column(const std::string &table, const std::string &column)
    {
        TypeInfo t;
        SQLHSTMT s = nullptr;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s);
        EXPECT_EQ(SQLPrepare(s, Sql("SELECT " + column + " FROM " + table), SQL_NTS), SQL_SUCCESS);
        SQLCHAR name[64];
        SQLSMALLINT nameLen = 0, nullable = 0;
        EXPECT_EQ(SQLDescribeCol(s, 1, name, sizeof name, &nameLen, &t.type, &t.size, &t.digits, &nullable),
                  SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, s);
        SQLFreeHandle(SQL_HANDLE_STMT, s);
        return t;
    }
    // The parameter descriptions of a prepared statement.
    std::vector<TypeInfo> Describe(const std::string &sql)
    {
        std::vector<TypeInfo> out;
        EXPECT_EQ(SQLPrepare(st, Sql(sql), SQL_NTS), SQL_SUCCESS) << sql << "\n" << Diags(SQL_HANDLE_STMT, st);
        SQLSMALLINT n = -1;
        EXPECT_EQ(SQLNumParams(st, &n), SQL_SUCCESS);
        for (SQLUSMALLINT i = 1; i <= n; ++i) {
            TypeInfo t;
            SQLSMALLINT nullable = -1;
            EXPECT_EQ(SQLDescribeParam(st, i, &t.type, &t.size, &t.digits, &nullable), SQL_SUCCESS)
                << sql << " parameter " << i << "\n" << Diags(SQL_HANDLE_STMT, st);
            out.push_back(t);
        }
        SQLFreeStmt(st, SQL_CLOSE);
        return out;
    }
    std::vector<TypeInfo> Columns(const std::string &table, std::initializer_list<const char *> names)
    {
        std::vector<TypeInfo> out;
        for (const char *n : names)
            out.push_back(Column(table, n));
        return out;
    }
    void Exec(const std::string &sql)
    {
        SQLRETURN rc = SQLExecDirect(st, Sql(sql), SQL_NTS);
        ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << sql << "\n" << Diags(SQL_HANDLE_STMT, st);
        SQLFreeStmt(st, SQL_CLOSE);
    }
};

TEST_P(Params, TypesOfTheColumnsEachMarkerStandsFor)
{
    struct Case {
        std::string sql;
        std::vector<TypeInfo> want;
    };
    // The default description (no probe) is VARCHAR(255): every expected type
    // below differs from it, so a match shows the probe at work.
    const Case cases[] = {
        {"SELECT id FROM " + T() + " WHERE price BETWEEN ? AND ? AND name LIKE ?",
         Columns(T(), {"price", "price", "name"})},
        {"SELECT name FROM " + T() + " WHERE id IN (?, ?, ?) AND born > ?", Columns(T(), {"id", "id", "id", "born"})},
        {"INSERT INTO " + T() + " VALUES (?, 5, ?)", Columns(T(), {"id", "price"})},
        {"INSERT INTO " + T() + " (name, born, id) SELECT ?, born, id + 1 FROM " + T() + " WHERE qty = ?",
         Columns(T(), {"name", "qty"})},
        {"UPDATE " + T() + " SET name = ?, price = ? WHERE born > ? AND id = ?",
         Columns(T(), {"name", "price", "born", "id"})},
        {"DELETE FROM " + T() + " WHERE qty = ? OR name LIKE ?", Columns(T(), {"qty", "name"})},
        // A marker in a CASE condition stands for the column it is compared
        // with there, not for what the CASE is compared with.
        {"SELECT id FROM " + T() + " WHERE CASE WHEN name = ? THEN 1 ELSE 0 END = 1", Columns(T(), {"name"})},
        {"SELECT id FROM " + T() + " WHERE CASE WHEN born > ? THEN 1 END IN (1, 2) AND qty = ?",
         Columns(T(), {"born", "qty"})},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Describe(c.sql), c.want) << c.sql;
        for (const TypeInfo &t : c.want)
            EXPECT_FALSE(t.type == SQL_VARCHAR && t.size == 255) << c.sql;
    }
}

TEST_P(Params, UndescribedMarkersKeepTheDefault)
{
    const struct {
        std::string sql;
        size_t markers;
    } cases[] = {
        // A marker in the select list has no column: none of the three is
        // described.
        {"SELECT ?, id FROM " + T() + " WHERE id = ? AND qty = ?", 3},
        // The THEN marker's type is the CASE's own, which no column gives.
        {"SELECT id FROM " + T() + " WHERE CASE WHEN name = ? THEN ? ELSE 0 END = 1", 2},
    };
    for (const auto &c : cases) {
        std::vector<TypeInfo> got = Describe(c.sql);
        ASSERT_EQ(got.size(), c.markers) << c.sql;
        for (const TypeInfo &t : got) {
            EXPECT_EQ(t.type, SQL_VARCHAR) << c.sql;
            EXPECT_EQ(t.size, 255u) << c.sql;
        }
    }
}

// A prepared statement whose cursor was closed is back in the prepared
// state, whatever its cursor type: it counts and describes its own
// parameters and result columns (never the texts a scrollable cursor
// prepared on it meanwhile) and executes again.
TEST_P(Params, AClosedCursorLeavesTheStatementPrepared)
{
    PgPsql(g_pg, "delete from " + T() + "; insert into " + T() + " (id, name) select i, 'n' || i from generate_series(1, 8) i");
    const std::vector<TypeInfo> idType = Columns(T(), {"id"});
    const struct {
        const char *what;
        SQLULEN type;
        bool fetch;   // a fetch before the close
    } cases[] = {
        {"forward-only", SQL_CURSOR_FORWARD_ONLY, true}, {"static", SQL_CURSOR_STATIC, true},
        {"keyset-driven", SQL_CURSOR_KEYSET_DRIVEN, true}, {"dynamic", SQL_CURSOR_DYNAMIC, true},
        {"keyset-driven, closed unread", SQL_CURSOR_KEYSET_DRIVEN, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        // The cursor type is set before the prepare, on a statement of its own.
        SQLHSTMT h = nullptr;
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(c.type), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLPrepare(h, Sql("SELECT id FROM " + T() + " WHERE id > ? ORDER BY id"), SQL_NTS), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, h);
        SQLINTEGER above = 5;
        ASSERT_EQ(SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &above, 0, nullptr),
                  SQL_SUCCESS);
        for (int run = 0; run < 2; ++run) {
            SCOPED_TRACE(run);
            ASSERT_EQ(SQLExecute(h), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, h);
            if (c.fetch) {
                SQLINTEGER id = 0;
                SQLLEN ind = 0;
                ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_NEXT, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, h);
                ASSERT_EQ(SQLGetData(h, 1, SQL_C_SLONG, &id, 0, &ind), SQL_SUCCESS);
                EXPECT_EQ(id, above + 1);
            }
            ASSERT_EQ(SQLCloseCursor(h), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, h);
            SQLSMALLINT n = -1;
            EXPECT_EQ(SQLNumParams(h, &n), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, h);
            EXPECT_EQ(n, 1);
            n = -1;
            EXPECT_EQ(SQLNumResultCols(h, &n), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, h);
            EXPECT_EQ(n, 1);
            TypeInfo t;
            SQLSMALLINT nullable = 0;
            EXPECT_EQ(SQLDescribeParam(h, 1, &t.type, &t.size, &t.digits, &nullable), SQL_SUCCESS)
                << Diags(SQL_HANDLE_STMT, h);
            EXPECT_EQ(std::vector<TypeInfo>{t}, idType);
            EXPECT_EQ(SQLDescribeParam(h, 2, &t.type, &t.size, &t.digits, &nullable), SQL_ERROR);
            EXPECT_EQ(conntest::Diag(SQL_HANDLE_STMT, h), "07009");
            above = 6;
        }
        SQLFreeHandle(SQL_HANDLE_STMT, h);
    }
}

TEST_P(Params, FailedProbeLeavesTheTransactionUsable)
{
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_SUCCESS);
    Exec("DELETE FROM " + T());
    Exec("INSERT INTO " + T() + " (id, name) VALUES (100, 'before')");
    // The probe qualifies uv with the target table, where no such column
    // exists: the server refuses it, inside the transaction.
    std::vector<TypeInfo> got = Describe("UPDATE " + T() + " SET name = ? FROM " + U() + " WHERE " + T() + ".id = " +
                                         U() + ".id AND uv = ?");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].type, SQL_VARCHAR);
    EXPECT_EQ(got[0].size, 255u) << "a failed probe leaves the default";
    // A probe that works, in the same transaction.
    EXPECT_EQ(Describe("DELETE FROM " + T() + " WHERE id = ?"), Columns(T(), {"id"}));
    Exec("INSERT INTO " + T() + " (id, name) VALUES (101, 'after')");
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS) << Diags(SQL_HANDLE_DBC, dbc);
    EXPECT_EQ(PgPsql(g_pg, "select string_agg(name, ',' order by id) from " + T()), "before,after");
}

// Markers bound SQL_PARAM_INPUT_OUTPUT in statements that are not procedure
// calls are input parameters: the statement runs once and answers success,
// and the application's buffer keeps its value (nothing is returned into it).
TEST_P(Params, InputOutputMarkersOutsideProcedureCallsAreInputs)
{
    Exec("DELETE FROM " + T());
    struct Case {
        std::string sql;
        bool rows;         // the statement answers a result
        const char *want;  // its first column, when it does
    } cases[] = {
        {"INSERT INTO " + T() + " (id) VALUES (?)", false, nullptr},
        {"SELECT ?", true, "41"},
        {std::string("CALL krs_pp.bump_") + GetParam() + "(CAST(? AS integer))", true, "42"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        SQLINTEGER v = 41;
        SQLLEN ind = 0;
        ASSERT_EQ(SQLPrepare(st, Sql(c.sql), SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &v, 0, &ind),
                  SQL_SUCCESS);
        EXPECT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(v, 41);
        if (c.rows) {
            char text[16] = {};
            SQLLEN len = 0;
            ASSERT_EQ(SQLFetch(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
            ASSERT_EQ(SQLGetData(st, 1, SQL_C_CHAR, text, sizeof text, &len), SQL_SUCCESS);
            EXPECT_STREQ(text, c.want);
        }
        SQLFreeStmt(st, SQL_CLOSE);
        SQLFreeStmt(st, SQL_RESET_PARAMS);
    }
    EXPECT_EQ(PgPsql(g_pg, "select count(*) from " + T() + " where id = 41"), "1") << "written once";
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, Params, ::testing::Values("krs_w", "krs_a"),
                         [](const ::testing::TestParamInfo<const char *> &i) { return std::string(i.param); });

} // namespace

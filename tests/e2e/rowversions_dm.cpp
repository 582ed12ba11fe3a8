// Row versions of dynamic cursors on a connection with
// DYN_CURS_SENSITIVITY=HIGH, through unixODBC with both libraries: each
// such cursor has a server session of its own for the table KRSRVC, which
// ends with the cursor; without the table the statement fails with IM926
// behind the server's own report.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "tests/common/pg_env.h"
#include "tests/e2e/connect_common.h"

namespace {

using conntest::Diags;
using conntest::Library;
using conntest::Sql;

PgEnv g_pg;

const char kSchema[] = "krs_rv_e2e";

class RowVersionEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(g_pg));
        PgPsql(g_pg, std::string("drop schema if exists ") + kSchema + " cascade; create schema " + kSchema +
                         "; create table " + kSchema + ".krs_rv_items (id int primary key, v int);"
                         "insert into " + kSchema + ".krs_rv_items select i, i from generate_series(1, 5) i;");
    }
    void TearDown() override { PgPsql(g_pg, std::string("drop schema if exists ") + kSchema + " cascade"); }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new RowVersionEnv);

void tableMake(bool present)
{
    PgPsql(g_pg, std::string("drop table if exists ") + kSchema + ".krsrvc");
    if (present)
        PgPsql(g_pg, std::string("create table ") + kSchema +
                         ".krsrvc (hconn varchar(24), hcurs varchar(8), keyver char(32), rowver char(32))");
}

class RowVersions : public ::testing::TestWithParam<Library> {
protected:
    conntest::Handles h;
    std::string app;

    // A connection whose dynamic cursors keep row versions (or not); its
    // sessions carry their own application name, and unqualified names
    // resolve in the test's schema.
    void Connect(bool sensitive)
    {
        app = std::string("krs_rv_") + GetParam().tag + (sensitive ? "_hi" : "_lo");
        std::string in = std::string("DRIVER={") + GetParam().driver + "};URL={" + conntest::Props(g_pg, app) +
                         ";currentSchema=" + kSchema + "};UID=" + g_pg.trustUser +
                         ";NOAC=TRUE;DYN_CURS_SENSITIVITY=" + (sensitive ? "HIGH" : "LOW");
        ASSERT_TRUE(conntest::Ok(h.DriverConnect(in))) << h.State();
    }
    // A statement asking for a dynamic cursor; *served is false when the
    // connection gives another cursor type in its place.
    SQLHSTMT Dynamic(bool *served = nullptr)
    {
        SQLHSTMT st = nullptr;
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &st), SQL_SUCCESS);
        SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_DYNAMIC), 0);
        SQLULEN type = 0;
        SQLGetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr);
        if (served)
            *served = type == SQL_CURSOR_DYNAMIC;
        return st;
    }
};

#define REQUIRE_DYNAMIC(st)                                                                                       \
    do {                                                                                                          \
        bool served_ = false;                                                                                     \
        st = Dynamic(&served_);                                                                                   \
        if (!served_)                                                                                             \
            GTEST_SKIP() << "the driver does not give dynamic cursors yet";                                       \
    } while (0)

TEST_P(RowVersions, EachSensitiveDynamicCursorHasASessionUntilItIsFreed)
{
    tableMake(true);
    Connect(true);
    ASSERT_EQ(PgSessions(g_pg, app, 1), 1);
    SQLHSTMT a = nullptr, b = nullptr;
    REQUIRE_DYNAMIC(a);
    REQUIRE_DYNAMIC(b);
    for (SQLHSTMT st : {a, b})
        ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(st, Sql("select id, v from krs_rv_items"), SQL_NTS))) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(PgSessions(g_pg, app, 3), 3);
    // Preparing again keeps the cursor's one session.
    ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(a, Sql("select id from krs_rv_items"), SQL_NTS))) << Diags(SQL_HANDLE_STMT, a);
    EXPECT_EQ(PgSessions(g_pg, app, 3), 3);
    SQLFreeHandle(SQL_HANDLE_STMT, a);
    EXPECT_EQ(PgSessions(g_pg, app, 2), 2);
    ASSERT_EQ(SQLDisconnect(h.dbc), SQL_SUCCESS);
    EXPECT_EQ(PgSessions(g_pg, app, 0), 0);
}

// A statement prepared first as another cursor type and then as a dynamic
// one keeps row versions as a dynamic one from the start does.
TEST_P(RowVersions, AStatementMadeDynamicLaterKeepsVersionsToo)
{
    tableMake(true);
    Connect(true);
    SQLHSTMT st = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &st), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_KEYSET_DRIVEN), 0)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql("select id, v from krs_rv_items"), SQL_NTS)))
        << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
    EXPECT_EQ(PgSessions(g_pg, app, 1), 1);
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_DYNAMIC), 0)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql("select id, v from krs_rv_items"), SQL_NTS)))
        << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(PgSessions(g_pg, app, 2), 2) << "the dynamic cursor has a row-version session";
    SQLINTEGER id = 0, v = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, &id, 0, &ind), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(st, 2, SQL_C_SLONG, &v, 0, &ind), SQL_SUCCESS);
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(id, 1);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    EXPECT_EQ(PgSessions(g_pg, app, 1), 1);
}

TEST_P(RowVersions, WithoutTheTableTheCursorIsRefusedWithIM926)
{
    tableMake(false);
    Connect(true);
    SQLHSTMT st = nullptr;
    REQUIRE_DYNAMIC(st);
    EXPECT_EQ(SQLExecDirect(st, Sql("select id, v from krs_rv_items"), SQL_NTS), SQL_ERROR);
    const std::string all = Diags(SQL_HANDLE_STMT, st);
    EXPECT_NE(all.find("IM926:"), std::string::npos) << all;
    EXPECT_NE(all.find("Check that the table KRSRVC exists"), std::string::npos) << all;
    EXPECT_NE(all.find("krsrvc"), std::string::npos) << all;  // the server's own report
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    EXPECT_EQ(PgSessions(g_pg, app, 1), 1);
}

TEST_P(RowVersions, InsensitiveConnectionsNeedNoTable)
{
    tableMake(false);
    Connect(false);
    SQLHSTMT st = Dynamic();
    EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql("select id, v from krs_rv_items"), SQL_NTS))) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(PgSessions(g_pg, app, 1), 1);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, RowVersions, ::testing::ValuesIn(conntest::kLibraries),
                         [](const ::testing::TestParamInfo<Library> &i) { return std::string(i.param.tag); });

} // namespace

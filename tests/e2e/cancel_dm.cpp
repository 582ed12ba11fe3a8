// SQLCancel through unixODBC with both libraries: a statement running on one
// thread is cancelled from another and ends with the server's cancel error;
// without a running call the statement is closed.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "tests/common/pg_env.h"

namespace {

PgEnv g_pg;

SQLCHAR *Sql(const std::string &s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s.c_str())); }

// SQLSTATE and message of the first diagnostic record ("" when there is none).
std::string FirstState(SQLSMALLINT type, SQLHANDLE h, std::string *message = nullptr)
{
    SQLCHAR state[6] = {};
    SQLCHAR msg[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len)))
        return "";
    if (message)
        *message = reinterpret_cast<char *>(msg);
    return reinterpret_cast<char *>(state);
}

// Whether the server runs a statement whose text holds `marker` (bounded wait).
bool ServerRuns(const std::string &marker)
{
    for (int i = 0; i < 400; ++i) {
        std::string n = PgPsql(g_pg, "select count(*) from pg_stat_activity where state = 'active' and "
                                     "pid <> pg_backend_pid() and query like '%" + marker + "%'");
        if (n == "1")
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

class Cancel : public ::testing::TestWithParam<const char *> {
protected:
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT st = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(g_pg));
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
        std::string in = std::string("DSN=") + GetParam();
        SQLRETURN rc = SQLDriverConnect(dbc, nullptr, Sql(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << FirstState(SQL_HANDLE_DBC, dbc);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), SQL_SUCCESS);
    }
    void TearDown() override
    {
        if (st)
            SQLFreeHandle(SQL_HANDLE_STMT, st);
        if (dbc) {
            SQLDisconnect(dbc);
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        }
        if (env)
            SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
};

// The sleep is far longer than the test needs: a cancel that does nothing
// shows as a statement that succeeds.
TEST_P(Cancel, RunningStatementEndsWithTheServersCancelError)
{
    const std::string marker = std::string("krs_cancel_") + GetParam();
    auto running = std::async(std::launch::async, [&] {
        return SQLExecDirect(st, Sql("select pg_sleep(60), '" + marker + "'"), SQL_NTS);
    });
    ASSERT_TRUE(ServerRuns(marker)) << "the statement never reached the server";
    EXPECT_EQ(SQLCancel(st), SQL_SUCCESS);
    SQLRETURN rc = running.get();
    std::string message;
    EXPECT_EQ(rc, SQL_ERROR);
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, st, &message), "57014") << message;

    // The statement is usable again at once.
    SQLFreeStmt(st, SQL_CLOSE);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql("select 42"), SQL_NTS))) << FirstState(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
    SQLINTEGER v = 0;
    SQLLEN ind = 0;
    EXPECT_EQ(SQLGetData(st, 1, SQL_C_SLONG, &v, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(v, 42);
}

// unixODBC answers the driver's 01S05 with plain success (the library loaded
// directly shows it: direct_load).
TEST_P(Cancel, IdleStatementIsClosed)
{
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql("select 1 union all select 2"), SQL_NTS)));
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
    EXPECT_TRUE(SQL_SUCCEEDED(SQLCancel(st)));
    EXPECT_EQ(SQLFetch(st), SQL_ERROR) << "the cursor was closed";
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, Cancel, ::testing::Values("krs_w", "krs_a"));

} // namespace

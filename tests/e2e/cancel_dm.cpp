// SQLCancel through unixODBC with both libraries: a statement running on one
// thread is cancelled from another and ends with the server's cancel error;
// without a running call the statement is closed.
#include "tests/e2e/connect_common.h"

#include <future>

using namespace conntest;

namespace {

PgEnv g_pg;

class CancelEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(g_pg));
        ASSERT_TRUE(SetUpPrivateIni(g_pg, "e2e_cancel_", ""));
    }
    void TearDown() override { RemovePrivateFiles(); }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new CancelEnv);


class Cancel : public ::testing::TestWithParam<Library> {
protected:
    Handles h;
    SQLHSTMT st = nullptr;

    void SetUp() override
    {
        ASSERT_EQ(h.Connect(App()), SQL_SUCCESS) << h.State();
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &st), SQL_SUCCESS) << h.State();
    }
    void TearDown() override
    {
        if (st)
            SQLFreeHandle(SQL_HANDLE_STMT, st);
    }
    std::string App() const { return std::string("e2e_cancel_") + GetParam().tag; }
    // Whether the server runs this connection's pg_sleep (bounded wait).
    bool ServerSleeps()
    {
        for (int i = 0; i < 400; ++i) {
            if (PgPsql(g_pg, "select count(*) from pg_stat_activity where state = 'active' and "
                             "application_name = '" + App() + "' and query like 'select pg_sleep%'") == "1")
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
};

// The sleep is far longer than the test needs: a cancel that does nothing
// shows as a statement that succeeds.
TEST_P(Cancel, RunningStatementEndsWithTheServersCancelError)
{
    auto running = std::async(std::launch::async, [&] { return SQLExecDirect(st, Sql("select pg_sleep(60)"), SQL_NTS); });
    ASSERT_TRUE(ServerSleeps()) << "the statement never reached the server";
    EXPECT_EQ(SQLCancel(st), SQL_SUCCESS);
    SQLRETURN rc = running.get();
    std::string message;
    EXPECT_EQ(rc, SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, st, &message), "57014") << message;

    // The statement is usable again at once.
    SQLFreeStmt(st, SQL_CLOSE);
    ASSERT_TRUE(Ok(SQLExecDirect(st, Sql("select 42"), SQL_NTS))) << Diag(SQL_HANDLE_STMT, st);
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
    ASSERT_TRUE(Ok(SQLExecDirect(st, Sql("select 1 union all select 2"), SQL_NTS))) << Diag(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
    EXPECT_TRUE(Ok(SQLCancel(st)));
    EXPECT_EQ(SQLFetch(st), SQL_ERROR) << "the cursor was closed";
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, Cancel, ::testing::ValuesIn(kLibraries));

} // namespace

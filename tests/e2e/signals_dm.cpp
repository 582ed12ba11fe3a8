// An application that handles SIGSEGV and SIGBUS itself the way test
// frameworks do (Catch2 installs its own handlers around each test case and
// then puts back the ones it saved) while it uses the driver through
// unixODBC.  The Java VM in the driver takes SIGSEGV for its own checks, so
// the process survives only while the VM's handlers stay installed.  Each run
// is a child process of its own: the signal handlers and the VM are the
// process's.
#include "tests/common/child_run.h"
#include "tests/e2e/connect_common.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>
#include <string>

using namespace conntest;

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS};
constexpr int kRows = 100000;


// The application's own fault handler: it reports and ends the process, as a
// test framework's does.
void ApplicationHandler(int sig)
{
    const char text[] = "the application's fault handler ran\n";
    (void)!write(2, text, sizeof text - 1);
    _exit(100 + sig);
}

// Rows of a 100 000-row result fetched one by one; -1 when a call fails.
long FetchRows(SQLHDBC dbc)
{
    SQLHSTMT st = nullptr;
    if (SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st) != SQL_SUCCESS)
        return -1;
    long rows = 0;
    long long sum = 0;
    if (!Ok(SQLExecDirect(st, Sql("select g, 'row ' || g from generate_series(1, 100000) g"), SQL_NTS))) {
        ADD_FAILURE() << Diag(SQL_HANDLE_STMT, st);
        rows = -1;
    }
    while (rows >= 0 && SQLFetch(st) == SQL_SUCCESS) {
        SQLINTEGER v = 0;
        char text[32];
        SQLLEN ind = 0;
        SQLGetData(st, 1, SQL_C_SLONG, &v, 0, &ind);
        SQLGetData(st, 2, SQL_C_CHAR, text, sizeof text, &ind);
        sum += v;
        ++rows;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    EXPECT_EQ(sum, static_cast<long long>(kRows) * (kRows + 1) / 2);
    return rows;
}

// The child's run: handlers saved before the VM exists, a connection (the VM
// starts), a "test case" that runs under the application's own handlers, the
// saved handlers put back, and another "test case" under them.
TEST(SignalsChild, SavedHandlersPutBackAfterTheVmStarted)
{
    const char *dsn = getenv("KRS_SIGNALS_DSN");
    if (!dsn)
        GTEST_SKIP() << "runs in a child of its own";
    struct sigaction saved[2];
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(sigaction(kSignals[i], nullptr, &saved[i]), 0);

    Handles h;
    ASSERT_TRUE(Ok(h.DriverConnect(std::string("DSN=") + dsn))) << h.State();

    struct sigaction own = {};
    own.sa_handler = ApplicationHandler;
    sigemptyset(&own.sa_mask);
    for (int sig : kSignals)
        ASSERT_EQ(sigaction(sig, &own, nullptr), 0);
    EXPECT_EQ(FetchRows(h.dbc), kRows) << "under the application's handlers";

    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(sigaction(kSignals[i], &saved[i], nullptr), 0);
    EXPECT_EQ(FetchRows(h.dbc), kRows) << "under the handlers saved before the VM started";
    if (getenv("KRS_SIGNALS_JSIG")) {
        // libjsig.so keeps the application's handlers behind the VM's and
        // shows them to the application: the driver leaves them alone.
        for (int i = 0; i < 2; ++i) {
            struct sigaction now;
            ASSERT_EQ(sigaction(kSignals[i], nullptr, &now), 0);
            EXPECT_EQ(reinterpret_cast<void *>(now.sa_handler), reinterpret_cast<void *>(saved[i].sa_handler));
        }
    }
    EXPECT_EQ(SQLDisconnect(h.dbc), SQL_SUCCESS);
}

struct Run {
    const char *dsn;
    bool jsig;  // with the VM's libjsig.so preloaded
};

std::ostream &operator<<(std::ostream &os, const Run &r) { return os << r.dsn << (r.jsig ? "+libjsig" : ""); }

class Signals : public ::testing::TestWithParam<Run> {};

TEST_P(Signals, ApplicationThatPutsItsHandlersBackSurvives)
{
    if (getenv("KRS_SIGNALS_DSN"))
        GTEST_SKIP() << "this is the child";
    const std::string self = SelfPath();
    ASSERT_FALSE(self.empty());
    if (GetParam().jsig && access(KRS_LIBJSIG, R_OK) != 0)
        GTEST_SKIP() << "no " KRS_LIBJSIG;
    std::string cmd = std::string("KRS_SIGNALS_DSN=") + GetParam().dsn;
    if (GetParam().jsig)
        cmd += " KRS_SIGNALS_JSIG=1 LD_PRELOAD=" KRS_LIBJSIG;
    cmd += std::string(" exec '") + self + "' --gtest_filter=SignalsChild.* 2>&1";
    std::string out;
    int status = RunCaptured(cmd, &out);
    ASSERT_NE(status, -1);
    ASSERT_TRUE(WIFEXITED(status)) << "the child was killed by signal "
                                   << (WIFSIGNALED(status) ? WTERMSIG(status) : 0) << "\n" << out;
    EXPECT_EQ(WEXITSTATUS(status), 0) << out;
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, Signals,
                         ::testing::Values(Run{"krs_w", false}, Run{"krs_a", false}, Run{"krs_w", true},
                                           Run{"krs_a", true}),
                         [](const ::testing::TestParamInfo<Run> &i) {
                             return std::string(i.param.dsn) + (i.param.jsig ? "_libjsig" : "");
                         });

} // namespace

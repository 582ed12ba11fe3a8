// Passwords never reach the API trace or the log lines written into it: a
// child process, whose library is loaded with KRS_DEBUGFILE set, connects
// with a password that holds ';' and '=' through SQLConnect, SQLDriverConnect
// and a failed login; a missing initial SQL file shows there as a log line.
// A catalog call writes no stray debugging lines.
#include "tests/e2e/connect_common.h"

#include <sys/wait.h>

using namespace conntest;

namespace {

PgEnv g_pg;

class TraceEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(g_pg));
        std::string extra;
        for (const Library &l : kLibraries)
            extra += std::string("\n[trace_pw_") + l.tag + "]\nDriver = " + l.driver + "\nURLString = " +
                     Props(g_pg, std::string("krs_trace_") + l.tag) + "\nLastUser = " + g_pg.pwUser + "\n";
        ASSERT_TRUE(SetUpPrivateIni(g_pg, "trace_", extra));
    }
    void TearDown() override { RemovePrivateFiles(); }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new TraceEnv);

// Connects in a child process whose library traces every call into a file;
// 0 when every connect answered as expected.
int TracedChild(const Library &lib, const std::string &traceFile)
{
    pid_t pid = fork();
    if (pid == 0) {
        setenv("KRS_DEBUGFILE", traceFile.c_str(), 1);
        int failed = 0;
        {
            Handles h;
            std::string dsn = std::string("trace_pw_") + lib.tag;
            failed |= h.Connect(dsn, nullptr, g_pg.password.c_str()) != SQL_SUCCESS;
            SQLDisconnect(h.dbc);
            std::string out;
            failed |= h.DriverConnect("DSN=" + dsn + ";PWD={" + g_pg.password + "}", &out) != SQL_SUCCESS;
            failed |= out.find(g_pg.password) == std::string::npos;  // the application gets it back
            SQLDisconnect(h.dbc);
            failed |= h.Connect(dsn, nullptr, "wrong;Secret=2") != SQL_ERROR;
            // A missing initial SQL file is logged and the connect goes on.
            failed |= h.DriverConnect("DSN=" + dsn + ";PWD={" + g_pg.password + "};INITSQL=" + TestDir() +
                                      "/no_such_init") != SQL_SUCCESS;
            SQLHSTMT st = nullptr;
            failed |= SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &st) != SQL_SUCCESS;
            failed |= SQLColumns(st, nullptr, 0, (SQLCHAR *)"pg_catalog", SQL_NTS, (SQLCHAR *)"pg_class", SQL_NTS,
                                 nullptr, 0) != SQL_SUCCESS;
            failed |= SQLFetch(st) != SQL_SUCCESS;
            SQLFreeHandle(SQL_HANDLE_STMT, st);
            SQLDisconnect(h.dbc);
        }
        _exit(failed ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

class Trace : public ::testing::TestWithParam<Library> {};

TEST_P(Trace, PasswordsNeverReachTheTrace)
{
    std::string file = TestDir() + "/trace_" + GetParam().tag + ".log";
    ASSERT_EQ(TracedChild(GetParam(), file), 0);
    std::string text = ReadFile(file);
    ASSERT_NE(text.find("ConnStr In =DSN=trace_pw_"), std::string::npos) << text;
    EXPECT_NE(text.find(";PWD=***"), std::string::npos) << text;
    EXPECT_NE(text.find("cmd ("), std::string::npos) << text;
    EXPECT_EQ(text.find("Secret"), std::string::npos) << text;
    EXPECT_NE(text.find("unable to read from initial SQL file " + TestDir() + "/no_such_init.sql ("),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Here!!!!"), std::string::npos) << "a stray debugging line";
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, Trace, ::testing::ValuesIn(kLibraries),
                         [](const auto &info) { return std::string(info.param.tag); });

} // namespace

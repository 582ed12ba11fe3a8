// Both libraries loaded by unixODBC from the fixture's odbcinst.ini: the
// Driver Manager allocates the driver's environment and connection, sets the
// ODBC version, connects, disconnects and frees them again.  KRS_DEBUGFILE
// traces all of it.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/common/pg_env.h"

namespace {

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// One application session through libodbc: 0 when every step answered as
// expected, else the number of the step that did not.
int Session(const char *dsn)
{
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env) != SQL_SUCCESS)
        return 1;
    if (SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0) != SQL_SUCCESS)
        return 2;
    SQLINTEGER version = 0;
    if (SQLGetEnvAttr(env, SQL_ATTR_ODBC_VERSION, &version, 0, nullptr) != SQL_SUCCESS || version != 3)
        return 3;
    if (SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc) != SQL_SUCCESS)
        return 4;
    std::string in = std::string("DSN=") + dsn + ";";
    SQLCHAR out[512];
    SQLSMALLINT outLen = 0;
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR *>(&in[0]), SQL_NTS, out,
                                    sizeof out, &outLen, SQL_DRIVER_NOPROMPT);
    if (rc != SQL_SUCCESS)
        return 5;
    if (std::strncmp(reinterpret_cast<char *>(out), in.c_str(), in.size()) != 0)
        return 6;
    SQLHSTMT stmt = nullptr;
    if (SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt) != SQL_SUCCESS || !stmt)
        return 11;
    if (SQLFreeHandle(SQL_HANDLE_STMT, stmt) != SQL_SUCCESS)
        return 12;
    if (SQLDisconnect(dbc) != SQL_SUCCESS)
        return 7;
    if (SQLDisconnect(dbc) != SQL_ERROR)
        return 8;
    if (SQLFreeHandle(SQL_HANDLE_DBC, dbc) != SQL_SUCCESS)
        return 9;
    if (SQLFreeHandle(SQL_HANDLE_ENV, env) != SQL_SUCCESS)
        return 10;
    return 0;
}

// Runs a session in a child process (so that the library's unload writes the
// trace footer) with KRS_DEBUGFILE set; stderr of the child goes to errFile.
int RunChild(const char *dsn, const std::string &debugFile, const std::string &errFile,
             pid_t *child = nullptr)
{
    pid_t pid = fork();
    if (child)
        *child = pid;
    if (pid == 0) {
        setenv("KRS_DEBUGFILE", debugFile.c_str(), 1);
        if (!errFile.empty() && !freopen(errFile.c_str(), "w", stderr))
            _exit(99);
        std::exit(Session(dsn));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

struct Library {
    const char *dsn;
    const char *connectName;  // the connect function the Driver Manager picks
};

class DriverManager : public ::testing::TestWithParam<Library> {};

TEST_P(DriverManager, LoadsTheDriverAndTracesEveryCall)
{
    PgEnv pg;
    ASSERT_TRUE(PgEnvLoad(pg));
    const Library lib = GetParam();
    std::string base = pg.state + "/trace-" + lib.dsn;
    std::string pattern = base + "-$P-$T.log";
    pid_t child = 0;
    ASSERT_EQ(RunChild(lib.dsn, pattern, "", &child), 0);

    // One file was made from the pattern: "<base>-<child's pid>-<yyyymmdd-hhmmss>.log".
    std::string found;
    std::string cmd = "ls " + base + "-*.log 2>/dev/null";
    if (FILE *p = popen(cmd.c_str(), "r")) {
        char line[1024];
        while (fgets(line, sizeof line, p))
            found = std::string(line).substr(0, std::strlen(line) - 1);
        pclose(p);
    }
    ASSERT_FALSE(found.empty()) << "no trace file for " << pattern;
    const std::string stem = base + "-" + std::to_string(child) + "-";
    ASSERT_EQ(found.compare(0, stem.size(), stem), 0) << found << " does not hold the pid " << child;
    const std::string stamp = found.substr(stem.size());
    ASSERT_EQ(stamp.size(), std::strlen("yyyymmdd-hhmmss.log")) << found;
    for (size_t i = 0; i < 15; ++i)
        EXPECT_TRUE(i == 8 ? stamp[i] == '-' : std::isdigit(static_cast<unsigned char>(stamp[i]))) << found;
    EXPECT_EQ(stamp.substr(15), ".log") << found;
    std::string text = ReadFile(found);
    std::remove(found.c_str());
    const std::string expected[] = {
        "** Kestrune ODBC Trace file for ",
        "** started on ",
        "SQLAllocHandle\nhandleType=1",
        "SQLSetEnvAttr hEnv=",
        "Attribute=200 ValuePtr=3",
        "SQLAllocHandle hEnv=",
        std::string(lib.connectName) + " hDbc=",
        std::string(lib.connectName) + ": returning SQL_SUCCESS",
        "SQLFreeHandle hStmt=",
        "SQLDisconnect hDbc=",
        "SQLDisconnect: returning SQL_SUCCESS",
        "SQLFreeHandle hDbc=",
        "SQLFreeHandle: returning SQL_SUCCESS",
        "** finished on ",
        "** normal end **",
    };
    for (const std::string &e : expected)
        EXPECT_NE(text.find(e), std::string::npos) << "missing \"" << e << "\" in\n" << text;
}

TEST_P(DriverManager, TracesToTheStandardErrorStream)
{
    PgEnv pg;
    ASSERT_TRUE(PgEnvLoad(pg));
    const Library lib = GetParam();
    std::string errFile = pg.state + "/stderr-" + lib.dsn + ".txt";
    ASSERT_EQ(RunChild(lib.dsn, "stderr", errFile), 0);
    std::string text = ReadFile(errFile);
    std::remove(errFile.c_str());
    EXPECT_NE(text.find("** Kestrune ODBC Trace file for "), std::string::npos) << text;
    EXPECT_NE(text.find(std::string(lib.connectName) + ": returning SQL_SUCCESS"), std::string::npos) << text;
    EXPECT_NE(text.find("** normal end **"), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, DriverManager,
                         ::testing::Values(Library{"krs_w", "SQLDriverConnectW"},
                                           Library{"krs_a", "SQLDriverConnect"}),
                         [](const ::testing::TestParamInfo<Library> &i) { return std::string(i.param.dsn); });

} // namespace

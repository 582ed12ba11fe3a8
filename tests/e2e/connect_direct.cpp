// Each library loaded directly (no Driver Manager, which would read File
// DSNs itself): FILEDSN reaches the driver, which reads the file's "ODBC"
// section through the installer library (the wide functions in the Unicode
// build), and SQLDriverConnectW counts its output in characters.  Each
// library runs in a child process of its own.
#include "tests/e2e/connect_common.h"

#include <dlfcn.h>
#include <sys/wait.h>

using namespace conntest;

namespace {

PgEnv g_pg;

struct Direct {
    const char *file;
    bool wide;
};

typedef SQLRETURN (*AllocHandleFn)(SQLSMALLINT, SQLHANDLE, SQLHANDLE *);
typedef SQLRETURN (*SetEnvAttrFn)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER);
typedef SQLRETURN (*DisconnectFn)(SQLHDBC);
typedef SQLRETURN (*DriverConnectFn)(SQLHDBC, SQLHWND, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT,
                                     SQLSMALLINT *, SQLUSMALLINT);
typedef SQLRETURN (*DriverConnectWFn)(SQLHDBC, SQLHWND, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT,
                                      SQLSMALLINT *, SQLUSMALLINT);

std::u16string Wide(const std::string &s) { return std::u16string(s.begin(), s.end()); }
std::string Narrow(const SQLWCHAR *w)
{
    std::string s;
    for (; *w; ++w)
        s += static_cast<char>(*w);
    return s;
}

// The child's work: 0 when all went as expected, else the failing step.
int RunDirect(const Direct &d, const std::string &dsnFile, const std::string &app)
{
    void *lib = dlopen((g_pg.libdir + "/" + d.file).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib)
        return 1;
    auto alloc = reinterpret_cast<AllocHandleFn>(dlsym(lib, "SQLAllocHandle"));
    auto setEnv = reinterpret_cast<SetEnvAttrFn>(dlsym(lib, "SQLSetEnvAttr"));
    auto disconnect = reinterpret_cast<DisconnectFn>(dlsym(lib, "SQLDisconnect"));
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    if (!alloc || !setEnv || !disconnect || alloc(SQL_HANDLE_ENV, nullptr, &env) != SQL_SUCCESS ||
        setEnv(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0) != SQL_SUCCESS ||
        alloc(SQL_HANDLE_DBC, env, &dbc) != SQL_SUCCESS)
        return 2;
    std::string in = "FILEDSN=" + dsnFile;
    std::string whole;
    if (d.wide) {
        auto connect = reinterpret_cast<DriverConnectWFn>(dlsym(lib, "SQLDriverConnectW"));
        std::u16string win = Wide(in);
        SQLWCHAR out[8] = {};
        SQLSMALLINT len = 0;
        if (!connect || connect(dbc, nullptr, (SQLWCHAR *)win.c_str(), SQL_NTS, out, 8, &len,
                                SQL_DRIVER_NOPROMPT) != SQL_SUCCESS_WITH_INFO)
            return 3;
        whole = "DSN=;UID=" + g_pg.trustUser + ";PWD=;FBS=60";
        if (len != static_cast<SQLSMALLINT>(whole.size()) || Narrow(out) != whole.substr(0, 7))
            return 4;
    } else {
        auto connect = reinterpret_cast<DriverConnectFn>(dlsym(lib, "SQLDriverConnect"));
        SQLCHAR out[256] = {};
        SQLSMALLINT len = 0;
        if (!connect || connect(dbc, nullptr, (SQLCHAR *)in.c_str(), SQL_NTS, out, sizeof out, &len,
                                SQL_DRIVER_NOPROMPT) != SQL_SUCCESS)
            return 3;
        // A File DSN gives the connection no data source name.
        if (std::string(reinterpret_cast<char *>(out)) != "DSN=;UID=" + g_pg.trustUser + ";PWD=;FBS=60")
            return 4;
    }
    if (PgSessions(g_pg, app, 1) != 1)
        return 5;
    if (disconnect(dbc) != SQL_SUCCESS)
        return 6;
    if (PgSessions(g_pg, app, 0) != 0)
        return 7;
    return 0;
}

class DirectFileDsn : public ::testing::TestWithParam<Direct> {};

TEST_P(DirectFileDsn, DriverReadsTheFileDsn)
{
    ASSERT_TRUE(PgEnvLoad(g_pg));
    ASSERT_TRUE(SetUpPrivateIni(g_pg, "direct_", ""));
    std::string app = std::string("krs_direct_") + (GetParam().wide ? "w" : "a");
    std::string file = TestDir() + "/direct.dsn";
    // Braces keep the property list whole; FBS=0 reads as 60.
    WriteFile(file, "[ODBC]\nURL={" + Props(g_pg, app) + "}\nUID=" + g_pg.trustUser + "\nFBS=0\n");
    pid_t pid = fork();
    if (pid == 0)
        _exit(RunDirect(GetParam(), file, app));
    int status = 0;
    waitpid(pid, &status, 0);
    RemovePrivateFiles();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, DirectFileDsn,
                         ::testing::Values(Direct{"libquorvexw.so", true}, Direct{"libquorvexa.so", false}),
                         [](const auto &info) { return std::string(info.param.wide ? "w" : "a"); });

} // namespace

// Each library loaded directly (no Driver Manager, which would read File
// DSNs itself): FILEDSN reaches the driver, which reads the file's "ODBC"
// section through the installer library (the wide functions in the Unicode
// build), and SQLDriverConnectW counts its output in characters; a prompt
// without a window, which unixODBC refuses itself, reaches the driver.  Each
// library runs in a child process of its own.
#include "tests/e2e/connect_common.h"

#include <dlfcn.h>
#include <sys/wait.h>

#include <cstdio>

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
typedef SQLRETURN (*GetDiagRecFn)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR *, SQLINTEGER *, SQLCHAR *,
                                  SQLSMALLINT, SQLSMALLINT *);
typedef SQLRETURN (*GetDiagRecWFn)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR *, SQLINTEGER *, SQLWCHAR *,
                                   SQLSMALLINT, SQLSMALLINT *);

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

// Runs work() in a child process (each library gets a process of its own)
// and gives its exit code; 100 when it did not exit.
template <class Fn>
int InChild(Fn work)
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(work());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

// One library's own SQLDriverConnect(W) on a fresh connection, and that
// connection's first diagnostic as "SQLSTATE message".
struct DirectConnect {
    void *lib = nullptr;
    SQLHDBC dbc = nullptr;
    bool wide = false;
    bool Open(const Direct &d)
    {
        wide = d.wide;
        lib = dlopen((g_pg.libdir + "/" + d.file).c_str(), RTLD_NOW | RTLD_LOCAL);
        auto alloc = lib ? reinterpret_cast<AllocHandleFn>(dlsym(lib, "SQLAllocHandle")) : nullptr;
        auto setEnv = lib ? reinterpret_cast<SetEnvAttrFn>(dlsym(lib, "SQLSetEnvAttr")) : nullptr;
        SQLHENV env = nullptr;
        return alloc && setEnv && alloc(SQL_HANDLE_ENV, nullptr, &env) == SQL_SUCCESS &&
               setEnv(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0) == SQL_SUCCESS &&
               alloc(SQL_HANDLE_DBC, env, &dbc) == SQL_SUCCESS;
    }
    SQLRETURN Connect(const std::string &in, SQLUSMALLINT completion, SQLHWND window)
    {
        if (wide) {
            std::u16string win = Wide(in);
            auto connect = reinterpret_cast<DriverConnectWFn>(dlsym(lib, "SQLDriverConnectW"));
            return connect(dbc, window, (SQLWCHAR *)win.c_str(), SQL_NTS, nullptr, 0, nullptr, completion);
        }
        auto connect = reinterpret_cast<DriverConnectFn>(dlsym(lib, "SQLDriverConnect"));
        return connect(dbc, window, (SQLCHAR *)in.c_str(), SQL_NTS, nullptr, 0, nullptr, completion);
    }
    std::string Diag()
    {
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        if (wide) {
            SQLWCHAR state[6] = {}, msg[512] = {};
            auto get = reinterpret_cast<GetDiagRecWFn>(dlsym(lib, "SQLGetDiagRecW"));
            if (!SQL_SUCCEEDED(get(SQL_HANDLE_DBC, dbc, 1, state, &native, msg, 512, &len)))
                return "";
            return Narrow(state) + " " + Narrow(msg);
        }
        SQLCHAR state[6] = {}, msg[512] = {};
        auto get = reinterpret_cast<GetDiagRecFn>(dlsym(lib, "SQLGetDiagRec"));
        if (!SQL_SUCCEEDED(get(SQL_HANDLE_DBC, dbc, 1, state, &native, msg, sizeof msg, &len)))
            return "";
        return std::string(reinterpret_cast<char *>(state)) + " " + reinterpret_cast<char *>(msg);
    }
};

// A prompt without a window (unixODBC refuses that call itself): 0 when all
// went as expected, else the failing step.
int RunPromptWithoutWindow(const Direct &d, const std::string &dsn)
{
    DirectConnect c;
    if (!c.Open(d))
        return 1;
    if (c.Connect("DSN=" + dsn, SQL_DRIVER_PROMPT, nullptr) != SQL_ERROR)
        return 2;
    std::string diag = c.Diag();
    if (diag.rfind("IM008 ", 0) != 0 || diag.find("Dialog failed") == std::string::npos) {
        fprintf(stderr, "diagnostic: %s\n", diag.c_str());
        return 3;
    }
    // With a window the shipped dialog library is asked; it never confirms.
    int window = 0;
    if (c.Connect("DSN=" + dsn, SQL_DRIVER_PROMPT, reinterpret_cast<SQLHWND>(&window)) != SQL_NO_DATA)
        return 4;
    // Without the login box nothing is asked and the connect goes on.
    if (c.Connect("DSN=" + dsn + ";NLB=Yes", SQL_DRIVER_PROMPT, nullptr) != SQL_SUCCESS)
        return 5;
    auto disconnect = reinterpret_cast<DisconnectFn>(dlsym(c.lib, "SQLDisconnect"));
    return disconnect(c.dbc) == SQL_SUCCESS ? 0 : 6;
}

class DirectPrompt : public ::testing::TestWithParam<Direct> {};

TEST_P(DirectPrompt, PromptWithoutAWindowFailsWithDialogFailed)
{
    ASSERT_TRUE(PgEnvLoad(g_pg));
    ASSERT_TRUE(SetUpPrivateIni(g_pg, "direct_", ""));
    std::string dsn = std::string("direct_") + (GetParam().wide ? "w" : "a");
    int step = InChild([&] { return RunPromptWithoutWindow(GetParam(), dsn); });
    RemovePrivateFiles();
    EXPECT_EQ(step, 0);
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
    int step = InChild([&] { return RunDirect(GetParam(), file, app); });
    RemovePrivateFiles();
    EXPECT_EQ(step, 0);
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, DirectPrompt,
                         ::testing::Values(Direct{"libquorvexw.so", true}, Direct{"libquorvexa.so", false}),
                         [](const auto &info) { return std::string(info.param.wide ? "w" : "a"); });
INSTANTIATE_TEST_SUITE_P(BothLibraries, DirectFileDsn,
                         ::testing::Values(Direct{"libquorvexw.so", true}, Direct{"libquorvexa.so", false}),
                         [](const auto &info) { return std::string(info.param.wide ? "w" : "a"); });

} // namespace

// Shared by the connect tests: a private odbc.ini with data sources of both
// libraries (read by unixODBC next to the fixture's), server sessions
// counted by application name, and diagnostics read back through libodbc.
#pragma once
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <chrono>

#include "tests/common/pg_env.h"

namespace conntest {

struct Library {
    const char *tag;     // "w" or "a"
    const char *driver;  // driver name in the fixture's odbcinst.ini
};

inline std::ostream &operator<<(std::ostream &os, const Library &l) { return os << l.tag; }

const Library kLibraries[] = {{"w", "Kestrune ODBC Unicode"}, {"a", "Kestrune ODBC ANSI"}};

// The directory of this program's private files (odbc.ini, SQL files, File DSNs).
inline std::string &TestDir()
{
    static std::string dir;
    return dir;
}

// serverName=...;portNumber=...;databaseName=...;applicationName=<app>
inline std::string Props(const PgEnv &pg, const std::string &app)
{
    return "serverName=127.0.0.1;portNumber=" + std::to_string(pg.port) + ";databaseName=" + pg.db +
           ";applicationName=" + app;
}

inline void WriteFile(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::trunc);
    out << text;
}

inline std::string ReadFile(const std::string &path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes odbc.ini into a fresh directory and points unixODBC at it (the
// fixture's system odbc.ini stays visible).  Extra sections are appended.
inline bool SetUpPrivateIni(const PgEnv &pg, const std::string &prefix, const std::string &extra)
{
    char tmpl[] = "/tmp/krs-e2e-XXXXXX";
    if (!mkdtemp(tmpl))
        return false;
    TestDir() = tmpl;
    std::string ini = "[ODBC Data Sources]\n";
    for (const Library &l : kLibraries)
        ini += prefix + l.tag + " = " + l.driver + "\n";
    for (const Library &l : kLibraries) {
        ini += "\n[" + prefix + l.tag + "]\nDriver = " + l.driver + "\nURLString = " +
               Props(pg, prefix + l.tag) + "\nUID = " + pg.trustUser + "\n";
    }
    ini += extra;
    WriteFile(TestDir() + "/odbc.ini", ini);
    setenv("ODBCINI", (TestDir() + "/odbc.ini").c_str(), 1);
    return true;
}

inline void RemovePrivateFiles()
{
    if (!TestDir().empty())
        std::system(("rm -rf " + TestDir()).c_str());
}

// SQLSTATE and message of record `rec` ("" when there is none).
inline std::string Diag(SQLSMALLINT type, SQLHANDLE h, std::string *message = nullptr, SQLSMALLINT rec = 1)
{
    SQLCHAR state[6] = {};
    SQLCHAR msg[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetDiagRec(type, h, rec, state, &native, msg, sizeof msg, &len);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
        return "";
    if (message)
        *message = reinterpret_cast<char *>(msg);
    return reinterpret_cast<char *>(state);
}

// A statement text as the narrow entry points take it.
inline SQLCHAR *Sql(const std::string &s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s.c_str())); }

// Every diagnostic record of a handle as "STATE:message" lines.
inline std::string Diags(SQLSMALLINT type, SQLHANDLE h)
{
    std::string all;
    for (SQLSMALLINT rec = 1;; ++rec) {
        std::string message;
        std::string state = Diag(type, h, &message, rec);
        if (state.empty())
            break;
        all += state + ":" + message + "\n";
    }
    return all;
}

// A connection to the data source named by the test's parameter (through
// libodbc, no window) and one statement on it; whatever the connection left
// open is rolled back before it disconnects.
class DsnStatement : public ::testing::TestWithParam<const char *> {
protected:
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT st = nullptr;

    void SetUp() override
    {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
        std::string in = std::string("DSN=") + GetParam();
        SQLRETURN rc = SQLDriverConnect(dbc, nullptr, Sql(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diags(SQL_HANDLE_DBC, dbc);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), SQL_SUCCESS);
    }
    void TearDown() override
    {
        if (st)
            SQLFreeHandle(SQL_HANDLE_STMT, st);
        if (dbc) {
            SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
            SQLDisconnect(dbc);
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        }
        if (env)
            SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
};

// A window handle for the connects that may show the login dialog: the
// driver and unixODBC only look at whether it is null.
inline SQLHWND SomeWindow()
{
    static int window;
    return reinterpret_cast<SQLHWND>(&window);
}

// An ODBC 3 environment and one connection handle.
struct Handles {
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    Handles()
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    }
    ~Handles()
    {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    Handles(const Handles &) = delete;
    Handles &operator=(const Handles &) = delete;

    SQLRETURN Connect(const std::string &dsn, const char *uid = nullptr, const char *pwd = nullptr)
    {
        return SQLConnect(dbc, (SQLCHAR *)dsn.c_str(), SQL_NTS, (SQLCHAR *)uid, SQL_NTS, (SQLCHAR *)pwd,
                          SQL_NTS);
    }
    // A null window means no dialog can be shown (and unixODBC refuses
    // SQL_DRIVER_PROMPT without one); SomeWindow() stands for a real one.
    SQLRETURN DriverConnect(const std::string &in, std::string *out = nullptr,
                            SQLUSMALLINT completion = SQL_DRIVER_NOPROMPT, SQLHWND window = nullptr)
    {
        SQLCHAR buf[4096] = {};
        SQLSMALLINT len = 0;
        SQLRETURN rc = SQLDriverConnect(dbc, window, (SQLCHAR *)in.c_str(), SQL_NTS, buf, sizeof buf, &len,
                                        completion);
        if (out)
            *out = reinterpret_cast<char *>(buf);
        return rc;
    }
    std::string State(std::string *message = nullptr) { return Diag(SQL_HANDLE_DBC, dbc, message); }
};

inline bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

} // namespace conntest

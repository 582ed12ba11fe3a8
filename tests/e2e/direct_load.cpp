// Each library loaded directly (without the Driver Manager) for what unixODBC
// answers itself: invalid, stale and foreign handles, unknown handle types
// and attributes, transactions on handles that do not resolve.  Also checks
// that each library exports exactly the names of the entry-point list.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <set>
#include <string>
#include <thread>

#include "tests/common/pg_env.h"

namespace {

struct Library {
    const char *file;
    bool wide;
};

class Direct : public ::testing::TestWithParam<Library> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(pg_));
        path_ = pg_.libdir + "/" + GetParam().file;
        lib_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib_, nullptr) << dlerror();
    }
    void TearDown() override
    {
        if (lib_)
            dlclose(lib_);
    }
    template <class F>
    F Fn(const char *name)
    {
        void *p = dlsym(lib_, name);
        EXPECT_NE(p, nullptr) << name;
        return reinterpret_cast<F>(p);
    }
    // SQLSTATE of record 1, through the library's own narrow or wide reader.
    std::string State(SQLSMALLINT type, SQLHANDLE h)
    {
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        if (GetParam().wide) {
            auto f = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR *, SQLINTEGER *,
                                      SQLWCHAR *, SQLSMALLINT, SQLSMALLINT *)>("SQLGetDiagRecW");
            SQLWCHAR state[6] = {};
            SQLWCHAR msg[256] = {};
            if (f(type, h, 1, state, &native, msg, 256, &len) != SQL_SUCCESS)
                return "";
            std::string s;
            for (int i = 0; i < 5; ++i)
                s += static_cast<char>(state[i]);
            return s;
        }
        auto f = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR *, SQLINTEGER *,
                                  SQLCHAR *, SQLSMALLINT, SQLSMALLINT *)>("SQLGetDiagRec");
        SQLCHAR state[6] = {};
        SQLCHAR msg[256] = {};
        if (f(type, h, 1, state, &native, msg, sizeof msg, &len) != SQL_SUCCESS)
            return "";
        return reinterpret_cast<char *>(state);
    }
    // SQLDriverConnect to the fixture's data source of this library.
    SQLRETURN Connect(SQLHDBC dbc)
    {
        const std::string in = std::string("DSN=") + (GetParam().wide ? "krs_w" : "krs_a") + ";";
        if (GetParam().wide) {
            std::u16string w(in.begin(), in.end());
            return Fn<SQLRETURN (*)(SQLHDBC, SQLHWND, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT,
                                    SQLSMALLINT *, SQLUSMALLINT)>("SQLDriverConnectW")(
                dbc, nullptr, reinterpret_cast<SQLWCHAR *>(&w[0]), SQL_NTS, nullptr, 0, nullptr,
                SQL_DRIVER_NOPROMPT);
        }
        std::string n = in;
        return Fn<SQLRETURN (*)(SQLHDBC, SQLHWND, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLSMALLINT *,
                                SQLUSMALLINT)>("SQLDriverConnect")(
            dbc, nullptr, reinterpret_cast<SQLCHAR *>(&n[0]), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    }
    // SQLExecDirect through the library's own narrow or wide entry.
    SQLRETURN Exec(SQLHSTMT stmt, std::string sql)
    {
        if (GetParam().wide) {
            std::u16string w(sql.begin(), sql.end());
            return Fn<SQLRETURN (*)(SQLHSTMT, SQLWCHAR *, SQLINTEGER)>("SQLExecDirectW")(
                stmt, reinterpret_cast<SQLWCHAR *>(&w[0]), SQL_NTS);
        }
        return Fn<SQLRETURN (*)(SQLHSTMT, SQLCHAR *, SQLINTEGER)>("SQLExecDirect")(
            stmt, reinterpret_cast<SQLCHAR *>(&sql[0]), SQL_NTS);
    }

    // Whether the server runs a statement whose text holds `marker` (bounded wait).
    bool ServerRuns(const std::string &marker)
    {
        for (int i = 0; i < 400; ++i) {
            if (PgPsql(pg_, "select count(*) from pg_stat_activity where state = 'active' and "
                            "pid <> pg_backend_pid() and query like '%" + marker + "%'") == "1")
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    PgEnv pg_;
    std::string path_;
    void *lib_ = nullptr;
};

TEST_P(Direct, HandlesTheDriverManagerWouldCatch)
{
    auto alloc = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE *)>("SQLAllocHandle");
    auto freeH = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE)>("SQLFreeHandle");
    auto setEnv = Fn<SQLRETURN (*)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER)>("SQLSetEnvAttr");
    auto getEnv = Fn<SQLRETURN (*)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER *)>("SQLGetEnvAttr");
    auto endTran = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT)>("SQLEndTran");
    auto transact = Fn<SQLRETURN (*)(SQLHENV, SQLHDBC, SQLUSMALLINT)>("SQLTransact");
    auto freeStmt = Fn<SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT)>("SQLFreeStmt");
    auto cancel = Fn<SQLRETURN (*)(SQLHSTMT)>("SQLCancel");
    ASSERT_FALSE(HasFailure());

    SQLHENV env = nullptr;
    ASSERT_EQ(alloc(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    SQLHDBC dbc = nullptr;
    ASSERT_EQ(alloc(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);

    // Handles that do not name a live object of the right kind.
    EXPECT_EQ(freeH(SQL_HANDLE_DBC, nullptr), SQL_INVALID_HANDLE);
    EXPECT_EQ(freeH(SQL_HANDLE_DBC, env), SQL_INVALID_HANDLE);
    EXPECT_EQ(freeH(SQL_HANDLE_STMT, reinterpret_cast<SQLHANDLE>(0x00030007)), SQL_INVALID_HANDLE);
    EXPECT_EQ(freeH(42, dbc), SQL_INVALID_HANDLE);
    EXPECT_EQ(alloc(42, env, &dbc), SQL_INVALID_HANDLE);
    EXPECT_EQ(freeStmt(dbc, SQL_CLOSE), SQL_INVALID_HANDLE);
    EXPECT_EQ(cancel(dbc), SQL_INVALID_HANDLE);

    // Unknown attributes are errors with HY092, known ones read back.
    EXPECT_EQ(setEnv(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(3), 0), SQL_SUCCESS);
    SQLINTEGER v = 0;
    EXPECT_EQ(getEnv(env, SQL_ATTR_ODBC_VERSION, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 3);
    EXPECT_EQ(setEnv(env, 4711, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_ENV, env), "HY092");
    EXPECT_EQ(getEnv(env, 4711, &v, 0, nullptr), SQL_ERROR);

    // A statement needs an open connection.
    SQLHSTMT stmt = nullptr;
    EXPECT_EQ(alloc(SQL_HANDLE_STMT, dbc, &stmt), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, dbc), "08003");

    // Transactions on a named connection that does not resolve touch nothing;
    // other handle types are refused.
    EXPECT_EQ(transact(env, reinterpret_cast<SQLHDBC>(0x0002FFF0), SQL_COMMIT), SQL_INVALID_HANDLE);
    EXPECT_EQ(endTran(SQL_HANDLE_DBC, reinterpret_cast<SQLHANDLE>(0x0002FFF0), SQL_COMMIT), SQL_INVALID_HANDLE);
    EXPECT_EQ(endTran(SQL_HANDLE_STMT, dbc, SQL_COMMIT), SQL_INVALID_HANDLE);
    // The connection is not open: a commit on it, or on the environment, fails with 08003.
    EXPECT_EQ(endTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, dbc), "08003");
    EXPECT_EQ(endTran(SQL_HANDLE_ENV, env, SQL_ROLLBACK), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_ENV, env), "08003");

    // Freed handles stay invalid.
    EXPECT_EQ(freeH(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
    EXPECT_EQ(freeH(SQL_HANDLE_DBC, dbc), SQL_INVALID_HANDLE);
    EXPECT_EQ(freeH(SQL_HANDLE_ENV, env), SQL_SUCCESS);
    EXPECT_EQ(setEnv(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(3), 0), SQL_INVALID_HANDLE);
}

// A connection inside a call on another thread (its statement waits for an
// advisory lock another connection holds): the Driver Manager would serialise
// these calls; the library answers them itself.
TEST_P(Direct, BusyConnectionRefusesCallsAndKeepsReadersWorking)
{
    auto alloc = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE *)>("SQLAllocHandle");
    auto freeH = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE)>("SQLFreeHandle");
    auto setEnv = Fn<SQLRETURN (*)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER)>("SQLSetEnvAttr");
    auto endTran = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT)>("SQLEndTran");
    auto freeStmt = Fn<SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT)>("SQLFreeStmt");
    auto disconnect = Fn<SQLRETURN (*)(SQLHDBC)>("SQLDisconnect");
    ASSERT_FALSE(HasFailure());
    auto connect = [&](SQLHDBC dbc) { return Connect(dbc); };
    auto exec = [&](SQLHSTMT stmt, const std::string &sql) { return Exec(stmt, sql); };

    SQLHENV env = nullptr;
    SQLHDBC holder = nullptr, waiter = nullptr;
    SQLHSTMT hs = nullptr, ws = nullptr;
    ASSERT_EQ(alloc(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    ASSERT_EQ(setEnv(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
    ASSERT_EQ(alloc(SQL_HANDLE_DBC, env, &holder), SQL_SUCCESS);
    ASSERT_EQ(alloc(SQL_HANDLE_DBC, env, &waiter), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(connect(holder))) << State(SQL_HANDLE_DBC, holder);
    ASSERT_TRUE(SQL_SUCCEEDED(connect(waiter))) << State(SQL_HANDLE_DBC, waiter);
    ASSERT_EQ(alloc(SQL_HANDLE_STMT, holder, &hs), SQL_SUCCESS);
    ASSERT_EQ(alloc(SQL_HANDLE_STMT, waiter, &ws), SQL_SUCCESS);
    const std::string key = GetParam().wide ? "47110" : "47111";
    ASSERT_TRUE(SQL_SUCCEEDED(exec(hs, "select pg_advisory_lock(" + key + ")"))) << State(SQL_HANDLE_STMT, hs);
    ASSERT_EQ(freeStmt(hs, SQL_CLOSE), SQL_SUCCESS);

    // The probes below hold the waiter's connection for an instant each: a
    // statement that starts during one is refused with HY010 and starts again.
    auto waiting = std::async(std::launch::async, [&] {
        for (;;) {
            SQLRETURN rc = exec(ws, "select pg_advisory_lock(" + key + ")");
            if (rc != SQL_ERROR || State(SQL_HANDLE_STMT, ws) != "HY010")
                return rc;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    // The waiter is inside its call once a new statement is refused on its
    // connection with a sequence error (bounded wait; it stays there until
    // the holder lets go; two minutes leave room for a loaded machine).
    bool busy = false;
    for (int i = 0; i < 2400 && !busy; ++i) {
        if (waiting.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
            break;  // the waiter came back without waiting: say how below
        SQLHSTMT probe = nullptr;
        SQLRETURN rc = alloc(SQL_HANDLE_STMT, waiter, &probe);
        if (rc == SQL_SUCCESS) {
            freeH(SQL_HANDLE_STMT, probe);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        } else {
            busy = rc == SQL_ERROR && State(SQL_HANDLE_DBC, waiter) == "HY010";
            if (!busy)
                break;
        }
    }
    if (!busy) {  // let the waiter finish before failing
        exec(hs, "select pg_advisory_unlock(" + key + ")");
        const SQLRETURN back = waiting.get();
        FAIL() << "the waiting statement never held its connection; it returned " << back << " "
               << State(SQL_HANDLE_STMT, ws) << " / holder " << State(SQL_HANDLE_STMT, hs);
    }
    EXPECT_EQ(freeStmt(ws, SQL_CLOSE), SQL_STILL_EXECUTING);
    EXPECT_EQ(State(SQL_HANDLE_STMT, ws), "") << "the running statement's reader is told to wait";
    EXPECT_EQ(disconnect(waiter), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, waiter), "HY010");
    EXPECT_EQ(endTran(SQL_HANDLE_ENV, env, SQL_COMMIT), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_ENV, env), "HY010");
    EXPECT_EQ(freeH(SQL_HANDLE_ENV, env), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_ENV, env), "HY010");
    // The other connection is not held up.
    EXPECT_TRUE(SQL_SUCCEEDED(exec(hs, "select pg_advisory_unlock(" + key + ")"))) << State(SQL_HANDLE_STMT, hs);
    EXPECT_TRUE(SQL_SUCCEEDED(waiting.get())) << State(SQL_HANDLE_STMT, ws);

    // Idle again: everything closes and frees.
    EXPECT_EQ(freeStmt(ws, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(freeStmt(hs, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(disconnect(waiter), SQL_SUCCESS);
    EXPECT_EQ(disconnect(holder), SQL_SUCCESS);
    EXPECT_EQ(freeH(SQL_HANDLE_DBC, waiter), SQL_SUCCESS);
    EXPECT_EQ(freeH(SQL_HANDLE_DBC, holder), SQL_SUCCESS);
    EXPECT_EQ(freeH(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

// One thread keeps calling into Java through a connection (SQL_ATTR_CONNECTION_DEAD
// asks the server each time) while another reads the row count of a statement
// of the same connection.  The read answers the statement's count and the
// busy thread's calls keep their own JNIEnv: the VM runs with -Xcheck:jni,
// which ends the process when a JNIEnv is used on another thread.
TEST_P(Direct, DiagnosticReadsBesideABusyConnectionLeaveItsCallsAlone)
{
    const bool wide = GetParam().wide;
    auto alloc = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE *)>("SQLAllocHandle");
    auto freeH = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE)>("SQLFreeHandle");
    auto setEnv = Fn<SQLRETURN (*)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER)>("SQLSetEnvAttr");
    auto disconnect = Fn<SQLRETURN (*)(SQLHDBC)>("SQLDisconnect");
    auto getAttr = Fn<SQLRETURN (*)(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER *)>(
        wide ? "SQLGetConnectAttrW" : "SQLGetConnectAttr");
    auto diagField = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLSMALLINT, SQLPOINTER, SQLSMALLINT,
                                      SQLSMALLINT *)>(wide ? "SQLGetDiagFieldW" : "SQLGetDiagField");
    ASSERT_FALSE(HasFailure());

    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT counted = nullptr;
    ASSERT_EQ(alloc(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    ASSERT_EQ(setEnv(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
    ASSERT_EQ(alloc(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(Connect(dbc))) << State(SQL_HANDLE_DBC, dbc);
    ASSERT_EQ(alloc(SQL_HANDLE_STMT, dbc, &counted), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(Exec(counted, "create temp table krs_diag_rows (a int)")));
    ASSERT_TRUE(SQL_SUCCEEDED(Exec(counted, "insert into krs_diag_rows values (1), (2), (3)")))
        << State(SQL_HANDLE_STMT, counted);

    constexpr int kCalls = 3000;
    std::atomic<bool> done{false};
    auto busy = std::async(std::launch::async, [&] {
        int answered = 0, wrong = 0;
        while (answered < kCalls && wrong == 0) {
            SQLUINTEGER dead = 99;
            SQLRETURN rc = getAttr(dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
            if (rc == SQL_ERROR && State(SQL_HANDLE_DBC, dbc) == "HY010")
                continue;  // the reader's own call held the connection
            if (rc == SQL_SUCCESS && dead == SQL_CD_FALSE)
                ++answered;
            else
                ++wrong;
        }
        done = true;
        return wrong;
    });
    int reads = 0, wrongReads = 0;
    while (!done) {
        SQLLEN rows = -7;
        SQLRETURN rc = diagField(SQL_HANDLE_STMT, counted, 0, SQL_DIAG_ROW_COUNT, &rows, 0, nullptr);
        ++reads;
        if (rc != SQL_SUCCESS || rows != 3)
            ++wrongReads;
    }
    EXPECT_EQ(busy.get(), 0) << "a call of the busy thread failed";
    EXPECT_EQ(wrongReads, 0) << "of " << reads << " reads";

    EXPECT_EQ(freeH(SQL_HANDLE_STMT, counted), SQL_SUCCESS);
    EXPECT_EQ(disconnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(freeH(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
    EXPECT_EQ(freeH(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

// SQLCancel as the library answers it (unixODBC turns 01S05 into plain
// success): on an idle statement of a connection that is inside a call on
// another thread it closes the statement with 01S05 at once, and on the
// running statement it ends the call with the server's cancel error.
TEST_P(Direct, CancelClosesAnIdleStatementAndEndsARunningOne)
{
    auto alloc = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE *)>("SQLAllocHandle");
    auto freeH = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE)>("SQLFreeHandle");
    auto setEnv = Fn<SQLRETURN (*)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER)>("SQLSetEnvAttr");
    auto disconnect = Fn<SQLRETURN (*)(SQLHDBC)>("SQLDisconnect");
    auto fetch = Fn<SQLRETURN (*)(SQLHSTMT)>("SQLFetch");
    auto cancel = Fn<SQLRETURN (*)(SQLHSTMT)>("SQLCancel");
    ASSERT_FALSE(HasFailure());

    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT idle = nullptr, sleeper = nullptr;
    ASSERT_EQ(alloc(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    ASSERT_EQ(setEnv(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
    ASSERT_EQ(alloc(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(Connect(dbc))) << State(SQL_HANDLE_DBC, dbc);
    ASSERT_EQ(alloc(SQL_HANDLE_STMT, dbc, &idle), SQL_SUCCESS);
    ASSERT_EQ(alloc(SQL_HANDLE_STMT, dbc, &sleeper), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(Exec(idle, "select 1 union all select 2"))) << State(SQL_HANDLE_STMT, idle);
    ASSERT_EQ(fetch(idle), SQL_SUCCESS);

    const std::string marker = std::string("krs_cancel_direct_") + (GetParam().wide ? "w" : "a");
    auto running = std::async(std::launch::async, [&] { return Exec(sleeper, "select pg_sleep(60), '" + marker + "'"); });
    ASSERT_TRUE(ServerRuns(marker)) << "the statement never reached the server";
    EXPECT_EQ(cancel(idle), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(State(SQL_HANDLE_STMT, idle), "01S05");
    EXPECT_EQ(cancel(sleeper), SQL_SUCCESS);
    EXPECT_EQ(running.get(), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, sleeper), "57014");
    EXPECT_EQ(fetch(idle), SQL_ERROR) << "the idle statement's cursor was closed";
    EXPECT_EQ(State(SQL_HANDLE_STMT, idle), "HY010");

    EXPECT_EQ(freeH(SQL_HANDLE_STMT, idle), SQL_SUCCESS);
    EXPECT_EQ(freeH(SQL_HANDLE_STMT, sleeper), SQL_SUCCESS);
    EXPECT_EQ(disconnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(freeH(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
    EXPECT_EQ(freeH(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

TEST_P(Direct, SetupExportsNameTheDriver)
{
    auto db = Fn<int (*)(char *, int)>("GetSetupDatabase");
    ASSERT_NE(db, nullptr);
    char buf[128];
    EXPECT_EQ(db(buf, sizeof buf), 1);
    std::string name = buf;
    EXPECT_EQ(name.find("Kestrune PostgreSQL Driver (Brennic Edition)"), 0u);
    EXPECT_EQ(name.size() > 9 && name.substr(name.size() - 9) == "(Unicode)", GetParam().wide) << name;
}

// Every name the list says a library exports, and nothing else.
std::set<std::string> ExpectedExports(bool wide)
{
    std::set<std::string> names;
#define KRS_NAME(name, text) names.insert(std::string("SQL") + name + ((text) && wide ? "W" : ""));
#define KRS_FN(Name, ApiId, Kind, Clear, Async, Text, Impl, Format, Params, Args, WParams, WArgs) \
    KRS_NAME(#Name, Text)
#define KRS_DESC(Var, Name, Kind, Clear, Async, Text, Impl, Format)
#define KRS_OWN(Name, ApiId, Text) KRS_NAME(#Name, Text)
#define KRS_RAW(Symbol) names.insert(#Symbol);
#include "odbc/api_list.inc"
    return names;
}

TEST_P(Direct, ExportsExactlyTheListedNames)
{
    std::string cmd = "nm -D --defined-only " + path_;
    std::set<std::string> exported;
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[512];
    while (fgets(line, sizeof line, p)) {
        char addr[64], type[8], name[256];
        if (std::sscanf(line, "%63s %7s %255s", addr, type, name) != 3)
            continue;
        if (type[0] == 'A')  // the version node
            continue;
        std::string n = name;
        exported.insert(n.substr(0, n.find('@')));
    }
    pclose(p);
    std::set<std::string> expected = ExpectedExports(GetParam().wide);
    EXPECT_EQ(exported, expected);
    EXPECT_EQ(expected.size(), 80u);
}

// Linked so that the library's calls to its own functions stay inside it and
// so that it (and the Java VM in it) is never unloaded.
TEST_P(Direct, BindsSymbolicallyAndStaysLoadedAfterClose)
{
    std::string cmd = "readelf -d " + path_;
    std::string dynamic;
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[512];
    while (fgets(line, sizeof line, p))
        dynamic += line;
    pclose(p);
    EXPECT_NE(dynamic.find("(SYMBOLIC)"), std::string::npos) << dynamic;
    EXPECT_NE(dynamic.find("NODELETE"), std::string::npos) << dynamic;

    ASSERT_EQ(dlclose(lib_), 0);
    lib_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    EXPECT_NE(lib_, nullptr) << "unloaded by dlclose";
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, Direct,
                         ::testing::Values(Library{"libquorvexw.so", true},
                                           Library{"libquorvexa.so", false}),
                         [](const ::testing::TestParamInfo<Library> &i) {
                             return std::string(i.param.wide ? "quorvexw" : "quorvexa");
                         });

} // namespace

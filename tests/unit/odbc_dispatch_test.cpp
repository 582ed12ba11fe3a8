// The call dispatcher: handle checks, busy connections, diagnostics kept for
// their readers, the failover notice, the trace formats and the descriptors.
#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <set>
#include <string>
#include <thread>

#include "odbc/api/api_desc.h"
#include "odbc/dispatch.h"
#include "odbc/handles.h"
#include "odbc/startup.h"
#include "odbc/wide_args.h"
#include "tests/unit/odbc_test_support.h"

namespace {

TEST(Dispatch, HandlesThatDoNotResolveAreInvalid)
{
    FakeSession s;
    SQLHSTMT stmt = s.NewStmt();
    ASSERT_NE(stmt, nullptr);
    SQLHDBC freed = nullptr;
    SQLAllocHandle(SQL_HANDLE_DBC, s.env, &freed);
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, freed), SQL_SUCCESS);

    struct Case {
        const char *what;
        SQLSMALLINT type;
        SQLHANDLE handle;
    } cases[] = {
        {"null connection", SQL_HANDLE_DBC, nullptr},
        {"never issued", SQL_HANDLE_DBC, reinterpret_cast<SQLHANDLE>(0x0002FFF0)},
        {"environment as connection", SQL_HANDLE_DBC, s.env},
        {"statement as connection", SQL_HANDLE_DBC, stmt},
        {"connection as statement", SQL_HANDLE_STMT, s.dbc},
        {"freed connection", SQL_HANDLE_DBC, freed},
        {"connection as environment", SQL_HANDLE_ENV, s.dbc},
        {"unknown handle type", 7, s.dbc},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SQLFreeHandle(c.type, c.handle), SQL_INVALID_HANDLE) << c.what;
    // The live handles are untouched.
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
}

TEST(Dispatch, HighBitsOfAHandleAreIgnored)
{
    FakeSession s;
    auto wide = reinterpret_cast<SQLHANDLE>(reinterpret_cast<uintptr_t>(s.dbc) | (uintptr_t{0xABCD} << 32));
    SQLHSTMT stmt = nullptr;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, wide, &stmt), SQL_SUCCESS);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(stmt) >> 32, 0u) << "handles are zero-extended";
}

// Holds a commit inside the back end until released.
struct HeldCall {
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released{release.get_future().share()};
    int Hold()
    {
        entered.set_value();
        released.wait();
        return 0;
    }
};

TEST(Dispatch, BusyConnectionRefusesOtherCallsAndKeepsDiagnostics)
{
    FakeSession s;
    SQLHSTMT stmt = s.NewStmt();
    ASSERT_NE(stmt, nullptr);
    // A diagnostic waiting to be read on the statement.
    ASSERT_EQ(SQLFreeStmt(stmt, 99), SQL_ERROR);
    ASSERT_EQ(DiagState(SQL_HANDLE_STMT, stmt), "HY092");

    HeldCall held;
    s.fake.onCommit = [&](int) { return held.Hold(); };
    auto running = std::async(std::launch::async, [&] { return SQLEndTran(SQL_HANDLE_DBC, s.dbc, SQL_COMMIT); });
    held.entered.get_future().wait();

    // Readers on another handle of the busy connection see the diagnostics
    // as they were, as often as they ask.
    EXPECT_EQ(DiagState(SQL_HANDLE_STMT, stmt), "HY092");
    EXPECT_EQ(DiagState(SQL_HANDLE_STMT, stmt), "HY092");
    // The connection itself is inside the call: its reader is told so and
    // nothing is stored.
    SQLCHAR state[6];
    SQLCHAR msg[64];
    SQLINTEGER native;
    SQLSMALLINT len;
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_DBC, s.dbc, 1, state, &native, msg, sizeof msg, &len),
              SQL_STILL_EXECUTING);

    // Any other call on the connection's handles is a sequence error.
    SQLHSTMT other = nullptr;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, s.dbc, &other), SQL_ERROR);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_STMT, stmt), "HY010");
    // The environment will not free or commit a connection inside a call.
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, s.env), SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_ENV, s.env), "HY010");
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, s.env, SQL_COMMIT), SQL_ERROR);
    EXPECT_EQ(s.fake.Count(FS_COMMIT), 1);

    held.release.set_value();
    EXPECT_EQ(running.get(), SQL_SUCCESS);
    // Idle again: the statement works and the environment frees everything.
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
}

// Every diagnostic reader, on a statement of a connection that is inside a
// call on another thread: it reads the statement's record and never replaces
// it by a sequence error; on the busy connection itself it answers
// SQL_STILL_EXECUTING and writes nothing.
TEST(Dispatch, EveryDiagnosticReaderWorksBesideABusyConnection)
{
    struct Reader {
        const char *name;
        bool consumes;  // SQLError hands each record out once
        SQLRETURN (*onStmt)(SQLHSTMT, std::string *);
        SQLRETURN (*onDbc)(SQLHDBC, std::string *);
    };
    static const Reader readers[] = {
        {"SQLGetDiagRec", false,
         [](SQLHSTMT h, std::string *st) {
             SQLCHAR state[6] = {};
             SQLINTEGER native = 0;
             SQLCHAR msg[128];
             SQLSMALLINT len = 0;
             SQLRETURN rc = SQLGetDiagRec(SQL_HANDLE_STMT, h, 1, state, &native, msg, sizeof msg, &len);
             *st = reinterpret_cast<char *>(state);
             return rc;
         },
         [](SQLHDBC h, std::string *st) {
             SQLCHAR state[6] = {};
             SQLINTEGER native = 0;
             SQLCHAR msg[128];
             SQLRETURN rc = SQLGetDiagRec(SQL_HANDLE_DBC, h, 1, state, &native, msg, sizeof msg, nullptr);
             *st = reinterpret_cast<char *>(state);
             return rc;
         }},
        {"SQLGetDiagField", false,
         [](SQLHSTMT h, std::string *st) {
             SQLCHAR state[6] = {};
             SQLSMALLINT len = 0;
             SQLRETURN rc = SQLGetDiagField(SQL_HANDLE_STMT, h, 1, SQL_DIAG_SQLSTATE, state, sizeof state, &len);
             *st = reinterpret_cast<char *>(state);
             return rc;
         },
         [](SQLHDBC h, std::string *st) {
             SQLCHAR state[6] = {};
             SQLSMALLINT len = 0;
             SQLRETURN rc = SQLGetDiagField(SQL_HANDLE_DBC, h, 1, SQL_DIAG_SQLSTATE, state, sizeof state, &len);
             *st = reinterpret_cast<char *>(state);
             return rc;
         }},
        {"SQLError", true,
         [](SQLHSTMT h, std::string *st) {
             SQLCHAR state[6] = {};
             SQLINTEGER native = 0;
             SQLCHAR msg[128];
             SQLSMALLINT len = 0;
             SQLRETURN rc = SQLError(nullptr, nullptr, h, state, &native, msg, sizeof msg, &len);
             *st = reinterpret_cast<char *>(state);
             return rc;
         },
         [](SQLHDBC h, std::string *st) {
             SQLCHAR state[6] = {};
             SQLINTEGER native = 0;
             SQLCHAR msg[128];
             SQLSMALLINT len = 0;
             SQLRETURN rc = SQLError(nullptr, h, nullptr, state, &native, msg, sizeof msg, &len);
             *st = reinterpret_cast<char *>(state);
             return rc;
         }},
    };
    for (const Reader &r : readers) {
        FakeSession s;
        SQLHSTMT stmt = s.NewStmt();
        ASSERT_NE(stmt, nullptr) << r.name;
        ASSERT_EQ(SQLFreeStmt(stmt, 99), SQL_ERROR) << r.name;

        HeldCall held;
        s.fake.onCommit = [&](int) { return held.Hold(); };
        auto running = std::async(std::launch::async, [&] { return SQLEndTran(SQL_HANDLE_DBC, s.dbc, SQL_COMMIT); });
        held.entered.get_future().wait();

        std::string state;
        EXPECT_EQ(r.onStmt(stmt, &state), SQL_SUCCESS) << r.name;
        EXPECT_EQ(state, "HY092") << r.name;
        SQLRETURN again = r.onStmt(stmt, &state);
        if (r.consumes) {
            EXPECT_EQ(again, SQL_NO_DATA) << r.name;
        } else {
            EXPECT_EQ(again, SQL_SUCCESS) << r.name;
            EXPECT_EQ(state, "HY092") << r.name;
        }
        state = "unset";
        EXPECT_EQ(r.onDbc(s.dbc, &state), SQL_STILL_EXECUTING) << r.name;
        EXPECT_EQ(state, "") << r.name << ": nothing written while the call runs";

        held.release.set_value();
        EXPECT_EQ(running.get(), SQL_SUCCESS) << r.name;
        // Nothing the readers did is left behind on the connection.
        EXPECT_EQ(r.onDbc(s.dbc, &state), SQL_NO_DATA) << r.name;
    }
}

TEST(Dispatch, SameStatementStillExecutingLeavesItsDiagnostics)
{
    FakeSession s;
    SQLHSTMT stmt = s.NewStmt();
    ASSERT_NE(stmt, nullptr);
    // A statement with a result open, closed by a call that is held.
    static_cast<Stmt *>(HT_Lookup(&StmtTable, HT_HandleIn(stmt)))->state = STMT_EXECUTED;
    HeldCall held;
    s.fake.onCloseCursor = [&](int) { return held.Hold(); };
    auto running = std::async(std::launch::async, [&] { return SQLFreeStmt(stmt, SQL_CLOSE); });
    held.entered.get_future().wait();

    EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_STILL_EXECUTING);
    EXPECT_EQ(SQLFreeStmt(stmt, 99), SQL_STILL_EXECUTING);
    SQLCHAR state[6];
    SQLINTEGER native;
    SQLCHAR msg[64];
    SQLSMALLINT len;
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, sizeof msg, &len),
              SQL_STILL_EXECUTING);
    held.release.set_value();
    EXPECT_EQ(running.get(), SQL_SUCCESS);
    EXPECT_EQ(DiagState(SQL_HANDLE_STMT, stmt), "") << "nothing was stored by the refused calls";
}

// A connection-level implementation for the failover tests: stores the error
// number and queued text it is given and answers the given result.
SQLRETURN TestFailoverImpl(Conn *conn, int rc, int err, const char *text)
{
    conn->diag.errNum = err;
    if (text)
        ERR_Push(&conn->diag, text, 0);
    return static_cast<SQLRETURN>(rc);
}
const ApiDescriptor kTestFailover = {"TestFailover", "rc=%d err=%d", 0, 1, HK_DBC,
                                     &ApiRun<HK_DBC, TestFailoverImpl>,
                                     ApiArity<HK_DBC, TestFailoverImpl>()};

std::vector<int> g_events;
int RecordEvent(int event, void *, void *)
{
    g_events.push_back(event);
    return 0;
}

TEST(Dispatch, FailoverNoticeChangesOnlyFailedCalls)
{
    struct Case {
        SQLRETURN rc;
        int err;
        const char *text;
        SQLRETURN expected;
        int event;  // 0: none
    } cases[] = {
        {SQL_ERROR, 183, nullptr, SQL_SUCCESS_WITH_INFO, 16},
        {SQL_ERROR, 184, nullptr, SQL_ERROR, 17},
        {SQL_ERROR, 15, "[x]Failover completed.[SQLSTATE:IM500]", SQL_ERROR, 16},
        {SQL_ERROR, 15, "[x]Failover aborted.", SQL_ERROR, 17},
        {SQL_ERROR, 15, "plain failure", SQL_ERROR, 0},
        // A call that did not fail keeps its result, whatever the notice says.
        {SQL_SUCCESS_WITH_INFO, 184, nullptr, SQL_SUCCESS_WITH_INFO, 17},
        {SQL_SUCCESS_WITH_INFO, 0, "Failover aborted.", SQL_SUCCESS_WITH_INFO, 17},
        {SQL_NO_DATA, 184, nullptr, SQL_NO_DATA, 17},
        {SQL_SUCCESS, 184, nullptr, SQL_SUCCESS, 0},
    };
    FakeSession s;
    Conn *conn = static_cast<Conn *>(HT_Lookup(&ConnTable, HT_HandleIn(s.dbc)));
    conn->failoverCallback = RecordEvent;
    for (const Case &c : cases) {
        g_events.clear();
        SQLRETURN rc = CallODBC(&kTestFailover, s.dbc, static_cast<int>(c.rc), c.err, c.text);
        EXPECT_EQ(rc, c.expected) << c.rc << " " << c.err;
        if (c.event)
            EXPECT_EQ(g_events, std::vector<int>{c.event}) << c.rc << " " << c.err;
        else
            EXPECT_TRUE(g_events.empty()) << c.rc << " " << c.err;
    }
    conn->failoverCallback = nullptr;
}

TEST(Dispatch, FindFailoverMsgSearchesInQueueOrder)
{
    ErrQueue q{};
    ERR_Push(&q, "first", 0);
    EXPECT_EQ(FindFailoverMsg(q.head), 0);
    ERR_Push(&q, "then Failover aborted. here", 0);
    ERR_Push(&q, "Failover completed.", 0);
    EXPECT_EQ(FindFailoverMsg(q.head), 184);
    ERR_Clear(&q);
}

// A wide call whose text could not be converted still goes through the
// dispatcher: its handle is checked and answers HY001, the statement is left alone.
TEST(Dispatch, AWideTextThatCannotBeConvertedIsHY001OnTheHandle)
{
    FakeSession s;
    SQLHSTMT stmt = s.NewStmt();
    ASSERT_NE(stmt, nullptr);
    const SQLWCHAR text[] = {'x', 0};
    auto failing = [&](SQLHANDLE handle) {
        WideArgs krsWide;
        for (int i = 0; i < 9; ++i)  // more texts than one call holds: the last is refused
            krsWide.In(text, SQL_NTS);
        return krsWide.Call(&kApi_ExecDirectW, handle, KRS_WIN(text, SQL_NTS));
    };
    EXPECT_EQ(failing(stmt), SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_STMT, stmt), "HY001");
    EXPECT_EQ(failing(reinterpret_cast<SQLHSTMT>(0x0002FFF0)), SQL_INVALID_HANDLE);
    WideArgs krsWide;
    krsWide.Call(&kApi_SetCursorNameW, stmt, KRS_WIN(text, SQL_NTS));
    EXPECT_NE(DiagState(SQL_HANDLE_STMT, stmt), "HY001") << "a converted text runs the implementation";
}

TEST(Dispatch, ArgumentCountMismatchIsAnInternalError)
{
    FakeSession s;
    EXPECT_EQ(CallODBC(&kTestFailover, s.dbc, 0), SQL_ERROR);
    std::string message;
    EXPECT_EQ(DiagState(SQL_HANDLE_DBC, s.dbc, &message), "HY000") << "the failure has a record";
    EXPECT_NE(message.find("Internal error"), std::string::npos) << message;
    // The next call that clears diagnostics forgets it.
    SQLUINTEGER autocommit = 0;
    ASSERT_EQ(SQLGetConnectAttr(s.dbc, SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(DiagState(SQL_HANDLE_DBC, s.dbc), "");
}

TEST(Dispatch, TraceFormatsPrintEachArgumentByItsConversion)
{
    struct Case {
        const char *format;
        std::vector<uint64_t> values;
        const char *expected;
    } cases[] = {
        {"fType=%u", {1}, "fType=1"},
        {"fOption=%u vParam=%lu", {0xFFFFFFFFFFFFFFFFull, 7}, "fOption=4294967295 vParam=7"},
        {"Attribute=%ld ValuePtr=%lX StringLength=%ld",
         {static_cast<uint64_t>(-1), 0xDEADBEEF, static_cast<uint64_t>(int64_t{-3})},
         "Attribute=-1 ValuePtr=DEADBEEF StringLength=-3"},
        {"phdbc=%08lX", {0x20001}, "phdbc=00020001"},
        {"icol=%u fCType=%d", {3, static_cast<uint64_t>(int64_t{-8})}, "icol=3 fCType=-8"},
        {"RecNumber=%d\nName=%lX", {1, 0x10}, "RecNumber=1\nName=10"},
        {"handleType=1", {}, "handleType=1"},
        {"a=%d b=%d", {5}, "a=5 b=0"},
        {"100%% x=%x", {255}, "100% x=ff"},
    };
    for (const Case &c : cases) {
        char out[251];
        API_FormatArgs(c.format, c.values.data(), static_cast<int>(c.values.size()), out, sizeof out);
        EXPECT_STREQ(out, c.expected) << c.format;
    }
}

TEST(Dispatch, TraceArgumentLineIsCutAt250Characters)
{
    std::string longFormat(400, 'x');
    char out[251];
    API_FormatArgs(longFormat.c_str(), nullptr, 0, out, sizeof out);
    EXPECT_EQ(std::strlen(out), 250u);
}

TEST(Descriptors, OneHundredTwentySevenWithWideTwinsSharingAllButTheName)
{
    ASSERT_EQ(kApiDescriptorCount, 127u);
    std::set<std::pair<std::string, int>> seen;
    int twins = 0;
    for (size_t i = 0; i < kApiDescriptorCount; ++i) {
        const ApiDescriptor *d = kApiDescriptors[i];
        ASSERT_NE(d->impl, nullptr) << d->name;
        EXPECT_GE(d->kind, HK_NONE);
        EXPECT_LE(d->kind, HK_DESC);
        std::string name = d->name;
        // AllocHandle and FreeHandle carry their handle type in the format.
        EXPECT_TRUE(seen.insert({name + d->format, d->kind}).second) << name;
        if (name.size() > 1 && name.back() == 'W' && name != "EndTranW") {
            const ApiDescriptor *n = kApiDescriptors[i - 1];
            if (std::string(n->name) + "W" == name) {
                ++twins;
                EXPECT_STREQ(n->format, d->format);
                EXPECT_EQ(n->kind, d->kind);
                EXPECT_EQ(n->impl, d->impl);
                EXPECT_EQ(n->clear, d->clear);
            }
        }
    }
    EXPECT_EQ(twins, 42);
}

TEST(Descriptors, OnlyDiagnosticReadersAndEnvironmentAllocationKeepDiagnostics)
{
    for (size_t i = 0; i < kApiDescriptorCount; ++i) {
        const ApiDescriptor *d = kApiDescriptors[i];
        std::string n = d->name;
        bool reader = n.rfind("Error", 0) == 0 || n.rfind("GetDiag", 0) == 0 ||
                      (n == "AllocHandle" && d->kind == HK_NONE);
        EXPECT_EQ(d->clear, reader ? 0 : 1) << n << " kind " << d->kind;
    }
}

TEST(GetFunctions, AnswersFromTheListOfExports)
{
    EXPECT_TRUE(API_FunctionExists(SQL_API_SQLFETCHSCROLL));
    EXPECT_TRUE(API_FunctionExists(SQL_API_SQLCANCEL));
    EXPECT_FALSE(API_FunctionExists(SQL_API_SQLBROWSECONNECT));
    EXPECT_FALSE(API_FunctionExists(SQL_API_SQLBINDPARAM));
    EXPECT_FALSE(API_FunctionExists(4000));

    SQLUSMALLINT all[100];
    API_GetFunctions(SQL_API_ALL_FUNCTIONS, all);
    EXPECT_EQ(all[SQL_API_SQLBULKOPERATIONS], SQL_TRUE);
    EXPECT_EQ(all[SQL_API_SQLDATASOURCES], SQL_FALSE);

    SQLUSMALLINT bits[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE];
    API_GetFunctions(SQL_API_ODBC3_ALL_FUNCTIONS, bits);
    EXPECT_TRUE(SQL_FUNC_EXISTS(bits, SQL_API_SQLFETCHSCROLL));
    EXPECT_TRUE(SQL_FUNC_EXISTS(bits, SQL_API_SQLALLOCHANDLE));
    EXPECT_FALSE(SQL_FUNC_EXISTS(bits, SQL_API_SQLSETSCROLLOPTIONS));
    int count = 0;
    for (int id = 0; id < SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * 16; ++id)
        count += SQL_FUNC_EXISTS(bits, id) ? 1 : 0;
    EXPECT_EQ(count, 71) << "72 exports, ColAttribute and ColAttributes share one id";
    EXPECT_TRUE(API_FunctionExists(SQL_API_SQLSETPOS));
    EXPECT_TRUE(API_FunctionExists(SQL_API_SQLEXTENDEDFETCH));
}

TEST(Dispatch, FunctionsNotBuiltYetAnswerDriverNotCapable)
{
    // Every exported function is built: a descriptor of one that is not
    // runs the dispatcher's answer for such functions.
    static const ApiDescriptor kNotBuilt = {"NotBuilt", "", 1, 1, HK_STMT, API_Unsupported, -1};
    FakeSession s;
    SQLHSTMT stmt = s.NewStmt();
    EXPECT_EQ(CallODBC(&kNotBuilt, stmt), SQL_ERROR);
    std::string message;
    EXPECT_EQ(DiagState(SQL_HANDLE_STMT, stmt, &message), "IM001");
    EXPECT_EQ(message, "[Kestrune][ODBC][Driver]Driver does not support this function");
}

} // namespace

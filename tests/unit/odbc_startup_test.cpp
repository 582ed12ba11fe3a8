// Library start-up and shut-down: the setup exports, freeing what is left at
// unload, calls still running during shut-down, the process-exit path and
// the API trace file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <sstream>
#include <string>

#include "odbc/ctype.h"
#include "odbc/contract/cursor_state.h"
#include "odbc/dispatch.h"
#include "odbc/resources.h"
#include "odbc/build/assembly.h"
#include "odbc/startup.h"
#include "util/log.h"
#include "tests/unit/odbc_test_support.h"

namespace {

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(Startup, SetupExportsNameTheUnicodeDriver)
{
    char buf[200];
    EXPECT_EQ(GetSetupDatabase(buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "Kestrune PostgreSQL Driver (Brennic Edition)(Unicode)");
    EXPECT_EQ(GetSetupRegistry(buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "SOFTWARE\\Kestrune Software\\Kestrune PostgreSQL Driver (Brennic Edition)(Unicode)");
    char small[10];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(GetSetupRegistry(small, sizeof small), 1);
    EXPECT_STREQ(small, "SOFTWARE\\");
    EXPECT_EQ(GetSetupDatabase(small, sizeof small), 1);
    EXPECT_STREQ(small, "Kestrune ");
    EXPECT_STREQ(RES_String(IDS_INIT_FAILED), "Unable to initialize the ODBC layer.");
    EXPECT_EQ(RES_String(999), nullptr);
}

TEST(Startup, StringTableCopiesCutAndRefuse)
{
    struct Case {
        int id;
        int size;
        int copied;
        const char *text;  // what the buffer holds afterwards
    } cases[] = {
        {IDS_CAPTION, 64, 13, "Kestrune ODBC"},
        {IDS_CAPTION, 14, 13, "Kestrune ODBC"},
        {IDS_CAPTION, 13, 12, "Kestrune ODB"},
        {IDS_CAPTION, 1, 0, ""},
        {IDS_CAPTION, 0, 0, "untouched"},
        {IDS_CAPTION, -5, 0, "untouched"},
        {IDS_LIBRARY_NAME, 64, 14, "libquorvexw.so"},
        {999, 64, 0, "untouched"},
    };
    for (const Case &c : cases) {
        char buf[64];
        std::strcpy(buf, "untouched");
        EXPECT_EQ(RES_LoadString(c.id, buf, c.size), c.copied) << c.id << "/" << c.size;
        EXPECT_STREQ(buf, c.text) << c.id << "/" << c.size;
    }
    EXPECT_EQ(RES_LoadString(IDS_CAPTION, nullptr, 64), 0);
}

TEST(Startup, UnloadFreesWhatIsLeftAndLaterCallsFail)
{
    FakeBackend fake;
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    ASSERT_TRUE(FakeConnect(dbc, fake));
    SQLHSTMT stmt = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);

    ASSERT_EQ(WEP(0), 1);
    EXPECT_FALSE(Core_IsInitialised());
    EXPECT_EQ(fake.Count(FS_FREESTMT), 1);
    EXPECT_EQ(fake.Count(FS_DISCONNECT), 1);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_ERROR);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_ERROR);
    EXPECT_EQ(SQLCancel(stmt), SQL_ERROR);

    ASSERT_EQ(LibMain(nullptr, 0, 0, nullptr), 1);
    ASSERT_TRUE(Core_IsInitialised());
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_INVALID_HANDLE);
}

TEST(Startup, ProcessExitNeverCallsTheBackEnd)
{
    FakeBackend fake;
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    ASSERT_TRUE(FakeConnect(dbc, fake));
    SQLHSTMT stmt = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    fake.ClearCalls();

    Dll_Detach(SHUTDOWN_EXIT);
    EXPECT_TRUE(fake.Calls().empty()) << "no back-end operation at process exit";
    ASSERT_TRUE(Dll_Attach(nullptr));
}

TEST(Startup, ShutdownLeavesABusyEnvironmentAndTheLocksOfItsCall)
{
    FakeBackend fake;
    SQLHENV idle = nullptr, busyEnv = nullptr;
    SQLHDBC busyDbc = nullptr;
    SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &busyEnv);
    SQLAllocHandle(SQL_HANDLE_DBC, busyEnv, &busyDbc);
    ASSERT_TRUE(FakeConnect(busyDbc, fake));
    SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &idle);  // newest first: freed before the busy one

    std::promise<void> entered, release;
    std::shared_future<void> released = release.get_future().share();
    fake.onCommit = [&](int) {
        entered.set_value();
        released.wait();
        return 0;
    };
    auto running = std::async(std::launch::async,
                              [&] { return SQLEndTran(SQL_HANDLE_DBC, busyDbc, SQL_COMMIT); });
    entered.get_future().wait();

    Core_Shutdown();
    EXPECT_FALSE(Core_IsInitialised());
    EXPECT_EQ(Driver.envs, reinterpret_cast<Envr *>(HT_Lookup(&EnvTable, HT_HandleIn(busyEnv))))
        << "the busy environment stays, with the tables and locks its call uses";
    EXPECT_NE(Core_Locks().api, nullptr);

    // The running call completes on the locks it took.
    release.set_value();
    EXPECT_EQ(running.get(), SQL_SUCCESS);

    // A later shut-down frees what the first one left.
    Core_Shutdown();
    EXPECT_EQ(Driver.envs, nullptr);
    EXPECT_EQ(Core_Locks().api, nullptr);
    ASSERT_EQ(Core_Init(), 0);
}

TEST(Startup, TraceFileHoldsHeaderCallsResultsAndFooter)
{
    char path[] = "/tmp/krs_trace_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    unlink(path);
    std::string pattern = std::string(path) + "-$P.log";
    std::string file = std::string(path) + "-" + std::to_string(getpid()) + ".log";

    Dll_Detach(SHUTDOWN_FULL);
    setenv("KRS_DEBUGFILE", pattern.c_str(), 1);
    ASSERT_TRUE(Dll_Attach(nullptr));
    SQLHENV env = nullptr;
    SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(3), 0);
    SQLFreeHandle(SQL_HANDLE_DBC, reinterpret_cast<SQLHANDLE>(0x0002FFF0));
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    // The driver's log lines of every level go into the open trace file.
    LOG_Printf(LOG_LEVEL_DEBUG, "startup_test", __LINE__, "debug line %d", 7);
    LOG_Printf(LOG_LEVEL_ERROR, "startup_test", __LINE__, "error line %d", 8);
    Dll_Detach(SHUTDOWN_FULL);
    unsetenv("KRS_DEBUGFILE");
    ASSERT_TRUE(Dll_Attach(nullptr));

    std::string text = ReadFile(file);
    unlink(file.c_str());
    EXPECT_NE(text.find("** Kestrune ODBC Trace file for "), std::string::npos) << text;
    EXPECT_NE(text.find("** started on "), std::string::npos);
    EXPECT_NE(text.find("SQLAllocHandle\nhandleType=1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("SQLSetEnvAttr hEnv=1"), std::string::npos) << text;
    EXPECT_NE(text.find("Attribute=200 ValuePtr=3 StringLength=0"), std::string::npos) << text;
    EXPECT_NE(text.find("SQLFreeHandle: returning SQL_INVALID_HANDLE"), std::string::npos) << text;
    EXPECT_NE(text.find("SQLAllocHandle: returning SQL_SUCCESS"), std::string::npos);
    EXPECT_NE(text.find("debug line 7"), std::string::npos) << text;
    EXPECT_NE(text.find("error line 8"), std::string::npos) << text;
    EXPECT_NE(text.find("** finished on "), std::string::npos);
    EXPECT_NE(text.find("** normal end **"), std::string::npos);
}

TEST(Stand_ins, DefaultCTypeByOdbcVersion)
{
    struct Case {
        int16_t sql;
        int16_t v2, v3;
    } cases[] = {
        {4, 4, 4},     {6, 8, 8},      {9, 9, 91},   {11, 11, 93}, {93, 93, 93}, {-9, -8, -8},
        {-5, 1, -25},  {12, 1, 1},     {-1, 1, 1},   {-3, -2, -2}, {-7, -7, -7}, {-6, -6, -6},
        {999, 999, 999},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(DefaultCType(c.sql, 2), c.v2) << c.sql;
        EXPECT_EQ(DefaultCType(c.sql, 3), c.v3) << c.sql;
    }
}

TEST(Stand_ins, CursorPositionAndRowsetCache)
{
    CursorState cs;
    CUR_StateInit(&cs, 0, 0, nullptr, nullptr);
    EXPECT_EQ(cs.rowsetSize, 1);
    EXPECT_EQ(cs.rowCount, -1);
    EXPECT_EQ(CUR_PosSet(&cs, 5), 0) << "row count unknown";
    cs.rowCount = 3;
    EXPECT_EQ(CUR_PosSet(&cs, 4), 39);
    EXPECT_EQ(cs.position, 5);
    EXPECT_EQ(CUR_PosSet(&cs, -7), 39);
    EXPECT_EQ(CUR_PosSet(&cs, -3), 0);
    EXPECT_EQ(cs.absRow, -3);
    CUR_PosReset(&cs);
    EXPECT_EQ(cs.rowCount, -1);
    EXPECT_EQ(cs.position, 0);

    RowsetCache *cache = nullptr;
    EXPECT_EQ(RS_Create(&cache, 0), 15);
    ASSERT_EQ(RS_Create(&cache, 4), 0);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(cache->status[i], 3);
    cs.cache = cache;
    CUR_StateFree(&cs);
    EXPECT_EQ(cs.cache, nullptr);
}

} // namespace

// Environments and the handle entry points: allocation and release of every
// handle kind, environment attributes and transactions at environment level.
#include <gtest/gtest.h>

#include <string>

#include "odbc/handles.h"
#include "odbc/startup.h"
#include "tests/unit/odbc_test_support.h"

namespace {

SQLINTEGER EnvAttr(SQLHENV env, SQLINTEGER attr)
{
    SQLINTEGER v = -1;
    EXPECT_EQ(SQLGetEnvAttr(env, attr, &v, 0, nullptr), SQL_SUCCESS) << attr;
    return v;
}

TEST(Env, AllocHandleMakesOdbc3AndAllocEnvOdbc2)
{
    SQLHENV e3 = nullptr, e2 = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &e3), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocEnv(&e2), SQL_SUCCESS);
    EXPECT_EQ(HT_HandleIn(e3) >> 16, 1u);
    EXPECT_EQ(EnvAttr(e3, SQL_ATTR_ODBC_VERSION), 3);
    EXPECT_EQ(EnvAttr(e2, SQL_ATTR_ODBC_VERSION), 2);
    EXPECT_EQ(SQLFreeEnv(e2), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, e3), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, e3), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, nullptr), SQL_ERROR);
    EXPECT_EQ(SQLAllocHandle(9, nullptr, &e3), SQL_INVALID_HANDLE);
}

TEST(Env, AttributesKeepValuesInRangeAndRefuseUnknownIds)
{
    SQLHENV env = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    struct Case {
        SQLINTEGER attr;
        intptr_t value;
        SQLINTEGER expected;  // read back afterwards
    } cases[] = {
        {SQL_ATTR_ODBC_VERSION, 2, 2},
        {SQL_ATTR_ODBC_VERSION, 5, 2},  // out of range: kept as it was
        {SQL_ATTR_ODBC_VERSION, 3, 3},
        {SQL_ATTR_CONNECTION_POOLING, 2, 2},
        {SQL_ATTR_CONNECTION_POOLING, 3, 2},
        {SQL_ATTR_CP_MATCH, 1, 1},
        {SQL_ATTR_OUTPUT_NTS, 0, 0},
        {SQL_ATTR_OUTPUT_NTS, 1, 1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(SQLSetEnvAttr(env, c.attr, reinterpret_cast<SQLPOINTER>(c.value), 0), SQL_SUCCESS);
        EXPECT_EQ(EnvAttr(env, c.attr), c.expected) << c.attr << "=" << c.value;
    }
    EXPECT_EQ(EnvAttr(env, 1056), 2);
    // Unknown attributes, and the read-only one, are errors with HY092.
    for (SQLINTEGER bad : {0, 199, 1056, 10002, -1}) {
        EXPECT_EQ(SQLSetEnvAttr(env, bad, reinterpret_cast<SQLPOINTER>(1), 0), SQL_ERROR) << bad;
        EXPECT_EQ(DiagState(SQL_HANDLE_ENV, env), "HY092") << bad;
    }
    SQLINTEGER v = 77;
    EXPECT_EQ(SQLGetEnvAttr(env, 4711, &v, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(v, 77);
    EXPECT_EQ(DiagState(SQL_HANDLE_ENV, env), "HY092");
    // A null value pointer writes nothing.
    EXPECT_EQ(SQLGetEnvAttr(env, SQL_ATTR_ODBC_VERSION, nullptr, 0, nullptr), SQL_SUCCESS);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

TEST(Env, Odbc2EntryPointsAllocateAndFreeEveryHandle)
{
    FakeBackend fake;
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT stmt = nullptr;
    ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
    EXPECT_EQ(SQLAllocConnect(env, nullptr), SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_ENV, env), "S1009");  // an ODBC 2 environment
    EXPECT_EQ(SQLAllocConnect(reinterpret_cast<SQLHENV>(0x0001FFF0), &dbc), SQL_INVALID_HANDLE);
    ASSERT_EQ(SQLAllocConnect(env, &dbc), SQL_SUCCESS);
    EXPECT_EQ(HT_HandleIn(dbc) >> 16, 2u);
    ASSERT_TRUE(FakeConnect(dbc, fake));
    ASSERT_EQ(SQLAllocStmt(dbc, &stmt), SQL_SUCCESS);
    EXPECT_EQ(HT_HandleIn(stmt) >> 16, 3u);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeConnect(dbc), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLFreeConnect(env), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLFreeEnv(env), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeEnv(env), SQL_INVALID_HANDLE);
}

TEST(Env, ConnectionAndStatementAllocation)
{
    FakeSession s(false);
    SQLHSTMT stmt = reinterpret_cast<SQLHSTMT>(1);
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, s.dbc, &stmt), SQL_ERROR);
    EXPECT_EQ(stmt, nullptr);
    EXPECT_EQ(DiagState(SQL_HANDLE_DBC, s.dbc), "08003");
    SQLHDESC desc = nullptr;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, s.dbc, &desc), SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_DBC, s.dbc), "08003");
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, s.env, nullptr), SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_ENV, s.env), "HY009");
    EXPECT_EQ(SQLAllocStmt(s.dbc, nullptr), SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_DBC, s.dbc), "HY009");

    ASSERT_TRUE(FakeConnect(s.dbc, s.fake));
    ASSERT_EQ(SQLAllocStmt(s.dbc, &stmt), SQL_SUCCESS);
    EXPECT_EQ(HT_HandleIn(stmt) >> 16, 3u);
    EXPECT_EQ(s.fake.Count(FS_ALLOCSTMT), 1);
    // The back end refusing a statement leaves its number on the connection.
    s.fake.results[FS_ALLOCSTMT] = ERR_MEMORY_ALLOCATION;
    SQLHSTMT refused = nullptr;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, s.dbc, &refused), SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_DBC, s.dbc), "HY001");
    s.fake.results[FS_ALLOCSTMT] = 0;

    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, s.dbc, &desc), SQL_SUCCESS);
    EXPECT_EQ(HT_HandleIn(desc) >> 16, 4u);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, desc), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, desc), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(s.fake.Count(FS_FREESTMT), 1);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_INVALID_HANDLE);
}

TEST(Env, ImplicitDescriptorsCannotBeFreed)
{
    FakeSession s;
    SQLHSTMT stmt = s.NewStmt();
    Stmt *st = static_cast<Stmt *>(HT_Lookup(&StmtTable, HT_HandleIn(stmt)));
    ASSERT_NE(st, nullptr);
    Desc *four[] = {st->ard, st->apd, st->ird, st->ipd};
    std::set<uint64_t> handles;
    for (Desc *d : four) {
        ASSERT_NE(d, nullptr);
        handles.insert(d->handle);
        SQLHDESC h = HT_HandleOut(static_cast<uint32_t>(d->handle));
        EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, h), SQL_ERROR);
        EXPECT_EQ(DiagState(SQL_HANDLE_DESC, h), "HY017");
    }
    EXPECT_EQ(handles.size(), 4u);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS) << "the statement keeps working";
}

TEST(Env, FreeStmtOptions)
{
    FakeSession s;
    SQLHSTMT stmt = s.NewStmt();
    for (SQLUSMALLINT option : {SQL_CLOSE, SQL_UNBIND, SQL_RESET_PARAMS})
        EXPECT_EQ(SQLFreeStmt(stmt, option), SQL_SUCCESS) << option;
    EXPECT_EQ(SQLFreeStmt(stmt, 4), SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_STMT, stmt), "HY092");
}

TEST(Env, TransactOnANamedConnectionThatDoesNotResolveTouchesNothing)
{
    FakeSession s;
    SQLHDBC second = nullptr;
    SQLAllocHandle(SQL_HANDLE_DBC, s.env, &second);
    ASSERT_TRUE(FakeConnect(second, s.fake));
    SQLHDBC freed = nullptr;
    SQLAllocHandle(SQL_HANDLE_DBC, s.env, &freed);
    SQLFreeHandle(SQL_HANDLE_DBC, freed);

    const SQLHDBC bad[] = {freed, reinterpret_cast<SQLHDBC>(0x0002FFF0), s.env};
    for (SQLHDBC b : bad) {
        EXPECT_EQ(SQLTransact(s.env, b, SQL_COMMIT), SQL_INVALID_HANDLE);
        EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, b, SQL_COMMIT), SQL_INVALID_HANDLE);
    }
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, s.dbc, SQL_COMMIT), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, nullptr, SQL_COMMIT), SQL_INVALID_HANDLE);
    SQLHSTMT stmt = s.NewStmt();
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_STMT, stmt, SQL_COMMIT), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DESC, s.dbc, SQL_COMMIT), SQL_INVALID_HANDLE);
    EXPECT_EQ(s.fake.Count(FS_COMMIT), 0);
    EXPECT_EQ(s.fake.Count(FS_ROLLBACK), 0);

    // Named and resolving: that connection alone.
    EXPECT_EQ(SQLTransact(s.env, second, SQL_ROLLBACK), SQL_SUCCESS);
    EXPECT_EQ(s.fake.Count(FS_ROLLBACK), 1);
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, s.dbc, SQL_COMMIT), SQL_SUCCESS);
    EXPECT_EQ(s.fake.Count(FS_COMMIT), 1);
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, s.dbc, 5), SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_DBC, s.dbc), "HY012");
}

TEST(Env, TransactOnTheEnvironmentTriesEveryConnection)
{
    FakeSession s;
    SQLHDBC idle = nullptr, second = nullptr;
    SQLAllocHandle(SQL_HANDLE_DBC, s.env, &idle);  // never connected: fails with 08003
    SQLAllocHandle(SQL_HANDLE_DBC, s.env, &second);
    ASSERT_TRUE(FakeConnect(second, s.fake));
    EXPECT_EQ(SQLTransact(s.env, nullptr, SQL_COMMIT), SQL_ERROR);
    EXPECT_EQ(s.fake.Count(FS_COMMIT), 2) << "both connected connections committed";
    EXPECT_EQ(DiagState(SQL_HANDLE_ENV, s.env), "08003");
    EXPECT_EQ(DiagState(SQL_HANDLE_DBC, idle), "") << "connection error numbers restored";

    SQLFreeHandle(SQL_HANDLE_DBC, idle);
    s.fake.results[FS_COMMIT] = ERR_COMMUNICATION_LINK;
    s.fake.pendingErrors = {"[Brennic Edition]link down[SQLSTATE:08S01]"};
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, s.env, SQL_COMMIT), SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_ENV, s.env), "08S01");
    std::string message;
    EXPECT_EQ(DiagState(SQL_HANDLE_DBC, second, &message), "08S01");
    EXPECT_EQ(message, "[Kestrune][ODBC][Brennic Edition]link down");
}

TEST(Env, FreeingAnEnvironmentFreesItsConnectionsStatementsAndDescriptors)
{
    FakeSession s;
    SQLHSTMT stmt = s.NewStmt();
    SQLHDESC desc = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, s.dbc, &desc), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, s.env), SQL_SUCCESS);
    EXPECT_EQ(s.fake.Count(FS_DISCONNECT), 1);
    EXPECT_EQ(s.fake.Count(FS_FREESTMT), 1);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, desc), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, s.dbc), SQL_INVALID_HANDLE);
    s.env = nullptr;
}

TEST(Env, AFailedDisconnectLeavesNothingPointingAtTheFreedConnection)
{
    FakeSession s;
    SQLHSTMT stmt = s.NewStmt();
    SQLHDESC desc = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, s.dbc, &desc), SQL_SUCCESS);
    s.fake.results[FS_DISCONNECT] = ERR_COMMUNICATION_LINK;
    // Freeing the connection alone refuses and keeps it.
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, s.dbc), SQL_ERROR);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, desc), SQL_SUCCESS) << "the descriptor still works";
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, s.dbc, &desc), SQL_SUCCESS);
    stmt = s.NewStmt();
    // Freeing the environment frees the connection anyway, and with it the
    // explicit descriptor: its handle no longer resolves.
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, s.env), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, desc), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_INVALID_HANDLE);
    s.env = nullptr;
}

TEST(Env, CancelOnAnIdleStatementClosesItWithInfo)
{
    FakeSession s;
    SQLHSTMT stmt = s.NewStmt();
    static_cast<Stmt *>(HT_Lookup(&StmtTable, HT_HandleIn(stmt)))->state = STMT_EXECUTED;
    EXPECT_EQ(SQLCancel(stmt), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(s.fake.Count(FS_CLOSECURSOR), 1);
    EXPECT_EQ(s.fake.Count(FS_CANCEL), 0);
    EXPECT_EQ(DiagState(SQL_HANDLE_STMT, stmt), "01S05");
    EXPECT_EQ(SQLCancel(s.dbc), SQL_INVALID_HANDLE);
}

} // namespace

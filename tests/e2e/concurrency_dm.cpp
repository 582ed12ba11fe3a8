// Lock and optimistic-values concurrency of keyset-driven cursors through
// unixODBC with both libraries, on a table with a primary key and on one
// with only a unique index: fetched rows are locked until the transaction
// ends (another session waiting for one of them gives up), rows deleted
// meanwhile are skipped, and values concurrency serves the rows another
// session changed at their own keys.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "tests/common/pg_env.h"
#include "tests/e2e/connect_common.h"

namespace {

using conntest::Diags;
using conntest::Sql;

PgEnv g_pg;

class ConcurrencyEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(g_pg));
        PgPsql(g_pg, "drop schema if exists krs_cc cascade; create schema krs_cc");
    }
    void TearDown() override { PgPsql(g_pg, "drop schema if exists krs_cc cascade"); }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new ConcurrencyEnv);

// A table whose rows the cursor can name: by a primary key, or by a unique
// index over a NOT NULL column (and a quoted name with a quote in it).
struct Table {
    const char *what;
    const char *name;    // as written in SQL
    const char *key;     // the key column as written in SQL
    const char *create;  // its column list
};

const Table kTables[] = {
    {"primary key", "krs_cc.pk_t", "id", "(id int primary key, v int)"},
    {"unique index only", "krs_cc.\\\"u\\\"\\\"q\\\"", "code", "(code int not null unique, v int)"},
};

// Another session's statement (psql, committed at once); its output.
std::string OtherUser(const std::string &sql) { return PgPsql(g_pg, sql); }

void Fill(const Table &t)
{
    OtherUser(std::string("drop table if exists ") + t.name + "; create table " + t.name + " " + t.create +
              "; insert into " + t.name + " select i, 10 * i from generate_series(1, 8) i");
}

// The table's name as SQL through ODBC (psql needs the quotes escaped).
std::string OdbcName(const Table &t)
{
    std::string n = t.name;
    for (size_t p; (p = n.find('\\')) != std::string::npos;)
        n.erase(p, 1);
    return n;
}

class Concurrency : public conntest::DsnStatement {
protected:
    SQLINTEGER keys[4] = {};
    SQLLEN keyInd[4] = {};
    SQLINTEGER vals[4] = {};
    SQLLEN valInd[4] = {};
    SQLUSMALLINT status[4] = {};
    SQLULEN fetched = 0;
    SQLULEN cursorType = SQL_CURSOR_KEYSET_DRIVEN;

    // A cursor of cursorType with rowsets of two rows under `concurrency`,
    // on a connection in manual commit.
    void Cursor(SQLULEN concurrency)
    {
        ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(cursorType), 0),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(concurrency), 0), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(2), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
    }
    void Open(const Table &t, SQLULEN concurrency)
    {
        const std::string sql = std::string("select ") + t.key + ", v from " + OdbcName(t) + " order by v";
        ASSERT_EQ(SQLExecDirect(st, Sql(sql), SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        SQLULEN type = 0, conc = 0;
        SQLGetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr);
        SQLGetStmtAttr(st, SQL_ATTR_CONCURRENCY, &conc, 0, nullptr);
        EXPECT_EQ(type, cursorType);
        EXPECT_EQ(conc, concurrency);
        ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, keys, 0, keyInd), SQL_SUCCESS);
        ASSERT_EQ(SQLBindCol(st, 2, SQL_C_SLONG, vals, 0, valInd), SQL_SUCCESS);
    }
    SQLRETURN Scroll(SQLSMALLINT orientation, SQLLEN offset = 0)
    {
        std::fill(std::begin(status), std::end(status), SQLUSMALLINT{99});
        std::fill(std::begin(keys), std::end(keys), -1);
        return SQLFetchScroll(st, orientation, offset);
    }
    // Another session's update of one row, waiting for its lock at most
    // 300 ms: "" when it went through, else the server's complaint.
    static std::string UpdateElsewhere(const Table &t, int key)
    {
        std::string out = OtherUser(std::string("set lock_timeout = '300ms'; update ") + t.name +
                                    " set v = v + 1 where " + t.key + " = " + std::to_string(key));
        return out;
    }
};

TEST_P(Concurrency, LockHoldsTheFetchedRowsUntilTheTransactionEnds)
{
    for (const Table &t : kTables) {
        SCOPED_TRACE(t.what);
        Fill(t);
        Cursor(SQL_CONCUR_LOCK);
        Open(t, SQL_CONCUR_LOCK);
        ASSERT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(keys[0], 3);
        EXPECT_EQ(keys[1], 4);
        EXPECT_EQ(status[0], SQL_ROW_SUCCESS);

        // The rowset's rows are locked; the others are not.
        EXPECT_NE(UpdateElsewhere(t, 3).find("lock timeout"), std::string::npos);
        EXPECT_NE(UpdateElsewhere(t, 4).find("lock timeout"), std::string::npos);
        EXPECT_EQ(UpdateElsewhere(t, 6), "");

        // The locks end with the transaction.
        ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
        ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK), SQL_SUCCESS);
        EXPECT_EQ(UpdateElsewhere(t, 3), "");
        SQLFreeStmt(st, SQL_UNBIND);
    }
}

TEST_P(Concurrency, RowsDeletedMeanwhileAreSkippedByTheLock)
{
    for (const Table &t : kTables) {
        SCOPED_TRACE(t.what);
        Fill(t);
        Cursor(SQL_CONCUR_LOCK);
        Open(t, SQL_CONCUR_LOCK);
        OtherUser(std::string("delete from ") + t.name + " where " + t.key + " = 5");
        ASSERT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 5), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(status[0], SQL_ROW_DELETED);
        EXPECT_EQ(status[1], SQL_ROW_SUCCESS);
        EXPECT_EQ(keys[1], 6);
        EXPECT_NE(UpdateElsewhere(t, 6).find("lock timeout"), std::string::npos);
        ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
        ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK), SQL_SUCCESS);
        SQLFreeStmt(st, SQL_UNBIND);
    }
}

TEST_P(Concurrency, ARowLockedElsewhereIsARowError)
{
    const Table &t = kTables[0];
    Fill(t);
    // Another connection holds row 2 in its open transaction.
    conntest::Handles other;
    ASSERT_TRUE(conntest::Ok(other.DriverConnect(std::string("DSN=") + GetParam()))) << other.State();
    ASSERT_EQ(SQLSetConnectAttr(other.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_SUCCESS);
    SQLHSTMT holder = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, other.dbc, &holder), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(holder, Sql("update krs_cc.pk_t set v = v where id = 2"), SQL_NTS), SQL_SUCCESS);

    Cursor(SQL_CONCUR_LOCK);
    // The cursor's session waits for a lock only briefly.
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql("set lock_timeout = '300ms'"), SQL_NTS)));
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
    Open(t, SQL_CONCUR_LOCK);
    EXPECT_EQ(Scroll(SQL_FETCH_FIRST), SQL_ERROR);
    // The server's reason, then the row error.
    const std::string all = Diags(SQL_HANDLE_STMT, st);
    const size_t reason = all.find("lock timeout"), rowError = all.find("01S01:");
    EXPECT_NE(reason, std::string::npos) << all;
    EXPECT_NE(rowError, std::string::npos) << all;
    EXPECT_LT(reason, rowError) << all;
    SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
    SQLEndTran(SQL_HANDLE_DBC, other.dbc, SQL_ROLLBACK);
    SQLFreeHandle(SQL_HANDLE_STMT, holder);
}

TEST_P(Concurrency, ValuesServeChangedRowsAtTheirKeys)
{
    for (const Table &t : kTables) {
        SCOPED_TRACE(t.what);
        Fill(t);
        Cursor(SQL_CONCUR_VALUES);
        Open(t, SQL_CONCUR_VALUES);
        // Row 2 moves to the end of the ORDER BY; row 3 goes.
        OtherUser(std::string("update ") + t.name + " set v = 1000 where " + t.key + " = 2; delete from " + t.name +
                  " where " + t.key + " = 3");
        ASSERT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 1), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(keys[0], 1);
        EXPECT_EQ(vals[0], 10);
        EXPECT_EQ(keys[1], 2);
        EXPECT_EQ(vals[1], 1000);
        ASSERT_EQ(Scroll(SQL_FETCH_NEXT), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(status[0], SQL_ROW_DELETED);
        EXPECT_EQ(status[1], SQL_ROW_SUCCESS);
        EXPECT_EQ(keys[1], 4);
        // Values concurrency takes no locks.
        EXPECT_EQ(UpdateElsewhere(t, 4), "");
        ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
        ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK), SQL_SUCCESS);
        SQLFreeStmt(st, SQL_UNBIND);
    }
}

// A static cursor under lock concurrency locks every row of its result at
// the first fetch, not only the rowset's, until the transaction ends; its
// positioned update goes through and another session sees it after the
// commit.
TEST_P(Concurrency, AStaticCursorLocksItsWholeResult)
{
    cursorType = SQL_CURSOR_STATIC;
    for (const Table &t : kTables) {
        SCOPED_TRACE(t.what);
        Fill(t);
        Cursor(SQL_CONCUR_LOCK);
        Open(t, SQL_CONCUR_LOCK);
        // Nothing is locked before the first fetch.
        EXPECT_EQ(UpdateElsewhere(t, 8), "");
        ASSERT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(keys[0], 3);
        EXPECT_EQ(status[0], SQL_ROW_SUCCESS);
        for (int key : {1, 3, 8})
            EXPECT_NE(UpdateElsewhere(t, key).find("lock timeout"), std::string::npos) << key;

        vals[1] = -4;
        valInd[1] = 0;
        keyInd[1] = SQL_COLUMN_IGNORE;
        ASSERT_EQ(SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(status[1], SQL_ROW_UPDATED);
        ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
        ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
        EXPECT_EQ(UpdateElsewhere(t, 3), "");
        EXPECT_NE(OtherUser(std::string("select ") + t.key + " || ':' || v from " + t.name + " order by " + t.key)
                      .find("4:-4"),
                  std::string::npos);
        SQLFreeStmt(st, SQL_UNBIND);
    }
}

// Above the keys a cache keeps in memory, the lock reaches every row too:
// the first and the last of the result.
TEST_P(Concurrency, AStaticCursorLocksAResultThatSpilled)
{
    cursorType = SQL_CURSOR_STATIC;
    const Table big{"spilled", "krs_cc.big_t", "id", "(id int primary key, v int)"};
    OtherUser("drop table if exists krs_cc.big_t; create table krs_cc.big_t (id int primary key, v int);"
              "insert into krs_cc.big_t select i, 10 * i from generate_series(1, 5300) i");
    Cursor(SQL_CONCUR_LOCK);
    Open(big, SQL_CONCUR_LOCK);
    ASSERT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 5250), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(keys[0], 5250);
    for (int key : {1, 2600, 5300})
        EXPECT_NE(UpdateElsewhere(big, key).find("lock timeout"), std::string::npos) << key;
    ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK), SQL_SUCCESS);
    EXPECT_EQ(UpdateElsewhere(big, 5300), "");
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, Concurrency, ::testing::Values("krs_w", "krs_a"),
                         [](const ::testing::TestParamInfo<const char *> &i) { return std::string(i.param); });

} // namespace

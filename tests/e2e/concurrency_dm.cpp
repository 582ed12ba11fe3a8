// Lock and optimistic-values concurrency of keyset-driven cursors through
// unixODBC with both libraries, on a table with a primary key and on one
// with only a unique index: fetched rows are locked until the transaction
// ends (another session waiting for one of them gives up), rows deleted
// meanwhile are skipped, and values concurrency serves the rows another
// session changed at their own keys.  Under values concurrency the cursor's
// own updates (positioned or by bookmark) are not taken for another
// session's changes by a later change of the same row.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <utility>

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
        ASSERT_EQ(Scroll(SQL_FETCH_FIRST), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
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

// The table's rows as "key:v" in key order, as another session sees them.
std::string Seen(const Table &t)
{
    std::string out = OtherUser(std::string("select string_agg(") + t.key + " || ':' || v, ' ' order by " + t.key +
                                ") from " + t.name);
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

// Cursors that keep the compared values of their rows apart from the rows.
struct CursorKind {
    const char *what;
    SQLULEN type;
    SQLULEN keysetSize;
};

const CursorKind kValueCursors[] = {
    {"keyset-driven", SQL_CURSOR_KEYSET_DRIVEN, 0},
    {"mixed", SQL_CURSOR_KEYSET_DRIVEN, 4},
    {"static", SQL_CURSOR_STATIC, 0},
};

class OwnChanges : public Concurrency {
protected:
    // A cursor of the kind under values concurrency whose changes the
    // server keeps at once.
    void Cursor(const CursorKind &k)
    {
        cursorType = k.type;
        Concurrency::Cursor(SQL_CONCUR_VALUES);
        ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0),
                  SQL_SUCCESS);
        if (k.keysetSize)
            ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_KEYSET_SIZE, reinterpret_cast<SQLPOINTER>(k.keysetSize), 0),
                      SQL_SUCCESS)
                << Diags(SQL_HANDLE_STMT, st);
    }
    void Close()
    {
        SQLCloseCursor(st);
        SQLFreeStmt(st, SQL_UNBIND);
    }
};

// Under values concurrency a row the cursor updated is compared afterwards
// with the values it wrote: it can be updated again, one row or the whole
// rowset, and deleted, without a fetch in between.  A row another session
// changes after that is still refused.
TEST_P(OwnChanges, ARowUpdatedThroughTheCursorCanBeChangedAgain)
{
    for (const CursorKind &k : kValueCursors)
        for (const Table &t : kTables) {
            SCOPED_TRACE(std::string(k.what) + ", " + t.what);
            Fill(t);
            Cursor(k);
            Open(t, SQL_CONCUR_VALUES);
            ASSERT_EQ(Scroll(SQL_FETCH_FIRST), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
            ASSERT_EQ(keys[1], 2);
            keyInd[0] = keyInd[1] = SQL_COLUMN_IGNORE;

            vals[1] = 111;
            ASSERT_EQ(SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
            EXPECT_EQ(status[1], SQL_ROW_UPDATED);
            EXPECT_EQ(Seen(t), "1:10 2:111 3:30 4:40 5:50 6:60 7:70 8:80");
            vals[1] = 222;
            ASSERT_EQ(SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
            EXPECT_EQ(status[1], SQL_ROW_UPDATED);
            EXPECT_EQ(Seen(t), "1:10 2:222 3:30 4:40 5:50 6:60 7:70 8:80");
            // The whole rowset, twice.
            for (int round : {1, 2}) {
                vals[0] = 10 + round;
                vals[1] = 222 + round;
                ASSERT_EQ(SQLSetPos(st, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS)
                    << round << Diags(SQL_HANDLE_STMT, st);
                EXPECT_EQ(status[0], SQL_ROW_UPDATED);
                EXPECT_EQ(status[1], SQL_ROW_UPDATED);
            }
            EXPECT_EQ(Seen(t), "1:12 2:224 3:30 4:40 5:50 6:60 7:70 8:80");
            ASSERT_EQ(SQLSetPos(st, 2, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
            EXPECT_EQ(status[1], SQL_ROW_DELETED);
            EXPECT_EQ(Seen(t), "1:12 3:30 4:40 5:50 6:60 7:70 8:80");

            // Another session changes row 1 after the cursor's update: the
            // next change finds it different.
            OtherUser(std::string("update ") + t.name + " set v = 13 where " + t.key + " = 1");
            vals[0] = 14;
            EXPECT_EQ(SQLSetPos(st, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS_WITH_INFO);
            EXPECT_EQ(conntest::Diag(SQL_HANDLE_STMT, st), "01001");
            EXPECT_EQ(status[0], SQL_ROW_ERROR);
            EXPECT_EQ(Seen(t), "1:13 3:30 4:40 5:50 6:60 7:70 8:80");

            // SQL_COLUMN_IGNORE speaks to the changes only: the next fetch
            // writes every bound column and its length, the key included.
            ASSERT_EQ(Scroll(SQL_FETCH_NEXT), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
            EXPECT_EQ(keys[0], 3);
            EXPECT_EQ(keys[1], 4);
            EXPECT_EQ(keyInd[0], static_cast<SQLLEN>(sizeof(SQLINTEGER)));
            EXPECT_EQ(keyInd[1], static_cast<SQLLEN>(sizeof(SQLINTEGER)));
            Close();
        }
}

// Values the server stores otherwise than they were written (char(n) pads
// them, numeric gives them its scale, real its precision) are compared as
// the server keeps them.
TEST_P(OwnChanges, ValuesTheServerConvertsAreComparedAsStored)
{
    for (const CursorKind &k : kValueCursors) {
        SCOPED_TRACE(k.what);
        OtherUser("drop table if exists krs_cc.conv_t; create table krs_cc.conv_t "
                  "(id int primary key, c char(6), n numeric(8, 2), f real);"
                  "insert into krs_cc.conv_t select i, 'r' || i, i, i from generate_series(1, 4) i");
        Cursor(k);
        ASSERT_EQ(SQLExecDirect(st, Sql("select id, c, n, f from krs_cc.conv_t order by id"), SQL_NTS), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        char c[2][16] = {}, n[2][16] = {}, f[2][16] = {};
        SQLLEN cInd[2] = {}, nInd[2] = {}, fInd[2] = {};
        ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, keys, 0, keyInd), SQL_SUCCESS);
        ASSERT_EQ(SQLBindCol(st, 2, SQL_C_CHAR, c, sizeof c[0], cInd), SQL_SUCCESS);
        ASSERT_EQ(SQLBindCol(st, 3, SQL_C_CHAR, n, sizeof n[0], nInd), SQL_SUCCESS);
        ASSERT_EQ(SQLBindCol(st, 4, SQL_C_CHAR, f, sizeof f[0], fInd), SQL_SUCCESS);
        ASSERT_EQ(Scroll(SQL_FETCH_FIRST), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        keyInd[1] = SQL_COLUMN_IGNORE;
        for (const char *v : {"0.1", "2.25"}) {
            std::snprintf(c[1], sizeof c[1], "x%s", v);
            std::snprintf(n[1], sizeof n[1], "%s", v);
            std::snprintf(f[1], sizeof f[1], "%s", v);
            cInd[1] = nInd[1] = fInd[1] = SQL_NTS;
            ASSERT_EQ(SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << v << Diags(SQL_HANDLE_STMT, st);
            EXPECT_EQ(status[1], SQL_ROW_UPDATED);
        }
        EXPECT_EQ(OtherUser("select '[' || c::text || '|' || n || '|' || f || ']' from krs_cc.conv_t where id = 2"),
                  "[x2.25|2.25|2.25]");
        SQLCloseCursor(st);
        SQLFreeStmt(st, SQL_UNBIND);
    }
}

// Updates by bookmark: the same bookmarks updated twice, then deleted.  A
// bulk operation leaves the rowset's place unknown, so the cursor moves back
// to it in between; a static cursor's move does not read the compared values
// again, so its second update compares with the values the first wrote.
TEST_P(OwnChanges, UpdatesByBookmarkTwiceOnTheSameRows)
{
    for (const CursorKind &k : kValueCursors) {
        if (k.keysetSize)
            continue;   // bookmarks need the full keyset
        SCOPED_TRACE(k.what);
        const Table &t = kTables[0];
        Fill(t);
        Cursor(k);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_USE_BOOKMARKS, reinterpret_cast<SQLPOINTER>(SQL_UB_VARIABLE), 0),
                  SQL_SUCCESS);
        Open(t, SQL_CONCUR_VALUES);
        SQLBIGINT marks[2] = {};
        SQLLEN markInd[2] = {};
        ASSERT_EQ(SQLBindCol(st, 0, SQL_C_UBIGINT, marks, sizeof marks[0], markInd), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        // The rowset of rows 3 and 4, their bookmarks in the other order.
        auto rowset = [&] {
            ASSERT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
            ASSERT_EQ(keys[0], 3);
            std::swap(marks[0], marks[1]);
            keyInd[0] = keyInd[1] = SQL_COLUMN_IGNORE;
        };
        rowset();
        for (int round : {1, 2}) {
            if (round == 2)
                rowset();
            vals[0] = 400 + round;
            vals[1] = 300 + round;
            ASSERT_EQ(SQLBulkOperations(st, SQL_UPDATE_BY_BOOKMARK), SQL_SUCCESS) << round << Diags(SQL_HANDLE_STMT, st);
            EXPECT_EQ(status[0], SQL_ROW_UPDATED);
            EXPECT_EQ(status[1], SQL_ROW_UPDATED);
            EXPECT_EQ(Seen(t), "1:10 2:20 3:" + std::to_string(300 + round) + " 4:" + std::to_string(400 + round) +
                                   " 5:50 6:60 7:70 8:80");
        }
        rowset();
        ASSERT_EQ(SQLBulkOperations(st, SQL_DELETE_BY_BOOKMARK), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(Seen(t), "1:10 2:20 5:50 6:60 7:70 8:80");
        SQLCloseCursor(st);
        SQLFreeStmt(st, SQL_UNBIND);
        SQLSetStmtAttr(st, SQL_ATTR_USE_BOOKMARKS, reinterpret_cast<SQLPOINTER>(SQL_UB_OFF), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, OwnChanges, ::testing::Values("krs_w", "krs_a"),
                         [](const ::testing::TestParamInfo<const char *> &i) { return std::string(i.param); });

INSTANTIATE_TEST_SUITE_P(BothLibraries, Concurrency, ::testing::Values("krs_w", "krs_a"),
                         [](const ::testing::TestParamInfo<const char *> &i) { return std::string(i.param); });

} // namespace

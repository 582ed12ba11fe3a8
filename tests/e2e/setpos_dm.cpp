// SQLSetPos and bookmarks through unixODBC with both libraries: positioning
// and refreshing a rowset, bookmarks in column 0 and SQL_FETCH_BOOKMARK, the
// refusals of a read-only cursor, and positioned UPDATE, DELETE and ADD of
// keyset-driven cursors (a row changed meanwhile, labels naming other
// columns, long values in pieces, a table with only a unique index), each
// checked afterwards through a second connection.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <locale.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/common/pg_env.h"
#include "tests/e2e/connect_common.h"

namespace {

using conntest::Diags;
using conntest::Sql;

PgEnv g_pg;

class SetPosEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        setenv("LC_ALL", "C.UTF-8", 1);
        ASSERT_TRUE(PgEnvLoad(g_pg));
        PgPsql(g_pg, "drop schema if exists krs_sp cascade; create schema krs_sp;"
                     "create table krs_sp.t10 (id int primary key, name varchar(20));"
                     "insert into krs_sp.t10 select i, 'row' || i from generate_series(1, 10) i");
    }
    void TearDown() override { PgPsql(g_pg, "drop schema if exists krs_sp cascade"); }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new SetPosEnv);

std::string FirstState(SQLHSTMT h)
{
    SQLCHAR state[6] = {};
    SQLCHAR msg[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLGetDiagRec(SQL_HANDLE_STMT, h, 1, state, &native, msg, sizeof msg, &len);
    return reinterpret_cast<char *>(state);
}

class SetPos : public conntest::DsnStatement {
protected:
    SQLINTEGER ids[4] = {};
    SQLLEN idInd[4] = {};
    char names[4][21] = {};
    SQLLEN nameInd[4] = {};
    SQLUSMALLINT status[4] = {};
    SQLULEN fetched = 0;

    // A cursor of the given type and concurrency over `sql`, rowset size 4,
    // id and name bound; false when the connection gives another cursor
    // type or concurrency.
    bool Open(SQLULEN type, SQLULEN concurrency, const char *sql)
    {
        SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(type), 0);
        SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(concurrency), 0);
        EXPECT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(4), 0), SQL_SUCCESS);
        EXPECT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
        EXPECT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
        EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql(sql), SQL_NTS))) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, ids, 0, idInd), SQL_SUCCESS);
        EXPECT_EQ(SQLBindCol(st, 2, SQL_C_CHAR, names, sizeof names[0], nameInd), SQL_SUCCESS);
        SQLULEN gotType = 0, gotConcurrency = 0;
        SQLGetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, &gotType, 0, nullptr);
        SQLGetStmtAttr(st, SQL_ATTR_CONCURRENCY, &gotConcurrency, 0, nullptr);
        return gotType == type && gotConcurrency == concurrency;
    }

    // Bookmarks of the open cursor over krs_sp.t10: column 0, SQLGetData,
    // SQL_FETCH_BOOKMARK.
    void Bookmarks();

    // A keyset-driven cursor under values concurrency, with bookmarks, over
    // a new table of `rows` rows (id i, name "row<i>"); false when the
    // connection gives another cursor.
    bool OpenWithBookmarks(const std::string &table, int rows)
    {
        PgPsql(g_pg, "drop table if exists " + table + "; create table " + table +
                         " (id int primary key, name varchar(20)); insert into " + table +
                         " select i, 'row' || i from generate_series(1, " + std::to_string(rows) + ") i");
        EXPECT_EQ(SQLSetStmtAttr(st, SQL_ATTR_USE_BOOKMARKS, reinterpret_cast<SQLPOINTER>(SQL_UB_VARIABLE), 0),
                  SQL_SUCCESS);
        return Open(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, ("select id, name from " + table + " order by id").c_str());
    }

    // The rows of the table as "id:name" seen through a second connection.
    std::vector<std::string> TableSeenByAnother(const char *table)
    {
        return SeenByAnother(std::string("select id || ':' || coalesce(name, '<null>') from ") + table +
                             " order by id");
    }

    // The first column of a query's rows as text, through a second connection.
    std::vector<std::string> SeenByAnother(const std::string &q)
    {
        std::vector<std::string> rows;
        SQLHDBC other = nullptr;
        SQLHSTMT h = nullptr;
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &other), SQL_SUCCESS);
        std::string in = std::string("DSN=") + GetParam();
        EXPECT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(other, nullptr, Sql(in), SQL_NTS, nullptr, 0, nullptr,
                                                   SQL_DRIVER_NOPROMPT)));
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, other, &h), SQL_SUCCESS);
        EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Sql(q), SQL_NTS))) << Diags(SQL_HANDLE_STMT, h);
        char text[256] = {};
        SQLLEN ind = 0;
        SQLBindCol(h, 1, SQL_C_CHAR, text, sizeof text, &ind);
        while (SQLFetch(h) == SQL_SUCCESS)
            rows.push_back(ind == SQL_NULL_DATA ? "<null>" : text);
        SQLFreeHandle(SQL_HANDLE_STMT, h);
        SQLDisconnect(other);
        SQLFreeHandle(SQL_HANDLE_DBC, other);
        return rows;
    }
};

TEST_P(SetPos, FunctionsReportedAndPositionOnAStaticCursor)
{
    SQLUSMALLINT exists = SQL_FALSE;
    ASSERT_EQ(SQLGetFunctions(dbc, SQL_API_SQLSETPOS, &exists), SQL_SUCCESS);
    EXPECT_EQ(exists, SQL_TRUE);
    if (!Open(SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, "select id, name from krs_sp.t10 order by id"))
        GTEST_SKIP() << "static cursors are not served";
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, 5), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLSetPos(st, 3, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    SQLINTEGER v = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQLGetData(st, 1, SQL_C_SLONG, &v, 0, &ind), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(v, 7);
    SQLULEN number = 0;
    ASSERT_EQ(SQLGetStmtAttr(st, SQL_ATTR_ROW_NUMBER, &number, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(number, 7u);

    // REFRESH converts the rowset into the buffers again.
    ids[2] = -1;
    std::strcpy(names[2], "scribbled");
    ASSERT_EQ(SQLSetPos(st, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(ids[2], 7);
    EXPECT_STREQ(names[2], "row7");

    // A read-only cursor refuses changes; rows outside the rowset and other
    // lock types are refused too.
    struct Refusal {
        SQLSETPOSIROW row;
        SQLUSMALLINT op, lock;
        const char *state;
    } refusals[] = {
        {1, SQL_UPDATE, SQL_LOCK_NO_CHANGE, "HY009"}, {1, SQL_DELETE, SQL_LOCK_NO_CHANGE, "HY009"},
        {1, SQL_ADD, SQL_LOCK_NO_CHANGE, "HY009"},    {5, SQL_POSITION, SQL_LOCK_NO_CHANGE, "HY107"},
        {1, SQL_POSITION, SQL_LOCK_EXCLUSIVE, "HYC00"},
    };
    for (const Refusal &r : refusals) {
        EXPECT_EQ(SQLSetPos(st, r.row, r.op, r.lock), SQL_ERROR) << r.op;
        EXPECT_EQ(FirstState(st), r.state) << r.op;
    }
    EXPECT_EQ(TableSeenByAnother("krs_sp.t10").size(), 10u);
}

TEST_P(SetPos, BookmarksOfStaticAndKeysetCursors)
{
    for (SQLULEN type : {SQL_CURSOR_STATIC, SQL_CURSOR_KEYSET_DRIVEN}) {
        SCOPED_TRACE(type);
        SQLFreeStmt(st, SQL_CLOSE);
        SQLFreeStmt(st, SQL_UNBIND);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_USE_BOOKMARKS, reinterpret_cast<SQLPOINTER>(SQL_UB_VARIABLE), 0),
                  SQL_SUCCESS);
        if (!Open(type, SQL_CONCUR_READ_ONLY, "select id, name from krs_sp.t10 order by id"))
            continue;   // not served by this build
        Bookmarks();
    }
}

void SetPos::Bookmarks()
{
    SQLBIGINT marks[4] = {};
    SQLLEN markInd[4] = {};
    ASSERT_EQ(SQLBindCol(st, 0, SQL_C_UBIGINT, marks, sizeof marks[0], markInd), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, 6), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(marks[0], 6);
    EXPECT_EQ(marks[3], 9);

    // The bookmark of row 3 of the rowset, read with SQLGetData, brings the
    // cursor back there from anywhere, with an offset too.
    ASSERT_EQ(SQLSetPos(st, 3, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
    SQLBIGINT kept = 0;
    SQLLEN keptInd = 0;
    ASSERT_EQ(SQLGetData(st, 0, SQL_C_UBIGINT, &kept, sizeof kept, &keptInd), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(kept, 8);
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_FETCH_BOOKMARK_PTR, &kept, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_FIRST, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_BOOKMARK, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(ids[0], 8);
    EXPECT_EQ(fetched, 3u);
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_BOOKMARK, -2), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(ids[0], 6);
    EXPECT_EQ(marks[0], 6);
    EXPECT_EQ(SQLFetchScroll(st, SQL_FETCH_BOOKMARK, 5), SQL_NO_DATA);
}

// Positioned changes where the connection serves an updatable keyset-driven
// cursor: UPDATE of one row, DELETE of another, ADD, each seen through a
// second connection with nothing else changed.
TEST_P(SetPos, PositionedChangesOfAKeysetCursor)
{
    PgPsql(g_pg, "drop table if exists krs_sp.chg; create table krs_sp.chg (id int primary key, name varchar(20));"
                 "insert into krs_sp.chg select i, 'row' || i from generate_series(1, 6) i");
    if (!Open(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, "select id, name from krs_sp.chg order by id"))
        GTEST_SKIP() << "updatable keyset-driven cursors are not served by this build";
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    std::strcpy(names[0], "changed");
    nameInd[0] = SQL_NTS;
    ASSERT_EQ(SQLSetPos(st, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(status[0], SQL_ROW_UPDATED);
    ASSERT_EQ(SQLSetPos(st, 2, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(status[1], SQL_ROW_DELETED);
    ids[3] = 100;
    std::strcpy(names[3], "added");
    nameInd[3] = SQL_NTS;
    idInd[3] = 0;
    ASSERT_EQ(SQLSetPos(st, 4, SQL_ADD, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(status[3], SQL_ROW_ADDED);
    EXPECT_EQ(TableSeenByAnother("krs_sp.chg"),
              (std::vector<std::string>{"1:row1", "2:row2", "3:changed", "5:row5", "6:row6", "100:added"}));

    // Another connection changes row 5 meanwhile: under values concurrency
    // the update finds no row, the row is in error and stays as it was.
    PgPsql(g_pg, "update krs_sp.chg set name = 'theirs' where id = 5");
    std::strcpy(names[2], "mine");
    EXPECT_EQ(SQLSetPos(st, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(FirstState(st), "01001");
    EXPECT_EQ(status[2], SQL_ROW_ERROR);
    EXPECT_EQ(TableSeenByAnother("krs_sp.chg")[3], "5:theirs");
}

// A label is not a column: `a AS b` is written to a.
TEST_P(SetPos, NewValuesGoToTheBaseColumn)
{
    PgPsql(g_pg, "drop table if exists krs_sp.ab; create table krs_sp.ab (id int primary key, a varchar(9), b varchar(9));"
                 "insert into krs_sp.ab values (1, 'a1', 'b1'), (2, 'a2', 'b2')");
    if (!Open(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, "select id, a as b, b as a from krs_sp.ab order by id"))
        GTEST_SKIP() << "updatable keyset-driven cursors are not served by this build";
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    std::strcpy(names[1], "new");
    nameInd[1] = SQL_NTS;
    ASSERT_EQ(SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    PgPsql(g_pg, "create table krs_sp.ab_seen as select id, a || '/' || b as name from krs_sp.ab");
    EXPECT_EQ(TableSeenByAnother("krs_sp.ab_seen"), (std::vector<std::string>{"1:a1/b1", "2:new/b2"}));
    PgPsql(g_pg, "drop table krs_sp.ab_seen");
}

// A table with only a unique index: a text of 100 000 characters and a
// binary value of 100 000 bytes given through SQLPutData in pieces.
TEST_P(SetPos, LongValuesInPiecesUpdateARowOfAUniqueIndexTable)
{
    PgPsql(g_pg, "drop table if exists krs_sp.longv; create table krs_sp.longv (id int not null, t text, b bytea);"
                 "create unique index on krs_sp.longv (id); insert into krs_sp.longv values (1, 'one', null), (2, 'two', null)");
    if (!Open(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, "select id, t, b from krs_sp.longv order by id"))
        GTEST_SKIP() << "updatable keyset-driven cursors are not served by this build";
    SQLCHAR bins[4][8] = {};
    SQLLEN binInd[4] = {};
    ASSERT_EQ(SQLBindCol(st, 3, SQL_C_BINARY, bins, sizeof bins[0], binInd), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetchScroll(st, SQL_FETCH_FIRST, 0))) << Diags(SQL_HANDLE_STMT, st);
    std::string text(100000, 'x');
    for (size_t i = 0; i < text.size(); i += 1000)
        text[i] = static_cast<char>('a' + (i / 1000) % 26);
    std::string bytes;
    for (int i = 0; i < 100000; ++i)
        bytes += static_cast<char>(i % 251);
    nameInd[1] = SQL_LEN_DATA_AT_EXEC(0);
    binInd[1] = SQL_LEN_DATA_AT_EXEC(0);
    idInd[1] = SQL_COLUMN_IGNORE;
    ASSERT_EQ(SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_NEED_DATA) << Diags(SQL_HANDLE_STMT, st);
    SQLPOINTER token = nullptr;
    SQLRETURN rc;
    int values = 0;
    while ((rc = SQLParamData(st, &token)) == SQL_NEED_DATA) {
        ++values;
        const bool isText = token == names[1];
        ASSERT_TRUE(isText || token == bins[1]);
        const std::string &v = isText ? text : bytes;
        for (size_t at = 0; at < v.size(); at += 9000) {
            const SQLLEN n = static_cast<SQLLEN>(std::min<size_t>(9000, v.size() - at));
            ASSERT_EQ(SQLPutData(st, const_cast<char *>(v.data() + at), n), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        }
    }
    ASSERT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(values, 2);
    EXPECT_EQ(status[1], SQL_ROW_UPDATED);
    EXPECT_EQ(SeenByAnother("select id || ':' || coalesce(length(t) || ':' || substr(t, 50001, 3), '-') || ':' ||"
                            " coalesce(length(b) || ':' || get_byte(b, 77777), '-') from krs_sp.longv order by id"),
              (std::vector<std::string>{"1:3::-", "2:100000:yxx:100000:" + std::to_string(77777 % 251)}));
}

// SQLBulkOperations by bookmarks in no order, on a keyset-driven cursor
// (a fetch reads the rows again) and on a static one (a fetch gives the rows
// as read): results follow the caller's order, an update changes every named
// row (one another connection changed meanwhile is in error), and a delete
// removes the named rows, one the cursor itself updated included.
TEST_P(SetPos, BulkOperationsByBookmarksInAnyOrder)
{
    struct Case {
        SQLULEN cursor;
        const char *fetchedName;  // row 5's name after another connection renamed it
    } cases[] = {{SQL_CURSOR_KEYSET_DRIVEN, "fresh"}, {SQL_CURSOR_STATIC, "row5"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.cursor == SQL_CURSOR_STATIC ? "static" : "keyset-driven");
        SQLFreeStmt(st, SQL_CLOSE);
        SQLFreeStmt(st, SQL_UNBIND);
        PgPsql(g_pg, "drop table if exists krs_sp.bulk; create table krs_sp.bulk (id int primary key, name "
                     "varchar(20)); insert into krs_sp.bulk select i, 'row' || i from generate_series(1, 8) i");
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_USE_BOOKMARKS, reinterpret_cast<SQLPOINTER>(SQL_UB_VARIABLE), 0),
                  SQL_SUCCESS);
        ASSERT_TRUE(Open(c.cursor, SQL_CONCUR_VALUES, "select id, name from krs_sp.bulk order by id"))
            << "updatable cursors of this type are served";
        SQLBIGINT marks[4] = {};
        SQLLEN markInd[4] = {};
        ASSERT_EQ(SQLBindCol(st, 0, SQL_C_UBIGINT, marks, sizeof marks[0], markInd), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        const SQLBIGINT order[4] = {6, 3, 5, 4};
        PgPsql(g_pg, "update krs_sp.bulk set name = 'fresh' where id = 5");
        for (int i = 0; i < 4; ++i)
            marks[i] = order[i];
        ASSERT_EQ(SQLBulkOperations(st, SQL_FETCH_BY_BOOKMARK), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(std::vector<SQLINTEGER>(ids, ids + 4), (std::vector<SQLINTEGER>{6, 3, 5, 4}));
        EXPECT_STREQ(names[2], c.fetchedName);
        EXPECT_EQ(std::vector<SQLUSMALLINT>(status, status + 4), (std::vector<SQLUSMALLINT>(4, SQL_ROW_SUCCESS)));
        EXPECT_EQ(std::vector<SQLBIGINT>(marks, marks + 4), (std::vector<SQLBIGINT>(order, order + 4)));
        // The rowset's place is unknown now: an absolute move finds it again.
        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);

        for (int i = 0; i < 4; ++i) {
            marks[i] = order[i];
            std::snprintf(names[i], sizeof names[i], "bulk%d", static_cast<int>(order[i]));
            nameInd[i] = SQL_NTS;
            idInd[i] = SQL_COLUMN_IGNORE;
        }
        // Row 4 changes meanwhile: its update finds no row.  Row 5 changed
        // before the last fetch: a keyset-driven cursor compares what it read
        // again, a static one what it first read.
        PgPsql(g_pg, "update krs_sp.bulk set name = 'theirs' where id = 4");
        ASSERT_EQ(SQLBulkOperations(st, SQL_UPDATE_BY_BOOKMARK), SQL_SUCCESS_WITH_INFO)
            << Diags(SQL_HANDLE_STMT, st);
        const bool isStatic = c.cursor == SQL_CURSOR_STATIC;
        EXPECT_EQ(std::vector<SQLUSMALLINT>(status, status + 4),
                  (std::vector<SQLUSMALLINT>{SQL_ROW_UPDATED, SQL_ROW_UPDATED,
                                             static_cast<SQLUSMALLINT>(isStatic ? SQL_ROW_ERROR : SQL_ROW_UPDATED), SQL_ROW_ERROR}));
        EXPECT_EQ(TableSeenByAnother("krs_sp.bulk"),
                  (std::vector<std::string>{"1:row1", "2:row2", "3:bulk3", "4:theirs",
                                            isStatic ? "5:fresh" : "5:bulk5", "6:bulk6", "7:row7", "8:row8"}));

        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, 5), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        const SQLBIGINT gone[4] = {8, 5, 7, 6};
        for (int i = 0; i < 4; ++i)
            marks[i] = gone[i];
        // Row 6 was updated through the cursor since it read it: the values
        // compared are the ones it wrote, so it goes; row 5 as a static
        // cursor read it is no more.
        ASSERT_EQ(SQLBulkOperations(st, SQL_DELETE_BY_BOOKMARK), isStatic ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(std::vector<SQLUSMALLINT>(status, status + 4),
                  (std::vector<SQLUSMALLINT>{SQL_ROW_DELETED, static_cast<SQLUSMALLINT>(isStatic ? SQL_ROW_ERROR : SQL_ROW_DELETED),
                                             SQL_ROW_DELETED, SQL_ROW_DELETED}));
        if (isStatic)
            EXPECT_EQ(TableSeenByAnother("krs_sp.bulk"),
                      (std::vector<std::string>{"1:row1", "2:row2", "3:bulk3", "4:theirs", "5:fresh"}));
        else
            EXPECT_EQ(TableSeenByAnother("krs_sp.bulk"),
                      (std::vector<std::string>{"1:row1", "2:row2", "3:bulk3", "4:theirs"}));
    }
}

// A static cursor under values concurrency: UPDATE of one row, DELETE of
// another, ADD, each seen through a second connection with nothing else
// changed; a row another connection changed meanwhile is a row error and
// stays as that connection left it.  The static set keeps showing the rows
// as they were read, and says which of them this cursor changed.
TEST_P(SetPos, PositionedChangesOfAStaticCursor)
{
    PgPsql(g_pg, "drop table if exists krs_sp.stc; create table krs_sp.stc (id int primary key, name varchar(20));"
                 "insert into krs_sp.stc select i, 'row' || i from generate_series(1, 8) i");
    // Rows in an order of their own, not the key's.
    ASSERT_TRUE(Open(SQL_CURSOR_STATIC, SQL_CONCUR_VALUES, "select id, name from krs_sp.stc order by name desc"))
        << "static cursors under values concurrency are served";
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(std::vector<SQLINTEGER>(ids, ids + 4), (std::vector<SQLINTEGER>{6, 5, 4, 3}));
    std::strcpy(names[0], "changed");
    nameInd[0] = SQL_NTS;
    ASSERT_EQ(SQLSetPos(st, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(status[0], SQL_ROW_UPDATED);
    ASSERT_EQ(SQLSetPos(st, 2, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(status[1], SQL_ROW_DELETED);
    // The row behind the deleted one is still addressed by its own key.
    ASSERT_EQ(SQLSetPos(st, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ids[3] = 100;
    idInd[3] = 0;
    std::strcpy(names[3], "added");
    nameInd[3] = SQL_NTS;
    ASSERT_EQ(SQLSetPos(st, 4, SQL_ADD, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(status[3], SQL_ROW_ADDED);
    EXPECT_EQ(TableSeenByAnother("krs_sp.stc"), (std::vector<std::string>{"1:row1", "2:row2", "3:row3", "6:changed",
                                                                           "7:row7", "8:row8", "100:added"}));

    // The rowset again: the set shows the rows as read, with the statuses of
    // this cursor's changes; the added row is not in it.
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(std::vector<SQLINTEGER>(ids, ids + 4), (std::vector<SQLINTEGER>{6, 5, 4, 3}));
    EXPECT_STREQ(names[0], "row6");
    EXPECT_EQ(std::vector<SQLUSMALLINT>(status, status + 4),
              (std::vector<SQLUSMALLINT>{SQL_ROW_UPDATED, SQL_ROW_DELETED, SQL_ROW_DELETED, SQL_ROW_SUCCESS}));

    // Another connection changes row 3 meanwhile: the update finds no row,
    // the row is in error and stays as it was.
    PgPsql(g_pg, "update krs_sp.stc set name = 'theirs' where id = 3");
    std::strcpy(names[3], "mine");
    nameInd[3] = SQL_NTS;
    EXPECT_EQ(SQLSetPos(st, 4, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(FirstState(st), "01001");
    EXPECT_EQ(status[3], SQL_ROW_ERROR);
    // Deleted by another connection: the delete finds no row either.
    PgPsql(g_pg, "delete from krs_sp.stc where id = 8");
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(ids[0], 8);
    EXPECT_EQ(SQLSetPos(st, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(status[0], SQL_ROW_ERROR);
    EXPECT_EQ(TableSeenByAnother("krs_sp.stc"),
              (std::vector<std::string>{"1:row1", "2:row2", "3:theirs", "6:changed", "7:row7", "100:added"}));
}


// Rows another connection adds or removes between the execute (which reads
// the keys and runs the statement) and the first fetch (which reads the
// compared values): keys, values and rows are read again, so each row shown
// is changed through its own key and its own values.
TEST_P(SetPos, AStaticCursorReadsItsKeysAgainWhenRowsCameAndWent)
{
    struct Change {
        const char *what, *sql;
        std::vector<SQLINTEGER> firstIds;
    } changes[] = {
        {"a row added", "insert into krs_sp.moved values (0, 'row0')", {0, 1, 2, 3}},
        // As many rows as before, but not the same ones.
        {"one added, one removed", "delete from krs_sp.moved where id = 2; insert into krs_sp.moved values (0, 'row0')",
         {0, 1, 3, 4}},
    };
    for (const Change &c : changes) {
        SCOPED_TRACE(c.what);
        SQLFreeStmt(st, SQL_CLOSE);
        SQLFreeStmt(st, SQL_UNBIND);
        PgPsql(g_pg, "drop table if exists krs_sp.moved; create table krs_sp.moved (id int primary key, name varchar(20));"
                     "insert into krs_sp.moved select i, 'row' || i from generate_series(1, 8) i");
        ASSERT_TRUE(Open(SQL_CURSOR_STATIC, SQL_CONCUR_VALUES, "select id, name from krs_sp.moved order by id"));
        PgPsql(g_pg, c.sql);
        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(std::vector<SQLINTEGER>(ids, ids + 4), c.firstIds);
        std::strcpy(names[2], "mine");
        nameInd[2] = SQL_NTS;
        ASSERT_EQ(SQLSetPos(st, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(SeenByAnother("select id || ':' || name from krs_sp.moved where name = 'mine'"),
                  (std::vector<std::string>{std::to_string(c.firstIds[2]) + ":mine"}));
    }
}

// A result that changes at every read (its condition adds rows to its own
// table) never lets keys, values and rows agree: after three readings the
// fetch gives up with IM920 rather than show rows at others' keys.
TEST_P(SetPos, AStaticCursorGivesUpOnAResultThatKeepsChanging)
{
    // The analyser takes unqualified function names only.
    PgPsql(g_pg, "drop table if exists krs_sp.grows; create table krs_sp.grows (id serial primary key, name text);"
                 "insert into krs_sp.grows (name) values ('a'), ('b');"
                 "create or replace function krs_sp_grow() returns int language sql volatile as"
                 " 'insert into krs_sp.grows (name) values (''more''); select 0'");
    ASSERT_TRUE(Open(SQL_CURSOR_STATIC, SQL_CONCUR_VALUES,
                     "select id, name from krs_sp.grows where krs_sp_grow() = 0 order by id"));
    EXPECT_EQ(SQLFetchScroll(st, SQL_FETCH_FIRST, 0), SQL_ERROR);
    EXPECT_EQ(FirstState(st), "IM920") << Diags(SQL_HANDLE_STMT, st);
    SQLFreeStmt(st, SQL_CLOSE);
    PgPsql(g_pg, "drop function krs_sp_grow()");
}

// Static cursors whose rows have no keys to be found by: over a table
// without a usable key the cursor becomes read-only (01S02); over a join it
// keeps the concurrency asked for, reads its rows, and refuses to change
// them, saying why.
TEST_P(SetPos, StaticCursorsThatCannotChangeTheirRows)
{
    PgPsql(g_pg, "drop table if exists krs_sp.nokey; create table krs_sp.nokey (id int, name varchar(20));"
                 "insert into krs_sp.nokey select i, 'row' || i from generate_series(1, 5) i");
    struct Case {
        const char *sql;
        SQLULEN concurrency;   // served
        const char *prepareState, *updateState;
    } cases[] = {
        {"select id, name from krs_sp.nokey order by id", SQL_CONCUR_READ_ONLY, "01S02", "HY009"},
        {"select a.id, b.name from krs_sp.t10 a, krs_sp.t10 b where a.id = b.id order by a.id",
         SQL_CONCUR_VALUES, "", "IM912"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        SQLFreeStmt(st, SQL_CLOSE);
        SQLFreeStmt(st, SQL_UNBIND);
        SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0);
        SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_VALUES), 0);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(4), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
        const SQLRETURN rc = SQLExecDirect(st, Sql(c.sql), SQL_NTS);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(rc == SQL_SUCCESS_WITH_INFO ? FirstState(st) : "", c.prepareState);
        SQLULEN concurrency = 0;
        SQLGetStmtAttr(st, SQL_ATTR_CONCURRENCY, &concurrency, 0, nullptr);
        EXPECT_EQ(concurrency, c.concurrency);
        ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, ids, 0, idInd), SQL_SUCCESS);
        ASSERT_EQ(SQLBindCol(st, 2, SQL_C_CHAR, names, sizeof names[0], nameInd), SQL_SUCCESS);
        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, 2), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(std::vector<SQLINTEGER>(ids, ids + 4), (std::vector<SQLINTEGER>{2, 3, 4, 5}));
        std::strcpy(names[0], "changed");
        nameInd[0] = SQL_NTS;
        EXPECT_EQ(SQLSetPos(st, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
        EXPECT_EQ(FirstState(st), c.updateState);
    }
    EXPECT_EQ(TableSeenByAnother("krs_sp.nokey")[1], "2:row2");
    EXPECT_EQ(TableSeenByAnother("krs_sp.t10")[1], "2:row2");
}

// A static cursor over a statement with a parameter, executed twice: its
// keys, values and rows are read with the application's value each time.
TEST_P(SetPos, AStaticCursorWithAParameterExecutedAgain)
{
    PgPsql(g_pg, "drop table if exists krs_sp.par; create table krs_sp.par (id int primary key, name varchar(20));"
                 "insert into krs_sp.par select i, 'row' || i from generate_series(1, 10) i");
    SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0);
    SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_VALUES), 0);
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(4), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLPrepare(st, Sql("select id, name from krs_sp.par where id > ? order by name desc"), SQL_NTS),
              SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    SQLINTEGER above = 0;
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &above, 0, nullptr),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, ids, 0, idInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(st, 2, SQL_C_CHAR, names, sizeof names[0], nameInd), SQL_SUCCESS);
    struct Run {
        SQLINTEGER above;
        std::vector<SQLINTEGER> ids;
        SQLSETPOSIROW row;   // of the last rowset, to rename
    } runs[] = {{5, {9, 8, 7, 6}, 4}, {1, {9, 8, 7, 6}, 3}};
    for (const Run &r : runs) {
        above = r.above;
        ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(std::vector<SQLINTEGER>(ids, ids + 4), r.ids);
        SQLLEN count = 0;
        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_LAST, 0), SQL_SUCCESS);
        SQLULEN number = 0;
        SQLGetStmtAttr(st, SQL_ATTR_ROW_NUMBER, &number, 0, nullptr);
        EXPECT_EQ(number, static_cast<SQLULEN>(10 - r.above - 3));
        std::snprintf(names[r.row - 1], sizeof names[0], "above%d", static_cast<int>(r.above));
        nameInd[r.row - 1] = SQL_NTS;
        ASSERT_EQ(SQLSetPos(st, r.row, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLRowCount(st, &count), SQL_SUCCESS);
        EXPECT_EQ(count, 1);
        // The row's values read again, with the application's value, after
        // the update: it can be written once more.
        ASSERT_EQ(SQLSetPos(st, r.row, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
    }
    // Above 5 by name: 9, 8, 7, 6, 10; above 1 once 10 is renamed: 9 ... 2,
    // 10.
    EXPECT_EQ(SeenByAnother("select id || ':' || name from krs_sp.par where name like 'above%' order by id"),
              (std::vector<std::string>{"2:above1", "10:above5"}));
}

// A static result above the rows a cache keeps in memory: keys, values and
// rows are read back from their files, and an update still reaches the
// row it names, and only that one.
TEST_P(SetPos, AStaticResultThatSpilledUpdatesTheRightRow)
{
    PgPsql(g_pg, "drop table if exists krs_sp.big; create table krs_sp.big (id int primary key, name varchar(20));"
                 "insert into krs_sp.big select i, 'row' || i from generate_series(1, 6000) i");
    ASSERT_TRUE(Open(SQL_CURSOR_STATIC, SQL_CONCUR_VALUES, "select id, name from krs_sp.big order by id desc"));
    for (SQLLEN at : {5801, 12}) {
        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, at), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(ids[1], 6000 - at);
        std::snprintf(names[1], sizeof names[1], "new%d", static_cast<int>(ids[1]));
        nameInd[1] = SQL_NTS;
        EXPECT_EQ(SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    }
    // Back at the first row updated: it is shown as read and marked updated;
    // a second change compares the values read, which are no longer the row's.
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, 5801), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_STREQ(names[1], "row199");
    EXPECT_EQ(status[1], SQL_ROW_UPDATED);
    EXPECT_EQ(status[2], SQL_ROW_SUCCESS);
    std::strcpy(names[1], "again");
    nameInd[1] = SQL_NTS;
    EXPECT_EQ(SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(FirstState(st), "01001");
    EXPECT_EQ(SeenByAnother("select id || ':' || name from krs_sp.big where name not like 'row%' order by id"),
              (std::vector<std::string>{"199:new199", "5988:new5988"}));
}

// SQL_COLUMN_IGNORE row by row: a row that gives none of the written
// columns is left alone, a row that gives only some of them is refused
// before anything is sent (one statement writes the same columns in every
// row), and a column given in any row is written.  The values in ignored
// cells are never sent.  Rows an ADD inserts have no bookmark: a bound
// bookmark column reads NULL for them, not the bookmarks of the rows
// fetched before.
TEST_P(SetPos, ColumnsIgnoredRowByRowAndBookmarksOfAddedRows)
{
    if (!OpenWithBookmarks("krs_sp.ign", 8))
        GTEST_SKIP() << "updatable keyset-driven cursors are not served by this build";
    SQLBIGINT marks[4] = {};
    SQLLEN markInd[4] = {};
    ASSERT_EQ(SQLBindCol(st, 0, SQL_C_UBIGINT, marks, sizeof marks[0], markInd), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);

    // In every bound cell: a value that must not reach the table.
    auto poison = [&] {
        for (int i = 0; i < 4; ++i) {
            ids[i] = 900 + i;
            idInd[i] = sizeof ids[i];
            std::strcpy(names[i], "must not appear");
            nameInd[i] = SQL_NTS;
        }
    };
    struct Row {
        bool id, name;  // given (true) or SQL_COLUMN_IGNORE
    };
    auto mark = [&](const std::vector<Row> &rows) {
        for (int i = 0; i < 4; ++i) {
            if (!rows[i].id)
                idInd[i] = SQL_COLUMN_IGNORE;
            if (rows[i].name)
                std::snprintf(names[i], sizeof names[i], "new%d", i + 1);
            else
                nameInd[i] = SQL_COLUMN_IGNORE;
        }
    };
    for (bool bulk : {true, false}) {
        SCOPED_TRACE(bulk ? "SQLBulkOperations" : "SQLSetPos");
        auto send = [&] {
            return bulk ? SQLBulkOperations(st, SQL_UPDATE_BY_BOOKMARK) : SQLSetPos(st, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
        };
        // Rows 1 .. 4 (bulk) or 5 .. 8 (SQLSetPos).
        const int first = bulk ? 1 : 5;
        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, first), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        poison();
        mark({{false, true}, {false, false}, {false, true}, {true, false}});
        const std::vector<std::string> before = TableSeenByAnother("krs_sp.ign");
        EXPECT_EQ(send(), SQL_ERROR);
        EXPECT_EQ(FirstState(st), "HYC00") << "row 4 gives the id only";
        EXPECT_EQ(TableSeenByAnother("krs_sp.ign"), before);

        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, first), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        poison();
        mark({{false, true}, {false, false}, {false, true}, {false, false}});
        ASSERT_EQ(send(), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(std::vector<SQLUSMALLINT>(status, status + 4),
                  (std::vector<SQLUSMALLINT>{SQL_ROW_UPDATED, SQL_ROW_SUCCESS, SQL_ROW_UPDATED, SQL_ROW_SUCCESS}));
    }
    EXPECT_EQ(TableSeenByAnother("krs_sp.ign"),
              (std::vector<std::string>{"1:new1", "2:row2", "3:new3", "4:row4", "5:new1", "6:row6", "7:new3",
                                        "8:row8"}));

    // ADD of four rows with the bookmarks of the fetched rows still in the
    // bookmark column.
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, 1), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(markInd[0], static_cast<SQLLEN>(sizeof(SQLBIGINT)));
    for (int i = 0; i < 4; ++i) {
        ids[i] = 100 + i;
        idInd[i] = sizeof ids[i];
        std::snprintf(names[i], sizeof names[i], "Gr\xc3\xbc\xc3\x9f""e \xce\xa9 %d", i);
        nameInd[i] = SQL_NTS;
    }
    ASSERT_EQ(SQLBulkOperations(st, SQL_ADD), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(markInd[i], SQL_NULL_DATA) << i;
        EXPECT_EQ(marks[i], 0) << i;
    }
    const std::vector<std::string> seen = TableSeenByAnother("krs_sp.ign");
    ASSERT_EQ(seen.size(), 12u);
    EXPECT_EQ(seen[8], "100:Gr\xc3\xbc\xc3\x9f""e \xce\xa9 0");
    EXPECT_EQ(seen[11], "103:Gr\xc3\xbc\xc3\x9f""e \xce\xa9 3");
}

// An ADD sends every row of the rowset: SQLBulkOperations never skips one,
// whatever the row-operation array says (SQLSetPos honours it), before any
// fetch and after a partial rowset alike; the row-status array says ADDED
// for every row sent, and rows SQLSetPos was told to leave keep their status.
TEST_P(SetPos, AddSendsEveryRowOfTheRowsetAndSaysSo)
{
    PgPsql(g_pg, "drop table if exists krs_sp.add; create table krs_sp.add (id int primary key, name varchar(20));"
                 "insert into krs_sp.add select i, 'row' || i from generate_series(1, 6) i");
    constexpr SQLUSMALLINT A = SQL_ROW_ADDED, S = SQL_ROW_SUCCESS;
    struct Case {
        const char *what;
        bool bulk;
        SQLLEN fetchAt;        // ABSOLUTE target before the ADD, 0 for no fetch
        bool ignoreOddRows;    // rows 1 and 3 marked SQL_ROW_IGNORE
        std::vector<int> added;   // rows of the rowset that reach the table
        std::vector<SQLUSMALLINT> statuses;
    } cases[] = {
        {"bulk, rows marked ignored", true, 1, true, {1, 2, 3, 4}, {A, A, A, A}},
        {"SQLSetPos, rows marked ignored", false, 1, true, {2, 4}, {S, A, S, A}},
        {"bulk before any fetch", true, 0, false, {1, 2, 3, 4}, {A, A, A, A}},
        {"SQLSetPos after a partial rowset", false, 5, false, {1, 2, 3, 4}, {A, A, A, A}},
        {"bulk after a partial rowset", true, 5, false, {1, 2, 3, 4}, {A, A, A, A}},
    };
    int base = 100;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        base += 10;
        SQLFreeStmt(st, SQL_CLOSE);
        SQLUSMALLINT rowOps[4] = {SQL_ROW_IGNORE, SQL_ROW_PROCEED, SQL_ROW_IGNORE, SQL_ROW_PROCEED};
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_OPERATION_PTR, c.ignoreOddRows ? rowOps : nullptr, 0), SQL_SUCCESS);
        if (!Open(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, "select id, name from krs_sp.add where id <= 6 order by id"))
            GTEST_SKIP() << "updatable keyset-driven cursors are not served by this build";
        std::fill(std::begin(status), std::end(status), SQLUSMALLINT{99});
        if (c.fetchAt) {
            ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, c.fetchAt), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        }
        for (int i = 0; i < 4; ++i) {
            ids[i] = base + i + 1;
            idInd[i] = sizeof ids[i];
            std::snprintf(names[i], sizeof names[i], "added%d", base + i + 1);
            nameInd[i] = SQL_NTS;
        }
        const SQLRETURN rc = c.bulk ? SQLBulkOperations(st, SQL_ADD) : SQLSetPos(st, 0, SQL_ADD, SQL_LOCK_NO_CHANGE);
        ASSERT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(std::vector<SQLUSMALLINT>(status, status + 4), c.statuses);
        std::vector<std::string> want;
        for (int r : c.added)
            want.push_back(std::to_string(base + r) + ":added" + std::to_string(base + r));
        EXPECT_EQ(SeenByAnother("select id || ':' || name from krs_sp.add where id between " + std::to_string(base) +
                                " and " + std::to_string(base + 9) + " order by id"),
                  want);
    }
    SQLSetStmtAttr(st, SQL_ATTR_ROW_OPERATION_PTR, nullptr, 0);
}

// A bound bookmark column honours the application's buffers: column-wise,
// cells lie the buffer length apart and a bookmark longer than its cell is
// cut to it (01004); row-wise, they lie a row apart; nothing is written past
// a cell, neither by a fetch nor by an ADD that clears the cells of the rows
// it inserted.  The bookmarks read back serve SQL_FETCH_BOOKMARK and the
// bulk fetch.  SQL_C_ULONG is no bookmark type: 07006.
TEST_P(SetPos, BoundBookmarksHonourTheirBuffers)
{
    if (!OpenWithBookmarks("krs_sp.marks", 10))
        GTEST_SKIP() << "updatable keyset-driven cursors are not served by this build";
    constexpr unsigned char kUntouched = 0xEE;
    SQLLEN markInd[5] = {};

    // Column-wise cells of 4 and 16 bytes, and SQL_C_UBIGINT (always 8),
    // each followed by bytes that must stay as they were.
    struct ColumnWise {
        SQLSMALLINT type;
        SQLLEN length;   // given to SQLBindCol
        size_t cell;     // bytes between rows
        SQLRETURN fetch;
    } shapes[] = {
        {SQL_C_VARBOOKMARK, 4, 4, SQL_SUCCESS_WITH_INFO},
        {SQL_C_VARBOOKMARK, 16, 16, SQL_SUCCESS},
        {SQL_C_UBIGINT, 0, 8, SQL_SUCCESS},
    };
    for (const ColumnWise &w : shapes) {
        SCOPED_TRACE("cells of " + std::to_string(w.cell));
        std::vector<unsigned char> buf(4 * w.cell + 16, kUntouched);
        ASSERT_EQ(SQLBindCol(st, 0, w.type, buf.data(), w.length, markInd), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, 4), w.fetch) << Diags(SQL_HANDLE_STMT, st);
        if (w.fetch == SQL_SUCCESS_WITH_INFO) {
            EXPECT_EQ(FirstState(st), "01004");
        }
        for (int i = 0; i < 4; ++i) {
            SQLUINTEGER mark = 0;
            std::memcpy(&mark, &buf[i * w.cell], sizeof mark);
            EXPECT_EQ(mark, static_cast<SQLUINTEGER>(4 + i)) << i;
            EXPECT_EQ(markInd[i], 8) << i;
            for (size_t b = 8; b < w.cell; ++b)
                EXPECT_EQ(buf[i * w.cell + b], kUntouched) << i << " byte " << b;
        }
        for (size_t b = 4 * w.cell; b < buf.size(); ++b)
            ASSERT_EQ(buf[b], kUntouched) << "byte " << b << " past the last cell";

        // The third cell's bookmark brings the cursor back to its row.
        std::vector<unsigned char> kept(buf.begin() + 2 * w.cell, buf.begin() + 3 * w.cell);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_FETCH_BOOKMARK_PTR, kept.data(), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_FIRST, 0), w.fetch);
        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_BOOKMARK, 0), w.fetch) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(ids[0], 6);

        // The bulk fetch reads the bookmarks from their cells, in any order.
        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, 4), w.fetch) << Diags(SQL_HANDLE_STMT, st);
        std::vector<unsigned char> cells(buf.begin(), buf.begin() + 4 * w.cell);
        for (int i = 0; i < 4; ++i)
            std::memcpy(&buf[i * w.cell], &cells[(3 - i) * w.cell], w.cell);
        ASSERT_EQ(SQLBulkOperations(st, SQL_FETCH_BY_BOOKMARK), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(std::vector<SQLINTEGER>(ids, ids + 4), (std::vector<SQLINTEGER>{7, 6, 5, 4}));
        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_FIRST, 0), w.fetch) << Diags(SQL_HANDLE_STMT, st);

        // Rows an ADD inserts read as having no bookmark, each cell cleared
        // within itself.
        for (int i = 0; i < 4; ++i) {
            ids[i] = static_cast<SQLINTEGER>(100 * w.cell + i);
            idInd[i] = sizeof ids[i];
            std::strcpy(names[i], "added");
            nameInd[i] = SQL_NTS;
        }
        std::fill(buf.begin(), buf.end(), kUntouched);
        ASSERT_EQ(SQLBulkOperations(st, SQL_ADD), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(markInd[i], SQL_NULL_DATA) << i;
            for (size_t b = 0; b < w.cell; ++b)
                EXPECT_EQ(buf[i * w.cell + b], b < 8 ? 0 : kUntouched) << i << " byte " << b;
        }
        for (size_t b = 4 * w.cell; b < buf.size(); ++b)
            ASSERT_EQ(buf[b], kUntouched) << "byte " << b << " past the last cell";
        SQLBindCol(st, 0, SQL_C_VARBOOKMARK, nullptr, 0, nullptr);
    }

    // Row-wise: each row's bookmark in its own row.
    struct Row {
        SQLINTEGER id;
        SQLLEN idInd;
        SQLCHAR mark[8];
        SQLLEN markInd;
    } rows[4] = {};
    SQLFreeStmt(st, SQL_UNBIND);
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(Row)), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, &rows[0].id, 0, &rows[0].idInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(st, 0, SQL_C_VARBOOKMARK, rows[0].mark, sizeof rows[0].mark, &rows[0].markInd), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, 7), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    for (int i = 0; i < 4; ++i) {
        SQLUINTEGER mark = 0;
        std::memcpy(&mark, rows[i].mark, sizeof mark);
        EXPECT_EQ(rows[i].id, 7 + i) << i;
        EXPECT_EQ(mark, static_cast<SQLUINTEGER>(7 + i)) << i;
        EXPECT_EQ(rows[i].markInd, 8) << i;
    }
    SQLFreeStmt(st, SQL_UNBIND);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);

    // A 4-byte bookmark type is refused with the state ODBC names.
    SQLUINTEGER narrow[4] = {};
    EXPECT_EQ(SQLBindCol(st, 0, SQL_C_ULONG, narrow, 0, markInd), SQL_ERROR);
    EXPECT_EQ(FirstState(st), "07006");
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, SetPos, ::testing::Values("krs_w", "krs_a"),
                         [](const ::testing::TestParamInfo<const char *> &i) { return std::string(i.param); });

} // namespace

// The cursor library through unixODBC with both libraries: catalog results
// are static cursors and leave the statement's own cursor type for the next
// statement (nothing reported as changed), static cursors over statements a
// keyset could not serve (joins, GROUP BY, ORDER BY by position),
// forward-only statements that still cannot scroll, and statements that are
// not SELECTs run whatever cursor type the statement asks for.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/common/pg_env.h"
#include "tests/e2e/connect_common.h"

namespace {

using conntest::Diags;
using conntest::Sql;

PgEnv g_pg;

class CursorLibEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(g_pg));
        PgPsql(g_pg, "drop schema if exists krs_cl cascade; create schema krs_cl;"
                     "create table krs_cl.t1 (id int primary key, grp int);"
                     "create table krs_cl.t2 (id int primary key);"
                     "create table krs_cl.t3 (id int primary key);"
                     "insert into krs_cl.t1 select i, i % 4 from generate_series(1, 20) i;");
    }
    void TearDown() override { PgPsql(g_pg, "drop schema if exists krs_cl cascade"); }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new CursorLibEnv);



class CursorLib : public conntest::DsnStatement {
protected:
    // Asks for a static cursor; false when the connection's cursors cannot
    // scroll.
    bool Static()
    {
        SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0);
        return CursorType() == SQL_CURSOR_STATIC;
    }
    SQLULEN CursorType()
    {
        SQLULEN type = 0;
        SQLGetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr);
        return type;
    }
    // The first column of the row a scroll lands on; -1 for no data.
    long Scroll(SQLSMALLINT orientation, SQLLEN offset = 0, int col = 1)
    {
        SQLRETURN rc = SQLFetchScroll(st, orientation, offset);
        if (rc == SQL_NO_DATA)
            return -1;
        EXPECT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        SQLCHAR text[256] = {};
        SQLLEN ind = 0;
        EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(st, static_cast<SQLUSMALLINT>(col), SQL_C_CHAR, text, sizeof text, &ind)));
        return ind == SQL_NULL_DATA ? -2 : std::atol(reinterpret_cast<char *>(text));
    }
    std::string ScrollText(SQLSMALLINT orientation, SQLLEN offset, int col)
    {
        if (SQLFetchScroll(st, orientation, offset) != SQL_SUCCESS)
            return "<none>";
        SQLCHAR text[256] = {};
        SQLLEN ind = 0;
        SQLGetData(st, static_cast<SQLUSMALLINT>(col), SQL_C_CHAR, text, sizeof text, &ind);
        return reinterpret_cast<char *>(text);
    }
};

#define REQUIRE_STATIC()                                                                                          \
    if (!Static())                                                                                                \
    GTEST_SKIP() << "the connection's cursors cannot scroll in this build"

TEST_P(CursorLib, CatalogResultScrollsAndTheCursorTypeStays)
{
    REQUIRE_STATIC();
    ASSERT_EQ(SQLTables(st, nullptr, 0, Sql("krs_cl"), SQL_NTS, Sql("t%"), SQL_NTS, Sql("TABLE"), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(ScrollText(SQL_FETCH_LAST, 0, 3), "t3");
    EXPECT_EQ(ScrollText(SQL_FETCH_FIRST, 0, 3), "t1");
    EXPECT_EQ(ScrollText(SQL_FETCH_ABSOLUTE, 2, 3), "t2");
    EXPECT_EQ(ScrollText(SQL_FETCH_ABSOLUTE, 4, 3), "<none>");
    ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);

    // The statement's next query runs with the cursor it asked for, and
    // nothing is reported as changed.
    EXPECT_EQ(CursorType(), SQL_CURSOR_STATIC);
    ASSERT_EQ(SQLExecDirect(st, Sql("select id from krs_cl.t1 order by id"), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(Scroll(SQL_FETCH_LAST), 20);
    EXPECT_EQ(Scroll(SQL_FETCH_PRIOR), 19);
    SQLULEN conc = 0;
    SQLGetStmtAttr(st, SQL_ATTR_CONCURRENCY, &conc, 0, nullptr);
    EXPECT_EQ(conc, static_cast<SQLULEN>(SQL_CONCUR_READ_ONLY));
    ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);

    // A forward-only statement's catalog result stays forward-only.
    SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0);
    ASSERT_EQ(SQLTables(st, nullptr, 0, Sql("krs_cl"), SQL_NTS, Sql("t%"), SQL_NTS, Sql("TABLE"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLFetchScroll(st, SQL_FETCH_LAST, 0), SQL_ERROR);
    EXPECT_EQ(ScrollText(SQL_FETCH_NEXT, 0, 3), "t1");
}

TEST_P(CursorLib, StaticCursorsServeWhatAKeysetCouldNot)
{
    REQUIRE_STATIC();
    struct Case {
        const char *sql;
        long last, second;
    } cases[] = {
        {"select grp, count(*) from krs_cl.t1 group by grp order by 1", 3, 1},
        {"select a.id, b.id from krs_cl.t1 a join krs_cl.t1 b on a.id = b.id order by 2 desc", 1, 19},
        {"select a.id from krs_cl.t1 a left join krs_cl.t2 b on a.id = b.id where a.id < 6 order by a.id", 5, 2},
        {"select t.id from krs_cl.t1 t order by t.grp, t.id", 19, 8},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        ASSERT_EQ(SQLExecDirect(st, Sql(c.sql), SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(Scroll(SQL_FETCH_LAST), c.last);
        EXPECT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 2), c.second);
        EXPECT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 1000), -1);
        ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
    }
}

// A statement that is not a SELECT makes no cursor: with a scrollable
// cursor type set on the statement (set once, the statement reused) each
// runs as it does forward-only, those the analyser cannot read included.
// One that returns rows is served from a static cursor (01S02).
TEST_P(CursorLib, StatementsThatAreNotSelectsRunWhateverTheCursorType)
{
    REQUIRE_STATIC();
    const struct {
        const char *sql;
        SQLLEN count;                // the rows it changes
        std::vector<long> returned;  // the rows it returns
    } cases[] = {
        {"UPDATE krs_cl.ns SET v = v WHERE id != 1", 4, {}},
        {"INSERT INTO krs_cl.ns SELECT g, g FROM generate_series(100, 101) g", 2, {}},
        {"DELETE FROM krs_cl.ns WHERE id >= 100 RETURNING id", -1, {100, 101}},
        {"UPDATE krs_cl.ns SET v = v + 1;", 5, {}},
        {"UPDATE krs_cl.ns SET v = v - 1 WHERE 'A' ILIKE 'a'", 5, {}},
    };
    for (SQLULEN type : {SQL_CURSOR_FORWARD_ONLY, SQL_CURSOR_STATIC, SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_DYNAMIC}) {
        PgPsql(g_pg, "drop table if exists krs_cl.ns; create table krs_cl.ns (id int primary key, v int);"
                     "insert into krs_cl.ns select i, i from generate_series(1, 5) i");
        SQLHSTMT h = nullptr;
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(type), 0), SQL_SUCCESS);
        for (const auto &c : cases) {
            SCOPED_TRACE(testing::Message() << "cursor type " << type << ": " << c.sql);
            const SQLRETURN rc = SQLExecDirect(h, Sql(c.sql), SQL_NTS);
            const bool rows = !c.returned.empty();
            ASSERT_EQ(rc, rows && type != SQL_CURSOR_FORWARD_ONLY && type != SQL_CURSOR_STATIC
                              ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS)
                << Diags(SQL_HANDLE_STMT, h);
            if (rc == SQL_SUCCESS_WITH_INFO) {
                EXPECT_EQ(conntest::Diag(SQL_HANDLE_STMT, h), "01S02");
            }
            if (!rows) {
                SQLLEN count = 0;
                EXPECT_EQ(SQLRowCount(h, &count), SQL_SUCCESS);
                EXPECT_EQ(count, c.count);
                continue;
            }
            std::vector<long> got;
            SQLINTEGER id = 0;
            SQLLEN ind = 0;
            ASSERT_EQ(SQLBindCol(h, 1, SQL_C_SLONG, &id, 0, &ind), SQL_SUCCESS);
            while (SQLFetch(h) == SQL_SUCCESS)
                got.push_back(id);
            EXPECT_EQ(got, c.returned);
            SQLCloseCursor(h);
            SQLFreeStmt(h, SQL_UNBIND);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, h);
        EXPECT_EQ(PgPsql(g_pg, "select string_agg(id || ':' || v, ' ' order by id) from krs_cl.ns"),
                  "1:1 2:2 3:3 4:4 5:5");
    }
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, CursorLib, ::testing::Values("krs_w", "krs_a"),
                         [](const ::testing::TestParamInfo<const char *> &i) { return std::string(i.param); });

} // namespace

// Keyset-driven cursors through unixODBC with both libraries, against
// PostgreSQL: a 20-row result scrolled in every orientation; rows another
// connection deletes or updates (in the ORDER BY column too) seen at their
// own keys; keys from primary keys and from unique indexes over NOT NULL
// columns only, looked up in the statement's own schema; statements whose
// rows have no key, and aggregates, served as static cursors; parameters,
// joins (the same tables under other aliases one after the other), composite
// keys over two fetch statements, and a cursor executed again after it was
// closed.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "tests/common/pg_env.h"
#include "tests/e2e/connect_common.h"

namespace {

using conntest::Diags;
using conntest::Sql;

PgEnv g_pg;

class KeysetEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(g_pg));
        PgPsql(g_pg, "drop schema if exists krs_kd cascade; create schema krs_kd;"
                     "drop schema if exists krs_kd2 cascade; create schema krs_kd2;");
    }
    void TearDown() override { PgPsql(g_pg, "drop schema if exists krs_kd cascade; drop schema if exists krs_kd2 cascade"); }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new KeysetEnv);

// Another user's statement, committed at once (psql on its own connection);
// its output.  The text reaches psql as written: PgPsql hands it to the
// shell in double quotes.
std::string OtherUser(const std::string &sql)
{
    std::string shellSafe;
    for (char c : sql) {
        if (c == '"' || c == '\\' || c == '$' || c == '`')
            shellSafe += '\\';
        shellSafe += c;
    }
    return PgPsql(g_pg, shellSafe);
}

std::string State(SQLHSTMT h) { return conntest::Diag(SQL_HANDLE_STMT, h); }

struct Move {
    SQLSMALLINT orientation;
    SQLLEN offset;
    int first;  // first row of the rowset; 0 with rows 0 for SQL_NO_DATA
    int rows;
    bool firstInstead = false;  // the first rowset for one that began before it (01S06)
};

// Twenty rows in rowsets of six: every orientation, the edges, and the moves
// that come back from before the start and beyond the end.
const std::vector<Move> kMoves = {
    {SQL_FETCH_NEXT, 0, 1, 6},       {SQL_FETCH_NEXT, 0, 7, 6},      {SQL_FETCH_NEXT, 0, 13, 6},
    {SQL_FETCH_NEXT, 0, 19, 2},      {SQL_FETCH_NEXT, 0, 0, 0},      {SQL_FETCH_PRIOR, 0, 15, 6},
    {SQL_FETCH_PRIOR, 0, 9, 6},      {SQL_FETCH_PRIOR, 0, 3, 6},     {SQL_FETCH_PRIOR, 0, 1, 6, true},
    {SQL_FETCH_PRIOR, 0, 0, 0},      {SQL_FETCH_LAST, 0, 15, 6},     {SQL_FETCH_FIRST, 0, 1, 6},
    {SQL_FETCH_ABSOLUTE, 17, 17, 4}, {SQL_FETCH_ABSOLUTE, -3, 18, 3}, {SQL_FETCH_ABSOLUTE, -20, 1, 6},
    {SQL_FETCH_ABSOLUTE, -22, 0, 0}, {SQL_FETCH_ABSOLUTE, 0, 0, 0},  {SQL_FETCH_RELATIVE, 4, 4, 6},
    {SQL_FETCH_RELATIVE, -2, 2, 6},  {SQL_FETCH_RELATIVE, -5, 1, 6, true}, {SQL_FETCH_RELATIVE, 25, 0, 0},
    {SQL_FETCH_RELATIVE, -4, 17, 4}, {SQL_FETCH_ABSOLUTE, 21, 0, 0}, {SQL_FETCH_PRIOR, 0, 15, 6},
};

class Keyset : public conntest::DsnStatement {
protected:
    static constexpr int kMaxRowset = 100;
    SQLINTEGER ids[kMaxRowset] = {};
    SQLLEN idInd[kMaxRowset] = {};
    char names[kMaxRowset][32] = {};
    SQLLEN nameInd[kMaxRowset] = {};
    SQLUSMALLINT status[kMaxRowset] = {};
    SQLULEN fetched = 0;

    // Asks for a keyset-driven cursor with rowsets of `rowset` rows.
    void KeysetCursor(SQLULEN rowset)
    {
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_KEYSET_DRIVEN), 0),
                  SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rowset), 0), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
    }
    // Runs a query and binds an int and a text column; the answer of
    // SQLExecDirect, and its first diagnostic's state in *state.
    SQLRETURN Open(const std::string &sql, std::string *state = nullptr)
    {
        SQLRETURN rc = SQLExecDirect(st, Sql(sql), SQL_NTS);
        if (state)
            *state = conntest::Diag(SQL_HANDLE_STMT, st);
        if (SQL_SUCCEEDED(rc)) {
            EXPECT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, ids, 0, idInd), SQL_SUCCESS);
            EXPECT_EQ(SQLBindCol(st, 2, SQL_C_CHAR, names, sizeof names[0], nameInd), SQL_SUCCESS);
        }
        return rc;
    }
    SQLULEN CursorType()
    {
        SQLULEN type = 99;
        EXPECT_EQ(SQLGetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
        return type;
    }
    SQLULEN RowNumber()
    {
        SQLULEN n = 0;
        EXPECT_EQ(SQLGetStmtAttr(st, SQL_ATTR_ROW_NUMBER, &n, 0, nullptr), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        return n;
    }
    SQLRETURN Scroll(SQLSMALLINT orientation, SQLLEN offset = 0)
    {
        std::fill(std::begin(status), std::end(status), SQLUSMALLINT{99});
        fetched = 99;
        return SQLFetchScroll(st, orientation, offset);
    }
    std::string Name(int i) const { return nameInd[i] == SQL_NULL_DATA ? "<null>" : names[i]; }

    // kMoves over an open cursor of rowsets of six on the rows 1 .. 20,
    // named "row1" .. "row20", in that order.
    void EveryOrientation()
    {
        int step = 0;
        for (const Move &m : kMoves) {
            ++step;
            SQLRETURN rc = Scroll(m.orientation, m.offset);
            if (m.rows == 0) {
                EXPECT_EQ(rc, SQL_NO_DATA) << "step " << step << " " << Diags(SQL_HANDLE_STMT, st);
                EXPECT_EQ(fetched, 0u) << "step " << step;
                continue;
            }
            ASSERT_EQ(rc, m.firstInstead ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS)
                << "step " << step << " " << Diags(SQL_HANDLE_STMT, st);
            if (m.firstInstead)
                EXPECT_EQ(conntest::Diag(SQL_HANDLE_STMT, st), "01S06") << "step " << step;
            EXPECT_EQ(fetched, static_cast<SQLULEN>(m.rows)) << "step " << step;
            EXPECT_EQ(RowNumber(), static_cast<SQLULEN>(m.first)) << "step " << step;
            for (int i = 0; i < m.rows; ++i) {
                EXPECT_EQ(status[i], SQL_ROW_SUCCESS) << "step " << step << " row " << i;
                EXPECT_EQ(ids[i], m.first + i) << "step " << step << " row " << i;
                EXPECT_EQ(Name(i), "row" + std::to_string(m.first + i)) << "step " << step;
            }
            for (int i = m.rows; i < 6; ++i)
                EXPECT_EQ(status[i], SQL_ROW_NOROW) << "step " << step << " row " << i;
        }
    }
};

void MakeTable20(const std::string &table)
{
    OtherUser("drop table if exists " + table + "; create table " + table +
              " (id int primary key, name varchar(20), score int);"
              "insert into " + table + " select i, 'row' || i, 100 - i from generate_series(1, 20) i");
}

TEST_P(Keyset, TwentyRowsInEveryOrientation)
{
    MakeTable20("krs_kd.t20");
    KeysetCursor(6);
    ASSERT_EQ(Open("select id, name from krs_kd.t20 order by id"), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(CursorType(), static_cast<SQLULEN>(SQL_CURSOR_KEYSET_DRIVEN)) << "a table with a primary key keeps it";
    SQLLEN count = -2;
    EXPECT_EQ(SQLRowCount(st, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 20) << "the keyset's size";
    EveryOrientation();
    // Rowsets of one row, through SQLFetch as well.
    ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
    KeysetCursor(1);
    ASSERT_EQ(Open("select id, name from krs_kd.t20 where id > 17 order by id desc"), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    for (int want : {20, 19, 18}) {
        ASSERT_EQ(SQLFetch(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(ids[0], want);
    }
    EXPECT_EQ(SQLFetch(st), SQL_NO_DATA);
    ASSERT_EQ(Scroll(SQL_FETCH_PRIOR), SQL_SUCCESS);
    EXPECT_EQ(ids[0], 18);
    ASSERT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 2), SQL_SUCCESS);
    EXPECT_EQ(ids[0], 19);
}

TEST_P(Keyset, OtherUsersDeletesAndUpdatesShowAtTheirKeys)
{
    MakeTable20("krs_kd.tchg");
    KeysetCursor(5);
    ASSERT_EQ(Open("select id, name, score from krs_kd.tchg where id <= 8 order by score desc"), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    SQLINTEGER scores[kMaxRowset] = {};
    SQLLEN scoreInd[kMaxRowset] = {};
    ASSERT_EQ(SQLBindCol(st, 3, SQL_C_SLONG, scores, 0, scoreInd), SQL_SUCCESS);
    ASSERT_EQ(Scroll(SQL_FETCH_FIRST), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ids[i], i + 1) << "score descending is id ascending";

    // Row 2 goes; row 3 moves to the far end of the ORDER BY and gets a new
    // name; row 1 moves to the other end; row 9 (outside the keyset)
    // appears in range.  The rowset keeps the keyset's order and shows each
    // row's own values.
    OtherUser("delete from krs_kd.tchg where id = 2;"
              "update krs_kd.tchg set score = -5, name = 'moved' where id = 3;"
              "update krs_kd.tchg set score = 1000 where id = 1;"
              "update krs_kd.tchg set id = 0 where id = 9;"
              "update krs_kd.tchg set name = 'five' where id = 5");
    ASSERT_TRUE(SQL_SUCCEEDED(Scroll(SQL_FETCH_FIRST))) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(fetched, 5u);
    const struct {
        SQLUSMALLINT status;
        int id;
        const char *name;
        int score;
    } want[] = {
        {SQL_ROW_SUCCESS, 1, "row1", 1000},
        {SQL_ROW_DELETED, 0, nullptr, 0},
        {SQL_ROW_SUCCESS, 3, "moved", -5},
        {SQL_ROW_SUCCESS, 4, "row4", 96},
        {SQL_ROW_SUCCESS, 5, "five", 95},
    };
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(status[i], want[i].status);
        if (want[i].status != SQL_ROW_SUCCESS)
            continue;
        EXPECT_EQ(ids[i], want[i].id);
        EXPECT_EQ(Name(i), want[i].name);
        EXPECT_EQ(scores[i], want[i].score);
    }
    // The deleted key stays deleted; the keyset does not grow.
    SQLLEN count = 0;
    EXPECT_EQ(SQLRowCount(st, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 8);
    ASSERT_TRUE(SQL_SUCCEEDED(Scroll(SQL_FETCH_ABSOLUTE, 2)));
    EXPECT_EQ(status[0], SQL_ROW_DELETED);
    EXPECT_EQ(ids[1], 3);
    EXPECT_EQ(ids[2], 4);
    ASSERT_TRUE(SQL_SUCCEEDED(Scroll(SQL_FETCH_LAST))) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(RowNumber(), 4u);
    EXPECT_EQ(ids[1], 5);
    EXPECT_EQ(ids[4], 8);
    EXPECT_EQ(status[0], SQL_ROW_SUCCESS);
    // A row updated out of the statement's condition counts as gone.
    OtherUser("update krs_kd.tchg set id = 100 where id = 8");
    ASSERT_TRUE(SQL_SUCCEEDED(Scroll(SQL_FETCH_LAST)));
    EXPECT_EQ(status[4], SQL_ROW_DELETED);
    EXPECT_EQ(ids[3], 7);
}

struct KeyCase {
    const char *name;
    const char *ddl;     // makes krs_kd.k (and whatever else the case needs)
    const char *select;  // first column an int, second a text
    bool keyed;          // the cursor stays keyset-driven
    std::vector<int> ids;
};

TEST_P(Keyset, KeysOnlyFromUniqueNotNullColumnsOfTheTableItself)
{
    // Each case has tables of its own: a connection keeps the keys it found
    // per table for as long as it lives.
    const KeyCase cases[] = {
        {"unique index over NOT NULL columns, no primary key",
         "create table krs_kd.k1 (n int not null, code varchar(5) not null, note varchar(10));"
         "create unique index k1_u on krs_kd.k1 (code, n);"
         "insert into krs_kd.k1 values (1, 'a', 'x'), (2, 'a', 'y'), (3, 'b', null)",
         "select n, note from krs_kd.k1 order by n", true, {1, 2, 3}},
        {"a unique but nullable column holding NULL is no key",
         "create table krs_kd.k2 (n int, uq int unique, note varchar(10));"
         "insert into krs_kd.k2 values (1, null, 'x'), (2, null, 'y'), (3, 7, 'z')",
         "select n, note from krs_kd.k2 order by n", false, {1, 2, 3}},
        {"a partial unique index is no key",
         "create table krs_kd.k3 (n int not null, note varchar(10));"
         "create unique index k3_p on krs_kd.k3 (n) where n > 1;"
         "insert into krs_kd.k3 values (1, 'x'), (1, 'y'), (2, 'z')",
         "select n, note from krs_kd.k3 order by n, note", false, {1, 1, 2}},
        {"an expression index is no key",
         "create table krs_kd.k4 (n int not null, note varchar(10) not null);"
         "create unique index k4_e on krs_kd.k4 (lower(note));"
         "insert into krs_kd.k4 values (1, 'x'), (1, 'y')",
         "select n, note from krs_kd.k4 order by note", false, {1, 1}},
        {"the same name with a key in another schema does not count",
         "create table krs_kd.k5 (n int, note varchar(10));"
         "create table krs_kd2.k5 (n int primary key, note varchar(10));"
         "insert into krs_kd.k5 values (1, 'x'), (1, 'y')",
         "select n, note from krs_kd.k5 order by note", false, {1, 1}},
        {"an underscore in the name matches only itself",
         "create table krs_kd.k6_b (n int, note varchar(10));"
         "create table krs_kd.k6xb (n int primary key, note varchar(10));"
         "insert into krs_kd.k6_b values (4, 'x'), (4, 'y')",
         "select n, note from krs_kd.k6_b order by note", false, {4, 4}},
        {"an aggregate has no keys",
         "create table krs_kd.k7 (n int primary key, note varchar(10));"
         "insert into krs_kd.k7 values (1, 'x'), (2, 'y')",
         "select count(*), max(note) from krs_kd.k7", false, {2}},
        {"a DISTINCT result is not the rows the keys name",
         "create table krs_kd.k10 (n int primary key, grp int not null, note varchar(10));"
         "insert into krs_kd.k10 values (1, 5, 'x'), (2, 5, 'x'), (3, 6, 'y')",
         "select distinct grp, note from krs_kd.k10 order by grp", false, {5, 6}},
        {"a text primary key with non-ASCII values",
         "create table krs_kd.k9 (code text primary key, n int not null, note text);"
         "insert into krs_kd.k9 values ('\xc3\xa9t\xc3\xa9', 1, 'x'), ('a_b', 2, 'y'),"
         " ('a%b', 3, null)",
         "select n, note from krs_kd.k9 order by n", true, {1, 2, 3}},
        {"a join has the keys of both tables",
         "create table krs_kd.k8 (n int primary key, note varchar(10));"
         "create table krs_kd.j8 (grp int not null, m int not null, label varchar(10), primary key (grp, m));"
         "insert into krs_kd.k8 values (1, 'x'), (2, 'y');"
         "insert into krs_kd.j8 values (1, 1, 'p'), (1, 2, 'q'), (2, 1, 'r')",
         "select k.n, b.label from krs_kd.k8 k, krs_kd.j8 b where k.n = b.grp order by b.label", true, {1, 1, 2}},
    };
    for (const KeyCase &c : cases) {
        SCOPED_TRACE(c.name);
        OtherUser(c.ddl);
        KeysetCursor(4);
        std::string state;
        SQLRETURN rc = Open(c.select, &state);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << state << Diags(SQL_HANDLE_STMT, st);
        if (c.keyed) {
            EXPECT_EQ(rc, SQL_SUCCESS) << state;
            EXPECT_EQ(CursorType(), static_cast<SQLULEN>(SQL_CURSOR_KEYSET_DRIVEN));
        } else {
            EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO);
            EXPECT_EQ(state, "01S02");
            EXPECT_EQ(CursorType(), static_cast<SQLULEN>(SQL_CURSOR_STATIC));
        }
        // Whatever it became, it scrolls: LAST, then FIRST, never the next rows.
        ASSERT_EQ(Scroll(SQL_FETCH_LAST), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(Scroll(SQL_FETCH_FIRST), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(fetched, c.ids.size());
        for (size_t i = 0; i < c.ids.size(); ++i) {
            EXPECT_EQ(ids[i], c.ids[i]) << i;
            EXPECT_EQ(status[i], SQL_ROW_SUCCESS) << i;
        }
        EXPECT_EQ(Scroll(SQL_FETCH_PRIOR), SQL_NO_DATA);
        SQLCloseCursor(st);
        SQLFreeStmt(st, SQL_UNBIND);
    }
}

// A table named without its schema, with a namesake in another schema: the
// cursor works on the one the server itself finds, as forward-only does.
TEST_P(Keyset, UnqualifiedNameWithANamesakeInAnotherSchema)
{
    OtherUser("drop table if exists public.kd_twin; drop table if exists krs_kd.kd_twin;"
              "create table public.kd_twin (n int primary key, note varchar(10));"
              "create table krs_kd.kd_twin (n int primary key, note varchar(10));"
              "insert into public.kd_twin values (1, 'pub1'), (2, 'pub2');"
              "insert into krs_kd.kd_twin values (7, 'other')");
    for (SQLULEN type : {SQLULEN{SQL_CURSOR_KEYSET_DRIVEN}, SQLULEN{SQL_CURSOR_DYNAMIC}}) {
        SCOPED_TRACE(type);
        KeysetCursor(4);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(type), 0), SQL_SUCCESS);
        std::string state;
        ASSERT_EQ(Open("select n, note from kd_twin order by n", &state), SQL_SUCCESS)
            << state << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(CursorType(), type);
        ASSERT_EQ(Scroll(SQL_FETCH_FIRST), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(fetched, 2u);
        EXPECT_EQ(ids[0], 1);
        EXPECT_EQ(Name(1), "pub2");
        SQLCloseCursor(st);
        SQLFreeStmt(st, SQL_UNBIND);
    }
    OtherUser("drop table public.kd_twin");
}

TEST_P(Keyset, ParametersReachTheKeysetAndEveryFetch)
{
    MakeTable20("krs_kd.tpar");
    KeysetCursor(4);
    ASSERT_EQ(SQLPrepare(st, Sql("select id, name from krs_kd.tpar where score < ? and name <> ? order by id"), SQL_NTS),
              SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, st);
    SQLINTEGER limit = 88;  // ids 13 .. 20
    char skip[] = "row15";
    SQLLEN skipLen = SQL_NTS;
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &limit, 0, nullptr),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, skip, 0, &skipLen),
              SQL_SUCCESS);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, ids, 0, idInd), SQL_SUCCESS);
        ASSERT_EQ(SQLBindCol(st, 2, SQL_C_CHAR, names, sizeof names[0], nameInd), SQL_SUCCESS);
        SQLLEN count = 0;
        EXPECT_EQ(SQLRowCount(st, &count), SQL_SUCCESS);
        EXPECT_EQ(count, run == 0 ? 7 : 4);
        ASSERT_EQ(Scroll(SQL_FETCH_LAST), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(ids[i], 17 + i) << "the last four either way";
        ASSERT_EQ(Scroll(SQL_FETCH_FIRST), SQL_SUCCESS);
        EXPECT_EQ(ids[0], run == 0 ? 13 : 17);
        EXPECT_EQ(ids[2], run == 0 ? 16 : 19) << "row15 is left out by the second parameter";
        ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
        limit = 84;  // ids 17 .. 20, executed again after the close
    }
}

// Joins over the same tables under other aliases, one after the other on
// one connection: the keys it found for the tables serve each statement
// under that statement's own aliases, a self-join's two tables included.
TEST_P(Keyset, JoinsOfTheSameTablesUnderOtherAliases)
{
    MakeTable20("krs_kd.ja");
    OtherUser("drop table if exists krs_kd.jb; create table krs_kd.jb (aid int primary key, tag varchar(10));"
              "insert into krs_kd.jb select i, 'tag' || i from generate_series(1, 20) i");
    const struct {
        const char *sql;
        const char *secondName;   // the text column of the fourth row
    } cases[] = {
        {"select a1.id, b.tag from krs_kd.ja a1, krs_kd.jb b where a1.id = b.aid order by a1.id", "tag4"},
        {"select a2.id, b.tag from krs_kd.ja a2, krs_kd.jb b where a2.id = b.aid order by a2.id", "tag4"},
        {"select a2.id, bb.tag from krs_kd.ja a2, krs_kd.jb bb where a2.id = bb.aid order by a2.id", "tag4"},
        {"select x.id, y.name from krs_kd.ja x, krs_kd.ja y where x.id = y.id order by x.id", "row4"},
        {"select p.id, q.name from krs_kd.ja p, krs_kd.ja q where p.id = q.id order by p.id", "row4"},
    };
    KeysetCursor(4);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sql);
        ASSERT_EQ(Open(c.sql), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(CursorType(), static_cast<SQLULEN>(SQL_CURSOR_KEYSET_DRIVEN));
        ASSERT_EQ(Scroll(SQL_FETCH_LAST), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(ids[0], 17);
        ASSERT_EQ(Scroll(SQL_FETCH_FIRST), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(ids[3], 4);
        EXPECT_EQ(Name(3), c.secondName);
        ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
        SQLFreeStmt(st, SQL_UNBIND);
    }
}

TEST_P(Keyset, CompositeKeysOverTwoFetchStatements)
{
    // Three key columns: 85 key groups fit in one statement, so a rowset of
    // 100 rows takes two.
    OtherUser("drop table if exists krs_kd.tri; create table krs_kd.tri (a int, b varchar(8), c int, v int,"
              " primary key (a, b, c));"
              "insert into krs_kd.tri select i % 7, 'b' || (i % 3), i, i from generate_series(1, 230) i");
    KeysetCursor(100);
    ASSERT_EQ(Open("select v, b from krs_kd.tri order by v desc"), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    const struct {
        SQLSMALLINT orientation;
        SQLLEN offset;
        int firstV;
        int rows;
    } moves[] = {{SQL_FETCH_NEXT, 0, 230, 100}, {SQL_FETCH_NEXT, 0, 130, 100}, {SQL_FETCH_NEXT, 0, 30, 30},
                 {SQL_FETCH_ABSOLUTE, 51, 180, 100}, {SQL_FETCH_PRIOR, 0, 230, 50 /* clipped to the start */}};
    for (const auto &m : moves) {
        SCOPED_TRACE(m.firstV);
        SQLRETURN rc = Scroll(m.orientation, m.offset);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diags(SQL_HANDLE_STMT, st);
        if (m.orientation == SQL_FETCH_PRIOR) {
            // PRIOR from row 51 with rowsets of 100 lands on the first rowset.
            EXPECT_EQ(fetched, 100u);
            EXPECT_EQ(ids[0], 230);
            continue;
        }
        ASSERT_EQ(fetched, static_cast<SQLULEN>(m.rows));
        for (int i = 0; i < m.rows; ++i) {
            ASSERT_EQ(ids[i], m.firstV - i) << i;
            ASSERT_EQ(status[i], SQL_ROW_SUCCESS) << i;
            ASSERT_EQ(Name(i), "b" + std::to_string((m.firstV - i) % 3)) << i;
        }
    }
}

TEST_P(Keyset, LockAndValuesConcurrencyAreKept)
{
    MakeTable20("krs_kd.tconc");
    for (SQLULEN conc : {SQL_CONCUR_LOCK, SQL_CONCUR_VALUES}) {
        SCOPED_TRACE(conc);
        KeysetCursor(2);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(conc), 0), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        std::string state;
        SQLRETURN rc = Open("select id, name from krs_kd.tconc order by id", &state);
        ASSERT_EQ(rc, SQL_SUCCESS) << state << Diags(SQL_HANDLE_STMT, st);
        SQLULEN now = 0;
        SQLGetStmtAttr(st, SQL_ATTR_CONCURRENCY, &now, 0, nullptr);
        EXPECT_EQ(now, conc);
        EXPECT_EQ(CursorType(), static_cast<SQLULEN>(SQL_CURSOR_KEYSET_DRIVEN));
        ASSERT_EQ(Scroll(SQL_FETCH_LAST), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(ids[1], 20);
        SQLCloseCursor(st);
        SQLFreeStmt(st, SQL_UNBIND);
        SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_READ_ONLY), 0);
    }
}

// Key columns whose names need quoting: a double quote inside, upper-case
// letters, beside a lower-case column of the same letters that is no key.
// Found through the primary key or a unique index, they keep the cursor
// keyset-driven in every orientation, and positioned UPDATE and DELETE
// (under lock and under values concurrency, through a select list of
// columns or "*") change exactly their row.
TEST_P(Keyset, KeyColumnsWithQuotesOrUpperCaseInTheirNames)
{
    const struct {
        const char *table;
        const char *columns;  // the key column, a text column, and more
        const char *after;    // index made after the rows are in
        const char *select;
        SQLULEN concurrency;
        const char *seen;     // key and text as "key:text", read by another connection
    } cases[] = {
        {"krs_kd.q1", "(\"k\"\"1\" int primary key, \"t\"\"x\" varchar(20))", "",
         "select \"k\"\"1\", \"t\"\"x\" from krs_kd.q1 order by \"k\"\"1\"", SQL_CONCUR_VALUES,
         "\"k\"\"1\" || ':' || \"t\"\"x\""},
        {"krs_kd.q2", "(\"k\"\"1\" int not null, name varchar(20))", "create unique index on krs_kd.q2 (\"k\"\"1\")",
         "select * from krs_kd.q2 order by 1", SQL_CONCUR_LOCK, "\"k\"\"1\" || ':' || name"},
        {"krs_kd.\"Q\"\"3\"", "(\"Key\" int not null, name varchar(20), key int not null default 0)",
         "create unique index on krs_kd.\"Q\"\"3\" (\"Key\")",
         "select q.\"Key\", q.name from krs_kd.\"Q\"\"3\" q order by q.\"Key\"", SQL_CONCUR_VALUES,
         "\"Key\" || ':' || name"},
        {"krs_kd.q4", "(\"K\"\"ey\" int not null, name varchar(20), key int not null default 0)",
         "create unique index on krs_kd.q4 (\"K\"\"ey\")", "select \"K\"\"ey\", name from krs_kd.q4 order by key, \"K\"\"ey\" desc",
         SQL_CONCUR_LOCK, "\"K\"\"ey\" || ':' || name"},
        {"krs_kd.q5", "(\"Key\" int primary key, name varchar(20), key int not null default 0)", "",
         "select \"Key\", name from krs_kd.q5 order by \"Key\"", SQL_CONCUR_VALUES, "\"Key\" || ':' || name"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.select);
        OtherUser(std::string("drop table if exists ") + c.table + "; create table " + c.table + " " + c.columns + "; insert into " + c.table +
                  " select i, 'row' || i from generate_series(1, 20) i; " + c.after);
        KeysetCursor(6);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(c.concurrency), 0),
                  SQL_SUCCESS);
        std::string state;
        ASSERT_EQ(Open(c.select, &state), SQL_SUCCESS) << state << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(CursorType(), static_cast<SQLULEN>(SQL_CURSOR_KEYSET_DRIVEN));
        const bool descending = std::strstr(c.select, "desc") != nullptr;
        if (!descending)
            EveryOrientation();

        // Rows 3 .. 8 (from the end when the names descend); the second
        // gets a new name, the third goes.
        ASSERT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        const int updated = ids[1], deleted = ids[2];
        std::strcpy(names[1], "changed");
        nameInd[1] = SQL_NTS;
        ASSERT_EQ(SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLSetPos(st, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(Scroll(SQL_FETCH_RELATIVE, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(Name(1), "changed");
        EXPECT_EQ(status[2], SQL_ROW_DELETED);
        EXPECT_EQ(ids[3], descending ? deleted - 1 : deleted + 1);
        SQLCloseCursor(st);
        SQLFreeStmt(st, SQL_UNBIND);
        SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_READ_ONLY), 0);

        std::string want;
        for (int i = 1; i <= 20; ++i)
            if (i != deleted)
                want += (want.empty() ? "" : ",") + std::to_string(i) + ":" +
                        (i == updated ? "changed" : "row" + std::to_string(i));
        EXPECT_EQ(OtherUser(std::string("select string_agg(") + c.seen + ", ',') from (select * from " +
                                   c.table + " order by 1) x"),
                  want);
    }
}

// A dynamic cursor moves its window of keys by predicates over the same
// quoted key columns.
TEST_P(Keyset, DynamicCursorOverAQuotedKey)
{
    OtherUser("drop table if exists krs_kd.qd; create table krs_kd.qd (\"K\"\"1\" int primary key, name varchar(20));"
              "insert into krs_kd.qd select i, 'row' || i from generate_series(1, 20) i");
    KeysetCursor(6);
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_DYNAMIC), 0),
              SQL_SUCCESS);
    std::string state;
    ASSERT_TRUE(SQL_SUCCEEDED(Open("select \"K\"\"1\", name from krs_kd.qd order by \"K\"\"1\" desc", &state)))
        << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(CursorType(), static_cast<SQLULEN>(SQL_CURSOR_DYNAMIC)) << state;
    const struct {
        SQLSMALLINT orientation;
        SQLLEN offset;
        int first, rows;
    } moves[] = {{SQL_FETCH_NEXT, 0, 20, 6}, {SQL_FETCH_NEXT, 0, 14, 6}, {SQL_FETCH_PRIOR, 0, 20, 6},
                 {SQL_FETCH_LAST, 0, 6, 6},  {SQL_FETCH_PRIOR, 0, 12, 6}, {SQL_FETCH_RELATIVE, 3, 9, 6},
                 {SQL_FETCH_FIRST, 0, 20, 6}};
    for (const auto &m : moves) {
        SCOPED_TRACE(m.first);
        ASSERT_EQ(Scroll(m.orientation, m.offset), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(fetched, static_cast<SQLULEN>(m.rows));
        for (int i = 0; i < m.rows; ++i) {
            EXPECT_EQ(ids[i], m.first - i) << i;
            EXPECT_EQ(Name(i), "row" + std::to_string(m.first - i)) << i;
        }
    }
}

TEST_P(Keyset, KeysetAboveTheCacheInMemory)
{
    // 5200 keys: the keyset's cache spills to its files and the fetch reads
    // windows of keys back.
    OtherUser("drop table if exists krs_kd.big; create table krs_kd.big (id int primary key, name text);"
              "insert into krs_kd.big select i, 'v' || i from generate_series(1, 5200) i");
    KeysetCursor(10);
    ASSERT_EQ(Open("select id, name from krs_kd.big order by id desc"), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    SQLLEN count = 0;
    EXPECT_EQ(SQLRowCount(st, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 5200);
    OtherUser("delete from krs_kd.big where id in (7, 5000)");
    const struct {
        SQLSMALLINT orientation;
        SQLLEN offset;
        int firstId;  // id of the rowset's first row (ids descend)
        int rows;
        int deletedAt;  // row of the rowset whose key was deleted, -1 none
    } moves[] = {
        {SQL_FETCH_LAST, 0, 10, 10, 3},      {SQL_FETCH_FIRST, 0, 5200, 10, -1},
        {SQL_FETCH_ABSOLUTE, 196, 5005, 10, 5}, {SQL_FETCH_ABSOLUTE, 2600, 2601, 10, -1},
        {SQL_FETCH_RELATIVE, -2590, 5191, 10, -1}, {SQL_FETCH_ABSOLUTE, -3, 3, 3, -1},
    };
    for (const auto &m : moves) {
        SCOPED_TRACE(m.firstId);
        ASSERT_TRUE(SQL_SUCCEEDED(Scroll(m.orientation, m.offset))) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(fetched, static_cast<SQLULEN>(m.rows));
        for (int i = 0; i < m.rows; ++i) {
            if (i == m.deletedAt) {
                EXPECT_EQ(status[i], SQL_ROW_DELETED) << i;
                continue;
            }
            EXPECT_EQ(status[i], SQL_ROW_SUCCESS) << i;
            EXPECT_EQ(ids[i], m.firstId - i) << i;
            EXPECT_EQ(Name(i), "v" + std::to_string(m.firstId - i)) << i;
        }
    }
}

TEST_P(Keyset, ExtendedFetchAndRowsNotRetrieved)
{
    MakeTable20("krs_kd.text");
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_KEYSET_DRIVEN), 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ROWSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0), SQL_SUCCESS);
    ASSERT_EQ(Open("select id, name from krs_kd.text order by id"), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    SQLULEN got = 0;
    SQLUSMALLINT own[3] = {};
    ASSERT_EQ(SQLExtendedFetch(st, SQL_FETCH_ABSOLUTE, 19, &got, own), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(ids[0], 19);
    EXPECT_EQ(ids[1], 20);
    EXPECT_EQ(own[2], SQL_ROW_NOROW);
    ASSERT_EQ(SQLExtendedFetch(st, SQL_FETCH_PRIOR, 0, &got, own), SQL_SUCCESS);
    EXPECT_EQ(ids[0], 16);
    // Without data retrieval the statuses and counts still come.
    SQLCloseCursor(st);
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_RETRIEVE_DATA, reinterpret_cast<SQLPOINTER>(SQL_RD_OFF), 0), SQL_SUCCESS);
    ASSERT_EQ(Open("select id, name from krs_kd.text order by id"), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ids[0] = -7;
    ASSERT_EQ(SQLExtendedFetch(st, SQL_FETCH_LAST, 0, &got, own), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(got, 3u);
    EXPECT_EQ(own[0], SQL_ROW_SUCCESS);
    EXPECT_EQ(ids[0], -7) << "nothing written to the bound buffers";
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, Keyset, ::testing::Values("krs_w", "krs_a"),
                         [](const ::testing::TestParamInfo<const char *> &i) { return std::string(i.param); });

} // namespace

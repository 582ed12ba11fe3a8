// Dynamic and mixed cursors through unixODBC with both libraries, against
// PostgreSQL: results ordered by a nullable column with duplicates (the key
// completes the order) walked forward and backward across key windows, rows
// that another connection inserts appearing and rows it deletes vanishing,
// RELATIVE jumps farther than one fetch carries, and what SQLGetInfo says
// of them.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "tests/common/pg_env.h"
#include "tests/e2e/connect_common.h"

namespace {

using conntest::Diags;
using conntest::Sql;

PgEnv g_pg;

class DynMixEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(g_pg));
        PgPsql(g_pg, "drop schema if exists krs_dm cascade; create schema krs_dm;");
    }
    void TearDown() override { PgPsql(g_pg, "drop schema if exists krs_dm cascade"); }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new DynMixEnv);

// Another user's change, committed at once on its own connection.
void OtherUser(const std::string &sql) { PgPsql(g_pg, sql); }

// A cursor kind under test: dynamic, or keyset-driven with a key window.
struct Kind {
    const char *name;
    SQLULEN cursorType;
    SQLULEN keysetSize;
};
const Kind kKinds[] = {{"dynamic", SQL_CURSOR_DYNAMIC, 0}, {"mixed", SQL_CURSOR_KEYSET_DRIVEN, 20}};
constexpr SQLULEN kRowset = 5;

// id, then name: NULL for every fourth id, else one of three values, so
// that windows begin and end inside runs of equal names and of NULLs.
std::string NameOf(int id) { return id % 4 == 0 ? std::string() : "n" + std::to_string(id % 3); }

// The ids in the order of "ORDER BY name" completed by the key: names
// ascending with NULLs last (PostgreSQL's order), ties by id.
std::vector<int> Ordered(const std::vector<int> &ids)
{
    std::vector<int> v = ids;
    std::sort(v.begin(), v.end(), [](int a, int b) {
        const std::string na = NameOf(a), nb = NameOf(b);
        if (na.empty() != nb.empty())
            return nb.empty();
        return na != nb ? na < nb : a < b;
    });
    return v;
}

std::string InsertRows(int from, int to)
{
    return "insert into krs_dm.t select i, case when i % 4 = 0 then null else 'n' || (i % 3) end "
           "from generate_series(" + std::to_string(from) + ", " + std::to_string(to) + ") i";
}

class DynMix : public conntest::DsnStatement {
protected:
    SQLINTEGER ids[kRowset] = {};
    SQLLEN idInd[kRowset] = {};
    char names[kRowset][16] = {};
    SQLLEN nameInd[kRowset] = {};
    SQLUSMALLINT status[kRowset] = {};
    SQLULEN fetched = 0;
    bool checkNames = true;  // each row's name must be NameOf(id)

    void SetUp() override
    {
        conntest::DsnStatement::SetUp();
        if (HasFatalFailure())
            return;
        OtherUser("drop table if exists krs_dm.t; create table krs_dm.t (id int primary key, name varchar(10));" +
                  InsertRows(1, 45));
    }

    void Open(const Kind &k, const std::string &sql = "select id, name from krs_dm.t order by name",
              SQLULEN concurrency = SQL_CONCUR_READ_ONLY)
    {
        SQLFreeStmt(st, SQL_CLOSE);
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(k.cursorType), 0)))
            << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(concurrency), 0), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_KEYSET_SIZE, reinterpret_cast<SQLPOINTER>(k.keysetSize), 0),
                  SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kRowset), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
        ASSERT_EQ(SQLExecDirect(st, Sql(sql), SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        SQLULEN type = 99;
        ASSERT_EQ(SQLGetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
        ASSERT_EQ(type, k.cursorType) << "the cursor kept its type";
        SQLULEN conc = 99;
        ASSERT_EQ(SQLGetStmtAttr(st, SQL_ATTR_CONCURRENCY, &conc, 0, nullptr), SQL_SUCCESS);
        ASSERT_EQ(conc, concurrency) << "the cursor kept its concurrency";
        ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, ids, 0, idInd), SQL_SUCCESS);
        ASSERT_EQ(SQLBindCol(st, 2, SQL_C_CHAR, names, sizeof names[0], nameInd), SQL_SUCCESS);
    }

    // One fetch: its answer, and the ids of the rowset's rows (each row's
    // name checked against its id, its status a success).
    SQLRETURN Scroll(SQLSMALLINT orientation, SQLLEN offset, std::vector<int> *rows)
    {
        std::fill(std::begin(status), std::end(status), SQLUSMALLINT{99});
        fetched = 99;
        rows->clear();
        SQLRETURN rc = SQLFetchScroll(st, orientation, offset);
        if (!SQL_SUCCEEDED(rc))
            return rc;
        EXPECT_LE(fetched, kRowset);
        for (SQLULEN i = 0; i < fetched && i < kRowset; ++i) {
            EXPECT_EQ(status[i], SQL_ROW_SUCCESS) << "row " << i << " id " << ids[i];
            const std::string name = nameInd[i] == SQL_NULL_DATA ? std::string() : names[i];
            if (checkNames)
                EXPECT_EQ(name, NameOf(ids[i])) << "row " << i;
            rows->push_back(ids[i]);
        }
        return rc;
    }

    // NEXT from the start until no row is left: every id in order.
    std::vector<int> WalkForward()
    {
        std::vector<int> seen, rows;
        SQLRETURN rc = SQL_SUCCESS;
        for (int guard = 0; guard < 200 && SQL_SUCCEEDED(rc = Scroll(SQL_FETCH_NEXT, 0, &rows)); ++guard)
            seen.insert(seen.end(), rows.begin(), rows.end());
        EXPECT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, st);
        return seen;
    }

    // LAST, then PRIOR until before the start: the rowsets back to front.
    std::vector<int> WalkBackward()
    {
        std::vector<int> seen, rows;
        SQLRETURN rc = Scroll(SQL_FETCH_LAST, 0, &rows);
        for (int guard = 0; guard < 200 && SQL_SUCCEEDED(rc); ++guard) {
            seen.insert(seen.begin(), rows.begin(), rows.end());
            rc = Scroll(SQL_FETCH_PRIOR, 0, &rows);
        }
        EXPECT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, st);
        return seen;
    }

    // SQLSetPos UPDATE of rowset row r (1-based) giving the row the name
    // `name`; the id is left out.
    SQLRETURN UpdateName(SQLSETPOSIROW r, const char *name)
    {
        std::snprintf(names[r - 1], sizeof names[r - 1], "%s", name);
        nameInd[r - 1] = SQL_NTS;
        idInd[r - 1] = SQL_COLUMN_IGNORE;
        return SQLSetPos(st, r, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
    }
};

// The rows of krs_dm.t whose ids are listed, as "id:name" ("-" for NULL),
// in id order, read by another session.
std::string SeenByAnother(const std::string &ids)
{
    return PgPsql(g_pg, "select string_agg(id || ':' || coalesce(name, '-'), ' ' order by id) from krs_dm.t "
                        "where id in (" + ids + ")");
}

// Another session's update of row `id`, waiting for its lock at most
// 300 ms: "" when it went through, else the server's complaint.
std::string UpdateElsewhere(int id)
{
    return PgPsql(g_pg, "set lock_timeout = '300ms'; update krs_dm.t set name = name where id = " + std::to_string(id));
}

// What LAST and then PRIOR until the start show, front to back: rowsets R
// rows apart from the end, and the first rowset last (it overlaps the one
// before when the rows are no multiple of R).
std::vector<int> BackwardRowsets(const std::vector<int> &order)
{
    const int n = static_cast<int>(order.size()), r = static_cast<int>(kRowset);
    std::vector<int> out;
    int start = std::max(0, n - r);
    for (;;) {
        out.insert(out.begin(), order.begin() + start, order.begin() + std::min(start + r, n));
        if (start == 0)
            break;
        start = std::max(0, start - r);
    }
    return out;
}

std::vector<int> Range(int from, int to)
{
    std::vector<int> v;
    for (int i = from; i <= to; ++i)
        v.push_back(i);
    return v;
}

TEST_P(DynMix, EveryRowOnceForwardAndBackwardAcrossWindows)
{
    const std::vector<int> expected = Ordered(Range(1, 45));
    for (const Kind &k : kKinds) {
        SCOPED_TRACE(k.name);
        Open(k);
        EXPECT_EQ(WalkForward(), expected);
        EXPECT_EQ(WalkBackward(), BackwardRowsets(expected));
        // And forward again after the walk back reached the start.
        EXPECT_EQ(WalkForward(), expected);
    }
}

TEST_P(DynMix, MovesLandWhereOdbcSays)
{
    const std::vector<int> order = Ordered(Range(1, 45));
    auto slice = [&](int first, int count) {
        return std::vector<int>(order.begin() + first, order.begin() + std::min<int>(first + count, 45));
    };
    struct Move {
        SQLSMALLINT orientation;
        SQLLEN offset;
        int first;  // 0-based first row; -1 for SQL_NO_DATA
    };
    const Move moves[] = {
        {SQL_FETCH_FIRST, 0, 0},    {SQL_FETCH_RELATIVE, 3, 3},   {SQL_FETCH_PRIOR, 0, 0},
        {SQL_FETCH_RELATIVE, 22, 22}, {SQL_FETCH_RELATIVE, -7, 15}, {SQL_FETCH_RELATIVE, 0, 15},
        {SQL_FETCH_NEXT, 0, 20},    {SQL_FETCH_RELATIVE, -20, 0}, {SQL_FETCH_RELATIVE, -1, -1},
        {SQL_FETCH_RELATIVE, 0, -1}, {SQL_FETCH_NEXT, 0, 0},     {SQL_FETCH_LAST, 0, 40},
        {SQL_FETCH_RELATIVE, 3, 43}, {SQL_FETCH_NEXT, 0, -1},    {SQL_FETCH_RELATIVE, 0, -1},
        {SQL_FETCH_PRIOR, 0, 40},     {SQL_FETCH_RELATIVE, -38, 2},
        {SQL_FETCH_RELATIVE, -3, 0}, {SQL_FETCH_ABSOLUTE, 2, -2},
        // RELATIVE from before the start or after the end moves as ABSOLUTE.
        {SQL_FETCH_RELATIVE, -1, -1}, {SQL_FETCH_RELATIVE, 5, 4},   {SQL_FETCH_RELATIVE, -10, -1},
        {SQL_FETCH_RELATIVE, 1, 0},   {SQL_FETCH_PRIOR, 0, -1},     {SQL_FETCH_RELATIVE, 50, -1},
        {SQL_FETCH_RELATIVE, -3, 42}, {SQL_FETCH_NEXT, 0, -1},      {SQL_FETCH_RELATIVE, -5, 40},
        {SQL_FETCH_NEXT, 0, -1},      {SQL_FETCH_RELATIVE, -12, 33}, {SQL_FETCH_RELATIVE, 20, -1},
        {SQL_FETCH_RELATIVE, -46, -1}, {SQL_FETCH_NEXT, 0, 0},
    };
    for (const Kind &k : kKinds) {
        SCOPED_TRACE(k.name);
        Open(k);
        for (const Move &m : moves) {
            SCOPED_TRACE(testing::Message() << "orientation " << m.orientation << " by " << m.offset);
            std::vector<int> rows;
            SQLRETURN rc = Scroll(m.orientation, m.offset, &rows);
            if (m.first == -2) {
                // Dynamic and mixed cursors have no absolute rows.
                EXPECT_EQ(rc, SQL_ERROR);
                EXPECT_EQ(conntest::Diag(SQL_HANDLE_STMT, st), "HY106");
                continue;
            }
            if (m.first < 0) {
                EXPECT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, st);
                continue;
            }
            ASSERT_TRUE(SQL_SUCCEEDED(rc)) << rc << " " << Diags(SQL_HANDLE_STMT, st);
            EXPECT_EQ(rows, slice(m.first, kRowset));
        }
    }
}

TEST_P(DynMix, OtherUsersInsertsAppearAndDeletesVanish)
{
    for (const Kind &k : kKinds) {
        SCOPED_TRACE(k.name);
        OtherUser("delete from krs_dm.t; " + InsertRows(1, 45));
        Open(k);
        std::vector<int> rows;
        ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        // Beyond the first window (a mixed cursor's window is a keyset): new
        // rows in runs of equal names and among the NULLs, and rows deleted
        // from both.
        const std::vector<int> before = Ordered(Range(1, 45));
        OtherUser("insert into krs_dm.t values (46, 'n1'), (47, 'n2'), (48, null), (50, 'n2');"
                  "delete from krs_dm.t where id in (" +
                  std::to_string(before[30]) + ", " + std::to_string(before[44]) + ", " + std::to_string(before[41]) +
                  ")");
        std::vector<int> now = Range(1, 48);
        now.push_back(50);
        for (int gone : {before[30], before[44], before[41]})
            now.erase(std::find(now.begin(), now.end(), gone));
        std::vector<int> seen = rows;
        const std::vector<int> rest = WalkForward();
        seen.insert(seen.end(), rest.begin(), rest.end());
        // The first rowset was read before the change.
        std::vector<int> expected = Ordered(now);
        expected.erase(std::remove_if(expected.begin(), expected.end(),
                                      [&](int id) { return std::find(rows.begin(), rows.end(), id) != rows.end(); }),
                       expected.end());
        expected.insert(expected.begin(), rows.begin(), rows.end());
        EXPECT_EQ(seen, expected);
        EXPECT_EQ(WalkBackward(), BackwardRowsets(Ordered(now)));
    }
}

TEST_P(DynMix, DynamicRowsetsFollowChangesAtOnce)
{
    // A dynamic cursor reads every rowset afresh: a row inserted right after
    // the current rowset is the next one, a row deleted in the next rowset
    // is not seen, not even as deleted.
    OtherUser("delete from krs_dm.t; " + InsertRows(1, 45));
    Open(kKinds[0]);
    std::vector<int> rows;
    const std::vector<int> order = Ordered(Range(1, 45));
    ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(Scroll(SQL_FETCH_RELATIVE, 7, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(rows, std::vector<int>(order.begin() + 7, order.begin() + 12));
    // Id 51 ('n0') sorts right after the last 'n0' row of this rowset; the
    // row two places further is deleted.
    ASSERT_EQ(order[11], 45);
    OtherUser("insert into krs_dm.t values (51, 'n0'); delete from krs_dm.t where id = " + std::to_string(order[13]));
    std::vector<int> now = Range(1, 45);
    now.push_back(51);
    now.erase(std::find(now.begin(), now.end(), order[13]));
    const std::vector<int> expected = Ordered(now);
    ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(rows, std::vector<int>(expected.begin() + 12, expected.begin() + 17));
    ASSERT_EQ(Scroll(SQL_FETCH_PRIOR, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(rows, std::vector<int>(expected.begin() + 7, expected.begin() + 12));
}

// A table krs_dm.s of ids 10, 20 .. 450 (names not checked).
void MakeTensTable()
{
    OtherUser("drop table if exists krs_dm.s; create table krs_dm.s (id int primary key, name varchar(10)); "
              "insert into krs_dm.s select i, 'r' from generate_series(10, 450, 10) i");
}

TEST_P(DynMix, DynamicWindowsReadNoFurtherThanTheyReachYetSeeEveryChange)
{
    // Each window reads no more keys than its rowset takes; rows other
    // users insert or delete between the moves, next to the window, across
    // more than a rowset, or before the first rowset, still count.
    MakeTensTable();
    checkNames = false;
    Open(kKinds[0], "select id, name from krs_dm.s order by id");
    struct Move {
        const char *otherUser;  // run first, when not empty
        SQLSMALLINT orientation;
        SQLLEN offset;
        SQLRETURN rc;
        std::vector<int> rows;
    };
    const Move moves[] = {
        {"", SQL_FETCH_FIRST, 0, SQL_SUCCESS, {10, 20, 30, 40, 50}},
        {"insert into krs_dm.s values (55, 'r'); delete from krs_dm.s where id in (60, 70)", SQL_FETCH_NEXT, 0,
         SQL_SUCCESS, {55, 80, 90, 100, 110}},
        {"delete from krs_dm.s where id between 120 and 200", SQL_FETCH_NEXT, 0, SQL_SUCCESS,
         {210, 220, 230, 240, 250}},
        {"", SQL_FETCH_RELATIVE, -3, SQL_SUCCESS, {90, 100, 110, 210, 220}},
        {"insert into krs_dm.s values (1, 'r'), (2, 'r')", SQL_FETCH_FIRST, 0, SQL_SUCCESS, {1, 2, 10, 20, 30}},
        {"", SQL_FETCH_PRIOR, 0, SQL_NO_DATA, {}},
        {"", SQL_FETCH_NEXT, 0, SQL_SUCCESS, {1, 2, 10, 20, 30}},
        {"", SQL_FETCH_RELATIVE, 2, SQL_SUCCESS, {10, 20, 30, 40, 50}},
        // Fewer rows than a rowset before it now: the first rowset.
        {"delete from krs_dm.s where id = 1", SQL_FETCH_PRIOR, 0, SQL_SUCCESS_WITH_INFO, {2, 10, 20, 30, 40}},
        {"insert into krs_dm.s values (3, 'r'), (4, 'r'), (5, 'r'), (6, 'r')", SQL_FETCH_RELATIVE, 4,
         SQL_SUCCESS, {6, 10, 20, 30, 40}},
        {"", SQL_FETCH_RELATIVE, -3, SQL_SUCCESS, {3, 4, 5, 6, 10}},
        {"", SQL_FETCH_RELATIVE, -3, SQL_SUCCESS_WITH_INFO, {2, 3, 4, 5, 6}},
        {"delete from krs_dm.s where id > 400", SQL_FETCH_LAST, 0, SQL_SUCCESS, {360, 370, 380, 390, 400}},
        {"", SQL_FETCH_NEXT, 0, SQL_NO_DATA, {}},
        {"", SQL_FETCH_PRIOR, 0, SQL_SUCCESS, {360, 370, 380, 390, 400}},
    };
    int step = 0;
    for (const Move &m : moves) {
        SCOPED_TRACE(testing::Message() << "move " << ++step);
        if (*m.otherUser)
            OtherUser(m.otherUser);
        std::vector<int> rows;
        const SQLRETURN rc = Scroll(m.orientation, m.offset, &rows);
        ASSERT_EQ(rc, m.rc) << Diags(SQL_HANDLE_STMT, st);
        if (rc == SQL_SUCCESS_WITH_INFO)
            EXPECT_EQ(conntest::Diag(SQL_HANDLE_STMT, st), "01S06");
        EXPECT_EQ(rows, m.rows);
    }
}

TEST_P(DynMix, ARowThatVanishesBetweenKeysAndRowsMakesTheWindowBeReadAgain)
{
    // krs_dm_alive(id) answers 1 once for an id listed in krs_dm.victim and
    // 0 from then on: the key read sees the row, the fetch of the rows by
    // key no longer finds it, and the window is read again where it stands.
    MakeTensTable();
    OtherUser("drop table if exists krs_dm.victim; drop table if exists krs_dm.dead;"
              "create table krs_dm.victim (id int primary key); create table krs_dm.dead (id int primary key);"
              "create or replace function krs_dm_alive(k int) returns int volatile language plpgsql as ' "
              "begin "
              "  if exists (select 1 from krs_dm.dead where id = k) then return 0; end if; "
              "  if exists (select 1 from krs_dm.victim where id = k) then "
              "    delete from krs_dm.victim where id = k; insert into krs_dm.dead values (k); "
              "  end if; "
              "  return 1; "
              "end'");
    checkNames = false;
    Open(kKinds[0], "select id, name from krs_dm.s where krs_dm_alive(id) = 1 order by id");
    std::vector<int> rows;
    ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(rows, std::vector<int>({10, 20, 30, 40, 50}));
    OtherUser("insert into krs_dm.victim values (70)");
    ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(rows, std::vector<int>({60, 80, 90, 100, 110}));
    EXPECT_EQ(PgPsql(g_pg, "select count(*) from krs_dm.victim"), "0") << "the key read saw the victim";
    OtherUser("insert into krs_dm.victim values (30)");
    ASSERT_EQ(Scroll(SQL_FETCH_PRIOR, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(rows, std::vector<int>({10, 20, 40, 50, 60}));
    ASSERT_EQ(Scroll(SQL_FETCH_RELATIVE, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(rows, std::vector<int>({10, 20, 40, 50, 60}));
    SQLFreeStmt(st, SQL_CLOSE);
    OtherUser("drop function krs_dm_alive(int)");
}

TEST_P(DynMix, WindowsFollowTheStatementRunOnTheHandle)
{
    // One statement handle runs different statements, and one statement
    // with different parameter values: each result's windows are its own.
    const std::vector<int> byName = Ordered(Range(1, 45));
    for (const Kind &k : kKinds) {
        SCOPED_TRACE(k.name);
        std::vector<int> rows;
        Open(k);
        ASSERT_EQ(Scroll(SQL_FETCH_LAST, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(rows, std::vector<int>(byName.end() - 5, byName.end()));
        ASSERT_EQ(Scroll(SQL_FETCH_PRIOR, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(rows, std::vector<int>(byName.end() - 10, byName.end() - 5));

        Open(k, "select id, name from krs_dm.t where id > 20 order by id");
        ASSERT_EQ(Scroll(SQL_FETCH_LAST, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(rows, Range(41, 45));
        ASSERT_EQ(Scroll(SQL_FETCH_PRIOR, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(rows, Range(36, 40));
        ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(rows, Range(21, 25));

        SQLFreeStmt(st, SQL_CLOSE);
        SQLINTEGER above = 0;
        SQLLEN aboveInd = 0;
        ASSERT_EQ(SQLPrepare(st, Sql("select id, name from krs_dm.t where id > ? order by id desc"), SQL_NTS),
                  SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &above, 0, &aboveInd),
                  SQL_SUCCESS);
        for (SQLINTEGER from : {10, 30}) {
            SCOPED_TRACE(testing::Message() << "ids above " << from);
            above = from;
            ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
            ASSERT_EQ(Scroll(SQL_FETCH_LAST, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
            EXPECT_EQ(rows, std::vector<int>({from + 5, from + 4, from + 3, from + 2, from + 1}));
            ASSERT_EQ(Scroll(SQL_FETCH_PRIOR, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
            EXPECT_EQ(rows, std::vector<int>({from + 10, from + 9, from + 8, from + 7, from + 6}));
            ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
            EXPECT_EQ(rows, std::vector<int>({45, 44, 43, 42, 41}));
            ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
            EXPECT_EQ(rows, std::vector<int>({40, 39, 38, 37, 36}));
            SQLFreeStmt(st, SQL_CLOSE);
        }
        // A prepared statement keeps its cursor type: the next kind gets a
        // handle of its own.
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        st = nullptr;
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), SQL_SUCCESS);
    }
}

TEST_P(DynMix, RelativeJumpsBeyondOneFetch)
{
    // More rows than one fetch of the back end carries (65535): a jump over
    // them neither wraps nor stops short.
    OtherUser("create table krs_dm.big (id int primary key, v int); "
              "insert into krs_dm.big select i, i % 10 from generate_series(1, 70010) i");
    checkNames = false;
    for (const Kind &k : kKinds) {
        SCOPED_TRACE(k.name);
        Open(k, "select id, v from krs_dm.big order by id");
        std::vector<int> rows;
        ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(rows, Range(1, 5));
        ASSERT_EQ(Scroll(SQL_FETCH_RELATIVE, 66000, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(rows, Range(66001, 66005));
        ASSERT_EQ(Scroll(SQL_FETCH_RELATIVE, -65999, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(rows, Range(2, 6));
        EXPECT_EQ(Scroll(SQL_FETCH_RELATIVE, 70010, &rows), SQL_NO_DATA);
        ASSERT_EQ(Scroll(SQL_FETCH_PRIOR, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(rows, Range(70006, 70010));
    }
    OtherUser("drop table krs_dm.big");
}

TEST_P(DynMix, InformationSaysWhatTheCursorsDo)
{
    SQLUINTEGER v = 0;
    ASSERT_EQ(SQLGetInfo(dbc, SQL_SCROLL_OPTIONS, &v, sizeof v, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v & (SQL_SO_DYNAMIC | SQL_SO_MIXED), static_cast<SQLUINTEGER>(SQL_SO_DYNAMIC | SQL_SO_MIXED));
    ASSERT_EQ(SQLGetInfo(dbc, SQL_DYNAMIC_CURSOR_ATTRIBUTES1, &v, sizeof v, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, static_cast<SQLUINTEGER>(SQL_CA1_NEXT | SQL_CA1_RELATIVE | SQL_CA1_LOCK_NO_CHANGE |
                                          SQL_CA1_POS_POSITION | SQL_CA1_POS_REFRESH | SQL_CA1_POS_UPDATE |
                                          SQL_CA1_POS_DELETE));
    ASSERT_EQ(SQLGetInfo(dbc, SQL_DYNAMIC_CURSOR_ATTRIBUTES2, &v, sizeof v, nullptr), SQL_SUCCESS);
    EXPECT_TRUE(v & SQL_CA2_READ_ONLY_CONCURRENCY);
    EXPECT_TRUE(v & SQL_CA2_LOCK_CONCURRENCY);
    EXPECT_TRUE(v & SQL_CA2_OPT_VALUES_CONCURRENCY);
    EXPECT_FALSE(v & SQL_CA2_OPT_ROWVER_CONCURRENCY);
    EXPECT_TRUE(v & SQL_CA2_SENSITIVITY_ADDITIONS);
    EXPECT_TRUE(v & SQL_CA2_SENSITIVITY_DELETIONS);
    EXPECT_TRUE(v & SQL_CA2_SENSITIVITY_UPDATES);
    // An aggregate has no keys: its dynamic cursor is served as a static
    // one, which honours every orientation.
    SQLFreeStmt(st, SQL_CLOSE);
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_DYNAMIC), 0)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql("select count(*) from krs_dm.t"), SQL_NTS)))
        << Diags(SQL_HANDLE_STMT, st);
    SQLULEN type = 0;
    EXPECT_EQ(SQLGetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(type, static_cast<SQLULEN>(SQL_CURSOR_STATIC));
    SQLINTEGER count = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, &count, 0, &ind), SQL_SUCCESS);
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_LAST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(count, 45);
    EXPECT_EQ(SQLFetchScroll(st, SQL_FETCH_PRIOR, 0), SQL_NO_DATA);
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_FIRST, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLFetchScroll(st, SQL_FETCH_NEXT, 0), SQL_NO_DATA);
}

// A self-join: both tables have the same key column, told apart by the
// alias only.  Each ORDER BY item is matched to the key of the table it
// names, so the windows scroll by the right keys in either direction.
TEST_P(DynMix, SelfJoinOrderedByEitherTablesKey)
{
    std::vector<int> down = Range(1, 45);
    std::reverse(down.begin(), down.end());
    const struct {
        const char *orderBy;
        std::vector<int> order;
    } cases[] = {
        {"t.id desc", down},
        {"x.id", Range(1, 45)},
        {"x.name, t.id", Ordered(Range(1, 45))},
    };
    for (const Kind &k : kKinds)
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(k.name) + ", order by " + c.orderBy);
            Open(k, std::string("select t.id, x.name from krs_dm.t, krs_dm.t x where t.id = x.id order by ") +
                        c.orderBy);
            EXPECT_EQ(WalkForward(), c.order);
            EXPECT_EQ(WalkBackward(), BackwardRowsets(c.order));
        }
}

// Mixed and dynamic cursors keep lock and values concurrency, and scroll
// under them as under read-only.
TEST_P(DynMix, LockAndValuesAreKept)
{
    OtherUser("delete from krs_dm.t; " + InsertRows(1, 45));
    for (const Kind &k : kKinds) {
        for (SQLULEN conc : {SQL_CONCUR_LOCK, SQL_CONCUR_VALUES}) {
            SCOPED_TRACE(testing::Message() << k.name << " concurrency " << conc);
            Open(k, "select id, name from krs_dm.t order by name", conc);
            EXPECT_EQ(WalkBackward(), BackwardRowsets(Ordered(Range(1, 45))));
            EXPECT_EQ(WalkForward(), Ordered(Range(1, 45)));
        }
    }
}

// A dynamic cursor under values concurrency: each change is checked against
// the values the cursor read (a NULL among them included), and its own
// changes are what it compares with next.
TEST_P(DynMix, DynamicValuesUpdateDeleteAdd)
{
    checkNames = false;
    Open(kKinds[0], "select id, name from krs_dm.t order by id", SQL_CONCUR_VALUES);
    std::vector<int> rows;
    ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(rows, Range(1, 5));
    ASSERT_EQ(nameInd[3], SQL_NULL_DATA);  // id 4 has no name
    // POSITION and REFRESH work on the rowset as fetched.
    ASSERT_EQ(SQLSetPos(st, 3, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    SQLINTEGER at = 0;
    SQLLEN atInd = 0;
    ASSERT_EQ(SQLGetData(st, 1, SQL_C_SLONG, &at, 0, &atInd), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(at, 3);
    ids[0] = -1;
    ASSERT_EQ(SQLSetPos(st, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(ids[0], 1);

    // Row 4 is found by its NULL name; a second update of it, with no fetch
    // between, compares with the values the first one wrote.
    ASSERT_EQ(UpdateName(4, "mine"), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(status[3], SQL_ROW_UPDATED);
    EXPECT_EQ(SeenByAnother("4"), "4:mine");
    ASSERT_EQ(UpdateName(4, "again"), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(status[3], SQL_ROW_UPDATED);
    EXPECT_EQ(SeenByAnother("3,4,5"), "3:n0 4:again 5:n2");

    // Another session changes row 2 meanwhile: the update finds no row, the
    // row is in error and keeps the other session's value.
    OtherUser("update krs_dm.t set name = 'theirs' where id = 2");
    EXPECT_EQ(UpdateName(2, "lost"), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(conntest::Diag(SQL_HANDLE_STMT, st), "01001");
    EXPECT_EQ(status[1], SQL_ROW_ERROR);
    EXPECT_EQ(SeenByAnother("1,2,3"), "1:n1 2:theirs 3:n0");

    // DELETE, and ADD from the bound buffers of row 1.
    ASSERT_EQ(SQLSetPos(st, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(status[2], SQL_ROW_DELETED);
    ids[0] = 100;
    idInd[0] = 0;
    std::snprintf(names[0], sizeof names[0], "added");
    nameInd[0] = SQL_NTS;
    ASSERT_EQ(SQLSetPos(st, 1, SQL_ADD, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(status[0], SQL_ROW_ADDED);
    EXPECT_EQ(SeenByAnother("1,2,3,4,100"), "1:n1 2:theirs 4:again 100:added");

    // The cursor's next rowset shows all of it; the row it saw changed is
    // updatable again once fetched afresh.
    ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(rows, (std::vector<int>{1, 2, 4, 5, 6}));
    EXPECT_STREQ(names[1], "theirs");
    ASSERT_EQ(UpdateName(2, "mine too"), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(Scroll(SQL_FETCH_LAST, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(rows.back(), 100);
    EXPECT_EQ(SeenByAnother("1,2"), "1:n1 2:mine too");
    EXPECT_EQ(PgPsql(g_pg, "select count(*) from krs_dm.t"), "45");
}

// Every row of a dynamic rowset at once: a row another session changed is
// in error and keeps its value, the others change, and each of them can be
// changed again without a fetch.
TEST_P(DynMix, DynamicValuesUpdateOfEveryRow)
{
    checkNames = false;
    Open(kKinds[0], "select id, name from krs_dm.t order by id", SQL_CONCUR_VALUES);
    std::vector<int> rows;
    ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(rows, Range(6, 10));
    OtherUser("update krs_dm.t set name = 'theirs' where id = 8");
    for (SQLULEN i = 0; i < kRowset; ++i) {
        std::snprintf(names[i], sizeof names[i], "all%d", ids[i]);
        nameInd[i] = SQL_NTS;
        idInd[i] = SQL_COLUMN_IGNORE;
    }
    EXPECT_EQ(SQLSetPos(st, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS_WITH_INFO) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(std::vector<SQLUSMALLINT>(status, status + kRowset),
              (std::vector<SQLUSMALLINT>{SQL_ROW_UPDATED, SQL_ROW_UPDATED, SQL_ROW_ERROR, SQL_ROW_UPDATED,
                                         SQL_ROW_UPDATED}));
    EXPECT_EQ(SeenByAnother("6,7,8,9,10"), "6:all6 7:all7 8:theirs 9:all9 10:all10");
    for (SQLULEN i = 0; i < kRowset; ++i)
        idInd[i] = 0;
    ASSERT_EQ(UpdateName(5, "once more"), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(UpdateName(1, "and again"), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(SeenByAnother("6,10"), "6:and again 10:once more");
}

// Under lock concurrency the rows of the rowset a dynamic or mixed cursor
// fetched are locked until the transaction ends; the cursor's own session
// changes them.
TEST_P(DynMix, LockHoldsTheRowsetsRows)
{
    checkNames = false;
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_SUCCESS);
    for (const Kind &k : kKinds) {
        SCOPED_TRACE(k.name);
        OtherUser("delete from krs_dm.t; " + InsertRows(1, 45));
        Open(k, "select id, name from krs_dm.t order by id", SQL_CONCUR_LOCK);
        std::vector<int> rows;
        ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(rows, Range(1, 5));
        EXPECT_NE(UpdateElsewhere(3).find("lock timeout"), std::string::npos);
        EXPECT_EQ(UpdateElsewhere(8), "");
        ASSERT_EQ(UpdateName(3, "mine"), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(status[2], SQL_ROW_UPDATED);
        ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(rows, Range(6, 10));
        EXPECT_NE(UpdateElsewhere(8).find("lock timeout"), std::string::npos);
        ASSERT_EQ(SQLSetPos(st, 2, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        // Nothing is seen elsewhere before the commit; the locks end with it.
        EXPECT_EQ(SeenByAnother("3,7"), "3:n0 7:n1");
        ASSERT_EQ(SQLFreeStmt(st, SQL_CLOSE), SQL_SUCCESS);
        ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
        EXPECT_EQ(SeenByAnother("3,7"), "3:mine");
        EXPECT_EQ(UpdateElsewhere(3), "");
        EXPECT_EQ(UpdateElsewhere(8), "");
    }
}

// A row another session holds locked cannot be locked by the fetch: the
// server's reason, then the row error; once that session ends, the same
// fetch goes through.
TEST_P(DynMix, ARowLockedElsewhereFailsTheFetch)
{
    conntest::Handles other;
    ASSERT_TRUE(conntest::Ok(other.DriverConnect(std::string("DSN=") + GetParam()))) << other.State();
    ASSERT_EQ(SQLSetConnectAttr(other.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_SUCCESS);
    SQLHSTMT holder = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, other.dbc, &holder), SQL_SUCCESS);
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql("set lock_timeout = '300ms'"), SQL_NTS)));
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
    checkNames = false;
    for (const Kind &k : kKinds) {
        SCOPED_TRACE(k.name);
        ASSERT_EQ(SQLExecDirect(holder, Sql("update krs_dm.t set name = name where id = 2"), SQL_NTS), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, holder);
        Open(k, "select id, name from krs_dm.t order by id", SQL_CONCUR_LOCK);
        std::vector<int> rows;
        EXPECT_EQ(Scroll(SQL_FETCH_FIRST, 0, &rows), SQL_ERROR);
        const std::string all = Diags(SQL_HANDLE_STMT, st);
        const size_t reason = all.find("lock timeout"), rowError = all.find("01S01:");
        EXPECT_NE(reason, std::string::npos) << all;
        EXPECT_NE(rowError, std::string::npos) << all;
        EXPECT_LT(reason, rowError) << all;
        SQLFreeStmt(st, SQL_CLOSE);
        SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
        ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, other.dbc, SQL_ROLLBACK), SQL_SUCCESS);
        Open(k, "select id, name from krs_dm.t order by id", SQL_CONCUR_LOCK);
        ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(rows, Range(1, 5));
        SQLFreeStmt(st, SQL_CLOSE);
        SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, holder);
}

// A mixed cursor under values concurrency changes rows of a rowset that lies
// in a key window read after the first one, forward and back.
TEST_P(DynMix, MixedValuesUpdateAfterTheWindowMoves)
{
    checkNames = false;
    Open(kKinds[1], "select id, name from krs_dm.t order by id", SQL_CONCUR_VALUES);
    std::vector<int> rows;
    ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(rows, Range(21, 25));  // the second window's first rowset
    ASSERT_EQ(UpdateName(3, "w2"), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(status[2], SQL_ROW_UPDATED);
    OtherUser("update krs_dm.t set name = 'theirs' where id = 24");
    EXPECT_EQ(UpdateName(4, "lost"), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(conntest::Diag(SQL_HANDLE_STMT, st), "01001");
    EXPECT_EQ(status[3], SQL_ROW_ERROR);
    EXPECT_EQ(SeenByAnother("22,23,24,25"), "22:n1 23:w2 24:theirs 25:n1");

    // Back into the window before: a window read backward.
    ASSERT_EQ(Scroll(SQL_FETCH_RELATIVE, -7, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(rows, Range(14, 18));
    ASSERT_EQ(SQLSetPos(st, 5, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(UpdateName(3, "back"), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(SeenByAnother("15,16,17,18"), "15:n0 16:back 17:n2");
    EXPECT_EQ(SeenByAnother("21,22,23"), "21:n0 22:n1 23:w2");
}

// Dynamic and mixed cursors keep no bookmarks: SQLBulkOperations is refused
// for them, whatever the operation, and changes nothing.
TEST_P(DynMix, BulkOperationsAreNotForDynamicOrMixedCursors)
{
    checkNames = false;
    for (const Kind &k : kKinds) {
        SCOPED_TRACE(k.name);
        Open(k, "select id, name from krs_dm.t order by id", SQL_CONCUR_VALUES);
        std::vector<int> rows;
        ASSERT_EQ(Scroll(SQL_FETCH_FIRST, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        for (int i = 0; i < 5; ++i) {
            ids[i] = 200 + i;
            idInd[i] = 0;
            std::snprintf(names[i], sizeof names[i], "bulk");
            nameInd[i] = SQL_NTS;
        }
        for (SQLSMALLINT op : {SQL_ADD, SQL_UPDATE_BY_BOOKMARK, SQL_DELETE_BY_BOOKMARK, SQL_FETCH_BY_BOOKMARK}) {
            SCOPED_TRACE(op);
            EXPECT_EQ(SQLBulkOperations(st, op), SQL_ERROR);
            const std::string all = Diags(SQL_HANDLE_STMT, st);
            EXPECT_NE(all.find("Bulk operations are not supported on this cursor type"), std::string::npos) << all;
        }
        EXPECT_EQ(PgPsql(g_pg, "select count(*) || ':' || count(*) filter (where name = 'bulk') from krs_dm.t"),
                  "45:0");
        // The cursor goes on.
        ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0, &rows), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(rows, Range(6, 10));
    }
}

// A connection whose dynamic cursors keep row versions (in krs_dm.krsrvc,
// made anew), and a dynamic cursor on it under `concurrency` with rowsets
// of kRowset rows, its statuses in *statuses.
void SensitiveDynamic(conntest::Handles &s, const char *dsn, SQLULEN concurrency, SQLHSTMT *h,
                      SQLUSMALLINT *statuses, SQLULEN *got)
{
    OtherUser("drop table if exists krs_dm.krsrvc;"
              "create table krs_dm.krsrvc (hconn varchar(24), hcurs varchar(8), keyver char(32), rowver char(32))");
    const bool wide = std::string(dsn) == "krs_w";
    const std::string in = std::string("DRIVER={") + (wide ? "Kestrune ODBC Unicode" : "Kestrune ODBC ANSI") +
                           "};URL={" + conntest::Props(g_pg, "krs_dm_rv") + ";currentSchema=krs_dm};UID=" +
                           g_pg.trustUser + ";DYN_CURS_SENSITIVITY=HIGH";
    ASSERT_TRUE(conntest::Ok(s.DriverConnect(in))) << s.State();
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, s.dbc, h), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(*h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_DYNAMIC), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(*h, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(concurrency), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(*h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kRowset), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(*h, SQL_ATTR_ROW_STATUS_PTR, statuses, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(*h, SQL_ATTR_ROWS_FETCHED_PTR, got, 0), SQL_SUCCESS);
}

// On a connection whose dynamic cursors keep row versions, a row another
// user changed since the cursor last saw it is reported as updated, once.
TEST_P(DynMix, RowVersionsReportRowsOthersChanged)
{
    OtherUser("delete from krs_dm.t; " + InsertRows(1, 45));
    conntest::Handles s;
    SQLHSTMT h = nullptr;
    SQLUSMALLINT st5[kRowset] = {};
    SQLULEN got = 0;
    SensitiveDynamic(s, GetParam(), SQL_CONCUR_READ_ONLY, &h, st5, &got);
    if (HasFatalFailure())
        return;
    SQLINTEGER id[kRowset] = {};
    SQLLEN ind[kRowset] = {};
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Sql("select id, name from t order by id"), SQL_NTS)))
        << Diags(SQL_HANDLE_STMT, h);
    ASSERT_EQ(SQLBindCol(h, 1, SQL_C_SLONG, id, 0, ind), SQL_SUCCESS);
    const std::vector<SQLUSMALLINT> ok(kRowset, SQL_ROW_SUCCESS);
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, h);
    EXPECT_EQ(std::vector<SQLUSMALLINT>(st5, st5 + kRowset), ok);
    OtherUser("update krs_dm.t set name = 'changed' where id = 3");
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, h);
    std::vector<SQLUSMALLINT> updated = ok;
    updated[2] = SQL_ROW_UPDATED;
    EXPECT_EQ(std::vector<SQLUSMALLINT>(st5, st5 + kRowset), updated);
    EXPECT_EQ(id[2], 3);
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, h);
    EXPECT_EQ(std::vector<SQLUSMALLINT>(st5, st5 + kRowset), ok);
    // A last rowset shorter than a rowset is checked as well.
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_RELATIVE, 40), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, h);
    ASSERT_EQ(got, 5u);
    OtherUser("update krs_dm.t set name = 'changed' where id = 44");
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_RELATIVE, 2), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, h);
    ASSERT_EQ(got, 3u);
    EXPECT_EQ(id[1], 44);
    EXPECT_EQ(std::vector<SQLUSMALLINT>(st5, st5 + 3),
              (std::vector<SQLUSMALLINT>{SQL_ROW_SUCCESS, SQL_ROW_UPDATED, SQL_ROW_SUCCESS}));
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    OtherUser("drop table krs_dm.krsrvc");
}

// Under values concurrency on such a connection the cursor's own update is
// stored as the row's version: the next fetch does not report it as a
// change by others, while another session's change is reported.
TEST_P(DynMix, OwnUpdatesAreNoChangeByOthers)
{
    OtherUser("delete from krs_dm.t; " + InsertRows(1, 45));
    conntest::Handles s;
    SQLHSTMT h = nullptr;
    SQLUSMALLINT st5[kRowset] = {};
    SQLULEN got = 0;
    SensitiveDynamic(s, GetParam(), SQL_CONCUR_VALUES, &h, st5, &got);
    if (HasFatalFailure())
        return;
    SQLINTEGER id[kRowset] = {};
    SQLLEN idInd5[kRowset] = {};
    char name[kRowset][16] = {};
    SQLLEN nameInd5[kRowset] = {};
    ASSERT_EQ(SQLExecDirect(h, Sql("select id, name from t order by id"), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, h);
    ASSERT_EQ(SQLBindCol(h, 1, SQL_C_SLONG, id, 0, idInd5), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(h, 2, SQL_C_CHAR, name, sizeof name[0], nameInd5), SQL_SUCCESS);
    const std::vector<SQLUSMALLINT> ok(kRowset, SQL_ROW_SUCCESS);
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, h);
    EXPECT_EQ(std::vector<SQLUSMALLINT>(st5, st5 + kRowset), ok);
    std::snprintf(name[1], sizeof name[1], "mine");
    nameInd5[1] = SQL_NTS;
    idInd5[1] = SQL_COLUMN_IGNORE;
    ASSERT_EQ(SQLSetPos(h, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, h);
    EXPECT_EQ(st5[1], SQL_ROW_UPDATED);
    EXPECT_EQ(SeenByAnother("2"), "2:mine");
    OtherUser("update krs_dm.t set name = 'theirs' where id = 4");
    ASSERT_EQ(SQLFetchScroll(h, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, h);
    std::vector<SQLUSMALLINT> byOthers = ok;
    byOthers[3] = SQL_ROW_UPDATED;
    EXPECT_EQ(std::vector<SQLUSMALLINT>(st5, st5 + kRowset), byOthers);
    EXPECT_STREQ(name[1], "mine");
    EXPECT_STREQ(name[3], "theirs");
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    OtherUser("drop table krs_dm.krsrvc");
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, DynMix, ::testing::Values("krs_w", "krs_a"),
                         [](const ::testing::TestParamInfo<const char *> &i) {
                             return std::string(i.param) == "krs_w" ? "unicode" : "ansi";
                         });

}  // namespace

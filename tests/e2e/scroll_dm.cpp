// Scrollable (static) cursors through unixODBC with both libraries: a
// 20-row result in every orientation with rowsets of one and of several
// rows (row statuses, rows fetched, SQL_ATTR_ROW_NUMBER), results of 5200
// and 4995 rows read forward, backward and at random positions, spilled and
// in-memory results of NULLs, non-ASCII and long values agreeing with a
// forward-only read over random moves, the cache's
// temporary files gone after SQLCloseCursor and SQLFreeHandle, statements
// outside the analyser's dialect run as static read-only cursors, and
// SQLExtendedFetch.  Sequences of moves, rowset sizes changing between
// them and executions again land where ODBC's positioning rules say on
// static, keyset-driven, mixed and dynamic cursors alike.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <dirent.h>
#include <locale.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <random>
#include <cstring>
#include <string>
#include <vector>

#include "tests/common/pg_env.h"
#include "tests/e2e/connect_common.h"

namespace {

using conntest::Diags;
using conntest::Sql;

PgEnv g_pg;
std::string g_tmp;   // the private TMPDIR of this process

class ScrollEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        ASSERT_NE(utf8, static_cast<locale_t>(nullptr)) << "C.UTF-8 is not installed";
        freelocale(utf8);
        setenv("LC_ALL", "C.UTF-8", 1);
        // The dataset cache spills into $TMPDIR: a directory of our own, named
        // before the driver is loaded.
        char dir[] = "/tmp/krs_scroll_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        g_tmp = dir;
        setenv("TMPDIR", dir, 1);
        ASSERT_TRUE(PgEnvLoad(g_pg));
        PgPsql(g_pg, "drop schema if exists krs_sc cascade; create schema krs_sc;"
                     "create table krs_sc.t20 (id int primary key, name varchar(20));"
                     "insert into krs_sc.t20 select i, 'row' || i from generate_series(1, 20) i;"
                     "create table krs_sc.big (id int primary key, name varchar(20), twice bigint);"
                     "insert into krs_sc.big select i, 'v' || i, 2 * i from generate_series(1, 5200) i;"
                     // NULLs, non-ASCII texts and long values of up to 3000 characters.
                     "create table krs_sc.mixed (id int primary key, n int, txt varchar(60), big text);"
                     "insert into krs_sc.mixed select i, case when i % 7 = 0 then null else i * 3 end,"
                     " case when i % 11 = 0 then null else chr(233) || chr(26085) || chr(26412) || ' ' || i"
                     "   || ' ' || chr(128512) end,"
                     " case when i % 13 = 0 then null else repeat(chr(252) || i, (i * 37) % 500) end"
                     " from generate_series(1, 6000) i");
    }
    void TearDown() override
    {
        PgPsql(g_pg, "drop schema if exists krs_sc cascade");
        rmdir(g_tmp.c_str());
    }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new ScrollEnv);



std::string FirstState(SQLHSTMT h)
{
    SQLCHAR state[6] = {};
    SQLCHAR msg[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLGetDiagRec(SQL_HANDLE_STMT, h, 1, state, &native, msg, sizeof msg, &len);
    return reinterpret_cast<char *>(state);
}

// Entries of the private TMPDIR, and the descriptors of this process open on
// files in it (the cache removes its files as soon as they are open).
int TmpEntries()
{
    int n = 0;
    if (DIR *d = opendir(g_tmp.c_str())) {
        while (dirent *e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                ++n;
        closedir(d);
    }
    return n;
}

int TmpDescriptors()
{
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (dirent *e = readdir(d)) {
            char target[4096] = {};
            std::string link = std::string("/proc/self/fd/") + e->d_name;
            ssize_t len = readlink(link.c_str(), target, sizeof target - 1);
            if (len > 0 && std::string(target, static_cast<size_t>(len)).rfind(g_tmp + "/", 0) == 0)
                ++n;
        }
        closedir(d);
    }
    return n;
}

class Scroll : public conntest::DsnStatement {
protected:
    // Asks for a static cursor; false when the connection's cursors cannot
    // scroll (the cursor library's static engine is not in this build).
    bool Static(SQLHSTMT h)
    {
        SQLRETURN rc = SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0);
        EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Diags(SQL_HANDLE_STMT, h);
        SQLULEN type = 0;
        SQLGetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr);
        if (type != SQL_CURSOR_STATIC)
            return false;
        EXPECT_EQ(rc, SQL_SUCCESS);
        return true;
    }
    SQLULEN RowNumber()
    {
        SQLULEN n = 0;
        EXPECT_EQ(SQLGetStmtAttr(st, SQL_ATTR_ROW_NUMBER, &n, 0, nullptr), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        return n;
    }
};

#define REQUIRE_STATIC(h)                                                                                         \
    if (!Static(h))                                                                                               \
    GTEST_SKIP() << "static cursors are not served: the cursor library's static engine is not part of this build"

// One move of a scrolling table: the rowset it must land on, as its first
// row and its number of rows (0 for SQL_NO_DATA).
struct Move {
    SQLSMALLINT orientation;
    SQLLEN offset;
    int first;
    int rows;
    bool firstInstead = false;  // the first rowset for one that began before it (01S06)
};

// The moves of a 20-row result with rowsets of 1 and of 6 rows.
const std::vector<Move> kMovesOf1 = {
    {SQL_FETCH_NEXT, 0, 1, 1},      {SQL_FETCH_NEXT, 0, 2, 1},      {SQL_FETCH_LAST, 0, 20, 1},
    {SQL_FETCH_NEXT, 0, 0, 0},      {SQL_FETCH_PRIOR, 0, 20, 1},    {SQL_FETCH_PRIOR, 0, 19, 1},
    {SQL_FETCH_FIRST, 0, 1, 1},     {SQL_FETCH_PRIOR, 0, 0, 0},     {SQL_FETCH_NEXT, 0, 1, 1},
    {SQL_FETCH_ABSOLUTE, 7, 7, 1},  {SQL_FETCH_ABSOLUTE, -1, 20, 1}, {SQL_FETCH_ABSOLUTE, -20, 1, 1},
    {SQL_FETCH_ABSOLUTE, -21, 0, 0}, {SQL_FETCH_ABSOLUTE, 21, 0, 0}, {SQL_FETCH_ABSOLUTE, 0, 0, 0},
    {SQL_FETCH_RELATIVE, 5, 5, 1},  {SQL_FETCH_RELATIVE, -2, 3, 1}, {SQL_FETCH_RELATIVE, 0, 3, 1},
    {SQL_FETCH_RELATIVE, 17, 20, 1}, {SQL_FETCH_RELATIVE, 1, 0, 0}, {SQL_FETCH_RELATIVE, -1, 20, 1},
    {SQL_FETCH_RELATIVE, -30, 0, 0}, {SQL_FETCH_RELATIVE, -1, 0, 0}, {SQL_FETCH_RELATIVE, 2, 2, 1},
};
const std::vector<Move> kMovesOf6 = {
    {SQL_FETCH_NEXT, 0, 1, 6},       {SQL_FETCH_NEXT, 0, 7, 6},      {SQL_FETCH_NEXT, 0, 13, 6},
    {SQL_FETCH_NEXT, 0, 19, 2},      {SQL_FETCH_NEXT, 0, 0, 0},      {SQL_FETCH_PRIOR, 0, 15, 6},
    {SQL_FETCH_PRIOR, 0, 9, 6},      {SQL_FETCH_PRIOR, 0, 3, 6},     {SQL_FETCH_PRIOR, 0, 1, 6, true},
    {SQL_FETCH_PRIOR, 0, 0, 0},      {SQL_FETCH_LAST, 0, 15, 6},     {SQL_FETCH_FIRST, 0, 1, 6},
    {SQL_FETCH_ABSOLUTE, 17, 17, 4}, {SQL_FETCH_ABSOLUTE, -3, 18, 3}, {SQL_FETCH_ABSOLUTE, -20, 1, 6},
    {SQL_FETCH_ABSOLUTE, -22, 0, 0}, {SQL_FETCH_ABSOLUTE, -27, 0, 0}, {SQL_FETCH_RELATIVE, 4, 4, 6},
    {SQL_FETCH_RELATIVE, -2, 2, 6},  {SQL_FETCH_RELATIVE, -5, 1, 6, true}, {SQL_FETCH_RELATIVE, 25, 0, 0},
    {SQL_FETCH_RELATIVE, -4, 17, 4}, {SQL_FETCH_ABSOLUTE, 21, 0, 0}, {SQL_FETCH_PRIOR, 0, 15, 6},
};

TEST_P(Scroll, TwentyRowsInEveryOrientation)
{
    REQUIRE_STATIC(st);
    struct Run {
        SQLULEN rowset;
        const std::vector<Move> *moves;
    } runs[] = {{1, &kMovesOf1}, {6, &kMovesOf6}};
    for (const Run &run : runs) {
        SCOPED_TRACE("rowset of " + std::to_string(run.rowset));
        SQLINTEGER ids[6] = {};
        SQLLEN idInd[6] = {};
        char names[6][21] = {};
        SQLLEN nameInd[6] = {};
        SQLUSMALLINT status[6] = {};
        SQLULEN fetched = 0;
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(run.rowset), 0),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql("select id, name from krs_sc.t20 order by id"), SQL_NTS)))
            << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, ids, 0, idInd), SQL_SUCCESS);
        ASSERT_EQ(SQLBindCol(st, 2, SQL_C_CHAR, names, sizeof names[0], nameInd), SQL_SUCCESS);
        int step = 0;
        for (const Move &m : *run.moves) {
            ++step;
            std::fill(std::begin(status), std::end(status), SQLUSMALLINT{99});
            SQLRETURN rc = SQLFetchScroll(st, m.orientation, m.offset);
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
            for (int i = 0; i < m.rows; ++i) {
                EXPECT_EQ(status[i], SQL_ROW_SUCCESS) << "step " << step << " row " << i;
                EXPECT_EQ(ids[i], m.first + i) << "step " << step << " row " << i;
                EXPECT_EQ(std::string(names[i]), "row" + std::to_string(m.first + i)) << "step " << step;
            }
            for (SQLULEN i = static_cast<SQLULEN>(m.rows); i < run.rowset; ++i)
                EXPECT_EQ(status[i], SQL_ROW_NOROW) << "step " << step << " row " << i;
            EXPECT_EQ(RowNumber(), static_cast<SQLULEN>(m.first)) << "step " << step;
            // SQLGetData reads the row the cursor stands on: the rowset's first.
            char name[21] = {};
            SQLLEN ind = 0;
            EXPECT_EQ(SQLGetData(st, 2, SQL_C_CHAR, name, sizeof name, &ind), SQL_SUCCESS) << "step " << step;
            EXPECT_EQ(std::string(name), "row" + std::to_string(m.first)) << "step " << step;
        }
        SQLCloseCursor(st);
        SQLFreeStmt(st, SQL_UNBIND);
    }
    SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
}

// A simple generator, so that the random positions are the same every run.
uint32_t Next(uint32_t *seed)
{
    *seed = *seed * 1103515245u + 12345u;
    return (*seed >> 8) & 0xFFFFFF;
}

TEST_P(Scroll, LargeResultsForwardBackwardAndAtRandom)
{
    REQUIRE_STATIC(st);
    for (int total : {5200, 4995}) {
        SCOPED_TRACE(std::to_string(total) + " rows");
        SQLINTEGER id = 0;
        char name[21] = {};
        SQLBIGINT twice = 0;
        SQLLEN ind[3] = {};
        const std::string sql =
            "select id, name, twice from krs_sc.big where id <= " + std::to_string(total) + " order by id";
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql(sql), SQL_NTS))) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, &id, 0, &ind[0]), SQL_SUCCESS);
        ASSERT_EQ(SQLBindCol(st, 2, SQL_C_CHAR, name, sizeof name, &ind[1]), SQL_SUCCESS);
        ASSERT_EQ(SQLBindCol(st, 3, SQL_C_SBIGINT, &twice, 0, &ind[2]), SQL_SUCCESS);
        auto check = [&](int want, const char *how) {
            ASSERT_EQ(id, want) << how;
            ASSERT_EQ(std::string(name), "v" + std::to_string(want)) << how;
            ASSERT_EQ(twice, 2 * static_cast<SQLBIGINT>(want)) << how;
        };
        int n = 0;
        for (SQLRETURN rc; (rc = SQLFetchScroll(st, SQL_FETCH_NEXT, 0)) != SQL_NO_DATA;) {
            ASSERT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
            ++n;
            check(n, "forward");
        }
        EXPECT_EQ(n, total);
        // The cache spills to temporary files above 5000 rows, removed from
        // the directory as soon as they are open.
        EXPECT_EQ(TmpEntries(), 0);
        if (total > 5000)
            EXPECT_GT(TmpDescriptors(), 0) << "the cache of " << total << " rows is held in temporary files";
        else
            EXPECT_EQ(TmpDescriptors(), 0) << "the cache of " << total << " rows stays in memory";
        for (int want = total; want >= 1; --want) {
            ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_PRIOR, 0), SQL_SUCCESS) << want << Diags(SQL_HANDLE_STMT, st);
            check(want, "backward");
        }
        EXPECT_EQ(SQLFetchScroll(st, SQL_FETCH_PRIOR, 0), SQL_NO_DATA);
        uint32_t seed = static_cast<uint32_t>(total);
        int at = 0;
        for (int i = 0; i < 300; ++i) {
            const int want = 1 + static_cast<int>(Next(&seed) % static_cast<uint32_t>(total));
            if (i % 3 == 0) {
                ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, want), SQL_SUCCESS);
            } else if (i % 3 == 1) {
                ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, want - total - 1), SQL_SUCCESS) << "from the end";
            } else {
                ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_RELATIVE, want - at), SQL_SUCCESS) << "relative";
            }
            check(want, "random");
            EXPECT_EQ(RowNumber(), static_cast<SQLULEN>(want));
            at = want;
        }
        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_LAST, 0), SQL_SUCCESS);
        check(total, "last");
        ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
        SQLFreeStmt(st, SQL_UNBIND);
    }
}

// One row as the application receives it: each column's indicator and text.
struct SeenRow {
    SQLLEN ind[4];
    std::string text[4];
    bool operator==(const SeenRow &o) const
    {
        return std::equal(std::begin(ind), std::end(ind), o.ind) && std::equal(std::begin(text), std::end(text), o.text);
    }
};

// A spilled static result and one kept in memory give, over the same random
// moves and sequential sweeps, the rows and statuses a forward-only read of
// the result gives: NULLs, non-ASCII and long values alike.
TEST_P(Scroll, SpilledAndInMemoryResultsGiveTheRowsReadForward)
{
    REQUIRE_STATIC(st);
    constexpr SQLULEN R = 7;
    constexpr SQLLEN kBig = 8192;
    std::vector<char> cells(R * (12 + 12 + 256 + kBig));
    char *ids = cells.data(), *ns = ids + R * 12, *txts = ns + R * 12, *bigs = txts + R * 256;
    const SQLLEN widths[4] = {12, 12, 256, kBig};
    char *bufs[4] = {ids, ns, txts, bigs};
    SQLLEN ind[4][R];
    auto bind = [&](SQLHSTMT h) {
        for (SQLUSMALLINT k = 0; k < 4; ++k)
            ASSERT_EQ(SQLBindCol(h, k + 1, SQL_C_CHAR, bufs[k], widths[k], ind[k]), SQL_SUCCESS);
    };
    auto seen = [&](SQLULEN i) {
        SeenRow r;
        for (int k = 0; k < 4; ++k) {
            r.ind[k] = ind[k][i];
            if (ind[k][i] >= 0)
                r.text[k] = std::string(bufs[k] + i * widths[k]);
        }
        return r;
    };

    for (int total : {4000, 6000}) {
        SCOPED_TRACE(std::to_string(total) + " rows");
        const std::string sql =
            "select id, n, txt, big from krs_sc.mixed where id <= " + std::to_string(total) + " order by id";
        // The rows read forward, one at a time, with no cache in between.
        std::vector<SeenRow> want;
        {
            SQLHSTMT fwd = nullptr;
            ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &fwd), SQL_SUCCESS);
            ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(fwd, Sql(sql), SQL_NTS))) << Diags(SQL_HANDLE_STMT, fwd);
            bind(fwd);
            SQLRETURN rc;
            while ((rc = SQLFetch(fwd)) == SQL_SUCCESS)
                want.push_back(seen(0));
            ASSERT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, fwd);
            SQLFreeHandle(SQL_HANDLE_STMT, fwd);
        }
        ASSERT_EQ(want.size(), static_cast<size_t>(total));
        ASSERT_LT(want[6].ind[1], 0) << "row 7 has a NULL";
        ASSERT_GE(want[99].text[3].size(), 1000u) << "row 100 has a long value";

        SQLUSMALLINT status[R];
        SQLULEN fetched = 0;
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(R), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql(sql), SQL_NTS))) << Diags(SQL_HANDLE_STMT, st);
        bind(st);
        if (total > 5000)
            EXPECT_GT(TmpDescriptors(), 0) << "the result is held in temporary files";
        else
            EXPECT_EQ(TmpDescriptors(), 0) << "the result stays in memory";

        // Sweeps forward and backward across the cache's windows, then moves at random.
        std::vector<std::pair<SQLSMALLINT, SQLLEN>> moves;
        moves.emplace_back(SQL_FETCH_FIRST, 0);
        for (int i = 0; i < total / 7 + 1; ++i)
            moves.emplace_back(SQL_FETCH_NEXT, 0);
        for (int i = 0; i < total / 7 + 1; ++i)
            moves.emplace_back(SQL_FETCH_PRIOR, 0);
        uint32_t seed = 33;
        for (int i = 0; i < 1500; ++i) {
            const SQLLEN at = 1 + static_cast<SQLLEN>(Next(&seed) % static_cast<uint32_t>(total));
            switch (Next(&seed) % 7) {
            case 0: moves.emplace_back(SQL_FETCH_NEXT, 0); break;
            case 1: moves.emplace_back(SQL_FETCH_PRIOR, 0); break;
            case 2: moves.emplace_back(SQL_FETCH_FIRST, 0); break;
            case 3: moves.emplace_back(SQL_FETCH_LAST, 0); break;
            case 4: moves.emplace_back(SQL_FETCH_ABSOLUTE, at); break;
            case 5: moves.emplace_back(SQL_FETCH_ABSOLUTE, at - total - 3); break;
            default: moves.emplace_back(SQL_FETCH_RELATIVE, static_cast<SQLLEN>(Next(&seed) % 121) - 60); break;
            }
        }
        int step = 0;
        for (const auto &m : moves) {
            ++step;
            std::fill(std::begin(status), std::end(status), SQLUSMALLINT{99});
            SQLRETURN rc = SQLFetchScroll(st, m.first, m.second);
            if (rc == SQL_NO_DATA) {
                EXPECT_EQ(fetched, 0u) << "step " << step;
                continue;
            }
            ASSERT_TRUE(SQL_SUCCEEDED(rc)) << "step " << step << Diags(SQL_HANDLE_STMT, st);
            const SQLULEN first = RowNumber() - 1;
            ASSERT_LT(first, static_cast<SQLULEN>(total)) << "step " << step;
            ASSERT_EQ(fetched, std::min<SQLULEN>(R, static_cast<SQLULEN>(total) - first)) << "step " << step;
            for (SQLULEN i = 0; i < R; ++i) {
                if (i >= fetched) {
                    ASSERT_EQ(status[i], SQL_ROW_NOROW) << "step " << step << " row " << i;
                    continue;
                }
                ASSERT_EQ(status[i], SQL_ROW_SUCCESS) << "step " << step << " row " << i;
                ASSERT_TRUE(seen(i) == want[first + i]) << "step " << step << " row " << first + i + 1;
            }
        }
        ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
        SQLFreeStmt(st, SQL_UNBIND);
    }
    SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
}

TEST_P(Scroll, TemporaryFilesGoneAfterCloseCursorAndFreeHandle)
{
    REQUIRE_STATIC(st);
    const char *sql = "select id, name from krs_sc.big order by id";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql(sql), SQL_NTS))) << Diags(SQL_HANDLE_STMT, st);
    ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_LAST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_GT(TmpDescriptors(), 0);
    ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
    EXPECT_EQ(TmpDescriptors(), 0) << "after SQLCloseCursor";
    EXPECT_EQ(TmpEntries(), 0) << "after SQLCloseCursor";

    SQLHSTMT other = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &other), SQL_SUCCESS);
    ASSERT_TRUE(Static(other));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(other, Sql(sql), SQL_NTS))) << Diags(SQL_HANDLE_STMT, other);
    ASSERT_EQ(SQLFetchScroll(other, SQL_FETCH_ABSOLUTE, 5100), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, other);
    EXPECT_GT(TmpDescriptors(), 0);
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, other), SQL_SUCCESS);
    EXPECT_EQ(TmpDescriptors(), 0) << "after SQLFreeHandle";
    EXPECT_EQ(TmpEntries(), 0) << "after SQLFreeHandle";
}

// LIMIT and :: casts are outside the analyser's dialect: such a SELECT runs
// as a static read-only cursor, and asking for more says so (01S02).
TEST_P(Scroll, UnparsedStatementsRunAsStaticReadOnly)
{
    REQUIRE_STATIC(st);
    struct Case {
        const char *sql;
        int rows;
        int last;
    } cases[] = {
        {"select id, name from krs_sc.t20 order by id limit 7", 7, 7},
        {"select id::int, name::text from krs_sc.t20 where id > 12 order by id", 8, 20},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0),
                  SQL_SUCCESS);
        SQLRETURN rc = SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_VALUES), 0);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diags(SQL_HANDLE_STMT, st);
        rc = SQLExecDirect(st, Sql(c.sql), SQL_NTS);
        ASSERT_EQ(rc, SQL_SUCCESS_WITH_INFO) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(FirstState(st), "01S02");
        SQLULEN type = 0, concurrency = 0;
        SQLGetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr);
        SQLGetStmtAttr(st, SQL_ATTR_CONCURRENCY, &concurrency, 0, nullptr);
        EXPECT_EQ(type, static_cast<SQLULEN>(SQL_CURSOR_STATIC));
        EXPECT_EQ(concurrency, static_cast<SQLULEN>(SQL_CONCUR_READ_ONLY));
        SQLINTEGER id = 0;
        SQLLEN ind = 0;
        ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, &id, 0, &ind), SQL_SUCCESS);
        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_LAST, 0), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(id, c.last);
        EXPECT_EQ(RowNumber(), static_cast<SQLULEN>(c.rows));
        ASSERT_EQ(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, 2), SQL_SUCCESS);
        EXPECT_EQ(id, c.last - c.rows + 2);
        SQLCloseCursor(st);
        SQLFreeStmt(st, SQL_UNBIND);
    }
    // A dynamic cursor is taken as asked, and such a statement changes it to
    // static.
    EXPECT_EQ(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_DYNAMIC), 0),
              SQL_SUCCESS);
    EXPECT_EQ(SQLExecDirect(st, Sql(cases[0].sql), SQL_NTS), SQL_SUCCESS_WITH_INFO) << Diags(SQL_HANDLE_STMT, st);
    EXPECT_EQ(FirstState(st), "01S02");
    SQLULEN type = 0;
    SQLGetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr);
    EXPECT_EQ(type, static_cast<SQLULEN>(SQL_CURSOR_STATIC));
    SQLCloseCursor(st);
}

TEST_P(Scroll, ExtendedFetchWithItsOwnCountAndStatuses)
{
    REQUIRE_STATIC(st);
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ROWSET_SIZE, reinterpret_cast<SQLPOINTER>(4), 0), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql("select id from krs_sc.t20 order by id"), SQL_NTS)))
        << Diags(SQL_HANDLE_STMT, st);
    SQLINTEGER ids[4] = {};
    SQLLEN ind[4] = {};
    ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, ids, 0, ind), SQL_SUCCESS);
    struct Case {
        SQLUSMALLINT orientation;
        SQLLEN offset;
        SQLRETURN rc;
        int first;
        SQLULEN rows;
    } cases[] = {
        {SQL_FETCH_NEXT, 0, SQL_SUCCESS, 1, 4},      {SQL_FETCH_ABSOLUTE, 18, SQL_SUCCESS, 18, 3},
        {SQL_FETCH_NEXT, 0, SQL_NO_DATA, 0, 0},      {SQL_FETCH_PRIOR, 0, SQL_SUCCESS, 17, 4},
        {SQL_FETCH_RELATIVE, -10, SQL_SUCCESS, 7, 4}, {SQL_FETCH_FIRST, 0, SQL_SUCCESS, 1, 4},
        {SQL_FETCH_LAST, 0, SQL_SUCCESS, 17, 4},
    };
    for (const Case &c : cases) {
        SQLULEN got = 99;
        SQLUSMALLINT status[4] = {9, 9, 9, 9};
        SQLRETURN rc = SQLExtendedFetch(st, c.orientation, c.offset, &got, status);
        ASSERT_EQ(rc, c.rc) << c.orientation << " " << c.offset << Diags(SQL_HANDLE_STMT, st);
        if (rc == SQL_NO_DATA)
            continue;
        EXPECT_EQ(got, c.rows);
        for (SQLULEN i = 0; i < 4; ++i) {
            EXPECT_EQ(status[i], i < c.rows ? SQL_ROW_SUCCESS : SQL_ROW_NOROW) << i;
            if (i < c.rows)
                EXPECT_EQ(ids[i], c.first + static_cast<int>(i));
        }
    }
}

// ---- positions on every cursor type ----

// A cursor type under test: static, keyset-driven, mixed (keyset-driven with
// a key window of keysetSize rows) or dynamic.
struct CursorKind {
    const char *name;
    SQLULEN type;
    SQLULEN keysetSize;
};
const CursorKind kCursorKinds[] = {
    {"static", SQL_CURSOR_STATIC, 0},           {"keyset-driven", SQL_CURSOR_KEYSET_DRIVEN, 0},
    {"mixed, keyset 10", SQL_CURSOR_KEYSET_DRIVEN, 10}, {"mixed, keyset 20", SQL_CURSOR_KEYSET_DRIVEN, 20},
    {"mixed, keyset 100", SQL_CURSOR_KEYSET_DRIVEN, 100}, {"dynamic", SQL_CURSOR_DYNAMIC, 0},
};

constexpr SQLSMALLINT kExecuteAgain = 0;  // SQLCloseCursor, then SQLExecute
constexpr SQLULEN kMaxRowset = 44;

// One step of a sequence: the rowset size set before it, the move, and the
// rowset it must give (its first id and rows; SQL_NO_DATA has none).
// SQL_SUCCESS_WITH_INFO is the first rowset standing in for one that began
// before it (01S06).
struct Step {
    SQLULEN rowset;
    SQLSMALLINT orientation;
    SQLLEN offset;
    SQLRETURN rc;
    int first;
    int rows;
    int32_t bookmark = 0;  // SQL_FETCH_BOOKMARK: the row it names
};
struct Sequence {
    const char *what;
    int rows;        // the result: ids 1 .. rows
    bool absolute;   // ABSOLUTE or BOOKMARK moves: static and keyset-driven cursors only
    std::vector<Step> steps;
};

constexpr SQLRETURN OK = SQL_SUCCESS, FIRST_INSTEAD = SQL_SUCCESS_WITH_INFO, NONE = SQL_NO_DATA;
const Sequence kSequences[] = {
    {"NEXT after the rowset size changed starts after the previous rowset", 20, false,
     {{3, SQL_FETCH_FIRST, 0, OK, 1, 3}, {5, SQL_FETCH_NEXT, 0, OK, 4, 5}, {2, SQL_FETCH_NEXT, 0, OK, 9, 2},
      {4, SQL_FETCH_NEXT, 0, OK, 11, 4}, {4, SQL_FETCH_PRIOR, 0, OK, 7, 4}, {1, SQL_FETCH_NEXT, 0, OK, 11, 1},
      {5, SQL_FETCH_FIRST, 0, OK, 1, 5}, {2, SQL_FETCH_NEXT, 0, OK, 6, 2}, {2, SQL_FETCH_NEXT, 0, OK, 8, 2},
      {10, SQL_FETCH_NEXT, 0, OK, 10, 10}, {3, SQL_FETCH_NEXT, 0, OK, 20, 1}, {3, SQL_FETCH_NEXT, 0, NONE, 0, 0}}},
    {"nothing follows the end", 20, false,
     {{4, SQL_FETCH_LAST, 0, OK, 17, 4}, {4, SQL_FETCH_NEXT, 0, NONE, 0, 0}, {2, SQL_FETCH_NEXT, 0, NONE, 0, 0},
      {2, SQL_FETCH_RELATIVE, 0, NONE, 0, 0}, {2, SQL_FETCH_PRIOR, 0, OK, 19, 2}, {2, SQL_FETCH_NEXT, 0, NONE, 0, 0},
      {3, SQL_FETCH_PRIOR, 0, OK, 18, 3}, {3, SQL_FETCH_RELATIVE, -2, OK, 16, 3}}},
    {"executed again, the cursor starts afresh", 45, false,
     {{5, SQL_FETCH_FIRST, 0, OK, 1, 5}, {5, SQL_FETCH_NEXT, 0, OK, 6, 5}, {5, kExecuteAgain, 0, OK, 0, 0},
      {5, SQL_FETCH_FIRST, 0, OK, 1, 5}, {5, SQL_FETCH_NEXT, 0, OK, 6, 5}, {5, kExecuteAgain, 0, OK, 0, 0},
      {5, SQL_FETCH_NEXT, 0, OK, 1, 5}, {5, kExecuteAgain, 0, OK, 0, 0}, {5, SQL_FETCH_LAST, 0, OK, 41, 5}}},
    {"back from the first rowset and past the start", 20, false,
     {{5, SQL_FETCH_FIRST, 0, OK, 1, 5}, {5, SQL_FETCH_RELATIVE, -3, NONE, 0, 0}, {5, SQL_FETCH_PRIOR, 0, NONE, 0, 0},
      {5, SQL_FETCH_NEXT, 0, OK, 1, 5}, {5, SQL_FETCH_RELATIVE, 2, OK, 3, 5},
      {5, SQL_FETCH_RELATIVE, -3, FIRST_INSTEAD, 1, 5}, {5, SQL_FETCH_RELATIVE, 3, OK, 4, 5},
      {5, SQL_FETCH_RELATIVE, -6, NONE, 0, 0}, {5, SQL_FETCH_PRIOR, 0, NONE, 0, 0}, {5, SQL_FETCH_NEXT, 0, OK, 1, 5},
      {5, SQL_FETCH_RELATIVE, 5, OK, 6, 5}, {5, SQL_FETCH_PRIOR, 0, OK, 1, 5}, {5, SQL_FETCH_RELATIVE, 3, OK, 4, 5},
      {5, SQL_FETCH_PRIOR, 0, FIRST_INSTEAD, 1, 5}, {5, SQL_FETCH_PRIOR, 0, NONE, 0, 0}}},
    {"RELATIVE back with a larger rowset keeps the rows that follow", 300, false,
     {{1, SQL_FETCH_LAST, 0, OK, 300, 1}, {1, SQL_FETCH_PRIOR, 0, OK, 299, 1}, {1, SQL_FETCH_PRIOR, 0, OK, 298, 1},
      {44, SQL_FETCH_RELATIVE, -1, OK, 297, 4}, {44, SQL_FETCH_NEXT, 0, NONE, 0, 0},
      {44, SQL_FETCH_PRIOR, 0, OK, 257, 44}, {2, SQL_FETCH_RELATIVE, -40, OK, 217, 2},
      {30, SQL_FETCH_RELATIVE, -1, OK, 216, 30}}},
    {"RELATIVE after the rowset size changed counts from the rowset's first row", 300, false,
     {{5, SQL_FETCH_NEXT, 0, OK, 1, 5}, {2, SQL_FETCH_RELATIVE, 51, OK, 52, 2}, {7, SQL_FETCH_RELATIVE, -50, OK, 2, 7},
      {3, SQL_FETCH_RELATIVE, 10, OK, 12, 3}, {9, SQL_FETCH_RELATIVE, 1, OK, 13, 9},
      {5, SQL_FETCH_RELATIVE, -14, NONE, 0, 0}, {5, SQL_FETCH_PRIOR, 0, NONE, 0, 0}, {5, SQL_FETCH_NEXT, 0, OK, 1, 5}}},
    {"a bookmark before the start", 20, true,
     {{5, SQL_FETCH_ABSOLUTE, 10, OK, 10, 5}, {5, SQL_FETCH_BOOKMARK, -5, NONE, 0, 0, 3},
      {5, SQL_FETCH_NEXT, 0, OK, 1, 5}, {5, SQL_FETCH_BOOKMARK, 2, OK, 5, 5, 3},
      {5, SQL_FETCH_BOOKMARK, -3, NONE, 0, 0, 3}, {5, SQL_FETCH_PRIOR, 0, NONE, 0, 0},
      {5, SQL_FETCH_BOOKMARK, 5, NONE, 0, 0, 18}, {5, SQL_FETCH_PRIOR, 0, OK, 16, 5}}},
    {"ABSOLUTE back past the start", 20, true,
     {{30, SQL_FETCH_ABSOLUTE, 5, OK, 5, 16}, {30, SQL_FETCH_ABSOLUTE, -22, FIRST_INSTEAD, 1, 20},
      {30, SQL_FETCH_ABSOLUTE, -31, NONE, 0, 0}, {30, SQL_FETCH_NEXT, 0, OK, 1, 20},
      {30, SQL_FETCH_NEXT, 0, NONE, 0, 0}, {30, SQL_FETCH_PRIOR, 0, FIRST_INSTEAD, 1, 20},
      {5, SQL_FETCH_ABSOLUTE, -20, OK, 1, 5}, {5, SQL_FETCH_ABSOLUTE, -21, NONE, 0, 0},
      {25, SQL_FETCH_ABSOLUTE, -21, FIRST_INSTEAD, 1, 20}}},
    {"ABSOLUTE back past the start of a result smaller than a rowset, as the first fetch", 3, true,
     {{5, SQL_FETCH_ABSOLUTE, -5, FIRST_INSTEAD, 1, 3}, {5, SQL_FETCH_NEXT, 0, NONE, 0, 0},
      {5, SQL_FETCH_RELATIVE, -4, FIRST_INSTEAD, 1, 3}}},
    {"RELATIVE from before the start or after the end moves as ABSOLUTE", 20, false,
     {{5, SQL_FETCH_RELATIVE, 7, OK, 7, 5}, {5, SQL_FETCH_RELATIVE, -30, NONE, 0, 0},
      {5, SQL_FETCH_RELATIVE, 18, OK, 18, 3}, {5, SQL_FETCH_NEXT, 0, NONE, 0, 0},
      {5, SQL_FETCH_RELATIVE, -3, OK, 18, 3}, {5, SQL_FETCH_RELATIVE, 30, NONE, 0, 0},
      {5, SQL_FETCH_RELATIVE, -12, OK, 9, 5}, {5, SQL_FETCH_RELATIVE, 30, NONE, 0, 0},
      {5, SQL_FETCH_RELATIVE, -21, NONE, 0, 0}, {5, SQL_FETCH_RELATIVE, 1, OK, 1, 5},
      {5, SQL_FETCH_RELATIVE, -6, NONE, 0, 0}, {5, SQL_FETCH_RELATIVE, 21, NONE, 0, 0}}},
    {"after the end of a result smaller than a rowset", 3, false,
     {{5, SQL_FETCH_RELATIVE, 9, NONE, 0, 0}, {5, SQL_FETCH_RELATIVE, -2, OK, 2, 2},
      {5, SQL_FETCH_NEXT, 0, NONE, 0, 0}, {5, SQL_FETCH_RELATIVE, -4, FIRST_INSTEAD, 1, 3},
      {5, SQL_FETCH_NEXT, 0, NONE, 0, 0}, {5, SQL_FETCH_PRIOR, 0, FIRST_INSTEAD, 1, 3},
      {5, SQL_FETCH_NEXT, 0, NONE, 0, 0}, {5, SQL_FETCH_RELATIVE, -6, NONE, 0, 0}}},
    {"FIRST after a move back past the start reads the whole first rowset", 7, false,
     {{5, SQL_FETCH_LAST, 0, OK, 3, 5}, {5, SQL_FETCH_RELATIVE, -21, NONE, 0, 0},
      {5, SQL_FETCH_FIRST, 0, OK, 1, 5}, {5, SQL_FETCH_NEXT, 0, OK, 6, 2}}},
};

class Positions : public conntest::DsnStatement {
protected:
    SQLINTEGER ids[kMaxRowset] = {};
    SQLLEN idInd[kMaxRowset] = {};
    char names[kMaxRowset][21] = {};
    SQLLEN nameInd[kMaxRowset] = {};
    SQLUSMALLINT status[kMaxRowset] = {};
    SQLULEN fetched = 0;
    int32_t bookmark = 0;

    // Prepares and executes the first `rows` ids as a cursor of kind k.
    void Open(const CursorKind &k, int rows, bool bookmarks)
    {
        // A statement of its own: a prepared one keeps its cursor type.
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        st = nullptr;
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(k.type), 0), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_KEYSET_SIZE, reinterpret_cast<SQLPOINTER>(k.keysetSize), 0),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_USE_BOOKMARKS,
                                 reinterpret_cast<SQLPOINTER>(bookmarks ? SQL_UB_VARIABLE : SQL_UB_OFF), 0),
                  SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_FETCH_BOOKMARK_PTR, &bookmark, 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
        const std::string sql =
            "select id, name from krs_sc.big where id <= " + std::to_string(rows) + " order by id";
        ASSERT_EQ(SQLPrepare(st, Sql(sql), SQL_NTS), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
        SQLULEN type = 0;
        ASSERT_EQ(SQLGetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
        ASSERT_EQ(type, k.type) << "the cursor kept its type";
        ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SLONG, ids, 0, idInd), SQL_SUCCESS);
        ASSERT_EQ(SQLBindCol(st, 2, SQL_C_CHAR, names, sizeof names[0], nameInd), SQL_SUCCESS);
    }

    // Sets the rowset size and moves; the answer, with the rowset checked
    // row by row (each id's name, statuses, rows fetched).
    SQLRETURN Move(SQLULEN rowset, SQLSMALLINT orientation, SQLLEN offset, std::vector<int> *rows)
    {
        rows->clear();
        EXPECT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rowset), 0), SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, st);
        std::fill(std::begin(status), std::end(status), SQLUSMALLINT{99});
        fetched = 99;
        const SQLRETURN rc = SQLFetchScroll(st, orientation, offset);
        if (rc == SQL_NO_DATA)
            EXPECT_EQ(fetched, 0u);
        if (!SQL_SUCCEEDED(rc))
            return rc;
        EXPECT_LE(fetched, rowset);
        for (SQLULEN i = 0; i < rowset; ++i) {
            if (i >= fetched) {
                EXPECT_EQ(status[i], SQL_ROW_NOROW) << "row " << i;
                continue;
            }
            EXPECT_EQ(status[i], SQL_ROW_SUCCESS) << "row " << i;
            EXPECT_EQ(std::string(names[i]), "v" + std::to_string(ids[i])) << "row " << i;
            rows->push_back(ids[i]);
        }
        return rc;
    }
};

std::vector<int> Ids(int first, int count)
{
    std::vector<int> v;
    for (int i = 0; i < count; ++i)
        v.push_back(first + i);
    return v;
}

std::string OrientationName(SQLSMALLINT o)
{
    static const char *const names[] = {"EXECUTE AGAIN", "NEXT", "FIRST", "LAST", "PRIOR", "ABSOLUTE", "RELATIVE",
                                        "?", "BOOKMARK"};
    return o >= 0 && o <= 8 ? names[o] : std::to_string(o);
}

bool Serves(const CursorKind &k, const Sequence &q)
{
    const bool absoluteRows = k.type == SQL_CURSOR_STATIC || (k.type == SQL_CURSOR_KEYSET_DRIVEN && k.keysetSize == 0);
    SQLULEN largest = 0;
    for (const Step &s : q.steps)
        largest = std::max(largest, s.rowset);
    // A mixed cursor's key window holds at least a rowset.
    return (!q.absolute || absoluteRows) && (k.keysetSize == 0 || k.keysetSize >= largest);
}

TEST_P(Positions, SequencesLandWhereOdbcSays)
{
    for (const Sequence &q : kSequences) {
        for (const CursorKind &k : kCursorKinds) {
            if (!Serves(k, q))
                continue;
            SCOPED_TRACE(std::string(q.what) + ", " + k.name);
            Open(k, q.rows, q.absolute);
            if (HasFatalFailure())
                return;
            int n = 0;
            for (const Step &s : q.steps) {
                SCOPED_TRACE(testing::Message() << "step " << ++n << ": " << OrientationName(s.orientation) << " "
                                                << s.offset << " with rowset " << s.rowset);
                if (s.orientation == kExecuteAgain) {
                    ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
                    ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, st);
                    continue;
                }
                bookmark = s.bookmark;
                std::vector<int> rows;
                const SQLRETURN rc = Move(s.rowset, s.orientation, s.offset, &rows);
                EXPECT_EQ(rc, s.rc) << Diags(SQL_HANDLE_STMT, st);
                if (rc == SQL_SUCCESS_WITH_INFO)
                    EXPECT_EQ(FirstState(st), "01S06");
                EXPECT_EQ(rows, Ids(s.first, s.rows));
            }
        }
    }
}

// Where ODBC's rules for SQLFetchScroll put the cursor: a move from `pos`
// (the first row of the current rowset, or one of the two places outside)
// over a result of n rows with rowsets of r rows.
constexpr int kBeforeStart = 0, kAfterEnd = -1;
struct OdbcPlace {
    int pos;       // where the cursor stands afterwards
    SQLRETURN rc;  // OK, FIRST_INSTEAD (01S06) or NONE
};

// NEXT moves by the rows of the previous fetch (p), every other move counts
// with the rowset size it is made with (r).
OdbcPlace OdbcMove(int pos, SQLSMALLINT o, long k, int n, int r, int p)
{
    auto at = [&](long first, SQLRETURN rc) -> OdbcPlace {
        if (first > n)
            return {kAfterEnd, NONE};
        return {static_cast<int>(first), rc};
    };
    auto absolute = [&](long k) -> OdbcPlace {
        if (k < 0) {
            if (-k <= n)
                return at(n + k + 1, OK);
            return -k > r ? OdbcPlace{kBeforeStart, NONE} : at(1, FIRST_INSTEAD);
        }
        return k == 0 ? OdbcPlace{kBeforeStart, NONE} : at(k, OK);
    };
    switch (o) {
    case SQL_FETCH_NEXT:
        if (pos == kAfterEnd)
            return {kAfterEnd, NONE};
        return at(pos == kBeforeStart ? 1 : static_cast<long>(pos) + p, OK);
    case SQL_FETCH_FIRST:
        return at(1, OK);
    case SQL_FETCH_LAST:
        return at(n <= r ? 1 : n - r + 1, OK);
    case SQL_FETCH_PRIOR:
        if (pos == kBeforeStart || pos == 1)
            return {kBeforeStart, NONE};
        if (pos == kAfterEnd)
            return n < r ? at(1, FIRST_INSTEAD) : at(n - r + 1, OK);
        return pos <= r ? at(1, FIRST_INSTEAD) : at(pos - r, OK);
    case SQL_FETCH_ABSOLUTE:
        return absolute(k);
    default:  // RELATIVE
        if (pos == kBeforeStart)
            return k > 0 ? absolute(k) : OdbcPlace{kBeforeStart, NONE};
        if (pos == kAfterEnd)
            return k < 0 ? absolute(k) : OdbcPlace{kAfterEnd, NONE};
        if (pos + k < 1)
            return pos == 1 || -k > r ? OdbcPlace{kBeforeStart, NONE} : at(1, FIRST_INSTEAD);
        return at(pos + k, OK);
    }
}

// Random moves, near and far, from inside and from both places outside,
// over results smaller and larger than a rowset, in half the trials with
// another rowset size before every move: every cursor type lands where
// ODBC's rules say (ABSOLUTE only where rows have numbers).
TEST_P(Positions, RandomMovesLandWhereOdbcSays)
{
    std::mt19937 rng(20261211);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int results[] = {3, 5, 7, 24};
    const int rowsets[] = {1, 3, 5};
    for (const CursorKind &k : kCursorKinds) {
        const bool absoluteRows =
            k.type == SQL_CURSOR_STATIC || (k.type == SQL_CURSOR_KEYSET_DRIVEN && k.keysetSize == 0);
        for (int trial = 0; trial < 12; ++trial) {
            const int n = results[trial % 4];
            const bool changing = trial % 2 == 1;
            int r = rowsets[pick(0, 2)];
            int previous = r;
            Open(k, n, false);
            if (HasFatalFailure())
                return;
            std::string moves;
            int pos = kBeforeStart;
            for (int step = 0; step < 16; ++step) {
                if (changing) {
                    r = rowsets[pick(0, 2)];
                    moves += " [" + std::to_string(r) + "]";
                }
                static const SQLSMALLINT kinds[] = {SQL_FETCH_NEXT,     SQL_FETCH_FIRST,    SQL_FETCH_LAST,
                                                    SQL_FETCH_PRIOR,    SQL_FETCH_RELATIVE, SQL_FETCH_RELATIVE,
                                                    SQL_FETCH_RELATIVE, SQL_FETCH_ABSOLUTE};
                SQLSMALLINT o = kinds[pick(0, absoluteRows ? 7 : 6)];
                long offset = 0;
                if (o == SQL_FETCH_RELATIVE || o == SQL_FETCH_ABSOLUTE)
                    offset = pick(0, 1) ? pick(-8, 8) : pick(-3 * n, 3 * n);
                moves += " " + OrientationName(o) + (offset ? " " + std::to_string(offset) : "");
                const OdbcPlace want = OdbcMove(pos, o, offset, n, r, previous);
                std::vector<int> rows;
                const SQLRETURN rc = Move(static_cast<SQLULEN>(r), o, offset, &rows);
                SCOPED_TRACE(testing::Message() << k.name << ", " << n << " rows:" << moves);
                EXPECT_EQ(rc, want.rc) << Diags(SQL_HANDLE_STMT, st);
                if (rc == SQL_SUCCESS_WITH_INFO) {
                    EXPECT_EQ(FirstState(st), "01S06");
                }
                EXPECT_EQ(rows, want.rc == NONE ? std::vector<int>{} : Ids(want.pos, std::min(r, n - want.pos + 1)));
                if (HasFailure())
                    return;
                pos = want.pos;
                previous = r;
            }
        }
    }
}

// NEXT with another rowset size before every fetch: every row exactly once,
// in order, then SQL_NO_DATA.
TEST_P(Positions, ForwardWithTheRowsetSizeChangingBeforeEveryNext)
{
    constexpr int kRows = 2000;
    for (const CursorKind &k : kCursorKinds) {
        SCOPED_TRACE(k.name);
        Open(k, kRows, false);
        if (HasFatalFailure())
            return;
        std::vector<int> seen, rows;
        SQLRETURN rc = SQL_SUCCESS;
        for (int i = 0; i < 2 * kRows && rc == SQL_SUCCESS; ++i) {
            const SQLULEN size = 1 + static_cast<SQLULEN>(i * 7 % 10);
            rc = Move(size, SQL_FETCH_NEXT, 0, &rows);
            seen.insert(seen.end(), rows.begin(), rows.end());
        }
        EXPECT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, st);
        EXPECT_EQ(seen, Ids(1, kRows));
    }
}

// A rowset of no rows is refused; the size stays as it was.
TEST_P(Positions, RowArraySizeOfZeroIsRefused)
{
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(7), 0), SQL_SUCCESS);
    EXPECT_EQ(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(0), 0), SQL_ERROR);
    EXPECT_EQ(FirstState(st), "HY024");
    SQLULEN size = 0;
    ASSERT_EQ(SQLGetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, &size, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(size, 7u);
}

// A keyset larger than the largest one the driver keeps is cut to that size
// and said so; the statement reports the size it uses.
TEST_P(Positions, KeysetSizeAboveTheLargestIsCutWithAWarning)
{
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_KEYSET_DRIVEN), 0),
              SQL_SUCCESS);
    EXPECT_EQ(SQLSetStmtAttr(st, SQL_ATTR_KEYSET_SIZE, reinterpret_cast<SQLPOINTER>(8000), 0), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(FirstState(st), "01S02");
    SQLULEN size = 0;
    ASSERT_EQ(SQLGetStmtAttr(st, SQL_ATTR_KEYSET_SIZE, &size, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(size, 5000u);
    EXPECT_EQ(SQLSetStmtAttr(st, SQL_ATTR_KEYSET_SIZE, reinterpret_cast<SQLPOINTER>(5000), 0), SQL_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, Positions, ::testing::Values("krs_w", "krs_a"),
                         [](const ::testing::TestParamInfo<const char *> &i) { return std::string(i.param); });

INSTANTIATE_TEST_SUITE_P(BothLibraries, Scroll, ::testing::Values("krs_w", "krs_a"),
                         [](const ::testing::TestParamInfo<const char *> &i) { return std::string(i.param); });

} // namespace

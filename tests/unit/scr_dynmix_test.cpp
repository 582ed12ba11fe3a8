// The moves of mixed and dynamic cursors over a simulated ordered result:
// each window read returns the keys a keyset query with the scrolling
// predicate would (the same RELATIVE plan and boundary rows), so the moves
// can be checked against what an application must see: every row once
// walking forward or backward, the first rowset rather than the next rows
// on PRIOR and FIRST, windows read only when a rowset leaves the window.
// Also the row-fetch loop that carries RELATIVE jumps of any size, and the
// key window read (KS_GetKeySet), whose keyset query's answer is closed
// whatever the read answers, so no result stays open on its statement.
#include <gtest/gtest.h>

#include "odbc/contract/errnum.h"
#include "odbc/contract/rowblock.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_dynmix.h"
#include "scrs/scs_install.h"
#include "scrs/scs_keyscroll.h"
#include "scrs/scs_keyset.h"
#include "util/dynarray.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A result of N rows (numbered 0 .. N-1 in scroll order) and the window of
// keys last read, [start, start + held), with the boundary rows that stay
// after an empty read, as KS_GetKeySet keeps keysetBounds.
class SimWindow : public KsWindow {
public:
    SimWindow(int64_t rows, int32_t keysetSize) : N(rows), K(keysetSize) {}

    int read(int16_t o, int32_t v) override
    {
        ++reads;
        if ((o == SQL_FETCH_NEXT || o == SQL_FETCH_PRIOR) && !hasBounds)
            o = o == SQL_FETCH_NEXT ? SQL_FETCH_FIRST : SQL_FETCH_LAST;
        switch (o) {
        case SQL_FETCH_FIRST: return take(0, K);
        case SQL_FETCH_LAST: return take(N - K, N);
        case SQL_FETCH_NEXT: return take(last + 1, last + 1 + K);
        case SQL_FETCH_PRIOR: return take(first - K, first);
        case SQL_FETCH_RELATIVE: {
            KsRelativePlan plan{};
            EXPECT_EQ(0, ks_RelativePlan(K, static_cast<int32_t>(held), v, &plan));
            const int64_t b = ks_BoundaryRowGet(plan.direction, plan.mode) == KS_BOUND_FIRST ? first : last;
            const bool inclusive = plan.mode == KS_MODE_NEAR_INCLUSIVE;
            if (plan.direction == KS_DIR_FORWARD) {
                const int64_t lo = (inclusive ? b : b + 1) + plan.skip;
                return take(lo, lo + plan.keep);
            }
            const int64_t hi = (inclusive ? b : b - 1) - plan.skip;  // nearest kept row
            return take(hi - plan.keep + 1, hi + 1);
        }
        default: ADD_FAILURE() << "orientation " << o; return ERR_GENERAL;
        }
    }
    int32_t keys() const override { return static_cast<int32_t>(held); }

    int64_t N;
    int32_t K;
    int64_t start = 0, held = 0;
    int64_t first = 0, last = -1;
    bool hasBounds = false;
    int reads = 0;

private:
    int take(int64_t lo, int64_t hi)
    {
        lo = std::max<int64_t>(lo, 0);
        hi = std::min<int64_t>(hi, N);
        if (hi <= lo) {
            held = 0;
            return ERR_NO_DATA_FOUND;
        }
        start = lo;
        held = hi - lo;
        first = lo;
        last = hi - 1;
        hasBounds = true;
        return 0;
    }
};

// A mixed cursor over the simulated result: the rows of each rowset as
// absolute row numbers.
// R may change between fetches; P is the size the last rowset was fetched
// with.  The first rowset standing in for one that began before it answers
// 111 with its rows.
struct Mixed {
    SimWindow w;
    int32_t R;
    int32_t P;
    int32_t state = KSW_NONE;
    int32_t cur = 1;
    Mixed(int64_t n, int32_t keysetSize, int32_t rowsetSize) : w(n, keysetSize), R(rowsetSize), P(rowsetSize) {}

    int fetch(int16_t o, int32_t v, std::vector<int64_t> *rows)
    {
        rows->clear();
        int32_t a = -1;
        int rc = scs_p_MixedMove(w, &state, cur, w.K, R, P, o, v, &a);
        if (rc != 0 && rc != ERR_FETCH_BEFORE_FIRST_ROWSET)
            return rc;
        EXPECT_GE(a, 0);
        for (int64_t i = a; i < std::min<int64_t>(a + R, w.held); ++i)
            rows->push_back(w.start + i);
        cur = a + 1;
        P = R;
        return rows->empty() ? ERR_NO_DATA_FOUND : rc;
    }
};

// The rows ODBC puts in a rowset starting at absolute row s (0-based).
std::vector<int64_t> rowset(int64_t s, int32_t R, int64_t N)
{
    std::vector<int64_t> v;
    for (int64_t i = s; i < std::min<int64_t>(s + R, N); ++i)
        v.push_back(i);
    return v;
}

struct Shape {
    int64_t rows;
    int32_t keysetSize;
    int32_t rowsetSize;
};
const Shape kShapes[] = {{0, 20, 5}, {3, 20, 5}, {20, 20, 5}, {47, 20, 5}, {100, 20, 5},
                         {23, 7, 3}, {10, 5, 5},  {1, 1, 1},   {12, 6, 4}};

TEST(MixedCursor, WalksSeeEveryRowOnceInOrder)
{
    for (const Shape &s : kShapes) {
        SCOPED_TRACE(testing::Message() << s.rows << " rows, keyset " << s.keysetSize << ", rowset " << s.rowsetSize);
        // Forward: FIRST, then NEXT until no row is left.
        Mixed m(s.rows, s.keysetSize, s.rowsetSize);
        std::vector<int64_t> rows, seen;
        int rc = m.fetch(SQL_FETCH_FIRST, 0, &rows);
        for (int guard = 0; rc == 0 && guard < 1000; ++guard) {
            seen.insert(seen.end(), rows.begin(), rows.end());
            rc = m.fetch(SQL_FETCH_NEXT, 0, &rows);
        }
        EXPECT_EQ(ERR_NO_DATA_FOUND, rc);
        EXPECT_EQ(rowset(0, static_cast<int32_t>(s.rows), s.rows), seen);

        // Backward: LAST, then PRIOR until before the start.  ODBC's rowsets
        // start R rows earlier each time; the last one is the first rowset.
        Mixed b(s.rows, s.keysetSize, s.rowsetSize);
        rc = b.fetch(SQL_FETCH_LAST, 0, &rows);
        if (s.rows == 0) {
            EXPECT_EQ(ERR_NO_DATA_FOUND, rc);
            continue;
        }
        int64_t start = std::max<int64_t>(0, s.rows - s.rowsetSize);
        for (int guard = 0; (rc == 0 || rc == ERR_FETCH_BEFORE_FIRST_ROWSET) && guard < 1000; ++guard) {
            EXPECT_EQ(rowset(start, s.rowsetSize, s.rows), rows);
            rc = b.fetch(SQL_FETCH_PRIOR, 0, &rows);
            if (start == 0)
                break;
            // A rowset that would begin before the first row is the first
            // rowset, with 01S06.
            EXPECT_EQ(start < s.rowsetSize ? ERR_FETCH_BEFORE_FIRST_ROWSET : 0, rc) << "PRIOR from " << start;
            start = std::max<int64_t>(0, start - s.rowsetSize);
        }
        EXPECT_EQ(ERR_BEFORE_START, rc) << "PRIOR from the first rowset";
    }
}

TEST(MixedCursor, MovesInsideTheWindowWithoutReadingIt)
{
    // Keyset 20, rowset 5: FIRST reads a window, three NEXTs stay in it,
    // the fourth reads the window that starts with row 21.
    Mixed m(100, 20, 5);
    std::vector<int64_t> rows;
    ASSERT_EQ(0, m.fetch(SQL_FETCH_FIRST, 0, &rows));
    EXPECT_EQ(1, m.w.reads);
    for (int i = 1; i <= 3; ++i) {
        ASSERT_EQ(0, m.fetch(SQL_FETCH_NEXT, 0, &rows));
        EXPECT_EQ(rowset(5 * i, 5, 100), rows);
    }
    EXPECT_EQ(1, m.w.reads);
    ASSERT_EQ(0, m.fetch(SQL_FETCH_NEXT, 0, &rows));
    EXPECT_EQ(2, m.w.reads);
    EXPECT_EQ(20, m.w.start);
    EXPECT_EQ(1, m.cur);
    EXPECT_EQ(rowset(20, 5, 100), rows);
    // PRIOR twice inside the window's reach: back to rows 10-14 and 5-9.
    ASSERT_EQ(0, m.fetch(SQL_FETCH_PRIOR, 0, &rows));
    EXPECT_EQ(rowset(15, 5, 100), rows);
    ASSERT_EQ(0, m.fetch(SQL_FETCH_PRIOR, 0, &rows));
    EXPECT_EQ(rowset(10, 5, 100), rows);
    // FIRST from a window that does not start the result reads again.
    const int before = m.w.reads;
    ASSERT_EQ(0, m.fetch(SQL_FETCH_FIRST, 0, &rows));
    EXPECT_EQ(before + 1, m.w.reads);
    EXPECT_EQ(rowset(0, 5, 100), rows);
    // ... and FIRST again, or LAST on a result the window holds whole,
    // reads nothing.
    ASSERT_EQ(0, m.fetch(SQL_FETCH_FIRST, 0, &rows));
    EXPECT_EQ(before + 1, m.w.reads);
}

TEST(MixedCursor, PriorAndFirstNeverGiveTheFollowingRows)
{
    struct Case {
        int nexts;        // NEXTs after FIRST before the PRIOR
        int64_t expect;   // first row of the PRIOR rowset (-1: before the start)
    };
    // 47 rows, keyset 20, rowset 5.
    const Case cases[] = {{0, -1}, {1, 0}, {3, 10}, {4, 15}, {5, 20}, {8, 35}, {9, 40}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.nexts << " NEXTs");
        Mixed m(47, 20, 5);
        std::vector<int64_t> rows;
        ASSERT_EQ(0, m.fetch(SQL_FETCH_FIRST, 0, &rows));
        for (int i = 0; i < c.nexts; ++i)
            ASSERT_EQ(0, m.fetch(SQL_FETCH_NEXT, 0, &rows));
        const int rc = m.fetch(SQL_FETCH_PRIOR, 0, &rows);
        if (c.expect < 0) {
            EXPECT_EQ(ERR_BEFORE_START, rc);
            continue;
        }
        ASSERT_EQ(0, rc);
        EXPECT_EQ(rowset(c.expect, 5, 47), rows);
    }
    // Rowset starting at row 2 (RELATIVE 2 from the first): PRIOR gives
    // the first rowset, not rows 7-11.
    Mixed m(47, 20, 5);
    std::vector<int64_t> rows;
    ASSERT_EQ(0, m.fetch(SQL_FETCH_FIRST, 0, &rows));
    ASSERT_EQ(0, m.fetch(SQL_FETCH_RELATIVE, 2, &rows));
    EXPECT_EQ(rowset(2, 5, 47), rows);
    ASSERT_EQ(ERR_FETCH_BEFORE_FIRST_ROWSET, m.fetch(SQL_FETCH_PRIOR, 0, &rows));
    EXPECT_EQ(rowset(0, 5, 47), rows);
}

TEST(MixedCursor, PastTheEndAndBack)
{
    Mixed m(12, 5, 5);
    std::vector<int64_t> rows;
    ASSERT_EQ(0, m.fetch(SQL_FETCH_LAST, 0, &rows));
    EXPECT_EQ(rowset(7, 5, 12), rows);
    EXPECT_EQ(ERR_NO_DATA_FOUND, m.fetch(SQL_FETCH_NEXT, 0, &rows));
    EXPECT_EQ(KSW_PAST_END, m.state);
    EXPECT_EQ(ERR_NO_DATA_FOUND, m.fetch(SQL_FETCH_RELATIVE, 3, &rows));
    // PRIOR after the end is the last rowset; RELATIVE -2 after the end
    // the last two rows.
    ASSERT_EQ(0, m.fetch(SQL_FETCH_PRIOR, 0, &rows));
    EXPECT_EQ(rowset(7, 5, 12), rows);
    EXPECT_EQ(KSW_AT_END, m.state);
    EXPECT_EQ(ERR_NO_DATA_FOUND, m.fetch(SQL_FETCH_NEXT, 0, &rows));
    ASSERT_EQ(0, m.fetch(SQL_FETCH_RELATIVE, -2, &rows));
    EXPECT_EQ(rowset(10, 5, 12), rows);
}

TEST(MixedCursor, RelativeMovesLandOnTheirRows)
{
    struct Case {
        int64_t from;    // first row of the current rowset
        int32_t offset;
        int64_t expect;  // first row of the new rowset; -1 before the start, -2 beyond the end
    };
    const int64_t N = 300000;
    const Case cases[] = {
        {0, 0, 0},          {0, 3, 3},           {10, 7, 17},         {10, -7, 3},        {40, 19, 59},
        {40, 20, 60},       {40, 21, 61},        {40, 57, 97},        {40, -19, 21},      {40, -20, 20},
        {40, -21, 19},      {40, -40, 0},        {40, -38, 2},        {40, -43, -1},      {3, -5, 0},  {3, -6, -1},  {0, -1, -1},
        {5, 70000, 70005},  {80000, -70000, 10000}, {100, 299899, 299999},
        {100, 300000, -2},  {299995, 4, 299999}, {299995, 5, -2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.from << " by " << c.offset);
        Mixed m(N, 20, 5);
        std::vector<int64_t> rows;
        // Reach the starting rowset: FIRST, then a RELATIVE inside the
        // result that the walk tests above already trust.
        ASSERT_EQ(0, m.fetch(SQL_FETCH_FIRST, 0, &rows));
        if (c.from) {
            ASSERT_EQ(0, m.fetch(SQL_FETCH_RELATIVE, static_cast<int32_t>(c.from), &rows));
        }
        ASSERT_EQ(rowset(c.from, 5, N), rows);
        const int rc = m.fetch(SQL_FETCH_RELATIVE, c.offset, &rows);
        if (c.expect == -1) {
            EXPECT_EQ(ERR_BEFORE_START, rc);
        } else if (c.expect == -2 || c.expect >= N) {
            EXPECT_EQ(ERR_NO_DATA_FOUND, rc);
        } else {
            // Past the start by no more than a rowset: the first rowset, with 01S06.
            ASSERT_EQ(c.from + c.offset < 0 ? ERR_FETCH_BEFORE_FIRST_ROWSET : 0, rc);
            EXPECT_EQ(rowset(c.expect, 5, N), rows);
        }
    }
}

TEST(MixedCursor, OrientationsTheCursorCannotServe)
{
    Mixed m(10, 5, 5);
    std::vector<int64_t> rows;
    for (int16_t o : {int16_t(SQL_FETCH_ABSOLUTE), int16_t(SQL_FETCH_BOOKMARK), int16_t(0), int16_t(99)})
        EXPECT_EQ(ERR_FETCH_TYPE_RANGE, m.fetch(o, 1, &rows)) << o;
    EXPECT_EQ(0, m.w.reads);
}

// ---- dynamic cursors ----

// Every window read brings a window of one rowset, and a fetch of its rows
// finds them all.
class SimRowsets : public KsRowsetSource {
public:
    SimRowsets(int64_t n, int32_t R) : w(n, R) {}
    int readWindow(int16_t o, int32_t v) override
    {
        ++refetches;
        fetched = false;
        return w.read(o, v);
    }
    int fetchRows(int32_t *rows) override
    {
        ++rowFetches;
        fetched = true;
        *rows = static_cast<int32_t>(w.held);
        return w.held > 0 ? 0 : ERR_NO_DATA_FOUND;
    }
    int refetch(int16_t o, int32_t v, int32_t *rows) override
    {
        *rows = 0;
        int rc = readWindow(o, v);
        return rc != 0 ? rc : fetchRows(rows);
    }
    int32_t keysHeld() const override { return static_cast<int32_t>(w.held); }
    // The rows of the window read last; none when they were not fetched.
    std::vector<int64_t> rows() const
    {
        return fetched ? rowset(w.start, static_cast<int32_t>(w.held), w.N) : std::vector<int64_t>{};
    }
    SimWindow w;
    int refetches = 0;
    int rowFetches = 0;
    bool fetched = false;
};

TEST(DynamicCursor, WalksSeeEveryRowOnce)
{
    for (const Shape &s : kShapes) {
        SCOPED_TRACE(testing::Message() << s.rows << " rows, rowset " << s.rowsetSize);
        const int32_t R = s.rowsetSize;
        SimRowsets src(s.rows, R);
        int32_t abs = 0, count = -1;
        std::vector<int64_t> seen;
        int rc = scs_p_DynamicMove(src, &abs, &count, R, SQL_FETCH_FIRST, 0);
        if (s.rows == 0) {
            EXPECT_EQ(ERR_NO_DATA_FOUND, rc);
            continue;
        }
        for (int guard = 0; rc == 0 && guard < 1000; ++guard) {
            const std::vector<int64_t> r = src.rows();
            seen.insert(seen.end(), r.begin(), r.end());
            rc = scs_p_DynamicMove(src, &abs, &count, R, SQL_FETCH_NEXT, 0);
            if (rc == 0) {
                EXPECT_EQ(src.w.held < R ? KSD_REACHED_END : KSD_INSIDE, abs);
            }
        }
        EXPECT_EQ(ERR_BEYOND_END, rc);
        EXPECT_EQ(-3, abs);
        EXPECT_EQ(rowset(0, static_cast<int32_t>(s.rows), s.rows), seen);

        // Backward from LAST: R rows earlier each time, the first rowset last.
        SimRowsets back(s.rows, R);
        abs = 0;
        count = -1;
        ASSERT_EQ(0, scs_p_DynamicMove(back, &abs, &count, R, SQL_FETCH_LAST, 0));
        int64_t start = std::max<int64_t>(0, s.rows - R);
        for (int guard = 0; rc != ERR_BEFORE_START && guard < 1000; ++guard) {
            EXPECT_EQ(rowset(start, R, s.rows), back.rows());
            rc = scs_p_DynamicMove(back, &abs, &count, R, SQL_FETCH_PRIOR, 0);
            if (start == 0)
                break;
            EXPECT_EQ(start < R ? ERR_FETCH_BEFORE_FIRST_ROWSET : 0, rc) << "PRIOR from " << start;
            start = std::max<int64_t>(0, start - R);
        }
        EXPECT_EQ(ERR_BEFORE_START, rc);
        EXPECT_EQ(0, abs);
    }
}

TEST(DynamicCursor, ShortWindowsTellTheRowCount)
{
    // FIRST or LAST on a result smaller than a rowset: the row count is
    // known; a larger result leaves it unknown.
    for (int16_t o : {int16_t(SQL_FETCH_FIRST), int16_t(SQL_FETCH_LAST)}) {
        SimRowsets small(3, 5), large(30, 5);
        int32_t abs = 0, count = -1;
        ASSERT_EQ(0, scs_p_DynamicMove(small, &abs, &count, 5, o, 0));
        EXPECT_EQ(3, count);
        count = -1;
        ASSERT_EQ(0, scs_p_DynamicMove(large, &abs, &count, 5, o, 0));
        EXPECT_EQ(-1, count);
    }
}

TEST(DynamicCursor, RelativeMoves)
{
    struct Case {
        int64_t from;
        int32_t offset;
        int64_t expect;  // -1 before the start (85), -2 beyond the end (86)
    };
    const Case cases[] = {{0, 0, 0},   {0, 1, 1},  {10, 4, 14},  {10, 5, 15},   {10, 12, 22},  {10, -4, 6},
                          {10, -5, 5}, {10, -12, -1}, {3, -2, 1},  {3, -4, 0},  {3, -5, 0},  {3, -6, -1},    {0, -1, -1},   {40, 100, -2},
                          {38, 1, 39}, {5, 70000, -2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.from << " by " << c.offset);
        SimRowsets src(43, 5);
        int32_t abs = 0, count = -1;
        ASSERT_EQ(0, scs_p_DynamicMove(src, &abs, &count, 5, SQL_FETCH_FIRST, 0));
        if (c.from) {
            ASSERT_EQ(0, scs_p_DynamicMove(src, &abs, &count, 5, SQL_FETCH_RELATIVE, static_cast<int32_t>(c.from)));
        }
        ASSERT_EQ(rowset(c.from, 5, 43), src.rows());
        const int rc = scs_p_DynamicMove(src, &abs, &count, 5, SQL_FETCH_RELATIVE, c.offset);
        if (c.expect == -1) {
            EXPECT_EQ(ERR_BEFORE_START, rc);
        } else if (c.expect == -2) {
            EXPECT_EQ(ERR_BEYOND_END, rc);
        } else {
            ASSERT_EQ(c.from + c.offset < 0 ? ERR_FETCH_BEFORE_FIRST_ROWSET : 0, rc);
            EXPECT_EQ(rowset(c.expect, 5, 43), src.rows());
        }
    }
    SimRowsets src(10, 5);
    int32_t abs = 0, count = -1;
    EXPECT_EQ(ERR_FETCH_TYPE_RANGE, scs_p_DynamicMove(src, &abs, &count, 5, SQL_FETCH_ABSOLUTE, 1));
    EXPECT_EQ(0, src.refetches);
}

TEST(DynamicCursor, MovesBackPastTheStartFetchOnlyTheRowsetTheyReturn)
{
    // A window read that finds fewer keys than a rowset before the start
    // decides the move by itself: its rows are never fetched, only those of
    // the first rowset when the move ends there.
    struct Case {
        int64_t from;
        int16_t o;
        int32_t offset;
        int rc;
        int64_t expect;  // first row of the rowset; -1 before the start
        int windows;     // window reads of the move
        int fetches;     // row fetches of the move
    };
    const Case cases[] = {
        {3, SQL_FETCH_PRIOR, 0, ERR_FETCH_BEFORE_FIRST_ROWSET, 0, 2, 1},
        {5, SQL_FETCH_PRIOR, 0, 0, 0, 1, 1},
        {12, SQL_FETCH_PRIOR, 0, 0, 7, 1, 1},
        {0, SQL_FETCH_PRIOR, 0, ERR_BEFORE_START, -1, 1, 0},
        {3, SQL_FETCH_RELATIVE, -2, 0, 1, 1, 1},
        {3, SQL_FETCH_RELATIVE, -4, ERR_FETCH_BEFORE_FIRST_ROWSET, 0, 2, 1},
        {3, SQL_FETCH_RELATIVE, -6, ERR_BEFORE_START, -1, 1, 0},
        {0, SQL_FETCH_RELATIVE, -1, ERR_BEFORE_START, -1, 1, 0},
        {12, SQL_FETCH_RELATIVE, -9, 0, 3, 1, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.from << ", orientation " << c.o << " by " << c.offset);
        SimRowsets src(43, 5);
        int32_t abs = 0, count = -1;
        ASSERT_EQ(0, scs_p_DynamicMove(src, &abs, &count, 5, SQL_FETCH_FIRST, 0));
        if (c.from) {
            ASSERT_EQ(0, scs_p_DynamicMove(src, &abs, &count, 5, SQL_FETCH_RELATIVE, static_cast<int32_t>(c.from)));
        }
        src.refetches = src.rowFetches = 0;
        EXPECT_EQ(c.rc, scs_p_DynamicMove(src, &abs, &count, 5, c.o, c.offset));
        if (c.expect >= 0) {
            EXPECT_EQ(rowset(c.expect, 5, 43), src.rows());
        } else {
            EXPECT_EQ(0, abs);
        }
        EXPECT_EQ(c.windows, src.refetches);
        EXPECT_EQ(c.fetches, src.rowFetches);
    }
}

// ---- rowset sizes changing between moves ----

// One move of a sequence: the rowset size it is made with, and the rowset
// ODBC gives (first row from 0; -1 before the start, -2 after the end).
struct SizedMove {
    int32_t R;
    int16_t o;
    int32_t v;
    int64_t first;
    int rc = 0;   // 0, or 111 for the first rowset in place of an earlier one
};

struct SizedSequence {
    const char *what;
    int64_t rows;
    std::vector<SizedMove> moves;
};

const SizedSequence kSizedSequences[] = {
    {"NEXT moves by the previous rowset's size", 20,
     {{3, SQL_FETCH_FIRST, 0, 0}, {5, SQL_FETCH_NEXT, 0, 3}, {2, SQL_FETCH_NEXT, 0, 8}, {4, SQL_FETCH_NEXT, 0, 10},
      {1, SQL_FETCH_NEXT, 0, 14}, {5, SQL_FETCH_FIRST, 0, 0}, {2, SQL_FETCH_NEXT, 0, 5}, {9, SQL_FETCH_NEXT, 0, 7},
      {9, SQL_FETCH_NEXT, 0, 16}, {9, SQL_FETCH_NEXT, 0, -2}, {2, SQL_FETCH_NEXT, 0, -2}}},
    {"after the end NEXT stays there, PRIOR is the last rowset", 20,
     {{4, SQL_FETCH_LAST, 0, 16}, {4, SQL_FETCH_NEXT, 0, -2}, {2, SQL_FETCH_NEXT, 0, -2}, {2, SQL_FETCH_PRIOR, 0, 18}}},
    {"RELATIVE counts from the first row of the rowset, whatever its size", 300,
     {{5, SQL_FETCH_FIRST, 0, 0}, {2, SQL_FETCH_RELATIVE, 51, 51}, {7, SQL_FETCH_RELATIVE, -50, 1},
      {3, SQL_FETCH_RELATIVE, 10, 11}, {9, SQL_FETCH_RELATIVE, 1, 12}, {4, SQL_FETCH_RELATIVE, 8, 20},
      {6, SQL_FETCH_RELATIVE, -3, 17}, {5, SQL_FETCH_RELATIVE, -23, -1}}},
    {"RELATIVE back with a larger rowset keeps the rows that follow", 300,
     {{1, SQL_FETCH_LAST, 0, 299}, {1, SQL_FETCH_PRIOR, 0, 298}, {1, SQL_FETCH_PRIOR, 0, 297},
      {9, SQL_FETCH_RELATIVE, -1, 296}, {9, SQL_FETCH_NEXT, 0, -2}, {9, SQL_FETCH_PRIOR, 0, 291},
      {1, SQL_FETCH_RELATIVE, -200, 91}, {9, SQL_FETCH_RELATIVE, -2, 89}, {1, SQL_FETCH_RELATIVE, -85, 4},
      {9, SQL_FETCH_RELATIVE, -6, 0, ERR_FETCH_BEFORE_FIRST_ROWSET}}},
};

// Checks a move's answer and rows over a result of n rows; afterEnd is how
// the engine answers a move beyond the end.
void checkSizedMove(const SizedMove &m, int rc, int afterEnd, const std::vector<int64_t> &rows, int64_t n)
{
    if (m.first == -1) {
        EXPECT_EQ(ERR_BEFORE_START, rc);
    } else if (m.first == -2) {
        EXPECT_EQ(afterEnd, rc);
    } else {
        EXPECT_EQ(m.rc, rc);
        EXPECT_EQ(rowset(m.first, m.R, n), rows);
    }
}

TEST(MixedCursor, RowsetSizesChangingBetweenMoves)
{
    for (const SizedSequence &q : kSizedSequences) {
        SCOPED_TRACE(q.what);
        Mixed m(q.rows, 10, 1);
        int step = 0;
        for (const SizedMove &mv : q.moves) {
            SCOPED_TRACE(testing::Message() << "move " << ++step);
            m.R = mv.R;
            std::vector<int64_t> rows;
            const int rc = m.fetch(mv.o, mv.v, &rows);
            checkSizedMove(mv, rc, ERR_NO_DATA_FOUND, rows, q.rows);
        }
    }
}

TEST(DynamicCursor, RowsetSizesChangingBetweenMoves)
{
    for (const SizedSequence &q : kSizedSequences) {
        SCOPED_TRACE(q.what);
        SimRowsets src(q.rows, 1);
        int32_t abs = 0, count = -1;
        int step = 0;
        for (const SizedMove &mv : q.moves) {
            SCOPED_TRACE(testing::Message() << "move " << ++step);
            // A dynamic cursor's window is one rowset.  After the end the
            // statement answers NEXT itself and turns PRIOR into LAST.
            src.w.K = mv.R;
            if (abs == -3 && mv.o == SQL_FETCH_NEXT) {
                EXPECT_EQ(-2, mv.first);
                continue;
            }
            const int16_t o = abs == -3 && mv.o == SQL_FETCH_PRIOR ? int16_t(SQL_FETCH_LAST) : mv.o;
            const int rc = scs_p_DynamicMove(src, &abs, &count, mv.R, o, mv.v);
            checkSizedMove(mv, rc, ERR_BEYOND_END, src.rows(), q.rows);
        }
    }
}

// ---- the boundary parameters of a window read ----

// A cursor ordered by a nullable name (no key) and completed by its key id,
// with the bounds of a window whose first row is (2, NULL) and last (7, 'b')
// or (7, NULL).
struct BoundsFixture {
    ScsContext ctx;
    BoundsFixture(bool lastNameNull)
    {
        ctx.keyCols = DA_New(sizeof(ScrColumnRef));
        ctx.orderByCols = DA_New(sizeof(OrderByColDesc));
        ScrColumnRef id{};
        strcpy(id.column, "id");
        id.sqlType = SQL_INTEGER;
        DA_Append(ctx.keyCols, &id);
        OrderByColDesc name{};
        strcpy(name.text, "name");
        strcpy(name.column, "name");
        name.sqlType = SQL_VARCHAR;
        name.columnSize = 10;
        DA_Append(ctx.orderByCols, &name);
        ctx.clauseFlags = SCR_CF_ORDER_BY;
        ctx.sortKeyCount = 2;
        ctx.nullCollation = SQL_NC_HIGH;
        ctx.keysetBounds = static_cast<RowBlock *>(calloc(1, sizeof(RowBlock)));
        RowBlock *b = ctx.keysetBounds;
        RB_Init(b, 2);
        b->columns[0].valueType = VT_LONG;
        b->columns[0].width = 4;
        b->columns[1].valueType = VT_NTS;
        b->columns[1].width = 11;
        b->columnsUsed = 2;
        RB_AllocRows(b, 2);
        b->rowsUsed = 2;
        const int32_t ids[2] = {2, 7};
        for (int r = 0; r < 2; ++r) {
            memcpy(b->columns[0].data + r * 4, &ids[r], 4);
            b->columns[0].indicators[r] = RB_IND_VALUE;
        }
        b->columns[1].indicators[0] = RB_IND_NULL;
        if (!lastNameNull) {
            strcpy(reinterpret_cast<char *>(b->columns[1].data) + 11, "b");
            b->columns[1].indicators[1] = RB_IND_VALUE;
        }
    }
    ~BoundsFixture()
    {
        DA_Free(&ctx.keyCols, nullptr);
        DA_Free(&ctx.orderByCols, nullptr);
        RB_Free(ctx.keysetBounds);
        free(ctx.keysetBounds);
        ctx.keysetBounds = nullptr;
        free(ctx.genParamTypes);
        ctx.genParamTypes = nullptr;
    }
};

// A parameter's value as text ("7", "b", "NULL").
std::string Value(const RowBlock *p, int col)
{
    if (p->columns[col].indicators[0] == RB_IND_NULL)
        return "NULL";
    if (p->columns[col].valueType == VT_LONG) {
        int32_t v = 0;
        memcpy(&v, p->columns[col].data, 4);
        return std::to_string(v);
    }
    return reinterpret_cast<const char *>(p->columns[col].data);
}

TEST(KeyWindow, BoundaryParametersFollowTheMarkers)
{
    struct Case {
        bool lastNameNull;
        int16_t direction;
        int16_t mode;
        std::vector<std::string> values;  // in marker order
        std::vector<int16_t> types;
    };
    const Case cases[] = {
        // name > ? OR name IS NULL; name = ? AND id > ?
        {false, KS_DIR_FORWARD, KS_MODE_FAR, {"b", "b", "7"}, {SQL_VARCHAR, SQL_VARCHAR, SQL_INTEGER}},
        // the NULL name is written into the text: name IS NULL AND id > ?
        {true, KS_DIR_FORWARD, KS_MODE_FAR, {"7"}, {SQL_INTEGER}},
        // backward from the first row (NULL name): name IS NOT NULL; name IS NULL AND id < ?
        {false, KS_DIR_BACKWARD, KS_MODE_FAR, {"2"}, {SQL_INTEGER}},
        // near modes start from the first row going forward
        {false, KS_DIR_FORWARD, KS_MODE_NEAR_INCLUSIVE, {"2"}, {SQL_INTEGER}},
        {false, KS_DIR_BACKWARD, KS_MODE_NEAR, {"b", "b", "7"}, {SQL_VARCHAR, SQL_VARCHAR, SQL_INTEGER}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "direction " << c.direction << " mode " << c.mode << " null "
                                        << c.lastNameNull);
        BoundsFixture f(c.lastNameNull);
        f.ctx.sendParamTypes = 1;
        RowBlock *p = nullptr;
        ASSERT_EQ(0, ks_BoundaryParamsMake(&f.ctx, c.direction, c.mode, &p));
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p->rowsUsed, 1);
        std::vector<std::string> got;
        for (int i = 0; i < p->columnsUsed; ++i)
            got.push_back(Value(p, i));
        EXPECT_EQ(got, c.values);
        ASSERT_EQ(f.ctx.genParamTypeCount, c.types.size());
        for (size_t i = 0; i < c.types.size(); ++i)
            EXPECT_EQ(f.ctx.genParamTypes[i].sqlType, c.types[i]) << i;
        RB_Free(p);
        free(p);
    }
    // No bounds (no window read yet): refused, nothing made.
    BoundsFixture f(false);
    RB_Free(f.ctx.keysetBounds);
    RowBlock *p = reinterpret_cast<RowBlock *>(1);
    EXPECT_EQ(ERR_GENERAL, ks_BoundaryParamsMake(&f.ctx, KS_DIR_FORWARD, KS_MODE_FAR, &p));
    EXPECT_EQ(p, nullptr);
}

// ---- fetching a window in pieces ----

// A back end whose statement results hold `total` rows of one integer; the
// key window read's statement (kQueryStmt) answers as scripted.
constexpr int kQueryStmt = 7;
struct Source {
    int64_t total = 0;
    int64_t next = 0;
    int largestAsk = 0;
    int calls = 0;
    int prepareRc = 0;
    int executeRc = 0;
    int fetchRc = 0;
    bool open = false;     // an answer is open on the query's statement
    int closes = 0;
    std::vector<std::string> prepared;
} g_source;

int srcAllocStmt(int, int *out)
{
    *out = kQueryStmt;
    return 0;
}
int srcPrepare(int, const char *sql)
{
    g_source.prepared.emplace_back(sql ? sql : "");
    return g_source.prepareRc;
}
int srcSetOption(int, int, void *) { return 0; }
int srcExecute(int)
{
    if (g_source.executeRc == 0)
        g_source.open = true;
    return g_source.executeRc;
}
int srcCloseCursor(int h)
{
    if (h == kQueryStmt) {
        ++g_source.closes;
        g_source.open = false;
    }
    return 0;
}

int srcFetch(int, uint16_t n, RowBlock *out)
{
    if (g_source.fetchRc)
        return g_source.fetchRc;
    ++g_source.calls;
    g_source.largestAsk = std::max<int>(g_source.largestAsk, n);
    RB_Free(out);
    RB_Init(out, 1);
    out->columns[0].valueType = VT_LONG;
    out->columns[0].width = 4;
    out->columnsUsed = 1;
    RB_AllocRows(out, n ? n : 1);
    for (; out->rowsUsed < n && g_source.next < g_source.total; ++out->rowsUsed) {
        const int32_t v = static_cast<int32_t>(++g_source.next);
        memcpy(out->columns[0].data + out->rowsUsed * 4, &v, 4);
        out->columns[0].indicators[out->rowsUsed] = RB_IND_VALUE;
    }
    return 0;
}

void installSource()
{
    static DrvOpTable table = [] {
        DrvOpTable t{};
        t.Fetch = srcFetch;
        t.AllocStmt = srcAllocStmt;
        t.Prepare = srcPrepare;
        t.SetOption = srcSetOption;
        t.Execute = srcExecute;
        t.CloseCursor = srcCloseCursor;
        return t;
    }();
    static DrvBinding binding = [] {
        DrvBinding b{DRVB_THREAD_SAFE, &table};
        SCS_Install(&b);
        return b;
    }();
    (void)binding;
}

TEST(KeyWindow, FetchesAnyNumberOfRowsInPiecesOneFetchCarries)
{
    installSource();
    struct Case {
        int64_t total;    // rows in the result
        int64_t skip;     // rows passed over first
        int64_t keep;     // rows wanted then
        int64_t firstKept;  // value of the first row kept (0: none)
        int64_t kept;
    };
    const Case cases[] = {
        {200000, 0, 20, 1, 20},           {200000, 66000, 20, 66001, 20},  {200000, 131070, 5, 131071, 5},
        {200000, 65535, 65536, 65536, 65536}, {70000, 69990, 20, 69991, 10}, {70000, 70000, 20, 0, 0},
        {70000, 80000, 20, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.total << " rows, skip " << c.skip << ", keep " << c.keep);
        g_source = Source{};
        g_source.total = c.total;
        int64_t got = -1;
        ASSERT_EQ(0, ks_FetchRows(1, c.skip, nullptr, 1, &got));
        EXPECT_EQ(got, std::min(c.skip, c.total));
        RowBlock rows{};
        ASSERT_EQ(0, ks_FetchRows(1, c.keep, &rows, 0, &got));
        EXPECT_EQ(got, c.kept);
        EXPECT_EQ(rows.rowsUsed, c.kept);
        if (c.kept) {
            int32_t first = 0, last = 0;
            memcpy(&first, rows.columns[0].data, 4);
            memcpy(&last, rows.columns[0].data + (rows.rowsUsed - 1) * 4, 4);
            EXPECT_EQ(first, c.firstKept);
            EXPECT_EQ(last, c.firstKept + c.kept - 1);
        }
        EXPECT_LE(g_source.largestAsk, 65535);
        RB_Free(&rows);
    }
    EXPECT_EQ(ERR_GENERAL, ks_FetchRows(1, 5, nullptr, 0, nullptr));
}

// A dynamic cursor's context over "SELECT id, name FROM t" keyed by id, with
// rowsets of three rows.
struct DynamicCursor {
    ScsContext ctx;
    DynamicCursor()
    {
        ctx.opts.cursorType = SCS_DYNAMIC;
        ctx.opts.rowsetSize = 3;
        ctx.drvConn = 1;
        ctx.posStmt = 2;
        ctx.stmtText = strdup("SELECT id, name FROM t");
        ctx.keyCols = DA_New(sizeof(ScrColumnRef));
        ScrColumnRef id{};
        strcpy(id.column, "id");
        id.sqlType = SQL_INTEGER;
        id.itemKind = SCR_ITEM_COLUMN;
        DA_Append(ctx.keyCols, &id);
        KS_Alloc(&ctx.keySet);
    }
    ~DynamicCursor()
    {
        KS_Free(&ctx.keySet);
        DA_Free(&ctx.keyCols, nullptr);
        free(ctx.stmtText);
        SCR_Free(&ctx.keysetAnalysis);
        KS_BlockFree(&ctx.keysetBounds);
        free(ctx.genParamTypes);
    }
};

TEST(KeyWindowRead, TheQueryAnswerIsClosedOnEveryReturn)
{
    installSource();
    struct Case {
        const char *name;
        int prepareRc, executeRc, fetchRc;
        int32_t rows;
        int rc;
        int32_t keys;   // keys the window holds after the read
    };
    const Case cases[] = {
        {"a full window", 0, 0, 0, 10, 0, 3},
        {"a short window", 0, 0, 0, 2, 0, 2},
        {"an empty result", 0, 0, 0, 0, ERR_NO_DATA_FOUND, 0},
        {"a fetch that fails", 0, 0, ERR_GENERAL, 10, ERR_GENERAL, 0},
        {"an execute that fails", 0, ERR_GENERAL, 0, 10, ERR_GENERAL, 0},
        {"a prepare that fails", ERR_GENERAL, 0, 0, 10, ERR_GENERAL, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        g_source = Source{};
        g_source.prepareRc = c.prepareRc;
        g_source.executeRc = c.executeRc;
        g_source.fetchRc = c.fetchRc;
        g_source.total = c.rows;
        DynamicCursor cur;
        EXPECT_EQ(KS_GetKeySet(&cur.ctx, SQL_FETCH_FIRST, 0), c.rc);
        EXPECT_FALSE(g_source.open);
        EXPECT_EQ(g_source.closes, 1);
        ASSERT_EQ(g_source.prepared.size(), 1u);
        EXPECT_NE(g_source.prepared[0].find("ORDER BY"), std::string::npos) << g_source.prepared[0];
        if (c.rc == 0) {
            EXPECT_EQ(cur.ctx.keySet->keyRows->rowsUsed, c.keys);
        }
    }
}

}  // namespace

// The dataset cache, the static set and the cache's file codec, filled from a
// fake back-end statement that serves rows of every value type in blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "odbc/contract/drv_ops.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "platform/tempfile.h"
#include "scrs/sc_dataset.h"

namespace {

// --- the fake back end ------------------------------------------------------

// One column of every value type the row blocks carry, with a declared size.
struct ColSpec {
    ValueType type;
    uint32_t size;
};
const std::vector<ColSpec> kAllTypes = {
    {VT_LONG, 0},        {VT_DOUBLE, 0},      {VT_NTS, 15},       {VT_HEAP_TEXT, 0},
    {VT_WTEXT4, 10},     {VT_HEAP_WTEXT, 0},  {VT_BIN2, 9},       {VT_HEAP_BINARY, 0},
    {VT_DATE, 0},        {VT_TIMESTAMP, 0},   {VT_TIME, 0},       {VT_SHORT, 0},
    {VT_TINYINT, 0},     {VT_BIT, 0},         {VT_BYTE, 0},       {VT_FLOAT, 0},
    {VT_CHAR, 12},       {VT_TEXT1, 12},      {VT_TEXT2, 12},     {VT_TEXT4, 12},
    {VT_BINARY, 6},      {VT_BIN1, 9},        {VT_BIN4, 9},       {VT_WCHAR, 4},
    {VT_WNTS, 6},        {VT_USHORT, 0},      {VT_ULONG, 0},      {VT_UTINYINT, 0},
};

uint8_t *Cell(const RowBlockColumn &c, int32_t row) { return c.data + size_t(row) * c.width; }

template <typename T>
void Put(uint8_t *p, T v) { std::memcpy(p, &v, sizeof v); }

void PutHeap(uint8_t *cell, const void *bytes, uint32_t len, size_t unit, bool terminated)
{
    LongDataBuf v{len, nullptr};
    size_t room = len * unit + (terminated ? unit : 0);
    if (room) {
        v.data = static_cast<char *>(std::calloc(room, 1));
        std::memcpy(v.data, bytes, len * unit);
    }
    std::memcpy(cell, &v, sizeof v);
}

// Fills row `row` of block b with the values of absolute row r.
void MakeRow(RowBlock &b, int32_t row, int32_t r)
{
    for (uint16_t k = 0; k < b.columnsUsed; ++k) {
        RowBlockColumn &c = b.columns[k];
        uint8_t *p = Cell(c, row);
        if ((r * 31 + k) % 11 == 0) {
            c.indicators[row] = RB_IND_NULL;
            continue;
        }
        if (c.valueType == VT_HEAP_BINARY && r % 13 == 0) {
            c.indicators[row] = RB_IND_LONG;  // long value left at the back end
            continue;
        }
        c.indicators[row] = RB_IND_VALUE;
        std::string text = "r" + std::to_string(r) + "-" + std::to_string(k);
        std::u16string wide = u"\u00e9" + std::u16string(text.begin(), text.end()) + u"\U0001F600";
        switch (c.valueType) {
        case VT_BYTE: case VT_BIT: case VT_UTINYINT: Put<uint8_t>(p, uint8_t(r * 7 + k)); break;
        case VT_TINYINT: Put<int8_t>(p, int8_t(-(r % 128))); break;
        case VT_SHORT: Put<int16_t>(p, int16_t(-r)); break;
        case VT_USHORT: Put<uint16_t>(p, uint16_t(65535 - r)); break;
        case VT_LONG: Put<int32_t>(p, int32_t(uint32_t(r) * 1000003u - 7u)); break;
        case VT_ULONG: Put<uint32_t>(p, 0xF0000000u + uint32_t(r)); break;
        case VT_FLOAT: Put<float>(p, float(r) * 0.5f - 3.25f); break;
        case VT_DOUBLE: Put<double>(p, r * 1.25 - 1e9); break;
        case VT_DATE: {
            int16_t y;
            uint16_t m;
            // Every third row a year beyond the 16-bit field; every fifth a negative one.
            int32_t year = r % 3 == 0 ? 5874897 - r : r % 5 == 0 ? -4713 + r % 100 : 1900 + r % 200;
            RB_PutYearMonth(year, uint16_t(1 + r % 12), &y, &m);
            Put<int16_t>(p, y);
            Put<uint16_t>(p + 2, m);
            Put<uint16_t>(p + 4, uint16_t(1 + r % 28));
            break;
        }
        case VT_TIME:
            Put<uint16_t>(p, uint16_t(r % 24));
            Put<uint16_t>(p + 2, uint16_t(r % 60));
            Put<uint16_t>(p + 4, uint16_t((r * 7) % 60));
            break;
        case VT_TIMESTAMP: {
            int16_t y;
            uint16_t m;
            RB_PutYearMonth(r % 4 == 0 ? 100000 + r : 1970 + r % 100, uint16_t(1 + r % 12), &y, &m);
            Put<int16_t>(p, y);
            Put<uint16_t>(p + 2, m);
            Put<uint16_t>(p + 4, uint16_t(1 + r % 28));
            Put<uint16_t>(p + 6, uint16_t(r % 24));
            Put<uint16_t>(p + 8, uint16_t(r % 60));
            Put<uint16_t>(p + 10, uint16_t(59 - r % 60));
            Put<uint32_t>(p + 12, uint32_t(999999999 - r));
            break;
        }
        case VT_CHAR: case VT_BINARY: case VT_NTS: case VT_WCHAR: case VT_WNTS: {
            // The whole element, with a NUL (unit) kept last for the terminated kinds.
            size_t room = c.width - (c.valueType == VT_NTS ? 1 : c.valueType == VT_WNTS ? 2 : 0);
            for (size_t i = 0; i < room; ++i)
                p[i] = uint8_t(i < text.size() ? text[i] : c.valueType == VT_BINARY ? r + i : ' ');
            if (c.valueType == VT_WCHAR || c.valueType == VT_WNTS)
                for (size_t i = 0; i + 1 < room; i += 2) {
                    char16_t u = i / 2 < wide.size() ? wide[i / 2] : u' ';
                    std::memcpy(p + i, &u, 2);
                }
            break;
        }
        case VT_TEXT1: case VT_BIN1: {
            uint8_t len = uint8_t(std::min<size_t>(text.size() - r % 3, c.width - 1));
            p[0] = len;
            std::memcpy(p + 1, text.data(), len);
            break;
        }
        case VT_TEXT2: case VT_BIN2: {
            uint16_t len = uint16_t(std::min<size_t>(text.size() - r % 2, c.width - 2));
            Put<uint16_t>(p, len);
            std::memcpy(p + 2, text.data(), len);
            break;
        }
        case VT_TEXT4: case VT_BIN4: {
            uint32_t len = uint32_t(std::min<size_t>(text.size(), c.width - 4)) - (r % 2);
            Put<uint32_t>(p, len);
            std::memcpy(p + 4, text.data(), len);
            break;
        }
        case VT_WTEXT4: {
            uint32_t len = uint32_t(std::min<size_t>(wide.size(), (c.width - 4) / 2));
            Put<uint32_t>(p, len);
            std::memcpy(p + 4, wide.data(), len * 2);
            break;
        }
        case VT_HEAP_TEXT: {
            std::string big;
            for (int i = 0; i < r % 5; ++i)
                big += text;  // an empty text every fifth row
            PutHeap(p, big.data(), uint32_t(big.size()), 1, true);
            break;
        }
        case VT_HEAP_BINARY: {
            std::string bytes(size_t(r % 9), '\0');
            for (size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = char(r * 3 + i);
            PutHeap(p, bytes.data(), uint32_t(bytes.size()), 1, false);
            break;
        }
        case VT_HEAP_WTEXT:
            PutHeap(p, wide.data(), uint32_t(wide.size()), 2, true);
            break;
        default:
            break;
        }
    }
}

std::vector<ColDesc> Descs(const std::vector<ColSpec> &specs)
{
    std::vector<ColDesc> d(specs.size());
    for (size_t i = 0; i < specs.size(); ++i) {
        std::memset(&d[i], 0, sizeof d[i]);
        d[i].valueType = specs[i].type;
        d[i].bufferLength = specs[i].size;
    }
    return d;
}

// A back-end statement that serves `rows` rows of `cols` in blocks; the fetch
// that would deliver row `failAt` answers `failWith` instead.
struct FakeStmt {
    std::vector<ColSpec> cols = kAllTypes;
    int32_t rows = 0;
    int32_t served = 0;
    int32_t failAt = -1;
    int failWith = ERR_TABLE_NOT_FOUND;
    ValueType forceType = 0;  // nonzero: the first column's type in the block
    int fetches = 0;
};
std::vector<FakeStmt> g_stmts;

int FakeFetch(int stmt, uint16_t rows, RowBlock *out)
{
    FakeStmt &s = g_stmts.at(size_t(stmt));
    ++s.fetches;
    int32_t n = std::min<int32_t>(rows, s.rows - s.served);
    if (s.failAt >= 0 && s.served <= s.failAt && s.failAt < s.served + std::max(n, 1))
        return s.failWith;
    if (n <= 0) {
        RB_Init(out, 0);  // the empty block after the last row
        return 0;
    }
    std::vector<ColDesc> d = Descs(s.cols);
    if (int rc = RB_InitFromColDescs(d.data(), uint16_t(d.size()), n, out))
        return rc;
    for (int32_t i = 0; i < n; ++i)
        MakeRow(*out, i, s.served + i);
    out->rowsUsed = n;
    if (s.forceType)
        out->columns[0].valueType = s.forceType;
    s.served += n;
    return 0;
}

DrvOpTable MakeOps()
{
    DrvOpTable t;
    std::memset(&t, 0, sizeof t);
    t.Fetch = FakeFetch;
    return t;
}
const DrvOpTable g_ops = MakeOps();
const DrvBinding g_binding{DRVB_THREAD_SAFE, &g_ops};

int NewStmt(int32_t rows)
{
    g_stmts.emplace_back();
    g_stmts.back().rows = rows;
    return int(g_stmts.size() - 1);
}

// --- checks -------------------------------------------------------------

// Row `row` of `got` holds the values of absolute row r.
::testing::AssertionResult RowIs(const RowBlock &got, int32_t row, int32_t r)
{
    RowBlock want{};
    std::vector<ColDesc> d = Descs(kAllTypes);
    RB_InitFromColDescs(d.data(), uint16_t(d.size()), 1, &want);
    MakeRow(want, 0, r);
    want.rowsUsed = 1;
    ::testing::AssertionResult res = ::testing::AssertionSuccess();
    if (got.columnsUsed != want.columnsUsed || row < 0 || row >= got.rowsUsed) {
        res = ::testing::AssertionFailure() << "row " << row << " of " << got.rowsUsed << " missing";
    } else {
        for (uint16_t k = 0; k < want.columnsUsed && res; ++k) {
            const RowBlockColumn &w = want.columns[k], &g = got.columns[k];
            if (g.valueType != w.valueType || g.width != w.width)
                res = ::testing::AssertionFailure() << "column " << k << " layout";
            else if (g.indicators[row] != w.indicators[0])
                res = ::testing::AssertionFailure() << "row " << r << " column " << k << " indicator "
                                                    << g.indicators[row] << " != " << w.indicators[0];
            else if (w.indicators[0] != RB_IND_VALUE)
                continue;
            else if (w.valueType == VT_HEAP_TEXT || w.valueType == VT_HEAP_BINARY ||
                     w.valueType == VT_HEAP_WTEXT) {
                LongDataBuf a, b;
                std::memcpy(&a, Cell(w, 0), sizeof a);
                std::memcpy(&b, Cell(g, row), sizeof b);
                size_t unit = w.valueType == VT_HEAP_WTEXT ? 2 : 1;
                size_t term = w.valueType == VT_HEAP_BINARY ? 0 : unit;
                if (a.length != b.length || (a.length + term && !b.data) ||
                    (a.length && std::memcmp(a.data, b.data, a.length * unit + term) != 0))
                    res = ::testing::AssertionFailure() << "row " << r << " heap column " << k;
            } else if (std::memcmp(Cell(w, 0), Cell(g, row), w.width) != 0) {
                res = ::testing::AssertionFailure() << "row " << r << " column " << k << " value";
            }
        }
    }
    RB_Free(&want);
    return res;
}

std::vector<std::string> DirEntries(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// Descriptors of this process open on files deleted from `dir`.
int OpenDeletedIn(const std::string &dir)
{
    int n = 0;
    for (const std::string &fd : DirEntries("/proc/self/fd")) {
        char target[4096];
        ssize_t len = readlink(("/proc/self/fd/" + fd).c_str(), target, sizeof target - 1);
        if (len <= 0)
            continue;
        target[len] = '\0';
        std::string t = target;
        if (t.rfind(dir + "/", 0) == 0 && t.find("(deleted)") != std::string::npos)
            ++n;
    }
    return n;
}

// Points TMPDIR at a private directory that must stay empty.
class DataSetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *old = getenv("TMPDIR");
        hadTmp_ = old != nullptr;
        if (old)
            oldTmp_ = old;
        char tmpl[] = "/tmp/krs_dsc_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        setenv("TMPDIR", dir_.c_str(), 1);
    }
    void TearDown() override
    {
        EXPECT_TRUE(DirEntries(dir_).empty()) << "files left in the temporary directory";
        EXPECT_EQ(OpenDeletedIn(dir_), 0) << "temporary files still open";
        if (hadTmp_)
            setenv("TMPDIR", oldTmp_.c_str(), 1);
        else
            unsetenv("TMPDIR");
        for (const std::string &n : DirEntries(dir_))
            unlink((dir_ + "/" + n).c_str());
        rmdir(dir_.c_str());
        g_stmts.clear();
    }

    std::string dir_;
    std::string oldTmp_;
    bool hadTmp_ = false;
};

struct SetGuard {
    StaticSet *set = nullptr;
    ~SetGuard() { SS_Free(&set); }
};
struct BlockGuard {
    RowBlock *block = nullptr;
    ~BlockGuard()
    {
        RB_Free(block);
        std::free(block);
    }
};

void ExpectFileIsPrivate(FILE *f)
{
    ASSERT_NE(f, nullptr);
    struct stat st;
    ASSERT_EQ(fstat(fileno(f), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_nlink, 0u) << "the file still has a name";
}

// --- the static set over results of several sizes -----------------------

struct SizeCase {
    int32_t rows;
    bool spills;
};
const SizeCase kSizes[] = {{0, false}, {1, false}, {4995, false}, {5000, false}, {5001, true}, {5200, true}};

TEST_F(DataSetTest, ResultsOfEverySizeReadForwardBackwardAndAtRandom)
{
    for (const SizeCase &c : kSizes) {
        SCOPED_TRACE("rows " + std::to_string(c.rows));
        SetGuard g;
        ASSERT_EQ(SS_Alloc(&g.set), 0);
        int stmt = NewStmt(c.rows);
        int32_t count = -1;
        ASSERT_EQ(SS_GetRsltSet(g.set, &g_binding, stmt, &count), 0);
        EXPECT_EQ(count, c.rows);
        EXPECT_EQ(g_stmts[size_t(stmt)].fetches, c.rows / DSC_FETCH_ROWS + (c.rows % DSC_FETCH_ROWS ? 2 : 1));
        EXPECT_TRUE(DirEntries(dir_).empty());
        if (c.spills) {
            EXPECT_EQ(g.set->cache.state, DSC_SPILLED);
            EXPECT_EQ(g.set->rowset->rowsUsed, 0);
            EXPECT_EQ(g.set->windowStart, -1);
            ExpectFileIsPrivate(g.set->cache.dataFile);
            ExpectFileIsPrivate(g.set->cache.indexFile);
            EXPECT_EQ(OpenDeletedIn(dir_), 2);
        } else {
            EXPECT_EQ(g.set->cache.state, DSC_IN_MEMORY);
            EXPECT_EQ(g.set->cache.dataFile, nullptr);
            EXPECT_EQ(g.set->rowset->rowsUsed, c.rows);
            EXPECT_EQ(OpenDeletedIn(dir_), 0);
        }

        BlockGuard b;
        // Forward, sequentially, with a rowset size that does not divide the count.
        int32_t seen = 0;
        for (int guard = 0; guard < 10000; ++guard) {
            ASSERT_EQ(SS_GetRowset(g.set, SS_NEXT_ROW, 97, &b.block), 0);
            ASSERT_NE(b.block, nullptr);
            for (int32_t i = 0; i < b.block->rowsUsed; ++i)
                ASSERT_TRUE(RowIs(*b.block, i, seen + i));
            seen += b.block->rowsUsed;
            if (b.block->rowsUsed < 97)
                break;
        }
        EXPECT_EQ(seen, c.rows);
        EXPECT_EQ(g.set->nextRow, SS_END_REACHED);
        ASSERT_EQ(SS_GetRowset(g.set, SS_NEXT_ROW, 97, &b.block), 0);
        EXPECT_EQ(b.block->rowsUsed, 0);

        // Backward, by explicit starts from the end.
        for (int32_t end = c.rows; end > 0; end -= 250) {
            int32_t start = std::max(0, end - 250);
            ASSERT_EQ(SS_GetRowset(g.set, start, end - start, &b.block), 0);
            ASSERT_EQ(b.block->rowsUsed, end - start);
            for (int32_t i = 0; i < b.block->rowsUsed; ++i)
                ASSERT_TRUE(RowIs(*b.block, i, start + i));
            EXPECT_EQ(g.set->nextRow, start);
        }

        // At random: any start, any count, some running past the end.
        std::mt19937 rnd(uint32_t(c.rows) + 1);
        for (int i = 0; c.rows > 0 && i < 60; ++i) {
            int32_t start = int32_t(rnd() % uint32_t(c.rows));
            int32_t n = 1 + int32_t(rnd() % 300);
            ASSERT_EQ(SS_GetRowset(g.set, start, n, &b.block), 0);
            ASSERT_EQ(b.block->rowsUsed, std::min(n, c.rows - start));
            for (int32_t j = 0; j < b.block->rowsUsed; ++j)
                ASSERT_TRUE(RowIs(*b.block, j, start + j));
        }
        EXPECT_TRUE(DirEntries(dir_).empty());

        SS_Close(g.set);
        EXPECT_EQ(g.set->cache.state, DSC_IN_MEMORY);
        EXPECT_EQ(g.set->cache.dataFile, nullptr);
        EXPECT_EQ(g.set->cache.indexFile, nullptr);
        EXPECT_EQ(OpenDeletedIn(dir_), 0);
    }
}

TEST_F(DataSetTest, SequentialDeliveryThatRunsShortEndsTheSet)
{
    SetGuard g;
    ASSERT_EQ(SS_Alloc(&g.set), 0);
    int32_t count = 0;
    ASSERT_EQ(SS_GetRsltSet(g.set, &g_binding, NewStmt(10), &count), 0);
    BlockGuard b;
    ASSERT_EQ(SS_GetRowset(g.set, SS_NEXT_ROW, 0, &b.block), 0);  // no rows asked: empty, made
    ASSERT_NE(b.block, nullptr);
    EXPECT_EQ(b.block->rowsUsed, 0);
    EXPECT_EQ(g.set->nextRow, 0);
    ASSERT_EQ(SS_GetRowset(g.set, SS_NEXT_ROW, 6, &b.block), 0);
    EXPECT_EQ(b.block->rowsUsed, 6);
    EXPECT_EQ(g.set->nextRow, 6);
    ASSERT_EQ(SS_GetRowset(g.set, SS_NEXT_ROW, 6, &b.block), 0);
    EXPECT_EQ(b.block->rowsUsed, 4);
    EXPECT_TRUE(RowIs(*b.block, 3, 9));
    EXPECT_EQ(g.set->nextRow, SS_END_REACHED);
    ASSERT_EQ(SS_GetRowset(g.set, SS_NEXT_ROW, 6, &b.block), 0);
    EXPECT_EQ(b.block->rowsUsed, 0);
    // An explicit start still delivers.
    ASSERT_EQ(SS_GetRowset(g.set, 2, 3, &b.block), 0);
    EXPECT_EQ(b.block->rowsUsed, 3);
    EXPECT_TRUE(RowIs(*b.block, 0, 2));
}

TEST_F(DataSetTest, TheEndOfASpilledSetBeforeAnyWindowIsEmpty)
{
    SetGuard g;
    ASSERT_EQ(SS_Alloc(&g.set), 0);
    int32_t count = 0;
    ASSERT_EQ(SS_GetRsltSet(g.set, &g_binding, NewStmt(5001), &count), 0);
    BlockGuard b;
    ASSERT_EQ(SS_GetRowset(g.set, 5001, 10, &b.block), 0);
    ASSERT_NE(b.block, nullptr);
    EXPECT_EQ(b.block->rowsUsed, 0);
    EXPECT_EQ(g.set->windowStart, -1);
    ASSERT_EQ(SS_GetRowset(g.set, SS_NEXT_ROW, 3, &b.block), 0);  // next row is 5001: nothing
    EXPECT_EQ(b.block->rowsUsed, 0);
    EXPECT_EQ(g.set->nextRow, SS_END_REACHED);
    ASSERT_EQ(SS_GetRowset(g.set, 4999, 10, &b.block), 0);
    ASSERT_EQ(b.block->rowsUsed, 2);
    EXPECT_TRUE(RowIs(*b.block, 1, 5000));
}

// A spilled set keeps its window for sequential moves and reads only the
// rows of a request that jumps away from it.
TEST_F(DataSetTest, JumpsAwayFromTheWindowReadOnlyTheirRows)
{
    const int32_t total = 20000;
    SetGuard g;
    ASSERT_EQ(SS_Alloc(&g.set), 0);
    int32_t count = 0;
    ASSERT_EQ(SS_GetRsltSet(g.set, &g_binding, NewStmt(total), &count), 0);
    ASSERT_EQ(g.set->cache.state, DSC_SPILLED);
    BlockGuard b;
    struct Step {
        int32_t first, count;
        int32_t wantWindow;  // the window's first row afterwards
    };
    const Step steps[] = {
        {100, 10, 0},       // the first request reads a window
        {12000, 10, 0},     // a jump: only its rows
        {4995, 10, 2500},   // runs off the window's end: re-centred
        {7500, 10, 5005},   // starts right after the window: re-centred
        {0, 10, 5005},      // a jump back
        {4995, 10, 2500},   // ends right before the window: re-centred
        {19995, 10, 2500},  // a jump that runs short at the end
        {8000, 3000, 2500}, // a large jump: read whole, the window stays
        {total, 10, 2500},  // at the end: nothing
    };
    for (const Step &st : steps) {
        SCOPED_TRACE("rows " + std::to_string(st.first) + " + " + std::to_string(st.count));
        ASSERT_EQ(SS_GetRowset(g.set, st.first, st.count, &b.block), 0);
        EXPECT_EQ(g.set->windowStart, st.wantWindow);
        ASSERT_EQ(b.block->rowsUsed, std::min(st.count, total - st.first));
        for (int32_t i = 0; i < b.block->rowsUsed; ++i)
            ASSERT_TRUE(RowIs(*b.block, i, st.first + i));
        EXPECT_EQ(g.set->nextRow, st.first);
    }

    // Random moves, sequential and explicit, against the values every row
    // must have (NULLs, long values left at the back end, heap and wide text).
    std::mt19937 rnd(33);
    int32_t next = total;  // the model of the set's next row
    for (int i = 0; i < 3000; ++i) {
        const int32_t n = 1 + int32_t(rnd() % 40);
        int32_t start = SS_NEXT_ROW;
        switch (rnd() % 4) {
        case 0: start = int32_t(rnd() % uint32_t(total)); break;
        case 1: start = std::max(0, (next < 0 ? total : next) - n); break;
        case 2: start = SS_NEXT_ROW; break;
        default: start = std::min(total - 1, std::max(0, (next < 0 ? 0 : next) + int32_t(rnd() % 101) - 50)); break;
        }
        SCOPED_TRACE("move " + std::to_string(i) + ": " + std::to_string(start) + " + " + std::to_string(n));
        ASSERT_EQ(SS_GetRowset(g.set, start, n, &b.block), 0);
        const int32_t from = start == SS_NEXT_ROW ? next : start;
        const int32_t want = from < 0 ? 0 : std::min(n, total - from);
        ASSERT_EQ(b.block->rowsUsed, want);
        for (int32_t j = 0; j < want; ++j)
            ASSERT_TRUE(RowIs(*b.block, j, from + j));
        next = start != SS_NEXT_ROW ? start : next >= 0 && want == n ? next + n : SS_END_REACHED;
        ASSERT_EQ(g.set->nextRow, next);
    }
}

TEST_F(DataSetTest, AJumpThatCannotBeReadFailsTheSet)
{
    SetGuard g;
    ASSERT_EQ(SS_Alloc(&g.set), 0);
    int32_t count = 0;
    ASSERT_EQ(SS_GetRsltSet(g.set, &g_binding, NewStmt(12000), &count), 0);
    ASSERT_EQ(ftruncate(fileno(g.set->cache.indexFile), 4 * 6000), 0);  // rows 6000 on have no offset
    BlockGuard b;
    ASSERT_EQ(SS_GetRowset(g.set, 0, 10, &b.block), 0);
    EXPECT_TRUE(RowIs(*b.block, 9, 9));
    RowBlock *none = nullptr;
    EXPECT_EQ(SS_GetRowset(g.set, 9000, 10, &none), ERR_GENERAL);
    EXPECT_EQ(none, nullptr) << "the block made for the failed read is freed";
    EXPECT_EQ(g.set->cache.state, DSC_FAILED);
    EXPECT_EQ(g.set->cache.dataFile, nullptr);
    EXPECT_EQ(g.set->windowStart, -1);
    EXPECT_EQ(g.set->rowset->rowsUsed, 0);
    EXPECT_EQ(SS_GetRowset(g.set, 0, 10, &b.block), ERR_GENERAL) << "nothing is served after a failure";
}

TEST_F(DataSetTest, MissingArgumentsAreRefused)
{
    SetGuard g;
    ASSERT_EQ(SS_Alloc(&g.set), 0);
    int32_t count = 7;
    RowBlock rs{};
    DataSetCache cache;
    DSC_Init(&cache);
    int32_t start = 0;
    BlockGuard b;
    DrvOpTable noFetch;
    std::memset(&noFetch, 0, sizeof noFetch);
    const DrvBinding unusable{DRVB_THREAD_SAFE, &noFetch};
    EXPECT_EQ(SS_Alloc(nullptr), ERR_GENERAL);
    EXPECT_EQ(SS_GetRsltSet(nullptr, &g_binding, 0, &count), ERR_GENERAL);
    EXPECT_EQ(SS_GetRsltSet(g.set, nullptr, 0, &count), ERR_GENERAL);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(DSC_Fill(&cache, &unusable, 0, &rs, &count), ERR_GENERAL);
    EXPECT_EQ(DSC_Fill(nullptr, &g_binding, 0, &rs, &count), ERR_GENERAL);
    EXPECT_EQ(DSC_Fill(&cache, &g_binding, 0, nullptr, &count), ERR_GENERAL);
    EXPECT_EQ(SS_GetRowset(nullptr, 0, 1, &b.block), ERR_GENERAL);
    EXPECT_EQ(SS_GetRowset(g.set, 0, 1, nullptr), ERR_GENERAL);
    EXPECT_EQ(SS_GetRowset(g.set, 0, -1, &b.block), ERR_GENERAL);
    EXPECT_EQ(DSC_WindowGet(&cache, -1, 1, &start, &rs), ERR_GENERAL);
    EXPECT_EQ(DSC_WindowGet(&cache, 0, 1, nullptr, &rs), ERR_GENERAL);
    EXPECT_EQ(DSC_WindowGet(&cache, 1, 1, &start, &rs), ERR_GENERAL);  // beyond an empty cache
    EXPECT_EQ(DSC_RowsGet(nullptr, 0, 1, &rs), ERR_GENERAL);
    EXPECT_EQ(DSC_RowsGet(&cache, 0, 1, nullptr), ERR_GENERAL);
    EXPECT_EQ(DSC_RowsGet(&cache, 0, 1, &rs), ERR_GENERAL);  // nothing spilled
    SS_Free(nullptr);
    StaticSet *none = nullptr;
    SS_Free(&none);
    DSC_Close(nullptr);
}

// --- the window rule ----------------------------------------------------

class SpilledCache : public DataSetTest {
protected:
    void Fill(int32_t rows)
    {
        DSC_Init(&cache_);
        int32_t total = 0;
        ASSERT_EQ(DSC_Fill(&cache_, &g_binding, NewStmt(rows), &rowset_, &total), 0);
        ASSERT_EQ(total, rows);
        ASSERT_EQ(cache_.state, DSC_SPILLED);
    }
    void TearDown() override
    {
        RB_Free(&rowset_);
        DSC_Close(&cache_);
        DataSetTest::TearDown();
    }
    DataSetCache cache_{};
    RowBlock rowset_{};
    int32_t start_ = -1;
};

TEST_F(SpilledCache, WindowsAreCentredOnTheRequestAndGrowForLargeOnes)
{
    Fill(10000);
    struct Step {
        int32_t first, count;
        int32_t wantStart, wantRows, wantWindow;
    };
    const Step steps[] = {
        {4990, 20, 2500, 5000, 5000},   // first read: centred, (W - n) / 2 rows before
        {2600, 10, 2500, 5000, 5000},   // inside the window: nothing read
        {7495, 5, 2500, 5000, 5000},    // ends on the window's last row
        {7496, 5, 4999, 5000, 5000},    // one past: re-centred
        {10, 5, 0, 5000, 5000},         // never below row 0
        {9990, 10, 7495, 2505, 5000},   // the window runs short at the end
        {1000, 3000, 0, 6000, 6000},    // 3000 rows need a window of 6000
        {4000, 2000, 0, 6000, 6000},    // fits the grown window
        {9999, 1, 7000, 3000, 6000},    // the window never shrinks
    };
    for (const Step &s : steps) {
        SCOPED_TRACE("rows " + std::to_string(s.first) + " + " + std::to_string(s.count));
        ASSERT_EQ(DSC_WindowGet(&cache_, s.first, s.count, &start_, &rowset_), 0);
        EXPECT_EQ(start_, s.wantStart);
        EXPECT_EQ(rowset_.rowsUsed, s.wantRows);
        EXPECT_EQ(cache_.windowSize, s.wantWindow);
        EXPECT_TRUE(RowIs(rowset_, s.first - start_, s.first));
        EXPECT_TRUE(RowIs(rowset_, rowset_.rowsUsed - 1, start_ + rowset_.rowsUsed - 1));
    }
    // At the end nothing is read and nothing is there; beyond it is refused.
    ASSERT_EQ(DSC_WindowGet(&cache_, 10000, 5, &start_, &rowset_), 0);
    EXPECT_EQ(start_, 7000);
    EXPECT_EQ(DSC_WindowGet(&cache_, 10001, 5, &start_, &rowset_), ERR_GENERAL);
    EXPECT_EQ(cache_.state, DSC_SPILLED);
    EXPECT_EQ(DSC_WindowGet(&cache_, 0, INT32_MAX, &start_, &rowset_), ERR_GENERAL);
}

TEST_F(DataSetTest, CacheInMemoryServesLargeRequestsWithoutFiles)
{
    DataSetCache cache;
    DSC_Init(&cache);
    RowBlock rs{};
    int32_t total = 0, start = -1;
    ASSERT_EQ(DSC_Fill(&cache, &g_binding, NewStmt(4995), &rs, &total), 0);
    ASSERT_EQ(DSC_WindowGet(&cache, 1000, 3000, &start, &rs), 0);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(rs.rowsUsed, 4995);
    EXPECT_EQ(cache.windowSize, DSC_WINDOW_ROWS);
    EXPECT_EQ(DSC_WindowGet(&cache, 4996, 1, &start, &rs), ERR_GENERAL);
    RB_Free(&rs);
    DSC_Close(&cache);
}

// --- failures -----------------------------------------------------------

struct FailCase {
    const char *name;
    int32_t rows;
    int32_t failAt;     // row whose fetch fails, -1 none
    ValueType badType;  // nonzero: the first column's type
    bool noTempDir;
    int wantRc;
    int32_t wantTotal;
};
const FailCase kFailures[] = {
    {"fetch fails in memory", 3000, 1000, 0, false, ERR_TABLE_NOT_FOUND, 1000},
    {"fetch fails after the spill", 6000, 5400, 0, false, ERR_TABLE_NOT_FOUND, 5400},
    {"unlisted value type is refused", 5001, -1, 28, false, ERR_GENERAL, 5001},
    {"far unlisted value type is refused", 5300, -1, 0x7fffffff, false, ERR_GENERAL, 5200},
    {"no temporary directory", 5001, -1, 0, true, ERR_GENERAL, 5001},
};

TEST_F(DataSetTest, FailuresCloseTheFilesAndServeNothing)
{
    for (const FailCase &c : kFailures) {
        SCOPED_TRACE(c.name);
        SetGuard g;
        ASSERT_EQ(SS_Alloc(&g.set), 0);
        int stmt = NewStmt(c.rows);
        g_stmts[size_t(stmt)].failAt = c.failAt;
        g_stmts[size_t(stmt)].forceType = c.badType;
        if (c.noTempDir)
            setenv("TMPDIR", (dir_ + "/missing").c_str(), 1);
        int32_t count = -1;
        EXPECT_EQ(SS_GetRsltSet(g.set, &g_binding, stmt, &count), c.wantRc);
        setenv("TMPDIR", dir_.c_str(), 1);
        EXPECT_EQ(count, c.wantTotal);
        EXPECT_EQ(g.set->cache.state, DSC_FAILED);
        EXPECT_EQ(g.set->cache.dataFile, nullptr);
        EXPECT_EQ(g.set->cache.indexFile, nullptr);
        EXPECT_EQ(OpenDeletedIn(dir_), 0);
        BlockGuard b;
        EXPECT_EQ(SS_GetRowset(g.set, 0, 10, &b.block), ERR_GENERAL);  // never rows read back as 0
        EXPECT_EQ(b.block, nullptr);
        // A new fill starts afresh.
        g_stmts[size_t(stmt)] = FakeStmt();
        g_stmts[size_t(stmt)].rows = 5001;
        ASSERT_EQ(SS_GetRsltSet(g.set, &g_binding, stmt, &count), 0);
        ASSERT_EQ(SS_GetRowset(g.set, 5000, 1, &b.block), 0);
        EXPECT_TRUE(RowIs(*b.block, 0, 5000));
    }
}

TEST_F(SpilledCache, ReadFailureClosesTheFiles)
{
    Fill(5001);
    ASSERT_EQ(ftruncate(fileno(cache_.dataFile), 100), 0);  // the rows are gone
    EXPECT_EQ(DSC_WindowGet(&cache_, 0, 10, &start_, &rowset_), ERR_GENERAL);
    EXPECT_EQ(start_, -1);
    EXPECT_EQ(cache_.state, DSC_FAILED);
    EXPECT_EQ(cache_.dataFile, nullptr);
    EXPECT_EQ(DSC_WindowGet(&cache_, 0, 10, &start_, &rowset_), ERR_GENERAL);
}

// --- the file format ----------------------------------------------------

struct Files {
    FILE *data = tmpfile();
    FILE *index = tmpfile();
    ~Files()
    {
        if (data)
            fclose(data);
        if (index)
            fclose(index);
    }
    std::vector<uint8_t> Bytes(FILE *f)
    {
        fflush(f);
        struct stat st;
        fstat(fileno(f), &st);
        std::vector<uint8_t> out(size_t(st.st_size));
        pread(fileno(f), out.data(), out.size(), 0);
        return out;
    }
};

// A block of the given columns with `rows` rows of MakeRow's values.
struct Block {
    RowBlock b{};
    Block(const std::vector<ColSpec> &cols, int32_t rows, int32_t from = 0)
    {
        std::vector<ColDesc> d = Descs(cols);
        RB_InitFromColDescs(d.data(), uint16_t(d.size()), rows, &b);
        for (int32_t i = 0; i < rows; ++i)
            MakeRow(b, i, from + i);
        b.rowsUsed = rows;
    }
    ~Block() { RB_Free(&b); }
};

uint32_t U32At(const std::vector<uint8_t> &v, size_t at)
{
    return uint32_t(v[at]) | uint32_t(v[at + 1]) << 8 | uint32_t(v[at + 2]) << 16 | uint32_t(v[at + 3]) << 24;
}

TEST(DataSetFile, CellsAreUnitsWithoutPadding)
{
    Files f;
    // Column 0 is NULL in row 0 (0 x 31 + 0 is a multiple of 11); column 1
    // (text, 1-byte length) holds "r0-1" cut by row 0's rule to 4 bytes.
    Block blk({{VT_LONG, 0}, {VT_TEXT1, 12}}, 1);
    blk.b.columns[1].data[0] = 3;  // length 3: "r0-"
    ASSERT_EQ(DSCIO_Xfer(DSCIO_WRITE, f.data, f.index, &blk.b, 0, 0), 1);
    std::vector<uint8_t> d = f.Bytes(f.data);
    const std::vector<uint8_t> want = {
        2, 0, 0, 0,  1, 0, 0, 0,               // column count, row count
        5, 0, 0, 0,  4, 0, 0, 0,               // int, width 4
        18, 0, 0, 0, 13, 0, 0, 0,              // text with a 1-byte length, width 13
        0xFF, 0xFF, 0xFF, 0xFF,                // NULL: the indicator only
        0, 0, 0, 0,  3, 0, 0, 0, 'r', '0', '-', // value: indicator, length unit, bytes
    };
    EXPECT_EQ(d, want);
    EXPECT_EQ(f.Bytes(f.index), (std::vector<uint8_t>{24, 0, 0, 0}));
}

TEST(DataSetFile, AppendedBlocksCountInTheHeaderAndIndex)
{
    Files f;
    Block first(kAllTypes, 5200), second(kAllTypes, 200, 5200), third(kAllTypes, 200, 5400), none(kAllTypes, 0);
    ASSERT_EQ(DSCIO_Xfer(DSCIO_WRITE, f.data, f.index, &first.b, 0, 0), 1);
    ASSERT_EQ(DSCIO_Append(f.data, f.index, &second.b), 1);
    ASSERT_EQ(DSCIO_Append(f.data, f.index, &none.b), 1);
    ASSERT_EQ(DSCIO_Append(f.data, f.index, &third.b), 1);
    std::vector<uint8_t> d = f.Bytes(f.data);
    EXPECT_EQ(U32At(d, 4), 5600u);
    EXPECT_EQ(f.Bytes(f.index).size(), 22400u);

    RowBlock w{};
    ASSERT_EQ(DSCIO_Xfer(DSCIO_READ, f.data, f.index, &w, 5599, 5000), 1);
    ASSERT_EQ(w.rowsUsed, 1);
    EXPECT_TRUE(RowIs(w, 0, 5599));
    EXPECT_EQ(DSCIO_Xfer(DSCIO_READ, f.data, f.index, &w, 5600, 5000), 0);
    ASSERT_EQ(DSCIO_Xfer(DSCIO_READ, f.data, f.index, &w, 5150, 0), 1);  // no limit: to the end
    ASSERT_EQ(w.rowsUsed, 450);
    for (int32_t i = 0; i < w.rowsUsed; ++i)
        ASSERT_TRUE(RowIs(w, i, 5150 + i));
    RB_Free(&w);

    // A block of other columns is not appended.
    Block other({{VT_LONG, 0}}, 3);
    EXPECT_EQ(DSCIO_Append(f.data, f.index, &other.b), 0);
}

// Windows read through mappings of the files are those read through the
// streams; a mapping that ends before a header, offset or cell fails the read
// rather than reading past its end.
TEST(DataSetFile, MappedFilesReadLikeTheStreams)
{
    Files f;
    Block first(kAllTypes, 300), more(kAllTypes, 200, 300);
    ASSERT_EQ(DSCIO_Xfer(DSCIO_WRITE, f.data, f.index, &first.b, 0, 0), 1);
    ASSERT_EQ(DSCIO_Append(f.data, f.index, &more.b), 1);
    DscFileView v{};
    ASSERT_TRUE(PL_MapStream(f.data, &v.data, &v.dataBytes));
    ASSERT_TRUE(PL_MapStream(f.index, &v.index, &v.indexBytes));
    EXPECT_EQ(v.indexBytes, 2000u);
    struct Read {
        int32_t first, limit, wantRows;
    };
    for (const Read &r : {Read{0, 10, 10}, Read{295, 10, 10}, Read{490, 0, 10}, Read{499, 5000, 1}, Read{0, 0, 500}}) {
        SCOPED_TRACE("from " + std::to_string(r.first) + " limit " + std::to_string(r.limit));
        RowBlock mapped{}, streamed{};
        ASSERT_EQ(DSCIO_XferMapped(&v, &mapped, r.first, r.limit), 1);
        ASSERT_EQ(DSCIO_Xfer(DSCIO_READ, f.data, f.index, &streamed, r.first, r.limit), 1);
        ASSERT_EQ(mapped.rowsUsed, r.wantRows);
        ASSERT_EQ(streamed.rowsUsed, r.wantRows);
        EXPECT_EQ(mapped.columnsAllocated, streamed.columnsAllocated);
        EXPECT_EQ(mapped.rowsAllocated, streamed.rowsAllocated);
        for (int32_t i = 0; i < r.wantRows; ++i) {
            ASSERT_TRUE(RowIs(mapped, i, r.first + i));
            ASSERT_TRUE(RowIs(streamed, i, r.first + i));
        }
        RB_Free(&mapped);
        RB_Free(&streamed);
    }
    RowBlock w{};
    EXPECT_EQ(DSCIO_XferMapped(&v, &w, 500, 10), 0) << "beyond the last row";
    DscFileView cut = v;
    cut.indexBytes = 4 * 400 + 2;
    EXPECT_EQ(DSCIO_XferMapped(&cut, &w, 400, 10), 0) << "an offset the index does not hold whole";
    EXPECT_EQ(DSCIO_XferMapped(&cut, &w, 399, 10), 1);
    cut = v;
    cut.dataBytes -= 1;
    EXPECT_EQ(DSCIO_XferMapped(&cut, &w, 499, 1), 0) << "the last cell cut short";
    EXPECT_EQ(w.rowsUsed, 0);
    cut.dataBytes = 6;
    EXPECT_EQ(DSCIO_XferMapped(&cut, &w, 0, 1), 0) << "the header cut short";
    cut = DscFileView{};
    EXPECT_EQ(DSCIO_XferMapped(&cut, &w, 0, 1), 0) << "nothing mapped";
    EXPECT_EQ(DSCIO_XferMapped(nullptr, &w, 0, 1), 0);
    RB_Free(&w);
    PL_Unmap(v.data, v.dataBytes);
    PL_Unmap(v.index, v.indexBytes);
}

TEST(DataSetFile, HeapTextReadsBackTerminatedWithWidth16)
{
    Files f;
    Block blk({{VT_HEAP_TEXT, 0}, {VT_HEAP_WTEXT, 0}, {VT_HEAP_BINARY, 0}}, 40);
    ASSERT_EQ(DSCIO_Xfer(DSCIO_WRITE, f.data, f.index, &blk.b, 0, 0), 1);
    RowBlock w{};
    ASSERT_EQ(DSCIO_Xfer(DSCIO_READ, f.data, f.index, &w, 0, 0), 1);
    ASSERT_EQ(w.rowsUsed, 40);
    for (uint16_t k = 0; k < 3; ++k)
        EXPECT_EQ(w.columns[k].width, 16u);
    for (int32_t r = 0; r < 40; ++r) {
        if (w.columns[0].indicators[r] != RB_IND_VALUE)
            continue;
        LongDataBuf v;
        std::memcpy(&v, Cell(w.columns[0], r), sizeof v);
        ASSERT_NE(v.data, nullptr);
        EXPECT_EQ(std::strlen(v.data), v.length);
    }
    RB_Free(&w);
}

struct RefusedCase {
    const char *name;
    ValueType type;
    uint32_t width;
};
const RefusedCase kRefused[] = {
    {"type 28", 28, 4},
    {"type far beyond", 0x80000000u, 4},
    {"int in 2 bytes", VT_LONG, 2},
    {"timestamp in 8 bytes", VT_TIMESTAMP, 8},
    {"heap value in 8 bytes", VT_HEAP_TEXT, 8},
};

TEST(DataSetFile, ColumnsTheFormatCannotHoldAreRefusedWhenWriting)
{
    for (const RefusedCase &c : kRefused) {
        SCOPED_TRACE(c.name);
        Files f;
        RowBlock b{};
        ASSERT_EQ(RB_Init(&b, 1), 0);
        b.columns[0].valueType = c.type;
        b.columns[0].width = c.width;
        b.columnsUsed = 1;
        ASSERT_EQ(RB_AllocRows(&b, 1), 0);
        b.columns[0].indicators[0] = RB_IND_VALUE;
        b.rowsUsed = 1;
        EXPECT_EQ(DSCIO_Xfer(DSCIO_WRITE, f.data, f.index, &b, 0, 0), 0);
        EXPECT_EQ(dscio_RowsetXfer(DSCIO_WRITE, f.data, &b), 0);
        EXPECT_EQ(f.Bytes(f.index).size(), 0u) << "no row was written";
        b.columns[0].valueType = VT_BYTE;  // storage freed as plain bytes
        RB_Free(&b);
    }
}

TEST(DataSetFile, ValuesLongerThanTheirElementAreRefused)
{
    Files f;
    Block blk({{VT_TEXT4, 8}, {VT_TEXT1, 4}}, 2);
    Put<uint32_t>(blk.b.columns[0].data, 9);  // room for 8 bytes only
    blk.b.columns[0].indicators[0] = RB_IND_VALUE;
    EXPECT_EQ(DSCIO_Xfer(DSCIO_WRITE, f.data, f.index, &blk.b, 0, 0), 0);
    Block one({{VT_TEXT1, 4}}, 1);
    one.b.columns[0].indicators[0] = RB_IND_VALUE;
    one.b.columns[0].data[0] = 200;
    EXPECT_EQ(DSCIO_Xfer(DSCIO_WRITE, f.data, f.index, &one.b, 0, 0), 0);
}

TEST(DataSetFile, BadDirectionsAndEmptyBlocksFail)
{
    Files f;
    Block blk(kAllTypes, 3), none(kAllTypes, 0);
    RowBlock w{};
    EXPECT_EQ(DSCIO_Xfer(2, f.data, f.index, &blk.b, 0, 0), 0);
    EXPECT_EQ(DSCIO_Xfer(-1, f.data, f.index, &blk.b, 0, 0), 0);
    EXPECT_EQ(DSCIO_Xfer(DSCIO_WRITE, f.data, f.index, &none.b, 0, 0), 0);
    EXPECT_EQ(DSCIO_Xfer(DSCIO_READ, f.data, f.index, &w, 0, 0), 0);  // empty file
    EXPECT_EQ(DSCIO_Xfer(DSCIO_WRITE, nullptr, f.index, &blk.b, 0, 0), 0);
    EXPECT_EQ(dscio_RowsetXfer(5, f.data, &blk.b), 0);
    ASSERT_EQ(DSCIO_Xfer(DSCIO_WRITE, f.data, f.index, &blk.b, 0, 0), 1);
    EXPECT_EQ(DSCIO_Xfer(DSCIO_READ, f.data, f.index, &w, -1, 0), 0);
    EXPECT_EQ(DSCIO_Xfer(DSCIO_READ, f.data, f.index, &w, 3, 0), 0);
    RB_Free(&w);
}

TEST(DataSetFile, ColumnWiseLayoutRoundTrips)
{
    Files f;
    Block blk(kAllTypes, 60);
    ASSERT_EQ(dscio_RowsetXfer(DSCIO_WRITE, f.data, &blk.b), 1);
    RowBlock w{};
    ASSERT_EQ(dscio_RowsetXfer(DSCIO_READ, f.data, &w), 1);
    ASSERT_EQ(w.rowsUsed, 60);
    for (int32_t r = 0; r < 60; ++r)
        ASSERT_TRUE(RowIs(w, r, r));
    RB_Free(&w);

    // NUL-terminated text travels counted, without its terminator.
    Files g;
    Block nts({{VT_NTS, 7}}, 1);
    std::memcpy(nts.b.columns[0].data, "ab\0zzzz", 8);
    nts.b.columns[0].indicators[0] = RB_IND_VALUE;
    ASSERT_EQ(dscio_RowsetXfer(DSCIO_WRITE, g.data, &nts.b), 1);
    const std::vector<uint8_t> want = {1, 0, 0, 0, 1, 0, 0, 0, 17, 0, 0, 0, 8, 0, 0, 0,
                                       0, 0, 0, 0, 2, 0, 0, 0, 'a', 'b'};
    EXPECT_EQ(g.Bytes(g.data), want);
    Block empty(kAllTypes, 0);
    Files h;
    ASSERT_EQ(dscio_RowsetXfer(DSCIO_WRITE, h.data, &empty.b), 1);
    EXPECT_EQ(h.Bytes(h.data).size(), 8u);
    ASSERT_EQ(dscio_RowsetXfer(DSCIO_READ, h.data, &w), 1);
    EXPECT_EQ(w.rowsUsed, 0);
    RB_Free(&w);
}

// Offsets are kept in 32 bits; positions beyond are refused, those between
// 2^31 and 2^32 work.  The files are sparse: nothing of the gap is written.
TEST(DataSetFile, OffsetsBeyond32BitsAreRefused)
{
    struct Case {
        int64_t gapTo;
        bool ok;
    };
    const Case cases[] = {{(int64_t(1) << 31) + 12345, true}, {int64_t(1) << 32, false}, {int64_t(5) << 30, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.gapTo);
        Files f;
        Block first(kAllTypes, 10), more(kAllTypes, 5, 10);
        ASSERT_EQ(DSCIO_Xfer(DSCIO_WRITE, f.data, f.index, &first.b, 0, 0), 1);
        if (ftruncate(fileno(f.data), off_t(c.gapTo)) != 0)
            GTEST_SKIP() << "no large files here: " << strerror(errno);
        EXPECT_EQ(DSCIO_Append(f.data, f.index, &more.b), c.ok ? 1 : 0);
        if (!c.ok)
            continue;
        RowBlock w{};
        ASSERT_EQ(DSCIO_Xfer(DSCIO_READ, f.data, f.index, &w, 10, 0), 1);
        ASSERT_EQ(w.rowsUsed, 5);
        for (int32_t i = 0; i < 5; ++i)
            EXPECT_TRUE(RowIs(w, i, 10 + i));
        RB_Free(&w);
    }
}

}  // namespace

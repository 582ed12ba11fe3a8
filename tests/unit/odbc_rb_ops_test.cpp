#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "odbc/contract/rb_ops.h"
#include "odbc/contract/typed_value.h"
#include "util/codepage.h"
#include "util/hash.h"

namespace {

struct ColSpec {
    ValueType type;
    uint32_t width;
};

// A block with the given columns and capacity, owned by the test.
struct Block {
    RowBlock b{};
    Block(std::initializer_list<ColSpec> cols, int32_t cap) : Block(std::vector<ColSpec>(cols), cap) {}
    Block(const std::vector<ColSpec> &cols, int32_t cap) {
        EXPECT_EQ(RB_Init(&b, uint16_t(cols.size())), 0);
        int k = 0;
        for (const ColSpec &c : cols) {
            b.columns[k].valueType = c.type;
            b.columns[k].width = c.width;
            ++k;
        }
        b.columnsUsed = uint16_t(cols.size());
        EXPECT_EQ(RB_AllocRows(&b, cap), 0);
    }
    ~Block() { RB_Free(&b); }
    RowBlock *operator->() { return &b; }
    RowBlock *get() { return &b; }
};

uint8_t *Cell(RowBlock *b, int col, int row) {
    return b->columns[col].data + size_t(row) * b->columns[col].width;
}

// Writes a value into a cell by its type (and marks it present); nullptr: NULL.
void Put(RowBlock *b, int col, int row, const char *v) {
    RowBlockColumn &c = b->columns[col];
    uint8_t *p = Cell(b, col, row);
    if (c.valueType == VT_HEAP_TEXT || c.valueType == VT_HEAP_BINARY) {
        auto *h = reinterpret_cast<LongDataBuf *>(p);
        std::free(h->data);
        h->data = nullptr;
        h->length = 0;
    }
    if (!v) {
        c.indicators[row] = RB_IND_NULL;
        return;
    }
    c.indicators[row] = RB_IND_VALUE;
    size_t len = std::strlen(v);
    switch (c.valueType) {
    case VT_LONG: {
        int32_t n = std::atoi(v);
        std::memcpy(p, &n, 4);
        break;
    }
    case VT_CHAR:
    case VT_BINARY:
        std::memset(p, ' ', c.width);
        std::memcpy(p, v, len < c.width ? len : c.width);
        break;
    case VT_NTS:
        std::memcpy(p, v, len + 1);
        break;
    case VT_TEXT1:
        *p = uint8_t(len);
        std::memcpy(p + 1, v, len);
        break;
    case VT_TEXT2: {
        uint16_t n = uint16_t(len);
        std::memcpy(p, &n, 2);
        std::memcpy(p + 2, v, len);
        break;
    }
    case VT_TEXT4: {
        uint32_t n = uint32_t(len);
        std::memcpy(p, &n, 4);
        std::memcpy(p + 4, v, len);
        break;
    }
    case VT_HEAP_TEXT:
    case VT_HEAP_BINARY: {
        auto *h = reinterpret_cast<LongDataBuf *>(p);
        h->data = static_cast<char *>(std::malloc(len + 1));
        std::memcpy(h->data, v, len + 1);
        h->length = uint32_t(len);
        break;
    }
    default:
        ADD_FAILURE() << "Put: type " << c.valueType;
    }
}

void PutWide(RowBlock *b, int col, int row, const std::u16string &v) {
    RowBlockColumn &c = b->columns[col];
    uint8_t *p = Cell(b, col, row);
    c.indicators[row] = RB_IND_VALUE;
    switch (c.valueType) {
    case VT_WCHAR:
    case VT_WNTS:
        std::memset(p, 0, c.width);
        std::memcpy(p, v.data(), v.size() * 2);
        break;
    case VT_WTEXT4: {
        uint32_t n = uint32_t(v.size());
        std::memcpy(p, &n, 4);
        std::memcpy(p + 4, v.data(), v.size() * 2);
        break;
    }
    case VT_HEAP_WTEXT: {
        auto *h = reinterpret_cast<LongDataBuf *>(p);
        h->data = static_cast<char *>(std::calloc(v.size() + 1, 2));
        std::memcpy(h->data, v.data(), v.size() * 2);
        h->length = uint32_t(v.size());
        break;
    }
    default:
        ADD_FAILURE() << "PutWide: type " << c.valueType;
    }
}

// The value of a cell as read by RB_GetCell; "<NULL>" for NULL.
std::string Get(RowBlock *b, int col, int row) {
    if (b->columns[col].indicators[row] < 0) return "<NULL>";
    std::vector<char> buf(1 << 16);
    uint32_t len = uint32_t(buf.size());
    EXPECT_EQ(RB_GetCell(b, row, col, buf.data(), &len), 0);
    return std::string(buf.data(), len);
}

int32_t GetInt(RowBlock *b, int col, int row) {
    int32_t v;
    std::memcpy(&v, Cell(b, col, row), 4);
    return v;
}

LongDataBuf *Heap(RowBlock *b, int col, int row) { return reinterpret_cast<LongDataBuf *>(Cell(b, col, row)); }

// ---------------------------------------------------------------- rows

TEST(RbInsertRow, AtFrontShiftsRowsAndMakesANullRow) {
    Block b({{VT_LONG, 4}, {VT_HEAP_TEXT, 16}}, 4);
    for (int r = 0; r < 3; ++r) {
        Put(b.get(), 0, r, std::to_string(r + 1).c_str());
        Put(b.get(), 1, r, ("t" + std::to_string(r + 1)).c_str());
    }
    b->rowsUsed = 3;
    ASSERT_EQ(RB_InsertRow(b.get(), 0), 0);
    EXPECT_EQ(b->rowsUsed, 4);
    EXPECT_EQ(Get(b.get(), 0, 0), "<NULL>");
    EXPECT_EQ(Get(b.get(), 1, 0), "<NULL>");
    EXPECT_EQ(Heap(b.get(), 1, 0)->data, nullptr);
    for (int r = 1; r < 4; ++r) {
        EXPECT_EQ(GetInt(b.get(), 0, r), r);
        EXPECT_EQ(Get(b.get(), 1, r), "t" + std::to_string(r));
    }
    EXPECT_EQ(RB_InsertRow(b.get(), 0), 15) << "full block";
}

TEST(RbInsertRow, BadPositionsAndEmptyBlocks) {
    Block b({{VT_LONG, 4}}, 4);
    b->rowsUsed = 2;
    EXPECT_EQ(RB_InsertRow(b.get(), 3), 15);
    EXPECT_EQ(RB_InsertRow(b.get(), -1), 15);
    EXPECT_EQ(RB_InsertRow(b.get(), 2), 0);  // at the end
    RowBlock none{};
    EXPECT_EQ(RB_InsertRow(&none, 0), 15);
    EXPECT_EQ(RB_InsertRow(nullptr, 0), 15);
}

struct CompareCase {
    const char *what;
    ValueType type;
    uint32_t width;
    const char *a;  // nullptr = NULL
    const char *b;
    bool garbageAfterValue;  // different bytes behind the values
    int equal;
};

TEST(RbCompareRows, ValuesByTypeWithNullsAndLengths) {
    const CompareCase cases[] = {
        {"int equal", VT_LONG, 4, "7", "7", false, 1},
        {"int differ", VT_LONG, 4, "7", "8", false, 0},
        {"both NULL", VT_LONG, 4, nullptr, nullptr, false, 1},
        {"NULL vs zero", VT_LONG, 4, nullptr, "0", false, 0},
        {"zero vs NULL", VT_NTS, 8, "", nullptr, false, 0},
        {"nts stale bytes after NUL", VT_NTS, 10, "abc", "abc", true, 1},
        {"nts differ", VT_NTS, 10, "abc", "abd", false, 0},
        {"nts prefix", VT_NTS, 10, "abc", "abcd", false, 0},
        {"text1 stale tail", VT_TEXT1, 11, "abc", "abc", true, 1},
        {"text2 stale tail", VT_TEXT2, 12, "abc", "abc", true, 1},
        {"text4 stale tail", VT_TEXT4, 16, "abc", "abc", true, 1},
        {"text4 length differs", VT_TEXT4, 16, "abc", "ab", false, 0},
        {"fixed char whole width", VT_CHAR, 6, "ab", "ab", false, 1},
        {"heap equal", VT_HEAP_TEXT, 16, "long value", "long value", false, 1},
        {"heap length differs", VT_HEAP_TEXT, 16, "long value", "long valu", false, 0},
        {"heap empty vs NULL", VT_HEAP_BINARY, 16, "", nullptr, false, 0},
    };
    for (const CompareCase &c : cases) {
        Block a({{c.type, c.width}}, 2), b({{c.type, c.width}}, 2);
        a->rowsUsed = b->rowsUsed = 2;
        if (c.garbageAfterValue) {
            std::memset(Cell(a.get(), 0, 1), 'x', c.width);
            std::memset(Cell(b.get(), 0, 1), 'y', c.width);
        }
        Put(a.get(), 0, 1, c.a);
        Put(b.get(), 0, 1, c.b);
        int eq = -1;
        ASSERT_EQ(RB_CompareRows(a.get(), 1, b.get(), 1, &eq), 0) << c.what;
        EXPECT_EQ(eq, c.equal) << c.what;
    }
}

TEST(RbCompareRows, LayoutAndRangeErrors) {
    Block a({{VT_LONG, 4}, {VT_NTS, 5}}, 2), b({{VT_LONG, 4}, {VT_NTS, 6}}, 2), c({{VT_LONG, 4}}, 2);
    a->rowsUsed = b->rowsUsed = c->rowsUsed = 1;
    int eq;
    EXPECT_EQ(RB_CompareRows(a.get(), 0, b.get(), 0, &eq), 15) << "width differs";
    EXPECT_EQ(RB_CompareRows(a.get(), 0, c.get(), 0, &eq), 15) << "column count differs";
    EXPECT_EQ(RB_CompareRows(a.get(), 1, a.get(), 0, &eq), 15) << "row beyond rows used";
    EXPECT_EQ(RB_CompareRows(a.get(), 0, nullptr, 0, &eq), 15);
    EXPECT_EQ(RB_CompareRows(a.get(), 0, a.get(), 0, nullptr), 15);
    EXPECT_EQ(RB_CompareRows(a.get(), 0, a.get(), 0, &eq), 0);
    EXPECT_EQ(eq, 1);
}

TEST(RbClone, DeepCopyWithHeapValuesDuplicated) {
    Block s({{VT_LONG, 4}, {VT_HEAP_TEXT, 16}, {VT_NTS, 6}}, 5);
    Put(s.get(), 0, 0, "1");
    Put(s.get(), 1, 0, "first");
    Put(s.get(), 2, 0, "ab");
    Put(s.get(), 0, 1, nullptr);
    Put(s.get(), 1, 1, nullptr);
    Put(s.get(), 2, 1, "cd");
    s->rowsUsed = 2;
    RowBlock out{};
    ASSERT_EQ(RB_Clone(&out, s.get()), 0);
    EXPECT_EQ(out.columnsUsed, 3);
    EXPECT_EQ(out.rowsUsed, 2);
    EXPECT_EQ(out.rowsAllocated, 2);
    EXPECT_EQ(Get(&out, 1, 0), "first");
    EXPECT_NE(Heap(&out, 1, 0)->data, Heap(s.get(), 1, 0)->data);
    EXPECT_EQ(Get(&out, 0, 1), "<NULL>");
    EXPECT_EQ(Get(&out, 2, 1), "cd");
    int eq = 0;
    EXPECT_EQ(RB_CompareRows(&out, 0, s.get(), 0, &eq), 0);
    EXPECT_EQ(eq, 1);
    RB_Free(&out);
    EXPECT_EQ(Get(s.get(), 1, 0), "first");  // source untouched
}

TEST(RbClone, BlockWithoutRowsGivesAnEmptyBlock) {
    Block s({{VT_LONG, 4}}, 3);
    RowBlock out{};
    ASSERT_EQ(RB_Clone(&out, s.get()), 0);
    EXPECT_EQ(out.columnsUsed, 0);
    EXPECT_EQ(out.rowsUsed, 0);
    RB_Free(&out);
    EXPECT_EQ(RB_Clone(s.get(), s.get()), 15);
}

TEST(RbCopyRow, HandOverMovesTheHeapValueAndDuplicateCopiesIt) {
    for (int handOver : {0, 1}) {
        Block s({{VT_HEAP_TEXT, 16}}, 2), t({{VT_HEAP_TEXT, 16}}, 2);
        Put(s.get(), 0, 0, "value");
        s->rowsUsed = 1;
        char *orig = Heap(s.get(), 0, 0)->data;
        ASSERT_EQ(RB_CopyRow(t.get(), s.get(), 0, 0, handOver), 0);
        EXPECT_EQ(t->rowsUsed, 1);
        EXPECT_EQ(Get(t.get(), 0, 0), "value");
        if (handOver) {
            EXPECT_EQ(Heap(t.get(), 0, 0)->data, orig);
            EXPECT_EQ(Heap(s.get(), 0, 0)->data, nullptr);
            EXPECT_EQ(Get(s.get(), 0, 0), "<NULL>") << "a handed-over cell no longer claims a value";
        } else {
            EXPECT_NE(Heap(t.get(), 0, 0)->data, orig);
            EXPECT_EQ(Get(s.get(), 0, 0), "value");
        }
    }
}

TEST(RbCopyRow, BeyondRowsUsedAppendsWithinCapacity) {
    Block s({{VT_LONG, 4}}, 1), t({{VT_LONG, 4}}, 10);
    Put(s.get(), 0, 0, "42");
    s->rowsUsed = 1;
    Put(t.get(), 0, 0, "1");
    Put(t.get(), 0, 1, "2");
    t->rowsUsed = 2;
    ASSERT_EQ(RB_CopyRow(t.get(), s.get(), 7, 0, 0), 0);
    EXPECT_EQ(t->rowsUsed, 3);
    EXPECT_EQ(GetInt(t.get(), 0, 2), 42);
    EXPECT_EQ(RB_CopyRow(t.get(), s.get(), 10, 0, 0), 15) << "beyond capacity";
    EXPECT_EQ(RB_CopyRow(t.get(), s.get(), 0, 1, 0), 15) << "source row beyond its rows";
    // Overwriting an existing row keeps the count.
    ASSERT_EQ(RB_CopyRow(t.get(), s.get(), 0, 0, 0), 0);
    EXPECT_EQ(GetInt(t.get(), 0, 0), 42);
    EXPECT_EQ(t->rowsUsed, 3);
}

TEST(RbCopyRow, MismatchInAnyColumnChangesNothing) {
    Block s({{VT_HEAP_TEXT, 16}, {VT_LONG, 4}, {VT_NTS, 8}}, 2);
    Block t({{VT_HEAP_TEXT, 16}, {VT_LONG, 4}, {VT_NTS, 9}}, 2);
    Put(s.get(), 0, 0, "new");
    Put(s.get(), 1, 0, "5");
    Put(s.get(), 2, 0, "x");
    s->rowsUsed = 1;
    Put(t.get(), 0, 0, "old");
    Put(t.get(), 1, 0, "9");
    t->rowsUsed = 1;
    EXPECT_EQ(RB_CopyRow(t.get(), s.get(), 0, 0, 1), 15);
    EXPECT_EQ(Get(t.get(), 0, 0), "old");
    EXPECT_EQ(GetInt(t.get(), 1, 0), 9);
    EXPECT_EQ(Get(s.get(), 0, 0), "new") << "nothing handed over";
}

TEST(RbCopyRow, RowOntoItselfIsANoOp) {
    Block b({{VT_HEAP_TEXT, 16}}, 2);
    Put(b.get(), 0, 0, "self");
    b->rowsUsed = 1;
    EXPECT_EQ(RB_CopyRow(b.get(), b.get(), 0, 0, 0), 0);
    EXPECT_EQ(Get(b.get(), 0, 0), "self");
    EXPECT_EQ(RB_CopyRow(b.get(), b.get(), 1, 0, 0), 0);  // duplicate within one block
    EXPECT_EQ(Get(b.get(), 0, 1), "self");
    EXPECT_NE(Heap(b.get(), 0, 1)->data, Heap(b.get(), 0, 0)->data);
}

TEST(RbAppendRows, MovesRowsAndHeapValues) {
    Block t({{VT_LONG, 4}, {VT_HEAP_TEXT, 16}}, 5), s({{VT_LONG, 4}, {VT_HEAP_TEXT, 16}}, 3);
    Put(t.get(), 0, 0, "1");
    Put(t.get(), 1, 0, "a");
    t->rowsUsed = 1;
    Put(s.get(), 0, 0, "2");
    Put(s.get(), 1, 0, "b");
    Put(s.get(), 0, 1, nullptr);
    Put(s.get(), 1, 1, "c");
    s->rowsUsed = 2;
    ASSERT_EQ(RB_AppendRows(t.get(), s.get()), 0);
    EXPECT_EQ(t->rowsUsed, 3);
    EXPECT_EQ(t->rowsAllocated, 5) << "appended in place";
    EXPECT_EQ(GetInt(t.get(), 0, 0), 1);
    EXPECT_EQ(Get(t.get(), 1, 0), "a");
    EXPECT_EQ(GetInt(t.get(), 0, 1), 2);
    EXPECT_EQ(Get(t.get(), 1, 1), "b");
    EXPECT_EQ(Get(t.get(), 0, 2), "<NULL>");
    EXPECT_EQ(Get(t.get(), 1, 2), "c");
    EXPECT_EQ(Heap(s.get(), 1, 0)->data, nullptr);
    EXPECT_EQ(Get(s.get(), 1, 1), "<NULL>");
}

TEST(RbAppendRows, GrowsGeometricallyAndKeepsEveryRow) {
    Block t({{VT_LONG, 4}, {VT_HEAP_TEXT, 16}}, 0);
    int32_t grown = 0;  // capacity changes
    int32_t lastCap = t->rowsAllocated;
    for (int round = 0; round < 40; ++round) {
        Block s({{VT_LONG, 4}, {VT_HEAP_TEXT, 16}}, 3);
        for (int r = 0; r < 3; ++r) {
            const std::string v = std::to_string(round * 3 + r);
            Put(s.get(), 0, r, v.c_str());
            Put(s.get(), 1, r, r == 1 ? nullptr : v.c_str());
        }
        s->rowsUsed = 3;
        ASSERT_EQ(RB_AppendRows(t.get(), s.get()), 0);
        ASSERT_EQ(t->rowsUsed, (round + 1) * 3);
        ASSERT_GE(t->rowsAllocated, t->rowsUsed);
        if (t->rowsAllocated != lastCap) {
            EXPECT_GE(t->rowsAllocated, 2 * lastCap) << "capacity at least doubles";
            lastCap = t->rowsAllocated;
            ++grown;
        }
    }
    EXPECT_LE(grown, 8) << "120 rows in blocks of 3 need few reallocations";
    for (int32_t r = 0; r < t->rowsUsed; ++r) {
        const std::string v = std::to_string(r);
        ASSERT_EQ(GetInt(t.get(), 0, r), r);
        ASSERT_EQ(Get(t.get(), 1, r), r % 3 == 1 ? "<NULL>" : v);
    }
    // Every column holds the block's whole capacity: rows copied up to it land
    // inside each column's storage.
    Block one({{VT_LONG, 4}, {VT_HEAP_TEXT, 16}}, 1);
    Put(one.get(), 0, 0, "7");
    Put(one.get(), 1, 0, "seven");
    one->rowsUsed = 1;
    while (t->rowsUsed < t->rowsAllocated) ASSERT_EQ(RB_CopyRow(t.get(), one.get(), t->rowsUsed, 0, 0), 0);
    EXPECT_EQ(GetInt(t.get(), 0, t->rowsUsed - 1), 7);
    EXPECT_EQ(Get(t.get(), 1, t->rowsUsed - 1), "seven");
}

TEST(RbCopyRow, ManyColumnsWithHeapValues) {
    // More columns than the copy keeps on its stack, heap values among them.
    std::vector<ColSpec> cols;
    for (int k = 0; k < 20; ++k) cols.push_back(k % 5 == 0 ? ColSpec{VT_HEAP_TEXT, 16} : ColSpec{VT_LONG, 4});
    Block s(cols, 1), t(cols, 2);
    for (int k = 0; k < 20; ++k) Put(s.get(), k, 0, std::to_string(k).c_str());
    s->rowsUsed = 1;
    ASSERT_EQ(RB_CopyRow(t.get(), s.get(), 0, 0, 0), 0);
    ASSERT_EQ(RB_CopyRow(t.get(), s.get(), 1, 0, 0), 0);
    EXPECT_EQ(t->rowsUsed, 2);
    for (int k = 0; k < 20; ++k) {
        for (int r = 0; r < 2; ++r) {
            if (k % 5 == 0) EXPECT_EQ(Get(t.get(), k, r), std::to_string(k));
            else EXPECT_EQ(GetInt(t.get(), k, r), k);
        }
    }
    EXPECT_NE(Heap(t.get(), 0, 0)->data, Heap(t.get(), 0, 1)->data);
    EXPECT_NE(Heap(t.get(), 0, 0)->data, Heap(s.get(), 0, 0)->data);
}

TEST(RbAppendRows, LayoutMismatchAndEmptySource) {
    Block t({{VT_LONG, 4}}, 2), s({{VT_SHORT, 2}}, 2), e({{VT_LONG, 4}}, 2);
    s->rowsUsed = 1;
    EXPECT_EQ(RB_AppendRows(t.get(), s.get()), 15);
    EXPECT_EQ(RB_AppendRows(t.get(), e.get()), 0);
    EXPECT_EQ(t->rowsUsed, 0);
    EXPECT_EQ(RB_AppendRows(t.get(), t.get()), 15);
}

TEST(RbJoinColumns, SourceColumnsComeFirst) {
    Block t({{VT_LONG, 4}, {VT_NTS, 4}}, 2), s({{VT_HEAP_TEXT, 16}}, 2);
    Put(t.get(), 0, 0, "10");
    Put(t.get(), 1, 0, "y");
    Put(s.get(), 0, 0, "A");
    t->rowsUsed = s->rowsUsed = 1;
    ASSERT_EQ(RB_JoinColumns(t.get(), s.get()), 0);
    EXPECT_EQ(t->columnsUsed, 3);
    EXPECT_EQ(t->columnsAllocated, 3);
    EXPECT_EQ(Get(t.get(), 0, 0), "A");
    EXPECT_EQ(GetInt(t.get(), 1, 0), 10);
    EXPECT_EQ(Get(t.get(), 2, 0), "y");
    EXPECT_EQ(s->columns[0].data, nullptr);
    EXPECT_EQ(s->columns[0].valueType, VT_HEAP_TEXT);
    EXPECT_EQ(s->rowsUsed, 0);
}

TEST(RbJoinColumns, ColumnsKeepTheLargerCapacitySoAppendsFit) {
    // Same rows used, different capacities: the joined block must not have a
    // column smaller than its capacity.
    Block t({{VT_LONG, 4}}, 8), s({{VT_LONG, 4}}, 1);
    Put(t.get(), 0, 0, "1");
    Put(s.get(), 0, 0, "2");
    t->rowsUsed = s->rowsUsed = 1;
    ASSERT_EQ(RB_JoinColumns(t.get(), s.get()), 0);
    EXPECT_EQ(t->rowsAllocated, 8);
    Block one({{VT_LONG, 4}, {VT_LONG, 4}}, 1);
    Put(one.get(), 0, 0, "3");
    Put(one.get(), 1, 0, "4");
    one->rowsUsed = 1;
    for (int r = 1; r < 8; ++r) ASSERT_EQ(RB_CopyRow(t.get(), one.get(), r, 0, 0), 0);
    EXPECT_EQ(t->rowsUsed, 8);
    EXPECT_EQ(GetInt(t.get(), 0, 7), 3);
    EXPECT_EQ(GetInt(t.get(), 1, 7), 4);
    EXPECT_EQ(GetInt(t.get(), 0, 0), 2);
}

TEST(RbJoinColumns, RowCountsMustMatch) {
    Block t({{VT_LONG, 4}}, 2), s({{VT_LONG, 4}}, 2);
    t->rowsUsed = 1;
    EXPECT_EQ(RB_JoinColumns(t.get(), s.get()), 15);
    RowBlock none{};
    EXPECT_EQ(RB_JoinColumns(t.get(), &none), 15);
}

TEST(RbNewLike, MakesOrReusesABlockOfThePatternLayout) {
    Block p({{VT_LONG, 4}, {VT_HEAP_TEXT, 16}}, 2);
    Put(p.get(), 1, 0, "x");
    p->rowsUsed = 1;
    RowBlock *nb = nullptr;
    ASSERT_EQ(RB_NewLike(&nb, p.get(), 6), 0);
    ASSERT_NE(nb, nullptr);
    EXPECT_EQ(nb->columnsUsed, 2);
    EXPECT_EQ(nb->rowsAllocated, 6);
    EXPECT_EQ(nb->rowsUsed, 0);
    EXPECT_EQ(nb->columns[1].width, 16u);
    RowBlock *same = nb;
    ASSERT_EQ(RB_NewLike(&nb, p.get(), 2), 0);
    EXPECT_EQ(nb, same);
    EXPECT_EQ(nb->rowsAllocated, 2);
    RB_Free(nb);
    std::free(nb);
    // The pattern itself may be the block to reuse.
    RowBlock *self = p.get();
    ASSERT_EQ(RB_NewLike(&self, p.get(), 3), 0);
    EXPECT_EQ(p->columnsUsed, 2);
    EXPECT_EQ(p->columns[0].valueType, VT_LONG);
    EXPECT_EQ(p->rowsAllocated, 3);
}

TEST(RbReverseRows, ReversesAndKeepsNulls) {
    Block b({{VT_LONG, 4}, {VT_HEAP_TEXT, 16}}, 4);
    Put(b.get(), 0, 0, "1");
    Put(b.get(), 1, 0, "one");
    Put(b.get(), 0, 1, nullptr);
    Put(b.get(), 1, 1, nullptr);
    Put(b.get(), 0, 2, "3");
    Put(b.get(), 1, 2, "three");
    b->rowsUsed = 3;
    ASSERT_EQ(RB_ReverseRows(b.get()), 0);
    EXPECT_EQ(b->rowsUsed, 3);
    EXPECT_EQ(b->rowsAllocated, 4);
    EXPECT_EQ(GetInt(b.get(), 0, 0), 3);
    EXPECT_EQ(Get(b.get(), 1, 0), "three");
    EXPECT_EQ(Get(b.get(), 0, 1), "<NULL>");
    EXPECT_EQ(Get(b.get(), 1, 1), "<NULL>");
    EXPECT_EQ(Get(b.get(), 1, 2), "one");
}

// ---------------------------------------------------------------- columns

TEST(RbColumns, DeleteFirstOfThree) {
    Block b({{VT_LONG, 4}, {VT_NTS, 4}, {VT_HEAP_TEXT, 16}}, 2);
    Put(b.get(), 0, 0, "1");
    Put(b.get(), 1, 0, "ab");
    Put(b.get(), 2, 0, "heap");
    b->rowsUsed = 1;
    ASSERT_EQ(RB_DeleteColumn(b.get(), 0), 0);
    EXPECT_EQ(b->columnsUsed, 2);
    EXPECT_EQ(Get(b.get(), 0, 0), "ab");
    EXPECT_EQ(Get(b.get(), 1, 0), "heap");
    EXPECT_EQ(b->columns[2].data, nullptr);
    EXPECT_EQ(RB_DeleteColumn(b.get(), 2), 15);
    ValueType t;
    uint32_t w;
    ASSERT_EQ(RB_GetColumnInfo(b.get(), 1, &t, &w), 0);
    EXPECT_EQ(t, VT_HEAP_TEXT);
    EXPECT_EQ(w, 16u);
    EXPECT_EQ(RB_GetColumnInfo(b.get(), 2, &t, &w), 15);
}

TEST(RbColumns, InsertedColumnHasStorageForTheWholeCapacity) {
    Block b({{VT_LONG, 4}}, 6);
    Put(b.get(), 0, 0, "1");
    b->rowsUsed = 1;
    ASSERT_EQ(RB_InsertColumn(b.get(), 0, VT_NTS, 8), 0);
    EXPECT_EQ(b->columnsUsed, 2);
    EXPECT_EQ(b->columnsAllocated, 2);
    EXPECT_EQ(Get(b.get(), 0, 0), "<NULL>");
    EXPECT_EQ(GetInt(b.get(), 1, 0), 1);
    // Appending up to the capacity writes into the new column too.
    Block one({{VT_NTS, 8}, {VT_LONG, 4}}, 1);
    Put(one.get(), 0, 0, "abc");
    Put(one.get(), 1, 0, "5");
    one->rowsUsed = 1;
    for (int r = 1; r < 6; ++r) ASSERT_EQ(RB_CopyRow(b.get(), one.get(), r, 0, 0), 0);
    EXPECT_EQ(Get(b.get(), 0, 5), "abc");
    EXPECT_EQ(RB_InsertColumn(b.get(), 3, VT_LONG, 4), 15);
}

TEST(RbColumns, CopyColumnDuplicatesValues) {
    Block t({{VT_LONG, 4}, {VT_HEAP_TEXT, 16}}, 3), s({{VT_HEAP_TEXT, 16}}, 2);
    Put(t.get(), 1, 0, "old0");
    Put(t.get(), 1, 1, "old1");
    t->rowsUsed = 2;
    Put(s.get(), 0, 0, "new0");
    Put(s.get(), 0, 1, nullptr);
    s->rowsUsed = 2;
    ASSERT_EQ(RB_CopyColumn(t.get(), s.get(), 1, 0), 0);
    EXPECT_EQ(Get(t.get(), 1, 0), "new0");
    EXPECT_EQ(Get(t.get(), 1, 1), "<NULL>");
    EXPECT_NE(Heap(t.get(), 1, 0)->data, Heap(s.get(), 0, 0)->data);
    EXPECT_EQ(t->rowsAllocated, 3) << "the column keeps the block's capacity";
    EXPECT_EQ(RB_CopyColumn(t.get(), s.get(), 0, 0), 15) << "type differs";
    EXPECT_EQ(RB_CopyColumn(t.get(), t.get(), 1, 1), 15) << "same column";
}

TEST(RbColumns, CopyColumnIntoEmptyTargetGrowsEveryColumn) {
    Block t({{VT_LONG, 4}, {VT_LONG, 4}}, 1), s({{VT_LONG, 4}}, 4);
    for (int r = 0; r < 4; ++r) Put(s.get(), 0, r, std::to_string(r).c_str());
    s->rowsUsed = 4;
    ASSERT_EQ(RB_CopyColumn(t.get(), s.get(), 1, 0), 0);
    EXPECT_EQ(t->rowsUsed, 4);
    EXPECT_GE(t->rowsAllocated, 4);
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(Get(t.get(), 0, r), "<NULL>");
        EXPECT_EQ(GetInt(t.get(), 1, r), r);
    }
}

struct WidenCase {
    const char *what;
    ValueType type;
    uint32_t width;
    uint32_t size;
    ValueType newType;
    uint32_t newWidth;
};

TEST(RbWidenColumn, TypesAndWidths) {
    const WidenCase cases[] = {
        {"fixed text grows", VT_CHAR, 4, 10, VT_TEXT4, 16},
        {"fixed text big enough", VT_CHAR, 10, 10, VT_CHAR, 10},
        {"fixed binary grows", VT_BINARY, 3, 5, VT_BIN4, 12},
        {"fixed wide grows", VT_WCHAR, 4, 10, VT_WTEXT4, 24},
        {"fixed wide wider than the size", VT_WCHAR, 20, 4, VT_WCHAR, 20},
        {"fixed wide keeps its value", VT_WCHAR, 10, 4, VT_WTEXT4, 16},
        {"nts grows", VT_NTS, 5, 10, VT_NTS, 11},
        {"nts big enough", VT_NTS, 20, 10, VT_NTS, 20},
        {"text2 grows", VT_TEXT2, 4, 9, VT_TEXT2, 12},
        {"wide nts grows", VT_WNTS, 4, 3, VT_WNTS, 8},
        {"number unchanged", VT_LONG, 4, 100, VT_LONG, 4},
    };
    for (const WidenCase &c : cases) {
        Block b({{c.type, c.width}}, 2);
        ASSERT_EQ(RB_WidenColumn(b.get(), 0, c.size), 0) << c.what;
        EXPECT_EQ(b->columns[0].valueType, c.newType) << c.what;
        EXPECT_EQ(b->columns[0].width, c.newWidth) << c.what;
    }
}

TEST(RbWidenColumn, FixedValuesMoveBehindALengthPrefix) {
    Block b({{VT_CHAR, 4}}, 3);
    Put(b.get(), 0, 0, nullptr);
    Put(b.get(), 0, 1, "abcd");
    b->rowsUsed = 2;
    ASSERT_EQ(RB_WidenColumn(b.get(), 0, 10), 0);
    EXPECT_EQ(Get(b.get(), 0, 0), "<NULL>");
    EXPECT_EQ(Get(b.get(), 0, 1), "abcd");
}

TEST(RbWidenColumn, FixedWideValueFitsItsNewCell) {
    Block b({{VT_WCHAR, 10}}, 1);
    PutWide(b.get(), 0, 0, u"abcde");
    b->rowsUsed = 1;
    ASSERT_EQ(RB_WidenColumn(b.get(), 0, 4), 0);
    EXPECT_EQ(Get(b.get(), 0, 0), std::string("a\0b\0c\0d\0e\0", 10));
}

TEST(RbWidenColumn, HeapValuesGetBlocksOfTheSize) {
    Block b({{VT_HEAP_TEXT, 16}}, 2);
    Put(b.get(), 0, 0, "ab");
    Put(b.get(), 0, 1, nullptr);
    b->rowsUsed = 2;
    ASSERT_EQ(RB_WidenColumn(b.get(), 0, 100), 0);
    EXPECT_EQ(Get(b.get(), 0, 0), "ab");
    ASSERT_NE(Heap(b.get(), 0, 1)->data, nullptr);
    std::memset(Heap(b.get(), 0, 0)->data, 'z', 100);  // room for size bytes
}

TEST(RbGetCell, LengthsByTypeAndClipping) {
    Block b({{VT_TEXT2, 12}, {VT_NTS, 8}, {VT_LONG, 4}}, 2);
    Put(b.get(), 0, 0, "hello");
    Put(b.get(), 1, 0, "hi");
    Put(b.get(), 2, 0, "1");
    Put(b.get(), 0, 1, nullptr);
    b->rowsUsed = 2;
    char buf[16];
    uint32_t len = 3;
    ASSERT_EQ(RB_GetCell(b.get(), 0, 0, buf, &len), 0);
    EXPECT_EQ(len, 3u);
    EXPECT_EQ(std::string(buf, 3), "hel");
    len = 16;
    ASSERT_EQ(RB_GetCell(b.get(), 0, 1, buf, &len), 0);
    EXPECT_EQ(len, 2u);
    len = 16;
    ASSERT_EQ(RB_GetCell(b.get(), 0, 2, buf, &len), 0);
    EXPECT_EQ(len, 4u);
    len = 16;
    ASSERT_EQ(RB_GetCell(b.get(), 1, 0, buf, &len), 0);
    EXPECT_EQ(len, 0u) << "NULL";
    len = 0;
    EXPECT_EQ(RB_GetCell(b.get(), 0, 0, nullptr, &len), 0);
    len = 4;
    EXPECT_EQ(RB_GetCell(b.get(), 2, 0, buf, &len), 15);
    EXPECT_EQ(RB_GetCell(b.get(), 0, 3, buf, &len), 15);
}

TEST(RbGetCell, CorruptLengthPrefixIsBoundedByTheCell) {
    Block b({{VT_TEXT4, 8}}, 1);
    uint32_t huge = 0x7FFFFFFF;
    std::memcpy(Cell(b.get(), 0, 0), &huge, 4);
    b->columns[0].indicators[0] = 0;
    b->rowsUsed = 1;
    char buf[64];
    uint32_t len = sizeof buf;
    ASSERT_EQ(RB_GetCell(b.get(), 0, 0, buf, &len), 0);
    EXPECT_EQ(len, 4u);
}

TEST(RbTruncateValues, FixedTextBecomesPrefixedAndRowsStayInPlace) {
    Block b({{VT_CHAR, 10}, {VT_NTS, 11}, {VT_HEAP_TEXT, 16}, {VT_TEXT1, 11}, {VT_LONG, 4}}, 3);
    Put(b.get(), 0, 0, nullptr);
    Put(b.get(), 0, 1, "abcdefghij");
    Put(b.get(), 1, 1, "abcdefghij");
    Put(b.get(), 2, 1, "abcdefghij");
    Put(b.get(), 3, 1, "ab");
    Put(b.get(), 4, 1, "123456");
    b->rowsUsed = 2;
    ASSERT_EQ(RB_TruncateValues(b.get(), 3), 0);
    EXPECT_EQ(b->columns[0].valueType, VT_TEXT4);
    EXPECT_EQ(Get(b.get(), 0, 0), "<NULL>");
    EXPECT_EQ(Get(b.get(), 0, 1), "abc");
    EXPECT_EQ(Get(b.get(), 1, 1), "abc");
    EXPECT_EQ(Get(b.get(), 2, 1), "abc");
    EXPECT_STREQ(Heap(b.get(), 2, 1)->data, "abc");
    EXPECT_EQ(Get(b.get(), 3, 1), "ab");
    EXPECT_EQ(GetInt(b.get(), 4, 1), 123456);
}

TEST(RbWideToAnsi, ConvertsEveryWideTypeAndCountsBytes) {
    ASSERT_TRUE(CP_SetAnsiCodeset("UTF-8"));
    Block b({{VT_WCHAR, 8}, {VT_WNTS, 8}, {VT_HEAP_WTEXT, 16}, {VT_WTEXT4, 12}, {VT_LONG, 4}}, 2);
    PutWide(b.get(), 0, 0, u"abcd");
    PutWide(b.get(), 1, 0, u"ab");
    PutWide(b.get(), 2, 0, u"h\u00e9llo");
    PutWide(b.get(), 3, 0, u"\u00e9\u00e9");
    Put(b.get(), 4, 0, "9");
    b->columns[0].indicators[1] = RB_IND_NULL;
    b->columns[1].indicators[1] = RB_IND_NULL;
    b->columns[2].indicators[1] = RB_IND_NULL;
    b->columns[3].indicators[1] = RB_IND_NULL;
    b->rowsUsed = 2;
    ASSERT_EQ(RB_WideToAnsi(b.get()), 0);
    EXPECT_EQ(b->columns[0].valueType, VT_NTS);
    EXPECT_EQ(b->columns[1].valueType, VT_NTS);
    EXPECT_EQ(b->columns[2].valueType, VT_HEAP_TEXT);
    EXPECT_EQ(b->columns[3].valueType, VT_TEXT4);
    EXPECT_EQ(b->columns[0].width, 8u);
    EXPECT_EQ(Get(b.get(), 0, 0), "abcd");
    EXPECT_EQ(Get(b.get(), 1, 0), "ab");
    EXPECT_EQ(Get(b.get(), 2, 0), "h\xc3\xa9llo");
    EXPECT_EQ(Heap(b.get(), 2, 0)->length, 6u) << "length counts the bytes produced";
    EXPECT_EQ(Get(b.get(), 3, 0), "\xc3\xa9\xc3\xa9");
    EXPECT_EQ(Get(b.get(), 0, 1), "<NULL>");
    EXPECT_EQ(GetInt(b.get(), 4, 0), 9);
    CP_SetAnsiCodeset(nullptr);
}

// Text that takes more bytes in the code page than in UTF-16 widens its
// column to the longest value instead of being cut; every row keeps its value.
TEST(RbWideToAnsi, TextThatNeedsMoreBytesWidensItsColumn) {
    ASSERT_TRUE(CP_SetAnsiCodeset("UTF-8"));
    // Four characters of three bytes each in cells of 8 and 12 bytes.
    const std::u16string euros = u"\u20ac\u20ac\u20ac\u20ac";
    const std::string utf8 = "\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac";
    Block b({{VT_WCHAR, 8}, {VT_WTEXT4, 12}, {VT_WNTS, 10}}, 3);
    PutWide(b.get(), 0, 0, euros);
    PutWide(b.get(), 1, 0, euros);
    PutWide(b.get(), 2, 0, u"\u20ac");
    PutWide(b.get(), 0, 1, u"ab");
    PutWide(b.get(), 1, 1, u"\u20ac");
    PutWide(b.get(), 2, 1, u"\u4e2d\u4e2d\u4e2d\u4e2d");
    b->columns[0].indicators[2] = RB_IND_NULL;
    b->columns[1].indicators[2] = RB_IND_NULL;
    b->columns[2].indicators[2] = RB_IND_NULL;
    b->rowsUsed = 3;
    ASSERT_EQ(RB_WideToAnsi(b.get()), 0);
    EXPECT_EQ(b->columns[0].valueType, VT_NTS);
    EXPECT_EQ(b->columns[1].valueType, VT_TEXT4);
    EXPECT_EQ(b->columns[2].valueType, VT_NTS);
    EXPECT_EQ(b->columns[0].width, 13u) << "twelve bytes and the NUL";
    EXPECT_EQ(b->columns[1].width, 16u) << "the prefix and twelve bytes";
    EXPECT_EQ(b->columns[2].width, 13u);
    EXPECT_EQ(Get(b.get(), 0, 0), utf8);
    EXPECT_EQ(Get(b.get(), 1, 0), utf8);
    EXPECT_EQ(Get(b.get(), 2, 0), "\xe2\x82\xac");
    EXPECT_EQ(Get(b.get(), 0, 1), "ab");
    EXPECT_EQ(Get(b.get(), 1, 1), "\xe2\x82\xac");
    EXPECT_EQ(Get(b.get(), 2, 1), "\xe4\xb8\xad\xe4\xb8\xad\xe4\xb8\xad\xe4\xb8\xad");
    for (int c = 0; c < 3; ++c) EXPECT_EQ(Get(b.get(), c, 2), "<NULL>");
    CP_SetAnsiCodeset(nullptr);
}

TEST(StrPairs, FreeClearsBoth) {
    StrPair p{strdup("a"), strdup("b")};
    StrPair_Free(&p);
    EXPECT_EQ(p.first, nullptr);
    EXPECT_EQ(p.second, nullptr);
    StrPair_Free(&p);
    StrPair_Free(nullptr);
}

// ---------------------------------------------------------------- typed values

TypedValue IntTv(uint16_t col, int16_t attr, int32_t v) {
    TypedValue t{};
    t.column = col;
    t.attrId = attr;
    t.kind = TV_INT;
    t.value.integer = v;
    return t;
}

class OverrideTable : public ::testing::Test {
protected:
    void SetUp() override { table = HASH_Create(101, 4); ASSERT_NE(table, nullptr); }
    void TearDown() override {
        HASH_ForEach(table, TV_FreeEntry, nullptr);
        HASH_Free(table);
    }
    void Add(const TypedValue &tv) {
        auto *e = static_cast<TypedValue *>(std::malloc(sizeof(TypedValue)));
        *e = tv;
        uint32_t key = TV_Key(tv.attrId, tv.column);
        ASSERT_NE(HASH_Put(table, &key, uint64_t(uintptr_t(e))), nullptr);
    }
    HashTable *table = nullptr;
};

TEST_F(OverrideTable, ColumnEntryBeforeDefault) {
    Add(IntTv(0, 14, 100));
    int32_t v = 0;
    EXPECT_EQ(TV_Lookup(table, 14, 3, &v, nullptr, nullptr), 1);
    EXPECT_EQ(v, 100);
    Add(IntTv(3, 14, 7));
    EXPECT_EQ(TV_Lookup(table, 14, 3, &v, nullptr, nullptr), 1);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(TV_Lookup(table, 15, 3, &v, nullptr, nullptr), 0);
    EXPECT_EQ(TV_Lookup(nullptr, 14, 3, &v, nullptr, nullptr), 0);
}

TEST_F(OverrideTable, KindsNeedTheirOutputs) {
    TypedValue t{};
    t.attrId = 20;
    t.kind = TV_TEXT;
    t.value.text = strdup("label");
    Add(t);
    TypedValue d{};
    d.attrId = 21;
    d.kind = TV_DOUBLE;
    d.value.dbl = 2.5;
    Add(d);
    int32_t i;
    const char *s = nullptr;
    double x = 0;
    EXPECT_EQ(TV_Lookup(table, 20, 1, &i, nullptr, nullptr), 0);
    EXPECT_EQ(TV_Lookup(table, 20, 1, nullptr, &s, nullptr), 1);
    EXPECT_STREQ(s, "label");
    EXPECT_EQ(TV_Lookup(table, 21, 2, nullptr, nullptr, &x), 1);
    EXPECT_EQ(x, 2.5);
}

TEST(TypedValues, DedupKeepsDefaultsAndDifferingColumns) {
    const TypedValue in[] = {IntTv(0, 5, 2), IntTv(1, 5, 2), IntTv(2, 5, 3), IntTv(3, 5, 2)};
    int count = -1;
    TypedValue *out = nullptr;
    ASSERT_EQ(TV_DedupCopy(4, in, &count, &out, 1), 0);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(out[0].column, 0);
    EXPECT_EQ(out[0].value.integer, 2);
    EXPECT_EQ(out[1].column, 2);
    EXPECT_EQ(out[1].value.integer, 3);
    std::free(out);
}

TEST(TypedValues, DedupSkipsUnreportedAndRestartsPerAttribute) {
    const TypedValue in[] = {IntTv(0, 5, 1), IntTv(1, -5, 9), IntTv(1, 5, 1),
                             IntTv(1, 6, 1), IntTv(0, 7, 4), IntTv(2, 7, 4)};
    EXPECT_EQ(TV_DedupFill(6, in, 0, nullptr, 1), 3);  // 5 default, 6 col 1, 7 default
    TypedValue out[2];
    EXPECT_EQ(TV_DedupFill(6, in, 2, out, 1), 2) << "stops when the array is full";
    int count = 9;
    TypedValue *arr = reinterpret_cast<TypedValue *>(1);
    EXPECT_EQ(TV_DedupCopy(0, in, &count, &arr, 1), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(arr, nullptr);
}

TEST(TypedValues, EqualAndCopyByKind) {
    TypedValue a{}, b{};
    a.kind = b.kind = TV_TEXT;
    a.value.text = strdup("x");
    b.value.text = strdup("x");
    EXPECT_EQ(TV_Equal(&a, &b), 0) << "texts compare as objects";
    EXPECT_EQ(TV_Equal(&a, &a), 1);
    TypedValue c{};
    ASSERT_EQ(TV_CopyValue(&c, &a, 2), 0);
    EXPECT_NE(c.value.text, a.value.text);
    EXPECT_STREQ(c.value.text, "x");
    TypedValue i1 = IntTv(0, 1, 4), i2 = IntTv(3, 1, 4);
    EXPECT_EQ(TV_Equal(&i1, &i2), 1);
    i2.kind = TV_DOUBLE;
    EXPECT_EQ(TV_Equal(&i1, &i2), 0);
    TV_FreeValue(&a);
    TV_FreeValue(&b);
    TV_FreeValue(&c);
    EXPECT_EQ(c.value.text, nullptr);
}

}  // namespace

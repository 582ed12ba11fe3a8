#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "odbc/contract/rowblock.h"

namespace {

TEST(RowBlockWidth, TableOfValueTypes) {
    struct Case {
        ValueType type;
        uint64_t size;
        uint64_t width;
    } cases[] = {
        {VT_BYTE, 99, 1},        {VT_CHAR, 10, 10},       {VT_BIT, 10, 1},
        {VT_TINYINT, 0, 1},      {VT_SHORT, 0, 2},        {VT_LONG, 0, 4},
        {VT_UTINYINT, 0, 1},     {VT_USHORT, 0, 2},       {VT_ULONG, 0, 4},
        {VT_FLOAT, 0, 4},        {VT_DOUBLE, 0, 8},       {VT_DATE, 0, 6},
        {VT_TIME, 0, 6},         {VT_TIMESTAMP, 0, 16},   {VT_BINARY, 7, 7},
        {VT_HEAP_TEXT, 1000, 16}, {VT_HEAP_BINARY, 0, 16}, {VT_NTS, 10, 11},
        {VT_TEXT1, 10, 11},      {VT_TEXT2, 10, 12},      {VT_TEXT2, 9, 12},
        {VT_TEXT4, 10, 16},      {VT_TEXT4, 12, 16},      {VT_BIN1, 3, 4},
        {VT_BIN2, 3, 6},         {VT_BIN4, 1, 8},         {VT_WCHAR, 10, 20},
        {VT_WNTS, 10, 22},       {VT_HEAP_WTEXT, 5, 16},  {VT_WTEXT4, 10, 24},
        {VT_WTEXT4, 11, 28},     {28, 13, 13},            {1000, 5, 5},
    };
    for (const Case &c : cases)
        EXPECT_EQ(RB_ValueWidth(c.type, c.size), c.width) << "type " << c.type << " size " << c.size;
}

TEST(RowBlockWidth, HugeDeclaredSizesDoNotWrap) {
    const uint64_t pgText = 2147483647;  // what the JDBC driver reports for text
    EXPECT_EQ(RB_ValueWidth(VT_WNTS, pgText), 2 * pgText + 2);
    EXPECT_EQ(RB_ValueWidth(VT_WTEXT4, UINT32_MAX), 2ull * UINT32_MAX + 4 + 2);
    EXPECT_EQ(RB_ValueWidth(VT_NTS, UINT32_MAX), uint64_t{UINT32_MAX} + 1);
    EXPECT_EQ(RB_ValueWidth(VT_TEXT4, UINT32_MAX), uint64_t{UINT32_MAX} + 5);
}

// Years beyond the 16-bit field of a date or timestamp element survive the
// element whole; the years that fit keep the plain ODBC layout.
TEST(RowBlockYear, EveryYearSurvivesItsElement) {
    struct Case {
        int32_t year;
        int32_t kept;  // the year read back
        bool wide;
    } cases[] = {
        {0, 0, false},           {-43, -43, false},        {2024, 2024, false},
        {32767, 32767, false},   {-32768, -32768, false},  {32768, 32768, true},
        {40000, 40000, true},    {65536, 65536, true},     {118085, 118085, true},
        {5874897, 5874897, true}, {-40000, -40000, true},  {RB_YEAR_MAX, RB_YEAR_MAX, true},
        {RB_YEAR_MIN, RB_YEAR_MIN, true}, {292278994, RB_YEAR_MAX, true}, {-292275055, RB_YEAR_MIN, true},
    };
    for (const Case &c : cases) {
        for (uint16_t month = 1; month <= 12; ++month) {
            int16_t yearField = 0;
            uint16_t monthField = 0;
            RB_PutYearMonth(c.year, month, &yearField, &monthField);
            if (!c.wide) {
                EXPECT_EQ(yearField, c.year);
                EXPECT_EQ(monthField, month);
            } else {
                EXPECT_GT(monthField, 12) << "a plain reader sees no valid month";
            }
            int32_t year = 0;
            uint16_t back = 0;
            EXPECT_EQ(RB_GetYearMonth(yearField, monthField, &year, &back), c.wide) << c.year;
            EXPECT_EQ(year, c.kept) << c.year;
            EXPECT_EQ(back, month) << c.year;
        }
    }
}

TEST(RowBlockInit, FromColDescsSetsTypesWidthsAndNullRows) {
    ColDesc *cd = CD_Alloc(3);
    ASSERT_NE(cd, nullptr);
    cd[0].valueType = VT_LONG;
    cd[1].valueType = VT_NTS;
    cd[1].bufferLength = 10;
    cd[2].valueType = VT_HEAP_TEXT;
    cd[2].bufferLength = 2147483647;
    RowBlock b{};
    ASSERT_EQ(RB_InitFromColDescs(cd, 3, 4, &b), 0);
    EXPECT_EQ(b.columnsAllocated, 3);
    EXPECT_EQ(b.columnsUsed, 3);
    EXPECT_EQ(b.rowsAllocated, 4);
    EXPECT_EQ(b.rowsUsed, 0);
    EXPECT_EQ(b.columns[0].width, 4u);
    EXPECT_EQ(b.columns[1].width, 11u);
    EXPECT_EQ(b.columns[2].width, 16u);
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 4; ++r) EXPECT_EQ(b.columns[c].indicators[r], RB_IND_NULL);
    // Data carries a spare byte after the last element.
    b.columns[1].data[4 * 11] = 'x';
    RB_Free(&b);
    EXPECT_EQ(b.columns, nullptr);
    EXPECT_EQ(b.columnsAllocated, 0);
    EXPECT_EQ(b.rowsAllocated, 0);
    CD_Free(cd, 3);
}

TEST(RowBlockInit, ElementWiderThan4GiBIsRefused) {
    ColDesc *cd = CD_Alloc(1);
    cd[0].valueType = VT_WNTS;
    cd[0].bufferLength = 2147483647;  // 2 x size + 2 does not fit 32 bits
    RowBlock b{};
    EXPECT_EQ(RB_InitFromColDescs(cd, 1, 1, &b), 16);
    EXPECT_EQ(b.columns, nullptr);
    CD_Free(cd, 1);
}

TEST(RowBlockInit, RowsTimesWidthBeyondMemoryIsAnErrorNotAWrap) {
    RowBlock b{};
    ASSERT_EQ(RB_Init(&b, 1), 0);
    b.columnsUsed = 1;
    b.columns[0].valueType = VT_NTS;
    b.columns[0].width = UINT32_MAX;
    EXPECT_EQ(RB_AllocRows(&b, 0x7FFFFFFF), 16);
    EXPECT_EQ(b.columns[0].data, nullptr);
    EXPECT_EQ(b.rowsAllocated, 0);
    RB_Free(&b);
}

TEST(RowBlockInit, RowsTimesWidthOf4GiBIsNotTakenAsZero) {
    RowBlockColumn col{};
    col.valueType = VT_BINARY;
    col.width = 0x10000;
    // 65536 x 65536 wraps to 0 in 32 bits; the block must really hold the last row.
    int rc = RB_AllocColumn(&col, 0x10000);
    if (rc == 16) GTEST_SKIP() << "no 4 GiB of address space";
    ASSERT_EQ(rc, 0);
    col.data[uint64_t{0xFFFF} * 0x10000 + 0xFFFF] = 1;
    col.data[uint64_t{0x10000} * 0x10000] = 0;  // the spare byte
    EXPECT_EQ(col.indicators[0xFFFF], RB_IND_NULL);
    RB_FreeColumn(&col, 0x10000);
}

TEST(RowBlockInit, ZeroRowsLeaveColumnsWithoutStorage) {
    RowBlock b{};
    ASSERT_EQ(RB_Init(&b, 2), 0);
    b.columnsUsed = 2;
    b.columns[0].width = 4;
    b.columns[1].width = 8;
    EXPECT_EQ(RB_AllocRows(&b, 0), 0);
    EXPECT_EQ(b.columns[0].data, nullptr);
    EXPECT_EQ(b.columns[1].indicators, nullptr);
    EXPECT_EQ(RB_AllocRows(&b, 3), 0);
    EXPECT_EQ(b.rowsAllocated, 3);
    // A second allocation would lose the first one's storage.
    EXPECT_EQ(RB_AllocRows(&b, 5), 15);
    EXPECT_EQ(b.rowsAllocated, 3);
    RB_Free(&b);
}

TEST(RowBlockInit, BadArguments) {
    RowBlock b{};
    ASSERT_EQ(RB_Init(&b, 0), 0);
    EXPECT_EQ(b.columns, nullptr);
    b.columnsUsed = 1;  // more used than allocated
    EXPECT_EQ(RB_AllocRows(&b, 1), 16);
    b.columnsUsed = 0;
    EXPECT_EQ(RB_AllocRows(&b, -1), 15);
    RowBlockColumn col{};
    EXPECT_EQ(RB_AllocColumn(&col, -5), 15);
    RB_Free(&b);
    RB_Free(nullptr);
    RB_FreeColumn(nullptr, 3);
}

TEST(RowBlockFree, HeapValuesOfEveryHeapTypeAreFreed) {
    for (ValueType t : {VT_HEAP_TEXT, VT_HEAP_BINARY, VT_HEAP_WTEXT}) {
        RowBlock b{};
        ASSERT_EQ(RB_Init(&b, 1), 0);
        b.columnsUsed = 1;
        b.columns[0].valueType = t;
        b.columns[0].width = 16;
        ASSERT_EQ(RB_AllocRows(&b, 3), 0);
        for (int r = 0; r < 3; ++r) {
            auto *cell = reinterpret_cast<LongDataBuf *>(b.columns[0].data + r * 16);
            cell->data = static_cast<char *>(std::malloc(8));
            cell->length = 7;
        }
        RB_Free(&b);  // leak checker verifies
    }
}

TEST(ColDescs, AllocGivesAtLeastOneZeroedRecord) {
    ColDesc *cd = CD_Alloc(0);
    ASSERT_NE(cd, nullptr);
    EXPECT_EQ(cd[0].label, nullptr);
    EXPECT_EQ(cd[0].name[0], '\0');
    CD_Free(cd, 0);
    CD_Free(nullptr, 4);
}

TEST(ColDescs, FreeReleasesAllOwnedTextsOnce) {
    ColDesc *cd = CD_Alloc(2);
    for (int i = 0; i < 2; ++i) {
        cd[i].catalog = strdup("cat");
        cd[i].schema = strdup("public");
        cd[i].table = strdup("t");
        cd[i].label = strdup("lbl");
    }
    std::free(cd[1].schema);
    cd[1].schema = nullptr;
    CD_Free(cd, 2);  // the leak checker and ASan verify: each text freed once
}

struct CopyCase {
    const char *text;
    int size;
    int rc;
    int16_t len;
    const char *written;
};

TEST(StrCopy, StrCopyOutCases) {
    const CopyCase cases[] = {
        {"hello", 5, -1, 4, "hell"},
        {"hello", 6, 0, 5, "hello"},
        {"hello", 100, 0, 5, "hello"},
        {"hello", 1, -1, 0, ""},
        {"", 1, 0, 0, ""},
        {"hello", 0, -1, 99, nullptr},
        {"hello", -1, -1, 99, nullptr},      // a negative size is no room, not 65535 bytes
        {"hello", -32768, -1, 99, nullptr},
    };
    for (const CopyCase &c : cases) {
        char buf[16];
        std::memset(buf, '#', sizeof buf);
        int16_t len = 99;
        EXPECT_EQ(StrCopyOut(c.text, buf, c.size, &len), c.rc) << c.text << " " << c.size;
        EXPECT_EQ(len, c.len) << c.size;
        if (c.written) EXPECT_STREQ(buf, c.written);
        else EXPECT_EQ(buf[0], '#');
    }
    char buf[4];
    int16_t len = 7;
    EXPECT_EQ(StrCopyOut(nullptr, buf, 4, &len), -1);
    EXPECT_EQ(StrCopyOut("x", nullptr, 4, &len), -1);
    EXPECT_EQ(len, 7);
    EXPECT_EQ(StrCopyOut("xy", buf, 4, nullptr), 0);
}

TEST(StrCopy, LengthsAboveSignedShortAreClampedNotWrapped) {
    std::string big(40000, 'a');
    int16_t len = 0;
    std::string buf(40000, '#');
    EXPECT_EQ(StrCopyOut(big.c_str(), &buf[0], 40000, &len), -1);
    EXPECT_EQ(len, INT16_MAX - 1);
    EXPECT_EQ(buf[INT16_MAX - 1], '\0');
    EXPECT_EQ(buf[INT16_MAX], '#');
}

}  // namespace

#include "odbc/contract/rowblock.h"

#include <cstdlib>
#include <cstring>

#include "odbc/contract/errnum.h"

namespace {

constexpr uint64_t RoundUp(uint64_t v, uint64_t m) { return (v + m - 1) / m * m; }

// Element width by value type: a fixed width, or factor x size + extra
// rounded up to a multiple of `align`.
struct WidthRule {
    uint32_t fixed;   // nonzero: the width whatever the size
    uint32_t factor;  // 0 with fixed 0: none defined, the size itself
    uint32_t extra;
    uint32_t align;
};

constexpr WidthRule kWidthRules[] = {
    /* 0 byte       */ {1, 0, 0, 1},
    /* 1 char       */ {0, 1, 0, 1},
    /* 2 bit        */ {1, 0, 0, 1},
    /* 3 tinyint    */ {1, 0, 0, 1},
    /* 4 short      */ {2, 0, 0, 1},
    /* 5 long       */ {4, 0, 0, 1},
    /* 6 utinyint   */ {1, 0, 0, 1},
    /* 7 ushort     */ {2, 0, 0, 1},
    /* 8 ulong      */ {4, 0, 0, 1},
    /* 9 float      */ {4, 0, 0, 1},
    /* 10 double    */ {8, 0, 0, 1},
    /* 11 date      */ {6, 0, 0, 1},
    /* 12 time      */ {6, 0, 0, 1},
    /* 13 timestamp */ {16, 0, 0, 1},
    /* 14 binary    */ {0, 1, 0, 1},
    /* 15 heap text */ {16, 0, 0, 1},
    /* 16 heap bin  */ {16, 0, 0, 1},
    /* 17 nts       */ {0, 1, 1, 1},
    /* 18 text1     */ {0, 1, 1, 1},
    /* 19 text2     */ {0, 1, 2, 2},
    /* 20 text4     */ {0, 1, 4, 4},
    /* 21 bin1      */ {0, 1, 1, 1},
    /* 22 bin2      */ {0, 1, 2, 2},
    /* 23 bin4      */ {0, 1, 4, 4},
    /* 24 wchar     */ {0, 2, 0, 1},
    /* 25 wnts      */ {0, 2, 2, 1},
    /* 26 heap wtxt */ {16, 0, 0, 1},
    /* 27 wtext4    */ {0, 2, 4, 4},
};

bool IsHeapType(ValueType t) { return t == VT_HEAP_TEXT || t == VT_HEAP_BINARY || t == VT_HEAP_WTEXT; }

// No column block is ever this large; asking for one is reported as out of memory.
constexpr uint64_t kMaxColumnBytes = uint64_t{1} << 40;

// rows x width + 1, computed without wrapping, or false when beyond any block.
bool DataBytes(int32_t rows, uint32_t width, size_t *out) {
    uint64_t bytes = uint64_t(uint32_t(rows)) * width + 1;  // < 2^63, no wrap
    if (bytes > kMaxColumnBytes) return false;
    *out = static_cast<size_t>(bytes);
    return true;
}

// Copies at most `room` bytes of text and a NUL; returns the bytes copied.
size_t CopyCut(const char *text, size_t len, char *buf, size_t room) {
    size_t n = len < room ? len : room;
    std::memcpy(buf, text, n);
    buf[n] = '\0';
    return n;
}

// Size argument taken as a signed 16-bit buffer length; negative means none.
size_t BufferSize(int size) {
    if (size < 0) return 0;
    return size > INT16_MAX ? INT16_MAX : static_cast<size_t>(size);
}

int16_t ClampLen(size_t len) { return len > size_t(INT16_MAX) ? INT16_MAX : static_cast<int16_t>(len); }

}  // namespace

uint64_t RB_ValueWidth(ValueType type, uint64_t size) {
    if (type >= sizeof kWidthRules / sizeof kWidthRules[0]) return size;
    const WidthRule &r = kWidthRules[type];
    if (r.fixed) return r.fixed;
    return RoundUp(uint64_t(r.factor) * size + r.extra, r.align);
}

int RB_Init(RowBlock *block, uint16_t n) {
    if (!block) return ERR_GENERAL;
    RowBlockColumn *cols = nullptr;
    if (n) {
        cols = static_cast<RowBlockColumn *>(std::calloc(n, sizeof(RowBlockColumn)));
        if (!cols) return ERR_MEMORY_ALLOCATION;
    }
    block->columns = cols;
    block->columnsAllocated = n;
    block->columnsUsed = 0;
    block->rowsAllocated = 0;
    block->rowsUsed = 0;
    return 0;
}

int RB_AllocColumn(RowBlockColumn *col, int32_t n) {
    if (!col || n < 0) return ERR_GENERAL;
    col->data = nullptr;
    col->indicators = nullptr;
    if (n == 0) return 0;
    size_t bytes;
    if (!DataBytes(n, col->width, &bytes)) return ERR_MEMORY_ALLOCATION;
    auto *data = static_cast<uint8_t *>(std::calloc(bytes, 1));
    auto *ind = static_cast<int16_t *>(std::malloc(size_t(n) * sizeof(int16_t)));
    if (!data || !ind) {
        std::free(data);
        std::free(ind);
        return ERR_MEMORY_ALLOCATION;
    }
    for (int32_t i = 0; i < n; ++i) ind[i] = RB_IND_NULL;
    col->data = data;
    col->indicators = ind;
    return 0;
}

int RB_AllocRows(RowBlock *block, int32_t n) {
    if (!block || n < 0) return ERR_GENERAL;
    if (block->columnsUsed > block->columnsAllocated || (block->columnsUsed && !block->columns))
        return ERR_MEMORY_ALLOCATION;
    for (uint16_t i = 0; i < block->columnsUsed; ++i)
        if (block->columns[i].data || block->columns[i].indicators) return ERR_GENERAL;
    for (uint16_t i = 0; i < block->columnsUsed; ++i) {
        int rc = RB_AllocColumn(&block->columns[i], n);
        if (rc) {
            while (i-- > 0) RB_FreeColumn(&block->columns[i], 0);
            return rc;
        }
    }
    block->rowsAllocated = n;
    return 0;
}

void RB_FreeColumn(RowBlockColumn *col, int32_t rows) {
    if (!col) return;
    if (col->data && IsHeapType(col->valueType) && col->width >= sizeof(LongDataBuf)) {
        for (int32_t r = 0; r < rows; ++r) {
            auto *cell = reinterpret_cast<LongDataBuf *>(col->data + size_t(r) * col->width);
            std::free(cell->data);
            cell->data = nullptr;
            cell->length = 0;
        }
    }
    std::free(col->data);
    std::free(col->indicators);
    col->data = nullptr;
    col->indicators = nullptr;
}

void RB_Free(RowBlock *block) {
    if (!block) return;
    if (block->columns) {
        for (uint16_t i = 0; i < block->columnsAllocated; ++i)
            RB_FreeColumn(&block->columns[i], block->rowsAllocated);
        std::free(block->columns);
    }
    block->columns = nullptr;
    block->columnsAllocated = 0;
    block->columnsUsed = 0;
    block->rowsAllocated = 0;
    block->rowsUsed = 0;
}

int RB_InitFromColDescs(const ColDesc *descs, uint16_t n, int32_t rows, RowBlock *block) {
    if (!block || (n && !descs)) return ERR_GENERAL;
    if (RB_Init(block, n)) return ERR_MEMORY_ALLOCATION;
    for (uint16_t i = 0; i < n; ++i) {
        uint64_t width = RB_ValueWidth(descs[i].valueType, descs[i].bufferLength);
        if (width > UINT32_MAX) {
            RB_Free(block);
            return ERR_MEMORY_ALLOCATION;
        }
        block->columns[i].valueType = descs[i].valueType;
        block->columns[i].width = static_cast<uint32_t>(width);
    }
    block->columnsUsed = n;
    return RB_AllocRows(block, rows);
}

ColDesc *CD_Alloc(uint32_t n) {
    return static_cast<ColDesc *>(std::calloc(n ? n : 1, sizeof(ColDesc)));
}

void CD_Free(ColDesc *descs, uint32_t n) {
    if (!descs) return;
    for (uint32_t i = 0; i < n; ++i) {
        std::free(descs[i].catalog);
        std::free(descs[i].schema);
        std::free(descs[i].table);
        std::free(descs[i].label);
    }
    std::free(descs);
}

void RB_PutYearMonth(int32_t year, uint16_t month, int16_t *yearField, uint16_t *monthField) {
    if (year >= INT16_MIN && year <= INT16_MAX) {
        *yearField = static_cast<int16_t>(year);
        *monthField = month;
        return;
    }
    year = year > RB_YEAR_MAX ? RB_YEAR_MAX : year < RB_YEAR_MIN ? RB_YEAR_MIN : year;
    const uint32_t bits = static_cast<uint32_t>(year);
    *yearField = static_cast<int16_t>(static_cast<uint16_t>(bits & 0xFFFFu));
    *monthField = static_cast<uint16_t>(RB_WIDE_YEAR | ((bits >> 16) & 0x7FFu) << 4 | (month & 0xFu));
}

bool RB_GetYearMonth(int16_t yearField, uint16_t monthField, int32_t *year, uint16_t *month) {
    if (!(monthField & RB_WIDE_YEAR)) {
        *year = yearField;
        *month = monthField;
        return false;
    }
    // The 11 high bits are signed: bit 14 of the field is the year's sign.
    int32_t high = (monthField >> 4) & 0x7FF;
    if (high & 0x400) high -= 0x800;
    *year = high * 65536 + static_cast<uint16_t>(yearField);
    *month = monthField & 0xFu;
    return true;
}

int StrCopyOut(const char *text, char *buf, int size, int16_t *outLen) {
    if (!text || !buf) return -1;
    size_t room = BufferSize(size);
    if (room == 0) return -1;
    size_t len = std::strlen(text);
    size_t copied = CopyCut(text, len, buf, room - 1);
    if (outLen) *outLen = ClampLen(copied);
    return copied == len ? 0 : -1;
}

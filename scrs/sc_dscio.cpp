// The dataset cache's file codec.
//
// Data file: column count (unit), row count (32-bit), one descriptor per
// column {value type, element width}, then the rows' cells one after another.
// A cell is its indicator (unit) followed, when the indicator is 0, by the
// value.  Index file: one 32-bit data-file offset per row, that of the row's
// first cell.  Integers are little-endian; items narrower than 32 bits travel
// as 4-byte units (signed ones sign-extended, unsigned ones zero-extended).
//
// Windows are read through the streams or, faster, through read-only
// mappings of the two files.
//
// Every routine moves one item in the stream's direction and answers true
// for success; a short read, a failed seek, write or position, a value type
// the format does not know or a cell that does not fit its element fails.
#include <cstdlib>
#include <cstring>
#include <sys/types.h>

#include "odbc/contract/rowblock.h"
#include "scrs/sc_dataset.h"

namespace {

// Offsets are stored in 32 bits: a data file may not grow beyond this.
constexpr int64_t kMaxDataOffset = UINT32_MAX;

struct XferStream {
    int dir;  // DSCIO_WRITE or DSCIO_READ
    FILE *file;
    const uint8_t *at = nullptr;   // reading from a mapping: the next byte,
    const uint8_t *end = nullptr;  // and the end of the mapping

    bool Writing() const { return dir == DSCIO_WRITE; }
    bool Valid() const { return file && (dir == DSCIO_WRITE || dir == DSCIO_READ); }
};

bool Seek(FILE *f, int64_t pos, int whence = SEEK_SET)
{
    return fseeko(f, static_cast<off_t>(pos), whence) == 0;
}

// The stream's position, or -1 when it cannot be taken or lies beyond what an
// index entry holds.
int64_t Position(FILE *f)
{
    off_t pos = ftello(f);
    if (pos < 0 || static_cast<int64_t>(pos) > kMaxDataOffset)
        return -1;
    return static_cast<int64_t>(pos);
}

// --- primitive transfers -----------------------------------------------

bool BytesXfer(XferStream &s, void *p, size_t n)
{
    if (n == 0)
        return true;
    if (!p)
        return false;
    if (s.Writing())
        return std::fwrite(p, 1, n, s.file) == n;
    if (s.at) {
        if (size_t(s.end - s.at) < n)
            return false;
        std::memcpy(p, s.at, n);
        s.at += n;
        return true;
    }
    return std::fread(p, 1, n, s.file) == n;
}

bool U32Xfer(XferStream &s, uint32_t *v)
{
    uint8_t b[4];
    if (s.Writing()) {
        for (int i = 0; i < 4; ++i)
            b[i] = static_cast<uint8_t>(*v >> (8 * i));
        return BytesXfer(s, b, 4);
    }
    if (!BytesXfer(s, b, 4))
        return false;
    *v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

bool I32Xfer(XferStream &s, int32_t *v)
{
    uint32_t u = static_cast<uint32_t>(*v);
    if (!U32Xfer(s, &u))
        return false;
    *v = static_cast<int32_t>(u);
    return true;
}

// Narrow items as 4-byte units; reading keeps the low bits.
template <typename T>
bool UnitXfer(XferStream &s, T *v)
{
    static_assert(sizeof(T) < 4, "units carry narrow items");
    int64_t wide = *v;  // sign- or zero-extended by T's signedness
    uint32_t u = static_cast<uint32_t>(wide);
    if (!U32Xfer(s, &u))
        return false;
    *v = static_cast<T>(u);
    return true;
}

// An item of type T kept unaligned at p.
template <typename T, bool (*Xfer)(XferStream &, T *)>
bool AtXfer(XferStream &s, uint8_t *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    if (!Xfer(s, &v))
        return false;
    std::memcpy(p, &v, sizeof v);
    return true;
}

bool U8At(XferStream &s, uint8_t *p) { return AtXfer<uint8_t, UnitXfer<uint8_t>>(s, p); }
bool I8At(XferStream &s, uint8_t *p) { return AtXfer<int8_t, UnitXfer<int8_t>>(s, p); }
bool U16At(XferStream &s, uint8_t *p) { return AtXfer<uint16_t, UnitXfer<uint16_t>>(s, p); }
bool I16At(XferStream &s, uint8_t *p) { return AtXfer<int16_t, UnitXfer<int16_t>>(s, p); }
bool U32At(XferStream &s, uint8_t *p) { return AtXfer<uint32_t, U32Xfer>(s, p); }

// --- values --------------------------------------------------------------

enum class Kind : uint8_t {
    UnsignedByte,   // unit, zero-extended
    SignedByte,     // unit, sign-extended
    SignedShort,    // unit, sign-extended
    UnsignedShort,  // unit, zero-extended
    Raw4,           // 4 bytes as they are (int, unsigned int, float)
    Raw8,           // double
    Date,           // year (signed), month, day: three units
    Time,           // hour, minute, second: three units
    Timestamp,      // six units (year signed), fraction (32-bit)
    Fixed,          // the element's W bytes
    Heap,           // LongDataBuf: length, then the bytes
    Prefix1,        // 1-byte length in a unit, then the bytes
    Prefix2,        // 2-byte length in a unit, then the bytes
    Prefix4,        // 4-byte length, then the bytes
};

struct ValueRule {
    Kind kind;
    uint8_t unitBytes;  // bytes per length unit: 2 for wide text
    uint8_t minWidth;   // smallest element the rule can move
    uint8_t terminator; // heap: zero bytes kept after the value
};

// By ValueType.  A one-byte value (0) travels as a unit like 2 and 6, so that
// it reads back as it was written.
constexpr ValueRule kRules[] = {
    /* 0 byte       */ {Kind::UnsignedByte, 1, 1, 0},
    /* 1 char       */ {Kind::Fixed, 1, 0, 0},
    /* 2 bit        */ {Kind::UnsignedByte, 1, 1, 0},
    /* 3 tinyint    */ {Kind::SignedByte, 1, 1, 0},
    /* 4 short      */ {Kind::SignedShort, 1, 2, 0},
    /* 5 long       */ {Kind::Raw4, 1, 4, 0},
    /* 6 utinyint   */ {Kind::UnsignedByte, 1, 1, 0},
    /* 7 ushort     */ {Kind::UnsignedShort, 1, 2, 0},
    /* 8 ulong      */ {Kind::Raw4, 1, 4, 0},
    /* 9 float      */ {Kind::Raw4, 1, 4, 0},
    /* 10 double    */ {Kind::Raw8, 1, 8, 0},
    /* 11 date      */ {Kind::Date, 1, 6, 0},
    /* 12 time      */ {Kind::Time, 1, 6, 0},
    /* 13 timestamp */ {Kind::Timestamp, 1, 16, 0},
    /* 14 binary    */ {Kind::Fixed, 1, 0, 0},
    /* 15 heap text */ {Kind::Heap, 1, 16, 1},
    /* 16 heap bin  */ {Kind::Heap, 1, 16, 0},
    /* 17 nts       */ {Kind::Fixed, 1, 0, 0},
    /* 18 text1     */ {Kind::Prefix1, 1, 1, 0},
    /* 19 text2     */ {Kind::Prefix2, 1, 2, 0},
    /* 20 text4     */ {Kind::Prefix4, 1, 4, 0},
    /* 21 bin1      */ {Kind::Prefix1, 1, 1, 0},
    /* 22 bin2      */ {Kind::Prefix2, 1, 2, 0},
    /* 23 bin4      */ {Kind::Prefix4, 1, 4, 0},
    /* 24 wchar     */ {Kind::Fixed, 2, 0, 0},
    /* 25 wnts      */ {Kind::Fixed, 2, 0, 0},
    /* 26 heap wtxt */ {Kind::Heap, 2, 16, 1},
    /* 27 wtext4    */ {Kind::Prefix4, 2, 4, 0},
};
constexpr ValueType kTypeCount = sizeof kRules / sizeof kRules[0];

const ValueRule *RuleOf(ValueType t) { return t < kTypeCount ? &kRules[t] : nullptr; }

bool IsHeap(ValueType t)
{
    const ValueRule *r = RuleOf(t);
    return r && r->kind == Kind::Heap;
}

// A column the codec can move: a known type whose elements are wide enough.
bool ColumnFits(const RowBlockColumn &c)
{
    const ValueRule *r = RuleOf(c.valueType);
    return r && c.width >= r->minWidth;
}

bool HeapXfer(XferStream &s, const ValueRule &rule, uint8_t *cell)
{
    LongDataBuf v;
    std::memcpy(&v, cell, sizeof v);
    if (s.Writing()) {
        if (v.length && !v.data)
            return false;
        return U32Xfer(s, &v.length) && BytesXfer(s, v.data, size_t(v.length) * rule.unitBytes);
    }
    v.data = nullptr;
    if (!U32Xfer(s, &v.length))
        return false;
    uint64_t bytes = uint64_t(v.length) * rule.unitBytes;
    uint64_t room = bytes + uint64_t(rule.terminator) * rule.unitBytes;
    if (room > 0) {
        // The length comes from our own file; still, never trust it to size
        // more than the file can hold.
        if (room > uint64_t(kMaxDataOffset))
            return false;
        v.data = static_cast<char *>(std::calloc(static_cast<size_t>(room), 1));
        if (!v.data)
            return false;
        if (!BytesXfer(s, v.data, static_cast<size_t>(bytes))) {
            std::free(v.data);
            return false;
        }
    }
    std::memcpy(cell, &v, sizeof v);
    return true;
}

// Length-prefixed values: the prefix at the element's start, then the bytes,
// which must fit the element.
bool PrefixXfer(XferStream &s, const ValueRule &rule, uint8_t *cell, uint32_t width)
{
    uint32_t len = 0;
    size_t prefix = 0;
    switch (rule.kind) {
    case Kind::Prefix1: {
        prefix = 1;
        if (!U8At(s, cell))
            return false;
        len = cell[0];
        break;
    }
    case Kind::Prefix2: {
        prefix = 2;
        if (!U16At(s, cell))
            return false;
        uint16_t l;
        std::memcpy(&l, cell, 2);
        len = l;
        break;
    }
    default:
        prefix = 4;
        if (s.Writing()) {
            std::memcpy(&len, cell, 4);
            if (uint64_t(len) * rule.unitBytes > width - prefix)
                return false;  // a value longer than its element: refuse, never over-read
        }
        if (!U32At(s, cell))
            return false;
        std::memcpy(&len, cell, 4);
        break;
    }
    uint64_t bytes = uint64_t(len) * rule.unitBytes;
    if (bytes > width - prefix)
        return false;
    return BytesXfer(s, cell + prefix, static_cast<size_t>(bytes));
}

bool ValueBodyXfer(XferStream &s, const RowBlockColumn &c, uint8_t *cell)
{
    const ValueRule &rule = *RuleOf(c.valueType);
    switch (rule.kind) {
    case Kind::UnsignedByte: return U8At(s, cell);
    case Kind::SignedByte: return I8At(s, cell);
    case Kind::SignedShort: return I16At(s, cell);
    case Kind::UnsignedShort: return U16At(s, cell);
    case Kind::Raw4: return BytesXfer(s, cell, 4);
    case Kind::Raw8: return BytesXfer(s, cell, 8);
    case Kind::Date:
        return I16At(s, cell) && U16At(s, cell + 2) && U16At(s, cell + 4);
    case Kind::Time:
        return U16At(s, cell) && U16At(s, cell + 2) && U16At(s, cell + 4);
    case Kind::Timestamp:
        return I16At(s, cell) && U16At(s, cell + 2) && U16At(s, cell + 4) && U16At(s, cell + 6) &&
               U16At(s, cell + 8) && U16At(s, cell + 10) && U32At(s, cell + 12);
    case Kind::Fixed: return BytesXfer(s, cell, c.width);
    case Kind::Heap: return HeapXfer(s, rule, cell);
    case Kind::Prefix1:
    case Kind::Prefix2:
    case Kind::Prefix4: return PrefixXfer(s, rule, cell, c.width);
    }
    return false;
}

// One cell: the indicator, then the value when there is one.
bool ValueXfer(XferStream &s, RowBlockColumn &c, int32_t row)
{
    if (!ColumnFits(c))
        return false;
    if (!I16At(s, reinterpret_cast<uint8_t *>(&c.indicators[row])))
        return false;
    if (c.indicators[row] != RB_IND_VALUE)
        return true;
    return ValueBodyXfer(s, c, c.data + size_t(row) * c.width);
}

// One column descriptor.  On reading the column gets storage for `rows` rows;
// heap columns always have 16-byte elements.
bool ColDescXfer(XferStream &s, RowBlockColumn &c, int32_t rows)
{
    if (s.Writing() && !ColumnFits(c))
        return false;  // a type the format does not list is refused before any row
    int32_t type = static_cast<int32_t>(c.valueType);
    uint32_t width = c.width;
    if (!I32Xfer(s, &type) || !U32Xfer(s, &width))
        return false;
    if (s.Writing())
        return true;
    if (type < 0)
        return false;
    c.valueType = static_cast<ValueType>(type);
    c.width = IsHeap(c.valueType) ? uint32_t(sizeof(LongDataBuf)) : width;
    if (!ColumnFits(c))
        return false;
    return RB_AllocColumn(&c, rows) == 0;
}

bool HeaderXfer(XferStream &s, uint16_t *columns, int32_t *rows)
{
    return UnitXfer(s, columns) && I32Xfer(s, rows);
}

// Rows first .. first + count - 1 of the block and their index entries; on
// writing, rows are appended at the files' ends.
bool RowsXfer(XferStream &s, RowBlock *block, int32_t first, int32_t count, FILE *index)
{
    XferStream ix{s.dir, index};
    if (s.Writing()) {
        if (!Seek(s.file, 0, SEEK_END) || !Seek(index, 0, SEEK_END))
            return false;
    }
    for (int32_t r = first; r < first + count; ++r) {
        if (s.Writing()) {
            int64_t pos = Position(s.file);
            if (pos < 0)
                return false;
            uint32_t off = static_cast<uint32_t>(pos);
            for (uint16_t k = 0; k < block->columnsUsed; ++k)
                if (!ValueXfer(s, block->columns[k], r))
                    return false;
            if (!U32Xfer(ix, &off))
                return false;
        } else {
            for (uint16_t k = 0; k < block->columnsUsed; ++k)
                if (!ValueXfer(s, block->columns[k], r))
                    return false;
        }
    }
    return true;
}

bool UsableBlock(const RowBlock *b)
{
    return b && b->columnsUsed <= b->columnsAllocated && (b->columnsUsed == 0 || b->columns) &&
           b->rowsUsed >= 0 && b->rowsUsed <= b->rowsAllocated;
}

bool AllColumnsFit(const RowBlock *b)
{
    for (uint16_t k = 0; k < b->columnsUsed; ++k)
        if (!ColumnFits(b->columns[k]) || (b->rowsUsed > 0 && (!b->columns[k].data || !b->columns[k].indicators)))
            return false;
    return true;
}

// Writes rows behind `stored` rows already in the files and the header.
bool WriteRows(FILE *data, FILE *index, RowBlock *block, int32_t stored)
{
    XferStream s{DSCIO_WRITE, data};
    if (int64_t(stored) + block->rowsUsed > INT32_MAX)
        return false;
    if (!RowsXfer(s, block, 0, block->rowsUsed, index))
        return false;
    uint16_t m = block->columnsUsed;
    int32_t n = stored + block->rowsUsed;
    return Seek(data, 0) && HeaderXfer(s, &m, &n) && std::fflush(data) == 0 && std::fflush(index) == 0;
}

bool WriteFirstBlock(FILE *data, FILE *index, RowBlock *block)
{
    if (!UsableBlock(block) || block->columnsUsed == 0 || block->rowsUsed == 0 || !AllColumnsFit(block))
        return false;
    XferStream s{DSCIO_WRITE, data};
    uint16_t m = block->columnsUsed;
    int32_t n = block->rowsUsed;
    if (!Seek(data, 0) || !HeaderXfer(s, &m, &n))
        return false;
    for (uint16_t k = 0; k < m; ++k)
        if (!ColDescXfer(s, block->columns[k], 0))
            return false;
    return WriteRows(data, index, block, 0);
}

// Where a window is read from: the two streams, or mappings of the files.
struct WindowSource {
    FILE *data;
    FILE *index;
    const DscFileView *view;  // null: the streams

    // Puts the reading stream s at offset pos of the data file.
    bool DataAt(XferStream &s, int64_t pos) const
    {
        if (!view)
            return Seek(data, pos);
        if (pos < 0 || uint64_t(pos) > view->dataBytes)
            return false;
        s.at = view->data + pos;
        s.end = view->data + view->dataBytes;
        return true;
    }
    // Row r's entry in the index file.
    bool RowOffset(int32_t r, uint32_t *off) const
    {
        if (!view) {
            XferStream ix{DSCIO_READ, index};
            return Seek(index, int64_t(r) * 4) && U32Xfer(ix, off);
        }
        XferStream ix{DSCIO_READ, nullptr, view->index, view->index + view->indexBytes};
        const uint64_t at = uint64_t(r) * 4;
        if (at > view->indexBytes)
            return false;
        ix.at += at;
        return U32Xfer(ix, off);
    }
};

bool ReadWindow(const WindowSource &src, RowBlock *block, int32_t first, int32_t limit)
{
    XferStream s{DSCIO_READ, src.data};
    uint16_t m = 0;
    int32_t n = 0;
    if (!src.DataAt(s, 0) || !HeaderXfer(s, &m, &n))
        return false;
    if (m == 0 || first < 0 || first >= n)
        return false;
    int32_t d = n - first;
    if (limit > 0 && limit < d)
        d = limit;
    RB_Free(block);
    if (RB_Init(block, m) != 0)
        return false;
    block->columnsUsed = m;
    block->rowsAllocated = d;
    bool ok = true;
    for (uint16_t k = 0; k < m && ok; ++k)
        ok = ColDescXfer(s, block->columns[k], d);
    if (ok) {
        uint32_t off = 0;
        ok = src.RowOffset(first, &off) && src.DataAt(s, off) && RowsXfer(s, block, 0, d, nullptr);
    }
    if (!ok) {
        // Columns not yet described hold no storage; heap cells read so far
        // are freed with the rows allocated.
        RB_Free(block);
        return false;
    }
    block->rowsUsed = d;
    return true;
}

// --- column-wise layout -------------------------------------------------

// Counted NUL-terminated text: length (32-bit, in units), the units without
// terminator; on reading the terminator comes back.
bool CountedXfer(XferStream &s, RowBlockColumn &c, int32_t row, unsigned unit)
{
    uint8_t *cell = c.data + size_t(row) * c.width;
    uint32_t len = 0;
    if (s.Writing()) {
        size_t max = c.width / unit;
        while (len < max) {
            bool zero = true;
            for (unsigned b = 0; b < unit; ++b)
                zero = zero && cell[size_t(len) * unit + b] == 0;
            if (zero)
                break;
            ++len;
        }
        if (len == max)
            return false;  // no terminator inside the element
    }
    if (!U32Xfer(s, &len))
        return false;
    if (!s.Writing() && (uint64_t(len) + 1) * unit > c.width)
        return false;
    if (!BytesXfer(s, cell, size_t(len) * unit))
        return false;
    if (!s.Writing())
        std::memset(cell + size_t(len) * unit, 0, unit);
    return true;
}

bool ColumnCellXfer(XferStream &s, RowBlockColumn &c, int32_t row)
{
    if (c.valueType != VT_NTS && c.valueType != VT_WNTS)
        return ValueXfer(s, c, row);
    if (!I16At(s, reinterpret_cast<uint8_t *>(&c.indicators[row])))
        return false;
    if (c.indicators[row] != RB_IND_VALUE)
        return true;
    return CountedXfer(s, c, row, c.valueType == VT_WNTS ? 2 : 1);
}

bool ColumnXfer(XferStream &s, RowBlockColumn &c, int32_t rows)
{
    if (!ColDescXfer(s, c, rows))
        return false;
    for (int32_t r = 0; r < rows; ++r)
        if (!ColumnCellXfer(s, c, r))
            return false;
    return true;
}

}  // namespace

int DSCIO_Xfer(int direction, FILE *data, FILE *index, RowBlock *block, int32_t first, int32_t limit)
{
    if (!data || !index || !block)
        return 0;
    if (direction == DSCIO_WRITE)
        return first == 0 && WriteFirstBlock(data, index, block) ? 1 : 0;
    if (direction == DSCIO_READ)
        return ReadWindow(WindowSource{data, index, nullptr}, block, first, limit) ? 1 : 0;
    return 0;
}

int DSCIO_XferMapped(const DscFileView *view, RowBlock *block, int32_t first, int32_t limit)
{
    if (!view || !view->data || !view->index || !block)
        return 0;
    return ReadWindow(WindowSource{nullptr, nullptr, view}, block, first, limit) ? 1 : 0;
}

int DSCIO_Append(FILE *data, FILE *index, RowBlock *block)
{
    if (!data || !index || !UsableBlock(block))
        return 0;
    if (block->rowsUsed == 0)
        return 1;
    XferStream s{DSCIO_READ, data};
    uint16_t m = 0;
    int32_t n = 0;
    if (!Seek(data, 0) || !HeaderXfer(s, &m, &n))
        return 0;
    // Every block of one file has the file's columns.
    if (m != block->columnsUsed || n < 0 || !AllColumnsFit(block))
        return 0;
    XferStream d{DSCIO_READ, data};
    for (uint16_t k = 0; k < m; ++k) {
        int32_t type = 0;
        uint32_t width = 0;
        if (!I32Xfer(d, &type) || !U32Xfer(d, &width))
            return 0;
        const RowBlockColumn &c = block->columns[k];
        if (type != static_cast<int32_t>(c.valueType) || (!IsHeap(c.valueType) && width != c.width))
            return 0;
    }
    return WriteRows(data, index, block, n) ? 1 : 0;
}

int dscio_RowsetXfer(int direction, FILE *file, RowBlock *block)
{
    XferStream s{direction, file};
    if (!s.Valid() || !block)
        return 0;
    if (s.Writing()) {
        if (!UsableBlock(block) || !AllColumnsFit(block))
            return 0;
        uint16_t m = block->columnsUsed;
        int32_t n = block->rowsUsed;
        if (!Seek(file, 0) || !HeaderXfer(s, &m, &n))
            return 0;
        if (m == 0 || n == 0)
            return std::fflush(file) == 0 ? 1 : 0;
        for (uint16_t k = 0; k < m; ++k)
            if (!ColumnXfer(s, block->columns[k], n))
                return 0;
        return std::fflush(file) == 0 ? 1 : 0;
    }
    uint16_t m = 0;
    int32_t n = 0;
    if (!Seek(file, 0) || !HeaderXfer(s, &m, &n) || n < 0)
        return 0;
    RB_Free(block);
    if (m == 0 || n == 0)
        return RB_Init(block, 0) == 0 ? 1 : 0;
    if (RB_Init(block, m) != 0)
        return 0;
    block->columnsUsed = m;
    block->rowsAllocated = n;
    for (uint16_t k = 0; k < m; ++k) {
        if (!ColumnXfer(s, block->columns[k], n)) {
            RB_Free(block);
            return 0;
        }
    }
    block->rowsUsed = n;
    return 1;
}

// Row blocks and column descriptions: the column-wise carriers of result and
// parameter rows between the back end, the statement layer and the cursor
// library, and the description of one result column or parameter.
#pragma once
#include <cstdint>

// How one cell of a row-block column is encoded (see RB_ValueWidth).
using ValueType = uint32_t;
enum : ValueType {
    VT_BYTE = 0,          // one byte
    VT_CHAR = 1,          // fixed-width text, the whole width
    VT_BIT = 2,           // bit or unsigned byte
    VT_TINYINT = 3,       // signed byte
    VT_SHORT = 4,         // 16-bit
    VT_LONG = 5,          // 32-bit
    VT_UTINYINT = 6,
    VT_USHORT = 7,
    VT_ULONG = 8,
    VT_FLOAT = 9,
    VT_DOUBLE = 10,
    VT_DATE = 11,         // year, month, day as 16-bit fields
    VT_TIME = 12,         // hour, minute, second as 16-bit fields
    VT_TIMESTAMP = 13,    // ODBC timestamp structure
    VT_BINARY = 14,       // fixed-width binary, the whole width
    VT_HEAP_TEXT = 15,    // LongDataBuf, length in bytes
    VT_HEAP_BINARY = 16,  // LongDataBuf, length in bytes
    VT_NTS = 17,          // NUL-terminated text
    VT_TEXT1 = 18,        // text after a 1-byte length
    VT_TEXT2 = 19,        // text after a 2-byte length
    VT_TEXT4 = 20,        // text after a 4-byte length
    VT_BIN1 = 21,         // binary after a 1-byte length
    VT_BIN2 = 22,         // binary after a 2-byte length
    VT_BIN4 = 23,         // binary after a 4-byte length
    VT_WCHAR = 24,        // fixed-width UTF-16, the whole width
    VT_WNTS = 25,         // UTF-16 ending with a zero unit
    VT_HEAP_WTEXT = 26,   // LongDataBuf, length in UTF-16 units
    VT_WTEXT4 = 27,       // UTF-16 after a 4-byte length in units
};

// A date (11) or timestamp (13) element holds a year beyond its signed
// 16-bit year field (PostgreSQL's years reach 5874897) this way: the year
// field keeps the year's low 16 bits; the month field carries RB_WIDE_YEAR,
// the rest of the year (year >> 16, signed) in bits 4-14 and the month in
// bits 0-3.  A reader that does not decode it sees a month beyond 12, never a
// wrapped year.  A year beyond even that is kept as RB_YEAR_MAX or
// RB_YEAR_MIN, which stand for the values infinity and -infinity.
enum : uint16_t { RB_WIDE_YEAR = 0x8000 };
constexpr int32_t RB_YEAR_MAX = (1 << 26) - 1;
constexpr int32_t RB_YEAR_MIN = -(1 << 26);

// Cell indicators.
enum : int16_t {
    RB_IND_VALUE = 0,     // a value is present
    RB_IND_NULL = -1,
    RB_IND_AT_EXEC = -2,  // value given at execution, asked for by the back end
    RB_IND_LONG = -3,     // long value left at the back end, read piecewise
    RB_IND_IGNORED = -4,  // row ignored
};

// The element of the heap value types 15, 16 and 26: the value's length
// (bytes, or UTF-16 units for 26) and its data, owned by the column.  Text
// data carries one zero byte (or unit) after the length.
struct LongDataBuf {
    uint32_t length;
    char *data;
};
static_assert(sizeof(LongDataBuf) == 16, "heap element is 16 bytes");

struct RowBlockColumn {
    ValueType valueType;
    uint32_t width;        // bytes per element
    int16_t *indicators;   // one per row
    uint8_t *data;         // rows x width bytes and one spare byte
};

// Every used column holds storage for rowsAllocated rows.
struct RowBlock {
    uint16_t columnsAllocated;
    int32_t rowsAllocated;
    uint16_t columnsUsed;
    int32_t rowsUsed;
    RowBlockColumn *columns;
};

// Nullability and updatability in ColDesc::attrFlags.
enum : uint32_t {
    CD_NULLABLE_MASK = 0x0F,   // 0 no nulls, 1 nullable, 2 unknown
    CD_UPDATABLE_MASK = 0x30,  // (value >> 4): 1 read-only, 2 writable, 3 unknown
    CD_UPDATABLE_SHIFT = 4,
    CD_BASE_COLUMN = 0x100,    // name holds the base column name, label the name reported
};

// One result column or parameter.  The texts are owned by the array holder
// and released with CD_Free.
struct ColDesc {
    char name[48];          // NUL-terminated
    char *catalog;
    char *schema;
    char *table;
    char *label;            // reported as the name when not empty
    int16_t baseSqlType;    // as the database described it
    int32_t sqlType;        // as reported to the application
    uint32_t attrFlags;
    uint32_t columnSize;
    int16_t decimalDigits;
    uint32_t displaySize;
    ValueType valueType;    // used to fetch the column
    uint32_t bufferLength;  // declared size the element width derives from
};
static_assert(sizeof(ColDesc) == 112, "ColDesc layout");

// The largest size a description reports (SQLINTEGER's largest value).
constexpr uint32_t CD_SIZE_MAX = 2147483647u;
// A size counted twice (octets of UTF-16 text, hexadecimal digits of bytes),
// held at CD_SIZE_MAX instead of wrapping.
constexpr uint32_t CD_SizeDoubled(uint64_t size)
{
    return size > CD_SIZE_MAX / 2 ? CD_SIZE_MAX : static_cast<uint32_t>(2 * size);
}

// Bytes per element of a value type for a declared size.  Computed in 64 bits:
// sizes up to 4294967295 never wrap (a caller storing it checks it fits).
uint64_t RB_ValueWidth(ValueType type, uint64_t size);

// Sets the block up with n zeroed column entries and no rows.  0 or ERR_MEMORY_ALLOCATION (S1001).
int RB_Init(RowBlock *block, uint16_t n);
// Storage for n rows of one column: zeroed data, every indicator NULL.  n = 0
// leaves none.  0, ERR_GENERAL (negative n) or ERR_MEMORY_ALLOCATION (S1001;
// nothing left allocated).
int RB_AllocColumn(RowBlockColumn *col, int32_t n);
// RB_AllocColumn for every used column; rows allocated = n.  0, or ERR_GENERAL when a
// column already has storage or n is negative, ERR_MEMORY_ALLOCATION (S1001) when out of memory.
int RB_AllocRows(RowBlock *block, int32_t n);
// Frees one column's storage and the heap values of its first `rows` cells.
void RB_FreeColumn(RowBlockColumn *col, int32_t rows);
// Frees every column and the column array; the record stays, all counts 0.
void RB_Free(RowBlock *block);
// Sets a block up from n descriptions with storage for `rows` rows.  0, or ERR_MEMORY_ALLOCATION
// (S1001) when out of memory or an element would exceed 4 GiB.
int RB_InitFromColDescs(const ColDesc *descs, uint16_t n, int32_t rows, RowBlock *block);

// A zeroed array of max(n, 1) descriptions; NULL when out of memory.
ColDesc *CD_Alloc(uint32_t n);
// Frees the owned texts of n descriptions, then the array.  NULL does nothing.
void CD_Free(ColDesc *descs, uint32_t n);

// Writes a year and a month into the year and month fields of a date or
// timestamp element, in the wide form above when the year needs it.
void RB_PutYearMonth(int32_t year, uint16_t month, int16_t *yearField, uint16_t *monthField);
// The year and month of a date or timestamp element's fields; true when the
// year lies beyond the 16-bit year field.
bool RB_GetYearMonth(int16_t yearField, uint16_t monthField, int32_t *year, uint16_t *month);

// Copies a NUL-terminated text into a buffer of `size` bytes (negative counts
// as 0, above 32767 as 32767) and writes the copied length.  0 when it fit;
// -1 when cut, for size 0 and for a NULL text or buffer (the caller posts 01004).
int StrCopyOut(const char *text, char *buf, int size, int16_t *outLen);

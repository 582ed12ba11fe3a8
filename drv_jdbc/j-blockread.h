// The block reader: the rows of a statement's ResultSet read into a RowBlock
// with one call into Java per block (kestrune/support/RowBlockReader, which
// lays the values into memory the driver hands over) instead of one per
// cell.  Values, NULLs and diagnostics are those of the getters that read one
// cell (readValue), which still read what the Java reader leaves: values that
// do not fit its buffer and value types it does not take.
#pragma once
#include "odbc/contract/rowblock.h"

#include <cstdint>

struct DrvStmt;

// Column kinds of the Java reader (RowBlockReader.K_*).
enum BlockKind : int32_t {
    BK_STOP = 0,  // read by readValue
    BK_BOOLEAN = 1,
    BK_BYTE = 2,
    BK_SHORT = 3,
    BK_INT = 4,
    BK_FLOAT = 5,
    BK_DOUBLE = 6,
    BK_DATE = 7,
    BK_TIME = 8,
    BK_TIMESTAMP = 9,
    BK_CHARS = 10,    // UTF-16 units
    BK_ENCODED = 11,  // bytes in the driver's ANSI code set
    BK_BYTES = 12,
};

// The kind a ResultSet column of a value type and element width is read as.
BlockKind blockKindOf(ValueType vt, uint32_t width);

// Byte offsets of the reader's buffer header (RowBlockReader.H_*).
enum : uint32_t {
    BH_COLUMNS = 0,
    BH_ROWS = 4,
    BH_STOP = 8,
    BH_END = 12,
    BH_USED = 16,
    BH_FAILED = 20,
    BH_KINDS = 24,
};
// The first cell's offset for a column count.
inline uint32_t blockDataStart(uint32_t columns) { return (BH_KINDS + 4 * columns + 7) & ~7u; }

// Fills rows [from, from + rows) of the block's used columns from cells laid
// out by the reader at `cells` (kinds as given), and, when partial > 0, the
// first `partial` cells of the row after them; *whole receives the rows
// filled whole.  0, or ERR_GENERAL with "Memory allocation failure" posted when a heap
// value cannot be had.
int blockDecode(DrvStmt *s, RowBlock *block, const int32_t *kinds, const uint8_t *cells, int32_t from,
                int32_t rows, int32_t partial, int32_t *whole);

// Reads up to n rows of the statement's open ResultSet into the block (set
// up with storage for n rows), counting them in s->blockRows; at the end of
// the rows sets DS_END_OF_DATA.  0, or the number of the first failing read
// with its diagnostic posted (the rows before it stay counted).
int drvReadBlock(DrvStmt *s, RowBlock *block, int32_t n);
// Releases the statement's reader and its buffer.
void drvFreeBlockReader(DrvStmt *s);

// Whether plain results are read by blocks (on by default; the tests compare
// both ways of reading).
void drvSetBlockReads(bool on);
bool drvBlockReads();

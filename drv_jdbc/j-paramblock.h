// Parameter sets added to a JDBC batch by blocks: the calls that bind each
// set (bindParamSet) and add it (addBatch) are laid out in memory, and the
// Java filler kestrune/support/ParamBatchFiller makes them on the
// PreparedStatement, one call into Java per block instead of one per value.
#pragma once
#include <cstdint>

struct DrvStmt;

// Call codes of the filler (ParamBatchFiller.C_*).
enum ParamCall : uint8_t {
    PC_CLEAR = 1,
    PC_ADD = 2,
    PC_NULL = 3,
    PC_BOOLEAN = 4,
    PC_BYTE = 5,
    PC_SHORT = 6,
    PC_INT = 7,
    PC_LONG = 8,
    PC_FLOAT = 9,
    PC_DOUBLE = 10,
    PC_OTHER = 11,      // setObject(i, text, Types.OTHER)
    PC_DECIMAL = 12,    // setBigDecimal(i, new BigDecimal(text))
    PC_BYTES = 13,
    PC_DATE = 14,
    PC_TIME = 15,
    PC_TIMESTAMP = 16,
};
// Forms of a text (ParamBatchFiller.T_*): bytes in the driver's ANSI code
// set, or UTF-16 units.
enum : uint8_t { PT_BYTES = 0, PT_UNITS = 1 };
// Byte offsets of the filler's buffer header (ParamBatchFiller.H_*).
enum : uint32_t { PH_SETS = 0, PH_END = 4, PH_DONE = 8, PH_CALLS = 16 };

// Adds set n to the batch by the PreparedStatement's setters and addBatch,
// one call into Java each; 0 or the number of the first failure.
int addParamSet(DrvStmt *s, int32_t n);

// Adds sets [0, sets) of the statement's parameters to its batch as
// addParamSet set by set would: 0, or the number of the first failure (the
// sets before the failing one are added).  A set the block cannot carry (a
// stream, an output parameter, a value beyond the block) goes by the setters.
int fillBatchByBlocks(DrvStmt *s, int32_t sets);
// Releases the statement's filler and its buffer.
void drvFreeBatchFiller(DrvStmt *s);
// The sets the statement's filler has added to batches (0 without one).
int64_t drvBatchFillerSets(const DrvStmt *s);

// Whether batches are filled by blocks (on by default; the tests compare both
// ways of filling).
void drvSetBlockBatches(bool on);
bool drvBlockBatches();

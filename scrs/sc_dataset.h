// The cursor library's row stores: the dataset cache, which reads a back-end
// statement's whole result and keeps it in a row block while it is small and
// in two temporary files above DSC_MEMORY_ROWS rows, serving windows of rows
// read back from them; and the static set, a static cursor's result (a cache
// of all its rows and the position of the next row to deliver).
//
// The file codec (DSCIO_) moves row-block rows into and out of the two files:
// a data file (header, column descriptors, the rows' cells one after another)
// and an index file of 32-bit row offsets.  Both files are made exclusively
// with mode 0600 in the temporary directory and lose their names as soon as
// they are open, so nothing is left behind once they are closed, or when the
// process dies.
//
// Every DSC_/SS_ operation answers an ErrNum (0 success, ERR_GENERAL for
// missing arguments and file failures, ERR_MEMORY_ALLOCATION); the DSCIO_
// transfers answer 1 for success and 0 for failure.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "odbc/contract/drv_ops.h"
#include "odbc/contract/rowblock.h"

// Rows kept in memory before the cache spills to its files.
constexpr int32_t DSC_MEMORY_ROWS = 5000;
// Rows asked of the back end per fetch.
constexpr uint16_t DSC_FETCH_ROWS = 200;
// Rows read back at a time until a request needs more.
constexpr int32_t DSC_WINDOW_ROWS = 5000;

enum : int32_t {
    DSC_IN_MEMORY = 0,   // no files; the owner's rowset holds every row
    DSC_FILES_OPEN = 1,  // files made, nothing written yet
    DSC_SPILLED = 2,     // every row is in the files; the rowset holds a window
    DSC_FAILED = 3,      // a fill or read failed: files closed, nothing served
                         // until DSC_Close and a new fill
};

// Read-only mappings of a spilled cache's two files, through which rows are
// read back without a system call per read.
struct DscFileView {
    const uint8_t *data;  // the data file, dataBytes long; null when unmapped
    size_t dataBytes;
    const uint8_t *index;  // the index file
    size_t indexBytes;
};

// Embedded in its owner (static set, keyset, compared values); plain data,
// set up by DSC_Init.  The rows themselves live in a RowBlock that the owner
// passes to every call.
struct DataSetCache {
    int32_t state;       // DSC_IN_MEMORY, DSC_FILES_OPEN, DSC_SPILLED
    FILE *dataFile;      // owned; open only while files are open or spilled
    FILE *indexFile;     // owned
    int32_t windowSize;  // rows read back at a time; grows, never shrinks
    int32_t rowsStored;  // rows written to the files (0 in memory)
    DscFileView view;    // owned; made at the first read after the fill (the
                         // streams serve when the files cannot be mapped)
};

// A static cursor's result.
struct StaticSet {
    RowBlock *rowset;     // owned: every row, or the current window
    int32_t windowStart;  // absolute row (from 0) of the rowset's first row;
                          // -1 after a fill that spilled, until a window is read
    int32_t nextRow;      // row a sequential request delivers next; -2 at the end
    DataSetCache cache;
};

enum : int32_t {
    SS_NEXT_ROW = -1,    // SS_GetRowset's start row: continue sequentially
    SS_END_REACHED = -2, // StaticSet::nextRow once a sequential delivery ran short
};

// State 0, no files, window DSC_WINDOW_ROWS.
void DSC_Init(DataSetCache *cache);
// Closes both files (which then vanish), state 0; the window size stays.
void DSC_Close(DataSetCache *cache);
// Reads the statement's whole result through the binding's Fetch in blocks of
// DSC_FETCH_ROWS.  Up to DSC_MEMORY_ROWS rows stay in `rowset`; more go to the
// files and leave the rowset empty.  *totalRows receives the rows fetched,
// also after a failure; a failure closes the files.
int DSC_Fill(DataSetCache *cache, const DrvBinding *binding, int stmt, RowBlock *rowset,
             int32_t *totalRows);
// Makes rows first .. first + count - 1 (as far as they exist) available in
// `rowset`, whose first row is then row *windowStart.  A spilled cache reads a
// window of windowSize rows centred on the request when the current one does
// not hold them (windowSize grows to 2 x count when smaller); a cache in
// memory always holds every row (*windowStart 0).
int DSC_WindowGet(DataSetCache *cache, int32_t first, int32_t count, int32_t *windowStart,
                  RowBlock *rowset);
// Makes `block` anew from rows first .. first + count - 1 (as far as they
// exist) of a spilled cache, leaving its window as it is: a jump away from
// the window reads only the rows it needs.  0, or ERR_GENERAL when the cache is not
// spilled, first is not below the rows stored, or the read fails (the cache
// then fails as after a failed window read).
int DSC_RowsGet(DataSetCache *cache, int32_t first, int32_t count, RowBlock *block);

// A new, empty static set in *out.  0, ERR_GENERAL (no out), ERR_MEMORY_ALLOCATION.
int SS_Alloc(StaticSet **out);
// Empties the rowset, closes the cache's files; window start and next row 0.
void SS_Close(StaticSet *set);
// SS_Close, then frees the rowset and the record and clears *set.
void SS_Free(StaticSet **set);
// Reads the whole result of the statement; *rowCount receives the rows.
int SS_GetRsltSet(StaticSet *set, const DrvBinding *binding, int stmt, int32_t *rowCount);
// Gives *block (allocated when NULL) up to `count` rows from `start`, or from
// the next row when start is SS_NEXT_ROW.  The caller asks only for start rows
// that exist.
int SS_GetRowset(StaticSet *set, int32_t start, int32_t count, RowBlock **block);

// File codec.
enum : int32_t {
    DSCIO_WRITE = 0,
    DSCIO_READ = 1,
};
// Direction DSCIO_WRITE: writes `block` as the first block of new files
// (first 0, no limit).  Direction DSCIO_READ: makes `block` anew from the
// rows first .. first + limit - 1 (all rows from `first` when limit <= 0).
int DSCIO_Xfer(int direction, FILE *data, FILE *index, RowBlock *block, int32_t first, int32_t limit);
// DSCIO_Xfer's read direction from mappings of the two files.
int DSCIO_XferMapped(const DscFileView *view, RowBlock *block, int32_t first, int32_t limit);
// Appends the block's rows behind those already stored.
int DSCIO_Append(FILE *data, FILE *index, RowBlock *block);
// The column-wise layout in one file (no index): write or read a whole block.
int dscio_RowsetXfer(int direction, FILE *file, RowBlock *block);

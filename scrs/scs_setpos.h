// The cursor library's positioned operations (SetPos) and the parameter
// rows of the statements they generate.
#pragma once
#include "odbc/contract/param_types.h"
#include "odbc/contract/rowblock.h"

#include <cstdint>
#include <vector>

struct ScsContext;
struct RowsetCache;

// One parameter value of a generated statement, copied out of a row block.
struct PosCell {
    ValueType type = VT_NTS;
    uint32_t width = 0;
    int16_t indicator = RB_IND_NULL;
    std::vector<uint8_t> bytes;   // the cell as it lay in its block
    std::vector<uint8_t> heap;    // a heap value's bytes
};

// The parameters of one generated statement and their declared types.
struct PosParams {
    std::vector<PosCell> cells;
    std::vector<ParamTypeDesc> types;
};

// Appends the cells of row `row` of src (the listed columns, or all) to p;
// fixed-width text becomes text that ends at its terminator.  0 or ERR_GENERAL.
int scs_p_ParamCellsAdd(PosParams *p, const RowBlock *src, int32_t row, const std::vector<int> *cols);
// A one-row parameter block of the cells (heap values copied).  0 or ERR_MEMORY_ALLOCATION.
int scs_p_ParamBlockMake(const PosParams &p, RowBlock **out);

// SCS_SetPos: POSITION sets the position; UPDATE, DELETE and ADD change the rows
// of the current rowset (row n, or CUR_POS_ROWSET every row).  Row data and column map
// are freed before it returns.  A new status array goes to *statuses.  0;
// ERR_NO_ROWS_CHANGED (01S03) when no row changed, ERR_ROW_ERROR (01S01) when
// some failed; ERR_INVALID_ARGUMENT, ERR_INVALID_CURSOR_STATE,
// ERR_ROW_VALUE_RANGE, ERR_NOT_CAPABLE, ERR_JOIN_RESULT, ERR_GROUP_BY_CLAUSE,
// ERR_UNION_CLAUSE, ERR_SCALAR_AGGREGATE, ERR_MEMORY_ALLOCATION, or the back
// end's number.
int SCS_SetPos(int stmt, const CursorOptions *options, int32_t row, uint16_t op, uint16_t lock,
               uint16_t **statuses, uint16_t *count, RowBlock *rowData, uint16_t *colMap, uint16_t colCount);
// UPDATE, DELETE or ADD of the rows of the operation: rowset row `row` (CUR_POS_ROWSET
// every row) or, with bookmarks, the `count` rows they name (absolute rows
// of the keyset inside the current rowset; the keyset's statuses stay).
int scs_p_PosChange(ScsContext *ctx, uint16_t op, int32_t row, uint16_t **statuses, uint16_t *count,
                    RowBlock *rowData, const uint16_t *colMap, const uint32_t *bookmarks = nullptr,
                    uint16_t bookmarkCount = 0);

// SCS_BulkOperations: UPDATE_BY_BOOKMARK and DELETE_BY_BOOKMARK of keyset-driven cursors, row by
// row in the caller's order, and FETCH_BY_BOOKMARK, which reads the named rows of the
// current rowset again by their keys into a new rowset (*rowset, the caller's) in the
// caller's order.  Row data and column map are freed before it returns.  0;
// ERR_NO_ROWS_CHANGED when no row changed, ERR_ROW_ERROR when some did not;
// ERR_GENERAL for ADD, missing bookmarks, an update without values or a bookmark
// outside the current rowset; ERR_NOT_CAPABLE for cursors without keys;
// ERR_INVALID_ARGUMENT, ERR_MEMORY_ALLOCATION.
int SCS_BulkOperations(int stmt, const CursorOptions *options, uint16_t op, const uint32_t *bookmarks,
                       uint16_t count, RowBlock *rowData, uint16_t *colMap, uint16_t colCount,
                       uint16_t **statuses, uint16_t *countOut, RowsetCache **rowset);

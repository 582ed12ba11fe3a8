// The statement layer's own fields of a statement: the piecewise SQLGetData
// state, the data-at-execution positions, the parameter classes found at
// prepare and the block a V2 back end is still filling.
#pragma once
#include <cstdint>
#include <vector>

#include "exec/getcolumn.h"

struct OpCall;
struct RowBlock;

struct StmtExec {
    GetDataState gd;             // SQLGetData of the current row
    uint16_t daeScanParam;       // where the next search for a missing value starts
    uint32_t daeScanRow;
    uint16_t daeCurParam;        // the value SQLPutData appends to
    uint32_t daeCurRow;
    int32_t daeNamed;            // 1 once SQLParamData has named a value
    uint16_t inParams;           // parameter classes of the prepared statement
    uint16_t outParams;
    uint16_t inoutParams;
    int32_t deferredClass;       // 1: a direction is decided at execute time
    RowBlock *v2Block;           // a copied block kept while the V2 back end asks
    uint32_t v2RowsSent;         // its rows (the block itself may be the back end's)
    char cursorName[129];        // set by SQLSetCursorName, "" none
    int32_t v2Row;               // V2 position written by the back end
    int32_t v2Index;
    // SQLSetPos and SQLBulkOperations: the rows the search for values given
    // at execution walks (it ends before daeRowEnd), and what a bulk
    // operation keeps while the application supplies them.
    uint32_t daeRowEnd;
    uint16_t bulkOp;
    bool bulkAdd;                // the running ADD is SQLBulkOperations': every row is sent
    std::vector<uint32_t> bulkBookmarks;
    std::vector<uint16_t> bulkCols;
    // The second SetPos engine's sent blocks and statuses, kept while the
    // back end asks for values given at execution.
    OpCall *v2SetPos;
};

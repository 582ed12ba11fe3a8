// The back end's table of SQL type conversions (GetOpTable), from
// which the handle layer answers the SQL_CONVERT_* information types.
#pragma once
#include <cstdint>

// One row: an SQL type and the SQL_CVT_* mask of the types it converts to.
struct DrvConvRow {
    int32_t sqlType;
    int32_t reserved;  // carried, never read
    uint32_t mask;
};

// GetOpTable's request record: the caller sets the type (1 is the only one
// known), the back end fills the rows, which stay its own.
struct DrvConvTable {
    int16_t type;
    int32_t rowCount;
    const DrvConvRow *rows;
};

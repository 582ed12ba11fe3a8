// The driver's one error table: error number to SQLSTATE (ODBC 2 form) and
// message.  The handle layer, the statement layer, the cursor library and
// the back end all answer numbers of this table.
#pragma once
#include <cstdint>

#include "odbc/contract/errnum.h"

// One row of the error table.  Rows that the driver does not define hold an
// empty SQLSTATE and an empty message, like row 0 ("no error").
struct ErrorRow {
    const char *sqlstate;
    const char *message;
};

constexpr int ERR_TABLE_ROWS = 185;
extern const ErrorRow ErrorTable[ERR_TABLE_ROWS];

// The row of a defined error number (1..184 with a SQLSTATE); NULL for 0,
// for rows the table leaves undefined and for any number outside the table.
const ErrorRow *ERR_Lookup(int32_t number);

// The lowest error number whose SQLSTATE equals the first five characters of
// the text; 0 when no row has it (or the text is NULL or shorter).
int32_t ERR_FindState(const char *sqlstate);

// The driver's error table, made from the list of error numbers: the error
// number is the row index.  Rows without a SQLSTATE are not defined and read
// as undefined numbers.
#include "odbc/contract/errtable.h"

#include <cstring>

const ErrorRow ErrorTable[ERR_TABLE_ROWS] = {
#define KRS_ERR(Number, Name, State, Text) {State, Text},
#define KRS_ERR_GAP(Number) {"", ""},
#include "odbc/contract/errlist.inc"
#undef KRS_ERR
#undef KRS_ERR_GAP
};

namespace {

// Every row of the list stands at the index of its number.
constexpr int kRowNumbers[] = {
#define KRS_ERR(Number, Name, State, Text) Number,
#define KRS_ERR_GAP(Number) Number,
#include "odbc/contract/errlist.inc"
#undef KRS_ERR
#undef KRS_ERR_GAP
};
constexpr bool RowsInOrder()
{
    for (int i = 0; i < ERR_TABLE_ROWS; ++i)
        if (kRowNumbers[i] != i)
            return false;
    return true;
}
static_assert(sizeof kRowNumbers / sizeof kRowNumbers[0] == ERR_TABLE_ROWS,
              "the error list has one row per number");
static_assert(RowsInOrder(), "the error list is in number order");

}  // namespace

const ErrorRow *ERR_Lookup(int32_t number) {
    if (uint32_t(number) >= uint32_t(ERR_TABLE_ROWS) || number == 0) return nullptr;
    const ErrorRow *row = &ErrorTable[number];
    return row->sqlstate[0] ? row : nullptr;
}

int32_t ERR_FindState(const char *sqlstate) {
    if (!sqlstate || strnlen(sqlstate, 5) < 5) return 0;
    for (int32_t n = 1; n < ERR_TABLE_ROWS; ++n) {
        if (ErrorTable[n].sqlstate[0] && std::strncmp(ErrorTable[n].sqlstate, sqlstate, 5) == 0)
            return n;
    }
    return 0;
}

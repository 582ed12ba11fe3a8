// The driver's error table, made from the list of error numbers: the error
// number is the row index.  Rows without a SQLSTATE are not defined and read
// as undefined numbers.
#include "odbc/errors.h"

const ErrorRow ErrorTable[ERR_TABLE_ROWS] = {
#define KRS_ERR(Number, Name, State, Text) {State, Text},
#define KRS_ERR_GAP(Number) {"", ""},
#include "odbc/errlist.inc"
#undef KRS_ERR
#undef KRS_ERR_GAP
};

namespace {

// Every row of the list stands at the index of its number.
constexpr int kRowNumbers[] = {
#define KRS_ERR(Number, Name, State, Text) Number,
#define KRS_ERR_GAP(Number) Number,
#include "odbc/errlist.inc"
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

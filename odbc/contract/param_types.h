// ParamTypeDesc: the declared type and direction of one parameter, handed
// by the statement engine to the back end (slots 18 and 43) beside the
// parameter RowBlock that carries the values.
#pragma once
#include <cstdint>

// Parameter directions.
enum : int16_t {
    PARAM_INPUT = 1,
    PARAM_INPUT_OUTPUT = 2,
    PARAM_OUTPUT = 4,
    PARAM_RETURN_VALUE = 5,
};

struct ParamTypeDesc {
    int32_t sqlType;        // ODBC SQL type
    int32_t cType;          // ODBC C type of the application's buffer
    uint32_t columnSize;
    int16_t decimalDigits;
    int16_t direction;      // PARAM_*
};

// ParamTypeDesc: the declared type and direction of one parameter, handed
// by the statement engine to the back end (SetParamTypes, ExecDirect) beside the
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

// The parameter type record of ExecDirectEx and ParamTypesEx: the fields of ParamTypeDesc
// in the same order and widths, then the parameter's name (NULL or
// NUL-terminated, owned by the caller).
struct ParamTypeDescEx {
    int32_t sqlType;
    int32_t cType;
    uint32_t columnSize;
    int16_t decimalDigits;
    int16_t direction;
    const char *name;
};

struct RowBlock;

// One statement of a batch (ExecBatch): its text (NULL: the statement's
// prepared text runs again), its parameter types and its parameter block
// (or NULL), which passes to the callee as in ExecDirect.
struct BatchEntry {
    const char *sql;
    uint16_t typeCount;
    const ParamTypeDesc *types;
    RowBlock *params;
};

// Pieces the converter files share and nobody else needs.
#pragma once
#include <cstdint>

#include "exec/convert.h"
#include "odbc/trace.h"

// A decimal number as digit characters: value = (intPart fracPart) x 10^exp10,
// where exp10 already accounts for the fraction digits' positions.
struct DecimalDigits {
    const char *intPart;
    int64_t nInt;
    const char *fracPart;
    int64_t nFrac;
    int64_t exp10;     // exponent applied to the digits read as one integer
    bool negative;
};

// The number at the scale as SQL_NUMERIC_STRUCT: lost digits are rounded
// half up when `round`, else cut with 01S07 (answer 1).  A precision above 0
// limits the mantissa's digits (22003 beyond it) and is reported; 0 reports
// reportPrecision.  22003 when the mantissa exceeds 128 bits.
int DecimalToNumeric(const DecimalDigits &d, bool round, int scale, int precision, int reportPrecision,
                     SQL_NUMERIC_STRUCT *out, int32_t *err);

// Writes a fixed-size result whole (the buffer length is not consulted) and
// its size as octet length.  ERR_INVALID_ARGUMENT (S1009) for a null target.
SQLRETURN PutFixed(ConvTarget &t, const void *value, int size);

// An integer C type: its width and range (UBIGINT's upper bound is 2^64 - 1).
struct IntTarget {
    int16_t cType;
    int width;
    int64_t lo;
    int64_t hi;
    bool ubigint;
};
// The integer C type's record (SQL_C_BIT included); null for other types.
const IntTarget *FindIntTarget(int16_t cType);
// Writes the low `width` bytes of a two's-complement value as a fixed result.
SQLRETURN PutInteger(ConvTarget &t, uint64_t bits, int width);
// Writes the struct when the conversion answered 0 or 1 (1 gives SQL_SUCCESS_WITH_INFO).
SQLRETURN PutNumeric(ConvTarget &t, const SQL_NUMERIC_STRUCT &num, int rc);

// Refuses the C type: 07006.
SQLRETURN Restricted(ConvTarget &t);

// Trace line while the API trace is on.
#define CONV_TRACE(...)              \
    do {                             \
        if (TR_IsOn())               \
            TR_Printf(__VA_ARGS__);  \
    } while (0)

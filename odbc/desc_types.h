// The type rules of descriptor records: the values a record's type fields
// take from an SQL or C type (read side), and how setting TYPE, CONCISE_TYPE
// or DATETIME_INTERVAL_CODE keeps the other type fields consistent (write
// side).  Pure functions over numbers; the field routines call them.
#pragma once
#include <cstdint>

// The type-related fields of one record, worked on as a copy so that a
// refused change leaves the record as it was.
struct DescTypeFields {
    int16_t type;        // verbose type
    int16_t concise;     // CONCISE_TYPE
    int16_t dic;         // DATETIME_INTERVAL_CODE
    int32_t dip;         // DATETIME_INTERVAL_PRECISION
    uint64_t length;     // LENGTH
    int16_t precision;
    int16_t scale;
};

// Verbose type of a concise type: date/time types give 9, intervals 10.
int16_t DescVerboseType(int16_t t);
// DATETIME_INTERVAL_CODE of a concise type (0 for a type that has none).
int16_t DescIntervalCode(int16_t t);
// LENGTH: b for the character types, a for the fixed and binary types, 0
// for the long and unknown types.
uint64_t DescLengthRule(int16_t t, int64_t a, int64_t b);
// OCTET_LENGTH of a type whose size (buffer length or column size) is given.
int32_t DescOctetLengthRule(int16_t t, int64_t size);
// PRECISION: the column size for numeric types, the decimal digits for the
// time and second-interval types, else 0.
int16_t DescPrecisionRule(int16_t t, int64_t columnSize, int16_t digits);
// UNSIGNED: 0 for the signed C integer types, else 1.
int16_t DescUnsignedRule(int16_t t);
// NUM_PREC_RADIX: 10 for decimal types, 2 for floating types, else 0.
int32_t DescRadixRule(int16_t t);

// TYPE = t with its effects on the other fields.  0, or ERR_OPTION_TYPE_RANGE (S1092) for a
// type outside the table, the fields untouched then.
int DescApplyType(DescTypeFields *f, int16_t t);
// CONCISE_TYPE = c with its effects.  0, or ERR_OPTION_TYPE_RANGE with the fields untouched.
int DescApplyConciseType(DescTypeFields *f, int16_t c);
// DATETIME_INTERVAL_CODE = code; under TYPE 9 or 10 CONCISE_TYPE follows.
// 0, or ERR_OPTION_TYPE_RANGE for a code that TYPE 9 (1..3) or 10 (1..13) does not have, the
// fields untouched then.
int DescApplyIntervalCode(DescTypeFields *f, int16_t code);

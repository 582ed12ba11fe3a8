// Conversion of back-end values (RowBlock cells) into the application's C
// types: the converters of each value family, the text parsers they share,
// the copy helpers that write text and bytes into an application buffer, and
// the small C-type helpers (octet sizes, names, clearing a NULL's target).
//
// Every routine writes an ErrorTable number into the caller's error-number
// field (never clearing it) and answers SQL_SUCCESS, SQL_SUCCESS_WITH_INFO
// or SQL_ERROR.  Narrow targets (SQL_C_CHAR) are text in the ANSI code page;
// narrow sources are ANSI code-page text or, where the caller says so, UTF-8.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>

#include "odbc/contract/errnum.h"

// Encoding of a narrow source text.  Binary bytes may be cut anywhere; text
// is cut only between characters.
enum TextEnc : int {
    ENC_BYTES = 0,  // binary: no characters
    ENC_ANSI = 1,   // the ANSI code page
    ENC_UTF8 = 2,   // UTF-8 (narrow values of the Unicode build)
};

// The application's target of one conversion.
struct ConvTarget {
    void *data;          // buffer; null is refused with ERR_INVALID_ARGUMENT (S1009)
    SQLLEN bufLen;       // bytes (consulted by the variable-length results only)
    SQLLEN *octetLen;    // receives the value's length; may be null
    int32_t *err;        // the statement's error number
    int64_t used;        // out: source bytes a text, wide or binary copy consumed
};

// ---- C types ------------------------------------------------------------

// Octet size of a fixed-length C type; 0 for text, binary and unknown types.
int16_t CTypeSize(int16_t cType);
// Standard name of a C type for trace lines; "(unknown type)" otherwise.
const char *CTypeName(int16_t cType);
// Zeros the target of a NULL value: the C type's size, or for text, binary
// and GUID targets the whole buffer length (when above 0).  Null data: nothing.
void ClearTarget(void *data, SQLLEN bufLen, int16_t cType);

// ---- Copy helpers ---------------------------------------------------------
// count n and available a are what this call holds of a value whose total
// length is T (0: n; SQL_NO_TOTAL: unknown).  A value that does not fit is
// cut (01004) when truncation is allowed, else refused with 22003; a buffer
// of 0 bytes receives nothing (01004).  t.used receives the source bytes
// written.  Octet lengths are in the target's units (bytes).

// Bytes or narrow text into a narrow or binary target.  A UTF-8 source going
// to a narrow target whose code page is not UTF-8 is re-encoded.
SQLRETURN CopyCHARtoCHAR(const char *src, int64_t n, int64_t avail, int64_t total, bool terminate,
                         bool truncOk, TextEnc enc, ConvTarget &t);
// n UTF-16 units (avail, total in units) into the ANSI code page.
SQLRETURN CopyWCHARtoCHAR(const SQLWCHAR *src, int64_t n, int64_t avail, int64_t total,
                          bool terminate, bool truncOk, ConvTarget &t);
// n bytes of narrow text (ANSI or UTF-8) into UTF-16.
SQLRETURN CopyCHARtoWCHAR(const char *src, int64_t n, int64_t avail, int64_t total, bool terminate,
                          bool truncOk, TextEnc enc, ConvTarget &t);
// n bytes of UTF-16 into UTF-16; a cut never splits a surrogate pair.
SQLRETURN CopyWCHARtoWCHAR(const SQLWCHAR *src, int64_t n, int64_t avail, int64_t total,
                           bool terminate, bool truncOk, ConvTarget &t);

// The value of one hexadecimal digit, or -1 for any other character.
int HexCharValue(int c);

// ---- Text parsers -----------------------------------------------------------
// Each reads only the first len bytes (or units) of its text.  0 on success;
// otherwise -1 with the number in *err: 22005 for a text that is not a value
// of the kind, 22003 for one out of range.

// Integer within [lo, hi]; white space around it, one sign.  A decimal or
// exponent form ("37.37", "1e2") gives its integer part (toward zero); when
// nonzero fraction digits were cut: 01S07 and 1.
int CharToNumber(const char *text, int64_t len, int64_t lo, int64_t hi, int32_t *out, int32_t *err);
int CharToNumber64(const char *text, int64_t len, int64_t lo, int64_t hi, int64_t *out, int32_t *err);
// Unsigned 64-bit integer (a "-0" is 0, any other negative value 22003);
// fractions as for CharToNumber.
int CharToUNumber64(const char *text, int64_t len, uint64_t *out, int32_t *err);
// Floating-point number; a leading "$" and "," separators are dropped.  Texts
// over 512 bytes and values beyond the double range are 22003.
int CharToDecimal(const char *text, int64_t len, double *out, int32_t *err);
// SQL_NUMERIC_STRUCT at the scale and precision (0: from the text's digits).
// Lost fraction digits: 01S07 and 1.  A value that does not fit 128 bits or
// the precision: 22003.
int CharToNumeric(const char *text, int64_t len, SQL_NUMERIC_STRUCT *out, int scale, int precision,
                  int32_t *err);
// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx": 22026 for another length, 22005
// for a misplaced hyphen or a character that is not a hexadecimal digit.
int CharToGuid(const char *text, int64_t len, SQLGUID *out, int32_t *err);

// Wide twins: len counts UTF-16 units; ERR_MEMORY_ALLOCATION (S1001) when no
// UTF-8 copy can be made.
int WCharToNumber(const SQLWCHAR *text, int64_t len, int64_t lo, int64_t hi, int32_t *out, int32_t *err);
int WCharToNumber64(const SQLWCHAR *text, int64_t len, int64_t lo, int64_t hi, int64_t *out,
                    int32_t *err);
int WCharToUNumber64(const SQLWCHAR *text, int64_t len, uint64_t *out, int32_t *err);
int WCharToDecimal(const SQLWCHAR *text, int64_t len, double *out, int32_t *err);
int WCharToNumeric(const SQLWCHAR *text, int64_t len, SQL_NUMERIC_STRUCT *out, int scale,
                   int precision, int32_t *err);

// ---- Numeric helpers --------------------------------------------------------

// The double, rounded to the scale, as SQL_NUMERIC_STRUCT.  precision 0 takes
// defPrecision and sets no digit limit; a precision above 15 reports 01S07
// (a double holds no more digits) and answers 1.  22003 for NaN, infinity, a
// value beyond 128 bits or more digits than a given precision.
int DoubleToNumeric(double value, SQL_NUMERIC_STRUCT *out, int scale, int precision,
                    int defPrecision, int32_t *err);
// An integer, exactly, as SQL_NUMERIC_STRUCT (rounded when the scale is negative).
int IntegerToNumeric(int64_t value, SQL_NUMERIC_STRUCT *out, int scale, int precision,
                     int defPrecision, int32_t *err);
// "%.*g" of the value without the locale; answers the text length.
int FormatDouble(char *buf, size_t size, double value, int digits);
// Removes a final "." from the text.
void TrimTrailingPoint(char *text);

// ---- Converters -------------------------------------------------------------
// scale and precision are the NUMERIC scale and precision of the descriptor
// record (0 and 0 when none).  len and total count bytes.

SQLRETURN ConvertCHAR(const char *text, int64_t len, int64_t total, TextEnc enc, int16_t cType,
                      ConvTarget &t, int scale, int precision);
SQLRETURN ConvertWCHAR(const SQLWCHAR *text, int64_t len, int64_t total, int16_t cType, ConvTarget &t,
                       int scale, int precision);
SQLRETURN ConvertBINARY(const uint8_t *bytes, int64_t len, int64_t total, int16_t cType, ConvTarget &t);

// Integers of 8, 16 and 32 bits, read by their signedness.
SQLRETURN ConvertLONG(uint32_t bits, bool isSigned, int16_t cType, ConvTarget &t, int scale, int precision);
SQLRETURN ConvertSHORT(uint16_t bits, bool isSigned, int16_t cType, ConvTarget &t, int scale,
                       int precision);
SQLRETURN ConvertBYTE(uint8_t bits, bool isSigned, int16_t cType, ConvTarget &t, int scale, int precision);
SQLRETURN ConvertFLOAT(float value, int16_t cType, ConvTarget &t, int scale, int precision);
SQLRETURN ConvertDOUBLE(double value, int16_t cType, ConvTarget &t, int scale, int precision);

// The date and timestamp are RowBlock elements: a year beyond the 16-bit
// field (odbc/contract/rowblock.h) is written whole as text, and refused with ERR_DATE_OVERFLOW
// (22008) by the struct and binary targets; infinity is the text "infinity".
SQLRETURN ConvertDATE(const DATE_STRUCT &d, int16_t cType, ConvTarget &t);
SQLRETURN ConvertTIME(const TIME_STRUCT &tm, int16_t cType, ConvTarget &t);
SQLRETURN ConvertTIMESTAMP(const TIMESTAMP_STRUCT &ts, int16_t cType, ConvTarget &t, uint16_t scale);

// Today's local date, which a TIME value converted to a timestamp takes.
void CONV_Today(DATE_STRUCT *out);
// Replaces the clock CONV_Today reads (tests); null returns to the system's.
void CONV_SetTodayHook(void (*hook)(DATE_STRUCT *out));

// Values on their way to the back end: the rewrites the execute, SetPos and
// bulk engines apply to an application value as they copy it into its
// RowBlock element.  Each answers an ErrorTable number (0 success).
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>

#include "odbc/contract/rowblock.h"

// Bytes NumericToChar may write (sign, 39 digits, point, and the zeros a
// scale of -128 or 127 adds), without the NUL.
constexpr size_t NUMERIC_TEXT_MAX = 170;

// A date, time or timestamp escape ({d '...'}, {t '...'}, {ts '...'}) given as
// len bytes of text, stored as the struct the SQL type asks for (0: the
// escape's own kind; 9/91, 10/92, 11/93); the column, when given, becomes that
// struct's value type and width.  Text that is no such escape, a VARCHAR (12)
// or other SQL type, or a slot shorter than the struct gets the text copied
// unchanged.  22007 for a malformed escape; 07006 for a date escape sent as a
// time or a time escape sent as a date.  A time escape sent as a timestamp
// takes today's date.
int CharToDateTime(void *slot, const char *text, size_t len, RowBlockColumn *column, int16_t sqlType);
// The same for UTF-16 text of len bytes; text copied unchanged is the UTF-16
// text.  ERR_MEMORY_ALLOCATION (S1001) when no UTF-8 copy can be made.
int WCharToDateTime(void *slot, const SQLWCHAR *text, size_t len, RowBlockColumn *column, int16_t sqlType);

// SQL_NUMERIC_STRUCT as decimal text with a NUL when it fits: every digit of
// the 128-bit mantissa, the point placed by the scale.  *outLen receives the
// text's length.  22003 when the text does not fit slotWidth bytes.
int NumericToChar(char *slot, size_t slotWidth, const SQL_NUMERIC_STRUCT &num, size_t *outLen);

// The GUID as its 36 upper-case characters with hyphens, no terminator.
void GuidToChar(char *slot, const SQLGUID &guid);

// Hexadecimal text as len / 2 bytes.  22018 for a character that is not a
// hexadecimal digit or an odd number of them (nothing is written then).
int HexToBinary(uint8_t *slot, const char *text, size_t len);

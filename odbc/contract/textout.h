// Text handed to and taken from the application: the one writer of a text
// into an application's buffer (narrow or UTF-16, buffer and length in bytes
// or characters, cut with a terminator, length outputs at their width) and
// the one reader of a text attribute value.  The width ('A' narrow, 'W'
// UTF-16) comes from the entry point; nothing else looks at it.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

// What a wide buffer's size and the reported length count, as the ODBC
// function defines it (narrow text always counts bytes).
enum TextCount : uint8_t {
    TC_BYTES,  // SQLGetInfoW, SQLGetConnectAttrW, SQLGetDescFieldW, SQLColAttributeW ...
    TC_CHARS,  // SQLDescribeColW, SQLGetCursorNameW, SQLNativeSqlW, SQLGetDiagRecW ...
};

// The application's side of one output: its buffer (null asks for the length
// only), the buffer length as the function takes it, and the length output
// (null for none) with its width in bytes (2, 4 or 8).
struct TextOut {
    void *buf;
    int64_t size;
    void *len;
    uint8_t lenBytes;
    int width;
    TextCount count;
};

inline TextOut TXT_Out(int width, TextCount count, void *buf, int64_t size)
{
    return TextOut{buf, size, nullptr, 8, width, count};
}
inline TextOut TXT_Out(int width, TextCount count, void *buf, int64_t size, SQLSMALLINT *len)
{
    return TextOut{buf, size, len, sizeof *len, width, count};
}
inline TextOut TXT_Out(int width, TextCount count, void *buf, int64_t size, SQLINTEGER *len)
{
    return TextOut{buf, size, len, sizeof *len, width, count};
}
inline TextOut TXT_Out(int width, TextCount count, void *buf, int64_t size, int64_t *len)
{
    return TextOut{buf, size, len, sizeof *len, width, count};
}

// Writes a text (UTF-8 in the Unicode build, code-page text in the ANSI
// build; null writes "") as the output asks: narrow as it is, or as UTF-16;
// cut between characters (narrow ANSI text between bytes) with its
// terminator when it does not fit, a non-null buffer of size 0 included.  The
// length output gets the whole text's length in the output's unit, clamped to
// its width.  0; ERR_DATA_TRUNCATED (01004) when cut; ERR_INVALID_LENGTH
// (HY090) for a negative size, with nothing written.
int TXT_Put(const char *text, const TextOut &o);

// Bytes of a work buffer that holds, with its terminator, any text the
// output can take whole: the buffer's size narrow; four a UTF-16 unit and one
// wide, at most 65537 (a first try: a longer text is asked for again).  1 for
// an output without a buffer.
int64_t TXT_WorkSize(const TextOut &o);

// Writes a length into the output's length output at its width (a 16-bit
// or 32-bit output holds at most its largest value).  Null writes nothing.
void TXT_PutLen(const TextOut &o, int64_t n);

// Writes a number into an application's buffer at 4 bytes (SQLUINTEGER) or
// 8 (SQLULEN); a null buffer writes nothing.
void TXT_PutNumber(void *buf, uint64_t v, int bytes);

// A NUL-terminated copy of an application's text value (the caller frees it):
// UTF-8 of UTF-16 text for 'W' (len in bytes, an odd byte dropped), the bytes
// as they are otherwise; SQL_NTS reads up to the terminator.  Null for a null
// value, another negative length or short memory.
char *TXT_In(const void *value, int64_t len, int width);

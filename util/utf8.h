// UTF-16 <-> UTF-8 text, character counts and case mapping.
//
// Wide text is UTF-16 in 16-bit units; every routine taking wide text is
// provided for char16_t and for SQLWCHAR (unsigned short).  Lengths, sizes and
// out-lengths are 64-bit (int64_t, the same type as SQLLEN here); a length of
// SQL_NTS (-3) means up to the terminator, other lengths count units (wide)
// or bytes (UTF-8).  A negative length other than SQL_NTS is refused like a
// NULL text.  NULL out-parameters are skipped.
//
// Conversions are full UTF-16 <-> UTF-8:
//  - a surrogate pair encodes as one four-byte sequence; a four-byte sequence
//    decodes to a surrogate pair, and the six-byte form of a pair (two
//    encoded surrogates, as in Java's modified UTF-8) decodes to the same pair;
//  - malformed input becomes U+FFFD: a lone surrogate unit, a byte that cannot
//    start a sequence, a sequence cut short by a byte that cannot continue it
//    (the offending byte then starts afresh), overlong forms, values above
//    U+10FFFF and encoded lone surrogates;
//  - text is cut only between characters: a sequence, or a surrogate pair, is
//    written whole or not at all.
// Nothing reads past the given length or the terminator.
//
// Blocks returned by the Dup routines belong to the caller, who frees them
// with free().
#pragma once
#include <cstddef>
#include <cstdint>

// ---- Counting ----------------------------------------------------------

// Bytes the UTF-8 form of n units (SQL_NTS: up to the zero unit) takes; with a
// count, zero units count 1 byte.  0 for NULL.
template <class U>
int64_t UTF8_LenFromWide(const U *w, int64_t n);

// UTF-16 units the UTF-8 text decodes to, over n bytes (SQL_NTS: up to the
// NUL); a sequence cut off by the end of the n bytes counts as one U+FFFD.
// 0 for NULL.
int64_t UTF8_CharCount(const char *s, int64_t n);

// Units before the zero unit; 0 for NULL.
template <class U>
int64_t UC_StrLen(const U *w);

// ---- UTF-16 to UTF-8 ---------------------------------------------------

// Encodes up to the zero unit into at most budget bytes, stopping before a
// character that would not fit; writes no NUL.  Bytes written; 0 for NULL.
template <class U>
int64_t UTF8_FromWide(const U *w, char *out, int64_t budget);

// Encodes at most n units (zero units like any other) into at most budget
// bytes, stopping before a character that would not fit and before a high
// surrogate that ends the n units (its partner may follow in the next piece).
// *unitsUsed receives the units consumed.  Bytes written; writes no NUL.
template <class U>
int64_t UTF8_FromWideN(const U *w, char *out, int64_t n, int64_t budget, int64_t *unitsUsed);

// Encodes exactly n units (zero units like any other) into at most budget
// bytes, stopping before a character that would not fit; out NULL counts the
// bytes of the whole text.  A lone surrogate (also a high one ending the n
// units) becomes the 7-bit character `lone`, or U+FFFD when lone is 0.
// *unitsUsed receives the units consumed.  Bytes written or counted; 0 for
// NULL text or a negative length or budget.
template <class U>
int64_t UTF8_FromWideAll(const U *w, int64_t n, char *out, int64_t budget, char lone, int64_t *unitsUsed);

// Whole text (size >= encoded length + 1): encoded with NUL, *outBytes =
// bytes, 0.  Otherwise, size > 0: the characters that fit in size - 1 bytes
// with NUL, *outBytes = bytes, -1.  Size <= 0 or NULL text/buffer: -1,
// nothing written.
template <class U>
int UTF8_FromWideBuf(const U *w, char *buf, int64_t size, int64_t *outBytes);

// New NUL-terminated UTF-8 copy of the text; NULL for NULL or short memory.
template <class U>
char *UTF8_DupFromWide(const U *w);

// New UTF-8 copy of n units (SQL_NTS: up to the zero unit) with NUL; a high
// surrogate ending the n units becomes U+FFFD.  NULL for NULL, a bad length
// or short memory.
template <class U>
char *UTF8_DupFromWideN(const U *w, int64_t n);

// ---- UTF-8 to UTF-16 ---------------------------------------------------

// Decodes up to the NUL into at most n units (a pair is never split); writes
// no terminator.  Units written; 0 for NULL.
template <class U>
int64_t UTF8_ToWide(const char *s, U *out, int64_t n);

// Decodes at most m bytes (a NUL like any other byte) into at most n units,
// stopping before a character that would not fit and before a sequence that
// the end of the m bytes cuts short (its rest may follow in the next piece).
// *bytesUsed receives the bytes consumed.  Units written; no terminator.
template <class U>
int64_t UTF8_ToWideN(const char *s, U *out, int64_t m, int64_t n, int64_t *bytesUsed);

// Decodes exactly m bytes (a NUL like any other byte; a sequence cut off by
// the end becomes U+FFFD) into at most room units, stopping before a
// character that would not fit; out NULL counts the units of the whole text.
// *bytesUsed receives the bytes consumed.  Units written or counted; 0 for
// NULL text or a negative length or room.
template <class U>
int64_t UTF8_ToWideAll(const char *s, int64_t m, U *out, int64_t room, int64_t *bytesUsed);

// New wide copy with a zero unit; NULL for NULL or short memory.
template <class U = char16_t>
U *UTF8_DupToWide(const char *s);

// New wide copy of n bytes (SQL_NTS: up to the NUL) with a zero unit after
// the decoded units; a sequence cut off by the end becomes U+FFFD.  NULL for
// NULL, a bad length or short memory.
template <class U = char16_t>
U *UTF8_DupToWideN(const char *s, int64_t n);

// Size in units.  Whole text (size >= units + 1): decoded with a zero unit,
// *outUnits = units, 0.  Otherwise, size > 0: the characters that fit in
// size - 1 units and a zero unit, *outUnits = units written, -1.  Size <= 0
// or a NULL argument: -1, nothing written.
template <class U>
int UTF8_ToWideBuf(const char *s, U *buf, int64_t size, int64_t *outUnits);

// Size in bytes.  -1 for NULL text.  *outUnits first receives the units of
// the whole text; a NULL buffer asks for that only: 0.  With units = size / 2:
// units >= count + 1 decodes the whole text with a zero unit: 0; otherwise,
// size > 1: the characters that fit in units - 1 units and a zero unit: -1;
// a size below 2 writes nothing: -1.
template <class U>
int UTF8_ToWideBufBytes(const char *s, U *buf, int64_t size, int64_t *outUnits);

// Decodes with a zero unit into a buffer of n units, cut between characters
// to n - 1 units; n <= 0 or a NULL argument leaves the buffer untouched.
// Returns buf.
template <class U>
U *UTF8_ToWideCopy(U *buf, const char *s, int64_t n);

// Decodes the whole text with a zero unit; the caller provides
// UTF8_CharCount(s, SQL_NTS) + 1 units.  NULL arguments do nothing.
template <class U>
U *UTF8_ToWideCopyAll(U *buf, const char *s);

// ANSI code-page text (up to its NUL) into UTF-8 with NUL in a buffer of n
// bytes, cut between characters to n - 1 bytes; n <= 0, a NULL argument or a
// refused conversion leaves the buffer untouched.  Returns buf.
char *UTF8_FromAnsiCopy(char *buf, const char *ansi, int64_t n);

// ---- Case --------------------------------------------------------------

// Simple case mappings of Unicode 3.2, sorted by code point.  Entry: code
// point in bits 0-16, |difference to the partner| in bits 17-30, bit 31 set
// for a negative difference.
constexpr size_t UC_UPPER_COUNT = 759;
constexpr size_t UC_LOWER_COUNT = 749;
extern const uint32_t UC_UpperTable[UC_UPPER_COUNT];
extern const uint32_t UC_LowerTable[UC_LOWER_COUNT];

// Signed difference of a code point to its partner in the table (binary
// search); 0 when the code point is absent or the table NULL.
int32_t UC_CaseDelta(const uint32_t *table, size_t count, uint32_t cp);

// A unit's simple upper/lower case (unchanged when it has none).
char16_t UC_ToUpper(char16_t u);
char16_t UC_ToLower(char16_t u);

// Upper/lower-cases the NUL-terminated UTF-8 text in a buffer of size bytes
// (characters outside the BMP included), re-encoded into at most size - 1
// bytes with NUL (cut between characters).  Size <= 0, a NULL buffer or short
// memory leave the buffer as it was.  Returns buf.
char *UTF8_Upper(char *buf, int64_t size);
char *UTF8_Lower(char *buf, int64_t size);

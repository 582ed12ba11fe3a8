// UTF-16 <-> ANSI code-page text (the process's ANSI code set, see
// util/codepage.h), and plain UTF-16 buffer copies.
//
// Every output is sized by what the conversion actually produces: a UTF-8 or
// double-byte code set may need several bytes per unit.  Text is cut only
// between characters (never inside a multi-byte character or a surrogate
// pair), and every cut output still ends with its terminator.  Characters
// the code set lacks become '?'; bytes invalid in it become U+FFFD.
//
// Lengths, sizes and out-lengths are 64-bit; SQL_NTS (-3) means up to the
// terminator; ANSI lengths count bytes, wide lengths units.  A negative
// length other than SQL_NTS is refused like a NULL text.  Wide routines are
// provided for char16_t and for SQLWCHAR (unsigned short).  Dup blocks belong
// to the caller, who frees them with free().
#pragma once
#include <cstddef>
#include <cstdint>

// Result of the buffer routines when the code-set conversion is refused (no
// usable converter): nothing but a terminator has been written.
constexpr int ACP_REFUSED = -2;

// New UTF-16 copy of n bytes (SQL_NTS: up to the NUL) with a zero unit; n of 0
// or a refused conversion gives just the zero unit.  NULL for NULL text, a
// bad length or short memory.
template <class U = char16_t>
U *ACP_DupToWideN(const char *a, int64_t n);

// New ANSI copy of n units (SQL_NTS: up to the zero unit) with NUL; a refused
// conversion gives just the NUL.  NULL for NULL text, a bad length or short
// memory.
template <class U>
char *ACP_DupFromWideN(const U *w, int64_t n);

// ACP_DupFromWideN with SQL_NTS.
template <class U>
char *ACP_DupFromWide(const U *w);

// Size in bytes.  -1 for NULL text.  *outBytes first receives the bytes of the
// whole converted text (2 x its units); a NULL buffer asks for that only: 0.
// With units = size / 2: units >= text units + 1 converts the whole text with
// a zero unit: 0; otherwise, size > 1: the characters that fit in units - 1
// units and a zero unit: -1; a size below 2 writes nothing: -1.  A refused
// conversion writes only the zero unit (when there is room): ACP_REFUSED.
template <class U>
int ACP_ToWideBufBytes(const char *a, U *buf, int64_t size, int64_t *outBytes);

// Converts the whole text with a zero unit into a buffer the caller sizes at
// the text's byte length + 1 units (never more units than bytes are
// produced).  NULL arguments do nothing.  Returns buf.
template <class U>
U *ACP_ToWideCopyAll(U *buf, const char *a);

// Converts the text with a zero unit into a buffer of n units, cut between
// characters to n - 1 units; n <= 0 or a NULL argument leaves it untouched.
template <class U>
U *ACP_ToWideCopy(U *buf, const char *a, int64_t n);

// Converts the text with NUL into a buffer of n bytes, cut between characters
// to n - 1 bytes; n <= 0 or a NULL argument leaves it untouched.
template <class U>
char *ACP_FromWideCopy(char *buf, const U *w, int64_t n);

// Size in units.  size >= length + 1: copy with zero unit, *outLen = length,
// 0.  Size <= 0 or a NULL argument: -1, nothing written.  Else the first
// size - 1 units (one fewer when that would split a surrogate pair) and a
// zero unit, *outLen = units copied, -1.
template <class U>
int UC_CopyBuf(const U *w, U *buf, int64_t size, int64_t *outLen);

// -1 for NULL text; *outLen = the whole length; a NULL buffer: 0; then as
// UC_CopyBuf, *outLen keeping the whole length.
template <class U>
int UC_CopyBufLen(const U *w, U *buf, int64_t size, int64_t *outLen);

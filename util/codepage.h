// The process's ANSI code page, in place of the Windows CP_ACP conversions
// (MultiByteToWideChar / WideCharToMultiByte).  UTF-8 is converted by the
// driver's own UTF-8 routines; other code sets by iconv, with each thread's
// converters opened once and kept until the code set changes.
//
// The ANSI code set is the codeset of the LC_CTYPE category of the locale the
// environment names (LC_ALL, LC_CTYPE, LANG), read with newlocale and
// nl_langinfo_l; the driver never calls setlocale.  When the environment names
// no locale, names the C or POSIX locale (whose codeset is plain ASCII), names
// a locale that is not installed, or names a codeset iconv cannot convert,
// the code set is UTF-8, a superset of ASCII.
//
// Lengths are 64-bit.  Wide text is UTF-16 in 16-bit units (char16_t or
// SQLWCHAR's unsigned short); a length of SQL_NTS (-3) means up to the
// terminator, which is not converted.
#pragma once
#include <cstddef>
#include <cstdint>

// Result of a conversion the iconv layer refuses (unknown code set, a negative
// length other than SQL_NTS, a NULL text).
constexpr int64_t CP_REFUSED = -1;

// The iconv name of the ANSI code set ("UTF-8", "ISO-8859-1", ...); chosen
// once per process unless overridden.
const char *CP_AnsiCodeset();

// True when the ANSI code set is UTF-8.
bool CP_AnsiIsUtf8();

// Codeset of the LC_CTYPE category of the named locale ("" = the one the
// environment names), with the UTF-8 fallbacks above, into buf (NUL-ended,
// cut to size - 1 bytes).  Returns buf.
char *CP_LocaleCodeset(const char *localeName, char *buf, size_t size);

// Replaces the ANSI code set for the rest of the process (tests, and
// machines where the wanted locale is not installed); NULL returns to the
// locale's.  False, and nothing changed, when iconv cannot convert the named
// code set.  Not to be called while other threads convert text.
bool CP_SetAnsiCodeset(const char *codeset);

// MultiByteToWideChar(CP_ACP, 0, ...): converts n bytes of ANSI text (SQL_NTS:
// up to its NUL) into at most `room` units at dst; dst NULL only counts the
// units the whole text needs.  Stops before a character that does not fit (a
// surrogate pair is never split).  Bytes that are not valid in the code set
// become U+FFFD.  Returns the units produced (or needed), CP_REFUSED when the
// conversion is refused (then nothing is written); *bytesUsed (may be NULL)
// receives the bytes consumed.
template <class U>
int64_t CP_AnsiToWide(const char *src, int64_t n, U *dst, int64_t room, int64_t *bytesUsed);

// WideCharToMultiByte(CP_ACP, 0, ...): converts n units of UTF-16 (SQL_NTS: up
// to the zero unit) into at most `room` bytes at dst; dst NULL only counts the
// bytes the whole text needs.  Stops before a character whose bytes do not
// all fit.  Characters the code set cannot represent, and lone surrogates,
// become the default character '?'.  Returns the bytes produced (or needed)
// or CP_REFUSED (nothing written); *unitsUsed (may be NULL) receives the
// units consumed.
template <class U>
int64_t CP_WideToAnsi(const U *src, int64_t n, char *dst, int64_t room, int64_t *unitsUsed);

// Helpers on NUL-terminated 8-bit text: trimming, keyword tests, searching,
// copies with the SQL_NTS length convention, quoting, file extensions and the
// program's name. Heap copies belong to the caller and are freed with free().
#pragma once
#include <cstdint>

// Cuts trailing white space in place; the last kept character, or NULL for a
// NULL, empty or all-blank text (which is left empty).
// A heap copy of a NUL-terminated text (free()); null for null or when
// there is no memory.
char *STR_Dup(const char *text);
char *STR_RTrim(char *text);

// First character that is not white space (the terminating NUL when none).
const char *STR_SkipBlanks(const char *text);
inline char *STR_SkipBlanks(char *text) { return const_cast<char *>(STR_SkipBlanks(static_cast<const char *>(text))); }

// Whole-word keyword test after the text's leading white space: the position
// after the keyword and the white space that follows it (its NUL when the text
// ends there); NULL when the text does not start with the keyword as a word.
const char *STR_MatchKeywordEx(const char *keyword, const char *text, int exact);
// Case-insensitive form.
const char *STR_MatchKeyword(const char *keyword, const char *text);
// Exact-case form.
const char *STR_MatchKeywordCase(const char *keyword, const char *text);
inline char *STR_MatchKeyword(const char *keyword, char *text)
{
    return const_cast<char *>(STR_MatchKeyword(keyword, static_cast<const char *>(text)));
}

// First occurrence of pattern in text ignoring case; NULL when absent.
const char *STR_IStrStr(const char *text, const char *pattern);
inline char *STR_IStrStr(char *text, const char *pattern)
{
    return const_cast<char *>(STR_IStrStr(static_cast<const char *>(text), pattern));
}

// Copy of path with its extension (what follows the last dot of the last
// '\' or '/' element, not a leading dot) changed by mode: 0 removes it,
// 1 replaces or adds ext, 2 adds ext only when there is none. Returns one
// process-wide buffer that the next call overwrites; a result longer than
// 254 bytes comes back as the empty text.
const char *STR_ChangeExt(const char *path, const char *ext, int mode);

// The calling program's name, upper-cased and without directory or extension
// ("Unknown" when it cannot be found); computed once.
const char *SYS_ProgramName();
// The same rule applied to a program path: after the last '\' or '/', up to
// the last dot (else the first blank), at most 254 characters, upper-cased;
// "KRNL386" becomes "WOW" and an empty name "Unknown". out holds 255 bytes.
void SYS_ProgramNameOf(const char *program, char out[255]);

// Copies text into buf of size bytes, cut to fit, with a terminator; the
// bytes copied (0 for a NULL buf or a size below 1, when nothing is written).
int STR_CopyCut(char *buf, int size, const char *text);

// Heap copy of text's first n bytes (all of it for SQL_NTS; a NULL text as
// "") into *out, NULL when memory is short. Always returns 0.
int STR_CopyN(char **out, const char *text, int64_t n);
// As STR_CopyN, dropping one pair of enclosing ' or " from a text longer than
// one character.
int STR_CopyUnquoted(char **out, const char *text, int64_t n);

// New text: quote, the text's n bytes (or all of it) with every quote
// character inside doubled, quote. The blank or NUL as quote gives a plain
// copy. NULL when memory is short.
char *STR_Quote(const char *text, int64_t n, char quote);
// New text without the enclosing quote characters of a text longer than one
// character that both begins and ends with quote (doubled quotes inside
// become single); otherwise a plain copy. NULL when memory is short.
char *STR_Unquote(const char *text, int64_t n, char quote);

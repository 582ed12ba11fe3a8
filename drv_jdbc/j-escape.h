// SQL preprocessing: the one look at a statement's text before it is
// prepared (kept copy, parameter markers, procedure call, verb) and the
// translation of ODBC escape clauses with markers numbered :1, :2 ...
#pragma once
#include <cstdint>

struct MemPool;

// SqlText::verb
enum : uint16_t { SQLV_NONE = 0, SQLV_SELECT = 1, SQLV_DML = 2, SQLV_OTHER = 3 };
// SqlText::flags
enum : uint16_t { SQLT_MARKERS = 0x2, SQLT_PROCCALL = 0x4 };

// The statement text and what its analysis found; both texts are owned.
struct SqlText {
    char *kept;             // text without leading white space, null functions blanked
    char *translated;       // escapes translated, markers numbered
    uint16_t cleared;       // cleared by every translation
    uint16_t markerCount;   // markers, those inside escape clauses included
    uint16_t verb;          // SQLV_*
    uint16_t flags;         // SQLT_MARKERS (outside escapes), SQLT_PROCCALL
};

// Analyses a statement text into st (earlier texts freed first).  0, or ERR_SYNTAX_OR_ACCESS
// (37000) when an escape is left open or nested too deeply; both texts are
// stored in either case.
int prepareSQLText(SqlText *st, const char *sql);
// Frees both texts and clears the record.
void freeSQLText(SqlText *st);

// Appends the translation of text to out (no final NUL).  With st, the
// marker count, flags and verb word are reset and filled.  0 or ERR_SYNTAX_OR_ACCESS.
int translateEscapes(MemPool *out, const char *text, SqlText *st);

// DRV_NativeSql: the JDBC driver's native form of a text into buf (len bytes; NULL
// asks for the length only); *outLen gets the whole answer's length in bytes.
// ERR_INVALID_ARGUMENT unknown connection, ERR_GENERAL no JNIEnv,
// ERR_DATA_TRUNCATED (01004) when the answer was cut, ERR_INVALID_LENGTH (S1090) for a
// negative len, else the bridge's number.
int DRV_NativeSql(int conn, const char *sql, char *buf, int32_t len, int32_t *outLen);

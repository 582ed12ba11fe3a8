// SQL preprocessing and escape translation.
#include "drv_jdbc/j-escape.h"

#include "drv_jdbc/j-call.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-wrap.h"
#include "odbc/contract/textout.h"
#include "util/mpl.h"
#include "util/strutil.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr int kMaxNesting = 32;

enum EscKind : int { ESC_NONE = 0, ESC_BRACE = 1, ESC_COMMENT = 2 };

// The marker counter runs on through the nested translations of one statement.
struct Xlate {
    unsigned counter = 0;
};

bool isIdent(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return isalnum(u) || c == '_' || u >= 0x80;
}

bool startsWith(const char *p, const char *end, const char *lit)
{
    size_t n = strlen(lit);
    return static_cast<size_t>(end - p) >= n && memcmp(p, lit, n) == 0;
}

// Length of a dollar-quote tag ("$$" or "$name$") starting at p, else 0.
size_t dollarTag(const char *text, const char *p, const char *end)
{
    if (*p != '$' || (p > text && isIdent(p[-1]) ) || (p > text && p[-1] == '$'))
        return 0;
    const char *q = p + 1;
    if (q < end && (isalpha(static_cast<unsigned char>(*q)) || *q == '_' ||
                    static_cast<unsigned char>(*q) >= 0x80)) {
        while (q < end && isIdent(*q))
            ++q;
    }
    if (q < end && *q == '$')
        return static_cast<size_t>(q - p + 1);
    return 0;
}

// Bytes of a region that is copied as it stands and never analysed: a line
// comment, a (nested) block comment or a dollar-quoted body; 0 when p does
// not start one.  An unterminated region runs to the end of the text.
size_t opaqueRegion(const char *text, const char *p, const char *end)
{
    if (startsWith(p, end, "--")) {
        const char *q = p + 2;
        while (q < end && *q != '\n' && *q != '\r')
            ++q;
        return static_cast<size_t>(q - p);
    }
    if (startsWith(p, end, "/*")) {
        int level = 0;
        const char *q = p;
        while (q < end) {
            if (startsWith(q, end, "/*")) {
                ++level;
                q += 2;
            } else if (startsWith(q, end, "*/")) {
                q += 2;
                if (--level == 0)
                    break;
            } else {
                ++q;
            }
        }
        return static_cast<size_t>(q - p);
    }
    if (size_t tag = dollarTag(text, p, end)) {
        const char *q = p + tag;
        while (q < end) {
            if (*q == '$' && static_cast<size_t>(end - q) >= tag && memcmp(q, p, tag) == 0)
                return static_cast<size_t>(q + tag - p);
            ++q;
        }
        return static_cast<size_t>(end - p);
    }
    return 0;
}

// A string whose backslashes escape the next character: E'...'.
bool isEscapeString(const char *text, const char *p)
{
    if (*p != '\'' || p == text || (p[-1] != 'E' && p[-1] != 'e'))
        return false;
    return p - 1 == text || !isIdent(p[-2]);
}

void appendText(MemPool *out, const char *p, size_t n)
{
    if (n)
        MPL_Append(out, p, n);
}

void appendMarker(MemPool *out, unsigned n)
{
    char buf[16];
    int len = snprintf(buf, sizeof buf, ":%u", n);
    MPL_Append(out, buf, static_cast<size_t>(len));
}

int translateRange(MemPool *out, const char *text, size_t n, SqlText *st, Xlate *x);

// Appends the translation of one escape clause (held in clause) to out.
void translateClause(MemPool *out, MemPool *clause, bool longForm, SqlText *st, Xlate *x)
{
    size_t rawLen = 0;
    char *raw = MPL_FinishSize(clause, &rawLen);
    MemPool nested;
    MPL_Init(&nested);
    translateRange(&nested, raw, rawLen, nullptr, x);
    const char *p = MPL_Finish(&nested);
    p = STR_SkipBlanks(p);
    if (longForm && strncasecmp(p, "Vendor", 6) == 0) {
        const char *c1 = strchr(p, ',');
        const char *c2 = c1 ? strchr(c1 + 1, ',') : nullptr;
        if (c2)
            p = STR_SkipBlanks(c2 + 1);
    }
    if (*p == ':') {
        const char *eq = strchr(p, '=');
        appendText(out, p, eq ? static_cast<size_t>(eq - p) : strlen(p));
        MPL_AppendByte(out, ':');
        const char *call = eq ? STR_IStrStr(eq, "CALL ") : nullptr;
        if (call) {
            if (st)
                st->flags |= SQLT_PROCCALL;
            appendText(out, eq, static_cast<size_t>(call - eq));
            appendText(out, call + 5, strlen(call + 5));
        }
    } else if (toupper(static_cast<unsigned char>(*p)) == 'C') {
        if (const char *rest = STR_MatchKeyword("CALL", p)) {
            if (st)
                st->flags |= SQLT_PROCCALL;
            appendText(out, rest, strlen(rest));
        }
    }
    MPL_FreeAll(&nested);
    MPL_FreeAll(clause);
}

// The scanner of translateEscapes over n bytes; st only at the top level.
int translateRange(MemPool *out, const char *text, size_t n, SqlText *st, Xlate *x)
{
    const char *p = text;
    const char *end = text + n;
    int depth = 0;
    int kind = ESC_NONE;
    int stack[kMaxNesting];
    char quote = 0;
    bool backslashEscapes = false;
    MemPool clause;
    MPL_Init(&clause);

    auto open = [&](int newKind, size_t len) -> bool {
        if (depth >= kMaxNesting)
            return false;
        stack[depth++] = kind;
        kind = newKind;
        if (depth > 1)
            appendText(&clause, p, len);
        p += len;
        return true;
    };
    auto close = [&](size_t len) {
        int closing = kind;
        kind = stack[--depth];
        if (depth == 0)
            translateClause(out, &clause, closing == ESC_COMMENT, st, x);
        else
            appendText(&clause, p, len);
        p += len;
    };

    while (p < end) {
        MemPool *dst = depth ? &clause : out;
        char c = *p;
        if (quote) {
            MPL_AppendByte(dst, c);
            if (backslashEscapes && c == '\\' && p + 1 < end) {
                MPL_AppendByte(dst, p[1]);
                p += 2;
                continue;
            }
            if (c == quote) {
                if (p + 1 < end && p[1] == quote) {
                    MPL_AppendByte(dst, p[1]);
                    p += 2;
                    continue;
                }
                quote = 0;
            }
            ++p;
            continue;
        }
        if (startsWith(p, end, "--*(")) {
            if (!open(ESC_COMMENT, 4))
                break;
            continue;
        }
        if (kind == ESC_COMMENT && startsWith(p, end, "--*)")) {
            close(4);
            continue;
        }
        if (startsWith(p, end, "--*")) {
            appendText(dst, p, 3);
            p += 3;
            continue;
        }
        if (depth == 0) {
            if (size_t skip = opaqueRegion(text, p, end)) {
                appendText(out, p, skip);
                p += skip;
                continue;
            }
        }
        if (c == '\'' || c == '"') {
            quote = c;
            backslashEscapes = isEscapeString(text, p);
            MPL_AppendByte(dst, c);
            ++p;
            continue;
        }
        if (c == '{') {
            if (!open(ESC_BRACE, 1))
                break;
            continue;
        }
        if (c == '}' && kind == ESC_BRACE) {
            close(1);
            continue;
        }
        if (depth) {
            MPL_AppendByte(&clause, c);
            ++p;
            continue;
        }
        if (c == ';') {
            const char *q = STR_SkipBlanks(p + 1);
            if (q >= end || !*q)
                break;
            MPL_AppendByte(out, ';');
            MPL_AppendByte(out, '\n');
            p = q;
            continue;
        }
        if (c == '?') {
            appendMarker(out, ++x->counter);
            if (st)
                st->flags |= SQLT_MARKERS;
        } else if (static_cast<unsigned char>(c) >= 32) {
            MPL_AppendByte(out, c);
        } else if (c == '\n' || c == '\r') {
            MPL_AppendByte(out, '\n');
        } else {
            MPL_AppendByte(out, ' ');
        }
        ++p;
    }
    bool open_ = depth != 0;
    MPL_FreeAll(&clause);
    return open_ ? ERR_SYNTAX_OR_ACCESS : 0;
}

bool wordAt(const char *p, const char *keyword)
{
    size_t n = strlen(keyword);
    return strncasecmp(p, keyword, n) == 0 && !isIdent(p[n]);
}

uint16_t verbOf(const char *kept)
{
    const char *p = kept;
    while (*p == '(' || isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (wordAt(p, "SELECT"))
        return SQLV_SELECT;
    p = STR_SkipBlanks(kept);
    if (wordAt(p, "INSERT") || wordAt(p, "DELETE") || wordAt(p, "UPDATE"))
        return SQLV_DML;
    return SQLV_OTHER;
}

// The end of a null-function escape whose '{' is at p ("{fn null}",
// "{fn null()}", "{fn (null)}", "{fn ()}", any white space), else NULL.
char *nullFunctionEnd(char *p)
{
    char *q = STR_SkipBlanks(p + 1);
    if (toupper(static_cast<unsigned char>(q[0])) != 'F' || toupper(static_cast<unsigned char>(q[1])) != 'N')
        return nullptr;
    q = STR_SkipBlanks(q + 2);
    if (strncmp(q, "(null)", 6) == 0)
        q += 6;
    else if (strncmp(q, "()", 2) == 0)
        q += 2;
    else if (strncmp(q, "null", 4) == 0)
        q += 4;
    else
        return nullptr;
    while (*q && (isspace(static_cast<unsigned char>(*q)) || *q == ')' || *q == '('))
        ++q;
    return *q == '}' ? q : nullptr;
}

// Overwrites null-function escapes outside quoted strings with "null" and
// blanks; the text keeps its length.
void blankNullFunctions(char *text)
{
    char quote = 0;
    for (char *p = text; *p; ++p) {
        if (quote) {
            if (*p == quote)
                quote = 0;
            continue;
        }
        if (*p == '\'' || *p == '"') {
            quote = *p;
            continue;
        }
        if (*p != '{')
            continue;
        if (char *close = nullFunctionEnd(p)) {
            memcpy(p, "null", 4);
            memset(p + 4, ' ', static_cast<size_t>(close - p - 3));
            p = close;
        }
    }
}
} // namespace

int translateEscapes(MemPool *out, const char *text, SqlText *st)
{
    if (st) {
        st->markerCount = 0;
        st->flags = 0;
        st->cleared = 0;
        st->verb = SQLV_NONE;
    }
    Xlate x;
    int rc = translateRange(out, text ? text : "", text ? strlen(text) : 0, st, &x);
    if (st)
        st->markerCount = static_cast<uint16_t>(x.counter);
    return rc;
}

void freeSQLText(SqlText *st)
{
    if (!st)
        return;
    free(st->kept);
    free(st->translated);
    *st = SqlText{};
}

int prepareSQLText(SqlText *st, const char *sql)
{
    freeSQLText(st);
    const char *start = STR_SkipBlanks(sql ? sql : "");
    st->kept = strdup(start);
    MemPool pool;
    MPL_Init(&pool);
    int rc = translateEscapes(&pool, st->kept ? st->kept : "", st);
    st->translated = strdup(MPL_Finish(&pool));
    MPL_FreeAll(&pool);
    if (!st->kept || !st->translated)
        return ERR_MEMORY_ALLOCATION;
    if (rc != 0)
        return rc;
    st->verb = verbOf(st->kept);
    blankNullFunctions(st->kept);
    return 0;
}

int DRV_NativeSql(int conn, const char *sql, char *buf, int32_t len, int32_t *outLen)
{
    if (outLen)
        *outLen = 0;
    DrvCall<DrvConn> op(conn);
    if (int rc = op.enter())
        return rc;
    DrvConn *c = op.get();
    char *native = nullptr;
    int rc = jc_Connection_nativeSQL(c, c->connection, sql ? sql : "", &native);
    if (rc != 0)
        return rc;
    rc = TXT_Put(native, TXT_Out('A', TC_BYTES, buf, len, outLen));
    free(native);
    return rc;
}

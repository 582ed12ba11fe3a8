// Connection strings, odbc.ini and File DSN values, the login dialog and the
// output connection string.
#include "drv_jdbc/j-connstr.h"

#include <sqlext.h>

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "drv_jdbc/j-logon.h"
#include "drv_jdbc/j-options.h"
#include "odbc/contract/drv_config.h"
#include "odbc/contract/errnum.h"
#include "platform/odbcinst.h"
#include "util/strutil.h"

DsnKeyword dsnKeywords[KW_COUNT] = {
    {"DSN", nullptr, 1, 0, 0, nullptr},
    {"UID", "UID", 1, 129, 0, nullptr},
    {"PWD", "PWD", 0, 129, 0, nullptr},
    {"JDBC", "JdbcDriver", 1, 256, 0, nullptr},
    {"URL", "URLString", 1, 513, 0, nullptr},
    {"READONLY", "ReadOnly", 1, 5, 0, nullptr},
    {"FBS", "FetchBufferSize", 1, 5, 0, nullptr},
    {"NLB", "NoLoginBox", 1, 5, 0, nullptr},
    {"MAXROWS", "MaxRows", 1, 5, 0, nullptr},
    {"NOAC", "NoAutoCommit", 1, 6, 0, nullptr},
    {"NRSSL", "NoRowsetSizeLimit", 1, 6, 0, nullptr},
    {"FDSN", "File DSN", 0, 5, 0, nullptr},
    {"INITSQL", "InitialSQL", 1, 81, 0, nullptr},
    {"DYN_CURS_SENSITIVITY", "DynCursSensitivity", 1, 10, 0, nullptr},
    {"DLF", "DeferLongFetch", 1, 6, 0, nullptr},
    {"J_DCAT", "JetDropCatalogFromDbMetaCalls", 1, 5, 0, nullptr},
    {"J_DSCH", "JetDropSchemaFromDbMetaCalls", 1, 5, 0, nullptr},
    {"J_SSTOFF", "JetSQLStatisticsOff", 1, 5, 0, nullptr},
    {"J_NSQI", "JetNoSupportOfQuotedIdentifier", 1, 5, 0, nullptr},
    {"PNSOSC", "patchNullSizeOfSqlChar", 1, 12, 0, nullptr},
    {"NSSSE", "NoSupportOfSearchStringEscape", 1, 5, 0, nullptr},
    {"DRIVER", nullptr, 1, 81, 0, nullptr},
    {"FILEDSN", nullptr, 1, 256, 0, nullptr},
    {"LOGJCALLS", "LogJavaCalls", 1, 5, 0, nullptr},
    {"SQLDBMSNAME", "SqlDbmsName", 1, 41, 0, nullptr},
    {"MASE", "MultipleActiveStmtsEmul", 1, 5, 0, nullptr},
    {"IV", "IncludeViews", 1, 5, 0, nullptr},
    {"IA", "IncludeAll", 1, 5, 0, nullptr},
    {"NEGPRECFIX", "NegPrecFix", 1, 5, 0, nullptr},
    {"JET", "JET", 1, 6, 0, nullptr},
};

int32_t drvOptionDLF;

namespace {

constexpr int kIniBuf = 255;  // characters of one odbc.ini or File DSN read
constexpr int kDialogFailed = 142;  // IM008 "Dialog failed"

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameKey(const char *a, const char *b)
{
    while (*a && AsciiUpper(*a) == AsciiUpper(*b)) {
        ++a;
        ++b;
    }
    return *a == '\0' && *b == '\0';
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// Cuts blanks on both sides in place.
char *Trim(char *s)
{
    while (IsBlank(*s))
        ++s;
    size_t n = strlen(s);
    while (n && IsBlank(s[n - 1]))
        s[--n] = '\0';
    return s;
}

bool HasValue(int key) { return dsnKeywords[key].value && dsnKeywords[key].value[0]; }

// Decimal number as the C runtime's atol reads it (leading blanks, a sign,
// digits up to the first other character), without the locale.
int64_t ParseLong(const char *s)
{
    if (!s)
        return 0;
    while (IsBlank(*s))
        ++s;
    bool neg = *s == '-';
    if (*s == '+' || *s == '-')
        ++s;
    if (*s < '0' || *s > '9')
        return 0;
    int64_t v = 0;
    auto r = std::from_chars(s, s + strlen(s), v);
    if (r.ec == std::errc::result_out_of_range)
        v = INT64_MAX;
    return neg ? -v : v;
}

// Heap text of a printf format; NULL when memory is short.
char *FormatHeap(const char *format, ...) __attribute__((format(printf, 1, 2)));
char *FormatHeap(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    va_list again;
    va_copy(again, ap);
    int n = vsnprintf(nullptr, 0, format, ap);
    va_end(ap);
    char *out = n >= 0 ? static_cast<char *>(malloc(static_cast<size_t>(n) + 1)) : nullptr;
    if (out)
        vsnprintf(out, static_cast<size_t>(n) + 1, format, again);
    va_end(again);
    return out;
}

// Copies at most room - 1 bytes of a read value into out.
void CutInto(const char *buf, char *out, int room)
{
    size_t n = strnlen(buf, static_cast<size_t>(room - 1));
    memcpy(out, buf, n);
    out[n] = '\0';
}

// Reads one odbc.ini value (section, name) into out, at most room - 1 bytes.
// Both builds read through the narrow installer functions: unixODBC's wide
// ones widen byte by byte and would corrupt every non-ASCII character, while
// the narrow ones carry the files' UTF-8 unchanged, which is the Unicode
// build's own text.
void IniRead(const char *section, const char *name, char *out, int room)
{
    char buf[kIniBuf + 1] = {};
    inst::SQLGetPrivateProfileString(section, name, "", buf, kIniBuf, "odbc.ini");
    buf[kIniBuf - 1] = '\0';
    CutInto(buf, out, room);
}

// Reads one key of a File DSN's "ODBC" section into out, at most room - 1 bytes.
void FileDsnRead(const char *path, const char *key, char *out, int room)
{
    char buf[kIniBuf + 1] = {};
    uint16_t len = 0;
    if (!inst::SQLReadFileDSN(path, "ODBC", key, buf, kIniBuf, &len))
        buf[0] = '\0';
    buf[kIniBuf - 1] = '\0';
    CutInto(buf, out, room);
}

// Stores a heap copy of n bytes of text as the keyword's value.
void StoreValue(int key, const char *text, size_t n)
{
    DsnKeyword &kw = dsnKeywords[key];
    char *copy = static_cast<char *>(malloc(n + 1));
    if (copy) {
        memcpy(copy, text, n);
        copy[n] = '\0';
    }
    free(kw.value);
    kw.value = copy;
    kw.supplied = 1;
}

// The value without one pair of enclosing braces (blanks around them allowed);
// DRIVER and URL keep theirs, their users take them off.
void StoreParsedValue(int key, const char *value)
{
    if (key != KW_DRIVER && key != KW_URL) {
        const char *b = value;
        while (IsBlank(*b))
            ++b;
        size_t n = strlen(b);
        while (n && IsBlank(b[n - 1]))
            --n;
        if (n >= 2 && b[0] == '{' && b[n - 1] == '}') {
            StoreValue(key, b + 1, n - 2);
            return;
        }
    }
    StoreValue(key, value, strlen(value));
}

int FindKey(const char *key)
{
    for (int k = 0; k < KW_COUNT; ++k)
        if (SameKey(key, dsnKeywords[k].key))
            return k;
    return -1;
}

// Calls fn(pairStart, pairEnd) for every pair of a connection string: pairs
// end at a ';' outside braces (a '}' without its '{' is taken as text).
template <class Fn>
void ForEachPair(const char *text, Fn fn)
{
    int depth = 0;
    const char *start = text;
    for (const char *p = text;; ++p) {
        char c = *p;
        if (c == '{')
            ++depth;
        else if (c == '}' && depth > 0)
            --depth;
        if (c == '\0' || (c == ';' && depth == 0)) {
            fn(start, p);
            if (c == '\0')
                break;
            start = p + 1;
        }
    }
}

// A value fit to stand in an output connection string: braced when it holds
// a ';' (and is not braced already).  Frees what it made when it goes.
class OutValues {
public:
    OutValues() = default;
    OutValues(const OutValues &) = delete;
    OutValues &operator=(const OutValues &) = delete;
    ~OutValues()
    {
        for (int i = 0; i < count_; ++i)
            free(owned_[i]);
    }
    const char *operator()(const char *v)
    {
        if (!v)
            return "";
        if (!strchr(v, ';') || v[0] == '{')
            return v;
        char *b = FormatHeap("{%s}", v);
        if (!b || count_ == kMax) {
            free(b);
            failed_ = true;
            return "";
        }
        owned_[count_++] = b;
        return b;
    }
    bool Failed() const { return failed_; }

private:
    static constexpr int kMax = 16;
    char *owned_[kMax] = {};
    int count_ = 0;
    bool failed_ = false;
};

const char *TrueFalse(int32_t b) { return b ? "TRUE" : "FALSE"; }

// The verbose trace's copy of the connection string as given ("<null>" for
// SQLConnect), masked; set by Configure, dropped by End.
char *g_traceGiven;

// Reads UID again when the login box is off and no user was given: from the
// DSN's section, the File DSN, or section "Default" (no "LastUser" fallback).
void RereadUser()
{
    char buf[129];
    if (HasValue(KW_DSN))
        IniRead(dsnKeywords[KW_DSN].value, "UID", buf, sizeof buf);
    else if (HasValue(KW_FILEDSN))
        FileDsnRead(dsnKeywords[KW_FILEDSN].value, "UID", buf, sizeof buf);
    else
        IniRead("Default", "UID", buf, sizeof buf);
    StoreValue(KW_UID, buf, strlen(buf));
}

// Fills the process-wide back-end options block from the table.
void FillDrvOptions()
{
    drvOptions.jet = ConnStrIsTrue(ConnAttr(KW_JET));
    drvOptions.noAutoCommit = ConnStrIsTrue(ConnAttr(KW_NOAC));
    drvOptions.noRowsetSizeLimit = ConnStrIsTrue(ConnAttr(KW_NRSSL));
    drvOptions.jDropCatalog = ConnStrIsTrue(ConnAttr(KW_J_DCAT));
    drvOptions.jDropSchema = ConnStrIsTrue(ConnAttr(KW_J_DSCH));
    drvOptions.jSqlStatisticsOff = ConnStrIsTrue(ConnAttr(KW_J_SSTOFF));
    drvOptions.jNoQuotedIdent = ConnStrIsTrue(ConnAttr(KW_J_NSQI));
    drvOptions.noSearchEscape = ConnStrIsTrue(ConnAttr(KW_NSSSE));
    drvOptions.negPrecFix = ConnStrIsTrue(ConnAttr(KW_NEGPRECFIX));
    drvOptions.maxRows = static_cast<int32_t>(ParseLong(ConnAttr(KW_MAXROWS)));
    drvOptions.patchNullSizeOfSqlChar = static_cast<uint32_t>(ParseLong(ConnAttr(KW_PNSOSC)));
    drvOptions.cursorSensitivity = ParseCursorSensitivity(dsnKeywords[KW_DYN_CURS_SENSITIVITY].value);
    // A text that this connect does not name must not run on (or rename) its
    // connection: the block only ever holds what the current connect gave.
    free(drvOptions.initialSql);
    drvOptions.initialSql = HasValue(KW_INITSQL) ? strdup(ConnAttr(KW_INITSQL)) : nullptr;
    free(drvOptions.sqlDbmsName);
    drvOptions.sqlDbmsName = HasValue(KW_SQLDBMSNAME) ? strdup(ConnAttr(KW_SQLDBMSNAME)) : nullptr;
    drvOptionDLF = ConnStrIsTrue(ConnAttr(KW_DLF));
}

// The settings of the connection from the table.
void FillSettings(DrvConnSettings *out)
{
    out->uid = dsnKeywords[KW_UID].value;
    out->pwd = dsnKeywords[KW_PWD].value;
    out->jdbcClass = dsnKeywords[KW_JDBC].value;
    out->dsProps = dsnKeywords[KW_URL].value;
    out->readOnly = ConnStrIsTrue(ConnAttr(KW_READONLY));
    out->mase = ConnStrIsTrue(ConnAttr(KW_MASE));
    out->includeViews = ConnStrIsTrue(ConnAttr(KW_IV));
    out->includeAll = ConnStrIsTrue(ConnAttr(KW_IA));
    if (HasValue(KW_DSN))
        out->dsn = dsnKeywords[KW_DSN].value;
    else
        out->dsn = HasValue(KW_FILEDSN) ? nullptr : "Default";
    uint32_t fbs = static_cast<uint32_t>(static_cast<int32_t>(ParseLong(ConnAttr(KW_FBS))));
    out->fetchSize = fbs ? fbs : 60;
}

// Frees on every path what one Configure holds.
struct ConfigureScratch {
    char *work = nullptr;      // working copy of the connection string
    char *asGiven = nullptr;   // the string as the application gave it
    char *desc = nullptr;      // driver description for the dialog
    ~ConfigureScratch()
    {
        free(work);
        free(asGiven);
        free(desc);
    }
};

// DrvConfigOps: see odbc/contract/drv_config.h.
int Configure(const DrvConfigRequest *a, DrvConnSettings *out)
{
    *out = DrvConnSettings{};
    ConfigureScratch s;
    free(g_traceGiven);
    g_traceGiven = nullptr;
    if (!a->direct) {
        bool given = a->in && a->inLen != 0 && !(a->inLen == SQL_NTS && !a->in[0]);
        STR_CopyN(&s.work, given ? a->in : "", given ? a->inLen : SQL_NTS);
        s.asGiven = s.work ? strdup(s.work) : nullptr;
        if (!s.work || !s.asGiven)
            return ERR_MEMORY_ALLOCATION;
        if (a->trace) {
            char *shown = ConnStrMasked(s.work);
            a->trace("ConnStr In =%s", shown ? shown : "");
            free(shown);
            g_traceGiven = ConnStrMasked(s.asGiven);
        }
        ReadConnAttributes(s.work, a->width);
    } else {
        ClearConnAttributes();
        SetConnAttribute(KW_DSN, a->dsn ? a->dsn : "");
        // A user or password that SQLConnect leaves out comes from the data source.
        if (a->uid && a->uid[0])
            SetConnAttribute(KW_UID, a->uid);
        if (a->pwd && a->pwd[0])
            SetConnAttribute(KW_PWD, a->pwd);
        CompleteConnAttributes(a->width);
    }

    s.desc = dsnKeywords[KW_DRIVER].supplied ? DriverDescription(ConnAttr(KW_DRIVER)) : GetDSNDriverName();
    bool prompt = false;
    switch (a->completion) {
    case SQL_DRIVER_COMPLETE:
    case SQL_DRIVER_COMPLETE_REQUIRED: {
        const char *uid = ConnAttr(KW_UID), *pwd = ConnAttr(KW_PWD);
        prompt = !uid[0] || uid[0] == ' ' || !pwd[0] || pwd[0] == ' ';
        break;
    }
    case SQL_DRIVER_PROMPT:
        prompt = true;
        break;
    default:
        break;
    }
    if (a->noLoginBox || ConnStrIsTrue(ConnAttr(KW_NLB))) {
        prompt = false;
        if (!dsnKeywords[KW_UID].supplied || !HasValue(KW_UID))
            RereadUser();
    }
    // Without a window no dialog can be shown: the completing modes go on
    // with what the keywords give (the server accepts or refuses), a prompt
    // that must be shown fails with IM008.
    if (prompt && !a->window) {
        if (a->completion == SQL_DRIVER_PROMPT)
            return kDialogFailed;
        prompt = false;
    }
    if (prompt) {
        char *answer = nullptr;
        if (!LogonPrompt(a->window, s.desc, s.asGiven ? s.asGiven : "", &answer, a->width))
            return DRV_CONFIG_NOT_CONFIRMED;
        ReadConnAttributes(answer, a->width);
        free(answer);
    }

    FillDrvOptions();
    FillSettings(out);
    out->outText = BuildOutConnStr(out, nullptr);
    out->outShown = BuildOutConnStr(out, "***");
    if (!out->outText || !out->outShown) {
        free(out->outText);
        free(out->outShown);
        out->outText = out->outShown = nullptr;
        return ERR_MEMORY_ALLOCATION;
    }
    return 0;
}

void TraceKeywords(DrvTraceFn trace)
{
    if (!trace)
        return;
    trace("connStr=[%s]", g_traceGiven ? g_traceGiven : "<null>");
    for (const DsnKeyword &kw : dsnKeywords)
        if (kw.traced)
            trace("  key=[%s] data=[%s] supplied=%d", kw.key, kw.value ? kw.value : "<null>",
                  kw.supplied);
}

void EndConfigure()
{
    free(g_traceGiven);
    g_traceGiven = nullptr;
    ClearConnAttributes();
}

const DrvConfigOps kConfigOps = {Configure, TraceKeywords, EndConfigure};

} // namespace

void ClearConnAttributes()
{
    for (DsnKeyword &kw : dsnKeywords) {
        free(kw.value);
        kw.value = nullptr;
        kw.supplied = 0;
    }
}

void SetConnAttribute(int key, const char *value)
{
    if (key >= 0 && key < KW_COUNT && value)
        StoreValue(key, value, strlen(value));
}

void ParseConnAttributes(char *text)
{
    if (!text)
        return;
    ForEachPair(text, [](const char *start, const char *end) {
        char *pair = const_cast<char *>(start);
        char *eq = static_cast<char *>(memchr(pair, '=', static_cast<size_t>(end - start)));
        if (!eq)
            return;
        *const_cast<char *>(end) = '\0';  // only after the scan has passed it
        *eq = '\0';
        int key = FindKey(Trim(pair));
        if (key >= 0)
            StoreParsedValue(key, eq + 1);
    });
}

void CompleteConnAttributes(int width)
{
    enum { FROM_DSN, FROM_FILE, FROM_DEFAULT } source =
        HasValue(KW_DSN) ? FROM_DSN : HasValue(KW_FILEDSN) ? FROM_FILE : FROM_DEFAULT;
    for (DsnKeyword &kw : dsnKeywords) {
        if (kw.supplied || !kw.iniName)
            continue;
        char *buf = static_cast<char *>(calloc(1, static_cast<size_t>(kw.room) + 1));
        if (!buf)
            return;  // memory short: the rest stay without value
        switch (source) {
        case FROM_DSN:
            IniRead(dsnKeywords[KW_DSN].value, kw.iniName, buf, kw.room);
            if (!buf[0] && strcmp(kw.iniName, "UID") == 0)
                IniRead(dsnKeywords[KW_DSN].value, "LastUser", buf, kw.room);
            break;
        case FROM_FILE:
            FileDsnRead(dsnKeywords[KW_FILEDSN].value, kw.key, buf, kw.room);
            break;
        case FROM_DEFAULT:
            IniRead("Default", kw.iniName, buf, kw.room);
            break;
        }
        free(kw.value);
        kw.value = buf;
    }
}

void ReadConnAttributes(char *text, int width)
{
    ClearConnAttributes();
    if (!text)
        return;
    ParseConnAttributes(text);
    CompleteConnAttributes(width);
}

bool ConnStrIsTrue(const char *value)
{
    return value && (SameKey(value, "TRUE") || SameKey(value, "YES") || strcmp(value, "1") == 0);
}

const char *ConnAttr(int key) { return dsnKeywords[key].value ? dsnKeywords[key].value : ""; }

int ParseCursorSensitivity(const char *text)
{
    if (!text)
        return 0;
    char c = AsciiUpper(text[0]);
    return c == 'D' ? 2 : c == 'H' ? 1 : 0;
}

const char *CursorSensitivityName(int sensitivity)
{
    static const char *const kNames[] = {"LOW", "HIGH", "DISABLED"};
    return sensitivity >= 0 && sensitivity <= 2 ? kNames[sensitivity] : kNames[0];
}

char *GetDSNDriverName()
{
    char *out = static_cast<char *>(calloc(1, kIniBuf));
    if (out && HasValue(KW_DSN))
        inst::SQLGetPrivateProfileString("ODBC Data Sources", dsnKeywords[KW_DSN].value, "", out,
                                         kIniBuf, "odbc.ini");
    if (out)
        out[kIniBuf - 1] = '\0';
    return out;
}

char *DriverDescription(const char *driver)
{
    const char *start = driver ? strchr(driver, '{') : nullptr;
    start = start ? start + 1 : (driver ? driver : "");
    const char *end = strchr(start, '}');
    size_t n = end ? static_cast<size_t>(end - start) : strlen(start);
    char *out = static_cast<char *>(malloc(n + 1));
    if (out) {
        memcpy(out, start, n);
        out[n] = '\0';
    }
    return out;
}

char *ConnStrMasked(const char *text)
{
    if (!text)
        return nullptr;
    size_t len = strlen(text);
    char *out = static_cast<char *>(malloc(len * 4 + 8));
    if (!out)
        return nullptr;
    size_t o = 0;
    bool first = true;
    ForEachPair(text, [&](const char *start, const char *end) {
        if (!first)
            out[o++] = ';';
        first = false;
        const char *eq = static_cast<const char *>(memchr(start, '=', static_cast<size_t>(end - start)));
        const char *keyEnd = eq ? eq : end;
        char key[32] = {};
        const char *k = start;
        while (k < keyEnd && IsBlank(*k))
            ++k;
        const char *ke = keyEnd;
        while (ke > k && IsBlank(ke[-1]))
            --ke;
        size_t kn = static_cast<size_t>(ke - k);
        bool secret = false;
        if (eq && kn < sizeof key) {
            memcpy(key, k, kn);
            secret = SameKey(key, "PWD") || SameKey(key, "PASSWORD");
        }
        size_t n = secret ? static_cast<size_t>(eq + 1 - start) : static_cast<size_t>(end - start);
        memcpy(out + o, start, n);
        o += n;
        if (secret) {
            memcpy(out + o, "***", 3);
            o += 3;
        }
    });
    out[o] = '\0';
    return out;
}

char *BuildOutConnStr(const DrvConnSettings *conn, const char *pwdShown)
{
    OutValues v;
    const char *pwd = pwdShown ? pwdShown : conn->pwd;
    char *out;
    if (dsnKeywords[KW_DRIVER].supplied) {
        out = FormatHeap(
            "DRIVER=%s;UID=%s;PWD=%s;JDBC=%s;URL=%s;FBS=%u;READONLY=%s;NLB=%s;MAXROWS=%d;NOAC=%s;"
            "DYN_CURS_SENSITIVITY=%s;DLF=%s;NRSSL=%s;J_DCAT=%s;J_DSCH=%s;J_SSTOFF=%s;J_NSQI=%s;"
            "PNSOSC=%u;NSSSE=%s;SQLDBMSNAME=%s;MASE=%s;IV=%s;IA=%s;NEGPRECFIX=%s;Server=Kestrune",
            ConnAttr(KW_DRIVER), v(conn->uid), v(pwd), v(conn->jdbcClass), v(conn->dsProps),
            conn->fetchSize, v(dsnKeywords[KW_READONLY].value), v(dsnKeywords[KW_NLB].value),
            drvOptions.maxRows, TrueFalse(drvOptions.noAutoCommit),
            CursorSensitivityName(drvOptions.cursorSensitivity), TrueFalse(drvOptionDLF),
            TrueFalse(drvOptions.noRowsetSizeLimit), TrueFalse(drvOptions.jDropCatalog),
            TrueFalse(drvOptions.jDropSchema), TrueFalse(drvOptions.jSqlStatisticsOff),
            TrueFalse(drvOptions.jNoQuotedIdent), drvOptions.patchNullSizeOfSqlChar,
            TrueFalse(drvOptions.noSearchEscape), v(dsnKeywords[KW_SQLDBMSNAME].value),
            v(dsnKeywords[KW_MASE].value), v(dsnKeywords[KW_IV].value), v(dsnKeywords[KW_IA].value),
            TrueFalse(drvOptions.negPrecFix));
    } else {
        out = FormatHeap("DSN=%s;UID=%s;PWD=%s;FBS=%u", v(conn->dsn), v(conn->uid), v(pwd),
                         conn->fetchSize);
    }
    if (v.Failed()) {
        free(out);
        return nullptr;
    }
    return out;
}

const DrvConfigOps *DRV_JdbcConfig() { return &kConfigOps; }

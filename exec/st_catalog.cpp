// Catalog entry points: the text arguments checked and copied into a
// CatalogArgs record, one back-end catalog operation through the statement's
// binding, and the statement left with an open result.
#include "exec/catalog.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "odbc/contract/catalog_args.h"
#include "odbc/handles.h"
#include "odbc/info.h"
#include "odbc/stmt.h"
#include "odbc/stmt_bind.h"
#include "odbc/trace.h"
#include "util/strutil.h"

namespace {

using CatalogOp = int (*DrvOpTable::*)(int, CatalogArgs *);

// The trace line of a function, written with the copies.
enum TraceKind : uint8_t { TRACE_NONE, TRACE_3, TRACE_4, TRACE_STATISTICS, TRACE_TABLES };

// One catalog function: its slot, how many texts it takes, and per text
// (bit i for text i) which lengths are tested, which texts are required and
// which become "%" when NULL; which texts are names (identifiers under
// SQL_ATTR_METADATA_ID) and which of those name catalogs.
struct CatalogFn {
    CatalogOp op;
    int texts;
    uint8_t lengthsTested;
    uint8_t required;
    uint8_t percentIfNull;
    TraceKind trace;
    uint8_t names;
    uint8_t catalogs;
};

constexpr uint8_t B(int i) { return static_cast<uint8_t>(1u << i); }

constexpr uint8_t kFirst3 = 0x07, kFirst4 = 0x0F, kFirst6 = 0x3F;

constexpr CatalogFn kColumnPrivileges = {&DrvOpTable::DDColumnPrivileges, 4, 0x0F, B(2), B(3), TRACE_4,
                                         kFirst4, B(0)};
constexpr CatalogFn kColumns = {&DrvOpTable::DDColumns, 4, 0x0F, 0, B(1) | B(2) | B(3), TRACE_4, kFirst4, B(0)};
constexpr CatalogFn kForeignKeys = {&DrvOpTable::DDForeignKeys, 6, 0x3F, 0, 0, TRACE_NONE, kFirst6, B(0) | B(3)};
constexpr CatalogFn kPrimaryKeys = {&DrvOpTable::DDPrimaryKeys, 3, 0x07, B(2), 0, TRACE_3, kFirst3, B(0)};
constexpr CatalogFn kProcedureColumns = {&DrvOpTable::DDProcedureColumns, 4, 0x0F, 0, B(1) | B(2) | B(3),
                                         TRACE_NONE, kFirst4, B(0)};
constexpr CatalogFn kProcedures = {&DrvOpTable::DDProcedures, 3, 0x07, 0, B(1) | B(2), TRACE_NONE, kFirst3, B(0)};
constexpr CatalogFn kSpecialColumns = {&DrvOpTable::DDSpecialColumns, 3, 0x07, B(2), 0, TRACE_3, kFirst3, B(0)};
constexpr CatalogFn kStatistics = {&DrvOpTable::DDStatistics, 3, 0x07, B(2), 0, TRACE_STATISTICS, kFirst3, B(0)};
constexpr CatalogFn kTablePrivileges = {&DrvOpTable::DDTablePrivileges, 3, 0x07, 0, B(1) | B(2), TRACE_3, kFirst3,
                                        B(0)};
constexpr CatalogFn kTables = {&DrvOpTable::DDTables, 4, 0x00, 0, B(1) | B(2), TRACE_TABLES, kFirst3, B(0)};

// The caller's texts and lengths, in the order of the CatalogArgs record.
struct TextIn {
    SQLCHAR *text;
    SQLSMALLINT length;
};

// The copies handed to the back end, freed when the call is over.
struct CatalogCopies {
    CatalogArgs args{};
    ~CatalogCopies()
    {
        for (char *t : args.text)
            free(t);
    }
};

const char *shown(const char *t) { return t ? t : ""; }

void traceArgs(TraceKind kind, const CatalogArgs &a)
{
    const char *const *t = a.text;
    switch (kind) {
    case TRACE_3:
        TR_Printf("Qualifier='%s' Owner='%s' Name='%s'\n", shown(t[0]), shown(t[1]), shown(t[2]));
        break;
    case TRACE_4:
        TR_Printf("Qualifier='%s' Owner='%s' Name='%s' Column='%s'\n", shown(t[0]), shown(t[1]), shown(t[2]),
                  shown(t[3]));
        break;
    case TRACE_STATISTICS:
        TR_Printf("Qualifier='%s' Owner='%s' Name='%s' Unique=%u Accuracy=%u\n", shown(t[0]), shown(t[1]),
                  shown(t[2]), static_cast<unsigned>(static_cast<uint16_t>(a.flags[0])),
                  static_cast<unsigned>(static_cast<uint16_t>(a.flags[1])));
        break;
    case TRACE_TABLES:
        TR_Printf("Qualifier='%s' Owner='%s' Name='%s' Type='%s'\n", shown(t[0]), shown(t[1]), shown(t[2]),
                  shown(t[3]));
        break;
    case TRACE_NONE:
        break;
    }
}

bool badLength(SQLSMALLINT n) { return n < 0 && n != SQL_NTS; }

// The type list as the back end gets it: quoted items, with 'VIEW' added on
// an IncludeViews connection that asks for 'TABLE', or empty (every type) on
// an IncludeAll connection.
void normaliseTypeList(const Conn *c, char **list)
{
    char *quoted = TypeListQuote(*list);
    free(*list);
    *list = quoted;
    if (quoted && (c->flags & CN_INCLUDE_VIEWS) && TypeListFindItem(quoted, "'TABLE'") &&
        !TypeListFindItem(quoted, "'VIEW'")) {
        const size_t n = strlen(quoted);
        if (char *longer = static_cast<char *>(realloc(quoted, n + sizeof ",'VIEW'"))) {
            memcpy(longer + n, ",'VIEW'", sizeof ",'VIEW'");
            *list = longer;
        }
    }
    if (c->flags & CN_INCLUDE_ALL) {
        free(*list);
        *list = static_cast<char *>(calloc(1, 1));
    }
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A name argument taken as an identifier: blanks around it dropped; quoted,
// it loses its quotes (a doubled quote inside stands for one) and keeps its
// case; unquoted, it is folded to lower case as the server folds names.
// NULL when out of memory.
char *identifierCopy(const char *text, int64_t n)
{
    size_t len = n == SQL_NTS ? strlen(text) : static_cast<size_t>(n);
    while (len > 0 && isBlank(*text)) {
        ++text;
        --len;
    }
    while (len > 0 && isBlank(text[len - 1]))
        --len;
    char *out = static_cast<char *>(malloc(len + 1));
    if (!out)
        return nullptr;
    char *w = out;
    if (len >= 2 && text[0] == '"' && text[len - 1] == '"') {
        for (size_t i = 1; i + 1 < len; ++i) {
            *w++ = text[i];
            if (text[i] == '"' && i + 2 < len && text[i + 1] == '"')
                ++i;
        }
    } else {
        for (size_t i = 0; i < len; ++i)
            *w++ = static_cast<char>(tolower(static_cast<unsigned char>(text[i])));
    }
    *w = '\0';
    return out;
}

// Whether the data source names catalogs (SQL_CATALOG_NAME); taken as yes
// when it cannot say.  The connection keeps its error number.
bool catalogsNamed(Conn *c)
{
    char yn[4] = "";
    SQLSMALLINT len = 0;
    const int32_t kept = c->diag.errNum;
    const SQLRETURN rc = CN_GetInfo(c, SQL_CATALOG_NAME, yn, sizeof yn, &len, 'A');
    c->diag.errNum = kept;
    return rc != SQL_SUCCESS || yn[0] != 'N';
}

// Posts the back end's number on S: 0 leaves S with an open result before
// its first row; anything else is SQL_ERROR with the back end's messages queued.
SQLRETURN openResult(Stmt *s, int number)
{
    s->diag.errNum = number;
    if (number != 0) {
        StmtFetchErrors(s);
        return SQL_ERROR;
    }
    s->currentRow = 0;
    s->state = STMT_EXECUTED;
    s->flags |= ST_CURSOR_OPEN | ST_DIRECT;
    return SQL_SUCCESS;
}

// The common course of every catalog function.  S1009 for a bad length, a
// missing required text, or, under SQL_ATTR_METADATA_ID, a missing name
// (a catalog only where the data source names catalogs).
SQLRETURN runCatalog(Stmt *s, const CatalogFn &fn, const TextIn *in, int16_t f0 = 0, int16_t f1 = 0,
                     int16_t f2 = 0)
{
    StmtClose(s);
    StmtFreeColDescs(s);
    const bool identifiers = s->metadataId == SQL_TRUE;
    uint8_t required = fn.required;
    if (identifiers) {
        required |= fn.names & static_cast<uint8_t>(~fn.catalogs);
        bool catalogMissing = false;
        for (int i = 0; i < fn.texts; ++i)
            catalogMissing |= (fn.catalogs & B(i)) && !in[i].text;
        if (catalogMissing && catalogsNamed(s->conn))
            required |= fn.catalogs;
    }
    for (int i = 0; i < fn.texts; ++i) {
        if (((fn.lengthsTested & B(i)) && badLength(in[i].length)) || ((required & B(i)) && !in[i].text)) {
            s->diag.errNum = ERR_INVALID_ARGUMENT;
            return SQL_ERROR;
        }
    }
    CatalogCopies copies;
    CatalogArgs &a = copies.args;
    const bool tables = fn.op == kTables.op;
    for (int i = 0; i < fn.texts; ++i) {
        const char *text = reinterpret_cast<const char *>(in[i].text);
        const int64_t n = badLength(in[i].length) ? SQL_NTS : in[i].length;
        if (!text && (fn.percentIfNull & B(i))) {
            STR_CopyN(&a.text[i], "%", SQL_NTS);
        } else if (text && identifiers && (fn.names & B(i))) {
            a.text[i] = identifierCopy(text, n);
            if (!a.text[i]) {
                s->diag.errNum = ERR_MEMORY_ALLOCATION;
                return SQL_ERROR;
            }
        } else if (tables && i == CA_FOURTH) {
            STR_CopyN(&a.text[i], text, n);
        } else {
            STR_CopyUnquoted(&a.text[i], text, n);
        }
    }
    a.flags[0] = f0;
    a.flags[1] = f1;
    a.flags[2] = f2;
    if (identifiers)
        a.options |= CA_IDENTIFIERS;
    if (TR_IsOn())
        traceArgs(fn.trace, a);
    if (tables)
        normaliseTypeList(s->conn, &a.text[CA_FOURTH]);
    const DrvOpTable *ops = s->binding ? s->binding->ops : nullptr;
    return openResult(s, ops && ops->*fn.op ? (ops->*fn.op)(static_cast<int>(s->drvStmt), &a) : ERR_NOT_CAPABLE);
}

} // namespace

char *TypeListQuote(const char *text)
{
    if (!text)
        return nullptr;
    if (*text == '%' || !*text) {
        char *out = static_cast<char *>(malloc(2));
        if (out) {
            out[0] = *text;
            out[1] = '\0';
        }
        return out;
    }
    size_t commas = 0;
    for (const char *p = text; *p; ++p)
        commas += *p == ',';
    char *out = static_cast<char *>(malloc(strlen(text) + 2 * commas + 3 + 1));
    if (!out)
        return nullptr;
    char *w = out;
    const char *p = text;
    for (;;) {
        while (isBlank(*p))
            ++p;
        const char *end = p;
        while (*end && *end != ',')
            ++end;
        const char *last = end;
        while (last > p && isBlank(last[-1]))
            --last;
        *w++ = '\'';
        for (const char *c = p; c < last; ++c)
            if (*c != '\'')
                *w++ = *c;
        *w++ = '\'';
        if (!*end)
            break;
        *w++ = ',';
        p = end + 1;
    }
    *w = '\0';
    return out;
}

int TypeListFindItem(const char *list, const char *item)
{
    if (!list || !item)
        return 0;
    const size_t n = strlen(item);
    int pos = 1;
    for (const char *p = list;; ++pos) {
        while (isBlank(*p))
            ++p;
        if (strncmp(p, item, n) == 0 && (p[n] == ',' || p[n] == '\0'))
            return pos;
        p = strchr(p, ',');
        if (!p)
            return 0;
        ++p;
    }
}

SQLRETURN ST_Tables(Stmt *s, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch, SQLSMALLINT cbSch, SQLCHAR *tab,
                    SQLSMALLINT cbTab, SQLCHAR *type, SQLSMALLINT cbType)
{
    const TextIn in[] = {{cat, cbCat}, {sch, cbSch}, {tab, cbTab}, {type, cbType}};
    return runCatalog(s, kTables, in);
}

SQLRETURN ST_Columns(Stmt *s, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch, SQLSMALLINT cbSch, SQLCHAR *tab,
                     SQLSMALLINT cbTab, SQLCHAR *col, SQLSMALLINT cbCol)
{
    const TextIn in[] = {{cat, cbCat}, {sch, cbSch}, {tab, cbTab}, {col, cbCol}};
    return runCatalog(s, kColumns, in);
}

SQLRETURN ST_ColumnPrivileges(Stmt *s, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch, SQLSMALLINT cbSch,
                              SQLCHAR *tab, SQLSMALLINT cbTab, SQLCHAR *col, SQLSMALLINT cbCol)
{
    const TextIn in[] = {{cat, cbCat}, {sch, cbSch}, {tab, cbTab}, {col, cbCol}};
    return runCatalog(s, kColumnPrivileges, in);
}

SQLRETURN ST_PrimaryKeys(Stmt *s, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch, SQLSMALLINT cbSch,
                         SQLCHAR *tab, SQLSMALLINT cbTab)
{
    const TextIn in[] = {{cat, cbCat}, {sch, cbSch}, {tab, cbTab}};
    return runCatalog(s, kPrimaryKeys, in);
}

SQLRETURN ST_TablePrivileges(Stmt *s, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch, SQLSMALLINT cbSch,
                             SQLCHAR *tab, SQLSMALLINT cbTab)
{
    const TextIn in[] = {{cat, cbCat}, {sch, cbSch}, {tab, cbTab}};
    return runCatalog(s, kTablePrivileges, in);
}

SQLRETURN ST_Statistics(Stmt *s, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch, SQLSMALLINT cbSch,
                        SQLCHAR *tab, SQLSMALLINT cbTab, SQLUSMALLINT unique, SQLUSMALLINT accuracy)
{
    const TextIn in[] = {{cat, cbCat}, {sch, cbSch}, {tab, cbTab}};
    return runCatalog(s, kStatistics, in, static_cast<int16_t>(unique), static_cast<int16_t>(accuracy));
}

SQLRETURN ST_SpecialColumns(Stmt *s, SQLUSMALLINT colType, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch,
                            SQLSMALLINT cbSch, SQLCHAR *tab, SQLSMALLINT cbTab, SQLUSMALLINT scope,
                            SQLUSMALLINT nullable)
{
    const TextIn in[] = {{cat, cbCat}, {sch, cbSch}, {tab, cbTab}};
    return runCatalog(s, kSpecialColumns, in, static_cast<int16_t>(colType), static_cast<int16_t>(scope),
                      static_cast<int16_t>(nullable));
}

SQLRETURN ST_ForeignKeys(Stmt *s, SQLCHAR *pkCat, SQLSMALLINT cbPkCat, SQLCHAR *pkSch, SQLSMALLINT cbPkSch,
                         SQLCHAR *pkTab, SQLSMALLINT cbPkTab, SQLCHAR *fkCat, SQLSMALLINT cbFkCat,
                         SQLCHAR *fkSch, SQLSMALLINT cbFkSch, SQLCHAR *fkTab, SQLSMALLINT cbFkTab)
{
    const TextIn in[] = {{pkCat, cbPkCat}, {pkSch, cbPkSch}, {pkTab, cbPkTab},
                         {fkCat, cbFkCat}, {fkSch, cbFkSch}, {fkTab, cbFkTab}};
    return runCatalog(s, kForeignKeys, in);
}

SQLRETURN ST_Procedures(Stmt *s, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch, SQLSMALLINT cbSch,
                        SQLCHAR *proc, SQLSMALLINT cbProc)
{
    const TextIn in[] = {{cat, cbCat}, {sch, cbSch}, {proc, cbProc}};
    return runCatalog(s, kProcedures, in);
}

SQLRETURN ST_ProcedureColumns(Stmt *s, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch, SQLSMALLINT cbSch,
                              SQLCHAR *proc, SQLSMALLINT cbProc, SQLCHAR *col, SQLSMALLINT cbCol)
{
    const TextIn in[] = {{cat, cbCat}, {sch, cbSch}, {proc, cbProc}, {col, cbCol}};
    return runCatalog(s, kProcedureColumns, in);
}

SQLRETURN ST_GetTypeInfo(Stmt *s, SQLSMALLINT sqlType)
{
    StmtClose(s);
    StmtFreeColDescs(s);
    const DrvOpTable *ops = s->binding ? s->binding->ops : nullptr;
    return openResult(s, ops && ops->DDGetTypeInfo ? ops->DDGetTypeInfo(static_cast<int>(s->drvStmt), sqlType) : ERR_NOT_CAPABLE);
}

// Table and column metadata of a cursor's statement: the catalog spelling of
// its FROM tables, their columns, the select list, identifier rules, result
// descriptions, parameter types of generated statements and the batches of
// a fetch by keys.
#include "odbc/contract/catalog_args.h"
#include "odbc/contract/drv_items.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "odbc/contract/typed_value.h"
#include "scrs/sc_check.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_install.h"
#include "scrs/scs_keyscroll.h"
#include "scrs/scs_owners.h"
#include "util/dynarray.h"
#include "util/log.h"
#include "util/strutil.h"
#include "util/utf8.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char SRC[] = "sc_s";
constexpr uint32_t kNameMax = SCR_NAME_SIZE - 1;  // 508 bytes and the NUL

// Copies text into a name field, cut to the field.
void putName(char (&field)[SCR_NAME_SIZE], const char *text)
{
    STR_CopyCut(field, SCR_NAME_SIZE, text ? text : "");
}

bool isQuoted(const char *text, char quote) { return quote && text && text[0] == quote; }

// Folds a text by one of the identifier cases: 1 upper, 2 lower, others
// leave it.
void foldCase(std::string &t, uint32_t identCase, int utf8)
{
    if (identCase != SQL_IC_UPPER && identCase != SQL_IC_LOWER)
        return;
    if (utf8) {
        std::string buf = t;
        buf.resize(SCR_NAME_SIZE, '\0');
        if (identCase == SQL_IC_UPPER)
            UTF8_Upper(&buf[0], SCR_NAME_SIZE);
        else
            UTF8_Lower(&buf[0], SCR_NAME_SIZE);
        t = buf.c_str();
        return;
    }
    for (char &c : t)
        c = static_cast<char>(identCase == SQL_IC_UPPER ? toupper(static_cast<unsigned char>(c))
                                                        : tolower(static_cast<unsigned char>(c)));
}

// A quoted text without its quotes (doubled quotes inside made single).
std::string stripQuotes(const char *text, char quote)
{
    char *plain = STR_Unquote(text, SQL_NTS, quote);
    std::string out = plain ? plain : "";
    free(plain);
    return out;
}

// A catalog text as UTF-8 (or as it stands), at most kNameMax bytes.
std::string catalogPlainText(const ScsContext *ctx, const char *narrow, const uint16_t *wide, uint32_t len)
{
    std::string t;
    if (wide) {
        char buf[SCR_NAME_SIZE] = {};
        int64_t used = 0;
        int64_t n = UTF8_FromWideN(wide, buf, len, kNameMax, &used);
        t.assign(buf, static_cast<size_t>(n));
    } else if (narrow) {
        std::string raw(narrow, len);
        if (ctx->utf8Catalog) {
            char buf[SCR_NAME_SIZE] = {};
            UTF8_FromAnsiCopy(buf, raw.c_str(), SCR_NAME_SIZE);
            t = buf;
        } else {
            t = raw;
        }
    }
    if (t.size() > kNameMax)
        t.resize(kNameMax);
    return t;
}

// An identifier as the catalog answers it, with the data source's quotes.
std::string catalogText(const ScsContext *ctx, std::string t)
{
    if (ctx->identQuote) {
        char *q = STR_Quote(t.c_str(), SQL_NTS, ctx->identQuote);
        if (q) {
            t = q;
            free(q);
        }
        if (t.size() > kNameMax)
            t.resize(kNameMax);
    }
    return t;
}

// The text of one catalog cell (false for NULL), made an identifier.
bool cellIdent(const ScsContext *ctx, const RowBlock *b, int col, int32_t row, std::string *out)
{
    std::string plain;
    if (!scs_p_CatalogCellText(ctx, b, col, row, &plain))
        return false;
    *out = catalogText(ctx, plain);
    return true;
}

// An integer cell of a catalog result; 0 for NULL or a type without one.
int32_t cellInt(const RowBlock *b, int col, int32_t row)
{
    if (col >= b->columnsUsed || b->columns[col].indicators[row] == RB_IND_NULL)
        return 0;
    const RowBlockColumn &c = b->columns[col];
    const uint8_t *p = c.data + static_cast<size_t>(row) * c.width;
    switch (c.valueType) {
    case VT_SHORT: { int16_t v; memcpy(&v, p, 2); return v; }
    case VT_USHORT: { uint16_t v; memcpy(&v, p, 2); return v; }
    case VT_LONG: { int32_t v; memcpy(&v, p, 4); return v; }
    case VT_ULONG: { uint32_t v; memcpy(&v, p, 4); return static_cast<int32_t>(v); }
    case VT_TINYINT: return static_cast<int8_t>(*p);
    case VT_BIT: case VT_UTINYINT: case VT_BYTE: return *p;
    default: {
        const char *narrow = nullptr;
        const uint16_t *wide = nullptr;
        uint32_t len = 0;
        if (scs_p_CatalogValueGet(b, col, row, &narrow, &wide, &len) != 0 || !narrow)
            return 0;
        return atoi(std::string(narrow, len).c_str());
    }
    }
}

} // namespace

bool scs_p_CatalogCellText(const ScsContext *ctx, const RowBlock *block, int col, int32_t row, std::string *out)
{
    if (col >= block->columnsUsed || row >= block->rowsUsed || block->columns[col].indicators[row] == RB_IND_NULL)
        return false;
    const char *narrow = nullptr;
    const uint16_t *wide = nullptr;
    uint32_t len = 0;
    if (scs_p_CatalogValueGet(block, col, row, &narrow, &wide, &len) != 0)
        return false;
    *out = catalogPlainText(ctx, narrow, wide, len);
    return true;
}

int32_t scs_p_CatalogCellInt(const RowBlock *block, int col, int32_t row)
{
    if (row >= block->rowsUsed)
        return 0;
    return cellInt(block, col, row);
}

int scs_p_CatalogValueGet(const RowBlock *block, int col, int32_t row, const char **narrow, const uint16_t **wide,
                          uint32_t *length)
{
    *narrow = nullptr;
    *wide = nullptr;
    *length = 0;
    const RowBlockColumn &c = block->columns[col];
    const uint8_t *p = c.data + static_cast<size_t>(row) * c.width;
    auto cap = [](uint32_t n) { return n > kNameMax ? kNameMax : n; };
    switch (c.valueType) {
    case VT_CHAR:
        *narrow = reinterpret_cast<const char *>(p);
        *length = cap(static_cast<uint32_t>(strnlen(*narrow, c.width)));
        return 0;
    case VT_HEAP_TEXT: {
        LongDataBuf d;
        memcpy(&d, p, sizeof d);
        *narrow = d.data;
        *length = d.data ? cap(d.length) : 0;
        return 0;
    }
    case VT_NTS:
        *narrow = reinterpret_cast<const char *>(p);
        *length = static_cast<uint32_t>(strnlen(*narrow, c.width));
        return 0;
    case VT_TEXT1:
        *narrow = reinterpret_cast<const char *>(p + 1);
        *length = *p;
        return 0;
    case VT_TEXT2: {
        uint16_t n;
        memcpy(&n, p, 2);
        *narrow = reinterpret_cast<const char *>(p + 2);
        *length = cap(n);
        return 0;
    }
    case VT_TEXT4: {
        uint32_t n;
        memcpy(&n, p, 4);
        *narrow = reinterpret_cast<const char *>(p + 4);
        *length = cap(n);
        return 0;
    }
    case VT_WCHAR: {
        *wide = reinterpret_cast<const uint16_t *>(p);
        uint32_t n = 0;
        while (n < c.width / 2 && (*wide)[n])
            ++n;
        *length = cap(n);
        return 0;
    }
    case VT_WNTS: {
        *wide = reinterpret_cast<const uint16_t *>(p);
        uint32_t n = 0;
        while (n < c.width / 2 && (*wide)[n])
            ++n;
        *length = n;
        return 0;
    }
    case VT_HEAP_WTEXT: {
        LongDataBuf d;
        memcpy(&d, p, sizeof d);
        *wide = reinterpret_cast<const uint16_t *>(d.data);
        *length = d.data ? cap(d.length) : 0;
        return 0;
    }
    case VT_WTEXT4: {
        uint32_t n;
        memcpy(&n, p, 4);
        *wide = reinterpret_cast<const uint16_t *>(p + 4);
        *length = cap(n);
        return 0;
    }
    default:
        return SC_ERR_GENERAL;
    }
}

void scs_p_NormaliseIdent(char *text, char quote, uint32_t quotedCase, uint32_t identCase, int utf8, int requote)
{
    if (!text || !text[0])
        return;
    const bool quoted = isQuoted(text, quote);
    std::string t = quoted ? stripQuotes(text, quote) : std::string(text);
    foldCase(t, quoted ? quotedCase : identCase, utf8);
    bool mayQuote = quoted;
    if (!quoted) {
        mayQuote = !((identCase == SQL_IC_SENSITIVE && quotedCase != identCase) ||
                     (identCase == SQL_IC_LOWER && quotedCase == SQL_IC_UPPER) ||
                     (identCase == SQL_IC_UPPER && quotedCase == SQL_IC_LOWER));
    }
    if (quote && requote && mayQuote) {
        char *q = STR_Quote(t.c_str(), SQL_NTS, quote);
        if (q) {
            t = q;
            free(q);
        }
    }
    STR_CopyCut(text, SCR_NAME_SIZE, t.c_str());
}

int scs_p_IdentEqual(const char *a, const char *b, char quote, uint32_t quotedCase, uint32_t identCase, int utf8)
{
    if (!a || !b || !a[0] || !b[0])
        return 0;
    auto fold = [&](const char *x) {
        const bool quoted = isQuoted(x, quote);
        std::string t = quoted ? stripQuotes(x, quote) : std::string(x);
        uint32_t c = quoted ? quotedCase : identCase;
        foldCase(t, c == SQL_IC_MIXED ? SQL_IC_UPPER : c, utf8);
        return t;
    };
    return fold(a) == fold(b) ? 1 : 0;
}

int scs_p_IsPseudoColumn(const char *column, const char *dbmsName)
{
    auto lower = [](const char *x) {
        std::string t = x ? x : "";
        for (char &c : t)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        return t;
    };
    const std::string c = lower(column), d = lower(dbmsName);
    if ((c.find("rowid") != std::string::npos || c.find("rownum") != std::string::npos) &&
        d.find("oracle") != std::string::npos)
        return 0;
    return 1;
}

int scs_p_SessionSchema(ScsContext *ctx, std::string *out)
{
    const int aux = static_cast<int>(ctx->posStmt);
    int rc = ScsLower()->ExecDirect(aux, "SELECT current_schema()", nullptr, 0, nullptr);
    if (rc != 0) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "scs_p_SessionSchema: the session's schema is unknown.");
        return rc;
    }
    BlockRows rows;
    rc = ScsLower()->Fetch(aux, 1, &rows.rows);
    ScsLower()->CloseCursor(aux);
    if (rc == 0 && (!scs_p_CatalogCellText(ctx, &rows.rows, 0, 0, out)))
        out->clear();
    return rc;
}

int scs_p_CatalogRowsRead(int stmt, uint16_t chunk, RowBlock *rows)
{
    for (;;) {
        BlockRows more;
        RowBlock *into = rows->rowsAllocated == 0 ? rows : &more.rows;
        int rc = ScsLower()->Fetch(stmt, chunk, into);
        const int32_t got = into->rowsUsed;
        if (rc == 0 && into == &more.rows && got > 0)
            rc = RB_AppendRows(rows, &more.rows);
        if (rc != 0 || got < chunk)
            return rc;
    }
}

int scs_p_GetTblDescs(ScsContext *ctx, ScrTableRef *tables, uint32_t count)
{
    const int aux = static_cast<int>(ctx->posStmt);
    // Names are search patterns for the catalog: '_' and '%' in a table's
    // own name are escaped, so that "a_b" never finds "axb" as well.
    char escapeText[8] = {};
    int16_t escapeLen = 0;
    char escape = 0;
    if (ScsLower()->GetInfo(static_cast<int>(ctx->drvConn), DrvText(DrvConnInfo(SQL_SEARCH_PATTERN_ESCAPE)),
                            escapeText, sizeof escapeText, &escapeLen) == 0 &&
        escapeText[0] && !escapeText[1])
        escape = escapeText[0];
    for (uint32_t i = 0; i < count; ++i) {
        ScrTableRef &t = tables[i];
        // A derived table has no name to look up.
        if (!t.table || !t.table[0])
            continue;
        // An owner that was not given is looked for everywhere; when that
        // finds several tables, as the login user, then as the session's
        // schema (where the server itself resolves the name).
        const bool ownerGiven = t.owner && t.owner[0];
        std::string retryOwner;
        bool sessionTried = false;
        auto nextOwner = [&](int attempt) {
            if (ownerGiven)
                return false;
            if (attempt == 0 && ctx->userName && ctx->userName[0]) {
                LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Trying current username (%s) as owner qualifier.",
                           ctx->userName);
                retryOwner = ctx->userName;
                return true;
            }
            if (sessionTried)
                return false;
            sessionTried = true;
            std::string schema;
            if (scs_p_SessionSchema(ctx, &schema) != 0 || schema.empty() || schema == retryOwner)
                return false;
            retryOwner = schema;
            return true;
        };
        for (int attempt = 0;; ++attempt) {
            std::string owner;
            const char *givenOwner = t.owner ? t.owner : "";
            if (isQuoted(givenOwner, ctx->identQuote)) {
                owner = stripQuotes(givenOwner, ctx->identQuote);
                foldCase(owner, ctx->quotedIdentCase, static_cast<int>(ctx->utf8Catalog));
            } else {
                owner = givenOwner;
                if (owner.empty())
                    owner = attempt > 0 ? retryOwner : "%";
                foldCase(owner, ctx->identCase, static_cast<int>(ctx->utf8Catalog));
            }
            std::string name;
            if (isQuoted(t.table, ctx->identQuote)) {
                name = stripQuotes(t.table, ctx->identQuote);
                foldCase(name, ctx->quotedIdentCase, static_cast<int>(ctx->utf8Catalog));
            } else {
                name = t.table;
                foldCase(name, ctx->identCase, static_cast<int>(ctx->utf8Catalog));
            }
            CatalogArgsOwner args;
            if (t.qualifier && t.qualifier[0])
                args.set(CA_CATALOG, t.qualifier);
            args.set(CA_SCHEMA, owner.empty() || owner == "%" ? "%" : ks_PatternEscape(owner, escape));
            args.set(CA_OBJECT, ks_PatternEscape(name, escape));
            args.set(CA_FOURTH, "");
            int rc = ScsLower()->DDTables(aux, &args.a);
            if (rc != 0) {
                LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "scs_p_GetTblAttribs: DRV_DDTables failed (%s).", t.table);
                return rc;
            }
            BlockRows fetched;
            RowBlock &rows = fetched.rows;
            rc = ScsLower()->Fetch(aux, 10, &rows);
            ScsLower()->CloseCursor(aux);
            if (rc != 0) {
                LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "scs_p_GetTblDescs: Couldn't fetch table descriptors.");
                return rc;
            }
            if (rows.rowsUsed == 0) {
                // A retry's owner that holds no such table gives way to the next.
                if (attempt > 0 && nextOwner(attempt))
                    continue;
                LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "scs_p_GetTblDescs: Table %s does not exist.", t.table);
                return attempt > 0 ? ERR_DUPLICATE_TABLE_NAME : ERR_TABLE_NOT_FOUND;
            }
            if (rows.rowsUsed >= 2) {
                LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__,
                           "scs_p_GetTblDescs: Duplicate table name (%s).\n\tRequire owner qualifier to resolve.",
                           t.table);
                if (nextOwner(attempt))
                    continue;
                return ERR_DUPLICATE_TABLE_NAME;
            }
            std::string v;
            if (cellIdent(ctx, &rows, 0, 0, &v) && !v.empty() && v != std::string(2, ctx->identQuote)) {
                free(t.qualifier);
                t.qualifier = strdup(v.c_str());
            }
            if (cellIdent(ctx, &rows, 1, 0, &v) && !v.empty() && v != std::string(2, ctx->identQuote)) {
                free(t.owner);
                t.owner = strdup(v.c_str());
            }
            if (cellIdent(ctx, &rows, 2, 0, &v)) {
                free(t.table);
                t.table = strdup(v.c_str());
            }
            if (!t.table || !t.owner || !t.qualifier)
                return ERR_MEMORY_ALLOCATION;
            break;
        }
    }
    return 0;
}

int scs_p_GetTblColDescs(ScsContext *ctx, const ScrTableRef *tables, uint32_t count, int skipLong, DynArray *out)
{
    const int aux = static_cast<int>(ctx->posStmt);
    for (uint32_t i = 0; i < count; ++i) {
        const ScrTableRef &t = tables[i];
        if (!t.table || !t.table[0])
            continue;
        auto unq = [&](const char *x) { return stripQuotes(x ? x : "", ctx->identQuote); };
        CatalogArgsOwner args;
        if (t.qualifier && t.qualifier[0])
            args.set(CA_CATALOG, unq(t.qualifier));
        std::string owner = unq(t.owner), name = unq(t.table);
        args.set(CA_SCHEMA, owner.empty() ? "%" : owner);
        args.set(CA_OBJECT, name.empty() ? "%" : name);
        args.set(CA_FOURTH, "%");
        int rc = ScsLower()->DDColumns(aux, &args.a);
        if (rc != 0) {
            LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "scs_p_GetTblColDescs: DRV_DDColumns failed.");
            return rc;
        }
        BlockRows fetched;
        RowBlock &rows = fetched.rows;
        rc = scs_p_CatalogRowsRead(aux, 10, &rows);
        ScsLower()->CloseCursor(aux);
        if (rc != 0) {
            LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "scs_p_GetTblColDescs: Couldn't fetch column descriptors.");
            return rc;
        }
        if (rows.rowsUsed == 0) {
            return SC_ERR_GENERAL;
        }
        for (int32_t r = 0; r < rows.rowsUsed && rc == 0; ++r) {
            ScrColumnRef col{};
            col.sqlType = static_cast<int16_t>(cellInt(&rows, 4, r));
            if (skipLong && (col.sqlType == SQL_LONGVARCHAR || col.sqlType == SQL_LONGVARBINARY ||
                             col.sqlType == SQL_WLONGVARCHAR))
                continue;
            col.columnSize = cellInt(&rows, 6, r);
            col.decimalDigits = col.sqlType == SQL_NUMERIC || col.sqlType == SQL_DECIMAL
                                    ? static_cast<int16_t>(cellInt(&rows, 8, r))
                                    : 0;
            std::string v;
            cellIdent(ctx, &rows, 3, r, &v);
            putName(col.column, v.c_str());
            putName(col.table, t.table);
            putName(col.alias, t.alias);
            putName(col.owner, t.owner);
            putName(col.qualifier, t.qualifier);
            col.itemKind = SCR_ITEM_COLUMN;
            rc = DA_Append(out, &col) ? 0 : ERR_MEMORY_ALLOCATION;
        }
        if (rc != 0)
            return ERR_MEMORY_ALLOCATION;
    }
    return 0;
}

int scs_p_SelectColsGet(ScsContext *ctx, DynArray **out, DynArray **itemsOut)
{
    DynArray *items = DA_New(sizeof(ScrColumnRef));
    DynArray *cols = DA_New(sizeof(ScrColumnRef));
    if (!items || !cols) {
        DA_Free(&items, nullptr);
        DA_Free(&cols, nullptr);
        return ERR_MEMORY_ALLOCATION;
    }
    int rc = SCR_SelectColsGet(&ctx->analysis, items);
    const auto *tables = ctx->fromTables ? static_cast<ScrTableRef *>(ctx->fromTables->elements) : nullptr;
    const uint32_t nTables = ctx->fromTables ? ctx->fromTables->count : 0;
    for (uint32_t i = 0; rc == 0 && i < items->count; ++i) {
        auto *item = static_cast<ScrColumnRef *>(items->elements) + i;
        switch (item->itemKind) {
        case SCR_ITEM_STAR:
            rc = scs_p_GetTblColDescs(ctx, tables, nTables, 0, cols);
            break;
        case SCR_ITEM_TABLE_STAR: {
            const ScrTableRef *match = nullptr;
            for (uint32_t k = 0; k < nTables && !match; ++k) {
                if (tables[k].alias && tables[k].alias[0] && strcmp(tables[k].alias, item->table) == 0) {
                    match = &tables[k];
                    putName(item->alias, tables[k].alias);
                    putName(item->table, tables[k].table);
                    break;
                }
                char norm[SCR_NAME_SIZE];
                putName(norm, item->table);
                scs_p_NormaliseIdent(norm, ctx->identQuote, ctx->quotedIdentCase, ctx->identCase,
                                     static_cast<int>(ctx->utf8Catalog), 1);
                if (tables[k].table && strcmp(tables[k].table, norm) == 0) {
                    match = &tables[k];
                    putName(item->table, norm);
                }
            }
            if (!match) {
                LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__,
                           "scs_p_SelectColsGet: Unable to find descriptor for table/alias %s", item->table);
                rc = SC_ERR_GENERAL;
                break;
            }
            DynArray *part = DA_New(sizeof(ScrColumnRef));
            rc = part ? scs_p_GetTblColDescs(ctx, match, 1, 0, part) : ERR_MEMORY_ALLOCATION;
            if (rc == 0 && !DA_AppendAll(cols, part))
                rc = ERR_MEMORY_ALLOCATION;
            DA_Free(&part, nullptr);
            break;
        }
        case SCR_ITEM_EXPRESSION:
        case SCR_ITEM_COLUMN:
            if (!DA_Append(cols, item))
                rc = ERR_MEMORY_ALLOCATION;
            break;
        default:
            rc = SC_ERR_GENERAL;
        }
        if (rc != 0 && rc != ERR_MEMORY_ALLOCATION)
            LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "scs_p_SelectColsGet failed");
    }
    if (rc != 0) {
        DA_Free(&items, nullptr);
        DA_Free(&cols, nullptr);
        return rc;
    }
    *out = cols;
    if (itemsOut)
        *itemsOut = items;
    else
        DA_Free(&items, nullptr);
    return 0;
}

char *scs_p_QualifyColName(int32_t tableCount, const ScrColumnRef *col)
{
    std::string t;
    if (tableCount >= 2) {
        if (col->alias[0])
            t = std::string(col->alias) + ".";
        else if (col->owner[0])
            t = std::string(col->owner) + "." + col->table + ".";
        else if (col->table[0])
            t = std::string(col->table) + ".";
    }
    t += col->column;
    return strdup(t.c_str());
}

ScrColumnRef *scs_p_FindColDesc(DynArray *cols, const ScrColumnRef *wanted, uint32_t *index)
{
    if (!cols || !wanted || !wanted->column[0])
        return nullptr;
    auto *e = static_cast<ScrColumnRef *>(cols->elements);
    for (uint32_t i = 0; i < cols->count; ++i) {
        if (strcmp(e[i].column, wanted->column) != 0)
            continue;
        if (wanted->table[0] && strcmp(e[i].table, wanted->table) != 0)
            continue;
        if (wanted->owner[0] && strcmp(e[i].owner, wanted->owner) != 0)
            continue;
        if (index)
            *index = i;
        return &e[i];
    }
    return nullptr;
}

int scs_p_LoadRsltColDescs(ScsContext *ctx)
{
    if (ctx->rsltColDescs)
        return 0;
    return ScsLower()->GetColDescs(static_cast<int>(ctx->drvStmt), &ctx->rsltColCount, &ctx->rsltColDescs);
}

int scs_p_GetRsltColDesc(ScsContext *ctx, int col, const ColDesc **out)
{
    if (!out)
        return ERR_INVALID_ARGUMENT;
    if (int rc = scs_p_LoadRsltColDescs(ctx))
        return rc;
    if (col < 1 || col > ctx->rsltColCount)
        return ERR_INVALID_COLUMN_NUMBER;
    *out = &ctx->rsltColDescs[col - 1];
    return 0;
}

void scs_p_ColDescToParamType(const ScrColumnRef *col, ParamTypeDesc *out)
{
    struct Map {
        int16_t sql;
        int16_t c;
    };
    static const Map kMap[] = {
        {SQL_INTEGER, SQL_C_LONG},      {SQL_SMALLINT, SQL_C_SHORT},   {SQL_FLOAT, SQL_C_DOUBLE},
        {SQL_DOUBLE, SQL_C_DOUBLE},     {SQL_REAL, SQL_C_FLOAT},       {SQL_DATE, SQL_C_DATE},
        {SQL_TIME, SQL_C_TIME},         {SQL_TIMESTAMP, SQL_C_TIMESTAMP}, {SQL_TYPE_DATE, SQL_C_TYPE_DATE},
        {SQL_TYPE_TIME, SQL_C_TYPE_TIME}, {SQL_TYPE_TIMESTAMP, SQL_C_TYPE_TIMESTAMP},
        {SQL_WLONGVARCHAR, SQL_C_WCHAR}, {SQL_WVARCHAR, SQL_C_WCHAR},  {SQL_WCHAR, SQL_C_WCHAR},
        {SQL_BIT, SQL_C_BIT},           {SQL_TINYINT, SQL_C_TINYINT},  {SQL_LONGVARBINARY, SQL_C_BINARY},
        {SQL_VARBINARY, SQL_C_BINARY},  {SQL_BINARY, SQL_C_BINARY},
    };
    *out = ParamTypeDesc{};
    out->sqlType = col->sqlType;
    out->columnSize = static_cast<uint32_t>(col->columnSize);
    out->decimalDigits = col->decimalDigits;
    out->direction = PARAM_INPUT;
    out->cType = SQL_C_CHAR;
    for (const Map &m : kMap)
        if (m.sql == col->sqlType)
            out->cType = m.c;
}

int scs_p_AddParamDescs(ScsContext *ctx, const ScrColumnRef *cols, uint32_t n, int addApp)
{
    const uint32_t app = addApp && ctx->appParamTypes ? ctx->appParamTypeCount : 0;
    const uint32_t total = ctx->genParamTypeCount + n + app;
    if (total > 0xFFFF)
        return SC_ERR_GENERAL;
    auto *types = static_cast<ParamTypeDesc *>(calloc(total ? total : 1, sizeof(ParamTypeDesc)));
    if (!types)
        return ERR_MEMORY_ALLOCATION;
    if (ctx->genParamTypeCount)
        memcpy(types, ctx->genParamTypes, ctx->genParamTypeCount * sizeof(ParamTypeDesc));
    for (uint32_t i = 0; i < n; ++i)
        scs_p_ColDescToParamType(&cols[i], &types[ctx->genParamTypeCount + i]);
    if (app)
        memcpy(types + ctx->genParamTypeCount + n, ctx->appParamTypes, app * sizeof(ParamTypeDesc));
    free(ctx->genParamTypes);
    ctx->genParamTypes = types;
    ctx->genParamTypeCount = static_cast<uint16_t>(total);
    return 0;
}

int scs_p_GetKeyFetchBatches(int32_t maxParams, int32_t appParams, int32_t keyCols, int32_t rowsetSize,
                             int32_t *statements, int32_t *lastRows, int32_t *rowsPerStmt)
{
    // No key column, or no room for one key group beside the application's
    // parameters: no batch can be built.
    if (keyCols <= 0 || rowsetSize <= 0)
        return SC_ERR_GENERAL;
    const int32_t room = (maxParams - appParams) / keyCols;
    if (room <= 0)
        return SC_ERR_GENERAL;
    *statements = rowsetSize / room + (rowsetSize % room ? 1 : 0);
    *rowsPerStmt = room < rowsetSize ? room : rowsetSize;
    *lastRows = rowsetSize % room ? rowsetSize % room : *rowsPerStmt;
    return 0;
}

void scs_p_SelectCol_ColDescComplete(ScsContext *ctx)
{
    if (!ctx->selectCols || !ctx->tableCols)
        return;
    const uint32_t nTables = ctx->fromTables ? ctx->fromTables->count : 0;
    const auto *tcols = static_cast<const ScrColumnRef *>(ctx->tableCols->elements);
    auto *cols = static_cast<ScrColumnRef *>(ctx->selectCols->elements);
    auto equal = [ctx](const char *a, const char *b) {
        return scs_p_IdentEqual(a, b, ctx->identQuote, ctx->quotedIdentCase, ctx->identCase,
                                static_cast<int>(ctx->utf8Catalog)) != 0;
    };
    for (uint32_t i = 0; i < ctx->selectCols->count; ++i) {
        ScrColumnRef &c = cols[i];
        if (c.itemKind != SCR_ITEM_COLUMN)
            continue;
        const int requote = scs_p_IsPseudoColumn(c.column, ctx->dbmsName);
        scs_p_NormaliseIdent(c.column, ctx->identQuote, ctx->quotedIdentCase, ctx->identCase,
                             static_cast<int>(ctx->utf8Catalog), requote);
        scs_p_NormaliseIdent(c.table, ctx->identQuote, ctx->quotedIdentCase, ctx->identCase,
                             static_cast<int>(ctx->utf8Catalog), 1);
        scs_p_NormaliseIdent(c.owner, ctx->identQuote, ctx->quotedIdentCase, ctx->identCase,
                             static_cast<int>(ctx->utf8Catalog), 1);
        for (uint32_t k = 0; k < ctx->tableCols->count; ++k) {
            const ScrColumnRef &t = tcols[k];
            if (!equal(t.column, c.column))
                continue;
            if (nTables >= 2 && c.table[0] && !equal(t.table, c.table) && !(t.alias[0] && equal(t.alias, c.table)))
                continue;
            putName(c.table, t.table);
            putName(c.alias, t.alias);
            putName(c.owner, t.owner);
            putName(c.qualifier, t.qualifier);
            putName(c.column, t.column);
            break;
        }
    }
}

int scs_p_IsKeyCol(const ScsContext *ctx, const ScrColumnRef *col)
{
    if (!ctx->keyCols)
        return 0;
    const auto *keys = static_cast<const ScrColumnRef *>(ctx->keyCols->elements);
    for (uint32_t i = 0; i < ctx->keyCols->count; ++i)
        if (strcmp(keys[i].column, col->column) == 0 && strcmp(keys[i].table, col->table) == 0 &&
            strcmp(keys[i].owner, col->owner) == 0 && strcmp(keys[i].qualifier, col->qualifier) == 0)
            return 1;
    return 0;
}

int scs_p_IsExprCol(const ScrColumnRef *col) { return col->itemKind == SCR_ITEM_EXPRESSION ? 1 : 0; }

namespace {

// A copy of a name part as the database spells it (without the data
// source's quotes); NULL for an empty part.
char *basePart(const ScsContext *ctx, const char *text)
{
    if (!text || !text[0])
        return nullptr;
    return strdup(isQuoted(text, ctx->identQuote) ? stripQuotes(text, ctx->identQuote).c_str() : text);
}

// Replaces an owned text of a description by a base name part.
void replaceText(char **field, char *text)
{
    free(*field);
    *field = text;
}

} // namespace

int SCS_GetSelColAttribs(int stmt, uint16_t column, ColDesc *desc, uint16_t flags, uint16_t step, uint16_t count,
                         TypedValue *table)
{
    const ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx || !(ctx->scsFlags & SCS_F_KEYS_ADDED) || !ctx->selectCols || column == 0 ||
        column > ctx->selectCols->count)
        return 0;
    const ScrColumnRef &col = static_cast<const ScrColumnRef *>(ctx->selectCols->elements)[column - 1];
    const bool expression = scs_p_IsExprCol(&col) != 0;
    if (desc) {
        // The base column goes where the description keeps it; the label the
        // application reads stays the statement's.
        if ((flags & 1) && !expression) {
            char *name = basePart(ctx, col.column);
            if (name && strlen(name) < sizeof desc->name && !(desc->label && desc->label[0]))
                replaceText(&desc->label, strdup(desc->name));
            if (name && strlen(name) < sizeof desc->name && desc->label) {
                memset(desc->name, 0, sizeof desc->name);
                memcpy(desc->name, name, strlen(name));
                desc->attrFlags |= CD_BASE_COLUMN;
            }
            free(name);
        }
        if (flags & 2)
            replaceText(&desc->table, basePart(ctx, col.table));
        if (flags & 4)
            replaceText(&desc->schema, basePart(ctx, col.owner));
        if (flags & 8)
            replaceText(&desc->catalog, basePart(ctx, col.qualifier));
    }
    if (!table)
        return 0;
    for (uint32_t k = 0, at = column; k < count; ++k, at += step) {
        TypedValue &e = table[at];
        if (e.attrId >= 0)
            continue;
        if (e.attrId == -1053)
            e.value.integer = scs_p_IsKeyCol(ctx, &col);
        else if (e.attrId == -1055)
            e.value.integer = expression ? 1 : 0;
        else
            continue;
        e.attrId = static_cast<int16_t>(-e.attrId);
    }
    return 0;
}

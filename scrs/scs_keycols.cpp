// Key columns of the FROM tables, asked of the catalog and kept per
// connection.
//
// For each table the catalog is asked in order of preference (the best row
// identifier, then the unique indexes, then the primary key) and
// ks_KeyColsChoose picks the key from what came back, with the table's
// columns for their NULL rules and types.  A later source is asked only when
// the earlier ones gave no key.  Tables are looked up under their own schema,
// or under the schema the session resolves unqualified names in, never in
// every schema.  The answer for a list of tables is kept in the connection's
// key-column cache under the MD5 digest of the tables' names, so a second
// cursor over the same tables makes no catalog call.
#include "odbc/contract/catalog_args.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "scrs/sc_check.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyscroll.h"
#include "scrs/scs_owners.h"
#include "util/dynarray.h"
#include "util/hash.h"
#include "util/log.h"
#include "util/md5.h"
#include "util/strutil.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

namespace {

const char SRC[] = "ks";
constexpr uint16_t kBlock = 10;

using CatalogOp = int (*)(int, CatalogArgs *);

// Runs one catalog operation on the auxiliary statement and reads its whole
// result, ten rows at a time.
int catalogRun(int aux, CatalogOp op, CatalogArgs *args, BlockRows *out, const char *who, const char *opName)
{
    // A back end without the catalog operation cannot answer this source.
    if (!op)
        return ERR_NOT_CAPABLE;
    int rc = op(aux, args);
    if (rc != 0) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "%s: %s failed.", who, opName);
        return rc;
    }
    rc = scs_p_CatalogRowsRead(aux, kBlock, &out->rows);
    ScsLower()->CloseCursor(aux);
    if (rc != 0)
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "%s: Couldn't fetch column descriptors.", who);
    return rc;
}

bool cellNull(const RowBlock &b, int col, int32_t row)
{
    return col >= b.columnsUsed || row >= b.rowsUsed || b.columns[col].indicators[row] == RB_IND_NULL;
}

int16_t cellShort(const RowBlock &b, int col, int32_t row, int16_t ifNull = 0)
{
    return cellNull(b, col, row) ? ifNull : static_cast<int16_t>(scs_p_CatalogCellInt(&b, col, row));
}

std::string cellText(const ScsContext *ctx, const RowBlock &b, int col, int32_t row)
{
    std::string t;
    if (!scs_p_CatalogCellText(ctx, &b, col, row, &t))
        t.clear();
    return t;
}

// Where one table is looked up.
struct Lookup {
    std::string catalog;  // empty: none
    std::string schema;   // exact name
    std::string table;    // exact name
};


// The catalog's view of one table, filled source by source.
struct TableAsk {
    ScsContext *ctx;
    Lookup where;
    KsTableCatalog cat;
    bool columnsRead = false;

    // Runs one catalog operation for the table and reads its rows.
    int ask(CatalogOp op, const char *who, const char *opName, std::initializer_list<int16_t> flags,
            uint16_t options, BlockRows *r)
    {
        CatalogArgsOwner h;
        int rc = where.catalog.empty() ? 0 : h.set(CA_CATALOG, where.catalog);
        if (rc == 0)
            rc = h.set(CA_SCHEMA, where.schema);
        if (rc == 0)
            rc = h.set(CA_OBJECT, where.table);
        if (rc != 0)
            return rc;
        int k = 0;
        for (int16_t f : flags)
            h.a.flags[k++] = f;
        h.a.options = options;
        return catalogRun(static_cast<int>(ctx->posStmt), op, &h.a, r, who, opName);
    }

    // The table's columns: names, NULL rules and types.  The names are
    // passed as identifiers, so the back end escapes '_' and '%' in the
    // pattern arguments; no column pattern asks for every column.
    int columns()
    {
        if (columnsRead)
            return 0;
        BlockRows r;
        if (int rc = ask(ScsLower()->DDColumns, "KS_GetKeyColDescs", "DRV_DDColumns", {}, CA_IDENTIFIERS, &r))
            return rc;
        for (int32_t i = 0; i < r.rows.rowsUsed; ++i) {
            KsColumnRow c;
            c.name = cellText(ctx, r.rows, 3, i);
            c.sqlType = cellShort(r.rows, 4, i);
            c.columnSize = scs_p_CatalogCellInt(&r.rows, 6, i);
            c.decimalDigits = (c.sqlType == SQL_NUMERIC || c.sqlType == SQL_DECIMAL) ? cellShort(r.rows, 8, i) : 0;
            c.nullable = cellShort(r.rows, 10, i, SQL_NULLABLE_UNKNOWN);
            cat.columns.push_back(c);
        }
        columnsRead = true;
        return 0;
    }

    int special()
    {
        BlockRows r;
        if (int rc = ask(ScsLower()->DDSpecialColumns, "KS_GetKeyColDescs_SpCols", "DRV_DDSpecialColumns",
                         {SQL_BEST_ROWID, SQL_SCOPE_CURROW, SQL_NO_NULLS}, 0, &r))
            return rc;
        for (int32_t i = 0; i < r.rows.rowsUsed; ++i) {
            KsSpecialColumnRow s;
            s.name = cellText(ctx, r.rows, 1, i);
            s.sqlType = cellShort(r.rows, 2, i);
            s.columnSize = scs_p_CatalogCellInt(&r.rows, 4, i);
            s.decimalDigits = (s.sqlType == SQL_NUMERIC || s.sqlType == SQL_DECIMAL) ? cellShort(r.rows, 6, i) : 0;
            s.pseudo = cellShort(r.rows, 7, i, SQL_PC_UNKNOWN);
            cat.special.push_back(s);
        }
        return 0;
    }

    int statistics()
    {
        BlockRows r;
        if (int rc = ask(ScsLower()->DDStatistics, "KS_GetKeyColDescs_Stats", "DRV_DDStatistics",
                         {SQL_INDEX_UNIQUE, SQL_ENSURE}, 0, &r))
            return rc;
        for (int32_t i = 0; i < r.rows.rowsUsed; ++i) {
            KsStatisticsRow s;
            s.nonUnique = cellShort(r.rows, 3, i, KS_NULL_SHORT);
            s.indexName = cellText(ctx, r.rows, 5, i);
            s.type = cellShort(r.rows, 6, i);
            s.ordinal = cellShort(r.rows, 7, i);
            s.columnNull = cellNull(r.rows, 8, i);
            s.column = cellText(ctx, r.rows, 8, i);
            s.hasFilter = !cellNull(r.rows, 12, i);
            cat.statistics.push_back(s);
        }
        return 0;
    }

    int primaryKey()
    {
        BlockRows r;
        if (int rc = ask(ScsLower()->DDPrimaryKeys, "KS_GetKeyColDescs_PKeys", "DRV_DDPrimaryKeys", {}, 0, &r))
            return rc;
        for (int32_t i = 0; i < r.rows.rowsUsed; ++i)
            cat.primaryKey.push_back(KsPrimaryKeyRow{cellText(ctx, r.rows, 3, i), cellShort(r.rows, 4, i)});
        return 0;
    }
};

// The key of one table: each source in turn until one serves.
int tableKeyFind(ScsContext *ctx, const ScrTableRef &t, const std::string &sessionSchema,
                 std::vector<ScrColumnRef> *keys)
{
    TableAsk ask{ctx, {}, {}};
    std::string schemaPattern;
    if (int rc = ks_TableLookupPatterns(t, ctx->identQuote, sessionSchema, 0, &schemaPattern, &ask.where.table))
        return rc;
    ask.where.schema = schemaPattern;
    if (t.qualifier && t.qualifier[0]) {
        char *u = ctx->identQuote ? STR_Unquote(t.qualifier, SQL_NTS, ctx->identQuote) : strdup(t.qualifier);
        if (!u)
            return ERR_MEMORY_ALLOCATION;
        ask.where.catalog = u;
        free(u);
    }

    using Step = int (TableAsk::*)();
    const Step sources[] = {&TableAsk::special, &TableAsk::statistics, &TableAsk::primaryKey};
    int rc = ERR_NO_KEY_COLUMNS;
    for (Step source : sources) {
        if (int r = ask.columns())
            return r;
        if (int r = (ask.*source)()) {
            if (r == ERR_NOT_CAPABLE)
                continue;
            return r;
        }
        int chosenBy = KS_SRC_NONE;
        std::vector<ScrColumnRef> found;
        rc = ks_KeyColsChoose(ask.cat, ctx->identQuote, &found, &chosenBy);
        if (rc == 0) {
            for (ScrColumnRef &k : found) {
                auto put = [](char *field, const char *text) {
                    if (text) {
                        strncpy(field, text, SCR_NAME_SIZE - 1);
                        field[SCR_NAME_SIZE - 1] = '\0';
                    }
                };
                put(k.table, t.table);
                put(k.alias, t.alias);
                put(k.owner, t.owner);
                put(k.qualifier, t.qualifier);
                k.orderByMark = 0;
                keys->push_back(k);
            }
            return 0;
        }
        if (rc != ERR_NO_KEY_COLUMNS)
            return rc;
    }
    LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "KS_GetKeyColDescs: no key for table %s", t.table);
    return rc;
}

bool sameText(const char *field, const char *text) { return !text || strcmp(field, text) == 0; }

// The key columns a cache entry keeps for the FROM tables at hand, with the
// aliases these tables have in this statement: the entry holds, table by
// table in FROM order, each table's key columns (no column twice).  False
// when the entry does not divide so.
bool cachedKeysAliased(const DynArray *hit, const ScrTableRef *tables, uint32_t count, DynArray *out)
{
    const auto *cached = static_cast<const ScrColumnRef *>(hit->elements);
    uint32_t at = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const ScrTableRef &t = tables[i];
        if (!t.table || !t.table[0])
            continue;
        const uint32_t first = at;
        for (; at < hit->count; ++at) {
            const ScrColumnRef &k = cached[at];
            if (!sameText(k.table, t.table) || !sameText(k.owner, t.owner) || !sameText(k.qualifier, t.qualifier))
                break;
            bool again = false;
            for (uint32_t j = first; j < at && !again; ++j)
                again = strcmp(cached[j].column, k.column) == 0;
            if (again)
                break;
            ScrColumnRef own = k;
            STR_CopyCut(own.alias, SCR_NAME_SIZE, t.alias ? t.alias : "");
            if (!DA_Append(out, &own))
                return false;
        }
        if (at == first)
            return false;
    }
    return at == hit->count;
}

void digestOf(const ScrTableRef *tables, uint32_t count, unsigned char digest[16])
{
    Md5Context md5;
    MD5Init(&md5);
    for (uint32_t i = 0; i < count; ++i)
        for (const char *text : {tables[i].qualifier, tables[i].owner, tables[i].table})
            if (text)
                MD5Update(&md5, reinterpret_cast<const unsigned char *>(text), static_cast<uint32_t>(strlen(text)));
    MD5Final(digest, &md5);
}

} // namespace

int KS_GetKeyColDescs(ScsContext *ctx, const DynArray *tables)
{
    if (!ctx || !tables)
        return SC_ERR_GENERAL;
    const auto *refs = static_cast<const ScrTableRef *>(tables->elements);
    const uint32_t count = tables->count;
    ctx->keyTableCount = static_cast<int32_t>(count & 0xFF);

    HashTable *cache = scs_p_KeyColCache(static_cast<int>(ctx->drvConn));
    unsigned char digest[16];
    digestOf(refs, count, digest);

    DA_Free(&ctx->keyCols, nullptr);
    ctx->keyCols = DA_New(sizeof(ScrColumnRef));
    if (!ctx->keyCols)
        return ERR_MEMORY_ALLOCATION;

    if (cache) {
        // The aliases are this statement's, not those of the statement that
        // filled the entry.
        if (const auto *hit = reinterpret_cast<const DynArray *>(HASH_Get(cache, digest))) {
            if (hit->count == 0 || cachedKeysAliased(hit, refs, count, ctx->keyCols))
                return 0;
            DA_Free(&ctx->keyCols, nullptr);
            if (!(ctx->keyCols = DA_New(sizeof(ScrColumnRef))))
                return ERR_MEMORY_ALLOCATION;
        }
    }

    std::vector<ScrColumnRef> keys;
    std::string sessionSchema;
    bool schemaAsked = false;
    for (uint32_t i = 0; i < count; ++i) {
        if (!refs[i].table || !refs[i].table[0])
            continue;
        if (!(refs[i].owner && refs[i].owner[0]) && !schemaAsked) {
            if (int rc = scs_p_SessionSchema(ctx, &sessionSchema))
                return rc;
            schemaAsked = true;
        }
        const size_t before = keys.size();
        int rc = tableKeyFind(ctx, refs[i], sessionSchema, &keys);
        for (size_t k = before; k < keys.size(); ++k)
            if (!DA_Append(ctx->keyCols, &keys[k]))
                return ERR_MEMORY_ALLOCATION;
        if (rc != 0)
            return rc;
    }
    if (keys.empty())
        return ERR_NO_KEY_COLUMNS;

    if (cache) {
        DynArray *copy = DA_New(sizeof(ScrColumnRef));
        if (!copy || !DA_AppendAll(copy, ctx->keyCols)) {
            DA_Free(&copy, nullptr);
            return 0;  // the answer stands; it is only not kept
        }
        if (auto *old = reinterpret_cast<DynArray *>(HASH_Get(cache, digest)))
            DA_Free(&old, nullptr);
        if (!HASH_Put(cache, digest, reinterpret_cast<uint64_t>(copy)))
            DA_Free(&copy, nullptr);
    }
    return 0;
}

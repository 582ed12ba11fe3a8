// Scrolling predicates of keyset windows, RELATIVE window moves and the
// choice of key columns from catalog answers.
#include "scrs/scs_keyscroll.h"

#include "odbc/contract/errnum.h"
#include "scrs/sc_check.h"
#include "scrs/scs_ctx.h"
#include "util/strutil.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

bool validDirection(int16_t d) { return d == KS_DIR_FORWARD || d == KS_DIR_BACKWARD; }
bool validMode(int16_t m) { return m == KS_MODE_FAR || m == KS_MODE_NEAR || m == KS_MODE_NEAR_INCLUSIVE; }

// Number of ORDER BY items among the scroll positions.
uint32_t itemsInOrder(const KsScrollOrder &o)
{
    return o.items ? std::min<uint32_t>(o.itemCount, o.sortKeyCount) : 0;
}

// The u-th key column (from 0) that no ORDER BY item names, or NULL.
const ScrColumnRef *unnamedKey(const KsScrollOrder &o, uint32_t u)
{
    for (uint32_t k = 0; k < o.keyCount; ++k) {
        const bool named = o.items && o.keys[k].orderByMark != 0;
        if (!named && u-- == 0)
            return &o.keys[k];
    }
    return nullptr;
}

std::string qualified(const KsScrollOrder &o, const ScrColumnRef *col)
{
    char *q = scs_p_QualifyColName(o.tableCount, col);
    std::string s = q ? q : "";
    free(q);
    return s;
}

}  // namespace

const char *ks_CompareOpGet(int16_t direction, int16_t mode, int desc)
{
    bool greater = !desc;
    if (direction == KS_DIR_BACKWARD)
        greater = !greater;
    if (mode == KS_MODE_NEAR_INCLUSIVE)
        return greater ? ">=" : "<=";
    return greater ? ">" : "<";
}

int ks_BoundaryRowGet(int16_t direction, int16_t mode)
{
    const bool near = mode == KS_MODE_NEAR || mode == KS_MODE_NEAR_INCLUSIVE;
    if (near)
        return direction == KS_DIR_FORWARD ? KS_BOUND_FIRST : KS_BOUND_LAST;
    return direction == KS_DIR_FORWARD ? KS_BOUND_LAST : KS_BOUND_FIRST;
}

int ks_NullPlaceGet(int16_t direction, int desc, int16_t nullCollation)
{
    bool after;
    switch (nullCollation) {
    case SQL_NC_HIGH: after = !desc; break;
    case SQL_NC_LOW: after = desc != 0; break;
    case SQL_NC_START: after = false; break;
    default: after = true; break;   // SQL_NC_END and anything unknown
    }
    if (direction == KS_DIR_BACKWARD)
        after = !after;
    return after ? KS_NULLS_AFTER : KS_NULLS_BEFORE;
}

int ks_NullsFollow(int16_t direction, int desc, int16_t nullCollation)
{
    return ks_NullPlaceGet(direction, desc, nullCollation) == KS_NULLS_AFTER ? 1 : 0;
}

int ks_OrderByKeyPosMap(const KsScrollOrder &o, std::vector<uint16_t> *map)
{
    if (!map)
        return SC_ERR_GENERAL;
    map->clear();
    const uint32_t nItems = itemsInOrder(o);
    uint32_t nonKeyBefore = 0;
    for (uint32_t i = 0; i < nItems; ++i) {
        if (o.items[i].matched) {
            uint32_t k = 0;
            while (k < o.keyCount && o.keys[k].orderByMark != i + 1)
                ++k;
            if (k == o.keyCount)
                return SC_ERR_GENERAL;
            map->push_back(static_cast<uint16_t>(k));
        } else {
            map->push_back(static_cast<uint16_t>(o.keyCount + nonKeyBefore++));
        }
    }
    for (uint32_t p = nItems; p < o.sortKeyCount; ++p) {
        const ScrColumnRef *key = unnamedKey(o, p - nItems);
        if (!key)
            return SC_ERR_GENERAL;
        map->push_back(static_cast<uint16_t>(key - o.keys));
    }
    return 0;
}

int ks_ScrollSelectListBuild(const KsScrollOrder &o, std::string *out)
{
    if (!out || o.keyCount == 0)
        return SC_ERR_GENERAL;
    out->clear();
    for (uint32_t k = 0; k < o.keyCount; ++k) {
        if (k)
            *out += ", ";
        *out += qualified(o, &o.keys[k]);
    }
    const uint32_t nItems = itemsInOrder(o);
    for (uint32_t i = 0; i < nItems; ++i) {
        if (!o.items[i].matched) {
            *out += ", ";
            *out += o.items[i].text;
        }
    }
    return 0;
}

// One term: positions 1 .. t-1 equal the boundary row, position t lies
// beyond it.  Only the last term of an inclusive predicate compares with
// ">=" / "<=": its position is a key column, so equality there is the
// boundary row itself.  An inclusive comparison at an earlier position
// would also take the rows that tie there but come before the boundary row.
static int buildTerm(const KsScrollOrder &o, const std::vector<uint16_t> &map, uint16_t t, int16_t direction,
                     int16_t mode, const std::vector<bool> &boundaryNull, std::string *text, int *kept,
                     std::vector<KsBoundaryParam> *params)
{
    int16_t termMode = mode;
    if (mode == KS_MODE_NEAR_INCLUSIVE && t != o.sortKeyCount)
        termMode = KS_MODE_NEAR;
    const uint32_t nItems = itemsInOrder(o);
    std::string s;
    std::vector<KsBoundaryParam> ps;
    *kept = 1;
    for (uint32_t i = 1; i <= std::min<uint32_t>(t, nItems); ++i) {
        const OrderByColDesc &item = o.items[i - 1];
        const uint16_t col = map[i - 1];
        const bool nonKey = !item.matched;
        if (col >= boundaryNull.size())
            return SC_ERR_GENERAL;
        const bool isNull = nonKey && boundaryNull[col];
        const KsBoundaryParam p{col, item.sqlType, item.columnSize, item.decimalDigits};
        const std::string name = item.text;
        if (i < t) {
            if (isNull) {
                s += name + " IS NULL AND ";
            } else {
                s += name + " = ? AND ";
                ps.push_back(p);
            }
            continue;
        }
        const char *op = ks_CompareOpGet(direction, termMode, item.desc);
        if (!isNull) {
            if (nonKey && ks_NullsFollow(direction, item.desc, o.nullCollation))
                s += " (" + name + " " + op + " ? OR " + name + " IS NULL) ";
            else
                s += name + " " + op + " ? ";
            ps.push_back(p);
        } else if (ks_NullPlaceGet(direction, item.desc, o.nullCollation) == KS_NULLS_BEFORE) {
            s += name + " IS NOT NULL ";
        } else {
            *kept = 0;
            text->clear();
            return 0;
        }
    }
    for (uint32_t p = nItems + 1; p <= t; ++p) {
        const ScrColumnRef *key = unnamedKey(o, p - nItems - 1);
        if (!key)
            return SC_ERR_GENERAL;
        s += qualified(o, key) + " ";
        s += p < t ? std::string("= ? AND ") : std::string(ks_CompareOpGet(direction, termMode, 0)) + " ? ";
        ps.push_back({map[p - 1], key->sqlType, key->columnSize, key->decimalDigits});
    }
    *text = s;
    if (params)
        params->insert(params->end(), ps.begin(), ps.end());
    return 0;
}

int ks_ScrollPredicateBuild(const KsScrollOrder &o, uint16_t t, int16_t direction, int16_t mode,
                            const std::vector<bool> &boundaryNull, std::string *out, int *kept)
{
    if (!out || !kept || t < 1 || t > o.sortKeyCount || !validDirection(direction) || !validMode(mode))
        return SC_ERR_GENERAL;
    std::vector<uint16_t> map;
    if (int rc = ks_OrderByKeyPosMap(o, &map))
        return rc;
    return buildTerm(o, map, t, direction, mode, boundaryNull, out, kept, nullptr);
}

int ks_ScrollWhereBuild(const KsScrollOrder &o, int16_t direction, int16_t mode, int hasWhere,
                        const std::vector<bool> &boundaryNull, std::string *clause,
                        std::vector<KsBoundaryParam> *params)
{
    if (!clause || !params || o.sortKeyCount == 0 || !validDirection(direction) || !validMode(mode))
        return SC_ERR_GENERAL;
    std::vector<uint16_t> map;
    if (int rc = ks_OrderByKeyPosMap(o, &map))
        return rc;
    params->clear();
    std::string terms;
    int keptAny = 0;
    for (uint16_t t = 1; t <= o.sortKeyCount; ++t) {
        std::string term;
        int kept = 0;
        if (int rc = buildTerm(o, map, t, direction, mode, boundaryNull, &term, &kept, params))
            return rc;
        if (!kept)
            continue;
        if (keptAny)
            terms += " OR ";
        terms += term;
        keptAny = 1;
    }
    if (!keptAny)
        return SC_ERR_GENERAL;
    *clause = (hasWhere ? std::string() : std::string(" WHERE ")) + "( " + terms + " )";
    return 0;
}

int ks_RelativePlan(int32_t keysetSize, int32_t rowsInWindow, int32_t offset, KsRelativePlan *plan)
{
    if (!plan)
        return SC_ERR_GENERAL;
    if (keysetSize < 1)
        return ERR_INVALID_KEYSET_SIZE;
    const int64_t K = keysetSize;
    // The window read last may hold more or fewer rows than a window of
    // this size (the rowset size changed); an empty one counts as full.
    const int64_t H = rowsInWindow > 0 ? rowsInWindow : K;
    const int64_t v = offset;
    const int64_t a = v < 0 ? -v : v;   // 64-bit: INT32_MIN has a magnitude too
    plan->direction = v < 0 ? KS_DIR_BACKWARD : KS_DIR_FORWARD;
    plan->keep = K;
    if (v == 0) {
        plan->mode = KS_MODE_NEAR_INCLUSIVE;
        plan->skip = 0;
    } else if (v > 0 && a >= H) {
        plan->mode = KS_MODE_FAR;      // after the window's last row
        plan->skip = a - H;
    } else if (v > 0) {
        plan->mode = KS_MODE_NEAR;     // after its first row
        plan->skip = a - 1;
    } else if (a >= K) {
        plan->mode = KS_MODE_FAR;      // before its first row
        plan->skip = a - K;
    } else if (H < K) {
        // Back from the window's last row, itself included: the rows after
        // it are not known to exist.
        plan->mode = KS_MODE_NEAR_INCLUSIVE;
        plan->skip = std::max<int64_t>(0, H + a - K);
        plan->keep = std::min<int64_t>(K, H + a);
    } else {
        plan->mode = KS_MODE_NEAR;     // before its last row
        plan->skip = H - 1 + a - K;
    }
    return 0;
}

// ---- key columns ----

namespace {

const KsColumnRow *findColumn(const KsTableCatalog &cat, const std::string &name)
{
    for (const KsColumnRow &c : cat.columns)
        if (c.name == name)
            return &c;
    return nullptr;
}

int appendKey(std::vector<ScrColumnRef> *keys, const std::string &name, char quote, bool pseudo,
              int16_t sqlType, int32_t size, int16_t digits)
{
    const bool quoting = quote && quote != ' ' && !pseudo;
    char *q = quoting ? STR_Quote(name.c_str(), SQL_NTS, quote) : strdup(name.c_str());
    if (!q)
        return ERR_MEMORY_ALLOCATION;
    const size_t len = strlen(q);
    if (len >= static_cast<size_t>(SCR_NAME_SIZE)) {
        // A name that does not fit cannot be written into a statement whole.
        free(q);
        return SC_ERR_GENERAL;
    }
    ScrColumnRef k{};
    memcpy(k.column, q, len + 1);
    free(q);
    k.sqlType = sqlType;
    k.columnSize = size;
    k.decimalDigits = (sqlType == SQL_NUMERIC || sqlType == SQL_DECIMAL) ? digits : 0;
    k.itemKind = SCR_ITEM_COLUMN;
    keys->push_back(k);
    return 0;
}

bool notNullColumn(const KsTableCatalog &cat, const std::string &name)
{
    const KsColumnRow *c = findColumn(cat, name);
    return c && c->nullable == SQL_NO_NULLS;
}

// The table column an index row names.  The catalog answers an index
// column as the server's index definition writes it, with the quotes at
// both ends trimmed: a name that needs quoting ("Key", "k""1") keeps its
// doubled inner quotes (Key, k""1).  A column matches when its name written
// that way is the text.  No match (an expression such as lower((c)::text)),
// or more than one (a text that two names give), names no column.
const KsColumnRow *indexColumn(const KsTableCatalog &cat, const std::string &text, char quote)
{
    const bool quoting = quote && quote != ' ';
    const KsColumnRow *hit = nullptr;
    for (const KsColumnRow &c : cat.columns) {
        std::string written;
        for (char ch : c.name) {
            written += ch;
            if (quoting && ch == quote)
                written += ch;
        }
        if (quoting) {
            const size_t first = written.find_first_not_of(quote);
            written = first == std::string::npos ? std::string() : written.substr(first, written.find_last_not_of(quote) - first + 1);
        }
        if (written == text) {
            if (hit)
                return nullptr;
            hit = &c;
        }
    }
    return hit;
}

}  // namespace

int ks_KeyColsChoose(const KsTableCatalog &cat, char identQuote, std::vector<ScrColumnRef> *keys, int *source)
{
    if (!keys || !source)
        return SC_ERR_GENERAL;
    *source = KS_SRC_NONE;
    std::vector<ScrColumnRef> chosen;

    // Best row identifier: every real column in it must be NOT NULL.
    bool usable = !cat.special.empty();
    for (const KsSpecialColumnRow &r : cat.special)
        if (r.name.empty() || (r.pseudo != SQL_PC_PSEUDO && !notNullColumn(cat, r.name)))
            usable = false;
    if (usable) {
        for (const KsSpecialColumnRow &r : cat.special)
            if (int rc = appendKey(&chosen, r.name, identQuote, r.pseudo == SQL_PC_PSEUDO, r.sqlType,
                                   r.columnSize, r.decimalDigits))
                return rc;
        *source = KS_SRC_SPECIAL;
    }

    // Unique indexes, in the catalog's order: the first whose every column
    // is a NOT NULL column of the table (an expression is no column) and
    // that covers the whole table (no filter).
    for (size_t i = 0; *source == KS_SRC_NONE && i < cat.statistics.size();) {
        const KsStatisticsRow &head = cat.statistics[i];
        size_t end = i + 1;
        while (end < cat.statistics.size() && cat.statistics[end].type != SQL_TABLE_STAT &&
               cat.statistics[end].indexName == head.indexName && cat.statistics[end].ordinal != 1)
            ++end;
        if (head.type != SQL_TABLE_STAT) {
            bool ok = head.nonUnique == SQL_FALSE;
            for (size_t j = i; ok && j < end; ++j) {
                const KsStatisticsRow &r = cat.statistics[j];
                const KsColumnRow *c = r.columnNull ? nullptr : indexColumn(cat, r.column, identQuote);
                ok = !r.hasFilter && c && c->nullable == SQL_NO_NULLS;
            }
            if (ok) {
                std::vector<const KsStatisticsRow *> cols;
                for (size_t j = i; j < end; ++j)
                    cols.push_back(&cat.statistics[j]);
                std::stable_sort(cols.begin(), cols.end(),
                                 [](const KsStatisticsRow *a, const KsStatisticsRow *b) { return a->ordinal < b->ordinal; });
                for (const KsStatisticsRow *r : cols) {
                    const KsColumnRow *c = indexColumn(cat, r->column, identQuote);
                    if (int rc = appendKey(&chosen, c->name, identQuote, false, c->sqlType, c->columnSize,
                                           c->decimalDigits))
                        return rc;
                }
                *source = KS_SRC_INDEX;
            }
        }
        i = end;
    }

    // The primary key, in key order.
    if (*source == KS_SRC_NONE && !cat.primaryKey.empty()) {
        std::vector<KsPrimaryKeyRow> pk = cat.primaryKey;
        std::stable_sort(pk.begin(), pk.end(),
                         [](const KsPrimaryKeyRow &a, const KsPrimaryKeyRow &b) { return a.keySeq < b.keySeq; });
        for (const KsPrimaryKeyRow &r : pk) {
            const KsColumnRow *c = findColumn(cat, r.column);
            if (int rc = appendKey(&chosen, r.column, identQuote, false, c ? c->sqlType : 0,
                                   c ? c->columnSize : 0, c ? c->decimalDigits : 0))
                return rc;
        }
        *source = KS_SRC_PRIMARY_KEY;
    }

    if (*source == KS_SRC_NONE)
        return ERR_NO_KEY_COLUMNS;
    keys->insert(keys->end(), chosen.begin(), chosen.end());
    return 0;
}

std::string ks_PatternEscape(const std::string &text, char escape)
{
    std::string out;
    for (char c : text) {
        if (escape && (c == '_' || c == '%' || c == escape))
            out += escape;
        out += c;
    }
    return out;
}

namespace {

// A name as the catalog knows it: a quoted name loses its quotes (doubled
// quotes inside become one); an unquoted one is folded to lower case, as
// the server folds it.
std::string catalogName(const char *name, char quote)
{
    if (!name)
        return std::string();
    const size_t n = strlen(name);
    if (quote && quote != ' ' && n >= 2 && name[0] == quote && name[n - 1] == quote) {
        char *u = STR_Unquote(name, SQL_NTS, quote);
        std::string s = u ? u : "";
        free(u);
        return s;
    }
    std::string s = name;
    for (char &c : s)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

int ks_TableLookupPatterns(const ScrTableRef &table, char identQuote, const std::string &sessionSchema,
                           char escape, std::string *schemaPattern, std::string *tablePattern)
{
    if (!schemaPattern || !tablePattern || !table.table || !table.table[0])
        return SC_ERR_GENERAL;
    std::string schema = (table.owner && table.owner[0]) ? catalogName(table.owner, identQuote) : sessionSchema;
    if (schema.empty())
        return SC_ERR_GENERAL;
    *schemaPattern = ks_PatternEscape(schema, escape);
    *tablePattern = ks_PatternEscape(catalogName(table.table, identQuote), escape);
    return 0;
}

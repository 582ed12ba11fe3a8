// Keyset windows of mixed and dynamic cursors, and the choice of key columns.
//
// A mixed or dynamic cursor holds only a window of key rows and moves it by
// running the keyset query again with a scrolling predicate: "the rows after
// (or before) this boundary row" in the order of the statement's ORDER BY,
// completed with the key columns so that every row has a unique place.  The
// routines here build that predicate, its select list and the order of its
// parameters from the key columns, the ORDER BY items and which boundary
// values are NULL, and plan a RELATIVE move.  They call no back end.
//
// The key columns of a table are chosen from catalog answers (best row
// identifier, unique indexes, primary key) by ks_KeyColsChoose.
#pragma once
#include "scrs/scr_analyse.h"

#include <cstdint>
#include <string>
#include <vector>

// Directions of travel (fetch orientations).
enum : int16_t { KS_DIR_FORWARD = 1 /* SQL_FETCH_NEXT */, KS_DIR_BACKWARD = 4 /* SQL_FETCH_PRIOR */ };
// Predicate modes: exclusive from the far boundary row, exclusive from the
// near one, inclusive from the near one.
enum : int16_t { KS_MODE_FAR = 0, KS_MODE_NEAR = 1, KS_MODE_NEAR_INCLUSIVE = 3 };
// Where NULL values stand in the direction of travel.
enum : int { KS_NULLS_AFTER = 1, KS_NULLS_BEFORE = 2 };
// Boundary rows of the window (rows of keysetBounds).
enum : int { KS_BOUND_FIRST = 0, KS_BOUND_LAST = 1 };

// The order a window scrolls in: the statement's ORDER BY items (none when
// it has no ORDER BY), then the key columns no item names (orderByMark 0),
// cut to sortKeyCount positions.  Items with `matched` set name a key column.
struct KsScrollOrder {
    const ScrColumnRef *keys = nullptr;
    uint32_t keyCount = 0;
    const OrderByColDesc *items = nullptr;
    uint32_t itemCount = 0;
    uint16_t sortKeyCount = 0;
    int32_t tableCount = 1;        // FROM tables: two or more qualify key names
    int16_t nullCollation = 0;     // SQL_NULL_COLLATION of the data source
};

// One parameter of the scrolling predicate, in marker order: the column of
// the keyset query's select list (and of keysetBounds) holding its value,
// and the type to describe it with.
struct KsBoundaryParam {
    uint16_t selectCol;
    int16_t sqlType;
    int32_t columnSize;
    int16_t decimalDigits;
};

const char *ks_CompareOpGet(int16_t direction, int16_t mode, int desc);
int ks_BoundaryRowGet(int16_t direction, int16_t mode);
int ks_NullPlaceGet(int16_t direction, int desc, int16_t nullCollation);
int ks_NullsFollow(int16_t direction, int desc, int16_t nullCollation);

// For each scroll position, the select-list column holding its value.
// 0; ERR_GENERAL when the order is inconsistent (a matched item no key names, too
// few columns for sortKeyCount).
int ks_OrderByKeyPosMap(const KsScrollOrder &order, std::vector<uint16_t> *map);

// The keyset query's select list: every key column (qualified for two or
// more tables), then the non-key ORDER BY items among the scroll positions,
// ", " between them.  0, ERR_GENERAL.
int ks_ScrollSelectListBuild(const KsScrollOrder &order, std::string *out);

// Term t (1 .. sortKeyCount) of the predicate; boundaryNull[c] tells whether
// select-list column c of the boundary row is NULL.  0 and *kept = 1 with
// the term in *out, 0 and *kept = 0 when the term selects nothing, ERR_GENERAL for a
// bad term number, direction or mode.
int ks_ScrollPredicateBuild(const KsScrollOrder &order, uint16_t t, int16_t direction, int16_t mode,
                            const std::vector<bool> &boundaryNull, std::string *out, int *kept);

// The whole clause: " WHERE " (left out when the statement already has a
// WHERE and the clause follows it), "( ", the kept terms joined by " OR ",
// " )"; and the parameters in marker order.  0, ERR_GENERAL.
int ks_ScrollWhereBuild(const KsScrollOrder &order, int16_t direction, int16_t mode, int hasWhere,
                        const std::vector<bool> &boundaryNull, std::string *clause,
                        std::vector<KsBoundaryParam> *params);

// A RELATIVE move by offset from the first row of the window read last,
// which holds rowsInWindow rows, to a window of keysetSize rows.  The keyset
// query runs in `direction` with `mode` (inclusive for a refetch of the same
// window); `skip` rows of its result are passed over and the next `keep`
// rows form the new window.  Counts are 64-bit and a fetch takes at most
// KS_FETCH_CHUNK rows at once, so no jump wraps.  0; ERR_INVALID_KEYSET_SIZE for a keyset size
// below 1.
constexpr int64_t KS_FETCH_CHUNK = 65535;
struct KsRelativePlan {
    int16_t direction;
    int16_t mode;
    int64_t skip;
    int64_t keep;
};
int ks_RelativePlan(int32_t keysetSize, int32_t rowsInWindow, int32_t offset, KsRelativePlan *plan);

// ---- key columns from catalog answers ----

constexpr int16_t KS_NULL_SHORT = INT16_MIN;  // a NULL short in a catalog row

// One answer row of each catalog call of a table, as far as the choice needs it.
struct KsColumnRow {       // SQLColumns
    std::string name;
    int16_t nullable;      // SQL_NO_NULLS, SQL_NULLABLE, SQL_NULLABLE_UNKNOWN
    int16_t sqlType;
    int32_t columnSize;
    int16_t decimalDigits;
};
struct KsSpecialColumnRow {  // SQLSpecialColumns (SQL_BEST_ROWID)
    std::string name;
    int16_t sqlType;
    int32_t columnSize;
    int16_t decimalDigits;
    int16_t pseudo;          // PSEUDO_COLUMN
};
struct KsStatisticsRow {     // SQLStatistics (SQL_INDEX_UNIQUE)
    int16_t nonUnique;       // KS_NULL_SHORT for the table's statistics row
    std::string indexName;
    int16_t type;            // SQL_TABLE_STAT, SQL_INDEX_*
    int16_t ordinal;         // ORDINAL_POSITION
    bool columnNull;         // COLUMN_NAME is NULL
    std::string column;      // an expression's text for an expression index
    bool hasFilter;          // FILTER_CONDITION not NULL: a partial index
};
struct KsPrimaryKeyRow {     // SQLPrimaryKeys
    std::string column;
    int16_t keySeq;
};
struct KsTableCatalog {
    std::vector<KsColumnRow> columns;
    std::vector<KsSpecialColumnRow> special;
    std::vector<KsStatisticsRow> statistics;
    std::vector<KsPrimaryKeyRow> primaryKey;
};

enum : int { KS_SRC_NONE = 0, KS_SRC_SPECIAL = 1, KS_SRC_INDEX = 2, KS_SRC_PRIMARY_KEY = 3 };

// Picks a table's key columns: the best row identifier, else the first
// unique index that is neither partial nor over an expression and whose
// columns are all NOT NULL (an index names a column as the server writes
// it, quoted where needed), else the primary key.  Names are enclosed in
// identQuote (embedded quotes doubled; not for pseudo columns), types come
// from the answers.  The chosen columns are appended to *keys (their table
// fields left to the caller).  0; ERR_NO_KEY_COLUMNS when nothing serves as a key; ERR_GENERAL.
int ks_KeyColsChoose(const KsTableCatalog &cat, char identQuote, std::vector<ScrColumnRef> *keys,
                     int *source);

// A catalog search pattern matching exactly `text`: '_', '%' and the escape
// character itself are preceded by the escape character.
std::string ks_PatternEscape(const std::string &text, char escape);

// The schema and table patterns for asking the catalog about a FROM table:
// its own schema when the statement names one, else the schema the session
// resolves unqualified names in (never every schema).  Quoted names lose
// their quotes.  0; ERR_GENERAL when no schema is known.
int ks_TableLookupPatterns(const ScrTableRef &table, char identQuote, const std::string &sessionSchema,
                           char escape, std::string *schemaPattern, std::string *tablePattern);

// ---- reading a key window (scs_keywindow.cpp) ----

struct RowBlock;
struct ScsContext;

// Parses the rewritten text of `source` (ks_RewrittenText) into `target` (clause flags not
// computed); a failure is logged with the text.  0 or the analyser's number.
int ks_Reanalyse(ScrAnalysedSql *target, const ScrAnalysedSql *source, int keepQualifier);

// The parameter row of the scrolling predicate: the values of the boundary
// row of keysetBounds in marker order (NULL values of non-key ORDER BY items
// are written into the text and take no marker).  With sendParamTypes each
// parameter's type is appended to genParamTypes.  0, ERR_GENERAL, ERR_MEMORY_ALLOCATION.
int ks_BoundaryParamsMake(ScsContext *ctx, int16_t direction, int16_t mode, RowBlock **out);
// Puts the scrolling predicate into the statement's WHERE and makes its
// parameter row.  0; ERR_GENERAL for a direction other than forward or backward, or
// without boundary rows.
int ks_ScrollWhereSet(ScsContext *ctx, ScrAnalysedSql *sql, int16_t direction, int16_t mode, RowBlock **params);
// Makes the keyset query of a window: the select list of the scroll order,
// and for NEXT and PRIOR the predicate (*params its parameter row, else
// NULL).
int ks_ScrollSelectBuild(ScsContext *ctx, ScrAnalysedSql *sql, int16_t orientation, int16_t mode, RowBlock **params);
// Fetches up to `rows` rows of the open result of `stmt` behind the rows of
// `into`, in pieces one fetch can carry (KS_FETCH_CHUNK), until the result
// ends; with `discard` the rows are dropped as they come.  *got counts them.
int ks_FetchRows(int stmt, int64_t rows, RowBlock *into, int discard, int64_t *got);

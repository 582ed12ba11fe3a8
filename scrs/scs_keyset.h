// A keyset-driven, mixed or dynamic cursor's keys: the key values of its rows
// (all of them while they fit in memory, a window of them once the keyset's
// cache has spilled), one ODBC row status per keyset row, and the routines
// that put key values into the statements the library generates.
//
// The key columns themselves are the context's keyCols (KS_GetKeyColDescs,
// scs_keycols.cpp).  Every routine answers an ErrNum (0 success).
#pragma once
#include "scrs/sc_dataset.h"
#include "scrs/scr_analyse.h"

#include <cstdint>
#include <string>

struct RowBlock;
struct RowsetCache;
struct ScsContext;

struct KeySet {
    int16_t *statuses = nullptr;   // one row status per keyset row; NULL until built
    int32_t statusCount = 0;       // entries of statuses
    RowBlock *keyRows = nullptr;   // owned: the key rows, whole or a window
    int32_t windowStart = 0;       // absolute row (from 0) of keyRows' first row;
                                   // -1 after a fill that spilled, until a window is read
    uint8_t tableCount = 0;        // FROM tables (two or more qualify key names)
    DataSetCache cache;            // every key of a keyset-driven cursor
};

int KS_Alloc(KeySet **out);
void KS_Free(KeySet **ks);
void KS_Close(KeySet *ks);
void ks_CloseData(KeySet *ks);

// Statement rewriting.  Each builder takes an analysed statement without
// insertion markers (a fresh SCR_AnalyseSQL), marks its clause, and leaves
// the rewritten text in sql->echo (ks_RewrittenText); to chain two builders,
// analyse the first one's rewritten text before calling the second.  Key
// names are qualified (scs_p_QualifyColName) for two or more FROM tables.
// 0, ERR_GENERAL (no key columns, n of 0, a statement that is no SELECT), ERR_MEMORY_ALLOCATION.
//
// The select list becomes the key columns ("k1, k2").
int ks_SelectListKeysSet(ScrAnalysedSql *sql, ScsContext *ctx);
// The select list keeps its items and gets the key columns behind them
// ("a, b, k1, k2"), so that every row fetched carries its key.
int ks_SelectListAddKeys(ScrAnalysedSql *sql, ScsContext *ctx);
// n groups of "k1 = ? AND k2 = ?" joined by " OR " inside "( ... )" go into
// the WHERE, ahead of the statement's own condition (" WHERE ( ... )" when it
// had none, "WHERE ( ... ) AND (<condition>)" when it had one).
int KS_WhereKeysSet(ScrAnalysedSql *sql, ScsContext *ctx, uint32_t n);
// The key columns that no ORDER BY item names are added to the ORDER BY (or
// make one), up to the data source's limit of ORDER BY columns.
int KS_OrderByKeysSet(ScrAnalysedSql *sql, ScsContext *ctx);
// The text the last builder produced (NULL before any).
const char *ks_RewrittenText(const ScrAnalysedSql *sql);
// Fills the statement's one marker with `clause`, which becomes its rewritten
// text (none is left when that fails); the splice first marks the clause's
// place with `mark`.
int ks_MarkerFill(ScrAnalysedSql *sql, const std::string &clause);
int ks_MarkerSplice(ScrAnalysedSql *sql, int (*mark)(ScrAnalysedSql *), const std::string &clause);

// Runs the keyset query of a keyset-driven cursor into the keyset's cache.
int KS_GetKeySet_KSD(ScsContext *ctx);

// A one-row parameter block of g key groups taken from rows first ..
// first + n - 1 of `src` (groups beyond n repeat the last row), one column
// per parameter marker in marker order, in *out (the caller's; free with
// RB_Free and free).  Each column keeps its source's value type; text
// columns get the width of their value (addTerminator: room for a
// terminator after fixed text; trim: fixed text without trailing blanks).
// With dropNullCols, a source column that is NULL in any of the n rows is
// left out of every group: dropFlags (the caller's array of one entry per
// source column) marks it 1 and *dropped counts them.  0; ERR_GENERAL for a missing
// source or out argument, g or n of 0, g < n, a first row the source does
// not hold, more than 65535 columns; ERR_MEMORY_ALLOCATION.
int KS_ParamRowsetMake(const RowBlock *src, int32_t first, uint32_t groups, uint32_t rows, RowBlock **out,
                       int addTerminator, int trim, int dropNullCols, uint16_t *dropped, int16_t *dropFlags);

// The rows of `keys` from `first` on (at most a rowset) that still exist, in
// key order.
int KS_GetExistingKeys(ScsContext *ctx, const RowBlock *keys, int32_t first, RowBlock **out);

// Reads a key window of a mixed or dynamic cursor by orientation (1 NEXT,
// 2 FIRST, 3 LAST, 4 PRIOR, 6 RELATIVE with offset), with the keyset query
// of that kind of read kept prepared on a statement of its own, and no more
// rows of its answer sent than the window takes.  ERR_NO_DATA_FOUND when it is empty.
int KS_GetKeySet(ScsContext *ctx, int16_t orientation, int32_t offset);
// Forgets the keyset queries kept prepared: a new result's windows are read
// by statements prepared for it.
void KS_KeyQueriesForget(ScsContext *ctx);

// Heap row blocks (calloc'd records): a new empty one, freeing one with its
// rows (NULL is a no-op; the pointer is cleared), a copy (a block without
// columns for no source; NULL when memory is short).
RowBlock *KS_BlockNew();
void KS_BlockFree(RowBlock **b);
RowBlock *KS_BlockClone(const RowBlock *source);
// Moves the last `keys` columns of a fetched block into `out`.
int KS_KeysSplitOff(RowBlock *rows, uint16_t keys, RowBlock *out);
// Puts each fetched row at the place of its key, handing its cells over to
// `out`: row k of `out` gets the fetched row whose key (in `fetchedKeys`)
// equals key row at + k of `keyRows`; a key that brought no row gets an
// empty (all NULL) row and, when `statuses` is given, status deleted at
// statusFirst + k.
int KS_RowsPlaceByKeys(const RowBlock *keyRows, int32_t at, int32_t count, RowBlock *fetched,
                       const RowBlock *fetchedKeys, RowBlock *out, int16_t *statuses, int32_t statusFirst,
                       int32_t statusCount);

// ---- keyset-driven fetch (scs_keyfetch.cpp) ----

// Keyset-driven: row is the absolute row of the rowset's first row (as for
// static cursors); mixed: the 0-based row of the key window.
int scs_p_FetchKeyset(ScsContext *ctx, RowsetCache *rowset, int32_t row);
int scs_p_MarkDeletedRows(ScsContext *ctx, RowBlock *rows, RowBlock *keyRows, int32_t first,
                          int32_t windowStart, int16_t *keyStatuses);
int scs_p_GetKeySetBounds(ScsContext *ctx, RowBlock **out);

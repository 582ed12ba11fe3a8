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

struct RowBlock;
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

// Statement rewriting: the select list becomes the key columns; n groups of
// "key = ?" joined by OR go into the WHERE marker; the key columns are added
// to the ORDER BY.
int ks_SelectListKeysSet(ScrAnalysedSql *sql, ScsContext *ctx);
int KS_WhereKeysSet(ScrAnalysedSql *sql, ScsContext *ctx, uint32_t n);
int KS_OrderByKeysSet(ScrAnalysedSql *sql, ScsContext *ctx);

// Runs the keyset query of a keyset-driven cursor into the keyset's cache.
int KS_GetKeySet_KSD(ScsContext *ctx);

// A one-row parameter block of g key groups taken from rows first ..
// first + n - 1 of `src` (groups beyond n repeat the last row).
int KS_ParamRowsetMake(const RowBlock *src, int32_t first, uint32_t groups, uint32_t rows, RowBlock **out,
                       int addTerminator, int trim, int dropNullCols, uint16_t *dropped, int16_t *dropFlags);

// The rows of `keys` from `first` on (at most a rowset) that still exist, in
// key order.
int KS_GetExistingKeys(ScsContext *ctx, const RowBlock *keys, int32_t first, RowBlock **out);

// Reads a key window of a mixed or dynamic cursor by orientation (1 NEXT,
// 2 FIRST, 3 LAST, 4 PRIOR, 6 RELATIVE with offset).  82 when it is empty.
int KS_GetKeySet(ScsContext *ctx, int16_t orientation, int32_t offset);

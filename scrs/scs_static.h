// Static cursors (scs_static.cpp): the whole result read once into the
// static set and served from it by absolute row.  A static cursor that
// changes rows keeps a keyset beside the set, built at execute, and locks
// its rows or reads their compared values before the set is filled.
#pragma once
#include <cstdint>

struct RowsetCache;
struct ScsContext;

// A static cursor whose rows can be changed through it: a SELECT of one
// table with keys, under lock or values concurrency.
bool scs_p_StaticKeyed(const ScsContext *ctx);
// The keyset of such a cursor, and its statement prepared again with the
// keys ordering its rows; the application's parameters follow it.
int scs_p_StaticKeysetBuild(ScsContext *ctx);
// Reads the whole result into the static set, once (keys, values and rows
// read again, up to three times, while other users' changes make them
// disagree); closeCursor closes the result afterwards.
int scs_p_StaticFill(ScsContext *ctx, bool closeCursor);
// The rowset at absolute row `row` (1-based; negative from the end; 0 the
// last rowset) with the keyset's statuses.
int scs_p_FetchStatic(ScsContext *ctx, RowsetCache *rowset, int32_t row);
// The 0-based first row *a of the rowset at absolute row `row` (1-based;
// negative from the end; 0 the last rowset) of a cursor that knows its row
// count (static, keyset-driven).  Before the start or beyond the end the
// cursor is placed there and ERR_BEFORE_START or ERR_BEYOND_END answered;
// ERR_FETCH_BEFORE_FIRST_ROWSET with *a 0 when the first rowset stands in for
// one counted back from the end past the start.
int scs_p_AbsoluteTarget(ScsContext *ctx, int32_t row, int32_t *a);

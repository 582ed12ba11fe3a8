// Dynamic and mixed cursors.
//
// A mixed cursor (keyset-driven with a keyset size) holds a window of keys
// and fetches each rowset of it by key; it reads a new window when a rowset
// leaves the one it holds.  A dynamic cursor reads a window of one rowset
// for every fetch, from the boundary of the last one, so that rows other
// users inserted or deleted show up or vanish, and fetches its rows by key,
// again while the rows change between the two reads.
#include "scrs/scs_dynmix.h"

#include "odbc/contract/errnum.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "scrs/sc_check.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyscroll.h"
#include "scrs/scs_keyset.h"
#include "scrs/scs_rowlocks.h"
#include "scrs/scs_rvc.h"
#include "util/dynarray.h"
#include "util/log.h"
#include "util/strutil.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

const char SRC[] = "sc_s";

// Window rows are named by 32-bit offsets; a row farther away than that
// lies beyond any result anyway.
int32_t clamp32(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

int64_t magnitude(int32_t v) { return v < 0 ? -static_cast<int64_t>(v) : v; }

bool servedOrientation(int16_t o)
{
    return o == SQL_FETCH_NEXT || o == SQL_FETCH_FIRST || o == SQL_FETCH_LAST || o == SQL_FETCH_PRIOR ||
           o == SQL_FETCH_RELATIVE;
}

int32_t keysInWindow(const ScsContext *ctx)
{
    return ctx->keySet && ctx->keySet->keyRows ? ctx->keySet->keyRows->rowsUsed : 0;
}

// A backward window read at offset x from a window of `held` keys (keyset
// size K) that brought `got` keys: true when it was cut short by the start
// of the result, with *start the row of the old window's numbering where the
// result begins (negative: before the old window).
bool backwardReadHitStart(int32_t K, int32_t held, int32_t x, int32_t got, int64_t *start)
{
    KsRelativePlan p{};
    if (x >= 0 || ks_RelativePlan(K, held, x, &p) != 0 || p.direction != KS_DIR_BACKWARD || got >= p.keep)
        return false;
    const int64_t boundary = ks_BoundaryRowGet(p.direction, p.mode) == KS_BOUND_FIRST ? 0 : held - 1;
    const int64_t nearest = (p.mode == KS_MODE_NEAR_INCLUSIVE ? boundary : boundary - 1) - p.skip;
    *start = nearest - got + 1;
    return true;
}

}  // namespace

// ---- the moves ----

int scs_p_MixedMove(KsWindow &w, int32_t *state, int32_t cur, int32_t K, int32_t R, int32_t P, int16_t o, int32_t v,
                    int32_t *a)
{
    *a = 0;
    int rc = 0;
    const int32_t n = w.keys();
    const bool usable = *state != KSW_NONE;
    switch (o) {
    case SQL_FETCH_NEXT: {
        // Right after the rows of the previous rowset, whatever the rowset
        // size is now; after the end there is nothing next.
        if (*state == KSW_PAST_END)
            return ERR_NO_DATA_FOUND;
        const int64_t x = static_cast<int64_t>(cur) + P - 1;
        if (usable && x + R <= n) {
            *a = static_cast<int32_t>(x);
            return 0;
        }
        rc = w.read(SQL_FETCH_RELATIVE, clamp32(x));
        if (rc == ERR_NO_DATA_FOUND)
            *state = KSW_PAST_END;
        if (rc != 0)
            return rc;
        *state = KSW_INSIDE;
        return 0;
    }

    case SQL_FETCH_FIRST:
        if (*state == KSW_AT_START || (*state == KSW_AT_END && n < K))
            return 0;
        if ((rc = w.read(SQL_FETCH_FIRST, 0)) != 0) {
            *state = KSW_NONE;
            return rc;
        }
        *state = KSW_AT_START;
        return 0;

    case SQL_FETCH_LAST:
        if (*state != KSW_AT_END) {
            if ((rc = w.read(SQL_FETCH_LAST, 0)) != 0) {
                *state = KSW_NONE;
                return rc;
            }
            *state = KSW_AT_END;
        }
        *a = std::max(0, w.keys() - R);
        return 0;

    case SQL_FETCH_PRIOR: {
        if (*state == KSW_PAST_END) {
            if ((rc = w.read(SQL_FETCH_LAST, 0)) != 0) {
                *state = KSW_NONE;
                return rc;
            }
            *state = KSW_AT_END;
            *a = std::max(0, w.keys() - R);
            // A result smaller than a rowset: its first rowset stands in.
            return w.keys() < R ? ERR_FETCH_BEFORE_FIRST_ROWSET : 0;
        }
        if (usable && static_cast<int64_t>(cur) - 1 - R >= 0) {
            *a = cur - 1 - R;
            return 0;
        }
        if (*state == KSW_AT_START) {
            // The window starts with the result: the first rowset, or
            // nothing before a rowset that is the first.
            if (cur > 1)
                return ERR_FETCH_BEFORE_FIRST_ROWSET;
            return ERR_BEFORE_START;
        }
        rc = w.read(SQL_FETCH_RELATIVE, clamp32(static_cast<int64_t>(cur) - K - 1));
        if (rc == ERR_NO_DATA_FOUND) {
            *state = KSW_NONE;
            return ERR_BEFORE_START;
        }
        if (rc != 0)
            return rc;
        const int32_t before = w.keys();
        *state = KSW_INSIDE;
        if (before < K) {
            // Fewer rows before the rowset than a window: the window is read
            // from the start, where those rows come first.
            if ((rc = w.read(SQL_FETCH_FIRST, 0)) != 0) {
                *state = KSW_NONE;
                return rc;
            }
            *state = KSW_AT_START;
        }
        *a = std::max(0, before - R);
        return before < R ? ERR_FETCH_BEFORE_FIRST_ROWSET : 0;
    }

    case SQL_FETCH_RELATIVE: {
        int32_t from = cur;
        int32_t held = n;
        if (*state == KSW_PAST_END) {
            // After the end: a move back counts from the row after the last.
            if (v >= 0)
                return ERR_NO_DATA_FOUND;
            if ((rc = w.read(SQL_FETCH_LAST, 0)) != 0) {
                *state = KSW_NONE;
                return rc;
            }
            *state = KSW_AT_END;
            held = w.keys();
            from = held + 1;
        }
        const int64_t x = static_cast<int64_t>(from) + v - 1;
        if (*state != KSW_NONE && x >= 0 && x + R <= held) {
            *a = static_cast<int32_t>(x);
            return 0;
        }
        if (*state == KSW_AT_START && x < 0) {
            // The window starts with the result: the move ends before it,
            // or, when it passes the start by no more than a rowset from a
            // later rowset, at the first rowset.
            return from <= 1 || magnitude(v) > R ? ERR_BEFORE_START : ERR_FETCH_BEFORE_FIRST_ROWSET;
        }
        rc = w.read(SQL_FETCH_RELATIVE, clamp32(x));
        if (rc == ERR_NO_DATA_FOUND) {
            *state = x < 0 ? KSW_NONE : KSW_PAST_END;
            return x < 0 ? ERR_BEFORE_START : ERR_NO_DATA_FOUND;
        }
        if (rc != 0)
            return rc;
        *state = KSW_INSIDE;
        int64_t resultStart = 0;
        if (backwardReadHitStart(K, held, clamp32(x), w.keys(), &resultStart)) {
            // The window now starts with the result, after the row asked for.
            *state = KSW_AT_START;
            if (from - 1 <= resultStart || magnitude(v) > R) {
                // The window read back holds only the rows up to where the
                // move was aimed: a later FIRST reads its own.
                *state = KSW_NONE;
                return ERR_BEFORE_START;
            }
            if (w.keys() < R && (rc = w.read(SQL_FETCH_FIRST, 0)) != 0) {
                *state = KSW_NONE;
                return rc;
            }
            return ERR_FETCH_BEFORE_FIRST_ROWSET;
        }
        return 0;
    }

    default:
        return ERR_FETCH_TYPE_RANGE;
    }
}

int scs_p_DynamicMove(KsRowsetSource &src, int32_t *absRow, int32_t *rowCount, int32_t R, int16_t o, int32_t v)
{
    int32_t held = src.keysHeld();
    int32_t rows = 0;
    int rc = 0;
    switch (o) {
    case SQL_FETCH_NEXT:
        rc = src.refetch(SQL_FETCH_NEXT, 0, &rows);
        if (rc == ERR_NO_DATA_FOUND || (rc == 0 && rows == 0)) {
            *absRow = CUR_POS_AFTER_END;
            return ERR_BEYOND_END;
        }
        if (rc != 0)
            return rc;
        *absRow = rows < R ? KSD_REACHED_END : KSD_INSIDE;
        return 0;

    case SQL_FETCH_FIRST:
    case SQL_FETCH_LAST:
        if ((rc = src.refetch(o, 0, &rows)) != 0)
            return rc;
        *absRow = KSD_INSIDE;
        if (rows < R)
            *rowCount = rows;   // one window holds the whole result
        return 0;

    case SQL_FETCH_PRIOR:
        // Fewer keys than a rowset before the current one make the first
        // rowset: their rows are not fetched.
        rc = src.readWindow(SQL_FETCH_PRIOR, 0);
        rows = rc == 0 ? src.keysHeld() : 0;
        if (rc == 0 && rows >= R)
            rc = src.fetchRows(&rows);
        if (rc == ERR_NO_DATA_FOUND || (rc == 0 && rows == 0)) {
            *absRow = CUR_POS_BEFORE_START;
            return ERR_BEFORE_START;
        }
        if (rc != 0)
            return rc;
        *absRow = KSD_INSIDE;
        if (rows < R) {
            // Fewer rows than a rowset before the current one: the first
            // rowset, never the rows that follow.
            if ((rc = src.refetch(SQL_FETCH_FIRST, 0, &rows)) != 0)
                return rc;
            return ERR_FETCH_BEFORE_FIRST_ROWSET;
        }
        return 0;

    case SQL_FETCH_RELATIVE: {
        if (v < 0 && held < R && *absRow != KSD_REACHED_END) {
            // A window smaller than the new rowset size, and not for want
            // of rows: it is read again at that size first, so that a move
            // back keeps the rows that follow it.
            rc = src.readWindow(SQL_FETCH_RELATIVE, 0);
            if (rc != 0 && rc != ERR_NO_DATA_FOUND)
                return rc;
            if (rc == 0)
                held = src.keysHeld();
        }
        int64_t resultStart = 0;
        rc = src.readWindow(SQL_FETCH_RELATIVE, v);
        const int32_t keys = rc == 0 ? src.keysHeld() : 0;
        if (rc == 0 && keys < R && backwardReadHitStart(R, held, v, keys, &resultStart)) {
            // A move back that passed the start of the result needs no rows
            // of the window it read.
            rows = keys;
        } else if (rc == 0) {
            rc = src.fetchRows(&rows);
        }
        if (rc == ERR_NO_DATA_FOUND || (rc == 0 && rows == 0)) {
            *absRow = v < 0 ? CUR_POS_BEFORE_START : CUR_POS_AFTER_END;
            return v < 0 ? ERR_BEFORE_START : ERR_BEYOND_END;
        }
        if (rc != 0)
            return rc;
        if (rows >= R) {
            *absRow = KSD_INSIDE;
            return 0;
        }
        if (v >= 0) {
            *absRow = KSD_REACHED_END;
            return 0;
        }
        if (!backwardReadHitStart(R, held, v, rows, &resultStart)) {
            // A short window that was not cut by the start ends with the result.
            *absRow = KSD_REACHED_END;
            return 0;
        }
        // The move passed the start of the result: before it when the
        // current rowset was the first or the move is longer than a rowset,
        // else the first rowset.
        if (resultStart >= 0 || magnitude(v) > R) {
            *absRow = CUR_POS_BEFORE_START;
            return ERR_BEFORE_START;
        }
        if ((rc = src.refetch(SQL_FETCH_FIRST, 0, &rows)) != 0)
            return rc;
        *absRow = KSD_INSIDE;
        return ERR_FETCH_BEFORE_FIRST_ROWSET;
    }

    default:
        return ERR_FETCH_TYPE_RANGE;
    }
}

// ---- the engines ----

namespace {

class ContextWindow : public KsWindow {
public:
    explicit ContextWindow(ScsContext *ctx) : ctx_(ctx) {}
    int read(int16_t orientation, int32_t offset) override { return KS_GetKeySet(ctx_, orientation, offset); }
    int32_t keys() const override { return keysInWindow(ctx_); }

private:
    ScsContext *ctx_;
};

class ContextRowsets : public KsRowsetSource {
public:
    ContextRowsets(ScsContext *ctx, RowsetCache *rowset) : ctx_(ctx), rowset_(rowset) {}
    int readWindow(int16_t orientation, int32_t offset) override
    {
        return scs_p_DynamicWindowRead(ctx_, orientation, offset);
    }
    int fetchRows(int32_t *rows) override { return rowsOf(scs_p_DynamicRowsFetch(ctx_, rowset_), rows); }
    int refetch(int16_t orientation, int32_t offset, int32_t *rows) override
    {
        return rowsOf(scs_p_RefetchDynamic(ctx_, orientation, offset, rowset_), rows);
    }
    int32_t keysHeld() const override { return keysInWindow(ctx_); }

private:
    int rowsOf(int rc, int32_t *rows) const
    {
        *rows = rc == 0 && rowset_->block ? rowset_->block->rowsUsed : 0;
        return rc;
    }
    ScsContext *ctx_;
    RowsetCache *rowset_;
};

bool keepsRowVersions(const ScsContext *ctx)
{
    return ctx->dynSensitive && ctx->rvcBinding && ctx->rvcBinding->rvStmt;
}

// A cursor that keeps row versions compares the current values of the
// window's rows with the versions it stored: rows other users changed since
// it last saw them are reported as updated.
int rowVersionsCheck(ScsContext *ctx, RowsetCache *rowset, int32_t keys)
{
    if (!keepsRowVersions(ctx) || keys <= 0)
        return 0;
    const bool valuesRead = scs_p_Concurrency(ctx) == SCS_VALUES && scs_p_ChkUpdatable(ctx) == 0;
    if (!valuesRead)
        if (int rc = scs_p_WindowValuesRead(ctx, keys))
            return rc;
    if (!ctx->compareValues || ctx->compareValues->rowsUsed < keys)
        return ERR_ROW_ERROR;
    return RVC_RowsCheck(ctx->rvcBinding, ctx->keySet, ctx->compareValues, rowset->status);
}

}  // namespace

int scs_p_WindowValuesRead(ScsContext *ctx, int32_t keys)
{
    // The value-refetch SELECT is made from the fetch-by-keys SELECT the
    // fetch prepared last, with as many key groups: its batches are cut to
    // those groups.
    const int32_t perStmt = static_cast<int32_t>(ctx->keyFetchGroups);
    if (!ctx->keySet || !ctx->keySet->keyRows || keys <= 0 || keys > ctx->keySet->keyRows->rowsUsed ||
        perStmt <= 0 || !(ctx->scsFlags & SCS_F_KEYFETCH_PREPARED))
        return SC_ERR_GENERAL;
    const int32_t statements = (keys + perStmt - 1) / perStmt;
    return scs_p_GetOptConcColVals(ctx, nullptr, 0, statements, perStmt, keys - (statements - 1) * perStmt);
}

namespace {

// Copies the fresh values of key row `key` (row `from` of `fresh`) into
// the kept values, unless the row was gone when they were read.
int keptRowRefresh(const ScsContext *ctx, RowBlock *kept, RowBlock *fresh, int32_t key, int32_t from,
                   const std::vector<int16_t> &gone)
{
    if (from < 0 || from >= static_cast<int32_t>(gone.size()) || gone[static_cast<size_t>(from)] == SQL_ROW_DELETED)
        return 0;
    // Where the kept values hold the row: a static cursor at its absolute
    // place, the others at its place in the rowset (a dynamic cursor's
    // window is its rowset).
    int32_t to = key;
    const int32_t type = scs_p_CursorType(ctx);
    if (type == SCS_STATIC)
        to = key - (ctx->valueCacheStart > 0 ? ctx->valueCacheStart : 0);
    else if (type != SCS_DYNAMIC)
        to = key - (ctx->place.absRow - 1);
    if (to < 0 || to >= kept->rowsUsed || !fresh || from >= fresh->rowsUsed)
        return 0;
    return RB_CopyRow(kept, fresh, to, from, 1);
}

} // namespace

int scs_p_RefreshOptConcVals(ScsContext *ctx, const int32_t *keyRows, int32_t count)
{
    if (!ctx || (!keyRows && count > 0))
        return SC_ERR_GENERAL;
    const int32_t type = scs_p_CursorType(ctx);
    // A static cursor's values in files cannot be written back, and values
    // of the select list are the rows as the application received them.
    if (type == SCS_STATIC && (ctx->valueCache.state != DSC_IN_MEMORY || ctx->compareSet != 1))
        return 0;
    RowBlock *kept = ctx->compareValues;
    ctx->compareValues = nullptr;
    struct Restore {
        ScsContext *ctx;
        RowBlock *kept;
        ~Restore()
        {
            RowBlock *fresh = ctx->compareValues;
            KS_BlockFree(&fresh);
            ctx->compareValues = kept;
        }
    };
    int rc = 0;
    if (type == SCS_DYNAMIC) {
        // The whole window, read as the fetch read it.
        const int32_t keys = keysInWindow(ctx);
        std::vector<int16_t> gone(static_cast<size_t>(keys > 0 ? keys : 0), 0);
        rc = keys > 0 ? scs_p_KeyedValuesRead(ctx, 0, keys, gone.data()) : SC_ERR_GENERAL;
        if (!kept)
            return rc;   // nothing was read before: the fresh values are the values
        Restore restore{ctx, kept};
        for (int32_t i = 0; rc == 0 && i < count; ++i)
            rc = keptRowRefresh(ctx, kept, ctx->compareValues, keyRows[i], keyRows[i], gone);
        return rc;
    }
    if (!kept)
        return 0;   // no values to refresh
    Restore restore{ctx, kept};
    for (int32_t i = 0; rc == 0 && i < count; ++i) {
        std::vector<int16_t> gone(1, 0);
        rc = scs_p_KeyedValuesRead(ctx, keyRows[i], 1, gone.data());
        if (rc == 0)
            rc = keptRowRefresh(ctx, kept, ctx->compareValues, keyRows[i], 0, gone);
    }
    return rc;
}

int scs_p_DynamicRowsUpdated(ScsContext *ctx, const int32_t *keyRows, uint16_t *statuses, int32_t count)
{
    if (!ctx || count <= 0)
        return 0;
    const bool values = scs_p_Concurrency(ctx) == SCS_VALUES;
    const bool versions = keepsRowVersions(ctx);
    if (!values && !versions)
        return 0;
    // The rows were changed whatever follows.  Values that cannot be read
    // again stay as they were: a later change of such a row finds it
    // different and is refused, never let through unchecked.
    int rc = scs_p_RefreshOptConcVals(ctx, keyRows, count);
    if (rc != 0)
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "scs_p_RefreshOptConcVals failed (%d)", rc);
    if (!versions)
        return rc;
    // The rows' new versions are this cursor's own: the next fetch must not
    // report them as changed by others.  A row whose version cannot be
    // stored is in error.
    if (rc != 0) {
        std::fill_n(statuses, count, SQL_ROW_ERROR);
        return rc;
    }
    std::vector<uint8_t> keyDigests, rowDigests;
    try {
        keyDigests.resize(static_cast<size_t>(count) * RVC_DIGEST_SIZE);
        rowDigests.resize(static_cast<size_t>(count) * RVC_DIGEST_SIZE);
    } catch (const std::bad_alloc &) {
        std::fill_n(statuses, count, SQL_ROW_ERROR);
        return ERR_MEMORY_ALLOCATION;
    }
    for (int32_t i = 0; i < count; ++i) {
        uint8_t *key = keyDigests.data() + static_cast<size_t>(i) * RVC_DIGEST_SIZE;
        uint8_t *row = rowDigests.data() + static_cast<size_t>(i) * RVC_DIGEST_SIZE;
        if (RVC_RowDigest(ctx->keySet->keyRows, keyRows[i], key) != 0 ||
            RVC_RowDigest(ctx->compareValues, keyRows[i], row) != 0)
            statuses[i] = SQL_ROW_ERROR;
    }
    rc = RVC_VersionsUpdate(ctx->rvcBinding, keyDigests.data(), rowDigests.data(), statuses, count);
    if (rc != 0)
        RVC_DiagsMove(ctx->rvcBinding);
    return rc;
}

int scs_p_DynamicWindowRead(ScsContext *ctx, int16_t orientation, int32_t offset)
{
    if (!ctx || !ctx->keySet)
        return SC_ERR_GENERAL;
    ScsLower()->CloseCursor(static_cast<int>(ctx->drvStmt));
    return KS_GetKeySet(ctx, orientation, offset);
}

int scs_p_RefetchDynamic(ScsContext *ctx, int16_t orientation, int32_t offset, RowsetCache *rowset)
{
    if (!rowset)
        return SC_ERR_GENERAL;
    int rc = scs_p_DynamicWindowRead(ctx, orientation, offset);
    return rc != 0 ? rc : scs_p_DynamicRowsFetch(ctx, rowset);
}

int scs_p_DynamicRowsFetch(ScsContext *ctx, RowsetCache *rowset)
{
    if (!ctx || !rowset || !ctx->keySet)
        return SC_ERR_GENERAL;
    // Three tries: the window's rows by key.  A key whose row is gone by
    // then (another user deleted it, or changed it so that it no longer
    // qualifies) makes the window be read again where it stands.
    for (int pass = 0; pass < 3; ++pass) {
        int rc = 0;
        if (pass > 0 && (rc = scs_p_DynamicWindowRead(ctx, SQL_FETCH_RELATIVE, 0)) != 0)
            return rc;
        for (int32_t i = 0; i < rowset->rows; ++i)
            rowset->status[i] = SQL_ROW_NOROW;
        if ((rc = scs_p_FetchKeyset(ctx, rowset, 0)) != 0)
            return rc;
        const int32_t n = keysInWindow(ctx);
        bool agreed = true;
        for (int32_t i = 0; i < n && i < rowset->rows; ++i)
            agreed = agreed && rowset->status[i] != SQL_ROW_DELETED;
        if (agreed)
            return rowVersionsCheck(ctx, rowset, n);
    }
    return ERR_KEYSET_TOO_MANY_UPDATES;
}

int scs_p_FetchDynamic(ScsContext *ctx, int32_t offset, int16_t orientation, RowsetCache *rowset)
{
    if (!ctx || !rowset)
        return SC_ERR_GENERAL;
    if (!servedOrientation(orientation))
        return ERR_FETCH_TYPE_RANGE;
    // The key window of a dynamic cursor is one rowset.
    ctx->opts.keysetSize = ctx->opts.rowsetSize;
    ContextRowsets rowsets(ctx, rowset);
    int32_t absRow = ctx->place.absRow;
    int rc = scs_p_DynamicMove(rowsets, &absRow, &ctx->place.rowCount, ctx->opts.rowsetSize, orientation, offset);
    if (rc == ERR_BEFORE_START || rc == ERR_BEYOND_END) {
        if (rowset->block)
            RB_Free(rowset->block);
        CUR_PosSet(&ctx->place, rc == ERR_BEFORE_START ? CUR_POS_BEFORE_START : CUR_POS_AFTER_END);
        return rc;
    }
    if (rc == 0 || rc == ERR_FETCH_BEFORE_FIRST_ROWSET)
        ctx->place.absRow = absRow;
    return rc;
}

int scs_p_FetchMixed(ScsContext *ctx, int32_t offset, int16_t orientation, RowsetCache *rowset)
{
    if (!ctx || !rowset)
        return SC_ERR_GENERAL;
    if (!servedOrientation(orientation))
        return ERR_FETCH_TYPE_RANGE;
    const int32_t K = ctx->opts.keysetSize;
    const int32_t R = ctx->opts.rowsetSize;
    // A window smaller than a rowset cannot hold one.
    if (K < R)
        return ERR_ROW_VALUE_RANGE;
    if (ctx->scsFlags & SCS_F_KEYSET_SIZE_SET) {
        ctx->ksWindowState = KSW_NONE;
        ctx->scsFlags &= static_cast<uint16_t>(~SCS_F_KEYSET_SIZE_SET);
    }
    ContextWindow window(ctx);
    int32_t a = 0;
    const int32_t cur = ctx->place.absRow > 0 ? ctx->place.absRow : 1;
    // NEXT moves by the rows of the previous rowset, of the size it had.
    const int32_t P = ctx->prevRowsetSize > 0 ? ctx->prevRowsetSize : R;
    int rc = scs_p_MixedMove(window, &ctx->ksWindowState, cur, K, R, P, orientation, offset, &a);
    if (rc == ERR_BEFORE_START) {
        CUR_PosSet(&ctx->place, CUR_POS_BEFORE_START);
        return rc;
    }
    const int moved = rc;
    if (rc != 0 && rc != ERR_FETCH_BEFORE_FIRST_ROWSET)
        return rc;
    if ((rc = scs_p_FetchKeyset(ctx, rowset, a)) != 0)
        return rc;
    ctx->prevRowsetSize = R;
    if (ctx->place.rowCount == -1) {
        const int32_t n = keysInWindow(ctx);
        const int32_t rows = rowset->block ? rowset->block->rowsUsed : 0;
        const int32_t state = ctx->ksWindowState;
        // Known only when a window read from one end of the result came
        // back short (it then holds the whole result), or when a rowset of
        // a window that starts with the result ends short.
        if (n < K && (state == KSW_AT_START || state == KSW_AT_END))
            ctx->place.rowCount = n;
        else if (state == KSW_AT_START && rows < R)
            ctx->place.rowCount = a + rows;
    }
    return moved;
}

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
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyscroll.h"
#include "scrs/scs_keyset.h"
#include "util/dynarray.h"
#include "util/log.h"
#include "util/strutil.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
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

void blockFree(RowBlock **b)
{
    if (*b) {
        RB_Free(*b);
        free(*b);
        *b = nullptr;
    }
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

int scs_p_MixedMove(KsWindow &w, int32_t *state, int32_t cur, int32_t K, int32_t R, int16_t o, int32_t v, int32_t *a)
{
    *a = 0;
    int rc = 0;
    const int32_t n = w.keys();
    const bool usable = *state != KSW_NONE;
    switch (o) {
    case SQL_FETCH_NEXT:
        if (usable && static_cast<int64_t>(cur) + 2LL * R - 1 <= n) {
            *a = cur + R - 1;
            return 0;
        }
        rc = w.read(SQL_FETCH_RELATIVE, clamp32(static_cast<int64_t>(cur) + R - 1));
        if (rc == ERR_NO_DATA_FOUND)
            *state = KSW_PAST_END;
        if (rc != 0)
            return rc;
        *state = KSW_INSIDE;
        return 0;

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
            return 0;
        }
        if (usable && static_cast<int64_t>(cur) - 1 - R >= 0) {
            *a = cur - 1 - R;
            return 0;
        }
        if (*state == KSW_AT_START) {
            // The window starts with the result: the first rowset, or
            // nothing before a rowset that is the first.
            if (cur > 1)
                return 0;
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
        return 0;
    }

    case SQL_FETCH_RELATIVE: {
        int32_t from = cur;
        int32_t held = n;
        if (*state == KSW_PAST_END) {
            // After the end: a move back counts from the row after the last.
            if (v > 0)
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
            return from <= 1 || magnitude(v) > R ? ERR_BEFORE_START : 0;
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
            if (from - 1 <= resultStart || magnitude(v) > R)
                return ERR_BEFORE_START;
            if (w.keys() < R && (rc = w.read(SQL_FETCH_FIRST, 0)) != 0) {
                *state = KSW_NONE;
                return rc;
            }
        }
        return 0;
    }

    default:
        return ERR_FETCH_TYPE_RANGE;
    }
}

int scs_p_DynamicMove(KsRowsetSource &src, int32_t *absRow, int32_t *rowCount, int32_t R, int16_t o, int32_t v)
{
    const int32_t held = src.keysHeld();
    int32_t rows = 0;
    int rc = 0;
    switch (o) {
    case SQL_FETCH_NEXT:
        rc = src.refetch(SQL_FETCH_NEXT, 0, &rows);
        if (rc == ERR_NO_DATA_FOUND || (rc == 0 && rows == 0)) {
            *absRow = -3;
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
        rc = src.refetch(SQL_FETCH_PRIOR, 0, &rows);
        if (rc == ERR_NO_DATA_FOUND || (rc == 0 && rows == 0)) {
            *absRow = 0;
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
        }
        return 0;

    case SQL_FETCH_RELATIVE: {
        rc = src.refetch(SQL_FETCH_RELATIVE, v, &rows);
        if (rc == ERR_NO_DATA_FOUND || (rc == 0 && rows == 0)) {
            *absRow = v < 0 ? 0 : -3;
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
        int64_t resultStart = 0;
        if (!backwardReadHitStart(R, held, v, rows, &resultStart)) {
            // A short window that was not cut by the start ends with the result.
            *absRow = KSD_REACHED_END;
            return 0;
        }
        // The move passed the start of the result: before it when the
        // current rowset was the first or the move is longer than a rowset,
        // else the first rowset.
        if (resultStart >= 0 || magnitude(v) > R) {
            *absRow = 0;
            return ERR_BEFORE_START;
        }
        if ((rc = src.refetch(SQL_FETCH_FIRST, 0, &rows)) != 0)
            return rc;
        *absRow = KSD_INSIDE;
        return 0;
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
    int refetch(int16_t orientation, int32_t offset, int32_t *rows) override
    {
        int rc = scs_p_RefetchDynamic(ctx_, orientation, offset, rowset_);
        *rows = rc == 0 && rowset_->block ? rowset_->block->rowsUsed : 0;
        return rc;
    }
    int32_t keysHeld() const override { return keysInWindow(ctx_); }

private:
    ScsContext *ctx_;
    RowsetCache *rowset_;
};

const ScrColumnRef *keyColumns(const ScsContext *ctx, uint32_t *count)
{
    *count = ctx->keyCols ? ctx->keyCols->count : 0;
    return *count ? static_cast<const ScrColumnRef *>(ctx->keyCols->elements) : nullptr;
}

// Builds the fetch-by-keys SELECT of `groups` key groups into the analysis
// and prepares it on the statement.
int keyFetchPrepare(ScsContext *ctx, uint32_t groups)
{
    const int keep = static_cast<int>(ctx->noCatalogs);
    int rc = SCR_AnalyseSQL(&ctx->analysis, ctx->stmtText, 1, keep);
    if (rc != 0) {
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "SCR_AnalyseSQL failed: %s", ctx->stmtText);
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "%s", ctx->analysis.message ? ctx->analysis.message : "");
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "%s", ctx->analysis.echo ? ctx->analysis.echo : "");
        return rc;
    }
    if ((rc = KS_OrderByKeysSet(&ctx->analysis, ctx)) != 0)
        return rc;
    ctx->scsFlags |= SCS_F_KEY_ORDER_BY;
    ScrAnalysedSql again;
    SCR_Init(&again);
    if ((rc = ks_Reanalyse(&again, &ctx->analysis, keep)) != 0) {
        SCR_Free(&again);
        return rc;
    }
    SCR_Free(&ctx->analysis);
    ctx->analysis = again;
    if ((rc = KS_WhereKeysSet(&ctx->analysis, ctx, groups)) != 0)
        return rc;
    std::string text = ks_RewrittenText(&ctx->analysis) ? ks_RewrittenText(&ctx->analysis) : "";
    if (ctx->cs.concurrency == SCS_LOCK && !ctx->lockByUpdate)
        text += " FOR UPDATE";
    ctx->scsFlags |= SCS_F_KEYFETCH_PREPARED;
    ctx->scsFlags &= static_cast<uint16_t>(~SCS_F_REBUILD_KEYFETCH);
    return ScsLower()->Prepare(static_cast<int>(ctx->cs.drvStmt), text.c_str());
}

// Runs one fetch-by-keys statement for key rows first .. first + rows - 1
// and appends its rows to the rowset.  *last keeps a copy of the parameter
// row when asked for.
int keyFetchRun(ScsContext *ctx, RowsetCache *rowset, int32_t first, uint32_t groups, uint32_t rows, bool sendTypes,
                RowBlock **last)
{
    const int h = static_cast<int>(ctx->cs.drvStmt);
    RowBlock *params = nullptr;
    int rc = KS_ParamRowsetMake(ctx->keySet->keyRows, first, groups, rows, &params,
                                static_cast<int>(ctx->fixedTextNul), 0, 0, nullptr, nullptr);
    if (rc != 0)
        return rc;
    if (ctx->scsFlags & SCS_F_PARAMS_SAVED) {
        auto *app = static_cast<RowBlock *>(calloc(1, sizeof(RowBlock)));
        rc = app ? RB_Clone(app, ctx->savedParams) : ERR_MEMORY_ALLOCATION;
        if (rc == 0)
            rc = RB_JoinColumns(app, params);
        blockFree(&params);
        if (rc != 0) {
            blockFree(&app);
            return rc;
        }
        params = app;
    }
    if (last) {
        blockFree(last);
        *last = static_cast<RowBlock *>(calloc(1, sizeof(RowBlock)));
        if (!*last || RB_Clone(*last, params) != 0) {
            blockFree(last);
            blockFree(&params);
            return ERR_MEMORY_ALLOCATION;
        }
    }
    if ((rc = ScsLower()->SetParams(h, params)) != 0)
        return rc;
    if (sendTypes) {
        free(ctx->genParamTypes);
        ctx->genParamTypes = nullptr;
        ctx->genParamTypeCount = 0;
        uint32_t nKeys = 0;
        const ScrColumnRef *keys = keyColumns(ctx, &nKeys);
        for (uint32_t g = 0; rc == 0 && g < groups; ++g)
            rc = scs_p_AddParamDescs(ctx, keys, nKeys, 0);
        if (rc == 0)
            rc = scs_p_AddParamDescs(ctx, nullptr, 0, 1);
        if (rc == 0)
            rc = ScsLower()->SetParamTypes(h, ctx->genParamTypeCount, ctx->genParamTypes);
        if (rc != 0)
            return rc;
    }
    if ((rc = ScsLower()->Execute(h)) != 0)
        return rc;
    if (!rowset->block) {
        rowset->block = static_cast<RowBlock *>(calloc(1, sizeof(RowBlock)));
        if (!rowset->block)
            return ERR_MEMORY_ALLOCATION;
    }
    int64_t got = 0;
    return ks_FetchRows(h, groups, rowset->block, 0, &got);
}

// Whether cell (ra, ca) of a equals cell (rb, cb) of b: both NULL, or
// values of the same type with the same bytes.
bool cellsEqual(const RowBlock *a, int32_t ra, int ca, const RowBlock *b, int32_t rb, int cb)
{
    const bool na = a->columns[ca].indicators[ra] == RB_IND_NULL;
    const bool nb = b->columns[cb].indicators[rb] == RB_IND_NULL;
    if (na || nb)
        return na && nb;
    if (a->columns[ca].valueType != b->columns[cb].valueType)
        return false;
    char va[4096], vb[4096];
    uint32_t la = sizeof va, lb = sizeof vb;
    if (RB_GetCell(a, ra, ca, va, &la) != 0 || RB_GetCell(b, rb, cb, vb, &lb) != 0)
        return false;
    return la == lb && memcmp(va, vb, la) == 0;
}

}  // namespace

int scs_p_RowsToKeyOrder(ScsContext *ctx, RowBlock *rows, const RowBlock *keyRows, int32_t first, int32_t count)
{
    if (!ctx || !rows || !keyRows)
        return ERR_GENERAL;
    uint32_t nKeys = 0;
    keyColumns(ctx, &nKeys);
    // The rows carry their key values behind the application's columns
    // when the select list was completed with them.
    if (!(ctx->scsFlags & SCS_F_KEYS_ADDED) || nKeys == 0 || keyRows->columnsUsed < nKeys ||
        rows->columnsUsed < nKeys)
        return 0;
    const int keyAt = rows->columnsUsed - static_cast<int>(nKeys);
    const int32_t total = rows->rowsUsed;
    const int32_t n = std::min<int32_t>({count, total, keyRows->rowsUsed - first});
    // place[j]: the row that goes to position j; rows no key claims keep
    // their order in the places left.
    std::vector<int32_t> place(static_cast<size_t>(total), -1);
    std::vector<bool> taken(static_cast<size_t>(total), false);
    bool moved = false;
    for (int32_t j = 0; j < n; ++j) {
        for (int32_t r = 0; r < total; ++r) {
            if (taken[r])
                continue;
            bool same = true;
            for (uint32_t k = 0; k < nKeys && same; ++k)
                same = cellsEqual(rows, r, keyAt + static_cast<int>(k), keyRows, first + j, static_cast<int>(k));
            if (same) {
                place[j] = r;
                taken[r] = true;
                moved = moved || r != j;
                break;
            }
        }
    }
    if (!moved)
        return 0;
    int32_t next = 0;
    for (int32_t j = 0; j < total; ++j) {
        if (place[j] >= 0)
            continue;
        while (taken[next])
            ++next;
        place[j] = next;
        taken[next] = true;
    }
    RowBlock *sorted = nullptr;
    int rc = RB_NewLike(&sorted, rows, total);
    for (int32_t j = 0; rc == 0 && j < total; ++j)
        rc = RB_CopyRow(sorted, rows, j, place[j], 1);
    if (rc != 0) {
        blockFree(&sorted);
        return rc;
    }
    RB_Free(rows);
    *rows = *sorted;
    free(sorted);
    return 0;
}

int scs_p_RefetchDynamic(ScsContext *ctx, int16_t orientation, int32_t offset, RowsetCache *rowset)
{
    if (!ctx || !rowset || !ctx->keySet)
        return ERR_GENERAL;
    const int h = static_cast<int>(ctx->cs.drvStmt);
    const int32_t R = ctx->cs.rowsetSize;
    uint32_t nKeys = 0;
    keyColumns(ctx, &nKeys);
    int32_t statements = 0, lastRows = 0, perStmt = 0;
    int rc = scs_p_GetKeyFetchBatches(ctx->maxParams, ctx->appParamTypeCount, static_cast<int32_t>(nKeys), R,
                                      &statements, &lastRows, &perStmt);
    if (rc != 0)
        return rc;

    RowBlock *lastParams = nullptr;
    bool agreed = false;
    for (int pass = 0; pass < 3 && !agreed; ++pass) {
        ScsLower()->CloseCursor(h);
        rc = pass == 0 ? KS_GetKeySet(ctx, orientation, offset) : KS_GetKeySet(ctx, SQL_FETCH_RELATIVE, 0);
        if (rc == 0)
            rc = keyFetchPrepare(ctx, static_cast<uint32_t>(perStmt));
        if (rc != 0) {
            blockFree(&lastParams);
            return rc;
        }
        if (rowset->block)
            RB_Free(rowset->block);
        // Only as many statements as the window has keys for.
        const int32_t n = keysInWindow(ctx);
        for (int32_t first = 0, i = 0; first < n; first += perStmt, ++i) {
            const uint32_t rows = static_cast<uint32_t>(std::min(perStmt, n - first));
            const bool lastOne = first + perStmt >= n;
            rc = keyFetchRun(ctx, rowset, first, static_cast<uint32_t>(perStmt), rows, i == 0 && ctx->sendParamTypes,
                             lastOne ? &lastParams : nullptr);
            if (rc != 0) {
                blockFree(&lastParams);
                return rc;
            }
        }
        agreed = rowset->block && rowset->block->rowsUsed == n;
    }
    if (!agreed) {
        blockFree(&lastParams);
        return ERR_KEYSET_TOO_MANY_UPDATES;
    }
    const int32_t n = keysInWindow(ctx);
    if (rowset->block && (rc = scs_p_RowsToKeyOrder(ctx, rowset->block, ctx->keySet->keyRows, 0, n)) != 0) {
        blockFree(&lastParams);
        return rc;
    }

    // Current values for optimistic concurrency and row versions.
    const int32_t conc = ctx->cs.concurrency;
    if (conc != SCS_READ_ONLY || ctx->cs.dynSensitive) {
        rc = scs_p_GetOptConcColVals(ctx, lastParams, 0, (n + perStmt - 1) / perStmt, perStmt,
                                     n % perStmt ? n % perStmt : perStmt);
        lastParams = nullptr;
        if (rc != 0)
            return rc;
        if (!ctx->compareValues || ctx->compareValues->rowsUsed < n)
            return ERR_ROW_ERROR;
    }
    blockFree(&lastParams);
    if (conc != SCS_LOCK)
        ScsLower()->CloseCursor(h);
    else if (ctx->lockByUpdate && scs_p_ChkUpdatable(ctx) == 0 && (rc = scs_p_LockRows(ctx, 0, R)) != 0)
        return rc;
    for (int32_t i = 0; i < rowset->rows; ++i)
        rowset->status[i] = i < n ? SQL_ROW_SUCCESS : SQL_ROW_NOROW;
    return 0;
}

int scs_p_FetchDynamic(ScsContext *ctx, int32_t offset, int16_t orientation, RowsetCache *rowset)
{
    if (!ctx || !rowset)
        return ERR_GENERAL;
    if (!servedOrientation(orientation))
        return ERR_FETCH_TYPE_RANGE;
    // The key window of a dynamic cursor is one rowset.
    ctx->cs.keysetSize = ctx->cs.rowsetSize;
    ContextRowsets rowsets(ctx, rowset);
    int32_t absRow = ctx->cs.absRow;
    int rc = scs_p_DynamicMove(rowsets, &absRow, &ctx->cs.rowCount, ctx->cs.rowsetSize, orientation, offset);
    if (rc == ERR_BEFORE_START || rc == ERR_BEYOND_END) {
        if (rowset->block)
            RB_Free(rowset->block);
        CUR_PosSet(&ctx->cs, rc == ERR_BEFORE_START ? 0 : -3);
        return rc;
    }
    if (rc == 0)
        ctx->cs.absRow = absRow;
    return rc;
}

int scs_p_FetchMixed(ScsContext *ctx, int32_t offset, int16_t orientation, RowsetCache *rowset)
{
    if (!ctx || !rowset)
        return ERR_GENERAL;
    if (!servedOrientation(orientation))
        return ERR_FETCH_TYPE_RANGE;
    const int32_t K = ctx->cs.keysetSize;
    const int32_t R = ctx->cs.rowsetSize;
    // A window smaller than a rowset cannot hold one.
    if (K < R)
        return ERR_ROW_VALUE_RANGE;
    if (ctx->scsFlags & SCS_F_KEYSET_SIZE_SET) {
        ctx->ksWindowState = KSW_NONE;
        ctx->scsFlags &= static_cast<uint16_t>(~SCS_F_KEYSET_SIZE_SET);
    }
    ContextWindow window(ctx);
    int32_t a = 0;
    const int32_t cur = ctx->cs.absRow > 0 ? ctx->cs.absRow : 1;
    int rc = scs_p_MixedMove(window, &ctx->ksWindowState, cur, K, R, orientation, offset, &a);
    if (rc == ERR_BEFORE_START) {
        CUR_PosSet(&ctx->cs, 0);
        return rc;
    }
    if (rc != 0)
        return rc;
    if ((rc = scs_p_FetchKeyset(ctx, rowset, a)) != 0)
        return rc;
    if (ctx->cs.rowCount == -1) {
        const int32_t n = keysInWindow(ctx);
        const int32_t rows = rowset->block ? rowset->block->rowsUsed : 0;
        const int32_t state = ctx->ksWindowState;
        // Known only when a window read from one end of the result came
        // back short (it then holds the whole result), or when a rowset of
        // a window that starts with the result ends short.
        if (n < K && (state == KSW_AT_START || state == KSW_AT_END))
            ctx->cs.rowCount = n;
        else if (state == KSW_AT_START && rows < R)
            ctx->cs.rowCount = a + rows;
    }
    return 0;
}

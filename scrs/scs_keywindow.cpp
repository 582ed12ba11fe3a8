// Key windows of mixed and dynamic cursors: the keyset query with its
// scrolling predicate, the parameter row of the boundary values, and the
// read that refills the KeySet with the window's keys.
#include "odbc/contract/drv_items.h"
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

const char SRC[] = "ks";



// The order the windows of the context's cursor scroll in.
KsScrollOrder scrollOrder(const ScsContext *ctx)
{
    KsScrollOrder o;
    o.keys = ctx->keyCols ? static_cast<const ScrColumnRef *>(ctx->keyCols->elements) : nullptr;
    o.keyCount = ctx->keyCols ? ctx->keyCols->count : 0;
    const bool ordered = (ctx->clauseFlags & SCR_CF_ORDER_BY) && ctx->orderByCols && ctx->orderByCols->count;
    o.items = ordered ? static_cast<const OrderByColDesc *>(ctx->orderByCols->elements) : nullptr;
    o.itemCount = ordered ? ctx->orderByCols->count : 0;
    o.sortKeyCount = ctx->sortKeyCount;
    o.tableCount = ctx->fromTables ? static_cast<int32_t>(ctx->fromTables->count) : 1;
    o.nullCollation = ctx->nullCollation;
    return o;
}

// Which columns of a row of keysetBounds are NULL.
std::vector<bool> boundaryNulls(const RowBlock *bounds, int row)
{
    std::vector<bool> isNull(bounds->columnsUsed);
    for (uint16_t c = 0; c < bounds->columnsUsed; ++c)
        isNull[c] = bounds->columns[c].indicators[row] == RB_IND_NULL;
    return isNull;
}

void logAnalysisFailure(const char *text, const ScrAnalysedSql *r)
{
    LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "SCR_AnalyseSQL failed: %s", text ? text : "");
    LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "%s", r->message ? r->message : "");
    LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "%s", r->echo ? r->echo : "");
}


// Bounds the rows the server sends for the next execution of a statement of
// the library's own (0: no bound); a connection's own row limit still
// holds, and a bound the back end cannot keep only costs rows it would send
// anyway.
void auxRowLimitSet(int stmt, int64_t rows)
{
    int32_t v = rows > 0 && rows <= INT32_MAX ? static_cast<int32_t>(rows) : 0;
    ScsLower()->SetOption(stmt, DrvInt(DrvStmtOption(SQL_MAX_ROWS)), &v);
}

} // namespace

int ks_Reanalyse(ScrAnalysedSql *target, const ScrAnalysedSql *source, int keepQualifier)
{
    const char *text = ks_RewrittenText(source);
    char *copy = STR_Dup(text ? text : "");
    if (!copy)
        return ERR_MEMORY_ALLOCATION;
    int rc = SCR_AnalyseSQL(target, copy, 1, keepQualifier);
    if (rc != 0)
        logAnalysisFailure(copy, target);
    free(copy);
    return rc;
}

int ks_BoundaryParamsMake(ScsContext *ctx, int16_t direction, int16_t mode, RowBlock **out)
{
    if (!ctx || !out)
        return ERR_GENERAL;
    *out = nullptr;
    const RowBlock *bounds = ctx->keysetBounds;
    if (!bounds || bounds->rowsUsed < 1)
        return ERR_GENERAL;
    const int boundRow = ks_BoundaryRowGet(direction, mode) == KS_BOUND_FIRST ? 0 : bounds->rowsUsed - 1;
    std::string clause;
    std::vector<KsBoundaryParam> params;
    if (int rc = ks_ScrollWhereBuild(scrollOrder(ctx), direction, mode, 0, boundaryNulls(bounds, boundRow), &clause,
                                     &params))
        return rc;
    if (params.size() > 0xFFFF)
        return ERR_GENERAL;

    // The boundary row alone, then one parameter column per marker.
    RowBlock *bound = nullptr;
    int rc = RB_NewLike(&bound, bounds, 1);
    if (rc == 0)
        rc = RB_CopyRow(bound, const_cast<RowBlock *>(bounds), 0, boundRow, 0);
    RowBlock *p = rc == 0 ? KS_BlockNew() : nullptr;
    if (rc == 0 && !p)
        rc = ERR_MEMORY_ALLOCATION;
    if (rc == 0 && RB_Init(p, static_cast<uint16_t>(params.size())) != 0)
        rc = ERR_MEMORY_ALLOCATION;
    if (rc == 0) {
        p->columnsUsed = static_cast<uint16_t>(params.size());
        for (size_t i = 0; i < params.size(); ++i) {
            if (params[i].selectCol >= bound->columnsUsed) {
                rc = ERR_GENERAL;
                break;
            }
            p->columns[i].valueType = bound->columns[params[i].selectCol].valueType;
            p->columns[i].width = bound->columns[params[i].selectCol].width;
        }
    }
    for (size_t i = 0; rc == 0 && i < params.size(); ++i)
        rc = RB_CopyColumn(p, bound, static_cast<int>(i), params[i].selectCol);
    KS_BlockFree(&bound);
    if (rc == 0 && ctx->sendParamTypes && !params.empty()) {
        std::vector<ScrColumnRef> types(params.size());
        for (size_t i = 0; i < params.size(); ++i) {
            types[i] = ScrColumnRef{};
            types[i].sqlType = params[i].sqlType;
            types[i].columnSize = params[i].columnSize;
            types[i].decimalDigits = params[i].decimalDigits;
        }
        rc = scs_p_AddParamDescs(ctx, types.data(), static_cast<uint32_t>(types.size()), 0);
    }
    if (rc != 0) {
        KS_BlockFree(&p);
        return rc;
    }
    *out = p;
    return 0;
}

int ks_ScrollWhereSet(ScsContext *ctx, ScrAnalysedSql *sql, int16_t direction, int16_t mode, RowBlock **params)
{
    if (!ctx || !sql || !params)
        return ERR_GENERAL;
    *params = nullptr;
    if (direction != KS_DIR_FORWARD && direction != KS_DIR_BACKWARD)
        return ERR_GENERAL;
    if (!ctx->keysetBounds || ctx->keysetBounds->rowsUsed < 1)
        return ERR_GENERAL;
    if (int rc = SCR_WhereMark(sql))
        return rc;
    const RowBlock *bounds = ctx->keysetBounds;
    const int boundRow = ks_BoundaryRowGet(direction, mode) == KS_BOUND_FIRST ? 0 : bounds->rowsUsed - 1;
    std::string clause;
    std::vector<KsBoundaryParam> unused;
    const int hasWhere = (sql->flags & SCR_CF_WHERE) ? 1 : 0;
    if (int rc = ks_ScrollWhereBuild(scrollOrder(ctx), direction, mode, hasWhere, boundaryNulls(bounds, boundRow),
                                     &clause, &unused))
        return rc;
    if (int rc = ks_MarkerFill(sql, clause))
        return rc;
    return ks_BoundaryParamsMake(ctx, direction, mode, params);
}

int ks_ScrollSelectBuild(ScsContext *ctx, ScrAnalysedSql *sql, int16_t orientation, int16_t mode, RowBlock **params)
{
    if (!ctx || !sql || !params)
        return ERR_GENERAL;
    *params = nullptr;
    std::string list;
    if (int rc = ks_ScrollSelectListBuild(scrollOrder(ctx), &list))
        return rc;
    if (int rc = ks_MarkerSplice(sql, SCR_SelectListMark, list))
        return rc;
    if (orientation == SQL_FETCH_FIRST || orientation == SQL_FETCH_LAST)
        return 0;
    ScrAnalysedSql again;
    SCR_Init(&again);
    int rc = ks_Reanalyse(&again, sql, static_cast<int>(ctx->noCatalogs));
    if (rc == 0) {
        SCR_Free(sql);
        *sql = again;
        SCR_Init(&again);
        const int16_t direction = orientation == SQL_FETCH_PRIOR ? KS_DIR_BACKWARD
                                  : orientation == SQL_FETCH_NEXT ? KS_DIR_FORWARD
                                                                  : 0;
        rc = ks_ScrollWhereSet(ctx, sql, direction, mode, params);
    }
    SCR_Free(&again);
    return rc;
}

int ks_FetchRows(int stmt, int64_t rows, RowBlock *into, int discard, int64_t *got)
{
    if (!got || (!discard && !into))
        return ERR_GENERAL;
    *got = 0;
    while (*got < rows) {
        const int64_t ask = std::min<int64_t>(rows - *got, KS_FETCH_CHUNK);
        RowBlock *piece = KS_BlockNew();
        if (!piece)
            return ERR_MEMORY_ALLOCATION;
        int rc = ScsLower()->Fetch(stmt, static_cast<uint16_t>(ask), piece);
        const int32_t n = rc == 0 ? piece->rowsUsed : 0;
        if (rc == 0 && n > 0 && !discard) {
            if (into->columnsUsed == 0 && into->rowsUsed == 0) {
                RB_Free(into);
                *into = *piece;
                *piece = RowBlock{};
            } else {
                rc = RB_AppendRows(into, piece);
            }
        }
        KS_BlockFree(&piece);
        if (rc != 0)
            return rc;
        *got += n;
        if (n == 0)
            break;
    }
    return 0;
}

namespace {

// The kept keyset query that serves a read (KsKeyQuery slots).
int keyQuerySlot(int16_t orientation, int16_t mode)
{
    const bool from = mode == KS_MODE_NEAR_INCLUSIVE;
    switch (orientation) {
    case SQL_FETCH_FIRST: return 0;
    case SQL_FETCH_LAST: return 1;
    case SQL_FETCH_NEXT: return from ? 4 : 2;
    default: return from ? 5 : 3;
    }
}

void sourcePiece(std::string *out, const std::string &piece)
{
    *out += std::to_string(piece.size());
    *out += ':';
    *out += piece;
}

// What the text of a read's keyset query is made from: the statement, the
// orientation, the select list of the scroll order and the predicate (the
// NULL values of the boundary row shape it).  Equal sources make equal
// texts.  0 or ERR_GENERAL.
int keyQuerySource(const ScsContext *ctx, int16_t orientation, int16_t mode, std::string *out)
{
    const KsScrollOrder order = scrollOrder(ctx);
    std::string list, clause;
    if (int rc = ks_ScrollSelectListBuild(order, &list))
        return rc;
    if (orientation == SQL_FETCH_NEXT || orientation == SQL_FETCH_PRIOR) {
        const int16_t direction = orientation == SQL_FETCH_PRIOR ? KS_DIR_BACKWARD : KS_DIR_FORWARD;
        const RowBlock *bounds = ctx->keysetBounds;
        const int boundRow = ks_BoundaryRowGet(direction, mode) == KS_BOUND_FIRST ? 0 : bounds->rowsUsed - 1;
        std::vector<KsBoundaryParam> params;
        if (int rc = ks_ScrollWhereBuild(order, direction, mode, 0, boundaryNulls(bounds, boundRow), &clause, &params))
            return rc;
    }
    out->clear();
    sourcePiece(out, ctx->stmtText);
    sourcePiece(out, std::to_string(orientation) + (ctx->noCatalogs ? "q" : "Q"));
    sourcePiece(out, list);
    sourcePiece(out, clause);
    return 0;
}

// Makes the text of a read's keyset query in the keysetAnalysis: the
// statement ordered by its keys as well, its select list and predicate
// (*params the boundary values), the order reversed for a backward read.
// 0 or the analyser's number.
int keyQueryBuild(ScsContext *ctx, int16_t orientation, int16_t mode, RowBlock **params)
{
    const int keep = static_cast<int>(ctx->noCatalogs);
    ScrAnalysedSql ordered;
    SCR_Init(&ordered);
    int rc = SCR_AnalyseSQL(&ordered, ctx->stmtText, 1, keep);
    if (rc != 0)
        logAnalysisFailure(ctx->stmtText, &ordered);
    if (rc == 0)
        rc = KS_OrderByKeysSet(&ordered, ctx);
    if (rc == 0)
        rc = ks_Reanalyse(&ctx->keysetAnalysis, &ordered, keep);
    SCR_Free(&ordered);
    if (rc == 0)
        rc = ks_ScrollSelectBuild(ctx, &ctx->keysetAnalysis, orientation, mode, params);
    if (rc != 0 || (orientation != SQL_FETCH_PRIOR && orientation != SQL_FETCH_LAST))
        return rc;
    ScrAnalysedSql inv;
    SCR_Init(&inv);
    rc = ks_Reanalyse(&inv, &ctx->keysetAnalysis, keep);
    if (rc == 0)
        rc = SCR_OrderByInvert(&inv);
    if (rc == 0 && !(inv.echo = STR_Dup(inv.tree->text)))
        rc = ERR_MEMORY_ALLOCATION;
    if (rc == 0) {
        SCR_Free(&ctx->keysetAnalysis);
        ctx->keysetAnalysis = inv;
        SCR_Init(&inv);
    }
    SCR_Free(&inv);
    if (rc != 0)
        KS_BlockFree(params);
    return rc;
}

// The statement of a read's keyset query, prepared with its text; only
// the boundary values (*params) are made when it holds that text already.
// 0, ERR_GENERAL when no statement can be had, the analyser's or the back
// end's number.
int keyQueryReady(ScsContext *ctx, int16_t orientation, int16_t mode, int *stmt, RowBlock **params)
{
    KsKeyQuery &q = ctx->keyQueries[keyQuerySlot(orientation, mode)];
    if (!q.stmt) {
        int h = 0;
        if (ScsLower()->AllocStmt(static_cast<int>(ctx->drvConn), &h) != 0)
            return ERR_GENERAL;
        q.stmt = static_cast<uint32_t>(h);
    }
    *stmt = static_cast<int>(q.stmt);
    std::string source;
    if (int rc = keyQuerySource(ctx, orientation, mode, &source))
        return rc;
    if (source == q.source) {
        if (orientation != SQL_FETCH_NEXT && orientation != SQL_FETCH_PRIOR)
            return 0;
        const int16_t direction = orientation == SQL_FETCH_PRIOR ? KS_DIR_BACKWARD : KS_DIR_FORWARD;
        return ks_BoundaryParamsMake(ctx, direction, mode, params);
    }
    q.source.clear();
    if (int rc = keyQueryBuild(ctx, orientation, mode, params))
        return rc;
    const char *text = ks_RewrittenText(&ctx->keysetAnalysis);
    if (int rc = ScsLower()->Prepare(*stmt, text ? text : "")) {
        KS_BlockFree(params);
        ScsLower()->CloseCursor(*stmt);
        return rc;
    }
    q.source = std::move(source);
    return 0;
}

} // namespace

void KS_KeyQueriesForget(ScsContext *ctx)
{
    for (KsKeyQuery &q : ctx->keyQueries)
        q.source.clear();
}

int KS_GetKeySet(ScsContext *ctx, int16_t orientation, int32_t offset)
{
    if (!ctx || !ctx->keySet || !ctx->keySet->keyRows || !ctx->stmtText || !ctx->posStmt)
        return ERR_GENERAL;
    KeySet *ks = ctx->keySet;
    int rc = 0;

    // Direction, predicate and how many rows of the answer make the window.
    const int32_t K = ctx->opts.keysetSize > 0 ? ctx->opts.keysetSize : ctx->opts.rowsetSize;
    const int32_t held = ks->keyRows->rowsUsed;
    int16_t o = orientation;
    int16_t mode = KS_MODE_FAR;
    int64_t skip = 0, want = K;
    if (o == SQL_FETCH_RELATIVE) {
        KsRelativePlan plan{};
        if ((rc = ks_RelativePlan(K, held, offset, &plan)) != 0)
            return rc;
        o = plan.direction == KS_DIR_BACKWARD ? SQL_FETCH_PRIOR : SQL_FETCH_NEXT;
        mode = plan.mode;
        skip = plan.skip;
        want = plan.keep;
    } else if (o != SQL_FETCH_NEXT && o != SQL_FETCH_PRIOR && o != SQL_FETCH_FIRST && o != SQL_FETCH_LAST) {
        return ERR_GENERAL;
    }
    // A move from a window needs its boundary rows; without them the move
    // starts at the end it heads away from.
    if ((o == SQL_FETCH_NEXT || o == SQL_FETCH_PRIOR) && (!ctx->keysetBounds || ctx->keysetBounds->rowsUsed < 1)) {
        o = o == SQL_FETCH_NEXT ? SQL_FETCH_FIRST : SQL_FETCH_LAST;
        mode = KS_MODE_FAR;
        skip = 0;
        want = K;
    }
    const bool backward = o == SQL_FETCH_PRIOR || o == SQL_FETCH_LAST;

    if (ctx->sendParamTypes) {
        free(ctx->genParamTypes);
        ctx->genParamTypes = nullptr;
        ctx->genParamTypeCount = 0;
    }
    int stmt = 0;
    RowBlock *params = nullptr;
    if ((rc = keyQueryReady(ctx, o, mode, &stmt, &params)) != 0)
        return rc;
    if (params && ctx->fixedTextNul) {
        RowBlock *withNul = nullptr;
        rc = KS_ParamRowsetMake(params, 0, 1, 1, &withNul, 1, 0, 0, nullptr, nullptr);
        KS_BlockFree(&params);
        if (rc != 0)
            return rc;
        params = withNul;
    }

    // Run it on its own statement.
    if (ctx->scsFlags & SCS_F_PARAMS_SAVED) {
        RowBlock *app = KS_BlockNew();
        rc = app ? RB_Clone(app, ctx->savedParams) : ERR_MEMORY_ALLOCATION;
        if (rc == 0 && params)
            rc = RB_JoinColumns(app, params);
        if (rc != 0) {
            KS_BlockFree(&app);
            KS_BlockFree(&params);
            ScsLower()->CloseCursor(stmt);
            return rc;
        }
        // The boundary values stand in front of the application's own.
        KS_BlockFree(&params);
        params = app;
    }
    if (params) {
        RowBlock *handed = params;
        params = nullptr;
        if ((rc = ScsLower()->SetParams(stmt, handed)) != 0)
            return rc;
        if (ctx->sendParamTypes) {
            if ((rc = scs_p_AddParamDescs(ctx, nullptr, 0, 1)) != 0)
                return rc;
            if ((rc = ScsLower()->SetParamTypes(stmt, ctx->genParamTypeCount, ctx->genParamTypes)) != 0)
                return rc;
        }
    }
    // The window needs the skipped rows and its own, no more.
    auxRowLimitSet(stmt, skip + want);
    if ((rc = ScsLower()->Execute(stmt)) != 0)
        return rc;

    // The window: the rows after the skipped ones, in ascending order.
    ks_CloseData(ks);
    int64_t got = 0;
    if (skip > 0)
        rc = ks_FetchRows(stmt, skip, nullptr, 1, &got);
    if (rc == 0 && got == skip)
        rc = ks_FetchRows(stmt, want, ks->keyRows, 0, &got);
    else if (rc == 0)
        got = 0;
    if (rc == 0 && got == 0)
        rc = ERR_NO_DATA_FOUND;
    if (rc == 0) {
        const int32_t slots = std::max<int32_t>(K, ks->keyRows->rowsUsed);
        ks->statuses = static_cast<int16_t *>(calloc(static_cast<size_t>(slots), sizeof(int16_t)));
        if (!ks->statuses)
            rc = ERR_MEMORY_ALLOCATION;
        else
            ks->statusCount = slots;
    }
    if (rc == 0 && backward)
        rc = RB_ReverseRows(ks->keyRows);
    if (rc == 0) {
        for (int32_t i = ks->keyRows->rowsUsed; i < ks->statusCount; ++i)
            ks->statuses[i] = SQL_ROW_NOROW;
        ks->windowStart = 0;
        RowBlock *bounds = nullptr;
        rc = scs_p_GetKeySetBounds(ctx, &bounds);
        if (rc == 0) {
            KS_BlockFree(&ctx->keysetBounds);
            ctx->keysetBounds = bounds;
        }
    }
    ScsLower()->CloseCursor(stmt);
    return rc;
}

// Key windows of mixed and dynamic cursors: the keyset query with its
// scrolling predicate, the parameter row of the boundary values, and the
// read that refills the KeySet with the window's keys.
#include "odbc/contract/drv_items.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "scrs/sc_check.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyscroll.h"
#include "scrs/scs_keyset.h"
#include "scrs/scs_owners.h"
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
        scs_p_AnalysisFailureLog(SRC, copy, target);
    free(copy);
    return rc;
}

int ks_BoundaryParamsMake(ScsContext *ctx, int16_t direction, int16_t mode, RowBlock **out)
{
    if (!ctx || !out)
        return SC_ERR_GENERAL;
    *out = nullptr;
    const RowBlock *bounds = ctx->keysetBounds;
    if (!bounds || bounds->rowsUsed < 1)
        return SC_ERR_GENERAL;
    const int boundRow = ks_BoundaryRowGet(direction, mode) == KS_BOUND_FIRST ? 0 : bounds->rowsUsed - 1;
    std::string clause;
    std::vector<KsBoundaryParam> params;
    if (int rc = ks_ScrollWhereBuild(scrollOrder(ctx), direction, mode, 0, boundaryNulls(bounds, boundRow), &clause,
                                     &params))
        return rc;
    if (params.size() > 0xFFFF)
        return SC_ERR_GENERAL;

    // The boundary row alone, then one parameter column per marker.
    BlockOwner bound, p;
    int rc = RB_NewLike(bound.out(), bounds, 1);
    if (rc == 0)
        rc = RB_CopyRow(bound.get(), const_cast<RowBlock *>(bounds), 0, boundRow, 0);
    if (rc == 0)
        p.reset(KS_BlockNew());
    if (rc == 0 && !p)
        rc = ERR_MEMORY_ALLOCATION;
    if (rc == 0 && RB_Init(p.get(), static_cast<uint16_t>(params.size())) != 0)
        rc = ERR_MEMORY_ALLOCATION;
    if (rc == 0) {
        p->columnsUsed = static_cast<uint16_t>(params.size());
        for (size_t i = 0; i < params.size(); ++i) {
            if (params[i].selectCol >= bound->columnsUsed) {
                rc = SC_ERR_GENERAL;
                break;
            }
            p->columns[i].valueType = bound->columns[params[i].selectCol].valueType;
            p->columns[i].width = bound->columns[params[i].selectCol].width;
        }
    }
    for (size_t i = 0; rc == 0 && i < params.size(); ++i)
        rc = RB_CopyColumn(p.get(), bound.get(), static_cast<int>(i), params[i].selectCol);
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
    if (rc != 0)
        return rc;
    *out = p.release();
    return 0;
}

int ks_ScrollWhereSet(ScsContext *ctx, ScrAnalysedSql *sql, int16_t direction, int16_t mode, RowBlock **params)
{
    if (!ctx || !sql || !params)
        return SC_ERR_GENERAL;
    *params = nullptr;
    if (direction != KS_DIR_FORWARD && direction != KS_DIR_BACKWARD)
        return SC_ERR_GENERAL;
    if (!ctx->keysetBounds || ctx->keysetBounds->rowsUsed < 1)
        return SC_ERR_GENERAL;
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
        return SC_ERR_GENERAL;
    *params = nullptr;
    std::string list;
    if (int rc = ks_ScrollSelectListBuild(scrollOrder(ctx), &list))
        return rc;
    if (int rc = ks_MarkerSplice(sql, SCR_SelectListMark, list))
        return rc;
    if (orientation == SQL_FETCH_FIRST || orientation == SQL_FETCH_LAST)
        return 0;
    SqlOwner again;
    if (int rc = ks_Reanalyse(again.get(), sql, static_cast<int>(ctx->noCatalogs)))
        return rc;
    again.moveTo(sql);
    const int16_t direction = orientation == SQL_FETCH_PRIOR ? KS_DIR_BACKWARD
                              : orientation == SQL_FETCH_NEXT ? KS_DIR_FORWARD
                                                              : 0;
    return ks_ScrollWhereSet(ctx, sql, direction, mode, params);
}

int ks_FetchRows(int stmt, int64_t rows, RowBlock *into, int discard, int64_t *got)
{
    if (!got || (!discard && !into))
        return SC_ERR_GENERAL;
    *got = 0;
    while (*got < rows) {
        const int64_t ask = std::min<int64_t>(rows - *got, KS_FETCH_CHUNK);
        BlockRows piece;
        int rc = ScsLower()->Fetch(stmt, static_cast<uint16_t>(ask), &piece.rows);
        const int32_t n = rc == 0 ? piece.rows.rowsUsed : 0;
        if (rc == 0 && n > 0 && !discard) {
            if (into->columnsUsed == 0 && into->rowsUsed == 0) {
                RB_Free(into);
                *into = piece.rows;
                piece.rows = RowBlock{};
            } else {
                rc = RB_AppendRows(into, &piece.rows);
            }
        }
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
    {
        SqlOwner ordered;
        int rc = SCR_AnalyseSQL(ordered.get(), ctx->stmtText, 1, keep);
        if (rc != 0)
            scs_p_AnalysisFailureLog(SRC, ctx->stmtText, ordered.get());
        if (rc == 0)
            rc = KS_OrderByKeysSet(ordered.get(), ctx);
        if (rc == 0)
            rc = ks_Reanalyse(&ctx->keysetAnalysis, ordered.get(), keep);
        if (rc != 0)
            return rc;
    }
    BlockOwner made;
    if (int rc = ks_ScrollSelectBuild(ctx, &ctx->keysetAnalysis, orientation, mode, made.out()))
        return rc;
    if (orientation == SQL_FETCH_PRIOR || orientation == SQL_FETCH_LAST) {
        SqlOwner inv;
        int rc = ks_Reanalyse(inv.get(), &ctx->keysetAnalysis, keep);
        if (rc == 0)
            rc = SCR_OrderByInvert(inv.get());
        if (rc == 0 && !(inv->echo = STR_Dup(inv->tree->text)))
            rc = ERR_MEMORY_ALLOCATION;
        if (rc != 0)
            return rc;
        inv.moveTo(&ctx->keysetAnalysis);
    }
    *params = made.release();
    return 0;
}

// The statement of a read's keyset query, prepared with its text; only
// the boundary values (*params) are made when it holds that text already.
// 0, ERR_GENERAL when no statement can be had, the analyser's or the back
// end's number.
int keyQueryReady(ScsContext *ctx, int16_t orientation, int16_t mode, int *stmt, BlockOwner *params)
{
    KsKeyQuery &q = ctx->keyQueries[keyQuerySlot(orientation, mode)];
    if (!q.stmt) {
        int h = 0;
        if (ScsLower()->AllocStmt(static_cast<int>(ctx->drvConn), &h) != 0)
            return SC_ERR_GENERAL;
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
        return ks_BoundaryParamsMake(ctx, direction, mode, params->out());
    }
    q.source.clear();
    if (int rc = keyQueryBuild(ctx, orientation, mode, params->out()))
        return rc;
    const char *text = ks_RewrittenText(&ctx->keysetAnalysis);
    if (int rc = ScsLower()->Prepare(*stmt, text ? text : "")) {
        params->reset();
        ScsLower()->CloseCursor(*stmt);
        return rc;
    }
    q.source = std::move(source);
    return 0;
}

// How a read makes its key window: the kind of read and its predicate
// (orientation, mode), the rows of the answer skipped and kept, and whether
// the answer runs backward.
struct WindowPlan {
    int32_t size = 0;          // the window's rows: the keyset size, or the rowset size
    int16_t orientation = 0;   // NEXT, PRIOR, FIRST or LAST
    int16_t mode = KS_MODE_FAR;
    int64_t skip = 0;
    int64_t want = 0;
    bool backward = false;
};

// The plan of a read by orientation (RELATIVE becomes NEXT or PRIOR past the
// rows it skips).  0, ERR_GENERAL for another orientation, or the relative
// plan's number.
int windowPlanMake(const ScsContext *ctx, int16_t orientation, int32_t offset, WindowPlan *plan)
{
    plan->size = ctx->opts.keysetSize > 0 ? ctx->opts.keysetSize : ctx->opts.rowsetSize;
    plan->orientation = orientation;
    plan->want = plan->size;
    if (orientation == SQL_FETCH_RELATIVE) {
        KsRelativePlan relative{};
        if (int rc = ks_RelativePlan(plan->size, ctx->keySet->keyRows->rowsUsed, offset, &relative))
            return rc;
        plan->orientation = relative.direction == KS_DIR_BACKWARD ? SQL_FETCH_PRIOR : SQL_FETCH_NEXT;
        plan->mode = relative.mode;
        plan->skip = relative.skip;
        plan->want = relative.keep;
    } else if (orientation != SQL_FETCH_NEXT && orientation != SQL_FETCH_PRIOR && orientation != SQL_FETCH_FIRST &&
               orientation != SQL_FETCH_LAST) {
        return SC_ERR_GENERAL;
    }
    // A move from a window needs its boundary rows; without them the move
    // starts at the end it heads away from.
    const int16_t o = plan->orientation;
    if ((o == SQL_FETCH_NEXT || o == SQL_FETCH_PRIOR) && (!ctx->keysetBounds || ctx->keysetBounds->rowsUsed < 1)) {
        plan->orientation = o == SQL_FETCH_NEXT ? SQL_FETCH_FIRST : SQL_FETCH_LAST;
        plan->mode = KS_MODE_FAR;
        plan->skip = 0;
        plan->want = plan->size;
    }
    plan->backward = plan->orientation == SQL_FETCH_PRIOR || plan->orientation == SQL_FETCH_LAST;
    return 0;
}

// The parameters of a read's keyset query: the boundary values (with room
// for a terminator where fixed text needs one) in front of the
// application's own values.  *params stays empty when there are none.
int keyQueryParamsMake(ScsContext *ctx, BlockOwner *params)
{
    if (*params && ctx->fixedTextNul) {
        BlockOwner withNul;
        if (int rc = KS_ParamRowsetMake(params->get(), 0, 1, 1, withNul.out(), 1, 0, 0, nullptr, nullptr))
            return rc;
        params->reset(withNul.release());
    }
    if (ctx->scsFlags & SCS_F_PARAMS_SAVED) {
        BlockOwner app(KS_BlockNew());
        int rc = app ? RB_Clone(app.get(), ctx->savedParams) : ERR_MEMORY_ALLOCATION;
        if (rc == 0 && *params)
            rc = RB_JoinColumns(app.get(), params->get());
        if (rc != 0)
            return rc;
        params->reset(app.release());
    }
    return 0;
}

// Hands the parameters to the read's statement, describes them when the
// back end wants their types, bounds the answer to `rows` rows and runs it.
int keyQueryRun(ScsContext *ctx, int stmt, BlockOwner *params, int64_t rows)
{
    if (*params) {
        if (int rc = ScsLower()->SetParams(stmt, params->release()))
            return rc;
        if (ctx->sendParamTypes) {
            if (int rc = scs_p_AddParamDescs(ctx, nullptr, 0, 1))
                return rc;
            if (int rc = ScsLower()->SetParamTypes(stmt, ctx->genParamTypeCount, ctx->genParamTypes))
                return rc;
        }
    }
    auxRowLimitSet(stmt, rows);
    return ScsLower()->Execute(stmt);
}

// Refills the keyset from the read's answer: the skipped rows passed over,
// the window's rows in ascending order, a status slot per row of the window
// (no-row beyond the rows read), and the window's boundary rows kept.  0,
// ERR_NO_DATA_FOUND for an empty window, or the fetch's number.
int windowFill(ScsContext *ctx, int stmt, const WindowPlan &plan)
{
    KeySet *ks = ctx->keySet;
    ks_CloseData(ks);
    int64_t got = 0;
    int rc = 0;
    if (plan.skip > 0)
        rc = ks_FetchRows(stmt, plan.skip, nullptr, 1, &got);
    if (rc == 0 && got == plan.skip)
        rc = ks_FetchRows(stmt, plan.want, ks->keyRows, 0, &got);
    else if (rc == 0)
        got = 0;
    if (rc == 0 && got == 0)
        rc = ERR_NO_DATA_FOUND;
    if (rc != 0)
        return rc;
    const int32_t slots = std::max<int32_t>(plan.size, ks->keyRows->rowsUsed);
    ks->statuses = static_cast<int16_t *>(calloc(static_cast<size_t>(slots), sizeof(int16_t)));
    if (!ks->statuses)
        return ERR_MEMORY_ALLOCATION;
    ks->statusCount = slots;
    if (plan.backward && (rc = RB_ReverseRows(ks->keyRows)) != 0)
        return rc;
    for (int32_t i = ks->keyRows->rowsUsed; i < ks->statusCount; ++i)
        ks->statuses[i] = SQL_ROW_NOROW;
    ks->windowStart = 0;
    BlockOwner bounds;
    if ((rc = scs_p_GetKeySetBounds(ctx, bounds.out())) != 0)
        return rc;
    KS_BlockFree(&ctx->keysetBounds);
    ctx->keysetBounds = bounds.release();
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
        return SC_ERR_GENERAL;
    WindowPlan plan;
    if (int rc = windowPlanMake(ctx, orientation, offset, &plan))
        return rc;
    if (ctx->sendParamTypes) {
        free(ctx->genParamTypes);
        ctx->genParamTypes = nullptr;
        ctx->genParamTypeCount = 0;
    }
    int stmt = 0;
    BlockOwner params;
    if (int rc = keyQueryReady(ctx, plan.orientation, plan.mode, &stmt, &params))
        return rc;
    // The statement's answer is closed on every return from here on.
    AuxCursor answer(stmt);
    if (int rc = keyQueryParamsMake(ctx, &params))
        return rc;
    // The window needs the skipped rows and its own, no more.
    if (int rc = keyQueryRun(ctx, stmt, &params, plan.skip + plan.want))
        return rc;
    return windowFill(ctx, stmt, plan);
}

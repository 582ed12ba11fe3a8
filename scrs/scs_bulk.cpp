// Bulk operations of the cursor library (BulkOperations): rows named by
// bookmarks, which are absolute row numbers of a keyset-driven cursor's
// keyset or of a static cursor's static set (and its keyset), are updated
// or deleted one by one in the caller's order, like positioned changes of
// those rows, or read again (by their keys; a static cursor's from its
// static set) into a rowset in the caller's order.
#include "odbc/contract/errnum.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "scrs/sc_check.h"
#include "scrs/sc_dataset.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyset.h"
#include "scrs/scs_owners.h"
#include "scrs/scs_setpos.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>

namespace {

// Reads the rows of the current rowset again by their keys (the bookmarks
// all lie in it) and hands out a rowset of the named rows in the caller's
// order: row i is the row of bookmark i, with its status.
int fetchByBookmark(ScsContext *ctx, const uint32_t *bookmarks, uint16_t count, uint16_t *statuses,
                    uint16_t *done, RowsetCache **out)
{
    const int32_t first = ctx->place.absRow;
    const int32_t R = ctx->opts.rowsetSize;
    if (first < 1 || count > R)
        return SC_ERR_GENERAL;
    RowsetCache *current = nullptr;
    int rc = RS_Create(&current, R);
    if (rc == 0)
        rc = scs_p_FetchKeyset(ctx, current, first);
    RowsetCache *rs = nullptr;
    if (rc == 0)
        rc = RS_Create(&rs, R);
    if (rc == 0 && current->block->columnsUsed)
        rc = RB_NewLike(&rs->block, current->block, R);
    uint16_t got = 0;
    for (uint16_t i = 0; rc == 0 && i < count; ++i) {
        const int32_t at = static_cast<int32_t>(bookmarks[i]) - first;
        if (at < 0 || at >= current->block->rowsUsed) {
            rc = SC_ERR_GENERAL;   // outside the rowset the keys were read for
            break;
        }
        if ((rc = RB_CopyRow(rs->block, current->block, i, at, 0)) != 0)
            break;
        statuses[i] = current->status[at];
        rs->status[i] = current->status[at];
        if (statuses[i] != SQL_ROW_DELETED && statuses[i] != SQL_ROW_ERROR)
            ++got;
    }
    RS_Free(&current);
    if (rc != 0) {
        RS_Free(&rs);
        return rc;
    }
    *done = got;
    *out = rs;
    return 0;
}

// A static cursor's rows by bookmark: the rows of its static set (the rows
// it shows), in the caller's order, each with the status the keyset keeps
// for it (deleted or updated through this cursor).
int fetchStaticByBookmark(ScsContext *ctx, const uint32_t *bookmarks, uint16_t count, uint16_t *statuses,
                          uint16_t *done, RowsetCache **out)
{
    const int32_t R = ctx->opts.rowsetSize;
    if (count > R || !ctx->staticSet)
        return SC_ERR_GENERAL;
    const KeySet *ks = ctx->keySet;
    RowsetCache *rs = nullptr;
    int rc = RS_Create(&rs, R);
    BlockOwner one;
    uint16_t got = 0;
    for (uint16_t i = 0; rc == 0 && i < count; ++i) {
        const int64_t b = bookmarks[i];
        if (b < 1 || b > ctx->place.rowCount) {
            rc = SC_ERR_GENERAL;
            break;
        }
        const int32_t at = static_cast<int32_t>(b - 1);
        if ((rc = SS_GetRowset(ctx->staticSet, at, 1, one.slot())) != 0 || one->rowsUsed != 1) {
            rc = rc ? rc : SC_ERR_GENERAL;
            break;
        }
        if (i == 0 && (rc = RB_NewLike(&rs->block, one.get(), R)) != 0)
            break;
        if ((rc = RB_CopyRow(rs->block, one.get(), i, 0, 1)) != 0)
            break;
        const int16_t kept = ks && ks->statuses && at < ks->statusCount ? ks->statuses[at] : SQL_ROW_SUCCESS;
        const uint16_t st = kept == SQL_ROW_ERROR ? SQL_ROW_SUCCESS : static_cast<uint16_t>(kept);
        statuses[i] = st;
        rs->status[i] = st;
        if (st != SQL_ROW_DELETED)
            ++got;
    }
    if (rc != 0) {
        RS_Free(&rs);
        return rc;
    }
    *done = got;
    *out = rs;
    return 0;
}

} // namespace

int SCS_BulkOperations(int stmt, const CursorOptions *options, uint16_t op, const uint32_t *bookmarks,
                       uint16_t count, RowBlock *rowData, uint16_t *colMap, uint16_t colCount,
                       uint16_t **statuses, uint16_t *countOut, RowsetCache **rowset)
{
    (void)colCount;
    // The values and their columns are this routine's from the call on.
    struct Inputs {
        BlockOwner data;
        uint16_t *cols;
        ~Inputs() { free(cols); }
    } inputs{BlockOwner(rowData), colMap};
    if (statuses)
        *statuses = nullptr;
    if (countOut)
        *countOut = 0;
    if (rowset)
        *rowset = nullptr;
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx || !statuses)
        return ERR_INVALID_ARGUMENT;
    if (op == SQL_ADD || !bookmarks || count == 0 || (op == SQL_UPDATE_BY_BOOKMARK && (!rowData || !colMap)))
        return SC_ERR_GENERAL;
    scs_p_OptionsTake(ctx, options);
    const int32_t type = scs_p_CursorType(ctx);
    const bool keyset = type == SCS_KEYSET && ctx->opts.keysetSize == 0;
    if (!(keyset || type == SCS_STATIC) ||
        (op != SQL_UPDATE_BY_BOOKMARK && op != SQL_DELETE_BY_BOOKMARK && op != SQL_FETCH_BY_BOOKMARK))
        return ERR_NOT_CAPABLE;
    int rc;
    if (op == SQL_FETCH_BY_BOOKMARK) {
        if (!rowset)
            return ERR_INVALID_ARGUMENT;
        auto *st = static_cast<uint16_t *>(malloc(count * sizeof(uint16_t)));
        if (!st)
            return ERR_MEMORY_ALLOCATION;
        for (uint16_t i = 0; i < count; ++i)
            st[i] = SQL_ROW_ERROR;
        *statuses = st;
        if (countOut)
            *countOut = count;
        uint16_t done = 0;
        rc = keyset ? fetchByBookmark(ctx, bookmarks, count, st, &done, rowset)
                    : fetchStaticByBookmark(ctx, bookmarks, count, st, &done, rowset);
    } else {
        const uint16_t posOp = op == SQL_UPDATE_BY_BOOKMARK ? SQL_UPDATE : SQL_DELETE;
        rc = scs_p_PosChange(ctx, posOp, -2, statuses, countOut, rowData, colMap, bookmarks, count);
    }
    if (rc != 0)
        scs_p_AuxDiagsMove(ctx);
    return rc;
}

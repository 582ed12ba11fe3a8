// Bulk operations of the cursor library (op slot 42): rows named by
// bookmarks, which are absolute row numbers of a keyset-driven cursor's
// keyset, are updated or deleted one by one in the caller's order, like
// positioned changes of those rows.
#include "odbc/contract/errnum.h"
#include "odbc/contract/rowblock.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_setpos.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>

int SCS_BulkOperations(int stmt, uint16_t op, const uint32_t *bookmarks, uint16_t count, RowBlock *rowData,
                       uint16_t *colMap, uint16_t colCount, uint16_t **statuses, uint16_t *countOut,
                       RowsetCache **rowset)
{
    (void)colCount;
    // The values and their columns are this routine's from the call on.
    struct Inputs {
        RowBlock *data;
        uint16_t *cols;
        ~Inputs()
        {
            if (data) {
                RB_Free(data);
                free(data);
            }
            free(cols);
        }
    } inputs{rowData, colMap};
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
        return ERR_GENERAL;
    scs_p_OptionsSync(ctx);
    const bool keyset = scs_p_CursorType(ctx) == SCS_KEYSET && ctx->cs.keysetSize == 0;
    if (!keyset || (op != SQL_UPDATE_BY_BOOKMARK && op != SQL_DELETE_BY_BOOKMARK))
        return ERR_NOT_CAPABLE;
    const uint16_t posOp = op == SQL_UPDATE_BY_BOOKMARK ? SQL_UPDATE : SQL_DELETE;
    int rc = scs_p_PosChange(ctx, posOp, -2, statuses, countOut, rowData, colMap, bookmarks, count);
    if (rc != 0)
        scs_p_AuxDiagsMove(ctx);
    return rc;
}

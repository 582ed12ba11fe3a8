// Heap row blocks as the keyset, window, lock and value routines pass them
// around, the owners of scs_owners.h, and the split of key cells off a
// fetched block.
#include "odbc/contract/errnum.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "scrs/sc_check.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyset.h"
#include "scrs/scs_owners.h"

#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <vector>

RowBlock *KS_BlockNew() { return static_cast<RowBlock *>(calloc(1, sizeof(RowBlock))); }

void KS_BlockFree(RowBlock **b)
{
    if (b && *b) {
        RB_Free(*b);
        free(*b);
        *b = nullptr;
    }
}

void BlockOwner::reset(RowBlock *block)
{
    KS_BlockFree(&b_);
    b_ = block;
}

AuxCursor::~AuxCursor() { close(); }

int AuxCursor::close()
{
    const int stmt = stmt_;
    stmt_ = 0;
    return stmt ? ScsLower()->CloseCursor(stmt) : 0;
}

CatalogArgsOwner::~CatalogArgsOwner()
{
    for (char *t : a.text)
        free(t);
}

int CatalogArgsOwner::set(int i, const std::string &t)
{
    free(a.text[i]);
    a.text[i] = strdup(t.c_str());
    return a.text[i] ? 0 : ERR_MEMORY_ALLOCATION;
}

RowBlock *KS_BlockClone(const RowBlock *source)
{
    RowBlock *copy = KS_BlockNew();
    if (copy && source && RB_Clone(copy, source) != 0) {
        free(copy);
        return nullptr;
    }
    return copy;
}

int KS_KeysSplitOff(RowBlock *rows, uint16_t keys, RowBlock *out)
{
    if (rows->columnsUsed < keys)
        return SC_ERR_GENERAL;
    if (RB_Init(out, keys) != 0)
        return ERR_MEMORY_ALLOCATION;
    const uint16_t from = static_cast<uint16_t>(rows->columnsUsed - keys);
    for (uint16_t k = 0; k < keys; ++k) {
        out->columns[k] = rows->columns[from + k];
        rows->columns[from + k] = RowBlockColumn{};
    }
    out->columnsUsed = keys;
    out->rowsAllocated = rows->rowsAllocated;
    out->rowsUsed = rows->rowsUsed;
    rows->columnsUsed = from;
    return 0;
}

int KS_RowsPlaceByKeys(const RowBlock *keyRows, int32_t at, int32_t count, RowBlock *fetched,
                       const RowBlock *fetchedKeys, RowBlock *out, int16_t *statuses, int32_t statusFirst,
                       int32_t statusCount)
{
    std::vector<bool> taken(static_cast<size_t>(fetched->rowsUsed), false);
    int rc = 0;
    for (int32_t k = 0; rc == 0 && k < count; ++k) {
        int32_t match = -1;
        for (int32_t j = 0; rc == 0 && match < 0 && j < fetchedKeys->rowsUsed; ++j) {
            int equal = 0;
            if (!taken[static_cast<size_t>(j)] &&
                (rc = RB_CompareRows(keyRows, at + k, fetchedKeys, j, &equal)) == 0 && equal)
                match = j;
        }
        if (rc != 0)
            break;
        if (match >= 0) {
            taken[static_cast<size_t>(match)] = true;
            rc = RB_CopyRow(out, fetched, k, match, 1);
        } else {
            rc = RB_InsertRow(out, k);
            const int32_t s = statusFirst + k;
            if (rc == 0 && statuses && s >= 0 && s < statusCount)
                statuses[s] = SQL_ROW_DELETED;
        }
    }
    return rc;
}

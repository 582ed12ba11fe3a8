// Heap row blocks as the keyset, window, lock and value routines pass them
// around, and the split of key cells off a fetched block.
#include "odbc/contract/errnum.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "scrs/scs_keyset.h"

#include <cstdlib>

RowBlock *KS_BlockNew() { return static_cast<RowBlock *>(calloc(1, sizeof(RowBlock))); }

void KS_BlockFree(RowBlock **b)
{
    if (b && *b) {
        RB_Free(*b);
        free(*b);
        *b = nullptr;
    }
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
        return ERR_GENERAL;
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

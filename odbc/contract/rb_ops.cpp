// The row-block reshaping operations of rb_ops.h: rows inserted, copied,
// appended, compared and reversed, columns inserted, copied, widened and
// deleted, cells read and cut, wide text columns turned narrow.  Each checks
// its blocks before it changes anything.
#include "odbc/contract/rb_ops.h"

#include <cstdlib>
#include <cstring>

#include "odbc/contract/errnum.h"
#include "util/codepage.h"

namespace {

bool IsHeap(ValueType t) { return t == VT_HEAP_TEXT || t == VT_HEAP_BINARY || t == VT_HEAP_WTEXT; }

// A block whose used columns can be indexed.
bool Usable(const RowBlock *b) {
    return b && b->columnsUsed <= b->columnsAllocated && (b->columnsUsed == 0 || b->columns) &&
           b->rowsUsed >= 0 && b->rowsUsed <= b->rowsAllocated;
}

uint8_t *CellAt(const RowBlockColumn &c, int32_t row) { return c.data + size_t(row) * c.width; }

LongDataBuf *HeapAt(const RowBlockColumn &c, int32_t row) {
    return reinterpret_cast<LongDataBuf *>(CellAt(c, row));
}

uint32_t Load32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
uint16_t Load16(const uint8_t *p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
void Store32(uint8_t *p, uint32_t v) { std::memcpy(p, &v, 4); }
void Store16(uint8_t *p, uint16_t v) { std::memcpy(p, &v, 2); }

uint64_t Min(uint64_t a, uint64_t b) { return a < b ? a : b; }

// Bytes of the value in a heap cell (UTF-16 units count twice).
uint64_t HeapBytes(ValueType t, const LongDataBuf &h) {
    return t == VT_HEAP_WTEXT ? uint64_t(h.length) * 2 : h.length;
}

// Frees the heap value of a cell and clears the cell.
void ClearCell(const RowBlockColumn &c, int32_t row) {
    if (IsHeap(c.valueType)) std::free(HeapAt(c, row)->data);
    std::memset(CellAt(c, row), 0, c.width);
}

// A heap copy of a heap value, with two zero bytes after it.
bool DupHeap(ValueType t, const LongDataBuf &src, LongDataBuf *dst) {
    dst->length = src.length;
    dst->data = nullptr;
    if (!src.data) return true;
    uint64_t bytes = HeapBytes(t, src);
    auto *p = static_cast<char *>(std::calloc(size_t(bytes) + 2, 1));
    if (!p) return false;
    std::memcpy(p, src.data, size_t(bytes));
    dst->data = p;
    return true;
}

struct CellView {
    const uint8_t *p;
    uint64_t len;
};

// Length prefix size and the unit size of the value behind it.
struct PrefixRule {
    ValueType type;
    uint32_t prefix;
    uint32_t unit;
};
constexpr PrefixRule kPrefixed[] = {
    {VT_TEXT1, 1, 1}, {VT_BIN1, 1, 1}, {VT_TEXT2, 2, 1}, {VT_BIN2, 2, 1},
    {VT_TEXT4, 4, 1}, {VT_BIN4, 4, 1}, {VT_WTEXT4, 4, 2},
};

const PrefixRule *FindPrefix(ValueType t) {
    for (const PrefixRule &r : kPrefixed)
        if (r.type == t) return &r;
    return nullptr;
}

uint32_t LoadPrefix(const uint8_t *p, uint32_t size) {
    return size == 1 ? *p : size == 2 ? Load16(p) : Load32(p);
}
void StorePrefix(uint8_t *p, uint32_t size, uint32_t v) {
    if (size == 1) *p = uint8_t(v);
    else if (size == 2) Store16(p, uint16_t(v));
    else Store32(p, v);
}

// The bytes of one value, bounded by its cell.
CellView ValueOf(const RowBlockColumn &c, int32_t row) {
    const uint8_t *cell = CellAt(c, row);
    if (IsHeap(c.valueType)) {
        const LongDataBuf *h = HeapAt(c, row);
        if (!h->data) return {nullptr, 0};
        return {reinterpret_cast<const uint8_t *>(h->data), HeapBytes(c.valueType, *h)};
    }
    if (const PrefixRule *r = FindPrefix(c.valueType)) {
        if (c.width < r->prefix) return {cell, 0};
        uint64_t len = uint64_t(LoadPrefix(cell, r->prefix)) * r->unit;
        return {cell + r->prefix, Min(len, c.width - r->prefix)};
    }
    if (c.valueType == VT_NTS) {
        const void *nul = std::memchr(cell, 0, c.width);
        return {cell, nul ? uint64_t(static_cast<const uint8_t *>(nul) - cell) : c.width};
    }
    if (c.valueType == VT_WNTS) {
        uint64_t units = c.width / 2, n = 0;
        while (n < units && Load16(cell + 2 * n) != 0) ++n;
        return {cell, 2 * n};
    }
    return {cell, c.width};
}

bool SameLayout(const RowBlock *a, const RowBlock *b) {
    if (a->columnsUsed != b->columnsUsed) return false;
    for (uint16_t i = 0; i < a->columnsUsed; ++i)
        if (a->columns[i].valueType != b->columns[i].valueType || a->columns[i].width != b->columns[i].width)
            return false;
    return true;
}

// Gives the used columns (except `skip`) storage for newRows rows, keeping
// the first oldRows rows; all or nothing.
int GrowColumns(RowBlockColumn *cols, uint16_t n, int32_t oldRows, int32_t newRows, int skip) {
    if (newRows <= oldRows) return 0;
    auto *fresh = static_cast<RowBlockColumn *>(std::calloc(n ? n : 1, sizeof(RowBlockColumn)));
    if (!fresh) return ERR_MEMORY_ALLOCATION;
    for (uint16_t k = 0; k < n; ++k) {
        if (int(k) == skip) continue;
        fresh[k].valueType = cols[k].valueType;
        fresh[k].width = cols[k].width;
        if (RB_AllocColumn(&fresh[k], newRows)) {
            for (uint16_t u = 0; u < k; ++u) RB_FreeColumn(&fresh[u], 0);
            std::free(fresh);
            return ERR_MEMORY_ALLOCATION;
        }
    }
    for (uint16_t k = 0; k < n; ++k) {
        if (int(k) == skip) continue;
        if (cols[k].data && oldRows > 0) {
            std::memcpy(fresh[k].data, cols[k].data, size_t(oldRows) * cols[k].width);
            std::memcpy(fresh[k].indicators, cols[k].indicators, size_t(oldRows) * sizeof(int16_t));
        }
        std::free(cols[k].data);  // heap values moved with their cells
        std::free(cols[k].indicators);
        cols[k].data = fresh[k].data;
        cols[k].indicators = fresh[k].indicators;
    }
    std::free(fresh);
    return 0;
}

}  // namespace

int RB_InsertRow(RowBlock *block, int32_t pos) {
    if (!Usable(block) || block->columnsUsed == 0) return ERR_GENERAL;
    int32_t used = block->rowsUsed;
    if (pos < 0 || pos > used || used >= block->rowsAllocated) return ERR_GENERAL;
    for (uint16_t k = 0; k < block->columnsUsed; ++k) {
        RowBlockColumn &c = block->columns[k];
        ClearCell(c, used);
        size_t moved = size_t(used - pos);
        std::memmove(CellAt(c, pos + 1), CellAt(c, pos), moved * c.width);
        std::memmove(c.indicators + pos + 1, c.indicators + pos, moved * sizeof(int16_t));
        std::memset(CellAt(c, pos), 0, c.width);
        c.indicators[pos] = RB_IND_NULL;
    }
    block->rowsUsed = used + 1;
    return 0;
}

int RB_CompareRows(const RowBlock *a, int32_t ra, const RowBlock *b, int32_t rb, int *equal) {
    if (!equal || !Usable(a) || !Usable(b)) return ERR_GENERAL;
    if (a->columnsUsed == 0 || ra < 0 || ra >= a->rowsUsed || rb < 0 || rb >= b->rowsUsed) return ERR_GENERAL;
    if (!SameLayout(a, b)) return ERR_GENERAL;
    *equal = 0;
    for (uint16_t k = 0; k < a->columnsUsed; ++k) {
        const RowBlockColumn &ca = a->columns[k], &cb = b->columns[k];
        int16_t ia = ca.indicators[ra], ib = cb.indicators[rb];
        if (ia < 0 || ib < 0) {
            if (ia != ib) return 0;
            continue;
        }
        CellView va = ValueOf(ca, ra), vb = ValueOf(cb, rb);
        if (va.len != vb.len) return 0;
        if (va.len && std::memcmp(va.p, vb.p, size_t(va.len)) != 0) return 0;
    }
    *equal = 1;
    return 0;
}

int RB_Clone(RowBlock *out, const RowBlock *source) {
    if (!out || out == source || !Usable(source)) return ERR_GENERAL;
    RowBlock n{};
    if (RB_Init(&n, source->columnsAllocated)) return ERR_MEMORY_ALLOCATION;
    int32_t rows = source->rowsUsed;
    if (rows > 0) {
        n.columnsUsed = source->columnsUsed;
        n.rowsAllocated = rows;
        n.rowsUsed = rows;
        for (uint16_t k = 0; k < n.columnsUsed; ++k) {
            const RowBlockColumn &s = source->columns[k];
            RowBlockColumn &d = n.columns[k];
            d.valueType = s.valueType;
            d.width = s.width;
            if (RB_AllocColumn(&d, rows)) {
                RB_Free(&n);
                return ERR_MEMORY_ALLOCATION;
            }
            std::memcpy(d.indicators, s.indicators, size_t(rows) * sizeof(int16_t));
            if (!IsHeap(s.valueType)) {
                std::memcpy(d.data, s.data, size_t(rows) * s.width);
                continue;
            }
            for (int32_t r = 0; r < rows; ++r) {
                if (!DupHeap(s.valueType, *HeapAt(s, r), HeapAt(d, r))) {
                    RB_Free(&n);
                    return ERR_MEMORY_ALLOCATION;
                }
            }
        }
    }
    *out = n;
    return 0;
}

int RB_CopyRow(RowBlock *target, RowBlock *source, int32_t a, int32_t b, int handOver) {
    if (!Usable(target) || !Usable(source) || !SameLayout(target, source)) return ERR_GENERAL;
    if (source->rowsUsed <= 0 || b < 0 || b >= source->rowsUsed || a < 0) return ERR_GENERAL;
    if (a >= target->rowsUsed) {
        if (target->rowsAllocated == 0 || a >= target->rowsAllocated) return ERR_GENERAL;
        a = target->rowsUsed;
    }
    if (target == source && a == b) return 0;
    uint16_t n = target->columnsUsed;

    // Duplicates first, so that running out of memory changes nothing.  A row
    // without heap values needs none; a few columns fit on the stack.
    bool anyHeap = false;
    for (uint16_t k = 0; k < n && !anyHeap; ++k) anyHeap = IsHeap(source->columns[k].valueType);
    LongDataBuf local[16];
    LongDataBuf *dups = nullptr;
    if (!handOver && anyHeap) {
        if (n <= 16) {
            std::memset(local, 0, sizeof local);
            dups = local;
        } else {
            dups = static_cast<LongDataBuf *>(std::calloc(n, sizeof(LongDataBuf)));
            if (!dups) return ERR_MEMORY_ALLOCATION;
        }
        for (uint16_t k = 0; k < n; ++k) {
            const RowBlockColumn &s = source->columns[k];
            if (!IsHeap(s.valueType) || s.indicators[b] == RB_IND_NULL) continue;
            if (!DupHeap(s.valueType, *HeapAt(s, b), &dups[k])) {
                for (uint16_t u = 0; u < k; ++u) std::free(dups[u].data);
                if (dups != local) std::free(dups);
                return ERR_MEMORY_ALLOCATION;
            }
        }
    }
    for (uint16_t k = 0; k < n; ++k) {
        RowBlockColumn &t = target->columns[k];
        RowBlockColumn &s = source->columns[k];
        ClearCell(t, a);
        std::memcpy(CellAt(t, a), CellAt(s, b), t.width);
        t.indicators[a] = s.indicators[b];
        if (!IsHeap(t.valueType)) continue;
        if (handOver) {
            if (HeapAt(s, b)->data) s.indicators[b] = RB_IND_NULL;
            std::memset(CellAt(s, b), 0, s.width);
        } else {
            *HeapAt(t, a) = dups[k];
        }
    }
    if (dups != local) std::free(dups);
    if (a == target->rowsUsed) target->rowsUsed++;
    return 0;
}

int RB_AppendRows(RowBlock *target, RowBlock *source) {
    if (!Usable(target) || !Usable(source) || target == source || !SameLayout(target, source)) return ERR_GENERAL;
    if (source->rowsUsed == 0) return 0;
    int64_t total64 = int64_t(target->rowsUsed) + source->rowsUsed;
    if (total64 > INT32_MAX) return ERR_MEMORY_ALLOCATION;
    int32_t total = int32_t(total64), tu = target->rowsUsed, su = source->rowsUsed;
    uint16_t n = target->columnsUsed;

    // Appended in place; a full target grows geometrically, every used
    // column to the same new capacity.
    if (total > target->rowsAllocated) {
        int64_t cap = int64_t(target->rowsAllocated) * 2;
        if (cap < total) cap = total;
        if (cap > INT32_MAX) cap = INT32_MAX;
        int rc = GrowColumns(target->columns, n, tu, int32_t(cap), -1);
        if (rc && cap > total) {  // no room for the doubling: take just what is needed
            cap = total;
            rc = GrowColumns(target->columns, n, tu, total, -1);
        }
        if (rc) return rc;
        target->rowsAllocated = int32_t(cap);
    }
    for (uint16_t k = 0; k < n; ++k) {
        RowBlockColumn &t = target->columns[k];
        RowBlockColumn &s = source->columns[k];
        if (IsHeap(t.valueType))
            for (int32_t r = tu; r < total; ++r) std::free(HeapAt(t, r)->data);
        std::memcpy(CellAt(t, tu), s.data, size_t(su) * s.width);
        std::memcpy(t.indicators + tu, s.indicators, size_t(su) * sizeof(int16_t));
        if (IsHeap(s.valueType)) {
            // The heap values moved with their cells.
            for (int32_t r = 0; r < su; ++r) {
                if (HeapAt(s, r)->data) s.indicators[r] = RB_IND_NULL;
                std::memset(CellAt(s, r), 0, s.width);
            }
        }
    }
    target->rowsUsed = total;
    return 0;
}

int RB_JoinColumns(RowBlock *target, RowBlock *source) {
    if (!Usable(target) || !Usable(source) || target == source) return ERR_GENERAL;
    if (!target->columns || !source->columns || target->columnsUsed == 0 || source->columnsUsed == 0)
        return ERR_GENERAL;
    if (target->rowsUsed != source->rowsUsed) return ERR_GENERAL;
    uint32_t sum = uint32_t(target->columnsUsed) + source->columnsUsed;
    if (sum > UINT16_MAX) return ERR_GENERAL;
    auto *cols = static_cast<RowBlockColumn *>(std::calloc(sum, sizeof(RowBlockColumn)));
    if (!cols) return ERR_MEMORY_ALLOCATION;
    // Both halves keep storage for the larger capacity.
    int32_t cap = target->rowsAllocated > source->rowsAllocated ? target->rowsAllocated : source->rowsAllocated;
    std::memcpy(cols, source->columns, source->columnsUsed * sizeof(RowBlockColumn));
    std::memcpy(cols + source->columnsUsed, target->columns, target->columnsUsed * sizeof(RowBlockColumn));
    RowBlockColumn *grow = source->rowsAllocated < cap ? cols : cols + source->columnsUsed;
    uint16_t growN = source->rowsAllocated < cap ? source->columnsUsed : target->columnsUsed;
    int32_t growFrom = source->rowsAllocated < cap ? source->rowsAllocated : target->rowsAllocated;
    if (GrowColumns(grow, growN, growFrom, cap, -1)) {
        // GrowColumns changed nothing; the copies in cols still alias the originals.
        std::free(cols);
        return ERR_MEMORY_ALLOCATION;
    }
    for (uint16_t k = 0; k < source->columnsUsed; ++k) {
        source->columns[k].data = nullptr;
        source->columns[k].indicators = nullptr;
    }
    std::free(target->columns);
    target->columns = cols;
    target->columnsUsed = uint16_t(sum);
    target->columnsAllocated = uint16_t(sum);
    target->rowsAllocated = cap;
    source->rowsUsed = 0;
    source->rowsAllocated = 0;
    return 0;
}

int RB_NewLike(RowBlock **block, const RowBlock *pattern, int32_t rows) {
    if (!block || !Usable(pattern) || rows < 0) return ERR_GENERAL;
    uint16_t nAlloc = pattern->columnsAllocated, nUsed = pattern->columnsUsed;
    // The layout is taken before *block is emptied: it may be the pattern.
    auto *layout = static_cast<RowBlockColumn *>(std::calloc(nUsed ? nUsed : 1, sizeof(RowBlockColumn)));
    if (!layout) return ERR_MEMORY_ALLOCATION;
    for (uint16_t k = 0; k < nUsed; ++k) {
        layout[k].valueType = pattern->columns[k].valueType;
        layout[k].width = pattern->columns[k].width;
    }
    RowBlock *b = *block;
    bool made = false;
    if (b) {
        RB_Free(b);
    } else {
        b = static_cast<RowBlock *>(std::calloc(1, sizeof(RowBlock)));
        if (!b) {
            std::free(layout);
            return ERR_MEMORY_ALLOCATION;
        }
        made = true;
    }
    int rc = RB_Init(b, nAlloc) ? ERR_MEMORY_ALLOCATION : 0;
    if (!rc) {
        if (nUsed > 0)
            std::memcpy(b->columns, layout, nUsed * sizeof(RowBlockColumn));
        b->columnsUsed = nUsed;
        rc = RB_AllocRows(b, rows);
    }
    std::free(layout);
    if (rc) {
        RB_Free(b);
        if (made) std::free(b);
        return rc;
    }
    *block = b;
    return 0;
}

int RB_ReverseRows(RowBlock *block) {
    if (!Usable(block)) return ERR_GENERAL;
    RowBlock *rev = nullptr;
    int rc = RB_NewLike(&rev, block, block->rowsAllocated);
    if (rc) return rc;
    int32_t n = block->rowsUsed;
    for (int32_t i = 0; i < n && !rc; ++i) rc = RB_CopyRow(rev, block, i, n - 1 - i, 0);
    if (rc) {
        RB_Free(rev);
        std::free(rev);
        return rc;
    }
    rev->rowsUsed = n;  // also for blocks without columns
    RB_Free(block);
    *block = *rev;
    std::free(rev);
    return 0;
}

int RB_DeleteColumn(RowBlock *block, int i) {
    if (!Usable(block) || i < 0 || i >= block->columnsUsed) return ERR_GENERAL;
    RB_FreeColumn(&block->columns[i], block->rowsAllocated);
    uint16_t last = block->columnsUsed - 1;
    std::memmove(&block->columns[i], &block->columns[i + 1], size_t(last - i) * sizeof(RowBlockColumn));
    std::memset(&block->columns[last], 0, sizeof(RowBlockColumn));
    block->columnsUsed = last;
    return 0;
}

int RB_GetColumnInfo(const RowBlock *block, int i, ValueType *type, uint32_t *width) {
    if (!Usable(block) || i < 0 || i >= block->columnsUsed) return ERR_GENERAL;
    if (type) *type = block->columns[i].valueType;
    if (width) *width = block->columns[i].width;
    return 0;
}

int RB_InsertColumn(RowBlock *block, int pos, ValueType type, uint32_t width) {
    if (!Usable(block) || pos < 0 || pos > block->columnsUsed || block->columnsAllocated == UINT16_MAX)
        return ERR_GENERAL;
    RowBlockColumn nc{};
    nc.valueType = type;
    nc.width = width;
    if (RB_AllocColumn(&nc, block->rowsAllocated)) return ERR_MEMORY_ALLOCATION;
    uint16_t oldN = block->columnsAllocated;
    auto *cols = static_cast<RowBlockColumn *>(std::calloc(size_t(oldN) + 1, sizeof(RowBlockColumn)));
    if (!cols) {
        RB_FreeColumn(&nc, 0);
        return ERR_MEMORY_ALLOCATION;
    }
    if (block->columns) {
        std::memcpy(cols, block->columns, size_t(pos) * sizeof(RowBlockColumn));
        std::memcpy(cols + pos + 1, block->columns + pos, size_t(oldN - pos) * sizeof(RowBlockColumn));
    }
    cols[pos] = nc;
    std::free(block->columns);
    block->columns = cols;
    block->columnsAllocated = oldN + 1;
    block->columnsUsed++;
    return 0;
}

int RB_CopyColumn(RowBlock *target, const RowBlock *source, int i, int j) {
    if (!Usable(target) || !Usable(source)) return ERR_GENERAL;
    if (i < 0 || i >= target->columnsUsed || j < 0 || j >= source->columnsUsed) return ERR_GENERAL;
    if (target == source && i == j) return ERR_GENERAL;
    if (target->rowsUsed > 0 && target->rowsUsed != source->rowsUsed) return ERR_GENERAL;
    const RowBlockColumn &s = source->columns[j];
    if (s.valueType != target->columns[i].valueType || s.width != target->columns[i].width) return ERR_GENERAL;
    int32_t rows = source->rowsUsed;
    if (rows == 0) return 0;
    int32_t cap = target->rowsAllocated > rows ? target->rowsAllocated : rows;

    RowBlockColumn nc{};
    nc.valueType = s.valueType;
    nc.width = s.width;
    if (RB_AllocColumn(&nc, cap)) return ERR_MEMORY_ALLOCATION;
    std::memcpy(nc.indicators, s.indicators, size_t(rows) * sizeof(int16_t));
    if (!IsHeap(s.valueType)) {
        std::memcpy(nc.data, s.data, size_t(rows) * s.width);
    } else {
        for (int32_t r = 0; r < rows; ++r) {
            if (s.indicators[r] == RB_IND_NULL) continue;
            if (!DupHeap(s.valueType, *HeapAt(s, r), HeapAt(nc, r))) {
                RB_FreeColumn(&nc, rows);
                return ERR_MEMORY_ALLOCATION;
            }
        }
    }
    if (GrowColumns(target->columns, target->columnsUsed, target->rowsAllocated, cap, i)) {
        RB_FreeColumn(&nc, rows);
        return ERR_MEMORY_ALLOCATION;
    }
    RB_FreeColumn(&target->columns[i], target->rowsAllocated);
    target->columns[i] = nc;
    target->rowsAllocated = cap;
    target->rowsUsed = rows;
    return 0;
}

namespace {

// The type and width a column takes to hold values of `size`; false when
// the column stays as it is.
bool WidenedLayout(const RowBlockColumn &c, uint32_t size, ValueType *type, uint64_t *width) {
    switch (c.valueType) {
    case VT_CHAR:
    case VT_BINARY:
        if (c.width >= size) return false;
        *type = c.valueType == VT_CHAR ? VT_TEXT4 : VT_BIN4;
        *width = RB_ValueWidth(*type, size);
        return true;
    case VT_WCHAR: {
        uint64_t w = RB_ValueWidth(VT_WTEXT4, size);
        if (c.width >= w) return false;
        uint64_t keep = RB_ValueWidth(VT_WTEXT4, c.width / 2);  // the old value must fit too
        *type = VT_WTEXT4;
        *width = w > keep ? w : keep;
        return true;
    }
    case VT_NTS: case VT_TEXT1: case VT_TEXT2: case VT_TEXT4: case VT_BIN1: case VT_BIN2:
    case VT_BIN4: case VT_WNTS: case VT_WTEXT4: {
        uint64_t w = RB_ValueWidth(c.valueType, size);
        if (c.width >= w) return false;
        *type = c.valueType;
        *width = w;
        return true;
    }
    default:
        return false;
    }
}

// Gives every heap value a block of at least `size` bytes.
int WidenHeapColumn(const RowBlockColumn &c, int32_t rows, uint32_t size) {
    for (int32_t r = 0; r < rows; ++r) {
        LongDataBuf *h = HeapAt(c, r);
        uint64_t have = HeapBytes(c.valueType, *h);
        if (h->data && have >= size) continue;
        auto *p = static_cast<char *>(std::calloc(size_t(size) + 2, 1));
        if (!p) return ERR_MEMORY_ALLOCATION;
        if (h->data && c.indicators[r] >= 0) std::memcpy(p, h->data, size_t(have));
        std::free(h->data);
        h->data = p;
    }
    return 0;
}

}  // namespace

int RB_WidenColumn(RowBlock *block, int i, uint32_t size) {
    if (!Usable(block) || i < 0 || i >= block->columnsUsed) return ERR_GENERAL;
    RowBlockColumn &c = block->columns[i];
    if (IsHeap(c.valueType)) return c.data ? WidenHeapColumn(c, block->rowsUsed, size) : 0;
    ValueType type;
    uint64_t width;
    if (!WidenedLayout(c, size, &type, &width)) return 0;
    if (width > UINT32_MAX) return ERR_MEMORY_ALLOCATION;
    RowBlockColumn nc{};
    nc.valueType = type;
    nc.width = uint32_t(width);
    if (RB_AllocColumn(&nc, block->rowsAllocated)) return ERR_MEMORY_ALLOCATION;
    if (block->rowsAllocated > 0)
        std::memcpy(nc.indicators, c.indicators, size_t(block->rowsAllocated) * sizeof(int16_t));
    for (int32_t r = 0; r < block->rowsUsed; ++r) {
        const uint8_t *from = CellAt(c, r);
        uint8_t *to = CellAt(nc, r);
        bool isNull = c.indicators[r] < 0;
        if (c.valueType == VT_CHAR || c.valueType == VT_BINARY) {
            Store32(to, isNull ? 0 : c.width);
            if (!isNull) std::memcpy(to + 4, from, c.width);
        } else if (c.valueType == VT_WCHAR) {
            uint32_t units = c.width / 2;
            Store32(to, isNull ? 0 : units);
            if (!isNull) std::memcpy(to + 4, from, size_t(units) * 2);
        } else {
            std::memcpy(to, from, c.width);
        }
    }
    RB_FreeColumn(&c, 0);
    c = nc;
    return 0;
}

int RB_GetCell(const RowBlock *block, int32_t row, int col, void *buf, uint32_t *len) {
    if (!Usable(block) || !len) return ERR_GENERAL;
    if (row < 0 || row >= block->rowsUsed || col < 0 || col >= block->columnsUsed) return ERR_GENERAL;
    if (*len == 0) return 0;
    if (!buf) return ERR_GENERAL;
    const RowBlockColumn &c = block->columns[col];
    if (c.indicators[row] < 0) {
        *len = 0;
        return 0;
    }
    CellView v = ValueOf(c, row);
    uint32_t n = uint32_t(Min(v.len, *len));
    if (n) std::memcpy(buf, v.p, n);
    *len = n;
    return 0;
}

namespace {

// Cuts the value of one non-NULL cell to m bytes (characters for wide types).
void CutCell(const RowBlockColumn &c, int32_t row, uint32_t m) {
    uint8_t *cell = CellAt(c, row);
    if (IsHeap(c.valueType)) {
        LongDataBuf *h = HeapAt(c, row);
        if (h->length <= m) return;
        h->length = m;
        if (h->data && c.valueType == VT_HEAP_TEXT) h->data[m] = '\0';
        if (h->data && c.valueType == VT_HEAP_WTEXT) std::memset(h->data + size_t(m) * 2, 0, 2);
        return;
    }
    if (const PrefixRule *r = FindPrefix(c.valueType)) {
        if (c.width >= r->prefix && LoadPrefix(cell, r->prefix) > m) StorePrefix(cell, r->prefix, m);
        return;
    }
    if (c.valueType == VT_NTS) cell[m] = 0;
    else if (c.valueType == VT_WNTS) Store16(cell + size_t(m) * 2, 0);
}

}  // namespace

int RB_TruncateValues(RowBlock *block, uint32_t max) {
    if (!Usable(block)) return ERR_GENERAL;
    for (uint16_t k = 0; k < block->columnsUsed; ++k) {
        RowBlockColumn &c = block->columns[k];
        bool cut;
        switch (c.valueType) {
        case VT_CHAR:
        case VT_BINARY:
            cut = c.width > max;
            if (cut) {
                int rc = RB_WidenColumn(block, k, c.width + 1);
                if (rc) return rc;
            }
            break;
        case VT_WCHAR:
            cut = c.width / 2 > max;
            if (cut) {
                int rc = RB_WidenColumn(block, k, c.width / 2 + 1);
                if (rc) return rc;
            }
            break;
        case VT_NTS:
            cut = c.width >= 1 && max < c.width - 1;
            break;
        case VT_WNTS:
            cut = c.width / 2 >= 1 && max < c.width / 2 - 1;
            break;
        case VT_HEAP_TEXT: case VT_HEAP_BINARY: case VT_HEAP_WTEXT: case VT_TEXT1: case VT_TEXT2:
        case VT_TEXT4: case VT_BIN1: case VT_BIN2: case VT_BIN4: case VT_WTEXT4:
            cut = true;
            break;
        default:
            cut = false;
        }
        if (!cut || !c.data) continue;
        for (int32_t r = 0; r < block->rowsUsed; ++r)
            if (c.indicators[r] >= 0) CutCell(c, r, max);
    }
    return 0;
}

namespace {

// Converts the heap values of a wide column to ANSI text, each in a block of
// the bytes its conversion produces.
int WideHeapToAnsi(RowBlockColumn &c, int32_t rows) {
    for (int32_t r = 0; r < rows; ++r) {
        if (c.indicators[r] < 0) continue;
        LongDataBuf *h = HeapAt(c, r);
        if (!h->data) continue;
        const auto *src = reinterpret_cast<const char16_t *>(h->data);
        int64_t need = CP_WideToAnsi(src, int64_t(h->length), static_cast<char *>(nullptr), 0, nullptr);
        if (need < 0) need = 0;
        if (uint64_t(need) > UINT32_MAX) return ERR_MEMORY_ALLOCATION;
        auto *p = static_cast<char *>(std::calloc(size_t(need) + 1, 1));
        if (!p) return ERR_MEMORY_ALLOCATION;
        int64_t got = need ? CP_WideToAnsi(src, int64_t(h->length), p, need, nullptr) : 0;
        if (got < 0) got = 0;
        p[got] = '\0';
        std::free(h->data);
        h->data = p;
        h->length = uint32_t(got);
    }
    return 0;
}

// Copies the UTF-16 value of a fixed-width, terminated or prefixed wide cell
// into units (room for the column's width) and answers its unit count.
uint64_t WideCellUnits(const RowBlockColumn &c, int32_t row, char16_t *units) {
    const uint8_t *cell = CellAt(c, row);
    uint64_t n;
    if (c.valueType == VT_WTEXT4) {
        if (c.width <= 4) return 0;
        n = Min(Load32(cell), (c.width - 4) / 2);
        std::memcpy(units, cell + 4, size_t(n) * 2);
        return n;
    }
    // Fixed-width and terminated text both end at a zero unit: the narrow
    // text they become ends at its NUL.
    n = c.width / 2;
    std::memcpy(units, cell, size_t(n) * 2);
    uint64_t z = 0;
    while (z < n && units[z] != 0) ++z;
    return z;
}

// Converts one fixed-width, terminated or prefixed wide column to ANSI text
// into a new data block whose width holds the longest value as the code page
// writes it (never less than the wide width); units has room for the width.
int WideCellsToAnsi(RowBlockColumn &c, int32_t rows, int32_t rowsAllocated, char16_t *units) {
    const bool prefixed = c.valueType == VT_WTEXT4;
    uint64_t need = 0;
    for (int32_t r = 0; r < rows; ++r) {
        if (c.indicators[r] < 0) continue;
        const uint64_t n = WideCellUnits(c, r, units);
        const int64_t bytes = n ? CP_WideToAnsi(units, int64_t(n), static_cast<char *>(nullptr), 0, nullptr) : 0;
        if (bytes > 0 && uint64_t(bytes) > need) need = uint64_t(bytes);
    }
    uint64_t width = RB_ValueWidth(prefixed ? VT_TEXT4 : VT_NTS, need);
    if (width < c.width) width = c.width;
    if (width > UINT32_MAX) return ERR_MEMORY_ALLOCATION;
    RowBlockColumn nc{};
    nc.valueType = prefixed ? VT_TEXT4 : VT_NTS;
    nc.width = uint32_t(width);
    if (RB_AllocColumn(&nc, rowsAllocated)) return ERR_MEMORY_ALLOCATION;
    if (rowsAllocated > 0) std::memcpy(nc.indicators, c.indicators, size_t(rowsAllocated) * sizeof(int16_t));
    // Text 17 keeps room for its NUL; text 20 uses the whole width after its prefix.
    const int64_t room = prefixed ? int64_t(width) - 4 : int64_t(width) - 1;
    for (int32_t r = 0; r < rows; ++r) {
        if (c.indicators[r] < 0) continue;
        const uint64_t n = WideCellUnits(c, r, units);
        uint8_t *to = CellAt(nc, r);
        int64_t got = n ? CP_WideToAnsi(units, int64_t(n), reinterpret_cast<char *>(to + (prefixed ? 4 : 0)), room,
                                        nullptr)
                        : 0;
        if (got < 0) got = 0;
        if (prefixed) Store32(to, uint32_t(got));
    }
    RB_FreeColumn(&c, 0);
    c = nc;
    return 0;
}

ValueType NarrowType(ValueType t) {
    switch (t) {
    case VT_WCHAR:
    case VT_WNTS: return VT_NTS;
    case VT_HEAP_WTEXT: return VT_HEAP_TEXT;
    case VT_WTEXT4: return VT_TEXT4;
    default: return t;
    }
}

}  // namespace

int RB_WideToAnsi(RowBlock *block) {
    if (!Usable(block)) return ERR_GENERAL;
    for (uint16_t k = 0; k < block->columnsUsed; ++k) {
        RowBlockColumn &c = block->columns[k];
        if (NarrowType(c.valueType) == c.valueType) continue;
        if (c.data && block->rowsUsed > 0) {
            int rc;
            if (c.valueType == VT_HEAP_WTEXT) {
                rc = WideHeapToAnsi(c, block->rowsUsed);
            } else {
                auto *units = static_cast<char16_t *>(std::malloc(size_t(c.width) / 2 * 2 + 2));
                rc = units ? WideCellsToAnsi(c, block->rowsUsed, block->rowsAllocated, units) : ERR_MEMORY_ALLOCATION;
                std::free(units);
            }
            if (rc) return rc;
        }
        c.valueType = NarrowType(c.valueType);
    }
    return 0;
}

// Block reads of a ResultSet through the Java RowBlockReader.
#include "drv_jdbc/j-blockread.h"

#include "drv_jdbc/j-bufobject.h"
#include "drv_jdbc/j-cells.h"
#include "drv_jdbc/j-classes.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-getters.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap-ps.h"
#include "odbc/contract/flavour.h"
#include "util/codepage.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <cstring>
#include <string>

namespace {
// Room for the cells of one call into Java besides the header; a block that
// needs more takes another call.
constexpr uint32_t kCellBytes = 64 * 1024;
// BH_FAILED before a call: the reader did not run.
constexpr int32_t kNotRun = -3;
constexpr int32_t kNoFailure = -2;

std::atomic<bool> g_blockReads{true};

template <class T>
T take(const uint8_t *&p)
{
    T v;
    memcpy(&v, p, sizeof v);
    p += sizeof v;
    return v;
}

template <class T>
void store(uint8_t *p, T v)
{
    memcpy(p, &v, sizeof v);
}

// A heap copy of len elements of `unit` bytes with a zero element after
// them (len 0 still takes one element); NULL when out of memory.
char *heapCopy(const uint8_t *src, size_t len, size_t unit)
{
    char *data = static_cast<char *>(calloc(len + 1, unit));
    if (data && len)
        memcpy(data, src, len * unit);
    return data;
}

// Sets a heap element: NULL data (a null value) keeps the element's data and
// empties its length.
void putHeap(uint8_t *cell, char *data, uint32_t len)
{
    LongDataBuf buf;
    memcpy(&buf, cell, sizeof buf);
    if (data)
        buf.data = data;
    buf.length = data ? len : 0;
    memcpy(cell, &buf, sizeof buf);
}

// Text (bytes in the code set) into a narrow text element.
int putEncoded(DrvStmt *s, ValueType vt, uint8_t *cell, uint32_t w, const uint8_t *bytes, int32_t len)
{
    const char *text = len < 0 ? nullptr : reinterpret_cast<const char *>(bytes);
    const size_t n = len < 0 ? 0 : static_cast<size_t>(len);
    switch (vt) {
    case VT_CHAR: case VT_NTS:
        cellPutText(reinterpret_cast<char *>(cell), static_cast<int32_t>(w), text, n);
        return 0;
    case VT_TEXT4:
        store<uint32_t>(cell, static_cast<uint32_t>(
                                  cellPutText(reinterpret_cast<char *>(cell + 4), static_cast<int32_t>(w) - 4, text, n)));
        return 0;
    default: {  // VT_HEAP_TEXT
        if (!text) {
            putHeap(cell, nullptr, 0);
            return 0;
        }
        char *data = heapCopy(bytes, n, 1);
        if (!data)
            return jc_MemoryFailure(s);
        putHeap(cell, data, static_cast<uint32_t>(n));
        return 0;
    }
    }
}

// UTF-16 text into a wide text element.
int putChars(DrvStmt *s, ValueType vt, uint8_t *cell, uint32_t w, const uint8_t *units, int32_t len)
{
    const uint8_t *u = len < 0 ? nullptr : units;
    const int32_t n = len < 0 ? 0 : len;
    switch (vt) {
    case VT_WCHAR: case VT_WNTS:
        cellPutWide(reinterpret_cast<char16_t *>(cell), static_cast<int32_t>(w / 2), u, n);
        return 0;
    case VT_WTEXT4:
        store<uint32_t>(cell, static_cast<uint32_t>(cellPutWide(reinterpret_cast<char16_t *>(cell + 4),
                                                                static_cast<int32_t>((w - 4) / 2), u, n)));
        return 0;
    default: {  // VT_HEAP_WTEXT
        if (!u) {
            putHeap(cell, nullptr, 0);
            return 0;
        }
        char *data = heapCopy(u, static_cast<size_t>(n), 2);
        if (!data)
            return jc_MemoryFailure(s);
        putHeap(cell, data, static_cast<uint32_t>(n));
        return 0;
    }
    }
}

// Bytes into a binary element.
int putBytes(DrvStmt *s, ValueType vt, uint8_t *cell, uint32_t w, const uint8_t *bytes, int32_t len)
{
    const int32_t n = len < 0 ? 0 : len;
    switch (vt) {
    case VT_BINARY:
        cellPutBytes(cell, static_cast<int32_t>(w), bytes, n);
        return 0;
    case VT_BIN4:
        store<uint32_t>(cell, static_cast<uint32_t>(cellPutBytes(cell + 4, static_cast<int32_t>(w) - 4, bytes, n)));
        return 0;
    default: {  // VT_HEAP_BINARY
        if (len < 0) {
            putHeap(cell, nullptr, 0);
            return 0;
        }
        char *data = static_cast<char *>(calloc(n ? static_cast<size_t>(n) : 1, 1));
        if (!data)
            return jc_MemoryFailure(s);
        if (n)
            memcpy(data, bytes, static_cast<size_t>(n));
        putHeap(cell, data, static_cast<uint32_t>(n));
        return 0;
    }
    }
}

// One cell from the reader's layout at p (moved past it) into its element.
int decodeCell(DrvStmt *s, RowBlockColumn &col, int32_t row, int32_t kind, const uint8_t *&p)
{
    uint8_t *cell = col.data + static_cast<size_t>(row) * col.width;
    const ValueType vt = col.valueType;
    int rc = 0;
    switch (kind) {
    case BK_BOOLEAN: cell[0] = take<uint8_t>(p) ? 1 : 0; break;
    case BK_BYTE: cell[0] = take<uint8_t>(p); break;
    case BK_SHORT: store(cell, take<int16_t>(p)); break;
    case BK_INT: store(cell, take<int32_t>(p)); break;
    case BK_FLOAT: store(cell, take<float>(p)); break;
    case BK_DOUBLE: store(cell, take<double>(p)); break;
    case BK_DATE: case BK_TIME: case BK_TIMESTAMP: {
        int32_t v[7] = {};
        const int count = kind == BK_TIMESTAMP ? 7 : 3;
        for (int k = 0; k < count; ++k)
            v[k] = take<int32_t>(p);
        if (kind == BK_TIME)
            cellPutDateTime(VT_TIME, cell, v);
        else
            cellPutDateTime(vt, cell, v);
        break;
    }
    case BK_CHARS: case BK_ENCODED: case BK_BYTES: {
        const int32_t len = take<int32_t>(p);
        const uint8_t *data = p;
        if (len > 0)
            p += static_cast<size_t>(len) * (kind == BK_CHARS ? 2 : 1);
        rc = kind == BK_CHARS     ? putChars(s, vt, cell, col.width, data, len)
             : kind == BK_ENCODED ? putEncoded(s, vt, cell, col.width, data, len)
                                  : putBytes(s, vt, cell, col.width, data, len);
        break;
    }
    default:
        return ERR_GENERAL;
    }
    const uint8_t wasNull = take<uint8_t>(p);
    if (rc == 0)
        col.indicators[row] = wasNull ? RB_IND_NULL : RB_IND_VALUE;
    return rc;
}
} // namespace

// The statement's reader: the Java object over the memory it fills, with
// texts encoded in the driver's code set.
struct BlockReader : JavaBufferObject {};

namespace {
// The statement's reader with room for the header of `columns` columns,
// made (or remade for another size or code set) when needed; NULL when it
// cannot be had, with no exception pending.
BlockReader *readerFor(DrvStmt *s, uint16_t columns)
{
    const uint32_t need = blockDataStart(columns) + kCellBytes;
    const char *charset = CP_AnsiCodeset();
    BlockReader *br = s->blockReader;
    if (br && br->size >= need && br->charset == charset)
        return br;
    drvFreeBlockReader(s);
    br = new (std::nothrow) BlockReader();
    if (!br)
        return nullptr;
    if (!br->Open(s->env, need, charset, jc_NewRowBlockReader)) {
        delete br;
        return nullptr;
    }
    s->blockReader = br;
    return br;
}

// Reads cells [first, columns) of row r one by one.
int readRestOfRow(DrvStmt *s, RowBlock *block, int32_t r, int32_t first)
{
    for (int32_t k = first; k < block->columnsUsed; ++k)
        if (int rc = readValue(s, s->resultSet, false, k + 1, &block->columns[k], r))
            return rc;
    return 0;
}

// Reads rows [r, n) cell by cell.
int readRowsByCell(DrvStmt *s, RowBlock *block, int32_t r, int32_t n)
{
    for (; r < n; ++r) {
        uint8_t moved = 0;
        if (int rc = jc_ResultSet_next(s, s->resultSet, &moved))
            return rc;
        if (!moved) {
            s->flags |= DS_END_OF_DATA;
            return 0;
        }
        if (int rc = readRestOfRow(s, block, r, 0))
            return rc;
        ++s->blockRows;
    }
    return 0;
}
} // namespace

BlockKind blockKindOf(ValueType vt, uint32_t width)
{
    switch (vt) {
    case VT_BIT: return BK_BOOLEAN;
    case VT_TINYINT: return BK_BYTE;
    case VT_SHORT: return BK_SHORT;
    case VT_LONG: return BK_INT;
    case VT_FLOAT: return BK_FLOAT;
    case VT_DOUBLE: return BK_DOUBLE;
    case VT_DATE: return BK_DATE;
    case VT_TIME: return BK_TIME;
    case VT_TIMESTAMP: return BK_TIMESTAMP;
    case VT_CHAR: case VT_NTS: case VT_HEAP_TEXT: return BK_ENCODED;
    case VT_TEXT4: return width > 4 ? BK_ENCODED : BK_STOP;
    case VT_BINARY: case VT_HEAP_BINARY: return BK_BYTES;
    case VT_BIN4: return width > 4 ? BK_BYTES : BK_STOP;
    case VT_WCHAR: case VT_WNTS: case VT_HEAP_WTEXT:
        return KRS_IsUnicodeBuild() ? BK_CHARS : BK_STOP;
    case VT_WTEXT4: return KRS_IsUnicodeBuild() && width > 4 ? BK_CHARS : BK_STOP;
    default: return BK_STOP;
    }
}

int blockDecode(DrvStmt *s, RowBlock *block, const int32_t *kinds, const uint8_t *cells, int32_t from,
                int32_t rows, int32_t partial, int32_t *whole)
{
    const uint8_t *p = cells;
    const int32_t columns = block->columnsUsed;
    *whole = 0;
    for (int32_t r = from; r < from + rows; ++r, ++*whole)
        for (int32_t k = 0; k < columns; ++k)
            if (int rc = decodeCell(s, block->columns[k], r, kinds[k], p))
                return rc;
    for (int32_t k = 0; k < partial; ++k)
        if (int rc = decodeCell(s, block->columns[k], from + rows, kinds[k], p))
            return rc;
    return 0;
}

int drvReadBlock(DrvStmt *s, RowBlock *block, int32_t n)
{
    const uint16_t columns = block->columnsUsed;
    BlockReader *br = readerFor(s, columns);
    if (!br)
        return readRowsByCell(s, block, 0, n);
    uint8_t *mem = br->mem;
    int32_t *kinds = reinterpret_cast<int32_t *>(mem + BH_KINDS);
    storeAt<int32_t>(mem, BH_COLUMNS, columns);
    for (uint16_t k = 0; k < columns; ++k)
        kinds[k] = blockKindOf(block->columns[k].valueType, block->columns[k].width);
    const uint8_t *cells = mem + blockDataStart(columns);
    JNIEnv *env = s->env;
    int32_t r = 0;
    while (r < n) {
        storeAt<int32_t>(mem, BH_ROWS, 0);
        storeAt<int32_t>(mem, BH_STOP, -1);
        storeAt<int32_t>(mem, BH_END, 0);
        storeAt<int32_t>(mem, BH_FAILED, kNotRun);
        int32_t done = 0;
        const int call = jc_CallIntMethod(env, br->object, nullptr, "fill", "(Ljava/sql/ResultSet;I)I", &done,
                                          s->resultSet.get(), jint(n - r));
        const int32_t failed = loadAt<int32_t>(mem, BH_FAILED);
        if (failed == kNotRun) {
            // The reader could not be called: the rows are read cell by cell.
            jc_ClearException(env);
            drvFreeBlockReader(s);
            return readRowsByCell(s, block, r, n);
        }
        jthrowable thrown = nullptr;
        if (call != 0) {
            thrown = env->ExceptionOccurred();
            env->ExceptionClear();
        }
        const int32_t stop = loadAt<int32_t>(mem, BH_STOP);
        // Cells of the row the reader left: up to the failing or the unread one.
        const int32_t partial = failed >= 0 ? failed : stop;
        int32_t whole = 0;
        int rc = blockDecode(s, block, kinds, cells, r, loadAt<int32_t>(mem, BH_ROWS), partial, &whole);
        r += whole;
        s->blockRows += whole;
        if (thrown) {
            // The getter's exception becomes the diagnostic, as on a read of one cell.
            if (rc == 0) {
                env->Throw(thrown);
                rc = CheckException(env, s->stringMode, &s->errors);
            }
            env->DeleteLocalRef(thrown);
            if (rc == 0 && failed == -1) {
                // A warning in place of the next row ends the rows.
                s->flags |= DS_END_OF_DATA;
                return 0;
            }
        }
        if (rc != 0)
            return rc;
        const int32_t resume = thrown ? failed : stop;
        if (resume >= 0) {
            if ((rc = readRestOfRow(s, block, r, resume)) != 0)
                return rc;
            ++r;
            ++s->blockRows;
            continue;
        }
        if (loadAt<int32_t>(mem, BH_END)) {
            s->flags |= DS_END_OF_DATA;
            break;
        }
    }
    return 0;
}

void drvFreeBlockReader(DrvStmt *s)
{
    delete s->blockReader;
    s->blockReader = nullptr;
}

void drvSetBlockReads(bool on) { g_blockReads.store(on, std::memory_order_relaxed); }

bool drvBlockReads() { return g_blockReads.load(std::memory_order_relaxed); }

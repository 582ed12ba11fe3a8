// Statement bindings, descriptions, per-row buffers and counts.
#include "odbc/stmt_bind.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "odbc/contract/err_report.h"
#include "odbc/stmt.h"
#include "odbc/conn.h"
#include "odbc/desc_rec.h"
#include "odbc/contract/drv_items.h"
#include "odbc/handles.h"
#include "odbc/contract/typed_value.h"
#include "util/hash.h"

namespace {

const DrvOpTable *opsOf(const Stmt *s)
{
    return s->binding ? s->binding->ops : nullptr;
}

bool keepsRowBufs(const Stmt *s) { return s->conn && s->conn->cn_hasV2DAE; }

void freeColBinding(Stmt *s, ColBindingNode *node)
{
    if (!keepsRowBufs(s))
        FreeRowValueBufs(&node->b.rowValues, node->b.rowCount, &node->b.rowLengths);
    delete node;
}

// Keeps the back end's attribute entries in a new override table; the
// entries' texts move into it.  0 or ERR_MEMORY_ALLOCATION.
int keepOverrides(Stmt *s, TypedValue *entries, int16_t count)
{
    HashTable *t = HASH_Create(101, 4);
    if (!t)
        return ERR_MEMORY_ALLOCATION;
    int rc = 0;
    for (int16_t i = 0; i < count; ++i) {
        auto *e = static_cast<TypedValue *>(malloc(sizeof(TypedValue)));
        if (!e) {
            TV_FreeValue(&entries[i]);
            rc = ERR_MEMORY_ALLOCATION;
            continue;
        }
        *e = entries[i];
        uint32_t key = TV_Key(e->attrId, e->column);
        if (HashNode *old = HASH_Find(t, &key)) {
            TV_FreeEntry(old->value, &key, nullptr);
            old->value = reinterpret_cast<uintptr_t>(e);
        } else if (!HASH_Put(t, &key, reinterpret_cast<uintptr_t>(e))) {
            TV_FreeEntry(reinterpret_cast<uintptr_t>(e), &key, nullptr);
            rc = ERR_MEMORY_ALLOCATION;
        }
    }
    s->colAttrOverrides = t;
    return rc;
}

// Gives a column or parameter binding fresh per-row value and length arrays
// of rows entries, freeing the ones it held; ERR_MEMORY_ALLOCATION (none kept) when
// memory is short.
template <class Binding>
int ResetRowBufs(Binding &b, size_t rows)
{
    FreeRowValueBufs(&b.rowValues, static_cast<uint64_t>(b.rowCount), &b.rowLengths);
    b.rowCount = static_cast<decltype(b.rowCount)>(rows);
    b.rowValues = static_cast<void **>(calloc(rows, sizeof(void *)));
    b.rowLengths = static_cast<int64_t *>(calloc(rows, sizeof(int64_t)));
    if (!b.rowValues || !b.rowLengths) {
        FreeRowValueBufs(&b.rowValues, 0, &b.rowLengths);
        b.rowCount = 0;
        return ERR_MEMORY_ALLOCATION;
    }
    return 0;
}

// Row width of one description by its value type.
uint32_t cellWidth(const ColDesc &d)
{
    switch (d.valueType) {
    case VT_BYTE: case VT_BIT: case VT_TINYINT: case VT_UTINYINT: return 3;
    case VT_SHORT: case VT_USHORT: return 4;
    case VT_LONG: case VT_ULONG: case VT_FLOAT: return 6;
    case VT_DOUBLE: return 10;
    case VT_DATE: case VT_TIME: case VT_TIMESTAMP: return 8;
    case VT_CHAR: case VT_BINARY: return d.bufferLength + 2;
    case VT_WCHAR: return 2 * d.bufferLength + 2;
    default: return 18;
    }
}
} // namespace

void StmtDropOverrides(Stmt *s)
{
    if (!s->colAttrOverrides)
        return;
    HASH_ForEach(s->colAttrOverrides, TV_FreeEntry, nullptr);
    HASH_Free(s->colAttrOverrides);
    s->colAttrOverrides = nullptr;
}

// ---- bound columns ----

SQLRETURN StmtSetBoundCol(Stmt *s, const ColBinding *b)
{
    for (ColBindingNode *n = s->boundCols; n; n = n->next) {
        if (n->b.head.column == b->head.column) {
            if (!keepsRowBufs(s) && (n->b.rowValues != b->rowValues || n->b.rowLengths != b->rowLengths))
                FreeRowValueBufs(&n->b.rowValues, n->b.rowCount, &n->b.rowLengths);
            n->b = *b;
            return SQL_SUCCESS;
        }
    }
    auto *node = new (std::nothrow) ColBindingNode{nullptr, *b};
    if (!node) {
        s->diag.errNum = ERR_MEMORY_ALLOCATION;
        return SQL_ERROR;
    }
    ColBindingNode **tail = &s->boundCols;
    while (*tail)
        tail = &(*tail)->next;
    *tail = node;
    return SQL_SUCCESS;
}

int StmtRemoveBoundCol(Stmt *s, uint16_t column)
{
    for (ColBindingNode **p = &s->boundCols; *p; p = &(*p)->next) {
        if ((*p)->b.head.column == column) {
            ColBindingNode *gone = *p;
            *p = gone->next;
            freeColBinding(s, gone);
            return 0;
        }
    }
    return 0;
}

int StmtUnbindCols(Stmt *s)
{
    while (ColBindingNode *n = s->boundCols) {
        s->boundCols = n->next;
        freeColBinding(s, n);
    }
    if (s->ard && DescRecCount(s->ard) > 0) {
        DescTruncateRecs(s->ard, 0);
        s->ard->count = 0;
    }
    return 0;
}

ColBinding *StmtFindBoundCol(uint16_t n, Stmt *s)
{
    for (ColBindingNode *node = s->boundCols; node; node = node->next)
        if (node->b.head.column == n)
            return &node->b;
    return nullptr;
}

// ---- parameter bindings ----

SQLRETURN StmtSetParamBinding(Stmt *s, const ParamBinding *b)
{
    if (b->number == 0 || b->number > STMT_MAX_PARAMS) {
        s->diag.errNum = ERR_INVALID_PARAMETER_NUMBER;
        return SQL_ERROR;
    }
    if (b->number > s->paramCapacity) {
        uint32_t cap = b->number + 9u;
        if (cap > STMT_MAX_PARAMS)
            cap = STMT_MAX_PARAMS;
        auto *arr = static_cast<ParamBinding *>(calloc(cap, sizeof(ParamBinding)));
        auto *sum = static_cast<ParamSummary *>(calloc(cap, sizeof(ParamSummary)));
        if (!arr || !sum) {
            free(arr);
            free(sum);
            s->diag.errNum = ERR_MEMORY_ALLOCATION;
            return SQL_ERROR;
        }
        if (s->paramCapacity) {
            memcpy(arr, s->paramBindings, sizeof(ParamBinding) * s->paramCapacity);
            memcpy(sum, s->paramSummaries, sizeof(ParamSummary) * s->paramCapacity);
        }
        free(s->paramBindings);
        free(s->paramSummaries);
        s->paramBindings = arr;
        s->paramSummaries = sum;
        s->paramCapacity = static_cast<uint16_t>(cap);
    }
    ParamBinding &slot = s->paramBindings[b->number - 1];
    ParamBinding nb = *b;
    if (!keepsRowBufs(s)) {
        nb.rowCount = 0;
        nb.rowValues = nullptr;
        nb.rowLengths = nullptr;
        FreeRowValueBufs(&slot.rowValues, static_cast<uint64_t>(slot.rowCount), &slot.rowLengths);
    }
    slot = nb;
    ParamSummary sum{b->sqlType, b->cType, static_cast<uint32_t>(b->columnSize), b->decimalDigits, b->paramType};
    ParamSummary &held = s->paramSummaries[b->number - 1];
    if (memcmp(&held, &sum, sizeof sum) != 0) {
        s->flags &= static_cast<uint16_t>(~ST_PARAMTYPES_SENT);
        held = sum;
    }
    return SQL_SUCCESS;
}

int StmtResetParams(Stmt *s)
{
    for (uint16_t i = 0; i < s->paramCapacity && !keepsRowBufs(s); ++i)
        FreeRowValueBufs(&s->paramBindings[i].rowValues, static_cast<uint64_t>(s->paramBindings[i].rowCount),
                         &s->paramBindings[i].rowLengths);
    free(s->paramBindings);
    free(s->paramSummaries);
    s->paramBindings = nullptr;
    s->paramSummaries = nullptr;
    s->paramCapacity = 0;
    s->flags &= static_cast<uint16_t>(~ST_PARAMTYPES_SENT);
    return 0;
}

ParamBinding *StmtGetParamBinding(uint16_t n, Stmt *s)
{
    return n >= 1 && n <= s->paramCapacity ? &s->paramBindings[n - 1] : nullptr;
}

// ---- descriptions ----

uint16_t StmtRowsPerBlock(const ColDesc *cols, uint16_t n, uint32_t fetchSize)
{
    uint64_t width = 0;
    for (uint16_t i = 0; i < n; ++i)
        width += cellWidth(cols[i]);
    uint64_t rows = width ? 65535 / width : 65535;
    if (fetchSize && rows > fetchSize)
        rows = fetchSize;
    if (rows < 1)
        rows = 1;
    return static_cast<uint16_t>(rows > 65535 ? 65535 : rows);
}

ColDesc *StmtGetColDescs(Stmt *s)
{
    if (s->resultCols)
        return s->resultCols;
    const DrvOpTable *ops = opsOf(s);
    uint16_t count = 0;
    ColDesc *cols = nullptr;
    int rc;
    TypedValue *attrs = nullptr;
    int16_t attrCount = 0;
    if (s->conn && s->conn->cn_colAttrOp && ops && ops->ColAttributes) {
        StmtDropOverrides(s);
        rc = ops->ColAttributes(static_cast<int>(s->drvStmt), &count, &attrCount, &cols, &attrs);
    } else {
        rc = ops && ops->GetColDescs ? ops->GetColDescs(static_cast<int>(s->drvStmt), &count, &cols) : ERR_NOT_CAPABLE;
    }
    if (rc != 0) {
        s->diag.errNum = rc;
        StmtFetchErrors(s);
        return nullptr;
    }
    if (attrs) {
        rc = keepOverrides(s, attrs, attrCount);
        free(attrs);
        if (rc != 0) {
            CD_Free(cols, count);
            s->diag.errNum = rc;
            return nullptr;
        }
    }
    s->resultCols = cols;
    s->resultColCount = count;
    s->rowsPerBlock = StmtRowsPerBlock(cols, count, s->conn ? s->conn->cn_fetchSize : 0);
    return cols;
}

const ColDesc *StmtGetColDesc(Stmt *s, uint16_t n)
{
    static const ColDesc kBookmark = [] {
        ColDesc d{};
        memcpy(d.name, "BOOKMARK", 9);
        d.sqlType = SQL_CHAR;
        d.baseSqlType = SQL_CHAR;
        d.columnSize = 8;
        d.displaySize = 8;
        d.bufferLength = 8;
        return d;
    }();
    if (n == 0 && s->cursor.useBookmarks)
        return &kBookmark;
    ColDesc *cols = n ? StmtGetColDescs(s) : nullptr;
    if (cols && n <= s->resultColCount)
        return &cols[n - 1];
    if (n == 0 || cols || s->diag.errNum == ERR_NONE)
        s->diag.errNum = ERR_INVALID_COLUMN_NUMBER;
    return nullptr;
}

const ColDesc *StmtGetParamDesc(Stmt *s, uint16_t n)
{
    if (n == 0 || n > s->paramCount) {
        s->diag.errNum = ERR_INVALID_PARAMETER_NUMBER;
        return nullptr;
    }
    const DrvOpTable *ops = opsOf(s);
    if (!s->paramDescsFetched && (s->flags & ST_PREPARED) && !(s->flags & ST_CURSOR_OPEN) && ops) {
        s->paramDescsFetched = 1;
        int32_t on = 1;
        if (ops->SetOption && ops->SetOption(static_cast<int>(s->drvStmt), DrvInt(DrvStmtOption(SQL_ATTR_ENABLE_AUTO_IPD)), &on) == 0 &&
            ops->GetParamDescs) {
            uint16_t count = 0;
            ColDesc *descs = nullptr;
            if (ops->GetParamDescs(static_cast<int>(s->drvStmt), &count, &descs) == 0) {
                CD_Free(s->paramCols, s->paramCount);
                s->paramCols = descs;
                s->paramCount = count;
            }
        }
    }
    if (!s->paramCols || n > s->paramCount) {
        s->diag.errNum = ERR_INVALID_PARAMETER_NUMBER;
        return nullptr;
    }
    return &s->paramCols[n - 1];
}

void StmtFreeParamDescs(Stmt *s)
{
    CD_Free(s->paramCols, s->paramCount);
    s->paramCols = nullptr;
    s->paramCount = 0;
    s->paramDescsFetched = 0;
}

// ---- per-row buffers ----

void FreeRowValueBufs(void ***values, uint64_t count, int64_t **lengths)
{
    if (*values) {
        for (uint64_t i = 0; i < count; ++i)
            free((*values)[i]);
        free(*values);
    }
    free(*lengths);
    *values = nullptr;
    *lengths = nullptr;
}

int StmtAllocParamBufs(Stmt *s)
{
    for (uint16_t i = 0; i < s->paramCapacity; ++i) {
        int rc = ResetRowBufs(s->paramBindings[i], s->paramsetSize);
        if (rc != 0)
            return rc;
    }
    return 0;
}

int StmtAllocRowBufs(Stmt *s)
{
    int32_t rows = s->cursor.rowsetSize > s->cursor.secondRowCount ? s->cursor.rowsetSize : s->cursor.secondRowCount;
    if (rows < 1)
        rows = 1;
    for (ColBindingNode *n = s->boundCols; n; n = n->next) {
        int rc = ResetRowBufs(n->b, static_cast<size_t>(rows));
        if (rc != 0)
            return rc;
    }
    return 0;
}

// ---- counts ----

int StmtSetParamsetSize(Stmt *s, uint64_t size, SQLULEN *processed)
{
    if (!s->conn || !s->conn->cn_hasParamOp)
        return size == ERR_FUNCTION_NOT_SUPPORTED ? 0 : ERR_FUNCTION_NOT_SUPPORTED;
    if (size == 0)
        return ERR_ROW_VALUE_RANGE;
    s->paramsetSize = size;
    s->paramsProcessedPtr = processed;
    return 0;
}

int StmtGetRowCount(Stmt *s, int32_t *count)
{
    const DrvOpTable *ops = opsOf(s);
    if (!ops || !ops->GetInfo)
        return ERR_NOT_CAPABLE;
    int32_t v = -1;
    int16_t len = 0;
    int rc = ops->GetInfo(static_cast<int>(s->drvStmt), DrvInt(DRV_STMT_ROW_COUNT), &v, 4, &len);
    if (rc == 0 && count)
        *count = v;
    return rc;
}

namespace {

// A statement with a result, or prepared by SQLPrepare (its cursor closed
// or not), is described; any other answers S1010.
bool Described(const Stmt *s)
{
    return s->state == STMT_EXECUTED || ((s->flags & ST_PREPARED) && !(s->flags & ST_DIRECT));
}

} // namespace

int StmtNumResultCols(Stmt *s, uint16_t *count)
{
    if (!Described(s))
        return ERR_FUNCTION_SEQUENCE;
    if (!count)
        return 0;
    ColDesc *cols = StmtGetColDescs(s);
    if (!cols) {
        *count = 0;
        return s->diag.errNum;
    }
    uint16_t n = 0;
    for (uint16_t i = 0; i < s->resultColCount; ++i) {
        const char *name = cols[i].name;
        bool hidden = name[0] == '*' && (name[1] == 'I' || name[1] == 'O' || name[1] == 'B' || name[1] == 'U');
        if (!hidden)
            ++n;
    }
    *count = n;
    return 0;
}

int StmtNumParams(Stmt *s, uint16_t *count)
{
    if (!Described(s))
        return ERR_FUNCTION_SEQUENCE;
    if (count)
        *count = s->paramCount;
    return 0;
}

// ---- messages ----

int StmtFetchErrors(Stmt *s)
{
    int queued = 0;
    const DrvOpTable *ops = opsOf(s);
    if (ops && ops->GetErrors) {
        ErrReport report{};
        if (ops->GetErrors(static_cast<int>(s->drvStmt), &report) == 0) {
            for (uint32_t i = 0; i < report.count; ++i) {
                if (report.texts && report.texts[i]) {
                    if (ERR_Push(&s->diag, report.texts[i], report.firstNative))
                        ++queued;
                    free(report.texts[i]);
                }
            }
            free(report.texts);
        }
    }
    if (s->conn)
        queued += ConnFetchMessages(s->conn, s);
    return queued;
}

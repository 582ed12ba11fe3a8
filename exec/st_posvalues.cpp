// Row values of SQLSetPos and SQLBulkOperations: the search for bound values
// the application gives at execution, the lengths of bound values, and the
// value and marker blocks that the positioned and bulk operations send.
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "exec/conv_send.h"
#include "exec/st_build.h"
#include "exec/st_internal.h"
#include "exec/st_setpos.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/desc_rec.h"
#include "odbc/stmt.h"

namespace {

SQLLEN *LengthAt(SQLLEN *p, int64_t stride, uint32_t i)
{
    return p ? reinterpret_cast<SQLLEN *>(reinterpret_cast<char *>(p) + static_cast<int64_t>(i) * stride) : nullptr;
}

// The value of row i of a binding as the application left it.
struct BoundValue {
    bool null;
    const uint8_t *p;  // null: an empty value
    int64_t len;
    bool atExec;       // given at execution, for the back end to ask for
};

int64_t TextLength(const ColBindingHead &b, const uint8_t *p)
{
    // A buffer length bounds the search, so that an unterminated buffer is
    // never read past its end.
    const int64_t room = b.bufferLength > 0 ? b.bufferLength : INT32_MAX;
    if (b.cType == SQL_C_WCHAR) {
        int64_t n = 0;
        while (2 * n + 1 < room) {
            SQLWCHAR u;
            std::memcpy(&u, p + 2 * n, 2);
            if (u == 0)
                break;
            ++n;
        }
        return 2 * n;
    }
    const void *nul = std::memchr(p, 0, static_cast<size_t>(room));
    return nul ? static_cast<const uint8_t *>(nul) - p : room;
}

bool IsVariable(int16_t cType)
{
    switch (cType) {
    case SQL_C_UTINYINT: case SQL_C_STINYINT: case SQL_C_TINYINT: case SQL_C_BIT: case SQL_C_SSHORT:
    case SQL_C_SHORT: case SQL_C_USHORT: case SQL_C_SLONG: case SQL_C_LONG: case SQL_C_ULONG: case SQL_C_FLOAT:
    case SQL_C_DOUBLE: case SQL_C_NUMERIC: case SQL_C_DATE: case SQL_C_TYPE_DATE: case SQL_C_TIME:
    case SQL_C_TYPE_TIME: case SQL_C_TIMESTAMP: case SQL_C_TYPE_TIMESTAMP: case SQL_C_GUID: case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
        return false;
    default:
        return true;
    }
}

// The value of row i; a value given at execution is the one the driver
// gathered, or, for a back end that gathers values itself (v2), marked.
BoundValue ReadBound(const Stmt *s, const ColBinding &cb, uint32_t i, bool v2 = false)
{
    const ColBindingHead &b = cb.head;
    const BindStrides st = StmtBindStrides(s, b);
    const SQLLEN *lp = LengthAt(b.octetLengthPtr, st.length, i);
    const SQLLEN *ip = LengthAt(b.indicatorPtr, st.length, i);
    const SQLLEN ind = ip ? *ip : 0;
    const SQLLEN len = lp ? *lp : b.bufferLength;
    BoundValue v{false, nullptr, 0, false};
    if (ind == SQL_NULL_DATA) {
        v.null = true;
        return v;
    }
    if (IsDataAtExec(len) && v2) {
        v.atExec = true;
        return v;
    }
    if (IsDataAtExec(len)) {
        const bool haveRow = cb.rowValues && i < cb.rowCount;
        const void *value = haveRow ? cb.rowValues[i] : nullptr;
        const int64_t got = haveRow && cb.rowLengths ? cb.rowLengths[i] : 0;
        if (got == SQL_NULL_DATA)
            v.null = true;
        else if (!value)
            v.null = !(len == SQL_DATA_AT_EXEC || len == SQL_LEN_DATA_AT_EXEC(0));
        else {
            v.p = static_cast<const uint8_t *>(value);
            v.len = got;
        }
        return v;
    }
    if (!b.data) {
        v.null = true;
        return v;
    }
    v.p = static_cast<const uint8_t *>(b.data) + static_cast<int64_t>(i) * st.value;
    if (!IsVariable(b.cType))
        v.len = b.bufferLength;
    else if (len == SQL_NTS)
        v.len = TextLength(b, v.p);
    else if (len < 0)
        v.len = b.bufferLength > 0 ? b.bufferLength : 0;
    else
        // A length beyond the buffer would read past it.
        v.len = b.bufferLength > 0 && len > b.bufferLength ? b.bufferLength : len;
    return v;
}

SQLLEN LengthWordAt(const Stmt *s, const ColBindingHead &b, uint32_t i)
{
    const SQLLEN *lp = LengthAt(b.octetLengthPtr, StmtBindStrides(s, b).length, i);
    return lp ? *lp : b.bufferLength;
}

bool RowIgnored(const Stmt *s, uint32_t i)
{
    const uint16_t *ops = StmtRowOperations(s);
    return ops && ops[i] == SQL_ROW_IGNORE;
}

// How one bound column's values are written into the value block.
enum Kind { P_COPY, P_TEXT, P_WTEXT, P_HEAP, P_NUMERIC, P_GUID, P_SBIGINT, P_UBIGINT };

struct FixedType {
    int16_t cType;
    ValueType vt;
    uint32_t width;
    Kind kind;
};

constexpr FixedType kFixedTypes[] = {
    {SQL_C_UTINYINT, VT_UTINYINT, 1, P_COPY},
    {SQL_C_STINYINT, VT_TINYINT, 1, P_COPY},
    {SQL_C_TINYINT, VT_TINYINT, 1, P_COPY},
    {SQL_C_BIT, VT_BIT, 1, P_COPY},
    {SQL_C_SSHORT, VT_SHORT, 2, P_COPY},
    {SQL_C_SHORT, VT_SHORT, 2, P_COPY},
    {SQL_C_USHORT, VT_USHORT, 2, P_COPY},
    {SQL_C_SLONG, VT_LONG, 4, P_COPY},
    {SQL_C_LONG, VT_LONG, 4, P_COPY},
    {SQL_C_ULONG, VT_ULONG, 4, P_COPY},
    {SQL_C_FLOAT, VT_FLOAT, 4, P_COPY},
    {SQL_C_DOUBLE, VT_DOUBLE, 8, P_COPY},
    // Exact decimal text: a double would lose digits.
    {SQL_C_NUMERIC, VT_NTS, NUMERIC_TEXT_MAX + 1, P_NUMERIC},
    {SQL_C_DATE, VT_DATE, sizeof(DATE_STRUCT), P_COPY},
    {SQL_C_TYPE_DATE, VT_DATE, sizeof(DATE_STRUCT), P_COPY},
    {SQL_C_TIME, VT_TIME, sizeof(TIME_STRUCT), P_COPY},
    {SQL_C_TYPE_TIME, VT_TIME, sizeof(TIME_STRUCT), P_COPY},
    {SQL_C_TIMESTAMP, VT_TIMESTAMP, sizeof(TIMESTAMP_STRUCT), P_COPY},
    {SQL_C_TYPE_TIMESTAMP, VT_TIMESTAMP, sizeof(TIMESTAMP_STRUCT), P_COPY},
    {SQL_C_GUID, VT_CHAR, 36, P_GUID},
    {SQL_C_SBIGINT, VT_NTS, 32, P_SBIGINT},
    {SQL_C_UBIGINT, VT_NTS, 32, P_UBIGINT},
    {SQL_C_BINARY, VT_HEAP_BINARY, sizeof(LongDataBuf), P_HEAP},
};

struct ColPlan {
    const ColBinding *b;
    Kind kind;
    ValueType vt;
    uint32_t width;
    bool v2;  // for a back end that gathers values itself: text as given
};

// The layout of one column over the rows of the operation: fixed types by
// the table; text as wide as its longest value, at least as wide as an
// escape's literal (v2: exactly as wide, its escapes being sent as given).
int PlanColumn(const Stmt *s, const ColBinding &cb, uint32_t first, uint32_t rows, ColPlan *plan, bool v2 = false)
{
    *plan = ColPlan{&cb, P_TEXT, VT_NTS, 0, v2};
    for (const FixedType &f : kFixedTypes)
        if (f.cType == cb.head.cType) {
            plan->kind = f.kind;
            plan->vt = f.vt;
            plan->width = f.width;
            return 0;
        }
    const bool wide = cb.head.cType == SQL_C_WCHAR;
    uint64_t longest = 0;
    for (uint32_t r = 0; r < rows; ++r) {
        const BoundValue v = ReadBound(s, cb, first + r, v2);
        if (!v.null && static_cast<uint64_t>(v.len) > longest)
            longest = static_cast<uint64_t>(v.len);
    }
    // Room for an escape's literal, which may be longer than the escape.
    if (longest < 32 && !v2)
        longest = 32;
    if (longest > 0x7FFF0000)
        return ERR_MEMORY_ALLOCATION;
    // Text ends at its terminator, so that the zeros after a shorter value
    // of the column are not sent.
    plan->kind = wide ? P_WTEXT : P_TEXT;
    plan->vt = wide ? VT_WNTS : VT_NTS;
    plan->width = static_cast<uint32_t>(longest + (wide ? 2 : 1));
    return 0;
}


// Text that is a date, time or timestamp escape becomes its plain literal
// (the column keeps its text type, so rows of other shapes still fit).
int WriteText(const BoundValue &v, bool wide, uint8_t *cell, uint32_t width, bool escapes)
{
    const uint32_t room = width - (wide ? 2 : 1);
    if (escapes && IsEscapeText(v.p, v.len, wide)) {
        std::vector<uint8_t> tmp(static_cast<size_t>(v.len) + 32);
        RowBlockColumn probe{VT_CHAR, 0, nullptr, nullptr};
        int rc = wide ? WCharToDateTime(tmp.data(), reinterpret_cast<const SQLWCHAR *>(v.p),
                                        static_cast<size_t>(v.len), &probe, 0)
                      : CharToDateTime(tmp.data(), reinterpret_cast<const char *>(v.p), static_cast<size_t>(v.len),
                                       &probe, 0);
        if (rc != 0)
            return rc;
        if (probe.valueType == VT_DATE || probe.valueType == VT_TIME || probe.valueType == VT_TIMESTAMP) {
            char text[64];
            int n = FormatDateTime(tmp.data(), probe.valueType, text, sizeof text);
            for (int i = 0; i < n && static_cast<uint32_t>(i) < (wide ? room / 2 : room); ++i) {
                if (wide) {
                    SQLWCHAR u = static_cast<unsigned char>(text[i]);
                    std::memcpy(cell + 2 * i, &u, 2);
                } else {
                    cell[i] = static_cast<uint8_t>(text[i]);
                }
            }
            return 0;
        }
    }
    if (v.p && v.len > 0)
        std::memcpy(cell, v.p, static_cast<size_t>(static_cast<uint64_t>(v.len) < room ? v.len : room));
    return 0;
}

int WriteCell(const ColPlan &plan, const BoundValue &v, uint8_t *cell)
{
    auto copyUpTo = [&](void *to, size_t room) {
        if (v.p && v.len > 0)
            std::memcpy(to, v.p, static_cast<size_t>(v.len) < room ? static_cast<size_t>(v.len) : room);
    };
    switch (plan.kind) {
    case P_COPY:
        copyUpTo(cell, plan.width);
        return 0;
    case P_TEXT:
    case P_WTEXT:
        return WriteText(v, plan.kind == P_WTEXT, cell, plan.width, !plan.v2);
    case P_HEAP: {
        LongDataBuf heap{0, nullptr};
        if (v.p && v.len > 0) {
            heap.data = static_cast<char *>(std::malloc(static_cast<size_t>(v.len)));
            if (!heap.data)
                return ERR_MEMORY_ALLOCATION;
            std::memcpy(heap.data, v.p, static_cast<size_t>(v.len));
            heap.length = static_cast<uint32_t>(v.len);
        }
        std::memcpy(cell, &heap, sizeof heap);
        return 0;
    }
    case P_NUMERIC: {
        SQL_NUMERIC_STRUCT num{};
        copyUpTo(&num, sizeof num);
        size_t n = 0;
        return NumericToChar(reinterpret_cast<char *>(cell), plan.width, num, &n);
    }
    case P_GUID: {
        SQLGUID g{};
        copyUpTo(&g, sizeof g);
        GuidToChar(reinterpret_cast<char *>(cell), g);
        return 0;
    }
    case P_SBIGINT:
    case P_UBIGINT: {
        // Digits only, no padding: blanks would end up in a text column.
        char *out = reinterpret_cast<char *>(cell);
        if (plan.kind == P_SBIGINT) {
            int64_t x = 0;
            copyUpTo(&x, sizeof x);
            std::to_chars(out, out + plan.width - 1, x);
        } else {
            uint64_t x = 0;
            copyUpTo(&x, sizeof x);
            std::to_chars(out, out + plan.width - 1, x);
        }
        return 0;
    }
    }
    return 0;
}

// The read-only code of ColDesc updatability.
constexpr uint32_t kUpdatableReadOnly = 1;

bool CellIgnored(Stmt *s, const ColBinding &cb, uint32_t row)
{
    return LengthWordAt(s, cb.head, row) == SQL_COLUMN_IGNORE;
}

// Whether a binding's column is written: not the bookmark, not ignored
// (SQL_COLUMN_IGNORE) in every row the operation acts on, and not
// read-only.  ERR_GENERAL for a column without a description.
int Qualifies(Stmt *s, const ColBinding &cb, uint32_t first, const std::vector<bool> &acting, bool *yes)
{
    *yes = false;
    if (cb.head.column == 0)
        return 0;
    bool given = false;
    for (uint32_t l = 0; l < acting.size() && !given; ++l)
        given = acting[l] && !CellIgnored(s, cb, first + l);
    if (!given)
        return 0;
    const ColDesc *d = StmtGetColDesc(s, cb.head.column);
    if (!d)
        return ERR_GENERAL;
    *yes = ((d->attrFlags & CD_UPDATABLE_MASK) >> CD_UPDATABLE_SHIFT) != kUpdatableReadOnly;
    return 0;
}

bool InList(uint16_t column, const uint16_t *list, uint16_t count)
{
    for (uint16_t i = 0; i < count; ++i)
        if (list[i] == column)
            return true;
    return false;
}

// Fills a value block of the planned columns over rows first .. first +
// rows - 1; rows not in `acting` (left alone by the row-operation array,
// never fetched) are marked ignored.  A row whose written columns are all
// SQL_COLUMN_IGNORE is left alone as well.  One statement writes the same
// columns in every row, so a row that ignores only some of them cannot be
// written as asked: ERR_NOT_CAPABLE, before anything is sent.
int FillValues(Stmt *s, const std::vector<ColPlan> &plans, uint32_t first, uint32_t rows,
               const std::vector<bool> &acting, RowBlock *block)
{
    if (int rc = RB_Init(block, static_cast<uint16_t>(plans.size())))
        return rc;
    for (size_t j = 0; j < plans.size(); ++j) {
        block->columns[j].valueType = plans[j].vt;
        block->columns[j].width = plans[j].width;
    }
    block->columnsUsed = static_cast<uint16_t>(plans.size());
    if (int rc = RB_AllocRows(block, static_cast<int32_t>(rows)))
        return rc;
    block->rowsUsed = static_cast<int32_t>(rows);
    for (uint32_t l = 0; l < rows; ++l) {
        const uint32_t k = first + l;
        size_t ignored = 0;
        for (const ColPlan &p : plans)
            ignored += CellIgnored(s, *p.b, k) ? 1 : 0;
        const bool leave = !acting[l] || (ignored > 0 && ignored == plans.size());
        if (!leave && ignored > 0)
            return ERR_NOT_CAPABLE;
        for (size_t j = 0; j < plans.size(); ++j) {
            RowBlockColumn &col = block->columns[j];
            if (leave) {
                col.indicators[l] = RB_IND_IGNORED;
                continue;
            }
            const BoundValue v = ReadBound(s, *plans[j].b, k, plans[j].v2);
            if (v.null || v.atExec) {
                col.indicators[l] = v.atExec ? RB_IND_AT_EXEC : RB_IND_NULL;
                continue;
            }
            if (int rc = WriteCell(plans[j], v, col.data + static_cast<size_t>(l) * col.width))
                return rc;
            col.indicators[l] = RB_IND_VALUE;
        }
    }
    return 0;
}

// Rows of an operation: every row of the rowset (row CUR_POS_ROWSET or 0) or row n
// alone.  ADD takes the rows of the bound buffers; the other operations the
// rows the last fetch delivered.
void OpRows(const Stmt *s, int32_t row, uint32_t *first, uint32_t *count)
{
    if (row <= 0) {
        *first = 0;
        const int32_t n = s->cursor.setPosOp == SQL_ADD ? s->cursor.rowsetSize : StmtRowsetRows(s);
        *count = n > 0 ? static_cast<uint32_t>(n) : 1;
    } else {
        *first = static_cast<uint32_t>(row - 1);
        *count = 1;
    }
}

} // namespace

int32_t StmtRowsetRows(const Stmt *s)
{
    const RowsetCache *cache = s->cursor.cache;
    int32_t n = cache && cache->status ? cache->rows : 0;
    while (n > 0 && cache->status[n - 1] == SQL_ROW_NOROW)
        --n;
    return n < s->cursor.rowsetSize ? n : s->cursor.rowsetSize;
}

uint32_t BindValueLength(const Stmt *s, const ColBinding &b, uint32_t row)
{
    const BoundValue v = ReadBound(s, b, row);
    return v.null || v.len < 0 ? 0 : static_cast<uint32_t>(v.len);
}

namespace {

// The largest of length(s, b, i) over rows 0 .. rows - 1.
uint32_t Longest(const Stmt *s, const ColBinding &b, uint32_t rows,
                 uint32_t (*length)(const Stmt *, const ColBinding &, uint32_t))
{
    uint32_t longest = 0;
    for (uint32_t i = 0; i < rows; ++i) {
        const uint32_t n = length(s, b, i);
        if (n > longest)
            longest = n;
    }
    return longest;
}

} // namespace

uint32_t BindMaxValueLength(const Stmt *s, const ColBinding &b, uint32_t rows)
{
    return Longest(s, b, rows, BindValueLength);
}

uint32_t BindValueLengthV2(const Stmt *s, const ColBinding &b, uint32_t row)
{
    const BoundValue v = ReadBound(s, b, row, true);
    return v.null || v.atExec || v.len < 0 ? 0 : static_cast<uint32_t>(v.len);
}

uint32_t BindMaxValueLengthV2(const Stmt *s, const ColBinding &b, uint32_t rows)
{
    return Longest(s, b, rows, BindValueLengthV2);
}

int StmtColsNeedData(Stmt *s, const uint16_t *list, uint16_t count)
{
    StmtExec &ex = *s->ex;
    uint32_t bindings = 0;
    for (ColBindingNode *n = s->boundCols; n; n = n->next)
        ++bindings;
    if (bindings == 0 || (list && count == 0)) {
        ex.daeScanParam = 0;
        ex.daeScanRow = 0;
        return 0;
    }
    for (uint32_t row = ex.daeScanRow; row < ex.daeRowEnd; ++row) {
        uint16_t index = 0;
        for (ColBindingNode *n = s->boundCols; n; n = n->next, ++index) {
            if (row == ex.daeScanRow && index < ex.daeScanParam)
                continue;
            const ColBindingHead &b = n->b.head;
            if (b.column == 0 || (list && !InList(b.column, list, count)))
                continue;
            if (!b.octetLengthPtr || !IsDataAtExec(LengthWordAt(s, b, row)))
                continue;
            ex.daeScanParam = index;
            ex.daeScanRow = row;
            return 1;
        }
        ex.daeScanParam = 0;
    }
    ex.daeScanParam = 0;
    ex.daeScanRow = 0;
    return 0;
}

int StmtSetPosNeedData(Stmt *s, int32_t row, const uint16_t *list, uint16_t count)
{
    if (s->daeState != DAE_NONE)
        return StFail(s, ERR_FUNCTION_SEQUENCE);
    if (int rc = StmtAllocRowBufs(s))
        return StFail(s, rc);
    uint32_t first = 0, rows = 0;
    OpRows(s, row, &first, &rows);
    StmtExec &ex = *s->ex;
    ex.daeScanParam = 0;
    ex.daeScanRow = first;
    ex.daeRowEnd = first + rows;
    ex.daeNamed = 0;
    if (!StmtColsNeedData(s, list, count))
        return 0;
    // Restart the scan where the first missing value lies.
    s->daeState = list ? DAE_BULK : DAE_SETPOS;
    return SQL_NEED_DATA;
}

namespace {

// The value block of either engine and the numbers of its columns.
int BuildSetPosValues(Stmt *s, int32_t row, RowBlock *block, uint16_t **list, uint16_t *count, bool v2)
{
    s->daeState = DAE_NONE;
    *list = nullptr;
    *count = 0;
    uint32_t first = 0, rows = 0;
    OpRows(s, row, &first, &rows);
    // Rows the row-operation array leaves alone, and rows of a partial
    // rowset that were never fetched, are not written.
    std::vector<bool> acting(rows, true);
    for (uint32_t l = 0; l < rows; ++l)
        acting[l] = !RowIgnored(s, first + l) &&
                    !(row <= 0 && s->cursor.setPosOp != SQL_ADD &&
                      CUR_RowStatusGet(s->cursor.cache, static_cast<int32_t>(first + l + 1)) == SQL_ROW_NOROW);
    std::vector<ColPlan> plans;
    for (ColBindingNode *n = s->boundCols; n; n = n->next) {
        bool yes = false;
        if (int rc = Qualifies(s, n->b, first, acting, &yes))
            return rc;
        if (!yes)
            continue;
        ColPlan p{};
        if (int rc = PlanColumn(s, n->b, first, rows, &p, v2))
            return rc;
        plans.push_back(p);
    }
    if (int rc = FillValues(s, plans, first, rows, acting, block))
        return rc;
    auto *cols = static_cast<uint16_t *>(std::malloc((plans.empty() ? 1 : plans.size()) * sizeof(uint16_t)));
    if (!cols)
        return ERR_MEMORY_ALLOCATION;
    for (size_t j = 0; j < plans.size(); ++j)
        cols[j] = plans[j].b->head.column;
    *list = cols;
    *count = static_cast<uint16_t>(plans.size());
    return 0;
}

} // namespace

int StmtBuildSetPosValues(Stmt *s, int32_t row, RowBlock *block, uint16_t **list, uint16_t *count)
{
    return BuildSetPosValues(s, row, block, list, count, false);
}

int StmtBuildSetPosValuesV2(Stmt *s, int32_t row, RowBlock *block, uint16_t **list, uint16_t *count)
{
    return BuildSetPosValues(s, row, block, list, count, true);
}

int StmtBuildStatusBlock(Stmt *s, int32_t row, RowBlock **out)
{
    if (!out)
        return ERR_GENERAL;
    *out = nullptr;
    uint32_t first = 0, rows = 0;
    OpRows(s, row, &first, &rows);
    auto *block = static_cast<RowBlock *>(std::calloc(1, sizeof(RowBlock)));
    if (!block)
        return ERR_MEMORY_ALLOCATION;
    int rc = RB_Init(block, 1);
    if (rc == 0) {
        block->columns[0].valueType = VT_BIT;
        block->columns[0].width = 1;
        block->columnsUsed = 1;
        rc = RB_AllocRows(block, static_cast<int32_t>(rows));
    }
    if (rc != 0) {
        RB_Free(block);
        std::free(block);
        return rc;
    }
    block->rowsUsed = static_cast<int32_t>(rows);
    for (uint32_t l = 0; l < rows; ++l) {
        const bool missing =
            row <= 0 && CUR_RowStatusGet(s->cursor.cache, static_cast<int32_t>(first + l + 1)) == SQL_ROW_NOROW;
        block->columns[0].indicators[l] = RowIgnored(s, first + l) || missing ? RB_IND_IGNORED : RB_IND_NULL;
    }
    *out = block;
    return 0;
}

int StmtUpdatableColumns(Stmt *s, uint32_t rows, std::vector<uint16_t> *out)
{
    out->clear();
    if (!s->ard || DescRecCount(s->ard) == 0)
        return ERR_GENERAL;
    const std::vector<bool> every(rows, true);
    for (ColBindingNode *n = s->boundCols; n; n = n->next) {
        bool yes = false;
        if (int rc = Qualifies(s, n->b, 0, every, &yes))
            return rc;
        if (yes)
            out->push_back(n->b.head.column);
    }
    return 0;
}

int StmtBuildBulkValues(Stmt *s, const uint16_t *list, uint16_t count, uint32_t rows, RowBlock *block)
{
    s->daeState = DAE_NONE;
    std::vector<ColPlan> plans;
    for (ColBindingNode *n = s->boundCols; n; n = n->next) {
        if (n->b.head.column == 0 || !InList(n->b.head.column, list, count))
            continue;
        ColPlan p{};
        if (int rc = PlanColumn(s, n->b, 0, rows, &p))
            return rc;
        plans.push_back(p);
    }
    return FillValues(s, plans, 0, rows, std::vector<bool>(rows, true), block);
}

BindStrides StmtBindStrides(const Stmt *s, const ColBindingHead &b)
{
    const uint32_t bindType = s->ard ? s->ard->bindType : 0;
    if (bindType)
        return {bindType, bindType};
    return {b.bufferLength, static_cast<int64_t>(sizeof(SQLLEN))};
}

ColBindingHead StmtBindingAt(const Stmt *s, const ColBindingHead &b, uint32_t i)
{
    const BindStrides st = StmtBindStrides(s, b);
    ColBindingHead one = b;
    one.data = b.data ? static_cast<char *>(b.data) + static_cast<int64_t>(i) * st.value : nullptr;
    one.octetLengthPtr = LengthAt(b.octetLengthPtr, st.length, i);
    one.indicatorPtr = LengthAt(b.indicatorPtr, st.length, i);
    return one;
}

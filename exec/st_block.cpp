// The parameter block of both execute engines: one column per parameter,
// typed by the C type once for the whole set, and one row per row of the
// parameter set that is sent; then its hand-over to the back end.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "exec/conv_send.h"
#include "exec/convert.h"
#include "exec/st_build.h"
#include "exec/st_internal.h"
#include "odbc/contract/flavour.h"
#include "odbc/contract/param_types.h"
#include "odbc/contract/rb_ops.h"


namespace {

bool IsDateSqlType(int16_t t)
{
    return t == SQL_DATE || t == SQL_TIME || t == SQL_TIMESTAMP || t == SQL_TYPE_DATE || t == SQL_TYPE_TIME ||
           t == SQL_TYPE_TIMESTAMP;
}

bool IsBinarySqlType(int16_t t) { return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY; }

// The struct a date SQL type is sent as.
ValueType DateValueType(int16_t t, uint32_t *width)
{
    if (t == SQL_DATE || t == SQL_TYPE_DATE) {
        *width = sizeof(DATE_STRUCT);
        return VT_DATE;
    }
    if (t == SQL_TIME || t == SQL_TYPE_TIME) {
        *width = sizeof(TIME_STRUCT);
        return VT_TIME;
    }
    *width = sizeof(TIMESTAMP_STRUCT);
    return VT_TIMESTAMP;
}

// How one parameter's values are written into its column.
enum Kind {
    K_NULL,        // output parameter: a column of NULLs keeps the positions
    K_COPY,        // the value's bytes, up to the width
    K_TEXT,        // narrow text
    K_WTEXT,       // UTF-16 text
    K_BIN4,        // bytes after a 4-byte length
    K_HEX,         // hexadecimal text as bytes (one-row set)
    K_HEX4,        // hexadecimal text as bytes after a 4-byte length
    K_DT_STRUCT,   // date-time escapes as the SQL type's struct
    K_DT_TEXT,     // date-time text; escapes written as plain literals
    K_NUMERIC,     // SQL_NUMERIC_STRUCT as exact decimal text
    K_GUID,
    K_SBIGINT,
    K_UBIGINT,
};

struct ColPlan {
    const ParamBinding *b;
    Kind kind;
    bool outputOnly;   // sized for the value coming back, sends NULL
    bool wide;     // the text of K_DT_* is UTF-16
    ValueType vt;
    uint64_t width;
};

// One value of a row as the engine reads it.
struct RowValue {
    bool null;
    bool dae;          // left for the back end to ask (V2)
    const uint8_t *p;  // null: an empty value
    int64_t len;
};

// The date-time struct of an escape; 0, 22007 or 07006 (by the parser), or
// ERR_INVALID_DATETIME_FORMAT when the text is no escape of a kind the SQL type takes.
int EscapeStruct(const RowValue &v, bool wide, int16_t sqlType, void *out, uint32_t width)
{
    std::vector<uint8_t> tmp(static_cast<size_t>(v.len) + 32);
    RowBlockColumn probe{VT_CHAR, 0, nullptr, nullptr};
    int rc = wide ? WCharToDateTime(tmp.data(), reinterpret_cast<const SQLWCHAR *>(v.p), static_cast<size_t>(v.len),
                                    &probe, sqlType)
                  : CharToDateTime(tmp.data(), reinterpret_cast<const char *>(v.p), static_cast<size_t>(v.len),
                                   &probe, sqlType);
    if (rc != 0)
        return rc;
    if (probe.valueType == VT_CHAR || probe.width != width)
        return ERR_INVALID_DATETIME_FORMAT;
    std::memcpy(out, tmp.data(), width);
    return 0;
}

} // namespace

bool IsEscapeText(const uint8_t *p, int64_t len, bool wide)
{
    if (!p)
        return false;
    if (wide) {
        for (int64_t i = 0; i + 1 < len; i += 2) {
            SQLWCHAR u;
            std::memcpy(&u, p + i, 2);
            if (u != u' ' && u != u'\t')
                return u == u'{';
        }
        return false;
    }
    for (int64_t i = 0; i < len; ++i)
        if (p[i] != ' ' && p[i] != '\t')
            return p[i] == '{';
    return false;
}

int FormatDateTime(const uint8_t *st, ValueType vt, char *out, size_t size)
{
    if (vt == VT_DATE) {
        DATE_STRUCT d;
        std::memcpy(&d, st, sizeof d);
        return std::snprintf(out, size, "%04d-%02u-%02u", d.year, d.month, d.day);
    }
    if (vt == VT_TIME) {
        TIME_STRUCT t;
        std::memcpy(&t, st, sizeof t);
        return std::snprintf(out, size, "%02u:%02u:%02u", t.hour, t.minute, t.second);
    }
    TIMESTAMP_STRUCT ts;
    std::memcpy(&ts, st, sizeof ts);
    int n = std::snprintf(out, size, "%04d-%02u-%02u %02u:%02u:%02u", ts.year, ts.month, ts.day, ts.hour, ts.minute,
                          ts.second);
    if (ts.fraction) {
        char frac[16];
        std::snprintf(frac, sizeof frac, "%09u", static_cast<unsigned>(ts.fraction));
        int digits = 9;
        while (digits > 1 && frac[digits - 1] == '0')
            --digits;
        n += std::snprintf(out + n, size - static_cast<size_t>(n), ".%.*s", digits, frac);
    }
    return n;
}

namespace {

RowValue ReadValue(const Stmt *s, const ParamBinding &b, uint32_t row, bool v2)
{
    RowValue v{false, false, nullptr, 0};
    const ParamCell c = ParamCellAt(s, b, row);
    const SQLLEN ind = c.indicator ? *c.indicator : 0;
    if (ind == SQL_NULL_DATA) {
        v.null = true;
        return v;
    }
    const SQLLEN len = c.length ? *c.length : b.octetSize;
    if (c.length && IsDataAtExec(len)) {
        if (v2) {
            v.dae = true;
            return v;
        }
        const bool haveRow = b.rowValues && static_cast<int64_t>(row) < b.rowCount;
        const void *value = haveRow ? b.rowValues[row] : nullptr;
        const int64_t got = haveRow && b.rowLengths ? b.rowLengths[row] : 0;
        if (got == SQL_NULL_DATA) {
            // SQLPutData sent SQL_NULL_DATA: the parameter is NULL.
            v.null = true;
        } else if (!value) {
            v.null = !(len == SQL_DATA_AT_EXEC || len == SQL_LEN_DATA_AT_EXEC(0));
        } else {
            v.p = static_cast<const uint8_t *>(value);
            v.len = got;
        }
        return v;
    }
    if (!c.data) {
        v.null = !(len == SQL_DATA_AT_EXEC || len == SQL_LEN_DATA_AT_EXEC(0));
        return v;
    }
    v.p = static_cast<const uint8_t *>(c.data);
    const bool variable = b.cType == SQL_C_CHAR || b.cType == SQL_C_WCHAR || b.cType == SQL_C_BINARY ||
                          b.octetSize <= 0;
    v.len = variable ? ParamValueLengthRow(s, b, row) : b.octetSize;
    return v;
}

// The column plan of one parameter over the rows that are sent.
int PlanColumn(const Stmt *s, const ParamBinding *b, int16_t dir, const std::vector<uint32_t> &rows,
               uint32_t setRows, bool v2, ColPlan *plan)
{
    *plan = ColPlan{b, K_COPY, false, false, VT_CHAR, 1};
    if (!b) {
        plan->kind = K_NULL;
        return 0;
    }
    const bool paramOp = s->conn && s->conn->cn_hasParamOp;
    int64_t longest = 0;
    if (dir == PARAM_OUTPUT) {
        plan->outputOnly = true;
    } else {
        for (uint32_t r = 0; r < setRows; ++r) {
            RowValue v = ReadValue(s, *b, r, v2);
            if (!v.null && !v.dae && v.len > longest)
                longest = v.len;
        }
    }
    // The back end returns an output value in its parameter's column: the
    // column holds what the application's buffer can take.
    if (dir == PARAM_OUTPUT || dir == PARAM_INPUT_OUTPUT) {
        const int64_t room = b->bufferLength > 0 ? b->bufferLength : static_cast<int64_t>(b->columnSize);
        if (room > longest)
            longest = room;
    }
    if (longest > 0x7FFF0000)
        return ERR_MEMORY_ALLOCATION;
    const int16_t sqlType = b->sqlType;
    auto text = [&](int64_t extra, int64_t min) {
        int64_t w = paramOp ? longest + extra : longest;
        return static_cast<uint64_t>(w < min ? min : w);
    };
    // Date-time text: one struct column when every value is an escape.
    auto dateText = [&](bool wide) {
        bool allEscapes = true;
        for (uint32_t r : rows) {
            RowValue v = ReadValue(s, *b, r, v2);
            if (!v.null && !v.dae && v.p && v.len > 0 && !IsEscapeText(v.p, v.len, wide))
                allEscapes = false;
        }
        plan->wide = wide;
        if (allEscapes) {
            plan->kind = K_DT_STRUCT;
            uint32_t w = 0;
            plan->vt = DateValueType(sqlType, &w);
            plan->width = w;
        } else {
            plan->kind = K_DT_TEXT;
            plan->vt = wide ? VT_WCHAR : VT_CHAR;
            const int64_t room = longest > 32 ? longest : 32;
            plan->width = static_cast<uint64_t>(wide ? 2 * room + 2 : room + 1);
        }
    };
    switch (b->cType) {
    case SQL_C_WCHAR:
        if (IsDateSqlType(sqlType)) {
            dateText(true);
        } else {
            plan->kind = K_WTEXT;
            plan->vt = VT_WCHAR;
            plan->width = text(2, 2);
        }
        return 0;
    case SQL_C_BINARY:
        plan->kind = K_BIN4;
        plan->vt = VT_BIN4;
        plan->width = static_cast<uint64_t>(longest + 8);
        return 0;
    case SQL_C_NUMERIC:
        plan->kind = K_NUMERIC;
        plan->width = NUMERIC_TEXT_MAX + 1;
        return 0;
    case SQL_C_GUID:
        plan->kind = K_GUID;
        plan->width = 36;
        return 0;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
        plan->kind = b->cType == SQL_C_SBIGINT ? K_SBIGINT : K_UBIGINT;
        plan->width = 32;
        return 0;
    case SQL_C_DOUBLE: plan->vt = VT_DOUBLE; plan->width = 8; return 0;
    case SQL_C_FLOAT: plan->vt = VT_FLOAT; plan->width = 4; return 0;
    case SQL_C_LONG: case SQL_C_SLONG: plan->vt = VT_LONG; plan->width = 4; return 0;
    case SQL_C_ULONG: plan->vt = VT_ULONG; plan->width = 4; return 0;
    case SQL_C_SHORT: case SQL_C_SSHORT: plan->vt = VT_SHORT; plan->width = 2; return 0;
    case SQL_C_USHORT: plan->vt = VT_USHORT; plan->width = 2; return 0;
    case SQL_C_TINYINT: case SQL_C_STINYINT: plan->vt = VT_TINYINT; plan->width = 1; return 0;
    case SQL_C_UTINYINT: plan->vt = VT_UTINYINT; plan->width = 1; return 0;
    case SQL_C_BIT: plan->vt = VT_BIT; plan->width = 1; return 0;
    case SQL_C_DATE: case SQL_C_TYPE_DATE: plan->vt = VT_DATE; plan->width = sizeof(DATE_STRUCT); return 0;
    case SQL_C_TIME: case SQL_C_TYPE_TIME: plan->vt = VT_TIME; plan->width = sizeof(TIME_STRUCT); return 0;
    case SQL_C_TIMESTAMP: case SQL_C_TYPE_TIMESTAMP:
        plan->vt = VT_TIMESTAMP;
        plan->width = sizeof(TIMESTAMP_STRUCT);
        return 0;
    default:
        break;
    }
    // SQL_C_CHAR and every other type: text.
    if (IsBinarySqlType(sqlType)) {
        if (setRows == 1 && rows.size() == 1) {
            plan->kind = K_HEX;
            plan->vt = VT_BINARY;
            plan->width = static_cast<uint64_t>(longest / 2 > 0 ? longest / 2 : 1);
        } else {
            plan->kind = K_HEX4;
            plan->vt = VT_BIN4;
            plan->width = static_cast<uint64_t>(4 + (longest + 1) / 2);
        }
    } else if (IsDateSqlType(sqlType)) {
        dateText(false);
    } else {
        plan->kind = K_TEXT;
        plan->vt = VT_CHAR;
        plan->width = text(1, 1);
    }
    return 0;
}

// Writes one value into its cell.  0 or an error number.
int WriteCell(const ColPlan &plan, const RowValue &v, uint8_t *cell)
{
    const uint32_t w = static_cast<uint32_t>(plan.width);
    const int16_t sqlType = plan.b->sqlType;
    auto copyUpTo = [&](uint8_t *to, uint32_t room) {
        if (v.p && v.len > 0)
            std::memcpy(to, v.p, static_cast<size_t>(v.len < room ? v.len : room));
    };
    switch (plan.kind) {
    case K_NULL:
        return 0;
    case K_COPY:
    case K_TEXT:
    case K_WTEXT:
        copyUpTo(cell, w);
        return 0;
    case K_BIN4: {
        uint32_t n = static_cast<uint32_t>(v.p ? v.len : 0);
        std::memcpy(cell, &n, 4);
        copyUpTo(cell + 4, w - 4);
        return 0;
    }
    case K_HEX:
    case K_HEX4: {
        const uint32_t prefix = plan.kind == K_HEX4 ? 4 : 0;
        uint32_t n = static_cast<uint32_t>(v.p ? v.len / 2 : 0);
        if (v.p && v.len > 0) {
            if (int rc = HexToBinary(cell + prefix, reinterpret_cast<const char *>(v.p), static_cast<size_t>(v.len)))
                return rc;
        }
        if (prefix)
            std::memcpy(cell, &n, 4);
        return 0;
    }
    case K_DT_STRUCT:
        if (!v.p || v.len == 0)
            return 0;
        return EscapeStruct(v, plan.wide, sqlType, cell, w);
    case K_DT_TEXT: {
        if (!v.p || v.len == 0)
            return 0;
        if (!IsEscapeText(v.p, v.len, plan.wide)) {
            copyUpTo(cell, w);
            return 0;
        }
        uint8_t st[sizeof(TIMESTAMP_STRUCT)];
        uint32_t sw = 0;
        const ValueType vt = DateValueType(sqlType, &sw);
        if (int rc = EscapeStruct(v, plan.wide, sqlType, st, sw))
            return rc;
        char text[64];
        int n = FormatDateTime(st, vt, text, sizeof text);
        if (plan.wide) {
            for (int i = 0; i < n && 2u * static_cast<uint32_t>(i) + 1 < w; ++i) {
                SQLWCHAR u = static_cast<unsigned char>(text[i]);
                std::memcpy(cell + 2 * i, &u, 2);
            }
        } else {
            std::memcpy(cell, text, static_cast<size_t>(n) < w ? static_cast<size_t>(n) : w);
        }
        return 0;
    }
    case K_NUMERIC: {
        SQL_NUMERIC_STRUCT num{};
        copyUpTo(reinterpret_cast<uint8_t *>(&num), sizeof num);
        size_t n = 0;
        return NumericToChar(reinterpret_cast<char *>(cell), w, num, &n);
    }
    case K_GUID: {
        SQLGUID g{};
        copyUpTo(reinterpret_cast<uint8_t *>(&g), sizeof g);
        GuidToChar(reinterpret_cast<char *>(cell), g);
        return 0;
    }
    case K_SBIGINT:
    case K_UBIGINT: {
        char *out = reinterpret_cast<char *>(cell);
        if (plan.kind == K_SBIGINT) {
            int64_t x = 0;
            copyUpTo(reinterpret_cast<uint8_t *>(&x), sizeof x);
            std::to_chars(out, out + w - 1, x);
        } else {
            uint64_t x = 0;
            copyUpTo(reinterpret_cast<uint8_t *>(&x), sizeof x);
            std::to_chars(out, out + w - 1, x);
        }
        return 0;
    }
    }
    return 0;
}

// A code set takes at most this many bytes for one UTF-16 unit (UTF-8 three,
// GB18030 four).
constexpr uint64_t kAnsiBytesPerUnit = 4;

// Converts the wide text columns of a parameter block to the ANSI code page,
// each widened to what its values take there; a wide value coming back gets
// room for as many characters as the application's buffer holds.  0 or ERR_MEMORY_ALLOCATION.
int NarrowWideParams(const Stmt *s, RowBlock *block, uint16_t n)
{
    if (int rc = RB_WideToAnsi(block))
        return rc;
    for (uint16_t i = 0; i < n && i < block->columnsUsed; ++i) {
        const ParamBinding &b = s->paramBindings[i];
        if (b.number != i + 1 || b.cType != SQL_C_WCHAR || ParamClassOf(s, i) == PARAM_INPUT)
            continue;
        const uint64_t units = b.bufferLength > 0 ? static_cast<uint64_t>(b.bufferLength) / 2 : b.columnSize;
        const uint64_t room = units * kAnsiBytesPerUnit;
        if (room > 0x7FFF0000)
            return ERR_MEMORY_ALLOCATION;
        if (int rc = RB_WidenColumn(block, i, static_cast<uint32_t>(room)))
            return rc;
    }
    return 0;
}

} // namespace

void ParamBlock::Release()
{
    if (block) {
        RB_Free(block);
        std::free(block);
        block = nullptr;
    }
}

int BuildParamBlock(Stmt *s, bool v2, ParamBlock *out)
{
    *out = ParamBlock{};
    const uint16_t n = s->paramCount < s->paramCapacity ? s->paramCount : s->paramCapacity;
    if (n == 0)
        return 0;
    const uint32_t setRows = static_cast<uint32_t>(s->paramsetSize);
    const uint16_t *ops = s->apd ? s->apd->arrayStatusPtr : nullptr;
    for (uint32_t r = 0; r < setRows; ++r)
        if (!ops || ops[r] != SQL_PARAM_IGNORE)
            out->rows.push_back(r);

    auto *block = static_cast<RowBlock *>(std::calloc(1, sizeof(RowBlock)));
    if (!block || RB_Init(block, n) != 0) {
        std::free(block);
        return ERR_MEMORY_ALLOCATION;
    }
    out->block = block;
    block->columnsUsed = n;
    std::vector<ColPlan> plans(n);
    for (uint16_t i = 0; i < n; ++i) {
        const ParamBinding *b = &s->paramBindings[i];
        if (b->number != i + 1)
            b = nullptr;
        const int16_t dir = ParamClassOf(s, i);
        if (int rc = PlanColumn(s, b, dir, out->rows, setRows, v2, &plans[i])) {
            out->Release();
            return rc;
        }
        // Text coming back ends at its terminator, not at the column's width.
        if (dir != PARAM_INPUT && plans[i].vt == VT_CHAR)
            plans[i].vt = VT_NTS;
        else if (dir != PARAM_INPUT && plans[i].vt == VT_WCHAR)
            plans[i].vt = VT_WNTS;
        if (plans[i].width > 0xFFFFFF00u) {
            out->Release();
            return ERR_MEMORY_ALLOCATION;
        }
        block->columns[i].valueType = plans[i].vt;
        block->columns[i].width = static_cast<uint32_t>(plans[i].width);
    }
    const int32_t sent = static_cast<int32_t>(out->rows.size());
    if (RB_AllocRows(block, sent) != 0) {
        out->Release();
        return ERR_MEMORY_ALLOCATION;
    }
    block->rowsUsed = sent;
    for (int32_t k = 0; k < sent; ++k) {
        for (uint16_t i = 0; i < n; ++i) {
            const ColPlan &plan = plans[i];
            RowBlockColumn &col = block->columns[i];
            if (plan.kind == K_NULL || plan.outputOnly)
                continue;
            RowValue v = ReadValue(s, *plan.b, out->rows[static_cast<size_t>(k)], v2);
            if (v.null)
                continue;
            if (v.dae) {
                col.indicators[k] = -2;
                continue;
            }
            uint8_t *cell = col.data + static_cast<size_t>(k) * col.width;
            if (int rc = WriteCell(plan, v, cell)) {
                out->Release();
                return rc;
            }
            col.indicators[k] = RB_IND_VALUE;
        }
    }
    return 0;
}

int SendParams(Stmt *s, ParamBlock *pb)
{
    const DrvOpTable *ops = StOps(s);
    if (!ops)
        return ERR_NOT_CAPABLE;
    const uint16_t n = s->paramCount < s->paramCapacity ? s->paramCount : s->paramCapacity;
    // Wide text travels as ANSI text to a back end that takes narrow text
    // only, and always in the ANSI build.
    const bool narrow = (s->conn && s->conn->narrowConversion) || !KRS_IsUnicodeBuild();
    const bool hasOut = s->ex->outParams || s->ex->inoutParams;
    std::vector<ParamTypeDesc> types(n ? n : 1);
    for (uint16_t i = 0; i < n; ++i) {
        const ParamBinding &b = s->paramBindings[i];
        types[i] = ParamTypeDesc{b.sqlType, b.cType, static_cast<uint32_t>(b.columnSize), b.decimalDigits,
                                 ParamClassOf(s, i)};
    }
    if (narrow)
        NarrowParamSqlTypes(types.data(), n);
    RowBlock *block = pb->block;
    if (block && narrow)
        if (int rc = NarrowWideParams(s, block, n))
            return rc;
    const bool sendTypes = (s->flags & ST_NEEDBIND) && !(s->flags & ST_PARAMTYPES_SENT);
    const bool freesBlocks = s->binding && (s->binding->flags & DRVB_FREES_PARAMS);
    int rc;
    if (s->conn && s->conn->cn_hasExecute2) {
        CUR_PosReset(&s->cursor);
        if (sendTypes && (block || hasOut)) {
            rc = ops->ExecDirect ? ops->ExecDirect(StDrv(s), nullptr, block, static_cast<int16_t>(n), types.data())
                                 : ERR_NOT_CAPABLE;
            s->flags |= ST_PARAMTYPES_SENT;
        } else if (block) {
            rc = ops->ExecDirect ? ops->ExecDirect(StDrv(s), nullptr, block, 0, nullptr) : ERR_NOT_CAPABLE;
        } else {
            rc = ops->Execute ? ops->Execute(StDrv(s)) : ERR_NOT_CAPABLE;
        }
    } else {
        rc = 0;
        if (block)
            rc = ops->SetParams ? ops->SetParams(StDrv(s), block) : ERR_NOT_CAPABLE;
        if (rc == 0 && (s->flags & ST_NEEDBIND) && (block || hasOut) && ops->SetParamTypes)
            rc = ops->SetParamTypes(StDrv(s), n, types.data());
        if (rc == 0) {
            CUR_PosReset(&s->cursor);
            rc = ops->Execute ? ops->Execute(StDrv(s)) : ERR_NOT_CAPABLE;
        }
    }
    // The back end keeps the block unless the binding says it copies it;
    // a copied block stays with the caller.
    if (block && !freesBlocks)
        pb->block = nullptr;
    return rc;
}

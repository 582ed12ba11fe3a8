// GetColumn: column conversion dispatch for every fetch path.
#include "exec/getcolumn.h"

#include <cstdlib>
#include <cstring>

#include "exec/conv_internal.h"
#include "odbc/ctype.h"

namespace {

// The converter family of a value type.
enum Family { F_TEXT, F_BINARY, F_WIDE, F_BYTE, F_SHORT, F_LONG, F_FLOAT, F_DOUBLE, F_DATE, F_TIME, F_TIMESTAMP };

// Where a cell's value lies within its element.
enum Layout {
    L_FIXED,    // the whole element
    L_HEAP,     // LongDataBuf, length in bytes
    L_HEAPW,    // LongDataBuf, length in UTF-16 units
    L_NTS,      // up to a NUL byte
    L_WNTS,     // up to a zero unit
    L_PREFIX1,  // 1-, 2- or 4-byte length in bytes, then the value
    L_PREFIX2,
    L_PREFIX4,
    L_WPREFIX4, // 4-byte length in units, then UTF-16
    L_SCALAR,   // a value of `size` bytes
};

struct VtRow {
    ValueType vt;
    Family family;
    Layout layout;
    bool isSigned;
    int size;           // bytes a scalar needs
    int16_t defCType;   // C type SQL_C_DEFAULT takes without a column description
};

constexpr VtRow kValueTypes[] = {
    {VT_CHAR, F_TEXT, L_FIXED, false, 0, SQL_C_CHAR},
    {VT_HEAP_TEXT, F_TEXT, L_HEAP, false, 0, SQL_C_CHAR},
    {VT_NTS, F_TEXT, L_NTS, false, 0, SQL_C_CHAR},
    {VT_TEXT1, F_TEXT, L_PREFIX1, false, 0, SQL_C_CHAR},
    {VT_TEXT2, F_TEXT, L_PREFIX2, false, 0, SQL_C_CHAR},
    {VT_TEXT4, F_TEXT, L_PREFIX4, false, 0, SQL_C_CHAR},
    {VT_BINARY, F_BINARY, L_FIXED, false, 0, SQL_C_BINARY},
    {VT_HEAP_BINARY, F_BINARY, L_HEAP, false, 0, SQL_C_BINARY},
    {VT_BIN1, F_BINARY, L_PREFIX1, false, 0, SQL_C_BINARY},
    {VT_BIN2, F_BINARY, L_PREFIX2, false, 0, SQL_C_BINARY},
    {VT_BIN4, F_BINARY, L_PREFIX4, false, 0, SQL_C_BINARY},
    {VT_WCHAR, F_WIDE, L_FIXED, false, 0, SQL_C_WCHAR},
    {VT_WNTS, F_WIDE, L_WNTS, false, 0, SQL_C_WCHAR},
    {VT_HEAP_WTEXT, F_WIDE, L_HEAPW, false, 0, SQL_C_WCHAR},
    {VT_WTEXT4, F_WIDE, L_WPREFIX4, false, 0, SQL_C_WCHAR},
    {VT_BIT, F_BYTE, L_SCALAR, false, 1, SQL_C_BIT},
    {VT_UTINYINT, F_BYTE, L_SCALAR, false, 1, SQL_C_UTINYINT},
    {VT_TINYINT, F_BYTE, L_SCALAR, true, 1, SQL_C_STINYINT},
    {VT_SHORT, F_SHORT, L_SCALAR, true, 2, SQL_C_SSHORT},
    {VT_USHORT, F_SHORT, L_SCALAR, false, 2, SQL_C_USHORT},
    {VT_LONG, F_LONG, L_SCALAR, true, 4, SQL_C_SLONG},
    {VT_ULONG, F_LONG, L_SCALAR, false, 4, SQL_C_ULONG},
    {VT_FLOAT, F_FLOAT, L_SCALAR, true, 4, SQL_C_FLOAT},
    {VT_DOUBLE, F_DOUBLE, L_SCALAR, true, 8, SQL_C_DOUBLE},
    {VT_DATE, F_DATE, L_SCALAR, true, sizeof(DATE_STRUCT), SQL_C_TYPE_DATE},
    {VT_TIME, F_TIME, L_SCALAR, true, sizeof(TIME_STRUCT), SQL_C_TYPE_TIME},
    {VT_TIMESTAMP, F_TIMESTAMP, L_SCALAR, true, sizeof(TIMESTAMP_STRUCT), SQL_C_TYPE_TIMESTAMP},
};

// kValueTypes' row of each value type (-1 for none), looked up per cell.
struct VtIndex {
    int8_t row[32];
    constexpr VtIndex() : row{}
    {
        for (int8_t &r : row)
            r = -1;
        for (size_t i = 0; i < sizeof kValueTypes / sizeof kValueTypes[0]; ++i)
            row[kValueTypes[i].vt] = static_cast<int8_t>(i);
    }
};
constexpr VtIndex kVtIndex;

const VtRow *FindValueType(ValueType vt)
{
    const int r = vt < sizeof kVtIndex.row ? kVtIndex.row[vt] : -1;
    return r < 0 ? nullptr : &kValueTypes[r];
}

// The family a long-value piece or a continued value is converted as.
Family PieceFamily(ValueType vt)
{
    const VtRow *row = FindValueType(vt);
    if (row && (row->family == F_BINARY || row->family == F_WIDE))
        return row->family;
    return F_TEXT;
}

bool IsWideType(ValueType vt)
{
    return vt >= VT_WCHAR && vt <= VT_WTEXT4;
}

SQLRETURN Fail(const GetColumnCtx &ctx, int32_t number)
{
    *ctx.err = number;
    return SQL_ERROR;
}

uint32_t ReadLength(const uint8_t *p, int bytes)
{
    uint8_t b1;
    uint16_t b2;
    uint32_t b4;
    switch (bytes) {
    case 1:
        std::memcpy(&b1, p, 1);
        return b1;
    case 2:
        std::memcpy(&b2, p, 2);
        return b2;
    default:
        std::memcpy(&b4, p, 4);
        return b4;
    }
}

// The bytes of the value in an element of `width` bytes; lengths that a
// damaged element would carry past its end are cut to it.  False when the
// element cannot hold its layout.
bool CellBytes(const VtRow &r, const uint8_t *elem, uint32_t width, const uint8_t **ptr, int64_t *len)
{
    auto prefixed = [&](int prefix, int64_t unit) {
        if (width < static_cast<uint32_t>(prefix))
            return false;
        int64_t n = static_cast<int64_t>(ReadLength(elem, prefix)) * unit;
        int64_t room = width - prefix;
        *ptr = elem + prefix;
        *len = n < room ? n : room;
        return true;
    };
    switch (r.layout) {
    case L_FIXED:
        *ptr = elem;
        *len = width;
        return true;
    case L_HEAP:
    case L_HEAPW: {
        if (width < sizeof(LongDataBuf))
            return false;
        LongDataBuf buf;
        std::memcpy(&buf, elem, sizeof buf);
        *ptr = reinterpret_cast<const uint8_t *>(buf.data);
        *len = buf.data ? static_cast<int64_t>(buf.length) * (r.layout == L_HEAPW ? 2 : 1) : 0;
        return true;
    }
    case L_NTS: {
        const void *nul = std::memchr(elem, 0, width);
        *ptr = elem;
        *len = nul ? static_cast<const uint8_t *>(nul) - elem : width;
        return true;
    }
    case L_WNTS: {
        int64_t units = 0;
        for (; units < width / 2; ++units) {
            uint16_t u;
            std::memcpy(&u, elem + 2 * units, 2);
            if (u == 0)
                break;
        }
        *ptr = elem;
        *len = units * 2;
        return true;
    }
    case L_PREFIX1:
        return prefixed(1, 1);
    case L_PREFIX2:
        return prefixed(2, 1);
    case L_PREFIX4:
        return prefixed(4, 1);
    case L_WPREFIX4:
        return prefixed(4, 2);
    case L_SCALAR:
        *ptr = elem;
        *len = r.size;
        return width >= static_cast<uint32_t>(r.size);
    }
    return false;
}

// Hands the value to the converter of its family.
SQLRETURN Convert(Family family, bool isSigned, const uint8_t *p, int64_t len, int64_t total, TextEnc enc,
                  int16_t cType, ConvTarget &t, int scale, int precision, uint16_t tsScale)
{
    switch (family) {
    case F_TEXT:
        return ConvertCHAR(reinterpret_cast<const char *>(p), len, total, enc, cType, t, scale, precision);
    case F_WIDE: {
        // A value need not be aligned for SQLWCHAR: copy one that is not.
        if (reinterpret_cast<uintptr_t>(p) % alignof(SQLWCHAR) != 0 && len > 0) {
            SQLWCHAR *copy = static_cast<SQLWCHAR *>(std::malloc(static_cast<size_t>(len)));
            if (!copy) {
                *t.err = ERR_MEMORY_ALLOCATION;
                return SQL_ERROR;
            }
            std::memcpy(copy, p, static_cast<size_t>(len));
            SQLRETURN rc = ConvertWCHAR(copy, len, total, cType, t, scale, precision);
            std::free(copy);
            return rc;
        }
        return ConvertWCHAR(reinterpret_cast<const SQLWCHAR *>(p), len, total, cType, t, scale, precision);
    }
    case F_BINARY:
        return ConvertBINARY(p, len, total, cType, t);
    case F_BYTE:
        return ConvertBYTE(p[0], isSigned, cType, t, scale, precision);
    case F_SHORT: {
        uint16_t v;
        std::memcpy(&v, p, sizeof v);
        return ConvertSHORT(v, isSigned, cType, t, scale, precision);
    }
    case F_LONG: {
        uint32_t v;
        std::memcpy(&v, p, sizeof v);
        return ConvertLONG(v, isSigned, cType, t, scale, precision);
    }
    case F_FLOAT: {
        float v;
        std::memcpy(&v, p, sizeof v);
        return ConvertFLOAT(v, cType, t, scale, precision);
    }
    case F_DOUBLE: {
        double v;
        std::memcpy(&v, p, sizeof v);
        return ConvertDOUBLE(v, cType, t, scale, precision);
    }
    case F_DATE: {
        DATE_STRUCT v;
        std::memcpy(&v, p, sizeof v);
        return ConvertDATE(v, cType, t);
    }
    case F_TIME: {
        TIME_STRUCT v;
        std::memcpy(&v, p, sizeof v);
        return ConvertTIME(v, cType, t);
    }
    case F_TIMESTAMP: {
        TIMESTAMP_STRUCT v;
        std::memcpy(&v, p, sizeof v);
        return ConvertTIMESTAMP(v, cType, t, tsScale);
    }
    }
    return Restricted(t);
}

// The column 0 cell: the row's bookmark as 8 bytes, SQL_C_UBIGINT or
// SQL_C_VARBOOKMARK (cut to a shorter buffer with 01004); 07006 for any
// other type.
SQLRETURN GetBookmark(const GetColumnCtx &ctx, uint32_t row, ColBindingHead *b)
{
    if (b->cType != SQL_C_VARBOOKMARK && b->cType != SQL_C_UBIGINT)
        return Fail(ctx, ERR_RESTRICTED_DATA_TYPE);
    if (!b->data)
        return Fail(ctx, ERR_INVALID_ARGUMENT);
    int32_t bookmark = 0;
    if (int rc = ctx.host->BookmarkGet(row, &bookmark))
        return Fail(ctx, rc);
    const int64_t value = bookmark;
    if (b->indicatorPtr)
        *b->indicatorPtr = 0;
    ConvTarget t{b->data, b->bufferLength, b->octetLengthPtr, ctx.err, 0};
    if (b->cType == SQL_C_UBIGINT)
        return PutFixed(t, &value, sizeof value);
    return CopyCHARtoCHAR(reinterpret_cast<const char *>(&value), sizeof value, 0, 0, false, true, ENC_BYTES, t);
}

// Bytes of a long value's next piece that the target of the C type holds.
int64_t PieceSize(int16_t cType, SQLLEN bufLen, ValueType vt)
{
    if (bufLen <= 0)
        return 0;
    if (cType == SQL_C_CHAR)
        return bufLen - 1;
    if (cType == SQL_C_WCHAR)
        return (bufLen - 1) / 2;
    if (cType == SQL_C_BINARY && IsWideType(vt))
        return bufLen / 2;
    return bufLen;
}

// The bytes of the piece a long value's state holds.
void PieceBytes(const GetDataState *gd, const uint8_t **ptr, int64_t *len)
{
    const ValueType vt = gd->valueType;
    if ((vt == VT_HEAP_TEXT || vt == VT_HEAP_BINARY || vt == VT_HEAP_WTEXT) && gd->value) {
        const auto *buf = static_cast<const LongDataBuf *>(gd->value);
        *ptr = reinterpret_cast<const uint8_t *>(buf->data);
    } else {
        *ptr = static_cast<const uint8_t *>(gd->value);
    }
    *len = *ptr ? gd->pieceLen : 0;
}

// What remains of a long value after `delivered` bytes: its total less
// them, or SQL_NO_TOTAL.
int64_t LongRemaining(const GetDataState *gd, int64_t delivered)
{
    if (gd->total < 0)
        return SQL_NO_TOTAL;
    int64_t left = gd->total - delivered;
    return left > 0 ? left : 0;
}

// A NULL cell: -1 in the indicator and the target cleared, or 22002.
SQLRETURN PutNull(const GetColumnCtx &ctx, ColBindingHead *b, int16_t cType)
{
    if (!b->indicatorPtr)
        return Fail(ctx, ERR_INDICATOR_REQUIRED);
    *b->indicatorPtr = SQL_NULL_DATA;
    ClearTarget(b->data, b->bufferLength, cType);
    return SQL_SUCCESS;
}

// Converts a text, wide or binary value (or long-value piece) and records
// what is left of it for the next SQLGetData on the same column.
SQLRETURN ConvertPiece(const GetColumnCtx &ctx, Family family, const uint8_t *p, int64_t len, int64_t total,
                       bool isLong, int16_t cType, ColBindingHead *b, int scale, int precision)
{
    GetDataState *gd = ctx.gd;
    const TextEnc enc = ctx.narrowUtf8 ? ENC_UTF8 : ENC_ANSI;
    ConvTarget t{b->data, b->bufferLength, b->octetLengthPtr, ctx.err, 0};
    SQLRETURN rc = Convert(family, false, p, len, total, enc, cType, t, scale, precision, 0);
    const bool piecewise = cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY;
    gd->remaining = 0;
    if (isLong && rc != SQL_ERROR)
        gd->delivered += piecewise ? t.used : len;
    if (rc == SQL_SUCCESS_WITH_INFO && piecewise) {
        gd->prevCType = cType;
        if (t.used < len) {
            gd->rest = p + t.used;
            gd->remaining = len - t.used;
        }
    }
    return rc;
}

// The next part of a long value: the rest of the piece held, else the
// next piece from the host (SQL_NO_DATA at the end).
SQLRETURN ContinueLong(const GetColumnCtx &ctx, int16_t cType, ColBindingHead *b)
{
    GetDataState *gd = ctx.gd;
    const uint8_t *p = gd->rest;
    int64_t len = gd->remaining;
    if (len == 0) {
        int rc = ctx.host->FetchColValue(gd, PieceSize(cType, b->bufferLength, gd->valueType));
        if (rc == ERR_NO_DATA_FOUND)
            return SQL_NO_DATA;
        if (rc != 0)
            return Fail(ctx, rc);
        PieceBytes(gd, &p, &len);
    }
    return ConvertPiece(ctx, PieceFamily(gd->valueType), p, len, LongRemaining(gd, gd->delivered), true, cType, b,
                        0, 0);
}

} // namespace

SQLRETURN GetColumn(const GetColumnCtx &ctx, uint32_t row, ColBindingHead *b, const RowBlock *block)
{
    const bool outMode = *ctx.err == ERR_OUTPUT_PARAMS_PENDING;
    if (outMode)
        *ctx.err = 0;
    const uint16_t col = b->column;
    const uint16_t columns = block ? block->columnsUsed : 0;
    if ((col == 0 && !ctx.useBookmarks) || col > columns) {
        CONV_TRACE("GetColumn: col out of range (%d,%d)", col, columns);
        return Fail(ctx, ERR_INVALID_COLUMN_NUMBER);
    }
    if (col == 0)
        return GetBookmark(ctx, row, b);

    GetDataState *gd = ctx.gd;
    const RowBlockColumn &column = block->columns[col - 1];

    // A further SQLGetData on the value the last call left a rest of.
    if (gd->column == col && gd->row != 0 && gd->row == row + 1) {
        const bool isLong = gd->cellIndicator == RB_IND_LONG;
        if (!isLong && gd->remaining == 0)
            return SQL_NO_DATA;
        if (b->cType != gd->prevCType && b->cType != SQL_C_DEFAULT)
            return SQL_NO_DATA;
        const int16_t cType = static_cast<int16_t>(gd->prevCType);
        const Family family = PieceFamily(gd->valueType);
        if (isLong)
            return ContinueLong(ctx, cType, b);
        return ConvertPiece(ctx, family, gd->rest, gd->remaining, gd->remaining, false, cType, b, 0, 0);
    }

    // A new value.
    if (b->indicatorPtr)
        *b->indicatorPtr = 0;
    if (static_cast<int64_t>(row) >= block->rowsUsed) {
        CONV_TRACE("GetColumn: row out of range (%d,%d)", static_cast<int>(row), static_cast<int>(block->rowsUsed));
        return Fail(ctx, ERR_INVALID_CURSOR_STATE);
    }

    const VtRow *vt = FindValueType(column.valueType);
    const ColDesc *desc = nullptr;
    uint16_t tsScale = 0;
    if (outMode && ctx.deferredOutParams) {
        tsScale = b->decimalDigits > 0 ? static_cast<uint16_t>(b->decimalDigits) : 0;
    } else {
        const ColDesc *descs = nullptr;
        uint16_t count = 0;
        if (int rc = ctx.host->ColDescs(&descs, &count))
            return Fail(ctx, rc);
        if (descs && col <= count)
            desc = &descs[col - 1];
        if (desc && desc->decimalDigits > 0)
            tsScale = static_cast<uint16_t>(desc->decimalDigits);
    }

    gd->column = col;
    gd->row = row + 1;
    ctx.host->FreeColValue(gd);
    gd->remaining = 0;
    gd->delivered = 0;
    gd->prevCType = 0;
    gd->cellIndicator = column.indicators ? column.indicators[row] : static_cast<int16_t>(RB_IND_NULL);

    // The C type: the descriptor record's for SQL_ARD_TYPE, then SQL_C_DEFAULT's.
    int16_t cType = b->cType;
    int scale = 0, precision = 0;
    if (cType == SQL_ARD_TYPE || cType == SQL_C_NUMERIC) {
        int16_t concise = 0, recPrecision = 0, recScale = 0;
        const bool found = ctx.host->DescRecord(outMode, col, &concise, &recPrecision, &recScale);
        if (cType == SQL_ARD_TYPE) {
            if (!found)
                return Fail(ctx, ERR_INVALID_DESCRIPTOR_INDEX);
            cType = concise;
        }
        if (found && cType == SQL_C_NUMERIC) {
            precision = recPrecision;
            scale = recScale;
        }
    }
    if (cType == SQL_C_DEFAULT) {
        if (desc) {
            const int32_t sqlType = desc->sqlType;
            if (ctx.odbcVersion == 2 && (sqlType == SQL_WLONGVARCHAR || sqlType == SQL_WVARCHAR || sqlType == SQL_WCHAR))
                cType = SQL_C_CHAR;
            else
                cType = DefaultCType(static_cast<int16_t>(sqlType), ctx.odbcVersion);
        } else {
            cType = vt ? vt->defCType : SQL_C_CHAR;
        }
        if (b->bufferLength == 0)
            b->bufferLength = CTypeSize(cType);
    }
    const bool bigintAsBinary = cType == SQL_C_BINARY && desc && desc->sqlType == SQL_BIGINT;

    if (gd->cellIndicator == RB_IND_NULL)
        return PutNull(ctx, b, cType);

    if (gd->cellIndicator == RB_IND_LONG) {
        if (!b->data)
            return Fail(ctx, ERR_INVALID_ARGUMENT);
        int rc = ctx.host->FetchColValue(gd, PieceSize(cType, b->bufferLength, column.valueType));
        if (rc == ERR_NO_DATA_FOUND) {
            if (gd->total == -1)
                return PutNull(ctx, b, cType);
            return SQL_NO_DATA;
        }
        if (rc != 0)
            return Fail(ctx, rc);
        const uint8_t *p = nullptr;
        int64_t len = 0;
        PieceBytes(gd, &p, &len);
        return ConvertPiece(ctx, PieceFamily(gd->valueType), p, len, LongRemaining(gd, 0), true, cType, b, scale,
                            precision);
    }

    if (!vt)
        return Fail(ctx, ERR_RESTRICTED_DATA_TYPE);
    gd->valueType = column.valueType;
    if (!b->data)
        return Fail(ctx, ERR_INVALID_ARGUMENT);
    const uint8_t *p = nullptr;
    int64_t len = 0;
    if (!column.data || !CellBytes(*vt, column.data + static_cast<size_t>(row) * column.width, column.width, &p, &len))
        return Fail(ctx, ERR_GENERAL);

    if (bigintAsBinary) {
        // A BIGINT read as binary is its 8-byte integer, within the buffer length.
        int64_t v = 0;
        ConvTarget tmp{&v, sizeof v, nullptr, ctx.err, 0};
        SQLRETURN rc = Convert(vt->family, vt->isSigned, p, len, len, ctx.narrowUtf8 ? ENC_UTF8 : ENC_ANSI,
                               SQL_C_SBIGINT, tmp, 0, 0, tsScale);
        if (rc == SQL_ERROR)
            return rc;
        ConvTarget t{b->data, b->bufferLength, b->octetLengthPtr, ctx.err, 0};
        return CopyCHARtoCHAR(reinterpret_cast<const char *>(&v), sizeof v, 0, 0, false, false, ENC_BYTES, t);
    }
    if (vt->family == F_TEXT || vt->family == F_WIDE || vt->family == F_BINARY)
        return ConvertPiece(ctx, vt->family, p, len, len, false, cType, b, scale, precision);
    ConvTarget t{b->data, b->bufferLength, b->octetLengthPtr, ctx.err, 0};
    return Convert(vt->family, vt->isSigned, p, len, len, ENC_ANSI, cType, t, scale, precision, tsScale);
}

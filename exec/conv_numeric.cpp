// Numeric source conversions: integers of 8, 16 and 32 bits, floats and
// doubles into every C type, and the double / integer to
// SQL_NUMERIC_STRUCT conversions.
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

#include "exec/conv_internal.h"

namespace {

// Decimal text of a number into a narrow or wide target, cut with 01004.
SQLRETURN PutNumberText(ConvTarget &t, int16_t cType, const char *text, size_t len)
{
    if (cType == SQL_C_WCHAR)
        return CopyCHARtoWCHAR(text, static_cast<int64_t>(len), 0, 0, true, true, ENC_UTF8, t);
    return CopyCHARtoCHAR(text, static_cast<int64_t>(len), 0, 0, true, true, ENC_BYTES, t);
}

// The shared body of the integer members: v is the exact value.
SQLRETURN ConvertInteger(int64_t v, const void *raw, int rawSize, int16_t cType, ConvTarget &t,
                         int scale, int precision, int defPrecision)
{
    if (cType == SQL_C_CHAR || cType == SQL_C_WCHAR) {
        char text[24];
        auto res = std::to_chars(text, text + sizeof text, v);
        return PutNumberText(t, cType, text, static_cast<size_t>(res.ptr - text));
    }
    if (const IntTarget *it = FindIntTarget(cType)) {
        bool inRange = it->ubigint ? v >= 0 : (v >= it->lo && v <= it->hi);
        if (!inRange) {
            *t.err = ERR_NUMERIC_RANGE;
            return SQL_ERROR;
        }
        return PutInteger(t, static_cast<uint64_t>(v), it->width);
    }
    switch (cType) {
    case SQL_C_FLOAT: {
        float f = static_cast<float>(v);
        return PutFixed(t, &f, sizeof f);
    }
    case SQL_C_DOUBLE: {
        double d = static_cast<double>(v);
        return PutFixed(t, &d, sizeof d);
    }
    case SQL_C_BINARY:
        return CopyCHARtoCHAR(static_cast<const char *>(raw), rawSize, 0, 0, false, false, ENC_BYTES, t);
    case SQL_C_NUMERIC: {
        SQL_NUMERIC_STRUCT num;
        return PutNumeric(t, num, IntegerToNumeric(v, &num, scale, precision, defPrecision, t.err));
    }
    default:
        return Restricted(t);
    }
}

// A stored integer whose source had a fraction: 01S07 with SQL_SUCCESS_WITH_INFO.
SQLRETURN WithFraction(ConvTarget &t, SQLRETURN put, bool fractionDropped)
{
    if (put != SQL_SUCCESS || !fractionDropped)
        return put;
    *t.err = ERR_FRACTIONAL_TRUNCATION;
    return SQL_SUCCESS_WITH_INFO;
}

// The shared body of the floating-point members.
SQLRETURN ConvertReal(double x, bool isFloat, const void *raw, int rawSize, int16_t cType, ConvTarget &t,
                      int scale, int precision)
{
    if (cType == SQL_C_CHAR || cType == SQL_C_WCHAR) {
        char text[64];
        FormatDouble(text, sizeof text, x, isFloat ? 8 : 17);
        TrimTrailingPoint(text);
        return PutNumberText(t, cType, text, std::strlen(text));
    }
    if (cType == SQL_C_BIT) {
        // 0 <= x < 2 gives its integer part (01S07 when a fraction was dropped).
        if (!(x >= 0.0 && x < 2.0)) {  // NaN lands here too
            *t.err = ERR_NUMERIC_RANGE;
            return SQL_ERROR;
        }
        uint8_t b = x >= 1.0 ? 1 : 0;
        return WithFraction(t, PutFixed(t, &b, 1), x != static_cast<double>(b));
    }
    if (const IntTarget *it = FindIntTarget(cType)) {
        // The value truncated toward zero must lie in the target's range.
        const double tx = std::trunc(x);
        bool inRange;
        if (it->ubigint)
            inRange = tx >= 0.0 && tx < 18446744073709551616.0;
        else if (it->width == 8)
            inRange = tx >= -9223372036854775808.0 && tx < 9223372036854775808.0;
        else
            inRange = tx >= static_cast<double>(it->lo) && tx <= static_cast<double>(it->hi);
        if (!inRange) {  // NaN lands here too
            *t.err = ERR_NUMERIC_RANGE;
            return SQL_ERROR;
        }
        uint64_t bits = it->ubigint ? static_cast<uint64_t>(tx)
                                    : static_cast<uint64_t>(static_cast<int64_t>(tx));
        return WithFraction(t, PutInteger(t, bits, it->width), tx != x);
    }
    switch (cType) {
    case SQL_C_FLOAT: {
        if (std::isfinite(x) && std::fabs(x) > FLT_MAX) {
            *t.err = ERR_NUMERIC_RANGE;
            return SQL_ERROR;
        }
        float f = static_cast<float>(x);
        return PutFixed(t, &f, sizeof f);
    }
    case SQL_C_DOUBLE:
        return PutFixed(t, &x, sizeof x);
    case SQL_C_BINARY:
        return CopyCHARtoCHAR(static_cast<const char *>(raw), rawSize, 0, 0, false, false, ENC_BYTES, t);
    case SQL_C_NUMERIC: {
        SQL_NUMERIC_STRUCT num;
        return PutNumeric(t, num, DoubleToNumeric(x, &num, scale, precision, isFloat ? 7 : 15, t.err));
    }
    default:
        return Restricted(t);
    }
}

} // namespace

// An integer C type: its width and range.  UBIGINT's upper bound is 2^64 - 1.
static const IntTarget kIntTargets[] = {
    {SQL_C_BIT, 1, 0, 1, false},
    {SQL_C_TINYINT, 1, -128, 127, false},
    {SQL_C_STINYINT, 1, -128, 127, false},
    {SQL_C_UTINYINT, 1, 0, 255, false},
    {SQL_C_SHORT, 2, -32768, 32767, false},
    {SQL_C_SSHORT, 2, -32768, 32767, false},
    {SQL_C_USHORT, 2, 0, 65535, false},
    {SQL_C_LONG, 4, INT32_MIN, INT32_MAX, false},
    {SQL_C_SLONG, 4, INT32_MIN, INT32_MAX, false},
    {SQL_C_ULONG, 4, 0, UINT32_MAX, false},
    {SQL_C_SBIGINT, 8, INT64_MIN, INT64_MAX, false},
    {SQL_C_UBIGINT, 8, 0, INT64_MAX, true},
};

const IntTarget *FindIntTarget(int16_t cType)
{
    for (const IntTarget &t : kIntTargets)
        if (t.cType == cType)
            return &t;
    return nullptr;
}

// Writes the low `width` bytes of a two's-complement value.
SQLRETURN PutInteger(ConvTarget &t, uint64_t bits, int width)
{
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
    return PutFixed(t, bytes, width);
}

// The struct into the target when the conversion answered 0 or 1.
SQLRETURN PutNumeric(ConvTarget &t, const SQL_NUMERIC_STRUCT &num, int rc)
{
    if (rc < 0)
        return SQL_ERROR;
    SQLRETURN put = PutFixed(t, &num, sizeof num);
    if (put != SQL_SUCCESS)
        return put;
    return rc == 1 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN PutFixed(ConvTarget &t, const void *value, int size)
{
    t.used = 0;
    if (!t.data) {
        *t.err = ERR_INVALID_ARGUMENT;
        return SQL_ERROR;
    }
    std::memcpy(t.data, value, static_cast<size_t>(size));
    if (t.octetLen)
        *t.octetLen = size;
    return SQL_SUCCESS;
}

SQLRETURN Restricted(ConvTarget &t)
{
    *t.err = ERR_RESTRICTED_DATA_TYPE;
    return SQL_ERROR;
}

int FormatDouble(char *buf, size_t size, double value, int digits)
{
    if (!buf || size == 0)
        return 0;
    auto res = std::to_chars(buf, buf + size - 1, value, std::chars_format::general, digits);
    if (res.ec != std::errc()) {
        buf[0] = '\0';
        return 0;
    }
    *res.ptr = '\0';
    return static_cast<int>(res.ptr - buf);
}

void TrimTrailingPoint(char *text)
{
    size_t n = std::strlen(text);
    if (n > 0 && text[n - 1] == '.')
        text[n - 1] = '\0';
}

int DoubleToNumeric(double value, SQL_NUMERIC_STRUCT *out, int scale, int precision, int defPrecision,
                    int32_t *err)
{
    CONV_TRACE("DoubleToNumeric: %e", value);
    if (!std::isfinite(value)) {
        *err = ERR_NUMERIC_RANGE;
        return -1;
    }
    // The exact decimal expansion, rounded at the scale (digits beyond a
    // negative scale are rounded by DecimalToNumeric).
    char buf[512];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed,
                             scale > 0 ? scale : 0);
    if (res.ec != std::errc()) {
        *err = ERR_NUMERIC_RANGE;
        return -1;
    }
    const char *point = static_cast<const char *>(std::memchr(buf, '.', static_cast<size_t>(res.ptr - buf)));
    DecimalDigits d;
    d.intPart = buf;
    d.nInt = (point ? point : res.ptr) - buf;
    d.fracPart = point ? point + 1 : res.ptr;
    d.nFrac = point ? res.ptr - (point + 1) : 0;
    d.exp10 = -d.nFrac;
    d.negative = value < 0;
    int rc = DecimalToNumeric(d, true, scale, precision, defPrecision, out, err);
    if (rc == 0 && precision > 15) {
        *err = ERR_FRACTIONAL_TRUNCATION;
        return 1;
    }
    return rc;
}

int IntegerToNumeric(int64_t value, SQL_NUMERIC_STRUCT *out, int scale, int precision, int defPrecision,
                     int32_t *err)
{
    char buf[24];
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    auto res = std::to_chars(buf, buf + sizeof buf, magnitude);
    DecimalDigits d{buf, res.ptr - buf, res.ptr, 0, 0, value < 0};
    return DecimalToNumeric(d, true, scale, precision, defPrecision, out, err);
}

SQLRETURN ConvertLONG(uint32_t bits, bool isSigned, int16_t cType, ConvTarget &t, int scale, int precision)
{
    int64_t v = isSigned ? static_cast<int64_t>(static_cast<int32_t>(bits)) : static_cast<int64_t>(bits);
    return ConvertInteger(v, &bits, 4, cType, t, scale, precision, 9);
}

SQLRETURN ConvertSHORT(uint16_t bits, bool isSigned, int16_t cType, ConvTarget &t, int scale, int precision)
{
    int64_t v = isSigned ? static_cast<int64_t>(static_cast<int16_t>(bits)) : static_cast<int64_t>(bits);
    CONV_TRACE("ConvertSHORT: value(%ld) to %s", static_cast<long>(v), CTypeName(cType));
    return ConvertInteger(v, &bits, 2, cType, t, scale, precision, 4);
}

SQLRETURN ConvertBYTE(uint8_t bits, bool isSigned, int16_t cType, ConvTarget &t, int scale, int precision)
{
    CONV_TRACE("ConvertBYTE: retBufferLength(%ld) to %s", static_cast<long>(t.bufLen), CTypeName(cType));
    int64_t v = isSigned ? static_cast<int64_t>(static_cast<int8_t>(bits)) : static_cast<int64_t>(bits);
    return ConvertInteger(v, &bits, 1, cType, t, scale, precision, 2);
}

SQLRETURN ConvertFLOAT(float value, int16_t cType, ConvTarget &t, int scale, int precision)
{
    if (TR_IsOn()) {
        char text[64];
        FormatDouble(text, sizeof text, value, 8);
        TR_Printf("ConvertFLOAT: value (%s) to %s", text, CTypeName(cType));
    }
    return ConvertReal(value, true, &value, sizeof value, cType, t, scale, precision);
}

SQLRETURN ConvertDOUBLE(double value, int16_t cType, ConvTarget &t, int scale, int precision)
{
    if (TR_IsOn()) {
        char text[64];
        FormatDouble(text, sizeof text, value, 17);
        TR_Printf("ConvertDOUBLE: value (%s) to %s", text, CTypeName(cType));
    }
    return ConvertReal(value, false, &value, sizeof value, cType, t, scale, precision);
}

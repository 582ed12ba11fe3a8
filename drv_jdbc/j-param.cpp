// Parameter binding, date and time texts, and parameter descriptions.
#include "drv_jdbc/j-param.h"

#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap.h"
#include "drv_jdbc/j-wrap-ps.h"
#include "odbc/contract/errtable.h"
#include "odbc/contract/flavour.h"
#include "odbc/contract/param_types.h"
#include "odbc/contract/rowblock.h"
#include "scrs/scr_probes.h"
#include "util/log.h"
#include "util/utf8.h"

#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#define SRC "drv_jdbc/j-param"

namespace {

// What one parameter cell holds.
struct PVal {
    enum Kind { TEXT, WTEXT, BINARY, SIGNED, UNSIGNED, DOUBLE, DATETIME } kind;
    const char *bytes;       // TEXT, BINARY
    const char16_t *units;   // WTEXT
    size_t len;              // bytes, or units for WTEXT
    int64_t i;
    uint64_t u;
    double d;
    DrvTimestamp ts;
};

template <class T>
T loadAs(const uint8_t *p)
{
    T v;
    memcpy(&v, p, sizeof v);
    return v;
}

size_t prefixed(const uint8_t *cell, uint32_t width, unsigned prefix, size_t unit)
{
    uint64_t n = prefix == 1 ? cell[0] : prefix == 2 ? loadAs<uint16_t>(cell) : loadAs<uint32_t>(cell);
    uint64_t room = width > prefix ? (width - prefix) / unit : 0;
    return static_cast<size_t>(n < room ? n : room);
}

// Reads cell n of a parameter column; false for an unknown value type.
bool readCell(const RowBlockColumn &col, int32_t n, PVal *v)
{
    *v = PVal{};
    const uint32_t w = col.width;
    const uint8_t *cell = col.data + static_cast<size_t>(n) * w;
    const char *text = reinterpret_cast<const char *>(cell);
    switch (col.valueType) {
    case VT_CHAR: v->kind = PVal::TEXT; v->bytes = text; v->len = w; return true;
    case VT_NTS: v->kind = PVal::TEXT; v->bytes = text; v->len = strnlen(text, w); return true;
    case VT_TEXT1: case VT_TEXT2: case VT_TEXT4: {
        unsigned pre = col.valueType == VT_TEXT1 ? 1 : col.valueType == VT_TEXT2 ? 2 : 4;
        v->kind = PVal::TEXT; v->bytes = text + pre; v->len = prefixed(cell, w, pre, 1); return true;
    }
    case VT_HEAP_TEXT: case VT_HEAP_BINARY: {
        const LongDataBuf b = loadAs<LongDataBuf>(cell);
        v->kind = col.valueType == VT_HEAP_TEXT ? PVal::TEXT : PVal::BINARY;
        v->bytes = b.data ? b.data : "";
        v->len = b.data ? b.length : 0;
        return true;
    }
    case VT_BIT: case VT_UTINYINT: v->kind = PVal::UNSIGNED; v->u = cell[0]; return true;
    case VT_USHORT: v->kind = PVal::UNSIGNED; v->u = loadAs<uint16_t>(cell); return true;
    case VT_ULONG: v->kind = PVal::UNSIGNED; v->u = loadAs<uint32_t>(cell); return true;
    case VT_TINYINT: v->kind = PVal::SIGNED; v->i = static_cast<int8_t>(cell[0]); return true;
    case VT_SHORT: v->kind = PVal::SIGNED; v->i = loadAs<int16_t>(cell); return true;
    case VT_LONG: v->kind = PVal::SIGNED; v->i = loadAs<int32_t>(cell); return true;
    case VT_FLOAT: v->kind = PVal::DOUBLE; v->d = loadAs<float>(cell); return true;
    case VT_DOUBLE: v->kind = PVal::DOUBLE; v->d = loadAs<double>(cell); return true;
    case VT_DATE: case VT_TIME: {
        v->kind = PVal::DATETIME;
        uint16_t f[3];
        memcpy(f, cell, sizeof f);
        if (col.valueType == VT_DATE) {
            v->ts.year = static_cast<int16_t>(f[0]); v->ts.month = f[1]; v->ts.day = f[2];
        } else {
            v->ts.hour = f[0]; v->ts.minute = f[1]; v->ts.second = f[2];
        }
        return true;
    }
    case VT_TIMESTAMP: v->kind = PVal::DATETIME; memcpy(&v->ts, cell, sizeof v->ts); return true;
    case VT_BINARY: v->kind = PVal::BINARY; v->bytes = text; v->len = w; return true;
    case VT_BIN1: case VT_BIN2: case VT_BIN4: {
        unsigned pre = col.valueType == VT_BIN1 ? 1 : col.valueType == VT_BIN2 ? 2 : 4;
        v->kind = PVal::BINARY; v->bytes = text + pre; v->len = prefixed(cell, w, pre, 1); return true;
    }
    case VT_WCHAR: case VT_WNTS: {
        const char16_t *u = reinterpret_cast<const char16_t *>(cell);
        size_t max = w / 2, k = 0;
        if (col.valueType == VT_WNTS)
            while (k < max && loadAs<char16_t>(cell + 2 * k))
                ++k;
        else
            k = max;
        v->kind = PVal::WTEXT; v->units = u; v->len = k; return true;
    }
    case VT_HEAP_WTEXT: {
        const LongDataBuf b = loadAs<LongDataBuf>(cell);
        v->kind = PVal::WTEXT; v->units = reinterpret_cast<const char16_t *>(b.data ? b.data : "");
        v->len = b.data ? b.length : 0; return true;
    }
    case VT_WTEXT4:
        v->kind = PVal::WTEXT; v->units = reinterpret_cast<const char16_t *>(cell + 4);
        v->len = prefixed(cell, w, 4, 2); return true;
    default:
        return false;
    }
}

// Text of a value in one of the two text modes; owns a UTF-8 copy of wide text.
struct TextArg {
    const char *p = "";
    int32_t len = 0;
    int mode = STRMODE_PLATFORM;
    char *owned = nullptr;
    char num[40];
    ~TextArg() { free(owned); }
};

// The value as text; numbers are written locale-free.  False when out of memory.
bool asText(const PVal &v, TextArg *t)
{
    char *end = t->num;
    switch (v.kind) {
    case PVal::TEXT:
        t->p = v.bytes; t->len = static_cast<int32_t>(v.len); return true;
    case PVal::WTEXT:
        t->owned = UTF8_DupFromWideN(v.units, static_cast<int64_t>(v.len));
        if (!t->owned)
            return false;
        t->p = t->owned; t->len = static_cast<int32_t>(strlen(t->owned)); t->mode = STRMODE_UTF8;
        return true;
    case PVal::SIGNED: end = std::to_chars(t->num, t->num + sizeof t->num, v.i).ptr; break;
    case PVal::UNSIGNED: end = std::to_chars(t->num, t->num + sizeof t->num, v.u).ptr; break;
    case PVal::DOUBLE: end = std::to_chars(t->num, t->num + sizeof t->num, v.d).ptr; break;
    default: return false;
    }
    t->p = t->num;
    t->len = static_cast<int32_t>(end - t->num);
    return true;
}

// Text without surrounding white space, copied into buf (NUL-terminated).
const char *trimmed(const TextArg &t, char *buf, size_t size)
{
    const char *b = t.p, *e = t.p + t.len;
    while (b < e && isspace(static_cast<unsigned char>(*b)))
        ++b;
    while (e > b && (isspace(static_cast<unsigned char>(e[-1])) || e[-1] == '\0'))
        --e;
    size_t n = static_cast<size_t>(e - b) < size - 1 ? static_cast<size_t>(e - b) : size - 1;
    memcpy(buf, b, n);
    buf[n] = '\0';
    return buf;
}

// The whole text trimmed: into small when it fits, else into a buffer of its
// own held by big.  NULL when that buffer cannot be had.
const char *trimmedWhole(const TextArg &t, char *small, size_t smallSize, std::unique_ptr<char, decltype(&free)> &big)
{
    const size_t need = static_cast<size_t>(t.len) + 1;
    if (need <= smallSize)
        return trimmed(t, small, smallSize);
    big.reset(static_cast<char *>(malloc(need)));
    if (!big)
        return nullptr;
    return trimmed(t, big.get(), need);
}

// A number from text: an integer, or a decimal or exponent form.  0, ERR_MEMORY_ALLOCATION, or
// ERR_INVALID_CAST_VALUE for anything else (empty text, letters, "inf", "nan").
int textNumber(const TextArg &t, double *d, int64_t *i, bool *isInt)
{
    // Digits beyond a small buffer (leading zeros, long fractions) get one of their own.
    char small[128];
    std::unique_ptr<char, decltype(&free)> big(nullptr, &free);
    const char *s = trimmedWhole(t, small, sizeof small, big);
    if (!s)
        return ERR_MEMORY_ALLOCATION;
    if (*s == '+')
        ++s;
    const char *body = s + (*s == '-' ? 1 : 0);
    if (!isdigit(static_cast<unsigned char>(body[0])) &&
        !(body[0] == '.' && isdigit(static_cast<unsigned char>(body[1]))))
        return ERR_INVALID_CAST_VALUE;
    const char *e = s + strlen(s);
    auto ri = std::from_chars(s, e, *i);
    if (ri.ec == std::errc() && ri.ptr == e) {
        *isInt = true;
        *d = static_cast<double>(*i);
        return 0;
    }
    *isInt = false;
    auto rd = std::from_chars(s, e, *d, std::chars_format::general);
    if (rd.ptr != e)
        return ERR_INVALID_CAST_VALUE;
    if (rd.ec == std::errc::result_out_of_range)
        *d = *s == '-' ? -HUGE_VAL : HUGE_VAL;
    else if (rd.ec != std::errc())
        return ERR_INVALID_CAST_VALUE;
    return 0;
}

// The value as a number in [lo, hi] truncated toward zero; 0,
// ERR_NUMERIC_RANGE or ERR_INVALID_CAST_VALUE.
int integerOf(const PVal &v, int64_t lo, int64_t hi, int64_t *out, size_t binBytes)
{
    double d = 0;
    switch (v.kind) {
    case PVal::SIGNED: *out = v.i; break;
    case PVal::UNSIGNED:
        if (v.u > static_cast<uint64_t>(hi))
            return ERR_NUMERIC_RANGE;
        *out = static_cast<int64_t>(v.u);
        break;
    case PVal::DOUBLE: d = v.d; goto fromDouble;
    case PVal::TEXT: case PVal::WTEXT: {
        TextArg t;
        if (!asText(v, &t))
            return ERR_MEMORY_ALLOCATION;
        bool isInt = false;
        int64_t i = 0;
        if (int rc = textNumber(t, &d, &i, &isInt))
            return rc;
        if (isInt) {
            *out = i;
            break;
        }
        goto fromDouble;
    }
    case PVal::BINARY: {
        if (v.len < binBytes)
            return ERR_NUMERIC_RANGE;
        if (binBytes == 1) *out = static_cast<int8_t>(v.bytes[0]);
        else if (binBytes == 2) *out = loadAs<int16_t>(reinterpret_cast<const uint8_t *>(v.bytes));
        else if (binBytes == 4) *out = loadAs<int32_t>(reinterpret_cast<const uint8_t *>(v.bytes));
        else *out = loadAs<int64_t>(reinterpret_cast<const uint8_t *>(v.bytes));
        break;
    }
    default:
        return ERR_NOT_CAPABLE;
    }
    return *out < lo || *out > hi ? ERR_NUMERIC_RANGE : 0;
fromDouble:
    d = std::trunc(d);
    if (!std::isfinite(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
        return ERR_NUMERIC_RANGE;
    *out = static_cast<int64_t>(d);
    return *out < lo || *out > hi ? ERR_NUMERIC_RANGE : 0;
}

// The value as a double; 0 or ERR_INVALID_CAST_VALUE (ERR_NUMERIC_RANGE for a short binary value).
int doubleOf(const PVal &v, double *out, size_t binBytes)
{
    switch (v.kind) {
    case PVal::SIGNED: *out = static_cast<double>(v.i); return 0;
    case PVal::UNSIGNED: *out = static_cast<double>(v.u); return 0;
    case PVal::DOUBLE: *out = v.d; return 0;
    case PVal::TEXT: case PVal::WTEXT: {
        TextArg t;
        if (!asText(v, &t))
            return ERR_MEMORY_ALLOCATION;
        bool isInt = false;
        int64_t i = 0;
        return textNumber(t, out, &i, &isInt);
    }
    case PVal::BINARY:
        if (v.len < binBytes)
            return ERR_NUMERIC_RANGE;
        *out = binBytes == 4 ? loadAs<float>(reinterpret_cast<const uint8_t *>(v.bytes))
                             : loadAs<double>(reinterpret_cast<const uint8_t *>(v.bytes));
        return 0;
    default:
        return ERR_NOT_CAPABLE;
    }
}

// A decimal literal BigDecimal takes: sign, digits with one point, exponent.
bool isDecimalText(const char *s)
{
    if (*s == '+' || *s == '-')
        ++s;
    bool digits = false;
    while (isdigit(static_cast<unsigned char>(*s))) { ++s; digits = true; }
    if (*s == '.') {
        ++s;
        while (isdigit(static_cast<unsigned char>(*s))) { ++s; digits = true; }
    }
    if (!digits)
        return false;
    if (*s == 'e' || *s == 'E') {
        ++s;
        if (*s == '+' || *s == '-')
            ++s;
        if (!isdigit(static_cast<unsigned char>(*s)))
            return false;
        while (isdigit(static_cast<unsigned char>(*s)))
            ++s;
    }
    return *s == '\0';
}

// True when the date (unless all its fields are 0: a time alone) and the
// time are those of a real day and time; Java's lenient calendar would move
// anything else into another day.
bool inRange(const DrvTimestamp &t)
{
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.year || t.month || t.day) {
        const int y = t.year;
        const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > kDays[t.month - 1] ||
            (t.month == 2 && t.day == 29 && !leap))
            return false;
    }
    return t.hour <= 23 && t.minute <= 59 && t.second <= 59 && t.fraction < 1000000000u;
}

// The date/time of a value: a date-time cell or a text; 0, ERR_NOT_CAPABLE or
// ERR_INVALID_DATETIME_FORMAT.
int dateTimeOf(const PVal &v, DrvTimestamp *ts)
{
    if (v.kind == PVal::DATETIME) {
        *ts = v.ts;
        return inRange(*ts) ? 0 : ERR_INVALID_DATETIME_FORMAT;
    }
    if (v.kind != PVal::TEXT && v.kind != PVal::WTEXT)
        return ERR_NOT_CAPABLE;
    TextArg t;
    if (!asText(v, &t))
        return ERR_MEMORY_ALLOCATION;
    char buf[128];
    return parseDateTime(trimmed(t, buf, sizeof buf), ts) ? 0 : ERR_INVALID_DATETIME_FORMAT;
}

enum Target { T_NONE, T_TEXT, T_LONGTEXT, T_BINARY, T_LONGBINARY, T_BIT, T_TINYINT, T_SMALLINT, T_INTEGER,
              T_BIGINT, T_REAL, T_DOUBLE, T_NUMERIC, T_DATE, T_TIME, T_TIMESTAMP };

struct TargetRow {
    int32_t sqlType;
    Target target;
    int32_t jdbcType;  // java.sql.Types code for setNull and registerOutParameter
};
constexpr TargetRow kTargets[] = {
    {1, T_TEXT, 1},       {12, T_TEXT, 12},     {-8, T_TEXT, 1},       {-9, T_TEXT, 12},
    {-1, T_LONGTEXT, -1}, {-10, T_LONGTEXT, -1}, {-2, T_BINARY, -2},   {-3, T_BINARY, -3},
    {-4, T_LONGBINARY, -4}, {-7, T_BIT, -7},    {-6, T_TINYINT, -6},   {5, T_SMALLINT, 5},
    {4, T_INTEGER, 4},    {-5, T_BIGINT, -5},   {7, T_REAL, 7},        {6, T_DOUBLE, 8},
    {8, T_DOUBLE, 8},     {2, T_NUMERIC, 2},    {3, T_NUMERIC, 3},     {9, T_DATE, 91},
    {91, T_DATE, 91},     {10, T_TIME, 92},     {92, T_TIME, 92},      {11, T_TIMESTAMP, 93},
    {93, T_TIMESTAMP, 93}, {-11, T_TEXT, 1111},
};

const TargetRow *targetOf(int32_t sqlType)
{
    for (const TargetRow &r : kTargets)
        if (r.sqlType == sqlType)
            return &r;
    return nullptr;
}

bool isTextTarget(Target t) { return t == T_TEXT || t == T_LONGTEXT; }

int setBytesOf(ParamSink &out, int32_t idx, const void *p, size_t n, bool stream)
{
    return stream ? out.setBinaryStream(idx, p, static_cast<int32_t>(n))
                  : out.setBytes(idx, p, static_cast<int32_t>(n));
}

// The setters of one non-NULL value, one per family of target types.  Each
// answers 0 or the number of the value it cannot send: ERR_NOT_CAPABLE,
// ERR_NUMERIC_RANGE, ERR_INVALID_CAST_VALUE, ERR_INVALID_DATETIME_FORMAT,
// ERR_MEMORY_ALLOCATION, or the sink's.
using ValueSetter = int (*)(ParamSink &out, int32_t idx, Target target, const PVal &v);

// A value sent as text, untyped.
int setAsText(ParamSink &out, int32_t idx, const PVal &v)
{
    TextArg t;
    if (!asText(v, &t))
        return ERR_MEMORY_ALLOCATION;
    return out.setStringUntyped(idx, t.p, t.len, t.mode);
}

// Text: binary values as their bytes (streamed for long text), the others
// as text.
int setTextValue(ParamSink &out, int32_t idx, Target target, const PVal &v)
{
    if (v.kind == PVal::BINARY)
        return setBytesOf(out, idx, v.bytes, v.len, target == T_LONGTEXT);
    return setAsText(out, idx, v);
}

// Binary: text as text, numbers as the bytes of their value (a double's
// eight, an integer's low four).
int setBinaryValue(ParamSink &out, int32_t idx, Target target, const PVal &v)
{
    const bool stream = target == T_LONGBINARY;
    switch (v.kind) {
    case PVal::TEXT: case PVal::WTEXT: return setAsText(out, idx, v);
    case PVal::BINARY: return setBytesOf(out, idx, v.bytes, v.len, stream);
    case PVal::DOUBLE: return setBytesOf(out, idx, &v.d, sizeof v.d, stream);
    default: {
        uint32_t four = v.kind == PVal::SIGNED ? static_cast<uint32_t>(v.i) : static_cast<uint32_t>(v.u);
        return setBytesOf(out, idx, &four, sizeof four, stream);
    }
    }
}

// Bit: text starting with T, t or 1 is true; a number is true when not zero.
int setBitValue(ParamSink &out, int32_t idx, Target, const PVal &v)
{
    bool b = false;
    switch (v.kind) {
    case PVal::TEXT: b = v.len && (v.bytes[0] == 'T' || v.bytes[0] == 't' || v.bytes[0] == '1'); break;
    case PVal::WTEXT: b = v.len && (v.units[0] == u'T' || v.units[0] == u't' || v.units[0] == u'1'); break;
    case PVal::SIGNED: b = v.i != 0; break;
    case PVal::UNSIGNED: b = v.u != 0; break;
    case PVal::DOUBLE: b = v.d != 0.0; break;
    case PVal::BINARY: b = v.len && v.bytes[0] != 0; break;
    default: return ERR_NOT_CAPABLE;
    }
    return out.setBoolean(idx, b ? 1 : 0);
}

// TINYINT and SMALLINT within their signed range (unsigned values within
// theirs, sent as the next wider type).
int setSmallValue(ParamSink &out, int32_t idx, Target target, const PVal &v)
{
    const bool tiny = target == T_TINYINT;
    const bool fromUnsigned = v.kind == PVal::UNSIGNED;
    int64_t lo = fromUnsigned ? 0 : (tiny ? -128 : -32768);
    int64_t hi = fromUnsigned ? (tiny ? 255 : 65535) : (tiny ? 127 : 32767);
    if (fromUnsigned && v.u > static_cast<uint64_t>(hi))
        return ERR_NUMERIC_RANGE;
    int64_t x = 0;
    int rc = integerOf(v, INT64_MIN, INT64_MAX, &x, tiny ? 1 : 2);
    if (rc == 0 && (x < lo || x > hi)) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, tiny ? "Byte value out of range [%lld]" : "Short value out of range [%lld]",
                   static_cast<long long>(x));
        rc = ERR_NUMERIC_RANGE;
    }
    if (rc != 0)
        return rc;
    if (tiny)
        return fromUnsigned ? out.setShort(idx, static_cast<int16_t>(x))
                            : out.setByte(idx, static_cast<int8_t>(x));
    return fromUnsigned ? out.setInt(idx, static_cast<int32_t>(x))
                        : out.setShort(idx, static_cast<int16_t>(x));
}

int setIntegerValue(ParamSink &out, int32_t idx, Target, const PVal &v)
{
    if (v.kind == PVal::UNSIGNED)
        return out.setLong(idx, static_cast<int64_t>(v.u));
    int64_t x = 0;
    if (int rc = integerOf(v, INT32_MIN, INT32_MAX, &x, 4))
        return rc;
    return out.setInt(idx, static_cast<int32_t>(x));
}

int setBigintValue(ParamSink &out, int32_t idx, Target, const PVal &v)
{
    int64_t x = 0;
    if (v.kind == PVal::UNSIGNED) {
        x = static_cast<int64_t>(v.u);
    } else if (int rc = integerOf(v, INT64_MIN, INT64_MAX, &x, 8)) {
        return rc;
    }
    return out.setLong(idx, x);
}

int setRealValue(ParamSink &out, int32_t idx, Target, const PVal &v)
{
    double d = 0;
    if (int rc = doubleOf(v, &d, 4))
        return rc;
    if (d < -FLT_MAX || d > FLT_MAX) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Float value out of range [%g]", d);
        return ERR_NUMERIC_RANGE;
    }
    return out.setFloat(idx, static_cast<float>(d));
}

int setDoubleValue(ParamSink &out, int32_t idx, Target, const PVal &v)
{
    double d = 0;
    if (int rc = doubleOf(v, &d, 8))
        return rc;
    return out.setDouble(idx, d);
}

// Numeric: text must be a decimal number (of any length); integers and
// finite doubles go as they are, bytes as bytes.
int setNumericValue(ParamSink &out, int32_t idx, Target, const PVal &v)
{
    switch (v.kind) {
    case PVal::TEXT: case PVal::WTEXT: {
        TextArg t;
        if (!asText(v, &t))
            return ERR_MEMORY_ALLOCATION;
        // A numeric may carry thousands of digits: a longer text gets a
        // buffer of its own.
        char small[512];
        std::unique_ptr<char, decltype(&free)> big(nullptr, &free);
        const char *num = trimmedWhole(t, small, sizeof small, big);
        if (!num)
            return ERR_MEMORY_ALLOCATION;
        if (!isDecimalText(num))
            return ERR_INVALID_CAST_VALUE;
        return out.setBigDecimal(idx, num, static_cast<int32_t>(strlen(num)), t.mode);
    }
    case PVal::SIGNED: return out.setLong(idx, v.i);
    case PVal::UNSIGNED: return out.setLong(idx, static_cast<int64_t>(v.u));
    case PVal::DOUBLE:
        if (!std::isfinite(v.d))
            return ERR_NUMERIC_RANGE;
        return out.setDouble(idx, v.d);
    default:
        return setBytesOf(out, idx, v.bytes, v.len, false);
    }
}

// Date, time and timestamp: a time alone has no date, and as a timestamp
// takes today's.
int setDateTimeValue(ParamSink &out, int32_t idx, Target target, const PVal &v)
{
    DrvTimestamp ts{};
    if (int rc = dateTimeOf(v, &ts))
        return rc;
    if (!ts.year && !ts.month && !ts.day) {
        if (target == T_DATE)
            return ERR_INVALID_DATETIME_FORMAT;
        if (target == T_TIMESTAMP) {
            const std::time_t now = std::time(nullptr);
            std::tm local{};
            localtime_r(&now, &local);
            ts.year = static_cast<int16_t>(local.tm_year + 1900);
            ts.month = static_cast<uint16_t>(local.tm_mon + 1);
            ts.day = static_cast<uint16_t>(local.tm_mday);
        }
    }
    if (target == T_DATE)
        return out.setDate(idx, &ts);
    if (target == T_TIME)
        return out.setTime(idx, &ts);
    return out.setTimestamp(idx, &ts);
}

// The setter of each target, at the target's place.
struct SetterRow {
    Target target;
    ValueSetter set;
};
constexpr SetterRow kSetters[] = {
    {T_NONE, nullptr},
    {T_TEXT, setTextValue},         {T_LONGTEXT, setTextValue},
    {T_BINARY, setBinaryValue},     {T_LONGBINARY, setBinaryValue},
    {T_BIT, setBitValue},
    {T_TINYINT, setSmallValue},     {T_SMALLINT, setSmallValue},
    {T_INTEGER, setIntegerValue},   {T_BIGINT, setBigintValue},
    {T_REAL, setRealValue},         {T_DOUBLE, setDoubleValue},
    {T_NUMERIC, setNumericValue},
    {T_DATE, setDateTimeValue},     {T_TIME, setDateTimeValue},     {T_TIMESTAMP, setDateTimeValue},
};
constexpr bool setterRowsInPlace()
{
    for (size_t i = 0; i < sizeof kSetters / sizeof kSetters[0]; ++i)
        if (kSetters[i].target != static_cast<Target>(i))
            return false;
    return sizeof kSetters / sizeof kSetters[0] == T_TIMESTAMP + 1;
}
static_assert(setterRowsInPlace(), "one setter row per target, in the order of Target");

// Sets one non-NULL value by its target type; a date or time value only
// for a date or time target.
int setValue(ParamSink &out, int32_t idx, Target target, const PVal &v)
{
    if (v.kind == PVal::DATETIME && target != T_DATE && target != T_TIME && target != T_TIMESTAMP)
        return ERR_NOT_CAPABLE;
    const ValueSetter set = target > T_NONE && target <= T_TIMESTAMP ? kSetters[target].set : nullptr;
    return set ? set(out, idx, target, v) : ERR_NOT_CAPABLE;
}

// Scales the digits of a fraction to nanoseconds; the number of characters used.
int fractionNanos(const char *p, uint32_t *ns)
{
    uint32_t v = 0;
    int digits = 0, used = 0;
    while (isdigit(static_cast<unsigned char>(p[used]))) {
        if (digits < 9) {
            v = v * 10 + static_cast<uint32_t>(p[used] - '0');
            ++digits;
        }
        ++used;
    }
    for (int k = digits; k < 9; ++k)
        v *= 10;
    *ns = v;
    return used;
}
} // namespace

int32_t jdbcTypeOfOdbc(int32_t sqlType)
{
    const TargetRow *r = targetOf(sqlType);
    return r ? r->jdbcType : sqlType;
}

bool parseDateTime(const char *text, DrvTimestamp *out)
{
    *out = DrvTimestamp{};
    if (!text)
        return false;
    const char *p = text;
    while (*p == ' ')
        ++p;
    // An unsigned number of 1 to maxDigits digits.
    auto number = [&p](int maxDigits, int *v) {
        int n = 0;
        *v = 0;
        while (n < maxDigits && isdigit(static_cast<unsigned char>(*p))) {
            *v = *v * 10 + (*p++ - '0');
            ++n;
        }
        return n > 0 && !isdigit(static_cast<unsigned char>(*p));
    };
    auto sep = [&p](char c) { return *p == c ? (++p, true) : false; };
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    uint32_t frac = 0;
    bool date = false;
    // The first separator after the leading digits names the form.
    const char *q = p + (*p == '-' ? 1 : 0);
    while (isdigit(static_cast<unsigned char>(*q)))
        ++q;
    if (*q == '-') {
        const bool negative = sep('-');
        if (!number(5, &y) || !sep('-') || !number(2, &mo) || !sep('-') || !number(2, &d))
            return false;
        y = negative ? -y : y;
        date = true;
    } else if (*q == '.') {
        if (*p == '-' || !number(2, &d) || !sep('.') || !number(2, &mo) || !sep('.') || !number(5, &y))
            return false;
        date = true;
    }
    bool time = false;
    if (date) {
        const char *t = p;
        if (*t == 'T')
            ++t;
        else
            while (*t == ' ')
                ++t;
        if (t > p && isdigit(static_cast<unsigned char>(*t))) {
            p = t;
            time = true;
        }
    } else if (*q == ':' && *p != '-') {
        time = true;
    }
    if (time) {
        if (!number(2, &h) || !sep(':') || !number(2, &mi))
            return false;
        if (sep(':')) {
            if (!number(2, &se))
                return false;
            if (sep('.')) {
                if (!isdigit(static_cast<unsigned char>(*p)))
                    return false;
                p += fractionNanos(p, &frac);
            }
        }
    }
    while (*p == ' ')
        ++p;
    if ((!date && !time) || *p != '\0')
        return false;
    // Values a lenient calendar would roll over into other days are refused.
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (date) {
        const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        if (y > 32767 || y < -32768 || mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] || (mo == 2 && d == 29 && !leap))
            return false;
    }
    if (h > 23 || mi > 59 || se > 59)
        return false;
    out->year = static_cast<int16_t>(y);
    out->month = static_cast<uint16_t>(mo);
    out->day = static_cast<uint16_t>(d);
    out->hour = static_cast<uint16_t>(h);
    out->minute = static_cast<uint16_t>(mi);
    out->second = static_cast<uint16_t>(se);
    out->fraction = frac;
    return true;
}

namespace {
// The statement's PreparedStatement setters, one call each.
class JdbcParamSink final : public ParamSink {
public:
    explicit JdbcParamSink(DrvStmt *s) : s_(s), ps_(s->stmt) {}
    int clear() override { return jc_PreparedStatement_clearParameters(s_, ps_); }
    int setNull(int32_t i, int32_t jdbcType) override { return jc_PreparedStatement_setNull(s_, ps_, i, jdbcType); }
    int setBoolean(int32_t i, uint8_t v) override { return jc_PreparedStatement_setBoolean(s_, ps_, i, v); }
    int setByte(int32_t i, int8_t v) override { return jc_PreparedStatement_setByte(s_, ps_, i, v); }
    int setShort(int32_t i, int16_t v) override { return jc_PreparedStatement_setShort(s_, ps_, i, v); }
    int setInt(int32_t i, int32_t v) override { return jc_PreparedStatement_setInt(s_, ps_, i, v); }
    int setLong(int32_t i, int64_t v) override { return jc_PreparedStatement_setLong(s_, ps_, i, v); }
    int setFloat(int32_t i, float v) override { return jc_PreparedStatement_setFloat(s_, ps_, i, v); }
    int setDouble(int32_t i, double v) override { return jc_PreparedStatement_setDouble(s_, ps_, i, v); }
    int setStringUntyped(int32_t i, const char *text, int32_t length, int mode) override
    {
        return jc_PreparedStatement_setStringUntyped(s_, ps_, i, text, length, mode);
    }
    int setBigDecimal(int32_t i, const char *text, int32_t length, int mode) override
    {
        return jc_PreparedStatement_setBigDecimal(s_, ps_, i, text, length, mode);
    }
    int setBytes(int32_t i, const void *data, int32_t length) override
    {
        return jc_PreparedStatement_setBytes(s_, ps_, i, data, length);
    }
    int setBinaryStream(int32_t i, const void *data, int32_t length) override
    {
        return jc_PreparedStatement_setBinaryStream(s_, ps_, i, data, length);
    }
    int setDate(int32_t i, const DrvTimestamp *v) override { return jc_PreparedStatement_setDate(s_, ps_, i, v); }
    int setTime(int32_t i, const DrvTimestamp *v) override { return jc_PreparedStatement_setTime(s_, ps_, i, v); }
    int setTimestamp(int32_t i, const DrvTimestamp *v) override
    {
        return jc_PreparedStatement_setTimestamp(s_, ps_, i, v);
    }
    int registerOutParameter(int32_t i, int32_t jdbcType) override
    {
        return jc_CallableStatement_registerOutParameter(s_, ps_, i, jdbcType);
    }

private:
    DrvStmt *s_;
    jobject ps_;
};
} // namespace

int bindParamRow(DrvStmt *s, int32_t n)
{
    JdbcParamSink sink(s);
    return bindParamSet(s, n, sink);
}

int bindParamSet(DrvStmt *s, int32_t n, ParamSink &out)
{
    if (s->stmt)
        out.clear();
    if (!s->params || !s->stmt)
        return 0;
    const bool call = (s->flags & DS_PROCCALL) != 0;
    for (uint16_t i = 0; i < s->params->columnsUsed; ++i) {
        const ParamTypeDesc *pt = i < s->paramTypeCount ? &s->paramTypes[i] : nullptr;
        const int32_t sqlType = pt ? pt->sqlType : 1;
        const int16_t dir = pt ? pt->direction : static_cast<int16_t>(PARAM_INPUT);
        const int32_t idx = i + 1;
        const TargetRow *row = targetOf(sqlType);
        const RowBlockColumn &col = s->params->columns[i];
        const bool outOnly = call && (dir == PARAM_OUTPUT || dir == PARAM_RETURN_VALUE);
        int rc = 0;
        if (outOnly) {
            // The JDBC driver takes no value for an output-only parameter.
        } else if (!col.indicators || n >= s->params->rowsAllocated) {
            rc = ERR_GENERAL;
        } else if (col.indicators[n] == RB_IND_NULL) {
            int32_t jt = row ? (isTextTarget(row->target) ? JDBC_TYPES_OTHER : row->jdbcType) : sqlType;
            rc = out.setNull(idx, jt);
        } else {
            PVal v;
            const bool wideType = col.valueType >= VT_WCHAR && col.valueType <= VT_WTEXT4;
            if ((wideType && !KRS_IsUnicodeBuild()) || !readCell(col, n, &v)) {
                LOG_Printf(LOG_LEVEL_WARNING, SRC, __LINE__, "unknown bind type [%d] in parameters",
                           static_cast<int>(col.valueType));
                return ERR_NOT_CAPABLE;
            }
            rc = row ? setValue(out, idx, row->target, v) : ERR_NOT_CAPABLE;
        }
        if (rc == 0 && call && (dir == PARAM_INPUT_OUTPUT || outOnly)) {
            rc = out.registerOutParameter(idx, jdbcTypeOfOdbc(sqlType));
            if (rc == 0)
                s->flags |= DS_OUT_REGISTERED;
        }
        if (rc != 0)
            return rc;
    }
    s->flags &= static_cast<uint16_t>(~DS_PARAMS_CHANGED);
    return 0;
}

int initParamDescs(DrvStmt *s)
{
    s->paramCount = s->sql.markerCount;
    if (!s->paramCount)
        return 0;
    ColDesc *d = CD_Alloc(s->paramCount);
    if (!d) {
        s->paramCount = 0;
        return ERR_MEMORY_ALLOCATION;
    }
    for (uint16_t i = 0; i < s->paramCount; ++i) {
        if (s->flags & DS_PROCCALL)
            memcpy(d[i].name, "*B", 3);
        d[i].baseSqlType = -9999;
        d[i].sqlType = 12;
        d[i].columnSize = 255;
        d[i].displaySize = 255;
        d[i].valueType = VT_NTS;
        d[i].attrFlags = 2;
    }
    s->paramDescs = d;
    return 0;
}

namespace {

// Whether the probes describe every marker of the statement: an INSERT map
// with one '?' per marker, or exactly the marker count.
bool probesCover(const ScrParamProbes &p, uint16_t markers)
{
    if (markers == 0 || p.probeCount == 0)
        return false;
    if (!p.markerMap)
        return p.describedCount == markers;
    int marked = 0;
    for (const char *m = p.markerMap; *m; ++m)
        marked += *m == '?';
    return marked == markers;
}

// Runs one statement of the probe's own on the temporary statement.
bool probeRun(int tmp, const char *sql)
{
    return DRV_ExecDirect(tmp, sql, nullptr, 0, nullptr) == 0;
}

// Prepares each probe and copies its result columns, in order, into descs;
// false when a probe fails (descs then partly filled).
bool probeColumns(int tmp, const ScrParamProbes &p, ColDesc *descs, uint16_t count)
{
    const size_t mapLen = p.markerMap ? strlen(p.markerMap) : 0;
    uint16_t next = 0;
    for (int i = 0; i < p.probeCount && next < count; ++i) {
        uint16_t n = 0;
        ColDesc *cols = nullptr;
        if (DRV_Prepare(tmp, p.probes[i]) != 0 || DRV_Execute(tmp) != 0 || DRV_GetColDescs(tmp, &n, &cols) != 0)
            return false;
        for (uint16_t k = 0; k < n && next < count; ++k) {
            if (p.markerMap && (k >= mapLen || p.markerMap[k] != '?'))
                continue;
            ColDesc &d = descs[next++];
            d.baseSqlType = cols[k].baseSqlType;
            d.sqlType = cols[k].sqlType;
            d.displaySize = cols[k].displaySize;
            d.valueType = cols[k].valueType;
            d.bufferLength = cols[k].bufferLength;
            d.columnSize = cols[k].columnSize;
            d.decimalDigits = cols[k].decimalDigits;
            d.attrFlags = cols[k].attrFlags;
        }
        CD_Free(cols, n);
    }
    return next == count;
}

// Describes the parameters through the probes on a statement of its own.
// Under manual commit the probes run inside a savepoint, so that a probe the
// server refuses never aborts the application's transaction.  A probe that
// fails leaves every description as it was.  0, or the number of a failed
// allocation of the temporary statement.
int describeByProbes(DrvStmt *s, const ScrParamProbes &p)
{
    DrvConn *c = s->conn;
    uint8_t autoCommit = 1;
    if (!drvConnEnter(c) || jc_Connection_getAutoCommit(c, c->connection, &autoCommit) != 0) {
        errClear(&c->errors);
        return 0;
    }
    int tmp = 0;
    if (int rc = DRV_AllocStmt(c->handle, &tmp))
        return rc;
    const bool savepoint = !autoCommit;
    if (!savepoint || probeRun(tmp, "SAVEPOINT krs_probe")) {
        ColDesc *work = CD_Alloc(s->paramCount);
        if (work) {
            memcpy(work, s->paramDescs, s->paramCount * sizeof(ColDesc));
            if (probeColumns(tmp, p, work, s->paramCount))
                memcpy(s->paramDescs, work, s->paramCount * sizeof(ColDesc));
            else if (savepoint)
                probeRun(tmp, "ROLLBACK TO SAVEPOINT krs_probe");
            free(work);
        }
        if (savepoint)
            probeRun(tmp, "RELEASE SAVEPOINT krs_probe");
    }
    return DRV_FreeStmt(tmp);
}

} // namespace

int describeParams(DrvStmt *s)
{
    if (!(s->flags & DS_PREPARED)) {
        LOG_Printf(LOG_LEVEL_WARNING, SRC, __LINE__, "execute without prior prepare");
        return ERR_FUNCTION_SEQUENCE;
    }
    if (s->flags & DS_PENDING) {
        LOG_Printf(LOG_LEVEL_WARNING, SRC, __LINE__, "Describe params work only before Execute");
        return 0;
    }
    if (!(s->sql.flags & SQLT_MARKERS))
        return 0;
    ScrParamProbes probes;
    SCR_ParamProbesInit(&probes, "NULL");
    int rc = 0;
    if (SCR_ParamProbesGet(&probes, s->sql.kept) == 0 && s->paramDescs && probesCover(probes, s->paramCount))
        rc = describeByProbes(s, probes);
    SCR_ParamProbesFree(&probes);
    if (rc == 0)
        s->paramsDescribed = 1;
    return rc;
}

// Send-direction value helpers: date-time escapes, NUMERIC, GUID and
// hexadecimal text on their way into a parameter or SetPos row block.
#include "exec/conv_send.h"

#include <cstdlib>
#include <cstring>

#include "exec/convert.h"
#include "util/utf8.h"

namespace {

enum EscapeKind { ESC_NONE = 0, ESC_DATE = 9, ESC_TIME = 10, ESC_TIMESTAMP = 11 };

struct EscapeValue {
    EscapeKind kind;
    long year, month, day, hour, minute, second;
    uint32_t fraction;  // nanoseconds
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads a cursor over [p, end).
struct Reader {
    const char *p;
    const char *end;

    bool AtEnd() const { return p >= end; }
    void SkipBlanks()
    {
        while (p < end && IsBlank(*p))
            ++p;
    }
    bool Take(char c)
    {
        if (p < end && *p == c) {
            ++p;
            return true;
        }
        return false;
    }
    // 1 to 9 digits, optionally after a "-" when `sign`.
    bool Number(long *out, bool sign = false)
    {
        bool negative = sign && Take('-');
        const char *start = p;
        long v = 0;
        while (p < end && IsDigit(*p) && p - start < 9)
            v = v * 10 + (*p++ - '0');
        if (p == start || (p < end && IsDigit(*p)))
            return false;
        *out = negative ? -v : v;
        return true;
    }
};

bool ReadDate(Reader &r, EscapeValue *v)
{
    if (!r.Number(&v->year, true))
        return false;
    const char sep = r.p < r.end ? *r.p : 0;
    if (sep != '-' && sep != '/')
        return false;
    ++r.p;
    return r.Number(&v->month) && r.Take(sep) && r.Number(&v->day);
}

bool ReadTime(Reader &r, EscapeValue *v, bool fraction)
{
    if (!(r.Number(&v->hour) && r.Take(':') && r.Number(&v->minute) && r.Take(':') && r.Number(&v->second)))
        return false;
    if (!r.Take('.'))
        return true;
    // Up to nine fraction digits are nanoseconds; later ones are below them.
    const char *start = r.p;
    uint32_t f = 0;
    int digits = 0;
    while (r.p < r.end && IsDigit(*r.p)) {
        if (digits < 9) {
            f = f * 10 + static_cast<uint32_t>(*r.p - '0');
            ++digits;
        }
        ++r.p;
    }
    if (r.p == start)
        return false;
    for (; digits < 9; ++digits)
        f *= 10;
    if (fraction)
        v->fraction = f;
    return true;
}

bool InRange(const EscapeValue &v)
{
    const bool dateOk = v.year >= -32768 && v.year <= 32767 && v.month >= 1 && v.month <= 12 && v.day >= 1 &&
                        v.day <= 31;
    const bool timeOk = v.hour <= 23 && v.minute <= 59 && v.second <= 61;
    switch (v.kind) {
    case ESC_DATE:
        return dateOk;
    case ESC_TIME:
        return timeOk;
    default:
        return dateOk && timeOk;
    }
}

// Parses an escape: ESC_NONE (and 0) for text that is none; 22007 for one
// that is malformed.
int ParseEscape(const char *text, size_t len, EscapeValue *v)
{
    *v = EscapeValue{};
    if (len < 1 || text[0] != '{')
        return 0;
    Reader r{text + 1, text + len};
    r.SkipBlanks();
    auto keyword = [&](const char *kw) {
        size_t n = std::strlen(kw);
        if (static_cast<size_t>(r.end - r.p) <= n)
            return false;
        for (size_t i = 0; i < n; ++i)
            if ((r.p[i] | 0x20) != kw[i])
                return false;
        if (!IsBlank(r.p[n]) && r.p[n] != '\'')
            return false;
        r.p += n;
        return true;
    };
    EscapeKind kind = keyword("ts") ? ESC_TIMESTAMP : keyword("d") ? ESC_DATE : keyword("t") ? ESC_TIME : ESC_NONE;
    if (kind == ESC_NONE)
        return 0;
    v->kind = kind;
    r.SkipBlanks();
    bool ok = r.Take('\'');
    if (ok && kind != ESC_TIME)
        ok = ReadDate(r, v);
    if (ok && kind == ESC_TIMESTAMP) {
        ok = r.p < r.end && IsBlank(*r.p);
        r.SkipBlanks();
    }
    if (ok && kind != ESC_DATE)
        ok = ReadTime(r, v, kind == ESC_TIMESTAMP);
    if (ok) {
        ok = r.Take('\'');
        r.SkipBlanks();
        ok = ok && r.Take('}');
        r.SkipBlanks();
        ok = ok && r.AtEnd() && InRange(*v);
    }
    return ok ? 0 : ERR_INVALID_DATETIME_FORMAT;
}

// Copies a date, time or timestamp struct into the slot and marks the column
// (when given) as that value type and width; 0.
template <typename T> int PutEscapeStruct(void *slot, RowBlockColumn *column, ValueType vt, const T &value)
{
    std::memcpy(slot, &value, sizeof value);
    if (column) {
        column->valueType = vt;
        column->width = sizeof value;
    }
    return 0;
}

// Stores the escape's value as the SQL type's struct.  1 when the slot is too
// short or the SQL type wants text (the caller copies the text), 0 when stored,
// else an error number.
int StoreEscape(void *slot, size_t len, RowBlockColumn *column, int16_t sqlType, const EscapeValue &v)
{
    int16_t want = sqlType == 0 ? static_cast<int16_t>(v.kind) : sqlType;
    switch (want) {
    case SQL_DATE:
    case SQL_TYPE_DATE: {
        if (v.kind == ESC_TIME)
            return ERR_RESTRICTED_DATA_TYPE;
        if (len < sizeof(DATE_STRUCT))
            return 1;
        DATE_STRUCT d{static_cast<SQLSMALLINT>(v.year), static_cast<SQLUSMALLINT>(v.month),
                      static_cast<SQLUSMALLINT>(v.day)};
        return PutEscapeStruct(slot, column, VT_DATE, d);
    }
    case SQL_TIME:
    case SQL_TYPE_TIME: {
        if (v.kind == ESC_DATE)
            return ERR_RESTRICTED_DATA_TYPE;
        if (len < sizeof(TIME_STRUCT))
            return 1;
        TIME_STRUCT t{static_cast<SQLUSMALLINT>(v.hour), static_cast<SQLUSMALLINT>(v.minute),
                      static_cast<SQLUSMALLINT>(v.second)};
        return PutEscapeStruct(slot, column, VT_TIME, t);
    }
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP: {
        if (len < sizeof(TIMESTAMP_STRUCT))
            return 1;
        TIMESTAMP_STRUCT ts{};
        if (v.kind == ESC_TIME) {
            DATE_STRUCT today;
            CONV_Today(&today);
            ts.year = today.year;
            ts.month = today.month;
            ts.day = today.day;
        } else {
            ts.year = static_cast<SQLSMALLINT>(v.year);
            ts.month = static_cast<SQLUSMALLINT>(v.month);
            ts.day = static_cast<SQLUSMALLINT>(v.day);
        }
        if (v.kind != ESC_DATE) {
            ts.hour = static_cast<SQLUSMALLINT>(v.hour);
            ts.minute = static_cast<SQLUSMALLINT>(v.minute);
            ts.second = static_cast<SQLUSMALLINT>(v.second);
            ts.fraction = v.fraction;
        }
        return PutEscapeStruct(slot, column, VT_TIMESTAMP, ts);
    }
    default:
        return 1;
    }
}

bool ServedSqlType(int16_t sqlType)
{
    switch (sqlType) {
    case 0:
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_VARCHAR:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
        return true;
    default:
        return false;
    }
}

// The escape in `text` (UTF-8 or narrow) stored, or `raw` (rawLen bytes) copied.
int DateTimeInto(void *slot, const char *text, size_t len, const void *raw, size_t rawLen,
                 RowBlockColumn *column, int16_t sqlType)
{
    if (ServedSqlType(sqlType) && sqlType != SQL_VARCHAR) {
        EscapeValue v;
        if (int rc = ParseEscape(text, len, &v))
            return rc;
        if (v.kind != ESC_NONE) {
            int rc = StoreEscape(slot, rawLen, column, sqlType, v);
            if (rc != 1)
                return rc;
        }
    }
    if (rawLen > 0)
        std::memmove(slot, raw, rawLen);
    return 0;
}

} // namespace

int CharToDateTime(void *slot, const char *text, size_t len, RowBlockColumn *column, int16_t sqlType)
{
    return DateTimeInto(slot, text, len, text, len, column, sqlType);
}

int WCharToDateTime(void *slot, const SQLWCHAR *text, size_t len, RowBlockColumn *column, int16_t sqlType)
{
    char *utf8 = UTF8_DupFromWideN(text, static_cast<int64_t>(len / 2));
    if (!utf8)
        return ERR_MEMORY_ALLOCATION;
    int rc = DateTimeInto(slot, utf8, std::strlen(utf8), text, len, column, sqlType);
    std::free(utf8);
    return rc;
}

int NumericToChar(char *slot, size_t slotWidth, const SQL_NUMERIC_STRUCT &num, size_t *outLen)
{
    using u128 = unsigned __int128;
    u128 m = 0;
    for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i)
        m = m << 8 | num.val[i];
    char digits[48];
    int nd = 0;
    do {
        digits[nd++] = static_cast<char>('0' + static_cast<int>(m % 10));
        m /= 10;
    } while (m != 0);
    const bool zero = nd == 1 && digits[0] == '0';
    const int scale = static_cast<SQLSCHAR>(num.scale);

    char text[NUMERIC_TEXT_MAX + 1];
    size_t n = 0;
    if (num.sign == 0 && !zero)
        text[n++] = '-';
    if (scale <= 0) {
        for (int i = nd - 1; i >= 0; --i)
            text[n++] = digits[i];
        for (int i = 0; i < -scale && !zero; ++i)
            text[n++] = '0';
    } else {
        const int intDigits = nd > scale ? nd - scale : 0;
        if (intDigits == 0)
            text[n++] = '0';
        for (int i = nd - 1; i >= nd - intDigits; --i)
            text[n++] = digits[i];
        text[n++] = '.';
        for (int i = 0; i < scale - nd; ++i)
            text[n++] = '0';
        for (int i = (nd > scale ? scale : nd) - 1; i >= 0; --i)
            text[n++] = digits[i];
    }
    if (outLen)
        *outLen = n;
    if (!slot || n > slotWidth)
        return ERR_NUMERIC_RANGE;
    std::memcpy(slot, text, n);
    if (n < slotWidth)
        slot[n] = '\0';
    return 0;
}

void GuidToChar(char *slot, const SQLGUID &g)
{
    static const char kHex[] = "0123456789ABCDEF";
    char text[36];
    size_t n = 0;
    auto put = [&](uint32_t v, int nibbles) {
        for (int i = nibbles - 1; i >= 0; --i)
            text[n++] = kHex[(v >> (4 * i)) & 0xF];
    };
    put(g.Data1, 8);
    text[n++] = '-';
    put(g.Data2, 4);
    text[n++] = '-';
    put(g.Data3, 4);
    text[n++] = '-';
    put(g.Data4[0], 2);
    put(g.Data4[1], 2);
    text[n++] = '-';
    for (int i = 2; i < 8; ++i)
        put(g.Data4[i], 2);
    std::memcpy(slot, text, sizeof text);
}

int HexToBinary(uint8_t *slot, const char *text, size_t len)
{
    if (len % 2 != 0)
        return ERR_INVALID_CAST_VALUE;
    for (size_t i = 0; i < len; ++i)
        if (HexCharValue(static_cast<unsigned char>(text[i])) < 0)
            return ERR_INVALID_CAST_VALUE;
    for (size_t i = 0; i + 1 < len; i += 2)
        slot[i / 2] = static_cast<uint8_t>(HexCharValue(static_cast<unsigned char>(text[i])) * 16 +
                                           HexCharValue(static_cast<unsigned char>(text[i + 1])));
    return 0;
}

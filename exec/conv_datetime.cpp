// Date, time and timestamp source conversions.  Text is built without the
// locale; a year is written with its sign and all its digits, also one that
// lies beyond the structs' 16-bit year field (which the structs refuse).
#include <atomic>
#include <charconv>
#include <cstring>
#include <ctime>

#include "exec/conv_internal.h"
#include "odbc/contract/rowblock.h"

namespace {

std::atomic<void (*)(DATE_STRUCT *)> g_todayHook{nullptr};

// Appends v with at least `width` digits; a negative v gets a leading "-".
char *PutField(char *p, long v, int width)
{
    unsigned long mag = v < 0 ? 0UL - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
    if (v < 0)
        *p++ = '-';
    char digits[24];
    auto res = std::to_chars(digits, digits + sizeof digits, mag);
    for (int pad = width - static_cast<int>(res.ptr - digits); pad > 0; --pad)
        *p++ = '0';
    std::memcpy(p, digits, static_cast<size_t>(res.ptr - digits));
    return p + (res.ptr - digits);
}

// "yyyy-mm-dd" into p, or the text of an infinite date; returns the end.
char *PutDate(char *p, long year, unsigned month, unsigned day)
{
    if (year == RB_YEAR_MAX || year == RB_YEAR_MIN) {
        const char *word = year == RB_YEAR_MAX ? "infinity" : "-infinity";
        const size_t n = std::strlen(word);
        std::memcpy(p, word, n);
        return p + n;
    }
    p = PutField(p, year, 4);
    *p++ = '-';
    p = PutField(p, month, 2);
    *p++ = '-';
    return PutField(p, day, 2);
}

// "hh:mm:ss" into p; returns the end.
char *PutTime(char *p, unsigned hour, unsigned minute, unsigned second)
{
    p = PutField(p, hour, 2);
    *p++ = ':';
    p = PutField(p, minute, 2);
    *p++ = ':';
    return PutField(p, second, 2);
}

// Text into a narrow or wide target, with terminator.
SQLRETURN PutText(ConvTarget &t, int16_t cType, const char *text, size_t len, bool truncOk)
{
    if (cType == SQL_C_WCHAR)
        return CopyCHARtoWCHAR(text, static_cast<int64_t>(len), 0, 0, true, truncOk, ENC_UTF8, t);
    return CopyCHARtoCHAR(text, static_cast<int64_t>(len), 0, 0, true, truncOk, ENC_BYTES, t);
}

SQLRETURN PutStructBytes(ConvTarget &t, const void *s, int size)
{
    return CopyCHARtoCHAR(static_cast<const char *>(s), size, 0, 0, false, true, ENC_BYTES, t);
}

bool IsText(int16_t cType)
{
    return cType == SQL_C_CHAR || cType == SQL_C_WCHAR;
}

bool IsDate(int16_t cType)
{
    return cType == SQL_C_DATE || cType == SQL_C_TYPE_DATE;
}

bool IsTime(int16_t cType)
{
    return cType == SQL_C_TIME || cType == SQL_C_TYPE_TIME;
}

bool IsTimestamp(int16_t cType)
{
    return cType == SQL_C_TIMESTAMP || cType == SQL_C_TYPE_TIMESTAMP;
}

SQLRETURN PutTimestamp(ConvTarget &t, const TIMESTAMP_STRUCT &ts)
{
    return PutFixed(t, &ts, sizeof ts);
}

// A year no struct can hold: 22008.
SQLRETURN YearOverflow(ConvTarget &t)
{
    *t.err = ERR_DATE_OVERFLOW;
    return SQL_ERROR;
}

} // namespace

void CONV_Today(DATE_STRUCT *out)
{
    if (auto hook = g_todayHook.load()) {
        hook(out);
        return;
    }
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    out->year = static_cast<SQLSMALLINT>(local.tm_year + 1900);
    out->month = static_cast<SQLUSMALLINT>(local.tm_mon + 1);
    out->day = static_cast<SQLUSMALLINT>(local.tm_mday);
}

void CONV_SetTodayHook(void (*hook)(DATE_STRUCT *out))
{
    g_todayHook.store(hook);
}

SQLRETURN ConvertDATE(const DATE_STRUCT &d, int16_t cType, ConvTarget &t)
{
    CONV_TRACE("ConvertDATE: retBufferLength(%ld) to %s", static_cast<long>(t.bufLen), CTypeName(cType));
    t.used = 0;
    int32_t year = 0;
    uint16_t month = 0;
    const bool wide = RB_GetYearMonth(d.year, d.month, &year, &month);
    if (IsText(cType)) {
        char text[40];
        char *end = PutDate(text, year, month, d.day);
        return PutText(t, cType, text, static_cast<size_t>(end - text), false);
    }
    if (wide && (IsDate(cType) || IsTimestamp(cType) || cType == SQL_C_BINARY))
        return YearOverflow(t);
    if (IsDate(cType))
        return PutFixed(t, &d, sizeof d);
    if (IsTimestamp(cType)) {
        TIMESTAMP_STRUCT ts{};
        ts.year = d.year;
        ts.month = d.month;
        ts.day = d.day;
        return PutTimestamp(t, ts);
    }
    if (cType == SQL_C_BINARY)
        return PutStructBytes(t, &d, sizeof d);
    return Restricted(t);
}

SQLRETURN ConvertTIME(const TIME_STRUCT &tm, int16_t cType, ConvTarget &t)
{
    CONV_TRACE("ConvertTIME: retBufferLength(%ld) to %s", static_cast<long>(t.bufLen), CTypeName(cType));
    t.used = 0;
    if (IsText(cType)) {
        char text[40];
        char *end = PutTime(text, tm.hour, tm.minute, tm.second);
        return PutText(t, cType, text, static_cast<size_t>(end - text), false);
    }
    if (IsTime(cType))
        return PutFixed(t, &tm, sizeof tm);
    if (IsTimestamp(cType)) {
        DATE_STRUCT today;
        CONV_Today(&today);
        TIMESTAMP_STRUCT ts{};
        ts.year = today.year;
        ts.month = today.month;
        ts.day = today.day;
        ts.hour = tm.hour;
        ts.minute = tm.minute;
        ts.second = tm.second;
        return PutTimestamp(t, ts);
    }
    if (cType == SQL_C_BINARY)
        return PutStructBytes(t, &tm, sizeof tm);
    return Restricted(t);
}

SQLRETURN ConvertTIMESTAMP(const TIMESTAMP_STRUCT &ts, int16_t cType, ConvTarget &t, uint16_t scale)
{
    CONV_TRACE("ConvertTIMESTAMP: precision,scale (%ld,%ld) to %s", static_cast<long>(t.bufLen),
               static_cast<long>(scale), CTypeName(cType));
    t.used = 0;
    int32_t year = 0;
    uint16_t month = 0;
    const bool wide = RB_GetYearMonth(ts.year, ts.month, &year, &month);
    const bool infinite = year == RB_YEAR_MAX || year == RB_YEAR_MIN;
    if (IsText(cType)) {
        char text[64];
        char *p = PutDate(text, year, month, ts.day);
        if (!infinite) {
            *p++ = ' ';
            p = PutTime(p, ts.hour, ts.minute, ts.second);
        }
        if (scale > 0 && !infinite) {
            // Nine digits of nanoseconds; trailing zeros go while more than
            // `scale` digits remain.
            char frac[16];
            char *f = PutField(frac, ts.fraction > 999999999u ? 999999999L : static_cast<long>(ts.fraction), 9);
            while (f - frac > scale && f[-1] == '0')
                --f;
            *p++ = '.';
            std::memcpy(p, frac, static_cast<size_t>(f - frac));
            p += f - frac;
        }
        *p = '\0';
        CONV_TRACE("ConvertTIMESTAMP temBuf string = %s", text);
        return PutText(t, cType, text, static_cast<size_t>(p - text), true);
    }
    if (wide && (IsDate(cType) || IsTimestamp(cType) || cType == SQL_C_BINARY || (infinite && IsTime(cType))))
        return YearOverflow(t);
    if (IsDate(cType)) {
        DATE_STRUCT d{ts.year, ts.month, ts.day};
        return PutFixed(t, &d, sizeof d);
    }
    if (IsTime(cType)) {
        TIME_STRUCT tm{ts.hour, ts.minute, ts.second};
        return PutFixed(t, &tm, sizeof tm);
    }
    if (IsTimestamp(cType))
        return PutTimestamp(t, ts);
    if (cType == SQL_C_BINARY)
        return PutStructBytes(t, &ts, sizeof ts);
    return Restricted(t);
}

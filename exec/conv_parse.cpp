// Text parsers: integers, floating-point numbers, SQL_NUMERIC_STRUCT and
// GUIDs from narrow text, and their wide twins.  Locale-free.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "exec/conv_internal.h"
#include "util/utf8.h"

namespace {

using u128 = unsigned __int128;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// [blanks][sign]digits[blanks] within [p, end): the magnitude (saturating with
// *overflow set) and the sign.  ERR_ASSIGNMENT when it is no integer.
int ParseInteger(const char *p, const char *end, bool *negative, uint64_t *magnitude, bool *overflow)
{
    *negative = false;
    *overflow = false;
    *magnitude = 0;
    while (p < end && IsSpace(*p))
        ++p;
    if (p < end && (*p == '-' || *p == '+')) {
        *negative = *p == '-';
        ++p;
    }
    const char *digits = p;
    uint64_t v = 0;
    for (; p < end && IsDigit(*p); ++p) {
        unsigned d = static_cast<unsigned>(*p - '0');
        if (v > (UINT64_MAX - d) / 10)
            *overflow = true;
        else if (!*overflow)
            v = v * 10 + d;
    }
    const bool any = p > digits;
    while (p < end && IsSpace(*p))
        ++p;
    if (!any || p != end)
        return ERR_ASSIGNMENT;
    *magnitude = v;
    return 0;
}

int Fail(int32_t *err, int32_t number)
{
    *err = number;
    return -1;
}

// [blanks][sign]digits[.digits][e[sign]digits][blanks]: the digits and the
// exponent.  ERR_ASSIGNMENT when the text is no number.
int ParseDecimal(const char *p, const char *end, DecimalDigits *d)
{
    *d = DecimalDigits{nullptr, 0, nullptr, 0, 0, false};
    while (p < end && IsSpace(*p))
        ++p;
    if (p < end && (*p == '-' || *p == '+')) {
        d->negative = *p == '-';
        ++p;
    }
    d->intPart = p;
    while (p < end && IsDigit(*p))
        ++p;
    d->nInt = p - d->intPart;
    if (p < end && *p == '.') {
        ++p;
        d->fracPart = p;
        while (p < end && IsDigit(*p))
            ++p;
        d->nFrac = p - d->fracPart;
    }
    if (d->nInt + d->nFrac == 0)
        return ERR_ASSIGNMENT;
    int64_t exp = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negExp = false;
        if (p < end && (*p == '-' || *p == '+')) {
            negExp = *p == '-';
            ++p;
        }
        const char *expDigits = p;
        for (; p < end && IsDigit(*p); ++p)
            if (exp < 100000000)
                exp = exp * 10 + (*p - '0');
        if (p == expDigits)
            return ERR_ASSIGNMENT;
        if (negExp)
            exp = -exp;
    }
    while (p < end && IsSpace(*p))
        ++p;
    if (p != end)
        return ERR_ASSIGNMENT;
    d->exp10 = exp - d->nFrac;
    return 0;
}

// Decimal magnitude of the leading significant digit of a parsed number
// (1 for 1..9, 2 for 10..99, 0 for 0.1..0.9); very negative for zero.
int64_t Magnitude(const DecimalDigits &d)
{
    for (int64_t i = 0; i < d.nInt; ++i)
        if (d.intPart[i] != '0')
            return d.nInt - i + d.exp10 + d.nFrac;
    for (int64_t i = 0; i < d.nFrac; ++i)
        if (d.fracPart[i] != '0')
            return -i + d.exp10 + d.nFrac;
    return INT64_MIN / 2;
}

// The integer part (toward zero) of a parsed number as a magnitude:
// *overflow when it needs more than 64 bits, *fraction when nonzero digits
// were cut.
void IntegerPart(const DecimalDigits &d, uint64_t *magnitude, bool *overflow, bool *fraction)
{
    const int64_t total = d.nInt + d.nFrac;
    const int64_t keep = d.exp10 >= 0 ? total : (total + d.exp10 > 0 ? total + d.exp10 : 0);
    uint64_t v = 0;
    *overflow = false;
    *fraction = false;
    for (int64_t i = 0; i < total; ++i) {
        const unsigned digit = static_cast<unsigned>(i < d.nInt ? d.intPart[i] - '0' : d.fracPart[i - d.nInt] - '0');
        if (i >= keep) {
            if (digit != 0)
                *fraction = true;
        } else if (v > (UINT64_MAX - digit) / 10) {
            *overflow = true;
        } else if (!*overflow) {
            v = v * 10 + digit;
        }
    }
    for (int64_t i = 0; i < d.exp10 && v != 0 && !*overflow; ++i) {
        if (v > UINT64_MAX / 10)
            *overflow = true;
        else
            v *= 10;
    }
    *magnitude = v;
}

// An integer text, or else a decimal or exponent form read for its integer
// part: the sign and magnitude, and whether fraction digits were cut.
int ParseIntegerPart(const char *p, const char *end, bool *negative, uint64_t *magnitude, bool *overflow,
                     bool *fraction)
{
    *fraction = false;
    if (ParseInteger(p, end, negative, magnitude, overflow) == 0)
        return 0;
    DecimalDigits d;
    if (int rc = ParseDecimal(p, end, &d))
        return rc;
    *negative = d.negative;
    IntegerPart(d, magnitude, overflow, fraction);
    return 0;
}

// Runs a narrow parser on the UTF-8 copy of n units of wide text.
template <class Fn>
int OnUtf8Copy(const SQLWCHAR *text, int64_t n, int32_t *err, Fn parse)
{
    if (n < 0)
        n = 0;
    char *copy = UTF8_DupFromWideN(text, n);
    if (!copy)
        return Fail(err, ERR_MEMORY_ALLOCATION);
    int rc = parse(copy, static_cast<int64_t>(std::strlen(copy)));
    std::free(copy);
    return rc;
}

} // namespace

int DecimalToNumeric(const DecimalDigits &d, bool round, int scale, int precision, int reportPrecision,
                     SQL_NUMERIC_STRUCT *out, int32_t *err)
{
    const u128 kMax = ~static_cast<u128>(0);
    const int64_t total = d.nInt + d.nFrac;
    const int64_t k = d.exp10 + scale;  // value x 10^scale = digits x 10^k
    const int64_t keep = k >= 0 ? total : (total + k > 0 ? total + k : 0);
    auto digitAt = [&](int64_t i) { return i < d.nInt ? d.intPart[i] - '0' : d.fracPart[i - d.nInt] - '0'; };

    u128 m = 0;
    bool lost = false;
    bool roundUp = false;
    for (int64_t i = 0; i < total; ++i) {
        unsigned digit = static_cast<unsigned>(digitAt(i));
        if (i < keep) {
            if (m > (kMax - digit) / 10)
                return Fail(err, ERR_NUMERIC_RANGE);
            m = m * 10 + digit;
        } else {
            if (i == keep && digit >= 5)
                roundUp = true;
            if (digit != 0)
                lost = true;
        }
    }
    for (int64_t i = 0; i < k && m != 0; ++i) {
        if (m > kMax / 10)
            return Fail(err, ERR_NUMERIC_RANGE);
        m *= 10;
    }
    if (round && roundUp) {
        if (m == kMax)
            return Fail(err, ERR_NUMERIC_RANGE);
        ++m;
    }
    int digits = 0;
    for (u128 v = m; v != 0; v /= 10)
        ++digits;
    if (precision > 0 && digits > precision)
        return Fail(err, ERR_NUMERIC_RANGE);

    std::memset(out, 0, sizeof *out);
    int reported = precision > 0 ? precision : reportPrecision;
    out->precision = static_cast<SQLCHAR>(reported > 255 ? 255 : reported);
    out->scale = static_cast<SQLSCHAR>(scale);
    out->sign = (d.negative && m != 0) ? 0 : 1;
    for (int i = 0; i < SQL_MAX_NUMERIC_LEN; ++i) {
        out->val[i] = static_cast<SQLCHAR>(m & 0xFF);
        m >>= 8;
    }
    if (lost && !round) {
        *err = ERR_FRACTIONAL_TRUNCATION;
        return 1;
    }
    return 0;
}

// 01S07 and 1 when fraction digits were cut from a value in range, else 0.
static int Fraction(bool cut, int32_t *err)
{
    if (!cut)
        return 0;
    *err = ERR_FRACTIONAL_TRUNCATION;
    return 1;
}

// CharToNumber64 without its trace line.
static int ParseInRange(const char *text, int64_t len, int64_t lo, int64_t hi, int64_t *out, int32_t *err)
{
    bool negative = false, overflow = false, fraction = false;
    uint64_t magnitude = 0;
    if (int rc = ParseIntegerPart(text, text + (len > 0 ? len : 0), &negative, &magnitude, &overflow, &fraction))
        return Fail(err, rc);
    if (overflow)
        return Fail(err, ERR_NUMERIC_RANGE);
    if (negative && magnitude != 0) {
        const uint64_t limit = lo < 0 ? 0 - static_cast<uint64_t>(lo) : 0;
        if (magnitude > limit)
            return Fail(err, ERR_NUMERIC_RANGE);
        *out = static_cast<int64_t>(0 - magnitude);
        return Fraction(fraction, err);
    }
    if (hi < 0 || magnitude > static_cast<uint64_t>(hi) || static_cast<int64_t>(magnitude) < lo)
        return Fail(err, ERR_NUMERIC_RANGE);
    *out = static_cast<int64_t>(magnitude);
    return Fraction(fraction, err);
}

int CharToNumber64(const char *text, int64_t len, int64_t lo, int64_t hi, int64_t *out, int32_t *err)
{
    CONV_TRACE("CharToNumber64: %.*s", static_cast<int>(len > 512 ? 512 : len), text);
    return ParseInRange(text, len, lo, hi, out, err);
}

int CharToNumber(const char *text, int64_t len, int64_t lo, int64_t hi, int32_t *out, int32_t *err)
{
    CONV_TRACE("CharToNumber: %.*s", static_cast<int>(len > 512 ? 512 : len), text);
    int64_t v = 0;
    const int rc = ParseInRange(text, len, lo, hi, &v, err);
    if (rc < 0)
        return -1;
    *out = static_cast<int32_t>(v);
    return rc;
}

int CharToUNumber64(const char *text, int64_t len, uint64_t *out, int32_t *err)
{
    CONV_TRACE("CharToNumber64: %.*s", static_cast<int>(len > 512 ? 512 : len), text);
    bool negative = false, overflow = false, fraction = false;
    uint64_t magnitude = 0;
    if (int rc = ParseIntegerPart(text, text + (len > 0 ? len : 0), &negative, &magnitude, &overflow, &fraction))
        return Fail(err, rc);
    if (overflow || (negative && magnitude != 0))
        return Fail(err, ERR_NUMERIC_RANGE);
    *out = magnitude;
    return Fraction(fraction, err);
}

int CharToDecimal(const char *text, int64_t len, double *out, int32_t *err)
{
    CONV_TRACE("CharToDecimal: %.*s", static_cast<int>(len > 512 ? 512 : len), text);
    if (len < 0)
        len = 0;
    if (len > 512)
        return Fail(err, ERR_NUMERIC_RANGE);
    char work[513];
    size_t n = 0;
    for (int64_t i = 0; i < len; ++i) {
        char c = text[i];
        if ((i == 0 && c == '$') || c == ',')
            continue;
        work[n++] = c;
    }
    work[n] = '\0';
    const char *p = work;
    const char *end = work + n;
    while (p < end && IsSpace(*p))
        ++p;
    bool plus = false;
    if (p < end && *p == '+') {
        plus = true;
        ++p;
    }
    if (p == end || (plus && *p == '-'))
        return Fail(err, ERR_ASSIGNMENT);
    double v = 0;
    auto res = std::from_chars(p, end, v, std::chars_format::general);
    if (res.ec == std::errc::invalid_argument || res.ptr != end)
        return Fail(err, ERR_ASSIGNMENT);
    if (res.ec == std::errc::result_out_of_range) {
        DecimalDigits d;
        if (ParseDecimal(p, end, &d) == 0 && Magnitude(d) > 0)
            return Fail(err, ERR_NUMERIC_RANGE);
        v = (*p == '-') ? -0.0 : 0.0;  // underflow: the nearest value is zero
    }
    *out = v;
    return 0;
}

int CharToNumeric(const char *text, int64_t len, SQL_NUMERIC_STRUCT *out, int scale, int precision,
                  int32_t *err)
{
    CONV_TRACE("CharToNumeric: %.*s", static_cast<int>(len > 512 ? 512 : len), text);
    DecimalDigits d;
    if (int rc = ParseDecimal(text, text + (len > 0 ? len : 0), &d))
        return Fail(err, rc);
    int64_t count = d.nInt + d.nFrac;
    int reportPrecision = count > 255 ? 255 : static_cast<int>(count);
    return DecimalToNumeric(d, false, scale, precision, reportPrecision, out, err);
}

int CharToGuid(const char *text, int64_t len, SQLGUID *out, int32_t *err)
{
    std::memset(out, 0, sizeof *out);
    if (len != 36)
        return Fail(err, ERR_STRING_LENGTH_MISMATCH);
    uint8_t nibbles[32];
    int n = 0;
    for (int i = 0; i < 36; ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-')
                return Fail(err, ERR_ASSIGNMENT);
            continue;
        }
        int v = HexCharValue(static_cast<unsigned char>(text[i]));
        if (v < 0)
            return Fail(err, ERR_ASSIGNMENT);
        nibbles[n++] = static_cast<uint8_t>(v);
    }
    auto hex = [&](int from, int count) {
        uint32_t v = 0;
        for (int i = 0; i < count; ++i)
            v = v << 4 | nibbles[from + i];
        return v;
    };
    out->Data1 = hex(0, 8);
    out->Data2 = static_cast<uint16_t>(hex(8, 4));
    out->Data3 = static_cast<uint16_t>(hex(12, 4));
    for (int i = 0; i < 8; ++i)
        out->Data4[i] = static_cast<uint8_t>(hex(16 + 2 * i, 2));
    return 0;
}

int WCharToNumber(const SQLWCHAR *text, int64_t len, int64_t lo, int64_t hi, int32_t *out, int32_t *err)
{
    CONV_TRACE("WCharToNumber");
    return OnUtf8Copy(text, len, err, [&](const char *s, int64_t n) { return CharToNumber(s, n, lo, hi, out, err); });
}

int WCharToNumber64(const SQLWCHAR *text, int64_t len, int64_t lo, int64_t hi, int64_t *out, int32_t *err)
{
    CONV_TRACE("WCharToNumber64");
    return OnUtf8Copy(text, len, err, [&](const char *s, int64_t n) { return CharToNumber64(s, n, lo, hi, out, err); });
}

int WCharToUNumber64(const SQLWCHAR *text, int64_t len, uint64_t *out, int32_t *err)
{
    CONV_TRACE("WCharToNumber64");
    return OnUtf8Copy(text, len, err, [&](const char *s, int64_t n) { return CharToUNumber64(s, n, out, err); });
}

int WCharToDecimal(const SQLWCHAR *text, int64_t len, double *out, int32_t *err)
{
    CONV_TRACE("WCharToDecimal");
    return OnUtf8Copy(text, len, err, [&](const char *s, int64_t n) { return CharToDecimal(s, n, out, err); });
}

int WCharToNumeric(const SQLWCHAR *text, int64_t len, SQL_NUMERIC_STRUCT *out, int scale, int precision,
                   int32_t *err)
{
    CONV_TRACE("WCharToNumeric");
    return OnUtf8Copy(text, len, err, [&](const char *s, int64_t n) {
        return CharToNumeric(s, n, out, scale, precision, err);
    });
}

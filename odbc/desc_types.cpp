// Type rules of descriptor records.
#include "odbc/desc_types.h"

#include <cstddef>
#include <cstdint>

#include "odbc/contract/errnum.h"

namespace {

struct Range {
    int16_t lo, hi;
};

template <size_t N>
bool In(int16_t t, const Range (&ranges)[N])
{
    for (const Range &r : ranges)
        if (t >= r.lo && t <= r.hi)
            return true;
    return false;
}

bool IsInterval(int16_t t) { return t >= 101 && t <= 113; }

// ---- read-side rules ----

const Range kLenCharTypes[] = {{-9, -8}, {1, 1}, {12, 12}};
const Range kLenFixedTypes[] = {{-28, -25}, {-18, -15}, {-7, -5}, {-3, -2},
                                {2, 11},    {91, 93},   {101, 113}};

struct OctetRow {
    Range range;
    int32_t fixed;   // the answer, unless bySize
    int32_t bySize;  // 1: size, 2: size + 2
};
const OctetRow kOctetRows[] = {
    {{-28, -28}, 1, 0}, {{-26, -26}, 1, 0},  {{-6, -6}, 1, 0},
    {{-27, -27}, 20, 0}, {{-25, -25}, 20, 0}, {{-5, -5}, 20, 0},
    {{-18, -18}, 4, 0}, {{-16, -16}, 4, 0},  {{4, 4}, 4, 0},    {{7, 7}, 4, 0},
    {{-17, -17}, 2, 0}, {{-15, -15}, 2, 0},  {{5, 5}, 2, 0},
    {{-10, -8}, 0, 1},  {{-4, -1}, 0, 1},    {{1, 1}, 0, 1},    {{12, 12}, 0, 1},
    {{2, 3}, 0, 2},
    {{6, 6}, 8, 0},     {{8, 8}, 8, 0},
    {{9, 10}, 6, 0},    {{91, 92}, 6, 0},
    {{11, 11}, 16, 0},  {{93, 93}, 16, 0},
    {{101, 113}, 34, 0},
};

const Range kPrecBySize[] = {{-28, -25}, {-18, -15}, {-6, -5}, {2, 8}};
const Range kPrecByDigits[] = {{10, 11}, {92, 93}, {106, 106}};
const Range kSignedCTypes[] = {{-26, -25}, {-16, -15}};
const Range kNumericSqlTypes[] = {{-6, -5}, {2, 8}};
const Range kRadix10[] = {{-28, -25}, {-18, -15}, {-6, -5}, {2, 5}};
const Range kRadix2[] = {{6, 8}};

// ---- write-side tables ----

constexpr int16_t kKeep = -32768;  // the field stays as it is
constexpr int16_t kSame = 32767;   // the value being set

// Effects shared by TYPE = t and CONCISE_TYPE = c on the simple types.
struct TypeEffect {
    Range range;
    int16_t precision;  // kKeep or the new precision
    bool length1;       // LENGTH = 1
    bool scale0;        // SCALE = 0
};
const TypeEffect kSimpleTypes[] = {
    {{-10, -8}, 0, true, false}, {{-1, -1}, 0, true, false},
    {{1, 1}, 0, true, false},    {{12, 12}, 0, true, false},
    {{2, 3}, 38, false, true},
    {{6, 6}, 53, false, false},
    {{7, 7}, 24, false, false},
    {{4, 5}, kKeep, false, false}, {{8, 8}, kKeep, false, false},
    {{-28, -25}, kKeep, false, false}, {{-18, -15}, kKeep, false, false},
    {{-7, -2}, kKeep, false, false},
};

const TypeEffect *FindSimple(int16_t t)
{
    for (const TypeEffect &e : kSimpleTypes)
        if (t >= e.range.lo && t <= e.range.hi)
            return &e;
    return nullptr;
}

void ApplySimple(DescTypeFields *f, const TypeEffect &e)
{
    if (e.precision != kKeep)
        f->precision = e.precision;
    if (e.length1)
        f->length = 1;
    if (e.scale0)
        f->scale = 0;
}

// CONCISE_TYPE of the date/time and interval types: TYPE, code, precision.
struct DatetimeRow {
    Range range;
    int16_t type;
    int16_t dic;        // kSame: c - 100
    int16_t precision;  // kKeep or the new precision
    bool dip2;          // DATETIME_INTERVAL_PRECISION = 2
};
const DatetimeRow kDatetimeConcise[] = {
    {{9, 9}, 9, 1, 0, false},        {{91, 91}, 9, 1, 0, false},
    {{10, 10}, 9, 2, 0, false},      {{92, 92}, 9, 2, 0, false},
    {{11, 11}, 9, 3, 6, false},      {{93, 93}, 9, 3, 6, false},
    {{101, 105}, 10, kSame, kKeep, true}, {{107, 109}, 10, kSame, kKeep, true},
    {{111, 111}, 10, kSame, kKeep, true},
    {{106, 106}, 10, kSame, 6, true}, {{110, 110}, 10, kSame, 6, true},
    {{112, 113}, 10, kSame, 6, true},
};

// Interval codes whose concise type carries seconds: PRECISION 6.
bool IntervalHasSeconds(int16_t code) { return code == 6 || code == 10 || code == 12 || code == 13; }

} // namespace

int16_t DescVerboseType(int16_t t)
{
    if ((t >= 9 && t <= 11) || (t >= 91 && t <= 93))
        return 9;
    if (IsInterval(t))
        return 10;
    return t;
}

int16_t DescIntervalCode(int16_t t)
{
    if (t == 9 || t == 91)
        return 1;
    if (t == 10 || t == 92)
        return 2;
    if (t == 11 || t == 93)
        return 3;
    if (IsInterval(t))
        return static_cast<int16_t>(t - 100);
    return 0;
}

uint64_t DescLengthRule(int16_t t, int64_t a, int64_t b)
{
    if (In(t, kLenCharTypes))
        return static_cast<uint64_t>(b);
    if (In(t, kLenFixedTypes))
        return static_cast<uint64_t>(a);
    return 0;
}

int32_t DescOctetLengthRule(int16_t t, int64_t size)
{
    for (const OctetRow &r : kOctetRows) {
        if (t < r.range.lo || t > r.range.hi)
            continue;
        // A size beyond the field's range reads as its largest value.
        const int64_t octets = r.bySize == 2 ? size + 2 : size;
        if (r.bySize == 1 || r.bySize == 2)
            return octets > INT32_MAX ? INT32_MAX : static_cast<int32_t>(octets);
        return r.fixed;
    }
    return 0;
}

int16_t DescPrecisionRule(int16_t t, int64_t columnSize, int16_t digits)
{
    if (In(t, kPrecBySize))
        return static_cast<int16_t>(columnSize);
    if (In(t, kPrecByDigits))
        return digits;
    return 0;
}

// Signed C types and every numeric SQL type (PostgreSQL has no unsigned
// numbers) read 0; everything else is "unsigned or not a number", 1.
int16_t DescUnsignedRule(int16_t t) { return In(t, kSignedCTypes) || In(t, kNumericSqlTypes) ? 0 : 1; }

int32_t DescRadixRule(int16_t t)
{
    if (In(t, kRadix10))
        return 10;
    if (In(t, kRadix2))
        return 2;
    return 0;
}

int DescApplyType(DescTypeFields *f, int16_t t)
{
    DescTypeFields n = *f;
    n.type = t;
    if (t == 99) {
        n.concise = t;
    } else if (const TypeEffect *e = FindSimple(t)) {
        n.concise = t;
        ApplySimple(&n, *e);
    } else if (t == 9) {
        if (n.dic >= 1 && n.dic <= 3) {
            n.concise = static_cast<int16_t>(90 + n.dic);
            n.precision = n.dic == 3 ? 6 : 0;
        }
    } else if (t == 10) {
        if (n.dic >= 1 && n.dic <= 13) {
            n.concise = static_cast<int16_t>(100 + n.dic);
            n.dip = 2;
            if (IntervalHasSeconds(n.dic))
                n.precision = 6;
        }
    } else {
        return ERR_OPTION_TYPE_RANGE;
    }
    *f = n;
    return 0;
}

int DescApplyConciseType(DescTypeFields *f, int16_t c)
{
    DescTypeFields n = *f;
    n.concise = c;
    if (c == 99) {
        n.type = 99;
    } else if (const TypeEffect *e = FindSimple(c)) {
        n.type = c;
        n.dic = 0;
        ApplySimple(&n, *e);
    } else {
        const DatetimeRow *row = nullptr;
        for (const DatetimeRow &r : kDatetimeConcise)
            if (c >= r.range.lo && c <= r.range.hi)
                row = &r;
        if (!row)
            return ERR_OPTION_TYPE_RANGE;
        n.type = row->type;
        n.dic = row->dic == kSame ? static_cast<int16_t>(c - 100) : row->dic;
        if (row->precision != kKeep)
            n.precision = row->precision;
        if (row->dip2)
            n.dip = 2;
    }
    *f = n;
    return 0;
}

int DescApplyIntervalCode(DescTypeFields *f, int16_t code)
{
    DescTypeFields n = *f;
    n.dic = code;
    if (n.type == 9) {
        if (code < 1 || code > 3)
            return ERR_OPTION_TYPE_RANGE;
        n.concise = static_cast<int16_t>(code + 90);
    } else if (n.type == 10) {
        if (code < 1 || code > 13)
            return ERR_OPTION_TYPE_RANGE;
        n.concise = static_cast<int16_t>(code + 100);
    }
    *f = n;
    return 0;
}

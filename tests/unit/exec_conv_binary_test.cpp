// Binary, date, time and timestamp sources into every C type; clearing a
// NULL's target; C-type sizes and names.
#include <string>

#include "exec_conv_test_util.h"
#include "odbc/contract/rowblock.h"

namespace {

const ::testing::Environment *const kCodePage = ::testing::AddGlobalTestEnvironment(new Utf8CodePage);

const Expect kRestricted = {{}, kNotWritten, "07006", SQL_ERROR};
const Expect kRange = {{}, kNotWritten, "22003", SQL_ERROR};

std::string CaseName(const char *label)
{
    std::string n = label;
    for (char &ch : n)
        if (!isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return n;
}

// The first n bytes.
Bytes Head(const Bytes &b, size_t n)
{
    return Bytes(b.begin(), b.begin() + static_cast<long>(n));
}

bool Variable(int16_t cType, const Expect &e)
{
    return (cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY) && e.rc != SQL_ERROR;
}

// ---- Binary -----------------------------------------------------------------

struct BinCase {
    const char *label;
    Bytes src;
    int64_t total;   // 0: the value's length
    int16_t cType;
    SQLLEN bufLen;
    Expect expect;
};

const BinCase kBinCases[] = {
    {"hex", {0x0A, 0xFF}, 0, SQL_C_CHAR, 10, {Txt("0AFF"), 4, "", SQL_SUCCESS}},
    {"hex cut", {0x0A, 0xFF}, 0, SQL_C_CHAR, 4, {Txt("0A"), 4, "01004", SQL_SUCCESS_WITH_INFO}},
    {"hex exact", {0x0A, 0xFF}, 0, SQL_C_CHAR, 5, {Txt("0AFF"), 4, "", SQL_SUCCESS}},
    {"hex one byte buffer", {0x0A}, 0, SQL_C_CHAR, 1, {Txt(""), 2, "01004", SQL_SUCCESS_WITH_INFO}},
    {"hex zero buffer", {0x0A}, 0, SQL_C_CHAR, 0, {{}, 2, "01004", SQL_SUCCESS_WITH_INFO}},
    {"hex piece of longer", {0x01}, 3, SQL_C_CHAR, 10, {Txt("01"), 6, "01004", SQL_SUCCESS_WITH_INFO}},
    {"wide hex", {0x0A, 0xFF}, 0, SQL_C_WCHAR, 20, {Wtxt(u"0AFF"), 8, "", SQL_SUCCESS}},
    {"wide hex cut", {0x0A, 0xFF}, 0, SQL_C_WCHAR, 6, {Wtxt(u"0A"), 8, "01004", SQL_SUCCESS_WITH_INFO}},
    {"wide hex one byte", {0x0A}, 0, SQL_C_WCHAR, 1, {{}, 4, "01004", SQL_SUCCESS_WITH_INFO}},
    {"binary", {1, 2, 3}, 0, SQL_C_BINARY, 3, {{1, 2, 3}, 3, "", SQL_SUCCESS}},
    {"binary cut", {1, 2, 3}, 0, SQL_C_BINARY, 2, {{1, 2}, 3, "01004", SQL_SUCCESS_WITH_INFO}},
    {"binary empty", {}, 0, SQL_C_BINARY, 2, {{}, 0, "", SQL_SUCCESS}},
    {"long", {1, 0, 0, 0}, 0, SQL_C_LONG, 0, kRestricted},
    {"bit", {1}, 0, SQL_C_BIT, 0, kRestricted},
    {"double", {0, 0, 0, 0, 0, 0, 0, 0}, 0, SQL_C_DOUBLE, 0, kRestricted},
    {"numeric", {1}, 0, SQL_C_NUMERIC, 0, kRestricted},
    {"guid", Bytes(16, 1), 0, SQL_C_GUID, 0, kRestricted},
    {"date", Bytes(6, 1), 0, SQL_C_TYPE_DATE, 0, kRestricted},
    {"timestamp", Bytes(16, 1), 0, SQL_C_TIMESTAMP, 0, kRestricted},
    {"time", Bytes(6, 1), 0, SQL_C_TYPE_TIME, 0, kRestricted},
    {"unknown", {1}, 0, 1234, 0, kRestricted},
};

class BinarySource : public ::testing::TestWithParam<BinCase> {};

TEST_P(BinarySource, Converts)
{
    const BinCase &c = GetParam();
    const int64_t len = static_cast<int64_t>(c.src.size());
    Outcome o = RunConv(c.bufLen, [&](ConvTarget &t) {
        return ConvertBINARY(c.src.data(), len, c.total ? c.total : len, c.cType, t);
    });
    CheckOutcome(o, c.expect, Variable(c.cType, c.expect));
}

INSTANTIATE_TEST_SUITE_P(Matrix, BinarySource, ::testing::ValuesIn(kBinCases),
                         [](const ::testing::TestParamInfo<BinCase> &i) { return CaseName(i.param.label); });

// ---- Date, time, timestamp ----------------------------------------------------

void FixedToday(DATE_STRUCT *out)
{
    *out = DATE_STRUCT{2030, 7, 4};
}

enum DtKind { DT_DATE, DT_TIME, DT_TIMESTAMP };

struct DtCase {
    const char *label;
    DtKind kind;
    TIMESTAMP_STRUCT v;   // the date or time fields of it for DATE and TIME
    uint16_t scale;
    int16_t cType;
    SQLLEN bufLen;
    Expect expect;
};

// A RowBlock date or timestamp element whose year may lie beyond the 16-bit field.
TIMESTAMP_STRUCT Element(int32_t year, uint16_t month, uint16_t day, uint16_t hour = 0, uint16_t minute = 0,
                         uint16_t second = 0, uint32_t fraction = 0)
{
    TIMESTAMP_STRUCT ts{0, 0, day, hour, minute, second, fraction};
    RB_PutYearMonth(year, month, &ts.year, &ts.month);
    return ts;
}

const Expect kOverflow = {{}, kNotWritten, "22008", SQL_ERROR};

const TIMESTAMP_STRUCT kTs = {2024, 1, 2, 3, 4, 5, 5000000};
const TIMESTAMP_STRUCT kDay = {2024, 3, 15, 0, 0, 0, 0};
const TIMESTAMP_STRUCT kTime = {0, 0, 0, 10, 20, 30, 0};

const DtCase kDtCases[] = {
    // DATE.
    {"date text", DT_DATE, kDay, 0, SQL_C_CHAR, 11, {Txt("2024-03-15"), 10, "", SQL_SUCCESS}},
    {"date text short", DT_DATE, kDay, 0, SQL_C_CHAR, 10, kRange},
    {"date wide text", DT_DATE, kDay, 0, SQL_C_WCHAR, 22, {Wtxt(u"2024-03-15"), 20, "", SQL_SUCCESS}},
    {"date wide text short", DT_DATE, kDay, 0, SQL_C_WCHAR, 21, kRange},
    {"date negative year", DT_DATE, {-44, 3, 15, 0, 0, 0, 0}, 0, SQL_C_CHAR, 12, {Txt("-0044-03-15"), 11, "", SQL_SUCCESS}},
    {"date negative year short", DT_DATE, {-44, 3, 15, 0, 0, 0, 0}, 0, SQL_C_CHAR, 11, kRange},
    {"date five-digit year", DT_DATE, {12345, 1, 2, 0, 0, 0, 0}, 0, SQL_C_CHAR, 20, {Txt("12345-01-02"), 11, "", SQL_SUCCESS}},
    {"date struct", DT_DATE, kDay, 0, SQL_C_TYPE_DATE, 0, {Val(DATE_STRUCT{2024, 3, 15}), 6, "", SQL_SUCCESS}},
    {"date odbc2 struct", DT_DATE, kDay, 0, SQL_C_DATE, 0, {Val(DATE_STRUCT{2024, 3, 15}), 6, "", SQL_SUCCESS}},
    {"date to timestamp", DT_DATE, kDay, 0, SQL_C_TYPE_TIMESTAMP, 0, {Val(TIMESTAMP_STRUCT{2024, 3, 15, 0, 0, 0, 0}), 16, "", SQL_SUCCESS}},
    {"date binary", DT_DATE, kDay, 0, SQL_C_BINARY, 6, {Val(DATE_STRUCT{2024, 3, 15}), 6, "", SQL_SUCCESS}},
    {"date binary cut", DT_DATE, kDay, 0, SQL_C_BINARY, 4, {Head(Val(DATE_STRUCT{2024, 3, 15}), 4), 6, "01004", SQL_SUCCESS_WITH_INFO}},
    {"date to time", DT_DATE, kDay, 0, SQL_C_TYPE_TIME, 0, kRestricted},
    {"date to long", DT_DATE, kDay, 0, SQL_C_LONG, 0, kRestricted},
    {"date to bit", DT_DATE, kDay, 0, SQL_C_BIT, 0, kRestricted},
    {"date to numeric", DT_DATE, kDay, 0, SQL_C_NUMERIC, 0, kRestricted},
    {"date to guid", DT_DATE, kDay, 0, SQL_C_GUID, 0, kRestricted},
    {"date to unknown", DT_DATE, kDay, 0, 1234, 0, kRestricted},
    {"date to double", DT_DATE, kDay, 0, SQL_C_DOUBLE, 0, kRestricted},
    // Years beyond the 16-bit field: whole as text, refused by the structs.
    {"date year 32767 struct", DT_DATE, Element(32767, 12, 31), 0, SQL_C_TYPE_DATE, 0, {Val(DATE_STRUCT{32767, 12, 31}), 6, "", SQL_SUCCESS}},
    {"date year 40000 text", DT_DATE, Element(40000, 1, 1), 0, SQL_C_CHAR, 12, {Txt("40000-01-01"), 11, "", SQL_SUCCESS}},
    {"date year 40000 text short", DT_DATE, Element(40000, 1, 1), 0, SQL_C_CHAR, 11, kRange},
    {"date year 40000 wide text", DT_DATE, Element(40000, 1, 1), 0, SQL_C_WCHAR, 24, {Wtxt(u"40000-01-01"), 22, "", SQL_SUCCESS}},
    {"date year 5874897 text", DT_DATE, Element(5874897, 12, 31), 0, SQL_C_CHAR, 20, {Txt("5874897-12-31"), 13, "", SQL_SUCCESS}},
    {"date year -40000 text", DT_DATE, Element(-40000, 2, 3), 0, SQL_C_CHAR, 20, {Txt("-40000-02-03"), 12, "", SQL_SUCCESS}},
    {"date year 40000 struct", DT_DATE, Element(40000, 1, 1), 0, SQL_C_TYPE_DATE, 0, kOverflow},
    {"date year 40000 odbc2 struct", DT_DATE, Element(40000, 1, 1), 0, SQL_C_DATE, 0, kOverflow},
    {"date year 40000 to timestamp", DT_DATE, Element(40000, 1, 1), 0, SQL_C_TYPE_TIMESTAMP, 0, kOverflow},
    {"date year 40000 binary", DT_DATE, Element(40000, 1, 1), 0, SQL_C_BINARY, 6, kOverflow},
    {"date year 40000 to long", DT_DATE, Element(40000, 1, 1), 0, SQL_C_LONG, 0, kRestricted},
    {"date infinity text", DT_DATE, Element(RB_YEAR_MAX, 1, 1), 0, SQL_C_CHAR, 20, {Txt("infinity"), 8, "", SQL_SUCCESS}},
    {"date minus infinity wide text", DT_DATE, Element(RB_YEAR_MIN, 1, 1), 0, SQL_C_WCHAR, 40, {Wtxt(u"-infinity"), 18, "", SQL_SUCCESS}},
    {"date infinity struct", DT_DATE, Element(RB_YEAR_MAX, 1, 1), 0, SQL_C_TYPE_DATE, 0, kOverflow},
    // TIME.
    {"time text", DT_TIME, kTime, 0, SQL_C_CHAR, 9, {Txt("10:20:30"), 8, "", SQL_SUCCESS}},
    {"time text short", DT_TIME, kTime, 0, SQL_C_CHAR, 8, kRange},
    {"time wide text", DT_TIME, kTime, 0, SQL_C_WCHAR, 18, {Wtxt(u"10:20:30"), 16, "", SQL_SUCCESS}},
    {"time struct", DT_TIME, kTime, 0, SQL_C_TYPE_TIME, 0, {Val(TIME_STRUCT{10, 20, 30}), 6, "", SQL_SUCCESS}},
    {"time odbc2 struct", DT_TIME, kTime, 0, SQL_C_TIME, 0, {Val(TIME_STRUCT{10, 20, 30}), 6, "", SQL_SUCCESS}},
    {"time to timestamp takes today", DT_TIME, kTime, 0, SQL_C_TYPE_TIMESTAMP, 0,
     {Val(TIMESTAMP_STRUCT{2030, 7, 4, 10, 20, 30, 0}), 16, "", SQL_SUCCESS}},
    {"time binary", DT_TIME, kTime, 0, SQL_C_BINARY, 8, {Val(TIME_STRUCT{10, 20, 30}), 6, "", SQL_SUCCESS}},
    {"time to date", DT_TIME, kTime, 0, SQL_C_TYPE_DATE, 0, kRestricted},
    {"time to double", DT_TIME, kTime, 0, SQL_C_DOUBLE, 0, kRestricted},
    {"time to sbigint", DT_TIME, kTime, 0, SQL_C_SBIGINT, 0, kRestricted},
    {"time to bit", DT_TIME, kTime, 0, SQL_C_BIT, 0, kRestricted},
    {"time to numeric", DT_TIME, kTime, 0, SQL_C_NUMERIC, 0, kRestricted},
    {"time to guid", DT_TIME, kTime, 0, SQL_C_GUID, 0, kRestricted},
    {"time to unknown", DT_TIME, kTime, 0, 1234, 0, kRestricted},
    // TIMESTAMP.
    {"ts text scale 3", DT_TIMESTAMP, kTs, 3, SQL_C_CHAR, 40, {Txt("2024-01-02 03:04:05.005"), 23, "", SQL_SUCCESS}},
    {"ts text zero fraction", DT_TIMESTAMP, {2024, 1, 2, 3, 4, 5, 0}, 3, SQL_C_CHAR, 40, {Txt("2024-01-02 03:04:05.000"), 23, "", SQL_SUCCESS}},
    {"ts text scale 0", DT_TIMESTAMP, kTs, 0, SQL_C_CHAR, 40, {Txt("2024-01-02 03:04:05"), 19, "", SQL_SUCCESS}},
    {"ts text more digits", DT_TIMESTAMP, {2024, 1, 2, 3, 4, 5, 123456000}, 3, SQL_C_CHAR, 40, {Txt("2024-01-02 03:04:05.123456"), 26, "", SQL_SUCCESS}},
    {"ts text scale 9", DT_TIMESTAMP, {2024, 1, 2, 3, 4, 5, 1}, 9, SQL_C_CHAR, 40, {Txt("2024-01-02 03:04:05.000000001"), 29, "", SQL_SUCCESS}},
    {"ts text cut", DT_TIMESTAMP, kTs, 0, SQL_C_CHAR, 11, {Txt("2024-01-02"), 19, "01004", SQL_SUCCESS_WITH_INFO}},
    {"ts negative year", DT_TIMESTAMP, {-1, 1, 1, 0, 0, 0, 0}, 0, SQL_C_CHAR, 40, {Txt("-0001-01-01 00:00:00"), 20, "", SQL_SUCCESS}},
    {"ts wide text", DT_TIMESTAMP, kTs, 0, SQL_C_WCHAR, 60, {Wtxt(u"2024-01-02 03:04:05"), 38, "", SQL_SUCCESS}},
    {"ts to date", DT_TIMESTAMP, kTs, 0, SQL_C_TYPE_DATE, 0, {Val(DATE_STRUCT{2024, 1, 2}), 6, "", SQL_SUCCESS}},
    {"ts to time", DT_TIMESTAMP, kTs, 0, SQL_C_TIME, 0, {Val(TIME_STRUCT{3, 4, 5}), 6, "", SQL_SUCCESS}},
    {"ts struct", DT_TIMESTAMP, kTs, 0, SQL_C_TIMESTAMP, 0, {Val(kTs), 16, "", SQL_SUCCESS}},
    {"ts binary", DT_TIMESTAMP, kTs, 0, SQL_C_BINARY, 16, {Val(kTs), 16, "", SQL_SUCCESS}},
    {"ts binary cut", DT_TIMESTAMP, kTs, 0, SQL_C_BINARY, 8, {Head(Val(kTs), 8), 16, "01004", SQL_SUCCESS_WITH_INFO}},
    {"ts to numeric", DT_TIMESTAMP, kTs, 0, SQL_C_NUMERIC, 0, kRestricted},
    {"ts to guid", DT_TIMESTAMP, kTs, 0, SQL_C_GUID, 0, kRestricted},
    {"ts to float", DT_TIMESTAMP, kTs, 0, SQL_C_FLOAT, 0, kRestricted},
    {"ts to utinyint", DT_TIMESTAMP, kTs, 0, SQL_C_UTINYINT, 0, kRestricted},
    {"ts to bit", DT_TIMESTAMP, kTs, 0, SQL_C_BIT, 0, kRestricted},
    {"ts to unknown", DT_TIMESTAMP, kTs, 0, 1234, 0, kRestricted},
    // Years beyond the 16-bit field.
    {"ts year 118085 text", DT_TIMESTAMP, Element(118085, 6, 9, 8, 19, 11), 0, SQL_C_CHAR, 40, {Txt("118085-06-09 08:19:11"), 21, "", SQL_SUCCESS}},
    {"ts year 118085 text scale 6", DT_TIMESTAMP, Element(118085, 6, 9, 8, 19, 11, 500000000), 6, SQL_C_CHAR, 40, {Txt("118085-06-09 08:19:11.500000"), 28, "", SQL_SUCCESS}},
    {"ts year 118085 text cut", DT_TIMESTAMP, Element(118085, 6, 9, 8, 19, 11), 0, SQL_C_CHAR, 11, {Txt("118085-06-"), 21, "01004", SQL_SUCCESS_WITH_INFO}},
    {"ts year 118085 wide text", DT_TIMESTAMP, Element(118085, 6, 9, 8, 19, 11), 0, SQL_C_WCHAR, 60, {Wtxt(u"118085-06-09 08:19:11"), 42, "", SQL_SUCCESS}},
    {"ts year 118085 struct", DT_TIMESTAMP, Element(118085, 6, 9, 8, 19, 11), 0, SQL_C_TYPE_TIMESTAMP, 0, kOverflow},
    {"ts year 118085 odbc2 struct", DT_TIMESTAMP, Element(118085, 6, 9, 8, 19, 11), 0, SQL_C_TIMESTAMP, 0, kOverflow},
    {"ts year 118085 to date", DT_TIMESTAMP, Element(118085, 6, 9, 8, 19, 11), 0, SQL_C_TYPE_DATE, 0, kOverflow},
    {"ts year 118085 to time", DT_TIMESTAMP, Element(118085, 6, 9, 8, 19, 11), 0, SQL_C_TYPE_TIME, 0, {Val(TIME_STRUCT{8, 19, 11}), 6, "", SQL_SUCCESS}},
    {"ts year 118085 binary", DT_TIMESTAMP, Element(118085, 6, 9, 8, 19, 11), 0, SQL_C_BINARY, 16, kOverflow},
    {"ts infinity text", DT_TIMESTAMP, Element(RB_YEAR_MAX, 1, 1), 6, SQL_C_CHAR, 40, {Txt("infinity"), 8, "", SQL_SUCCESS}},
    {"ts minus infinity text", DT_TIMESTAMP, Element(RB_YEAR_MIN, 1, 1), 0, SQL_C_CHAR, 40, {Txt("-infinity"), 9, "", SQL_SUCCESS}},
    {"ts infinity to time", DT_TIMESTAMP, Element(RB_YEAR_MAX, 1, 1), 0, SQL_C_TYPE_TIME, 0, kOverflow},
};

class DateTimeSource : public ::testing::TestWithParam<DtCase> {
protected:
    void SetUp() override { CONV_SetTodayHook(FixedToday); }
    void TearDown() override { CONV_SetTodayHook(nullptr); }
};

TEST_P(DateTimeSource, Converts)
{
    const DtCase &c = GetParam();
    Outcome o = RunConv(c.bufLen, [&](ConvTarget &t) {
        switch (c.kind) {
        case DT_DATE:
            return ConvertDATE(DATE_STRUCT{c.v.year, c.v.month, c.v.day}, c.cType, t);
        case DT_TIME:
            return ConvertTIME(TIME_STRUCT{c.v.hour, c.v.minute, c.v.second}, c.cType, t);
        default:
            return ConvertTIMESTAMP(c.v, c.cType, t, c.scale);
        }
    });
    CheckOutcome(o, c.expect, Variable(c.cType, c.expect));
}

INSTANTIATE_TEST_SUITE_P(Matrix, DateTimeSource, ::testing::ValuesIn(kDtCases),
                         [](const ::testing::TestParamInfo<DtCase> &i) { return CaseName(i.param.label); });

TEST(DateTime, TodayComesFromTheClock)
{
    DATE_STRUCT d{};
    CONV_Today(&d);
    EXPECT_GE(d.year, 2024);
    EXPECT_GE(d.month, 1);
    EXPECT_LE(d.month, 12);
    EXPECT_GE(d.day, 1);
    EXPECT_LE(d.day, 31);
}

// ---- C-type helpers -------------------------------------------------------------

TEST(CTypes, SizesAndNames)
{
    struct Row {
        int16_t cType;
        int16_t size;
        const char *name;
    } rows[] = {
        {SQL_C_BIT, 1, "SQL_C_BIT"},          {SQL_C_UTINYINT, 1, "SQL_C_UTINYINT"},
        {SQL_C_SSHORT, 2, "SQL_C_SSHORT"},    {SQL_C_ULONG, 4, "SQL_C_ULONG"},
        {SQL_C_FLOAT, 4, "SQL_C_FLOAT"},      {SQL_C_DOUBLE, 8, "SQL_C_DOUBLE"},
        {SQL_C_SBIGINT, 8, "SQL_C_SBIGINT"},  {SQL_C_TYPE_DATE, 6, "SQL_C_TYPE_DATE"},
        {SQL_C_TIME, 6, "SQL_C_TIME"},        {SQL_C_TIMESTAMP, 16, "SQL_C_TIMESTAMP"},
        {SQL_C_GUID, 16, "SQL_C_GUID"},       {SQL_C_NUMERIC, 19, "SQL_C_NUMERIC"},
        {SQL_C_CHAR, 0, "SQL_C_CHAR"},        {SQL_C_WCHAR, 0, "SQL_C_WCHAR"},
        {SQL_C_BINARY, 0, "SQL_C_BINARY"},    {1234, 0, "(unknown type)"},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(CTypeSize(r.cType), r.size) << r.name;
        EXPECT_STREQ(CTypeName(r.cType), r.name);
    }
}

TEST(CTypes, ClearTarget)
{
    struct Row {
        int16_t cType;
        SQLLEN bufLen;
        size_t cleared;
    } rows[] = {
        {SQL_C_CHAR, 20, 20},      {SQL_C_GUID, 24, 24},     {SQL_C_LONG, 20, 4},  {SQL_C_BIT, 20, 1},
        {SQL_C_DOUBLE, 2, 8},      {SQL_C_NUMERIC, 0, 19},   {SQL_C_TYPE_TIMESTAMP, 0, 16},
        {SQL_C_BINARY, 0, 0},      {SQL_C_TIME, 0, 6},
    };
    for (const Row &r : rows) {
        Bytes buf(40, kGuard);
        ClearTarget(buf.data(), r.bufLen, r.cType);
        for (size_t i = 0; i < buf.size(); ++i)
            ASSERT_EQ(buf[i], i < r.cleared ? 0 : kGuard) << CTypeName(r.cType) << " byte " << i;
    }
    ClearTarget(nullptr, 10, SQL_C_CHAR);  // nothing to clear
}

} // namespace

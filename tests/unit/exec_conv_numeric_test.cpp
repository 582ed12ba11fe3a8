// Numeric sources (8-, 16- and 32-bit integers, FLOAT, DOUBLE) into every C
// type, and the double and integer to SQL_NUMERIC_STRUCT conversions.
#include <cmath>
#include <limits>
#include <string>

#include "exec_conv_test_util.h"

namespace {

const ::testing::Environment *const kCodePage = ::testing::AddGlobalTestEnvironment(new Utf8CodePage);

enum Source { S_LONG, S_ULONG, S_SHORT, S_USHORT, S_BYTE, S_UBYTE, S_FLOAT, S_DOUBLE };

struct NumCase {
    const char *label;
    Source source;
    double value;   // exact for every integer used here
    int16_t cType;
    SQLLEN bufLen;
    Expect expect;
    int scale = 0;
    int precision = 0;
};

SQLRETURN ConvertSource(const NumCase &c, ConvTarget &t)
{
    switch (c.source) {
    case S_LONG:
        return ConvertLONG(static_cast<uint32_t>(static_cast<int32_t>(c.value)), true, c.cType, t, c.scale, c.precision);
    case S_ULONG:
        return ConvertLONG(static_cast<uint32_t>(c.value), false, c.cType, t, c.scale, c.precision);
    case S_SHORT:
        return ConvertSHORT(static_cast<uint16_t>(static_cast<int16_t>(c.value)), true, c.cType, t, c.scale,
                            c.precision);
    case S_USHORT:
        return ConvertSHORT(static_cast<uint16_t>(c.value), false, c.cType, t, c.scale, c.precision);
    case S_BYTE:
        return ConvertBYTE(static_cast<uint8_t>(static_cast<int8_t>(c.value)), true, c.cType, t, c.scale, c.precision);
    case S_UBYTE:
        return ConvertBYTE(static_cast<uint8_t>(c.value), false, c.cType, t, c.scale, c.precision);
    case S_FLOAT:
        return ConvertFLOAT(static_cast<float>(c.value), c.cType, t, c.scale, c.precision);
    case S_DOUBLE:
        return ConvertDOUBLE(c.value, c.cType, t, c.scale, c.precision);
    }
    return SQL_ERROR;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const Expect kRange = {{}, kNotWritten, "22003", SQL_ERROR};
const Expect kRestricted = {{}, kNotWritten, "07006", SQL_ERROR};

const NumCase kCases[] = {
    // Text.
    {"long text", S_LONG, -42, SQL_C_CHAR, 10, {Txt("-42"), 3, "", SQL_SUCCESS}},
    {"long text cut", S_LONG, 12345, SQL_C_CHAR, 3, {Txt("12"), 5, "01004", SQL_SUCCESS_WITH_INFO}},
    {"ulong text", S_ULONG, 4294967295.0, SQL_C_CHAR, 20, {Txt("4294967295"), 10, "", SQL_SUCCESS}},
    {"short wide text", S_SHORT, -5, SQL_C_WCHAR, 10, {Wtxt(u"-5"), 4, "", SQL_SUCCESS}},
    {"ubyte text", S_UBYTE, 200, SQL_C_CHAR, 10, {Txt("200"), 3, "", SQL_SUCCESS}},
    {"double text", S_DOUBLE, 0.1, SQL_C_CHAR, 30, {Txt("0.10000000000000001"), 19, "", SQL_SUCCESS}},
    {"double text short", S_DOUBLE, 123.456, SQL_C_CHAR, 30, {Txt("123.456"), 7, "", SQL_SUCCESS}},
    {"double text exponent", S_DOUBLE, 1e20, SQL_C_CHAR, 30, {Txt("1e+20"), 5, "", SQL_SUCCESS}},
    {"double wide text", S_DOUBLE, 2.5, SQL_C_WCHAR, 30, {Wtxt(u"2.5"), 6, "", SQL_SUCCESS}},
    {"float text", S_FLOAT, 0.1, SQL_C_CHAR, 30, {Txt("0.1"), 3, "", SQL_SUCCESS}},
    // Bit.
    {"long bit 1", S_LONG, 1, SQL_C_BIT, 0, {Val<uint8_t>(1), 1, "", SQL_SUCCESS}},
    {"long bit 2", S_LONG, 2, SQL_C_BIT, 0, kRange},
    {"ulong bit huge", S_ULONG, 4294967295.0, SQL_C_BIT, 0, kRange},
    {"double bit 1.0", S_DOUBLE, 1.0, SQL_C_BIT, 0, {Val<uint8_t>(1), 1, "", SQL_SUCCESS}},
    {"double bit 0.5", S_DOUBLE, 0.5, SQL_C_BIT, 0, {Val<uint8_t>(0), 1, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"double bit 1.5", S_DOUBLE, 1.5, SQL_C_BIT, 0, {Val<uint8_t>(1), 1, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"double bit 2.0", S_DOUBLE, 2.0, SQL_C_BIT, 0, kRange},
    {"double bit -0.5", S_DOUBLE, -0.5, SQL_C_BIT, 0, kRange},
    // Integer targets with range checks; -1 never reaches an unsigned type.
    {"long 300 tinyint", S_LONG, 300, SQL_C_TINYINT, 0, kRange},
    {"long 300 utinyint", S_LONG, 300, SQL_C_UTINYINT, 0, kRange},
    {"long -1 ulong", S_LONG, -1, SQL_C_ULONG, 0, kRange},
    {"long -1 ubigint", S_LONG, -1, SQL_C_UBIGINT, 0, kRange},
    {"long -1 ushort", S_LONG, -1, SQL_C_USHORT, 0, kRange},
    {"short -1 ulong", S_SHORT, -1, SQL_C_ULONG, 0, kRange},
    {"short -1 utinyint", S_SHORT, -1, SQL_C_UTINYINT, 0, kRange},
    {"byte -1 ubigint", S_BYTE, -1, SQL_C_UBIGINT, 0, kRange},
    {"byte -1 ulong", S_BYTE, -1, SQL_C_ULONG, 0, kRange},
    {"double -1 ulong", S_DOUBLE, -1, SQL_C_ULONG, 0, kRange},
    {"float -1 ushort", S_FLOAT, -1, SQL_C_USHORT, 0, kRange},
    {"ushort 65535 ulong", S_USHORT, 65535, SQL_C_ULONG, 0, {Val<uint32_t>(65535), 4, "", SQL_SUCCESS}},
    {"long -1 sbigint", S_LONG, -1, SQL_C_SBIGINT, 0, {Val<int64_t>(-1), 8, "", SQL_SUCCESS}},
    {"ulong 3e9 long", S_ULONG, 3000000000.0, SQL_C_LONG, 0, kRange},
    {"ulong 3e9 sbigint", S_ULONG, 3000000000.0, SQL_C_SBIGINT, 0, {Val<int64_t>(3000000000LL), 8, "", SQL_SUCCESS}},
    {"ulong 3e9 ulong", S_ULONG, 3000000000.0, SQL_C_ULONG, 0, {Val<uint32_t>(3000000000U), 4, "", SQL_SUCCESS}},
    {"ushort 40000 short", S_USHORT, 40000, SQL_C_SHORT, 0, kRange},
    {"ushort 40000 ushort", S_USHORT, 40000, SQL_C_USHORT, 0, {Val<uint16_t>(40000), 2, "", SQL_SUCCESS}},
    {"ubyte 200 stinyint", S_UBYTE, 200, SQL_C_STINYINT, 0, kRange},
    {"ubyte 200 utinyint", S_UBYTE, 200, SQL_C_UTINYINT, 0, {Val<uint8_t>(200), 1, "", SQL_SUCCESS}},
    {"byte -128 tinyint", S_BYTE, -128, SQL_C_TINYINT, 0, {Val<int8_t>(-128), 1, "", SQL_SUCCESS}},
    {"short slong", S_SHORT, -300, SQL_C_SLONG, 0, {Val<int32_t>(-300), 4, "", SQL_SUCCESS}},
    {"long sshort", S_LONG, -32768, SQL_C_SSHORT, 0, {Val<int16_t>(-32768), 2, "", SQL_SUCCESS}},
    {"long 65536 ushort", S_LONG, 65536, SQL_C_USHORT, 0, kRange},
    {"double 2.9 long", S_DOUBLE, 2.9, SQL_C_LONG, 0, {Val<int32_t>(2), 4, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"double 3.0 long", S_DOUBLE, 3.0, SQL_C_LONG, 0, {Val<int32_t>(3), 4, "", SQL_SUCCESS}},
    {"double -2.9 long", S_DOUBLE, -2.9, SQL_C_LONG, 0, {Val<int32_t>(-2), 4, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"double -0.5 ubigint", S_DOUBLE, -0.5, SQL_C_UBIGINT, 0, {Val<uint64_t>(0), 8, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"double 2^63 sbigint", S_DOUBLE, 9223372036854775808.0, SQL_C_SBIGINT, 0, kRange},
    {"double -2^63 sbigint", S_DOUBLE, -9223372036854775808.0, SQL_C_SBIGINT, 0,
     {Val<int64_t>(INT64_MIN), 8, "", SQL_SUCCESS}},
    {"double 2^64 ubigint", S_DOUBLE, 18446744073709551616.0, SQL_C_UBIGINT, 0, kRange},
    {"double nan long", S_DOUBLE, kNaN, SQL_C_LONG, 0, kRange},
    {"double 127.9 tinyint", S_DOUBLE, 127.9, SQL_C_TINYINT, 0, {Val<int8_t>(127), 1, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"float 2^31 long", S_FLOAT, 2147483648.0, SQL_C_LONG, 0, kRange},
    {"float 300 usmallint", S_FLOAT, 300, SQL_C_USHORT, 0, {Val<uint16_t>(300), 2, "", SQL_SUCCESS}},
    // Floating-point targets.
    {"long float", S_LONG, 7, SQL_C_FLOAT, 0, {Val<float>(7.0f), 4, "", SQL_SUCCESS}},
    {"ulong double", S_ULONG, 4294967295.0, SQL_C_DOUBLE, 0, {Val<double>(4294967295.0), 8, "", SQL_SUCCESS}},
    {"double float", S_DOUBLE, 0.5, SQL_C_FLOAT, 0, {Val<float>(0.5f), 4, "", SQL_SUCCESS}},
    {"double float overflow", S_DOUBLE, 1e300, SQL_C_FLOAT, 0, kRange},
    {"float double", S_FLOAT, 0.25, SQL_C_DOUBLE, 0, {Val<double>(0.25), 8, "", SQL_SUCCESS}},
    // Binary: the value's bytes, refused when the buffer is short.
    {"long binary", S_LONG, 7, SQL_C_BINARY, 4, {Val<int32_t>(7), 4, "", SQL_SUCCESS}},
    {"long binary short", S_LONG, 7, SQL_C_BINARY, 2, kRange},
    {"short binary", S_SHORT, -2, SQL_C_BINARY, 8, {Val<int16_t>(-2), 2, "", SQL_SUCCESS}},
    {"byte binary", S_UBYTE, 9, SQL_C_BINARY, 1, {Val<uint8_t>(9), 1, "", SQL_SUCCESS}},
    {"double binary", S_DOUBLE, 1.5, SQL_C_BINARY, 8, {Val<double>(1.5), 8, "", SQL_SUCCESS}},
    {"double binary short", S_DOUBLE, 1.5, SQL_C_BINARY, 4, kRange},
    {"double binary zero", S_DOUBLE, 1.5, SQL_C_BINARY, 0, {{}, 8, "01004", SQL_SUCCESS_WITH_INFO}},
    {"float binary", S_FLOAT, 1.5, SQL_C_BINARY, 4, {Val<float>(1.5f), 4, "", SQL_SUCCESS}},
    // NUMERIC.
    {"long numeric", S_LONG, 7, SQL_C_NUMERIC, 0, {Val(Numeric(9, 2, 1, 700)), 19, "", SQL_SUCCESS}, 2},
    {"long numeric negative", S_LONG, -7, SQL_C_NUMERIC, 0, {Val(Numeric(9, 0, 0, 7)), 19, "", SQL_SUCCESS}},
    {"long numeric negative scale", S_LONG, 1250, SQL_C_NUMERIC, 0, {Val(Numeric(9, -2, 1, 13)), 19, "", SQL_SUCCESS}, -2},
    {"long numeric precision", S_LONG, 123456, SQL_C_NUMERIC, 0, kRange, 0, 5},
    {"short numeric", S_SHORT, 5, SQL_C_NUMERIC, 0, {Val(Numeric(4, 0, 1, 5)), 19, "", SQL_SUCCESS}},
    {"byte numeric", S_UBYTE, 255, SQL_C_NUMERIC, 0, {Val(Numeric(2, 0, 1, 255)), 19, "", SQL_SUCCESS}},
    {"double numeric rounds", S_DOUBLE, 1.15, SQL_C_NUMERIC, 0, {Val(Numeric(15, 2, 1, 115)), 19, "", SQL_SUCCESS}, 2},
    {"double numeric 2.675", S_DOUBLE, 2.675, SQL_C_NUMERIC, 0, {Val(Numeric(15, 2, 1, 267)), 19, "", SQL_SUCCESS}, 2},
    {"double numeric negative", S_DOUBLE, -3.0, SQL_C_NUMERIC, 0, {Val(Numeric(15, 0, 0, 3)), 19, "", SQL_SUCCESS}},
    {"double numeric 2^40", S_DOUBLE, 1099511627776.0, SQL_C_NUMERIC, 0,
     {Val(Numeric(15, 0, 1, static_cast<unsigned __int128>(1) << 40)), 19, "", SQL_SUCCESS}},
    {"double numeric precision 20", S_DOUBLE, 1.5, SQL_C_NUMERIC, 0,
     {Val(Numeric(20, 1, 1, 15)), 19, "01S07", SQL_SUCCESS_WITH_INFO}, 1, 20},
    {"double numeric 1e20 precision 38", S_DOUBLE, 1e20, SQL_C_NUMERIC, 0,
     {Val(Numeric(38, 0, 1, static_cast<unsigned __int128>(100000000000000000000.0L))), 19, "01S07",
      SQL_SUCCESS_WITH_INFO},
     0, 38},
    {"double numeric overflow", S_DOUBLE, 1e38, SQL_C_NUMERIC, 0, kRange, 2},
    {"double numeric nan", S_DOUBLE, kNaN, SQL_C_NUMERIC, 0, kRange},
    {"float numeric", S_FLOAT, 0.5, SQL_C_NUMERIC, 0, {Val(Numeric(7, 1, 1, 5)), 19, "", SQL_SUCCESS}, 1},
    // Types no numeric value converts to.
    {"long date", S_LONG, 1, SQL_C_TYPE_DATE, 0, kRestricted},
    {"long guid", S_LONG, 1, SQL_C_GUID, 0, kRestricted},
    {"short timestamp", S_SHORT, 1, SQL_C_TIMESTAMP, 0, kRestricted},
    {"byte time", S_BYTE, 1, SQL_C_TIME, 0, kRestricted},
    {"float date", S_FLOAT, 1, SQL_C_DATE, 0, kRestricted},
    {"double guid", S_DOUBLE, 1, SQL_C_GUID, 0, kRestricted},
    {"double unknown", S_DOUBLE, 1, 1234, 0, kRestricted},
    {"long unknown", S_LONG, 1, 1234, 0, kRestricted},
    {"ushort guid", S_USHORT, 1, SQL_C_GUID, 0, kRestricted},
    {"float time", S_FLOAT, 1, SQL_C_TYPE_TIME, 0, kRestricted},
    {"double timestamp", S_DOUBLE, 1, SQL_C_TYPE_TIMESTAMP, 0, kRestricted},
    {"float guid", S_FLOAT, 1, SQL_C_GUID, 0, kRestricted},
};

class Numbers : public ::testing::TestWithParam<NumCase> {};

TEST_P(Numbers, Convert)
{
    const NumCase &c = GetParam();
    Outcome o = RunConv(c.bufLen, [&](ConvTarget &t) { return ConvertSource(c, t); });
    bool variable = (c.cType == SQL_C_CHAR || c.cType == SQL_C_WCHAR || c.cType == SQL_C_BINARY) &&
                    c.expect.rc != SQL_ERROR;
    CheckOutcome(o, c.expect, variable);
}

INSTANTIATE_TEST_SUITE_P(Matrix, Numbers, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<NumCase> &i) {
                             std::string n = i.param.label;
                             for (char &ch : n)
                                 if (!isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return n;
                         });

TEST(NumericHelpers, FormatDouble)
{
    char buf[64];
    EXPECT_EQ(FormatDouble(buf, sizeof buf, 1.0, 17), 1);
    EXPECT_STREQ(buf, "1");
    FormatDouble(buf, sizeof buf, -0.000125, 17);
    EXPECT_STREQ(buf, "-0.000125");
    char small[4];
    EXPECT_EQ(FormatDouble(small, sizeof small, 123456.0, 17), 0);
    EXPECT_STREQ(small, "");
    char point[] = "12.";
    TrimTrailingPoint(point);
    EXPECT_STREQ(point, "12");
}

TEST(NumericHelpers, DoubleToNumericKeepsTheErrorNumber)
{
    int32_t err = ERR_DATA_TRUNCATED;
    SQL_NUMERIC_STRUCT n;
    EXPECT_EQ(DoubleToNumeric(2.5, &n, 1, 0, 15, &err), 0);
    EXPECT_EQ(err, ERR_DATA_TRUNCATED);
    EXPECT_EQ(n.val[0], 25);
}

TEST(NumericHelpers, IntegerToNumericExtremes)
{
    int32_t err = 0;
    SQL_NUMERIC_STRUCT n;
    ASSERT_EQ(IntegerToNumeric(INT64_MIN, &n, 0, 0, 19, &err), 0);
    EXPECT_EQ(n.sign, 0);
    uint64_t m;
    std::memcpy(&m, n.val, 8);
    EXPECT_EQ(m, static_cast<uint64_t>(1) << 63);
    ASSERT_EQ(IntegerToNumeric(5, &n, 200, 0, 19, &err), -1);
    EXPECT_EQ(err, ERR_NUMERIC_RANGE);
}

} // namespace

// Text sources (narrow and UTF-16) into every C type, the text parsers and
// the copy helpers.
#include <cstring>
#include <string>

#include "exec_conv_test_util.h"

namespace {

const ::testing::Environment *const kCodePage = ::testing::AddGlobalTestEnvironment(new Utf8CodePage);

struct TextCase {
    const char *label;
    std::string src;
    int16_t cType;
    SQLLEN bufLen;
    Expect expect;
    int scale = 0;
    int precision = 0;
};

bool Variable(int16_t cType)
{
    return cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY;
}

const SQLGUID kGuid = {0x6F9619FF, 0x8B86, 0xD011, {0xB4, 0x2D, 0x00, 0xC0, 0x4F, 0xC9, 0x64, 0xFF}};

const TextCase kNarrowCases[] = {
    // SQL_C_CHAR: copy, cut between characters, 01004.
    {"char whole", "hello", SQL_C_CHAR, 10, {Txt("hello"), 5, "", SQL_SUCCESS}},
    {"char cut", "hello", SQL_C_CHAR, 3, {Txt("he"), 5, "01004", SQL_SUCCESS_WITH_INFO}},
    {"char exact fit", "hello", SQL_C_CHAR, 6, {Txt("hello"), 5, "", SQL_SUCCESS}},
    {"char zero buffer", "hello", SQL_C_CHAR, 0, {{}, 5, "01004", SQL_SUCCESS_WITH_INFO}},
    {"char empty", "", SQL_C_CHAR, 4, {Txt(""), 0, "", SQL_SUCCESS}},
    {"char utf8 not split", "a\xC3\xA9z", SQL_C_CHAR, 3, {Txt("a"), 4, "01004", SQL_SUCCESS_WITH_INFO}},
    {"char utf8 fits", "a\xC3\xA9z", SQL_C_CHAR, 4, {Txt("a\xC3\xA9"), 4, "01004", SQL_SUCCESS_WITH_INFO}},
    // SQL_C_WCHAR: sized by the units actually produced.
    {"wchar cut", "hello", SQL_C_WCHAR, 8, {Wtxt(u"hel"), 10, "01004", SQL_SUCCESS_WITH_INFO}},
    {"wchar whole", "h\xC3\xA9", SQL_C_WCHAR, 20, {Wtxt(u"h\u00e9"), 4, "", SQL_SUCCESS}},
    {"wchar one byte", "hello", SQL_C_WCHAR, 1, {{}, 10, "01004", SQL_SUCCESS_WITH_INFO}},
    {"wchar odd buffer", "hello", SQL_C_WCHAR, 5, {Wtxt(u"h"), 10, "01004", SQL_SUCCESS_WITH_INFO}},
    // SQL_C_BINARY: the text's bytes, no terminator.
    {"binary cut", "hello", SQL_C_BINARY, 3, {Raw("hel"), 5, "01004", SQL_SUCCESS_WITH_INFO}},
    {"binary whole", "hi", SQL_C_BINARY, 8, {Raw("hi"), 2, "", SQL_SUCCESS}},
    // SQL_C_BIT: 0 or 1, anything else 22003.
    {"bit 1", "1", SQL_C_BIT, 0, {Val<uint8_t>(1), 1, "", SQL_SUCCESS}},
    {"bit 2", "2", SQL_C_BIT, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"bit letter", "x", SQL_C_BIT, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    // Integers with range checks.
    {"tinyint min", "-128", SQL_C_TINYINT, 0, {Val<int8_t>(-128), 1, "", SQL_SUCCESS}},
    {"stinyint over", "128", SQL_C_STINYINT, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"utinyint max", "255", SQL_C_UTINYINT, 0, {Val<uint8_t>(255), 1, "", SQL_SUCCESS}},
    {"utinyint -1", "-1", SQL_C_UTINYINT, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"short max", "32767", SQL_C_SHORT, 0, {Val<int16_t>(32767), 2, "", SQL_SUCCESS}},
    {"sshort under", "-32769", SQL_C_SSHORT, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"ushort max", "65535", SQL_C_USHORT, 0, {Val<uint16_t>(65535), 2, "", SQL_SUCCESS}},
    {"ushort over", "65536", SQL_C_USHORT, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"long blanks", "  -42  ", SQL_C_LONG, 0, {Val<int32_t>(-42), 4, "", SQL_SUCCESS}},
    {"long junk", "42x", SQL_C_LONG, 0, {{}, kNotWritten, "22005", SQL_ERROR}},
    {"long inner blank", "4 2", SQL_C_LONG, 0, {{}, kNotWritten, "22005", SQL_ERROR}},
    {"long empty", "", SQL_C_LONG, 0, {{}, kNotWritten, "22005", SQL_ERROR}},
    {"long sign only", "-", SQL_C_LONG, 0, {{}, kNotWritten, "22005", SQL_ERROR}},
    {"long over", "2147483648", SQL_C_LONG, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"slong min", "-2147483648", SQL_C_SLONG, 0, {Val<int32_t>(INT32_MIN), 4, "", SQL_SUCCESS}},
    {"ulong -0", "-0", SQL_C_ULONG, 0, {Val<uint32_t>(0), 4, "", SQL_SUCCESS}},
    {"ulong -1", "-1", SQL_C_ULONG, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"ulong max", "+4294967295", SQL_C_ULONG, 0, {Val<uint32_t>(UINT32_MAX), 4, "", SQL_SUCCESS}},
    {"sbigint min", "-9223372036854775808", SQL_C_SBIGINT, 0, {Val<int64_t>(INT64_MIN), 8, "", SQL_SUCCESS}},
    {"sbigint over", "9223372036854775808", SQL_C_SBIGINT, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"ubigint max", "18446744073709551615", SQL_C_UBIGINT, 0, {Val<uint64_t>(UINT64_MAX), 8, "", SQL_SUCCESS}},
    {"ubigint over", "18446744073709551616", SQL_C_UBIGINT, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"ubigint -1", "-1", SQL_C_UBIGINT, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"ubigint huge", std::string(300, '9'), SQL_C_UBIGINT, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    // Decimal and exponent forms give their integer part; cut fraction digits 01S07.
    {"slong fraction", "37.37", SQL_C_SLONG, 0, {Val<int32_t>(37), 4, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"slong negative fraction", " -37.9 ", SQL_C_SLONG, 0, {Val<int32_t>(-37), 4, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"slong zero fraction", "42.000", SQL_C_SLONG, 0, {Val<int32_t>(42), 4, "", SQL_SUCCESS}},
    {"slong trailing point", "5.", SQL_C_SLONG, 0, {Val<int32_t>(5), 4, "", SQL_SUCCESS}},
    {"slong leading point", ".5", SQL_C_SLONG, 0, {Val<int32_t>(0), 4, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"slong exponent", "1e2", SQL_C_SLONG, 0, {Val<int32_t>(100), 4, "", SQL_SUCCESS}},
    {"slong exponent integral", "1.5E1", SQL_C_SLONG, 0, {Val<int32_t>(15), 4, "", SQL_SUCCESS}},
    {"slong exponent fraction", "1.25e1", SQL_C_SLONG, 0, {Val<int32_t>(12), 4, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"slong negative exponent", "123e-1", SQL_C_SLONG, 0, {Val<int32_t>(12), 4, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"slong tiny", "1e-400", SQL_C_SLONG, 0, {Val<int32_t>(0), 4, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"slong zero huge exponent", "0e999999999", SQL_C_SLONG, 0, {Val<int32_t>(0), 4, "", SQL_SUCCESS}},
    {"slong max fraction", "2147483647.9", SQL_C_SLONG, 0,
     {Val<int32_t>(INT32_MAX), 4, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"slong min fraction", "-2147483648.9", SQL_C_SLONG, 0,
     {Val<int32_t>(INT32_MIN), 4, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"slong over fraction", "2147483648.5", SQL_C_SLONG, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"slong over exponent", "1e10", SQL_C_SLONG, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"slong huge exponent", "1e999999999", SQL_C_SLONG, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"slong exponent without digits", "1e", SQL_C_SLONG, 0, {{}, kNotWritten, "22005", SQL_ERROR}},
    {"slong two points", "1.2.3", SQL_C_SLONG, 0, {{}, kNotWritten, "22005", SQL_ERROR}},
    {"slong point only", ".", SQL_C_SLONG, 0, {{}, kNotWritten, "22005", SQL_ERROR}},
    {"slong money", "$12.50", SQL_C_SLONG, 0, {{}, kNotWritten, "22005", SQL_ERROR}},
    {"short fraction", "12.50", SQL_C_SHORT, 0, {Val<int16_t>(12), 2, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"stinyint over fraction", "127.5e1", SQL_C_STINYINT, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"ulong negative fraction", "-0.5", SQL_C_ULONG, 0, {Val<uint32_t>(0), 4, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"ulong negative whole", "-1.5", SQL_C_ULONG, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"sbigint fraction", "-9223372036854775808.25", SQL_C_SBIGINT, 0,
     {Val<int64_t>(INT64_MIN), 8, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"ubigint fraction", "18446744073709551615.5", SQL_C_UBIGINT, 0,
     {Val<uint64_t>(UINT64_MAX), 8, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"ubigint exponent", "1.8e19", SQL_C_UBIGINT, 0, {Val<uint64_t>(18000000000000000000ull), 8, "", SQL_SUCCESS}},
    {"ubigint over exponent", "1e20", SQL_C_UBIGINT, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"ubigint negative fraction", "-0.9", SQL_C_UBIGINT, 0, {Val<uint64_t>(0), 8, "01S07", SQL_SUCCESS_WITH_INFO}},
    // A bit takes 0 or 1 exactly, in any form.
    {"bit decimal one", "1.0", SQL_C_BIT, 0, {Val<uint8_t>(1), 1, "", SQL_SUCCESS}},
    {"bit exponent zero", "0e3", SQL_C_BIT, 0, {Val<uint8_t>(0), 1, "", SQL_SUCCESS}},
    {"bit half", "0.5", SQL_C_BIT, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"bit negative half", "-0.5", SQL_C_BIT, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    // Floating point.
    {"float", "1.5", SQL_C_FLOAT, 0, {Val<float>(1.5f), 4, "", SQL_SUCCESS}},
    {"float beyond range", "1e39", SQL_C_FLOAT, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"double money", "$1,234.50", SQL_C_DOUBLE, 0, {Val<double>(1234.5), 8, "", SQL_SUCCESS}},
    {"double trailing blank", "$1,234.50 ", SQL_C_DOUBLE, 0, {{}, kNotWritten, "22005", SQL_ERROR}},
    {"double leading blank", " -2.5e1", SQL_C_DOUBLE, 0, {Val<double>(-25.0), 8, "", SQL_SUCCESS}},
    {"double 513 bytes", std::string(513, '1'), SQL_C_DOUBLE, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"double overflow", "1e400", SQL_C_DOUBLE, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"double underflow", "1e-400", SQL_C_DOUBLE, 0, {Val<double>(0.0), 8, "", SQL_SUCCESS}},
    {"double empty", "", SQL_C_DOUBLE, 0, {{}, kNotWritten, "22005", SQL_ERROR}},
    {"double junk", "1.2.3", SQL_C_DOUBLE, 0, {{}, kNotWritten, "22005", SQL_ERROR}},
    // SQL_C_NUMERIC.
    {"numeric cut", "12.345", SQL_C_NUMERIC, 0, {Val(Numeric(10, 2, 1, 1234)), 19, "01S07", SQL_SUCCESS_WITH_INFO}, 2, 10},
    {"numeric zero precision", "-0.5", SQL_C_NUMERIC, 0, {Val(Numeric(2, 3, 0, 500)), 19, "", SQL_SUCCESS}, 3, 0},
    {"numeric too many digits", "123.45", SQL_C_NUMERIC, 0, {{}, kNotWritten, "22003", SQL_ERROR}, 0, 2},
    {"numeric trailing zero kept", "1.50", SQL_C_NUMERIC, 0, {Val(Numeric(3, 1, 1, 15)), 19, "", SQL_SUCCESS}, 1, 0},
    {"numeric exponent", "1.5e3", SQL_C_NUMERIC, 0, {Val(Numeric(2, 0, 1, 1500)), 19, "", SQL_SUCCESS}},
    {"numeric beyond 64 bits", "18446744073709551616", SQL_C_NUMERIC, 0,
     {Val(Numeric(20, 0, 1, static_cast<unsigned __int128>(1) << 64)), 19, "", SQL_SUCCESS}},
    {"numeric 128 bits", "340282366920938463463374607431768211455", SQL_C_NUMERIC, 0,
     {Val(Numeric(39, 0, 1, ~static_cast<unsigned __int128>(0))), 19, "", SQL_SUCCESS}},
    {"numeric beyond 128 bits", "340282366920938463463374607431768211456", SQL_C_NUMERIC, 0,
     {{}, kNotWritten, "22003", SQL_ERROR}},
    {"numeric 1000 digits", std::string(1000, '7'), SQL_C_NUMERIC, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"numeric 1000 fraction digits", "0." + std::string(1000, '3'), SQL_C_NUMERIC, 0,
     {Val(Numeric(255, 2, 1, 33)), 19, "01S07", SQL_SUCCESS_WITH_INFO}, 2},
    {"numeric junk", "12a", SQL_C_NUMERIC, 0, {{}, kNotWritten, "22005", SQL_ERROR}},
    // SQL_C_GUID.
    {"guid upper", "6F9619FF-8B86-D011-B42D-00C04FC964FF", SQL_C_GUID, 0, {Val(kGuid), 16, "", SQL_SUCCESS}},
    {"guid lower", "6f9619ff-8b86-d011-b42d-00c04fc964ff", SQL_C_GUID, 0, {Val(kGuid), 16, "", SQL_SUCCESS}},
    {"guid 35", "6F9619FF-8B86-D011-B42D-00C04FC964F", SQL_C_GUID, 0, {{}, kNotWritten, "22026", SQL_ERROR}},
    {"guid hyphen", "6F9619FF08B86-D011-B42D-00C04FC964FF", SQL_C_GUID, 0, {{}, kNotWritten, "22005", SQL_ERROR}},
    {"guid non-hex", "6F9619FF-8B86-D011-B42D-00C04FC964FG", SQL_C_GUID, 0, {{}, kNotWritten, "22005", SQL_ERROR}},
    // Date and time targets, unknown types.
    {"date", "2024-03-15", SQL_C_DATE, 0, {{}, kNotWritten, "S1C00", SQL_ERROR}},
    {"type timestamp", "2024-03-15 10:00:00", SQL_C_TYPE_TIMESTAMP, 0, {{}, kNotWritten, "S1C00", SQL_ERROR}},
    {"type time", "10:00:00", SQL_C_TYPE_TIME, 0, {{}, kNotWritten, "S1C00", SQL_ERROR}},
    {"interval", "1", SQL_C_INTERVAL_YEAR, 0, {{}, kNotWritten, "07006", SQL_ERROR}},
};

class NarrowText : public ::testing::TestWithParam<TextCase> {};

TEST_P(NarrowText, Converts)
{
    const TextCase &c = GetParam();
    Outcome o = RunConv(c.bufLen, [&](ConvTarget &t) {
        return ConvertCHAR(c.src.data(), static_cast<int64_t>(c.src.size()), static_cast<int64_t>(c.src.size()),
                           ENC_ANSI, c.cType, t, c.scale, c.precision);
    });
    CheckOutcome(o, c.expect, Variable(c.cType) && c.expect.rc != SQL_ERROR);
}

INSTANTIATE_TEST_SUITE_P(Matrix, NarrowText, ::testing::ValuesIn(kNarrowCases),
                         [](const ::testing::TestParamInfo<TextCase> &i) {
                             std::string n = i.param.label;
                             for (char &ch : n)
                                 if (!isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return n;
                         });

struct WideCase {
    const char *label;
    std::u16string src;
    int16_t cType;
    SQLLEN bufLen;
    Expect expect;
    int scale = 0;
    int precision = 0;
};

const WideCase kWideCases[] = {
    {"char whole", u"h\u00e9llo", SQL_C_CHAR, 10, {Txt("h\xC3\xA9llo"), 6, "", SQL_SUCCESS}},
    {"char cut by bytes", u"h\u00e9llo", SQL_C_CHAR, 3, {Txt("h"), 6, "01004", SQL_SUCCESS_WITH_INFO}},
    {"char zero buffer", u"abc", SQL_C_CHAR, 0, {{}, 3, "01004", SQL_SUCCESS_WITH_INFO}},
    {"wchar cut", u"hello", SQL_C_WCHAR, 6, {Wtxt(u"he"), 10, "01004", SQL_SUCCESS_WITH_INFO}},
    {"wchar whole", u"hello", SQL_C_WCHAR, 12, {Wtxt(u"hello"), 10, "", SQL_SUCCESS}},
    {"wchar pair not split", u"a\U0001F600", SQL_C_WCHAR, 6, {Wtxt(u"a"), 6, "01004", SQL_SUCCESS_WITH_INFO}},
    {"wchar one byte", u"a", SQL_C_WCHAR, 1, {{}, 2, "01004", SQL_SUCCESS_WITH_INFO}},
    {"binary", u"ab", SQL_C_BINARY, 3, {Raw(std::string("a\0b", 3)), 4, "01004", SQL_SUCCESS_WITH_INFO}},
    {"bit", u"0", SQL_C_BIT, 0, {Val<uint8_t>(0), 1, "", SQL_SUCCESS}},
    {"long", u" 42 ", SQL_C_LONG, 0, {Val<int32_t>(42), 4, "", SQL_SUCCESS}},
    {"ulong -1", u"-1", SQL_C_ULONG, 0, {{}, kNotWritten, "22003", SQL_ERROR}},
    {"ubigint", u"18446744073709551615", SQL_C_UBIGINT, 0, {Val<uint64_t>(UINT64_MAX), 8, "", SQL_SUCCESS}},
    {"short junk", u"4\u00e92", SQL_C_SHORT, 0, {{}, kNotWritten, "22005", SQL_ERROR}},
    {"slong fraction", u"37.37", SQL_C_SLONG, 0, {Val<int32_t>(37), 4, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"sbigint exponent", u"-2.5e3", SQL_C_SBIGINT, 0, {Val<int64_t>(-2500), 8, "", SQL_SUCCESS}},
    {"ubigint fraction", u"7.9", SQL_C_UBIGINT, 0, {Val<uint64_t>(7), 8, "01S07", SQL_SUCCESS_WITH_INFO}},
    {"double", u"2.5", SQL_C_DOUBLE, 0, {Val<double>(2.5), 8, "", SQL_SUCCESS}},
    {"float", u"-0.25", SQL_C_FLOAT, 0, {Val<float>(-0.25f), 4, "", SQL_SUCCESS}},
    {"numeric", u"1.25", SQL_C_NUMERIC, 0, {Val(Numeric(3, 2, 1, 125)), 19, "", SQL_SUCCESS}, 2},
    {"guid", u"6F9619FF-8B86-D011-B42D-00C04FC964FF", SQL_C_GUID, 0, {{}, kNotWritten, "07006", SQL_ERROR}},
    {"date", u"2024-03-15", SQL_C_TYPE_DATE, 0, {{}, kNotWritten, "S1C00", SQL_ERROR}},
    {"time", u"10:00:00", SQL_C_TYPE_TIME, 0, {{}, kNotWritten, "S1C00", SQL_ERROR}},
    {"timestamp", u"2024-03-15 10:00:00", SQL_C_TIMESTAMP, 0, {{}, kNotWritten, "S1C00", SQL_ERROR}},
    {"unknown", u"1", 1234, 0, {{}, kNotWritten, "07006", SQL_ERROR}},
};

class WideText : public ::testing::TestWithParam<WideCase> {};

TEST_P(WideText, Converts)
{
    const WideCase &c = GetParam();
    Outcome o = RunConv(c.bufLen, [&](ConvTarget &t) {
        int64_t bytes = static_cast<int64_t>(c.src.size() * 2);
        return ConvertWCHAR(reinterpret_cast<const SQLWCHAR *>(c.src.data()), bytes, bytes, c.cType, t, c.scale,
                            c.precision);
    });
    CheckOutcome(o, c.expect, Variable(c.cType) && c.expect.rc != SQL_ERROR);
}

INSTANTIATE_TEST_SUITE_P(Matrix, WideText, ::testing::ValuesIn(kWideCases),
                         [](const ::testing::TestParamInfo<WideCase> &i) {
                             std::string n = i.param.label;
                             for (char &ch : n)
                                 if (!isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return n;
                         });

// Narrow values of the Unicode build are UTF-8 whatever the ANSI code page.
TEST(TextEncoding, Utf8SourceIntoLatin1Target)
{
    ASSERT_TRUE(CP_SetAnsiCodeset("ISO-8859-1"));
    const std::string src = "caf\xC3\xA9!";
    Outcome o = RunConv(10, [&](ConvTarget &t) {
        return ConvertCHAR(src.data(), 6, 6, ENC_UTF8, SQL_C_CHAR, t, 0, 0);
    });
    CheckOutcome(o, {Txt("caf\xE9!"), 5, "", SQL_SUCCESS}, true);

    // Cut: the bytes used are those of the characters written.
    o = RunConv(5, [&](ConvTarget &t) { return ConvertCHAR(src.data(), 6, 6, ENC_UTF8, SQL_C_CHAR, t, 0, 0); });
    CheckOutcome(o, {Txt("caf\xE9"), 5, "01004", SQL_SUCCESS_WITH_INFO}, true);
    EXPECT_EQ(o.used, 5);

    // Wide text: characters the code page lacks become "?".
    std::u16string w = u"\u00e9\u20ac";
    o = RunConv(10, [&](ConvTarget &t) {
        return ConvertWCHAR(reinterpret_cast<const SQLWCHAR *>(w.data()), 4, 4, SQL_C_CHAR, t, 0, 0);
    });
    CheckOutcome(o, {Txt("\xE9?"), 2, "", SQL_SUCCESS}, true);

    // ANSI text to wide goes through the code page.
    const std::string latin = "\xE9t\xE9";
    o = RunConv(20, [&](ConvTarget &t) { return ConvertCHAR(latin.data(), 3, 3, ENC_ANSI, SQL_C_WCHAR, t, 0, 0); });
    CheckOutcome(o, {Wtxt(u"\u00e9t\u00e9"), 6, "", SQL_SUCCESS}, true);
    CP_SetAnsiCodeset("UTF-8");
}

// Wide text into a code page other than UTF-8: sized from one conversion when
// it fits, cut between characters when it does not, pieces reported as such.
TEST(TextEncoding, WideIntoLatin1Sizes)
{
    ASSERT_TRUE(CP_SetAnsiCodeset("ISO-8859-1"));
    const std::u16string w = u"d\u00e9j\u00e0 \u20ac";  // 6 units, 6 bytes
    const auto *src = reinterpret_cast<const SQLWCHAR *>(w.data());
    const int64_t n = static_cast<int64_t>(w.size());
    struct Case {
        SQLLEN bufLen;
        int64_t total;  // units of the whole value
        Expect expect;
        int64_t used;   // source bytes consumed
    } cases[] = {
        {20, n, {Txt("d\xE9j\xE0 ?"), 6, "", SQL_SUCCESS}, 12},
        {7, n, {Txt("d\xE9j\xE0 ?"), 6, "", SQL_SUCCESS}, 12},          // exact fit
        {6, n, {Txt("d\xE9j\xE0 "), 6, "01004", SQL_SUCCESS_WITH_INFO}, 10},  // one short
        {3, n, {Txt("d\xE9"), 6, "01004", SQL_SUCCESS_WITH_INFO}, 4},
        {1, n, {Txt(""), 6, "01004", SQL_SUCCESS_WITH_INFO}, 0},
        {20, n + 5, {Txt("d\xE9j\xE0 ?"), SQL_NO_TOTAL, "01004", SQL_SUCCESS_WITH_INFO}, 12},  // a piece
        {4, n + 5, {Txt("d\xE9j"), SQL_NO_TOTAL, "01004", SQL_SUCCESS_WITH_INFO}, 6},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bufLen);
        Outcome o = RunConv(c.bufLen, [&](ConvTarget &t) { return CopyWCHARtoCHAR(src, n, n, c.total, true, true, t); });
        CheckOutcome(o, c.expect, true);
        EXPECT_EQ(o.used, c.used);
    }
    CP_SetAnsiCodeset("UTF-8");
}

// A double-byte code page is cut between characters too.
TEST(TextEncoding, DoubleByteCodePageCut)
{
    if (!CP_SetAnsiCodeset("GBK"))
        GTEST_SKIP() << "no GBK converter";
    const std::string src = "a\xD6\xD0\xCE\xC4";  // a, two GBK characters
    Outcome o = RunConv(3, [&](ConvTarget &t) { return ConvertCHAR(src.data(), 5, 5, ENC_ANSI, SQL_C_CHAR, t, 0, 0); });
    CheckOutcome(o, {Txt("a"), 5, "01004", SQL_SUCCESS_WITH_INFO}, true);
    EXPECT_EQ(o.used, 1);
    o = RunConv(5, [&](ConvTarget &t) { return ConvertCHAR(src.data(), 5, 5, ENC_ANSI, SQL_C_CHAR, t, 0, 0); });
    CheckOutcome(o, {Txt("a\xD6\xD0"), 5, "01004", SQL_SUCCESS_WITH_INFO}, true);
    EXPECT_EQ(o.used, 3);
    CP_SetAnsiCodeset("UTF-8");
}

// The parsers read only their length: a text without a terminator is safe.
TEST(TextParsers, ReadOnlyTheirLength)
{
    const char text[] = {'1', '2', '3', '4', '5'};
    int32_t err = 0;
    int32_t v = 0;
    EXPECT_EQ(CharToNumber(text, 3, INT32_MIN, INT32_MAX, &v, &err), 0);
    EXPECT_EQ(v, 123);
    SQL_NUMERIC_STRUCT num{};
    EXPECT_EQ(CharToNumeric(text, 2, &num, 0, 0, &err), 0);
    EXPECT_EQ(num.val[0], 12);
    double d = 0;
    EXPECT_EQ(CharToDecimal(text, 4, &d, &err), 0);
    EXPECT_EQ(d, 1234.0);
    EXPECT_EQ(err, 0);
}

TEST(TextParsers, IntegerPartOfADecimalAnswersOne)
{
    struct Case {
        const char *text;
        int rc;
        int64_t value;
        int32_t err;
    } cases[] = {
        {"12", 0, 12, 0},
        {"12.75", 1, 12, ERR_FRACTIONAL_TRUNCATION},
        {"-12.75", 1, -12, ERR_FRACTIONAL_TRUNCATION},
        {"12.5e1", 0, 125, 0},
        {"300.5", -1, 0, ERR_NUMERIC_RANGE},  // the range is checked before the fraction is reported
        {"12,5", -1, 0, ERR_ASSIGNMENT},
    };
    for (const Case &c : cases) {
        int32_t err = 0;
        int64_t v64 = 0;
        EXPECT_EQ(CharToNumber64(c.text, static_cast<int64_t>(std::strlen(c.text)), -255, 255, &v64, &err), c.rc)
            << c.text;
        EXPECT_EQ(err, c.err) << c.text;
        if (c.rc >= 0) {
            EXPECT_EQ(v64, c.value) << c.text;
        }
        err = 0;
        int32_t v32 = 0;
        EXPECT_EQ(CharToNumber(c.text, static_cast<int64_t>(std::strlen(c.text)), -255, 255, &v32, &err), c.rc)
            << c.text;
        if (c.rc >= 0) {
            EXPECT_EQ(v32, c.value) << c.text;
        }
    }
}

TEST(TextParsers, ErrorNumberIsNeverCleared)
{
    int32_t err = ERR_DATA_TRUNCATED;
    int32_t v = 0;
    EXPECT_EQ(CharToNumber("7", 1, 0, 10, &v, &err), 0);
    EXPECT_EQ(err, ERR_DATA_TRUNCATED);
}

TEST(TextParsers, HexCharValue)
{
    EXPECT_EQ(HexCharValue('0'), 0);
    EXPECT_EQ(HexCharValue('9'), 9);
    EXPECT_EQ(HexCharValue('a'), 10);
    EXPECT_EQ(HexCharValue('F'), 15);
    EXPECT_EQ(HexCharValue('g'), -1);
    EXPECT_EQ(HexCharValue(' '), -1);
}

// A piece of a longer value reports the total and 01004 even when it fits.
TEST(CopyHelpers, PieceOfLongerValue)
{
    Outcome o = RunConv(10, [&](ConvTarget &t) { return CopyCHARtoCHAR("abc", 3, 3, 9, true, true, ENC_ANSI, t); });
    CheckOutcome(o, {Txt("abc"), 9, "01004", SQL_SUCCESS_WITH_INFO}, true);
    o = RunConv(10, [&](ConvTarget &t) {
        return CopyCHARtoCHAR("abc", 3, 3, SQL_NO_TOTAL, true, true, ENC_ANSI, t);
    });
    CheckOutcome(o, {Txt("abc"), SQL_NO_TOTAL, "", SQL_SUCCESS}, true);
}

TEST(CopyHelpers, RefusedWhenTruncationNotAllowed)
{
    Outcome o = RunConv(4, [&](ConvTarget &t) { return CopyCHARtoCHAR("abcdef", 6, 0, 0, false, false, ENC_BYTES, t); });
    CheckOutcome(o, {{}, kNotWritten, "22003", SQL_ERROR}, false);
}

TEST(CopyHelpers, NullTargetIsRefused)
{
    int32_t err = 0;
    SQLLEN octet = 0;
    ConvTarget t{nullptr, 10, &octet, &err, 0};
    EXPECT_EQ(CopyCHARtoCHAR("abc", 3, 3, 3, true, true, ENC_ANSI, t), SQL_ERROR);
    EXPECT_EQ(StateOf(err), "S1009");
}

} // namespace

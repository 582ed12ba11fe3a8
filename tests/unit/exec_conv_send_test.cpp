// Send-direction helpers: date-time escapes, NUMERIC as decimal text, GUID
// text and hexadecimal text.
#include <string>

#include "exec/conv_send.h"
#include "exec_conv_test_util.h"

namespace {

void FixedToday(DATE_STRUCT *out)
{
    *out = DATE_STRUCT{2030, 7, 4};
}

// What the slot and column hold after a call.
struct Sent {
    int rc;
    Bytes slot;
    RowBlockColumn column;
};

const RowBlockColumn kTextColumn = {VT_CHAR, 40, nullptr, nullptr};

Sent SendNarrow(const std::string &text, int16_t sqlType)
{
    Sent s{0, Bytes(40, kGuard), kTextColumn};
    s.rc = CharToDateTime(s.slot.data(), text.data(), text.size(), &s.column, sqlType);
    return s;
}

Sent SendWide(const std::u16string &text, int16_t sqlType)
{
    Sent s{0, Bytes(80, kGuard), kTextColumn};
    s.rc = WCharToDateTime(s.slot.data(), reinterpret_cast<const SQLWCHAR *>(text.data()), text.size() * 2,
                           &s.column, sqlType);
    return s;
}

enum Outcome { STRUCT, UNCHANGED, FAILS };

struct EscapeCase {
    const char *label;
    std::string text;
    int16_t sqlType;
    Outcome outcome;
    ValueType vt;        // for STRUCT
    Bytes value;         // the struct, for STRUCT
    const char *state;   // for FAILS
};

const EscapeCase kEscapes[] = {
    {"date", "{d '2024-03-15'}", SQL_TYPE_DATE, STRUCT, VT_DATE, Val(DATE_STRUCT{2024, 3, 15}), ""},
    {"date slashes", "{d '2024/03/15'}", SQL_DATE, STRUCT, VT_DATE, Val(DATE_STRUCT{2024, 3, 15}), ""},
    {"date upper keyword", "{D '2024-03-15'}", SQL_TYPE_DATE, STRUCT, VT_DATE, Val(DATE_STRUCT{2024, 3, 15}), ""},
    {"date blanks", "{ d  '2024-03-15' }", SQL_TYPE_DATE, STRUCT, VT_DATE, Val(DATE_STRUCT{2024, 3, 15}), ""},
    {"date negative year", "{d '-44-03-15'}", SQL_TYPE_DATE, STRUCT, VT_DATE, Val(DATE_STRUCT{-44, 3, 15}), ""},
    {"date own kind", "{d '2024-03-15'}", 0, STRUCT, VT_DATE, Val(DATE_STRUCT{2024, 3, 15}), ""},
    {"timestamp", "{ts '2024-03-15 10:20:30.5'}", SQL_TYPE_TIMESTAMP, STRUCT, VT_TIMESTAMP,
     Val(TIMESTAMP_STRUCT{2024, 3, 15, 10, 20, 30, 500000000}), ""},
    {"timestamp ms", "{ts '2024-03-15 10:20:30.005'}", SQL_TIMESTAMP, STRUCT, VT_TIMESTAMP,
     Val(TIMESTAMP_STRUCT{2024, 3, 15, 10, 20, 30, 5000000}), ""},
    {"timestamp eleven digits", "{ts '2024-03-15 10:20:30.12345678912'}", SQL_TYPE_TIMESTAMP, STRUCT, VT_TIMESTAMP,
     Val(TIMESTAMP_STRUCT{2024, 3, 15, 10, 20, 30, 123456789}), ""},
    {"time own kind", "{t '10:20:30'}", 0, STRUCT, VT_TIME, Val(TIME_STRUCT{10, 20, 30}), ""},
    {"time", "{t '10:20:30'}", SQL_TYPE_TIME, STRUCT, VT_TIME, Val(TIME_STRUCT{10, 20, 30}), ""},
    {"date as timestamp", "{d '2024-03-15'}", SQL_TYPE_TIMESTAMP, STRUCT, VT_TIMESTAMP,
     Val(TIMESTAMP_STRUCT{2024, 3, 15, 0, 0, 0, 0}), ""},
    {"time as timestamp takes today", "{t  '10:20:30'   }", SQL_TYPE_TIMESTAMP, STRUCT, VT_TIMESTAMP,
     Val(TIMESTAMP_STRUCT{2030, 7, 4, 10, 20, 30, 0}), ""},
    {"timestamp as date", "{ts '2024-03-15 10:20:30'}", SQL_TYPE_DATE, STRUCT, VT_DATE, Val(DATE_STRUCT{2024, 3, 15}), ""},
    {"timestamp as time", "{ts '2024-03-15 10:20:30'}", SQL_TYPE_TIME, STRUCT, VT_TIME, Val(TIME_STRUCT{10, 20, 30}), ""},
    // Passed on as text.
    {"function escape", "{fn NOW()}", SQL_TYPE_TIMESTAMP, UNCHANGED, VT_CHAR, {}, ""},
    {"varchar", "{d '2024-03-15'}", SQL_VARCHAR, UNCHANGED, VT_CHAR, {}, ""},
    {"integer type", "{d '2024-03-15'}", SQL_INTEGER, UNCHANGED, VT_CHAR, {}, ""},
    {"no brace", "2024-03-15", SQL_TYPE_DATE, UNCHANGED, VT_CHAR, {}, ""},
    // Malformed escapes are refused, never zeros.
    {"letters", "{d 'abcd-ef-gh'}", SQL_TYPE_DATE, FAILS, VT_CHAR, {}, "22007"},
    {"missing day", "{d '2024-03'}", SQL_TYPE_DATE, FAILS, VT_CHAR, {}, "22007"},
    {"no quote", "{d 2024-03-15}", SQL_TYPE_DATE, FAILS, VT_CHAR, {}, "22007"},
    {"no closing brace", "{d '2024-03-15'", SQL_TYPE_DATE, FAILS, VT_CHAR, {}, "22007"},
    {"trailing junk", "{d '2024-03-15'} x", SQL_TYPE_DATE, FAILS, VT_CHAR, {}, "22007"},
    {"month 13", "{d '2024-13-01'}", SQL_TYPE_DATE, FAILS, VT_CHAR, {}, "22007"},
    {"mixed separators", "{d '2024-03/15'}", SQL_TYPE_DATE, FAILS, VT_CHAR, {}, "22007"},
    {"hour 24", "{t '24:00:00'}", SQL_TYPE_TIME, FAILS, VT_CHAR, {}, "22007"},
    {"timestamp no time", "{ts '2024-03-15'}", SQL_TYPE_TIMESTAMP, FAILS, VT_CHAR, {}, "22007"},
    {"empty fraction", "{ts '2024-03-15 10:20:30.'}", SQL_TYPE_TIMESTAMP, FAILS, VT_CHAR, {}, "22007"},
    {"year overflow", "{d '99999-01-01'}", SQL_TYPE_DATE, FAILS, VT_CHAR, {}, "22007"},
    {"malformed as own kind", "{t '10:x:30'}", 0, FAILS, VT_CHAR, {}, "22007"},
    {"time as date", "{t '10:20:30'}", SQL_TYPE_DATE, FAILS, VT_CHAR, {}, "07006"},
    {"date as time", "{d '2024-03-15'}", SQL_TYPE_TIME, FAILS, VT_CHAR, {}, "07006"},
};

class Escapes : public ::testing::TestWithParam<EscapeCase> {
protected:
    void SetUp() override { CONV_SetTodayHook(FixedToday); }
    void TearDown() override { CONV_SetTodayHook(nullptr); }
};

void CheckSent(const Sent &s, const EscapeCase &c, const Bytes &unchanged)
{
    switch (c.outcome) {
    case STRUCT:
        EXPECT_EQ(s.rc, 0);
        EXPECT_EQ(s.column.valueType, c.vt);
        EXPECT_EQ(s.column.width, c.value.size());
        EXPECT_EQ(Bytes(s.slot.begin(), s.slot.begin() + static_cast<long>(c.value.size())), c.value);
        break;
    case UNCHANGED:
        EXPECT_EQ(s.rc, 0);
        EXPECT_EQ(s.column.valueType, VT_CHAR);
        EXPECT_EQ(Bytes(s.slot.begin(), s.slot.begin() + static_cast<long>(unchanged.size())), unchanged);
        break;
    case FAILS:
        EXPECT_EQ(StateOf(s.rc), c.state);
        EXPECT_EQ(s.column.valueType, VT_CHAR);
        EXPECT_EQ(s.slot[0], kGuard);
        break;
    }
}

TEST_P(Escapes, Narrow)
{
    const EscapeCase &c = GetParam();
    CheckSent(SendNarrow(c.text, c.sqlType), c, Raw(c.text));
}

TEST_P(Escapes, Wide)
{
    const EscapeCase &c = GetParam();
    std::u16string w(c.text.begin(), c.text.end());  // the texts are ASCII
    Bytes raw(w.size() * 2);
    std::memcpy(raw.data(), w.data(), raw.size());
    CheckSent(SendWide(w, c.sqlType), c, raw);
}

INSTANTIATE_TEST_SUITE_P(Send, Escapes, ::testing::ValuesIn(kEscapes),
                         [](const ::testing::TestParamInfo<EscapeCase> &i) {
                             std::string n = i.param.label;
                             for (char &ch : n)
                                 if (!isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return n;
                         });

// A slot shorter than the struct keeps the text (the wide form of the same
// escape is long enough).
TEST(Escapes, ShortSlotKeepsText)
{
    Sent s = SendNarrow("{d '1-1-1'}", SQL_TYPE_TIMESTAMP);
    EXPECT_EQ(s.rc, 0);
    EXPECT_EQ(s.column.valueType, VT_CHAR);
    EXPECT_EQ(Bytes(s.slot.begin(), s.slot.begin() + 12), Concat(Raw("{d '1-1-1'}"), {kGuard}));
}

TEST(Escapes, WithoutColumn)
{
    Bytes slot(16, kGuard);
    const std::string text = "{d '2024-03-15'}";
    EXPECT_EQ(CharToDateTime(slot.data(), text.data(), text.size(), nullptr, SQL_TYPE_DATE), 0);
    EXPECT_EQ(Bytes(slot.begin(), slot.begin() + 6), Val(DATE_STRUCT{2024, 3, 15}));
}

struct NumericCase {
    SQL_NUMERIC_STRUCT num;
    std::string text;
};

const NumericCase kNumerics[] = {
    {Numeric(5, 2, 0, 12345), "-123.45"},
    {Numeric(5, 2, 1, 5), "0.05"},
    {Numeric(5, 0, 1, 0), "0"},
    {Numeric(5, 3, 0, 0), "0.000"},
    {Numeric(5, -3, 1, 42), "42000"},
    {Numeric(38, 0, 1, ~static_cast<unsigned __int128>(0)), "340282366920938463463374607431768211455"},
    {Numeric(38, 20, 1, static_cast<unsigned __int128>(1) << 64), "0.18446744073709551616"},
    {Numeric(38, 127, 0, 1), "-0." + std::string(126, '0') + "1"},
    {Numeric(38, -128, 1, 1), "1" + std::string(128, '0')},
};

// NUMERIC is sent as its exact decimal text, never through a double.
TEST(NumericToChar, ExactText)
{
    for (const NumericCase &c : kNumerics) {
        Bytes slot(NUMERIC_TEXT_MAX + 8, kGuard);
        size_t len = 0;
        ASSERT_EQ(NumericToChar(reinterpret_cast<char *>(slot.data()), NUMERIC_TEXT_MAX + 1, c.num, &len), 0)
            << c.text;
        EXPECT_EQ(len, c.text.size());
        EXPECT_LE(len, NUMERIC_TEXT_MAX);
        EXPECT_EQ(Bytes(slot.begin(), slot.begin() + static_cast<long>(len + 1)), Txt(c.text));
    }
}

TEST(NumericToChar, RefusesAShortSlot)
{
    Bytes slot(8, kGuard);
    size_t len = 0;
    EXPECT_EQ(StateOf(NumericToChar(reinterpret_cast<char *>(slot.data()), 4, Numeric(5, 2, 0, 12345), &len)),
              "22003");
    EXPECT_EQ(len, 7u);
    EXPECT_EQ(slot[0], kGuard);
    // Exactly the text's length: no terminator needed.
    EXPECT_EQ(NumericToChar(reinterpret_cast<char *>(slot.data()), 7, Numeric(5, 2, 0, 12345), &len), 0);
    EXPECT_EQ(Bytes(slot.begin(), slot.begin() + 8), Concat(Raw("-123.45"), {kGuard}));
}

TEST(GuidToChar, UpperCaseWithHyphens)
{
    SQLGUID g = {0x6F9619FF, 0x8B86, 0xD011, {0xB4, 0x2D, 0x00, 0xC0, 0x4F, 0xC9, 0x64, 0xFF}};
    Bytes slot(40, kGuard);
    GuidToChar(reinterpret_cast<char *>(slot.data()), g);
    EXPECT_EQ(Bytes(slot.begin(), slot.begin() + 37), Concat(Raw("6F9619FF-8B86-D011-B42D-00C04FC964FF"), {kGuard}));
}

TEST(HexToBinary, Pairs)
{
    struct Row {
        std::string text;
        const char *state;
        Bytes bytes;
    } rows[] = {
        {"0A", "", {0x0A}},
        {"0a0B", "", {0x0A, 0x0B}},
        {"", "", {}},
        {"0A0B1", "22018", {}},  // an odd digit would be lost
        {"0G", "22018", {}},
        {"zz", "22018", {}},
        {"0A 0", "22018", {}},
    };
    for (const Row &r : rows) {
        Bytes slot(8, kGuard);
        int rc = HexToBinary(slot.data(), r.text.data(), r.text.size());
        EXPECT_EQ(StateOf(rc), r.state) << r.text;
        if (rc == 0)
            EXPECT_EQ(Bytes(slot.begin(), slot.begin() + static_cast<long>(r.bytes.size() + 1)),
                      Concat(r.bytes, {kGuard}))
                << r.text;
        else
            EXPECT_EQ(slot[0], kGuard) << r.text;
    }
}

} // namespace

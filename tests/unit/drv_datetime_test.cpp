// Date and time texts of parameters: the three forms, partial forms,
// fractions scaled by their digit count, and refused texts and ranges.
#include "drv_jdbc/j-param.h"
#include "drv_jdbc/j-wrap-ps.h"

#include <gtest/gtest.h>

#include <string>

namespace {
struct Case {
    const char *text;
    bool ok;
    DrvTimestamp want;
};

const Case kCases[] = {
    {"2024-01-02 03:04:05.5", true, {2024, 1, 2, 3, 4, 5, 500000000}},
    {"2024-01-02 03:04:05.000123", true, {2024, 1, 2, 3, 4, 5, 123000}},
    {"2024-01-02 03:04:05.123456789", true, {2024, 1, 2, 3, 4, 5, 123456789}},
    {"2024-01-02 03:04:05.1234567891", true, {2024, 1, 2, 3, 4, 5, 123456789}},
    {"2024-01-02 03:04:05", true, {2024, 1, 2, 3, 4, 5, 0}},
    {"2024-12-31 10:11", true, {2024, 12, 31, 10, 11, 0, 0}},
    {"2024-12-31", true, {2024, 12, 31, 0, 0, 0, 0}},
    {"31.12.2024", true, {2024, 12, 31, 0, 0, 0, 0}},
    {"31.12.2024 23:59:58.25", true, {2024, 12, 31, 23, 59, 58, 250000000}},
    {"10:11:12", true, {0, 0, 0, 10, 11, 12, 0}},
    {"10:11", true, {0, 0, 0, 10, 11, 0, 0}},
    {"garbage", false, {0, 0, 0, 0, 0, 0, 0}},
    {"", false, {0, 0, 0, 0, 0, 0, 0}},
    {"2024", false, {0, 0, 0, 0, 0, 0, 0}},
    // The driver's own text of years outside 1 to 9999, ISO 'T', blanks.
    {"-0043-03-15", true, {-43, 3, 15, 0, 0, 0, 0}},
    {"12345-01-02 03:04", true, {12345, 1, 2, 3, 4, 0, 0}},
    {"0000-02-29", true, {0, 2, 29, 0, 0, 0, 0}},
    {"2024-01-02T03:04:05.5", true, {2024, 1, 2, 3, 4, 5, 500000000}},
    {" 2024-01-02  03:04 ", true, {2024, 1, 2, 3, 4, 0, 0}},
    {"10:11:12.25", true, {0, 0, 0, 10, 11, 12, 250000000}},
    {"2000-02-29", true, {2000, 2, 29, 0, 0, 0, 0}},
    // Values a lenient calendar would move to another day, and text left
    // over, are refused rather than changed.
    {"2023-02-29", false, {0, 0, 0, 0, 0, 0, 0}},
    {"1900-02-29", false, {0, 0, 0, 0, 0, 0, 0}},
    {"2024-04-31", false, {0, 0, 0, 0, 0, 0, 0}},
    {"2024-13-01", false, {0, 0, 0, 0, 0, 0, 0}},
    {"2024-00-10", false, {0, 0, 0, 0, 0, 0, 0}},
    {"32.01.2024", false, {0, 0, 0, 0, 0, 0, 0}},
    {"2024-01-02 24:00", false, {0, 0, 0, 0, 0, 0, 0}},
    {"2024-01-02 10:60", false, {0, 0, 0, 0, 0, 0, 0}},
    {"10:11:60", false, {0, 0, 0, 0, 0, 0, 0}},
    {"2024-01-02 garbage", false, {0, 0, 0, 0, 0, 0, 0}},
    {"0044-03-15 BC", false, {0, 0, 0, 0, 0, 0, 0}},
    {"2024-01-02 03:04:05.", false, {0, 0, 0, 0, 0, 0, 0}},
    {"2024-01-02T", false, {0, 0, 0, 0, 0, 0, 0}},
    {"99999-01-01", false, {0, 0, 0, 0, 0, 0, 0}},
    {"123456-01-01", false, {0, 0, 0, 0, 0, 0, 0}},
    {"-10:11", false, {0, 0, 0, 0, 0, 0, 0}},
};

class DateTimeText : public ::testing::TestWithParam<Case> {};

TEST_P(DateTimeText, Parses)
{
    const Case &c = GetParam();
    DrvTimestamp t{1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(parseDateTime(c.text, &t), c.ok);
    EXPECT_EQ(t.year, c.want.year);
    EXPECT_EQ(t.month, c.want.month);
    EXPECT_EQ(t.day, c.want.day);
    EXPECT_EQ(t.hour, c.want.hour);
    EXPECT_EQ(t.minute, c.want.minute);
    EXPECT_EQ(t.second, c.want.second);
    EXPECT_EQ(t.fraction, c.want.fraction);
}

INSTANTIATE_TEST_SUITE_P(Table, DateTimeText, ::testing::ValuesIn(kCases));

TEST(DateTimeText, NullIsNoForm)
{
    DrvTimestamp t{};
    EXPECT_FALSE(parseDateTime(nullptr, &t));
}

TEST(JdbcTypes, OdbcTypesMapToJdbcCodes)
{
    const int32_t pairs[][2] = {{9, 91},  {10, 92}, {11, 93}, {91, 91}, {-9, 12}, {-8, 1},
                                {-10, -1}, {6, 8},   {4, 4},   {-5, -5}, {-7, -7}, {2, 2}};
    for (auto &p : pairs)
        EXPECT_EQ(jdbcTypeOfOdbc(p[0]), p[1]) << p[0];
}
} // namespace

// The writer of texts into application buffers (Unicode build): narrow and
// UTF-16 text, sizes in bytes or characters, cuts, lengths at their widths,
// and the reader of text values.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "odbc/errors.h"
#include "odbc/contract/textout.h"

namespace {

// ---- narrow ----------------------------------------------------------------

struct NarrowCase {
    const char *text;
    int64_t size;
    int rc;
    int64_t len;          // -99: not written
    const char *written;  // nullptr: the buffer untouched
};

TEST(TextOut, NarrowSizesAndLengths)
{
    const NarrowCase cases[] = {
        {"hello", 5, ERR_DATA_TRUNCATED, 5, "hell"},
        {"hello", 6, 0, 5, "hello"},
        {"hello", 100, 0, 5, "hello"},
        {"hello", 1, ERR_DATA_TRUNCATED, 5, ""},
        {"hello", 0, ERR_DATA_TRUNCATED, 5, nullptr},  // no room for the terminator
        {"", 1, 0, 0, ""},
        {"", 0, ERR_DATA_TRUNCATED, 0, nullptr},
        {nullptr, 4, 0, 0, ""},                        // no text reads as ""
        {"hello", -1, ERR_INVALID_LENGTH, -99, nullptr},
        {"hello", -2, ERR_INVALID_LENGTH, -99, nullptr},
    };
    for (const NarrowCase &c : cases) {
        for (int lenBytes : {2, 4, 8}) {
            char buf[16];
            std::memset(buf, '#', sizeof buf);
            int16_t len16 = -99;
            int32_t len32 = -99;
            int64_t len64 = -99;
            TextOut o = lenBytes == 2   ? TXT_Out('A', TC_BYTES, buf, c.size, &len16)
                        : lenBytes == 4 ? TXT_Out('A', TC_BYTES, buf, c.size, &len32)
                                        : TXT_Out('A', TC_BYTES, buf, c.size, &len64);
            EXPECT_EQ(TXT_Put(c.text, o), c.rc) << c.size << " " << lenBytes;
            const int64_t len = lenBytes == 2 ? len16 : lenBytes == 4 ? len32 : len64;
            EXPECT_EQ(len, c.len) << c.size << " " << lenBytes;
            if (c.written)
                EXPECT_STREQ(buf, c.written);
            else
                EXPECT_EQ(buf[0], '#');
        }
    }
}

TEST(TextOut, ANullBufferAsksForTheLengthOnly)
{
    int16_t len = 0;
    EXPECT_EQ(TXT_Put("hello", TXT_Out('A', TC_BYTES, nullptr, 0, &len)), 0);
    EXPECT_EQ(len, 5);
    EXPECT_EQ(TXT_Put("hello", TXT_Out('W', TC_BYTES, nullptr, 0, &len)), 0);
    EXPECT_EQ(len, 10);
    EXPECT_EQ(TXT_Put("hello", TXT_Out('W', TC_CHARS, nullptr, 0, &len)), 0);
    EXPECT_EQ(len, 5);
    char buf[8];
    EXPECT_EQ(TXT_Put("xy", TXT_Out('A', TC_BYTES, buf, sizeof buf)), 0);
    EXPECT_STREQ(buf, "xy");
}

TEST(TextOut, LengthsAreClampedToTheirWidthNeverWrapped)
{
    std::string big(70000, 'a');
    int16_t len16 = 0;
    int32_t len32 = 0;
    int64_t len64 = 0;
    EXPECT_EQ(TXT_Put(big.c_str(), TXT_Out('A', TC_BYTES, nullptr, 0, &len16)), 0);
    EXPECT_EQ(len16, INT16_MAX);
    EXPECT_EQ(TXT_Put(big.c_str(), TXT_Out('W', TC_BYTES, nullptr, 0, &len16)), 0);
    EXPECT_EQ(len16, INT16_MAX);
    EXPECT_EQ(TXT_Put(big.c_str(), TXT_Out('W', TC_BYTES, nullptr, 0, &len32)), 0);
    EXPECT_EQ(len32, 140000);
    EXPECT_EQ(TXT_Put(big.c_str(), TXT_Out('A', TC_BYTES, nullptr, 0, &len64)), 0);
    EXPECT_EQ(len64, 70000);
    TextOut o = TXT_Out('A', TC_BYTES, nullptr, 0, &len32);
    TXT_PutLen(o, int64_t{1} << 40);
    EXPECT_EQ(len32, INT32_MAX);
}

TEST(TextOut, NarrowUsesTheWholeBufferBeyondSixteenBits)
{
    std::string big(40009, 'a');
    std::string buf(200000, '#');
    int32_t len = 0;
    EXPECT_EQ(TXT_Put(big.c_str(), TXT_Out('A', TC_BYTES, &buf[0], 200000, &len)), 0);
    EXPECT_EQ(len, 40009);
    EXPECT_TRUE(buf.compare(0, 40010, big + std::string(1, '\0')) == 0);
    EXPECT_EQ(TXT_Put(big.c_str(), TXT_Out('A', TC_BYTES, &buf[0], 40009, &len)), ERR_DATA_TRUNCATED);
    EXPECT_EQ(len, 40009);
    EXPECT_EQ(buf[40008], '\0');
}

TEST(TextOut, UnicodeBuildCutsNarrowTextBetweenCharacters)
{
    // "aé€" is 1 + 2 + 3 bytes of UTF-8.
    const char *text = "a\xC3\xA9\xE2\x82\xAC";
    const struct {
        int64_t size;
        const char *written;
    } cases[] = {{2, "a"}, {3, "a"}, {4, "a\xC3\xA9"}, {5, "a\xC3\xA9"}, {6, "a\xC3\xA9"}, {7, text}};
    for (const auto &c : cases) {
        char buf[8];
        int16_t len = 0;
        EXPECT_EQ(TXT_Put(text, TXT_Out('A', TC_BYTES, buf, c.size, &len)), c.size == 7 ? 0 : ERR_DATA_TRUNCATED);
        EXPECT_STREQ(buf, c.written) << c.size;
        EXPECT_EQ(len, 6);
    }
}

// ---- wide ------------------------------------------------------------------

std::u16string Units(const SQLWCHAR *w)
{
    return std::u16string(reinterpret_cast<const char16_t *>(w));
}

TEST(TextOut, WideInBytesAndInCharacters)
{
    const struct {
        TextCount count;
        int64_t size;
        int rc;
        int16_t len;
        const char16_t *written;
    } cases[] = {
        {TC_BYTES, 12, 0, 10, u"hello"},
        {TC_BYTES, 11, ERR_DATA_TRUNCATED, 10, u"hell"},  // an odd byte is no room
        {TC_BYTES, 10, ERR_DATA_TRUNCATED, 10, u"hell"},
        {TC_BYTES, 2, ERR_DATA_TRUNCATED, 10, u""},
        {TC_BYTES, 1, ERR_DATA_TRUNCATED, 10, nullptr},
        {TC_BYTES, 0, ERR_DATA_TRUNCATED, 10, nullptr},
        {TC_BYTES, -1, ERR_INVALID_LENGTH, -99, nullptr},
        {TC_CHARS, 6, 0, 5, u"hello"},
        {TC_CHARS, 5, ERR_DATA_TRUNCATED, 5, u"hell"},
        {TC_CHARS, 1, ERR_DATA_TRUNCATED, 5, u""},
        {TC_CHARS, 0, ERR_DATA_TRUNCATED, 5, nullptr},
        {TC_CHARS, -3, ERR_INVALID_LENGTH, -99, nullptr},
    };
    for (const auto &c : cases) {
        SQLWCHAR buf[8];
        for (SQLWCHAR &u : buf)
            u = u'#';
        SQLSMALLINT len = -99;
        EXPECT_EQ(TXT_Put("hello", TXT_Out('W', c.count, buf, c.size, &len)), c.rc) << c.count << " " << c.size;
        EXPECT_EQ(len, c.len) << c.count << " " << c.size;
        if (c.written)
            EXPECT_TRUE(Units(buf) == c.written) << c.count << " " << c.size;
        else
            EXPECT_EQ(buf[0], u'#') << c.count << " " << c.size;
    }
}

TEST(TextOut, WideNeverSplitsASurrogatePair)
{
    // "a" U+1F31C "b": four UTF-16 units, the middle two a pair.
    const char *text = "a\xF0\x9F\x8C\x9C" "b";
    const struct {
        int64_t chars;
        const char16_t *written;
    } cases[] = {{2, u"a"}, {3, u"a"}, {4, u"a\U0001F31C"}, {5, u"a\U0001F31C" u"b"}};
    for (const auto &c : cases) {
        SQLWCHAR buf[8];
        SQLINTEGER len = 0;
        EXPECT_EQ(TXT_Put(text, TXT_Out('W', TC_CHARS, buf, c.chars, &len)), c.chars == 5 ? 0 : ERR_DATA_TRUNCATED);
        EXPECT_TRUE(Units(buf) == c.written) << c.chars;
        EXPECT_EQ(len, 4);
    }
}

// ---- the rest --------------------------------------------------------------

TEST(TextOut, PostedAnswers)
{
    ErrQueue q{};
    EXPECT_EQ(TXT_Post(&q, 0), SQL_SUCCESS);
    EXPECT_EQ(q.errNum, ERR_NONE);
    EXPECT_EQ(TXT_Post(&q, ERR_DATA_TRUNCATED), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(q.errNum, ERR_DATA_TRUNCATED);
    EXPECT_EQ(TXT_Post(&q, ERR_INVALID_LENGTH), SQL_ERROR);
    EXPECT_EQ(q.errNum, ERR_INVALID_LENGTH);
}

TEST(TextOut, WorkSizesHoldWhatTheOutputTakes)
{
    char buf[4];
    EXPECT_EQ(TXT_WorkSize(TXT_Out('A', TC_BYTES, buf, 70000)), 70000);
    EXPECT_EQ(TXT_WorkSize(TXT_Out('A', TC_BYTES, nullptr, 70000)), 1);
    EXPECT_EQ(TXT_WorkSize(TXT_Out('A', TC_BYTES, buf, 0)), 1);
    EXPECT_EQ(TXT_WorkSize(TXT_Out('W', TC_CHARS, buf, 10)), 41);
    EXPECT_EQ(TXT_WorkSize(TXT_Out('W', TC_BYTES, buf, 10)), 21);
    EXPECT_EQ(TXT_WorkSize(TXT_Out('W', TC_CHARS, buf, 0x7FFFFFF0)), 65537);
}

TEST(TextOut, TextValuesReadNarrowAndWide)
{
    auto in = [](const void *v, int64_t len, int width) {
        char *t = TXT_In(v, len, width);
        std::string s = t ? t : "<null>";
        std::free(t);
        return s;
    };
    EXPECT_EQ(in("catalog", SQL_NTS, 'A'), "catalog");
    EXPECT_EQ(in("catalog", 3, 'A'), "cat");
    EXPECT_EQ(in("catalog", 0, 'A'), "");
    EXPECT_EQ(in("catalog", -5, 'A'), "<null>");
    EXPECT_EQ(in(nullptr, SQL_NTS, 'A'), "<null>");
    const char16_t wide[] = u"caf\u00e9";
    EXPECT_EQ(in(wide, SQL_NTS, 'W'), "caf\xC3\xA9");
    EXPECT_EQ(in(wide, 6, 'W'), "caf");
    EXPECT_EQ(in(wide, 7, 'W'), "caf");  // the odd byte is dropped
    EXPECT_EQ(in(wide, 8, 'W'), "caf\xC3\xA9");
    EXPECT_EQ(in(wide, -1, 'W'), "<null>");
}

} // namespace

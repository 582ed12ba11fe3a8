// UTF-16 <-> UTF-8 conversion, counting and case mapping.
#include "util/utf8.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "util/codepage.h"

namespace {

constexpr int64_t kNTS = -3;

std::string Dup8(const std::u16string &w) {
    char *p = UTF8_DupFromWideN(w.data(), static_cast<int64_t>(w.size()));
    if (!p) return "<null>";
    std::string s(p);
    std::free(p);
    return s;
}

std::u16string Dup16(const std::string &s) {
    char16_t *p = UTF8_DupToWideN(s.data(), static_cast<int64_t>(s.size()));
    if (!p) return u"<null>";
    std::u16string w(p);
    std::free(p);
    return w;
}

const char16_t kHigh = 0xD83D, kLow = 0xDE00;  // U+1F600

// ---- encoding ----

struct EncodeCase {
    const char *name;
    std::u16string wide;
    std::string utf8;
};

// A case prints as its name (its texts are in the test name already).
void PrintTo(const EncodeCase &c, std::ostream *os) { *os << c.name; }

class EncodeTable : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTable, EncodesAndCounts) {
    const auto &c = GetParam();
    EXPECT_EQ(c.utf8, Dup8(c.wide));
    EXPECT_EQ(static_cast<int64_t>(c.utf8.size()), UTF8_LenFromWide(c.wide.data(), kNTS));
    EXPECT_EQ(static_cast<int64_t>(c.utf8.size()),
              UTF8_LenFromWide(c.wide.data(), static_cast<int64_t>(c.wide.size())));
    char *nts = UTF8_DupFromWide(c.wide.c_str());
    ASSERT_NE(nullptr, nts);
    EXPECT_EQ(c.utf8, nts);
    std::free(nts);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodeTable,
    ::testing::Values(EncodeCase{"ascii", u"Ab1", "Ab1"},
                      EncodeCase{"two_byte", u"\u00E9", "\xC3\xA9"},
                      EncodeCase{"two_byte_top", u"\u07FF", "\xDF\xBF"},
                      EncodeCase{"three_byte", u"\u20AC", "\xE2\x82\xAC"},
                      EncodeCase{"three_byte_bottom", u"\u0800", "\xE0\xA0\x80"},
                      EncodeCase{"three_byte_top", u"\uFFFF", "\xEF\xBF\xBF"},
                      EncodeCase{"pair", std::u16string{kHigh, kLow}, "\xF0\x9F\x98\x80"},
                      EncodeCase{"last_pair", u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
                      EncodeCase{"lone_high", std::u16string{kHigh, u'A'}, "\xEF\xBF\xBD" "A"},
                      EncodeCase{"lone_low", std::u16string{kLow}, "\xEF\xBF\xBD"},
                      EncodeCase{"swapped_pair", std::u16string{kLow, kHigh}, "\xEF\xBF\xBD\xEF\xBF\xBD"}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- decoding ----

struct DecodeCase {
    const char *name;
    std::string utf8;
    std::u16string wide;
};

void PrintTo(const DecodeCase &c, std::ostream *os) { *os << c.name; }

class DecodeTable : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTable, DecodesAndCounts) {
    const auto &c = GetParam();
    EXPECT_EQ(c.wide, Dup16(c.utf8));
    EXPECT_EQ(static_cast<int64_t>(c.wide.size()), UTF8_CharCount(c.utf8.c_str(), kNTS));
    char16_t *nts = UTF8_DupToWide(c.utf8.c_str());
    ASSERT_NE(nullptr, nts);
    EXPECT_EQ(c.wide, std::u16string(nts));
    std::free(nts);
    std::u16string buf(c.wide.size() + 4, u'#');
    EXPECT_EQ(static_cast<int64_t>(c.wide.size()),
              UTF8_ToWide(c.utf8.c_str(), &buf[0], static_cast<int64_t>(buf.size())));
    EXPECT_EQ(u'#', buf[c.wide.size()]) << "no terminator written";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeTable,
    ::testing::Values(
        DecodeCase{"ascii", "Ab1", u"Ab1"},
        DecodeCase{"two_byte", "\xC3\xA9", u"\u00E9"},
        DecodeCase{"three_byte", "\xE2\x82\xAC", u"\u20AC"},
        DecodeCase{"four_byte", "\xF0\x9F\x98\x80", std::u16string{kHigh, kLow}},
        DecodeCase{"encoded_pair", "\xED\xA0\xBD\xED\xB8\x80", std::u16string{kHigh, kLow}},
        DecodeCase{"encoded_lone_high", "\xED\xA0\xBD" "A", u"\uFFFD" "A"},
        DecodeCase{"encoded_lone_low", "\xED\xB8\x80", u"\uFFFD"},
        DecodeCase{"broken_sequence", "ab\xC3" "c", u"ab\uFFFD" "c"},
        DecodeCase{"stray_continuation", "a\x80" "b", u"a\uFFFD" "b"},
        DecodeCase{"bad_start_byte", "\xFF" "a", u"\uFFFD" "a"},
        DecodeCase{"overlong_nul", "\xC0\x80", u"\uFFFD\uFFFD"},
        DecodeCase{"overlong_three", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
        DecodeCase{"above_10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        DecodeCase{"cut_before_nul", "a\xF0\x9F\x98", u"a\uFFFD"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Utf8RoundTrip, EveryBmpCharacterAndSomePairs) {
    std::u16string w;
    for (uint32_t u = 1; u < 0x10000; ++u)
        if (u < 0xD800 || u > 0xDFFF) w += static_cast<char16_t>(u);
    w += u"\U00010000\U0001F600\U0010FFFF";
    std::string s = Dup8(w);
    EXPECT_EQ(w, Dup16(s));
}

// ---- lengths ----

TEST(Utf8Lengths, NtsAndExplicitLengths) {
    const std::u16string w = u"h\u00E9llo";
    char *p = UTF8_DupFromWideN(w.c_str(), 2);
    ASSERT_NE(nullptr, p);
    EXPECT_STREQ("h\xC3\xA9", p);
    std::free(p);
    p = UTF8_DupFromWideN(w.c_str(), kNTS);
    EXPECT_STREQ("h\xC3\xA9llo", p);
    std::free(p);

    char16_t *q = UTF8_DupToWideN("h\xC3\xA9llo", 3);
    ASSERT_NE(nullptr, q);
    EXPECT_EQ(u"h\u00E9", std::u16string(q));
    std::free(q);
    q = UTF8_DupToWideN("h\xC3\xA9llo", 2);  // cuts é: its first byte alone
    EXPECT_EQ(u"h\uFFFD", std::u16string(q));
    std::free(q);
}

TEST(Utf8Lengths, CountsFollowTheirRules) {
    EXPECT_EQ(1, UTF8_CharCount("\xC3\xA9" "A", 1));
    EXPECT_EQ(2, UTF8_CharCount("\xC3\xA9" "A", kNTS));
    EXPECT_EQ(0, UTF8_CharCount("\0abc", 4));
    EXPECT_EQ(2, UTF8_CharCount("\xF0\x9F\x98\x80", kNTS));  // a pair
    const char16_t zeros[] = {0x41, 0, 0x42};
    EXPECT_EQ(3, UTF8_LenFromWide(zeros, 3));
    EXPECT_EQ(3, UC_StrLen(u"abc"));
}

TEST(Utf8Lengths, BadLengthsAndNullsAreRefused) {
    EXPECT_EQ(nullptr, UTF8_DupFromWideN(u"abc", -1));
    EXPECT_EQ(nullptr, UTF8_DupToWideN("abc", -5));
    EXPECT_EQ(nullptr, UTF8_DupFromWide(static_cast<const char16_t *>(nullptr)));
    EXPECT_EQ(nullptr, UTF8_DupToWide(nullptr));
    EXPECT_EQ(0, UTF8_LenFromWide(static_cast<const char16_t *>(nullptr), kNTS));
    EXPECT_EQ(0, UTF8_CharCount(nullptr, kNTS));
    EXPECT_EQ(0, UC_StrLen(static_cast<const char16_t *>(nullptr)));
    char16_t w[2];
    EXPECT_EQ(0, UTF8_ToWide(nullptr, w, 2));
    char b[2];
    EXPECT_EQ(0, UTF8_FromWide(static_cast<const char16_t *>(nullptr), b, 2));
}

// ---- bounded encoding and decoding ----

TEST(Utf8Bounded, FromWideStopsBeforeACharacterThatDoesNotFit) {
    struct Case {
        std::u16string wide;
        int64_t budget;
        std::string out;
    } cases[] = {
        {u"a\u00E9", 2, "a"},
        {u"a\u20AC", 3, "a"},
        {u"a\U0001F600", 4, "a"},
        {u"a\U0001F600", 5, "a\xF0\x9F\x98\x80"},
    };
    for (const auto &c : cases) {
        char buf[8] = {};
        int64_t b = UTF8_FromWide(c.wide.c_str(), buf, c.budget);
        EXPECT_EQ(c.out, std::string(buf, static_cast<size_t>(b))) << c.budget;
    }
}

TEST(Utf8Bounded, FromWideNLeavesATrailingHighSurrogateForTheNextPiece) {
    const char16_t w[] = {u'a', kHigh, kLow, u'b'};
    char buf[16];
    int64_t used = -1;
    EXPECT_EQ(1, UTF8_FromWideN(w, buf, 2, 16, &used));
    EXPECT_EQ(1, used);
    EXPECT_EQ(5, UTF8_FromWideN(w + 1, buf, 3, 16, &used));  // the pair whole, then "b"
    EXPECT_EQ(3, used);
    EXPECT_EQ(0, std::memcmp("\xF0\x9F\x98\x80" "b", buf, 5));
    const char16_t z[] = {u'a', 0, u'b'};
    EXPECT_EQ(3, UTF8_FromWideN(z, buf, 3, 16, &used));  // zero units like any other
    EXPECT_EQ(0, std::memcmp("a\0b", buf, 3));
    // A piece that ends in a high surrogate whose partner never comes.
    char *p = UTF8_DupFromWideN(w, 2);
    EXPECT_STREQ("a\xEF\xBF\xBD", p);
    std::free(p);
}

TEST(Utf8Bounded, ToWideNStopsBeforeACutSequenceAndNeverSplitsAPair) {
    const char s[] = "a\xE2\x82\xAC" "\xF0\x9F\x98\x80";
    char16_t buf[8];
    int64_t used = -1;
    EXPECT_EQ(1, UTF8_ToWideN(s, buf, 3, 8, &used));  // € cut by the byte limit
    EXPECT_EQ(1, used);
    EXPECT_EQ(2, UTF8_ToWideN(s, buf, 4, 8, &used));
    EXPECT_EQ(4, used);
    EXPECT_EQ(2, UTF8_ToWideN(s, buf, 8, 3, &used));  // the pair needs 2 units, 1 left
    EXPECT_EQ(4, used);
    EXPECT_EQ(3, UTF8_ToWideN("a\0b", buf, 3, 8, &used));  // NUL decoded like any byte
    EXPECT_EQ(0, buf[1]);
    EXPECT_EQ(2, UTF8_ToWide(s + 4, buf, 2));
    EXPECT_EQ(0, UTF8_ToWide(s + 4, buf, 1));
}

// ---- buffer forms ----

// Every piece length and room over texts mixing 7-bit runs of many lengths
// with longer sequences: the bounded forms agree with the whole decode and
// stop only between characters.
TEST(Utf8Bounded, RunsOfAsciiAgreeWithTheWholeText) {
    const std::string texts[] = {
        "plain ASCII text that runs past several eight-byte words",
        "abcdefgh\xC3\xA9ijklmnopqrstu\xE2\x82\xACvwxyz0123456\xF0\x9F\x98\x80" "789",
        "\xC3\xA9" "abcdefghijklmno\xFF" "pqrstuvw\xE2\x82" "xyz",  // a bad byte and a cut sequence
    };
    for (const std::string &text : texts) {
        const std::u16string whole = Dup16(text);
        const auto m = static_cast<int64_t>(text.size());
        ASSERT_EQ(UTF8_CharCount(text.c_str(), kNTS), static_cast<int64_t>(whole.size()));
        for (int64_t room = 0; room <= static_cast<int64_t>(whole.size()) + 1; ++room) {
            std::u16string out(static_cast<size_t>(room) + 1, u'#');
            int64_t used = -1;
            const int64_t got = UTF8_ToWideAll(text.data(), m, &out[0], room, &used);
            ASSERT_LE(got, room);
            EXPECT_EQ(out.substr(0, static_cast<size_t>(got)), whole.substr(0, static_cast<size_t>(got))) << room;
            EXPECT_EQ(out[static_cast<size_t>(got)], u'#') << "nothing beyond the units reported";
            // The bytes used decode to exactly the units written.
            EXPECT_EQ(UTF8_ToWideAll(text.data(), used, static_cast<char16_t *>(nullptr), 0, nullptr), got) << room;
            if (room >= static_cast<int64_t>(whole.size())) {
                EXPECT_EQ(used, m);
            }
        }
        for (int64_t piece = 0; piece <= m; ++piece) {
            std::u16string out(whole.size() + 1, u'#');
            int64_t used = -1;
            const int64_t got = UTF8_ToWideN(text.data(), &out[0], piece, static_cast<int64_t>(out.size()), &used);
            EXPECT_EQ(out.substr(0, static_cast<size_t>(got)), whole.substr(0, static_cast<size_t>(got))) << piece;
            EXPECT_LE(used, piece);
        }
        const std::u16string back = whole;
        for (int64_t budget = 0; budget <= m + 1; ++budget) {
            std::string out(static_cast<size_t>(budget) + 1, '#');
            int64_t units = -1;
            const int64_t b = UTF8_FromWideAll(back.data(), static_cast<int64_t>(back.size()), &out[0], budget, 0, &units);
            ASSERT_LE(b, budget);
            EXPECT_EQ(out.substr(0, static_cast<size_t>(b)), Dup8(back.substr(0, static_cast<size_t>(units)))) << budget;
            EXPECT_EQ(out[static_cast<size_t>(b)], '#');
        }
    }
}

TEST(Utf8Whole, DecodesEveryByteIncludingNuls) {
    struct Case {
        std::string in;
        std::u16string out;
    } cases[] = {
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {std::string("\0\0", 2), std::u16string(2, u'\0')},
        {"x\xE2\x82", u"x\uFFFD"},  // cut off by the end
        {"\xC3\xA9\xFF", u"\u00E9\uFFFD"},
        {"", u""},
    };
    for (const Case &c : cases) {
        const auto m = static_cast<int64_t>(c.in.size());
        int64_t used = -1;
        EXPECT_EQ(UTF8_ToWideAll(c.in.data(), m, static_cast<char16_t *>(nullptr), 0, &used),
                  static_cast<int64_t>(c.out.size()));
        EXPECT_EQ(used, m);
        std::u16string out(c.out.size(), u'#');
        EXPECT_EQ(UTF8_ToWideAll(c.in.data(), m, &out[0], static_cast<int64_t>(out.size()), &used),
                  static_cast<int64_t>(c.out.size()));
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(used, m);
    }
    char16_t buf[2];
    EXPECT_EQ(UTF8_ToWideAll<char16_t>(nullptr, 3, buf, 2, nullptr), 0);
    EXPECT_EQ(UTF8_ToWideAll("abc", -3, buf, 2, nullptr), 0) << "no SQL_NTS: the length is exact";
    EXPECT_EQ(UTF8_ToWideAll("abc", 3, buf, -1, nullptr), 0);
}

TEST(Utf8Whole, EncodesLoneSurrogatesAsTheGivenCharacter) {
    struct Case {
        std::u16string in;
        char lone;
        std::string out;
    } cases[] = {
        {std::u16string(u"a\0b", 3), '?', std::string("a\0b", 3)},
        {std::u16string{u'a', char16_t(0xD83D), u'b'}, '?', "a?b"},
        {std::u16string{char16_t(0xDE00)}, '?', "?"},
        {std::u16string{u'a', char16_t(0xD83D)}, '?', "a?"},  // high at the end
        {std::u16string{u'a', char16_t(0xD83D)}, 0, "a\xEF\xBF\xBD"},
        {u"\U0001F600\u00E9", '?', "\xF0\x9F\x98\x80\xC3\xA9"},
    };
    for (const Case &c : cases) {
        const auto n = static_cast<int64_t>(c.in.size());
        int64_t units = -1;
        EXPECT_EQ(UTF8_FromWideAll(c.in.data(), n, nullptr, 0, c.lone, &units), static_cast<int64_t>(c.out.size()));
        EXPECT_EQ(units, n);
        std::string out(c.out.size(), '#');
        EXPECT_EQ(UTF8_FromWideAll(c.in.data(), n, &out[0], static_cast<int64_t>(out.size()), c.lone, &units),
                  static_cast<int64_t>(c.out.size()));
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(units, n);
    }
}

TEST(Utf8Buffers, FromWideBuf) {
    struct Case {
        std::u16string wide;
        int64_t size;
        int rc;
        int64_t out;
        std::string text;
    } cases[] = {
        {u"\u00E9\u20AC", 4, -1, 2, "\xC3\xA9"},
        {u"\u00E9\u20AC", 5, -1, 2, "\xC3\xA9"},
        {u"\u00E9\u20AC", 6, 0, 5, "\xC3\xA9\xE2\x82\xAC"},
        {u"\U0001F600", 4, -1, 0, ""},
        {u"\U0001F600", 5, 0, 4, "\xF0\x9F\x98\x80"},
        {u"x", 1, -1, 0, ""},
    };
    for (const auto &c : cases) {
        char buf[16];
        std::memset(buf, '#', sizeof buf);
        int64_t out = -9;
        EXPECT_EQ(c.rc, UTF8_FromWideBuf(c.wide.c_str(), buf, c.size, &out)) << c.size;
        EXPECT_EQ(c.out, out);
        EXPECT_EQ(c.text, std::string(buf));
        EXPECT_EQ('#', buf[c.size]) << "wrote past the buffer";
    }
    char buf[2] = {'#', '#'};
    int64_t out = -9;
    EXPECT_EQ(-1, UTF8_FromWideBuf(u"x", buf, 0, &out));
    EXPECT_EQ('#', buf[0]);
    EXPECT_EQ(-9, out);
}

TEST(Utf8Buffers, ToWideBufBytes) {
    const char *ten = "abcdefghij";
    char16_t buf[16];
    int64_t out = -9;
    EXPECT_EQ(-1, UTF8_ToWideBufBytes(ten, buf, 10, &out));
    EXPECT_EQ(10, out);
    EXPECT_EQ(u"abcd", std::u16string(buf));
    EXPECT_EQ(0, UTF8_ToWideBufBytes(ten, static_cast<char16_t *>(nullptr), 0, &out));
    EXPECT_EQ(10, out);
    EXPECT_EQ(0, UTF8_ToWideBufBytes(ten, buf, 22, &out));
    EXPECT_EQ(u"abcdefghij", std::u16string(buf));
    EXPECT_EQ(-1, UTF8_ToWideBufBytes(static_cast<const char *>(nullptr), buf, 22, &out));

    // A pair is never split at the edge: 3 units of room hold "a" only.
    const char *pair = "a\xF0\x9F\x98\x80";
    std::u16string b(6, u'#');
    EXPECT_EQ(-1, UTF8_ToWideBufBytes(pair, &b[0], 6, &out));
    EXPECT_EQ(3, out);
    EXPECT_EQ(u'a', b[0]);
    EXPECT_EQ(0, b[1]);
    EXPECT_EQ(u'#', b[3]);
    EXPECT_EQ(0, UTF8_ToWideBufBytes(pair, &b[0], 8, &out));
    EXPECT_EQ((std::u16string{u'a', kHigh, kLow}), std::u16string(b.c_str()));

    // Sizes below 2 write nothing.
    b.assign(2, u'#');
    EXPECT_EQ(-1, UTF8_ToWideBufBytes("a", &b[0], 1, &out));
    EXPECT_EQ(u'#', b[0]);
}

TEST(Utf8Buffers, ToWideBufInCharacters) {
    struct Case {
        const char *text;
        int64_t size;
        int rc;
        int64_t out;
        std::u16string wide;
    } cases[] = {
        {"abc", 4, 0, 3, u"abc"},
        {"abc", 3, -1, 2, u"ab"},
        {"\xC3\xA9\xE2\x82\xAC", 2, -1, 1, u"\u00E9"},
        {"a\xF0\x9F\x98\x80", 3, -1, 1, u"a"},
        {"a\xF0\x9F\x98\x80", 4, 0, 3, u"a\U0001F600"},
        {"abc", 1, -1, 0, u""},
    };
    for (const auto &c : cases) {
        std::u16string buf(8, u'#');
        int64_t out = -9;
        EXPECT_EQ(c.rc, UTF8_ToWideBuf(c.text, &buf[0], c.size, &out)) << c.text << " " << c.size;
        EXPECT_EQ(c.out, out);
        EXPECT_EQ(c.wide, std::u16string(buf.c_str()));
        EXPECT_EQ(u'#', buf[c.size]);
    }
    char16_t one = u'#';
    EXPECT_EQ(-1, UTF8_ToWideBuf("abc", &one, 0, nullptr));
    EXPECT_EQ(u'#', one);
}

TEST(Utf8Buffers, CopyForms) {
    std::u16string buf(6, u'#');
    UTF8_ToWideCopy(&buf[0], "ab\xF0\x9F\x98\x80", 4);  // room 3: "ab", the pair would split
    EXPECT_EQ(u"ab", std::u16string(buf.c_str()));
    buf.assign(6, u'#');
    UTF8_ToWideCopy(&buf[0], "abc", 0);
    EXPECT_EQ(u'#', buf[0]);
    UTF8_ToWideCopyAll(&buf[0], "x\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(u"x\u00E9\U0001F600", std::u16string(buf.c_str()));
}

class Utf8FromAnsi : public ::testing::Test {
protected:
    void TearDown() override { CP_SetAnsiCodeset(nullptr); }
};

TEST_F(Utf8FromAnsi, ConvertsFromTheCodePage) {
    struct Case {
        const char *codeset;
        const char *ansi;
        int64_t n;
        std::string out;
    } cases[] = {
        {"UTF-8", "h\xC3\xA9", 8, "h\xC3\xA9"},
        {"ISO-8859-1", "h\xE9", 8, "h\xC3\xA9"},
        {"ISO-8859-1", "h\xE9", 3, "h"},  // é needs 2 bytes, 1 left: not split
        {"CP932", "\x82\xA0", 8, "\xE3\x81\x82"},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(CP_SetAnsiCodeset(c.codeset));
        char buf[16];
        std::memset(buf, '#', sizeof buf);
        UTF8_FromAnsiCopy(buf, c.ansi, c.n);
        EXPECT_EQ(c.out, std::string(buf)) << c.codeset << " " << c.n;
    }
    char buf[2] = {'#', '#'};
    UTF8_FromAnsiCopy(buf, "abc", 0);
    EXPECT_EQ('#', buf[0]);
}

// ---- long texts ----

TEST(Utf8Long, LengthsDoNotWrapPast65535) {
    std::u16string w(70000, u'\u00E9');
    for (int i = 0; i < 30000; ++i) w += u"\U0001F600";
    const int64_t bytes = 70000 * 2 + 30000 * 4;
    EXPECT_EQ(bytes, UTF8_LenFromWide(w.c_str(), kNTS));
    std::string s = Dup8(w);
    ASSERT_EQ(static_cast<size_t>(bytes), s.size());
    EXPECT_EQ(130000, UTF8_CharCount(s.c_str(), kNTS));
    EXPECT_EQ(w, Dup16(s));

    std::string out(static_cast<size_t>(bytes) + 1, '\0');
    int64_t got = 0;
    EXPECT_EQ(0, UTF8_FromWideBuf(w.c_str(), &out[0], bytes + 1, &got));
    EXPECT_EQ(bytes, got);

    std::u16string wb(130001, u'#');
    int64_t units = 0;
    EXPECT_EQ(0, UTF8_ToWideBufBytes(s.c_str(), &wb[0], 2 * 130001, &units));
    EXPECT_EQ(130000, units);
    EXPECT_EQ(-1, UTF8_ToWideBufBytes(s.c_str(), &wb[0], 2 * 70002, &units));
    EXPECT_EQ(130000, units);
    EXPECT_EQ(70000u, std::u16string(wb.c_str()).size());  // 70001 units room; no half pair
}

// ---- case ----

TEST(Utf8Case, TablesAreSortedAndComplete) {
    for (const auto *t : {UC_UpperTable, UC_LowerTable}) {
        const size_t n = t == UC_UpperTable ? UC_UPPER_COUNT : UC_LOWER_COUNT;
        for (size_t i = 1; i < n; ++i) ASSERT_LT(t[i - 1] & 0x1FFFF, t[i] & 0x1FFFF) << i;
    }
    EXPECT_EQ(0x1044Du, UC_UpperTable[UC_UPPER_COUNT - 1] & 0x1FFFF);
}

TEST(Utf8Case, Deltas) {
    struct Case {
        bool upper;
        uint32_t cp;
        int32_t delta;
    } cases[] = {
        {true, 0x61, -32},   {false, 0x41, 32},    {false, 0x130, -199}, {true, 0x3F2, -79},
        {true, 0xDF, 0},     {true, 0x131, -232},  {false, 0x212A, 0x6B - 0x212A},
        {false, 0x212B, 0xE5 - 0x212B},            {true, 0x10428, -40}, {true, 0x40, 0},
        {true, 0x10FFFF, 0},
    };
    for (const auto &c : cases) {
        const uint32_t *t = c.upper ? UC_UpperTable : UC_LowerTable;
        const size_t n = c.upper ? UC_UPPER_COUNT : UC_LOWER_COUNT;
        EXPECT_EQ(c.delta, UC_CaseDelta(t, n, c.cp)) << std::hex << c.cp;
    }
    EXPECT_EQ(0, UC_CaseDelta(nullptr, 0, 0x61));
    EXPECT_EQ(u'A', UC_ToUpper(u'a'));
    EXPECT_EQ(u'\u00DF', UC_ToUpper(u'\u00DF'));
    EXPECT_EQ(u'k', UC_ToLower(u'\u212A'));
    EXPECT_EQ(u'i', UC_ToLower(u'\u0130'));
}

TEST(Utf8Case, UpperAndLower) {
    struct Case {
        bool upper;
        std::string in;
        int64_t size;
        std::string out;
    } cases[] = {
        {true, "stra\xC3\x9F" "e", 16, "STRA\xC3\x9F" "E"},   // ß has no simple uppercase
        {true, "\xC4\xB1x", 16, "IX"},                         // ı to I: one byte shorter
        {true, "\xF0\x90\x90\xA8", 16, "\xF0\x90\x90\x80"},    // Deseret, outside the BMP
        {true, "\xC3\xA9\xC3\xA9", 4, "\xC3\x89"},             // cut between characters
        {false, "\xC3\x80" "B\xE2\x84\xAA", 16, "\xC3\xA0" "bk"},
        {true, "a\xFF", 16, "A\xEF\xBF\xBD"},                  // malformed becomes U+FFFD
    };
    for (const auto &c : cases) {
        char buf[16] = {};
        std::memcpy(buf, c.in.data(), c.in.size());
        char *r = c.upper ? UTF8_Upper(buf, c.size) : UTF8_Lower(buf, c.size);
        EXPECT_EQ(buf, r);
        EXPECT_EQ(c.out, std::string(buf)) << c.in;
    }
    // Text without a NUL inside the buffer is read no further than its size.
    char raw[3] = {'a', 'b', 'c'};
    UTF8_Upper(raw, 3);
    EXPECT_EQ(std::string("AB"), std::string(raw));
}

// ---- SQLWCHAR units ----

TEST(Utf8Units, SqlWcharInstantiations) {
    const unsigned short w[] = {0x68, 0xE9, 0xD83D, 0xDE00, 0};
    char *p = UTF8_DupFromWide(w);
    EXPECT_STREQ("h\xC3\xA9\xF0\x9F\x98\x80", p);
    unsigned short *q = UTF8_DupToWide<unsigned short>(p);
    ASSERT_NE(nullptr, q);
    EXPECT_EQ(4, UC_StrLen(q));
    EXPECT_EQ(0xDE00, q[3]);
    unsigned short buf[8];
    int64_t out = 0;
    EXPECT_EQ(0, UTF8_ToWideBufBytes(p, buf, 16, &out));
    EXPECT_EQ(4, out);
    std::free(p);
    std::free(q);
}

}  // namespace

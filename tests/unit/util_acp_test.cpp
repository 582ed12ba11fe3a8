// ANSI code-page text and plain UTF-16 buffer copies.
#include "util/acp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "util/codepage.h"

namespace {

constexpr int64_t kNTS = -3;

// Each test picks its code set; the locale's comes back afterwards.
class Acp : public ::testing::Test {
protected:
    void Use(const char *cs) { ASSERT_TRUE(CP_SetAnsiCodeset(cs)) << cs; }
    void TearDown() override { CP_SetAnsiCodeset(nullptr); }
};

std::u16string DupW(const char *a, int64_t n) {
    char16_t *p = ACP_DupToWideN(a, n);
    if (!p) return u"<null>";
    std::u16string w(p);
    std::free(p);
    return w;
}

std::string DupA(const std::u16string &w, int64_t n) {
    char *p = ACP_DupFromWideN(w.c_str(), n);
    if (!p) return "<null>";
    std::string s(p);
    std::free(p);
    return s;
}

// Plain ASCII behaves alike in every code set.
class AcpEveryCodeset : public ::testing::TestWithParam<const char *> {
protected:
    void SetUp() override { ASSERT_TRUE(CP_SetAnsiCodeset(GetParam())); }
    void TearDown() override { CP_SetAnsiCodeset(nullptr); }
};

TEST_P(AcpEveryCodeset, ToWideBufBytesOfAnAsciiText) {
    struct Case {
        int64_t size;
        int rc;
        std::u16string text;
    } cases[] = {{12, 0, u"03.50"}, {8, -1, u"03."}, {2, -1, u""}};
    for (const auto &c : cases) {
        std::u16string buf(8, u'#');
        int64_t out = -9;
        EXPECT_EQ(c.rc, ACP_ToWideBufBytes("03.50", &buf[0], c.size, &out)) << c.size;
        EXPECT_EQ(10, out);
        EXPECT_EQ(c.text, std::u16string(buf.c_str()));
        if (c.size / 2 < 8) {
            EXPECT_EQ(u'#', buf[c.size / 2]) << "wrote past the buffer";
        }
    }
    int64_t out = -9;
    EXPECT_EQ(0, ACP_ToWideBufBytes("03.50", static_cast<char16_t *>(nullptr), 0, &out));
    EXPECT_EQ(10, out);
    char16_t one = u'#';
    EXPECT_EQ(-1, ACP_ToWideBufBytes("03.50", &one, 1, &out));
    EXPECT_EQ(u'#', one);
    EXPECT_EQ(-1, ACP_ToWideBufBytes(static_cast<const char *>(nullptr), &one, 2, &out));
}

TEST_P(AcpEveryCodeset, DupOfNothing) {
    EXPECT_EQ(u"", DupW("abc", 0));
    EXPECT_EQ("", DupA(u"abc", 0));
    EXPECT_EQ(u"ab", DupW("abc", 2));
    EXPECT_EQ("ab", DupA(u"abc", 2));
    EXPECT_EQ(u"abc", DupW("abc", kNTS));
}

INSTANTIATE_TEST_SUITE_P(Codesets, AcpEveryCodeset, ::testing::Values("UTF-8", "ISO-8859-1", "CP932"));

// ---- sizing by the bytes actually produced ----

TEST_F(Acp, Utf8CodePageSizesByTheBytesProduced) {
    Use("UTF-8");
    const std::u16string w = u"\u00E9\u20AC\U0001F600";  // 4 units, 9 bytes
    EXPECT_EQ("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", DupA(w, kNTS));
    char *p = ACP_DupFromWide(w.c_str());
    EXPECT_EQ(9u, std::strlen(p));
    EXPECT_EQ(w, DupW(p, kNTS));

    int64_t out = -9;
    std::u16string buf(8, u'#');
    EXPECT_EQ(0, ACP_ToWideBufBytes(p, &buf[0], 10, &out));
    EXPECT_EQ(8, out);  // 4 units, not one per byte
    EXPECT_EQ(w, std::u16string(buf.c_str()));
    buf.assign(8, u'#');
    EXPECT_EQ(-1, ACP_ToWideBufBytes(p, &buf[0], 8, &out));  // room 3: the pair would split
    EXPECT_EQ(u"\u00E9\u20AC", std::u16string(buf.c_str()));
    std::free(p);
}

TEST_F(Acp, SingleByteCodePage) {
    Use("ISO-8859-1");
    EXPECT_EQ("\xE9?x", DupA(u"\u00E9\u20ACx", kNTS));  // € has no mapping
    EXPECT_EQ("?", DupA(u"\U0001F600", kNTS));          // one default char per pair
    EXPECT_EQ(u"\u00E9\u00FF", DupW("\xE9\xFF", kNTS));
}

TEST_F(Acp, DoubleByteCodePage) {
    Use("CP932");
    std::u16string buf(5, u'#');
    ACP_ToWideCopyAll(&buf[0], "\x82\xA0\x88\x9F");
    EXPECT_EQ(u"\u3042\u4E9C", std::u16string(buf.c_str()));
    EXPECT_EQ(u'\0', buf[2]);
    EXPECT_EQ("\x82\xA0\x88\x9F", DupA(u"\u3042\u4E9C", kNTS));  // 4 bytes for 2 units
}

// ---- cuts never split a character and always terminate ----

TEST_F(Acp, CopyFormsCutBetweenCharacters) {
    struct Case {
        const char *codeset;
        std::u16string wide;
        int64_t n;
        std::string ansi;
    } toAnsi[] = {
        {"UTF-8", u"\u00E9\u20AC", 8, "\xC3\xA9\xE2\x82\xAC"},
        {"UTF-8", u"\u00E9\u20AC", 5, "\xC3\xA9"},
        {"UTF-8", u"\u00E9", 2, ""},
        {"CP932", u"A\u3042", 3, "A"},
        {"ISO-8859-1", u"abc", 3, "ab"},
    };
    for (const auto &c : toAnsi) {
        Use(c.codeset);
        char buf[16];
        std::memset(buf, '#', sizeof buf);
        ACP_FromWideCopy(buf, c.wide.c_str(), c.n);
        EXPECT_EQ(c.ansi, std::string(buf)) << c.codeset << " " << c.n;
        EXPECT_EQ('#', buf[c.n]);
    }

    struct WCase {
        const char *codeset;
        const char *ansi;
        int64_t n;
        std::u16string wide;
    } toWide[] = {
        {"UTF-8", "a\xF0\x9F\x98\x80", 4, u"a\U0001F600"},
        {"UTF-8", "a\xF0\x9F\x98\x80", 3, u"a"},
        {"CP932", "\x82\xA0\x88\x9F", 2, u"\u3042"},
        {"ISO-8859-1", "abc", 3, u"ab"},
    };
    for (const auto &c : toWide) {
        Use(c.codeset);
        std::u16string buf(8, u'#');
        ACP_ToWideCopy(&buf[0], c.ansi, c.n);
        EXPECT_EQ(c.wide, std::u16string(buf.c_str())) << c.codeset << " " << c.n;
        EXPECT_EQ(u'#', buf[c.n]);
    }

    char untouched = '#';
    ACP_FromWideCopy(&untouched, u"abc", 0);
    EXPECT_EQ('#', untouched);
    char16_t wuntouched = u'#';
    ACP_ToWideCopy(&wuntouched, "abc", 0);
    EXPECT_EQ(u'#', wuntouched);
}

TEST_F(Acp, BadArguments) {
    Use("UTF-8");
    EXPECT_EQ(nullptr, ACP_DupToWideN(nullptr, kNTS));
    EXPECT_EQ(nullptr, ACP_DupToWideN("abc", -1));
    EXPECT_EQ(nullptr, ACP_DupFromWideN(u"abc", -4));
    EXPECT_EQ(nullptr, ACP_DupFromWide(static_cast<const char16_t *>(nullptr)));
    char16_t *p = nullptr;
    EXPECT_EQ(p, ACP_ToWideCopyAll(p, "abc"));
}

// ---- long texts ----

TEST_F(Acp, LengthsDoNotWrapPast65535) {
    Use("UTF-8");
    std::string a(70000, 'x');
    int64_t out = 0;
    EXPECT_EQ(0, ACP_ToWideBufBytes(a.c_str(), static_cast<char16_t *>(nullptr), 0, &out));
    EXPECT_EQ(140000, out);
    std::u16string buf(70001, u'#');
    EXPECT_EQ(0, ACP_ToWideBufBytes(a.c_str(), &buf[0], 140002, &out));
    EXPECT_EQ(70000u, std::u16string(buf.c_str()).size());

    std::u16string w(70000, u'\u20AC');
    std::string s = DupA(w, kNTS);
    EXPECT_EQ(210000u, s.size());
    EXPECT_EQ(w, DupW(s.c_str(), kNTS));
}

// ---- UC_CopyBuf / UC_CopyBufLen ----

TEST(UcCopy, CopyBuf) {
    const char16_t pairText[] = {u'a', 0xD83D, 0xDE00, 0};
    struct Case {
        const char16_t *text;
        int64_t size;
        int rc;
        int64_t out;
        std::u16string copy;
    } cases[] = {
        {u"abc", 4, 0, 3, u"abc"},
        {u"abc", 3, -1, 2, u"ab"},
        {u"abc", 1, -1, 0, u""},
        {pairText, 3, -1, 1, u"a"},  // the pair is not split
        {pairText, 4, 0, 3, pairText},
    };
    for (const auto &c : cases) {
        std::u16string buf(6, u'#');
        int64_t out = -9;
        EXPECT_EQ(c.rc, UC_CopyBuf(c.text, &buf[0], c.size, &out)) << c.size;
        EXPECT_EQ(c.out, out);
        EXPECT_EQ(c.copy, std::u16string(buf.c_str()));
        EXPECT_EQ(u'#', buf[c.size]);
    }
    char16_t one = u'#';
    int64_t out = -9;
    EXPECT_EQ(-1, UC_CopyBuf(u"abc", &one, 0, &out));
    EXPECT_EQ(u'#', one);
    EXPECT_EQ(-9, out);
}

TEST(UcCopy, CopyBufLenReportsTheWholeLength) {
    int64_t out = -9;
    EXPECT_EQ(-1, UC_CopyBufLen(static_cast<const char16_t *>(nullptr), static_cast<char16_t *>(nullptr), 4, &out));
    EXPECT_EQ(0, UC_CopyBufLen(u"abcde", static_cast<char16_t *>(nullptr), 0, &out));
    EXPECT_EQ(5, out);
    std::u16string buf(4, u'#');
    EXPECT_EQ(-1, UC_CopyBufLen(u"abcde", &buf[0], 3, &out));
    EXPECT_EQ(5, out);
    EXPECT_EQ(u"ab", std::u16string(buf.c_str()));
    char16_t one = u'#';
    EXPECT_EQ(-1, UC_CopyBufLen(u"abcde", &one, 0, &out));
    EXPECT_EQ(u'#', one);
}

TEST(UcCopy, SqlWcharUnits) {
    const unsigned short w[] = {0x61, 0x62, 0};
    unsigned short buf[3];
    int64_t out = 0;
    EXPECT_EQ(0, UC_CopyBuf(w, buf, 3, &out));
    EXPECT_EQ(2, out);
    char *a = ACP_DupFromWide(w);
    EXPECT_STREQ("ab", a);
    std::free(a);
}

}  // namespace

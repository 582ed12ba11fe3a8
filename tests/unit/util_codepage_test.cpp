// The ANSI code page layer: code-set choice and the iconv conversions.
#include "util/codepage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <locale.h>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int64_t kNTS = -3;

// Selects a code set for one test and returns to the locale's afterwards.
class CodesetScope {
public:
    explicit CodesetScope(const char *cs) { ok_ = CP_SetAnsiCodeset(cs); }
    ~CodesetScope() { CP_SetAnsiCodeset(nullptr); }
    bool ok() const { return ok_; }

private:
    bool ok_;
};

std::u16string ToWide(const std::string &a, int64_t room = -1, int64_t *used = nullptr) {
    int64_t need = CP_AnsiToWide<char16_t>(a.data(), static_cast<int64_t>(a.size()), nullptr, 0, nullptr);
    if (need < 0) return u"<refused>";
    std::u16string out(static_cast<size_t>(room < 0 ? need : room), u'\0');
    int64_t got = CP_AnsiToWide(a.data(), static_cast<int64_t>(a.size()), &out[0],
                                static_cast<int64_t>(out.size()), used);
    out.resize(static_cast<size_t>(got));
    return out;
}

std::string ToAnsi(const std::u16string &w, int64_t room = -1, int64_t *used = nullptr) {
    int64_t need = CP_WideToAnsi(w.data(), static_cast<int64_t>(w.size()), nullptr, 0, nullptr);
    if (need < 0) return "<refused>";
    std::string out(static_cast<size_t>(room < 0 ? need : room), '\0');
    int64_t got = CP_WideToAnsi(w.data(), static_cast<int64_t>(w.size()), &out[0],
                                static_cast<int64_t>(out.size()), used);
    out.resize(static_cast<size_t>(got));
    return out;
}

TEST(CodepageLocale, CodesetOfNamedLocales) {
    struct Case {
        const char *locale;
        const char *codeset;
    } cases[] = {
        {"C", "UTF-8"},            // plain ASCII is taken as UTF-8
        {"POSIX", "UTF-8"},
        {"C.UTF-8", "UTF-8"},
        {"xx_NOWHERE.bogus", "UTF-8"},  // not installed
    };
    for (const auto &c : cases) {
        char buf[64];
        EXPECT_STREQ(c.codeset, CP_LocaleCodeset(c.locale, buf, sizeof buf)) << c.locale;
    }
}

TEST(CodepageLocale, Latin1LocaleWhenInstalled) {
    for (const char *name : {"en_US.ISO-8859-1", "de_DE.ISO-8859-1", "en_US", "de_DE", "fr_FR"}) {
        locale_t loc = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0));
        if (!loc) continue;
        freelocale(loc);
        char buf[64];
        EXPECT_STREQ("ISO-8859-1", CP_LocaleCodeset(name, buf, sizeof buf)) << name;
        return;
    }
    GTEST_SKIP() << "no Latin-1 locale installed";
}

TEST(CodepageLocale, EnvironmentNamesTheLocale) {
    const char *vars[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    std::vector<std::pair<std::string, std::string>> saved;
    for (const char *v : vars) {
        if (const char *val = std::getenv(v)) saved.emplace_back(v, val);
        unsetenv(v);
    }
    char buf[64];
    EXPECT_STREQ("UTF-8", CP_LocaleCodeset("", buf, sizeof buf)) << "nothing set";
    setenv("LC_ALL", "C", 1);
    EXPECT_STREQ("UTF-8", CP_LocaleCodeset("", buf, sizeof buf)) << "LC_ALL=C";
    setenv("LC_ALL", "C.UTF-8", 1);
    EXPECT_STREQ("UTF-8", CP_LocaleCodeset("", buf, sizeof buf)) << "LC_ALL=C.UTF-8";
    unsetenv("LC_ALL");
    for (const auto &s : saved) setenv(s.first.c_str(), s.second.c_str(), 1);
}

TEST(CodepageLocale, CodesetCutToBuffer) {
    char buf[4] = {'x', 'x', 'x', 'x'};
    EXPECT_STREQ("UTF", CP_LocaleCodeset("C", buf, sizeof buf));
}

TEST(CodepageOverride, UnknownCodesetIsRefusedAndNothingChanges) {
    CodesetScope scope("ISO-8859-1");
    ASSERT_TRUE(scope.ok());
    EXPECT_FALSE(CP_SetAnsiCodeset("NO-SUCH-CODESET"));
    EXPECT_STREQ("ISO-8859-1", CP_AnsiCodeset());
    EXPECT_FALSE(CP_AnsiIsUtf8());
}

TEST(CodepageOverride, NullReturnsToTheLocale) {
    char expected[64];
    CP_LocaleCodeset("", expected, sizeof expected);
    {
        CodesetScope scope("CP1252");
        ASSERT_TRUE(scope.ok());
        EXPECT_STREQ("CP1252", CP_AnsiCodeset());
    }
    EXPECT_STREQ(expected, CP_AnsiCodeset());
}

struct ToWideCase {
    const char *codeset;
    std::string ansi;
    std::u16string wide;
};

class AnsiToWideTable : public ::testing::TestWithParam<ToWideCase> {};

TEST_P(AnsiToWideTable, Converts) {
    const auto &c = GetParam();
    CodesetScope scope(c.codeset);
    ASSERT_TRUE(scope.ok()) << c.codeset;
    int64_t used = -1;
    EXPECT_EQ(c.wide, ToWide(c.ansi, -1, &used));
    EXPECT_EQ(static_cast<int64_t>(c.ansi.size()), used);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AnsiToWideTable,
    ::testing::Values(ToWideCase{"UTF-8", "abc", u"abc"},
                      ToWideCase{"UTF-8", "\xC3\xA9", u"\u00E9"},
                      ToWideCase{"UTF-8", "\xE2\x82\xAC", u"\u20AC"},
                      ToWideCase{"UTF-8", "\xF0\x9F\x98\x80", u"\U0001F600"},
                      ToWideCase{"UTF-8", "a\xFF" "b", u"a\uFFFD" "b"},      // invalid byte
                      ToWideCase{"UTF-8", "a\xE2\x82", u"a\uFFFD"},          // cut off at the end
                      ToWideCase{"ISO-8859-1", "\xE9\xFF", u"\u00E9\u00FF"},
                      ToWideCase{"CP1252", "\x80", u"\u20AC"},
                      ToWideCase{"CP932", "\x82\xA0\x88\x9F", u"\u3042\u4E9C"},
                      ToWideCase{"CP932", "A\x82", u"A\uFFFD"}));

struct ToAnsiCase {
    const char *codeset;
    std::u16string wide;
    std::string ansi;
};

class WideToAnsiTable : public ::testing::TestWithParam<ToAnsiCase> {};

TEST_P(WideToAnsiTable, Converts) {
    const auto &c = GetParam();
    CodesetScope scope(c.codeset);
    ASSERT_TRUE(scope.ok()) << c.codeset;
    int64_t used = -1;
    EXPECT_EQ(c.ansi, ToAnsi(c.wide, -1, &used));
    EXPECT_EQ(static_cast<int64_t>(c.wide.size()), used);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WideToAnsiTable,
    ::testing::Values(ToAnsiCase{"UTF-8", u"abc", "abc"},
                      ToAnsiCase{"UTF-8", u"\u00E9\u20AC", "\xC3\xA9\xE2\x82\xAC"},
                      ToAnsiCase{"UTF-8", u"\U0001F600", "\xF0\x9F\x98\x80"},
                      ToAnsiCase{"UTF-8", std::u16string{u'a', char16_t(0xD83D), u'b'}, "a?b"},  // lone high
                      ToAnsiCase{"UTF-8", std::u16string{char16_t(0xDE00)}, "?"},                // lone low
                      ToAnsiCase{"UTF-8", std::u16string{u'a', char16_t(0xD83D)}, "a?"},         // high at end
                      ToAnsiCase{"ISO-8859-1", u"\u00E9\u20AC", "\xE9?"},   // no mapping: default char
                      ToAnsiCase{"ISO-8859-1", u"x\U0001F600y", "x?y"},     // a pair is one character
                      ToAnsiCase{"CP1252", u"\u20AC", "\x80"},
                      ToAnsiCase{"CP932", u"\u3042A", "\x82\xA0" "A"}));

TEST(CodepageRoom, ToWideNeverSplitsAPair) {
    CodesetScope scope("UTF-8");
    int64_t used = -1;
    EXPECT_EQ(u"a", ToWide("a\xF0\x9F\x98\x80", 2, &used));
    EXPECT_EQ(1, used);
    EXPECT_EQ(u"a\U0001F600", ToWide("a\xF0\x9F\x98\x80", 3, &used));
    EXPECT_EQ(5, used);
}

TEST(CodepageRoom, ToAnsiNeverSplitsACharacter) {
    struct Case {
        const char *codeset;
        std::u16string wide;
        int64_t room;
        std::string ansi;
        int64_t units;
    } cases[] = {
        {"UTF-8", u"a\u00E9", 2, "a", 1},
        {"UTF-8", u"a\u20AC", 3, "a", 1},
        {"UTF-8", u"a\U0001F600", 4, "a", 1},
        {"UTF-8", u"a\U0001F600", 5, "a\xF0\x9F\x98\x80", 3},
        {"CP932", u"A\u3042", 2, "A", 1},
        {"ISO-8859-1", u"abc", 2, "ab", 2},
    };
    for (const auto &c : cases) {
        CodesetScope scope(c.codeset);
        int64_t used = -1;
        EXPECT_EQ(c.ansi, ToAnsi(c.wide, c.room, &used)) << c.codeset << " room " << c.room;
        EXPECT_EQ(c.units, used);
    }
}

TEST(CodepageRoom, DefaultCharacterNeedsRoomToo) {
    CodesetScope scope("ISO-8859-1");
    char buf[2] = {'x', 'x'};
    const char16_t w[] = u"a\u20AC";
    int64_t used = -1;
    EXPECT_EQ(1, CP_WideToAnsi(w, 2, buf, 1, &used));
    EXPECT_EQ(1, used);
    EXPECT_EQ('x', buf[1]);
}

TEST(CodepageLengths, NtsMatchesExplicitLength) {
    CodesetScope scope("UTF-8");
    const char *a = "h\xC3\xA9llo";
    char16_t wbuf[16];
    EXPECT_EQ(5, CP_AnsiToWide(a, kNTS, wbuf, 16, nullptr));
    EXPECT_EQ(5, CP_AnsiToWide(a, 6, wbuf, 16, nullptr));
    EXPECT_EQ(2, CP_AnsiToWide(a, 3, wbuf, 16, nullptr));  // "h" and the whole é
    const char16_t w[] = u"h\u00E9llo";
    char abuf[16];
    EXPECT_EQ(6, CP_WideToAnsi(w, kNTS, abuf, 16, nullptr));
    EXPECT_EQ(3, CP_WideToAnsi(w, 2, abuf, 16, nullptr));
}

TEST(CodepageRefusal, BadArgumentsWriteNothing) {
    char16_t wbuf[4] = {u'x', u'x', u'x', u'x'};
    char abuf[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(CP_REFUSED, CP_AnsiToWide<char16_t>(nullptr, kNTS, wbuf, 4, nullptr));
    EXPECT_EQ(CP_REFUSED, CP_AnsiToWide("abc", -1, wbuf, 4, nullptr));
    EXPECT_EQ(CP_REFUSED, CP_AnsiToWide("abc", 3, wbuf, -2, nullptr));
    EXPECT_EQ(CP_REFUSED, CP_WideToAnsi<char16_t>(nullptr, kNTS, abuf, 4, nullptr));
    EXPECT_EQ(CP_REFUSED, CP_WideToAnsi(u"abc", -7, abuf, 4, nullptr));
    EXPECT_EQ(u'x', wbuf[0]);
    EXPECT_EQ('x', abuf[0]);
}

TEST(CodepageLong, TextsBeyond65535Units) {
    CodesetScope scope("UTF-8");
    std::string a;
    for (int i = 0; i < 70000; ++i) a += "\xE2\x82\xAC";
    std::u16string w = ToWide(a);
    ASSERT_EQ(70000u, w.size());
    EXPECT_EQ(u'\u20AC', w[69999]);
    EXPECT_EQ(210000, CP_WideToAnsi(w.data(), kNTS, static_cast<char *>(nullptr), 0, nullptr));
    EXPECT_EQ(a, ToAnsi(w));
}

TEST(CodepageLengths, NulsWithinTheLengthAreCharacters) {
    for (const char *cs : {"UTF-8", "ISO-8859-1"}) {
        CodesetScope scope(cs);
        ASSERT_TRUE(scope.ok()) << cs;
        int64_t used = -1;
        EXPECT_EQ(std::u16string(u"a\0b", 3), ToWide(std::string("a\0b", 3), -1, &used)) << cs;
        EXPECT_EQ(3, used);
        EXPECT_EQ(std::string("a\0b", 3), ToAnsi(std::u16string(u"a\0b", 3), -1, &used)) << cs;
        EXPECT_EQ(3, used);
    }
}

// Converters kept between calls follow every change of the code set.
TEST(CodepageConverters, FollowTheCodesetOfTheMoment) {
    const std::u16string w = u"\u00E9\u20AC";
    struct Step {
        const char *codeset;
        std::string ansi;
    } steps[] = {
        {"ISO-8859-1", "\xE9?"}, {"CP1252", "\xE9\x80"}, {"UTF-8", "\xC3\xA9\xE2\x82\xAC"},
        {"ISO-8859-15", "\xE9\xA4"}, {"ISO-8859-1", "\xE9?"},
    };
    for (int round = 0; round < 2; ++round) {
        for (const Step &st : steps) {
            ASSERT_TRUE(CP_SetAnsiCodeset(st.codeset)) << st.codeset;
            EXPECT_EQ(st.ansi, ToAnsi(w)) << st.codeset;
            EXPECT_EQ(std::string(st.codeset) == "ISO-8859-1" ? std::u16string(u"\u00E9?") : w, ToWide(st.ansi))
                << st.codeset;
        }
    }
    CP_SetAnsiCodeset(nullptr);
}

// Each thread converts with converters of its own.
TEST(CodepageConverters, ThreadsConvertSideBySide) {
    CodesetScope scope("CP1252");
    ASSERT_TRUE(scope.ok());
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int k = 0; k < 4; ++k) {
        threads.emplace_back([k, &failures] {
            const std::u16string w = u"caf\u00E9 \u20AC" + std::u16string(static_cast<size_t>(k), u'x');
            const std::string a = "caf\xE9 \x80" + std::string(static_cast<size_t>(k), 'x');
            for (int i = 0; i < 500; ++i) {
                if (ToAnsi(w) != a || ToWide(a) != w) ++failures[static_cast<size_t>(k)];
            }
        });
    }
    for (auto &t : threads) t.join();
    for (int k = 0; k < 4; ++k) EXPECT_EQ(0, failures[static_cast<size_t>(k)]) << "thread " << k;
}

TEST(CodepageUnits, SqlWcharUnitsWork) {
    CodesetScope scope("UTF-8");
    unsigned short w[4] = {0, 0, 0, 0};
    EXPECT_EQ(2, CP_AnsiToWide("a\xC3\xA9", kNTS, w, 3, nullptr));
    EXPECT_EQ(0xE9, w[1]);
    char a[8];
    EXPECT_EQ(3, CP_WideToAnsi(w, 2, a, 8, nullptr));
}

}  // namespace

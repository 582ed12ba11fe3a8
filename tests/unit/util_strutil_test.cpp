#include <gtest/gtest.h>

#include <sql.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "util/strutil.h"

namespace {

struct Owned {
    char *p;
    ~Owned() { std::free(p); }
};

TEST(StrRTrim, Cases)
{
    struct Case {
        const char *in;
        const char *after;
        int lastIndex;  // -1: NULL result
    };
    const Case cases[] = {
        {"ab \t", "ab", 1},
        {"   ", "", -1},
        {"", "", -1},
        {"abc", "abc", 2},
        {" a \n\r\v\f", " a", 1},
        {"x", "x", 0},
    };
    for (const Case &c : cases) {
        std::string buf(c.in);
        char *res = STR_RTrim(&buf[0]);
        EXPECT_STREQ(buf.c_str(), c.after) << '[' << c.in << ']';
        if (c.lastIndex < 0)
            EXPECT_EQ(res, nullptr) << '[' << c.in << ']';
        else
            EXPECT_EQ(res, &buf[0] + c.lastIndex) << '[' << c.in << ']';
    }
    EXPECT_EQ(STR_RTrim(nullptr), nullptr);
}

TEST(StrSkipBlanks, Cases)
{
    const char *t1 = " \t\n x y";
    EXPECT_EQ(STR_SkipBlanks(t1), t1 + 4);
    const char *t2 = "   ";
    EXPECT_EQ(STR_SkipBlanks(t2), t2 + 3);
    const char *t3 = "x";
    EXPECT_EQ(STR_SkipBlanks(t3), t3);
    // bytes above 0x7f are not white space and do not trip the classifier
    const char *t4 = "\xa0\xe9";
    EXPECT_EQ(STR_SkipBlanks(t4), t4);
}

TEST(StrMatchKeyword, Cases)
{
    struct Case {
        const char *keyword;
        const char *text;
        int exact;
        int at;  // offset of the result, -1 for NULL
    };
    const Case cases[] = {
        {"SELECT", "  select  *", 0, 10},
        {"SELECT", "selected", 0, -1},
        {"SELECT", "select", 0, 6},
        {"SELECT", "SELECT\n\tx", 0, 8},
        {"SELECT", "sel", 0, -1},
        {"SELECT", "", 0, -1},
        {"SELECT", "select(", 0, -1},
        {"SELECT", "  select", 1, -1},
        {"select", "  select  x", 1, 10},
        {"{CALL", "{call p}", 0, 6},
        {"INSERT", "\xe9insert", 0, -1},
    };
    for (const Case &c : cases) {
        const char *r = STR_MatchKeywordEx(c.keyword, c.text, c.exact);
        if (c.at < 0)
            EXPECT_EQ(r, nullptr) << c.keyword << " in [" << c.text << ']';
        else
            EXPECT_EQ(r, c.text + c.at) << c.keyword << " in [" << c.text << ']';
        if (c.exact)
            EXPECT_EQ(STR_MatchKeywordCase(c.keyword, c.text), r);
        else
            EXPECT_EQ(STR_MatchKeyword(c.keyword, c.text), r);
    }
    EXPECT_EQ(STR_MatchKeyword(nullptr, "x"), nullptr);
    EXPECT_EQ(STR_MatchKeyword("x", static_cast<const char *>(nullptr)), nullptr);
}

TEST(StrIStrStr, Cases)
{
    struct Case {
        const char *text;
        const char *pattern;
        int at;
    };
    const Case cases[] = {
        {"ERROR [SQLSTATE:42P01] relation", "[sqlstate:", 6},
        {"abc", "ABC", 0},
        {"xxAbC", "abc", 2},
        {"ab", "abc", -1},
        {"abcabc", "CA", 2},
        {"aaab", "aab", 1},
        {"t.*, u", ".*", 1},
        {"none here", "zz", -1},
        {"", "", 0},
        {"abc", "", 0},
    };
    for (const Case &c : cases) {
        const char *r = STR_IStrStr(c.text, c.pattern);
        if (c.at < 0)
            EXPECT_EQ(r, nullptr) << c.pattern << " in " << c.text;
        else
            EXPECT_EQ(r, c.text + c.at) << c.pattern << " in " << c.text;
    }
    EXPECT_EQ(STR_IStrStr(static_cast<const char *>(nullptr), "a"), nullptr);
}

TEST(StrChangeExt, Cases)
{
    struct Case {
        const char *path;
        const char *ext;
        int mode;
        const char *want;
    };
    const Case cases[] = {
        {"C:\\dir.d\\init", "sql", 2, "C:\\dir.d\\init.sql"},
        {"init.txt", "sql", 2, "init.txt"},
        {".profile", "sql", 2, ".profile.sql"},
        {"a.b.c", "sql", 0, "a.b"},
        {"init", "sql", 2, "init.sql"},
        {"init", "sql", 0, "init"},
        {"init.txt", "sql", 1, "init.sql"},
        {"init", "sql", 1, "init.sql"},
        {"/etc/app.d/init", "sql", 2, "/etc/app.d/init.sql"},
        {"/etc/app.d/init", "sql", 0, "/etc/app.d/init"},
        {"/etc/app.d/init", "sql", 1, "/etc/app.d/init.sql"},
        {"/home/u/.initsql", "sql", 2, "/home/u/.initsql.sql"},
        {"/home/u/.init.txt", "sql", 1, "/home/u/.init.sql"},
        {"C:\\x.y/z", "sql", 2, "C:\\x.y/z.sql"},
        {"dir/", "sql", 2, "dir/.sql"},
        {"", "sql", 2, ".sql"},
        {"a.txt", "sql", 7, "a.txt"},
    };
    for (const Case &c : cases)
        EXPECT_STREQ(STR_ChangeExt(c.path, c.ext, c.mode), c.want) << c.path << " mode " << c.mode;
}

TEST(StrChangeExt, LongPathsNeverOverflow)
{
    // 250 characters + ".sql" = 254 fits; one more does not.
    std::string fits(250, 'p');
    EXPECT_EQ(std::string(STR_ChangeExt(fits.c_str(), "sql", 2)), fits + ".sql");
    std::string tooLong(251, 'p');
    EXPECT_STREQ(STR_ChangeExt(tooLong.c_str(), "sql", 2), "");
    std::string huge(100000, 'q');
    EXPECT_STREQ(STR_ChangeExt(huge.c_str(), "sql", 0), "");
    EXPECT_STREQ(STR_ChangeExt(huge.c_str(), "sql", 1), "");
    // removing an extension can bring a long path within bounds
    std::string cut = std::string(254, 'r') + ".ext";
    EXPECT_EQ(std::string(STR_ChangeExt(cut.c_str(), "sql", 0)), std::string(254, 'r'));
    std::string longExt(300, 'e');
    EXPECT_STREQ(STR_ChangeExt("a", longExt.c_str(), 1), "");
    EXPECT_STREQ(STR_ChangeExt(nullptr, nullptr, 2), ".");
}

TEST(SysProgramName, FromProgramPath)
{
    struct Case {
        const char *program;
        const char *want;
    };
    const Case cases[] = {
        {"C:\\Apps\\Report.exe -x", "REPORT"},
        {"/usr/local/bin/isql", "ISQL"},
        {"./my.app.bin", "MY.APP"},
        {"C:\\WINDOWS\\SYSTEM\\krnl386.exe", "WOW"},
        {"/opt/dir.d/tool", "TOOL"},
        {"prog arg", "PROG"},
        {"", "Unknown"},
        {"/usr/bin/", "Unknown"},
        {nullptr, "Unknown"},
    };
    for (const Case &c : cases) {
        char out[255];
        SYS_ProgramNameOf(c.program, out);
        EXPECT_STREQ(out, c.want) << (c.program ? c.program : "(null)");
    }
    char out[255];
    std::string longName = "/bin/" + std::string(400, 'n');
    SYS_ProgramNameOf(longName.c_str(), out);
    EXPECT_EQ(std::string(out), std::string(254, 'N'));
}

TEST(SysProgramName, ThisProcess)
{
    // argv[0] alone: the arguments of the command line never enter the name
    std::string want = program_invocation_short_name;  // this test has no dot in its name
    for (char &c : want)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const char *name = SYS_ProgramName();
    EXPECT_EQ(std::string(name), want);
    EXPECT_EQ(want.rfind("UNIT_UTIL_STRUTIL_TEST", 0), 0u);
    EXPECT_EQ(SYS_ProgramName(), name);
}

TEST(StrCopyCut, Cases)
{
    struct Case {
        const char *text;
        int size;
        int copied;
        const char *want;
    };
    const Case cases[] = {
        {"hello", 16, 5, "hello"},
        {"hello", 6, 5, "hello"},  // exactly fits with its terminator
        {"hello", 5, 4, "hell"},
        {"hello", 1, 0, ""},
        {"", 4, 0, ""},
    };
    for (const Case &c : cases) {
        char buf[32];
        std::memset(buf, 'x', sizeof buf);
        EXPECT_EQ(STR_CopyCut(buf, c.size, c.text), c.copied) << c.text << "/" << c.size;
        EXPECT_STREQ(buf, c.want);
        EXPECT_EQ(buf[c.size], 'x') << "wrote past the buffer";
    }
}

TEST(StrCopyCut, NothingWrittenWithoutRoom)
{
    char buf[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(STR_CopyCut(buf, 0, "abc"), 0);
    EXPECT_EQ(STR_CopyCut(buf, -1, "abc"), 0);
    EXPECT_EQ(STR_CopyCut(nullptr, 8, "abc"), 0);
    EXPECT_EQ(buf[0], 'x');
}

TEST(StrCopyN, Cases)
{
    struct Case {
        const char *text;
        int64_t n;
        const char *want;
    };
    const Case cases[] = {
        {"hello", SQL_NTS, "hello"},
        {"hello", 3, "hel"},
        {"hello", 0, ""},
        {nullptr, SQL_NTS, ""},
        {nullptr, 5, ""},
        {"", SQL_NTS, ""},
        {"hi", 10, "hi"},  // a NUL before n ends the copy
        {"hello", -7, ""},
    };
    for (const Case &c : cases) {
        Owned o{reinterpret_cast<char *>(1)};
        EXPECT_EQ(STR_CopyN(&o.p, c.text, c.n), 0);
        ASSERT_NE(o.p, nullptr);
        EXPECT_STREQ(o.p, c.want);
    }
}

TEST(StrCopyN, ReadsNoMoreThanN)
{
    // an unterminated buffer of exactly n bytes
    char *raw = static_cast<char *>(std::malloc(4));
    std::memcpy(raw, "abcd", 4);
    Owned o{nullptr};
    STR_CopyN(&o.p, raw, 4);
    EXPECT_STREQ(o.p, "abcd");
    std::free(raw);
}

TEST(StrCopyUnquoted, Cases)
{
    struct Case {
        const char *text;
        int64_t n;
        const char *want;
    };
    const Case cases[] = {
        {"'x'", SQL_NTS, "x"},
        {"'", SQL_NTS, "'"},
        {"'x\"", SQL_NTS, "'x\""},
        {"\"tab\"", SQL_NTS, "tab"},
        {"''", SQL_NTS, ""},
        {"\"\"", SQL_NTS, ""},
        {"'abc'def", 5, "abc"},
        {"'abc'def", 4, "'abc"},
        {"[x]", SQL_NTS, "[x]"},
        {"x", SQL_NTS, "x"},
        {nullptr, SQL_NTS, ""},
    };
    for (const Case &c : cases) {
        Owned o{nullptr};
        EXPECT_EQ(STR_CopyUnquoted(&o.p, c.text, c.n), 0);
        ASSERT_NE(o.p, nullptr);
        EXPECT_STREQ(o.p, c.want) << (c.text ? c.text : "(null)");
    }
}

TEST(StrQuote, Cases)
{
    struct Case {
        const char *text;
        int64_t n;
        char quote;
        const char *want;
    };
    const Case cases[] = {
        {"ab", SQL_NTS, '"', "\"ab\""},
        {"ab", SQL_NTS, ' ', "ab"},
        {"abcdef", 3, '"', "\"abc\""},
        {"abcdef", 3, ' ', "abc"},
        {"", SQL_NTS, '"', "\"\""},
        {nullptr, SQL_NTS, '"', "\"\""},
        {"a\"b", SQL_NTS, '"', "\"a\"\"b\""},
        {"\"", SQL_NTS, '"', "\"\"\"\""},
        {"it's", SQL_NTS, '\'', "'it''s'"},
        {"a\"b", SQL_NTS, '`', "`a\"b`"},
        {"x", SQL_NTS, '\0', "x"},
    };
    for (const Case &c : cases) {
        Owned o{STR_Quote(c.text, c.n, c.quote)};
        ASSERT_NE(o.p, nullptr);
        EXPECT_STREQ(o.p, c.want) << (c.text ? c.text : "(null)") << " with " << c.quote;
    }
}

TEST(StrUnquote, Cases)
{
    struct Case {
        const char *text;
        int64_t n;
        char quote;
        const char *want;
    };
    const Case cases[] = {
        {"[t]", SQL_NTS, '[', "[t]"},
        {"\"t\"", SQL_NTS, '"', "t"},
        {"\"t\"", SQL_NTS, ' ', "\"t\""},
        {"\"", SQL_NTS, '"', "\""},
        {"\"\"", SQL_NTS, '"', ""},
        {"t", SQL_NTS, '"', "t"},
        {"\"a\"\"b\"", SQL_NTS, '"', "a\"b"},
        {"\"a\"\"\"", SQL_NTS, '"', "a\""},
        {"a\"\"b", SQL_NTS, '"', "a\"\"b"},
        {"\"ab\"cd", 4, '"', "ab"},
        {"\"ab\"cd", 3, '"', "\"ab"},
        {nullptr, SQL_NTS, '"', ""},
    };
    for (const Case &c : cases) {
        Owned o{STR_Unquote(c.text, c.n, c.quote)};
        ASSERT_NE(o.p, nullptr);
        EXPECT_STREQ(o.p, c.want) << (c.text ? c.text : "(null)");
    }
}

TEST(StrQuote, UnquoteRestoresQuotedText)
{
    for (const char *t : {"plain", "a\"b", "\"", "\"\"x\"\"", "", "end\""}) {
        Owned q{STR_Quote(t, SQL_NTS, '"')};
        Owned u{STR_Unquote(q.p, SQL_NTS, '"')};
        EXPECT_STREQ(u.p, t);
    }
}

TEST(StrUnquote, LongTextIsStillUnquoted)
{
    std::string body(40000, 'c');
    std::string text = "\"" + body + "\"";
    Owned o{STR_Unquote(text.c_str(), SQL_NTS, '"')};
    EXPECT_EQ(std::string(o.p), body);
}

} // namespace

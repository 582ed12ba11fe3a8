// Levelled log: format expansion, sink prefixes and date lines, level and
// category masks, the standard-error path and the 2048-byte line limit.
#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/sysinfo.h"
#include "util/log.h"

namespace {

struct Written {
    LogSink *sink;
    int level;
    std::string line;
};
std::vector<Written> g_written;

void captureWrite(LogSink *sink, int level, const char *line)
{
    g_written.push_back({sink, level, line});
}

int g_closed = 0;
void countClose(LogSink *) { ++g_closed; }

// Closes and frees the sinks a test opened; clears what was captured.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_written.clear();
        g_closed = 0;
    }
    void TearDown() override
    {
        for (LogSink *s : sinks_) {
            LOG_Close(s);
            free(s);
        }
        g_written.clear();
    }
    LogSink *open(int level, uint32_t categories, uint32_t style)
    {
        LogSink *s = LOG_OpenCallbacks(captureWrite, countClose, level, categories, style);
        EXPECT_NE(s, nullptr);
        sinks_.push_back(s);
        return s;
    }
    LogSink *keep(LogSink *s)
    {
        sinks_.push_back(s);
        return s;
    }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        for (auto &w : g_written)
            out.push_back(w.line);
        return out;
    }
    std::vector<LogSink *> sinks_;
};

// Sends fd 2 into a temporary file until stop().
class StderrCapture {
public:
    StderrCapture()
    {
        fflush(stderr);
        saved_ = dup(2);
        file_ = tmpfile();
        dup2(fileno(file_), 2);
    }
    std::string stop()
    {
        fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        std::string text;
        rewind(file_);
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, file_)) > 0)
            text.append(buf, n);
        fclose(file_);
        return text;
    }

private:
    int saved_;
    FILE *file_;
};

// True when text has the pattern's shape: '#' stands for a digit, '@' for
// an upper-case and '~' for a lower-case letter, every other byte for itself.
bool shapeMatches(const std::string &text, const std::string &pattern)
{
    if (text.size() != pattern.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char t = static_cast<unsigned char>(text[i]);
        switch (pattern[i]) {
        case '#': if (!isdigit(t)) return false; break;
        case '@': if (!isupper(t)) return false; break;
        case '~': if (!islower(t)) return false; break;
        default: if (text[i] != pattern[i]) return false;
        }
    }
    return true;
}

// ---- format expansion -------------------------------------------------

struct ExpandCase {
    const char *name;
    const char *format;
    const char *file;
    int line;
    int errnum;
    const char *expect;
};

class ExpandFormat : public ::testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandFormat, ReplacesOwnEscapesAndEndsWithOneNewline)
{
    const ExpandCase &c = GetParam();
    char buf[LOG_LINE_SIZE];
    char *end = LOG_ExpandFormat(c.format, buf, sizeof buf, c.errnum, c.file, c.line);
    EXPECT_STREQ(buf, c.expect);
    EXPECT_EQ(end, buf + strlen(buf));
}

const ExpandCase kExpandCases[] = {
    {"FileAndLine", "x=%d (%F:%L)\n", "j-exec", 120, 0, "x=%d (j-exec:120)\n"},
    {"StopsAtFirstNewline", "a\nb", "f", 1, 0, "a\n"},
    {"AddsNewline", "plain", nullptr, 0, 0, "plain\n"},
    {"Empty", "", nullptr, 0, 0, "\n"},
    {"NullFormat", nullptr, nullptr, 0, 0, "\n"},
    {"ErrnoText", "open: %m", nullptr, 0, ENOENT, "open: No such file or directory\n"},
    {"PercentPairKept", "100%% %s %-5.2ld|", nullptr, 0, 0, "100%% %s %-5.2ld|\n"},
    {"TrailingPercentEscaped", "50%", nullptr, 0, 0, "50%%\n"},
    {"PercentBeforeNewlineEscaped", "50%\nmore", nullptr, 0, 0, "50%%\n"},
    {"IncompleteConversionEscaped", "w=%5", nullptr, 0, 0, "w=%%5\n"},
    {"PercentInFileNameEscaped", "[%F]", "a%sb", 0, 0, "[a%%sb]\n"},
    {"NoFile", "<%F>", nullptr, 7, 0, "<>\n"},
    {"NegativeLine", "%L", "f", -3, 0, "-3\n"},
    {"UnknownErrno", "%m", nullptr, 0, 100000, "Unknown error 100000\n"},
    {"LengthModifierLIsLine", "%Lf", "f", 9, 0, "9f\n"},
};

INSTANTIATE_TEST_SUITE_P(Table, ExpandFormat, ::testing::ValuesIn(kExpandCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct CutCase {
    const char *name;
    const char *format;
    const char *file;
    size_t size;
    const char *expect;
};

class ExpandFormatCut : public ::testing::TestWithParam<CutCase> {};

TEST_P(ExpandFormatCut, HoldsAtMostSizeMinusTwoBytesBeforeNewline)
{
    const CutCase &c = GetParam();
    std::vector<char> buf(c.size + 8, '#');
    LOG_ExpandFormat(c.format, buf.data(), c.size, 0, c.file, 42);
    EXPECT_STREQ(buf.data(), c.expect);
    EXPECT_EQ(buf[c.size], '#');  // nothing written past the buffer
}

const CutCase kCutCases[] = {
    {"PlainText", "abcdefghij", nullptr, 8, "abcdef\n"},
    {"ExactFit", "abcdef", nullptr, 8, "abcdef\n"},
    {"Replacement", "%F", "longfilename", 8, "longfi\n"},
    {"ConversionNotSplit", "abcd%ld", nullptr, 8, "abcd\n"},
    {"PercentPairNotSplit", "abcde%%", nullptr, 8, "abcde\n"},
    {"EscapedPercentNotSplit", "abcde%", nullptr, 8, "abcde\n"},
    {"EscapedFileNotSplit", "abcd%F", "x%y", 8, "abcdx\n"},
    {"SizeTwo", "abc", nullptr, 2, "\n"},
    {"SizeOne", "abc", nullptr, 1, ""},
};

INSTANTIATE_TEST_SUITE_P(Table, ExpandFormatCut, ::testing::ValuesIn(kCutCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(LogExpandFormat, LongFormatFillsExactlyTheBuffer)
{
    std::string format(5000, 'f');
    char buf[LOG_LINE_SIZE + 1];
    buf[LOG_LINE_SIZE] = '#';
    LOG_ExpandFormat(format.c_str(), buf, LOG_LINE_SIZE, 0, nullptr, 0);
    EXPECT_EQ(strlen(buf), LOG_LINE_SIZE - 1);
    EXPECT_EQ(buf[LOG_LINE_SIZE - 2], '\n');
    EXPECT_EQ(buf[LOG_LINE_SIZE], '#');
}

TEST(LogErrnoText, KnownAndUnknownValues)
{
    EXPECT_STREQ(LOG_ErrnoText(ENOENT), "No such file or directory");
    EXPECT_STREQ(LOG_ErrnoText(EACCES), "Permission denied");
    EXPECT_STREQ(LOG_ErrnoText(123456), "Unknown error 123456");
    EXPECT_STREQ(LOG_ErrnoText(-1), "Unknown error 4294967295");
}

TEST(StrCopyEnd, ReturnsAddressOfCopiedNul)
{
    char buf[32];
    char *p = STR_CopyEnd(buf, "abc");
    EXPECT_EQ(p, buf + 3);
    p = STR_CopyEnd(p, "de");
    EXPECT_STREQ(buf, "abcde");
    EXPECT_EQ(*p, '\0');
    EXPECT_EQ(STR_CopyEnd(p, ""), p);
}

// ---- the standard-error path: only while no sink was ever made. Each case
// runs in a fresh process, where the ring is still uninitialised.

// Runs body with stderr captured; exits 0 when the capture equals expect.
template <typename F>
void checkStderrInChild(F body, const std::string &expect)
{
    StderrCapture cap;
    body();
    std::string got = cap.stop();
    if (got != expect) {
        fprintf(stderr, "stderr was [%s]\nexpected [%s]\n", got.c_str(), expect.c_str());
        _exit(1);
    }
    _exit(0);
}

TEST(LogStderrDeathTest, WarningAndBelowGoToStderrWithoutPrefix)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(checkStderrInChild(
                    [] {
                        LOG_Printf(4, "j-exec", 120, "x=%d (%F:%L)\n", 5);
                        LOG_Printf(0, "j-exec", 121, "two\nlines");
                        LOG_Printf(3, nullptr, 0, "done 50%");
                    },
                    "x=5 (j-exec:120)\ntwo\ndone 50%\n"),
                ::testing::ExitedWithCode(0), "");
}

TEST(LogStderrDeathTest, DebugLevelsStayOffStderrByDefault)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(checkStderrInChild(
                    [] {
                        LOG_Printf(7, "j-exec", 120, "x=%d (%F:%L)\n", 5);
                        LOG_Printf(5, "j-exec", 120, "notice");
                        LOG_Debug("debug %d", 1);
                        LOG_Info("info");
                        LOG_Warning("warned");
                    },
                    "warned\n"),
                ::testing::ExitedWithCode(0), "");
}

TEST(LogStderrDeathTest, ThresholdCanBeRaised)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(checkStderrInChild(
                    [] {
                        EXPECT_EQ(LOG_SetStderrLevel(7), 4);
                        LOG_Printf(7, "j-exec", 120, "x=%d (%F:%L)\n", 5);
                        LOG_SetStderrLevel(2);
                        LOG_Printf(3, "j-exec", 121, "dropped");
                        LOG_Printf(2, "j-exec", 122, "kept");
                    },
                    "x=5 (j-exec:120)\nkept\n"),
                ::testing::ExitedWithCode(0), "");
}

TEST(LogStderrDeathTest, LongLineIsCutAt2047Bytes)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(checkStderrInChild(
                    [] {
                        std::string big(3000, 'a');
                        LOG_Printf(3, nullptr, 0, "%s", big.c_str());
                    },
                    std::string(2047, 'a')),
                ::testing::ExitedWithCode(0), "");
}

TEST(LogStderrDeathTest, UnopenableFileLeavesStderrPathInPlace)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(checkStderrInChild(
                    [] {
                        LOG_Printf(3, nullptr, 0, "before");
                        EXPECT_EQ(LOG_OpenFile("/nonexistent-dir/x/trace.log", 7, 1, 3), nullptr);
                        LOG_Printf(3, nullptr, 0, "after");
                    },
                    "before\nafter\n"),
                ::testing::ExitedWithCode(0), "");
}

// ---- sinks --------------------------------------------------------------

TEST_F(LogTest, StyleThreeWritesDateLineOncePerDayThenTimeOfDay)
{
    LogSink *s = open(7, LOG_CATEGORY_ALL, LOG_STYLE_DATE | LOG_STYLE_TIME);
    LOG_Printf(7, "j-exec", 10, "first %d", 1);
    ASSERT_EQ(g_written.size(), 2u);
    EXPECT_TRUE(shapeMatches(g_written[0].line, "\n\t\t@~~ @~~ ## ####\n")) << g_written[0].line;
    EXPECT_TRUE(shapeMatches(g_written[1].line, "##:##:## first 1\n")) << g_written[1].line;
    EXPECT_NE(s->year, 0u);

    LOG_Printf(7, "j-exec", 11, "second");
    ASSERT_EQ(g_written.size(), 3u);
    EXPECT_TRUE(shapeMatches(g_written[2].line, "##:##:## second\n")) << g_written[2].line;

    s->day = s->day % 31 + 1;  // the stored date is no longer today
    LOG_Printf(7, "j-exec", 12, "next day");
    ASSERT_EQ(g_written.size(), 5u);
    EXPECT_EQ(g_written[3].line.substr(0, 3), "\n\t\t");
    EXPECT_NE(g_written[4].line.find("next day\n"), std::string::npos);
}

struct StyleCase {
    const char *name;
    uint32_t style;
    const char *file;
    const char *pattern;  // shape of the whole line (see shapeMatches)
};

class LogStyles : public LogTest, public ::testing::WithParamInterface<StyleCase> {};

TEST_P(LogStyles, PrefixFollowsStyleBits)
{
    const StyleCase &c = GetParam();
    open(7, LOG_CATEGORY_ALL, c.style);
    LOG_Printf(LOG_LEVEL_ERROR, c.file, 12, "msg %s", "here");
    ASSERT_EQ(g_written.size(), 1u);
    std::string pattern = c.pattern;
    std::string prog = PL_ProgramName();
    size_t at = pattern.find("PROG");
    if (at != std::string::npos)
        pattern.replace(at, 4, prog);
    EXPECT_TRUE(shapeMatches(g_written[0].line, pattern)) << g_written[0].line;
}

const StyleCase kStyleCases[] = {
    {"None", 0, "j-exec", "msg here\n"},
    {"Level", 0x04, "j-exec", "ERROR: msg here\n"},
    {"FullStamp", 0x02, "j-exec", "##/##/#### ##:##:## msg here\n"},
    {"StampLevelPosition", 0x16, "j-exec", "##/##/#### ##:##:## ERROR (j-exec:12): msg here\n"},
    {"PositionWithoutFile", 0x10, nullptr, "msg here\n"},
    {"LevelPositionWithoutFile", 0x14, nullptr, "ERROR: msg here\n"},
    {"Program", 0x08, "j-exec", "PROG: msg here\n"},
    {"LevelProgramPosition", 0x1C, "j-exec", "ERROR PROG (j-exec:12): msg here\n"},
};

INSTANTIATE_TEST_SUITE_P(Table, LogStyles, ::testing::ValuesIn(kStyleCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(LogTest, LevelAndCategoryMasksFilterMessages)
{
    LogSink *s = open(4, 1, 0);
    for (int level = 0; level <= 7; ++level)
        LOG_Printf(level, nullptr, 0, "L%d", level);
    std::vector<std::string> want = {"L0\n", "L1\n", "L2\n", "L3\n", "L4\n"};
    EXPECT_EQ(lines(), want);

    g_written.clear();
    LOG_PrintfMask(7, nullptr, 0, 0, "category zero");
    LOG_PrintfMask(2, nullptr, 0, 2, "other category");
    LOG_PrintfMask(2, nullptr, 0, 3, "shares a bit");
    LOG_Printf(-5, nullptr, 0, "below range");
    LOG_Printf(99, nullptr, 0, "above range");
    want = {"category zero\n", "shares a bit\n", "below range\n"};
    EXPECT_EQ(lines(), want);
    EXPECT_EQ(g_written[2].level, 0);
    (void)s;
}

TEST_F(LogTest, SetMaskAndSetLevelEditMasks)
{
    LogSink *s = open(2, 0x5, 0);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(s->masks[i], i <= 2 ? 0x5u : 0u) << i;
    LOG_SetMask(s, 5, 0x2);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(s->masks[i], i <= 2 ? 0x7u : (i <= 5 ? 0x2u : 0u)) << i;
    LOG_SetMask(s, 1, 0x4);
    EXPECT_EQ(s->masks[2], 0x3u);
    LOG_SetLevel(s, 99);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(s->masks[i], 0xFFFFFFFFu);
    LOG_SetLevel(s, -1);
    EXPECT_EQ(s->masks[0], 0xFFFFFFFFu);
    EXPECT_EQ(s->masks[1], 0u);
}

TEST_F(LogTest, NewestSinkSeesLineFirst)
{
    LogSink *older = open(7, 1, 0);
    LogSink *newer = open(7, 1, 4);
    LOG_Error("both");
    ASSERT_EQ(g_written.size(), 2u);
    EXPECT_EQ(g_written[0].sink, newer);
    EXPECT_EQ(g_written[0].line, "ERROR: both\n");
    EXPECT_EQ(g_written[1].sink, older);
    EXPECT_EQ(g_written[1].line, "both\n");
}

TEST_F(LogTest, LongMessageIsCutTo2047BytesWithAnyPrefix)
{
    std::string big(3000, 'b');
    open(7, 1, 0);
    open(7, 1, LOG_STYLE_LEVEL | LOG_STYLE_POSITION);
    LOG_Printf(3, "j-exec", 5, "%s", big.c_str());
    ASSERT_EQ(g_written.size(), 2u);
    for (auto &w : g_written) {
        EXPECT_EQ(w.line.size(), LOG_LINE_SIZE - 1);
        EXPECT_EQ(w.line.back(), 'b');
    }
    EXPECT_EQ(g_written[0].line.substr(0, 16), "ERROR (j-exec:5)");
}

TEST_F(LogTest, HugePrefixIsCutSafely)
{
    std::string file(3000, 'f');
    open(7, 1, LOG_STYLE_POSITION);
    LOG_Printf(3, file.c_str(), 5, "message");
    ASSERT_EQ(g_written.size(), 1u);
    EXPECT_EQ(g_written[0].line.size(), LOG_LINE_SIZE - 1);
    EXPECT_EQ(g_written[0].line.substr(0, 3), "(ff");
}

void changeErrnoWrite(LogSink *sink, int level, const char *line)
{
    errno = EBADF;
    captureWrite(sink, level, line);
}

TEST_F(LogTest, ErrnoTextIsTheCallersEvenWhenSinksChangeErrno)
{
    keep(LOG_OpenCallbacks(changeErrnoWrite, nullptr, 7, 1, 0));
    keep(LOG_OpenCallbacks(changeErrnoWrite, nullptr, 7, 1, 0));
    FILE *f = fopen("/nonexistent-dir/x/file", "r");
    ASSERT_EQ(f, nullptr);
    ASSERT_EQ(errno, ENOENT);
    LOG_Printf(3, "j-file", 1, "open failed: %m (%s)", "arg");
    EXPECT_EQ(errno, ENOENT);
    std::vector<std::string> want(2, "open failed: No such file or directory (arg)\n");
    EXPECT_EQ(lines(), want);
}

TEST_F(LogTest, AfterClosingOnlySinkMessagesGoNowhere)
{
    LogSink *s = open(7, LOG_CATEGORY_ALL, 0);
    LOG_Close(s);
    EXPECT_EQ(g_closed, 1);
    EXPECT_EQ(s->next, s);
    EXPECT_EQ(s->previous, s);
    StderrCapture cap;
    LOG_Printf(0, "j-exec", 1, "emergency");
    EXPECT_EQ(cap.stop(), "");
    EXPECT_TRUE(g_written.empty());
    LOG_Close(s);  // closing twice does nothing
    EXPECT_EQ(g_closed, 1);
}

TEST_F(LogTest, CloseAllClosesEverySinkWithoutFreeing)
{
    LogSink *a = open(7, 1, 0);
    LogSink *b = open(7, 1, 0);
    LOG_CloseAll();
    EXPECT_EQ(g_closed, 2);
    EXPECT_EQ(a->next, a);
    EXPECT_EQ(b->next, b);
    LOG_Error("dropped");
    EXPECT_TRUE(g_written.empty());
}

void closingWrite(LogSink *sink, int level, const char *line)
{
    captureWrite(sink, level, line);
    LOG_Close(sink);
}

TEST_F(LogTest, SinkMayCloseItselfWhileWriting)
{
    LogSink *after = open(7, 1, 0);
    LogSink *self = keep(LOG_OpenCallbacks(closingWrite, nullptr, 7, 1, 0));
    LOG_Error("once");
    LOG_Error("twice");
    std::vector<std::string> want = {"once\n", "once\n", "twice\n"};
    EXPECT_EQ(lines(), want);
    EXPECT_EQ(g_written[0].sink, self);
    EXPECT_EQ(g_written[1].sink, after);
}

TEST_F(LogTest, SinkWithoutCallbacksAndNullSinkTakeLinesQuietly)
{
    LogSink *bare = keep(LOG_NewSink(7, 1, LOG_STYLE_DATE));
    keep(LOG_OpenNull(7, 1, 0x1F));
    LOG_Error("nothing to see");
    EXPECT_NE(bare->year, 0u);
}

std::string readFile(const std::string &path)
{
    std::string text;
    FILE *f = fopen(path.c_str(), "r");
    if (f == nullptr)
        return "<missing>";
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    fclose(f);
    return text;
}

TEST_F(LogTest, FileSinkAppendsAndClosesItsFile)
{
    char path[] = "/tmp/krs_log_testXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "old\n", 4), 4);
    close(fd);
    LogSink *s = keep(LOG_OpenFile(path, 4, 1, LOG_STYLE_LEVEL));
    ASSERT_NE(s, nullptr);
    LOG_Printf(4, "j-exec", 3, "misuse %d", 7);
    LOG_Printf(7, "j-exec", 3, "trace");
    LOG_Close(s);
    EXPECT_EQ(s->stream, nullptr);
    EXPECT_EQ(readFile(path), "old\nWARNING: misuse 7\n");
    unlink(path);

    EXPECT_EQ(LOG_OpenFile("/nonexistent-dir/x/trace.log", 7, 1, 0), nullptr);
    EXPECT_EQ(LOG_OpenFile(nullptr, 7, 1, 0), nullptr);
}

TEST_F(LogTest, StreamSinkLeavesStreamOpenOwnedSinkClosesIt)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE *w = fdopen(fds[1], "w");
    LogSink *s = keep(LOG_OpenStream(w, 7, 1, 0));
    LOG_Error("one");
    LOG_Close(s);
    fputs("still open\n", w);
    fflush(w);

    LogSink *owned = keep(LOG_OpenStreamOwned(w, 7, 1, 0));
    LOG_Error("two");
    LOG_Close(owned);  // closes the write end
    std::string text;
    char buf[256];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        text.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    EXPECT_EQ(text, "one\nstill open\ntwo\n");
}

TEST(LogLevelName, NamesByIndexClamped)
{
    const char *names[] = {"EMERG", "ALERT", "CRIT", "ERROR", "WARNING", "NOTICE", "INFO", "DEBUG"};
    for (int i = 0; i < 8; ++i)
        EXPECT_STREQ(LOG_LevelName(i), names[i]);
    EXPECT_STREQ(LOG_LevelName(-1), "EMERG");
    EXPECT_STREQ(LOG_LevelName(8), "DEBUG");
}

// ---- flag lists ---------------------------------------------------------

const LogFlagName kFlags[] = {{"sql", 0x1}, {"jni", 0x2}, {"xa", 0x4}, {"all", 0xFF}};

struct FlagCase {
    const char *name;
    const char *text;
    int rc;
    uint32_t mask;
};

class ParseFlags : public ::testing::TestWithParam<FlagCase> {};

TEST_P(ParseFlags, CollectsBitsUntilFirstBadName)
{
    const FlagCase &c = GetParam();
    uint32_t mask = 0xDEAD;
    EXPECT_EQ(LOG_ParseFlags(c.text, kFlags, 4, &mask), c.rc);
    EXPECT_EQ(mask, c.mask);
}

const FlagCase kFlagCases[] = {
    {"One", "jni", 0, 0x2},
    {"Several", "sql,xa", 0, 0x5},
    {"All", "xa,all", 0, 0xFF},
    {"Empty", "", -1, 0},
    {"Null", nullptr, -1, 0},
    {"EmptyInside", "sql,,xa", -1, 0x1},
    {"TrailingComma", "sql,", -1, 0x1},
    {"Unknown", "sql,bogus,xa", -1, 0x1},
    {"CaseMatters", "SQL", -1, 0},
    {"NoBlanksSkipped", "sql, xa", -1, 0x1},
};

INSTANTIATE_TEST_SUITE_P(Table, ParseFlags, ::testing::ValuesIn(kFlagCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(LogParseFlagsLong, OverlongNameIsUnknown)
{
    std::string name(3000, 's');
    LogFlagName table[] = {{name.c_str(), 8}};
    uint32_t mask = 0;
    EXPECT_EQ(LOG_ParseFlags(name.c_str(), table, 1, &mask), -1);
    EXPECT_EQ(mask, 0u);
    std::string ok(2047, 's');
    LogFlagName table2[] = {{ok.c_str(), 8}};
    EXPECT_EQ(LOG_ParseFlags(ok.c_str(), table2, 1, &mask), 0);
    EXPECT_EQ(mask, 8u);
}

} // namespace

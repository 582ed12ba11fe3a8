// SQL preprocessing: kept text, marker numbering and counting, verbs,
// procedure calls and escape translation.
#include "drv_jdbc/j-escape.h"
#include "odbc/contract/errnum.h"

#include <gtest/gtest.h>

#include <string>

namespace {
struct Case {
    const char *name;
    const char *sql;
    int rc;
    const char *kept;
    const char *translated;
    int markers;
    int verb;
    int flags;
};

const Case kCases[] = {
    {"SelectWithMarker", "  SELECT a FROM t WHERE b = ?", 0, "SELECT a FROM t WHERE b = ?",
     "SELECT a FROM t WHERE b = :1", 1, SQLV_SELECT, SQLT_MARKERS},
    {"ParenthesisedSelect", "((SELECT 1))", 0, "((SELECT 1))", "((SELECT 1))", 0, SQLV_SELECT, 0},
    {"ParenthesisedInsert", "(INSERT INTO t VALUES (1))", 0, nullptr, nullptr, 0, SQLV_OTHER, 0},
    {"Update", "update t set a = ?, b = ?", 0, nullptr, "update t set a = :1, b = :2", 2, SQLV_DML,
     SQLT_MARKERS},
    {"SelectWithoutBlank", "select(1)", 0, nullptr, nullptr, 0, SQLV_SELECT, 0},
    {"SelectedIsNoSelect", "selected", 0, nullptr, nullptr, 0, SQLV_OTHER, 0},
    {"CallEscape", "{call p(?, ?)}", 0, "{call p(?, ?)}", "p(:1, :2)", 2, SQLV_OTHER, SQLT_PROCCALL},
    {"CallEscapeAnyCase", "{ CALL p }", 0, nullptr, "p ", 0, SQLV_OTHER, SQLT_PROCCALL},
    {"ReturnValueCall", "{?=call f(?)}", 0, nullptr, ":1:=f(:2)", 2, SQLV_OTHER, SQLT_PROCCALL},
    {"ReturnValueCallBlanks", "{? = call f(?)}", 0, nullptr, ":1 := f(:2)", 2, SQLV_OTHER,
     SQLT_PROCCALL},
    {"MarkerInQuotes", "SELECT '?' , ?", 0, nullptr, "SELECT '?' , :1", 1, SQLV_SELECT, SQLT_MARKERS},
    {"DoubledQuoteKeepsStringOpen", "SELECT 'a''?' , ?", 0, nullptr, "SELECT 'a''?' , :1", 1,
     SQLV_SELECT, SQLT_MARKERS},
    {"MarkerInQuotedName", "SELECT \"a?\" FROM t", 0, nullptr, nullptr, 0, SQLV_SELECT, 0},
    {"MarkerInLineComment", "SELECT 1 -- what?\n, ?", 0, nullptr, "SELECT 1 -- what?\n, :1", 1,
     SQLV_SELECT, SQLT_MARKERS},
    {"MarkerInBlockComment", "SELECT /* a? /* b? */ c? */ ?", 0, nullptr,
     "SELECT /* a? /* b? */ c? */ :1", 1, SQLV_SELECT, SQLT_MARKERS},
    {"MarkerInDollarBody", "SELECT $$ ? $$, $fn$ {x} ? $fn$, ?", 0, nullptr,
     "SELECT $$ ? $$, $fn$ {x} ? $fn$, :1", 1, SQLV_SELECT, SQLT_MARKERS},
    {"PositionalParameterIsNoDollarQuote", "SELECT $1, ?", 0, nullptr, "SELECT $1, :1", 1, SQLV_SELECT,
     SQLT_MARKERS},
    {"MarkerInEscapeString", "SELECT E'it\\'s ?', ?", 0, nullptr, "SELECT E'it\\'s ?', :1", 1,
     SQLV_SELECT, SQLT_MARKERS},
    {"BackslashInPlainString", "SELECT 'a\\', ?", 0, nullptr, "SELECT 'a\\', :1", 1, SQLV_SELECT,
     SQLT_MARKERS},
    {"FunctionEscapeLeavesNoTrace", "SELECT {fn UCASE(a)} FROM t", 0, "SELECT {fn UCASE(a)} FROM t",
     "SELECT  FROM t", 0, SQLV_SELECT, 0},
    {"MarkersInsideEscapeCountButDoNotFlag", "VALUES ({fn ucase(?)})", 0, nullptr, "VALUES ()", 1,
     SQLV_OTHER, 0},
    {"NumberingRunsThroughEscapes", "SELECT {fn f(?)}, ?", 0, nullptr, "SELECT , :2", 2, SQLV_SELECT,
     SQLT_MARKERS},
    {"NullFunctionBlanked", "SELECT {fn null} FROM t", 0, "SELECT null      FROM t", nullptr, 0,
     SQLV_SELECT, 0},
    {"NullFunctionForms", "{fn null()} {fn (null)} { FN () }", 0, "null        null        null     ",
     nullptr, 0, SQLV_OTHER, 0},
    {"NullFunctionInStringKept", "SELECT '{fn null}'", 0, "SELECT '{fn null}'", nullptr, 0,
     SQLV_SELECT, 0},
    {"CommentFormEscape", "SELECT --*(fn f(?)--*) , ?", 0, nullptr, "SELECT  , :2", 2, SQLV_SELECT,
     SQLT_MARKERS},
    {"VendorPrefixDropped", "--*(Vendor(Microsoft), Product(ODBC), call p(?)--*)", 0, nullptr,
     "p(:1)", 1, SQLV_OTHER, SQLT_PROCCALL},
    {"TrailingSemicolonDropped", "UPDATE t SET a = 1;  ", 0, nullptr, "UPDATE t SET a = 1", 0,
     SQLV_DML, 0},
    {"SemicolonBetweenStatements", "a;  b", 0, nullptr, "a;\nb", 0, SQLV_OTHER, 0},
    {"MarkerAfterSemicolonCounts", "a; ?", 0, nullptr, "a;\n:1", 1, SQLV_OTHER, SQLT_MARKERS},
    {"ControlCharacters", "a\tb\r\nc", 0, nullptr, "a b\n\nc", 0, SQLV_OTHER, 0},
    {"UnclosedEscape", "SELECT {fn f(?)", 68, "SELECT {fn f(?)", "SELECT ", 0, SQLV_NONE, 0},
    {"BraceInsideQuotedEscapeText", "SELECT {fn concat('}', ?)}, ?", 0, nullptr, "SELECT , :2", 2,
     SQLV_SELECT, SQLT_MARKERS},
    {"UnmatchedCloseBraceIsPlain", "SELECT '}' || } ", 0, nullptr, "SELECT '}' || } ", 0, SQLV_SELECT, 0},
    {"NonAsciiCopied", "SELECT 'Grüße 😀', ?", 0, nullptr, "SELECT 'Grüße 😀', :1", 1, SQLV_SELECT,
     SQLT_MARKERS},
};

class Escapes : public ::testing::TestWithParam<Case> {};

TEST_P(Escapes, AnalysisAndTranslation)
{
    const Case &c = GetParam();
    SqlText st{};
    EXPECT_EQ(prepareSQLText(&st, c.sql), c.rc);
    ASSERT_NE(st.kept, nullptr);
    ASSERT_NE(st.translated, nullptr);
    if (c.kept) {
        EXPECT_EQ(std::string(st.kept), c.kept);
    }
    if (c.translated) {
        EXPECT_EQ(std::string(st.translated), c.translated);
    }
    EXPECT_EQ(st.markerCount, c.markers);
    EXPECT_EQ(st.verb, c.verb);
    EXPECT_EQ(st.flags, c.flags);
    freeSQLText(&st);
    EXPECT_EQ(st.kept, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Table, Escapes, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &i) { return std::string(i.param.name); });

TEST(EscapesNesting, TooDeepIsRefusedNotOverrun)
{
    std::string sql = "SELECT ";
    for (int i = 0; i < 40; ++i)
        sql += "{fn f(";
    for (int i = 0; i < 40; ++i)
        sql += ")}";
    SqlText st{};
    EXPECT_EQ(prepareSQLText(&st, sql.c_str()), ERR_SYNTAX_OR_ACCESS);
    freeSQLText(&st);
}

TEST(EscapesNesting, NestedEscapesTranslateInsideOut)
{
    SqlText st{};
    ASSERT_EQ(prepareSQLText(&st, "{call p({fn ucase(?)}, ?)}"), 0);
    EXPECT_STREQ(st.translated, "p(, :2)");
    EXPECT_EQ(st.markerCount, 2);
    EXPECT_EQ(st.flags, SQLT_PROCCALL);
    freeSQLText(&st);
}

TEST(EscapesNesting, NullTextIsEmpty)
{
    SqlText st{};
    EXPECT_EQ(prepareSQLText(&st, nullptr), 0);
    EXPECT_STREQ(st.kept, "");
    EXPECT_EQ(st.verb, SQLV_OTHER);
    freeSQLText(&st);
}
} // namespace

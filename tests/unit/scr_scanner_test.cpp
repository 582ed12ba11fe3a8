// The analyser's scanner on its own: statement text -> tokens, their pooled
// texts, the echo and the scanner's own reports.
#include <gtest/gtest.h>

#include "scrs/scsql_ctx.h"
#include "scrs/scsql_parse.hpp"
#include "util/hash.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

typedef void *yyscan_t;
int scsql_lex_init_extra(ScrParseCtx *extra, yyscan_t *scanner);
int scsql_lex_destroy(yyscan_t scanner);
int scsql_lex(SCSQL_STYPE *value, void *scanner);

namespace {

struct Token {
    int kind;
    const ScrTokenEntry *entry;
};

// Scans a whole text with a fresh context, as one parse would.
class Scan {
public:
    explicit Scan(const char *text)
    {
        ctx_ = static_cast<ScrParseCtx *>(calloc(1, sizeof(ScrParseCtx)));
        ctx_->start = ctx_->pos = text;
        ctx_->end = text + strlen(text);
        ctx_->tokens = HASH_Create(17, 0);
        yyscan_t s = nullptr;
        EXPECT_EQ(scsql_lex_init_extra(ctx_, &s), 0);
        for (int i = 0; i < 1000; ++i) {
            SCSQL_STYPE v{};
            int t = scsql_lex(&v, s);
            if (t == 0)
                break;
            tokens.push_back({t, t < 271 ? v.tok : nullptr});
        }
        scsql_lex_destroy(s);
        echo.assign(ctx_->echo, ctx_->echoLen);
        if (ctx_->errMessage)
            message = ctx_->errMessage;
        if (ctx_->errEcho)
            errEcho = ctx_->errEcho;
    }
    ~Scan()
    {
        HASH_ForEach(
            ctx_->tokens,
            [](uint64_t v, const void *, void *) {
                ScrTokenEntry *e = reinterpret_cast<ScrTokenEntry *>(v);
                free(e->text);
                free(e);
            },
            nullptr);
        HASH_Free(ctx_->tokens);
        while (ctx_->blocks)
            scsql_ArenaFree(ctx_, ctx_->blocks + 1);
        free(ctx_->errEcho);
        free(ctx_->errMessage);
        free(ctx_);
    }
    std::vector<int> kinds() const
    {
        std::vector<int> k;
        for (const Token &t : tokens)
            k.push_back(t.kind);
        return k;
    }
    std::string text(size_t i) const
    {
        return i < tokens.size() && tokens[i].entry ? tokens[i].entry->text : "<none>";
    }

    std::vector<Token> tokens;
    std::string echo, message, errEcho;

private:
    ScrParseCtx *ctx_;
};

struct ScanCase {
    const char *name;
    const char *sql;
    std::vector<int> kinds;
};

class ScannerTokens : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScannerTokens, Give)
{
    Scan s(GetParam().sql);
    EXPECT_EQ(s.kinds(), GetParam().kinds) << GetParam().sql;
}

const int UNDEF = TK_SCSQL_UNDEF;

INSTANTIATE_TEST_SUITE_P(
    Cases, ScannerTokens,
    ::testing::Values(
        ScanCase{"SelectOrderBy", "select A from T order by a",
                 {TK_SELECT, TK_IDENT, TK_FROM, TK_IDENT, TK_ORDER, TK_BY, TK_IDENT}},
        ScanCase{"OrderTabBy", "SELECT a ORDER\tBY b", {TK_SELECT, TK_IDENT, TK_ORDER, TK_BY, TK_IDENT}},
        ScanCase{"OrderNewlineBy", "SELECT a ORDER\n BY b", {TK_SELECT, TK_IDENT, TK_ORDER, TK_BY, TK_IDENT}},
        ScanCase{"OrderByOneWord", "SELECT ORDERBY", {TK_SELECT, TK_IDENT}},
        ScanCase{"KeywordInsideLongerWord", "SELECT selected, fromage", {TK_SELECT, TK_IDENT, ',', TK_IDENT}},
        ScanCase{"LeftAloneIsIdent", "SELECT left(a) LEFT JOIN", {TK_SELECT, TK_IDENT, '(', TK_IDENT, ')', TK_LEFT, TK_JOIN}},
        ScanCase{"FunctionEscape", "SELECT {fn ucase(x)} a",
                 {TK_SELECT, TK_LBRACE, TK_FN, TK_IDENT, '(', TK_IDENT, ')', TK_RBRACE, TK_IDENT}},
        ScanCase{"NestedEscapesLeaveAtOuterBrace", "SELECT {fn a({fn b()})} and",
                 {TK_SELECT, TK_LBRACE, TK_FN, TK_IDENT, '(', TK_LBRACE, TK_FN, TK_IDENT, '(', ')', TK_RBRACE, ')',
                  TK_RBRACE, TK_AND}},
        ScanCase{"AndIsIdentInEscape", "SELECT {oj a and b}", {TK_SELECT, TK_LBRACE, TK_OJ, TK_IDENT, TK_IDENT, TK_IDENT, TK_RBRACE}},
        ScanCase{"DateEscape", "SELECT {d '2001-02-03'}", {TK_SELECT, TK_LBRACE, TK_DATELIT, TK_RBRACE}},
        ScanCase{"TimestampEscape", "SELECT {ts '2001-02-03 04:05:06.7'}", {TK_SELECT, TK_LBRACE, TK_TSLIT, TK_RBRACE}},
        ScanCase{"DateWordOutsideEscape", "SELECT d '2001-02-03'", {TK_SELECT, TK_IDENT, TK_STRING}},
        ScanCase{"VendorEscape", "SELECT --(* vendor(Microsoft), product(ODBC) fn x() *)-- FROM t",
                 {TK_SELECT, TK_VENDOROPEN, TK_FN, TK_IDENT, '(', ')', TK_VENDORCLOSE, TK_FROM, TK_IDENT}},
        ScanCase{"QuotedString", "SELECT 'it''s'", {TK_SELECT, TK_STRING}},
        ScanCase{"Numbers", "SELECT 1, 1.5, .5, 2e3, 1.5E-2, 0x1F",
                 {TK_SELECT, TK_INTEGER, ',', TK_DECIMAL, ',', TK_DECIMAL, ',', TK_FLOAT, ',', TK_FLOAT, ',', TK_HEXLIT}},
        ScanCase{"Operators", "SELECT a||b WHERE a<>b AND c<=d AND e*=f",
                 {TK_SELECT, TK_IDENT, TK_CONCAT, TK_IDENT, TK_WHERE, TK_IDENT, TK_COMPARE, TK_IDENT, TK_AND, TK_IDENT,
                  TK_COMPARE, TK_IDENT, TK_AND, TK_IDENT, TK_OJOP, TK_IDENT}},
        ScanCase{"SetFunctions", "SELECT COUNT(*), max(a)", {TK_SELECT, TK_SETFUNC, '(', '*', ')', ',', TK_SETFUNC, '(', TK_IDENT, ')'}},
        ScanCase{"Markers", "UPDATE t SET a = ?", {TK_UPDATE, TK_IDENT, TK_SET, TK_IDENT, TK_COMPARE, TK_MARKER}},
        ScanCase{"OtherStatement", "commit work", {TK_OTHERWORD}},
        ScanCase{"OtherAfterDigits", "  123 create table", {TK_OTHERWORD}},
        ScanCase{"OtherWithSelectLater", "EXPLAIN SELECT a FROM t", {TK_OTHERWORD}},
        ScanCase{"CallStatement", "{? = call p(?)}", {TK_CALLOPEN}},
        ScanCase{"UnknownCharacterNotDropped", "SELECT a FROM t WHERE a != 5",
                 {TK_SELECT, TK_IDENT, TK_FROM, TK_IDENT, TK_WHERE, TK_IDENT, UNDEF, TK_COMPARE, TK_INTEGER}},
        ScanCase{"LoneBraceNotDropped", "SELECT a } FROM t", {TK_SELECT, TK_IDENT, UNDEF, TK_FROM, TK_IDENT}},
        ScanCase{"QuotedIdentifierWithMinus", "SELECT \"my-col\" FROM t", {TK_SELECT, TK_IDENT, TK_FROM, TK_IDENT}},
        ScanCase{"CommentIsNotTwoMinus", "SELECT a --x\n FROM t", {TK_SELECT, TK_IDENT, TK_FROM, TK_IDENT}},
        ScanCase{"CommentBeforeStatement", "-- note\nSELECT a", {TK_SELECT, TK_IDENT}},
        ScanCase{"MinusMinusApartIsArithmetic", "SELECT a - -b", {TK_SELECT, TK_IDENT, '-', '-', TK_IDENT}},
        ScanCase{"UnterminatedString", "SELECT 'abc\n FROM t", {TK_SELECT, UNDEF, TK_FROM, TK_IDENT}},
        ScanCase{"Semicolon", "SELECT a;", {TK_SELECT, TK_IDENT, ';'}},
        ScanCase{"AtNames", "SELECT @v, a@1", {TK_SELECT, TK_IDENT, ',', TK_IDENT}},
        ScanCase{"BackQuoted", "SELECT `a b` FROM t", {TK_SELECT, TK_IDENT, TK_FROM, TK_IDENT}}),
    [](const ::testing::TestParamInfo<ScanCase> &i) { return std::string(i.param.name); });

TEST(Scanner, PoolKeepsFirstSpellingOfWordsOnly)
{
    Scan s("select A from T order by a");
    ASSERT_EQ(s.tokens.size(), 7u);
    EXPECT_EQ(s.tokens[6].entry, s.tokens[1].entry);
    EXPECT_EQ(s.text(6), "A");

    Scan lit("SELECT a WHERE b IN ('A', 'a') AND \"Name\" = \"name\"");
    std::vector<std::string> texts;
    for (size_t i = 0; i < lit.tokens.size(); ++i)
        if (lit.tokens[i].kind == TK_STRING || (lit.tokens[i].kind == TK_IDENT && lit.text(i)[0] == '"'))
            texts.push_back(lit.text(i));
    EXPECT_EQ(texts, (std::vector<std::string>{"'A'", "'a'", "\"Name\"", "\"name\""}));
}

TEST(Scanner, TokenTexts)
{
    Scan s("SELECT 'it''s', {d '2001-02-03'}, `a\"b`, \"my-col\" WHERE x LIKE 'a' ESCAPE '\\'");
    std::vector<std::string> got;
    for (size_t i = 0; i < s.tokens.size(); ++i)
        if (s.tokens[i].entry)
            got.push_back(s.text(i));
    EXPECT_EQ(got, (std::vector<std::string>{"'it''s'", "d '2001-02-03'", "\"a\"\"b\"", "\"my-col\"", "x", "'a'",
                                             "ESCAPE '\\'"}));
}

TEST(Scanner, EchoNormalisesBlanksAndLines)
{
    Scan s("SELECT\n\n  a");
    EXPECT_EQ(s.echo, "SELECT  a");
    Scan t("SELECT a\tFROM   t WHERE x = 1 -- c\nSELECT b");
    EXPECT_EQ(t.echo, "SELECT b") << "a statement keyword restarts the echo";
}

TEST(Scanner, UnterminatedStringIsReported)
{
    Scan s("SELECT a FROM t WHERE b = 'abc");
    EXPECT_EQ(s.message, "Unterminated string literal.");
    EXPECT_EQ(s.errEcho, "SELECT a FROM t WHERE b = 'abc^");
}

TEST(Scanner, LongTokensGrowTheBuffer)
{
    std::string big = "SELECT '" + std::string(40000, 'x') + "' FROM t";
    Scan s(big.c_str());
    ASSERT_EQ(s.tokens.size(), 4u);
    EXPECT_EQ(s.text(1).size(), 40002u);
    EXPECT_EQ(s.echo.size(), SCR_ECHO_SIZE - 1) << "the echo is cut at its buffer's end";
}

} // namespace

// The analyser's grammar: statement text -> statement kind and regenerated
// text (golden), the forms it refuses with their reports, and the shape of
// the trees the rest of the analyser searches.
#include <gtest/gtest.h>

#include "scrs/scr_kinds.h"
#include "scrs/scsql_ctx.h"
#include "scrs/sqlt_tree.h"

#include <cstdlib>
#include <string>

namespace {

struct Parsed {
    explicit Parsed(const std::string &sql)
    {
        rc = scr_Parse(sql.c_str(), &tree, &echo, &message);
        if (tree)
            SQLT_TextBuild(tree);
    }
    ~Parsed()
    {
        SQLT_Free(&tree, sqlt_NodeTextsFree);
        free(echo);
        free(message);
    }
    SqlNode *find(int kind, SqlNode *from = nullptr) const
    {
        SqlNode *found = nullptr;
        SQLT_Walk(from ? from : tree, sqlt_FindKind, kind, &found);
        return found;
    }
    int rc = -1;
    SqlNode *tree = nullptr;
    char *echo = nullptr;
    char *message = nullptr;
};

struct GoldenCase {
    const char *sql;
    int kind;
    const char *text;
};

class GrammarGolden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GrammarGolden, Regenerates)
{
    const GoldenCase &c = GetParam();
    Parsed p(c.sql);
    ASSERT_EQ(p.rc, 0) << c.sql << ": " << (p.message ? p.message : "") << " at " << (p.echo ? p.echo : "");
    EXPECT_EQ(p.tree->kind, c.kind) << c.sql;
    EXPECT_EQ(std::string(p.tree->text), c.text) << c.sql;
    if (!*c.text)
        return;
    // The regenerated text parses again to itself.
    Parsed again(p.tree->text);
    ASSERT_EQ(again.rc, 0) << p.tree->text;
    EXPECT_EQ(std::string(again.tree->text), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, GrammarGolden,
    ::testing::Values(
        GoldenCase{"SELECT a FROM t", SQLK_SELECT, "SELECT  a FROM t      "},
        GoldenCase{"SELECT a FROM t WHERE b = ? ORDER BY c DESC", SQLK_SELECT,
                   "SELECT  a FROM t WHERE b = ?    ORDER BY c DESC "},
        GoldenCase{"select A from T order by a", SQLK_SELECT, "SELECT  A FROM T     ORDER BY A  "},
        GoldenCase{"SELECT * FROM a, b ORDER BY 1", SQLK_SELECT, "SELECT  * FROM a, b     ORDER BY 1  "},
        GoldenCase{"SELECT DISTINCT t.*, x AS y, -z, (w) FROM o.t t", SQLK_SELECT,
                   "SELECT DISTINCT t.*, x AS y, -z, ( w ) FROM o.t  t      "},
        GoldenCase{"SELECT a FROM t WHERE x = 1 OR y = 2 AND NOT z = 3", SQLK_SELECT,
                   "SELECT  a FROM t WHERE x = 1 OR y = 2 AND NOT z = 3     "},
        GoldenCase{"SELECT a FROM t WHERE", SQLK_SELECT, "SELECT  a FROM t WHERE      "},
        GoldenCase{"SELECT a FROM t WHERE b BETWEEN ? AND ? AND c NOT LIKE 'x%' ESCAPE '\\' AND d IN (1, ?, 'q')",
                   SQLK_SELECT,
                   "SELECT  a FROM t WHERE b BETWEEN ? AND ? AND c NOT LIKE 'x%' ESCAPE '\\' AND d IN ( 1, ?, 'q' )     "},
        GoldenCase{"SELECT a FROM t WHERE b IS NOT NULL AND ? IS NULL AND EXISTS (SELECT * FROM u WHERE u.k = t.k)",
                   SQLK_SELECT,
                   "SELECT  a FROM t WHERE b IS NOT NULL AND ? IS NULL AND EXISTS ( SELECT  * FROM u WHERE u.k = t.k   )     "},
        GoldenCase{"SELECT a FROM t WHERE b > ALL (SELECT c FROM u) AND d = (SELECT MAX(e) FROM v)", SQLK_SELECT,
                   "SELECT  a FROM t WHERE b > ALL ( SELECT  c FROM u    ) AND d = ( SELECT  MAX( e ) FROM v    )     "},
        GoldenCase{"SELECT a FROM t UNION SELECT b FROM u ORDER BY 1", SQLK_SELECT,
                   "SELECT  a FROM t    UNION SELECT  b FROM u     ORDER BY 1   "},
        GoldenCase{"SELECT COUNT(*), MAX(*), SUM(DISTINCT a) FROM t GROUP BY b, c HAVING COUNT(*) > 1", SQLK_SELECT,
                   "SELECT  COUNT (*), MAX (*), SUM( DISTINCT a ) FROM t  GROUP BY b, c HAVING COUNT (*) > 1   "},
        GoldenCase{"SELECT a FROM t1 LEFT OUTER JOIN t2 ON t1.x = t2.x INNER JOIN t3 ON t3.y = t1.y", SQLK_SELECT,
                   "SELECT  a FROM t1 LEFT OUTER JOIN t2 ON t1.x = t2.x INNER JOIN t3 ON t3.y = t1.y      "},
        GoldenCase{"SELECT a FROM {oj t1 LEFT OUTER JOIN t2 ON t1.a = t2.a}", SQLK_SELECT,
                   "SELECT  a FROM { oj t1 LEFT OUTER JOIN t2 ON t1.a = t2.a }      "},
        GoldenCase{"SELECT a FROM (SELECT b FROM t GROUP BY b) x", SQLK_SELECT,
                   "SELECT  a FROM ( SELECT  b FROM t  GROUP BY b    )  x       "},
        GoldenCase{"SELECT {fn ucase(a)}, {d '2001-02-03'} FROM t", SQLK_SELECT,
                   "SELECT  { fn ucase( a ) }, { d '2001-02-03' } FROM t      "},
        GoldenCase{"SELECT CASE a WHEN 1 THEN 'x' ELSE 'y' END, CASE WHEN b > 0 THEN 1 END FROM t", SQLK_SELECT,
                   "SELECT  CASE a WHEN 1 THEN 'x' ELSE 'y' END, CASE WHEN b > 0 THEN 1 END FROM t      "},
        GoldenCase{"SELECT TOP 5 PERCENT a FROM t", SQLK_SELECT, "SELECT  TOP 5 PERCENT  a FROM t      "},
        GoldenCase{"SELECT a || b, c * d / 2 + 1.5 - 2e3 FROM t", SQLK_SELECT,
                   "SELECT  a || b, c * d / 2 + 1.5 - 2e3 FROM t      "},
        GoldenCase{"SELECT \"my-col\", \"Name\", \"name\" FROM \"my table\" WHERE x IN ('A', 'a')", SQLK_SELECT,
                   "SELECT  \"my-col\", \"Name\", \"name\" FROM \"my table\" WHERE x IN ( 'A', 'a' )     "},
        GoldenCase{"SELECT a FROM t -- trailing note", SQLK_SELECT, "SELECT  a FROM t      "},
        GoldenCase{"SELECT a\n--x\n FROM t", SQLK_SELECT, "SELECT  a FROM t      "},
        GoldenCase{"INSERT INTO t VALUES (?, 5, ?)", SQLK_INSERT, "INSERT INTO t  VALUES ( ?, 5, ? )"},
        GoldenCase{"INSERT INTO t (a, b) SELECT c, ? FROM u WHERE d = ?", SQLK_INSERT,
                   "INSERT INTO t ( a, b ) SELECT  c, ? FROM u WHERE d = ?    "},
        GoldenCase{"UPDATE t SET a = ? WHERE CURRENT OF c1", SQLK_POS_UPDATE, "UPDATE t SET a = ? WHERE CURRENT OF c1"},
        GoldenCase{"UPDATE t SET a = ?, b = NULL WHERE c > ?", SQLK_UPDATE, "UPDATE t SET a = ?, b = NULL WHERE c > ?"},
        GoldenCase{"UPDATE t SET a = u.b FROM u WHERE t.k = u.k", SQLK_UPDATE,
                   "UPDATE t SET a = u.b FROM u WHERE t.k = u.k"},
        GoldenCase{"UPDATE t SET a <> 1", SQLK_UPDATE, "UPDATE t SET a <> 1 "},
        GoldenCase{"DELETE FROM t WHERE a = ?", SQLK_DELETE, "DELETE FROM t WHERE a = ?"},
        GoldenCase{"DELETE FROM o.t WHERE CURRENT OF c", SQLK_POS_DELETE, "DELETE FROM o.t WHERE CURRENT OF c"},
        GoldenCase{"CREATE TABLE x (a int)", SQLK_OTHER, ""},
        GoldenCase{"{call p(?)}", SQLK_CALL, ""}));

TEST(Grammar, OrderByEndsInTheInnermostTail)
{
    Parsed p("SELECT a FROM t UNION SELECT b FROM u ORDER BY 1");
    ASSERT_EQ(p.rc, 0);
    SqlNode *stmtHolder = p.tree->firstChild->nextSibling;
    ASSERT_EQ(stmtHolder->kind, SQLK_ORDER_BY_HOLDER);
    EXPECT_EQ(stmtHolder->tmpl, nullptr) << "the statement's own ORDER BY holder stays empty";
    SqlNode *u = p.find(SQLK_UNION);
    ASSERT_NE(u, nullptr);
    SqlNode *second = p.find(SQLK_QUERY_BLOCK, u->firstChild);
    SqlNode *tail = second->firstChild->nextSibling->nextSibling;
    SqlNode *last = tail->firstChild;
    while (last->nextSibling)
        last = last->nextSibling;
    EXPECT_EQ(last->kind, SQLK_ORDER_BY_HOLDER);
    EXPECT_NE(last->tmpl, nullptr);
}

TEST(Grammar, OrBindsWeakerThanAnd)
{
    Parsed p("SELECT a FROM t WHERE x = 1 OR y = 2 AND z = 3");
    SqlNode *w = p.find(SQLK_WHERE);
    ASSERT_NE(w, nullptr);
    SqlNode *cond = w->firstChild;
    ASSERT_EQ(cond->childCount, 2);
    EXPECT_STREQ(cond->firstChild->nextSibling->text, "y = 2 AND z = 3");
}

TEST(Grammar, PositionedUpdateHasThreeChildren)
{
    Parsed p("UPDATE t SET a = ? WHERE CURRENT OF c1");
    ASSERT_EQ(p.rc, 0);
    EXPECT_EQ(p.tree->childCount, 3);
}

struct FailCase {
    const char *sql;
    const char *message;
    const char *echo;
};

class GrammarRefuses : public ::testing::TestWithParam<FailCase> {};

TEST_P(GrammarRefuses, WithReport)
{
    const FailCase &c = GetParam();
    Parsed p(c.sql);
    EXPECT_NE(p.rc, 0) << c.sql;
    EXPECT_EQ(p.tree, nullptr);
    ASSERT_NE(p.message, nullptr);
    EXPECT_STREQ(p.message, c.message);
    if (c.echo) {
        ASSERT_NE(p.echo, nullptr);
        EXPECT_STREQ(p.echo, c.echo);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, GrammarRefuses,
    ::testing::Values(FailCase{"", "syntax error", "^"}, FailCase{"   ", "syntax error", "^"},
                      FailCase{"SELECT a FROM t;", "syntax error", "SELECT a FROM t;^"},
                      FailCase{"SELECT a FROM t LIMIT 1", "syntax error", nullptr},
                      FailCase{"SELECT a FROM f(1)", "syntax error", nullptr},
                      FailCase{"INSERT INTO t VALUES (a + 1)", "syntax error", nullptr},
                      FailCase{"SELECT a FROM {oj t1 LEFT OUTER JOIN t2 ON t1.a = t2.a AND t1.b = t2.b}",
                               "syntax error", nullptr},
                      FailCase{"SELECT a FROM t WHERE a != 5", "syntax error", "SELECT a FROM t WHERE a !^"},
                      FailCase{"SELECT a FROM t WHERE b = 'x", "Unterminated string literal.", nullptr},
                      FailCase{"SELECT a FROM t WHERE b = 'x\ny' AND c = 1", "Unterminated string literal.",
                               "SELECT a FROM t WHERE b = 'x^"},
                      FailCase{"SELECT a FROM t } WHERE b = 1", "syntax error", nullptr},
                      FailCase{"UPDATE t SET a = 1 WHERE CURRENT OF", "syntax error", nullptr}));

TEST(Grammar, DeepNestingIsMemoryExhaustedNotACrash)
{
    std::string sql = "SELECT a FROM t WHERE " + std::string(10000, '(') + "b = 1" + std::string(10000, ')');
    Parsed p(sql);
    EXPECT_NE(p.rc, 0);
    ASSERT_NE(p.message, nullptr);
    EXPECT_STREQ(p.message, "memory exhausted");
}

TEST(Grammar, LongInListParsesInLinearMemory)
{
    std::string sql = "SELECT a FROM t WHERE b IN (?";
    for (int i = 1; i < 10000; ++i)
        sql += ", ?";
    sql += ")";
    Parsed p(sql);
    ASSERT_EQ(p.rc, 0);
    EXPECT_EQ(std::string(p.tree->text).size(), sql.size() + 2 + 6) << p.tree->text;
}

TEST(Grammar, ErrorAfterEscapeDoesNotCarryOver)
{
    Parsed bad("SELECT {fn x( FROM t");
    EXPECT_NE(bad.rc, 0);
    Parsed good("SELECT a FROM t WHERE b = 1");
    ASSERT_EQ(good.rc, 0);
    EXPECT_EQ(good.tree->kind, SQLK_SELECT);
}

} // namespace

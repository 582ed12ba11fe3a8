// Parameter probes: statement text -> probe texts, described count and the
// INSERT marker map.  A marker whose place is not certain is never described,
// so the described count then falls short of the statement's markers.
#include <gtest/gtest.h>

#include "scrs/scr_probes.h"

#include <string>

namespace {

struct ProbeCase {
    const char *sql;
    const char *probes;   // joined by " | "
    int described;
    const char *map;      // NULL: none
};

std::string Joined(const ScrParamProbes &p)
{
    std::string s;
    for (int i = 0; i < p.probeCount; ++i)
        s += (i ? " | " : "") + std::string(p.probes[i]);
    return s;
}

class Probes : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(Probes, Build)
{
    const ProbeCase &c = GetParam();
    ScrParamProbes p;
    SCR_ParamProbesInit(&p, "NULL");
    ASSERT_EQ(SCR_ParamProbesGet(&p, c.sql), 0) << c.sql;
    EXPECT_EQ(Joined(p), c.probes) << c.sql;
    EXPECT_EQ(p.describedCount, c.described) << c.sql;
    if (c.map) {
        EXPECT_STREQ(p.markerMap, c.map) << c.sql;
    } else {
        EXPECT_EQ(p.markerMap, nullptr) << c.sql;
    }
    if (p.probeCount) {
        EXPECT_EQ(p.probes[p.probeCount], nullptr);
    }
    SCR_ParamProbesFree(&p);
    EXPECT_EQ(p.probeCount, 0);
    EXPECT_EQ(p.sql.tree, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, Probes,
    ::testing::Values(
        ProbeCase{"SELECT a FROM t WHERE b = ? AND c BETWEEN ? AND ?", "SELECT b, c, c FROM t WHERE 1=0 ", 3, nullptr},
        ProbeCase{"SELECT a FROM t WHERE ? BETWEEN b AND ?", "SELECT b, b FROM t WHERE 1=0 ", 2, nullptr},
        ProbeCase{"SELECT a FROM t WHERE b LIKE ? AND ? = c", "SELECT b, c FROM t WHERE 1=0 ", 2, nullptr},
        ProbeCase{"SELECT a FROM t WHERE b IN (?, ?)", "SELECT b, b FROM t WHERE 1=0 ", 2, nullptr},
        ProbeCase{"SELECT a FROM t WHERE ? IN (1, 2)", "SELECT 1 FROM t WHERE 1=0 ", 1, nullptr},
        ProbeCase{"SELECT a FROM t WHERE ? IN (?, 2)", "", 0, nullptr},
        ProbeCase{"SELECT a FROM t x, u WHERE x.b = ? HAVING SUM(y) > ?", "SELECT x.b, (y) FROM t  x, u WHERE 1=0 ", 2,
                  nullptr},
        ProbeCase{"SELECT a FROM t WHERE x = ? HAVING COUNT(*) > ?", "SELECT x, 1 FROM t WHERE 1=0 ", 2, nullptr},
        ProbeCase{"SELECT a FROM t HAVING MAX(y) < ?", "SELECT MAX( y ) FROM t WHERE 1=0 ", 1, nullptr},
        ProbeCase{"SELECT a FROM t WHERE x IN (SELECT b FROM u WHERE c = ?)", "", 0, nullptr},
        ProbeCase{"SELECT a FROM t WHERE x = (SELECT b FROM u WHERE c = ?)", "", 0, nullptr},
        ProbeCase{"SELECT a FROM t WHERE ? = (SELECT MAX(b) FROM u)",
                  "SELECT ( SELECT  MAX( b ) FROM u    ) FROM t WHERE 1=0 ", 1, nullptr},
        ProbeCase{"SELECT a FROM t WHERE x = ANY (SELECT b FROM u) AND ? > ALL (SELECT c FROM v)", "", 0, nullptr},
        // A marker in a CASE condition is compared with y there, whatever
        // the CASE is compared with; one whose type is the CASE's own is
        // not described, nor are the others of its predicate.
        ProbeCase{"SELECT ?, a FROM t WHERE x = CASE WHEN y = ? THEN 1 END", "SELECT y FROM t WHERE 1=0 ", 1,
                  nullptr},
        ProbeCase{"SELECT a FROM t WHERE CASE WHEN y = ? THEN 1 END IN (1, 2) AND z > ?",
                  "SELECT y, z FROM t WHERE 1=0 ", 2, nullptr},
        ProbeCase{"SELECT a FROM t WHERE CASE WHEN y = ? THEN ? END = x", "", 0, nullptr},
        ProbeCase{"SELECT a FROM t WHERE x IS NULL AND y = ?", "SELECT y FROM t WHERE 1=0 ", 1, nullptr},
        ProbeCase{"SELECT a FROM t WHERE ? IS NULL", "SELECT NULL FROM t WHERE 1=0 ", 1, nullptr},
        ProbeCase{"SELECT a FROM t WHERE b = ? UNION SELECT c FROM u WHERE d > ?",
                  "SELECT b FROM t WHERE 1=0  | SELECT d FROM u WHERE 1=0 ", 2, nullptr},
        ProbeCase{"SELECT a FROM (SELECT b FROM t WHERE c = ?) x WHERE x.b = ?", "", 0, nullptr},
        ProbeCase{"SELECT a FROM (SELECT b FROM t UNION SELECT b FROM u) x WHERE x.b = ?",
                  "SELECT x.b FROM ( SELECT  b FROM t    UNION SELECT  b FROM u       )  x  WHERE 1=0 ", 1, nullptr},
        ProbeCase{"SELECT a FROM t1 INNER JOIN t2 ON t1.k = t2.k WHERE t2.v = ?", "SELECT t2.v FROM t1, t2 WHERE 1=0 ", 1,
                  nullptr},
        ProbeCase{"SELECT a FROM t1 INNER JOIN t2 ON t1.k = ? WHERE t2.v = ?", "SELECT t2.v FROM t1, t2 WHERE 1=0 ", 1,
                  nullptr},
        ProbeCase{"SELECT ? WHERE 1 = ?", "", 0, nullptr},
        ProbeCase{"UPDATE t SET a = ?, b = 1 WHERE c > ?", "SELECT t.a, t.c FROM t WHERE 1=0 ", 2, nullptr},
        ProbeCase{"UPDATE o.t SET a = NULL, b = ? + 1 WHERE o.t.c = ?", "SELECT o.t.b, o.t.c FROM o.t WHERE 1=0 ", 2,
                  nullptr},
        ProbeCase{"UPDATE t SET a = ? FROM u WHERE t.k = u.k AND u.v = ?", "SELECT t.a, u.v FROM t, u WHERE 1=0 ", 2,
                  nullptr},
        ProbeCase{"UPDATE t SET a = ? WHERE CURRENT OF c1", "SELECT t.a FROM t WHERE 1=0 ", 1, nullptr},
        ProbeCase{"DELETE FROM t WHERE x IS NULL AND y = ?", "SELECT y FROM t WHERE 1=0 ", 1, nullptr},
        ProbeCase{"DELETE FROM t WHERE ? IS NULL", "SELECT NULL FROM t WHERE 1=0 ", 1, nullptr},
        ProbeCase{"INSERT INTO t VALUES (?, 5, ?)", "SELECT * FROM t WHERE 1=0 ", 3, "?X?"},
        ProbeCase{"INSERT INTO t (a, b) VALUES (1, ?)", "SELECT b FROM t WHERE 1=0 ", 1, nullptr},
        ProbeCase{"INSERT INTO t (a) VALUES (1, ?)", "", 0, nullptr},
        ProbeCase{"INSERT INTO t (a, b) SELECT ?, c + ? FROM u WHERE d = ?",
                  "SELECT a, b FROM t WHERE 1=0  | SELECT d FROM u WHERE 1=0 ", 3, nullptr},
        ProbeCase{"INSERT INTO t (a, b) SELECT c, ? + 1 FROM u", "SELECT b FROM t WHERE 1=0 ", 1, nullptr},
        ProbeCase{"INSERT INTO t SELECT ?, c FROM u", "", 0, nullptr},
        ProbeCase{"SELECT a FROM t", "", 0, nullptr}, ProbeCase{"{call p(?)}", "", 0, nullptr},
        ProbeCase{"CREATE TABLE x (a int)", "", 0, nullptr}));

TEST(ProbesRecord, SyntaxErrorLeavesNoProbe)
{
    ScrParamProbes p;
    SCR_ParamProbesInit(&p, "NULL");
    EXPECT_EQ(SCR_ParamProbesGet(&p, "SELECT a FROM t WHERE b = ?;"), 68);
    EXPECT_EQ(p.probeCount, 0);
    EXPECT_EQ(p.probes, nullptr);
    EXPECT_STREQ(p.sql.message, "syntax error");
    SCR_ParamProbesFree(&p);
    EXPECT_STREQ(p.nullText, "NULL");
    SCR_ParamProbesFree(nullptr);
    SCR_ParamProbesInit(nullptr, "NULL");
}

TEST(ProbesRecord, ReuseFreesTheEarlierProbes)
{
    ScrParamProbes p;
    SCR_ParamProbesInit(&p, "NULL");
    EXPECT_EQ(SCR_ParamProbesGet(&p, "INSERT INTO t VALUES (?)"), 0);
    EXPECT_EQ(SCR_ParamProbesGet(&p, "DELETE FROM t WHERE a = ?"), 0);
    EXPECT_EQ(p.markerMap, nullptr);
    EXPECT_EQ(p.probeCount, 1);
    EXPECT_EQ(p.describedCount, 1);
    SCR_ParamProbesFree(&p);
}

TEST(ProbesRecord, LongInList)
{
    std::string sql = "SELECT a FROM t WHERE b IN (?";
    for (int i = 1; i < 10000; ++i)
        sql += ", ?";
    sql += ")";
    ScrParamProbes p;
    SCR_ParamProbesInit(&p, "NULL");
    ASSERT_EQ(SCR_ParamProbesGet(&p, sql.c_str()), 0);
    EXPECT_EQ(p.describedCount, 10000);
    SCR_ParamProbesFree(&p);
}

} // namespace

// The analysed-statement interface: statement text -> kind, clause flags,
// FROM tables, select items, ORDER BY items and regenerated text; the ORDER
// BY rewrites; the rewriting marks and the splice that fills them.
#include <gtest/gtest.h>

#include "scrs/scr_analyse.h"
#include "util/dynarray.h"

#include <string>
#include <vector>

namespace {

struct Analysed {
    explicit Analysed(const std::string &sql, int noFlags = 0, int keepQualifier = 1)
    {
        SCR_Init(&r);
        rc = SCR_AnalyseSQL(&r, sql.c_str(), noFlags, keepQualifier);
    }
    ~Analysed() { SCR_Free(&r); }
    std::string text() const { return r.tree ? r.tree->text : "<no tree>"; }

    // "qualifier/owner/table/alias" per table, joined by ";".
    std::string tables(int keepQualifier = 1, int *result = nullptr)
    {
        DynArray *a = DA_New(sizeof(ScrTableRef));
        int got = SCR_TablesGet(&r, a, keepQualifier);
        if (result)
            *result = got;
        std::string s;
        for (uint32_t i = 0; i < a->count; ++i) {
            const ScrTableRef &t = static_cast<ScrTableRef *>(a->elements)[i];
            s += (i ? ";" : "") + std::string(t.qualifier) + "/" + t.owner + "/" + t.table + "/" + t.alias;
        }
        DA_Free(&a, SCR_TableRefFree);
        return got ? "error " + std::to_string(got) : s;
    }
    // "kind:column|table|owner" per item.
    std::string selectItems()
    {
        DynArray *a = DA_New(sizeof(ScrColumnRef));
        int got = SCR_SelectColsGet(&r, a);
        std::string s;
        for (uint32_t i = 0; i < a->count; ++i) {
            const ScrColumnRef &c = static_cast<ScrColumnRef *>(a->elements)[i];
            s += (i ? ";" : "") + std::to_string(c.itemKind) + ":" + c.column + "|" + c.table + "|" + c.owner;
        }
        DA_Free(&a, nullptr);
        return got ? "error " + std::to_string(got) : s;
    }
    // "text|column|table|desc|position" per item.
    std::string orderItems(DynArray **keep = nullptr)
    {
        DynArray *a = DA_New(sizeof(OrderByColDesc));
        int got = SCR_OrderByColsGet(&r, a);
        std::string s;
        for (uint32_t i = 0; i < a->count; ++i) {
            const OrderByColDesc &o = static_cast<OrderByColDesc *>(a->elements)[i];
            s += (i ? ";" : "") + std::string(o.text) + "|" + o.column + "|" + o.table + "|" + std::to_string(o.desc) +
                 "|" + std::to_string(o.position);
        }
        if (keep)
            *keep = a;
        else
            DA_Free(&a, nullptr);
        return got ? "error " + std::to_string(got) : s;
    }

    ScrAnalysedSql r;
    int rc;
};

struct SelectCase {
    const char *sql;
    uint16_t flags;   // after analysis and the three questions
    const char *tables;
    const char *items;
    const char *order;
    const char *text;
};

class AnalyseSelect : public ::testing::TestWithParam<SelectCase> {};

TEST_P(AnalyseSelect, Answers)
{
    const SelectCase &c = GetParam();
    Analysed a(c.sql);
    ASSERT_EQ(a.rc, 0) << c.sql << ": " << (a.r.message ? a.r.message : "");
    EXPECT_EQ(a.r.kind, SQLK_SELECT);
    EXPECT_EQ(a.tables(), c.tables) << c.sql;
    EXPECT_EQ(a.selectItems(), c.items) << c.sql;
    EXPECT_EQ(a.orderItems(), c.order) << c.sql;
    EXPECT_EQ(a.r.flags, c.flags) << c.sql;
    EXPECT_EQ(a.text(), c.text) << c.sql;
}

const char *kNoOrder = "error 15";

INSTANTIATE_TEST_SUITE_P(
    Statements, AnalyseSelect,
    ::testing::Values(
        SelectCase{"  select a from t", 0, "//t/", "4:a||", kNoOrder, "SELECT  a FROM t      "},
        SelectCase{"SELECT * FROM a, b ORDER BY 1", 0x64, "//a/;//b/", "1:||", "|||0|1",
                   "SELECT  * FROM a, b     ORDER BY 1  "},
        SelectCase{"SELECT a FROM t1 LEFT OUTER JOIN t2 ON t1.x = t2.x", 0x120, "//t1/;//t2/", "4:a||", kNoOrder,
                   "SELECT  a FROM t1 LEFT OUTER JOIN t2 ON t1.x = t2.x      "},
        SelectCase{"SELECT COUNT(*) FROM t", 0x80, "//t/", "3:COUNT (*)||", kNoOrder, "SELECT  COUNT (*) FROM t      "},
        SelectCase{"SELECT t.* , x AS y, -z, (w), o.t.c FROM t", 0, "//t/",
                   "2:|t|;4:x||;3:-z||;3:( w )||;4:c|t|o", kNoOrder,
                   "SELECT  t.*, x AS y, -z, ( w ), o.t.c FROM t      "},
        SelectCase{"SELECT 1", 0, "", "3:1||", kNoOrder, "SELECT  1      "},
        SelectCase{"SELECT *, \"k\"\"1\", b FROM t", 0, "//t/", "1:||;4:\"k\"\"1\"||;4:b||", kNoOrder,
                   "SELECT  *, \"k\"\"1\", b FROM t      "},
        SelectCase{"SELECT a, b FROM q.o.t x, o.t2, q..t3, q:t4, q:o.t5, o.t6 @ lnk WHERE a = 1 ORDER BY x.a DESC, b",
                   0x24, "q/o/t/x;/o/t2/;q//t3/;q//t4/;q/o/t5/;/o/t6/", "4:a||;4:b||",
                   "x.a|a|x|1|0;b|b||0|0",
                   "SELECT  a, b FROM q.o.t  x, o.t2, q..t3, q:t4, q:o.t5, o.t6 @ lnk WHERE a = 1    ORDER BY x.a DESC, b  "},
        SelectCase{"SELECT a FROM t GROUP BY a HAVING COUNT(*) > 1", 0x88, "//t/", "4:a||", kNoOrder,
                   "SELECT  a FROM t  GROUP BY a HAVING COUNT (*) > 1   "},
        SelectCase{"SELECT a FROM t UNION SELECT b FROM u ORDER BY 1 DESC", 0x54, "//t/", "4:a||", "|||1|1",
                   "SELECT  a FROM t    UNION SELECT  b FROM u     ORDER BY 1 DESC  "},
        // Subqueries and derived tables are not the statement's own clauses.
        SelectCase{"SELECT a FROM (SELECT b FROM t GROUP BY b ORDER BY b) x", 0, "///x", "4:a||", kNoOrder,
                   "SELECT  a FROM ( SELECT  b FROM t  GROUP BY b   ORDER BY b  )  x       "},
        SelectCase{"SELECT a, (SELECT MAX(b) FROM u) FROM t, (SELECT c FROM v) y WHERE d IN (SELECT e FROM w)", 0x20,
                   "//t/;///y", "4:a||;3:( SELECT  MAX( b ) FROM u    )||", kNoOrder,
                   "SELECT  a, ( SELECT  MAX( b ) FROM u    ) FROM t, ( SELECT  c FROM v      )  y  WHERE d IN ( SELECT  "
                   "e FROM w    )     "},
        SelectCase{"SELECT 1 WHERE EXISTS (SELECT * FROM u)", 0, "", "3:1||", kNoOrder,
                   "SELECT  1 WHERE EXISTS ( SELECT  * FROM u    )     "},
        SelectCase{"SELECT CASE WHEN a > 0 THEN b END FROM t", 0, "//t/", "3:CASE WHEN a > 0 THEN b END||", kNoOrder,
                   "SELECT  CASE WHEN a > 0 THEN b END FROM t      "},
        SelectCase{"SELECT 'x.*', \"my-col\", \"a.b\".c FROM \"my.tab\" m", 0, "//\"my.tab\"/m",
                   "3:'x.*'||;4:\"my-col\"||;4:c|\"a.b\"|", kNoOrder,
                   "SELECT  'x.*', \"my-col\", \"a.b\".c FROM \"my.tab\"  m      "},
        SelectCase{"SELECT a FROM t WHERE b = '\x01\x01\x01' ORDER BY a", 0x4, "//t/", "4:a||", "a|a||0|0",
                   "SELECT  a FROM t WHERE b = '\x01\x01\x01'    ORDER BY a  "}));

TEST(Analyse, EmptyTextDoesNotParse)
{
    for (const char *sql : {"", "  \t\n"}) {
        Analysed a(sql);
        EXPECT_EQ(a.rc, 68);
        EXPECT_EQ(a.r.kind, 0);
        EXPECT_STREQ(a.r.message, "syntax error");
        EXPECT_STREQ(a.r.echo, "^");
        EXPECT_EQ(a.r.tree, nullptr);
    }
}

TEST(Analyse, StatementKindsAndNoFlags)
{
    struct {
        const char *sql;
        int kind;
    } cases[] = {{"CREATE TABLE x (a int)", 0}, {"{call p(?)}", 61}, {"INSERT INTO t VALUES (1)", 28},
                 {"DELETE FROM t", 19},         {"DELETE FROM t WHERE CURRENT OF c", 18},
                 {"UPDATE t SET a = 1", 97},     {"UPDATE t SET a = 1 WHERE CURRENT OF c", 96}};
    for (auto &c : cases) {
        Analysed a(c.sql);
        EXPECT_EQ(a.rc, 0) << c.sql;
        EXPECT_EQ(a.r.kind, c.kind) << c.sql;
        EXPECT_EQ(a.r.flags, 0) << c.sql;
    }
    Analysed plain("SELECT * FROM a, b ORDER BY 1", 1);
    EXPECT_EQ(plain.rc, 0);
    EXPECT_EQ(plain.r.flags, 0);
    EXPECT_EQ(plain.text(), "SELECT  * FROM a, b     ORDER BY 1  ");
}

TEST(Analyse, QualifierOnlyWhenKept)
{
    Analysed a("SELECT a FROM q.o.t, q:t2");
    EXPECT_EQ(a.tables(0), "/o/t/;//t2/");
}

TEST(Analyse, SyntaxErrorKeepsTheReport)
{
    Analysed a("SELECT a FROM t WHERE b = 'x");
    EXPECT_EQ(a.rc, 68);
    EXPECT_STREQ(a.r.message, "Unterminated string literal.");
    EXPECT_STREQ(a.r.statement, "SELECT a FROM t WHERE b = 'x");
    Analysed ne("SELECT a FROM t WHERE a != 5");
    EXPECT_EQ(ne.rc, 68) << "an unknown character never becomes another statement";
}

TEST(Analyse, OrderByRewrites)
{
    Analysed a("SELECT a, b FROM t ORDER BY a DESC, b");
    EXPECT_EQ(a.text(), "SELECT  a, b FROM t     ORDER BY a DESC, b  ");
    ASSERT_EQ(SCR_OrderByInvert(&a.r), 0);
    EXPECT_EQ(a.text(), "SELECT  a, b FROM t     ORDER BY a , b DESC ");

    Analysed p("SELECT a, b FROM t ORDER BY 2, 1 DESC");
    DynArray *list = nullptr;
    EXPECT_EQ(p.orderItems(&list), "|||0|2;|||1|1");
    EXPECT_EQ(p.r.flags & SCR_CF_ORDER_BY_POS, SCR_CF_ORDER_BY_POS);
    OrderByColDesc *cols = static_cast<OrderByColDesc *>(list->elements);
    strcpy(cols[0].text, "t.b");
    strcpy(cols[1].text, "t.a");
    ASSERT_EQ(SCR_OrderByPosResolve(&p.r, list), 0);
    EXPECT_EQ(p.text(), "SELECT  a, b FROM t     ORDER BY t.b , t.a DESC ");
    DA_Free(&list, nullptr);

    Analysed q("SELECT a FROM t ORDER BY 3");
    DynArray *one = nullptr;
    q.orderItems(&one);
    static_cast<OrderByColDesc *>(one->elements)[0].position = 1;
    EXPECT_EQ(SCR_OrderByPosResolve(&q.r, one), 15) << "no element for position 3";
    EXPECT_EQ(q.text(), "SELECT  a FROM t     ORDER BY 3  ");
    DA_Free(&one, nullptr);

    Analysed big("SELECT a FROM t ORDER BY 256");
    EXPECT_EQ(big.orderItems(), "error 15") << "a position past a byte is refused, not wrapped";
    Analysed none("SELECT a FROM t");
    EXPECT_EQ(SCR_OrderByInvert(&none.r), 15);
}

TEST(Analyse, LongNamesAreRefusedNotCut)
{
    std::string col(600, 'c');
    Analysed a("SELECT " + col + " FROM t");
    ASSERT_EQ(a.rc, 0);
    EXPECT_EQ(a.selectItems(), "error 15");
}

// ---- marks ----

const std::string M = "\x01\x01\x01";

TEST(Marks, AllThreeInTextOrder)
{
    Analysed a("SELECT a, b FROM t WHERE c = 1 ORDER BY a");
    ASSERT_EQ(SCR_SelectListMark(&a.r), 0);
    ASSERT_EQ(SCR_WhereMark(&a.r), 0);
    ASSERT_EQ(SCR_OrderByMark(&a.r), 0);
    EXPECT_EQ(a.text(), "SELECT  " + M + " FROM t WHERE " + M + " AND (c = 1)    ORDER BY a " + M + " ");
    EXPECT_EQ(a.r.flags & (SCR_CF_WHERE | SCR_CF_ORDER_BY), SCR_CF_WHERE | SCR_CF_ORDER_BY);
    const char *clauses[] = {"k1, k2", "k1 = ?", ", k1"};
    char *out = nullptr;
    ASSERT_EQ(SCR_MarkersFill(&a.r, clauses, 3, &out), 0);
    EXPECT_STREQ(out, "SELECT  k1, k2 FROM t WHERE k1 = ? AND (c = 1)    ORDER BY a , k1 ");
    free(out);
    EXPECT_EQ(a.text(), "SELECT  " + M + " FROM t WHERE " + M + " AND (c = 1)    ORDER BY a " + M + " ")
        << "filling leaves the marked tree as it was";
    EXPECT_EQ(SCR_MarkersFill(&a.r, clauses, 2, &out), 15);
    EXPECT_EQ(out, nullptr);
}

TEST(Marks, WithoutWhereOrOrderBy)
{
    Analysed a("SELECT a FROM t");
    a.r.flags = SCR_CF_WHERE | SCR_CF_ORDER_BY;
    ASSERT_EQ(SCR_WhereMark(&a.r), 0);
    ASSERT_EQ(SCR_OrderByMark(&a.r), 0);
    EXPECT_EQ(a.text(), "SELECT  a FROM t " + M + "    " + M + " ");
    EXPECT_EQ(a.r.flags, 0);
    const char *clauses[] = {" WHERE k = ?", "ORDER BY k"};
    char *out = nullptr;
    ASSERT_EQ(SCR_MarkersFill(&a.r, clauses, 2, &out), 0);
    EXPECT_STREQ(out, "SELECT  a FROM t  WHERE k = ?    ORDER BY k ");
    free(out);
}

TEST(Marks, UnionAndDerivedTables)
{
    Analysed u("SELECT a FROM t UNION SELECT b FROM u ORDER BY 1");
    ASSERT_EQ(SCR_WhereMark(&u.r), 0);
    ASSERT_EQ(SCR_OrderByMark(&u.r), 0);
    EXPECT_EQ(u.text(), "SELECT  a FROM t " + M + "   UNION SELECT  b FROM u     ORDER BY 1 " + M + "  ");

    Analysed d("SELECT a FROM (SELECT b FROM t WHERE c = 1) x");
    ASSERT_EQ(SCR_WhereMark(&d.r), 0);
    EXPECT_EQ(d.text(), "SELECT  a FROM ( SELECT  b FROM t WHERE c = 1     )  x  " + M + "     ")
        << "the marker belongs to the statement, not to its derived table";
}

TEST(Marks, SpliceTakesNoLiteralBytesForMarks)
{
    Analysed a("SELECT a FROM t WHERE b = '" + M + "' AND c = '\xFF\x01\x01'");
    ASSERT_EQ(a.rc, 0);
    ASSERT_EQ(SCR_WhereMark(&a.r), 0);
    const char *clause[] = {"k = ?"};
    char *out = nullptr;
    ASSERT_EQ(SCR_MarkersFill(&a.r, clause, 1, &out), 0);
    EXPECT_EQ(std::string(out), "SELECT  a FROM t WHERE k = ? AND (b = '" + M + "' AND c = '\xFF\x01\x01')     ");
    free(out);
}

TEST(Marks, NotASelect)
{
    Analysed a("UPDATE t SET a = 1 WHERE b = 2");
    std::string before = a.text();
    EXPECT_EQ(SCR_SelectListMark(&a.r), 15);
    EXPECT_EQ(SCR_WhereMark(&a.r), 15);
    EXPECT_EQ(SCR_OrderByMark(&a.r), 15);
    EXPECT_EQ(a.text(), before);
    ScrAnalysedSql empty;
    SCR_Init(&empty);
    EXPECT_EQ(SCR_WhereMark(&empty), 15);
    EXPECT_EQ(SCR_WhereMark(nullptr), 15);
}

TEST(Marks, SelectStarBecomesTheMarker)
{
    Analysed a("SELECT * FROM t");
    ASSERT_EQ(SCR_SelectListMark(&a.r), 0);
    const char *clause[] = {"t.k, t.*"};
    char *out = nullptr;
    ASSERT_EQ(SCR_MarkersFill(&a.r, clause, 1, &out), 0);
    EXPECT_STREQ(out, "SELECT  t.k, t.* FROM t      ");
    free(out);
}

} // namespace

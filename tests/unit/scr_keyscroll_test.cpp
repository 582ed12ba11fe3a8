// Keyset window scrolling: predicate text and parameter order for ORDER BY
// lists, NULL boundaries and key columns; RELATIVE window plans; the choice
// of key columns from catalog answers and the catalog look-up patterns.
#include <gtest/gtest.h>

#include "odbc/contract/errnum.h"
#include "scrs/scs_keyscroll.h"

#include <sql.h>
#include <sqlext.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

ScrColumnRef key(const char *name, uint8_t mark = 0, const char *alias = "")
{
    ScrColumnRef k{};
    strcpy(k.column, name);
    strcpy(k.alias, alias);
    k.orderByMark = mark;
    k.sqlType = SQL_INTEGER;
    k.itemKind = SCR_ITEM_COLUMN;
    return k;
}

OrderByColDesc item(const char *text, int desc, int matched)
{
    OrderByColDesc o{};
    strcpy(o.text, text);
    strcpy(o.column, text);
    o.desc = desc;
    o.matched = matched;
    o.sqlType = SQL_VARCHAR;
    o.columnSize = 20;
    return o;
}

struct Shape {
    std::vector<ScrColumnRef> keys;
    std::vector<OrderByColDesc> items;
    uint16_t sortKeyCount;
    int32_t tableCount = 1;
};

KsScrollOrder orderOf(const Shape &s, int16_t nullCollation = SQL_NC_HIGH)
{
    KsScrollOrder o;
    o.keys = s.keys.data();
    o.keyCount = static_cast<uint32_t>(s.keys.size());
    o.items = s.items.empty() ? nullptr : s.items.data();
    o.itemCount = static_cast<uint32_t>(s.items.size());
    o.sortKeyCount = s.sortKeyCount;
    o.tableCount = s.tableCount;
    o.nullCollation = nullCollation;
    return o;
}

// ORDER BY name, key id.
Shape nameThenId() { return {{key("id")}, {item("name", 0, 0)}, 2}; }
// ORDER BY name DESC, key id.
Shape nameDescThenId() { return {{key("id")}, {item("name", 1, 0)}, 2}; }
// Keys k1, k2; ORDER BY k2, x: k2 is a key named by the ORDER BY before k1.
Shape namedKeyFirst() { return {{key("k1"), key("k2", 1)}, {item("k2", 0, 1), item("x", 0, 0)}, 3}; }
// No ORDER BY, two-column key.
Shape twoKeys() { return {{key("a"), key("b")}, {}, 2}; }
// ORDER BY id DESC names the only key: the order is complete after it.
Shape keyDesc() { return {{key("id", 1)}, {item("id", 1, 1), item("name", 0, 0)}, 1}; }
// Quoted names with embedded quotes, over a join.
Shape quotedJoin()
{
    return {{key("\"o\"\"id\"", 0, "t")}, {item("t.\"Na\"\"me\"", 0, 0)}, 2, 2};
}

TEST(KeyScroll, ScrollingPredicates)
{
    struct Case {
        const char *what;
        Shape shape;
        int16_t direction, mode;
        int hasWhere;
        std::vector<bool> nulls;   // per select-list column of the boundary row
        const char *clause;
        std::vector<uint16_t> params;
    };
    const std::vector<Case> cases = {
        {"nullable ORDER BY column, forward: NULLs follow", nameThenId(), KS_DIR_FORWARD, KS_MODE_FAR, 0,
         {false, false},
         " WHERE (  (name > ? OR name IS NULL)  OR name = ? AND id > ?  )", {1, 1, 0}},
        {"same, backward: NULLs lie behind", nameThenId(), KS_DIR_BACKWARD, KS_MODE_FAR, 0, {false, false},
         " WHERE ( name < ?  OR name = ? AND id < ?  )", {1, 1, 0}},
        {"NULL boundary forward: the first term selects nothing", nameThenId(), KS_DIR_FORWARD, KS_MODE_FAR, 0,
         {false, true}, " WHERE ( name IS NULL AND id > ?  )", {0}},
        {"NULL boundary backward: every non-NULL value lies beyond", nameThenId(), KS_DIR_BACKWARD,
         KS_MODE_FAR, 0, {false, true}, " WHERE ( name IS NOT NULL  OR name IS NULL AND id < ?  )", {0}},
        {"DESC forward: NULLs come first", nameDescThenId(), KS_DIR_FORWARD, KS_MODE_FAR, 0, {false, false},
         " WHERE ( name < ?  OR name = ? AND id > ?  )", {1, 1, 0}},
        {"DESC forward from a NULL", nameDescThenId(), KS_DIR_FORWARD, KS_MODE_FAR, 0, {false, true},
         " WHERE ( name IS NOT NULL  OR name IS NULL AND id > ?  )", {0}},
        {"DESC backward: NULLs follow", nameDescThenId(), KS_DIR_BACKWARD, KS_MODE_FAR, 0, {false, false},
         " WHERE (  (name > ? OR name IS NULL)  OR name = ? AND id < ?  )", {1, 1, 0}},
        {"named key before an unnamed one", namedKeyFirst(), KS_DIR_FORWARD, KS_MODE_FAR, 0,
         {false, false, false},
         " WHERE ( k2 > ?  OR k2 = ? AND  (x > ? OR x IS NULL)  OR k2 = ? AND x = ? AND k1 > ?  )",
         {1, 1, 2, 1, 2, 0}},
        {"named key before an unnamed one, x NULL", namedKeyFirst(), KS_DIR_FORWARD, KS_MODE_FAR, 0,
         {false, false, true}, " WHERE ( k2 > ?  OR k2 = ? AND x IS NULL AND k1 > ?  )", {1, 1, 0}},
        {"no ORDER BY, two-column key, after an existing WHERE", twoKeys(), KS_DIR_FORWARD, KS_MODE_FAR, 1,
         {false, false}, "( a > ?  OR a = ? AND b > ?  )", {0, 0, 1}},
        {"inclusive: only the last position takes equality", nameThenId(), KS_DIR_FORWARD,
         KS_MODE_NEAR_INCLUSIVE, 0, {false, false},
         " WHERE (  (name > ? OR name IS NULL)  OR name = ? AND id >= ?  )", {1, 1, 0}},
        {"inclusive backward", twoKeys(), KS_DIR_BACKWARD, KS_MODE_NEAR_INCLUSIVE, 0, {false, false},
         " WHERE ( a < ?  OR a = ? AND b <= ?  )", {0, 0, 1}},
        {"ORDER BY a key DESC completes the order", keyDesc(), KS_DIR_FORWARD, KS_MODE_FAR, 0, {false},
         " WHERE ( id < ?  )", {0}},
        {"quoted names over a join", quotedJoin(), KS_DIR_FORWARD, KS_MODE_FAR, 0, {false, false},
         " WHERE (  (t.\"Na\"\"me\" > ? OR t.\"Na\"\"me\" IS NULL)  OR t.\"Na\"\"me\" = ? AND t.\"o\"\"id\" > ?  )",
         {1, 1, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const KsScrollOrder o = orderOf(c.shape);
        std::string clause;
        std::vector<KsBoundaryParam> params;
        ASSERT_EQ(0, ks_ScrollWhereBuild(o, c.direction, c.mode, c.hasWhere, c.nulls, &clause, &params));
        EXPECT_EQ(c.clause, clause);
        std::vector<uint16_t> cols;
        for (const KsBoundaryParam &p : params)
            cols.push_back(p.selectCol);
        EXPECT_EQ(c.params, cols);
        // Every marker has its parameter.
        size_t markers = 0;
        for (char ch : clause)
            markers += ch == '?';
        EXPECT_EQ(markers, params.size());
    }
}

TEST(KeyScroll, SelectListAndPositionMap)
{
    struct Case {
        const char *what;
        Shape shape;
        const char *select;
        std::vector<uint16_t> map;
    };
    const std::vector<Case> cases = {
        {"non-key item after the keys", nameThenId(), "id, name", {1, 0}},
        {"named key, non-key item, unnamed key", namedKeyFirst(), "k1, k2, x", {1, 2, 0}},
        {"no ORDER BY", twoKeys(), "a, b", {0, 1}},
        {"items past the sort key are left out", keyDesc(), "id", {0}},
        {"join qualifies key columns", quotedJoin(), "t.\"o\"\"id\", t.\"Na\"\"me\"", {1, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const KsScrollOrder o = orderOf(c.shape);
        std::string select;
        ASSERT_EQ(0, ks_ScrollSelectListBuild(o, &select));
        EXPECT_EQ(c.select, select);
        std::vector<uint16_t> map;
        ASSERT_EQ(0, ks_OrderByKeyPosMap(o, &map));
        EXPECT_EQ(c.map, map);
    }
}

TEST(KeyScroll, PredicateTermsAndRefusals)
{
    const Shape s = nameThenId();
    const KsScrollOrder o = orderOf(s);
    std::string text;
    int kept = -1;
    ASSERT_EQ(0, ks_ScrollPredicateBuild(o, 2, KS_DIR_FORWARD, KS_MODE_FAR, {false, false}, &text, &kept));
    EXPECT_EQ(1, kept);
    EXPECT_EQ("name = ? AND id > ? ", text);
    ASSERT_EQ(0, ks_ScrollPredicateBuild(o, 1, KS_DIR_FORWARD, KS_MODE_FAR, {false, true}, &text, &kept));
    EXPECT_EQ(0, kept);
    EXPECT_EQ(ERR_GENERAL, ks_ScrollPredicateBuild(o, 0, KS_DIR_FORWARD, KS_MODE_FAR, {false, false}, &text, &kept));
    EXPECT_EQ(ERR_GENERAL, ks_ScrollPredicateBuild(o, 3, KS_DIR_FORWARD, KS_MODE_FAR, {false, false}, &text, &kept));
    std::string clause;
    std::vector<KsBoundaryParam> params;
    for (int16_t dir : {int16_t(2), int16_t(3), int16_t(6)})
        EXPECT_EQ(ERR_GENERAL, ks_ScrollWhereBuild(o, dir, KS_MODE_FAR, 0, {false, false}, &clause, &params));
    EXPECT_EQ(ERR_GENERAL, ks_ScrollWhereBuild(o, KS_DIR_FORWARD, 2, 0, {false, false}, &clause, &params));
    // A boundary row without the columns the order reads.
    EXPECT_EQ(ERR_GENERAL, ks_ScrollWhereBuild(o, KS_DIR_FORWARD, KS_MODE_FAR, 0, {false}, &clause, &params));
    // Parameter types follow the item or the key column.
    ASSERT_EQ(0, ks_ScrollWhereBuild(o, KS_DIR_FORWARD, KS_MODE_FAR, 0, {false, false}, &clause, &params));
    ASSERT_EQ(3u, params.size());
    EXPECT_EQ(SQL_VARCHAR, params[0].sqlType);
    EXPECT_EQ(20, params[0].columnSize);
    EXPECT_EQ(SQL_INTEGER, params[2].sqlType);
}

TEST(KeyScroll, OperatorsBoundaryRowsAndNullPlaces)
{
    struct Op { int16_t dir, mode; int desc; const char *op; };
    for (const Op &c : std::vector<Op>{{1, 0, 0, ">"}, {1, 0, 1, "<"}, {4, 0, 0, "<"}, {4, 1, 1, ">"},
                                       {1, 3, 0, ">="}, {1, 3, 1, "<="}, {4, 3, 0, "<="}, {4, 3, 1, ">="}})
        EXPECT_STREQ(c.op, ks_CompareOpGet(c.dir, c.mode, c.desc)) << c.dir << "/" << c.mode << "/" << c.desc;

    struct Bound { int16_t dir, mode; int row; };
    for (const Bound &c : std::vector<Bound>{{1, 0, KS_BOUND_LAST}, {4, 0, KS_BOUND_FIRST}, {1, 1, KS_BOUND_FIRST},
                                             {4, 1, KS_BOUND_LAST}, {1, 3, KS_BOUND_FIRST}, {4, 3, KS_BOUND_LAST}})
        EXPECT_EQ(c.row, ks_BoundaryRowGet(c.dir, c.mode)) << c.dir << "/" << c.mode;

    struct Place { int16_t collation; int ascForward, descForward; };
    const int A = KS_NULLS_AFTER, B = KS_NULLS_BEFORE;
    for (const Place &c : std::vector<Place>{{SQL_NC_HIGH, A, B}, {SQL_NC_LOW, B, A}, {SQL_NC_START, B, B},
                                             {SQL_NC_END, A, A}, {7, A, A}}) {
        SCOPED_TRACE(c.collation);
        EXPECT_EQ(c.ascForward, ks_NullPlaceGet(KS_DIR_FORWARD, 0, c.collation));
        EXPECT_EQ(c.descForward, ks_NullPlaceGet(KS_DIR_FORWARD, 1, c.collation));
        EXPECT_EQ(3 - c.ascForward, ks_NullPlaceGet(KS_DIR_BACKWARD, 0, c.collation));
        EXPECT_EQ(3 - c.descForward, ks_NullPlaceGet(KS_DIR_BACKWARD, 1, c.collation));
        EXPECT_EQ(c.ascForward == A ? 1 : 0, ks_NullsFollow(KS_DIR_FORWARD, 0, c.collation));
    }
}

TEST(KeyScroll, RelativePlans)
{
    struct Case {
        const char *what;
        int32_t K, R, v;
        int16_t dir, mode;
        int64_t skip, keep;
    };
    const std::vector<Case> cases = {
        {"refetch in place", 10, 10, 0, KS_DIR_FORWARD, KS_MODE_NEAR_INCLUSIVE, 0, 10},
        {"short forward jump", 10, 10, 3, KS_DIR_FORWARD, KS_MODE_NEAR, 2, 10},
        {"short backward jump", 10, 10, -3, KS_DIR_BACKWARD, KS_MODE_NEAR, 2, 10},
        {"backward from a short window", 10, 4, -3, KS_DIR_BACKWARD, KS_MODE_NEAR_INCLUSIVE, 0, 7},
        {"backward from a short window, further", 10, 4, -8, KS_DIR_BACKWARD, KS_MODE_NEAR_INCLUSIVE, 2, 10},
        {"jump of a whole window", 10, 10, 10, KS_DIR_FORWARD, KS_MODE_FAR, 0, 10},
        {"long jump", 10, 10, 25, KS_DIR_FORWARD, KS_MODE_FAR, 15, 10},
        {"jump past 65535 rows", 10, 10, 70000, KS_DIR_FORWARD, KS_MODE_FAR, 69990, 10},
        {"backward past 65535 rows", 100, 100, -65636, KS_DIR_BACKWARD, KS_MODE_FAR, 65536, 100},
        {"the most negative offset", 10, 10, INT32_MIN, KS_DIR_BACKWARD, KS_MODE_FAR, 2147483638LL, 10},
        // The window read last held another number of rows than this
        // window will (the rowset size changed): forward jumps count from
        // its own last row, backward ones from its last row too.
        {"long jump from a larger window", 2, 5, 51, KS_DIR_FORWARD, KS_MODE_FAR, 46, 2},
        {"short jump from a larger window", 2, 5, 3, KS_DIR_FORWARD, KS_MODE_NEAR, 2, 2},
        {"jump from a smaller window", 7, 2, 5, KS_DIR_FORWARD, KS_MODE_FAR, 3, 7},
        {"backward from a larger window", 3, 9, -2, KS_DIR_BACKWARD, KS_MODE_NEAR, 7, 3},
        {"backward past a larger window", 3, 9, -4, KS_DIR_BACKWARD, KS_MODE_FAR, 1, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        KsRelativePlan p{};
        ASSERT_EQ(0, ks_RelativePlan(c.K, c.R, c.v, &p));
        EXPECT_EQ(c.dir, p.direction);
        EXPECT_EQ(c.mode, p.mode);
        EXPECT_EQ(c.skip, p.skip);
        EXPECT_EQ(c.keep, p.keep);
    }
    KsRelativePlan p{};
    EXPECT_EQ(ERR_INVALID_KEYSET_SIZE, ks_RelativePlan(0, 0, 5, &p));
}

// ---- key columns ----

KsColumnRow col(const char *name, int16_t nullable, int16_t type = SQL_INTEGER)
{
    return {name, nullable, type, type == SQL_NUMERIC ? 10 : 4, static_cast<int16_t>(type == SQL_NUMERIC ? 2 : 0)};
}

KsStatisticsRow idx(const char *index, int16_t nonUnique, int16_t ordinal, const char *column, bool filter = false)
{
    return {nonUnique, index, SQL_INDEX_OTHER, ordinal, false, column, filter};
}

std::vector<std::string> names(const std::vector<ScrColumnRef> &keys)
{
    std::vector<std::string> out;
    for (const ScrColumnRef &k : keys)
        out.push_back(k.column);
    return out;
}

TEST(KeyColumns, ChoiceFromCatalogAnswers)
{
    const std::vector<KsColumnRow> cols = {col("a", SQL_NO_NULLS), col("b", SQL_NO_NULLS, SQL_NUMERIC),
                                           col("c", SQL_NO_NULLS), col("n", SQL_NULLABLE),
                                           col("we\"ird", SQL_NO_NULLS), col("Key", SQL_NO_NULLS),
                                           col("key", SQL_NULLABLE)};
    std::vector<KsColumnRow> cols2 = cols;  // names the trimmed form cannot tell apart
    for (const char *n : {"x", "\"x", "\"q"})
        cols2.push_back(col(n, SQL_NO_NULLS));
    const KsStatisticsRow tableStat{KS_NULL_SHORT, "", SQL_TABLE_STAT, KS_NULL_SHORT, true, "", false};
    struct Case {
        const char *what;
        KsTableCatalog cat;
        char quote;
        int rc, source;
        std::vector<std::string> keys;
    };
    const std::vector<Case> cases = {
        {"best row identifier", {cols, {{"a", SQL_INTEGER, 4, 0, SQL_PC_NOT_PSEUDO}}, {}, {{"c", 1}}}, '"', 0,
         KS_SRC_SPECIAL, {"\"a\""}},
        {"pseudo column is not quoted", {cols, {{"ctid", SQL_VARCHAR, 10, 0, SQL_PC_PSEUDO}}, {}, {}}, '"', 0,
         KS_SRC_SPECIAL, {"ctid"}},
        {"best row identifier over a nullable column is passed over",
         {cols, {{"n", SQL_INTEGER, 4, 0, SQL_PC_NOT_PSEUDO}}, {}, {{"c", 1}}}, '"', 0, KS_SRC_PRIMARY_KEY,
         {"\"c\""}},
        {"first sound unique index; partial, expression, nullable and non-unique ones passed over",
         {cols, {},
          {tableStat, idx("i_partial", SQL_FALSE, 1, "c", true), idx("i_expr", SQL_FALSE, 1, "lower((c)::text)"),
           idx("i_null", SQL_FALSE, 1, "a"), idx("i_null", SQL_FALSE, 2, "n"), idx("i_dup", SQL_TRUE, 1, "c"),
           idx("i_ab", SQL_FALSE, 1, "a"), idx("i_ab", SQL_FALSE, 2, "b"), idx("i_c", SQL_FALSE, 1, "c")},
          {{"we\"ird", 1}}},
         '"', 0, KS_SRC_INDEX, {"\"a\"", "\"b\""}},
        {"index with a NULL column name", {cols, {}, {{SQL_FALSE, "i_x", SQL_INDEX_OTHER, 1, true, "", false}}, {}},
         '"', ERR_NO_KEY_COLUMNS, KS_SRC_NONE, {}},
        {"only unsuitable indexes: primary key", {cols, {}, {idx("i_partial", SQL_FALSE, 1, "a", true)},
                                                  {{"b", 2}, {"we\"ird", 1}}},
         '"', 0, KS_SRC_PRIMARY_KEY, {"\"we\"\"ird\"", "\"b\""}},
        {"no identifier quote", {cols, {}, {}, {{"a", 1}}}, ' ', 0, KS_SRC_PRIMARY_KEY, {"a"}},
        {"index columns come as the server writes them, end quotes trimmed; case kept",
         {cols, {}, {idx("i_q", SQL_FALSE, 1, "Key"), idx("i_q", SQL_FALSE, 2, "we\"\"ird")}, {}}, '"', 0,
         KS_SRC_INDEX, {"\"Key\"", "\"we\"\"ird\""}},
        {"a text two column names give, or a quote not doubled, names no column",
         {cols2, {}, {idx("i_amb", SQL_FALSE, 1, "x"), idx("i_e", SQL_FALSE, 1, "we\"ird")}, {{"a", 1}}},
         '"', 0, KS_SRC_PRIMARY_KEY, {"\"a\""}},
        {"a name that starts with a quote", {cols2, {}, {idx("i_q", SQL_FALSE, 1, "q")}, {}}, '"', 0,
         KS_SRC_INDEX, {"\"\"\"q\""}},
        {"nothing serves as a key", {cols, {}, {tableStat}, {}}, '"', ERR_NO_KEY_COLUMNS, KS_SRC_NONE, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<ScrColumnRef> keys;
        int source = -1;
        EXPECT_EQ(c.rc, ks_KeyColsChoose(c.cat, c.quote, &keys, &source));
        EXPECT_EQ(c.source, source);
        EXPECT_EQ(c.keys, names(keys));
    }
    // Types come from the answers; digits only for exact numerics.
    KsTableCatalog cat{cols, {}, {idx("i_ab", SQL_FALSE, 1, "a"), idx("i_ab", SQL_FALSE, 2, "b")}, {}};
    std::vector<ScrColumnRef> keys;
    int source = 0;
    ASSERT_EQ(0, ks_KeyColsChoose(cat, '"', &keys, &source));
    ASSERT_EQ(2u, keys.size());
    EXPECT_EQ(SQL_INTEGER, keys[0].sqlType);
    EXPECT_EQ(0, keys[0].decimalDigits);
    EXPECT_EQ(SQL_NUMERIC, keys[1].sqlType);
    EXPECT_EQ(10, keys[1].columnSize);
    EXPECT_EQ(2, keys[1].decimalDigits);
}

TEST(KeyColumns, LookupPatternsStayInTheStatementsSchema)
{
    EXPECT_EQ("my\\_tab\\%\\\\x", ks_PatternEscape("my_tab%\\x", '\\'));
    EXPECT_EQ("a_b", ks_PatternEscape("a_b", 0));
    struct Case {
        const char *what;
        const char *owner, *table, *session;
        int rc;
        const char *schema, *tablePattern;
    };
    const std::vector<Case> cases = {
        {"unqualified table: the session's schema", "", "order_items", "public", 0, "public", "order\\_items"},
        {"unqualified names fold to lower case", "Sales", "Big_T", "public", 0, "sales", "big\\_t"},
        {"quoted names keep their case and lose doubled quotes", "\"My_Schema\"", "\"a\"\"%b\"", "public", 0,
         "My\\_Schema", "a\"\\%b"},
        {"no schema known: refused rather than every schema", "", "t", "", ERR_GENERAL, "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ScrTableRef t{const_cast<char *>(""), const_cast<char *>(c.owner), const_cast<char *>(c.table),
                      const_cast<char *>("")};
        std::string schema, table;
        EXPECT_EQ(c.rc, ks_TableLookupPatterns(t, '"', c.session, '\\', &schema, &table));
        EXPECT_EQ(c.schema, schema);
        EXPECT_EQ(c.tablePattern, table);
    }
}

}  // namespace

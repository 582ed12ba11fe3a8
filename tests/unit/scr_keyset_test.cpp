// The keyset record, the statement builders that put key columns and key
// values into generated SQL, and the parameter rows that carry key values.
#include <gtest/gtest.h>

#include "odbc/contract/errnum.h"
#include "odbc/contract/rowblock.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyset.h"
#include "util/dynarray.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Runs of blanks become one, blanks before "," and ")" and at the ends go:
// the analyser's regenerated texts space tokens their own way.
std::string squeeze(const char *text)
{
    std::string out;
    for (const char *p = text ? text : ""; *p; ++p) {
        if (*p == ' ' && (out.empty() || out.back() == ' '))
            continue;
        if ((*p == ',' || *p == ')') && !out.empty() && out.back() == ' ')
            out.pop_back();
        out += *p;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

struct Key {
    const char *column;
    const char *table;
    const char *alias;
    uint8_t orderByMark;
};

// A context with key columns, as the analysis leaves it.
struct KeyCtx {
    ScsContext ctx;
    explicit KeyCtx(std::vector<Key> keys, int32_t tables = 1, int orderByItems = 0, int16_t maxOrderBy = 0)
    {
        EXPECT_EQ(KS_Alloc(&ctx.keySet), 0);
        ctx.keyCols = DA_New(sizeof(ScrColumnRef));
        for (const Key &k : keys) {
            ScrColumnRef c{};
            strcpy(c.column, k.column);
            strcpy(c.table, k.table ? k.table : "t");
            strcpy(c.alias, k.alias ? k.alias : "");
            c.orderByMark = k.orderByMark;
            DA_Append(ctx.keyCols, &c);
        }
        ctx.keyTableCount = tables;
        ctx.maxOrderByCols = maxOrderBy;
        if (orderByItems) {
            ctx.orderByCols = DA_New(sizeof(OrderByColDesc));
            for (int i = 0; i < orderByItems; ++i) {
                OrderByColDesc d{};
                DA_Append(ctx.orderByCols, &d);
            }
        }
    }
    ~KeyCtx()
    {
        KS_Free(&ctx.keySet);
        DA_Free(&ctx.keyCols, nullptr);
        DA_Free(&ctx.orderByCols, nullptr);
    }
};

struct Parsed {
    ScrAnalysedSql r;
    explicit Parsed(const std::string &sql)
    {
        SCR_Init(&r);
        EXPECT_EQ(SCR_AnalyseSQL(&r, sql.c_str(), 0, 0), 0) << sql;
    }
    ~Parsed() { SCR_Free(&r); }
};

using Builder = int (*)(ScrAnalysedSql *, ScsContext *);
int where1(ScrAnalysedSql *s, ScsContext *c) { return KS_WhereKeysSet(s, c, 1); }
int where2(ScrAnalysedSql *s, ScsContext *c) { return KS_WhereKeysSet(s, c, 2); }
int where3(ScrAnalysedSql *s, ScsContext *c) { return KS_WhereKeysSet(s, c, 3); }

struct BuildCase {
    const char *name;
    Builder build;
    std::vector<Key> keys;
    int32_t tables;
    int orderByItems;   // items of the statement's ORDER BY the context knows
    int16_t maxOrderBy; // the data source's limit, 0 none
    const char *sql;
    const char *expected;
};

TEST(KeysetBuilders, RewriteTheStatementAtItsMarker)
{
    const Key id{"id", nullptr, nullptr, 0};
    const Key a{"a", "t", nullptr, 0}, b{"b", "t", nullptr, 0};
    const BuildCase cases[] = {
        {"where, one key, no WHERE", where1, {id}, 1, 0, 0, "SELECT x, y FROM t",
         "SELECT x, y FROM t WHERE ( id = ? )"},
        {"where, two keys, two groups", where2, {a, b}, 1, 0, 0, "SELECT x FROM t",
         "SELECT x FROM t WHERE ( a = ? AND b = ? OR a = ? AND b = ? )"},
        {"where ahead of the statement's own condition", where3, {id}, 1, 0, 0,
         "SELECT x FROM t WHERE x > 5 OR y IS NULL",
         "SELECT x FROM t WHERE ( id = ? OR id = ? OR id = ? ) AND (x > 5 OR y IS NULL)"},
        {"where keeps ORDER BY behind it", where1, {id}, 1, 0, 0, "SELECT x FROM t ORDER BY x DESC",
         "SELECT x FROM t WHERE ( id = ? ) ORDER BY x DESC"},
        {"two tables qualify by alias or table", where1,
         {{"id", "orders", "o", 0}, {"code", "items", nullptr, 0}}, 2, 0, 0,
         "SELECT o.x, items.y FROM orders o, items WHERE o.id = items.oid",
         "SELECT o.x, items.y FROM orders o, items WHERE ( o.id = ? AND items.code = ? ) AND (o.id = items.oid)"},
        {"order by made from the keys", KS_OrderByKeysSet, {a, b}, 1, 0, 0, "SELECT x FROM t WHERE x = 1",
         "SELECT x FROM t WHERE x = 1 ORDER BY a, b"},
        {"order by extended", KS_OrderByKeysSet, {id}, 1, 1, 0, "SELECT x FROM t ORDER BY x DESC",
         "SELECT x FROM t ORDER BY x DESC, id"},
        {"a key the ORDER BY names is not added twice", KS_OrderByKeysSet,
         {{"id", nullptr, nullptr, 1}, {"k2", nullptr, nullptr, 0}}, 1, 2, 0, "SELECT x FROM t ORDER BY id, x",
         "SELECT x FROM t ORDER BY id, x, k2"},
        {"every key already ordered: nothing added", KS_OrderByKeysSet, {{"id", nullptr, nullptr, 1}}, 1, 1, 0,
         "SELECT x FROM t ORDER BY id", "SELECT x FROM t ORDER BY id"},
        {"ORDER BY limit 3, two items: one key added", KS_OrderByKeysSet, {a, b}, 1, 2, 3,
         "SELECT x, y FROM t ORDER BY x, y", "SELECT x, y FROM t ORDER BY x, y, a"},
        {"select list of keys", ks_SelectListKeysSet, {a, b}, 1, 0, 0, "SELECT x, y + 1 FROM t WHERE x = 2",
         "SELECT a, b FROM t WHERE x = 2"},
        {"select list of keys for a star", ks_SelectListKeysSet, {id}, 1, 0, 0, "SELECT * FROM t",
         "SELECT id FROM t"},
        {"select list keeps its items, keys behind", ks_SelectListAddKeys, {a, b}, 1, 0, 0,
         "SELECT x, y + 1 AS z FROM t", "SELECT x, y + 1 AS z, a, b FROM t"},
        {"star with keys behind", ks_SelectListAddKeys, {id}, 1, 0, 0, "SELECT * FROM t ORDER BY 1",
         "SELECT *, id FROM t ORDER BY 1"},
    };
    for (const BuildCase &c : cases) {
        SCOPED_TRACE(c.name);
        KeyCtx k(c.keys, c.tables, c.orderByItems, c.maxOrderBy);
        Parsed p(c.sql);
        ASSERT_EQ(c.build(&p.r, &k.ctx), 0);
        ASSERT_NE(ks_RewrittenText(&p.r), nullptr);
        EXPECT_EQ(squeeze(ks_RewrittenText(&p.r)), squeeze(c.expected));
    }
}

TEST(KeysetBuilders, BuildersChainThroughAFreshAnalysis)
{
    KeyCtx k({{"id", nullptr, nullptr, 0}});
    Parsed p("SELECT name FROM t WHERE name LIKE 'a%' ORDER BY name");
    ASSERT_EQ(KS_OrderByKeysSet(&p.r, &k.ctx), 0);
    Parsed q(ks_RewrittenText(&p.r));
    ASSERT_EQ(ks_SelectListKeysSet(&q.r, &k.ctx), 0);
    Parsed w(ks_RewrittenText(&q.r));
    ASSERT_EQ(KS_WhereKeysSet(&w.r, &k.ctx, 2), 0);
    EXPECT_EQ(squeeze(ks_RewrittenText(&w.r)),
              squeeze("SELECT id FROM t WHERE ( id = ? OR id = ? ) AND (name LIKE 'a%') ORDER BY name, id"));
}

TEST(KeysetBuilders, Refusals)
{
    KeyCtx none({});
    KeyCtx one({{"id", nullptr, nullptr, 0}});
    Parsed p("SELECT x FROM t");
    EXPECT_EQ(KS_WhereKeysSet(&p.r, &one.ctx, 0), ERR_GENERAL) << "no key group";
    EXPECT_EQ(KS_WhereKeysSet(&p.r, &none.ctx, 1), ERR_GENERAL) << "no key column";
    EXPECT_EQ(ks_SelectListKeysSet(&p.r, &none.ctx), ERR_GENERAL);
    EXPECT_EQ(KS_WhereKeysSet(nullptr, &one.ctx, 1), ERR_GENERAL);
    Parsed u("UPDATE t SET x = 1");
    EXPECT_EQ(KS_WhereKeysSet(&u.r, &one.ctx, 1), ERR_GENERAL) << "not a SELECT";
    ScsContext bare;
    EXPECT_EQ(KS_OrderByKeysSet(&p.r, &bare), ERR_GENERAL) << "a context without a keyset";
}

TEST(KeysetBuilders, LiteralsThatLookLikeMarkersStay)
{
    KeyCtx k({{"id", nullptr, nullptr, 0}});
    const std::string lit = "SELECT x FROM t WHERE x = '\x01\x01\x01' OR x = '?'";
    Parsed p(lit);
    ASSERT_EQ(KS_WhereKeysSet(&p.r, &k.ctx, 1), 0);
    EXPECT_EQ(squeeze(ks_RewrittenText(&p.r)),
              squeeze("SELECT x FROM t WHERE ( id = ? ) AND (x = '\x01\x01\x01' OR x = '?')"));
}

// ---- the record ----

TEST(KeysetRecord, AllocCloseFree)
{
    EXPECT_EQ(KS_Alloc(nullptr), ERR_GENERAL);
    KeySet *ks = nullptr;
    ASSERT_EQ(KS_Alloc(&ks), 0);
    ASSERT_NE(ks, nullptr);
    ASSERT_NE(ks->keyRows, nullptr);
    EXPECT_EQ(ks->statuses, nullptr);
    EXPECT_EQ(ks->windowStart, 0);
    EXPECT_EQ(ks->cache.state, DSC_IN_MEMORY);
    // Some keys and statuses, then closed: the record stays usable.
    RB_Init(ks->keyRows, 1);
    ks->keyRows->columns[0].valueType = VT_LONG;
    ks->keyRows->columns[0].width = 4;
    ks->keyRows->columnsUsed = 1;
    RB_AllocRows(ks->keyRows, 3);
    ks->keyRows->rowsUsed = 3;
    ks->statuses = static_cast<int16_t *>(calloc(3, sizeof(int16_t)));
    ks->statusCount = 3;
    ks->windowStart = -1;
    ks_CloseData(ks);
    EXPECT_EQ(ks->statuses, nullptr);
    EXPECT_EQ(ks->statusCount, 0);
    EXPECT_EQ(ks->windowStart, 0);
    EXPECT_EQ(ks->keyRows->rowsUsed, 0);
    KS_Close(ks);
    KS_Free(&ks);
    EXPECT_EQ(ks, nullptr);
    KS_Free(&ks);
    KS_Free(nullptr);
    ks_CloseData(nullptr);
}

TEST(KeysetRecord, BoundsKeepTheFirstAndLastRowsWholeAndTheWindowKeepsKeys)
{
    KeyCtx k({{"id", nullptr, nullptr, 0}});
    RowBlock *rows = k.ctx.keySet->keyRows;
    RowBlock *bounds = nullptr;
    EXPECT_EQ(scs_p_GetKeySetBounds(&k.ctx, &bounds), ERR_GENERAL) << "no window read";
    // The key, then two ORDER BY values.
    RB_Init(rows, 3);
    for (int c = 0; c < 3; ++c) {
        rows->columns[c].valueType = VT_LONG;
        rows->columns[c].width = 4;
    }
    rows->columnsUsed = 3;
    RB_AllocRows(rows, 4);
    rows->rowsUsed = 4;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) {
            const int32_t v = 10 * r + c;
            memcpy(rows->columns[c].data + 4 * r, &v, 4);
            rows->columns[c].indicators[r] = (r == 3 && c == 2) ? RB_IND_NULL : RB_IND_VALUE;
        }
    ASSERT_EQ(scs_p_GetKeySetBounds(&k.ctx, &bounds), 0);
    ASSERT_NE(bounds, nullptr);
    ASSERT_EQ(bounds->rowsUsed, 2);
    ASSERT_EQ(bounds->columnsUsed, 3);
    int32_t v = 0;
    memcpy(&v, bounds->columns[1].data, 4);
    EXPECT_EQ(v, 1);
    memcpy(&v, bounds->columns[1].data + 4, 4);
    EXPECT_EQ(v, 31);
    EXPECT_EQ(bounds->columns[2].indicators[1], RB_IND_NULL);
    EXPECT_EQ(rows->columnsUsed, 1) << "the window keeps the key columns only";
    EXPECT_EQ(rows->rowsUsed, 4);
    RB_Free(bounds);
    free(bounds);
}

// ---- parameter rows ----

// A source block: column 0 int, column 1 NUL-terminated text (width 16),
// column 2 fixed text (width 8), column 3 heap text.
struct Source {
    RowBlock b{};
    explicit Source(int rows)
    {
        RB_Init(&b, 4);
        const ValueType types[] = {VT_LONG, VT_NTS, VT_CHAR, VT_HEAP_TEXT};
        const uint32_t widths[] = {4, 16, 8, sizeof(LongDataBuf)};
        for (int c = 0; c < 4; ++c) {
            b.columns[c].valueType = types[c];
            b.columns[c].width = widths[c];
        }
        b.columnsUsed = 4;
        RB_AllocRows(&b, rows);
        b.rowsUsed = rows;
        for (int r = 0; r < rows; ++r) {
            const int32_t v = 100 + r;
            memcpy(b.columns[0].data + 4 * r, &v, 4);
            b.columns[0].indicators[r] = RB_IND_VALUE;
            const std::string t = "k" + std::to_string(r);
            strcpy(reinterpret_cast<char *>(b.columns[1].data) + 16 * r, t.c_str());
            b.columns[1].indicators[r] = RB_IND_VALUE;
            memcpy(b.columns[2].data + 8 * r, "ab      ", 8);
            b.columns[2].indicators[r] = RB_IND_VALUE;
            LongDataBuf h{static_cast<uint32_t>(t.size()), strdup(t.c_str())};
            memcpy(b.columns[3].data + sizeof h * r, &h, sizeof h);
            b.columns[3].indicators[r] = RB_IND_VALUE;
        }
    }
    ~Source() { RB_Free(&b); }
};

struct Made {
    RowBlock *b = nullptr;
    ~Made()
    {
        if (b) {
            RB_Free(b);
            free(b);
        }
    }
    int32_t intAt(int col) const
    {
        int32_t v;
        memcpy(&v, b->columns[col].data, 4);
        return v;
    }
    std::string textAt(int col) const { return reinterpret_cast<const char *>(b->columns[col].data); }
};

TEST(KeysetParamRows, GroupsTakeConsecutiveRowsAndRepeatTheLast)
{
    struct Case {
        int32_t first;
        uint32_t groups, rows;
        int srcRows;
        std::vector<int32_t> keys;  // the int key of each group
    };
    const Case cases[] = {
        {0, 5, 3, 6, {100, 101, 102, 102, 102}},
        {2, 3, 3, 6, {102, 103, 104}},
        {4, 4, 4, 6, {104, 105, 105, 105}},  // the source ends before n rows
        {0, 1, 1, 1, {100}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.first);
        Source s(c.srcRows);
        Made m;
        ASSERT_EQ(KS_ParamRowsetMake(&s.b, c.first, c.groups, c.rows, &m.b, 0, 0, 0, nullptr, nullptr), 0);
        ASSERT_EQ(m.b->rowsUsed, 1);
        ASSERT_EQ(m.b->columnsUsed, 4 * c.groups);
        for (uint32_t g = 0; g < c.groups; ++g) {
            EXPECT_EQ(m.intAt(4 * g), c.keys[g]) << "group " << g;
            EXPECT_EQ(m.textAt(4 * g + 1), "k" + std::to_string(c.keys[g] - 100));
        }
    }
}

TEST(KeysetParamRows, Refusals)
{
    Source s(3);
    RowBlock empty{};
    Made m;
    uint16_t dropped = 0;
    int16_t flags[4];
    struct Case {
        const RowBlock *src;
        int32_t first;
        uint32_t g, n;
        bool out;
        int drop;
        const char *why;
    };
    const Case cases[] = {
        {nullptr, 0, 1, 1, true, 0, "no source"},
        {&empty, 0, 1, 1, true, 0, "source without columns"},
        {&s.b, 0, 1, 1, false, 0, "no out argument"},
        {&s.b, 0, 0, 0, true, 0, "no group"},
        {&s.b, 0, 2, 3, true, 0, "fewer groups than rows"},
        {&s.b, 3, 1, 1, true, 0, "first row beyond the source"},
        {&s.b, -1, 1, 1, true, 0, "negative first row"},
        {&s.b, 0, 1, 1, true, 1, "drop without its out arguments"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(KS_ParamRowsetMake(c.src, c.first, c.g, c.n, c.out ? &m.b : nullptr, 0, 0, c.drop, nullptr,
                                     nullptr),
                  ERR_GENERAL)
            << c.why;
        EXPECT_EQ(m.b, nullptr) << c.why;
    }
    EXPECT_EQ(KS_ParamRowsetMake(&s.b, 0, 20000, 1, &m.b, 0, 0, 1, &dropped, flags), ERR_GENERAL)
        << "more than 65535 parameter columns";
}

TEST(KeysetParamRows, WidthsFollowTheValues)
{
    Source s(2);
    struct Case {
        int addTerminator, trim;
        uint32_t charWidth;
    };
    // Fixed text "ab" in a width of 8.
    const Case cases[] = {{0, 0, 8}, {1, 0, 9}, {0, 1, 2}, {1, 1, 3}};
    for (const Case &c : cases) {
        Made m;
        ASSERT_EQ(KS_ParamRowsetMake(&s.b, 1, 1, 1, &m.b, c.addTerminator, c.trim, 0, nullptr, nullptr), 0);
        EXPECT_EQ(m.b->columns[1].width, 3u) << "NUL-terminated text: its length and the terminator";
        EXPECT_STREQ(reinterpret_cast<char *>(m.b->columns[1].data), "k1");
        EXPECT_EQ(m.b->columns[2].width, c.charWidth) << c.addTerminator << c.trim;
        EXPECT_EQ(memcmp(m.b->columns[2].data, "ab", 2), 0);
        if (c.addTerminator)
            EXPECT_EQ(m.b->columns[2].data[c.charWidth - 1], 0) << "terminator room stays zero";
        // The heap value is a copy of its own.
        LongDataBuf src, dst;
        memcpy(&src, s.b.columns[3].data + sizeof src, sizeof src);
        memcpy(&dst, m.b->columns[3].data, sizeof dst);
        EXPECT_NE(src.data, dst.data);
        EXPECT_EQ(dst.length, 2u);
        EXPECT_EQ(std::string(dst.data, dst.length), "k1");
    }
}

TEST(KeysetParamRows, NullColumnsDroppedFromEveryGroup)
{
    Source s(3);
    s.b.columns[1].indicators[1] = RB_IND_NULL;  // text NULL in row 1
    s.b.columns[2].indicators[2] = RB_IND_NULL;  // fixed text NULL in row 2 (outside rows 0-1)
    Made m;
    uint16_t dropped = 9;
    int16_t flags[4] = {7, 7, 7, 7};
    ASSERT_EQ(KS_ParamRowsetMake(&s.b, 0, 3, 2, &m.b, 0, 0, 1, &dropped, flags), 0);
    EXPECT_EQ(dropped, 1);
    EXPECT_EQ(flags[0], 0);
    EXPECT_EQ(flags[1], 1);
    EXPECT_EQ(flags[2], 0) << "row 2 is not among the n rows";
    EXPECT_EQ(flags[3], 0);
    ASSERT_EQ(m.b->columnsUsed, 3 * 3);
    EXPECT_EQ(m.intAt(0), 100);
    EXPECT_EQ(m.b->columns[1].valueType, VT_CHAR) << "the text column is gone";
    EXPECT_EQ(m.intAt(3), 101);
    EXPECT_EQ(m.intAt(6), 101) << "the third group repeats the last of the two rows";
}

TEST(KeysetParamRows, NullValueWithoutDroppingStaysNull)
{
    Source s(1);
    s.b.columns[0].indicators[0] = RB_IND_NULL;
    s.b.columns[3].indicators[0] = RB_IND_NULL;
    Made m;
    ASSERT_EQ(KS_ParamRowsetMake(&s.b, 0, 1, 1, &m.b, 0, 0, 0, nullptr, nullptr), 0);
    EXPECT_EQ(m.b->columns[0].indicators[0], RB_IND_NULL);
    EXPECT_EQ(m.b->columns[3].indicators[0], RB_IND_NULL);
    LongDataBuf h;
    memcpy(&h, m.b->columns[3].data, sizeof h);
    EXPECT_EQ(h.data, nullptr);
}

} // namespace

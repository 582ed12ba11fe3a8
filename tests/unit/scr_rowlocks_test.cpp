// Row locks, optimistic-concurrency values and row versions without a
// database: the texts the cursor library generates for them and the row
// digest that tells a changed row from an unchanged one.
#include <gtest/gtest.h>

#include "odbc/contract/errnum.h"
#include "odbc/contract/rowblock.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_rowlocks.h"
#include "scrs/scs_rvc.h"
#include "util/dynarray.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- row blocks of one row ----

struct Col {
    ValueType vt;
    uint32_t width;
};

// A value: NULL, bytes, or a 32-bit integer.
struct Val {
    bool null = true;
    std::string bytes;
};
Val Null() { return Val{}; }
Val Text(const std::string &t) { return Val{false, t}; }
Val Int(int32_t v) { return Val{false, std::string(reinterpret_cast<const char *>(&v), 4)}; }

struct Block {
    RowBlock b{};
    Block(const std::vector<Col> &cols, const std::vector<Val> &row)
    {
        RB_Init(&b, static_cast<uint16_t>(cols.size()));
        for (size_t i = 0; i < cols.size(); ++i) {
            b.columns[i].valueType = cols[i].vt;
            b.columns[i].width = cols[i].width;
        }
        b.columnsUsed = static_cast<uint16_t>(cols.size());
        RB_AllocRows(&b, 1);
        b.rowsUsed = 1;
        for (size_t i = 0; i < cols.size(); ++i)
            put(static_cast<int>(i), row[i]);
    }
    ~Block() { RB_Free(&b); }
    void put(int c, const Val &v)
    {
        RowBlockColumn &col = b.columns[c];
        if (v.null) {
            col.indicators[0] = RB_IND_NULL;
            return;
        }
        col.indicators[0] = RB_IND_VALUE;
        uint8_t *cell = col.data;
        switch (col.valueType) {
        case VT_TEXT2: {
            const uint16_t n = static_cast<uint16_t>(v.bytes.size());
            memcpy(cell, &n, 2);
            memcpy(cell + 2, v.bytes.data(), n);
            break;
        }
        case VT_HEAP_TEXT: {
            char *data = static_cast<char *>(calloc(v.bytes.size() + 1, 1));
            memcpy(data, v.bytes.data(), v.bytes.size());
            LongDataBuf d{static_cast<uint32_t>(v.bytes.size()), data};
            memcpy(cell, &d, sizeof d);
            break;
        }
        default:
            memcpy(cell, v.bytes.data(), v.bytes.size() < col.width ? v.bytes.size() : col.width);
        }
    }
    std::string digest()
    {
        uint8_t d[RVC_DIGEST_SIZE];
        EXPECT_EQ(RVC_RowDigest(&b, 0, d), 0);
        char text[RVC_DIGEST_TEXT + 1];
        RVC_HexEncode(d, RVC_DIGEST_SIZE, text, sizeof text, nullptr);
        return text;
    }
};

TEST(RowDigest, ValuesThatLookAlikeInABufferStillDiffer)
{
    const std::vector<Col> intText = {{VT_LONG, 4}, {VT_TEXT2, 12}};
    const std::vector<Col> twoTexts = {{VT_TEXT2, 12}, {VT_TEXT2, 12}};
    const std::vector<Col> nts = {{VT_NTS, 8}, {VT_NTS, 8}};
    struct Case {
        const char *what;
        std::vector<Col> cols;
        std::vector<Val> a, b;
    } cases[] = {
        {"NULL and 0", intText, {Null(), Text("x")}, {Int(0), Text("x")}},
        {"NULL and ''", intText, {Int(1), Null()}, {Int(1), Text("")}},
        {"'' and a NUL byte", twoTexts, {Text(""), Text("x")}, {Text(std::string(1, '\0')), Text("x")}},
        {"a byte moved to the next column", twoTexts, {Text("ab"), Text("c")}, {Text("a"), Text("bc")}},
        {"terminated texts moved", nts, {Text("ab"), Text("c")}, {Text("a"), Text("bc")}},
        {"NULL moved to the other column", twoTexts, {Null(), Text("a")}, {Text("a"), Null()}},
        {"one value changed", intText, {Int(7), Text("seven")}, {Int(7), Text("seveN")}},
    };
    for (const Case &c : cases) {
        Block a(c.cols, c.a), b(c.cols, c.b);
        EXPECT_NE(a.digest(), b.digest()) << c.what;
    }
}

TEST(RowDigest, EqualRowsAgreeAndLongValuesTakeNoPart)
{
    const std::vector<Col> cols = {{VT_LONG, 4}, {VT_HEAP_TEXT, 16}, {VT_TEXT2, 12}};
    Block a(cols, {Int(3), Text("long value one"), Text("k")});
    Block b(cols, {Int(3), Text("another long value"), Text("k")});
    Block c(cols, {Int(3), Null(), Text("k")});
    EXPECT_EQ(a.digest(), b.digest());
    EXPECT_EQ(a.digest(), c.digest());
    EXPECT_EQ(a.digest().size(), 32u);

    uint8_t d[RVC_DIGEST_SIZE];
    EXPECT_EQ(RVC_RowDigest(&a.b, 1, d), ERR_GENERAL);
    EXPECT_EQ(RVC_RowDigest(&a.b, -1, d), ERR_GENERAL);
    EXPECT_EQ(RVC_RowDigest(nullptr, 0, d), ERR_GENERAL);
}

TEST(RowDigest, HexTextIsCutToWholeBytes)
{
    const uint8_t bytes[] = {0x00, 0x1F, 0xA0, 0xFF};
    struct Case {
        int32_t size;
        const char *text;
    } cases[] = {{9, "001FA0FF"}, {20, "001FA0FF"}, {8, "001FA0"}, {3, "00"}, {2, ""}, {1, ""}};
    for (const Case &c : cases) {
        char out[32];
        memset(out, 'x', sizeof out);
        int32_t len = -1;
        char *end = RVC_HexEncode(bytes, 4, out, c.size, &len);
        EXPECT_STREQ(out, c.text) << c.size;
        EXPECT_EQ(len, static_cast<int32_t>(strlen(c.text)));
        EXPECT_EQ(end, out + len);
    }
}

TEST(RowVersionKeys, TheConnectionKeyNamesThisProcess)
{
    RvcBinding a{}, b{};
    a.appConn = 0x00020001;
    a.appStmt = 0x00030002;
    b = a;
    char ca[25], sa[9], cb[25], sb[9];
    rvc_CursorKey(&a, ca, sa);
    rvc_CursorKey(&b, cb, sb);
    EXPECT_EQ(std::string(sa), "00030002");
    EXPECT_EQ(std::string(ca).substr(0, 8), "00020001");
    EXPECT_EQ(strlen(ca), 24u);
    EXPECT_STREQ(ca, cb);  // stable within the process

    // Another process with the same handles gets another key.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    if (child == 0) {
        char cc[25], sc[9];
        rvc_CursorKey(&a, cc, sc);
        (void)!write(fds[1], cc, 24);
        _exit(0);
    }
    char other[25] = {};
    ASSERT_EQ(read(fds[0], other, 24), 24);
    int status = 0;
    waitpid(child, &status, 0);
    close(fds[0]);
    close(fds[1]);
    EXPECT_EQ(std::string(other).substr(0, 8), "00020001");
    EXPECT_NE(std::string(other), std::string(ca));
}

// ---- generated texts ----

ScrTableRef tableRef(const char *owner, const char *table, const char *alias = "")
{
    return ScrTableRef{strdup(""), strdup(owner), strdup(table), strdup(alias)};
}

ScrColumnRef columnRef(const char *column, const char *table = "", const char *owner = "", const char *alias = "")
{
    ScrColumnRef c{};
    strcpy(c.column, column);
    strcpy(c.table, table);
    strcpy(c.owner, owner);
    strcpy(c.alias, alias);
    c.itemKind = SCR_ITEM_COLUMN;
    return c;
}

struct Ctx {
    ScsContext ctx;
    Ctx()
    {
        SCR_Init(&ctx.refetchAnalysis);
        ctx.opts = CursorOptions{};
        ctx.place = CursorPlace{};
        ctx.opts.cursorType = SCS_STATIC;
    }
    ~Ctx()
    {
        DA_Free(&ctx.fromTables, SCR_TableRefFree);
        DA_Free(&ctx.keyCols, nullptr);
        DA_Free(&ctx.tableCols, nullptr);
        SCR_Free(&ctx.refetchAnalysis);
    }
    void tables(std::initializer_list<ScrTableRef> ts)
    {
        ctx.fromTables = DA_New(sizeof(ScrTableRef));
        for (const ScrTableRef &t : ts)
            DA_Append(ctx.fromTables, &t);
    }
    static DynArray *columns(std::initializer_list<ScrColumnRef> cs)
    {
        DynArray *a = DA_New(sizeof(ScrColumnRef));
        for (const ScrColumnRef &c : cs)
            DA_Append(a, &c);
        return a;
    }
};

TEST(LockText, OneUpdateOverTheKeyColumns)
{
    struct Case {
        const char *owner, *table;
        std::vector<const char *> keys;
        const char *text;
    } cases[] = {
        {"", "t", {"k"}, "UPDATE t SET k = ? WHERE k = ?"},
        {"o", "t", {"k1", "k2"}, "UPDATE o.t SET k1 = ?, k2 = ? WHERE k1 = ? AND k2 = ?"},
        // Names arrive as the statement and the catalog spell them, quotes
        // (with their doubled quotes) included.
        {"\"My Schema\"", "\"a\"\"b\"", {"\"x\"\"y\"", "\"id\""},
         "UPDATE \"My Schema\".\"a\"\"b\" SET \"x\"\"y\" = ?, \"id\" = ? WHERE \"x\"\"y\" = ? AND \"id\" = ?"},
    };
    for (const Case &c : cases) {
        Ctx t;
        t.tables({tableRef(c.owner, c.table)});
        t.ctx.keyCols = DA_New(sizeof(ScrColumnRef));
        for (const char *k : c.keys) {
            ScrColumnRef col = columnRef(k);
            DA_Append(t.ctx.keyCols, &col);
        }
        std::string text;
        ASSERT_EQ(scs_p_LockTextBuild(&t.ctx, &text), 0);
        EXPECT_EQ(text, c.text);
    }
    Ctx none;
    none.tables({tableRef("", "t")});
    std::string text;
    EXPECT_EQ(scs_p_LockTextBuild(&none.ctx, &text), ERR_GENERAL);
}

// A regenerated text with its spacing evened out: single blanks, none
// inside parentheses or at the ends.
std::string spaced(const char *text)
{
    std::string out;
    for (const char *p = text ? text : ""; *p; ++p) {
        const bool blank = *p == ' ';
        if (blank && (out.empty() || out.back() == ' ' || out.back() == '('))
            continue;
        if (*p == ')' && !out.empty() && out.back() == ' ')
            out.pop_back();
        out += *p;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

TEST(ValueRefetch, TheSelectListBecomesTheTableColumns)
{
    struct Case {
        const char *sql;
        bool twoTables;
        const char *expected;
    } cases[] = {
        {"SELECT b AS x, a FROM t WHERE (k = ?) OR (k = ?) ORDER BY k", false,
         "SELECT a, b, \"c\"\"d\" FROM t WHERE (k = ?) OR (k = ?) ORDER BY k"},
        // A literal that holds the marker's bytes is not taken for it.
        {"SELECT a FROM t WHERE b = '\x01\x01\x01'", false, "SELECT a, b, \"c\"\"d\" FROM t WHERE b = '\x01\x01\x01'"},
        {"SELECT t.a, u.z FROM t, o.u WHERE t.a = u.a", true,
         "SELECT t.a, o.u.b, x.\"c\"\"d\" FROM t, o.u WHERE t.a = u.a"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        Ctx t;
        if (c.twoTables) {
            t.tables({tableRef("", "t"), tableRef("o", "u")});
            t.ctx.tableCols = Ctx::columns({columnRef("a", "t"), columnRef("b", "u", "o"),
                                            columnRef("\"c\"\"d\"", "v", "", "x")});
        } else {
            t.tables({tableRef("", "t")});
            t.ctx.tableCols = Ctx::columns({columnRef("a", "t"), columnRef("b", "t"), columnRef("\"c\"\"d\"", "t")});
        }
        ASSERT_EQ(scs_p_OptConcSelectBuild(&t.ctx, c.sql, &t.ctx.refetchAnalysis), 0);
        EXPECT_EQ(spaced(scs_p_AnalysisText(&t.ctx.refetchAnalysis)), c.expected);
    }
}

TEST(ValueRefetch, KeyedCursorsReadTheKeysBehindTheValues)
{
    // The rows come back in the server's order; the keys behind the values
    // put each row at its own place.
    Ctx t;
    t.ctx.opts.cursorType = SCS_KEYSET;
    t.tables({tableRef("", "t")});
    t.ctx.tableCols = Ctx::columns({columnRef("a", "t"), columnRef("\"k\"\"1\"", "t")});
    t.ctx.keyCols = Ctx::columns({columnRef("\"k\"\"1\"", "t"), columnRef("k2", "t")});
    ASSERT_EQ(scs_p_OptConcSelectBuild(&t.ctx, "SELECT a FROM t WHERE (k = ?) ORDER BY a", &t.ctx.refetchAnalysis), 0);
    EXPECT_EQ(spaced(scs_p_AnalysisText(&t.ctx.refetchAnalysis)),
              "SELECT a, \"k\"\"1\", \"k\"\"1\", k2 FROM t WHERE (k = ?) ORDER BY a");
}

TEST(ValueRefetch, StatementsWithoutASelectListOrColumnsAreRefused)
{
    Ctx t;
    t.tables({tableRef("", "t")});
    t.ctx.tableCols = Ctx::columns({columnRef("a", "t")});
    EXPECT_EQ(scs_p_OptConcSelectBuild(&t.ctx, "SELECT a FROM t WHERE (", &t.ctx.refetchAnalysis), ERR_SYNTAX_OR_ACCESS);
    EXPECT_EQ(scs_p_OptConcSelectBuild(&t.ctx, "DELETE FROM t", &t.ctx.refetchAnalysis), ERR_GENERAL);
    DA_Free(&t.ctx.tableCols, nullptr);
    t.ctx.tableCols = Ctx::columns({});
    EXPECT_EQ(scs_p_OptConcSelectBuild(&t.ctx, "SELECT a FROM t", &t.ctx.refetchAnalysis), ERR_GENERAL);
}

} // namespace

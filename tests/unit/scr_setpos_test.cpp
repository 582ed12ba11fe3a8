// The cursor library's positioned UPDATE, DELETE and ADD over a scripted
// back end: the SQL they generate (base columns, identifiers as the catalog
// gave them, the guard that lets a statement change one row only), the
// parameters, the row statuses in the answer and in the keyset, and the
// outcomes of rows that changed nothing or failed.
#include <gtest/gtest.h>

#include "odbc/contract/drv_items.h"
#include "odbc/contract/err_report.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_install.h"
#include "scrs/scs_keyset.h"
#include "scrs/scs_setpos.h"
#include "util/dynarray.h"
#include "util/strutil.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- a scripted back end: what the positioned statement receives ----

struct Back {
    std::vector<std::string> prepared;
    std::vector<std::vector<std::string>> params;   // per execute, each value as text ("NULL")
    std::vector<uint16_t> typeCounts;
    std::vector<int32_t> touched;                   // rows each execute touches, in order
    std::vector<int> executeAnswers;                // the answer of each execute, in order
    size_t executes = 0;
    int32_t lastTouched = 0;
} back;

int bPrepare(int, const char *sql)
{
    back.prepared.emplace_back(sql);
    return 0;
}

std::string cellText(const RowBlockColumn &c, int32_t r)
{
    if (c.indicators[r] != RB_IND_VALUE)
        return "NULL";
    const uint8_t *p = c.data + static_cast<size_t>(r) * c.width;
    switch (c.valueType) {
    case VT_LONG: {
        int32_t v;
        memcpy(&v, p, 4);
        return std::to_string(v);
    }
    case VT_NTS:
        return std::string(reinterpret_cast<const char *>(p), strnlen(reinterpret_cast<const char *>(p), c.width));
    default:
        return "?";
    }
}

int bSetParams(int, RowBlock *b)
{
    std::vector<std::string> row;
    for (uint16_t i = 0; b && i < b->columnsUsed; ++i)
        row.push_back(cellText(b->columns[i], 0));
    back.params.push_back(row);
    if (b) {
        RB_Free(b);
        free(b);
    }
    return 0;
}

int bSetParamTypes(int, uint16_t n, const ParamTypeDesc *)
{
    back.typeCounts.push_back(n);
    return 0;
}

int bExecute(int)
{
    const size_t i = back.executes++;
    back.lastTouched = i < back.touched.size() ? back.touched[i] : 1;
    return i < back.executeAnswers.size() ? back.executeAnswers[i] : 0;
}

int bGetInfo(int, int code, void *buf, int16_t, int16_t *len)
{
    if (code != DrvInt(DRV_STMT_ROW_COUNT))
        return ERR_NOT_CAPABLE;
    memcpy(buf, &back.lastTouched, 4);
    if (len)
        *len = 4;
    return 0;
}

int bGetErrors(int, ErrReport *out)
{
    *out = ErrReport{};
    return 0;
}

int bAllocStmt(int, int *out)
{
    static int next = 0x0DDD0001;
    *out = next++;
    return 0;
}
int bFreeStmt(int) { return 0; }
int bSetOption(int, int, void *) { return 0; }

const DrvOpTable *installed()
{
    static DrvOpTable table = [] {
        DrvOpTable t{};
        t.Prepare = bPrepare;
        t.SetParams = bSetParams;
        t.SetParamTypes = bSetParamTypes;
        t.Execute = bExecute;
        t.GetInfo = bGetInfo;
        t.GetErrors = bGetErrors;
        t.AllocStmt = bAllocStmt;
        t.FreeStmt = bFreeStmt;
        t.SetOption = bSetOption;
        return t;
    }();
    static DrvBinding binding = [] {
        DrvBinding b{DRVB_THREAD_SAFE, &table};
        SCS_Install(&b);
        return b;
    }();
    return binding.ops;
}

// A keyset-driven cursor over `select` on table "s"."t" whose key is "id",
// with the key rows of ten rows (ids 101..110), standing at absolute row 3
// with a rowset of `rowset` rows.
struct PosCtx {
    ScsContext ctx;
    explicit PosCtx(const char *select, int32_t concurrency = SCS_VALUES, int32_t rowset = 3)
    {
        installed();
        back = Back{};
        CUR_OptionsInit(&ctx.opts);
        CUR_PosReset(&ctx.place);
        ctx.drvStmt = 1;
        ctx.drvConn = 1;
        ctx.opts.cursorType = SCS_KEYSET;
        ctx.opts.concurrency = concurrency;
        ctx.opts.rowsetSize = rowset;
        ctx.place.absRow = 3;
        ctx.place.position = 1;
        ctx.posStmt = 0x0EEE0001;
        ctx.sendParamTypes = 1;
        SCR_Init(&ctx.analysis);
        EXPECT_EQ(SCR_AnalyseSQL(&ctx.analysis, select, 0, 0), 0) << select;
        ctx.clauseFlags = ctx.analysis.flags;
        ctx.fromTables = DA_New(sizeof(ScrTableRef));
        ScrTableRef t{STR_Dup(""), STR_Dup("\"s\""), STR_Dup("\"t\""), STR_Dup("")};
        DA_Append(ctx.fromTables, &t);
        ctx.keyCols = DA_New(sizeof(ScrColumnRef));
        ScrColumnRef key{};
        strcpy(key.column, "\"id\"");
        key.sqlType = SQL_INTEGER;
        DA_Append(ctx.keyCols, &key);
        EXPECT_EQ(KS_Alloc(&ctx.keySet), 0);
        ColDesc d{};
        d.valueType = VT_LONG;
        d.bufferLength = 4;
        RB_InitFromColDescs(&d, 1, 10, ctx.keySet->keyRows);
        for (int32_t i = 0; i < 10; ++i) {
            const int32_t id = 101 + i;
            memcpy(ctx.keySet->keyRows->columns[0].data + 4 * i, &id, 4);
            ctx.keySet->keyRows->columns[0].indicators[i] = RB_IND_VALUE;
        }
        ctx.keySet->keyRows->rowsUsed = 10;
        ctx.keySet->statuses = static_cast<int16_t *>(calloc(10, sizeof(int16_t)));
        ctx.keySet->statusCount = 10;
        ctx.rsltColDescs = CD_Alloc(3);
        ctx.rsltColCount = 3;
        for (int i = 0; i < 3; ++i)
            ctx.rsltColDescs[i].sqlType = SQL_VARCHAR;
    }
    ~PosCtx()
    {
        DA_Free(&ctx.fromTables, SCR_TableRefFree);
        DA_Free(&ctx.keyCols, nullptr);
        KS_Free(&ctx.keySet);
        SCR_Free(&ctx.analysis);
        CD_Free(ctx.rsltColDescs, ctx.rsltColCount);
        ctx.rsltColDescs = nullptr;
    }
};

// What the tests hand to the operation, which does not free it (its slot
// does): released at the end of each test.
struct Given {
    std::vector<RowBlock *> blocks;
    std::vector<uint16_t *> maps;
    ~Given() { clear(); }
    void clear()
    {
        for (RowBlock *b : blocks) {
            RB_Free(b);
            free(b);
        }
        for (uint16_t *m : maps)
            free(m);
        blocks.clear();
        maps.clear();
    }
} given;

struct GivenReset {
    ~GivenReset() { given.clear(); }
};

// A value block of one text column over `values` (nullptr: NULL, "-": a
// row to leave alone).
RowBlock *textRows(std::vector<const char *> values)
{
    auto *b = static_cast<RowBlock *>(calloc(1, sizeof(RowBlock)));
    given.blocks.push_back(b);
    RB_Init(b, 1);
    b->columns[0].valueType = VT_NTS;
    b->columns[0].width = 17;
    b->columnsUsed = 1;
    RB_AllocRows(b, static_cast<int32_t>(values.size()));
    b->rowsUsed = static_cast<int32_t>(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        const char *v = values[i];
        if (v && strcmp(v, "-") == 0) {
            b->columns[0].indicators[i] = RB_IND_IGNORED;
        } else if (v) {
            strcpy(reinterpret_cast<char *>(b->columns[0].data) + 17 * i, v);
            b->columns[0].indicators[i] = RB_IND_VALUE;
        }
    }
    return b;
}

uint16_t *columns(std::vector<uint16_t> c)
{
    auto *m = static_cast<uint16_t *>(malloc(c.size() * sizeof(uint16_t)));
    memcpy(m, c.data(), c.size() * sizeof(uint16_t));
    given.maps.push_back(m);
    return m;
}

const char kGuard[] = " AND (SELECT COUNT(*) FROM \"s\".\"t\" WHERE \"id\" = ?) = 1";

TEST(PositionedChange, UpdateWritesTheBaseColumnOfOneKeyedRow)
{
    GivenReset reset;
    PosCtx p("SELECT a AS b, \"my\"\"col\" AS a, id FROM s.t", SCS_LOCK);
    uint16_t *st = nullptr;
    uint16_t n = 0;
    // Rowset row 2 of a rowset at absolute row 3: the key of row 4 (104).
    RowBlock *two = textRows({"x"});
    // A second column: the quoted base column behind the label a.
    RB_InsertColumn(two, 1, VT_NTS, 17);
    strcpy(reinterpret_cast<char *>(two->columns[1].data), "y");
    two->columns[1].indicators[0] = RB_IND_VALUE;
    uint16_t *map = columns({1, 2});
    ASSERT_EQ(scs_p_PosChange(&p.ctx, SQL_UPDATE, 2, &st, &n, two, map), 0);
    ASSERT_EQ(back.prepared.size(), 1u);
    EXPECT_EQ(back.prepared[0],
              std::string("UPDATE \"s\".\"t\" SET a = ?, \"my\"\"col\" = ? WHERE \"id\" = ?") + kGuard);
    ASSERT_EQ(back.params.size(), 1u);
    EXPECT_EQ(back.params[0], (std::vector<std::string>{"x", "y", "104", "104"}));
    EXPECT_EQ(back.typeCounts, (std::vector<uint16_t>{4}));
    ASSERT_EQ(n, 1);
    EXPECT_EQ(st[0], SQL_ROW_UPDATED);
    EXPECT_EQ(p.ctx.keySet->statuses[3], SQL_ROW_UPDATED);
    EXPECT_EQ(p.ctx.posRowCount, 1);
    free(st);
}

TEST(PositionedChange, RowsThatChangeNothingOrFail)
{
    GivenReset reset;
    struct Case {
        const char *what;
        int32_t row;
        std::vector<int32_t> touched;
        std::vector<int> answers;
        int rc;
        std::vector<uint16_t> statuses;
    } cases[] = {
        {"one row, changed by someone else", 1, {0}, {}, ERR_NO_ROWS_CHANGED, {SQL_ROW_ERROR}},
        {"one row, the statement fails", 1, {0}, {ERR_GENERAL}, ERR_GENERAL, {SQL_ROW_ERROR}},
        {"every row, one conflict", -2, {1, 0, 1}, {}, ERR_ROW_ERROR,
         {SQL_ROW_UPDATED, SQL_ROW_ERROR, SQL_ROW_UPDATED}},
        {"every row, none", -2, {0, 0, 0}, {}, ERR_NO_ROWS_CHANGED, {SQL_ROW_ERROR, SQL_ROW_ERROR, SQL_ROW_ERROR}},
        {"several rows touched is no success", 1, {2}, {}, ERR_NO_ROWS_CHANGED, {SQL_ROW_ERROR}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PosCtx p("SELECT name, id FROM s.t", SCS_LOCK);
        back.touched = c.touched;
        back.executeAnswers = c.answers;
        uint16_t *st = nullptr;
        uint16_t n = 0;
        RowBlock *rows = c.row == -2 ? textRows({"a", "b", "c"}) : textRows({"a"});
        EXPECT_EQ(scs_p_PosChange(&p.ctx, SQL_UPDATE, c.row, &st, &n, rows, columns({1})), c.rc);
        ASSERT_EQ(n, c.statuses.size());
        EXPECT_EQ(std::vector<uint16_t>(st, st + n), c.statuses);
        free(st);
    }
}

TEST(PositionedChange, EveryRowLeavesIgnoredRowsAndRowsBeyondTheKeys)
{
    GivenReset reset;
    PosCtx p("SELECT name, id FROM s.t", SCS_LOCK, 4);
    p.ctx.place.absRow = 8;   // rows 8..11 of a keyset of ten
    p.ctx.keySet->statuses[8] = SQL_ROW_UPDATED;
    uint16_t *st = nullptr;
    uint16_t n = 0;
    ASSERT_EQ(scs_p_PosChange(&p.ctx, SQL_DELETE, -2, &st, &n, textRows({nullptr, "-", nullptr, nullptr}), nullptr),
              0);
    ASSERT_EQ(n, 4);
    EXPECT_EQ(std::vector<uint16_t>(st, st + n),
              (std::vector<uint16_t>{SQL_ROW_DELETED, SQL_ROW_UPDATED, SQL_ROW_DELETED, SQL_ROW_NOROW}))
        << "the ignored row keeps its keyset status; the fourth has no key";
    ASSERT_EQ(back.params.size(), 2u);
    EXPECT_EQ(back.params[0], (std::vector<std::string>{"108", "108"}));
    EXPECT_EQ(back.params[1], (std::vector<std::string>{"110", "110"}));
    EXPECT_EQ(back.prepared, (std::vector<std::string>{std::string("DELETE FROM \"s\".\"t\" WHERE \"id\" = ?") + kGuard}))
        << "prepared once";
    free(st);
}

TEST(PositionedChange, AddInsertsTheBufferRowsAndIsRefusedWhenReadOnly)
{
    GivenReset reset;
    {
        PosCtx p("SELECT name, id FROM s.t", SCS_READ_ONLY);
        uint16_t *st = nullptr;
        uint16_t n = 0;
        EXPECT_EQ(scs_p_PosChange(&p.ctx, SQL_ADD, -2, &st, &n, textRows({"a"}), columns({1})), ERR_INVALID_ARGUMENT);
        EXPECT_EQ(st, nullptr);
        EXPECT_TRUE(back.prepared.empty());
    }
    PosCtx p("SELECT name AS label, id FROM s.t", SCS_LOCK);
    back.executeAnswers = {0, ERR_GENERAL};
    uint16_t *st = nullptr;
    uint16_t n = 0;
    EXPECT_EQ(scs_p_PosChange(&p.ctx, SQL_ADD, -2, &st, &n, textRows({"a", "b", "-"}), columns({1})), ERR_ROW_ERROR);
    EXPECT_EQ(back.prepared, (std::vector<std::string>{"INSERT INTO \"s\".\"t\" ( name ) VALUES ( ? )"}));
    ASSERT_EQ(n, 3);
    EXPECT_EQ(std::vector<uint16_t>(st, st + n),
              (std::vector<uint16_t>{SQL_ROW_ADDED, SQL_ROW_ERROR, SQL_ROW_NOROW}));
    free(st);
}

// Rows named by bookmarks (absolute rows of the keyset) change one by one
// in the caller's order; the keyset's own statuses stay.
TEST(PositionedChange, RowsByBookmarkInTheCallersOrder)
{
    GivenReset reset;
    PosCtx p("SELECT name, id FROM s.t", SCS_LOCK, 4);
    p.ctx.place.absRow = 3;   // rows 3..6
    back.touched = {1, 0, 1};
    const uint32_t marks[] = {6, 3, 5};
    uint16_t *st = nullptr;
    uint16_t n = 0;
    EXPECT_EQ(scs_p_PosChange(&p.ctx, SQL_UPDATE, -2, &st, &n, textRows({"six", "three", "five"}), columns({1}), marks,
                              3),
              ERR_ROW_ERROR);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(std::vector<uint16_t>(st, st + n),
              (std::vector<uint16_t>{SQL_ROW_UPDATED, SQL_ROW_ERROR, SQL_ROW_UPDATED}));
    ASSERT_EQ(back.params.size(), 3u);
    EXPECT_EQ(back.params[0], (std::vector<std::string>{"six", "106", "106"}));
    EXPECT_EQ(back.params[1], (std::vector<std::string>{"three", "103", "103"}));
    EXPECT_EQ(back.params[2], (std::vector<std::string>{"five", "105", "105"}));
    EXPECT_EQ(p.ctx.keySet->statuses[5], 0) << "the keyset's statuses stay";
    free(st);

    // One bookmark that changes nothing is no row changed, never "several".
    back = Back{};
    back.touched = {0};
    const uint32_t one[] = {4};
    EXPECT_EQ(scs_p_PosChange(&p.ctx, SQL_DELETE, -2, &st, &n, nullptr, nullptr, one, 1), ERR_NO_ROWS_CHANGED);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(st[0], SQL_ROW_ERROR);
    free(st);
}

// A dynamic cursor's key window is its rowset: rowset row r is key row r,
// wherever the cursor says it stands, and under values concurrency each row
// is found by the values read for it, a NULL by IS NULL.
TEST(PositionedChange, DynamicRowsAreFoundByTheirOwnKeysAndValues)
{
    GivenReset reset;
    PosCtx p("SELECT name, id FROM s.t", SCS_VALUES, 3);
    p.ctx.opts.cursorType = SCS_DYNAMIC;
    p.ctx.place.absRow = -4;   // the last fetch reached the end of the result
    p.ctx.tableCols = DA_New(sizeof(ScrColumnRef));
    ScrColumnRef name{};
    strcpy(name.column, "name");
    name.sqlType = SQL_VARCHAR;
    DA_Append(p.ctx.tableCols, &name);
    p.ctx.compareValues = textRows({"one", nullptr, "three"});
    given.blocks.pop_back();   // the context's now
    uint16_t *st = nullptr;
    uint16_t n = 0;
    ASSERT_EQ(scs_p_PosChange(&p.ctx, SQL_UPDATE, 2, &st, &n, textRows({"x"}), columns({1})), 0);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(st[0], SQL_ROW_UPDATED);
    free(st);
    ASSERT_EQ(scs_p_PosChange(&p.ctx, SQL_DELETE, 3, &st, &n, textRows({nullptr}), nullptr), 0);
    EXPECT_EQ(st[0], SQL_ROW_DELETED);
    free(st);
    EXPECT_EQ(back.prepared,
              (std::vector<std::string>{
                  std::string("UPDATE \"s\".\"t\" SET name = ? WHERE \"id\" = ? AND name IS NULL") + kGuard,
                  std::string("DELETE FROM \"s\".\"t\" WHERE \"id\" = ? AND name = ?") + kGuard}));
    ASSERT_EQ(back.params.size(), 2u);
    EXPECT_EQ(back.params[0], (std::vector<std::string>{"x", "102", "102"}));
    EXPECT_EQ(back.params[1], (std::vector<std::string>{"103", "three", "103"}));
    EXPECT_EQ(p.ctx.keySet->statuses[1], SQL_ROW_UPDATED);
    EXPECT_EQ(p.ctx.keySet->statuses[2], SQL_ROW_DELETED);
    // The values of the updated row could not be read again here (no
    // fetch-by-keys SELECT): they stay as they were, so that a later change
    // of the row is checked, never let through.
    ASSERT_NE(p.ctx.compareValues, nullptr);
    EXPECT_EQ(p.ctx.compareValues->columns[0].indicators[1], RB_IND_NULL);
    KS_BlockFree(&p.ctx.compareValues);
    DA_Free(&p.ctx.tableCols, nullptr);
}

TEST(PositionedChange, RefusedBeforeAnythingIsSent)
{
    GivenReset reset;
    struct Case {
        const char *what;
        const char *select;
        int32_t concurrency;
        uint16_t op;
        int rc;
    } cases[] = {
        {"read-only update", "SELECT name, id FROM s.t", SCS_READ_ONLY, SQL_UPDATE, ERR_INVALID_ARGUMENT},
        {"read-only delete", "SELECT name, id FROM s.t", SCS_READ_ONLY, SQL_DELETE, ERR_INVALID_ARGUMENT},
        {"values without compare values", "SELECT name, id FROM s.t", SCS_VALUES, SQL_UPDATE, 0},
        {"an expression has no column", "SELECT name || 'x', id FROM s.t", SCS_LOCK, SQL_UPDATE, ERR_NOT_CAPABLE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PosCtx p(c.select, c.concurrency);
        uint16_t *st = nullptr;
        uint16_t n = 0;
        const bool del = c.op == SQL_DELETE;
        int rc = scs_p_PosChange(&p.ctx, c.op, 1, &st, &n, textRows({del ? nullptr : "v"}),
                                 del ? nullptr : columns({1}));
        if (c.rc == 0) {
            // The row goes in error and nothing unchecked is written.
            EXPECT_EQ(rc, ERR_NOT_CAPABLE);
            ASSERT_EQ(n, 1);
            EXPECT_EQ(st[0], SQL_ROW_ERROR);
        } else {
            EXPECT_EQ(rc, c.rc);
        }
        EXPECT_TRUE(back.params.empty());
        free(st);
    }
}

} // namespace

// The cursor library over a scripted back end: the overlay, statement
// analysis with its refusals and downgrade, ORDER BY rewriting, static
// cursors served from the static set, and catalog results.
#include <gtest/gtest.h>

#include "odbc/contract/catalog_args.h"
#include "odbc/contract/drv_connect_params.h"
#include "odbc/contract/drv_items.h"
#include "odbc/contract/err_report.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/rowblock.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_install.h"
#include "util/dynarray.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// ---- a scripted back end ----

enum Mode { M_NONE, M_QUERY, M_TABLES, M_COLUMNS };

struct FakeStmt {
    int32_t cursorType = 0;
    int32_t concurrency = 1;
    int32_t rowsetSize = 1;
    std::string text;
    Mode mode = M_NONE;
    std::string object;  // the table a catalog call asked for
    int32_t next = 0;    // next result row
};

struct Fake {
    std::map<int, FakeStmt> stmts;
    int nextHandle = 0x0CCC0001;
    int resultRows = 12;       // rows of every query
    int executes = 0;
    int queryFetches = 0;      // fetches on query results
    int catalogCalls = 0;
    int closes = 0;
    int optionAsks = 0;        // statement options asked of the back end
    std::vector<std::string> prepared;
} fake;

int fGetInfo(int h, int code, void *buf, int16_t, int16_t *outLen)
{
    auto it = fake.stmts.find(h);
    if (DrvClassOf(code) != DRV_CLASS_STMT || it == fake.stmts.end())
        return ERR_NOT_CAPABLE;
    int32_t v;
    if (DrvItemOf(code) != DRV_STMT_ROW_COUNT)
        ++fake.optionAsks;
    switch (DrvItemOf(code)) {
    case DrvStmtOption(SQL_CURSOR_TYPE): v = it->second.cursorType; break;
    case DrvStmtOption(SQL_CONCURRENCY): v = it->second.concurrency; break;
    case DrvStmtOption(SQL_ROWSET_SIZE): v = it->second.rowsetSize; break;
    case DrvStmtOption(SQL_KEYSET_SIZE): v = 0; break;
    case DrvStmtOption(SQL_RETRIEVE_DATA): v = 1; break;
    case DrvStmtOption(SQL_MAX_LENGTH): v = 0; break;
    case DRV_STMT_ROW_COUNT: v = -1; break;
    default: return ERR_NOT_CAPABLE;
    }
    memcpy(buf, &v, 4);
    if (outLen)
        *outLen = 4;
    return 0;
}

int fSetOption(int h, int code, void *value)
{
    FakeStmt &s = fake.stmts[h];
    const int32_t v = *static_cast<int32_t *>(value);
    if (DrvItemOf(code) == DrvStmtOption(SQL_CURSOR_TYPE))
        s.cursorType = v;
    else if (DrvItemOf(code) == DrvStmtOption(SQL_CONCURRENCY))
        s.concurrency = v;
    else if (DrvItemOf(code) == DrvStmtOption(SQL_ROWSET_SIZE))
        s.rowsetSize = v;
    else
        return ERR_NOT_CAPABLE;
    return 0;
}

int fGetErrors(int, ErrReport *out)
{
    *out = ErrReport{};
    return 0;
}

int fAllocStmt(int, int *out)
{
    *out = fake.nextHandle++;
    fake.stmts[*out] = FakeStmt{};
    return 0;
}

int fFreeStmt(int h) { return fake.stmts.erase(h) ? 0 : ERR_INVALID_ARGUMENT; }

bool startsWithSelect(const std::string &t) { return strncasecmp(t.c_str(), "select", 6) == 0; }

int fPrepare(int h, const char *sql)
{
    fake.stmts[h].text = sql;
    fake.prepared.push_back(sql);
    return 0;
}

int fSetParams(int, RowBlock *b)
{
    if (b) {
        RB_Free(b);
        free(b);
    }
    return 0;
}

int fExecute(int h)
{
    FakeStmt &s = fake.stmts[h];
    ++fake.executes;
    s.mode = startsWithSelect(s.text) ? M_QUERY : M_NONE;
    s.next = 0;
    return 0;
}

int fGetColDescs(int h, uint16_t *count, ColDesc **out)
{
    *count = 0;
    *out = nullptr;
    const std::string &text = fake.stmts[h].text;
    if (!startsWithSelect(text) || text.find("nocols") != std::string::npos)
        return 0;
    *out = CD_Alloc(1);
    *count = 1;
    strcpy((*out)[0].name, "a");
    (*out)[0].valueType = VT_LONG;
    return 0;
}

void initBlock(RowBlock *b, const std::vector<ValueType> &types, int32_t rows)
{
    RB_Free(b);
    RB_Init(b, static_cast<uint16_t>(types.size()));
    for (size_t i = 0; i < types.size(); ++i) {
        b->columns[i].valueType = types[i];
        b->columns[i].width = types[i] == VT_NTS ? 64 : 4;
    }
    b->columnsUsed = static_cast<uint16_t>(types.size());
    RB_AllocRows(b, rows > 0 ? rows : 1);
    b->rowsUsed = 0;
}

void putText(RowBlock *b, int col, int32_t row, const std::string &t)
{
    char *cell = reinterpret_cast<char *>(b->columns[col].data) + row * 64;
    strncpy(cell, t.c_str(), 63);
    b->columns[col].indicators[row] = RB_IND_VALUE;
}

void putInt(RowBlock *b, int col, int32_t row, int32_t v)
{
    memcpy(b->columns[col].data + row * 4, &v, 4);
    b->columns[col].indicators[row] = RB_IND_VALUE;
}

int fFetch(int h, uint16_t n, RowBlock *out)
{
    FakeStmt &s = fake.stmts[h];
    switch (s.mode) {
    case M_QUERY: {
        ++fake.queryFetches;
        initBlock(out, {VT_LONG}, n);
        for (; out->rowsUsed < n && s.next < fake.resultRows; ++out->rowsUsed)
            putInt(out, 0, out->rowsUsed, ++s.next);
        return 0;
    }
    case M_TABLES: {
        // "missing" exists nowhere, "dup" under two owners.
        const int rows = s.object == "MISSING" ? 0 : s.object == "DUP" ? 2 : 1;
        initBlock(out, {VT_NTS, VT_NTS, VT_NTS}, 10);
        for (int r = s.next; r < rows; ++r, ++out->rowsUsed) {
            putText(out, 0, out->rowsUsed, "db");
            putText(out, 1, out->rowsUsed, r ? "other" : "public");
            putText(out, 2, out->rowsUsed, s.object);
        }
        s.next = rows;
        return 0;
    }
    case M_COLUMNS: {
        const char *cols[] = {"A", "B", "C"};
        initBlock(out, {VT_NTS, VT_NTS, VT_NTS, VT_NTS, VT_SHORT, VT_NTS, VT_LONG, VT_LONG, VT_SHORT}, 10);
        for (int r = s.next; r < 3 && out->rowsUsed < n; ++r, ++out->rowsUsed) {
            putText(out, 3, out->rowsUsed, cols[r]);
            int16_t type = SQL_INTEGER;
            memcpy(out->columns[4].data + out->rowsUsed * 4, &type, 2);
            out->columns[4].indicators[out->rowsUsed] = RB_IND_VALUE;
            putInt(out, 6, out->rowsUsed, 10);
            out->columns[8].indicators[out->rowsUsed] = RB_IND_NULL;
        }
        s.next = 3;
        return 0;
    }
    default:
        initBlock(out, {VT_LONG}, 1);
        return 0;
    }
}

int fCloseCursor(int h)
{
    ++fake.closes;
    fake.stmts[h].mode = M_NONE;
    return 0;
}

int fMoreResults(int) { return ERR_NO_MORE_RESULTS; }

int fDDTables(int h, CatalogArgs *a)
{
    ++fake.catalogCalls;
    FakeStmt &s = fake.stmts[h];
    s.mode = M_TABLES;
    s.object = a->text[CA_OBJECT] ? a->text[CA_OBJECT] : "";
    s.next = 0;
    return 0;
}

int fDDColumns(int h, CatalogArgs *a)
{
    ++fake.catalogCalls;
    FakeStmt &s = fake.stmts[h];
    s.mode = M_COLUMNS;
    s.object = a->text[CA_OBJECT] ? a->text[CA_OBJECT] : "";
    s.next = 0;
    return 0;
}

int fExecDirect(int h, const char *sql, RowBlock *params, int16_t n, const ParamTypeDesc *)
{
    if (sql)
        fPrepare(h, sql);
    fSetParams(h, params);
    (void)n;
    return fExecute(h);
}

int fSetParamTypes(int, uint16_t, const ParamTypeDesc *) { return 0; }

int fConnect(int, DrvConnectParams *, int *out)
{
    static int next = 0x0BBB0001;
    *out = next++;
    return 0;
}

int fDisconnect(int) { return 0; }

DrvOpTable makeTable()
{
    DrvOpTable t{};
    t.GetInfo = fGetInfo;
    t.SetOption = fSetOption;
    t.GetErrors = fGetErrors;
    t.Connect = fConnect;
    t.Disconnect = fDisconnect;
    t.AllocStmt = fAllocStmt;
    t.FreeStmt = fFreeStmt;
    t.Prepare = fPrepare;
    t.SetParams = fSetParams;
    t.Execute = fExecute;
    t.GetColDescs = fGetColDescs;
    t.SetParamTypes = fSetParamTypes;
    t.Fetch = fFetch;
    t.CloseCursor = fCloseCursor;
    t.MoreResults = fMoreResults;
    t.DDColumns = fDDColumns;
    t.DDTables = fDDTables;
    t.ExecDirect = fExecDirect;
    return t;
}

DrvOpTable fakeTable = makeTable();

// The overlay over the scripted back end, once per process.
const DrvOpTable *ops()
{
    static DrvBinding binding = [] {
        DrvBinding b{DRVB_THREAD_SAFE, &fakeTable};
        SCS_Install(&b);
        return b;
    }();
    return binding.ops;
}

// One statement of the overlay.
struct Statement {
    int h = 0;
    explicit Statement(int32_t cursorType, int32_t concurrency = 1, int32_t rowset = 1)
    {
        EXPECT_EQ(ops()->AllocStmt(1, &h), 0);
        ops()->SetOption(h, DrvInt(DrvStmtOption(SQL_CURSOR_TYPE)), &cursorType);
        ops()->SetOption(h, DrvInt(DrvStmtOption(SQL_CONCURRENCY)), &concurrency);
        ops()->SetOption(h, DrvInt(DrvStmtOption(SQL_ROWSET_SIZE)), &rowset);
    }
    ~Statement() { ops()->FreeStmt(h); }
    FakeStmt &back() { return fake.stmts[h]; }
    ScsContext *ctx() { return scs_p_CtxFind(h); }
};

// ---- analysis: statement text -> outcome ----

struct AnalysisCase {
    const char *sql;
    int32_t asked;      // cursor type asked
    int32_t askedConc;  // concurrency asked
    int rc;             // SCS_Prepare's answer
    int32_t type;       // cursor type afterwards
    int32_t conc;       // concurrency afterwards
};

TEST(CursorAnalysis, RefusesOrDowngradesByStatement)
{
    const AnalysisCase cases[] = {
        // Keysets are not served yet: a keyed cursor becomes static read-only.
        {"SELECT a FROM t", 1, 1, 0, 3, 1},
        {"SELECT a FROM t", 2, 4, 0, 3, 1},
        {"SELECT a FROM t", 3, 2, 0, 3, 1},
        {"SELECT a FROM t", 3, 1, 0, 3, 1},
        // Texts the analyser cannot parse are static read-only, never keyed.
        {"SELECT a FROM t LIMIT 5", 1, 1, 0, 3, 1},
        {"SELECT a::text FROM t", 2, 4, 0, 3, 1},
        {"SELECT a FROM t LIMIT 5", 3, 1, 0, 3, 1},
        {"SELECT a FROM (", 1, 1, 0, 3, 1},
        {"SELECT nocols FROM (", 1, 1, ERR_SYNTAX_OR_ACCESS, 1, 1},
        // Refusals.
        {"SELECT a FROM t GROUP BY a", 1, 1, ERR_GROUP_BY_CLAUSE, 1, 1},
        {"SELECT a FROM t UNION SELECT a FROM u", 1, 1, ERR_UNION_CLAUSE, 1, 1},
        {"SELECT a FROM t LEFT JOIN u ON t.a = u.a", 1, 1, ERR_OUTER_JOIN_NEEDS_STATIC, 1, 1},
        {"SELECT a FROM t LEFT JOIN u ON t.a = u.a", 2, 1, ERR_OUTER_JOIN_NEEDS_STATIC, 2, 1},
        {"SELECT 1", 1, 1, ERR_PREPARE_CURSOR_TYPE, 1, 1},
        {"SELECT a FROM missing", 3, 1, ERR_TABLE_NOT_FOUND, 3, 1},
        {"SELECT a FROM dup", 3, 1, ERR_DUPLICATE_TABLE_NAME, 3, 1},
        {"SELECT a, b FROM t ORDER BY 3", 3, 1, ERR_SYNTAX_OR_ACCESS, 3, 1},
        {"SELECT a + 1, b FROM t ORDER BY 1", 3, 1, ERR_EXPRESSION_ORDERING, 3, 1},
        // Static cursors take what keyed ones refuse.
        {"SELECT a FROM t GROUP BY a", 3, 1, 0, 3, 1},
        {"SELECT a FROM t LEFT JOIN u ON t.a = u.a", 3, 1, 0, 3, 1},
        {"SELECT 1", 3, 1, 0, 3, 1},
        {"SELECT a, b FROM t ORDER BY 2", 3, 1, 0, 3, 1},
        {"SELECT * FROM t ORDER BY 3", 3, 1, 0, 3, 1},
        // Other statements: procedure calls become static, changes keep the type.
        {"{call p(1)}", 1, 1, 0, 3, 1},
        {"VACUUM t", 2, 2, 0, 3, 1},
        {"INSERT INTO t VALUES (1)", 1, 1, 0, 1, 1},
        {"UPDATE t SET a = 1", 2, 1, 0, 2, 1},
        // Forward-only statements are not analysed.
        {"this is not sql", 0, 1, 0, 0, 1},
        {"SELECT a FROM missing", 0, 1, 0, 0, 1},
    };
    for (const AnalysisCase &c : cases) {
        Statement s(c.asked, c.askedConc);
        EXPECT_EQ(ops()->Prepare(s.h, c.sql), c.rc) << c.sql;
        EXPECT_EQ(s.back().cursorType, c.type) << c.sql;
        EXPECT_EQ(s.back().concurrency, c.conc) << c.sql;
    }
}

TEST(CursorAnalysis, ForwardOnlyNeverReachesTheCatalogOrAuxiliaryStatements)
{
    const size_t before = fake.stmts.size();
    const int calls = fake.catalogCalls;
    {
        Statement s(0);
        ASSERT_EQ(ops()->Prepare(s.h, "SELECT a FROM t ORDER BY 1"), 0);
        EXPECT_EQ(fake.stmts.size(), before + 1);
        EXPECT_EQ(s.ctx()->posStmt, 0u);
    }
    EXPECT_EQ(fake.catalogCalls, calls);
    EXPECT_EQ(fake.stmts.size(), before);
}

TEST(CursorAnalysis, OrdinalOrderByIsResolvedIntoTheKeptText)
{
    Statement s(3);
    ASSERT_EQ(ops()->Prepare(s.h, "SELECT b, a FROM t ORDER BY 2 DESC"), 0);
    const std::string kept = s.ctx()->stmtText;
    EXPECT_NE(kept.find("ORDER BY a DESC"), std::string::npos) << kept;
    // The back end keeps the application's own text.
    EXPECT_EQ(s.back().text, "SELECT b, a FROM t ORDER BY 2 DESC");
}

TEST(CursorAnalysis, AuxiliaryStatementsAreFreedWithTheStatement)
{
    const size_t before = fake.stmts.size();
    {
        Statement s(3);
        ASSERT_EQ(ops()->Prepare(s.h, "SELECT a FROM t"), 0);
        EXPECT_EQ(fake.stmts.size(), before + 3);
    }
    EXPECT_EQ(fake.stmts.size(), before);
}

// ---- ORDER BY rewriting and batches: tables of cases ----

ScrColumnRef column(const char *name, const char *table, int32_t kind)
{
    ScrColumnRef c{};
    strcpy(c.column, name);
    strcpy(c.table, table);
    c.itemKind = kind;
    return c;
}

TEST(CursorOrderBy, OrdinalsTakeTheSelectColumn)
{
    struct Case {
        uint8_t position;
        int32_t tables;
        int rc;
        const char *text;
    } cases[] = {
        {1, 1, 0, "x"},
        {2, 2, 0, "u.y"},
        {3, 1, ERR_EXPRESSION_ORDERING, ""},
        {4, 1, ERR_SYNTAX_OR_ACCESS, ""},
    };
    DynArray *sel = DA_New(sizeof(ScrColumnRef));
    ScrColumnRef cols[] = {column("x", "t", SCR_ITEM_COLUMN), column("y", "u", SCR_ITEM_COLUMN),
                           column("x + 1", "", SCR_ITEM_EXPRESSION)};
    for (const ScrColumnRef &c : cols)
        DA_Append(sel, &c);
    for (const Case &c : cases) {
        DynArray *order = DA_New(sizeof(OrderByColDesc));
        OrderByColDesc o{};
        o.position = c.position;
        DA_Append(order, &o);
        EXPECT_EQ(scs_p_OrderByOrdinalsApply(order, sel, c.tables), c.rc) << int(c.position);
        if (c.rc == 0)
            EXPECT_STREQ(static_cast<OrderByColDesc *>(order->elements)->text, c.text);
        DA_Free(&order, nullptr);
    }
    DA_Free(&sel, nullptr);
}

TEST(CursorOrderBy, SortKeyAndKeyMarks)
{
    struct Case {
        std::vector<const char *> keys;
        std::vector<const char *> orderBy;
        uint16_t sortKeys;
        std::vector<int> marks;
    } cases[] = {
        {{"k"}, {"k"}, 1, {1}},
        {{"a", "b"}, {"a", "b"}, 2, {1, 2}},
        {{"k"}, {"x"}, 2, {0}},
        {{"k"}, {}, 1, {0}},
    };
    for (const Case &c : cases) {
        ScsContext ctx;
        ctx.keyCols = DA_New(sizeof(ScrColumnRef));
        ctx.tableCols = DA_New(sizeof(ScrColumnRef));
        for (const char *k : c.keys) {
            ScrColumnRef col = column(k, "t", SCR_ITEM_COLUMN);
            col.sqlType = SQL_INTEGER;
            DA_Append(ctx.keyCols, &col);
            DA_Append(ctx.tableCols, &col);
        }
        ScrColumnRef x = column("x", "t", SCR_ITEM_COLUMN);
        x.sqlType = SQL_VARCHAR;
        DA_Append(ctx.tableCols, &x);
        ctx.orderByCols = DA_New(sizeof(OrderByColDesc));
        for (const char *name : c.orderBy) {
            OrderByColDesc o{};
            strcpy(o.column, name);
            DA_Append(ctx.orderByCols, &o);
        }
        ctx.clauseFlags = c.orderBy.empty() ? 0 : SCR_CF_ORDER_BY;
        ASSERT_EQ(scs_p_KeySetOrderGet(&ctx), 0);
        EXPECT_EQ(ctx.sortKeyCount, c.sortKeys);
        scs_p_KeyColsOrderByMark(&ctx);
        for (size_t i = 0; i < c.marks.size(); ++i)
            EXPECT_EQ(static_cast<ScrColumnRef *>(ctx.keyCols->elements)[i].orderByMark, c.marks[i]);
        DA_Free(&ctx.keyCols, nullptr);
        DA_Free(&ctx.tableCols, nullptr);
        DA_Free(&ctx.orderByCols, nullptr);
    }
}

TEST(CursorMetadata, KeyFetchBatchesNeverDivideByZero)
{
    struct Case {
        int32_t maxParams, appParams, keyCols, rowset;
        int rc;
        int32_t statements, last, perStatement;
    } cases[] = {
        {255, 0, 2, 300, 0, 3, 46, 127},
        {255, 0, 1, 100, 0, 1, 100, 100},
        {255, 0, 1, 300, 0, 2, 45, 255},
        {255, 0, 0, 10, ERR_GENERAL, 0, 0, 0},
        {255, 255, 1, 10, ERR_GENERAL, 0, 0, 0},
        {2, 0, 3, 10, ERR_GENERAL, 0, 0, 0},
    };
    for (const Case &c : cases) {
        int32_t s = 0, l = 0, p = 0;
        EXPECT_EQ(scs_p_GetKeyFetchBatches(c.maxParams, c.appParams, c.keyCols, c.rowset, &s, &l, &p), c.rc);
        if (c.rc == 0) {
            EXPECT_EQ(s, c.statements);
            EXPECT_EQ(l, c.last);
            EXPECT_EQ(p, c.perStatement);
        }
    }
}

TEST(CursorMetadata, IdentifierRules)
{
    struct Case {
        const char *in;
        uint32_t identCase, quotedCase;
        int requote;
        const char *out;
    } cases[] = {
        {"emp", SQL_IC_UPPER, SQL_IC_SENSITIVE, 1, "\"EMP\""},
        {"\"Emp\"", SQL_IC_UPPER, SQL_IC_SENSITIVE, 1, "\"Emp\""},
        {"Emp", SQL_IC_LOWER, SQL_IC_SENSITIVE, 1, "\"emp\""},
        {"Emp", SQL_IC_LOWER, SQL_IC_UPPER, 1, "emp"},
        {"emp", SQL_IC_UPPER, SQL_IC_SENSITIVE, 0, "EMP"},
    };
    for (const Case &c : cases) {
        char buf[SCR_NAME_SIZE];
        strcpy(buf, c.in);
        scs_p_NormaliseIdent(buf, '"', c.quotedCase, c.identCase, 0, c.requote);
        EXPECT_STREQ(buf, c.out) << c.in;
    }
    EXPECT_EQ(scs_p_IdentEqual("emp", "EMP", '"', SQL_IC_SENSITIVE, SQL_IC_UPPER, 0), 1);
    EXPECT_EQ(scs_p_IdentEqual("\"emp\"", "EMP", '"', SQL_IC_SENSITIVE, SQL_IC_UPPER, 0), 0);
    EXPECT_EQ(scs_p_IdentEqual("", "", '"', SQL_IC_SENSITIVE, SQL_IC_UPPER, 0), 0);
    EXPECT_EQ(scs_p_IsPseudoColumn("ROWID", "Oracle"), 0);
    EXPECT_EQ(scs_p_IsPseudoColumn("ROWID", "PostgreSQL"), 1);
}

// ---- static cursors ----

struct Rowset {
    RowsetCache *rs = nullptr;
    int rows = 0, count = 0, rc = 0;
    Rowset(int h, int row) { rc = ops()->ScrollFetch(h, nullptr, &rs, row, &rows, &count, SQL_FETCH_ABSOLUTE); }
    ~Rowset() { RS_Free(&rs); }
    std::vector<int> values() const
    {
        std::vector<int> v;
        for (int32_t i = 0; rs && rs->block && i < rs->block->rowsUsed; ++i) {
            int32_t x;
            memcpy(&x, rs->block->columns[0].data + i * 4, 4);
            v.push_back(x);
        }
        return v;
    }
};

TEST(CursorStatic, ReadsTheResultOnceAndScrollsFromTheSet)
{
    Statement s(3, 1, 5);
    ASSERT_EQ(ops()->Prepare(s.h, "SELECT a FROM t"), 0);
    const int executes = fake.executes;
    ASSERT_EQ(ops()->Execute(s.h), 0);
    const int fetches = fake.queryFetches;
    // The result was read and closed during the execute.
    EXPECT_EQ(s.back().mode, M_NONE);
    int32_t count = 0;
    int16_t len = 0;
    ASSERT_EQ(ops()->GetInfo(s.h, DrvInt(DRV_STMT_ROW_COUNT), &count, 4, &len), 0);
    EXPECT_EQ(count, 12);

    struct Case {
        int row;
        int rc;
        std::vector<int> values;
    } cases[] = {
        {1, 0, {1, 2, 3, 4, 5}},   {0, 0, {8, 9, 10, 11, 12}}, {-1, 0, {12}},
        {11, 0, {11, 12}},         {6, 0, {6, 7, 8, 9, 10}},   {13, ERR_BEYOND_END, {}},
        {-13, ERR_BEFORE_START, {}}, {1, 0, {1, 2, 3, 4, 5}},
    };
    for (const Case &c : cases) {
        Rowset r(s.h, c.row);
        EXPECT_EQ(r.rc, c.rc) << c.row;
        EXPECT_EQ(r.values(), c.values) << c.row;
        if (c.rc == 0) {
            EXPECT_EQ(r.count, 12);
            EXPECT_EQ(r.rows, static_cast<int>(c.values.size()));
            for (int i = 0; i < 5; ++i)
                EXPECT_EQ(r.rs->status[i], i < r.rows ? SQL_ROW_SUCCESS : SQL_ROW_NOROW);
        }
    }
    // No scroll went back to the server.
    EXPECT_EQ(fake.executes, executes + 1);
    EXPECT_EQ(fake.queryFetches, fetches);
}

// A keyed cursor the analysis would have served from a static set, reaching
// the scroll fetch anyway: an aggregate's rows have no keys and are read on
// forward only, so any other direction is refused, never answered with the
// next rows; dynamic and mixed cursors take no absolute row.
TEST(CursorScroll, WhatNoEngineServesIsRefused)
{
    Statement s(3, 1, 2);
    ASSERT_EQ(ops()->Prepare(s.h, "SELECT a FROM t"), 0);
    ASSERT_EQ(ops()->Execute(s.h), 0);
    s.back().cursorType = SCS_KEYSET;
    s.ctx()->clauseFlags |= SCR_CF_SET_FUNCTION;
    struct Case {
        int32_t type;
        int orientation;
        bool refused;
    } cases[] = {
        {SCS_KEYSET, SQL_FETCH_PRIOR, true}, {SCS_KEYSET, SQL_FETCH_FIRST, true},
        {SCS_KEYSET, SQL_FETCH_LAST, true},  {SCS_KEYSET, SQL_FETCH_ABSOLUTE, true},
        {SCS_KEYSET, 0, true},               {SCS_KEYSET, SQL_FETCH_NEXT, false},
        {SCS_DYNAMIC, 0, true},              {SCS_DYNAMIC, SQL_FETCH_PRIOR, true},
    };
    for (const Case &c : cases) {
        s.back().cursorType = c.type;
        RowsetCache *rs = nullptr;
        int rows = -1, total = 0;
        const int rc = ops()->ScrollFetch(s.h, nullptr, &rs, 1, &rows, &total, c.orientation);
        if (c.refused) {
            EXPECT_EQ(rc, ERR_NOT_CAPABLE) << c.type << " " << c.orientation;
            EXPECT_EQ(rs, nullptr);
            EXPECT_EQ(rows, 0);
        } else {
            EXPECT_NE(rc, ERR_NOT_CAPABLE) << "forward rows of the back end";
        }
        RS_Free(&rs);
    }
}

TEST(CursorStatic, ForwardFetchesAreServedFromTheSet)
{
    Statement s(3, 1, 1);
    ASSERT_EQ(ops()->Prepare(s.h, "SELECT a FROM t LIMIT 12"), 0);
    ASSERT_EQ(ops()->Execute(s.h), 0);
    const int fetches = fake.queryFetches;
    RowBlock block{};
    int total = 0;
    for (;;) {
        ASSERT_EQ(ops()->Fetch(s.h, 5, &block), 0);
        if (block.rowsUsed == 0)
            break;
        total += block.rowsUsed;
    }
    RB_Free(&block);
    EXPECT_EQ(total, 12);
    EXPECT_EQ(fake.queryFetches, fetches);
    EXPECT_EQ(ops()->MoreResults(s.h), ERR_NO_MORE_RESULTS);
}

TEST(CursorStatic, ForwardOnlyPassesStraightThrough)
{
    Statement s(0);
    ASSERT_EQ(ops()->ExecDirect(s.h, "SELECT a FROM t", nullptr, 0, nullptr), 0);
    RowBlock block{};
    ASSERT_EQ(ops()->Fetch(s.h, 20, &block), 0);
    EXPECT_EQ(block.rowsUsed, 12);
    RB_Free(&block);
    int32_t count = 0;
    int16_t len = 0;
    ASSERT_EQ(ops()->GetInfo(s.h, DrvInt(DRV_STMT_ROW_COUNT), &count, 4, &len), 0);
    EXPECT_EQ(count, -1);  // the back end's own answer
}

// A fetch is served with the options it hands and asks the back end for
// none; where the rowset starts comes back with it.  A cursor type the
// analysis replaced with static in the back end stays static while the
// statement still hands the type it asked for: whether the analysis ran at
// the prepare or, for a type set after a forward-only prepare (which only a
// caller without the Driver Manager can do), at the execute.
void servedWithHandedOptions(bool typeSetAfterPrepare)
{
    Statement s(typeSetAfterPrepare ? SCS_FORWARD_ONLY : SCS_KEYSET, SCS_READ_ONLY, 1);
    ASSERT_EQ(ops()->Prepare(s.h, "SELECT a FROM t"), 0);
    if (typeSetAfterPrepare) {
        int32_t keyset = SCS_KEYSET;
        ASSERT_EQ(ops()->SetOption(s.h, DrvInt(DrvStmtOption(SQL_CURSOR_TYPE)), &keyset), 0);
    }
    ASSERT_EQ(ops()->Execute(s.h), 0);
    ASSERT_EQ(s.back().cursorType, SCS_STATIC) << "no keys: served static";
    CursorOptions handed{};
    CUR_OptionsInit(&handed);
    handed.cursorType = SCS_KEYSET;
    handed.rowsetSize = 5;
    struct Case {
        int row;
        std::vector<int> values;
        int32_t firstRow;
    } cases[] = {{1, {1, 2, 3, 4, 5}, 1}, {0, {8, 9, 10, 11, 12}, 8}, {-3, {10, 11, 12}, 10}, {4, {4, 5, 6, 7, 8}, 4}};
    const int asks = fake.optionAsks;
    for (const Case &c : cases) {
        RowsetCache *rs = nullptr;
        int rows = 0, count = 0;
        ASSERT_EQ(ops()->ScrollFetch(s.h, &handed, &rs, c.row, &rows, &count, SQL_FETCH_ABSOLUTE), 0) << c.row;
        std::vector<int> got;
        for (int32_t i = 0; i < rs->block->rowsUsed; ++i) {
            int32_t x;
            memcpy(&x, rs->block->columns[0].data + i * 4, 4);
            got.push_back(x);
        }
        EXPECT_EQ(got, c.values) << c.row;
        EXPECT_EQ(rs->firstRow, c.firstRow) << c.row;
        EXPECT_EQ(count, 12);
        RS_Free(&rs);
    }
    EXPECT_EQ(fake.optionAsks, asks) << "the options came with the fetch";
    EXPECT_EQ(scs_p_CursorType(s.ctx()), SCS_STATIC);
    EXPECT_EQ(s.ctx()->opts.rowsetSize, 5);
}

TEST(CursorOptions, AFetchIsServedWithTheOptionsItHands)
{
    {
        SCOPED_TRACE("analysed at the prepare");
        servedWithHandedOptions(false);
    }
    {
        SCOPED_TRACE("analysed at the execute");
        servedWithHandedOptions(true);
    }
}

TEST(CursorCatalog, CatalogResultIsStaticAndTheCursorTypeStays)
{
    Statement s(1, 4, 2);
    CatalogArgs args{};
    ASSERT_EQ(ops()->DDColumns(s.h, &args), 0);
    {
        Rowset r(s.h, 2);
        ASSERT_EQ(r.rc, 0);
        EXPECT_EQ(r.count, 3);
        EXPECT_EQ(r.rows, 2);
    }
    // The statement's own cursor type and concurrency are untouched.
    EXPECT_EQ(s.back().cursorType, 1);
    EXPECT_EQ(s.back().concurrency, 4);
    EXPECT_EQ(scs_p_CursorType(s.ctx()), 3);
    // The next statement runs with them again.
    ASSERT_EQ(ops()->Prepare(s.h, "INSERT INTO t VALUES (1)"), 0);
    EXPECT_EQ(scs_p_CursorType(s.ctx()), 1);
    EXPECT_EQ(s.back().cursorType, 1);
}

TEST(CursorOverlay, ConnectParametersRegisteredPerEnvironment)
{
    const int env = 77;
    std::string user = "alice";
    DrvConnectParams p{};
    p.user = user.c_str();
    p.password = "";
    int conns[3] = {};
    for (int &c : conns)
        ASSERT_EQ(ops()->Connect(env, &p, &c), 0);
    EXPECT_EQ(scs_p_RegisteredConnections(env), 3);
    DrvConnectParams kept{};
    ASSERT_EQ(scs_p_ConnParamsFind(conns[1], &kept), 0);
    EXPECT_STREQ(kept.user, "alice");
    EXPECT_NE(kept.user, user.c_str());
    EXPECT_EQ(kept.dsn, nullptr);
    EXPECT_NE(scs_p_KeyColCache(conns[1]), nullptr);
    // Closed in any order, nothing of a closed connection stays behind.
    for (int i : {1, 2, 0}) {
        EXPECT_EQ(ops()->Disconnect(conns[i]), 0);
        EXPECT_EQ(scs_p_ConnParamsFind(conns[i], nullptr), ERR_INVALID_ARGUMENT);
        EXPECT_EQ(scs_p_KeyColCache(conns[i]), nullptr);
    }
    EXPECT_EQ(scs_p_RegisteredConnections(env), 0);
    // A connection the registry never knew still disconnects.
    EXPECT_EQ(ops()->Disconnect(0x0BBBFFFF), 0);
}

TEST(CursorOverlay, UnknownHandlesAndEmptySlots)
{
    EXPECT_EQ(ops()->FreeStmt(12345), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(ops()->Prepare(12345, "SELECT 1"), ERR_INVALID_ARGUMENT);
    RowsetCache *rs = nullptr;
    int rows = 0, count = 0;
    EXPECT_EQ(ops()->ScrollFetch(12345, nullptr, &rs, 1, &rows, &count, 1), ERR_INVALID_ARGUMENT);
    // Slots the back end leaves empty stay empty.
    EXPECT_EQ(ops()->DDProcedures, nullptr);
    EXPECT_NE(ops()->ScrollFetch, nullptr);
    // A second binding gets the same overlay.
    DrvBinding again{DRVB_THREAD_SAFE, &fakeTable};
    SCS_Install(&again);
    EXPECT_EQ(again.ops, ops());
}

} // namespace

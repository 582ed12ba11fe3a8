// Key columns of a cursor's FROM tables over a scripted back end: the
// catalog sources asked in turn, the key chosen from their answers, the
// schema a table is looked up in, and the per-connection cache.
#include <gtest/gtest.h>

#include "odbc/contract/catalog_args.h"
#include "odbc/contract/drv_items.h"
#include "odbc/contract/err_report.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/rowblock.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_install.h"
#include "util/dynarray.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// ---- a scripted catalog ----

struct Cell {
    enum Kind { NUL, TEXT, SHORT, LONG } kind = NUL;
    std::string text;
    int32_t n = 0;
};
Cell T(const std::string &s) { return Cell{Cell::TEXT, s, 0}; }
Cell S(int32_t v) { return Cell{Cell::SHORT, "", v}; }
Cell L(int32_t v) { return Cell{Cell::LONG, "", v}; }
const Cell N{};

using Row = std::map<int, Cell>;  // column index -> value; missing columns are NULL
struct Result {
    std::vector<Cell::Kind> layout;
    std::vector<Row> rows;
};

const std::vector<Cell::Kind> kColumnsLayout = {Cell::TEXT, Cell::TEXT, Cell::TEXT, Cell::TEXT, Cell::SHORT,
                                                Cell::TEXT, Cell::LONG, Cell::LONG, Cell::SHORT, Cell::SHORT,
                                                Cell::SHORT, Cell::TEXT};
const std::vector<Cell::Kind> kSpecialLayout = {Cell::SHORT, Cell::TEXT, Cell::SHORT, Cell::TEXT,
                                                Cell::LONG,  Cell::LONG, Cell::SHORT, Cell::SHORT};
const std::vector<Cell::Kind> kStatsLayout = {Cell::TEXT,  Cell::TEXT, Cell::TEXT, Cell::SHORT, Cell::TEXT,
                                              Cell::TEXT,  Cell::SHORT, Cell::SHORT, Cell::TEXT, Cell::TEXT,
                                              Cell::LONG,  Cell::LONG, Cell::TEXT};
const std::vector<Cell::Kind> kPkLayout = {Cell::TEXT, Cell::TEXT, Cell::TEXT, Cell::TEXT, Cell::SHORT, Cell::TEXT};

// What the catalog knows of one table.
struct TableScript {
    std::vector<Row> columns, special, statistics, primaryKey;
};

Row col(const std::string &name, int16_t nullable, int16_t type = SQL_INTEGER, int32_t size = 10)
{
    return {{3, T(name)}, {4, S(type)}, {6, L(size)}, {8, type == SQL_NUMERIC ? S(2) : N}, {10, S(nullable)}};
}
Row best(const std::string &name, int16_t type = SQL_INTEGER, int16_t pseudo = SQL_PC_NOT_PSEUDO)
{
    return {{1, T(name)}, {2, S(type)}, {4, L(10)}, {7, S(pseudo)}};
}
Row idx(const std::string &index, int16_t ordinal, const std::string &column, const char *filter = nullptr,
        int16_t nonUnique = 0)
{
    Row r{{3, S(nonUnique)}, {5, T(index)}, {6, S(SQL_INDEX_OTHER)}, {7, S(ordinal)}, {8, T(column)}};
    if (filter)
        r[12] = T(filter);
    return r;
}
Row pk(const std::string &name, int16_t seq) { return {{3, T(name)}, {4, S(seq)}}; }

struct Call {
    std::string op, catalog, schema, table;
    uint16_t options;
    int16_t flags[3];
};

struct Fake {
    std::map<std::string, TableScript> tables;  // "schema.table"
    std::string sessionSchema = "public";
    std::map<int, Result> results;              // open result per statement
    std::map<int, size_t> next;
    std::vector<Call> calls;
    std::string failOp;                          // this catalog operation fails
    int nextHandle = 0x0DDD0001;
} fake;

int fGetInfo(int, int, void *, int16_t, int16_t *) { return ERR_NOT_CAPABLE; }
int fSetOption(int, int, void *) { return 0; }
int fGetErrors(int, ErrReport *out)
{
    *out = ErrReport{};
    return 0;
}
int fAllocStmt(int, int *out)
{
    *out = fake.nextHandle++;
    return 0;
}
int fFreeStmt(int) { return 0; }
int fConnect(int, DrvConnectParams *, int *out)
{
    static int next = 0x0EEE0001;
    *out = next++;
    return 0;
}
int fDisconnect(int) { return 0; }

int fCloseCursor(int h)
{
    fake.results.erase(h);
    return 0;
}

int fFetch(int h, uint16_t n, RowBlock *out)
{
    RB_Free(out);
    auto it = fake.results.find(h);
    if (it == fake.results.end())
        return ERR_FUNCTION_SEQUENCE;
    const Result &r = it->second;
    RB_Init(out, static_cast<uint16_t>(r.layout.size()));
    for (size_t c = 0; c < r.layout.size(); ++c) {
        out->columns[c].valueType = r.layout[c] == Cell::TEXT ? VT_NTS : r.layout[c] == Cell::SHORT ? VT_SHORT : VT_LONG;
        out->columns[c].width = r.layout[c] == Cell::TEXT ? 64 : 4;
    }
    out->columnsUsed = static_cast<uint16_t>(r.layout.size());
    RB_AllocRows(out, n);
    out->rowsUsed = 0;
    size_t &at = fake.next[h];
    for (; at < r.rows.size() && out->rowsUsed < n; ++at, ++out->rowsUsed) {
        const int32_t row = out->rowsUsed;
        for (size_t c = 0; c < r.layout.size(); ++c) {
            RowBlockColumn &dst = out->columns[c];
            auto cell = r.rows[at].find(static_cast<int>(c));
            if (cell == r.rows[at].end() || cell->second.kind == Cell::NUL) {
                dst.indicators[row] = RB_IND_NULL;
                continue;
            }
            uint8_t *p = dst.data + static_cast<size_t>(row) * dst.width;
            if (r.layout[c] == Cell::TEXT) {
                strncpy(reinterpret_cast<char *>(p), cell->second.text.c_str(), 63);
            } else if (r.layout[c] == Cell::SHORT) {
                const int16_t v = static_cast<int16_t>(cell->second.n);
                memcpy(p, &v, 2);
            } else {
                memcpy(p, &cell->second.n, 4);
            }
            dst.indicators[row] = RB_IND_VALUE;
        }
    }
    return 0;
}

int open(int h, const char *op, CatalogArgs *a, const std::vector<Cell::Kind> &layout,
         std::vector<Row> TableScript::*part)
{
    auto text = [&](int i) { return std::string(a->text[i] ? a->text[i] : ""); };
    fake.calls.push_back(Call{op, text(CA_CATALOG), text(CA_SCHEMA), text(CA_OBJECT), a->options,
                              {a->flags[0], a->flags[1], a->flags[2]}});
    if (fake.failOp == op)
        return ERR_COMMUNICATION_LINK;
    Result r{layout, {}};
    auto t = fake.tables.find(text(CA_SCHEMA) + "." + text(CA_OBJECT));
    if (t != fake.tables.end())
        r.rows = t->second.*part;
    fake.results[h] = r;
    fake.next[h] = 0;
    return 0;
}
int fDDColumns(int h, CatalogArgs *a) { return open(h, "Columns", a, kColumnsLayout, &TableScript::columns); }
int fDDSpecial(int h, CatalogArgs *a) { return open(h, "Special", a, kSpecialLayout, &TableScript::special); }
int fDDStats(int h, CatalogArgs *a) { return open(h, "Statistics", a, kStatsLayout, &TableScript::statistics); }
int fDDPKeys(int h, CatalogArgs *a) { return open(h, "PrimaryKeys", a, kPkLayout, &TableScript::primaryKey); }

int fExecDirect(int h, const char *sql, RowBlock *, int16_t, const ParamTypeDesc *)
{
    fake.calls.push_back(Call{"ExecDirect", "", "", sql ? sql : "", 0, {0, 0, 0}});
    fake.results[h] = Result{{Cell::TEXT}, {{{0, T(fake.sessionSchema)}}}};
    fake.next[h] = 0;
    return 0;
}

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
    t.Fetch = fFetch;
    t.CloseCursor = fCloseCursor;
    t.DDColumns = fDDColumns;
    t.DDSpecialColumns = fDDSpecial;
    t.DDStatistics = fDDStats;
    t.DDPrimaryKeys = fDDPKeys;
    t.ExecDirect = fExecDirect;
    return t;
}

DrvOpTable fakeTable = makeTable();

const DrvOpTable *ops()
{
    static DrvBinding binding = [] {
        DrvBinding b{DRVB_THREAD_SAFE, &fakeTable};
        SCS_Install(&b);
        return b;
    }();
    return binding.ops;
}

// A connection of the overlay (with its key-column cache) and a statement
// on it whose context asks the catalog on its own auxiliary handle.
struct Conn {
    int h = 0;
    Conn() { EXPECT_EQ(ops()->Connect(1, nullptr, &h), 0); }
    ~Conn() { ops()->Disconnect(h); }
};

struct Stmt {
    int h = 0;
    ScsContext *ctx = nullptr;
    explicit Stmt(const Conn &c)
    {
        EXPECT_EQ(ops()->AllocStmt(c.h, &h), 0);
        ctx = scs_p_CtxFind(h);
        EXPECT_NE(ctx, nullptr);
        int aux = 0;
        fAllocStmt(0, &aux);
        ctx->posStmt = static_cast<uint32_t>(aux);
        ctx->identQuote = '"';
    }
    ~Stmt() { ops()->FreeStmt(h); }
};

// FROM tables as the analyser hands them over.
struct Tables {
    DynArray *a = DA_New(sizeof(ScrTableRef));
    void add(const char *owner, const char *table, const char *alias = nullptr)
    {
        ScrTableRef r{nullptr, owner ? strdup(owner) : nullptr, strdup(table), alias ? strdup(alias) : nullptr};
        DA_Append(a, &r);
    }
    ~Tables() { DA_Free(&a, SCR_TableRefFree); }
};

std::vector<std::string> keyNames(const ScsContext *ctx)
{
    std::vector<std::string> out;
    for (uint32_t i = 0; ctx->keyCols && i < ctx->keyCols->count; ++i)
        out.push_back(static_cast<const ScrColumnRef *>(ctx->keyCols->elements)[i].column);
    return out;
}

std::vector<std::string> catalogOps()
{
    std::vector<std::string> out;
    for (const Call &c : fake.calls)
        if (c.op != "ExecDirect")
            out.push_back(c.op);
    return out;
}

void reset()
{
    ops();
    fake.tables.clear();
    fake.calls.clear();
    fake.failOp.clear();
    fake.sessionSchema = "public";
}

// ---- catalog answers -> chosen key ----

struct ChoiceCase {
    const char *what;
    TableScript script;
    int rc;
    std::vector<std::string> keys;
    std::vector<std::string> asked;  // catalog operations, in order
};

TEST(KeyColumns, ChosenFromTheFirstSourceThatServes)
{
    const std::vector<Row> idAb = {col("id", SQL_NO_NULLS), col("a", SQL_NO_NULLS), col("b", SQL_NO_NULLS),
                                   col("n", SQL_NULLABLE)};
    const ChoiceCase cases[] = {
        {"best row identifier (primary key)",
         {idAb, {best("id")}, {idx("t_pkey", 1, "id")}, {pk("id", 1)}},
         0, {"\"id\""}, {"Columns", "Special"}},
        {"unique index when no best row identifier",
         {idAb, {}, {idx("t_a", 1, "a")}, {}},
         0, {"\"a\""}, {"Columns", "Special", "Statistics"}},
        {"only the first usable unique index counts",
         {idAb, {}, {idx("t_ab", 1, "a"), idx("t_ab", 2, "b"), idx("t_id", 1, "id")}, {}},
         0, {"\"a\"", "\"b\""}, {"Columns", "Special", "Statistics"}},
        {"a partial unique index is passed over",
         {idAb, {}, {idx("t_part", 1, "id", "(n > 0)"), idx("t_b", 1, "b")}, {}},
         0, {"\"b\""}, {"Columns", "Special", "Statistics"}},
        {"an expression index is passed over for the primary key",
         {idAb, {}, {idx("t_expr", 1, "lower((a)::text)")}, {pk("b", 2), pk("a", 1)}},
         0, {"\"a\"", "\"b\""}, {"Columns", "Special", "Statistics", "PrimaryKeys"}},
        {"a unique index over a nullable column is no key",
         {idAb, {}, {idx("t_n", 1, "n")}, {}},
         ERR_NO_KEY_COLUMNS, {}, {"Columns", "Special", "Statistics", "PrimaryKeys"}},
        {"a best row identifier with a nullable column is no key",
         {idAb, {best("n")}, {idx("t_id", 1, "id")}, {}},
         0, {"\"id\""}, {"Columns", "Special", "Statistics"}},
        {"a table without any key",
         {idAb, {}, {}, {}},
         ERR_NO_KEY_COLUMNS, {}, {"Columns", "Special", "Statistics", "PrimaryKeys"}},
    };
    for (const ChoiceCase &c : cases) {
        SCOPED_TRACE(c.what);
        reset();
        fake.tables["public.t"] = c.script;
        Conn conn;
        Stmt st(conn);
        Tables from;
        from.add(nullptr, "t");
        EXPECT_EQ(KS_GetKeyColDescs(st.ctx, from.a), c.rc);
        if (c.rc == 0) {
            EXPECT_EQ(keyNames(st.ctx), c.keys);
        }
        EXPECT_EQ(catalogOps(), c.asked);
    }
}

TEST(KeyColumns, KeysCarryTheirTableTypesAndCatalogOptions)
{
    reset();
    fake.tables["public.t"] = {{col("id", SQL_NO_NULLS, SQL_NUMERIC, 12)}, {}, {idx("t_id", 1, "id")}, {}};
    fake.tables["public.u"] = {{col("k", SQL_NO_NULLS)}, {best("k", SQL_INTEGER)}, {}, {}};
    Conn conn;
    Stmt st(conn);
    Tables from;
    from.add(nullptr, "t", "x");
    from.add(nullptr, "u");
    ASSERT_EQ(KS_GetKeyColDescs(st.ctx, from.a), 0);
    ASSERT_EQ(keyNames(st.ctx), (std::vector<std::string>{"\"id\"", "\"k\""}));
    const auto *k = static_cast<const ScrColumnRef *>(st.ctx->keyCols->elements);
    EXPECT_STREQ(k[0].table, "t");
    EXPECT_STREQ(k[0].alias, "x");
    EXPECT_EQ(k[0].sqlType, SQL_NUMERIC);
    EXPECT_EQ(k[0].columnSize, 12);
    EXPECT_EQ(k[0].decimalDigits, 2);
    EXPECT_STREQ(k[1].table, "u");
    EXPECT_EQ(k[1].sqlType, SQL_INTEGER);
    EXPECT_EQ(st.ctx->keyTableCount, 2);
    for (const Call &c : fake.calls) {
        if (c.op == "Special") {
            EXPECT_EQ(c.flags[0], SQL_BEST_ROWID);
            EXPECT_EQ(c.flags[1], SQL_SCOPE_CURROW);
            EXPECT_EQ(c.flags[2], SQL_NO_NULLS);
        } else if (c.op == "Statistics") {
            EXPECT_EQ(c.flags[0], SQL_INDEX_UNIQUE);
            EXPECT_EQ(c.flags[1], SQL_ENSURE);
        }
    }
}

// ---- where a table is looked up ----

TEST(KeyColumns, TablesAreLookedUpInTheirOwnSchemaOrTheSessions)
{
    struct Case {
        const char *owner, *table, *session;
        const char *schema, *name;  // as the catalog is asked
        bool asksSession;
    } cases[] = {
        {nullptr, "t_1", "app_%x", "app_%x", "t_1", true},
        {"sales", "Orders", "public", "sales", "orders", false},
        {"\"My_S%\"", "\"T_x\"", "public", "My_S%", "T_x", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.table);
        reset();
        fake.sessionSchema = c.session;
        fake.tables[std::string(c.schema) + "." + c.name] = {{col("id", SQL_NO_NULLS)}, {best("id")}, {}, {}};
        Conn conn;
        Stmt st(conn);
        Tables from;
        from.add(c.owner, c.table);
        ASSERT_EQ(KS_GetKeyColDescs(st.ctx, from.a), 0);
        bool askedSession = false;
        for (const Call &call : fake.calls) {
            if (call.op == "ExecDirect") {
                askedSession = true;
                continue;
            }
            EXPECT_EQ(call.schema, c.schema) << call.op << ": never every schema";
            EXPECT_EQ(call.table, c.name) << call.op;
            // The pattern arguments of the column look-up are escaped by
            // the back end: the names go as identifiers.
            EXPECT_EQ(call.options, call.op == "Columns" ? CA_IDENTIFIERS : 0) << call.op;
        }
        EXPECT_EQ(askedSession, c.asksSession);
    }
}

// ---- the per-connection cache ----

TEST(KeyColumns, ASecondLookupOnTheConnectionAsksNoCatalog)
{
    reset();
    fake.tables["public.t"] = {{col("id", SQL_NO_NULLS)}, {}, {}, {pk("id", 1)}};
    Conn conn;
    Tables from;
    from.add(nullptr, "t");
    {
        Stmt st(conn);
        ASSERT_EQ(KS_GetKeyColDescs(st.ctx, from.a), 0);
    }
    fake.calls.clear();
    {
        Stmt st(conn);
        ASSERT_EQ(KS_GetKeyColDescs(st.ctx, from.a), 0);
        EXPECT_EQ(keyNames(st.ctx), (std::vector<std::string>{"\"id\""}));
        EXPECT_TRUE(fake.calls.empty());
    }
    // Another connection keeps its own cache.
    Conn other;
    Stmt st(other);
    ASSERT_EQ(KS_GetKeyColDescs(st.ctx, from.a), 0);
    EXPECT_FALSE(catalogOps().empty());
}

TEST(KeyColumns, FailuresAndMissingKeysAreNotCached)
{
    reset();
    fake.tables["public.t"] = {{col("id", SQL_NO_NULLS)}, {}, {idx("t_id", 1, "id")}, {}};
    Conn conn;
    Tables from;
    from.add(nullptr, "t");
    {
        fake.failOp = "Statistics";
        Stmt st(conn);
        EXPECT_EQ(KS_GetKeyColDescs(st.ctx, from.a), ERR_COMMUNICATION_LINK);
    }
    fake.failOp.clear();
    fake.calls.clear();
    {
        Stmt st(conn);
        EXPECT_EQ(KS_GetKeyColDescs(st.ctx, from.a), 0);
        EXPECT_EQ(keyNames(st.ctx), (std::vector<std::string>{"\"id\""}));
        EXPECT_FALSE(catalogOps().empty()) << "the failed look-up left nothing in the cache";
    }
    // One table without a key fails the whole list, and is asked again.
    Tables two;
    two.add(nullptr, "t");
    two.add(nullptr, "nokey");
    for (int round = 0; round < 2; ++round) {
        fake.calls.clear();
        Stmt st(conn);
        EXPECT_EQ(KS_GetKeyColDescs(st.ctx, two.a), ERR_NO_KEY_COLUMNS);
        EXPECT_FALSE(catalogOps().empty());
    }
}

TEST(KeyColumns, RefusesMissingArguments)
{
    reset();
    Conn conn;
    Stmt st(conn);
    EXPECT_EQ(KS_GetKeyColDescs(st.ctx, nullptr), ERR_GENERAL);
    Tables from;
    EXPECT_EQ(KS_GetKeyColDescs(nullptr, from.a), ERR_GENERAL);
}

}  // namespace

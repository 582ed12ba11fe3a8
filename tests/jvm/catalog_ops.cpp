// Catalog operations at the operation-table level against the PostgreSQL
// fixture: the enumeration forms of Tables, the fixed layouts, the row
// patches of the fetch, identifier arguments, the table-type list and the
// type-information cache.
#include "drv_jdbc/j-catalog.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-typeinfo.h"
#include "drv_jdbc/j-wrap-catalog.h"
#include "odbc/contract/catalog_args.h"
#include "odbc/contract/rb_ops.h"
#include "util/hash.h"
#include "tests/jvm/stmt_support.h"

#include <map>

namespace {

constexpr char kSchema[] = R"SQL(
drop schema if exists krs_cat_a cascade;
drop schema if exists krs_cat_b cascade;
create schema krs_cat_a;
create schema krs_cat_b;
create table krs_cat_a.a_b (id int primary key, v text);
create table krs_cat_a.axb (id int primary key, w text);
create table krs_cat_a."MixedCase" ("Id" int primary key, "someCol" varchar(20) not null,
                                    d date, t time, ts timestamp, n numeric(10,2));
create table krs_cat_b.child (cid serial primary key,
                              aid int references krs_cat_a.a_b(id) on delete cascade,
                              u varchar(10) unique);
create view krs_cat_a.v_ab as select id, v from krs_cat_a.a_b;
create function krs_cat_a.f_out(in x int, out y int, out z text)
  as $$ select x + 1, 'z'::text $$ language sql;
create function krs_cat_a.f_ret(a int, b text) returns int as $$ select 1 $$ language sql;
create procedure krs_cat_a.p_one(inout q int) language sql as $$ select 1 $$;
)SQL";

// Catalog arguments over owned texts.
struct Args {
    std::string store[CA_TEXTS];
    CatalogArgs rec{};
    Args(std::initializer_list<const char *> texts, std::initializer_list<int16_t> flags = {},
         uint16_t options = 0)
    {
        int i = 0;
        for (const char *t : texts) {
            if (t) {
                store[i] = t;
                rec.text[i] = store[i].data();
            }
            ++i;
        }
        int k = 0;
        for (int16_t f : flags)
            rec.flags[k++] = f;
        rec.options = options;
    }
    CatalogArgs *operator&() { return &rec; }
};

class Catalog : public StmtTest {
protected:
    void SetUp() override
    {
        StmtTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        static bool made = false;
        if (!made) {
            std::string out = psql(kSchema);
            ASSERT_EQ(out.find("ERROR"), std::string::npos) << out;
            made = true;
        }
    }

    // Every row of the open result, cells as text ("<null>" for NULL).
    std::vector<std::vector<std::string>> rows(int h)
    {
        std::vector<std::vector<std::string>> all;
        for (;;) {
            RowBlock b = fetch(h, 50);
            if (b.columnsUsed == 0) {
                RB_Free(&b);
                return all;
            }
            for (int32_t r = 0; r < b.rowsUsed; ++r) {
                std::vector<std::string> row;
                for (int c = 0; c < b.columnsUsed; ++c)
                    row.push_back(cellText(b, c, r));
                all.push_back(row);
            }
            RB_Free(&b);
        }
    }

    static std::string cellText(const RowBlock &b, int c, int32_t r)
    {
        if (indOf(&b, c, r) == RB_IND_NULL)
            return "<null>";
        switch (b.columns[c].valueType) {
        case VT_SHORT: return std::to_string(getCell<int16_t>(&b, c, r));
        case VT_LONG: return std::to_string(getCell<int32_t>(&b, c, r));
        case VT_BIT: return std::to_string(*cellOf(&b, c, r));
        default: return textOf(&b, c, r);
        }
    }

    std::vector<ColDesc> descs(int h)
    {
        uint16_t n = 0;
        ColDesc *copy = nullptr;
        EXPECT_EQ(stmtOps().GetColDescs(h, &n, &copy), 0);
        std::vector<ColDesc> out(copy, copy + n);
        for (ColDesc &d : out)
            d.label = d.catalog = d.schema = d.table = nullptr;
        CD_Free(copy, n);
        return out;
    }

    void setOdbcVersion(int on, int32_t v)
    {
        ASSERT_EQ(stmtOps().SetOption(on, DrvInt(DRV_CONN_ODBC_VERSION), &v), 0);
    }
};

TEST_F(Catalog, TablesEnumerationForms)
{
    int h = alloc();
    // Catalogs: only TABLE_CAT is read, the other columns stay NULL.
    ASSERT_EQ(stmtOps().DDTables(h, &Args{"%", "", "", ""}), 0) << drainErrors(h);
    auto all = rows(h);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0][0], pg.db);
    for (int c = 1; c < 5; ++c)
        EXPECT_EQ(all[0][c], "<null>");

    // Schemas (a type list may accompany): the schema name lands in column 2.
    ASSERT_EQ(stmtOps().DDTables(h, &Args{"", "%", "", "TABLE"}), 0) << drainErrors(h);
    all = rows(h);
    bool found = false;
    for (auto &r : all) {
        EXPECT_EQ(r[0], "<null>");
        found = found || r[1] == "krs_cat_b";
    }
    EXPECT_TRUE(found);

    // Table types: column 4.
    ASSERT_EQ(stmtOps().DDTables(h, &Args{nullptr, nullptr, nullptr, "%"}), 0) << drainErrors(h);
    all = rows(h);
    std::vector<std::string> types;
    for (auto &r : all)
        types.push_back(r[3]);
    EXPECT_NE(std::find(types.begin(), types.end(), "VIEW"), types.end());
    EXPECT_NE(std::find(types.begin(), types.end(), "TABLE"), types.end());
}

TEST_F(Catalog, TablesByTypeListAndPattern)
{
    int h = alloc();
    struct Case {
        const char *types;
        std::vector<std::string> names;
    } cases[] = {
        {"'table','view'", {"MixedCase", "a_b", "axb", "v_ab"}},
        {"VIEW", {"v_ab"}},
        {nullptr, {"MixedCase", "MixedCase_pkey", "a_b", "a_b_pkey", "axb", "axb_pkey", "v_ab"}},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(stmtOps().DDTables(h, &Args{"", "krs_cat_a", nullptr, c.types}), 0) << drainErrors(h);
        std::vector<std::string> names;
        for (auto &r : rows(h)) {
            EXPECT_EQ(r[1], "krs_cat_a");
            names.push_back(r[2]);
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.names) << (c.types ? c.types : "(null)");
    }
}

TEST_F(Catalog, IdentifierArgumentsAreNotPatterns)
{
    int h = alloc();
    ASSERT_EQ(stmtOps().DDTables(h, &Args{"", "krs_cat_a", "a_b", ""}), 0) << drainErrors(h);
    EXPECT_EQ(rows(h).size(), 2u) << "as a pattern a_b also matches axb";
    ASSERT_EQ(stmtOps().DDTables(h, &Args({"", "krs_cat_a", "a_b", ""}, {}, CA_IDENTIFIERS)), 0) << drainErrors(h);
    auto all = rows(h);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0][2], "a_b");
    ASSERT_EQ(stmtOps().DDColumns(h, &Args({"", "krs_cat_a", "a_b", "%"}, {}, CA_IDENTIFIERS)), 0)
        << drainErrors(h);
    EXPECT_EQ(rows(h).size(), 0u) << "the column text % names no column";
    ASSERT_EQ(stmtOps().DDColumns(h, &Args({"", "krs_cat_a", "a_b", "v"}, {}, CA_IDENTIFIERS)), 0) << drainErrors(h);
    EXPECT_EQ(rows(h).size(), 1u);
}

TEST_F(Catalog, LayoutsFollowOdbc)
{
    struct Case {
        const char *what;
        int kind;
        std::vector<const char *> names;
    } cases[] = {
        {"tables", 3, {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE", "REMARKS"}},
        {"columns", 6, {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME",
                        "COLUMN_SIZE", "BUFFER_LENGTH", "DECIMAL_DIGITS", "NUM_PREC_RADIX", "NULLABLE", "REMARKS",
                        "COLUMN_DEF", "SQL_DATA_TYPE", "SQL_DATETIME_SUB", "CHAR_OCTET_LENGTH", "ORDINAL_POSITION",
                        "IS_NULLABLE"}},
        {"statistics", 4, {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "NON_UNIQUE", "INDEX_QUALIFIER", "INDEX_NAME",
                           "TYPE", "ORDINAL_POSITION", "COLUMN_NAME", "ASC_OR_DESC", "CARDINALITY", "PAGES",
                           "FILTER_CONDITION"}},
        {"procedures", 5, {"PROCEDURE_CAT", "PROCEDURE_SCHEM", "PROCEDURE_NAME", "NUM_INPUT_PARAMS",
                           "NUM_OUTPUT_PARAMS", "NUM_RESULT_SETS", "REMARKS", "PROCEDURE_TYPE"}},
    };
    int h = alloc();
    for (const Case &c : cases) {
        int rc = c.kind == 3   ? stmtOps().DDTables(h, &Args{"", "krs_cat_a", "a_b", ""})
                 : c.kind == 6 ? stmtOps().DDColumns(h, &Args{"", "krs_cat_a", "a_b", "%"})
                 : c.kind == 4 ? stmtOps().DDStatistics(h, &Args({"", "krs_cat_a", "a_b"}, {1, 1}))
                               : stmtOps().DDProcedures(h, &Args{"", "krs_cat_a", "%"});
        ASSERT_EQ(rc, 0) << c.what << drainErrors(h);
        auto d = descs(h);
        ASSERT_EQ(d.size(), c.names.size()) << c.what;
        for (size_t i = 0; i < d.size(); ++i)
            EXPECT_STREQ(d[i].name, c.names[i]) << c.what << " column " << i + 1;
    }
    // Procedures: NUM_RESULT_SETS is a nullable SMALLINT of size 5.
    auto d = descs(h);
    EXPECT_EQ(d[5].sqlType, 5);
    EXPECT_EQ(d[5].columnSize, 5u);
    EXPECT_EQ(d[5].attrFlags & CD_NULLABLE_MASK, 1u);
}

TEST_F(Catalog, WideModeDescribesWideText)
{
    int wide = openExtra(1);
    int h = alloc(wide);
    ASSERT_EQ(stmtOps().DDStatistics(h, &Args({"", "krs_cat_b", "child"}, {1, 1})), 0) << drainErrors(h);
    auto d = descs(h);
    EXPECT_EQ(d[2].sqlType, -9);
    EXPECT_EQ(d[2].columnSize, 128u);
    EXPECT_EQ(d[9].sqlType, 12) << "ASC_OR_DESC stays narrow";
    EXPECT_EQ(d[9].columnSize, 1u);
    EXPECT_EQ(d[3].sqlType, 5);
    EXPECT_EQ(d[3].valueType, VT_BIT) << "pgjdbc's NON_UNIQUE is BOOLEAN";
    auto all = rows(h);
    ASSERT_GE(all.size(), 2u);
    std::map<std::string, std::string> nonUnique;
    for (auto &r : all)
        nonUnique[r[5]] = r[3];
    EXPECT_EQ(nonUnique["child_pkey"], "0");
    EXPECT_EQ(nonUnique["child_u_key"], "0");
}

TEST_F(Catalog, ColumnsFillWhatOdbcNeverLeavesNull)
{
    int h = alloc();
    ASSERT_EQ(stmtOps().DDColumns(h, &Args{"", "krs_cat_a", "MixedCase", nullptr}), 0) << drainErrors(h);
    auto all = rows(h);
    ASSERT_EQ(all.size(), 6u);
    struct Want {
        const char *name, *dataType, *sqlDataType, *sub, *ordinal, *nullable;
    } want[] = {
        {"Id", "4", "4", "<null>", "1", "NO"},           {"someCol", "12", "12", "<null>", "2", "NO"},
        {"d", "9", "9", "1", "3", "YES"},                {"t", "10", "9", "2", "4", "YES"},
        {"ts", "11", "9", "3", "5", "YES"},              {"n", "2", "2", "<null>", "6", "YES"},
    };
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i][3], want[i].name);
        EXPECT_EQ(all[i][4], want[i].dataType) << want[i].name;
        EXPECT_EQ(all[i][13], want[i].sqlDataType) << want[i].name;
        EXPECT_EQ(all[i][14], want[i].sub) << want[i].name;
        EXPECT_EQ(all[i][16], want[i].ordinal) << want[i].name;
        EXPECT_EQ(all[i][17], want[i].nullable) << want[i].name;
    }
    // An ODBC 3 application gets the ODBC 3 date and time codes.
    setOdbcVersion(conn, 3);
    ASSERT_EQ(stmtOps().DDColumns(h, &Args{"", "krs_cat_a", "MixedCase", "ts"}), 0) << drainErrors(h);
    all = rows(h);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0][4], "93");
    EXPECT_EQ(all[0][13], "9");
    EXPECT_EQ(all[0][14], "3");
}

TEST_F(Catalog, KeysAndSpecialColumns)
{
    int h = alloc();
    ASSERT_EQ(stmtOps().DDPrimaryKeys(h, &Args{"", "krs_cat_a", "MixedCase"}), 0) << drainErrors(h);
    auto all = rows(h);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0][3], "Id");
    EXPECT_EQ(all[0][4], "1");

    // Imported (foreign-key table only), exported (primary-key table only), both.
    const Args forms[] = {
        Args{"", "", "", "", "krs_cat_b", "child"},
        Args{"", "krs_cat_a", "a_b", "", "", ""},
        Args{"", "krs_cat_a", "a_b", "", "krs_cat_b", "child"},
    };
    for (const Args &f : forms) {
        Args a = f;
        for (int i = 0; i < CA_TEXTS; ++i)
            a.rec.text[i] = a.store[i].data();
        ASSERT_EQ(stmtOps().DDForeignKeys(h, &a), 0) << drainErrors(h);
        all = rows(h);
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0][2], "a_b");
        EXPECT_EQ(all[0][3], "id");
        EXPECT_EQ(all[0][6], "child");
        EXPECT_EQ(all[0][7], "aid");
        EXPECT_EQ(all[0][8], "1");
        EXPECT_EQ(all[0][10], "0") << "ON DELETE CASCADE";
    }

    ASSERT_EQ(stmtOps().DDSpecialColumns(h, &Args({"", "krs_cat_a", "a_b"}, {1, 0, 1})), 0) << drainErrors(h);
    all = rows(h);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0][1], "id");
    EXPECT_EQ(all[0][2], "4");
    // Row versions: pgjdbc's ctid has no JDBC type of its own, delivered as 0.
    ASSERT_EQ(stmtOps().DDSpecialColumns(h, &Args({"", "krs_cat_a", "a_b"}, {2, 0, 0})), 0) << drainErrors(h);
    all = rows(h);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0][1], "ctid");
    EXPECT_EQ(all[0][2], "0");
}

TEST_F(Catalog, ProcedureColumnsMadeForOdbc3)
{
    struct Want {
        const char *proc, *col, *type, *ordinal, *sqlDataType;
    } want[] = {
        {"f_out", "x", "1", "1", "4"},           {"f_out", "y", "4", "2", "4"}, {"f_out", "z", "4", "3", "12"},
        {"f_ret", "returnValue", "5", "0", "4"}, {"f_ret", "a", "1", "1", "4"}, {"f_ret", "b", "1", "2", "12"},
    };
    // Both string modes: the procedure name of a wide cell is compared as text too.
    const int wideConn = openExtra(1);
    for (int on : {conn, wideConn}) {
        SCOPED_TRACE(on == conn ? "narrow" : "wide");
        int h = alloc(on);
        ASSERT_EQ(stmtOps().DDProcedureColumns(h, &Args{"", "krs_cat_a", "f_%", nullptr}), 0) << drainErrors(h);
        auto all = rows(h);
        ASSERT_EQ(all.size(), 6u);
        ASSERT_EQ(all[0].size(), 19u);
        for (size_t i = 0; i < all.size(); ++i) {
            EXPECT_EQ(all[i][2], want[i].proc);
            EXPECT_EQ(all[i][3], want[i].col);
            EXPECT_EQ(all[i][4], want[i].type) << want[i].col;
            EXPECT_EQ(all[i][17], want[i].ordinal) << want[i].col;
            EXPECT_EQ(all[i][14], want[i].sqlDataType) << want[i].col;
            EXPECT_EQ(all[i][13], "<null>");
            EXPECT_EQ(all[i][16], "<null>") << "no length known, no octet length made up";
            EXPECT_EQ(all[i][18], "");
        }
    }
    int h = alloc();
    ASSERT_EQ(stmtOps().DDProcedures(h, &Args{"", "krs_cat_a", nullptr}), 0) << drainErrors(h);
    auto all = rows(h);
    ASSERT_EQ(all.size(), 1u) << "pgjdbc lists procedures, not functions";
    EXPECT_EQ(all[0][2], "p_one");
}

TEST_F(Catalog, Privileges)
{
    int h = alloc();
    ASSERT_EQ(stmtOps().DDTablePrivileges(h, &Args{"", "krs_cat_b", "child"}), 0) << drainErrors(h);
    auto all = rows(h);
    ASSERT_FALSE(all.empty());
    for (auto &r : all) {
        EXPECT_EQ(r[2], "child");
        EXPECT_EQ(r[4], pg.trustUser);
        EXPECT_NE(r[5], "<null>");
    }
    ASSERT_EQ(stmtOps().DDColumnPrivileges(h, &Args{"", "krs_cat_b", "child", "u"}), 0) << drainErrors(h);
    all = rows(h);
    ASSERT_FALSE(all.empty());
    for (auto &r : all)
        EXPECT_EQ(r[3], "u");
}

TEST_F(Catalog, TypeInfoFilteredAndFlags)
{
    int h = alloc();
    ASSERT_EQ(stmtOps().DDGetTypeInfo(h, 93), 0) << drainErrors(h);
    auto d = descs(h);
    ASSERT_EQ(d.size(), 19u);
    EXPECT_EQ(d[7].valueType, VT_BIT) << "CASE_SENSITIVE read as a flag";
    EXPECT_EQ(d[7].sqlType, 5);
    auto all = rows(h);
    ASSERT_FALSE(all.empty());
    for (auto &r : all) {
        EXPECT_EQ(r[1], "11");
        EXPECT_EQ(r[15], "9") << "SQL_DATA_TYPE is never NULL";
        EXPECT_EQ(r[16], "3");
        EXPECT_EQ(r[18], "<null>");
    }
    ASSERT_EQ(stmtOps().DDGetTypeInfo(h, 0), 0) << drainErrors(h);
    all = rows(h);
    EXPECT_GT(all.size(), 20u);
    for (auto &r : all) {
        EXPECT_NE(r[0], "<null>");
        EXPECT_NE(r[1], "<null>");
        EXPECT_NE(r[15], "<null>") << r[0];
    }
}

TEST_F(Catalog, ClosingEndsTheCatalogResult)
{
    int h = alloc();
    ASSERT_EQ(stmtOps().DDTables(h, &Args{"%", "", "", ""}), 0);
    DrvStmt *s = drvStmtOf(h);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->catalogKind, CAT_TABLES);
    EXPECT_EQ(s->jdbcColumns, 1);
    ASSERT_EQ(stmtOps().CloseCursor(h), 0);
    EXPECT_EQ(s->catalogKind, 0);
    EXPECT_EQ(s->jdbcColumns, -1);
    EXPECT_EQ(s->redirectCol, -1);
    // An ordinary statement afterwards is described by its own metadata.
    ASSERT_EQ(run(h, "select 1 as one"), 0) << drainErrors(h);
    auto d = descs(h);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_STREQ(d[0].name, "one");
    EXPECT_EQ(stmtOps().DDTables(12345, &Args{"%", "", "", ""}), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(stmtOps().DDColumns(h, nullptr), ERR_INVALID_ARGUMENT);
}

TEST_F(Catalog, TableTypeListItems)
{
    int h = alloc();
    DrvStmt *s = drvStmtOf(h);
    ASSERT_TRUE(drvStmtEnter(s));
    JniLocalFrame frame(s->env, 64);
    struct Case {
        const char *list;
        bool nullArray;
        std::vector<std::string> items;
    } cases[] = {
        {"'TABLE','VIEW'", false, {"TABLE", "VIEW"}},
        {"TABLE, VIEW", false, {"TABLE", " VIEW"}},
        {"'TABLE', 'VIEW'", false, {"TABLE", " 'VIEW"}},
        {"\"A\",B'", false, {"A", "B"}},
        {"TABLE,", false, {"TABLE", ""}},
        {"", true, {}},
    };
    for (const Case &c : cases) {
        std::string copy = c.list;
        jobjectArray array = nullptr;
        ASSERT_EQ(jc_TableTypeArray(s, copy.data(), &array), 0) << c.list;
        if (c.nullArray) {
            EXPECT_EQ(array, nullptr);
            continue;
        }
        ASSERT_NE(array, nullptr);
        std::vector<std::string> items;
        for (jsize i = 0; i < s->env->GetArrayLength(array); ++i) {
            auto e = static_cast<jstring>(s->env->GetObjectArrayElement(array, i));
            char *t = jc_DupString(s->env, e, 0);
            items.push_back(t ? t : "<null>");
            free(t);
            s->env->DeleteLocalRef(e);
        }
        s->env->DeleteLocalRef(array);
        EXPECT_EQ(items, c.items) << c.list;
    }
}

TEST_F(Catalog, TypeNamesComeFromTheColumnsOwnType)
{
    DrvConn *c = static_cast<DrvConn *>(HT_Lookup(&drvConnTable, static_cast<uint32_t>(conn)));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->typeInfo, nullptr) << "connecting reads no type table";
    int h = alloc();
    ASSERT_EQ(run(h, "select 'x'::varchar(5) as a, 'y'::text as b, 1::int4 as c, 'z'::name as d, "
                     "now()::date as e, 2::int8 as f"),
              0)
        << drainErrors(h);
    uint16_t cols = 0;
    int16_t attrs = 0;
    ColDesc *copy = nullptr;
    TypedValue *table = nullptr;
    ASSERT_EQ(stmtOps().ColAttributes(h, &cols, &attrs, &copy, &table), 0) << drainErrors(h);
    std::map<int, std::string> names, prefixes;
    for (int16_t i = 0; i < attrs; ++i) {
        if (table[i].attrId == 14 && table[i].value.text)
            names[table[i].column] = table[i].value.text;
        if (table[i].attrId == 27 && table[i].value.text)
            prefixes[table[i].column] = table[i].value.text;
        TV_FreeValue(&table[i]);
    }
    free(table);
    CD_Free(copy, cols);
    EXPECT_EQ(names[1], "varchar");
    EXPECT_EQ(names[2], "text");
    EXPECT_EQ(names[3], "int4");
    EXPECT_EQ(names[4], "name");
    EXPECT_EQ(names[5], "date");
    EXPECT_EQ(names[6], "int8");
    // The literals come from the type table, which a description does not
    // read for them: without it they are left to the handle layer, which
    // reads the type information when the application asks.
    EXPECT_TRUE(prefixes.empty());
    EXPECT_EQ(c->typeInfo, nullptr) << "a description reads no type table for its literals";
    // A catalog column is named by its layout type, not by the JDBC column there.
    ASSERT_EQ(stmtOps().DDPrimaryKeys(h, &Args{"", "krs_cat_a", "a_b"}), 0) << drainErrors(h);
    ASSERT_EQ(stmtOps().ColAttributes(h, &cols, &attrs, &copy, &table), 0) << drainErrors(h);
    names.clear();
    for (int16_t i = 0; i < attrs; ++i) {
        if (table[i].attrId == 14 && table[i].value.text)
            names[table[i].column] = table[i].value.text;
        TV_FreeValue(&table[i]);
    }
    free(table);
    CD_Free(copy, cols);
    EXPECT_EQ(names[3], "varchar");
    EXPECT_EQ(names[5], "int2");
    // Once the type table was read, the literal texts of a description come
    // from it; the cache keeps each type's usual name.
    ASSERT_NE(typeInfoCacheOf(c), nullptr);
    EXPECT_STREQ(typeInfoName(c->typeInfo, 12), "varchar");
    EXPECT_STREQ(typeInfoName(c->typeInfo, -9), "varchar");
    EXPECT_STREQ(typeInfoName(c->typeInfo, 1), "bpchar");
    EXPECT_STREQ(typeInfoName(c->typeInfo, 93), "timestamp");
    EXPECT_STREQ(typeInfoName(c->typeInfo, 4), "int4");
    EXPECT_STREQ(typeInfoName(c->typeInfo, -1), "text");
    EXPECT_STREQ(typeInfoLiteral(c->typeInfo, 12, 0), "'");
    EXPECT_STREQ(typeInfoLiteral(c->typeInfo, 4, 1), "");
    // What the cache holds is what a description answers.
    const int16_t key = 4;
    auto *e = reinterpret_cast<TypeInfoEntry *>(static_cast<uintptr_t>(HASH_Get(c->typeInfo, &key)));
    ASSERT_NE(e, nullptr);
    strcpy(e->literalPrefix, "<");
    strcpy(e->literalSuffix, ">");
    ASSERT_EQ(run(h, "select 1::int4 as c, 'x'::varchar(3) as v"), 0) << drainErrors(h);
    ASSERT_EQ(stmtOps().ColAttributes(h, &cols, &attrs, &copy, &table), 0) << drainErrors(h);
    std::map<std::pair<int, int>, std::string> literals;
    for (int16_t i = 0; i < attrs; ++i) {
        if ((table[i].attrId == 27 || table[i].attrId == 28) && table[i].value.text)
            literals[{table[i].attrId, table[i].column}] = table[i].value.text;
        TV_FreeValue(&table[i]);
    }
    free(table);
    CD_Free(copy, cols);
    EXPECT_EQ(literals[std::make_pair(27, 1)], "<");
    EXPECT_EQ(literals[std::make_pair(28, 1)], ">");
    EXPECT_EQ(literals[std::make_pair(27, 2)], "'");
}

} // namespace

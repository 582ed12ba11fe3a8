// Catalog functions through unixODBC with both libraries, on a fixture
// schema of their own: two schemas, a table whose name holds '_', mixed-case
// quoted names, a view, primary and foreign keys, a unique index and a
// function with OUT parameters.  Checks the ODBC 3 layouts (names, types,
// order), the key values, and that no column ODBC declares NOT NULL is NULL.
#include "tests/e2e/connect_common.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <utility>
#include <vector>

using namespace conntest;

namespace {

PgEnv g_pg;

constexpr char kSchema[] = R"SQL(
drop schema if exists krs_e2e_cat_a cascade;
drop schema if exists krs_e2e_cat_b cascade;
create schema krs_e2e_cat_a;
create schema krs_e2e_cat_b;
create table krs_e2e_cat_a.a_b (id int primary key, v text);
create table krs_e2e_cat_a.axb (id int primary key, w text);
create table krs_e2e_cat_a."MixedCase" ("Id" int primary key, "someCol" varchar(20) not null,
                                        d date, ts timestamp, n numeric(10,2));
create table krs_e2e_cat_b.child (cid serial primary key,
                                  aid int references krs_e2e_cat_a.a_b(id) on delete cascade,
                                  u varchar(10));
create unique index child_u_idx on krs_e2e_cat_b.child(u);
create view krs_e2e_cat_a.v_ab as select id, v from krs_e2e_cat_a.a_b;
create function krs_e2e_cat_a.f_out(in x int, out y int, out z text)
  as $$ select x + 1, 'z'::text $$ language sql;
create procedure krs_e2e_cat_a.p_one(inout q int) language sql as $$ select 1 $$;
)SQL";

// Runs a script through psql from a file (no shell quoting); its output.
std::string RunScript(const std::string &sql)
{
    char path[] = "/tmp/krs-e2e-cat-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return "ERROR: no temporary file";
    if (write(fd, sql.data(), sql.size()) != static_cast<ssize_t>(sql.size())) {
        close(fd);
        return "ERROR: short write";
    }
    close(fd);
    std::string cmd = g_pg.pgBin + "/psql -X -At -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p " +
                      std::to_string(g_pg.port) + " -U " + g_pg.trustUser + " -d " + g_pg.db + " -f " + path +
                      " 2>&1";
    std::string out;
    if (FILE *p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    unlink(path);
    return out;
}

class CatalogEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(g_pg));
        std::string out = RunScript(kSchema);
        ASSERT_EQ(out.find("ERROR"), std::string::npos) << out;
    }
    void TearDown() override
    {
        RunScript("drop schema if exists krs_e2e_cat_a cascade; drop schema if exists krs_e2e_cat_b cascade;");
    }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new CatalogEnv);

constexpr char kNull[] = "<null>";

struct Column {
    std::string name;
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLSMALLINT nullable = 0;
};

struct Result {
    std::vector<Column> cols;
    std::vector<std::vector<std::string>> rows;
    // The rows whose column `name` equals `value`.
    std::vector<std::vector<std::string>> Where(const std::string &name, const std::string &value) const
    {
        std::vector<std::vector<std::string>> out;
        int k = Index(name);
        for (const auto &r : rows)
            if (k >= 0 && r[k] == value)
                out.push_back(r);
        return out;
    }
    int Index(const std::string &name) const
    {
        for (size_t i = 0; i < cols.size(); ++i)
            if (cols[i].name == name)
                return static_cast<int>(i);
        return -1;
    }
    std::string At(size_t row, const std::string &name) const
    {
        int k = Index(name);
        return row < rows.size() && k >= 0 ? rows[row][k] : "<missing>";
    }
};

// ASCII wide text as narrow text ('?' for anything else).
std::string Narrow(const SQLWCHAR *w)
{
    std::string out;
    for (; *w; ++w)
        out += *w < 0x80 ? static_cast<char>(*w) : '?';
    return out;
}

// Text columns of the layouts: VARCHAR, or WVARCHAR from the Unicode library.
bool IsText(SQLSMALLINT t) { return t == SQL_VARCHAR || t == SQL_WVARCHAR; }

class Catalog : public ::testing::TestWithParam<Library> {
protected:
    void SetUp() override
    {
        ASSERT_EQ(h.Connect(std::string("krs_") + GetParam().tag), SQL_SUCCESS) << h.State();
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &st), SQL_SUCCESS);
    }
    void TearDown() override
    {
        if (st)
            SQLFreeHandle(SQL_HANDLE_STMT, st);
    }

    std::string State() { return Diag(SQL_HANDLE_STMT, st); }

    // Describes and reads the open result; every cell as text.
    Result Read()
    {
        Result r;
        SQLSMALLINT n = 0;
        EXPECT_EQ(SQLNumResultCols(st, &n), SQL_SUCCESS) << State();
        for (SQLUSMALLINT i = 1; i <= n; ++i) {
            SQLCHAR name[130] = {};
            SQLSMALLINT nameLen = 0, digits = 0;
            Column c;
            EXPECT_EQ(SQLDescribeCol(st, i, name, sizeof name, &nameLen, &c.type, &c.size, &digits, &c.nullable),
                      SQL_SUCCESS)
                << State();
            c.name = reinterpret_cast<char *>(name);
            r.cols.push_back(c);
        }
        SQLRETURN rc;
        while ((rc = SQLFetch(st)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
            std::vector<std::string> row;
            for (SQLUSMALLINT i = 1; i <= n; ++i) {
                char buf[512] = {};
                SQLLEN ind = 0;
                EXPECT_EQ(SQLGetData(st, i, SQL_C_CHAR, buf, sizeof buf, &ind), SQL_SUCCESS) << State();
                row.push_back(ind == SQL_NULL_DATA ? kNull : buf);
            }
            r.rows.push_back(row);
        }
        EXPECT_EQ(rc, SQL_NO_DATA) << State();
        SQLFreeStmt(st, SQL_CLOSE);
        return r;
    }

    // The layout's names in order, its numeric and text columns typed as
    // ODBC 3 declares them, and no NULL in a column declared NOT NULL.
    void CheckLayout(const Result &r, const std::vector<std::string> &names,
                     const std::vector<std::string> &smallints = {}, const std::vector<std::string> &integers = {})
    {
        ASSERT_EQ(r.cols.size(), names.size());
        for (size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(r.cols[i].name, names[i]) << "column " << i + 1;
            const bool small = std::count(smallints.begin(), smallints.end(), names[i]) > 0;
            const bool integer = std::count(integers.begin(), integers.end(), names[i]) > 0;
            if (small)
                EXPECT_EQ(r.cols[i].type, SQL_SMALLINT) << names[i];
            else if (integer)
                EXPECT_EQ(r.cols[i].type, SQL_INTEGER) << names[i];
            else
                EXPECT_TRUE(IsText(r.cols[i].type)) << names[i] << " type " << r.cols[i].type;
            if (r.cols[i].nullable != SQL_NO_NULLS)
                continue;
            for (const auto &row : r.rows)
                EXPECT_NE(row[i], kNull) << names[i] << " is declared NOT NULL";
        }
    }

    SQLCHAR *T(const char *t) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(t)); }

    Handles h;
    SQLHSTMT st = nullptr;
};

const std::vector<std::string> kTablesCols = {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE", "REMARKS"};

TEST_P(Catalog, TablesByTypeAndNullArguments)
{
    ASSERT_EQ(SQLTables(st, nullptr, 0, T("krs_e2e_cat_a"), SQL_NTS, nullptr, 0, T("'TABLE','VIEW'"), SQL_NTS),
              SQL_SUCCESS)
        << State();
    Result r = Read();
    CheckLayout(r, kTablesCols);
    std::map<std::string, std::string> types;
    for (size_t i = 0; i < r.rows.size(); ++i)
        types[r.At(i, "TABLE_NAME")] = r.At(i, "TABLE_TYPE");
    EXPECT_EQ(types, (std::map<std::string, std::string>{
                         {"MixedCase", "TABLE"}, {"a_b", "TABLE"}, {"axb", "TABLE"}, {"v_ab", "VIEW"}}));

    // No type list: every kind of object, indexes included.
    ASSERT_EQ(SQLTables(st, nullptr, 0, T("krs_e2e_cat_b"), SQL_NTS, nullptr, 0, nullptr, 0), SQL_SUCCESS) << State();
    r = Read();
    EXPECT_EQ(r.Where("TABLE_NAME", "child").size(), 1u);
    EXPECT_EQ(r.Where("TABLE_NAME", "child_u_idx").size(), 1u);

    // '_' in a pattern matches any character; escaped it matches itself.
    ASSERT_EQ(SQLTables(st, nullptr, 0, T("krs_e2e_cat_a"), SQL_NTS, T("a_b"), SQL_NTS, T("TABLE"), SQL_NTS),
              SQL_SUCCESS);
    EXPECT_EQ(Read().rows.size(), 2u);
    ASSERT_EQ(SQLTables(st, nullptr, 0, T("krs_e2e_cat_a"), SQL_NTS, T("a\\_b"), SQL_NTS, T("TABLE"), SQL_NTS),
              SQL_SUCCESS);
    r = Read();
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.At(0, "TABLE_NAME"), "a_b");
}

TEST_P(Catalog, TablesEnumerations)
{
    ASSERT_EQ(SQLTables(st, T(SQL_ALL_CATALOGS), SQL_NTS, T(""), 0, T(""), 0, nullptr, 0), SQL_SUCCESS) << State();
    Result r = Read();
    CheckLayout(r, kTablesCols);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.At(0, "TABLE_CAT"), g_pg.db);
    EXPECT_EQ(r.At(0, "TABLE_SCHEM"), kNull);

    ASSERT_EQ(SQLTables(st, T(""), 0, T(SQL_ALL_SCHEMAS), SQL_NTS, T(""), 0, nullptr, 0), SQL_SUCCESS) << State();
    r = Read();
    EXPECT_EQ(r.Where("TABLE_SCHEM", "krs_e2e_cat_a").size(), 1u);
    EXPECT_EQ(r.Where("TABLE_SCHEM", "krs_e2e_cat_b").size(), 1u);
    for (const auto &row : r.rows)
        EXPECT_EQ(row[2], kNull);

    ASSERT_EQ(SQLTables(st, T(""), 0, T(""), 0, T(""), 0, T(SQL_ALL_TABLE_TYPES), SQL_NTS), SQL_SUCCESS) << State();
    r = Read();
    EXPECT_EQ(r.Where("TABLE_TYPE", "TABLE").size(), 1u);
    EXPECT_EQ(r.Where("TABLE_TYPE", "VIEW").size(), 1u);
    for (const auto &row : r.rows)
        EXPECT_EQ(row[2], kNull);
}

TEST_P(Catalog, ColumnsOfMixedCaseTable)
{
    ASSERT_EQ(SQLColumns(st, nullptr, 0, T("krs_e2e_cat_a"), SQL_NTS, T("MixedCase"), SQL_NTS, nullptr, 0),
              SQL_SUCCESS)
        << State();
    Result r = Read();
    CheckLayout(r,
                {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME", "COLUMN_SIZE",
                 "BUFFER_LENGTH", "DECIMAL_DIGITS", "NUM_PREC_RADIX", "NULLABLE", "REMARKS", "COLUMN_DEF",
                 "SQL_DATA_TYPE", "SQL_DATETIME_SUB", "CHAR_OCTET_LENGTH", "ORDINAL_POSITION", "IS_NULLABLE"},
                {"DATA_TYPE", "DECIMAL_DIGITS", "NUM_PREC_RADIX", "NULLABLE", "SQL_DATA_TYPE", "SQL_DATETIME_SUB"},
                {"COLUMN_SIZE", "BUFFER_LENGTH", "CHAR_OCTET_LENGTH", "ORDINAL_POSITION"});
    ASSERT_EQ(r.rows.size(), 5u);
    struct Want {
        const char *name, *type, *sqlType, *sub, *nullable;
    } want[] = {
        {"Id", "4", "4", kNull, "NO"},   {"someCol", "12", "12", kNull, "NO"}, {"d", "91", "9", "1", "YES"},
        {"ts", "93", "9", "3", "YES"},   {"n", "2", "2", kNull, "YES"},
    };
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(r.At(i, "COLUMN_NAME"), want[i].name);
        EXPECT_EQ(r.At(i, "DATA_TYPE"), want[i].type) << want[i].name;
        EXPECT_EQ(r.At(i, "SQL_DATA_TYPE"), want[i].sqlType) << want[i].name;
        EXPECT_EQ(r.At(i, "SQL_DATETIME_SUB"), want[i].sub) << want[i].name;
        EXPECT_EQ(r.At(i, "IS_NULLABLE"), want[i].nullable) << want[i].name;
        EXPECT_EQ(r.At(i, "ORDINAL_POSITION"), std::to_string(i + 1));
    }
    EXPECT_EQ(r.At(1, "COLUMN_SIZE"), "20");
    EXPECT_EQ(r.At(1, "NULLABLE"), "0");
}

TEST_P(Catalog, KeysAndIndexes)
{
    ASSERT_EQ(SQLPrimaryKeys(st, nullptr, 0, T("krs_e2e_cat_a"), SQL_NTS, T("a_b"), SQL_NTS), SQL_SUCCESS)
        << State();
    Result r = Read();
    CheckLayout(r, {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "KEY_SEQ", "PK_NAME"}, {"KEY_SEQ"});
    ASSERT_EQ(r.rows.size(), 1u) << "a_b is a name here, not a pattern";
    EXPECT_EQ(r.At(0, "TABLE_NAME"), "a_b");
    EXPECT_EQ(r.At(0, "COLUMN_NAME"), "id");
    EXPECT_EQ(r.At(0, "KEY_SEQ"), "1");

    const std::vector<std::string> fkCols = {"PKTABLE_CAT",  "PKTABLE_SCHEM", "PKTABLE_NAME",  "PKCOLUMN_NAME",
                                             "FKTABLE_CAT",  "FKTABLE_SCHEM", "FKTABLE_NAME",  "FKCOLUMN_NAME",
                                             "KEY_SEQ",      "UPDATE_RULE",   "DELETE_RULE",   "FK_NAME",
                                             "PK_NAME",      "DEFERRABILITY"};
    const std::vector<std::string> fkSmall = {"KEY_SEQ", "UPDATE_RULE", "DELETE_RULE", "DEFERRABILITY"};
    // Imported by the child, exported by the parent.
    ASSERT_EQ(SQLForeignKeys(st, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, T("krs_e2e_cat_b"), SQL_NTS,
                             T("child"), SQL_NTS),
              SQL_SUCCESS)
        << State();
    r = Read();
    CheckLayout(r, fkCols, fkSmall);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.At(0, "PKTABLE_SCHEM"), "krs_e2e_cat_a");
    EXPECT_EQ(r.At(0, "PKTABLE_NAME"), "a_b");
    EXPECT_EQ(r.At(0, "PKCOLUMN_NAME"), "id");
    EXPECT_EQ(r.At(0, "FKCOLUMN_NAME"), "aid");
    EXPECT_EQ(r.At(0, "DELETE_RULE"), std::to_string(SQL_CASCADE));
    ASSERT_EQ(SQLForeignKeys(st, nullptr, 0, T("krs_e2e_cat_a"), SQL_NTS, T("a_b"), SQL_NTS, nullptr, 0, nullptr, 0,
                             nullptr, 0),
              SQL_SUCCESS)
        << State();
    r = Read();
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.At(0, "FKTABLE_NAME"), "child");

    ASSERT_EQ(SQLStatistics(st, nullptr, 0, T("krs_e2e_cat_b"), SQL_NTS, T("child"), SQL_NTS, SQL_INDEX_ALL,
                            SQL_QUICK),
              SQL_SUCCESS)
        << State();
    r = Read();
    CheckLayout(r,
                {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "NON_UNIQUE", "INDEX_QUALIFIER", "INDEX_NAME", "TYPE",
                 "ORDINAL_POSITION", "COLUMN_NAME", "ASC_OR_DESC", "CARDINALITY", "PAGES", "FILTER_CONDITION"},
                {"NON_UNIQUE", "TYPE", "ORDINAL_POSITION"}, {"CARDINALITY", "PAGES"});
    auto unique = r.Where("INDEX_NAME", "child_u_idx");
    ASSERT_EQ(unique.size(), 1u);
    EXPECT_EQ(unique[0][r.Index("NON_UNIQUE")], "0");
    EXPECT_EQ(unique[0][r.Index("COLUMN_NAME")], "u");

    ASSERT_EQ(SQLSpecialColumns(st, SQL_BEST_ROWID, nullptr, 0, T("krs_e2e_cat_a"), SQL_NTS, T("a_b"), SQL_NTS,
                                SQL_SCOPE_SESSION, SQL_NULLABLE),
              SQL_SUCCESS)
        << State();
    r = Read();
    CheckLayout(r,
                {"SCOPE", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME", "COLUMN_SIZE", "BUFFER_LENGTH", "DECIMAL_DIGITS",
                 "PSEUDO_COLUMN"},
                {"SCOPE", "DATA_TYPE", "DECIMAL_DIGITS", "PSEUDO_COLUMN"}, {"COLUMN_SIZE", "BUFFER_LENGTH"});
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.At(0, "COLUMN_NAME"), "id");
    EXPECT_EQ(r.At(0, "DATA_TYPE"), std::to_string(SQL_INTEGER));
}

TEST_P(Catalog, ProcedureColumnsOfAFunctionWithOutParameters)
{
    ASSERT_EQ(SQLProcedureColumns(st, nullptr, 0, T("krs_e2e_cat_a"), SQL_NTS, T("f_out"), SQL_NTS, nullptr, 0),
              SQL_SUCCESS)
        << State();
    Result r = Read();
    CheckLayout(r,
                {"PROCEDURE_CAT", "PROCEDURE_SCHEM", "PROCEDURE_NAME", "COLUMN_NAME", "COLUMN_TYPE", "DATA_TYPE",
                 "TYPE_NAME", "COLUMN_SIZE", "BUFFER_LENGTH", "DECIMAL_DIGITS", "NUM_PREC_RADIX", "NULLABLE",
                 "REMARKS", "COLUMN_DEF", "SQL_DATA_TYPE", "SQL_DATETIME_SUB", "CHAR_OCTET_LENGTH",
                 "ORDINAL_POSITION", "IS_NULLABLE"},
                {"COLUMN_TYPE", "DATA_TYPE", "DECIMAL_DIGITS", "NUM_PREC_RADIX", "NULLABLE", "SQL_DATA_TYPE",
                 "SQL_DATETIME_SUB"},
                {"COLUMN_SIZE", "BUFFER_LENGTH", "CHAR_OCTET_LENGTH", "ORDINAL_POSITION"});
    ASSERT_EQ(r.rows.size(), 3u);
    const char *names[] = {"x", "y", "z"};
    const int kinds[] = {SQL_PARAM_INPUT, SQL_PARAM_OUTPUT, SQL_PARAM_OUTPUT};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(r.At(i, "COLUMN_NAME"), names[i]);
        EXPECT_EQ(r.At(i, "COLUMN_TYPE"), std::to_string(kinds[i])) << names[i];
        EXPECT_EQ(r.At(i, "ORDINAL_POSITION"), std::to_string(i + 1)) << names[i];
    }
    EXPECT_EQ(r.At(2, "DATA_TYPE"), std::to_string(SQL_VARCHAR));
}

TEST_P(Catalog, TypeInfoAllAndFiltered)
{
    const std::vector<std::string> cols = {"TYPE_NAME",          "DATA_TYPE",        "COLUMN_SIZE",
                                           "LITERAL_PREFIX",     "LITERAL_SUFFIX",   "CREATE_PARAMS",
                                           "NULLABLE",           "CASE_SENSITIVE",   "SEARCHABLE",
                                           "UNSIGNED_ATTRIBUTE", "FIXED_PREC_SCALE", "AUTO_UNIQUE_VALUE",
                                           "LOCAL_TYPE_NAME",    "MINIMUM_SCALE",    "MAXIMUM_SCALE",
                                           "SQL_DATA_TYPE",      "SQL_DATETIME_SUB", "NUM_PREC_RADIX",
                                           "INTERVAL_PRECISION"};
    const std::vector<std::string> small = {"DATA_TYPE",         "NULLABLE",         "CASE_SENSITIVE",
                                            "SEARCHABLE",        "UNSIGNED_ATTRIBUTE", "FIXED_PREC_SCALE",
                                            "AUTO_UNIQUE_VALUE", "MINIMUM_SCALE",    "MAXIMUM_SCALE",
                                            "SQL_DATA_TYPE",     "SQL_DATETIME_SUB", "NUM_PREC_RADIX",
                                            "INTERVAL_PRECISION"};
    ASSERT_EQ(SQLGetTypeInfo(st, SQL_ALL_TYPES), SQL_SUCCESS) << State();
    Result r = Read();
    CheckLayout(r, cols, small, {"COLUMN_SIZE"});
    EXPECT_GT(r.rows.size(), 20u);
    EXPECT_EQ(r.Where("TYPE_NAME", "int4").size(), 1u);
    EXPECT_EQ(r.Where("TYPE_NAME", "varchar").size(), 1u);

    ASSERT_EQ(SQLGetTypeInfo(st, SQL_TYPE_TIMESTAMP), SQL_SUCCESS) << State();
    r = Read();
    CheckLayout(r, cols, small, {"COLUMN_SIZE"});
    ASSERT_FALSE(r.rows.empty());
    for (size_t i = 0; i < r.rows.size(); ++i) {
        EXPECT_EQ(r.At(i, "DATA_TYPE"), std::to_string(SQL_TYPE_TIMESTAMP)) << r.At(i, "TYPE_NAME");
        EXPECT_EQ(r.At(i, "SQL_DATA_TYPE"), std::to_string(SQL_DATETIME));
        EXPECT_EQ(r.At(i, "SQL_DATETIME_SUB"), std::to_string(SQL_CODE_TIMESTAMP));
    }
    EXPECT_EQ(r.Where("TYPE_NAME", "timestamp").size(), 1u);
}

// ODBC's order: DATA_TYPE, then the types closest to each SQL type first, so
// that an application taking the first type listed for SQL_LONGVARCHAR (else
// SQL_VARCHAR) gets one that keeps its text; real sizes and the creation
// parameters of the types that take a length.
TEST_P(Catalog, TypeInfoInOdbcOrderWithRealSizes)
{
    ASSERT_EQ(SQLGetTypeInfo(st, SQL_ALL_TYPES), SQL_SUCCESS) << State();
    Result all = Read();
    ASSERT_GT(all.rows.size(), 20u);
    for (size_t i = 1; i < all.rows.size(); ++i)
        EXPECT_LE(std::stoi(all.At(i - 1, "DATA_TYPE")), std::stoi(all.At(i, "DATA_TYPE")))
            << all.At(i - 1, "TYPE_NAME") << " before " << all.At(i, "TYPE_NAME");
    // Every type the database lists is still there, text once more as LONGVARCHAR.
    for (const char *name : {"int4", "serial", "int8", "bigserial", "bool", "bytea", "name", "char", "bpchar",
                             "numeric", "date", "timestamptz", "uuid", "json"})
        EXPECT_EQ(all.Where("TYPE_NAME", name).size(), 1u) << name;
    EXPECT_EQ(all.Where("TYPE_NAME", "text").size(), 2u);
    EXPECT_EQ(all.Where("DATA_TYPE", std::to_string(SQL_LONGVARCHAR)).size(), 1u);

    struct Case {
        SQLSMALLINT type;
        std::vector<std::string> names;  // the first rows, in order
        std::vector<std::string> sizes;
        std::vector<std::string> params;
    } cases[] = {
        {SQL_VARCHAR, {"varchar", "text", "name"}, {"2147483647", "2147483647", "63"}, {"max length", kNull, kNull}},
        {SQL_LONGVARCHAR, {"text"}, {"2147483647"}, {kNull}},
        {SQL_CHAR, {"bpchar", "char"}, {"10485760", "1"}, {"length", kNull}},
        {SQL_INTEGER, {"int4", "serial"}, {}, {}},
        {SQL_BIGINT, {"int8"}, {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        ASSERT_EQ(SQLGetTypeInfo(st, c.type), SQL_SUCCESS) << State();
        Result r = Read();
        ASSERT_GE(r.rows.size(), c.names.size());
        for (size_t i = 0; i < c.names.size(); ++i) {
            EXPECT_EQ(r.At(i, "TYPE_NAME"), c.names[i]);
            EXPECT_EQ(r.At(i, "DATA_TYPE"), std::to_string(c.type));
            if (i < c.sizes.size()) {
                EXPECT_EQ(r.At(i, "COLUMN_SIZE"), c.sizes[i]) << c.names[i];
            }
            if (i < c.params.size()) {
                EXPECT_EQ(r.At(i, "CREATE_PARAMS"), c.params[i]) << c.names[i];
            }
        }
    }

    // What a schema tool does: the first type for SQL_LONGVARCHAR, else
    // SQL_VARCHAR, and a long text written and read back whole.
    ASSERT_EQ(SQLGetTypeInfo(st, SQL_LONGVARCHAR), SQL_SUCCESS) << State();
    Result lv = Read();
    ASSERT_FALSE(lv.rows.empty());
    const std::string table = std::string("krs_e2e_cat_a.picked_") + GetParam().tag;
    const std::string text(300, 'x');
    for (const std::string &sql : {"drop table if exists " + table, "create table " + table + " (v " +
                                   lv.At(0, "TYPE_NAME") + ")",
                                   "insert into " + table + " values ('" + text + "')"})
        ASSERT_TRUE(Ok(SQLExecDirect(st, (SQLCHAR *)sql.c_str(), SQL_NTS))) << sql << State();
    ASSERT_EQ(SQLExecDirect(st, (SQLCHAR *)("select v from " + table).c_str(), SQL_NTS), SQL_SUCCESS) << State();
    Result back = Read();
    ASSERT_EQ(back.rows.size(), 1u);
    EXPECT_EQ(back.rows[0][0], text);
}

TEST_P(Catalog, MetadataIdMakesNamesIdentifiers)
{
    ASSERT_EQ(SQLSetStmtAttr(st, SQL_ATTR_METADATA_ID, reinterpret_cast<SQLPOINTER>(SQL_TRUE), 0), SQL_SUCCESS)
        << State();
    SQLULEN v = 7;
    ASSERT_EQ(SQLGetStmtAttr(st, SQL_ATTR_METADATA_ID, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, static_cast<SQLULEN>(SQL_TRUE));

    // '_' names itself: a_b does not match axb.
    ASSERT_EQ(SQLTables(st, T(""), 0, T("krs_e2e_cat_a"), SQL_NTS, T("a_b"), SQL_NTS, T("TABLE"), SQL_NTS),
              SQL_SUCCESS)
        << State();
    Result r = Read();
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.At(0, "TABLE_NAME"), "a_b");
    ASSERT_EQ(SQLColumns(st, T(""), 0, T("krs_e2e_cat_a"), SQL_NTS, T("a_b"), SQL_NTS, T("id"), SQL_NTS),
              SQL_SUCCESS)
        << State();
    r = Read();
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.At(0, "TABLE_NAME"), "a_b");
    // '%' names itself too.
    ASSERT_EQ(SQLColumns(st, T(""), 0, T("krs_e2e_cat_a"), SQL_NTS, T("a_b"), SQL_NTS, T("%"), SQL_NTS),
              SQL_SUCCESS)
        << State();
    EXPECT_TRUE(Read().rows.empty());

    // Unquoted names fold to lower case as the server folds them; quoted
    // ones keep their case.
    ASSERT_EQ(SQLColumns(st, T(""), 0, T("KRS_E2E_CAT_A"), SQL_NTS, T("\"MixedCase\""), SQL_NTS, T("\"someCol\""),
                         SQL_NTS),
              SQL_SUCCESS)
        << State();
    r = Read();
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.At(0, "COLUMN_NAME"), "someCol");
    ASSERT_EQ(SQLColumns(st, T(""), 0, T("krs_e2e_cat_a"), SQL_NTS, T("MixedCase"), SQL_NTS, T("id"), SQL_NTS),
              SQL_SUCCESS);
    EXPECT_TRUE(Read().rows.empty()) << "MixedCase unquoted is mixedcase";

    // Names ODBC requires under the attribute may not be NULL.
    EXPECT_EQ(SQLTables(st, T(""), 0, nullptr, 0, T("a_b"), SQL_NTS, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(State(), "HY009");
    EXPECT_EQ(SQLColumns(st, T(""), 0, T("krs_e2e_cat_a"), SQL_NTS, T("a_b"), SQL_NTS, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(State(), "HY009");

    // The connection's value is the default of statements allocated later.
    ASSERT_EQ(SQLSetConnectAttr(h.dbc, SQL_ATTR_METADATA_ID, reinterpret_cast<SQLPOINTER>(SQL_TRUE), 0),
              SQL_SUCCESS)
        << h.State();
    SQLHSTMT later = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &later), SQL_SUCCESS);
    std::swap(st, later);
    ASSERT_EQ(SQLTables(st, T(""), 0, T("krs_e2e_cat_a"), SQL_NTS, T("a_b"), SQL_NTS, T("TABLE"), SQL_NTS),
              SQL_SUCCESS)
        << State();
    EXPECT_EQ(Read().rows.size(), 1u);
    std::swap(st, later);
    SQLFreeHandle(SQL_HANDLE_STMT, later);
}

TEST_P(Catalog, NamesThatAreNoPatternsMatchOnlyThemselves)
{
    ASSERT_EQ(SQLStatistics(st, nullptr, 0, T("krs_e2e_cat_a"), SQL_NTS, T("a_b"), SQL_NTS, SQL_INDEX_ALL,
                            SQL_QUICK),
              SQL_SUCCESS)
        << State();
    Result r = Read();
    ASSERT_FALSE(r.rows.empty());
    for (size_t i = 0; i < r.rows.size(); ++i)
        EXPECT_EQ(r.At(i, "TABLE_NAME"), "a_b");
    ASSERT_EQ(SQLColumnPrivileges(st, nullptr, 0, T("krs_e2e_cat_a"), SQL_NTS, T("a_b"), SQL_NTS, nullptr, 0),
              SQL_SUCCESS)
        << State();
    r = Read();
    for (size_t i = 0; i < r.rows.size(); ++i)
        EXPECT_EQ(r.At(i, "TABLE_NAME"), "a_b");
    ASSERT_EQ(SQLForeignKeys(st, nullptr, 0, T("krs_e2e_cat_a"), SQL_NTS, T("a_b"), SQL_NTS, nullptr, 0, nullptr,
                             0, nullptr, 0),
              SQL_SUCCESS)
        << State();
    r = Read();
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.At(0, "PKTABLE_NAME"), "a_b");
    ASSERT_EQ(SQLSpecialColumns(st, SQL_BEST_ROWID, nullptr, 0, T("krs_e2e_cat_a"), SQL_NTS, T("axb"), SQL_NTS,
                                SQL_SCOPE_SESSION, SQL_NULLABLE),
              SQL_SUCCESS)
        << State();
    EXPECT_EQ(Read().rows.size(), 1u);
}

TEST_P(Catalog, PrivilegesAndProcedures)
{
    ASSERT_EQ(SQLTablePrivileges(st, nullptr, 0, T("krs_e2e_cat_b"), SQL_NTS, T("child"), SQL_NTS), SQL_SUCCESS)
        << State();
    Result r = Read();
    CheckLayout(r, {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "GRANTOR", "GRANTEE", "PRIVILEGE", "IS_GRANTABLE"});
    ASSERT_FALSE(r.rows.empty());
    for (size_t i = 0; i < r.rows.size(); ++i) {
        EXPECT_EQ(r.At(i, "TABLE_SCHEM"), "krs_e2e_cat_b");
        EXPECT_EQ(r.At(i, "TABLE_NAME"), "child");
    }
    EXPECT_FALSE(r.Where("PRIVILEGE", "SELECT").empty());

    ASSERT_EQ(SQLColumnPrivileges(st, nullptr, 0, T("krs_e2e_cat_b"), SQL_NTS, T("child"), SQL_NTS, T("u"), SQL_NTS),
              SQL_SUCCESS)
        << State();
    r = Read();
    CheckLayout(r, {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "GRANTOR", "GRANTEE", "PRIVILEGE",
                    "IS_GRANTABLE"});
    ASSERT_FALSE(r.rows.empty());
    for (size_t i = 0; i < r.rows.size(); ++i)
        EXPECT_EQ(r.At(i, "COLUMN_NAME"), "u");

    ASSERT_EQ(SQLProcedures(st, nullptr, 0, T("krs_e2e_cat_a"), SQL_NTS, nullptr, 0), SQL_SUCCESS) << State();
    r = Read();
    CheckLayout(r,
                {"PROCEDURE_CAT", "PROCEDURE_SCHEM", "PROCEDURE_NAME", "NUM_INPUT_PARAMS", "NUM_OUTPUT_PARAMS",
                 "NUM_RESULT_SETS", "REMARKS", "PROCEDURE_TYPE"},
                {"NUM_INPUT_PARAMS", "NUM_OUTPUT_PARAMS", "NUM_RESULT_SETS", "PROCEDURE_TYPE"});
    auto proc = r.Where("PROCEDURE_NAME", "p_one");
    ASSERT_EQ(proc.size(), 1u);
    EXPECT_EQ(proc[0][r.Index("PROCEDURE_SCHEM")], "krs_e2e_cat_a");
}

// The wide entry points, from an application that works in UTF-16: the same
// objects as the narrow ones, names and cells read as wide text.
TEST_P(Catalog, WideEntryPoints)
{
    const std::u16string schA = u"krs_e2e_cat_a", schB = u"krs_e2e_cat_b";
    auto W = [](const std::u16string &t) { return reinterpret_cast<SQLWCHAR *>(const_cast<char16_t *>(t.c_str())); };
    const std::u16string mixed = u"MixedCase", someCol = u"someCol", ab = u"a_b", child = u"child", u = u"u",
                         table = u"TABLE", pOne = u"p_one", fOut = u"f_out", z = u"z";
    const struct {
        const char *what;
        std::function<SQLRETURN()> call;
        const char *column, *value;
    } cases[] = {
        {"SQLTablesW",
         [&] { return SQLTablesW(st, nullptr, 0, W(schA), SQL_NTS, W(mixed), SQL_NTS, W(table), SQL_NTS); },
         "TABLE_NAME", "MixedCase"},
        {"SQLColumnsW",
         [&] { return SQLColumnsW(st, nullptr, 0, W(schA), SQL_NTS, W(mixed), SQL_NTS, W(someCol), SQL_NTS); },
         "COLUMN_NAME", "someCol"},
        {"SQLPrimaryKeysW", [&] { return SQLPrimaryKeysW(st, nullptr, 0, W(schA), SQL_NTS, W(ab), SQL_NTS); },
         "COLUMN_NAME", "id"},
        {"SQLForeignKeysW",
         [&] {
             return SQLForeignKeysW(st, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, W(schB), SQL_NTS, W(child),
                                    SQL_NTS);
         },
         "FKCOLUMN_NAME", "aid"},
        {"SQLStatisticsW",
         [&] {
             return SQLStatisticsW(st, nullptr, 0, W(schB), SQL_NTS, W(child), SQL_NTS, SQL_INDEX_UNIQUE, SQL_QUICK);
         },
         "INDEX_NAME", "child_u_idx"},
        {"SQLSpecialColumnsW",
         [&] {
             return SQLSpecialColumnsW(st, SQL_BEST_ROWID, nullptr, 0, W(schA), SQL_NTS, W(ab), SQL_NTS,
                                       SQL_SCOPE_SESSION, SQL_NULLABLE);
         },
         "COLUMN_NAME", "id"},
        {"SQLTablePrivilegesW",
         [&] { return SQLTablePrivilegesW(st, nullptr, 0, W(schB), SQL_NTS, W(child), SQL_NTS); }, "TABLE_NAME",
         "child"},
        {"SQLColumnPrivilegesW",
         [&] { return SQLColumnPrivilegesW(st, nullptr, 0, W(schB), SQL_NTS, W(child), SQL_NTS, W(u), SQL_NTS); },
         "COLUMN_NAME", "u"},
        {"SQLProceduresW", [&] { return SQLProceduresW(st, nullptr, 0, W(schA), SQL_NTS, W(pOne), SQL_NTS); },
         "PROCEDURE_NAME", "p_one"},
        {"SQLProcedureColumnsW",
         [&] { return SQLProcedureColumnsW(st, nullptr, 0, W(schA), SQL_NTS, W(fOut), SQL_NTS, W(z), SQL_NTS); },
         "COLUMN_NAME", "z"},
        {"SQLGetTypeInfoW", [&] { return SQLGetTypeInfoW(st, SQL_INTEGER); }, "TYPE_NAME", "int4"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.call(), SQL_SUCCESS) << State();
        SQLSMALLINT n = 0;
        ASSERT_EQ(SQLNumResultCols(st, &n), SQL_SUCCESS);
        SQLUSMALLINT found = 0;
        for (SQLUSMALLINT i = 1; i <= n && !found; ++i) {
            SQLWCHAR name[130] = {};
            SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            ASSERT_EQ(SQLDescribeColW(st, i, name, 130, &len, &type, &size, &digits, &nullable), SQL_SUCCESS)
                << State();
            if (Narrow(name) == c.column)
                found = i;
        }
        ASSERT_NE(found, 0) << c.column;
        std::vector<std::string> values;
        SQLRETURN rc;
        while ((rc = SQLFetch(st)) == SQL_SUCCESS) {
            SQLWCHAR cell[130] = {};
            SQLLEN ind = 0;
            ASSERT_EQ(SQLGetData(st, found, SQL_C_WCHAR, cell, sizeof cell, &ind), SQL_SUCCESS) << State();
            ASSERT_NE(ind, SQL_NULL_DATA);
            EXPECT_EQ(ind, static_cast<SQLLEN>(2 * Narrow(cell).size())) << "bytes of wide text";
            values.push_back(Narrow(cell));
        }
        EXPECT_EQ(rc, SQL_NO_DATA) << State();
        SQLFreeStmt(st, SQL_CLOSE);
        EXPECT_NE(std::find(values.begin(), values.end(), c.value), values.end()) << c.value;
    }
}

TEST_P(Catalog, MissingTableNameIsRefused)
{
    EXPECT_EQ(SQLStatistics(st, nullptr, 0, nullptr, 0, nullptr, 0, SQL_INDEX_ALL, SQL_QUICK), SQL_ERROR);
    EXPECT_EQ(State(), "HY009");
}

INSTANTIATE_TEST_SUITE_P(Libraries, Catalog, ::testing::ValuesIn(kLibraries),
                         [](const auto &info) { return std::string(info.param.tag); });

} // namespace

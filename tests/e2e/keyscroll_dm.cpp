// Keyset window scrolling predicates run on PostgreSQL through unixODBC with
// both libraries: windows of three rows walked forward and backward over
// ORDER BY a nullable column with duplicates (its name holding a quote),
// completed by the key column, see every row exactly once in order.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "scrs/scs_keyscroll.h"
#include "tests/common/pg_env.h"
#include "tests/e2e/connect_common.h"

namespace {

using conntest::Diags;
using conntest::Sql;

PgEnv g_pg;

class KeyScrollEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(g_pg));
        // The table, whose column name holds a double quote, is made by the
        // test itself through the driver.
        PgPsql(g_pg, "drop schema if exists krs_ks cascade; create schema krs_ks;");
    }
    void TearDown() override { PgPsql(g_pg, "drop schema if exists krs_ks cascade"); }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new KeyScrollEnv);



struct Row {
    int id;
    bool nameNull;
    std::string name;
};

constexpr int kWindow = 3;
const char *const kSelect = "SELECT id, \"na\"\"me\" FROM krs_ks.t";

class KeyScroll : public conntest::DsnStatement {
protected:
    // Runs text with the boundary row's values bound as the parameters ask
    // and reads at most kWindow rows.
    std::vector<Row> window(const std::string &text, const std::vector<KsBoundaryParam> &params, const Row *bound)
    {
        std::vector<Row> out;
        SQLFreeStmt(st, SQL_CLOSE);
        SQLFreeStmt(st, SQL_RESET_PARAMS);
        std::vector<SQLINTEGER> ids(params.size());
        std::vector<std::string> names(params.size());
        std::vector<SQLLEN> lens(params.size());
        for (size_t i = 0; i < params.size(); ++i) {
            SQLRETURN rc;
            if (params[i].selectCol == 0) {
                ids[i] = bound->id;
                lens[i] = 0;
                rc = SQLBindParameter(st, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER,
                                      0, 0, &ids[i], 0, &lens[i]);
            } else {
                names[i] = bound->name;
                lens[i] = SQL_NTS;
                rc = SQLBindParameter(st, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                                      20, 0, const_cast<char *>(names[i].c_str()), 0, &lens[i]);
            }
            EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Diags(SQL_HANDLE_STMT, st);
        }
        SQLRETURN rc = SQLExecDirect(st, Sql(text), SQL_NTS);
        EXPECT_TRUE(SQL_SUCCEEDED(rc)) << text << "\n" << Diags(SQL_HANDLE_STMT, st);
        if (!SQL_SUCCEEDED(rc))
            return out;
        while (out.size() < kWindow && SQL_SUCCEEDED(SQLFetch(st))) {
            Row r{};
            char buf[32] = {};
            SQLLEN ind = 0;
            SQLINTEGER id = 0;
            SQLGetData(st, 1, SQL_C_SLONG, &id, 0, &ind);
            SQLGetData(st, 2, SQL_C_CHAR, buf, sizeof buf, &ind);
            r.id = id;
            r.nameNull = ind == SQL_NULL_DATA;
            r.name = r.nameNull ? "" : buf;
            out.push_back(r);
        }
        SQLFreeStmt(st, SQL_CLOSE);
        return out;
    }
};

// ORDER BY "na""me" (nullable, not a key), completed by the key id.
struct Order {
    ScrColumnRef id{};
    OrderByColDesc name{};
    KsScrollOrder order;
    Order()
    {
        strcpy(id.column, "id");
        id.sqlType = SQL_INTEGER;
        strcpy(name.text, "\"na\"\"me\"");
        strcpy(name.column, "\"na\"\"me\"");
        name.sqlType = SQL_VARCHAR;
        name.columnSize = 20;
        order.keys = &id;
        order.keyCount = 1;
        order.items = &name;
        order.itemCount = 1;
        order.sortKeyCount = 2;
        order.nullCollation = SQL_NC_HIGH;  // PostgreSQL: NULLs last ascending
    }
};

TEST_P(KeyScroll, WindowsSeeEveryRowOnceInBothDirections)
{
    const std::vector<int> expected = {3, 7, 11, 1, 4, 9, 6, 10, 2, 5, 8};
    for (const char *ddl : {"DROP TABLE IF EXISTS krs_ks.t",
                            "CREATE TABLE krs_ks.t (id int PRIMARY KEY, \"na\"\"me\" varchar(20))",
                            "INSERT INTO krs_ks.t VALUES (1,'b'),(2,NULL),(3,'a'),(4,'b'),(5,NULL),(6,'c'),"
                            "(7,'a'),(8,NULL),(9,'b'),(10,'d'),(11,'a')"})
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, Sql(ddl), SQL_NTS))) << ddl << Diags(SQL_HANDLE_STMT, st);
    Order o;
    std::string select;
    ASSERT_EQ(0, ks_ScrollSelectListBuild(o.order, &select));
    ASSERT_EQ("id, \"na\"\"me\"", select);

    for (int16_t dir : {KS_DIR_FORWARD, KS_DIR_BACKWARD}) {
        SCOPED_TRACE(dir == KS_DIR_FORWARD ? "forward" : "backward");
        const std::string orderBy =
            dir == KS_DIR_FORWARD ? " ORDER BY \"na\"\"me\", id" : " ORDER BY \"na\"\"me\" DESC, id DESC";
        std::vector<Row> w = window(std::string(kSelect) + orderBy, {}, nullptr);
        std::vector<int> seen;
        for (int guard = 0; !w.empty() && guard < 20; ++guard) {
            for (const Row &r : w)
                seen.push_back(r.id);
            // The window's boundary row in the direction of travel.
            const Row bound = w.back();
            std::string clause;
            std::vector<KsBoundaryParam> params;
            ASSERT_EQ(0, ks_ScrollWhereBuild(o.order, dir, KS_MODE_FAR, 0, {false, bound.nameNull}, &clause, &params));
            w = window(std::string(kSelect) + clause + orderBy, params, &bound);
        }
        if (dir == KS_DIR_BACKWARD)
            std::reverse(seen.begin(), seen.end());
        EXPECT_EQ(expected, seen);
    }
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, KeyScroll, ::testing::Values("krs_w", "krs_a"),
                         [](const ::testing::TestParamInfo<const char *> &i) { return std::string(i.param); });

}  // namespace

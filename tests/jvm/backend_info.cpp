// The back end's answers to the handle layer at connect time (capability
// word, private items, autocommit and isolation, the conversion table), the
// scalar-function map and the options block each connection takes over, and
// the initial SQL file, against the PostgreSQL fixture.
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-info.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-setup.h"
#include "odbc/contract/drv_connect_params.h"
#include "odbc/contract/drv_items.h"
#include "odbc/contract/drv_convtable.h"
#include "drv_jdbc/j-optable.h"
#include "odbc/contract/drv_ops.h"
#include "odbc/contract/errnum.h"
#include "tests/common/pg_env.h"
#include "tests/jvm/jvm_child.h"
#include "util/hash.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {
const DrvOpTable &ops() { return *DRV_JdbcOpTable(); }

class BackendInfo : public ::testing::Test {
protected:
    void SetUp() override
    {
        JVM_CHILD_ONLY();
        ASSERT_TRUE(PgEnvLoad(pg));
        DriverLoadSetup();
        drvOptions = DrvOptions{};
        ASSERT_EQ(ops().EnvOpen(nullptr, &env), 0);
        opened = true;
    }
    void TearDown() override
    {
        if (conn) {
            EXPECT_EQ(ops().Disconnect(conn), 0);
        }
        if (opened) {
            EXPECT_EQ(ops().EnvClose(env), 0);
        }
    }
    int Connect(const std::string &app)
    {
        std::string props = "serverName=127.0.0.1;portNumber=" + std::to_string(pg.port) +
                            ";databaseName=" + pg.db + ";applicationName=" + app;
        DrvConnectParams p{};
        p.serverText = "";
        p.dsProps = props.c_str();
        p.user = pg.trustUser.c_str();
        p.password = "";
        return ops().Connect(env, &p, &conn);
    }
    int32_t Int(int code, int *rc = nullptr)
    {
        int32_t v = -12345;
        int16_t len = 0;
        int r = ops().GetInfo(conn, code, &v, 4, &len);
        if (rc)
            *rc = r;
        return v;
    }
    std::string Text(int code, int *rc = nullptr)
    {
        char buf[256] = "untouched";
        int16_t len = 0;
        int r = ops().GetInfo(conn, code, buf, sizeof buf, &len);
        if (rc)
            *rc = r;
        return buf;
    }
    DrvConn *Rec() { return static_cast<DrvConn *>(HT_Lookup(&drvConnTable, static_cast<uint32_t>(conn))); }

    PgEnv pg;
    int env = 0;
    int conn = 0;
    bool opened = false;
};

TEST_F(BackendInfo, CapabilitiesAndPrivateItems)
{
    ASSERT_EQ(Connect("krs_jvm_info"), 0);
    struct {
        int code;
        int32_t value;
    } cases[] = {
        {DrvInt(DRV_CONN_UNASKED_MASK), 2818047},   {DrvInt(DRV_CONN_NEEDS_BIND), 1},
        {DrvInt(DRV_CONN_SP_OUT_DEFER_FETCH), 0},   {DrvInt(DRV_CONN_MAX_PARAMS), 255},
        {DrvInt(DRV_CONN_HAS_V2_DAE), 0},           {DrvInt(DRV_CONN_ROW_VERSIONS), 0},
        {DrvInt(DRV_CONN_CAPABILITY_WORD), 13727},  {DrvInt(DRV_CONN_UTF8_TEXT), 0},
        {DrvInt(DRV_CONN_XA_KEEP_WORKER), 0},       {DrvInt(DRV_CONN_XA_END_WORKER), 1},
        {DrvInt(DRV_CONN_AUTOCOMMIT), 1},           {DrvInt(DRV_CONN_ACCESS_MODE), 0},
        {DrvInt(DRV_CONN_ISOLATION), 2},  // read committed, as PostgreSQL starts
    };
    for (const auto &c : cases) {
        int rc = -1;
        EXPECT_EQ(Int(c.code, &rc), c.value) << std::hex << c.code;
        EXPECT_EQ(rc, 0) << std::hex << c.code;
    }
    EXPECT_EQ(Rec()->capabilityMark, 1);  // set by the capability word
    // The value kind only chooses the delivery.
    int rc = -1;
    EXPECT_EQ(Text(DrvText(DRV_CONN_CAPABILITY_WORD), &rc), "");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(Text(DrvText(DRV_CONN_CURRENT_CATALOG)), pg.db);
    EXPECT_EQ(Int(DrvInt(DRV_CONN_CURRENT_CATALOG)), 0);
    // The usual names of SQL types, without database work.
    EXPECT_EQ(Text(DrvText(DrvConnTypeName(SQL_VARCHAR))), "varchar");
    EXPECT_EQ(Text(DrvText(DrvConnTypeName(SQL_WCHAR))), "bpchar");
    EXPECT_EQ(Text(DrvText(DrvConnTypeName(SQL_GUID))), "");
    // Codes the back end does not answer write nothing.
    for (int code : {DrvInt(DRV_CONN_ODBC_VERSION), DrvInt(DRV_CONN_ONE_STATEMENT), 0x22010012,
                     DrvText(DRV_CONN_CATALOG), 0x22039999, 0x52010000}) {
        EXPECT_EQ(Int(code, &rc), -12345) << std::hex << code;
        EXPECT_EQ(rc, ERR_FUNCTION_NOT_SUPPORTED) << std::hex << code;
    }
    // Environment items.
    char buf[16] = {};
    int16_t len = 0;
    EXPECT_EQ(ops().GetInfo(env, DrvText(DRV_ENV_BACKEND_NAME), buf, sizeof buf, &len), 0);
    EXPECT_STREQ(buf, "jdbc");
    EXPECT_EQ(ops().GetInfo(env, 0x11010001, buf, sizeof buf, &len), ERR_FUNCTION_NOT_SUPPORTED);
    EXPECT_EQ(ops().GetInfo(0x7777, DrvInt(DRV_CONN_NEEDS_BIND), buf, 4, &len), ERR_INVALID_ARGUMENT);
}

TEST_F(BackendInfo, NoAutoCommitChangesTheWordAndTheConnection)
{
    drvOptions.noAutoCommit = 1;
    drvOptions.cursorSensitivity = 1;
    ASSERT_EQ(Connect("krs_jvm_info_noac"), 0);
    EXPECT_EQ(Int(DrvInt(DRV_CONN_CAPABILITY_WORD)), 13471);
    EXPECT_EQ(Int(DrvInt(DRV_CONN_AUTOCOMMIT)), 0);
    EXPECT_EQ(Int(DrvInt(DRV_CONN_ROW_VERSIONS)), 1);
    drvOptions = DrvOptions{};
}

TEST_F(BackendInfo, ConversionTable)
{
    ASSERT_EQ(Connect("krs_jvm_info_conv"), 0);
    DrvConvTable t{};
    t.type = 2;
    EXPECT_EQ(ops().GetOpTable(conn, &t), ERR_NOT_CAPABLE);
    EXPECT_EQ(t.rows, nullptr);
    t.type = 1;
    ASSERT_EQ(ops().GetOpTable(conn, &t), 0);
    ASSERT_EQ(t.rowCount, 9);
    EXPECT_EQ(t.rows[0].sqlType, 1);
    EXPECT_EQ(t.rows[0].mask, 0x2A31FEu);
    EXPECT_EQ(t.rows[8].sqlType, -2);
    EXPECT_EQ(ops().GetOpTable(0x7777, &t), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(ops().GetOpTable(conn, nullptr), ERR_INVALID_ARGUMENT);
}

TEST_F(BackendInfo, ScalarMapAndOptionsTakenOverAtConnect)
{
    drvOptions.sqlDbmsName = strdup("KestrunePG");
    drvOptions.maxRows = 5;
    ASSERT_EQ(Connect("krs_jvm_info_map"), 0);
    DrvConn *c = Rec();
    ASSERT_NE(c, nullptr);
    ASSERT_NE(c->scalarFunctions, nullptr);
    EXPECT_EQ(HASH_Get(c->scalarFunctions, "ABS"), 1u);
    EXPECT_EQ(HASH_Get(c->scalarFunctions, "USERNAME"), 47u);  // the later of its two rows
    EXPECT_EQ(HASH_Get(c->scalarFunctions, "YEAR"), 65u);
    EXPECT_EQ(c->scalarFunctions->entries, 64);
    EXPECT_STREQ(c->options.sqlDbmsName, "KestrunePG");
    EXPECT_EQ(c->options.maxRows, 5);
    EXPECT_EQ(drvOptions.sqlDbmsName, nullptr);  // the connection owns it now
    EXPECT_EQ(c->odbcVersion, 2);
    // Without the statement operations the type cache stays empty but usable.
    EXPECT_STREQ(typeInfoName(c->typeInfo, 4), "");
    drvOptions = DrvOptions{};
}

TEST_F(BackendInfo, InitialSqlRunsOnceAndFailuresDoNotStopIt)
{
    PgPsql(pg, "drop table if exists krs_jvm_init; create table krs_jvm_init(v text)");
    std::string base = pg.state + "/krs_jvm_init";
    std::ofstream(base + ".sql") << "insert into krs_jvm_init values ('a');\n"
                                    "select * from no_such_table;\n"
                                    "insert into krs_jvm_init\n   values ('b') ;\n"
                                    "insert into krs_jvm_init values ('never')\n";
    drvOptions.initialSql = strdup(base.c_str());  // ".sql" is added
    ASSERT_EQ(Connect("krs_jvm_init"), 0);
    EXPECT_EQ(PgPsql(pg, "select string_agg(v, ',' order by v) from krs_jvm_init"), "a,b");
    EXPECT_EQ(drvOptions.initialSql, nullptr);
    // A second connect without a new connection string runs no file.
    int second = 0;
    std::string props = "serverName=127.0.0.1;portNumber=" + std::to_string(pg.port) + ";databaseName=" + pg.db;
    DrvConnectParams p{};
    p.serverText = "";
    p.dsProps = props.c_str();
    p.user = pg.trustUser.c_str();
    p.password = "";
    ASSERT_EQ(ops().Connect(env, &p, &second), 0);
    EXPECT_EQ(PgPsql(pg, "select count(*) from krs_jvm_init"), "2");
    EXPECT_EQ(ops().Disconnect(second), 0);
    PgPsql(pg, "drop table krs_jvm_init");
    std::remove((base + ".sql").c_str());
}

} // namespace

// Row versions in KRSRVC over the JDBC back end and PostgreSQL: the
// cursor's own row-version connection opened from the registered connect
// parameters, rows reported new, unchanged and changed across refetches,
// versions kept apart per cursor, and the diagnostics of a missing table.
#include "tests/jvm/scs_support.h"

#include "odbc/contract/cursor_state.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_install.h"
#include "scrs/scs_keyset.h"
#include "scrs/scs_rvc.h"

#include <sql.h>
#include <sqlext.h>

namespace {

// A block of 32-bit integer columns, one row per vector entry; INT32_MIN
// stands for NULL.
constexpr int32_t kNull = INT32_MIN;
RowBlock *intRows(const std::vector<std::vector<int32_t>> &rows)
{
    const size_t cols = rows.empty() ? 1 : rows[0].size();
    RowBlock *b = newParamBlock(std::vector<ParamCol>(cols, ParamCol{VT_LONG, 4}), static_cast<int32_t>(rows.size()));
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < cols; ++c) {
            if (rows[r][c] == kNull)
                indOf(b, static_cast<int>(c), static_cast<int32_t>(r)) = RB_IND_NULL;
            else
                putCell(b, static_cast<int>(c), static_cast<int32_t>(r), rows[r][c]);
        }
    return b;
}

void release(RowBlock *b)
{
    RB_Free(b);
    free(b);
}

class RowVersions : public StmtTest, public ::testing::WithParamInterface<int> {
protected:
    int appConn = 0;

    void SetUp() override
    {
        StmtTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        ASSERT_EQ(scsConnect(GetParam(), &appConn), 0) << drainErrors(env);
        // The cursors' connections find the table in the schema their
        // properties name, apart from other tests' tables.
        psql("CREATE SCHEMA IF NOT EXISTS krs_rvc_jvm; DROP TABLE IF EXISTS krs_rvc_jvm.krsrvc;"
             "CREATE TABLE krs_rvc_jvm.krsrvc (hconn varchar(24), hcurs varchar(8), keyver char(32), "
             "rowver char(32))");
    }
    void TearDown() override
    {
        if (appConn) {
            EXPECT_EQ(scsOps().Disconnect(appConn), 0);
        }
        if (JvmInChild() && pg.port)
            psql("DROP SCHEMA IF EXISTS krs_rvc_jvm CASCADE");
        StmtTest::TearDown();
    }

    // A connection through the cursor library, so that its parameters are
    // registered, in string mode 0 or 1.
    int scsConnect(int mode, int *out)
    {
        static const char wide[] = {'W', 0x7F, 0x01, 0x01, 0};
        props = "serverName=127.0.0.1;portNumber=" + std::to_string(pg.port) + ";databaseName=" + pg.db +
                ";applicationName=krs_rvc_tests;currentSchema=krs_rvc_jvm";
        DrvConnectParams p{};
        p.serverText = mode ? wide : "";
        p.dsProps = props.c_str();
        p.user = pg.trustUser.c_str();
        p.password = "";
        return scsOps().Connect(env, &p, out);
    }

    int scsStmt()
    {
        int h = 0;
        EXPECT_EQ(scsOps().AllocStmt(appConn, &h), 0);
        return h;
    }

    // The statuses a check gives for key rows and rows.
    std::vector<int> check(RvcBinding *rvc, const std::vector<std::vector<int32_t>> &keys,
                           const std::vector<std::vector<int32_t>> &rows, int *rc,
                           std::vector<uint16_t> statuses = {})
    {
        KeySet ks;
        ks.keyRows = intRows(keys);
        RowBlock *values = intRows(rows);
        statuses.resize(rows.size(), 99);
        *rc = RVC_RowsCheck(rvc, &ks, values, statuses.data());
        release(ks.keyRows);
        ks.keyRows = nullptr;
        release(values);
        return std::vector<int>(statuses.begin(), statuses.end());
    }

    std::string storedCount(const RvcBinding &rvc)
    {
        char hconn[25], hcurs[9];
        rvc_CursorKey(&rvc, hconn, hcurs);
        return psql(std::string("SELECT count(*) FROM krs_rvc_jvm.krsrvc WHERE hconn = '") + hconn + "' AND hcurs = '" + hcurs +
                    "'");
    }

    std::string props;
};

TEST_P(RowVersions, RowsAreNewThenUnchangedThenChanged)
{
    const int stmt = scsStmt();
    RvcBinding rvc;
    ASSERT_EQ(RVC_Attach(&rvc, ScsLowerBinding(), appConn, stmt, 1), 0) << drainErrors(env);
    ASSERT_EQ(RVC_CursorRowsDelete(&rvc), 0);

    // Keys 1..3 with their rows; row 3's value goes from NULL to 0, which
    // must count as a change.
    const std::vector<std::vector<int32_t>> keys = {{1}, {2}, {3}};
    struct Step {
        const char *what;
        std::vector<std::vector<int32_t>> rows;
        std::vector<int> statuses;
    } steps[] = {
        {"first sight: stored, reported unchanged", {{1, 10}, {2, 20}, {3, kNull}}, {0, 0, 0}},
        {"seen again unchanged", {{1, 10}, {2, 20}, {3, kNull}}, {0, 0, 0}},
        {"two rows changed", {{1, 10}, {2, 21}, {3, 0}}, {0, 2, 2}},
        {"the new versions were stored", {{1, 10}, {2, 21}, {3, 0}}, {0, 0, 0}},
    };
    for (const Step &s : steps) {
        int rc = -1;
        EXPECT_EQ(check(&rvc, keys, s.rows, &rc), s.statuses) << s.what;
        EXPECT_EQ(rc, 0) << s.what << " " << drainErrors(stmt);
    }
    EXPECT_EQ(storedCount(rvc), "3");

    // A row the fetch found deleted (an empty row in its place) keeps its
    // status, and its stored version stays as it was.
    int gone = -1;
    EXPECT_EQ(check(&rvc, keys, {{1, 10}, {kNull, kNull}, {3, 0}}, &gone, {0, SQL_ROW_DELETED, 0}),
              (std::vector<int>{0, SQL_ROW_DELETED, 0}));
    EXPECT_EQ(gone, 0);
    EXPECT_EQ(check(&rvc, keys, {{1, 10}, {2, 21}, {3, 0}}, &gone), (std::vector<int>{0, 0, 0}));

    // A fourth key appears: stored, reported unchanged.
    int rc = -1;
    EXPECT_EQ(check(&rvc, {{1}, {4}}, {{1, 10}, {4, 40}}, &rc), (std::vector<int>{0, 0}));
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(storedCount(rvc), "4");

    ASSERT_EQ(RVC_CursorRowsDelete(&rvc), 0);
    EXPECT_EQ(storedCount(rvc), "0");
    EXPECT_EQ(RVC_Detach(&rvc), 0);
    EXPECT_EQ(rvc.rvStmt, 0u);
    scsOps().FreeStmt(stmt);
}

TEST_P(RowVersions, CursorsKeepTheirOwnVersionsAndConnections)
{
    const int s1 = scsStmt(), s2 = scsStmt();
    RvcBinding a, b;
    ASSERT_EQ(RVC_Attach(&a, ScsLowerBinding(), appConn, s1, 1), 0);
    ASSERT_EQ(RVC_Attach(&b, ScsLowerBinding(), appConn, s2, 1), 0);
    EXPECT_NE(a.rvStmt, b.rvStmt);
    EXPECT_EQ(rvc_RefCount(&a), 1);
    EXPECT_EQ(rvc_RefCount(&b), 1);
    EXPECT_EQ(rvc_OpenConnections(a.env), 2);
    // A binding that holds a connection is not given a second one.
    EXPECT_EQ(RVC_Attach(&a, ScsLowerBinding(), appConn, s1, 1), ERR_GENERAL);
    EXPECT_EQ(rvc_OpenConnections(a.env), 2);

    int rc = -1;
    check(&a, {{1}}, {{1, 10}}, &rc);
    ASSERT_EQ(rc, 0);
    // The other cursor has not seen the row: new to it, and then its own
    // version differs from the first cursor's without disturbing it.
    EXPECT_EQ(check(&b, {{1}}, {{1, 11}}, &rc), std::vector<int>{0});
    EXPECT_EQ(check(&a, {{1}}, {{1, 10}}, &rc), std::vector<int>{0});
    EXPECT_EQ(check(&b, {{1}}, {{1, 11}}, &rc), std::vector<int>{0});

    // Two versions under one key end the check.
    char hconn[25], hcurs[9];
    rvc_CursorKey(&a, hconn, hcurs);
    psql(std::string("INSERT INTO krs_rvc_jvm.krsrvc SELECT * FROM krs_rvc_jvm.krsrvc WHERE hconn = '") + hconn +
         "' AND hcurs = '" + hcurs + "'");
    check(&a, {{1}}, {{1, 10}}, &rc);
    EXPECT_EQ(rc, ERR_GENERAL);

    RVC_Detach(&a);
    EXPECT_EQ(rvc_OpenConnections(b.env), 1);
    RVC_Detach(&b);
    EXPECT_EQ(rvc_OpenConnections(b.env), 0);
    scsOps().FreeStmt(s1);
    scsOps().FreeStmt(s2);
}

TEST_P(RowVersions, AVersionThatCannotBeStoredIsARowError)
{
    const int stmt = scsStmt();
    RvcBinding rvc;
    ASSERT_EQ(RVC_Attach(&rvc, ScsLowerBinding(), appConn, stmt, 1), 0);
    int rc = -1;
    check(&rvc, {{1}}, {{1, 10}}, &rc);
    ASSERT_EQ(rc, 0);

    // Key 2 has no stored version: its UPDATE touches no row.
    uint8_t keys[2 * RVC_DIGEST_SIZE], rows[2 * RVC_DIGEST_SIZE];
    RowBlock *k = intRows({{1}, {2}}), *r = intRows({{1, 12}, {2, 20}});
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(RVC_RowDigest(k, i, keys + i * RVC_DIGEST_SIZE), 0);
        ASSERT_EQ(RVC_RowDigest(r, i, rows + i * RVC_DIGEST_SIZE), 0);
    }
    release(k);
    release(r);
    uint16_t statuses[2] = {SQL_ROW_UPDATED, SQL_ROW_UPDATED};
    EXPECT_EQ(RVC_VersionsUpdate(&rvc, keys, rows, statuses, 2), 0);
    EXPECT_EQ(statuses[0], SQL_ROW_UPDATED);
    EXPECT_EQ(statuses[1], SQL_ROW_ERROR);
    EXPECT_EQ(check(&rvc, {{1}}, {{1, 12}}, &rc), std::vector<int>{0});
    RVC_Detach(&rvc);
    scsOps().FreeStmt(stmt);
}

TEST_P(RowVersions, AMissingTableIsReportedOnTheApplicationStatement)
{
    psql("DROP TABLE krs_rvc_jvm.krsrvc");
    const int stmt = scsStmt();
    RvcBinding rvc;
    ASSERT_EQ(RVC_Attach(&rvc, ScsLowerBinding(), appConn, stmt, 1), 0);
    EXPECT_EQ(RVC_CursorRowsDelete(&rvc), ERR_NO_ROW_VERSION_TABLE);
    // The back end's own report comes with it, on the application's statement.
    ErrReport rep{};
    ASSERT_EQ(scsOps().GetErrors(stmt, &rep), 0);
    std::string all;
    for (uint32_t i = 0; i < rep.count; ++i) {
        all += rep.texts[i] ? rep.texts[i] : "";
        free(rep.texts[i]);
    }
    free(rep.texts);
    EXPECT_NE(all.find("krsrvc"), std::string::npos) << all;
    EXPECT_NE(all.find("42P01"), std::string::npos) << all;

    int rc = -1;
    check(&rvc, {{1}}, {{1, 1}}, &rc);
    EXPECT_NE(rc, 0);
    RVC_Detach(&rvc);
    scsOps().FreeStmt(stmt);
}

TEST_P(RowVersions, OnlyRegisteredConnectionsGetARowVersionConnection)
{
    RvcBinding rvc;
    // `conn` was opened on the back end itself, past the registry.
    EXPECT_EQ(RVC_Attach(&rvc, ScsLowerBinding(), conn, 0, 1), ERR_GENERAL);
    EXPECT_EQ(rvc.rvStmt, 0u);
    EXPECT_EQ(RVC_CursorRowsDelete(&rvc), ERR_GENERAL);
    EXPECT_EQ(RVC_Detach(&rvc), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, RowVersions, ::testing::Values(0, 1));

} // namespace

// The back end's XA branch operations and the XAResource bridge, called
// through the back end's own operation table against the PostgreSQL fixture
// (in a database of this program's own).
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-setup.h"
#include "drv_jdbc/j-xares.h"
#include "odbc/contract/drv_connect_params.h"
#include "drv_jdbc/j-optable.h"
#include "odbc/contract/drv_ops.h"
#include "tests/common/pg_env.h"
#include "tests/common/pg_xa.h"
#include "tests/jvm/jvm_child.h"
#include "tests/jvm/stmt_support.h"
#include "tests/jvm/xa_support.h"
#include "odbc/contract/xid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
const DrvOpTable &ops() { return *DRV_JdbcOpTable(); }

class XaBackend : public ::testing::Test {
protected:
    void SetUp() override
    {
        JVM_CHILD_ONLY();
        PgEnv base;
        ASSERT_TRUE(PgEnvLoad(base));
        pg = PgXaDatabase(base, "krs_xa_jvm");
        PgRollbackPrepared(pg);
        PgPsql(pg, "drop table if exists xa_t; create table xa_t (id int primary key, v text)");
        DriverLoadSetup();
        drvOptions = DrvOptions{};
        ASSERT_EQ(ops().EnvOpen(nullptr, &env), 0);
        opened = true;
        ASSERT_EQ(connect(&conn), 0) << drainErrors(env);
    }

    void TearDown() override
    {
        for (int h : conns) {
            EXPECT_EQ(ops().Disconnect(h), 0);
        }
        if (opened) {
            EXPECT_EQ(ops().EnvClose(env), 0);
        }
        if (!pg.db.empty())
            PgRollbackPrepared(pg);
    }

    int connect(int *out)
    {
        std::string props = xaProps(pg, app);
        DrvConnectParams p{};
        p.serverText = "";
        p.dsProps = props.c_str();
        p.user = pg.trustUser.c_str();
        p.password = "";
        int rc = ops().Connect(env, &p, out);
        if (rc == 0)
            conns.push_back(*out);
        return rc;
    }

    // Runs one statement on the back-end connection; its ErrorTable number.
    int exec(int c, const std::string &sql)
    {
        int stmt = 0;
        int rc = ops().AllocStmt(c, &stmt);
        if (rc != 0)
            return rc;
        rc = ops().ExecDirect(stmt, sql.c_str(), nullptr, 0, nullptr);
        if (rc != 0)
            ADD_FAILURE() << sql << ": " << drainErrors(stmt);
        ops().FreeStmt(stmt);
        return rc;
    }

    // start, one insert, end(TMSUCCESS) and prepare of a new branch.
    int prepareBranch(int c, XID &x, int id)
    {
        if (int rc = ops().XaStart(c, &x, 0, XA_TMNOFLAGS))
            return rc;
        if (exec(c, "insert into xa_t values (" + std::to_string(id) + ", 'x')") != 0)
            return -100;
        if (int rc = ops().XaEnd(c, &x, 0, XA_TMSUCCESS))
            return rc;
        return ops().XaPrepare(c, &x, 0, XA_TMNOFLAGS);
    }

    std::string rows() { return PgPsql(pg, "select string_agg(id::text, ',' order by id) from xa_t"); }

    PgEnv pg;
    std::string app = "krs_xa_jvm";
    int env = 0;
    bool opened = false;
    int conn = 0;
    std::vector<int> conns;
};

TEST_F(XaBackend, OpenMakesAnXaConnectionAndCloseMakesItPlainAgain)
{
    DrvConn *c = drvConnOf(conn);
    ASSERT_NE(c, nullptr);
    jobject plain = c->connection;
    EXPECT_EQ(ops().XaClose(conn, "", 0, XA_TMNOFLAGS), XA_OK);
    EXPECT_EQ(c->connection, plain);
    EXPECT_EQ(c->xaConnection, nullptr);

    ASSERT_EQ(ops().XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    ASSERT_NE(c->xaConnection, nullptr);
    ASSERT_NE(c->xaResource, nullptr);
    jobject xaConn = c->xaConnection;
    // The plain connection's pooled session is gone with its data source.
    EXPECT_EQ(PgSessions(pg, app, 1), 1);
    EXPECT_EQ(ops().XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XAER_INVAL);
    EXPECT_EQ(c->xaConnection, xaConn);
    EXPECT_EQ(exec(conn, "insert into xa_t values (1, 'on the XA connection')"), 0);

    EXPECT_EQ(ops().XaClose(conn, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    EXPECT_EQ(c->xaConnection, nullptr);
    EXPECT_EQ(c->xaResource, nullptr);
    EXPECT_NE(c->connection, nullptr);
    EXPECT_EQ(PgSessions(pg, app, 1), 1);
    EXPECT_EQ(exec(conn, "insert into xa_t values (2, 'plain again')"), 0);
    EXPECT_EQ(rows(), "1,2");
}

TEST_F(XaBackend, PreparedBranchIsInvisibleUntilAnotherConnectionCommitsIt)
{
    ASSERT_EQ(ops().XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    XID x = makeXid(4660, "global-1", "branch-1");
    ASSERT_EQ(prepareBranch(conn, x, 1), XA_OK) << drainErrors(conn);
    EXPECT_EQ(PgPreparedGids(pg), std::vector<std::string>{gidOf(x)});
    EXPECT_EQ(rows(), "");

    int other = 0;
    ASSERT_EQ(connect(&other), 0) << drainErrors(env);
    ASSERT_EQ(ops().XaOpen(other, 1, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(other);
    EXPECT_EQ(ops().XaCommit(other, &x, 0, XA_TMNOFLAGS), XA_OK) << drainErrors(other);
    EXPECT_EQ(rows(), "1");
    EXPECT_TRUE(PgPreparedGids(pg).empty());
}

TEST_F(XaBackend, OnePhaseCommitAndRollback)
{
    ASSERT_EQ(ops().XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    struct Case {
        const char *gtrid;
        int id;
        bool commit;
    } cases[] = {{"one-phase", 1, true}, {"rolled-back", 2, false}, {"one-phase-2", 3, true}};
    for (const Case &k : cases) {
        XID x = makeXid(1, k.gtrid, "b");
        ASSERT_EQ(ops().XaStart(conn, &x, 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
        ASSERT_EQ(exec(conn, "insert into xa_t values (" + std::to_string(k.id) + ", 'v')"), 0);
        ASSERT_EQ(ops().XaEnd(conn, &x, 0, XA_TMSUCCESS), XA_OK) << drainErrors(conn);
        int rc = k.commit ? ops().XaCommit(conn, &x, 0, XA_TMONEPHASE)
                          : ops().XaRollback(conn, &x, 0, XA_TMNOFLAGS);
        EXPECT_EQ(rc, XA_OK) << k.gtrid << ": " << drainErrors(conn);
    }
    EXPECT_EQ(rows(), "1,3");
    EXPECT_TRUE(PgPreparedGids(pg).empty());
}

TEST_F(XaBackend, ReadOnlyAndChangedBranchesBothVoteOk)
{
    // The JDBC driver prepares every branch and votes XA_OK; the vote is
    // passed on as it is.
    ASSERT_EQ(ops().XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    XID ro = makeXid(1, "read-only", "b");
    ASSERT_EQ(ops().XaStart(conn, &ro, 0, XA_TMNOFLAGS), XA_OK);
    ASSERT_EQ(exec(conn, "select count(*) from xa_t"), 0);
    ASSERT_EQ(ops().XaEnd(conn, &ro, 0, XA_TMSUCCESS), XA_OK);
    EXPECT_EQ(ops().XaPrepare(conn, &ro, 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    XID rw = makeXid(1, "changed", "b");
    EXPECT_EQ(prepareBranch(conn, rw, 1), XA_OK) << drainErrors(conn);
    EXPECT_EQ(PgPreparedGids(pg).size(), 2u);
    // A commit flag whose low 8 bits are 0 commits in two phases.
    EXPECT_EQ(jc_XAResource_commit(drvConnOf(conn), &rw, 0x100), XA_OK) << drainErrors(conn);
    EXPECT_EQ(ops().XaRollback(conn, &ro, 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    EXPECT_EQ(rows(), "1");
}

TEST_F(XaBackend, ErrorCodesOfTheResourceAreKept)
{
    ASSERT_EQ(ops().XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    XID unknown = makeXid(1, "never-started", "b");
    XID busy = makeXid(1, "busy", "b");
    struct Case {
        const char *what;
        int (*call)(int, XID *);
        int want;
    } cases[] = {
        {"commit", [](int c, XID *x) { return ops().XaCommit(c, x, 0, XA_TMNOFLAGS); }, XAER_NOTA},
        {"rollback", [](int c, XID *x) { return ops().XaRollback(c, x, 0, XA_TMNOFLAGS); }, XAER_NOTA},
        {"prepare", [](int c, XID *x) { return ops().XaPrepare(c, x, 0, XA_TMNOFLAGS); }, XAER_NOTA},
        {"forget", [](int c, XID *x) { return ops().XaForget(c, x, 0, XA_TMNOFLAGS); }, XAER_NOTA},
        {"end", [](int c, XID *x) { return ops().XaEnd(c, x, 0, XA_TMSUCCESS); }, XAER_PROTO},
    };
    for (const Case &k : cases) {
        EXPECT_EQ(k.call(conn, &unknown), k.want) << k.what;
        EXPECT_NE(drainErrors(conn).find("XAException"), std::string::npos) << k.what;
    }
    ASSERT_EQ(ops().XaStart(conn, &busy, 0, XA_TMNOFLAGS), XA_OK);
    EXPECT_EQ(ops().XaStart(conn, &unknown, 0, XA_TMNOFLAGS), XAER_PROTO);
    EXPECT_NE(drainErrors(conn).find("busy"), std::string::npos);
    EXPECT_EQ(ops().XaEnd(conn, &busy, 0, XA_TMFAIL), XA_OK) << drainErrors(conn);
    EXPECT_EQ(ops().XaRollback(conn, &busy, 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
}

TEST_F(XaBackend, RefusalsBeforeAnyJavaWork)
{
    XID x = makeXid(1, "g", "b");
    XID list[2];
    int handle = 0;
    int result = 0;
    // Every operation refuses asynchronous flags; the branch operations and
    // recovery also a connection that is not an XA connection, and all of
    // them an unknown connection.
    struct Case {
        const char *what;
        int (*call)(int conn, int flags, XID *x, XID *list, int *h, int *r);
    } cases[] = {
        {"open", [](int c, int f, XID *, XID *, int *, int *) { return ops().XaOpen(c, 1, "", 0, f); }},
        {"close", [](int c, int f, XID *, XID *, int *, int *) { return ops().XaClose(c, "", 0, f); }},
        {"start", [](int c, int f, XID *x, XID *, int *, int *) { return ops().XaStart(c, x, 0, f); }},
        {"end", [](int c, int f, XID *x, XID *, int *, int *) { return ops().XaEnd(c, x, 0, f); }},
        {"prepare", [](int c, int f, XID *x, XID *, int *, int *) { return ops().XaPrepare(c, x, 0, f); }},
        {"commit", [](int c, int f, XID *x, XID *, int *, int *) { return ops().XaCommit(c, x, 0, f); }},
        {"rollback", [](int c, int f, XID *x, XID *, int *, int *) { return ops().XaRollback(c, x, 0, f); }},
        {"forget", [](int c, int f, XID *x, XID *, int *, int *) { return ops().XaForget(c, x, 0, f); }},
        {"recover", [](int c, int f, XID *, XID *l, int *, int *) {
             return ops().XaRecover(c, l, 2, 0, f | XA_TMSTARTRSCAN);
         }},
        {"complete", [](int c, int f, XID *, XID *, int *h, int *r) {
             return ops().XaComplete(c, h, r, 0, f);
         }},
    };
    for (const Case &k : cases) {
        EXPECT_EQ(k.call(conn, XA_TMASYNC, &x, list, &handle, &result), XAER_INVAL) << k.what;
        EXPECT_EQ(k.call(0x0DBC7777, XA_TMNOFLAGS, &x, list, &handle, &result), XAER_INVAL) << k.what;
    }
    for (size_t i = 2; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_EQ(cases[i].call(conn, XA_TMNOFLAGS, &x, list, &handle, &result), XAER_INVAL)
            << "plain connection: " << cases[i].what;
    EXPECT_EQ(result, 0);

    ASSERT_EQ(ops().XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    EXPECT_EQ(ops().XaStart(conn, nullptr, 0, XA_TMNOFLAGS), XAER_INVAL);
    EXPECT_EQ(ops().XaRecover(conn, list, -1, 0, XA_TMSTARTRSCAN), XAER_INVAL);
    EXPECT_EQ(ops().XaRecover(conn, nullptr, 1, 0, XA_TMSTARTRSCAN), XAER_INVAL);
    EXPECT_EQ(ops().XaComplete(conn, &handle, &result, 0, XA_TMNOFLAGS), XAER_INVAL);
}

TEST_F(XaBackend, IdentifierPartsLongerThan64BytesNeverReachTheResource)
{
    ASSERT_EQ(ops().XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    struct Case {
        int32_t gtridLength;
        int32_t bqualLength;
    } cases[] = {{65, 0}, {0, 65}, {-1, 1}, {1, -1}, {64, 65}};
    for (const Case &k : cases) {
        XID x{};
        x.formatID = 1;
        x.gtrid_length = k.gtridLength;
        x.bqual_length = k.bqualLength;
        EXPECT_EQ(ops().XaStart(conn, &x, 0, XA_TMNOFLAGS), XAER_RMERR) << k.gtridLength;
        EXPECT_NE(drainErrors(conn).find("XAException"), std::string::npos) << k.gtridLength;
    }
    // The longest identifiers travel whole.
    XID longest = makeXid(-2, std::string(64, 'g'), std::string(64, 'q'));
    ASSERT_EQ(prepareBranch(conn, longest, 1), XA_OK) << drainErrors(conn);
    EXPECT_EQ(PgPreparedGids(pg), std::vector<std::string>{gidOf(longest)});
}

class XaRecovery : public XaBackend {
protected:
    void SetUp() override
    {
        XaBackend::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        ASSERT_EQ(ops().XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    }

    void prepareSome(int n)
    {
        for (int i = 0; i < n; ++i) {
            XID x = makeXid(9, "recover-" + std::to_string(i), "b");
            ASSERT_EQ(prepareBranch(conn, x, i), XA_OK) << drainErrors(conn);
            prepared.push_back(gidOf(x));
        }
        std::sort(prepared.begin(), prepared.end());
    }

    std::vector<std::string> prepared;
};

TEST_F(XaRecovery, ScanHandsOutTheBranchesInDoubtPieceByPiece)
{
    prepareSome(5);
    XID got[5];
    std::vector<std::string> seen;
    auto take = [&](int count, int flags) {
        int n = ops().XaRecover(conn, got, count, 0, flags);
        for (int i = 0; i < n; ++i)
            seen.push_back(gidOf(got[i]));
        return n;
    };
    EXPECT_EQ(take(2, XA_TMSTARTRSCAN), 2) << drainErrors(conn);
    EXPECT_EQ(take(2, XA_TMNOFLAGS), 2);
    EXPECT_EQ(take(2, XA_TMENDRSCAN), 1);
    EXPECT_EQ(take(2, XA_TMNOFLAGS), XAER_INVAL);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, prepared);
}

TEST_F(XaRecovery, OneCallWithStartAndEndHandsOutAllAndLeavesNoScan)
{
    prepareSome(3);
    XID got[10];
    EXPECT_EQ(ops().XaRecover(conn, got, 10, 0, XA_TMSTARTRSCAN | XA_TMENDRSCAN), 3) << drainErrors(conn);
    EXPECT_EQ(ops().XaRecover(conn, got, 10, 0, XA_TMNOFLAGS), XAER_INVAL);
}

TEST_F(XaRecovery, NoArrayWithCountZeroKeepsTheScan)
{
    prepareSome(2);
    XID got[10];
    EXPECT_EQ(ops().XaRecover(conn, nullptr, 0, 0, XA_TMSTARTRSCAN), 0) << drainErrors(conn);
    EXPECT_EQ(ops().XaRecover(conn, got, 10, 0, XA_TMENDRSCAN), 2);
}

TEST_F(XaRecovery, NothingInDoubtGivesAnEmptyScan)
{
    XID got[4];
    EXPECT_EQ(ops().XaRecover(conn, got, 4, 0, XA_TMSTARTRSCAN), 0) << drainErrors(conn);
    EXPECT_EQ(ops().XaRecover(conn, got, 4, 0, XA_TMNOFLAGS), 0);
    EXPECT_EQ(ops().XaRecover(conn, got, 4, 0, XA_TMENDRSCAN), 0);
    EXPECT_EQ(ops().XaRecover(conn, got, 4, 0, XA_TMNOFLAGS), XAER_INVAL);
}

TEST_F(XaRecovery, BranchesWithPartsLongerThan64BytesAreLeftOut)
{
    // Prepared by hand under a name the JDBC driver reads as an Xid whose
    // global transaction identifier has 65 bytes: no X/Open identifier.
    std::string longGid = XaGid(3, std::string(65, 'L'), "b");
    PgPsql(pg, "begin; insert into xa_t values (100, 'long'); prepare transaction '" + longGid + "'");
    ASSERT_EQ(PgPreparedGids(pg).size(), 1u);
    prepareSome(1);
    XID got[4];
    ASSERT_EQ(ops().XaRecover(conn, got, 4, 0, XA_TMSTARTRSCAN | XA_TMENDRSCAN), 1) << drainErrors(conn);
    EXPECT_EQ(gidOf(got[0]), prepared[0]);
}

TEST_F(XaBackend, RefusedOpenLeavesThePlainConnection)
{
    DrvConn *c = drvConnOf(conn);
    char *saved = c->xaClassName;
    c->xaClassName = nullptr;
    EXPECT_EQ(ops().XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XAER_INVAL);
    c->xaClassName = strdup("org/postgresql/NoSuchDataSource");
    EXPECT_EQ(ops().XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XAER_INVAL);
    EXPECT_NE(drainErrors(conn), "");
    free(c->xaClassName);
    c->xaClassName = saved;
    EXPECT_EQ(c->xaConnection, nullptr);
    EXPECT_EQ(exec(conn, "insert into xa_t values (1, 'still plain')"), 0);
    EXPECT_EQ(rows(), "1");
    EXPECT_EQ(PgSessions(pg, app, 1), 1);
    EXPECT_EQ(ops().XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
}
} // namespace

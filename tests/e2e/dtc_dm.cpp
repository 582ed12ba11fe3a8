// Enlistment in coordinator transactions through unixODBC with both
// libraries: the test coordinator library (KRS_DTC_LIBRARY) hands out the
// transactions, the application enlists a connection with
// SQL_ATTR_ENLIST_IN_DTC, works on it and commits or aborts through the
// coordinator, which drives the driver's resource manager.  Outcomes are
// checked over psql sessions; a branch left prepared by a coordinator that
// went down is found and ended through the driver's XA switch, as the
// coordinator's recovery would.  What may end a process runs in a child
// process of this program, whose exit status and output are checked: a
// connection freed while the coordinator still holds its branch, a process
// that returns from main while enlisted, and a child run with a trace file
// configured (the OLE Transactions lines of the "-xa" trace).
#include "tests/e2e/connect_common.h"

#include <dlfcn.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <atomic>
#include <cctype>
#include <regex>

#include "odbc/contract/xid.h"
#include "tests/common/pg_xa.h"
#include "tests/e2e/xa_monitor.h"
#include "tests/fakes/dtc/fake_dtc.h"

using conntest::Diag;
using conntest::Handles;
using conntest::Library;
using conntest::kLibraries;

namespace {

PgEnv g_base;
PgEnv g_pg;  // the tests' own database (prepared branches are per database)

// True in a child process that a parent test started for one DtcChild test.
bool InChild()
{
    const char *v = getenv("KRS_DTC_CHILD");
    return v && v[0] == '1';
}

// The data source a child works with (the parent names its library's).
std::string ChildDsn()
{
    const char *v = getenv("KRS_DTC_CHILD_DSN");
    return v && v[0] ? v : "e2e_dtc_w";
}

struct ChildRun {
    int status;
    std::string output;  // standard output and error
};

// Runs this program's test DtcChild.<name> in a child process, with `env`
// ("NAME=value ...") added to its environment.
ChildRun RunChild(const std::string &name, const std::string &env)
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return {-1, "no /proc/self/exe"};
    self[n] = '\0';
    std::string cmd = "KRS_DTC_CHILD=1 " + env + " '" + self + "' --gtest_filter=DtcChild." + name + " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return {-1, "popen failed"};
    ChildRun run{0, ""};
    char buf[4096];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, p)) > 0)
        run.output.append(buf, got);
    run.status = pclose(p);
    return run;
}

// The child ran its test to success and ended normally, and nothing reached
// the coordinator after its library was unloaded.
void ExpectCleanExit(const ChildRun &run)
{
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0)
        << "status " << run.status << "\n" << run.output;
    EXPECT_NE(run.output.find("[  PASSED  ] 1 test"), std::string::npos) << run.output;
    // "SIGSEGV (0xb)" is how the VM reports a crash; the VM's signal check
    // (-Xcheck:jni) may also warn "SIGSEGV handler modified!" while a process
    // exits, which is no crash.
    for (const char *bad : {"after unload", "free()", "corrupted", "Segmentation", "SIGSEGV (0xb)"})
        EXPECT_EQ(run.output.find(bad), std::string::npos) << bad << "\n" << run.output;
}

class DtcEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(g_base));
        g_pg = PgXaDatabase(g_base, "krs_dtc_e2e");
        ASSERT_TRUE(conntest::SetUpPrivateIni(g_pg, "e2e_dtc_", ""));
        if (!InChild())
            PgPsql(g_pg, "drop table if exists dtc_t; create table dtc_t(id int)");
    }
    void TearDown() override
    {
        if (!InChild())
            PgRollbackPrepared(g_pg);
        conntest::RemovePrivateFiles();
    }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new DtcEnv);

// The test coordinator's controls, from the library the driver loads.
struct Coordinator {
    void *lib = nullptr;
    ITransaction *(*begin)() = nullptr;
    void (*setOptions)(ITransaction *, const FakeDtcOptions *) = nullptr;
    int (*waitPrepared)(ITransaction *) = nullptr;
    void (*resume)(ITransaction *) = nullptr;
    void (*report)(ITransaction *, FakeDtcReport *) = nullptr;
    void (*xid)(ITransaction *, XID *) = nullptr;
    const char *(*connectText)() = nullptr;
    const char *(*driverName)() = nullptr;
    int (*outstanding)() = nullptr;
    int (*misuse)() = nullptr;
    int (*cookiesOpen)() = nullptr;
    void (*setUnavailable)(int) = nullptr;

    bool Load()
    {
        lib = dlopen(KRS_FAKE_DTC, RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            return false;
        bool ok = true;
        auto get = [&](auto &fn, const char *name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, name));
            ok = ok && fn;
        };
        get(begin, "FakeDtc_Begin");
        get(setOptions, "FakeDtc_SetOptions");
        get(waitPrepared, "FakeDtc_WaitPrepared");
        get(resume, "FakeDtc_Resume");
        get(report, "FakeDtc_Report");
        get(xid, "FakeDtc_Xid");
        get(connectText, "FakeDtc_ConnectText");
        get(driverName, "FakeDtc_DriverName");
        get(outstanding, "FakeDtc_Outstanding");
        get(misuse, "FakeDtc_Misuse");
        get(cookiesOpen, "FakeDtc_CookiesOpen");
        get(setUnavailable, "FakeDtc_SetUnavailable");
        return ok;
    }
};

Coordinator &Dtc()
{
    static Coordinator c;
    static bool loaded = c.Load();
    EXPECT_TRUE(loaded) << dlerror();
    return c;
}

// A transaction of the test coordinator, released at the end of its scope
// (or earlier by Release).
struct Tx {
    explicit Tx(FakeDtcOptions o = {}) : t(Dtc().begin()) { Dtc().setOptions(t, &o); }
    ~Tx() { Release(); }
    void Release()
    {
        if (t)
            t->Release();
        t = nullptr;
    }
    FakeDtcReport Report() const
    {
        FakeDtcReport r{};
        Dtc().report(t, &r);
        return r;
    }
    std::string Gid() const
    {
        XID x{};
        Dtc().xid(t, &x);
        return XaGid(x.formatID, std::string(x.data, static_cast<size_t>(x.gtrid_length)),
                     std::string(x.data + x.gtrid_length, static_cast<size_t>(x.bqual_length)));
    }
    ITransaction *t;
};

uint32_t Tid() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

std::string Rows() { return PgPsql(g_pg, "select string_agg(id::text, ',' order by id) from dtc_t"); }

SQLRETURN Enlist(SQLHDBC dbc, ITransaction *tx)
{
    return SQLSetConnectAttr(dbc, SQL_ATTR_ENLIST_IN_DTC, tx, SQL_IS_POINTER);
}

SQLRETURN Exec(SQLHDBC dbc, const std::string &sql, std::string *state = nullptr)
{
    SQLHSTMT s = nullptr;
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s);
    if (!conntest::Ok(rc))
        return rc;
    rc = SQLExecDirect(s, (SQLCHAR *)sql.c_str(), SQL_NTS);
    if (state)
        *state = Diag(SQL_HANDLE_STMT, s);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    return rc;
}

SQLRETURN Insert(SQLHDBC dbc, int id) { return Exec(dbc, "insert into dtc_t values (" + std::to_string(id) + ")"); }

class Enlistment : public ::testing::TestWithParam<Library> {
protected:
    void SetUp() override
    {
        if (InChild())
            GTEST_SKIP() << "this is the trace child";
        setenv("KRS_DTC_LIBRARY", KRS_FAKE_DTC, 1);
        PgPsql(g_pg, "delete from dtc_t");
        ASSERT_EQ(h.Connect(Dsn()), SQL_SUCCESS) << h.State();
    }
    void TearDown() override
    {
        if (InChild())
            return;
        EXPECT_EQ(Dtc().misuse(), 0) << "a coordinator object was released once too often";
    }
    std::string Dsn() const { return std::string("e2e_dtc_") + GetParam().tag; }

    SQLRETURN Enlist(ITransaction *tx) { return ::Enlist(h.dbc, tx); }
    SQLRETURN Unenlist() { return ::Enlist(h.dbc, nullptr); }
    SQLRETURN Insert(int id) { return ::Insert(h.dbc, id); }
    // The coordinator has every reference back and every cookie released.
    void ExpectAllReleased()
    {
        EXPECT_EQ(Dtc().outstanding(), 0);
        EXPECT_EQ(Dtc().cookiesOpen(), 0);
    }

    Handles h;
};

TEST_P(Enlistment, WithoutAUsableCoordinatorEnlistmentFailsWithIM932)
{
    // A coordinator library that cannot be loaded (the driver tries again
    // at the next enlistment).
    setenv("KRS_DTC_LIBRARY", "/nonexistent/libnocoordinator.so", 1);
    Tx tx;
    EXPECT_EQ(Enlist(tx.t), SQL_ERROR);
    std::string message;
    EXPECT_EQ(h.State(&message), "IM932");
    EXPECT_NE(message.find("no transaction coordinator is available"), std::string::npos) << message;
    // A coordinator that refuses its transaction manager.
    setenv("KRS_DTC_LIBRARY", KRS_FAKE_DTC, 1);
    Dtc().setUnavailable(1);
    EXPECT_EQ(Enlist(tx.t), SQL_ERROR);
    Dtc().setUnavailable(0);
    EXPECT_EQ(h.State(), "IM932");
    ExpectAllReleased();
    // The connection goes on unenlisted, in autocommit.
    EXPECT_EQ(Insert(1), SQL_SUCCESS);
    EXPECT_EQ(Rows(), "1");
    EXPECT_EQ(Unenlist(), SQL_ERROR);  // nothing to end
    EXPECT_EQ(h.State(), "25000");
}

TEST_P(Enlistment, CommitThroughTheCoordinatorOnItsOwnThreads)
{
    Tx tx({1, 0, 0, 0, 0});
    ASSERT_EQ(Enlist(tx.t), SQL_SUCCESS) << h.State();
    EXPECT_EQ(std::string(Dtc().connectText()).rfind("DSN=" + Dsn() + ";UID=" + g_pg.trustUser + ";PWD=", 0), 0u)
        << Dtc().connectText();
    // The data source's driver name, upper-cased (each library reads it once).
    std::string driver = GetParam().driver;
    for (char &c : driver)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(std::string(Dtc().driverName()), driver);
    ASSERT_EQ(Insert(1), SQL_SUCCESS);
    EXPECT_EQ(Rows(), "");  // inside the branch until the coordinator commits
    EXPECT_EQ(tx.t->Commit(0, 0, 0), S_OK);
    FakeDtcReport r = tx.Report();
    EXPECT_EQ(r.prepareDone, S_OK);
    EXPECT_EQ(r.commitDone, S_OK);
    EXPECT_NE(r.prepareThread, r.outcomeThread);
    EXPECT_NE(r.prepareThread, Tid());
    EXPECT_EQ(Rows(), "1");
    EXPECT_TRUE(PgPreparedGids(g_pg).empty());
    // A second connection sees the row.
    Handles other;
    ASSERT_EQ(other.Connect(Dsn()), SQL_SUCCESS);
    std::string state;
    EXPECT_EQ(Exec(other.dbc, "delete from dtc_t where id = 1", &state), SQL_SUCCESS) << state;
    EXPECT_EQ(Rows(), "");
    // The enlistment ends; the connection is itself again.
    EXPECT_EQ(Unenlist(), SQL_SUCCESS) << h.State();
    ExpectAllReleased();
    EXPECT_EQ(Insert(2), SQL_SUCCESS);
    EXPECT_EQ(Rows(), "2");
}

TEST_P(Enlistment, AbortThroughTheCoordinatorRemovesTheRow)
{
    Tx tx;
    ASSERT_EQ(Enlist(tx.t), SQL_SUCCESS) << h.State();
    ASSERT_EQ(Insert(1), SQL_SUCCESS);
    EXPECT_EQ(tx.t->Abort(nullptr, 0, 0), S_OK);
    EXPECT_EQ(tx.Report().abortDone, S_OK);
    EXPECT_EQ(tx.Report().prepares, 0);
    EXPECT_EQ(Rows(), "");
    EXPECT_EQ(Unenlist(), SQL_SUCCESS);
    ExpectAllReleased();
    EXPECT_EQ(Insert(3), SQL_SUCCESS);
    EXPECT_EQ(Rows(), "3");
}

TEST_P(Enlistment, EnlistingAgainFollowsTheTransactions)
{
    // After the outcome the connection joins the next transaction directly.
    {
        Tx first;
        ASSERT_EQ(Enlist(first.t), SQL_SUCCESS) << h.State();
        ASSERT_EQ(Insert(1), SQL_SUCCESS);
        EXPECT_EQ(first.t->Commit(0, 0, 0), S_OK);
    }
    {
        Tx second;
        ASSERT_EQ(Enlist(second.t), SQL_SUCCESS) << h.State();
        ASSERT_EQ(Insert(2), SQL_SUCCESS);
        EXPECT_EQ(Rows(), "1");  // the second row is in the new branch
        // While that branch waits for its outcome: the same transaction again
        // is nothing new, another one cannot be joined.
        EXPECT_EQ(Enlist(second.t), SQL_SUCCESS) << h.State();
        Tx third;
        EXPECT_EQ(Enlist(third.t), SQL_ERROR);
        EXPECT_EQ(h.State(), "25000");
        EXPECT_EQ(second.t->Abort(nullptr, 0, 0), S_OK);
        EXPECT_EQ(Rows(), "1");
        EXPECT_EQ(third.Report().prepares, 0);
    }
    EXPECT_EQ(Unenlist(), SQL_SUCCESS);
    ExpectAllReleased();
}

TEST_P(Enlistment, SinglePhaseRequestCommitsInOnePhase)
{
    Tx tx({0, 1, 0, 0, 0});
    ASSERT_EQ(Enlist(tx.t), SQL_SUCCESS) << h.State();
    ASSERT_EQ(Insert(4), SQL_SUCCESS);
    EXPECT_EQ(tx.t->Commit(0, 0, 0), S_OK);
    FakeDtcReport r = tx.Report();
    EXPECT_EQ(r.prepareDone, XACT_S_SINGLEPHASE);
    EXPECT_EQ(r.commits, 0);
    EXPECT_TRUE(PgPreparedGids(g_pg).empty());
    EXPECT_EQ(Rows(), "4");
    EXPECT_EQ(Unenlist(), SQL_SUCCESS);
    ExpectAllReleased();
}

TEST_P(Enlistment, CallsOnTheConnectionWaitWhileTheBranchIsPrepared)
{
    Tx tx({1, 0, 0, 1, 0});
    ASSERT_EQ(Enlist(tx.t), SQL_SUCCESS) << h.State();
    ASSERT_EQ(Insert(5), SQL_SUCCESS);
    HRESULT outcome = E_FAIL;
    std::thread coordinator([&] { outcome = tx.t->Commit(0, 0, 0); });
    ASSERT_EQ(Dtc().waitPrepared(tx.t), 1);
    std::atomic<bool> answered{false};
    SQLRETURN rc = SQL_ERROR;
    std::thread app([&] {
        rc = Exec(h.dbc, "select 1");
        answered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(answered.load()) << "a call ran while the branch was in doubt";
    Dtc().resume(tx.t);
    coordinator.join();
    app.join();
    EXPECT_EQ(outcome, S_OK);
    EXPECT_TRUE(answered.load());
    EXPECT_EQ(rc, SQL_SUCCESS);
    EXPECT_EQ(Rows(), "5");
    EXPECT_EQ(Unenlist(), SQL_SUCCESS);
    ExpectAllReleased();
}

TEST_P(Enlistment, CoordinatorDownAfterPrepareLeavesTheBranchForRecovery)
{
    Tx tx({0, 0, 1, 0, 0});
    ASSERT_EQ(Enlist(tx.t), SQL_SUCCESS) << h.State();
    ASSERT_EQ(Insert(6), SQL_SUCCESS);
    EXPECT_EQ(tx.t->Commit(0, 0, 0), XACT_E_INDOUBT);
    EXPECT_EQ(tx.Report().downs, 1);
    // The branch stays prepared, and the connection answers again.
    std::vector<std::string> gids = PgPreparedGids(g_pg);
    ASSERT_EQ(gids.size(), 1u);
    EXPECT_EQ(gids[0], tx.Gid());
    EXPECT_EQ(Rows(), "");
    EXPECT_EQ(Unenlist(), SQL_SUCCESS) << h.State();
    ExpectAllReleased();
    EXPECT_EQ(Exec(h.dbc, "select 1"), SQL_SUCCESS);

    // Recovery, as the coordinator does it: the driver's switch from
    // GetXaSwitch, opened with the connect text it was registered with.
    const std::string file = GetParam().tag[0] == 'w' ? "libquorvexw.so" : "libquorvexa.so";
    xamon::Driver drv(g_pg.libdir, xamon::Library{file.c_str(), "unused", GetParam().tag[0] == 'w'});
    ASSERT_TRUE(drv.Loaded());
    auto getSwitch = reinterpret_cast<int32_t (*)(uint32_t, xamon::xa_switch_t **)>(drv.Symbol("GetXaSwitch"));
    ASSERT_NE(getSwitch, nullptr);
    xamon::xa_switch_t *sw = nullptr;
    ASSERT_EQ(getSwitch(0, &sw), S_OK);
    std::string info = Dtc().connectText();
    std::thread recovery([&] {
        ASSERT_EQ(sw->xa_open_entry(&info[0], 1, xamon::TMNOFLAGS), xamon::XA_OK);
        xamon::XID found[8] = {};
        ASSERT_EQ(sw->xa_recover_entry(found, 8, 1, xamon::TMSTARTRSCAN | xamon::TMENDRSCAN), 1);
        EXPECT_EQ(found[0].formatID, FAKE_DTC_FORMAT);
        EXPECT_EQ(sw->xa_rollback_entry(&found[0], 1, xamon::TMNOFLAGS), xamon::XA_OK);
        EXPECT_EQ(sw->xa_close_entry(&info[0], 1, xamon::TMNOFLAGS), xamon::XA_OK);
    });
    recovery.join();
    EXPECT_TRUE(PgPreparedGids(g_pg).empty());
    EXPECT_EQ(Rows(), "");
}

TEST_P(Enlistment, UnenlistWithANullTransactionBeforeTheOutcome)
{
    Tx tx;
    ASSERT_EQ(Enlist(tx.t), SQL_SUCCESS) << h.State();
    EXPECT_EQ(Enlist(tx.t), SQL_SUCCESS);  // already enlisted
    ASSERT_EQ(Insert(7), SQL_SUCCESS);
    // The application ends its enlistment before the outcome: the branch's
    // work ends as failed and the connection is its own again, while the
    // coordinator still holds the branch.
    EXPECT_EQ(Unenlist(), SQL_SUCCESS) << h.State();
    EXPECT_GT(Dtc().outstanding(), 0);
    EXPECT_EQ(Insert(8), SQL_SUCCESS);
    EXPECT_EQ(Rows(), "8");
    // The coordinator's requests fail without reaching the connection.
    EXPECT_EQ(tx.t->Commit(0, 0, 0), XACT_E_ABORTED);
    EXPECT_EQ(tx.Report().prepareDone, E_FAIL);
    EXPECT_EQ(Rows(), "8");
    EXPECT_TRUE(PgPreparedGids(g_pg).empty());
    ExpectAllReleased();
    EXPECT_EQ(Unenlist(), SQL_ERROR);
    EXPECT_EQ(h.State(), "25000");
}

TEST_P(Enlistment, EnlistingAgainWhileTheCoordinatorStillHoldsTheLastBranch)
{
    FakeDtcOptions holding{};
    holding.holdAfterOutcome = 1;
    Tx first(holding);
    ASSERT_EQ(Enlist(first.t), SQL_SUCCESS) << h.State();
    ASSERT_EQ(Insert(1), SQL_SUCCESS);
    EXPECT_EQ(first.t->Commit(0, 0, 0), S_OK);
    EXPECT_EQ(Rows(), "1");
    {
        // The first coordinator transaction keeps its branch object; the
        // connection joins the next transaction all the same.
        Tx second;
        ASSERT_EQ(Enlist(second.t), SQL_SUCCESS) << h.State();
        ASSERT_EQ(Insert(2), SQL_SUCCESS);
        EXPECT_EQ(Rows(), "1");
        // A late request to the first branch reaches neither the connection
        // nor the second branch.
        EXPECT_EQ(first.t->Abort(nullptr, 0, 0), S_OK);
        EXPECT_EQ(first.Report().abortDone, E_FAIL);
        EXPECT_EQ(Rows(), "1");
        EXPECT_EQ(second.t->Commit(0, 0, 0), S_OK);
        EXPECT_EQ(second.Report().commitDone, S_OK);
        EXPECT_EQ(Rows(), "1,2");
    }
    // The first coordinator lets its branch go last: its end touches nothing.
    first.Release();
    EXPECT_EQ(Unenlist(), SQL_SUCCESS) << h.State();
    EXPECT_EQ(Insert(3), SQL_SUCCESS);
    EXPECT_EQ(Rows(), "1,2,3");
    EXPECT_TRUE(PgPreparedGids(g_pg).empty());
    ExpectAllReleased();
}

TEST_P(Enlistment, DisconnectBeforeTheOutcomeLetsTheCoordinatorFailSafely)
{
    Tx tx;
    ASSERT_EQ(Enlist(tx.t), SQL_SUCCESS) << h.State();
    ASSERT_EQ(Insert(8), SQL_SUCCESS);
    // The coordinator still holds the branch: the first disconnect says so,
    // the next one closes the connection (its work is rolled back).
    EXPECT_EQ(SQLDisconnect(h.dbc), SQL_ERROR);
    EXPECT_EQ(h.State(), "25000");
    EXPECT_EQ(SQLDisconnect(h.dbc), SQL_SUCCESS) << h.State();
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, h.dbc), SQL_SUCCESS);
    h.dbc = nullptr;
    // The coordinator's requests now fail without touching the freed connection.
    EXPECT_EQ(tx.t->Commit(0, 0, 0), XACT_E_ABORTED);
    EXPECT_EQ(tx.Report().prepareDone, E_FAIL);
    EXPECT_EQ(Rows(), "");
    EXPECT_TRUE(PgPreparedGids(g_pg).empty());
    ExpectAllReleased();
    SQLAllocHandle(SQL_HANDLE_DBC, h.env, &h.dbc);
}

// ---- what may end a process, in child processes ----

// The children: each works with the library of ChildDsn() and checks what it
// can itself; its parent checks how it ended.
class DtcChild : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!InChild())
            GTEST_SKIP() << "runs in a child process of a parent test";
        setenv("KRS_DTC_LIBRARY", KRS_FAKE_DTC, 1);
    }
};

TEST_F(DtcChild, UnenlistThenFreeTheConnectionBeforeTheOutcome)
{
    Handles h;
    ASSERT_EQ(h.Connect(ChildDsn()), SQL_SUCCESS) << h.State();
    {
        Tx tx;
        ASSERT_EQ(Enlist(h.dbc, tx.t), SQL_SUCCESS) << h.State();
        ASSERT_EQ(Insert(h.dbc, 9), SQL_SUCCESS);
        EXPECT_EQ(Enlist(h.dbc, nullptr), SQL_SUCCESS) << h.State();
        EXPECT_EQ(Insert(h.dbc, 10), SQL_SUCCESS);
        EXPECT_EQ(Rows(), "10");
        EXPECT_EQ(SQLDisconnect(h.dbc), SQL_SUCCESS) << h.State();
        EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, h.dbc), SQL_SUCCESS);
        h.dbc = nullptr;
        // The coordinator decides the branch after the connection is gone.
        EXPECT_EQ(tx.t->Commit(0, 0, 0), XACT_E_ABORTED);
        EXPECT_EQ(tx.Report().prepareDone, E_FAIL);
    }
    EXPECT_EQ(Dtc().outstanding(), 0);
    EXPECT_EQ(Dtc().misuse(), 0);
}

// A connection of the child that is never disconnected or freed: the
// process ends with it.
SQLHDBC LeftOpen()
{
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    const std::string dsn = ChildDsn();
    SQLRETURN rc = SQLConnect(dbc, (SQLCHAR *)dsn.c_str(), SQL_NTS, nullptr, 0, nullptr, 0);
    EXPECT_EQ(rc, SQL_SUCCESS) << Diag(SQL_HANDLE_DBC, dbc);
    return dbc;
}

TEST_F(DtcChild, ExitAfterTheOutcome)
{
    SQLHDBC dbc = LeftOpen();
    ITransaction *tx = Dtc().begin();
    ASSERT_EQ(Enlist(dbc, tx), SQL_SUCCESS) << Diag(SQL_HANDLE_DBC, dbc);
    ASSERT_EQ(Insert(dbc, 11), SQL_SUCCESS);
    EXPECT_EQ(tx->Commit(0, 0, 0), S_OK);
    EXPECT_EQ(Rows(), "11");
}

TEST_F(DtcChild, ExitWhileTheCoordinatorHoldsTheBranch)
{
    SQLHDBC dbc = LeftOpen();
    ITransaction *tx = Dtc().begin();
    ASSERT_EQ(Enlist(dbc, tx), SQL_SUCCESS) << Diag(SQL_HANDLE_DBC, dbc);
    ASSERT_EQ(Insert(dbc, 12), SQL_SUCCESS);
}

TEST_F(DtcChild, ExitWithAPlainConnectionOpen)
{
    SQLHDBC dbc = LeftOpen();
    ASSERT_EQ(Insert(dbc, 13), SQL_SUCCESS);
}

TEST_F(DtcChild, OneCommitTraced)
{
    Handles h;
    ASSERT_EQ(h.Connect(ChildDsn()), SQL_SUCCESS) << h.State();
    Tx tx;
    ASSERT_EQ(Enlist(h.dbc, tx.t), SQL_SUCCESS);
    EXPECT_EQ(tx.t->Commit(0, 0, 0), S_OK);
    EXPECT_EQ(Enlist(h.dbc, nullptr), SQL_SUCCESS);
}

TEST_P(Enlistment, ProcessesEndCleanlyWhateverTheEnlistmentLeftOpen)
{
    // Each child runs with freed memory overwritten, so that a use of it shows.
    struct Case {
        const char *child;
        const char *rows;  // the table's rows once the child has ended
    } cases[] = {
        {"UnenlistThenFreeTheConnectionBeforeTheOutcome", "10"},
        {"ExitAfterTheOutcome", "11"},
        {"ExitWhileTheCoordinatorHoldsTheBranch", ""},
        {"ExitWithAPlainConnectionOpen", "13"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.child);
        PgPsql(g_pg, "delete from dtc_t");
        ChildRun run = RunChild(c.child, "MALLOC_PERTURB_=165 KRS_DTC_CHILD_DSN=" + Dsn());
        ExpectCleanExit(run);
        EXPECT_EQ(Rows(), c.rows);
        EXPECT_TRUE(PgPreparedGids(g_pg).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Lib, Enlistment, ::testing::ValuesIn(kLibraries));

// ---- the OLE Transactions trace ----

TEST(DtcTrace, EnlistmentWritesTheOleTransactionsLines)
{
    if (InChild())
        GTEST_SKIP() << "this is the child";
    char dir[] = "/tmp/krs-dtctrace-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string trace = std::string(dir) + "/api.trc";
    ChildRun run = RunChild("OneCommitTraced", "KRS_DEBUGFILE='" + trace + "'");
    ExpectCleanExit(run);
    const std::string text = conntest::ReadFile(trace + "-xa");
    std::system(("rm -rf " + std::string(dir)).c_str());
    EXPECT_EQ(text.find("** Kestrune XA Trace File **"), 0u) << text;
    EXPECT_NE(text.find("** Kestrune OLE Transactions Interface: Trace file **\n** Started on "),
              std::string::npos)
        << text;
    for (const char *line : {
             R"(\[\d+\] COdbcResourceDispenser::COdbcResourceDispenser\(\)\n)",
             R"(\[\d+\] COdbcResourceDispenser::AddRef\(\), this=0x[0-9a-f]+, m_hConnect=[0-9A-F]+, m_cRef=1\n\[\d+\] Call returned: 1\n)",
             R"(\[\d+\] COdbcResourceDispenser::RMConnect\(\)\n\[\d+\] Call success    : Returned HRESULT: 0+\(S_OK\)\n)",
             R"(\[\d+\] COdbcResourceDispenser::RMEnlist\(\)\n)",
             R"(\[\d+\] CImpITransactionResourceAsync::PrepareRequest\(fSinglePhase=0\)\n)",
             R"(\[\d+\] CImpITransactionResourceAsync::CommitRequest\(\)\n)",
             R"(\[\d+\] COdbcResourceDispenser::~COdbcResourceDispenser\(\)\n)",
         })
        EXPECT_TRUE(std::regex_search(text, std::regex(line))) << line << "\n" << text;
    // The OLE Transactions module closed the file: no "normal end" of the XA switch.
    EXPECT_EQ(text.find("** normal end **"), std::string::npos) << text;
    EXPECT_EQ(text.find("PWD="), std::string::npos);
}

} // namespace

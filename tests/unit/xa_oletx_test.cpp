// The MS DTC resource manager against the test coordinator library and a
// scripted back end: the XA calls of each coordinator request and their
// results, the branch states, the connection's call lock while the branch
// is prepared, reference counts and the objects handed back.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "odbc/contract/drv_ops.h"
#include "odbc/contract/xid.h"
#include "tests/fakes/dtc/fake_dtc.h"
#include "xa/oletx.h"
#include "xa/xa_switch.h"
#include "xa/xat.h"

namespace {

// ---- the scripted back end ----

struct Script {
    std::vector<std::string> calls;
    int open = XA_OK, start = XA_OK, end = XA_OK, prepare = XA_OK, commit = XA_OK,
        rollback = XA_OK, close = XA_OK;
    std::string closeInfo;
} g;

std::string flagName(int flags)
{
    switch (flags) {
    case XA_TMSUCCESS: return "(TMSUCCESS)";
    case XA_TMFAIL: return "(TMFAIL)";
    case XA_TMONEPHASE: return "(TMONEPHASE)";
    default: return "";
    }
}

int xaOpen(int, int, const char *, int, int) { g.calls.push_back("open"); return g.open; }
int xaClose(int, const char *info, int, int)
{
    g.calls.push_back("close");
    g.closeInfo = info;
    return g.close;
}
int xaStart(int, XID *, int, int) { g.calls.push_back("start"); return g.start; }
int xaEnd(int, XID *, int, int f) { g.calls.push_back("end" + flagName(f)); return g.end; }
int xaPrepare(int, XID *, int, int) { g.calls.push_back("prepare"); return g.prepare; }
int xaCommit(int, XID *, int, int f) { g.calls.push_back("commit" + flagName(f)); return g.commit; }
int xaRollback(int, XID *, int, int) { g.calls.push_back("rollback"); return g.rollback; }

DrvOpTable MakeTable()
{
    DrvOpTable t{};
    t.XaOpen = xaOpen;
    t.XaClose = xaClose;
    t.XaStart = xaStart;
    t.XaEnd = xaEnd;
    t.XaPrepare = xaPrepare;
    t.XaCommit = xaCommit;
    t.XaRollback = xaRollback;
    return t;
}
DrvOpTable g_table = MakeTable();
DrvBinding g_binding{1, &g_table};

std::string Calls()
{
    std::string s;
    for (const std::string &c : g.calls)
        s += (s.empty() ? "" : ",") + c;
    g.calls.clear();
    return s;
}

// ---- the test coordinator's controls ----

struct Coordinator {
    ITransaction *(*begin)();
    void (*report)(ITransaction *, FakeDtcReport *);
    const char *(*connectText)();
    const char *(*driverName)();
    int (*outstanding)();
    int (*misuse)();
    int (*cookiesOpen)();
    void (*setUnavailable)(int);
} dtc;

template <class F>
void Bind(void *lib, F &fn, const char *name)
{
    fn = reinterpret_cast<F>(dlsym(lib, name));
    ASSERT_NE(fn, nullptr) << name;
}

std::string g_dir;

class OleTxEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        char dir[] = "/tmp/krs-oletx-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        g_dir = dir;
        std::ofstream(g_dir + "/odbc.ini") << "[dtcdsn]\nDriver = C:\\Drivers\\Kestrune\\quorvexw.dll\n"
                                           << "XaInfo = xa-open-text\n";
        setenv("ODBCINI", (g_dir + "/odbc.ini").c_str(), 1);
        setenv("ODBCSYSINI", g_dir.c_str(), 1);
        void *lib = dlopen(KRS_FAKE_DTC, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << dlerror();
        Bind(lib, dtc.begin, "FakeDtc_Begin");
        Bind(lib, dtc.report, "FakeDtc_Report");
        Bind(lib, dtc.connectText, "FakeDtc_ConnectText");
        Bind(lib, dtc.driverName, "FakeDtc_DriverName");
        Bind(lib, dtc.outstanding, "FakeDtc_Outstanding");
        Bind(lib, dtc.misuse, "FakeDtc_Misuse");
        Bind(lib, dtc.cookiesOpen, "FakeDtc_CookiesOpen");
        Bind(lib, dtc.setUnavailable, "FakeDtc_SetUnavailable");
    }
    void TearDown() override { std::system(("rm -rf " + g_dir).c_str()); }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new OleTxEnv);

// One enlisted dispenser over the scripted back end, with the connection's
// call lock; the handle layer's reference is given back at the end.
class Branch : public ::testing::Test {
protected:
    void SetUp() override
    {
        g = Script{};
        setenv("KRS_DTC_LIBRARY", KRS_FAKE_DTC, 1);
        ASSERT_EQ(OleTx_Init(), 0);
        // What an earlier test left to the coordinator on purpose.
        live = CObjCounter::Live();
        outstanding = dtc.outstanding();
        cookies = dtc.cookiesOpen();
        tx = dtc.begin();
        d = static_cast<COdbcResourceDispenser *>(OleTx_CreateDispenser(
            tx, 7, 42, &g_binding, nullptr, &callLock, "DSN=dtcdsn;UID=me;PWD=secret;"));
        ASSERT_NE(d, nullptr);
    }
    void TearDown() override
    {
        Drop();
        // The coordinator lets go of its transaction (and so of the
        // resource object it kept), then the handle layer of the dispenser.
        EndTransaction();
        if (d) {
            EXPECT_EQ(OleTx_ReleaseDispenser(d), 0);
        }
        EXPECT_EQ(CObjCounter::Live(), live);
        EXPECT_EQ(dtc.outstanding(), outstanding) << "a coordinator object was not released";
        EXPECT_EQ(dtc.cookiesOpen(), cookies);
        EXPECT_EQ(dtc.misuse(), 0) << "a coordinator object was released twice";
    }
    // Connects and enlists; the coordinator then holds the resource object.
    void Enlist()
    {
        ASSERT_EQ(OleTx_RMConnect(d), 0);
        ASSERT_EQ(OleTx_RMEnlist(d), 0);
        ASSERT_EQ(Calls(), "open,start");
        ASSERT_EQ(d->QueryInterface(IID_ITransactionResourceAsync, reinterpret_cast<void **>(&res)),
                  S_OK);
    }
    void EndTransaction()
    {
        if (tx)
            tx->Release();
        tx = nullptr;
    }
    // The test lets go of its own reference to the resource object.
    void Drop()
    {
        if (res)
            res->Release();
        res = nullptr;
    }
    FakeDtcReport Report()
    {
        FakeDtcReport r{};
        dtc.report(tx, &r);
        return r;
    }

    PL_CallLock callLock;
    int32_t live = 0;
    int outstanding = 0;
    int cookies = 0;
    ITransaction *tx = nullptr;
    COdbcResourceDispenser *d = nullptr;
    ITransactionResourceAsync *res = nullptr;
};

TEST(OleTxInit, WithoutACoordinatorLibraryNothingCanBeEnlisted)
{
    // Runs first: no coordinator library has been loaded in this process yet.
    unsetenv("KRS_DTC_LIBRARY");
    EXPECT_EQ(OleTx_Init(), -1);
    setenv("KRS_DTC_LIBRARY", "/nonexistent/libcoordinator.so", 1);
    EXPECT_EQ(OleTx_Init(), -1);
    xa_switch_t *sw = nullptr;
    EXPECT_EQ(GetXaSwitch(0, &sw), E_FAIL);
    EXPECT_EQ(sw, nullptr);
    setenv("KRS_DTC_LIBRARY", KRS_FAKE_DTC, 1);
    EXPECT_EQ(OleTx_Init(), 0);
    EXPECT_EQ(GetXaSwitch(0, &sw), S_OK);
    EXPECT_NE(sw, nullptr);
    EXPECT_EQ(GetXaSwitch(0, nullptr), E_INVALIDARG);
    // Null dispensers are refused.
    EXPECT_EQ(OleTx_ReleaseDispenser(nullptr), -1);
    EXPECT_EQ(OleTx_RMConnect(nullptr), -1);
    EXPECT_EQ(OleTx_RMEnlist(nullptr), -1);
}

TEST_F(Branch, RegistersWithTheConnectTextAndTheDriverFileName)
{
    Enlist();
    EXPECT_STREQ(dtc.connectText(), "DSN=dtcdsn;UID=me;PWD=secret;");
    EXPECT_STREQ(dtc.driverName(), "QUORVEXW.DLL");
    Drop();
    EndTransaction();
    EXPECT_EQ(OleTx_ReleaseDispenser(d), 0);
    d = nullptr;
    // Released while active: the branch is ended as failed and the XA
    // connection closed with the data source's XaInfo.
    EXPECT_EQ(Calls(), "end(TMFAIL),close");
    EXPECT_EQ(g.closeInfo, "xa-open-text");
}

TEST_F(Branch, CommitThroughTheCoordinator)
{
    Enlist();
    EXPECT_EQ(tx->Commit(0, 0, 0), S_OK);
    EXPECT_EQ(Calls(), "end(TMSUCCESS),prepare,commit");
    EXPECT_EQ(Report().prepareDone, S_OK);
    EXPECT_EQ(Report().commitDone, S_OK);
    EXPECT_EQ(d->State(), DTC_NONE);
    EXPECT_TRUE(callLock.IsFree());
    res->Release();  // the test's own reference from QueryInterface
    res = nullptr;
}

TEST_F(Branch, AbortOfAnActiveBranchEndsThenRollsBack)
{
    Enlist();
    EXPECT_EQ(tx->Abort(nullptr, 0, 0), S_OK);
    EXPECT_EQ(Calls(), "end(TMSUCCESS),rollback");
    EXPECT_EQ(Report().abortDone, S_OK);
    EXPECT_EQ(d->State(), DTC_NONE);
    Drop();
}

struct PrepareCase {
    const char *label;
    int end, prepare;
    HRESULT hr;
    int32_t state;
    const char *calls;
};

const PrepareCase kPrepareCases[] = {
    {"Prepared", XA_OK, XA_OK, S_OK, DTC_PREPARED, "end(TMSUCCESS),prepare"},
    {"ReadOnly", XA_OK, XA_RDONLY, XACT_S_READONLY, DTC_NONE, "end(TMSUCCESS),prepare"},
    {"ResourceError", XA_OK, XAER_RMERR, E_FAIL, DTC_ENDED, "end(TMSUCCESS),prepare"},
    {"Unknown", XA_OK, XAER_NOTA, E_FAIL, DTC_NONE, "end(TMSUCCESS),prepare"},
    {"EndFails", XAER_RMERR, XA_OK, E_FAIL, DTC_ACTIVE, "end(TMSUCCESS)"},
    {"EndReadOnly", XA_RDONLY, XA_OK, XACT_S_READONLY, DTC_ACTIVE, "end(TMSUCCESS)"},
};

class PrepareResults : public Branch, public ::testing::WithParamInterface<PrepareCase> {};

TEST_P(PrepareResults, StateResultAndCallLock)
{
    const PrepareCase &c = GetParam();
    Enlist();
    g.end = c.end;
    g.prepare = c.prepare;
    EXPECT_EQ(res->PrepareRequest(0, 0, 0, 0), c.hr);
    EXPECT_EQ(Calls(), c.calls);
    EXPECT_EQ(Report().prepareDone, c.hr);
    EXPECT_EQ(d->State(), c.state);
    // The call lock is held exactly while the branch is prepared.
    EXPECT_EQ(callLock.IsFree(), c.state != DTC_PREPARED);
    EXPECT_EQ(d->HoldsCallLock(), c.state == DTC_PREPARED);
    g = Script{};
    EXPECT_EQ(res->AbortRequest(nullptr, 0, nullptr), S_OK);
    EXPECT_TRUE(callLock.IsFree());
    Drop();
}

INSTANTIATE_TEST_SUITE_P(Results, PrepareResults, ::testing::ValuesIn(kPrepareCases),
                         [](const ::testing::TestParamInfo<PrepareCase> &i) { return i.param.label; });

TEST_F(Branch, PreparedBranchHoldsTheCallLockUntilTheOutcomeFromAnotherThread)
{
    Enlist();
    std::thread([&] { EXPECT_EQ(res->PrepareRequest(0, 0, 0, 0), S_OK); }).join();
    EXPECT_FALSE(callLock.TryEnter());  // the application waits
    EXPECT_FALSE(callLock.Leave());     // and cannot end the hold itself
    // A commit the back end wants retried keeps the branch prepared and held.
    g.commit = XA_RETRY;
    std::thread([&] { EXPECT_EQ(res->CommitRequest(0, nullptr), E_FAIL); }).join();
    EXPECT_EQ(d->State(), DTC_PREPARED);
    EXPECT_FALSE(callLock.IsFree());
    g.commit = XA_OK;
    std::thread([&] { EXPECT_EQ(res->CommitRequest(0, nullptr), S_OK); }).join();
    EXPECT_EQ(Calls(), "end(TMSUCCESS),prepare,commit,commit");
    EXPECT_TRUE(callLock.IsFree());
    EXPECT_TRUE(callLock.TryEnter());
    EXPECT_TRUE(callLock.Leave());
    Drop();
}

TEST_F(Branch, FailedPrepareOfAPreparedBranchGivesTheCallLockBack)
{
    Enlist();
    EXPECT_EQ(res->PrepareRequest(0, 0, 0, 0), S_OK);
    EXPECT_FALSE(callLock.IsFree());
    // A second prepare takes no second hold ...
    EXPECT_EQ(res->PrepareRequest(0, 0, 0, 0), S_OK);
    EXPECT_EQ(callLock.HoldCount(), 1u);
    // ... and one that fails leaves the prepared state and lets go.
    g.prepare = XAER_RMERR;
    EXPECT_EQ(res->PrepareRequest(0, 0, 0, 0), E_FAIL);
    EXPECT_EQ(d->State(), DTC_ENDED);
    EXPECT_TRUE(callLock.IsFree());
    // A later abort rolls back without another end.
    Calls();
    EXPECT_EQ(res->AbortRequest(nullptr, 0, nullptr), S_OK);
    EXPECT_EQ(Calls(), "rollback");
    Drop();
}

TEST_F(Branch, SinglePhaseRequestCommitsInOnePhase)
{
    Enlist();
    EXPECT_EQ(res->PrepareRequest(0, 0, 0, 1), XACT_S_SINGLEPHASE);
    EXPECT_EQ(Calls(), "end(TMSUCCESS),commit(TMONEPHASE)");
    EXPECT_EQ(Report().prepareDone, XACT_S_SINGLEPHASE);
    EXPECT_EQ(d->State(), DTC_NONE);
    EXPECT_TRUE(callLock.IsFree());
    EXPECT_EQ(callLock.HoldCount(), 0u);
    Drop();
}

TEST_F(Branch, SinglePhaseFailureRollsBackAndReportsFailure)
{
    Enlist();
    g.commit = XAER_RMERR;
    EXPECT_EQ(res->PrepareRequest(0, 0, 0, 1), E_FAIL);
    EXPECT_EQ(Calls(), "end(TMSUCCESS),commit(TMONEPHASE),rollback");
    EXPECT_EQ(d->State(), DTC_NONE);
    EXPECT_TRUE(callLock.IsFree());
    Drop();
}

TEST_F(Branch, CoordinatorDownKeepsAPreparedBranchForRecovery)
{
    Enlist();
    EXPECT_EQ(res->PrepareRequest(0, 0, 0, 0), S_OK);
    Calls();
    EXPECT_EQ(res->TMDown(), S_OK);
    EXPECT_EQ(Calls(), "");  // no rollback of the prepared branch
    EXPECT_TRUE(callLock.IsFree());
    Drop();
    EndTransaction();
    EXPECT_EQ(OleTx_ReleaseDispenser(d), 0);
    d = nullptr;
    EXPECT_EQ(Calls(), "close");
}

TEST_F(Branch, CoordinatorDownRollsBackAnActiveBranch)
{
    Enlist();
    EXPECT_EQ(res->TMDown(), S_OK);
    EXPECT_EQ(Calls(), "end(TMFAIL),rollback");
    EXPECT_EQ(d->State(), DTC_NONE);
    Drop();
}

TEST_F(Branch, FailedOpenAndStartGiveTheModulesOwnResult)
{
    g.open = XAER_RMERR;
    EXPECT_EQ(d->RMConnect(), E_KRS_XA_FAILED);
    EXPECT_EQ(Calls(), "open");
    EXPECT_EQ(dtc.outstanding(), outstanding);  // the pipe went back at once
    EXPECT_EQ(OleTx_ReleaseDispenser(d), 0);
    d = nullptr;
    EXPECT_EQ(Calls(), "");  // never opened, nothing to close

    d = static_cast<COdbcResourceDispenser *>(
        OleTx_CreateDispenser(tx, 7, 42, &g_binding, nullptr, &callLock, "DSN=dtcdsn;"));
    g = Script{};
    g.start = XAER_PROTO;
    EXPECT_EQ(d->RMConnect(), S_OK);
    EXPECT_EQ(d->RMEnlist(), E_KRS_XA_FAILED);
    EXPECT_EQ(d->State(), DTC_NONE);
    EXPECT_EQ(OleTx_ReleaseDispenser(d), 0);
    d = nullptr;
    EXPECT_EQ(Calls(), "open,start,close");
}

TEST_F(Branch, ConnectionClosingUnderAHeldBranchIsLetGo)
{
    Enlist();
    Drop();
    EXPECT_EQ(res, nullptr);
    // The coordinator holds the dispenser; the connection closes.
    ITransactionResourceAsync *coordinatorRef = nullptr;
    ASSERT_EQ(d->QueryInterface(IID_ITransactionResourceAsync, reinterpret_cast<void **>(&coordinatorRef)),
              S_OK);
    EXPECT_EQ(OleTx_CloseDispenser(d), 2);  // the test's and the coordinator's own
    d = nullptr;
    // Later requests fail without reaching the connection that is gone.
    EXPECT_EQ(coordinatorRef->PrepareRequest(0, 0, 0, 0), E_FAIL);
    EXPECT_EQ(coordinatorRef->AbortRequest(nullptr, 0, nullptr), E_FAIL);
    EXPECT_EQ(Calls(), "");
    EXPECT_TRUE(callLock.IsFree());
    EXPECT_EQ(coordinatorRef->Release(), 1u);
    EXPECT_EQ(OleTx_CloseDispenser(nullptr), -1);
}

TEST_F(Branch, EndingTheEnlistmentGivesTheConnectionBackWhileTheCoordinatorHoldsTheBranch)
{
    Enlist();
    // The test's and the coordinator's references stay.
    EXPECT_EQ(OleTx_ReleaseDispenser(d), 2);
    d = nullptr;
    EXPECT_EQ(Calls(), "end(TMFAIL),close");
    EXPECT_EQ(g.closeInfo, "xa-open-text");
    // The coordinator's later requests fail without reaching the connection,
    // which may since have enlisted again or gone.
    EXPECT_EQ(res->PrepareRequest(0, 0, 0, 0), E_FAIL);
    EXPECT_EQ(res->AbortRequest(nullptr, 0, nullptr), E_FAIL);
    EXPECT_EQ(res->TMDown(), S_OK);
    EXPECT_EQ(Calls(), "");
    EXPECT_TRUE(callLock.IsFree());
    Drop();
    EndTransaction();
    EXPECT_EQ(Calls(), "");  // nor does its destruction
}

TEST_F(Branch, ClosingTheOnlyReferenceEndsTheBranchAsARelease)
{
    Enlist();
    Drop();
    EndTransaction();
    EXPECT_EQ(OleTx_CloseDispenser(d), 0);
    d = nullptr;
    EXPECT_EQ(Calls(), "end(TMFAIL),close");
}

TEST_F(Branch, PrepareWaitsForTheApplicationsCallInProgress)
{
    Enlist();
    callLock.Enter();  // the application is inside a call on the connection
    std::atomic<bool> prepared{false};
    std::thread coordinator([&] {
        EXPECT_EQ(res->PrepareRequest(0, 0, 0, 0), S_OK);
        prepared = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(prepared.load());
    EXPECT_TRUE(callLock.Leave());
    coordinator.join();
    EXPECT_TRUE(d->HoldsCallLock());
    EXPECT_FALSE(callLock.TryEnter());
    EXPECT_EQ(res->CommitRequest(0, nullptr), S_OK);
    EXPECT_TRUE(callLock.IsFree());
}

TEST_F(Branch, UnavailableCoordinatorPassesItsResultThrough)
{
    dtc.setUnavailable(1);
    EXPECT_EQ(d->RMConnect(), static_cast<HRESULT>(0x8004D01Bu));
    dtc.setUnavailable(0);
    EXPECT_EQ(Calls(), "");
}

TEST_F(Branch, ReferenceCountsAndInterfaces)
{
    void *out = nullptr;
    EXPECT_EQ(d->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
    EXPECT_EQ(d->QueryInterface(IID_IDtcToXaHelperSinglePipe, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(d->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, static_cast<IOdbcResourceDispenser *>(d));
    EXPECT_EQ(d->GetDispenser(nullptr), E_INVALIDARG);
    ITransactionResourceAsync *r = nullptr;
    EXPECT_EQ(d->QueryInterface(IID_ITransactionResourceAsync, reinterpret_cast<void **>(&r)), S_OK);
    EXPECT_EQ(r->AddRef(), 4u);  // the resource object counts with its owner
    EXPECT_EQ(r->Release(), 3u);
    EXPECT_EQ(r->Release(), 2u);
    EXPECT_EQ(d->Release(), 1u);
    EXPECT_EQ(CObjCounter::Live(), 1);
    // Callbacks without an enlistment touch nothing.
    EXPECT_EQ(r->PrepareRequest(0, 0, 0, 0), XACT_E_NOTRANSACTION);
    EXPECT_EQ(r->CommitRequest(0, nullptr), XACT_E_NOTRANSACTION);
    EXPECT_EQ(Calls(), "");
    EXPECT_EQ(OleTx_ReleaseDispenser(d), 0);  // the last reference destroys
    d = nullptr;
}

TEST(OleTxExit, ProcessExitCallsNeitherTheBackEndNorTheCoordinator)
{
    g = Script{};
    setenv("KRS_DTC_LIBRARY", KRS_FAKE_DTC, 1);
    ASSERT_EQ(OleTx_Init(), 0);
    PL_CallLock callLock;
    // One branch the coordinator still holds, one it has let go.
    ITransaction *held = dtc.begin();
    ITransaction *done = dtc.begin();
    void *heldBranch = OleTx_CreateDispenser(held, 7, 42, &g_binding, nullptr, &callLock, "DSN=dtcdsn;");
    void *doneBranch = OleTx_CreateDispenser(done, 7, 43, &g_binding, nullptr, &callLock, "DSN=dtcdsn;");
    for (void *b : {heldBranch, doneBranch}) {
        ASSERT_EQ(OleTx_RMConnect(b), 0);
        ASSERT_EQ(OleTx_RMEnlist(b), 0);
    }
    EXPECT_EQ(done->Commit(0, 0, 0), S_OK);
    Calls();
    const int outstanding = dtc.outstanding();
    const int cookies = dtc.cookiesOpen();
    const int32_t live = CObjCounter::Live();
    EXPECT_EQ(OleTx_DropDispenser(heldBranch), 1);
    EXPECT_EQ(OleTx_DropDispenser(doneBranch), 0);
    OleTx_Term(true);
    EXPECT_EQ(Calls(), "");
    EXPECT_EQ(dtc.outstanding(), outstanding);
    EXPECT_EQ(dtc.cookiesOpen(), cookies);
    EXPECT_EQ(dtc.misuse(), 0);
    // The branch the coordinator holds is left to it, and answers it
    // without reaching the back end.
    EXPECT_EQ(CObjCounter::Live(), live - 1);
    EXPECT_EQ(held->Abort(nullptr, 0, 0), S_OK);
    held->Release();
    done->Release();
    EXPECT_EQ(Calls(), "");
    EXPECT_EQ(CObjCounter::Live(), live - 2);
    EXPECT_EQ(OleTx_DropDispenser(nullptr), -1);
}

TEST(OleTxTrace, HResultNames)
{
    struct {
        HRESULT hr;
        const char *name;
    } cases[] = {{S_OK, "S_OK"},
                 {E_FAIL, "E_FAIL"},
                 {XACT_S_SINGLEPHASE, "XACT_S_SINGLEPHASE"},
                 {static_cast<HRESULT>(0x8004D103u), "XACT_E_NOTSINGLEPHASE"},
                 {E_KRS_XA_FAILED, "Unknown!"},
                 {12345, "Unknown!"}};
    for (const auto &c : cases)
        EXPECT_STREQ(OleTx_HResultName(c.hr), c.name);
    EXPECT_STREQ(CObjCounter::TypeName(1), "Resource Dispenser");
    EXPECT_STREQ(CObjCounter::TypeName(2), "Unknown");
}

} // namespace

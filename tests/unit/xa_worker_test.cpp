// XA worker threads, their mailboxes and the proxy table, without a Java VM:
// commands run one at a time on the worker, a stopped worker refuses posts,
// and the proxies refuse unknown handles and refused posts with their codes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-stmt.h"
#include "odbc/build/assembly.h"
#include "odbc/conn.h"
#include "drv_jdbc/j-optable.h"
#include "odbc/contract/drv_ops.h"
#include "odbc/contract/errnum.h"
#include "scrs/scs_install.h"
#include "xa/xat.h"
#include "xa/xat_worker.h"
#include "odbc/contract/xid.h"

namespace {

// Slot n of a table: the test walks the slots by their numbers.
void *const *DRV_Slot(const DrvOpTable *t, int n) { return reinterpret_cast<void *const *>(t) + n; }

struct Worker {
    XaWorker w;
    Worker() { EXPECT_TRUE(XAT_WorkerStart(&w)); }
    ~Worker()
    {
        if (w.thread.StillRunning())
            XAT_WorkerStop(&w);
    }
    int Post(int (*run)(void *), void *arg)
    {
        XaCommand c{run, arg};
        return XAT_WorkerPost(&w.mailbox, &c);
    }
};

// A command that records the thread it ran on and how many ran at once.
struct Probe {
    Probe(std::atomic<int> *a, std::atomic<int> *o) : active(a), overlaps(o) {}
    std::atomic<int> *active;
    std::atomic<int> *overlaps;
    std::thread::id ranOn;
    int result = 0;
    int value = 0;

    static int Run(void *self)
    {
        auto *p = static_cast<Probe *>(self);
        if (p->active->fetch_add(1) != 0)
            ++*p->overlaps;
        p->ranOn = std::this_thread::get_id();
        p->result = p->value * 2;
        p->active->fetch_sub(1);
        return 0;
    }
};

TEST(XaWorker, PostsFromManyThreadsRunOneAtATimeOnTheWorker)
{
    Worker worker;
    std::atomic<int> active{0}, overlaps{0}, wrong{0};
    std::thread::id workerThread;
    {
        Probe first{&active, &overlaps};
        ASSERT_EQ(worker.Post(Probe::Run, &first), 1);
        workerThread = first.ranOn;
    }
    EXPECT_NE(workerThread, std::this_thread::get_id());
    std::vector<std::thread> posters;
    for (int t = 0; t < 6; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                Probe p{&active, &overlaps};
                p.value = t * 1000 + i;
                if (worker.Post(Probe::Run, &p) != 1 || p.result != p.value * 2 ||
                    p.ranOn != workerThread)
                    ++wrong;
            }
        });
    for (auto &t : posters)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(overlaps.load(), 0);
}

// A command that blocks until its gate opens.
struct Gate {
    OsEvent started{false};
    OsEvent open{false};
    bool finished = false;
    static int Run(void *self)
    {
        auto *g = static_cast<Gate *>(self);
        g->started.Set();
        g->open.Wait();
        g->finished = true;
        return 0;
    }
};

TEST(XaWorker, StopWaitsForTheCommandInProgressAndLaterPostsAreRefused)
{
    Worker worker;
    Gate gate;
    int posted = -1;
    std::thread poster([&] { posted = worker.Post(Gate::Run, &gate); });
    gate.started.Wait();
    // A second poster waits for the mailbox; the worker ends before it gets
    // its turn, so its command never runs.
    std::atomic<int> secondRuns{0};
    int second = -1;
    worker.w.stop.Set();
    std::thread latecomer([&] {
        second = worker.Post([](void *n) { ++*static_cast<std::atomic<int> *>(n); return 0; },
                             &secondRuns);
    });
    gate.open.Set();
    XAT_WorkerStop(&worker.w);
    EXPECT_TRUE(gate.finished);
    poster.join();
    latecomer.join();
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(secondRuns.load(), 0);
    EXPECT_FALSE(worker.w.thread.StillRunning());
    std::atomic<int> active{0}, overlaps{0};
    Probe after{&active, &overlaps};
    EXPECT_EQ(worker.Post(Probe::Run, &after), 0);
}

TEST(XaWorkerMode, InitStartsAWorkerOnlyWhenAsked)
{
    XaWorkerMode plain{};
    ASSERT_TRUE(XAT_ModeInit(&plain, 0));
    EXPECT_EQ(plain.useWorker, 0);
    EXPECT_EQ(plain.keep, 1);
    EXPECT_EQ(plain.worker, nullptr);
    EXPECT_EQ(XAT_GetXaActive(&plain), 0);
    EXPECT_FALSE(XAT_ModePost(&plain, Probe::Run, nullptr));
    XAT_ModeDestroy(&plain);

    XaWorkerMode mode{};
    ASSERT_TRUE(XAT_ModeInit(&mode, 1));
    ASSERT_NE(mode.worker, nullptr);
    EXPECT_TRUE(mode.worker->thread.StillRunning());
    std::atomic<int> active{0}, overlaps{0};
    Probe p{&active, &overlaps};
    p.value = 21;
    EXPECT_TRUE(XAT_ModePost(&mode, Probe::Run, &p));
    EXPECT_EQ(p.result, 42);
    XAT_ModeDestroy(&mode);
    EXPECT_EQ(mode.worker, nullptr);
}

TEST(XaWorkerMode, ActiveFlag)
{
    EXPECT_EQ(XAT_SetXaActive(nullptr, 1), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(XAT_GetXaActive(nullptr), 0);
    XaWorkerMode mode{};
    XAT_ModeInit(&mode, 0);
    EXPECT_EQ(XAT_SetXaActive(&mode, 5), 0);
    EXPECT_EQ(XAT_GetXaActive(&mode), 1);
    EXPECT_EQ(XAT_SetXaActive(&mode, 0), 0);
    EXPECT_EQ(XAT_GetXaActive(&mode), 0);
}

TEST(XaProxyTable, RefusesABindingWithoutFlagsAndServesTheOthers)
{
    DrvOpTable empty{};
    DrvBinding refused{0, &empty};
    EXPECT_EQ(XAT_InstallProxyOps(&refused), ERR_NOT_CAPABLE);
    EXPECT_EQ(refused.ops, &empty);
    EXPECT_EQ(XAT_InstallProxyOps(nullptr), ERR_NOT_CAPABLE);

    DrvBinding a{}, b{};
    ASSERT_EQ(BindOpTable(&a), 0);
    ASSERT_EQ(BindOpTable(&b), 0);
    EXPECT_EQ(a.ops, b.ops);
    EXPECT_NE(a.ops, DRV_JdbcOpTable());
    // The proxies sit in their slots; the others are those of the table
    // below them: the back end's with the cursor library's overlay.
    const DrvOpTable *jdbc = DRV_JdbcOpTable();
    DrvBinding cursor{DRVB_THREAD_SAFE, jdbc};
    SCS_Install(&cursor);
    // Slot 54 is empty in the back end's table; the cursor library fills it.
    for (int slot : {6, 7, 8, 11, 13, 19, 20, 24, 43, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64}) {
        EXPECT_NE(*DRV_Slot(a.ops, slot), *DRV_Slot(jdbc, slot)) << slot;
        EXPECT_NE(*DRV_Slot(a.ops, slot), *DRV_Slot(cursor.ops, slot)) << slot;
    }
    for (int slot : {0, 1, 2, 3, 4, 5, 9, 15, 16, 21, 22, 26, 53})
        EXPECT_EQ(*DRV_Slot(a.ops, slot), *DRV_Slot(cursor.ops, slot)) << slot;
    // Slots the back end leaves empty stay empty.
    for (int slot : {38, 39})
        EXPECT_EQ(*DRV_Slot(a.ops, slot), nullptr) << slot;
}

// A back-end connection and statement record in the back end's tables whose
// worker has already ended: every post is refused.
class XaProxyRefusal : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(BindOpTable(&binding), 0);
        if (!drvConnTable.tag) {
            ASSERT_EQ(HT_Init(&drvConnTable, 0x0DBCBBBB), 0);
        }
        if (!drvStmtTable.tag) {
            ASSERT_EQ(HT_Init(&drvStmtTable, 0x0DBCCCCC), 0);
        }
        conn = new DrvConn();
        stmt = new DrvStmt();
        stmt->conn = conn;
        ASSERT_EQ(HT_Insert(&drvConnTable, &connHandle, conn), 0);
        ASSERT_EQ(HT_Insert(&drvStmtTable, &stmtHandle, stmt), 0);
        mode = new XaWorkerMode();
        ASSERT_TRUE(XAT_ModeInit(mode, 1));
        XAT_WorkerStop(mode->worker);
        XAT_SetXaActive(mode, 1);
        conn->xaMode = mode;
    }

    void TearDown() override
    {
        HT_Remove(&drvStmtTable, static_cast<uint32_t>(stmtHandle));
        HT_Remove(&drvConnTable, static_cast<uint32_t>(connHandle));
        delete mode->worker;
        delete mode;
        delete stmt;
        delete conn;
    }

    DrvBinding binding{};
    DrvConn *conn = nullptr;
    DrvStmt *stmt = nullptr;
    int32_t connHandle = 0;
    int32_t stmtHandle = 0;
    XaWorkerMode *mode = nullptr;
};

TEST_F(XaProxyRefusal, StatementCallsAnswerWorkerAssignmentFailureAndXaCallsXaerRmerr)
{
    const DrvOpTable *t = binding.ops;
    int out = 0;
    EXPECT_EQ(t->AllocStmt(connHandle, &out), ERR_WORKER_ASSIGNMENT);
    EXPECT_EQ(t->Prepare(stmtHandle, "select 1"), ERR_WORKER_ASSIGNMENT);
    EXPECT_EQ(t->Execute(stmtHandle), ERR_WORKER_ASSIGNMENT);
    EXPECT_EQ(t->CloseCursor(stmtHandle), ERR_WORKER_ASSIGNMENT);
    EXPECT_EQ(t->ExecDirect(stmtHandle, "select 1", nullptr, 0, nullptr), ERR_WORKER_ASSIGNMENT);
    XID x{};
    XID list[2];
    EXPECT_EQ(t->XaStart(connHandle, &x, 0, 0), XAER_RMERR);
    EXPECT_EQ(t->XaPrepare(connHandle, &x, 0, 0), XAER_RMERR);
    EXPECT_EQ(t->XaRecover(connHandle, list, 2, 0, XA_TMSTARTRSCAN), XAER_RMERR);
    EXPECT_EQ(t->XaClose(connHandle, "", 0, 0), XAER_RMERR);
}

TEST_F(XaProxyRefusal, UnknownHandlesAndConnectionsWithoutXaState)
{
    const DrvOpTable *t = binding.ops;
    int out = 0;
    EXPECT_EQ(t->AllocStmt(0x0DBC7777, &out), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(t->Prepare(0x0DBC7777, "select 1"), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(t->Fetch(0x0DBC7777, 1, nullptr), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(t->Disconnect(0x0DBC7777), ERR_INVALID_ARGUMENT);
    XID x{};
    EXPECT_EQ(t->XaStart(0x0DBC7777, &x, 0, 0), XAER_INVAL);
    EXPECT_EQ(t->XaOpen(0x0DBC7777, 1, "", 0, 0), XAER_INVAL);
    conn->xaMode = nullptr;
    EXPECT_EQ(t->XaStart(connHandle, &x, 0, 0), XAER_INVAL);
    EXPECT_EQ(t->XaCommit(connHandle, &x, 0, 0), XAER_INVAL);
    EXPECT_EQ(t->XaComplete(connHandle, nullptr, nullptr, 0, 0), XAER_INVAL);
    conn->xaMode = mode;
}

} // namespace

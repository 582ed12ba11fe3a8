// Events, semaphores, multi-object waits, worker threads and TLS slots.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/sync.h"
#include "platform/sysinfo.h"
#include "platform/thread.h"
#include "platform/tls.h"

namespace {

void Pause()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

TEST(PlatformEvent, ManualResetStaysSignalledUntilReset)
{
    PL_Event e(true, false);
    EXPECT_FALSE(e.Wait(0));
    EXPECT_FALSE(e.Wait(20));  // times out
    e.Set();
    EXPECT_TRUE(e.Wait(0));
    EXPECT_TRUE(e.Wait(PL_INFINITE));
    EXPECT_TRUE(e.IsSet());
    e.Reset();
    EXPECT_FALSE(e.Wait(0));
}

TEST(PlatformEvent, AutoResetReleasesOneWaiterPerSet)
{
    PL_Event e(false, true);
    EXPECT_TRUE(e.Wait(0));
    EXPECT_FALSE(e.Wait(0));  // consumed

    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i)
        waiters.emplace_back([&] {
            e.Wait(PL_INFINITE);
            ++woken;
        });
    Pause();
    EXPECT_EQ(woken.load(), 0);
    e.Set();
    while (woken.load() == 0)
        std::this_thread::yield();
    Pause();
    EXPECT_EQ(woken.load(), 1);
    EXPECT_FALSE(e.IsSet());
    e.Set();
    for (auto &t : waiters)
        t.join();
    EXPECT_EQ(woken.load(), 2);
}

TEST(PlatformSemaphore, CountsDownAndRespectsMaximum)
{
    PL_Semaphore s(2, 3);
    ASSERT_TRUE(s.IsValid());
    EXPECT_TRUE(s.Wait(0));
    EXPECT_TRUE(s.Wait(0));
    EXPECT_FALSE(s.Wait(10));
    int32_t prev = -1;
    EXPECT_TRUE(s.Release(1, &prev));
    EXPECT_EQ(prev, 0);
    EXPECT_FALSE(s.Release(3, &prev));  // 1 + 3 passes the maximum
    EXPECT_EQ(s.Count(), 1);
    EXPECT_TRUE(s.Release(2));
    EXPECT_EQ(s.Count(), 3);
    EXPECT_FALSE(s.Release(1));
    EXPECT_FALSE(s.Release(0));
    EXPECT_FALSE(s.Release(-1));
    EXPECT_EQ(s.Count(), 3);
}

TEST(PlatformSemaphore, InvalidCountsMakeAnUnusableSemaphore)
{
    struct Case { int32_t initial, maximum; } cases[] = {{-1, 1}, {2, 1}, {0, 0}, {0, -5}};
    for (const Case &c : cases) {
        PL_Semaphore s(c.initial, c.maximum);
        EXPECT_FALSE(s.IsValid()) << c.initial << "/" << c.maximum;
        EXPECT_FALSE(s.Wait(0));
        EXPECT_FALSE(s.Release(1));
    }
}

TEST(PlatformSemaphore, ReleaseWakesWaiter)
{
    PL_Semaphore s(0, 1);
    std::atomic<bool> got{false};
    std::thread t([&] { got = s.Wait(PL_INFINITE); });
    Pause();
    EXPECT_FALSE(got.load());
    EXPECT_TRUE(s.Release());
    t.join();
    EXPECT_TRUE(got.load());
    EXPECT_EQ(s.Count(), 0);
}

TEST(PlatformWaitMultiple, AnyAnswersLowestSignalledAndConsumesOnlyIt)
{
    PL_Event e0(false, false), e1(false, true);
    PL_Waitable *set[] = {&e0, &e1};
    EXPECT_EQ(PL_WaitMultiple(set, 2, false, 0), 1);
    EXPECT_EQ(PL_WaitMultiple(set, 2, false, 10), PL_WAIT_TIMEOUT);
    e0.Set();
    e1.Set();
    EXPECT_EQ(PL_WaitMultiple(set, 2, false, 0), 0);
    EXPECT_TRUE(e1.IsSet());
    EXPECT_EQ(PL_WaitMultiple(set, 2, false, 0), 1);
}

TEST(PlatformWaitMultiple, AllWaitsForEveryObjectAndConsumesTogether)
{
    PL_Event ev(false, true);
    PL_Semaphore sem(0, 2);
    PL_Waitable *set[] = {&ev, &sem};
    EXPECT_EQ(PL_WaitMultiple(set, 2, true, 10), PL_WAIT_TIMEOUT);
    EXPECT_TRUE(ev.IsSet());  // not consumed by a wait that was not satisfied
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        sem.Release();
    });
    EXPECT_EQ(PL_WaitMultiple(set, 2, true, PL_INFINITE), 0);
    t.join();
    EXPECT_FALSE(ev.IsSet());
    EXPECT_EQ(sem.Count(), 0);
}

TEST(PlatformWaitMultiple, WakesWhenSignalledFromAnotherThread)
{
    PL_Event stop(false, false);
    PL_Semaphore full(0, 1);
    PL_Waitable *set[] = {&stop, &full};
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        full.Release();
    });
    EXPECT_EQ(PL_WaitMultiple(set, 2, false, PL_INFINITE), 1);
    t.join();
}

TEST(PlatformWaitMultiple, BadArgumentsFail)
{
    PL_Event e(true, true);
    PL_Waitable *one[] = {&e};
    PL_Waitable *withNull[] = {&e, nullptr};
    PL_Waitable *twice[] = {&e, &e};
    std::vector<PL_Waitable *> tooMany(PL_MAXIMUM_WAIT_OBJECTS + 1, &e);
    EXPECT_EQ(PL_WaitMultiple(one, 0, false, 0), PL_WAIT_FAILED);
    EXPECT_EQ(PL_WaitMultiple(nullptr, 1, false, 0), PL_WAIT_FAILED);
    EXPECT_EQ(PL_WaitMultiple(withNull, 2, false, 0), PL_WAIT_FAILED);
    EXPECT_EQ(PL_WaitMultiple(tooMany.data(), tooMany.size(), false, 0), PL_WAIT_FAILED);
    EXPECT_EQ(PL_WaitMultiple(twice, 2, true, 0), PL_WAIT_FAILED);
    EXPECT_EQ(PL_WaitMultiple(twice, 2, false, 0), 0);  // any: a repeat is harmless
}

uint32_t ReturnsSeven(void *arg)
{
    *static_cast<uint32_t *>(arg) = PL_ThreadId();
    return 7;
}

TEST(PlatformThread, RunsRoutineAndReportsExitCode)
{
    uint32_t workerTid = 0;
    PL_Thread t;
    ASSERT_TRUE(t.Start(ReturnsSeven, &workerTid));
    EXPECT_FALSE(t.Start(ReturnsSeven, &workerTid));  // one worker at a time
    EXPECT_TRUE(t.Join());
    EXPECT_TRUE(t.Join());  // again: it has ended
    uint32_t code = 0;
    ASSERT_TRUE(t.ExitCode(&code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(t.Id(), workerTid);
    EXPECT_NE(workerTid, PL_ThreadId());
    EXPECT_FALSE(t.IsRunning());
    EXPECT_TRUE(t.Waitable()->Wait(0));

    ASSERT_TRUE(t.Start(ReturnsSeven, &workerTid));  // reusable after a join
    EXPECT_TRUE(t.Join());
}

uint32_t WaitsForEvent(void *arg)
{
    static_cast<PL_Event *>(arg)->Wait(PL_INFINITE);
    return 3;
}

TEST(PlatformThread, JoinTimesOutWhileWorkerRuns)
{
    PL_Event go(true, false);
    PL_Thread t;
    ASSERT_TRUE(t.Start(WaitsForEvent, &go));
    EXPECT_FALSE(t.Join(10));
    EXPECT_TRUE(t.IsRunning());
    uint32_t code = 0;
    EXPECT_FALSE(t.ExitCode(&code));
    PL_Waitable *set[] = {t.Waitable()};
    EXPECT_EQ(PL_WaitMultiple(set, 1, false, 0), PL_WAIT_TIMEOUT);
    go.Set();
    EXPECT_EQ(PL_WaitMultiple(set, 1, false, PL_INFINITE), 0);
    EXPECT_TRUE(t.Join());
    ASSERT_TRUE(t.ExitCode(&code));
    EXPECT_EQ(code, 3u);
}

TEST(PlatformThread, NothingStartedOrNullRoutine)
{
    PL_Thread t;
    uint32_t code;
    EXPECT_FALSE(t.Join(0));
    EXPECT_FALSE(t.ExitCode(&code));
    EXPECT_EQ(t.Id(), 0u);
    EXPECT_EQ(t.Waitable(), nullptr);
    EXPECT_FALSE(t.Start(nullptr, nullptr));
}

struct SelfJoin {
    PL_Thread *thread;
    PL_Event started{true, false};
    bool joinedSelf = true;
};

uint32_t JoinsItself(void *arg)
{
    auto *s = static_cast<SelfJoin *>(arg);
    s->started.Wait(PL_INFINITE);
    s->joinedSelf = s->thread->Join(0);
    return 0;
}

TEST(PlatformThread, WorkerCannotJoinItself)
{
    PL_Thread t;
    SelfJoin s;
    s.thread = &t;
    ASSERT_TRUE(t.Start(JoinsItself, &s));
    s.started.Set();
    EXPECT_TRUE(t.Join());
    EXPECT_FALSE(s.joinedSelf);
}

std::atomic<bool> g_detachedDone{false};

uint32_t WaitsThenReports(void *arg)
{
    static_cast<PL_Event *>(arg)->Wait(PL_INFINITE);
    g_detachedDone = true;
    return 0;
}

TEST(PlatformThread, DestroyedObjectLeavesWorkerRunningSafely)
{
    PL_Event go(true, false);
    auto *t = new PL_Thread;
    ASSERT_TRUE(t->Start(WaitsThenReports, &go));
    delete t;  // detaches: the worker outlives its object
    go.Set();
    while (!g_detachedDone.load())
        std::this_thread::yield();
}

// The XA worker shape: a loop waiting on {stop, full}, one command at a time.
struct Mailbox {
    PL_Event stop{false, false};
    PL_Semaphore full{0, 1};
    PL_Semaphore free{1, 1};
    PL_Event done{false, false};
    int command = 0;
    int sum = 0;
};

uint32_t WorkerLoop(void *arg)
{
    auto *mb = static_cast<Mailbox *>(arg);
    PL_Waitable *set[] = {&mb->stop, &mb->full};
    uint32_t handled = 0;
    while (PL_WaitMultiple(set, 2, false, PL_INFINITE) == 1) {
        mb->sum += mb->command;
        ++handled;
        mb->done.Set();
    }
    return handled;
}

TEST(PlatformThread, WorkerLoopServesPostsFromSeveralThreadsThenStops)
{
    Mailbox mb;
    PL_Thread worker;
    ASSERT_TRUE(worker.Start(WorkerLoop, &mb));
    auto post = [&mb](int value) {
        mb.free.Wait(PL_INFINITE);
        mb.command = value;
        mb.full.Release();
        mb.done.Wait(PL_INFINITE);
        mb.free.Release();
    };
    std::vector<std::thread> posters;
    for (int p = 0; p < 4; ++p)
        posters.emplace_back([&] {
            for (int i = 1; i <= 25; ++i)
                post(i);
        });
    for (auto &t : posters)
        t.join();
    mb.stop.Set();
    ASSERT_TRUE(worker.Join());
    uint32_t handled = 0;
    ASSERT_TRUE(worker.ExitCode(&handled));
    EXPECT_EQ(handled, 100u);
    EXPECT_EQ(mb.sum, 4 * (25 * 26 / 2));
}

TEST(PlatformTls, ValuesAreIsolatedBetweenThreads)
{
    uint32_t slot = PL_TlsAlloc();
    ASSERT_NE(slot, PL_TLS_OUT_OF_INDEXES);
    int mine = 1, theirs = 2;
    EXPECT_EQ(PL_TlsGetValue(slot), nullptr);
    ASSERT_TRUE(PL_TlsSetValue(slot, &mine));
    std::thread t([&] {
        EXPECT_EQ(PL_TlsGetValue(slot), nullptr);
        EXPECT_TRUE(PL_TlsSetValue(slot, &theirs));
        EXPECT_EQ(PL_TlsGetValue(slot), &theirs);
    });
    t.join();
    EXPECT_EQ(PL_TlsGetValue(slot), &mine);
    EXPECT_TRUE(PL_TlsFree(slot));
}

TEST(PlatformTls, FreedSlotRefusesAndReallocatedSlotStartsEmpty)
{
    uint32_t slot = PL_TlsAlloc();
    ASSERT_NE(slot, PL_TLS_OUT_OF_INDEXES);
    int v = 5;
    ASSERT_TRUE(PL_TlsSetValue(slot, &v));
    ASSERT_TRUE(PL_TlsFree(slot));
    EXPECT_FALSE(PL_TlsFree(slot));
    EXPECT_EQ(PL_TlsGetValue(slot), nullptr);
    EXPECT_FALSE(PL_TlsSetValue(slot, &v));
    uint32_t again = PL_TlsAlloc();
    ASSERT_EQ(again, slot);  // the lowest free index comes back
    EXPECT_EQ(PL_TlsGetValue(again), nullptr);  // not the old value
    EXPECT_TRUE(PL_TlsFree(again));
}

TEST(PlatformTls, BadIndexesAndExhaustion)
{
    EXPECT_EQ(PL_TlsGetValue(PL_TLS_SLOTS), nullptr);
    EXPECT_FALSE(PL_TlsSetValue(PL_TLS_OUT_OF_INDEXES, nullptr));
    EXPECT_FALSE(PL_TlsFree(PL_TLS_SLOTS + 3));

    std::vector<uint32_t> taken;
    for (uint32_t s; (s = PL_TlsAlloc()) != PL_TLS_OUT_OF_INDEXES;)
        taken.push_back(s);
    EXPECT_GE(taken.size(), 64u);
    EXPECT_EQ(PL_TlsAlloc(), PL_TLS_OUT_OF_INDEXES);
    for (uint32_t s : taken)
        EXPECT_TRUE(PL_TlsFree(s));
    uint32_t s = PL_TlsAlloc();
    EXPECT_NE(s, PL_TLS_OUT_OF_INDEXES);
    PL_TlsFree(s);
}

}  // namespace

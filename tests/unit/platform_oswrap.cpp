// The thread, event, semaphore, wait-set and lock records of the
// distributed-transaction layer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/oswrap.h"

namespace {

TEST(OsWaitSet, AnswersTheFirstSignalledObjectAndRefusesEmptyAndFullSets)
{
    OsWaitSet empty;
    EXPECT_EQ(empty.Wait(false), -1);

    OsEvent a(false), b(true);
    OsSemaphore s(1, 1);
    OsWaitSet set;
    EXPECT_EQ(set.Add(a.Waitable()), 1);
    EXPECT_EQ(set.Add(b.Waitable()), 1);
    EXPECT_EQ(set.Add(s.Waitable()), 1);
    EXPECT_EQ(set.Add(nullptr), 0);
    EXPECT_EQ(set.Wait(false), 1);  // b, which the wait consumed
    EXPECT_EQ(set.Wait(false), 2);  // then the semaphore
    a.Set();
    b.Set();
    EXPECT_TRUE(s.ReleaseOne());
    EXPECT_EQ(set.Wait(true), 0);   // all three at once

    OsEvent many[PL_MAXIMUM_WAIT_OBJECTS + 1];
    OsWaitSet full;
    for (size_t i = 0; i < PL_MAXIMUM_WAIT_OBJECTS; ++i)
        EXPECT_EQ(full.Add(many[i].Waitable()), 1);
    EXPECT_EQ(full.Add(many[PL_MAXIMUM_WAIT_OBJECTS].Waitable()), 0);
    full.Clear();
    EXPECT_EQ(full.Wait(false), -1);
}

TEST(OsSemaphore, KeepsItsMaximum)
{
    OsSemaphore s(0, 1);
    EXPECT_TRUE(s.Valid());
    EXPECT_TRUE(s.ReleaseOne());
    EXPECT_FALSE(s.ReleaseOne());
    EXPECT_TRUE(s.Wait());
    EXPECT_FALSE(OsSemaphore(2, 1).Valid());
}

uint32_t Answer(void *arg)
{
    static_cast<OsEvent *>(arg)->Wait();
    return 7;
}

TEST(OsThread, RunsItsStartRecordAndSignalsItsEnd)
{
    OsThread idle;
    EXPECT_FALSE(idle.StillRunning());
    EXPECT_FALSE(idle.Join());
    EXPECT_EQ(idle.EndWaitable(), nullptr);

    OsEvent go(false);
    OsThread t;
    ASSERT_TRUE(t.Start(OsStartRecord{Answer, &go}));
    EXPECT_TRUE(t.StillRunning());
    EXPECT_NE(t.Id(), 0u);
    go.Set();
    OsWaitSet set;
    set.Add(t.EndWaitable());
    EXPECT_EQ(set.Wait(false), 0);
    EXPECT_TRUE(t.Join());
    EXPECT_FALSE(t.StillRunning());
}

TEST(OsLock, GuardsAScopeAndIsReentrant)
{
    OsLock lock;
    int counter = 0;
    auto work = [&] {
        for (int i = 0; i < 10000; ++i) {
            OsLockGuard outer(lock);
            OsLockGuard inner(lock);
            ++counter;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 20000);
}

} // namespace

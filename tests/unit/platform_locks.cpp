// Critical sections and the connection call lock, including a hold released
// by a thread other than the one that took it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/locks.h"

namespace {

// Runs fn on another thread and answers its result.
template <typename Fn>
bool OnOtherThread(Fn fn)
{
    bool r = false;
    std::thread t([&] { r = fn(); });
    t.join();
    return r;
}

void Pause()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

TEST(PlatformCriticalSection, RecursiveForOwnerExclusiveForOthers)
{
    PL_CriticalSection cs;
    cs.Enter();
    EXPECT_TRUE(cs.TryEnter());
    EXPECT_FALSE(OnOtherThread([&] { return cs.TryEnter(); }));
    cs.Leave();
    EXPECT_FALSE(OnOtherThread([&] { return cs.TryEnter(); }));
    cs.Leave();
    EXPECT_TRUE(OnOtherThread([&] {
        bool got = cs.TryEnter();
        if (got)
            cs.Leave();
        return got;
    }));
}

TEST(PlatformCriticalSection, GuardLeavesAtScopeEnd)
{
    PL_CriticalSection cs;
    {
        PL_CsGuard g(cs);
        EXPECT_FALSE(OnOtherThread([&] { return cs.TryEnter(); }));
    }
    EXPECT_TRUE(OnOtherThread([&] {
        bool got = cs.TryEnter();
        if (got)
            cs.Leave();
        return got;
    }));
}

TEST(PlatformCallLock, RecursiveEntryNeedsMatchingLeaves)
{
    PL_CallLock lock;
    lock.Enter();
    lock.Enter();
    EXPECT_TRUE(lock.TryEnter());
    EXPECT_TRUE(lock.OwnedByCaller());
    EXPECT_FALSE(OnOtherThread([&] { return lock.TryEnter(); }));
    EXPECT_TRUE(lock.Leave());
    EXPECT_TRUE(lock.Leave());
    EXPECT_FALSE(lock.IsFree());
    EXPECT_TRUE(lock.Leave());
    EXPECT_TRUE(lock.IsFree());
    EXPECT_FALSE(lock.Leave());  // nothing left to leave
}

TEST(PlatformCallLock, LeaveByNonOwnerRefusedAndLockKept)
{
    PL_CallLock lock;
    lock.Enter();
    EXPECT_FALSE(OnOtherThread([&] { return lock.Leave(); }));
    EXPECT_TRUE(lock.OwnedByCaller());
    EXPECT_FALSE(OnOtherThread([&] { return lock.TryEnter(); }));
    EXPECT_TRUE(lock.Leave());
}

TEST(PlatformCallLock, HoldTakenByOwnerOutlivesItsEntriesAndAnotherThreadReleasesIt)
{
    PL_CallLock lock;
    // The preparing thread: inside a call, takes the hold, finishes the call.
    std::thread preparer([&] {
        lock.Enter();
        lock.Hold();
        EXPECT_TRUE(lock.Leave());
        EXPECT_FALSE(lock.TryEnter());  // the hold blocks its taker as well
    });
    preparer.join();
    EXPECT_EQ(lock.HoldCount(), 1u);
    EXPECT_FALSE(lock.TryEnter());

    // The outcome arrives on yet another thread.
    EXPECT_TRUE(OnOtherThread([&] { return lock.ReleaseHold(); }));
    EXPECT_TRUE(lock.IsFree());
    EXPECT_TRUE(lock.TryEnter());
    EXPECT_TRUE(lock.Leave());
    EXPECT_FALSE(lock.ReleaseHold());  // no hold left
}

TEST(PlatformCallLock, WaitingCallerProceedsWhenHoldReleasedElsewhere)
{
    PL_CallLock lock;
    lock.Hold();
    std::atomic<bool> entered{false};
    std::thread caller([&] {
        lock.Enter();
        entered = true;
        lock.Leave();
    });
    Pause();
    EXPECT_FALSE(entered.load());
    std::thread releaser([&] { EXPECT_TRUE(lock.ReleaseHold()); });
    releaser.join();
    caller.join();
    EXPECT_TRUE(entered.load());
    EXPECT_TRUE(lock.IsFree());
}

TEST(PlatformCallLock, HoldByNonOwnerWaitsUntilLockIsFree)
{
    PL_CallLock lock;
    lock.Enter();
    std::atomic<bool> held{false};
    std::thread holder([&] {
        lock.Hold();
        held = true;
    });
    Pause();
    EXPECT_FALSE(held.load());
    EXPECT_TRUE(lock.Leave());
    holder.join();
    EXPECT_TRUE(held.load());
    EXPECT_FALSE(lock.TryEnter());
    EXPECT_TRUE(lock.ReleaseHold());
    EXPECT_TRUE(lock.IsFree());
}

TEST(PlatformCallLock, GuardEntersAndLeaves)
{
    PL_CallLock lock;
    {
        PL_CallLockGuard g(lock);
        EXPECT_TRUE(lock.OwnedByCaller());
        PL_CallLockGuard inner(lock);
        EXPECT_FALSE(OnOtherThread([&] { return lock.TryEnter(); }));
    }
    EXPECT_TRUE(lock.IsFree());
}

}  // namespace

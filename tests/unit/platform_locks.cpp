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
    uint64_t token = 0;
    // The preparing thread: inside a call, takes the hold, finishes the call.
    std::thread preparer([&] {
        lock.Enter();
        token = lock.Hold();
        EXPECT_NE(token, 0u);
        EXPECT_TRUE(lock.Leave());
        EXPECT_FALSE(lock.TryEnter());  // the hold blocks its taker as well
    });
    preparer.join();
    EXPECT_EQ(lock.HoldCount(), 1u);
    EXPECT_FALSE(lock.TryEnter());

    // The outcome arrives on yet another thread.
    EXPECT_TRUE(OnOtherThread([&] { return lock.ReleaseHold(token); }));
    EXPECT_TRUE(lock.IsFree());
    EXPECT_TRUE(lock.TryEnter());
    EXPECT_TRUE(lock.Leave());
    EXPECT_FALSE(lock.ReleaseHold(token));  // no hold left
}

TEST(PlatformCallLock, WaitingCallerProceedsWhenHoldReleasedElsewhere)
{
    PL_CallLock lock;
    const uint64_t token = lock.Hold();
    std::atomic<bool> entered{false};
    std::thread caller([&] {
        lock.Enter();
        entered = true;
        lock.Leave();
    });
    Pause();
    EXPECT_FALSE(entered.load());
    std::thread releaser([&] { EXPECT_TRUE(lock.ReleaseHold(token)); });
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
    uint64_t token = 0;
    std::thread holder([&] {
        token = lock.Hold();
        held = true;
    });
    Pause();
    EXPECT_FALSE(held.load());
    EXPECT_TRUE(lock.Leave());
    holder.join();
    EXPECT_TRUE(held.load());
    EXPECT_FALSE(lock.TryEnter());
    EXPECT_TRUE(lock.ReleaseHold(token));
    EXPECT_TRUE(lock.IsFree());
}

TEST(PlatformCallLock, OnlyTheHoldsOwnTokenEndsIt)
{
    PL_CallLock lock, other;
    // Two holds taken inside one call, each with its own token.
    lock.Enter();
    const uint64_t mine = lock.Hold();
    const uint64_t second = lock.Hold();
    EXPECT_TRUE(lock.Leave());
    const uint64_t foreign = other.Hold();
    EXPECT_NE(mine, foreign);
    // Neither a plain leave, nor no token, nor another lock's token ends it.
    EXPECT_FALSE(lock.Leave());
    EXPECT_FALSE(lock.ReleaseHold(0));
    EXPECT_FALSE(lock.ReleaseHold(foreign));
    EXPECT_FALSE(lock.ReleaseHold(mine + 1000));
    EXPECT_EQ(lock.HoldCount(), 2u);
    EXPECT_FALSE(lock.TryEnter());
    // The first token ends only the first hold, once.
    EXPECT_TRUE(OnOtherThread([&] { return lock.ReleaseHold(mine); }));
    EXPECT_FALSE(lock.ReleaseHold(mine));
    EXPECT_FALSE(lock.TryEnter());
    EXPECT_TRUE(lock.ReleaseHold(second));
    EXPECT_TRUE(lock.IsFree());
    EXPECT_TRUE(other.ReleaseHold(foreign));
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

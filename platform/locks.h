// Locks in place of Windows critical sections.
//
//  PL_CriticalSection  recursive lock owned by one thread at a time; only the
//                      thread that entered may leave.  Used wherever the
//                      driver's design has a CRITICAL_SECTION (global API
//                      lock, connect lock, table and trace locks ...).
//  PL_CallLock         a connection's call lock: recursive for its owning
//                      thread like a critical section, and in addition able to
//                      carry "holds" that belong to no thread but to a token.
//                      A prepared distributed branch takes a hold on one
//                      coordinator thread and the commit or abort, arriving
//                      on another, gives it up with the branch's token; no
//                      other token (and no plain Leave) can end it.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class PL_CriticalSection {
public:
    PL_CriticalSection() = default;
    PL_CriticalSection(const PL_CriticalSection &) = delete;
    PL_CriticalSection &operator=(const PL_CriticalSection &) = delete;

    void Enter() { m_.lock(); }
    // True when the lock was free or already held by the caller.
    bool TryEnter() { return m_.try_lock(); }
    // Only the thread that entered may leave (once per Enter).
    void Leave() { m_.unlock(); }

private:
    std::recursive_mutex m_;
};

// Enters a critical section for the life of the guard.
class PL_CsGuard {
public:
    explicit PL_CsGuard(PL_CriticalSection &cs) : cs_(cs) { cs_.Enter(); }
    ~PL_CsGuard() { cs_.Leave(); }
    PL_CsGuard(const PL_CsGuard &) = delete;
    PL_CsGuard &operator=(const PL_CsGuard &) = delete;

private:
    PL_CriticalSection &cs_;
};

// Holds a critical section from construction until Leave() or the end of
// the guard's life, whichever comes first.  Made with null it holds nothing
// (a lock that a caller takes only in some cases).
class PL_CsLock {
public:
    explicit PL_CsLock(PL_CriticalSection *cs) : cs_(cs)
    {
        if (cs_)
            cs_->Enter();
    }
    ~PL_CsLock() { Leave(); }
    PL_CsLock(const PL_CsLock &) = delete;
    PL_CsLock &operator=(const PL_CsLock &) = delete;
    // Leaves now; the end of the guard's life then does nothing.
    void Leave()
    {
        if (cs_)
            cs_->Leave();
        cs_ = nullptr;
    }

private:
    PL_CriticalSection *cs_;
};

class PL_CallLock {
public:
    PL_CallLock() = default;
    PL_CallLock(const PL_CallLock &) = delete;
    PL_CallLock &operator=(const PL_CallLock &) = delete;

    // Waits until the lock is free or owned by the caller, then enters
    // (recursively for the owner).  A hold keeps every thread out, the one
    // that took it included, once that thread has left its own entries.
    void Enter();
    bool TryEnter();
    // Leaves one entry; false (nothing changes) when the caller does not own
    // the lock.
    bool Leave();

    // Takes a hold that belongs to no thread and answers its token (never
    // 0); whoever has the token may give the hold up with ReleaseHold, on
    // any thread.  A caller that owns the lock gets the hold at once on top
    // of its entries; any other caller waits until the lock is free.
    uint64_t Hold();
    // As Hold, without waiting: 0 when another thread is inside the lock
    // or a hold is taken.
    uint64_t TryHold();
    // Gives up the hold of the token from whatever thread; false (nothing
    // changes) when the token is 0 or names no hold of this lock.
    bool ReleaseHold(uint64_t token);

    bool IsFree() const;
    bool OwnedByCaller() const;
    uint32_t HoldCount() const;

private:
    bool FreeLocked() const { return count_ == 0 && holds_ == 0; }

    mutable std::mutex m_;
    std::condition_variable cv_;
    std::thread::id owner_;
    uint32_t count_ = 0;   // entries of owner_
    uint32_t holds_ = 0;           // thread-less holds
    std::vector<uint64_t> tokens_; // their tokens
};

// Enters a call lock for the life of the guard.
class PL_CallLockGuard {
public:
    explicit PL_CallLockGuard(PL_CallLock &lock) : lock_(lock) { lock_.Enter(); }
    ~PL_CallLockGuard() { lock_.Leave(); }
    PL_CallLockGuard(const PL_CallLockGuard &) = delete;
    PL_CallLockGuard &operator=(const PL_CallLockGuard &) = delete;

private:
    PL_CallLock &lock_;
};

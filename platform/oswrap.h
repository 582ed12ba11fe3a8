// The small thread, event, semaphore, wait-set and lock records that the
// distributed-transaction layer works with, over the platform's waitable
// objects.  Every wait is without time-out.  There is no way to end a
// thread from outside: a thread ends when its routine returns.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/locks.h"
#include "platform/sync.h"
#include "platform/thread.h"

// What a thread runs: routine(argument), whose result is the exit code.
struct OsStartRecord {
    PL_ThreadRoutine routine;
    void *argument;
};

class OsThread {
public:
    // Starts the start record's routine; false (nothing started) when the
    // system refuses the thread.
    bool Start(const OsStartRecord &start);
    // Waits for the routine to return; true when it has (false when nothing
    // was started or the thread would wait for itself).
    bool Join();
    // True while the routine has not returned.
    bool StillRunning() const;
    // Signalled once the routine has returned; null when nothing was started.
    PL_Waitable *EndWaitable() const;
    uint32_t Id() const { return thread_.Id(); }

private:
    PL_Thread thread_;
    OsStartRecord start_{};
};

// Auto-reset event.
class OsEvent {
public:
    explicit OsEvent(bool initialState = false) : event_(false, initialState) {}
    void Set() { event_.Set(); }
    bool Wait() { return event_.Wait(PL_INFINITE); }
    PL_Waitable *Waitable() { return &event_; }

private:
    PL_Event event_;
};

class OsSemaphore {
public:
    OsSemaphore(int32_t initialCount, int32_t maximumCount) : sem_(initialCount, maximumCount) {}
    bool Valid() const { return sem_.IsValid(); }
    // Adds one; false when the maximum would be passed.
    bool ReleaseOne() { return sem_.Release(1); }
    bool Wait() { return sem_.Wait(PL_INFINITE); }
    PL_Waitable *Waitable() { return &sem_; }

private:
    PL_Semaphore sem_;
};

// Up to 64 waitable objects waited on together.
class OsWaitSet {
public:
    void Clear() { count_ = 0; }
    // 1, or 0 when 64 objects are held already or the object is null.
    int Add(PL_Waitable *object);
    // Waits for all objects or any one: the index of the object that ended
    // the wait (0 for all), or -1 for an empty set or a failed wait.
    int Wait(bool all);

private:
    PL_Waitable *objects_[PL_MAXIMUM_WAIT_OBJECTS] = {};
    size_t count_ = 0;
};

// A critical section, and a guard that holds it for a scope.
class OsLock {
public:
    void Enter() { cs_.Enter(); }
    void Leave() { cs_.Leave(); }

private:
    PL_CriticalSection cs_;
};

class OsLockGuard {
public:
    explicit OsLockGuard(OsLock &lock) : lock_(lock) { lock_.Enter(); }
    ~OsLockGuard() { lock_.Leave(); }
    OsLockGuard(const OsLockGuard &) = delete;
    OsLockGuard &operator=(const OsLockGuard &) = delete;

private:
    OsLock &lock_;
};

// Waitable objects in place of Windows events and semaphores, and a wait over
// several of them (WaitForMultipleObjects).  A thread's end is waitable too
// (platform/thread.h).  Timeouts are in milliseconds; PL_INFINITE waits for
// ever, 0 only tests.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

constexpr uint32_t PL_INFINITE = 0xFFFFFFFFu;
constexpr size_t PL_MAXIMUM_WAIT_OBJECTS = 64;
// Results of PL_WaitMultiple besides an object index.
constexpr int PL_WAIT_FAILED = -1;
constexpr int PL_WAIT_TIMEOUT = -2;

struct PL_WaitNotice;

// Base of every waitable object: its state lives under one mutex; a
// successful wait consumes the signal of an auto-reset object.
class PL_Waitable {
public:
    PL_Waitable(const PL_Waitable &) = delete;
    PL_Waitable &operator=(const PL_Waitable &) = delete;

    // True when the object was signalled within the timeout.
    bool Wait(uint32_t timeoutMs);

protected:
    PL_Waitable() = default;
    virtual ~PL_Waitable() = default;

    // Both run with m_ held.
    virtual bool IsReady() const = 0;
    virtual void Consume() = 0;
    // Wakes single and multiple waiters after the state changed; m_ held.
    void NotifyLocked();

    mutable std::mutex m_;

private:
    friend int PL_WaitMultiple(PL_Waitable *const *, size_t, bool, uint32_t);
    std::condition_variable cv_;
    std::vector<PL_WaitNotice *> notices_;
};

// Manual-reset events stay signalled until Reset; auto-reset events release
// one waiter and reset themselves.
class PL_Event : public PL_Waitable {
public:
    PL_Event(bool manualReset, bool initialState)
        : manual_(manualReset), signalled_(initialState) {}
    void Set();
    void Reset();
    bool IsSet() const;

private:
    bool IsReady() const override { return signalled_; }
    void Consume() override { if (!manual_) signalled_ = false; }

    const bool manual_;
    bool signalled_;
};

// Counted semaphore.  Arguments outside 0 <= initial <= maximum, maximum > 0
// make an invalid semaphore: IsValid() false, every wait and release fails.
class PL_Semaphore : public PL_Waitable {
public:
    PL_Semaphore(int32_t initialCount, int32_t maximumCount);
    bool IsValid() const { return valid_; }
    // Adds count; false (count unchanged) when count < 1 or the maximum would
    // be passed.  *previous (optional) receives the count before the call.
    bool Release(int32_t count = 1, int32_t *previous = nullptr);
    int32_t Count() const;

private:
    bool IsReady() const override { return count_ > 0; }
    void Consume() override { --count_; }

    const bool valid_;
    const int32_t max_;
    int32_t count_;
};

// Waits for any one (waitAll false: answers the lowest index of a signalled
// object, consuming only that one) or for all objects at once (waitAll true:
// answers 0 and consumes them together).  PL_WAIT_TIMEOUT when the time runs
// out; PL_WAIT_FAILED for no objects, more than PL_MAXIMUM_WAIT_OBJECTS, a
// null entry or, with waitAll, an object listed twice.
int PL_WaitMultiple(PL_Waitable *const *objects, size_t count, bool waitAll,
                    uint32_t timeoutMs);

// Worker threads in place of _beginthreadex.  There is no way to kill a
// thread: a worker is stopped cooperatively (an event or flag it watches) and
// then joined, or detached when the caller must not wait for it.
#pragma once
#include <cstdint>
#include <memory>
#include <thread>

#include "platform/sync.h"

typedef uint32_t (*PL_ThreadRoutine)(void *arg);

struct PL_ThreadState;

class PL_Thread {
public:
    PL_Thread() = default;
    // A worker still running is detached, never waited for.
    ~PL_Thread();
    PL_Thread(const PL_Thread &) = delete;
    PL_Thread &operator=(const PL_Thread &) = delete;

    // Starts routine(arg) on a new thread; false when a worker of this object
    // is still attached or the system refuses the thread.
    bool Start(PL_ThreadRoutine routine, void *arg);
    // Waits for the worker to end and reclaims it; true when it ended within
    // the timeout (again true after an earlier successful Join).  False when
    // nothing was started, the worker was detached, or it joins itself.
    bool Join(uint32_t timeoutMs = PL_INFINITE);
    // Lets the worker run on unattended; the object may start another.
    void Detach();

    bool IsStarted() const { return static_cast<bool>(state_); }
    bool IsRunning() const;
    // The routine's result; false while it runs or when nothing ran.
    bool ExitCode(uint32_t *code) const;
    // The worker's kernel thread id (0 when nothing was started).
    uint32_t Id() const;
    // Signalled once the routine has returned (for PL_WaitMultiple); null
    // when nothing was started.
    PL_Waitable *Waitable() const;

private:
    std::shared_ptr<PL_ThreadState> state_;
    std::thread thread_;
};

// Worker threads over std::thread.  The state the worker writes is shared,
// so a detached worker may outlive its PL_Thread object.
#include "platform/thread.h"

#include "platform/sysinfo.h"

struct PL_ThreadState : public PL_Waitable {
    PL_ThreadRoutine routine = nullptr;
    void *arg = nullptr;
    uint32_t tid = 0;
    bool tidKnown = false;
    bool finished = false;
    uint32_t exitCode = 0;
    std::condition_variable started;

    bool IsReady() const override { return finished; }
    void Consume() override {}

    void Run()
    {
        {
            std::lock_guard<std::mutex> lk(m_);
            tid = PL_ThreadId();
            tidKnown = true;
            started.notify_all();
        }
        uint32_t code = routine(arg);
        std::lock_guard<std::mutex> lk(m_);
        exitCode = code;
        finished = true;
        NotifyLocked();
    }

    std::mutex &Mutex() { return m_; }
};

PL_Thread::~PL_Thread()
{
    Detach();
}

bool PL_Thread::Start(PL_ThreadRoutine routine, void *arg)
{
    if (thread_.joinable() || !routine)
        return false;
    std::shared_ptr<PL_ThreadState> st;
    try {
        st = std::make_shared<PL_ThreadState>();
        st->routine = routine;
        st->arg = arg;
        thread_ = std::thread([st] { st->Run(); });
    } catch (...) {
        return false;
    }
    std::unique_lock<std::mutex> lk(st->Mutex());
    st->started.wait(lk, [&] { return st->tidKnown; });
    state_ = st;
    return true;
}

bool PL_Thread::Join(uint32_t timeoutMs)
{
    if (!state_)
        return false;
    if (!thread_.joinable())
        return true;  // joined before
    if (thread_.get_id() == std::this_thread::get_id())
        return false;
    if (!state_->Wait(timeoutMs))
        return false;
    thread_.join();
    return true;
}

void PL_Thread::Detach()
{
    if (thread_.joinable())
        thread_.detach();
    state_.reset();
}

bool PL_Thread::IsRunning() const
{
    if (!state_)
        return false;
    std::lock_guard<std::mutex> lk(state_->Mutex());
    return !state_->finished;
}

bool PL_Thread::ExitCode(uint32_t *code) const
{
    if (!state_ || !code)
        return false;
    std::lock_guard<std::mutex> lk(state_->Mutex());
    if (!state_->finished)
        return false;
    *code = state_->exitCode;
    return true;
}

uint32_t PL_Thread::Id() const
{
    return state_ ? state_->tid : 0;
}

PL_Waitable *PL_Thread::Waitable() const
{
    return state_.get();
}

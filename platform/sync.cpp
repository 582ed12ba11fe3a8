// Events, semaphores and multi-object waits.  Each object wakes its own
// waiters through its condition variable and, for PL_WaitMultiple, every
// notice registered with it (lock order: object mutex, then notice mutex).
#include "platform/sync.h"

#include <algorithm>
#include <chrono>

struct PL_WaitNotice {
    std::mutex m;
    std::condition_variable cv;
    uint64_t generation = 0;
};

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineFor(uint32_t timeoutMs)
{
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

}  // namespace

void PL_Waitable::NotifyLocked()
{
    cv_.notify_all();
    for (PL_WaitNotice *n : notices_) {
        {
            std::lock_guard<std::mutex> lk(n->m);
            ++n->generation;
        }
        n->cv.notify_all();
    }
}

bool PL_Waitable::Wait(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lk(m_);
    auto ready = [this] { return IsReady(); };
    if (timeoutMs == PL_INFINITE)
        cv_.wait(lk, ready);
    else if (!cv_.wait_until(lk, DeadlineFor(timeoutMs), ready))
        return false;
    Consume();
    return true;
}

void PL_Event::Set()
{
    std::lock_guard<std::mutex> lk(m_);
    signalled_ = true;
    NotifyLocked();
}

void PL_Event::Reset()
{
    std::lock_guard<std::mutex> lk(m_);
    signalled_ = false;
}

bool PL_Event::IsSet() const
{
    std::lock_guard<std::mutex> lk(m_);
    return signalled_;
}

PL_Semaphore::PL_Semaphore(int32_t initialCount, int32_t maximumCount)
    : valid_(maximumCount > 0 && initialCount >= 0 && initialCount <= maximumCount),
      max_(maximumCount),
      count_(valid_ ? initialCount : 0)
{
}

bool PL_Semaphore::Release(int32_t count, int32_t *previous)
{
    std::lock_guard<std::mutex> lk(m_);
    if (!valid_ || count < 1 || count > max_ - count_)
        return false;
    if (previous)
        *previous = count_;
    count_ += count;
    NotifyLocked();
    return true;
}

int32_t PL_Semaphore::Count() const
{
    std::lock_guard<std::mutex> lk(m_);
    return count_;
}

int PL_WaitMultiple(PL_Waitable *const *objects, size_t count, bool waitAll,
                    uint32_t timeoutMs)
{
    if (!objects || count == 0 || count > PL_MAXIMUM_WAIT_OBJECTS)
        return PL_WAIT_FAILED;
    for (size_t i = 0; i < count; ++i)
        if (!objects[i])
            return PL_WAIT_FAILED;

    // Objects in address order: the lock order of a wait for all.
    PL_Waitable *sorted[PL_MAXIMUM_WAIT_OBJECTS];
    std::copy(objects, objects + count, sorted);
    std::sort(sorted, sorted + count);
    if (waitAll && std::adjacent_find(sorted, sorted + count) != sorted + count)
        return PL_WAIT_FAILED;

    PL_WaitNotice notice;
    size_t registered = 0;
    bool ok = true;
    for (; registered < count && ok; ++registered) {
        std::lock_guard<std::mutex> lk(objects[registered]->m_);
        try {
            objects[registered]->notices_.push_back(&notice);
        } catch (...) {
            ok = false;
            break;
        }
    }

    // One pass: the index taken, or -1 when the wait is not satisfied yet.
    auto tryTake = [&]() -> int {
        if (!waitAll) {
            for (size_t i = 0; i < count; ++i) {
                std::lock_guard<std::mutex> lk(objects[i]->m_);
                if (objects[i]->IsReady()) {
                    objects[i]->Consume();
                    return static_cast<int>(i);
                }
            }
            return -1;
        }
        for (size_t i = 0; i < count; ++i)
            sorted[i]->m_.lock();
        bool all = std::all_of(sorted, sorted + count,
                               [](PL_Waitable *w) { return w->IsReady(); });
        if (all)
            for (size_t i = 0; i < count; ++i)
                sorted[i]->Consume();
        for (size_t i = count; i-- > 0;)
            sorted[i]->m_.unlock();
        return all ? 0 : -1;
    };

    int result = PL_WAIT_FAILED;
    const auto deadline = DeadlineFor(timeoutMs == PL_INFINITE ? 0 : timeoutMs);
    while (ok) {
        uint64_t seen;
        {
            std::lock_guard<std::mutex> lk(notice.m);
            seen = notice.generation;
        }
        int got = tryTake();
        if (got >= 0) {
            result = got;
            break;
        }
        std::unique_lock<std::mutex> lk(notice.m);
        auto changed = [&] { return notice.generation != seen; };
        if (timeoutMs == PL_INFINITE) {
            notice.cv.wait(lk, changed);
        } else if (!notice.cv.wait_until(lk, deadline, changed)) {
            result = PL_WAIT_TIMEOUT;
            break;
        }
    }

    for (size_t i = 0; i < registered; ++i) {
        std::lock_guard<std::mutex> lk(objects[i]->m_);
        auto &v = objects[i]->notices_;
        auto it = std::find(v.begin(), v.end(), &notice);
        if (it != v.end())
            v.erase(it);
    }
    return result;
}

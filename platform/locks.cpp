// The connection call lock: owner and entry count plus thread-less holds,
// over one mutex and one condition variable.
#include "platform/locks.h"

#include <atomic>
#include <cstddef>

void PL_CallLock::Enter()
{
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lk(m_);
    if (count_ > 0 && owner_ == self) {
        ++count_;
        return;
    }
    cv_.wait(lk, [this] { return FreeLocked(); });
    owner_ = self;
    count_ = 1;
}

bool PL_CallLock::TryEnter()
{
    const std::thread::id self = std::this_thread::get_id();
    std::lock_guard<std::mutex> lk(m_);
    if (count_ > 0 && owner_ == self) {
        ++count_;
        return true;
    }
    if (!FreeLocked())
        return false;
    owner_ = self;
    count_ = 1;
    return true;
}

bool PL_CallLock::Leave()
{
    std::lock_guard<std::mutex> lk(m_);
    if (count_ == 0 || owner_ != std::this_thread::get_id())
        return false;
    if (--count_ == 0) {
        owner_ = std::thread::id();
        if (FreeLocked())
            cv_.notify_all();
    }
    return true;
}

namespace {
// Hold tokens are unique in the process, so that a token of one lock (or
// one that was given up already) never releases another hold.
std::atomic<uint64_t> g_nextToken{0};
} // namespace

uint64_t PL_CallLock::Hold()
{
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lk(m_);
    if (!(count_ > 0 && owner_ == self))
        cv_.wait(lk, [this] { return FreeLocked(); });
    const uint64_t token = ++g_nextToken;
    tokens_.push_back(token);
    ++holds_;
    return token;
}

uint64_t PL_CallLock::TryHold()
{
    const std::thread::id self = std::this_thread::get_id();
    std::lock_guard<std::mutex> lk(m_);
    if (!(count_ > 0 && owner_ == self) && !FreeLocked())
        return 0;
    const uint64_t token = ++g_nextToken;
    tokens_.push_back(token);
    ++holds_;
    return token;
}

bool PL_CallLock::ReleaseHold(uint64_t token)
{
    std::lock_guard<std::mutex> lk(m_);
    if (token == 0)
        return false;
    for (size_t i = 0; i < tokens_.size(); ++i)
        if (tokens_[i] == token) {
            tokens_.erase(tokens_.begin() + static_cast<std::ptrdiff_t>(i));
            if (--holds_ == 0 && FreeLocked())
                cv_.notify_all();
            return true;
        }
    return false;
}

bool PL_CallLock::IsFree() const
{
    std::lock_guard<std::mutex> lk(m_);
    return FreeLocked();
}

bool PL_CallLock::OwnedByCaller() const
{
    std::lock_guard<std::mutex> lk(m_);
    return count_ > 0 && owner_ == std::this_thread::get_id();
}

uint32_t PL_CallLock::HoldCount() const
{
    std::lock_guard<std::mutex> lk(m_);
    return holds_;
}

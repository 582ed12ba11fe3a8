// Thread and wait-set records over the platform's threads and waits.
#include "platform/oswrap.h"

bool OsThread::Start(const OsStartRecord &start)
{
    start_ = start;
    return thread_.Start(start_.routine, start_.argument);
}

bool OsThread::Join()
{
    return thread_.Join(PL_INFINITE);
}

bool OsThread::StillRunning() const
{
    return thread_.IsRunning();
}

PL_Waitable *OsThread::EndWaitable() const
{
    return thread_.Waitable();
}

int OsWaitSet::Add(PL_Waitable *object)
{
    if (!object || count_ >= PL_MAXIMUM_WAIT_OBJECTS)
        return 0;
    objects_[count_++] = object;
    return 1;
}

int OsWaitSet::Wait(bool all)
{
    if (count_ == 0)
        return -1;
    int rc = PL_WaitMultiple(objects_, count_, all, PL_INFINITE);
    return rc >= 0 ? rc : -1;
}

// The analyser's process-wide locks, made on first use and never deleted
// (a lock destroyed at exit could still be asked for by a late thread).
#include "scrs/scr_locks.h"

#include <new>

std::mutex &ScrParserLock()
{
    static std::mutex *lock = new std::mutex;
    return *lock;
}

PL_CriticalSection &SqltTextLock()
{
    static PL_CriticalSection *lock = new PL_CriticalSection;
    return *lock;
}

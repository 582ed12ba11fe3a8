// The analyser's two process-wide locks: every parse holds ScrParserLock,
// every regeneration of a tree's texts SqltTextLock.  Both exist from their
// first use to the end of the process.
#pragma once
#include "platform/locks.h"

#include <mutex>

std::mutex &ScrParserLock();
PL_CriticalSection &SqltTextLock();

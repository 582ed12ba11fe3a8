// The process-wide ring of log sinks, shared by the log's writer and its
// sink management.  Not for use outside the log.
#pragma once
#include "util/log.h"

// Sentinel of the circular sink list: next is the first (newest) sink,
// previous the last.  next is null until the first sink is made.
extern LogSink g_logRing;

// Points the sentinel at itself when the ring was never initialised.
void LOG_RingInit();

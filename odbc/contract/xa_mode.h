// The XA worker layer's record in each back-end connection (XaWorkerMode):
// whether the connection's calls go to a worker thread of their own, and
// whether its XA connection is open.  The XA layer makes and frees the record
// and its worker; the back end marks the XA connection open and closed.
#pragma once
#include <atomic>
#include <cstdint>

#include "odbc/contract/errnum.h"

struct XaWorker;

struct XaWorkerMode {
    int32_t useWorker;             // 1: the connection's operations go to `worker`
    std::atomic<int32_t> xaActive; // 1 while the back end's XA connection is open
    int32_t keep;                  // 0: the next XA open replaces this record
    XaWorker *worker;              // null when useWorker is 0
    int32_t reserved;
};

// ERR_INVALID_ARGUMENT for a null record, else 0 after storing the flag (1 for non-zero).
inline int XAT_SetXaActive(XaWorkerMode *mode, int active)
{
    if (!mode)
        return ERR_INVALID_ARGUMENT;
    mode->xaActive.store(active ? 1 : 0);
    return 0;
}
// The XA-active flag; 0 for a null record.
inline int XAT_GetXaActive(const XaWorkerMode *mode) { return mode ? mode->xaActive.load() : 0; }

// What the XA worker layer asks of the back end beyond the operation table.
// The back end fills it; the library's assembly hands it to the XA layer.
struct DrvXaSupport {
    // The slot of a back-end connection record that holds its worker record;
    // null for a connection the back end does not know.
    XaWorkerMode **(*ConnModeSlot)(int conn);
    // The worker record of a statement's connection (null when it has none);
    // false for a statement the back end does not know.
    bool (*StmtMode)(int stmt, XaWorkerMode **mode);
    // A worker thread ends: the back end lets go of what it attached to it.
    void (*ThreadEnd)();
};

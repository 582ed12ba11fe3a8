// The test coordinator: a shared library that stands in for the
// distributed transaction coordinator (KRS_DTC_LIBRARY names it).  Besides
// DtcGetTransactionManager it exports the controls the tests use; a test
// loads the same file with dlopen and so reaches the instance the driver
// uses.
//
// It hands out its XA helper pipe, records the connect text and driver file
// name of XARMCreate, names its transactions as XIDs (format FAKE_DTC_FORMAT,
// gtrid "fakedtc-<n>", bqual "rm-<cookie>"), keeps the enlistment's
// resource object and drives prepare, then commit or abort, when the
// application commits or aborts, each request on a thread of its own when
// asked.  It can go down after a successful prepare (TMDown, then it lets go
// of the branch), can keep the branch's resource object past the outcome
// (until the transaction object is released) and can refuse to hand out its
// transaction manager.  Every reference it hands over is counted until given
// back; a release without a reference is counted as misuse (the objects are
// never freed, so misuse is seen, never a crash).  A call that reaches it
// after its library was unloaded (its static destructors ran) writes
// "fake coordinator: <call> after unload" to the standard error stream.
#pragma once
#include <cstdint>

#include "platform/dtc.h"

constexpr int32_t FAKE_DTC_FORMAT = 0x4B445443;  // 'KDTC'

struct FakeDtcOptions {
    int otherThreads;       // each request on a new thread (never the caller's)
    int singlePhase;        // one PrepareRequest with fSinglePhase, no commit request
    int downAfterPrepare;   // TMDown after a successful prepare; Commit answers XACT_E_INDOUBT
    int pauseAfterPrepare;  // Commit waits for FakeDtc_Resume between prepare and commit
    int holdAfterOutcome;   // the resource object is kept until the transaction is released
};

struct FakeDtcReport {
    int prepares, commits, aborts, downs;  // requests made
    HRESULT prepareDone, commitDone, abortDone;  // what the resource manager reported (-1 none)
    uint32_t callerThread, prepareThread, outcomeThread;  // PL_ThreadId-like ids (gettid)
    int gtridNumber;
    uint32_t cookie;
};

extern "C" {
// A new transaction with one reference for the caller (give it back with Release).
ITransaction *FakeDtc_Begin(void);
void FakeDtc_SetOptions(ITransaction *tx, const FakeDtcOptions *options);
// Waits (at most 30 s) until a paused Commit has prepared; 1, or 0 on timeout.
int FakeDtc_WaitPrepared(ITransaction *tx);
// Lets a paused Commit go on to the commit request.
void FakeDtc_Resume(ITransaction *tx);
void FakeDtc_Report(ITransaction *tx, FakeDtcReport *out);
// The XID the coordinator named the transaction with (its last enlistment).
void FakeDtc_Xid(ITransaction *tx, XID *out);
// What the last XARMCreate was given ("" before).
const char *FakeDtc_ConnectText(void);
const char *FakeDtc_DriverName(void);
// References handed to the driver (transaction manager, pipes, enlistments)
// and not given back yet; releases without a reference; cookies created and
// released.
int FakeDtc_Outstanding(void);
int FakeDtc_Misuse(void);
int FakeDtc_CookiesOpen(void);
// While set, DtcGetTransactionManager answers XACT_E_TMNOTAVAILABLE.
void FakeDtc_SetUnavailable(int unavailable);

HRESULT DtcGetTransactionManager(const char *host, const char *tmName, const IID &iid,
                                 uint32_t reserved1, uint16_t reserved2Size, void *reserved2,
                                 void **out);
}

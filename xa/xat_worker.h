// The worker threads of XA connections: one worker per back-end connection
// opened for XA, a one-slot mailbox through which any thread hands it a
// command and waits for the command to have run, and the per-connection
// record (XaWorkerMode) that says whether and where the connection's calls go.
#pragma once
#include <atomic>
#include <cstdint>

#include "odbc/contract/xa_mode.h"
#include "platform/oswrap.h"

// One command: run(argument); lives for the duration of one post.
struct XaCommand {
    int (*run)(void *argument);
    void *argument;
};

struct XaWorker;

// The hand-over between a posting thread and the worker.  "free" admits one
// poster at a time; "full" tells the worker a command waits; "done" tells
// the poster it has run.
struct XaMailbox {
    XaCommand *slot = nullptr;
    OsSemaphore full{0, 1};
    OsSemaphore free{1, 1};
    OsEvent done{false};
    XaWorker *owner = nullptr;
};

struct XaWorker {
    OsThread thread;
    OsEvent stop{false};
    XaMailbox mailbox;
    // Recorded from the back end (end the worker when the branch stops); the
    // worker is always stopped by its stop event and never killed.
    int32_t terminate = 0;
    OsStartRecord start{};
};

// XaWorkerMode (odbc/contract/xa_mode.h) is pointed to from each back-end
// connection that has been opened for XA.

// Fills a record; with useWorker set, makes and starts its worker.  False
// (no worker kept) when the worker cannot be made or its thread started.
bool XAT_ModeInit(XaWorkerMode *mode, int useWorker);
// Stops and frees the record's worker; the record itself is the caller's.
void XAT_ModeDestroy(XaWorkerMode *mode);
// Runs run(record) on the record's worker; true when it ran.
bool XAT_ModePost(XaWorkerMode *mode, int (*run)(void *), void *record);

// Starts the worker's thread; false when the thread cannot be started.
bool XAT_WorkerStart(XaWorker *worker);
// Asks the worker to end after the command in progress and waits until it
// has; then a post to it is refused.
void XAT_WorkerStop(XaWorker *worker);
// Hands the command to the worker and waits until it has run: 1, or 0 when
// the worker's thread has ended (before or while waiting) so that the
// command did not run.
int XAT_WorkerPost(XaMailbox *mailbox, XaCommand *command);
// The worker's thread: runs commands until the stop event; detaches the
// thread from the Java VM before it ends.  Always 0.
uint32_t XAT_WorkerLoop(void *worker);

// XA worker threads and their mailboxes.
#include "xa/xat_worker.h"

#include "xa/xat.h"

#include <new>

namespace {
// Index of the first object of a two-object wait that ended it; -1 on failure.
int waitAny(PL_Waitable *first, PL_Waitable *second)
{
    OsWaitSet set;
    set.Add(first);
    set.Add(second);
    return set.Wait(false);
}
} // namespace

bool XAT_WorkerStart(XaWorker *worker)
{
    worker->mailbox.slot = nullptr;
    worker->mailbox.owner = worker;
    worker->terminate = 0;
    worker->start = OsStartRecord{XAT_WorkerLoop, worker};
    return worker->mailbox.full.Valid() && worker->mailbox.free.Valid() &&
           worker->thread.Start(worker->start);
}

uint32_t XAT_WorkerLoop(void *arg)
{
    auto *worker = static_cast<XaWorker *>(arg);
    XaMailbox &box = worker->mailbox;
    // The stop event comes first: a stop ends the loop between commands.
    while (waitAny(worker->stop.Waitable(), box.full.Waitable()) == 1) {
        XaCommand *command = box.slot;
        command->run(command->argument);
        box.slot = command;
        box.done.Set();
    }
    // The commands attached this thread to the Java VM; an ending thread
    // lets go of it.
    XAT_ThreadEnd();
    return 0;
}

int XAT_WorkerPost(XaMailbox *box, XaCommand *command)
{
    XaWorker *worker = box->owner;
    if (!worker || !worker->thread.StillRunning())
        return 0;
    PL_Waitable *ended = worker->thread.EndWaitable();
    if (waitAny(box->free.Waitable(), ended) != 0)
        return 0;
    box->slot = command;
    box->full.ReleaseOne();
    // "done" comes first: a command that ran reports so even when the
    // worker ended right after it.
    bool ran = waitAny(box->done.Waitable(), ended) == 0;
    box->free.ReleaseOne();
    return ran ? 1 : 0;
}

void XAT_WorkerStop(XaWorker *worker)
{
    worker->stop.Set();
    worker->thread.Join();
}

bool XAT_ModeInit(XaWorkerMode *mode, int useWorker)
{
    mode->useWorker = useWorker ? 1 : 0;
    mode->xaActive.store(0);
    mode->keep = 1;
    mode->worker = nullptr;
    mode->reserved = 0;
    if (!useWorker)
        return true;
    auto *worker = new (std::nothrow) XaWorker();
    if (!worker)
        return false;
    if (!XAT_WorkerStart(worker)) {
        delete worker;
        return false;
    }
    mode->worker = worker;
    return true;
}

void XAT_ModeDestroy(XaWorkerMode *mode)
{
    if (!mode || !mode->worker)
        return;
    XAT_WorkerStop(mode->worker);
    delete mode->worker;
    mode->worker = nullptr;
}

bool XAT_ModePost(XaWorkerMode *mode, int (*run)(void *), void *record)
{
    if (!mode || !mode->worker)
        return false;
    XaCommand command{run, record};
    return XAT_WorkerPost(&mode->worker->mailbox, &command) != 0;
}

// The Java VM's fault handlers: recorded when the VM starts, put back at the
// entry of each call into Java when the application replaced them.
#include "drv_jdbc/j-signals.h"

#include "util/log.h"

#include <dlfcn.h>
#include <jni.h>
#include <signal.h>

#include <atomic>
#include <iterator>

#define SRC "drv_jdbc/j-signals"

namespace {

struct VmSignal {
    int sig;
    const char *name;
    struct sigaction before;  // in place before the VM was created
    bool beforeKnown;
    struct sigaction vm;      // the VM's own
    bool kept;                // the VM's handler was found and is kept
};

VmSignal g_signals[] = {
    {SIGSEGV, "SIGSEGV", {}, false, {}, false},
    {SIGBUS, "SIGBUS", {}, false, {}, false},
    {SIGFPE, "SIGFPE", {}, false, {}, false},
    {SIGILL, "SIGILL", {}, false, {}, false},
};

std::atomic<bool> g_armed{false};
std::atomic<bool> g_warned[std::size(g_signals)];

void *handlerOf(const struct sigaction &a)
{
    if (a.sa_flags & SA_SIGINFO)
        return reinterpret_cast<void *>(a.sa_sigaction);
    return reinterpret_cast<void *>(a.sa_handler);
}

// Whether a handler lies in the Java VM's library.
bool inJvmLibrary(void *handler)
{
    Dl_info jvm = {}, h = {};
    if (!handler || !dladdr(reinterpret_cast<void *>(&JNI_CreateJavaVM), &jvm) || !dladdr(handler, &h))
        return false;
    return jvm.dli_fbase && jvm.dli_fbase == h.dli_fbase;
}

// libjsig.so, when loaded, keeps the application's handlers behind the VM's
// and answers sigaction queries with the application's: the signals are
// then its business.
bool jsigLoaded()
{
    return dlsym(RTLD_DEFAULT, "JVM_get_signal_action") != nullptr;
}

} // namespace

void jvmSignalsBeforeVm()
{
    if (g_armed.load(std::memory_order_acquire))
        return;
    for (VmSignal &s : g_signals)
        s.beforeKnown = sigaction(s.sig, nullptr, &s.before) == 0;
}

void jvmSignalsAfterVm()
{
    if (g_armed.load(std::memory_order_acquire) || jsigLoaded())
        return;
    bool any = false;
    for (VmSignal &s : g_signals) {
        s.kept = sigaction(s.sig, nullptr, &s.vm) == 0 && inJvmLibrary(handlerOf(s.vm));
        any = any || s.kept;
    }
    g_armed.store(any, std::memory_order_release);
}

void jvmKeepSignals()
{
    if (!g_armed.load(std::memory_order_acquire))
        return;
    for (size_t i = 0; i < std::size(g_signals); ++i) {
        const VmSignal &s = g_signals[i];
        struct sigaction now;
        if (!s.kept || sigaction(s.sig, nullptr, &now) != 0 || handlerOf(now) == handlerOf(s.vm))
            continue;
        if (sigaction(s.sig, &s.vm, nullptr) != 0)
            continue;
        // The VM chains to the handler it found when it started; any other
        // is now out of use.
        void *displaced = handlerOf(now);
        const bool lost = displaced != reinterpret_cast<void *>(SIG_DFL) &&
                          displaced != reinterpret_cast<void *>(SIG_IGN) &&
                          (!s.beforeKnown || displaced != handlerOf(s.before));
        if (lost && !g_warned[i].exchange(true))
            LOG_Printf(LOG_LEVEL_WARNING, SRC, __LINE__,
                       "%s handler of the application replaced by the Java VM's; preload libjsig.so "
                       "to keep both",
                       s.name);
        else
            LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "Java VM's %s handler put back", s.name);
    }
}

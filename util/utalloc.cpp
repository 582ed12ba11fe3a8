// Guarded allocation and the fatal-exit path behind it.
#include "util/utalloc.h"
#include "util/log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// Set only by SYS_ProbeConsole; makes the fatal exit wait for RETURN.
bool g_pauseOnExit = false;

} // namespace

void *s_alloc(uint64_t count, uint64_t size)
{
    if (count == 0 || size == 0)
        count = size = 1;
    void *block = nullptr;
    if (count <= SIZE_MAX && size <= SIZE_MAX)
        block = calloc(static_cast<size_t>(count), static_cast<size_t>(size));
    if (block == nullptr) {
        LOG_Printf(LOG_LEVEL_ERROR, "util/utalloc", __LINE__, "s_alloc: out of memory");
        SYS_FatalExit(1);
    }
    return block;
}

void *s_realloc(void *block, uint64_t size)
{
    // realloc(block, 0) would free the block and hand back none.
    if (size == 0)
        size = 1;
    void *moved = nullptr;
    if (size <= SIZE_MAX)
        moved = realloc(block, static_cast<size_t>(size));
    if (moved == nullptr) {
        LOG_Printf(LOG_LEVEL_ERROR, "util/utalloc", __LINE__, "s_realloc: out of memory");
        SYS_FatalExit(1);
    }
    return moved;
}

char *s_strdup(const char *text)
{
    if (text == nullptr)
        text = "";
    size_t len = strlen(text);
    char *copy = static_cast<char *>(s_alloc(len + 1, 1));
    memcpy(copy, text, len);
    return copy;
}

void SYS_ReleaseConsole()
{
    if (g_pauseOnExit) {
        fprintf(stderr, "\nPress RETURN to exit %s", LOG_ProgramName());
        fflush(stderr);
        (void)getchar();
    }
    // A process has no console to detach from here.
}

void SYS_ProbeConsole()
{
    // No console is ever created for the process on this platform, so there
    // is never a window that would vanish with it.
    g_pauseOnExit = false;
}

void SYS_FatalExit(int status)
{
    SYS_ReleaseConsole();
    // Exit without running static destructors or atexit handlers: the heap
    // may be exhausted and the Java VM's threads may still be running.
    fflush(nullptr);
    _exit(status);
}

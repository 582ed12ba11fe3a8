// Process and host facts from Linux.
#include "platform/sysinfo.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

// The version reported: Windows NT 6.1 build 7601.
constexpr uint32_t kMajor = 6;
constexpr uint32_t kMinor = 1;
constexpr uint32_t kBuild = 7601;

char g_program[256];
std::once_flag g_programOnce;

void LoadProgramName()
{
    std::snprintf(g_program, sizeof g_program, "unknown");
    FILE *f = std::fopen("/proc/self/cmdline", "rb");
    if (!f)
        return;
    char arg0[PATH_MAX];
    size_t n = std::fread(arg0, 1, sizeof arg0 - 1, f);
    std::fclose(f);
    arg0[n] = '\0';  // argv[0] ends at its NUL or at the buffer's end
    const char *base = std::strrchr(arg0, '/');
    base = base ? base + 1 : arg0;
    size_t len = strnlen(base, sizeof g_program - 1);  // a file name fits
    if (len > 0) {
        std::memcpy(g_program, base, len);
        g_program[len] = '\0';
    }
}

}  // namespace

uint32_t PL_GetVersion()
{
    return kMajor | (kMinor << 8) | (kBuild << 16);
}

uint32_t PL_TickCount()
{
    struct timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0)
        return 0;
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u +
                  static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

uint32_t PL_ProcessId()
{
    return static_cast<uint32_t>(::getpid());
}

uint32_t PL_ThreadId()
{
    return static_cast<uint32_t>(::syscall(SYS_gettid));
}

const char *PL_ProgramName()
{
    std::call_once(g_programOnce, LoadProgramName);
    return g_program;
}

// A name that does not fit into buf counts as not found.
bool PL_UserName(char *buf, size_t size)
{
    if (!buf || size == 0)
        return false;
    buf[0] = '\0';
    long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    size_t len = hint > 0 ? static_cast<size_t>(hint) : 4096;
    for (int tries = 0; tries < 8; ++tries, len *= 2) {
        std::vector<char> scratch;
        try {
            scratch.resize(len);
        } catch (...) {
            return false;
        }
        struct passwd pw;
        struct passwd *res = nullptr;
        int rc = ::getpwuid_r(::getuid(), &pw, scratch.data(), scratch.size(), &res);
        if (rc == ERANGE)
            continue;
        if (rc != 0 || !res || !res->pw_name)
            return false;
        size_t n = std::strlen(res->pw_name);
        if (n >= size)
            return false;
        std::memcpy(buf, res->pw_name, n + 1);
        return true;
    }
    return false;
}

// Per-thread buffer, so a caller's text stays put while others ask.
const char *PL_TempDir()
{
    thread_local char dir[PATH_MAX];
    const char *env = std::getenv("TMPDIR");
    size_t n = env ? std::strlen(env) : 0;
    if (n == 0 || n >= sizeof dir) {
        env = "/tmp";
        n = 4;
    }
    std::memcpy(dir, env, n);
    while (n > 1 && dir[n - 1] == '/')
        --n;
    dir[n] = '\0';
    return dir;
}

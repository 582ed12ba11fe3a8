// Binding of the login-dialog library.
#include "drv_jdbc/j-logon.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/dynlib.h"

namespace {

struct LogonLib {
    KrsLoginFn login;
    KrsLoginFreeFn release;
};

std::atomic<bool> g_tried{false};
LogonLib g_lib{};

// The library's two functions; both null when it cannot be had.  Tried once:
// the connect lock serialises the first use.
const LogonLib &Lib()
{
    if (!g_tried.load(std::memory_order_acquire)) {
        PL_Module m = PL_LoadLibrary("libkrslogon.so");
        if (m) {
            g_lib.login = reinterpret_cast<KrsLoginFn>(PL_GetProcAddress(m, "KrsLOGIN"));
            g_lib.release = reinterpret_cast<KrsLoginFreeFn>(PL_GetProcAddress(m, "KrsLOGIN_Free"));
            if (!g_lib.login || !g_lib.release) {
                g_lib = LogonLib{};
                PL_FreeLibrary(m);
            }
        }
        g_tried.store(true, std::memory_order_release);
    }
    return g_lib;
}

} // namespace

int LogonPrompt(void *window, const char *driverDesc, const char *connStr, char **result, int width)
{
    *result = nullptr;
    const LogonLib &lib = Lib();
    if (!lib.login)
        return 0;
    char *answer = nullptr;
    int confirmed = lib.login(window, driverDesc ? driverDesc : "", connStr ? connStr : "", &answer,
                              width) == 1;
    if (confirmed && answer)
        *result = strdup(answer);
    lib.release(answer);
    return confirmed && *result ? 1 : 0;
}

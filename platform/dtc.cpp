// The coordinator library named by KRS_DTC_LIBRARY.
#include "platform/dtc.h"

#include <cstdlib>
#include <mutex>

#include "platform/dynlib.h"

namespace {
std::mutex g_loadLock;
PL_DtcGetTransactionManagerFn g_entry = nullptr;
} // namespace

PL_DtcGetTransactionManagerFn PL_DtcManagerEntry()
{
    std::lock_guard<std::mutex> lk(g_loadLock);
    if (g_entry)
        return g_entry;
    const char *name = std::getenv("KRS_DTC_LIBRARY");
    if (!name || !*name)
        return nullptr;
    PL_Module module = PL_LoadLibrary(name);
    if (!module)
        return nullptr;
    auto entry = reinterpret_cast<PL_DtcGetTransactionManagerFn>(
        PL_GetProcAddress(module, "DtcGetTransactionManager"));
    if (!entry) {
        PL_FreeLibrary(module);
        return nullptr;
    }
    // The library stays loaded: the coordinator's objects live in it.
    g_entry = entry;
    return g_entry;
}

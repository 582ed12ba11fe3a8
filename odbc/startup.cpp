// The handle layer's start-up and shut-down steps, and the setup exports.
#include "odbc/startup.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "odbc/conn.h"
#include "odbc/dispatch.h"
#include "odbc/env.h"
#include "odbc/handles.h"
#include "odbc/resources.h"
#include "odbc/trace.h"
#include "platform/msgbox.h"
#include "platform/registry.h"
#include "platform/sysinfo.h"
#include "util/log.h"
#include "util/strutil.h"

HandleTable EnvTable;
HandleTable ConnTable;
HandleTable StmtTable;
HandleTable DescTable;
DrvBinding DriverBinding;
DriverRecord Driver;

namespace {

CoreLocks g_locks;
std::atomic<bool> g_initialised{false};
std::atomic<const char *> g_startupFailure{nullptr};
void *g_ownerWindow = reinterpret_cast<void *>(static_cast<intptr_t>(-2));
LogSink *g_traceSink;

const char kSetupKey[] = "SOFTWARE\\Kestrune Software\\%s";

void DeleteLocks()
{
    delete g_locks.api;
    delete g_locks.connect;
    delete g_locks.backend;
    g_locks = CoreLocks{};
}

} // namespace

const CoreLocks &Core_Locks() { return g_locks; }

bool Core_IsInitialised() { return g_initialised.load(); }

const char *Core_StartupFailure() { return g_startupFailure.load(); }

int Core_Init()
{
    if (g_initialised.load())
        return 0;
    // Locks kept by a shut-down that found calls still running are reused.
    if (!g_locks.api)
        g_locks.api = new (std::nothrow) PL_CriticalSection;
    if (!g_locks.connect)
        g_locks.connect = new (std::nothrow) PL_CriticalSection;
    if (!g_locks.backend)
        g_locks.backend = new (std::nothrow) PL_CriticalSection;
    if (!g_locks.api || !g_locks.connect || !g_locks.backend)
        return -1;
    HandleTable *tables[] = {&EnvTable, &ConnTable, &StmtTable, &DescTable};
    const uint32_t values[] = {0x0DBC0001, 0x0DBC0002, 0x0DBC0003, 0x0DBC0004};
    for (int i = 0; i < 4; ++i)
        if (HT_Init(tables[i], values[i]) != 0)
            return -1;
    for (HandleTable *t : tables)
        if (HT_EnableLock(t) != 0)
            return -1;
    g_startupFailure.store(nullptr);
    g_initialised.store(true);
    return 0;
}

int Core_Shutdown(ShutdownMode mode)
{
    // A later shut-down also frees what an earlier one had to leave behind.
    if ((!g_initialised.load() && !Driver.envs) || !g_locks.api)
        return 0;
    {
        PL_CsGuard api(*g_locks.api);
        while (Driver.envs) {
            Envr *env = Driver.envs;
            if (EnvrHasBusyConn(env))
                break;
            EnvrClose(env, mode == SHUTDOWN_EXIT ? CLOSE_DETACH : CLOSE_NORMAL);
            EnvrFree(env);
        }
        g_initialised.store(false);
    }
    // A call still running (or waiting for the API lock) keeps the locks and
    // tables it uses; they stay until the process ends.
    if (API_CallsInFlight() == 0 && !Driver.envs) {
        DeleteLocks();
        HT_Destroy(&StmtTable);
        HT_Destroy(&ConnTable);
        HT_Destroy(&EnvTable);
        HT_Destroy(&DescTable);
    }
    return 0;
}

void *Dll_OwnerWindow() { return g_ownerWindow; }
void Dll_SetOwnerWindow(void *window) { g_ownerWindow = window; }

int Dll_MessageBox(const char *text, const char *caption, uint32_t style)
{
    void *owner = g_ownerWindow;
    if (!owner)
        return 0;
    if (owner == reinterpret_cast<void *>(static_cast<intptr_t>(-2)))
        owner = nullptr;
    LOG_Printf(LOG_LEVEL_ERROR, "startup", __LINE__, "%s: %s", caption ? caption : "",
               text ? text : "");
    return PL_MessageBox(owner, text, caption, style);
}

void Dll_ShowMessage(const char *text, uint32_t style)
{
    char caption[200];
    RES_LoadString(IDS_CAPTION, caption, sizeof caption);
    Dll_MessageBox(text, caption, style);
}

int Dll_CheckWindows()
{
    uint32_t v = PL_GetVersion();
    if (v > 0x80000000u && (v & 0xFF) <= 3)
        return -1;
    return 0;
}

void Dll_AttachLogSinks()
{
    FILE *stream = TR_Stream(TR_KIND_ODBC);
    if (stream && !g_traceSink)
        g_traceSink = LOG_OpenStream(stream, LOG_LEVEL_DEBUG, LOG_CATEGORY_ALL,
                                     LOG_STYLE_DATE | LOG_STYLE_TIME);
}

void Dll_CloseLogSinks()
{
    if (g_traceSink) {
        LOG_Close(g_traceSink);
        std::free(g_traceSink);
        g_traceSink = nullptr;
    }
}

bool Dll_AttachFailed(int id)
{
    char text[200];
    RES_LoadString(id, text, sizeof text);
    Dll_ShowMessage(text, PL_MB_ICONEXCLAMATION);
    g_startupFailure.store(RES_String(id));
    return false;
}

int Setup_GetRegString(const char *subkey, const char *name, const char *dflt, char *buf,
                       int size)
{
    if (!buf || size <= 0)
        return 0;
    char driverName[128];
    RES_LoadString(IDS_DRIVER_NAME, driverName, sizeof driverName);
    char key[512];
    std::snprintf(key, sizeof key, kSetupKey, driverName);
    if (subkey && *subkey) {
        std::strncat(key, "\\", sizeof key - std::strlen(key) - 1);
        std::strncat(key, subkey, sizeof key - std::strlen(key) - 1);
    }
    PL_HKEY k = nullptr;
    if (PL_RegOpenKey(PL_HKEY_LOCAL_MACHINE, key, &k) == PL_ERROR_SUCCESS) {
        uint32_t type = 0;
        uint32_t got = static_cast<uint32_t>(size);
        long rc = PL_RegQueryValue(k, name, &type, buf, &got);
        PL_RegCloseKey(k);
        if (rc == PL_ERROR_SUCCESS && type == PL_REG_SZ)
            return static_cast<int>(got);
    }
    return STR_CopyCut(buf, size, dflt ? dflt : "");
}

extern "C" {

int GetSetupDatabase(char *buf, int size)
{
    RES_LoadString(IDS_DRIVER_NAME, buf, size);
    return 1;
}

int GetSetupRegistry(char *buf, int size)
{
    if (!buf || size <= 0)
        return 1;
    char name[128];
    RES_LoadString(IDS_DRIVER_NAME, name, sizeof name);
    char key[256];
    int n = std::snprintf(key, sizeof key, kSetupKey, name);
    if (n < 0)
        n = 0;
    STR_CopyCut(buf, size, key);
    return 1;
}

} // extern "C"

// The handle layer's part of the library's start-up and shut-down: what must
// exist before the first ODBC call (locks, handle tables, the driver-wide
// back-end binding) and its teardown when the library is unloaded or the
// process ends.  The sequences themselves are the assembly's
// (odbc/build/assembly.h).
#pragma once
#include <cstdint>

#include "odbc/contract/drv_ops.h"
#include "odbc/contract/handle_table.h"
#include "platform/locks.h"

struct Envr;

// The driver's four handle tables (tags 1 to 4).
extern HandleTable EnvTable;
extern HandleTable ConnTable;
extern HandleTable StmtTable;
extern HandleTable DescTable;

// The driver-wide binding made at load; the distributed-transaction layer's
// own connections use it.
extern DrvBinding DriverBinding;

// The three process-wide locks, created by Core_Init.
struct CoreLocks {
    PL_CriticalSection *api;      // handle look-ups, busy markers, object lists
    PL_CriticalSection *connect;  // connection-string parsing and connecting
    PL_CriticalSection *backend;  // all back-end work while the back end is not thread-safe
};
const CoreLocks &Core_Locks();

// The driver-wide list of environments (newest first) and their counter.
struct DriverRecord {
    Envr *envs;
    uint32_t envCounter;
};
extern DriverRecord Driver;

bool Core_IsInitialised();
// Creates the locks and the four tables; 0, or -1 (tables left empty).
int Core_Init();

// How Core_Shutdown treats what is still allocated.
enum ShutdownMode {
    SHUTDOWN_FULL = 0,     // close connections through the back end, then free
    SHUTDOWN_EXIT = 1,     // process exit: free the driver's objects, never call the back end
};
// Frees every environment with its connections and statements (stopping at
// the first environment with a connection inside a call), then deletes the
// locks and tables unless a call is still running.  0.
int Core_Shutdown(ShutdownMode mode = SHUTDOWN_FULL);

// The handle layer's steps of the attach and detach sequences (the library's
// assembly runs the sequences, odbc/build/assembly.h).
// -1 on a Win32s host, else 0.  Such a host does not exist here; the test
// stays so that the start-up order is the same everywhere.
int Dll_CheckWindows();
// Opens a log sink on the ODBC trace stream when it is open; closes it.
void Dll_AttachLogSinks();
void Dll_CloseLogSinks();
// Shows the start-up failure message of the string id and keeps it for the
// diagnostic calls that follow; false, for the attach sequence to return.
bool Dll_AttachFailed(int id);

// Set when a start-up step failed: every entry point answers SQL_ERROR with
// this text as its diagnostic.  Null while the library started normally.
const char *Core_StartupFailure();

// Message boxes of the start-up: the caption is string-table entry 1; the
// owner window decides whether the box is shown (0 suppresses it, -2 means
// no owner).
void Dll_ShowMessage(const char *text, uint32_t style);
int Dll_MessageBox(const char *text, const char *caption, uint32_t style);
void *Dll_OwnerWindow();
void Dll_SetOwnerWindow(void *window);

// Reads a text value of HKEY_LOCAL_MACHINE under the setup key + "\" + subkey
// into buf (size bytes); the default when the key or value is missing.
// Returns the length the registry reports with its terminator, or the
// default's length.
int Setup_GetRegString(const char *subkey, const char *name, const char *dflt, char *buf,
                       int size);

// The setup exports (the same names in both libraries).
#define KRS_LOAD_EXPORT __attribute__((visibility("default")))
extern "C" {
// String-table entry 204 into buf (at most size - 1 characters and a NUL); 1.
KRS_LOAD_EXPORT int GetSetupDatabase(char *buf, int size);
// "SOFTWARE\Kestrune Software\" + entry 204, cut to fit buf; 1.
KRS_LOAD_EXPORT int GetSetupRegistry(char *buf, int size);
}

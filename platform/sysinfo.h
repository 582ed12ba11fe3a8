// Facts about the process and the host, in place of the Windows calls the
// driver was designed around (GetVersion, GetTickCount, GetCurrentProcessId,
// GetCurrentThreadId, GetUserName, GetCommandLine).
#pragma once
#include <cstddef>
#include <cstdint>

// Windows-style version word: always an NT-family system (platform bit clear).
uint32_t PL_GetVersion();

// Milliseconds since an arbitrary start, wrapping at 2^32 like GetTickCount.
uint32_t PL_TickCount();

uint32_t PL_ProcessId();
// A number that identifies the calling thread within the process (kernel tid).
uint32_t PL_ThreadId();

// The program's name: the last path component of argv[0] from
// /proc/self/cmdline ("unknown" when it cannot be read).  Static buffer,
// valid for the life of the process.
const char *PL_ProgramName();

// The user's login name (getpwuid_r of the real uid) into buf; false when it
// cannot be found, buf then holds "".
bool PL_UserName(char *buf, size_t size);

// Directory for temporary files: $TMPDIR when set and not empty, else "/tmp".
// Always ends without a slash.
const char *PL_TempDir();

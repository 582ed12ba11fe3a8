// The ODBC installer library (unixODBC's libodbcinst.so.2), bound at first
// use: the driver never links against it.  Each forwarder looks its function
// up by name on every call and answers 0 when the library or the function
// cannot be had (a "message box" line tells the user which).
#pragma once
#include <cstdint>

#include "platform/dynlib.h"

namespace inst {

// The installer's SQLGetPrivateProfileString: characters copied into buf.
int SQLGetPrivateProfileString(const char *section, const char *entry, const char *deflt,
                               char *buf, int size, const char *fileName);
// The installer's SQLReadFileDSN: nonzero on success.
int SQLReadFileDSN(const char *path, const char *section, const char *key, char *buf,
                   uint16_t size, uint16_t *outLen);
// Wide forms (sizes in UTF-16 units); used only by the Unicode build.
int SQLGetPrivateProfileStringW(const char16_t *section, const char16_t *entry,
                                const char16_t *deflt, char16_t *buf, int size,
                                const char16_t *fileName);
int SQLReadFileDSNW(const char16_t *path, const char16_t *section, const char16_t *key,
                    char16_t *buf, uint16_t size, uint16_t *outLen);

} // namespace inst

// The address of an installer function; loads the library first when needed.
// Null (after a message line) when the library or the function is missing.
void *GetInstallerProc(const char *name);
// Opens the installer library; null when it cannot be loaded.
PL_Module LoadInstallerLibrary();
// File name of the installer library.
extern const char *const kInstallerLibraryName;

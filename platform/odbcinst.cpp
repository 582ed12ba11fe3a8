// Forwarders to the ODBC installer library.
#include "platform/odbcinst.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <unistd.h>

#include "platform/msgbox.h"

const char *const kInstallerLibraryName = "libodbcinst.so.2";

namespace {

std::atomic<PL_Module> g_installer{nullptr};

const char kCaption[] = "ODBC Installer Error";

// Path of the running program, "" when /proc does not tell.
void ProgramPath(char *buf, size_t size)
{
    ssize_t n = readlink("/proc/self/exe", buf, size - 1);
    buf[n > 0 ? n : 0] = '\0';
}

template <class Fn>
Fn Proc(const char *name)
{
    return reinterpret_cast<Fn>(GetInstallerProc(name));
}

} // namespace

PL_Module LoadInstallerLibrary() { return PL_LoadLibrary(kInstallerLibraryName); }

void *GetInstallerProc(const char *name)
{
    PL_Module lib = g_installer.load(std::memory_order_acquire);
    if (!lib) {
        PL_Module loaded = LoadInstallerLibrary();
        if (!loaded) {
            PL_MessageBox(nullptr,
                          "The ODBC installer DLL (ODBCCP32.DLL) is not installed on this system.",
                          kCaption, PL_MB_ICONINFORMATION);
            return nullptr;
        }
        PL_Module expected = nullptr;
        if (g_installer.compare_exchange_strong(expected, loaded))
            lib = loaded;
        else {
            PL_FreeLibrary(loaded);  // another thread stored its handle first
            lib = expected;
        }
    }
    void *fn = PL_GetProcAddress(lib, name);
    if (fn)
        return fn;
    char program[261];
    ProgramPath(program, sizeof program);
    char text[800];
    snprintf(text, sizeof text,
             "The program %s, or one of its DLLs attempted to call the function %s which is not "
             "supported in the loaded ODBC installer DLL (%s).  Press OK to proceed.",
             program, name, kInstallerLibraryName);
    PL_MessageBox(nullptr, text, kCaption, PL_MB_ICONINFORMATION);
    return nullptr;
}

namespace inst {

int SQLGetPrivateProfileString(const char *section, const char *entry, const char *deflt,
                               char *buf, int size, const char *fileName)
{
    using Fn = int (*)(const char *, const char *, const char *, char *, int, const char *);
    Fn fn = Proc<Fn>("SQLGetPrivateProfileString");
    return fn ? fn(section, entry, deflt, buf, size, fileName) : 0;
}

int SQLReadFileDSN(const char *path, const char *section, const char *key, char *buf,
                   uint16_t size, uint16_t *outLen)
{
    using Fn = int (*)(const char *, const char *, const char *, char *, uint16_t, uint16_t *);
    Fn fn = Proc<Fn>("SQLReadFileDSN");
    return fn ? fn(path, section, key, buf, size, outLen) : 0;
}

int SQLGetPrivateProfileStringW(const char16_t *section, const char16_t *entry,
                                const char16_t *deflt, char16_t *buf, int size,
                                const char16_t *fileName)
{
    using Fn = int (*)(const char16_t *, const char16_t *, const char16_t *, char16_t *, int,
                       const char16_t *);
    Fn fn = Proc<Fn>("SQLGetPrivateProfileStringW");
    return fn ? fn(section, entry, deflt, buf, size, fileName) : 0;
}

int SQLReadFileDSNW(const char16_t *path, const char16_t *section, const char16_t *key,
                    char16_t *buf, uint16_t size, uint16_t *outLen)
{
    using Fn = int (*)(const char16_t *, const char16_t *, const char16_t *, char16_t *,
                       uint16_t, uint16_t *);
    Fn fn = Proc<Fn>("SQLReadFileDSNW");
    return fn ? fn(path, section, key, buf, size, outLen) : 0;
}

} // namespace inst

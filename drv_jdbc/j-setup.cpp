// Load and unload set-up of the back end: the Java library directory.
#include "drv_jdbc/j-setup.h"

#include "platform/registry.h"

#include <cstring>

namespace {
char javaLibDir[DRV_JAVALIB_DIR_MAX];

// Reads a plain string value into the buffer; false when it is missing, of
// another type or does not fit.
bool readString(PL_HKEY key, const char *name, char *buf, uint32_t size)
{
    uint32_t type = 0;
    uint32_t n = size;
    if (PL_RegQueryValue(key, name, &type, buf, &n) != PL_ERROR_SUCCESS || type != PL_REG_SZ) {
        buf[0] = '\0';
        return false;
    }
    return true;
}
} // namespace

int DriverLoadSetup()
{
    javaLibDir[0] = '\0';
    PL_RegKeyHolder key;
    if (PL_RegOpenKey(PL_HKEY_LOCAL_MACHINE, "Software\\Kestrune Software\\6.0", key.Out()) ==
        PL_ERROR_SUCCESS) {
        if (!readString(key.Get(), "BNLibs", javaLibDir, sizeof javaLibDir) &&
            readString(key.Get(), "InstallDir", javaLibDir, sizeof javaLibDir)) {
            size_t n = strlen(javaLibDir);
            if (n && javaLibDir[n - 1] != '/' && n + 1 < sizeof javaLibDir)
                javaLibDir[n++] = '/';
            const char tail[] = "jre/lib/";
            if (n + sizeof tail <= sizeof javaLibDir)
                memcpy(javaLibDir + n, tail, sizeof tail);
        }
    }
    size_t n = strlen(javaLibDir);
    if (n && javaLibDir[n - 1] != '/' && n + 1 < sizeof javaLibDir) {
        javaLibDir[n] = '/';
        javaLibDir[n + 1] = '\0';
    }
    return 1;
}

int DriverUnloadSetup()
{
    return 1;
}

const char *DRV_JavaLibDir() { return javaLibDir; }

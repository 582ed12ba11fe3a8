// dlopen/dlsym/dlclose with the failure text kept per thread.
#include "platform/dynlib.h"

#include <cstdio>
#include <dlfcn.h>

namespace {

thread_local char t_error[1024];

void KeepError(const char *fallback)
{
    const char *e = ::dlerror();
    std::snprintf(t_error, sizeof t_error, "%s", e ? e : fallback);
}

}  // namespace

PL_Module PL_LoadLibrary(const char *name)
{
    if (!name || !*name) {
        std::snprintf(t_error, sizeof t_error, "no library name given");
        return nullptr;
    }
    ::dlerror();
    void *h = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (!h)
        KeepError("cannot load library");
    return h;
}

void *PL_GetProcAddress(PL_Module module, const char *name)
{
    if (!module || !name) {
        std::snprintf(t_error, sizeof t_error, "no library or symbol name given");
        return nullptr;
    }
    ::dlerror();
    void *p = ::dlsym(module, name);
    if (!p)
        KeepError("symbol not found");
    return p;
}

bool PL_FreeLibrary(PL_Module module)
{
    if (!module) {
        std::snprintf(t_error, sizeof t_error, "no library given");
        return false;
    }
    ::dlerror();
    if (::dlclose(module) != 0) {
        KeepError("cannot unload library");
        return false;
    }
    return true;
}

const char *PL_LibraryError()
{
    return t_error;
}

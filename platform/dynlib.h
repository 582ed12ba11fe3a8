// Shared libraries in place of LoadLibrary/GetProcAddress/FreeLibrary.
#pragma once

typedef void *PL_Module;

// Opens a library by file name or path (all symbols bound now, kept local);
// null on failure.
PL_Module PL_LoadLibrary(const char *name);
// The address of a symbol; null when the module or symbol is missing.
void *PL_GetProcAddress(PL_Module module, const char *name);
// False for a null module or when the system refuses.
bool PL_FreeLibrary(PL_Module module);
// Text of the calling thread's last failure of the three calls above ("" when
// none failed yet).  Valid until the thread's next failing call.
const char *PL_LibraryError();

// Frees its library on every path.
class PL_Library {
public:
    PL_Library() = default;
    ~PL_Library() { Free(); }
    PL_Library(const PL_Library &) = delete;
    PL_Library &operator=(const PL_Library &) = delete;

    bool Load(const char *name)
    {
        Free();
        module_ = PL_LoadLibrary(name);
        return module_ != nullptr;
    }
    void *Symbol(const char *name) const { return PL_GetProcAddress(module_, name); }
    PL_Module Handle() const { return module_; }
    bool IsLoaded() const { return module_ != nullptr; }
    void Free()
    {
        if (module_)
            PL_FreeLibrary(module_);
        module_ = nullptr;
    }

private:
    PL_Module module_ = nullptr;
};

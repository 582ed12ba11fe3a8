// The registry, read from an INI file.  Sections are full key paths
// ("[HKEY_LOCAL_MACHINE\Software\Kestrune Software\6.0]"), entries are
// "name=value"; "name=expand:text" is an expandable string whose %VAR%
// references are filled from the environment when queried; "@" names the
// key's default value.  Key paths and value names match without regard to
// case; "\" separates key components.
//
// Files: HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT read
// /etc/kestrune/registry.ini, HKEY_CURRENT_USER $HOME/.kestrune/registry.ini;
// KRS_REGISTRY_FILE, when set, names the one file used for all of them.
// Each open reads the file afresh; the handle keeps the key's values.
#pragma once
#include <cstdint>

enum PL_RegHive : uint32_t {
    PL_HKEY_CLASSES_ROOT = 0x80000000u,
    PL_HKEY_CURRENT_USER = 0x80000001u,
    PL_HKEY_LOCAL_MACHINE = 0x80000002u,
};

// Results (the Windows error codes of the same meaning).
constexpr long PL_ERROR_SUCCESS = 0;
constexpr long PL_ERROR_FILE_NOT_FOUND = 2;     // no such file, key or value
constexpr long PL_ERROR_OUTOFMEMORY = 14;
constexpr long PL_ERROR_INVALID_PARAMETER = 87;
constexpr long PL_ERROR_MORE_DATA = 234;        // buffer too small
constexpr long PL_ERROR_NO_MORE_ITEMS = 259;

// Value types.
constexpr uint32_t PL_REG_SZ = 1;
constexpr uint32_t PL_REG_EXPAND_SZ = 2;

struct PL_RegKey;
typedef PL_RegKey *PL_HKEY;

// Opens hive\subKey (subKey may be null or empty for the hive itself).  A key
// exists when a section names it or a key below it.  *key is null on failure.
long PL_RegOpenKey(PL_RegHive hive, const char *subKey, PL_HKEY *key);
// Opens parent\subKey, reading the file afresh.
long PL_RegOpenSubKey(PL_HKEY parent, const char *subKey, PL_HKEY *key);

// Reads a value (null or "" name: the default value).  *type (optional)
// receives PL_REG_SZ or PL_REG_EXPAND_SZ; an expandable value comes back
// expanded.  *size is the buffer's size in bytes on entry and the text's size
// with its terminator on return.  A null data pointer only reports the size;
// a buffer too small gives PL_ERROR_MORE_DATA, the size needed, and an empty
// text in the buffer.
long PL_RegQueryValue(PL_HKEY key, const char *name, uint32_t *type, char *data,
                      uint32_t *size);

// Name of the index-th value of the key (file order).  *nameSize as for
// PL_RegQueryValue.  PL_ERROR_NO_MORE_ITEMS past the last one.
long PL_RegEnumValue(PL_HKEY key, uint32_t index, char *name, uint32_t *nameSize);

long PL_RegCloseKey(PL_HKEY key);

// Replaces each %NAME% in src with the environment variable's value (an
// unknown name stays as written).  Size semantics as PL_RegQueryValue;
// returns the size needed with the terminator, 0 for null src.
uint32_t PL_ExpandEnvStrings(const char *src, char *dst, uint32_t size);

// Closes a key on every path.
class PL_RegKeyHolder {
public:
    PL_RegKeyHolder() = default;
    ~PL_RegKeyHolder() { Reset(); }
    PL_RegKeyHolder(const PL_RegKeyHolder &) = delete;
    PL_RegKeyHolder &operator=(const PL_RegKeyHolder &) = delete;

    PL_HKEY *Out() { Reset(); return &key_; }
    PL_HKEY Get() const { return key_; }
    void Reset()
    {
        if (key_)
            PL_RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    PL_HKEY key_ = nullptr;
};

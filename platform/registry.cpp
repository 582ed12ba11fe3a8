// The INI-file registry: each open parses the hive's file and keeps the
// values of the one section that names the key.
#include "platform/registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

struct PL_RegValue {
    std::string name;
    std::string text;
    uint32_t type;
};

struct PL_RegKey {
    PL_RegHive hive;
    std::string path;                 // below the hive, normalised
    std::vector<PL_RegValue> values;
};

namespace {

struct HiveName {
    PL_RegHive hive;
    const char *name;
};

const HiveName kHives[] = {
    {PL_HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
    {PL_HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {PL_HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
};

const char kExpandPrefix[] = "expand:";

const char *HiveText(PL_RegHive hive)
{
    for (const HiveName &h : kHives)
        if (h.hive == hive)
            return h.name;
    return nullptr;
}

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

// True when key lies strictly below parent (both normalised).
bool IsBelow(const std::string &key, const std::string &parent)
{
    if (parent.empty())
        return !key.empty();
    return key.size() > parent.size() && key[parent.size()] == '\\' &&
           SameText(key.substr(0, parent.size()), parent);
}

std::string Trim(const std::string &s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// Drops empty components: "\a\\b\" -> "a\b".
std::string NormalisePath(const std::string &p)
{
    std::string out;
    size_t i = 0;
    while (i < p.size()) {
        size_t j = p.find('\\', i);
        if (j == std::string::npos)
            j = p.size();
        std::string part = p.substr(i, j - i);
        if (!part.empty()) {
            if (!out.empty())
                out += '\\';
            out += part;
        }
        i = j + 1;
    }
    return out;
}

std::string HiveFile(PL_RegHive hive)
{
    const char *over = std::getenv("KRS_REGISTRY_FILE");
    if (over && *over)
        return over;
    if (hive == PL_HKEY_CURRENT_USER) {
        const char *home = std::getenv("HOME");
        if (!home || !*home)
            return std::string();
        return std::string(home) + "/.kestrune/registry.ini";
    }
    return "/etc/kestrune/registry.ini";
}

bool ReadFile(const std::string &path, std::string *out)
{
    if (path.empty())
        return false;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out->append(buf, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

void AddValue(std::vector<PL_RegValue> *values, std::string name, std::string text)
{
    uint32_t type = PL_REG_SZ;
    if (text.compare(0, sizeof kExpandPrefix - 1, kExpandPrefix) == 0) {
        type = PL_REG_EXPAND_SZ;
        text.erase(0, sizeof kExpandPrefix - 1);
    }
    if (name == "@")
        name.clear();
    for (PL_RegValue &v : *values) {
        if (SameText(v.name, name)) {  // a later line wins
            v.text = std::move(text);
            v.type = type;
            return;
        }
    }
    values->push_back(PL_RegValue{std::move(name), std::move(text), type});
}

// Parses the file into key->values; true when the key (full path with its
// hive name) or a key below it has a section.
bool LoadKey(const std::string &content, const std::string &full,
             std::vector<PL_RegValue> *values)
{
    bool found = false;
    bool inKey = false;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos)
            end = content.size();
        std::string line = Trim(content.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close == std::string::npos) {
                inKey = false;
                continue;
            }
            std::string section = NormalisePath(Trim(line.substr(1, close - 1)));
            inKey = SameText(section, full);
            if (inKey || IsBelow(section, full))
                found = true;
            continue;
        }
        if (!inKey)
            continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        AddValue(values, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
    }
    return found;
}

long OpenPath(PL_RegHive hive, const std::string &sub, PL_HKEY *key)
{
    const char *hiveName = HiveText(hive);
    if (!hiveName)
        return PL_ERROR_INVALID_PARAMETER;
    std::string content;
    if (!ReadFile(HiveFile(hive), &content))
        return PL_ERROR_FILE_NOT_FOUND;
    std::string path = NormalisePath(sub);
    std::string full = path.empty() ? std::string(hiveName) : std::string(hiveName) + "\\" + path;
    std::vector<PL_RegValue> values;
    if (!LoadKey(content, full, &values))
        return PL_ERROR_FILE_NOT_FOUND;
    PL_RegKey *k = new PL_RegKey{hive, std::move(path), std::move(values)};
    *key = k;
    return PL_ERROR_SUCCESS;
}

// Copies text with its terminator into data under the size rules of
// PL_RegQueryValue.
long CopyOut(const std::string &text, char *data, uint32_t *size)
{
    if (text.size() + 1 > UINT32_MAX)
        return PL_ERROR_OUTOFMEMORY;
    const uint32_t need = static_cast<uint32_t>(text.size() + 1);
    if (!data) {
        *size = need;
        return PL_ERROR_SUCCESS;
    }
    if (*size < need) {
        if (*size > 0)
            data[0] = '\0';
        *size = need;
        return PL_ERROR_MORE_DATA;
    }
    std::memcpy(data, text.c_str(), need);
    *size = need;
    return PL_ERROR_SUCCESS;
}

std::string Expand(const std::string &src)
{
    std::string out;
    size_t i = 0;
    while (i < src.size()) {
        size_t open = src.find('%', i);
        if (open == std::string::npos) {
            out.append(src, i, std::string::npos);
            break;
        }
        size_t close = src.find('%', open + 1);
        if (close == std::string::npos) {
            out.append(src, i, std::string::npos);
            break;
        }
        out.append(src, i, open - i);
        std::string name = src.substr(open + 1, close - open - 1);
        const char *val = name.empty() ? nullptr : std::getenv(name.c_str());
        if (val) {
            out += val;
            i = close + 1;
        } else {
            out.append(src, open, close - open + 1);  // unknown: kept whole
            i = close + 1;
        }
    }
    return out;
}

}  // namespace

long PL_RegOpenKey(PL_RegHive hive, const char *subKey, PL_HKEY *key)
{
    if (!key)
        return PL_ERROR_INVALID_PARAMETER;
    *key = nullptr;
    try {
        return OpenPath(hive, subKey ? subKey : "", key);
    } catch (...) {
        return PL_ERROR_OUTOFMEMORY;
    }
}

long PL_RegOpenSubKey(PL_HKEY parent, const char *subKey, PL_HKEY *key)
{
    if (!key)
        return PL_ERROR_INVALID_PARAMETER;
    *key = nullptr;
    if (!parent)
        return PL_ERROR_INVALID_PARAMETER;
    try {
        return OpenPath(parent->hive, parent->path + "\\" + (subKey ? subKey : ""), key);
    } catch (...) {
        return PL_ERROR_OUTOFMEMORY;
    }
}

long PL_RegQueryValue(PL_HKEY key, const char *name, uint32_t *type, char *data,
                      uint32_t *size)
{
    if (!key || !size)
        return PL_ERROR_INVALID_PARAMETER;
    try {
        const std::string wanted = name ? name : "";
        for (const PL_RegValue &v : key->values) {
            if (!SameText(v.name, wanted))
                continue;
            if (type)
                *type = v.type;
            return CopyOut(v.type == PL_REG_EXPAND_SZ ? Expand(v.text) : v.text, data, size);
        }
    } catch (...) {
        return PL_ERROR_OUTOFMEMORY;
    }
    return PL_ERROR_FILE_NOT_FOUND;
}

long PL_RegEnumValue(PL_HKEY key, uint32_t index, char *name, uint32_t *nameSize)
{
    if (!key || !nameSize)
        return PL_ERROR_INVALID_PARAMETER;
    if (index >= key->values.size())
        return PL_ERROR_NO_MORE_ITEMS;
    return CopyOut(key->values[index].name, name, nameSize);
}

long PL_RegCloseKey(PL_HKEY key)
{
    if (!key)
        return PL_ERROR_INVALID_PARAMETER;
    delete key;
    return PL_ERROR_SUCCESS;
}

uint32_t PL_ExpandEnvStrings(const char *src, char *dst, uint32_t size)
{
    if (!src)
        return 0;
    try {
        std::string text = Expand(src);
        uint32_t sz = size;
        CopyOut(text, dst, &sz);
        return sz;
    } catch (...) {
        return 0;
    }
}

// Text helpers shared by the handle layer, the back end and the cursor library.
#include "util/strutil.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int64_t kNts = -3;  // SQL_NTS
const size_t kPathBuf = 255;

bool str_IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
int str_Upper(char c) { return std::toupper(static_cast<unsigned char>(c)); }

// Length of a text given as (text, n or SQL_NTS): never reads past n bytes or
// past the text's NUL; other negative lengths count as empty.
size_t str_Len(const char *text, int64_t n)
{
    if (!text)
        return 0;
    if (n == kNts)
        return std::strlen(text);
    if (n < 0)
        return 0;
    return strnlen(text, static_cast<size_t>(n));
}

char *str_Dup(const char *text, size_t len)
{
    char *copy = static_cast<char *>(std::malloc(len + 1));
    if (!copy)
        return nullptr;
    if (len)
        std::memcpy(copy, text, len);
    copy[len] = '\0';
    return copy;
}

bool str_IsSep(char c) { return c == '\\' || c == '/'; }

} // namespace

char *STR_RTrim(char *text)
{
    if (!text || !*text)
        return nullptr;
    char *end = text + std::strlen(text);
    while (end > text && str_IsSpace(end[-1]))
        --end;
    *end = '\0';
    return end > text ? end - 1 : nullptr;
}

const char *STR_SkipBlanks(const char *text)
{
    if (!text)
        return nullptr;
    while (*text && str_IsSpace(*text))
        ++text;
    return text;
}

const char *STR_MatchKeywordEx(const char *keyword, const char *text, int exact)
{
    if (!keyword || !text)
        return nullptr;
    const char *p = STR_SkipBlanks(text);
    for (; *keyword; ++keyword, ++p) {
        if (!*p)
            return nullptr;
        bool same = exact ? *keyword == *p : str_Upper(*keyword) == str_Upper(*p);
        if (!same)
            return nullptr;
    }
    if (!*p)
        return p;
    if (!str_IsSpace(*p))
        return nullptr;
    return STR_SkipBlanks(p);
}

const char *STR_MatchKeyword(const char *keyword, const char *text)
{
    return STR_MatchKeywordEx(keyword, text, 0);
}

const char *STR_MatchKeywordCase(const char *keyword, const char *text)
{
    return STR_MatchKeywordEx(keyword, text, 1);
}

const char *STR_IStrStr(const char *text, const char *pattern)
{
    if (!text || !pattern)
        return nullptr;
    size_t lt = std::strlen(text);
    size_t lp = std::strlen(pattern);
    if (lp > lt)
        return nullptr;
    for (size_t i = 0; i + lp <= lt; ++i) {
        if (lp && str_Upper(text[i]) != str_Upper(pattern[0]))
            continue;
        size_t k = 1;
        while (k < lp && str_Upper(text[i + k]) == str_Upper(pattern[k]))
            ++k;
        if (k >= lp)
            return text + i;
    }
    return nullptr;
}

const char *STR_ChangeExt(const char *path, const char *ext, int mode)
{
    static char buffer[kPathBuf];
    if (!path)
        path = "";
    if (!ext)
        ext = "";

    size_t len = std::strlen(path);
    size_t element = len;
    while (element > 0 && !str_IsSep(path[element - 1]))
        --element;
    const char *dot = std::strrchr(path + element, '.');
    if (dot == path + element)
        dot = nullptr;  // a leading dot names the file, it starts no extension

    size_t keep = len;
    const char *add = nullptr;
    if (mode == 0 && dot) {
        keep = static_cast<size_t>(dot - path);
    } else if (mode == 1) {
        keep = dot ? static_cast<size_t>(dot - path) : len;
        add = ext;
    } else if (mode == 2 && !dot) {
        add = ext;
    }

    size_t total = keep + (add ? 1 + std::strlen(add) : 0);
    if (total > kPathBuf - 1) {
        buffer[0] = '\0';
        return buffer;
    }
    std::memcpy(buffer, path, keep);
    if (add) {
        buffer[keep] = '.';
        std::memcpy(buffer + keep + 1, add, std::strlen(add));
    }
    buffer[total] = '\0';
    return buffer;
}

void SYS_ProgramNameOf(const char *program, char out[255])
{
    out[0] = '\0';
    if (program) {
        const char *start = program;
        for (const char *p = program; *p; ++p) {
            if (str_IsSep(*p))
                start = p + 1;
        }
        const char *end = std::strrchr(start, '.');
        if (!end)
            end = std::strchr(start, ' ');
        if (!end)
            end = start + std::strlen(start);
        size_t len = static_cast<size_t>(end - start);
        if (len > 254)
            len = 254;
        for (size_t i = 0; i < len; ++i)
            out[i] = static_cast<char>(str_Upper(start[i]));
        out[len] = '\0';
    }
    if (std::strcmp(out, "KRNL386") == 0)
        std::strcpy(out, "WOW");
    else if (!out[0])
        std::strcpy(out, "Unknown");
}

const char *SYS_ProgramName()
{
    // argv[0] of /proc/self/cmdline: the program part of the command line,
    // with the arguments already set apart. Initialised once, thread-safely.
    static const struct Name {
        char text[255];
        Name()
        {
            char line[4096] = {0};
            const char *program = nullptr;
            if (FILE *f = std::fopen("/proc/self/cmdline", "rb")) {
                size_t got = std::fread(line, 1, sizeof line - 1, f);
                std::fclose(f);
                line[got] = '\0';
                if (got)
                    program = line;
            }
            SYS_ProgramNameOf(program, text);
        }
    } name;
    return name.text;
}

int STR_CopyCut(char *buf, int size, const char *text)
{
    if (!buf || size <= 0)
        return 0;
    size_t n = std::strlen(text);
    if (n > static_cast<size_t>(size - 1))
        n = static_cast<size_t>(size - 1);
    std::memcpy(buf, text, n);
    buf[n] = '\0';
    return static_cast<int>(n);
}

int STR_CopyN(char **out, const char *text, int64_t n)
{
    if (!out)
        return 0;
    size_t len = str_Len(text, n);
    *out = str_Dup(text ? text : "", len);
    return 0;
}

int STR_CopyUnquoted(char **out, const char *text, int64_t n)
{
    if (!out)
        return 0;
    size_t len = str_Len(text, n);
    if (len > 1 && (text[0] == '\'' || text[0] == '"') && text[len - 1] == text[0]) {
        *out = str_Dup(text + 1, len - 2);
        return 0;
    }
    *out = str_Dup(text ? text : "", len);
    return 0;
}

char *STR_Quote(const char *text, int64_t n, char quote)
{
    if (!text)
        text = "";
    size_t len = str_Len(text, n);
    if (quote == ' ' || quote == '\0')
        return str_Dup(text, len);
    size_t inner = 0;
    for (size_t i = 0; i < len; ++i)
        inner += text[i] == quote ? 2 : 1;
    char *copy = static_cast<char *>(std::malloc(inner + 3));
    if (!copy)
        return nullptr;
    char *w = copy;
    *w++ = quote;
    for (size_t i = 0; i < len; ++i) {
        *w++ = text[i];
        if (text[i] == quote)
            *w++ = quote;
    }
    *w++ = quote;
    *w = '\0';
    return copy;
}

char *STR_Unquote(const char *text, int64_t n, char quote)
{
    if (!text)
        text = "";
    size_t len = str_Len(text, n);
    if (quote == ' ' || quote == '\0' || len < 2 || text[0] != quote || text[len - 1] != quote)
        return str_Dup(text, len);
    char *copy = static_cast<char *>(std::malloc(len - 1));
    if (!copy)
        return nullptr;
    char *w = copy;
    for (size_t i = 1; i < len - 1; ++i) {
        *w++ = text[i];
        if (text[i] == quote && i + 1 < len - 1 && text[i + 1] == quote)
            ++i;
    }
    *w = '\0';
    return copy;
}

char *STR_Dup(const char *text)
{
    if (!text)
        return nullptr;
    size_t n = strlen(text) + 1;
    char *copy = static_cast<char *>(malloc(n));
    if (copy)
        memcpy(copy, text, n);
    return copy;
}

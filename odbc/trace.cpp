// The ODBC API trace file and its "-xa" companion: naming, opening without
// following links, header and closing lines, and the two line writers.
#include "odbc/trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "odbc/resources.h"
#include "platform/registry.h"
#include "platform/sysinfo.h"
#include "util/strutil.h"

namespace {

std::atomic<int> g_state{0};
// The trace lock: a leaf, held only around the stream writes.  Constant-
// initialised so that it exists before the library's load routine runs.
std::mutex g_lock;
FILE *g_streams[2] = {nullptr, nullptr};

constexpr size_t kLineStack = 2048;
constexpr size_t kNameSize = 4096;
constexpr size_t kSettingSize = 1024;

const char *const kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char *const kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Keywords whose values never reach a trace line, with the characters that
// end an unbraced value (connection-string and URL style).  A value runs on
// past brackets and blanks: masking too much is harmless, too little is not.
struct SecretKey {
    const char *key;
    const char *ends;
};
const SecretKey kSecretKeys[] = {{"PWD", ";\r\n"}, {"PASSWORD", ";&\r\n"}};

bool ValidKind(int kind) { return kind == TR_KIND_ODBC || kind == TR_KIND_XA; }

struct tm LocalNow() {
    time_t now = time(nullptr);
    struct tm tmv;
    if (!localtime_r(&now, &tmv)) memset(&tmv, 0, sizeof tmv);
    return tmv;
}

// The local time as "%a %b %d %H:%M:%S %Y" with English names, whatever the
// application's locale.
void FormatStamp(char *buf, size_t size) {
    struct tm t = LocalNow();
    snprintf(buf, size, "%s %s %02d %02d:%02d:%02d %d", kDayNames[(t.tm_wday % 7 + 7) % 7],
             kMonthNames[(t.tm_mon % 12 + 12) % 12], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
             t.tm_year + 1900);
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

bool IsWordChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// The secret keyword that begins at p (not preceded by a word character and
// followed by "="), with the length of keyword and "=" in *len; NULL if none.
const SecretKey *SecretKeyAt(const char *line, const char *p, size_t *len) {
    if (p > line && IsWordChar(p[-1])) return nullptr;
    for (const SecretKey &sk : kSecretKeys) {
        size_t k = 0;
        while (sk.key[k] && AsciiUpper(p[k]) == sk.key[k]) ++k;
        if (sk.key[k]) continue;
        while (p[k] == ' ') ++k;
        if (p[k] == '=') {
            *len = k + 1;
            return &sk;
        }
    }
    return nullptr;
}

// Length of the value at p: a braced part up to its "}", then anything up to
// the first of the keyword's end characters.
size_t SecretValueLen(const SecretKey &sk, const char *p) {
    size_t n = 0;
    if (*p == '{') {
        const char *close = strchr(p, '}');
        if (!close) return strlen(p);
        n = size_t(close - p) + 1;
    }
    return n + strcspn(p + n, sk.ends);
}

// Formats into the stack buffer, or into a heap buffer when the line is
// longer; *heap receives what the caller frees.  Never NULL.
const char *FormatLine(char *stack, size_t size, char **heap, const char *format, va_list ap) {
    *heap = nullptr;
    va_list again;
    va_copy(again, ap);
    int n = vsnprintf(stack, size, format, ap);
    if (n < 0) {
        stack[0] = '\0';
    } else if (size_t(n) >= size) {
        char *big = static_cast<char *>(malloc(size_t(n) + 1));
        if (big) {
            vsnprintf(big, size_t(n) + 1, format, again);
            *heap = big;
        }
    }
    va_end(again);
    return *heap ? *heap : stack;
}

// Writes prefix + masked text + line break on the stream of the kind, under
// the trace lock, and flushes.
void WriteLine(int kind, const char *prefix, const char *text) {
    size_t need = strlen(text) * 2 + 4;
    char stack[kLineStack * 2 + 4];
    char *heap = nullptr;
    char *masked = stack;
    if (need > sizeof stack) {
        heap = static_cast<char *>(malloc(need));
        if (heap) masked = heap; else need = sizeof stack;
    }
    TR_MaskSecrets(text, masked, need);
    {
        std::lock_guard<std::mutex> guard(g_lock);
        FILE *f = g_streams[kind];
        if (f) {
            if (prefix) fputs(prefix, f);
            fputs(masked, f);
            fputc('\n', f);
            fflush(f);
        }
    }
    free(heap);
}

// Formats one line from the caller's arguments and writes it, after prefix
// (may be null), to the trace stream of the kind.
void WriteFormatted(int kind, const char *prefix, const char *format, va_list ap) {
    char stack[kLineStack];
    char *heap;
    const char *line = FormatLine(stack, sizeof stack, &heap, format, ap);
    WriteLine(kind, prefix, line);
    free(heap);
}

// The registry value "DebugFile" of the setup key's subkey "ODBC" (REG_SZ
// only); "" when it is missing.  Read here rather than through the start-up
// module so that the trace stays a leaf of the driver.
void ReadDebugFileSetting(char *buf, uint32_t size) {
    buf[0] = '\0';
    const char *driver = RES_String(IDS_DRIVER_NAME);
    char key[256];
    snprintf(key, sizeof key, "SOFTWARE\\Kestrune Software\\%s\\ODBC", driver ? driver : "");
    PL_RegKeyHolder k;
    if (PL_RegOpenKey(PL_HKEY_LOCAL_MACHINE, key, k.Out()) != PL_ERROR_SUCCESS) return;
    uint32_t type = 0, got = size;
    if (PL_RegQueryValue(k.Get(), "DebugFile", &type, buf, &got) != PL_ERROR_SUCCESS ||
        type != PL_REG_SZ)
        buf[0] = '\0';
}

// Creates or truncates the trace file, write-only, mode 0644; a symbolic link
// in the last component and a FIFO without a reader are refused.
FILE *CreateTraceFile(const char *path) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    int fl = fcntl(fd, F_GETFL);
    if (fl != -1) fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    FILE *f = fdopen(fd, "w");
    if (!f) close(fd);
    return f;
}

void WriteHeader(int kind) {
    char stamp[64];
    FormatStamp(stamp, sizeof stamp);
    if (kind == TR_KIND_ODBC) {
        TR_Printf("** Kestrune ODBC Trace file for %s **", SYS_ProgramName());
        TR_Printf("** started on %s **", stamp);
    } else {
        TR_XaPrintf(0, "** Kestrune XA Trace File **");
        TR_XaPrintf(0, "** started on %s **", stamp);
        TR_XaPrintf(0, "%s", "");
    }
}

}  // namespace

int TR_State() { return g_state.load(std::memory_order_acquire); }

FILE *TR_Stream(int kind) {
    if (!ValidKind(kind)) return nullptr;
    std::lock_guard<std::mutex> guard(g_lock);
    return g_streams[kind];
}

bool TR_ExpandName(const char *name, int kind, char *out, size_t size) {
    if (!out || size == 0) return false;
    out[0] = '\0';
    if (!name) return false;
    size_t o = 0;
    bool fits = true;
    auto put = [&](const char *s, size_t n) {
        if (!fits || o + n >= size) {
            fits = false;
            return;
        }
        memcpy(out + o, s, n);
        o += n;
    };
    char piece[260];
    for (const char *p = name; *p && fits; ++p) {
        if (*p != '$') {
            put(p, 1);
            continue;
        }
        char c = p[1];
        if (!c) break;
        ++p;
        switch (c) {
        case '$':
            put("$", 1);
            break;
        case 'H': case 'h':
            put("C:\\", 3);
            break;
        case 'P': case 'p':
            put(piece, size_t(snprintf(piece, sizeof piece, "%ld", long(PL_ProcessId()))));
            break;
        case 'T': case 't': {
            struct tm t = LocalNow();
            put(piece, size_t(snprintf(piece, sizeof piece, "%04d%02d%02d-%02d%02d%02d",
                                       t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                                       t.tm_min, t.tm_sec)));
            break;
        }
        case 'U': case 'u':
            if (PL_UserName(piece, 256)) put(piece, strnlen(piece, 255));
            break;
        default:
            break;
        }
    }
    if (kind == TR_KIND_XA) put("-xa", 3);
    out[fits ? o : 0] = '\0';
    return fits;
}

void TR_MaskSecrets(const char *line, char *out, size_t size) {
    if (!out || size == 0) return;
    size_t o = 0;
    auto put = [&](const char *s, size_t n) {
        if (o + n >= size) n = size - 1 - o;
        memcpy(out + o, s, n);
        o += n;
    };
    const char *p = line ? line : "";
    while (*p && o + 1 < size) {
        size_t k = 0;
        const SecretKey *sk = SecretKeyAt(line, p, &k);
        if (sk) {
            put(p, k);
            p += k;
            p += SecretValueLen(*sk, p);
            put("***", 3);
        } else {
            put(p, 1);
            ++p;
        }
    }
    out[o] = '\0';
}

void TR_Printf(const char *format, ...) {
    if (TR_State() == 0 || !format) return;
    va_list ap;
    va_start(ap, format);
    WriteFormatted(TR_KIND_ODBC, nullptr, format, ap);
    va_end(ap);
}

void TR_XaPrintf(int threadPrefix, const char *format, ...) {
    if (TR_State() == 0 || !format) return;
    char prefix[32];
    if (threadPrefix) snprintf(prefix, sizeof prefix, "[%ld] ", long(PL_ThreadId()));
    va_list ap;
    va_start(ap, format);
    WriteFormatted(TR_KIND_XA, threadPrefix ? prefix : nullptr, format, ap);
    va_end(ap);
}

void TR_Open(int kind) {
    if (!ValidKind(kind) || TR_Stream(kind)) return;

    char setting[kSettingSize];
    const char *name = getenv("KRS_DEBUGFILE");
    if (!name) {
        ReadDebugFileSetting(setting, sizeof setting);
        name = setting;
    }
    if (!name[0]) return;

    FILE *f;
    int state;
    if (strcmp(name, "stderr") == 0) {
        f = stderr;
        state = 1;
    } else {
        char *path = static_cast<char *>(malloc(kNameSize));
        if (!path) return;
        f = TR_ExpandName(name, kind, path, kNameSize) ? CreateTraceFile(path) : nullptr;
        free(path);
        if (!f) return;
        state = 2;
    }
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (g_streams[kind]) {
            if (f != stderr) fclose(f);
            return;
        }
        g_streams[kind] = f;
        g_state.store(state, std::memory_order_release);
    }
    WriteHeader(kind);
}

void TR_Close(int kind) {
    if (!ValidKind(kind) || !TR_Stream(kind)) return;
    char stamp[64];
    FormatStamp(stamp, sizeof stamp);
    TR_Printf("\n** finished on %s **", stamp);
    TR_Printf("** normal end **");

    std::lock_guard<std::mutex> guard(g_lock);
    FILE *f = g_streams[kind];
    g_streams[kind] = nullptr;
    if (f && f != stderr && f != g_streams[1 - kind]) fclose(f);
    if (!g_streams[0] && !g_streams[1]) g_state.store(0, std::memory_order_release);
}

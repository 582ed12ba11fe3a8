// The log's writer: format expansion, the per-sink line with its prefix, and
// the standard-error path used while no sink was ever made.
#include "util/log.h"
#include "util/log_ring.h"
#include "platform/sysinfo.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>

namespace {

const char *const kLevelNames[8] = {"EMERG", "ALERT",  "CRIT", "ERROR",
                                    "WARNING", "NOTICE", "INFO", "DEBUG"};

// Levels written to stderr while the ring was never initialised.
int g_stderrLevel = LOG_LEVEL_WARNING;

int clampLevel(int level)
{
    return level < 0 ? 0 : (level > 7 ? 7 : level);
}

// Copies text to out, doubling each '%' so that vsnprintf prints it as it
// is; stops before stop without splitting a pair.  False when cut.
bool appendLiteral(char *&out, char *stop, const char *text)
{
    for (; *text != '\0'; ++text) {
        size_t need = (*text == '%') ? 2 : 1;
        if (static_cast<size_t>(stop - out) < need)
            return false;
        *out++ = *text;
        if (need == 2)
            *out++ = '%';
    }
    return true;
}

// Length of the printf conversion that starts at f[0] == '%', or 0 when it
// is not complete before the end of the format or its first newline.
size_t conversionLength(const char *f)
{
    static const char kInner[] = "-+ #0'123456789.*hlLqjzt";
    size_t n = 1;
    while (f[n] != '\0' && strchr(kInner, f[n]) != nullptr)
        ++n;
    if (f[n] == '\0' || f[n] == '\n')
        return 0;
    return n + 1;
}

// Appends a formatted piece to the line buffer, keeping room for the NUL.
__attribute__((format(printf, 3, 4)))
void appendf(char *buf, size_t &len, const char *format, ...)
{
    if (len + 1 >= LOG_LINE_SIZE)
        return;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buf + len, LOG_LINE_SIZE - len, format, args);
    va_end(args);
    if (n > 0)
        len += static_cast<size_t>(n);
    if (len > LOG_LINE_SIZE - 1)
        len = LOG_LINE_SIZE - 1;
}

struct LocalNow {
    struct tm tm;
    unsigned month, day, year, hour, minute, second;
};

LocalNow readLocalTime()
{
    LocalNow now = {};
    time_t t = time(nullptr);
    if (localtime_r(&t, &now.tm) != nullptr) {
        now.month = static_cast<unsigned>(now.tm.tm_mon + 1);
        now.day = static_cast<unsigned>(now.tm.tm_mday);
        now.year = static_cast<unsigned>(now.tm.tm_year + 1900);
        now.hour = static_cast<unsigned>(now.tm.tm_hour);
        now.minute = static_cast<unsigned>(now.tm.tm_min);
        now.second = static_cast<unsigned>(now.tm.tm_sec);
    }
    return now;
}

// Builds the sink's line prefix in buf; returns its length.
size_t buildPrefix(const LogSink *sink, const LocalNow &now, int level,
                   const char *file, int line, char *buf)
{
    size_t len = 0;
    buf[0] = '\0';
    uint32_t style = sink->style;
    if (style & LOG_STYLE_TIME) {
        if (style & LOG_STYLE_DATE)
            appendf(buf, len, "%02u:%02u:%02u ", now.hour, now.minute, now.second);
        else
            appendf(buf, len, "%02u/%02u/%04u %02u:%02u:%02u ", now.month, now.day,
                    now.year, now.hour, now.minute, now.second);
    }
    if (style & LOG_STYLE_LEVEL)
        appendf(buf, len, "%s ", kLevelNames[level]);
    if (style & LOG_STYLE_PROGRAM)
        appendf(buf, len, "%s ", LOG_ProgramName());
    if ((style & LOG_STYLE_POSITION) && file != nullptr)
        appendf(buf, len, "(%s:%d) ", file, line);
    if (len > 0 && len + 1 < LOG_LINE_SIZE &&
        (style & (LOG_STYLE_LEVEL | LOG_STYLE_PROGRAM | LOG_STYLE_POSITION))) {
        buf[len - 1] = ':';
        buf[len++] = ' ';
        buf[len] = '\0';
    }
    return len;
}

// Keeps the caller's errno whatever the log does in between.
struct ErrnoKeeper {
    int saved = errno;
    ~ErrnoKeeper() { errno = saved; }
};

} // namespace

const char *LOG_LevelName(int level)
{
    return kLevelNames[clampLevel(level)];
}

int LOG_SetStderrLevel(int level)
{
    int previous = g_stderrLevel;
    g_stderrLevel = clampLevel(level);
    return previous;
}

const char *LOG_ProgramName()
{
    return PL_ProgramName();
}

char *STR_CopyEnd(char *destination, const char *source)
{
    if (source == nullptr)
        source = "";
    size_t len = strlen(source);
    memcpy(destination, source, len + 1);
    return destination + len;
}

const char *LOG_ErrnoText(int errnum)
{
    const char *text = errnum >= 0 ? strerrordesc_np(errnum) : nullptr;
    if (text != nullptr)
        return text;
    static thread_local char unknown[40];
    snprintf(unknown, sizeof unknown, "Unknown error %u", static_cast<unsigned>(errnum));
    return unknown;
}

char *LOG_ExpandFormat(const char *format, char *buffer, size_t size, int errnum,
                       const char *file, int line)
{
    if (buffer == nullptr || size == 0)
        return buffer;
    if (size == 1) {
        buffer[0] = '\0';
        return buffer;
    }
    char *out = buffer;
    char *const stop = buffer + (size - 2);
    const char *f = format != nullptr ? format : "";
    while (*f != '\0' && *f != '\n') {
        if (*f != '%') {
            if (out == stop)
                break;
            *out++ = *f++;
            continue;
        }
        char c = f[1];
        if (c == 'F' || c == 'L' || c == 'm') {
            char number[16] = {};
            const char *text = "";
            if (c == 'F') {
                text = file != nullptr ? file : "";
            } else if (c == 'L') {
                std::to_chars(number, number + sizeof number - 1, line);
                text = number;
            } else {
                text = LOG_ErrnoText(errnum);
            }
            f += 2;
            if (!appendLiteral(out, stop, text))
                break;
            continue;
        }
        if (c == '%') {
            if (stop - out < 2)
                break;
            *out++ = '%';
            *out++ = '%';
            f += 2;
            continue;
        }
        size_t n = conversionLength(f);
        if (n == 0) {
            // A '%' that starts no complete conversion is printed as it is.
            if (!appendLiteral(out, stop, "%"))
                break;
            ++f;
            continue;
        }
        if (static_cast<size_t>(stop - out) < n)
            break;
        memcpy(out, f, n);
        out += n;
        f += n;
    }
    *out++ = '\n';
    *out = '\0';
    return out;
}

int LOG_Write(int level, const char *file, int line, uint32_t category,
              const char *format, va_list args)
{
    ErrnoKeeper keep;
    const int errnum = keep.saved;
    char expanded[LOG_LINE_SIZE];
    char buf[LOG_LINE_SIZE];
    level = clampLevel(level);

    if (g_logRing.next == nullptr) {
        if (level > g_stderrLevel)
            return 0;
        LOG_ExpandFormat(format, expanded, sizeof expanded, errnum, file, line);
        va_list ap;
        va_copy(ap, args);
        vsnprintf(buf, sizeof buf, expanded, ap);
        va_end(ap);
        fputs(buf, stderr);
        fflush(stderr);
        return 0;
    }

    // The clock is read once, and only when a sink that takes the message
    // shows the date or time.
    LocalNow now = {};
    bool haveNow = false;
    bool haveExpanded = false;
    for (LogSink *sink = g_logRing.next; sink != &g_logRing;) {
        LogSink *next = sink->next;  // a callback may close its own sink
        if (category != 0 && (sink->masks[level] & category) == 0) {
            sink = next;
            continue;
        }
        if (!haveNow && (sink->style & (LOG_STYLE_DATE | LOG_STYLE_TIME))) {
            now = readLocalTime();
            haveNow = true;
        }
        if ((sink->style & LOG_STYLE_DATE) &&
            (sink->day != now.day || sink->month != now.month || sink->year != now.year)) {
            if (strftime(buf, sizeof buf, "\n\t\t%a %b %d %Y\n", &now.tm) > 0 &&
                sink->write != nullptr)
                sink->write(sink, level, buf);
            sink->month = now.month;
            sink->day = now.day;
            sink->year = now.year;
        }
        size_t plen = buildPrefix(sink, now, level, file, line, buf);
        if (!haveExpanded) {
            LOG_ExpandFormat(format, expanded, sizeof expanded, errnum, file, line);
            haveExpanded = true;
        }
        va_list ap;
        va_copy(ap, args);
        vsnprintf(buf + plen, sizeof buf - plen, expanded, ap);
        va_end(ap);
        if (sink->write != nullptr)
            sink->write(sink, level, buf);
        sink = next;
    }
    return 0;
}

int LOG_Printf(int level, const char *file, int line, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    LOG_Write(level, file, line, LOG_CATEGORY_DEFAULT, format, args);
    va_end(args);
    return 0;
}

int LOG_PrintfMask(int level, const char *file, int line, uint32_t category,
                   const char *format, ...)
{
    va_list args;
    va_start(args, format);
    LOG_Write(level, file, line, category, format, args);
    va_end(args);
    return 0;
}

#define KRS_LOG_SHORT_FORM(name, level)                                          \
    int name(const char *format, ...)                                            \
    {                                                                            \
        va_list args;                                                            \
        va_start(args, format);                                                  \
        LOG_Write(level, nullptr, 0, LOG_CATEGORY_DEFAULT, format, args);        \
        va_end(args);                                                            \
        return 0;                                                                \
    }

KRS_LOG_SHORT_FORM(LOG_Error, LOG_LEVEL_ERROR)
KRS_LOG_SHORT_FORM(LOG_Warning, LOG_LEVEL_WARNING)
KRS_LOG_SHORT_FORM(LOG_Info, LOG_LEVEL_INFO)
KRS_LOG_SHORT_FORM(LOG_Debug, LOG_LEVEL_DEBUG)

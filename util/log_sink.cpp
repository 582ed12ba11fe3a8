// Log sinks: the ring they live in, their callbacks, masks and closing, and
// the flag-list parser used to configure them.
#include "util/log_ring.h"

#include <cstdlib>
#include <cstring>

LogSink g_logRing = {};

void LOG_RingInit()
{
    if (g_logRing.next == nullptr) {
        g_logRing.next = &g_logRing;
        g_logRing.previous = &g_logRing;
    }
}

static int clampLevel(int level)
{
    return level < 0 ? 0 : (level > 7 ? 7 : level);
}

void LOG_SetMask(LogSink *sink, int level, uint32_t categories)
{
    if (sink == nullptr)
        return;
    level = clampLevel(level);
    for (int i = 0; i < 8; ++i) {
        if (i <= level)
            sink->masks[i] |= categories;
        else
            sink->masks[i] &= ~categories;
    }
}

void LOG_SetLevel(LogSink *sink, int level)
{
    LOG_SetMask(sink, level, LOG_CATEGORY_ALL);
}

LogSink *LOG_NewSink(int level, uint32_t categories, uint32_t style)
{
    // The ring exists before the sink does: a failed first sink leaves an
    // empty ring, so later messages are dropped rather than sent to stderr.
    LOG_RingInit();
    LogSink *sink = static_cast<LogSink *>(calloc(1, sizeof(LogSink)));
    if (sink == nullptr)
        return nullptr;
    sink->style = style;
    LOG_SetMask(sink, level, categories);
    sink->previous = &g_logRing;
    sink->next = g_logRing.next;
    g_logRing.next->previous = sink;
    g_logRing.next = sink;
    return sink;
}

LogSink *LOG_OpenCallbacks(LogWriteFn write, LogCloseFn close, int level,
                           uint32_t categories, uint32_t style)
{
    LogSink *sink = LOG_NewSink(level, categories, style);
    if (sink != nullptr) {
        sink->write = write;
        sink->close = close;
    }
    return sink;
}

void LOG_NullWrite(LogSink *, int, const char *) {}
void LOG_NullClose(LogSink *) {}

LogSink *LOG_OpenNull(int level, uint32_t categories, uint32_t style)
{
    return LOG_OpenCallbacks(LOG_NullWrite, LOG_NullClose, level, categories, style);
}

void LOG_StreamWrite(LogSink *sink, int, const char *line)
{
    if (sink == nullptr || sink->stream == nullptr || line == nullptr)
        return;
    fputs(line, sink->stream);
    fflush(sink->stream);
}

void LOG_StreamClose(LogSink *sink)
{
    if (sink == nullptr || sink->stream == nullptr)
        return;
    fclose(sink->stream);
    sink->stream = nullptr;
}

LogSink *LOG_OpenStream(FILE *stream, int level, uint32_t categories, uint32_t style)
{
    LogSink *sink = LOG_OpenCallbacks(LOG_StreamWrite, nullptr, level, categories, style);
    if (sink != nullptr)
        sink->stream = stream;
    return sink;
}

LogSink *LOG_OpenStreamOwned(FILE *stream, int level, uint32_t categories, uint32_t style)
{
    LogSink *sink = LOG_OpenCallbacks(LOG_StreamWrite, LOG_StreamClose, level,
                                      categories, style);
    if (sink != nullptr)
        sink->stream = stream;
    return sink;
}

LogSink *LOG_OpenFile(const char *path, int level, uint32_t categories, uint32_t style)
{
    if (path == nullptr)
        return nullptr;
    FILE *file = fopen(path, "a");
    if (file == nullptr)
        return nullptr;
    LogSink *sink = LOG_OpenStreamOwned(file, level, categories, style);
    if (sink == nullptr)
        fclose(file);
    return sink;
}

int LOG_Close(LogSink *sink)
{
    // A sink linked to itself (or never linked) is already closed.
    if (sink == nullptr || sink == &g_logRing || sink->next == nullptr ||
        sink->next == sink)
        return 0;
    if (sink->close != nullptr)
        sink->close(sink);
    sink->previous->next = sink->next;
    sink->next->previous = sink->previous;
    sink->next = sink;
    sink->previous = sink;
    return 0;
}

void LOG_CloseAll()
{
    if (g_logRing.next == nullptr)
        return;
    while (g_logRing.next != &g_logRing)
        LOG_Close(g_logRing.next);
}

int LOG_ParseFlags(const char *text, const LogFlagName *table, size_t count,
                   uint32_t *mask)
{
    uint32_t collected = 0;
    int rc = 0;
    const char *p = text;
    if (p == nullptr) {
        rc = -1;
    } else {
        for (;;) {
            const char *comma = strchr(p, ',');
            size_t len = comma ? static_cast<size_t>(comma - p) : strlen(p);
            // Names are at most 2047 characters; a longer one matches nothing.
            const LogFlagName *found = nullptr;
            if (len > 0 && len < LOG_LINE_SIZE) {
                for (size_t i = 0; i < count && table != nullptr; ++i) {
                    const char *name = table[i].name;
                    if (name != nullptr && strlen(name) == len &&
                        memcmp(name, p, len) == 0) {
                        found = &table[i];
                        break;
                    }
                }
            }
            if (found == nullptr) {
                rc = -1;
                break;
            }
            collected |= found->bits;
            if (comma == nullptr)
                break;
            p = comma + 1;
        }
    }
    if (mask != nullptr)
        *mask = collected;
    return rc;
}

// The driver's levelled diagnostic log.  A line is offered to every LogSink
// of a process-wide ring; each sink filters by level and category and builds
// its own prefix.  Before any sink exists, messages up to a threshold level
// (WARNING by default) go to the standard error stream.  Log lines are never
// ODBC diagnostics.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// LogLevel: index into the level-name table.
enum LogLevel {
    LOG_LEVEL_EMERG = 0,
    LOG_LEVEL_ALERT = 1,
    LOG_LEVEL_CRIT = 2,
    LOG_LEVEL_ERROR = 3,
    LOG_LEVEL_WARNING = 4,
    LOG_LEVEL_NOTICE = 5,
    LOG_LEVEL_INFO = 6,
    LOG_LEVEL_DEBUG = 7
};

// LogStyle bits of a sink's line prefix, applied in this order.
enum LogStyle : uint32_t {
    LOG_STYLE_DATE = 0x01,     // date line before the first line of each day
    LOG_STYLE_TIME = 0x02,     // time stamp (time of day only with LOG_STYLE_DATE)
    LOG_STYLE_LEVEL = 0x04,    // level name
    LOG_STYLE_PROGRAM = 0x08,  // the log's program name
    LOG_STYLE_POSITION = 0x10  // "(file:line)" when the message has a source file
};

// Bytes in one log line, its terminating NUL included.
constexpr size_t LOG_LINE_SIZE = 2048;
// Category bits that LOG_Printf and the short forms give their messages.
constexpr uint32_t LOG_CATEGORY_DEFAULT = 1;
constexpr uint32_t LOG_CATEGORY_ALL = 0xFFFFFFFFu;

struct LogSink;
typedef void (*LogWriteFn)(LogSink *sink, int level, const char *line);
typedef void (*LogCloseFn)(LogSink *sink);

// One destination of the log.  Made zero-filled by LOG_NewSink; after
// LOG_Close its owner releases it with free().
struct LogSink {
    LogSink *next;
    LogSink *previous;
    uint32_t masks[8];   // category mask per level 0..7
    uint32_t style;      // LogStyle bits
    uint32_t month;      // date of the last date line (0 before the first)
    uint32_t day;
    uint32_t year;
    LogWriteFn write;    // may be null
    LogCloseFn close;    // may be null
    FILE *stream;        // stream and file sinks
};

// {name, bits} entry of the table LOG_ParseFlags looks names up in.
struct LogFlagName {
    const char *name;
    uint32_t bits;
};

// Name of a level ("EMERG" .. "DEBUG"); levels outside 0..7 are clamped.
const char *LOG_LevelName(int level);

// Writes one message at the level with category 1; always 0.  The format may
// use %F (source file), %L (line) and %m (text of the errno at the call).
int LOG_Printf(int level, const char *file, int line, const char *format, ...);
// Same with an explicit category mask (0 passes every sink).
int LOG_PrintfMask(int level, const char *file, int line, uint32_t category,
                   const char *format, ...);
// Levels 3, 4, 6 and 7 without source position, category 1.
int LOG_Error(const char *format, ...);
int LOG_Warning(const char *format, ...);
int LOG_Info(const char *format, ...);
int LOG_Debug(const char *format, ...);
// The core of all the above; always 0.
int LOG_Write(int level, const char *file, int line, uint32_t category,
              const char *format, va_list args);

// Copies format into buffer with %F, %L and %m replaced; stops at the first
// newline and always ends the copy with "\n" and a NUL.  Returns the address
// of that NUL.  A '%' that starts no complete conversion is written as "%%".
char *LOG_ExpandFormat(const char *format, char *buffer, size_t size, int errnum,
                       const char *file, int line);

// The runtime's text for an errno value; "Unknown error %u" otherwise (a
// per-thread buffer, overwritten by the thread's next call).
const char *LOG_ErrnoText(int errnum);

// Copies a NUL-terminated text; returns the address of the copied NUL.
char *STR_CopyEnd(char *destination, const char *source);

// Sink creation; each returns null when no sink can be made.
LogSink *LOG_NewSink(int level, uint32_t categories, uint32_t style);
LogSink *LOG_OpenCallbacks(LogWriteFn write, LogCloseFn close, int level,
                           uint32_t categories, uint32_t style);
LogSink *LOG_OpenNull(int level, uint32_t categories, uint32_t style);
// The stream stays open when the sink is closed.
LogSink *LOG_OpenStream(FILE *stream, int level, uint32_t categories, uint32_t style);
// The sink closes the stream when it is closed.
LogSink *LOG_OpenStreamOwned(FILE *stream, int level, uint32_t categories, uint32_t style);
// Opens path for appending; null (nothing logged) when it cannot be opened.
LogSink *LOG_OpenFile(const char *path, int level, uint32_t categories, uint32_t style);

void LOG_NullWrite(LogSink *sink, int level, const char *line);
void LOG_NullClose(LogSink *sink);
void LOG_StreamWrite(LogSink *sink, int level, const char *line);
void LOG_StreamClose(LogSink *sink);

// Sets the categories in the masks of levels 0..level, clears them above.
void LOG_SetMask(LogSink *sink, int level, uint32_t categories);
// LOG_SetMask with every category.
void LOG_SetLevel(LogSink *sink, int level);

// Runs the close callback and unlinks the sink (it is not freed); always 0.
int LOG_Close(LogSink *sink);
// LOG_Close on every sink of the ring.
void LOG_CloseAll();

// Splits text at commas and ORs the bits of each name found in table into
// *mask (cleared first); 0, or -1 at the first unknown or empty name.
int LOG_ParseFlags(const char *text, const LogFlagName *table, size_t count,
                   uint32_t *mask);

// The program name written by style bit 8 and by the exit prompt.
const char *LOG_ProgramName();

// Highest level written to the standard error stream while no sink was ever
// made (default 4, WARNING); returns the previous threshold.
int LOG_SetStderrLevel(int level);

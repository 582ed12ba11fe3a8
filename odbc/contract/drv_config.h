// The back end's connection configuration: the keywords of one connect (a
// connection string, or SQLConnect's three values) completed from odbc.ini
// or a File DSN, the login dialog, the process-wide back-end options block
// and the output connection string.  The handle layer's connect calls it
// under the connect lock, once per connect, and stores the settings it
// answers in its own connection.
#pragma once
#include <cstdint>

// The caller's trace: one line in printf form.
typedef void (*DrvTraceFn)(const char *format, ...);

// One connect as the application asked for it.
struct DrvConfigRequest {
    void *window;          // owner window of the login dialog; NULL: none can be shown
    const char *in;        // connection string (not direct): the text and its length or SQL_NTS
    int16_t inLen;
    uint16_t completion;   // SQL_DRIVER_NOPROMPT ...
    int width;             // 'W' or 'A': the width of the files' and the dialog's text
    int32_t direct;        // SQLConnect: the three values are taken as they are, never parsed
    const char *dsn;
    const char *uid;
    const char *pwd;
    int32_t noLoginBox;    // the connection already has the login box off
    DrvTraceFn trace;      // the API trace; NULL when it is off
};

// What one connect's keywords give the connection.  The texts stay the back
// end's until End (NULL: the keyword has no value); the output strings are
// heap texts that the receiver frees.
struct DrvConnSettings {
    const char *dsn;        // the DSN, "Default" without DSN or File DSN, NULL with a File DSN only
    const char *uid;
    const char *pwd;
    const char *jdbcClass;  // keyword JDBC
    const char *dsProps;    // keyword URL
    uint32_t fetchSize;     // FBS, 60 when none
    int32_t readOnly;       // READONLY is true
    int32_t mase;           // MASE is true
    int32_t includeViews;   // IV is true
    int32_t includeAll;     // IA is true
    char *outText;          // the output connection string
    char *outShown;         // the same with the password shown as "***"
};

// Configure's answer when the login dialog was not confirmed.
constexpr int DRV_CONFIG_NOT_CONFIRMED = -1;

struct DrvConfigOps {
    // Reads the keywords (the connection string traced with its passwords
    // masked), asks the login dialog when the completion wants one, fills the
    // back-end options block and answers the settings.  0,
    // DRV_CONFIG_NOT_CONFIRMED, ERR_MEMORY_ALLOCATION (S1001) or
    // ERR_DIALOG_FAILED (IM008: a prompt that must be shown without a
    // window).
    int (*Configure)(const DrvConfigRequest *request, DrvConnSettings *out);
    // Writes the lines of the verbose connect trace that show the connection
    // string and the keywords.
    void (*TraceKeywords)(DrvTraceFn trace);
    // Forgets the connect's keywords (no password outlives the connect).
    void (*End)();
};

// The ODBC API trace and its XA companion.
//
// Both are switched on only by naming a file in KRS_DEBUGFILE or in the
// registry value "DebugFile" (subkey "ODBC" of the setup key).  "stderr"
// sends them to the standard error stream.  Lines are written whole under
// one lock and flushed at once; password values never reach them.
#pragma once
#include <cstddef>
#include <cstdio>

enum TraceKind {
    TR_KIND_ODBC = 0,
    TR_KIND_XA = 1
};

// Tracing state: 0 off, 1 to the standard error stream, 2 to files.
int TR_State();
inline bool TR_IsOn() { return TR_State() != 0; }

// Opens the stream of the kind when a trace is configured and it is not open
// yet, and writes its header lines; quietly does nothing otherwise.
void TR_Open(int kind);
// Writes the closing lines into the ODBC trace and closes the stream of the
// kind (the standard error stream stays open).
void TR_Close(int kind);

// One line (a line break is added) on the ODBC trace while it is open.
void TR_Printf(const char *format, ...) __attribute__((format(printf, 1, 2)));
// One line on the XA trace; threadPrefix != 0 puts "[<thread id>] " first.
void TR_XaPrintf(int threadPrefix, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

// The open stream of the kind, NULL when closed (the log sink on the ODBC
// trace writes into it).
FILE *TR_Stream(int kind);

// Expands the escapes of a configured trace name into out ("$$", "$H", "$P",
// "$T", "$U"; any other "$x" and a final "$" are dropped) and appends "-xa"
// for the XA kind.  False when the result does not fit size bytes.
bool TR_ExpandName(const char *name, int kind, char *out, size_t size);

// Copies a trace line into out (size bytes, always terminated), with the
// value of every PWD= or PASSWORD= keyword (any case) replaced by "***".
void TR_MaskSecrets(const char *line, char *out, size_t size);

// Where an internal check of the SQL analyser or the cursor library fails.
// The check still answers ERR_GENERAL (S1000 "General error"); a log line
// names the file and line of the check, so that a trace of a failing call
// shows which check fired.
#pragma once
#include "odbc/contract/errnum.h"

// Writes "S1000 General error: check at <file>:<line>" at debug level (the
// ODBC trace shows it; nothing reaches the standard error stream) and
// answers ERR_GENERAL.  `file` may be a path; its last component is named.
int SC_GeneralErrorAt(const char *file, int line);

// ERR_GENERAL, answered by the check at this place.
#define SC_ERR_GENERAL SC_GeneralErrorAt(__FILE__, __LINE__)

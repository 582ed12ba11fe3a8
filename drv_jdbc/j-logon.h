// The login dialog: libkrslogon.so, opened at first use.  Without the
// library (or its functions) every prompt counts as not confirmed.
#pragma once

// KrsLOGIN (window, driver description, connection string as the application
// gave it, result text pointer starting out NULL, 'W' or 'A') -> 1 when confirmed.
typedef int (*KrsLoginFn)(void *window, const char *driverDesc, const char *connStr,
                          char **result, int width);
// KrsLOGIN_Free (result text pointer): releases what KrsLOGIN returned.
typedef void (*KrsLoginFreeFn)(char *result);

// Shows the dialog.  1 and a heap copy of the completed connection string in
// *result (the caller frees it) when the user confirmed; 0 and NULL otherwise.
int LogonPrompt(void *window, const char *driverDesc, const char *connStr, char **result,
                int width);

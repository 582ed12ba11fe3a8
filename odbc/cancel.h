// SQLCancel: reaches a statement whose connection may be inside a call on
// another thread, so it does not go through the dispatcher.
#pragma once
#include <sql.h>

// Cancels the running call of the statement (through the back end's cancel)
// or, when nothing runs, closes the statement with 01S05.
SQLRETURN API_Cancel(SQLHSTMT hstmt);

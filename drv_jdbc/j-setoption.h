// DRV_SetOption: connection and statement options applied to the
// JDBC objects or kept in the back-end records, with the negotiation of
// cursor type and concurrency.
#pragma once
#include <cstdint>

struct CursorState;
struct DrvConn;

// Applies the option of an item code (connection class 2, statement class
// 3) to the handle's record.  0; ERR_OPTION_VALUE_CHANGED when another value than the one asked
// for was stored (written back through value); ERR_NOT_CAPABLE for a code it does not
// take or a value it cannot give; ERR_INVALID_ARGUMENT unknown handle or bad value; ERR_GENERAL no
// JNIEnv; else the failing JDBC call's number (nothing changed then).
// value points at a 32-bit integer, or at the text for DRV_CONN_CATALOG.
int DRV_SetOption(int handle, int code, void *value);

// Cursor type (6) or concurrency (7): the value itself when the capability
// mask holds it, else the first of its fallbacks that it holds (ERR_OPTION_VALUE_CHANGED, value
// rewritten), else ERR_NOT_CAPABLE with the value unchanged.  Values the driver does not
// know are refused.  Other options: 0.
int negotiateOption(const DrvConn *c, int option, int32_t *value);

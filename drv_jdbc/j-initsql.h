// The initial SQL file of a connection (keyword INITSQL): statements run one
// by one right after the connection opens; failures are logged, never fatal.
#pragma once
#include <jni.h>

struct DrvConn;

// Runs the file (".sql" added when the name has no extension) through one
// JDBC Statement.  0 when it was read to its end with the last statement
// terminated, -1 otherwise (a missing file, no statement, unterminated text).
int execInitialSQL(DrvConn *c, jobject conn, const char *fileName);

// Back-end statements and their descriptions: DRV_AllocStmt, DRV_FreeStmt,
// DRV_GetCursorName, DRV_SetCursorName, DRV_GetColDescs, DRV_GetParamDescs,
// DRV_CloseCursor and DRV_ColAttributes, the close and reset routines that the execution operations reuse,
// and the result column descriptions built from ResultSetMetaData.
#pragma once
#include <cstdint>

struct ColDesc;
struct DrvStmt;
struct TypedValue;

int DRV_AllocStmt(int conn, int *outStmt);
int DRV_FreeStmt(int stmt);
// ERR_FUNCTION_SEQUENCE (S1010) without a pending result; ERR_DATA_TRUNCATED when the name was cut.
int DRV_GetCursorName(int stmt, char *buf, int16_t len, int16_t *outLen);
int DRV_SetCursorName(int stmt, const char *name);
// Copies are the caller's (CD_Free); a null copy pointer asks for the count.
int DRV_GetColDescs(int stmt, uint16_t *outCount, ColDesc **outCopy);
int DRV_GetParamDescs(int stmt, uint16_t *outCount, ColDesc **outCopy);
int DRV_CloseCursor(int stmt);
// The descriptions with the column attributes that carry information; both
// arrays are the caller's.  ERR_INVALID_ARGUMENT for a null out-pointer.
int DRV_ColAttributes(int stmt, uint16_t *outCols, int16_t *outAttrs, ColDesc **outCopy,
                      TypedValue **outTable);

// The statement record of a handle, or NULL.
DrvStmt *drvStmtOf(int handle);
// Attaches the calling thread (its JNIEnv is what the record's env gives);
// false when the VM refuses.
bool drvStmtEnter(DrvStmt *s);
// Ends the current result: flags, counters and the Java result released;
// the result descriptions stay.
void closeResultSet(DrvStmt *s);
// Drops the result column descriptions.
void freeResultDescs(DrvStmt *s);
// Describes the result: 'P' before execution through the prepared
// statement's metadata (an error is reported, not swallowed; only a JDBC
// driver that does not support the call turns descriptions off for the
// connection), 'E' from the current ResultSet.  0 or the error.
int describeResultCols(DrvStmt *s, char mode);

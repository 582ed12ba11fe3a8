// The back end's error chains: every back-end record (DrvEnv, DrvConn,
// DrvStmt) carries an ErrChain on which operations and the Java bridge post
// what went wrong; the handle layer drains it with DRV_GetErrors.
#pragma once
#include <cstdint>

#include "odbc/contract/err_report.h"

constexpr int ERR_MSG_MAX = 2047;  // bytes of message text kept per record

struct ErrRec {
    ErrRec *next;                  // next (newer) record
    int32_t nativeCode;            // vendor code of a Java SQLException, else 0
    char message[ERR_MSG_MAX + 1];
    char *sqlState;                // heap copy owned by the record
};

// Embedded in its owner; all-zero is an empty chain that does not keep.
struct ErrChain {
    int32_t keep;  // 0: each post empties the chain first
    ErrRec *first;
};

// New record (message cut to 2047 bytes); NULL when memory runs out.
ErrRec *errNew(const char *message, int32_t nativeCode, const char *sqlState);
// New record with row n's message and SQLSTATE; NULL when memory runs out.
ErrRec *errNewByCode(int n);
void errAppend(ErrChain *chain, ErrRec *rec);
void errClear(ErrChain *chain);
void errPostCode(ErrChain *chain, int n);
void errPostMsg(ErrChain *chain, const char *message, int n);
// Posts a Java exception's SQLSTATE, message (control characters blanked in
// place) and native code; stores the first ErrorTable row of the SQLSTATE
// (ERR_GENERAL when none) in *number when that is still 0.
void errPostSQLException(int *number, const char *sqlState, char *message, int32_t nativeCode,
                         ErrChain *chain);
// Number of records on a chain.
int errCount(const ErrChain *chain);

// DRV_GetErrors: drains the chain of a back-end statement, connection or environment
// into the report.  ERR_INVALID_ARGUMENT for an unknown handle,
// ERR_MEMORY_ALLOCATION when memory runs out.
int DRV_GetErrors(int handle, ErrReport *out);

// DrvStmt: the back end's statement record, named across the operation table
// by a handle of the statement table (tag 0xCCCC).  One zero-filled heap
// block (calloc) per statement; the statement operations fill in the rest.
#pragma once
#include "drv_jdbc/j-errors.h"

#include <jni.h>

#include <cstdint>

struct DrvConn;

struct DrvStmt {
    DrvConn *conn;       // owning connection
    ErrChain errors;     // diagnostics of this statement's operations
    JNIEnv *env;         // JNIEnv of the thread of the current call
    int32_t stringMode;  // StringMode, copied from the connection
    int32_t handle;      // this record's back-end statement handle
    jobject stmt;        // global reference: Statement, PreparedStatement or CallableStatement
    jobject resultSet;   // global reference to the open ResultSet, or NULL
    jobject rsMetaData;  // global reference to its ResultSetMetaData, or NULL
};

// Closes the statement's Java objects and releases their global references
// (with the record's env); the record stays.
void resetStmt(DrvStmt *s);
// resetStmt, then empties the chain and frees the record.  The caller has
// taken the record out of the statement table.
void drvStmtDiscard(DrvStmt *s);

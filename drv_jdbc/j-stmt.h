// DrvStmt: the back end's statement record, named across the operation table
// by a handle of the statement table (tag 0xCCCC).  One zero-filled record
// (new DrvStmt()) per statement; the statement operations fill in the rest.
#pragma once
#include "drv_jdbc/j-errors.h"
#include "drv_jdbc/j-escape.h"
#include "drv_jdbc/j-global.h"
#include "drv_jdbc/j-threadenv.h"
#include "odbc/contract/cursor_state.h"

#include <jni.h>

#include <cstdint>

struct BatchFiller;
struct BlockReader;
struct ColDesc;
struct DrvConn;
struct ParamTypeDesc;
struct RowBlock;

// DrvStmt::flags
enum : uint16_t {
    DS_PREPARED = 0x0001,
    DS_PENDING = 0x0002,             // a result is pending (executed)
    DS_END_OF_DATA = 0x0004,         // the next fetch hands back an empty block
    DS_HAS_RESULTSET = 0x0008,       // the last execution produced a ResultSet
    DS_PARAMS_CHANGED = 0x0010,      // parameter values or types changed since bound
    DS_PROCCALL = 0x0040,            // prepared with prepareCall
    DS_DESCRIBED = 0x0080,           // result columns described
    DS_EXECUTED_AT_PREPARE = 0x0100,
    DS_OUT_REGISTERED = 0x0200,      // output parameters registered
    DS_COUNTED = 0x0400,             // rowCount holds the last execution's count
};

// Cursor-library context flag: the select list was analysed and rewritten.
constexpr uint16_t DS_SCS_SELECT_REWRITTEN = 0x1000;

struct DrvStmt {
    DrvConn *conn;              // owning connection
    ErrChain errors;            // diagnostics of this statement's operations
    ThreadEnv env;              // the calling thread's JNIEnv
    int32_t stringMode;         // StringMode, copied from the connection
    int32_t handle;             // this record's back-end statement handle
    JGlobal<> stmt;             // Statement, PreparedStatement or CallableStatement
    JGlobal<> resultSet;        // the open ResultSet, or NULL
    JGlobal<> rsMetaData;       // its ResultSetMetaData, or NULL
    uint16_t flags;             // DS_*
    SqlText sql;                // the statement text and its analysis
    CursorOptions options;      // the statement's cursor options (zero at allocation)
    int32_t cursorDefault;      // the connection's cursor default word
    int32_t forceStatic;        // 1 with one-statement emulation
    RowBlock *params;           // parameter values (owned)
    uint16_t colCount;
    ColDesc *cols;              // result column descriptions (owned)
    uint16_t paramCount;        // parameter markers of the prepared text
    ColDesc *paramDescs;        // parameter descriptions (owned)
    uint16_t executions;        // parameter sets executed since the last execute started
    int32_t rowCount;           // with DS_COUNTED: the update counts of the execution, or sets done before a failure
    int32_t blockRows;          // rows of the last block fetched
    int32_t rowsFetched;        // rows delivered since the result was opened
    int32_t maxRows;            // row limit of a result, 0 none
    int32_t jdbcMaxRows;        // the row limit the Java statement was given (0 none)
    ParamTypeDesc *paramTypes;  // owned copy
    uint16_t paramTypeCount;
    int32_t redirectCol;        // -1 none; else the block column that receives the one JDBC column
    int32_t catalogKind;        // 0 ordinary; 1..11 the catalog result kinds
    int16_t typeFilter;         // SQL type asked of the type information (0 all)
    int32_t jdbcColumns;        // -1 all; else the leading JDBC columns read per row
    char *procName;             // procedure of the previous procedure-columns row
    int32_t ordinal;            // ORDINAL_POSITION counter of procedure columns
    int32_t paramsDescribed;    // 1 once parameter descriptions were derived
    int32_t queryTimeout;       // SQL_QUERY_TIMEOUT in seconds, for each new JDBC statement
    int32_t noScan;             // SQL_NOSCAN: 1 or 0
    int32_t maxLength;          // SQL_MAX_LENGTH, 0 none
    BlockReader *blockReader;   // the Java reader of row blocks (owned), or NULL
    BatchFiller *batchFiller;   // the Java filler of parameter batches (owned), or NULL
    RowBlock *typeRows;         // the type-information result in ODBC's order (owned), or NULL
    int32_t typeRowNext;        // its next row to hand out
};

// Puts a global reference (or none) in the record's Java statement slot and
// deletes the one it held.  The swap is made under the lock that
// stmtObjectRef takes, and every record passes through here before it is
// freed.
void setStmtObject(DrvStmt *s, JGlobal<> global);
// A local reference of the calling thread to the Java statement of a
// statement handle (NULL when it has none), safe while another thread is
// inside a call on the statement; 0, or ERR_INVALID_ARGUMENT for an unknown handle.
int stmtObjectRef(int handle, JNIEnv *env, jobject *out);

// Closes the result and the Java statement, drops the descriptions and the
// analysed text; the record stays (prepared state cleared).
void resetStmt(DrvStmt *s);
// resetStmt, then frees the parameters, empties the chain and frees the
// record.  The caller has taken the record out of the statement table.
void drvStmtDiscard(DrvStmt *s);

// DrvConn: one open java.sql.Connection of the back end, named across the
// operation table by a handle of the connection table (tag 0xBBBB), and the
// connection operations DRV_Connect, DRV_Disconnect, DRV_Commit and
// DRV_Rollback.
#pragma once
#include "drv_jdbc/j-errors.h"
#include "drv_jdbc/j-global.h"
#include "drv_jdbc/j-options.h"
#include "drv_jdbc/j-threadenv.h"
#include "odbc/contract/xid.h"

#include <jni.h>

#include <cstdint>

struct DrvEnv;
struct DrvConnectParams;
struct HashTable;
struct XaWorkerMode;

// One zero-filled record (new DrvConn()) per connection; freed by freeDrvConn.
struct DrvConn {
    ErrChain errors;            // diagnostics of connection operations
    int32_t cursorEnv;          // written by the cursor library
    void *keyColumnCache;       // the cursor library's cache of key columns
    XaWorkerMode *xaMode;       // owned by the XA worker layer; NULL at connect
    DrvEnv *drvEnv;             // the back-end environment
    int32_t handle;             // this record's back-end connection handle
    JGlobal<> connection;       // java.sql.Connection
    JGlobal<> metaData;         // its DatabaseMetaData
    JGlobal<> xaConnection;     // javax.sql.XAConnection while XA is open
    JGlobal<> xaResource;       // its XAResource
    jclass xidClass;            // the environment's XAXid class (owned by the DrvEnv)
    char *xaClassName;          // XA data-source class of the class list ('/' form)
    char *classList;            // the data-source class list ('/' form)
    jobject classLoader;        // the environment's class loader (owned by the DrvEnv)
    char *dsProps;              // DataSource property string, braces stripped; NULL when none
    char *user;                 // "" when none was given
    char *password;             // "" when none was given
    int32_t readOnlyAtConnect;  // the connect parameters' read-only flag
    int32_t accessMode;         // current access-mode setting
    ThreadEnv env;              // the calling thread's JNIEnv
    HashTable *scalarFunctions; // ScalarFunctionMap: name -> row of the scalar-function table
    HashTable *typeInfo;        // 16-bit DATA_TYPE -> TypeInfoEntry; NULL when not built
    int32_t useGetMetaData;
    int32_t useAsciiStream;
    int32_t useBinaryStream;
    int32_t capabilityMark;
    int32_t odbcVersion;        // 2 at connect
    int32_t cursorDefault;      // copied into each new statement's cursor context
    DrvOptions options;         // copy of the process-wide block; owns its two texts
    int32_t stringMode;         // StringMode
    int32_t oneStmtEmulation;   // MASE
    XID *recoverList;
    int32_t recoverCount;
    int32_t recoverPos;
    JGlobal<> dataSource;       // the data source that made the connection
    int32_t xaBranchActive;     // 1 from a start to the end of that branch
    XID xaBranch;               // the branch started last
};

// One cached row of the type-information result.
struct TypeInfoEntry {
    char typeName[61];
    char literalPrefix[7];
    char literalSuffix[7];
};

// DRV_Connect: opens a JDBC connection; on failure the texts wait on the environment's chain.
// ERR_INVALID_ARGUMENT unknown environment, ERR_GENERAL no JNIEnv, ERR_MEMORY_ALLOCATION
// memory, else the factory's number (ERR_DRIVER_LOAD_FAILED, ERR_GENERAL,
// ERR_MEMORY_ALLOCATION, ERR_UNABLE_TO_CONNECT ...).
int DRV_Connect(int env, DrvConnectParams *params, int *outConn);
// DRV_Disconnect: frees the connection's statements, closes the connection and its
// data source so that no server session remains, and frees the record.
int DRV_Disconnect(int conn);
// DRV_Commit, DRV_Rollback: commit or roll back; successful no-ops under autocommit.
int DRV_Commit(int conn);
int DRV_Rollback(int conn);

// The connection record of a handle, or NULL.
DrvConn *drvConnOf(int handle);
// Attaches the calling thread (its JNIEnv is what the record's env gives);
// false when the VM refuses.
bool drvConnEnter(DrvConn *c);

// Closes the JDBC connection, the XA connection and the data source that
// made them (so that no server session stays) and drops their references
// and the metadata's, on the recorded JNIEnv; outcomes are not checked.
void closeConnRefs(DrvConn *c);

// Frees the record and what it owns (its global references through the
// calling thread), except the scalar-function map.  NULL is allowed.
void freeDrvConn(DrvConn *c);

// Type-information lookups; "" when the cache or the type is missing.
const char *typeInfoName(HashTable *cache, int sqlType);
const char *typeInfoLiteral(HashTable *cache, int sqlType, int which);

// Built-in class list of every connection: the plain and the XA data source.
extern const char DRV_ClassList[];

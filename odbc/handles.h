// The handle objects of the ODBC layer: environment, connection, statement
// and descriptor.  Each begins with a HandleHead (type tag, its handle and its
// diagnostics); the application sees only the integer handles.
#pragma once
#include <sql.h>

#include <atomic>
#include <cstdint>

#include "odbc/contract/cursor_state.h"
#include "odbc/contract/drv_convtable.h"
#include "odbc/dispatch.h"
#include "odbc/contract/drv_ops.h"
#include "odbc/errors.h"
#include "odbc/info_cache.h"
#include "odbc/contract/rowblock.h"
#include "platform/locks.h"

enum : uint32_t {
    ENVR_TAG = 0x3144,
    CONN_TAG = 0x3244,
    STMT_TAG = 0x3344,
    DESC_TAG = 0x3444,
    FREED_TAG = 0xFFFFFFFFu,
};

struct Envr;
struct Conn;
struct Stmt;
struct Desc;
struct ColBindingNode;
struct ParamBinding;
struct ParamSummary;
struct HashTable;
struct DescRec;
struct StmtExec;

struct HandleHead {
    uint32_t typeTag;  // *_TAG while alive, FREED_TAG once freed
    uint64_t handle;   // the integer handle the application holds
    ErrQueue diag;     // error number, queued texts, current record number
};

// Envr::state
enum : int32_t { ENVR_FREED = 0, ENVR_ALLOCATED = 1, ENVR_OPEN = 2 };

struct Envr : HandleHead {
    int32_t state;
    Envr *next;            // driver-wide list, newest first
    Conn *conns;           // its connections, newest first
    uint32_t id;           // 1, 2, 3 ... in order of allocation
    int32_t connCounter;
    uint32_t pooling;      // SQL_ATTR_CONNECTION_POOLING 0..2
    uint32_t poolMatch;    // SQL_ATTR_CP_MATCH 0..1
    int32_t odbcVersion;   // 2 or 3
    uint32_t outputNts;    // SQL_ATTR_OUTPUT_NTS
};

// Conn::state
enum : int32_t { CONN_FREED = 0, CONN_ALLOCATED = 1, CONN_CONNECTED = 2 };

// Conn::flags
enum : uint16_t {
    CN_NOLOGINBOX = 0x01,
    CN_READONLY = 0x02,
    CN_AUTOCOMMIT = 0x04,
    CN_ASYNC = 0x08,
    CN_MASE = 0x80,
    CN_INCLUDE_VIEWS = 0x100,
    CN_INCLUDE_ALL = 0x200,
};

typedef int (*FailoverCallback)(int event, void *context, void *reserved);

struct Conn : HandleHead {
    int32_t state;
    Conn *next;            // the next connection of the same environment
    Stmt *stmts;           // its statements, newest first
    Envr *env;

    // Configuration texts (owned; UTF-8 in the Unicode build).
    char *dsn;
    char *uid;
    char *pwd;
    char *cn_dbpath;       // JDBC driver class
    char *cn_dbopts;       // DataSource property string
    char *cn_dbhost;
    char *port;
    char *cn_svtype;
    char *serverText;
    char *extraText;

    uint16_t flags;        // CN_* bits; CN_AUTOCOMMIT at allocation
    char *appName;
    uint32_t loginTimeout; // 120 at allocation

    // Statement defaults set through connection options.
    uint32_t bindType;
    uint64_t maxLength;
    uint64_t maxRows;
    uint32_t noScan;
    uint32_t queryTimeout;
    CursorOptions stmtDefaults;

    uint32_t isolation;
    uint32_t cn_fetchSize;
    DrvBinding binding;
    uint32_t serverHandle; // back-end environment
    uint32_t drvConn;      // back-end connection
    uint32_t id;
    int32_t stmtCounter;

    // The one handle object inside a call on this connection, or null.
    std::atomic<HandleHead *> busy;

    // Capabilities declared by the back end at connect time.
    int32_t cn_needbind;
    int32_t cn_hasMoreRes;
    int32_t cn_hasParamOp;
    int32_t cn_spOutDeferFetch;
    int32_t cn_hasScrlCurs;
    int32_t cn_hasDynMixCurs;
    int32_t cn_hasV2DAE;
    int32_t narrowConversion;
    int32_t cn_hasExecute2;
    int32_t cn_infoCap;        // capability bit 0x200 (driver information)
    int32_t cn_colAttrOp;      // 0x400: column attributes through ColAttributes
    int32_t cn_stmtCap;        // 0x800 (statement layer)
    int32_t cn_stmtOptCap;     // 0x1000 (statement options)
    int32_t cn_failoverCap;    // 0x4000: failover capable
    int32_t cn_xaCap;          // 0x2000: XA capable

    // The back end's SQL_CONVERT table: type 1 while held, 0 when none.
    DrvConvTable convTable;

    void *dtcDispenser;
    PL_CriticalSection generalLock;
    PL_CallLock callLock;

    FailoverCallback failoverCallback;
    void *failoverContext;

    // Connection attributes kept by the handle layer.
    char *translateDll;        // SQL_TRANSLATE_DLL (owned)
    uint32_t translateOption;
    SQLULEN asyncEnable;       // SQL_ATTR_ASYNC_ENABLE, copied into its statements
    SQLULEN metadataId;        // SQL_ATTR_METADATA_ID of statements allocated from now on
    int32_t dtcEnlisted;       // 1 while enlisted in a coordinator transaction
    uint32_t pendingAttrs;     // CA_* set before connecting, applied once connected
    int32_t pendingAutocommit;
    char *pendingCatalog;      // SQL_ATTR_CURRENT_CATALOG set before connecting (owned)
    InfoCache infoCache;       // SQLGetInfo answers of the open connection
};

// Stmt::state
enum : int32_t { STMT_FREED = 0, STMT_ALLOCATED = 1, STMT_EXECUTED = 2 };

// Stmt::flags
enum : uint16_t {
    ST_PREPARED = 0x1,
    ST_CURSOR_OPEN = 0x2,
    ST_NEEDBIND = 0x4,
    ST_PARAMTYPES_SENT = 0x8,
    ST_DIRECT = 0x10,   // the result is SQLExecDirect's or a catalog function's: no prepared statement stays
};

// Stmt::daeState: which call's values the application is handing over at
// execution, and whether the next SQLParamData runs that call.
enum : int16_t {
    DAE_NONE = 0,
    DAE_EXECUTE = 1,         // an execute's parameter values
    DAE_SETPOS = 2,          // SQLSetPos's column values
    DAE_BULK = 3,            // SQLBulkOperations' column values
    DAE_EXECUTE_READY = 7,   // the last value named: the next SQLParamData executes
    DAE_SETPOS_READY = 8,    // ... runs SQLSetPos
    DAE_BULK_READY = 9,      // ... runs SQLBulkOperations
};

struct Stmt : HandleHead {
    int32_t state;
    Stmt *next;            // the next statement of the same connection
    Conn *conn;
    uint32_t id;
    DrvBinding *binding;   // its connection's
    uint32_t drvStmt;      // back-end statement

    uint32_t queryTimeout;
    uint64_t maxLength;
    uint64_t maxRows;
    uint32_t bindType;
    uint32_t noScan;

    uint16_t flags;        // ST_* bits
    uint16_t resultColCount;
    ColDesc *resultCols;
    uint16_t paramCount;
    ColDesc *paramCols;
    RowBlock result;       // the current result block
    uint16_t rowsPerBlock;
    uint16_t currentRow;   // rows of the current block already delivered

    int16_t daeState;      // DAE_*
    uint64_t paramsetSize; // 1 at allocation
    CursorState cursor;
    int32_t selectFlag;    // prepared from a text that begins with SELECT

    Desc *ardImplicit;
    Desc *apdImplicit;
    Desc *ard;             // current ARD
    Desc *apd;             // current APD
    Desc *ird;
    Desc *ipd;

    // Statement fields that ODBC 3 attributes reach directly.
    SQLULEN asyncEnable;
    SQLULEN metadataId;            // SQL_ATTR_METADATA_ID: catalog arguments are identifiers
    SQLPOINTER fetchBookmarkPtr;   // SQL_ATTR_FETCH_BOOKMARK_PTR
    SQLULEN *paramsProcessedPtr;   // SQL_ATTR_PARAMS_PROCESSED_PTR, null: not written
    SQLULEN *rowsFetchedPtr;       // SQL_ATTR_ROWS_FETCHED_PTR, null: not written
    SQLULEN rowCounter;            // rows delivered since the result was opened
    StmtExec *ex;                  // the statement layer's own state (made through its links)

    // Bindings and description state kept by the statement (stmt_bind.h).
    ColBindingNode *boundCols;     // in order of first binding
    ParamBinding *paramBindings;   // entry n - 1 for parameter n
    ParamSummary *paramSummaries;  // what was last sent of each parameter's type
    uint16_t paramCapacity;        // entries of both arrays
    int32_t paramDescsFetched;     // parameter descriptions asked of the back end
    HashTable *colAttrOverrides;   // column attributes: TV_Key -> TypedValue, or null
};

// Desc::kind
enum : int16_t { DK_USER = 0, DK_IRD = 1, DK_ARD = 2, DK_IPD = 3, DK_APD = 4 };
// Desc::allocType
enum : int16_t { DA_IMPLICIT = 1, DA_EXPLICIT = 2 };

struct Desc : HandleHead {
    Conn *conn;            // owner of an explicit descriptor
    Stmt *stmt;            // owner of an implicit descriptor
    int16_t kind;
    int16_t allocType;
    uint64_t arraySize;    // 1
    uint16_t *arrayStatusPtr;
    SQLLEN *bindOffsetPtr;
    uint32_t bindType;
    uint16_t count;
    SQLULEN *rowsProcessedPtr;
    DescRec *recs;         // record 0 (the bookmark record) first
};

// The connection whose call lock covers a descriptor: its owner, or the
// connection of its statement.
inline Conn *DescConn(const Desc *d)
{
    if (d->conn)
        return d->conn;
    return d->stmt ? d->stmt->conn : nullptr;
}

// The head of a handle object given as the object of its HandleKind (HK_ENV
// Envr, HK_DBC Conn, HK_STMT Stmt, HK_DESC Desc); null for any other kind.
inline HandleHead *HeadOf(void *object, int kind)
{
    switch (kind) {
    case HK_ENV: return static_cast<Envr *>(object);
    case HK_DBC: return static_cast<Conn *>(object);
    case HK_STMT: return static_cast<Stmt *>(object);
    case HK_DESC: return static_cast<Desc *>(object);
    default: return nullptr;
    }
}

// The ODBC version (2 or 3) of the environment a handle belongs to; a
// descriptor without an owner counts as 3.
int HandleOdbcVersion(void *object, int kind);

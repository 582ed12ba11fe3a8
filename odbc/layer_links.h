// What the handle layer calls in the layers above it.  The handle layer
// includes nothing of exec/, drv_jdbc/, scrs/ or xa/: the library's assembly
// (odbc/build/) hands it these records at start-up.  Until then, and in a
// program that links the handle layer alone, every link answers as a layer
// that offers nothing: no statement-layer state, no back-end table, no
// connection configuration, no transaction coordinator.
#pragma once
#include <sql.h>

#include <cstdint>

struct Conn;
struct Stmt;
struct DrvBinding;
struct DrvConfigOps;

// The statement layer's part of a statement (exec/).
struct StmtLayerOps {
    // Makes the statement layer's state of a new statement (Stmt::ex): 0, or
    // ERR_MEMORY_ALLOCATION (S1001).
    int (*Attach)(Stmt *s);
    // Frees that state; the statement is being freed.
    void (*Detach)(Stmt *s);
    // Releases the statement layer's part of the current result (the rest
    // of StmtFreeResults).
    void (*DropResults)(Stmt *s);
    // StmtBindCol, StmtBindParam and ConnGetTypeInfoColumn (exec/statement.h),
    // which descriptor fields that bind reach.
    int (*BindCol)(Stmt *s, uint16_t col, int16_t cType, void *data, int64_t bufLen, SQLLEN *lenInd);
    SQLRETURN (*BindParam)(Stmt *s, uint16_t n, int16_t paramType, int16_t cType, int16_t sqlType,
                           uint64_t columnSize, int16_t digits, void *data, int64_t bufLen,
                           SQLLEN *octetLengthPtr, SQLLEN *indicatorPtr);
    SQLRETURN (*TypeInfoColumn)(Conn *c, int column, int16_t sqlType, char *buf, int64_t bufSize,
                                int64_t *len);
};

// The transaction-coordinator link for MS DTC enlistment (xa/: OleTx_*).
struct DtcLinkOps {
    // -1: no coordinator link can be made.
    int (*Init)();
    // Null: no dispenser can be made.
    void *(*CreateDispenser)(void *transaction, int serverHandle, int drvConn, DrvBinding *binding,
                             void *generalLock, void *callLock, const char *connectText);
    // The enlistment ends on a connection that stays: the dispenser gives
    // the connection back (its branch ends) and forgets it, then the handle
    // layer's reference is given up.  -1 for a null dispenser, else the
    // references the coordinator still holds.
    int (*ReleaseDispenser)(void *dispenser);
    int (*RMConnect)(void *dispenser);
    int (*RMEnlist)(void *dispenser);
    // The connection goes away: gives up the handle layer's reference as
    // ReleaseDispenser does; a dispenser the coordinator still holds no
    // longer reaches the connection (its later requests fail).
    int (*CloseDispenser)(void *dispenser);
    // Whether the dispenser's branch still waits for its outcome: 0 no (or
    // no dispenser), 1 yes in `transaction`, 2 yes in another transaction.
    int (*BranchOpen)(void *dispenser, void *transaction);
    // The process exits: gives up the handle layer's reference without
    // calling the back end or the coordinator.
    int (*DropDispenser)(void *dispenser);
};

struct CoreLinks {
    // Points a binding at the back end's table with the overlays in front
    // (cursor library, XA worker proxies).  0 or an error number.
    int (*BindOpTable)(DrvBinding *binding);
    // The back end's connection configuration (odbc/contract/drv_config.h).
    const DrvConfigOps *config;
    const StmtLayerOps *stmt;
    const DtcLinkOps *dtc;
};

// Takes the links (the assembly, before the first call); a null member
// keeps what the handle layer had.
void Core_SetLinks(const CoreLinks &links);
const CoreLinks &Core_Links();

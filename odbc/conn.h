// Connection objects: allocation, binding to the back end, close and free,
// the message helpers and transactions.  (Connecting arrives with the
// connect entry points.)
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/env.h"

struct Conn;
struct Envr;
struct Stmt;
struct DrvBinding;

// A new connection linked at the head of the environment's list; null (ERR_MEMORY_ALLOCATION on
// the environment) when out of memory.
Conn *ConnAlloc(Envr *env);
// Closes and frees the statements, disconnects, frees the explicit
// descriptors.  0 or the back end's error number (the connection then stays
// connected).  CLOSE_DETACH frees without calling the back end.
int ConnClose(Conn *conn, CloseMode mode = CLOSE_NORMAL);
// Releases everything but the memory and the call lock: texts, remaining
// statements and explicit descriptors, its diagnostics; unlinks it and
// removes its handle.  Takes the global API lock.
void ConnFree(Conn *conn);
// Deletes the call lock and the memory of a freed connection.
void ConnRelease(Conn *conn);
void ConnFreeStrings(Conn *conn);

void ConnPushError(Conn *conn, const char *text, int32_t native);
char *ConnPopError(Conn *conn, int32_t *native);
// Queues the back end's messages of the connection on the connection, or on
// the statement when one is given.  Number of texts queued.
int ConnFetchMessages(Conn *conn, Stmt *stmt);
int ConnFetchServerMessages(Conn *conn);

// Sets option code of the back-end connection to what value points at; ERR_NOT_CAPABLE
// when the back end takes no options, else its answer (0 done).
int ConnDrvSetOption(Conn *conn, int code, void *value);
// Sets an integer item (odbc/contract/drv_items.h) of the back-end connection to a
// 4-byte value, as ConnDrvSetOption.
int ConnDrvSetInt(Conn *conn, int item, int32_t value);
// Reads item code of the back-end connection into buf of size bytes; 1 when
// the back end answers no items, else its answer (0 done).
int ConnDrvGetInfo(Conn *conn, int code, void *buf, int16_t size);

// Whether the connection's cursors can scroll: the back end declares
// scrollable cursors and the binding has the cursor library's scroll fetch
// (ScrollFetch with dynamic and mixed cursors declared, ExtendedFetch
// otherwise).
// Only static cursors are served by the scrolling fetch so far.
bool ConnScrollCursorsBuilt(const Conn *conn);

// Commit (0) or rollback (1) through the back end.  ERR_CONNECTION_NOT_OPEN when not connected,
// ERR_INVALID_TRANSACTION_CODE for another type, else the back end's number.
SQLRETURN ConnTransact(Conn *conn, SQLUSMALLINT type);

// Implementations run by CallODBC.
SQLRETURN CN_AllocStmt(Conn *conn, SQLHSTMT *out);
SQLRETURN CN_AllocHandleStmt(Conn *conn, SQLHANDLE *out);
SQLRETURN CN_AllocHandleDesc(Conn *conn, SQLHANDLE *out);
SQLRETURN CN_FreeConnect(Conn *conn);
SQLRETURN CN_FreeHandle(Conn *conn);
SQLRETURN CN_Transact(Conn *conn, SQLUSMALLINT type);

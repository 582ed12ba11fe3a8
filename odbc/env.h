// Environments and the entry points that create and free handles of every
// kind, set and get environment attributes, and end transactions.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

struct ApiByHandle;

struct Envr;

// How a close treats the back end: DETACH (process exit) frees the driver's
// objects without calling it.
enum CloseMode { CLOSE_NORMAL = 0, CLOSE_DETACH = 1 };

// A new environment linked at the head of the driver-wide list; null when out
// of memory.
Envr *EnvrAlloc();
void EnvrOpen(Envr *env);
// Closes and frees every connection of an open environment.
void EnvrClose(Envr *env, CloseMode mode = CLOSE_NORMAL);
// Unlinks it, frees its diagnostics, removes its handle, releases it.
void EnvrFree(Envr *env);
char *EnvrPopError(Envr *env, int32_t *native);
void EnvrPushError(Envr *env, const char *text, int32_t native);
// True when a connection of the environment is inside a call.
bool EnvrHasBusyConn(const Envr *env);

// Implementations run by CallODBC.
SQLRETURN EN_AllocEnv(SQLHENV *out);
SQLRETURN EN_AllocHandleEnv(SQLHANDLE *out);
SQLRETURN EN_AllocConnect(Envr *env, SQLHDBC *out);
SQLRETURN EN_AllocHandleDbc(Envr *env, SQLHANDLE *out);
SQLRETURN EN_FreeEnv(Envr *env);
SQLRETURN EN_FreeHandle(Envr *env);
SQLRETURN EN_SetEnvAttr(Envr *env, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len);
SQLRETURN EN_GetEnvAttr(Envr *env, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufLen,
                        SQLINTEGER *outLen);
SQLRETURN EN_Transact(Envr *env, SQLUSMALLINT type);

// The bodies of the exported entry points that choose their descriptor at
// run time, run with the descriptors of the function (odbc/api/ passes them).
SQLRETURN API_AllocHandleBy(const ApiByHandle &api, SQLSMALLINT type, SQLHANDLE in, SQLHANDLE *out);
SQLRETURN API_FreeHandleBy(const ApiByHandle &api, SQLSMALLINT type, SQLHANDLE handle);
SQLRETURN API_TransactBy(const ApiByHandle &api, SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT type);
SQLRETURN API_EndTranBy(const ApiByHandle &api, SQLSMALLINT type, SQLHANDLE handle,
                        SQLSMALLINT completion);

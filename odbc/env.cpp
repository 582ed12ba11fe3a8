// Environments, handle allocation and release, environment attributes and
// environment-level transactions.
#include "odbc/env.h"

#include <new>

#include "odbc/conn.h"
#include "odbc/desc.h"
#include "odbc/dispatch.h"
#include "odbc/handles.h"
#include "odbc/startup.h"
#include "odbc/stmt.h"
#include "odbc/trace.h"

namespace {

// One environment attribute: its range of accepted values and where it lives.
struct EnvAttrRow {
    SQLINTEGER id;
    bool settable;
    int32_t lo, hi;
    int32_t (*get)(const Envr *);
    void (*set)(Envr *, int32_t);
};

const EnvAttrRow kEnvAttrs[] = {
    {SQL_ATTR_ODBC_VERSION, true, 2, 3,
     [](const Envr *e) { return e->odbcVersion; }, [](Envr *e, int32_t v) { e->odbcVersion = v; }},
    {SQL_ATTR_CONNECTION_POOLING, true, 0, 2,
     [](const Envr *e) { return static_cast<int32_t>(e->pooling); },
     [](Envr *e, int32_t v) { e->pooling = static_cast<uint32_t>(v); }},
    {SQL_ATTR_CP_MATCH, true, 0, 1,
     [](const Envr *e) { return static_cast<int32_t>(e->poolMatch); },
     [](Envr *e, int32_t v) { e->poolMatch = static_cast<uint32_t>(v); }},
    {1056, false, 0, 0, [](const Envr *) { return int32_t{2}; }, nullptr},
    {SQL_ATTR_OUTPUT_NTS, true, 0, 1,
     [](const Envr *e) { return static_cast<int32_t>(e->outputNts); },
     [](Envr *e, int32_t v) { e->outputNts = v ? 1u : 0u; }},
};

const EnvAttrRow *FindEnvAttr(SQLINTEGER id)
{
    for (const EnvAttrRow &row : kEnvAttrs)
        if (row.id == id)
            return &row;
    return nullptr;
}

// Shared body of the two environment allocations (kind 1, under the API lock).
SQLRETURN AllocEnv(SQLHANDLE *out, bool odbc3, const char *failTrace)
{
    if (!out)
        return SQL_ERROR;
    *out = nullptr;
    Envr *env = EnvrAlloc();
    if (!env)
        return SQL_ERROR;
    if (odbc3)
        env->odbcVersion = 3;
    EnvrOpen(env);
    if (env->state != ENVR_OPEN) {
        if (TR_IsOn())
            TR_Printf("%s", failTrace);
        EnvrFree(env);
        return SQL_ERROR;
    }
    uint32_t handle = 0;
    if (HT_Insert(&EnvTable, &handle, env) != 0) {
        EnvrFree(env);
        return SQL_ERROR;
    }
    env->handle = handle;
    *out = HT_HandleOut(handle);
    return SQL_SUCCESS;
}

SQLRETURN AllocConn(Envr *env, SQLHANDLE *out)
{
    if (!out) {
        env->diag.errNum = ERR_INVALID_ARGUMENT;
        return SQL_ERROR;
    }
    *out = nullptr;
    Conn *conn = ConnAlloc(env);
    if (!conn)
        return SQL_ERROR;
    uint32_t handle = 0;
    int rc = HT_Insert(&ConnTable, &handle, conn);
    if (rc != 0) {
        ConnFree(conn);
        ConnRelease(conn);
        env->diag.errNum = rc;
        return SQL_ERROR;
    }
    conn->handle = handle;
    *out = HT_HandleOut(handle);
    return SQL_SUCCESS;
}

SQLRETURN FreeEnv(Envr *env)
{
    if (EnvrHasBusyConn(env)) {
        env->diag.errNum = ERR_FUNCTION_SEQUENCE;
        return SQL_ERROR;
    }
    EnvrClose(env);
    EnvrFree(env);
    return SQL_SUCCESS;
}

// The handle resolves in the table (the dispatcher checks the object again).
bool Resolves(HandleTable *table, SQLHANDLE handle)
{
    uint32_t h = HT_HandleIn(handle);
    return h != 0 && HT_Lookup(table, h) != nullptr;
}

} // namespace

Envr *EnvrAlloc()
{
    Envr *env = new (std::nothrow) Envr();
    if (!env)
        return nullptr;
    env->typeTag = ENVR_TAG;
    env->next = Driver.envs;
    Driver.envs = env;
    env->state = ENVR_ALLOCATED;
    env->id = ++Driver.envCounter;
    env->pooling = 0;
    env->poolMatch = 0;
    env->odbcVersion = 2;
    env->outputNts = 1;
    return env;
}

void EnvrOpen(Envr *env)
{
    if (env->state == ENVR_ALLOCATED)
        env->state = ENVR_OPEN;
}

void EnvrClose(Envr *env, CloseMode mode)
{
    if (env->state != ENVR_OPEN)
        return;
    while (Conn *conn = env->conns) {
        ConnClose(conn, mode);
        // ConnFree unlinks it even when the back end refused the disconnect,
        // so no object is left pointing at the connection released here.
        ConnFree(conn);
        ConnRelease(conn);
    }
    env->state = ENVR_ALLOCATED;
}

void EnvrFree(Envr *env)
{
    for (Envr **p = &Driver.envs; *p; p = &(*p)->next) {
        if (*p == env) {
            *p = env->next;
            break;
        }
    }
    ERR_FreeMsgs(&env->diag);
    env->typeTag = FREED_TAG;
    env->state = ENVR_FREED;
    if (env->handle)
        HT_Remove(&EnvTable, static_cast<uint32_t>(env->handle));
    delete env;
}

char *EnvrPopError(Envr *env, int32_t *native) { return ERR_Pop(&env->diag, native); }

void EnvrPushError(Envr *env, const char *text, int32_t native) { ERR_Push(&env->diag, text, native); }

bool EnvrHasBusyConn(const Envr *env)
{
    for (const Conn *c = env->conns; c; c = c->next)
        if (c->busy.load())
            return true;
    return false;
}

SQLRETURN EN_AllocEnv(SQLHENV *out)
{
    return AllocEnv(out, false, "SQLAllocEnv: EnvrOpen failed");
}

SQLRETURN EN_AllocHandleEnv(SQLHANDLE *out)
{
    return AllocEnv(out, true, "SQLAllocHandle (SQL_HANDLE_ENV): EnvrOpen failed");
}

SQLRETURN EN_AllocConnect(Envr *env, SQLHDBC *out) { return AllocConn(env, out); }
SQLRETURN EN_AllocHandleDbc(Envr *env, SQLHANDLE *out) { return AllocConn(env, out); }
SQLRETURN EN_FreeEnv(Envr *env) { return FreeEnv(env); }
SQLRETURN EN_FreeHandle(Envr *env) { return FreeEnv(env); }

SQLRETURN EN_SetEnvAttr(Envr *env, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER)
{
    const EnvAttrRow *row = FindEnvAttr(attr);
    if (!row || !row->settable) {
        env->diag.errNum = ERR_OPTION_TYPE_RANGE;
        return SQL_ERROR;
    }
    int64_t v = static_cast<int64_t>(reinterpret_cast<intptr_t>(value));
    if (v >= row->lo && v <= row->hi)
        row->set(env, static_cast<int32_t>(v));
    return SQL_SUCCESS;
}

SQLRETURN EN_GetEnvAttr(Envr *env, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER, SQLINTEGER *)
{
    const EnvAttrRow *row = FindEnvAttr(attr);
    if (!row) {
        env->diag.errNum = ERR_OPTION_TYPE_RANGE;
        return SQL_ERROR;
    }
    if (value)
        *static_cast<SQLINTEGER *>(value) = row->get(env);
    return SQL_SUCCESS;
}

SQLRETURN EN_Transact(Envr *env, SQLUSMALLINT type)
{
    if (EnvrHasBusyConn(env)) {
        env->diag.errNum = ERR_FUNCTION_SEQUENCE;
        return SQL_ERROR;
    }
    bool failed = false;
    for (Conn *c = env->conns; c; c = c->next) {
        int32_t saved = c->diag.errNum;
        c->diag.errNum = ERR_NONE;
        if (ConnTransact(c, type) == SQL_ERROR) {
            env->diag.errNum = c->diag.errNum;
            failed = true;
        }
        c->diag.errNum = saved;
    }
    return failed ? SQL_ERROR : SQL_SUCCESS;
}

SQLRETURN API_AllocHandleBy(const ApiByHandle &api, SQLSMALLINT type, SQLHANDLE in, SQLHANDLE *out)
{
    switch (type) {
    case SQL_HANDLE_ENV: return CallODBC(api.env, out);
    case SQL_HANDLE_DBC: return CallODBC(api.dbc, in, out);
    case SQL_HANDLE_STMT: return CallODBC(api.stmt, in, out);
    case SQL_HANDLE_DESC: return CallODBC(api.desc, in, out);
    default: return SQL_INVALID_HANDLE;
    }
}

SQLRETURN API_FreeHandleBy(const ApiByHandle &api, SQLSMALLINT type, SQLHANDLE handle)
{
    switch (type) {
    case SQL_HANDLE_ENV: return CallODBC(api.env, handle);
    case SQL_HANDLE_DBC: return CallODBC(api.dbc, handle);
    case SQL_HANDLE_STMT: return CallODBC(api.stmt, handle);
    case SQL_HANDLE_DESC: return CallODBC(api.desc, handle);
    default: return SQL_INVALID_HANDLE;
    }
}

SQLRETURN API_TransactBy(const ApiByHandle &api, SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT type)
{
    const SQLUSMALLINT t = static_cast<uint16_t>(type);
    if (HT_HandleIn(hdbc) != 0) {
        // A connection that was named must be the one acted on: a stale or
        // foreign handle never widens to every connection of the environment.
        if (!Core_IsInitialised())
            return SQL_ERROR;
        if (!Resolves(&ConnTable, hdbc))
            return SQL_INVALID_HANDLE;
        return CallODBC(api.dbc, hdbc, t);
    }
    return CallODBC(api.env, henv, t);
}

SQLRETURN API_EndTranBy(const ApiByHandle &api, SQLSMALLINT type, SQLHANDLE handle,
                        SQLSMALLINT completion)
{
    const SQLUSMALLINT t = static_cast<uint16_t>(completion);
    if (!Core_IsInitialised())
        return SQL_ERROR;
    switch (type) {
    case SQL_HANDLE_ENV:
        if (!Resolves(&EnvTable, handle))
            return SQL_INVALID_HANDLE;
        return CallODBC(api.env, handle, t);
    case SQL_HANDLE_DBC:
        if (!Resolves(&ConnTable, handle))
            return SQL_INVALID_HANDLE;
        return CallODBC(api.dbc, handle, t);
    default:
        // Only environments and connections end transactions.
        return SQL_INVALID_HANDLE;
    }
}

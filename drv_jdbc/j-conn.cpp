// Back-end connections: DRV_Connect, DRV_Disconnect, DRV_Commit, DRV_Rollback.
#include "drv_jdbc/j-conn.h"

#include "drv_jdbc/j-call.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-factory.h"
#include "drv_jdbc/j-info.h"
#include "drv_jdbc/j-initsql.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-typeinfo.h"
#include "drv_jdbc/j-wrap.h"
#include "odbc/contract/drv_connect_params.h"
#include "odbc/contract/flavour.h"
#include "util/hash.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

const char DRV_ClassList[] = "{org.postgresql.ds.PGPoolingDataSource;org.postgresql.xa.PGXADataSource}";
DrvOptions drvOptions;

namespace {
constexpr size_t kClassListMax = 1024;

bool hasWideMarker(const char *serverText)
{
    return serverText && strlen(serverText) >= sizeof DRV_WIDE_MARKER &&
           memcmp(serverText, DRV_WIDE_MARKER, sizeof DRV_WIDE_MARKER) == 0;
}

// Calls close() on a data source that has one (a pooling data source closes
// its pool, and with it every pooled server session).
void closeDataSource(JNIEnv *env, jobject ds)
{
    if (!ds)
        return;
    JLocal<jclass> cls(env, env->GetObjectClass(ds));
    jmethodID close = cls.get() ? env->GetMethodID(cls, "close", "()V") : nullptr;
    if (!close) {
        env->ExceptionClear();
        return;
    }
    env->CallVoidMethod(ds, close);
    env->ExceptionClear();
}

// Closes the Java side of a connection, whatever state it is in, and drops
// the references; outcomes are not checked and no exception stays pending.
void closeJavaConnection(JNIEnv *env, jobject conn, jobject ds)
{
    if (conn) {
        jc_CallVoidMethod(env, conn, nullptr, "close", "()V");
        env->ExceptionClear();
    }
    closeDataSource(env, ds);
}

// Drops the connection's references to its Java objects.
void dropConnectionRefs(DrvConn *c, JNIEnv *env)
{
    c->connection.Drop(env);
    c->metaData.Drop(env);
    c->dataSource.Drop(env);
}

// Frees every statement of the connection; their handles are unknown afterwards.
void freeConnStatements(DrvConn *c)
{
    std::vector<std::pair<uint32_t, DrvStmt *>> mine;
    {
        HT_Guard held(&drvStmtTable);
        for (uint32_t i = 0; i < drvStmtTable.capacity; ++i) {
            const HtSlot &slot = drvStmtTable.slots[i];
            DrvStmt *s = static_cast<DrvStmt *>(slot.object);
            if (slot.tag && s && s->conn == c)
                mine.emplace_back((static_cast<uint32_t>(slot.tag) << 16) | i, s);
        }
    }
    for (auto &[handle, s] : mine) {
        HT_Remove(&drvStmtTable, handle);
        drvStmtDiscard(s);
    }
}

// Moves what a failed connect posted to the environment's chain, where the
// handle layer drains it.
void moveErrorsToEnv(DrvConn *c, DrvEnv *e)
{
    PL_CsGuard mutex(jvmService.mutex);
    PL_CsGuard lock(e->lock);
    errClear(&e->errors);
    e->errors.first = c->errors.first;
    c->errors.first = nullptr;
}

// Opens the JDBC connection and configures it; on failure closes whatever it
// obtained.  Local references die with the caller's frame.
int openJdbc(DrvConn *c, const DrvConnectParams *p)
{
    JNIEnv *env = c->env;
    char listBuf[kClassListMax];
    snprintf(listBuf, sizeof listBuf, "%s", DRV_ClassList);
    c->classList = strdup(jc_StripBraces(listBuf));
    if (p->dsProps) {
        char *tmp = strdup(p->dsProps);
        if (!tmp)
            return ERR_MEMORY_ALLOCATION;
        c->dsProps = strdup(jc_StripBraces(tmp));
        free(tmp);
    }
    c->user = strdup(p->user ? p->user : "");
    c->password = strdup(p->password ? p->password : "");
    if (!c->classList || (p->dsProps && !c->dsProps) || !c->user || !c->password) {
        errPostMsg(&c->errors, "Memory allocation failure", ERR_MEMORY_ALLOCATION);
        return ERR_MEMORY_ALLOCATION;
    }
    if (*c->classList) {
        for (char *q = c->classList + 1; *q; ++q)
            if (*q == '.')
                *q = '/';
    }

    char *props = c->dsProps ? strdup(c->dsProps) : nullptr;
    if (c->dsProps && !props)
        return ERR_MEMORY_ALLOCATION;
    jobject conn = nullptr;
    jobject ds = nullptr;
    int rc = _getConnection(c, &conn, c->classList, props, c->user, c->password, &c->xaClassName, &ds);
    free(props);
    if (rc == 0 && !conn)
        rc = ERR_UNABLE_TO_CONNECT;
    jobject md = nullptr;
    if (rc == 0)
        rc = jc_Connection_getMetaData(c, conn, &md);
    if (rc == 0 && p->readOnly)
        rc = jc_Connection_setReadOnly(c, conn, 1);
    if (rc == 0 && c->options.noAutoCommit)
        rc = jc_Connection_setAutoCommit(c, conn, 0);
    if (rc != 0) {
        closeJavaConnection(env, conn, ds);
        return rc;
    }
    // Its outcome is logged by the runner and never fails the connect.
    if (c->options.initialSql && c->options.initialSql[0])
        execInitialSQL(c, conn, c->options.initialSql);
    bool held = c->connection.Set(env, conn);
    held = c->metaData.Set(env, md) && held;
    held = c->dataSource.Set(env, ds) && held;
    if (!held || !c->connection) {
        env->ExceptionClear();
        // No server session may stay behind a connect that failed.
        closeJavaConnection(env, conn, ds);
        dropConnectionRefs(c, env);
        jc_DeleteLocal(env, conn);
        jc_DeleteLocal(env, md);
        jc_DeleteLocal(env, ds);
        errPostMsg(&c->errors, "Memory allocation failure", ERR_MEMORY_ALLOCATION);
        return ERR_MEMORY_ALLOCATION;
    }
    jc_DeleteLocal(env, conn);
    jc_DeleteLocal(env, md);
    jc_DeleteLocal(env, ds);
    return 0;
}

using JdbcTxnCall = int (*)(DrvConn *, jobject);

// Commit or rollback; a successful no-op under autocommit, where the JDBC
// driver would refuse it.
int endTransaction(int handle, JdbcTxnCall call)
{
    DrvCall<DrvConn> op(handle);
    if (int rc = op.enter())
        return rc;
    DrvConn *c = op.get();
    uint8_t autoCommit = 0;
    int rc = jc_Connection_getAutoCommit(c, c->connection, &autoCommit);
    if (rc != 0 || autoCommit)
        return rc;
    return call(c, c->connection);
}
} // namespace

int DRV_Connect(int envHandle, DrvConnectParams *params, int *outConn)
{
    DrvEnv *e = static_cast<DrvEnv *>(HT_Lookup(&drvEnvTable, static_cast<uint32_t>(envHandle)));
    if (!e || !params || !outConn)
        return ERR_INVALID_ARGUMENT;
    *outConn = 0;
    DrvConn *c = new (std::nothrow) DrvConn();
    if (!c) {
        PL_CsGuard mutex(jvmService.mutex);
        PL_CsGuard lock(e->lock);
        errPostMsg(&e->errors, "Memory allocation failure", ERR_MEMORY_ALLOCATION);
        return ERR_MEMORY_ALLOCATION;
    }
    c->options = drvOptions;
    drvOptions.initialSql = nullptr;
    drvOptions.sqlDbmsName = nullptr;
    c->drvEnv = e;
    c->stringMode = KRS_IsUnicodeBuild() && hasWideMarker(params->serverText) ? STRMODE_UTF8
                                                                              : STRMODE_PLATFORM;
    c->odbcVersion = 2;
    c->readOnlyAtConnect = params->readOnly;
    c->accessMode = params->readOnly;
    c->scalarFunctions = BuildScalarFunctionMap();
    if (!c->scalarFunctions) {
        PL_CsGuard mutex(jvmService.mutex);
        PL_CsGuard lock(e->lock);
        errPostMsg(&e->errors, "Memory allocation failure", ERR_MEMORY_ALLOCATION);
        freeDrvConn(c);
        return ERR_MEMORY_ALLOCATION;
    }

    JNIEnv *env = jvmAttachThread();
    if (!env) {
        HASH_Free(c->scalarFunctions);
        freeDrvConn(c);
        return ERR_GENERAL;
    }
    int rc;
    {
        JniLocalFrame frame(env, 64);
        if (!frame.ok()) {
            errPostMsg(&c->errors, "Memory allocation failure", ERR_MEMORY_ALLOCATION);
            rc = ERR_MEMORY_ALLOCATION;
        } else {
            c->xaMode = nullptr;
            c->xidClass = e->xidClass;
            c->classLoader = e->classLoader;
            rc = openJdbc(c, params);
        }
        if (rc == 0) {
            c->capabilityMark = 0;
            c->useGetMetaData = c->useAsciiStream = c->useBinaryStream = 1;
            int32_t handle = 0;
            rc = HT_Insert(&drvConnTable, &handle, c);
            if (rc == 0) {
                c->handle = handle;
                *outConn = handle;
            } else {
                errPostCode(&c->errors, rc);
                closeJavaConnection(env, c->connection, c->dataSource);
                dropConnectionRefs(c, env);
            }
        }
    }
    if (rc != 0) {
        moveErrorsToEnv(c, e);
        HASH_Free(c->scalarFunctions);
        freeDrvConn(c);
        // A thread the failed connect attached is let go as a disconnect
        // would, not left attached to the VM for good.
        jvmDetachThread(env);
    }
    return rc;
}

int DRV_Disconnect(int handle)
{
    DrvCall<DrvConn> op(handle);
    if (int rc = op.attach())
        return rc;
    DrvConn *c = op.get();
    JNIEnv *env = c->env;
    {
        // A disconnect goes on without a frame rather than leave the connection open.
        op.pushFrame();
        PL_CsGuard mutex(jvmService.mutex);
        freeConnStatements(c);
        closeConnRefs(c);
    }
    op.popFrame();
    jvmDetachThread(env);
    HT_Remove(&drvConnTable, static_cast<uint32_t>(handle));
    HASH_Free(c->scalarFunctions);
    c->scalarFunctions = nullptr;
    errClear(&c->errors);
    freeDrvConn(c);
    return 0;
}

void closeConnRefs(DrvConn *c)
{
    JNIEnv *env = c->env;
    if (c->connection) {
        jc_CallVoidMethod(env, c->connection, nullptr, "close", "()V");
        env->ExceptionClear();
    }
    if (c->xaConnection) {
        jc_CallVoidMethod(env, c->xaConnection, nullptr, "close", "()V");
        env->ExceptionClear();
    }
    closeDataSource(env, c->dataSource);
    c->xaConnection.Drop(env);
    c->xaResource.Drop(env);
    dropConnectionRefs(c, env);
}

int DRV_Commit(int handle) { return endTransaction(handle, jc_Connection_commit); }

int DRV_Rollback(int handle) { return endTransaction(handle, jc_Connection_rollback); }

namespace {
void freeTypeInfoEntry(uint64_t value, const void *, void *)
{
    free(reinterpret_cast<TypeInfoEntry *>(static_cast<uintptr_t>(value)));
}
} // namespace

DrvConn *drvConnOf(int handle)
{
    return static_cast<DrvConn *>(HT_Lookup(&drvConnTable, static_cast<uint32_t>(handle)));
}

bool drvConnEnter(DrvConn *)
{
    return jvmAttachThread() != nullptr;
}

void freeDrvConn(DrvConn *c)
{
    if (!c)
        return;
    free(c->options.initialSql);
    free(c->options.sqlDbmsName);
    free(c->xaClassName);
    free(c->dsProps);
    free(c->classList);
    free(c->user);
    free(c->password);
    if (c->typeInfo) {
        HASH_ForEach(c->typeInfo, freeTypeInfoEntry, nullptr);
        HASH_Free(c->typeInfo);
    }
    free(c->recoverList);
    errClear(&c->errors);
    delete c;
}

const char *typeInfoName(HashTable *cache, int sqlType)
{
    if (!cache)
        return "";
    int16_t key = typeInfoKey(sqlType);
    auto *e = reinterpret_cast<TypeInfoEntry *>(static_cast<uintptr_t>(HASH_Get(cache, &key)));
    return e ? e->typeName : "";
}

const char *typeInfoLiteral(HashTable *cache, int sqlType, int which)
{
    if (!cache)
        return "";
    int16_t key = typeInfoKey(sqlType);
    auto *e = reinterpret_cast<TypeInfoEntry *>(static_cast<uintptr_t>(HASH_Get(cache, &key)));
    if (!e)
        return "";
    return which == 0 ? e->literalPrefix : e->literalSuffix;
}

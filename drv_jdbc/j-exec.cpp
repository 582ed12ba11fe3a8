// Prepare, execute and more results.
#include "drv_jdbc/j-exec.h"

#include "drv_jdbc/j-batch.h"
#include "drv_jdbc/j-call.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-param.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap-ps.h"
#include "drv_jdbc/j-wrap.h"
#include "odbc/contract/param_types.h"
#include "odbc/contract/rowblock.h"
#include "util/log.h"

#include <cstdlib>
#include <cstring>

#define SRC "drv_jdbc/j-exec"

namespace {
constexpr jint kFrame = 256;

// A statement made with createStatement runs its text with Statement.execute.
bool isPlainStatement(const DrvStmt *s)
{
    return s->sql.verb == SQLV_OTHER && !(s->sql.flags & (SQLT_MARKERS | SQLT_PROCCALL)) &&
           s->sql.markerCount == 0;
}

int32_t parameterSets(const DrvStmt *s)
{
    return s->params && s->paramCount ? s->params->rowsUsed : 1;
}

void dropResult(DrvStmt *s)
{
    if (s->resultSet) {
        jc_ResultSet_close(s, s->resultSet);
        errClear(&s->errors);
        s->resultSet.Drop();
    }
}

// Runs the statement once with the parameters already bound.
int runOnce(DrvStmt *s)
{
    uint8_t isResultSet = 0;
    if (isPlainStatement(s))
        return jc_Statement_execute(s, s->stmt, s->sql.kept, &isResultSet);
    return jc_PreparedStatement_execute(s, s->stmt, &isResultSet);
}

// Adds the update count of the Java statement's current result to the rows
// the execution changed.  A result of rows has none that JDBC gives: the
// count becomes unknown (-1 for SQLRowCount).
int countChanges(DrvStmt *s, bool rows)
{
    int32_t count = -1;
    if (!rows)
        if (int rc = jc_Statement_getUpdateCount(s, s->stmt, &count))
            return rc;
    if (count < 0)
        s->flags &= static_cast<uint16_t>(~DS_COUNTED);
    else
        s->rowCount += count;
    return 0;
}

// The execution stopped at parameter set n: the count tells the sets done.
void stoppedAt(DrvStmt *s, int32_t n)
{
    s->rowCount = n;
    s->flags |= DS_COUNTED;
}

// Keeps the current result of the Java statement: the ResultSet (described
// when needed) or the update count.
int takeResult(DrvStmt *s, bool redescribe)
{
    jobject rs = nullptr;
    if (int rc = jc_PreparedStatement_getResultSet(s, s->stmt, &rs))
        return rc;
    if (rs) {
        bool held = s->resultSet.Set(s->env, rs);
        s->env->DeleteLocalRef(rs);
        if (!held)
            return ERR_MEMORY_ALLOCATION;
        if (redescribe || !(s->flags & DS_DESCRIBED)) {
            freeResultDescs(s);
            if (int rc = describeResultCols(s, 'E'))
                return rc;
        }
        s->flags |= DS_PENDING | DS_HAS_RESULTSET;
        return countChanges(s, true);
    }
    if (int rc = countChanges(s, false))
        return rc;
    freeResultDescs(s);
    s->flags |= DS_PENDING | DS_END_OF_DATA;
    return 0;
}
} // namespace

int executeRow(DrvStmt *s, int32_t n)
{
    // The server stops at the statement's row limit: rows past it are never
    // delivered, so they need not be sent.
    const int32_t limit = s->maxRows > 0 ? s->maxRows : 0;
    if (s->stmt && limit != s->jdbcMaxRows) {
        if (int rc = jc_Statement_setMaxRows(s, s->stmt, limit)) {
            stoppedAt(s, n);
            return rc;
        }
        s->jdbcMaxRows = limit;
    }
    if (s->paramCount) {
        if (int rc = bindParamRow(s, n)) {
            stoppedAt(s, n);
            return rc;
        }
    }
    s->rowCount = 0;
    s->flags |= DS_COUNTED;
    int rc = runOnce(s);
    if (rc == 0) {
        jobject rs = nullptr;
        rc = jc_PreparedStatement_getResultSet(s, s->stmt, &rs);
        if (rc == 0 && rs) {
            bool held = s->resultSet.Set(s->env, rs);
            s->env->DeleteLocalRef(rs);
            if (!held)
                return ERR_MEMORY_ALLOCATION;
            freeResultDescs(s);
            if (int d = describeResultCols(s, 'E'))
                return d;
            s->flags |= DS_PENDING | DS_HAS_RESULTSET;
            rc = countChanges(s, true);
        } else if (rc == 0) {
            s->flags |= DS_PENDING;
            rc = countChanges(s, false);
        }
    }
    if (rc != 0) {
        stoppedAt(s, n);
        return rc;
    }
    ++s->executions;
    return 0;
}

int executeSets(DrvStmt *s, int32_t sets)
{
    for (int32_t i = 0; i < sets; ++i) {
        dropResult(s);
        int rc = s->paramCount ? bindParamRow(s, i) : 0;
        if (rc == 0)
            rc = runOnce(s);
        if (rc == 0)
            rc = takeResult(s, false);
        if (rc != 0) {
            stoppedAt(s, i);
            return rc;
        }
        ++s->executions;
    }
    return 0;
}

int DRV_Prepare(int stmt, const char *sql)
{
    DrvCall<DrvStmt> op(stmt);
    if (int rc = op.enter(kFrame))
        return rc;
    DrvStmt *s = op.get();
    resetStmt(s);
    if (int rc = prepareSQLText(&s->sql, sql))
        return rc;
    DrvConn *c = s->conn;
    if (s->sql.verb != SQLV_SELECT && c->readOnlyAtConnect) {
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "Non SELECT in r/o connection");
        return ERR_READ_ONLY_CONNECTION;
    }
    int rc;
    if (s->sql.flags & SQLT_PROCCALL) {
        // A call's result (a row set, or the values of its output
        // parameters) is known only after execution.
        rc = jc_Connection_prepareCall(s, c->connection, s->sql.kept);
        if (rc == 0)
            s->flags |= DS_PROCCALL;
    } else if (!isPlainStatement(s)) {
        rc = jc_Connection_prepareStatement(s, c->connection, s->sql.kept);
        if (rc == 0)
            rc = describeResultCols(s, 'P');
    } else {
        rc = jc_Connection_createStatementForStmt(s, c->connection);
    }
    if (rc == 0 && !s->stmt)
        rc = ERR_GENERAL;
    // A query timeout set before the statement existed applies to it now.
    if (rc == 0 && s->queryTimeout > 0)
        rc = jc_Statement_setQueryTimeout(s, s->stmt, s->queryTimeout);
    if (rc == 0)
        rc = initParamDescs(s);
    if (rc != 0)
        return rc;
    if (s->paramCount == 0)
        s->flags &= static_cast<uint16_t>(~DS_PARAMS_CHANGED);
    s->flags |= DS_PREPARED;
    return 0;
}

int DRV_SetParams(int stmt, RowBlock *values)
{
    DrvStmt *s = drvStmtOf(stmt);
    if (!s)
        return ERR_INVALID_ARGUMENT;
    if (s->params && s->params != values) {
        RB_Free(s->params);
        free(s->params);
    }
    s->params = values;
    s->flags |= DS_PARAMS_CHANGED;
    return 0;
}

int DRV_SetParamTypes(int stmt, uint16_t count, const ParamTypeDesc *types)
{
    DrvStmt *s = drvStmtOf(stmt);
    if (!s)
        return ERR_INVALID_ARGUMENT;
    free(s->paramTypes);
    s->paramTypes = nullptr;
    s->paramTypeCount = 0;
    if (count && types) {
        s->paramTypes = static_cast<ParamTypeDesc *>(malloc(sizeof(ParamTypeDesc) * count));
        if (!s->paramTypes)
            return ERR_MEMORY_ALLOCATION;
        memcpy(s->paramTypes, types, sizeof(ParamTypeDesc) * count);
        s->paramTypeCount = count;
    }
    s->flags |= DS_PARAMS_CHANGED;
    return 0;
}

int DRV_Execute(int stmt)
{
    DrvCall<DrvStmt> op(stmt);
    if (int rc = op.attach())
        return rc;
    DrvStmt *s = op.get();
    if (!(s->flags & DS_PREPARED)) {
        LOG_Printf(LOG_LEVEL_WARNING, SRC, __LINE__, "execute without prior prepare");
        return ERR_FUNCTION_SEQUENCE;
    }
    if (s->paramCount && (!s->params || s->params->rowsUsed < 1)) {
        LOG_Printf(LOG_LEVEL_WARNING, SRC, __LINE__, "execute without prior parameters set");
        return ERR_WRONG_PARAMETER_COUNT;
    }
    if (int rc = op.pushFrame(kFrame))
        return rc;
    closeResultSet(s);
    s->flags &= static_cast<uint16_t>(~DS_OUT_REGISTERED);
    s->executions = 0;
    s->rowCount = 0;
    if (s->sql.verb == SQLV_SELECT)
        return executeRow(s, 0);
    const int32_t sets = parameterSets(s);
    s->flags |= DS_COUNTED;
    if (int rc = batchable(s, sets) ? executeBatched(s, sets) : executeSets(s, sets))
        return rc;
    if ((s->flags & DS_PROCCALL) && (s->flags & DS_OUT_REGISTERED) && !s->resultSet)
        return ERR_OUTPUT_PARAMS_PENDING;
    return 0;
}

int DRV_NotCapable(int stmt, int16_t, int16_t, void *)
{
    return drvStmtOf(stmt) ? ERR_NOT_CAPABLE : ERR_INVALID_ARGUMENT;
}

int DRV_MoreResults(int stmt)
{
    DrvCall<DrvStmt> op(stmt);
    if (int rc = op.attach())
        return rc;
    DrvStmt *s = op.get();
    if (!(s->flags & DS_PENDING))
        return ERR_NO_MORE_RESULTS;
    s->flags &= static_cast<uint16_t>(~DS_END_OF_DATA);
    if (!s->stmt) {
        s->flags |= DS_END_OF_DATA;
        return ERR_NO_MORE_RESULTS;
    }
    const int32_t sets = parameterSets(s);
    if (int rc = op.pushFrame(kFrame))
        return rc;
    if (s->sql.verb == SQLV_SELECT && s->executions > 0 && s->executions < sets) {
        closeResultSet(s);
        return executeRow(s, s->executions);
    }
    uint8_t more = 0;
    int32_t count = -1;
    int rc = jc_Statement_getMoreResults(s, s->stmt, &more);
    if (rc == 0)
        rc = jc_Statement_getUpdateCount(s, s->stmt, &count);
    if (rc != 0)
        return rc;
    if (!more && count == -1) {
        if ((s->flags & DS_PROCCALL) && (s->flags & DS_OUT_REGISTERED) && !s->resultSet)
            return ERR_OUTPUT_PARAMS_PENDING;
        s->flags |= DS_END_OF_DATA;
        return ERR_NO_MORE_RESULTS;
    }
    freeResultDescs(s);
    s->rsMetaData.Drop();
    dropResult(s);
    if (more) {
        // The next result is rows: their count is not known.
        s->flags &= static_cast<uint16_t>(~DS_COUNTED);
        jobject rs = nullptr;
        if ((rc = jc_PreparedStatement_getResultSet(s, s->stmt, &rs)) != 0)
            return rc;
        s->resultSet.Set(s->env, rs);
        jc_DeleteLocal(s->env, rs);
        return describeResultCols(s, 'E');
    }
    s->rowCount = count;
    s->flags |= DS_COUNTED | DS_END_OF_DATA;
    return 0;
}

int DRV_ExecDirect(int stmt, const char *sql, RowBlock *values, int16_t typeCount, const ParamTypeDesc *types)
{
    if (sql) {
        if (int rc = DRV_Prepare(stmt, sql))
            return rc;
    }
    if (values) {
        if (int rc = DRV_SetParams(stmt, values))
            return rc;
    }
    if (typeCount > 0) {
        if (int rc = DRV_SetParamTypes(stmt, static_cast<uint16_t>(typeCount), types))
            return rc;
    }
    return DRV_Execute(stmt);
}

int DRV_Cancel(int stmt)
{
    // Not a call on the statement's connection: the thread's own JNIEnv,
    // and the statement's records are only read through stmtObjectRef.
    JvmThreadScope thread;
    JNIEnv *env = thread.env();
    if (!env)
        return drvStmtOf(stmt) ? ERR_GENERAL : ERR_INVALID_ARGUMENT;
    JLocal<jobject> target(env);
    if (int rc = stmtObjectRef(stmt, env, target.out()))
        return rc;
    if (!target.get() || jc_CallVoidMethod(env, target, nullptr, "cancel", "()V") == 0)
        return 0;
    // The statement's chain belongs to the running call: the failure's
    // texts are dropped and its number answered.
    ErrChain chain{};
    int rc = CheckException(env, STRMODE_PLATFORM, &chain);
    errClear(&chain);
    return rc;
}

int fetchHook(void *) { return 0; }

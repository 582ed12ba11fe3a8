// Wrappers of java.sql.Connection and java.sql.Statement.
#include "drv_jdbc/j-wrap.h"

#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrapctx.h"
#include "util/log.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#define SRC "drv_jdbc/j-common"

namespace {
// Calls a Connection method that makes a statement and keeps the result in
// the statement's slot as a global reference.
int makeStatement(DrvStmt *s, jobject conn, const char *method, const char *sig, const char *sql,
                  bool prepare)
{
    JCtx x = jctx(s);
    JLocal<jstring> text(x.env);
    if (sql || prepare) {
        int rc = jctxString(x, sql, text);
        if (rc != 0)
            return rc;
    }
    JLocal<jobject> made(x.env);
    int rc = sql || prepare
                 ? jc_CallObjectMethod(x.env, conn, nullptr, method, sig, made.out(), text.get())
                 : jc_CallObjectMethod(x.env, conn, nullptr, method, sig, made.out());
    if (rc != 0)
        rc = CheckException(x.env, x.mode, x.chain);
    JGlobal<> global;
    if (rc == 0)
        global.Set(x.env, made.get());
    setStmtObject(s, std::move(global));
    if (prepare && rc != 0)
        return ERR_SYNTAX_OR_ACCESS;
    return rc;
}
} // namespace

int jc_Connection_getMetaData(DrvConn *c, jobject conn, jobject *out)
{
    JCtx x = jctx(c);
    return jctxDone(x, jc_CallObjectMethod(x.env, conn, nullptr, "getMetaData",
                                           "()Ljava/sql/DatabaseMetaData;", out));
}

int jc_Connection_getAutoCommit(DrvConn *c, jobject conn, uint8_t *out)
{
    JCtx x = jctx(c);
    return jctxDone(x, jc_CallBooleanMethod(x.env, conn, nullptr, "getAutoCommit", "()Z", out));
}

int jc_Connection_getTransactionIsolation(DrvConn *c, jobject conn, int32_t *out)
{
    JCtx x = jctx(c);
    return jctxDone(x, jc_CallIntMethod(x.env, conn, nullptr, "getTransactionIsolation", "()I", out));
}

int jc_Connection_getCatalog(DrvConn *c, jobject conn, char *buf, size_t size)
{
    JCtx x = jctx(c);
    JLocal<jobject> cat(x.env);
    int rc = jc_CallObjectMethod(x.env, conn, nullptr, "getCatalog", "()Ljava/lang/String;", cat.out());
    if (rc != 0)
        return CheckException(x.env, x.mode, x.chain);
    if (size == 0 || !buf)
        return 0;
    buf[0] = '\0';
    if (!cat.get())
        return 0;
    JStringText view;
    if (jc_GetStringText(x.env, static_cast<jstring>(cat.get()), &view, x.mode) != 0) {
        CheckException(x.env, x.mode, x.chain);
        return ERR_GENERAL;
    }
    size_t n = static_cast<size_t>(view.length) < size - 1 ? static_cast<size_t>(view.length) : size - 1;
    memcpy(buf, view.chars, n);
    buf[n] = '\0';
    jc_ReleaseStringText(x.env, &view);
    return 0;
}

int jc_Connection_createStatement(DrvConn *c, jobject conn, jobject *out)
{
    JCtx x = jctx(c);
    return jctxDone(x, jc_CallObjectMethod(x.env, conn, nullptr, "createStatement",
                                           "()Ljava/sql/Statement;", out));
}

int jc_Connection_createStatementForStmt(DrvStmt *s, jobject conn)
{
    return makeStatement(s, conn, "createStatement", "()Ljava/sql/Statement;", nullptr, false);
}

int jc_Connection_prepareStatement(DrvStmt *s, jobject conn, const char *sql)
{
    return makeStatement(s, conn, "prepareStatement",
                         "(Ljava/lang/String;)Ljava/sql/PreparedStatement;", sql, true);
}

int jc_Connection_prepareCall(DrvStmt *s, jobject conn, const char *sql)
{
    return makeStatement(s, conn, "prepareCall", "(Ljava/lang/String;)Ljava/sql/CallableStatement;",
                         sql, true);
}

int jc_Connection_close(DrvConn *c, jobject conn)
{
    JCtx x = jctx(c);
    return jctxDone(x, jc_CallVoidMethod(x.env, conn, nullptr, "close", "()V"));
}

int jc_Connection_commit(DrvConn *c, jobject conn)
{
    JCtx x = jctx(c);
    return jctxDone(x, jc_CallVoidMethod(x.env, conn, nullptr, "commit", "()V"));
}

int jc_Connection_rollback(DrvConn *c, jobject conn)
{
    JCtx x = jctx(c);
    return jctxDone(x, jc_CallVoidMethod(x.env, conn, nullptr, "rollback", "()V"));
}

int jc_Connection_setAutoCommit(DrvConn *c, jobject conn, uint32_t on)
{
    JCtx x = jctx(c);
    jboolean b = static_cast<uint8_t>(on) ? JNI_TRUE : JNI_FALSE;
    return jctxDone(x, jc_CallVoidMethod(x.env, conn, nullptr, "setAutoCommit", "(Z)V", b));
}

int jc_Connection_setReadOnly(DrvConn *c, jobject conn, uint32_t on)
{
    JCtx x = jctx(c);
    jboolean b = static_cast<uint8_t>(on) ? JNI_TRUE : JNI_FALSE;
    return jctxDone(x, jc_CallVoidMethod(x.env, conn, nullptr, "setReadOnly", "(Z)V", b));
}

int jc_Connection_setCatalog(DrvConn *c, jobject conn, const char *catalog)
{
    JCtx x = jctx(c);
    JLocal<jstring> text(x.env);
    if (int rc = jctxString(x, catalog, text))
        return rc;
    return jctxDone(x, jc_CallVoidMethod(x.env, conn, nullptr, "setCatalog", "(Ljava/lang/String;)V",
                                         text.get()));
}

int jc_Connection_setTransactionIsolation(DrvConn *c, jobject conn, int32_t level)
{
    JCtx x = jctx(c);
    return jctxDone(x, jc_CallVoidMethod(x.env, conn, nullptr, "setTransactionIsolation", "(I)V",
                                         static_cast<jint>(level)));
}

int jc_Connection_nativeSQL(DrvConn *c, jobject conn, const char *sql, char **out)
{
    *out = nullptr;
    JCtx x = jctx(c);
    JLocal<jstring> text(x.env);
    if (int rc = jctxString(x, sql, text))
        return rc;
    JLocal<jobject> res(x.env);
    if (jc_CallObjectMethod(x.env, conn, nullptr, "nativeSQL", "(Ljava/lang/String;)Ljava/lang/String;",
                            res.out(), text.get()) != 0)
        return CheckException(x.env, x.mode, x.chain);
    *out = res.get() ? jc_DupString(x.env, static_cast<jstring>(res.get()), x.mode) : strdup("");
    if (!*out) {
        CheckException(x.env, x.mode, x.chain);
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Memory allocation failure");
        return ERR_MEMORY_ALLOCATION;
    }
    return 0;
}

int jc_Statement_execute(DrvStmt *s, jobject stmt, const char *sql, uint8_t *isResultSet)
{
    JCtx x = jctx(s);
    JLocal<jstring> text(x.env);
    if (int rc = jctxString(x, sql, text))
        return rc;
    if (jc_CallBooleanMethod(x.env, stmt, nullptr, "execute", "(Ljava/lang/String;)Z", isResultSet,
                             text.get()) != 0)
        return CheckException(x.env, x.mode, x.chain) != 0 ? ERR_SYNTAX_OR_ACCESS : 0;
    return 0;
}

int jc_Statement_executeForConn(DrvConn *c, jobject stmt, const char *sql)
{
    JCtx x = jctx(c);
    JLocal<jstring> text(x.env);
    if (int rc = jctxString(x, sql, text))
        return rc;
    uint8_t dropped = 0;
    if (jc_CallBooleanMethod(x.env, stmt, nullptr, "execute", "(Ljava/lang/String;)Z", &dropped,
                             text.get()) != 0)
        return CheckException(x.env, x.mode, x.chain) != 0 ? ERR_SYNTAX_OR_ACCESS : 0;
    return 0;
}

int jc_Statement_closeForConn(DrvConn *c, jobject stmt)
{
    JCtx x = jctx(c);
    return jctxDone(x, jc_CallVoidMethod(x.env, stmt, nullptr, "close", "()V"));
}

int jc_Statement_close(DrvStmt *s, jobject stmt)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallVoidMethod(x.env, stmt, nullptr, "close", "()V"));
}

int jc_Statement_getMoreResults(DrvStmt *s, jobject stmt, uint8_t *out)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallBooleanMethod(x.env, stmt, nullptr, "getMoreResults", "()Z", out));
}

int jc_Statement_getUpdateCount(DrvStmt *s, jobject stmt, int32_t *out)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallIntMethod(x.env, stmt, nullptr, "getUpdateCount", "()I", out));
}

int jc_Statement_setCursorName(DrvStmt *s, jobject stmt, const char *name)
{
    JCtx x = jctx(s);
    JLocal<jstring> text(x.env);
    if (int rc = jctxString(x, name, text))
        return rc;
    return jctxDone(x, jc_CallVoidMethod(x.env, stmt, nullptr, "setCursorName",
                                         "(Ljava/lang/String;)V", text.get()));
}

int jc_Statement_getQueryTimeout(DrvStmt *s, jobject stmt, int32_t *out)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallIntMethod(x.env, stmt, nullptr, "getQueryTimeout", "()I", out));
}

int jc_Statement_setQueryTimeout(DrvStmt *s, jobject stmt, int32_t seconds)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallVoidMethod(x.env, stmt, nullptr, "setQueryTimeout", "(I)V",
                                         static_cast<jint>(seconds)));
}

int jc_Statement_setMaxRows(DrvStmt *s, jobject stmt, int32_t rows)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallVoidMethod(x.env, stmt, nullptr, "setMaxRows", "(I)V", static_cast<jint>(rows)));
}

int jc_PreparedStatement_addBatch(DrvStmt *s, jobject ps)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallVoidMethod(x.env, ps, nullptr, "addBatch", "()V"));
}

int jc_Statement_executeBatch(DrvStmt *s, jobject stmt, jintArray *counts)
{
    JCtx x = jctx(s);
    jobject out = nullptr;
    int rc = jctxDone(x, jc_CallObjectMethod(x.env, stmt, nullptr, "executeBatch", "()[I", &out));
    *counts = static_cast<jintArray>(out);
    return rc;
}

int jc_Statement_clearBatch(DrvStmt *s, jobject stmt)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallVoidMethod(x.env, stmt, nullptr, "clearBatch", "()V"));
}

int jc_Statement_getSerial(DrvStmt *s, jobject stmt, int32_t *out)
{
    JCtx x = jctx(s);
    if (!x.env || !s->conn || !s->conn->classLoader)
        return ERR_GENERAL;
    JLocal<jstring> name(x.env, jc_NewString(x.env, "com.informix.jdbc.IfmxStatement", STRMODE_PLATFORM));
    if (!name.get()) {
        jc_ClearException(x.env);
        return ERR_GENERAL;
    }
    JLocal<jobject> cls(x.env);
    if (jc_CallObjectMethod(x.env, s->conn->classLoader, nullptr, "loadClass",
                            "(Ljava/lang/String;)Ljava/lang/Class;", cls.out(), name.get()) != 0 ||
        !cls.get()) {
        jc_ClearException(x.env);
        return ERR_GENERAL;
    }
    if (!stmt || !x.env->IsInstanceOf(stmt, static_cast<jclass>(cls.get())))
        return ERR_GENERAL;
    if (jc_CallIntMethod(x.env, stmt, static_cast<jclass>(cls.get()), "getSerial", "()I", out) != 0) {
        CheckException(x.env, x.mode, x.chain);
        return ERR_SYNTAX_OR_ACCESS;
    }
    return 0;
}

// Release of back-end statement records.
#include "drv_jdbc/j-stmt.h"

#include "drv_jdbc/j-common.h"

#include <cstdlib>

namespace {
// Closes a Java object (ResultSet or Statement) and drops its global reference.
void closeGlobal(JNIEnv *env, jobject *ref)
{
    if (!*ref)
        return;
    if (env) {
        jc_CallVoidMethod(env, *ref, nullptr, "close", "()V");
        jc_ClearException(env);
        env->DeleteGlobalRef(*ref);
    }
    *ref = nullptr;
}
} // namespace

void resetStmt(DrvStmt *s)
{
    if (!s)
        return;
    if (s->env && s->rsMetaData)
        s->env->DeleteGlobalRef(s->rsMetaData);
    s->rsMetaData = nullptr;
    closeGlobal(s->env, &s->resultSet);
    closeGlobal(s->env, &s->stmt);
}

void drvStmtDiscard(DrvStmt *s)
{
    if (!s)
        return;
    resetStmt(s);
    errClear(&s->errors);
    free(s);
}

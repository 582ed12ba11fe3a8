// The context of a Java wrapper: the calling thread's JNIEnv, the string mode
// and the chain diagnostics go to, taken from a DrvConn or a DrvStmt.
#pragma once
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-stmt.h"

struct JCtx {
    JNIEnv *env;
    int mode;
    ErrChain *chain;
};

inline JCtx jctx(DrvConn *c) { return {c->env, c->stringMode, &c->errors}; }
inline JCtx jctx(DrvStmt *s) { return {s->env, s->stringMode, &s->errors}; }

// A wrapper's answer for the call family's result: 0, or CheckException's number.
inline int jctxDone(const JCtx &x, int rc)
{
    return rc == 0 ? 0 : CheckException(x.env, x.mode, x.chain);
}

// A text argument as a Java String in the record's mode (NULL is sent as the
// empty text); 0, or 15 with the cause posted.
inline int jctxString(const JCtx &x, const char *text, JLocal<jstring> &out)
{
    out.reset(jc_NewString(x.env, text ? text : "", x.mode));
    if (!out.get()) {
        CheckException(x.env, x.mode, x.chain);
        return 15;
    }
    if (CheckException(x.env, x.mode, x.chain) != 0)
        return 15;
    return 0;
}

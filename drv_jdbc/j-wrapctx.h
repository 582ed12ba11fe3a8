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

// The call-family member that answers a value of type T.
template <class T>
struct JScalarCall;
template <> struct JScalarCall<uint8_t> { static constexpr auto call = jc_CallBooleanMethod; };
template <> struct JScalarCall<int8_t> { static constexpr auto call = jc_CallByteMethod; };
template <> struct JScalarCall<int16_t> { static constexpr auto call = jc_CallShortMethod; };
template <> struct JScalarCall<int32_t> { static constexpr auto call = jc_CallIntMethod; };
template <> struct JScalarCall<int64_t> { static constexpr auto call = jc_CallLongMethod; };
template <> struct JScalarCall<float> { static constexpr auto call = jc_CallFloatMethod; };
template <> struct JScalarCall<double> { static constexpr auto call = jc_CallDoubleMethod; };

// Calls a method answering a primitive value and stores the answer in *out
// (when given) only on success; 0, or CheckException's number.
template <class T, class... A>
int jctxScalar(const JCtx &x, jobject obj, const char *name, const char *sig, T *out, A... args)
{
    T v{};
    int rc = jctxDone(x, JScalarCall<T>::call(x.env, obj, nullptr, name, sig, &v, args...));
    if (rc == 0 && out)
        *out = v;
    return rc;
}

// A NUL-terminated text as a Java String in the given mode; 0, or ERR_GENERAL with
// the cause posted (no String, or an exception pending).
inline int jctxNewString(const JCtx &x, const char *text, int mode, JLocal<jstring> &out)
{
    out.reset(jc_NewString(x.env, text, mode));
    if (!out.get()) {
        CheckException(x.env, x.mode, x.chain);
        return ERR_GENERAL;
    }
    if (CheckException(x.env, x.mode, x.chain) != 0)
        return ERR_GENERAL;
    return 0;
}

// A text argument as a Java String in the record's mode (NULL is sent as the
// empty text); 0, or ERR_GENERAL with the cause posted.
inline int jctxString(const JCtx &x, const char *text, JLocal<jstring> &out)
{
    return jctxNewString(x, text ? text : "", x.mode, out);
}

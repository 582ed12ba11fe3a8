// The XAResource bridge: one wrapper per XAResource method of a connection.
#include "drv_jdbc/j-xares.h"

#include "drv_jdbc/j-classes.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "odbc/contract/errnum.h"
#include "util/log.h"
#include "odbc/contract/xid.h"

#include <cstdlib>
#include <cstring>

#define SRC "drv_jdbc/j-common"

namespace {
// The X/Open code of the pending exception: the errorCode of an
// XAException when it names an outcome, else XAER_RMERR.  The exception
// stays pending for CheckException.
int pendingXaCode(JNIEnv *env)
{
    jthrowable thr = env->ExceptionOccurred();
    if (!thr)
        return XAER_RMERR;
    env->ExceptionClear();
    int code = XAER_RMERR;
    jclass xaEx = env->FindClass("javax/transaction/xa/XAException");
    if (xaEx && env->IsInstanceOf(thr, xaEx)) {
        jfieldID field = env->GetFieldID(xaEx, "errorCode", "I");
        if (field) {
            jint value = env->GetIntField(thr, field);
            if (value != XA_OK)
                code = value;
        }
    }
    env->ExceptionClear();
    jc_DeleteLocal(env, xaEx);
    env->Throw(thr);
    env->DeleteLocalRef(thr);
    return code;
}

// Posts the pending exception on the connection's chain; the X/Open code.
int javaFailure(DrvConn *c)
{
    int code = pendingXaCode(c->env);
    CheckException(c->env, c->stringMode, &c->errors);
    return code;
}

// The connection's Java identifier for xid; NULL after logging (and posting
// the exception when there was one).
jobject branchXid(DrvConn *c, const XID *xid)
{
    jobject obj = jc_NewXAXid(c->env, c->xidClass, xid);
    if (CheckException(c->env, c->stringMode, &c->errors) != 0 || !obj) {
        jc_DeleteLocal(c->env, obj);
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "XID creation failure");
        return nullptr;
    }
    return obj;
}

// A void XAResource method with the identifier and, when given, one int.
int voidBranchCall(DrvConn *c, const XID *xid, const char *method, const char *sig,
                   const jint *arg)
{
    JLocal<jobject> jxid(c->env, branchXid(c, xid));
    if (!jxid.get())
        return XAER_RMERR;
    int rc = arg ? jc_CallVoidMethod(c->env, c->xaResource, nullptr, method, sig, jxid.get(), *arg)
                 : jc_CallVoidMethod(c->env, c->xaResource, nullptr, method, sig, jxid.get());
    return rc == 0 ? XA_OK : javaFailure(c);
}
} // namespace

jobject jc_NewXAXid(JNIEnv *env, jclass xidClass, const XID *xid)
{
    if (!xid)
        return nullptr;
    return jc_NewXAXidParts(env, xidClass, xid->formatID, xid->gtrid_length, xid->bqual_length,
                            xid->data);
}

int jc_ReadXid(JNIEnv *env, jobject xid, XID *out, bool *tooLong)
{
    *tooLong = false;
    if (!env || !xid || !out)
        return ERR_GENERAL;
    int32_t format = 0;
    JLocal<jobject> gtrid(env), bqual(env);
    if (jc_CallIntMethod(env, xid, nullptr, "getFormatId", "()I", &format) != 0 ||
        jc_CallObjectMethod(env, xid, nullptr, "getGlobalTransactionId", "()[B", gtrid.out()) != 0 ||
        jc_CallObjectMethod(env, xid, nullptr, "getBranchQualifier", "()[B", bqual.out()) != 0 ||
        !gtrid.get() || !bqual.get())
        return ERR_GENERAL;
    jsize gl = env->GetArrayLength(static_cast<jbyteArray>(gtrid.get()));
    jsize bl = env->GetArrayLength(static_cast<jbyteArray>(bqual.get()));
    if (!XA_XidLengthsValid(gl, bl)) {
        *tooLong = true;
        return 0;
    }
    out->formatID = format;
    out->gtrid_length = gl;
    out->bqual_length = bl;
    env->GetByteArrayRegion(static_cast<jbyteArray>(gtrid.get()), 0, gl,
                            reinterpret_cast<jbyte *>(out->data));
    env->GetByteArrayRegion(static_cast<jbyteArray>(bqual.get()), 0, bl,
                            reinterpret_cast<jbyte *>(out->data + gl));
    return env->ExceptionCheck() ? ERR_GENERAL : 0;
}

int jc_XAResource_start(DrvConn *c, const XID *xid, int32_t flags)
{
    const jint arg = flags;
    return voidBranchCall(c, xid, "start", "(Ljavax/transaction/xa/Xid;I)V", &arg);
}

int jc_XAResource_end(DrvConn *c, const XID *xid, int32_t flags)
{
    const jint arg = flags;
    return voidBranchCall(c, xid, "end", "(Ljavax/transaction/xa/Xid;I)V", &arg);
}

int jc_XAResource_rollback(DrvConn *c, const XID *xid)
{
    return voidBranchCall(c, xid, "rollback", "(Ljavax/transaction/xa/Xid;)V", nullptr);
}

int jc_XAResource_forget(DrvConn *c, const XID *xid)
{
    return voidBranchCall(c, xid, "forget", "(Ljavax/transaction/xa/Xid;)V", nullptr);
}

int jc_XAResource_prepare(DrvConn *c, const XID *xid)
{
    JLocal<jobject> jxid(c->env, branchXid(c, xid));
    if (!jxid.get())
        return XAER_RMERR;
    int32_t vote = 0;
    if (jc_CallIntMethod(c->env, c->xaResource, nullptr, "prepare", "(Ljavax/transaction/xa/Xid;)I",
                         &vote, jxid.get()) != 0)
        return javaFailure(c);
    return vote;
}

int jc_XAResource_commit(DrvConn *c, const XID *xid, int32_t onePhase)
{
    JLocal<jobject> jxid(c->env, branchXid(c, xid));
    if (!jxid.get())
        return XAER_RMERR;
    const jboolean one = (onePhase & 0xFF) ? JNI_TRUE : JNI_FALSE;
    if (jc_CallVoidMethod(c->env, c->xaResource, nullptr, "commit", "(Ljavax/transaction/xa/Xid;Z)V",
                          jxid.get(), one) != 0)
        return javaFailure(c);
    return XA_OK;
}

namespace {
// Calls recover(flags) and hands each identifier it answers to
// visit(const XID &) in order (those with a part longer than 64 bytes are
// logged and left out).  XA_OK or an error code, with its diagnostic.
template <class Visit>
int forEachRecovered(DrvConn *c, int32_t flags, Visit visit)
{
    JNIEnv *env = c->env;
    JLocal<jobject> arr(env);
    if (jc_CallObjectMethod(env, c->xaResource, nullptr, "recover",
                            "(I)[Ljavax/transaction/xa/Xid;", arr.out(), static_cast<jint>(flags)) != 0)
        return javaFailure(c);
    auto array = static_cast<jobjectArray>(arr.get());
    jsize n = array ? env->GetArrayLength(array) : 0;
    for (jsize i = 0; i < n; ++i) {
        JLocal<jobject> element(env, env->GetObjectArrayElement(array, i));
        XID xid{};
        bool tooLong = false;
        int rc = env->ExceptionCheck() ? ERR_GENERAL : jc_ReadXid(env, element.get(), &xid, &tooLong);
        if (rc != 0) {
            if (CheckException(env, c->stringMode, &c->errors) == 0)
                errPostMsg(&c->errors, "A recovered Xid could not be read", ERR_GENERAL);
            return XAER_RMERR;
        }
        if (tooLong) {
            LOG_Printf(LOG_LEVEL_WARNING, SRC, __LINE__,
                       "Recovered Xid with a part longer than 64 bytes left out");
            continue;
        }
        if (!visit(xid))
            return XAER_RMERR;
    }
    return XA_OK;
}
} // namespace

int jc_XAResource_recover(DrvConn *c, int32_t flags)
{
    XID *list = nullptr;
    int32_t count = 0;
    int32_t room = 0;
    int rc = forEachRecovered(c, flags, [&](const XID &xid) {
        if (count == room) {
            int32_t more = room ? room * 2 : 16;
            auto *grown = static_cast<XID *>(realloc(list, static_cast<size_t>(more) * sizeof(XID)));
            if (!grown) {
                errPostMsg(&c->errors, "Memory allocation failure", ERR_MEMORY_ALLOCATION);
                return false;
            }
            list = grown;
            room = more;
        }
        list[count++] = xid;
        return true;
    });
    if (rc != XA_OK || count == 0) {
        free(list);
        return rc;
    }
    free(c->recoverList);
    c->recoverList = list;
    c->recoverCount = count;
    c->recoverPos = 0;
    return XA_OK;
}

int jc_XAResource_isPrepared(DrvConn *c, const XID *xid)
{
    bool found = false;
    int rc = forEachRecovered(c, XA_TMSTARTRSCAN | XA_TMENDRSCAN, [&](const XID &x) {
        found = found || XA_SameXid(x, *xid);
        return true;
    });
    return rc != XA_OK ? rc : found ? 1 : 0;
}

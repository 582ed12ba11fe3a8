// JNI call layer: text in both string modes, calls by name and signature,
// and CheckException.
#include "drv_jdbc/j-common.h"

#include "drv_jdbc/j-errors.h"
#include "drv_jdbc/j-global.h"
#include "util/codepage.h"
#include "platform/locks.h"
#include "util/log.h"
#include "util/utf8.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#define SRC "drv_jdbc/j-common"

namespace {
// Java name of the charset of mode 0 text: the driver's ANSI code set.
const char *platformCharset()
{
    return CP_AnsiCodeset();
}

jstring charsetName(JNIEnv *env)
{
    return env->NewStringUTF(platformCharset());
}

// Method IDs already looked up, by name, signature and class.  A row sends
// rows and cells through the same few methods, and GetMethodID resolves the
// name and the signature anew on every call; the cache answers them after
// the first.  An ID found on a class serves every instance of it and of its
// subclasses (the call still dispatches virtually).  The classes are held by
// global references until the back end's last close drops them.
struct MethodSlot {
    char name[40];
    char sig[88];
    JGlobal<jclass> cls;
    jmethodID mid;
};

constexpr unsigned kMethodSets = 64;
constexpr unsigned kMethodWays = 4;

struct MethodCache {
    PL_CriticalSection lock;
    MethodSlot slots[kMethodSets][kMethodWays] = {};
    unsigned next[kMethodSets] = {};
};

MethodCache &methodCache()
{
    static MethodCache *cache = new MethodCache();
    return *cache;
}

unsigned methodSet(const char *name, const char *sig)
{
    uint32_t h = 2166136261u;
    for (const char *p : {name, sig})
        for (; *p; ++p)
            h = (h ^ static_cast<unsigned char>(*p)) * 16777619u;
    return h % kMethodSets;
}

bool cacheable(const char *name, const char *sig)
{
    return strlen(name) < sizeof(MethodSlot::name) && strlen(sig) < sizeof(MethodSlot::sig);
}

// The kept ID for the method on `cls` when given, else on the object's class
// or a class above it; NULL when none is kept.
jmethodID cachedMethod(JNIEnv *env, jobject obj, jclass cls, const char *name, const char *sig,
                       unsigned set)
{
    MethodCache &c = methodCache();
    PL_CsGuard guard(c.lock);
    for (MethodSlot &m : c.slots[set])
        if (m.cls && strcmp(m.name, name) == 0 && strcmp(m.sig, sig) == 0 &&
            (cls ? env->IsSameObject(cls, m.cls) : env->IsInstanceOf(obj, m.cls)))
            return m.mid;
    return nullptr;
}

void rememberMethod(JNIEnv *env, jclass cls, const char *name, const char *sig, unsigned set,
                    jmethodID mid)
{
    JGlobal<jclass> global;
    if (!global.Set(env, cls) || !global)
        return;
    MethodCache &c = methodCache();
    PL_CsGuard guard(c.lock);
    MethodSlot &m = c.slots[set][c.next[set]++ % kMethodWays];
    m.cls.Drop(env);
    snprintf(m.name, sizeof m.name, "%s", name);
    snprintf(m.sig, sizeof m.sig, "%s", sig);
    m.cls = std::move(global);
    m.mid = mid;
}

// Looks the method up for the call family; 0 or ERR_GENERAL (exception pending).
int lookupMethod(JNIEnv *env, jobject obj, jclass cls, const char *name, const char *sig,
                 jmethodID *mid)
{
    if (!env)
        return jc_ReportNullPointer(nullptr, "env", name);
    if (!obj)
        return jc_ReportNullPointer(env, "obj", name);
    const bool cached = cacheable(name, sig);
    const unsigned set = cached ? methodSet(name, sig) : 0;
    if (cached && (*mid = cachedMethod(env, obj, cls, name, sig, set)) != nullptr)
        return 0;
    jclass own = nullptr;
    if (!cls) {
        own = env->GetObjectClass(obj);
        if (!own)
            return jc_ReportNullPointer(env, "class", name);
        cls = own;
    }
    *mid = env->GetMethodID(cls, name, sig);
    int rc = !*mid || env->ExceptionCheck() ? ERR_GENERAL : 0;
    if (rc == 0 && cached)
        rememberMethod(env, cls, name, sig, set, *mid);
    jc_DeleteLocal(env, own);
    return rc;
}

// The platform's own classes (java/...) the driver makes objects of per value
// (strings, numbers, dates), found once by name: FindClass searches the
// class loaders anew on every call.  Held by global references until the
// back end's last close drops them with the method IDs.
struct ClassSlot {
    char name[48];
    JGlobal<jclass> cls;
};

struct ClassCache {
    PL_CriticalSection lock;
    ClassSlot slots[16] = {};
};

ClassCache &classCache()
{
    static ClassCache *cache = new ClassCache();
    return *cache;
}

// The constructor of cls with the signature, kept in the method cache.
jmethodID constructorOf(JNIEnv *env, jclass cls, const char *sig)
{
    const unsigned set = methodSet("<init>", sig);
    if (jmethodID mid = cachedMethod(env, nullptr, cls, "<init>", sig, set))
        return mid;
    jmethodID mid = env->GetMethodID(cls, "<init>", sig);
    if (mid && cacheable("<init>", sig))
        rememberMethod(env, cls, "<init>", sig, set, mid);
    return mid;
}

jbyteArray bytesOf(JNIEnv *env, jstring s)
{
    jstring cs = charsetName(env);
    if (!cs)
        return nullptr;
    jobject arr = nullptr;
    int rc = jc_CallObjectMethod(env, s, nullptr, "getBytes", "(Ljava/lang/String;)[B", &arr, cs);
    env->DeleteLocalRef(cs);
    if (rc != 0) {
        jc_DeleteLocal(env, arr);
        return nullptr;
    }
    return static_cast<jbyteArray>(arr);
}
} // namespace

bool jc_ClearException(JNIEnv *env)
{
    if (!env || !env->ExceptionCheck())
        return false;
    env->ExceptionClear();
    return true;
}

JniLocalFrame::JniLocalFrame(JNIEnv *env, jint capacity) : env_(env)
{
    if (!env_)
        return;
    if (env_->PushLocalFrame(capacity) == 0)
        pushed_ = true;
    else
        env_->ExceptionClear();
}

JniLocalFrame::~JniLocalFrame() { pop(); }

void JniLocalFrame::pop()
{
    if (pushed_) {
        env_->PopLocalFrame(nullptr);
        pushed_ = false;
    }
}

int jc_GetStringText(JNIEnv *env, jstring s, JStringText *out, int mode)
{
    *out = JStringText{nullptr, 0, nullptr, mode, nullptr};
    if (!s)
        return 0;
    if (!env)
        return ERR_GENERAL;
    if (mode == STRMODE_UTF8) {
        // Standard UTF-8 from the UTF-16 units: the VM's modified UTF-8 would
        // write a character beyond the BMP as two 3-byte surrogate sequences.
        jsize n = env->GetStringLength(s);
        const jchar *units = env->GetStringChars(s, nullptr);
        if (!units)
            return ERR_GENERAL;
        char *utf8 = UTF8_DupFromWideN(reinterpret_cast<const char16_t *>(units), n);
        env->ReleaseStringChars(s, units);
        if (!utf8)
            return ERR_GENERAL;
        out->str = s;
        out->chars = utf8;
        out->length = static_cast<int32_t>(strlen(utf8));
        return 0;
    }
    jbyteArray arr = bytesOf(env, s);
    if (!arr)
        return ERR_GENERAL;
    jbyte *bytes = env->GetByteArrayElements(arr, nullptr);
    if (!bytes) {
        env->DeleteLocalRef(arr);
        return ERR_GENERAL;
    }
    out->ref = arr;
    out->length = env->GetArrayLength(arr);
    out->chars = reinterpret_cast<const char *>(bytes);
    return 0;
}

void jc_ReleaseStringText(JNIEnv *env, JStringText *t)
{
    if (!env || !t || !t->chars)
        return;
    if (t->mode == STRMODE_UTF8) {
        free(const_cast<char *>(t->chars));
    } else {
        env->ReleaseByteArrayElements(static_cast<jbyteArray>(t->ref),
                                      reinterpret_cast<jbyte *>(const_cast<char *>(t->chars)),
                                      JNI_ABORT);
        env->DeleteLocalRef(t->ref);
    }
    t->chars = nullptr;
    t->ref = nullptr;
}

char *jc_DupString(JNIEnv *env, jstring s, int mode)
{
    if (!s || !env)
        return nullptr;
    JStringText view;
    if (jc_GetStringText(env, s, &view, mode) != 0)
        return nullptr;
    char *copy = static_cast<char *>(calloc(static_cast<size_t>(view.length) + 1, 1));
    if (copy)
        memcpy(copy, view.chars, static_cast<size_t>(view.length));
    jc_ReleaseStringText(env, &view);
    return copy;
}

jstring jc_NewString(JNIEnv *env, const char *text, int mode)
{
    if (!text || !env)
        return nullptr;
    if (mode == STRMODE_UTF8) {
        // Through UTF-16: NewStringUTF reads modified UTF-8 and would refuse
        // or corrupt a 4-byte sequence.
        char16_t *units = UTF8_DupToWide<char16_t>(text);
        if (!units)
            return nullptr;
        jstring s = env->NewString(reinterpret_cast<const jchar *>(units), static_cast<jsize>(UC_StrLen(units)));
        free(units);
        return s;
    }
    jsize n = static_cast<jsize>(strlen(text));
    jbyteArray arr = env->NewByteArray(n);
    if (!arr)
        return nullptr;
    env->SetByteArrayRegion(arr, 0, n, reinterpret_cast<const jbyte *>(text));
    jstring cs = charsetName(env);
    jobject s = nullptr;
    if (cs)
        s = jc_NewObject(env, "java/lang/String", "([BLjava/lang/String;)V", arr, cs);
    jc_DeleteLocal(env, cs);
    env->DeleteLocalRef(arr);
    return static_cast<jstring>(s);
}

jclass jc_FindClass(JNIEnv *env, const char *name)
{
    const bool kept = strncmp(name, "java/", 5) == 0 && strlen(name) < sizeof(ClassSlot::name);
    ClassCache &c = classCache();
    if (kept) {
        PL_CsGuard guard(c.lock);
        for (ClassSlot &slot : c.slots)
            if (slot.cls && strcmp(slot.name, name) == 0)
                return static_cast<jclass>(env->NewLocalRef(slot.cls));
    }
    jclass cls = env->FindClass(name);
    if (!cls || !kept)
        return cls;
    PL_CsGuard guard(c.lock);
    for (ClassSlot &slot : c.slots)
        if (!slot.cls) {
            if (slot.cls.Set(env, cls))
                snprintf(slot.name, sizeof slot.name, "%s", name);
            break;
        }
    return cls;
}

jmethodID jc_GetConstructor(JNIEnv *env, jclass cls, const char *sig)
{
    return constructorOf(env, cls, sig);
}

jobject jc_NewObject(JNIEnv *env, const char *className, const char *sig, ...)
{
    if (!env)
        return nullptr;
    jclass cls = jc_FindClass(env, className);
    if (!cls)
        return nullptr;
    jmethodID ctor = constructorOf(env, cls, sig);
    if (!ctor) {
        env->DeleteLocalRef(cls);
        return nullptr;
    }
    va_list ap;
    va_start(ap, sig);
    jobject obj = env->NewObjectV(cls, ctor, ap);
    va_end(ap);
    env->DeleteLocalRef(cls);
    if (env->ExceptionCheck()) {
        jc_DeleteLocal(env, obj);
        return nullptr;
    }
    return obj;
}

#define JC_CALL_MEMBER(Name, JType, OutType)                                                   \
    int jc_Call##Name##Method(JNIEnv *env, jobject obj, jclass cls, const char *name,          \
                              const char *sig, OutType *out, ...)                              \
    {                                                                                          \
        jmethodID mid = nullptr;                                                               \
        int rc = lookupMethod(env, obj, cls, name, sig, &mid);                                 \
        if (rc != 0)                                                                           \
            return rc;                                                                         \
        va_list ap;                                                                            \
        va_start(ap, out);                                                                     \
        JType v = env->Call##Name##MethodV(obj, mid, ap);                                      \
        va_end(ap);                                                                            \
        if (out)                                                                               \
            *out = static_cast<OutType>(v);                                                    \
        return env->ExceptionCheck() ? ERR_GENERAL : 0;                                        \
    }

JC_CALL_MEMBER(Object, jobject, jobject)
JC_CALL_MEMBER(Boolean, jboolean, uint8_t)
JC_CALL_MEMBER(Byte, jbyte, int8_t)
JC_CALL_MEMBER(Char, jchar, uint16_t)
JC_CALL_MEMBER(Short, jshort, int16_t)
JC_CALL_MEMBER(Int, jint, int32_t)
JC_CALL_MEMBER(Long, jlong, int64_t)
JC_CALL_MEMBER(Float, jfloat, float)
JC_CALL_MEMBER(Double, jdouble, double)

int jc_CallVoidMethod(JNIEnv *env, jobject obj, jclass cls, const char *name, const char *sig, ...)
{
    jmethodID mid = nullptr;
    int rc = lookupMethod(env, obj, cls, name, sig, &mid);
    if (rc != 0)
        return rc;
    va_list ap;
    va_start(ap, sig);
    env->CallVoidMethodV(obj, mid, ap);
    va_end(ap);
    return env->ExceptionCheck() ? ERR_GENERAL : 0;
}

int jc_ReportNullPointer(JNIEnv *env, const char *what, const char *method)
{
    char text[160];
    snprintf(text, sizeof text, "NullPointerException in '%.10s'  for '%.80s' JAVA call",
             what ? what : "null", method ? method : "null");
    LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "%s", text);
    if (env) {
        jc_ClearException(env);
        jclass npe = env->FindClass("java/lang/NullPointerException");
        if (npe) {
            env->ThrowNew(npe, text);
            env->DeleteLocalRef(npe);
        }
    }
    return ERR_GENERAL;
}

namespace {
// Copies a Java String result into a fixed buffer in the given mode.
void copyJavaText(JNIEnv *env, jstring s, int mode, char *buf, size_t size)
{
    buf[0] = '\0';
    char *text = jc_DupString(env, s, mode);
    jc_ClearException(env);
    if (text) {
        snprintf(buf, size, "%s", text);
        free(text);
    }
}

// Reads what CheckException reports of the held throwable; the failure text
// of the first lookup or call that fails, else NULL.
const char *analyseThrowable(JNIEnv *env, jthrowable thr, int mode, char *state, char *message,
                             int32_t *native, bool *isWarning)
{
    jclass warn = env->FindClass("java/sql/SQLWarning");
    if (!warn)
        return "Can't find SQLWarning class";
    *isWarning = env->IsInstanceOf(thr, warn);
    env->DeleteLocalRef(warn);
    if (*isWarning)
        return nullptr;

    jclass sqlex = env->FindClass("java/sql/SQLException");
    if (!sqlex)
        return "Can't find SQLException class";
    bool isSqlException = env->IsInstanceOf(thr, sqlex);
    env->DeleteLocalRef(sqlex);

    jclass own = env->GetObjectClass(thr);
    const char *failure = nullptr;
    if (isSqlException) {
        jmethodID getState = env->GetMethodID(own, "getSQLState", "()Ljava/lang/String;");
        if (!getState || jc_ClearException(env)) {
            failure = "Can't find getSQLState";
        } else {
            jmethodID getCode = env->GetMethodID(own, "getErrorCode", "()I");
            if (!getCode || jc_ClearException(env)) {
                failure = "Can't find getErrorCode";
            } else {
                jstring st = static_cast<jstring>(env->CallObjectMethod(thr, getState));
                if (jc_ClearException(env)) {
                    failure = "Exception in Exception.getSQLState";
                } else {
                    if (st) {
                        char *text = jc_DupString(env, st, mode);
                        jc_ClearException(env);
                        if (text) {
                            snprintf(state, 6, "%.5s", text);
                            free(text);
                        }
                        env->DeleteLocalRef(st);
                    }
                    jint code = env->CallIntMethod(thr, getCode);
                    if (jc_ClearException(env))
                        failure = "Exception in Exception.getErrorCode";
                    else
                        *native = code;
                }
            }
        }
    }
    if (!failure) {
        jclass exc = env->FindClass("java/lang/Exception");
        if (!exc) {
            jc_ClearException(env);
            failure = "Can't find Exception class";
        } else {
            env->DeleteLocalRef(exc);
        }
    }
    if (!failure) {
        const char *method = isSqlException ? "getMessage" : "toString";
        jmethodID mid = env->GetMethodID(own, method, "()Ljava/lang/String;");
        if (!mid || jc_ClearException(env)) {
            failure = isSqlException ? "Can't find getMessage " : "Can't find toString";
        } else {
            jstring msg = static_cast<jstring>(env->CallObjectMethod(thr, mid));
            if (jc_ClearException(env)) {
                failure = isSqlException ? "Exception in Exception.getMessage"
                                         : "Exception in Exception.toString";
            } else if (msg) {
                copyJavaText(env, msg, mode, message, ERR_MSG_MAX + 1);
                env->DeleteLocalRef(msg);
            }
        }
    }
    jc_DeleteLocal(env, own);
    return failure;
}
} // namespace

int CheckException(JNIEnv *env, int mode, ErrChain *chain)
{
    if (!env) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Environment is null in JAVA Calls");
        return ERR_GENERAL;
    }
    if (!env->ExceptionCheck())
        return 0;
    jthrowable thr = env->ExceptionOccurred();
    env->ExceptionClear();

    char state[6] = "S1000";
    char message[ERR_MSG_MAX + 1] = "";
    int32_t native = 0;
    bool isWarning = false;
    const char *failure = analyseThrowable(env, thr, mode, state, message, &native, &isWarning);
    env->DeleteLocalRef(thr);
    jc_ClearException(env);
    if (isWarning && !failure)
        return 0;
    if (failure) {
        jc_ClearException(env);
        snprintf(message, sizeof message, "%s", failure);
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "%s", failure);
    }
    int number = 0;
    errPostSQLException(&number, state, message, native, chain);
    return number ? number : ERR_GENERAL;
}

char *jc_StripBraces(char *text)
{
    if (!text)
        return nullptr;
    char *p = text;
    while (*p && isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (*p != '{')
        return text;
    char *res = p + 1;
    size_t n = strlen(res);
    while (n > 1 && isspace(static_cast<unsigned char>(res[n - 1])))
        res[--n] = '\0';
    if (n > 0 && res[n - 1] == '}')
        res[--n] = '\0';
    return res;
}

void jc_ForgetMethods(JNIEnv *env)
{
    MethodCache &c = methodCache();
    PL_CsGuard guard(c.lock);
    for (auto &set : c.slots)
        for (MethodSlot &m : set) {
            m.cls.Drop(env);
            m = MethodSlot{};
        }
    ClassCache &k = classCache();
    PL_CsGuard classes(k.lock);
    for (ClassSlot &slot : k.slots) {
        slot.cls.Drop(env);
        slot.name[0] = '\0';
    }
}

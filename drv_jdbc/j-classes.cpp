// Support classes and the driver's class loader.
#include "drv_jdbc/j-classes.h"

#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "util/log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define SRC "drv_jdbc/j-common"

namespace {
constexpr size_t kMaxUrlPath = 1016;

// ClassLoader.getSystemClassLoader() as a local reference; NULL with the
// exception pending.
jobject systemClassLoader(JNIEnv *env)
{
    jclass cl = env->FindClass("java/lang/ClassLoader");
    if (!cl)
        return nullptr;
    jobject loader = nullptr;
    jmethodID mid = env->GetStaticMethodID(cl, "getSystemClassLoader", "()Ljava/lang/ClassLoader;");
    if (mid) {
        loader = env->CallStaticObjectMethod(cl, mid);
        if (env->ExceptionCheck()) {
            jc_DeleteLocal(env, loader);
            loader = nullptr;
        }
    }
    env->DeleteLocalRef(cl);
    return loader;
}

// Finds the class or defines it from the carried bytes.  The system class
// loader defines it: on Java 9 and later the bootstrap loader cannot see
// javax.transaction.xa, which XAXid implements.
jclass defineSupportClass(JNIEnv *env, const char *name, const unsigned char *bytes, unsigned len)
{
    jclass cls = env->FindClass(name);
    if (cls && !env->ExceptionCheck())
        return cls;
    jc_DeleteLocal(env, cls);
    env->ExceptionClear();
    jobject loader = systemClassLoader(env);
    if (!loader)
        return nullptr;
    cls = env->DefineClass(name, loader, reinterpret_cast<const jbyte *>(bytes),
                           static_cast<jsize>(len));
    env->DeleteLocalRef(loader);
    if (env->ExceptionCheck()) {
        jc_DeleteLocal(env, cls);
        return nullptr;
    }
    return cls;
}

std::vector<std::string> classPathEntries(const char *classPath)
{
    std::vector<std::string> entries;
    const char *p = classPath;
    while (p && *p) {
        const char *end = strchr(p, ';');
        size_t n = end ? static_cast<size_t>(end - p) : strlen(p);
        if (n)
            entries.emplace_back(p, n);
        p = end ? end + 1 : nullptr;
    }
    return entries;
}
} // namespace

jclass jc_DefineClassArchiveTrainer(JNIEnv *env)
{
    return env ? defineSupportClass(env, "kestrune/support/ClassArchiveTrainer", krs_class_ClassArchiveTrainer,
                                    krs_class_ClassArchiveTrainer_len)
               : nullptr;
}

int jc_DefineXAXidClass(JNIEnv *env, jclass *out)
{
    *out = nullptr;
    if (!env)
        return ERR_GENERAL;
    *out = defineSupportClass(env, "kestrune/support/XAXid", krs_class_XAXid, krs_class_XAXid_len);
    return *out ? 0 : ERR_GENERAL;
}

jobject jc_NewClassLoader(JNIEnv *env, const char *classPath)
{
    if (!env)
        return nullptr;
    std::vector<std::string> entries = classPathEntries(classPath);
    if (entries.empty())
        return nullptr;
    jclass loaderClass = defineSupportClass(env, "kestrune/support/KRSClassLoader",
                                            krs_class_KRSClassLoader, krs_class_KRSClassLoader_len);
    if (!loaderClass) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't create KRSClassLoader");
        jc_ClearException(env);
        return nullptr;
    }
    env->DeleteLocalRef(loaderClass);

    jclass urlClass = env->FindClass("java/net/URL");
    if (!urlClass || env->ExceptionCheck()) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't find java.net.URL");
        jc_ClearException(env);
        jc_DeleteLocal(env, urlClass);
        return nullptr;
    }
    jobjectArray urls = env->NewObjectArray(static_cast<jsize>(entries.size()), urlClass, nullptr);
    env->DeleteLocalRef(urlClass);
    if (!urls) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't create Array of java.net.URL");
        jc_ClearException(env);
        return nullptr;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string text = "file:" + entries[i].substr(0, kMaxUrlPath);
        jstring s = jc_NewString(env, text.c_str(), STRMODE_PLATFORM);
        jobject url = s ? jc_NewObject(env, "java/net/URL", "(Ljava/lang/String;)V", s) : nullptr;
        jc_DeleteLocal(env, s);
        if (url)
            env->SetObjectArrayElement(urls, static_cast<jsize>(i), url);
        jc_DeleteLocal(env, url);
        if (!url || env->ExceptionCheck()) {
            jc_ClearException(env);
            env->DeleteLocalRef(urls);
            return nullptr;
        }
    }
    jobject loader = jc_NewObject(env, "kestrune/support/KRSClassLoader", "([Ljava/net/URL;)V", urls);
    env->DeleteLocalRef(urls);
    if (!loader)
        jc_ClearException(env);
    return loader;
}

jclass jc_ClassLoader_loadClass(DrvConn *c, jobject loader, const char *name)
{
    JNIEnv *env = c ? static_cast<JNIEnv *>(c->env) : nullptr;
    if (!env || !name)
        return nullptr;
    if (!loader)
        return env->FindClass(name);
    std::string dotted = name;
    for (char &ch : dotted)
        if (ch == '/')
            ch = '.';
    jstring s = jc_NewString(env, dotted.c_str(), STRMODE_PLATFORM);
    if (!s)
        return nullptr;
    if (CheckException(env, c->stringMode, &c->errors) != 0) {
        env->DeleteLocalRef(s);
        return nullptr;
    }
    jobject cls = nullptr;
    jc_CallObjectMethod(env, loader, nullptr, "loadClass", "(Ljava/lang/String;)Ljava/lang/Class;",
                        &cls, s);
    env->DeleteLocalRef(s);
    return static_cast<jclass>(cls);
}

jobject jc_NewXAXidParts(JNIEnv *env, jclass xidClass, int32_t formatID, int32_t gtridLength,
                         int32_t bqualLength, const char *data)
{
    if (!env || !xidClass)
        return nullptr;
    const int32_t kMaxPart = 64;
    if (gtridLength < 0 || gtridLength > kMaxPart || bqualLength < 0 || bqualLength > kMaxPart ||
        !data) {
        jobject ex = jc_NewObject(env, "javax/transaction/xa/XAException", "(I)V",
                                  static_cast<jint>(-5));
        if (ex) {
            env->Throw(static_cast<jthrowable>(ex));
            env->DeleteLocalRef(ex);
        }
        return nullptr;
    }
    jmethodID ctor = env->GetMethodID(xidClass, "<init>", "(I[B[B)V");
    if (!ctor) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't find <init> in XAXID class");
        return nullptr;
    }
    JLocal<jbyteArray> gtrid(env, env->NewByteArray(gtridLength));
    if (!gtrid.get())
        return nullptr;
    JLocal<jbyteArray> bqual(env, env->NewByteArray(bqualLength));
    if (!bqual.get())
        return nullptr;
    env->SetByteArrayRegion(gtrid, 0, gtridLength, reinterpret_cast<const jbyte *>(data));
    env->SetByteArrayRegion(bqual, 0, bqualLength, reinterpret_cast<const jbyte *>(data + gtridLength));
    jobject xid = env->NewObject(xidClass, ctor, static_cast<jint>(formatID), gtrid.get(), bqual.get());
    if (env->ExceptionCheck()) {
        jc_DeleteLocal(env, xid);
        return nullptr;
    }
    return xid;
}

namespace {
// A new support object of the class (defined from its bytes when needed)
// over `size` bytes at `mem` and a charset name, the arguments of its
// constructor; NULL with the exception pending on any failure.
jobject newOverBuffer(JNIEnv *env, const char *name, const unsigned char *bytes, unsigned len, void *mem,
                      int64_t size, const char *charset)
{
    if (!env || !mem || !charset)
        return nullptr;
    JLocal<jclass> cls(env, defineSupportClass(env, name, bytes, len));
    if (!cls.get())
        return nullptr;
    jmethodID ctor = env->GetMethodID(cls, "<init>", "(Ljava/nio/ByteBuffer;Ljava/lang/String;)V");
    if (!ctor)
        return nullptr;
    JLocal<jobject> buf(env, env->NewDirectByteBuffer(mem, size));
    if (!buf.get())
        return nullptr;
    JLocal<jstring> charsetName(env, env->NewStringUTF(charset));
    if (!charsetName.get())
        return nullptr;
    jobject obj = env->NewObject(cls, ctor, buf.get(), charsetName.get());
    if (env->ExceptionCheck()) {
        jc_DeleteLocal(env, obj);
        return nullptr;
    }
    return obj;
}
} // namespace

jobject jc_NewRowBlockReader(JNIEnv *env, void *mem, int64_t size, const char *charset)
{
    return newOverBuffer(env, "kestrune/support/RowBlockReader", krs_class_RowBlockReader,
                         krs_class_RowBlockReader_len, mem, size, charset);
}

jobject jc_NewParamBatchFiller(JNIEnv *env, void *mem, int64_t size, const char *charset)
{
    return newOverBuffer(env, "kestrune/support/ParamBatchFiller", krs_class_ParamBatchFiller,
                         krs_class_ParamBatchFiller_len, mem, size, charset);
}

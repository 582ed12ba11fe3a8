// The JNI call layer: text between the driver's 8-bit strings and Java
// Strings in the two string modes, method calls by name and JNI signature,
// object creation, and CheckException, which turns a pending Java exception
// into an ErrChain entry and an error number.  Nothing caches a class or a
// method ID; every function works on the calling thread's own JNIEnv.
#pragma once
#include <jni.h>

#include <cstdint>

#include "odbc/contract/errnum.h"

struct ErrChain;

// How text crosses into Java: 0 the VM's default character set
// (String.getBytes / new String(byte[])), 1 UTF-8 (exchanged with the VM as
// UTF-16, so that characters beyond the BMP keep their 4-byte form).
enum StringMode : int32_t {
    STRMODE_PLATFORM = 0,
    STRMODE_UTF8 = 1,
};

// A temporary view of a Java String's bytes (see jc_GetStringText).
struct JStringText {
    jobject ref;        // mode 0: the byte array (local); mode 1: unused
    int32_t length;     // bytes
    const char *chars;  // mode 1: a NUL-terminated heap copy; NULL for a null String
    int32_t mode;
    jstring str;        // the String viewed in mode 1
};

// Fills the view; 0, or ERR_GENERAL when the bytes cannot be had.
int jc_GetStringText(JNIEnv *env, jstring s, JStringText *out, int mode);
void jc_ReleaseStringText(JNIEnv *env, JStringText *t);
// New heap copy of the String's text (free()), or NULL for a null String or a failure.
char *jc_DupString(JNIEnv *env, jstring s, int mode);
// Local reference to a new String, or NULL (NULL text, failure).
jstring jc_NewString(JNIEnv *env, const char *text, int mode);

// FindClass, "<init>" and NewObject; NULL when any fails (exception left pending).
jobject jc_NewObject(JNIEnv *env, const char *className, const char *sig, ...);

// The call family: 0, or ERR_GENERAL with the Java exception left pending.  `cls`
// names the class to look the method up on; NULL takes the object's class.
int jc_CallObjectMethod(JNIEnv *env, jobject obj, jclass cls, const char *name, const char *sig,
                        jobject *out, ...);
int jc_CallBooleanMethod(JNIEnv *env, jobject obj, jclass cls, const char *name, const char *sig,
                         uint8_t *out, ...);
int jc_CallByteMethod(JNIEnv *env, jobject obj, jclass cls, const char *name, const char *sig,
                      int8_t *out, ...);
int jc_CallCharMethod(JNIEnv *env, jobject obj, jclass cls, const char *name, const char *sig,
                      uint16_t *out, ...);
int jc_CallShortMethod(JNIEnv *env, jobject obj, jclass cls, const char *name, const char *sig,
                       int16_t *out, ...);
int jc_CallIntMethod(JNIEnv *env, jobject obj, jclass cls, const char *name, const char *sig,
                     int32_t *out, ...);
int jc_CallLongMethod(JNIEnv *env, jobject obj, jclass cls, const char *name, const char *sig,
                      int64_t *out, ...);
int jc_CallFloatMethod(JNIEnv *env, jobject obj, jclass cls, const char *name, const char *sig,
                       float *out, ...);
int jc_CallDoubleMethod(JNIEnv *env, jobject obj, jclass cls, const char *name, const char *sig,
                        double *out, ...);
int jc_CallVoidMethod(JNIEnv *env, jobject obj, jclass cls, const char *name, const char *sig, ...);
// Drops the method IDs the call family has kept, the classes jc_FindClass
// has kept and their references (the back end's last close); without an env
// the references are abandoned.
void jc_ForgetMethods(JNIEnv *env);
// FindClass, the platform's own classes (java/...) kept after the first
// look-up: a local reference, or NULL with the exception pending.
jclass jc_FindClass(JNIEnv *env, const char *name);
// GetMethodID of a constructor, kept in the call family's cache after the
// first look-up; NULL with the exception pending.
jmethodID jc_GetConstructor(JNIEnv *env, jclass cls, const char *sig);

// Logs and (with an env) raises a NullPointerException naming what was
// missing ("env", "obj", "class") in which method; always 15.
int jc_ReportNullPointer(JNIEnv *env, const char *what, const char *method);

// Takes a pending exception: 0 when none or a java.sql.SQLWarning (dropped);
// otherwise posts it on the chain and answers its ErrorTable number (ERR_GENERAL when
// its SQLSTATE has no row).  Never leaves an exception pending.
int CheckException(JNIEnv *env, int mode, ErrChain *chain);

// Removes one enclosing pair of braces in place (leading white space before
// '{' and trailing white space before '}' dropped); NULL stays NULL.
char *jc_StripBraces(char *text);

// Clears a pending exception; true when there was one.
bool jc_ClearException(JNIEnv *env);

// Deletes a local reference when it is set.
inline void jc_DeleteLocal(JNIEnv *env, jobject ref)
{
    if (env && ref)
        env->DeleteLocalRef(ref);
}

// Deletes a local reference when the holder goes out of scope.
template <class T>
class JLocal {
public:
    JLocal(JNIEnv *env, T ref = nullptr) : env_(env), ref_(ref) {}
    ~JLocal() { jc_DeleteLocal(env_, ref_); }
    JLocal(const JLocal &) = delete;
    JLocal &operator=(const JLocal &) = delete;
    T get() const { return ref_; }
    operator T() const { return ref_; }
    T *out() { return &ref_; }
    void reset(T ref = nullptr) { jc_DeleteLocal(env_, ref_); ref_ = ref; }
    // Hands the reference over; the holder forgets it.
    T release() { T r = ref_; ref_ = nullptr; return r; }
private:
    JNIEnv *env_;
    T ref_;
};

// A local reference frame for the life of the guard; a frame that cannot be
// pushed leaves no exception pending and ok() false.
class JniLocalFrame {
public:
    JniLocalFrame(JNIEnv *env, jint capacity);
    ~JniLocalFrame();
    JniLocalFrame(const JniLocalFrame &) = delete;
    JniLocalFrame &operator=(const JniLocalFrame &) = delete;
    bool ok() const { return pushed_; }
    // Pops the frame now (idempotent).
    void pop();
private:
    JNIEnv *env_;
    bool pushed_ = false;
};

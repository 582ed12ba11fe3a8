// ThreadEnv: what a back-end record holds in place of a JNIEnv.  A JNIEnv
// belongs to one thread, while a connection or statement record is reached
// from several (a diagnostic read or SQLCancel while another thread is inside
// a call on the connection).  So a record stores none: reading its `env`
// gives the calling thread's own, and no thread can hand its JNIEnv to another.
#pragma once
#include <jni.h>

// The calling thread's JNIEnv; NULL when the thread is not attached to the VM.
JNIEnv *jvmThreadEnv();

struct ThreadEnv {
    operator JNIEnv *() const { return jvmThreadEnv(); }
    JNIEnv *operator->() const { return jvmThreadEnv(); }
};

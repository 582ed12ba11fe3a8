// JGlobal: the owner of one JNI global reference.  Every Java object a
// back-end record keeps across calls (connection, metadata, statement, result
// set, class loader, cached classes) is held by one, so that the reference is
// deleted on every path that drops or replaces it and when its record goes.
#pragma once
#include <jni.h>

#include "drv_jdbc/j-threadenv.h"

template <class T = jobject>
class JGlobal {
public:
    JGlobal() = default;
    ~JGlobal() { Drop(); }
    JGlobal(const JGlobal &) = delete;
    JGlobal &operator=(const JGlobal &) = delete;
    JGlobal(JGlobal &&other) noexcept : ref_(other.ref_) { other.ref_ = nullptr; }
    JGlobal &operator=(JGlobal &&other) noexcept
    {
        if (this != &other) {
            Drop();
            ref_ = other.ref_;
            other.ref_ = nullptr;
        }
        return *this;
    }

    // Drops the reference held, then holds a new global reference to ref
    // (NULL holds none).  False when the VM refused one.
    bool Set(JNIEnv *env, T ref)
    {
        Drop(env);
        if (!ref || !env)
            return !ref;
        ref_ = static_cast<T>(env->NewGlobalRef(ref));
        return ref_ != nullptr;
    }
    // Deletes the reference held through env (the calling thread's by
    // default); a thread the VM does not know can only abandon it.
    void Drop(JNIEnv *env = jvmThreadEnv())
    {
        if (ref_ && env)
            env->DeleteGlobalRef(ref_);
        ref_ = nullptr;
    }

    T get() const { return ref_; }
    operator T() const { return ref_; }

private:
    T ref_ = nullptr;
};

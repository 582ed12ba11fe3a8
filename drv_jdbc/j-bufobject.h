// A Java support object that works on memory of the driver's (a direct
// ByteBuffer over it): the block reader of results and the filler of
// parameter batches, and the header fields both lay in that memory.
#pragma once
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-global.h"

#include <jni.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

struct JavaBufferObject {
    JGlobal<> object;
    uint8_t *mem = nullptr;  // `size` bytes, zeroed when made
    uint32_t size = 0;
    std::string charset;     // the code set the object's texts of bytes are in

    JavaBufferObject() = default;
    JavaBufferObject(const JavaBufferObject &) = delete;
    JavaBufferObject &operator=(const JavaBufferObject &) = delete;
    ~JavaBufferObject()
    {
        object.Drop();
        free(mem);
    }

    // Makes the memory and the object over it with `make` (a jc_New...
    // support-object maker); false, with no exception pending, when either
    // cannot be had.
    bool Open(JNIEnv *env, uint32_t bytes, const char *codeSet,
              jobject (*make)(JNIEnv *, void *, int64_t, const char *))
    {
        mem = static_cast<uint8_t *>(calloc(bytes, 1));
        size = bytes;
        charset = codeSet;
        jobject obj = mem ? make(env, mem, bytes, codeSet) : nullptr;
        const bool held = obj && object.Set(env, obj);
        jc_DeleteLocal(env, obj);
        if (!held)
            jc_ClearException(env);
        return held;
    }
};

// A header field of the memory at a byte offset.
template <class T>
void storeAt(uint8_t *base, uint32_t offset, T v)
{
    memcpy(base + offset, &v, sizeof v);
}

template <class T>
T loadAt(const uint8_t *base, uint32_t offset)
{
    T v;
    memcpy(&v, base + offset, sizeof v);
    return v;
}

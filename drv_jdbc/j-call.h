// The opening that every back-end operation on a connection or a statement
// shares: the record looked up by its handle, the calling thread attached
// (the record's env is that thread's JNIEnv), and a JNI local frame that the
// guard pops on every exit.
#pragma once
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-stmt.h"
#include "odbc/contract/errnum.h"

#include <jni.h>

#include <optional>

template <class Rec>
struct DrvRecord;

template <>
struct DrvRecord<DrvConn> {
    static DrvConn *of(int handle) { return drvConnOf(handle); }
    static bool enter(DrvConn *c) { return drvConnEnter(c); }
};

template <>
struct DrvRecord<DrvStmt> {
    static DrvStmt *of(int handle) { return drvStmtOf(handle); }
    static bool enter(DrvStmt *s) { return drvStmtEnter(s); }
};

// Holds one operation's record (DrvConn or DrvStmt) and, once pushed, its
// local frame.  The steps run apart where an operation checks its state
// between them; enter() runs both.
template <class Rec>
class DrvCall {
public:
    explicit DrvCall(int handle) : rec_(DrvRecord<Rec>::of(handle)) {}
    DrvCall(const DrvCall &) = delete;
    DrvCall &operator=(const DrvCall &) = delete;

    // The record, or NULL for an unknown handle.
    Rec *get() const { return rec_; }
    // 0; ERR_INVALID_ARGUMENT for an unknown handle, ERR_GENERAL when the VM refuses the thread.
    int attach() const
    {
        if (!rec_)
            return ERR_INVALID_ARGUMENT;
        return DrvRecord<Rec>::enter(rec_) ? 0 : ERR_GENERAL;
    }
    // Pushes the local frame on the calling thread's JNIEnv; 0, or
    // ERR_MEMORY_ALLOCATION when it cannot be pushed.
    int pushFrame(jint capacity = 64)
    {
        frame_.emplace(rec_->env, capacity);
        return frame_->ok() ? 0 : ERR_MEMORY_ALLOCATION;
    }
    // attach(), then pushFrame(): 0, ERR_INVALID_ARGUMENT, ERR_GENERAL or ERR_MEMORY_ALLOCATION.
    int enter(jint capacity = 64)
    {
        int rc = attach();
        return rc != 0 ? rc : pushFrame(capacity);
    }
    // Pops the frame now (before the thread is detached).
    void popFrame() { frame_.reset(); }

private:
    Rec *rec_;
    std::optional<JniLocalFrame> frame_;
};

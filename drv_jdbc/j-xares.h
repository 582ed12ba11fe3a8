// The XAResource bridge: the driver's XIDs become kestrune/support/XAXid
// objects for the connection's javax.transaction.xa.XAResource, one wrapper
// per XAResource method, and the Xids that recover answers come back as XIDs.
//
// Every wrapper answers an X/Open code.  A failure of the Java call leaves
// its text on the connection's chain and answers the error code of the
// XAException (XAER_NOTA, XA_RB* ... kept as they are), or XAER_RMERR when
// the exception is of another kind or carries no code.
#pragma once
#include <jni.h>

#include <cstdint>

struct DrvConn;
struct XID;

// A local reference to a new XAXid for the identifier; NULL for no
// identifier or on a failure (exception left pending; a part length outside
// 0..64 raises XAException(XAER_INVAL) before anything is copied).
jobject jc_NewXAXid(JNIEnv *env, jclass xidClass, const XID *xid);
// Copies a Java Xid into *out: 0, or ERR_GENERAL when the object is null or
// a getter or an array access fails.  *tooLong is set (and *out left as it
// is) when a part is longer than 64 bytes: such an Xid is no X/Open one.
int jc_ReadXid(JNIEnv *env, jobject xid, XID *out, bool *tooLong);

int jc_XAResource_start(DrvConn *c, const XID *xid, int32_t flags);
int jc_XAResource_end(DrvConn *c, const XID *xid, int32_t flags);
// The resource's vote (XA_OK or XA_RDONLY) or an error code.
int jc_XAResource_prepare(DrvConn *c, const XID *xid);
// The low 8 bits of onePhase are the Java boolean.
int jc_XAResource_commit(DrvConn *c, const XID *xid, int32_t onePhase);
int jc_XAResource_rollback(DrvConn *c, const XID *xid);
int jc_XAResource_forget(DrvConn *c, const XID *xid);
// Calls recover(flags) and keeps the identifiers it answers as the
// connection's recovery list (an empty answer leaves the list as it is).
// Identifiers with a part longer than 64 bytes belong to no X/Open monitor
// and are left out (logged).  XA_OK or an error code; a failure leaves the
// list untouched.
int jc_XAResource_recover(DrvConn *c, int32_t flags);
// Whether the resource holds xid among its prepared branches (a complete
// recovery scan, which leaves the connection's recovery list alone): 1 or
// 0, or the error code of a failed scan.
int jc_XAResource_isPrepared(DrvConn *c, const XID *xid);

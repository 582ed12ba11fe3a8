// The driver's Java support classes (kestrune/support/XAXid,
// kestrune/support/KRSClassLoader, kestrune/support/RowBlockReader,
// kestrune/support/ParamBatchFiller and kestrune/support/ClassArchiveTrainer),
// carried as class-file bytes and defined
// through the system class loader when the VM does not know them yet, and
// class loading through the driver's loader.
#pragma once
#include <jni.h>

#include <cstdint>

struct DrvConn;

// Class-file bytes generated at build time from drv_jdbc/java.
extern const unsigned char krs_class_XAXid[];
extern const unsigned krs_class_XAXid_len;
extern const unsigned char krs_class_KRSClassLoader[];
extern const unsigned krs_class_KRSClassLoader_len;
extern const unsigned char krs_class_RowBlockReader[];
extern const unsigned krs_class_RowBlockReader_len;
extern const unsigned char krs_class_ParamBatchFiller[];
extern const unsigned krs_class_ParamBatchFiller_len;
extern const unsigned char krs_class_ClassArchiveTrainer[];
extern const unsigned krs_class_ClassArchiveTrainer_len;

// Finds or defines ClassArchiveTrainer (the install step's class loading);
// a local reference, or NULL with the exception left pending.
jclass jc_DefineClassArchiveTrainer(JNIEnv *env);
// Finds or defines XAXid; a local reference in *out.  0, or ERR_GENERAL with the Java
// exception left pending.
int jc_DefineXAXidClass(JNIEnv *env, jclass *out);
// A new KRSClassLoader over the non-empty ';'-separated entries of the class
// path (each made a "file:" URL), as a local reference; NULL on any failure,
// with no exception pending.
jobject jc_NewClassLoader(JNIEnv *env, const char *classPath);
// Loads a class ('/' separators) through the loader (FindClass without one)
// on the connection's JNIEnv; NULL with the exception left pending.
jclass jc_ClassLoader_loadClass(DrvConn *c, jobject loader, const char *name);

// A new XAXid (local reference) for an X/Open identifier: format identifier,
// the two part lengths and the data bytes (global transaction identifier
// directly followed by the branch qualifier).  Each length must lie in 0..64
// and is checked before anything is copied; otherwise an XAException
// (XAER_INVAL) is raised, as the XAXid constructor does.  NULL with the
// exception pending on any failure.
jobject jc_NewXAXidParts(JNIEnv *env, jclass xidClass, int32_t formatID, int32_t gtridLength,
                         int32_t bqualLength, const char *data);

// A new RowBlockReader (local reference) over `size` bytes at `mem`, wrapped
// in a direct ByteBuffer; text it encodes goes into the named charset.  NULL
// with the exception pending on any failure.
jobject jc_NewRowBlockReader(JNIEnv *env, void *mem, int64_t size, const char *charset);
// A new ParamBatchFiller (local reference) over `size` bytes at `mem`,
// wrapped in a direct ByteBuffer; texts of bytes decode in the named
// charset.  NULL with the exception pending on any failure.
jobject jc_NewParamBatchFiller(JNIEnv *env, void *mem, int64_t size, const char *charset);

// Wrappers of java.sql.DatabaseMetaData that answer driver information: the
// getters by method name and the two capability questions, and
// Connection.isValid.  Each runs in the connection's context (JNIEnv, string
// mode, chain) and answers 0, ERR_GENERAL, or CheckException's number with the Java
// diagnostic on the connection's chain; out values are written on success only.
#pragma once
#include <jni.h>

#include <cstdint>

struct DrvConn;

// The named method "()Ljava/lang/String;": at most size - 1 bytes and a NUL
// (size at least 1); a null String is the empty text.  ERR_GENERAL (nothing posted)
// when the text cannot be read.
int jc_DatabaseMetaData_callString(DrvConn *c, jobject md, const char *method, char *buf,
                                   int32_t size);
// The named method "()Z" or "()I".
int jc_DatabaseMetaData_callBoolean(DrvConn *c, jobject md, const char *method, uint8_t *out);
int jc_DatabaseMetaData_callInt(DrvConn *c, jobject md, const char *method, int32_t *out);
// supportsConvert(from, to) and supportsTransactionIsolationLevel(level).
int jc_DatabaseMetaData_supportsConvert(DrvConn *c, jobject md, uint8_t *out, int32_t fromType,
                                        int32_t toType);
int jc_DatabaseMetaData_supportsTransactionIsolationLevel(DrvConn *c, jobject md, uint8_t *out,
                                                          int32_t level);

// java.sql.Connection.isValid(seconds).
int jc_Connection_isValid(DrvConn *c, jobject conn, int32_t seconds, uint8_t *out);

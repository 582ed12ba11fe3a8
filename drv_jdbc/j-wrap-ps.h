// Wrappers of java.sql.PreparedStatement (parameter setters, execute,
// getResultSet, getMetaData), of CallableStatement.registerOutParameter and
// of the ResultSet cursor methods.  Each takes the statement record and the
// Java object first and answers 0 or an ErrorTable number, the Java
// diagnostic standing on the record's chain.
#pragma once
#include <jni.h>

#include <cstdint>

struct DrvStmt;

// The ODBC timestamp layout the date/time setters and getters work on.
struct DrvTimestamp {
    int16_t year;
    uint16_t month;
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint32_t fraction;  // nanoseconds
};

// java.sql.Types codes the binder passes on.
enum : int32_t { JDBC_TYPES_OTHER = 1111 };

// Never fails: a failure is swallowed and nothing is posted.
int jc_PreparedStatement_clearParameters(DrvStmt *s, jobject ps);
int jc_PreparedStatement_execute(DrvStmt *s, jobject ps, uint8_t *isResultSet);
// *out: a local reference or NULL (no metadata: not a query).  On failure the
// diagnostic is posted and *unsupported tells whether the JDBC driver said
// the call is not supported.
int jc_PreparedStatement_getMetaData(DrvStmt *s, jobject ps, jobject *out, int *unsupported);
int jc_PreparedStatement_getResultSet(DrvStmt *s, jobject stmt, jobject *out);
int jc_PreparedStatement_setNull(DrvStmt *s, jobject ps, int32_t index, int32_t sqlType);
int jc_PreparedStatement_setObject(DrvStmt *s, jobject ps, int32_t index, jobject value, int32_t sqlType);
// Text setters: `length` bytes (not necessarily terminated; the Java text
// ends at the first zero byte) in string mode `mode`.  ERR_MEMORY_ALLOCATION
// no memory, ERR_GENERAL no String.
int jc_PreparedStatement_setString(DrvStmt *s, jobject ps, int32_t index, const char *text,
                                   int32_t length, int mode);
// The text with no declared type, so that the server infers it from the
// context (text compared with or stored into a non-text column).
int jc_PreparedStatement_setStringUntyped(DrvStmt *s, jobject ps, int32_t index, const char *text,
                                          int32_t length, int mode);
int jc_PreparedStatement_setBigDecimal(DrvStmt *s, jobject ps, int32_t index, const char *text,
                                       int32_t length, int mode);
// Long text through a java.io.Reader (every character kept), or setString
// once the JDBC driver has refused the stream on this connection.
int jc_PreparedStatement_setCharacterStream(DrvStmt *s, jobject ps, int32_t index, const char *text,
                                            int32_t length, int mode);
int jc_PreparedStatement_setBytes(DrvStmt *s, jobject ps, int32_t index, const void *data, int32_t length);
int jc_PreparedStatement_setBinaryStream(DrvStmt *s, jobject ps, int32_t index, const void *data,
                                         int32_t length);
int jc_PreparedStatement_setBoolean(DrvStmt *s, jobject ps, int32_t index, uint8_t value);
int jc_PreparedStatement_setByte(DrvStmt *s, jobject ps, int32_t index, int8_t value);
int jc_PreparedStatement_setShort(DrvStmt *s, jobject ps, int32_t index, int16_t value);
int jc_PreparedStatement_setInt(DrvStmt *s, jobject ps, int32_t index, int32_t value);
int jc_PreparedStatement_setLong(DrvStmt *s, jobject ps, int32_t index, int64_t value);
int jc_PreparedStatement_setFloat(DrvStmt *s, jobject ps, int32_t index, float value);
int jc_PreparedStatement_setDouble(DrvStmt *s, jobject ps, int32_t index, double value);
int jc_PreparedStatement_setDate(DrvStmt *s, jobject ps, int32_t index, const DrvTimestamp *v);
int jc_PreparedStatement_setTime(DrvStmt *s, jobject ps, int32_t index, const DrvTimestamp *v);
int jc_PreparedStatement_setTimestamp(DrvStmt *s, jobject ps, int32_t index, const DrvTimestamp *v);

// sqlType is a java.sql.Types code.
int jc_CallableStatement_registerOutParameter(DrvStmt *s, jobject cs, int32_t index, int32_t sqlType);

int jc_ResultSet_next(DrvStmt *s, jobject rs, uint8_t *moved);
int jc_ResultSet_close(DrvStmt *s, jobject rs);
int jc_ResultSet_getMetaData(DrvStmt *s, jobject rs, jobject *out);
// Copies the cursor name into buf of `size` bytes; ERR_DATA_TRUNCATED when it was cut.
int jc_ResultSet_getCursorName(DrvStmt *s, jobject rs, char *buf, uint16_t size, uint16_t *length);

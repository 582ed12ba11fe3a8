// Value getters of java.sql.ResultSet and java.sql.CallableStatement: each
// reads one column or output parameter (index from 1) straight into a
// RowBlock element.  Both families behave alike, except that the
// CallableStatement grown-buffer getters first free data the buffer holds.
// 0, or CheckException's number with the diagnostic on the record's chain.
#pragma once
#include <jni.h>

#include <cstdint>

struct DrvStmt;
struct LongDataBuf;

#define KRS_GETTER_FAMILY(Cls)                                                                     \
    int jc_##Cls##_getBoolean(DrvStmt *s, jobject o, int32_t i, uint8_t *out);                     \
    int jc_##Cls##_getByte(DrvStmt *s, jobject o, int32_t i, int8_t *out);                         \
    int jc_##Cls##_getShort(DrvStmt *s, jobject o, int32_t i, int16_t *out);                       \
    int jc_##Cls##_getInt(DrvStmt *s, jobject o, int32_t i, int32_t *out);                         \
    int jc_##Cls##_getFloat(DrvStmt *s, jobject o, int32_t i, float *out);                         \
    int jc_##Cls##_getDouble(DrvStmt *s, jobject o, int32_t i, double *out);                       \
    int jc_##Cls##_wasNull(DrvStmt *s, jobject o, uint8_t *out);                                   \
    /* Text in the platform character set, cut to size - 1 bytes and terminated. */               \
    int jc_##Cls##_getString(DrvStmt *s, jobject o, int32_t i, char *cell, int32_t *length,        \
                             int32_t size);                                                        \
    /* UTF-16 text, cut to size - 1 units (never inside a surrogate pair) and terminated. */      \
    int jc_##Cls##_getStringW(DrvStmt *s, jobject o, int32_t i, char16_t *cell, int32_t *length,   \
                              int32_t size);                                                       \
    int jc_##Cls##_getStringLong(DrvStmt *s, jobject o, int32_t i, LongDataBuf *buf);              \
    int jc_##Cls##_getStringLongW(DrvStmt *s, jobject o, int32_t i, LongDataBuf *buf);             \
    /* Bytes cut at size; the rest of the cell zero-filled. */                                     \
    int jc_##Cls##_getBytes(DrvStmt *s, jobject o, int32_t i, uint8_t *cell, int32_t *length,      \
                            int32_t size);                                                         \
    int jc_##Cls##_getBytesLong(DrvStmt *s, jobject o, int32_t i, LongDataBuf *buf);               \
    /* Years whole: astronomical (1 BC is 0), beyond the 16-bit ODBC field as they are. */         \
    int jc_##Cls##_getDate(DrvStmt *s, jobject o, int32_t i, int32_t *year, uint16_t *month,       \
                           uint16_t *day);                                                         \
    int jc_##Cls##_getTime(DrvStmt *s, jobject o, int32_t i, uint16_t *hour, uint16_t *minute,     \
                           uint16_t *second);                                                      \
    int jc_##Cls##_getTimestamp(DrvStmt *s, jobject o, int32_t i, int32_t *year, uint16_t *month,  \
                                uint16_t *day, uint16_t *hour, uint16_t *minute, uint16_t *second, \
                                uint32_t *fraction);

KRS_GETTER_FAMILY(ResultSet)
KRS_GETTER_FAMILY(CallableStatement)
#undef KRS_GETTER_FAMILY

int jc_CallableStatement_getLong(DrvStmt *s, jobject o, int32_t i, int64_t *out);

// Posts "Memory allocation failure" for a value that could not be stored; ERR_GENERAL.
int jc_MemoryFailure(DrvStmt *s);

// Wrappers of java.sql.PreparedStatement, CallableStatement.registerOutParameter
// and the ResultSet cursor methods.
#include "drv_jdbc/j-wrap-ps.h"

#include "drv_jdbc/j-wrapctx.h"
#include "util/log.h"

#include <cstdlib>
#include <cstring>

#define SRC "drv_jdbc/j-common"

namespace {
// A Java String of `length` bytes of text in the given mode; 0, ERR_MEMORY_ALLOCATION (no copy)
// or ERR_GENERAL (no String, the cause posted).
int makeString(const JCtx &x, const char *text, int32_t length, int mode, JLocal<jstring> &out)
{
    size_t n = length > 0 ? static_cast<size_t>(length) : 0;
    char *copy = static_cast<char *>(calloc(n + 1, 1));
    if (!copy)
        return ERR_MEMORY_ALLOCATION;
    if (n && text)
        memcpy(copy, text, n);
    int rc = jctxNewString(x, copy, mode, out);
    free(copy);
    return rc;
}

// Logs and posts a missing class or constructor; ERR_GENERAL.
int missing(const JCtx &x, const char *text)
{
    LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "%s", text);
    errPostMsg(x.chain, text, ERR_GENERAL);
    return ERR_GENERAL;
}

// A new object of a java.sql or java.math value class; 0 or ERR_GENERAL.
int newValue(const JCtx &x, const char *cls, const char *label, const char *sig, jobject *out, ...)
{
    *out = nullptr;
    JLocal<jclass> k(x.env, jc_FindClass(x.env, cls));
    char text[96];
    if (!k.get()) {
        jc_ClearException(x.env);
        snprintf(text, sizeof text, "Can't find %s class", label);
        return missing(x, text);
    }
    jmethodID ctor = jc_GetConstructor(x.env, k, sig);
    if (!ctor) {
        jc_ClearException(x.env);
        snprintf(text, sizeof text, "Can't find <init> class in %s class", label);
        return missing(x, text);
    }
    va_list ap;
    va_start(ap, out);
    jobject obj = x.env->NewObjectV(k, ctor, ap);
    va_end(ap);
    if (!obj || x.env->ExceptionCheck()) {
        jc_DeleteLocal(x.env, obj);
        CheckException(x.env, x.mode, x.chain);
        return ERR_GENERAL;
    }
    *out = obj;
    return 0;
}

// Calls a PreparedStatement setter taking the index and one value (an object
// or a JNI scalar); 0, or ERR_GENERAL with the cause posted.
template <typename V> int setWith(DrvStmt *s, jobject ps, const char *method, const char *sig, int32_t index, V value)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallVoidMethod(x.env, ps, nullptr, method, sig, static_cast<jint>(index), value));
}

int setTextAs(DrvStmt *s, jobject ps, int32_t index, const char *text, int32_t length, int mode,
              bool untyped)
{
    JCtx x = jctx(s);
    JLocal<jstring> str(x.env);
    if (int rc = makeString(x, text, length, mode, str))
        return rc;
    if (untyped)
        return jctxDone(x, jc_CallVoidMethod(x.env, ps, nullptr, "setObject", "(ILjava/lang/Object;I)V",
                                             static_cast<jint>(index), str.get(),
                                             static_cast<jint>(JDBC_TYPES_OTHER)));
    return setWith(s, ps, "setString", "(ILjava/lang/String;)V", index, str.get());
}

// A Java byte array holding the data; 0, ERR_MEMORY_ALLOCATION or ERR_GENERAL.
int makeBytes(const JCtx &x, const void *data, int32_t length, JLocal<jbyteArray> &out)
{
    jsize n = length > 0 ? length : 0;
    out.reset(x.env->NewByteArray(n));
    if (!out.get()) {
        jc_ClearException(x.env);
        return ERR_MEMORY_ALLOCATION;
    }
    if (n)
        x.env->SetByteArrayRegion(out, 0, n, static_cast<const jbyte *>(data));
    if (x.env->ExceptionCheck()) {
        CheckException(x.env, x.mode, x.chain);
        return ERR_GENERAL;
    }
    return 0;
}

int setDateTime(DrvStmt *s, jobject ps, int32_t index, const DrvTimestamp *v, int which)
{
    static const struct {
        const char *cls, *label, *ctor, *setter, *sig;
    } kinds[] = {
        {"java/sql/Date", "Date", "(III)V", "setDate", "(ILjava/sql/Date;)V"},
        {"java/sql/Time", "Time", "(III)V", "setTime", "(ILjava/sql/Time;)V"},
        {"java/sql/Timestamp", "Timestamp", "(IIIIIII)V", "setTimestamp", "(ILjava/sql/Timestamp;)V"},
    };
    JCtx x = jctx(s);
    const auto &k = kinds[which];
    jobject raw = nullptr;
    int rc;
    if (which == 0)
        rc = newValue(x, k.cls, k.label, k.ctor, &raw, jint(v->year) - 1900, jint(v->month) - 1, jint(v->day));
    else if (which == 1)
        rc = newValue(x, k.cls, k.label, k.ctor, &raw, jint(v->hour), jint(v->minute), jint(v->second));
    else
        rc = newValue(x, k.cls, k.label, k.ctor, &raw, jint(v->year) - 1900, jint(v->month) - 1,
                      jint(v->day), jint(v->hour), jint(v->minute), jint(v->second), jint(v->fraction));
    JLocal<jobject> value(x.env, raw);
    if (rc != 0)
        return rc;
    return setWith(s, ps, k.setter, k.sig, index, value.get());
}

// A java.io stream or reader over a value; NULL with the cause posted.
jobject makeStream(const JCtx &x, const char *cls, const char *sig, jobject source)
{
    jobject st = jc_NewObject(x.env, cls, sig, source);
    if (!st)
        CheckException(x.env, x.mode, x.chain);
    return st;
}
} // namespace

int jc_PreparedStatement_clearParameters(DrvStmt *s, jobject ps)
{
    JCtx x = jctx(s);
    if (jc_CallVoidMethod(x.env, ps, nullptr, "clearParameters", "()V") != 0)
        jc_ClearException(x.env);
    return 0;
}

int jc_PreparedStatement_execute(DrvStmt *s, jobject ps, uint8_t *isResultSet)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallBooleanMethod(x.env, ps, nullptr, "execute", "()Z", isResultSet));
}

int jc_PreparedStatement_getMetaData(DrvStmt *s, jobject ps, jobject *out, int *unsupported)
{
    JCtx x = jctx(s);
    *out = nullptr;
    *unsupported = 0;
    if (jc_CallObjectMethod(x.env, ps, nullptr, "getMetaData", "()Ljava/sql/ResultSetMetaData;", out) == 0)
        return 0;
    jthrowable thr = x.env->ExceptionOccurred();
    x.env->ExceptionClear();
    static const char *const kUnsupported[] = {"java/sql/SQLFeatureNotSupportedException",
                                               "java/lang/UnsupportedOperationException",
                                               "java/lang/AbstractMethodError"};
    for (const char *name : kUnsupported) {
        JLocal<jclass> k(x.env, x.env->FindClass(name));
        if (!k.get()) {
            jc_ClearException(x.env);
            continue;
        }
        if (thr && x.env->IsInstanceOf(thr, k))
            *unsupported = 1;
    }
    if (thr) {
        x.env->Throw(thr);
        x.env->DeleteLocalRef(thr);
    }
    int rc = CheckException(x.env, x.mode, x.chain);
    return rc ? rc : ERR_GENERAL;
}

int jc_PreparedStatement_getResultSet(DrvStmt *s, jobject stmt, jobject *out)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallObjectMethod(x.env, stmt, nullptr, "getResultSet", "()Ljava/sql/ResultSet;", out));
}

int jc_PreparedStatement_setNull(DrvStmt *s, jobject ps, int32_t index, int32_t sqlType)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallVoidMethod(x.env, ps, nullptr, "setNull", "(II)V", jint(index), jint(sqlType)));
}

int jc_PreparedStatement_setObject(DrvStmt *s, jobject ps, int32_t index, jobject value, int32_t sqlType)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallVoidMethod(x.env, ps, nullptr, "setObject", "(ILjava/lang/Object;I)V",
                                         jint(index), value, jint(sqlType)));
}

int jc_PreparedStatement_setString(DrvStmt *s, jobject ps, int32_t index, const char *text, int32_t length,
                                   int mode)
{
    return setTextAs(s, ps, index, text, length, mode, false);
}

int jc_PreparedStatement_setStringUntyped(DrvStmt *s, jobject ps, int32_t index, const char *text,
                                          int32_t length, int mode)
{
    return setTextAs(s, ps, index, text, length, mode, true);
}

int jc_PreparedStatement_setBigDecimal(DrvStmt *s, jobject ps, int32_t index, const char *text,
                                       int32_t length, int mode)
{
    JCtx x = jctx(s);
    JLocal<jstring> str(x.env);
    if (int rc = makeString(x, text, length, mode, str))
        return rc;
    jobject raw = nullptr;
    int rc = newValue(x, "java/math/BigDecimal", "BigDecimal", "(Ljava/lang/String;)V", &raw, str.get());
    JLocal<jobject> dec(x.env, raw);
    if (rc != 0)
        return rc;
    return setWith(s, ps, "setBigDecimal", "(ILjava/math/BigDecimal;)V", index, dec.get());
}

int jc_PreparedStatement_setCharacterStream(DrvStmt *s, jobject ps, int32_t index, const char *text,
                                            int32_t length, int mode)
{
    JCtx x = jctx(s);
    JLocal<jstring> str(x.env);
    if (int rc = makeString(x, text, length, mode, str))
        return rc;
    if (s->conn && s->conn->useAsciiStream) {
        jint units = x.env->GetStringLength(str);
        JLocal<jobject> reader(x.env, makeStream(x, "java/io/StringReader", "(Ljava/lang/String;)V", str.get()));
        if (!reader.get())
            return ERR_GENERAL;
        if (jc_CallVoidMethod(x.env, ps, nullptr, "setCharacterStream", "(ILjava/io/Reader;I)V", jint(index),
                              reader.get(), units) == 0)
            return 0;
        s->conn->useAsciiStream = 0;
        jc_ClearException(x.env);
    }
    return setWith(s, ps, "setString", "(ILjava/lang/String;)V", index, str.get());
}

int jc_PreparedStatement_setBytes(DrvStmt *s, jobject ps, int32_t index, const void *data, int32_t length)
{
    JCtx x = jctx(s);
    JLocal<jbyteArray> arr(x.env);
    if (int rc = makeBytes(x, data, length, arr))
        return rc;
    return setWith(s, ps, "setBytes", "(I[B)V", index, arr.get());
}

int jc_PreparedStatement_setBinaryStream(DrvStmt *s, jobject ps, int32_t index, const void *data,
                                         int32_t length)
{
    JCtx x = jctx(s);
    JLocal<jbyteArray> arr(x.env);
    if (int rc = makeBytes(x, data, length, arr))
        return rc;
    if (s->conn && s->conn->useBinaryStream) {
        JLocal<jobject> in(x.env, makeStream(x, "java/io/ByteArrayInputStream", "([B)V", arr.get()));
        if (!in.get())
            return ERR_GENERAL;
        if (jc_CallVoidMethod(x.env, ps, nullptr, "setBinaryStream", "(ILjava/io/InputStream;I)V", jint(index),
                              in.get(), jint(length > 0 ? length : 0)) == 0)
            return 0;
        s->conn->useBinaryStream = 0;
        jc_ClearException(x.env);
    }
    return setWith(s, ps, "setBytes", "(I[B)V", index, arr.get());
}

int jc_PreparedStatement_setBoolean(DrvStmt *s, jobject ps, int32_t index, uint8_t value)
{
    return setWith(s, ps, "setBoolean", "(IZ)V", index, static_cast<jboolean>(value ? JNI_TRUE : JNI_FALSE));
}

int jc_PreparedStatement_setByte(DrvStmt *s, jobject ps, int32_t index, int8_t value)
{
    return setWith(s, ps, "setByte", "(IB)V", index, jbyte(value));
}

int jc_PreparedStatement_setShort(DrvStmt *s, jobject ps, int32_t index, int16_t value)
{
    return setWith(s, ps, "setShort", "(IS)V", index, jshort(value));
}

int jc_PreparedStatement_setInt(DrvStmt *s, jobject ps, int32_t index, int32_t value)
{
    return setWith(s, ps, "setInt", "(II)V", index, jint(value));
}

int jc_PreparedStatement_setLong(DrvStmt *s, jobject ps, int32_t index, int64_t value)
{
    return setWith(s, ps, "setLong", "(IJ)V", index, jlong(value));
}

int jc_PreparedStatement_setFloat(DrvStmt *s, jobject ps, int32_t index, float value)
{
    return setWith(s, ps, "setFloat", "(IF)V", index, static_cast<jdouble>(value));
}

int jc_PreparedStatement_setDouble(DrvStmt *s, jobject ps, int32_t index, double value)
{
    return setWith(s, ps, "setDouble", "(ID)V", index, jdouble(value));
}

int jc_PreparedStatement_setDate(DrvStmt *s, jobject ps, int32_t index, const DrvTimestamp *v)
{
    return setDateTime(s, ps, index, v, 0);
}

int jc_PreparedStatement_setTime(DrvStmt *s, jobject ps, int32_t index, const DrvTimestamp *v)
{
    return setDateTime(s, ps, index, v, 1);
}

int jc_PreparedStatement_setTimestamp(DrvStmt *s, jobject ps, int32_t index, const DrvTimestamp *v)
{
    return setDateTime(s, ps, index, v, 2);
}

int jc_CallableStatement_registerOutParameter(DrvStmt *s, jobject cs, int32_t index, int32_t sqlType)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallVoidMethod(x.env, cs, nullptr, "registerOutParameter", "(II)V", jint(index),
                                         jint(sqlType)));
}

int jc_ResultSet_next(DrvStmt *s, jobject rs, uint8_t *moved)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallBooleanMethod(x.env, rs, nullptr, "next", "()Z", moved));
}

int jc_ResultSet_close(DrvStmt *s, jobject rs)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallVoidMethod(x.env, rs, nullptr, "close", "()V"));
}

int jc_ResultSet_getMetaData(DrvStmt *s, jobject rs, jobject *out)
{
    JCtx x = jctx(s);
    return jctxDone(x, jc_CallObjectMethod(x.env, rs, nullptr, "getMetaData",
                                           "()Ljava/sql/ResultSetMetaData;", out));
}

int jc_ResultSet_getCursorName(DrvStmt *s, jobject rs, char *buf, uint16_t size, uint16_t *length)
{
    JCtx x = jctx(s);
    JLocal<jobject> str(x.env);
    if (jc_CallObjectMethod(x.env, rs, nullptr, "getCursorName", "()Ljava/lang/String;", str.out()) != 0)
        return CheckException(x.env, x.mode, x.chain);
    char *copy = str.get() ? jc_DupString(x.env, static_cast<jstring>(str.get()), x.mode) : strdup("");
    jc_ClearException(x.env);
    const char *name = copy ? copy : "";
    size_t n = strlen(name);
    int rc = copy ? 0 : ERR_DATA_TRUNCATED;
    if (size == 0) {
        rc = n ? ERR_DATA_TRUNCATED : rc;
    } else if (n < size) {
        memcpy(buf, name, n + 1);
        if (length)
            *length = static_cast<uint16_t>(n);
    } else {
        memcpy(buf, name, size - 1u);
        buf[size - 1] = '\0';
        if (length)
            *length = static_cast<uint16_t>(size - 1);
        rc = ERR_DATA_TRUNCATED;
    }
    free(copy);
    return rc;
}

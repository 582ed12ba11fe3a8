// Value getters of ResultSet and CallableStatement.
#include "drv_jdbc/j-getters.h"

#include "drv_jdbc/j-cells.h"
#include "drv_jdbc/j-wrapctx.h"
#include "odbc/contract/rowblock.h"
#include "util/codepage.h"
#include "util/log.h"

#include <cstdlib>
#include <cstring>

#define SRC "drv_jdbc/j-common"

namespace {
int memoryFailure(const JCtx &x)
{
    errPostMsg(x.chain, "Memory allocation failure", ERR_GENERAL);
    LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Memory allocation failure");
    return ERR_GENERAL;
}
} // namespace

int jc_MemoryFailure(DrvStmt *s) { return memoryFailure(jctx(s)); }

namespace {
void releaseHeld(LongDataBuf *buf)
{
    if (buf->data) {
        free(buf->data);
        buf->data = nullptr;
        buf->length = 0;
    }
}

// The value object of a getter; 0 with *out (NULL for SQL NULL) or the error.
int callGetter(const JCtx &x, jobject o, const char *name, const char *sig, int32_t i, jobject *out)
{
    return jctxDone(x, jc_CallObjectMethod(x.env, o, nullptr, name, sig, out, jint(i)));
}

// Calls the getter of a long value into v; a SQL NULL leaves v empty and
// buf's length 0.  0 or the call's error.
int longValue(const JCtx &x, jobject o, const char *name, const char *sig, int32_t i, LongDataBuf *buf,
              JLocal<jobject> &v)
{
    if (int rc = callGetter(x, o, name, sig, i, v.out()))
        return rc;
    if (!v.get())
        buf->length = 0;
    return 0;
}

int getString(DrvStmt *s, jobject o, int32_t i, char *cell, int32_t *length, int32_t size)
{
    JCtx x = jctx(s);
    JLocal<jobject> str(x.env);
    if (int rc = callGetter(x, o, "getString", "(I)Ljava/lang/String;", i, str.out()))
        return rc;
    if (!str.get()) {
        *length = cellPutText(cell, size, nullptr, 0);
        return 0;
    }
    JStringText view;
    if (jc_GetStringText(x.env, static_cast<jstring>(str.get()), &view, STRMODE_PLATFORM) != 0) {
        jc_ClearException(x.env);
        return ERR_GENERAL;
    }
    *length = cellPutText(cell, size, view.chars, static_cast<size_t>(view.length));
    jc_ReleaseStringText(x.env, &view);
    return 0;
}

int getStringW(DrvStmt *s, jobject o, int32_t i, char16_t *cell, int32_t *length, int32_t size)
{
    JCtx x = jctx(s);
    JLocal<jobject> str(x.env);
    if (int rc = callGetter(x, o, "getString", "(I)Ljava/lang/String;", i, str.out()))
        return rc;
    jsize room = size > 0 ? size - 1 : 0;
    if (!str.get()) {
        *length = cellPutWide(cell, size, nullptr, 0);
        return 0;
    }
    jstring js = static_cast<jstring>(str.get());
    jsize n = x.env->GetStringLength(js);
    if (n > room) {
        n = room;
        if (n > 0) {
            jchar last = 0;
            x.env->GetStringRegion(js, n - 1, 1, &last);
            if (last >= 0xD800 && last <= 0xDBFF)
                --n;
        }
    }
    x.env->GetStringRegion(js, 0, n, reinterpret_cast<jchar *>(cell));
    if (x.env->ExceptionCheck())
        return CheckException(x.env, x.mode, x.chain);
    cell[n] = 0;
    *length = n;
    return 0;
}

int getStringLong(DrvStmt *s, jobject o, int32_t i, LongDataBuf *buf, bool callable)
{
    JCtx x = jctx(s);
    JLocal<jobject> str(x.env);
    if (int rc = longValue(x, o, "getString", "(I)Ljava/lang/String;", i, buf, str); rc || !str.get())
        return rc;
    JStringText view;
    if (jc_GetStringText(x.env, static_cast<jstring>(str.get()), &view, STRMODE_PLATFORM) != 0) {
        jc_ClearException(x.env);
        return memoryFailure(x);
    }
    if (callable)
        releaseHeld(buf);
    char *data = static_cast<char *>(calloc(static_cast<size_t>(view.length) + 1, 1));
    if (!data) {
        jc_ReleaseStringText(x.env, &view);
        return memoryFailure(x);
    }
    memcpy(data, view.chars, static_cast<size_t>(view.length));
    buf->data = data;
    buf->length = static_cast<uint32_t>(view.length);
    jc_ReleaseStringText(x.env, &view);
    return 0;
}

int getStringLongW(DrvStmt *s, jobject o, int32_t i, LongDataBuf *buf, bool callable)
{
    JCtx x = jctx(s);
    JLocal<jobject> str(x.env);
    if (int rc = longValue(x, o, "getString", "(I)Ljava/lang/String;", i, buf, str); rc || !str.get())
        return rc;
    if (callable)
        releaseHeld(buf);
    jstring js = static_cast<jstring>(str.get());
    jsize n = x.env->GetStringLength(js);
    char *data = static_cast<char *>(calloc(static_cast<size_t>(n) + 1, sizeof(char16_t)));
    if (!data)
        return memoryFailure(x);
    x.env->GetStringRegion(js, 0, n, reinterpret_cast<jchar *>(data));
    if (x.env->ExceptionCheck()) {
        free(data);
        return CheckException(x.env, x.mode, x.chain);
    }
    buf->data = data;
    buf->length = static_cast<uint32_t>(n);
    return 0;
}

int getBytes(DrvStmt *s, jobject o, int32_t i, uint8_t *cell, int32_t *length, int32_t size)
{
    JCtx x = jctx(s);
    JLocal<jobject> arr(x.env);
    if (int rc = callGetter(x, o, "getBytes", "(I)[B", i, arr.out()))
        return rc;
    jsize n = 0;
    if (arr.get()) {
        n = x.env->GetArrayLength(static_cast<jbyteArray>(arr.get()));
        if (n > size)
            n = size;
        x.env->GetByteArrayRegion(static_cast<jbyteArray>(arr.get()), 0, n, reinterpret_cast<jbyte *>(cell));
        if (x.env->ExceptionCheck())
            return CheckException(x.env, x.mode, x.chain);
    }
    *length = n;
    if (size > n)
        memset(cell + n, 0, static_cast<size_t>(size - n));
    return 0;
}

int getBytesLong(DrvStmt *s, jobject o, int32_t i, LongDataBuf *buf, bool callable)
{
    JCtx x = jctx(s);
    JLocal<jobject> arr(x.env);
    if (int rc = longValue(x, o, "getBytes", "(I)[B", i, buf, arr); rc || !arr.get())
        return rc;
    jsize n = x.env->GetArrayLength(static_cast<jbyteArray>(arr.get()));
    if (callable)
        releaseHeld(buf);
    char *data = static_cast<char *>(calloc(n ? static_cast<size_t>(n) : 1, 1));
    if (!data)
        return memoryFailure(x);
    x.env->GetByteArrayRegion(static_cast<jbyteArray>(arr.get()), 0, n, reinterpret_cast<jbyte *>(data));
    if (x.env->ExceptionCheck()) {
        free(data);
        buf->data = nullptr;
        return CheckException(x.env, x.mode, x.chain);
    }
    buf->data = data;
    buf->length = static_cast<uint32_t>(n);
    return 0;
}

// Reads the int fields of a java.util.Date value in order; each result is
// stored (with its offset) before the next call.
struct DateField {
    const char *method;
    int offset;
};

// Turns the year of era that getYear gives into an astronomical year for a
// value before 1 January of year 1 (1 BC is year 0, 44 BC is -43).  Java's
// calendar is Julian there; only values within two days of that instant
// need the local time zone, through Date.before.
int astronomicalYear(JCtx &x, jobject v, jclass cls, int32_t *year)
{
    constexpr int64_t kYearOne = -62135769600000LL;  // 0001-01-01 00:00 UTC
    constexpr int64_t kTwoDays = 2 * 86400000LL;
    int64_t ms = 0;
    if (jc_CallLongMethod(x.env, v, cls, "getTime", "()J", &ms) != 0)
        return CheckException(x.env, x.mode, x.chain);
    bool bc = ms < kYearOne - kTwoDays;
    if (!bc && ms < kYearOne + kTwoDays) {
        JLocal<jobject> first(x.env, jc_NewObject(x.env, "java/util/Date", "(III)V", jint(-1899), jint(0), jint(1)));
        if (!first.get())
            return CheckException(x.env, x.mode, x.chain);
        uint8_t before = 0;
        if (jc_CallBooleanMethod(x.env, v, cls, "before", "(Ljava/util/Date;)Z", &before, first.get()) != 0)
            return CheckException(x.env, x.mode, x.chain);
        bc = before != 0;
    }
    if (bc)
        *year = 1 - *year;
    return 0;
}

int dateFields(DrvStmt *s, jobject o, int32_t i, const char *getter, const char *sig, const DateField *fields,
               int count, int32_t *values)
{
    JCtx x = jctx(s);
    JLocal<jobject> v(x.env);
    if (int rc = callGetter(x, o, getter, sig, i, v.out()))
        return rc;
    if (!v.get()) {
        for (int k = 0; k < count; ++k)
            values[k] = 0;
        return 0;
    }
    JLocal<jclass> cls(x.env, x.env->GetObjectClass(v));
    for (int k = 0; k < count; ++k) {
        int32_t r = 0;
        if (jc_CallIntMethod(x.env, v, cls, fields[k].method, "()I", &r) != 0)
            return CheckException(x.env, x.mode, x.chain);
        values[k] = r + fields[k].offset;
    }
    if (std::strcmp(fields[0].method, "getYear") == 0)
        return astronomicalYear(x, v, cls, &values[0]);
    return 0;
}

constexpr DateField kDate[] = {{"getYear", 1900}, {"getMonth", 1}, {"getDate", 0}};
constexpr DateField kTime[] = {{"getHours", 0}, {"getMinutes", 0}, {"getSeconds", 0}};
constexpr DateField kStamp[] = {{"getYear", 1900}, {"getMonth", 1},   {"getDate", 0},  {"getHours", 0},
                                {"getMinutes", 0}, {"getSeconds", 0}, {"getNanos", 0}};

int getDate(DrvStmt *s, jobject o, int32_t i, int32_t *y, uint16_t *m, uint16_t *d)
{
    int32_t v[3];
    int rc = dateFields(s, o, i, "getDate", "(I)Ljava/sql/Date;", kDate, 3, v);
    if (rc == 0) {
        *y = v[0];
        *m = static_cast<uint16_t>(v[1]);
        *d = static_cast<uint16_t>(v[2]);
    }
    return rc;
}

int getTime(DrvStmt *s, jobject o, int32_t i, uint16_t *h, uint16_t *mi, uint16_t *se)
{
    int32_t v[3];
    int rc = dateFields(s, o, i, "getTime", "(I)Ljava/sql/Time;", kTime, 3, v);
    if (rc == 0) {
        *h = static_cast<uint16_t>(v[0]);
        *mi = static_cast<uint16_t>(v[1]);
        *se = static_cast<uint16_t>(v[2]);
    }
    return rc;
}

int getTimestamp(DrvStmt *s, jobject o, int32_t i, int32_t *y, uint16_t *m, uint16_t *d, uint16_t *h,
                 uint16_t *mi, uint16_t *se, uint32_t *f)
{
    int32_t v[7];
    int rc = dateFields(s, o, i, "getTimestamp", "(I)Ljava/sql/Timestamp;", kStamp, 7, v);
    if (rc == 0) {
        *y = v[0];
        *m = static_cast<uint16_t>(v[1]);
        *d = static_cast<uint16_t>(v[2]);
        *h = static_cast<uint16_t>(v[3]);
        *mi = static_cast<uint16_t>(v[4]);
        *se = static_cast<uint16_t>(v[5]);
        *f = static_cast<uint32_t>(v[6]);
    }
    return rc;
}

#define SCALAR(Name, Sig, T)                                                                       \
    int Name(DrvStmt *s, jobject o, int32_t i, T *out) { return jctxScalar(jctx(s), o, #Name, Sig, out, jint(i)); }
SCALAR(getBoolean, "(I)Z", uint8_t)
SCALAR(getByte, "(I)B", int8_t)
SCALAR(getShort, "(I)S", int16_t)
SCALAR(getInt, "(I)I", int32_t)
SCALAR(getLong, "(I)J", int64_t)
SCALAR(getFloat, "(I)F", float)
SCALAR(getDouble, "(I)D", double)
#undef SCALAR

int wasNull(DrvStmt *s, jobject o, uint8_t *out) { return jctxScalar(jctx(s), o, "wasNull", "()Z", out); }
} // namespace

#define KRS_GETTER_DEFS(Cls, Callable)                                                               \
    int jc_##Cls##_getBoolean(DrvStmt *s, jobject o, int32_t i, uint8_t *out) { return getBoolean(s, o, i, out); } \
    int jc_##Cls##_getByte(DrvStmt *s, jobject o, int32_t i, int8_t *out) { return getByte(s, o, i, out); } \
    int jc_##Cls##_getShort(DrvStmt *s, jobject o, int32_t i, int16_t *out) { return getShort(s, o, i, out); } \
    int jc_##Cls##_getInt(DrvStmt *s, jobject o, int32_t i, int32_t *out) { return getInt(s, o, i, out); } \
    int jc_##Cls##_getFloat(DrvStmt *s, jobject o, int32_t i, float *out) { return getFloat(s, o, i, out); } \
    int jc_##Cls##_getDouble(DrvStmt *s, jobject o, int32_t i, double *out) { return getDouble(s, o, i, out); } \
    int jc_##Cls##_wasNull(DrvStmt *s, jobject o, uint8_t *out) { return wasNull(s, o, out); }     \
    int jc_##Cls##_getString(DrvStmt *s, jobject o, int32_t i, char *c, int32_t *l, int32_t n)     \
    {                                                                                                \
        return getString(s, o, i, c, l, n);                                                          \
    }                                                                                                \
    int jc_##Cls##_getStringW(DrvStmt *s, jobject o, int32_t i, char16_t *c, int32_t *l, int32_t n) \
    {                                                                                                \
        return getStringW(s, o, i, c, l, n);                                                         \
    }                                                                                                \
    int jc_##Cls##_getStringLong(DrvStmt *s, jobject o, int32_t i, LongDataBuf *b)                 \
    {                                                                                                \
        return getStringLong(s, o, i, b, Callable);                                                  \
    }                                                                                                \
    int jc_##Cls##_getStringLongW(DrvStmt *s, jobject o, int32_t i, LongDataBuf *b)                \
    {                                                                                                \
        return getStringLongW(s, o, i, b, Callable);                                                 \
    }                                                                                                \
    int jc_##Cls##_getBytes(DrvStmt *s, jobject o, int32_t i, uint8_t *c, int32_t *l, int32_t n)   \
    {                                                                                                \
        return getBytes(s, o, i, c, l, n);                                                           \
    }                                                                                                \
    int jc_##Cls##_getBytesLong(DrvStmt *s, jobject o, int32_t i, LongDataBuf *b)                  \
    {                                                                                                \
        return getBytesLong(s, o, i, b, Callable);                                                   \
    }                                                                                                \
    int jc_##Cls##_getDate(DrvStmt *s, jobject o, int32_t i, int32_t *y, uint16_t *m, uint16_t *d) \
    {                                                                                                \
        return getDate(s, o, i, y, m, d);                                                            \
    }                                                                                                \
    int jc_##Cls##_getTime(DrvStmt *s, jobject o, int32_t i, uint16_t *h, uint16_t *m, uint16_t *c) \
    {                                                                                                \
        return getTime(s, o, i, h, m, c);                                                            \
    }                                                                                                \
    int jc_##Cls##_getTimestamp(DrvStmt *s, jobject o, int32_t i, int32_t *y, uint16_t *m, uint16_t *d, \
                                uint16_t *h, uint16_t *mi, uint16_t *se, uint32_t *f)                \
    {                                                                                                \
        return getTimestamp(s, o, i, y, m, d, h, mi, se, f);                                         \
    }

KRS_GETTER_DEFS(ResultSet, false)
KRS_GETTER_DEFS(CallableStatement, true)
#undef KRS_GETTER_DEFS

int jc_CallableStatement_getLong(DrvStmt *s, jobject o, int32_t i, int64_t *out) { return getLong(s, o, i, out); }

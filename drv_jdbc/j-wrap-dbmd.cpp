// DatabaseMetaData getters by name, the capability questions and
// Connection.isValid.
#include "drv_jdbc/j-wrap-dbmd.h"

#include <cstring>

#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-wrapctx.h"

int jc_DatabaseMetaData_callString(DrvConn *c, jobject md, const char *method, char *buf,
                                   int32_t size)
{
    JCtx x = jctx(c);
    JLocal<jobject> value(x.env);
    if (jc_CallObjectMethod(x.env, md, nullptr, method, "()Ljava/lang/String;", value.out()) != 0)
        return CheckException(x.env, x.mode, x.chain);
    if (!buf || size < 1)
        return 0;
    if (!value.get()) {
        std::memset(buf, 0, static_cast<size_t>(size > 1 ? size - 1 : 1));
        return 0;
    }
    JStringText view;
    if (jc_GetStringText(x.env, static_cast<jstring>(value.get()), &view, x.mode) != 0) {
        jc_ClearException(x.env);
        return ERR_GENERAL;
    }
    int32_t n = view.length < size - 1 ? view.length : size - 1;
    if (n > 0 && view.chars)
        std::memcpy(buf, view.chars, static_cast<size_t>(n));
    buf[n < 0 ? 0 : n] = '\0';
    jc_ReleaseStringText(x.env, &view);
    return 0;
}

int jc_DatabaseMetaData_callBoolean(DrvConn *c, jobject md, const char *method, uint8_t *out)
{
    return jctxScalar(jctx(c), md, method, "()Z", out);
}

int jc_DatabaseMetaData_callInt(DrvConn *c, jobject md, const char *method, int32_t *out)
{
    return jctxScalar(jctx(c), md, method, "()I", out);
}

int jc_DatabaseMetaData_supportsConvert(DrvConn *c, jobject md, uint8_t *out, int32_t fromType,
                                        int32_t toType)
{
    return jctxScalar(jctx(c), md, "supportsConvert", "(II)Z", out, static_cast<jint>(fromType),
                      static_cast<jint>(toType));
}

int jc_DatabaseMetaData_supportsTransactionIsolationLevel(DrvConn *c, jobject md, uint8_t *out,
                                                          int32_t level)
{
    return jctxScalar(jctx(c), md, "supportsTransactionIsolationLevel", "(I)Z", out,
                      static_cast<jint>(level));
}

int jc_Connection_isValid(DrvConn *c, jobject conn, int32_t seconds, uint8_t *out)
{
    return jctxScalar(jctx(c), conn, "isValid", "(I)Z", out, static_cast<jint>(seconds));
}

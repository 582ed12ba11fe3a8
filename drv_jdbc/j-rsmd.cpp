// Wrappers of java.sql.ResultSetMetaData.
#include "drv_jdbc/j-wrap.h"

#include "drv_jdbc/j-wrapctx.h"

#include <cstdlib>
#include <cstring>

namespace {
int intOf(DrvStmt *s, jobject md, const char *method, int32_t col, int32_t *out)
{
    JCtx x = jctx(s);
    int32_t v = 0;
    int rc = jctxDone(x, jc_CallIntMethod(x.env, md, nullptr, method, "(I)I", &v, static_cast<jint>(col)));
    if (rc == 0)
        *out = v;
    return rc;
}

int boolOf(DrvStmt *s, jobject md, const char *method, int32_t col, uint8_t *out)
{
    JCtx x = jctx(s);
    uint8_t v = 0;
    int rc = jctxDone(x, jc_CallBooleanMethod(x.env, md, nullptr, method, "(I)Z", &v, static_cast<jint>(col)));
    if (rc == 0)
        *out = v;
    return rc;
}

// The String answer of a column method as a new heap text ("" for null).
int textOf(DrvStmt *s, jobject md, const char *method, int32_t col, char **out)
{
    JCtx x = jctx(s);
    JLocal<jobject> str(x.env);
    int rc = jc_CallObjectMethod(x.env, md, nullptr, method, "(I)Ljava/lang/String;", str.out(),
                                 static_cast<jint>(col));
    if (rc != 0)
        return CheckException(x.env, x.mode, x.chain);
    *out = str.get() ? jc_DupString(x.env, static_cast<jstring>(str.get()), x.mode) : strdup("");
    jc_ClearException(x.env);
    return 0;
}
} // namespace

int jc_ResultSetMetaData_getColumnCount(DrvStmt *s, jobject md, int32_t *out)
{
    JCtx x = jctx(s);
    int32_t v = 0;
    int rc = jctxDone(x, jc_CallIntMethod(x.env, md, nullptr, "getColumnCount", "()I", &v));
    if (rc == 0)
        *out = v;
    return rc;
}

int jc_ResultSetMetaData_getColumnDisplaySize(DrvStmt *s, jobject md, int32_t col, int32_t *out)
{
    return intOf(s, md, "getColumnDisplaySize", col, out);
}

int jc_ResultSetMetaData_getColumnType(DrvStmt *s, jobject md, int32_t col, int32_t *out)
{
    return intOf(s, md, "getColumnType", col, out);
}

int jc_ResultSetMetaData_getPrecision(DrvStmt *s, jobject md, int32_t col, int32_t *out)
{
    return intOf(s, md, "getPrecision", col, out);
}

int jc_ResultSetMetaData_getScale(DrvStmt *s, jobject md, int32_t col, int32_t *out)
{
    return intOf(s, md, "getScale", col, out);
}

int jc_ResultSetMetaData_isNullable(DrvStmt *s, jobject md, int32_t col, int32_t *out)
{
    return intOf(s, md, "isNullable", col, out);
}

int jc_ResultSetMetaData_isCaseSensitive(DrvStmt *s, jobject md, int32_t col, uint8_t *out)
{
    return boolOf(s, md, "isCaseSensitive", col, out);
}

int jc_ResultSetMetaData_isAutoIncrement(DrvStmt *s, jobject md, int32_t col, uint8_t *out)
{
    return boolOf(s, md, "isAutoIncrement", col, out);
}

int jc_ResultSetMetaData_isSearchable(DrvStmt *s, jobject md, int32_t col, uint8_t *out)
{
    return boolOf(s, md, "isSearchable", col, out);
}

int jc_ResultSetMetaData_isReadOnly(DrvStmt *s, jobject md, int32_t col, uint8_t *out)
{
    return boolOf(s, md, "isReadOnly", col, out);
}

int jc_ResultSetMetaData_isWritable(DrvStmt *s, jobject md, int32_t col, uint8_t *out)
{
    return boolOf(s, md, "isWritable", col, out);
}

int jc_ResultSetMetaData_getColumnLabel(DrvStmt *s, jobject md, int32_t col, char **out)
{
    return textOf(s, md, "getColumnLabel", col, out);
}

int jc_ResultSetMetaData_getColumnName(DrvStmt *s, jobject md, int32_t col, char **out)
{
    return textOf(s, md, "getColumnName", col, out);
}

int jc_ResultSetMetaData_getColumnTypeName(DrvStmt *s, jobject md, int32_t col, char **out)
{
    return textOf(s, md, "getColumnTypeName", col, out);
}

int jc_ResultSetMetaData_getColumnLabelFixed(DrvStmt *s, jobject md, int32_t col,
                                             char field[RSMD_LABEL_FIELD + 1])
{
    JCtx x = jctx(s);
    JLocal<jobject> str(x.env);
    int rc = jc_CallObjectMethod(x.env, md, nullptr, "getColumnLabel", "(I)Ljava/lang/String;",
                                 str.out(), static_cast<jint>(col));
    if (rc != 0)
        return CheckException(x.env, x.mode, x.chain);
    memset(field, 0, RSMD_LABEL_FIELD + 1);
    if (!str.get())
        return 0;
    char *text = jc_DupString(x.env, static_cast<jstring>(str.get()), x.mode);
    if (!text) {
        jc_ClearException(x.env);
        return 15;
    }
    strncpy(field, text, RSMD_LABEL_FIELD);
    free(text);
    return 0;
}

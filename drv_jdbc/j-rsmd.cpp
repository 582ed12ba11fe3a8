// Wrappers of java.sql.ResultSetMetaData.
#include "drv_jdbc/j-wrap.h"

#include "drv_jdbc/j-wrapctx.h"

#include <cstdlib>
#include <cstring>

namespace {
// The answer of a column method: a number, a flag, or its String as a new
// heap text ("" for null; NULL, still 0, when it cannot be copied).
int columnAnswer(DrvStmt *s, jobject md, const char *method, int32_t col, int32_t *out)
{
    return jctxScalar(jctx(s), md, method, "(I)I", out, static_cast<jint>(col));
}

int columnAnswer(DrvStmt *s, jobject md, const char *method, int32_t col, uint8_t *out)
{
    return jctxScalar(jctx(s), md, method, "(I)Z", out, static_cast<jint>(col));
}

int columnAnswer(DrvStmt *s, jobject md, const char *method, int32_t col, char **out)
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
    return jctxScalar(jctx(s), md, "getColumnCount", "()I", out);
}

// One wrapper per column method: its answer type and the Java method's name.
#define RSMD_COLUMN(T, Name)                                                                       \
    int jc_ResultSetMetaData_##Name(DrvStmt *s, jobject md, int32_t col, T *out)                   \
    {                                                                                              \
        return columnAnswer(s, md, #Name, col, out);                                               \
    }
RSMD_COLUMN(int32_t, getColumnDisplaySize)
RSMD_COLUMN(int32_t, getColumnType)
RSMD_COLUMN(int32_t, getPrecision)
RSMD_COLUMN(int32_t, getScale)
RSMD_COLUMN(int32_t, isNullable)
RSMD_COLUMN(uint8_t, isCaseSensitive)
RSMD_COLUMN(uint8_t, isAutoIncrement)
RSMD_COLUMN(uint8_t, isSearchable)
RSMD_COLUMN(uint8_t, isReadOnly)
RSMD_COLUMN(uint8_t, isWritable)
RSMD_COLUMN(char *, getColumnLabel)
RSMD_COLUMN(char *, getColumnName)
RSMD_COLUMN(char *, getColumnTypeName)
#undef RSMD_COLUMN

int jc_ResultSetMetaData_getColumnLabelFixed(DrvStmt *s, jobject md, int32_t col,
                                             char field[RSMD_LABEL_FIELD + 1])
{
    char *text = nullptr;
    if (int rc = columnAnswer(s, md, "getColumnLabel", col, &text))
        return rc;
    memset(field, 0, RSMD_LABEL_FIELD + 1);
    if (!text)
        return ERR_GENERAL;
    strncpy(field, text, RSMD_LABEL_FIELD);
    free(text);
    return 0;
}

// DatabaseMetaData catalog methods and the table-type list as a String array.
#include "drv_jdbc/j-wrap-catalog.h"

#include <cstring>

#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrapctx.h"
#include "util/log.h"

namespace {

constexpr const char kSrcCommon[] = "drv_jdbc/j-common";

// How a text argument becomes a Java value.
enum ArgRule : uint8_t {
    NE,  // null if empty
    NN,  // null if NULL
    EN,  // empty if NULL
};

struct TextArg {
    const char *text;
    ArgRule rule;
};

constexpr int kMaxTexts = 6;

// The Java values of a wrapper's text arguments, released when it goes.
class JavaTexts {
public:
    explicit JavaTexts(JNIEnv *env) : env_(env) {}
    ~JavaTexts()
    {
        for (jstring s : values_)
            jc_DeleteLocal(env_, s);
    }
    JavaTexts(const JavaTexts &) = delete;
    JavaTexts &operator=(const JavaTexts &) = delete;
    jstring operator[](int i) const { return values_[i]; }
    jstring *slot(int i) { return &values_[i]; }

private:
    JNIEnv *env_;
    jstring values_[kMaxTexts] = {};
};

bool isNullValue(const TextArg &a)
{
    switch (a.rule) {
    case NE: return !a.text || !*a.text;
    case NN: return !a.text;
    case EN: return false;
    }
    return false;
}

// Makes the Java value of every argument in order; ERR_GENERAL when a String cannot be
// made or leaves an exception pending (posted on the statement's chain).
int makeTexts(DrvStmt *s, const TextArg *args, int n, JavaTexts &out)
{
    JCtx x = jctx(s);
    for (int i = 0; i < n; ++i) {
        if (isNullValue(args[i]))
            continue;
        jstring v = jc_NewString(x.env, args[i].text ? args[i].text : "", x.mode);
        *out.slot(i) = v;
        if (!v) {
            CheckException(x.env, x.mode, x.chain);
            return ERR_GENERAL;
        }
        if (CheckException(x.env, x.mode, x.chain) != 0)
            return ERR_GENERAL;
    }
    return 0;
}

// Calls a method answering a ResultSet; the reference is the caller's.
template <class... A>
int callResultSet(DrvStmt *s, jobject md, const char *method, const char *sig, jobject *out, A... args)
{
    JCtx x = jctx(s);
    jobject rs = nullptr;
    int rc = jctxDone(x, jc_CallObjectMethod(x.env, md, nullptr, method, sig, &rs, args...));
    if (rc == 0 && out)
        *out = rs;
    else
        jc_DeleteLocal(x.env, rs);
    return rc;
}

#define JSTR "Ljava/lang/String;"
constexpr const char kSig3[] = "(" JSTR JSTR JSTR ")Ljava/sql/ResultSet;";
constexpr const char kSig4[] = "(" JSTR JSTR JSTR JSTR ")Ljava/sql/ResultSet;";
constexpr const char kSigNone[] = "()Ljava/sql/ResultSet;";

// The methods of one table whose texts are catalog NE, schema NE, table EN,
// with any further arguments after them.
template <class... A>
int callOnTable(DrvStmt *s, jobject md, const char *method, const char *sig, const char *catalog,
                const char *schema, const char *table, jobject *out, A... extra)
{
    const TextArg a[] = {{catalog, NE}, {schema, NE}, {table, EN}};
    JavaTexts t(s->env);
    if (int rc = makeTexts(s, a, 3, t))
        return rc;
    return callResultSet(s, md, method, sig, out, t[0], t[1], t[2], extra...);
}

// The methods taking four texts, each made by its rule.
int callOnFourTexts(DrvStmt *s, jobject md, const char *method, const TextArg (&a)[4], jobject *out)
{
    JavaTexts t(s->env);
    if (int rc = makeTexts(s, a, 4, t))
        return rc;
    return callResultSet(s, md, method, kSig4, out, t[0], t[1], t[2], t[3]);
}

// Cuts one quote character (either kind) from each end of an item.
char *unquoteItem(char *item)
{
    if (*item == '\'' || *item == '"')
        ++item;
    size_t n = strlen(item);
    if (n > 0 && (item[n - 1] == '\'' || item[n - 1] == '"'))
        item[n - 1] = '\0';
    return item;
}

} // namespace

int jc_TableTypeArray(DrvStmt *s, char *list, jobjectArray *out)
{
    *out = nullptr;
    JCtx x = jctx(s);
    int32_t items = 0;
    if (list && *list) {
        items = 1;
        for (const char *p = list; *p; ++p)
            items += *p == ',';
    }
    JLocal<jclass> cls(x.env, x.env->FindClass("java/lang/String"));
    if (!cls.get()) {
        jc_ClearException(x.env);
        LOG_Printf(LOG_LEVEL_ERROR, kSrcCommon, __LINE__, "Can't find java.lang.String");
        return ERR_GENERAL;
    }
    if (items == 0)
        return 0;
    JLocal<jobjectArray> array(x.env, x.env->NewObjectArray(items, cls.get(), nullptr));
    if (!array.get() || CheckException(x.env, x.mode, x.chain) != 0) {
        jc_ClearException(x.env);
        LOG_Printf(LOG_LEVEL_ERROR, kSrcCommon, __LINE__, "Can't create Array of java.lang.String");
        return ERR_GENERAL;
    }
    char *item = list;
    for (int32_t i = 0; i < items; ++i) {
        char *comma = strchr(item, ',');
        if (comma)
            *comma = '\0';
        JLocal<jstring> value(x.env, jc_NewString(x.env, unquoteItem(item), x.mode));
        if (!value.get()) {
            CheckException(x.env, x.mode, x.chain);
            return ERR_GENERAL;
        }
        if (CheckException(x.env, x.mode, x.chain) != 0)
            return ERR_GENERAL;
        x.env->SetObjectArrayElement(array.get(), i, value.get());
        if (int rc = CheckException(x.env, x.mode, x.chain))
            return rc;
        item = comma ? comma + 1 : item + strlen(item);
    }
    *out = array.release();
    return 0;
}

int jc_DatabaseMetaData_getTables(DrvStmt *s, jobject md, const char *catalog, const char *schema,
                                  const char *table, char *types, jobject *out)
{
    const TextArg a[] = {{catalog, NE}, {schema, NN}, {table, NN}};
    JavaTexts t(s->env);
    if (int rc = makeTexts(s, a, 3, t))
        return rc;
    char empty[1] = {'\0'};
    jobjectArray array = nullptr;
    if (int rc = jc_TableTypeArray(s, types ? types : empty, &array))
        return rc;
    JLocal<jobjectArray> held(s->env, array);
    return callResultSet(s, md, "getTables", "(" JSTR JSTR JSTR "[" JSTR ")Ljava/sql/ResultSet;", out, t[0],
                         t[1], t[2], held.get());
}

int jc_DatabaseMetaData_getColumns(DrvStmt *s, jobject md, const char *catalog, const char *schema,
                                   const char *table, const char *column, jobject *out)
{
    return callOnFourTexts(s, md, "getColumns", {{catalog, NE}, {schema, EN}, {table, EN}, {column, EN}}, out);
}

int jc_DatabaseMetaData_getProcedureColumns(DrvStmt *s, jobject md, const char *catalog,
                                            const char *schema, const char *procedure,
                                            const char *column, jobject *out)
{
    return callOnFourTexts(s, md, "getProcedureColumns",
                           {{catalog, NE}, {schema, NE}, {procedure, EN}, {column, EN}}, out);
}

int jc_DatabaseMetaData_getProcedures(DrvStmt *s, jobject md, const char *catalog, const char *schema,
                                      const char *procedure, jobject *out)
{
    return callOnTable(s, md, "getProcedures", kSig3, catalog, schema, procedure, out);
}

int jc_DatabaseMetaData_getTablePrivileges(DrvStmt *s, jobject md, const char *catalog,
                                           const char *schema, const char *table, jobject *out)
{
    return callOnTable(s, md, "getTablePrivileges", kSig3, catalog, schema, table, out);
}

int jc_DatabaseMetaData_getColumnPrivileges(DrvStmt *s, jobject md, const char *catalog,
                                            const char *schema, const char *table, const char *column,
                                            jobject *out)
{
    return callOnFourTexts(s, md, "getColumnPrivileges", {{catalog, NE}, {schema, NE}, {table, NE}, {column, EN}},
                           out);
}

int jc_DatabaseMetaData_getIndexInfo(DrvStmt *s, jobject md, const char *catalog, const char *schema,
                                     const char *table, uint8_t unique, uint8_t approximate, jobject *out)
{
    return callOnTable(s, md, "getIndexInfo", "(" JSTR JSTR JSTR "ZZ)Ljava/sql/ResultSet;", catalog, schema, table,
                       out, static_cast<jboolean>(unique), static_cast<jboolean>(approximate));
}

int jc_DatabaseMetaData_getPrimaryKeys(DrvStmt *s, jobject md, const char *catalog, const char *schema,
                                       const char *table, jobject *out)
{
    return callOnTable(s, md, "getPrimaryKeys", kSig3, catalog, schema, table, out);
}

int jc_DatabaseMetaData_getVersionColumns(DrvStmt *s, jobject md, const char *catalog,
                                          const char *schema, const char *table, jobject *out)
{
    return callOnTable(s, md, "getVersionColumns", kSig3, catalog, schema, table, out);
}

int jc_DatabaseMetaData_getBestRowIdentifier(DrvStmt *s, jobject md, const char *catalog,
                                             const char *schema, const char *table, int32_t scope,
                                             uint8_t nullable, jobject *out)
{
    return callOnTable(s, md, "getBestRowIdentifier", "(" JSTR JSTR JSTR "IZ)Ljava/sql/ResultSet;", catalog, schema,
                       table, out, static_cast<jint>(scope), static_cast<jboolean>(nullable));
}

int jc_DatabaseMetaData_getImportedKeys(DrvStmt *s, jobject md, const char *catalog, const char *schema,
                                        const char *table, jobject *out)
{
    return callOnTable(s, md, "getImportedKeys", kSig3, catalog, schema, table, out);
}

int jc_DatabaseMetaData_getExportedKeys(DrvStmt *s, jobject md, const char *catalog, const char *schema,
                                        const char *table, jobject *out)
{
    return callOnTable(s, md, "getExportedKeys", kSig3, catalog, schema, table, out);
}

int jc_DatabaseMetaData_getCrossReference(DrvStmt *s, jobject md, const char *pkCatalog,
                                          const char *pkSchema, const char *pkTable, const char *fkCatalog,
                                          const char *fkSchema, const char *fkTable, jobject *out)
{
    const TextArg a[] = {{pkCatalog, NE}, {pkSchema, NE}, {pkTable, EN},
                         {fkCatalog, NE}, {fkSchema, NE}, {fkTable, EN}};
    JavaTexts t(s->env);
    if (int rc = makeTexts(s, a, 6, t))
        return rc;
    return callResultSet(s, md, "getCrossReference", "(" JSTR JSTR JSTR JSTR JSTR JSTR ")Ljava/sql/ResultSet;",
                         out, t[0], t[1], t[2], t[3], t[4], t[5]);
}

int jc_DatabaseMetaData_getCatalogs(DrvStmt *s, jobject md, jobject *out)
{
    return callResultSet(s, md, "getCatalogs", kSigNone, out);
}

int jc_DatabaseMetaData_getSchemas(DrvStmt *s, jobject md, jobject *out)
{
    return callResultSet(s, md, "getSchemas", kSigNone, out);
}

int jc_DatabaseMetaData_getTableTypes(DrvStmt *s, jobject md, jobject *out)
{
    return callResultSet(s, md, "getTableTypes", kSigNone, out);
}

int jc_DatabaseMetaData_getTypeInfo(DrvStmt *s, jobject md, jobject *out)
{
    return callResultSet(s, md, "getTypeInfo", kSigNone, out);
}

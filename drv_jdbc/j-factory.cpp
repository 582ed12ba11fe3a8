// JDBC connection factory: Driver and data-source connections, property
// lists and reflective setters.
#include "drv_jdbc/j-factory.h"

#include "drv_jdbc/j-classes.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "util/log.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define SRC "drv_jdbc/j-common"

namespace {
const char kGetConnectionSig[] = "(Ljava/lang/String;Ljava/lang/String;)Ljava/sql/Connection;";

char *dupRange(const char *p, size_t n)
{
    char *s = static_cast<char *>(malloc(n + 1));
    if (s) {
        memcpy(s, p, n);
        s[n] = '\0';
    }
    return s;
}

// Decimal value of a setter text: leading white space and a sign allowed,
// reading stops at the first non-digit; no digits give 0.
jint intValue(const char *v)
{
    if (!v)
        return 0;
    while (isspace(static_cast<unsigned char>(*v)))
        ++v;
    bool neg = false;
    if (*v == '+' || *v == '-')
        neg = *v++ == '-';
    int64_t n = 0;
    while (isdigit(static_cast<unsigned char>(*v)) && n <= INT32_MAX)
        n = n * 10 + (*v++ - '0');
    if (n > INT32_MAX)
        n = neg ? static_cast<int64_t>(INT32_MAX) + 1 : INT32_MAX;
    return static_cast<jint>(neg ? -n : n);
}

jboolean boolValue(const char *v)
{
    return v && (*v == '1' || *v == 'T' || *v == 't' || *v == 'Y') ? JNI_TRUE : JNI_FALSE;
}

// Loads a class through the connection's loader; NULL after posting the
// loading failure (if any) on the chain.
jclass loadReported(DrvConn *c, const char *name)
{
    jclass cls = jc_ClassLoader_loadClass(c, c->classLoader, name);
    if (CheckException(c->env, c->stringMode, &c->errors) != 0) {
        jc_DeleteLocal(c->env, cls);
        return nullptr;
    }
    return cls;
}

// A Java String of an optional text in the connection's mode; false when it
// cannot be made (the cause posted on the chain).
bool optString(DrvConn *c, const char *text, JLocal<jstring> &out)
{
    if (!text)
        return true;
    out.reset(jc_NewString(c->env, text, c->stringMode));
    if (!out.get() || CheckException(c->env, c->stringMode, &c->errors) != 0) {
        jc_ClearException(c->env);
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Memory allocation failure");
        return false;
    }
    return true;
}

// Creates an object of cls with its no-argument constructor into out; 0, or
// ERR_GENERAL with the Java exception posted and noCtor or noObject logged.
int newReported(DrvConn *c, jclass cls, const char *noCtor, const char *noObject, JLocal<jobject> &out)
{
    JNIEnv *env = c->env;
    jmethodID ctor = env->GetMethodID(cls, "<init>", "()V");
    if (!ctor) {
        CheckException(env, c->stringMode, &c->errors);
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "%s", noCtor);
        return ERR_GENERAL;
    }
    out.reset(env->NewObject(cls, ctor));
    if (!out.get() || env->ExceptionCheck()) {
        CheckException(env, c->stringMode, &c->errors);
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "%s", noObject);
        return ERR_GENERAL;
    }
    return 0;
}

// Creates the data source of a class, applies the properties: steps shared by
// the plain and the XA data-source connections.
int newDataSource(DrvConn *c, const char *dsClass, const char *props, JLocal<jclass> &cls,
                  JLocal<jobject> &ds)
{
    JNIEnv *env = c->env;
    PropertySlot *list = jc_ParsePropertyList(props);
    if (!list) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Memory allocation failure");
        errPostMsg(&c->errors, "Memory allocation failure", ERR_MEMORY_ALLOCATION);
        return ERR_MEMORY_ALLOCATION;
    }
    int rc = 0;
    cls.reset(loadReported(c, dsClass));
    if (!cls.get()) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't find JDBC DataSource = %s", dsClass);
        rc = ERR_DRIVER_LOAD_FAILED;
    } else if (jmethodID ctor = env->GetMethodID(cls, "<init>", "()V"); !ctor) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't find <init> class in DataSource");
        CheckException(env, c->stringMode, &c->errors);
        rc = ERR_GENERAL;
    } else {
        ds.reset(env->NewObject(cls, ctor));
        if (!ds.get() || env->ExceptionCheck()) {
            LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't create DataSource class");
            CheckException(env, c->stringMode, &c->errors);
            rc = ERR_GENERAL;
        } else {
            rc = jc_DataSource_setProperties(c, cls, ds, list);
        }
    }
    jc_FreePropertyList(list);
    return rc;
}
} // namespace

PropertySlot *jc_ParsePropertyList(const char *text)
{
    PropertySlot *list = static_cast<PropertySlot *>(calloc(PROP_MAX_ITEMS + 1, sizeof(PropertySlot)));
    if (!list || !text)
        return list;
    int n = 0;
    int depth = 0;
    const char *item = text;
    const char *p = text;
    auto addItem = [&](const char *end) {
        const char *eq = static_cast<const char *>(memchr(item, '=', static_cast<size_t>(end - item)));
        list[n].name = dupRange(item, static_cast<size_t>((eq ? eq : end) - item));
        list[n].value = eq ? dupRange(eq + 1, static_cast<size_t>(end - eq - 1)) : nullptr;
        bool ok = list[n].name && (!eq || list[n].value);
        ++n;
        return ok;
    };
    for (; *p && n < PROP_MAX_ITEMS; ++p) {
        if (*p == '{') {
            ++depth;
        } else if (*p == '}') {
            --depth;
        } else if (*p == ';' && depth == 0) {
            if (!addItem(p)) {
                jc_FreePropertyList(list);
                return nullptr;
            }
            item = p + 1;
        }
    }
    if (n < PROP_MAX_ITEMS && *item && !addItem(item + strlen(item))) {
        jc_FreePropertyList(list);
        return nullptr;
    }
    return list;
}

void jc_FreePropertyList(PropertySlot *list)
{
    if (!list)
        return;
    for (int i = 0; i < PROP_MAX_ITEMS; ++i) {
        free(list[i].name);
        free(list[i].value);
    }
    free(list);
}

void jc_SetterName(const char *property, char *out, size_t size)
{
    snprintf(out, size, "set%.200s", property ? property : "");
    if (out[0] && out[1] && out[2] && out[3])
        out[3] = static_cast<char>(toupper(static_cast<unsigned char>(out[3])));
}

int jc_DataSource_setProperties(DrvConn *c, jclass dsClass, jobject ds, const PropertySlot *list)
{
    JNIEnv *env = c->env;
    for (int i = 0; i < PROP_MAX_ITEMS && list[i].name; ++i) {
        const char *value = list[i].value;
        char setter[PROP_MAX_NAME + 8];
        jc_SetterName(list[i].name, setter, sizeof setter);

        jmethodID mid = env->GetMethodID(dsClass, setter, "(Ljava/lang/String;)V");
        if (mid) {
            JLocal<jstring> s(env, jc_NewString(env, value ? value : "", c->stringMode));
            if (!s.get() || CheckException(env, c->stringMode, &c->errors) != 0) {
                jc_ClearException(env);
                LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Memory allocation failure");
                return ERR_MEMORY_ALLOCATION;
            }
            env->CallVoidMethod(ds, mid, s.get());
        } else {
            env->ExceptionClear();
            if ((mid = env->GetMethodID(dsClass, setter, "(I)V")) != nullptr) {
                env->CallVoidMethod(ds, mid, intValue(value));
            } else {
                env->ExceptionClear();
                if ((mid = env->GetMethodID(dsClass, setter, "(Z)V")) != nullptr) {
                    env->CallVoidMethod(ds, mid, boolValue(value));
                } else {
                    env->ExceptionClear();
                    if ((mid = env->GetMethodID(dsClass, setter, "()V")) != nullptr) {
                        env->CallVoidMethod(ds, mid);
                    } else {
                        env->ExceptionClear();
                        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__,
                                   "Can't find method[%s] in DataSource", setter);
                        char text[PROP_MAX_NAME + 64];
                        snprintf(text, sizeof text, "Can't find method[%s] in DataSource", setter);
                        errPostMsg(&c->errors, text, ERR_GENERAL);
                        return ERR_GENERAL;
                    }
                }
            }
        }
        if (env->ExceptionCheck()) {
            CheckException(env, c->stringMode, &c->errors);
            LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't call method [%s] on DataSource ...",
                       setter);
            return ERR_GENERAL;
        }
    }
    return 0;
}

int jc_Driver_connect(DrvConn *c, jobject *outConn, const char *driverClass, const char *url,
                      const char *user, const char *password)
{
    JNIEnv *env = c->env;
    *outConn = nullptr;
    std::string clsName = driverClass ? driverClass : "";
    std::string urlText = url ? url : "";
    const char *name = jc_StripBraces(&clsName[0]);
    const char *u = jc_StripBraces(&urlText[0]);

    JLocal<jclass> propsClass(env, env->FindClass("java/util/Properties"));
    if (!propsClass.get() || CheckException(env, c->stringMode, &c->errors) != 0) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't find java.util.Properties");
        return ERR_DRIVER_LOAD_FAILED;
    }
    JLocal<jobject> props(env);
    if (int rc = newReported(c, propsClass, "Can't find <init> in Properties class",
                             "Can't create Properties object", props))
        return rc;
    const char *keys[2] = {"user", "password"};
    const char *vals[2] = {user, password};
    for (int i = 0; i < 2; ++i) {
        if (!vals[i])
            continue;
        JLocal<jstring> key(env), val(env);
        if (!optString(c, keys[i], key) || !optString(c, vals[i], val))
            return ERR_MEMORY_ALLOCATION;
        JLocal<jobject> previous(env);
        if (jc_CallObjectMethod(env, props, nullptr, "setProperty",
                                "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/Object;",
                                previous.out(), key.get(), val.get()) != 0) {
            CheckException(env, c->stringMode, &c->errors);
            return ERR_GENERAL;
        }
    }
    JLocal<jclass> drvClass(env, loadReported(c, name));
    if (!drvClass.get()) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't find JDBC Driver = %s", name);
        return ERR_DRIVER_LOAD_FAILED;
    }
    JLocal<jobject> driver(env);
    if (int rc = newReported(c, drvClass, "Can't find <init> class in JDBC Driver", "Can't create Driver class",
                             driver))
        return rc;
    JLocal<jstring> urlString(env);
    if (!optString(c, u, urlString))
        return ERR_MEMORY_ALLOCATION;
    JLocal<jobject> conn(env);
    if (jc_CallObjectMethod(env, driver, nullptr, "connect",
                            "(Ljava/lang/String;Ljava/util/Properties;)Ljava/sql/Connection;",
                            conn.out(), urlString.get(), props.get()) != 0) {
        CheckException(env, c->stringMode, &c->errors);
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't connect to DBMS...");
        return ERR_UNABLE_TO_CONNECT;
    }
    if (!conn.get()) {
        errPostMsg(&c->errors, "The JDBC driver does not accept the URL", ERR_UNABLE_TO_CONNECT);
        return ERR_UNABLE_TO_CONNECT;
    }
    *outConn = conn.release();
    return 0;
}

// The user and password as Java texts and a data source of the named class
// with its properties set: what both data-source connects start with.
static int openDataSource(DrvConn *c, const char *dsClass, const char *props, const char *user,
                          const char *password, JLocal<jstring> &u, JLocal<jstring> &p,
                          JLocal<jclass> &cls, JLocal<jobject> &ds)
{
    if (!optString(c, user, u) || !optString(c, password, p))
        return ERR_MEMORY_ALLOCATION;
    return newDataSource(c, dsClass, props, cls, ds);
}

int jc_DataSource_getConnection(DrvConn *c, jobject *outConn, const char *dsClass,
                                const char *props, const char *user, const char *password,
                                jobject *outDataSource)
{
    JNIEnv *env = c->env;
    *outConn = nullptr;
    if (outDataSource)
        *outDataSource = nullptr;
    JLocal<jstring> u(env), p(env);
    JLocal<jclass> cls(env);
    JLocal<jobject> ds(env);
    if (int rc = openDataSource(c, dsClass, props, user, password, u, p, cls, ds))
        return rc;
    JLocal<jobject> conn(env);
    if (jc_CallObjectMethod(env, ds, cls, "getConnection", kGetConnectionSig, conn.out(), u.get(),
                            p.get()) != 0) {
        CheckException(env, c->stringMode, &c->errors);
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't connect to DBMS...");
        return ERR_UNABLE_TO_CONNECT;
    }
    if (!conn.get()) {
        errPostMsg(&c->errors, "The data source gave no connection", ERR_UNABLE_TO_CONNECT);
        return ERR_UNABLE_TO_CONNECT;
    }
    *outConn = conn.release();
    if (outDataSource)
        *outDataSource = ds.release();
    return 0;
}

int jc_DataSource_getXAConnection(DrvConn *c, jobject *outConn, const char *dsClass,
                                  const char *props, const char *user, const char *password,
                                  jobject *outXaConn, jobject *outXaResource)
{
    JNIEnv *env = c->env;
    *outConn = nullptr;
    *outXaConn = nullptr;
    *outXaResource = nullptr;
    JLocal<jstring> u(env), p(env);
    JLocal<jclass> cls(env);
    JLocal<jobject> ds(env);
    if (int rc = openDataSource(c, dsClass, props, user, password, u, p, cls, ds))
        return rc;
    JLocal<jobject> xaConn(env);
    if (jc_CallObjectMethod(env, ds, nullptr, "getXAConnection",
                            "(Ljava/lang/String;Ljava/lang/String;)Ljavax/sql/XAConnection;",
                            xaConn.out(), u.get(), p.get()) != 0 ||
        !xaConn.get()) {
        CheckException(env, c->stringMode, &c->errors);
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't connect to DBMS...");
        return ERR_UNABLE_TO_CONNECT;
    }
    JLocal<jobject> conn(env), res(env);
    if (jc_CallObjectMethod(env, xaConn, nullptr, "getConnection", "()Ljava/sql/Connection;",
                            conn.out()) != 0 ||
        jc_CallObjectMethod(env, xaConn, nullptr, "getXAResource",
                            "()Ljavax/transaction/xa/XAResource;", res.out()) != 0) {
        CheckException(env, c->stringMode, &c->errors);
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't get connection ...");
        if (conn.get())
            jc_CallVoidMethod(env, conn, nullptr, "close", "()V");
        jc_CallVoidMethod(env, xaConn, nullptr, "close", "()V");
        jc_ClearException(env);
        return ERR_UNABLE_TO_CONNECT;
    }
    *outXaConn = xaConn.release();
    *outConn = conn.release();
    *outXaResource = res.release();
    return *outConn && *outXaResource ? 0 : ERR_UNABLE_TO_CONNECT;
}

int _getConnection(DrvConn *c, jobject *outConn, char *classList, char *props, const char *user,
                   const char *password, char **outXaClass, jobject *outDataSource)
{
    JNIEnv *env = c->env;
    *outConn = nullptr;
    if (outDataSource)
        *outDataSource = nullptr;
    char *list = jc_StripBraces(classList);
    char *text = jc_StripBraces(props);
    if (!list || !*list) {
        errPostMsg(&c->errors, "No JDBC driver or data-source class given", ERR_DRIVER_LOAD_FAILED);
        return ERR_DRIVER_LOAD_FAILED;
    }
    if (char *semi = strchr(list, ';')) {
        *semi = '\0';
        if (semi[1] && outXaClass)
            *outXaClass = strdup(semi + 1);
    }
    JLocal<jclass> cls(env, loadReported(c, list));
    if (!cls.get()) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't find DBMS Driver = [%s]", list);
        return ERR_DRIVER_LOAD_FAILED;
    }
    struct Kind {
        const char *jniName;
        const char *missing;
    };
    static const Kind kinds[] = {
        {"java/sql/Driver", "Can't find java.sql.Driver"},
        {"javax/sql/DataSource", "Can't find javax.sql.DataSource"},
        {"javax/sql/ConnectionPoolDataSource", "Can't find javax.sql.ConnectionPoolDataSource"},
        {"javax/sql/XADataSource", "Can't find javax.sql.XADataSource"},
    };
    for (size_t i = 0; i < sizeof kinds / sizeof kinds[0]; ++i) {
        JLocal<jclass> iface(env, env->FindClass(kinds[i].jniName));
        if (!iface.get() || CheckException(env, c->stringMode, &c->errors) != 0) {
            LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "%s", kinds[i].missing);
            return ERR_DRIVER_LOAD_FAILED;
        }
        if (!env->IsAssignableFrom(cls, iface))
            continue;
        if (i == 0)
            return jc_Driver_connect(c, outConn, list, text, user, password);
        return jc_DataSource_getConnection(c, outConn, list, text, user, password, outDataSource);
    }
    char msg[300];
    snprintf(msg, sizeof msg, "Class %.200s is neither a JDBC driver nor a data source", list);
    LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "%s", msg);
    errPostMsg(&c->errors, msg, ERR_DRIVER_LOAD_FAILED);
    return ERR_DRIVER_LOAD_FAILED;
}

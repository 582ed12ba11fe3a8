// The Java bridge against a live VM: support classes, the call layer and
// CheckException, the connection factory and the JDBC wrappers.
#include "drv_jdbc/j-classes.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-factory.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-setup.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap.h"
#include "odbc/contract/drv_connect_params.h"
#include "drv_jdbc/j-optable.h"
#include "odbc/contract/drv_ops.h"
#include "tests/common/pg_env.h"
#include "tests/jvm/jvm_child.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {
const DrvOpTable &ops() { return *DRV_JdbcOpTable(); }

std::string chainText(const ErrChain &chain)
{
    std::string all;
    for (const ErrRec *r = chain.first; r; r = r->next)
        all += std::string(r->sqlState) + ":" + r->message + "\n";
    return all;
}

// An open back-end environment, a connection to the fixture and a bare
// context record (the calling thread's env, the driver's class loader) for
// calling the bridge directly.
class Bridge : public ::testing::Test {
protected:
    void SetUp() override
    {
        JVM_CHILD_ONLY();
        ASSERT_TRUE(PgEnvLoad(pg));
        DriverLoadSetup();
        drvOptions = DrvOptions{};
        ASSERT_EQ(ops().EnvOpen(nullptr, &envHandle), 0);
        opened = true;
        DrvEnv *e = static_cast<DrvEnv *>(HT_Lookup(&drvEnvTable, envHandle));
        ASSERT_NE(e, nullptr);
        JavaVM *vm = nullptr;
        jsize n = 0;
        JNI_GetCreatedJavaVMs(&vm, 1, &n);
        ASSERT_EQ(vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_4), JNI_OK);
        ctx = static_cast<DrvConn *>(calloc(1, sizeof(DrvConn)));
        ctx->classLoader = e->classLoader;
        ctx->xidClass = e->xidClass;
        ASSERT_EQ(env->PushLocalFrame(64), 0);
        framed = true;
    }

    void TearDown() override
    {
        if (env) {
            EXPECT_FALSE(env->ExceptionCheck()) << "an exception was left pending";
            jc_ClearException(env);
        }
        if (conn) {
            EXPECT_EQ(ops().Disconnect(conn), 0);
        }
        if (framed)
            env->PopLocalFrame(nullptr);
        if (ctx) {
            errClear(&ctx->errors);
            free(ctx);
        }
        if (opened) {
            EXPECT_EQ(ops().EnvClose(envHandle), 0);
        }
    }

    // Connects through the operation table and returns the connection record.
    DrvConn *connect()
    {
        std::string props = "serverName=127.0.0.1;portNumber=" + std::to_string(pg.port) +
                            ";databaseName=" + pg.db + ";applicationName=krs_jvm_bridge";
        DrvConnectParams p{};
        p.serverText = "";
        p.dsProps = props.c_str();
        p.user = pg.trustUser.c_str();
        p.password = "";
        EXPECT_EQ(ops().Connect(envHandle, &p, &conn), 0);
        return static_cast<DrvConn *>(HT_Lookup(&drvConnTable, conn));
    }

    PgEnv pg;
    int envHandle = 0;
    bool opened = false;
    bool framed = false;
    JNIEnv *env = nullptr;
    DrvConn *ctx = nullptr;
    int conn = 0;
};

TEST_F(Bridge, SupportClassesLiveInTheSystemClassLoader)
{
    jclass xid = nullptr;
    ASSERT_EQ(jc_DefineXAXidClass(env, &xid), 0);
    ASSERT_NE(xid, nullptr);
    jclass xaIface = env->FindClass("javax/transaction/xa/Xid");
    ASSERT_NE(xaIface, nullptr);
    EXPECT_TRUE(env->IsAssignableFrom(xid, xaIface));

    jclass classClass = env->FindClass("java/lang/Class");
    jmethodID getLoader = env->GetMethodID(classClass, "getClassLoader", "()Ljava/lang/ClassLoader;");
    jobject loader = env->CallObjectMethod(xid, getLoader);
    ASSERT_FALSE(env->ExceptionCheck());
    EXPECT_NE(loader, nullptr) << "XAXid must not be a bootstrap class";

    // Defining again finds the class that exists.
    jclass again = nullptr;
    ASSERT_EQ(jc_DefineXAXidClass(env, &again), 0);
    EXPECT_TRUE(env->IsSameObject(xid, again));
}

TEST_F(Bridge, XAXidValidatesItsParts)
{
    jclass xid = nullptr;
    ASSERT_EQ(jc_DefineXAXidClass(env, &xid), 0);
    char data[128];
    for (int i = 0; i < 128; ++i)
        data[i] = static_cast<char>(i);
    struct Case {
        int gtrid, bqual;
        bool ok;
    } cases[] = {{64, 64, true}, {0, 0, true}, {3, 5, true}, {65, 0, false},
                 {0, 65, false}, {-1, 4, false}, {4, -1, false}, {1000, 1000, false}};
    for (const Case &c : cases) {
        jobject x = jc_NewXAXidParts(env, xid, 7, c.gtrid, c.bqual, data);
        EXPECT_EQ(x != nullptr, c.ok) << c.gtrid << "/" << c.bqual;
        if (c.ok) {
            EXPECT_FALSE(env->ExceptionCheck());
            jmethodID getB = env->GetMethodID(xid, "getBranchQualifier", "()[B");
            auto b = static_cast<jbyteArray>(env->CallObjectMethod(x, getB));
            ASSERT_FALSE(env->ExceptionCheck());
            ASSERT_EQ(env->GetArrayLength(b), c.bqual);
            if (c.bqual) {
                jbyte first = 0;
                env->GetByteArrayRegion(b, 0, 1, &first);
                EXPECT_EQ(first, static_cast<jbyte>(c.gtrid));
            }
            env->DeleteLocalRef(b);
            env->DeleteLocalRef(x);
            continue;
        }
        ASSERT_TRUE(env->ExceptionCheck());
        jthrowable t = env->ExceptionOccurred();
        env->ExceptionClear();
        jclass xae = env->FindClass("javax/transaction/xa/XAException");
        EXPECT_TRUE(env->IsInstanceOf(t, xae));
        jfieldID code = env->GetFieldID(xae, "errorCode", "I");
        EXPECT_EQ(env->GetIntField(t, code), -5);
        env->DeleteLocalRef(xae);
        env->DeleteLocalRef(t);
    }
}

TEST_F(Bridge, XAXidEquality)
{
    jclass xid = nullptr;
    ASSERT_EQ(jc_DefineXAXidClass(env, &xid), 0);
    const char a[] = "gtridbqual";
    jobject x1 = jc_NewXAXidParts(env, xid, 1, 5, 5, a);
    jobject x2 = jc_NewXAXidParts(env, xid, 1, 5, 5, a);
    jobject x3 = jc_NewXAXidParts(env, xid, 2, 5, 5, a);
    ASSERT_TRUE(x1 && x2 && x3);
    jmethodID eq = env->GetMethodID(xid, "equals", "(Ljava/lang/Object;)Z");
    struct Case {
        jobject other;
        bool equal;
    } cases[] = {{x2, true}, {x3, false}, {env->NewStringUTF("not an xid"), false}};
    for (const Case &c : cases) {
        jboolean same = env->CallBooleanMethod(x1, eq, c.other);
        ASSERT_FALSE(env->ExceptionCheck());
        EXPECT_EQ(same == JNI_TRUE, c.equal);
    }
}

TEST_F(Bridge, ClassLoaderLoadsTheJdbcDriverFromTheJar)
{
    jclass ds = jc_ClassLoader_loadClass(ctx, ctx->classLoader, "org/postgresql/ds/PGPoolingDataSource");
    ASSERT_NE(ds, nullptr) << chainText(ctx->errors);
    jclass missing = jc_ClassLoader_loadClass(ctx, ctx->classLoader, "org/nowhere/Nothing");
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(CheckException(env, 0, &ctx->errors), ERR_GENERAL);
    EXPECT_NE(chainText(ctx->errors).find("ClassNotFoundException"), std::string::npos);
    // The JDBC driver is not on the VM's own class path.
    EXPECT_EQ(env->FindClass("org/postgresql/Driver"), nullptr);
    jc_ClearException(env);
}

TEST_F(Bridge, StringsInBothModes)
{
    const char text[] = "caf\xc3\xa9 \xe2\x82\xac";  // "café €" in UTF-8
    for (int mode : {0, 1}) {
        jstring s = jc_NewString(env, text, mode);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(env->GetStringLength(s), 6) << mode;
        char *back = jc_DupString(env, s, mode);
        ASSERT_NE(back, nullptr);
        EXPECT_STREQ(back, text);
        free(back);
        JStringText view;
        ASSERT_EQ(jc_GetStringText(env, s, &view, mode), 0);
        EXPECT_EQ(view.length, static_cast<int32_t>(strlen(text)));
        jc_ReleaseStringText(env, &view);
        env->DeleteLocalRef(s);
    }
    EXPECT_EQ(jc_NewString(env, nullptr, 0), nullptr);
    jstring empty = jc_NewString(env, "", 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(env->GetStringLength(empty), 0);
    EXPECT_EQ(jc_DupString(env, nullptr, 0), nullptr);
}

TEST_F(Bridge, CheckExceptionReportsWhatJavaThrew)
{
    // Nothing pending.
    EXPECT_EQ(CheckException(env, 0, &ctx->errors), 0);
    EXPECT_EQ(ctx->errors.first, nullptr);

    // A missing method: NoSuchMethodError as S1000 with its text.
    jstring s = env->NewStringUTF("x");
    EXPECT_EQ(jc_CallIntMethod(env, s, nullptr, "noSuchMethod", "()I", nullptr), ERR_GENERAL);
    EXPECT_EQ(CheckException(env, 0, &ctx->errors), ERR_GENERAL);
    std::string t = chainText(ctx->errors);
    EXPECT_NE(t.find("S1000:java.lang.NoSuchMethodError"), std::string::npos) << t;

    // A call on no object: a NullPointerException naming the method.
    EXPECT_EQ(jc_CallVoidMethod(env, nullptr, nullptr, "close", "()V"), ERR_GENERAL);
    EXPECT_EQ(CheckException(env, 0, &ctx->errors), ERR_GENERAL);
    t = chainText(ctx->errors);
    EXPECT_NE(t.find("NullPointerException in 'obj'  for 'close' JAVA call"), std::string::npos) << t;

    // An SQLException keeps its state, vendor code and message (tab blanked).
    jobject ex = jc_NewObject(env, "java/sql/SQLException", "(Ljava/lang/String;Ljava/lang/String;I)V",
                              env->NewStringUTF("bad\tthing"), env->NewStringUTF("08004"), 7);
    ASSERT_NE(ex, nullptr);
    env->Throw(static_cast<jthrowable>(ex));
    EXPECT_EQ(CheckException(env, 0, &ctx->errors), ERR_CONNECTION_REJECTED);
    ASSERT_NE(ctx->errors.first, nullptr);
    EXPECT_STREQ(ctx->errors.first->sqlState, "08004");
    EXPECT_STREQ(ctx->errors.first->message, "bad thing");
    EXPECT_EQ(ctx->errors.first->nativeCode, 7);

    // An SQLWarning is dropped.
    errClear(&ctx->errors);
    jobject warn = jc_NewObject(env, "java/sql/SQLWarning", "(Ljava/lang/String;)V",
                                env->NewStringUTF("just a warning"));
    ASSERT_NE(warn, nullptr);
    env->Throw(static_cast<jthrowable>(warn));
    EXPECT_EQ(CheckException(env, 0, &ctx->errors), 0);
    EXPECT_EQ(ctx->errors.first, nullptr);
    EXPECT_FALSE(env->ExceptionCheck());

    // No env: 15 and nothing posted.
    EXPECT_EQ(CheckException(nullptr, 0, &ctx->errors), ERR_GENERAL);
}

TEST_F(Bridge, FactoryRefusesAClassOfNoKnownKind)
{
    char list[] = "{java/lang/String}";
    char props[] = "";
    jobject c = reinterpret_cast<jobject>(1);
    EXPECT_EQ(_getConnection(ctx, &c, list, props, "", "", nullptr, nullptr), 3);
    EXPECT_EQ(c, nullptr);
    EXPECT_NE(chainText(ctx->errors).find("neither a JDBC driver nor a data source"), std::string::npos);

    char missing[] = "{org/nowhere/Driver;org/nowhere/XA}";
    char *xa = nullptr;
    EXPECT_EQ(_getConnection(ctx, &c, missing, props, "", "", &xa, nullptr), 3);
    ASSERT_NE(xa, nullptr);
    EXPECT_STREQ(xa, "org/nowhere/XA");
    free(xa);
}

TEST_F(Bridge, FactoryConnectsThroughADriverClass)
{
    std::string url = "jdbc:postgresql://127.0.0.1:" + std::to_string(pg.port) + "/" + pg.db;
    jobject c = nullptr;
    ASSERT_EQ(jc_Driver_connect(ctx, &c, "org/postgresql/Driver", url.c_str(), pg.trustUser.c_str(), ""), 0)
        << chainText(ctx->errors);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(jc_Connection_close(ctx, c), 0);

    char list[] = "org/postgresql/Driver";
    std::string urlBuf = url;
    ASSERT_EQ(_getConnection(ctx, &c, list, &urlBuf[0], pg.pwUser.c_str(), pg.password.c_str(), nullptr,
                             nullptr), 0)
        << chainText(ctx->errors);
    EXPECT_EQ(jc_Connection_close(ctx, c), 0);

    EXPECT_EQ(jc_Driver_connect(ctx, &c, "org/postgresql/Driver", "jdbc:other:x", "", ""), ERR_UNABLE_TO_CONNECT);
    EXPECT_EQ(c, nullptr);
}

TEST_F(Bridge, ConnectionWrappers)
{
    DrvConn *c = connect();
    ASSERT_NE(c, nullptr);
    char cat[5];
    EXPECT_EQ(jc_Connection_getCatalog(c, c->connection, cat, sizeof cat), 0);
    EXPECT_STREQ(cat, pg.db.substr(0, 4).c_str());
    uint8_t ac = 0;
    EXPECT_EQ(jc_Connection_getAutoCommit(c, c->connection, &ac), 0);
    EXPECT_EQ(ac, 1);
    EXPECT_EQ(jc_Connection_setAutoCommit(c, c->connection, 0x100), 0);  // low 8 bits: false
    EXPECT_EQ(jc_Connection_getAutoCommit(c, c->connection, &ac), 0);
    EXPECT_EQ(ac, 0);
    EXPECT_EQ(ops().Commit(conn), 0);
    EXPECT_EQ(ops().Rollback(conn), 0);
    int32_t iso = 0;
    EXPECT_EQ(jc_Connection_setTransactionIsolation(c, c->connection, 8), 0);
    EXPECT_EQ(jc_Connection_getTransactionIsolation(c, c->connection, &iso), 0);
    EXPECT_EQ(iso, 8);
    EXPECT_EQ(jc_Connection_setTransactionIsolation(c, c->connection, 12345), 15 /* S1000 */)
        << chainText(c->errors);
    char *native = nullptr;
    EXPECT_EQ(jc_Connection_nativeSQL(c, c->connection, "select {fn ucase('a')}", &native), 0);
    ASSERT_NE(native, nullptr);
    EXPECT_NE(std::string(native).find("upper"), std::string::npos) << native;
    free(native);
    // Commit while autocommit is on throws in pgjdbc: the raw wrapper reports it.
    EXPECT_EQ(jc_Connection_setAutoCommit(c, c->connection, 1), 0);
    EXPECT_NE(jc_Connection_commit(c, c->connection), 0);
    EXPECT_EQ(ops().Commit(conn), 0);  // the operation is a no-op instead
}

TEST_F(Bridge, StatementAndMetaDataWrappers)
{
    DrvConn *c = connect();
    ASSERT_NE(c, nullptr);
    DrvStmt *s = static_cast<DrvStmt *>(calloc(1, sizeof(DrvStmt)));
    s->conn = c;
    ASSERT_EQ(jc_Connection_createStatementForStmt(s, c->connection), 0);
    ASSERT_NE(s->stmt, nullptr);

    uint8_t isRs = 9;
    EXPECT_EQ(jc_Statement_execute(s, s->stmt, "create temp table krs_w (a int)", &isRs), 0);
    EXPECT_EQ(isRs, 0);
    EXPECT_EQ(jc_Statement_execute(s, s->stmt, "insert into krs_w values (1),(2)", &isRs), 0);
    int32_t count = 0;
    EXPECT_EQ(jc_Statement_getUpdateCount(s, s->stmt, &count), 0);
    EXPECT_EQ(count, 2);

    const std::string longLabel(45, 'L');
    std::string sql = "select a as \"" + longLabel + "\", 'x'::varchar(7) as \"caf\xc3\xa9\" from krs_w";
    EXPECT_EQ(jc_Statement_execute(s, s->stmt, sql.c_str(), &isRs), 0);
    EXPECT_EQ(isRs, 1);
    jobject rs = nullptr;
    ASSERT_EQ(jc_CallObjectMethod(env, s->stmt, nullptr, "getResultSet", "()Ljava/sql/ResultSet;", &rs), 0);
    jobject md = nullptr;
    ASSERT_EQ(jc_CallObjectMethod(env, rs, nullptr, "getMetaData", "()Ljava/sql/ResultSetMetaData;", &md), 0);
    int32_t cols = 0, type = 0, prec = 0, nullable = 9;
    EXPECT_EQ(jc_ResultSetMetaData_getColumnCount(s, md, &cols), 0);
    EXPECT_EQ(cols, 2);
    EXPECT_EQ(jc_ResultSetMetaData_getColumnType(s, md, 1, &type), 0);
    EXPECT_EQ(type, 4);  // INTEGER
    EXPECT_EQ(jc_ResultSetMetaData_getPrecision(s, md, 2, &prec), 0);
    EXPECT_EQ(prec, 7);
    EXPECT_EQ(jc_ResultSetMetaData_isNullable(s, md, 1, &nullable), 0);
    EXPECT_EQ(nullable, 1);
    uint8_t ro = 9;
    EXPECT_EQ(jc_ResultSetMetaData_isReadOnly(s, md, 1, &ro), 0);
    char *label = nullptr;
    EXPECT_EQ(jc_ResultSetMetaData_getColumnLabel(s, md, 1, &label), 0);
    EXPECT_EQ(std::string(label), longLabel);
    free(label);
    for (int mode : {0, 1}) {
        s->stringMode = mode;
        EXPECT_EQ(jc_ResultSetMetaData_getColumnName(s, md, 2, &label), 0);
        EXPECT_STREQ(label, "caf\xc3\xa9");
        free(label);
    }
    char field[RSMD_LABEL_FIELD + 1];
    memset(field, 'z', sizeof field);
    EXPECT_EQ(jc_ResultSetMetaData_getColumnLabelFixed(s, md, 1, field), 0);
    EXPECT_EQ(std::string(field), longLabel.substr(0, 40));
    EXPECT_EQ(jc_ResultSetMetaData_getColumnType(s, md, 99, &type), 15 /* S1000 */);
    EXPECT_NE(s->errors.first, nullptr);
    env->DeleteLocalRef(md);
    env->DeleteLocalRef(rs);

    // Rejected SQL: 68 and the server's SQLSTATE first on the statement's chain.
    EXPECT_EQ(jc_Statement_execute(s, s->stmt, "selec nothing", &isRs), ERR_SYNTAX_OR_ACCESS);
    ASSERT_NE(s->errors.first, nullptr);
    EXPECT_STREQ(s->errors.first->sqlState, "42601");
    int32_t serial = 0;
    errClear(&s->errors);
    EXPECT_EQ(jc_Statement_getSerial(s, s->stmt, &serial), ERR_GENERAL);
    EXPECT_EQ(s->errors.first, nullptr);

    EXPECT_EQ(jc_Statement_setQueryTimeout(s, s->stmt, 30), 0);
    int32_t timeout = 0;
    EXPECT_EQ(jc_Statement_getQueryTimeout(s, s->stmt, &timeout), 0);
    EXPECT_EQ(timeout, 30);

    resetStmt(s);
    EXPECT_EQ(jc_Connection_prepareStatement(s, c->connection, "select ?"), 0);
    EXPECT_NE(s->stmt, nullptr);
    resetStmt(s);
    EXPECT_EQ(jc_Connection_prepareCall(s, c->connection, "{call nosuchproc(?)}"), 0);
    resetStmt(s);

    // A statement left in the table goes with its connection.
    int32_t h = 0;
    ASSERT_EQ(HT_Insert(&drvStmtTable, &h, s), 0);
    ASSERT_EQ(jc_Connection_createStatementForStmt(s, c->connection), 0);
    ASSERT_EQ(ops().Disconnect(conn), 0);
    conn = 0;
    EXPECT_EQ(HT_Lookup(&drvStmtTable, h), nullptr);
    int rc = 0;
    ErrReport rep{};
    rc = ops().GetErrors(h, &rep);
    EXPECT_EQ(rc, ERR_INVALID_ARGUMENT);
}
TEST_F(Bridge, EveryKindOfClassConnectsAndItsCloseLeavesNoSession)
{
    // A driver takes a URL, the data sources a property list; the pooling data
    // source hands out a pooled connection when the login matches its own
    // user, and only closing the data source ends that session.
    struct Case {
        const char *cls;
        bool driver;
        bool pooled;
    } cases[] = {
        {"org/postgresql/Driver", true, false},
        {"org/postgresql/ds/PGSimpleDataSource", false, false},
        {"org/postgresql/ds/PGConnectionPoolDataSource", false, false},
        {"org/postgresql/xa/PGXADataSource", false, false},
        {"org/postgresql/ds/PGPoolingDataSource", false, false},
        {"org/postgresql/ds/PGPoolingDataSource", false, true},
    };
    int n = 0;
    for (const Case &k : cases) {
        const std::string app = "krs_jvm_kind" + std::to_string(n++);
        std::string text = k.driver ? pg.url() + "?ApplicationName=" + app
                                    : "serverName=127.0.0.1;portNumber=" + std::to_string(pg.port) +
                                          ";databaseName=" + pg.db + ";applicationName=" + app;
        const std::string user = k.pooled ? pg.trustUser : pg.pwUser;
        const std::string password = k.pooled ? "x" : pg.password;
        if (k.pooled)
            text += ";user=" + user + ";password=" + password;
        std::string list = k.cls;
        std::string props = text;
        jobject c = nullptr, ds = nullptr;
        ASSERT_EQ(_getConnection(ctx, &c, &list[0], &props[0], user.c_str(), password.c_str(), nullptr, &ds), 0)
            << k.cls << "\n" << chainText(ctx->errors);
        ASSERT_NE(c, nullptr) << k.cls;
        EXPECT_EQ(ds != nullptr, !k.driver) << k.cls;
        EXPECT_EQ(PgSessions(pg, app, 1), 1) << k.cls;
        EXPECT_EQ(jc_Connection_close(ctx, c), 0) << k.cls;
        EXPECT_EQ(PgSessions(pg, app, k.pooled ? 1 : 0), k.pooled ? 1 : 0) << k.cls;
        if (ds && std::strstr(k.cls, "Pooling")) {
            // pgjdbc's close() throws at its very end for a data source
            // without a name, after it closed the pooled sessions.
            jc_CallVoidMethod(env, ds, nullptr, "close", "()V");
            jc_ClearException(env);
        }
        EXPECT_EQ(PgSessions(pg, app, 0), 0) << k.cls;
        env->DeleteLocalRef(c);
        if (ds)
            env->DeleteLocalRef(ds);

        if (k.pooled)
            continue;  // the trust role takes any password
        // A wrong password: no connection, the server's state on the chain.
        errClear(&ctx->errors);
        list = k.cls;
        props = text;
        c = reinterpret_cast<jobject>(1);
        EXPECT_EQ(_getConnection(ctx, &c, &list[0], &props[0], user.c_str(), "wrong", nullptr, &ds), ERR_UNABLE_TO_CONNECT)
            << k.cls;
        EXPECT_EQ(c, nullptr) << k.cls;
        EXPECT_EQ(ds, nullptr) << k.cls;
        EXPECT_NE(chainText(ctx->errors).find("28P01"), std::string::npos) << k.cls << "\n"
                                                                            << chainText(ctx->errors);
        errClear(&ctx->errors);
        EXPECT_EQ(PgSessions(pg, app, 0), 0) << k.cls;
    }
}
} // namespace

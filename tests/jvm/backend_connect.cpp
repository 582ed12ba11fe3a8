// The JDBC back end's environment and connection operations, called through
// its operation table against the PostgreSQL fixture.
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-setup.h"
#include "odbc/contract/drv_connect_params.h"
#include "drv_jdbc/j-optable.h"
#include "odbc/contract/drv_ops.h"
#include "odbc/contract/errnum.h"
#include "tests/common/pg_env.h"
#include "tests/jvm/jvm_child.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {
const DrvOpTable &ops() { return *DRV_JdbcOpTable(); }

// Drains a back-end chain into one string of its texts.
std::string drain(int handle, int *rc = nullptr)
{
    ErrReport rep{};
    int r = ops().GetErrors(handle, &rep);
    if (rc)
        *rc = r;
    std::string all;
    for (uint32_t i = 0; i < rep.count; ++i) {
        if (rep.texts[i])
            all += std::string(rep.texts[i]) + "\n";
        free(rep.texts[i]);
    }
    free(rep.texts);
    return all;
}

JavaVM *theVm()
{
    JavaVM *vm = nullptr;
    jsize n = 0;
    JNI_GetCreatedJavaVMs(&vm, 1, &n);
    return n ? vm : nullptr;
}

// JNI_OK when the calling thread is attached to the VM, JNI_EDETACHED when not.
jint attachState()
{
    JavaVM *vm = theVm();
    if (!vm)
        return JNI_ERR;
    JNIEnv *env = nullptr;
    return vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_4);
}

class Backend : public ::testing::Test {
protected:
    void SetUp() override
    {
        JVM_CHILD_ONLY();
        ASSERT_TRUE(PgEnvLoad(pg));
        DriverLoadSetup();
        ASSERT_NE(DRV_JavaLibDir()[0], '\0') << "BNLibs missing from the registry file";
        drvOptions = DrvOptions{};
        ASSERT_EQ(ops().EnvOpen(nullptr, &env), 0);
        opened = true;
    }

    void TearDown() override
    {
        if (opened) {
            EXPECT_EQ(ops().EnvClose(env), 0);
        }
    }

    std::string props(const std::string &app, const std::string &extra = "") const
    {
        return "serverName=127.0.0.1;portNumber=" + std::to_string(pg.port) +
               ";databaseName=" + pg.db + ";applicationName=" + app + extra;
    }

    int connect(const std::string &properties, const std::string &user, const std::string &pw,
                int *conn, const char *server = "", int readOnly = 0)
    {
        DrvConnectParams p{};
        p.serverText = server;
        p.dsProps = properties.c_str();
        p.user = user.c_str();
        p.password = pw.c_str();
        p.readOnly = readOnly;
        return ops().Connect(env, &p, conn);
    }

    PgEnv pg;
    int env = 0;
    bool opened = false;
};

TEST_F(Backend, EnvironmentHandleAndSecondOpenShareOneRecord)
{
    EXPECT_EQ(static_cast<uint32_t>(env) >> 16, 0xAAAAu);
    int second = 0;
    ASSERT_EQ(ops().EnvOpen(nullptr, &second), 0);
    EXPECT_EQ(second, env);
    EXPECT_EQ(ops().EnvClose(second), 0);
    EXPECT_EQ(ops().EnvClose(0x0DBC0001), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(ops().EnvClose(0x00AA0000), ERR_INVALID_ARGUMENT);
}

TEST_F(Backend, VmOptionsFromTheEnvironmentReachTheVm)
{
    // The child runs with KRS_JVM_OPTS holding -Xcheck:jni; the VM the first
    // open created lists it among its input arguments.
    const char *opts = getenv("KRS_JVM_OPTS");
    ASSERT_NE(opts, nullptr);
    ASSERT_NE(std::string(opts).find("-Xcheck:jni"), std::string::npos);
    JNIEnv *jenv = nullptr;
    ASSERT_EQ(theVm()->GetEnv(reinterpret_cast<void **>(&jenv), JNI_VERSION_1_4), JNI_OK);
    ASSERT_EQ(jenv->PushLocalFrame(16), 0);
    jclass mf = jenv->FindClass("java/lang/management/ManagementFactory");
    ASSERT_NE(mf, nullptr);
    jmethodID getRt = jenv->GetStaticMethodID(mf, "getRuntimeMXBean", "()Ljava/lang/management/RuntimeMXBean;");
    jobject rt = jenv->CallStaticObjectMethod(mf, getRt);
    ASSERT_FALSE(jenv->ExceptionCheck());
    jclass rtc = jenv->FindClass("java/lang/management/RuntimeMXBean");
    jmethodID getArgs = jenv->GetMethodID(rtc, "getInputArguments", "()Ljava/util/List;");
    jobject list = jenv->CallObjectMethod(rt, getArgs);
    ASSERT_FALSE(jenv->ExceptionCheck());
    jmethodID toString = jenv->GetMethodID(jenv->FindClass("java/lang/Object"), "toString", "()Ljava/lang/String;");
    jstring text = static_cast<jstring>(jenv->CallObjectMethod(list, toString));
    ASSERT_FALSE(jenv->ExceptionCheck());
    const char *chars = jenv->GetStringUTFChars(text, nullptr);
    std::string args = chars ? chars : "";
    jenv->ReleaseStringUTFChars(text, chars);
    jenv->PopLocalFrame(nullptr);
    EXPECT_NE(args.find("-Xcheck:jni"), std::string::npos) << args;
}

TEST_F(Backend, ConnectCommitRollbackDisconnectLeavesNoSession)
{
    const std::string app = "krs_jvm_basic";
    int conn = 0;
    ASSERT_EQ(connect(props(app), pg.trustUser, "", &conn), 0) << drain(env);
    EXPECT_EQ(static_cast<uint32_t>(conn) >> 16, 0xBBBBu);
    EXPECT_EQ(PgSessions(pg, app, 1), 1);
    // Autocommit is on: commit and rollback are successful no-ops.
    EXPECT_EQ(ops().Commit(conn), 0) << drain(conn);
    EXPECT_EQ(ops().Rollback(conn), 0) << drain(conn);
    EXPECT_EQ(ops().Disconnect(conn), 0);
    EXPECT_EQ(PgSessions(pg, app, 0), 0);
    EXPECT_EQ(ops().Disconnect(conn), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(ops().Commit(conn), ERR_INVALID_ARGUMENT);
}

TEST_F(Backend, ManualCommitAndRollbackReachTheServer)
{
    PgPsql(pg, "drop table if exists krs_jvm_txn; create table krs_jvm_txn (a int)");
    drvOptions.noAutoCommit = 1;
    int conn = 0;
    ASSERT_EQ(connect(props("krs_jvm_txn"), pg.trustUser, "", &conn), 0) << drain(env);
    DrvConn *c = static_cast<DrvConn *>(HT_Lookup(&drvConnTable, conn));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->options.noAutoCommit, 1);

    // A plain JDBC statement on the connection, through JNI.
    JNIEnv *jenv = nullptr;
    ASSERT_EQ(theVm()->GetEnv(reinterpret_cast<void **>(&jenv), JNI_VERSION_1_4), JNI_OK);
    auto exec = [&](const char *sql) {
        jclass cc = jenv->GetObjectClass(c->connection);
        jmethodID cs = jenv->GetMethodID(cc, "createStatement", "()Ljava/sql/Statement;");
        jobject st = jenv->CallObjectMethod(c->connection, cs);
        ASSERT_FALSE(jenv->ExceptionCheck());
        jclass sc = jenv->GetObjectClass(st);
        jmethodID ex = jenv->GetMethodID(sc, "execute", "(Ljava/lang/String;)Z");
        jstring text = jenv->NewStringUTF(sql);
        jenv->CallBooleanMethod(st, ex, text);
        ASSERT_FALSE(jenv->ExceptionCheck());
        jmethodID close = jenv->GetMethodID(sc, "close", "()V");
        jenv->CallVoidMethod(st, close);
        ASSERT_FALSE(jenv->ExceptionCheck());
        jenv->DeleteLocalRef(text);
        jenv->DeleteLocalRef(sc);
        jenv->DeleteLocalRef(st);
        jenv->DeleteLocalRef(cc);
    };
    exec("insert into krs_jvm_txn values (1)");
    EXPECT_EQ(ops().Rollback(conn), 0) << drain(conn);
    EXPECT_EQ(PgPsql(pg, "select count(*) from krs_jvm_txn"), "0");
    exec("insert into krs_jvm_txn values (2)");
    EXPECT_EQ(ops().Commit(conn), 0) << drain(conn);
    EXPECT_EQ(PgPsql(pg, "select count(*) from krs_jvm_txn"), "1");
    EXPECT_EQ(ops().Disconnect(conn), 0);
    drvOptions.noAutoCommit = 0;
}

TEST_F(Backend, ReconnectAfterFullCloseJoinsTheSameVm)
{
    int conn = 0;
    ASSERT_EQ(connect(props("krs_jvm_re1"), pg.trustUser, "", &conn), 0) << drain(env);
    EXPECT_EQ(ops().Disconnect(conn), 0);
    JavaVM *before = theVm();
    ASSERT_EQ(ops().EnvClose(env), 0);
    opened = false;

    ASSERT_EQ(ops().EnvOpen(nullptr, &env), 0);
    opened = true;
    jsize count = 0;
    JavaVM *vms[2];
    JNI_GetCreatedJavaVMs(vms, 2, &count);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(theVm(), before);
    ASSERT_EQ(connect(props("krs_jvm_re2"), pg.trustUser, "", &conn), 0) << drain(env);
    EXPECT_EQ(ops().Disconnect(conn), 0);
    EXPECT_EQ(PgSessions(pg, "krs_jvm_re2", 0), 0);
}

TEST_F(Backend, BadPasswordReportsTheServersStateAndText)
{
    int conn = 123;
    int rc = connect(props("krs_jvm_badpw"), pg.pwUser, "wrong", &conn);
    EXPECT_EQ(rc, ERR_UNABLE_TO_CONNECT);
    EXPECT_EQ(conn, 0);
    std::string texts = drain(env);
    EXPECT_NE(texts.find("[Brennic Edition]"), std::string::npos) << texts;
    EXPECT_NE(texts.find("[SQLSTATE:28P01]"), std::string::npos) << texts;
    EXPECT_NE(texts.find("password authentication failed"), std::string::npos) << texts;
    EXPECT_EQ(drain(env), "");  // drained
    EXPECT_EQ(PgSessions(pg, "krs_jvm_badpw", 0), 0);

    // The right password (it holds ';' and '=') passes untouched.
    ASSERT_EQ(connect(props("krs_jvm_goodpw"), pg.pwUser, pg.password, &conn), 0) << drain(env);
    EXPECT_EQ(ops().Disconnect(conn), 0);
}

TEST_F(Backend, PooledSessionsCloseWithTheConnection)
{
    // User and password equal to the data source's own make the pooling data
    // source hand out a pooled connection, whose server session stays in the
    // pool when only the Connection is closed.
    const std::string app = "krs_jvm_pool";
    int conn = 0;
    ASSERT_EQ(connect(props(app, ";user=" + pg.trustUser + ";password=x"), pg.trustUser, "x", &conn), 0)
        << drain(env);
    EXPECT_EQ(PgSessions(pg, app, 1), 1);
    EXPECT_EQ(ops().Disconnect(conn), 0);
    EXPECT_EQ(PgSessions(pg, app, 0), 0);
}

TEST_F(Backend, SetterNamesCapitaliseTheProperty)
{
    // "applicationName" reaches setApplicationName; a property the data source
    // has no setter for fails the connect with its name in the diagnostic.
    int conn = 0;
    ASSERT_EQ(connect(props("krs_jvm_setter"), pg.trustUser, "", &conn), 0) << drain(env);
    EXPECT_EQ(PgSessions(pg, "krs_jvm_setter", 1), 1);
    EXPECT_EQ(ops().Disconnect(conn), 0);

    // "url" reaches setUrl: a whole JDBC URL as one property.
    ASSERT_EQ(connect("url=" + pg.url() + ";applicationName=krs_jvm_url", pg.trustUser, "", &conn), 0)
        << drain(env);
    EXPECT_EQ(PgSessions(pg, "krs_jvm_url", 1), 1);
    EXPECT_EQ(ops().Disconnect(conn), 0);

    EXPECT_EQ(connect(props("krs_jvm_nosetter", ";noSuchThing=1"), pg.trustUser, "", &conn), 15);
    std::string texts = drain(env);
    EXPECT_NE(texts.find("setNoSuchThing"), std::string::npos) << texts;
}

TEST_F(Backend, BracedPropertyTextAndIntSetter)
{
    int conn = 0;
    ASSERT_EQ(connect("{" + props("krs_jvm_braces") + ";loginTimeout=20}", pg.trustUser, "", &conn), 0)
        << drain(env);
    EXPECT_EQ(ops().Disconnect(conn), 0);
}

TEST_F(Backend, AbsentPropertyTextIsAnEmptyList)
{
    // No property text: the data source keeps its defaults; whatever the
    // outcome of connecting with them, it is no memory failure.
    DrvConnectParams p{};
    p.serverText = "";
    p.user = "nobody";
    p.password = "";
    int conn = 0;
    int rc = ops().Connect(env, &p, &conn);
    EXPECT_NE(rc, ERR_MEMORY_ALLOCATION);
    if (rc == 0) {
        EXPECT_EQ(ops().Disconnect(conn), 0);
    } else {
        drain(env);
    }
}

TEST_F(Backend, StringModeFollowsTheWideMarker)
{
    struct Case {
        const char *server;
        int mode;
    } cases[] = {
        {"W\x7F\x01\x01", 1},
        {"W\x7F\x01\x01more", 1},
        {"W\x7F\x01", 0},
        {"Wx", 0},
        {"", 0},
    };
    for (const Case &k : cases) {
        int conn = 0;
        ASSERT_EQ(connect(props("krs_jvm_mode"), pg.trustUser, "", &conn, k.server), 0) << drain(env);
        DrvConn *c = static_cast<DrvConn *>(HT_Lookup(&drvConnTable, conn));
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->stringMode, k.mode) << strlen(k.server);
        EXPECT_EQ(ops().Disconnect(conn), 0);
    }
}

TEST_F(Backend, ReadOnlyConnectionIsReadOnly)
{
    int conn = 0;
    ASSERT_EQ(connect(props("krs_jvm_ro"), pg.trustUser, "", &conn, "", 1), 0) << drain(env);
    DrvConn *c = static_cast<DrvConn *>(HT_Lookup(&drvConnTable, conn));
    ASSERT_NE(c, nullptr);
    JNIEnv *jenv = nullptr;
    ASSERT_EQ(theVm()->GetEnv(reinterpret_cast<void **>(&jenv), JNI_VERSION_1_4), JNI_OK);
    jclass cc = jenv->GetObjectClass(c->connection);
    jmethodID isRo = jenv->GetMethodID(cc, "isReadOnly", "()Z");
    EXPECT_TRUE(jenv->CallBooleanMethod(c->connection, isRo));
    ASSERT_FALSE(jenv->ExceptionCheck());
    jenv->DeleteLocalRef(cc);
    EXPECT_EQ(c->readOnlyAtConnect, 1);
    EXPECT_EQ(ops().Disconnect(conn), 0);
}

TEST_F(Backend, HandlesOfAnotherTableAreRefused)
{
    int conn = 0;
    ASSERT_EQ(connect(props("krs_jvm_tags"), pg.trustUser, "", &conn), 0) << drain(env);
    EXPECT_EQ(ops().Commit(env), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(ops().Rollback(env), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(ops().Disconnect(env), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(ops().EnvClose(conn), ERR_INVALID_ARGUMENT);
    DrvConnectParams p{};
    int out = 0;
    EXPECT_EQ(ops().Connect(conn, &p, &out), ERR_INVALID_ARGUMENT);
    int rc = 0;
    EXPECT_EQ(drain(0x0DBCCCCC, &rc), "");
    EXPECT_EQ(rc, ERR_INVALID_ARGUMENT);
    EXPECT_EQ(ops().Disconnect(conn), 0);
}

TEST_F(Backend, ConnectionOpenedOnOneThreadIsUsedAndClosedOnAnother)
{
    const std::string app = "krs_jvm_threads";
    int conn = 0;
    ASSERT_EQ(connect(props(app), pg.trustUser, "", &conn), 0) << drain(env);
    int commitRc = -1, disconnectRc = -1;
    jint beforeUse = JNI_ERR, afterUse = JNI_ERR, afterDisconnect = JNI_ERR;
    std::thread other([&] {
        beforeUse = attachState();
        commitRc = ops().Commit(conn);
        afterUse = attachState();
        disconnectRc = ops().Disconnect(conn);
        afterDisconnect = attachState();
    });
    other.join();
    EXPECT_EQ(beforeUse, JNI_EDETACHED);
    EXPECT_EQ(commitRc, 0);
    EXPECT_EQ(afterUse, JNI_OK);  // attached by the driver for its call
    EXPECT_EQ(disconnectRc, 0);
    EXPECT_EQ(afterDisconnect, JNI_EDETACHED);  // and detached at disconnect
    EXPECT_EQ(PgSessions(pg, app, 0), 0);
}

TEST_F(Backend, ThreadAttachedByAFailedConnectIsDetached)
{
    int rc = -1, conn = 0;
    jint before = JNI_ERR, after = JNI_ERR;
    std::thread other([&] {
        before = attachState();
        rc = connect(props("krs_jvm_failthread"), pg.pwUser, "wrong", &conn);
        after = attachState();
    });
    other.join();
    EXPECT_EQ(before, JNI_EDETACHED);
    EXPECT_EQ(rc, ERR_UNABLE_TO_CONNECT);
    EXPECT_EQ(after, JNI_EDETACHED);
    EXPECT_NE(drain(env).find("[SQLSTATE:28P01]"), std::string::npos);
    EXPECT_EQ(PgSessions(pg, "krs_jvm_failthread", 0), 0);
}

TEST_F(Backend, ThreadAttachedByAnOpenIsDetachedAtItsDisconnect)
{
    int rcOpen = -1, rcConn = -1, rcDisc = -1, rcClose = -1;
    jint attachedDuring = JNI_ERR, afterDisconnect = JNI_ERR;
    std::thread other([&] {
        int e2 = 0, conn = 0;
        rcOpen = ops().EnvOpen(nullptr, &e2);
        attachedDuring = attachState();
        rcConn = connect(props("krs_jvm_t2"), pg.trustUser, "", &conn);
        rcDisc = rcConn == 0 ? ops().Disconnect(conn) : -1;
        afterDisconnect = attachState();
        rcClose = ops().EnvClose(e2);
    });
    other.join();
    EXPECT_EQ(rcOpen, 0);
    EXPECT_EQ(attachedDuring, JNI_OK);
    EXPECT_EQ(rcConn, 0);
    EXPECT_EQ(rcDisc, 0);
    EXPECT_EQ(afterDisconnect, JNI_EDETACHED);
    EXPECT_EQ(rcClose, 0);
}

TEST_F(Backend, LastCloseOnADetachedThreadReleasesAndLeavesItDetached)
{
    int conn = 0;
    ASSERT_EQ(connect(props("krs_jvm_lastclose"), pg.trustUser, "", &conn), 0) << drain(env);
    EXPECT_EQ(ops().Disconnect(conn), 0);
    int rc = -1;
    jint before = JNI_ERR, after = JNI_ERR;
    std::thread other([&] {
        before = attachState();
        rc = ops().EnvClose(env);
        after = attachState();
    });
    other.join();
    opened = false;
    EXPECT_EQ(before, JNI_EDETACHED);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(after, JNI_EDETACHED);
    // The next first open builds everything again on this thread.
    ASSERT_EQ(ops().EnvOpen(nullptr, &env), 0);
    opened = true;
    ASSERT_EQ(connect(props("krs_jvm_lastclose2"), pg.trustUser, "", &conn), 0) << drain(env);
    EXPECT_EQ(ops().Disconnect(conn), 0);
}

TEST_F(Backend, ManyThreadsConnectAtOnce)
{
    const int kThreads = 6;
    std::vector<int> rc(kThreads, -1);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            int e2 = 0, conn = 0;
            if (ops().EnvOpen(nullptr, &e2) != 0)
                return;
            int r = connect(props("krs_jvm_many"), pg.trustUser, "", &conn);
            if (r == 0)
                r = ops().Commit(conn) | ops().Disconnect(conn);
            ops().EnvClose(e2);
            rc[i] = r;
        });
    }
    for (auto &t : threads)
        t.join();
    for (int i = 0; i < kThreads; ++i)
        EXPECT_EQ(rc[i], 0) << "thread " << i;
    EXPECT_EQ(PgSessions(pg, "krs_jvm_many", 0), 0);
}
} // namespace

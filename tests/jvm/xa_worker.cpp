// The XA worker proxies in front of the JDBC back end: which thread runs an
// XA connection's operations, and that a worker that ends lets go of the
// Java VM.  Calls go through a binding made by BindOpTable, as the handle
// layer's do, against the PostgreSQL fixture.
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-setup.h"
#include "odbc/build/assembly.h"
#include "odbc/conn.h"
#include "odbc/contract/drv_connect_params.h"
#include "odbc/contract/drv_ops.h"
#include "tests/common/pg_env.h"
#include "tests/common/pg_xa.h"
#include "tests/jvm/jvm_child.h"
#include "tests/jvm/stmt_support.h"
#include "tests/jvm/xa_support.h"
#include "xa/xat.h"
#include "xa/xat_worker.h"
#include "odbc/contract/xid.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

namespace {
JavaVM *theVm()
{
    JavaVM *vm = nullptr;
    jsize n = 0;
    JNI_GetCreatedJavaVMs(&vm, 1, &n);
    return n ? vm : nullptr;
}

bool threadAttached()
{
    JNIEnv *env = nullptr;
    return theVm()->GetEnv(reinterpret_cast<void **>(&env), KRS_JNI_VERSION) == JNI_OK;
}

// Runs work on a new thread that has never entered the Java VM; true when
// the work attached that thread (so some of it ran there).  The thread is
// let go of again before it ends.
bool ranOnCallingThread(const std::function<void()> &work)
{
    bool before = true, after = false;
    std::thread t([&] {
        before = threadAttached();
        work();
        after = threadAttached();
        jvmDetachThread(nullptr);
    });
    t.join();
    EXPECT_FALSE(before);
    return after;
}

// The Java thread of a record's worker, as a global reference (run on the
// worker itself).
jobject workerJavaThread(XaWorkerMode *mode)
{
    struct Ask {
        jobject thread = nullptr;
        static int Run(void *self)
        {
            JNIEnv *env = nullptr;
            if (theVm()->GetEnv(reinterpret_cast<void **>(&env), KRS_JNI_VERSION) != JNI_OK)
                return 0;
            jclass cls = env->FindClass("java/lang/Thread");
            jmethodID current = env->GetStaticMethodID(cls, "currentThread", "()Ljava/lang/Thread;");
            jobject t = env->CallStaticObjectMethod(cls, current);
            if (env->ExceptionCheck()) {
                env->ExceptionClear();
                t = nullptr;
            }
            static_cast<Ask *>(self)->thread = t ? env->NewGlobalRef(t) : nullptr;
            if (t)
                env->DeleteLocalRef(t);
            env->DeleteLocalRef(cls);
            return 0;
        }
    } ask;
    EXPECT_TRUE(XAT_ModePost(mode, &Ask::Run, &ask));
    return ask.thread;
}

// Whether a Java thread is still alive; a native thread that detached
// from the VM is not.  Releases the reference.
bool stillAlive(jobject thread)
{
    JNIEnv *env = nullptr;
    EXPECT_EQ(theVm()->GetEnv(reinterpret_cast<void **>(&env), KRS_JNI_VERSION), JNI_OK);
    jclass cls = env->FindClass("java/lang/Thread");
    jboolean alive = env->CallBooleanMethod(thread, env->GetMethodID(cls, "isAlive", "()Z"));
    EXPECT_FALSE(env->ExceptionCheck());
    env->DeleteLocalRef(cls);
    env->DeleteGlobalRef(thread);
    return alive;
}

class XaWorkerChain : public ::testing::Test {
protected:
    void SetUp() override
    {
        JVM_CHILD_ONLY();
        PgEnv base;
        ASSERT_TRUE(PgEnvLoad(base));
        pg = PgXaDatabase(base, "krs_xa_worker");
        PgRollbackPrepared(pg);
        PgPsql(pg, "drop table if exists xa_w; create table xa_w (id int primary key)");
        DriverLoadSetup();
        drvOptions = DrvOptions{};
        ASSERT_EQ(BindOpTable(&binding), 0);
        t = binding.ops;
        ASSERT_EQ(t->EnvOpen(nullptr, &env), 0);
        opened = true;
        std::string props = xaProps(pg, "krs_xa_worker");
        DrvConnectParams p{};
        p.serverText = "";
        p.dsProps = props.c_str();
        p.user = pg.trustUser.c_str();
        p.password = "";
        ASSERT_EQ(t->Connect(env, &p, &conn), 0) << drainErrors(env);
    }

    void TearDown() override
    {
        if (conn) {
            EXPECT_EQ(t->Disconnect(conn), 0);
        }
        if (opened) {
            EXPECT_EQ(t->EnvClose(env), 0);
        }
        if (!pg.db.empty())
            PgRollbackPrepared(pg);
    }

    // Allocates, runs and frees one statement: proxied slots only.
    void insert(int id)
    {
        int stmt = 0;
        ASSERT_EQ(t->AllocStmt(conn, &stmt), 0) << drainErrors(conn);
        EXPECT_EQ(t->ExecDirect(stmt, ("insert into xa_w values (" + std::to_string(id) + ")").c_str(),
                                nullptr, 0, nullptr),
                  0)
            << drainErrors(stmt);
        EXPECT_EQ(t->FreeStmt(stmt), 0);
    }

    std::string rows() { return PgPsql(pg, "select string_agg(id::text, ',' order by id) from xa_w"); }

    PgEnv pg;
    DrvBinding binding{};
    const DrvOpTable *t = nullptr;
    int env = 0;
    bool opened = false;
    int conn = 0;
};

TEST_F(XaWorkerChain, StatementCallsRunOnTheWorkerWhileTheXaConnectionIsOpen)
{
    EXPECT_TRUE(ranOnCallingThread([&] { insert(1); }));
    ASSERT_EQ(t->XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    DrvConn *c = drvConnOf(conn);
    ASSERT_NE(c->xaMode, nullptr);
    EXPECT_EQ(c->xaMode->useWorker, 1);
    EXPECT_EQ(XAT_GetXaActive(c->xaMode), 1);
    // What the back end asked for: replace the record at the next open, end
    // the worker when the branch stops.
    EXPECT_EQ(c->xaMode->keep, 0);
    ASSERT_NE(c->xaMode->worker, nullptr);
    EXPECT_EQ(c->xaMode->worker->terminate, 1);

    EXPECT_FALSE(ranOnCallingThread([&] { insert(2); }));
    ASSERT_EQ(t->XaClose(conn, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    EXPECT_EQ(XAT_GetXaActive(c->xaMode), 0);
    EXPECT_TRUE(ranOnCallingThread([&] { insert(3); }));
    EXPECT_EQ(rows(), "1,2,3");
}

TEST_F(XaWorkerChain, BranchOperationsRunOnTheWorkerWhichLetsGoOfTheVmWhenItEnds)
{
    ASSERT_EQ(t->XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    DrvConn *c = drvConnOf(conn);
    jobject worker = workerJavaThread(c->xaMode);
    ASSERT_NE(worker, nullptr);
    XID x = makeXid(5, "worker-branch", "b");
    EXPECT_FALSE(ranOnCallingThread([&] {
        EXPECT_EQ(t->XaStart(conn, &x, 0, XA_TMNOFLAGS), XA_OK);
        insert(1);
        EXPECT_EQ(t->XaEnd(conn, &x, 0, XA_TMSUCCESS), XA_OK);
        EXPECT_EQ(t->XaPrepare(conn, &x, 0, XA_TMNOFLAGS), XA_OK);
    }));
    EXPECT_EQ(PgPreparedGids(pg).size(), 1u);
    EXPECT_FALSE(ranOnCallingThread([&] { EXPECT_EQ(t->XaCommit(conn, &x, 0, XA_TMNOFLAGS), XA_OK); }));
    EXPECT_EQ(rows(), "1");

    ASSERT_EQ(t->Disconnect(conn), 0);
    conn = 0;
    EXPECT_FALSE(stillAlive(worker));
}

TEST_F(XaWorkerChain, ASecondOpenReplacesTheRecordAndItsWorker)
{
    ASSERT_EQ(t->XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    DrvConn *c = drvConnOf(conn);
    jobject firstWorker = workerJavaThread(c->xaMode);
    ASSERT_NE(firstWorker, nullptr);
    ASSERT_EQ(t->XaClose(conn, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    ASSERT_EQ(t->XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    // The first worker ended and let go of the VM; the new record inherits
    // the old one's settings without asking the back end again.
    EXPECT_FALSE(stillAlive(firstWorker));
    ASSERT_NE(c->xaMode, nullptr);
    ASSERT_NE(c->xaMode->worker, nullptr);
    EXPECT_TRUE(c->xaMode->worker->thread.StillRunning());
    EXPECT_EQ(c->xaMode->keep, 0);
    EXPECT_EQ(c->xaMode->worker->terminate, 1);
    EXPECT_EQ(XAT_GetXaActive(c->xaMode), 1);
    // An open on the open XA connection is refused and keeps its worker.
    XaWorkerMode *mode = c->xaMode;
    EXPECT_EQ(t->XaOpen(conn, 1, "", 0, XA_TMNOFLAGS), XAER_INVAL);
    EXPECT_EQ(c->xaMode, mode);
    EXPECT_FALSE(ranOnCallingThread([&] { insert(1); }));
}

TEST_F(XaWorkerChain, XaCallsOnAConnectionThatNeverOpenedForXa)
{
    XID x = makeXid(5, "never", "b");
    XID list[1];
    EXPECT_EQ(t->XaStart(conn, &x, 0, XA_TMNOFLAGS), XAER_INVAL);
    EXPECT_EQ(t->XaRecover(conn, list, 1, 0, XA_TMSTARTRSCAN), XAER_INVAL);
    EXPECT_EQ(t->XaClose(conn, "", 0, XA_TMNOFLAGS), XAER_INVAL);
    EXPECT_EQ(drvConnOf(conn)->xaMode, nullptr);
}

TEST_F(XaWorkerChain, WithoutAWorkerTheCallingThreadRunsEverything)
{
    ASSERT_EQ(t->XaOpen(conn, 0, "", 0, XA_TMNOFLAGS), XA_OK) << drainErrors(conn);
    EXPECT_EQ(drvConnOf(conn)->xaMode->worker, nullptr);
    XID x = makeXid(5, "no-worker", "b");
    EXPECT_TRUE(ranOnCallingThread([&] {
        EXPECT_EQ(t->XaStart(conn, &x, 0, XA_TMNOFLAGS), XA_OK);
        insert(1);
        EXPECT_EQ(t->XaEnd(conn, &x, 0, XA_TMSUCCESS), XA_OK);
        EXPECT_EQ(t->XaCommit(conn, &x, 0, XA_TMONEPHASE), XA_OK);
    }));
    EXPECT_EQ(rows(), "1");
}
} // namespace

// A transaction monitor driving each library through its XA switch: the
// library is loaded with dlopen, the switch taken from krs_xa_switch, the
// resource manager opened with an xa_info naming the test data source, and
// the work done on the connection SQLGetXaConnect hands out, through the
// library's own entry points (these are driver handles, not the Driver
// Manager's).  Outcomes are checked over separate psql sessions.  unixODBC
// is linked into this program, so its SQLAllocHandle, SQLDriverConnect ...
// are visible process-wide: the switch must reach the driver's own.
#include <gtest/gtest.h>

#include <jni.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/pg_env.h"
#include "tests/common/pg_xa.h"
#include "tests/e2e/xa_monitor.h"

using namespace xamon;

namespace {

// Runs f on a thread of its own (a monitor thread with no XA context yet).
void OnThread(const std::function<void()> &f)
{
    std::thread t(f);
    t.join();
}

// The Java VM the driver runs in this process.
JavaVM *DriverVm()
{
    void *jvm = dlopen("libjvm.so", RTLD_NOW | RTLD_NOLOAD);
    if (!jvm)
        return nullptr;
    auto created = reinterpret_cast<jint (*)(JavaVM **, jsize, jsize *)>(
        dlsym(jvm, "JNI_GetCreatedJavaVMs"));
    JavaVM *vm = nullptr;
    jsize n = 0;
    if (!created || created(&vm, 1, &n) != JNI_OK || n < 1)
        vm = nullptr;
    dlclose(jvm);
    return vm;
}

// Text of a Java String (ASCII), or "".
std::string JavaText(JNIEnv *env, jstring s)
{
    if (!s)
        return "";
    const char *chars = env->GetStringUTFChars(s, nullptr);
    std::string text = chars ? chars : "";
    if (chars)
        env->ReleaseStringUTFChars(s, chars);
    return text;
}

// Names of the Java threads whose stack shows a JDBC statement executing.
std::vector<std::string> ExecutingThreads(JNIEnv *env)
{
    std::vector<std::string> names;
    if (env->PushLocalFrame(32) != 0)
        return names;
    jclass threadCls = env->FindClass("java/lang/Thread");
    jclass arraysCls = env->FindClass("java/util/Arrays");
    jclass mapCls = env->FindClass("java/util/Map");
    jclass setCls = env->FindClass("java/util/Set");
    jclass entryCls = env->FindClass("java/util/Map$Entry");
    jmethodID getAll = env->GetStaticMethodID(threadCls, "getAllStackTraces", "()Ljava/util/Map;");
    jmethodID entrySet = env->GetMethodID(mapCls, "entrySet", "()Ljava/util/Set;");
    jmethodID toArray = env->GetMethodID(setCls, "toArray", "()[Ljava/lang/Object;");
    jmethodID getKey = env->GetMethodID(entryCls, "getKey", "()Ljava/lang/Object;");
    jmethodID getValue = env->GetMethodID(entryCls, "getValue", "()Ljava/lang/Object;");
    jmethodID getName = env->GetMethodID(threadCls, "getName", "()Ljava/lang/String;");
    jmethodID framesText =
        env->GetStaticMethodID(arraysCls, "toString", "([Ljava/lang/Object;)Ljava/lang/String;");
    jobject map = env->CallStaticObjectMethod(threadCls, getAll);
    jobject set = env->ExceptionCheck() ? nullptr : env->CallObjectMethod(map, entrySet);
    auto entries = static_cast<jobjectArray>(env->ExceptionCheck() ? nullptr
                                                                   : env->CallObjectMethod(set, toArray));
    jsize n = entries && !env->ExceptionCheck() ? env->GetArrayLength(entries) : 0;
    for (jsize i = 0; i < n && !env->ExceptionCheck(); ++i) {
        jobject entry = env->GetObjectArrayElement(entries, i);
        jobject thread = env->CallObjectMethod(entry, getKey);
        jobject frames = env->ExceptionCheck() ? nullptr : env->CallObjectMethod(entry, getValue);
        auto text = static_cast<jstring>(
            env->ExceptionCheck() ? nullptr : env->CallStaticObjectMethod(arraysCls, framesText, frames));
        auto name = static_cast<jstring>(env->ExceptionCheck() ? nullptr
                                                               : env->CallObjectMethod(thread, getName));
        if (!env->ExceptionCheck() &&
            JavaText(env, text).find("org.postgresql.jdbc.PgStatement.execute") != std::string::npos)
            names.push_back(JavaText(env, name));
        for (jobject ref : {entry, thread, frames, static_cast<jobject>(text), static_cast<jobject>(name)})
            if (ref)
                env->DeleteLocalRef(ref);
    }
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        env->ExceptionClear();
    }
    env->PopLocalFrame(nullptr);
    return names;
}

// A one-shot signal between test threads.
class Signal {
public:
    void Raise()
    {
        std::lock_guard<std::mutex> lk(m_);
        raised_ = true;
        cv_.notify_all();
    }
    void Wait()
    {
        std::unique_lock<std::mutex> lk(m_);
        cv_.wait(lk, [this] { return raised_; });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool raised_ = false;
};

class XaMonitor : public ::testing::TestWithParam<Library> {
protected:
    void SetUp() override
    {
        PgEnv base;
        ASSERT_TRUE(PgEnvLoad(base));
        pg = PgXaDatabase(base, "krs_xa_e2e");
        PgRollbackPrepared(pg);
        table = std::string("xa_m_") + GetParam().dsn;
        PgPsql(pg, "drop table if exists " + table + "; create table " + table +
                       " (id int primary key, v text)");
        app = std::string("krs_xa_mon_") + GetParam().dsn;
        info = XaInfo(GetParam(), pg.port, pg.db, app);
        drv.reset(new Driver(pg.libdir, GetParam()));
        ASSERT_TRUE(drv->Loaded()) << dlerror();
        sw = drv->sw;
    }

    void TearDown() override
    {
        if (!pg.db.empty())
            PgRollbackPrepared(pg);
    }

    char *Info() { return &info[0]; }

    std::string Rows()
    {
        return PgPsql(pg, "select string_agg(id::text, ',' order by id) from " + table);
    }

    // The calling thread's XA connection (after its xa_open).
    SQLHDBC XaConn()
    {
        SQLHDBC dbc = nullptr;
        EXPECT_EQ(drv->getXaConnect(&dbc), SQL_SUCCESS);
        EXPECT_NE(dbc, nullptr);
        return dbc;
    }

    void Insert(SQLHDBC dbc, int id)
    {
        std::string diag;
        EXPECT_TRUE(SQL_SUCCEEDED(drv->Exec(dbc, "insert into " + table + " values (" +
                                                     std::to_string(id) + ", 'x')",
                                            &diag)))
            << diag;
    }

    // xa_start, one insert, xa_end(TMSUCCESS) on the calling thread's RM.
    void Work(XID &x, int id, int rmid = 1)
    {
        ASSERT_EQ(sw->xa_start_entry(&x, rmid, TMNOFLAGS), XA_OK);
        Insert(XaConn(), id);
        ASSERT_EQ(sw->xa_end_entry(&x, rmid, TMSUCCESS), XA_OK);
    }

    PgEnv pg;
    std::string table, app, info;
    std::unique_ptr<Driver> drv;
    xa_switch_t *sw = nullptr;
};

TEST_P(XaMonitor, LibraryExportsTheSwitchAndTheXaHandleFunctions)
{
    for (const char *name : {"krs_xa_switch", "GetXaSwitch", "SQLGetXaEnv", "SQLGetXaConnect"})
        EXPECT_NE(drv->Symbol(name), nullptr) << name;
    EXPECT_STREQ(sw->name, "KESTRUNE");
    EXPECT_EQ(sw->flags, TMNOFLAGS);
    EXPECT_EQ(sw->version, 0);
    auto again = reinterpret_cast<xa_switch_t *(*)()>(drv->Symbol("krs_xa_switch"));
    EXPECT_EQ(again(), sw);
    // The coordinator's way to the same record: the record, or a failure that
    // leaves the pointer alone while no coordinator link can be made.
    auto get = reinterpret_cast<int32_t (*)(uint32_t, xa_switch_t **)>(drv->Symbol("GetXaSwitch"));
    xa_switch_t *viaCoordinator = reinterpret_cast<xa_switch_t *>(0x1);
    int32_t hr = get(0, &viaCoordinator);
    if (hr == 0)
        EXPECT_EQ(viaCoordinator, sw);
    else
        EXPECT_EQ(viaCoordinator, reinterpret_cast<xa_switch_t *>(0x1));
    EXPECT_EQ(get(0, nullptr), static_cast<int32_t>(0x80070057u));
}

TEST_P(XaMonitor, PreparedBranchIsCommittedFromAnotherThreadsOwnOpen)
{
    // unixODBC's SQLDriverConnect is the one the process finds by name.
    void *dm = reinterpret_cast<void *>(&::SQLDriverConnect);
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "SQLDriverConnect"), dm);
    EXPECT_NE(drv->Symbol("SQLDriverConnect"), dm);
    XID x = MakeXid(0x4B52, "monitor-gtrid", "branch-1");
    OnThread([&] {
        ASSERT_EQ(sw->xa_open_entry(Info(), 1, TMNOFLAGS), XA_OK);
        SQLHENV env = nullptr;
        EXPECT_EQ(drv->getXaEnv(&env), SQL_SUCCESS);
        EXPECT_NE(env, nullptr);
        Work(x, 1);
        EXPECT_EQ(sw->xa_prepare_entry(&x, 1, TMNOFLAGS), XA_OK);
        EXPECT_EQ(PgPreparedGids(pg),
                  std::vector<std::string>{XaGid(0x4B52, "monitor-gtrid", "branch-1")});
        EXPECT_EQ(Rows(), "");
        EXPECT_EQ(sw->xa_close_entry(Info(), 1, TMNOFLAGS), XA_OK);
    });
    EXPECT_EQ(Rows(), "");
    OnThread([&] {
        ASSERT_EQ(sw->xa_open_entry(Info(), 7, TMNOFLAGS), XA_OK);
        EXPECT_EQ(sw->xa_commit_entry(&x, 7, TMNOFLAGS), XA_OK);
        EXPECT_EQ(sw->xa_close_entry(Info(), 7, TMNOFLAGS), XA_OK);
    });
    EXPECT_EQ(Rows(), "1");
    EXPECT_TRUE(PgPreparedGids(pg).empty());
    EXPECT_EQ(PgSessions(pg, app, 0), 0);
}

TEST_P(XaMonitor, RollbackAndOnePhaseCommit)
{
    OnThread([&] {
        ASSERT_EQ(sw->xa_open_entry(Info(), 1, TMNOFLAGS), XA_OK);
        XID a = MakeXid(1, "rolled-back", "b");
        Work(a, 1);
        EXPECT_EQ(sw->xa_rollback_entry(&a, 1, TMNOFLAGS), XA_OK);
        XID b = MakeXid(1, "one-phase", "b");
        Work(b, 2);
        EXPECT_EQ(sw->xa_commit_entry(&b, 1, TMONEPHASE), XA_OK);
        // Outside a branch the connection commits each statement itself.
        Insert(XaConn(), 3);
        EXPECT_EQ(sw->xa_close_entry(Info(), 1, TMNOFLAGS), XA_OK);
    });
    EXPECT_EQ(Rows(), "2,3");
}

TEST_P(XaMonitor, RecoverAfterAReopenListsThePreparedBranch)
{
    XID x = MakeXid(77, std::string(64, 'G'), std::string(64, 'Q'));
    OnThread([&] {
        ASSERT_EQ(sw->xa_open_entry(Info(), 1, TMNOFLAGS), XA_OK);
        Work(x, 1);
        EXPECT_EQ(sw->xa_prepare_entry(&x, 1, TMNOFLAGS), XA_OK);
        EXPECT_EQ(sw->xa_close_entry(Info(), 1, TMNOFLAGS), XA_OK);
        ASSERT_EQ(sw->xa_open_entry(Info(), 1, TMNOFLAGS), XA_OK);
        XID found[8];
        memset(found, 0x5A, sizeof found);
        ASSERT_EQ(sw->xa_recover_entry(found, 8, 1, TMSTARTRSCAN | TMENDRSCAN), 1);
        EXPECT_EQ(found[0].formatID, 77);
        EXPECT_EQ(found[0].gtrid_length, 64);
        EXPECT_EQ(found[0].bqual_length, 64);
        EXPECT_EQ(memcmp(found[0].data, x.data, XIDDATASIZE), 0);
        // A scan that asks for more than one chunk of identifiers.
        std::vector<XID> many(300);
        EXPECT_EQ(sw->xa_recover_entry(many.data(), 300, 1, TMSTARTRSCAN), 1);
        EXPECT_EQ(sw->xa_recover_entry(many.data(), 300, 1, TMENDRSCAN), 0);
        EXPECT_EQ(sw->xa_recover_entry(many.data(), 300, 1, TMNOFLAGS), XAER_INVAL);
        EXPECT_EQ(sw->xa_rollback_entry(&found[0], 1, TMNOFLAGS), XA_OK);
        EXPECT_EQ(sw->xa_close_entry(Info(), 1, TMNOFLAGS), XA_OK);
    });
    EXPECT_TRUE(PgPreparedGids(pg).empty());
    EXPECT_EQ(Rows(), "");
}

TEST_P(XaMonitor, MisuseGetsTheXaErrorCodes)
{
    XID x = MakeXid(1, "misuse", "b");
    OnThread([&] {
        // Nothing open on this thread.
        EXPECT_EQ(sw->xa_start_entry(&x, 1, TMNOFLAGS), XAER_RMERR);
        SQLHDBC none = reinterpret_cast<SQLHDBC>(0x1);
        EXPECT_EQ(drv->getXaConnect(&none), SQL_ERROR);
        EXPECT_EQ(none, nullptr);
        EXPECT_EQ(drv->getXaConnect(nullptr), SQL_ERROR);
        // xa_info texts the resource manager cannot take.
        char noDsn[] = "URL={serverName=127.0.0.1}";
        EXPECT_EQ(sw->xa_open_entry(noDsn, 1, TMNOFLAGS), XAER_RMERR);
        EXPECT_EQ(sw->xa_open_entry(nullptr, 1, TMNOFLAGS), XAER_RMERR);
        std::string tooLong = info + ";" + std::string(300, 'x');
        EXPECT_EQ(sw->xa_open_entry(&tooLong[0], 1, TMNOFLAGS), XAER_INVAL);
    });

    OnThread([&] {
        ASSERT_EQ(sw->xa_open_entry(Info(), 1, TMNOFLAGS), XA_OK);
        SQLHDBC mine = XaConn();
        // The same open again has no effect; another resource manager on
        // this thread is refused.
        EXPECT_EQ(sw->xa_open_entry(Info(), 1, TMNOFLAGS), XA_OK);
        EXPECT_EQ(XaConn(), mine);
        EXPECT_EQ(sw->xa_open_entry(Info(), 2, TMNOFLAGS), XAER_RMERR);
        // Another thread, and another rmid on this one, have no such RM.
        OnThread([&] {
            EXPECT_EQ(sw->xa_start_entry(&x, 1, TMNOFLAGS), XAER_RMERR);
            SQLHDBC other = reinterpret_cast<SQLHDBC>(0x1);
            EXPECT_EQ(drv->getXaConnect(&other), SQL_ERROR);
            EXPECT_EQ(other, nullptr);
        });
        EXPECT_EQ(sw->xa_start_entry(&x, 2, TMNOFLAGS), XAER_RMERR);
        int handle = 0, result = 0;
        EXPECT_EQ(sw->xa_complete_entry(&handle, &result, 1, TMNOFLAGS), XAER_INVAL);
        // Identifiers and flags the driver cannot carry.
        XID bad = x;
        bad.gtrid_length = 65;
        EXPECT_EQ(sw->xa_start_entry(&bad, 1, TMNOFLAGS), XAER_INVAL);
        bad = x;
        bad.bqual_length = -1;
        EXPECT_EQ(sw->xa_start_entry(&bad, 1, TMNOFLAGS), XAER_INVAL);
        bad = x;
        bad.formatID = 1L << 40;
        EXPECT_EQ(sw->xa_start_entry(&bad, 1, TMNOFLAGS), XAER_INVAL);
        // The null identifier, and one without a global transaction
        // identifier, name no branch.
        bad = x;
        bad.formatID = -1;
        EXPECT_EQ(sw->xa_start_entry(&bad, 1, TMNOFLAGS), XAER_INVAL);
        bad = MakeXid(1, "", "b");
        EXPECT_EQ(sw->xa_start_entry(&bad, 1, TMNOFLAGS), XAER_INVAL);
        bad = MakeXid(1, "", "");
        EXPECT_EQ(sw->xa_start_entry(&bad, 1, TMNOFLAGS), XAER_INVAL);
        EXPECT_EQ(sw->xa_start_entry(nullptr, 1, TMNOFLAGS), XAER_INVAL);
        EXPECT_EQ(sw->xa_start_entry(&x, 1, 1L << 40), XAER_INVAL);
        EXPECT_EQ(sw->xa_start_entry(&x, 1, TMASYNC), XAER_INVAL);
        XID list[2];
        EXPECT_EQ(sw->xa_recover_entry(list, -1, 1, TMSTARTRSCAN), XAER_INVAL);
        EXPECT_EQ(sw->xa_recover_entry(nullptr, 2, 1, TMSTARTRSCAN), XAER_INVAL);
        // The resource's own error codes come through unchanged.
        EXPECT_EQ(sw->xa_commit_entry(&x, 1, TMNOFLAGS), XAER_NOTA);
        EXPECT_EQ(sw->xa_rollback_entry(&x, 1, TMNOFLAGS), XAER_NOTA);

        // A close text that differs from the open's leaves the RM open.
        std::string other = info + ";";
        EXPECT_EQ(sw->xa_close_entry(&other[0], 1, TMNOFLAGS), XAER_RMERR);
        EXPECT_EQ(sw->xa_start_entry(&x, 1, TMNOFLAGS), XA_OK);
        EXPECT_EQ(sw->xa_end_entry(&x, 1, TMFAIL), XA_OK);
        EXPECT_EQ(sw->xa_rollback_entry(&x, 1, TMNOFLAGS), XA_OK);
        EXPECT_EQ(sw->xa_close_entry(Info(), 1, TMNOFLAGS), XA_OK);
        EXPECT_EQ(sw->xa_start_entry(&x, 1, TMNOFLAGS), XAER_RMERR);
        SQLHDBC gone = reinterpret_cast<SQLHDBC>(0x1);
        EXPECT_EQ(drv->getXaConnect(&gone), SQL_ERROR);
        EXPECT_EQ(gone, nullptr);
    });
    EXPECT_EQ(PgSessions(pg, app, 0), 0);
}

TEST_P(XaMonitor, StartingABranchThatIsPreparedAlreadyIsRefused)
{
    XID x = MakeXid(0x4B52, "prepared-once", "b");
    OnThread([&] {
        ASSERT_EQ(sw->xa_open_entry(Info(), 1, TMNOFLAGS), XA_OK);
        Work(x, 1);
        EXPECT_EQ(sw->xa_prepare_entry(&x, 1, TMNOFLAGS), XA_OK);
        EXPECT_EQ(sw->xa_start_entry(&x, 1, TMNOFLAGS), XAER_DUPID);
        // The branch stays prepared, and this resource manager commits it.
        EXPECT_EQ(PgPreparedGids(pg), std::vector<std::string>{XaGid(0x4B52, "prepared-once", "b")});
        EXPECT_EQ(sw->xa_commit_entry(&x, 1, TMNOFLAGS), XA_OK);
        EXPECT_EQ(Rows(), "1");
        // Once it is gone the identifier names a new branch again.
        Work(x, 2);
        EXPECT_EQ(sw->xa_prepare_entry(&x, 1, TMNOFLAGS), XA_OK);
        EXPECT_EQ(sw->xa_close_entry(Info(), 1, TMNOFLAGS), XA_OK);
    });
    // Prepared by another resource manager of the same database.
    OnThread([&] {
        ASSERT_EQ(sw->xa_open_entry(Info(), 2, TMNOFLAGS), XA_OK);
        EXPECT_EQ(sw->xa_start_entry(&x, 2, TMNOFLAGS), XAER_DUPID);
        EXPECT_EQ(sw->xa_rollback_entry(&x, 2, TMNOFLAGS), XA_OK);
        EXPECT_EQ(sw->xa_close_entry(Info(), 2, TMNOFLAGS), XA_OK);
    });
    EXPECT_TRUE(PgPreparedGids(pg).empty());
    EXPECT_EQ(Rows(), "1");
}

TEST_P(XaMonitor, CloseWithAnActiveBranchIsAProtocolErrorAndKeepsTheResourceManager)
{
    OnThread([&] {
        ASSERT_EQ(sw->xa_open_entry(Info(), 1, TMNOFLAGS), XA_OK);
        SQLHDBC mine = XaConn();
        XID x = MakeXid(1, "active-at-close", "b");
        ASSERT_EQ(sw->xa_start_entry(&x, 1, TMNOFLAGS), XA_OK);
        Insert(mine, 1);
        EXPECT_EQ(sw->xa_close_entry(Info(), 1, TMNOFLAGS), XAER_PROTO);
        // The resource manager, its connection and the branch go on.
        EXPECT_EQ(XaConn(), mine);
        Insert(mine, 2);
        EXPECT_EQ(sw->xa_end_entry(&x, 1, TMSUCCESS), XA_OK);
        EXPECT_EQ(sw->xa_commit_entry(&x, 1, TMONEPHASE), XA_OK);
        EXPECT_EQ(Rows(), "1,2");
        // A branch rolled back while active no longer holds the close.
        XID y = MakeXid(1, "rolled-back-active", "b");
        ASSERT_EQ(sw->xa_start_entry(&y, 1, TMNOFLAGS), XA_OK);
        Insert(mine, 3);
        EXPECT_EQ(sw->xa_close_entry(Info(), 1, TMNOFLAGS), XAER_PROTO);
        EXPECT_EQ(sw->xa_rollback_entry(&y, 1, TMNOFLAGS), XA_OK);
        // Nor does an ended branch (the close ends its work).
        XID z = MakeXid(1, "ended-at-close", "b");
        Work(z, 4);
        EXPECT_EQ(sw->xa_close_entry(Info(), 1, TMNOFLAGS), XA_OK);
        EXPECT_EQ(sw->xa_start_entry(&z, 1, TMNOFLAGS), XAER_RMERR);
    });
    EXPECT_EQ(Rows(), "1,2");
    EXPECT_TRUE(PgPreparedGids(pg).empty());
    EXPECT_EQ(PgSessions(pg, app, 0), 0);
}

TEST_P(XaMonitor, StatementWorkRunsOnTheWorkerThreadNotTheApplications)
{
    JavaVM *vm = DriverVm();
    ASSERT_NE(vm, nullptr);
    JNIEnv *mainEnv = nullptr;
    bool attachedHere = false;
    if (vm->GetEnv(reinterpret_cast<void **>(&mainEnv), JNI_VERSION_1_4) == JNI_EDETACHED) {
        ASSERT_EQ(vm->AttachCurrentThread(reinterpret_cast<void **>(&mainEnv), nullptr), JNI_OK);
        attachedHere = true;
    }
    PgPsql(pg, "insert into " + table + " values (1, 'free')");

    // Another branch holds the row, so that the application's update waits
    // inside the JDBC driver on whatever thread runs it.
    Signal held, release, holderDone;
    std::thread holder([&] {
        XID h = MakeXid(1, "holder", "b");
        EXPECT_EQ(sw->xa_open_entry(Info(), 2, TMNOFLAGS), XA_OK);
        EXPECT_EQ(sw->xa_start_entry(&h, 2, TMNOFLAGS), XA_OK);
        std::string diag;
        EXPECT_TRUE(SQL_SUCCEEDED(
            drv->Exec(XaConn(), "update " + table + " set v = 'held' where id = 1", &diag)))
            << diag;
        held.Raise();
        release.Wait();
        EXPECT_EQ(sw->xa_end_entry(&h, 2, TMSUCCESS), XA_OK);
        EXPECT_EQ(sw->xa_rollback_entry(&h, 2, TMNOFLAGS), XA_OK);
        EXPECT_EQ(sw->xa_close_entry(Info(), 2, TMNOFLAGS), XA_OK);
        holderDone.Raise();
    });
    held.Wait();

    const char *appName = "krs-xa-application";
    // The open connects on the application's thread (pgjdbc runs its start-up
    // queries there): the watch begins once the branch has started.
    Signal started;
    std::thread application([&] {
        struct RaiseAtExit {
            Signal &s;
            ~RaiseAtExit() { s.Raise(); }
        } raiseAtExit{started};  // never leaves the watcher waiting
        JNIEnv *env = nullptr;
        JavaVMAttachArgs args{JNI_VERSION_1_4, const_cast<char *>(appName), nullptr};
        ASSERT_EQ(vm->AttachCurrentThread(reinterpret_cast<void **>(&env), &args), JNI_OK);
        XID x = MakeXid(1, "application", "b");
        EXPECT_EQ(sw->xa_open_entry(Info(), 1, TMNOFLAGS), XA_OK);
        EXPECT_EQ(sw->xa_start_entry(&x, 1, TMNOFLAGS), XA_OK);
        started.Raise();
        std::string diag;
        EXPECT_TRUE(SQL_SUCCEEDED(
            drv->Exec(XaConn(), "update " + table + " set v = 'mine' where id = 1", &diag)))
            << diag;
        EXPECT_EQ(sw->xa_end_entry(&x, 1, TMSUCCESS), XA_OK);
        EXPECT_EQ(sw->xa_commit_entry(&x, 1, TMONEPHASE), XA_OK);
        EXPECT_EQ(sw->xa_close_entry(Info(), 1, TMNOFLAGS), XA_OK);
        vm->DetachCurrentThread();
    });

    started.Wait();
    // Bounded wait for the update to show on a Java stack.
    std::vector<std::string> executing;
    for (int i = 0; i < 600 && executing.empty(); ++i) {
        executing = ExecutingThreads(mainEnv);
        if (executing.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (attachedHere)
        vm->DetachCurrentThread();
    release.Raise();
    application.join();
    holder.join();
    ASSERT_EQ(executing.size(), 1u) << "no JDBC statement seen executing";
    EXPECT_NE(executing[0], appName);
    EXPECT_EQ(PgPsql(pg, "select v from " + table + " where id = 1"), "mine");
}

// A second server of the test's own with max_prepared_transactions = 0,
// stopped when the test ends, whatever its outcome.
class SecondServer {
public:
    explicit SecondServer(const PgEnv &first) : env_(first)
    {
        char tmpl[] = "/tmp/krs-pg2-XXXXXX";
        if (!mkdtemp(tmpl))
            return;
        state_ = tmpl;
        std::string cmd = "KRS_PG_MAX_PREPARED=0 '" + first.srcdir + "/tests/pg/pg_fixture.sh' start '" +
                          state_ + "' '" + first.libdir + "' >/dev/null 2>&1";
        if (system(cmd.c_str()) != 0)
            return;
        std::ifstream in(state_ + "/pg.env");
        for (std::string line; std::getline(in, line);)
            if (line.rfind("KRS_PG_PORT=", 0) == 0)
                env_.port = std::atoi(line.c_str() + 12);
        env_.db = "krs_test";
    }
    ~SecondServer()
    {
        if (state_.empty())
            return;
        std::string cmd = "'" + env_.srcdir + "/tests/pg/pg_fixture.sh' stop '" + state_ +
                          "' >/dev/null 2>&1; rm -rf '" + state_ + "'";
        if (system(cmd.c_str()) != 0)
            ADD_FAILURE() << "the second server did not stop";
    }
    bool Running() const { return env_.port != 0 && !state_.empty(); }
    const PgEnv &Env() const { return env_; }

private:
    PgEnv env_;
    std::string state_;
};

TEST(XaSecondServer, PrepareWithPreparedTransactionsDisabledFailsCleanly)
{
    PgEnv first;
    ASSERT_TRUE(PgEnvLoad(first));
    first.port = 0;
    SecondServer server(first);
    ASSERT_TRUE(server.Running());
    const PgEnv &pg = server.Env();
    EXPECT_EQ(PgPsql(pg, "show max_prepared_transactions"), "0");
    PgPsql(pg, "create table xa_off (id int primary key)");
    for (const Library &lib : kLibraries) {
        SCOPED_TRACE(lib.dsn);
        Driver drv(pg.libdir, lib);
        ASSERT_TRUE(drv.Loaded());
        std::string app = std::string("krs_xa_off_") + lib.dsn;
        std::string info = XaInfo(lib, pg.port, pg.db, app);
        OnThread([&] {
            xa_switch_t *sw = drv.sw;
            ASSERT_EQ(sw->xa_open_entry(&info[0], 1, TMNOFLAGS), XA_OK);
            SQLHDBC dbc = nullptr;
            ASSERT_EQ(drv.getXaConnect(&dbc), SQL_SUCCESS);
            XID x = MakeXid(1, std::string("off-") + lib.dsn, "b");
            ASSERT_EQ(sw->xa_start_entry(&x, 1, TMNOFLAGS), XA_OK);
            std::string diag;
            EXPECT_TRUE(SQL_SUCCEEDED(drv.Exec(dbc, "insert into xa_off values (1)", &diag))) << diag;
            ASSERT_EQ(sw->xa_end_entry(&x, 1, TMSUCCESS), XA_OK);
            // The JDBC driver's own code for the refused PREPARE TRANSACTION,
            // passed on as it is; the server rolled the branch back.
            EXPECT_EQ(sw->xa_prepare_entry(&x, 1, TMNOFLAGS), -7 /* XAER_RMFAIL */);
            sw->xa_rollback_entry(&x, 1, TMNOFLAGS);
            // The connection goes on serving new branches.
            XID y = MakeXid(1, std::string("after-") + lib.dsn, "b");
            EXPECT_EQ(sw->xa_start_entry(&y, 1, TMNOFLAGS), XA_OK);
            EXPECT_TRUE(SQL_SUCCEEDED(drv.Exec(dbc, "select 1", &diag))) << diag;
            EXPECT_EQ(sw->xa_end_entry(&y, 1, TMSUCCESS), XA_OK);
            EXPECT_EQ(sw->xa_commit_entry(&y, 1, TMONEPHASE), XA_OK);
            EXPECT_EQ(sw->xa_close_entry(&info[0], 1, TMNOFLAGS), XA_OK);
        });
        EXPECT_EQ(PgPsql(pg, "select count(*) from pg_prepared_xacts"), "0");
        EXPECT_EQ(PgPsql(pg, "select count(*) from xa_off"), "0");
        EXPECT_EQ(PgSessions(pg, app, 0), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Libraries, XaMonitor, ::testing::ValuesIn(kLibraries));

// A monitor opens its resource managers on its main thread first, as this
// one does: the Java VM then belongs to a thread that lives as long as the
// process.
class MainThreadOpen : public ::testing::Environment {
public:
    void SetUp() override
    {
        PgEnv base;
        if (!PgEnvLoad(base))
            return;
        PgEnv pg = PgXaDatabase(base, "krs_xa_e2e");
        Driver drv(pg.libdir, kLibraries[0]);
        if (!drv.Loaded())
            return;
        std::string info = XaInfo(kLibraries[0], pg.port, pg.db, "krs_xa_mon_main");
        EXPECT_EQ(drv.sw->xa_open_entry(&info[0], 99, TMNOFLAGS), XA_OK);
        EXPECT_EQ(drv.sw->xa_close_entry(&info[0], 99, TMNOFLAGS), XA_OK);
    }
};

const auto *const kMainThreadOpen = ::testing::AddGlobalTestEnvironment(new MainThreadOpen);

} // namespace

// The Java VM service: DRV_EnvOpen, DRV_EnvClose, VM creation and the
// attached-thread list.
#include "drv_jdbc/j-serv.h"

#include "drv_jdbc/j-cds.h"
#include "drv_jdbc/j-classes.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-setup.h"
#include "drv_jdbc/j-signals.h"
#include "util/hash.h"
#include "util/log.h"
#include "util/strutil.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#define SRC "drv_jdbc/j-serv"

const char DRV_JarList[] = "postgresql-8.1-405.jdbc3.jar";

JvmService jvmService;
HandleTable drvEnvTable;
HandleTable drvConnTable;
HandleTable drvStmtTable;

namespace {
constexpr int kMaxVmItems = 100;

const char *jniCodeText(int code)
{
    switch (code) {
    case JNI_EINVAL: return "invalid arguments";
    case JNI_EEXIST: return "VM already created";
    case JNI_ENOMEM: return "not enough memory";
    case JNI_EVERSION: return "JNI version error";
    case JNI_EDETACHED: return "thread detached from the VM";
    default: return "unknown error";
    }
}

void listPut(JNIEnv *env, int mark)
{
    PL_CsGuard guard(jvmService.listLock);
    if (jvmService.attached)
        HASH_Put(jvmService.attached, &env, static_cast<uint64_t>(mark));
}

void listDelete(JNIEnv *env)
{
    PL_CsGuard guard(jvmService.listLock);
    if (jvmService.attached)
        HASH_Delete(jvmService.attached, &env);
}

void listFree()
{
    PL_CsGuard guard(jvmService.listLock);
    HASH_Free(jvmService.attached);
    jvmService.attached = nullptr;
}

// The calling thread's JNIEnv, attaching it when it has none; `attached`
// tells whether this call attached it.  NULL when the VM refuses.
JNIEnv *envOfThread(bool *attached)
{
    *attached = false;
    JavaVM *vm = jvmService.vm;
    if (!vm)
        return nullptr;
    JNIEnv *env = nullptr;
    jint rc = vm->GetEnv(reinterpret_cast<void **>(&env), KRS_JNI_VERSION);
    if (rc == JNI_OK)
        return env;
    if (rc == JNI_EVERSION)
        return nullptr;
    JavaVMAttachArgs args{KRS_JNI_VERSION, nullptr, nullptr};
    if (vm->AttachCurrentThread(reinterpret_cast<void **>(&env), &args) != JNI_OK)
        return nullptr;
    *attached = true;
    return env;
}

} // namespace

std::string jvmClassPath(const char *dir)
{
    std::string list = DRV_JarList;
    std::string path;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos)
            end = list.size();
        std::string entry = list.substr(start, end - start);
        bool last = end == list.size();
        if (!(last && entry.empty())) {
            if (!path.empty())
                path += ';';
            path += dir;
            path += entry;
        }
        start = end + 1;
    }
    return path;
}

namespace {

void destroyTables()
{
    HT_Destroy(&drvStmtTable);
    HT_Destroy(&drvConnTable);
    HT_Destroy(&drvEnvTable);
}

// Releases the environment's global references, and the classes the call
// layer keeps with its method IDs, with the calling thread's JNIEnv; a thread
// without one is attached for the release and detached again.
void releaseEnvRefs(DrvEnv *e, JNIEnv *env)
{
    if (!jvmService.vm)
        return;
    bool attachedHere = false;
    if (!env)
        env = envOfThread(&attachedHere);
    if (!env)
        return;
    jc_ForgetMethods(env);
    e->xidClass.Drop(env);
    e->classLoader.Drop(env);
    if (attachedHere)
        jvmService.vm->DetachCurrentThread();
}

int firstOpen(int *outEnv)
{
    if (HT_Init(&drvEnvTable, 0x0DBCAAAA) != 0 || HT_Init(&drvConnTable, 0x0DBCBBBB) != 0 ||
        HT_Init(&drvStmtTable, 0x0DBCCCCC) != 0) {
        destroyTables();
        return ERR_GENERAL;
    }
    *outEnv = 0;
    listFree();
    jvmService.attached = HASH_Create(1024, 8);
    if (!jvmService.attached) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't create environment list");
        destroyTables();
        return ERR_MEMORY_ALLOCATION;
    }
    DrvEnv *e = new (std::nothrow) DrvEnv();
    if (!e) {
        listFree();
        destroyTables();
        return ERR_MEMORY_ALLOCATION;
    }
    auto fail = [&](int rc, JNIEnv *env) {
        releaseEnvRefs(e, env);
        delete e;
        listFree();
        destroyTables();
        return rc;
    };

    JavaVM *vms[2] = {nullptr, nullptr};
    jsize count = 0;
    if (JNI_GetCreatedJavaVMs(vms, 2, &count) == JNI_OK && count > 0) {
        jvmService.vm = vms[0];
        jvmSignalsAfterVm();
    } else {
        int rc = jc_CreateJavaVM();
        if (rc < 0) {
            LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't create Java VM [%d|%s]", rc,
                       jniCodeText(rc));
            return fail(ERR_GENERAL, nullptr);
        }
    }
    JNIEnv *env = nullptr;
    jint rc = jvmService.vm->GetEnv(reinterpret_cast<void **>(&env), KRS_JNI_VERSION);
    if (rc == JNI_EDETACHED) {
        JavaVMAttachArgs args{KRS_JNI_VERSION, nullptr, nullptr};
        if (jvmService.vm->AttachCurrentThread(reinterpret_cast<void **>(&env), &args) != JNI_OK)
            env = nullptr;
    }
    if (!env) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't attach JVM to current thread");
        return fail(ERR_GENERAL, nullptr);
    }
    jvmService.firstEnv = env;

    {
        JniLocalFrame frame(env, 64);
        if (!frame.ok())
            return fail(ERR_MEMORY_ALLOCATION, env);
        jclass xid = nullptr;
        if (jc_DefineXAXidClass(env, &xid) != 0 || !xid) {
            jc_ClearException(env);
            LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't load XID class");
            frame.pop();
            return fail(ERR_GENERAL, env);
        }
        e->xidClass.Set(env, xid);
        env->DeleteLocalRef(xid);

        std::string path = jvmClassPath(DRV_JavaLibDir());
        jobject loader = jc_NewClassLoader(env, path.c_str());
        if (!loader) {
            LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't create  ClassLoader");
            frame.pop();
            return fail(ERR_GENERAL, env);
        }
        e->classLoader.Set(env, loader);
        env->DeleteLocalRef(loader);
        if (!e->xidClass || !e->classLoader) {
            jc_ClearException(env);
            frame.pop();
            return fail(ERR_MEMORY_ALLOCATION, env);
        }
    }
    if (HT_EnableLock(&drvEnvTable) != 0 || HT_EnableLock(&drvConnTable) != 0 ||
        HT_EnableLock(&drvStmtTable) != 0)
        return fail(ERR_GENERAL, env);

    e->firstEnv = env;
    int32_t handle = 0;
    int ins = HT_Insert(&drvEnvTable, &handle, e);
    if (ins != 0)
        return fail(ins, env);
    jvmService.envHandle = handle;
    *outEnv = handle;
    jvmService.openCount = 1;
    return 0;
}

int laterOpen(int *outEnv)
{
    *outEnv = jvmService.envHandle;
    jvmKeepSignals();
    bool attached = false;
    JNIEnv *env = envOfThread(&attached);
    if (!env) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't attach JVM to current thread");
        return ERR_GENERAL;
    }
    if (attached)
        listPut(env, JVM_MARK_ATTACHED);
    ++jvmService.openCount;
    return 0;
}
} // namespace

int DRV_EnvOpen(const void *openRec, int *outEnv)
{
    if (!outEnv)
        return ERR_INVALID_ARGUMENT;
    // One lock around the opens and the last close keeps them apart.
    PL_CsGuard guard(jvmService.mutex);
    return jvmService.openCount > 0 ? laterOpen(outEnv) : firstOpen(outEnv);
}

int DRV_EnvClose(int envHandle)
{
    DrvEnv *e = static_cast<DrvEnv *>(HT_Lookup(&drvEnvTable, static_cast<uint32_t>(envHandle)));
    if (!e)
        return ERR_INVALID_ARGUMENT;
    PL_CsGuard guard(jvmService.mutex);
    if (HT_Lookup(&drvEnvTable, static_cast<uint32_t>(envHandle)) != e)
        return ERR_INVALID_ARGUMENT;
    if (--jvmService.openCount > 0)
        return 0;

    HT_Remove(&drvEnvTable, static_cast<uint32_t>(envHandle));
    destroyTables();
    {
        PL_CsGuard envGuard(e->lock);
        errClear(&e->errors);
        JNIEnv *env = nullptr;
        if (jvmService.vm &&
            jvmService.vm->GetEnv(reinterpret_cast<void **>(&env), KRS_JNI_VERSION) != JNI_OK)
            env = nullptr;
        releaseEnvRefs(e, env);
        if (env && jvmAttachMark(env) != 0) {
            if (jvmService.vm->DetachCurrentThread() != JNI_OK)
                LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't detach JVM from current thread");
        }
        listFree();
    }
    delete e;
    jvmService.envHandle = 0;
    jvmService.firstEnv = nullptr;
    jvmService.openCount = 0;
    return 0;
}

int jvmSplitOptions(const char *text, char **buf, char **items, int max)
{
    *buf = nullptr;
    if (!text)
        return 0;
    char *copy = strdup(text);
    if (!copy)
        return -1;
    *buf = copy;
    char *item = STR_SkipBlanks(copy);
    int n = 0;
    for (char *p = item; *p && n < max; ++p) {
        if (isspace(static_cast<unsigned char>(*p)) && p[1] == '-') {
            *p = '\0';
            STR_RTrim(item);
            items[n++] = item;
            item = p + 1;
        }
    }
    if (n < max && *item) {
        STR_RTrim(item);
        if (*item)
            items[n++] = item;
    }
    return n;
}

namespace {
// The VM settings the driver chooses, each unless the user's options set the
// same thing (an item starting with one of the prefixes and ending with the
// suffix).  The serial collector: a VM inside an application's process
// reading results row by row spends less time and memory collecting alone
// than with a collector thread per processor.
struct DefaultVmOption {
    const char *option;
    const char *prefixes[2];
    const char *suffix;
};
constexpr DefaultVmOption kDefaultVmOptions[] = {
    {"-XX:+UseSerialGC", {"-XX:+Use", "-XX:-Use"}, "GC"},
};

bool userSets(const DefaultVmOption &d, char *const *items, int n)
{
    const size_t sl = strlen(d.suffix);
    for (int i = 0; i < n; ++i) {
        const size_t il = strlen(items[i]);
        for (const char *prefix : d.prefixes)
            if (prefix && strncmp(items[i], prefix, strlen(prefix)) == 0 && il >= sl &&
                strcmp(items[i] + il - sl, d.suffix) == 0)
                return true;
    }
    return false;
}
} // namespace

int jvmVmOptions(const char *userText, char **buf, const char **options, int max)
{
    char *items[kMaxVmItems];
    int n = jvmSplitOptions(userText, buf, items, kMaxVmItems);
    if (n < 0)
        return -1;
    int count = 0;
    for (const DefaultVmOption &d : kDefaultVmOptions)
        if (count < max && !userSets(d, items, n))
            options[count++] = d.option;
    for (int i = 0; i < n && count < max; ++i)
        options[count++] = items[i];
    return count;
}

const char *jvmHugePagesOption(const char *thpSetting)
{
    return thpSetting && strstr(thpSetting, "[madvise]") ? "-XX:+UseTransparentHugePages" : nullptr;
}

namespace {
// The kernel's transparent huge page setting (empty when it cannot be read).
std::string thpSetting()
{
    char line[128] = {};
    if (FILE *f = fopen("/sys/kernel/mm/transparent_hugepage/enabled", "r")) {
        if (!fgets(line, sizeof line, f))
            line[0] = '\0';
        fclose(f);
    }
    return line;
}
} // namespace

std::vector<std::string> jvmCreateOptions(const std::vector<std::string> &extra, const char *userText)
{
    std::vector<std::string> options{"-Djava.class.path=."};
    // Huge pages make the heap's first use of its memory (the rows a result
    // holds, promoted by the collector) several times cheaper in page
    // faults; a user's -XX:-UseTransparentHugePages comes later and wins.
    const std::string thp = thpSetting();
    if (const char *hugePages = jvmHugePagesOption(thp.c_str()))
        options.emplace_back(hugePages);
    options.insert(options.end(), extra.begin(), extra.end());
    constexpr int kMaxOptions = kMaxVmItems + static_cast<int>(sizeof kDefaultVmOptions / sizeof kDefaultVmOptions[0]);
    char *buf = nullptr;
    const char *chosen[kMaxOptions];
    const int n = jvmVmOptions(userText, &buf, chosen, kMaxOptions);
    for (int i = 0; i < n; ++i)
        options.emplace_back(chosen[i]);
    free(buf);
    return options;
}

int jvmCreate(const std::vector<std::string> &options, JavaVM **vm, JNIEnv **env)
{
    std::vector<JavaVMOption> items(options.size());
    for (size_t i = 0; i < options.size(); ++i)
        items[i].optionString = const_cast<char *>(options[i].c_str());
    JavaVMInitArgs args;
    args.version = KRS_JNI_VERSION;
    args.nOptions = static_cast<jint>(items.size());
    args.options = items.data();
    args.ignoreUnrecognized = JNI_TRUE;
    return JNI_CreateJavaVM(vm, reinterpret_cast<void **>(env), &args);
}

int jc_CreateJavaVM()
{
    const std::vector<std::string> options =
        jvmCreateOptions(jvmClassArchiveOptions(DRV_JavaLibDir()), getenv("KRS_JVM_OPTS"));
    JavaVM *vm = nullptr;
    JNIEnv *env = nullptr;
    jvmSignalsBeforeVm();
    int rc = jvmCreate(options, &vm, &env);
    if (rc == JNI_OK) {
        jvmService.vm = vm;
        jvmService.firstEnv = env;
        listPut(env, JVM_MARK_CREATOR);
        jvmSignalsAfterVm();
    }
    return rc;
}

JNIEnv *jvmThreadEnv()
{
    JavaVM *vm = jvmService.vm;
    JNIEnv *env = nullptr;
    if (!vm || vm->GetEnv(reinterpret_cast<void **>(&env), KRS_JNI_VERSION) != JNI_OK)
        return nullptr;
    return env;
}

JNIEnv *jvmAttachThread()
{
    jvmKeepSignals();
    bool attached = false;
    JNIEnv *env = envOfThread(&attached);
    if (!env) {
        if (jvmService.vm)
            LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't attach JVM to current thread");
        return nullptr;
    }
    if (attached)
        listPut(env, JVM_MARK_ATTACHED);
    return env;
}

JvmThreadScope::JvmThreadScope()
{
    jvmKeepSignals();
    env_ = envOfThread(&attachedHere_);
}

JvmThreadScope::~JvmThreadScope()
{
    if (attachedHere_ && jvmService.vm->DetachCurrentThread() != JNI_OK)
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't detach JVM from current thread");
}

void jvmDetachThread(JNIEnv *previous)
{
    if (!jvmService.vm)
        return;
    JNIEnv *env = nullptr;
    if (jvmService.vm->GetEnv(reinterpret_cast<void **>(&env), KRS_JNI_VERSION) != JNI_OK || !env)
        return;
    if (env == jvmService.firstEnv || jvmAttachMark(env) == 0)
        return;
    if (jvmService.vm->DetachCurrentThread() != JNI_OK) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Can't detach JVM from current thread");
        return;
    }
    listDelete(env);
}

int jvmAttachMark(JNIEnv *env)
{
    PL_CsGuard guard(jvmService.listLock);
    if (!jvmService.attached)
        return 0;
    return static_cast<int>(HASH_Get(jvmService.attached, &env));
}

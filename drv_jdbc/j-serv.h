// The Java VM service: joins or creates the one Java VM of the process,
// attaches calling threads, defines the driver's support classes and class
// loader, and keeps the back end's handle tables and its one DrvEnv.
#pragma once
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-errors.h"
#include "drv_jdbc/j-global.h"
#include "drv_jdbc/j-stmt.h"
#include "odbc/contract/handle_table.h"
#include "platform/locks.h"

#include <jni.h>

#include <cstdint>
#include <string>
#include <vector>

struct HashTable;

constexpr jint KRS_JNI_VERSION = JNI_VERSION_1_4;

// The built-in list of JDBC jars (':'-separated) looked for in the Java
// library directory.
extern const char DRV_JarList[];

// The back end's environment record: one per process while a connection is open.
struct DrvEnv {
    PL_CriticalSection lock;  // held by DRV_GetErrors while it drains `errors`
    ErrChain errors;          // what failed connects left behind
    JNIEnv *firstEnv;         // JNIEnv of the thread that made the first open
    JGlobal<jclass> xidClass;  // kestrune/support/XAXid
    JGlobal<> classLoader;     // the driver's KRSClassLoader
};

// Attached-thread marks.
enum : int {
    JVM_MARK_ATTACHED = 1,  // the driver attached the thread
    JVM_MARK_CREATOR = 2,   // the driver created the VM on the thread
};

struct JvmService {
    int32_t openCount;         // opens not yet closed; 0: nothing set up
    int32_t envHandle;         // handle of the one DrvEnv
    JavaVM *vm;                // never destroyed once joined or created
    JNIEnv *firstEnv;          // JNIEnv of the thread that made the first open
    HashTable *attached;       // JNIEnv value (8-byte key) -> mark
    PL_CriticalSection mutex;  // the back-end mutex
    PL_CriticalSection listLock;  // guards `attached` (changed from many threads)
};

extern JvmService jvmService;
extern HandleTable drvEnvTable;   // tag 0xAAAA: DrvEnv
extern HandleTable drvConnTable;  // tag 0xBBBB: DrvConn
extern HandleTable drvStmtTable;  // tag 0xCCCC: DrvStmt

// DRV_EnvOpen: joins or creates the VM on the first open; every open counts one
// user and attaches the calling thread.  ERR_GENERAL when the VM or the support
// classes cannot be had, ERR_MEMORY_ALLOCATION when memory is short.
int DRV_EnvOpen(const void *openRec, int *outEnv);
// DRV_EnvClose: counts one user down; the last one tears the environment down.
// ERR_INVALID_ARGUMENT for an unknown handle.
int DRV_EnvClose(int env);

// Creates the VM with jvmCreateOptions: the class archive's options
// (j-cds.h) and KRS_JVM_OPTS; the JNI result code.
int jc_CreateJavaVM();
// The options of a VM the driver creates: the class path option,
// jvmHugePagesOption for the machine's kernel, `extra`, and jvmVmOptions of
// userText (in that order, so that the user's items win).
std::vector<std::string> jvmCreateOptions(const std::vector<std::string> &extra, const char *userText);
// JNI_CreateJavaVM with the options (unrecognized ones ignored); the JNI
// result code.
int jvmCreate(const std::vector<std::string> &options, JavaVM **vm, JNIEnv **env);
// Class path of the driver's class loader: the Java library directory `dir`
// in front of every jar of the list, joined with ';'.
std::string jvmClassPath(const char *dir);
// The option that puts the VM's heap on transparent huge pages when the
// kernel gives them on request (its setting, as the first line of
// /sys/kernel/mm/transparent_hugepage/enabled shows it, marks "[madvise]");
// NULL otherwise (with "[always]" the heap has them anyway, with "[never]"
// the VM would only warn).
const char *jvmHugePagesOption(const char *thpSetting);
// Cuts KRS_JVM_OPTS text into VM option items (at most 100): an item ends at
// white space that is followed by '-'.  Writes up to `max` item pointers into
// a copy held in `buf` (free()d by the caller); returns the item count, or -1
// when the copy cannot be made.
int jvmSplitOptions(const char *text, char **buf, char **items, int max);
// The VM options from KRS_JVM_OPTS text (NULL for none): the driver's own
// settings first, each left out when the user's items set the same thing
// (another collector, say), then the user's items.  Writes at most `max`
// pointers (into *buf, free()d by the caller, and static texts); the count,
// or -1 when out of memory.
int jvmVmOptions(const char *userText, char **buf, const char **options, int max);

// The calling thread's JNIEnv, attaching the thread when it has none (the
// VM's fault handlers are put back first when replaced); NULL when the VM
// refuses.
JNIEnv *jvmAttachThread();
// The calling thread's JNIEnv for the life of the guard, for work that is
// not a call on the connection (SQLCancel from another thread): a thread
// that had none is attached and detached again at the end.
class JvmThreadScope {
public:
    JvmThreadScope();
    ~JvmThreadScope();
    JvmThreadScope(const JvmThreadScope &) = delete;
    JvmThreadScope &operator=(const JvmThreadScope &) = delete;
    // NULL when the VM refuses the thread.
    JNIEnv *env() const { return env_; }

private:
    JNIEnv *env_ = nullptr;
    bool attachedHere_ = false;
};
// Detaches the calling thread when the driver attached it and it is not the
// thread of the first open.
void jvmDetachThread(JNIEnv *env);
// The mark the attached-thread list holds for a JNIEnv (0 when none).
int jvmAttachMark(JNIEnv *env);

// The class-data-sharing archive: whether the VM maps it, and its making.
#include "drv_jdbc/j-cds.h"

#include "drv_jdbc/j-classes.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-serv.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
bool notBefore(const timespec &a, const timespec &b)
{
    return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec >= b.tv_nsec);
}

// Whether the file at `path`, and the link it may be, last changed no later
// than `when`; false when it is not there.
bool unchangedSince(const char *path, const timespec &when)
{
    struct stat link {}, target {};
    return lstat(path, &link) == 0 && stat(path, &target) == 0 && notBefore(when, link.st_ctim) &&
           notBefore(when, target.st_ctim);
}

// The file of the VM library the driver runs with; empty when unknown.
std::string jvmLibrary()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(&JNI_CreateJavaVM), &info) || !info.dli_fname)
        return {};
    return info.dli_fname;
}

std::vector<std::string> splitPath(const std::string &path)
{
    std::vector<std::string> items;
    size_t at = 0;
    while (at <= path.size()) {
        size_t end = path.find(';', at);
        if (end == std::string::npos)
            end = path.size();
        if (end > at)
            items.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return items;
}

// The data-source class of the driver's class list ('/' separators kept as
// the list writes them: '.').
std::string dataSourceClass()
{
    std::string list = DRV_ClassList;
    const size_t from = list.find_first_not_of('{');
    const size_t to = list.find_first_of(";}", from);
    return list.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

// The size the archive's size file gives; -1 when there is none.
long long writtenSize(const char *archive)
{
    long long size = -1;
    if (FILE *f = fopen((std::string(archive) + DRV_CLASS_ARCHIVE_SIZE).c_str(), "r")) {
        if (fscanf(f, "%lld", &size) != 1)
            size = -1;
        fclose(f);
    }
    return size;
}

std::string g_workDir;

void removeWorkDir()
{
    if (!g_workDir.empty())
        rmdir(g_workDir.c_str());
}
} // namespace

bool jvmClassArchiveFresh(const char *archive, const char *jvm, const std::vector<std::string> &jars)
{
    struct stat a {};
    if (!archive || !jvm || !*jvm || stat(archive, &a) != 0 || !S_ISREG(a.st_mode) || a.st_size == 0 ||
        writtenSize(archive) != static_cast<long long>(a.st_size))
        return false;
    if (!unchangedSince(jvm, a.st_mtim))
        return false;
    for (const std::string &jar : jars)
        if (!unchangedSince(jar.c_str(), a.st_mtim))
            return false;
    return !jars.empty();
}

std::vector<std::string> jvmClassArchiveOptions(const char *dir)
{
    if (!dir || !*dir)
        return {};
    const std::string archive = std::string(dir) + DRV_CLASS_ARCHIVE;
    if (!jvmClassArchiveFresh(archive.c_str(), jvmLibrary().c_str(), splitPath(jvmClassPath(dir))))
        return {};
    return {"-XX:SharedArchiveFile=" + archive, "-Xlog:cds=off", "-Xlog:cds+dynamic=off"};
}

namespace {
// The child's part: the VM that writes the archive `target` (an absolute
// path) at its exit.  Returns only when it could not start: 1.
int trainAndExit(const std::string &target, const char *dir)
{
    // The VM's class path "." must be an empty directory to be archived with.
    const char *tmp = getenv("TMPDIR");
    std::string work = std::string(tmp && *tmp ? tmp : "/tmp") + "/krs-cds-XXXXXX";
    if (!mkdtemp(&work[0]) || chdir(work.c_str()) != 0)
        return 1;
    g_workDir = work;
    atexit(removeWorkDir);

    const std::vector<std::string> options = jvmCreateOptions({"-XX:ArchiveClassesAtExit=" + target}, nullptr);
    JavaVM *vm = nullptr;
    JNIEnv *env = nullptr;
    if (jvmCreate(options, &vm, &env) != JNI_OK)
        return 1;
    const std::string path = jvmClassPath(dir);
    const std::vector<std::string> jars = splitPath(path);
    JLocal<jobject> loader(env, jc_NewClassLoader(env, path.c_str()));
    JLocal<jclass> trainer(env, jc_DefineClassArchiveTrainer(env));
    JLocal<jclass> stringClass(env, env->FindClass("java/lang/String"));
    if (!loader.get() || !trainer.get() || !stringClass.get())
        return 1;
    JLocal<jobjectArray> jarArray(env, env->NewObjectArray(static_cast<jsize>(jars.size()), stringClass, nullptr));
    if (!jarArray.get())
        return 1;
    for (size_t i = 0; i < jars.size(); ++i) {
        JLocal<jstring> s(env, jc_NewString(env, jars[i].c_str(), STRMODE_PLATFORM));
        env->SetObjectArrayElement(jarArray, static_cast<jsize>(i), s.get());
    }
    JLocal<jstring> ds(env, jc_NewString(env, dataSourceClass().c_str(), STRMODE_PLATFORM));
    jmethodID run =
        env->GetStaticMethodID(trainer, "run", "(Ljava/lang/ClassLoader;[Ljava/lang/String;Ljava/lang/String;)V");
    if (!run || !ds.get() || env->ExceptionCheck())
        return 1;
    env->CallStaticVoidMethod(trainer, run, loader.get(), jarArray.get(), ds.get());
    return 1;
}
} // namespace

int jvmMakeClassArchive(const char *archive, const char *dir)
{
    if (!archive || !*archive || !dir)
        return 1;
    std::string target = archive;
    if (target[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd))
            return 1;
        target = std::string(cwd) + "/" + target;
    }
    const std::string made = target + ".new";
    unlink(made.c_str());
    const pid_t child = fork();
    if (child < 0)
        return 1;
    if (child == 0)
        _exit(trainAndExit(made, dir));
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    struct stat st {};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || stat(made.c_str(), &st) != 0 || st.st_size == 0) {
        unlink(made.c_str());
        return 1;
    }
    // The size first: an archive of another size beside it is not used.
    const std::string sizeFile = target + DRV_CLASS_ARCHIVE_SIZE;
    FILE *f = fopen(sizeFile.c_str(), "w");
    bool written = f && fprintf(f, "%lld\n", static_cast<long long>(st.st_size)) > 0;
    if (f && fclose(f) != 0)
        written = false;
    if (!written || rename(made.c_str(), target.c_str()) != 0) {
        unlink(made.c_str());
        return 1;
    }
    return 0;
}

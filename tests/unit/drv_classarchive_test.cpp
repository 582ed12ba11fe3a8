// The class archive's use: the VM maps it only when it has the size its size
// file gives and was written after the VM library, each jar and each link to
// a jar last changed; otherwise no option names it.
#include "drv_jdbc/j-cds.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {
class ClassArchive : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/krs_cds_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = std::string(tmpl) + "/";
        jvm = dir + "libjvm.so";
        target = dir + "postgresql.jar";
        jar = dir + "postgresql-8.1-405.jdbc3.jar";
        archive = dir + DRV_CLASS_ARCHIVE;
        write(jvm, "vm");
        write(target, "jar");
        ASSERT_EQ(symlink(target.c_str(), jar.c_str()), 0);
        writeArchive("archive bytes");
    }

    void TearDown() override { ASSERT_EQ(system(("rm -rf " + dir).c_str()), 0); }

    static void write(const std::string &path, const std::string &text)
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }

    static timespec ctimeOf(const std::string &path, bool link = false)
    {
        struct stat st {};
        EXPECT_EQ(link ? lstat(path.c_str(), &st) : stat(path.c_str(), &st), 0) << path;
        return st.st_ctim;
    }

    static bool after(const timespec &a, const timespec &b)
    {
        return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
    }

    // The archive with its size file, written now.
    void writeArchive(const std::string &bytes)
    {
        write(archive, bytes);
        write(archive + DRV_CLASS_ARCHIVE_SIZE, std::to_string(bytes.size()) + "\n");
    }

    // Sets the archive's modification time.
    void archiveWrittenAt(const timespec &when)
    {
        const timespec times[2] = {when, when};
        ASSERT_EQ(utimensat(AT_FDCWD, archive.c_str(), times, 0), 0);
    }

    // Changes the file (or the link itself) again until the clock shows a
    // later change time than the archive's modification time.
    void changeAfterArchive(const std::string &path, bool link)
    {
        struct stat a {};
        ASSERT_EQ(stat(archive.c_str(), &a), 0);
        for (int i = 0; i < 2000 && !after(ctimeOf(path, link), a.st_mtim); ++i) {
            usleep(1000);
            if (link) {
                ASSERT_EQ(unlink(path.c_str()), 0);
                ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
            } else {
                ASSERT_EQ(chmod(path.c_str(), 0644), 0);
            }
        }
        ASSERT_TRUE(after(ctimeOf(path, link), a.st_mtim)) << path;
    }

    bool fresh() const { return jvmClassArchiveFresh(archive.c_str(), jvm.c_str(), {jar}); }

public:
    std::string dir, jvm, target, jar, archive;
};

TEST_F(ClassArchive, WrittenAfterEverythingItWasMadeFromIsUsed)
{
    // The archive's time is the latest change of its inputs: still fresh.
    timespec latest = ctimeOf(jvm);
    for (const timespec &t : {ctimeOf(target), ctimeOf(jar, true)})
        if (after(t, latest))
            latest = t;
    archiveWrittenAt(latest);
    EXPECT_TRUE(fresh());
}

TEST_F(ClassArchive, AnyInputChangedAfterItMakesItStale)
{
    struct Case {
        const char *name;
        std::string ClassArchive::*path;
        bool link;
    } cases[] = {
        {"VmLibrary", &ClassArchive::jvm, false},
        {"Jar", &ClassArchive::target, false},
        {"LinkToTheJar", &ClassArchive::jar, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeArchive("archive bytes");
        ASSERT_TRUE(fresh());
        changeAfterArchive(this->*c.path, c.link);
        EXPECT_FALSE(fresh());
    }
}

TEST_F(ClassArchive, CutMissingOrWithoutInputsIsNotUsed)
{
    EXPECT_TRUE(fresh());
    // Shorter than the size file says (a copy cut short).
    write(archive, "archive");
    EXPECT_FALSE(fresh());
    // No size file.
    writeArchive("archive bytes");
    ASSERT_EQ(unlink((archive + DRV_CLASS_ARCHIVE_SIZE).c_str()), 0);
    EXPECT_FALSE(fresh());
    // Empty.
    writeArchive("");
    EXPECT_FALSE(fresh());
    writeArchive("archive bytes");
    EXPECT_FALSE(jvmClassArchiveFresh(archive.c_str(), jvm.c_str(), {dir + "missing.jar"}));
    EXPECT_FALSE(jvmClassArchiveFresh(archive.c_str(), jvm.c_str(), {}));
    EXPECT_FALSE(jvmClassArchiveFresh(archive.c_str(), "", {jar}));
    ASSERT_EQ(unlink(archive.c_str()), 0);
    EXPECT_FALSE(fresh());
}

TEST_F(ClassArchive, OptionsMapAFreshArchiveQuietly)
{
    // The directory holds the driver's jar name; the VM library is the one
    // the driver runs with, installed before the archive was written.
    const std::vector<std::string> want = {"-XX:SharedArchiveFile=" + archive, "-Xlog:cds=off",
                                           "-Xlog:cds+dynamic=off"};
    EXPECT_EQ(jvmClassArchiveOptions(dir.c_str()), want);
    changeAfterArchive(target, false);
    EXPECT_TRUE(jvmClassArchiveOptions(dir.c_str()).empty());
    EXPECT_TRUE(jvmClassArchiveOptions("").empty());
    EXPECT_TRUE(jvmClassArchiveOptions(nullptr).empty());
}
} // namespace

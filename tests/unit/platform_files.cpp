// Temporary files, shared-library loading, message boxes and process facts.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "platform/dynlib.h"
#include "platform/msgbox.h"
#include "platform/sysinfo.h"
#include "platform/tempfile.h"

namespace {

bool Exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Points TMPDIR at a private directory for the test.
class PlatformTempFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *old = getenv("TMPDIR");
        hadTmp_ = old != nullptr;
        if (old)
            oldTmp_ = old;
        char tmpl[] = "/tmp/krs_tmptest_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        setenv("TMPDIR", (dir_ + "/").c_str(), 1);  // a trailing slash is dropped
    }
    void TearDown() override
    {
        if (hadTmp_)
            setenv("TMPDIR", oldTmp_.c_str(), 1);
        else
            unsetenv("TMPDIR");
        rmdir(dir_.c_str());
    }

    std::string dir_;
    std::string oldTmp_;
    bool hadTmp_ = false;
};

TEST_F(PlatformTempFile, CreatedWithMode0600InTempDirAndRemovedOnClose)
{
    mode_t oldMask = umask(0);  // a permissive umask must not widen the mode
    PL_TempFile f;
    bool made = f.Create("zozodo");
    umask(oldMask);
    ASSERT_TRUE(made) << strerror(errno);
    std::string path = f.Path();
    EXPECT_EQ(path.rfind(dir_ + "/zozodo", 0), 0u) << path;
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_TRUE(f.Close());
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_TRUE(f.Close());  // nothing left to close
}

TEST_F(PlatformTempFile, RestrictiveUmaskStillGivesOwnerReadWrite)
{
    mode_t oldMask = umask(0277);
    PL_TempFile f;
    bool made = f.Create("krs");
    umask(oldMask);
    ASSERT_TRUE(made);
    struct stat st;
    ASSERT_EQ(fstat(f.Fd(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(PlatformTempFile, StreamReadsBackWhatWasWritten)
{
    std::string path;
    {
        PL_TempFile f;
        ASSERT_TRUE(f.Create("krs"));
        path = f.Path();
        FILE *s = f.Stream();
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(f.Stream(), s);  // the same stream each time
        ASSERT_GE(fputs("row data", s), 0);
        rewind(s);
        char buf[16] = {};
        ASSERT_NE(fgets(buf, sizeof buf, s), nullptr);
        EXPECT_STREQ(buf, "row data");
    }  // the destructor removes it
    EXPECT_FALSE(Exists(path));
}

TEST_F(PlatformTempFile, NamesAreDistinctAndFilesCoexist)
{
    PL_TempFile a, b;
    ASSERT_TRUE(a.Create("krs"));
    ASSERT_TRUE(b.Create("krs"));
    EXPECT_STRNE(a.Path(), b.Path());
    EXPECT_TRUE(Exists(a.Path()));
    EXPECT_TRUE(Exists(b.Path()));
}

TEST_F(PlatformTempFile, MoveTransfersOwnership)
{
    PL_TempFile a;
    ASSERT_TRUE(a.Create("krs"));
    std::string path = a.Path();
    PL_TempFile b(std::move(a));
    EXPECT_FALSE(a.IsOpen());
    EXPECT_TRUE(a.Close());
    EXPECT_TRUE(Exists(path));  // the moved-from object did not remove it
    PL_TempFile c;
    ASSERT_TRUE(c.Create("krs"));
    std::string other = c.Path();
    c = std::move(b);  // c's own file goes first
    EXPECT_FALSE(Exists(other));
    EXPECT_EQ(std::string(c.Path()), path);
    EXPECT_TRUE(c.Close());
    EXPECT_FALSE(Exists(path));
}

TEST_F(PlatformTempFile, RefusedCreations)
{
    PL_TempFile f;
    EXPECT_FALSE(f.Create("a/b"));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(f.Create(nullptr));
    ASSERT_TRUE(f.Create("krs"));
    EXPECT_FALSE(f.Create("krs"));  // one file per object
    EXPECT_EQ(errno, EBUSY);
    f.Close();

    setenv("TMPDIR", (dir_ + "/missing").c_str(), 1);
    PL_TempFile g;
    EXPECT_FALSE(g.Create("krs"));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(g.IsOpen());
    EXPECT_EQ(g.Stream(), nullptr);
}

TEST_F(PlatformTempFile, ReleasedStreamOutlivesItsNameAndLeavesNothing)
{
    PL_TempFile f;
    ASSERT_TRUE(f.Create("zozodo"));
    std::string path = f.Path();
    FILE *s = f.ReleaseUnlinked();
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(Exists(path));  // the name is gone at once
    EXPECT_FALSE(f.IsOpen());
    EXPECT_TRUE(f.Close());      // nothing left to the object
    struct stat st;
    ASSERT_EQ(fstat(fileno(s), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_nlink, 0u);
    ASSERT_GE(fputs("kept", s), 0);
    rewind(s);
    char buf[8] = {};
    ASSERT_NE(fgets(buf, sizeof buf, s), nullptr);
    EXPECT_STREQ(buf, "kept");
    EXPECT_EQ(fclose(s), 0);

    PL_TempFile none;
    EXPECT_EQ(none.ReleaseUnlinked(), nullptr);
    EXPECT_EQ(errno, EBADF);
}

TEST_F(PlatformTempFile, UniquePathNamesNoExistingFile)
{
    char buf[512];
    ASSERT_TRUE(PL_UniqueTempPath("krs", buf, sizeof buf));
    EXPECT_EQ(std::string(buf).rfind(dir_ + "/krs", 0), 0u);
    EXPECT_FALSE(Exists(buf));
    char tiny[8] = "zzzzzzz";
    EXPECT_FALSE(PL_UniqueTempPath("krs", tiny, sizeof tiny));
    EXPECT_STREQ(tiny, "");
    EXPECT_FALSE(PL_UniqueTempPath("a/b", buf, sizeof buf));
    EXPECT_FALSE(PL_UniqueTempPath("krs", nullptr, 10));
}

TEST(PlatformTempDir, FromTmpdirWithoutTrailingSlash)
{
    const char *old = getenv("TMPDIR");
    std::string saved = old ? old : "";
    struct Case { const char *env; const char *dir; } cases[] = {
        {nullptr, "/tmp"},
        {"", "/tmp"},
        {"/var/tmp", "/var/tmp"},
        {"/var/tmp/", "/var/tmp"},
        {"/x//", "/x"},
        {"/", "/"},
    };
    for (const Case &c : cases) {
        if (c.env)
            setenv("TMPDIR", c.env, 1);
        else
            unsetenv("TMPDIR");
        EXPECT_STREQ(PL_TempDir(), c.dir) << (c.env ? c.env : "(unset)");
    }
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

TEST(PlatformDynLib, LoadsSystemLibrariesAndFindsSymbols)
{
    PL_Library m;
    ASSERT_TRUE(m.Load("libm.so.6")) << PL_LibraryError();
    auto cosFn = reinterpret_cast<double (*)(double)>(m.Symbol("cos"));
    ASSERT_NE(cosFn, nullptr);
    EXPECT_EQ(cosFn(0.0), 1.0);

    PL_Module c = PL_LoadLibrary("libc.so.6");
    ASSERT_NE(c, nullptr);
    auto lenFn = reinterpret_cast<size_t (*)(const char *)>(PL_GetProcAddress(c, "strlen"));
    ASSERT_NE(lenFn, nullptr);
    EXPECT_EQ(lenFn("kestrune"), 8u);
    EXPECT_TRUE(PL_FreeLibrary(c));
}

TEST(PlatformDynLib, FailuresLeaveAnErrorText)
{
    EXPECT_EQ(PL_LoadLibrary("libkrs_no_such_library.so"), nullptr);
    EXPECT_NE(std::strstr(PL_LibraryError(), "libkrs_no_such_library.so"), nullptr) << PL_LibraryError();

    PL_Library m;
    ASSERT_TRUE(m.Load("libm.so.6"));
    EXPECT_EQ(m.Symbol("krs_no_such_symbol"), nullptr);
    EXPECT_NE(std::strstr(PL_LibraryError(), "krs_no_such_symbol"), nullptr) << PL_LibraryError();

    EXPECT_EQ(PL_LoadLibrary(nullptr), nullptr);
    EXPECT_STRNE(PL_LibraryError(), "");
    EXPECT_EQ(PL_GetProcAddress(nullptr, "cos"), nullptr);
    EXPECT_FALSE(PL_FreeLibrary(nullptr));
    PL_Library empty;
    EXPECT_FALSE(empty.Load("libkrs_no_such_library.so"));
    EXPECT_FALSE(empty.IsLoaded());
    EXPECT_EQ(empty.Symbol("cos"), nullptr);
}

TEST(PlatformMessageBox, WritesCaptionAndTextToStandardError)
{
    testing::internal::CaptureStderr();
    int r1 = PL_MessageBox(nullptr, "Unable to initialize the ODBC layer.", "Kestrune ODBC", PL_MB_ICONSTOP);
    int r2 = PL_MessageBox(nullptr, nullptr, nullptr, PL_MB_OK);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(r1, PL_IDOK);
    EXPECT_EQ(r2, PL_IDOK);
    EXPECT_EQ(out, "Kestrune ODBC: Unable to initialize the ODBC layer.\n: \n");
}

TEST(PlatformSysInfo, VersionIsNtFamily)
{
    uint32_t v = PL_GetVersion();
    EXPECT_EQ(v & 0x80000000u, 0u);
    EXPECT_EQ(v & 0xFFu, 6u);
    EXPECT_EQ((v >> 8) & 0xFFu, 1u);
    EXPECT_GT(v >> 16, 0u);
}

TEST(PlatformSysInfo, TickCountAdvances)
{
    uint32_t a = PL_TickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    uint32_t b = PL_TickCount();
    EXPECT_GE(static_cast<uint32_t>(b - a), 20u);  // unsigned difference survives a wrap
}

TEST(PlatformSysInfo, ProcessAndThreadIds)
{
    EXPECT_EQ(PL_ProcessId(), static_cast<uint32_t>(getpid()));
    uint32_t mine = PL_ThreadId();
    EXPECT_EQ(mine, static_cast<uint32_t>(syscall(SYS_gettid)));
    uint32_t other = 0;
    std::thread t([&] { other = PL_ThreadId(); });
    t.join();
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, mine);
}

TEST(PlatformSysInfo, ProgramNameIsLastPathComponent)
{
    const char *name = PL_ProgramName();
    EXPECT_EQ(std::strchr(name, '/'), nullptr);
    EXPECT_EQ(std::string(name), std::string(program_invocation_short_name));
    EXPECT_EQ(PL_ProgramName(), name);  // one buffer for the process
}

TEST(PlatformSysInfo, UserNameMatchesPasswordEntry)
{
    struct passwd *pw = getpwuid(getuid());
    ASSERT_NE(pw, nullptr);
    char buf[256];
    ASSERT_TRUE(PL_UserName(buf, sizeof buf));
    EXPECT_STREQ(buf, pw->pw_name);

    char small[2] = "z";
    if (std::strlen(pw->pw_name) >= sizeof small) {
        EXPECT_FALSE(PL_UserName(small, sizeof small));
        EXPECT_STREQ(small, "");
    }
    EXPECT_FALSE(PL_UserName(nullptr, 10));
}

}  // namespace

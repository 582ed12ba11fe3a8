// Runs a JVM test program's tests in a child process under -Xcheck:jni and
// fails when the VM reports any JNI misuse.  The parent process starts no VM:
// its one test runs the same program again with KRS_JVM_CHILD=1, scans the
// child's standard output and error for the VM's JNI checks, and requires a
// clean exit.  Every other test calls JVM_CHILD_ONLY() first.
#pragma once
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

inline bool JvmInChild()
{
    const char *v = getenv("KRS_JVM_CHILD");
    return v && v[0] == '1';
}

#define JVM_CHILD_ONLY()                                                                          \
    do {                                                                                          \
        if (!JvmInChild())                                                                        \
            GTEST_SKIP() << "runs in the -Xcheck:jni child";                                     \
    } while (0)

// Lines by which HotSpot's -Xcheck:jni reports misuse.
inline const char *const *JvmCheckMarkers()
{
    static const char *const markers[] = {"in native method", "JNI local refs",
                                          nullptr};
    return markers;
}

TEST(XcheckJni, ChildRunIsClean)
{
    if (JvmInChild())
        GTEST_SKIP() << "this is the child";
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    const char *opts = getenv("KRS_JVM_OPTS");
    std::string optsText = opts ? opts : "";
    if (optsText.find("-Xcheck:jni") == std::string::npos)
        optsText += " -Xcheck:jni";
    std::string cmd = "KRS_JVM_CHILD=1 KRS_JVM_OPTS='" + optsText + "' '" + self +
                      "' --gtest_filter=-XcheckJni.* 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, got);
    int status = pclose(p);
    std::cout << out << std::flush;
    ASSERT_TRUE(WIFEXITED(status)) << "the child did not exit normally";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "tests failed in the child";
    for (const char *const *m = JvmCheckMarkers(); *m; ++m)
        EXPECT_EQ(out.find(*m), std::string::npos) << "the JVM reported JNI misuse: " << *m;
    EXPECT_NE(out.find("[  PASSED  ]"), std::string::npos);
}

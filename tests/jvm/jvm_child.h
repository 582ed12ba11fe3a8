// Runs a JVM test program's tests in a child process under -Xcheck:jni and
// fails when the VM reports any JNI misuse.  The parent process starts no VM:
// its one test runs the same program again with KRS_JVM_CHILD=1, scans the
// child's standard output and error for the VM's JNI checks, and requires a
// clean exit.  Every other test calls JVM_CHILD_ONLY() first.
#pragma once
#include <gtest/gtest.h>

#include "tests/common/child_run.h"

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
    const std::string self = SelfPath();
    ASSERT_FALSE(self.empty());
    const char *opts = getenv("KRS_JVM_OPTS");
    std::string optsText = opts ? opts : "";
    if (optsText.find("-Xcheck:jni") == std::string::npos)
        optsText += " -Xcheck:jni";
    std::string cmd = "KRS_JVM_CHILD=1 KRS_JVM_OPTS='" + optsText + "' '" + self +
                      "' --gtest_filter=-XcheckJni.* 2>&1";
    std::string out;
    int status = RunCaptured(cmd, &out);
    ASSERT_NE(status, -1);
    std::cout << out << std::flush;
    ASSERT_TRUE(WIFEXITED(status)) << "the child did not exit normally";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "tests failed in the child";
    for (const char *const *m = JvmCheckMarkers(); *m; ++m)
        EXPECT_EQ(out.find(*m), std::string::npos) << "the JVM reported JNI misuse: " << *m;
    EXPECT_NE(out.find("[  PASSED  ]"), std::string::npos);
}

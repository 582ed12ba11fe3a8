// Guarded allocation: zero-size rules, zero fill, copies and the exhaustion exit.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

#include "util/utalloc.h"

// Let the exhaustion tests see a failed allocation under AddressSanitizer too.
extern "C" __attribute__((visibility("default"), used)) const char *__asan_default_options()
{
    return "allocator_may_return_null=1";
}

namespace {

struct AllocCase {
    uint64_t count;
    uint64_t size;
    size_t bytes;  // block size the caller may use
};

class SAllocSizes : public ::testing::TestWithParam<AllocCase> {};

TEST_P(SAllocSizes, GivesZeroFilledBlockOfAtLeastOneByte)
{
    const AllocCase &c = GetParam();
    unsigned char *p = static_cast<unsigned char *>(s_alloc(c.count, c.size));
    ASSERT_NE(p, nullptr);
    ASSERT_GE(malloc_usable_size(p), c.bytes);
    for (size_t i = 0; i < c.bytes; ++i)
        ASSERT_EQ(p[i], 0u) << "byte " << i;
    memset(p, 0xAB, c.bytes);  // the whole block is writable (ASan checks)
    free(p);
}

INSTANTIATE_TEST_SUITE_P(Table, SAllocSizes,
                         ::testing::Values(AllocCase{0, 8, 1}, AllocCase{8, 0, 1},
                                           AllocCase{0, 0, 1}, AllocCase{1, 1, 1},
                                           AllocCase{3, 7, 21}, AllocCase{112, 40, 4480}));

TEST(SRealloc, KeepsContentWhenGrowingAndShrinking)
{
    char *p = static_cast<char *>(s_alloc(4, 1));
    memcpy(p, "abc", 4);
    p = static_cast<char *>(s_realloc(p, 100000));
    EXPECT_STREQ(p, "abc");
    p = static_cast<char *>(s_realloc(p, 2));
    EXPECT_EQ(memcmp(p, "ab", 2), 0);
    free(p);
}

TEST(SRealloc, ZeroSizeKeepsAUsableBlock)
{
    void *p = s_alloc(16, 1);
    p = s_realloc(p, 0);
    ASSERT_NE(p, nullptr);
    *static_cast<char *>(p) = 'x';
    free(p);
}

TEST(SRealloc, NullBlockAllocates)
{
    char *p = static_cast<char *>(s_realloc(nullptr, 8));
    ASSERT_NE(p, nullptr);
    memcpy(p, "1234567", 8);
    free(p);
}

TEST(SStrdup, CopiesTextIntoItsOwnBlock)
{
    const char text[] = "Kestrune";
    char *copy = s_strdup(text);
    ASSERT_NE(copy, text);
    EXPECT_STREQ(copy, "Kestrune");
    free(copy);

    char *empty = s_strdup("");
    EXPECT_STREQ(empty, "");
    free(empty);

    char *fromNull = s_strdup(nullptr);
    ASSERT_NE(fromNull, nullptr);
    EXPECT_STREQ(fromNull, "");
    free(fromNull);
}

TEST(SAllocDeathTest, ExhaustionLogsAndExitsWithStatusOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(s_alloc(UINT64_MAX / 2, 4), ::testing::ExitedWithCode(1),
                "s_alloc: out of memory");
    EXPECT_EXIT(s_alloc(1, UINT64_MAX), ::testing::ExitedWithCode(1),
                "s_alloc: out of memory");
}

TEST(SReallocDeathTest, ExhaustionLogsAndExitsWithStatusOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            void *p = s_alloc(8, 1);
            s_realloc(p, UINT64_MAX - 4096);
        },
        ::testing::ExitedWithCode(1), "s_realloc: out of memory");
}

TEST(SysFatalExitDeathTest, EndsWithTheGivenStatusWithoutPrompting)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SYS_ProbeConsole();
            SYS_FatalExit(7);
        },
        ::testing::ExitedWithCode(7), "^$");
}

} // namespace

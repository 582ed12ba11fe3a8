// Memory pool: chunk sizes, alignment, growth, FreeTo reuse and the NUL that
// always follows an object.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "util/mpl.h"

extern "C" __attribute__((visibility("default"), used)) const char *__asan_default_options()
{
    return "allocator_may_return_null=1";
}

namespace {

// Frees the pool whatever the test's outcome.
struct Pool {
    MemPool p;
    Pool() { MPL_Init(&p); }
    ~Pool() { MPL_FreeAll(&p); }
};

size_t chunkSize(const PoolChunk *c)
{
    return static_cast<size_t>(c->chunkEnd - reinterpret_cast<const char *>(c));
}

size_t chunkCount(const MemPool &p)
{
    size_t n = 0;
    for (PoolChunk *c = p.head; c != nullptr; c = c->older)
        ++n;
    return n;
}

bool aligned16(const void *p)
{
    return reinterpret_cast<uintptr_t>(p) % 16 == 0;
}

char *appendText(MemPool *pool, const std::string &s)
{
    return MPL_Append(pool, s.data(), s.size());
}

TEST(MemPool, InitZeroesAndFreeAllOfUnusedPoolKeepsItZeroed)
{
    MemPool p;
    memset(&p, 0x5A, sizeof p);
    MPL_Init(&p);
    EXPECT_EQ(p.head, nullptr);
    EXPECT_EQ(p.start, nullptr);
    EXPECT_EQ(p.end, nullptr);
    EXPECT_EQ(p.limit, nullptr);
    MPL_FreeAll(&p);
    EXPECT_EQ(p.head, nullptr);
    EXPECT_EQ(p.start, nullptr);
    EXPECT_EQ(p.end, nullptr);
    EXPECT_EQ(p.limit, nullptr);
}

TEST(MemPool, FirstAppendMakesOneChunkWithObjectSixteenBytesIn)
{
    Pool pool;
    char *at = MPL_Append(&pool.p, "0123456789", 10);
    ASSERT_NE(pool.p.head, nullptr);
    EXPECT_EQ(pool.p.head->older, nullptr);
    EXPECT_EQ(chunkSize(pool.p.head), 4096u);
    EXPECT_EQ(pool.p.limit, pool.p.head->chunkEnd);
    EXPECT_EQ(at, reinterpret_cast<char *>(pool.p.head) + 16);
    EXPECT_EQ(pool.p.start, at);
    EXPECT_EQ(MPL_ObjectSize(&pool.p), 10u);
}

struct GrowCase {
    size_t len;    // bytes already in the growing object
    size_t n;      // bytes asked for
    size_t chunk;  // size of the new chunk
};

class MemPoolGrow : public ::testing::TestWithParam<GrowCase> {};

TEST_P(MemPoolGrow, ChunkSizeIsObjectPlusEighthPlusHundredRoundedTo4096)
{
    const GrowCase &c = GetParam();
    Pool pool;
    std::string bytes(c.len, 'q');
    if (c.len > 0)
        appendText(&pool.p, bytes);
    MPL_Grow(&pool.p, c.n);
    EXPECT_EQ(chunkSize(pool.p.head), c.chunk);
    EXPECT_EQ(MPL_ObjectSize(&pool.p), c.len);
    EXPECT_EQ(std::string(pool.p.start, c.len), bytes);
    EXPECT_EQ(chunkCount(pool.p), 1u);  // the moved object's chunk is freed
}

INSTANTIATE_TEST_SUITE_P(Table, MemPoolGrow,
                         ::testing::Values(GrowCase{0, 1, 4096}, GrowCase{4000, 1, 8192},
                                           GrowCase{0, 3996, 4096}, GrowCase{0, 3997, 8192},
                                           GrowCase{100, 5000, 8192},
                                           GrowCase{20000, 1, 24576}),
                         [](const auto &info) {
                             return "len" + std::to_string(info.param.len) + "_n" +
                                    std::to_string(info.param.n);
                         });

TEST(MemPool, ByteAppendsOfLoneObjectKeepOnlyOneChunk)
{
    Pool pool;
    std::string expect;
    for (int i = 0; i < 5000; ++i) {
        char b = static_cast<char>('a' + i % 26);
        MPL_AppendByte(&pool.p, b);
        expect += b;
        ASSERT_EQ(chunkCount(pool.p), 1u) << "after byte " << i;
        ASSERT_LT(pool.p.end, pool.p.limit);
    }
    EXPECT_GE(chunkSize(pool.p.head), 8192u);
    char *text = MPL_Finish(&pool.p);
    EXPECT_EQ(std::string(text), expect);
}

TEST(MemPool, GrowKeepsChunkOfFinishedObjectsBehindOlderLink)
{
    Pool pool;
    appendText(&pool.p, "kept");
    char *kept = MPL_Finish(&pool.p);
    PoolChunk *first = pool.p.head;
    std::string big(5000, 'z');
    for (char b : big)
        MPL_AppendByte(&pool.p, b);
    ASSERT_EQ(chunkCount(pool.p), 2u);
    EXPECT_EQ(pool.p.head->older, first);
    EXPECT_STREQ(kept, "kept");
    EXPECT_EQ(std::string(MPL_Finish(&pool.p)), big);
}

TEST(MemPool, FinishAlignsNextObjectAfterFiveByteObject)
{
    Pool pool;
    char *a = appendText(&pool.p, "abcde");
    ASSERT_TRUE(aligned16(a));
    EXPECT_EQ(MPL_Finish(&pool.p), a);
    EXPECT_EQ(pool.p.start, a + 16);
    EXPECT_EQ(pool.p.end, a + 16);
    EXPECT_EQ(appendText(&pool.p, "x"), a + 16);
}

TEST(MemPool, TextWithoutClosingNulReadsTerminated)
{
    Pool pool;
    appendText(&pool.p, "select 1");
    char *text = MPL_Finish(&pool.p);
    EXPECT_STREQ(text, "select 1");
}

// Objects whose length is a multiple of 16 must not lose their NUL to the
// first byte of the next object.
TEST(MemPool, EveryObjectKeepsItsNulWhateverItsLength)
{
    Pool pool;
    std::vector<std::pair<char *, std::string>> objects;
    for (size_t len = 0; len <= 70; ++len) {
        std::string s(len, static_cast<char>('A' + len % 26));
        appendText(&pool.p, s);
        char *obj = MPL_Finish(&pool.p);
        ASSERT_TRUE(aligned16(obj)) << "length " << len;
        objects.emplace_back(obj, s);
    }
    for (auto &o : objects)
        EXPECT_EQ(std::string(o.first), o.second);
}

TEST(MemPool, FinishSizeReportsObjectSize)
{
    Pool pool;
    appendText(&pool.p, "twelve bytes");
    size_t size = 0;
    char *obj = MPL_FinishSize(&pool.p, &size);
    EXPECT_EQ(size, 12u);
    EXPECT_STREQ(obj, "twelve bytes");
}

TEST(MemPool, FinishOnFreshPoolGivesEmptyText)
{
    Pool pool;
    char *obj = MPL_Finish(&pool.p);
    ASSERT_NE(obj, nullptr);
    EXPECT_STREQ(obj, "");
    char *next = appendText(&pool.p, "n");
    EXPECT_NE(next, obj);
    EXPECT_STREQ(obj, "");
}

// A text that ends on the last byte a chunk allows still has its NUL in the
// chunk: byte appends stop one byte short of the chunk's end.
TEST(MemPool, ByteAppendNeverTakesTheChunksLastByte)
{
    Pool pool;
    MPL_AppendByte(&pool.p, 'a');
    PoolChunk *chunk = pool.p.head;
    size_t room = static_cast<size_t>(pool.p.limit - pool.p.start);  // 4080
    while (static_cast<size_t>(pool.p.end - pool.p.start) < room - 1)
        MPL_AppendByte(&pool.p, 'a');
    EXPECT_EQ(pool.p.head, chunk);
    EXPECT_EQ(pool.p.end, pool.p.limit - 1);
    MPL_AppendByte(&pool.p, 'b');
    EXPECT_NE(pool.p.head, chunk);
    EXPECT_LT(pool.p.end, pool.p.limit);
    std::string text = MPL_Finish(&pool.p);
    EXPECT_EQ(text.size(), room);
    EXPECT_EQ(text.back(), 'b');
}

TEST(MemPool, AppendFillsChunkUpToOneByteBeforeItsEnd)
{
    Pool pool;
    MPL_AppendByte(&pool.p, 's');
    PoolChunk *chunk = pool.p.head;
    std::string rest(static_cast<size_t>(pool.p.limit - pool.p.end) - 1, 'r');
    appendText(&pool.p, rest);
    EXPECT_EQ(pool.p.head, chunk);
    EXPECT_EQ(pool.p.end, pool.p.limit - 1);
    char *text = MPL_Finish(&pool.p);
    EXPECT_EQ(strlen(text), rest.size() + 1);
    appendText(&pool.p, "after");  // goes to a new chunk
    EXPECT_NE(pool.p.head, chunk);
    EXPECT_EQ(strlen(text), rest.size() + 1);
}

TEST(MemPool, BlankAndAllocGiveAlignedZeroFilledObjects)
{
    Pool pool;
    appendText(&pool.p, "abc");
    char *old = pool.p.end;
    EXPECT_EQ(MPL_Blank(&pool.p, 5), old);
    EXPECT_TRUE(aligned16(pool.p.end));
    EXPECT_EQ(MPL_ObjectSize(&pool.p), 16u);
    MPL_Finish(&pool.p);

    for (size_t n : {0u, 1u, 16u, 100u, 4000u, 10000u}) {
        unsigned char *obj = reinterpret_cast<unsigned char *>(MPL_Alloc(&pool.p, n));
        ASSERT_TRUE(aligned16(obj)) << n;
        for (size_t i = 0; i < n; ++i)
            ASSERT_EQ(obj[i], 0u) << "size " << n << " byte " << i;
        memset(obj, 0xEE, n);
    }
}

TEST(MemPool, AlignPadsGrowingObject)
{
    Pool pool;
    appendText(&pool.p, "abcdefghijklmnopq");  // 17 bytes
    char *end = MPL_Align(&pool.p);
    EXPECT_EQ(end, pool.p.end);
    EXPECT_EQ(MPL_ObjectSize(&pool.p), 32u);
    EXPECT_EQ(MPL_Align(&pool.p), end);
}

TEST(MemPool, FreeToNullDiscardsGrowingObjectAndItsBytes)
{
    Pool pool;
    char *keep = MPL_Finish(&pool.p);
    appendText(&pool.p, "a long discarded text");
    char *start = pool.p.start;
    MPL_FreeTo(&pool.p, nullptr);
    EXPECT_EQ(pool.p.start, start);
    EXPECT_EQ(pool.p.end, start);
    appendText(&pool.p, "xy");
    EXPECT_STREQ(MPL_Finish(&pool.p), "xy");
    EXPECT_STREQ(keep, "");
}

TEST(MemPool, FreeToObjectInHeadChunkReusesItsPlaceWithNul)
{
    Pool pool;
    appendText(&pool.p, "first");
    char *first = MPL_Finish(&pool.p);
    appendText(&pool.p, "second, a longer text than the next one");
    char *second = MPL_Finish(&pool.p);
    appendText(&pool.p, "third");
    MPL_Finish(&pool.p);
    appendText(&pool.p, "growing");

    MPL_FreeTo(&pool.p, second);
    EXPECT_EQ(pool.p.start, second);
    EXPECT_EQ(pool.p.end, second);
    appendText(&pool.p, "ab");
    EXPECT_EQ(MPL_Finish(&pool.p), second);
    EXPECT_STREQ(second, "ab");
    EXPECT_STREQ(first, "first");
    appendText(&pool.p, "cd");
    EXPECT_STREQ(MPL_Finish(&pool.p), "cd");
}

TEST(MemPool, FreeToObjectInOlderChunkFreesNewerChunks)
{
    Pool pool;
    appendText(&pool.p, "before");
    char *before = MPL_Finish(&pool.p);
    appendText(&pool.p, "target text in the first chunk");
    char *target = MPL_Finish(&pool.p);
    PoolChunk *firstChunk = pool.p.head;
    // A growing object that moves away leaves its old bytes in the first chunk.
    std::string big(6000, 'm');
    for (char b : big)
        MPL_AppendByte(&pool.p, b);
    MPL_Finish(&pool.p);
    MPL_Alloc(&pool.p, 20000);
    ASSERT_GE(chunkCount(pool.p), 3u);

    MPL_FreeTo(&pool.p, target);
    EXPECT_EQ(pool.p.head, firstChunk);
    EXPECT_EQ(chunkCount(pool.p), 1u);
    EXPECT_EQ(pool.p.limit, firstChunk->chunkEnd);
    EXPECT_EQ(pool.p.start, target);
    for (char *p = target; p < firstChunk->chunkEnd; ++p)
        ASSERT_EQ(*p, '\0') << "offset " << (p - target);

    for (int i = 0; i < 3; ++i) {
        appendText(&pool.p, "q");
        EXPECT_STREQ(MPL_Finish(&pool.p), "q");
    }
    EXPECT_STREQ(before, "before");
}

TEST(MemPool, FreeToForeignObjectFreesEverything)
{
    Pool pool;
    appendText(&pool.p, "one");
    MPL_Finish(&pool.p);
    MPL_Alloc(&pool.p, 9000);
    char outside[32];
    MPL_FreeTo(&pool.p, outside);
    EXPECT_EQ(pool.p.head, nullptr);
    EXPECT_EQ(pool.p.start, nullptr);
    EXPECT_EQ(pool.p.end, nullptr);
    EXPECT_EQ(pool.p.limit, nullptr);
    appendText(&pool.p, "again");
    EXPECT_STREQ(MPL_Finish(&pool.p), "again");
}

TEST(MemPool, FreeAllMakesPoolReusable)
{
    Pool pool;
    for (int i = 0; i < 5; ++i)
        MPL_Alloc(&pool.p, 5000);
    MPL_FreeAll(&pool.p);
    EXPECT_EQ(pool.p.head, nullptr);
    appendText(&pool.p, "fresh");
    EXPECT_STREQ(MPL_Finish(&pool.p), "fresh");
}

TEST(MemPoolDeathTest, ExhaustionLogsAndExitsWithStatusOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            MemPool p;
            MPL_Init(&p);
            MPL_Grow(&p, SIZE_MAX / 2);
        },
        ::testing::ExitedWithCode(1), "out of memory");
    EXPECT_EXIT(
        {
            MemPool p;
            MPL_Init(&p);
            MPL_Grow(&p, SIZE_MAX - 10);
        },
        ::testing::ExitedWithCode(1), "out of memory");
}

} // namespace

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "util/dynarray.h"

namespace {

struct ArrayGuard {
    DynArray *a;
    ~ArrayGuard() { DA_Free(&a, nullptr); }
};

template <typename T>
T &At(DynArray *a, uint32_t i)
{
    return *reinterpret_cast<T *>(static_cast<unsigned char *>(a->elements) + i * a->elemSize);
}

TEST(DynArrayNew, RoomForTenZeroFilled)
{
    ArrayGuard g{DA_New(8)};
    ASSERT_NE(g.a, nullptr);
    EXPECT_EQ(g.a->count, 0u);
    EXPECT_EQ(g.a->capacity, 10u);
    EXPECT_EQ(g.a->elemSize, 8u);
    for (uint32_t i = 0; i < 10; ++i)
        EXPECT_EQ(At<uint64_t>(g.a, i), 0u);
}

TEST(DynArrayNew, RefusesSizeZeroAndHugeSizes)
{
    EXPECT_EQ(DA_New(0), nullptr);
    EXPECT_EQ(DA_New(UINT64_MAX), nullptr);
}

TEST(DynArrayAppend, GrowsByTenKeepingElements)
{
    ArrayGuard g{DA_New(8)};
    struct Step {
        uint32_t appended;
        uint32_t capacity;
    };
    const Step steps[] = {{1, 10}, {10, 10}, {11, 20}, {20, 20}, {21, 30}, {95, 100}};
    uint64_t next = 0;
    for (const Step &s : steps) {
        while (next < s.appended) {
            uint64_t v = next * 3 + 1;
            ASSERT_EQ(DA_Append(g.a, &v), 1);
            ++next;
        }
        EXPECT_EQ(g.a->count, s.appended);
        EXPECT_EQ(g.a->capacity, s.capacity);
    }
    for (uint32_t i = 0; i < g.a->count; ++i)
        EXPECT_EQ(At<uint64_t>(g.a, i), i * 3ull + 1);
    // the room beyond count stays zero-filled after a grow
    for (uint32_t i = g.a->count; i < g.a->capacity; ++i)
        EXPECT_EQ(At<uint64_t>(g.a, i), 0u);
}

TEST(DynArrayAppend, ElementOfTheArrayItselfSurvivesGrowth)
{
    ArrayGuard g{DA_New(sizeof(int))};
    for (int i = 0; i < 10; ++i)
        DA_Append(g.a, &i);
    ASSERT_EQ(g.a->count, g.a->capacity);
    ASSERT_EQ(DA_Append(g.a, &At<int>(g.a, 4)), 1);
    EXPECT_EQ(At<int>(g.a, 10), 4);
}

TEST(DynArrayAppend, NullArguments)
{
    int v = 1;
    EXPECT_EQ(DA_Append(nullptr, &v), 0);
    ArrayGuard g{DA_New(sizeof v)};
    EXPECT_EQ(DA_Append(g.a, nullptr), 0);
    EXPECT_EQ(g.a->count, 0u);
    EXPECT_EQ(DA_Grow(nullptr), 0);
}

TEST(DynArrayGrow, ArrayWithoutBlockFails)
{
    DynArray a{0, 0, nullptr, 4};
    EXPECT_EQ(DA_Grow(&a), 0);
    EXPECT_EQ(a.capacity, 0u);
}

TEST(DynArrayAppendAll, AppendsInOrder)
{
    ArrayGuard dst{DA_New(sizeof(int))};
    ArrayGuard src{DA_New(sizeof(int))};
    for (int i = 0; i < 3; ++i)
        DA_Append(dst.a, &i);
    for (int i = 100; i < 115; ++i)
        DA_Append(src.a, &i);
    ASSERT_EQ(DA_AppendAll(dst.a, src.a), 1);
    ASSERT_EQ(dst.a->count, 18u);
    EXPECT_EQ(dst.a->capacity, 20u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(At<int>(dst.a, i), i);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(At<int>(dst.a, 3 + i), 100 + i);
    EXPECT_EQ(src.a->count, 15u);
}

TEST(DynArrayAppendAll, DifferentSizesAppendNothing)
{
    ArrayGuard a8{DA_New(8)};
    ArrayGuard a16{DA_New(16)};
    char e16[16] = {1};
    DA_Append(a16.a, e16);
    EXPECT_EQ(DA_AppendAll(a8.a, a16.a), 0);
    EXPECT_EQ(a8.a->count, 0u);
    EXPECT_EQ(DA_AppendAll(nullptr, a16.a), 0);
    EXPECT_EQ(DA_AppendAll(a16.a, nullptr), 0);
}

TEST(DynArrayAppendAll, OntoItselfDoublesOnce)
{
    ArrayGuard g{DA_New(sizeof(int))};
    for (int i = 0; i < 7; ++i)
        DA_Append(g.a, &i);
    ASSERT_EQ(DA_AppendAll(g.a, g.a), 1);
    ASSERT_EQ(g.a->count, 14u);
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(At<int>(g.a, i), i % 7);
}

std::vector<int> g_destroyed;
void RecordInt(void *elem) { g_destroyed.push_back(*static_cast<int *>(elem)); }

TEST(DynArrayRemoveAt, MovesLaterElementsDown)
{
    struct Case {
        uint32_t index;
        std::vector<int> left;
    };
    const Case cases[] = {{0, {1, 2, 3, 4}}, {2, {0, 1, 3, 4}}, {4, {0, 1, 2, 3}}};
    for (const Case &c : cases) {
        ArrayGuard g{DA_New(sizeof(int))};
        for (int i = 0; i < 5; ++i)
            DA_Append(g.a, &i);
        g_destroyed.clear();
        ASSERT_EQ(DA_RemoveAt(g.a, c.index, RecordInt), 1);
        EXPECT_EQ(g_destroyed, std::vector<int>{static_cast<int>(c.index)});
        ASSERT_EQ(g.a->count, 4u);
        for (uint32_t i = 0; i < 4; ++i)
            EXPECT_EQ(At<int>(g.a, i), c.left[i]) << "remove " << c.index;
    }
}

TEST(DynArrayRemoveAt, RefusesBadIndexAndNull)
{
    ArrayGuard g{DA_New(sizeof(int))};
    int v = 1;
    DA_Append(g.a, &v);
    g_destroyed.clear();
    EXPECT_EQ(DA_RemoveAt(g.a, 1, RecordInt), 0);
    EXPECT_EQ(DA_RemoveAt(g.a, UINT32_MAX, RecordInt), 0);
    EXPECT_EQ(DA_RemoveAt(nullptr, 0, RecordInt), 0);
    EXPECT_TRUE(g_destroyed.empty());
    EXPECT_EQ(DA_RemoveAt(g.a, 0, nullptr), 1);
    EXPECT_EQ(g.a->count, 0u);
}

TEST(DynArrayFree, DestroysElementsInUseAndClearsVariable)
{
    DynArray *a = DA_New(sizeof(char *));
    for (int i = 0; i < 12; ++i) {
        char *s = static_cast<char *>(std::malloc(16));
        std::snprintf(s, 16, "e%d", i);
        DA_Append(a, &s);
    }
    static int freed;
    freed = 0;
    DA_Free(&a, [](void *elem) {
        std::free(*static_cast<char **>(elem));
        ++freed;
    });
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(freed, 12);
    DA_Free(&a, nullptr);  // already NULL
    DA_Free(nullptr, nullptr);
}

} // namespace

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "odbc/contract/handle_table.h"

namespace {

class HandleTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(HT_Init(&table, 0x0DBC0002), 0);
        ASSERT_EQ(HT_EnableLock(&table), 0);
    }
    void TearDown() override { HT_Destroy(&table); }

    uint32_t Insert(void *obj) {
        uint32_t h = 0xDEADBEEF;
        EXPECT_EQ(HT_Insert(&table, &h, obj), 0);
        return h;
    }

    HandleTable table{};
    int objs[16] = {};
};

TEST(HandleTableInit, TagIsLowHalfOfValueAndZeroBecomesFFFF) {
    struct Case {
        uint32_t value;
        uint32_t firstHandle;
    } cases[] = {
        {0x0DBC0001, 0x00010000}, {0x0DBC0004, 0x00040000}, {0x0DBCAAAA, 0xAAAA0000},
        {0x0DBCCCCC, 0xCCCC0000}, {0, 0xFFFF0000},
    };
    for (const Case &c : cases) {
        HandleTable t{};
        ASSERT_EQ(HT_Init(&t, c.value), 0);
        EXPECT_EQ(t.capacity, 5);
        EXPECT_EQ(t.freeCount, 5);
        int obj = 0;
        uint32_t h = 0;
        ASSERT_EQ(HT_Insert(&t, &h, &obj), 0);
        EXPECT_EQ(h, c.firstHandle) << std::hex << c.value;
        EXPECT_EQ(HT_Lookup(&t, h), &obj);
        HT_Destroy(&t);
    }
}

TEST(HandleTableInit, ReinitEmptiesAndDestroyZeroes) {
    HandleTable t{};
    ASSERT_EQ(HT_Init(&t, 3), 0);
    ASSERT_EQ(HT_EnableLock(&t), 0);
    int obj;
    uint32_t h;
    ASSERT_EQ(HT_Insert(&t, &h, &obj), 0);
    ASSERT_EQ(HT_Init(&t, 3), 0);
    EXPECT_EQ(t.locking, 0);
    EXPECT_EQ(HT_Lookup(&t, h), nullptr);
    HT_Destroy(&t);
    EXPECT_EQ(t.tag, 0);
    EXPECT_EQ(t.capacity, 0);
    EXPECT_EQ(t.slots, nullptr);
    EXPECT_EQ(t.lock, nullptr);
}

TEST(HandleTableInit, UnsetTableRefusesAndFindsNothing) {
    HandleTable t{};
    uint32_t h = 77;
    EXPECT_EQ(HT_Insert(&t, &h, &h), 15);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(HT_Lookup(&t, 0x00010000), nullptr);
    HT_Remove(&t, 0x00010000);
    EXPECT_EQ(HT_Lookup(nullptr, 0x00010000), nullptr);
    HT_Remove(nullptr, 0x00010000);
    HT_Lock(&t);  // locking off: nothing to take
    HT_Unlock(&t);
}

TEST_F(HandleTableTest, FirstFiveFillSlotsThenSixthGrows) {
    for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(Insert(&objs[i]), 0x00020000u | i);
    EXPECT_EQ(table.capacity, 5);
    EXPECT_EQ(table.freeCount, 0);
    EXPECT_EQ(Insert(&objs[5]), 0x00020005u);
    EXPECT_EQ(table.capacity, 10);
    EXPECT_EQ(table.freeCount, 4);
    for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(HT_Lookup(&table, 0x00020000u | i), &objs[i]);
}

TEST_F(HandleTableTest, FreedSlotIsReusedLowestFirst) {
    for (int i = 0; i < 6; ++i) Insert(&objs[i]);
    HT_Remove(&table, 0x00020003);
    HT_Remove(&table, 0x00020001);
    EXPECT_EQ(table.freeCount, 6);
    EXPECT_EQ(HT_Lookup(&table, 0x00020001), nullptr);
    EXPECT_EQ(Insert(&objs[10]), 0x00020001u);
    EXPECT_EQ(Insert(&objs[11]), 0x00020003u);
    EXPECT_EQ(Insert(&objs[12]), 0x00020006u);
    EXPECT_EQ(HT_Lookup(&table, 0x00020001), &objs[10]);
}

TEST_F(HandleTableTest, RemoveTwiceChangesNothingTheSecondTime) {
    for (int i = 0; i < 3; ++i) Insert(&objs[i]);
    HT_Remove(&table, 0x00020001);
    uint16_t freeAfter = table.freeCount;
    HT_Remove(&table, 0x00020001);
    EXPECT_EQ(table.freeCount, freeAfter);
    EXPECT_EQ(HT_Lookup(&table, 0x00020000), &objs[0]);
    EXPECT_EQ(HT_Lookup(&table, 0x00020002), &objs[2]);
}

TEST_F(HandleTableTest, LookupAndRemoveRejectForeignAndOutOfRangeHandles) {
    for (int i = 0; i < 3; ++i) Insert(&objs[i]);
    struct Case {
        const char *what;
        uint32_t handle;
    } cases[] = {
        {"another table's tag", 0x00030001},
        {"tag 0", 0x00000001},
        {"slot beyond capacity", 0x00020007},
        {"highest slot", 0x0002FFFF},
        {"free slot", 0x00020004},
        {"all bits", 0xFFFFFFFF},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(HT_Lookup(&table, c.handle), nullptr) << c.what;
        HT_Remove(&table, c.handle);
        EXPECT_EQ(table.freeCount, 2) << c.what;
    }
    for (int i = 0; i < 3; ++i) EXPECT_EQ(HT_Lookup(&table, 0x00020000u | i), &objs[i]);
}

TEST_F(HandleTableTest, EntryPointsUseOnlyTheLow32Bits) {
    uint32_t h = Insert(&objs[0]);
    void *out = HT_HandleOut(h);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(out), uintptr_t{h});
    // A handle the application widened with garbage in its high half.
    void *dirty = reinterpret_cast<void *>(uintptr_t{0xFFFFFFFF00000000ull} | h);
    EXPECT_EQ(HT_HandleIn(dirty), h);
    EXPECT_EQ(HT_Lookup(&table, HT_HandleIn(dirty)), &objs[0]);
}

TEST(HandleTableOut, HighTagsAreZeroExtendedNotSignExtended) {
    HandleTable t{};
    ASSERT_EQ(HT_Init(&t, 0x0DBCCCCC), 0);
    int obj;
    int32_t signedOut = 0;
    ASSERT_EQ(HT_Insert(&t, &signedOut, &obj), 0);
    EXPECT_EQ(uint32_t(signedOut), 0xCCCC0000u);
    // A back-end handle kept in an int still finds its object.
    EXPECT_EQ(HT_Lookup(&t, signedOut), &obj);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(HT_HandleOut(uint32_t(signedOut))), uintptr_t{0xCCCC0000u});
    HT_Destroy(&t);
}

TEST_F(HandleTableTest, FullTableRefusesWith131AndStaysAsItWas) {
    std::vector<char> many(HT_MAX_SLOTS);
    for (uint32_t i = 0; i < HT_MAX_SLOTS; ++i) {
        uint32_t h = 0;
        ASSERT_EQ(HT_Insert(&table, &h, &many[i]), 0) << i;
        ASSERT_EQ(h, 0x00020000u | i);
    }
    EXPECT_EQ(table.capacity, 65535);
    EXPECT_EQ(table.freeCount, 0);
    uint32_t h = 123;
    EXPECT_EQ(HT_Insert(&table, &h, &objs[0]), 131);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(table.capacity, 65535);
    EXPECT_EQ(HT_Lookup(&table, 0x0002FFFE), &many[65534]);
    EXPECT_EQ(HT_Lookup(&table, 0x0002FFFF), nullptr);
    // A freed slot makes room again.
    HT_Remove(&table, 0x00021234);
    EXPECT_EQ(Insert(&objs[1]), 0x00021234u);
}

TEST_F(HandleTableTest, HeldLockAllowsOperationsOnTheSameThread) {
    HT_Lock(&table);
    uint32_t h = Insert(&objs[0]);
    EXPECT_EQ(HT_Lookup(&table, h), &objs[0]);
    HT_Remove(&table, h);
    HT_Unlock(&table);
}

TEST_F(HandleTableTest, ConcurrentInsertLookupRemoveKeepTheCountsRight) {
    constexpr int kThreads = 4, kRounds = 2000;
    std::vector<std::thread> threads;
    std::vector<int> errors(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t, &errors] {
            int mine = t;
            for (int r = 0; r < kRounds; ++r) {
                uint32_t h = 0;
                if (HT_Insert(&table, &h, &mine) != 0 || HT_Lookup(&table, h) != &mine) ++errors[t];
                HT_Remove(&table, h);
            }
        });
    }
    for (auto &th : threads) th.join();
    for (int e : errors) EXPECT_EQ(e, 0);
    EXPECT_EQ(table.freeCount, table.capacity);
}

}  // namespace

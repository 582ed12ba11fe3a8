#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "util/hash.h"

namespace {

struct TableGuard {
    HashTable *t;
    ~TableGuard() { HASH_Free(t); }
};

// Reference of the text hash over signed 32-bit arithmetic, done in 64 bits.
int32_t RefTextBucket(const char *key, int32_t count)
{
    int64_t h = 0;
    for (const char *p = key; *p; ++p) {
        int32_t h32 = static_cast<int32_t>(h);
        int64_t sum = static_cast<int64_t>(static_cast<signed char>(*p)) + (h32 >> 28) + 8 * static_cast<int64_t>(h32);
        h = static_cast<int32_t>(static_cast<uint32_t>(sum));
    }
    int64_t mag = h < 0 ? -h : h;
    return static_cast<int32_t>(mag % count);
}

// Keys whose text hash lands in the same bucket of a table of `count` buckets.
std::vector<std::string> SameBucketKeys(HashTable *t, size_t want)
{
    std::map<int32_t, std::vector<std::string>> byBucket;
    for (int i = 0; i < 10000; ++i) {
        std::string k = "k" + std::to_string(i);
        auto &v = byBucket[HASH_Index(t, k.c_str())];
        v.push_back(k);
        if (v.size() == want)
            return v;
    }
    return {};
}

TEST(HashText, BucketMatchesSignedReference)
{
    TableGuard g{HASH_Create(101, 0)};
    const char *keys[] = {"", "a", "abc", "SQLTables", "a much longer key that wraps the hash many times over",
                          "\xff\xfe\x80 high bytes", "CONVERT", "{fn UCASE}"};
    for (const char *k : keys) {
        int32_t b = HASH_Index(g.t, k);
        EXPECT_EQ(b, RefTextBucket(k, 101)) << k;
        EXPECT_GE(b, 0);
        EXPECT_LT(b, 101);
    }
}

TEST(HashText, BucketAlwaysInRange)
{
    // Many keys, including high bytes (negative chars), over several counts.
    for (int32_t count : {1, 2, 7, 65, 100, 1024, 2147483647}) {
        HashTable t{nullptr, count, 0, 0, 0};  // the index reads only count and key length
        for (int i = 0; i < 2000; ++i) {
            char key[32];
            std::snprintf(key, sizeof key, "%c%d\x90%d", static_cast<char>(0x80 + i % 128), i, i * 7919);
            int32_t b = HASH_Index(&t, key);
            ASSERT_GE(b, 0);
            ASSERT_LT(b, count);
            ASSERT_EQ(b, RefTextBucket(key, count));
        }
    }
}

TEST(HashText, MostNegativeHashFoldsIntoRange)
{
    // This key's hash is exactly -2^31, whose negation does not fit 32 bits.
    const char *key = "\xe6GGGGGGHAB";
    for (int32_t count : {1, 3, 101, 1024, 2147483647}) {
        HashTable t{nullptr, count, 0, 0, 0};
        int32_t b = HASH_Index(&t, key);
        EXPECT_EQ(b, static_cast<int32_t>(2147483648ll % count)) << count;
    }
    TableGuard g{HASH_Create(101, 0)};
    ASSERT_NE(HASH_Put(g.t, key, 9), nullptr);
    EXPECT_EQ(HASH_Get(g.t, key), 9u);
    EXPECT_EQ(HASH_Delete(g.t, key), 1);
}

TEST(HashCreate, NonPositiveCountMakesOneBucket)
{
    for (int32_t count : {0, -1, -1000}) {
        TableGuard g{HASH_Create(count, 0)};
        ASSERT_NE(g.t, nullptr);
        EXPECT_EQ(g.t->bucketCount, 1);
        ASSERT_NE(HASH_Put(g.t, "x", 1), nullptr);
        ASSERT_NE(HASH_Put(g.t, "y", 2), nullptr);
        EXPECT_EQ(HASH_Get(g.t, "x"), 1u);
        EXPECT_EQ(HASH_Get(g.t, "y"), 2u);
        EXPECT_EQ(g.t->collisions, 1);
    }
}

TEST(HashPut, SecondPutOverwrites)
{
    TableGuard g{HASH_Create(65, 0)};
    HashNode *first = HASH_Put(g.t, "abc", 1);
    HashNode *second = HASH_Put(g.t, "abc", 2);
    EXPECT_EQ(first, second);
    EXPECT_EQ(g.t->entries, 1);
    EXPECT_EQ(HASH_Get(g.t, "abc"), 2u);
}

TEST(HashPut, KeysAreCopied)
{
    TableGuard g{HASH_Create(65, 0)};
    char key[] = "mutable";
    HashNode *n = HASH_Put(g.t, key, 7);
    ASSERT_NE(n, nullptr);
    EXPECT_NE(n->key, static_cast<void *>(key));
    std::strcpy(key, "changed");
    EXPECT_EQ(HASH_Get(g.t, "mutable"), 7u);
    EXPECT_EQ(HASH_Find(g.t, "changed"), nullptr);
}

TEST(HashGet, AbsentAndZeroValueDifferOnlyThroughFind)
{
    TableGuard g{HASH_Create(10, 0)};
    HASH_Put(g.t, "zero", 0);
    EXPECT_EQ(HASH_Get(g.t, "zero"), 0u);
    EXPECT_EQ(HASH_Get(g.t, "absent"), 0u);
    EXPECT_NE(HASH_Find(g.t, "zero"), nullptr);
    EXPECT_EQ(HASH_Find(g.t, "absent"), nullptr);
}

TEST(HashCollisions, CountFollowsPutsAndDeletes)
{
    TableGuard g{HASH_Create(101, 0)};
    std::vector<std::string> keys = SameBucketKeys(g.t, 3);
    ASSERT_EQ(keys.size(), 3u);
    for (size_t i = 0; i < keys.size(); ++i)
        ASSERT_NE(HASH_Put(g.t, keys[i].c_str(), i + 1), nullptr);
    EXPECT_EQ(g.t->entries, 3);
    EXPECT_EQ(g.t->collisions, 2);
    // the last put is the head of the chain
    EXPECT_EQ(HASH_Delete(g.t, keys[2].c_str()), 1);
    EXPECT_EQ(g.t->collisions, 1);
    EXPECT_EQ(HASH_Delete(g.t, keys[0].c_str()), 1);
    EXPECT_EQ(HASH_Delete(g.t, keys[1].c_str()), 1);
    EXPECT_EQ(g.t->collisions, 0);
    EXPECT_EQ(g.t->entries, 0);
    EXPECT_EQ(HASH_Delete(g.t, keys[1].c_str()), 0);
}

TEST(HashUnlink, ReturnsNodeWithKeyCopy)
{
    TableGuard g{HASH_Create(5, 0)};
    HASH_Put(g.t, "k", 42);
    HashNode *n = HASH_Unlink(g.t, "k");
    ASSERT_NE(n, nullptr);
    EXPECT_STREQ(static_cast<const char *>(n->key), "k");
    EXPECT_EQ(n->value, 42u);
    EXPECT_EQ(g.t->entries, 0);
    EXPECT_EQ(HASH_Find(g.t, "k"), nullptr);
    EXPECT_EQ(HASH_Unlink(g.t, "k"), nullptr);
    // relink it by hand: the table takes the key back
    void *key = n->key;
    EXPECT_EQ(HASH_Link(g.t, n, key, 43), n);
    EXPECT_EQ(HASH_Get(g.t, "k"), 43u);
}

TEST(HashBinary, FixedLengthKeysComparedByBytes)
{
    struct Case {
        int32_t keyLength;
        int32_t buckets;
    };
    for (Case c : {Case{2, 100}, Case{4, 101}, Case{8, 1024}, Case{16, 101}}) {
        TableGuard g{HASH_Create(c.buckets, c.keyLength)};
        std::vector<unsigned char> key(static_cast<size_t>(c.keyLength));
        for (int i = 0; i < 500; ++i) {
            std::fill(key.begin(), key.end(), 0);
            key[0] = static_cast<unsigned char>(i);
            key[static_cast<size_t>(c.keyLength) - 1] ^= static_cast<unsigned char>(i >> 8);
            ASSERT_NE(HASH_Put(g.t, key.data(), static_cast<uint64_t>(i) + 1000), nullptr);
            int32_t b = HASH_Index(g.t, key.data());
            ASSERT_GE(b, 0);
            ASSERT_LT(b, c.buckets);
        }
        EXPECT_EQ(g.t->entries, 500);  // keys with embedded zero bytes all differ
        for (int i = 0; i < 500; ++i) {
            std::fill(key.begin(), key.end(), 0);
            key[0] = static_cast<unsigned char>(i);
            key[static_cast<size_t>(c.keyLength) - 1] ^= static_cast<unsigned char>(i >> 8);
            EXPECT_EQ(HASH_Get(g.t, key.data()), static_cast<uint64_t>(i) + 1000);
        }
        int occupied = 0;
        for (int32_t b = 0; b < g.t->bucketCount; ++b)
            occupied += g.t->buckets[b] != nullptr;
        EXPECT_EQ(g.t->collisions, g.t->entries - occupied);
    }
}

TEST(HashBinary, PointerValuesRoundTrip)
{
    TableGuard g{HASH_Create(1024, 8)};
    int target = 5;
    void *ptr = &target;
    uint64_t thread = 0x00007f1234567890ull;
    HASH_Put(g.t, &thread, reinterpret_cast<uintptr_t>(ptr));
    EXPECT_EQ(reinterpret_cast<int *>(static_cast<uintptr_t>(HASH_Get(g.t, &thread))), &target);
}

TEST(HashForEach, VisitsBucketOrderAndToleratesDeletingCurrent)
{
    TableGuard g{HASH_Create(7, 0)};
    std::map<std::string, uint64_t> expected;
    for (int i = 0; i < 50; ++i) {
        std::string k = "key" + std::to_string(i);
        HASH_Put(g.t, k.c_str(), static_cast<uint64_t>(i));
        expected[k] = static_cast<uint64_t>(i);
    }
    struct Seen {
        HashTable *t;
        std::vector<std::pair<std::string, uint64_t>> items;
        std::vector<int32_t> buckets;
    } seen{g.t, {}, {}};
    HASH_ForEach(g.t, [](uint64_t value, const void *key, void *arg) {
        auto *s = static_cast<Seen *>(arg);
        s->items.emplace_back(static_cast<const char *>(key), value);
        s->buckets.push_back(HASH_Index(s->t, key));
    }, &seen);
    ASSERT_EQ(seen.items.size(), 50u);
    for (size_t i = 1; i < seen.buckets.size(); ++i)
        EXPECT_LE(seen.buckets[i - 1], seen.buckets[i]);
    for (auto &it : seen.items)
        EXPECT_EQ(expected.at(it.first), it.second);

    // A callback that deletes the entry it visits empties the table.
    EXPECT_EQ(HASH_ForEach(g.t, [](uint64_t, const void *key, void *arg) {
        std::string copy(static_cast<const char *>(key));
        HASH_Delete(static_cast<HashTable *>(arg), copy.c_str());
    }, g.t), 0);
    EXPECT_EQ(g.t->entries, 0);
    EXPECT_EQ(g.t->collisions, 0);
}

TEST(HashStats, PrintsIntegerFigures)
{
    struct Case {
        int32_t buckets;
        int entries;
    };
    for (Case c : {Case{10, 0}, Case{4, 9}, Case{101, 3}}) {
        TableGuard g{HASH_Create(c.buckets, 0)};
        for (int i = 0; i < c.entries; ++i)
            HASH_Put(g.t, ("s" + std::to_string(i)).c_str(), 1);
        char *buf = nullptr;
        size_t len = 0;
        FILE *f = open_memstream(&buf, &len);
        ASSERT_NE(f, nullptr);
        HASH_Stats(g.t, f);
        std::fclose(f);
        char want[200];
        long full = c.entries ? static_cast<long>(c.entries) * 100 / c.buckets : 0;
        long coll = c.entries ? static_cast<long>(g.t->collisions) * 100 / c.entries : 0;
        std::snprintf(want, sizeof want, "size=%d, entries=%d, colls=%d, %%full=%f, %%coll=%f\n",
                      c.buckets, c.entries, static_cast<int>(g.t->collisions),
                      static_cast<double>(full), static_cast<double>(coll));
        EXPECT_STREQ(buf, want);
        std::free(buf);
    }
}

TEST(HashStats, ExampleLine)
{
    TableGuard g{HASH_Create(4, 0)};
    // Two entries in one bucket and one alone: collisions 1.
    std::vector<std::string> same = SameBucketKeys(g.t, 2);
    ASSERT_EQ(same.size(), 2u);
    HASH_Put(g.t, same[0].c_str(), 1);
    HASH_Put(g.t, same[1].c_str(), 1);
    char *buf = nullptr;
    size_t len = 0;
    FILE *f = open_memstream(&buf, &len);
    HASH_Stats(g.t, f);
    std::fclose(f);
    EXPECT_STREQ(buf, "size=4, entries=2, colls=1, %full=50.000000, %coll=50.000000\n");
    std::free(buf);
}

TEST(HashNullArguments, AreHarmless)
{
    EXPECT_EQ(HASH_Find(nullptr, "x"), nullptr);
    EXPECT_EQ(HASH_Get(nullptr, "x"), 0u);
    EXPECT_EQ(HASH_Put(nullptr, "x", 1), nullptr);
    EXPECT_EQ(HASH_Delete(nullptr, "x"), 0);
    EXPECT_EQ(HASH_ForEach(nullptr, nullptr, nullptr), 0);
    HASH_Free(nullptr);
    HASH_Stats(nullptr, stdout);
    TableGuard g{HASH_Create(3, 0)};
    EXPECT_EQ(HASH_Put(g.t, nullptr, 1), nullptr);
    EXPECT_EQ(g.t->entries, 0);
}

} // namespace

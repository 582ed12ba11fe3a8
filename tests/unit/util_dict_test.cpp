#include <gtest/gtest.h>

#include <pthread.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "util/dict.h"

namespace {

// Numeric payloads: compare returns payload - key.
int g_creates;
int g_destroys;
std::vector<intptr_t> g_order;

int NumCompare(const void *payload, const void *key)
{
    intptr_t p = *static_cast<const intptr_t *>(payload);
    intptr_t k = reinterpret_cast<intptr_t>(key);
    return p < k ? -1 : (p > k ? 1 : 0);
}
int NumCreate(void **payload, const void *key)
{
    ++g_creates;
    intptr_t *p = static_cast<intptr_t *>(std::malloc(sizeof(intptr_t)));
    if (!p)
        return 0;
    *p = reinterpret_cast<intptr_t>(key);
    *payload = p;
    return 1;
}
void NumDestroy(void *payload)
{
    ++g_destroys;
    g_order.push_back(*static_cast<intptr_t *>(payload));
}
void NumVisit(void *payload) { g_order.push_back(*static_cast<intptr_t *>(payload)); }
const void *Key(intptr_t v) { return reinterpret_cast<const void *>(v); }
intptr_t Val(const DictNode *n) { return *static_cast<const intptr_t *>(n->payload); }

struct DictTest : ::testing::Test {
    void SetUp() override
    {
        g_creates = g_destroys = 0;
        g_order.clear();
        d = DICT_New(NumCompare, NumCreate, NumDestroy);
        ASSERT_NE(d, nullptr);
    }
    void TearDown() override { DICT_Free(d); }
    Dict *d = nullptr;
};

TEST_F(DictTest, GreaterKeysGoLeft)
{
    for (intptr_t v : {5, 3, 8})
        ASSERT_NE(DICT_Insert(d, Key(v)), nullptr);
    ASSERT_NE(d->root, nullptr);
    EXPECT_EQ(Val(d->root), 5);
    ASSERT_NE(d->root->right, nullptr);
    EXPECT_EQ(Val(d->root->right), 3);
    ASSERT_NE(d->root->left, nullptr);
    EXPECT_EQ(Val(d->root->left), 8);
    EXPECT_EQ(d->count, 3);
    EXPECT_EQ(d->root->owner, d);
    DICT_Walk(d, NumVisit);
    EXPECT_EQ(g_order, (std::vector<intptr_t>{8, 5, 3}));
}

TEST_F(DictTest, InsertOfExistingKeyReturnsItWithoutCreate)
{
    DictNode *first = DICT_Insert(d, Key(7));
    ASSERT_EQ(g_creates, 1);
    EXPECT_EQ(DICT_Insert(d, Key(7)), first);
    EXPECT_EQ(g_creates, 1);
    EXPECT_EQ(d->count, 1);
}

TEST_F(DictTest, FindDescendsWithoutInserting)
{
    for (intptr_t v : {50, 20, 80, 10, 30, 70, 90})
        DICT_Insert(d, Key(v));
    struct Case {
        intptr_t key;
        bool found;
    };
    for (Case c : {Case{50, true}, Case{10, true}, Case{90, true}, Case{30, true}, Case{55, false}, Case{0, false}}) {
        DictNode *n = DICT_Find(d, Key(c.key));
        EXPECT_EQ(n != nullptr, c.found) << c.key;
        if (n) {
            EXPECT_EQ(Val(n), c.key);
        }
    }
    EXPECT_EQ(d->count, 7);
    EXPECT_EQ(g_creates, 7);
}

TEST_F(DictTest, FreeIsPostOrder)
{
    for (intptr_t v : {5, 3, 8, 9, 7, 4, 1})
        DICT_Insert(d, Key(v));
    // left subtree (greater keys): 8 with 9 on its left and 7 on its right;
    // right subtree: 3 with 4 on its left and 1 on its right.
    DICT_Free(d);
    d = nullptr;
    EXPECT_EQ(g_order, (std::vector<intptr_t>{9, 7, 8, 4, 1, 3, 5}));
    EXPECT_EQ(g_destroys, 7);
}

// Runs fn on a thread with a small stack, as an application's threads may have.
void OnSmallStack(void (*fn)(Dict *), Dict *d)
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 128 * 1024);
    struct Job {
        void (*fn)(Dict *);
        Dict *d;
    } job{fn, d};
    pthread_t t;
    ASSERT_EQ(pthread_create(&t, &attr, [](void *arg) -> void * {
        auto *j = static_cast<Job *>(arg);
        j->fn(j->d);
        return nullptr;
    }, &job), 0);
    pthread_join(t, nullptr);
    pthread_attr_destroy(&attr);
}

TEST_F(DictTest, DeepChainWalksAndFreesOnASmallStack)
{
    // Keys inserted in ascending order make a chain as deep as the dictionary
    // is large; build one of 100000 nodes the way DICT_Insert would link them.
    const intptr_t n = 100000;
    DictNode **place = &d->root;
    for (intptr_t v = 1; v <= n; ++v) {
        DictNode *node = static_cast<DictNode *>(std::calloc(1, sizeof(DictNode)));
        node->owner = d;
        ASSERT_EQ(NumCreate(&node->payload, Key(v)), 1);
        *place = node;
        place = &node->left;
        d->count++;
    }
    ASSERT_NE(DICT_Find(d, Key(n)), nullptr);
    ASSERT_EQ(DICT_Insert(d, Key(n)), DICT_Find(d, Key(n)));
    OnSmallStack([](Dict *dict) { DICT_Walk(dict, NumVisit); }, d);
    ASSERT_EQ(g_order.size(), static_cast<size_t>(n));
    EXPECT_EQ(g_order.front(), n);
    EXPECT_EQ(g_order.back(), 1);
    g_order.clear();
    OnSmallStack([](Dict *dict) { DICT_Free(dict); }, d);
    d = nullptr;
    EXPECT_EQ(g_destroys, n);
    EXPECT_EQ(g_order.front(), n);  // post-order: the deepest node goes first
}

TEST(Dict, FailedCreateLinksNothing)
{
    Dict *d = DICT_New(NumCompare, [](void **, const void *) { return 0; }, NumDestroy);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(DICT_Insert(d, Key(1)), nullptr);
    EXPECT_EQ(d->root, nullptr);
    EXPECT_EQ(d->count, 0);
    DICT_Free(d);
}

TEST(Dict, MissingCallbacksAndNulls)
{
    EXPECT_EQ(DICT_New(nullptr, NumCreate, NumDestroy), nullptr);
    EXPECT_EQ(DICT_New(NumCompare, nullptr, NumDestroy), nullptr);
    EXPECT_EQ(DICT_New(NumCompare, NumCreate, nullptr), nullptr);
    EXPECT_EQ(DICT_Insert(nullptr, Key(1)), nullptr);
    EXPECT_EQ(DICT_Find(nullptr, Key(1)), nullptr);
    DICT_Walk(nullptr, NumVisit);
    DICT_Free(nullptr);
}

// A case-insensitive identifier pool, as the SQL scanner keeps one.
int IdentCompare(const void *payload, const void *key)
{
    return strcasecmp(static_cast<const char *>(payload), static_cast<const char *>(key));
}
int IdentCreate(void **payload, const void *key)
{
    *payload = strdup(static_cast<const char *>(key));
    return *payload != nullptr;
}
void IdentDestroy(void *) {}
std::vector<std::string> g_names;

TEST(Dict, IdentifierPoolWalksDescending)
{
    Dict *d = DICT_New(IdentCompare, IdentCreate, IdentDestroy);
    DictNode *a = DICT_Insert(d, "Orders");
    EXPECT_EQ(DICT_Insert(d, "ORDERS"), a);
    DICT_Insert(d, "customer");
    DICT_Insert(d, "zeta");
    DICT_Insert(d, "alpha");
    EXPECT_EQ(d->count, 4);
    EXPECT_STREQ(static_cast<const char *>(DICT_Find(d, "CUSTOMER")->payload), "customer");
    g_names.clear();
    DICT_Walk(d, [](void *p) { g_names.emplace_back(static_cast<const char *>(p)); });
    EXPECT_EQ(g_names, (std::vector<std::string>{"zeta", "Orders", "customer", "alpha"}));
    DICT_Free(d);
}

} // namespace

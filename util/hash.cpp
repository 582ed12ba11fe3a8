// Chained hash table: fixed bucket count, no rehashing.
#include "util/hash.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>

namespace {

// Text hash: h = c + (h >> 28) + 8h over signed 32-bit h with an arithmetic
// shift and wrap-around, computed in unsigned arithmetic; the bucket is |h|
// modulo the count (the most negative h folds to 2^31).
uint32_t hash_Text(const char *key, uint32_t count)
{
    uint32_t h = 0;
    for (const char *p = key; *p; ++p) {
        uint32_t c = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
        uint32_t sh = h >> 28;
        if (h & 0x80000000u)
            sh |= 0xFFFFFFF0u;
        h = c + sh + (h << 3);
    }
    uint32_t magnitude = (h & 0x80000000u) ? 0u - h : h;
    return magnitude % count;
}

// Binary hash: FNV-1a over the key's bytes.
uint32_t hash_Binary(const unsigned char *key, int32_t len, uint32_t count)
{
    uint32_t h = 2166136261u;
    for (int32_t i = 0; i < len; ++i) {
        h ^= key[i];
        h *= 16777619u;
    }
    return h % count;
}

bool hash_KeyEquals(const HashTable *table, const void *a, const void *b)
{
    if (table->keyLength == 0)
        return std::strcmp(static_cast<const char *>(a), static_cast<const char *>(b)) == 0;
    return std::memcmp(a, b, static_cast<size_t>(table->keyLength)) == 0;
}

void *hash_CopyKey(const HashTable *table, const void *key)
{
    if (table->keyLength == 0)
        return strdup(static_cast<const char *>(key));
    void *copy = std::malloc(static_cast<size_t>(table->keyLength));
    if (copy)
        std::memcpy(copy, key, static_cast<size_t>(table->keyLength));
    return copy;
}

} // namespace

HashTable *HASH_Create(int32_t bucketCount, int32_t keyLength)
{
    if (bucketCount <= 0)
        bucketCount = 1;
    if (keyLength < 0)
        return nullptr;
    HashTable *table = static_cast<HashTable *>(std::calloc(1, sizeof(HashTable)));
    if (!table)
        return nullptr;
    table->buckets = static_cast<HashNode **>(std::calloc(static_cast<size_t>(bucketCount), sizeof(HashNode *)));
    if (!table->buckets) {
        std::free(table);
        return nullptr;
    }
    table->bucketCount = bucketCount;
    table->keyLength = keyLength;
    return table;
}

void HASH_Free(HashTable *table)
{
    if (!table)
        return;
    for (int32_t i = 0; i < table->bucketCount; ++i) {
        HashNode *node = table->buckets[i];
        while (node) {
            HashNode *next = node->next;
            std::free(node->key);
            std::free(node);
            node = next;
        }
    }
    std::free(table->buckets);
    std::free(table);
}

int HASH_ForEach(HashTable *table, HashVisitFn fn, void *arg)
{
    if (!table || !fn)
        return 0;
    for (int32_t i = 0; i < table->bucketCount; ++i) {
        HashNode *node = table->buckets[i];
        while (node) {
            HashNode *next = node->next;
            fn(node->value, node->key, arg);
            node = next;
        }
    }
    return 0;
}

int32_t HASH_Index(const HashTable *table, const void *key)
{
    uint32_t count = static_cast<uint32_t>(table->bucketCount);
    if (table->keyLength == 0)
        return static_cast<int32_t>(hash_Text(static_cast<const char *>(key), count));
    return static_cast<int32_t>(hash_Binary(static_cast<const unsigned char *>(key), table->keyLength, count));
}

HashNode *HASH_Find(const HashTable *table, const void *key)
{
    if (!table || !key)
        return nullptr;
    for (HashNode *node = table->buckets[HASH_Index(table, key)]; node; node = node->next) {
        if (hash_KeyEquals(table, node->key, key))
            return node;
    }
    return nullptr;
}

uint64_t HASH_Get(const HashTable *table, const void *key)
{
    const HashNode *node = HASH_Find(table, key);
    return node ? node->value : 0;
}

HashNode *HASH_Link(HashTable *table, HashNode *node, void *key, uint64_t value)
{
    if (!table || !node || !key)
        return nullptr;
    HashNode **head = &table->buckets[HASH_Index(table, key)];
    node->key = key;
    node->value = value;
    node->next = *head;
    if (*head)
        table->collisions++;
    *head = node;
    table->entries++;
    return node;
}

HashNode *HASH_Put(HashTable *table, const void *key, uint64_t value)
{
    if (!table || !key)
        return nullptr;
    HashNode *node = HASH_Find(table, key);
    if (node) {
        node->value = value;
        return node;
    }
    node = static_cast<HashNode *>(std::calloc(1, sizeof(HashNode)));
    if (!node)
        return nullptr;
    void *copy = hash_CopyKey(table, key);
    if (!copy) {
        std::free(node);
        return nullptr;
    }
    return HASH_Link(table, node, copy, value);
}

HashNode *HASH_Unlink(HashTable *table, const void *key)
{
    if (!table || !key)
        return nullptr;
    HashNode **head = &table->buckets[HASH_Index(table, key)];
    for (HashNode **link = head; *link; link = &(*link)->next) {
        HashNode *node = *link;
        if (!hash_KeyEquals(table, node->key, key))
            continue;
        *link = node->next;
        node->next = nullptr;
        table->entries--;
        if (*head)
            table->collisions--;
        return node;
    }
    return nullptr;
}

int HASH_Delete(HashTable *table, const void *key)
{
    HashNode *node = HASH_Unlink(table, key);
    if (!node)
        return 0;
    std::free(node->key);
    std::free(node);
    return 1;
}

void HASH_Stats(const HashTable *table, FILE *stream)
{
    if (!table || !stream)
        return;
    int64_t full = 0;
    int64_t coll = 0;
    if (table->entries > 0) {
        full = static_cast<int64_t>(table->entries) * 100 / table->bucketCount;
        coll = static_cast<int64_t>(table->collisions) * 100 / table->entries;
    }
    std::fprintf(stream, "size=%" PRId32 ", entries=%" PRId32 ", colls=%" PRId32 ", %%full=%f, %%coll=%f\n",
                 table->bucketCount, table->entries, table->collisions,
                 static_cast<double>(full), static_cast<double>(coll));
}

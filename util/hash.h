// Chained hash table with text or fixed-length binary keys and 64-bit values.
// The table owns its nodes and key copies, never the values; no locking.
#pragma once
#include <cstdint>
#include <cstdio>

struct HashNode {
    void *key;          // the table's own copy of the key
    uint64_t value;     // owner-interpreted word (a number, a pointer)
    HashNode *next;     // next node of the same bucket
};

struct HashTable {
    HashNode **buckets;
    int32_t bucketCount;  // at least 1
    int32_t keyLength;    // 0: NUL-terminated text keys; n > 0: n-byte binary keys
    int32_t entries;
    int32_t collisions;   // entries minus occupied buckets
};

typedef void (*HashVisitFn)(uint64_t value, const void *key, void *arg);

// Makes an empty table (a count <= 0 becomes 1); NULL when memory is short.
HashTable *HASH_Create(int32_t bucketCount, int32_t keyLength);
// Frees the nodes, their key copies, the buckets and the table; values untouched.
void HASH_Free(HashTable *table);
// Calls fn(value, key, arg) for every entry, bucket 0 first, each chain from
// its head. The visited entry may be deleted by fn. Returns 0.
int HASH_ForEach(HashTable *table, HashVisitFn fn, void *arg);
// Bucket of a key, always in [0, bucketCount).
int32_t HASH_Index(const HashTable *table, const void *key);
// The node holding key, or NULL.
HashNode *HASH_Find(const HashTable *table, const void *key);
// The value stored under key; 0 when absent (use HASH_Find to tell them apart).
uint64_t HASH_Get(const HashTable *table, const void *key);
// Fills node with key (ownership passes to the table) and value and puts it
// at the head of the key's bucket.
HashNode *HASH_Link(HashTable *table, HashNode *node, void *key, uint64_t value);
// Stores value under a copy of key, overwriting an existing value; NULL when
// memory is short (the table is then unchanged).
HashNode *HASH_Put(HashTable *table, const void *key, uint64_t value);
// Removes the key's node from its chain and hands it back; NULL when absent.
HashNode *HASH_Unlink(HashTable *table, const void *key);
// Removes and frees the key's node and key copy (not the value); 1, or 0 when absent.
int HASH_Delete(HashTable *table, const void *key);
// Writes one line of fill and collision figures to stream.
void HASH_Stats(const HashTable *table, FILE *stream);

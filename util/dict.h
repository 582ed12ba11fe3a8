// Dictionary: an unbalanced binary search tree whose payloads the owner's
// callbacks make, compare and destroy. No locking.
#pragma once
#include <cstdint>

struct Dict;

// < 0: key belongs in the left subtree, > 0: the right one, 0: found.
typedef int (*DictCompareFn)(const void *payload, const void *key);
// Makes *payload (a malloc'd block) for key; nonzero on success.
typedef int (*DictCreateFn)(void **payload, const void *key);
// Releases what payload holds; the node frees the payload block itself.
typedef void (*DictDestroyFn)(void *payload);
typedef void (*DictVisitFn)(void *payload);

struct DictNode {
    DictNode *left;
    DictNode *right;
    Dict *owner;
    void *payload;
};

struct Dict {
    DictNode *root;
    DictCompareFn compare;
    DictCreateFn create;
    DictDestroyFn destroy;
    int32_t count;
};

// Makes an empty dictionary; NULL when a callback is missing or memory is short.
Dict *DICT_New(DictCompareFn compare, DictCreateFn create, DictDestroyFn destroy);
// The node for key, made when absent; NULL for a NULL dict or when the node
// or its payload cannot be made (nothing is linked then).
DictNode *DICT_Insert(Dict *dict, const void *key);
// The node for key, or NULL.
DictNode *DICT_Find(const Dict *dict, const void *key);
// Visits every payload in order: left subtree, node, right subtree.
void DICT_Walk(const Dict *dict, DictVisitFn fn);
// Destroys and frees every node in post-order, then the dictionary.
void DICT_Free(Dict *dict);

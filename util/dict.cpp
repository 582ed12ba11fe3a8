// Unbalanced binary search tree. Walk and free use an explicit stack (the
// tree can be as deep as it has nodes) and fall back to recursion only when
// that stack cannot be allocated.
#include "util/dict.h"

#include <cstdlib>

namespace {

void dict_WalkRec(const DictNode *node, DictVisitFn fn)
{
    while (node) {
        dict_WalkRec(node->left, fn);
        fn(node->payload);
        node = node->right;
    }
}

void dict_FreeNode(Dict *dict, DictNode *node)
{
    dict->destroy(node->payload);
    std::free(node->payload);
    std::free(node);
}

void dict_FreeRec(Dict *dict, DictNode *node)
{
    if (!node)
        return;
    dict_FreeRec(dict, node->left);
    dict_FreeRec(dict, node->right);
    dict_FreeNode(dict, node);
}

// Room for a root-to-leaf path of the tree (its depth never exceeds count).
DictNode **dict_Stack(const Dict *dict)
{
    size_t depth = static_cast<size_t>(dict->count > 0 ? dict->count : 0) + 1;
    return static_cast<DictNode **>(std::malloc(depth * sizeof(DictNode *)));
}

} // namespace

Dict *DICT_New(DictCompareFn compare, DictCreateFn create, DictDestroyFn destroy)
{
    if (!compare || !create || !destroy)
        return nullptr;
    Dict *dict = static_cast<Dict *>(std::calloc(1, sizeof(Dict)));
    if (!dict)
        return nullptr;
    dict->compare = compare;
    dict->create = create;
    dict->destroy = destroy;
    return dict;
}

DictNode *DICT_Insert(Dict *dict, const void *key)
{
    if (!dict)
        return nullptr;
    DictNode **place = &dict->root;
    while (*place) {
        int r = dict->compare((*place)->payload, key);
        if (r == 0)
            return *place;
        place = r < 0 ? &(*place)->left : &(*place)->right;
    }
    DictNode *node = static_cast<DictNode *>(std::calloc(1, sizeof(DictNode)));
    if (!node)
        return nullptr;
    node->owner = dict;
    if (!dict->create(&node->payload, key)) {
        std::free(node);
        return nullptr;
    }
    *place = node;
    dict->count++;
    return node;
}

DictNode *DICT_Find(const Dict *dict, const void *key)
{
    if (!dict)
        return nullptr;
    DictNode *node = dict->root;
    while (node) {
        int r = dict->compare(node->payload, key);
        if (r == 0)
            return node;
        node = r < 0 ? node->left : node->right;
    }
    return nullptr;
}

void DICT_Walk(const Dict *dict, DictVisitFn fn)
{
    if (!dict || !fn || !dict->root)
        return;
    DictNode **stack = dict_Stack(dict);
    if (!stack) {
        dict_WalkRec(dict->root, fn);
        return;
    }
    size_t top = 0;
    DictNode *node = dict->root;
    while (node || top) {
        while (node) {
            stack[top++] = node;
            node = node->left;
        }
        node = stack[--top];
        fn(node->payload);
        node = node->right;
    }
    std::free(stack);
}

void DICT_Free(Dict *dict)
{
    if (!dict)
        return;
    if (dict->root) {
        DictNode **stack = dict_Stack(dict);
        if (!stack) {
            dict_FreeRec(dict, dict->root);
        } else {
            // post-order: a node is freed once both its subtrees are gone
            size_t top = 0;
            DictNode *node = dict->root;
            DictNode *last = nullptr;
            while (node || top) {
                while (node) {
                    stack[top++] = node;
                    node = node->left;
                }
                DictNode *peek = stack[top - 1];
                if (peek->right && peek->right != last) {
                    node = peek->right;
                } else {
                    --top;
                    dict_FreeNode(dict, peek);
                    last = peek;
                }
            }
            std::free(stack);
        }
    }
    std::free(dict);
}

// Growable array of fixed-size elements that grows ten elements at a time.
// Element i lies at elements + i * elemSize; no locking.
#pragma once
#include <cstdint>

struct DynArray {
    uint32_t count;      // elements in use
    uint32_t capacity;   // elements allocated
    void *elements;      // zero-filled block of capacity * elemSize bytes
    uint64_t elemSize;   // fixed at creation
};

// Called with the address of an element that is being dropped.
typedef void (*DaElemFreeFn)(void *elem);

// Makes an array with room for 10 elements; NULL for size 0 or when memory is short.
DynArray *DA_New(uint64_t elemSize);
// Runs destroy (when given) on every element in use, frees the array and sets
// *array to NULL; nothing for a NULL address or array.
void DA_Free(DynArray **array, DaElemFreeFn destroy);
// Adds room for 10 more elements; 0 (array unchanged) when that cannot be done.
int DA_Grow(DynArray *array);
// Copies one element to the end, growing first when full; 1, or 0 on failure.
int DA_Append(DynArray *array, const void *elem);
// Appends every element of src in order; 0 for a NULL argument, different
// element sizes or a failed append (elements appended so far stay).
int DA_AppendAll(DynArray *dst, const DynArray *src);
// Drops element index (destroy first, when given) and moves later ones down;
// 0 for a NULL array or an index out of range.
int DA_RemoveAt(DynArray *array, uint32_t index, DaElemFreeFn destroy);

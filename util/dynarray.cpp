// Growable array of fixed-size elements.
#include "util/dynarray.h"

#include <cstdlib>
#include <cstring>

namespace {

const uint32_t kGrowBy = 10;

unsigned char *da_At(const DynArray *array, uint32_t index)
{
    return static_cast<unsigned char *>(array->elements) + static_cast<size_t>(index) * array->elemSize;
}

} // namespace

DynArray *DA_New(uint64_t elemSize)
{
    if (elemSize == 0 || elemSize > SIZE_MAX / kGrowBy)
        return nullptr;
    DynArray *array = static_cast<DynArray *>(std::calloc(1, sizeof(DynArray)));
    if (!array)
        return nullptr;
    array->elements = std::calloc(kGrowBy, static_cast<size_t>(elemSize));
    if (!array->elements) {
        std::free(array);
        return nullptr;
    }
    array->capacity = kGrowBy;
    array->elemSize = elemSize;
    return array;
}

void DA_Free(DynArray **array, DaElemFreeFn destroy)
{
    if (!array || !*array)
        return;
    DynArray *a = *array;
    if (destroy && a->elements) {
        for (uint32_t i = 0; i < a->count; ++i)
            destroy(da_At(a, i));
    }
    std::free(a->elements);
    std::free(a);
    *array = nullptr;
}

int DA_Grow(DynArray *array)
{
    if (!array || !array->elements)
        return 0;
    if (array->capacity > UINT32_MAX - kGrowBy)
        return 0;
    uint32_t capacity = array->capacity + kGrowBy;
    // calloc refuses a product that overflows
    void *block = std::calloc(capacity, static_cast<size_t>(array->elemSize));
    if (!block)
        return 0;
    std::memcpy(block, array->elements, static_cast<size_t>(array->count) * array->elemSize);
    std::free(array->elements);
    array->elements = block;
    array->capacity = capacity;
    return 1;
}

int DA_Append(DynArray *array, const void *elem)
{
    if (!array || !elem || !array->elements)
        return 0;
    if (array->count >= array->capacity) {
        // an element of the array itself must survive the block's replacement
        uintptr_t base = reinterpret_cast<uintptr_t>(array->elements);
        uintptr_t at = reinterpret_cast<uintptr_t>(elem);
        size_t size = static_cast<size_t>(array->capacity) * array->elemSize;
        bool inside = at >= base && at - base < size;
        if (!DA_Grow(array))
            return 0;
        if (inside)
            elem = static_cast<unsigned char *>(array->elements) + (at - base);
    }
    std::memcpy(da_At(array, array->count), elem, static_cast<size_t>(array->elemSize));
    array->count++;
    return 1;
}

int DA_AppendAll(DynArray *dst, const DynArray *src)
{
    if (!dst || !src || dst->elemSize != src->elemSize)
        return 0;
    // src may be dst itself: the count is taken once, and each element's
    // address is taken afresh since growing replaces the block.
    const uint32_t n = src->count;
    for (uint32_t i = 0; i < n; ++i) {
        if (!src->elements || !DA_Append(dst, da_At(src, i)))
            return 0;
    }
    return 1;
}

int DA_RemoveAt(DynArray *array, uint32_t index, DaElemFreeFn destroy)
{
    if (!array || index >= array->count)
        return 0;
    if (destroy)
        destroy(da_At(array, index));
    uint32_t after = array->count - index - 1;
    if (after)
        std::memmove(da_At(array, index), da_At(array, index + 1), static_cast<size_t>(after) * array->elemSize);
    array->count--;
    std::memset(da_At(array, array->count), 0, static_cast<size_t>(array->elemSize));
    return 1;
}

// Memory pool chunks, growth, finishing and release.
#include "util/mpl.h"
#include "util/log.h"
#include "util/utalloc.h"

#include <cstdlib>
#include <cstring>

namespace {

char *alignUp(char *p)
{
    uintptr_t v = reinterpret_cast<uintptr_t>(p);
    return p + ((MPL_ALIGN - v % MPL_ALIGN) % MPL_ALIGN);
}

// The address of a chunk's first object: the first 16-byte boundary after
// the header words.
char *firstObject(PoolChunk *chunk)
{
    uintptr_t v = reinterpret_cast<uintptr_t>(chunk) + 31;
    return reinterpret_cast<char *>(v - v % MPL_ALIGN);
}

// True while fewer than n + 1 bytes are free after the growing object (the
// extra byte keeps the object's terminating NUL inside the chunk).
bool needsGrow(const MemPool *pool, size_t n)
{
    return static_cast<size_t>(pool->limit - pool->end) <= n;
}

[[noreturn]] void outOfMemory(int line)
{
    LOG_Printf(LOG_LEVEL_ERROR, "util/mpl", line, "out of memory");
    SYS_FatalExit(1);
}

} // namespace

void MPL_Init(MemPool *pool)
{
    pool->head = nullptr;
    pool->start = nullptr;
    pool->end = nullptr;
    pool->limit = nullptr;
}

PoolChunk *MPL_NewChunk(size_t size)
{
    void *block = calloc(1, size);
    if (block == nullptr)
        outOfMemory(__LINE__);
    return static_cast<PoolChunk *>(block);
}

void MPL_FreeChunk(PoolChunk *chunk)
{
    free(chunk);
}

void MPL_Grow(MemPool *pool, size_t n)
{
    size_t len = static_cast<size_t>(pool->end - pool->start);
    size_t want = len + n;
    if (want < len || want > SIZE_MAX - len / 8 - 100 - MPL_CHUNK_UNIT)
        outOfMemory(__LINE__);
    want += len / 8 + 100;
    size_t size = (want + MPL_CHUNK_UNIT - 1) / MPL_CHUNK_UNIT * MPL_CHUNK_UNIT;

    PoolChunk *chunk = MPL_NewChunk(size);
    char *newStart = firstObject(chunk);
    if (len > 0)
        memcpy(newStart, pool->start, len);

    PoolChunk *old = pool->head;
    if (old != nullptr && pool->start == firstObject(old)) {
        // The old chunk held nothing but the object that just moved.
        chunk->older = old->older;
        MPL_FreeChunk(old);
    } else {
        chunk->older = old;
    }
    chunk->chunkEnd = reinterpret_cast<char *>(chunk) + size;
    pool->head = chunk;
    pool->limit = chunk->chunkEnd;
    pool->start = newStart;
    pool->end = newStart + len;
}

char *MPL_Append(MemPool *pool, const void *source, size_t n)
{
    if (needsGrow(pool, n))
        MPL_Grow(pool, n);
    char *at = pool->end;
    if (n > 0)
        memcpy(at, source, n);
    pool->end += n;
    return at;
}

char *MPL_Finish(MemPool *pool)
{
    // An object must lie inside a chunk and be followed by a NUL there.
    if (pool->head == nullptr || pool->end >= pool->limit)
        MPL_Grow(pool, 1);
    char *object = pool->start;
    // Skip at least one byte so the next object never overwrites the NUL
    // after this one.
    char *next = alignUp(pool->end + 1);
    if (next > pool->limit)
        next = pool->limit;
    pool->start = next;
    pool->end = next;
    return object;
}

char *MPL_FinishSize(MemPool *pool, size_t *size)
{
    if (size != nullptr)
        *size = MPL_ObjectSize(pool);
    return MPL_Finish(pool);
}

void MPL_FreeAll(MemPool *pool)
{
    PoolChunk *chunk = pool->head;
    while (chunk != nullptr) {
        PoolChunk *older = chunk->older;
        MPL_FreeChunk(chunk);
        chunk = older;
    }
    MPL_Init(pool);
}

size_t MPL_ObjectSize(const MemPool *pool)
{
    return static_cast<size_t>(pool->end - pool->start);
}

char *MPL_Align(MemPool *pool)
{
    if (pool->end != nullptr)
        pool->end = alignUp(pool->end);
    return pool->end;
}

char *MPL_Blank(MemPool *pool, size_t n)
{
    if (needsGrow(pool, n))
        MPL_Grow(pool, n);
    char *at = pool->end;
    pool->end = alignUp(pool->end + n);
    return at;
}

char *MPL_Alloc(MemPool *pool, size_t n)
{
    MPL_Blank(pool, n);
    return MPL_Finish(pool);
}

void MPL_FreeTo(MemPool *pool, void *object)
{
    if (object == nullptr) {
        // Bytes of the discarded object must not show through as text.
        if (pool->end > pool->start)
            memset(pool->start, 0, static_cast<size_t>(pool->end - pool->start));
        pool->end = pool->start;
        return;
    }
    uintptr_t target = reinterpret_cast<uintptr_t>(object);
    PoolChunk *chunk = pool->head;
    while (chunk != nullptr) {
        uintptr_t first = reinterpret_cast<uintptr_t>(firstObject(chunk));
        uintptr_t chunkEnd = reinterpret_cast<uintptr_t>(chunk->chunkEnd);
        if (first <= target && target < chunkEnd) {
            // Zero everything from the object on that may have been written,
            // so reused bytes read as NUL again: in the head chunk up to the
            // current end, in an older chunk up to its end.
            char *from = static_cast<char *>(object);
            char *to = chunk == pool->head ? pool->end : chunk->chunkEnd;
            if (to > from)
                memset(from, 0, static_cast<size_t>(to - from));
            pool->head = chunk;
            pool->start = from;
            pool->end = from;
            pool->limit = chunk->chunkEnd;
            return;
        }
        PoolChunk *older = chunk->older;
        MPL_FreeChunk(chunk);
        chunk = older;
    }
    MPL_Init(pool);
}

// Memory pool: variable-length objects (mostly text) are built by appending
// to a growing object and freezing it with MPL_Finish; all objects of a pool
// are freed at once.  Chunk memory is zero-filled and the byte after each
// object's last appended byte always reads as NUL, so a text built without
// its own terminator is still NUL-terminated.  Never returns null: on heap
// exhaustion the process logs and ends with status 1.  No lock: one pool
// belongs to one thread at a time.
#pragma once
#include <cstddef>
#include <cstdint>

// A heap block whose size is a multiple of MPL_CHUNK_UNIT; objects follow
// the header from the first 16-byte aligned address after it.
struct PoolChunk {
    PoolChunk *older;   // the previous head chunk, or null
    char *chunkEnd;     // one past the chunk's last byte
};

struct MemPool {
    PoolChunk *head;    // newest chunk, null before the first append
    char *start;        // the growing object
    char *end;          // one past its last byte
    char *limit;        // one past the end of the head chunk
};

constexpr size_t MPL_CHUNK_UNIT = 4096;
constexpr size_t MPL_ALIGN = 16;

void MPL_Init(MemPool *pool);
// Appends n bytes to the growing object; returns where they were copied
// (valid until the next grow).
char *MPL_Append(MemPool *pool, const void *source, size_t n);
// Freezes the growing object and returns it; the next object starts at the
// next 16-byte boundary that leaves the byte after this one untouched.
char *MPL_Finish(MemPool *pool);
// MPL_Finish that also reports the object's size.
char *MPL_FinishSize(MemPool *pool, size_t *size);
// Frees every chunk; the pool is empty and usable again.
void MPL_FreeAll(MemPool *pool);
// Makes room for n more bytes after the growing object.
void MPL_Grow(MemPool *pool, size_t n);
// Zero-filled chunk of the size (a multiple of MPL_CHUNK_UNIT).
PoolChunk *MPL_NewChunk(size_t size);
void MPL_FreeChunk(PoolChunk *chunk);
// Bytes in the growing object.
size_t MPL_ObjectSize(const MemPool *pool);
// Pads the growing object to a multiple of 16 bytes; returns the new end.
char *MPL_Align(MemPool *pool);
// Adds n zero bytes (padded to 16) to the growing object; returns where
// they start.
char *MPL_Blank(MemPool *pool, size_t n);
// A finished, zero-filled object of n bytes.
char *MPL_Alloc(MemPool *pool, size_t n);
// Frees object and everything made after it, which the next object reuses;
// with null, discards only the growing object.
void MPL_FreeTo(MemPool *pool, void *object);

// Appends one byte to the growing object.  Grows while the byte would take
// the chunk's last byte, which must stay free for the terminating NUL.
inline void MPL_AppendByte(MemPool *pool, char byte)
{
    if (pool->limit - pool->end <= 1)
        MPL_Grow(pool, 1);
    *pool->end++ = byte;
}

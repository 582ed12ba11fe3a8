// Handle tables: map the 32-bit integer handles that cross interfaces
// (tag << 16 | slot) to the objects they name.  The driver keeps one table per
// handle kind (tags 1..4) and the back end one per record kind (0xAAAA,
// 0xBBBB, 0xCCCC).  A table never owns its objects.
#pragma once
#include <cstdint>

struct HtLock;

struct HtSlot {
    uint16_t tag;   // 0 = free, else the table's tag
    void *object;   // NULL when free
};

// Zero-initialised (static storage) means "not set up"; HT_Init makes it usable.
struct HandleTable {
    int32_t tag;         // 1..0xFFFF, never 0 once set up
    uint16_t capacity;   // slots allocated, a multiple of 5, at most 65535
    uint16_t freeCount;  // slots whose tag is 0
    HtSlot *slots;
    int32_t locking;     // nonzero when the table's own lock is used
    HtLock *lock;
    uint32_t firstFree;  // every slot below this index is in use (scan start)
    uint32_t room;       // slot records allocated (>= capacity; grows geometrically)
};

enum : uint32_t {
    HT_GROWTH = 5,
    HT_MAX_SLOTS = 65535,
};

// Empties the table and sets it up with 5 free slots and the tag value & 0xFFFF
// (0 becomes 0xFFFF).  Returns 0, or ERR_MEMORY_ALLOCATION (S1001) when out of memory.
int HT_Init(HandleTable *t, uint32_t value);

// Creates the table's lock and turns locking on.  Returns 0, or ERR_MEMORY_ALLOCATION (S1001).
int HT_EnableLock(HandleTable *t);

// Stores the object in the lowest free slot and writes its handle to *out (0 after a
// failure).  Returns 0, ERR_TOO_MANY_HANDLES (S1014) when 65535 slots are in use,
// ERR_MEMORY_ALLOCATION (S1001) when out of memory, ERR_GENERAL (S1000) for a table that is
// not set up.
int HT_Insert(HandleTable *t, uint32_t *out, void *object);
int HT_Insert(HandleTable *t, int32_t *out, void *object);

// The object of a handle, or NULL when the slot is out of range, free or
// carries another table's tag.  Takes the handle's low 32 bits only.
void *HT_Lookup(HandleTable *t, uint32_t handle);

// Frees the handle's slot when it is in use with this table's tag; anything
// else (foreign, stale, out of range) is ignored.  Never frees the object.
void HT_Remove(HandleTable *t, uint32_t handle);

// Frees the slots and the lock and returns the record to all zero.
void HT_Destroy(HandleTable *t);

// Hold the table's lock across several operations (re-entrant).
void HT_Lock(HandleTable *t);
void HT_Unlock(HandleTable *t);

// Holds a table's lock (HT_Lock) for the life of the guard.
class HT_Guard {
public:
    explicit HT_Guard(HandleTable *t) : t_(t) { HT_Lock(t_); }
    ~HT_Guard() { HT_Unlock(t_); }
    HT_Guard(const HT_Guard &) = delete;
    HT_Guard &operator=(const HT_Guard &) = delete;

private:
    HandleTable *t_;
};

// A handle as written to an application's output argument: the 32-bit value
// zero-extended to the width of an ODBC handle.
inline void *HT_HandleOut(uint32_t handle) {
    return reinterpret_cast<void *>(static_cast<uintptr_t>(handle));
}

// A handle as received by an entry point: only its low 32 bits name the object.
inline uint32_t HT_HandleIn(const void *handle) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle));
}

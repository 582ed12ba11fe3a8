#include "odbc/contract/handle_table.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "odbc/contract/errnum.h"
#include "platform/locks.h"

// The table's leaf lock.  Re-entrant so that a caller holding it through
// HT_Lock can still insert, look up and remove.
struct HtLock {
    PL_CriticalSection cs;
};

namespace {

// Holds the table's lock for one operation when locking is on.
class HtGuard {
public:
    explicit HtGuard(HandleTable *t) : lock_(t->locking && t->lock ? t->lock : nullptr) {
        if (lock_) lock_->cs.Enter();
    }
    ~HtGuard() {
        if (lock_) lock_->cs.Leave();
    }
    HtGuard(const HtGuard &) = delete;
    HtGuard &operator=(const HtGuard &) = delete;

private:
    HtLock *lock_;
};

}  // namespace

int HT_Init(HandleTable *t, uint32_t value) {
    if (!t) return ERR_GENERAL;
    HT_Destroy(t);
    auto *slots = static_cast<HtSlot *>(std::calloc(HT_GROWTH, sizeof(HtSlot)));
    if (!slots) return ERR_MEMORY_ALLOCATION;
    uint32_t tag = value & 0xFFFFu;
    t->tag = static_cast<int32_t>(tag ? tag : 0xFFFFu);
    t->slots = slots;
    t->capacity = HT_GROWTH;
    t->freeCount = HT_GROWTH;
    t->firstFree = 0;
    t->room = HT_GROWTH;
    return 0;
}

int HT_EnableLock(HandleTable *t) {
    if (!t) return ERR_GENERAL;
    if (!t->lock) {
        t->lock = new (std::nothrow) HtLock;
        if (!t->lock) return ERR_MEMORY_ALLOCATION;
    }
    t->locking = 1;
    return 0;
}

int HT_Insert(HandleTable *t, uint32_t *out, void *object) {
    if (out) *out = 0;
    if (!t || !out || t->tag == 0 || !t->slots) return ERR_GENERAL;
    HtGuard guard(t);
    uint32_t slot;
    if (t->freeCount != 0) {
        slot = t->firstFree;
        while (slot < t->capacity && t->slots[slot].tag != 0) ++slot;
        if (slot >= t->capacity) return ERR_GENERAL;  // free count out of step
    } else {
        uint32_t grown = uint32_t(t->capacity) + HT_GROWTH;
        if (grown > HT_MAX_SLOTS) return ERR_TOO_MANY_HANDLES;
        if (grown > t->room) {
            // Records are allocated ahead so that growing by 5 does not copy
            // the whole array each time; capacity still grows by 5.
            uint32_t room = t->room * 2 > grown ? t->room * 2 : grown;
            if (room > HT_MAX_SLOTS) room = HT_MAX_SLOTS;
            auto *slots = static_cast<HtSlot *>(std::realloc(t->slots, room * sizeof(HtSlot)));
            if (!slots) return ERR_MEMORY_ALLOCATION;
            std::memset(slots + t->room, 0, (room - t->room) * sizeof(HtSlot));
            t->slots = slots;
            t->room = room;
        }
        slot = t->capacity;
        t->capacity = static_cast<uint16_t>(grown);
        t->freeCount = HT_GROWTH;
    }
    uint16_t tag = static_cast<uint16_t>(t->tag);
    t->slots[slot].tag = tag;
    t->slots[slot].object = object;
    t->freeCount--;
    t->firstFree = slot + 1;
    *out = (uint32_t(tag) << 16) | slot;
    return 0;
}

int HT_Insert(HandleTable *t, int32_t *out, void *object) {
    uint32_t h = 0;
    int rc = HT_Insert(t, out ? &h : nullptr, object);
    if (out) *out = static_cast<int32_t>(h);
    return rc;
}

void *HT_Lookup(HandleTable *t, uint32_t handle) {
    if (!t) return nullptr;
    uint32_t slot = handle & 0xFFFFu;
    uint32_t tag = handle >> 16;
    HtGuard guard(t);
    if (slot >= t->capacity || !t->slots) return nullptr;
    const HtSlot &s = t->slots[slot];
    if (s.tag == 0 || s.tag != tag) return nullptr;
    return s.object;
}

void HT_Remove(HandleTable *t, uint32_t handle) {
    if (!t) return;
    uint32_t slot = handle & 0xFFFFu;
    uint32_t tag = handle >> 16;
    HtGuard guard(t);
    if (slot >= t->capacity || !t->slots) return;
    HtSlot &s = t->slots[slot];
    if (s.tag == 0 || s.tag != tag) return;
    s.tag = 0;
    s.object = nullptr;
    t->freeCount++;
    if (slot < t->firstFree) t->firstFree = slot;
}

void HT_Destroy(HandleTable *t) {
    if (!t) return;
    std::free(t->slots);
    delete t->lock;
    std::memset(static_cast<void *>(t), 0, sizeof *t);
}

void HT_Lock(HandleTable *t) {
    if (t && t->locking && t->lock) t->lock->cs.Enter();
}

void HT_Unlock(HandleTable *t) {
    if (t && t->locking && t->lock) t->lock->cs.Leave();
}

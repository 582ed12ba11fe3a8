// TLS slots: a process-wide allocation table with a generation per slot; each
// thread keeps its values with the generation they were stored under, so a
// value left from a freed slot never shows through a new allocation.
#include "platform/tls.h"

#include <atomic>
#include <mutex>

namespace {

struct SlotTable {
    std::mutex lock;
    bool inUse[PL_TLS_SLOTS] = {};
    // Odd while allocated; bumped at each alloc and free.
    std::atomic<uint32_t> generation[PL_TLS_SLOTS] = {};
};

SlotTable &Slots()
{
    static SlotTable table;
    return table;
}

struct ThreadValues {
    void *value[PL_TLS_SLOTS];
    uint32_t generation[PL_TLS_SLOTS];
};

thread_local ThreadValues t_values;  // zero-initialised, no destructor

// The slot's generation when allocated, else 0.
uint32_t LiveGeneration(uint32_t index)
{
    if (index >= PL_TLS_SLOTS)
        return 0;
    uint32_t g = Slots().generation[index].load(std::memory_order_acquire);
    return (g & 1u) ? g : 0;
}

}  // namespace

uint32_t PL_TlsAlloc()
{
    SlotTable &t = Slots();
    std::lock_guard<std::mutex> lk(t.lock);
    for (uint32_t i = 0; i < PL_TLS_SLOTS; ++i) {
        if (!t.inUse[i]) {
            t.inUse[i] = true;
            t.generation[i].fetch_add(1, std::memory_order_acq_rel);
            return i;
        }
    }
    return PL_TLS_OUT_OF_INDEXES;
}

bool PL_TlsFree(uint32_t index)
{
    if (index >= PL_TLS_SLOTS)
        return false;
    SlotTable &t = Slots();
    std::lock_guard<std::mutex> lk(t.lock);
    if (!t.inUse[index])
        return false;
    t.inUse[index] = false;
    t.generation[index].fetch_add(1, std::memory_order_acq_rel);
    return true;
}

void *PL_TlsGetValue(uint32_t index)
{
    uint32_t g = LiveGeneration(index);
    if (g == 0 || t_values.generation[index] != g)
        return nullptr;
    return t_values.value[index];
}

bool PL_TlsSetValue(uint32_t index, void *value)
{
    uint32_t g = LiveGeneration(index);
    if (g == 0)
        return false;
    t_values.value[index] = value;
    t_values.generation[index] = g;
    return true;
}

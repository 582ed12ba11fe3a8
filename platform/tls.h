// Thread-local storage slots in place of TlsAlloc/TlsGetValue/TlsSetValue/
// TlsFree: a process-wide slot index, one void* per thread in each slot.  A
// newly allocated slot reads null in every thread, whatever an earlier user
// of the same index stored.
#pragma once
#include <cstdint>

constexpr uint32_t PL_TLS_OUT_OF_INDEXES = 0xFFFFFFFFu;
constexpr uint32_t PL_TLS_SLOTS = 128;

// A free slot index, or PL_TLS_OUT_OF_INDEXES when all are in use.
uint32_t PL_TlsAlloc();
// False for an index that is not allocated.
bool PL_TlsFree(uint32_t index);
// The calling thread's value; null for an unset or unallocated slot.
void *PL_TlsGetValue(uint32_t index);
// False for an index that is not allocated.
bool PL_TlsSetValue(uint32_t index, void *value);

// The counting heap: replaces malloc, calloc and realloc of the process with
// thin forwarders to the C library's own allocator that count their calls.
#include "bench/alloc_count.h"

#include <cstddef>

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *block, size_t size);
void __libc_free(void *block);
}

namespace {
// Static TLS of the executable: reading it never allocates.
thread_local uint64_t t_allocs = 0;
} // namespace

#define KRS_BENCH_EXPORT extern "C" __attribute__((visibility("default")))

KRS_BENCH_EXPORT void *malloc(size_t size)
{
    ++t_allocs;
    return __libc_malloc(size);
}

KRS_BENCH_EXPORT void *calloc(size_t count, size_t size)
{
    ++t_allocs;
    return __libc_calloc(count, size);
}

KRS_BENCH_EXPORT void *realloc(void *block, size_t size)
{
    ++t_allocs;
    return __libc_realloc(block, size);
}

KRS_BENCH_EXPORT void free(void *block)
{
    __libc_free(block);
}

uint64_t BenchAllocCount() { return t_allocs; }

void BenchReportAllocs(benchmark::State &state, uint64_t before, const char *name,
                       int64_t opsPerIteration)
{
    const double calls = static_cast<double>(BenchAllocCount() - before);
    state.counters[name] = benchmark::Counter(calls / static_cast<double>(opsPerIteration),
                                              benchmark::Counter::kAvgIterations);
}

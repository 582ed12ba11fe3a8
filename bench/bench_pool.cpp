// Text assembly in a memory pool against the heap: the same 64 KiB of
// objects, built from pieces of a given size, per iteration.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/alloc_count.h"
#include "util/mpl.h"

namespace {

constexpr int64_t kBytesPerIteration = 64 * 1024;
const std::string kSource(kBytesPerIteration, 'x');

// args: object size, piece size.
void SetWorkload(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"object", "piece"});
    for (int64_t piece : {1, 8, 64})
        b->Args({64, piece});
    b->Args({65536, 16});
}

// Guards that pooled appends stay a bounds test and a copy, with a heap
// call only per 4 KiB chunk, not per piece or per object.
void BM_PoolAppend(benchmark::State &state)
{
    const int64_t objSize = state.range(0), piece = state.range(1);
    const int64_t objects = kBytesPerIteration / objSize;
    const uint64_t before = BenchAllocCount();
    for (auto _ : state) {
        MemPool pool;
        MPL_Init(&pool);
        const char *src = kSource.data();
        for (int64_t o = 0; o < objects; ++o) {
            for (int64_t n = 0; n < objSize; n += piece)
                MPL_Append(&pool, src + n, static_cast<size_t>(piece));
            benchmark::DoNotOptimize(MPL_Finish(&pool));
        }
        MPL_FreeAll(&pool);
    }
    BenchReportAllocs(state, before, "allocs/object", objects);
    state.SetBytesProcessed(state.iterations() * kBytesPerIteration);
}
BENCHMARK(BM_PoolAppend)->Apply(SetWorkload);

// Guards the one-byte append (the lexer's and text builder's path).
void BM_PoolAppendByte(benchmark::State &state)
{
    const int64_t objSize = state.range(0);
    const int64_t objects = kBytesPerIteration / objSize;
    const uint64_t before = BenchAllocCount();
    for (auto _ : state) {
        MemPool pool;
        MPL_Init(&pool);
        for (int64_t o = 0; o < objects; ++o) {
            for (int64_t n = 0; n < objSize; ++n)
                MPL_AppendByte(&pool, static_cast<char>('a' + (n & 15)));
            benchmark::DoNotOptimize(MPL_Finish(&pool));
        }
        MPL_FreeAll(&pool);
    }
    BenchReportAllocs(state, before, "allocs/object", objects);
    state.SetBytesProcessed(state.iterations() * kBytesPerIteration);
}
BENCHMARK(BM_PoolAppendByte)->ArgNames({"object"})->Arg(64)->Arg(65536);

// Baseline: each object grown with realloc per piece, freed one by one.
void BM_HeapReallocPerPiece(benchmark::State &state)
{
    const int64_t objSize = state.range(0), piece = state.range(1);
    const int64_t objects = kBytesPerIteration / objSize;
    std::vector<char *> made(static_cast<size_t>(objects));
    const uint64_t before = BenchAllocCount();
    for (auto _ : state) {
        const char *src = kSource.data();
        for (int64_t o = 0; o < objects; ++o) {
            char *obj = nullptr;
            for (int64_t n = 0; n < objSize; n += piece) {
                obj = static_cast<char *>(std::realloc(obj, static_cast<size_t>(n + piece + 1)));
                std::memcpy(obj + n, src + n, static_cast<size_t>(piece));
                obj[n + piece] = '\0';
            }
            made[static_cast<size_t>(o)] = obj;
        }
        for (char *p : made)
            std::free(p);
    }
    BenchReportAllocs(state, before, "allocs/object", objects);
    state.SetBytesProcessed(state.iterations() * kBytesPerIteration);
}
BENCHMARK(BM_HeapReallocPerPiece)->Apply(SetWorkload);

// Baseline: each object a std::string grown by append.
void BM_HeapString(benchmark::State &state)
{
    const int64_t objSize = state.range(0), piece = state.range(1);
    const int64_t objects = kBytesPerIteration / objSize;
    std::vector<std::string> made;
    made.reserve(static_cast<size_t>(objects));
    const uint64_t before = BenchAllocCount();
    for (auto _ : state) {
        const char *src = kSource.data();
        for (int64_t o = 0; o < objects; ++o) {
            std::string obj;
            for (int64_t n = 0; n < objSize; n += piece)
                obj.append(src + n, static_cast<size_t>(piece));
            made.push_back(std::move(obj));
        }
        made.clear();
    }
    BenchReportAllocs(state, before, "allocs/object", objects);
    state.SetBytesProcessed(state.iterations() * kBytesPerIteration);
}
BENCHMARK(BM_HeapString)->Apply(SetWorkload);

} // namespace

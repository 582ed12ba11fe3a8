// Heap-call counting for the benchmarks: every malloc, calloc and realloc of
// the process (operator new included) bumps a per-thread counter, so a
// benchmark can report how many heap calls one operation makes.
#pragma once
#include <benchmark/benchmark.h>

#include <cstdint>

// Heap calls (malloc, calloc, realloc) made by this thread so far.
uint64_t BenchAllocCount();

// Reports the heap calls since `before` as the counter "name": calls per
// operation, where one iteration runs opsPerIteration operations.  Call it
// right after the loop, before any other counter is set (setting a counter
// is a heap call of its own).
void BenchReportAllocs(benchmark::State &state, uint64_t before, const char *name = "allocs/op",
                       int64_t opsPerIteration = 1);

// Row-block operations of the fetch and cursor paths: making and freeing a
// block per fetch, filling a row cache from fetched blocks, copying,
// cloning and comparing rows, and narrowing wide columns.
#include <benchmark/benchmark.h>

#include "bench/alloc_count.h"
#include "bench/sample_rows.h"
#include "odbc/contract/rb_ops.h"
#include "util/codepage.h"

namespace {

// The typical row plus a text column held on the heap.
std::vector<SampleCol> RowWithHeapText()
{
    std::vector<SampleCol> cols = TypicalRow();
    cols.push_back({VT_HEAP_TEXT, 0x7FFFFFFF, SQL_LONGVARCHAR, 0});
    return cols;
}

// Guards the per-block cost of a fetch's storage: heap calls per block, not
// per row.
void BM_RowBlockAllocFree(benchmark::State &state)
{
    const int32_t rows = static_cast<int32_t>(state.range(0));
    const std::vector<ColDesc> descs = SampleDescs(TypicalRow());
    const uint64_t before = BenchAllocCount();
    for (auto _ : state) {
        RowBlock rb{};
        if (RB_InitFromColDescs(descs.data(), static_cast<uint16_t>(descs.size()), rows, &rb) != 0) {
            state.SkipWithError("RB_InitFromColDescs failed");
            break;
        }
        benchmark::DoNotOptimize(rb.columns);
        RB_Free(&rb);
    }
    BenchReportAllocs(state, before, "allocs/block");
    state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_RowBlockAllocFree)->ArgName("rows")->Arg(1)->Arg(200)->Arg(728);

// Guards filling a client-side row cache: blocks of 200 fetched rows
// appended one after another until the cache holds `rows` rows.
void BM_RowBlockFillCache(benchmark::State &state)
{
    const int32_t total = static_cast<int32_t>(state.range(0));
    constexpr int32_t kBlock = 200;
    RowBlock fetched{};
    MakeSampleBlock(&fetched, TypicalRow(), kBlock);
    const uint64_t before = BenchAllocCount();
    for (auto _ : state) {
        RowBlock *cache = nullptr;
        RB_NewLike(&cache, &fetched, 0);
        for (int32_t have = 0; have < total; have += kBlock) {
            RowBlock *copy = nullptr;
            RB_NewLike(&copy, &fetched, kBlock);
            for (int32_t r = 0; r < kBlock; ++r)
                RB_CopyRow(copy, &fetched, r, r, 0);
            RB_AppendRows(cache, copy);
            RB_Free(copy);
            std::free(copy);
        }
        benchmark::DoNotOptimize(cache->rowsUsed);
        RB_Free(cache);
        std::free(cache);
    }
    BenchReportAllocs(state, before, "allocs/row", total);
    state.SetItemsProcessed(state.iterations() * total);
    RB_Free(&fetched);
}
BENCHMARK(BM_RowBlockFillCache)->ArgName("rows")->Arg(1000)->Arg(5000);

// Guards row-by-row copies between blocks of one layout (the rowset fill),
// with fixed-width cells only and with a heap text cell.
void BM_RowBlockCopyRow(benchmark::State &state)
{
    const bool heap = state.range(0) != 0;
    constexpr int32_t kRows = 200;
    RowBlock source{};
    MakeSampleBlock(&source, heap ? RowWithHeapText() : TypicalRow(), kRows);
    RowBlock *target = nullptr;
    RB_NewLike(&target, &source, kRows);
    for (int32_t r = 0; r < kRows; ++r)
        RB_CopyRow(target, &source, r, r, 0);
    const uint64_t before = BenchAllocCount();
    for (auto _ : state) {
        for (int32_t r = 0; r < kRows; ++r)
            RB_CopyRow(target, &source, kRows - 1 - r, r, 0);
    }
    BenchReportAllocs(state, before, "allocs/row", kRows);
    state.SetItemsProcessed(state.iterations() * kRows);
    RB_Free(target);
    std::free(target);
    RB_Free(&source);
}
BENCHMARK(BM_RowBlockCopyRow)->ArgName("heapText")->Arg(0)->Arg(1);

// Guards deep copies of a whole block (fixed-width columns are copied
// whole; each heap value is duplicated).
void BM_RowBlockClone(benchmark::State &state)
{
    const bool heap = state.range(0) != 0;
    constexpr int32_t kRows = 1000;
    RowBlock source{};
    MakeSampleBlock(&source, heap ? RowWithHeapText() : TypicalRow(), kRows);
    const uint64_t before = BenchAllocCount();
    for (auto _ : state) {
        RowBlock copy{};
        RB_Clone(&copy, &source);
        benchmark::DoNotOptimize(copy.columns);
        RB_Free(&copy);
    }
    BenchReportAllocs(state, before, "allocs/row", kRows);
    state.SetItemsProcessed(state.iterations() * kRows);
    RB_Free(&source);
}
BENCHMARK(BM_RowBlockClone)->ArgName("heapText")->Arg(0)->Arg(1);

// Guards the row comparison that positioned updates and refreshes use.
void BM_RowBlockCompareRows(benchmark::State &state)
{
    constexpr int32_t kRows = 200;
    RowBlock a{}, b{};
    MakeSampleBlock(&a, RowWithHeapText(), kRows);
    RB_Clone(&b, &a);
    int32_t r = 0;
    for (auto _ : state) {
        int equal = 0;
        RB_CompareRows(&a, r, &b, r, &equal);
        benchmark::DoNotOptimize(equal);
        if (++r == kRows)
            r = 0;
    }
    state.SetItemsProcessed(state.iterations());
    RB_Free(&a);
    RB_Free(&b);
}
BENCHMARK(BM_RowBlockCompareRows);

// Guards narrowing the wide text columns of a fetched block to the ANSI
// code page (two wide columns, 200 rows).
void BM_RowBlockWideToAnsi(benchmark::State &state)
{
    constexpr int32_t kRows = 200;
    const std::vector<SampleCol> cols = {
        {VT_LONG, 4, SQL_INTEGER, 0},
        {VT_WNTS, 32, SQL_WVARCHAR, 0},
        {VT_WCHAR, 16, SQL_WCHAR, 0},
    };
    CP_SetAnsiCodeset("UTF-8");
    RowBlock pattern{};
    MakeSampleBlock(&pattern, cols, kRows);
    uint64_t allocs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        RowBlock work{};
        RB_Clone(&work, &pattern);
        state.ResumeTiming();
        const uint64_t before = BenchAllocCount();
        RB_WideToAnsi(&work);
        allocs += BenchAllocCount() - before;
        state.PauseTiming();
        RB_Free(&work);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
    state.counters["allocs/row"] = benchmark::Counter(static_cast<double>(allocs) / kRows,
                                                      benchmark::Counter::kAvgIterations);
    RB_Free(&pattern);
    CP_SetAnsiCodeset(nullptr);
}
BENCHMARK(BM_RowBlockWideToAnsi);

} // namespace

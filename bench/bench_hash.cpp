// The chained hash table: fills and look-ups at the load factors its fixed
// bucket counts give (it never rehashes).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/alloc_count.h"
#include "odbc/contract/typed_value.h"
#include "util/hash.h"

namespace {

// Identifier-like text keys: "customer_00042" ...
std::vector<std::string> TextKeys(int64_t n, const char *prefix)
{
    std::vector<std::string> keys;
    keys.reserve(static_cast<size_t>(n));
    char buf[32];
    for (int64_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%s_%05lld", prefix, static_cast<long long>(i));
        keys.emplace_back(buf);
    }
    return keys;
}

void Sizes(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"keys", "buckets"});
    b->Args({1000, 64});
    b->Args({1000, 1024});
}

// Guards the cost of filling a table with text keys (a node and a key copy
// per entry).
void BM_HashPutText(benchmark::State &state)
{
    const int64_t n = state.range(0);
    const auto keys = TextKeys(n, "customer");
    const uint64_t before = BenchAllocCount();
    for (auto _ : state) {
        HashTable *t = HASH_Create(static_cast<int32_t>(state.range(1)), 0);
        for (int64_t i = 0; i < n; ++i)
            HASH_Put(t, keys[static_cast<size_t>(i)].c_str(), static_cast<uint64_t>(i));
        HASH_Free(t);
    }
    BenchReportAllocs(state, before, "allocs/put", n);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_HashPutText)->Apply(Sizes);

// Guards look-ups of present text keys.
void BM_HashGetTextHit(benchmark::State &state)
{
    const int64_t n = state.range(0);
    const auto keys = TextKeys(n, "customer");
    HashTable *t = HASH_Create(static_cast<int32_t>(state.range(1)), 0);
    for (int64_t i = 0; i < n; ++i)
        HASH_Put(t, keys[static_cast<size_t>(i)].c_str(), static_cast<uint64_t>(i) + 1);
    state.counters["collisions"] = t->collisions;
    const uint64_t before = BenchAllocCount();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(HASH_Get(t, keys[i].c_str()));
        if (++i == keys.size())
            i = 0;
    }
    BenchReportAllocs(state, before, "allocs/get");
    state.SetItemsProcessed(state.iterations());
    HASH_Free(t);
}
BENCHMARK(BM_HashGetTextHit)->Apply(Sizes);

// Guards look-ups of absent text keys (a whole chain is walked).
void BM_HashGetTextMiss(benchmark::State &state)
{
    const int64_t n = state.range(0);
    const auto keys = TextKeys(n, "customer");
    const auto absent = TextKeys(n, "supplier");
    HashTable *t = HASH_Create(static_cast<int32_t>(state.range(1)), 0);
    for (int64_t i = 0; i < n; ++i)
        HASH_Put(t, keys[static_cast<size_t>(i)].c_str(), static_cast<uint64_t>(i) + 1);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(HASH_Find(t, absent[i].c_str()));
        if (++i == absent.size())
            i = 0;
    }
    state.SetItemsProcessed(state.iterations());
    HASH_Free(t);
}
BENCHMARK(BM_HashGetTextMiss)->Apply(Sizes);

// Guards the column-attribute override look-up: 4-byte binary keys
// (attribute x 65536 + column) with the per-attribute default as fallback.
void BM_HashOverrideLookup(benchmark::State &state)
{
    HashTable *t = HASH_Create(64, 4);
    std::vector<TypedValue *> values;
    for (int attr = 1; attr <= 8; ++attr) {
        for (unsigned col = 0; col <= 24; col += 2) {
            auto *v = new TypedValue{};
            v->column = static_cast<uint16_t>(col);
            v->attrId = static_cast<int16_t>(attr);
            v->kind = TV_INT;
            v->value.integer = attr * 100 + static_cast<int>(col);
            const uint32_t key = TV_Key(attr, col);
            HASH_Put(t, &key, reinterpret_cast<uint64_t>(v));
            values.push_back(v);
        }
    }
    const uint64_t before = BenchAllocCount();
    int attr = 1, col = 1;
    for (auto _ : state) {
        int32_t iv = 0;
        const char *text = nullptr;
        double dv = 0;
        benchmark::DoNotOptimize(TV_Lookup(t, attr, col, &iv, &text, &dv));
        benchmark::DoNotOptimize(iv);
        if (++col > 24) {
            col = 1;
            attr = attr == 8 ? 1 : attr + 1;
        }
    }
    BenchReportAllocs(state, before, "allocs/lookup");
    state.SetItemsProcessed(state.iterations());
    HASH_Free(t);
    for (TypedValue *v : values)
        delete v;
}
BENCHMARK(BM_HashOverrideLookup);

} // namespace

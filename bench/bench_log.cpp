// The diagnostic log's cost per call: messages that no destination takes
// (the common case in production) and messages that are written.
//
// The benchmarks run in the order registered: the first ones need the log
// as a process finds it (no sink ever made), the later ones open and close
// their own sinks.
#include <benchmark/benchmark.h>

#include "bench/alloc_count.h"
#include "util/log.h"

namespace {

// The message every benchmark logs: a debug line with a number and a text.
const auto LogRow = [](int i) {
    return LOG_Printf(LOG_LEVEL_DEBUG, __FILE__, __LINE__, "row %d of %s (%F:%L)", i, "t1");
};

// The timed loop: one message a call (numbered from 1), with the heap calls
// it made reported per message.
template <class Log>
void TimeMessages(benchmark::State &state, Log log)
{
    const uint64_t before = BenchAllocCount();
    int i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(log(++i));
    BenchReportAllocs(state, before);
    state.SetItemsProcessed(state.iterations());
}

// Guards that a debug message above the standard-error threshold, before any
// sink exists, returns at once.
void BM_LogFilteredNoSink(benchmark::State &state) { TimeMessages(state, LogRow); }
BENCHMARK(BM_LogFilteredNoSink);

// A sink at WARNING that keeps the lines it is offered out of any stream.
struct SinkScope {
    LogSink *sink;
    SinkScope(int level, uint32_t categories, uint32_t style)
        : sink(LOG_OpenNull(level, categories, style)) {}
    ~SinkScope()
    {
        if (sink) {
            LOG_Close(sink);
            free(sink);
        }
    }
};

// TimeMessages with the only sink open at the level, categories and style
// given; the benchmark fails when the sink cannot be made.
template <class Log>
void TimeWithSink(benchmark::State &state, int level, uint32_t categories, uint32_t style, Log log)
{
    SinkScope scope(level, categories, style);
    if (!scope.sink) {
        state.SkipWithError("no sink");
        return;
    }
    TimeMessages(state, log);
}

// Guards that a debug message refused by the only sink's level stays cheap
// (no line built, no heap call).
void BM_LogFilteredByLevel(benchmark::State &state)
{
    TimeWithSink(state, LOG_LEVEL_WARNING, LOG_CATEGORY_ALL, LOG_STYLE_TIME | LOG_STYLE_LEVEL, LogRow);
}
BENCHMARK(BM_LogFilteredByLevel);

// Guards that a message of a category the sink does not take stays cheap.
void BM_LogFilteredByCategory(benchmark::State &state)
{
    TimeWithSink(state, LOG_LEVEL_DEBUG, 0x1, LOG_STYLE_TIME | LOG_STYLE_LEVEL, [](int i) {
        return LOG_PrintfMask(LOG_LEVEL_DEBUG, __FILE__, __LINE__, 0x4, "row %d of %s (%F:%L)", i, "t1");
    });
}
BENCHMARK(BM_LogFilteredByCategory);

// Guards that a written line (prefix, expanded format, one sink) builds on
// the stack without any heap call.
void BM_LogWritten(benchmark::State &state)
{
    TimeWithSink(state, LOG_LEVEL_DEBUG, LOG_CATEGORY_ALL, LOG_STYLE_TIME | LOG_STYLE_LEVEL | LOG_STYLE_POSITION,
                 LogRow);
}
BENCHMARK(BM_LogWritten);

} // namespace

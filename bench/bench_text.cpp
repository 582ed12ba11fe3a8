// Text conversion throughput: UTF-8 <-> UTF-16 (the Unicode build's edge
// and Java's string mode 1) and the ANSI code page <-> UTF-16 over iconv,
// for short cell-sized texts and long ones, in four scripts.
#include <benchmark/benchmark.h>

#include <sql.h>

#include <string>
#include <vector>

#include "bench/alloc_count.h"
#include "util/codepage.h"
#include "util/utf8.h"

namespace {

struct Script {
    const char *name;
    std::u16string unit;  // repeated to the wanted length
    bool latin1;          // representable in ISO-8859-1
};

const Script kScripts[] = {
    {"ascii", u"Order 42 shipped;", true},
    {"latin", u"Mü\u00e9ller Gr\u00f6\u00dfe ", true},
    {"cjk", u"\u6771\u4eac\u90fd\u5343\u4ee3\u7530\u533a", false},
    {"emoji", u"\U0001F600\U0001F680 ok ", false},
};

const int64_t kLengths[] = {32, 4096};

// `units` UTF-16 units of the script, never ending inside a surrogate pair.
std::u16string MakeWide(const Script &s, int64_t units)
{
    std::u16string w;
    while (static_cast<int64_t>(w.size()) < units)
        w += s.unit;
    w.resize(static_cast<size_t>(units));
    if (!w.empty() && w.back() >= 0xD800 && w.back() <= 0xDBFF)
        w.back() = u'x';
    return w;
}

std::string ToUtf8(const std::u16string &w)
{
    std::string s(static_cast<size_t>(UTF8_LenFromWide(w.c_str(), SQL_NTS)) + 1, '\0');
    int64_t bytes = 0;
    UTF8_FromWideBuf(w.c_str(), s.data(), static_cast<int64_t>(s.size()), &bytes);
    s.resize(static_cast<size_t>(bytes));
    return s;
}

// Guards UTF-8 -> UTF-16 decoding speed (application text in, Java text out).
void BM_Utf8ToUtf16(benchmark::State &state, const Script *script, int64_t units)
{
    const std::u16string w = MakeWide(*script, units);
    const std::string s = ToUtf8(w);
    std::vector<char16_t> out(w.size() + 1);
    const uint64_t before = BenchAllocCount();
    for (auto _ : state) {
        int64_t n = 0;
        benchmark::DoNotOptimize(UTF8_ToWideBuf(s.c_str(), out.data(), static_cast<int64_t>(out.size()), &n));
        benchmark::ClobberMemory();
    }
    BenchReportAllocs(state, before, "allocs/call");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(s.size()));
}

// Guards UTF-16 -> UTF-8 encoding speed (wide arguments in, text to Java).
void BM_Utf16ToUtf8(benchmark::State &state, const Script *script, int64_t units)
{
    const std::u16string w = MakeWide(*script, units);
    std::vector<char> out(static_cast<size_t>(UTF8_LenFromWide(w.c_str(), SQL_NTS)) + 1);
    const uint64_t before = BenchAllocCount();
    for (auto _ : state) {
        int64_t n = 0;
        benchmark::DoNotOptimize(UTF8_FromWideBuf(w.c_str(), out.data(), static_cast<int64_t>(out.size()), &n));
        benchmark::ClobberMemory();
    }
    BenchReportAllocs(state, before, "allocs/call");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(w.size() * 2));
}

// Guards ANSI code page -> UTF-16 speed (the ANSI build's text to the wide
// side), including the converter set-up each call makes.
void BM_AnsiToUtf16(benchmark::State &state, const Script *script, int64_t units, const char *codeset)
{
    if (!CP_SetAnsiCodeset(codeset)) {
        state.SkipWithError("code set not available");
        return;
    }
    const std::u16string w = MakeWide(*script, units);
    std::vector<char> ansi(static_cast<size_t>(units) * 4 + 1);
    const int64_t bytes = CP_WideToAnsi(w.c_str(), static_cast<int64_t>(w.size()), ansi.data(),
                                        static_cast<int64_t>(ansi.size()), nullptr);
    std::vector<char16_t> out(w.size() + 1);
    const uint64_t before = BenchAllocCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            CP_AnsiToWide(ansi.data(), bytes, out.data(), static_cast<int64_t>(out.size()), nullptr));
        benchmark::ClobberMemory();
    }
    BenchReportAllocs(state, before, "allocs/call");
    state.SetBytesProcessed(state.iterations() * bytes);
    CP_SetAnsiCodeset(nullptr);
}

// Guards UTF-16 -> ANSI code page speed (wide values to narrow buffers).
void BM_Utf16ToAnsi(benchmark::State &state, const Script *script, int64_t units, const char *codeset)
{
    if (!CP_SetAnsiCodeset(codeset)) {
        state.SkipWithError("code set not available");
        return;
    }
    const std::u16string w = MakeWide(*script, units);
    std::vector<char> out(static_cast<size_t>(units) * 4 + 1);
    const uint64_t before = BenchAllocCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(CP_WideToAnsi(w.c_str(), static_cast<int64_t>(w.size()), out.data(),
                                               static_cast<int64_t>(out.size()), nullptr));
        benchmark::ClobberMemory();
    }
    BenchReportAllocs(state, before, "allocs/call");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(w.size() * 2));
    CP_SetAnsiCodeset(nullptr);
}

const int kRegistered = [] {
    for (const Script &s : kScripts) {
        for (int64_t len : kLengths) {
            const std::string suffix = std::string("/") + s.name + "/units:" + std::to_string(len);
            benchmark::RegisterBenchmark(("BM_Utf8ToUtf16" + suffix).c_str(), BM_Utf8ToUtf16, &s, len);
            benchmark::RegisterBenchmark(("BM_Utf16ToUtf8" + suffix).c_str(), BM_Utf16ToUtf8, &s, len);
        }
    }
    for (const Script &s : kScripts) {
        for (int64_t len : kLengths) {
            for (const char *cs : {"UTF-8", "ISO-8859-1"}) {
                if (!s.latin1 && cs[0] == 'I')
                    continue;
                const std::string suffix = std::string("/") + cs + "/" + s.name + "/units:" + std::to_string(len);
                benchmark::RegisterBenchmark(("BM_AnsiToUtf16" + suffix).c_str(), BM_AnsiToUtf16, &s, len, cs);
                benchmark::RegisterBenchmark(("BM_Utf16ToAnsi" + suffix).c_str(), BM_Utf16ToAnsi, &s, len, cs);
            }
        }
    }
    return 0;
}();

} // namespace

// GetColumn per cell: the conversion every fetched value goes through, for
// the common column types and the C types applications bind them to.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/alloc_count.h"
#include "bench/sample_rows.h"
#include "exec/convert.h"
#include "exec/getcolumn.h"
#include "util/codepage.h"

namespace {

// The statement side GetColumn asks: the block's descriptions, no
// descriptor records, no long values.
class BenchHost : public GetColumnHost {
public:
    std::vector<ColDesc> descs;
    int ColDescs(const ColDesc **d, uint16_t *count) override
    {
        *d = descs.data();
        *count = static_cast<uint16_t>(descs.size());
        return 0;
    }
    bool DescRecord(bool, uint16_t, int16_t *, int16_t *, int16_t *) override { return false; }
    int BookmarkGet(uint32_t, int32_t *bookmark) override
    {
        *bookmark = 0;
        return 0;
    }
    int FetchColValue(GetDataState *, int64_t) override { return ERR_NO_DATA_FOUND; }
    void FreeColValue(GetDataState *) override {}
};

struct Case {
    const char *name;
    SampleCol col;
    int16_t cType;
    SQLLEN bufLen;
    int nullEvery;  // every nth cell NULL (0: none)
    bool integers;  // text cells hold integers
};

const Case kCases[] = {
    {"INTEGER/SQL_C_SLONG", {VT_LONG, 4, SQL_INTEGER, 0}, SQL_C_SLONG, 4, 0, false},
    {"INTEGER/SQL_C_CHAR", {VT_LONG, 4, SQL_INTEGER, 0}, SQL_C_CHAR, 16, 0, false},
    {"INTEGER/SQL_C_WCHAR", {VT_LONG, 4, SQL_INTEGER, 0}, SQL_C_WCHAR, 32, 0, false},
    {"INTEGER/SQL_C_SLONG/nulls", {VT_LONG, 4, SQL_INTEGER, 0}, SQL_C_SLONG, 4, 2, false},
    {"DOUBLE/SQL_C_DOUBLE", {VT_DOUBLE, 8, SQL_DOUBLE, 0}, SQL_C_DOUBLE, 8, 0, false},
    {"DOUBLE/SQL_C_CHAR", {VT_DOUBLE, 8, SQL_DOUBLE, 0}, SQL_C_CHAR, 32, 0, false},
    {"VARCHAR/SQL_C_CHAR", {VT_NTS, 40, SQL_VARCHAR, 0}, SQL_C_CHAR, 64, 0, false},
    {"VARCHAR/SQL_C_WCHAR", {VT_NTS, 40, SQL_VARCHAR, 0}, SQL_C_WCHAR, 128, 0, false},
    {"VARCHAR/SQL_C_CHAR/truncated", {VT_NTS, 40, SQL_VARCHAR, 0}, SQL_C_CHAR, 8, 0, false},
    {"WVARCHAR/SQL_C_WCHAR", {VT_WNTS, 32, SQL_WVARCHAR, 0}, SQL_C_WCHAR, 128, 0, false},
    {"WVARCHAR/SQL_C_CHAR", {VT_WNTS, 32, SQL_WVARCHAR, 0}, SQL_C_CHAR, 64, 0, false},
    {"NUMERIC(text)/SQL_C_CHAR", {VT_NTS, 20, SQL_NUMERIC, 2}, SQL_C_CHAR, 32, 0, false},
    {"NUMERIC(text)/SQL_C_DOUBLE", {VT_NTS, 20, SQL_NUMERIC, 2}, SQL_C_DOUBLE, 8, 0, false},
    {"NUMERIC(text)/SQL_C_NUMERIC", {VT_NTS, 20, SQL_NUMERIC, 2}, SQL_C_NUMERIC, sizeof(SQL_NUMERIC_STRUCT), 0, false},
    {"BIGINT(text)/SQL_C_SBIGINT", {VT_NTS, 20, SQL_BIGINT, 0}, SQL_C_SBIGINT, 8, 0, true},
    {"BIGINT(text)/SQL_C_CHAR", {VT_NTS, 20, SQL_BIGINT, 0}, SQL_C_CHAR, 32, 0, true},
    {"DATE/SQL_C_TYPE_DATE", {VT_DATE, 6, SQL_TYPE_DATE, 0}, SQL_C_TYPE_DATE, sizeof(DATE_STRUCT), 0, false},
    {"TIMESTAMP/SQL_C_TYPE_TIMESTAMP", {VT_TIMESTAMP, 16, SQL_TYPE_TIMESTAMP, 6}, SQL_C_TYPE_TIMESTAMP,
     sizeof(TIMESTAMP_STRUCT), 0, false},
    {"TIMESTAMP/SQL_C_CHAR", {VT_TIMESTAMP, 16, SQL_TYPE_TIMESTAMP, 6}, SQL_C_CHAR, 32, 0, false},
    {"TEXT(heap)/SQL_C_CHAR", {VT_HEAP_TEXT, 0x7FFFFFFF, SQL_LONGVARCHAR, 0}, SQL_C_CHAR, 256, 0, false},
    {"WVARCHAR/SQL_C_SLONG", {VT_WNTS, 32, SQL_WVARCHAR, 0}, SQL_C_SLONG, 4, 0, true},
};

// A block of one column, its text cells holding integers when the case
// says so.
int MakeCaseBlock(RowBlock *rb, const Case &c, int32_t rows)
{
    if (int rc = MakeSampleBlock(rb, {c.col}, rows, c.nullEvery))
        return rc;
    if (!c.integers)
        return 0;
    RowBlockColumn &col = rb->columns[0];
    const bool wide = col.valueType == VT_WNTS;
    for (int32_t r = 0; r < rows; ++r) {
        const std::string n = std::to_string(int64_t{r} * 1000003 - 5000);
        uint8_t *cell = col.data + static_cast<size_t>(r) * col.width;
        for (size_t i = 0; i <= n.size(); ++i) {
            const char ch = i < n.size() ? n[i] : '\0';
            if (wide) {
                uint16_t u = static_cast<uint16_t>(ch);
                std::memcpy(cell + 2 * i, &u, 2);
            } else {
                cell[i] = static_cast<uint8_t>(ch);
            }
        }
    }
    return 0;
}

// Guards the per-cell cost of GetColumn for one column type and C type:
// time per cell and heap calls per cell (only a wide-text parse may
// allocate).
void BM_GetColumn(benchmark::State &state, const Case *c)
{
    constexpr int32_t kRows = 256;
    RowBlock rb{};
    if (MakeCaseBlock(&rb, *c, kRows) != 0) {
        state.SkipWithError("block not made");
        return;
    }
    BenchHost host;
    host.descs = SampleDescs({c->col});
    int32_t err = 0;
    GetDataState gd{};
    GetColumnCtx ctx{&err, &gd, &host, 3, true, false, false};
    alignas(16) char buffer[512];
    SQLLEN octets = 0, indicator = 0;
    ColBindingHead binding{1, c->cType, 0, buffer, c->bufLen, &octets, &indicator};

    int failures = 0;
    const uint64_t before = BenchAllocCount();
    uint32_t row = 0;
    for (auto _ : state) {
        err = 0;
        SQLRETURN rc = GetColumn(ctx, row, &binding, &rb);
        failures += rc == SQL_ERROR;
        benchmark::DoNotOptimize(buffer);
        if (++row == kRows)
            row = 0;
    }
    BenchReportAllocs(state, before, "allocs/cell");
    state.SetItemsProcessed(state.iterations());
    if (failures)
        state.SkipWithError("GetColumn answered SQL_ERROR");
    RB_Free(&rb);
}

const int kRegistered = [] {
    // The Unicode build: narrow values are UTF-8 and the code page is UTF-8.
    CP_SetAnsiCodeset("UTF-8");
    for (const Case &c : kCases)
        benchmark::RegisterBenchmark((std::string("BM_GetColumn/") + c.name).c_str(), BM_GetColumn, &c);
    return 0;
}();

} // namespace

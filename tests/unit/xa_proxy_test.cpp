// The XA worker proxies in front of a back end that fills the slots the
// JDBC back end leaves empty: each argument reaches the back end whole,
// whether the call runs on the calling thread or on the connection's worker.
// (The proxy table is copied from the first binding of the process, so this
// program installs its own table first.)
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>

#include "odbc/contract/drv_ops.h"
#include "odbc/contract/rowblock.h"
#include "xa/xat.h"
#include "xa/xat_worker.h"

namespace {

constexpr int kStmt = 0x0DBCCC01;

struct PutCall {
    int stmt = 0;
    uint32_t valueType = 0;
    int indicator = 0;
    const void *piece = nullptr;
    int64_t size = 0;
    std::thread::id thread;
} g_put;

int RecordPut(int stmt, uint32_t valueType, int indicator, const void *piece, int64_t size)
{
    g_put = PutCall{stmt, valueType, indicator, piece, size, std::this_thread::get_id()};
    return 0;
}

XaWorkerMode *g_mode = nullptr;

bool StmtMode(int stmt, XaWorkerMode **mode)
{
    *mode = g_mode;
    return stmt == kStmt;
}

XaWorkerMode **NoConn(int) { return nullptr; }
void NoThreadEnd() {}

const DrvXaSupport kSupport = {NoConn, StmtMode, NoThreadEnd};

TEST(XaProxySlots, PiecesOfDataAtExecutionReachTheBackEndWhole)
{
    DrvOpTable table{};
    table.PutData = RecordPut;
    DrvBinding binding{DRVB_THREAD_SAFE, &table};
    XAT_SetBackendSupport(&kSupport);
    ASSERT_EQ(XAT_InstallProxyOps(&binding), 0);
    ASSERT_NE(binding.ops, &table);
    ASSERT_NE(binding.ops->PutData, table.PutData);

    XaWorkerMode mode{};
    ASSERT_TRUE(XAT_ModeInit(&mode, 1));
    XAT_SetXaActive(&mode, 1);
    const char piece[] = "piece";
    // A size beyond 32 bits and an indicator beyond 16.
    const int64_t size = (int64_t{5} << 32) + 123;
    struct Case {
        const char *label;
        XaWorkerMode *mode;
        bool onWorker;
    } cases[] = {{"no XA connection", nullptr, false}, {"XA connection with a worker", &mode, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        g_mode = c.mode;
        g_put = PutCall{};
        EXPECT_EQ(binding.ops->PutData(kStmt, VT_HEAP_BINARY, 70000, piece, size), 0);
        EXPECT_EQ(g_put.stmt, kStmt);
        EXPECT_EQ(g_put.valueType, VT_HEAP_BINARY);
        EXPECT_EQ(g_put.indicator, 70000);
        EXPECT_EQ(g_put.piece, piece);
        EXPECT_EQ(g_put.size, size);
        EXPECT_EQ(g_put.thread != std::this_thread::get_id(), c.onWorker);
    }
    g_mode = nullptr;
    XAT_ModeDestroy(&mode);
}

} // namespace

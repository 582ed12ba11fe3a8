// The cost of an ODBC call through the entry point and the call dispatcher
// (handle check, busy marking, diagnostics reset, locks) over a scripted
// back end that answers at once, with tracing off.
#include <benchmark/benchmark.h>

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "bench/alloc_count.h"
#include "tests/fakes/fake_backend.h"

namespace {

// An ODBC 3 environment, a connection opened on the fake back end and one
// statement.
struct Session {
    FakeBackend fake;
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT stmt = nullptr;
    bool ok = false;

    Session()
    {
        ok = SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env) == SQL_SUCCESS &&
             SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0) ==
                 SQL_SUCCESS &&
             SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc) == SQL_SUCCESS && FakeConnect(dbc, fake) &&
             SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt) == SQL_SUCCESS;
    }
    ~Session()
    {
        if (env)
            SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
};

// Runs call() per iteration; reports calls per second, heap calls per call
// and the calls that did not answer `expected`.
template <class Call>
void RunCalls(benchmark::State &state, Session &s, SQLRETURN expected, Call call)
{
    if (!s.ok) {
        state.SkipWithError("session not set up");
        return;
    }
    // The fake records every back-end call: a warm-up grows its log once,
    // and clearing it every 1024 calls keeps that storage.
    for (int i = 0; i < 1024; ++i)
        call();
    s.fake.ClearCalls();
    int64_t unexpected = 0;
    uint64_t n = 0;
    const uint64_t before = BenchAllocCount();
    for (auto _ : state) {
        unexpected += call() != expected;
        if ((++n & 1023) == 0)
            s.fake.ClearCalls();
    }
    BenchReportAllocs(state, before, "allocs/call");
    state.SetItemsProcessed(state.iterations());
    state.counters["unexpected"] = static_cast<double>(unexpected);
}

// Guards a statement call answered by the driver alone (no back end).
void BM_DispatchGetStmtAttr(benchmark::State &state)
{
    Session s;
    SQLULEN value = 0;
    RunCalls(state, s, SQL_SUCCESS, [&] {
        return SQLGetStmtAttr(s.stmt, SQL_ATTR_ROW_ARRAY_SIZE, &value, 0, nullptr);
    });
}
BENCHMARK(BM_DispatchGetStmtAttr);

// Guards a statement attribute write that the driver keeps itself.
void BM_DispatchSetStmtAttr(benchmark::State &state)
{
    Session s;
    RunCalls(state, s, SQL_SUCCESS, [&] {
        return SQLSetStmtAttr(s.stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(10), 0);
    });
}
BENCHMARK(BM_DispatchSetStmtAttr);

// Guards a connection call answered from the driver's constants, narrow and
// wide (the wide one writes UTF-16 at the edge).
void BM_DispatchGetInfo(benchmark::State &state)
{
    Session s;
    const bool wide = state.range(0) != 0;
    SQLWCHAR wbuf[16];
    SQLCHAR buf[16];
    SQLSMALLINT len = 0;
    RunCalls(state, s, SQL_SUCCESS, [&] {
        return wide ? SQLGetInfoW(s.dbc, SQL_DRIVER_ODBC_VER, wbuf, sizeof wbuf, &len)
                    : SQLGetInfo(s.dbc, SQL_DRIVER_ODBC_VER, buf, sizeof buf, &len);
    });
}
BENCHMARK(BM_DispatchGetInfo)->ArgName("wide")->Arg(0)->Arg(1);

// Guards a call that reaches the back end once (a commit).
void BM_DispatchEndTran(benchmark::State &state)
{
    Session s;
    RunCalls(state, s, SQL_SUCCESS, [&] { return SQLEndTran(SQL_HANDLE_DBC, s.dbc, SQL_COMMIT); });
}
BENCHMARK(BM_DispatchEndTran);

// Guards the refusal of a handle that was never issued.
void BM_DispatchInvalidHandle(benchmark::State &state)
{
    Session s;
    SQLULEN value = 0;
    auto bogus = reinterpret_cast<SQLHSTMT>(static_cast<uintptr_t>(0x0003FFF0));
    RunCalls(state, s, SQL_INVALID_HANDLE, [&] {
        return SQLGetStmtAttr(bogus, SQL_ATTR_ROW_ARRAY_SIZE, &value, 0, nullptr);
    });
}
BENCHMARK(BM_DispatchInvalidHandle);

} // namespace

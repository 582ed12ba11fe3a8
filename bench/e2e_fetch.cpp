// End to end through unixODBC against the test PostgreSQL: 100,000 rows of a
// typical five-column result fetched with bound columns, row by row, while
// the driver brings them from the back end in blocks.  Needs the fixture's
// environment (ODBCSYSINI, ODBCINI, KRS_REGISTRY_FILE); scripts/bench.sh
// starts the server and sets it.
#include <benchmark/benchmark.h>

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <string>

#include "bench/alloc_count.h"

namespace {

constexpr int64_t kRows = 100000;

// The first diagnostic of a handle, for error messages.
std::string Diag(SQLSMALLINT type, SQLHANDLE h)
{
    SQLCHAR state[6] = {}, msg[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len)))
        return "(no diagnostic)";
    return std::string(reinterpret_cast<char *>(state)) + " " + reinterpret_cast<char *>(msg);
}

// A connection to one of the fixture's data sources; `error` says why not.
struct Connection {
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    std::string error;

    explicit Connection(const char *dsn)
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        SQLRETURN rc = SQLConnect(dbc, reinterpret_cast<SQLCHAR *>(const_cast<char *>(dsn)), SQL_NTS, nullptr, 0,
                                  nullptr, 0);
        if (!SQL_SUCCEEDED(rc))
            error = std::string("connect ") + dsn + ": " + Diag(SQL_HANDLE_DBC, dbc);
    }
    ~Connection()
    {
        if (error.empty())
            SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    // Runs one statement to its end; false with `error` set when it fails.
    bool Exec(const char *sql)
    {
        SQLHSTMT st = nullptr;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
        SQLRETURN rc = SQLExecDirect(st, reinterpret_cast<SQLCHAR *>(const_cast<char *>(sql)), SQL_NTS);
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
            error = std::string(sql) + ": " + Diag(SQL_HANDLE_STMT, st);
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return error.empty();
    }
};

// The table both libraries read, made once per process.
bool MakeTable(Connection &c)
{
    static bool made = false;
    if (made)
        return true;
    made = c.Exec("DROP TABLE IF EXISTS bench_fetch") &&
           c.Exec("CREATE TABLE bench_fetch AS SELECT g AS id, g * 1.25::float8 AS amount, "
                  "('customer name ' || g)::varchar(40) AS name, "
                  "timestamp '2024-01-01' + g * interval '1 second' AS created, "
                  "(g / 7.0)::numeric(12,2) AS price FROM generate_series(1, 100000) g");
    return made;
}

// Guards the fetch road end to end (statement, block fetch from the back
// end, GetColumn per bound cell): rows per second and heap calls per row on
// the application's thread.
void BM_FetchBound(benchmark::State &state, const char *dsn)
{
    Connection c(dsn);
    if (!c.error.empty() || !MakeTable(c)) {
        state.SkipWithError(c.error.c_str());
        return;
    }
    SQLINTEGER id = 0;
    double amount = 0;
    SQLCHAR name[48];
    TIMESTAMP_STRUCT created{};
    SQLCHAR price[24];
    SQLLEN ind[5] = {};
    int64_t fetched = 0;
    uint64_t allocs = 0;
    for (auto _ : state) {
        SQLHSTMT st = nullptr;
        SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &st);
        SQLBindCol(st, 1, SQL_C_SLONG, &id, 0, &ind[0]);
        SQLBindCol(st, 2, SQL_C_DOUBLE, &amount, 0, &ind[1]);
        SQLBindCol(st, 3, SQL_C_CHAR, name, sizeof name, &ind[2]);
        SQLBindCol(st, 4, SQL_C_TYPE_TIMESTAMP, &created, 0, &ind[3]);
        SQLBindCol(st, 5, SQL_C_CHAR, price, sizeof price, &ind[4]);
        SQLRETURN rc = SQLExecDirect(
            st, reinterpret_cast<SQLCHAR *>(const_cast<char *>("SELECT id, amount, name, created, price FROM bench_fetch")),
            SQL_NTS);
        if (!SQL_SUCCEEDED(rc)) {
            state.SkipWithError((std::string("execute: ") + Diag(SQL_HANDLE_STMT, st)).c_str());
            SQLFreeHandle(SQL_HANDLE_STMT, st);
            break;
        }
        const uint64_t before = BenchAllocCount();
        int64_t n = 0;
        while ((rc = SQLFetch(st)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)
            ++n;
        allocs += BenchAllocCount() - before;
        fetched += n;
        if (rc != SQL_NO_DATA || n != kRows) {
            state.SkipWithError((std::to_string(n) + " rows, then " + Diag(SQL_HANDLE_STMT, st)).c_str());
            SQLFreeHandle(SQL_HANDLE_STMT, st);
            break;
        }
        SQLFreeHandle(SQL_HANDLE_STMT, st);
    }
    state.counters["allocs/row"] = benchmark::Counter(fetched ? static_cast<double>(allocs) / fetched : 0);
    state.SetItemsProcessed(fetched);
}

const int kRegistered = [] {
    for (const char *dsn : {"krs_w", "krs_a"})
        benchmark::RegisterBenchmark((std::string("BM_FetchBound/") + dsn).c_str(), BM_FetchBound, dsn)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    return 0;
}();

} // namespace

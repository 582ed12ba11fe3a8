// Application workloads through unixODBC against the test PostgreSQL, timed
// as a whole (scripts/bench_workloads.sh runs them beside the same workloads
// written over pgjdbc alone, JdbcWorkloads.java, and prints the ratios):
//   fetch      1 000 000 rows of (int4, text, numeric(12,2), timestamp) into bound columns
//   getdata    the same rows read with SQLGetData
//   insert     20 000 single-row prepared inserts in one transaction
//   array      200 000 inserts as parameter arrays of 1000 rows
//   connect    50 connect/disconnect cycles
//   columns    200 SQLColumns calls on the source table, every row read
//   scroll     random moves over <source table>_scroll (int primary key, int,
//              varchar(40)) in rowsets of 10, for each cursor type: one line
//              per case, "scroll_<case>", in moves per second; a case whose
//              cursor type the driver changes is left out
// Usage: bench_workloads <dsn> <source table> [workload,...]; one line per
// workload, "<name> <seconds> <items per second>", then "peak_rss_kb <n>".
// The optional list runs only the workloads it names (for profiling one);
// "scroll_<case>" runs one case of the scroll workload; "first" alone
// connects, runs "select 1", reads its row and ends, printing nothing
// (scripts/bench_workloads.sh times the whole process).
#include <sql.h>
#include <sqlext.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// Ends the program with the handle's first diagnostic when rc failed.
void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h, const char *what)
{
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA)
        return;
    SQLCHAR state[6] = {}, msg[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len);
    std::fprintf(stderr, "bench_workloads: %s failed: %s %s\n", what, state, msg);
    std::exit(1);
}

void Report(const char *name, double secs, double items)
{
    std::printf("%s %.3f %.0f\n", name, secs, items / secs);
    std::fflush(stdout);
}

SQLCHAR *Sql(const std::string &s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s.c_str())); }

struct Session {
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    std::string in;

    explicit Session(const char *dsn) : in(std::string("DSN=") + dsn)
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    }
    void Connect()
    {
        Check(SQLDriverConnect(dbc, nullptr, Sql(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
              SQL_HANDLE_DBC, dbc, "connect");
    }
    ~Session()
    {
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
};

void Fetch(SQLHDBC dbc, const std::string &table, bool bound)
{
    SQLHSTMT st = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    const auto t = Clock::now();
    Check(SQLExecDirect(st, Sql("select id, name, amount, created from " + table), SQL_NTS), SQL_HANDLE_STMT, st,
          "select");
    SQLINTEGER id = 0;
    char name[64], amount[32];
    TIMESTAMP_STRUCT created{};
    SQLLEN ind[4];
    if (bound) {
        SQLBindCol(st, 1, SQL_C_SLONG, &id, 0, &ind[0]);
        SQLBindCol(st, 2, SQL_C_CHAR, name, sizeof name, &ind[1]);
        SQLBindCol(st, 3, SQL_C_CHAR, amount, sizeof amount, &ind[2]);
        SQLBindCol(st, 4, SQL_C_TYPE_TIMESTAMP, &created, 0, &ind[3]);
    }
    long rows = 0;
    SQLRETURN rc;
    while ((rc = SQLFetch(st)) == SQL_SUCCESS) {
        if (!bound) {
            SQLGetData(st, 1, SQL_C_SLONG, &id, 0, &ind[0]);
            SQLGetData(st, 2, SQL_C_CHAR, name, sizeof name, &ind[1]);
            SQLGetData(st, 3, SQL_C_CHAR, amount, sizeof amount, &ind[2]);
            SQLGetData(st, 4, SQL_C_TYPE_TIMESTAMP, &created, 0, &ind[3]);
        }
        ++rows;
    }
    Check(rc, SQL_HANDLE_STMT, st, "fetch");
    Report(bound ? "fetch" : "getdata", Since(t), static_cast<double>(rows));
    SQLFreeHandle(SQL_HANDLE_STMT, st);
}

void Inserts(SQLHDBC dbc, const std::string &table)
{
    SQLHSTMT st = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    Check(SQLExecDirect(st, Sql("drop table if exists " + table), SQL_NTS), SQL_HANDLE_STMT, st, "drop");
    Check(SQLExecDirect(st, Sql("create table " + table + " (id int4, name text, amount numeric(12,2), created timestamp)"),
                        SQL_NTS),
          SQL_HANDLE_STMT, st, "create");
    SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    Check(SQLPrepare(st, Sql("insert into " + table + " values (?, ?, ?, ?)"), SQL_NTS), SQL_HANDLE_STMT, st,
          "prepare");

    // Single rows.
    SQLINTEGER id = 0;
    char name[32], amount[16] = "123.45";
    TIMESTAMP_STRUCT created{2024, 1, 2, 3, 4, 5, 0};
    SQLLEN nts = SQL_NTS;
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
    SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 30, 0, name, sizeof name, &nts);
    SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_NUMERIC, 12, 2, amount, sizeof amount, &nts);
    SQLBindParameter(st, 4, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, 6, &created, 0, nullptr);
    auto t = Clock::now();
    for (id = 0; id < 20000; ++id) {
        std::snprintf(name, sizeof name, "name %d", id);
        Check(SQLExecute(st), SQL_HANDLE_STMT, st, "insert");
    }
    Check(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_HANDLE_DBC, dbc, "commit");
    Report("insert", Since(t), 20000);
    SQLFreeStmt(st, SQL_RESET_PARAMS);

    // Parameter arrays of 1000 rows.
    constexpr int kArray = 1000;
    std::vector<SQLINTEGER> ids(kArray);
    std::vector<char> names(kArray * 32), amounts(kArray * 16);
    std::vector<SQLLEN> lens(kArray, SQL_NTS);
    std::vector<TIMESTAMP_STRUCT> stamps(kArray, created);
    for (int i = 0; i < kArray; ++i)
        std::snprintf(&amounts[16 * i], 16, "%d.25", i);
    SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(kArray)), 0);
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids.data(), 0, nullptr);
    SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 30, 0, names.data(), 32, lens.data());
    SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_NUMERIC, 12, 2, amounts.data(), 16, lens.data());
    SQLBindParameter(st, 4, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, 6, stamps.data(), 0,
                     nullptr);
    t = Clock::now();
    for (int b = 0; b < 200; ++b) {
        for (int i = 0; i < kArray; ++i) {
            ids[i] = b * kArray + i;
            std::snprintf(&names[32 * i], 32, "array %d", ids[i]);
        }
        Check(SQLExecute(st), SQL_HANDLE_STMT, st, "array insert");
    }
    Check(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_HANDLE_DBC, dbc, "commit");
    Report("array", Since(t), 200000);
    SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
}

void Columns(SQLHDBC dbc, const std::string &table)
{
    SQLHSTMT st = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    long rows = 0;
    const auto t = Clock::now();
    for (int i = 0; i < 200; ++i) {
        Check(SQLColumns(st, nullptr, 0, nullptr, 0, Sql(table), SQL_NTS, nullptr, 0), SQL_HANDLE_STMT, st,
              "columns");
        char name[128];
        SQLSMALLINT type = 0;
        SQLLEN ind[2];
        SQLBindCol(st, 4, SQL_C_CHAR, name, sizeof name, &ind[0]);
        SQLBindCol(st, 5, SQL_C_SSHORT, &type, 0, &ind[1]);
        SQLRETURN rc;
        while ((rc = SQLFetch(st)) == SQL_SUCCESS)
            ++rows;
        Check(rc, SQL_HANDLE_STMT, st, "columns fetch");
        SQLFreeStmt(st, SQL_CLOSE);
        SQLFreeStmt(st, SQL_UNBIND);
    }
    if (rows != 200 * 4)
        std::fprintf(stderr, "bench_workloads: SQLColumns found %ld columns, not 800\n", rows);
    Report("columns", Since(t), 200);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
}

// One scrolling case: a cursor type over the first `rows` rows.
struct ScrollCase {
    const char *name;
    SQLULEN cursorType;
    SQLULEN keysetSize;  // 0: the whole result
    int rows;
};
const ScrollCase kScrollCases[] = {
    {"static_mem", SQL_CURSOR_STATIC, 0, 4000},       {"static_6k", SQL_CURSOR_STATIC, 0, 6000},
    {"static_50k", SQL_CURSOR_STATIC, 0, 50000},      {"keyset_6k", SQL_CURSOR_KEYSET_DRIVEN, 0, 6000},
    {"mixed100_6k", SQL_CURSOR_KEYSET_DRIVEN, 100, 6000}, {"dynamic_6k", SQL_CURSOR_DYNAMIC, 0, 6000},
};

// Random moves for about two seconds (at least 200): NEXT, PRIOR, FIRST,
// LAST, RELATIVE within +-50 and, except on dynamic and mixed cursors,
// ABSOLUTE anywhere; each rowset checked to hold consecutive keys.
void Scroll(SQLHDBC dbc, const std::string &table, const ScrollCase &c)
{
    constexpr SQLULEN kRowset = 10;
    SQLHSTMT st = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(c.cursorType), 0);
    if (c.keysetSize)
        SQLSetStmtAttr(st, SQL_ATTR_KEYSET_SIZE, reinterpret_cast<SQLPOINTER>(c.keysetSize), 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kRowset), 0);
    SQLINTEGER id[kRowset], n[kRowset];
    char name[kRowset][41];
    SQLLEN ind[3][kRowset];
    SQLULEN fetched = 0;
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    Check(SQLExecDirect(st, Sql("select id, n, name from " + table + " where id <= " + std::to_string(c.rows) +
                                    " order by id"),
                        SQL_NTS),
          SQL_HANDLE_STMT, st, "scroll select");
    SQLULEN type = 0, keyset = 0;
    SQLGetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr);
    SQLGetStmtAttr(st, SQL_ATTR_KEYSET_SIZE, &keyset, 0, nullptr);
    if (type != c.cursorType || keyset != c.keysetSize) {
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return;  // the driver does not have this cursor type
    }
    SQLBindCol(st, 1, SQL_C_SLONG, id, 0, ind[0]);
    SQLBindCol(st, 2, SQL_C_SLONG, n, 0, ind[1]);
    SQLBindCol(st, 3, SQL_C_CHAR, name, sizeof name[0], ind[2]);
    uint32_t seed = 33;
    auto rnd = [&seed](uint32_t m) {
        seed = seed * 1103515245u + 12345u;
        return ((seed >> 8) & 0xFFFFFF) % m;
    };
    // Dynamic and mixed cursors have no ABSOLUTE.
    const bool absolute = c.cursorType == SQL_CURSOR_STATIC || (c.cursorType == SQL_CURSOR_KEYSET_DRIVEN && !c.keysetSize);
    bool outside = true;
    long moves = 0, wrong = 0;
    const auto t = Clock::now();
    double secs = 0;
    while (moves < 200 || (secs = Since(t)) < 2.0) {
        SQLSMALLINT orientation = SQL_FETCH_NEXT;
        SQLLEN offset = 0;
        switch (rnd(absolute ? 6 : 5)) {
        case 0: orientation = SQL_FETCH_NEXT; break;
        case 1: orientation = SQL_FETCH_PRIOR; break;
        case 2: orientation = SQL_FETCH_FIRST; break;
        case 3: orientation = SQL_FETCH_LAST; break;
        case 4: orientation = SQL_FETCH_RELATIVE; offset = SQLLEN(rnd(101)) - 50; break;
        default: orientation = SQL_FETCH_ABSOLUTE; offset = 1 + SQLLEN(rnd(uint32_t(c.rows))); break;
        }
        // Off the result, RELATIVE would turn into ABSOLUTE.
        if (!absolute && outside && orientation == SQL_FETCH_RELATIVE)
            orientation = SQL_FETCH_FIRST;
        SQLRETURN rc = SQLFetchScroll(st, orientation, offset);
        Check(rc, SQL_HANDLE_STMT, st, "scroll fetch");
        outside = rc == SQL_NO_DATA;
        for (SQLULEN i = 1; rc != SQL_NO_DATA && i < fetched; ++i)
            wrong += id[i] != id[0] + SQLINTEGER(i);
        ++moves;
    }
    if (wrong)
        std::fprintf(stderr, "bench_workloads: scroll_%s: %ld rows out of order\n", c.name, wrong);
    Report((std::string("scroll_") + c.name).c_str(), secs, static_cast<double>(moves));
    SQLFreeHandle(SQL_HANDLE_STMT, st);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_workloads <dsn> <source table> [workload,...]\n");
        return 2;
    }
    const std::string source = argv[2];
    const std::string only = argc > 3 ? "," + std::string(argv[3]) + "," : "";
    auto runs = [&](const char *name) { return only.empty() || only.find("," + std::string(name) + ",") != std::string::npos; };
    Session s(argv[1]);
    s.Connect();
    if (only == ",first,") {
        SQLHSTMT st = nullptr;
        SQLAllocHandle(SQL_HANDLE_STMT, s.dbc, &st);
        Check(SQLExecDirect(st, Sql("select 1"), SQL_NTS), SQL_HANDLE_STMT, st, "select 1");
        Check(SQLFetch(st), SQL_HANDLE_STMT, st, "fetch");
        SQLINTEGER one = 0;
        SQLLEN ind = 0;
        Check(SQLGetData(st, 1, SQL_C_SLONG, &one, 0, &ind), SQL_HANDLE_STMT, st, "get data");
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        SQLDisconnect(s.dbc);
        return one == 1 ? 0 : 1;
    }
    if (runs("fetch"))
        Fetch(s.dbc, source, true);
    if (runs("getdata"))
        Fetch(s.dbc, source, false);
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    const long fetchRss = ru.ru_maxrss;
    if (runs("insert") || runs("array"))
        Inserts(s.dbc, source + "_ins");
    if (runs("columns"))
        Columns(s.dbc, source);
    for (const ScrollCase &c : kScrollCases)
        if (runs("scroll") || runs((std::string("scroll_") + c.name).c_str()))
            Scroll(s.dbc, source + "_scroll", c);
    SQLDisconnect(s.dbc);

    if (runs("connect")) {
        const auto t = Clock::now();
        for (int i = 0; i < 50; ++i) {
            s.Connect();
            SQLDisconnect(s.dbc);
        }
        Report("connect", Since(t), 50);
    }
    std::printf("peak_rss_kb %ld\n", fetchRss);
    return 0;
}

// What unixODBC answers itself, asked of each library loaded directly:
// SQLGetFunctions (exactly the exported functions), SQLGetDiagField and SQLGetInfo or connection attributes
// on a handle that is not connected.  Each library runs in a child process.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

struct Direct {
    const char *file;
    bool wide;
};

typedef SQLRETURN (*AllocHandleFn)(SQLSMALLINT, SQLHANDLE, SQLHANDLE *);
typedef SQLRETURN (*SetEnvAttrFn)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER);
typedef SQLRETURN (*GetFunctionsFn)(SQLHDBC, SQLUSMALLINT, SQLUSMALLINT *);
typedef SQLRETURN (*GetInfoFn)(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT *);
typedef SQLRETURN (*GetDiagFieldFn)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLSMALLINT, SQLPOINTER, SQLSMALLINT,
                                    SQLSMALLINT *);
typedef SQLRETURN (*GetConnectAttrFn)(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER *);
typedef SQLRETURN (*SetConnectAttrFn)(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER);

struct Lib {
    void *handle = nullptr;
    bool wide = false;
    template <class F>
    F Fn(const char *narrow)
    {
        std::string name = narrow;
        if (wide && (name == "SQLGetInfo" || name == "SQLGetDiagField" || name == "SQLGetConnectAttr" ||
                     name == "SQLSetConnectAttr"))
            name += "W";
        return reinterpret_cast<F>(dlsym(handle, name.c_str()));
    }
};

// A text field read in the library's width, as narrow text.
std::string DiagText(Lib &lib, SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT id, SQLRETURN *rc)
{
    auto field = lib.Fn<GetDiagFieldFn>("SQLGetDiagField");
    SQLWCHAR buf[64] = {};
    SQLSMALLINT len = 0;
    *rc = field(type, h, rec, id, buf, sizeof buf, &len);
    if (!lib.wide)
        return reinterpret_cast<char *>(buf);
    std::string out;
    for (SQLWCHAR *p = buf; *p; ++p)
        out += static_cast<char>(*p);
    return out;
}

// The exported entry points with their SQLGetFunctions identifiers.
struct ExportRow {
    const char *name;
    SQLUSMALLINT id;
    bool text;      // exported as SQLNameW by the Unicode library
    bool reported;  // built, so SQLGetFunctions reports it
};
#define KRS_FN(Name, ApiId, Kind, Clear, Async, Text, Impl, Format, Params, Args, WParams, WArgs) \
    {#Name, ApiId, (Text) != 0, std::string_view(#Impl) != "KRS_UNSUPPORTED"},
#define KRS_DESC(Var, Name, Kind, Clear, Async, Text, Impl, Format)
#define KRS_OWN(Name, ApiId, Text) {#Name, ApiId, (Text) != 0, true},
#define KRS_RAW(Symbol)
const ExportRow kExports[] = {
#include "odbc/api_list.inc"
};
#undef KRS_FN
#undef KRS_DESC
#undef KRS_OWN
#undef KRS_RAW

// Whether SQLGetFunctions reports the function: exported and built.
bool Reported(SQLUSMALLINT id)
{
    for (const ExportRow &r : kExports)
        if (r.id == id)
            return r.reported;
    return false;
}

#define CHECK(step, cond) \
    do {                  \
        if (!(cond))      \
            return step;  \
    } while (0)

// The child's work: 0 when everything answered as expected, else the step.
int RunChecks(const Direct &d, const std::string &libdir)
{
    Lib lib;
    lib.wide = d.wide;
    lib.handle = dlopen((libdir + "/" + d.file).c_str(), RTLD_NOW | RTLD_LOCAL);
    CHECK(1, lib.handle);
    auto alloc = lib.Fn<AllocHandleFn>("SQLAllocHandle");
    auto setEnv = lib.Fn<SetEnvAttrFn>("SQLSetEnvAttr");
    auto functions = lib.Fn<GetFunctionsFn>("SQLGetFunctions");
    auto info = lib.Fn<GetInfoFn>("SQLGetInfo");
    auto field = lib.Fn<GetDiagFieldFn>("SQLGetDiagField");
    auto getAttr = lib.Fn<GetConnectAttrFn>("SQLGetConnectAttr");
    auto setAttr = lib.Fn<SetConnectAttrFn>("SQLSetConnectAttr");
    CHECK(2, alloc && setEnv && functions && info && field && getAttr && setAttr);
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    CHECK(3, alloc(SQL_HANDLE_ENV, nullptr, &env) == SQL_SUCCESS);
    CHECK(3, setEnv(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0) == SQL_SUCCESS);
    CHECK(3, alloc(SQL_HANDLE_DBC, env, &dbc) == SQL_SUCCESS);

    // SQLGetFunctions, in any state.
    SQLUSMALLINT all[100] = {};
    CHECK(10, functions(dbc, SQL_API_ALL_FUNCTIONS, all) == SQL_SUCCESS);
    CHECK(11, all[SQL_API_SQLGETINFO] && all[SQL_API_SQLBULKOPERATIONS] && !all[SQL_API_SQLBROWSECONNECT] &&
                  !all[SQL_API_SQLDATASOURCES] && !all[SQL_API_SQLDRIVERS]);
    SQLUSMALLINT bits[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {};
    CHECK(12, functions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, bits) == SQL_SUCCESS);
    CHECK(13, SQL_FUNC_EXISTS(bits, SQL_API_SQLGETDIAGFIELD) && SQL_FUNC_EXISTS(bits, SQL_API_SQLFETCHSCROLL) &&
                  !SQL_FUNC_EXISTS(bits, SQL_API_SQLBINDPARAM) && SQL_FUNC_EXISTS(bits, SQL_API_SQLSETPOS) &&
                  SQL_FUNC_EXISTS(bits, SQL_API_SQLEXTENDEDFETCH));
    // Exactly the exported functions that are built are reported, in both
    // forms; the others are left to the Driver Manager.
    for (const ExportRow &r : kExports) {
        std::string symbol = std::string("SQL") + r.name + (r.text && d.wide ? "W" : "");
        CHECK(14, dlsym(lib.handle, symbol.c_str()) != nullptr);
    }
    for (SQLUSMALLINT id = 0; id < SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * 16; ++id) {
        CHECK(15, (SQL_FUNC_EXISTS(bits, id) != 0) == Reported(id));
        CHECK(16, id >= 100 || (all[id] != 0) == Reported(id));
    }

    // Nothing to report yet.
    SQLINTEGER number = -1;
    CHECK(20, field(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_NUMBER, &number, 0, nullptr) == SQL_SUCCESS && number == 0);
    SQLRETURN rc = SQL_ERROR;
    DiagText(lib, SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_SQLSTATE, &rc);
    CHECK(21, rc == SQL_NO_DATA);

    // SQLGetInfo before connecting: the driver ODBC version, and 08003 for
    // what the back end answers.
    SQLWCHAR buf[16] = {};
    SQLSMALLINT len = 0;
    CHECK(30, info(dbc, SQL_DRIVER_ODBC_VER, buf, sizeof buf, &len) == SQL_SUCCESS);
    CHECK(31, len == (d.wide ? 10 : 5));
    CHECK(32, info(dbc, SQL_DRIVER_ODBC_VER, buf, d.wide ? 6 : 3, &len) == SQL_SUCCESS_WITH_INFO &&
                  len == (d.wide ? 10 : 5));
    CHECK(33, DiagText(lib, SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_SQLSTATE, &rc) == "01004" && rc == SQL_SUCCESS);
    CHECK(34, info(dbc, SQL_DBMS_NAME, buf, sizeof buf, &len) == SQL_ERROR);
    CHECK(35, DiagText(lib, SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_SQLSTATE, &rc) == "08003");
    CHECK(36, DiagText(lib, SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_CLASS_ORIGIN, &rc) == "ISO 9075");
    CHECK(37, field(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_NUMBER, &number, 0, nullptr) == SQL_SUCCESS && number == 1);
    CHECK(38, field(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_ROW_NUMBER, &number, 0, nullptr) == SQL_ERROR);
    SQLSMALLINT textLen = 0;
    CHECK(39, field(SQL_HANDLE_DBC, dbc, 1, SQL_DIAG_MESSAGE_TEXT, nullptr, 0, &textLen) == SQL_SUCCESS &&
                  textLen == (d.wide ? 2 : 1) * static_cast<SQLSMALLINT>(std::strlen("[Kestrune][ODBC][Driver]Connection not open")));

    // Connection attributes a Driver Manager would keep: a connection that
    // is not open is not dead; autocommit set before connecting is kept.
    SQLUINTEGER dead = 7;
    CHECK(40, getAttr(dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr) == SQL_SUCCESS && dead == SQL_CD_FALSE);
    CHECK(41, setAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0) == SQL_SUCCESS);
    SQLUINTEGER ac = 7;
    CHECK(42, getAttr(dbc, SQL_ATTR_AUTOCOMMIT, &ac, 0, nullptr) == SQL_SUCCESS && ac == SQL_AUTOCOMMIT_OFF);
    SQLULEN async;
    std::memset(&async, 0xFF, sizeof async);
    CHECK(43, getAttr(dbc, SQL_ATTR_ASYNC_ENABLE, &async, 0, nullptr) == SQL_SUCCESS && async == 0);
    return 0;
}

class InfoDirect : public ::testing::TestWithParam<Direct> {};

TEST_P(InfoDirect, AnswersTheDriverManagerWouldGive)
{
    const char *libdir = std::getenv("KRS_TEST_LIBDIR");
    ASSERT_NE(libdir, nullptr);
    pid_t pid = fork();
    if (pid == 0)
        _exit(RunChecks(GetParam(), libdir));
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failing step";
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, InfoDirect,
                         ::testing::Values(Direct{"libquorvexw.so", true}, Direct{"libquorvexa.so", false}),
                         [](const auto &info) { return std::string(info.param.wide ? "w" : "a"); });

} // namespace

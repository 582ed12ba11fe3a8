// What a transaction monitor sees of the driver: X/Open's xa.h definitions
// of this platform (64-bit long), and one library loaded with dlopen whose
// switch, SQLGetXa* functions and ODBC entry points are called directly.
#pragma once
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <dlfcn.h>

#include <cstring>
#include <string>

namespace xamon {

// ---- X/Open xa.h ----
constexpr int XIDDATASIZE = 128;
struct xid_t {
    long formatID;
    long gtrid_length;
    long bqual_length;
    char data[XIDDATASIZE];
};
typedef struct xid_t XID;

constexpr int RMNAMESZ = 32;
struct xa_switch_t {
    char name[RMNAMESZ];
    long flags;
    long version;
    int (*xa_open_entry)(char *, int, long);
    int (*xa_close_entry)(char *, int, long);
    int (*xa_start_entry)(XID *, int, long);
    int (*xa_end_entry)(XID *, int, long);
    int (*xa_rollback_entry)(XID *, int, long);
    int (*xa_prepare_entry)(XID *, int, long);
    int (*xa_commit_entry)(XID *, int, long);
    int (*xa_recover_entry)(XID *, long, int, long);
    int (*xa_forget_entry)(XID *, int, long);
    int (*xa_complete_entry)(int *, int *, int, long);
};

constexpr long TMNOFLAGS = 0x00000000L;
constexpr long TMASYNC = 0x80000000L;
constexpr long TMONEPHASE = 0x40000000L;
constexpr long TMFAIL = 0x20000000L;
constexpr long TMSUCCESS = 0x04000000L;
constexpr long TMSTARTRSCAN = 0x01000000L;
constexpr long TMENDRSCAN = 0x00800000L;

constexpr int XA_OK = 0;
constexpr int XAER_RMERR = -3;
constexpr int XAER_NOTA = -4;
constexpr int XAER_INVAL = -5;
constexpr int XAER_PROTO = -6;
constexpr int XAER_DUPID = -8;

inline XID MakeXid(long format, const std::string &gtrid, const std::string &bqual)
{
    XID x{};
    x.formatID = format;
    x.gtrid_length = static_cast<long>(gtrid.size());
    x.bqual_length = static_cast<long>(bqual.size());
    memcpy(x.data, gtrid.data(), gtrid.size());
    memcpy(x.data + gtrid.size(), bqual.data(), bqual.size());
    return x;
}

struct Library {
    const char *file;
    const char *dsn;
    bool wide;
};

inline std::ostream &operator<<(std::ostream &os, const Library &l) { return os << l.dsn; }

const Library kLibraries[] = {{"libquorvexw.so", "krs_w", true}, {"libquorvexa.so", "krs_a", false}};

// One driver library as a monitor loads it (RTLD_LOCAL), with the entry
// points the tests call on the handles the switch made.
class Driver {
public:
    Driver(const std::string &libdir, const Library &lib) : lib_(lib)
    {
        handle_ = dlopen((libdir + "/" + lib.file).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_)
            return;
        auto get = dlsym(handle_, "krs_xa_switch");
        if (get)
            sw = reinterpret_cast<xa_switch_t *(*)()>(get)();
        getXaEnv = Fn<SQLRETURN (*)(SQLHENV *)>("SQLGetXaEnv");
        getXaConnect = Fn<SQLRETURN (*)(SQLHDBC *)>("SQLGetXaConnect");
        allocHandle = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE *)>("SQLAllocHandle");
        freeHandle = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE)>("SQLFreeHandle");
        fetch = Fn<SQLRETURN (*)(SQLHSTMT)>("SQLFetch");
        getData = Fn<SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN *)>(
            "SQLGetData");
        if (lib.wide) {
            execW = Fn<SQLRETURN (*)(SQLHSTMT, SQLWCHAR *, SQLINTEGER)>("SQLExecDirectW");
            diagW = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR *, SQLINTEGER *,
                                     SQLWCHAR *, SQLSMALLINT, SQLSMALLINT *)>("SQLGetDiagRecW");
        } else {
            execA = Fn<SQLRETURN (*)(SQLHSTMT, SQLCHAR *, SQLINTEGER)>("SQLExecDirect");
            diagA = Fn<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR *, SQLINTEGER *,
                                     SQLCHAR *, SQLSMALLINT, SQLSMALLINT *)>("SQLGetDiagRec");
        }
    }
    // The library stays loaded (it is linked not to unload); the handle is dropped.
    ~Driver()
    {
        if (handle_)
            dlclose(handle_);
    }
    Driver(const Driver &) = delete;
    Driver &operator=(const Driver &) = delete;

    bool Loaded() const { return handle_ && sw; }
    void *Symbol(const char *name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

    // Runs one statement on a connection through the library's own entry
    // points; the SQLRETURN, with the first diagnostic in *diag on failure.
    SQLRETURN Exec(SQLHDBC dbc, const std::string &sql, std::string *diag = nullptr)
    {
        SQLHSTMT stmt = nullptr;
        SQLRETURN rc = allocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        if (!SQL_SUCCEEDED(rc))
            return rc;
        rc = run(stmt, sql);
        if (!SQL_SUCCEEDED(rc) && diag)
            *diag = Diag(SQL_HANDLE_STMT, stmt);
        freeHandle(SQL_HANDLE_STMT, stmt);
        return rc;
    }

    // The first column of the first row of a query, as text ("" when none).
    std::string Query(SQLHDBC dbc, const std::string &sql)
    {
        SQLHSTMT stmt = nullptr;
        if (!SQL_SUCCEEDED(allocHandle(SQL_HANDLE_STMT, dbc, &stmt)))
            return "<no statement>";
        std::string out;
        if (!SQL_SUCCEEDED(run(stmt, sql))) {
            out = "<" + Diag(SQL_HANDLE_STMT, stmt) + ">";
        } else if (SQL_SUCCEEDED(fetch(stmt))) {
            char buf[256] = "";
            SQLLEN ind = 0;
            if (SQL_SUCCEEDED(getData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &ind)) && ind >= 0)
                out = buf;
        }
        freeHandle(SQL_HANDLE_STMT, stmt);
        return out;
    }

    // SQLSTATE and text of record 1.
    std::string Diag(SQLSMALLINT type, SQLHANDLE h)
    {
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        if (lib_.wide) {
            SQLWCHAR state[6] = {}, msg[512] = {};
            if (!SQL_SUCCEEDED(diagW(type, h, 1, state, &native, msg, 512, &len)))
                return "";
            std::string s;
            for (SQLWCHAR *p = state; *p; ++p)
                s += static_cast<char>(*p);
            s += " ";
            for (SQLWCHAR *p = msg; *p; ++p)
                s += static_cast<char>(*p < 128 ? *p : '?');
            return s;
        }
        SQLCHAR state[6] = {}, msg[512] = {};
        if (!SQL_SUCCEEDED(diagA(type, h, 1, state, &native, msg, sizeof msg, &len)))
            return "";
        return std::string(reinterpret_cast<char *>(state)) + " " + reinterpret_cast<char *>(msg);
    }

    xa_switch_t *sw = nullptr;
    SQLRETURN (*getXaEnv)(SQLHENV *) = nullptr;
    SQLRETURN (*getXaConnect)(SQLHDBC *) = nullptr;
    SQLRETURN (*allocHandle)(SQLSMALLINT, SQLHANDLE, SQLHANDLE *) = nullptr;
    SQLRETURN (*freeHandle)(SQLSMALLINT, SQLHANDLE) = nullptr;
    SQLRETURN (*fetch)(SQLHSTMT) = nullptr;
    SQLRETURN (*getData)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN *) = nullptr;

private:
    template <class F>
    F Fn(const char *name)
    {
        void *p = dlsym(handle_, name);
        EXPECT_NE(p, nullptr) << name;
        return reinterpret_cast<F>(p);
    }

    SQLRETURN run(SQLHSTMT stmt, const std::string &sql)
    {
        if (lib_.wide) {
            std::u16string w(sql.begin(), sql.end());
            return execW(stmt, reinterpret_cast<SQLWCHAR *>(&w[0]), SQL_NTS);
        }
        return execA(stmt, reinterpret_cast<SQLCHAR *>(const_cast<char *>(sql.c_str())), SQL_NTS);
    }

    Library lib_;
    void *handle_ = nullptr;
    SQLRETURN (*execW)(SQLHSTMT, SQLWCHAR *, SQLINTEGER) = nullptr;
    SQLRETURN (*execA)(SQLHSTMT, SQLCHAR *, SQLINTEGER) = nullptr;
    SQLRETURN (*diagW)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR *, SQLINTEGER *, SQLWCHAR *,
                       SQLSMALLINT, SQLSMALLINT *) = nullptr;
    SQLRETURN (*diagA)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR *, SQLINTEGER *, SQLCHAR *,
                       SQLSMALLINT, SQLSMALLINT *) = nullptr;
};

// xa_info of a data source with the server and database given in the
// connection string (the data source's own URL names another database).
inline std::string XaInfo(const Library &lib, int port, const std::string &db, const std::string &app)
{
    return std::string("DSN=") + lib.dsn + ";URL={serverName=127.0.0.1;portNumber=" +
           std::to_string(port) + ";databaseName=" + db + ";applicationName=" + app + "}";
}

} // namespace xamon

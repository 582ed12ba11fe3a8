// Resource-manager connections and monitor-thread contexts of the XA switch.
// The driver's own ODBC routines are called directly, never the exported
// names, so that no Driver Manager in the process can answer them.
#include "xa/xa_rm.h"

#include <sqlext.h>

#include <cstdlib>
#include <cstring>

#include "platform/odbcinst.h"
#include "odbc/api/api_desc.h"
#include "odbc/env.h"
#include "odbc/contract/handle_table.h"
#include "odbc/handles.h"
#include "odbc/startup.h"
#include "odbc/trace.h"
#include "platform/oswrap.h"
#include "util/strutil.h"
#include "xa/xa_switch.h"

namespace {
// The ODBC environment all resource-manager connections share.
struct XaSharedEnv {
    SQLHENV henv = nullptr;
    int32_t users = 0;
    OsLock lock;
};

XaSharedEnv &sharedEnv()
{
    static XaSharedEnv *env = new XaSharedEnv();
    return *env;
}

thread_local XaThreadContext *t_context = nullptr;

constexpr size_t kInfoMax = sizeof XaThreadContext::xaInfo;
} // namespace

namespace {
// The first "DSN=" that begins a keyword (at the start or after ';', blanks
// allowed before it), so that FILEDSN= and the like do not count; null when none.
const char *dsnKeyword(const char *text)
{
    for (const char *p = text ? strstr(text, "DSN=") : nullptr; p; p = strstr(p + 1, "DSN=")) {
        const char *q = p;
        while (q > text && (q[-1] == ' ' || q[-1] == '\t'))
            --q;
        if (q == text || q[-1] == ';')
            return p;
    }
    return nullptr;
}
} // namespace

int XA_ParseDsn(const char *xaInfo, char *out)
{
    out[0] = '\0';
    const char *p = dsnKeyword(xaInfo);
    if (!p)
        return 0;
    p += 4;
    size_t n = strcspn(p, ";");
    if (n >= kInfoMax)
        return 0;
    memcpy(out, p, n);
    out[n] = '\0';
    STR_RTrim(out);
    return 1;
}

int XA_GetDsnXaInfo(const char *dsn, char *out, int length)
{
    if (!out || length <= 0)
        return 0;
    memset(out, 0, static_cast<size_t>(length));
    char value[kInfoMax] = "";
    int got = inst::SQLGetPrivateProfileString(dsn, "XaInfo", "", value, sizeof value, "odbc.ini");
    if (got >= length)
        return 0;
    strncpy(out, value, static_cast<size_t>(length) - 1);
    return 1;
}

int XA_EnvAcquire(XaRmConnection *rm)
{
    XaSharedEnv &e = sharedEnv();
    OsLockGuard guard(e.lock);
    ++e.users;
    rm->envHeld = true;
    if (e.henv)
        return 1;
    SQLHENV env = nullptr;
    if (!SQL_SUCCEEDED(API_AllocHandle(SQL_HANDLE_ENV, nullptr, &env)))
        return 0;
    if (!SQL_SUCCEEDED(CallODBC(&kApi_SetEnvAttr, env, static_cast<SQLINTEGER>(SQL_ATTR_ODBC_VERSION),
                                reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), static_cast<SQLINTEGER>(0)))) {
        API_FreeHandle(SQL_HANDLE_ENV, env);
        return 0;
    }
    e.henv = env;
    return 1;
}

SQLHENV XA_EnvHandle()
{
    XaSharedEnv &e = sharedEnv();
    OsLockGuard guard(e.lock);
    return e.henv;
}

Conn *XA_RmConn(const XaRmConnection *rm)
{
    if (!rm || !rm->hdbc)
        return nullptr;
    return static_cast<Conn *>(HT_Lookup(&ConnTable, HT_HandleIn(rm->hdbc)));
}

int XA_RmConnect(XaRmConnection *rm, const char *xaInfo)
{
    SQLHENV env = XA_EnvHandle();
    if (!env || !SQL_SUCCEEDED(API_AllocHandle(SQL_HANDLE_DBC, env, &rm->hdbc))) {
        rm->hdbc = nullptr;
        return 0;
    }
    SQLCHAR out[1024];
    SQLSMALLINT outLen = 0;
    SQLRETURN rc = CallODBC(&kApi_DriverConnect, rm->hdbc, static_cast<SQLHWND>(nullptr),
                            reinterpret_cast<SQLCHAR *>(const_cast<char *>(xaInfo)),
                            static_cast<SQLSMALLINT>(SQL_NTS), out,
                            static_cast<SQLSMALLINT>(sizeof out), &outLen,
                            static_cast<SQLUSMALLINT>(SQL_DRIVER_NOPROMPT), 'A');
    if (!SQL_SUCCEEDED(rc)) {
        API_FreeHandle(SQL_HANDLE_DBC, rm->hdbc);
        rm->hdbc = nullptr;
        return 0;
    }
    Conn *conn = XA_RmConn(rm);
    if (!conn)
        return 0;
    if (!conn->cn_xaCap) {
        TR_XaPrintf(0, "Agent does not support XA");
        return 0;
    }
    return 1;
}

void XA_RmRelease(XaRmConnection *rm)
{
    if (!rm)
        return;
    if (rm->hdbc) {
        CallODBC(&kApi_Disconnect, rm->hdbc);
        API_FreeHandle(SQL_HANDLE_DBC, rm->hdbc);
        rm->hdbc = nullptr;
    }
    if (rm->envHeld) {
        XaSharedEnv &e = sharedEnv();
        OsLockGuard guard(e.lock);
        if (--e.users == 0 && e.henv) {
            API_FreeHandle(SQL_HANDLE_ENV, e.henv);
            e.henv = nullptr;
        }
    }
    free(rm);
}

XaThreadContext *XA_ContextCreate(int32_t rmid, const char *xaInfo, XaRmConnection *rm)
{
    auto *ctx = static_cast<XaThreadContext *>(calloc(1, sizeof(XaThreadContext)));
    if (!ctx)
        return nullptr;
    ctx->rmid = rmid;
    ctx->rm = rm;
    strncpy(ctx->xaInfo, xaInfo ? xaInfo : "", kInfoMax - 1);
    t_context = ctx;
    return ctx;
}

void XA_ContextRelease(XaThreadContext *ctx)
{
    if (t_context == ctx)
        t_context = nullptr;
    free(ctx);
}

XaThreadContext *XA_ContextGet()
{
    return t_context;
}

XaThreadContext *XA_ContextFind(int32_t rmid, const char *xaInfo)
{
    XaThreadContext *ctx = XA_ContextGet();
    if (!ctx || ctx->rmid != rmid)
        return nullptr;
    if (xaInfo && strcmp(ctx->xaInfo, xaInfo) != 0)
        return nullptr;
    return ctx;
}

// Connection attributes and options.  The ODBC 2 pair does the work; the
// ODBC 3 pair maps attributes onto it and handles lengths and a few
// attributes of its own.
#include "odbc/connattr.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "odbc/conn.h"
#include "odbc/dispatch.h"
#include "odbc/contract/drv_items.h"
#include "odbc/handles.h"
#include "odbc/contract/krs_options.h"
#include "odbc/startup.h"
#include "odbc/stmtattr.h"
#include "odbc/contract/textout.h"
#include "odbc/trace.h"
#include "odbc/layer_links.h"

namespace {

constexpr int kCatalogBuffer = 256;
constexpr size_t kOption2TextMax = SQL_MAX_OPTION_STRING_LENGTH;
constexpr SQLULEN kPacketSize = 4096;

bool Connected(const Conn *conn) { return conn->state == CONN_CONNECTED; }

bool Odbc3(const Conn *conn) { return conn->env && conn->env->odbcVersion == 3; }

SQLRETURN Fail(Conn *conn, int number)
{
    conn->diag.errNum = number;
    return SQL_ERROR;
}

// A back-end refusal of a standard option: its number with its messages.
SQLRETURN BackendFailed(Conn *conn, int rc)
{
    conn->diag.errNum = rc;
    ConnFetchMessages(conn, nullptr);
    return SQL_ERROR;
}

// ---- setting ----

// Keeps a UTF-8 copy of an option text (null for none) in a text field of the
// connection, in place of the one it held.  HY001 when out of memory.
SQLRETURN KeepText(Conn *conn, char *Conn::*field, SQLULEN value, int width)
{
    const void *text = reinterpret_cast<const void *>(value);
    char *copy = TXT_In(text, SQL_NTS, width);
    if (text && !copy)
        return Fail(conn, ERR_MEMORY_ALLOCATION);
    std::free(conn->*field);
    conn->*field = copy;
    return SQL_SUCCESS;
}

SQLRETURN SetStmtDefault(Conn *conn, SQLUSMALLINT option, SQLULEN value, int)
{
    if (Odbc3(conn))
        return Fail(conn, ERR_FUNCTION_NOT_SUPPORTED);
    return ConnSetStmtOptionDefault(conn, option, value);
}

SQLRETURN SetAsync2(Conn *conn, SQLUSMALLINT, SQLULEN value, int)
{
    if (Odbc3(conn))
        return Fail(conn, ERR_FUNCTION_NOT_SUPPORTED);
    if (value)
        conn->flags |= CN_ASYNC;
    else
        conn->flags &= static_cast<uint16_t>(~CN_ASYNC);
    return SQL_SUCCESS;
}

SQLRETURN SetAccessMode(Conn *conn, SQLUSMALLINT, SQLULEN value, int)
{
    if (value != SQL_MODE_READ_WRITE && value != SQL_MODE_READ_ONLY)
        return Fail(conn, ERR_INVALID_ATTRIBUTE_VALUE);
    if (Connected(conn)) {
        int rc = ConnDrvSetInt(conn, DRV_CONN_ACCESS_MODE, value ? 1 : 0);
        if (rc != 0)
            return BackendFailed(conn, rc);
    }
    // The application's choice stays with the handle: every later connect
    // opens in this mode, whatever the data source says.
    conn->pendingAttrs |= CA_ACCESS_MODE;
    if (value == SQL_MODE_READ_ONLY) {
        conn->pendingAttrs |= CA_READ_ONLY;
        conn->flags |= CN_READONLY;
    } else {
        conn->pendingAttrs &= ~CA_READ_ONLY;
        conn->flags &= static_cast<uint16_t>(~CN_READONLY);
    }
    return SQL_SUCCESS;
}

SQLRETURN SetAutocommit(Conn *conn, SQLUSMALLINT, SQLULEN value, int)
{
    if (Connected(conn)) {
        int rc = ConnDrvSetInt(conn, DRV_CONN_AUTOCOMMIT, value ? 1 : 0);
        if (rc != 0)
            return BackendFailed(conn, rc);
        conn->pendingAttrs &= ~CA_AUTOCOMMIT;
    } else {
        conn->pendingAttrs |= CA_AUTOCOMMIT;
        conn->pendingAutocommit = value ? 1 : 0;
    }
    if (value)
        conn->flags |= CN_AUTOCOMMIT;
    else
        conn->flags &= static_cast<uint16_t>(~CN_AUTOCOMMIT);
    return SQL_SUCCESS;
}

SQLRETURN SetLoginTimeout(Conn *conn, SQLUSMALLINT, SQLULEN value, int)
{
    conn->loginTimeout = static_cast<uint32_t>(value);
    return SQL_SUCCESS;
}

SQLRETURN Accept(Conn *, SQLUSMALLINT, SQLULEN, int) { return SQL_SUCCESS; }

SQLRETURN SetTranslateDll(Conn *conn, SQLUSMALLINT, SQLULEN value, int width)
{
    return KeepText(conn, &Conn::translateDll, value, width);
}

SQLRETURN SetTranslateOption(Conn *conn, SQLUSMALLINT, SQLULEN value, int)
{
    conn->translateOption = static_cast<uint32_t>(value);
    return SQL_SUCCESS;
}

SQLRETURN SetIsolation(Conn *conn, SQLUSMALLINT, SQLULEN value, int)
{
    if (Connected(conn)) {
        int rc = ConnDrvSetInt(conn, DRV_CONN_ISOLATION, static_cast<int32_t>(value));
        if (rc != 0)
            return BackendFailed(conn, rc);
    }
    conn->isolation = static_cast<uint32_t>(value);
    return SQL_SUCCESS;
}

// The catalog as a UTF-8 text (already converted by the caller).
SQLRETURN SetCatalogText(Conn *conn, const char *catalog)
{
    if (!catalog)
        return Fail(conn, ERR_INVALID_ARGUMENT);
    if (!Connected(conn)) {
        char *copy = strdup(catalog);
        if (!copy)
            return Fail(conn, ERR_MEMORY_ALLOCATION);
        std::free(conn->pendingCatalog);
        conn->pendingCatalog = copy;
        conn->pendingAttrs |= CA_CATALOG;
        return SQL_SUCCESS;
    }
    for (const Stmt *s = conn->stmts; s; s = s->next)
        if (s->flags & ST_CURSOR_OPEN)
            return Fail(conn, ERR_INVALID_CURSOR_STATE);
    int rc = ConnDrvSetOption(conn, DrvText(DRV_CONN_CATALOG), const_cast<char *>(catalog));
    if (rc != 0)
        return BackendFailed(conn, rc);
    return SQL_SUCCESS;
}

SQLRETURN SetCatalog(Conn *conn, SQLUSMALLINT, SQLULEN value, int width)
{
    const void *text = reinterpret_cast<const void *>(value);
    char *utf8 = TXT_In(text, SQL_NTS, width);
    if (text && !utf8)
        return Fail(conn, ERR_MEMORY_ALLOCATION);
    SQLRETURN rc = SetCatalogText(conn, utf8);
    std::free(utf8);
    return rc;
}

SQLRETURN SetQuietMode(Conn *, SQLUSMALLINT, SQLULEN value, int)
{
    Dll_SetOwnerWindow(reinterpret_cast<void *>(value));
    return SQL_SUCCESS;
}

SQLRETURN SetAppName(Conn *conn, SQLUSMALLINT, SQLULEN value, int width)
{
    if (Connected(conn))
        return Fail(conn, ERR_FUNCTION_SEQUENCE);
    return KeepText(conn, &Conn::appName, value, width);
}

SQLRETURN SetEnlistment(Conn *conn, SQLUSMALLINT, SQLULEN value, int)
{
    if (!Odbc3(conn) || !conn->cn_xaCap)
        return Fail(conn, ERR_FUNCTION_NOT_SUPPORTED);
    if (!Connected(conn))
        return Fail(conn, ERR_CONNECTION_NOT_OPEN);
    if (value == 0) {
        if (!conn->dtcEnlisted)
            return Fail(conn, ERR_INVALID_TRANSACTION_STATE);
        Core_Links().dtc->ReleaseDispenser(conn->dtcDispenser);
        conn->dtcDispenser = nullptr;
        conn->dtcEnlisted = 0;
        return SQL_SUCCESS;
    }
    if (conn->dtcEnlisted) {
        // Still in a transaction that has not had its outcome: the same one
        // again changes nothing, another one cannot be joined.  Once the
        // outcome is given the connection enlists in the new transaction.
        switch (Core_Links().dtc->BranchOpen(conn->dtcDispenser, reinterpret_cast<void *>(value))) {
        case 1: return SQL_SUCCESS;
        case 2: return Fail(conn, ERR_INVALID_TRANSACTION_STATE);
        default: break;
        }
    }
    if (Core_Links().dtc->Init() != 0) {
        ConnPushError(conn,
                      "Enlistment in DTC transaction failed: no transaction coordinator is "
                      "available[SQLSTATE:IM932]",
                      0);
        return Fail(conn, ERR_DTC_ENLIST);
    }
    if (conn->dtcDispenser) {
        Core_Links().dtc->ReleaseDispenser(conn->dtcDispenser);
        conn->dtcDispenser = nullptr;
    }
    const char *dsn = conn->dsn ? conn->dsn : "";
    const char *uid = conn->uid ? conn->uid : "";
    const char *pwd = conn->pwd ? conn->pwd : "";
    size_t size = std::strlen(dsn) + std::strlen(uid) + std::strlen(pwd) + 16;
    char *text = static_cast<char *>(std::malloc(size));
    if (!text)
        return Fail(conn, ERR_MEMORY_ALLOCATION);
    std::snprintf(text, size, "DSN=%s;UID=%s;PWD=%s;", dsn, uid, pwd);
    void *dispenser = Core_Links().dtc->CreateDispenser(reinterpret_cast<void *>(value),
                                            static_cast<int>(conn->serverHandle),
                                            static_cast<int>(conn->drvConn), &conn->binding,
                                            &conn->generalLock, &conn->callLock, text);
    std::free(text);
    if (!dispenser)
        return Fail(conn, ERR_DTC_ENLIST);
    if (Core_Links().dtc->RMConnect(dispenser) != 0 || Core_Links().dtc->RMEnlist(dispenser) != 0) {
        Core_Links().dtc->ReleaseDispenser(dispenser);
        return Fail(conn, ERR_DTC_ENLIST);
    }
    conn->dtcDispenser = dispenser;
    conn->dtcEnlisted = 1;
    return SQL_SUCCESS;
}

SQLRETURN SetDriverInt(Conn *conn, SQLUSMALLINT option, SQLULEN value, int)
{
    if (!Connected(conn))
        return SQL_SUCCESS;
    int rc = ConnDrvSetInt(conn, DrvConnOption(option), static_cast<int32_t>(value));
    if (rc != 0)
        return Fail(conn, rc == ERR_NOT_CAPABLE ? ERR_OPTION_TYPE_RANGE : rc);
    return SQL_SUCCESS;
}

SQLRETURN SetDriverText(Conn *conn, SQLUSMALLINT option, SQLULEN value, int width)
{
    if (!Connected(conn))
        return SQL_SUCCESS;
    const void *text = reinterpret_cast<const void *>(value);
    char *utf8 = TXT_In(text, SQL_NTS, width);
    if (text && !utf8)
        return Fail(conn, ERR_MEMORY_ALLOCATION);
    int rc = ConnDrvSetOption(conn, DrvText(DrvConnOption(option)), utf8 ? utf8 : const_cast<char *>(""));
    std::free(utf8);
    if (rc != 0) {
        ConnFetchMessages(conn, nullptr);
        return Fail(conn, rc == ERR_NOT_CAPABLE ? ERR_OPTION_TYPE_RANGE : rc);
    }
    return SQL_SUCCESS;
}

SQLRETURN SetFailover(Conn *conn, SQLUSMALLINT option, SQLULEN value, int)
{
    if (!Connected(conn))
        return Fail(conn, ERR_FUNCTION_SEQUENCE);
    if (!conn->cn_failoverCap)
        return Fail(conn, ERR_NOT_CAPABLE);
    if (option == KRS_CONN_FAILOVER_CONTEXT) {
        conn->failoverContext = reinterpret_cast<void *>(value);
        return SQL_SUCCESS;
    }
    int rc = ConnDrvSetInt(conn, DRV_CONN_FAILOVER, value ? 1 : 0);
    if (rc != 0)
        return BackendFailed(conn, rc);
    conn->failoverCallback = reinterpret_cast<FailoverCallback>(value);
    return SQL_SUCCESS;
}

typedef SQLRETURN (*SetFn)(Conn *conn, SQLUSMALLINT option, SQLULEN value, int width);

struct SetRow {
    uint16_t first;
    uint16_t last;
    SetFn set;
};

const SetRow kSetRows[] = {
    {SQL_QUERY_TIMEOUT, SQL_MAX_LENGTH, SetStmtDefault},
    {SQL_ASYNC_ENABLE, SQL_ASYNC_ENABLE, SetAsync2},
    {SQL_BIND_TYPE, SQL_USE_BOOKMARKS, SetStmtDefault},
    {SQL_ACCESS_MODE, SQL_ACCESS_MODE, SetAccessMode},
    {SQL_AUTOCOMMIT, SQL_AUTOCOMMIT, SetAutocommit},
    {SQL_LOGIN_TIMEOUT, SQL_LOGIN_TIMEOUT, SetLoginTimeout},
    {SQL_OPT_TRACE, SQL_OPT_TRACEFILE, Accept},
    {SQL_TRANSLATE_DLL, SQL_TRANSLATE_DLL, SetTranslateDll},
    {SQL_TRANSLATE_OPTION, SQL_TRANSLATE_OPTION, SetTranslateOption},
    {SQL_TXN_ISOLATION, SQL_TXN_ISOLATION, SetIsolation},
    {SQL_CURRENT_QUALIFIER, SQL_CURRENT_QUALIFIER, SetCatalog},
    {SQL_QUIET_MODE, SQL_QUIET_MODE, SetQuietMode},
    {SQL_PACKET_SIZE, SQL_PACKET_SIZE, Accept},
    {KRS_CONN_APPLICATION_NAME, KRS_CONN_APPLICATION_NAME, SetAppName},
    {1201, 1206, SetDriverInt},
    {SQL_ATTR_ENLIST_IN_DTC, SQL_ATTR_ENLIST_IN_DTC, SetEnlistment},
    {1208, 1208, SetDriverInt},
    {1210, 1211, SetDriverInt},
    {1212, 1212, SetDriverText},
    {1213, 1213, SetDriverInt},
    {1214, 1214, SetDriverText},
    {1215, 1219, SetDriverInt},
    {1252, 1253, SetDriverInt},
    {1254, 1254, SetDriverText},
    {1255, 1259, SetDriverInt},
    {1262, 1262, SetDriverInt},
    {KRS_CONN_FAILOVER_CALLBACK, KRS_CONN_FAILOVER_CONTEXT, SetFailover},
};

// ---- reading ----

// One answer: a number written at `width` bytes, or a text (UTF-8).
struct AttrValue {
    bool isText = false;
    uint64_t number = 0;
    int width = 4;
    char *text = nullptr;  // owned
    ~AttrValue() { std::free(text); }
    void Text(const char *t) { isText = true; text = strdup(t ? t : ""); }
};

typedef SQLRETURN (*GetFn)(Conn *conn, SQLUSMALLINT option, AttrValue *v);

// A text item of the back-end connection as the answer; HY092 when the back
// end does not answer items, else the back end's error number.
SQLRETURN BackendText(Conn *conn, int code, AttrValue *v)
{
    char buf[kCatalogBuffer] = {};
    int rc = ConnDrvGetInfo(conn, code, buf, sizeof buf);
    if (rc != 0)
        return Fail(conn, rc == ERR_FUNCTION_NOT_SUPPORTED ? ERR_OPTION_TYPE_RANGE : rc);
    buf[sizeof buf - 1] = '\0';
    v->Text(buf);
    return SQL_SUCCESS;
}

SQLRETURN GetAsync2(Conn *conn, SQLUSMALLINT, AttrValue *v)
{
    v->number = (conn->flags & CN_ASYNC) ? 1 : 0;
    return SQL_SUCCESS;
}

SQLRETURN GetAccessMode(Conn *conn, SQLUSMALLINT, AttrValue *v)
{
    v->number = (conn->flags & CN_READONLY) ? SQL_MODE_READ_ONLY : SQL_MODE_READ_WRITE;
    return SQL_SUCCESS;
}

SQLRETURN GetAutocommit(Conn *conn, SQLUSMALLINT, AttrValue *v)
{
    v->number = (conn->flags & CN_AUTOCOMMIT) ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
    return SQL_SUCCESS;
}

SQLRETURN GetLoginTimeout(Conn *conn, SQLUSMALLINT, AttrValue *v)
{
    v->number = conn->loginTimeout;
    return SQL_SUCCESS;
}

SQLRETURN GetZero(Conn *, SQLUSMALLINT, AttrValue *v)
{
    v->number = 0;
    return SQL_SUCCESS;
}

SQLRETURN GetTraceFile(Conn *, SQLUSMALLINT, AttrValue *v)
{
    v->Text("");
    return SQL_SUCCESS;
}

SQLRETURN GetTranslateDll(Conn *conn, SQLUSMALLINT, AttrValue *v)
{
    if (!conn->translateDll)
        return SQL_NO_DATA;
    v->Text(conn->translateDll);
    return SQL_SUCCESS;
}

SQLRETURN GetTranslateOption(Conn *conn, SQLUSMALLINT, AttrValue *v)
{
    v->number = conn->translateOption;
    return SQL_SUCCESS;
}

SQLRETURN GetIsolation(Conn *conn, SQLUSMALLINT, AttrValue *v)
{
    v->number = conn->isolation;
    return SQL_SUCCESS;
}

SQLRETURN GetCatalog(Conn *conn, SQLUSMALLINT, AttrValue *v)
{
    if (Connected(conn))
        return BackendText(conn, DrvText(DRV_CONN_CURRENT_CATALOG), v);
    v->Text(conn->pendingCatalog ? conn->pendingCatalog : "");
    return SQL_SUCCESS;
}

SQLRETURN GetQuietMode(Conn *, SQLUSMALLINT, AttrValue *v)
{
    void *w = Dll_OwnerWindow();
    v->number = reinterpret_cast<uintptr_t>(w) == static_cast<uintptr_t>(-2)
                    ? 0
                    : static_cast<uint64_t>(reinterpret_cast<uintptr_t>(w));
    return SQL_SUCCESS;
}

SQLRETURN GetPacketSize(Conn *, SQLUSMALLINT, AttrValue *v)
{
    v->number = kPacketSize;
    return SQL_SUCCESS;
}

SQLRETURN GetDriverInt(Conn *conn, SQLUSMALLINT option, AttrValue *v)
{
    if (!Connected(conn))
        return SQL_SUCCESS;
    int32_t n = 0;
    int rc = ConnDrvGetInfo(conn, DrvInt(DrvConnOption(option)), &n, sizeof n);
    if (rc != 0)
        return Fail(conn, rc == ERR_FUNCTION_NOT_SUPPORTED ? ERR_OPTION_TYPE_RANGE : rc);
    v->number = static_cast<uint32_t>(n);
    return SQL_SUCCESS;
}

SQLRETURN GetDriverText(Conn *conn, SQLUSMALLINT option, AttrValue *v)
{
    if (!Connected(conn))
        return SQL_SUCCESS;
    return BackendText(conn, DrvText(DrvConnOption(option)), v);
}

struct GetRow {
    uint16_t first;
    uint16_t last;
    int width;  // bytes of a number; 0 a text
    GetFn get;
};

const GetRow kGetRows[] = {
    {SQL_ASYNC_ENABLE, SQL_ASYNC_ENABLE, 4, GetAsync2},
    {SQL_ACCESS_MODE, SQL_ACCESS_MODE, 4, GetAccessMode},
    {SQL_AUTOCOMMIT, SQL_AUTOCOMMIT, 4, GetAutocommit},
    {SQL_LOGIN_TIMEOUT, SQL_LOGIN_TIMEOUT, 4, GetLoginTimeout},
    {SQL_OPT_TRACE, SQL_OPT_TRACE, 4, GetZero},
    {SQL_OPT_TRACEFILE, SQL_OPT_TRACEFILE, 0, GetTraceFile},
    {SQL_TRANSLATE_DLL, SQL_TRANSLATE_DLL, 0, GetTranslateDll},
    {SQL_TRANSLATE_OPTION, SQL_TRANSLATE_OPTION, 4, GetTranslateOption},
    {SQL_TXN_ISOLATION, SQL_TXN_ISOLATION, 4, GetIsolation},
    {SQL_CURRENT_QUALIFIER, SQL_CURRENT_QUALIFIER, 0, GetCatalog},
    {SQL_ODBC_CURSORS, SQL_ODBC_CURSORS, 8, GetZero},
    {SQL_QUIET_MODE, SQL_QUIET_MODE, 8, GetQuietMode},
    {SQL_PACKET_SIZE, SQL_PACKET_SIZE, 4, GetPacketSize},
    {1201, 1211, 4, GetDriverInt},
    {1212, 1212, 0, GetDriverText},
    {1213, 1213, 4, GetDriverInt},
    {1214, 1214, 0, GetDriverText},
    {1215, 1219, 4, GetDriverInt},
    {1252, 1253, 4, GetDriverInt},
    {1254, 1254, 0, GetDriverText},
    {1255, 1259, 4, GetDriverInt},
    {1262, 1262, 4, GetDriverInt},
};

template <class Row, size_t N>
const Row *FindRow(const Row (&rows)[N], SQLINTEGER option)
{
    for (const Row &r : rows)
        if (option >= r.first && option <= r.last)
            return &r;
    return nullptr;
}

SQLRETURN ApplyToStatements(Conn *conn, SQLUSMALLINT option, SQLULEN value)
{
    SQLRETURN worst = SQL_SUCCESS;
    for (Stmt *s = conn->stmts; s; s = s->next) {
        SQLRETURN rc = StmtSetOption(s, option, value);
        if (rc == SQL_SUCCESS)
            continue;
        // The connection carries what went wrong, so the caller sees it.
        for (const ErrMsg *m = s->diag.head; m; m = m->next)
            ConnPushError(conn, m->text, m->native);
        if (!conn->diag.errNum || rc == SQL_ERROR)
            conn->diag.errNum = s->diag.errNum;
        if (worst != SQL_ERROR)
            worst = rc;
    }
    return worst;
}

} // namespace

SQLRETURN ConnSetStmtOptionDefault(Conn *conn, SQLUSMALLINT option, SQLULEN value)
{
    CursorOptions &cs = conn->stmtDefaults;
    // A value beyond 32 bits is held at the largest, as statements hold it,
    // never wrapped into a small one.
    const int32_t v32 = value > static_cast<SQLULEN>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(value);
    switch (option) {
    case SQL_QUERY_TIMEOUT:
        conn->queryTimeout = static_cast<SQLLEN>(value) < 0 ? 0 : static_cast<uint32_t>(v32);
        break;
    case SQL_MAX_ROWS: conn->maxRows = value; break;
    case SQL_NOSCAN: conn->noScan = value ? 1 : 0; break;
    case SQL_MAX_LENGTH: conn->maxLength = value; break;
    case SQL_BIND_TYPE: conn->bindType = static_cast<uint32_t>(v32); break;
    case SQL_CURSOR_TYPE: cs.cursorType = v32; break;
    case SQL_CONCURRENCY: cs.concurrency = v32; break;
    case SQL_KEYSET_SIZE: cs.keysetSize = v32; break;
    case SQL_ROWSET_SIZE: cs.rowsetSize = v32; break;
    case SQL_SIMULATE_CURSOR: cs.simulateCursor = v32; break;
    case SQL_RETRIEVE_DATA: cs.retrieveData = v32; break;
    case SQL_USE_BOOKMARKS: cs.useBookmarks = v32; break;
    default: return Fail(conn, ERR_OPTION_TYPE_RANGE);
    }
    return ApplyToStatements(conn, option, value);
}

bool ConnWantsReadOnly(const Conn *conn, bool keywordReadOnly)
{
    if (conn->pendingAttrs & CA_ACCESS_MODE)
        return (conn->pendingAttrs & CA_READ_ONLY) != 0;
    return keywordReadOnly;
}

SQLRETURN ConnApplyPendingAttrs(Conn *conn)
{
    if (!Connected(conn))
        return SQL_SUCCESS;
    SQLRETURN result = SQL_SUCCESS;
    if (conn->pendingAttrs & CA_AUTOCOMMIT) {
        conn->pendingAttrs &= ~CA_AUTOCOMMIT;
        int rc = ConnDrvSetInt(conn, DRV_CONN_AUTOCOMMIT, conn->pendingAutocommit);
        if (rc == 0) {
            if (conn->pendingAutocommit)
                conn->flags |= CN_AUTOCOMMIT;
            else
                conn->flags &= static_cast<uint16_t>(~CN_AUTOCOMMIT);
        } else {
            ConnFetchMessages(conn, nullptr);
            result = SQL_SUCCESS_WITH_INFO;
        }
    }
    if (conn->pendingAttrs & CA_CATALOG) {
        conn->pendingAttrs &= ~CA_CATALOG;
        int rc = conn->pendingCatalog
                     ? ConnDrvSetOption(conn, DrvText(DRV_CONN_CATALOG), conn->pendingCatalog)
                     : 0;
        if (rc != 0) {
            ConnFetchMessages(conn, nullptr);
            result = SQL_SUCCESS_WITH_INFO;
        }
        std::free(conn->pendingCatalog);
        conn->pendingCatalog = nullptr;
    }
    if (result != SQL_SUCCESS && !conn->diag.errNum && !conn->diag.head)
        conn->diag.errNum = ERR_GENERAL_WARNING;
    return result;
}

void ConnFreeAttrTexts(Conn *conn)
{
    std::free(conn->translateDll);
    conn->translateDll = nullptr;
    std::free(conn->pendingCatalog);
    conn->pendingCatalog = nullptr;
}

SQLRETURN CN_SetConnectOption(Conn *conn, SQLUSMALLINT option, SQLULEN value, int width)
{
    const SetRow *r = FindRow(kSetRows, option);
    if (!r)
        return Fail(conn, ERR_OPTION_TYPE_RANGE);
    return r->set(conn, option, value, width);
}

SQLRETURN CN_GetConnectOption(Conn *conn, SQLUSMALLINT option, SQLPOINTER value, int width)
{
    const GetRow *r = FindRow(kGetRows, option);
    if (!r)
        return Fail(conn, ERR_OPTION_TYPE_RANGE);
    AttrValue v;
    SQLRETURN rc = r->get(conn, option, &v);
    if (rc != SQL_SUCCESS || !value)
        return rc;
    if (!v.isText) {
        // ODBC 2 integer options are 32 bits; the owner window is a pointer.
        TXT_PutNumber(value, v.number, option == SQL_QUIET_MODE ? 8 : 4);
        return SQL_SUCCESS;
    }
    // ODBC 2 gives no buffer length: at most the longest option text.
    return TXT_Post(&conn->diag, TXT_Put(v.text, TXT_Out(width, TC_BYTES, value, kOption2TextMax,
                                                         static_cast<SQLINTEGER *>(nullptr))));
}

SQLRETURN CN_SetConnectAttr(Conn *conn, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len,
                            int width)
{
    const SQLULEN v = static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(value));
    switch (attr) {
    case SQL_ATTR_ASYNC_ENABLE:
        if (v != SQL_ASYNC_ENABLE_OFF && v != SQL_ASYNC_ENABLE_ON)
            return Fail(conn, ERR_INVALID_ATTRIBUTE_VALUE);
        conn->asyncEnable = v;
        for (Stmt *s = conn->stmts; s; s = s->next)
            s->asyncEnable = v;
        return SQL_SUCCESS;
    case SQL_ATTR_CURRENT_CATALOG: {
        if (len < 0 && len != SQL_NTS)
            return Fail(conn, ERR_INVALID_LENGTH);
        char *utf8 = TXT_In(value, len, width);
        if (value && !utf8)
            return Fail(conn, ERR_MEMORY_ALLOCATION);
        SQLRETURN rc = SetCatalogText(conn, utf8);
        std::free(utf8);
        return rc;
    }
    case SQL_ATTR_METADATA_ID:
        // The default of the statements allocated from now on.
        if (v != SQL_FALSE && v != SQL_TRUE)
            return Fail(conn, ERR_INVALID_ATTRIBUTE_VALUE);
        conn->metadataId = v;
        return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_TIMEOUT:
    case SQL_ATTR_AUTO_IPD:
        return Fail(conn, ERR_FUNCTION_NOT_SUPPORTED);
    default:
        break;
    }
    const bool mapped = (attr >= 0 && attr <= 14 && attr != 9 && attr != 13) ||
                        (attr >= 101 && attr <= 112) || attr == KRS_CONN_APPLICATION_NAME ||
                        attr == SQL_ATTR_ENLIST_IN_DTC || attr == KRS_CONN_FAILOVER_CALLBACK ||
                        attr == KRS_CONN_FAILOVER_CONTEXT;
    if (!mapped)
        return Fail(conn, ERR_OPTION_TYPE_RANGE);
    return CN_SetConnectOption(conn, static_cast<SQLUSMALLINT>(attr), v, width);
}

SQLRETURN CN_GetConnectAttr(Conn *conn, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufLen,
                            SQLINTEGER *outLen, int width)
{
    switch (attr) {
    case SQL_ATTR_QUERY_TIMEOUT:
        if (Odbc3(conn))
            return Fail(conn, ERR_FUNCTION_NOT_SUPPORTED);
        TXT_PutNumber(value, conn->queryTimeout, 4);
        return SQL_SUCCESS;
    case SQL_ATTR_ASYNC_ENABLE:
        TXT_PutNumber(value, conn->asyncEnable, 8);
        return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_TIMEOUT:
        return Fail(conn, ERR_FUNCTION_NOT_SUPPORTED);
    case SQL_ATTR_METADATA_ID:
        TXT_PutNumber(value, conn->metadataId, 4);
        return SQL_SUCCESS;
    case SQL_ATTR_AUTO_IPD:
        TXT_PutNumber(value, SQL_FALSE, 4);
        return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_DEAD: {
        // Pooling Driver Managers rely on this: ask whether the server
        // session is still there.
        int32_t dead = 0;
        if (Connected(conn) &&
            ConnDrvGetInfo(conn, DrvInt(DRV_CONN_DEAD), &dead, sizeof dead) != 0)
            dead = 0;
        TXT_PutNumber(value, dead ? SQL_CD_TRUE : SQL_CD_FALSE, 4);
        return SQL_SUCCESS;
    }
    default:
        break;
    }
    const bool mapped = attr >= 101 && attr <= 112;
    const GetRow *r = mapped ? FindRow(kGetRows, attr) : nullptr;
    if (!r)
        return Fail(conn, ERR_OPTION_TYPE_RANGE);
    AttrValue v;
    SQLRETURN rc = r->get(conn, static_cast<SQLUSMALLINT>(attr), &v);
    if (rc != SQL_SUCCESS)
        return rc;
    if (!v.isText) {
        TXT_PutNumber(value, v.number, r->width);
        if (outLen)
            *outLen = r->width;
        return SQL_SUCCESS;
    }
    return TXT_Post(&conn->diag, TXT_Put(v.text, TXT_Out(width, TC_BYTES, value, bufLen, outLen)));
}

// Opening connections and the connect entry points.
#include "odbc/connect.h"

#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "odbc/conn.h"
#include "odbc/connattr.h"
#include "odbc/dispatch.h"
#include "odbc/contract/drv_config.h"
#include "odbc/contract/drv_connect_params.h"
#include "odbc/contract/drv_convtable.h"
#include "odbc/contract/drv_items.h"
#include "odbc/contract/rowblock.h"
#include "odbc/handles.h"
#include "odbc/layer_links.h"
#include "odbc/trace.h"
#include "util/strutil.h"
#include "util/utf8.h"

namespace {

std::atomic<const DrvOpTable *> g_testOps{nullptr};

// What DRV_EnvOpen is given.
struct DrvEnvOpenRec {
    const char *serverText;
    const char *serverType;
};

// One capability: its bit in DRV_CONN_CAPABILITY_WORD, the item asked on its own when
// the word is refused (0: none), the flag it sets and its trace.
struct CapabilityRow {
    uint32_t bit;
    int item;
    int32_t Conn::*flag;
    const char *trace;
};

const CapabilityRow kCapabilities[] = {
    {0x0001, DRV_CONN_NEEDS_BIND, &Conn::cn_needbind, "cn_needbind=%d"},
    {0x0002, DRV_CONN_HAS_MORE_RESULTS, &Conn::cn_hasMoreRes, "cn_hasMoreRes=%d"},
    {0x0004, DRV_CONN_HAS_PARAM_ARRAYS, &Conn::cn_hasParamOp, "cn_hasParamOp=%d"},
    {0x0008, DRV_CONN_HAS_SCROLL_CURSORS, &Conn::cn_hasScrlCurs, "cn_hasScrlCurs=%d"},
    {0x0010, DRV_CONN_HAS_DYNAMIC_CURSORS, &Conn::cn_hasDynMixCurs, "cn_hasDynMixCurs=%d"},
    {0x0020, DRV_CONN_HAS_V2_DAE, &Conn::cn_hasV2DAE, "cn_hasV2DAE=%d"},
    {0x0040, DRV_CONN_SP_OUT_DEFER_FETCH, &Conn::cn_spOutDeferFetch, "cn_spOutDeferFetch=%d"},
    {0x0080, DRV_CONN_HAS_EXECUTE2, &Conn::cn_hasExecute2, "cn_hasExecute2=%d"},
    {0x0200, 0, &Conn::cn_infoCap, nullptr},
    {0x0400, 0, &Conn::cn_colAttrOp, nullptr},
    {0x0800, 0, &Conn::cn_stmtCap, nullptr},
    {0x1000, 0, &Conn::cn_stmtOptCap, nullptr},
    {0x2000, 0, &Conn::cn_xaCap, nullptr},
    {0x4000, 0, &Conn::cn_failoverCap, nullptr},
};
constexpr uint32_t kAutocommitBit = 0x0100;

// A 4-byte integer item of the back-end connection; false when not answered.
bool AskInt(Conn *conn, int item, int32_t *out)
{
    int32_t v = 0;
    if (ConnDrvGetInfo(conn, DrvInt(item), &v, sizeof v) != 0)
        return false;
    *out = v;
    return true;
}

// The flags the back end declares: from the capability word, or item by item
// when it refuses the word.
void ReadCapabilities(Conn *conn)
{
    for (const CapabilityRow &row : kCapabilities)
        conn->*row.flag = 0;
    int32_t word = 0;
    bool autocommit = false;
    if (AskInt(conn, DRV_CONN_CAPABILITY_WORD, &word)) {
        uint32_t bits = static_cast<uint32_t>(word);
        for (const CapabilityRow &row : kCapabilities)
            conn->*row.flag = (bits & row.bit) ? 1 : 0;
        autocommit = (bits & kAutocommitBit) != 0;
    } else {
        for (const CapabilityRow &row : kCapabilities) {
            int32_t v = 0;
            if (row.item && AskInt(conn, row.item, &v))
                conn->*row.flag = v ? 1 : 0;
        }
        int32_t v = 0;
        autocommit = AskInt(conn, DRV_CONN_AUTOCOMMIT, &v) && v;
    }
    if (autocommit)
        conn->flags |= CN_AUTOCOMMIT;
    else
        conn->flags &= static_cast<uint16_t>(~CN_AUTOCOMMIT);
    if (TR_IsOn()) {
        for (const CapabilityRow &row : kCapabilities)
            if (row.trace)
                TR_Printf(row.trace, conn->*row.flag);
        TR_Printf("autocommit=%d", autocommit ? 1 : 0);
    }
}

bool PortNumber(const char *text)
{
    if (!text || !*text)
        return false;
    size_t n = strlen(text);
    int port = 0;
    auto r = std::from_chars(text, text + n, port);
    return r.ec == std::errc() && r.ptr == text + n && port >= 1 && port <= 65535;
}

// "host:port" when the port is a number 1..65535 and both fit 254
// characters, else the host text.  Heap text, NULL when memory is short.
char *HostText(const Conn *conn)
{
    const char *host = conn->cn_dbhost ? conn->cn_dbhost : "";
    if (PortNumber(conn->port) && strlen(host) + strlen(conn->port) <= 254) {
        size_t h = strlen(host), p = strlen(conn->port);
        char *out = static_cast<char *>(malloc(h + p + 2));
        if (out) {
            memcpy(out, host, h);
            out[h] = ':';
            memcpy(out + h + 1, conn->port, p + 1);
        }
        return out;
    }
    return strdup(host);
}

// Queues why the open was refused, tagged 08004 as the error number it
// stands beside ("Connection rejected by data source").
void Refuse(Conn *conn, const char *text)
{
    TR_Printf("ConnOpen: %s", text);
    char tagged[128];
    snprintf(tagged, sizeof tagged, "%s[SQLSTATE:08004]", text);
    ConnPushError(conn, tagged, 0);
}

} // namespace

void ConnUseBackendForTests(const DrvOpTable *ops) { g_testOps.store(ops); }

int ConnGetOpTable(Conn *conn, DrvConvTable *table)
{
    const DrvOpTable *ops = conn->binding.ops;
    int16_t asked = table->type;
    int rc = ops && ops->GetOpTable ? ops->GetOpTable(static_cast<int>(conn->drvConn), table) : ERR_NOT_CAPABLE;
    if (rc != 0 || !table->rows) {
        table->type = 0;
        TR_Printf("GetOpTable failed for type %d", asked);
    }
    return rc;
}

void ConnOpen(Conn *conn, int width)
{
    if (conn->state != CONN_ALLOCATED) {
        conn->diag.errNum = ERR_FUNCTION_SEQUENCE;
        return;
    }
    conn->serverHandle = 0;
    conn->drvConn = 0;
    conn->diag.errNum = ERR_CONNECTION_REJECTED;
    int bound = Core_Links().BindOpTable(&conn->binding);
    if (const DrvOpTable *fake = g_testOps.load())
        conn->binding.ops = fake;
    if (bound != 0 || !conn->binding.ops) {
        Refuse(conn, "Unable to initialize driver");
        return;
    }
    Core_SetThreadSafety(&conn->binding);
    const DrvOpTable *ops = conn->binding.ops;

    int server = 0;
    DrvEnvOpenRec envRec{conn->serverText, conn->cn_svtype};
    if (!ops->EnvOpen || ops->EnvOpen(&envRec, &server) != 0) {
        Refuse(conn, "Unable to allocate server handle");
        return;
    }
    conn->serverHandle = static_cast<uint32_t>(server);
    auto closeEnv = [&] {
        if (ops->EnvClose)
            ops->EnvClose(static_cast<int>(conn->serverHandle));
        conn->serverHandle = 0;
        conn->drvConn = 0;
    };

    DrvConnectParams params{};
    char *host = HostText(conn);
    conn->narrowConversion = 0;
    if (width == 'W') {
        const char *old = conn->serverText ? conn->serverText : "";
        size_t n = strlen(old);
        char *marked = static_cast<char *>(malloc(sizeof DRV_WIDE_MARKER + n + 1));
        if (!marked || !host) {
            free(marked);
            free(host);
            Refuse(conn, "Unable to allocate memory");
            closeEnv();
            return;
        }
        memcpy(marked, DRV_WIDE_MARKER, sizeof DRV_WIDE_MARKER);
        memcpy(marked + sizeof DRV_WIDE_MARKER, old, n + 1);
        free(conn->serverText);
        conn->serverText = marked;
    }
    params.host = host ? host : "";
    params.serverText = conn->serverText ? conn->serverText : "";
    params.serverType = conn->cn_svtype ? conn->cn_svtype : "";
    params.jdbcClass = conn->cn_dbpath ? conn->cn_dbpath : "";
    params.dsn = conn->dsn ? conn->dsn : "Default";
    params.dsProps = conn->cn_dbopts;
    params.readOnly = (conn->flags & CN_READONLY) ? 1 : 0;
    params.user = conn->uid ? conn->uid : "";
    params.password = conn->pwd ? conn->pwd : "";
    params.loginTimeout = conn->loginTimeout ? 99 : 0;
    params.extraText = conn->extraText;
    params.appName = conn->appName ? conn->appName : "";

    int drvConn = 0;
    int rc = ops->Connect ? ops->Connect(server, &params, &drvConn) : ERR_NOT_CAPABLE;
    free(host);
    conn->diag.errNum = rc;
    if (rc != 0) {
        TR_Printf("ConnOpen: %s", "Unable to allocate connection handle");
        ConnFetchMessages(conn, nullptr);
        ConnFetchServerMessages(conn);
        closeEnv();
        return;
    }
    conn->drvConn = static_cast<uint32_t>(drvConn);

    int32_t utf8 = 0;
    if (width == 'W' && !AskInt(conn, DRV_CONN_UTF8_TEXT, &utf8))
        conn->narrowConversion = 1;
    conn->state = CONN_CONNECTED;
    conn->diag.errNum = ERR_NONE;
    conn->convTable = DrvConvTable{};
    conn->convTable.type = 1;
    ConnGetOpTable(conn, &conn->convTable);

    ReadCapabilities(conn);
    if (conn->flags & CN_MASE)
        ConnDrvSetInt(conn, DRV_CONN_ONE_STATEMENT, 1);
    int32_t isolation = 0;
    if (conn->isolation == 0 ||
        ConnDrvSetInt(conn, DRV_CONN_ISOLATION, static_cast<int32_t>(conn->isolation)) != 0) {
        if (AskInt(conn, DRV_CONN_ISOLATION, &isolation) && isolation)
            conn->isolation = static_cast<uint32_t>(isolation);
    }
    ConnDrvSetInt(conn, DRV_CONN_ODBC_VERSION, conn->env ? conn->env->odbcVersion : 3);
    ConnApplyPendingAttrs(conn);
}

namespace {

bool Dup(char **out, const char *v)
{
    *out = strdup(v ? v : "");
    return *out != nullptr;
}

// The connection's configuration fields from the connect's settings.  False
// when memory is short.
bool FillConnFields(Conn *conn, const DrvConnSettings &set)
{
    ConnFreeStrings(conn);
    bool ok = Dup(&conn->cn_dbpath, set.jdbcClass) && Dup(&conn->cn_dbopts, set.dsProps) &&
              Dup(&conn->uid, set.uid) && Dup(&conn->pwd, set.pwd);
    conn->flags &= static_cast<uint16_t>(~(CN_NOLOGINBOX | CN_READONLY | CN_ASYNC | 0x10 | CN_MASE |
                                           CN_INCLUDE_VIEWS | CN_INCLUDE_ALL));
    if (ConnWantsReadOnly(conn, set.readOnly != 0))
        conn->flags |= CN_READONLY;
    if (set.mase)
        conn->flags |= CN_MASE;
    if (set.includeViews)
        conn->flags |= CN_INCLUDE_VIEWS;
    if (set.includeAll)
        conn->flags |= CN_INCLUDE_ALL;
    if (set.dsn)
        ok = ok && Dup(&conn->dsn, set.dsn);
    conn->cn_fetchSize = set.fetchSize;
    if (!conn->appName)
        ok = ok && Dup(&conn->appName, SYS_ProgramName());
    return ok;
}

void TraceConnFields(const Conn *conn)
{
    TR_Printf("cn_dbpath=[%s] cn_dbopts=[%s] cn_readonly=%d", conn->cn_dbpath ? conn->cn_dbpath : "",
              conn->cn_dbopts ? conn->cn_dbopts : "", (conn->flags & CN_READONLY) ? 1 : 0);
    TR_Printf("cn_fetchSize=%d cn_dbhost=[%s] cn_svtype=[%s]", static_cast<int>(conn->cn_fetchSize),
              conn->cn_dbhost ? conn->cn_dbhost : "", conn->cn_svtype ? conn->cn_svtype : "");
}

// Ends the back end's configuration of one connect on every path.
struct ConfigureSession {
    const DrvConfigOps *ops;
    ~ConfigureSession()
    {
        if (ops)
            ops->End();
    }
};

} // namespace

SQLRETURN ConnApplyConnectArgs(const DriverConnectArgs *a, char **out, char **outShown)
{
    *out = nullptr;
    *outShown = nullptr;
    Conn *conn = a->conn;
    if (conn->state == CONN_CONNECTED) {
        conn->diag.errNum = ERR_CONNECTION_IN_USE;
        return SQL_ERROR;
    }
    if (!a->direct && ((a->in && a->inLen < 0 && a->inLen != SQL_NTS) || a->out.size < 0)) {
        conn->diag.errNum = ERR_INVALID_LENGTH;
        return SQL_ERROR;
    }
    const DrvConfigOps *cfg = Core_Links().config;
    if (!cfg) {
        conn->diag.errNum = ERR_NOT_CAPABLE;
        return SQL_ERROR;
    }
    ConfigureSession session{cfg};
    DrvConfigRequest req{};
    req.window = a->window;
    req.in = a->in;
    req.inLen = a->inLen;
    req.completion = a->completion;
    req.width = a->width;
    req.direct = a->direct;
    req.dsn = a->dsn;
    req.uid = a->uid;
    req.pwd = a->pwd;
    req.noLoginBox = (conn->flags & CN_NOLOGINBOX) ? 1 : 0;
    req.trace = TR_IsOn() ? TR_Printf : nullptr;
    DrvConnSettings set{};
    int rc = cfg->Configure(&req, &set);
    if (rc == DRV_CONFIG_NOT_CONFIRMED)
        return SQL_NO_DATA;
    if (rc == 0 && !FillConnFields(conn, set))
        rc = ERR_MEMORY_ALLOCATION;
    if (rc != 0) {
        std::free(set.outText);
        std::free(set.outShown);
        conn->diag.errNum = rc;
        return SQL_ERROR;
    }
    *out = set.outText;
    *outShown = set.outShown;
    if (TR_IsOn()) {
        cfg->TraceKeywords(TR_Printf);
        TraceConnFields(conn);
    }
    return SQL_SUCCESS;
}

SQLRETURN ConnDriverConnect(const DriverConnectArgs *a)
{
    Conn *conn = a->conn;
    char *out = nullptr, *outShown = nullptr;
    SQLRETURN rc = ConnApplyConnectArgs(a, &out, &outShown);
    if (rc != SQL_SUCCESS)
        return rc;
    ConnOpen(conn, a->width);
    rc = SQL_ERROR;
    if (conn->state == CONN_CONNECTED)
        rc = TXT_Post(&conn->diag, TXT_Put(out, a->out));
    TR_Printf("cmd (%d)=|%s|", static_cast<int>(strlen(out)), outShown);
    free(out);
    free(outShown);
    return rc;
}

SQLRETURN CN_DriverConnect(Conn *conn, SQLHWND window, SQLCHAR *in, SQLSMALLINT inLen,
                           SQLPOINTER out, SQLSMALLINT outSize, SQLSMALLINT *outLen,
                           SQLUSMALLINT completion, int width)
{
    DriverConnectArgs a{};
    a.conn = conn;
    a.window = window;
    a.in = reinterpret_cast<const char *>(in);
    a.inLen = inLen;
    // The wide form counts the output buffer and length in characters.
    a.out = TXT_Out(width, TC_CHARS, out, outSize, outLen);
    a.completion = completion;
    a.width = width;
    PL_CsGuard connect(API_ConnectLock());
    return ConnDriverConnect(&a);
}

SQLRETURN CN_Connect(Conn *conn, SQLCHAR *dsn, SQLSMALLINT dsnLen, SQLCHAR *uid, SQLSMALLINT uidLen,
                     SQLCHAR *pwd, SQLSMALLINT pwdLen, int width)
{
    if (conn->state == CONN_CONNECTED) {
        conn->diag.errNum = ERR_CONNECTION_IN_USE;
        return SQL_ERROR;
    }
    for (SQLSMALLINT len : {dsnLen, uidLen, pwdLen}) {
        if (len < 0 && len != SQL_NTS) {
            conn->diag.errNum = ERR_INVALID_LENGTH;
            return SQL_ERROR;
        }
    }
    char *texts[3] = {};
    STR_CopyN(&texts[0], reinterpret_cast<const char *>(dsn), dsn ? dsnLen : SQL_NTS);
    STR_CopyN(&texts[1], reinterpret_cast<const char *>(uid), uid ? uidLen : SQL_NTS);
    STR_CopyN(&texts[2], reinterpret_cast<const char *>(pwd), pwd ? pwdLen : SQL_NTS);
    SQLRETURN rc = SQL_ERROR;
    if (!texts[0] || !texts[1] || !texts[2]) {
        conn->diag.errNum = ERR_MEMORY_ALLOCATION;
    } else {
        TR_Printf("DSN=%s;UID=%s;PWD=***", texts[0], texts[1]);
        DriverConnectArgs a{};
        a.conn = conn;
        a.completion = SQL_DRIVER_NOPROMPT;
        a.width = width;
        a.direct = 1;
        a.dsn = texts[0];
        a.uid = texts[1];
        a.pwd = texts[2];
        PL_CsGuard connect(API_ConnectLock());
        rc = ConnDriverConnect(&a);
    }
    for (char *t : texts)
        free(t);
    return rc;
}

SQLRETURN CN_Disconnect(Conn *conn)
{
    if (conn->state != CONN_CONNECTED) {
        conn->diag.errNum = ERR_CONNECTION_NOT_OPEN;
        return SQL_ERROR;
    }
    int rc = ConnClose(conn);
    if (rc != 0) {
        conn->diag.errNum = rc;
        return SQL_ERROR;
    }
    return SQL_SUCCESS;
}

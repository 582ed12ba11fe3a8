// Row versions in the table KRSRVC (see scs_rvc.h): the cursor's own
// row-version connection, the row digests and the comparison of a refetch
// with the versions stored before.
#include "scrs/scs_rvc.h"

#include "odbc/contract/drv_connect_params.h"
#include "odbc/contract/drv_items.h"
#include "odbc/contract/drv_ops.h"
#include "odbc/contract/err_report.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/param_types.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "platform/locks.h"
#include "platform/sysinfo.h"
#include "scrs/sc_check.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyset.h"
#include "scrs/scs_owners.h"
#include "util/log.h"
#include "util/md5.h"
#include "util/strutil.h"

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

const char SRC[] = "sc_s";

// One row-version connection.
struct RvcConn {
    uint32_t conn = 0;
    uint32_t stmt = 0;
    char *paramsText = nullptr;  // the registered data-source properties, for the reuse test
    int32_t refs = 0;
};

// An environment's row-version records: the binding that opens and closes
// the connections and the parameter-types flag of the first cursor that
// attached, and the connections, under scs_p_ListLock().
struct RvcArea {
    const DrvBinding *binding = nullptr;
    int sendParamTypes = 0;
    std::vector<RvcConn *> conns;
};

std::unordered_map<int32_t, RvcArea> &areas()
{
    static auto *map = new std::unordered_map<int32_t, RvcArea>;
    return *map;
}

// A row-version connection is never shared: every cursor gets one of its
// own, so that its statements never wait for another cursor's.
int rvc_ConnMatch(const RvcConn *, const DrvConnectParams *) { return 0; }

// What a cursor's statements need of its area, read under the lock.
struct RvcUse {
    const DrvOpTable *ops = nullptr;
    int sendParamTypes = 0;
    RvcConn node{};
};

bool rvcUse(const RvcBinding *rvc, RvcUse *out)
{
    if (!rvc || !rvc->rvStmt)
        return false;
    PL_CsGuard hold(scs_p_ListLock());
    auto it = areas().find(rvc->env);
    if (it == areas().end())
        return false;
    for (RvcConn *n : it->second.conns) {
        if (n->stmt != rvc->rvStmt)
            continue;
        out->ops = it->second.binding->ops;
        out->sendParamTypes = it->second.sendParamTypes;
        out->node = *n;
        return true;
    }
    return false;
}

// 16 hexadecimal digits that tell this process from any other client of
// the database, made once per process (again after a fork).
void processTag(char out[17])
{
    static std::mutex lock;
    static uint32_t pid = 0;
    static uint64_t tag = 0;
    std::lock_guard<std::mutex> hold(lock);
    const uint32_t now = PL_ProcessId();
    if (tag == 0 || pid != now) {
        std::random_device rd;
        uint64_t r = (static_cast<uint64_t>(rd()) << 32) ^ rd();
        r ^= static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        r ^= static_cast<uint64_t>(now) << 17;
        tag = r ? r : 1;
        pid = now;
    }
    snprintf(out, 17, "%016llX", static_cast<unsigned long long>(tag));
}

// Parameter blocks of this file: n markers of text after a 2-byte length,
// each holding 32 hexadecimal digits.
constexpr uint32_t kParamWidth = 36;

RowBlock *hexParams(std::initializer_list<const char *> texts)
{
    BlockOwner b(KS_BlockNew());
    const uint16_t n = static_cast<uint16_t>(texts.size());
    if (!b || RB_Init(b.get(), n) != 0)
        return nullptr;
    for (uint16_t i = 0; i < n; ++i) {
        b->columns[i].valueType = VT_TEXT2;
        b->columns[i].width = kParamWidth;
    }
    b->columnsUsed = n;
    if (RB_AllocRows(b.get(), 1) != 0)
        return nullptr;
    b->rowsUsed = 1;
    uint16_t i = 0;
    for (const char *t : texts) {
        const uint16_t len = static_cast<uint16_t>(strlen(t));
        memcpy(b->columns[i].data, &len, 2);
        memcpy(b->columns[i].data + 2, t, len);
        b->columns[i].indicators[0] = RB_IND_VALUE;
        ++i;
    }
    return b.release();
}

// Binds the markers (and their types when the back end wants them); the
// block goes to the back end.
int bindHex(const RvcUse &u, std::initializer_list<const char *> texts)
{
    RowBlock *b = hexParams(texts);
    if (!b)
        return ERR_MEMORY_ALLOCATION;
    const int h = static_cast<int>(u.node.stmt);
    if (int rc = u.ops->SetParams(h, b))
        return rc;
    if (!u.sendParamTypes)
        return 0;
    ParamTypeDesc types[2];
    for (ParamTypeDesc &t : types)
        t = ParamTypeDesc{SQL_CHAR, SQL_C_CHAR, RVC_DIGEST_TEXT, 0, PARAM_INPUT};
    return u.ops->SetParamTypes(h, static_cast<uint16_t>(texts.size()), types);
}

// The first characters of a text cell as ASCII (wide cells by their low
// bytes); empty for NULL.
std::string cellAscii(const RowBlock *b, int col, int32_t row, uint32_t max)
{
    ValueType vt = 0;
    uint32_t width = 0;
    if (RB_GetColumnInfo(b, col, &vt, &width) != 0)
        return std::string();
    const bool wide = vt == VT_WCHAR || vt == VT_WNTS || vt == VT_HEAP_WTEXT || vt == VT_WTEXT4;
    std::vector<char> buf(wide ? 2 * max : max);
    uint32_t len = static_cast<uint32_t>(buf.size());
    if (RB_GetCell(b, row, col, buf.data(), &len) != 0)
        return std::string();
    std::string t;
    if (wide) {
        for (uint32_t i = 0; 2 * i + 1 < len; ++i)
            t += buf[2 * i];
    } else {
        t.assign(buf.data(), len);
    }
    const size_t nul = t.find('\0');
    if (nul != std::string::npos)
        t.resize(nul);
    return t;
}

std::string digestText(const uint8_t *d)
{
    char text[RVC_DIGEST_TEXT + 1];
    RVC_HexEncode(d, RVC_DIGEST_SIZE, text, sizeof text, nullptr);
    return text;
}

std::string whereCursor(const RvcBinding *rvc)
{
    char hconn[25], hcurs[9];
    rvc_CursorKey(rvc, hconn, hcurs);
    return std::string("HCONN = '") + hconn + "' AND HCURS = '" + hcurs + "'";
}

void appendTexts(ScsContext *ctx, const DrvOpTable *ops, uint32_t h)
{
    ErrReport rep{};
    if (!h || ops->GetErrors(static_cast<int>(h), &rep) != 0)
        return;
    for (uint32_t i = 0; i < rep.count; ++i) {
        if (rep.texts && rep.texts[i]) {
            if (ctx)
                ctx->auxTexts.emplace_back(rep.texts[i]);
            free(rep.texts[i]);
        }
    }
    free(rep.texts);
}

} // namespace

int RVC_Attach(RvcBinding *rvc, const DrvBinding *binding, uint32_t appConn, uint32_t appStmt, int sendParamTypes)
{
    if (!rvc || !binding || !binding->ops)
        return SC_ERR_GENERAL;
    if (rvc->rvStmt)
        return SC_ERR_GENERAL;  // one row-version connection per cursor
    int env = 0;
    DrvConnectParams params{};
    PL_CsGuard hold(scs_p_ListLock());
    if (scs_p_ConnEnv(static_cast<int>(appConn), &env) != 0 ||
        scs_p_ConnParamsFind(static_cast<int>(appConn), &params) != 0) {
        LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "RVC_Attach: the connection's parameters are not registered.");
        return SC_ERR_GENERAL;
    }
    RvcArea &area = areas()[env];
    for (RvcConn *n : area.conns)
        if (rvc_ConnMatch(n, &params))
            break;  // never: each cursor opens its own

    auto *node = new (std::nothrow) RvcConn;
    if (!node)
        return ERR_MEMORY_ALLOCATION;
    int conn = 0, stmt = 0;
    int rc = binding->ops->Connect(env, &params, &conn);
    if (rc == 0 && (rc = binding->ops->AllocStmt(conn, &stmt)) != 0) {
        // The connection's own diagnostics explain the failure.
        if (ScsContext *ctx = scs_p_CtxFind(static_cast<int>(appStmt)))
            appendTexts(ctx, binding->ops, static_cast<uint32_t>(conn));
        binding->ops->Disconnect(conn);
    }
    if (rc == 0 && params.dsProps && !(node->paramsText = STR_Dup(params.dsProps)))
        rc = ERR_MEMORY_ALLOCATION;
    if (rc != 0) {
        if (stmt) {
            binding->ops->FreeStmt(stmt);
            binding->ops->Disconnect(conn);
        }
        free(node->paramsText);
        delete node;
        if (area.conns.empty())
            areas().erase(env);
        return rc;
    }
    node->conn = static_cast<uint32_t>(conn);
    node->stmt = static_cast<uint32_t>(stmt);
    node->refs = 1;
    if (area.conns.empty()) {
        area.binding = binding;
        area.sendParamTypes = sendParamTypes;
    }
    area.conns.push_back(node);
    rvc->env = env;
    rvc->appConn = appConn;
    rvc->appStmt = appStmt;
    rvc->rvStmt = node->stmt;
    return 0;
}

int RVC_Detach(RvcBinding *rvc)
{
    if (!rvc || !rvc->rvStmt)
        return 0;
    RvcConn *gone = nullptr;
    const DrvOpTable *ops = nullptr;
    {
        PL_CsGuard hold(scs_p_ListLock());
        auto it = areas().find(rvc->env);
        if (it != areas().end()) {
            std::vector<RvcConn *> &conns = it->second.conns;
            for (auto n = conns.begin(); n != conns.end(); ++n) {
                if ((*n)->stmt != rvc->rvStmt)
                    continue;
                if (--(*n)->refs <= 0) {
                    gone = *n;
                    ops = it->second.binding->ops;
                    conns.erase(n);
                }
                break;
            }
            if (conns.empty())
                areas().erase(it);
        }
    }
    if (gone) {
        ops->FreeStmt(static_cast<int>(gone->stmt));
        ops->Disconnect(static_cast<int>(gone->conn));
        free(gone->paramsText);
        delete gone;
    }
    *rvc = RvcBinding{};
    return 0;
}

void RVC_DiagsMove(RvcBinding *rvc)
{
    RvcUse u;
    if (!rvcUse(rvc, &u))
        return;
    ScsContext *ctx = scs_p_CtxFind(static_cast<int>(rvc->appStmt));
    appendTexts(ctx, u.ops, u.node.stmt);
    appendTexts(ctx, u.ops, u.node.conn);
}

int RVC_CursorRowsDelete(RvcBinding *rvc)
{
    RvcUse u;
    if (!rvcUse(rvc, &u))
        return SC_ERR_GENERAL;
    const int h = static_cast<int>(u.node.stmt);
    const std::string sql = "DELETE FROM KRSRVC WHERE " + whereCursor(rvc);
    int rc = u.ops->Prepare(h, sql.c_str());
    if (rc == 0)
        rc = u.ops->Execute(h);
    if (rc == 0)
        return 0;
    // The server's report, then what it most likely means.
    RVC_DiagsMove(rvc);
    scs_p_ErrPostCode(scs_p_CtxFind(static_cast<int>(rvc->appStmt)), ERR_NO_ROW_VERSION_TABLE);
    return ERR_NO_ROW_VERSION_TABLE;
}

int RVC_RowsCheck(RvcBinding *rvc, const KeySet *keys, const RowBlock *rows, uint16_t *statuses)
{
    const int32_t n = rows ? rows->rowsUsed : 0;
    if (n <= 0)
        return 0;
    if (!keys || !keys->keyRows || keys->keyRows->rowsUsed < n || !statuses)
        return SC_ERR_GENERAL;
    RvcUse u;
    if (!rvcUse(rvc, &u))
        return SC_ERR_GENERAL;
    std::vector<uint8_t> keyDigests, rowDigests;
    try {
        keyDigests.resize(static_cast<size_t>(n) * RVC_DIGEST_SIZE);
        rowDigests.resize(static_cast<size_t>(n) * RVC_DIGEST_SIZE);
    } catch (const std::bad_alloc &) {
        return ERR_MEMORY_ALLOCATION;
    }
    auto keyOf = [&](int32_t k) { return keyDigests.data() + static_cast<size_t>(k) * RVC_DIGEST_SIZE; };
    auto rowOf = [&](int32_t k) { return rowDigests.data() + static_cast<size_t>(k) * RVC_DIGEST_SIZE; };
    const int h = static_cast<int>(u.node.stmt);
    const std::string cursor = whereCursor(rvc);
    int rc = 0;
    int changed = 0, added = 0;

    const std::string select = "SELECT ROWVER FROM KRSRVC WHERE " + cursor + " AND KEYVER = ?";
    rc = u.ops->Prepare(h, select.c_str());
    for (int32_t k = 0; rc == 0 && k < n; ++k) {
        // A row already known to be gone has no values to compare (its
        // place holds an empty row): it keeps its status and its version.
        if (statuses[k] == SQL_ROW_DELETED)
            continue;
        if ((rc = RVC_RowDigest(keys->keyRows, k, keyOf(k))) != 0 || (rc = RVC_RowDigest(rows, k, rowOf(k))) != 0)
            break;
        const std::string keyText = digestText(keyOf(k));
        if ((rc = bindHex(u, {keyText.c_str()})) != 0 || (rc = u.ops->Execute(h)) != 0)
            break;
        int32_t got = 0;
        std::string stored;
        {
            BlockRows found;
            rc = u.ops->Fetch(h, 2, &found.rows);
            got = found.rows.rowsUsed;
            if (rc == 0 && got == 1)
                stored = cellAscii(&found.rows, 0, 0, RVC_DIGEST_TEXT);
        }
        u.ops->CloseCursor(h);
        if (rc != 0)
            break;
        if (got >= 2) {
            rc = SC_ERR_GENERAL;
            break;
        }
        if (got == 1) {
            const bool same = stored == digestText(rowOf(k));
            statuses[k] = same ? SQL_ROW_SUCCESS : SQL_ROW_UPDATED;
            changed += same ? 0 : 1;
        } else {
            statuses[k] = SQL_ROW_ADDED;
            ++added;
        }
    }
    if (rc == 0 && changed)
        rc = RVC_VersionsUpdate(rvc, keyDigests.data(), rowDigests.data(), statuses, n);
    if (rc == 0 && added) {
        char hconn[25], hcurs[9];
        rvc_CursorKey(rvc, hconn, hcurs);
        const std::string insert = std::string("INSERT INTO KRSRVC VALUES ('") + hconn + "', '" + hcurs + "', ?, ?)";
        rc = u.ops->Prepare(h, insert.c_str());
        for (int32_t k = 0; rc == 0 && k < n; ++k) {
            if (statuses[k] != SQL_ROW_ADDED)
                continue;
            statuses[k] = SQL_ROW_ERROR;
            const std::string keyText = digestText(keyOf(k)), rowText = digestText(rowOf(k));
            if ((rc = bindHex(u, {keyText.c_str(), rowText.c_str()})) == 0 && (rc = u.ops->Execute(h)) == 0)
                statuses[k] = SQL_ROW_SUCCESS;
        }
    }
    if (rc != 0)
        RVC_DiagsMove(rvc);
    return rc;
}

int RVC_VersionsUpdate(RvcBinding *rvc, const uint8_t *keyDigests, const uint8_t *rowDigests, uint16_t *statuses,
                       int32_t count)
{
    RvcUse u;
    if (!rvcUse(rvc, &u) || !keyDigests || !rowDigests || !statuses)
        return SC_ERR_GENERAL;
    const int h = static_cast<int>(u.node.stmt);
    const std::string sql = "UPDATE KRSRVC SET ROWVER = ? WHERE " + whereCursor(rvc) + " AND KEYVER = ?";
    int rc = u.ops->Prepare(h, sql.c_str());
    if (rc != 0)
        return rc;
    for (int32_t k = 0; k < count; ++k) {
        if (statuses[k] != SQL_ROW_UPDATED)
            continue;
        const std::string rowText = digestText(rowDigests + static_cast<size_t>(k) * RVC_DIGEST_SIZE),
                          keyText = digestText(keyDigests + static_cast<size_t>(k) * RVC_DIGEST_SIZE);
        int32_t touched = 0;
        int16_t len = 0;
        rc = bindHex(u, {rowText.c_str(), keyText.c_str()});
        if (rc == 0)
            rc = u.ops->Execute(h);
        if (rc == 0)
            rc = u.ops->GetInfo(h, DrvInt(DRV_STMT_ROW_COUNT), &touched, 4, &len);
        if (rc != 0 || touched <= 0)
            statuses[k] = SQL_ROW_ERROR;
    }
    return rc;
}

int RVC_RowDigest(const RowBlock *block, int32_t row, uint8_t out[RVC_DIGEST_SIZE])
{
    if (!block || !out || row < 0 || row >= block->rowsUsed)
        return SC_ERR_GENERAL;
    uint32_t widest = 0;
    for (uint16_t c = 0; c < block->columnsUsed; ++c)
        widest = block->columns[c].width > widest ? block->columns[c].width : widest;
    auto *cell = static_cast<unsigned char *>(malloc(widest ? widest : 1));
    if (!cell)
        return ERR_MEMORY_ALLOCATION;
    // Each value is framed: a NULL is one byte 0, a value the byte 1, its
    // length and its bytes.  So NULL, '' and 0 differ, and so do 'ab','c'
    // and 'a','bc'.
    Md5Context md5;
    MD5Init(&md5);
    int rc = 0;
    for (uint16_t c = 0; c < block->columnsUsed && rc == 0; ++c) {
        const RowBlockColumn &col = block->columns[c];
        if (col.valueType == VT_HEAP_TEXT || col.valueType == VT_HEAP_BINARY || col.valueType == VT_HEAP_WTEXT)
            continue;
        unsigned char frame[5] = {0, 0, 0, 0, 0};
        if (col.indicators[row] < 0) {
            MD5Update(&md5, frame, 1);
            continue;
        }
        uint32_t len = col.width;
        if (len && (rc = RB_GetCell(block, row, c, cell, &len)) != 0)
            break;
        frame[0] = 1;
        for (int i = 0; i < 4; ++i)
            frame[1 + i] = static_cast<unsigned char>(len >> (8 * i));
        MD5Update(&md5, frame, sizeof frame);
        MD5Update(&md5, cell, len);
    }
    free(cell);
    if (rc == 0)
        MD5Final(out, &md5);
    return rc;
}

char *RVC_HexEncode(const uint8_t *bytes, int32_t n, char *out, int32_t size, int32_t *outLen)
{
    static const char kHex[] = "0123456789ABCDEF";
    if (!out || size <= 0) {
        if (outLen)
            *outLen = 0;
        return out;
    }
    int32_t m = (size - 1) / 2;
    if (n < m)
        m = n;
    if (!bytes || m < 0)
        m = 0;
    char *w = out;
    for (int32_t i = 0; i < m; ++i) {
        *w++ = kHex[bytes[i] >> 4];
        *w++ = kHex[bytes[i] & 0x0F];
    }
    *w = '\0';
    if (outLen)
        *outLen = static_cast<int32_t>(w - out);
    return w;
}

void rvc_CursorKey(const RvcBinding *rvc, char hconn[25], char hcurs[9])
{
    char tag[17];
    processTag(tag);
    snprintf(hconn, 25, "%08X%s", rvc ? rvc->appConn : 0u, tag);
    snprintf(hcurs, 9, "%08X", rvc ? rvc->appStmt : 0u);
}

int rvc_OpenConnections(int32_t env)
{
    PL_CsGuard hold(scs_p_ListLock());
    auto it = areas().find(env);
    return it == areas().end() ? 0 : static_cast<int>(it->second.conns.size());
}

int rvc_RefCount(const RvcBinding *rvc)
{
    RvcUse u;
    return rvcUse(rvc, &u) ? u.node.refs : 0;
}

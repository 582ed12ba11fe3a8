// DRV_SetOption: connection options on the JDBC Connection or the DrvConn,
// statement options on the JDBC Statement, the DrvStmt or its cursor
// options.
#include "drv_jdbc/j-setoption.h"

#include <sql.h>
#include <sqlext.h>

#include "drv_jdbc/j-call.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-infotypes.h"
#include "drv_jdbc/j-param.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap.h"
#include "odbc/contract/drv_items.h"

namespace {

constexpr int32_t kEnd = -999;
constexpr int32_t kMaxKeyset = 5000;
constexpr int32_t kMaxRowset = 100;

// ---- negotiation of cursor type and concurrency ----

struct ValueBit {
    int32_t value;
    uint32_t bit;
};

// One negotiated option: the information type whose mask lists the values
// the driver gives, the fallback walk and the bit of each known value.
struct OptionFallbacks {
    int option;
    int infoType;
    int32_t fallbacks[5];
    ValueBit bits[5];
};

const OptionFallbacks kFallbacks[] = {
    {SQL_CONCURRENCY, SQL_SCROLL_CONCURRENCY, {2, 3, 4, 3, kEnd},
     {{1, SQL_SCCO_READ_ONLY}, {2, SQL_SCCO_LOCK}, {3, SQL_SCCO_OPT_ROWVER},
      {4, SQL_SCCO_OPT_VALUES}, {kEnd, 0}}},
    {SQL_CURSOR_TYPE, SQL_SCROLL_OPTIONS, {2, 1, 3, 1, kEnd},
     {{0, SQL_SO_FORWARD_ONLY}, {1, SQL_SO_KEYSET_DRIVEN}, {2, SQL_SO_DYNAMIC},
      {3, SQL_SO_STATIC}, {kEnd, 0}}},
};

const OptionFallbacks *findOptionFallbacks(int option)
{
    for (const OptionFallbacks &f : kFallbacks)
        if (f.option == option)
            return &f;
    return nullptr;
}

// The value after the first element equal to value from *pos on; kEnd when
// there is none.  *pos moves past the element found.
int32_t nextFallbackValue(int32_t value, const int32_t *list, int *pos)
{
    for (int i = *pos; list[i] != kEnd; ++i) {
        if (list[i] == value) {
            *pos = i + 1;
            return list[i + 1];
        }
    }
    return kEnd;
}

// The bit of a known value; 0 for a value the list does not know, so that it
// never counts as supported.
uint32_t lookupOptionBit(int32_t value, const ValueBit *bits)
{
    for (const ValueBit *b = bits; b->value != kEnd; ++b)
        if (b->value == value)
            return b->bit;
    return 0;
}

// The mask the back end reports for SQL_SCROLL_CONCURRENCY and
// SQL_SCROLL_OPTIONS.
uint32_t CapabilityMask(const DrvConn *c, int infoType)
{
    if (infoType == SQL_SCROLL_CONCURRENCY)
        return SQL_SCCO_READ_ONLY | SQL_SCCO_LOCK | SQL_SCCO_OPT_VALUES;
    return static_cast<uint32_t>(infoSensitivityFlags(c));
}

// ---- connection options ----

int SetConnectionOption(DrvConn *c, int code, void *value)
{
    const int32_t v = code == DrvText(DRV_CONN_CATALOG) ? 0 : *static_cast<int32_t *>(value);
    switch (code) {
    case DrvInt(DRV_CONN_AUTOCOMMIT):
        return jc_Connection_setAutoCommit(c, c->connection, v != 0 ? 1 : 0);
    case DrvInt(DRV_CONN_ACCESS_MODE): {
        // The JDBC connection follows, so that the database refuses writes.
        int rc = jc_Connection_setReadOnly(c, c->connection, v != 0 ? 1 : 0);
        if (rc == 0)
            c->accessMode = v != 0 ? 1 : 0;
        return rc;
    }
    case DrvInt(DRV_CONN_ISOLATION):
        return jc_Connection_setTransactionIsolation(c, c->connection, v);
    case DrvText(DRV_CONN_CATALOG):
        return jc_Connection_setCatalog(c, c->connection, static_cast<const char *>(value));
    case DrvInt(DRV_CONN_ODBC_VERSION):
        c->odbcVersion = v;
        return 0;
    case DrvInt(DRV_CONN_ONE_STATEMENT):
        c->oneStmtEmulation = v;
        return 0;
    default:
        return ERR_NOT_CAPABLE;
    }
}

// ---- statement options ----

int SetCursorType(DrvStmt *s, int32_t *v)
{
    int rc = negotiateOption(s->conn, SQL_CURSOR_TYPE, v);
    if (rc == ERR_NOT_CAPABLE)
        return ERR_NOT_CAPABLE;
    if (*v == SQL_CURSOR_DYNAMIC && !s->conn->capabilityMark) {
        *v = SQL_CURSOR_KEYSET_DRIVEN;
        rc = ERR_OPTION_VALUE_CHANGED;
    }
    s->options.cursorType = *v;
    return rc;
}

int SetStatementOption(DrvStmt *s, int code, int32_t *v)
{
    CursorOptions &cs = s->options;
    switch (DrvItemOf(code)) {
    case DrvStmtOption(SQL_QUERY_TIMEOUT):
        s->queryTimeout = *v;
        return s->stmt ? jc_Statement_setQueryTimeout(s, s->stmt, *v) : 0;
    case DrvStmtOption(SQL_MAX_ROWS): {
        int32_t m = s->conn->options.maxRows;
        if (m > 0 && (*v <= 0 || *v > m)) {
            s->maxRows = m;
            *v = m;
            return ERR_OPTION_VALUE_CHANGED;
        }
        s->maxRows = *v;
        return 0;
    }
    case DrvStmtOption(SQL_NOSCAN):
        s->noScan = *v != 0 ? 1 : 0;
        return 0;
    case DrvStmtOption(SQL_MAX_LENGTH):
        s->maxLength = *v;
        return 0;
    case DrvStmtOption(SQL_CURSOR_TYPE):
        return SetCursorType(s, v);
    case DrvStmtOption(SQL_CONCURRENCY): {
        int rc = negotiateOption(s->conn, SQL_CONCURRENCY, v);
        if (rc != ERR_NOT_CAPABLE)
            cs.concurrency = *v;
        return rc;
    }
    case DrvStmtOption(SQL_KEYSET_SIZE):
        if (!s->conn->capabilityMark && *v != 0)
            return ERR_OPTION_VALUE_CHANGED;
        // A larger keyset is cut to the largest one kept, and said so (01S02).
        if (*v > kMaxKeyset) {
            cs.keysetSize = kMaxKeyset;
            *v = kMaxKeyset;
            return ERR_OPTION_VALUE_CHANGED;
        }
        cs.keysetSize = *v;
        return 0;
    case DrvStmtOption(SQL_ROWSET_SIZE): {
        int rc = 0;
        if (!s->conn->options.noRowsetSizeLimit && *v > kMaxRowset) {
            *v = kMaxRowset;
            rc = ERR_OPTION_VALUE_CHANGED;
        }
        cs.rowsetSize = *v;
        return rc;
    }
    case DrvStmtOption(SQL_SIMULATE_CURSOR):
        cs.simulateCursor = *v;
        return 0;
    case DrvStmtOption(SQL_RETRIEVE_DATA):
        cs.retrieveData = *v;
        return 0;
    case DrvStmtOption(SQL_USE_BOOKMARKS):
        cs.useBookmarks = *v;
        return 0;
    case DrvStmtOption(SQL_ATTR_ENABLE_AUTO_IPD):
        return *v != 0 && !s->paramsDescribed ? describeParams(s) : 0;
    case DrvStmtOption(KRS_STMT_CURSOR_MODE):
        if (*v != 1 && *v != 2)
            return ERR_INVALID_ARGUMENT;
        cs.cursorMode = *v;
        return 0;
    // Kept for the cursor library: report key and expression columns
    // (1052), add the missing key columns to the select list (1054).
    case DrvStmtOption(KRS_STMT_KEY_INFO):
        cs.keyInfo = *v;
        return 0;
    case DrvStmtOption(KRS_STMT_ADD_KEYS):
        cs.addKeys = *v;
        return 0;
    default:
        return ERR_NOT_CAPABLE;
    }
}

} // namespace

int negotiateOption(const DrvConn *c, int option, int32_t *value)
{
    const OptionFallbacks *f = findOptionFallbacks(option);
    if (!f)
        return 0;
    const uint32_t mask = CapabilityMask(c, f->infoType);
    const int32_t asked = *value;
    int pos = 0;
    int32_t v = asked;
    while (v != kEnd && !(mask & lookupOptionBit(v, f->bits)))
        v = nextFallbackValue(v, f->fallbacks, &pos);
    if (v == kEnd)
        return ERR_NOT_CAPABLE;
    *value = v;
    return v == asked ? 0 : ERR_OPTION_VALUE_CHANGED;
}

int DRV_SetOption(int handle, int code, void *value)
{
    if (!value)
        return ERR_INVALID_ARGUMENT;
    switch (DrvClassOf(code)) {
    case DRV_CLASS_ENV:
        return HT_Lookup(&drvEnvTable, static_cast<uint32_t>(handle)) ? ERR_NOT_CAPABLE : ERR_INVALID_ARGUMENT;
    case DRV_CLASS_CONN: {
        DrvCall<DrvConn> op(handle);
        if (int rc = op.enter())
            return rc;
        return SetConnectionOption(op.get(), code, value);
    }
    case DRV_CLASS_STMT: {
        DrvCall<DrvStmt> op(handle);
        if (!op.get())
            return ERR_INVALID_ARGUMENT;
        if (DrvKindOf(code) != DRV_KIND_INT)
            return ERR_NOT_CAPABLE;
        if (int rc = op.enter())
            return rc;
        return SetStatementOption(op.get(), code, static_cast<int32_t *>(value));
    }
    default:
        return ERR_FUNCTION_NOT_SUPPORTED;
    }
}

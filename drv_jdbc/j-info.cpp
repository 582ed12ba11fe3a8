// Back-end information: capabilities and private items, connection
// attributes, the conversion table and the scalar-function table.
#include "drv_jdbc/j-info.h"

#include <cstring>

#include "drv_jdbc/j-call.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-infotypes.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-typeinfo.h"
#include "drv_jdbc/j-wrap.h"
#include "odbc/contract/drv_convtable.h"
#include "odbc/contract/drv_items.h"
#include "odbc/contract/flavour.h"
#include "odbc/contract/rowblock.h"
#include "util/hash.h"

const ScalarFunction kScalarFunctions[] = {
    {"ABS", 0x1, 1}, {"ACOS", 0x2, 1}, {"ASIN", 0x4, 1}, {"ATAN", 0x8, 1}, {"ATAN2", 0x10, 1},
    {"CEILING", 0x20, 1}, {"COS", 0x40, 1}, {"COT", 0x80, 1}, {"DEGREES", 0x40000, 1},
    {"EXP", 0x100, 1}, {"FLOOR", 0x200, 1}, {"LOG", 0x400, 1}, {"LOG10", 0x80000, 1},
    {"MOD", 0x800, 1}, {"PI", 0x10000, 1}, {"POWER", 0x100000, 1}, {"RADIANS", 0x200000, 1},
    {"RAND", 0x20000, 1}, {"ROUND", 0x400000, 1}, {"SIGN", 0x1000, 1}, {"SIN", 0x2000, 1},
    {"SQRT", 0x4000, 1}, {"TAN", 0x8000, 1}, {"TRUNCATE", 0x800000, 1},
    {"ASCII", 0x2000, 2}, {"CHAR", 0x4000, 2}, {"CONCAT", 0x1, 2}, {"DIFFERENCE", 0x8000, 2},
    {"INSERT", 0x2, 2}, {"LCASE", 0x40, 2}, {"LEFT", 0x4, 2}, {"LENGTH", 0x10, 2},
    {"LOCATE", 0x20, 2}, {"LOCATE_2", 0x10000, 2}, {"LTRIM", 0x8, 2}, {"REPEAT", 0x80, 2},
    {"REPLACE", 0x100, 2}, {"RIGHT", 0x200, 2}, {"RTRIM", 0x400, 2}, {"SOUNDEX", 0x20000, 2},
    {"SPACE", 0x40000, 2}, {"SUBSTRING", 0x800, 2}, {"UCASE", 0x1000, 2},
    {"DBNAME", 0x2, 3}, {"USERNAME", 0x1, 3}, {"USER", 0x1, 3}, {"USERNAME", 0x1, 3},
    {"IFNULL", 0x4, 3},
    {"CURDATE", 0x2, 4}, {"CURTIME", 0x200, 4}, {"DAYNAME", 0x8000, 4}, {"DAYOFMONTH", 0x4, 4},
    {"DAYOFWEEK", 0x8, 4}, {"DAYOFYEAR", 0x10, 4}, {"HOUR", 0x400, 4}, {"MINUTE", 0x800, 4},
    {"MONTH", 0x20, 4}, {"MONTHNAME", 0x10000, 4}, {"NOW", 0x1, 4}, {"QUARTER", 0x40, 4},
    {"SECOND", 0x1000, 4}, {"TIMESTAMPADD", 0x2000, 4}, {"TIMESTAMPDIFF", 0x4000, 4},
    {"WEEK", 0x80, 4}, {"YEAR", 0x100, 4},
    {nullptr, 0, 0},
};

namespace {

const DrvConvRow kConvRows[] = {
    {1, 32767, 0x2A31FE}, {5, 0, 0x2821FE}, {4, 0, 0x2821FE}, {7, 0, 0x2821FE}, {8, 0, 0x2821FE},
    {10, 0, 0x282400},    {9, 0, 0x282200}, {11, 0, 0x282800}, {-2, 65533, 0x2A3000},
};

using Answer = InfoAnswer;

// Fixed answers of group 1, by item (kind bits cleared); `mark` sets the
// dynamic-cursor mark.
struct FixedItem {
    int32_t item;
    int32_t value;
    bool mark;
};

const FixedItem kFixedItems[] = {
    {DRV_CONN_UNASKED_MASK, 2818047, false},      {DRV_CONN_NEEDS_BIND, 1, false},
    {DRV_CONN_HAS_MORE_RESULTS, 1, false},        {DRV_CONN_HAS_PARAM_ARRAYS, 1, false},
    {DRV_CONN_SP_OUT_DEFER_FETCH, 0, false},      {DRV_CONN_HAS_SCROLL_CURSORS, 1, false},
    {DRV_CONN_LOCK_BY_UPDATE, 1, false},          {DRV_CONN_HAS_DYNAMIC_CURSORS, 1, true},
    {DRV_CONN_MAX_PARAMS, 255, false},            {DRV_CONN_HAS_V2_DAE, 0, false},
    {DRV_CONN_HAS_EXECUTE2, 1, false},            {DRV_CONN_XA_KEEP_WORKER, 0, false},
    {DRV_CONN_XA_END_WORKER, 1, false},
};

// Answers that read the connection: 0, 1 (not answered) or a JDBC error.
int CapabilityWord(DrvConn *c, Answer *a)
{
    c->capabilityMark = 1;
    a->number = c->options.noAutoCommit ? 13471 : 13727;
    return 0;
}

int RowVersions(DrvConn *c, Answer *a)
{
    a->number = c->options.cursorSensitivity == 1 ? 1 : 0;
    return 0;
}

int Utf8Text(DrvConn *c, Answer *a)
{
    a->number = !KRS_IsUnicodeBuild() || c->stringMode == STRMODE_UTF8 ? 1 : 0;
    return 0;
}

int CurrentCatalog(DrvConn *c, Answer *a)
{
    a->isText = true;
    if (jc_Connection_getCatalog(c, c->connection, a->text, sizeof a->text) != 0)
        a->text[0] = '\0';
    return 0;
}

int AutoCommit(DrvConn *c, Answer *a)
{
    uint8_t on = 0;
    int rc = jc_Connection_getAutoCommit(c, c->connection, &on);
    a->number = on ? 1 : 0;
    return rc;
}

int AccessMode(DrvConn *c, Answer *a)
{
    a->number = c->accessMode ? 1 : 0;
    return 0;
}

int Isolation(DrvConn *c, Answer *a)
{
    return jc_Connection_getTransactionIsolation(c, c->connection, &a->number);
}

struct ComputedItem {
    int32_t item;
    int (*answer)(DrvConn *, Answer *);
};

const ComputedItem kComputedItems[] = {
    {DRV_CONN_ROW_VERSIONS, RowVersions},       {DRV_CONN_CAPABILITY_WORD, CapabilityWord},
    {DRV_CONN_UTF8_TEXT, Utf8Text},             {DRV_CONN_CURRENT_CATALOG, CurrentCatalog},
    {DRV_CONN_AUTOCOMMIT, AutoCommit},          {DRV_CONN_ACCESS_MODE, AccessMode},
    {DRV_CONN_ISOLATION, Isolation},
};

// The fixed and computed items of group 1, then the information types.
int ConnectionItem(int handle, int item, int kind, void *buf, int16_t len, int16_t *outLen)
{
    DrvCall<DrvConn> op(handle);
    if (int rc = op.enter())
        return rc;
    DrvConn *c = op.get();
    Answer a;
    for (const FixedItem &f : kFixedItems) {
        if (f.item == item) {
            if (f.mark)
                c->capabilityMark = 1;
            a.number = f.value;
            return DeliverAnswer(a, kind, buf, len, outLen);
        }
    }
    for (const ComputedItem &ci : kComputedItems) {
        if (ci.item == item) {
            int rc = ci.answer(c, &a);
            return rc != 0 ? rc : DeliverAnswer(a, kind, buf, len, outLen);
        }
    }
    return DRV_MoreConnectionItems(c, item, kind, buf, len, outLen);
}

} // namespace

HashTable *BuildScalarFunctionMap()
{
    HashTable *map = HASH_Create(65, 0);
    if (!map)
        return nullptr;
    for (int i = 0; kScalarFunctions[i].name; ++i) {
        if (!HASH_Put(map, kScalarFunctions[i].name, static_cast<uint64_t>(i + 1))) {
            HASH_Free(map);
            return nullptr;
        }
    }
    return map;
}

int DRV_GetInfo(int handle, int code, void *buf, int16_t len, int16_t *outLen)
{
    int kind = DrvKindOf(code);
    int item = DrvItemOf(code);
    switch (DrvClassOf(code)) {
    case DRV_CLASS_ENV: {
        if (!HT_Lookup(&drvEnvTable, static_cast<uint32_t>(handle)))
            return ERR_INVALID_ARGUMENT;
        if (code != DrvText(DRV_ENV_BACKEND_NAME))
            return ERR_FUNCTION_NOT_SUPPORTED;
        Answer a;
        a.isText = true;
        strcpy(a.text, "jdbc");
        return DeliverAnswer(a, kind, buf, len, outLen);
    }
    case DRV_CLASS_CONN:
        if (DrvGroupOf(item) == DRV_CONN_TYPE_NAME) {
            if (!HT_Lookup(&drvConnTable, static_cast<uint32_t>(handle)))
                return ERR_INVALID_ARGUMENT;
            Answer a;
            a.Text(typeUsualName(static_cast<int16_t>(DrvNumberOf(item))));
            return DeliverAnswer(a, kind, buf, len, outLen);
        }
        return ConnectionItem(handle, item, kind, buf, len, outLen);
    case DRV_CLASS_STMT:
        return DRV_StatementItem(handle, item, kind, buf, len, outLen);
    default:
        return ERR_FUNCTION_NOT_SUPPORTED;
    }
}

int GetOpTable(int conn, void *request)
{
    auto *t = static_cast<DrvConvTable *>(request);
    if (!t || !HT_Lookup(&drvConnTable, static_cast<uint32_t>(conn)))
        return ERR_INVALID_ARGUMENT;
    if (t->type != 1)
        return ERR_NOT_CAPABLE;
    t->rowCount = static_cast<int32_t>(sizeof kConvRows / sizeof kConvRows[0]);
    t->rows = kConvRows;
    return 0;
}

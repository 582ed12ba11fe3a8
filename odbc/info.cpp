// SQLGetInfo with its per-connection cache.
#include "odbc/info.h"

#include <cstdlib>
#include <cstring>

#include "odbc/ctype.h"
#include "odbc/conn.h"
#include "odbc/dispatch.h"
#include "odbc/contract/drv_items.h"
#include "odbc/handles.h"
#include "odbc/info_cache.h"
#include "odbc/contract/textout.h"
#include "odbc/trace.h"

namespace {

constexpr int kWorkSize = 4096;

// How an information type is answered and kept.
enum InfoKind : int16_t {
    IK_TEXT,
    IK_SHORT,   // SQLUSMALLINT
    IK_INT,     // SQLUINTEGER
    IK_PTR,     // SQLULEN (handles and the library handle)
};

struct InfoType {
    SQLUSMALLINT type;
    InfoKind kind;
    bool cached;
    SQLUSMALLINT sharesSlotOf;  // 0, or the type whose cache slot this one uses
};

// Every type asked of the back end.
constexpr InfoType kInfoTypes[] = {
    // text
    {SQL_DRIVER_NAME, IK_TEXT, true, 0}, {SQL_DRIVER_VER, IK_TEXT, true, 0},
    {SQL_ODBC_VER, IK_TEXT, true, 0}, {SQL_ROW_UPDATES, IK_TEXT, true, 0},
    {SQL_SERVER_NAME, IK_TEXT, true, 0}, {SQL_SEARCH_PATTERN_ESCAPE, IK_TEXT, true, 0},
    {SQL_DATABASE_NAME, IK_TEXT, false, 0}, {SQL_DBMS_NAME, IK_TEXT, true, 0},
    {SQL_DBMS_VER, IK_TEXT, true, 0}, {SQL_ACCESSIBLE_TABLES, IK_TEXT, true, 0},
    {SQL_ACCESSIBLE_PROCEDURES, IK_TEXT, true, 0}, {SQL_PROCEDURES, IK_TEXT, true, 0},
    {SQL_DATA_SOURCE_READ_ONLY, IK_TEXT, true, 0}, {SQL_EXPRESSIONS_IN_ORDERBY, IK_TEXT, true, 0},
    {SQL_IDENTIFIER_QUOTE_CHAR, IK_TEXT, true, 0}, {SQL_MULT_RESULT_SETS, IK_TEXT, true, 0},
    {SQL_MULTIPLE_ACTIVE_TXN, IK_TEXT, true, 0}, {SQL_OUTER_JOINS, IK_TEXT, true, 0},
    {SQL_SCHEMA_TERM, IK_TEXT, true, 0}, {SQL_PROCEDURE_TERM, IK_TEXT, true, 0},
    {SQL_CATALOG_NAME_SEPARATOR, IK_TEXT, true, 0}, {SQL_CATALOG_TERM, IK_TEXT, true, 0},
    {SQL_TABLE_TERM, IK_TEXT, true, 0}, {SQL_USER_NAME, IK_TEXT, true, 0},
    {SQL_INTEGRITY, IK_TEXT, true, 0}, {SQL_COLUMN_ALIAS, IK_TEXT, true, 0},
    {SQL_KEYWORDS, IK_TEXT, true, 0}, {SQL_ORDER_BY_COLUMNS_IN_SELECT, IK_TEXT, true, 0},
    {SQL_SPECIAL_CHARACTERS, IK_TEXT, true, 0}, {SQL_MAX_ROW_SIZE_INCLUDES_LONG, IK_TEXT, true, 0},
    {SQL_NEED_LONG_DATA_LEN, IK_TEXT, true, 0}, {SQL_LIKE_ESCAPE_CLAUSE, IK_TEXT, true, 0},
    {SQL_XOPEN_CLI_YEAR, IK_TEXT, true, 0}, {SQL_DESCRIBE_PARAMETER, IK_TEXT, true, 0},
    {SQL_CATALOG_NAME, IK_TEXT, true, 0}, {SQL_COLLATION_SEQ, IK_TEXT, true, 0},
    // 16-bit
    {SQL_MAX_DRIVER_CONNECTIONS, IK_SHORT, true, 0}, {SQL_MAX_CONCURRENT_ACTIVITIES, IK_SHORT, true, 0},
    {SQL_ODBC_SAG_CLI_CONFORMANCE, IK_SHORT, true, 0}, {SQL_ODBC_SQL_CONFORMANCE, IK_SHORT, true, 0},
    {SQL_CONCAT_NULL_BEHAVIOR, IK_SHORT, true, 0}, {SQL_CURSOR_COMMIT_BEHAVIOR, IK_SHORT, true, 0},
    {SQL_CURSOR_ROLLBACK_BEHAVIOR, IK_SHORT, true, 0}, {SQL_IDENTIFIER_CASE, IK_SHORT, true, 0},
    {SQL_MAX_COLUMN_NAME_LEN, IK_SHORT, true, 0}, {SQL_MAX_CURSOR_NAME_LEN, IK_SHORT, true, 0},
    {SQL_MAX_SCHEMA_NAME_LEN, IK_SHORT, true, 0}, {SQL_MAX_PROCEDURE_NAME_LEN, IK_SHORT, true, 0},
    {SQL_MAX_CATALOG_NAME_LEN, IK_SHORT, true, 0}, {SQL_MAX_TABLE_NAME_LEN, IK_SHORT, true, 0},
    {SQL_TXN_CAPABLE, IK_SHORT, true, 0}, {SQL_CORRELATION_NAME, IK_SHORT, true, 0},
    {SQL_NON_NULLABLE_COLUMNS, IK_SHORT, true, 0}, {SQL_FILE_USAGE, IK_SHORT, true, 0},
    {SQL_NULL_COLLATION, IK_SHORT, true, 0}, {SQL_GROUP_BY, IK_SHORT, true, 0},
    {SQL_QUOTED_IDENTIFIER_CASE, IK_SHORT, true, 0}, {SQL_MAX_COLUMNS_IN_GROUP_BY, IK_SHORT, true, 0},
    {SQL_MAX_COLUMNS_IN_INDEX, IK_SHORT, true, 0}, {SQL_MAX_COLUMNS_IN_ORDER_BY, IK_SHORT, true, 0},
    {SQL_MAX_COLUMNS_IN_SELECT, IK_SHORT, true, 0}, {SQL_MAX_COLUMNS_IN_TABLE, IK_SHORT, true, 0},
    {SQL_MAX_TABLES_IN_SELECT, IK_SHORT, true, 0}, {SQL_MAX_USER_NAME_LEN, IK_SHORT, true, 0},
    {SQL_CATALOG_LOCATION, IK_SHORT, true, 0}, {SQL_ACTIVE_ENVIRONMENTS, IK_SHORT, true, 0},
    {SQL_MAX_IDENTIFIER_LEN, IK_SHORT, true, 0},
    // pointer-sized
    {SQL_DRIVER_HDBC, IK_PTR, true, 0}, {SQL_DRIVER_HENV, IK_PTR, true, 0},
    {SQL_DRIVER_HSTMT, IK_PTR, true, 0}, {SQL_DRIVER_HLIB, IK_PTR, true, 0},
    {SQL_DRIVER_HDESC, IK_PTR, true, 0},
    // 32-bit
    {SQL_FETCH_DIRECTION, IK_INT, true, 0}, {SQL_DEFAULT_TXN_ISOLATION, IK_INT, true, 0},
    {SQL_SCROLL_CONCURRENCY, IK_INT, true, 0}, {SQL_SCROLL_OPTIONS, IK_INT, true, 0},
    {SQL_CONVERT_FUNCTIONS, IK_INT, true, 0}, {SQL_NUMERIC_FUNCTIONS, IK_INT, true, 0},
    {SQL_STRING_FUNCTIONS, IK_INT, true, 0}, {SQL_SYSTEM_FUNCTIONS, IK_INT, true, 0},
    {SQL_TIMEDATE_FUNCTIONS, IK_INT, true, 0}, {SQL_TXN_ISOLATION_OPTION, IK_INT, true, 0},
    {SQL_LOCK_TYPES, IK_INT, true, 0}, {SQL_POS_OPERATIONS, IK_INT, true, 0},
    {SQL_POSITIONED_STATEMENTS, IK_INT, true, 0}, {SQL_GETDATA_EXTENSIONS, IK_INT, true, 0},
    {SQL_BOOKMARK_PERSISTENCE, IK_INT, true, 0}, {SQL_STATIC_SENSITIVITY, IK_INT, true, 0},
    {SQL_ALTER_TABLE, IK_INT, true, 0}, {SQL_SCHEMA_USAGE, IK_INT, true, 0},
    {SQL_CATALOG_USAGE, IK_INT, true, 0}, {SQL_SUBQUERIES, IK_INT, true, 0},
    {SQL_UNION, IK_INT, true, 0}, {SQL_MAX_INDEX_SIZE, IK_INT, true, 0},
    {SQL_MAX_ROW_SIZE, IK_INT, true, 0}, {SQL_MAX_STATEMENT_LEN, IK_INT, true, 0},
    {SQL_MAX_CHAR_LITERAL_LEN, IK_INT, true, 0}, {SQL_TIMEDATE_ADD_INTERVALS, IK_INT, true, 0},
    {SQL_TIMEDATE_DIFF_INTERVALS, IK_INT, true, 0}, {SQL_MAX_BINARY_LITERAL_LEN, IK_INT, true, 0},
    {SQL_OJ_CAPABILITIES, IK_INT, true, 0}, {65003, IK_INT, true, SQL_OJ_CAPABILITIES},
    {SQL_ALTER_DOMAIN, IK_INT, true, 0}, {SQL_SQL_CONFORMANCE, IK_INT, true, 0},
    {SQL_DATETIME_LITERALS, IK_INT, true, 0}, {SQL_BATCH_ROW_COUNT, IK_INT, true, 0},
    {SQL_BATCH_SUPPORT, IK_INT, true, 0}, {SQL_CONVERT_INTERVAL_DAY_TIME, IK_INT, true, 0},
    {SQL_CONVERT_INTERVAL_YEAR_MONTH, IK_INT, true, 0}, {SQL_CREATE_ASSERTION, IK_INT, true, 0},
    {SQL_CREATE_CHARACTER_SET, IK_INT, true, 0}, {SQL_CREATE_COLLATION, IK_INT, true, 0},
    {SQL_CREATE_DOMAIN, IK_INT, true, 0}, {SQL_CREATE_SCHEMA, IK_INT, true, 0},
    {SQL_CREATE_TABLE, IK_INT, true, 0}, {SQL_CREATE_TRANSLATION, IK_INT, true, 0},
    {SQL_CREATE_VIEW, IK_INT, true, 0}, {SQL_DROP_ASSERTION, IK_INT, true, 0},
    {SQL_DROP_CHARACTER_SET, IK_INT, true, 0}, {SQL_DROP_COLLATION, IK_INT, true, 0},
    {SQL_DROP_DOMAIN, IK_INT, true, 0}, {SQL_DROP_SCHEMA, IK_INT, true, 0},
    {SQL_DROP_TABLE, IK_INT, true, 0}, {SQL_DROP_TRANSLATION, IK_INT, true, 0},
    {SQL_DROP_VIEW, IK_INT, true, 0}, {SQL_DYNAMIC_CURSOR_ATTRIBUTES1, IK_INT, true, 0},
    {SQL_DYNAMIC_CURSOR_ATTRIBUTES2, IK_INT, true, 0},
    {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, IK_INT, true, 0},
    {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, IK_INT, true, 0}, {SQL_INDEX_KEYWORDS, IK_INT, true, 0},
    {SQL_INFO_SCHEMA_VIEWS, IK_INT, true, 0}, {SQL_KEYSET_CURSOR_ATTRIBUTES1, IK_INT, true, 0},
    {SQL_KEYSET_CURSOR_ATTRIBUTES2, IK_INT, true, 0},
    {SQL_ODBC_INTERFACE_CONFORMANCE, IK_INT, true, 0},
    {SQL_PARAM_ARRAY_ROW_COUNTS, IK_INT, true, 0}, {SQL_PARAM_ARRAY_SELECTS, IK_INT, true, 0},
    {SQL_SQL92_DATETIME_FUNCTIONS, IK_INT, true, 0},
    {SQL_SQL92_FOREIGN_KEY_DELETE_RULE, IK_INT, true, 0},
    {SQL_SQL92_FOREIGN_KEY_UPDATE_RULE, IK_INT, true, 0}, {SQL_SQL92_GRANT, IK_INT, true, 0},
    {SQL_SQL92_NUMERIC_VALUE_FUNCTIONS, IK_INT, true, 0}, {SQL_SQL92_PREDICATES, IK_INT, true, 0},
    {SQL_SQL92_RELATIONAL_JOIN_OPERATORS, IK_INT, true, 0}, {SQL_SQL92_REVOKE, IK_INT, true, 0},
    {SQL_SQL92_ROW_VALUE_CONSTRUCTOR, IK_INT, true, 0},
    {SQL_SQL92_STRING_FUNCTIONS, IK_INT, true, 0}, {SQL_SQL92_VALUE_EXPRESSIONS, IK_INT, true, 0},
    {SQL_STANDARD_CLI_CONFORMANCE, IK_INT, true, 0},
    {SQL_STATIC_CURSOR_ATTRIBUTES1, IK_INT, true, 0},
    {SQL_STATIC_CURSOR_ATTRIBUTES2, IK_INT, true, 0}, {SQL_AGGREGATE_FUNCTIONS, IK_INT, true, 0},
    {SQL_DDL_INDEX, IK_INT, true, 0}, {SQL_INSERT_STATEMENT, IK_INT, true, 0},
    {SQL_CURSOR_SENSITIVITY, IK_INT, true, 0}, {SQL_ASYNC_MODE, IK_INT, true, 0},
    {SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, IK_INT, true, 0},
};

const InfoType *FindInfoType(SQLUSMALLINT type)
{
    for (const InfoType &t : kInfoTypes)
        if (t.type == type)
            return &t;
    return nullptr;
}

// The cache array a kind is kept in: 0 texts, 1 shorts, 2 ints.
int Store(InfoKind k) { return k == IK_TEXT ? 0 : k == IK_SHORT ? 1 : 2; }

// The cache slot of a cached type: its place among the cached types of its
// store; -1 for a type that is not cached.
int SlotOf(const InfoType *t)
{
    if (t->sharesSlotOf)
        t = FindInfoType(t->sharesSlotOf);
    if (!t || !t->cached)
        return -1;
    int slot = 0;
    for (const InfoType &e : kInfoTypes) {
        if (&e == t)
            return slot;
        if (e.cached && !e.sharesSlotOf && Store(e.kind) == Store(t->kind))
            ++slot;
    }
    return -1;
}

constexpr int CountStore(int store)
{
    int n = 0;
    for (const InfoType &e : kInfoTypes)
        if (e.cached && !e.sharesSlotOf && (e.kind == IK_TEXT ? 0 : e.kind == IK_SHORT ? 1 : 2) == store)
            ++n;
    return n;
}
static_assert(CountStore(0) <= InfoCache::kTexts, "text slots");
static_assert(CountStore(1) <= InfoCache::kShorts, "16-bit slots");
static_assert(CountStore(2) <= InfoCache::kInts, "32-bit slots");

// The SQL_CONVERT types the handle layer answers from the conversion table:
// the mask for narrow callers, and the type and targets that must convert
// for it to be given (checkMask 0: always).
struct ConvertType {
    SQLUSMALLINT type;
    uint32_t mask;
    int16_t checkType;
    uint32_t checkMask;
};

constexpr uint32_t kNumericMask = 0x73FF;
constexpr uint32_t kWideTargets = SQL_CVT_WCHAR | SQL_CVT_WLONGVARCHAR | SQL_CVT_WVARCHAR;

const ConvertType kConvertTypes[] = {
    {SQL_CONVERT_BIGINT, kNumericMask, 0, 0},      {SQL_CONVERT_BIT, kNumericMask, 0, 0},
    {SQL_CONVERT_CHAR, kNumericMask, 0, 0},        {SQL_CONVERT_DECIMAL, kNumericMask, 0, 0},
    {SQL_CONVERT_DOUBLE, kNumericMask, 0, 0},      {SQL_CONVERT_FLOAT, kNumericMask, 0, 0},
    {SQL_CONVERT_INTEGER, kNumericMask, 0, 0},     {SQL_CONVERT_LONGVARCHAR, kNumericMask, 0, 0},
    {SQL_CONVERT_NUMERIC, kNumericMask, 0, 0},     {SQL_CONVERT_REAL, kNumericMask, 0, 0},
    {SQL_CONVERT_SMALLINT, kNumericMask, 0, 0},    {SQL_CONVERT_TINYINT, kNumericMask, 0, 0},
    {SQL_CONVERT_VARCHAR, kNumericMask, 0, 0},     {SQL_CONVERT_WCHAR, kNumericMask, 0, 0},
    {SQL_CONVERT_WLONGVARCHAR, kNumericMask, 0, 0}, {SQL_CONVERT_WVARCHAR, kNumericMask, 0, 0},
    {SQL_CONVERT_DATE, 0x28301, SQL_DATE, 0x200},
    {SQL_CONVERT_TIME, 0x30301, SQL_TIME, 0x400},
    {SQL_CONVERT_TIMESTAMP, 0x38301, SQL_TIMESTAMP, 0x800},
    {SQL_CONVERT_BINARY, 0x40F01, SQL_BINARY, 0xFFFFFFFFu},
    {SQL_CONVERT_VARBINARY, 0x40F01, SQL_BINARY, 0xFFFFFFFFu},
    {SQL_CONVERT_LONGVARBINARY, 0x40F01, SQL_BINARY, 0xFFFFFFFFu},
};

const ConvertType *FindConvertType(SQLUSMALLINT type)
{
    for (const ConvertType &c : kConvertTypes)
        if (c.type == type)
            return &c;
    return nullptr;
}

// ---- writing one answer ----

// A number answer at the width of T (SQLUSMALLINT, SQLUINTEGER or SQLULEN);
// its width in bytes is the length.
template <class T>
SQLRETURN PutNumber(SQLPOINTER buf, SQLSMALLINT *outLen, T v)
{
    if (buf)
        std::memcpy(buf, &v, sizeof v);
    if (outLen)
        *outLen = sizeof v;
    return SQL_SUCCESS;
}

// A text answer (UTF-16 for 'W', lengths in bytes): 01004 when cut, HY090
// for a negative length.
SQLRETURN PutStr(Conn *conn, const char *text, SQLPOINTER buf, SQLSMALLINT bufLen,
                 SQLSMALLINT *outLen, int width)
{
    return TXT_Post(&conn->diag, TXT_Put(text, TXT_Out(width, TC_BYTES, buf, bufLen, outLen)));
}

SQLRETURN PutConvert(Conn *conn, const ConvertType &c, SQLPOINTER buf, SQLSMALLINT *outLen,
                     int width)
{
    uint32_t mask = c.mask;
    if (c.checkMask && !ConnConvertSupported(conn, c.checkType, c.checkMask))
        mask = 0;
    if (mask && width == 'W')
        mask |= kWideTargets;
    return PutNumber<uint32_t>(buf, outLen, mask);
}

// Stores a back-end failure: 1 (not answered) is an unknown type.
SQLRETURN BackendFailed(Conn *conn, int rc)
{
    conn->diag.errNum = rc == ERR_FUNCTION_NOT_SUPPORTED ? ERR_INFORMATION_TYPE_RANGE : rc;
    ConnFetchMessages(conn, nullptr);
    return SQL_ERROR;
}

SQLRETURN TextType(Conn *conn, const InfoType &t, SQLPOINTER buf, SQLSMALLINT bufLen,
                   SQLSMALLINT *outLen, int width)
{
    InfoCache &cache = conn->infoCache;
    int slot = SlotOf(&t);
    if (slot >= 0 && cache.texts[slot])
        return PutStr(conn, cache.texts[slot], buf, bufLen, outLen, width);
    char *work = static_cast<char *>(std::calloc(kWorkSize, 1));
    if (!work) {
        conn->diag.errNum = ERR_MEMORY_ALLOCATION;
        return SQL_ERROR;
    }
    int16_t len = 0;
    int rc = conn->binding.ops->GetInfo(static_cast<int>(conn->drvConn), DrvText(DrvConnInfo(t.type)), work,
                                        kWorkSize, &len);
    if (rc != 0) {
        std::free(work);
        return BackendFailed(conn, rc);
    }
    work[kWorkSize - 1] = '\0';
    SQLRETURN r = PutStr(conn, work, buf, bufLen, outLen, width);
    if (slot >= 0)
        cache.texts[slot] = work;
    else
        std::free(work);
    return r;
}

// Cursor capabilities as the statement engine has them: the back end
// describes what JDBC result sets can do with a scrolling cursor layer above
// them, but this driver's cursors are forward-only or, where the cursor
// library serves the connection, static, keyset-driven (which see other
// users' updates and deletions), mixed (keyset-driven with a key window) or
// dynamic (which also see other users' insertions; they move by NEXT, FIRST,
// LAST, PRIOR and RELATIVE, not to absolute rows).  Static and keyset-driven
// cursors have bookmarks and take SQLSetPos's POSITION and REFRESH;
// keyset-driven, mixed, dynamic and static ones also take lock and values
// concurrency, and with them SQLSetPos's UPDATE, DELETE and ADD; keyset-driven
// and static ones SQLBulkOperations by bookmark too (dynamic cursors keep no
// bookmarks; a static cursor keeps showing the rows as it read them, so it
// claims no sensitivity).  Each listed type keeps only the bits of its mask;
// what a scrolling cursor of each type does (its attributes 1) is the
// cursor library's to say, whatever the back end answers for its own.
struct CursorLimit {
    SQLUSMALLINT type;
    uint32_t forwardOnly;   // the connection's cursors cannot scroll
    uint32_t scrolling;     // static cursors scroll
    bool served = false;    // with scrolling cursors the answer is the mask itself
};

constexpr uint32_t kCa2ReadOnly = SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_MAX_ROWS_SELECT | SQL_CA2_MAX_ROWS_INSERT |
                                  SQL_CA2_MAX_ROWS_DELETE | SQL_CA2_MAX_ROWS_UPDATE | SQL_CA2_MAX_ROWS_CATALOG |
                                  SQL_CA2_MAX_ROWS_AFFECTS_ALL | SQL_CA2_CRC_EXACT | SQL_CA2_CRC_APPROXIMATE;
// Keyset-driven cursors also lock their rows or read their values for
// optimistic concurrency.
constexpr uint32_t kCa2Keyset = kCa2ReadOnly | SQL_CA2_SENSITIVITY_DELETIONS | SQL_CA2_SENSITIVITY_UPDATES |
                                SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY;
// Dynamic cursors lock their rows or read their values as keyset-driven
// ones do, and see other users' additions too.
constexpr uint32_t kCa2Dynamic = kCa2Keyset | SQL_CA2_SENSITIVITY_ADDITIONS;
constexpr uint32_t kScrollDirections = SQL_FD_FETCH_NEXT | SQL_FD_FETCH_FIRST | SQL_FD_FETCH_LAST |
                                       SQL_FD_FETCH_PRIOR | SQL_FD_FETCH_ABSOLUTE | SQL_FD_FETCH_RELATIVE |
                                       SQL_FD_FETCH_BOOKMARK;
constexpr uint32_t kStaticCa1 = SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK |
                                SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION | SQL_CA1_POS_REFRESH;
constexpr uint32_t kKeysetCa1 = kStaticCa1 | SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE;
// Static cursors under lock or values concurrency change their rows too.
constexpr uint32_t kStaticKeyedCa1 = kStaticCa1 | SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE;
constexpr uint32_t kCa2Static = kCa2ReadOnly | SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY;
// Dynamic cursors: no absolute rows, no bookmarks.
constexpr uint32_t kDynamicCa1 = SQL_CA1_NEXT | SQL_CA1_RELATIVE | SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION |
                                 SQL_CA1_POS_REFRESH | SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE;

constexpr CursorLimit kCursorLimits[] = {
    {SQL_SCROLL_OPTIONS, SQL_SO_FORWARD_ONLY,
     SQL_SO_FORWARD_ONLY | SQL_SO_STATIC | SQL_SO_KEYSET_DRIVEN | SQL_SO_DYNAMIC | SQL_SO_MIXED},
    {SQL_FETCH_DIRECTION, SQL_FD_FETCH_NEXT, kScrollDirections},
    {SQL_SCROLL_CONCURRENCY, SQL_SCCO_READ_ONLY, SQL_SCCO_READ_ONLY | SQL_SCCO_LOCK | SQL_SCCO_OPT_VALUES},
    {SQL_LOCK_TYPES, 0, SQL_LCK_NO_CHANGE},
    {SQL_POS_OPERATIONS, 0, SQL_POS_POSITION | SQL_POS_REFRESH | SQL_POS_UPDATE | SQL_POS_DELETE | SQL_POS_ADD},
    {SQL_BOOKMARK_PERSISTENCE, 0, SQL_BP_SCROLL},
    {SQL_STATIC_SENSITIVITY, 0, 0},
    {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, SQL_CA1_NEXT, SQL_CA1_NEXT},
    {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, kCa2ReadOnly, kCa2ReadOnly},
    {SQL_KEYSET_CURSOR_ATTRIBUTES1, 0, kKeysetCa1, true},
    {SQL_KEYSET_CURSOR_ATTRIBUTES2, 0, kCa2Keyset},
    {SQL_DYNAMIC_CURSOR_ATTRIBUTES1, 0, kDynamicCa1, true},
    {SQL_DYNAMIC_CURSOR_ATTRIBUTES2, 0, kCa2Dynamic},
    {SQL_STATIC_CURSOR_ATTRIBUTES1, 0, kStaticKeyedCa1, true},
    {SQL_STATIC_CURSOR_ATTRIBUTES2, 0, kCa2Static},
};

int32_t LimitCursorCapability(const Conn *conn, SQLUSMALLINT type, int32_t v)
{
    for (const CursorLimit &l : kCursorLimits) {
        if (l.type != type)
            continue;
        const bool scrolls = ConnScrollCursorsBuilt(conn);
        if (scrolls && l.served)
            return static_cast<int32_t>(l.scrolling);
        return static_cast<int32_t>(static_cast<uint32_t>(v) & (scrolls ? l.scrolling : l.forwardOnly));
    }
    return v;
}

SQLRETURN NumberType(Conn *conn, const InfoType &t, SQLPOINTER buf, SQLSMALLINT *outLen)
{
    InfoCache &cache = conn->infoCache;
    int slot = SlotOf(&t);
    int32_t v = 0;
    bool have = false;
    if (slot >= 0 && t.kind == IK_SHORT && cache.shortSet[slot]) {
        v = cache.shorts[slot];
        have = true;
    } else if (slot >= 0 && t.kind != IK_SHORT && cache.intSet[slot]) {
        v = cache.ints[slot];
        have = true;
    }
    if (!have) {
        int16_t len = 0;
        int rc = conn->binding.ops->GetInfo(static_cast<int>(conn->drvConn), DrvInt(DrvConnInfo(t.type)), &v,
                                            sizeof v, &len);
        if (rc != 0)
            return BackendFailed(conn, rc);
        if (slot >= 0 && t.kind == IK_SHORT) {
            cache.shorts[slot] = static_cast<uint16_t>(v);
            cache.shortSet[slot] = 1;
        } else if (slot >= 0) {
            cache.ints[slot] = v;
            cache.intSet[slot] = 1;
        }
    }
    v = LimitCursorCapability(conn, t.type, v);
    switch (t.kind) {
    case IK_SHORT: return PutNumber<uint16_t>(buf, outLen, static_cast<uint16_t>(v));
    case IK_PTR: return PutNumber<SQLULEN>(buf, outLen, static_cast<uint32_t>(v));
    default: return PutNumber<uint32_t>(buf, outLen, static_cast<uint32_t>(v));
    }
}

} // namespace

void InfoCacheReset(InfoCache *cache)
{
    for (char *&t : cache->texts) {
        std::free(t);
        t = nullptr;
    }
    std::memset(cache->intSet, 0, sizeof cache->intSet);
    std::memset(cache->shortSet, 0, sizeof cache->shortSet);
}

int ConnConvertSupported(const Conn *conn, int16_t sqlType, uint32_t mask)
{
    const DrvConvTable &table = conn->convTable;
    if (table.type != 1 || !table.rows)
        return 0;
    int version = conn->env && conn->env->odbcVersion == 3 ? 3 : 2;
    int16_t cType = DefaultCType(sqlType, version);
    // A table that lists only the ODBC 2 date-time codes still answers an
    // ODBC 3 application.
    int16_t fallback = cType >= SQL_TYPE_DATE && cType <= SQL_TYPE_TIMESTAMP
                           ? static_cast<int16_t>(cType - (SQL_TYPE_DATE - SQL_DATE))
                           : cType;
    for (int16_t wanted : {cType, fallback}) {
        for (int32_t i = 0; i < table.rowCount; ++i) {
            if (table.rows[i].sqlType == wanted)
                return (table.rows[i].mask & mask) != 0 ? 1 : 0;
        }
    }
    return 0;
}

SQLRETURN CN_GetInfo(Conn *conn, SQLUSMALLINT type, SQLPOINTER buf, SQLSMALLINT bufLen,
                     SQLSMALLINT *outLen, int width)
{
    switch (type) {
    case SQL_DATA_SOURCE_NAME:
        return PutStr(conn, conn->dsn ? conn->dsn : "", buf, bufLen, outLen, width);
    case SQL_ODBC_API_CONFORMANCE:
        return PutNumber<uint16_t>(buf, outLen, SQL_OAC_LEVEL1);
    case SQL_DRIVER_ODBC_VER:
        return PutStr(conn, "03.50", buf, bufLen, outLen, width);
    case SQL_DTC_TRANSITION_COST:
        return PutNumber<uint32_t>(buf, outLen,
                                   SQL_DTC_ENLIST_EXPENSIVE | SQL_DTC_UNENLIST_EXPENSIVE);
    default:
        break;
    }
    if (const ConvertType *c = FindConvertType(type); c && !conn->cn_infoCap)
        return PutConvert(conn, *c, buf, outLen, width);
    if (conn->state != CONN_CONNECTED || !conn->binding.ops || !conn->binding.ops->GetInfo) {
        conn->diag.errNum = ERR_CONNECTION_NOT_OPEN;
        return SQL_ERROR;
    }
    const InfoType *t = FindInfoType(type);
    InfoType convert{type, IK_INT, true, 0};
    if (!t && FindConvertType(type)) {
        // The back end answers the SQL_CONVERT types itself; they are kept in
        // no slot of their own.
        convert.cached = false;
        t = &convert;
    }
    if (!t) {
        conn->diag.errNum = ERR_INFORMATION_TYPE_RANGE;
        return SQL_ERROR;
    }
    if (t->kind == IK_TEXT)
        return TextType(conn, *t, buf, bufLen, outLen, width);
    return NumberType(conn, *t, buf, outLen);
}

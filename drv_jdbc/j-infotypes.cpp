// The ODBC information types answered from the connection's
// DatabaseMetaData, and the statement items of DRV_GetInfo.
#include "drv_jdbc/j-infotypes.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "drv_jdbc/j-call.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-info.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap.h"
#include "odbc/contract/drv_items.h"
#include "drv_jdbc/j-wrap-dbmd.h"
#include "odbc/contract/flavour.h"
#include "odbc/contract/rowblock.h"
#include "util/hash.h"

namespace {

using Answer = InfoAnswer;

// ---- the rules of the information types ----

// A DatabaseMetaData boolean and what it contributes.
struct MethodValue {
    const char *method;
    int32_t value;
};

enum RuleKind : uint8_t {
    R_INT,      // the fixed number `value`
    R_TEXT,     // the fixed text
    R_MINT,     // the int method as it answers
    R_MTEXT,    // the String method
    R_MYN,      // the boolean method: "Y" for true (value 1: "N" for true)
    R_MBOOL,    // the boolean method: true `value`, false `other`
    R_FIRST,    // the value of the first list method that answers true, else `value`
    R_OR,       // the OR of the values of the list methods that answer true
    R_SPECIAL,  // the rule's own routine
};

struct InfoRule {
    uint16_t type;
    RuleKind kind;
    const char *text;  // fixed text or method name
    int32_t value;
    int32_t other;
    const MethodValue *list;  // ends with a null method
    int (*special)(DrvConn *c, const InfoRule &r, Answer *a);
};

int CallString(DrvConn *c, const char *method, Answer *a)
{
    a->isText = true;
    return jc_DatabaseMetaData_callString(c, c->metaData, method, a->text, sizeof a->text);
}

int CallBool(DrvConn *c, const char *method, bool *out)
{
    uint8_t v = 0;
    int rc = jc_DatabaseMetaData_callBoolean(c, c->metaData, method, &v);
    *out = v != 0;
    return rc;
}

int MaxActivities(DrvConn *c, const InfoRule &, Answer *a)
{
    if (c->oneStmtEmulation) {
        a->number = 0;
        return 0;
    }
    return jc_DatabaseMetaData_callInt(c, c->metaData, "getMaxStatements", &a->number);
}

int DriverName(DrvConn *, const InfoRule &, Answer *a)
{
    a->Text(KRS_IsUnicodeBuild() ? "quorvexw.dll" : "quorvexa.dll");
    return 0;
}

int SearchEscape(DrvConn *c, const InfoRule &, Answer *a)
{
    if (c->options.noSearchEscape) {
        a->Text("");
        return 0;
    }
    return CallString(c, "getSearchStringEscape", a);
}

int DbmsName(DrvConn *c, const InfoRule &, Answer *a)
{
    if (c->options.sqlDbmsName && *c->options.sqlDbmsName) {
        a->Text(c->options.sqlDbmsName);
        return 0;
    }
    return CallString(c, "getDatabaseProductName", a);
}

int QuoteChar(DrvConn *c, const InfoRule &, Answer *a)
{
    if (c->options.jNoQuotedIdent) {
        a->Text(" ");
        return 0;
    }
    return CallString(c, "getIdentifierQuoteString", a);
}

int ScrollOptions(DrvConn *c, const InfoRule &, Answer *a)
{
    a->number = infoSensitivityFlags(c);
    return 0;
}

int FunctionList(DrvConn *c, const InfoRule &r, Answer *a)
{
    Answer list;
    int rc = CallString(c, r.text, &list);
    if (rc != 0)
        return rc;
    a->number = static_cast<int32_t>(parseScalarFunctions(list.text, c->scalarFunctions, r.value));
    return 0;
}

int ConvertTargets(DrvConn *c, const InfoRule &r, Answer *a)
{
    int error = 0;
    a->number = static_cast<int32_t>(convertMask(c, &error, r.value));
    return error;
}

int IsolationOptions(DrvConn *c, const InfoRule &, Answer *a)
{
    a->number = 0;
    for (int32_t level : {8, 4, 2, 1}) {
        uint8_t yes = 0;
        int rc = jc_DatabaseMetaData_supportsTransactionIsolationLevel(c, c->metaData, &yes, level);
        if (rc != 0)
            return rc;
        if (yes)
            a->number |= level;
    }
    return 0;
}

#define MV(m, v) {m, v}
#define END {nullptr, 0}

const MethodValue kSqlConformance[] = {MV("supportsExtendedSQLGrammar", 2),
                                       MV("supportsCoreSQLGrammar", 1), END};
const MethodValue kCommit[] = {MV("supportsOpenCursorsAcrossCommit", 2),
                               MV("supportsOpenStatementsAcrossCommit", 1), END};
const MethodValue kRollback[] = {MV("supportsOpenCursorsAcrossRollback", 2),
                                 MV("supportsOpenStatementsAcrossRollback", 1), END};
const MethodValue kIdentifierCase[] = {
    MV("storesUpperCaseIdentifiers", 1), MV("storesLowerCaseIdentifiers", 2),
    MV("storesMixedCaseIdentifiers", 4), MV("supportsMixedCaseIdentifiers", 3), END};
const MethodValue kTxnCapable[] = {
    MV("dataDefinitionIgnoredInTransactions", 4), MV("dataDefinitionCausesTransactionCommit", 3),
    MV("supportsDataDefinitionAndDataManipulationTransactions", 2),
    MV("supportsDataManipulationTransactionsOnly", 1), END};
const MethodValue kPositioned[] = {MV("supportsPositionedDelete", 1),
                                   MV("supportsPositionedUpdate", 2),
                                   MV("supportsSelectForUpdate", 4), END};
const MethodValue kFileUsage[] = {MV("usesLocalFiles", 2), MV("usesLocalFilePerTable", 1), END};
const MethodValue kNullCollation[] = {MV("nullsAreSortedAtEnd", 4), MV("nullsAreSortedAtStart", 2),
                                      MV("nullsAreSortedLow", 1), END};
const MethodValue kAlterTable[] = {MV("supportsAlterTableWithDropColumn", 2),
                                   MV("supportsAlterTableWithAddColumn", 1), END};
const MethodValue kGroupBy[] = {MV("supportsGroupByUnrelated", 3),
                                MV("supportsGroupByBeyondSelect", 2), MV("supportsGroupBy", 1), END};
const MethodValue kSchemaUsage[] = {
    MV("supportsSchemasInDataManipulation", 1), MV("supportsSchemasInProcedureCalls", 2),
    MV("supportsSchemasInTableDefinitions", 4), MV("supportsSchemasInIndexDefinitions", 8),
    MV("supportsSchemasInPrivilegeDefinitions", 16), END};
const MethodValue kCatalogUsage[] = {
    MV("supportsCatalogsInDataManipulation", 1), MV("supportsCatalogsInProcedureCalls", 2),
    MV("supportsCatalogsInTableDefinitions", 4), MV("supportsCatalogsInIndexDefinitions", 8),
    MV("supportsCatalogsInPrivilegeDefinitions", 16), END};
const MethodValue kQuotedCase[] = {MV("storesMixedCaseQuotedIdentifiers", 4),
                                   MV("storesLowerCaseQuotedIdentifiers", 2),
                                   MV("storesUpperCaseQuotedIdentifiers", 1), END};
const MethodValue kSubqueries[] = {
    MV("supportsCorrelatedSubqueries", 16), MV("supportsSubqueriesInQuantifieds", 8),
    MV("supportsSubqueriesInIns", 4), MV("supportsSubqueriesInExists", 2),
    MV("supportsSubqueriesInComparisons", 1), END};
const MethodValue kUnion[] = {MV("supportsUnionAll", 2), MV("supportsUnion", 1), END};
const MethodValue kOuterJoins[] = {MV("supportsFullOuterJoins", 63),
                                   MV("supportsLimitedOuterJoins", 51), END};
const MethodValue kAnsiConformance[] = {MV("supportsANSI92FullSQL", 8),
                                        MV("supportsANSI92IntermediateSQL", 4),
                                        MV("supportsANSI92EntryLevelSQL", 1), END};

#define FIXED(t, v) {t, R_INT, nullptr, v, 0, nullptr, nullptr}
#define TEXT(t, s) {t, R_TEXT, s, 0, 0, nullptr, nullptr}
#define MINT(t, m) {t, R_MINT, m, 0, 0, nullptr, nullptr}
#define MTEXT(t, m) {t, R_MTEXT, m, 0, 0, nullptr, nullptr}
#define MYN(t, m) {t, R_MYN, m, 0, 0, nullptr, nullptr}
#define MNY(t, m) {t, R_MYN, m, 1, 0, nullptr, nullptr}
#define MBOOL(t, m, yes, no) {t, R_MBOOL, m, yes, no, nullptr, nullptr}
#define FIRST(t, l, dflt) {t, R_FIRST, nullptr, dflt, 0, l, nullptr}
#define ORED(t, l) {t, R_OR, nullptr, 0, 0, l, nullptr}
#define SPECIAL(t, f) {t, R_SPECIAL, nullptr, 0, 0, nullptr, f}
#define SPECIALV(t, f, m, v) {t, R_SPECIAL, m, v, 0, nullptr, f}

const InfoRule kInfoRules[] = {
    MINT(0, "getMaxConnections"),
    SPECIAL(1, MaxActivities),
    TEXT(2, " "),
    FIXED(3, 0), FIXED(4, 0), FIXED(5, 0),
    SPECIAL(6, DriverName),
    TEXT(7, "1.0"),
    FIXED(8, 191),
    FIXED(9, 1),
    TEXT(10, "03.50.0000"),
    TEXT(11, "N"),
    FIXED(12, 1),
    MTEXT(13, "getDatabaseProductName"),
    SPECIAL(14, SearchEscape),
    FIRST(15, kSqlConformance, 0),
    TEXT(16, ""),
    SPECIAL(17, DbmsName),
    MTEXT(18, "getDatabaseProductVersion"),
    MYN(19, "allTablesAreSelectable"),
    MYN(20, "allProceduresAreCallable"),
    MYN(21, "supportsStoredProcedures"),
    MBOOL(22, "nullPlusNonNullIsNull", 0, 1),
    FIRST(23, kCommit, 0),
    FIRST(24, kRollback, 0),
    MYN(25, "isReadOnly"),
    MINT(26, "getDefaultTransactionIsolation"),
    MYN(27, "supportsExpressionsInOrderBy"),
    FIRST(28, kIdentifierCase, 0),
    SPECIAL(29, QuoteChar),
    MINT(30, "getMaxColumnNameLength"),
    MINT(31, "getMaxCursorNameLength"),
    MINT(32, "getMaxSchemaNameLength"),
    MINT(33, "getMaxProcedureNameLength"),
    MINT(34, "getMaxCatalogNameLength"),
    MINT(35, "getMaxTableNameLength"),
    MYN(36, "supportsMultipleResultSets"),
    MYN(37, "supportsMultipleTransactions"),
    MYN(38, "supportsOuterJoins"),
    MTEXT(39, "getSchemaTerm"),
    MTEXT(40, "getProcedureTerm"),
    MTEXT(41, "getCatalogSeparator"),
    MTEXT(42, "getCatalogTerm"),
    FIXED(43, 11),
    SPECIAL(44, ScrollOptions),
    TEXT(45, "Table"),
    FIRST(46, kTxnCapable, 0),
    MTEXT(47, "getUserName"),
    MBOOL(48, "supportsConvert", 1, 0),
    SPECIALV(49, FunctionList, "getNumericFunctions", 1),
    SPECIALV(50, FunctionList, "getStringFunctions", 2),
    SPECIALV(51, FunctionList, "getSystemFunctions", 3),
    SPECIALV(52, FunctionList, "getTimeDateFunctions", 4),
    SPECIALV(53, ConvertTargets, nullptr, SQL_BIGINT),
    SPECIALV(54, ConvertTargets, nullptr, SQL_BINARY),
    SPECIALV(55, ConvertTargets, nullptr, SQL_BIT),
    SPECIALV(56, ConvertTargets, nullptr, SQL_CHAR),
    SPECIALV(57, ConvertTargets, nullptr, SQL_TYPE_DATE),
    SPECIALV(58, ConvertTargets, nullptr, SQL_DECIMAL),
    SPECIALV(59, ConvertTargets, nullptr, SQL_DOUBLE),
    SPECIALV(60, ConvertTargets, nullptr, SQL_FLOAT),
    SPECIALV(61, ConvertTargets, nullptr, SQL_INTEGER),
    SPECIALV(62, ConvertTargets, nullptr, SQL_LONGVARCHAR),
    SPECIALV(63, ConvertTargets, nullptr, SQL_NUMERIC),
    SPECIALV(64, ConvertTargets, nullptr, SQL_REAL),
    SPECIALV(65, ConvertTargets, nullptr, SQL_SMALLINT),
    SPECIALV(66, ConvertTargets, nullptr, SQL_TYPE_TIME),
    SPECIALV(67, ConvertTargets, nullptr, SQL_TYPE_TIMESTAMP),
    SPECIALV(68, ConvertTargets, nullptr, SQL_TINYINT),
    SPECIALV(69, ConvertTargets, nullptr, SQL_VARBINARY),
    SPECIALV(70, ConvertTargets, nullptr, SQL_VARCHAR),
    SPECIALV(71, ConvertTargets, nullptr, SQL_LONGVARBINARY),
    SPECIAL(72, IsolationOptions),
    MYN(73, "supportsIntegrityEnhancementFacility"),
    MBOOL(74, "supportsTableCorrelationNames", 2, 0),
    MBOOL(75, "supportsNonNullableColumns", 1, 0),
    FIXED(76, 0),
    TEXT(77, "03.50"),
    FIXED(78, 1),
    FIXED(79, 31),
    ORED(80, kPositioned),
    FIXED(81, 7),
    FIXED(82, 74),
    FIXED(83, 0),
    FIRST(84, kFileUsage, 0),
    FIRST(85, kNullCollation, 0),
    ORED(86, kAlterTable),
    MYN(87, "supportsColumnAliasing"),
    FIRST(88, kGroupBy, 0),
    MTEXT(89, "getSQLKeywords"),
    MNY(90, "supportsOrderByUnrelated"),
    ORED(91, kSchemaUsage),
    ORED(92, kCatalogUsage),
    FIRST(93, kQuotedCase, 3),
    MTEXT(94, "getExtraNameCharacters"),
    ORED(95, kSubqueries),
    ORED(96, kUnion),
    MINT(97, "getMaxColumnsInGroupBy"),
    MINT(98, "getMaxColumnsInIndex"),
    MINT(99, "getMaxColumnsInOrderBy"),
    MINT(100, "getMaxColumnsInSelect"),
    MINT(101, "getMaxColumnsInTable"),
    MINT(102, "getMaxIndexLength"),
    MYN(103, "doesMaxRowSizeIncludeBlobs"),
    MINT(104, "getMaxRowSize"),
    MINT(105, "getMaxStatementLength"),
    MINT(106, "getMaxTablesInSelect"),
    MINT(107, "getMaxUserNameLength"),
    MINT(108, "getMaxCharLiteralLength"),
    FIXED(109, 0), FIXED(110, 0),
    TEXT(111, "Y"),
    MINT(112, "getMaxBinaryLiteralLength"),
    MYN(113, "supportsLikeEscapeClause"),
    MBOOL(114, "isCatalogAtStart", 1, 2),
    FIRST(115, kOuterJoins, 0),
    FIRST(65003, kOuterJoins, 0),
    FIXED(116, 1),
    FIXED(117, 0),
    FIRST(118, kAnsiConformance, 0),
    FIXED(119, 0), FIXED(120, 0), FIXED(121, 0), FIXED(122, 0), FIXED(123, 0), FIXED(124, 0),
    FIXED(125, 0), FIXED(126, 0), FIXED(127, 0), FIXED(128, 0), FIXED(129, 0), FIXED(130, 0),
    FIXED(131, 0), FIXED(132, 0), FIXED(133, 0), FIXED(134, 0), FIXED(135, 0), FIXED(136, 0),
    FIXED(137, 0), FIXED(138, 0), FIXED(139, 0), FIXED(140, 0), FIXED(141, 0), FIXED(142, 0),
    FIXED(143, 0),
    FIXED(144, 7749), FIXED(145, 24827),
    FIXED(146, 7745), FIXED(147, 20611),
    FIXED(148, 0), FIXED(149, 0),
    FIXED(150, 7759), FIXED(151, 20715),
    FIXED(152, 1),
    FIXED(153, 2),
    FIXED(154, 1),
    FIXED(155, 0), FIXED(156, 0), FIXED(157, 0), FIXED(158, 0), FIXED(159, 0), FIXED(160, 0),
    FIXED(161, 0), FIXED(162, 0),
    FIXED(163, 9),
    FIXED(164, 0), FIXED(165, 0), FIXED(166, 0),
    FIXED(167, 1615), FIXED(168, 20619),
    FIXED(169, 64),
    FIXED(170, 0),
    FIXED(172, 7),
    TEXT(10000, ""),
    FIXED(10001, 0),
    TEXT(10002, "Y"),
    TEXT(10003, "Y"),
    TEXT(10004, ""),
    FIXED(10005, 30),
    FIXED(10021, 2),
    FIXED(10022, 0),
};

const InfoRule *FindRule(int type)
{
    for (const InfoRule &r : kInfoRules)
        if (r.type == type)
            return &r;
    return nullptr;
}

int Apply(DrvConn *c, const InfoRule &r, Answer *a)
{
    bool yes = false;
    int rc = 0;
    switch (r.kind) {
    case R_INT:
        a->number = r.value;
        return 0;
    case R_TEXT:
        a->Text(r.text);
        return 0;
    case R_MINT:
        return jc_DatabaseMetaData_callInt(c, c->metaData, r.text, &a->number);
    case R_MTEXT:
        return CallString(c, r.text, a);
    case R_MYN:
        if ((rc = CallBool(c, r.text, &yes)) != 0)
            return rc;
        a->Text(yes != (r.value == 1) ? "Y" : "N");
        return 0;
    case R_MBOOL:
        if ((rc = CallBool(c, r.text, &yes)) != 0)
            return rc;
        a->number = yes ? r.value : r.other;
        return 0;
    case R_FIRST:
        a->number = r.value;
        for (const MethodValue *m = r.list; m->method; ++m) {
            if ((rc = CallBool(c, m->method, &yes)) != 0)
                return rc;
            if (yes) {
                a->number = m->value;
                return 0;
            }
        }
        return 0;
    case R_OR:
        a->number = 0;
        for (const MethodValue *m = r.list; m->method; ++m) {
            if ((rc = CallBool(c, m->method, &yes)) != 0)
                return rc;
            if (yes)
                a->number |= m->value;
        }
        return 0;
    case R_SPECIAL:
        return r.special(c, r, a);
    }
    return ERR_FUNCTION_NOT_SUPPORTED;
}

// The conversion pairs: a target SQL type and its SQL_CVT_* bit.
struct ConvertPair {
    int32_t sqlType;
    uint32_t bit;
};

const ConvertPair kConvertPairs[] = {
    {SQL_BIT, SQL_CVT_BIT},           {SQL_TINYINT, SQL_CVT_TINYINT},
    {SQL_SMALLINT, SQL_CVT_SMALLINT}, {SQL_INTEGER, SQL_CVT_INTEGER},
    {SQL_BIGINT, SQL_CVT_BIGINT},     {SQL_FLOAT, SQL_CVT_FLOAT},
    {SQL_REAL, SQL_CVT_REAL},         {SQL_DOUBLE, SQL_CVT_DOUBLE},
    {SQL_NUMERIC, SQL_CVT_NUMERIC},   {SQL_DECIMAL, SQL_CVT_DECIMAL},
    {SQL_CHAR, SQL_CVT_CHAR},         {SQL_VARCHAR, SQL_CVT_VARCHAR},
    {SQL_LONGVARCHAR, SQL_CVT_LONGVARCHAR}, {SQL_DATE, SQL_CVT_DATE},
    {SQL_TIME, SQL_CVT_TIME},         {SQL_TIMESTAMP, SQL_CVT_TIMESTAMP},
    {SQL_TYPE_DATE, SQL_CVT_DATE},    {SQL_TYPE_TIME, SQL_CVT_TIME},
    {SQL_TYPE_TIMESTAMP, SQL_CVT_TIMESTAMP}, {SQL_BINARY, SQL_CVT_BINARY},
    {SQL_VARBINARY, SQL_CVT_VARBINARY}, {SQL_LONGVARBINARY, SQL_CVT_LONGVARBINARY},
};

bool IsBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r'; }

char AsciiUpper(char ch) { return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch; }

// ---- statement items ----

int StatementAnswer(DrvStmt *s, int item, Answer *a)
{
    const CursorOptions &cs = s->options;
    switch (item) {
    case DRV_STMT_ROW_COUNT:
        a->number = (s->flags & DS_COUNTED) ? s->rowCount : -1;
        return 0;
    case DRV_STMT_CURSOR_DEFAULT: a->number = s->cursorDefault; return 0;
    case DRV_STMT_FORCE_STATIC: a->number = s->forceStatic; return 0;
    case DrvStmtOption(SQL_QUERY_TIMEOUT): {
        a->number = 0;
        if (!s->stmt)
            return 0;
        int32_t seconds = 0;
        int rc = jc_Statement_getQueryTimeout(s, s->stmt, &seconds);
        a->number = seconds;
        return rc;
    }
    case DrvStmtOption(SQL_MAX_ROWS): a->number = s->maxRows; return 0;
    case DrvStmtOption(SQL_NOSCAN): a->number = s->noScan ? 1 : 0; return 0;
    case DrvStmtOption(SQL_MAX_LENGTH): a->number = s->maxLength; return 0;
    case DrvStmtOption(SQL_CURSOR_TYPE): a->number = cs.cursorType; return 0;
    case DrvStmtOption(SQL_CONCURRENCY): a->number = cs.concurrency; return 0;
    case DrvStmtOption(SQL_KEYSET_SIZE): a->number = cs.keysetSize; return 0;
    case DrvStmtOption(SQL_ROWSET_SIZE): a->number = cs.rowsetSize; return 0;
    case DrvStmtOption(SQL_SIMULATE_CURSOR): a->number = cs.simulateCursor; return 0;
    case DrvStmtOption(SQL_RETRIEVE_DATA): a->number = cs.retrieveData; return 0;
    case DrvStmtOption(SQL_USE_BOOKMARKS): a->number = cs.useBookmarks; return 0;
    case DrvStmtOption(SQL_GET_BOOKMARK):
    case DrvStmtOption(SQL_ROW_NUMBER): a->number = 0; return 0;
    case DrvStmtOption(KRS_STMT_LAST_SERIAL): {
        int32_t serial = 0;
        a->number = s->stmt && jc_Statement_getSerial(s, s->stmt, &serial) == 0 ? serial : 0;
        return 0;
    }
    case DrvStmtOption(KRS_STMT_CURSOR_MODE): a->number = cs.cursorMode; return 0;
    case DrvStmtOption(KRS_STMT_KEY_INFO): a->number = cs.keyInfo; return 0;
    case DrvStmtOption(KRS_STMT_ADD_KEYS): a->number = cs.addKeys; return 0;
    default: return ERR_FUNCTION_NOT_SUPPORTED;
    }
}

} // namespace

uint32_t parseScalarFunctions(char *list, const HashTable *map, int category)
{
    if (!list || !map)
        return 0;
    uint32_t mask = 0;
    char *p = list;
    while (IsBlank(*p))
        ++p;
    while (*p) {
        char *item = p;
        char *comma = std::strchr(p, ',');
        if (comma) {
            *comma = '\0';
            p = comma + 1;
            while (IsBlank(*p))
                ++p;
        } else {
            p += std::strlen(p);
        }
        for (char *q = item; *q; ++q)
            *q = AsciiUpper(*q);
        if (const HashNode *node = HASH_Find(map, item)) {
            uint64_t row = node->value;
            if (row >= 1 && kScalarFunctions[row - 1].name &&
                kScalarFunctions[row - 1].category == category)
                mask |= kScalarFunctions[row - 1].bit;
        }
    }
    return mask;
}

uint32_t convertMask(DrvConn *c, int *error, int sqlType)
{
    uint32_t mask = 0;
    for (const ConvertPair &p : kConvertPairs) {
        uint8_t yes = 0;
        int rc = jc_DatabaseMetaData_supportsConvert(c, c->metaData, &yes, sqlType, p.sqlType);
        if (rc != 0) {
            if (error)
                *error = rc;
            return 0;
        }
        if (yes)
            mask |= p.bit;
    }
    if (error)
        *error = 0;
    return mask;
}

int32_t infoSensitivityFlags(const DrvConn *c) { return c->options.cursorSensitivity == 2 ? 17 : 31; }

int DRV_MoreConnectionItems(DrvConn *c, int item, int kind, void *buf, int16_t len, int16_t *outLen)
{
    Answer a;
    if (item == DRV_CONN_DEAD) {
        uint8_t valid = 0;
        if (jc_Connection_isValid(c, c->connection, 5, &valid) != 0)
            valid = 0;
        a.number = valid ? 0 : 1;
        return DeliverAnswer(a, kind, buf, len, outLen);
    }
    if (DrvGroupOf(item) != DRV_CONN_INFO)
        return ERR_FUNCTION_NOT_SUPPORTED;
    const InfoRule *r = FindRule(DrvNumberOf(item));
    if (!r || !c->metaData)
        return ERR_FUNCTION_NOT_SUPPORTED;
    int rc = Apply(c, *r, &a);
    return rc != 0 ? rc : DeliverAnswer(a, kind, buf, len, outLen);
}

int DRV_StatementItem(int handle, int item, int kind, void *buf, int16_t len, int16_t *outLen)
{
    DrvCall<DrvStmt> op(handle);
    // Only the query timeout and the serial ask the Java statement; the rest,
    // the row count of a diagnostic read among them, the record answers
    // without attaching the thread to the VM.
    const bool asksJava = item == DrvStmtOption(SQL_QUERY_TIMEOUT) || item == DrvStmtOption(KRS_STMT_LAST_SERIAL);
    if (int rc = asksJava ? op.enter() : (op.get() ? 0 : ERR_INVALID_ARGUMENT))
        return rc;
    Answer a;
    int rc = StatementAnswer(op.get(), item, &a);
    return rc != 0 ? rc : DeliverAnswer(a, kind, buf, len, outLen);
}

int DeliverAnswer(const InfoAnswer &a, int kind, void *buf, int16_t len, int16_t *outLen)
{
    if (kind == DRV_KIND_INT) {
        int32_t v = a.isText ? 0 : a.number;
        if (outLen)
            *outLen = 4;
        if (buf)
            std::memcpy(buf, &v, sizeof v);
        return 0;
    }
    if (kind == DRV_KIND_TEXT) {
        StrCopyOut(a.isText ? a.text : "", static_cast<char *>(buf), len, outLen);
        return 0;
    }
    return ERR_FUNCTION_NOT_SUPPORTED;
}

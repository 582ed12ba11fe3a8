// Fixed ODBC column layouts of the catalog results: names, SQL types, sizes
// and nullability as ODBC defines them, and the value type the fetch reads
// each JDBC cell with.
#include <cstring>

#include "drv_jdbc/j-catalog.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap.h"
#include "odbc/contract/rowblock.h"

namespace {

enum ColKind : uint8_t {
    TEXT128,  // VARCHAR(128), WVARCHAR in the UTF-8 string mode
    TEXT254,
    CHAR1,    // VARCHAR(1) in both modes
    INTEGER,
    SMALLINT,
    FLAGCAND, // SMALLINT, read as a one-byte flag when the JDBC column is not SMALLINT
};

enum : uint8_t { NO_NULLS = 0, NULLABLE = 1, UNKNOWN = 2 };

struct CatCol {
    const char *name;
    ColKind kind;
    uint8_t nullable;
};

const CatCol kTables[] = {
    {"TABLE_CAT", TEXT128, UNKNOWN}, {"TABLE_SCHEM", TEXT128, UNKNOWN}, {"TABLE_NAME", TEXT128, UNKNOWN},
    {"TABLE_TYPE", TEXT128, UNKNOWN}, {"REMARKS", TEXT254, UNKNOWN},
};

const CatCol kColumns[] = {
    {"TABLE_CAT", TEXT128, NULLABLE},        {"TABLE_SCHEM", TEXT128, NULLABLE},
    {"TABLE_NAME", TEXT128, NO_NULLS},       {"COLUMN_NAME", TEXT128, NO_NULLS},
    {"DATA_TYPE", SMALLINT, NO_NULLS},       {"TYPE_NAME", TEXT128, NO_NULLS},
    {"COLUMN_SIZE", INTEGER, NULLABLE},      {"BUFFER_LENGTH", INTEGER, NULLABLE},
    {"DECIMAL_DIGITS", SMALLINT, NULLABLE},  {"NUM_PREC_RADIX", SMALLINT, NULLABLE},
    {"NULLABLE", SMALLINT, NO_NULLS},        {"REMARKS", TEXT254, NULLABLE},
    {"COLUMN_DEF", TEXT254, NULLABLE},       {"SQL_DATA_TYPE", SMALLINT, NO_NULLS},
    {"SQL_DATETIME_SUB", SMALLINT, NULLABLE}, {"CHAR_OCTET_LENGTH", INTEGER, NULLABLE},
    {"ORDINAL_POSITION", INTEGER, NO_NULLS}, {"IS_NULLABLE", TEXT128, NO_NULLS},
};

const CatCol kProcedureColumns[] = {
    {"PROCEDURE_CAT", TEXT128, NULLABLE},    {"PROCEDURE_SCHEM", TEXT128, NULLABLE},
    {"PROCEDURE_NAME", TEXT128, NO_NULLS},   {"COLUMN_NAME", TEXT128, NO_NULLS},
    {"COLUMN_TYPE", SMALLINT, NO_NULLS},     {"DATA_TYPE", SMALLINT, NO_NULLS},
    {"TYPE_NAME", TEXT128, NO_NULLS},        {"COLUMN_SIZE", INTEGER, NULLABLE},
    {"BUFFER_LENGTH", INTEGER, NULLABLE},    {"DECIMAL_DIGITS", SMALLINT, NULLABLE},
    {"NUM_PREC_RADIX", SMALLINT, NULLABLE},  {"NULLABLE", SMALLINT, NO_NULLS},
    {"REMARKS", TEXT254, NULLABLE},          {"COLUMN_DEF", TEXT254, NULLABLE},
    {"SQL_DATA_TYPE", SMALLINT, NO_NULLS},   {"SQL_DATETIME_SUB", SMALLINT, NULLABLE},
    {"CHAR_OCTET_LENGTH", INTEGER, NULLABLE}, {"ORDINAL_POSITION", INTEGER, NO_NULLS},
    {"IS_NULLABLE", TEXT128, NO_NULLS},
};

const CatCol kStatistics[] = {
    {"TABLE_CAT", TEXT128, NULLABLE},       {"TABLE_SCHEM", TEXT128, NULLABLE},
    {"TABLE_NAME", TEXT128, NO_NULLS},      {"NON_UNIQUE", FLAGCAND, NULLABLE},
    {"INDEX_QUALIFIER", TEXT128, NULLABLE}, {"INDEX_NAME", TEXT128, NULLABLE},
    {"TYPE", SMALLINT, NO_NULLS},           {"ORDINAL_POSITION", SMALLINT, NULLABLE},
    {"COLUMN_NAME", TEXT128, NULLABLE},     {"ASC_OR_DESC", CHAR1, NULLABLE},
    {"CARDINALITY", INTEGER, NULLABLE},     {"PAGES", INTEGER, NULLABLE},
    {"FILTER_CONDITION", TEXT128, NULLABLE},
};

const CatCol kSpecialColumns[] = {
    {"SCOPE", SMALLINT, NULLABLE},         {"COLUMN_NAME", TEXT128, NO_NULLS},
    {"DATA_TYPE", SMALLINT, NO_NULLS},     {"TYPE_NAME", TEXT128, NO_NULLS},
    {"COLUMN_SIZE", INTEGER, NULLABLE},    {"BUFFER_LENGTH", INTEGER, NULLABLE},
    {"DECIMAL_DIGITS", SMALLINT, NULLABLE}, {"PSEUDO_COLUMN", SMALLINT, NULLABLE},
};

const CatCol kPrimaryKeys[] = {
    {"TABLE_CAT", TEXT128, NULLABLE},  {"TABLE_SCHEM", TEXT128, NULLABLE}, {"TABLE_NAME", TEXT128, NO_NULLS},
    {"COLUMN_NAME", TEXT128, NO_NULLS}, {"KEY_SEQ", SMALLINT, NO_NULLS},   {"PK_NAME", TEXT128, NULLABLE},
};

const CatCol kForeignKeys[] = {
    {"PKTABLE_CAT", TEXT128, NULLABLE},   {"PKTABLE_SCHEM", TEXT128, NULLABLE},
    {"PKTABLE_NAME", TEXT128, NO_NULLS},  {"PKCOLUMN_NAME", TEXT128, NO_NULLS},
    {"FKTABLE_CAT", TEXT128, NULLABLE},   {"FKTABLE_SCHEM", TEXT128, NULLABLE},
    {"FKTABLE_NAME", TEXT128, NO_NULLS},  {"FKCOLUMN_NAME", TEXT128, NO_NULLS},
    {"KEY_SEQ", SMALLINT, NO_NULLS},      {"UPDATE_RULE", SMALLINT, NULLABLE},
    {"DELETE_RULE", SMALLINT, NULLABLE},  {"FK_NAME", TEXT128, NULLABLE},
    {"PK_NAME", TEXT128, NULLABLE},       {"DEFERRABILITY", SMALLINT, NULLABLE},
};

const CatCol kTablePrivileges[] = {
    {"TABLE_CAT", TEXT128, NULLABLE}, {"TABLE_SCHEM", TEXT128, NULLABLE}, {"TABLE_NAME", TEXT128, NO_NULLS},
    {"GRANTOR", TEXT128, NULLABLE},   {"GRANTEE", TEXT128, NO_NULLS},     {"PRIVILEGE", TEXT128, NO_NULLS},
    {"IS_GRANTABLE", TEXT128, NULLABLE},
};

const CatCol kColumnPrivileges[] = {
    {"TABLE_CAT", TEXT128, NULLABLE},  {"TABLE_SCHEM", TEXT128, NULLABLE}, {"TABLE_NAME", TEXT128, NO_NULLS},
    {"COLUMN_NAME", TEXT128, NO_NULLS}, {"GRANTOR", TEXT128, NULLABLE},    {"GRANTEE", TEXT128, NO_NULLS},
    {"PRIVILEGE", TEXT128, NO_NULLS},  {"IS_GRANTABLE", TEXT128, NULLABLE},
};

const CatCol kProcedures[] = {
    {"PROCEDURE_CAT", TEXT128, NULLABLE},      {"PROCEDURE_SCHEM", TEXT128, NULLABLE},
    {"PROCEDURE_NAME", TEXT128, NO_NULLS},     {"NUM_INPUT_PARAMS", SMALLINT, NULLABLE},
    {"NUM_OUTPUT_PARAMS", SMALLINT, NULLABLE}, {"NUM_RESULT_SETS", SMALLINT, NULLABLE},
    {"REMARKS", TEXT254, NULLABLE},            {"PROCEDURE_TYPE", SMALLINT, NULLABLE},
};

const CatCol kTypeInfo[] = {
    {"TYPE_NAME", TEXT128, NO_NULLS},          {"DATA_TYPE", SMALLINT, NO_NULLS},
    {"COLUMN_SIZE", INTEGER, NULLABLE},        {"LITERAL_PREFIX", TEXT128, NULLABLE},
    {"LITERAL_SUFFIX", TEXT128, NULLABLE},     {"CREATE_PARAMS", TEXT128, NULLABLE},
    {"NULLABLE", SMALLINT, NO_NULLS},          {"CASE_SENSITIVE", FLAGCAND, NO_NULLS},
    {"SEARCHABLE", SMALLINT, NO_NULLS},        {"UNSIGNED_ATTRIBUTE", FLAGCAND, NULLABLE},
    {"FIXED_PREC_SCALE", FLAGCAND, NO_NULLS},  {"AUTO_UNIQUE_VALUE", FLAGCAND, NULLABLE},
    {"LOCAL_TYPE_NAME", TEXT128, NULLABLE},    {"MINIMUM_SCALE", SMALLINT, NULLABLE},
    {"MAXIMUM_SCALE", SMALLINT, NULLABLE},     {"SQL_DATA_TYPE", SMALLINT, NO_NULLS},
    {"SQL_DATETIME_SUB", SMALLINT, NULLABLE},  {"NUM_PREC_RADIX", SMALLINT, NULLABLE},
    {"INTERVAL_PRECISION", SMALLINT, NULLABLE},
};

struct Layout {
    const CatCol *cols;
    uint16_t count;
};

template <size_t N>
constexpr Layout layoutOf(const CatCol (&cols)[N])
{
    return {cols, static_cast<uint16_t>(N)};
}

// By catalog kind, from 1.
const Layout kLayouts[] = {
    layoutOf(kTypeInfo),   layoutOf(kProcedureColumns), layoutOf(kTables),         layoutOf(kStatistics),
    layoutOf(kProcedures), layoutOf(kColumns),          layoutOf(kSpecialColumns), layoutOf(kPrimaryKeys),
    layoutOf(kForeignKeys), layoutOf(kTablePrivileges), layoutOf(kColumnPrivileges),
};

struct KindRule {
    int32_t sqlType;
    uint32_t size;
    uint32_t display;
    ValueType vt;
    uint32_t buffer;
};

KindRule ruleOf(ColKind k, bool wide)
{
    switch (k) {
    case TEXT128: return {wide ? -9 : 12, 128, 128, wide ? VT_WNTS : VT_NTS, 129};
    case TEXT254: return {wide ? -9 : 12, 254, 254, wide ? VT_WNTS : VT_NTS, 255};
    case CHAR1: return {12, 1, 1, VT_NTS, 2};
    case INTEGER: return {4, 10, 11, VT_LONG, 4};
    case SMALLINT: case FLAGCAND: break;
    }
    return {5, 5, 6, VT_SHORT, 2};
}

// A flag candidate is read as a one-byte flag when the JDBC column at the
// same position exists and is not SMALLINT.
bool readsAsFlag(DrvStmt *s, int col, int32_t jdbcColumns)
{
    if (!s->rsMetaData || col > jdbcColumns)
        return false;
    int32_t type = 0;
    if (jc_ResultSetMetaData_getColumnType(s, s->rsMetaData, col, &type) != 0) {
        errClear(&s->errors);
        return false;
    }
    return type != 5;
}

} // namespace

int catalogLayout(DrvStmt *s, int32_t kind, int32_t jdbcColumns)
{
    if (kind < 1 || kind > static_cast<int32_t>(sizeof kLayouts / sizeof kLayouts[0]))
        return ERR_GENERAL;
    const Layout &l = kLayouts[kind - 1];
    ColDesc *cols = CD_Alloc(l.count);
    if (!cols)
        return ERR_MEMORY_ALLOCATION;
    const bool wide = s->stringMode == STRMODE_UTF8;
    for (uint16_t i = 0; i < l.count; ++i) {
        const CatCol &c = l.cols[i];
        ColDesc &d = cols[i];
        KindRule r = ruleOf(c.kind, wide);
        if (c.kind == FLAGCAND && readsAsFlag(s, i + 1, jdbcColumns)) {
            r.vt = VT_BIT;
            r.buffer = 1;
        }
        strncpy(d.name, c.name, 40);
        d.sqlType = r.sqlType;
        d.baseSqlType = static_cast<int16_t>(r.sqlType);
        d.columnSize = r.size;
        d.displaySize = r.display;
        d.decimalDigits = 0;
        d.valueType = r.vt;
        d.bufferLength = r.buffer;
        d.attrFlags = c.nullable | (3u << CD_UPDATABLE_SHIFT);
    }
    CD_Free(s->cols, s->colCount);
    s->cols = cols;
    s->colCount = l.count;
    s->flags |= DS_DESCRIBED;
    return 0;
}

// Catalog operations: one DatabaseMetaData method per ODBC catalog function,
// its ResultSet kept as the statement's result and described by the
// function's fixed ODBC layout.
#include "drv_jdbc/j-catalog.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "drv_jdbc/j-call.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap-catalog.h"
#include "drv_jdbc/j-wrap-dbmd.h"
#include "drv_jdbc/j-wrap-ps.h"
#include "drv_jdbc/j-wrap.h"
#include "odbc/contract/catalog_args.h"

namespace {

// What every operation does around its Java call; `call` answers the
// ResultSet as a local reference or an error number.
template <class Call>
int runCatalog(int stmt, int32_t kind, Call call)
{
    DrvCall<DrvStmt> op(stmt);
    if (int rc = op.attach())
        return rc;
    DrvStmt *s = op.get();
    resetCatalogStmt(s);
    if (int rc = op.pushFrame())
        return rc;
    jobject rs = nullptr;
    if (int rc = call(s, s->conn->metaData, &rs))
        return rc;
    int rc = 0;
    if (rs) {
        if (!s->resultSet.Set(s->env, rs))
            rc = ERR_MEMORY_ALLOCATION;
        jc_DeleteLocal(s->env, rs);
    }
    if (rc == 0)
        rc = describeCatalogResult(s, kind);
    if (rc != 0)
        resetStmt(s);
    return rc;
}

// A copy of a name with '_', '%' and the escape character escaped, so that
// a search-pattern parameter matches the name only.  NULL stays NULL.
struct EscapedName {
    char *text = nullptr;
    ~EscapedName() { free(text); }
};

bool escapeName(const char *name, const char *escape, EscapedName &out)
{
    if (!name || !*escape)
        return true;
    const size_t esc = strlen(escape);
    size_t n = 0;
    for (const char *p = name; *p; ++p)
        n += (*p == '_' || *p == '%' || strncmp(p, escape, esc) == 0) ? esc + 1 : 1;
    out.text = static_cast<char *>(malloc(n + 1));
    if (!out.text)
        return false;
    char *w = out.text;
    for (const char *p = name; *p; ++p) {
        if (*p == '_' || *p == '%' || strncmp(p, escape, esc) == 0) {
            memcpy(w, escape, esc);
            w += esc;
        }
        *w++ = *p;
    }
    *w = '\0';
    return true;
}

// The texts the pattern parameters get: each text as given, or escaped when
// the arguments are identifiers.  0, or ERR_MEMORY_ALLOCATION when out of memory.
struct PatternArgs {
    const char *text[CA_TEXTS] = {};
    EscapedName escaped[CA_TEXTS];
};

int patternArgs(DrvStmt *s, const CatalogArgs *a, uint8_t patternMask, PatternArgs &out)
{
    for (int i = 0; i < CA_TEXTS; ++i)
        out.text[i] = a->text[i];
    if (!(a->options & CA_IDENTIFIERS) || s->conn->options.noSearchEscape)
        return 0;
    char escape[8] = "";
    if (jc_DatabaseMetaData_callString(s->conn, s->conn->metaData, "getSearchStringEscape", escape,
                                       sizeof escape) != 0)
        errClear(&s->conn->errors);
    for (int i = 0; i < CA_TEXTS; ++i) {
        if (!(patternMask & (1u << i)))
            continue;
        if (!escapeName(a->text[i], escape, out.escaped[i]))
            return ERR_MEMORY_ALLOCATION;
        if (out.escaped[i].text)
            out.text[i] = out.escaped[i].text;
    }
    return 0;
}

// runCatalog for a function whose pattern texts (bits of `patterns`) are
// escaped under identifiers: `call` gets the texts its parameters take.  ERR_INVALID_ARGUMENT
// without arguments, ERR_MEMORY_ALLOCATION when out of memory.
template <class Call>
int runPatternCatalog(int stmt, int32_t kind, const CatalogArgs *a, uint8_t patterns, Call call)
{
    if (!a)
        return ERR_INVALID_ARGUMENT;
    return runCatalog(stmt, kind, [a, patterns, &call](DrvStmt *s, jobject md, jobject *rs) {
        PatternArgs p;
        if (int rc = patternArgs(s, a, patterns, p))
            return rc;
        return call(s, md, p.text, rs);
    });
}

constexpr uint8_t bit(int i) { return static_cast<uint8_t>(1u << i); }

bool isGiven(const char *t) { return t && *t; }
bool isLonePercent(const char *t) { return t && t[0] == '%' && t[1] == '\0'; }

} // namespace

int resetCatalogStmt(DrvStmt *s)
{
    resetStmt(s);
    return 0;
}

int describeCatalogResult(DrvStmt *s, int32_t kind)
{
    int32_t columns = 0;
    if (s->resultSet) {
        jobject md = nullptr;
        if (jc_ResultSet_getMetaData(s, s->resultSet, &md) == 0 && md) {
            s->rsMetaData.Set(s->env, md);
            jc_DeleteLocal(s->env, md);
            if (!s->rsMetaData || jc_ResultSetMetaData_getColumnCount(s, s->rsMetaData, &columns) != 0)
                columns = 0;
        }
        errClear(&s->errors);
    }
    int rc = kind >= CAT_TYPE_INFO && kind <= CAT_COLUMN_PRIVILEGES ? catalogLayout(s, kind, columns)
                                                                     : describeResultCols(s, 'E');
    if (rc != 0)
        return rc;
    s->catalogKind = kind;
    if (s->paramCount == 0)
        s->flags &= static_cast<uint16_t>(~DS_PARAMS_CHANGED);
    s->flags |= DS_PREPARED | DS_PENDING | DS_HAS_RESULTSET;
    return 0;
}

TablesArgsClass classifyTablesArgs(const CatalogArgs *a)
{
    TablesArgsClass c{};
    for (int i = 0; i < 4; ++i) {
        if (isGiven(a->text[i]))
            c.given |= bit(i);
        if (isLonePercent(a->text[i]))
            c.lonePercent |= bit(i);
    }
    const uint8_t cat = bit(CA_CATALOG), sch = bit(CA_SCHEMA), tab = bit(CA_OBJECT), typ = bit(CA_FOURTH);
    if ((c.lonePercent & cat) && (c.given & (sch | tab)))
        c.lonePercent = 0;
    if ((c.lonePercent & sch) && (c.given & (cat | tab)))
        c.lonePercent = 0;
    if ((c.lonePercent & typ) && (c.given & (cat | sch | tab)))
        c.lonePercent = 0;
    return c;
}

int DRV_DDTables(int stmt, CatalogArgs *a)
{
    if (!a)
        return ERR_INVALID_ARGUMENT;
    return runCatalog(stmt, CAT_TABLES, [a](DrvStmt *s, jobject md, jobject *rs) {
        const TablesArgsClass c = classifyTablesArgs(a);
        if (char *types = a->text[CA_FOURTH]; isGiven(types))
            for (char *p = types; *p; ++p)
                *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
        if (c.lonePercent & bit(CA_CATALOG)) {
            s->jdbcColumns = 1;
            return jc_DatabaseMetaData_getCatalogs(s, md, rs);
        }
        if (c.lonePercent & bit(CA_SCHEMA)) {
            s->redirectCol = 1;
            return jc_DatabaseMetaData_getSchemas(s, md, rs);
        }
        if (c.lonePercent & bit(CA_FOURTH)) {
            s->redirectCol = 3;
            return jc_DatabaseMetaData_getTableTypes(s, md, rs);
        }
        PatternArgs p;
        if (int rc = patternArgs(s, a, bit(CA_SCHEMA) | bit(CA_OBJECT), p))
            return rc;
        return jc_DatabaseMetaData_getTables(s, md, p.text[0], p.text[1], p.text[2], a->text[CA_FOURTH], rs);
    });
}

int DRV_DDColumns(int stmt, CatalogArgs *a)
{
    return runPatternCatalog(stmt, CAT_COLUMNS, a, bit(1) | bit(2) | bit(3),
                             [](DrvStmt *s, jobject md, const char *const *t, jobject *rs) {
                                 return jc_DatabaseMetaData_getColumns(s, md, t[0], t[1], t[2], t[3], rs);
                             });
}

int DRV_DDProcedureColumns(int stmt, CatalogArgs *a)
{
    return runPatternCatalog(stmt, CAT_PROCEDURE_COLUMNS, a, bit(1) | bit(2) | bit(3),
                             [](DrvStmt *s, jobject md, const char *const *t, jobject *rs) {
                                 s->jdbcColumns = 13;
                                 return jc_DatabaseMetaData_getProcedureColumns(s, md, t[0], t[1], t[2], t[3], rs);
                             });
}

int DRV_DDProcedures(int stmt, CatalogArgs *a)
{
    return runPatternCatalog(stmt, CAT_PROCEDURES, a, bit(1) | bit(2),
                             [](DrvStmt *s, jobject md, const char *const *t, jobject *rs) {
                                 return jc_DatabaseMetaData_getProcedures(s, md, t[0], t[1], t[2], rs);
                             });
}

int DRV_DDTablePrivileges(int stmt, CatalogArgs *a)
{
    return runPatternCatalog(stmt, CAT_TABLE_PRIVILEGES, a, bit(1) | bit(2),
                             [](DrvStmt *s, jobject md, const char *const *t, jobject *rs) {
                                 return jc_DatabaseMetaData_getTablePrivileges(s, md, t[0], t[1], t[2], rs);
                             });
}

int DRV_DDColumnPrivileges(int stmt, CatalogArgs *a)
{
    return runPatternCatalog(stmt, CAT_COLUMN_PRIVILEGES, a, bit(3),
                             [](DrvStmt *s, jobject md, const char *const *t, jobject *rs) {
                                 return jc_DatabaseMetaData_getColumnPrivileges(s, md, t[0], t[1], t[2], t[3], rs);
                             });
}

int DRV_DDStatistics(int stmt, CatalogArgs *a)
{
    if (!a)
        return ERR_INVALID_ARGUMENT;
    return runCatalog(stmt, CAT_STATISTICS, [a](DrvStmt *s, jobject md, jobject *rs) {
        return jc_DatabaseMetaData_getIndexInfo(s, md, a->text[0], a->text[1], a->text[2], a->flags[0] == 0,
                                                a->flags[1] == 0, rs);
    });
}

int DRV_DDPrimaryKeys(int stmt, CatalogArgs *a)
{
    if (!a)
        return ERR_INVALID_ARGUMENT;
    return runCatalog(stmt, CAT_PRIMARY_KEYS, [a](DrvStmt *s, jobject md, jobject *rs) {
        return jc_DatabaseMetaData_getPrimaryKeys(s, md, a->text[0], a->text[1], a->text[2], rs);
    });
}

int DRV_DDSpecialColumns(int stmt, CatalogArgs *a)
{
    if (!a)
        return ERR_INVALID_ARGUMENT;
    return runCatalog(stmt, CAT_SPECIAL_COLUMNS, [a](DrvStmt *s, jobject md, jobject *rs) {
        if (a->flags[0] == 2)
            return jc_DatabaseMetaData_getVersionColumns(s, md, a->text[0], a->text[1], a->text[2], rs);
        return jc_DatabaseMetaData_getBestRowIdentifier(s, md, a->text[0], a->text[1], a->text[2], a->flags[1],
                                                        a->flags[2] != 0, rs);
    });
}

int DRV_DDForeignKeys(int stmt, CatalogArgs *a)
{
    if (!a)
        return ERR_INVALID_ARGUMENT;
    return runCatalog(stmt, CAT_FOREIGN_KEYS, [a](DrvStmt *s, jobject md, jobject *rs) {
        const bool pk = isGiven(a->text[2]);
        const bool fk = isGiven(a->text[5]);
        if (!pk && fk)
            return jc_DatabaseMetaData_getImportedKeys(s, md, a->text[3], a->text[4], a->text[5], rs);
        if (pk && !fk)
            return jc_DatabaseMetaData_getExportedKeys(s, md, a->text[0], a->text[1], a->text[2], rs);
        return jc_DatabaseMetaData_getCrossReference(s, md, a->text[0], a->text[1], a->text[2], a->text[3],
                                                     a->text[4], a->text[5], rs);
    });
}

int DRV_DDGetTypeInfo(int stmt, int16_t sqlType)
{
    return runCatalog(stmt, CAT_TYPE_INFO, [sqlType](DrvStmt *s, jobject md, jobject *rs) {
        int rc = jc_DatabaseMetaData_getTypeInfo(s, md, rs);
        if (rc == 0) {
            s->typeFilter = sqlType == 91 ? 9 : sqlType == 92 ? 10 : sqlType == 93 ? 11 : sqlType;
            s->jdbcColumns = 18;
        }
        return rc;
    });
}

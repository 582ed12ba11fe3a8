// The catalog entry points: SQLTables ... SQLProcedureColumns and
// SQLGetTypeInfo, each one back-end catalog operation that leaves the
// statement with an open result, fetched and described like any other.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

struct Stmt;

// Implementations run by CallODBC (narrow and wide entries alike: the wide
// wrappers hand over UTF-8 copies with SQL_NTS).  Each closes the statement
// first; ERR_INVALID_ARGUMENT (S1009) for a bad length or a missing required table name, else
// the back end's number with its messages queued.
SQLRETURN ST_Tables(Stmt *s, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch, SQLSMALLINT cbSch, SQLCHAR *tab,
                    SQLSMALLINT cbTab, SQLCHAR *type, SQLSMALLINT cbType);
SQLRETURN ST_Columns(Stmt *s, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch, SQLSMALLINT cbSch, SQLCHAR *tab,
                     SQLSMALLINT cbTab, SQLCHAR *col, SQLSMALLINT cbCol);
SQLRETURN ST_ColumnPrivileges(Stmt *s, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch, SQLSMALLINT cbSch,
                              SQLCHAR *tab, SQLSMALLINT cbTab, SQLCHAR *col, SQLSMALLINT cbCol);
SQLRETURN ST_PrimaryKeys(Stmt *s, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch, SQLSMALLINT cbSch,
                         SQLCHAR *tab, SQLSMALLINT cbTab);
SQLRETURN ST_TablePrivileges(Stmt *s, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch, SQLSMALLINT cbSch,
                             SQLCHAR *tab, SQLSMALLINT cbTab);
SQLRETURN ST_Statistics(Stmt *s, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch, SQLSMALLINT cbSch,
                        SQLCHAR *tab, SQLSMALLINT cbTab, SQLUSMALLINT unique, SQLUSMALLINT accuracy);
SQLRETURN ST_SpecialColumns(Stmt *s, SQLUSMALLINT colType, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch,
                            SQLSMALLINT cbSch, SQLCHAR *tab, SQLSMALLINT cbTab, SQLUSMALLINT scope,
                            SQLUSMALLINT nullable);
SQLRETURN ST_ForeignKeys(Stmt *s, SQLCHAR *pkCat, SQLSMALLINT cbPkCat, SQLCHAR *pkSch, SQLSMALLINT cbPkSch,
                         SQLCHAR *pkTab, SQLSMALLINT cbPkTab, SQLCHAR *fkCat, SQLSMALLINT cbFkCat,
                         SQLCHAR *fkSch, SQLSMALLINT cbFkSch, SQLCHAR *fkTab, SQLSMALLINT cbFkTab);
SQLRETURN ST_Procedures(Stmt *s, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch, SQLSMALLINT cbSch,
                        SQLCHAR *proc, SQLSMALLINT cbProc);
SQLRETURN ST_ProcedureColumns(Stmt *s, SQLCHAR *cat, SQLSMALLINT cbCat, SQLCHAR *sch, SQLSMALLINT cbSch,
                              SQLCHAR *proc, SQLSMALLINT cbProc, SQLCHAR *col, SQLSMALLINT cbCol);
// The back end's type table, every type (0) or the rows of one SQL type.
SQLRETURN ST_GetTypeInfo(Stmt *s, SQLSMALLINT sqlType);

// A new list of the comma-separated items, each enclosed in apostrophes and
// separated by commas without blanks (blanks around items cut, apostrophes
// inside dropped); "" stays "", a text beginning with '%' gives "%".  NULL
// for NULL or when out of memory.
char *TypeListQuote(const char *text);
// 1-based position of the item in a comma list (blanks before an item
// skipped, exact case); 0 when absent or either text is NULL.
int TypeListFindItem(const char *list, const char *item);

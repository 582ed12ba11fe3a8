// The catalog operations (DRV_DDColumnPrivileges .. DRV_DDGetTypeInfo): each turns a statement into a
// catalog statement whose JDBC ResultSet is described by the fixed ODBC
// layout of its function, and the layouts themselves.
#pragma once
#include <cstdint>

#include "odbc/contract/drv_ops.h"

struct CatalogArgs;
struct DrvStmt;
struct RowBlock;

// Catalog kinds of a DrvStmt (0 an ordinary statement).
enum : int32_t {
    CAT_TYPE_INFO = 1,
    CAT_PROCEDURE_COLUMNS = 2,
    CAT_TABLES = 3,
    CAT_STATISTICS = 4,
    CAT_PROCEDURES = 5,
    CAT_COLUMNS = 6,
    CAT_SPECIAL_COLUMNS = 7,
    CAT_PRIMARY_KEYS = 8,
    CAT_FOREIGN_KEYS = 9,
    CAT_TABLE_PRIVILEGES = 10,
    CAT_COLUMN_PRIVILEGES = 11,
};

// Each answers 0, ERR_INVALID_ARGUMENT for an unknown statement, ERR_GENERAL
// when the thread cannot be attached, or the number of the JDBC failure (the
// statement is then reset and holds no result).
int DRV_DDColumnPrivileges(int stmt, CatalogArgs *args);
int DRV_DDColumns(int stmt, CatalogArgs *args);
int DRV_DDForeignKeys(int stmt, CatalogArgs *args);
int DRV_DDPrimaryKeys(int stmt, CatalogArgs *args);
int DRV_DDProcedureColumns(int stmt, CatalogArgs *args);
int DRV_DDProcedures(int stmt, CatalogArgs *args);
int DRV_DDSpecialColumns(int stmt, CatalogArgs *args);
int DRV_DDStatistics(int stmt, CatalogArgs *args);
int DRV_DDTablePrivileges(int stmt, CatalogArgs *args);
// Upper-cases the table-type list in place.
int DRV_DDTables(int stmt, CatalogArgs *args);
// sqlType 0 lists every type; any other keeps only its rows (91..93 also
// match 9..11 and the other way round).
int DRV_DDGetTypeInfo(int stmt, int16_t sqlType);

// Bits of classifyTablesArgs over catalog (1), schema (2), table (4) and the
// type list (8).
struct TablesArgsClass {
    uint8_t given;       // non-NULL and not empty
    uint8_t lonePercent; // exactly "%", after the enumeration rules
};
TablesArgsClass classifyTablesArgs(const CatalogArgs *args);

// Closes whatever the statement held (result, JDBC statement, descriptions).  0.
int resetCatalogStmt(DrvStmt *s);
// Keeps the metadata of the statement's ResultSet, describes the result by
// the layout of the kind (1 to 11; any other kind by the JDBC metadata) and
// marks the statement prepared with an open result.  0 or the error number.
int describeCatalogResult(DrvStmt *s, int32_t kind);

// Fills the catalog slots.
constexpr void DRV_FillCatalogOps(DrvOpTable &t)
{
    t.DDColumnPrivileges = DRV_DDColumnPrivileges;
    t.DDColumns = DRV_DDColumns;
    t.DDForeignKeys = DRV_DDForeignKeys;
    t.DDPrimaryKeys = DRV_DDPrimaryKeys;
    t.DDProcedureColumns = DRV_DDProcedureColumns;
    t.DDProcedures = DRV_DDProcedures;
    t.DDSpecialColumns = DRV_DDSpecialColumns;
    t.DDStatistics = DRV_DDStatistics;
    t.DDTablePrivileges = DRV_DDTablePrivileges;
    t.DDTables = DRV_DDTables;
    t.DDGetTypeInfo = DRV_DDGetTypeInfo;
}

// ---- cells of catalog rows (j-fetch.cpp) ----

// A 16- or 32-bit integer cell (0 for NULL) and the writers of one cell of
// row r; a text longer than a fixed cell is cut.
int16_t shortCell(const RowBlock *b, int col, int32_t r);
void setShortCell(RowBlock *b, int col, int32_t r, int16_t v);
void setLongCell(RowBlock *b, int col, int32_t r, int32_t v);
void setNullCell(RowBlock *b, int col, int32_t r);
void setTextCell(RowBlock *b, int col, int32_t r, const char *text);

// ---- the type-information result (j-typerows.cpp) ----

// Puts the rows of the whole type-information result in ODBC's order: by
// DATA_TYPE, then the types closest to it first (the usual type, other
// general ones, special-purpose ones such as name, then the
// auto-incrementing ones); gives text types their real sizes and the
// parameters their definitions take, adds text as the LONGVARCHAR type, and
// keeps only the rows of the statement's type filter.  0 or ERR_MEMORY_ALLOCATION.
int typeInfoArrange(DrvStmt *s, RowBlock *rows);

// ---- layouts (j-catlayout.cpp) ----

// Replaces the statement's result descriptions with the fixed layout of a
// catalog kind (1 to 11) and marks them valid; jdbcColumns is the JDBC
// result's column count (flag columns are chosen from its metadata).  0, or
// ERR_MEMORY_ALLOCATION when out of memory; ERR_GENERAL for an unknown kind.
int catalogLayout(DrvStmt *s, int32_t kind, int32_t jdbcColumns);

// The argument record of the catalog operations (DDColumnPrivileges to DDTables): the texts
// of one catalog function, then its 16-bit flags.  The statement layer fills
// it for one call; the texts are the caller's copies (the back end may change
// the table-type list in place).
#pragma once
#include <cstdint>

// Positions of the texts, per operation:
//   Tables             catalog, schema, table, table-type list
//   Columns            catalog, schema, table, column
//   ColumnPrivileges   catalog, schema, table, column
//   ProcedureColumns   catalog, schema, procedure, column
//   Procedures         catalog, schema, procedure
//   TablePrivileges    catalog, schema, table
//   PrimaryKeys        catalog, schema, table
//   Statistics         catalog, schema, table; flags unique, accuracy
//   SpecialColumns     catalog, schema, table; flags identifier type, scope, nullable
//   ForeignKeys        primary-key catalog, schema, table, foreign-key catalog, schema, table
enum : int { CA_CATALOG = 0, CA_SCHEMA = 1, CA_OBJECT = 2, CA_FOURTH = 3, CA_TEXTS = 6 };

// CatalogArgs::options
enum : uint16_t {
    // The texts name objects exactly: the back end escapes '_', '%' and the
    // escape character where the JDBC method takes a search pattern.
    CA_IDENTIFIERS = 0x1,
};

struct CatalogArgs {
    char *text[CA_TEXTS];   // NULL or NUL-terminated
    int16_t flags[3];
    uint16_t options;       // CA_*
};

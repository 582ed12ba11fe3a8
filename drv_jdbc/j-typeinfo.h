// The type-information cache of a back-end connection: TYPE_NAME,
// LITERAL_PREFIX and LITERAL_SUFFIX by SQL type.  It is built the first time
// a result is described with its column attributes, not at connect: reading
// the whole type table costs a query over every type of the database.
#pragma once
#include <cstdint>

struct DrvConn;
struct HashTable;

// Runs the type-information catalog operation on a temporary statement of
// the connection and keeps one entry per DATA_TYPE: the type's usual name
// ("varchar" for VARCHAR, "bpchar" for CHAR ...) when the database lists it,
// else the first row of that type.  The cache built so far (possibly empty),
// or NULL when none can be made.
HashTable *buildTypeInfoCache(int handle, DrvConn *c);
// The connection's cache, built on first use; NULL when it cannot be made.
HashTable *typeInfoCacheOf(DrvConn *c);
// The usual PostgreSQL name of an SQL type ("varchar", "int4" ...), "" for a
// type without one; no database work.
const char *typeUsualName(int sqlType);
// The key an SQL type is cached under: date and time types by their ODBC 2
// codes, the wide text types by their narrow twins.
int16_t typeInfoKey(int sqlType);
// Frees every entry and the table; NULL does nothing.
void freeTypeInfoCache(HashTable *cache);

// The type-information cache each back-end connection builds when it opens:
// TYPE_NAME, LITERAL_PREFIX and LITERAL_SUFFIX by SQL type.
#pragma once

struct DrvConn;
struct HashTable;

// Runs the type-information catalog operation on a temporary statement of
// the connection and keeps one entry per DATA_TYPE (a later row wins).  The
// cache built so far (possibly empty), or NULL when none can be made.
HashTable *buildTypeInfoCache(int handle, DrvConn *c);
// Frees every entry and the table; NULL does nothing.
void freeTypeInfoCache(HashTable *cache);

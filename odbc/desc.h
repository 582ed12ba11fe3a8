// Descriptor objects: creation, the implicit four of a statement and the
// explicit ones of a connection, and freeing.  Records are in desc_rec.h,
// fields, records and copy in desc_field.h.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

struct Conn;
struct Desc;
struct Stmt;

// A new descriptor with its record 0, owned by the statement (implicit,
// allocType 1) or the connection (explicit); an implicit one registers
// itself with its statement by kind.  Null when out of memory.  The caller
// enters it in the table.
Desc *DescAlloc(int16_t kind, int16_t allocType, Stmt *stmt, Conn *conn);
// Frees the descriptor and its records: statements using an explicit one
// return to their implicit descriptors and follow them.  Takes the global
// API lock while the handle goes away.
void DescFree(Desc *desc);
// Frees every explicit descriptor the connection owns.
void DescFreeOwnedBy(Conn *conn);

// Removes the oldest queued message and returns its text (the caller frees
// it) with its native code; null when none is queued.
char *DescPopError(Desc *desc, int32_t *native);

// Implementations run by CallODBC.
SQLRETURN DS_FreeHandle(Desc *desc);

// Row locks and optimistic-concurrency values of scrollable cursors
// (scs_rowlocks.cpp; the values read again after the cursor's own UPDATE,
// scs_dynmix.cpp): the lock statement and the rows it locks, the compared
// values of the rows and the value-refetch SELECT that reads them.
#pragma once
#include <cstdint>
#include <string>

struct RowBlock;
struct ScrAnalysedSql;
struct ScsContext;

// Locks key rows first .. first + count - 1.
int scs_p_LockRows(ScsContext *ctx, int32_t first, int32_t count);
// Refills compareValues (static cursors: through valueCache).  `params`,
// when given, is consumed as the parameters of a single statement.
int scs_p_GetOptConcColVals(ScsContext *ctx, RowBlock *params, int32_t first, int32_t statements,
                            int32_t rowsPerStmt, int32_t lastRows);
// Reads the current compare values of key rows first .. first + count - 1
// (keyset numbering) by key into compareValues, row k at key row first + k:
// keyset-driven, mixed and dynamic cursors with the key groups of the
// fetch-by-keys SELECT prepared last, static cursors with their statement
// narrowed to one key.  A key whose row is gone gets an empty row and, when
// `gone` (count entries) is given, gone[k] := SQL_ROW_DELETED; the key
// statuses are not touched.  0, ERR_GENERAL or the read's number.
int scs_p_KeyedValuesRead(ScsContext *ctx, int32_t first, int32_t count, int16_t *gone);
// Leaves the value-refetch SELECT (text with its select list replaced by
// the table's columns, qualified when the FROM list names two or more
// tables; for cursors other than static ones followed by the key columns,
// so that each row's values can be put at its own key) as sql's current
// text.  0, ERR_GENERAL (no select list to replace, no table columns), ERR_MEMORY_ALLOCATION or the
// parser's error.
int scs_p_OptConcSelectBuild(ScsContext *ctx, const char *text, ScrAnalysedSql *sql);
// The lock statement: UPDATE [owner.]table SET k1 = ?, ... WHERE k1 = ? AND
// ... over the first FROM table and the key columns.  0, or ERR_GENERAL without them.
int scs_p_LockTextBuild(const ScsContext *ctx, std::string *out);
// After the cursor's own UPDATE of rows (positioned or by bookmark): the
// compare values of the given key rows (keyset numbering) are read again by
// key, so that a later optimistic check compares with the values just
// written, as the server stored them; the other rows keep theirs, and so
// does a row whose values cannot be read again.  A dynamic cursor reads its
// window again; the others read the given rows alone.  A static cursor whose
// values went to files keeps them as they were read.  Row statuses are left
// as they are.  0 or a number (the values of the rows not yet refreshed then
// stay as they were).
int scs_p_RefreshOptConcVals(ScsContext *ctx, const int32_t *keyRows, int32_t count);

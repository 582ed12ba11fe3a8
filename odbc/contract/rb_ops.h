// Operations that reshape filled row blocks (rows, columns, cells).  The
// column attribute values returned beside descriptions are typed_value.h's.
//
// Every RB_ operation returns 0, ERR_GENERAL (S1000) for a missing block, an index out
// of range or blocks whose layouts do not match (nothing changed), or ERR_MEMORY_ALLOCATION
// (S1001) when memory runs out.  A block keeps storage for rowsAllocated rows
// in every used column; cells at or beyond rowsUsed hold no heap value.
#pragma once
#include <cstdint>

#include "odbc/contract/rowblock.h"

// Inserts an all-NULL row at pos (0..rowsUsed), moving later rows down.
int RB_InsertRow(RowBlock *block, int32_t pos);
// *equal = 1 when every cell of row ra of a equals row rb of b: both NULL, or
// both values with equal length and bytes (text up to its length or NUL).
int RB_CompareRows(const RowBlock *a, int32_t ra, const RowBlock *b, int32_t rb, int *equal);
// Deep copy of source into *out (whose old content is not released): same
// columns, the rows in use, heap values duplicated.  No rows: no columns.
int RB_Clone(RowBlock *out, const RowBlock *source);
// Copies source row b to target row a; a at or beyond the target's rows used
// appends.  Heap values are duplicated, or handed over (the source cell then
// becomes NULL).  All columns are checked before any changes.
int RB_CopyRow(RowBlock *target, RowBlock *source, int32_t a, int32_t b, int handOver);
// Moves all rows of source behind the target's rows (same layout); the
// source's heap cells are handed over and become NULL there.  A target
// without room grows to at least twice its capacity.
int RB_AppendRows(RowBlock *target, RowBlock *source);
// The target gets the source's columns in front of its own (same rows used);
// the source gives up its storage and is left without rows.
int RB_JoinColumns(RowBlock *target, RowBlock *source);
// Makes *block (emptied and reused, or newly allocated when NULL) an empty
// block with the pattern's columns and room for `rows` rows.
int RB_NewLike(RowBlock **block, const RowBlock *pattern, int32_t rows);
// Replaces the block by a copy with its rows in reverse order.
int RB_ReverseRows(RowBlock *block);
// Removes column i with its storage.
int RB_DeleteColumn(RowBlock *block, int i);
int RB_GetColumnInfo(const RowBlock *block, int i, ValueType *type, uint32_t *width);
// Inserts an all-NULL column at pos (0..columnsUsed) with storage for the
// block's capacity.
int RB_InsertColumn(RowBlock *block, int pos, ValueType type, uint32_t width);
// Replaces column i of target by copies of column j of source (same type and
// width; a target with rows must have the same rows used).
int RB_CopyColumn(RowBlock *target, const RowBlock *source, int i, int j);
// Makes column i able to hold values of `size` (fixed text and binary become
// length-prefixed; heap values get blocks of at least size bytes).
int RB_WidenColumn(RowBlock *block, int i, uint32_t size);
// Copies at most *len bytes of one value into buf; *len receives the bytes
// copied (0 for a NULL cell).  *len 0 returns at once.
int RB_GetCell(const RowBlock *block, int32_t row, int col, void *buf, uint32_t *len);
// Cuts every value to at most `max` bytes (characters for wide types),
// widening fixed-width text and binary columns first.
int RB_TruncateValues(RowBlock *block, uint32_t max);
// Converts the wide text columns to the ANSI code page in place: 24 and 25
// become 17, 26 becomes 15, 27 becomes 20.  Nothing is cut: a column widens
// to the bytes its longest converted value takes (it never narrows), and
// lengths count the bytes produced.
int RB_WideToAnsi(RowBlock *block);

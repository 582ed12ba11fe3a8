// Output parameters of procedure calls: after an execute that answered 80
// (IM906), a fetch of 0 rows hands back a block with the layout of the
// parameter block whose row 0 holds the current value of every parameter
// that is not input-only.
#pragma once

struct DrvStmt;
struct RowBlock;

// Fills *out (set up here) from the CallableStatement.  0, ERR_MEMORY_ALLOCATION (S1001) when
// out of memory, ERR_GENERAL for an unknown value type, else the getter's number.
int fetchCallProc(DrvStmt *s, RowBlock *out);
// Sets *out up as a copy of the parameter block (heap values duplicated,
// their indicators left NULL).  0 or ERR_MEMORY_ALLOCATION.
int initCallProcRowSet(RowBlock *out, const RowBlock *params);

// Running SQL: prepare, parameter hand-over, execute per parameter set,
// block fetch into RowBlocks, more results, cancel (DRV_Prepare,
// DRV_SetParams, DRV_Execute, DRV_NotCapable, DRV_SetParamTypes, DRV_Fetch,
// DRV_MoreResults, DRV_ExecDirect, DRV_Cancel) and the internal steps they
// share.
#pragma once
#include <jni.h>

#include <cstdint>

struct DrvStmt;
struct ParamTypeDesc;
struct RowBlock;
struct RowBlockColumn;

// ERR_READ_ONLY_CONNECTION (IM916) for a statement other than a SELECT on a read-only
// connection, ERR_SYNTAX_OR_ACCESS for an escape left open, else the bridge's number.
int DRV_Prepare(int stmt, const char *sql);
// The block becomes the statement's (an earlier one is freed).  0 or ERR_INVALID_ARGUMENT.
int DRV_SetParams(int stmt, RowBlock *values);
int DRV_SetParamTypes(int stmt, uint16_t count, const ParamTypeDesc *types);
// ERR_FUNCTION_SEQUENCE before prepare, ERR_WRONG_PARAMETER_COUNT (07001)
// without parameter values, ERR_OUTPUT_PARAMS_PENDING (IM906) for a procedure
// call with output parameters, else the first failure; a failure leaves the
// row count at the parameter sets that completed.
int DRV_Execute(int stmt);
int DRV_NotCapable(int stmt, int16_t a, int16_t b, void *p);
// Fills the caller's block with up to `rows` rows; an empty block (no
// columns) marks the end of the data.  A procedure call asked for 0 rows
// gets its output parameters.  ERR_FUNCTION_SEQUENCE without a pending result.
int DRV_Fetch(int stmt, uint16_t rows, RowBlock *block);
// ERR_NO_MORE_RESULTS (IM901) when there is no further result.
int DRV_MoreResults(int stmt);
int DRV_ExecDirect(int stmt, const char *sql, RowBlock *values, int16_t typeCount,
                   const ParamTypeDesc *types);
// Cancels what the statement runs (JDBC Statement.cancel) from whatever
// thread calls it, while another may be inside a call on the statement; the
// running call then ends with the server's error (57014).  0 also when
// nothing runs; ERR_INVALID_ARGUMENT for an unknown handle, ERR_GENERAL when
// the VM refuses the thread, else the number of the cancel's own failure.
int DRV_Cancel(int stmt);
// Called by the cursor library before positioned operations; does nothing.
int fetchHook(void *);

// Runs parameter set n of a prepared statement and keeps its result.
int executeRow(DrvStmt *s, int32_t n);
// Runs the parameter sets one by one, each keeping its result, and stops at
// the first that fails: the row count then tells the sets done before it.
int executeSets(DrvStmt *s, int32_t sets);

// Reads one value of a ResultSet column or CallableStatement parameter
// (index from 1) into cell `row` of the column, with its indicator.  ERR_GENERAL for
// a value type the family does not read.
int readValue(DrvStmt *s, jobject source, bool callable, int32_t index, RowBlockColumn *col, int32_t row);

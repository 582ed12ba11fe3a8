// The combined and long-data operations of the cursor overlay
// (scs_combined.cpp): execute and describe in one call, allocate and
// prepare, the rowset's description, long values delivered in pieces,
// batches and the extended parameter types.
#pragma once
#include <cstdint>

struct BatchEntry;
struct ColDesc;
struct ParamTypeDesc;
struct ParamTypeDescEx;
struct RowBlock;
struct RowsetCache;
struct TypedValue;

int SCS_ExecDescribe(int stmt, const char *sql, RowBlock *params, uint16_t typeCount, const ParamTypeDesc *types,
                     int32_t *rowsetSize, uint16_t *colCount, ColDesc **cols, uint16_t *paramCount,
                     ColDesc **paramDescs, int32_t *rowCount);
int SCS_ExecDescribeEx(int stmt, const char *sql, RowBlock *params, uint16_t typeCount, const ParamTypeDesc *types,
                       int32_t *rowsetSize, uint16_t *colCount, ColDesc **cols, uint16_t *paramCount,
                       ColDesc **paramDescs, int32_t *rowCount, int16_t *attrCount, TypedValue **attrs);
int SCS_AllocPrepare(int conn, const char *sql, int32_t concurrency, int32_t cursorType, int *outStmt);
int SCS_DescribeRowset(int stmt, uint16_t *colCount, ColDesc **descs, RowBlock *block);
int SCS_FetchScrollLong(int stmt, RowsetCache **cache, int row, int *rowsOut, int *rowCount, int orientation);
int SCS_GetLongData(int stmt, uint16_t column, uint32_t row, int64_t pieceSize, void **piece, uint32_t *pieceLen,
                    uint32_t *valueType, int32_t *left);
int SCS_ExecBatch(int stmt, uint16_t count, const BatchEntry *entries, int16_t *done, int32_t **rowCounts);
int SCS_ExecDirectEx(int stmt, const char *sql, RowBlock *params, int16_t typeCount, const ParamTypeDescEx *types);
int SCS_SetParamTypesEx(int stmt, uint16_t count, const ParamTypeDescEx *types);

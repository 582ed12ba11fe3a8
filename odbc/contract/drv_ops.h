// The back-end operation table: 66 slots, operation n is always slot n.
// Every layer above the database reaches the back end only through a
// DrvBinding that points at such a table; overlays (cursor library, XA worker
// proxies) copy a table, replace slots and point the binding at their copy.
//
// Every slot except the XA slots 55..64 answers an ErrorTable number (0 is
// success, ERR_ names in errnum.h); the XA slots answer X/Open codes.  The
// number after each slot is its position, which the trace and the tests use.
#pragma once
#include <cstddef>
#include <cstdint>

struct ColDesc;
struct RowBlock;
struct DrvConnectParams;
struct ParamTypeDesc;
struct ErrReport;
struct TypedValue;
struct CatalogArgs;
struct XID;
struct RowsetCache;
struct CursorOptions;
struct BatchEntry;
struct ParamTypeDescEx;

struct DrvOpTable {
    int (*GetInfo)(int h, int code, void *buf, int16_t len, int16_t *outLen);           // 0
    int (*SetOption)(int h, int code, void *value);                                      // 1
    int (*GetErrors)(int h, ErrReport *out);                                             // 2
    int (*EnvOpen)(const void *openRec, int *outEnv);                                    // 3
    int (*EnvClose)(int env);                                                            // 4
    int (*Connect)(int env, DrvConnectParams *params, int *outConn);                     // 5
    int (*Disconnect)(int conn);                                                         // 6
    int (*AllocStmt)(int conn, int *outStmt);                                            // 7
    int (*FreeStmt)(int stmt);                                                           // 8
    int (*GetCursorName)(int stmt, char *buf, int16_t len, int16_t *outLen);             // 9
    int (*SetCursorName)(int stmt, const char *name);                                    // 10
    int (*Prepare)(int stmt, const char *sql);                                           // 11
    int (*SetParams)(int stmt, RowBlock *params);                                        // 12
    int (*Execute)(int stmt);                                                            // 13
    int (*NotCapable)(int stmt, int16_t a, int16_t b, void *p);                          // 14
    int (*GetColDescs)(int stmt, uint16_t *outCount, ColDesc **outCopy);                 // 15
    int (*GetParamDescs)(int stmt, uint16_t *outCount, ColDesc **outCopy);               // 16
    int (*NativeSql)(int conn, const char *sql, char *buf, int32_t len, int32_t *outLen);// 17
    int (*SetParamTypes)(int stmt, uint16_t count, const ParamTypeDesc *types);          // 18
    int (*Fetch)(int stmt, uint16_t rows, RowBlock *out);                                // 19
    int (*CloseCursor)(int stmt);                                                        // 20
    int (*Commit)(int conn);                                                             // 21
    int (*Rollback)(int conn);                                                           // 22
    int (*GetOpTable)(int conn, void *out);                                              // 23
    int (*MoreResults)(int stmt);                                                        // 24
    int (*DDColumnPrivileges)(int stmt, CatalogArgs *args);                              // 25
    int (*DDColumns)(int stmt, CatalogArgs *args);                                       // 26
    int (*DDForeignKeys)(int stmt, CatalogArgs *args);                                   // 27
    int (*DDPrimaryKeys)(int stmt, CatalogArgs *args);                                   // 28
    int (*DDProcedureColumns)(int stmt, CatalogArgs *args);                              // 29
    int (*DDProcedures)(int stmt, CatalogArgs *args);                                    // 30
    int (*DDSpecialColumns)(int stmt, CatalogArgs *args);                                // 31
    int (*DDStatistics)(int stmt, CatalogArgs *args);                                    // 32
    int (*DDTablePrivileges)(int stmt, CatalogArgs *args);                               // 33
    int (*DDTables)(int stmt, CatalogArgs *args);                                        // 34
    int (*DDGetTypeInfo)(int stmt, int16_t sqlType);                                     // 35
    // The rowset whose first row is `row` (0: the last rowset, negative:
    // counted from the end), under the statement's cursor options (null: those
    // the back end holds): a new rowset cache (caller frees) that carries the
    // absolute number of its first row, the rows in it and the row count of
    // the result (-1 unknown).
    int (*ExtendedFetch)(int stmt, const CursorOptions *options, RowsetCache **cache, int row, int *rowsOut,
                         int *rowCount);                                                  // 36
    // Positioned operation on the current rowset under the statement's cursor
    // options (as ExtendedFetch): row (from 1, or CUR_POS_ROWSET every row),
    // operation (SQL_POSITION .. SQL_ADD), lock type; a new array of row
    // statuses (caller frees) and its count; the value or marker block and
    // the result-column numbers of its columns.  Block and list are the
    // callee's unless the binding has DRVB_FREES_PARAMS.
    int (*SetPos)(int stmt, const CursorOptions *options, int32_t row, uint16_t op, uint16_t lock,
                  uint16_t **statuses, uint16_t *count, RowBlock *rowData, uint16_t *colMap,
                  uint16_t colCount);                                                     // 37
    // Data at execution gathered by the back end: ERR_NEED_DATA while it
    // wants a value, naming it by its parameter index (from 0; for SetPos an
    // entry of the column list) and row (from 0); a new array of SetPos row
    // statuses (caller frees) when the sequence ends.  The last argument is
    // scratch room the back end may use.
    int (*ParamData)(int stmt, int32_t *index, int32_t *row, uint16_t **setPosStatuses, void *scratch); // 38
    // One piece of the value ParamData asked for, with its value type
    // (ValueType), its indicator (-1, NULL, comes with no bytes) and its size
    // in bytes.
    int (*PutData)(int stmt, uint32_t valueType, int indicator, const void *piece, int64_t size); // 39
    // The next piece of a long value the back end kept (cell indicator -3):
    // arguments and answer as LongData.
    int (*LongValue)(int stmt, uint16_t column, uint32_t row, int64_t pieceSize, void **piece,
                     uint32_t *pieceLen, uint32_t *valueType, int32_t *left);               // 40
    // ExtendedFetch with the fetch orientation (ODBC SQL_FETCH_*); for
    // dynamic and mixed cursors `row` is the orientation's offset.
    int (*ScrollFetch)(int stmt, const CursorOptions *options, RowsetCache **cache, int row, int *rowsOut,
                       int *rowCount, int orientation);                                   // 41
    // Bulk operation by bookmark (SQL_UPDATE_BY_BOOKMARK ..
    // SQL_FETCH_BY_BOOKMARK) on `count` bookmarks under the statement's
    // cursor options (as ExtendedFetch); values and their column numbers for
    // an update; a new status array (caller frees), the rows done and, for a
    // fetch, a new rowset cache.  Ownership as SetPos.
    int (*BulkOperations)(int stmt, const CursorOptions *options, uint16_t op, const uint32_t *bookmarks,
                          uint16_t count, RowBlock *rowData, uint16_t *colMap, uint16_t colCount,
                          uint16_t **statuses, uint16_t *countOut, RowsetCache **rowset);   // 42
    int (*ExecDirect)(int stmt, const char *sql, RowBlock *params, int16_t typeCount,
                      const ParamTypeDesc *types);                                       // 43
    // Prepares (text given), sets parameters and types, executes and
    // describes in one call.  The rowset size is set first for a scrollable
    // cursor (the size the back end settles on comes back); new arrays of
    // column and parameter descriptions (caller frees with CD_Free) and the
    // row count (0 when unknown).  0, ERR_OUTPUT_PARAMS_PENDING or an error.
    // The parameter block is the callee's as in ExecDirect.
    int (*ExecDescribe)(int stmt, const char *sql, RowBlock *params, uint16_t typeCount,
                        const ParamTypeDesc *types, int32_t *rowsetSize, uint16_t *colCount, ColDesc **cols,
                        uint16_t *paramCount, ColDesc **paramDescs, int32_t *rowCount);        // 44
    // A statement on the connection with the cursor type and concurrency
    // set (type 0 leaves the defaults) and the text prepared when given.  A
    // failure leaves no statement; its diagnostics are the connection's.
    int (*AllocPrepare)(int conn, const char *sql, int32_t concurrency, int32_t cursorType,
                        int *outStmt);                                                       // 45
    // The layout of the current result in an empty block; with `descs`, a
    // new array (caller frees with CD_Free) of each column's value type
    // and buffer length.
    int (*DescribeRowset)(int stmt, uint16_t *colCount, ColDesc **descs, RowBlock *block);     // 46
    // As ScrollFetch under the options the back end holds; long values
    // (value types 15, 16, 26) longer than 60000
    // (bytes, characters of wide text) are set aside (cell indicator -3) and
    // read through LongData.
    int (*ScrollFetchLong)(int stmt, RowsetCache **cache, int row, int *rowsOut, int *rowCount,
                           int orientation);                                                  // 47
    // The next piece, at most pieceSize bytes (characters for wide text), of
    // the long value set aside at column and row (from 1) of the last rowset
    // of ScrollFetchLong: a new block (caller frees), its bytes, its value
    // type (1 text, 24 wide text, 14 binary) and the bytes left before this
    // piece (-4 unknown).  0 (no piece when nothing is left),
    // ERR_NO_DATA_FOUND for a cell with no such value, or an error.
    int (*LongData)(int stmt, uint16_t column, uint32_t row, int64_t pieceSize, void **piece,
                    uint32_t *pieceLen, uint32_t *valueType, int32_t *left);                  // 48
    // Runs the entries in order (statements that return rows are refused,
    // ERR_ONLY_DDL_DML); a new array of one row count per entry (caller
    // frees; -2 when unknown) and the number of entries that ran before the
    // one that stopped the batch.  Parameter blocks are the callee's as in
    // ExecDirect.
    int (*ExecBatch)(int stmt, uint16_t count, const BatchEntry *entries, int16_t *done,
                     int32_t **rowCounts);                                                    // 49
    // No operation: nothing fills or calls it.
    int (*Unused50)(int stmt);                                                           // 50
    int (*ColAttributes)(int stmt, uint16_t *outCols, int16_t *outAttrs, ColDesc **outCopy,
                         TypedValue **outAttrTable);                                     // 51
    // ExecDescribe with the column descriptions of ColAttributes: a new table of
    // column attributes (caller frees its text values and the array).
    int (*ExecDescribeEx)(int stmt, const char *sql, RowBlock *params, uint16_t typeCount,
                          const ParamTypeDesc *types, int32_t *rowsetSize, uint16_t *colCount,
                          ColDesc **cols, uint16_t *paramCount, ColDesc **paramDescs, int32_t *rowCount,
                          int16_t *attrCount, TypedValue **attrs);                            // 52
    int (*Cancel)(int stmt);                                                             // 53
    // ExecDirect with the parameter types in the named record.
    int (*ExecDirectEx)(int stmt, const char *sql, RowBlock *params, int16_t typeCount,
                        const ParamTypeDescEx *types);                                       // 54
    int (*XaClose)(int conn, const char *xaInfo, int rmid, int flags);                  // 55
    int (*XaCommit)(int conn, XID *xid, int rmid, int flags);                           // 56
    int (*XaComplete)(int conn, int *handle, int *result, int rmid, int flags);         // 57
    int (*XaEnd)(int conn, XID *xid, int rmid, int flags);                              // 58
    int (*XaForget)(int conn, XID *xid, int rmid, int flags);                           // 59
    int (*XaOpen)(int conn, int useWorker, const char *xaInfo, int rmid, int flags);    // 60
    int (*XaPrepare)(int conn, XID *xid, int rmid, int flags);                          // 61
    int (*XaRecover)(int conn, XID *xids, int count, int rmid, int flags);             // 62
    int (*XaRollback)(int conn, XID *xid, int rmid, int flags);                         // 63
    int (*XaStart)(int conn, XID *xid, int rmid, int flags);                            // 64
    // SetParamTypes with the parameter types in the named record.
    int (*ParamTypesEx)(int stmt, uint16_t count, const ParamTypeDescEx *types);            // 65
};

static_assert(sizeof(DrvOpTable) == 66 * sizeof(void *), "the operation table has 66 slots");

enum : int {
    DRVB_FREES_PARAMS = 0x1,   // the statement layer frees parameter blocks itself, no cancel
    DRVB_THREAD_SAFE = 0x2,    // the back end may be entered from several threads at once
};

struct DrvBinding {
    int flags;
    const DrvOpTable *ops;
};

// A statement's cursor: its options, where it stands and the rows of its
// current rowset.  The statement layer owns the one CursorState of each
// statement and hands the options to the cursor library with each fetch,
// SetPos and bulk operation; the connection keeps one more set of options as
// the defaults every new statement copies.
#pragma once
#include <cstdint>

struct RowBlock;
struct DrvBinding;
struct Stmt;

// The rows of a scrolling cursor's current rowset.
struct RowsetCache {
    uint16_t *status;   // one ODBC row status per row (0 success .. 5 error)
    RowBlock *block;    // owned with its columns
    int32_t rows;
    int32_t firstRow;   // absolute number of its first row; 0 unknown (dynamic and mixed cursors)
};

// Where a cursor stands, beside a row of the rowset (from 1).
enum : int32_t {
    CUR_POS_BEFORE_START = 0,
    CUR_POS_ROWSET = -2,      // every row of the rowset (SQLSetPos of row 0)
    CUR_POS_AFTER_END = -3,
};

// CursorState::flags
enum : uint16_t {
    CUR_F_ROWSET_SIZE_SET = 0x1,    // the rowset size changed since the last fetch
    CUR_F_OPTIONS_CHANGED = 0x800,  // the back end changed the cursor type or concurrency at prepare
};

// A statement's cursor options as the back end took them (ODBC values).
struct CursorOptions {
    int32_t rowsetSize;          // 1
    int32_t keysetSize;          // 0: the whole result
    int32_t cursorType;          // SQL_CURSOR_*: forward-only
    int32_t concurrency;         // SQL_CONCUR_*: read-only
    int32_t simulateCursor;      // 0
    int32_t useBookmarks;        // 0 off
    int32_t retrieveData;        // 1 on
    int32_t cursorMode;          // option KRS_STMT_CURSOR_MODE: 1 or 2
    int32_t keyInfo;             // option KRS_STMT_KEY_INFO
    int32_t addKeys;             // option KRS_STMT_ADD_KEYS
};

// Where a cursor stands in its result.
struct CursorPlace {
    int32_t rowCount;            // -1 unknown
    int32_t position;            // CUR_POS_*, or a row of the rowset
    int32_t absRow;              // absolute number of the rowset's first row
};

struct CursorState : CursorOptions, CursorPlace {
    int32_t reqCursorType;       // as the application asked, before the back end changed it
    int32_t reqConcurrency;
    uint32_t drvConn;            // back-end connection handle
    uint32_t drvStmt;            // back-end statement handle
    DrvBinding *binding;
    Stmt *stmt;
    uint16_t flags;              // CUR_F_*
    RowsetCache *cache;
    uint16_t *appStatus;         // the running fetch's row-status array
    uint32_t setPosRow;
    uint16_t setPosOp;
    uint32_t fetchDirMask;       // 0 not yet asked
    int32_t prevRowsetSize;
    int32_t secondRowCount;      // compared with the rowset size for row buffers
};


// The default options: rowset size 1, keyset 0, forward-only, read-only,
// retrieve-data on, cursor mode 1.
void CUR_OptionsInit(CursorOptions *o);
// Fills the default options, row count -1 and the position before the
// start, and records the handles, the binding and the statement.  0.
int CUR_StateInit(CursorState *cs, uint32_t drvStmt, uint32_t drvConn, DrvBinding *binding,
                  Stmt *stmt);
// CUR_StateInit, then no rowset cache, status array or fetch-direction mask,
// and the statement options copied from the connection's defaults (when
// given).  0.
int CUR_StateInitFromConn(CursorState *cs, uint32_t drvStmt, uint32_t drvConn,
                          DrvBinding *binding, Stmt *stmt, const CursorOptions *defaults);
// Frees the rowset cache.
void CUR_StateFree(CursorState *cs);
// Moves the position: CUR_POS_BEFORE_START and CUR_POS_AFTER_END also set
// the absolute row, CUR_POS_ROWSET keeps it; any other negative value or one
// past a known row count is ERR_ROW_VALUE_RANGE (S1107).  0.
int CUR_PosSet(CursorPlace *place, int32_t position);
// Row count unknown, position before the start.  0.
int CUR_PosReset(CursorPlace *place);

// Rowset cache.  RS_Create/RS_Resize answer ERR_GENERAL (S1000) for a null target or
// a row count below 1, ERR_MEMORY_ALLOCATION (S1001) when out of memory.
int RS_Create(RowsetCache **out, int32_t rows);
int RS_Resize(RowsetCache *cache, int32_t rows);
void RS_Clear(RowsetCache *cache);
void RS_Free(RowsetCache **cache);

// Asks the back end (GetInfo of the binding's table) for an ODBC information
// type: the integer types into a 4-byte buffer (ERR_INVALID_ARGUMENT when bufLen is below 4),
// the text types 11, 17, 29 and 47 cut to the buffer (ERR_DATA_TRUNCATED when cut); any
// other type is ERR_OPTION_TYPE_RANGE (S1092), not asked.
int CUR_DrvGetInfo(const DrvBinding *binding, uint32_t drvConn, uint16_t type, void *buf, int16_t bufLen,
                   int16_t *outLen);
// The bookmark of rowset row i (from 0): ERR_INVALID_ARGUMENT (S1009) for no target or a row
// past the rowset, ERR_INVALID_CURSOR_STATE (24000) before the first or after the last
// rowset, ERR_NOT_CAPABLE (S1C00) for a cursor without bookmarks (forward-only, dynamic,
// mixed).
int CUR_BookmarkGet(CursorState *cs, uint32_t i, int32_t *bookmark);
// The absolute row number of rowset row i, 0 for cursors without one; ERR_INVALID_CURSOR_POSITION
// (S1109) for a row whose status is an error.
int CUR_RowBookmark(CursorState *cs, uint32_t i, int32_t *bookmark);
// Row statuses of a rowset cache, rows from 1; 5 (error) without a cache.
uint16_t CUR_RowStatusGet(const RowsetCache *cache, int32_t row);
void CUR_RowStatusSet(RowsetCache *cache, int32_t row, uint16_t status);

// Where a scroll fetch lands, as CUR_ClassifyTarget answers it.
enum CurTargetClass : int {
    CUR_TARGET_UNKNOWN = 0,      // ahead of what is known: fetch it
    CUR_TARGET_BEFORE = 1,       // before the start
    CUR_TARGET_PART_BEFORE = 2,  // partly before the start: the first rowset
    CUR_TARGET_INSIDE = 3,
    CUR_TARGET_PAST_END = 4,     // runs past the end: a partial rowset
    CUR_TARGET_AFTER = 5,        // after the end
};

// The class of a rowset starting at target row t, for current row c, rowset
// size r and row count n (-1 unknown).
int CUR_ClassifyTarget(int32_t c, int32_t t, int32_t r, int32_t n);
// The first row of the rowset an orientation (ODBC SQL_FETCH_*) and offset k
// ask for, from current absolute row c (-3 after the end), row count n (-1
// unknown), rowset size r and previous rowset size p; the row goes to
// *target when given.  The answer is the target's class.  Rows beyond the
// 32-bit range are held at its ends, which lie outside any result.
int CUR_TargetRow(uint16_t orientation, int32_t k, int32_t c, int32_t n, int32_t r, int32_t p, int32_t *target);

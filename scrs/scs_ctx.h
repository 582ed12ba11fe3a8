// The cursor library's private view: the overlay's tables, the per-statement
// cursor context and the routines every kind of cursor shares (overlay,
// analysis, metadata, key columns, ORDER BY, execution and fetch, catalog
// operations).  The routines of one kind of cursor have headers of their
// own: scs_static.h (static), scs_keyset.h (keys and keyset-driven fetch),
// scs_dynmix.h (dynamic and mixed), scs_rowlocks.h (row locks and compared
// values), scs_setpos.h (positioned operations), scs_combined.h (combined
// and long-data operations); scs_owners.h holds the owners of what must be
// released on every path.
//
// The library reaches the back end only through the operation table.  A
// statement's context is kept here, by its back-end statement handle.  The
// statement's cursor options come with each fetch, SetPos and bulk
// operation; the calls that bring none (prepare, execute, catalog ...) read
// the options the back end stores through DRV_GetInfo when they start.
#pragma once
#include "odbc/contract/cursor_state.h"
#include "odbc/contract/drv_ops.h"
#include "odbc/contract/param_types.h"
#include "odbc/contract/rowblock.h"
#include "scrs/scr_analyse.h"
#include "scrs/sc_dataset.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct ColDesc;
struct TypedValue;
struct DrvConnectParams;
struct HashTable;
struct StaticSet;
struct DynArray;
struct RowBlock;
struct KeySet;
struct RvcBinding;
class PL_CriticalSection;

// scsFlags bits.
enum : uint16_t {
    SCS_F_REBUILD_KEYFETCH = 0x0001,   // the fetch-by-keys statement must be rebuilt
    SCS_F_KEY_ORDER_BY = 0x0002,       // the analysis holds the key ORDER BY
    SCS_F_KEYFETCH_PREPARED = 0x0004,  // the fetch-by-keys statement is prepared
    SCS_F_PARAMS_SAVED = 0x0008,       // savedParams holds the application's values
    SCS_F_STATIC_FILLED = 0x0080,      // the static set holds the whole result
    SCS_F_KEYSET_SIZE_SET = 0x0100,    // the mixed cursor's window is reset at the next fetch
    SCS_F_ANALYSED = 0x0200,           // the next analysis first forgets this one
    SCS_F_REPREPARE = 0x0400,          // the text is prepared again before the next execute
    SCS_F_KEYS_ADDED = 0x1000,         // the select list was completed with key columns
    SCS_F_THROUGH_LIBRARY = 0x8000,    // prepared or executed through the library
};

// refetchFlags: what refetchStmt holds prepared.
enum : uint16_t {
    SCS_RF_EXISTING_KEYS = 0x10,    // the existing-keys SELECT
    SCS_RF_VALUE_REFETCH = 0x20,    // the value refetch of optimistic concurrency
};

// clauseFlags of a statement that is not a SELECT.
constexpr uint16_t SCS_CLAUSE_NOT_SELECT = 0x200;

// Cursor types and concurrencies as the back end stores them (ODBC values).
enum : int32_t { SCS_FORWARD_ONLY = 0, SCS_KEYSET = 1, SCS_DYNAMIC = 2, SCS_STATIC = 3 };
enum : int32_t { SCS_READ_ONLY = 1, SCS_LOCK = 2, SCS_VALUES = 4 };

// A keyset query of key windows, kept prepared on a back-end statement of
// its own so that a window read only binds its boundary values.
struct KsKeyQuery {
    uint32_t stmt = 0;       // 0 until the first read that needs it
    std::string source;      // what the prepared text was made from; empty: none
};
// One per kind of read: FIRST, LAST, forward and backward past a boundary
// row, forward and backward from it.
constexpr int KS_KEY_QUERIES = 6;

// A statement's cursor context.
struct ScsContext {
    CursorOptions opts{};           // the statement's options as the library serves them
    CursorPlace place{-1, CUR_POS_BEFORE_START, CUR_POS_BEFORE_START};  // where the library's cursor stands
    uint32_t drvStmt = 0;           // the context's back-end statement and its connection
    uint32_t drvConn = 0;
    int32_t prevRowsetSize = 0;     // the size of the last dynamic or mixed rowset (NEXT moves by it)
    int32_t dynSensitive = 0;       // the connection keeps row versions for dynamic cursors
    uint32_t compareSet = 1;        // 1 table columns, 2 select-list columns
    uint32_t fixedTextNul = 0;
    int32_t ksWindowState = -6;
    uint16_t scsFlags = 0;
    DynArray *fromTables = nullptr;   // ScrTableRef
    DynArray *tableCols = nullptr;    // ScrColumnRef
    DynArray *orderByCols = nullptr;  // OrderByColDesc
    DynArray *selectCols = nullptr;   // ScrColumnRef
    DynArray *keyCols = nullptr;      // ScrColumnRef: the key columns (none until keysets exist)
    RowBlock *savedParams = nullptr;
    uint16_t clauseFlags = 0;
    char *stmtText = nullptr;
    ScrAnalysedSql analysis{};
    uint32_t posStmt = 0;
    uint32_t refetchStmt = 0;
    uint16_t rsltColCount = 0;
    ColDesc *rsltColDescs = nullptr;
    uint32_t sendParamTypes = 0;
    uint16_t genParamTypeCount = 0;
    ParamTypeDesc *genParamTypes = nullptr;
    uint16_t appParamTypeCount = 0;
    ParamTypeDesc *appParamTypes = nullptr;
    uint32_t lockByUpdate = 0;
    char identQuote = 0;
    uint32_t quotedIdentCase = 4;
    uint32_t identCase = 1;
    int32_t maxParams = 255;
    char *userName = nullptr;
    char *dbmsName = nullptr;
    uint16_t sortKeyCount = 0;
    StaticSet *staticSet = nullptr;
    int32_t posRowCount = -1;
    uint32_t noCatalogs = 0;
    uint32_t utf8Catalog = 0;
    int16_t maxOrderByCols = 0;
    int32_t keyTableCount = 0;       // FROM tables the key columns were looked up for
    uint32_t attrKeyInfo = 0;        // statement attribute 1052: key and expression columns reported
    uint32_t attrAddKeys = 0;        // statement attribute 1054: missing key columns added to the select list
    // The back end's words of the statement: the cursor type a forward-only
    // statement is served with (0 forward-only), and 1 when one-statement
    // emulation makes every forward-only SELECT a static one.
    int32_t cursorDefault = 0;
    int32_t forceStatic = 0;
    int32_t forcedDeclined = 0;      // this statement runs forward-only whatever the words say
    int32_t typeForced = 0;          // the cursor type is the words', not the statement's
    // The cursor type and concurrency the last analysis replaced by static
    // and read-only in the back end (-1 none); the statement layer learns of
    // a change only when it prepares.
    int32_t replacedType = -1;
    int32_t replacedConcurrency = -1;

    // Keysets, row locks and optimistic concurrency.
    KeySet *keySet = nullptr;         // the cursor's keys (scs_keyset.h)
    RowBlock *keysetBounds = nullptr; // first and last key rows of the last key window
    int16_t nullCollation = 0;        // SQL_NULL_COLLATION
    ScrAnalysedSql keysetAnalysis{};  // the keyset query
    KsKeyQuery keyQueries[KS_KEY_QUERIES];  // keyset queries of key windows
    ScrAnalysedSql refetchAnalysis{}; // the text prepared on refetchStmt
    uint16_t refetchFlags = 0;        // SCS_RF_*
    RowBlock *compareValues = nullptr;  // current compare-column values of the rowset rows
    DataSetCache valueCache{};        // static cursors: every row's compare values
    int32_t valueCacheStart = 0;      // first row of valueCache's window
    RowBlock *posRowData = nullptr;   // row values of the last positioned operation
    uint16_t *posColMap = nullptr;    // their result-column numbers
    RvcBinding *rvcBinding = nullptr; // row versions of a sensitive dynamic cursor
    uint32_t keyFetchGroups = 0;      // key groups of the prepared fetch-by-keys SELECT
    uint32_t existingKeysGroups = 0;  // key groups of the prepared existing-keys SELECT
    uint32_t valueRefetchGroups = 0;  // key groups of the prepared value-refetch SELECT

    // Long values set aside from the last rowset of SCS_FetchScrollLong, and
    // which of them SCS_GetLongData is delivering (column and row from 1,
    // 0 none), from which byte, with how many bytes still to come.
    RowBlock longValues{};
    int32_t longValueCol = 0;
    int32_t longValueRow = 0;
    uint64_t longValueOffset = 0;
    uint64_t longValueLeft = 0;

    // This library's own bookkeeping.
    int32_t unparsedSelect = 0;      // a SELECT the analyser could not parse, served static
    int32_t catalogStatic = 0;       // a catalog result served as a static read-only cursor
    int32_t infoLoaded = 0;          // the data source's identifier rules were asked
    std::string preparedText;        // the text the back end holds prepared
    int32_t prepared = 0;            // the back end holds a prepared text
    std::vector<std::string> auxTexts;  // diagnostics moved from the auxiliary statements
};

// ---- the overlay (scs_install.cpp) ----

// The back end's own table, reached by every call the library passes down.
const DrvOpTable *ScsLower();
const DrvBinding *ScsLowerBinding();
// The connections the registry holds for a back-end environment.
int scs_p_RegisteredConnections(int env);
// The parameters a connection was opened with (texts owned by the
// registry): 0, or ERR_INVALID_ARGUMENT for a connection the registry does not know.
int scs_p_ConnParamsFind(int conn, DrvConnectParams *out);
// The back-end environment a registered connection was opened in: 0, or ERR_INVALID_ARGUMENT.
int scs_p_ConnEnv(int conn, int *env);
// The lock of the per-environment lists (the connect-parameter registry and
// the row-version connections); recursive.
PL_CriticalSection &scs_p_ListLock();
// A connection's cache of key columns by FROM tables, or NULL.
HashTable *scs_p_KeyColCache(int conn);
// The context of a back-end statement handle, or NULL.
ScsContext *scs_p_CtxFind(int stmt);

// Reads the statement options the back end keeps into the context.
void scs_p_OptionsSync(ScsContext *ctx);
// Takes the options a fetch, SetPos or bulk operation hands over (null: the
// back end's).  A cursor type or concurrency the library itself replaced when
// it analysed the statement stays replaced while the statement still holds
// the value it replaced.
void scs_p_OptionsTake(ScsContext *ctx, const CursorOptions *handed);
// The cursor type and concurrency the context serves (a catalog result is
// static and read-only whatever the statement asked).
int32_t scs_p_CursorType(const ScsContext *ctx);
int32_t scs_p_Concurrency(const ScsContext *ctx);

int scs_p_CtxInit(ScsContext *ctx, uint32_t stmt, uint32_t conn);
// Asks the data source's identifier rules, user and DBMS names once, when a
// statement is first analysed for a scrollable cursor.
void scs_p_CtxInfoLoad(ScsContext *ctx);
void scs_p_CtxFree(ScsContext *ctx);
// The static set, made when a statement first needs one.  0, ERR_GENERAL, ERR_MEMORY_ALLOCATION.
int scs_p_StaticSetReady(ScsContext *ctx);

// Drains the auxiliary statements' diagnostics onto the context; the
// owner's next DRV_GetErrors hands them out behind its own.
void scs_p_AuxDiagsMove(ScsContext *ctx);
// Queues an error of the table behind them, as the back end reports a
// number it posts itself.
void scs_p_ErrPostCode(ScsContext *ctx, int number);

// ---- analysis (scs_analyse.cpp) ----

int SCS_Prepare(int stmt, const char *sql);
int SCS_CloseCursor(int stmt);
int scs_p_AnalyseCursorStmt(ScsContext *ctx, const char *text);
// Logs (debug) an analysis that failed: the text, the analyser's report and
// the text up to the error; `src` names the part of the library.
void scs_p_AnalysisFailureLog(const char *src, const char *text, const ScrAnalysedSql *sql);
int scs_p_ChkKeysetStmt(const ScsContext *ctx);
int scs_p_ChkUpdatable(const ScsContext *ctx);
int scs_p_ChangeCursorType(ScsContext *ctx);
// Frees the result descriptions and the parameter types the context holds.
void scs_p_DescriptionsFree(ScsContext *ctx);
void scs_p_AnalysisReset(ScsContext *ctx);
// The current text of an analysed statement: the library's rewritten text
// (kept in echo) when there is one, else the regenerated statement.
const char *scs_p_AnalysisText(const ScrAnalysedSql *sql);

// ---- metadata (scs_meta.cpp) ----

int scs_p_GetTblDescs(ScsContext *ctx, ScrTableRef *tables, uint32_t count);
// The session's schema, where the server looks first for an unqualified table.
int scs_p_SessionSchema(ScsContext *ctx, std::string *out);
int scs_p_GetTblColDescs(ScsContext *ctx, const ScrTableRef *tables, uint32_t count, int skipLong,
                         DynArray *out);
// Reads the whole open result of a statement behind the rows *rows holds,
// `chunk` rows a fetch.  0 or the fetch's number.
int scs_p_CatalogRowsRead(int stmt, uint16_t chunk, RowBlock *rows);
int scs_p_CatalogValueGet(const RowBlock *block, int col, int32_t row, const char **narrow,
                          const uint16_t **wide, uint32_t *length);
// A catalog cell as UTF-8 text without quotes: false for NULL or a value
// that is no text.
bool scs_p_CatalogCellText(const ScsContext *ctx, const RowBlock *block, int col, int32_t row, std::string *out);
// An integer catalog cell; 0 for NULL.
int32_t scs_p_CatalogCellInt(const RowBlock *block, int col, int32_t row);
int scs_p_SelectColsGet(ScsContext *ctx, DynArray **out, DynArray **items);
void scs_p_NormaliseIdent(char *text, char quote, uint32_t quotedCase, uint32_t identCase, int utf8,
                          int requote);
int scs_p_IdentEqual(const char *a, const char *b, char quote, uint32_t quotedCase, uint32_t identCase,
                     int utf8);
int scs_p_IsPseudoColumn(const char *column, const char *dbmsName);
char *scs_p_QualifyColName(int32_t tableCount, const ScrColumnRef *col);
ScrColumnRef *scs_p_FindColDesc(DynArray *cols, const ScrColumnRef *wanted, uint32_t *index);
// Gives each plain select column the catalog spelling of the table column
// it names (column, table, alias, owner, qualifier).
void scs_p_SelectCol_ColDescComplete(ScsContext *ctx);
// 1 when the select column is one of the key columns / an expression.
int scs_p_IsKeyCol(const ScsContext *ctx, const ScrColumnRef *col);
int scs_p_IsExprCol(const ScrColumnRef *col);
int scs_p_LoadRsltColDescs(ScsContext *ctx);
int scs_p_GetRsltColDesc(ScsContext *ctx, int col, const ColDesc **out);
void scs_p_ColDescToParamType(const ScrColumnRef *col, ParamTypeDesc *out);
int scs_p_AddParamDescs(ScsContext *ctx, const ScrColumnRef *cols, uint32_t n, int addApp);
// Batches of a fetch by keys: ERR_GENERAL when the key columns leave no room for one
// key group in a statement.
int scs_p_GetKeyFetchBatches(int32_t maxParams, int32_t appParams, int32_t keyCols, int32_t rowsetSize,
                             int32_t *statements, int32_t *lastRows, int32_t *rowsPerStmt);

// ---- key columns (scs_keycols.cpp) ----

// The key columns of the FROM tables (ScrTableRef) into keyCols, from the connection's
// key-column cache or from the catalog (best row identifier, then a unique index, then the
// primary key; see ks_KeyColsChoose), asked on posStmt under each table's own schema or
// the session's.  0; ERR_NO_KEY_COLUMNS when a table has no key; ERR_GENERAL,
// ERR_MEMORY_ALLOCATION or a back-end number.  A failure leaves keyCols as far as it was
// built and caches nothing.
int KS_GetKeyColDescs(ScsContext *ctx, const DynArray *tables);

// ---- ORDER BY (scs_order.cpp) ----

int scs_p_OrderByColsGet(ScsContext *ctx);
int scs_p_OrderByOrdinalsResolve(ScsContext *ctx);
void scs_p_OrderByColsNormalise(ScsContext *ctx);
int scs_p_KeySetOrderGet(ScsContext *ctx);
void scs_p_KeyColsOrderByMark(ScsContext *ctx);
// Rewrites the analysed select list of a forward-only statement with
// attribute 1052 or 1054: wildcards expanded into the tables' columns, and
// with 1054 the key columns it lacks appended (to selectCols as well); the
// other items keep their text.  *rewritten 1 when the analysis holds a new
// text.  0, ERR_GENERAL, ERR_MEMORY_ALLOCATION or the analyser's number.
int scs_p_SelListAddKeysnXpandWC(ScsContext *ctx, DynArray *rawItems, int *rewritten);
// The ordinal resolution against a given select list (the part of
// scs_p_OrderByOrdinalsResolve that needs no catalog).
int scs_p_OrderByOrdinalsApply(DynArray *orderBy, const DynArray *selectCols, int32_t tableCount);

// ---- execution and fetch (scs_exec.cpp) ----

int SCS_SetParams(int stmt, RowBlock *params);
int SCS_SetParamTypes(int stmt, uint16_t count, const ParamTypeDesc *types);
int SCS_Execute(int stmt);
// SCS_GetParamDescs: the parameters of the application's statement, prepared on it
// again first (and its markers described) when a closed cursor left the
// library's own text there.
int SCS_GetParamDescs(int stmt, uint16_t *outCount, ColDesc **outCopy);
int SCS_ExecDirect(int stmt, const char *sql, RowBlock *params, int16_t typeCount,
                   const ParamTypeDesc *types);
int SCS_Fetch(int stmt, uint16_t rows, RowBlock *out);
int SCS_MoreResults(int stmt);
int SCS_GetInfo(int h, int code, void *buf, int16_t len, int16_t *outLen);
int SCS_FetchScroll(int stmt, const CursorOptions *options, RowsetCache **cache, int row, int *rowsOut,
                    int *rowCount, int orientation);
int SCS_ExtendedFetch(int stmt, const CursorOptions *options, RowsetCache **cache, int row, int *rowsOut,
                      int *rowCount);
// Sends the kept parameter values and types again after the library
// prepared a text of its own on the application's statement.
int scs_p_ParamsResend(ScsContext *ctx);

// Catalog operations: a scrollable statement gets their result as a static
// read-only cursor.
int SCS_DDColumnPrivileges(int stmt, CatalogArgs *args);
int SCS_DDColumns(int stmt, CatalogArgs *args);
int SCS_DDForeignKeys(int stmt, CatalogArgs *args);
int SCS_DDPrimaryKeys(int stmt, CatalogArgs *args);
int SCS_DDProcedureColumns(int stmt, CatalogArgs *args);
int SCS_DDProcedures(int stmt, CatalogArgs *args);
int SCS_DDSpecialColumns(int stmt, CatalogArgs *args);
int SCS_DDStatistics(int stmt, CatalogArgs *args);
int SCS_DDTablePrivileges(int stmt, CatalogArgs *args);
int SCS_DDTables(int stmt, CatalogArgs *args);
int SCS_DDGetTypeInfo(int stmt, int16_t sqlType);

// ---- shared by the overlay's operations (scs_combined.cpp) ----

// Moves the long values (value types 15, 16, 26) longer than 60000 (bytes,
// characters of wide text) out of a fetched block into `side` (emptied first): the block's cell
// becomes empty with indicator -3, the side cell takes the value.  Side
// cells of other columns and of values left in the block are NULL.  0, or
// ERR_MEMORY_ALLOCATION with the block unchanged and `side` empty.
int scs_p_LongDataDetach(RowBlock *block, RowBlock *side);
// Empties the context's long values and forgets the reading position.
void scs_p_LongValuesReset(ScsContext *ctx);
// 1 when the first word of the text is SELECT / CALL (any case).
int scs_p_IsSelectStmt(const char *text);
int scs_p_IsCallStmt(const char *text);
// A parameter block handed to an operation that owns it but never passed
// it on: freed unless the library's binding has its caller free blocks.
void scs_p_ParamsRelease(RowBlock *params);
// Prepare (text given), parameter values, `setTypes`, execute: the steps of
// SCS_ExecDirect on a scrolling cursor.  A block that never reaches
// SCS_SetParams is released here.
int scs_p_RunDirect(int stmt, const char *sql, RowBlock *params, const std::function<int()> &setTypes);

// The statements of the library (for operations that allocate one).
int scs_p_StmtAlloc(int conn, int *outStmt);
int scs_p_StmtFree(int stmt);
// Diagnostics the library keeps for a connection (a statement that failed
// and is gone left them there): `texts` replace what was kept, and the
// back end's own chain of the connection is emptied.  Handed out behind the
// connection's own at its next DRV_GetErrors.
void scs_p_ConnDiagsSet(int conn, int32_t firstNative, std::vector<std::string> texts);
bool scs_p_ConnDiagsTake(int conn, int32_t *firstNative, std::vector<std::string> *texts);
void scs_p_ConnDiagsDrop(int conn);

// The moves of dynamic and mixed cursors, apart from the statements that
// carry them out, so that each decision can be followed on its own.
//
// A mixed cursor keeps a window of keyset-size keys and moves inside it
// without asking the database; a rowset that leaves it makes the window be
// read again (KS_GetKeySet).  A dynamic cursor reads a window of one rowset
// for every fetch and fetches its rows by key.
#pragma once
#include <cstdint>

struct RowsetCache;
struct ScsContext;

// Key-window states of a mixed cursor (ksWindowState).
enum : int32_t {
    KSW_NONE = -6,      // no usable window
    KSW_PAST_END = -5,  // a forward read found no further key
    KSW_AT_END = -3,    // the window ends at the end of the result
    KSW_AT_START = -2,  // the window begins at the first row of the result
    KSW_INSIDE = -1,    // the window lies somewhere inside the result
};

// Dynamic cursors' current absolute row.
enum : int32_t { KSD_INSIDE = -1, KSD_REACHED_END = -4 };

// A key window as a mixed cursor's move sees it.
class KsWindow {
public:
    virtual ~KsWindow() = default;
    // Reads a window as KS_GetKeySet does: 0, ERR_NO_DATA_FOUND when it is empty (the
    // window then holds no key), or an error.
    virtual int read(int16_t orientation, int32_t offset) = 0;
    // Keys the window holds.
    virtual int32_t keys() const = 0;
};

// Chooses the window row *a (from 0) of a mixed cursor's next rowset for an
// orientation (RELATIVE with offset), reading windows where the rowset leaves the
// one held; cur is the 1-based window row of the current rowset and
// prevRowsetSize the size it was fetched with (NEXT moves by it).  *state moves
// with the window.  0; ERR_FETCH_BEFORE_FIRST_ROWSET (01S06) the first rowset in
// place of one that began before it; ERR_NO_DATA_FOUND no row after the current
// rowset; ERR_BEFORE_START no row before it; ERR_FETCH_TYPE_RANGE for another
// orientation; the read's own errors.
int scs_p_MixedMove(KsWindow &w, int32_t *state, int32_t cur, int32_t keysetSize, int32_t rowsetSize,
                    int32_t prevRowsetSize, int16_t orientation, int32_t offset, int32_t *a);

// A dynamic cursor's rowsets as its move sees them.
class KsRowsetSource {
public:
    virtual ~KsRowsetSource() = default;
    // Reads a window of one rowset by orientation: 0, ERR_NO_DATA_FOUND when the window is
    // empty, or an error.
    virtual int readWindow(int16_t orientation, int32_t offset) = 0;
    // Fetches the rows of the window read last, reading the window again
    // where it stands while rows vanish: 0 with *rows set, ERR_NO_DATA_FOUND when the
    // window became empty, or an error.
    virtual int fetchRows(int32_t *rows) = 0;
    // A window and its rows: readWindow, then fetchRows.
    virtual int refetch(int16_t orientation, int32_t offset, int32_t *rows) = 0;
    // Keys of the window read last.
    virtual int32_t keysHeld() const = 0;
};

// Fetches a dynamic cursor's next rowset: *absRow is the cursor's current absolute
// row (KSD_INSIDE, KSD_REACHED_END, CUR_POS_BEFORE_START, CUR_POS_AFTER_END),
// *rowCount the row count (-1 unknown).  0; ERR_FETCH_BEFORE_FIRST_ROWSET (01S06)
// the first rowset in place of one that began before it; ERR_NO_DATA_FOUND (an
// empty result on FIRST or LAST); ERR_BEFORE_START before the start and
// ERR_BEYOND_END beyond the end (*absRow then CUR_POS_BEFORE_START or
// CUR_POS_AFTER_END); ERR_FETCH_TYPE_RANGE; the refetch's own errors.
int scs_p_DynamicMove(KsRowsetSource &src, int32_t *absRow, int32_t *rowCount, int32_t rowsetSize,
                      int16_t orientation, int32_t offset);

// ---- the statements of dynamic and mixed cursors (scs_dynmix.cpp) ----

int scs_p_FetchDynamic(ScsContext *ctx, int32_t offset, int16_t orientation, RowsetCache *rowset);
// A dynamic cursor's next rowset: a key window by orientation
// (scs_p_DynamicWindowRead), then its rows (scs_p_DynamicRowsFetch).
int scs_p_RefetchDynamic(ScsContext *ctx, int16_t orientation, int32_t offset, RowsetCache *rowset);
// Reads the key window of a dynamic cursor's next rowset by orientation
// (KS_GetKeySet), the statement's previous result closed first.  0,
// ERR_NO_DATA_FOUND for an empty window, or the read's number.
int scs_p_DynamicWindowRead(ScsContext *ctx, int16_t orientation, int32_t offset);
// The rows of the dynamic cursor's key window read last, by key; the window
// is read again where it stands (at most twice) while rows vanish in
// between.  0, ERR_NO_DATA_FOUND when the window became empty,
// ERR_KEYSET_TOO_MANY_UPDATES when the rows kept changing, or the fetch's
// number.
int scs_p_DynamicRowsFetch(ScsContext *ctx, RowsetCache *rowset);
int scs_p_FetchMixed(ScsContext *ctx, int32_t offset, int16_t orientation, RowsetCache *rowset);
// Reads the current compare values of the first `keys` key rows of a
// dynamic cursor's window into compareValues (row k at key row k), in the
// batches of the fetch-by-keys SELECT prepared last.  0, ERR_GENERAL or the read's
// number.
int scs_p_WindowValuesRead(ScsContext *ctx, int32_t keys);
// The rest of a dynamic cursor's positioned UPDATE for the `count` key rows
// it changed (statuses[i] that of keyRows[i], 2 on entry): their compare
// values refreshed, and with row versions their new versions stored as the
// cursor's own; a row whose version cannot be stored gets status 5.  0 or
// a number.
int scs_p_DynamicRowsUpdated(ScsContext *ctx, const int32_t *keyRows, uint16_t *statuses, int32_t count);

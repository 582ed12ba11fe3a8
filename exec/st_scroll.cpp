// Moving a scrollable cursor by rowsets: SQLFetchScroll and SQLFetch of a
// cursor that is not forward-only, SQLExtendedFetch, the cursor move with
// its before-start and after-end rules, the rowset request to the cursor
// library and the fill of the application's bound rowset.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "exec/st_internal.h"
#include "odbc/conn.h"
#include "odbc/desc_rec.h"
#include "odbc/dispatch.h"
#include "odbc/stmt.h"

namespace {

// ODBC fetch orientations.
enum : uint16_t {
    OR_NEXT = SQL_FETCH_NEXT,
    OR_FIRST = SQL_FETCH_FIRST,
    OR_LAST = SQL_FETCH_LAST,
    OR_PRIOR = SQL_FETCH_PRIOR,
    OR_ABSOLUTE = SQL_FETCH_ABSOLUTE,
    OR_RELATIVE = SQL_FETCH_RELATIVE,
    OR_BOOKMARK = SQL_FETCH_BOOKMARK,
};

// The orientations the scrolling fetch serves, whatever else the back end's
// fetch-direction mask says.
constexpr uint32_t kServedDirections = SQL_FD_FETCH_NEXT | SQL_FD_FETCH_FIRST | SQL_FD_FETCH_LAST |
                                       SQL_FD_FETCH_PRIOR | SQL_FD_FETCH_ABSOLUTE | SQL_FD_FETCH_RELATIVE |
                                       SQL_FD_FETCH_BOOKMARK;

bool IsMixed(const CursorState &cs) { return cs.cursorType == SQL_CURSOR_KEYSET_DRIVEN && cs.keysetSize != 0; }
bool IsDynamicOrMixed(const CursorState &cs) { return cs.cursorType == SQL_CURSOR_DYNAMIC || IsMixed(cs); }
// Cursors whose rows have absolute numbers: keyset-driven over the whole
// result, and static.
bool HasAbsoluteRows(const CursorState &cs)
{
    return (cs.cursorType == SQL_CURSOR_KEYSET_DRIVEN && cs.keysetSize == 0) || cs.cursorType == SQL_CURSOR_STATIC;
}

int32_t Offset32(int64_t k) { return k > INT32_MAX ? INT32_MAX : k < INT32_MIN ? INT32_MIN : static_cast<int32_t>(k); }

// Leaves the cursor before the start or after the end with no rows.
int PlaceOutside(CursorState *cs, int32_t position, uint32_t *rowsOut)
{
    RS_Free(&cs->cache);
    CUR_PosSet(cs, position);
    *rowsOut = 0;
    return ERR_NO_DATA_FOUND;
}

// One rowset from the cursor library: the library's "before the start" and
// "beyond the end" become the cursor's place with SQL_NO_DATA, its "first
// rowset in place of one that began before it" sets *firstInstead.
int FetchStep(CursorState *cs, uint16_t orientation, int32_t target, uint32_t *rowsOut, bool *firstInstead)
{
    int rc = CUR_DrvFetch(cs, orientation, target, rowsOut);
    if (rc == ERR_FETCH_BEFORE_FIRST_ROWSET) {
        *firstInstead = true;
        rc = 0;
    }
    if (rc == ERR_BEFORE_START || rc == ERR_BEYOND_END)
        return PlaceOutside(cs, rc == ERR_BEFORE_START ? CUR_POS_BEFORE_START : CUR_POS_AFTER_END, rowsOut);
    if (rc == ERR_NO_DATA_FOUND)
        *rowsOut = 0;
    return rc;
}

// RELATIVE k from before the start (k > 0) or after the end (k < 0) is the
// move ABSOLUTE k.  A dynamic or mixed cursor has no absolute rows, so it is
// made of two moves: FIRST and then RELATIVE k - 1, or LAST and then a
// RELATIVE from the last rowset to the row k counts back from the end.
int FetchFromOutside(CursorState *cs, int32_t k, uint32_t *rowsOut, bool *firstInstead)
{
    const int64_t R = cs->rowsetSize;
    int rc = FetchStep(cs, k > 0 ? OR_FIRST : OR_LAST, 0, rowsOut, firstInstead);
    if (rc != 0)
        return rc;
    // The cursor stands on that rowset now, whatever the second move answers
    // (a mixed cursor keeps "past the end" in its own window state).
    cs->position = 1;
    cs->absRow = -1;
    *firstInstead = false;
    int64_t d = 0;
    bool passedStartIsBefore = false;
    if (k > 0) {
        d = static_cast<int64_t>(k) - 1;
    } else if (*rowsOut < R) {
        // The last rowset holds the whole result: the target is counted in it.
        d = static_cast<int64_t>(*rowsOut) + k;
        if (d < 0) {
            // More rows back than the result has: before the start, unless
            // the move stays within a rowset of it (then the first rowset).
            if (-static_cast<int64_t>(k) > R)
                return PlaceOutside(cs, CUR_POS_BEFORE_START, rowsOut);
            *firstInstead = true;
            return 0;
        }
    } else {
        // The last rowset starts R - 1 rows before the last row; a target
        // before the first row lies more than a rowset back, which ends
        // before the start.
        d = static_cast<int64_t>(k) + R;
        passedStartIsBefore = true;
    }
    if (d == 0)
        return 0;
    RS_Free(&cs->cache);
    rc = FetchStep(cs, OR_RELATIVE, Offset32(d), rowsOut, firstInstead);
    if (rc == 0 && *firstInstead && passedStartIsBefore) {
        *firstInstead = false;
        return PlaceOutside(cs, CUR_POS_BEFORE_START, rowsOut);
    }
    return rc;
}

} // namespace

int CUR_DrvFetch(CursorState *cs, uint16_t orientation, int32_t target, uint32_t *rowsOut)
{
    Stmt *s = cs->stmt;
    const DrvOpTable *ops = cs->binding ? cs->binding->ops : nullptr;
    int rows = 0;
    int rc;
    if (s && s->conn && s->conn->cn_hasDynMixCurs)
        rc = ops && ops->ScrollFetch ? ops->ScrollFetch(static_cast<int>(cs->drvStmt), cs, &cs->cache, target, &rows,
                                                        &cs->rowCount, orientation)
                                     : ERR_NOT_CAPABLE;
    else
        rc = ops && ops->ExtendedFetch
                 ? ops->ExtendedFetch(static_cast<int>(cs->drvStmt), cs, &cs->cache, target, &rows, &cs->rowCount)
                 : ERR_NOT_CAPABLE;
    *rowsOut = rows > 0 ? static_cast<uint32_t>(rows) : 0;
    if (rc != 0 && s)
        StmtFetchErrors(s);
    return rc;
}

int CUR_FetchScroll(CursorState *cs, uint16_t o, int32_t k, uint32_t *rowsOut)
{
    *rowsOut = 0;
    RS_Free(&cs->cache);
    if (!(cs->flags & CUR_F_ROWSET_SIZE_SET))
        cs->prevRowsetSize = cs->rowsetSize;
    const int32_t type = cs->cursorType;
    if (type == SQL_CURSOR_FORWARD_ONLY && o != OR_NEXT)
        return ERR_FETCH_TYPE_RANGE;
    if (cs->fetchDirMask == 0) {
        uint32_t mask = 0;
        PL_CsGuard connect(API_ConnectLock());
        if (CUR_DrvGetInfo(cs->binding, cs->drvConn, SQL_FETCH_DIRECTION, &mask, 4, nullptr) == 0)
            cs->fetchDirMask = mask & kServedDirections;
    }
    if (o < 1 || o > 32 || !(cs->fetchDirMask & (1u << (o - 1))))
        return ERR_FETCH_TYPE_RANGE;
    const bool absolute = HasAbsoluteRows(*cs);
    const bool dynMixed = IsDynamicOrMixed(*cs);
    if (cs->absRow == -1 && absolute && o != OR_FIRST && o != OR_LAST && o != OR_ABSOLUTE && o != OR_BOOKMARK)
        return ERR_FETCH_TYPE_RANGE;

    // The orientation as the position makes it: NEXT from before the start
    // is FIRST and after the end stays there; PRIOR after the end is LAST
    // (the first rowset standing in, when the result is smaller than a
    // rowset) and before the start stays there.
    bool firstInstead = false;
    bool fromOutside = false;
    bool priorFromEnd = false;
    const bool beforeStart = cs->position == CUR_POS_BEFORE_START;
    const bool afterEnd = cs->position == CUR_POS_AFTER_END;
    if (o == OR_NEXT && beforeStart)
        o = OR_FIRST;
    else if ((o == OR_NEXT && afterEnd) || (o == OR_PRIOR && beforeStart))
        return ERR_NO_DATA_FOUND;
    else if (o == OR_PRIOR && afterEnd) {
        priorFromEnd = true;
        o = OR_LAST;
    } else if (o == OR_RELATIVE) {
        if ((afterEnd && k < 0) || (beforeStart && k > 0)) {
            if (dynMixed)
                fromOutside = true;
            else
                o = OR_ABSOLUTE;
        } else if ((afterEnd && k >= 0) || (beforeStart && k <= 0)) {
            // A move of 0 rows, or away from the result, stays before the
            // start or after the end.
            return ERR_NO_DATA_FOUND;
        }
    }
    if (o == OR_BOOKMARK) {
        if (dynMixed)
            return ERR_FETCH_TYPE_RANGE;
        if (k <= 0) {
            CUR_PosSet(cs, CUR_POS_BEFORE_START);
            return ERR_NO_DATA_FOUND;
        }
        o = OR_ABSOLUTE;
    }
    if (o == OR_ABSOLUTE) {
        if (dynMixed)
            return ERR_FETCH_TYPE_RANGE;
        if (k == 0) {
            CUR_PosSet(cs, CUR_POS_BEFORE_START);
            return ERR_NO_DATA_FOUND;
        }
    }

    int32_t target = 0;
    if (type == SQL_CURSOR_FORWARD_ONLY) {
        target = Offset32(static_cast<int64_t>(cs->absRow) + cs->prevRowsetSize);
    } else if (dynMixed) {
        target = k;
    } else {
        const int cls = CUR_TargetRow(o, k, cs->absRow, cs->rowCount, cs->rowsetSize, cs->prevRowsetSize, &target);
        if (cls == CUR_TARGET_BEFORE) {
            CUR_PosSet(cs, CUR_POS_BEFORE_START);
            return ERR_NO_DATA_FOUND;
        }
        if (cls == CUR_TARGET_AFTER) {
            CUR_PosSet(cs, CUR_POS_AFTER_END);
            return ERR_NO_DATA_FOUND;
        }
        if (cls == CUR_TARGET_PART_BEFORE) {
            o = OR_FIRST;
            target = 1;
            firstInstead = true;
        }
    }
    cs->flags &= static_cast<uint16_t>(~CUR_F_ROWSET_SIZE_SET);

    const int rc = fromOutside ? FetchFromOutside(cs, k, rowsOut, &firstInstead)
                               : FetchStep(cs, o, target, rowsOut, &firstInstead);
    if (rc != 0)
        return rc;
    // A last rowset shorter than a rowset is the whole result: PRIOR from
    // after the end found the first rowset in place of one before it.
    if (priorFromEnd && *rowsOut < static_cast<uint32_t>(cs->rowsetSize))
        firstInstead = true;
    cs->position = 1;
    if (dynMixed)
        cs->absRow = -1;
    else if (target >= 1 || type == SQL_CURSOR_FORWARD_ONLY)
        cs->absRow = target;
    else
        cs->absRow = cs->cache ? cs->cache->firstRow : -1;  // the last rowset, or counted from the end
    return firstInstead ? ERR_FETCH_BEFORE_FIRST_ROWSET : 0;
}

SQLRETURN StmtFillRowset(Stmt *s, uint16_t *status, int32_t row, int mode)
{
    CursorState &cs = s->cursor;
    const RowsetCache *cache = cs.cache;
    const Desc *ard = s->ard;
    const uint16_t *rowOps = ard ? ard->arrayStatusPtr : nullptr;
    const bool retrieve = cs.retrieveData != SQL_RD_OFF;
    const int32_t first = row != 0 ? row - 1 : 0;
    // A refresh of every row covers the rows the cache holds, no more than
    // the buffers take.
    int32_t last = row != 0 ? row : cs.rowsetSize;
    if (row == 0 && mode != -1 && cache && cache->rows < last)
        last = cache->rows;
    SQLRETURN result = SQL_SUCCESS;
    int present = 0;
    int errorRows = 0;
    for (int32_t i = first; i < last; ++i) {
        if (mode != -1 && rowOps && rowOps[i] == SQL_ROW_IGNORE)
            continue;
        s->ex->gd.column = 0;
        s->ex->gd.row = 0;
        uint16_t st = CUR_RowStatusGet(cache, i + 1);
        if (status)
            status[i] = st;
        if (st == SQL_ROW_NOROW)
            continue;
        ++present;
        if (st == SQL_ROW_ERROR) {
            ++errorRows;
            s->diag.errNum = ERR_GENERAL;
            result = SQL_SUCCESS_WITH_INFO;
            continue;
        }
        SQLRETURN rowResult = SQL_SUCCESS;
        for (ColBindingNode *n = s->boundCols; n; n = n->next) {
            const ColBindingHead &b = n->b.head;
            if (!(b.column == 0 || (st != SQL_ROW_DELETED && retrieve)))
                continue;
            // Rows whose place in the result is unknown (fetched by
            // bookmark) keep the bookmarks the application gave.
            if (b.column == 0 && cs.absRow < 1 && HasAbsoluteRows(cs))
                continue;
            // Every bound column is written, whatever its length word holds:
            // SQL_COLUMN_IGNORE speaks to the changes only.
            ColBindingHead one = StmtBindingAt(s, b, static_cast<uint32_t>(i));
            SQLRETURN rc = StGetColumn(s, static_cast<uint32_t>(i), &one, cache ? cache->block : nullptr);
            if (rc == SQL_ERROR) {
                rowResult = SQL_ERROR;
                break;
            }
            if (rc == SQL_SUCCESS_WITH_INFO)
                rowResult = rc;
        }
        // A row whose values did not all convert keeps its own diagnostic
        // and says so in its status; the other rows are still delivered.
        if (rowResult == SQL_ERROR) {
            ++errorRows;
            if (status)
                status[i] = SQL_ROW_ERROR;
            result = SQL_SUCCESS_WITH_INFO;
        } else if (rowResult == SQL_SUCCESS_WITH_INFO) {
            if (status && st == SQL_ROW_SUCCESS)
                status[i] = SQL_ROW_SUCCESS_WITH_INFO;
            result = SQL_SUCCESS_WITH_INFO;
        }
        if (mode == SQL_REFRESH && status && (st == SQL_ROW_UPDATED || st == SQL_ROW_ADDED) &&
            rowResult != SQL_ERROR)
            status[i] = SQL_ROW_SUCCESS;
    }
    s->ex->gd.column = 0;
    s->ex->gd.row = 0;
    if (present > 0 && errorRows == present)
        return SQL_ERROR;
    return result;
}

SQLRETURN StmtExtendedFetch(Stmt *s, uint16_t orientation, int64_t offset, SQLULEN *rowsFetched, uint16_t *status)
{
    if (!s->conn || !s->conn->cn_hasScrlCurs)
        return StFail(s, ERR_FUNCTION_NOT_SUPPORTED);
    StmtRebaseBindings(s);
    CursorState &cs = s->cursor;
    cs.appStatus = status;
    const int32_t type = cs.cursorType;
    if (s->paramsetSize > 1 && orientation != OR_NEXT && type != SQL_CURSOR_FORWARD_ONLY)
        return StFail(s, ERR_POSITIONED_PARAM_ARRAYS);
    if (type == SQL_CURSOR_FORWARD_ONLY && orientation != OR_NEXT)
        return StFail(s, ERR_FETCH_TYPE_RANGE);
    if (IsDynamicOrMixed(cs) && (orientation == OR_BOOKMARK || orientation == OR_ABSOLUTE))
        return StFail(s, ERR_FETCH_TYPE_RANGE);
    if (IsMixed(cs) && cs.keysetSize < cs.rowsetSize)
        return StFail(s, ERR_ROW_VALUE_RANGE);
    if (orientation == OR_ABSOLUTE && offset == 0) {
        RS_Free(&cs.cache);
        CUR_PosSet(&cs, CUR_POS_BEFORE_START);
        return SQL_NO_DATA;
    }
    if (s->state != STMT_EXECUTED)
        return StFail(s, ERR_INVALID_CURSOR_STATE);
    if (type == SQL_CURSOR_FORWARD_ONLY) {
        // A forward-only cursor keeps to the block road.
        return StmtFetchRowsetInto(s, rowsFetched, status);
    }
    if (!StmtGetColDescs(s)) {
        if (s->diag.errNum == ERR_NONE)
            s->diag.errNum = ERR_GENERAL;
        return SQL_ERROR;
    }
    StmtFreeResults(s);
    uint32_t rows = 0;
    int rc = CUR_FetchScroll(&cs, orientation, Offset32(offset), &rows);
    if (rc == ERR_NO_DATA_FOUND)
        return SQL_NO_DATA;
    if (rc != 0 && rc != ERR_FETCH_BEFORE_FIRST_ROWSET)
        return StFail(s, rc);
    if (rowsFetched)
        *rowsFetched = rows;
    SQLRETURN filled = StmtFillRowset(s, status, 0, -1);
    if (rc == ERR_FETCH_BEFORE_FIRST_ROWSET && filled == SQL_SUCCESS) {
        s->diag.errNum = rc;
        filled = SQL_SUCCESS_WITH_INFO;
    }
    return filled;
}

SQLRETURN StmtFetchScrollable(Stmt *s, int16_t orientation, int64_t offset)
{
    SQLULEN localFetched = 0;
    SQLULEN *fetched = s->rowsFetchedPtr ? s->rowsFetchedPtr : &localFetched;
    uint16_t *status = s->ird ? s->ird->arrayStatusPtr : nullptr;
    std::vector<uint16_t> temporary;
    if (!status) {
        const int32_t size = s->cursor.rowsetSize > 0 ? s->cursor.rowsetSize : 1;
        try {
            temporary.resize(static_cast<size_t>(size));
        } catch (...) {
            return StFail(s, ERR_MEMORY_ALLOCATION);
        }
        status = temporary.data();
    }
    if (orientation == SQL_FETCH_BOOKMARK) {
        int32_t bookmark = 0;
        if (s->fetchBookmarkPtr)
            std::memcpy(&bookmark, s->fetchBookmarkPtr, sizeof bookmark);
        offset += bookmark;
    }
    SQLRETURN rc = StmtExtendedFetch(s, static_cast<uint16_t>(orientation), offset, fetched, status);
    if (!temporary.empty())
        s->cursor.appStatus = nullptr;
    // Nothing fetched is no row: the application's count says so.
    if (rc == SQL_NO_DATA && s->rowsFetchedPtr)
        *s->rowsFetchedPtr = 0;
    return rc;
}

SQLRETURN ST_ExtendedFetch(Stmt *s, SQLUSMALLINT orientation, SQLLEN offset, SQLULEN *rowsFetched,
                           SQLUSMALLINT *status)
{
    return StmtExtendedFetch(s, orientation, offset, rowsFetched, status);
}

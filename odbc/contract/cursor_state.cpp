// Cursor state and rowset cache.
#include "odbc/contract/cursor_state.h"

#include <cstdlib>
#include <cstring>

#include "odbc/contract/drv_items.h"
#include "odbc/contract/drv_ops.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/rowblock.h"

void CUR_OptionsInit(CursorOptions *o)
{
    *o = CursorOptions{};
    o->rowsetSize = 1;
    o->keysetSize = 0;
    o->cursorType = 0;
    o->concurrency = 1;
    o->simulateCursor = 0;
    o->useBookmarks = 0;
    o->retrieveData = 1;
    o->cursorMode = 1;
}

int CUR_StateInit(CursorState *cs, uint32_t drvStmt, uint32_t drvConn, DrvBinding *binding,
                  Stmt *stmt)
{
    *cs = CursorState{};
    CUR_OptionsInit(cs);
    cs->rowCount = -1;
    cs->position = CUR_POS_BEFORE_START;
    cs->absRow = CUR_POS_BEFORE_START;
    cs->drvStmt = drvStmt;
    cs->drvConn = drvConn;
    cs->binding = binding;
    cs->stmt = stmt;
    return 0;
}

int CUR_StateInitFromConn(CursorState *cs, uint32_t drvStmt, uint32_t drvConn,
                          DrvBinding *binding, Stmt *stmt, const CursorOptions *defaults)
{
    CUR_StateInit(cs, drvStmt, drvConn, binding, stmt);
    if (defaults) {
        const CursorOptions &d = *defaults;
        cs->concurrency = d.concurrency;
        cs->cursorType = d.cursorType;
        cs->keysetSize = d.keysetSize;
        cs->retrieveData = d.retrieveData;
        cs->rowsetSize = d.rowsetSize;
        cs->simulateCursor = d.simulateCursor;
        cs->useBookmarks = d.useBookmarks;
    }
    return 0;
}

void CUR_StateFree(CursorState *cs)
{
    RS_Free(&cs->cache);
}

int CUR_PosSet(CursorPlace *place, int32_t p)
{
    if (p == CUR_POS_BEFORE_START || p == CUR_POS_AFTER_END) {
        place->position = p;
        place->absRow = p;
        return 0;
    }
    if (p == CUR_POS_ROWSET) {
        place->position = CUR_POS_ROWSET;
        return 0;
    }
    if (p < 0)
        return ERR_ROW_VALUE_RANGE;
    if (place->rowCount != -1 && place->rowCount < p)
        return ERR_ROW_VALUE_RANGE;
    place->position = p;
    return 0;
}

int CUR_PosReset(CursorPlace *place)
{
    place->rowCount = -1;
    return CUR_PosSet(place, CUR_POS_BEFORE_START);
}

int RS_Create(RowsetCache **out, int32_t rows)
{
    if (!out || rows <= 0)
        return ERR_GENERAL;
    auto *cache = static_cast<RowsetCache *>(std::calloc(1, sizeof(RowsetCache)));
    if (!cache)
        return ERR_MEMORY_ALLOCATION;
    int rc = RS_Resize(cache, rows);
    if (rc != 0) {
        std::free(cache);
        return rc;
    }
    *out = cache;
    return 0;
}

int RS_Resize(RowsetCache *cache, int32_t rows)
{
    if (!cache || rows <= 0)
        return ERR_GENERAL;
    RS_Clear(cache);
    auto *status = static_cast<uint16_t *>(std::malloc(sizeof(uint16_t) * static_cast<size_t>(rows)));
    if (!status)
        return ERR_MEMORY_ALLOCATION;
    auto *block = static_cast<RowBlock *>(std::calloc(1, sizeof(RowBlock)));
    if (!block) {
        std::free(status);
        return ERR_MEMORY_ALLOCATION;
    }
    if (RB_Init(block, 0) != 0) {
        std::free(block);
        std::free(status);
        return ERR_MEMORY_ALLOCATION;
    }
    for (int32_t i = 0; i < rows; ++i)
        status[i] = 3;
    cache->status = status;
    cache->block = block;
    cache->rows = rows;
    return 0;
}

void RS_Clear(RowsetCache *cache)
{
    if (!cache)
        return;
    if (cache->block) {
        RB_Free(cache->block);
        std::free(cache->block);
    }
    std::free(cache->status);
    cache->block = nullptr;
    cache->status = nullptr;
}

void RS_Free(RowsetCache **cache)
{
    if (!cache)
        return;
    if (*cache) {
        RS_Clear(*cache);
        std::free(*cache);
    }
    *cache = nullptr;
}

int CUR_DrvGetInfo(const DrvBinding *binding, uint32_t drvConn, uint16_t type, void *buf, int16_t bufLen,
                   int16_t *outLen)
{
    static const uint16_t kIntegers[] = {8, 26, 28, 43, 44, 72, 78, 79, 80, 82, 83, 93, 99};
    static const uint16_t kTexts[] = {11, 17, 29, 47};
    const DrvOpTable *ops = binding ? binding->ops : nullptr;
    for (uint16_t t : kIntegers) {
        if (t != type)
            continue;
        int32_t v = 0;
        int16_t len = 0;
        int rc = ops && ops->GetInfo ? ops->GetInfo(static_cast<int>(drvConn), DrvInt(DrvConnInfo(type)), &v, 4, &len)
                                     : ERR_NOT_CAPABLE;
        if (rc != 0)
            return rc;
        if (bufLen < 4)
            return ERR_INVALID_ARGUMENT;
        if (buf)
            std::memcpy(buf, &v, 4);
        if (outLen)
            *outLen = 4;
        return 0;
    }
    for (uint16_t t : kTexts) {
        if (t != type)
            continue;
        char text[257] = {};
        int16_t len = 0;
        int rc = ops && ops->GetInfo ? ops->GetInfo(static_cast<int>(drvConn), DrvText(DrvConnInfo(type)), text, 256, &len)
                                     : ERR_NOT_CAPABLE;
        if (rc != 0)
            return rc;
        const int16_t whole = static_cast<int16_t>(std::strlen(text));
        if (outLen)
            *outLen = whole;
        if (bufLen <= 0)
            return ERR_DATA_TRUNCATED;
        char *out = static_cast<char *>(buf);
        if (whole >= bufLen) {
            if (out) {
                std::memcpy(out, text, static_cast<size_t>(bufLen - 1));
                out[bufLen - 1] = '\0';
            }
            return ERR_DATA_TRUNCATED;
        }
        if (out)
            std::memcpy(out, text, static_cast<size_t>(whole) + 1);
        return 0;
    }
    return ERR_OPTION_TYPE_RANGE;
}

int CUR_RowBookmark(CursorState *cs, uint32_t i, int32_t *bookmark)
{
    if (!bookmark)
        return ERR_INVALID_ARGUMENT;
    *bookmark = 0;
    const bool mixed = cs->cursorType == 1 && cs->keysetSize != 0;
    if (cs->cursorType == 0 || cs->cursorType == 2 || mixed)
        return 0;
    if (i > static_cast<uint32_t>(cs->rowsetSize - 1))
        return ERR_INVALID_ARGUMENT;
    // CUR_POS_ROWSET still stands on the rowset; a rowset whose place is
    // unknown (after a bulk operation) has no row numbers.
    if (cs->position == CUR_POS_BEFORE_START || cs->position == CUR_POS_AFTER_END || cs->absRow < 1)
        return ERR_INVALID_CURSOR_STATE;
    if (CUR_RowStatusGet(cs->cache, static_cast<int32_t>(i) + 1) == 5)
        return ERR_INVALID_CURSOR_POSITION;
    *bookmark = cs->absRow + static_cast<int32_t>(i);
    return 0;
}

int CUR_BookmarkGet(CursorState *cs, uint32_t i, int32_t *bookmark)
{
    if (!bookmark || i > static_cast<uint32_t>(cs->rowsetSize - 1))
        return ERR_INVALID_ARGUMENT;
    *bookmark = 0;
    if (cs->position == CUR_POS_BEFORE_START || cs->position == CUR_POS_AFTER_END)
        return ERR_INVALID_CURSOR_STATE;
    if ((cs->cursorType == 1 && cs->keysetSize == 0) || cs->cursorType == 3)
        return CUR_RowBookmark(cs, i, bookmark);
    return ERR_NOT_CAPABLE;
}

uint16_t CUR_RowStatusGet(const RowsetCache *cache, int32_t row)
{
    if (!cache || !cache->status || row < 1 || row > cache->rows)
        return 5;
    return cache->status[row - 1];
}

void CUR_RowStatusSet(RowsetCache *cache, int32_t row, uint16_t status)
{
    if (cache && cache->status && row >= 1 && row <= cache->rows)
        cache->status[row - 1] = status;
}

namespace {

int32_t Clamp32(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

} // namespace

int CUR_ClassifyTarget(int32_t c, int32_t t, int32_t r, int32_t n)
{
    const int64_t target = t;
    if (n == -1 && t > c)
        return CUR_TARGET_UNKNOWN;
    // A rowset that starts before the first row does so whatever the size of
    // the result: one larger than the result starts at its first row.
    if (t < 1)
        return target <= 1 - static_cast<int64_t>(r) ? CUR_TARGET_BEFORE : CUR_TARGET_PART_BEFORE;
    if (n != -1 && target > n)
        return CUR_TARGET_AFTER;
    if (n != -1 && target > static_cast<int64_t>(n) - r + 1)
        return CUR_TARGET_PAST_END;
    return CUR_TARGET_INSIDE;
}

int CUR_TargetRow(uint16_t orientation, int32_t k, int32_t c, int32_t n, int32_t r, int32_t p, int32_t *target)
{
    const int64_t cur = c == -3 ? static_cast<int64_t>(n) + 1 : c;
    int64_t t = 0;
    int cls = CUR_TARGET_UNKNOWN;
    auto classify = [&] { return CUR_ClassifyTarget(Clamp32(cur), Clamp32(t), r, n); };
    switch (orientation) {
    case 1:  // NEXT
        t = cur + p;
        cls = classify();
        break;
    case 2:  // FIRST
        t = 1;
        cls = CUR_TARGET_INSIDE;
        break;
    case 3:  // LAST: 0 leaves the last rowset to the cursor library
        t = n == -1 ? 0 : static_cast<int64_t>(n) - r + 1;
        if (n != -1 && t < 1)
            t = 1;
        cls = CUR_TARGET_INSIDE;
        break;
    case 4:  // PRIOR
        t = cur - r;
        cls = classify();
        break;
    case 5:  // ABSOLUTE
        if (k == 0) {
            t = 0;
            cls = CUR_TARGET_BEFORE;
        } else if (k < 0 && n == -1) {
            t = k;
            cls = CUR_TARGET_UNKNOWN;
        } else if (k < 0) {
            t = static_cast<int64_t>(n) + k + 1;
            cls = classify();
            if (cls == CUR_TARGET_PART_BEFORE && -static_cast<int64_t>(k) > r)
                cls = CUR_TARGET_BEFORE;
        } else {
            t = k;
            cls = classify();
        }
        break;
    case 6:  // RELATIVE: back from the first rowset, or past the start by
             // more than a rowset, ends before the start
        t = cur + k;
        cls = classify();
        if (t < 1 && (cur <= 1 || -static_cast<int64_t>(k) > r))
            cls = CUR_TARGET_BEFORE;
        break;
    default:
        t = 0;
        cls = CUR_TARGET_UNKNOWN;
        break;
    }
    if (target)
        *target = Clamp32(t);
    return cls;
}

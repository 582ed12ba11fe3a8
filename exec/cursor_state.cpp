// Cursor state and rowset cache.
#include "exec/cursor_state.h"

#include <cstdlib>
#include <cstring>

#include "odbc/handles.h"
#include "odbc/rowblock.h"

int CUR_StateInit(CursorState *cs, uint32_t drvStmt, uint32_t drvConn, DrvBinding *binding,
                  Stmt *stmt)
{
    std::memset(cs, 0, sizeof *cs);
    cs->rowsetSize = 1;
    cs->keysetSize = 0;
    cs->rowCount = -1;
    cs->cursorType = 0;
    cs->concurrency = 1;
    cs->simulateCursor = 0;
    cs->useBookmarks = 0;
    cs->retrieveData = 1;
    cs->drvStmt = drvStmt;
    cs->drvConn = drvConn;
    cs->binding = binding;
    cs->stmt = stmt;
    cs->position = 0;
    cs->absRow = 0;
    cs->option1050 = 1;
    return 0;
}

int CUR_StateInitFromConn(CursorState *cs, uint32_t drvStmt, uint32_t drvConn,
                          DrvBinding *binding, Stmt *stmt)
{
    CUR_StateInit(cs, drvStmt, drvConn, binding, stmt);
    cs->cache = nullptr;
    cs->appStatus = nullptr;
    cs->fetchDirMask = 0;
    if (stmt && stmt->conn) {
        const CursorState &d = stmt->conn->stmtDefaults;
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

int CUR_PosSet(CursorState *cs, int32_t p)
{
    if (p == 0 || p == -3) {
        cs->position = p;
        cs->absRow = p;
        return 0;
    }
    if (p == -2) {
        cs->position = -2;
        return 0;
    }
    if (p < 0)
        return 39;
    if (cs->rowCount != -1 && cs->rowCount < p)
        return 39;
    cs->position = p;
    return 0;
}

int CUR_PosReset(CursorState *cs)
{
    cs->rowCount = -1;
    return CUR_PosSet(cs, 0);
}

int RS_Create(RowsetCache **out, int32_t rows)
{
    if (!out || rows <= 0)
        return 15;
    auto *cache = static_cast<RowsetCache *>(std::calloc(1, sizeof(RowsetCache)));
    if (!cache)
        return 16;
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
        return 15;
    RS_Clear(cache);
    auto *status = static_cast<uint16_t *>(std::malloc(sizeof(uint16_t) * static_cast<size_t>(rows)));
    if (!status)
        return 16;
    auto *block = static_cast<RowBlock *>(std::calloc(1, sizeof(RowBlock)));
    if (!block) {
        std::free(status);
        return 16;
    }
    if (RB_Init(block, 0) != 0) {
        std::free(block);
        std::free(status);
        return 16;
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

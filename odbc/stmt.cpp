// Statement objects.
#include "odbc/stmt.h"

#include <new>

#include "odbc/conn.h"
#include "odbc/desc.h"
#include "odbc/dispatch.h"
#include "odbc/handles.h"
#include "odbc/layer_links.h"
#include "odbc/startup.h"
#include "odbc/stmtattr.h"
#include "odbc/stmt_bind.h"
#include "odbc/trace.h"

namespace {

void Unlink(Stmt *stmt)
{
    if (!stmt->conn)
        return;
    for (Stmt **p = &stmt->conn->stmts; *p; p = &(*p)->next) {
        if (*p == stmt) {
            *p = stmt->next;
            return;
        }
    }
}

// Makes the four implicit descriptors; all or none.
bool MakeImplicitDescs(Stmt *stmt)
{
    const int16_t kinds[] = {DK_ARD, DK_APD, DK_IRD, DK_IPD};
    Desc *made[4] = {};
    uint32_t handles[4] = {};
    for (int i = 0; i < 4; ++i) {
        made[i] = DescAlloc(kinds[i], DA_IMPLICIT, stmt, nullptr);
        int rc = made[i] ? HT_Insert(&DescTable, &handles[i], made[i]) : ERR_MEMORY_ALLOCATION;
        if (rc != 0) {
            for (int j = 0; j <= i; ++j)
                if (made[j])
                    DescFree(made[j]);
            stmt->ardImplicit = stmt->apdImplicit = stmt->ard = stmt->apd = nullptr;
            stmt->ird = stmt->ipd = nullptr;
            stmt->conn->diag.errNum = rc;
            return false;
        }
        made[i]->handle = handles[i];
    }
    return true;
}

// Frees a record that never became a statement, with the statement layer's
// part of it.
void DiscardRecord(Stmt *stmt)
{
    Core_Links().stmt->Detach(stmt);
    delete stmt;
}

} // namespace

Stmt *StmtAlloc(Conn *conn)
{
    Stmt *stmt = new (std::nothrow) Stmt();
    if (!stmt || Core_Links().stmt->Attach(stmt) != 0) {
        delete stmt;
        conn->diag.errNum = ERR_MEMORY_ALLOCATION;
        return nullptr;
    }
    int drvStmt = 0;
    int rc = conn->binding.ops && conn->binding.ops->AllocStmt
                 ? conn->binding.ops->AllocStmt(static_cast<int>(conn->drvConn), &drvStmt)
                 : ERR_NOT_CAPABLE;
    if (rc != 0) {
        if (TR_IsOn())
            TR_Printf("Unable to allocate statement handle");
        DiscardRecord(stmt);
        conn->diag.errNum = rc;
        return nullptr;
    }
    stmt->typeTag = STMT_TAG;
    stmt->conn = conn;
    stmt->binding = &conn->binding;
    stmt->drvStmt = static_cast<uint32_t>(drvStmt);
    stmt->next = conn->stmts;
    conn->stmts = stmt;
    stmt->state = STMT_ALLOCATED;
    stmt->id = static_cast<uint32_t>(++conn->stmtCounter);
    stmt->queryTimeout = conn->queryTimeout;
    stmt->maxLength = conn->maxLength;
    stmt->maxRows = conn->maxRows;
    stmt->bindType = conn->bindType;
    stmt->noScan = conn->noScan;
    stmt->paramsetSize = 1;
    stmt->asyncEnable = conn->asyncEnable;
    stmt->metadataId = conn->metadataId;
    if (conn->cn_needbind)
        stmt->flags |= ST_NEEDBIND;
    rc = CUR_StateInitFromConn(&stmt->cursor, stmt->drvStmt, conn->drvConn, &conn->binding, stmt,
                               &conn->stmtDefaults);
    if (rc != 0 || !MakeImplicitDescs(stmt)) {
        if (rc != 0)
            conn->diag.errNum = rc;
        // The back-end statement made above is released with the record.
        if (conn->binding.ops && conn->binding.ops->FreeStmt)
            conn->binding.ops->FreeStmt(drvStmt);
        Unlink(stmt);
        stmt->typeTag = FREED_TAG;
        DiscardRecord(stmt);
        return nullptr;
    }
    StmtApplyConnDefaults(stmt);
    return stmt;
}

Stmt *StmtClose(Stmt *stmt, CloseMode mode)
{
    stmt->daeState = DAE_NONE;
    CUR_PosReset(&stmt->cursor);
    if (stmt->state == STMT_EXECUTED) {
        StmtFreeResults(stmt);
        if (mode == CLOSE_NORMAL && stmt->binding && stmt->binding->ops &&
            stmt->binding->ops->CloseCursor)
            stmt->binding->ops->CloseCursor(static_cast<int>(stmt->drvStmt));
        stmt->state = STMT_ALLOCATED;
        stmt->flags &= static_cast<uint16_t>(~ST_CURSOR_OPEN);
    }
    StmtDropOverrides(stmt);
    return stmt;
}

int StmtFreeResults(Stmt *stmt)
{
    RB_Free(&stmt->result);
    RS_Free(&stmt->cursor.cache);
    Core_Links().stmt->DropResults(stmt);
    stmt->currentRow = 0;
    return 0;
}

void StmtFreeColDescs(Stmt *stmt)
{
    StmtFreeResults(stmt);
    CD_Free(stmt->resultCols, stmt->resultColCount);
    stmt->resultCols = nullptr;
    stmt->resultColCount = 0;
    StmtFreeParamDescs(stmt);
}

int StmtFree(Stmt *stmt, CloseMode mode)
{
    StmtFreeColDescs(stmt);
    StmtUnbindCols(stmt);
    StmtResetParams(stmt);
    StmtDropOverrides(stmt);
    Desc *implicit[] = {stmt->ardImplicit, stmt->ird, stmt->apdImplicit, stmt->ipd};
    for (Desc *d : implicit)
        if (d)
            DescFree(d);
    stmt->ardImplicit = stmt->apdImplicit = stmt->ard = stmt->apd = stmt->ird = stmt->ipd = nullptr;
    if (mode == CLOSE_NORMAL && stmt->binding && stmt->binding->ops && stmt->binding->ops->FreeStmt)
        stmt->binding->ops->FreeStmt(static_cast<int>(stmt->drvStmt));
    CUR_StateFree(&stmt->cursor);
    PL_CsGuard api(API_Lock());
    Unlink(stmt);
    ERR_FreeMsgs(&stmt->diag);
    stmt->typeTag = FREED_TAG;
    stmt->state = STMT_FREED;
    if (stmt->handle)
        HT_Remove(&StmtTable, static_cast<uint32_t>(stmt->handle));
    DiscardRecord(stmt);
    return 0;
}

void StmtPushError(Stmt *stmt, const char *text, int32_t native) { ERR_Push(&stmt->diag, text, native); }

char *StmtPopError(Stmt *stmt, int32_t *native) { return ERR_Pop(&stmt->diag, native); }

Stmt *StmtLookup(SQLHSTMT handle)
{
    auto *stmt = static_cast<Stmt *>(HT_Lookup(&StmtTable, HT_HandleIn(handle)));
    if (!stmt || stmt->typeTag != STMT_TAG)
        return nullptr;
    stmt->diag.errNum = ERR_NONE;
    return stmt;
}

SQLRETURN ST_FreeHandle(Stmt *stmt)
{
    StmtClose(stmt);
    StmtFree(stmt);
    return SQL_SUCCESS;
}

SQLRETURN ST_FreeStmt(Stmt *stmt, SQLUSMALLINT option)
{
    switch (option) {
    case SQL_CLOSE:
        StmtClose(stmt);
        break;
    case SQL_DROP:
        StmtClose(stmt);
        StmtFree(stmt);
        return SQL_SUCCESS;
    case SQL_UNBIND:
        StmtUnbindCols(stmt);
        break;
    case SQL_RESET_PARAMS:
        StmtResetParams(stmt);
        break;
    default:
        stmt->diag.errNum = ERR_OPTION_TYPE_RANGE;
        return SQL_ERROR;
    }
    return stmt->diag.errNum != ERR_NONE ? SQL_ERROR : SQL_SUCCESS;
}

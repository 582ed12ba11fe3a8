// SQLCancel.
#include "odbc/cancel.h"

#include "odbc/diag.h"
#include "odbc/dispatch.h"
#include "odbc/handles.h"
#include "odbc/startup.h"
#include "odbc/stmt.h"
#include "odbc/trace.h"

SQLRETURN API_Cancel(SQLHSTMT hstmt)
{
    const uint32_t handle = HT_HandleIn(hstmt);
    if (!Core_IsInitialised()) {
        DIAG_NoteStartupFailure();
        return SQL_ERROR;
    }
    if (TR_IsOn())
        TR_Printf("\nSQLCancel hStmt=%lX", static_cast<unsigned long>(handle));
    PL_CsGuard api(API_Lock());
    auto *stmt = static_cast<Stmt *>(HT_Lookup(&StmtTable, handle));
    if (!stmt || stmt->typeTag != STMT_TAG) {
        if (TR_IsOn())
            TR_Printf("SQLCancel: returning SQL_INVALID_HANDLE");
        return SQL_INVALID_HANDLE;
    }
    Conn *conn = stmt->conn;
    if (conn && conn->busy.load() == static_cast<HandleHead *>(stmt)) {
        SQLRETURN rc = SQL_SUCCESS;
        const DrvBinding *b = stmt->binding;
        if (b && !(b->flags & DRVB_FREES_PARAMS) && stmt->state == STMT_EXECUTED && b->ops &&
            b->ops->Cancel) {
            int err = b->ops->Cancel(static_cast<int>(stmt->drvStmt));
            if (err != 0) {
                stmt->diag.errNum = err;
                rc = SQL_ERROR;
            }
        }
        stmt->daeState = DAE_NONE;
        if (TR_IsOn())
            TR_Printf("SQLCancel: returning %d", rc);
        return rc;
    }
    stmt->daeState = DAE_NONE;
    StmtClose(stmt);
    stmt->diag.errNum = ERR_CANCEL_CLOSED_STATEMENT;
    if (TR_IsOn())
        TR_Printf("SQLCancel: returning SQL_SUCCESS_WITH_INFO");
    return SQL_SUCCESS_WITH_INFO;
}

// The statement slots of the JDBC back end's operation table.
#pragma once
#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-escape.h"
#include "drv_jdbc/j-exec.h"
#include "odbc/contract/drv_ops.h"

// Fills the statement slots (AllocStmt .. CloseCursor, MoreResults,
// ExecDirect, ColAttributes, Cancel).
constexpr void DRV_FillStmtOps(DrvOpTable &t)
{
    t.AllocStmt = DRV_AllocStmt;
    t.FreeStmt = DRV_FreeStmt;
    t.GetCursorName = DRV_GetCursorName;
    t.SetCursorName = DRV_SetCursorName;
    t.Prepare = DRV_Prepare;
    t.SetParams = DRV_SetParams;
    t.Execute = DRV_Execute;
    t.NotCapable = DRV_NotCapable;
    t.GetColDescs = DRV_GetColDescs;
    t.GetParamDescs = DRV_GetParamDescs;
    t.NativeSql = DRV_NativeSql;
    t.SetParamTypes = DRV_SetParamTypes;
    t.Fetch = DRV_Fetch;
    t.CloseCursor = DRV_CloseCursor;
    t.MoreResults = DRV_MoreResults;
    t.ExecDirect = DRV_ExecDirect;
    t.ColAttributes = DRV_ColAttributes;
    t.Cancel = DRV_Cancel;
}

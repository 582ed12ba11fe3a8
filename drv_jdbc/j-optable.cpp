// The JDBC back end's operation table.  Slots are filled as the operations
// exist; an empty slot is null and is never called.
#include "drv_jdbc/j-catalog.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-errors.h"
#include "drv_jdbc/j-info.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-setoption.h"
#include "drv_jdbc/j-stmtops.h"
#include "drv_jdbc/j-xa.h"
#include "drv_jdbc/j-optable.h"
#include "odbc/contract/drv_ops.h"

namespace {
constexpr DrvOpTable makeJdbcOps()
{
    DrvOpTable t = {};
    t.GetInfo = DRV_GetInfo;
    t.SetOption = DRV_SetOption;
    t.GetErrors = DRV_GetErrors;
    t.EnvOpen = DRV_EnvOpen;
    t.EnvClose = DRV_EnvClose;
    t.Connect = DRV_Connect;
    t.Disconnect = DRV_Disconnect;
    t.Commit = DRV_Commit;
    t.Rollback = DRV_Rollback;
    t.GetOpTable = GetOpTable;
    DRV_FillStmtOps(t);
    DRV_FillCatalogOps(t);
    DRV_FillXaOps(t);
    return t;
}

constexpr DrvOpTable kJdbcOps = makeJdbcOps();
} // namespace

const DrvOpTable *DRV_JdbcOpTable() { return &kJdbcOps; }

// The JDBC back end's operation table.
#include "odbc/drv_ops.h"

namespace {
const DrvOpTable kJdbcOps = {};
}

const DrvOpTable *DRV_JdbcOpTable() { return &kJdbcOps; }

// The JDBC back end's operation table, as the library's assembly binds it.
#pragma once

struct DrvOpTable;

// The JDBC back end's own table (41 slots filled, the rest empty).
const DrvOpTable *DRV_JdbcOpTable();

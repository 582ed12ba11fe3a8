// The driver's own statement and connection option ids, beside the ODBC
// ones.  What a back end does with them beyond what these comments say is
// the back end's; the JDBC back end refuses the pass-through ones.
#pragma once
#include <cstdint>

// Statement options (SQLSetStmtOption, SQLGetStmtOption and the attributes
// of the same number).
enum KrsStmtOption : uint16_t {
    KRS_STMT_BACKEND_VALUE = 1048,  // read only: asked of the back end each time
    KRS_STMT_LAST_SERIAL = 1049,    // read only: the serial value the last INSERT made
    KRS_STMT_CURSOR_MODE = 1050,    // 1 (the default) or 2, kept by the statement and the back end
    KRS_STMT_KEY_INFO = 1052,       // key and expression columns reported; kept once the back end took it
    KRS_STMT_ADD_KEYS = 1054,       // missing key columns added to the select list; likewise
    KRS_STMT_PASSED_TEXT = 1226,    // a text handed to the back end, not kept
};

// Connection options (SQLSetConnectOption, SQLGetConnectOption and the
// attributes of the same number).  1201 to 1262 (the table of connection
// options lists which) are integers and texts handed to the back end.
enum KrsConnOption : uint16_t {
    KRS_CONN_APPLICATION_NAME = 1051,   // the application name handed to the back end at connect
    KRS_CONN_FAILOVER_CALLBACK = 1280,  // the application's failover callback
    KRS_CONN_FAILOVER_CONTEXT = 1281,   // the context the callback receives
};

// What ConnOpen hands the back end's DRV_Connect.  The caller zeroes
// the record, fills it and keeps ownership of every text.
#pragma once
#include <cstdint>

// Bytes a wide-entry connection puts in front of the server text: the back
// end then carries text into Java as modified UTF-8 (string mode 1).
constexpr char DRV_WIDE_MARKER[4] = {'W', 0x7F, 0x01, 0x01};

struct DrvConnectParams {
    const char *host;         // "host:port", or the host text
    const char *serverText;   // server text, with DRV_WIDE_MARKER in a wide-mode connection
    const char *serverType;   // cn_svtype
    const char *jdbcClass;    // cn_dbpath (keyword JDBC)
    const char *dsn;          // "Default" when the connection has none
    const char *dsProps;      // cn_dbopts: DataSource property string (keyword URL), may be NULL
    int32_t readOnly;         // nonzero: the connection is read-only
    const char *user;         // "" when none
    const char *password;     // "" when none
    uint16_t loginTimeout;    // 99 when the connection's login timeout is nonzero, else 0
    const char *extraText;    // the further text of the connection's configuration
    int32_t reserved;         // left 0
    int32_t flag;             // 0
    const char *appName;      // the calling program's name
};

// Shared by the back-end XA tests: branch identifiers, the gid PostgreSQL
// shows for them, and the data-source properties of a connection to one of
// the tests' own databases.
#pragma once
#include "tests/common/pg_env.h"
#include "tests/common/pg_xa.h"
#include "odbc/contract/xid.h"

#include <cstring>
#include <string>

inline XID makeXid(int format, const std::string &gtrid, const std::string &bqual)
{
    XID x{};
    x.formatID = format;
    x.gtrid_length = static_cast<int32_t>(gtrid.size());
    x.bqual_length = static_cast<int32_t>(bqual.size());
    memcpy(x.data, gtrid.data(), gtrid.size());
    memcpy(x.data + gtrid.size(), bqual.data(), bqual.size());
    return x;
}

inline std::string gidOf(const XID &x)
{
    return XaGid(x.formatID, std::string(x.data, x.gtrid_length),
                 std::string(x.data + x.gtrid_length, x.bqual_length));
}

inline std::string xaProps(const PgEnv &pg, const std::string &app)
{
    return "serverName=127.0.0.1;portNumber=" + std::to_string(pg.port) + ";databaseName=" + pg.db +
           ";applicationName=" + app;
}

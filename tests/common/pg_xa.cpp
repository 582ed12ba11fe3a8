// PostgreSQL helpers of the distributed-transaction tests.
#include "tests/common/pg_xa.h"

#include <sstream>

PgEnv PgXaDatabase(const PgEnv &env, const std::string &name)
{
    if (PgPsql(env, "select count(*) from pg_database where datname = '" + name + "'") != "1")
        PgPsql(env, "create database " + name + " owner " + env.trustUser);
    PgEnv copy = env;
    copy.db = name;
    return copy;
}

std::string Base64(const std::string &bytes)
{
    static const char digits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                     (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                     static_cast<unsigned char>(bytes[i + 2]);
        out += digits[(v >> 18) & 63];
        out += digits[(v >> 12) & 63];
        out += digits[(v >> 6) & 63];
        out += digits[v & 63];
    }
    size_t rest = bytes.size() - i;
    if (rest) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2)
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += digits[(v >> 18) & 63];
        out += digits[(v >> 12) & 63];
        out += rest == 2 ? digits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string XaGid(int formatID, const std::string &gtrid, const std::string &bqual)
{
    return std::to_string(formatID) + "_" + Base64(gtrid) + "_" + Base64(bqual);
}

std::vector<std::string> PgPreparedGids(const PgEnv &env)
{
    std::vector<std::string> gids;
    std::istringstream in(PgPsql(env, "select gid from pg_prepared_xacts where database = '" +
                                          env.db + "' order by gid"));
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            gids.push_back(line);
    return gids;
}

void PgRollbackPrepared(const PgEnv &env)
{
    for (const std::string &gid : PgPreparedGids(env))
        PgPsql(env, "rollback prepared '" + gid + "'");
}

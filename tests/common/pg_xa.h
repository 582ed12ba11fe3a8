// PostgreSQL helpers of the distributed-transaction tests: a database of
// each test program's own (prepared branches and recovery scans are per
// database), the transaction names PostgreSQL shows for the JDBC driver's
// branches, and the clean-up of branches left prepared.
#pragma once
#include <string>
#include <vector>

#include "tests/common/pg_env.h"

// Creates the database when it does not exist (owner: the trust role) and
// answers a copy of env that names it.
PgEnv PgXaDatabase(const PgEnv &env, const std::string &name);

// Standard base64 with padding.
std::string Base64(const std::string &bytes);

// The gid under which the JDBC driver prepares a branch:
// "<formatID>_<base64 gtrid>_<base64 bqual>".
std::string XaGid(int formatID, const std::string &gtrid, const std::string &bqual);

// The gids prepared in env's database.
std::vector<std::string> PgPreparedGids(const PgEnv &env);

// Rolls back every branch left prepared in env's database.
void PgRollbackPrepared(const PgEnv &env);

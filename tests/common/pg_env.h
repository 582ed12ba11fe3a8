// What the PostgreSQL fixture wrote for the server tests: port, roles,
// password, the private unixODBC configuration and the built libraries.
#pragma once
#include <string>

struct PgEnv {
    std::string state;      // fixture state directory (KRS_TEST_STATE)
    std::string libdir;     // directory of libquorvexw.so / libquorvexa.so
    std::string srcdir;     // source tree
    int port = 0;
    std::string db;         // database name
    std::string trustUser;  // role that logs in without a password
    std::string pwUser;     // role with a password
    std::string password;   // its password (holds ';' and '=')
    std::string pgBin;      // server binaries (psql, pg_ctl ...)
    std::string pgSock;     // socket directory
    std::string url() const; // jdbc:postgresql://127.0.0.1:<port>/<db>
};

// Reads $KRS_TEST_STATE/pg.env; fails the calling test (ADD_FAILURE) and
// returns false when the fixture is not running.
bool PgEnvLoad(PgEnv &env);

// Runs one SQL statement through psql as the trust role and returns its
// unaligned, tuples-only output (trailing newline removed).
std::string PgPsql(const PgEnv &env, const std::string &sql);

// Server sessions with this application name, once the count has settled on
// `want` (a closed session may take a moment to leave pg_stat_activity; the
// wait is bounded at ten seconds).
int PgSessions(const PgEnv &env, const std::string &app, int want);

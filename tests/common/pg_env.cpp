#include "tests/common/pg_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <chrono>
#include <map>
#include <thread>

namespace {
std::string envOr(const char *name, const char *dflt)
{
    const char *v = std::getenv(name);
    return v && *v ? v : dflt;
}

std::string unquote(std::string v)
{
    if (v.size() >= 2 && v.front() == '\'' && v.back() == '\'')
        return v.substr(1, v.size() - 2);
    return v;
}
} // namespace

std::string PgEnv::url() const
{
    return "jdbc:postgresql://127.0.0.1:" + std::to_string(port) + "/" + db;
}

bool PgEnvLoad(PgEnv &env)
{
    env.state = envOr("KRS_TEST_STATE", "");
    env.libdir = envOr("KRS_TEST_LIBDIR", "");
    env.srcdir = envOr("KRS_TEST_SRCDIR", "");
    if (env.state.empty()) {
        ADD_FAILURE() << "KRS_TEST_STATE is not set: run through ctest (fixture pg)";
        return false;
    }
    std::ifstream in(env.state + "/pg.env");
    if (!in) {
        ADD_FAILURE() << "no " << env.state << "/pg.env: the PostgreSQL fixture is not running";
        return false;
    }
    std::map<std::string, std::string> kv;
    for (std::string line; std::getline(in, line);) {
        auto eq = line.find('=');
        if (eq != std::string::npos)
            kv[line.substr(0, eq)] = unquote(line.substr(eq + 1));
    }
    env.port = std::atoi(kv["KRS_PG_PORT"].c_str());
    env.db = kv["KRS_PG_DB"];
    env.trustUser = kv["KRS_PG_TRUST_USER"];
    env.pwUser = kv["KRS_PG_PW_USER"];
    env.password = kv["KRS_PG_PW"];
    env.pgBin = kv["KRS_PG_BIN"];
    env.pgSock = kv["KRS_PG_SOCK"];
    return env.port > 0;
}

std::string PgPsql(const PgEnv &env, const std::string &sql)
{
    std::string cmd = env.pgBin + "/psql -X -At -q -h 127.0.0.1 -p " + std::to_string(env.port) +
                      " -U " + env.trustUser + " -d " + env.db + " -c \"" + sql + "\" 2>&1";
    std::string out;
    if (FILE *p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

int PgSessions(const PgEnv &env, const std::string &app, int want)
{
    int n = -1;
    for (int i = 0; i < 200; ++i) {
        n = std::atoi(
            PgPsql(env, "select count(*) from pg_stat_activity where application_name = '" + app + "'").c_str());
        if (n == want)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return n;
}

// Key columns of cursor tables found through the JDBC back end's catalog
// against PostgreSQL: a primary key, a unique index only, a partial and an
// expression index (no key), names with '_' next to look-alikes, the
// session's schema for unqualified names, and the connection's cache.
#include "tests/jvm/scs_support.h"

#include "scrs/scs_ctx.h"
#include "scrs/scs_install.h"
#include "util/dynarray.h"

#include <cstring>

namespace {

constexpr const char *kSchema[] = {
    "DROP SCHEMA IF EXISTS krs_keys CASCADE",
    "DROP TABLE IF EXISTS public.krs_kdup",
    "CREATE SCHEMA krs_keys",
    "CREATE TABLE krs_keys.pk_t (id int PRIMARY KEY, v text)",
    "CREATE TABLE krs_keys.uq_t (a int NOT NULL, b int NOT NULL, v text, UNIQUE (a, b))",
    "CREATE TABLE krs_keys.part_t (id int NOT NULL, v text)",
    "CREATE UNIQUE INDEX part_t_id ON krs_keys.part_t (id) WHERE v IS NOT NULL",
    "CREATE TABLE krs_keys.expr_t (name text NOT NULL, v int)",
    "CREATE UNIQUE INDEX expr_t_lower ON krs_keys.expr_t (lower(name))",
    "CREATE TABLE krs_keys.nul_t (n int, v text)",
    "CREATE UNIQUE INDEX nul_t_n ON krs_keys.nul_t (n)",
    // '_' must not match the look-alike beside it.
    "CREATE TABLE krs_keys.a_b (x int NOT NULL UNIQUE, v text)",
    "CREATE TABLE krs_keys.axb (y int PRIMARY KEY, x int)",
    // The same name in the session's schema and in krs_keys.
    "CREATE TABLE public.krs_kdup (p int PRIMARY KEY)",
    "CREATE TABLE krs_keys.krs_kdup (q int PRIMARY KEY)",
};

class ScsKeyCols : public StmtTest {
protected:
    void SetUp() override
    {
        StmtTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        int h = alloc();
        for (const char *sql : kSchema)
            ASSERT_EQ(run(h, sql), 0) << sql << drainErrors(h);
        stmtOps().FreeStmt(h);
    }

    // A connection through the cursor library (it has a key-column cache).
    int openScs()
    {
        std::string props = "serverName=127.0.0.1;portNumber=" + std::to_string(pg.port) +
                            ";databaseName=" + pg.db + ";applicationName=krs_keycols";
        DrvConnectParams p{};
        p.serverText = "";
        p.dsProps = props.c_str();
        p.user = pg.trustUser.c_str();
        p.password = "";
        int h = 0;
        EXPECT_EQ(scsOps().Connect(env, &p, &h), 0) << drainErrors(env);
        return h;
    }

    // A statement whose context asks the catalog on an auxiliary statement.
    ScsContext *context(int on, int *h)
    {
        EXPECT_EQ(scsOps().AllocStmt(on, h), 0);
        ScsContext *ctx = scs_p_CtxFind(*h);
        EXPECT_NE(ctx, nullptr);
        int aux = 0;
        EXPECT_EQ(stmtOps().AllocStmt(on, &aux), 0);
        ctx->posStmt = static_cast<uint32_t>(aux);
        ctx->identQuote = '"';
        return ctx;
    }

    // The key columns of one table, or the error number as "#n".
    std::vector<std::string> keysOf(int on, const char *owner, const char *table)
    {
        int h = 0;
        ScsContext *ctx = context(on, &h);
        DynArray *from = DA_New(sizeof(ScrTableRef));
        ScrTableRef r{nullptr, owner ? strdup(owner) : nullptr, strdup(table), nullptr};
        DA_Append(from, &r);
        std::vector<std::string> out;
        const int rc = KS_GetKeyColDescs(ctx, from);
        if (rc != 0)
            out.push_back("#" + std::to_string(rc));
        for (uint32_t i = 0; rc == 0 && i < ctx->keyCols->count; ++i)
            out.push_back(static_cast<const ScrColumnRef *>(ctx->keyCols->elements)[i].column);
        DA_Free(&from, SCR_TableRefFree);
        scsOps().FreeStmt(h);
        return out;
    }
};

using Keys = std::vector<std::string>;
const std::string kNoKey = "#" + std::to_string(ERR_NO_KEY_COLUMNS);

TEST_F(ScsKeyCols, KeysFromPrimaryKeysAndUsableUniqueIndexesOnly)
{
    struct Case {
        const char *owner, *table;
        Keys keys;
    } cases[] = {
        {"krs_keys", "pk_t", {"\"id\""}},
        {"krs_keys", "uq_t", {"\"a\"", "\"b\""}},
        {"krs_keys", "part_t", {kNoKey}},
        {"krs_keys", "expr_t", {kNoKey}},
        {"krs_keys", "nul_t", {kNoKey}},
        {"krs_keys", "a_b", {"\"x\""}},
        {"krs_keys", "axb", {"\"y\""}},
        {"\"krs_keys\"", "\"krs_kdup\"", {"\"q\""}},
        {nullptr, "krs_kdup", {"\"p\""}},  // the session's schema, not every schema
        {nullptr, "KRS_KDUP", {"\"p\""}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.owner ? c.owner : "-") + "." + c.table);
        EXPECT_EQ(keysOf(conn, c.owner, c.table), c.keys) << drainErrors(conn);
    }
}

TEST_F(ScsKeyCols, TheConnectionKeepsTheKeysItFound)
{
    const int on = openScs();
    ASSERT_NE(on, 0);
    EXPECT_EQ(keysOf(on, "krs_keys", "uq_t"), (Keys{"\"a\"", "\"b\""}));
    // The answer now comes from the cache: dropping the index does not change it.
    int h = alloc();
    ASSERT_EQ(run(h, "ALTER TABLE krs_keys.uq_t DROP CONSTRAINT uq_t_a_b_key"), 0) << drainErrors(h);
    stmtOps().FreeStmt(h);
    EXPECT_EQ(keysOf(on, "krs_keys", "uq_t"), (Keys{"\"a\"", "\"b\""}));
    // Another connection asks the catalog afresh.
    const int other = openScs();
    EXPECT_EQ(keysOf(other, "krs_keys", "uq_t"), (Keys{kNoKey}));
    EXPECT_EQ(scsOps().Disconnect(other), 0);
    EXPECT_EQ(scsOps().Disconnect(on), 0);
}

}  // namespace

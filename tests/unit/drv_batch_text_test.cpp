// Which statement texts may travel as one batch: a single statement without
// a RETURNING clause; the word inside quoted texts, quoted names, dollar
// quotes and comments does not count, and a text the scan cannot close is
// never batched.
#include <gtest/gtest.h>

#include "drv_jdbc/j-batch.h"

namespace {

struct TextCase {
    const char *sql;
    bool batchable;
};

const TextCase kCases[] = {
    {"insert into t values (?, ?)", true},
    {"INSERT INTO t VALUES (?) ;  \n", true},
    {"update t set a = ? where b = ?", true},
    {"delete from t where id = ?", true},
    {"insert into t values (?) returning id", false},
    {"INSERT INTO t VALUES (?) RETURNING *", false},
    {"update t set a = ? Returning a", false},
    {"insert into t values (?); insert into u values (?)", false},
    {"insert into t values (?);select 1", false},
    {"insert into t values ('returning', ?)", true},
    {"insert into t values ('it''s; returning', ?)", true},
    {"insert into t values (E'\\' returning', ?)", true},
    {"insert into \"returning\" values (?)", true},
    {"insert into t (\"a;b\") values (?)", true},
    {"insert into t values ($$ returning; $$, ?)", true},
    {"insert into t values ($x$ a $$ returning $x$, ?)", true},
    {"insert into t values ($1) -- returning; \n", true},
    {"insert into t values (?) /* returning; /* nested */ still */", true},
    {"insert into t values (?) returning_not", true},
    {"insert into t values (?) not_returning", true},
    {"insert into t values ('open", false},
    {"insert into t values (?) /* open", false},
    {"insert into t values ($q$ open", false},
};

TEST(BatchText, OneStatementWithoutReturning)
{
    for (const TextCase &c : kCases)
        EXPECT_EQ(batchableText(c.sql), c.batchable) << c.sql;
}

} // namespace

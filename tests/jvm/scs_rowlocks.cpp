// Row locks and optimistic-concurrency values of keyset-driven, mixed and
// dynamic cursors over the JDBC back end and PostgreSQL, looked at inside
// the cursor context: the compared values stay at their own keys when
// another user reorders the rows, a row that vanished before the values
// were read leaves an empty row and the status deleted, a cursor reads
// again only the values of the rows it is given (by key, after its own
// update), and a lock on a vanished row fails.
#include "tests/jvm/scs_support.h"

#include "odbc/contract/cursor_state.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_dynmix.h"
#include "scrs/scs_install.h"
#include "scrs/scs_keyset.h"
#include "scrs/scs_rowlocks.h"

#include <sql.h>
#include <sqlext.h>

namespace {

void setOption(int h, int option, int32_t v)
{
    const int rc = scsOps().SetOption(h, DrvInt(DrvStmtOption(option)), &v);
    EXPECT_TRUE(rc == 0 || rc == ERR_OPTION_VALUE_CHANGED) << rc;
}

class ScsRowLocks : public StmtTest {
protected:
    void SetUp() override
    {
        StmtTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        ASSERT_EQ(sql("DROP TABLE IF EXISTS scs_vals"), 0);
        ASSERT_EQ(sql("CREATE TABLE scs_vals (id int PRIMARY KEY, grp int, name varchar(20))"), 0);
        ASSERT_EQ(sql("INSERT INTO scs_vals SELECT g, g, 'row ' || g FROM generate_series(1, 6) g"), 0);
    }

    // Runs a statement on a statement of its own; the execute's number.
    int sql(const std::string &text)
    {
        int h = alloc();
        int rc = run(h, text);
        if (rc != 0)
            ADD_FAILURE() << text << ": " << drainErrors(h);
        stmtOps().FreeStmt(h);
        return rc;
    }

    // A keyset-driven (or other) cursor over scs_vals ordered by grp,
    // rowsets of 3 rows, executed.
    int cursor(int32_t concurrency, int32_t type = SQL_CURSOR_KEYSET_DRIVEN, int32_t keysetSize = 0)
    {
        // Dynamic cursors and key windows are given once the connection's
        // capabilities were asked, as the driver core does.
        int32_t word = 0;
        int16_t wordLen = 0;
        EXPECT_EQ(scsOps().GetInfo(conn, DrvInt(DRV_CONN_CAPABILITY_WORD), &word, 4, &wordLen), 0);
        int h = 0;
        EXPECT_EQ(scsOps().AllocStmt(conn, &h), 0);
        setOption(h, SQL_CURSOR_TYPE, type);
        setOption(h, SQL_CONCURRENCY, concurrency);
        setOption(h, SQL_ROWSET_SIZE, 3);
        if (keysetSize)
            setOption(h, SQL_KEYSET_SIZE, keysetSize);
        EXPECT_EQ(scsOps().Prepare(h, "SELECT id, name FROM scs_vals ORDER BY grp"), 0) << drainErrors(h);
        int32_t v = -1;
        int16_t len = 0;
        scsOps().GetInfo(h, DrvInt(DrvStmtOption(SQL_CONCURRENCY)), &v, 4, &len);
        EXPECT_EQ(v, concurrency) << "kept by the analysis";
        scsOps().GetInfo(h, DrvInt(DrvStmtOption(SQL_CURSOR_TYPE)), &v, 4, &len);
        EXPECT_EQ(v, type);
        EXPECT_EQ(scsOps().Execute(h), 0) << drainErrors(h);
        return h;
    }

    // Fetches the rowset at an absolute row (or by another orientation,
    // row the offset); its first column's values.
    std::vector<int> fetchAt(int h, int row, int orientation = SQL_FETCH_ABSOLUTE)
    {
        RowsetCache *rs = nullptr;
        int rows = 0, total = 0;
        EXPECT_EQ(scsOps().ScrollFetch(h, nullptr, &rs, row, &rows, &total, orientation), 0) << drainErrors(h);
        std::vector<int> ids;
        for (int32_t i = 0; rs && rs->block && i < rs->block->rowsUsed; ++i)
            ids.push_back(rs->block->columns[0].indicators[i] < 0 ? -1 : getCell<int32_t>(rs->block, 0, i));
        RS_Free(&rs);
        return ids;
    }

    // The ids of the compared values (the table's first column), -1 for an
    // empty row.
    static std::vector<int> valueIds(const ScsContext *ctx)
    {
        std::vector<int> ids;
        const RowBlock *v = ctx->compareValues;
        for (int32_t i = 0; v && i < v->rowsUsed; ++i)
            ids.push_back(v->columns[0].indicators[i] < 0 ? -1 : getCell<int32_t>(v, 0, i));
        return ids;
    }
};

TEST_F(ScsRowLocks, ValuesStayAtTheirKeysWhenTheRowsAreReordered)
{
    const int h = cursor(SQL_CONCUR_VALUES);
    // Row 1 now sorts last: the server returns the rowset's values in
    // another order than the keys'.
    ASSERT_EQ(sql("UPDATE scs_vals SET grp = 100, name = 'moved' WHERE id = 1"), 0);
    EXPECT_EQ(fetchAt(h, 1), (std::vector<int>{1, 2, 3}));
    ScsContext *ctx = scs_p_CtxFind(h);
    ASSERT_NE(ctx, nullptr);
    ASSERT_NE(ctx->compareValues, nullptr);
    EXPECT_EQ(valueIds(ctx), (std::vector<int>{1, 2, 3}));
    // The values are the table's columns: id, grp, name.
    ASSERT_EQ(ctx->compareValues->columnsUsed, 3);
    EXPECT_EQ(getCell<int32_t>(ctx->compareValues, 1, 0), 100);
    EXPECT_EQ(textOf(ctx->compareValues, 2, 0), "moved");

    // A row that goes between the fetch and the reading of the values:
    // an empty row in its place and the key deleted.
    ASSERT_EQ(sql("DELETE FROM scs_vals WHERE id = 2"), 0);
    ASSERT_EQ(scs_p_GetOptConcColVals(ctx, nullptr, 0, 1, 3, 3), 0) << drainErrors(h);
    EXPECT_EQ(valueIds(ctx), (std::vector<int>{1, -1, 3}));
    EXPECT_EQ(ctx->keySet->statuses[1], SQL_ROW_DELETED);

    // The next rowset reads its own values (the statement stays prepared).
    EXPECT_EQ(fetchAt(h, 4), (std::vector<int>{4, 5, 6}));
    EXPECT_EQ(valueIds(ctx), (std::vector<int>{4, 5, 6}));
    scsOps().FreeStmt(h);
}

// A mixed cursor's values are read by the keys of its window: a row gone
// since the fetch leaves an empty row and its key deleted there too.
TEST_F(ScsRowLocks, MixedValuesOfAVanishedRow)
{
    const int h = cursor(SQL_CONCUR_VALUES, SQL_CURSOR_KEYSET_DRIVEN, 6);
    EXPECT_EQ(fetchAt(h, 0, SQL_FETCH_FIRST), (std::vector<int>{1, 2, 3}));
    ScsContext *ctx = scs_p_CtxFind(h);
    ASSERT_NE(ctx, nullptr);
    ASSERT_EQ(sql("DELETE FROM scs_vals WHERE id = 2"), 0);
    ASSERT_EQ(scs_p_GetOptConcColVals(ctx, nullptr, 0, 1, 3, 3), 0) << drainErrors(h);
    EXPECT_EQ(valueIds(ctx), (std::vector<int>{1, -1, 3}));
    EXPECT_EQ(ctx->keySet->statuses[1], SQL_ROW_DELETED);
    scsOps().FreeStmt(h);
}

// A dynamic cursor reads again the values of the rows it was given only;
// the others keep the values of the fetch.  A window shorter than a rowset
// is read with the key groups of the fetch that made it.
TEST_F(ScsRowLocks, DynamicValuesReadAgainForTheGivenRowsOnly)
{
    const int h = cursor(SQL_CONCUR_VALUES, SQL_CURSOR_DYNAMIC);
    EXPECT_EQ(fetchAt(h, 0, SQL_FETCH_FIRST), (std::vector<int>{1, 2, 3}));
    ScsContext *ctx = scs_p_CtxFind(h);
    ASSERT_NE(ctx, nullptr);
    ASSERT_EQ(sql("UPDATE scs_vals SET name = 'new ' || id WHERE id IN (2, 3)"), 0);
    const int32_t second = 1;
    ASSERT_EQ(scs_p_RefreshOptConcVals(ctx, &second, 1), 0) << drainErrors(h);
    EXPECT_EQ(valueIds(ctx), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(textOf(ctx->compareValues, 2, 0), "row 1");
    EXPECT_EQ(textOf(ctx->compareValues, 2, 1), "new 2");
    EXPECT_EQ(textOf(ctx->compareValues, 2, 2), "row 3");

    ASSERT_EQ(sql("DELETE FROM scs_vals WHERE id IN (5, 6)"), 0);
    EXPECT_EQ(fetchAt(h, 1, SQL_FETCH_NEXT), (std::vector<int>{4}));
    ASSERT_EQ(sql("UPDATE scs_vals SET name = 'later' WHERE id = 4"), 0);
    ASSERT_EQ(scs_p_WindowValuesRead(ctx, 1), 0) << drainErrors(h);
    EXPECT_EQ(valueIds(ctx), (std::vector<int>{4}));
    EXPECT_EQ(textOf(ctx->compareValues, 2, 0), "later");
    scsOps().FreeStmt(h);
}

// After its own update a keyset-driven, mixed or static cursor reads again
// by key the values of the rows it is given only; a row gone meanwhile
// keeps the values of the fetch (a later change of it is refused), and the
// key statuses stay as they were.
TEST_F(ScsRowLocks, ValuesReadAgainByKeyForTheGivenRowsOnly)
{
    struct Case {
        const char *what;
        int32_t type, keysetSize;
    };
    const Case cases[] = {
        {"keyset-driven", SQL_CURSOR_KEYSET_DRIVEN, 0},
        {"mixed", SQL_CURSOR_KEYSET_DRIVEN, 6},
        {"static", SQL_CURSOR_STATIC, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(sql("UPDATE scs_vals SET name = 'row ' || id"), 0);
        const int h = cursor(SQL_CONCUR_VALUES, c.type, c.keysetSize);
        if (c.keysetSize) {
            EXPECT_EQ(fetchAt(h, 0, SQL_FETCH_FIRST), (std::vector<int>{1, 2, 3}));
            EXPECT_EQ(fetchAt(h, 1, SQL_FETCH_NEXT), (std::vector<int>{4, 5, 6}));
        } else {
            EXPECT_EQ(fetchAt(h, 4), (std::vector<int>{4, 5, 6}));
        }
        ScsContext *ctx = scs_p_CtxFind(h);
        ASSERT_NE(ctx, nullptr);
        ASSERT_EQ(sql("UPDATE scs_vals SET name = 'new ' || id WHERE id IN (4, 5)"), 0);
        ASSERT_EQ(sql("DELETE FROM scs_vals WHERE id = 6"), 0);
        // Key rows 4 and 5: ids 5 and 6.
        const int32_t keyRows[] = {4, 5};
        ASSERT_EQ(scs_p_RefreshOptConcVals(ctx, keyRows, 2), 0) << drainErrors(h);
        // A static cursor keeps every row's values, the others the rowset's.
        const int32_t at = c.type == SQL_CURSOR_STATIC ? 3 : 0;
        ASSERT_NE(ctx->compareValues, nullptr);
        ASSERT_GE(ctx->compareValues->rowsUsed, at + 3);
        EXPECT_EQ(textOf(ctx->compareValues, 2, at), "row 4");
        EXPECT_EQ(textOf(ctx->compareValues, 2, at + 1), "new 5");
        EXPECT_EQ(textOf(ctx->compareValues, 2, at + 2), "row 6");
        EXPECT_EQ(ctx->keySet->statuses[5], SQL_ROW_SUCCESS);
        scsOps().FreeStmt(h);
        ASSERT_EQ(sql("INSERT INTO scs_vals VALUES (6, 6, 'row 6')"), 0);
    }
}

TEST_F(ScsRowLocks, ALockOnAVanishedRowFails)
{
    const int h = cursor(SQL_CONCUR_LOCK);
    EXPECT_EQ(fetchAt(h, 1), (std::vector<int>{1, 2, 3}));
    ScsContext *ctx = scs_p_CtxFind(h);
    ASSERT_NE(ctx, nullptr);
    std::string text;
    ASSERT_EQ(scs_p_LockTextBuild(ctx, &text), 0);
    // The table as the key lookup found it, names quoted.
    EXPECT_EQ(text, "UPDATE \"public\".\"scs_vals\" SET \"id\" = ? WHERE \"id\" = ?");

    // Locked again, the rows are still there.
    EXPECT_EQ(scs_p_LockRows(ctx, 0, 3), 0) << drainErrors(h);
    ASSERT_EQ(sql("DELETE FROM scs_vals WHERE id = 3"), 0);
    EXPECT_EQ(scs_p_LockRows(ctx, 0, 3), ERR_ROW_ERROR);
    // Deleted keys are not locked at all.
    ctx->keySet->statuses[2] = SQL_ROW_DELETED;
    EXPECT_EQ(scs_p_LockRows(ctx, 0, 3), 0);
    scsOps().FreeStmt(h);
}

} // namespace

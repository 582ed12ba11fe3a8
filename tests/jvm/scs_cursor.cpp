// The cursor library over the JDBC back end and PostgreSQL: static cursors
// read once and scrolled from the static set, the downgrade of statements
// that cannot have a keyset (with the changed cursor type visible to the
// statement layer), catalog results as static cursors, and forward-only
// statements passed straight through.
#include "tests/jvm/scs_support.h"

#include "odbc/contract/catalog_args.h"
#include "odbc/contract/cursor_state.h"
#include "odbc/contract/rb_ops.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_install.h"
#include "scrs/scs_keyset.h"

#include <algorithm>

namespace {

int32_t stmtOption(int h, int option)
{
    int32_t v = -1;
    int16_t len = 0;
    EXPECT_EQ(scsOps().GetInfo(h, DrvInt(DrvStmtOption(option)), &v, 4, &len), 0);
    return v;
}

void setOption(int h, int option, int32_t v)
{
    // The back end may settle on another value (75): the analysis reads it.
    const int rc = scsOps().SetOption(h, DrvInt(DrvStmtOption(option)), &v);
    EXPECT_TRUE(rc == 0 || rc == ERR_OPTION_VALUE_CHANGED) << rc;
}

class ScsCursor : public StmtTest {
protected:
    void SetUp() override
    {
        StmtTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        int h = 0;
        ASSERT_EQ(scsOps().AllocStmt(conn, &h), 0);
        for (const char *sql : {"DROP TABLE IF EXISTS scs_twenty",
                                "CREATE TABLE scs_twenty (id int PRIMARY KEY, name varchar(20))",
                                "INSERT INTO scs_twenty SELECT g, 'row ' || g FROM generate_series(1, 20) g"}) {
            ASSERT_EQ(scsOps().Prepare(h, sql), 0) << drainErrors(h);
            ASSERT_EQ(scsOps().Execute(h), 0) << drainErrors(h);
        }
        scsOps().FreeStmt(h);
    }

    int cursor(int32_t type, int32_t concurrency, int32_t rowset)
    {
        int h = 0;
        EXPECT_EQ(scsOps().AllocStmt(conn, &h), 0);
        setOption(h, SQL_CURSOR_TYPE, type);
        setOption(h, SQL_CONCURRENCY, concurrency);
        setOption(h, SQL_ROWSET_SIZE, rowset);
        return h;
    }

    // The first column of the rowset at an absolute row; rc and row count out.
    std::vector<int> rowsAt(int h, int row, int *rc, int *count = nullptr)
    {
        RowsetCache *rs = nullptr;
        int rows = 0, total = 0;
        *rc = scsOps().ScrollFetch(h, nullptr, &rs, row, &rows, &total, SQL_FETCH_ABSOLUTE);
        std::vector<int> v;
        for (int32_t i = 0; rs && rs->block && i < rs->block->rowsUsed; ++i)
            v.push_back(getCell<int32_t>(rs->block, 0, i));
        if (count)
            *count = total;
        RS_Free(&rs);
        return v;
    }
};

TEST_F(ScsCursor, StaticCursorScrollsAReadOnceResult)
{
    int h = cursor(SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, 5);
    ASSERT_EQ(scsOps().Prepare(h, "SELECT id, name FROM scs_twenty WHERE id <= 12 ORDER BY id"), 0) << drainErrors(h);
    EXPECT_EQ(stmtOption(h, SQL_CURSOR_TYPE), SQL_CURSOR_STATIC);
    ASSERT_EQ(scsOps().Execute(h), 0) << drainErrors(h);
    int32_t count = 0;
    int16_t len = 0;
    ASSERT_EQ(scsOps().GetInfo(h, DrvInt(DRV_STMT_ROW_COUNT), &count, 4, &len), 0);
    EXPECT_EQ(count, 12);
    // The rows are all read: changing the table does not change the cursor.
    int other = 0;
    ASSERT_EQ(stmtOps().AllocStmt(conn, &other), 0);
    ASSERT_EQ(run(other, "DELETE FROM scs_twenty WHERE id = 1"), 0) << drainErrors(other);
    stmtOps().FreeStmt(other);

    struct Case {
        int row, rc;
        std::vector<int> ids;
    } cases[] = {
        {1, 0, {1, 2, 3, 4, 5}}, {0, 0, {8, 9, 10, 11, 12}}, {-2, 0, {11, 12}},
        {6, 0, {6, 7, 8, 9, 10}}, {13, ERR_BEYOND_END, {}}, {-13, ERR_BEFORE_START, {}},
    };
    for (const Case &c : cases) {
        int rc = -1, total = 0;
        EXPECT_EQ(rowsAt(h, c.row, &rc, &total), c.ids) << c.row;
        EXPECT_EQ(rc, c.rc) << c.row << " " << drainErrors(h);
        if (c.rc == 0)
            EXPECT_EQ(total, 12);
    }
    EXPECT_EQ(scsOps().FreeStmt(h), 0);
}

TEST_F(ScsCursor, StatementsWithoutAKeysetBecomeStaticReadOnly)
{
    struct Case {
        const char *sql;
        int32_t type, concurrency;
        int rows;
    } cases[] = {
        {"SELECT id FROM scs_twenty ORDER BY id LIMIT 7", SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, 7},
        {"SELECT id::int FROM scs_twenty ORDER BY id", SQL_CURSOR_DYNAMIC, SQL_CONCUR_VALUES, 20},
        {"SELECT DISTINCT id FROM scs_twenty ORDER BY 1", SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY, 20},
        {"SELECT id FROM scs_twenty ORDER BY id LIMIT 3", SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        int h = cursor(c.type, c.concurrency, 3);
        ASSERT_EQ(scsOps().Prepare(h, c.sql), 0) << drainErrors(h);
        // The statement layer reads the changed options back (and reports 01S02).
        EXPECT_EQ(stmtOption(h, SQL_CURSOR_TYPE), SQL_CURSOR_STATIC);
        EXPECT_EQ(stmtOption(h, SQL_CONCURRENCY), SQL_CONCUR_READ_ONLY);
        ASSERT_EQ(scsOps().Execute(h), 0) << drainErrors(h);
        int rc = -1, total = 0;
        std::vector<int> last = rowsAt(h, -1, &rc, &total);
        EXPECT_EQ(rc, 0) << drainErrors(h);
        EXPECT_EQ(total, c.rows);
        EXPECT_EQ(last, std::vector<int>{c.rows});
        EXPECT_EQ(rowsAt(h, 1, &rc), (std::vector<int>{1, 2, 3}));
        scsOps().FreeStmt(h);
    }
}

TEST_F(ScsCursor, KeysetCursorReadsItsRowsByKeys)
{
    int h = cursor(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY, 3);
    ASSERT_EQ(scsOps().Prepare(h, "SELECT id, name FROM scs_twenty ORDER BY 1"), 0) << drainErrors(h);
    EXPECT_EQ(stmtOption(h, SQL_CURSOR_TYPE), SQL_CURSOR_KEYSET_DRIVEN) << "the primary key serves";
    ASSERT_EQ(scsOps().Execute(h), 0) << drainErrors(h);
    int rc = -1, total = 0;
    EXPECT_EQ(rowsAt(h, -1, &rc, &total), std::vector<int>{20});
    EXPECT_EQ(total, 20);
    int other = 0;
    ASSERT_EQ(stmtOps().AllocStmt(conn, &other), 0);
    ASSERT_EQ(run(other, "DELETE FROM scs_twenty WHERE id = 2"), 0) << drainErrors(other);
    ASSERT_EQ(run(other, "UPDATE scs_twenty SET name = 'changed' WHERE id = 3"), 0) << drainErrors(other);
    stmtOps().FreeStmt(other);
    RowsetCache *rs = nullptr;
    int rows = 0;
    ASSERT_EQ(scsOps().ScrollFetch(h, nullptr, &rs, 1, &rows, &total, SQL_FETCH_ABSOLUTE), 0) << drainErrors(h);
    ASSERT_EQ(rows, 3);
    EXPECT_EQ(rs->status[0], SQL_ROW_SUCCESS);
    EXPECT_EQ(rs->status[1], SQL_ROW_DELETED);
    EXPECT_EQ(rs->block->columns[0].indicators[1], -1) << "a deleted row is all NULL";
    EXPECT_EQ(getCell<int32_t>(rs->block, 0, 2), 3);
    EXPECT_EQ(textOf(rs->block, 1, 2), "changed");
    RS_Free(&rs);
    scsOps().FreeStmt(h);
}

TEST_F(ScsCursor, ExistingKeysFindDeletionsWhateverTheirOrder)
{
    int h = cursor(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY, 4);
    ASSERT_EQ(scsOps().Prepare(h, "SELECT id, name FROM scs_twenty WHERE id > 10 ORDER BY name DESC"), 0)
        << drainErrors(h);
    ASSERT_EQ(scsOps().Execute(h), 0) << drainErrors(h);
    ScsContext *ctx = scs_p_CtxFind(h);
    ASSERT_NE(ctx, nullptr);
    RowBlock *keys = ctx->keySet->keyRows;
    ASSERT_EQ(keys->rowsUsed, 10);
    // Keys in the keyset's order: names descending ("row 20" ... "row 11").
    std::vector<int> order;
    for (int32_t i = 0; i < keys->rowsUsed; ++i)
        order.push_back(getCell<int32_t>(keys, 0, i));
    EXPECT_EQ(order, (std::vector<int>{20, 19, 18, 17, 16, 15, 14, 13, 12, 11}));
    int other = 0;
    ASSERT_EQ(stmtOps().AllocStmt(conn, &other), 0);
    ASSERT_EQ(run(other, "DELETE FROM scs_twenty WHERE id = 17"), 0) << drainErrors(other);
    // Moved to the other end of the statement's order: still there.
    ASSERT_EQ(run(other, "UPDATE scs_twenty SET name = 'a' WHERE id = 18"), 0) << drainErrors(other);
    stmtOps().FreeStmt(other);

    RowBlock *existing = nullptr;
    ASSERT_EQ(KS_GetExistingKeys(ctx, keys, 1, &existing), 0) << drainErrors(h);
    std::vector<int> found;
    for (int32_t i = 0; i < existing->rowsUsed; ++i)
        found.push_back(getCell<int32_t>(existing, 0, i));
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<int>{16, 18, 19})) << "rows 1-4 of the keyset: 19, 18, 17, 16";
    RB_Free(existing);
    free(existing);
    existing = nullptr;

    // The rowset's rows without the deleted one get an empty row in its place.
    ASSERT_EQ(RB_NewLike(&existing, keys, 4), 0);
    for (int32_t i : {1, 2, 4})
        ASSERT_EQ(RB_CopyRow(existing, keys, existing->rowsUsed, i, 0), 0);
    ASSERT_EQ(scs_p_MarkDeletedRows(ctx, existing, keys, 1, 0, ctx->keySet->statuses), 0) << drainErrors(h);
    ASSERT_EQ(existing->rowsUsed, 4);
    EXPECT_EQ(existing->columns[0].indicators[2], -1);
    EXPECT_EQ(getCell<int32_t>(existing, 0, 0), 19);
    EXPECT_EQ(getCell<int32_t>(existing, 0, 1), 18);
    EXPECT_EQ(getCell<int32_t>(existing, 0, 3), 16);
    EXPECT_EQ(ctx->keySet->statuses[3], SQL_ROW_DELETED);
    EXPECT_EQ(ctx->keySet->statuses[2], SQL_ROW_SUCCESS) << "a row moved in the order is not deleted";
    RB_Free(existing);
    free(existing);
    scsOps().FreeStmt(h);
}

TEST_F(ScsCursor, RefusalsByCursorType)
{
    struct Case {
        const char *sql;
        int32_t type;
        int rc;
    } cases[] = {
        {"SELECT id FROM scs_twenty GROUP BY id", SQL_CURSOR_KEYSET_DRIVEN, ERR_GROUP_BY_CLAUSE},
        {"SELECT a.id FROM scs_twenty a LEFT JOIN scs_twenty b ON a.id = b.id", SQL_CURSOR_DYNAMIC,
         ERR_OUTER_JOIN_NEEDS_STATIC},
        {"SELECT id FROM scs_twenty GROUP BY id", SQL_CURSOR_STATIC, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        int h = cursor(c.type, SQL_CONCUR_READ_ONLY, 1);
        EXPECT_EQ(scsOps().Prepare(h, c.sql), c.rc) << drainErrors(h);
        scsOps().FreeStmt(h);
    }
}

TEST_F(ScsCursor, CatalogResultIsStaticAndLeavesTheCursorType)
{
    int h = cursor(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 2);
    std::string table = "scs_twenty", col = "%";
    CatalogArgs args{};
    args.text[CA_SCHEMA] = strdup("%");
    args.text[CA_OBJECT] = strdup(table.c_str());
    args.text[CA_FOURTH] = strdup(col.c_str());
    ASSERT_EQ(scsOps().DDColumns(h, &args), 0) << drainErrors(h);
    for (char *t : args.text)
        free(t);
    RowsetCache *rs = nullptr;
    int rows = 0, total = 0;
    ASSERT_EQ(scsOps().ScrollFetch(h, nullptr, &rs, 2, &rows, &total, SQL_FETCH_ABSOLUTE), 0) << drainErrors(h);
    EXPECT_EQ(total, 2);
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(textOf(rs->block, 3, 0), "name");
    RS_Free(&rs);
    EXPECT_EQ(stmtOption(h, SQL_CURSOR_TYPE), SQL_CURSOR_KEYSET_DRIVEN);
    EXPECT_EQ(stmtOption(h, SQL_CONCURRENCY), SQL_CONCUR_VALUES);
    scsOps().FreeStmt(h);
}

TEST_F(ScsCursor, ForwardOnlyPassesThrough)
{
    int h = cursor(SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_READ_ONLY, 1);
    ASSERT_EQ(scsOps().Prepare(h, "SELECT id FROM scs_twenty ORDER BY id LIMIT 4"), 0) << drainErrors(h);
    ASSERT_EQ(scsOps().Execute(h), 0) << drainErrors(h);
    RowBlock b{};
    ASSERT_EQ(scsOps().Fetch(h, 10, &b), 0);
    EXPECT_EQ(b.rowsUsed, 4);
    RB_Free(&b);
    int32_t count = 0;
    int16_t len = 0;
    ASSERT_EQ(scsOps().GetInfo(h, DrvInt(DRV_STMT_ROW_COUNT), &count, 4, &len), 0);
    EXPECT_EQ(count, -1);
    scsOps().FreeStmt(h);
}

} // namespace

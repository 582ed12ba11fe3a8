// The cursor library's positioned UPDATE, DELETE and ADD over the JDBC back
// end and PostgreSQL: the statements it generates run on the server and
// change exactly the rows meant (read back through another statement), with
// labels that are not the columns they name, identifiers that need quoting,
// a key from a unique index, long text and binary values, and a row another
// statement changed meanwhile.
#include "tests/jvm/scs_support.h"

#include "odbc/contract/cursor_state.h"
#include "scrs/scs_install.h"

#include <sql.h>
#include <sqlext.h>

namespace {

uint16_t *columnMap(std::vector<uint16_t> c)
{
    auto *m = static_cast<uint16_t *>(malloc(c.size() * sizeof(uint16_t)));
    memcpy(m, c.data(), c.size() * sizeof(uint16_t));
    return m;
}

class ScsSetPos : public StmtTest {
protected:
    void SetUp() override
    {
        StmtTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        exec({"DROP TABLE IF EXISTS sp_ab",
              "CREATE TABLE sp_ab (id int PRIMARY KEY, a varchar(9), b varchar(9))",
              "INSERT INTO sp_ab VALUES (1, 'a1', 'b1'), (2, 'a2', 'b2'), (3, 'a3', 'b3')",
              "DROP TABLE IF EXISTS \"sp_We\"",
              "CREATE TABLE \"sp_We\" (id int NOT NULL, \"n\"\"ame\" text, bin bytea)",
              "CREATE UNIQUE INDEX ON \"sp_We\" (id)",
              "INSERT INTO \"sp_We\" VALUES (1, 'one', NULL), (2, 'two', NULL)"});
    }

    void exec(std::vector<const char *> sqls)
    {
        int h = 0;
        ASSERT_EQ(stmtOps().AllocStmt(conn, &h), 0);
        for (const char *sql : sqls) {
            ASSERT_EQ(stmtOps().Prepare(h, sql), 0) << sql << drainErrors(h);
            ASSERT_EQ(stmtOps().Execute(h), 0) << sql << drainErrors(h);
        }
        stmtOps().FreeStmt(h);
    }

    // The first column of every row of a query, as text, through a
    // statement of its own.
    std::vector<std::string> seen(const char *sql)
    {
        std::vector<std::string> out;
        int h = 0;
        EXPECT_EQ(stmtOps().AllocStmt(conn, &h), 0);
        EXPECT_EQ(stmtOps().Prepare(h, sql), 0) << drainErrors(h);
        EXPECT_EQ(stmtOps().Execute(h), 0) << drainErrors(h);
        RowBlock b{};
        EXPECT_EQ(stmtOps().Fetch(h, 100, &b), 0) << drainErrors(h);
        for (int32_t r = 0; r < b.rowsUsed; ++r)
            out.push_back(indOf(&b, 0, r) == RB_IND_NULL ? "NULL" : textOf(&b, 0, r));
        RB_Free(&b);
        stmtOps().FreeStmt(h);
        return out;
    }

    // A keyset-driven cursor over `sql` with a rowset of three rows, fetched
    // at its first row; it then takes lock concurrency, which lets it change
    // rows (row locks themselves are not part of this test).  0 when the
    // cursor is no keyset-driven one.
    int keysetCursor(const char *sql)
    {
        int h = 0;
        EXPECT_EQ(scsOps().AllocStmt(conn, &h), 0);
        for (auto [option, v] : {std::pair<int, int32_t>{SQL_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN},
                                 {SQL_CONCURRENCY, SQL_CONCUR_READ_ONLY},
                                 {SQL_ROWSET_SIZE, 3}})
            scsOps().SetOption(h, DrvInt(DrvStmtOption(option)), &v);
        EXPECT_EQ(scsOps().Prepare(h, sql), 0) << drainErrors(h);
        int32_t type = 0;
        int16_t len = 0;
        scsOps().GetInfo(h, DrvInt(DrvStmtOption(SQL_CURSOR_TYPE)), &type, 4, &len);
        if (type != SQL_CURSOR_KEYSET_DRIVEN) {
            scsOps().FreeStmt(h);
            return 0;
        }
        EXPECT_EQ(scsOps().Execute(h), 0) << drainErrors(h);
        RowsetCache *rs = nullptr;
        int rows = 0, total = 0;
        EXPECT_EQ(scsOps().ScrollFetch(h, nullptr, &rs, 1, &rows, &total, SQL_FETCH_ABSOLUTE), 0) << drainErrors(h);
        RS_Free(&rs);
        int32_t lock = SQL_CONCUR_LOCK;
        scsOps().SetOption(h, DrvInt(DrvStmtOption(SQL_CONCURRENCY)), &lock);
        return h;
    }

    // Slot 37 with a value block; the statuses it answers.
    int setPos(int h, int32_t row, uint16_t op, RowBlock *values, std::vector<uint16_t> cols,
               std::vector<uint16_t> *statuses)
    {
        uint16_t *st = nullptr;
        uint16_t n = 0;
        int rc = scsOps().SetPos(h, nullptr, row, op, 0, &st, &n, values, cols.empty() ? nullptr : columnMap(cols),
                                 static_cast<uint16_t>(cols.size()));
        statuses->assign(st, st + (st ? n : 0));
        free(st);
        return rc;
    }
};

TEST_F(ScsSetPos, UpdateDeleteAddChangeExactlyTheirRows)
{
    int h = keysetCursor("SELECT id, a AS b, b AS a FROM sp_ab ORDER BY id");
    if (!h)
        GTEST_SKIP() << "keyset-driven cursors are not served";
    std::vector<uint16_t> st;
    // The labels are swapped: the second result column is a, the third b.
    RowBlock *v = newParamBlock({{VT_NTS, 17}, {VT_NTS, 17}}, 1);
    putText(v, 0, 0, "new-a");
    putText(v, 1, 0, "new-b");
    ASSERT_EQ(setPos(h, 2, SQL_UPDATE, v, {2, 3}, &st), 0) << drainErrors(h);
    EXPECT_EQ(st, (std::vector<uint16_t>{SQL_ROW_UPDATED}));
    EXPECT_EQ(seen("SELECT id || ':' || a || '/' || b FROM sp_ab ORDER BY id"),
              (std::vector<std::string>{"1:a1/b1", "2:new-a/new-b", "3:a3/b3"}));

    RowBlock *marks = newParamBlock({{VT_BIT, 1}}, 1);
    indOf(marks, 0, 0) = RB_IND_NULL;
    ASSERT_EQ(setPos(h, 3, SQL_DELETE, marks, {}, &st), 0) << drainErrors(h);
    EXPECT_EQ(st, (std::vector<uint16_t>{SQL_ROW_DELETED}));

    RowBlock *add = newParamBlock({{VT_LONG, 4}, {VT_NTS, 17}, {VT_NTS, 17}}, 1);
    putCell<int32_t>(add, 0, 0, 10);
    putText(add, 1, 0, "ten-a");
    indOf(add, 2, 0) = RB_IND_NULL;
    ASSERT_EQ(setPos(h, 1, SQL_ADD, add, {1, 2, 3}, &st), 0) << drainErrors(h);
    EXPECT_EQ(st, (std::vector<uint16_t>{SQL_ROW_ADDED}));
    EXPECT_EQ(seen("SELECT id || ':' || a || '/' || coalesce(b, '-') FROM sp_ab ORDER BY id"),
              (std::vector<std::string>{"1:a1/b1", "2:new-a/new-b", "10:ten-a/-"}));

    // Another statement deletes row 1 meanwhile: the update finds no row,
    // says so, and changes nothing.
    exec({"DELETE FROM sp_ab WHERE id = 1"});
    RowBlock *late = newParamBlock({{VT_NTS, 17}}, 1);
    putText(late, 0, 0, "late");
    EXPECT_EQ(setPos(h, 1, SQL_UPDATE, late, {2}, &st), ERR_NO_ROWS_CHANGED);
    EXPECT_EQ(st, (std::vector<uint16_t>{SQL_ROW_ERROR}));
    EXPECT_EQ(seen("SELECT count(*) FROM sp_ab WHERE a = 'late'"), (std::vector<std::string>{"0"}));
    scsOps().FreeStmt(h);
}

TEST_F(ScsSetPos, QuotedNamesUniqueIndexAndLongValues)
{
    int h = keysetCursor("SELECT id, \"n\"\"ame\", bin FROM \"sp_We\" ORDER BY 1");
    if (!h)
        GTEST_SKIP() << "keyset-driven cursors are not served";
    std::string text(100000, 'x');
    for (size_t i = 0; i < text.size(); i += 1000)
        text[i] = static_cast<char>('a' + (i / 1000) % 26);
    std::string bytes;
    for (int i = 0; i < 100000; ++i)
        bytes += static_cast<char>(i % 256);
    RowBlock *v = newParamBlock({{VT_NTS, 100001}, {VT_HEAP_BINARY, sizeof(LongDataBuf)}}, 1);
    putText(v, 0, 0, text);
    putText(v, 1, 0, bytes);
    std::vector<uint16_t> st;
    ASSERT_EQ(setPos(h, 1, SQL_UPDATE, v, {2, 3}, &st), 0) << drainErrors(h);
    EXPECT_EQ(st, (std::vector<uint16_t>{SQL_ROW_UPDATED}));
    EXPECT_EQ(seen("SELECT length(\"n\"\"ame\") || ':' || substr(\"n\"\"ame\", 99001, 3) || ':' || length(bin) || ':' ||"
                   " get_byte(bin, 99999) FROM \"sp_We\" ORDER BY id"),
              (std::vector<std::string>{"100000:vxx:100000:159", "NULL"}));
    scsOps().FreeStmt(h);
}

} // namespace

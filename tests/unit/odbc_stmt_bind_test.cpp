// The statement's bindings, descriptions and counts over a fake back end.
#include "odbc/stmt_bind.h"

#include <gtest/gtest.h>

#include <cstring>

#include "odbc/handles.h"
#include "odbc/contract/typed_value.h"
#include "odbc/stmt.h"
#include "tests/unit/odbc_test_support.h"
#include "util/hash.h"

namespace {
// Descriptions the scripted back end hands out.
std::vector<std::string> gColNames;
int gColDescCalls = 0;
int gParamDescCalls = 0;
int gColDescResult = 0;

int FakeGetColDescs(int, uint16_t *count, ColDesc **copy)
{
    ++gColDescCalls;
    if (gColDescResult)
        return gColDescResult;
    *count = static_cast<uint16_t>(gColNames.size());
    ColDesc *d = CD_Alloc(*count);
    for (size_t i = 0; i < gColNames.size(); ++i) {
        strcpy(d[i].name, gColNames[i].c_str());
        d[i].sqlType = 4;
        d[i].valueType = VT_LONG;
    }
    *copy = d;
    return 0;
}

int FakeGetParamDescs(int, uint16_t *count, ColDesc **copy)
{
    ++gParamDescCalls;
    *count = 2;
    *copy = CD_Alloc(2);
    (*copy)[1].sqlType = 93;
    return 0;
}

int FakeColAttributes(int h, uint16_t *cols, int16_t *attrs, ColDesc **copy, TypedValue **table)
{
    FakeGetColDescs(h, cols, copy);
    *attrs = 2;
    *table = static_cast<TypedValue *>(calloc(2, sizeof(TypedValue)));
    (*table)[0] = TypedValue{0, 10, TV_INT, {}};
    (*table)[0].value.integer = 2;
    (*table)[1] = TypedValue{1, 14, TV_TEXT, {}};
    (*table)[1].value.text = strdup("int4");
    return 0;
}

class StmtBind : public ::testing::Test {
protected:
    void SetUp() override
    {
        gColNames = {"a", "*B", "c"};
        gColDescCalls = gParamDescCalls = gColDescResult = 0;
        hstmt = session.NewStmt();
        s = StmtLookup(hstmt);
        ASSERT_NE(s, nullptr);
        table = *s->conn->binding.ops;
        table.GetColDescs = FakeGetColDescs;
        table.GetParamDescs = FakeGetParamDescs;
        table.ColAttributes = FakeColAttributes;
        saved = s->conn->binding.ops;
        s->conn->binding.ops = &table;
    }
    void TearDown() override
    {
        if (s)
            s->conn->binding.ops = saved;
    }

    ParamBinding param(uint16_t n, int16_t sqlType)
    {
        ParamBinding b{};
        b.number = n;
        b.cType = SQL_C_LONG;
        b.sqlType = sqlType;
        b.columnSize = 10;
        b.paramType = SQL_PARAM_INPUT;
        return b;
    }

    FakeSession session;
    SQLHSTMT hstmt = nullptr;
    Stmt *s = nullptr;
    DrvOpTable table{};
    const DrvOpTable *saved = nullptr;
};

TEST_F(StmtBind, ParameterArrayGrowsToNumberPlusNineAndStopsAt1024)
{
    ParamBinding b = param(3, SQL_INTEGER);
    ASSERT_EQ(StmtSetParamBinding(s, &b), SQL_SUCCESS);
    EXPECT_EQ(s->paramCapacity, 12);
    EXPECT_EQ(StmtGetParamBinding(3, s)->sqlType, SQL_INTEGER);
    EXPECT_NE(StmtGetParamBinding(12, s), nullptr) << "unbound entries within the capacity exist";
    EXPECT_EQ(StmtGetParamBinding(13, s), nullptr);
    b = param(1020, SQL_VARCHAR);
    ASSERT_EQ(StmtSetParamBinding(s, &b), SQL_SUCCESS);
    EXPECT_EQ(s->paramCapacity, 1024);
    EXPECT_EQ(StmtGetParamBinding(3, s)->sqlType, SQL_INTEGER) << "earlier entries kept";
    b = param(1024, SQL_VARCHAR);
    EXPECT_EQ(StmtSetParamBinding(s, &b), SQL_SUCCESS);
    EXPECT_EQ(StmtGetParamBinding(1024, s)->number, 1024);
    b = param(1025, SQL_VARCHAR);
    EXPECT_EQ(StmtSetParamBinding(s, &b), SQL_ERROR);
    EXPECT_EQ(s->diag.errNum, ERR_INVALID_PARAMETER_NUMBER);
    b = param(0, SQL_VARCHAR);
    EXPECT_EQ(StmtSetParamBinding(s, &b), SQL_ERROR);
    EXPECT_EQ(StmtResetParams(s), 0);
    EXPECT_EQ(s->paramCapacity, 0);
    EXPECT_EQ(StmtGetParamBinding(3, s), nullptr);
}

TEST_F(StmtBind, RebindingWithOtherTypesClearsTheTypesSentFlag)
{
    ParamBinding b = param(2, SQL_INTEGER);
    ASSERT_EQ(StmtSetParamBinding(s, &b), SQL_SUCCESS);
    s->flags |= ST_PARAMTYPES_SENT;
    int value = 5;
    b.data = &value;
    ASSERT_EQ(StmtSetParamBinding(s, &b), SQL_SUCCESS);
    EXPECT_TRUE(s->flags & ST_PARAMTYPES_SENT) << "same types";
    b.sqlType = SQL_BIGINT;
    ASSERT_EQ(StmtSetParamBinding(s, &b), SQL_SUCCESS);
    EXPECT_FALSE(s->flags & ST_PARAMTYPES_SENT);
}

TEST_F(StmtBind, BoundColumnsKeepOneNodePerColumnInOrder)
{
    ColBinding b{};
    b.head.column = 5;
    b.head.cType = SQL_C_CHAR;
    ASSERT_EQ(StmtSetBoundCol(s, &b), SQL_SUCCESS);
    b.head.column = 2;
    ASSERT_EQ(StmtSetBoundCol(s, &b), SQL_SUCCESS);
    b.head.column = 5;
    b.head.cType = SQL_C_LONG;
    ASSERT_EQ(StmtSetBoundCol(s, &b), SQL_SUCCESS);
    ASSERT_NE(s->boundCols, nullptr);
    EXPECT_EQ(s->boundCols->b.head.column, 5);
    EXPECT_EQ(s->boundCols->b.head.cType, SQL_C_LONG) << "replaced in place";
    ASSERT_NE(s->boundCols->next, nullptr);
    EXPECT_EQ(s->boundCols->next->b.head.column, 2);
    EXPECT_EQ(s->boundCols->next->next, nullptr);
    EXPECT_NE(StmtFindBoundCol(2, s), nullptr);
    EXPECT_EQ(StmtRemoveBoundCol(s, 5), 0);
    EXPECT_EQ(StmtFindBoundCol(5, s), nullptr);
    s->cursor.rowsetSize = 3;
    EXPECT_EQ(StmtAllocRowBufs(s), 0);
    EXPECT_EQ(StmtFindBoundCol(2, s)->rowCount, 3u);
    EXPECT_EQ(SQLFreeStmt(hstmt, SQL_UNBIND), SQL_SUCCESS);
    EXPECT_EQ(s->boundCols, nullptr);
}

TEST_F(StmtBind, DescriptionsAreFetchedOncePerResultAndHiddenColumnsAreNotCounted)
{
    uint16_t n = 9;
    EXPECT_EQ(StmtNumResultCols(s, &n), ERR_FUNCTION_SEQUENCE) << "nothing prepared";
    s->state = STMT_EXECUTED;
    ASSERT_EQ(StmtNumResultCols(s, &n), 0);
    EXPECT_EQ(n, 2) << "the *B column is not shown";
    EXPECT_EQ(s->resultColCount, 3);
    ASSERT_NE(StmtGetColDesc(s, 3), nullptr);
    EXPECT_STREQ(StmtGetColDesc(s, 3)->name, "c");
    EXPECT_EQ(gColDescCalls, 1);
    EXPECT_EQ(StmtGetColDesc(s, 4), nullptr);
    EXPECT_EQ(s->diag.errNum, ERR_INVALID_COLUMN_NUMBER);
    EXPECT_EQ(StmtGetColDesc(s, 0), nullptr) << "no bookmarks";
    s->cursor.useBookmarks = 1;
    ASSERT_NE(StmtGetColDesc(s, 0), nullptr);
    EXPECT_STREQ(StmtGetColDesc(s, 0)->name, "BOOKMARK");
    EXPECT_EQ(StmtGetColDesc(s, 0)->columnSize, 8u);
    StmtFreeColDescs(s);
    EXPECT_EQ(StmtNumResultCols(s, &n), 0);
    EXPECT_EQ(gColDescCalls, 2);
    EXPECT_GE(s->rowsPerBlock, 1);
}

TEST_F(StmtBind, FailedDescriptionLeavesTheBackEndsNumber)
{
    s->state = STMT_EXECUTED;
    gColDescResult = ERR_NUMERIC_RANGE;
    uint16_t n = 7;
    EXPECT_EQ(StmtNumResultCols(s, &n), ERR_NUMERIC_RANGE);
    EXPECT_EQ(n, 0);
}

TEST_F(StmtBind, ColumnAttributesBecomeOverrides)
{
    s->conn->cn_colAttrOp = 1;
    s->state = STMT_EXECUTED;
    ASSERT_NE(StmtGetColDescs(s), nullptr);
    ASSERT_NE(s->colAttrOverrides, nullptr);
    int32_t v = 0;
    const char *text = nullptr;
    EXPECT_EQ(TV_Lookup(s->colAttrOverrides, 10, 3, &v, nullptr, nullptr), 1);
    EXPECT_EQ(v, 2);
    EXPECT_EQ(TV_Lookup(s->colAttrOverrides, 14, 1, nullptr, &text, nullptr), 1);
    EXPECT_STREQ(text, "int4");
    s->conn->cn_colAttrOp = 0;
}

TEST_F(StmtBind, ParameterDescriptionsOncePerPreparation)
{
    EXPECT_EQ(StmtGetParamDesc(s, 1), nullptr);
    EXPECT_EQ(s->diag.errNum, ERR_INVALID_PARAMETER_NUMBER);
    s->paramCount = 2;
    s->paramCols = CD_Alloc(2);
    s->flags |= ST_PREPARED;
    const ColDesc *d = StmtGetParamDesc(s, 2);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->sqlType, 93);
    EXPECT_EQ(StmtGetParamDesc(s, 1) != nullptr, true);
    EXPECT_EQ(gParamDescCalls, 1);
    EXPECT_EQ(StmtGetParamDesc(s, 3), nullptr);
    StmtFreeParamDescs(s);
    EXPECT_EQ(s->paramDescsFetched, 0);
}

TEST_F(StmtBind, RowsPerBlockIsAtLeastOne)
{
    ColDesc wide[2] = {};
    wide[0].valueType = VT_CHAR;
    wide[0].bufferLength = 131089;
    wide[1].valueType = VT_LONG;
    EXPECT_EQ(StmtRowsPerBlock(wide, 2, 100), 1);
    ColDesc small{};
    small.valueType = VT_LONG;
    EXPECT_EQ(StmtRowsPerBlock(&small, 1, 100), 100);
    EXPECT_EQ(StmtRowsPerBlock(&small, 1, 0), 65535 / 6);
}

TEST_F(StmtBind, ParamsetSizeNeedsParameterArrays)
{
    s->conn->cn_hasParamOp = 0;
    EXPECT_EQ(StmtSetParamsetSize(s, 3, nullptr), 1);
    EXPECT_EQ(StmtSetParamsetSize(s, 1, nullptr), 0);
    s->conn->cn_hasParamOp = 1;
    EXPECT_EQ(StmtSetParamsetSize(s, 0, nullptr), 39);
    SQLULEN processed = 0;
    EXPECT_EQ(StmtSetParamsetSize(s, 4, &processed), 0);
    EXPECT_EQ(s->paramsetSize, 4u);
    ParamBinding b = param(1, SQL_INTEGER);
    ASSERT_EQ(StmtSetParamBinding(s, &b), SQL_SUCCESS);
    EXPECT_EQ(StmtAllocParamBufs(s), 0);
    EXPECT_EQ(StmtGetParamBinding(1, s)->rowCount, 4);
    uint16_t n = 0;
    EXPECT_EQ(StmtNumParams(s, &n), 22);
}
// Descriptor records and the statement's bindings stay equal.
TEST_F(StmtBind, DescriptorWritesBindAndUnbind)
{
    SQLHDESC ard = nullptr, apd = nullptr;
    ASSERT_EQ(SQLGetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLGetStmtAttr(hstmt, SQL_ATTR_APP_PARAM_DESC, &apd, 0, nullptr), SQL_SUCCESS);
    char buf[16];
    SQLLEN ind = 0;
    ASSERT_EQ(SQLSetDescField(ard, 2, SQL_DESC_CONCISE_TYPE, reinterpret_cast<SQLPOINTER>(SQL_C_CHAR), 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLSetDescField(ard, 2, SQL_DESC_INDICATOR_PTR, &ind, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetDescField(ard, 2, SQL_DESC_DATA_PTR, buf, 0), SQL_SUCCESS);
    ColBinding *b = StmtFindBoundCol(2, s);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->head.data, buf);
    EXPECT_EQ(b->head.cType, SQL_C_CHAR);
    SQLPOINTER back = nullptr;
    EXPECT_EQ(SQLGetDescField(ard, 2, SQL_DESC_DATA_PTR, &back, SQL_IS_POINTER, nullptr), SQL_SUCCESS) << DiagState(SQL_HANDLE_DESC, ard);
    EXPECT_EQ(back, buf);
    EXPECT_EQ(SQLFreeStmt(hstmt, SQL_UNBIND), SQL_SUCCESS);
    EXPECT_EQ(StmtFindBoundCol(2, s), nullptr);
    SQLSMALLINT count = -1;
    EXPECT_EQ(SQLGetDescField(ard, 0, SQL_DESC_COUNT, &count, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(count, 0);

    SQLINTEGER value = 7;
    ASSERT_EQ(SQLSetDescField(apd, 1, SQL_DESC_CONCISE_TYPE, reinterpret_cast<SQLPOINTER>(SQL_C_LONG), 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLSetDescField(apd, 1, SQL_DESC_DATA_PTR, &value, 0), SQL_SUCCESS);
    ParamBinding *p = StmtGetParamBinding(1, s);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->data, &value);
    EXPECT_EQ(SQLFreeStmt(hstmt, SQL_RESET_PARAMS), SQL_SUCCESS);
    EXPECT_EQ(StmtGetParamBinding(1, s), nullptr);
}
} // namespace

// Descriptors and the statement's bindings kept equal: binding through
// descriptor fields, unbinding by other fields, by COUNT and by a changed
// ARD, parameters bound through the APD and IPD, copies across connections.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include "odbc/desc_field.h"
#include "odbc/desc_rec.h"
#include "odbc/contract/handle_table.h"
#include "odbc/handles.h"
#include "odbc/startup.h"
#include "odbc/stmt_bind.h"
#include "tests/unit/odbc_test_support.h"
#include "tests/common/desc_fields.h"

namespace {

Stmt *StmtOf(SQLHSTMT h) { return static_cast<Stmt *>(HT_Lookup(&StmtTable, HT_HandleIn(h))); }
Desc *DescOf(SQLHDESC h) { return static_cast<Desc *>(HT_Lookup(&DescTable, HT_HandleIn(h))); }

struct BindFixture : ::testing::Test {
    FakeSession s;
    SQLHSTMT stmt = nullptr;
    SQLHDESC ard = nullptr, apd = nullptr, ipd = nullptr;

    void SetUp() override
    {
        stmt = s.NewStmt();
        ASSERT_NE(stmt, nullptr);
        ard = Handle(SQL_ATTR_APP_ROW_DESC);
        apd = Handle(SQL_ATTR_APP_PARAM_DESC);
        ipd = Handle(SQL_ATTR_IMP_PARAM_DESC);
    }
    SQLHDESC Handle(SQLINTEGER attr)
    {
        SQLHDESC d = nullptr;
        EXPECT_EQ(SQLGetStmtAttr(stmt, attr, &d, SQL_IS_POINTER, nullptr), SQL_SUCCESS);
        return d;
    }
    ColBinding *Bound(uint16_t col) { return StmtFindBoundCol(col, StmtOf(stmt)); }
};

TEST_F(BindFixture, DataPtrOnTheImplicitArdBindsTheColumn)
{
    SQLINTEGER v = 0;
    SQLLEN ind = 0, len = 0;
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_CONCISE_TYPE, SQL_C_SLONG), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_OCTET_LENGTH, sizeof v), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(ard, 1, SQL_DESC_INDICATOR_PTR, &ind), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(ard, 1, SQL_DESC_OCTET_LENGTH_PTR, &len), SQL_SUCCESS);
    EXPECT_EQ(Bound(1), nullptr) << "no data pointer, no binding";
    EXPECT_EQ(FieldPtr(ard, 1, SQL_DESC_DATA_PTR), nullptr);

    ASSERT_EQ(FieldSetPtr(ard, 1, SQL_DESC_DATA_PTR, &v), SQL_SUCCESS);
    ColBinding *b = Bound(1);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->head.data, &v);
    EXPECT_EQ(b->head.cType, SQL_C_SLONG);
    EXPECT_EQ(b->head.indicatorPtr, &ind);
    EXPECT_EQ(b->head.octetLengthPtr, &len) << "a separate octet-length pointer stays separate";
    EXPECT_EQ(FieldPtr(ard, 1, SQL_DESC_DATA_PTR), &v);
    EXPECT_EQ(FieldPtr(ard, 1, SQL_DESC_OCTET_LENGTH_PTR), &len);

    // Pointer fields follow into the binding without unbinding it.
    SQLLEN ind2 = 0;
    ASSERT_EQ(FieldSetPtr(ard, 1, SQL_DESC_INDICATOR_PTR, &ind2), SQL_SUCCESS);
    ASSERT_NE(Bound(1), nullptr);
    EXPECT_EQ(Bound(1)->head.indicatorPtr, &ind2);

    // Any other field takes the buffer away, a refused one too.
    EXPECT_EQ(SQLSetDescField(ard, 1, SQL_DESC_NAME, (SQLPOINTER) "n", SQL_NTS), SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_DESC, ard), "HY091");
    EXPECT_EQ(Bound(1), nullptr);
    EXPECT_EQ(FieldPtr(ard, 1, SQL_DESC_DATA_PTR), nullptr);
    EXPECT_EQ(DescGetRec(DescOf(ard), 1)->dataPtr, nullptr);

    // NULL data unbinds.
    ASSERT_EQ(FieldSetPtr(ard, 1, SQL_DESC_DATA_PTR, &v), SQL_SUCCESS);
    ASSERT_NE(Bound(1), nullptr);
    ASSERT_EQ(FieldSetPtr(ard, 1, SQL_DESC_DATA_PTR, nullptr), SQL_SUCCESS);
    EXPECT_EQ(Bound(1), nullptr);
}

TEST_F(BindFixture, ABindingRefusedByTheStatementReportsOnTheDescriptor)
{
    SQLHDESC user = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, s.dbc, &user), SQL_SUCCESS);
    SQLHSTMT other = s.NewStmt();
    ASSERT_EQ(SQLSetStmtAttr(other, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS);
    SQLINTEGER v = 0;
    // A negative buffer length is refused when the column is bound.
    for (SQLHDESC d : {ard, user}) {
        ASSERT_EQ(FieldSet(d, 1, SQL_DESC_CONCISE_TYPE, SQL_C_SLONG), SQL_SUCCESS);
        ASSERT_EQ(FieldSet(d, 1, SQL_DESC_OCTET_LENGTH, -1), SQL_SUCCESS);
        EXPECT_EQ(FieldSetPtr(d, 1, SQL_DESC_DATA_PTR, &v), SQL_ERROR);
        EXPECT_EQ(DiagState(SQL_HANDLE_DESC, d), "HY090");
        EXPECT_EQ(FieldPtr(d, 1, SQL_DESC_DATA_PTR), nullptr) << "the record keeps no pointer";
    }
    EXPECT_EQ(Bound(1), nullptr);
    EXPECT_EQ(StmtFindBoundCol(1, StmtOf(other)), nullptr);
    EXPECT_EQ(DiagState(SQL_HANDLE_STMT, stmt), "");
    EXPECT_EQ(DiagState(SQL_HANDLE_STMT, other), "");
    EXPECT_EQ(StmtOf(stmt)->diag.errNum, ERR_NONE);
    EXPECT_EQ(StmtOf(other)->diag.errNum, ERR_NONE);
}

TEST_F(BindFixture, BindColReadsBackThroughTheArd)
{
    char buf[20];
    SQLLEN ind = 0;
    ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, buf, sizeof buf, &ind), SQL_SUCCESS);
    EXPECT_EQ(FieldSmall(ard, 0, SQL_DESC_COUNT), 2);
    EXPECT_EQ(FieldSmall(ard, 2, SQL_DESC_CONCISE_TYPE), SQL_C_CHAR);
    EXPECT_EQ(FieldPtr(ard, 2, SQL_DESC_DATA_PTR), buf);
    EXPECT_EQ(FieldPtr(ard, 2, SQL_DESC_INDICATOR_PTR), &ind);
    EXPECT_EQ(FieldLen(ard, 2, SQL_DESC_OCTET_LENGTH), 20);
    EXPECT_EQ(FieldSmall(ard, 1, SQL_DESC_CONCISE_TYPE), SQL_C_DEFAULT) << "column 1 is not bound";
}

TEST_F(BindFixture, CountUnbindsTheColumnsItDrops)
{
    SQLINTEGER a = 0, b = 0, c = 0;
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_SLONG, &a, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_SLONG, &b, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 3, SQL_C_SLONG, &c, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ard, 0, SQL_DESC_COUNT, 1), SQL_SUCCESS);
    EXPECT_NE(Bound(1), nullptr);
    EXPECT_EQ(Bound(2), nullptr);
    EXPECT_EQ(Bound(3), nullptr);
    ASSERT_EQ(FieldSet(ard, 0, SQL_DESC_COUNT, 0), SQL_SUCCESS);
    EXPECT_EQ(Bound(1), nullptr);
}

TEST_F(BindFixture, AChangedArdLeavesOnlyItsOwnColumnsBound)
{
    SQLINTEGER a = 0, b = 0;
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_SLONG, &a, 0, nullptr), SQL_SUCCESS);
    SQLHDESC user = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, s.dbc, &user), SQL_SUCCESS);
    ASSERT_EQ(SQLSetDescRec(user, 2, SQL_C_SLONG, 0, sizeof b, 0, 0, &b, nullptr, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS);
    EXPECT_EQ(Bound(1), nullptr) << "the implicit ARD's column is not the explicit one's";
    ASSERT_NE(Bound(2), nullptr);
    EXPECT_EQ(Bound(2)->head.data, &b);

    // Back to the implicit ARD: its own column again, none of the explicit one's.
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, nullptr, 0), SQL_SUCCESS);
    ASSERT_NE(Bound(1), nullptr);
    EXPECT_EQ(Bound(1)->head.data, &a);
    EXPECT_EQ(Bound(2), nullptr);

    // Freeing an explicit ARD in use does the same.
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, user), SQL_SUCCESS);
    EXPECT_EQ(StmtOf(stmt)->ard, StmtOf(stmt)->ardImplicit);
    EXPECT_EQ(Bound(2), nullptr);
    ASSERT_NE(Bound(1), nullptr);
}

TEST_F(BindFixture, ParametersBindThroughTheApdAndIpd)
{
    SQLINTEGER v = 5;
    SQLLEN ind = 0;
    ASSERT_EQ(FieldSet(ipd, 1, SQL_DESC_CONCISE_TYPE, SQL_INTEGER), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ipd, 1, SQL_DESC_PARAMETER_TYPE, SQL_PARAM_INPUT_OUTPUT), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(apd, 1, SQL_DESC_CONCISE_TYPE, SQL_C_SLONG), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(apd, 1, SQL_DESC_INDICATOR_PTR, &ind), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(apd, 1, SQL_DESC_DATA_PTR, &v), SQL_SUCCESS) << DiagState(SQL_HANDLE_DESC, apd);
    ParamBinding *p = StmtGetParamBinding(1, StmtOf(stmt));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->data, &v);
    EXPECT_EQ(p->sqlType, SQL_INTEGER);
    EXPECT_EQ(p->cType, SQL_C_SLONG);
    EXPECT_EQ(p->paramType, SQL_PARAM_INPUT_OUTPUT);
    EXPECT_EQ(FieldPtr(apd, 1, SQL_DESC_DATA_PTR), &v);

    // The IPD's fields follow into the binding.
    ASSERT_EQ(FieldSet(ipd, 1, SQL_DESC_PARAMETER_TYPE, SQL_PARAM_OUTPUT), SQL_SUCCESS);
    EXPECT_EQ(p->paramType, SQL_PARAM_OUTPUT);
    EXPECT_EQ(FieldSmall(ipd, 1, SQL_DESC_PARAMETER_TYPE), SQL_PARAM_OUTPUT);
    ASSERT_EQ(FieldSet(ipd, 1, SQL_DESC_CONCISE_TYPE, SQL_BIGINT), SQL_SUCCESS);
    EXPECT_EQ(p->sqlType, SQL_BIGINT);
    EXPECT_EQ(p->paramType, SQL_PARAM_OUTPUT) << "a new type keeps the direction";

    // NULL data takes the buffer away.
    ASSERT_EQ(FieldSetPtr(apd, 1, SQL_DESC_DATA_PTR, nullptr), SQL_SUCCESS);
    EXPECT_EQ(p->data, nullptr);
    EXPECT_EQ(FieldPtr(apd, 1, SQL_DESC_DATA_PTR), nullptr);

    // Growing the APD grows the IPD.
    ASSERT_EQ(FieldSet(apd, 0, SQL_DESC_COUNT, 4), SQL_SUCCESS);
    EXPECT_EQ(FieldSmall(ipd, 0, SQL_DESC_COUNT), 4);
}

TEST_F(BindFixture, AnExplicitDescriptorServesOnlyStatementsOfItsConnection)
{
    FakeSession other;
    SQLHSTMT foreign = other.NewStmt();
    SQLHDESC user = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, s.dbc, &user), SQL_SUCCESS);
    EXPECT_EQ(SQLSetStmtAttr(foreign, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_STMT, foreign), "HY024");
    EXPECT_EQ(StmtOf(foreign)->ard, StmtOf(foreign)->ardImplicit);

    // A write reaches the statements of the descriptor's own connection that use it.
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(user, 0, SQL_DESC_ARRAY_SIZE, 6), SQL_SUCCESS);
    EXPECT_EQ(StmtOf(stmt)->cursor.rowsetSize, 6);
    EXPECT_EQ(StmtOf(foreign)->cursor.rowsetSize, 1);
}

TEST_F(BindFixture, CopyOntoADescriptorOfAnotherConnection)
{
    FakeSession other;
    SQLHDESC mine = nullptr, theirs = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, s.dbc, &mine), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, other.dbc, &theirs), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(mine, 1, SQL_DESC_CONCISE_TYPE, SQL_C_DOUBLE), SQL_SUCCESS);
    ASSERT_EQ(SQLCopyDesc(mine, theirs), SQL_SUCCESS);
    EXPECT_EQ(FieldSmall(theirs, 1, SQL_DESC_CONCISE_TYPE), SQL_C_DOUBLE);
    EXPECT_EQ(static_cast<Conn *>(HT_Lookup(&ConnTable, HT_HandleIn(other.dbc)))->busy.load(), nullptr)
        << "the target's connection is free again";

    // While the target's connection is inside another call the copy waits for nobody.
    Conn *oc = static_cast<Conn *>(HT_Lookup(&ConnTable, HT_HandleIn(other.dbc)));
    oc->busy.store(oc);
    EXPECT_EQ(SQLCopyDesc(mine, theirs), SQL_ERROR);
    oc->busy.store(nullptr);
    EXPECT_EQ(DiagState(SQL_HANDLE_DESC, theirs), "HY010");
}

} // namespace

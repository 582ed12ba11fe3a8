// Descriptors through unixODBC with both libraries: explicit and implicit
// descriptors, field and record rules, copies, an explicit ARD shared by two
// statements and freed while in use; on real results, binding through
// descriptor fields, row arrays, copies from an IRD, an output parameter
// through the IPD and the IRD's description of a table's columns.
#include "tests/e2e/connect_common.h"
#include "tests/common/desc_fields.h"

#include <cstring>

using namespace conntest;

namespace {

PgEnv g_pg;

class DescEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(g_pg));
        ASSERT_TRUE(SetUpPrivateIni(g_pg, "e2e_desc_", ""));
        PgPsql(g_pg,
               "drop schema if exists krs_desc cascade; create schema krs_desc; "
               "create table krs_desc.t(i4 int4 not null, i8 int8, num numeric(10,2), "
               "vc varchar(20) not null, tx text, ts timestamp(3), by bytea); "
               "insert into krs_desc.t values (1, 10000000000, 12.50, 'one', 'text one', "
               "'2024-01-02 03:04:05.678', '\\x0102'), (2, null, null, 'two', null, null, null), "
               "(3, 30, 3.25, 'three', 't3', '2024-03-03 00:00:00', '\\xff'); "
               "create function krs_desc.twice(x int4) returns int4 language sql as 'select x * 2'; "
               "create table krs_desc.types(vc varchar(10), ch char(3), tx text, i4 int4, num numeric(8,3), "
               "ts timestamp, by bytea, id uuid)");
    }
    void TearDown() override
    {
        PgPsql(g_pg, "drop schema if exists krs_desc cascade");
        RemovePrivateFiles();
    }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new DescEnv);

class Desc : public ::testing::TestWithParam<Library> {
protected:
    Handles h;
    SQLHSTMT stmt = nullptr;

    void SetUp() override
    {
        ASSERT_EQ(h.Connect(std::string("e2e_desc_") + GetParam().tag), SQL_SUCCESS) << h.State();
        stmt = NewStmt();
        ASSERT_NE(stmt, nullptr);
    }
    SQLHSTMT NewStmt()
    {
        SQLHSTMT s = nullptr;
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &s), SQL_SUCCESS) << h.State();
        return s;
    }
    SQLHDESC StmtDesc(SQLHSTMT s, SQLINTEGER attr)
    {
        SQLHDESC d = nullptr;
        EXPECT_EQ(SQLGetStmtAttr(s, attr, &d, SQL_IS_POINTER, nullptr), SQL_SUCCESS);
        return d;
    }
    SQLRETURN Exec(SQLHSTMT s, const char *sql)
    {
        return SQLExecDirect(s, reinterpret_cast<SQLCHAR *>(const_cast<char *>(sql)), SQL_NTS);
    }
    std::string StmtState(SQLHSTMT s) { return Diag(SQL_HANDLE_STMT, s); }
    // The Unicode library reports character columns as wide ones.
    bool Wide() const { return std::string(GetParam().tag) == "w"; }
    std::string DescState(SQLHDESC d) { return Diag(SQL_HANDLE_DESC, d); }
};

std::string Text(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field)
{
    char buf[256] = {};
    SQLINTEGER len = 0;
    EXPECT_EQ(SQLGetDescField(d, rec, field, buf, sizeof buf, &len), SQL_SUCCESS) << field;
    return buf;
}


TEST_P(Desc, ExplicitDescriptorFieldsAndRecords)
{
    SQLHDESC user = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, h.dbc, &user), SQL_SUCCESS) << h.State();
    EXPECT_EQ(FieldSmall(user, 0, SQL_DESC_ALLOC_TYPE), SQL_DESC_ALLOC_USER);
    EXPECT_EQ(FieldSmall(user, 0, SQL_DESC_COUNT), 0);
    SQLULEN size = 0;
    ASSERT_EQ(SQLGetDescField(user, 0, SQL_DESC_ARRAY_SIZE, &size, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(size, 1u);

    SQLINTEGER v = 0;
    SQLLEN len = 0, ind = 0;
    ASSERT_EQ(SQLSetDescRec(user, 2, SQL_DATETIME, SQL_CODE_TIMESTAMP, 16, 3, 0, &v, &len, &ind), SQL_SUCCESS)
        << DescState(user);
    EXPECT_EQ(FieldSmall(user, 0, SQL_DESC_COUNT), 2);
    EXPECT_EQ(FieldSmall(user, 2, SQL_DESC_CONCISE_TYPE), SQL_C_TYPE_TIMESTAMP);
    SQLCHAR name[8] = "keep";
    SQLSMALLINT nameLen = -7, type = 0, sub = 0, precision = 0, scale = -1, nullable = -7;
    SQLLEN length = 0;
    ASSERT_EQ(SQLGetDescRec(user, 2, name, sizeof name, &nameLen, &type, &sub, &length, &precision, &scale,
                            &nullable),
              SQL_SUCCESS);
    EXPECT_EQ(type, SQL_DATETIME);
    EXPECT_EQ(sub, SQL_CODE_TIMESTAMP);
    EXPECT_EQ(length, 16);
    EXPECT_EQ(precision, 3);
    EXPECT_EQ(scale, 0);
    EXPECT_STREQ(reinterpret_cast<char *>(name), "") << "application records have no name";
    EXPECT_EQ(nameLen, 0);
    EXPECT_EQ(nullable, -7);
    EXPECT_EQ(SQLGetDescRec(user, 3, name, sizeof name, &nameLen, &type, &sub, &length, &precision, &scale,
                            &nullable),
              SQL_NO_DATA);

    // A refused type leaves the record as it was.
    EXPECT_EQ(FieldSet(user, 2, SQL_DESC_TYPE, SQL_TIMESTAMP), SQL_ERROR);
    EXPECT_EQ(DescState(user), "HY092");
    EXPECT_EQ(FieldSmall(user, 2, SQL_DESC_CONCISE_TYPE), SQL_C_TYPE_TIMESTAMP);
    // Read-only fields, record 0 of a descriptor no statement uses.
    EXPECT_EQ(FieldSet(user, 1, SQL_DESC_LABEL, 1), SQL_ERROR);
    EXPECT_EQ(DescState(user), "HY091");
    EXPECT_EQ(FieldSet(user, 0, SQL_DESC_CONCISE_TYPE, SQL_C_BINARY), SQL_ERROR);
    EXPECT_EQ(DescState(user), "07009");
    // NULL pointers and COUNT 0 are values.
    ASSERT_EQ(FieldSetPtr(user, 2, SQL_DESC_INDICATOR_PTR, nullptr), SQL_SUCCESS);
    SQLPOINTER p = &v;
    ASSERT_EQ(SQLGetDescField(user, 2, SQL_DESC_INDICATOR_PTR, &p, SQL_IS_POINTER, nullptr), SQL_SUCCESS);
    EXPECT_EQ(p, nullptr);
    ASSERT_EQ(FieldSet(user, 0, SQL_DESC_COUNT, 0), SQL_SUCCESS);
    EXPECT_EQ(FieldSmall(user, 0, SQL_DESC_COUNT), 0);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, user), SQL_SUCCESS);
}

TEST_P(Desc, ImplicitDescriptorsOfAStatement)
{
    SQLHDESC ard = StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC);
    SQLHDESC ird = StmtDesc(stmt, SQL_ATTR_IMP_ROW_DESC);
    SQLHDESC ipd = StmtDesc(stmt, SQL_ATTR_IMP_PARAM_DESC);
    ASSERT_NE(ard, nullptr);
    EXPECT_EQ(FieldSmall(ard, 0, SQL_DESC_ALLOC_TYPE), SQL_DESC_ALLOC_AUTO);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, ard), SQL_ERROR);
    EXPECT_EQ(DescState(ard), "HY017");

    // The ARD's header is the statement's row array.
    ASSERT_EQ(FieldSet(ard, 0, SQL_DESC_ARRAY_SIZE, 7), SQL_SUCCESS) << DescState(ard);
    SQLULEN rows = 0;
    ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &rows, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(rows, 7u);

    // The IRD describes nothing before a statement runs (the Driver Manager
    // answers that itself) and takes no record field.
    SQLSMALLINT count = 0;
    EXPECT_EQ(SQLGetDescField(ird, 0, SQL_DESC_COUNT, &count, 0, nullptr), SQL_ERROR);
    const std::string early = DescState(ird);
    EXPECT_TRUE(early == "HY007" || early == "HY010") << early;
    EXPECT_EQ(FieldSet(ird, 1, SQL_DESC_CONCISE_TYPE, SQL_INTEGER), SQL_ERROR);
    EXPECT_EQ(DescState(ird), "HY016");
    SQLINTEGER buf = 0;
    EXPECT_EQ(FieldSetPtr(ird, 1, SQL_DESC_DATA_PTR, &buf), SQL_ERROR);
    EXPECT_EQ(DescState(ird), "HY016");

    // IPD records from 1, with a direction and a name.
    SQLSMALLINT t = 0;
    EXPECT_EQ(SQLGetDescField(ipd, 0, SQL_DESC_TYPE, &t, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(DescState(ipd), "07009");
    ASSERT_EQ(FieldSet(ipd, 1, SQL_DESC_PARAMETER_TYPE, SQL_PARAM_OUTPUT), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ipd, 1, SQL_DESC_CONCISE_TYPE, SQL_INTEGER), SQL_SUCCESS);
    EXPECT_EQ(FieldSmall(ipd, 1, SQL_DESC_PARAMETER_TYPE), SQL_PARAM_OUTPUT);
    ASSERT_EQ(SQLSetDescField(ipd, 1, SQL_DESC_NAME, (SQLPOINTER) "total", SQL_NTS), SQL_SUCCESS)
        << DescState(ipd);
    EXPECT_EQ(Text(ipd, 1, SQL_DESC_NAME), "total");
    EXPECT_EQ(FieldSmall(ipd, 1, SQL_DESC_UNNAMED), SQL_NAMED);
}

TEST_P(Desc, CopyBetweenDescriptors)
{
    SQLHDESC a = nullptr, b = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, h.dbc, &a), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, h.dbc, &b), SQL_SUCCESS);
    SQLINTEGER v = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQLSetDescRec(a, 1, SQL_C_SLONG, 0, sizeof v, 0, 0, &v, &ind, &ind), SQL_SUCCESS);
    ASSERT_EQ(SQLSetDescRec(b, 3, SQL_C_CHAR, 0, 10, 0, 0, &v, nullptr, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLCopyDesc(a, b), SQL_SUCCESS) << DescState(b);
    EXPECT_EQ(FieldSmall(b, 0, SQL_DESC_COUNT), 1);
    EXPECT_EQ(FieldSmall(b, 1, SQL_DESC_CONCISE_TYPE), SQL_C_SLONG);
    SQLPOINTER p = nullptr;
    ASSERT_EQ(SQLGetDescField(b, 1, SQL_DESC_DATA_PTR, &p, SQL_IS_POINTER, nullptr), SQL_SUCCESS);
    EXPECT_EQ(p, &v);
    ASSERT_EQ(SQLGetDescField(b, 1, SQL_DESC_INDICATOR_PTR, &p, SQL_IS_POINTER, nullptr), SQL_SUCCESS);
    EXPECT_EQ(p, &ind);

    // COUNT 0 is copied as 0.
    SQLHDESC empty = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, h.dbc, &empty), SQL_SUCCESS);
    ASSERT_EQ(SQLCopyDesc(empty, b), SQL_SUCCESS);
    EXPECT_EQ(FieldSmall(b, 0, SQL_DESC_COUNT), 0);

    // Not onto an IRD; not from the IRD of a statement that never ran.
    SQLHDESC ird = StmtDesc(stmt, SQL_ATTR_IMP_ROW_DESC);
    EXPECT_EQ(SQLCopyDesc(a, ird), SQL_ERROR);
    EXPECT_EQ(DescState(ird), "HY016");
    EXPECT_EQ(SQLCopyDesc(ird, a), SQL_ERROR);
    EXPECT_EQ(DescState(a), "HY010");
}

TEST_P(Desc, ExplicitArdSharedByTwoStatementsAndFreed)
{
    SQLHSTMT other = NewStmt();
    SQLHDESC implicit = StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC);
    SQLHDESC user = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, h.dbc, &user), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS) << StmtState(stmt);
    ASSERT_EQ(SQLSetStmtAttr(other, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS) << StmtState(other);
    EXPECT_EQ(StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC), user);

    // A header field of the shared descriptor reaches both statements.
    ASSERT_EQ(FieldSet(user, 0, SQL_DESC_ARRAY_SIZE, 5), SQL_SUCCESS) << DescState(user);
    for (SQLHSTMT s : {stmt, other}) {
        SQLULEN rows = 0;
        ASSERT_EQ(SQLGetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, &rows, 0, nullptr), SQL_SUCCESS);
        EXPECT_EQ(rows, 5u);
    }
    // While it is an ARD its record 0 (the bookmark) takes fields.
    EXPECT_EQ(FieldSet(user, 0, SQL_DESC_CONCISE_TYPE, SQL_C_VARBOOKMARK), SQL_SUCCESS) << DescState(user);

    // Freeing it gives both statements their own ARD back, which they follow.
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, user), SQL_SUCCESS);
    EXPECT_EQ(StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC), implicit);
    SQLULEN rows = 0;
    ASSERT_EQ(SQLGetStmtAttr(other, SQL_ATTR_ROW_ARRAY_SIZE, &rows, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(rows, 1u);
    SQLFreeHandle(SQL_HANDLE_STMT, other);
}

TEST_P(Desc, RecordNamesCountInTheLibrarysUnits)
{
    SQLHDESC ipd = StmtDesc(stmt, SQL_ATTR_IMP_PARAM_DESC);
    if (!Wide()) {
        // The ANSI library counts bytes: a short buffer cuts the name, the
        // whole length comes back.
        ASSERT_EQ(SQLSetDescField(ipd, 1, SQL_DESC_NAME, (SQLCHAR *)"resume", SQL_NTS), SQL_SUCCESS)
            << DescState(ipd);
        SQLCHAR out[4] = {};
        SQLSMALLINT len = 0;
        EXPECT_EQ(SQLGetDescRec(ipd, 1, out, sizeof out, &len, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr),
                  SQL_SUCCESS_WITH_INFO);
        EXPECT_EQ(len, 6);
        EXPECT_STREQ(reinterpret_cast<char *>(out), "res");
        EXPECT_EQ(Text(ipd, 1, SQL_DESC_NAME), "resume");
        return;
    }
    const SQLWCHAR name[] = {u'r', u'\u00e9', u's', u'u', u'm', u'\u00e9', 0};
    ASSERT_EQ(SQLSetDescFieldW(ipd, 1, SQL_DESC_NAME, const_cast<SQLWCHAR *>(name), SQL_NTS), SQL_SUCCESS)
        << DescState(ipd);
    SQLWCHAR out[4] = {};
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetDescRecW(ipd, 1, out, 4, &len, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, 6);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(out)), u"r\u00e9s");
    SQLWCHAR field[16] = {};
    SQLINTEGER bytes = 0;
    ASSERT_EQ(SQLGetDescFieldW(ipd, 1, SQL_DESC_NAME, field, sizeof field, &bytes), SQL_SUCCESS);
    EXPECT_EQ(bytes, 12) << "SQLGetDescFieldW counts bytes";
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(field)), u"r\u00e9sum\u00e9");
}

TEST_P(Desc, BindingThroughDescriptorFieldsFetchesIntoThem)
{
    SQLHDESC ard = StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC);
    SQLINTEGER id = 0;
    char name[21] = {};
    SQLLEN idInd = 0, nameInd = -5, nameLen = 0;
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_TYPE, SQL_C_SLONG), SQL_SUCCESS) << DescState(ard);
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_OCTET_LENGTH, sizeof id), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(ard, 1, SQL_DESC_INDICATOR_PTR, &idInd), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(ard, 1, SQL_DESC_DATA_PTR, &id), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ard, 2, SQL_DESC_TYPE, SQL_C_CHAR), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ard, 2, SQL_DESC_OCTET_LENGTH, sizeof name), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(ard, 2, SQL_DESC_INDICATOR_PTR, &nameInd), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(ard, 2, SQL_DESC_OCTET_LENGTH_PTR, &nameLen), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(ard, 2, SQL_DESC_DATA_PTR, name), SQL_SUCCESS);

    SQLPOINTER back = nullptr;
    ASSERT_EQ(SQLGetDescField(ard, 1, SQL_DESC_DATA_PTR, &back, SQL_IS_POINTER, nullptr), SQL_SUCCESS);
    EXPECT_EQ(back, &id);

    ASSERT_EQ(Exec(stmt, "select i4, vc from krs_desc.t order by i4"), SQL_SUCCESS) << StmtState(stmt);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << StmtState(stmt);
    EXPECT_EQ(id, 1);
    EXPECT_STREQ(name, "one");
    EXPECT_EQ(nameLen, 3) << "the length goes to the octet-length pointer";
    EXPECT_EQ(nameInd, 0);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_EQ(id, 2);
    EXPECT_STREQ(name, "two");

    // NULL data unbinds the column: the next row leaves the buffer alone.
    // A NULL indicator pointer is no longer written either.
    ASSERT_EQ(FieldSetPtr(ard, 2, SQL_DESC_DATA_PTR, nullptr), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(ard, 1, SQL_DESC_INDICATOR_PTR, nullptr), SQL_SUCCESS);
    idInd = -77;
    nameLen = -77;
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_EQ(id, 3);
    EXPECT_EQ(idInd, -77);
    EXPECT_STREQ(name, "two");
    EXPECT_EQ(nameLen, -77);
    EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
}

TEST_P(Desc, RowArraySizeWithARowsFetchedPointer)
{
    // Through the statement attributes, or through the ARD's and IRD's fields.
    for (const bool viaDescriptors : {false, true}) {
        SCOPED_TRACE(viaDescriptors ? "descriptor fields" : "statement attributes");
        SQLHSTMT s = NewStmt();
        SQLHDESC ard = StmtDesc(s, SQL_ATTR_APP_ROW_DESC);
        SQLHDESC ird = StmtDesc(s, SQL_ATTR_IMP_ROW_DESC);
        SQLINTEGER ids[4] = {};
        SQLLEN inds[4] = {};
        SQLULEN fetched = 0;
        SQLUSMALLINT status[4] = {};
        if (viaDescriptors) {
            ASSERT_EQ(FieldSet(ard, 0, SQL_DESC_ARRAY_SIZE, 2), SQL_SUCCESS) << DescState(ard);
            ASSERT_EQ(FieldSetPtr(ird, 0, SQL_DESC_ROWS_PROCESSED_PTR, &fetched), SQL_SUCCESS) << DescState(ird);
            ASSERT_EQ(FieldSetPtr(ird, 0, SQL_DESC_ARRAY_STATUS_PTR, status), SQL_SUCCESS) << DescState(ird);
            SQLULEN rows = 0;
            ASSERT_EQ(SQLGetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, &rows, 0, nullptr), SQL_SUCCESS);
            EXPECT_EQ(rows, 2u);
            SQLPOINTER p = nullptr;
            ASSERT_EQ(SQLGetStmtAttr(s, SQL_ATTR_ROWS_FETCHED_PTR, &p, 0, nullptr), SQL_SUCCESS);
            EXPECT_EQ(p, &fetched);
        } else {
            ASSERT_EQ(SQLSetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(2), 0), SQL_SUCCESS);
            ASSERT_EQ(SQLSetStmtAttr(s, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
            ASSERT_EQ(SQLSetStmtAttr(s, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
            SQLULEN size = 0;
            ASSERT_EQ(SQLGetDescField(ard, 0, SQL_DESC_ARRAY_SIZE, &size, 0, nullptr), SQL_SUCCESS);
            EXPECT_EQ(size, 2u);
        }
        ASSERT_EQ(SQLBindCol(s, 1, SQL_C_SLONG, ids, sizeof ids[0], inds), SQL_SUCCESS);
        ASSERT_EQ(Exec(s, "select i4 from krs_desc.t order by i4"), SQL_SUCCESS) << StmtState(s);
        SQLPOINTER p = nullptr;
        ASSERT_EQ(SQLGetDescField(ird, 0, SQL_DESC_ROWS_PROCESSED_PTR, &p, SQL_IS_POINTER, nullptr), SQL_SUCCESS)
            << DescState(ird);
        EXPECT_EQ(p, &fetched);
        ASSERT_EQ(SQLFetch(s), SQL_SUCCESS) << StmtState(s);
        EXPECT_EQ(fetched, 2u);
        EXPECT_EQ(ids[0], 1);
        EXPECT_EQ(ids[1], 2);
        EXPECT_EQ(status[0], SQL_ROW_SUCCESS);
        ASSERT_TRUE(Ok(SQLFetch(s)));
        EXPECT_EQ(fetched, 1u);
        EXPECT_EQ(ids[0], 3);
        EXPECT_EQ(status[1], SQL_ROW_NOROW);
        SQLFreeHandle(SQL_HANDLE_STMT, s);
    }
}

TEST_P(Desc, OneExplicitArdSharedByTwoStatements)
{
    SQLHSTMT other = NewStmt();
    SQLHDESC user = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, h.dbc, &user), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS) << StmtState(stmt);
    ASSERT_EQ(SQLSetStmtAttr(other, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS);
    EXPECT_EQ(StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC), user);

    SQLINTEGER v = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQLSetDescRec(user, 1, SQL_C_SLONG, 0, sizeof v, 0, 0, &v, &ind, &ind), SQL_SUCCESS)
        << DescState(user);
    ASSERT_EQ(Exec(stmt, "select i4 from krs_desc.t where i4 = 2"), SQL_SUCCESS) << StmtState(stmt);
    ASSERT_EQ(Exec(other, "select i4 * 100 from krs_desc.t where i4 = 3"), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << StmtState(stmt);
    EXPECT_EQ(v, 2);
    ASSERT_EQ(SQLFetch(other), SQL_SUCCESS) << StmtState(other);
    EXPECT_EQ(v, 300);
    SQLFreeHandle(SQL_HANDLE_STMT, other);
}

TEST_P(Desc, RowAttributesSetOnOneStatementReachAnotherSharingItsArd)
{
    SQLHSTMT other = NewStmt();
    SQLHDESC user = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, h.dbc, &user), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS) << StmtState(stmt);
    ASSERT_EQ(SQLSetStmtAttr(other, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS) << StmtState(other);
    struct Row {
        SQLINTEGER id;
        SQLLEN ind;
    } rows[3] = {};
    ASSERT_EQ(SQLSetDescRec(user, 1, SQL_C_SLONG, 0, sizeof rows[0].id, 0, 0, &rows[0].id, &rows[0].ind,
                            &rows[0].ind),
              SQL_SUCCESS)
        << DescState(user);

    // Row-wise rowsets of three, set through the first statement only.
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(3), 0), SQL_SUCCESS)
        << StmtState(stmt);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(Row)), 0),
              SQL_SUCCESS)
        << StmtState(stmt);
    SQLULEN v = 0;
    ASSERT_EQ(SQLGetStmtAttr(other, SQL_ATTR_ROW_ARRAY_SIZE, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 3u);
    ASSERT_EQ(SQLGetStmtAttr(other, SQL_ATTR_ROW_BIND_TYPE, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, sizeof(Row));

    SQLULEN fetched = 0;
    ASSERT_EQ(SQLSetStmtAttr(other, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
    ASSERT_EQ(Exec(other, "select i4 * 10 from krs_desc.t order by i4"), SQL_SUCCESS) << StmtState(other);
    ASSERT_EQ(SQLFetch(other), SQL_SUCCESS) << StmtState(other);
    EXPECT_EQ(fetched, 3u);
    EXPECT_EQ(rows[0].id, 10);
    EXPECT_EQ(rows[1].id, 20);
    EXPECT_EQ(rows[2].id, 30);
    EXPECT_EQ(rows[1].ind, static_cast<SQLLEN>(sizeof(SQLINTEGER)));
    SQLFreeHandle(SQL_HANDLE_STMT, other);
}

TEST_P(Desc, FreeingAnExplicitArdInUseRevertsToTheImplicitOne)
{
    SQLHDESC implicit = StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC);
    SQLHDESC user = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, h.dbc, &user), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS);
    SQLINTEGER old = -1;
    SQLLEN oldInd = 0;
    ASSERT_EQ(SQLSetDescRec(user, 1, SQL_C_SLONG, 0, sizeof old, 0, 0, &old, &oldInd, &oldInd), SQL_SUCCESS);
    ASSERT_EQ(Exec(stmt, "select i4 from krs_desc.t order by i4"), SQL_SUCCESS) << StmtState(stmt);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_EQ(old, 1);

    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, user), SQL_SUCCESS);
    EXPECT_EQ(StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC), implicit);
    old = -1;
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_EQ(old, -1) << "the freed descriptor's buffer is no longer written";
    SQLINTEGER got = 0;
    ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_SLONG, &got, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(got, 2);
}

TEST_P(Desc, CopyFromAnIrd)
{
    SQLHDESC user = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, h.dbc, &user), SQL_SUCCESS);
    SQLHDESC ird = StmtDesc(stmt, SQL_ATTR_IMP_ROW_DESC);
    EXPECT_EQ(SQLCopyDesc(ird, user), SQL_ERROR);
    EXPECT_EQ(DescState(user), "HY010");

    ASSERT_EQ(Exec(stmt, "select i4, num, vc from krs_desc.t order by i4"), SQL_SUCCESS) << StmtState(stmt);
    ASSERT_EQ(SQLCopyDesc(ird, user), SQL_SUCCESS) << DescState(user);
    EXPECT_EQ(FieldSmall(user, 0, SQL_DESC_COUNT), 3);
    EXPECT_EQ(FieldSmall(user, 1, SQL_DESC_CONCISE_TYPE), SQL_INTEGER);
    EXPECT_EQ(FieldSmall(user, 2, SQL_DESC_TYPE), SQL_NUMERIC);
    EXPECT_EQ(FieldSmall(user, 2, SQL_DESC_PRECISION), 10);
    EXPECT_EQ(FieldSmall(user, 2, SQL_DESC_SCALE), 2);
    EXPECT_EQ(FieldLen(user, 2, SQL_DESC_OCTET_LENGTH), 12);
    EXPECT_EQ(FieldSmall(user, 3, SQL_DESC_CONCISE_TYPE), Wide() ? SQL_WVARCHAR : SQL_VARCHAR);
    EXPECT_EQ(FieldLen(user, 3, SQL_DESC_OCTET_LENGTH), Wide() ? 40 : 20);

    SQLHDESC ard = StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC);
    EXPECT_EQ(SQLCopyDesc(ard, ird), SQL_ERROR);
    EXPECT_EQ(DescState(ird), "HY016");
}

TEST_P(Desc, OutputParameterThroughTheIpd)
{
    // Bound as input; the IPD makes the return value an output.
    SQLINTEGER in = 21, out = 0;
    SQLLEN inInd = 0, outInd = 0;
    ASSERT_EQ(SQLPrepare(stmt, (SQLCHAR *)"{? = call krs_desc.twice(?)}", SQL_NTS), SQL_SUCCESS)
        << StmtState(stmt);
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &out, 0, &outInd),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &in, 0, &inInd),
              SQL_SUCCESS);
    SQLHDESC ipd = StmtDesc(stmt, SQL_ATTR_IMP_PARAM_DESC);
    ASSERT_EQ(FieldSet(ipd, 1, SQL_DESC_PARAMETER_TYPE, SQL_PARAM_OUTPUT), SQL_SUCCESS) << DescState(ipd);
    EXPECT_EQ(FieldSmall(ipd, 1, SQL_DESC_PARAMETER_TYPE), SQL_PARAM_OUTPUT);
    ASSERT_TRUE(Ok(SQLExecute(stmt))) << StmtState(stmt);
    while (SQLMoreResults(stmt) == SQL_SUCCESS) {
    }
    EXPECT_EQ(out, 42);
}

TEST_P(Desc, IrdDescribesTheColumnsOfATable)
{
    ASSERT_EQ(Exec(stmt, "select i4, i8, num, vc, tx, ts, by from krs_desc.t"), SQL_SUCCESS) << StmtState(stmt);
    SQLHDESC ird = StmtDesc(stmt, SQL_ATTR_IMP_ROW_DESC);
    ASSERT_EQ(FieldSmall(ird, 0, SQL_DESC_COUNT), 7);
    struct Col {
        const char *name;
        SQLSMALLINT concise, type, nullable;
        SQLINTEGER octets;
        SQLSMALLINT precision, scale;
        SQLINTEGER length;
    } cols[] = {
        {"i4", SQL_INTEGER, SQL_INTEGER, SQL_NO_NULLS, 4, 10, 0, 10},
        {"i8", SQL_BIGINT, SQL_BIGINT, SQL_NULLABLE, 20, 19, 0, 19},
        {"num", SQL_NUMERIC, SQL_NUMERIC, SQL_NULLABLE, 12, 10, 2, 10},
        {"vc", SQL_VARCHAR, SQL_VARCHAR, SQL_NO_NULLS, 20, 0, 0, 20},  // wide in the Unicode library
        {"ts", SQL_TYPE_TIMESTAMP, SQL_DATETIME, SQL_NULLABLE, 16, 3, 0, 23},
    };
    const int index[] = {1, 2, 3, 4, 6};
    for (int i = 0; i < 5; ++i) {
        const Col &c = cols[i];
        SCOPED_TRACE(c.name);
        const SQLSMALLINT n = static_cast<SQLSMALLINT>(index[i]);
        const bool wide = Wide() && c.concise == SQL_VARCHAR;
        EXPECT_EQ(Text(ird, n, SQL_DESC_NAME), c.name);
        EXPECT_EQ(FieldSmall(ird, n, SQL_DESC_CONCISE_TYPE), wide ? SQL_WVARCHAR : c.concise);
        EXPECT_EQ(FieldSmall(ird, n, SQL_DESC_TYPE), wide ? SQL_WVARCHAR : c.type);
        EXPECT_EQ(FieldSmall(ird, n, SQL_DESC_NULLABLE), c.nullable);
        EXPECT_EQ(FieldLen(ird, n, SQL_DESC_OCTET_LENGTH), wide ? 2 * c.octets : c.octets);
        EXPECT_EQ(FieldSmall(ird, n, SQL_DESC_PRECISION), c.precision);
        EXPECT_EQ(FieldSmall(ird, n, SQL_DESC_SCALE), c.scale);
        EXPECT_EQ(FieldLen(ird, n, SQL_DESC_LENGTH), c.length);
    }
    EXPECT_EQ(FieldSmall(ird, 6, SQL_DESC_DATETIME_INTERVAL_CODE), SQL_CODE_TIMESTAMP);
    EXPECT_EQ(Text(ird, 1, SQL_DESC_TYPE_NAME), "int4");
    EXPECT_EQ(Text(ird, 3, SQL_DESC_TYPE_NAME), "numeric");
    EXPECT_EQ(FieldSmall(ird, 4, SQL_DESC_UNNAMED), SQL_NAMED);
    EXPECT_EQ(FieldInt(ird, 4, SQL_DESC_CASE_SENSITIVE), SQL_TRUE);
    EXPECT_EQ(FieldInt(ird, 1, SQL_DESC_NUM_PREC_RADIX), 10);
    // Display size, sign, fixed precision and radix of each typed column.
    struct Shown {
        SQLSMALLINT rec;
        SQLLEN display;
        SQLSMALLINT unsignedFlag, fixed;
        SQLINTEGER radix;
    } shown[] = {
        {1, 11, SQL_FALSE, SQL_FALSE, 10},
        {2, 21, SQL_FALSE, SQL_FALSE, 10},  // shown like a decimal: precision + 2
        {3, 12, SQL_FALSE, SQL_TRUE, 10},   // numeric(10,2): fixed precision, scale 2
        {4, 20, SQL_TRUE, SQL_FALSE, 0},
        {6, 23, SQL_TRUE, SQL_FALSE, 0},
    };
    for (const Shown &c : shown) {
        SCOPED_TRACE(c.rec);
        EXPECT_EQ(FieldLen(ird, c.rec, SQL_DESC_DISPLAY_SIZE), c.display);
        EXPECT_EQ(FieldSmall(ird, c.rec, SQL_DESC_UNSIGNED), c.unsignedFlag);
        EXPECT_EQ(FieldSmall(ird, c.rec, SQL_DESC_FIXED_PREC_SCALE), c.fixed);
        EXPECT_EQ(FieldInt(ird, c.rec, SQL_DESC_NUM_PREC_RADIX), c.radix);
    }
    // Text and bytea are long types.
    const SQLSMALLINT tx = FieldSmall(ird, 5, SQL_DESC_CONCISE_TYPE);
    EXPECT_TRUE(tx == SQL_LONGVARCHAR || tx == SQL_VARCHAR || tx == SQL_WLONGVARCHAR || tx == SQL_WVARCHAR) << tx;
    const SQLSMALLINT by = FieldSmall(ird, 7, SQL_DESC_CONCISE_TYPE);
    EXPECT_TRUE(by == SQL_LONGVARBINARY || by == SQL_VARBINARY || by == SQL_BINARY) << by;

    SQLSMALLINT v = 0;
    EXPECT_EQ(SQLGetDescField(ird, 8, SQL_DESC_TYPE, &v, SQL_IS_SMALLINT, nullptr), SQL_NO_DATA);

    SQLCHAR name[32] = {};
    SQLSMALLINT nameLen = 0, type = 0, sub = 0, precision = 0, scale = 0, nullable = 0;
    SQLLEN length = 0;
    ASSERT_EQ(SQLGetDescRec(ird, 3, name, sizeof name, &nameLen, &type, &sub, &length, &precision, &scale,
                            &nullable),
              SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(name), "num");
    EXPECT_EQ(type, SQL_NUMERIC);
    EXPECT_EQ(length, 12);
    EXPECT_EQ(nullable, SQL_NULLABLE);
    EXPECT_EQ(SQLGetDescRec(ird, 8, name, sizeof name, &nameLen, &type, &sub, &length, &precision, &scale,
                            &nullable),
              SQL_NO_DATA);
}

// Sizes of unbounded text and bytea that a library counts twice (octets of
// UTF-16 text, hexadecimal digits of bytes) stay at the largest positive
// value instead of wrapping to a negative or a 32-bit overflow.
TEST_P(Desc, DoubledSizesStayAtTheLargestValue)
{
    ASSERT_EQ(Exec(stmt, "select tx, by, vc from krs_desc.t"), SQL_SUCCESS) << StmtState(stmt);
    SQLHDESC ird = StmtDesc(stmt, SQL_ATTR_IMP_ROW_DESC);
    const SQLLEN kMax = 2147483647;
    for (SQLUSMALLINT col = 1; col <= 2; ++col) {
        SCOPED_TRACE(col);
        struct Asked {
            SQLUSMALLINT field;
            bool old;  // SQLColAttributes
        } asked[] = {{SQL_DESC_OCTET_LENGTH, false}, {SQL_DESC_DISPLAY_SIZE, false}, {SQL_DESC_LENGTH, false},
                     {SQL_COLUMN_LENGTH, true}, {SQL_COLUMN_DISPLAY_SIZE, true}, {SQL_COLUMN_PRECISION, true}};
        for (const Asked &a : asked) {
            SCOPED_TRACE(a.field);
            SQLLEN v = -7;
            const SQLRETURN rc = a.old ? SQLColAttributes(stmt, col, a.field, nullptr, 0, nullptr, &v)
                                       : SQLColAttribute(stmt, col, a.field, nullptr, 0, nullptr, &v);
            ASSERT_EQ(rc, SQL_SUCCESS) << StmtState(stmt);
            EXPECT_GT(v, 0);
            EXPECT_LE(v, kMax);
        }
        EXPECT_GT(FieldLen(ird, static_cast<SQLSMALLINT>(col), SQL_DESC_OCTET_LENGTH), 0);
        EXPECT_GT(FieldLen(ird, static_cast<SQLSMALLINT>(col), SQL_DESC_DISPLAY_SIZE), 0);
    }
    // A bounded column keeps its own size, doubled where it is wide.
    SQLLEN octets = 0;
    ASSERT_EQ(SQLColAttribute(stmt, 3, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &octets), SQL_SUCCESS);
    EXPECT_EQ(octets, Wide() ? 40 : 20);
}

// Literal prefixes and suffixes answer from the type information, whether
// or not anything read the type table before the question.
TEST_P(Desc, LiteralPrefixAndSuffixFromTheTypeInformation)
{
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(Exec(stmt, "select 'x'::varchar(3) as v, 1::int4 as n, now()::timestamp as ts"), SQL_SUCCESS)
            << StmtState(stmt);
        const struct {
            SQLUSMALLINT col;
            const char *prefix;
            const char *suffix;
        } want[] = {{1, "'", "'"}, {2, "", ""}, {3, "'", "'"}};
        for (const auto &w : want) {
            SCOPED_TRACE(w.col);
            char text[32] = {};
            SQLSMALLINT len = 0;
            ASSERT_TRUE(SQL_SUCCEEDED(SQLColAttribute(stmt, w.col, SQL_DESC_LITERAL_PREFIX, text, sizeof text, &len,
                                                      nullptr)))
                << StmtState(stmt);
            EXPECT_STREQ(text, w.prefix);
            ASSERT_TRUE(SQL_SUCCEEDED(SQLColAttribute(stmt, w.col, SQL_DESC_LITERAL_SUFFIX, text, sizeof text, &len,
                                                      nullptr)))
                << StmtState(stmt);
            EXPECT_STREQ(text, w.suffix);
        }
        SQLCloseCursor(stmt);
        // The second round runs after the type table was read for the catalog.
        if (round == 0) {
            ASSERT_EQ(SQLGetTypeInfo(stmt, SQL_ALL_TYPES), SQL_SUCCESS) << StmtState(stmt);
            SQLCloseCursor(stmt);
        }
    }
}

TEST_P(Desc, TypeNamesAreThoseOfTheColumnsOwnTypes)
{
    ASSERT_EQ(Exec(stmt, "select vc, ch, tx, i4, num, ts, by, id from krs_desc.types"), SQL_SUCCESS)
        << StmtState(stmt);
    const char *want[] = {"varchar", "bpchar", "text", "int4", "numeric", "timestamp", "bytea", "uuid"};
    SQLHDESC ird = StmtDesc(stmt, SQL_ATTR_IMP_ROW_DESC);
    for (SQLUSMALLINT i = 1; i <= 8; ++i) {
        SCOPED_TRACE(want[i - 1]);
        char name[64] = {};
        SQLSMALLINT len = 0;
        ASSERT_EQ(SQLColAttribute(stmt, i, SQL_DESC_TYPE_NAME, name, sizeof name, &len, nullptr), SQL_SUCCESS)
            << StmtState(stmt);
        EXPECT_STREQ(name, want[i - 1]);
        EXPECT_EQ(len, static_cast<SQLSMALLINT>(std::strlen(want[i - 1])));
        EXPECT_EQ(Text(ird, static_cast<SQLSMALLINT>(i), SQL_DESC_TYPE_NAME), want[i - 1]);
        char old[64] = {};
        ASSERT_EQ(SQLColAttributes(stmt, i, SQL_COLUMN_TYPE_NAME, old, sizeof old, &len, nullptr), SQL_SUCCESS);
        EXPECT_STREQ(old, want[i - 1]);
    }

    // Where only an SQL type is known (parameters bound before the statement
    // is prepared), its usual PostgreSQL name.
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLHSTMT fresh = NewStmt();
    char buf[4][8] = {};
    SQLLEN ind[4] = {SQL_NTS, SQL_NTS, SQL_NTS, SQL_NTS};
    const SQLSMALLINT types[] = {SQL_VARCHAR, SQL_CHAR, SQL_INTEGER, SQL_NUMERIC};
    const char *usual[] = {"varchar", "bpchar", "int4", "numeric"};
    for (SQLUSMALLINT i = 0; i < 4; ++i)
        ASSERT_EQ(SQLBindParameter(fresh, i + 1, SQL_PARAM_INPUT, SQL_C_CHAR, types[i], 5, 0, buf[i],
                                   sizeof buf[i], &ind[i]),
                  SQL_SUCCESS)
            << StmtState(fresh);
    SQLHDESC ipd = StmtDesc(fresh, SQL_ATTR_IMP_PARAM_DESC);
    for (SQLSMALLINT i = 0; i < 4; ++i) {
        EXPECT_EQ(FieldSmall(ipd, i + 1, SQL_DESC_CONCISE_TYPE), types[i]);
        EXPECT_EQ(Text(ipd, i + 1, SQL_DESC_TYPE_NAME), usual[i]) << types[i];
    }
    SQLFreeHandle(SQL_HANDLE_STMT, fresh);
}

INSTANTIATE_TEST_SUITE_P(Libraries, Desc, ::testing::ValuesIn(kLibraries),
                         [](const auto &info) { return std::string(info.param.tag); });

} // namespace

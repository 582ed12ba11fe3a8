// Descriptor fields, records and copies through the driver's own entry
// points, on statements of a connection opened on the fake back end.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <set>
#include <string>

#include "odbc/desc_field.h"
#include "odbc/desc_rec.h"
#include "odbc/contract/handle_table.h"
#include "odbc/handles.h"
#include "odbc/contract/rowblock.h"
#include "odbc/startup.h"
#include "odbc/stmt_bind.h"
#include "tests/unit/odbc_test_support.h"
#include "tests/common/desc_fields.h"

namespace {
// Allocations of this size made with new (std::nothrow) fail while it is
// not 0: descriptor records that cannot be made.
std::atomic<std::size_t> g_failNothrowSize{0};
} // namespace

void *operator new(std::size_t n, const std::nothrow_t &) noexcept
{
    if (n == g_failNothrowSize.load())
        return nullptr;
    try {
        return ::operator new(n);
    } catch (...) {
        return nullptr;
    }
}

namespace {

Stmt *StmtOf(SQLHSTMT h) { return static_cast<Stmt *>(HT_Lookup(&StmtTable, HT_HandleIn(h))); }
Desc *DescOf(SQLHDESC h) { return static_cast<Desc *>(HT_Lookup(&DescTable, HT_HandleIn(h))); }
SQLHDESC HandleOf(const Desc *d) { return HT_HandleOut(static_cast<uint32_t>(d->handle)); }

std::string DescState(SQLHDESC d) { return DiagState(SQL_HANDLE_DESC, d); }

SQLSMALLINT GetSmall(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field, SQLRETURN *rc = nullptr)
{
    SQLSMALLINT v = -999;
    SQLRETURN r = SQLGetDescField(d, rec, field, &v, SQL_IS_SMALLINT, nullptr);
    if (rc)
        *rc = r;
    return v;
}

SQLULEN GetLen(SQLHDESC d, SQLSMALLINT field)
{
    SQLULEN v = 0;
    EXPECT_EQ(SQLGetDescField(d, 0, field, &v, SQL_IS_UINTEGER, nullptr), SQL_SUCCESS) << field;
    return v;
}

char *Dup(const char *s) { return s ? strdup(s) : nullptr; }

// One result column of the fake result.
struct Col {
    const char *name;
    int32_t sqlType;
    uint32_t size;
    int16_t digits;
    uint32_t flags;
    const char *label = nullptr;
    const char *table = "t";
};

// Gives the statement a result as if it had been executed.
void FakeResult(SQLHSTMT h, std::initializer_list<Col> cols)
{
    Stmt *s = StmtOf(h);
    CD_Free(s->resultCols, s->resultColCount);
    s->resultCols = CD_Alloc(static_cast<uint32_t>(cols.size()));
    s->resultColCount = static_cast<uint16_t>(cols.size());
    int i = 0;
    for (const Col &c : cols) {
        ColDesc &d = s->resultCols[i++];
        std::strncpy(d.name, c.name, sizeof d.name - 1);
        d.sqlType = c.sqlType;
        d.baseSqlType = static_cast<int16_t>(c.sqlType);
        d.columnSize = c.size;
        d.displaySize = c.size;
        d.decimalDigits = c.digits;
        d.attrFlags = c.flags;
        d.label = Dup(c.label);
        d.table = Dup(c.table);
        d.schema = Dup("public");
        d.catalog = Dup("db");
    }
    s->state = STMT_EXECUTED;
    s->flags |= ST_PREPARED;
}

struct DescFixture : ::testing::Test {
    FakeSession s;
    SQLHSTMT stmt = nullptr;
    SQLHDESC ard = nullptr, apd = nullptr, ird = nullptr, ipd = nullptr;

    void SetUp() override
    {
        stmt = s.NewStmt();
        ASSERT_NE(stmt, nullptr);
        Stmt *st = StmtOf(stmt);
        ard = HandleOf(st->ard);
        apd = HandleOf(st->apd);
        ird = HandleOf(st->ird);
        ipd = HandleOf(st->ipd);
    }
    SQLHDESC NewDesc()
    {
        SQLHDESC d = nullptr;
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, s.dbc, &d), SQL_SUCCESS);
        return d;
    }
    // Makes an explicit descriptor the statement's ARD (as the statement
    // attribute does).
    void UseAsArd(SQLHSTMT h, SQLHDESC d)
    {
        Stmt *st = StmtOf(h);
        st->ard = DescOf(d);
        ASSERT_EQ(StmtApplyARD(st, st->ard), 0);
    }
};

TEST_F(DescFixture, FourImplicitDescriptorsWithTheirHeaders)
{
    Stmt *st = StmtOf(stmt);
    EXPECT_EQ(st->ard, st->ardImplicit);
    EXPECT_EQ(st->apd, st->apdImplicit);
    std::set<SQLHDESC> distinct{ard, apd, ird, ipd};
    EXPECT_EQ(distinct.size(), 4u);

    SQLHDESC user = NewDesc();
    const struct {
        SQLHDESC d;
        SQLSMALLINT alloc;
    } kinds[] = {{ard, SQL_DESC_ALLOC_AUTO}, {apd, SQL_DESC_ALLOC_AUTO}, {ird, SQL_DESC_ALLOC_AUTO},
                 {ipd, SQL_DESC_ALLOC_AUTO}, {user, SQL_DESC_ALLOC_USER}};
    for (const auto &k : kinds) {
        EXPECT_EQ(GetSmall(k.d, 0, SQL_DESC_ALLOC_TYPE), k.alloc);
        EXPECT_EQ(FieldPtr(k.d, 0, SQL_DESC_ARRAY_STATUS_PTR), nullptr);
    }
    EXPECT_EQ(GetLen(ard, SQL_DESC_ARRAY_SIZE), 1u);
    EXPECT_EQ(GetLen(apd, SQL_DESC_ARRAY_SIZE), 1u);
    EXPECT_EQ(GetLen(user, SQL_DESC_ARRAY_SIZE), 1u);
    EXPECT_EQ(GetSmall(ard, 0, SQL_DESC_COUNT), 0);
    EXPECT_EQ(GetSmall(user, 0, SQL_DESC_COUNT), 0);

    // Fields a kind does not have.
    SQLULEN size = 0;
    EXPECT_EQ(SQLGetDescField(ird, 0, SQL_DESC_ARRAY_SIZE, &size, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(DescState(ird), "HY091");
    SQLPOINTER p = nullptr;
    EXPECT_EQ(SQLGetDescField(user, 0, SQL_DESC_ROWS_PROCESSED_PTR, &p, SQL_IS_POINTER, nullptr),
              SQL_ERROR);
    EXPECT_EQ(DescState(user), "HY091");
    EXPECT_EQ(SQLGetDescField(user, 0, 4321, &p, SQL_IS_POINTER, nullptr), SQL_ERROR);
    EXPECT_EQ(DescState(user), "IM001");
}

TEST_F(DescFixture, ImplicitDescriptorsCannotBeFreed)
{
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, ard), SQL_ERROR);
    EXPECT_EQ(DescState(ard), "HY017");
    EXPECT_EQ(FieldSet(ard, 1, SQL_DESC_CONCISE_TYPE, SQL_C_LONG), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(ard, 1, SQL_DESC_CONCISE_TYPE), SQL_C_LONG);
}

TEST_F(DescFixture, RecordsGrowWithDefaultsAndTruncate)
{
    EXPECT_EQ(GetSmall(ard, 0, SQL_DESC_TYPE), 0);
    ASSERT_EQ(FieldSet(ard, 0, SQL_DESC_COUNT, 3), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(ard, 1, SQL_DESC_TYPE), SQL_C_DEFAULT);
    EXPECT_EQ(GetSmall(ard, 3, SQL_DESC_CONCISE_TYPE), SQL_C_DEFAULT);
    EXPECT_EQ(GetSmall(ard, 0, SQL_DESC_TYPE), 0) << "record 0 gets no defaults";
    ASSERT_EQ(FieldSet(ipd, 0, SQL_DESC_COUNT, 2), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(ipd, 2, SQL_DESC_PARAMETER_TYPE), SQL_PARAM_INPUT);

    ASSERT_EQ(FieldSet(ard, 0, SQL_DESC_COUNT, 1), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(ard, 0, SQL_DESC_COUNT), 1);
    EXPECT_EQ(DescRecCount(DescOf(ard)), 1);
    SQLRETURN rc;
    GetSmall(ard, 2, SQL_DESC_TYPE, &rc);
    EXPECT_EQ(rc, SQL_NO_DATA);

    // COUNT 0 drops every record but record 0; ARRAY_SIZE 0 changes nothing.
    ASSERT_EQ(FieldSet(ard, 0, SQL_DESC_COUNT, 0), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(ard, 0, SQL_DESC_COUNT), 0);
    EXPECT_EQ(DescRecCount(DescOf(ard)), 0);
    ASSERT_EQ(FieldSet(ard, 0, SQL_DESC_ARRAY_SIZE, 7), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ard, 0, SQL_DESC_ARRAY_SIZE, 0), SQL_SUCCESS);
    EXPECT_EQ(GetLen(ard, SQL_DESC_ARRAY_SIZE), 7u);

    // Writing a record past the count appends up to it.
    ASSERT_EQ(FieldSet(ard, 4, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(ard, 0, SQL_DESC_COUNT), 4);
}

TEST_F(DescFixture, RecordsThatCannotBeMadeAreHY001)
{
    SQLHDESC user = NewDesc();
    SQLHDESC source = NewDesc();
    ASSERT_EQ(FieldSet(source, 0, SQL_DESC_COUNT, 3), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ard, 0, SQL_DESC_COUNT, 1), SQL_SUCCESS);
    SQLINTEGER v = 0;
    const struct {
        const char *what;
        SQLHDESC reported;
        std::function<SQLRETURN()> call;
    } cases[] = {
        {"COUNT", ard, [&] { return FieldSet(ard, 0, SQL_DESC_COUNT, 4); }},
        {"field past COUNT", ard, [&] { return FieldSet(ard, 3, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR); }},
        {"data pointer past COUNT", apd, [&] { return FieldSetPtr(apd, 2, SQL_DESC_DATA_PTR, &v); }},
        {"SQLSetDescRec", user,
         [&] { return SQLSetDescRec(user, 2, SQL_C_SLONG, 0, 4, 0, 0, &v, nullptr, nullptr); }},
        {"SQLCopyDesc", user, [&] { return SQLCopyDesc(source, user); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        g_failNothrowSize = sizeof(DescRec);
        const SQLRETURN rc = c.call();
        g_failNothrowSize = 0;
        EXPECT_EQ(rc, SQL_ERROR);
        EXPECT_EQ(DescState(c.reported), "HY001");
    }
    // Nothing was appended, nothing bound; the records are made once memory is there.
    EXPECT_EQ(GetSmall(ard, 0, SQL_DESC_COUNT), 1);
    EXPECT_EQ(GetSmall(apd, 0, SQL_DESC_COUNT), 0);
    EXPECT_EQ(GetSmall(user, 0, SQL_DESC_COUNT), 0);
    const ParamBinding *p = StmtGetParamBinding(2, StmtOf(stmt));
    EXPECT_TRUE(!p || !p->data);
    ASSERT_EQ(FieldSet(ard, 3, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(ard, 0, SQL_DESC_COUNT), 3);
    ASSERT_EQ(SQLCopyDesc(source, user), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(user, 0, SQL_DESC_COUNT), 3);
}

TEST_F(DescFixture, TypeFieldsStayConsistent)
{
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_CONCISE_TYPE, SQL_C_TYPE_TIMESTAMP), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(ard, 1, SQL_DESC_TYPE), SQL_DATETIME);
    EXPECT_EQ(GetSmall(ard, 1, SQL_DESC_DATETIME_INTERVAL_CODE), SQL_CODE_TIMESTAMP);
    EXPECT_EQ(GetSmall(ard, 1, SQL_DESC_PRECISION), 6);

    ASSERT_EQ(FieldSet(ard, 2, SQL_DESC_CONCISE_TYPE, SQL_C_LONG), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ard, 2, SQL_DESC_TYPE, SQL_DATETIME), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(ard, 2, SQL_DESC_CONCISE_TYPE), SQL_C_LONG);
    ASSERT_EQ(FieldSet(ard, 2, SQL_DESC_DATETIME_INTERVAL_CODE, SQL_CODE_TIME), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(ard, 2, SQL_DESC_CONCISE_TYPE), SQL_C_TYPE_TIME);

    // Refused types leave the record as it was.
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_TYPE, SQL_TIMESTAMP), SQL_ERROR);
    EXPECT_EQ(DescState(ard), "HY092");
    EXPECT_EQ(GetSmall(ard, 1, SQL_DESC_TYPE), SQL_DATETIME);
    EXPECT_EQ(GetSmall(ard, 1, SQL_DESC_CONCISE_TYPE), SQL_C_TYPE_TIMESTAMP);
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_CONCISE_TYPE, 4242), SQL_ERROR);
    EXPECT_EQ(DescState(ard), "HY092");
    EXPECT_EQ(GetSmall(ard, 1, SQL_DESC_CONCISE_TYPE), SQL_C_TYPE_TIMESTAMP);
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_DATETIME_INTERVAL_CODE, 9), SQL_ERROR);
    EXPECT_EQ(GetSmall(ard, 1, SQL_DESC_DATETIME_INTERVAL_CODE), SQL_CODE_TIMESTAMP);
}

TEST_F(DescFixture, ZerosAndNullsThatAreValues)
{
    SQLLEN ind = 0, len = 0;
    char buf[8];
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_CONCISE_TYPE, SQL_C_NUMERIC), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_PRECISION, 12), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_SCALE, 3), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_NUM_PREC_RADIX, 10), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(ard, 1, SQL_DESC_INDICATOR_PTR, &ind), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(ard, 1, SQL_DESC_OCTET_LENGTH_PTR, &len), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(ard, 1, SQL_DESC_DATA_PTR, buf), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ard, 0, SQL_DESC_BIND_TYPE, 24), SQL_SUCCESS);

    for (SQLSMALLINT f : {SQL_DESC_PRECISION, SQL_DESC_SCALE})
        ASSERT_EQ(FieldSet(ard, 1, f, 0), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_NUM_PREC_RADIX, 0), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(ard, 1, SQL_DESC_INDICATOR_PTR, nullptr), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(ard, 1, SQL_DESC_OCTET_LENGTH_PTR, nullptr), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ard, 0, SQL_DESC_BIND_TYPE, 0), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(ard, 1, SQL_DESC_PRECISION), 0);
    EXPECT_EQ(GetSmall(ard, 1, SQL_DESC_SCALE), 0);
    EXPECT_EQ(FieldInt(ard, 1, SQL_DESC_NUM_PREC_RADIX), 0);
    EXPECT_EQ(FieldPtr(ard, 1, SQL_DESC_INDICATOR_PTR), nullptr);
    EXPECT_EQ(FieldPtr(ard, 1, SQL_DESC_OCTET_LENGTH_PTR), nullptr);
    EXPECT_EQ(FieldInt(ard, 0, SQL_DESC_BIND_TYPE), SQL_BIND_BY_COLUMN);
    EXPECT_EQ(StmtOf(stmt)->bindType, 0u);

    // NULL data unbinds: the record keeps no pointer.
    ASSERT_EQ(FieldSetPtr(ard, 1, SQL_DESC_DATA_PTR, nullptr), SQL_SUCCESS);
    EXPECT_EQ(DescGetRec(DescOf(ard), 1)->dataPtr, nullptr);

    // Zero leaves the other fields as they are.
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_OCTET_LENGTH, 40), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_OCTET_LENGTH, 0), SQL_SUCCESS);
    EXPECT_EQ(FieldLen(ard, 1, SQL_DESC_OCTET_LENGTH), 40);
}

TEST_F(DescFixture, FieldsOtherThanPointersUnbindTheRecord)
{
    char buf[4];
    SQLHDESC user = NewDesc();
    ASSERT_EQ(FieldSet(user, 1, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(user, 1, SQL_DESC_DATA_PTR, buf), SQL_SUCCESS);
    SQLLEN ind = 0;
    ASSERT_EQ(FieldSetPtr(user, 1, SQL_DESC_INDICATOR_PTR, &ind), SQL_SUCCESS);
    EXPECT_EQ(FieldPtr(user, 1, SQL_DESC_DATA_PTR), buf) << "pointer fields keep the buffer";
    ASSERT_EQ(FieldSet(user, 1, SQL_DESC_OCTET_LENGTH, 4), SQL_SUCCESS);
    EXPECT_EQ(FieldPtr(user, 1, SQL_DESC_DATA_PTR), nullptr);

    // A refused field on an application record still unbinds it.
    ASSERT_EQ(FieldSetPtr(user, 1, SQL_DESC_DATA_PTR, buf), SQL_SUCCESS);
    EXPECT_EQ(FieldSet(user, 1, SQL_DESC_NAME, reinterpret_cast<intptr_t>("x"), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(DescState(user), "HY091");
    EXPECT_EQ(FieldPtr(user, 1, SQL_DESC_DATA_PTR), nullptr);
}

TEST_F(DescFixture, WhoMayWriteWhat)
{
    // The IRD takes only its status and rows-processed pointers.
    SQLUSMALLINT status[4];
    SQLULEN fetched = 0;
    EXPECT_EQ(FieldSetPtr(ird, 0, SQL_DESC_ARRAY_STATUS_PTR, status), SQL_SUCCESS);
    EXPECT_EQ(FieldSetPtr(ird, 0, SQL_DESC_ROWS_PROCESSED_PTR, &fetched), SQL_SUCCESS);
    EXPECT_EQ(FieldPtr(ird, 0, SQL_DESC_ARRAY_STATUS_PTR), status);
    EXPECT_EQ(FieldPtr(ird, 0, SQL_DESC_ROWS_PROCESSED_PTR), &fetched);
    char buf[4];
    const struct {
        SQLSMALLINT rec, field;
        intptr_t v;
    } irdWrites[] = {
        {1, SQL_DESC_DATA_PTR, reinterpret_cast<intptr_t>(buf)},
        {1, SQL_DESC_CONCISE_TYPE, SQL_INTEGER},
        {1, SQL_DESC_NAME, reinterpret_cast<intptr_t>("n")},
        {0, SQL_DESC_COUNT, 2},
        {0, SQL_DESC_BIND_TYPE, 8},
    };
    for (const auto &w : irdWrites) {
        EXPECT_EQ(FieldSet(ird, w.rec, w.field, w.v, SQL_NTS), SQL_ERROR) << w.field;
        EXPECT_EQ(DescState(ird), "HY016") << w.field;
    }

    // Read-only fields, whatever the descriptor.
    SQLHDESC user = NewDesc();
    for (SQLHDESC d : {ard, ipd, user}) {
        EXPECT_EQ(FieldSet(d, 1, SQL_DESC_LABEL, reinterpret_cast<intptr_t>("l"), SQL_NTS), SQL_ERROR);
        EXPECT_EQ(DescState(d), "HY091");
        EXPECT_EQ(FieldSet(d, 1, SQL_DESC_NULLABLE, 1), SQL_ERROR);
        EXPECT_EQ(DescState(d), "HY091");
    }

    // Implementation and application fields.
    EXPECT_EQ(FieldSet(ard, 1, SQL_DESC_PARAMETER_TYPE, SQL_PARAM_OUTPUT), SQL_ERROR);
    EXPECT_EQ(DescState(ard), "HY091");
    SQLLEN ind = 0;
    EXPECT_EQ(FieldSetPtr(ipd, 1, SQL_DESC_INDICATOR_PTR, &ind), SQL_ERROR);
    EXPECT_EQ(DescState(ipd), "HY091");
    EXPECT_EQ(FieldSetPtr(ipd, 1, SQL_DESC_DATA_PTR, buf), SQL_SUCCESS) << "an IPD takes no data";
    EXPECT_EQ(FieldSet(ipd, 1, SQL_DESC_UNNAMED, SQL_NAMED), SQL_SUCCESS) << "0 changes nothing";
    EXPECT_EQ(FieldSet(ipd, 1, SQL_DESC_UNNAMED, 7), SQL_ERROR);
    EXPECT_EQ(FieldSet(ipd, 1, SQL_DESC_PARAMETER_TYPE, 3), SQL_ERROR);
    EXPECT_EQ(DescState(ipd), "HY009");

    // Record numbers.
    EXPECT_EQ(FieldSet(user, 0, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR), SQL_ERROR) << "record 0 of an unused descriptor";
    EXPECT_EQ(DescState(user), "07009");
    EXPECT_EQ(FieldSet(ard, -1, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR), SQL_ERROR);
    EXPECT_EQ(DescState(ard), "07009");
    EXPECT_EQ(FieldSet(ard, 0, SQL_DESC_CONCISE_TYPE, SQL_C_BINARY), SQL_SUCCESS) << "the bookmark record";
    SQLSMALLINT t = 0;
    EXPECT_EQ(SQLGetDescField(ipd, 0, SQL_DESC_TYPE, &t, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(DescState(ipd), "07009");
}

TEST_F(DescFixture, PointerFieldsNeedRoomForAPointer)
{
    SQLUSMALLINT status[2];
    ASSERT_EQ(FieldSetPtr(ard, 0, SQL_DESC_ARRAY_STATUS_PTR, status), SQL_SUCCESS);
    SQLPOINTER p = nullptr;
    EXPECT_EQ(SQLGetDescField(ard, 0, SQL_DESC_ARRAY_STATUS_PTR, &p, 4, nullptr), SQL_ERROR);
    EXPECT_EQ(DescState(ard), "HY009");
    EXPECT_EQ(p, nullptr);
    SQLINTEGER len = 0;
    EXPECT_EQ(SQLGetDescField(ard, 0, SQL_DESC_ARRAY_STATUS_PTR, &p, SQL_IS_POINTER, &len), SQL_SUCCESS);
    EXPECT_EQ(p, status);
    EXPECT_EQ(len, 8);
}

TEST_F(DescFixture, ImplicitArdAnswersArraySizeAndBindTypeFromTheStatement)
{
    Stmt *st = StmtOf(stmt);
    st->cursor.rowsetSize = 13;
    st->bindType = 64;
    EXPECT_EQ(GetLen(ard, SQL_DESC_ARRAY_SIZE), 13u);
    EXPECT_EQ(FieldInt(ard, 0, SQL_DESC_BIND_TYPE), 64);
    ASSERT_EQ(FieldSet(ard, 0, SQL_DESC_ARRAY_SIZE, 20), SQL_SUCCESS);
    EXPECT_EQ(st->cursor.rowsetSize, 20);
}

TEST_F(DescFixture, IpdConciseTypeKeepsTheParameterDirection)
{
    ASSERT_EQ(FieldSet(ipd, 1, SQL_DESC_PARAMETER_TYPE, SQL_PARAM_OUTPUT), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ipd, 1, SQL_DESC_CONCISE_TYPE, SQL_INTEGER), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(ipd, 1, SQL_DESC_PARAMETER_TYPE), SQL_PARAM_OUTPUT);
    EXPECT_EQ(GetSmall(ipd, 1, SQL_DESC_NULLABLE), SQL_NULLABLE);

    // NAME in both widths; a non-empty name names the record.
    ASSERT_EQ(FieldSet(ipd, 1, SQL_DESC_UNNAMED, SQL_UNNAMED), SQL_SUCCESS);
    const SQLWCHAR wide[] = {u'p', u'\u00e9', u'r', 0};
    ASSERT_EQ(SQLSetDescFieldW(ipd, 1, SQL_DESC_NAME, const_cast<SQLWCHAR *>(wide), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(ipd, 1, SQL_DESC_UNNAMED), SQL_NAMED);
    char name[16] = {};
    SQLINTEGER len = 0;
    ASSERT_EQ(SQLGetDescField(ipd, 1, SQL_DESC_NAME, name, sizeof name, &len), SQL_SUCCESS);
    EXPECT_STREQ(name, "p\xc3\xa9r");
    EXPECT_EQ(len, 4);
    SQLWCHAR back[8] = {};
    ASSERT_EQ(SQLGetDescFieldW(ipd, 1, SQL_DESC_NAME, back, sizeof back, &len), SQL_SUCCESS);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(back)), u"p\u00e9r");
    EXPECT_EQ(len, 6) << "bytes";
    ASSERT_EQ(FieldSet(ipd, 1, SQL_DESC_NAME, reinterpret_cast<intptr_t>("abcdef"), 3), SQL_SUCCESS);
    ASSERT_EQ(SQLGetDescField(ipd, 1, SQL_DESC_NAME, name, sizeof name, &len), SQL_SUCCESS);
    EXPECT_STREQ(name, "abc");
    EXPECT_EQ(FieldSet(ipd, 1, SQL_DESC_NAME, reinterpret_cast<intptr_t>("abc"), -7), SQL_ERROR);
    EXPECT_EQ(DescState(ipd), "HY090");
}

TEST_F(DescFixture, ResultColumnsThroughTheIrd)
{
    SQLSMALLINT count = 0;
    EXPECT_EQ(SQLGetDescField(ird, 0, SQL_DESC_COUNT, &count, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(DescState(ird), "HY010");

    FakeResult(stmt, {{"id", SQL_BIGINT, 19, 0, 0x10},
                      {"wname", SQL_WVARCHAR, 10, 0, 0x21},
                      {"wname", SQL_WVARCHAR, 10, 0, 0x21},
                      {"price", SQL_NUMERIC, 10, 2, 0x31, "cost"},
                      {"", SQL_TYPE_TIMESTAMP, 23, 3, 0x02},
                      {"*B", SQL_INTEGER, 10, 0, 0x11}});
    EXPECT_EQ(GetSmall(ird, 0, SQL_DESC_COUNT), 5) << "*B is hidden";
    SQLRETURN rc;
    GetSmall(ird, 6, SQL_DESC_TYPE, &rc);
    EXPECT_EQ(rc, SQL_NO_DATA);

    // Record 0 describes the bookmark without any column description.
    char name[32] = {};
    ASSERT_EQ(SQLGetDescField(ird, 0, SQL_DESC_NAME, name, sizeof name, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(name, "BOOKMARK");
    EXPECT_EQ(GetSmall(ird, 0, SQL_DESC_TYPE), SQL_CHAR);
    EXPECT_EQ(GetSmall(ird, 0, SQL_DESC_CONCISE_TYPE), SQL_CHAR);
    EXPECT_EQ(FieldLen(ird, 0, SQL_DESC_OCTET_LENGTH), 8);

    EXPECT_EQ(FieldLen(ird, 1, SQL_DESC_OCTET_LENGTH), 20);
    EXPECT_EQ(FieldLen(ird, 3, SQL_DESC_OCTET_LENGTH), 20);
    EXPECT_EQ(FieldLen(ird, 4, SQL_DESC_OCTET_LENGTH), 12);
    EXPECT_EQ(GetSmall(ird, 4, SQL_DESC_PRECISION), 10);
    EXPECT_EQ(GetSmall(ird, 4, SQL_DESC_SCALE), 2);
    EXPECT_EQ(FieldInt(ird, 4, SQL_DESC_NUM_PREC_RADIX), 10);
    EXPECT_EQ(GetSmall(ird, 5, SQL_DESC_TYPE), SQL_DATETIME);
    EXPECT_EQ(GetSmall(ird, 5, SQL_DESC_DATETIME_INTERVAL_CODE), SQL_CODE_TIMESTAMP);
    EXPECT_EQ(GetSmall(ird, 5, SQL_DESC_PRECISION), 3);
    EXPECT_EQ(GetSmall(ird, 5, SQL_DESC_UNNAMED), SQL_UNNAMED);
    EXPECT_EQ(GetSmall(ird, 1, SQL_DESC_NULLABLE), SQL_NO_NULLS);
    EXPECT_EQ(GetSmall(ird, 3, SQL_DESC_NULLABLE), SQL_NULLABLE);
    EXPECT_EQ(GetSmall(ird, 1, SQL_DESC_UPDATABLE), SQL_ATTR_READONLY);
    EXPECT_EQ(GetSmall(ird, 3, SQL_DESC_UPDATABLE), SQL_ATTR_WRITE);
    EXPECT_EQ(GetSmall(ird, 4, SQL_DESC_UPDATABLE), SQL_ATTR_READWRITE_UNKNOWN);
    EXPECT_EQ(GetSmall(ird, 5, SQL_DESC_UPDATABLE), SQL_ATTR_READWRITE_UNKNOWN);
    EXPECT_EQ(GetSmall(ird, 3, SQL_DESC_SEARCHABLE), SQL_PRED_SEARCHABLE);
    EXPECT_EQ(FieldInt(ird, 3, SQL_DESC_CASE_SENSITIVE), SQL_TRUE);
    EXPECT_EQ(FieldInt(ird, 1, SQL_DESC_CASE_SENSITIVE), SQL_FALSE);
    ASSERT_EQ(SQLGetDescField(ird, 4, SQL_DESC_LABEL, name, sizeof name, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(name, "cost");
    ASSERT_EQ(SQLGetDescField(ird, 4, SQL_DESC_TABLE_NAME, name, sizeof name, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(name, "t");
    ASSERT_EQ(SQLGetDescField(ird, 4, SQL_DESC_SCHEMA_NAME, name, sizeof name, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(name, "public");

    // Date and time types by their ODBC 3 codes.
    FakeResult(stmt, {{"d", SQL_DATE, 10, 0, 0x11}, {"ts", SQL_TIMESTAMP, 26, 6, 0x11}});
    EXPECT_EQ(GetSmall(ird, 1, SQL_DESC_CONCISE_TYPE), SQL_TYPE_DATE);
    EXPECT_EQ(GetSmall(ird, 2, SQL_DESC_CONCISE_TYPE), SQL_TYPE_TIMESTAMP);
    EXPECT_EQ(GetSmall(ird, 2, SQL_DESC_TYPE), SQL_DATETIME);
    EXPECT_EQ(GetSmall(ird, 2, SQL_DESC_DATETIME_INTERVAL_CODE), SQL_CODE_TIMESTAMP);
    EXPECT_EQ(GetSmall(ird, 2, SQL_DESC_PRECISION), 6);

    // A name cut to its buffer.
    FakeResult(stmt, {{"abcdefghij", SQL_VARCHAR, 20, 0, 0x10}});
    char cut[10];
    SQLINTEGER len = 0;
    ASSERT_EQ(SQLGetDescField(ird, 1, SQL_DESC_NAME, cut, sizeof cut, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(cut, "abcdefghi");
    EXPECT_EQ(len, 10);
    EXPECT_EQ(DescState(ird), "01004");
}

TEST_F(DescFixture, GetDescRecReadsThePrincipalFields)
{
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_CONCISE_TYPE, SQL_C_TYPE_DATE), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(ard, 1, SQL_DESC_OCTET_LENGTH, 6), SQL_SUCCESS);
    SQLCHAR name[8] = "keep";
    SQLSMALLINT nameLen = -5, type = 0, sub = 0, prec = -1, scale = -1, nullable = -5;
    SQLLEN length = 0;
    ASSERT_EQ(SQLGetDescRec(ard, 1, name, sizeof name, &nameLen, &type, &sub, &length, &prec, &scale,
                            &nullable),
              SQL_SUCCESS);
    EXPECT_EQ(type, SQL_DATETIME);
    EXPECT_EQ(sub, SQL_CODE_DATE);
    EXPECT_EQ(length, 6);
    EXPECT_EQ(prec, 0);
    EXPECT_STREQ(reinterpret_cast<char *>(name), "") << "application records have no name";
    EXPECT_EQ(nameLen, 0);
    EXPECT_EQ(nullable, -5);
    EXPECT_EQ(SQLGetDescRec(ard, 2, name, sizeof name, &nameLen, &type, &sub, &length, &prec, &scale,
                            &nullable),
              SQL_NO_DATA);

    FakeResult(stmt, {{"amount", SQL_NUMERIC, 10, 2, 0x11}});
    ASSERT_EQ(SQLGetDescRec(ird, 1, name, sizeof name, &nameLen, &type, &sub, &length, &prec, &scale,
                            &nullable),
              SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(name), "amount");
    EXPECT_EQ(nameLen, 6);
    EXPECT_EQ(type, SQL_NUMERIC);
    EXPECT_EQ(sub, 0);
    EXPECT_EQ(length, 12);
    EXPECT_EQ(prec, 10);
    EXPECT_EQ(scale, 2);
    EXPECT_EQ(nullable, SQL_NULLABLE);

    // The wide form counts the name in characters.
    SQLWCHAR wname[4];
    ASSERT_EQ(SQLGetDescRecW(ird, 1, wname, 4, &nameLen, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(wname)), u"amo");
    EXPECT_EQ(nameLen, 6);
    SQLWCHAR whole[7];
    ASSERT_EQ(SQLGetDescRecW(ird, 1, whole, 7, &nameLen, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(whole)), u"amount");
}

TEST_F(DescFixture, SetDescRecSetsEveryArgument)
{
    SQLLEN len = 0, ind = 0;
    char buf[32];
    ASSERT_EQ(SQLSetDescRec(ard, 1, SQL_DATETIME, SQL_CODE_TIMESTAMP, 16, 0, 0, buf, &len, &ind),
              SQL_SUCCESS);
    EXPECT_EQ(GetSmall(ard, 1, SQL_DESC_CONCISE_TYPE), SQL_C_TYPE_TIMESTAMP);
    EXPECT_EQ(GetSmall(ard, 1, SQL_DESC_TYPE), SQL_DATETIME);
    EXPECT_EQ(GetSmall(ard, 1, SQL_DESC_PRECISION), 0);
    EXPECT_EQ(FieldPtr(ard, 1, SQL_DESC_OCTET_LENGTH_PTR), &len);
    EXPECT_EQ(FieldPtr(ard, 1, SQL_DESC_INDICATOR_PTR), &ind);

    // NULL pointers and zeros clear what was there.
    ASSERT_EQ(SQLSetDescRec(ard, 1, SQL_CHAR, 0, 0, 0, 0, nullptr, nullptr, nullptr), SQL_SUCCESS);
    EXPECT_EQ(FieldPtr(ard, 1, SQL_DESC_OCTET_LENGTH_PTR), nullptr);
    EXPECT_EQ(FieldPtr(ard, 1, SQL_DESC_INDICATOR_PTR), nullptr);
    EXPECT_EQ(FieldLen(ard, 1, SQL_DESC_OCTET_LENGTH), 0);
    EXPECT_EQ(DescGetRec(DescOf(ard), 1)->dataPtr, nullptr);

    EXPECT_EQ(SQLSetDescRec(ird, 1, SQL_CHAR, 0, 4, 0, 0, buf, &len, &ind), SQL_ERROR);
    EXPECT_EQ(DescState(ird), "HY016");
}

TEST_F(DescFixture, CopyDesc)
{
    SQLHDESC user = NewDesc();
    EXPECT_EQ(SQLCopyDesc(user, ird), SQL_ERROR);
    EXPECT_EQ(DescState(ird), "HY016");
    EXPECT_EQ(SQLCopyDesc(ird, user), SQL_ERROR) << "the statement was never prepared";
    EXPECT_EQ(DescState(user), "HY010");
    EXPECT_EQ(SQLCopyDesc(user, reinterpret_cast<SQLHDESC>(0x0004FFF0)), SQL_INVALID_HANDLE);

    FakeResult(stmt, {{"id", SQL_INTEGER, 10, 0, 0x10},
                      {"name", SQL_VARCHAR, 20, 0, 0x11},
                      {"amount", SQL_NUMERIC, 10, 2, 0x11}});
    ASSERT_EQ(SQLCopyDesc(ird, user), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(user, 0, SQL_DESC_COUNT), 3);
    EXPECT_EQ(GetSmall(user, 2, SQL_DESC_CONCISE_TYPE), SQL_VARCHAR);
    EXPECT_EQ(FieldLen(user, 2, SQL_DESC_OCTET_LENGTH), 20);
    EXPECT_EQ(GetSmall(user, 3, SQL_DESC_TYPE), SQL_NUMERIC);
    EXPECT_EQ(GetSmall(user, 3, SQL_DESC_PRECISION), 10);
    EXPECT_EQ(GetSmall(user, 3, SQL_DESC_SCALE), 2);
    EXPECT_EQ(FieldLen(user, 3, SQL_DESC_OCTET_LENGTH), 12);

    // The target gets the source's fields, cleared where the source has none.
    SQLLEN ind = 0;
    char buf[8];
    SQLHDESC other = NewDesc();
    ASSERT_EQ(FieldSet(other, 0, SQL_DESC_COUNT, 5), SQL_SUCCESS);
    ASSERT_EQ(FieldSet(other, 1, SQL_DESC_OCTET_LENGTH, 99), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(other, 1, SQL_DESC_INDICATOR_PTR, &ind), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(other, 1, SQL_DESC_DATA_PTR, buf), SQL_SUCCESS);
    ASSERT_EQ(SQLCopyDesc(ird, other), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(other, 0, SQL_DESC_COUNT), 3);
    EXPECT_EQ(FieldLen(other, 1, SQL_DESC_OCTET_LENGTH), 4);
    EXPECT_EQ(FieldPtr(other, 1, SQL_DESC_INDICATOR_PTR), nullptr);
    EXPECT_EQ(FieldPtr(other, 1, SQL_DESC_DATA_PTR), nullptr);

    // COUNT 0 is copied as 0.
    SQLHDESC empty = NewDesc();
    ASSERT_EQ(SQLCopyDesc(empty, other), SQL_SUCCESS);
    EXPECT_EQ(GetSmall(other, 0, SQL_DESC_COUNT), 0);

    // An application descriptor's buffers go along.
    SQLLEN len = 0;
    ASSERT_EQ(SQLSetDescRec(user, 1, SQL_C_LONG, 0, 4, 0, 0, buf, &len, &ind), SQL_SUCCESS);
    ASSERT_EQ(SQLCopyDesc(user, other), SQL_SUCCESS);
    EXPECT_EQ(FieldPtr(other, 1, SQL_DESC_DATA_PTR), buf);
    EXPECT_EQ(FieldPtr(other, 1, SQL_DESC_INDICATOR_PTR), &ind);
    EXPECT_EQ(FieldPtr(other, 1, SQL_DESC_OCTET_LENGTH_PTR), &len);
    EXPECT_EQ(GetSmall(other, 1, SQL_DESC_CONCISE_TYPE), SQL_C_LONG);
}

TEST_F(DescFixture, CopyStopsAtANameThatDoesNotFit)
{
    std::string longName(300, 'n');
    FakeResult(stmt, {{"x", SQL_INTEGER, 10, 0, 0x10}});
    ASSERT_EQ(FieldSet(ipd, 1, SQL_DESC_NAME, reinterpret_cast<intptr_t>(longName.c_str()), SQL_NTS),
              SQL_SUCCESS);
    SQLHSTMT stmt2 = s.NewStmt();
    SQLHDESC ipd2 = HandleOf(StmtOf(stmt2)->ipd);
    EXPECT_EQ(SQLCopyDesc(ipd, ipd2), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(DescState(ipd2), "01004");
    char name[8] = "keep";
    SQLRETURN rc = SQLGetDescField(ipd2, 1, SQL_DESC_NAME, name, sizeof name, nullptr);
    EXPECT_EQ(rc, SQL_SUCCESS);
    EXPECT_STREQ(name, "") << "the copy ended before the name";
}

TEST_F(DescFixture, ExplicitArdSharedByTwoStatements)
{
    SQLHSTMT stmt2 = s.NewStmt();
    SQLHDESC user = NewDesc();
    UseAsArd(stmt, user);
    UseAsArd(stmt2, user);
    ASSERT_EQ(FieldSet(user, 0, SQL_DESC_ARRAY_SIZE, 25), SQL_SUCCESS);
    EXPECT_EQ(StmtOf(stmt)->cursor.rowsetSize, 25);
    EXPECT_EQ(StmtOf(stmt2)->cursor.rowsetSize, 25);
    EXPECT_EQ(FieldSet(user, 0, SQL_DESC_CONCISE_TYPE, SQL_C_BINARY), SQL_SUCCESS)
        << "record 0 is a row record while the descriptor is an ARD";

    // Freeing the statement leaves the descriptor usable.
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt2), SQL_SUCCESS);
    EXPECT_EQ(FieldSet(user, 1, SQL_DESC_CONCISE_TYPE, SQL_C_LONG), SQL_SUCCESS);

    // Freeing the descriptor returns the statement to its implicit ARD,
    // which it follows again.
    StmtOf(stmt)->ardImplicit->arraySize = 3;
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, user), SQL_SUCCESS);
    Stmt *st = StmtOf(stmt);
    EXPECT_EQ(st->ard, st->ardImplicit);
    EXPECT_EQ(st->cursor.rowsetSize, 3);
    EXPECT_EQ(FieldSet(ard, 1, SQL_DESC_CONCISE_TYPE, SQL_C_LONG), SQL_SUCCESS);
}

TEST_F(DescFixture, AStatementRoutineThatFailsReportsOnTheDescriptorCalled)
{
    EXPECT_EQ(FieldSet(apd, 0, SQL_DESC_ARRAY_SIZE, 10), SQL_ERROR);
    EXPECT_EQ(DescState(apd), "IM001") << "no parameter arrays without the capability";
    EXPECT_EQ(DiagState(SQL_HANDLE_STMT, stmt), "");
    EXPECT_EQ(StmtOf(stmt)->paramsetSize, 1u);

    // A NULL rows-processed pointer is a value: nothing is written any more.
    SQLULEN fetched = 0;
    ASSERT_EQ(FieldSetPtr(ird, 0, SQL_DESC_ROWS_PROCESSED_PTR, &fetched), SQL_SUCCESS);
    ASSERT_EQ(FieldSetPtr(ird, 0, SQL_DESC_ROWS_PROCESSED_PTR, nullptr), SQL_SUCCESS);
    EXPECT_EQ(StmtOf(stmt)->rowsFetchedPtr, nullptr);
    EXPECT_EQ(FieldPtr(ird, 0, SQL_DESC_ROWS_PROCESSED_PTR), nullptr);
}

TEST_F(DescFixture, HeaderWritesForAStatementReportOnTheStatement)
{
    Stmt *st = StmtOf(stmt);
    Desc *apdObj = DescOf(apd);
    EXPECT_EQ(DescSetFieldForStmt(st, apdObj, SQL_DESC_ARRAY_SIZE, 10, 0, 'A'), SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_STMT, stmt), "IM001") << "no parameter arrays without the capability";
    EXPECT_EQ(apdObj->diag.errNum, ERR_NONE);
    EXPECT_EQ(st->paramsetSize, 1u);
}

} // namespace

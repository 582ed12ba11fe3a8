// The catalog entry points over a recording back end: which texts and flags
// reach the catalog operations, the argument checks, the table-type list and
// the statement's state afterwards.
#include "exec/catalog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "odbc/contract/catalog_args.h"
#include "odbc/handles.h"
#include "odbc/stmt.h"
#include "tests/unit/odbc_test_support.h"

namespace {

// What the last catalog operation received.
struct Received {
    int slot = -1;
    std::vector<std::string> texts;  // "<null>" for a NULL text
    int16_t flags[3] = {};
    uint16_t options = 0;
    int16_t sqlType = 0;
};
Received gLast;
int gAnswer = 0;
const char *gCatalogName = "Y";  // the data source's SQL_CATALOG_NAME

template <int Slot>
int record(int, CatalogArgs *a)
{
    gLast = Received{};
    gLast.slot = Slot;
    for (char *t : a->text)
        gLast.texts.push_back(t ? t : "<null>");
    for (int i = 0; i < 3; ++i)
        gLast.flags[i] = a->flags[i];
    gLast.options = a->options;
    return gAnswer;
}

// Text information answers: SQL_CATALOG_NAME from gCatalogName.
int infoText(int, int, void *buf, int16_t size, int16_t *len)
{
    std::snprintf(static_cast<char *>(buf), static_cast<size_t>(size), "%s", gCatalogName);
    *len = static_cast<int16_t>(std::strlen(gCatalogName));
    return 0;
}

int recordTypeInfo(int, int16_t type)
{
    gLast = Received{};
    gLast.slot = 35;
    gLast.sqlType = type;
    return gAnswer;
}

class CatalogEntry : public ::testing::Test {
protected:
    void SetUp() override
    {
        gLast = Received{};
        gAnswer = 0;
        hstmt = session.NewStmt();
        s = StmtLookup(hstmt);
        ASSERT_NE(s, nullptr);
        table = *s->conn->binding.ops;
        table.DDColumnPrivileges = record<25>;
        table.DDColumns = record<26>;
        table.DDForeignKeys = record<27>;
        table.DDPrimaryKeys = record<28>;
        table.DDProcedureColumns = record<29>;
        table.DDProcedures = record<30>;
        table.DDSpecialColumns = record<31>;
        table.DDStatistics = record<32>;
        table.DDTablePrivileges = record<33>;
        table.DDTables = record<34>;
        table.DDGetTypeInfo = recordTypeInfo;
        table.GetInfo = infoText;
        saved = s->conn->binding.ops;
        s->conn->binding.ops = &table;
    }
    void TearDown() override
    {
        if (s)
            s->conn->binding.ops = saved;
    }

    std::string text(int i) const { return i < static_cast<int>(gLast.texts.size()) ? gLast.texts[i] : "?"; }

    FakeSession session;
    SQLHSTMT hstmt = nullptr;
    Stmt *s = nullptr;
    DrvOpTable table{};
    const DrvOpTable *saved = nullptr;
};

SQLCHAR *T(const char *t) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(t)); }

TEST(TypeList, Quote)
{
    struct Case {
        const char *in;
        const char *out;
    } cases[] = {
        {"TABLE, VIEW", "'TABLE','VIEW'"},
        {"'TABLE','SYSTEM TABLE'", "'TABLE','SYSTEM TABLE'"},
        {"table", "'table'"},
        {"%", "%"},
        {"%,TABLE", "%"},
        {"", ""},
        {"  A  ,\tB ", "'A','B'"},
        {"O'Brien", "'OBrien'"},
        {"A,,B", "'A','','B'"},
    };
    for (const Case &c : cases) {
        char *q = TypeListQuote(c.in);
        ASSERT_NE(q, nullptr) << c.in;
        EXPECT_STREQ(q, c.out) << c.in;
        free(q);
    }
    EXPECT_EQ(TypeListQuote(nullptr), nullptr);
    std::string many, want;
    for (int i = 0; i < 30; ++i) {
        many += (i ? "," : "") + std::string("T") + std::to_string(i);
        want += (i ? "," : "") + std::string("'T") + std::to_string(i) + "'";
    }
    char *q = TypeListQuote(many.c_str());
    EXPECT_EQ(std::string(q), want);
    free(q);
}

TEST(TypeList, FindItem)
{
    struct Case {
        const char *list, *item;
        int pos;
    } cases[] = {
        {"'TABLE','VIEW'", "'VIEW'", 2}, {"'TABLE','VIEW'", "'TABLE'", 1}, {"'TABLE', 'VIEW'", "'VIEW'", 2},
        {"'TABLES'", "'TABLE'", 0},      {"'table'", "'TABLE'", 0},        {"", "'TABLE'", 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(TypeListFindItem(c.list, c.item), c.pos) << c.list << " / " << c.item;
    EXPECT_EQ(TypeListFindItem(nullptr, "x"), 0);
    EXPECT_EQ(TypeListFindItem("x", nullptr), 0);
}

TEST_F(CatalogEntry, ColumnsWithOnlyATableName)
{
    ASSERT_EQ(SQLColumns(hstmt, nullptr, 0, nullptr, 0, T("t"), SQL_NTS, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(gLast.slot, 26);
    EXPECT_EQ(text(0), "");
    EXPECT_EQ(text(1), "%");
    EXPECT_EQ(text(2), "t");
    EXPECT_EQ(text(3), "%");
    EXPECT_EQ(s->state, STMT_EXECUTED);
    EXPECT_TRUE(s->flags & ST_CURSOR_OPEN);
}

TEST_F(CatalogEntry, QuotesAndLengths)
{
    // A quoted name loses its quotes; a length cuts the text.
    ASSERT_EQ(SQLTables(hstmt, nullptr, 0, T("'public'"), 8, T("abcdef"), 3, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(text(1), "public");
    EXPECT_EQ(text(2), "abc");
    EXPECT_EQ(text(3), "");
    // SQLTables reads a bad length as SQL_NTS; the others refuse it.
    ASSERT_EQ(SQLTables(hstmt, nullptr, 0, T("s"), -7, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(text(1), "s");
    gLast = Received{};
    EXPECT_EQ(SQLColumns(hstmt, nullptr, 0, T("s"), -7, nullptr, 0, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(gLast.slot, -1);
    EXPECT_EQ(DiagState(SQL_HANDLE_STMT, hstmt), "HY009");
}

TEST_F(CatalogEntry, RequiredTableNames)
{
    using Call = SQLRETURN (*)(SQLHSTMT);
    const Call calls[] = {
        [](SQLHSTMT h) { return SQLStatistics(h, nullptr, 0, nullptr, 0, nullptr, 0, 0, 0); },
        [](SQLHSTMT h) { return SQLPrimaryKeys(h, nullptr, 0, nullptr, 0, nullptr, 0); },
        [](SQLHSTMT h) { return SQLSpecialColumns(h, 1, nullptr, 0, nullptr, 0, nullptr, 0, 0, 1); },
        [](SQLHSTMT h) { return SQLColumnPrivileges(h, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); },
    };
    for (Call c : calls) {
        // An open result is closed even when the call is refused.
        ASSERT_EQ(SQLGetTypeInfo(hstmt, 0), SQL_SUCCESS);
        ASSERT_EQ(s->state, STMT_EXECUTED);
        gLast = Received{};
        EXPECT_EQ(c(hstmt), SQL_ERROR);
        EXPECT_EQ(gLast.slot, -1) << "nothing reaches the back end";
        EXPECT_EQ(DiagState(SQL_HANDLE_STMT, hstmt), "HY009");
        EXPECT_EQ(s->state, STMT_ALLOCATED);
    }
}

TEST_F(CatalogEntry, FlagsAndSlots)
{
    ASSERT_EQ(SQLStatistics(hstmt, nullptr, 0, T("s"), SQL_NTS, T("t"), SQL_NTS, SQL_INDEX_ALL, SQL_ENSURE),
              SQL_SUCCESS);
    EXPECT_EQ(gLast.slot, 32);
    EXPECT_EQ(gLast.flags[0], 1);
    EXPECT_EQ(gLast.flags[1], 1);
    ASSERT_EQ(SQLSpecialColumns(hstmt, SQL_ROWVER, nullptr, 0, nullptr, 0, T("t"), SQL_NTS, SQL_SCOPE_SESSION,
                                SQL_NULLABLE),
              SQL_SUCCESS);
    EXPECT_EQ(gLast.slot, 31);
    EXPECT_EQ(gLast.flags[0], 2);
    EXPECT_EQ(gLast.flags[1], 2);
    EXPECT_EQ(gLast.flags[2], 1);
    ASSERT_EQ(SQLForeignKeys(hstmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, T("s"), SQL_NTS, T("c"),
                             SQL_NTS),
              SQL_SUCCESS);
    EXPECT_EQ(gLast.slot, 27);
    EXPECT_EQ(gLast.texts, (std::vector<std::string>{"", "", "", "", "s", "c"}));
    ASSERT_EQ(SQLProcedures(hstmt, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(gLast.slot, 30);
    EXPECT_EQ(text(1), "%");
    EXPECT_EQ(text(2), "%");
    ASSERT_EQ(SQLProcedureColumns(hstmt, nullptr, 0, nullptr, 0, T("p"), SQL_NTS, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(gLast.slot, 29);
    EXPECT_EQ(text(3), "%");
    ASSERT_EQ(SQLTablePrivileges(hstmt, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(gLast.slot, 33);
    ASSERT_EQ(SQLColumnPrivileges(hstmt, nullptr, 0, nullptr, 0, T("t"), SQL_NTS, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(gLast.slot, 25);
    EXPECT_EQ(text(3), "%");
    ASSERT_EQ(SQLPrimaryKeys(hstmt, nullptr, 0, nullptr, 0, T("t"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(gLast.slot, 28);
    ASSERT_EQ(SQLGetTypeInfo(hstmt, SQL_TYPE_DATE), SQL_SUCCESS);
    EXPECT_EQ(gLast.slot, 35);
    EXPECT_EQ(gLast.sqlType, SQL_TYPE_DATE);
}

TEST_F(CatalogEntry, TypeListOnIncludeConnections)
{
    struct Case {
        uint16_t connFlags;
        const char *types;
        const char *sent;
    } cases[] = {
        {0, "TABLE", "'TABLE'"},
        {CN_INCLUDE_VIEWS, "TABLE", "'TABLE','VIEW'"},
        {CN_INCLUDE_VIEWS, "table", "'table'"},
        {CN_INCLUDE_VIEWS, "VIEW,TABLE", "'VIEW','TABLE'"},
        {0, "%", "%"},
        {0, "", ""},
        {CN_INCLUDE_ALL, "TABLE, VIEW", ""},
        {CN_INCLUDE_ALL | CN_INCLUDE_VIEWS, "TABLE", ""},
    };
    const uint16_t kept = s->conn->flags;
    for (const Case &c : cases) {
        s->conn->flags = static_cast<uint16_t>(kept | c.connFlags);
        ASSERT_EQ(SQLTables(hstmt, nullptr, 0, nullptr, 0, nullptr, 0, T(c.types), SQL_NTS), SQL_SUCCESS);
        EXPECT_EQ(text(3), c.sent) << c.types << " flags " << c.connFlags;
    }
    s->conn->flags = kept;
}

TEST_F(CatalogEntry, WideEntriesConvertTheirTexts)
{
    const SQLWCHAR schema[] = {u's', u'c', u'h', 0};
    const SQLWCHAR name[] = {u'T', 0x00E9, u'_', u'x', 0};
    ASSERT_EQ(SQLTablesW(hstmt, nullptr, 0, const_cast<SQLWCHAR *>(schema), SQL_NTS, const_cast<SQLWCHAR *>(name),
                         3, nullptr, 0),
              SQL_SUCCESS);
    EXPECT_EQ(text(2), "T\xC3\xA9_") << "three characters, UTF-8";
}

TEST_F(CatalogEntry, MetadataIdTakesNamesAsIdentifiers)
{
    // Without it, names are patterns and reach the back end as given.
    ASSERT_EQ(SQLColumns(hstmt, nullptr, 0, T("Sch"), SQL_NTS, T("A_b"), SQL_NTS, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(gLast.options, 0);
    EXPECT_EQ(text(2), "A_b");

    ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_METADATA_ID, reinterpret_cast<SQLPOINTER>(SQL_TRUE), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLColumns(hstmt, T(""), 0, T("  Sch "), SQL_NTS, T(" \"Mixed\"\"Q\" "), SQL_NTS, T("A_b%"), SQL_NTS),
              SQL_SUCCESS);
    EXPECT_EQ(gLast.options, CA_IDENTIFIERS) << "the back end escapes '_' and '%'";
    EXPECT_EQ(text(1), "sch") << "unquoted: folded as the server folds";
    EXPECT_EQ(text(2), "Mixed\"Q") << "quoted: its case kept, one quote for two";
    EXPECT_EQ(text(3), "a_b%");
    // The table-type list of SQLTables is no name.
    ASSERT_EQ(SQLTables(hstmt, T(""), 0, T("s"), SQL_NTS, T("T"), SQL_NTS, T("TABLE"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(text(2), "t");
    EXPECT_EQ(text(3), "'TABLE'");

    // A name ODBC requires under the attribute may not be NULL: HY009 and
    // nothing reaches the back end.
    using Call = SQLRETURN (*)(SQLHSTMT);
    const Call missing[] = {
        [](SQLHSTMT h) { return SQLTables(h, T(""), 0, nullptr, 0, T("t"), SQL_NTS, nullptr, 0); },
        [](SQLHSTMT h) { return SQLTables(h, T(""), 0, T("s"), SQL_NTS, nullptr, 0, nullptr, 0); },
        [](SQLHSTMT h) { return SQLColumns(h, T(""), 0, T("s"), SQL_NTS, T("t"), SQL_NTS, nullptr, 0); },
        [](SQLHSTMT h) { return SQLPrimaryKeys(h, T(""), 0, nullptr, 0, T("t"), SQL_NTS); },
        [](SQLHSTMT h) { return SQLProcedures(h, T(""), 0, T("s"), SQL_NTS, nullptr, 0); },
        [](SQLHSTMT h) {
            return SQLForeignKeys(h, T(""), 0, T("s"), SQL_NTS, T("t"), SQL_NTS, T(""), 0, nullptr, 0, T("c"),
                                  SQL_NTS);
        },
        // Catalogs are names too where the data source names catalogs.
        [](SQLHSTMT h) { return SQLStatistics(h, nullptr, 0, T("s"), SQL_NTS, T("t"), SQL_NTS, 0, 0); },
    };
    for (Call c : missing) {
        gLast = Received{};
        EXPECT_EQ(c(hstmt), SQL_ERROR);
        EXPECT_EQ(gLast.slot, -1);
        EXPECT_EQ(DiagState(SQL_HANDLE_STMT, hstmt), "HY009");
    }
    ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_METADATA_ID, reinterpret_cast<SQLPOINTER>(SQL_FALSE), 0), SQL_SUCCESS);
    for (Call c : missing)
        EXPECT_EQ(c(hstmt), SQL_SUCCESS) << "the same calls without the attribute";
}

TEST_F(CatalogEntry, MetadataIdWithoutCatalogs)
{
    gCatalogName = "N";
    ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_METADATA_ID, reinterpret_cast<SQLPOINTER>(SQL_TRUE), 0), SQL_SUCCESS);
    EXPECT_EQ(SQLStatistics(hstmt, nullptr, 0, T("s"), SQL_NTS, T("t"), SQL_NTS, 0, 0), SQL_SUCCESS);
    EXPECT_EQ(gLast.slot, 32);
    gCatalogName = "Y";
}

TEST_F(CatalogEntry, BackEndFailureQueuesItsMessages)
{
    gAnswer = 15;
    session.fake.pendingErrors = {"[Brennic Edition]no such schema[SQLSTATE:3F000]"};
    EXPECT_EQ(SQLTables(hstmt, nullptr, 0, T("x"), SQL_NTS, nullptr, 0, nullptr, 0), SQL_ERROR);
    std::string message;
    EXPECT_EQ(DiagState(SQL_HANDLE_STMT, hstmt, &message), "3F000");
    EXPECT_NE(message.find("no such schema"), std::string::npos);
    EXPECT_EQ(s->state, STMT_ALLOCATED);
    EXPECT_FALSE(s->flags & ST_CURSOR_OPEN);
    gAnswer = 21;
    EXPECT_EQ(SQLGetTypeInfo(hstmt, 0), SQL_ERROR);
}

} // namespace

// Diagnostic fields, driver information and connection and statement
// attributes, on a fake back end whose information items and option calls
// are scripted by the test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "odbc/connattr.h"
#include "odbc/contract/drv_items.h"
#include "odbc/contract/handle_table.h"
#include "odbc/handles.h"
#include "odbc/contract/krs_options.h"
#include "odbc/startup.h"
#include "tests/unit/odbc_test_support.h"

namespace {

// ---- a back end with scripted information items and options ----

struct ItemAnswer {
    int rc = 0;
    int32_t number = 0;
    std::string text;
};

struct Script {
    std::map<int, ItemAnswer> items;       // DRV_GetInfo answers by item code
    std::map<int, int> optionResults;      // DRV_SetOption answers by code
    std::map<int, int32_t> optionRewrite;  // value the back end stores instead
    std::vector<std::pair<int, int32_t>> sets;  // (code, value) sent
    std::map<int, int> asked;              // item code -> times asked
    int everyResult = 0;                   // DRV_SetOption's answer for a code not listed
    int32_t everyRewrite = -1;             // >= 0: every integer option is stored as this
    DrvOpTable table{};
};

Script *g_script = nullptr;

int S_GetInfo(int, int code, void *buf, int16_t len, int16_t *outLen)
{
    g_script->asked[code]++;
    auto it = g_script->items.find(code);
    if (it == g_script->items.end())
        return 1;
    const ItemAnswer &a = it->second;
    if (a.rc != 0)
        return a.rc;
    if ((code & 0x0F000000) == 0x01000000) {
        std::string t = a.text.substr(0, len > 0 ? static_cast<size_t>(len - 1) : 0);
        std::memcpy(buf, t.c_str(), t.size() + 1);
        if (outLen)
            *outLen = static_cast<int16_t>(t.size());
    } else {
        std::memcpy(buf, &a.number, 4);
        if (outLen)
            *outLen = 4;
    }
    return 0;
}

int S_SetOption(int, int code, void *value)
{
    int32_t v = (code & 0x0F000000) == 0x02000000 ? *static_cast<int32_t *>(value) : 0;
    g_script->sets.push_back({code, v});
    auto rw = g_script->optionRewrite.find(code);
    if (rw != g_script->optionRewrite.end() ||
        (g_script->everyRewrite >= 0 && (code & 0x0F000000) == 0x02000000)) {
        const int32_t stored = rw != g_script->optionRewrite.end() ? rw->second : g_script->everyRewrite;
        *static_cast<int32_t *>(value) = stored;
        g_script->items[code] = ItemAnswer{0, stored, ""};
        return ERR_OPTION_VALUE_CHANGED;
    }
    auto it = g_script->optionResults.find(code);
    int rc = it == g_script->optionResults.end() ? g_script->everyResult : it->second;
    if (rc == 0 && (code & 0x0F000000) == 0x02000000)
        g_script->items[code] = ItemAnswer{0, v, ""};
    return rc;
}

Conn *ConnOf(SQLHDBC h) { return static_cast<Conn *>(HT_Lookup(&ConnTable, HT_HandleIn(h))); }
Stmt *StmtOf(SQLHSTMT h) { return static_cast<Stmt *>(HT_Lookup(&StmtTable, HT_HandleIn(h))); }

// A fake session whose connection asks the script.
struct Session : FakeSession {
    Script script;
    explicit Session(bool connect = true, int odbcVersion = 3) : FakeSession(false)
    {
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(intptr_t{odbcVersion}), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        g_script = &script;
        script.table = *fake.Table();
        script.table.GetInfo = S_GetInfo;
        script.table.SetOption = S_SetOption;
        if (connect) {
            EXPECT_TRUE(FakeConnect(dbc, fake));
            ConnOf(dbc)->binding.ops = &script.table;
            ConnOf(dbc)->cn_stmtOptCap = 1;
        }
    }
    ~Session() { g_script = nullptr; }
};

std::string State(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec = 1)
{
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR msg[600] = {};
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetDiagRec(type, h, rec, state, &native, msg, sizeof msg, &len);
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO ? reinterpret_cast<char *>(state) : "";
}

SQLINTEGER DiagNumber(SQLSMALLINT type, SQLHANDLE h)
{
    SQLINTEGER n = -1;
    EXPECT_EQ(SQLGetDiagField(type, h, 0, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
    return n;
}

std::u16string U(const char *s)
{
    std::u16string out;
    for (; *s; ++s)
        out.push_back(static_cast<char16_t>(*s));
    return out;
}

// ============================ diagnostics ===================================

TEST(DiagField, NumberCountsWhatThereIsToReport)
{
    Session s;
    EXPECT_EQ(DiagNumber(SQL_HANDLE_DBC, s.dbc), 0) << "nothing to report";
    Conn *c = ConnOf(s.dbc);
    c->diag.errNum = ERR_CONNECTION_NOT_OPEN;
    EXPECT_EQ(DiagNumber(SQL_HANDLE_DBC, s.dbc), 1);
    ERR_Push(&c->diag, "one[SQLSTATE:42P01]", 7);
    ERR_Push(&c->diag, "two", 8);
    ERR_Push(&c->diag, "three", 9);
    EXPECT_EQ(DiagNumber(SQL_HANDLE_DBC, s.dbc), 3) << "the number is never a record of its own";

    SQLCHAR text[64] = {};
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, s.dbc, 3, SQL_DIAG_MESSAGE_TEXT, text, sizeof text, &len),
              SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "[Kestrune][ODBC]three");
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, s.dbc, 4, SQL_DIAG_MESSAGE_TEXT, text, sizeof text, &len),
              SQL_NO_DATA);
    SQLINTEGER native = 0;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, s.dbc, 1, SQL_DIAG_NATIVE, &native, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(native, 7);
    SQLCHAR state[6] = {};
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, s.dbc, 1, SQL_DIAG_SQLSTATE, state, sizeof state, &len),
              SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(state), "42P01");
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, s.dbc, -1, SQL_DIAG_SQLSTATE, state, sizeof state, &len),
              SQL_ERROR);
}

TEST(DiagField, RecordFieldsOfADriverError)
{
    Session s;
    Conn *c = ConnOf(s.dbc);
    struct Case {
        int number;
        const char *state;
        const char *origin;
    } cases[] = {{52, "08003", "ISO 9075"}, {2, "IM002", "ODBC 3.0"}, {59, "22018", "ISO 9075"}};
    for (const Case &k : cases) {
        c->diag.errNum = k.number;
        SQLCHAR buf[128] = {};
        SQLSMALLINT len = 0;
        EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, s.dbc, 1, SQL_DIAG_SQLSTATE, buf, sizeof buf, &len),
                  SQL_SUCCESS);
        EXPECT_STREQ(reinterpret_cast<char *>(buf), k.state) << k.number;
        for (SQLSMALLINT id : {SQL_DIAG_CLASS_ORIGIN, SQL_DIAG_SUBCLASS_ORIGIN}) {
            EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, s.dbc, 1, id, buf, sizeof buf, &len), SQL_SUCCESS);
            EXPECT_STREQ(reinterpret_cast<char *>(buf), k.origin) << k.number;
        }
    }
    c->diag.errNum = ERR_CONNECTION_NOT_OPEN;
    SQLCHAR buf[128] = {};
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, s.dbc, 1, SQL_DIAG_MESSAGE_TEXT, buf, sizeof buf, &len),
              SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(buf), "[Kestrune][ODBC][Driver]Connection not open");
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(std::strlen(reinterpret_cast<char *>(buf))));
    // An unknown record field writes nothing and succeeds; a statement field
    // of a connection is refused; neither touches the diagnostics.
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, s.dbc, 1, 999, buf, sizeof buf, &len), SQL_SUCCESS);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, s.dbc, 1, SQL_DIAG_ROW_NUMBER, buf, sizeof buf, &len),
              SQL_ERROR);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, s.dbc, 0, SQL_DIAG_DYNAMIC_FUNCTION, buf, sizeof buf, &len),
              SQL_ERROR);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, s.dbc, 0, 999, buf, sizeof buf, &len), SQL_ERROR);
    EXPECT_EQ(c->diag.errNum, ERR_CONNECTION_NOT_OPEN);
}

TEST(DiagField, LongMessagesAreWholeAndCutOnesSayItWithTheirLength)
{
    Session s;
    Conn *c = ConnOf(s.dbc);
    std::string body(600, 'x');
    ERR_Push(&c->diag, (body + "[SQLSTATE:23505]").c_str(), 0);
    std::vector<SQLCHAR> big(1024);
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, s.dbc, 1, SQL_DIAG_MESSAGE_TEXT, big.data(),
                              static_cast<SQLSMALLINT>(big.size()), &len),
              SQL_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(big.data())), "[Kestrune][ODBC]" + body);
    SQLCHAR small[10] = {};
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, s.dbc, 1, SQL_DIAG_MESSAGE_TEXT, small, sizeof small, &len),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(reinterpret_cast<char *>(small), "[Kestrune");
    EXPECT_EQ(len, 616);
    // The wide form counts bytes.
    SQLWCHAR wide[8] = {};
    EXPECT_EQ(SQLGetDiagFieldW(SQL_HANDLE_DBC, s.dbc, 1, SQL_DIAG_MESSAGE_TEXT, wide, sizeof wide, &len),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, 2 * 616);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(wide)), U("[Kestru"));
    SQLWCHAR state[6] = {};
    EXPECT_EQ(SQLGetDiagFieldW(SQL_HANDLE_DBC, s.dbc, 1, SQL_DIAG_SQLSTATE, state, sizeof state, &len),
              SQL_SUCCESS);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(state)), U("23505"));
    EXPECT_EQ(len, 10);
}

TEST(DiagField, StatementFieldsAndARowCountThatLeavesTheDiagnostics)
{
    Session s;
    SQLHSTMT h = s.NewStmt();
    Stmt *st = StmtOf(h);
    st->diag.errNum = ERR_GENERAL;
    st->selectFlag = 1;
    SQLCHAR fn[32] = {};
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, h, 0, SQL_DIAG_DYNAMIC_FUNCTION, fn, sizeof fn, &len),
              SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(fn), "SELECT CURSOR");
    SQLINTEGER code = 0;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, h, 0, SQL_DIAG_DYNAMIC_FUNCTION_CODE, &code, 0, nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(code, SQL_DIAG_SELECT_CURSOR);

    SQLLEN rows = 0;
    s.script.items[DrvInt(DRV_STMT_ROW_COUNT)] = ItemAnswer{0, 3, ""};
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, h, 0, SQL_DIAG_ROW_COUNT, &rows, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(rows, 3);
    s.script.items[DrvInt(DRV_STMT_ROW_COUNT)] = ItemAnswer{54, 0, ""};
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, h, 0, SQL_DIAG_ROW_COUNT, &rows, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(st->diag.errNum, ERR_GENERAL) << "reading the row count does not change the diagnostics";
    EXPECT_EQ(State(SQL_HANDLE_STMT, h), "HY000");

    SQLLEN row = 0;
    SQLINTEGER col = 0;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, h, 1, SQL_DIAG_ROW_NUMBER, &row, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(row, SQL_ROW_NUMBER_UNKNOWN);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, h, 1, SQL_DIAG_COLUMN_NUMBER, &col, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(col, SQL_COLUMN_NUMBER_UNKNOWN);
}

TEST(DiagField, SourceNamesOfEveryHandleKindAndTheReturnCode)
{
    Session s;
    Conn *c = ConnOf(s.dbc);
    std::free(c->dsn);
    c->dsn = strdup("krs_source");
    SQLHSTMT h = s.NewStmt();
    SQLHDESC explicitDesc = nullptr, implicitArd = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, s.dbc, &explicitDesc), SQL_SUCCESS);
    ASSERT_EQ(SQLGetStmtAttr(h, SQL_ATTR_APP_ROW_DESC, &implicitArd, 0, nullptr), SQL_SUCCESS);
    struct Case {
        SQLSMALLINT type;
        SQLHANDLE handle;
        const char *name;
    } cases[] = {{SQL_HANDLE_ENV, s.env, ""},
                 {SQL_HANDLE_DBC, s.dbc, "krs_source"},
                 {SQL_HANDLE_STMT, h, "krs_source"},
                 {SQL_HANDLE_DESC, explicitDesc, "krs_source"},
                 {SQL_HANDLE_DESC, implicitArd, "krs_source"}};
    for (const Case &k : cases) {
        HandleTable *tables[] = {&EnvTable, &ConnTable, &StmtTable, &DescTable};
        void *object = HT_Lookup(tables[k.type - SQL_HANDLE_ENV], HT_HandleIn(k.handle));
        HandleHead *head = object ? HeadOf(object, k.type + 1) : nullptr;
        ASSERT_NE(head, nullptr) << k.type;
        head->diag.errNum = ERR_GENERAL;
        for (SQLSMALLINT id : {SQL_DIAG_CONNECTION_NAME, SQL_DIAG_SERVER_NAME}) {
            SQLCHAR name[32] = {'x'};
            SQLSMALLINT len = -1;
            EXPECT_EQ(SQLGetDiagField(k.type, k.handle, 1, id, name, sizeof name, &len), SQL_SUCCESS)
                << k.type << " " << id;
            EXPECT_STREQ(reinterpret_cast<char *>(name), k.name) << k.type << " " << id;
            EXPECT_EQ(len, static_cast<SQLSMALLINT>(std::strlen(k.name)));
        }
        // The return code field writes nothing.
        SQLSMALLINT code = 77;
        EXPECT_EQ(SQLGetDiagField(k.type, k.handle, 0, SQL_DIAG_RETURNCODE, &code, 0, nullptr), SQL_SUCCESS);
        EXPECT_EQ(code, 77);
        head->diag.errNum = ERR_NONE;
    }
    // Wide: the length in bytes.
    c->diag.errNum = ERR_GENERAL;
    SQLWCHAR wide[32] = {};
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetDiagFieldW(SQL_HANDLE_DBC, s.dbc, 1, SQL_DIAG_CONNECTION_NAME, wide, sizeof wide, &len),
              SQL_SUCCESS);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(wide)), U("krs_source"));
    EXPECT_EQ(len, 20);
}

TEST(DiagRecW, LengthsCountTheCharactersOfTheWholeMessage)
{
    Session s;
    Conn *c = ConnOf(s.dbc);
    // 40 characters, of which the last 20 take two bytes each in UTF-8.
    std::string body = std::string(4, 'a');
    for (int i = 0; i < 20; ++i)
        body += "\xC3\xA9";  // e-acute
    ERR_Push(&c->diag, body.c_str(), 0);
    const SQLSMALLINT whole = static_cast<SQLSMALLINT>(16 + 24);
    SQLWCHAR msg[10] = {};
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetDiagRecW(SQL_HANDLE_DBC, s.dbc, 1, state, &native, msg, 10, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, whole);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(msg)), U("[Kestrune"));
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(state)), U("HY000"));
    // No message buffer: the length alone, still in characters.
    EXPECT_EQ(SQLGetDiagRecW(SQL_HANDLE_DBC, s.dbc, 1, state, &native, nullptr, 0, &len), SQL_SUCCESS);
    EXPECT_EQ(len, whole);
    // SQLErrorW counts the same way, and takes the record.
    EXPECT_EQ(SQLErrorW(nullptr, s.dbc, nullptr, state, &native, msg, 10, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, whole);
    EXPECT_EQ(SQLErrorW(nullptr, s.dbc, nullptr, state, &native, msg, 10, &len), SQL_NO_DATA);
}

// A negative buffer length for a text: HY090 where the function posts (the
// information and attribute readers), SQL_ERROR with the diagnostics kept
// where it reads them; nothing is written.
TEST(TextOutputs, NegativeBufferLengthsAreRefused)
{
    Session s;
    s.script.items[DrvText(DRV_CONN_CURRENT_CATALOG)] = ItemAnswer{0, 0, "catalog"};
    char buf[16] = "keep";
    SQLSMALLINT len16 = 99;
    SQLINTEGER len32 = 99;
    EXPECT_EQ(SQLGetInfo(s.dbc, SQL_DRIVER_ODBC_VER, buf, -1, &len16), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, s.dbc), "HY090");
    EXPECT_EQ(SQLGetInfoW(s.dbc, SQL_DRIVER_ODBC_VER, buf, -2, &len16), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, s.dbc), "HY090");
    EXPECT_EQ(SQLGetConnectAttr(s.dbc, SQL_ATTR_CURRENT_CATALOG, buf, -1, &len32), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, s.dbc), "HY090");
    EXPECT_STREQ(buf, "keep");
    EXPECT_EQ(len16, 99);
    EXPECT_EQ(len32, 99);
    // A number ignores the length.
    SQLUSMALLINT n = 0;
    EXPECT_EQ(SQLGetInfo(s.dbc, SQL_ODBC_API_CONFORMANCE, &n, -1, &len16), SQL_SUCCESS);

    Conn *c = ConnOf(s.dbc);
    ERR_Push(&c->diag, "gone[SQLSTATE:08S01]", 0);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, s.dbc, 1, SQL_DIAG_MESSAGE_TEXT, buf, -1, &len16), SQL_ERROR);
    EXPECT_EQ(SQLGetDiagFieldW(SQL_HANDLE_DBC, s.dbc, 1, SQL_DIAG_SQLSTATE, buf, -2, &len16), SQL_ERROR);
    EXPECT_STREQ(buf, "keep");
    SQLWCHAR state[6] = {};
    SQLWCHAR msg[32] = {};
    SQLINTEGER native = 0;
    EXPECT_EQ(SQLErrorW(nullptr, s.dbc, nullptr, state, &native, msg, -1, &len16), SQL_ERROR);
    EXPECT_EQ(SQLErrorW(nullptr, s.dbc, nullptr, state, &native, msg, 32, &len16), SQL_SUCCESS)
        << "the record is still there";
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(state)), U("08S01"));
}

// ============================ information ===================================

SQLRETURN InfoText(SQLHDBC dbc, SQLUSMALLINT type, std::string *out, SQLSMALLINT size = 256)
{
    std::vector<char> buf(static_cast<size_t>(size > 0 ? size : 1));
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetInfo(dbc, type, buf.data(), size, &len);
    *out = buf.data();
    return rc;
}

TEST(GetInfo, AnsweredInAnyState)
{
    Session s(false);
    std::string text;
    EXPECT_EQ(InfoText(s.dbc, SQL_DRIVER_ODBC_VER, &text), SQL_SUCCESS);
    EXPECT_EQ(text, "03.50");
    EXPECT_EQ(InfoText(s.dbc, SQL_DATA_SOURCE_NAME, &text), SQL_SUCCESS);
    EXPECT_EQ(text, "");
    SQLUSMALLINT conformance = 0;
    EXPECT_EQ(SQLGetInfo(s.dbc, SQL_ODBC_API_CONFORMANCE, &conformance, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(conformance, SQL_OAC_LEVEL1);
    EXPECT_EQ(InfoText(s.dbc, SQL_DBMS_NAME, &text), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, s.dbc), "08003");

    // The wide form: lengths in bytes, a cut text is 01004.
    SQLWCHAR w[3] = {};
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetInfoW(s.dbc, SQL_DRIVER_ODBC_VER, w, 6, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(w)), U("03"));
    EXPECT_EQ(len, 10);
    EXPECT_EQ(State(SQL_HANDLE_DBC, s.dbc), "01004");
}

TEST(GetInfo, ConversionMasks)
{
    Session s;
    SQLUINTEGER mask = 0;
    EXPECT_EQ(SQLGetInfo(s.dbc, SQL_CONVERT_INTEGER, &mask, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(mask, 0x73FFu);
    EXPECT_EQ(SQLGetInfoW(s.dbc, SQL_CONVERT_INTEGER, &mask, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(mask, 0xE073FFu);
    EXPECT_TRUE(s.script.asked.empty()) << "answered without the back end";

    // Without a conversion table the date-time and binary masks are 0.
    EXPECT_EQ(SQLGetInfo(s.dbc, SQL_CONVERT_DATE, &mask, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(mask, 0u);
    static const DrvConvRow rows[] = {{1, 0, 0x2A31FE}, {9, 0, 0x282200}, {10, 0, 0x282400},
                                      {11, 0, 0x282800}, {-2, 0, 0x2A3000}};
    Conn *c = ConnOf(s.dbc);
    c->convTable = DrvConvTable{1, 5, rows};
    struct Case {
        SQLUSMALLINT type;
        SQLUINTEGER narrow;
    } cases[] = {{SQL_CONVERT_DATE, 0x28301}, {SQL_CONVERT_TIME, 0x30301}, {SQL_CONVERT_TIMESTAMP, 0x38301},
                 {SQL_CONVERT_BINARY, 0x40F01}, {SQL_CONVERT_LONGVARBINARY, 0x40F01}};
    for (const Case &k : cases) {
        // An ODBC 3 application looks the ODBC 3 codes up; a table with the
        // ODBC 2 codes still answers.
        EXPECT_EQ(SQLGetInfo(s.dbc, k.type, &mask, 0, nullptr), SQL_SUCCESS);
        EXPECT_EQ(mask, k.narrow) << k.type;
        EXPECT_EQ(SQLGetInfoW(s.dbc, k.type, &mask, 0, nullptr), SQL_SUCCESS);
        EXPECT_EQ(mask, k.narrow | 0xE00000u) << k.type;
    }
    c->convTable = DrvConvTable{};
}

TEST(GetInfo, BackEndAnswersAreCachedPerConnection)
{
    Session s;
    s.script.items[DrvText(DrvConnInfo(SQL_KEYWORDS))] = ItemAnswer{0, 0, "ILIKE,LIMIT"};
    s.script.items[DrvText(DrvConnInfo(SQL_DATABASE_NAME))] = ItemAnswer{0, 0, ""};
    s.script.items[DrvInt(DrvConnInfo(SQL_MAX_COLUMN_NAME_LEN))] = ItemAnswer{0, 63, ""};
    s.script.items[DrvInt(DrvConnInfo(SQL_OJ_CAPABILITIES))] = ItemAnswer{0, 0x3F, ""};
    std::string text;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(InfoText(s.dbc, SQL_KEYWORDS, &text), SQL_SUCCESS);
        EXPECT_EQ(text, "ILIKE,LIMIT");
        EXPECT_EQ(InfoText(s.dbc, SQL_DATABASE_NAME, &text), SQL_SUCCESS);
        SQLUSMALLINT n = 0;
        EXPECT_EQ(SQLGetInfo(s.dbc, SQL_MAX_COLUMN_NAME_LEN, &n, 0, nullptr), SQL_SUCCESS);
        EXPECT_EQ(n, 63);
    }
    EXPECT_EQ(s.script.asked[DrvText(DrvConnInfo(SQL_KEYWORDS))], 1);
    EXPECT_EQ(s.script.asked[DrvInt(DrvConnInfo(SQL_MAX_COLUMN_NAME_LEN))], 1);
    EXPECT_EQ(s.script.asked[DrvText(DrvConnInfo(SQL_DATABASE_NAME))], 2) << "never cached";
    // The ODBC 2 number of SQL_OJ_CAPABILITIES shares the slot.
    SQLUINTEGER oj = 0;
    EXPECT_EQ(SQLGetInfo(s.dbc, SQL_OJ_CAPABILITIES, &oj, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(SQLGetInfo(s.dbc, 65003, &oj, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(oj, 0x3Fu);
    EXPECT_EQ(s.script.asked[DrvInt(DrvConnInfo(SQL_OJ_CAPABILITIES))], 1);

    // A text cut to the buffer is still kept whole.
    EXPECT_EQ(SQLGetInfo(s.dbc, SQL_KEYWORDS, nullptr, 0, nullptr), SQL_SUCCESS);
    // Disconnecting empties the cache.
    ASSERT_EQ(SQLDisconnect(s.dbc), SQL_SUCCESS);
    ASSERT_TRUE(FakeConnect(s.dbc, s.fake));
    ConnOf(s.dbc)->binding.ops = &s.script.table;
    EXPECT_EQ(InfoText(s.dbc, SQL_KEYWORDS, &text), SQL_SUCCESS);
    EXPECT_EQ(s.script.asked[DrvText(DrvConnInfo(SQL_KEYWORDS))], 2);
}

TEST(GetInfo, WidthsFailuresAndUnknownTypes)
{
    Session s;
    s.script.items[DrvInt(DrvConnInfo(SQL_DRIVER_HDBC))] = ItemAnswer{0, 0, ""};
    s.script.items[DrvInt(DrvConnInfo(SQL_MAX_ASYNC_CONCURRENT_STATEMENTS))] = ItemAnswer{0, 0, ""};
    s.script.items[DrvInt(DrvConnInfo(SQL_DEFAULT_TXN_ISOLATION))] = ItemAnswer{0, 2, ""};
    // Pointer-sized and 32-bit types fill their whole width.
    SQLULEN handle = ~SQLULEN{0};
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetInfo(s.dbc, SQL_DRIVER_HDBC, &handle, sizeof handle, &len), SQL_SUCCESS);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(len, 8);
    SQLUINTEGER n = ~0u;
    EXPECT_EQ(SQLGetInfo(s.dbc, SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, &n, sizeof n, &len), SQL_SUCCESS);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(len, 4);
    SQLUINTEGER iso = 0;
    EXPECT_EQ(SQLGetInfo(s.dbc, SQL_DEFAULT_TXN_ISOLATION, &iso, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(iso, 2u);

    std::string text;
    EXPECT_EQ(InfoText(s.dbc, SQL_DM_VER, &text), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, s.dbc), "HY096");
    EXPECT_EQ(InfoText(s.dbc, 4242, &text), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, s.dbc), "HY096");
    s.script.items[DrvText(DrvConnInfo(SQL_DBMS_VER))] = ItemAnswer{54, 0, ""};
    s.fake.pendingErrors = {"[Brennic Edition]I/O error[SQLSTATE:08006]"};
    EXPECT_EQ(InfoText(s.dbc, SQL_DBMS_VER, &text), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, s.dbc), "08006");
    s.script.items[DrvText(DrvConnInfo(SQL_DBMS_VER))] = ItemAnswer{0, 0, "15.4"};
    EXPECT_EQ(InfoText(s.dbc, SQL_DBMS_VER, &text), SQL_SUCCESS) << "a failure is not cached";
    EXPECT_EQ(text, "15.4");
}

TEST(GetFunctions, MatchesTheExports)
{
    Session s;
    SQLUSMALLINT exists = 9;
    struct Case {
        SQLUSMALLINT id;
        SQLUSMALLINT want;
    } cases[] = {{SQL_API_SQLBROWSECONNECT, 0}, {SQL_API_SQLFETCHSCROLL, 1}, {SQL_API_SQLGETINFO, 1},
                 {SQL_API_SQLGETDIAGFIELD, 1}, {SQL_API_SQLBINDPARAM, 0}, {4000, 0}};
    for (const Case &k : cases) {
        EXPECT_EQ(SQLGetFunctions(s.dbc, k.id, &exists), SQL_SUCCESS);
        EXPECT_EQ(exists, k.want) << k.id;
    }
    SQLUSMALLINT all[100] = {};
    EXPECT_EQ(SQLGetFunctions(s.dbc, SQL_API_ALL_FUNCTIONS, all), SQL_SUCCESS);
    EXPECT_EQ(all[SQL_API_SQLBULKOPERATIONS], 1);
    EXPECT_EQ(all[SQL_API_SQLDRIVERS], 0);
}

// ======================== connection attributes =============================

SQLUINTEGER GetUInt(SQLHDBC dbc, SQLINTEGER attr)
{
    SQLUINTEGER v = 0xDEADBEEF;
    EXPECT_EQ(SQLGetConnectAttr(dbc, attr, &v, 0, nullptr), SQL_SUCCESS) << attr;
    return v;
}

TEST(ConnectAttr, AutocommitBeforeConnectingIsKeptAndApplied)
{
    Session s(false);
    ASSERT_EQ(SQLSetConnectAttr(s.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_SUCCESS);
    EXPECT_EQ(GetUInt(s.dbc, SQL_ATTR_AUTOCOMMIT), SQL_AUTOCOMMIT_OFF);
    EXPECT_TRUE(s.script.sets.empty());
    ASSERT_TRUE(FakeConnect(s.dbc, s.fake));
    Conn *c = ConnOf(s.dbc);
    c->binding.ops = &s.script.table;
    c->flags |= CN_AUTOCOMMIT;  // what the back end declares at connect
    EXPECT_EQ(ConnApplyPendingAttrs(c), SQL_SUCCESS);
    ASSERT_EQ(s.script.sets.size(), 1u);
    EXPECT_EQ(s.script.sets[0], std::make_pair(DrvInt(DRV_CONN_AUTOCOMMIT), 0));
    EXPECT_EQ(GetUInt(s.dbc, SQL_ATTR_AUTOCOMMIT), SQL_AUTOCOMMIT_OFF);

    // Connected: straight to the back end.
    s.script.sets.clear();
    ASSERT_EQ(SQLSetConnectAttr(s.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0),
              SQL_SUCCESS);
    EXPECT_EQ(s.script.sets.at(0), std::make_pair(DrvInt(DRV_CONN_AUTOCOMMIT), 1));
    EXPECT_EQ(GetUInt(s.dbc, SQL_ATTR_AUTOCOMMIT), SQL_AUTOCOMMIT_ON);
    // A refusal keeps the old setting and reports the back end's text.
    s.script.optionResults[DrvInt(DRV_CONN_AUTOCOMMIT)] = 54;
    s.fake.pendingErrors = {"[Brennic Edition]gone[SQLSTATE:08006]"};
    EXPECT_EQ(SQLSetConnectAttr(s.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, s.dbc), "08006");
    EXPECT_EQ(GetUInt(s.dbc, SQL_ATTR_AUTOCOMMIT), SQL_AUTOCOMMIT_ON);
}

TEST(ConnectAttr, AccessModeIsolationAndBadValues)
{
    Session s;
    EXPECT_EQ(SQLSetConnectAttr(s.dbc, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(2), 0), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, s.dbc), "HY024");
    EXPECT_TRUE(s.script.sets.empty()) << "never a silent switch";
    EXPECT_EQ(GetUInt(s.dbc, SQL_ATTR_ACCESS_MODE), SQL_MODE_READ_WRITE);
    EXPECT_EQ(SQLSetConnectAttr(s.dbc, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0),
              SQL_SUCCESS);
    EXPECT_EQ(s.script.sets.at(0), std::make_pair(DrvInt(DRV_CONN_ACCESS_MODE), 1));
    EXPECT_EQ(GetUInt(s.dbc, SQL_ATTR_ACCESS_MODE), SQL_MODE_READ_ONLY);

    EXPECT_EQ(SQLSetConnectAttr(s.dbc, SQL_ATTR_TXN_ISOLATION,
                                reinterpret_cast<SQLPOINTER>(SQL_TXN_SERIALIZABLE), 0),
              SQL_SUCCESS);
    EXPECT_EQ(s.script.sets.at(1),
              std::make_pair(DrvInt(DRV_CONN_ISOLATION), static_cast<int32_t>(SQL_TXN_SERIALIZABLE)));
    EXPECT_EQ(GetUInt(s.dbc, SQL_ATTR_TXN_ISOLATION), static_cast<SQLUINTEGER>(SQL_TXN_SERIALIZABLE));

    struct Case {
        SQLINTEGER attr;
        const char *state;
    } refused[] = {{SQL_ATTR_QUERY_TIMEOUT, "IM001"}, {SQL_ATTR_METADATA_ID, "HY024"},
                   {SQL_ATTR_CONNECTION_TIMEOUT, "IM001"}, {SQL_ROWSET_SIZE, "HY092"},
                   {1201, "HY092"}, {4242, "HY092"}};
    for (const Case &k : refused) {
        EXPECT_EQ(SQLSetConnectAttr(s.dbc, k.attr, reinterpret_cast<SQLPOINTER>(2), 0), SQL_ERROR) << k.attr;
        EXPECT_EQ(State(SQL_HANDLE_DBC, s.dbc), k.state) << k.attr;
    }
    SQLUINTEGER v = 0;
    EXPECT_EQ(SQLGetConnectAttr(s.dbc, 4242, &v, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, s.dbc), "HY092");
    EXPECT_EQ(GetUInt(s.dbc, SQL_ATTR_PACKET_SIZE), 4096u);
    // The application name only before connecting.
    EXPECT_EQ(SQLSetConnectAttr(s.dbc, KRS_CONN_APPLICATION_NAME, const_cast<char *>("app"), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, s.dbc), "HY010");
}

TEST(ConnectAttr, TextsAndSqlulenWidths)
{
    Session s;
    SQLCHAR name[32] = {};
    EXPECT_EQ(SQLGetConnectOption(s.dbc, SQL_TRANSLATE_DLL, name), SQL_NO_DATA);
    s.script.items[DrvText(DRV_CONN_CURRENT_CATALOG)] = ItemAnswer{0, 0, "catalog"};
    SQLWCHAR w[5] = {};
    SQLINTEGER len = 0;
    EXPECT_EQ(SQLGetConnectAttrW(s.dbc, SQL_ATTR_CURRENT_CATALOG, w, 10, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(w)), U("cata"));
    EXPECT_EQ(len, 14);
    char narrow[16] = {};
    EXPECT_EQ(SQLGetConnectAttr(s.dbc, SQL_ATTR_CURRENT_CATALOG, narrow, sizeof narrow, &len), SQL_SUCCESS);
    EXPECT_STREQ(narrow, "catalog");
    EXPECT_EQ(len, 7);

    // SQLULEN attributes come back clean in 0xFF-filled buffers.
    for (SQLINTEGER attr : {SQL_ATTR_ASYNC_ENABLE, SQL_ATTR_QUIET_MODE, SQL_ATTR_ODBC_CURSORS}) {
        SQLULEN v;
        std::memset(&v, 0xFF, sizeof v);
        EXPECT_EQ(SQLGetConnectAttr(s.dbc, attr, &v, 0, nullptr), SQL_SUCCESS) << attr;
        EXPECT_LT(v, 0x100000000u) << attr;
    }
}

TEST(ConnectAttr, ConnectionDeadAsksTheBackEnd)
{
    Session s;
    s.script.items[DrvInt(DRV_CONN_DEAD)] = ItemAnswer{0, 0, ""};
    EXPECT_EQ(GetUInt(s.dbc, SQL_ATTR_CONNECTION_DEAD), SQL_CD_FALSE);
    s.script.items[DrvInt(DRV_CONN_DEAD)] = ItemAnswer{0, 1, ""};
    EXPECT_EQ(GetUInt(s.dbc, SQL_ATTR_CONNECTION_DEAD), SQL_CD_TRUE);
}

TEST(ConnectAttr, AnUnopenedConnectionIsNotDead)
{
    Session idle(false);
    EXPECT_EQ(GetUInt(idle.dbc, SQL_ATTR_CONNECTION_DEAD), SQL_CD_FALSE);
}

TEST(ConnectAttr, EnlistmentWithoutACoordinatorSaysSo)
{
    Session s;
    ConnOf(s.dbc)->cn_xaCap = 1;
    EXPECT_EQ(SQLSetConnectAttr(s.dbc, SQL_ATTR_ENLIST_IN_DTC, reinterpret_cast<SQLPOINTER>(0x1234), 0),
              SQL_ERROR);
    std::string message;
    EXPECT_EQ(DiagState(SQL_HANDLE_DBC, s.dbc, &message), "IM932");
    EXPECT_NE(message.find("no transaction coordinator"), std::string::npos) << message;
    EXPECT_EQ(SQLSetConnectAttr(s.dbc, SQL_ATTR_ENLIST_IN_DTC, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, s.dbc), "25000");
}

TEST(ConnectOption, Odbc2StatementDefaultsReachEveryStatement)
{
    Session s(true, 2);
    SQLHSTMT a = s.NewStmt(), b = s.NewStmt();
    ASSERT_EQ(SQLSetConnectOption(s.dbc, SQL_ROWSET_SIZE, 10), SQL_SUCCESS);
    EXPECT_EQ(StmtOf(a)->cursor.rowsetSize, 10);
    EXPECT_EQ(StmtOf(b)->cursor.rowsetSize, 10);
    SQLHSTMT c = s.NewStmt();
    EXPECT_EQ(StmtOf(c)->cursor.rowsetSize, 10) << "a new statement starts with the default";
    int rowsetSends = 0;
    for (const auto &p : s.script.sets)
        rowsetSends += p == std::make_pair(DrvInt(DrvStmtOption(SQL_ROWSET_SIZE)), 10);
    EXPECT_EQ(rowsetSends, 3) << "the back end of the new statement has it too";

    // A statement that refuses is reported on the connection; the others
    // still get the value.
    s.script.optionResults[DrvInt(DrvStmtOption(SQL_CURSOR_TYPE))] = 43;
    EXPECT_EQ(SQLSetConnectOption(s.dbc, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, s.dbc), "S1092");
    int sent = 0;
    for (const auto &p : s.script.sets)
        sent += p.first == DrvInt(DrvStmtOption(SQL_CURSOR_TYPE));
    EXPECT_EQ(sent, 3);

    // Values beyond 32 bits are held at the largest in the default as in the
    // statements, never wrapped into a small one; a negative timeout is 0.
    const SQLULEN beyond = (SQLULEN{1} << 32) + 5;
    ASSERT_EQ(SQLSetConnectOption(s.dbc, SQL_ROWSET_SIZE, beyond), SQL_SUCCESS);
    EXPECT_EQ(StmtOf(a)->cursor.rowsetSize, INT32_MAX);
    EXPECT_EQ(StmtOf(s.NewStmt())->cursor.rowsetSize, INT32_MAX);
    ASSERT_EQ(SQLSetConnectOption(s.dbc, SQL_QUERY_TIMEOUT, static_cast<SQLULEN>(-5)), SQL_SUCCESS);
    EXPECT_EQ(StmtOf(a)->queryTimeout, 0u);
    EXPECT_EQ(StmtOf(s.NewStmt())->queryTimeout, 0u);
}

TEST(ConnectOption, Odbc3HasNoStatementDefaults)
{
    Session s3;
    EXPECT_EQ(SQLSetConnectOption(s3.dbc, SQL_ROWSET_SIZE, 10), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_DBC, s3.dbc), "IM001");
}

// ========================= statement attributes =============================

SQLULEN GetStmtUlen(SQLHSTMT h, SQLINTEGER attr)
{
    SQLULEN v;
    std::memset(&v, 0xFF, sizeof v);
    EXPECT_EQ(SQLGetStmtAttr(h, attr, &v, 0, nullptr), SQL_SUCCESS) << attr;
    return v;
}

TEST(StmtAttr, NegotiatedOptions)
{
    Session s;
    SQLHSTMT h = s.NewStmt();
    // A negative timeout goes as 0.
    EXPECT_EQ(SQLSetStmtAttr(h, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(-5), 0), SQL_SUCCESS);
    EXPECT_EQ(s.script.sets.back(), std::make_pair(DrvInt(DrvStmtOption(SQL_QUERY_TIMEOUT)), 0));
    EXPECT_EQ(GetStmtUlen(h, SQL_ATTR_QUERY_TIMEOUT), 0u);

    // MAX_LENGTH below 8192 is raised, and frozen once executed.
    EXPECT_EQ(SQLSetStmtAttr(h, SQL_ATTR_MAX_LENGTH, reinterpret_cast<SQLPOINTER>(100), 0),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(State(SQL_HANDLE_STMT, h), "01S02");
    EXPECT_EQ(GetStmtUlen(h, SQL_ATTR_MAX_LENGTH), 8192u);
    EXPECT_EQ(SQLSetStmtAttr(h, SQL_ATTR_MAX_LENGTH, reinterpret_cast<SQLPOINTER>(10000), 0), SQL_SUCCESS);
    EXPECT_EQ(GetStmtUlen(h, SQL_ATTR_MAX_LENGTH), 10000u);
    StmtOf(h)->state = STMT_EXECUTED;
    EXPECT_EQ(SQLSetStmtAttr(h, SQL_ATTR_MAX_LENGTH, reinterpret_cast<SQLPOINTER>(20000), 0), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, h), "HY011");
    StmtOf(h)->state = STMT_ALLOCATED;

    // A value the back end changed is read back.
    s.script.optionRewrite[DrvInt(DrvStmtOption(SQL_CONCURRENCY))] = SQL_CONCUR_VALUES;
    EXPECT_EQ(SQLSetStmtAttr(h, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_ROWVER), 0),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(State(SQL_HANDLE_STMT, h), "01S02");
    EXPECT_EQ(GetStmtUlen(h, SQL_ATTR_CONCURRENCY), static_cast<SQLULEN>(SQL_CONCUR_VALUES));
    // A changed value that cannot be read back is an error, not success.
    s.script.optionResults[DrvInt(DrvStmtOption(SQL_CURSOR_TYPE))] = 75;
    s.script.items[DrvInt(DrvStmtOption(SQL_CURSOR_TYPE))] = ItemAnswer{54, 0, ""};
    EXPECT_EQ(SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_DYNAMIC), 0),
              SQL_ERROR);

    // MAX_ROWS keeps its 64-bit value; the back end gets the largest it takes.
    const SQLULEN huge = SQLULEN{1} << 33;
    EXPECT_EQ(SQLSetStmtAttr(h, SQL_ATTR_MAX_ROWS, reinterpret_cast<SQLPOINTER>(huge), 0), SQL_SUCCESS);
    EXPECT_EQ(s.script.sets.back(), std::make_pair(DrvInt(DrvStmtOption(SQL_MAX_ROWS)), INT32_MAX));
    EXPECT_EQ(StmtOf(h)->maxRows, huge);

    // Driver options the back end refuses are errors.
    for (int option : {KRS_STMT_KEY_INFO, KRS_STMT_ADD_KEYS}) {
        s.script.optionResults[DrvInt(DrvStmtOption(option))] = ERR_NOT_CAPABLE;
        EXPECT_EQ(SQLSetStmtAttr(h, option, reinterpret_cast<SQLPOINTER>(1), 0), SQL_ERROR) << option;
        EXPECT_EQ(State(SQL_HANDLE_STMT, h), "HY092") << option;
    }
    s.script.optionResults[DrvInt(DrvStmtOption(1225))] = ERR_NOT_CAPABLE;
    EXPECT_EQ(SQLSetStmtOption(h, 1225, 1), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, h), "HY092");
}

TEST(StmtAttr, RowsetSizeAndRowArraySize)
{
    Session s;
    SQLHSTMT h = s.NewStmt();
    EXPECT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(20), 0), SQL_SUCCESS);
    EXPECT_EQ(GetStmtUlen(h, SQL_ATTR_ROW_ARRAY_SIZE), 20u);
    SQLULEN rowset = 0;
    EXPECT_EQ(SQLGetStmtOption(h, SQL_ROWSET_SIZE, &rowset), SQL_SUCCESS);
    EXPECT_EQ(rowset & 0xFFFFFFFFu, 20u);
    // A rowset of no rows is refused, by either name; the size stays.
    EXPECT_EQ(SQLSetStmtOption(h, SQL_ROWSET_SIZE, 0), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, h), "HY024");
    EXPECT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(0), 0), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, h), "HY024");
    EXPECT_EQ(StmtOf(h)->cursor.rowsetSize, 20);
    EXPECT_EQ(SQLSetStmtOption(h, SQL_ROWSET_SIZE, 1), SQL_SUCCESS);

    // Held while a forward-only block is only partly handed out.
    Stmt *st = StmtOf(h);
    st->state = STMT_EXECUTED;
    st->result.rowsUsed = 5;
    st->currentRow = 1;
    EXPECT_EQ(SQLSetStmtOption(h, SQL_ROWSET_SIZE, 10), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(st->cursor.rowsetSize, 1);
    st->state = STMT_ALLOCATED;
    st->result.rowsUsed = 0;
    st->currentRow = 0;
}

TEST(StmtAttr, PointerAttributesCanBeCleared)
{
    Session s;
    SQLHSTMT h = s.NewStmt();
    Stmt *st = StmtOf(h);
    SQLUSMALLINT status[4];
    SQLULEN processed = 0;
    struct Case {
        SQLINTEGER attr;
        SQLPOINTER value;
    } cases[] = {{SQL_ATTR_PARAM_STATUS_PTR, status},       {SQL_ATTR_PARAMS_PROCESSED_PTR, &processed},
                 {SQL_ATTR_ROWS_FETCHED_PTR, &processed},   {SQL_ATTR_ROW_STATUS_PTR, status},
                 {SQL_ATTR_ROW_OPERATION_PTR, status},      {SQL_ATTR_PARAM_OPERATION_PTR, status},
                 {SQL_ATTR_ROW_BIND_OFFSET_PTR, &processed}, {SQL_ATTR_PARAM_BIND_OFFSET_PTR, &processed},
                 {SQL_ATTR_FETCH_BOOKMARK_PTR, &processed}};
    for (const Case &k : cases) {
        ASSERT_EQ(SQLSetStmtAttr(h, k.attr, k.value, 0), SQL_SUCCESS) << k.attr;
        SQLPOINTER got = nullptr;
        EXPECT_EQ(SQLGetStmtAttr(h, k.attr, &got, 0, nullptr), SQL_SUCCESS);
        EXPECT_EQ(got, k.value) << k.attr;
        ASSERT_EQ(SQLSetStmtAttr(h, k.attr, nullptr, 0), SQL_SUCCESS) << k.attr;
        EXPECT_EQ(SQLGetStmtAttr(h, k.attr, &got, 0, nullptr), SQL_SUCCESS);
        EXPECT_EQ(got, nullptr) << k.attr << " must stop being written";
    }
    EXPECT_EQ(st->ipd->arrayStatusPtr, nullptr);
    EXPECT_EQ(st->ipd->rowsProcessedPtr, nullptr);
    EXPECT_EQ(st->ird->rowsProcessedPtr, nullptr);
    EXPECT_EQ(st->rowsFetchedPtr, nullptr);
}

TEST(StmtAttr, ApplicationDescriptors)
{
    Session s;
    SQLHSTMT h = s.NewStmt(), other = s.NewStmt();
    SQLHDESC explicitDesc = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, s.dbc, &explicitDesc), SQL_SUCCESS);
    SQLHDESC implicitArd = nullptr;
    ASSERT_EQ(SQLGetStmtAttr(h, SQL_ATTR_APP_ROW_DESC, &implicitArd, 0, nullptr), SQL_SUCCESS);
    SQLINTEGER len = 0;
    SQLHDESC ird = nullptr;
    EXPECT_EQ(SQLGetStmtAttr(h, SQL_ATTR_IMP_ROW_DESC, &ird, 0, &len), SQL_SUCCESS);
    EXPECT_EQ(len, SQL_IS_POINTER);
    EXPECT_EQ(SQLSetStmtAttr(h, SQL_ATTR_IMP_ROW_DESC, ird, 0), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, h), "HY092");

    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_APP_ROW_DESC, explicitDesc, 0), SQL_SUCCESS);
    SQLHDESC current = nullptr;
    SQLGetStmtAttr(h, SQL_ATTR_APP_ROW_DESC, &current, 0, nullptr);
    EXPECT_EQ(current, explicitDesc);
    // NULL goes back to the implicit descriptor.
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_APP_ROW_DESC, nullptr, 0), SQL_SUCCESS);
    SQLGetStmtAttr(h, SQL_ATTR_APP_ROW_DESC, &current, 0, nullptr);
    EXPECT_EQ(current, implicitArd);
    // The parameter descriptor likewise.
    SQLHDESC implicitApd = nullptr;
    ASSERT_EQ(SQLGetStmtAttr(h, SQL_ATTR_APP_PARAM_DESC, &implicitApd, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_APP_PARAM_DESC, explicitDesc, 0), SQL_SUCCESS);
    SQLGetStmtAttr(h, SQL_ATTR_APP_PARAM_DESC, &current, 0, nullptr);
    EXPECT_EQ(current, explicitDesc);
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_APP_PARAM_DESC, nullptr, 0), SQL_SUCCESS);
    SQLGetStmtAttr(h, SQL_ATTR_APP_PARAM_DESC, &current, 0, nullptr);
    EXPECT_EQ(current, implicitApd);
    EXPECT_EQ(StmtOf(h)->apd, StmtOf(h)->apdImplicit);

    SQLHDESC otherArd = nullptr;
    SQLGetStmtAttr(other, SQL_ATTR_APP_ROW_DESC, &otherArd, 0, nullptr);
    EXPECT_EQ(SQLSetStmtAttr(h, SQL_ATTR_APP_ROW_DESC, otherArd, 0), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, h), "HY017");
    EXPECT_EQ(SQLSetStmtAttr(h, SQL_ATTR_APP_PARAM_DESC, reinterpret_cast<SQLPOINTER>(0x7777), 0), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, h), "HY024");
}

TEST(StmtAttr, HeaderAttributesOfASharedDescriptorReachEveryStatementUsingIt)
{
    Session s;
    ConnOf(s.dbc)->cn_hasParamOp = 1;
    SQLHSTMT a = s.NewStmt(), b = s.NewStmt(), alone = s.NewStmt();
    SQLHDESC ard = nullptr, apd = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, s.dbc, &ard), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, s.dbc, &apd), SQL_SUCCESS);
    for (SQLHSTMT h : {a, b}) {
        ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_APP_ROW_DESC, ard, 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_APP_PARAM_DESC, apd, 0), SQL_SUCCESS);
    }
    SQLLEN offset = 0;
    SQLUSMALLINT ops[8] = {};
    struct Case {
        SQLINTEGER attr;
        SQLULEN value;
    } cases[] = {
        {SQL_ATTR_ROW_ARRAY_SIZE, 8},
        {SQL_ATTR_ROW_BIND_TYPE, 24},
        {SQL_ATTR_ROW_BIND_OFFSET_PTR, reinterpret_cast<SQLULEN>(&offset)},
        {SQL_ATTR_ROW_OPERATION_PTR, reinterpret_cast<SQLULEN>(ops)},
        {SQL_ATTR_PARAMSET_SIZE, 6},
        {SQL_ATTR_PARAM_BIND_TYPE, 40},
        {SQL_ATTR_PARAM_BIND_OFFSET_PTR, reinterpret_cast<SQLULEN>(&offset)},
        {SQL_ATTR_PARAM_OPERATION_PTR, reinterpret_cast<SQLULEN>(ops)},
    };
    for (const Case &c : cases) {
        const SQLULEN before = GetStmtUlen(alone, c.attr);
        ASSERT_EQ(SQLSetStmtAttr(a, c.attr, reinterpret_cast<SQLPOINTER>(c.value), 0), SQL_SUCCESS) << c.attr;
        EXPECT_EQ(GetStmtUlen(a, c.attr), c.value) << c.attr;
        EXPECT_EQ(GetStmtUlen(b, c.attr), c.value) << c.attr << ": the other statement follows";
        EXPECT_EQ(GetStmtUlen(alone, c.attr), before) << c.attr << ": a statement with its own is untouched";
    }
    EXPECT_EQ(StmtOf(b)->cursor.rowsetSize, 8);
    EXPECT_EQ(StmtOf(b)->bindType, 24u);
    EXPECT_EQ(StmtOf(b)->paramsetSize, 6u);
    SQLULEN size = 0;
    ASSERT_EQ(SQLGetDescField(ard, 0, SQL_DESC_ARRAY_SIZE, &size, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(size, 8u);
    // The ODBC 2 bind type is the ARD's too.
    ASSERT_EQ(SQLSetStmtOption(b, SQL_BIND_TYPE, 12), SQL_SUCCESS);
    EXPECT_EQ(GetStmtUlen(a, SQL_ATTR_ROW_BIND_TYPE), 12u);

    // A refused size leaves every statement as it was.
    EXPECT_EQ(SQLSetStmtAttr(a, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(0), 0), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, a), "HY024");
    EXPECT_EQ(GetStmtUlen(b, SQL_ATTR_PARAMSET_SIZE), 6u);
    // So does a row array size of 0 (HY024).
    EXPECT_EQ(SQLSetStmtAttr(a, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(0), 0), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, a), "HY024");
    EXPECT_EQ(GetStmtUlen(b, SQL_ATTR_ROW_ARRAY_SIZE), 8u);

    // Freeing the descriptors gives each statement its own again.
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, ard), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, apd), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(a, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(3), 0), SQL_SUCCESS);
    EXPECT_EQ(GetStmtUlen(a, SQL_ATTR_ROW_ARRAY_SIZE), 3u);
    EXPECT_EQ(GetStmtUlen(b, SQL_ATTR_ROW_ARRAY_SIZE), 1u);
}

TEST(StmtAttr, MetadataIdOnTheStatementAndAsTheConnectionsDefault)
{
    Session s;
    SQLHSTMT before = s.NewStmt();
    EXPECT_EQ(GetStmtUlen(before, SQL_ATTR_METADATA_ID), static_cast<SQLULEN>(SQL_FALSE));
    SQLUINTEGER c = 7;
    EXPECT_EQ(SQLGetConnectAttr(s.dbc, SQL_ATTR_METADATA_ID, &c, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(c, static_cast<SQLUINTEGER>(SQL_FALSE));

    ASSERT_EQ(SQLSetConnectAttr(s.dbc, SQL_ATTR_METADATA_ID, reinterpret_cast<SQLPOINTER>(SQL_TRUE), 0),
              SQL_SUCCESS);
    EXPECT_EQ(SQLGetConnectAttr(s.dbc, SQL_ATTR_METADATA_ID, &c, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(c, static_cast<SQLUINTEGER>(SQL_TRUE));
    SQLHSTMT after = s.NewStmt();
    EXPECT_EQ(GetStmtUlen(after, SQL_ATTR_METADATA_ID), static_cast<SQLULEN>(SQL_TRUE));
    EXPECT_EQ(GetStmtUlen(before, SQL_ATTR_METADATA_ID), static_cast<SQLULEN>(SQL_FALSE))
        << "a statement allocated earlier keeps its own";

    ASSERT_EQ(SQLSetStmtAttr(after, SQL_ATTR_METADATA_ID, reinterpret_cast<SQLPOINTER>(SQL_FALSE), 0), SQL_SUCCESS);
    EXPECT_EQ(GetStmtUlen(after, SQL_ATTR_METADATA_ID), static_cast<SQLULEN>(SQL_FALSE));
    EXPECT_EQ(SQLSetStmtAttr(after, SQL_ATTR_METADATA_ID, reinterpret_cast<SQLPOINTER>(2), 0), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, after), "HY024");
    EXPECT_EQ(GetStmtUlen(after, SQL_ATTR_METADATA_ID), static_cast<SQLULEN>(SQL_FALSE));
}

TEST(StmtAttr, SqlulenAttributesComeBackClean)
{
    Session s;
    SQLHSTMT h = s.NewStmt();
    s.script.items[DrvInt(DrvStmtOption(SQL_MAX_ROWS))] = ItemAnswer{0, 0, ""};
    s.script.items[DrvInt(DrvStmtOption(SQL_NOSCAN))] = ItemAnswer{0, 0, ""};
    for (SQLINTEGER attr : {SQL_ATTR_QUERY_TIMEOUT, SQL_ATTR_MAX_ROWS, SQL_ATTR_NOSCAN, SQL_ATTR_MAX_LENGTH,
                            SQL_ATTR_ASYNC_ENABLE, SQL_ATTR_ROW_BIND_TYPE, SQL_ATTR_CURSOR_TYPE,
                            SQL_ATTR_CONCURRENCY, SQL_ATTR_KEYSET_SIZE, SQL_ATTR_SIMULATE_CURSOR,
                            SQL_ATTR_RETRIEVE_DATA, SQL_ATTR_USE_BOOKMARKS, SQL_ATTR_PARAMSET_SIZE,
                            SQL_ATTR_ROW_ARRAY_SIZE, SQL_ATTR_PARAM_BIND_TYPE, SQL_ATTR_CURSOR_SCROLLABLE,
                            SQL_ATTR_CURSOR_SENSITIVITY}) {
        EXPECT_LT(GetStmtUlen(h, attr), 0x100000000u) << attr;
    }
    EXPECT_EQ(GetStmtUlen(h, SQL_ATTR_CURSOR_SENSITIVITY), static_cast<SQLULEN>(SQL_INSENSITIVE));
    EXPECT_EQ(GetStmtUlen(h, SQL_ATTR_CURSOR_SCROLLABLE), static_cast<SQLULEN>(SQL_NONSCROLLABLE));
    SQLULEN v = 0;
    EXPECT_EQ(SQLGetStmtAttr(h, SQL_ATTR_ROW_NUMBER, &v, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, h), "24000");
}

// ---- every statement attribute and option, against the answers on file ----

// The ids asked: the ODBC 2 options, the ODBC 3 attributes, the driver's
// own options, the options passed to the back end and ids nobody knows.
const SQLINTEGER kStmtAttrIds[] = {
    SQL_ATTR_CURSOR_SENSITIVITY, SQL_ATTR_CURSOR_SCROLLABLE, -3, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14,
    15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 99, 1047, KRS_STMT_BACKEND_VALUE,
    KRS_STMT_LAST_SERIAL, KRS_STMT_CURSOR_MODE, 1051, KRS_STMT_KEY_INFO, 1053, KRS_STMT_ADD_KEYS, 1224, 1225,
    KRS_STMT_PASSED_TEXT, 1227, 1228, 1229, 1250, 1251, 1260, 1261, 1264, 1265, 1268, 1276, 1277, 1278, 1279,
    SQL_ATTR_APP_ROW_DESC, SQL_ATTR_APP_PARAM_DESC, SQL_ATTR_IMP_ROW_DESC, SQL_ATTR_IMP_PARAM_DESC,
    SQL_ATTR_METADATA_ID, 10015, 65535};

// How the back end takes every option in one pass.
struct BackEndWay {
    const char *name;
    int result;       // DRV_SetOption's answer
    int32_t rewrite;  // >= 0: stores this instead (01S02)
};
const BackEndWay kBackEndWays[] = {
    {"takes", 0, -1},
    {"rewrites", 0, 3},
    {"refuses", ERR_NOT_CAPABLE, -1},
    {"changes unreadably", ERR_OPTION_VALUE_CHANGED, -1},
    {"fails", ERR_GENERAL, -1},
};

const SQLULEN kSetValues[] = {0, 1, 9000, 0x100000007ull};

// One answer: the result, the SQLSTATE after it, and what was written.
std::string Answer(SQLRETURN rc, SQLHSTMT h, const unsigned char *buf, SQLINTEGER len)
{
    std::ostringstream o;
    o << rc;
    if (rc != SQL_SUCCESS)
        o << "," << State(SQL_HANDLE_STMT, h);
    if (buf) {
        o << ",";
        for (int i = 7; i >= 0; --i)
            o << "0123456789abcdef"[buf[i] >> 4] << "0123456789abcdef"[buf[i] & 15];
    }
    if (len != -77)
        o << ",len=" << len;
    return o.str();
}

// SQLGetStmtAttr and SQLGetStmtOption of a statement; a descriptor handle
// reads as "desc".
std::string Reads(SQLHSTMT h, SQLINTEGER id)
{
    unsigned char buf[8];
    std::memset(buf, 0xAB, sizeof buf);
    SQLINTEGER len = -77;
    SQLRETURN rc = SQLGetStmtAttr(h, id, buf, 8, &len);
    const bool desc = id >= SQL_ATTR_APP_ROW_DESC && id <= SQL_ATTR_IMP_PARAM_DESC && rc == SQL_SUCCESS;
    std::string out = "get " + (desc ? Answer(rc, h, nullptr, len) + ",desc" : Answer(rc, h, buf, len));
    if (id >= 0 && id <= 65535) {
        std::memset(buf, 0xAB, sizeof buf);
        rc = SQLGetStmtOption(h, static_cast<SQLUSMALLINT>(id), buf);
        out += " opt " + (desc ? Answer(rc, h, nullptr, -77) + ",desc" : Answer(rc, h, buf, -77));
    }
    return out;
}

// Every way an attribute can be read and set on fresh statements.
std::string Observe(Session &s, SQLINTEGER id)
{
    std::string out = "[" + Reads(s.NewStmt(), id) + "]";
    for (SQLULEN v : kSetValues) {
        SQLHSTMT h = s.NewStmt();
        SQLRETURN rc = SQLSetStmtAttr(h, id, reinterpret_cast<SQLPOINTER>(v), 0);
        out += " set" + std::to_string(v) + " " + Answer(rc, h, nullptr, -77);
        out += " [" + Reads(h, id) + "]";
        if (id >= 0 && id <= 65535) {
            h = s.NewStmt();
            rc = SQLSetStmtOption(h, static_cast<SQLUSMALLINT>(id), v);
            out += " setopt " + Answer(rc, h, nullptr, -77);
            out += " [" + Reads(h, id) + "]";
        }
    }
    return out;
}

// The answers of every statement attribute and option, read and set, with the
// back end taking, changing, refusing and failing them, stay those on file
// (tests/unit/stmtattr_answers.txt; KRS_WRITE_ANSWERS=<file> writes them).
TEST(StmtAttr, EveryAttributeAnswersAsOnFile)
{
    std::vector<std::string> lines;
    for (const BackEndWay &way : kBackEndWays) {
        for (SQLINTEGER id : kStmtAttrIds) {
            Session s;
            s.script.everyResult = way.result;
            s.script.everyRewrite = way.rewrite;
            lines.push_back(std::string(way.name) + " " + std::to_string(id) + ": " + Observe(s, id));
        }
    }
    if (const char *out = std::getenv("KRS_WRITE_ANSWERS")) {
        std::ofstream f(out);
        for (const std::string &l : lines)
            f << l << "\n";
        return;
    }
    const char *src = std::getenv("KRS_TEST_SRCDIR");
    ASSERT_TRUE(src && *src) << "KRS_TEST_SRCDIR is not set";
    std::ifstream f(std::string(src) + "/tests/unit/stmtattr_answers.txt");
    ASSERT_TRUE(f.good());
    std::string line;
    size_t i = 0;
    for (; std::getline(f, line); ++i) {
        ASSERT_LT(i, lines.size());
        EXPECT_EQ(lines[i], line);
    }
    EXPECT_EQ(i, lines.size());
}

} // namespace

// Error table, SQLSTATE mapping, "[SQLSTATE:" tags, the diagnostic queue and
// the record routine behind SQLError / SQLGetDiagRec.
#include "odbc/errors.h"

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// ---- error table ---------------------------------------------------------

struct RowCase {
    int32_t number;
    const char *state;
    const char *message;
};

const RowCase kRows[] = {
    {1, "IM001", "Driver does not support this function"},
    {8, "IM009", "Unable to load translation DLL"},
    {15, "S1000", "General error"},
    {19, "01004", "Data was truncated"},
    {22, "S1010", "Function sequence error"},
    {43, "S1C00", "Driver not capable"},
    {52, "08003", "Connection not open"},
    {58, "22003", "Numeric value out of range"},
    {66, "28000", "Invalid authorization specification"},
    {76, "IM903", "Client Installation Problem Detected. ReInstall."},
    {77, "IM904", "Specified Dynamic Interface Library Unavailable"},
    {79, "01S05", "SQLCancel closed the statement"},
    {100, "07009", "Invalid descriptor index"},
    {109, "01004", "String data, right truncated"},
    {115, "07005", "Prepared statement not a cursor-specification"},
    {121, "22018", "Invalid character value for cast specification"},
    {153, "IM928", "Outer joins on a scrollable cursor require a static cursor"},
    {160, "IM929", "SQLMoreResults on a scrollable cursor requires a static or forward-only cursor"},
    {162, "S1000", "Only DDL and DML command can be executed"},
    {165, "42000", "Statement(s) could not be prepared"},
    {167, "IM601", "The server does not support SSL"},
    {170, "IM932", "Enlistment in DTC transaction failed "},
    {172, "IM934", "SQL statement can only be prepared on a static or forward-only cursor"},
    {183, "IM500", "Failover completed."},
    {184, "IM501", "Failover aborted."},
};

TEST(ErrorTable, RowsHoldTheirStateAndMessage) {
    for (const RowCase &c : kRows) {
        const ErrorRow *row = ERR_Lookup(c.number);
        ASSERT_NE(row, nullptr) << c.number;
        EXPECT_STREQ(row->sqlstate, c.state) << c.number;
        EXPECT_STREQ(row->message, c.message) << c.number;
        EXPECT_EQ(row, &ErrorTable[c.number]);
    }
}

TEST(ErrorTable, EveryDefinedRowIsWellFormed) {
    int defined = 0;
    for (int n = 0; n < ERR_TABLE_ROWS; ++n) {
        const ErrorRow &row = ErrorTable[n];
        ASSERT_NE(row.sqlstate, nullptr);
        ASSERT_NE(row.message, nullptr);
        if (!row.sqlstate[0]) {
            EXPECT_STREQ(row.message, "") << n;
            continue;
        }
        ++defined;
        EXPECT_EQ(strlen(row.sqlstate), 5u) << n;
        EXPECT_GT(strlen(row.message), 0u) << n;
    }
    EXPECT_EQ(defined, 165);
    EXPECT_STREQ(ErrorTable[0].sqlstate, "");
}

// ODBC's own texts stand in the table as written, each one whole literal, so
// that a search of the source finds every message an application can see.
TEST(ErrorTable, EveryMessageIsOneLiteralInTheSource) {
    const char *src = std::getenv("KRS_TEST_SRCDIR");
    ASSERT_TRUE(src && *src) << "KRS_TEST_SRCDIR is not set";
    std::ifstream in(std::string(src) + "/odbc/contract/errlist.inc");
    ASSERT_TRUE(in) << src;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (int n = 1; n < ERR_TABLE_ROWS; ++n) {
        const ErrorRow &row = ErrorTable[n];
        if (!row.sqlstate[0])
            continue;
        // Each row is one line: KRS_ERR(n, NAME, "state", "message")
        size_t at = text.find("\nKRS_ERR(" + std::to_string(n) + ", ");
        ASSERT_NE(at, std::string::npos) << n;
        std::string line = text.substr(at + 1, text.find('\n', at + 1) - at - 1);
        std::string literal = std::string("\"") + row.sqlstate + "\", \"" + row.message + "\")";
        EXPECT_NE(line.find(literal), std::string::npos) << n << ": " << row.message;
    }
}

TEST(ErrorTable, UndefinedNumbersHaveNoRow) {
    const int32_t numbers[] = {0, -1, 78, 154, 159, 168, 169, 173, 182, 185, 1000,
                               INT32_MIN, INT32_MAX};
    for (int32_t n : numbers) EXPECT_EQ(ERR_Lookup(n), nullptr) << n;
}

TEST(ErrorTable, FindStateGivesLowestRow) {
    struct {
        const char *state;
        int32_t number;
    } cases[] = {
        {"S1000", 15}, {"42000", 71}, {"01004", 19}, {"08004", 53}, {"IM001", 1},
        {"IM501", 184}, {"42P01", 0}, {"S10", 0}, {"", 0}, {"S1000xyz", 15},
    };
    for (const auto &c : cases) EXPECT_EQ(ERR_FindState(c.state), c.number) << c.state;
    EXPECT_EQ(ERR_FindState(nullptr), 0);
}

// ---- ODBC 3 mapping ---------------------------------------------------------

TEST(MapSqlState3, MapsByOrigin) {
    struct {
        const char *in;
        const char *driver;  // a row of the error table
        const char *text;    // the tag of a queued (server or JDBC) text
    } cases[] = {
        {"S1002", "07009", "07009"}, {"S1093", "07009", "07009"}, {"01S03", "01001", "01001"},
        {"01S04", "01001", "01001"}, {"37000", "42000", "42000"}, {"70100", "HY018", "HY018"},
        {"S1000", "HY000", "HY000"}, {"S1C00", "HYC00", "HYC00"}, {"S1T00", "HYT00", "HYT00"},
        {"S1010", "HY010", "HY010"}, {"S1019", "HY019", "HY019"}, {"S0002", "42S02", "42S02"},
        {"S0022", "42S22", "42S22"},
        // the driver's own states ODBC 3 gave other codes; a server's keep theirs
        {"22005", "22018", "22005"}, {"22008", "22007", "22008"},
        // the same meaning in ODBC 3, whoever reports them
        {"22003", "22003", "22003"}, {"24000", "24000", "24000"},
        {"42P01", "42P01", "42P01"}, {"01004", "01004", "01004"}, {"IM001", "IM001", "IM001"},
        {"08S01", "08S01", "08S01"}, {"42S02", "42S02", "42S02"}, {"07009", "07009", "07009"},
        {"S0", "S0", "S0"}, {"S1", "S1", "S1"}, {"", "", ""},
    };
    for (const auto &c : cases) {
        char buf[8] = {0};
        strcpy(buf, c.in);
        MapSqlState3(buf, STATE_DRIVER);
        EXPECT_STREQ(buf, c.driver) << c.in;
        strcpy(buf, c.in);
        MapSqlState3(buf, STATE_TEXT);
        EXPECT_STREQ(buf, c.text) << c.in;
    }
    MapSqlState3(nullptr, STATE_DRIVER);
}

TEST(MapSqlState3, NumericOutOfRangeNeverCollidesWithPieceError) {
    char a[6] = "22003", b[6] = "S1019";
    MapSqlState3(a, STATE_DRIVER);
    MapSqlState3(b, STATE_DRIVER);
    EXPECT_STRNE(a, b);
}

// ---- "[SQLSTATE:" tags -------------------------------------------------------

struct TagCase {
    const char *text;
    size_t cut;
    const char *state;
};

const TagCase kTags[] = {
    {"[Brennic Edition]no table[SQLSTATE:42P01]", 25, "42P01"},
    {"x[sqlstate:22003]", 1, "22003"},
    {"x[SqlState:S1093]", 1, "S1093"},
    {"abc[SQLSTATE:42P01]tail after", 3, "42P01"},
    {"[SQLSTATE:08001]", 0, "08001"},
    {"no tag here", 11, "S1000"},
    {"", 0, "S1000"},
    {"short[SQLSTATE:42]", 5, "S1000"},
    {"empty[SQLSTATE:]", 5, "S1000"},
    {"open[SQLSTATE:42P01", 4, "42P01"},
    {"open[SQLSTATE:42P", 4, "S1000"},
    {"end[SQLSTATE:", 3, "S1000"},
    {"half[SQLSTA", 11, "S1000"},
    {"long[SQLSTATE:HY0001]", 4, "S1000"},
    {"odd[SQLSTATE:4 P01]", 3, "S1000"},
    {"two[SQLSTATE:42P01][SQLSTATE:22003]", 3, "42P01"},
};

TEST(StateTag, ParsesWellFormedShortMalformedAndMissingTags) {
    for (const TagCase &c : kTags) {
        // An exact-size heap copy without a terminator: the parser must stay
        // inside the length it is given.
        size_t len = strlen(c.text);
        std::vector<char> exact(c.text, c.text + len);
        char state[6] = "?????";
        size_t cut = ERR_ParseStateTag(exact.data(), len, state);
        EXPECT_EQ(cut, c.cut) << c.text;
        EXPECT_STREQ(state, c.state) << c.text;
    }
}

TEST(StateTag, StopsAtTheGivenLength) {
    const char text[] = "abc[SQLSTATE:42P01]";
    char state[6];
    EXPECT_EQ(ERR_ParseStateTag(text, 8, state), 8u);
    EXPECT_STREQ(state, "S1000");
    EXPECT_EQ(ERR_ParseStateTag(text, 16, state), 3u);
    EXPECT_STREQ(state, "S1000");
    EXPECT_EQ(ERR_ParseStateTag(nullptr, 0, state), 0u);
    EXPECT_STREQ(state, "S1000");
}

// ---- the queue -------------------------------------------------------------

struct QueueFixture : ::testing::Test {
    ErrQueue q{};
    void TearDown() override { ERR_Clear(&q); }
};

TEST_F(QueueFixture, KeepsArrivalOrderAndCountsRecords) {
    EXPECT_EQ(ERR_Count(&q), 0u);
    EXPECT_TRUE(ERR_Push(&q, "one", 1));
    EXPECT_TRUE(ERR_Push(&q, "two", 2));
    EXPECT_TRUE(ERR_Push(&q, "three", 3));
    EXPECT_FALSE(ERR_Push(&q, nullptr, 4));
    EXPECT_EQ(ERR_Count(&q), 3u);

    struct {
        int n;
        const char *text;
        int32_t native;
    } peeks[] = {{-5, "one", 1}, {0, "one", 1}, {1, "one", 1}, {2, "two", 2}, {3, "three", 3}};
    for (const auto &p : peeks) {
        int32_t native = -1;
        EXPECT_STREQ(PeekErrMsg(q.head, p.n, &native), p.text) << p.n;
        EXPECT_EQ(native, p.native) << p.n;
    }
    int32_t untouched = 99;
    EXPECT_EQ(PeekErrMsg(q.head, 4, &untouched), nullptr);
    EXPECT_EQ(untouched, 99);
    EXPECT_EQ(PeekErrMsg(nullptr, 1, nullptr), nullptr);

    const char *expect[] = {"one", "two", "three"};
    for (int i = 0; i < 3; ++i) {
        int32_t native = 0;
        char *t = ERR_Pop(&q, &native);
        ASSERT_NE(t, nullptr);
        EXPECT_STREQ(t, expect[i]);
        EXPECT_EQ(native, i + 1);
        free(t);
    }
    EXPECT_EQ(ERR_Pop(&q, nullptr), nullptr);
    EXPECT_EQ(q.tail, nullptr);
    EXPECT_TRUE(ERR_Push(&q, "again", 5));
    EXPECT_EQ(ERR_Count(&q), 1u);
}

TEST_F(QueueFixture, PushCopiesTheText) {
    char text[] = "mutable";
    ERR_Push(&q, text, 0);
    text[0] = 'X';
    EXPECT_STREQ(PeekErrMsg(q.head, 1, nullptr), "mutable");
}

TEST_F(QueueFixture, DeliveryQueuesNonNullTextsWithOneNativeCode) {
    char a[] = "a", c[] = "c";
    char *texts[] = {a, nullptr, c};
    ERR_PushTexts(&q, texts, 3, 42);
    ASSERT_EQ(ERR_Count(&q), 2u);
    int32_t n1 = 0, n2 = 0;
    EXPECT_STREQ(PeekErrMsg(q.head, 1, &n1), "a");
    EXPECT_STREQ(PeekErrMsg(q.head, 2, &n2), "c");
    EXPECT_EQ(n1, 42);
    EXPECT_EQ(n2, 42);
    ERR_PushTexts(&q, nullptr, 3, 0);
    EXPECT_EQ(ERR_Count(&q), 2u);
}

TEST_F(QueueFixture, ClearFreesTextsAndNumberFreeMsgsKeepsNumber) {
    q.errNum = ERR_GENERAL;
    ERR_Push(&q, "x", 0);
    ERR_FreeMsgs(&q);
    EXPECT_EQ(q.head, nullptr);
    EXPECT_EQ(q.errNum, ERR_GENERAL);
    ERR_Push(&q, "y", 0);
    ERR_Clear(&q);
    EXPECT_EQ(q.head, nullptr);
    EXPECT_EQ(q.tail, nullptr);
    EXPECT_EQ(q.errNum, ERR_NONE);
    ERR_Clear(nullptr);
    FreeErrMsgs(nullptr);
}

// ---- the record routine ----------------------------------------------------

struct Rec {
    int16_t rc;
    std::string state;
    int32_t native;
    std::string msg;
    int16_t len;
};

Rec GetRec(ErrQueue &q, int version, int mode, int16_t bufLen = 512) {
    Rec r;
    char state[6] = "?????";
    char msg[600];
    memset(msg, 'Z', sizeof msg);
    r.native = -99;
    r.len = -99;
    r.rc = ERR_GetRec(&q, version, mode, state, &r.native, msg, bufLen, &r.len);
    r.state = state;
    r.msg = bufLen > 0 ? std::string(msg) : std::string();
    return r;
}

const char kDriverPrefix[] = "[Kestrune][ODBC][Driver]";

TEST_F(QueueFixture, QueuedTextIsReportedOnceAndClearsTheNumber) {
    q.errNum = ERR_GENERAL;
    ERR_Push(&q, "[Brennic Edition]relation \"nope\" does not exist[SQLSTATE:42P01]", 7);

    Rec r = GetRec(q, 3, ERR_MODE_TAKE);
    EXPECT_EQ(r.rc, SQL_SUCCESS);
    EXPECT_EQ(r.msg, "[Kestrune][ODBC][Brennic Edition]relation \"nope\" does not exist");
    EXPECT_EQ(r.state, "42P01");
    EXPECT_EQ(r.native, 7);
    EXPECT_EQ(r.len, int16_t(r.msg.size()));
    EXPECT_EQ(q.errNum, ERR_NONE);

    r = GetRec(q, 3, ERR_MODE_TAKE);
    EXPECT_EQ(r.rc, SQL_NO_DATA);
    EXPECT_EQ(r.state, "00000");
    EXPECT_EQ(r.msg, "");
    EXPECT_EQ(r.native, 0);
    EXPECT_EQ(r.len, 0);
}

TEST_F(QueueFixture, TextStatesAreMappedOnlyForOdbc3) {
    struct {
        const char *text;
        int version;
        const char *state;
    } cases[] = {
        {"x[SQLSTATE:S1093]", 2, "S1093"}, {"x[SQLSTATE:S1093]", 3, "07009"},
        {"x[SQLSTATE:22003]", 3, "22003"}, {"x[SQLSTATE:24000]", 3, "24000"},
        {"x[SQLSTATE:22005]", 3, "22005"}, {"x[SQLSTATE:22008]", 3, "22008"},
        {"x[SQLSTATE:S1009]", 3, "HY009"}, {"no tag", 2, "S1000"},
        {"no tag", 3, "HY000"},            {"x[SQLSTATE:42]", 3, "HY000"},
    };
    for (const auto &c : cases) {
        ERR_Push(&q, c.text, 0);
        Rec r = GetRec(q, c.version, ERR_MODE_TAKE);
        EXPECT_EQ(r.rc, SQL_SUCCESS) << c.text;
        EXPECT_EQ(r.state, c.state) << c.text << " v" << c.version;
    }
}

TEST_F(QueueFixture, ErrorNumbersBecomeDriverRecords) {
    struct {
        int32_t number;
        int version;
        const char *state;
        std::string body;
    } cases[] = {
        {22, 2, "S1010", "Function sequence error"},
        {22, 3, "HY010", "Function sequence error"},
        {52, 3, "08003", "Connection not open"},
        {58, 3, "22003", "Numeric value out of range"},
        {64, 3, "24000", "Invalid cursor state"},
        {59, 3, "22018", "Error in assignment"},
        {59, 2, "22005", "Error in assignment"},
        {60, 3, "22007", "Date overflow"},
        {100, 3, "07009", "Invalid descriptor index"},
        {185, 2, "S1000", "Undefined errorcode (185).\nPlease install a newer client."},
        {185, 3, "HY000", "Undefined errorcode (185).\nPlease install a newer client."},
        {78, 2, "S1000", "Undefined errorcode (78).\nPlease install a newer client."},
        {173, 2, "S1000", "Undefined errorcode (173).\nPlease install a newer client."},
        {-1, 2, "S1000", "Undefined errorcode (-1).\nPlease install a newer client."},
        {INT32_MIN, 2, "S1000",
         "Undefined errorcode (-2147483648).\nPlease install a newer client."},
    };
    for (const auto &c : cases) {
        q.errNum = c.number;
        Rec r = GetRec(q, c.version, ERR_MODE_TAKE);
        EXPECT_EQ(r.rc, SQL_SUCCESS) << c.number;
        EXPECT_EQ(r.msg, kDriverPrefix + c.body) << c.number;
        EXPECT_EQ(r.state, c.state) << c.number;
        EXPECT_EQ(r.native, 0);
        EXPECT_EQ(r.len, int16_t(r.msg.size()));
        EXPECT_EQ(q.errNum, ERR_NONE);
    }
}

TEST_F(QueueFixture, NumberIsNeverReportedWhileTextsAreQueued) {
    q.errNum = ERR_GENERAL;
    ERR_Push(&q, "first[SQLSTATE:01000]", 1);
    ERR_Push(&q, "second[SQLSTATE:01004]", 2);
    EXPECT_EQ(GetRec(q, 2, ERR_MODE_TAKE).msg, "[Kestrune][ODBC]first");
    EXPECT_EQ(GetRec(q, 2, ERR_MODE_TAKE).msg, "[Kestrune][ODBC]second");
    EXPECT_EQ(GetRec(q, 2, ERR_MODE_TAKE).rc, SQL_NO_DATA);
}

TEST_F(QueueFixture, KeepModeReadsTheCurrentRecordAndChangesNothing) {
    q.errNum = ERR_GENERAL;
    ERR_Push(&q, "first[SQLSTATE:01000]", 1);
    ERR_Push(&q, "  second[SQLSTATE:S1093]", 2);
    q.curRec = 2;
    for (int i = 0; i < 2; ++i) {
        Rec r = GetRec(q, 3, ERR_MODE_KEEP);
        EXPECT_EQ(r.msg, "[Kestrune][ODBC]second");
        EXPECT_EQ(r.state, "07009");
        EXPECT_EQ(r.native, 2);
    }
    q.curRec = 1;
    EXPECT_EQ(GetRec(q, 3, ERR_MODE_KEEP).msg, "[Kestrune][ODBC]first");
    EXPECT_EQ(ERR_Count(&q), 2u);
    EXPECT_EQ(q.errNum, ERR_GENERAL);

    ErrQueue numberOnly{};
    numberOnly.errNum = ERR_CONNECTION_NOT_OPEN;
    numberOnly.curRec = 1;
    Rec r = GetRec(numberOnly, 3, ERR_MODE_KEEP);
    EXPECT_EQ(r.msg, std::string(kDriverPrefix) + "Connection not open");
    EXPECT_EQ(numberOnly.errNum, ERR_CONNECTION_NOT_OPEN);
}

TEST_F(QueueFixture, LongMessagesAreCutToTheBuffer) {
    // 16-byte prefix + 44 bytes of text = a 60-byte message.
    const std::string text(44, 'm');
    struct {
        int16_t bufLen;
        int16_t rc;
        std::string msg;
    } cases[] = {
        {10, SQL_SUCCESS_WITH_INFO, std::string("[Kestrune").substr(0, 9)},
        {60, SQL_SUCCESS_WITH_INFO, "[Kestrune][ODBC]" + text.substr(0, 43)},
        {61, SQL_SUCCESS, "[Kestrune][ODBC]" + text},
        {1, SQL_SUCCESS_WITH_INFO, ""},
    };
    for (const auto &c : cases) {
        ERR_Push(&q, (text + "[SQLSTATE:01000]").c_str(), 3);
        Rec r = GetRec(q, 2, ERR_MODE_TAKE, c.bufLen);
        EXPECT_EQ(r.rc, c.rc) << c.bufLen;
        EXPECT_EQ(r.msg, c.msg) << c.bufLen;
        EXPECT_EQ(r.len, 60) << c.bufLen;
        EXPECT_EQ(r.state, "01000");
        EXPECT_EQ(ERR_Count(&q), 0u) << "removed all the same";
    }
}

TEST_F(QueueFixture, TableMessagesAreCutTheSameWay) {
    q.errNum = ERR_FUNCTION_SEQUENCE;  // "[Kestrune][ODBC][Driver]Function sequence error": 47 bytes
    Rec r = GetRec(q, 2, ERR_MODE_TAKE, 10);
    EXPECT_EQ(r.rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(r.msg, "[Kestrune");
    EXPECT_EQ(r.len, 47);
    EXPECT_EQ(r.state, "S1010");
}

TEST_F(QueueFixture, ZeroLengthAndNullOutputsWriteNothing) {
    q.errNum = ERR_FUNCTION_SEQUENCE;
    char msg[4] = "abc";
    int16_t len = 0;
    EXPECT_EQ(ERR_GetRec(&q, 3, ERR_MODE_KEEP, nullptr, nullptr, msg, 0, &len),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(msg, "abc");
    EXPECT_EQ(len, 47);
    EXPECT_EQ(ERR_GetRec(&q, 3, ERR_MODE_KEEP, nullptr, nullptr, nullptr, 100, nullptr),
              SQL_SUCCESS);
    ERR_Push(&q, "t", 0);
    EXPECT_EQ(ERR_GetRec(&q, 3, ERR_MODE_TAKE, nullptr, nullptr, nullptr, 0, nullptr),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(ERR_GetRec(&q, 3, ERR_MODE_TAKE, nullptr, nullptr, nullptr, 0, nullptr),
              SQL_NO_DATA);
}

TEST_F(QueueFixture, NegativeBufferLengthIsRefusedWithoutRemovingAnything) {
    q.errNum = ERR_GENERAL;
    ERR_Push(&q, "t", 0);
    char msg[8] = "keep";
    int16_t len = 5;
    EXPECT_EQ(ERR_GetRec(&q, 3, ERR_MODE_TAKE, nullptr, nullptr, msg, -1, &len), SQL_ERROR);
    EXPECT_STREQ(msg, "keep");
    EXPECT_EQ(len, 0);
    EXPECT_EQ(ERR_Count(&q), 1u);
    EXPECT_EQ(q.errNum, ERR_GENERAL);
}

TEST_F(QueueFixture, TextLengthIsClampedTo16Bits) {
    std::string huge(40000, 'h');
    ERR_Push(&q, huge.c_str(), 0);
    char msg[32];
    int16_t len = 0;
    EXPECT_EQ(ERR_GetRec(&q, 3, ERR_MODE_TAKE, nullptr, nullptr, msg, sizeof msg, &len),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, 32767);
    EXPECT_EQ(strlen(msg), sizeof msg - 1);
}

}  // namespace

// Connection strings and data-source configuration without a database: the
// keyword parser, completion from odbc.ini, File DSNs and section "Default"
// through unixODBC's installer library (narrow and wide), the connection's
// fields, the options block and the output string.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "drv_jdbc/j-connstr.h"
#include "platform/odbcinst.h"
#include "drv_jdbc/j-options.h"
#include "odbc/connect.h"
#include "odbc/contract/handle_table.h"
#include "odbc/handles.h"
#include "odbc/startup.h"

namespace {

std::string g_dir;

class IniEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        char tmpl[] = "/tmp/krs-connstr-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        g_dir = tmpl;
        std::ofstream(g_dir + "/odbcinst.ini") << "";
        std::ofstream(g_dir + "/odbc.ini")
            << "[ODBC Data Sources]\npg = PG Test Driver\n\n"
               "[pg]\nDriver = x\nLastUser = z\nReadOnly = FALSE\nURLString = " + std::string(300, 'u') +
                   "\nNoAutoCommit = yes\nInitialSQL = /tmp/boot\n\n"
               "[Default]\nJdbcDriver = org.default.Driver\nUID = dflt\nFetchBufferSize = 7\n\n"
               "[nlb]\nLastUser = z\nNoLoginBox = 1\n\n"
               "[pg\xc3\xbc]\nUID = \xc3\xbcser\n";
        std::ofstream(g_dir + "/file.dsn") << "[ODBC]\nUID=fileuser\nURL={a=1;b=2}\nIV=Yes\n";
        setenv("ODBCSYSINI", g_dir.c_str(), 1);
        setenv("ODBCINSTINI", "odbcinst.ini", 1);
        setenv("ODBCINI", (g_dir + "/odbc.ini").c_str(), 1);
        setenv("HOME", g_dir.c_str(), 1);
    }
    void TearDown() override { std::system(("rm -rf " + g_dir).c_str()); }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new IniEnv);

// Value of a keyword after a parse, "<null>" when it has none.
std::string Val(int key)
{
    const char *v = dsnKeywords[key].value;
    return v ? v : "<null>";
}

void Parse(const std::string &text)
{
    ClearConnAttributes();
    std::string copy = text;
    ParseConnAttributes(&copy[0]);
}

TEST(Installer, ForwardersReachUnixOdbcByName)
{
    char buf[64] = {};
    EXPECT_EQ(inst::SQLGetPrivateProfileString("Default", "UID", "", buf, sizeof buf, "odbc.ini"), 4);
    EXPECT_STREQ(buf, "dflt");
    char16_t wbuf[64] = {};
    EXPECT_EQ(inst::SQLGetPrivateProfileStringW(u"Default", u"UID", u"", wbuf, 64, u"odbc.ini"), 4);
    EXPECT_EQ(std::u16string(wbuf), u"dflt");
    uint16_t len = 0;
    std::string path = g_dir + "/file.dsn";
    ASSERT_NE(inst::SQLReadFileDSN(path.c_str(), "ODBC", "UID", buf, sizeof buf, &len), 0);
    EXPECT_STREQ(buf, "fileuser");
    std::u16string wpath(path.begin(), path.end());
    ASSERT_NE(inst::SQLReadFileDSNW(wpath.c_str(), u"ODBC", u"URL", wbuf, 64, &len), 0);
    EXPECT_EQ(std::u16string(wbuf), u"{a=1;b=2}");
    // A function the library does not have: no address (and a message line).
    EXPECT_EQ(GetInstallerProc("SQLNoSuchInstallerFunction"), nullptr);
}

struct ParseCase {
    const char *text;
    int key;
    const char *value;
};

TEST(ConnStrParse, PairsKeysBracesAndRepeats)
{
    const ParseCase cases[] = {
        {"DRIVER={PG Driver};URL={a=1;b=2};UID=u", KW_DRIVER, "{PG Driver}"},
        {"DRIVER={PG Driver};URL={a=1;b=2};UID=u", KW_URL, "{a=1;b=2}"},
        {"DRIVER={PG Driver};URL={a=1;b=2};UID=u", KW_UID, "u"},
        {"uid=x;UID=y", KW_UID, "y"},
        {" PWD = {a;b=c} ;UID=u", KW_PWD, "a;b=c"},
        {" PWD = {a;b=c} ;UID=u", KW_UID, "u"},
        {"PWD=a}b;UID=u", KW_PWD, "a}b"},
        {"PWD=a}b;UID=u", KW_UID, "u"},
        {"novalue;Foo=bar;DSN=x", KW_DSN, "x"},
        {"PWD= x", KW_PWD, " x"},
        {"DSN={my dsn}", KW_DSN, "my dsn"},
        {"PWD==x=", KW_PWD, "=x="},
        {"Dyn_Curs_Sensitivity=high;", KW_DYN_CURS_SENSITIVITY, "high"},
        {"UID=u;;;", KW_UID, "u"},
        {"", KW_UID, "<null>"},
    };
    for (const ParseCase &c : cases) {
        Parse(c.text);
        EXPECT_EQ(Val(c.key), c.value) << c.text;
        EXPECT_EQ(dsnKeywords[c.key].supplied, c.value == std::string("<null>") ? 0 : 1) << c.text;
    }
    ClearConnAttributes();
}

TEST(ConnStrParse, MaskedCopyHidesEveryPassword)
{
    struct {
        const char *in;
        const char *out;
    } cases[] = {
        {"DSN=x;PWD=secret;UID=u", "DSN=x;PWD=***;UID=u"},
        {"pwd = {a;b=c};UID=u", "pwd =***;UID=u"},
        {"Password=s", "Password=***"},
        {"PWDX=visible", "PWDX=visible"},
        {"PWD", "PWD"},
    };
    for (const auto &c : cases) {
        char *m = ConnStrMasked(c.in);
        ASSERT_NE(m, nullptr);
        EXPECT_STREQ(m, c.out) << c.in;
        free(m);
    }
}

TEST(ConnStrValues, BooleansNumbersAndSensitivity)
{
    for (const char *t : {"TRUE", "true", "Yes", "yES", "1"})
        EXPECT_TRUE(ConnStrIsTrue(t)) << t;
    for (const char *t : {"FALSE", "no", "0", "", " 1", "yes ", "2"})
        EXPECT_FALSE(ConnStrIsTrue(t)) << t;
    EXPECT_FALSE(ConnStrIsTrue(nullptr));
    EXPECT_EQ(ParseCursorSensitivity("high"), 1);
    EXPECT_EQ(ParseCursorSensitivity("dynamic"), 2);
    EXPECT_EQ(ParseCursorSensitivity("xyz"), 0);
    EXPECT_EQ(ParseCursorSensitivity(nullptr), 0);
    EXPECT_STREQ(CursorSensitivityName(2), "DISABLED");
    char *d = DriverDescription("{PG Driver}");
    EXPECT_STREQ(d, "PG Driver");
    free(d);
    d = DriverDescription("plain");
    EXPECT_STREQ(d, "plain");
    free(d);
}

class ConnStrComplete : public ::testing::TestWithParam<int> {
protected:
    void Read(const std::string &text)
    {
        std::string copy = text;
        ReadConnAttributes(&copy[0], GetParam());
    }
    void TearDown() override { ClearConnAttributes(); }
};

TEST_P(ConnStrComplete, FromTheDataSourceSection)
{
    Read("DSN=pg;PWD=p");
    EXPECT_EQ(Val(KW_UID), "z");                 // LastUser stands in for UID
    EXPECT_EQ(Val(KW_READONLY), "FALS");         // room 5: four characters
    EXPECT_FALSE(ConnStrIsTrue(ConnAttr(KW_READONLY)));
    EXPECT_EQ(Val(KW_URL), std::string(254, 'u'));  // one 255-character read
    EXPECT_EQ(Val(KW_FBS), "");
    EXPECT_EQ(Val(KW_JDBC), "");                 // nothing from Default
    EXPECT_EQ(Val(KW_PWD), "p");
    EXPECT_EQ(dsnKeywords[KW_UID].supplied, 0);
    EXPECT_EQ(Val(KW_DRIVER), "<null>");         // only a connection string gives it
}

TEST_P(ConnStrComplete, FromSectionDefaultWithoutDsnOrFileDsn)
{
    Read("PWD=p");
    EXPECT_EQ(Val(KW_JDBC), "org.default.Driver");
    EXPECT_EQ(Val(KW_UID), "dflt");
    EXPECT_EQ(Val(KW_FBS), "7");
}

TEST_P(ConnStrComplete, FromAFileDsnByShortKeys)
{
    Read("FILEDSN=" + g_dir + "/file.dsn");
    EXPECT_EQ(Val(KW_UID), "fileuser");
    EXPECT_EQ(Val(KW_URL), "{a=1;b=2}");
    EXPECT_EQ(Val(KW_IV), "Yes");
    EXPECT_EQ(Val(KW_JDBC), "");
}

TEST_P(ConnStrComplete, MissingFileDsnLeavesValuesEmpty)
{
    Read("FILEDSN=" + g_dir + "/nothing.dsn;PWD=p");
    EXPECT_EQ(Val(KW_UID), "");
    EXPECT_EQ(Val(KW_PWD), "p");
}

TEST_P(ConnStrComplete, NonAsciiSectionAndValue)
{
    Read("DSN=pg\xc3\xbc");
    EXPECT_EQ(Val(KW_UID), "\xc3\xbcser");
}

INSTANTIATE_TEST_SUITE_P(BothWidths, ConnStrComplete, ::testing::Values('A', 'W'),
                         [](const auto &info) { return std::string(1, static_cast<char>(info.param)); });

// A connection of the handle layer, never opened.
class ConnApply : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env_), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_), SQL_SUCCESS);
        conn_ = static_cast<Conn *>(HT_Lookup(&ConnTable, HT_HandleIn(dbc_)));
        ASSERT_NE(conn_, nullptr);
    }
    void TearDown() override { SQLFreeHandle(SQL_HANDLE_ENV, env_); }

    // Applies a connection string; the output string (masked too) on success.
    SQLRETURN Apply(const std::string &in, SQLUSMALLINT completion = SQL_DRIVER_NOPROMPT, void *window = nullptr)
    {
        DriverConnectArgs a{};
        a.conn = conn_;
        a.window = window;
        a.in = in.c_str();
        a.inLen = SQL_NTS;
        a.completion = completion;
        a.width = 'A';
        return Finish(a);
    }
    SQLRETURN ApplyDirect(const char *dsn, const char *uid, const char *pwd)
    {
        DriverConnectArgs a{};
        a.conn = conn_;
        a.direct = 1;
        a.dsn = dsn;
        a.uid = uid;
        a.pwd = pwd;
        a.width = 'A';
        return Finish(a);
    }
    SQLRETURN Finish(const DriverConnectArgs &a)
    {
        char *o = nullptr, *s = nullptr;
        SQLRETURN rc = ConnApplyConnectArgs(&a, &o, &s);
        out_ = o ? o : "";
        shown_ = s ? s : "";
        free(o);
        free(s);
        return rc;
    }

    SQLHENV env_ = nullptr;
    SQLHDBC dbc_ = nullptr;
    Conn *conn_ = nullptr;
    std::string out_, shown_;
};

TEST_F(ConnApply, ShortOutputFormAndConnectionFields)
{
    ASSERT_EQ(Apply("DSN=pg;UID=u;PWD=p"), SQL_SUCCESS);
    EXPECT_EQ(out_, "DSN=pg;UID=u;PWD=p;FBS=60");
    EXPECT_EQ(shown_, "DSN=pg;UID=u;PWD=***;FBS=60");
    EXPECT_STREQ(conn_->dsn, "pg");
    EXPECT_STREQ(conn_->uid, "u");
    EXPECT_STREQ(conn_->pwd, "p");
    EXPECT_EQ(std::string(conn_->cn_dbopts), std::string(254, 'u'));
    EXPECT_EQ(conn_->cn_fetchSize, 60u);
    EXPECT_NE(conn_->appName, nullptr);
    EXPECT_EQ(drvOptions.noAutoCommit, 1);
    ASSERT_NE(drvOptions.initialSql, nullptr);
    EXPECT_STREQ(drvOptions.initialSql, "/tmp/boot");
    // Nothing of the keywords (the password among them) stays in the table.
    for (const DsnKeyword &kw : dsnKeywords)
        EXPECT_EQ(kw.value, nullptr) << kw.key;
}

TEST_F(ConnApply, FetchSizeAndSensitivity)
{
    struct {
        const char *in;
        uint32_t fetch;
        int sensitivity;
    } cases[] = {
        {"DSN=pg;FBS=0", 60, 0},
        {"DSN=pg;FBS=abc", 60, 0},
        {"DSN=pg;FBS=-5", 4294967291u, 0},
        {"DSN=pg;FBS= +12x", 12, 0},
        {"DSN=pg;FBS=+-3", 60, 0},
        {"DSN=pg;FBS=100;DYN_CURS_SENSITIVITY=high", 100, 1},
        {"DSN=pg;DYN_CURS_SENSITIVITY=dynamic", 60, 2},
        {"DSN=pg;DYN_CURS_SENSITIVITY=xyz", 60, 0},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(Apply(c.in), SQL_SUCCESS) << c.in;
        EXPECT_EQ(conn_->cn_fetchSize, c.fetch) << c.in;
        EXPECT_EQ(drvOptions.cursorSensitivity, c.sensitivity) << c.in;
    }
}

TEST_F(ConnApply, FlagsAreSetAndClearedByEachConnect)
{
    ASSERT_EQ(Apply("DSN=pg;READONLY=yes;MASE=1;IV=true;IA=YES"), SQL_SUCCESS);
    EXPECT_EQ(conn_->flags & (CN_READONLY | CN_MASE | CN_INCLUDE_VIEWS | CN_INCLUDE_ALL),
              CN_READONLY | CN_MASE | CN_INCLUDE_VIEWS | CN_INCLUDE_ALL);
    ASSERT_EQ(Apply("DSN=pg"), SQL_SUCCESS);
    EXPECT_EQ(conn_->flags & (CN_READONLY | CN_MASE | CN_INCLUDE_VIEWS | CN_INCLUDE_ALL), 0);
    EXPECT_NE(conn_->flags & CN_AUTOCOMMIT, 0);
}

TEST_F(ConnApply, AccessModeOfTheApplicationOutlivesTheConnect)
{
    // SQL_ATTR_ACCESS_MODE set on the handle decides; without it the data
    // source's READONLY does.
    struct {
        SQLULEN mode;  // ~0: never set
        const char *in;
        bool readOnly;
    } cases[] = {
        {~SQLULEN{0}, "DSN=pg", false},
        {~SQLULEN{0}, "DSN=pg;READONLY=yes", true},
        {SQL_MODE_READ_ONLY, "DSN=pg", true},
        {SQL_MODE_READ_ONLY, "DSN=pg;READONLY=no", true},
        {SQL_MODE_READ_WRITE, "DSN=pg;READONLY=yes", false},
    };
    for (const auto &c : cases) {
        SQLHDBC dbc = nullptr;
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc), SQL_SUCCESS);
        Conn *conn = static_cast<Conn *>(HT_Lookup(&ConnTable, HT_HandleIn(dbc)));
        if (c.mode != ~SQLULEN{0}) {
            ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(c.mode), 0),
                      SQL_SUCCESS);
        }
        DriverConnectArgs a{};
        a.conn = conn;
        a.in = c.in;
        a.inLen = SQL_NTS;
        a.width = 'A';
        for (int connect = 0; connect < 2; ++connect) {  // a reconnect keeps the choice
            ASSERT_EQ(Finish(a), SQL_SUCCESS) << c.in;
            EXPECT_EQ((conn->flags & CN_READONLY) != 0, c.readOnly) << c.mode << " " << c.in;
            SQLUINTEGER mode = 7;
            EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, &mode, 0, nullptr), SQL_SUCCESS);
            EXPECT_EQ(mode, static_cast<SQLUINTEGER>(c.readOnly ? SQL_MODE_READ_ONLY : SQL_MODE_READ_WRITE));
        }
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
}

TEST_F(ConnApply, DataSourceNameOfDefaultAndFileDsn)
{
    ASSERT_EQ(Apply("UID=u"), SQL_SUCCESS);
    EXPECT_STREQ(conn_->dsn, "Default");
    EXPECT_EQ(conn_->cn_fetchSize, 7u);
    ASSERT_EQ(Apply("FILEDSN=" + g_dir + "/file.dsn"), SQL_SUCCESS);
    EXPECT_EQ(conn_->dsn, nullptr);
    EXPECT_EQ(out_, "DSN=;UID=fileuser;PWD=;FBS=60");
    EXPECT_NE(conn_->flags & CN_INCLUDE_VIEWS, 0);
}

TEST_F(ConnApply, LongFormWithBracedValues)
{
    ASSERT_EQ(Apply("DRIVER={PG Driver};URL={a=1;b=2};UID=u;PWD={p;w=1};NOAC=1"), SQL_SUCCESS);
    EXPECT_EQ(out_.rfind("DRIVER={PG Driver};UID=u;PWD={p;w=1};JDBC=org.default.Driver;URL={a=1;b=2};FBS=7;"
                         "READONLY=;NLB=;MAXROWS=0;NOAC=TRUE;DYN_CURS_SENSITIVITY=LOW;DLF=FALSE;",
                         0),
              0u)
        << out_;
    EXPECT_NE(shown_.find(";PWD=***;"), std::string::npos) << shown_;
    EXPECT_EQ(shown_.find("p;w=1"), std::string::npos) << shown_;
    EXPECT_EQ(out_.substr(out_.size() - 32), "NEGPRECFIX=FALSE;Server=Kestrune");
}

TEST_F(ConnApply, OutputLongerThanAFixedBufferIsWhole)
{
    std::string url(10000, 'x');
    ASSERT_EQ(Apply("DRIVER={D};URL=" + url), SQL_SUCCESS);
    EXPECT_NE(out_.find(";URL=" + url + ";FBS="), std::string::npos);
}

TEST_F(ConnApply, InitialSqlOfAnEarlierConnectIsNotCarriedOver)
{
    ASSERT_EQ(Apply("DSN=nlb;INITSQL=/tmp/first"), SQL_SUCCESS);
    ASSERT_NE(drvOptions.initialSql, nullptr);
    ASSERT_EQ(Apply("DSN=nlb"), SQL_SUCCESS);
    EXPECT_EQ(drvOptions.initialSql, nullptr);
}

TEST_F(ConnApply, NoLoginBoxReadsTheUserFromUidOnly)
{
    // Section nlb has LastUser but no UID: with the login box off, UID is
    // read again from the value UID alone.
    ASSERT_EQ(Apply("DSN=nlb"), SQL_SUCCESS);
    EXPECT_STREQ(conn_->uid, "");
    ASSERT_EQ(Apply("DSN=pg"), SQL_SUCCESS);
    EXPECT_STREQ(conn_->uid, "z");
    ASSERT_EQ(Apply("DSN=pg;NLB=yes;UID=given"), SQL_SUCCESS);
    EXPECT_STREQ(conn_->uid, "given");
}

TEST_F(ConnApply, WithoutAWindowNoDialogIsAsked)
{
    // Section pg gives a user but no password.  The dialog library is not
    // found here, so a dialog asked for is never confirmed (no data).
    int window = 0;
    struct {
        SQLUSMALLINT completion;
        bool window;
        SQLRETURN rc;
    } cases[] = {
        {SQL_DRIVER_COMPLETE, false, SQL_SUCCESS},
        {SQL_DRIVER_COMPLETE_REQUIRED, false, SQL_SUCCESS},
        {SQL_DRIVER_PROMPT, false, SQL_ERROR},
        {SQL_DRIVER_NOPROMPT, false, SQL_SUCCESS},
        {SQL_DRIVER_COMPLETE, true, SQL_NO_DATA},
        {SQL_DRIVER_COMPLETE_REQUIRED, true, SQL_NO_DATA},
        {SQL_DRIVER_PROMPT, true, SQL_NO_DATA},
    };
    for (const auto &c : cases) {
        conn_->diag.errNum = 0;
        EXPECT_EQ(Apply("DSN=pg", c.completion, c.window ? &window : nullptr), c.rc)
            << c.completion << " window " << c.window;
        EXPECT_EQ(conn_->diag.errNum, c.rc == SQL_ERROR ? 142 : 0) << c.completion;
    }
    // Completed without a dialog, the connect has what the keywords gave.
    ASSERT_EQ(Apply("DSN=pg", SQL_DRIVER_COMPLETE), SQL_SUCCESS);
    EXPECT_EQ(out_, "DSN=pg;UID=z;PWD=;FBS=60");
}

TEST_F(ConnApply, SqlConnectValuesAreTakenLiterally)
{
    ASSERT_EQ(ApplyDirect("pg", "", "a;INITSQL=/tmp/evil;UID=root"), SQL_SUCCESS);
    EXPECT_STREQ(conn_->pwd, "a;INITSQL=/tmp/evil;UID=root");
    EXPECT_STREQ(conn_->uid, "z");  // an empty user comes from the data source
    EXPECT_STREQ(drvOptions.initialSql, "/tmp/boot");  // the section's, not the password's
    EXPECT_EQ(out_, "DSN=pg;UID=z;PWD={a;INITSQL=/tmp/evil;UID=root};FBS=60");
    ASSERT_EQ(ApplyDirect("", nullptr, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(conn_->dsn, "Default");
    EXPECT_STREQ(conn_->uid, "dflt");
}

TEST_F(ConnApply, RefusalsLeaveTheConnectionAsItWas)
{
    ASSERT_EQ(Apply("DSN=pg;UID=u"), SQL_SUCCESS);
    // The dialog cannot be confirmed here: no data, nothing changed.
    int window = 0;
    EXPECT_EQ(Apply("DSN=other;UID=v", SQL_DRIVER_PROMPT, &window), SQL_NO_DATA);
    EXPECT_STREQ(conn_->uid, "u");
    // Without a window it cannot be shown at all: IM008, nothing changed.
    EXPECT_EQ(Apply("DSN=other;UID=v", SQL_DRIVER_PROMPT), SQL_ERROR);
    EXPECT_EQ(conn_->diag.errNum, 142);
    EXPECT_STREQ(conn_->uid, "u");
    DriverConnectArgs a{};
    a.conn = conn_;
    a.in = "DSN=pg";
    a.inLen = -7;
    a.width = 'A';
    EXPECT_EQ(Finish(a), SQL_ERROR);
    EXPECT_EQ(conn_->diag.errNum, ERR_INVALID_LENGTH);
    // A negative output size is refused before anything is done.
    char outBuf[8];
    a.inLen = SQL_NTS;
    a.out = TXT_Out('A', TC_BYTES, outBuf, -1, static_cast<SQLSMALLINT *>(nullptr));
    conn_->diag.errNum = ERR_NONE;
    EXPECT_EQ(Finish(a), SQL_ERROR);
    EXPECT_EQ(conn_->diag.errNum, ERR_INVALID_LENGTH);
    conn_->state = CONN_CONNECTED;
    EXPECT_EQ(Apply("DSN=pg"), SQL_ERROR);
    EXPECT_EQ(conn_->diag.errNum, ERR_CONNECTION_IN_USE);
    conn_->state = CONN_ALLOCATED;
    EXPECT_STREQ(conn_->uid, "u");
}

} // namespace

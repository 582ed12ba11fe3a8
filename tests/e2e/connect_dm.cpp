// Connecting through unixODBC with both libraries: data sources, DRIVER=
// strings with JDBC properties, File DSNs, passwords holding ';' and '=',
// failed logins, transactions with autocommit on and off, initial SQL files,
// the output connection string and the login dialog's refusal.
#include "tests/e2e/connect_common.h"

#include <cstring>

using namespace conntest;

namespace {

PgEnv g_pg;
// "pässwörd;=x" in UTF-8: the password of a role made for the wide tests.
const char kUniPassword[] = "p\xc3\xa4ssw\xc3\xb6rd;=x";

class ConnectEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(g_pg));
        std::string extra;
        for (const Library &l : kLibraries) {
            std::string t = l.tag;
            // A role with a password; the user comes from LastUser.
            extra += "\n[e2e_pw_" + t + "]\nDriver = " + l.driver + "\nURLString = " +
                     Props(g_pg, "krs_e2e_pw_" + t) + "\nLastUser = " + g_pg.pwUser + "\n";
            // Autocommit off and an initial SQL file that leaves one row pending.
            extra += "\n[e2e_noac_" + t + "]\nDriver = " + l.driver + "\nURLString = " +
                     Props(g_pg, "krs_e2e_noac_" + t) + "\nUID = " + g_pg.trustUser +
                     "\nNoAutoCommit = Yes\nInitialSQL = @DIR@/noac_" + t + "\n";
            // An initial SQL file that sets search_path.
            extra += "\n[e2e_init_" + t + "]\nDriver = " + l.driver + "\nURLString = " +
                     Props(g_pg, "krs_e2e_init_" + t) + "\nUID = " + g_pg.trustUser +
                     "\nInitialSQL = @DIR@/init_" + t + ".sql\n";
        }
        ASSERT_TRUE(SetUpPrivateIni(g_pg, "e2e_", ""));
        for (size_t p; (p = extra.find("@DIR@")) != std::string::npos;)
            extra.replace(p, 5, TestDir());
        std::ofstream(TestDir() + "/odbc.ini", std::ios::app) << extra;
        PgPsql(g_pg, "drop schema if exists krs_e2e cascade; create schema krs_e2e; "
                     "create table krs_e2e.marks(tag text, v text)");
        PgPsql(g_pg, "drop role if exists krs_e2e_uni; create role krs_e2e_uni login password '" +
                         std::string(kUniPassword) + "'");
    }
    void TearDown() override
    {
        PgPsql(g_pg, "drop schema if exists krs_e2e cascade; drop role if exists krs_e2e_uni");
        RemovePrivateFiles();
    }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new ConnectEnv);

int Marks(const std::string &tag)
{
    return std::atoi(PgPsql(g_pg, "select count(*) from krs_e2e.marks where tag = '" + tag + "'").c_str());
}

class Connect : public ::testing::TestWithParam<Library> {
protected:
    std::string T() const { return GetParam().tag; }
    std::string Dsn() const { return "e2e_" + T(); }
    std::string App() const { return "e2e_" + T(); }
};

TEST_P(Connect, DataSourceConnectsAndDisconnectLeavesNoSession)
{
    Handles h;
    ASSERT_EQ(h.Connect(Dsn()), SQL_SUCCESS) << h.State();
    EXPECT_EQ(PgSessions(g_pg, App(), 1), 1);

    // A second connect on the same handle is refused; the first stays open.
    EXPECT_EQ(h.Connect(Dsn()), SQL_ERROR);
    EXPECT_EQ(h.State(), "08002");
    EXPECT_EQ(PgSessions(g_pg, App(), 1), 1);
    std::string out;
    EXPECT_EQ(h.DriverConnect("DSN=" + Dsn(), &out), SQL_ERROR);
    EXPECT_EQ(h.State(), "08002");

    ASSERT_EQ(SQLDisconnect(h.dbc), SQL_SUCCESS);
    EXPECT_EQ(PgSessions(g_pg, App(), 0), 0);
    EXPECT_EQ(SQLDisconnect(h.dbc), SQL_ERROR);
    EXPECT_EQ(h.State(), "08003");

    // The handle connects again after a disconnect.
    ASSERT_EQ(h.Connect(Dsn()), SQL_SUCCESS) << h.State();
    EXPECT_EQ(PgSessions(g_pg, App(), 1), 1);
}

TEST_P(Connect, DriverStringWithJdbcPropertiesGivesTheLongOutputForm)
{
    Handles h;
    std::string app = "krs_e2e_drv_" + T();
    std::string in = std::string("DRIVER={") + GetParam().driver + "};URL={" + Props(g_pg, app) +
                     "};UID=" + g_pg.trustUser + ";READONLY=yes;FBS=0;DYN_CURS_SENSITIVITY=high";
    std::string out;
    ASSERT_EQ(h.DriverConnect(in, &out), SQL_SUCCESS) << h.State();
    EXPECT_EQ(PgSessions(g_pg, app, 1), 1);
    std::string head = std::string("DRIVER={") + GetParam().driver + "};UID=" + g_pg.trustUser +
                       ";PWD=;JDBC=;URL={" + Props(g_pg, app) + "};FBS=60;READONLY=yes;NLB=;MAXROWS=0;"
                       "NOAC=FALSE;DYN_CURS_SENSITIVITY=HIGH;";
    EXPECT_EQ(out.substr(0, head.size()), head) << out;
    EXPECT_NE(out.find(";NEGPRECFIX=FALSE;Server=Kestrune"), std::string::npos) << out;
}

TEST_P(Connect, FileDsnThroughTheDriverManager)
{
    // unixODBC reads File DSNs itself and passes their pairs on unbraced, so
    // the property list here is one item (the driver's own File DSN reading
    // is tested with the library loaded directly).
    std::string app = "krs_e2e_fdsn_" + T();
    std::string path = TestDir() + "/file_" + T() + ".dsn";
    WriteFile(path, std::string("[ODBC]\nDRIVER=") + GetParam().driver + "\nURL=url=jdbc:postgresql://127.0.0.1:" +
                        std::to_string(g_pg.port) + "/" + g_pg.db + "?ApplicationName=" + app + "\nUID=" +
                        g_pg.trustUser + "\n");
    Handles h;
    std::string out;
    ASSERT_TRUE(Ok(h.DriverConnect("FILEDSN=" + path, &out))) << h.State();
    EXPECT_EQ(PgSessions(g_pg, app, 1), 1);
    ASSERT_EQ(SQLDisconnect(h.dbc), SQL_SUCCESS);
    EXPECT_EQ(PgSessions(g_pg, app, 0), 0);
}

TEST_P(Connect, BadPasswordReportsTheServerAndLeavesTheHandleReusable)
{
    Handles h;
    std::string dsn = "e2e_pw_" + T();
    std::string app = "krs_e2e_pw_" + T();
    ASSERT_EQ(h.Connect(dsn, g_pg.pwUser.c_str(), "wrong"), SQL_ERROR);
    std::string message;
    EXPECT_EQ(h.State(&message), "28P01");
    EXPECT_NE(message.find("[Kestrune][ODBC]"), std::string::npos) << message;
    EXPECT_NE(message.find("password authentication failed"), std::string::npos) << message;
    EXPECT_EQ(message.find("[SQLSTATE:"), std::string::npos) << message;
    EXPECT_EQ(PgSessions(g_pg, app, 0), 0);

    // The same handle with the right password, which holds ';' and '='; the
    // user comes from the section's LastUser.
    ASSERT_EQ(h.Connect(dsn, nullptr, g_pg.password.c_str()), SQL_SUCCESS) << h.State();
    EXPECT_EQ(PgPsql(g_pg, "select usename from pg_stat_activity where application_name = '" + app + "'"),
              g_pg.pwUser);
    ASSERT_EQ(SQLDisconnect(h.dbc), SQL_SUCCESS);

    // A braced value reaches the server without its braces.
    ASSERT_EQ(h.DriverConnect("DSN=" + dsn + "; PWD = {" + g_pg.password + "} "), SQL_SUCCESS) << h.State();
}

TEST_P(Connect, SQLConnectValuesCannotInjectKeywords)
{
    // The trust role ignores the password: were it pasted into a connection
    // string, its INITSQL would run the file and write a row.
    std::string file = TestDir() + "/inject_" + T() + ".sql";
    WriteFile(file, "insert into krs_e2e.marks values ('inject_" + T() + "', 'ran');\n");
    Handles h;
    std::string pwd = "x;INITSQL=" + file + ";READONLY=1";
    ASSERT_EQ(h.Connect(Dsn(), g_pg.trustUser.c_str(), pwd.c_str()), SQL_SUCCESS) << h.State();
    EXPECT_EQ(Marks("inject_" + T()), 0);
}

TEST_P(Connect, AutocommitOffRollsBackAndCommits)
{
    std::string tag = "noac_" + T();
    WriteFile(TestDir() + "/noac_" + T() + ".sql",
              "insert into krs_e2e.marks values ('" + tag + "', 'pending');\n");
    {
        Handles h;
        ASSERT_EQ(h.Connect("e2e_noac_" + T()), SQL_SUCCESS) << h.State();
        EXPECT_EQ(Marks(tag), 0);  // not committed yet
        ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, h.dbc, SQL_ROLLBACK), SQL_SUCCESS) << h.State();
        EXPECT_EQ(Marks(tag), 0);
        ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, h.dbc, SQL_COMMIT), SQL_SUCCESS) << h.State();
        EXPECT_EQ(Marks(tag), 0);  // the rolled-back row stays away
    }
    {
        Handles h;
        ASSERT_EQ(h.Connect("e2e_noac_" + T()), SQL_SUCCESS) << h.State();
        ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, h.dbc, SQL_COMMIT), SQL_SUCCESS) << h.State();
        EXPECT_EQ(Marks(tag), 1);
        ASSERT_EQ(SQLTransact(SQL_NULL_HENV, h.dbc, SQL_ROLLBACK), SQL_SUCCESS) << h.State();
        EXPECT_EQ(Marks(tag), 1);
    }
}

TEST_P(Connect, EndTranUnderAutocommitSucceeds)
{
    Handles h;
    ASSERT_EQ(h.Connect(Dsn()), SQL_SUCCESS) << h.State();
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, h.dbc, SQL_COMMIT), SQL_SUCCESS) << h.State();
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, h.dbc, SQL_ROLLBACK), SQL_SUCCESS) << h.State();
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, h.env, SQL_COMMIT), SQL_SUCCESS) << h.State();
}

TEST_P(Connect, InitialSqlFileRunsItsStatements)
{
    std::string tag = "init_" + T();
    std::string longText(700, 'k');  // longer than one 512-byte read
    WriteFile(TestDir() + "/init_" + T() + ".sql",
              "# comments and blank lines are skipped\n"
              "\n"
              "SET search_path TO krs_e2e,\n"
              "   public;\n"
              "insert into marks values ('" + tag + "', current_setting('search_path'));\n"
              "insert into marks values ('" + tag + "_long', '" + longText + "');\n"
              "insert into no_such_table values (1);\n"
              "insert into marks values ('" + tag + "_after', 'x');\n");
    Handles h;
    ASSERT_EQ(h.Connect("e2e_init_" + T()), SQL_SUCCESS) << h.State();
    EXPECT_EQ(PgPsql(g_pg, "select v from krs_e2e.marks where tag = '" + tag + "'"), "krs_e2e, public");
    EXPECT_EQ(PgPsql(g_pg, "select length(v) from krs_e2e.marks where tag = '" + tag + "_long'"), "700");
    // A failing statement does not stop the file.
    EXPECT_EQ(Marks(tag + "_after"), 1);
}

TEST_P(Connect, MissingInitialSqlFileDoesNotFailTheConnect)
{
    Handles h;
    std::string app = "krs_e2e_noinit_" + T();
    std::string in = std::string("DRIVER={") + GetParam().driver + "};URL={" + Props(g_pg, app) +
                     "};UID=" + g_pg.trustUser + ";INITSQL=" + TestDir() + "/does_not_exist";
    ASSERT_EQ(h.DriverConnect(in), SQL_SUCCESS) << h.State();
    EXPECT_EQ(PgSessions(g_pg, app, 1), 1);
}

TEST_P(Connect, CutOutputStringIsReportedAndTheConnectionStaysOpen)
{
    Handles h;
    std::string in = "DSN=" + Dsn() + ";UID=" + g_pg.trustUser;
    SQLCHAR out[12] = {};
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQLDriverConnect(h.dbc, nullptr, (SQLCHAR *)in.c_str(), SQL_NTS, out, sizeof out, &len,
                               SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(h.State(), "01004");
    std::string whole = "DSN=" + Dsn() + ";UID=" + g_pg.trustUser + ";PWD=;FBS=60";
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(whole.size()));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out)), whole.substr(0, sizeof out - 1));
    EXPECT_EQ(PgSessions(g_pg, App(), 1), 1);
    EXPECT_EQ(SQLDisconnect(h.dbc), SQL_SUCCESS);
}

TEST_P(Connect, WideDriverConnectCutsInCharacters)
{
    Handles h;
    std::u16string in = u"DSN=e2e_";
    in += static_cast<char16_t>(T()[0]);
    SQLWCHAR out[10] = {};
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQLDriverConnectW(h.dbc, nullptr, (SQLWCHAR *)in.c_str(), SQL_NTS, out, 10, &len,
                                SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(h.State(), "01004");
    std::string whole = "DSN=" + Dsn() + ";UID=" + g_pg.trustUser + ";PWD=;FBS=60";
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(whole.size()));
    std::string got;
    for (int i = 0; i < 10 && out[i]; ++i)
        got += static_cast<char>(out[i]);
    EXPECT_EQ(got, whole.substr(0, 9));
}

TEST_P(Connect, PromptWithTheShippedDialogIsNotConfirmed)
{
    Handles h;
    // No password in the data source: SQL_DRIVER_COMPLETE asks the dialog,
    // which the shipped library never confirms.
    EXPECT_EQ(h.DriverConnect("DSN=" + Dsn(), nullptr, SQL_DRIVER_COMPLETE, SomeWindow()), SQL_NO_DATA);
    // The library asked is the one laid beside the drivers.
    EXPECT_NE(ReadFile("/proc/self/maps").find(g_pg.libdir + "/libkrslogon.so"), std::string::npos);
    EXPECT_EQ(SQLDisconnect(h.dbc), SQL_ERROR);
    EXPECT_EQ(h.State(), "08003");
    // Without the login box the connect goes on with what it has.
    EXPECT_EQ(h.DriverConnect("DSN=" + Dsn() + ";NLB=Yes", nullptr, SQL_DRIVER_COMPLETE), SQL_SUCCESS)
        << h.State();
}

TEST_P(Connect, WithoutAWindowTheCompletingModesConnectWithWhatTheyHave)
{
    // No dialog can be shown: the server accepts or refuses what the
    // keywords give, and a refusal is its own diagnostic, never SQL_NO_DATA.
    struct Case {
        std::string in;
        SQLUSMALLINT completion;
        SQLRETURN rc;
        const char *state;   // of a refusal
        const char *words;   // in its message
    };
    std::string pw = "DSN=e2e_pw_" + T();
    const Case cases[] = {
        {"DSN=" + Dsn(), SQL_DRIVER_COMPLETE, SQL_SUCCESS, "", ""},  // the trust role, no password
        {"DSN=" + Dsn(), SQL_DRIVER_COMPLETE_REQUIRED, SQL_SUCCESS, "", ""},
        {pw + ";PWD={" + g_pg.password + "}", SQL_DRIVER_COMPLETE, SQL_SUCCESS, "", ""},
        {pw, SQL_DRIVER_COMPLETE, SQL_ERROR, "08004", "password"},  // the password role, none given
        {pw + ";PWD={ wrong}", SQL_DRIVER_COMPLETE_REQUIRED, SQL_ERROR, "28P01", "password authentication failed"},
    };
    for (const Case &c : cases) {
        Handles h;
        std::string message;
        SQLRETURN rc = h.DriverConnect(c.in, nullptr, c.completion);
        std::string state = h.State(&message);
        EXPECT_EQ(rc, c.rc) << c.in << " " << state << " " << message;
        EXPECT_EQ(state, c.state) << c.in << " " << message;
        EXPECT_NE(message.find(c.words), std::string::npos) << c.in << " " << message;
    }
}

TEST(WideConnect, NonAsciiPasswordThroughTheUnicodeLibrary)
{
    Handles h;
    std::u16string in = u"DSN=e2e_w;UID=krs_e2e_uni;PWD={p\u00e4ssw\u00f6rd;=x}";
    SQLWCHAR out[256] = {};
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQLDriverConnectW(h.dbc, nullptr, (SQLWCHAR *)in.c_str(), SQL_NTS, out, 256, &len,
                                SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS)
        << h.State();
    std::u16string back(reinterpret_cast<char16_t *>(out));
    EXPECT_NE(back.find(u";PWD={p\u00e4ssw\u00f6rd;=x};"), std::u16string::npos);
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(back.size()));
    EXPECT_EQ(PgPsql(g_pg, "select usename from pg_stat_activity where usename = 'krs_e2e_uni'"), "krs_e2e_uni");
    ASSERT_EQ(SQLDisconnect(h.dbc), SQL_SUCCESS);
    std::u16string user = u"krs_e2e_uni", pwd = u"p\u00e4ssw\u00f6rd;=x";
    EXPECT_EQ(SQLConnectW(h.dbc, (SQLWCHAR *)u"e2e_w", SQL_NTS, (SQLWCHAR *)user.c_str(), SQL_NTS,
                          (SQLWCHAR *)pwd.c_str(), SQL_NTS),
              SQL_SUCCESS)
        << h.State();
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, Connect, ::testing::ValuesIn(kLibraries),
                         [](const auto &info) { return std::string(info.param.tag); });

} // namespace

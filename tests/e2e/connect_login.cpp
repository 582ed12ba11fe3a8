// The login dialog through unixODBC, with the fake dialog library on
// LD_LIBRARY_PATH: it confirms with KRS_FAKE_LOGON_RESULT (or refuses when
// that is not set) and records what the driver showed it.
#include "tests/e2e/connect_common.h"

#include <cstdio>

using namespace conntest;

namespace {

PgEnv g_pg;

class LoginEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(g_pg));
        ASSERT_TRUE(SetUpPrivateIni(g_pg, "login_", ""));
    }
    void TearDown() override { RemovePrivateFiles(); }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new LoginEnv);

class Login : public ::testing::TestWithParam<Library> {
protected:
    void SetUp() override
    {
        record_ = TestDir() + "/prompts_" + GetParam().tag + ".txt";
        std::remove(record_.c_str());
        setenv("KRS_FAKE_LOGON_RECORD", record_.c_str(), 1);
        unsetenv("KRS_FAKE_LOGON_RESULT");
    }
    void TearDown() override
    {
        unsetenv("KRS_FAKE_LOGON_RECORD");
        unsetenv("KRS_FAKE_LOGON_RESULT");
    }
    std::string T() const { return GetParam().tag; }
    std::string Dsn() const { return "login_" + T(); }
    std::string Prompts() const { return ReadFile(record_); }
    std::string record_;
};

TEST_P(Login, ConfirmedDialogSuppliesTheConnectionString)
{
    std::string app = "krs_login_ok_" + T();
    std::string answer = std::string("DRIVER={") + GetParam().driver + "};URL={" + Props(g_pg, app) +
                         "};UID=" + g_pg.pwUser + ";PWD={" + g_pg.password + "}";
    setenv("KRS_FAKE_LOGON_RESULT", answer.c_str(), 1);
    Handles h;
    std::string out;
    std::string in = std::string("DRIVER={") + GetParam().driver + "};UID=nobody";
    ASSERT_EQ(h.DriverConnect(in, &out, SQL_DRIVER_COMPLETE, SomeWindow()), SQL_SUCCESS) << h.State();
    EXPECT_EQ(PgSessions(g_pg, app, 1), 1);
    EXPECT_EQ(PgPsql(g_pg, "select usename from pg_stat_activity where application_name = '" + app + "'"),
              g_pg.pwUser);
    // The dialog saw the driver's description and the string as given.
    std::string prompts = Prompts();
    EXPECT_EQ(prompts.substr(0, prompts.find('|')), GetParam().driver) << prompts;
    EXPECT_NE(prompts.find("|" + in + "|"), std::string::npos) << prompts;
    EXPECT_NE(out.find(";UID=" + g_pg.pwUser + ";PWD={" + g_pg.password + "};"), std::string::npos) << out;
}

TEST_P(Login, CancelledDialogGivesNoDataAndLeavesTheHandleAlone)
{
    Handles h;
    EXPECT_EQ(h.DriverConnect("DSN=" + Dsn(), nullptr, SQL_DRIVER_COMPLETE_REQUIRED, SomeWindow()), SQL_NO_DATA);
    std::string prompts = Prompts();
    EXPECT_EQ(prompts.substr(0, prompts.find('|')), GetParam().driver) << prompts;  // from the DSN list
    EXPECT_EQ(SQLDisconnect(h.dbc), SQL_ERROR);
    EXPECT_EQ(h.State(), "08003");
    // The handle is still usable.
    EXPECT_EQ(h.Connect(Dsn()), SQL_SUCCESS) << h.State();
}

TEST_P(Login, PromptDecisionFollowsTheCompletionTheWindowAndNoLoginBox)
{
    struct Case {
        std::string in;
        SQLUSMALLINT completion;
        bool window;
        bool prompts;
    };
    std::string full = "DSN=" + Dsn() + ";PWD=anything";
    const Case cases[] = {
        {"DSN=" + Dsn(), SQL_DRIVER_NOPROMPT, false, false},
        {full, SQL_DRIVER_COMPLETE, true, false},                      // user and password present
        {full, SQL_DRIVER_PROMPT, true, true},                         // always asks
        {"DSN=" + Dsn(), SQL_DRIVER_COMPLETE, true, true},             // no password
        {"DSN=" + Dsn(), SQL_DRIVER_COMPLETE_REQUIRED, true, true},
        {"DSN=" + Dsn() + ";PWD= x", SQL_DRIVER_COMPLETE, true, true}, // a value beginning with a blank
        {"DSN=" + Dsn() + ";NLB=Yes", SQL_DRIVER_PROMPT, true, false},
        {"DSN=" + Dsn() + ";NLB=1", SQL_DRIVER_COMPLETE, true, false},
        // No window, no dialog: the completing modes connect with what they have.
        {"DSN=" + Dsn(), SQL_DRIVER_COMPLETE, false, false},
        {"DSN=" + Dsn(), SQL_DRIVER_COMPLETE_REQUIRED, false, false},
    };
    for (const Case &c : cases) {
        std::remove(record_.c_str());
        Handles h;
        SQLRETURN rc = h.DriverConnect(c.in, nullptr, c.completion, c.window ? SomeWindow() : nullptr);
        std::string what = c.in + " completion " + std::to_string(c.completion) + (c.window ? " window" : "");
        EXPECT_EQ(!Prompts().empty(), c.prompts) << what;
        EXPECT_EQ(rc, c.prompts ? SQL_NO_DATA : SQL_SUCCESS) << what << " " << h.State();
    }
}

TEST_P(Login, WithoutAWindowAConfirmingDialogIsNotAsked)
{
    // The dialog would log in as the password role; without a window the
    // data source's own user connects instead.
    std::string app = "login_" + T();
    std::string answer = "DSN=" + Dsn() + ";UID=" + g_pg.pwUser + ";PWD={" + g_pg.password + "}";
    setenv("KRS_FAKE_LOGON_RESULT", answer.c_str(), 1);
    for (SQLUSMALLINT completion : {SQL_DRIVER_COMPLETE, SQL_DRIVER_COMPLETE_REQUIRED}) {
        Handles h;
        ASSERT_EQ(h.DriverConnect("DSN=" + Dsn(), nullptr, completion), SQL_SUCCESS) << h.State();
        EXPECT_EQ(Prompts(), "") << completion;
        EXPECT_EQ(PgPsql(g_pg, "select usename from pg_stat_activity where application_name = '" + app + "'"),
                  g_pg.trustUser);
        EXPECT_EQ(SQLDisconnect(h.dbc), SQL_SUCCESS);
        EXPECT_EQ(PgSessions(g_pg, app, 0), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, Login, ::testing::ValuesIn(kLibraries),
                         [](const auto &info) { return std::string(info.param.tag); });

} // namespace

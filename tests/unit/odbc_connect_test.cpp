// ConnOpen and the connect entry points over a recording back end: what
// DRV_Connect receives from narrow and wide connects, the capability word
// and its item-by-item fallback, failures of each step, disconnect and
// transactions, and the output connection string in both widths.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "drv_jdbc/j-errors.h"
#include "odbc/connect.h"
#include "odbc/contract/drv_connect_params.h"
#include "odbc/contract/drv_items.h"
#include "odbc/contract/drv_convtable.h"
#include "odbc/contract/drv_ops.h"
#include "odbc/contract/handle_table.h"
#include "odbc/handles.h"
#include "odbc/startup.h"

namespace {

// What the recording back end answers and what it saw.
struct Recorder {
    int envOpenResult = 0;
    int connectResult = 0;
    bool refuseWord = false;
    int32_t word = 13727;
    std::map<int, int32_t> items;           // answers of single items
    std::vector<int> asked;                 // GetInfo codes in order
    std::vector<std::pair<int, int32_t>> options;
    std::vector<std::string> serverErrors;  // handed out by GetErrors on the environment
    std::string serverText, user, password, dsn, dsProps;
    int readOnly = -1;
    int loginTimeout = -1;
    int connects = 0, disconnects = 0, envCloses = 0, commits = 0, rollbacks = 0;
};
Recorder g_rec;

constexpr int kEnv = 0x10001;
constexpr int kConn = 0x20001;
const DrvConvRow kRows[] = {{1, 0, 0x1}};

int FakeGetInfo(int h, int code, void *buf, int16_t, int16_t *outLen)
{
    g_rec.asked.push_back(code);
    int32_t v = 0;
    if (code == DrvInt(DRV_CONN_CAPABILITY_WORD)) {
        if (g_rec.refuseWord)
            return 1;
        v = g_rec.word;
    } else {
        auto it = g_rec.items.find(code);
        if (it == g_rec.items.end())
            return 1;
        v = it->second;
    }
    memcpy(buf, &v, 4);
    if (outLen)
        *outLen = 4;
    return 0;
}
int FakeSetOption(int, int code, void *value)
{
    g_rec.options.emplace_back(code, *static_cast<int32_t *>(value));
    return 0;
}
int FakeGetErrors(int h, ErrReport *out)
{
    if (h != kEnv || g_rec.serverErrors.empty())
        return ERR_INVALID_ARGUMENT;
    out->firstNative = 7;
    out->count = static_cast<uint32_t>(g_rec.serverErrors.size());
    out->texts = static_cast<char **>(calloc(out->count, sizeof(char *)));
    for (uint32_t i = 0; i < out->count; ++i)
        out->texts[i] = strdup(g_rec.serverErrors[i].c_str());
    g_rec.serverErrors.clear();
    return 0;
}
int FakeEnvOpen(const void *, int *out)
{
    *out = g_rec.envOpenResult ? 0 : kEnv;
    return g_rec.envOpenResult;
}
int FakeEnvClose(int)
{
    ++g_rec.envCloses;
    return 0;
}
int FakeConnect(int env, DrvConnectParams *p, int *out)
{
    ++g_rec.connects;
    g_rec.serverText.assign(p->serverText ? p->serverText : "<null>");
    g_rec.user = p->user;
    g_rec.password = p->password;
    g_rec.dsn = p->dsn;
    g_rec.dsProps = p->dsProps ? p->dsProps : "<null>";
    g_rec.readOnly = p->readOnly;
    g_rec.loginTimeout = p->loginTimeout;
    *out = g_rec.connectResult ? 0 : kConn;
    return g_rec.connectResult;
}
int FakeDisconnect(int)
{
    ++g_rec.disconnects;
    return 0;
}
int FakeCommit(int)
{
    ++g_rec.commits;
    return 0;
}
int FakeRollback(int)
{
    ++g_rec.rollbacks;
    return 0;
}
int FakeGetOpTable(int, void *req)
{
    auto *t = static_cast<DrvConvTable *>(req);
    t->rowCount = 1;
    t->rows = kRows;
    return 0;
}

DrvOpTable MakeTable()
{
    DrvOpTable t{};
    t.GetInfo = FakeGetInfo;
    t.SetOption = FakeSetOption;
    t.GetErrors = FakeGetErrors;
    t.EnvOpen = FakeEnvOpen;
    t.EnvClose = FakeEnvClose;
    t.Connect = FakeConnect;
    t.Disconnect = FakeDisconnect;
    t.Commit = FakeCommit;
    t.Rollback = FakeRollback;
    t.GetOpTable = FakeGetOpTable;
    return t;
}
const DrvOpTable g_table = MakeTable();

std::string g_dir;

class ConnectEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        char tmpl[] = "/tmp/krs-connect-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        g_dir = tmpl;
        std::ofstream(g_dir + "/odbcinst.ini") << "";
        std::ofstream(g_dir + "/odbc.ini") << "[pg]\nURLString = a=1\nUID = dsnuser\n\n[mase]\nMultipleActiveStmtsEmul = 1\n";
        setenv("ODBCSYSINI", g_dir.c_str(), 1);
        setenv("ODBCINSTINI", "odbcinst.ini", 1);
        setenv("ODBCINI", (g_dir + "/odbc.ini").c_str(), 1);
        setenv("HOME", g_dir.c_str(), 1);
        ConnUseBackendForTests(&g_table);
    }
    void TearDown() override
    {
        ConnUseBackendForTests(nullptr);
        std::system(("rm -rf " + g_dir).c_str());
    }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new ConnectEnv);

class ConnectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_rec = Recorder{};
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env_), SQL_SUCCESS);
        ASSERT_EQ(SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_), SQL_SUCCESS);
        conn_ = static_cast<Conn *>(HT_Lookup(&ConnTable, HT_HandleIn(dbc_)));
    }
    void TearDown() override { SQLFreeHandle(SQL_HANDLE_ENV, env_); }

    std::string State(std::string *msg = nullptr)
    {
        SQLCHAR state[6] = {}, text[512] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        if (SQLGetDiagRec(SQL_HANDLE_DBC, dbc_, 1, state, &native, text, sizeof text, &len) != SQL_SUCCESS)
            return "";
        if (msg)
            *msg = reinterpret_cast<char *>(text);
        return reinterpret_cast<char *>(state);
    }
    int Asked(int code) const
    {
        int n = 0;
        for (int c : g_rec.asked)
            n += c == code;
        return n;
    }
    SQLRETURN Connect(const char *dsn, const char *uid, const char *pwd)
    {
        return SQLConnect(dbc_, (SQLCHAR *)dsn, SQL_NTS, (SQLCHAR *)uid, SQL_NTS, (SQLCHAR *)pwd, SQL_NTS);
    }

    SQLHENV env_ = nullptr;
    SQLHDBC dbc_ = nullptr;
    Conn *conn_ = nullptr;
};

TEST_F(ConnectTest, NarrowConnectFillsTheConnectRecord)
{
    ASSERT_EQ(Connect("pg", "u", "p;w=1"), SQL_SUCCESS) << State();
    EXPECT_EQ(conn_->state, CONN_CONNECTED);
    EXPECT_EQ(g_rec.serverText, "");
    EXPECT_EQ(g_rec.user, "u");
    EXPECT_EQ(g_rec.password, "p;w=1");
    EXPECT_EQ(g_rec.dsn, "pg");
    EXPECT_EQ(g_rec.dsProps, "a=1");
    EXPECT_EQ(g_rec.readOnly, 0);
    EXPECT_EQ(g_rec.loginTimeout, 99);
    // The word answered: no single item, no UTF-8 question for a narrow connect.
    EXPECT_EQ(Asked(DrvInt(DRV_CONN_CAPABILITY_WORD)), 1);
    EXPECT_EQ(Asked(DrvInt(DRV_CONN_NEEDS_BIND)), 0);
    EXPECT_EQ(Asked(DrvInt(DRV_CONN_AUTOCOMMIT)), 0);
    EXPECT_EQ(Asked(DrvInt(DRV_CONN_UTF8_TEXT)), 0);
    EXPECT_EQ(conn_->cn_needbind, 1);
    EXPECT_EQ(conn_->cn_hasV2DAE, 0);
    EXPECT_EQ(conn_->cn_xaCap, 1);
    EXPECT_NE(conn_->flags & CN_AUTOCOMMIT, 0);
    EXPECT_EQ(conn_->convTable.type, 1);
    // The environment's ODBC version is handed on; no one-statement option.
    ASSERT_FALSE(g_rec.options.empty());
    EXPECT_EQ(g_rec.options.back(), std::make_pair(DrvInt(DRV_CONN_ODBC_VERSION), 3));
    for (auto &o : g_rec.options)
        EXPECT_NE(o.first, DrvInt(DRV_CONN_ONE_STATEMENT));
}

TEST_F(ConnectTest, WideConnectMarksTheServerText)
{
    ASSERT_EQ(SQLConnectW(dbc_, (SQLWCHAR *)u"pg", SQL_NTS, (SQLWCHAR *)u"\u00fcser", SQL_NTS, nullptr, 0),
              SQL_SUCCESS)
        << State();
    ASSERT_EQ(g_rec.serverText.size(), 4u);
    EXPECT_EQ(memcmp(g_rec.serverText.data(), "W\x7f\x01\x01", 4), 0);
    EXPECT_EQ(g_rec.user, "\xc3\xbcser");
    EXPECT_EQ(g_rec.password, "");
    EXPECT_EQ(Asked(DrvInt(DRV_CONN_UTF8_TEXT)), 1);
    EXPECT_EQ(conn_->narrowConversion, 1);  // the back end did not answer
}

TEST_F(ConnectTest, RefusedWordIsAskedItemByItem)
{
    g_rec.refuseWord = true;
    g_rec.items = {{DrvInt(DRV_CONN_NEEDS_BIND), 1},
                   {DrvInt(DRV_CONN_HAS_MORE_RESULTS), 0},
                   {DrvInt(DRV_CONN_HAS_DYNAMIC_CURSORS), 5},
                   {DrvInt(DRV_CONN_AUTOCOMMIT), 0}};
    ASSERT_EQ(Connect("pg", nullptr, nullptr), SQL_SUCCESS) << State();
    for (int item : {DRV_CONN_NEEDS_BIND, DRV_CONN_HAS_MORE_RESULTS, DRV_CONN_HAS_PARAM_ARRAYS,
                     DRV_CONN_HAS_SCROLL_CURSORS, DRV_CONN_HAS_DYNAMIC_CURSORS, DRV_CONN_HAS_V2_DAE,
                     DRV_CONN_SP_OUT_DEFER_FETCH, DRV_CONN_HAS_EXECUTE2, DRV_CONN_AUTOCOMMIT})
        EXPECT_EQ(Asked(DrvInt(item)), 1) << std::hex << item;
    EXPECT_EQ(conn_->cn_needbind, 1);
    EXPECT_EQ(conn_->cn_hasMoreRes, 0);
    EXPECT_EQ(conn_->cn_hasDynMixCurs, 1);
    EXPECT_EQ(conn_->cn_xaCap, 0);
    EXPECT_EQ(conn_->flags & CN_AUTOCOMMIT, 0);
}

TEST_F(ConnectTest, WordWithoutAutocommitBitAndOneStatementEmulation)
{
    g_rec.word = 13471;
    ASSERT_EQ(Connect("mase", nullptr, nullptr), SQL_SUCCESS) << State();
    EXPECT_EQ(conn_->flags & CN_AUTOCOMMIT, 0);
    EXPECT_NE(conn_->flags & CN_MASE, 0);
    bool sent = false;
    for (auto &o : g_rec.options)
        sent |= o == std::make_pair(DrvInt(DRV_CONN_ONE_STATEMENT), 1);
    EXPECT_TRUE(sent);
    EXPECT_EQ(g_rec.dsn, "mase");
    EXPECT_EQ(g_rec.user, "");
}

TEST_F(ConnectTest, EnvironmentRefusedGives08004)
{
    g_rec.envOpenResult = ERR_GENERAL;
    ASSERT_EQ(Connect("pg", "u", "p"), SQL_ERROR);
    std::string msg;
    EXPECT_EQ(State(&msg), "08004");
    EXPECT_EQ(msg, "[Kestrune][ODBC]Unable to allocate server handle");
    EXPECT_EQ(g_rec.connects, 0);
    EXPECT_EQ(conn_->state, CONN_ALLOCATED);
}

TEST_F(ConnectTest, FailedConnectQueuesTheServerTextsAndCanBeRetried)
{
    g_rec.connectResult = ERR_UNABLE_TO_CONNECT;
    g_rec.serverErrors = {"[Fake]login refused[SQLSTATE:28P01]"};
    ASSERT_EQ(Connect("pg", "u", "bad"), SQL_ERROR);
    std::string msg;
    EXPECT_EQ(State(&msg), "28P01");
    EXPECT_EQ(msg, "[Kestrune][ODBC][Fake]login refused");
    EXPECT_EQ(g_rec.envCloses, 1);
    EXPECT_EQ(conn_->state, CONN_ALLOCATED);
    EXPECT_EQ(conn_->serverHandle, 0u);

    g_rec.connectResult = 0;
    ASSERT_EQ(Connect("pg", "u", "good"), SQL_SUCCESS) << State();
    EXPECT_EQ(g_rec.password, "good");
}

TEST_F(ConnectTest, BadLengthsAndSecondConnect)
{
    EXPECT_EQ(SQLConnect(dbc_, (SQLCHAR *)"pg", -5, nullptr, 0, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(State(), "HY090");
    ASSERT_EQ(Connect("pg", nullptr, nullptr), SQL_SUCCESS);
    EXPECT_EQ(Connect("pg", nullptr, nullptr), SQL_ERROR);
    EXPECT_EQ(State(), "08002");
    SQLCHAR out[64];
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLDriverConnect(dbc_, nullptr, (SQLCHAR *)"DSN=pg", SQL_NTS, out, sizeof out, &len,
                               SQL_DRIVER_NOPROMPT),
              SQL_ERROR);
    EXPECT_EQ(State(), "08002");
    EXPECT_EQ(g_rec.connects, 1);
}

TEST_F(ConnectTest, DisconnectAndTransactions)
{
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_ERROR);
    EXPECT_EQ(State(), "08003");
    ASSERT_EQ(Connect("pg", nullptr, nullptr), SQL_SUCCESS);
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_SUCCESS);
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK), SQL_SUCCESS);
    EXPECT_EQ(g_rec.commits, 1);
    EXPECT_EQ(g_rec.rollbacks, 1);
    ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
    EXPECT_EQ(g_rec.disconnects, 1);
    EXPECT_EQ(g_rec.envCloses, 1);
    EXPECT_EQ(conn_->convTable.type, 0);
    EXPECT_EQ(SQLDisconnect(dbc_), SQL_ERROR);
    EXPECT_EQ(State(), "08003");
}

TEST_F(ConnectTest, OutputStringIsCutWithAWarningInEitherWidth)
{
    const std::string whole = "DSN=pg;UID=dsnuser;PWD=;FBS=60";
    SQLCHAR out[8] = {};
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQLDriverConnect(dbc_, nullptr, (SQLCHAR *)"DSN=pg", SQL_NTS, out, sizeof out, &len,
                               SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(State(), "01004");
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(whole.size()));
    EXPECT_STREQ(reinterpret_cast<char *>(out), whole.substr(0, 7).c_str());
    ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);

    SQLWCHAR wout[8] = {};
    ASSERT_EQ(SQLDriverConnectW(dbc_, nullptr, (SQLWCHAR *)u"DSN=pg", SQL_NTS, wout, 8, &len,
                                SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(whole.size()));
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(wout)), u"DSN=pg;");
    ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);

    // Room for everything: no warning, the length in characters.
    SQLWCHAR big[64] = {};
    ASSERT_EQ(SQLDriverConnectW(dbc_, nullptr, (SQLWCHAR *)u"DSN=pg", SQL_NTS, big, 64, &len,
                                SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS);
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(whole.size()));
}

} // namespace

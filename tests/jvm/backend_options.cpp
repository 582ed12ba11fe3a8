// The back end's information types, statement items and options against the
// PostgreSQL fixture: DatabaseMetaData answers and the driver's own, the
// delivery by value kind, option negotiation and the JDBC objects options
// reach.
#include "drv_jdbc/j-infotypes.h"
#include "drv_jdbc/j-wrap-dbmd.h"
#include "tests/jvm/stmt_support.h"

#include <sql.h>
#include <sqlext.h>

namespace {

class BackendOptions : public StmtTest {
protected:
    int32_t Int(int h, int code, int *rc = nullptr)
    {
        int32_t v = -12345;
        int16_t len = 0;
        int r = stmtOps().GetInfo(h, code, &v, 4, &len);
        if (rc)
            *rc = r;
        return v;
    }
    std::string Text(int h, int code, int *rc = nullptr)
    {
        char buf[4096] = "untouched";
        int16_t len = 0;
        int r = stmtOps().GetInfo(h, code, buf, sizeof buf, &len);
        if (rc)
            *rc = r;
        return buf;
    }
    int Set(int h, int code, int32_t *v) { return stmtOps().SetOption(h, code, v); }
    DrvConn *Rec() { return static_cast<DrvConn *>(HT_Lookup(&drvConnTable, static_cast<uint32_t>(conn))); }
};


TEST_F(BackendOptions, InformationTypes)
{
    struct TextCase {
        int type;
        const char *value;
    } texts[] = {
        {SQL_DBMS_NAME, "PostgreSQL"}, {SQL_SERVER_NAME, "PostgreSQL"}, {SQL_DRIVER_ODBC_VER, "03.50"},
        {SQL_ODBC_VER, "03.50.0000"}, {SQL_IDENTIFIER_QUOTE_CHAR, "\""}, {SQL_SEARCH_PATTERN_ESCAPE, "\\"},
        {SQL_DATA_SOURCE_NAME, " "}, {SQL_TABLE_TERM, "Table"}, {SQL_DATABASE_NAME, ""},
        {SQL_PROCEDURES, "Y"}, {SQL_COLUMN_ALIAS, "Y"}, {SQL_ORDER_BY_COLUMNS_IN_SELECT, "N"},
        {SQL_NEED_LONG_DATA_LEN, "Y"}, {SQL_USER_NAME, nullptr},
    };
    for (const TextCase &c : texts) {
        int rc = -1;
        std::string v = Text(conn, DrvText(DrvConnInfo(c.type)), &rc);
        EXPECT_EQ(rc, 0) << c.type << drainErrors(conn);
        if (c.value)
            EXPECT_EQ(v, c.value) << c.type;
        else
            EXPECT_EQ(v, pg.trustUser) << c.type;
    }
    EXPECT_FALSE(Text(conn, DrvText(DrvConnInfo(SQL_DBMS_VER))).empty());
    std::string keywords = Text(conn, DrvText(DrvConnInfo(SQL_KEYWORDS)));
    for (char &ch : keywords)
        ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    EXPECT_NE(keywords.find("LIMIT"), std::string::npos) << keywords;

    struct IntCase {
        int type;
        int32_t value;
    } ints[] = {
        {SQL_TXN_ISOLATION_OPTION, 15}, {SQL_DEFAULT_TXN_ISOLATION, SQL_TXN_READ_COMMITTED},
        {SQL_SCROLL_OPTIONS, 31}, {SQL_SCROLL_CONCURRENCY, 11}, {SQL_TXN_CAPABLE, SQL_TC_ALL},
        {SQL_GETDATA_EXTENSIONS, 7}, {SQL_IDENTIFIER_CASE, SQL_IC_LOWER},
        {SQL_CATALOG_LOCATION, SQL_CL_START}, {SQL_OJ_CAPABILITIES, 63}, {65003, 63},
        {SQL_MAX_IDENTIFIER_LEN, 30}, {SQL_ASYNC_MODE, 2}, {SQL_DRIVER_HDBC, 0},
    };
    for (const IntCase &c : ints) {
        int rc = -1;
        EXPECT_EQ(Int(conn, DrvInt(DrvConnInfo(c.type)), &rc), c.value) << c.type;
        EXPECT_EQ(rc, 0) << c.type;
    }
    // Function lists become masks of the names the table knows.
    EXPECT_NE(Int(conn, DrvInt(DrvConnInfo(SQL_NUMERIC_FUNCTIONS))) & SQL_FN_NUM_ABS, 0);
    EXPECT_NE(Int(conn, DrvInt(DrvConnInfo(SQL_STRING_FUNCTIONS))) & SQL_FN_STR_LENGTH, 0);
    int rc = -1;
    Int(conn, DrvInt(DrvConnInfo(SQL_CONVERT_INTEGER)), &rc);
    EXPECT_EQ(rc, 0);

    // The kind only chooses the delivery; unknown types are not answered.
    EXPECT_EQ(Int(conn, DrvInt(DrvConnInfo(SQL_DBMS_NAME)), &rc), 0);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(Text(conn, DrvText(DrvConnInfo(SQL_MAX_IDENTIFIER_LEN))), "");
    EXPECT_EQ(Int(conn, DrvInt(DrvConnInfo(SQL_DM_VER)), &rc), -12345);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(Int(conn, DrvInt(DrvConnInfo(4242)), &rc), -12345);
    EXPECT_EQ(rc, 1);
    // A live connection is not dead.
    EXPECT_EQ(Int(conn, DrvInt(DRV_CONN_DEAD), &rc), 0);
    EXPECT_EQ(rc, 0);
}

TEST_F(BackendOptions, GettersByName)
{
    Int(conn, DrvInt(DrvConnInfo(SQL_MAX_IDENTIFIER_LEN)));  // the connection's record now holds this thread's JNIEnv
    DrvConn *c = Rec();
    char buf[5] = "zzzz";
    EXPECT_EQ(jc_DatabaseMetaData_callString(c, c->metaData, "getDatabaseProductName", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "Post") << "cut to the buffer with its terminator";
    char one[1] = {'z'};
    EXPECT_EQ(jc_DatabaseMetaData_callString(c, c->metaData, "getDatabaseProductName", one, 1), 0);
    EXPECT_EQ(one[0], '\0');
    uint8_t yes = 7;
    EXPECT_EQ(jc_DatabaseMetaData_callBoolean(c, c->metaData, "supportsOuterJoins", &yes), 0);
    EXPECT_EQ(yes, 1);
    int32_t n = -1;
    EXPECT_EQ(jc_DatabaseMetaData_callInt(c, c->metaData, "getDefaultTransactionIsolation", &n), 0);
    EXPECT_EQ(n, SQL_TXN_READ_COMMITTED);
    EXPECT_EQ(jc_DatabaseMetaData_supportsTransactionIsolationLevel(c, c->metaData, &yes, 8), 0);
    EXPECT_EQ(yes, 1);
    // An unknown name fails through the exception check, with its text posted
    // and nothing written.
    n = -1;
    EXPECT_NE(jc_DatabaseMetaData_callInt(c, c->metaData, "noSuchMethod", &n), 0);
    EXPECT_EQ(n, -1);
    EXPECT_NE(drainErrors(conn).find("noSuchMethod"), std::string::npos);
    uint8_t valid = 0;
    EXPECT_EQ(jc_Connection_isValid(c, c->connection, 5, &valid), 0);
    EXPECT_EQ(valid, 1);
}

TEST_F(BackendOptions, OptionsOfTheConnectionBlockAnswer)
{
    DrvConn *c = Rec();
    c->options.jNoQuotedIdent = 1;
    c->options.noSearchEscape = 1;
    c->options.sqlDbmsName = strdup("KestrunePG");
    c->options.cursorSensitivity = 2;
    c->oneStmtEmulation = 1;
    EXPECT_EQ(Text(conn, DrvText(DrvConnInfo(SQL_IDENTIFIER_QUOTE_CHAR))), " ");
    EXPECT_EQ(Text(conn, DrvText(DrvConnInfo(SQL_SEARCH_PATTERN_ESCAPE))), "");
    EXPECT_EQ(Text(conn, DrvText(DrvConnInfo(SQL_DBMS_NAME))), "KestrunePG");
    EXPECT_EQ(Int(conn, DrvInt(DrvConnInfo(SQL_SCROLL_OPTIONS))), 17);
    EXPECT_EQ(Int(conn, DrvInt(DrvConnInfo(SQL_MAX_CONCURRENT_ACTIVITIES))), 0);
}

TEST_F(BackendOptions, ConnectionOptionsReachTheJdbcConnection)
{
    int32_t v = 0;
    EXPECT_EQ(Set(conn, DrvInt(DRV_CONN_AUTOCOMMIT), &v), 0);
    EXPECT_EQ(Int(conn, DrvInt(DRV_CONN_AUTOCOMMIT)), 0);
    v = SQL_TXN_SERIALIZABLE;
    EXPECT_EQ(Set(conn, DrvInt(DRV_CONN_ISOLATION), &v), 0);
    EXPECT_EQ(Int(conn, DrvInt(DRV_CONN_ISOLATION)), SQL_TXN_SERIALIZABLE);
    v = 1;
    EXPECT_EQ(Set(conn, DrvInt(DRV_CONN_ACCESS_MODE), &v), 0);
    EXPECT_EQ(Int(conn, DrvInt(DRV_CONN_ACCESS_MODE)), 1);

    // Read-only reaches the database: a write in the next transaction fails.
    int h = alloc();
    EXPECT_NE(run(h, "create temporary table krs_ro(v int)"), 0);
    drainErrors(h);
    EXPECT_EQ(stmtOps().Rollback(conn), 0);
    v = 0;
    EXPECT_EQ(Set(conn, DrvInt(DRV_CONN_ACCESS_MODE), &v), 0);
    v = 1;
    EXPECT_EQ(Set(conn, DrvInt(DRV_CONN_AUTOCOMMIT), &v), 0);

    v = 2;
    EXPECT_EQ(Set(conn, DrvInt(DRV_CONN_ODBC_VERSION), &v), 0);
    EXPECT_EQ(Rec()->odbcVersion, 2);
    EXPECT_EQ(Set(conn, DrvInt(DRV_CONN_FAILOVER), &v), ERR_NOT_CAPABLE);
    EXPECT_EQ(Set(conn, DrvInt(DrvConnOption(1201)), &v), ERR_NOT_CAPABLE);
    EXPECT_EQ(Set(0x7777, DrvInt(DRV_CONN_AUTOCOMMIT), &v), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(Set(env, 0x12030000, &v), ERR_NOT_CAPABLE);
}

TEST_F(BackendOptions, StatementOptionsAndItems)
{
    int h = alloc();
    int rc = -1;
    EXPECT_EQ(Int(h, DrvInt(DRV_STMT_ROW_COUNT), &rc), -1) << "no DML yet";
    EXPECT_EQ(rc, 0);

    struct Case {
        int code;
        int32_t asked;
        int rc;
        int32_t stored;
    } cases[] = {
        {DrvInt(DrvStmtOption(SQL_MAX_ROWS)), 200, 0, 200},
        {DrvInt(DrvStmtOption(SQL_NOSCAN)), 5, 0, 1},
        {DrvInt(DrvStmtOption(SQL_MAX_LENGTH)), 9000, 0, 9000},
        {DrvInt(DrvStmtOption(SQL_CONCURRENCY)), SQL_CONCUR_ROWVER, 75, SQL_CONCUR_VALUES},
        // no dynamic-cursor mark yet
        {DrvInt(DrvStmtOption(SQL_CURSOR_TYPE)), SQL_CURSOR_DYNAMIC, 75, SQL_CURSOR_KEYSET_DRIVEN},
        {DrvInt(DrvStmtOption(SQL_CURSOR_TYPE)), 7, 43, SQL_CURSOR_KEYSET_DRIVEN},
        {DrvInt(DrvStmtOption(SQL_KEYSET_SIZE)), 10, 75, 0},
        {DrvInt(DrvStmtOption(SQL_ROWSET_SIZE)), 101, 75, 100},
        {DrvInt(DrvStmtOption(SQL_SIMULATE_CURSOR)), 1, 0, 1},
        {DrvInt(DrvStmtOption(SQL_RETRIEVE_DATA)), 0, 0, 0},
        {DrvInt(DrvStmtOption(SQL_USE_BOOKMARKS)), 1, 0, 1},
        {DrvInt(DrvStmtOption(KRS_STMT_CURSOR_MODE)), 2, 0, 2},
        {DrvInt(DrvStmtOption(KRS_STMT_CURSOR_MODE)), 3, 21, 2},
        {0x32039999, 1, 43, -12345},
    };
    for (const Case &c : cases) {
        int32_t v = c.asked;
        EXPECT_EQ(Set(h, c.code, &v), c.rc) << std::hex << c.code;
        EXPECT_EQ(Int(h, c.code), c.stored) << std::hex << c.code;
    }
    // Once the capability word was asked, dynamic cursors and keyset sizes
    // are given.
    Int(conn, DrvInt(DRV_CONN_CAPABILITY_WORD));
    int32_t v = SQL_CURSOR_DYNAMIC;
    EXPECT_EQ(Set(h, DrvInt(DrvStmtOption(SQL_CURSOR_TYPE)), &v), 0);
    v = 8000;
    EXPECT_EQ(Set(h, DrvInt(DrvStmtOption(SQL_KEYSET_SIZE)), &v), ERR_OPTION_VALUE_CHANGED);
    EXPECT_EQ(v, 5000);
    EXPECT_EQ(Int(h, DrvInt(DrvStmtOption(SQL_KEYSET_SIZE))), 5000);

    // The row count of a DML statement is its update count.
    ASSERT_EQ(run(h, "create temporary table krs_rows(v int)"), 0) << drainErrors(h);
    int d = alloc();
    ASSERT_EQ(run(d, "insert into krs_rows select generate_series(1, 3)"), 0) << drainErrors(d);
    EXPECT_EQ(Int(d, DrvInt(DRV_STMT_ROW_COUNT)), 3);
    // A query timeout reaches the JDBC statement.
    v = 7;
    EXPECT_EQ(Set(d, DrvInt(DrvStmtOption(SQL_QUERY_TIMEOUT)), &v), 0);
    EXPECT_EQ(Int(d, DrvInt(DrvStmtOption(SQL_QUERY_TIMEOUT))), 7);
}

TEST_F(BackendOptions, MaxRowsIsCappedByTheConnectionLimit)
{
    Rec()->options.maxRows = 500;
    int h = alloc();
    struct Case {
        int32_t asked;
        int rc;
        int32_t stored;
    } cases[] = {{0, 75, 500}, {200, 0, 200}, {800, 75, 500}};
    for (const Case &c : cases) {
        int32_t v = c.asked;
        EXPECT_EQ(Set(h, DrvInt(DrvStmtOption(SQL_MAX_ROWS)), &v), c.rc) << c.asked;
        EXPECT_EQ(v, c.stored);
        EXPECT_EQ(Int(h, DrvInt(DrvStmtOption(SQL_MAX_ROWS))), c.stored);
    }
}

} // namespace

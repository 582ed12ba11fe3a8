// Diagnostics, driver information and attributes through unixODBC with both
// libraries: the records of a failed call, SQLGetInfo answers, connection
// attributes seen by the server, statement attributes, and the functions
// the Driver Manager lets through.
#include "tests/e2e/connect_common.h"

#include <algorithm>
#include <cctype>
#include <cstring>

using namespace conntest;

namespace {

PgEnv g_pg;

class InfoEnv : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(PgEnvLoad(g_pg));
        ASSERT_TRUE(SetUpPrivateIni(g_pg, "e2e_info_", ""));
        PgPsql(g_pg, "drop table if exists krs_e2e_info; create table krs_e2e_info(v int)");
    }
    void TearDown() override
    {
        PgPsql(g_pg, "drop table if exists krs_e2e_info");
        RemovePrivateFiles();
    }
};

const auto *const g_env = ::testing::AddGlobalTestEnvironment(new InfoEnv);

std::string Upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

class Info : public ::testing::TestWithParam<Library> {
protected:
    void SetUp() override { ASSERT_EQ(h.Connect(Dsn()), SQL_SUCCESS) << h.State(); }
    std::string T() const { return GetParam().tag; }
    std::string Dsn() const { return "e2e_info_" + T(); }
    std::string App() const { return Dsn(); }

    std::string InfoText(SQLUSMALLINT type)
    {
        char buf[512] = {};
        SQLSMALLINT len = 0;
        EXPECT_EQ(SQLGetInfo(h.dbc, type, buf, sizeof buf, &len), SQL_SUCCESS) << type << h.State();
        EXPECT_EQ(len, static_cast<SQLSMALLINT>(std::strlen(buf))) << type;
        return buf;
    }
    SQLUINTEGER ConnUInt(SQLINTEGER attr)
    {
        SQLUINTEGER v = 0xDEADBEEF;
        EXPECT_EQ(SQLGetConnectAttr(h.dbc, attr, &v, 0, nullptr), SQL_SUCCESS) << attr << h.State();
        return v;
    }
    // The last statement the server ran for this connection.
    std::string LastQuery()
    {
        return PgPsql(g_pg, "select query from pg_stat_activity where application_name = '" + App() + "'");
    }
    // A new statement that has run `sql`; the result of SQLExecDirect in *rc.
    SQLHSTMT Executed(const char *sql, SQLRETURN *rc)
    {
        SQLHSTMT s = nullptr;
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &s), SQL_SUCCESS);
        *rc = SQLExecDirect(s, (SQLCHAR *)sql, SQL_NTS);
        return s;
    }

    Handles h;
};

TEST_P(Info, DriverInformation)
{
    EXPECT_EQ(InfoText(SQL_DBMS_NAME), "PostgreSQL");
    EXPECT_EQ(InfoText(SQL_DBMS_VER).substr(0, 2), "15");
    EXPECT_EQ(InfoText(SQL_DRIVER_ODBC_VER), "03.50");
    EXPECT_EQ(InfoText(SQL_DATA_SOURCE_NAME), Dsn());
    EXPECT_EQ(InfoText(SQL_IDENTIFIER_QUOTE_CHAR), "\"");
    EXPECT_EQ(InfoText(SQL_USER_NAME), g_pg.trustUser);

    // A short buffer: the text cut, 01004, the whole length (asked in the
    // library's own width, which unixODBC passes through as it is).
    SQLSMALLINT len = 0;
    if (T() == "w") {
        SQLWCHAR small[5] = {};
        EXPECT_EQ(SQLGetInfoW(h.dbc, SQL_DBMS_NAME, small, sizeof small, &len), SQL_SUCCESS_WITH_INFO);
        EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(small)), u"Post");
        EXPECT_EQ(len, 20);
    } else {
        char small[5] = {};
        EXPECT_EQ(SQLGetInfo(h.dbc, SQL_DBMS_NAME, small, sizeof small, &len), SQL_SUCCESS_WITH_INFO);
        EXPECT_STREQ(small, "Post");
        EXPECT_EQ(len, 10);
    }
    EXPECT_EQ(h.State(), "01004");

    SQLUINTEGER options = 0;
    EXPECT_EQ(SQLGetInfo(h.dbc, SQL_TXN_ISOLATION_OPTION, &options, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(options, static_cast<SQLUINTEGER>(SQL_TXN_READ_UNCOMMITTED | SQL_TXN_READ_COMMITTED |
                                                SQL_TXN_REPEATABLE_READ | SQL_TXN_SERIALIZABLE));
    SQLUSMALLINT txn = 0;
    EXPECT_EQ(SQLGetInfo(h.dbc, SQL_TXN_CAPABLE, &txn, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(txn, SQL_TC_ALL);
    SQLUINTEGER convert = 0;
    EXPECT_EQ(SQLGetInfo(h.dbc, SQL_CONVERT_INTEGER, &convert, 0, nullptr), SQL_SUCCESS);
    EXPECT_NE(convert & SQL_CVT_CHAR, 0u);
    EXPECT_EQ(SQLGetInfo(h.dbc, 4242, &convert, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(h.State(), "HY096");
}

TEST_P(Info, EveryListedInformationTypeIsAnswered)
{
    // Each type the driver lists reaches the server's metadata and answers
    // at its width: text with its length, 16-bit or 32-bit.  (The handle
    // types and SQL_ODBC_VER are the Driver Manager's own answers.)
    enum Kind { TEXT, SHORT, INT };
    struct Case {
        SQLUSMALLINT type;
        Kind kind;
    } cases[] = {
        {SQL_DRIVER_NAME, TEXT}, {SQL_DRIVER_VER, TEXT}, {SQL_ROW_UPDATES, TEXT}, {SQL_SERVER_NAME, TEXT},
        {SQL_SEARCH_PATTERN_ESCAPE, TEXT}, {SQL_DATABASE_NAME, TEXT}, {SQL_DBMS_NAME, TEXT},
        {SQL_DBMS_VER, TEXT}, {SQL_ACCESSIBLE_TABLES, TEXT}, {SQL_ACCESSIBLE_PROCEDURES, TEXT},
        {SQL_PROCEDURES, TEXT}, {SQL_DATA_SOURCE_READ_ONLY, TEXT}, {SQL_EXPRESSIONS_IN_ORDERBY, TEXT},
        {SQL_IDENTIFIER_QUOTE_CHAR, TEXT}, {SQL_MULT_RESULT_SETS, TEXT}, {SQL_MULTIPLE_ACTIVE_TXN, TEXT},
        {SQL_OUTER_JOINS, TEXT}, {SQL_SCHEMA_TERM, TEXT}, {SQL_PROCEDURE_TERM, TEXT},
        {SQL_CATALOG_NAME_SEPARATOR, TEXT}, {SQL_CATALOG_TERM, TEXT}, {SQL_TABLE_TERM, TEXT},
        {SQL_USER_NAME, TEXT}, {SQL_INTEGRITY, TEXT}, {SQL_COLUMN_ALIAS, TEXT}, {SQL_KEYWORDS, TEXT},
        {SQL_ORDER_BY_COLUMNS_IN_SELECT, TEXT}, {SQL_SPECIAL_CHARACTERS, TEXT},
        {SQL_MAX_ROW_SIZE_INCLUDES_LONG, TEXT}, {SQL_NEED_LONG_DATA_LEN, TEXT}, {SQL_LIKE_ESCAPE_CLAUSE, TEXT},
        {SQL_DESCRIBE_PARAMETER, TEXT}, {SQL_CATALOG_NAME, TEXT}, {SQL_COLLATION_SEQ, TEXT},
        {SQL_MAX_DRIVER_CONNECTIONS, SHORT}, {SQL_MAX_CONCURRENT_ACTIVITIES, SHORT},
        {SQL_ODBC_SAG_CLI_CONFORMANCE, SHORT}, {SQL_ODBC_SQL_CONFORMANCE, SHORT},
        {SQL_CONCAT_NULL_BEHAVIOR, SHORT}, {SQL_CURSOR_COMMIT_BEHAVIOR, SHORT},
        {SQL_CURSOR_ROLLBACK_BEHAVIOR, SHORT}, {SQL_IDENTIFIER_CASE, SHORT}, {SQL_MAX_COLUMN_NAME_LEN, SHORT},
        {SQL_MAX_CURSOR_NAME_LEN, SHORT}, {SQL_MAX_SCHEMA_NAME_LEN, SHORT}, {SQL_MAX_PROCEDURE_NAME_LEN, SHORT},
        {SQL_MAX_CATALOG_NAME_LEN, SHORT}, {SQL_MAX_TABLE_NAME_LEN, SHORT}, {SQL_TXN_CAPABLE, SHORT},
        {SQL_CORRELATION_NAME, SHORT}, {SQL_NON_NULLABLE_COLUMNS, SHORT}, {SQL_FILE_USAGE, SHORT},
        {SQL_NULL_COLLATION, SHORT}, {SQL_GROUP_BY, SHORT}, {SQL_QUOTED_IDENTIFIER_CASE, SHORT},
        {SQL_MAX_COLUMNS_IN_GROUP_BY, SHORT}, {SQL_MAX_COLUMNS_IN_INDEX, SHORT},
        {SQL_MAX_COLUMNS_IN_ORDER_BY, SHORT}, {SQL_MAX_COLUMNS_IN_SELECT, SHORT},
        {SQL_MAX_COLUMNS_IN_TABLE, SHORT}, {SQL_MAX_TABLES_IN_SELECT, SHORT}, {SQL_MAX_USER_NAME_LEN, SHORT},
        {SQL_CATALOG_LOCATION, SHORT}, {SQL_ACTIVE_ENVIRONMENTS, SHORT}, {SQL_MAX_IDENTIFIER_LEN, SHORT},
        {SQL_FETCH_DIRECTION, INT}, {SQL_DEFAULT_TXN_ISOLATION, INT}, {SQL_SCROLL_CONCURRENCY, INT},
        {SQL_SCROLL_OPTIONS, INT}, {SQL_CONVERT_FUNCTIONS, INT}, {SQL_NUMERIC_FUNCTIONS, INT},
        {SQL_STRING_FUNCTIONS, INT}, {SQL_SYSTEM_FUNCTIONS, INT}, {SQL_TIMEDATE_FUNCTIONS, INT},
        {SQL_TXN_ISOLATION_OPTION, INT}, {SQL_LOCK_TYPES, INT}, {SQL_POS_OPERATIONS, INT},
        {SQL_POSITIONED_STATEMENTS, INT}, {SQL_GETDATA_EXTENSIONS, INT}, {SQL_BOOKMARK_PERSISTENCE, INT},
        {SQL_STATIC_SENSITIVITY, INT}, {SQL_ALTER_TABLE, INT}, {SQL_SCHEMA_USAGE, INT},
        {SQL_CATALOG_USAGE, INT}, {SQL_SUBQUERIES, INT}, {SQL_UNION, INT}, {SQL_MAX_INDEX_SIZE, INT},
        {SQL_MAX_ROW_SIZE, INT}, {SQL_MAX_STATEMENT_LEN, INT}, {SQL_MAX_CHAR_LITERAL_LEN, INT},
        {SQL_TIMEDATE_ADD_INTERVALS, INT}, {SQL_TIMEDATE_DIFF_INTERVALS, INT},
        {SQL_MAX_BINARY_LITERAL_LEN, INT}, {SQL_OJ_CAPABILITIES, INT}, {SQL_ALTER_DOMAIN, INT},
        {SQL_SQL_CONFORMANCE, INT}, {SQL_DATETIME_LITERALS, INT}, {SQL_BATCH_ROW_COUNT, INT},
        {SQL_BATCH_SUPPORT, INT}, {SQL_CONVERT_INTERVAL_DAY_TIME, INT}, {SQL_CONVERT_INTERVAL_YEAR_MONTH, INT},
        {SQL_CREATE_ASSERTION, INT}, {SQL_CREATE_CHARACTER_SET, INT}, {SQL_CREATE_COLLATION, INT},
        {SQL_CREATE_DOMAIN, INT}, {SQL_CREATE_SCHEMA, INT}, {SQL_CREATE_TABLE, INT},
        {SQL_CREATE_TRANSLATION, INT}, {SQL_CREATE_VIEW, INT}, {SQL_DROP_ASSERTION, INT},
        {SQL_DROP_CHARACTER_SET, INT}, {SQL_DROP_COLLATION, INT}, {SQL_DROP_DOMAIN, INT},
        {SQL_DROP_SCHEMA, INT}, {SQL_DROP_TABLE, INT}, {SQL_DROP_TRANSLATION, INT}, {SQL_DROP_VIEW, INT},
        {SQL_DYNAMIC_CURSOR_ATTRIBUTES1, INT}, {SQL_DYNAMIC_CURSOR_ATTRIBUTES2, INT},
        {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, INT}, {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, INT},
        {SQL_INDEX_KEYWORDS, INT}, {SQL_INFO_SCHEMA_VIEWS, INT}, {SQL_KEYSET_CURSOR_ATTRIBUTES1, INT},
        {SQL_KEYSET_CURSOR_ATTRIBUTES2, INT}, {SQL_ODBC_INTERFACE_CONFORMANCE, INT},
        {SQL_PARAM_ARRAY_ROW_COUNTS, INT}, {SQL_PARAM_ARRAY_SELECTS, INT}, {SQL_SQL92_DATETIME_FUNCTIONS, INT},
        {SQL_SQL92_FOREIGN_KEY_DELETE_RULE, INT}, {SQL_SQL92_FOREIGN_KEY_UPDATE_RULE, INT},
        {SQL_SQL92_GRANT, INT}, {SQL_SQL92_NUMERIC_VALUE_FUNCTIONS, INT}, {SQL_SQL92_PREDICATES, INT},
        {SQL_SQL92_RELATIONAL_JOIN_OPERATORS, INT}, {SQL_SQL92_REVOKE, INT},
        {SQL_SQL92_ROW_VALUE_CONSTRUCTOR, INT}, {SQL_SQL92_STRING_FUNCTIONS, INT},
        {SQL_SQL92_VALUE_EXPRESSIONS, INT}, {SQL_STANDARD_CLI_CONFORMANCE, INT},
        {SQL_STATIC_CURSOR_ATTRIBUTES1, INT}, {SQL_STATIC_CURSOR_ATTRIBUTES2, INT},
        {SQL_AGGREGATE_FUNCTIONS, INT}, {SQL_DDL_INDEX, INT}, {SQL_INSERT_STATEMENT, INT},
        {SQL_CURSOR_SENSITIVITY, INT}, {SQL_ASYNC_MODE, INT}, {SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, INT},
    };
    for (const Case &c : cases) {
        char buf[4096];
        std::memset(buf, 0x7F, sizeof buf);
        SQLSMALLINT len = -1;
        ASSERT_EQ(SQLGetInfo(h.dbc, c.type, buf, sizeof buf, &len), SQL_SUCCESS) << c.type << " " << h.State();
        switch (c.kind) {
        case TEXT: EXPECT_EQ(len, static_cast<SQLSMALLINT>(std::strlen(buf))) << c.type; break;
        case SHORT: EXPECT_EQ(len, 2) << c.type; break;
        case INT: EXPECT_EQ(len, 4) << c.type; break;
        }
    }
}

TEST_P(Info, EveryExportedFunctionStaysCallable)
{
    // The functions the libraries export: unixODBC disables any the driver
    // does not report.
    const SQLUSMALLINT exported[] = {
        SQL_API_SQLALLOCCONNECT, SQL_API_SQLALLOCENV, SQL_API_SQLALLOCSTMT, SQL_API_SQLBINDCOL,
        SQL_API_SQLCANCEL, SQL_API_SQLCOLATTRIBUTE, SQL_API_SQLCONNECT, SQL_API_SQLDESCRIBECOL,
        SQL_API_SQLDISCONNECT, SQL_API_SQLERROR, SQL_API_SQLEXECDIRECT, SQL_API_SQLEXECUTE,
        SQL_API_SQLFETCH, SQL_API_SQLFREECONNECT, SQL_API_SQLFREEENV, SQL_API_SQLFREESTMT,
        SQL_API_SQLGETCURSORNAME, SQL_API_SQLNUMRESULTCOLS, SQL_API_SQLPREPARE, SQL_API_SQLROWCOUNT,
        SQL_API_SQLSETCURSORNAME, SQL_API_SQLSETPARAM, SQL_API_SQLTRANSACT,
        SQL_API_SQLCOLUMNS, SQL_API_SQLDRIVERCONNECT, SQL_API_SQLGETCONNECTOPTION, SQL_API_SQLGETDATA,
        SQL_API_SQLGETFUNCTIONS, SQL_API_SQLGETINFO, SQL_API_SQLGETSTMTOPTION, SQL_API_SQLGETTYPEINFO,
        SQL_API_SQLPARAMDATA, SQL_API_SQLPUTDATA, SQL_API_SQLSETCONNECTOPTION, SQL_API_SQLSETSTMTOPTION,
        SQL_API_SQLSPECIALCOLUMNS, SQL_API_SQLSTATISTICS, SQL_API_SQLTABLES, SQL_API_SQLCOLUMNPRIVILEGES,
        SQL_API_SQLDESCRIBEPARAM, SQL_API_SQLFOREIGNKEYS, SQL_API_SQLMORERESULTS,
        SQL_API_SQLNATIVESQL, SQL_API_SQLNUMPARAMS, SQL_API_SQLPARAMOPTIONS, SQL_API_SQLPRIMARYKEYS,
        SQL_API_SQLPROCEDURECOLUMNS, SQL_API_SQLPROCEDURES, SQL_API_SQLTABLEPRIVILEGES,
        SQL_API_SQLBINDPARAMETER, SQL_API_SQLALLOCHANDLE, SQL_API_SQLCLOSECURSOR, SQL_API_SQLCOPYDESC,
        SQL_API_SQLENDTRAN, SQL_API_SQLFREEHANDLE, SQL_API_SQLGETCONNECTATTR, SQL_API_SQLGETDESCFIELD,
        SQL_API_SQLGETDESCREC, SQL_API_SQLGETDIAGFIELD, SQL_API_SQLGETDIAGREC, SQL_API_SQLGETENVATTR,
        SQL_API_SQLGETSTMTATTR, SQL_API_SQLSETCONNECTATTR, SQL_API_SQLSETDESCFIELD, SQL_API_SQLSETDESCREC,
        SQL_API_SQLSETENVATTR, SQL_API_SQLSETSTMTATTR, SQL_API_SQLFETCHSCROLL,
    };
    SQLUSMALLINT bits[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {};
    ASSERT_EQ(SQLGetFunctions(h.dbc, SQL_API_ODBC3_ALL_FUNCTIONS, bits), SQL_SUCCESS);
    for (SQLUSMALLINT id : exported) {
        EXPECT_TRUE(SQL_FUNC_EXISTS(bits, id)) << id;
        SQLUSMALLINT one = 0;
        EXPECT_EQ(SQLGetFunctions(h.dbc, id, &one), SQL_SUCCESS);
        EXPECT_EQ(one, SQL_TRUE) << id;
    }
    // Calls that reach the driver's attribute entry points answer.
    EXPECT_EQ(ConnUInt(SQL_ATTR_AUTOCOMMIT), SQL_AUTOCOMMIT_ON);
    SQLUINTEGER v = 0;
    EXPECT_EQ(SQLGetConnectOption(h.dbc, SQL_AUTOCOMMIT, &v), SQL_SUCCESS);
    EXPECT_EQ(v, SQL_AUTOCOMMIT_ON);
    SQLHSTMT s = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &s), SQL_SUCCESS);
    SQLULEN rowset = 0;
    EXPECT_EQ(SQLGetStmtOption(s, SQL_ROWSET_SIZE, &rowset), SQL_SUCCESS);
    EXPECT_EQ(rowset & 0xFFFFFFFFu, 1u);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
}

TEST_P(Info, ConnectionAttributesReachTheServer)
{
    EXPECT_EQ(SQLSetConnectAttr(h.dbc, SQL_ATTR_TXN_ISOLATION,
                                reinterpret_cast<SQLPOINTER>(SQL_TXN_SERIALIZABLE), 0),
              SQL_SUCCESS)
        << h.State();
    EXPECT_EQ(ConnUInt(SQL_ATTR_TXN_ISOLATION), static_cast<SQLUINTEGER>(SQL_TXN_SERIALIZABLE));
    EXPECT_NE(Upper(LastQuery()).find("SERIALIZABLE"), std::string::npos) << LastQuery();

    ASSERT_EQ(SQLSetConnectAttr(h.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_SUCCESS)
        << h.State();
    EXPECT_EQ(ConnUInt(SQL_ATTR_AUTOCOMMIT), SQL_AUTOCOMMIT_OFF);
    EXPECT_EQ(SQLSetConnectAttr(h.dbc, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(7), 0), SQL_ERROR);
    EXPECT_EQ(h.State(), "HY024");
    ASSERT_EQ(SQLSetConnectAttr(h.dbc, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0),
              SQL_SUCCESS)
        << h.State();
    EXPECT_EQ(ConnUInt(SQL_ATTR_ACCESS_MODE), SQL_MODE_READ_ONLY);

    EXPECT_EQ(SQLSetConnectAttr(h.dbc, 4242, reinterpret_cast<SQLPOINTER>(1), 0), SQL_ERROR);
    EXPECT_EQ(h.State(), "HY092");
    EXPECT_EQ(ConnUInt(SQL_ATTR_PACKET_SIZE), 4096u);

    // Statements see the settings.
    SQLRETURN rc = SQL_ERROR;
    SQLHSTMT s = Executed("SHOW transaction_isolation", &rc);
    ASSERT_TRUE(Ok(rc)) << Diag(SQL_HANDLE_STMT, s);
    ASSERT_EQ(SQLFetch(s), SQL_SUCCESS);
    char level[32] = {};
    SQLLEN ind = 0;
    ASSERT_TRUE(Ok(SQLGetData(s, 1, SQL_C_CHAR, level, sizeof level, &ind)));
    EXPECT_STREQ(level, "serializable");
    SQLFreeStmt(s, SQL_CLOSE);
    // Read-only under autocommit off: the database refuses the insert.
    EXPECT_EQ(SQLExecDirect(s, (SQLCHAR *)"insert into krs_e2e_info values (1)", SQL_NTS), SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, s), "25006");
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, h.dbc, SQL_ROLLBACK), SQL_SUCCESS);
    EXPECT_EQ(PgPsql(g_pg, "select count(*) from krs_e2e_info"), "0");
}

TEST_P(Info, AttributesSetBeforeConnectingAreApplied)
{
    Handles early;
    ASSERT_EQ(SQLSetConnectAttr(early.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLSetConnectAttr(early.dbc, SQL_ATTR_TXN_ISOLATION,
                                reinterpret_cast<SQLPOINTER>(SQL_TXN_REPEATABLE_READ), 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLSetConnectAttr(early.dbc, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0),
              SQL_SUCCESS);
    ASSERT_EQ(early.Connect(Dsn()), SQL_SUCCESS) << early.State();
    SQLUINTEGER v = 0;
    EXPECT_EQ(SQLGetConnectAttr(early.dbc, SQL_ATTR_AUTOCOMMIT, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, SQL_AUTOCOMMIT_OFF);
    EXPECT_EQ(SQLGetConnectAttr(early.dbc, SQL_ATTR_TXN_ISOLATION, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, static_cast<SQLUINTEGER>(SQL_TXN_REPEATABLE_READ));
    EXPECT_EQ(SQLGetConnectAttr(early.dbc, SQL_ATTR_ACCESS_MODE, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, static_cast<SQLUINTEGER>(SQL_MODE_READ_ONLY));
    // A connection opened read-only refuses the insert before the server.
    SQLHSTMT s = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, early.dbc, &s), SQL_SUCCESS);
    EXPECT_EQ(SQLExecDirect(s, (SQLCHAR *)"insert into krs_e2e_info values (2)", SQL_NTS), SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, s), "IM916");
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, early.dbc, SQL_ROLLBACK), SQL_SUCCESS) << early.State();
    EXPECT_EQ(PgPsql(g_pg, "select count(*) from krs_e2e_info"), "0");
    // Committing works in manual-commit mode, with nothing to commit.
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, early.dbc, SQL_COMMIT), SQL_SUCCESS) << early.State();
}

TEST_P(Info, ADeadConnectionIsReportedWithTheDriversRecords)
{
    EXPECT_EQ(ConnUInt(SQL_ATTR_CONNECTION_DEAD), SQL_CD_FALSE);
    PgPsql(g_pg, "select pg_terminate_backend(pid) from pg_stat_activity where application_name = '" + App() + "'");
    ASSERT_EQ(PgSessions(g_pg, App(), 0), 0);
    EXPECT_EQ(ConnUInt(SQL_ATTR_CONNECTION_DEAD), SQL_CD_TRUE);

    // An answer the server must give now fails: one record with the JDBC
    // SQLSTATE and the driver's prefix, no tag.
    char keywords[512] = {};
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetInfo(h.dbc, SQL_KEYWORDS, keywords, sizeof keywords, &len), SQL_ERROR);
    SQLCHAR state[6] = {};
    SQLINTEGER native = -1;
    SQLCHAR msg[512] = {};
    ASSERT_EQ(SQLGetDiagRec(SQL_HANDLE_DBC, h.dbc, 1, state, &native, msg, sizeof msg, &len), SQL_SUCCESS);
    std::string message = reinterpret_cast<char *>(msg);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(state)).substr(0, 2), "08") << state;
    EXPECT_EQ(message.rfind("[Kestrune][ODBC]", 0), 0u) << message;
    EXPECT_EQ(message.find("[SQLSTATE:"), std::string::npos) << message;
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(message.size()));
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_DBC, h.dbc, 2, state, &native, msg, sizeof msg, &len), SQL_NO_DATA);
    // A short buffer: cut, SQL_SUCCESS_WITH_INFO, the whole length.
    SQLCHAR small[8] = {};
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_DBC, h.dbc, 1, state, &native, small, sizeof small, &len),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(message.size()));
    EXPECT_STREQ(reinterpret_cast<char *>(small), message.substr(0, 7).c_str());
    SQLINTEGER number = 0;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, h.dbc, 0, SQL_DIAG_NUMBER, &number, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(number, 1);
}

TEST_P(Info, EnlistmentWithoutACoordinatorFailsWithAClearDiagnostic)
{
    int transaction = 0;  // stands for a coordinator's transaction object
    EXPECT_EQ(SQLSetConnectAttr(h.dbc, SQL_ATTR_ENLIST_IN_DTC, &transaction, SQL_IS_POINTER), SQL_ERROR);
    std::string message;
    EXPECT_EQ(h.State(&message), "IM932");
    EXPECT_NE(message.find("no transaction coordinator"), std::string::npos) << message;
    // The connection goes on unenlisted.
    EXPECT_EQ(ConnUInt(SQL_ATTR_CONNECTION_DEAD), SQL_CD_FALSE);
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, h.dbc, SQL_COMMIT), SQL_SUCCESS) << h.State();
}

TEST_P(Info, StatementAttributes)
{
    SQLHSTMT s = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &s), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(s, SQL_ATTR_MAX_LENGTH, reinterpret_cast<SQLPOINTER>(10000), 0), SQL_SUCCESS)
        << Diag(SQL_HANDLE_STMT, s);
    ASSERT_EQ(SQLSetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(20), 0), SQL_SUCCESS)
        << Diag(SQL_HANDLE_STMT, s);
    ASSERT_EQ(SQLSetStmtAttr(s, SQL_ATTR_MAX_ROWS, reinterpret_cast<SQLPOINTER>(3), 0), SQL_SUCCESS)
        << Diag(SQL_HANDLE_STMT, s);
    struct Case {
        SQLINTEGER attr;
        SQLULEN want;
    } cases[] = {
        {SQL_ATTR_MAX_LENGTH, 10000}, {SQL_ATTR_ROW_ARRAY_SIZE, 20}, {SQL_ATTR_MAX_ROWS, 3},
        {SQL_ATTR_QUERY_TIMEOUT, 0},  {SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY},
        {SQL_ATTR_CONCURRENCY, SQL_CONCUR_READ_ONLY}, {SQL_ATTR_KEYSET_SIZE, 0},
        {SQL_ATTR_PARAMSET_SIZE, 1},  {SQL_ATTR_NOSCAN, SQL_NOSCAN_OFF},
        {SQL_ATTR_RETRIEVE_DATA, SQL_RD_ON}, {SQL_ATTR_USE_BOOKMARKS, SQL_UB_OFF},
    };
    for (const Case &c : cases) {
        // SQLULEN values come back whole in a buffer filled with 0xFF.
        SQLULEN v;
        std::memset(&v, 0xFF, sizeof v);
        EXPECT_EQ(SQLGetStmtAttr(s, c.attr, &v, 0, nullptr), SQL_SUCCESS) << c.attr << Diag(SQL_HANDLE_STMT, s);
        EXPECT_EQ(v, c.want) << c.attr;
    }
    EXPECT_EQ(SQLSetStmtAttr(s, 4242, reinterpret_cast<SQLPOINTER>(1), 0), SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, s), "HY092");

    // MAX_ROWS limits a real result.
    SQLRETURN rc = SQLExecDirect(s, (SQLCHAR *)"select generate_series(1, 10)", SQL_NTS);
    ASSERT_TRUE(Ok(rc)) << Diag(SQL_HANDLE_STMT, s);
    ASSERT_EQ(SQLSetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0), SQL_SUCCESS);
    int rows = 0;
    while (Ok(SQLFetch(s)))
        ++rows;
    EXPECT_EQ(rows, 3);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
}

// The capabilities say what the cursors are: forward-only, and static,
// keyset-driven, mixed and dynamic where the cursor library serves the
// connection, static and keyset-driven ones with bookmarks and SQLSetPos.
// Another cursor type is changed to the nearest one served (01S02) and the
// statement still fetches.
TEST_P(Info, CursorsSayWhatTheyServe)
{
    SQLHSTMT s = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &s), SQL_SUCCESS);
    SQLULEN served = 99;
    SQLRETURN staticRc = SQLSetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0);
    ASSERT_EQ(SQLGetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, &served, 0, nullptr), SQL_SUCCESS);
    const bool scrolls = served == SQL_CURSOR_STATIC;
    EXPECT_EQ(staticRc, scrolls ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO);

    struct Capability {
        SQLUSMALLINT type;
        SQLUINTEGER forwardOnly;
        SQLUINTEGER withStatic;
    } capabilities[] = {
        {SQL_SCROLL_OPTIONS, SQL_SO_FORWARD_ONLY,
         SQL_SO_FORWARD_ONLY | SQL_SO_STATIC | SQL_SO_KEYSET_DRIVEN | SQL_SO_DYNAMIC | SQL_SO_MIXED},
        {SQL_FETCH_DIRECTION, SQL_FD_FETCH_NEXT,
         SQL_FD_FETCH_NEXT | SQL_FD_FETCH_FIRST | SQL_FD_FETCH_LAST | SQL_FD_FETCH_PRIOR | SQL_FD_FETCH_ABSOLUTE |
             SQL_FD_FETCH_RELATIVE | SQL_FD_FETCH_BOOKMARK},
        {SQL_SCROLL_CONCURRENCY, SQL_SCCO_READ_ONLY, SQL_SCCO_READ_ONLY | SQL_SCCO_LOCK | SQL_SCCO_OPT_VALUES},
        {SQL_POS_OPERATIONS, 0,
         SQL_POS_POSITION | SQL_POS_REFRESH | SQL_POS_UPDATE | SQL_POS_DELETE | SQL_POS_ADD},
        {SQL_BOOKMARK_PERSISTENCE, 0, SQL_BP_SCROLL}, {SQL_LOCK_TYPES, 0, SQL_LCK_NO_CHANGE},
        {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, SQL_CA1_NEXT, SQL_CA1_NEXT},
        // Each cursor type says what it does: a static cursor is positioned
        // and refreshed, and under lock or values concurrency its rows are
        // updated and deleted.
        {SQL_STATIC_CURSOR_ATTRIBUTES1, 0,
         SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK | SQL_CA1_LOCK_NO_CHANGE |
             SQL_CA1_POS_POSITION | SQL_CA1_POS_REFRESH | SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE},
        {SQL_KEYSET_CURSOR_ATTRIBUTES1, 0,
         SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK | SQL_CA1_LOCK_NO_CHANGE |
             SQL_CA1_POS_POSITION | SQL_CA1_POS_REFRESH | SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE},
        // Dynamic cursors have no absolute rows and no bookmarks.
        {SQL_DYNAMIC_CURSOR_ATTRIBUTES1, 0,
         SQL_CA1_NEXT | SQL_CA1_RELATIVE | SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION | SQL_CA1_POS_REFRESH |
             SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE},
    };
    for (const Capability &c : capabilities) {
        SQLUINTEGER v = 0xDEADBEEF;
        EXPECT_EQ(SQLGetInfo(h.dbc, c.type, &v, sizeof v, nullptr), SQL_SUCCESS) << c.type << h.State();
        EXPECT_EQ(v, scrolls ? c.withStatic : c.forwardOnly) << c.type;
    }
    for (SQLUSMALLINT type :
         {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, SQL_STATIC_CURSOR_ATTRIBUTES2, SQL_KEYSET_CURSOR_ATTRIBUTES2,
          SQL_DYNAMIC_CURSOR_ATTRIBUTES2}) {
        SQLUINTEGER a2 = 0;
        ASSERT_EQ(SQLGetInfo(h.dbc, type, &a2, sizeof a2, nullptr), SQL_SUCCESS);
        if (type == SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2 || scrolls)
            EXPECT_TRUE(a2 & SQL_CA2_READ_ONLY_CONCURRENCY) << type;
        // Keyset-driven, mixed, dynamic and static cursors lock their rows or
        // read their values; row versions are no concurrency of this driver.
        const bool keyed = scrolls && (type == SQL_KEYSET_CURSOR_ATTRIBUTES2 || type == SQL_DYNAMIC_CURSOR_ATTRIBUTES2 ||
                                       type == SQL_STATIC_CURSOR_ATTRIBUTES2);
        EXPECT_EQ((a2 & SQL_CA2_LOCK_CONCURRENCY) != 0, keyed) << type;
        EXPECT_EQ((a2 & SQL_CA2_OPT_VALUES_CONCURRENCY) != 0, keyed) << type;
        EXPECT_FALSE(a2 & SQL_CA2_OPT_ROWVER_CONCURRENCY) << type;
    }

    // Keyset-driven and dynamic cursors are served where static ones are.
    for (SQLULEN type : {SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_DYNAMIC}) {
        const bool served = scrolls;
        EXPECT_EQ(SQLSetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(type), 0),
                  served ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO)
            << type;
        if (!served)
            EXPECT_EQ(Diag(SQL_HANDLE_STMT, s), "01S02") << type;
        SQLULEN back = 99;
        EXPECT_EQ(SQLGetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, &back, 0, nullptr), SQL_SUCCESS);
        EXPECT_EQ(back, served    ? type
                        : scrolls ? static_cast<SQLULEN>(SQL_CURSOR_STATIC)
                                  : static_cast<SQLULEN>(SQL_CURSOR_FORWARD_ONLY))
            << type;
    }
    if (scrolls) {
        EXPECT_EQ(SQLSetStmtAttr(s, SQL_ATTR_CURSOR_SCROLLABLE, reinterpret_cast<SQLPOINTER>(SQL_SCROLLABLE), 0),
                  SQL_SUCCESS);
    } else {
        EXPECT_EQ(SQLSetStmtAttr(s, SQL_ATTR_CURSOR_SCROLLABLE, reinterpret_cast<SQLPOINTER>(SQL_SCROLLABLE), 0),
                  SQL_ERROR);
        EXPECT_EQ(Diag(SQL_HANDLE_STMT, s), "HYC00");
    }
    EXPECT_EQ(SQLSetStmtAttr(s, SQL_ATTR_CURSOR_SCROLLABLE, reinterpret_cast<SQLPOINTER>(SQL_NONSCROLLABLE), 0),
              SQL_SUCCESS);

    // Forward-only: only NEXT.
    ASSERT_TRUE(Ok(SQLExecDirect(s, (SQLCHAR *)"select generate_series(1, 3)", SQL_NTS))) << Diag(SQL_HANDLE_STMT, s);
    EXPECT_EQ(SQLFetchScroll(s, SQL_FETCH_LAST, 0), SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, s), "HY106");
    ASSERT_EQ(SQLFetch(s), SQL_SUCCESS) << Diag(SQL_HANDLE_STMT, s);
    // A forward-only cursor can neither be positioned nor take bulk
    // operations.
    EXPECT_EQ(SQLSetPos(s, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, s), "HY109") << "SQLSetPos";
    EXPECT_EQ(SQLBulkOperations(s, SQL_ADD), SQL_ERROR);
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, s), "IM924") << "SQLBulkOperations";
    int rows = 1;
    while (Ok(SQLFetch(s)))
        ++rows;
    EXPECT_EQ(rows, 3);
    // SQLExtendedFetch moves a forward-only cursor forward.
    ASSERT_EQ(SQLCloseCursor(s), SQL_SUCCESS);
    ASSERT_TRUE(Ok(SQLExecDirect(s, (SQLCHAR *)"select generate_series(1, 3)", SQL_NTS))) << Diag(SQL_HANDLE_STMT, s);
    rows = 0;
    SQLULEN got = 0;
    SQLUSMALLINT status[1] = {};
    for (SQLRETURN rc; (rc = SQLExtendedFetch(s, SQL_FETCH_NEXT, 0, &got, status)) != SQL_NO_DATA; ++rows) {
        ASSERT_EQ(rc, SQL_SUCCESS) << Diag(SQL_HANDLE_STMT, s);
        EXPECT_EQ(got, 1u);
        EXPECT_EQ(status[0], SQL_ROW_SUCCESS);
    }
    EXPECT_EQ(rows, 3);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
}

TEST_P(Info, AServerErrorIsOneRecord)
{
    SQLRETURN rc = SQL_ERROR;
    SQLHSTMT s = Executed("select * from krs_no_such_table", &rc);
    EXPECT_EQ(rc, SQL_ERROR);
    std::string message;
    EXPECT_EQ(Diag(SQL_HANDLE_STMT, s, &message), "42P01");
    EXPECT_EQ(message.rfind("[Kestrune][ODBC]", 0), 0u) << message;
    EXPECT_EQ(message.find("[SQLSTATE:"), std::string::npos) << message;
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR msg[16] = {};
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, s, 1, state, &native, msg, sizeof msg, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(message.size()));
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, s, 2, state, &native, msg, sizeof msg, &len), SQL_NO_DATA);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, Info, ::testing::ValuesIn(kLibraries),
                         [](const auto &info) { return std::string(info.param.tag); });

} // namespace

// The statement layer over a scripted back end: prepare and parameter
// classes, the parameter block of the classic execute, data at execution
// on both roads (the driver's and the V2 back end's), the block fetch,
// SQLGetData, result descriptions, cursor names and native SQL, and the
// cursor-state queries.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "exec/st_internal.h"
#include "odbc/conn.h"
#include "odbc/contract/drv_items.h"
#include "odbc/contract/handle_table.h"
#include "odbc/handles.h"
#include "odbc/contract/param_types.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/startup.h"
#include "tests/unit/odbc_test_support.h"

namespace {

SQLCHAR *Sql(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

// One cell of a received parameter block, as the tests look at it.
struct Cell {
    int16_t ind;
    std::vector<uint8_t> bytes;
};

struct SentColumn {
    ValueType vt;
    uint32_t width;
    std::vector<Cell> cells;
};

// What the scripted back end answers and what it was sent.
struct Script {
    std::vector<std::string> paramNames;   // one parameter description each
    std::vector<std::pair<std::string, ColDesc>> cols;
    int prepareResult = 0;
    int execResult = 0;
    int rowCount = -1;
    int cursorTypeAnswer = -1;             // statement item 0x32030006, -1 = as asked
    int setOptionCalls = 0;
    std::vector<SentColumn> sent;          // the last parameter block
    int sentRows = 0;
    std::vector<ParamTypeDesc> types;
    int execCalls = 0;
    // Fetch: the rows of the result (ids) and the most rows per call.
    std::vector<int32_t> rows;
    size_t next = 0;
    int perCall = 1000;
    std::vector<int> fetchAsked;
    // Cursor name and native SQL.
    std::string cursorName = "SQL_CUR1";
    int cursorResult = 0;
    int nativeResult = 0;
    int32_t nativeSize = -1;
    // V2: the values the back end asks for, as (parameter index, row).
    std::vector<std::pair<int, int>> asks;
    size_t askPos = 0;
    struct Piece {
        ValueType vt;
        int ind;
        std::vector<uint8_t> bytes;
    };
    std::vector<Piece> pieces;
    // Type information: row id i is named typeNames[i] in column 1.
    std::vector<std::string> typeNames;
};

Script *g;

ColDesc Desc(const char *name, int32_t sqlType, ValueType vt, uint32_t size)
{
    ColDesc d{};
    std::strcpy(d.name, name);
    d.sqlType = sqlType;
    d.baseSqlType = static_cast<int16_t>(sqlType);
    d.valueType = vt;
    d.columnSize = size;
    d.bufferLength = size;
    d.attrFlags = 1;
    return d;
}

void Keep(RowBlock *b)
{
    g->sent.clear();
    g->sentRows = b ? b->rowsUsed : 0;
    for (uint16_t i = 0; b && i < b->columnsUsed; ++i) {
        const RowBlockColumn &c = b->columns[i];
        SentColumn sc{c.valueType, c.width, {}};
        for (int32_t r = 0; r < b->rowsUsed; ++r) {
            const uint8_t *p = c.data + static_cast<size_t>(r) * c.width;
            sc.cells.push_back({c.indicators[r], std::vector<uint8_t>(p, p + c.width)});
        }
        g->sent.push_back(sc);
    }
    if (b) {
        RB_Free(b);
        std::free(b);
    }
}

int S_Prepare(int, const char *) { return g->prepareResult; }
int S_GetParamDescs(int, uint16_t *count, ColDesc **out)
{
    *count = static_cast<uint16_t>(g->paramNames.size());
    *out = CD_Alloc(*count);
    for (size_t i = 0; i < g->paramNames.size(); ++i) {
        std::strcpy((*out)[i].name, g->paramNames[i].c_str());
        (*out)[i].sqlType = SQL_INTEGER;
        (*out)[i].columnSize = 10;
        (*out)[i].attrFlags = 1;
    }
    return 0;
}
int S_GetColDescs(int, uint16_t *count, ColDesc **out)
{
    *count = static_cast<uint16_t>(g->cols.size());
    *out = CD_Alloc(*count);
    for (size_t i = 0; i < g->cols.size(); ++i) {
        (*out)[i] = g->cols[i].second;
        if (!g->cols[i].first.empty())
            (*out)[i].label = strdup(g->cols[i].first.c_str());
    }
    return 0;
}
int S_ExecDirect(int, const char *, RowBlock *b, int16_t n, const ParamTypeDesc *types)
{
    ++g->execCalls;
    Keep(b);
    if (n > 0)
        g->types.assign(types, types + n);
    return g->execResult;
}
int S_Execute(int)
{
    ++g->execCalls;
    g->sent.clear();
    g->sentRows = 0;
    return g->execResult;
}
int S_GetInfo(int, int code, void *buf, int16_t, int16_t *)
{
    if (DrvGroupOf(DrvItemOf(code)) == DRV_CONN_TYPE_NAME) {
        // The usual names the JDBC back end gives the types the tests ask.
        const int t = static_cast<int16_t>(DrvNumberOf(DrvItemOf(code)));
        const char *name = t == SQL_VARCHAR ? "varchar" : t == SQL_CHAR || t == SQL_WCHAR ? "bpchar" : "";
        std::strcpy(static_cast<char *>(buf), name);
        return 0;
    }
    int32_t v = 0;
    if (code == DrvInt(DRV_STMT_ROW_COUNT))
        v = g->rowCount;
    else if (code == DrvInt(DrvStmtOption(SQL_CURSOR_TYPE)))
        v = g->cursorTypeAnswer;
    else if (code == DrvInt(DrvConnInfo(SQL_BOOKMARK_PERSISTENCE)))
        v = 0;
    std::memcpy(buf, &v, 4);
    return 0;
}
int S_SetOption(int, int, void *)
{
    ++g->setOptionCalls;
    return 0;
}
int S_Fetch(int, uint16_t rows, RowBlock *out)
{
    g->fetchAsked.push_back(rows);
    ColDesc d[2] = {Desc("id", SQL_INTEGER, VT_LONG, 10), Desc("name", SQL_VARCHAR, VT_NTS, 12)};
    const bool named = !g->typeNames.empty();
    if (named)
        d[0] = Desc("TYPE_NAME", SQL_VARCHAR, VT_NTS, 12);
    size_t n = g->rows.size() - g->next;
    n = std::min<size_t>({n, rows, static_cast<size_t>(g->perCall)});
    if (n == 0) {
        RB_Init(out, 0);
        return 0;
    }
    RB_InitFromColDescs(d, 2, static_cast<int32_t>(n), out);
    for (size_t r = 0; r < n; ++r) {
        int32_t id = g->rows[g->next++];
        if (named) {
            const std::string &t = g->typeNames.at(static_cast<size_t>(id));
            std::memcpy(out->columns[0].data + out->columns[0].width * r, t.c_str(), t.size());
        } else {
            std::memcpy(out->columns[0].data + 4 * r, &id, 4);
        }
        out->columns[0].indicators[r] = 0;
        std::string name = "row" + std::to_string(id);
        std::memcpy(out->columns[1].data + out->columns[1].width * r, name.c_str(), name.size());
        out->columns[1].indicators[r] = 0;
    }
    out->rowsUsed = static_cast<int32_t>(n);
    return 0;
}
int S_CloseCursor(int) { return 0; }
int S_GetCursorName(int, char *buf, int16_t len, int16_t *outLen)
{
    if (g->cursorResult)
        return g->cursorResult;
    *outLen = static_cast<int16_t>(g->cursorName.size());
    if (!buf || len <= 0)
        return ERR_DATA_TRUNCATED;
    int16_t n = std::min<int16_t>(static_cast<int16_t>(g->cursorName.size()), static_cast<int16_t>(len - 1));
    std::memcpy(buf, g->cursorName.data(), static_cast<size_t>(n));
    buf[n] = '\0';
    return n < static_cast<int16_t>(g->cursorName.size()) ? ERR_DATA_TRUNCATED : 0;
}
int S_SetCursorName(int, const char *) { return 0; }
int g_typeInfoResult = 0;
int S_TypeInfo(int, int16_t) { return g_typeInfoResult; }
// Answers the text itself: its whole length, cut to the buffer with 19.
int S_NativeSql(int, const char *sql, char *buf, int32_t len, int32_t *outLen)
{
    g->nativeSize = len;
    if (g->nativeResult)
        return g->nativeResult;
    size_t n = std::strlen(sql);
    *outLen = static_cast<int32_t>(n);
    if (!buf)
        return 0;
    if (len <= 0)
        return 19;
    size_t copied = std::min(n, static_cast<size_t>(len) - 1);
    std::memcpy(buf, sql, copied);
    buf[copied] = '\0';
    return copied < n ? 19 : 0;
}
int S_ParamData(int, int32_t *index, int32_t *row, uint16_t **, void *)
{
    if (g->askPos >= g->asks.size())
        return g->execResult;
    *index = g->asks[g->askPos].first;
    *row = g->asks[g->askPos].second;
    ++g->askPos;
    return ERR_NEED_DATA;
}
int S_PutData(int, ValueType vt, int ind, const void *piece, int64_t size)
{
    const auto *p = static_cast<const uint8_t *>(piece);
    g->pieces.push_back({vt, ind, p ? std::vector<uint8_t>(p, p + size) : std::vector<uint8_t>()});
    return 0;
}
int S_ExecDirectV2(int h, const char *sql, RowBlock *b, int16_t n, const ParamTypeDesc *t)
{
    S_ExecDirect(h, sql, b, n, t);
    return g->asks.empty() ? g->execResult : ERR_NEED_DATA;
}

class Exec : public ::testing::Test {
protected:
    FakeSession session;
    Script script;
    DrvOpTable table{};
    SQLHSTMT h = nullptr;
    Stmt *s = nullptr;
    Conn *conn = nullptr;

    void SetUp() override
    {
        g = &script;
        table = *session.fake.Table();
        table.Prepare = S_Prepare;
        table.GetParamDescs = S_GetParamDescs;
        table.GetColDescs = S_GetColDescs;
        table.ExecDirect = S_ExecDirect;
        table.Execute = S_Execute;
        table.GetInfo = S_GetInfo;
        table.SetOption = S_SetOption;
        table.Fetch = S_Fetch;
        table.CloseCursor = S_CloseCursor;
        table.GetCursorName = S_GetCursorName;
        table.NativeSql = S_NativeSql;
        table.SetCursorName = S_SetCursorName;
        table.DDGetTypeInfo = S_TypeInfo;
        table.ParamData = S_ParamData;
        table.PutData = S_PutData;
        conn = static_cast<Conn *>(HT_Lookup(&ConnTable, HT_HandleIn(session.dbc)));
        ASSERT_NE(conn, nullptr);
        conn->binding.ops = &table;
        conn->cn_needbind = 1;
        conn->cn_hasParamOp = 1;
        conn->cn_hasExecute2 = 1;
        conn->cn_hasMoreRes = 1;
        conn->cn_fetchSize = 60;
        h = session.NewStmt();
        s = static_cast<Stmt *>(HT_Lookup(&StmtTable, HT_HandleIn(h)));
        ASSERT_NE(s, nullptr);
    }
    void TearDown() override { g = nullptr; }
    std::string State() { return DiagState(SQL_HANDLE_STMT, h); }
    void Prepare(const char *sql, std::vector<std::string> params)
    {
        script.paramNames = std::move(params);
        ASSERT_EQ(SQLPrepare(h, Sql(sql), SQL_NTS), SQL_SUCCESS) << State();
    }
};

// ---- prepare ----

TEST_F(Exec, SelectFlagTakesTheFirstSixCharactersInAnyCase)
{
    const struct {
        const char *sql;
        int flag;
    } cases[] = {{"select 1", 1}, {"SELECT*from t", 1}, {"SeLeCt x", 1}, {" select 1", 0}, {"SELEC", 0},
                 {"insert into t values (1)", 0}};
    for (const auto &c : cases) {
        ASSERT_EQ(SQLPrepare(h, Sql(c.sql), SQL_NTS), SQL_SUCCESS) << c.sql;
        EXPECT_EQ(s->selectFlag, c.flag) << c.sql;
    }
}

TEST_F(Exec, ParameterClassesComeFromTheNames)
{
    Prepare("{call p(?, ?, ?)}", {"*Oa", "*Bb", "c"});
    EXPECT_EQ(s->ex->outParams, 1);
    EXPECT_EQ(s->ex->inoutParams, 1);
    EXPECT_EQ(s->ex->inParams, 1);
    EXPECT_EQ(s->ex->deferredClass, 0);
    Prepare("{call p(?, ?, ?)}", {"*Ux", "*Oa", "c"});
    EXPECT_EQ(s->ex->outParams + s->ex->inoutParams + s->ex->inParams, 0);
    EXPECT_EQ(s->ex->deferredClass, 1);
}

TEST_F(Exec, ChangedCursorTypeWarnsAndIsAskedForAgain)
{
    s->cursor.cursorType = SQL_CURSOR_STATIC;
    script.cursorTypeAnswer = SQL_CURSOR_FORWARD_ONLY;
    EXPECT_EQ(SQLPrepare(h, Sql("select 1"), SQL_NTS), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(State(), "01S02");
    EXPECT_EQ(s->cursor.cursorType, SQL_CURSOR_FORWARD_ONLY);
    EXPECT_TRUE(s->flags & ST_PREPARED);
    const int before = script.setOptionCalls;
    script.cursorTypeAnswer = SQL_CURSOR_STATIC;
    SQLPrepare(h, Sql("select 1"), SQL_NTS);
    EXPECT_GT(script.setOptionCalls, before) << "the requested type is sent again";
    EXPECT_EQ(s->cursor.cursorType, SQL_CURSOR_STATIC);
}

TEST_F(Exec, PrepareRefusesANullTextAndABadLength)
{
    EXPECT_EQ(SQLPrepare(h, nullptr, SQL_NTS), SQL_ERROR);
    EXPECT_EQ(State(), "HY090");
    EXPECT_EQ(SQLPrepare(h, Sql("select 1"), -7), SQL_ERROR);
    EXPECT_EQ(State(), "HY090");
    EXPECT_EQ(SQLExecute(h), SQL_ERROR) << "nothing prepared";
    EXPECT_EQ(State(), "HY010");
}

// ---- the parameter block ----

struct BlockCase {
    const char *name;
    SQLSMALLINT cType;
    SQLSMALLINT sqlType;
    std::vector<uint8_t> value;
    SQLLEN len;
    ValueType vt;
    int16_t ind;
    std::vector<uint8_t> prefix;  // the cell's first bytes
};

template <class T>
std::vector<uint8_t> B(const T &v)
{
    const auto *p = reinterpret_cast<const uint8_t *>(&v);
    return std::vector<uint8_t>(p, p + sizeof v);
}
std::vector<uint8_t> B(const char *s) { return std::vector<uint8_t>(s, s + std::strlen(s)); }

TEST_F(Exec, ClassicBlockTypesAndCells)
{
    SQL_NUMERIC_STRUCT num{};
    num.precision = 6;
    num.scale = 2;
    num.sign = 0;
    num.val[0] = 0xD2;  // 1234
    num.val[1] = 0x04;
    const DATE_STRUCT d{2001, 2, 3};
    const BlockCase cases[] = {
        {"sbigint", SQL_C_SBIGINT, SQL_BIGINT, B(int64_t(-5)), 0, VT_CHAR, 0, B("-5\0")},
        {"hex", SQL_C_CHAR, SQL_VARBINARY, B("0A0B"), SQL_NTS, VT_BINARY, 0, {0x0A, 0x0B}},
        {"escape", SQL_C_CHAR, SQL_TYPE_DATE, B("{d '2001-02-03'}"), SQL_NTS, VT_DATE, 0, B(d)},
        {"null_date", SQL_C_CHAR, SQL_TYPE_DATE, B("x"), SQL_NULL_DATA, VT_DATE, -1, {}},
        {"numeric", SQL_C_NUMERIC, SQL_NUMERIC, B(num), 0, VT_CHAR, 0, B("-12.34\0")},
        {"text", SQL_C_CHAR, SQL_VARCHAR, B("abc"), 3, VT_CHAR, 0, B("abc\0")},
        {"binary", SQL_C_BINARY, SQL_VARBINARY, {1, 2, 3}, 3, VT_BIN4, 0, {3, 0, 0, 0, 1, 2, 3}},
        {"slong", SQL_C_SLONG, SQL_INTEGER, B(int32_t(-7)), 0, VT_LONG, 0, B(int32_t(-7))},
    };
    for (const BlockCase &c : cases) {
        SCOPED_TRACE(c.name);
        Prepare("insert into t values (?)", {"p1"});
        std::vector<uint8_t> value = c.value;
        value.resize(value.size() + 8, 0);
        SQLLEN len = c.len;
        ASSERT_EQ(SQLBindParameter(h, 1, SQL_PARAM_INPUT, c.cType, c.sqlType, 10, 0, value.data(),
                                   static_cast<SQLLEN>(value.size()), &len),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLExecute(h), SQL_SUCCESS) << State();
        ASSERT_EQ(script.sent.size(), 1u);
        EXPECT_EQ(script.sent[0].vt, c.vt);
        ASSERT_EQ(script.sent[0].cells.size(), 1u);
        EXPECT_EQ(script.sent[0].cells[0].ind, c.ind);
        const std::vector<uint8_t> &cell = script.sent[0].cells[0].bytes;
        ASSERT_GE(cell.size(), c.prefix.size());
        EXPECT_EQ(std::vector<uint8_t>(cell.begin(), cell.begin() + c.prefix.size()), c.prefix);
        ASSERT_EQ(script.types.size(), 1u);
        EXPECT_EQ(script.types[0].sqlType, c.sqlType);
        // Types travel again only when they changed.
        script.types.clear();
        ASSERT_EQ(SQLExecute(h), SQL_SUCCESS);
        EXPECT_TRUE(script.types.empty());
        SQLFreeStmt(h, SQL_RESET_PARAMS);
    }
}

TEST_F(Exec, OneRowsNullOrEscapeDoesNotRetypeTheOtherRows)
{
    Prepare("insert into t values (?)", {"p1"});
    char values[3][20] = {"{d '2001-02-03'}", "", "2002-03-04"};
    SQLLEN lens[3] = {SQL_NTS, SQL_NULL_DATA, SQL_NTS};
    SQLULEN processed = 0;
    ASSERT_EQ(SQLParamOptions(h, 3, &processed), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_DATE, 10, 0, values, 20, lens),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(h), SQL_SUCCESS) << State();
    ASSERT_EQ(script.sent.size(), 1u);
    const SentColumn &c = script.sent[0];
    EXPECT_EQ(c.vt, VT_CHAR) << "plain text stays text";
    ASSERT_EQ(c.cells.size(), 3u);
    EXPECT_STREQ(reinterpret_cast<const char *>(c.cells[0].bytes.data()), "2001-02-03");
    EXPECT_EQ(c.cells[1].ind, RB_IND_NULL);
    EXPECT_STREQ(reinterpret_cast<const char *>(c.cells[2].bytes.data()), "2002-03-04");
    EXPECT_EQ(processed, 3u);
}

TEST_F(Exec, ParameterArrayWithAnIgnoredAndAFailingRow)
{
    Prepare("insert into t values (?)", {"p1"});
    SQLINTEGER ids[3] = {1, 2, 3};
    SQLUSMALLINT ops[3] = {SQL_PARAM_PROCEED, SQL_PARAM_IGNORE, SQL_PARAM_PROCEED};
    SQLUSMALLINT status[3] = {99, 99, 99};
    SQLULEN processed = 0;
    SQLSetStmtAttr(h, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0);
    SQLSetStmtAttr(h, SQL_ATTR_PARAM_OPERATION_PTR, ops, 0);
    SQLSetStmtAttr(h, SQL_ATTR_PARAM_STATUS_PTR, status, 0);
    SQLSetStmtAttr(h, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
    ASSERT_EQ(SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(h), SQL_SUCCESS);
    EXPECT_EQ(script.sentRows, 2);
    EXPECT_EQ(processed, 2u);
    EXPECT_EQ(status[0], SQL_PARAM_SUCCESS);
    EXPECT_EQ(status[1], SQL_PARAM_UNUSED);
    EXPECT_EQ(status[2], SQL_PARAM_SUCCESS);

    script.execResult = ERR_INVALID_TRANSACTION_CODE;
    script.rowCount = 1;  // the first row sent went through
    session.fake.pendingErrors = {"[SQLSTATE:23505]duplicate key"};
    EXPECT_EQ(SQLExecute(h), SQL_ERROR);
    EXPECT_EQ(State(), "23505");
    EXPECT_EQ(processed, 2u);
    EXPECT_EQ(status[0], SQL_PARAM_SUCCESS);
    EXPECT_EQ(status[1], SQL_PARAM_UNUSED);
    EXPECT_EQ(status[2], SQL_PARAM_ERROR);
}

TEST_F(Exec, MissingBindingIsWrongNumberOfParameters)
{
    Prepare("insert into t values (?, ?)", {"p1", "p2"});
    SQLINTEGER v = 1;
    ASSERT_EQ(SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(SQLExecute(h), SQL_ERROR);
    EXPECT_EQ(State(), "07001");
    EXPECT_EQ(script.execCalls, 0);
}

TEST_F(Exec, BindParameterChecks)
{
    SQLINTEGER v = 0;
    EXPECT_EQ(SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, nullptr, 0, nullptr),
              SQL_ERROR);
    EXPECT_EQ(State(), "HY009");
    EXPECT_EQ(SQLBindParameter(h, 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, nullptr, 0, nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_TIMESTAMP, 26, -1, &v, 0, nullptr),
              SQL_ERROR);
    EXPECT_EQ(State(), "HY094");
    EXPECT_EQ(SQLBindParameter(h, 1, SQL_PARAM_INPUT, 12345, SQL_INTEGER, 0, 0, &v, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(State(), "07006");
    EXPECT_EQ(SQLBindParameter(h, 1025, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &v, 0, nullptr),
              SQL_ERROR);
    EXPECT_EQ(State(), "07009");
    EXPECT_EQ(SQLSetParam(h, 1, SQL_C_NUMERIC, SQL_NUMERIC, 10, 2, &v, nullptr), SQL_ERROR);
    EXPECT_EQ(State(), "07006");
    // A buffer length of -1 binds an input parameter; the IPD keeps what was passed.
    ASSERT_EQ(SQLBindParameter(h, 5, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &v, -1, nullptr), SQL_SUCCESS);
    EXPECT_EQ(StmtGetParamBinding(5, s)->paramType, SQL_PARAM_INPUT);
    SQLHDESC ipd = nullptr, apd = nullptr;
    SQLGetStmtAttr(h, SQL_ATTR_IMP_PARAM_DESC, &ipd, 0, nullptr);
    SQLGetStmtAttr(h, SQL_ATTR_APP_PARAM_DESC, &apd, 0, nullptr);
    SQLSMALLINT count = 0;
    SQLGetDescField(apd, 0, SQL_DESC_COUNT, &count, 0, nullptr);
    EXPECT_EQ(count, 5);
    SQLGetDescField(ipd, 0, SQL_DESC_COUNT, &count, 0, nullptr);
    EXPECT_EQ(count, 5);
}

// ---- data at execution gathered by the driver ----

TEST_F(Exec, DataAtExecutionTokensPiecesAndNulls)
{
    Prepare("insert into t values (?, ?)", {"p1", "p2"});
    char a = 'a', b = 'b';
    SQLLEN la = SQL_DATA_AT_EXEC, lb = SQL_LEN_DATA_AT_EXEC(0);
    ASSERT_EQ(SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &a, 0, &la), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 10, 0, &b, 0, &lb), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(h), SQL_NEED_DATA);
    EXPECT_EQ(SQLPutData(h, const_cast<char *>("x"), 1), SQL_ERROR) << "no value named yet";
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(h, &token), SQL_NEED_DATA);
    EXPECT_EQ(token, &a);
    EXPECT_EQ(SQLPutData(h, const_cast<char *>("ab"), 2), SQL_SUCCESS);
    EXPECT_EQ(SQLPutData(h, const_cast<char *>("zz"), 0), SQL_SUCCESS) << "adds nothing";
    EXPECT_EQ(SQLPutData(h, const_cast<char *>("cd"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLPutData(h, nullptr, 2), SQL_ERROR);
    EXPECT_EQ(State(), "HY009");
    EXPECT_EQ(SQLPutData(h, nullptr, 0), SQL_SUCCESS) << "an empty piece needs no data";
    ASSERT_EQ(SQLParamData(h, &token), SQL_NEED_DATA);
    EXPECT_EQ(token, &b);
    EXPECT_EQ(SQLPutData(h, const_cast<char16_t *>(u"q"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLPutData(h, nullptr, SQL_NULL_DATA), SQL_SUCCESS)
        << "drops the piece: the value is NULL; no data pointer is needed for it";
    EXPECT_EQ(script.execCalls, 0);
    ASSERT_EQ(SQLParamData(h, &token), SQL_SUCCESS) << State();
    ASSERT_EQ(script.sent.size(), 2u);
    EXPECT_EQ(script.sent[0].cells[0].ind, 0);
    EXPECT_STREQ(reinterpret_cast<const char *>(script.sent[0].cells[0].bytes.data()), "abcd");
    EXPECT_EQ(script.sent[1].cells[0].ind, RB_IND_NULL) << "a NULL put as data arrives as NULL";
    EXPECT_EQ(SQLParamData(h, &token), SQL_ERROR) << "the sequence is over";
}

TEST_F(Exec, ValuesWithoutPiecesAreEmptyOrNullByTheirLength)
{
    Prepare("insert into t values (?, ?)", {"p1", "p2"});
    char a = 'a', b = 'b';
    SQLLEN la = SQL_DATA_AT_EXEC, lb = SQL_LEN_DATA_AT_EXEC(5);
    SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &a, 0, &la);
    SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &b, 0, &lb);
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLExecute(h), SQL_NEED_DATA);
    ASSERT_EQ(SQLParamData(h, &token), SQL_NEED_DATA);
    ASSERT_EQ(SQLParamData(h, &token), SQL_NEED_DATA);
    ASSERT_EQ(SQLParamData(h, &token), SQL_SUCCESS);
    EXPECT_EQ(script.sent[0].cells[0].ind, 0);
    EXPECT_EQ(script.sent[0].cells[0].bytes[0], 0);
    EXPECT_EQ(script.sent[1].cells[0].ind, RB_IND_NULL);
}

TEST_F(Exec, ParameterArrayAsksEachRowAndCountsThem)
{
    Prepare("insert into t values (?)", {"p1"});
    char a = 'a';
    SQLLEN lens[3] = {SQL_DATA_AT_EXEC, SQL_DATA_AT_EXEC, SQL_DATA_AT_EXEC};
    SQLULEN processed = 0;
    SQLParamOptions(h, 3, &processed);
    SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &a, 1, lens);
    ASSERT_EQ(SQLExecute(h), SQL_NEED_DATA);
    SQLPOINTER token = nullptr;
    for (SQLULEN row = 1; row <= 3; ++row) {
        ASSERT_EQ(SQLParamData(h, &token), SQL_NEED_DATA);
        EXPECT_EQ(token, &a);
        EXPECT_EQ(processed, row);
        std::string v = "v" + std::to_string(row);
        SQLPutData(h, const_cast<char *>(v.c_str()), SQL_NTS);
    }
    ASSERT_EQ(SQLParamData(h, &token), SQL_SUCCESS);
    ASSERT_EQ(script.sent[0].cells.size(), 3u);
    EXPECT_STREQ(reinterpret_cast<const char *>(script.sent[0].cells[2].bytes.data()), "v3");
}

// A value given at execution in one row of an array, longer than the other
// rows' values, leaves those rows as they were.
TEST_F(Exec, ADataAtExecutionRowDoesNotRetypeTheOtherRows)
{
    Prepare("insert into t values (?)", {"p1"});
    char values[3][8] = {"abc", "", "{d '2"};
    SQLLEN lens[3] = {SQL_NTS, SQL_DATA_AT_EXEC, SQL_NTS};
    SQLULEN processed = 0;
    ASSERT_EQ(SQLParamOptions(h, 3, &processed), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, values, 8, lens), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(h), SQL_NEED_DATA) << State();
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(h, &token), SQL_NEED_DATA);
    EXPECT_EQ(token, values) << "the address as bound";
    const std::string piece = "a value of thirty-two characters";
    ASSERT_EQ(SQLPutData(h, const_cast<char *>(piece.c_str()), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLParamData(h, &token), SQL_SUCCESS) << State();
    ASSERT_EQ(script.sent.size(), 1u);
    const SentColumn &c = script.sent[0];
    ASSERT_EQ(c.cells.size(), 3u);
    auto textOf = [&](size_t r) {
        const auto &b = c.cells[r].bytes;
        return std::string(reinterpret_cast<const char *>(b.data()), strnlen(reinterpret_cast<const char *>(b.data()), b.size()));
    };
    EXPECT_EQ(textOf(0), "abc");
    EXPECT_EQ(textOf(1), piece);
    EXPECT_EQ(textOf(2), "{d '2") << "text that only starts like an escape stays text";
    for (const Cell &cell : c.cells)
        EXPECT_EQ(cell.ind, 0);
    EXPECT_EQ(processed, 3u);
}

TEST_F(Exec, CancelEndsTheSequence)
{
    Prepare("insert into t values (?)", {"p1"});
    char a = 'a';
    SQLLEN la = SQL_DATA_AT_EXEC;
    SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &a, 0, &la);
    ASSERT_EQ(SQLExecute(h), SQL_NEED_DATA);
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(h, &token), SQL_NEED_DATA);
    EXPECT_EQ(SQLCancel(h), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(SQLParamData(h, &token), SQL_ERROR);
    EXPECT_EQ(State(), "HY010");
    EXPECT_EQ(SQLPutData(h, &a, 1), SQL_ERROR);
    EXPECT_EQ(script.execCalls, 0);
}

// ---- data at execution gathered by a V2 back end ----

TEST_F(Exec, V2ValueTypes)
{
    const struct {
        int16_t cType;
        ValueType vt;
        uint32_t width;
    } cases[] = {{SQL_C_NUMERIC, 10, 8},  {SQL_C_SLONG, 5, 4},   {SQL_C_SSHORT, 4, 2},   {SQL_C_FLOAT, 9, 4},
                 {SQL_C_TYPE_DATE, 11, 6}, {SQL_C_TIME, 12, 6},  {SQL_C_TIMESTAMP, 13, 16}, {SQL_C_UTINYINT, 6, 1},
                 {SQL_C_SBIGINT, 1, 32},  {SQL_C_STINYINT, 3, 1}, {SQL_C_ULONG, 8, 4},   {SQL_C_USHORT, 7, 2},
                 {SQL_C_GUID, 1, 36},     {SQL_C_WCHAR, 24, 0},  {SQL_C_BIT, 2, 1},      {SQL_C_BINARY, 14, 0},
                 {SQL_C_CHAR, 1, 0},      {SQL_C_INTERVAL_DAY, 1, 0}};
    for (const auto &c : cases) {
        uint32_t w = 99;
        EXPECT_EQ(CTypeToValueType(c.cType, &w), c.vt) << c.cType;
        EXPECT_EQ(w, c.width) << c.cType;
    }
}

TEST_F(Exec, V2BackEndAsksForValuesAndTakesPieces)
{
    conn->cn_hasV2DAE = 1;
    table.ExecDirect = S_ExecDirectV2;
    Prepare("insert into t values (?, ?)", {"p1", "p2"});
    SQLINTEGER id = 7;
    int64_t big = -5;
    SQLLEN dae = SQL_DATA_AT_EXEC;
    SQLUSMALLINT status[1] = {99};
    SQLSetStmtAttr(h, SQL_ATTR_PARAM_STATUS_PTR, status, 0);
    SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
    SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &big, 0, &dae);
    script.asks = {{1, 0}};
    ASSERT_EQ(SQLExecute(h), SQL_NEED_DATA) << State();
    EXPECT_EQ(status[0], SQL_PARAM_DIAG_UNAVAILABLE);
    ASSERT_EQ(script.sent.size(), 2u);
    EXPECT_EQ(script.sent[1].cells[0].ind, -2) << "left for the back end to ask";
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(h, &token), SQL_NEED_DATA);
    EXPECT_EQ(token, &big);
    ASSERT_EQ(SQLPutData(h, &big, 0), SQL_SUCCESS);
    ASSERT_EQ(script.pieces.size(), 1u);
    EXPECT_EQ(script.pieces[0].bytes.size(), 32u);
    EXPECT_EQ(std::string(script.pieces[0].bytes.begin(), script.pieces[0].bytes.begin() + 31),
              "-5" + std::string(29, ' '));
    ASSERT_EQ(SQLPutData(h, &big, SQL_NULL_DATA), SQL_SUCCESS);
    EXPECT_EQ(script.pieces.back().ind, SQL_NULL_DATA);
    EXPECT_EQ(SQLPutData(h, &big, SQL_DEFAULT_PARAM), SQL_ERROR);
    EXPECT_EQ(State(), "HYC00");
    ASSERT_EQ(SQLParamData(h, &token), SQL_SUCCESS) << State();
    EXPECT_EQ(s->daeState, 0);
    // Values of a bulk operation are gathered by the driver: a piece before
    // SQLParamData named its value is out of sequence and nothing is sent.
    s->daeState = 3;
    const size_t pieces = script.pieces.size();
    EXPECT_EQ(SQLPutData(h, &big, 0), SQL_ERROR);
    EXPECT_EQ(State(), "HY010");
    EXPECT_EQ(script.pieces.size(), pieces);
    s->daeState = 0;
}

// Each piece reaches the back end in the form its parameter's types ask
// for: escapes as structs, hex text as bytes, NUMERIC and GUID as text;
// malformed escapes and hex text are refused.
TEST_F(Exec, V2PiecesTakeTheFormTheirParameterAsksFor)
{
    conn->cn_hasV2DAE = 1;
    table.ExecDirect = S_ExecDirectV2;
    auto bytesOf = [](const void *p, size_t n) {
        const auto *b = static_cast<const uint8_t *>(p);
        return std::vector<uint8_t>(b, b + n);
    };
    auto text = [&](const std::string &t) { return bytesOf(t.data(), t.size()); };
    const DATE_STRUCT day{2024, 3, 15};
    const TIMESTAMP_STRUCT stamp{2024, 3, 15, 10, 20, 30, 500000000};
    SQL_NUMERIC_STRUCT num{};
    num.precision = 10;
    num.scale = 2;
    num.sign = 0;
    num.val[0] = 0x39;  // 12345
    num.val[1] = 0x30;
    // 16 bytes of GUID followed by bytes that must not be read.
    struct {
        SQLGUID g;
        char after[20];
    } guid = {{0x6F9619FF, 0x8B86, 0xD011, {0xB4, 0x2D, 0x00, 0xC0, 0x4F, 0xC9, 0x64, 0xFF}}, "XXXXXXXXXXXXXXXXXXX"};
    const SQLINTEGER n32 = -7;
    const uint64_t u64 = 18446744073709551615ull;
    const struct Case {
        const char *name;
        int16_t cType;
        int16_t sqlType;
        const void *data;
        SQLLEN len;
        const char *state;  // "" when the piece is sent
        ValueType vt;
        int ind;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"date escape", SQL_C_CHAR, SQL_TYPE_DATE, "{d '2024-03-15'}", SQL_NTS, "", VT_DATE, 0, bytesOf(&day, 6)},
        {"timestamp escape", SQL_C_CHAR, SQL_TYPE_TIMESTAMP, "{ts '2024-03-15 10:20:30.5'}", SQL_NTS, "",
         VT_TIMESTAMP, 0, bytesOf(&stamp, 16)},
        {"plain date text", SQL_C_CHAR, SQL_TYPE_DATE, "2024-03-15", 10, "", VT_CHAR, 0, text("2024-03-15")},
        {"malformed escape", SQL_C_CHAR, SQL_TYPE_DATE, "{d '2024-13-01'}", SQL_NTS, "22007", VT_CHAR, 0, {}},
        {"hex for bytea", SQL_C_CHAR, SQL_VARBINARY, "0aFF", 4, "", VT_BINARY, 0, {0x0A, 0xFF}},
        {"non-hex for bytea", SQL_C_CHAR, SQL_VARBINARY, "0G", 2, "22018", VT_CHAR, 0, {}},
        {"numeric as decimal text", SQL_C_NUMERIC, SQL_NUMERIC, &num, 0, "", VT_CHAR, 0, text("-123.45")},
        {"guid as its text", SQL_C_GUID, SQL_GUID, &guid, 0, "", VT_CHAR, 0,
         text("6F9619FF-8B86-D011-B42D-00C04FC964FF")},
        {"ubigint as text", SQL_C_UBIGINT, SQL_BIGINT, &u64, 0, "", VT_CHAR, 0,
         text("18446744073709551615" + std::string(11, ' ') + '\0')},
        {"slong copied", SQL_C_SLONG, SQL_INTEGER, &n32, 0, "", VT_LONG, 0, bytesOf(&n32, 4)},
        {"null", SQL_C_CHAR, SQL_VARCHAR, "x", SQL_NULL_DATA, "", VT_CHAR, SQL_NULL_DATA, {}},
    };
    Prepare("insert into t values (?)", {"p1"});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        char token = 't';
        SQLLEN dae = SQL_DATA_AT_EXEC;
        ASSERT_EQ(SQLBindParameter(h, 1, SQL_PARAM_INPUT, c.cType, c.sqlType, 30, 2, &token, 0, &dae), SQL_SUCCESS)
            << State();
        script.asks = {{0, 0}};
        script.askPos = 0;
        script.pieces.clear();
        ASSERT_EQ(SQLExecute(h), SQL_NEED_DATA) << State();
        SQLPOINTER got = nullptr;
        ASSERT_EQ(SQLParamData(h, &got), SQL_NEED_DATA);
        EXPECT_EQ(got, &token);
        const SQLRETURN rc = SQLPutData(h, const_cast<void *>(c.data), c.len);
        if (*c.state) {
            EXPECT_EQ(rc, SQL_ERROR);
            EXPECT_EQ(State(), c.state);
            EXPECT_TRUE(script.pieces.empty()) << "nothing reaches the back end";
        } else {
            ASSERT_EQ(rc, SQL_SUCCESS) << State();
            ASSERT_EQ(script.pieces.size(), 1u);
            EXPECT_EQ(script.pieces[0].vt, c.vt);
            EXPECT_EQ(script.pieces[0].ind, c.ind);
            EXPECT_EQ(script.pieces[0].bytes, c.bytes);
        }
        EXPECT_EQ(SQLParamData(h, &got), SQL_SUCCESS) << State();
        SQLFreeStmt(h, SQL_RESET_PARAMS);
    }
    // Outside a sequence a piece is a sequence error.
    EXPECT_EQ(SQLPutData(h, const_cast<char *>("x"), 1), SQL_ERROR);
    EXPECT_EQ(State(), "HY010");
}

// ---- fetching ----

TEST_F(Exec, FetchReadsBlocksUntilAnEmptyOne)
{
    script.cols = {{"", Desc("id", SQL_INTEGER, VT_LONG, 10)}, {"", Desc("name", SQL_VARCHAR, VT_CHAR, 12)}};
    script.rows = {1, 2, 3, 4, 5};
    script.perCall = 2;  // short blocks do not end the result
    ASSERT_EQ(SQLExecDirect(h, Sql("select id, name from t"), SQL_NTS), SQL_SUCCESS);
    char name[16];
    SQLLEN ind = 0;
    EXPECT_EQ(SQLGetData(h, 1, SQL_C_CHAR, name, sizeof name, &ind), SQL_ERROR) << "before the first fetch";
    EXPECT_EQ(State(), "24000");
    SQLINTEGER id = 0;
    SQLLEN idInd = 0;
    ASSERT_EQ(SQLBindCol(h, 1, SQL_C_SLONG, &id, 0, &idInd), SQL_SUCCESS);
    std::vector<int> seen;
    while (SQLFetch(h) == SQL_SUCCESS) {
        seen.push_back(id);
        ASSERT_EQ(SQLGetData(h, 2, SQL_C_CHAR, name, sizeof name, &ind), SQL_SUCCESS);
        EXPECT_EQ(std::string(name), "row" + std::to_string(id));
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(script.fetchAsked.size(), 4u) << "three blocks, then the empty one";
    EXPECT_EQ(script.fetchAsked[0], 60) << "rows per block capped by the fetch buffer size";
    EXPECT_EQ(SQLGetData(h, 2, SQL_C_CHAR, name, sizeof name, &ind), SQL_ERROR) << "after the end";
    EXPECT_EQ(State(), "24000");
    EXPECT_EQ(SQLFetchScroll(h, SQL_FETCH_FIRST, 0), SQL_ERROR);
    EXPECT_EQ(State(), "HY106");
}

TEST_F(Exec, SkippedColumnsRetrieveDataAndBindOffset)
{
    script.cols = {{"", Desc("id", SQL_INTEGER, VT_LONG, 10)}, {"", Desc("name", SQL_VARCHAR, VT_CHAR, 12)}};
    script.rows = {1, 2, 3};
    ASSERT_EQ(SQLExecDirect(h, Sql("select id, name from t"), SQL_NTS), SQL_SUCCESS);
    struct Row {
        SQLINTEGER id;
        SQLLEN idInd;
    } rows[2] = {{0, 0}, {0, 0}};
    SQLLEN offset = 0;
    ASSERT_EQ(SQLBindCol(h, 1, SQL_C_SLONG, &rows[0].id, 0, &rows[0].idInd), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROW_BIND_OFFSET_PTR, &offset, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(h), SQL_SUCCESS);
    EXPECT_EQ(rows[0].id, 1);
    offset = sizeof(Row);
    ASSERT_EQ(SQLFetch(h), SQL_SUCCESS);
    EXPECT_EQ(rows[1].id, 2) << "the offset moves the target";
    EXPECT_EQ(rows[0].id, 1);
    SQLSetStmtAttr(h, SQL_ATTR_ROW_BIND_OFFSET_PTR, nullptr, 0);
    SQLSetStmtAttr(h, SQL_ATTR_RETRIEVE_DATA, reinterpret_cast<SQLPOINTER>(SQL_RD_OFF), 0);
    rows[0].id = rows[1].id = -1;
    ASSERT_EQ(SQLFetch(h), SQL_SUCCESS);
    EXPECT_EQ(rows[0].id, -1) << "retrieve-data off converts nothing";
}

TEST_F(Exec, ForwardOnlyRowsetsFillColumnAndRowWiseArrays)
{
    script.cols = {{"", Desc("id", SQL_INTEGER, VT_LONG, 10)}, {"", Desc("name", SQL_VARCHAR, VT_CHAR, 12)}};
    script.rows = {1, 2, 3, 4, 5};
    script.perCall = 2;
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(3), 0), SQL_SUCCESS);
    SQLULEN fetched = 0;
    SQLUSMALLINT status[3];
    SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, status, 0);
    ASSERT_EQ(SQLExecDirect(h, Sql("select id, name from t"), SQL_NTS), SQL_SUCCESS);
    SQLINTEGER ids[3];
    SQLLEN idInd[3];
    char names[3][16];
    SQLLEN nameInd[3];
    ASSERT_EQ(SQLBindCol(h, 1, SQL_C_SLONG, ids, 0, idInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(h, 2, SQL_C_CHAR, names, 16, nameInd), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(h), SQL_SUCCESS) << State();
    EXPECT_EQ(fetched, 3u);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[2], 3);
    EXPECT_STREQ(names[1], "row2");
    EXPECT_EQ(nameInd[2], 4);
    EXPECT_EQ(status[2], SQL_ROW_SUCCESS);
    char name[16];
    SQLLEN ind = 0;
    ASSERT_EQ(SQLGetData(h, 2, SQL_C_CHAR, name, sizeof name, &ind), SQL_SUCCESS) << "the rowset's first row";
    EXPECT_STREQ(name, "row1");
    ASSERT_EQ(SQLFetch(h), SQL_SUCCESS);
    EXPECT_EQ(fetched, 2u) << "the last rowset is short";
    EXPECT_EQ(ids[1], 5);
    EXPECT_EQ(status[2], SQL_ROW_NOROW);
    EXPECT_EQ(SQLFetch(h), SQL_NO_DATA);
    EXPECT_EQ(fetched, 0u);

    // Row-wise: one structure per row.
    struct Row {
        SQLINTEGER id;
        SQLLEN idInd;
        char name[8];
        SQLLEN nameInd;
    } rows[3] = {};
    script.rows = {7, 8};
    script.next = 0;
    SQLFreeStmt(h, SQL_CLOSE);
    SQLFreeStmt(h, SQL_UNBIND);
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(Row)), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(h, Sql("select id, name from t"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(h, 1, SQL_C_SLONG, &rows[0].id, 0, &rows[0].idInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(h, 2, SQL_C_CHAR, rows[0].name, sizeof rows[0].name, &rows[0].nameInd), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(h), SQL_SUCCESS) << State();
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(rows[1].id, 8);
    EXPECT_STREQ(rows[1].name, "row8");
    EXPECT_EQ(rows[1].nameInd, 4);
    SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
}

TEST_F(Exec, BindColChecks)
{
    SQLINTEGER v = 0;
    SQLLEN ind = 0;
    EXPECT_EQ(SQLBindCol(h, 1, SQL_C_SLONG, &v, -1, &ind), SQL_ERROR);
    EXPECT_EQ(State(), "HY090");
    EXPECT_EQ(SQLBindCol(h, 0, SQL_C_BINARY, &v, 4, &ind), SQL_ERROR) << "no bookmarks at the back end";
    EXPECT_EQ(State(), "HYC00");
    ASSERT_EQ(SQLBindCol(h, 3, SQL_C_SLONG, &v, 0, &ind), SQL_SUCCESS);
    ASSERT_NE(StmtFindBoundCol(3, s), nullptr);
    EXPECT_EQ(StmtFindBoundCol(3, s)->head.bufferLength, 4) << "a fixed type's size";
    ASSERT_EQ(SQLBindCol(h, 3, SQL_C_SLONG, nullptr, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(StmtFindBoundCol(3, s), nullptr);
}

// ---- description ----

TEST_F(Exec, DescribeAndColumnAttributes)
{
    ColDesc w = Desc("w", SQL_WVARCHAR, VT_WCHAR, 30);
    w.table = strdup("orders");
    script.cols = {{"", w}, {"", Desc("twelve_chars", SQL_BIGINT, VT_CHAR, 20)},
                   {"labelled", Desc("x", 9999, VT_CHAR, 5)}};
    ASSERT_EQ(SQLExecDirect(h, Sql("select * from t"), SQL_NTS), SQL_SUCCESS);
    SQLLEN num = 0;
    const struct {
        SQLUSMALLINT col;
        SQLUSMALLINT item;
        SQLLEN expect;
    } items[] = {{1, SQL_COLUMN_LENGTH, 60}, {2, SQL_COLUMN_LENGTH, 20}, {3, SQL_COLUMN_LENGTH, SQL_NO_TOTAL},
                 {1, SQL_COLUMN_SEARCHABLE, SQL_SEARCHABLE}, {2, SQL_COLUMN_SEARCHABLE, SQL_ALL_EXCEPT_LIKE},
                 {1, SQL_COLUMN_UPDATABLE, SQL_ATTR_READWRITE_UNKNOWN}, {0, SQL_COLUMN_COUNT, 3}};
    for (const auto &i : items) {
        EXPECT_EQ(StmtColAttributes(s, i.col, i.item, nullptr, 0, nullptr, &num, 'A'), SQL_SUCCESS);
        EXPECT_EQ(num, i.expect) << i.col << "/" << i.item;
    }
    SQLWCHAR name[10];
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLDescribeColW(h, 2, name, 10, &len, nullptr, nullptr, nullptr, nullptr), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, 12);
    EXPECT_TRUE(std::u16string(reinterpret_cast<char16_t *>(name)) == u"twelve_ch");
    SQLWCHAR whole[13];
    EXPECT_EQ(SQLDescribeColW(h, 2, whole, 13, &len, nullptr, nullptr, nullptr, nullptr), SQL_SUCCESS);
    char label[16];
    SQLSMALLINT labelLen = 0;
    EXPECT_EQ(SQLDescribeCol(h, 3, reinterpret_cast<SQLCHAR *>(label), sizeof label, &labelLen, nullptr, nullptr,
                             nullptr, nullptr),
              SQL_SUCCESS);
    EXPECT_STREQ(label, "labelled");
    SQLWCHAR table[16];
    EXPECT_EQ(SQLColAttributeW(h, 1, SQL_DESC_TABLE_NAME, table, sizeof table, &len, nullptr), SQL_SUCCESS);
    EXPECT_EQ(len, 12) << "bytes";
    EXPECT_EQ(SQLColAttributeW(h, 2, SQL_DESC_TABLE_NAME, table, sizeof table, &len, nullptr), SQL_SUCCESS);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(SQLColAttribute(h, 1, 20, nullptr, 0, nullptr, &num), SQL_ERROR);
    EXPECT_EQ(State(), "HY091");
    EXPECT_EQ(SQLDescribeCol(h, 4, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr), SQL_ERROR);
    EXPECT_EQ(State(), "07009");
}

// Text fields of the IRD through SQLColAttribute, SQLGetDescField and
// SQLGetDescRec: a NULL buffer asks for the whole length, a negative buffer
// length is HY090 on the handle called, a bookmark's empty texts too.
TEST_F(Exec, IrdTextsAnswerTheirLengthAndRefuseNegativeSizes)
{
    script.cols = {{"", Desc("amount", SQL_INTEGER, VT_LONG, 4)}};
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_USE_BOOKMARKS, reinterpret_cast<SQLPOINTER>(SQL_UB_VARIABLE), 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(h, Sql("select amount from t"), SQL_NTS), SQL_SUCCESS);
    char buf[32] = {};
    SQLSMALLINT len = -1;
    SQLLEN num = 0;
    EXPECT_EQ(SQLColAttribute(h, 1, SQL_DESC_BASE_COLUMN_NAME, buf, sizeof buf, &len, nullptr), SQL_SUCCESS);
    const SQLSMALLINT whole = len;
    len = -1;
    EXPECT_EQ(SQLColAttribute(h, 1, SQL_DESC_BASE_COLUMN_NAME, nullptr, 0, &len, nullptr), SQL_SUCCESS);
    EXPECT_EQ(len, whole) << buf;
    EXPECT_EQ(SQLColAttribute(h, 1, SQL_DESC_BASE_COLUMN_NAME, buf, -1, &len, nullptr), SQL_ERROR);
    EXPECT_EQ(State(), "HY090");
    EXPECT_EQ(SQLColAttribute(h, 0, SQL_DESC_BASE_TABLE_NAME, buf, 0, &len, nullptr), SQL_SUCCESS);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(SQLColAttribute(h, 0, SQL_DESC_BASE_TABLE_NAME, buf, -1, &len, nullptr), SQL_ERROR);
    EXPECT_EQ(State(), "HY090");
    EXPECT_EQ(SQLColAttribute(h, 1, SQL_DESC_TYPE, nullptr, -1, &len, &num), SQL_SUCCESS) << "a number ignores it";

    SQLHDESC ird = nullptr;
    ASSERT_EQ(SQLGetStmtAttr(h, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr), SQL_SUCCESS);
    SQLINTEGER fieldLen = 0;
    EXPECT_EQ(SQLGetDescField(ird, 1, SQL_DESC_NAME, buf, -1, &fieldLen), SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_DESC, ird), "HY090");
    EXPECT_EQ(SQLGetDescField(ird, 1, SQL_DESC_NAME, nullptr, 0, &fieldLen), SQL_SUCCESS);
    EXPECT_EQ(fieldLen, 6);
    SQLSMALLINT type = 0;
    EXPECT_EQ(SQLGetDescRec(ird, 1, reinterpret_cast<SQLCHAR *>(buf), -1, &len, &type, nullptr, nullptr, nullptr,
                            nullptr, nullptr),
              SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_DESC, ird), "HY090");
    SQLWCHAR wide[4];
    EXPECT_EQ(SQLGetDescRecW(ird, 1, wide, 4, &len, &type, nullptr, nullptr, nullptr, nullptr, nullptr),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, 6) << "characters";
    EXPECT_TRUE(std::u16string(reinterpret_cast<char16_t *>(wide)) == u"amo");
    EXPECT_EQ(type, SQL_INTEGER);
}

// ---- cursor names and native SQL ----

TEST_F(Exec, CursorNamesCutInCharactersAndBackEndFailuresAreErrors)
{
    script.cursorName = "ABCDEFGH";
    SQLWCHAR name[4];
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetCursorNameW(h, name, 4, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, 8);
    EXPECT_TRUE(std::u16string(reinterpret_cast<char16_t *>(name)) == u"ABC");
    EXPECT_EQ(State(), "01004");
    char narrow[16];
    script.cursorResult = ERR_GENERAL;
    session.fake.pendingErrors = {"[SQLSTATE:S1000]cursor name unavailable"};
    EXPECT_EQ(SQLGetCursorName(h, reinterpret_cast<SQLCHAR *>(narrow), sizeof narrow, &len), SQL_ERROR);
    EXPECT_EQ(State(), "HY000");
    // A back end that knows no name (or none before an execute): the name
    // the application set, else one of the driver's own.
    script.cursorResult = ERR_FUNCTION_SEQUENCE;
    EXPECT_EQ(SQLGetCursorName(h, reinterpret_cast<SQLCHAR *>(narrow), sizeof narrow, &len), SQL_SUCCESS);
    EXPECT_EQ(std::string(narrow).rfind("SQL_CUR", 0), 0u) << narrow;
    script.cursorResult = 0;
    script.cursorName = "";
    ASSERT_EQ(SQLSetCursorName(h, Sql("mine"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLGetCursorName(h, reinterpret_cast<SQLCHAR *>(narrow), sizeof narrow, &len), SQL_SUCCESS);
    EXPECT_STREQ(narrow, "mine");
    EXPECT_EQ(len, 4);
    EXPECT_EQ(SQLSetCursorName(h, Sql("x"), -9), SQL_ERROR);
    EXPECT_EQ(State(), "HY090");
}

TEST_F(Exec, NativeSqlSizesAndFailures)
{
    std::vector<char> big(70000);
    SQLINTEGER len = 0;
    EXPECT_EQ(SQLNativeSql(session.dbc, Sql("select 1"), SQL_NTS, reinterpret_cast<SQLCHAR *>(big.data()), 70000,
                           &len),
              SQL_SUCCESS);
    EXPECT_EQ(script.nativeSize, 70000) << "the whole buffer is offered, not 16 bits of it";
    EXPECT_STREQ(big.data(), "select 1");
    EXPECT_EQ(len, 8);
    // Cut or not asked for, the length is the whole text's.
    char small[8];
    EXPECT_EQ(SQLNativeSql(session.dbc, Sql("select 1234567890"), SQL_NTS, reinterpret_cast<SQLCHAR *>(small),
                           sizeof small, &len),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(DiagState(SQL_HANDLE_DBC, session.dbc), "01004");
    EXPECT_STREQ(small, "select ");
    EXPECT_EQ(len, 17);
    EXPECT_EQ(SQLNativeSql(session.dbc, Sql("select 1234567890"), SQL_NTS, nullptr, 0, &len), SQL_SUCCESS);
    EXPECT_EQ(len, 17);
    script.nativeResult = 15;
    EXPECT_EQ(SQLNativeSql(session.dbc, Sql("select 1"), SQL_NTS, reinterpret_cast<SQLCHAR *>(big.data()), 100, &len),
              SQL_ERROR);
    EXPECT_EQ(SQLNativeSql(session.dbc, Sql("select 1"), -9, reinterpret_cast<SQLCHAR *>(big.data()), 100, &len),
              SQL_ERROR);
    EXPECT_EQ(DiagState(SQL_HANDLE_DBC, session.dbc), "HY090");
}

TEST_F(Exec, WideOutputLengthsDoNotOverflowForLargeBuffers)
{
    // The caller's buffer is small, its claimed size huge: the work buffer
    // and the back end's size are bounded, the text fits.
    SQLWCHAR out[32];
    SQLINTEGER len = 0;
    EXPECT_EQ(SQLNativeSqlW(session.dbc, reinterpret_cast<SQLWCHAR *>(const_cast<char16_t *>(u"select 1")), SQL_NTS,
                            out, 0x7FFFFFF0, &len),
              SQL_SUCCESS);
    EXPECT_GE(script.nativeSize, 9);
    EXPECT_LE(script.nativeSize, 65537);
    EXPECT_EQ(len, 8);
    EXPECT_TRUE(std::u16string(reinterpret_cast<char16_t *>(out)) == u"select 1");
    SQLSMALLINT nameLen = 0;
    EXPECT_EQ(SQLGetCursorNameW(h, out, 32767, &nameLen), SQL_SUCCESS);
    EXPECT_EQ(nameLen, 8);
    EXPECT_TRUE(std::u16string(reinterpret_cast<char16_t *>(out)) == u"SQL_CUR1");
}

TEST_F(Exec, WideNativeSqlCountsTheWholeTextInCharacters)
{
    // Beyond the first work buffer, cut, and with no buffer: the length is
    // the whole text's in UTF-16 units.
    std::u16string big = u"select '" + std::u16string(70000, u'\u00e9') + u"'";
    std::vector<SQLWCHAR> out(100000);
    SQLINTEGER len = 0;
    auto call = [&](SQLWCHAR *buf, SQLINTEGER room) {
        return SQLNativeSqlW(session.dbc, reinterpret_cast<SQLWCHAR *>(big.data()), SQL_NTS, buf, room, &len);
    };
    EXPECT_EQ(call(out.data(), 100000), SQL_SUCCESS);
    EXPECT_EQ(len, 70009);
    EXPECT_TRUE(std::u16string(reinterpret_cast<char16_t *>(out.data())) == big);
    EXPECT_EQ(call(out.data(), 9), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(DiagState(SQL_HANDLE_DBC, session.dbc), "01004");
    EXPECT_EQ(len, 70009);
    EXPECT_TRUE(std::u16string(reinterpret_cast<char16_t *>(out.data())) == u"select '");
    EXPECT_EQ(call(nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(len, 70009);
    EXPECT_EQ(call(out.data(), 0), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, 70009);
}

TEST_F(Exec, ARowWiderThanABlockStillFetchesOneRowAtATime)
{
    script.cols = {{"", Desc("wide", SQL_VARCHAR, VT_CHAR, 70000)}};
    script.rows = {1, 2};
    ASSERT_EQ(SQLExecDirect(h, Sql("select wide from t"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(h), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(h), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(h), SQL_NO_DATA);
    ASSERT_FALSE(script.fetchAsked.empty());
    EXPECT_EQ(script.fetchAsked[0], 1);
}

TEST_F(Exec, TypeInformationTextThroughATemporaryStatement)
{
    script.cols = {{"", Desc("id", SQL_INTEGER, VT_LONG, 10)}, {"", Desc("name", SQL_VARCHAR, VT_CHAR, 12)}};
    script.rows = {7};
    char buf[256] = {};
    int64_t len = 0;
    g_typeInfoResult = 0;
    EXPECT_EQ(ConnGetTypeInfoColumn(conn, 2, SQL_INTEGER, buf, sizeof buf, &len), SQL_SUCCESS);
    EXPECT_STREQ(buf, "row7");
    EXPECT_EQ(conn->stmts->next, nullptr) << "the temporary statement is gone";
    g_typeInfoResult = ERR_GENERAL;
    session.fake.pendingErrors = {"[SQLSTATE:S1000]no type table"};
    EXPECT_EQ(ConnGetTypeInfoColumn(conn, 1, SQL_INTEGER, buf, sizeof buf, &len), SQL_ERROR);
    EXPECT_EQ(conn->diag.errNum, ERR_GENERAL);
    EXPECT_EQ(ERR_Count(&conn->diag), 1u);
    g_typeInfoResult = 0;
    conn->state = CONN_ALLOCATED;
    EXPECT_EQ(ConnGetTypeInfoColumn(conn, 1, SQL_INTEGER, buf, sizeof buf, &len), SQL_ERROR);
    EXPECT_EQ(conn->diag.errNum, ERR_CONNECTION_NOT_OPEN);
    conn->state = CONN_CONNECTED;
    ERR_Clear(&conn->diag);
}

TEST_F(Exec, TypeInformationTextIsThatOfTheTypesUsualName)
{
    // VARCHAR rows of the type table: "name" first, the usual "varchar" later.
    script.typeNames = {"name", "text", "varchar", "bpchar", "char"};
    struct Case {
        std::vector<int32_t> rows;
        int column;
        int16_t type;
        const char *want;
    } cases[] = {
        {{0, 1, 2}, 1, SQL_VARCHAR, "varchar"},
        {{0, 1, 2}, 2, SQL_VARCHAR, "row2"},     // the literal columns of the same row
        {{4, 3}, 1, SQL_CHAR, "bpchar"},
        {{4, 3}, 1, SQL_WCHAR, "bpchar"},
        {{2, 0}, 1, SQL_VARCHAR, "varchar"},     // the first row is the usual one
        {{0, 1}, 1, SQL_VARCHAR, "name"},        // none is: the first row
        {{1}, 1, SQL_GUID, "text"},              // no usual name: the first row
    };
    for (const Case &c : cases) {
        script.rows = c.rows;
        script.next = 0;
        char buf[256] = {};
        int64_t len = 0;
        EXPECT_EQ(ConnGetTypeInfoColumn(conn, c.column, c.type, buf, sizeof buf, &len), SQL_SUCCESS) << c.want;
        EXPECT_STREQ(buf, c.want);
        EXPECT_EQ(len, static_cast<int64_t>(std::strlen(c.want)));
    }
    // A usual name found later is cut like any read.
    script.rows = {0, 2};
    script.next = 0;
    char small[4] = {};
    int64_t len = 0;
    EXPECT_EQ(ConnGetTypeInfoColumn(conn, 1, SQL_VARCHAR, small, sizeof small, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(small, "var");
    EXPECT_EQ(len, 7);
    // A type the table does not list.
    script.rows = {};
    script.next = 0;
    std::strcpy(small, "abc");
    EXPECT_EQ(ConnGetTypeInfoColumn(conn, 1, SQL_VARCHAR, small, sizeof small, &len), SQL_NO_DATA);
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(conn->stmts->next, nullptr);
}

TEST_F(Exec, MoreResultsAndCloseCursor)
{
    EXPECT_EQ(SQLMoreResults(h), SQL_NO_DATA) << "nothing executed";
    EXPECT_EQ(SQLCloseCursor(h), SQL_ERROR);
    EXPECT_EQ(State(), "24000");
    script.cols = {{"", Desc("id", SQL_INTEGER, VT_LONG, 10)}};
    ASSERT_EQ(SQLExecDirect(h, Sql("select id from t"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLCloseCursor(h), SQL_SUCCESS);
    SQLSMALLINT cols = 0;
    EXPECT_EQ(SQLNumResultCols(h, &cols), SQL_ERROR) << "closed";
    EXPECT_EQ(SQLNumParams(h, &cols), SQL_ERROR) << "closed";
    // A statement prepared by SQLPrepare stays prepared after the close.
    ASSERT_EQ(SQLPrepare(h, Sql("select id from t"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(h), SQL_SUCCESS);
    EXPECT_EQ(SQLCloseCursor(h), SQL_SUCCESS);
    EXPECT_EQ(SQLNumResultCols(h, &cols), SQL_SUCCESS);
    EXPECT_EQ(cols, 1);
    EXPECT_EQ(SQLNumParams(h, &cols), SQL_SUCCESS);
    EXPECT_EQ(cols, 0);
}

// ---- cursor state ----

TEST(CursorState, PositionsBookmarksAndInformation)
{
    CursorState cs{};
    CUR_StateInit(&cs, 0, 0, nullptr, nullptr);
    cs.rowCount = 3;
    EXPECT_EQ(CUR_PosSet(&cs, 5), 39);
    EXPECT_EQ(cs.position, 0);
    cs.rowCount = -1;
    EXPECT_EQ(CUR_PosSet(&cs, 5), 0);
    EXPECT_EQ(cs.position, 5);

    RowsetCache *cache = nullptr;
    EXPECT_EQ(RS_Create(&cache, 0), ERR_GENERAL);
    ASSERT_EQ(RS_Create(&cache, 4), 0);
    for (int32_t r = 1; r <= 4; ++r)
        CUR_RowStatusSet(cache, r, 0);
    cs.cache = cache;
    int32_t bm = -1;
    cs.cursorType = 3;
    cs.rowsetSize = 4;
    cs.absRow = 11;
    cs.position = 1;
    EXPECT_EQ(CUR_BookmarkGet(&cs, 0, &bm), 0);
    EXPECT_EQ(bm, 11);
    EXPECT_EQ(CUR_BookmarkGet(&cs, 2, &bm), 0);
    EXPECT_EQ(bm, 13);
    EXPECT_EQ(CUR_BookmarkGet(&cs, 4, &bm), ERR_INVALID_ARGUMENT);
    cs.cursorType = 2;
    EXPECT_EQ(CUR_BookmarkGet(&cs, 0, &bm), ERR_NOT_CAPABLE);
    EXPECT_EQ(bm, 0);
    cs.cursorType = 3;
    cs.position = 0;
    EXPECT_EQ(CUR_BookmarkGet(&cs, 0, &bm), ERR_INVALID_CURSOR_STATE);
    cs.cursorType = 0;
    cs.position = 1;
    EXPECT_EQ(CUR_RowBookmark(&cs, 0, &bm), 0);
    EXPECT_EQ(bm, 0);

    CUR_RowStatusSet(cache, 4, 3);
    EXPECT_EQ(CUR_RowStatusGet(cache, 4), 3);
    CUR_RowStatusSet(cache, 2, 5);
    EXPECT_EQ(CUR_RowStatusGet(cache, 2), 5);
    EXPECT_EQ(CUR_RowStatusGet(nullptr, 1), 5);
    EXPECT_EQ(CUR_RowStatusGet(cache, 9), 5) << "past the cache";
    cs.cursorType = 3;
    EXPECT_EQ(CUR_RowBookmark(&cs, 1, &bm), 41);
    CUR_StateFree(&cs);
    EXPECT_EQ(cs.cache, nullptr);
}

int TextInfo(int, int code, void *buf, int16_t, int16_t *)
{
    if (code == DrvText(DrvConnInfo(17)))
        std::strcpy(static_cast<char *>(buf), "PostgreSQL");
    else
        std::memset(buf, 0x11, 4);
    return 0;
}

TEST(CursorState, DrvGetInfoCutsTextAndChecksWidths)
{
    DrvOpTable t{};
    t.GetInfo = TextInfo;
    DrvBinding b{2, &t};
    char buf[5];
    int16_t len = 0;
    EXPECT_EQ(CUR_DrvGetInfo(&b, 1, 17, buf, 5, &len), 19);
    EXPECT_STREQ(buf, "Post");
    EXPECT_EQ(len, 10);
    int32_t v = 0;
    EXPECT_EQ(CUR_DrvGetInfo(&b, 1, 8, &v, 2, nullptr), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(CUR_DrvGetInfo(&b, 1, 8, &v, 4, &len), 0);
    EXPECT_EQ(v, 0x11111111);
    EXPECT_EQ(CUR_DrvGetInfo(&b, 1, 85, &v, 4, &len), 27);
}

} // namespace

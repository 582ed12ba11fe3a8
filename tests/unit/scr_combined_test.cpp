// The cursor library's combined operations over a scripted back end: long
// values set aside from a rowset and read back in pieces, the batch and its
// refusals, allocate-and-prepare failing onto the connection, execute and
// describe, the rowset layout and the variants with named parameter types.
// Blocks handed to the library are freed by the script as the back end
// would, so the sanitizer build sees every block the library loses.
#include <gtest/gtest.h>

#include "odbc/contract/drv_items.h"
#include "odbc/contract/err_report.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/typed_value.h"
#include "odbc/contract/rowblock.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_install.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

// ---- the script ----

struct Fake {
    std::map<int, std::vector<std::string>> errors;  // chain of each handle
    std::map<int, std::string> prepared;
    int nextHandle = 0x0BBB0001;
    int freed = 0;
    int executes = 0;
    int32_t rowCount = 3;
    int32_t rowsetSize = 1;
    int executeAnswer = 0;
    int paramDescsAnswer = 0;
    int typesExCalls = 0;
    std::vector<ColDesc> cols;                  // result description
    std::function<void(RowBlock *)> rows;       // fills a fetched block
} fake;

int fGetInfo(int h, int code, void *buf, int16_t, int16_t *len)
{
    int32_t v;
    if (code == DrvInt(DrvStmtOption(SQL_ROWSET_SIZE)))
        v = fake.rowsetSize;
    else if (code == DrvInt(DRV_STMT_ROW_COUNT) && fake.prepared.count(h))
        v = fake.rowCount;
    else
        return ERR_NOT_CAPABLE;
    memcpy(buf, &v, 4);
    *len = 4;
    return 0;
}

int fSetOption(int, int, void *) { return 0; }

int fGetErrors(int h, ErrReport *out)
{
    *out = ErrReport{};
    std::vector<std::string> &chain = fake.errors[h];
    if (chain.empty())
        return 0;
    out->count = static_cast<uint32_t>(chain.size());
    out->texts = static_cast<char **>(calloc(chain.size(), sizeof(char *)));
    for (size_t i = 0; i < chain.size(); ++i)
        out->texts[i] = strdup(chain[i].c_str());
    chain.clear();
    return 0;
}

int fAllocStmt(int, int *out)
{
    *out = fake.nextHandle++;
    return 0;
}

int fFreeStmt(int h)
{
    ++fake.freed;
    fake.prepared.erase(h);
    return 0;
}

int fPrepare(int h, const char *sql)
{
    if (strstr(sql, "missing_table")) {
        fake.errors[h] = {"[Brennic Edition]relation \"missing_table\" does not exist[SQLSTATE:42P01]"};
        return ERR_TABLE_NOT_FOUND;
    }
    fake.prepared[h] = sql;
    return 0;
}

int fSetParams(int, RowBlock *b)
{
    RB_Free(b);
    free(b);
    return 0;
}

int fSetParamTypes(int, uint16_t, const ParamTypeDesc *) { return 0; }

int fExecute(int h)
{
    ++fake.executes;
    return fake.prepared.count(h) ? fake.executeAnswer : ERR_FUNCTION_SEQUENCE;
}

int fExecDirect(int, const char *, RowBlock *, int16_t, const ParamTypeDesc *) { return ERR_GENERAL; }

int copyDescs(const std::vector<ColDesc> &from, uint16_t *n, ColDesc **out)
{
    *n = static_cast<uint16_t>(from.size());
    *out = CD_Alloc(*n);
    if (!from.empty())
        memcpy(*out, from.data(), from.size() * sizeof(ColDesc));
    return 0;
}

int fGetColDescs(int, uint16_t *n, ColDesc **out) { return copyDescs(fake.cols, n, out); }

int fGetParamDescs(int, uint16_t *n, ColDesc **out)
{
    if (fake.paramDescsAnswer)
        return fake.paramDescsAnswer;
    ColDesc p{};
    strcpy(p.name, "p1");
    p.sqlType = 4;
    return copyDescs({p}, n, out);
}

int fFetch(int, uint16_t rows, RowBlock *block)
{
    if (int rc = RB_InitFromColDescs(fake.cols.data(), static_cast<uint16_t>(fake.cols.size()), rows, block))
        return rc;
    if (fake.rows)
        fake.rows(block);
    return 0;
}

// The descriptions with one text attribute per column.
int fColAttributes(int stmt, uint16_t *cols, int16_t *attrCount, ColDesc **descs, TypedValue **attrs)
{
    fGetColDescs(stmt, cols, descs);
    *attrCount = static_cast<int16_t>(*cols);
    *attrs = static_cast<TypedValue *>(calloc(*cols ? *cols : 1, sizeof(TypedValue)));
    for (uint16_t i = 0; i < *cols; ++i) {
        (*attrs)[i].column = static_cast<uint16_t>(i + 1);
        (*attrs)[i].attrId = 14;  // the base table name
        (*attrs)[i].kind = TV_TEXT;
        (*attrs)[i].value.text = strdup("t");
    }
    return 0;
}

int fParamTypesEx(int, uint16_t, const ParamTypeDescEx *)
{
    ++fake.typesExCalls;
    return 0;
}

DrvOpTable &lower()
{
    static DrvOpTable t = [] {
        DrvOpTable o{};
        o.GetInfo = fGetInfo;
        o.SetOption = fSetOption;
        o.GetErrors = fGetErrors;
        o.AllocStmt = fAllocStmt;
        o.FreeStmt = fFreeStmt;
        o.Prepare = fPrepare;
        o.SetParams = fSetParams;
        o.SetParamTypes = fSetParamTypes;
        o.Execute = fExecute;
        o.ExecDirect = fExecDirect;
        o.GetColDescs = fGetColDescs;
        o.GetParamDescs = fGetParamDescs;
        o.Fetch = fFetch;
        return o;
    }();
    return t;
}

const DrvOpTable &ops()
{
    static DrvBinding binding = [] {
        DrvBinding b{DRVB_THREAD_SAFE, &lower()};
        SCS_Install(&b);
        return b;
    }();
    return *binding.ops;
}

ColDesc col(ValueType vt, uint32_t bufferLength, const char *name = "c")
{
    ColDesc d{};
    strcpy(d.name, name);
    d.valueType = vt;
    d.bufferLength = bufferLength;
    return d;
}

void putHeap(RowBlock *b, int c, int32_t r, const std::string &bytes)
{
    char *data = static_cast<char *>(calloc(bytes.size() + 2, 1));
    memcpy(data, bytes.data(), bytes.size());
    const uint32_t units = b->columns[c].valueType == VT_HEAP_WTEXT ? static_cast<uint32_t>(bytes.size() / 2)
                                                                    : static_cast<uint32_t>(bytes.size());
    LongDataBuf v{units, data};
    memcpy(b->columns[c].data + static_cast<size_t>(r) * b->columns[c].width, &v, sizeof v);
    b->columns[c].indicators[r] = RB_IND_VALUE;
}

LongDataBuf heapOf(const RowBlock *b, int c, int32_t r)
{
    LongDataBuf v;
    memcpy(&v, b->columns[c].data + static_cast<size_t>(r) * b->columns[c].width, sizeof v);
    return v;
}

std::string drain(int h)
{
    ErrReport rep{};
    ops().GetErrors(h, &rep);
    std::string all;
    for (uint32_t i = 0; i < rep.count; ++i) {
        all += rep.texts[i] ? rep.texts[i] : "";
        free(rep.texts[i]);
    }
    free(rep.texts);
    return all;
}

struct Reset {
    Reset()
    {
        ops();
        fake = Fake{};
        lower().ParamTypesEx = nullptr;
        lower().ColAttributes = nullptr;
    }
};

// A text of n bytes cycling through the alphabet.
std::string letters(size_t n)
{
    std::string s(n, 'a');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + i % 26);
    return s;
}

} // namespace

TEST(LongValues, OnlyValuesBeyondTheLimitAreSetAsideAndTheBlockGivesThemUp)
{
    Reset r;
    fake.cols = {col(VT_HEAP_TEXT, 0), col(VT_LONG, 4), col(VT_HEAP_BINARY, 0)};
    RowBlock b{};
    ASSERT_EQ(RB_InitFromColDescs(fake.cols.data(), 3, 3, &b), 0);
    putHeap(&b, 0, 0, letters(60000));
    putHeap(&b, 0, 1, letters(60001));
    putHeap(&b, 2, 2, std::string(60001, '\0'));
    b.rowsUsed = 3;
    RowBlock side{};
    ASSERT_EQ(scs_p_LongDataDetach(&b, &side), 0);
    ASSERT_EQ(side.columnsUsed, 3);
    ASSERT_EQ(side.rowsUsed, 3);
    EXPECT_EQ(b.columns[0].indicators[0], RB_IND_VALUE);
    EXPECT_EQ(heapOf(&b, 0, 0).length, 60000u);
    EXPECT_EQ(b.columns[0].indicators[1], RB_IND_LONG);
    EXPECT_EQ(heapOf(&b, 0, 1).data, nullptr);
    EXPECT_EQ(b.columns[0].indicators[2], RB_IND_NULL);
    EXPECT_EQ(b.columns[2].indicators[2], RB_IND_LONG);
    // The side buffer holds exactly the values set aside.
    const int16_t expected[3][3] = {{-1, -1, -1}, {0, -1, -1}, {-1, -1, 0}};
    for (int c = 0; c < 3; ++c)
        for (int32_t row = 0; row < 3; ++row)
            EXPECT_EQ(side.columns[c].indicators[row], expected[row][c]) << c << "," << row;
    EXPECT_EQ(side.columns[1].width, 0u);
    EXPECT_EQ(std::string(heapOf(&side, 0, 1).data, heapOf(&side, 0, 1).length), letters(60001));
    RB_Free(&side);
    RB_Free(&b);

    // A block without long columns, or without rows, sets nothing aside.
    RowBlock plain{};
    ColDesc d = col(VT_LONG, 4);
    ASSERT_EQ(RB_InitFromColDescs(&d, 1, 2, &plain), 0);
    plain.rowsUsed = 2;
    EXPECT_EQ(scs_p_LongDataDetach(&plain, &side), 0);
    EXPECT_EQ(side.columnsUsed, 0);
    EXPECT_EQ(scs_p_LongDataDetach(nullptr, &side), 0);
    RB_Free(&plain);
}

TEST(LongValues, PiecesUntilNothingIsLeftAndAnotherCellStartsAtItsBeginning)
{
    Reset r;
    fake.cols = {col(VT_HEAP_TEXT, 0), col(VT_LONG, 4), col(VT_HEAP_BINARY, 0), col(VT_HEAP_WTEXT, 0)};
    int h = 0;
    ASSERT_EQ(ops().AllocStmt(1, &h), 0);
    ASSERT_EQ(ops().Prepare(h, "SELECT t, i, b, w FROM long_values"), 0);
    ASSERT_EQ(ops().Execute(h), 0);
    // Before any rowset a forward-only cursor asks the back end, which
    // cannot serve long values.
    void *piece = nullptr;
    uint32_t size = 0, vt = 0;
    int32_t left = 0;
    EXPECT_EQ(ops().LongData(h, 1, 1, 10, &piece, &size, &vt, &left), ERR_FUNCTION_NOT_SUPPORTED);
    EXPECT_NE(drain(h).find("Driver does not support this function[SQLSTATE:IM001]"), std::string::npos);

    fake.rowsetSize = 3;
    fake.rows = [](RowBlock *b) {
        ASSERT_EQ(b->rowsAllocated, 3);
        b->rowsUsed = 3;
        putHeap(b, 0, 0, letters(60000));
        putHeap(b, 0, 1, letters(60001));
        putHeap(b, 2, 0, std::string(70000, '\x01'));
        std::u16string wide(60001, u'\u00e9');
        wide[60000] = u'z';
        putHeap(b, 3, 2, std::string(reinterpret_cast<const char *>(wide.data()), 2 * wide.size()));
    };
    RowsetCache *cache = nullptr;
    int rows = 0, total = 0;
    ASSERT_EQ(ops().ScrollFetchLong(h, &cache, 0, &rows, &total, SQL_FETCH_NEXT), 0);
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(cache->block->columns[0].indicators[0], RB_IND_VALUE);
    EXPECT_EQ(cache->block->columns[0].indicators[1], RB_IND_LONG);

    // Text of 60001 bytes in pieces of 25000: 25000, 25000, 10001, then none.
    std::string got;
    const int32_t lefts[] = {60001, 35001, 10001, 0};
    for (int32_t expectLeft : lefts) {
        ASSERT_EQ(ops().LongData(h, 1, 2, 25000, &piece, &size, &vt, &left), 0);
        EXPECT_EQ(left, expectLeft);
        EXPECT_EQ(vt, VT_CHAR);
        if (expectLeft == 0) {
            EXPECT_EQ(piece, nullptr);
            EXPECT_EQ(size, 0u);
            break;
        }
        got.append(static_cast<char *>(piece), size);
        free(piece);
    }
    EXPECT_EQ(got, letters(60001));

    // Another cell starts at its beginning: binary 70000 bytes.
    ASSERT_EQ(ops().LongData(h, 3, 1, 100, &piece, &size, &vt, &left), 0);
    EXPECT_EQ(left, 70000);
    EXPECT_EQ(size, 100u);
    EXPECT_EQ(vt, VT_BINARY);
    free(piece);
    // ... and going back restarts the first one.
    ASSERT_EQ(ops().LongData(h, 1, 2, 5, &piece, &size, &vt, &left), 0);
    EXPECT_EQ(left, 60001);
    EXPECT_EQ(std::string(static_cast<char *>(piece), size), "abcde");
    free(piece);

    // Wide text: a piece of n characters is 2n bytes, the last one whole.
    ASSERT_EQ(ops().LongData(h, 4, 3, 60000, &piece, &size, &vt, &left), 0);
    EXPECT_EQ(left, 120002);
    EXPECT_EQ(size, 120000u);
    EXPECT_EQ(vt, VT_WCHAR);
    free(piece);
    ASSERT_EQ(ops().LongData(h, 4, 3, 60000, &piece, &size, &vt, &left), 0);
    EXPECT_EQ(left, 2);
    ASSERT_EQ(size, 2u);
    EXPECT_EQ(*static_cast<char16_t *>(piece), u'z');
    free(piece);

    // A size of 0 tells what is left without taking a piece.
    ASSERT_EQ(ops().LongData(h, 3, 1, 0, &piece, &size, &vt, &left), 0);
    EXPECT_EQ(left, 70000);
    EXPECT_EQ(piece, nullptr);

    struct Case {
        uint16_t col;
        uint32_t row;
        int64_t n;
        int answer;
    } cases[] = {
        {1, 1, 10, ERR_NO_DATA_FOUND},    // left in the rowset
        {1, 3, 10, ERR_NO_DATA_FOUND},    // NULL
        {2, 1, 10, ERR_NO_DATA_FOUND},    // not a long column
        {0, 1, 10, ERR_INVALID_ARGUMENT},
        {5, 1, 10, ERR_INVALID_ARGUMENT},
        {1, 0, 10, ERR_INVALID_ARGUMENT},
        {1, 4, 10, ERR_INVALID_ARGUMENT},
        {1, 2, -1, ERR_INVALID_ARGUMENT},
    };
    for (const Case &c : cases) {
        piece = reinterpret_cast<void *>(1);
        EXPECT_EQ(ops().LongData(h, c.col, c.row, c.n, &piece, &size, &vt, &left), c.answer) << c.col << "," << c.row;
        EXPECT_EQ(piece, nullptr);
        EXPECT_EQ(left, -4);
    }
    RS_Free(&cache);

    // A new execution forgets the values; after a rowset without values set
    // aside there is nothing to read.
    ASSERT_EQ(ops().Execute(h), 0);
    EXPECT_EQ(ops().LongData(h, 1, 2, 10, &piece, &size, &vt, &left), ERR_FUNCTION_NOT_SUPPORTED);
    fake.rows = [](RowBlock *b) {
        b->rowsUsed = 1;
        putHeap(b, 0, 0, letters(60000));
    };
    ASSERT_EQ(ops().ScrollFetchLong(h, &cache, 0, &rows, &total, SQL_FETCH_NEXT), 0);
    RS_Free(&cache);
    EXPECT_EQ(ops().LongData(h, 1, 1, 10, &piece, &size, &vt, &left), ERR_NO_DATA_FOUND);
    EXPECT_EQ(ops().FreeStmt(h), 0);
    EXPECT_EQ(ops().LongData(h, 1, 1, 10, &piece, &size, &vt, &left), ERR_INVALID_ARGUMENT);
}

TEST(Batch, FirstWords)
{
    struct Case {
        const char *text;
        int select, call;
    } cases[] = {
        {"SELECT 1", 1, 0},
        {"  \t\nselect\tx", 1, 0},
        {"(SeLeCt 1)", 1, 0},
        {"selected", 0, 0},
        {"INSERT INTO t SELECT 1", 0, 0},
        {"{call p(?)}", 0, 1},
        {"{?=call f(?)}", 0, 1},
        {"{ ? = CALL f}", 0, 1},
        {"call", 0, 1},
        {"caller()", 0, 0},
        {"", 0, 0},
        {nullptr, 0, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(scs_p_IsSelectStmt(c.text), c.select) << (c.text ? c.text : "NULL");
        EXPECT_EQ(scs_p_IsCallStmt(c.text), c.call) << (c.text ? c.text : "NULL");
    }
}

namespace {

RowBlock *oneIntBlock(int32_t v)
{
    auto *b = static_cast<RowBlock *>(calloc(1, sizeof(RowBlock)));
    ColDesc d = col(VT_LONG, 4);
    RB_InitFromColDescs(&d, 1, 1, b);
    memcpy(b->columns[0].data, &v, 4);
    b->columns[0].indicators[0] = RB_IND_VALUE;
    b->rowsUsed = 1;
    return b;
}

} // namespace

TEST(Batch, StopsAtAStatementThatReturnsRowsAndFreesTheBlocksItNeverSent)
{
    Reset r;
    int h = 0;
    ASSERT_EQ(ops().AllocStmt(1, &h), 0);
    ParamTypeDesc t{4, 4, 10, 0, 1};
    const BatchEntry entries[] = {
        {"INSERT INTO t VALUES (?)", 1, &t, oneIntBlock(1)},
        {" select * from t where id = ?", 1, &t, oneIntBlock(2)},
        {"UPDATE t SET id = ?", 1, &t, oneIntBlock(3)},
    };
    int16_t done = -1;
    int32_t *counts = nullptr;
    EXPECT_EQ(ops().ExecBatch(h, 3, entries, &done, &counts), ERR_ONLY_DDL_DML);
    EXPECT_EQ(done, 1);
    ASSERT_NE(counts, nullptr);
    EXPECT_EQ(counts[0], 3);
    EXPECT_EQ(fake.executes, 1);
    EXPECT_NE(drain(h).find("Only DDL and DML command can be executed[SQLSTATE:S1000]"), std::string::npos);
    free(counts);

    // Without a text the statement's prepared text is the one judged.
    ASSERT_EQ(ops().Prepare(h, "SELECT 1"), 0);
    const BatchEntry again[] = {{nullptr, 0, nullptr, nullptr}};
    EXPECT_EQ(ops().ExecBatch(h, 1, again, &done, &counts), ERR_ONLY_DDL_DML);
    EXPECT_EQ(done, 0);
    free(counts);

    // A failing entry stops the batch with its own error.
    fake.executeAnswer = ERR_GENERAL;
    const BatchEntry failing[] = {{"DELETE FROM t", 0, nullptr, oneIntBlock(4)},
                                  {"DELETE FROM u", 0, nullptr, oneIntBlock(5)}};
    EXPECT_EQ(ops().ExecBatch(h, 2, failing, &done, &counts), ERR_GENERAL);
    EXPECT_EQ(done, 0);
    free(counts);
    fake.executeAnswer = 0;

    // All run: one row count each, negative counts as 0.
    fake.rowCount = -1;
    const BatchEntry fine[] = {{"DELETE FROM t", 0, nullptr, nullptr}, {nullptr, 0, nullptr, nullptr}};
    EXPECT_EQ(ops().ExecBatch(h, 2, fine, &done, &counts), 0);
    EXPECT_EQ(done, 2);
    EXPECT_EQ(counts[0], 0);
    EXPECT_EQ(counts[1], 0);
    free(counts);

    // Refused before anything runs: the blocks are freed all the same.
    const BatchEntry refused[] = {{"DELETE FROM t", 0, nullptr, oneIntBlock(6)}};
    EXPECT_EQ(ops().ExecBatch(h, 1, refused, nullptr, &counts), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(ops().ExecBatch(h, 1, nullptr, &done, &counts), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(ops().FreeStmt(h), 0);
}

TEST(Batch, ACallMayReturnItsOutputParametersButNoRows)
{
    Reset r;
    int h = 0;
    ASSERT_EQ(ops().AllocStmt(1, &h), 0);
    const BatchEntry entries[] = {{"{call p(?)}", 0, nullptr, nullptr}, {"DELETE FROM t", 0, nullptr, nullptr}};
    int16_t done = -1;
    int32_t *counts = nullptr;
    for (const char *name : {"*O1", "*B", "*I", "*U"}) {
        fake.cols = {col(VT_LONG, 4, name)};
        EXPECT_EQ(ops().ExecBatch(h, 2, entries, &done, &counts), 0) << name;
        EXPECT_EQ(done, 2);
        free(counts);
    }
    fake.cols = {};
    EXPECT_EQ(ops().ExecBatch(h, 2, entries, &done, &counts), 0);
    free(counts);
    for (const char *name : {"result", "*", "*X"}) {
        fake.cols = {col(VT_LONG, 4, name)};
        EXPECT_EQ(ops().ExecBatch(h, 2, entries, &done, &counts), ERR_ONLY_DDL_DML) << name;
        EXPECT_EQ(done, 0);
        EXPECT_EQ(counts[0], 3);
        free(counts);
    }
    EXPECT_EQ(ops().FreeStmt(h), 0);
}

TEST(AllocPrepare, AFailedPrepareLeavesNoStatementAndItsDiagnosticsOnTheConnection)
{
    Reset r;
    const int conn = 0x0A000001;
    fake.errors[conn] = {"[Brennic Edition]an old connection error[SQLSTATE:01000]"};
    int h = -1;
    EXPECT_EQ(ops().AllocPrepare(conn, "SELECT * FROM missing_table", 1, 0, &h), ERR_TABLE_NOT_FOUND);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(fake.freed, 1);
    const std::string diags = drain(conn);
    EXPECT_NE(diags.find("missing_table\" does not exist[SQLSTATE:42P01]"), std::string::npos);
    EXPECT_EQ(diags.find("old connection error"), std::string::npos);
    EXPECT_EQ(drain(conn), "");

    // Success: a statement with the text prepared; no text: only allocated.
    ASSERT_EQ(ops().AllocPrepare(conn, "DELETE FROM t", 1, 0, &h), 0);
    EXPECT_EQ(fake.prepared[h], "DELETE FROM t");
    EXPECT_EQ(ops().FreeStmt(h), 0);
    ASSERT_EQ(ops().AllocPrepare(conn, nullptr, 1, 0, &h), 0);
    EXPECT_EQ(fake.prepared.count(h), 0u);
    EXPECT_EQ(ops().FreeStmt(h), 0);
    EXPECT_EQ(ops().AllocPrepare(conn, nullptr, 1, 0, nullptr), ERR_INVALID_ARGUMENT);
}

TEST(ExecDescribe, DescriptionsAndRowCountAndNothingHalfDescribed)
{
    Reset r;
    int h = 0;
    ASSERT_EQ(ops().AllocStmt(1, &h), 0);
    fake.cols = {col(VT_LONG, 4, "id"), col(VT_NTS, 21, "name")};
    ParamTypeDesc t{4, 4, 10, 0, 1};
    uint16_t ncols = 9, nparams = 9;
    ColDesc *cols = nullptr, *params = nullptr;
    int32_t rowCount = -7, rowset = 5;
    ASSERT_EQ(ops().ExecDescribe(h, "SELECT id, name FROM t WHERE id > ?", oneIntBlock(1), 1, &t, &rowset, &ncols,
                                 &cols, &nparams, &params, &rowCount),
              0);
    EXPECT_EQ(ncols, 2);
    EXPECT_STREQ(cols[1].name, "name");
    EXPECT_EQ(nparams, 1);
    EXPECT_STREQ(params[0].name, "p1");
    EXPECT_EQ(rowCount, 3);
    EXPECT_EQ(rowset, 5);  // a forward-only cursor keeps its rowset size
    CD_Free(cols, ncols);
    CD_Free(params, nparams);

    // Output values pending are passed on; an unknown row count is 0.
    fake.executeAnswer = ERR_OUTPUT_PARAMS_PENDING;
    fake.rowCount = -1;
    EXPECT_EQ(ops().ExecDescribe(h, "{call p(?)}", nullptr, 0, nullptr, nullptr, &ncols, &cols, &nparams, &params,
                                 &rowCount),
              ERR_OUTPUT_PARAMS_PENDING);
    EXPECT_EQ(rowCount, 0);
    CD_Free(cols, ncols);
    CD_Free(params, nparams);
    fake.executeAnswer = 0;

    // A failing step leaves the outputs empty.
    fake.paramDescsAnswer = ERR_GENERAL;
    EXPECT_EQ(ops().ExecDescribe(h, "SELECT 1", nullptr, 0, nullptr, nullptr, &ncols, &cols, &nparams, &params,
                                 &rowCount),
              ERR_GENERAL);
    EXPECT_EQ(cols, nullptr);
    EXPECT_EQ(ncols, 0);
    fake.paramDescsAnswer = 0;
    // A prepare that fails frees the block it never sent.
    EXPECT_EQ(ops().ExecDescribe(h, "SELECT * FROM missing_table", oneIntBlock(2), 0, nullptr, nullptr, &ncols, &cols,
                                 &nparams, &params, &rowCount),
              ERR_TABLE_NOT_FOUND);
    // With the column attributes of slot 51, when the back end has it.
    int16_t nattrs = 0;
    TypedValue *attrs = nullptr;
    EXPECT_EQ(ops().ExecDescribeEx(h, "SELECT 1", oneIntBlock(2), 0, nullptr, nullptr, &ncols, &cols, &nparams,
                                   &params, &rowCount, &nattrs, &attrs),
              ERR_FUNCTION_NOT_SUPPORTED);
    lower().ColAttributes = fColAttributes;
    ASSERT_EQ(ops().ExecDescribeEx(h, "SELECT id, name FROM t", nullptr, 0, nullptr, nullptr, &ncols, &cols,
                                   &nparams, &params, &rowCount, &nattrs, &attrs),
              0);
    ASSERT_EQ(nattrs, 2);
    EXPECT_STREQ(attrs[1].value.text, "t");
    EXPECT_EQ(ncols, 2);
    for (int16_t i = 0; i < nattrs; ++i)
        TV_FreeValue(&attrs[i]);
    free(attrs);
    CD_Free(cols, ncols);
    CD_Free(params, nparams);
    fake.paramDescsAnswer = ERR_GENERAL;
    EXPECT_EQ(ops().ExecDescribeEx(h, "SELECT id, name FROM t", nullptr, 0, nullptr, nullptr, &ncols, &cols,
                                   &nparams, &params, &rowCount, &nattrs, &attrs),
              ERR_GENERAL);
    EXPECT_EQ(attrs, nullptr);
    EXPECT_EQ(nattrs, 0);
    fake.paramDescsAnswer = 0;
    // So does a call refused for its arguments.
    EXPECT_EQ(ops().ExecDescribe(h, "SELECT 1", oneIntBlock(3), 1, nullptr, nullptr, &ncols, &cols, &nparams,
                                 &params, &rowCount),
              ERR_INVALID_ARGUMENT);
    EXPECT_EQ(ops().FreeStmt(h), 0);
}

TEST(DescribeRowset, BufferLengthsByValueType)
{
    Reset r;
    int h = 0;
    ASSERT_EQ(ops().AllocStmt(1, &h), 0);
    ASSERT_EQ(ops().Prepare(h, "SELECT * FROM t"), 0);
    // The buffer length of each column from its element width w.
    struct Case {
        ValueType vt;
        uint32_t bufferLength;
        uint32_t (*expected)(uint32_t w);
    } cases[] = {
        {VT_LONG, 4, [](uint32_t w) { return w; }},
        {VT_NTS, 21, [](uint32_t w) { return w; }},
        {VT_HEAP_TEXT, 0, [](uint32_t w) { return w; }},
        {VT_WNTS, 42, [](uint32_t w) { return w / 2; }},
        {VT_WCHAR, 20, [](uint32_t w) { return w / 2; }},
        {VT_HEAP_WTEXT, 0, [](uint32_t w) { return w; }},
        {VT_WTEXT4, 20, [](uint32_t w) { return (w - 4) / 2; }},
        {VT_TIMESTAMP, 16, [](uint32_t w) { return w; }},
    };
    fake.cols.clear();
    for (const Case &c : cases)
        fake.cols.push_back(col(c.vt, c.bufferLength));
    uint16_t n = 0;
    ColDesc *descs = nullptr;
    RowBlock block{};
    ASSERT_EQ(ops().DescribeRowset(h, &n, &descs, &block), 0);
    ASSERT_EQ(n, sizeof cases / sizeof cases[0]);
    EXPECT_EQ(block.rowsUsed, 0);
    EXPECT_EQ(block.columns[0].width, 4u);
    EXPECT_EQ(block.columns[2].width, sizeof(LongDataBuf));
    EXPECT_GE(block.columns[3].width, 42u);
    for (uint16_t i = 0; i < n; ++i) {
        EXPECT_EQ(descs[i].valueType, cases[i].vt) << i;
        EXPECT_EQ(descs[i].bufferLength, cases[i].expected(block.columns[i].width)) << i;
    }
    CD_Free(descs, n);
    RB_Free(&block);
    // Without descriptions asked, only the count and the layout.
    ASSERT_EQ(ops().DescribeRowset(h, &n, nullptr, &block), 0);
    EXPECT_EQ(block.columnsUsed, n);
    RB_Free(&block);
    EXPECT_EQ(ops().DescribeRowset(h, &n, nullptr, nullptr), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(ops().FreeStmt(h), 0);
}

TEST(NamedParamTypes, RefusedWithoutTheBackEndsSlotAndCopiedWithIt)
{
    Reset r;
    int h = 0;
    ASSERT_EQ(ops().AllocStmt(1, &h), 0);
    const ParamTypeDescEx named[] = {{4, 4, 10, 0, 1, "a"}, {12, 1, 20, 0, 1, "b"}};
    EXPECT_EQ(ops().ParamTypesEx(h, 2, named), ERR_FUNCTION_NOT_SUPPORTED);
    EXPECT_NE(drain(h).find("[SQLSTATE:IM001]"), std::string::npos);
    EXPECT_EQ(ops().ExecDirectEx(h, "INSERT INTO t VALUES (?, ?)", oneIntBlock(1), 2, named),
              ERR_FUNCTION_NOT_SUPPORTED);
    EXPECT_EQ(fake.executes, 0);
    // Without types it runs like slot 43.
    EXPECT_EQ(ops().ExecDirectEx(h, "DELETE FROM t", oneIntBlock(1), 0, nullptr), 0);
    EXPECT_EQ(fake.executes, 1);

    lower().ParamTypesEx = fParamTypesEx;
    EXPECT_EQ(ops().ExecDirectEx(h, "INSERT INTO t VALUES (?, ?)", oneIntBlock(1), 2, named), 0);
    EXPECT_EQ(fake.typesExCalls, 1);
    ScsContext *ctx = scs_p_CtxFind(h);
    ASSERT_EQ(ctx->appParamTypeCount, 2);
    EXPECT_EQ(ctx->appParamTypes[1].sqlType, 12);
    EXPECT_EQ(ctx->appParamTypes[1].columnSize, 20u);
    EXPECT_EQ(ops().ExecDirectEx(h, nullptr, nullptr, -1, named), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(ops().FreeStmt(h), 0);
}

// GetColumn: column checks, bookmarks, SQL_C_DEFAULT and SQL_ARD_TYPE, NULLs,
// every value type's cell layout, piecewise SQLGetData, long values and the
// output-parameter mode.
#include <cstdlib>
#include <map>
#include <string>

#include "exec/getcolumn.h"
#include "exec_conv_test_util.h"

namespace {

const ::testing::Environment *const kCodePage = ::testing::AddGlobalTestEnvironment(new Utf8CodePage);

// A block of columns with storage for `rows` rows, freed with the fixture.
struct Block {
    RowBlock rb{};

    Block(std::initializer_list<std::pair<ValueType, uint32_t>> cols, int32_t rows)
    {
        EXPECT_EQ(RB_Init(&rb, static_cast<uint16_t>(cols.size())), 0);
        rb.columnsUsed = static_cast<uint16_t>(cols.size());
        int i = 0;
        for (auto &c : cols) {
            rb.columns[i].valueType = c.first;
            rb.columns[i].width = c.second;
            ++i;
        }
        EXPECT_EQ(RB_AllocRows(&rb, rows), 0);
        rb.rowsUsed = rows;
    }
    ~Block() { RB_Free(&rb); }

    // Stores raw element bytes (at most the width) and the indicator.
    void Set(uint16_t col, int32_t row, const void *bytes, size_t n, int16_t ind = RB_IND_VALUE)
    {
        RowBlockColumn &c = rb.columns[col - 1];
        std::memcpy(c.data + static_cast<size_t>(row) * c.width, bytes, n);
        c.indicators[row] = ind;
    }
    void SetText(uint16_t col, int32_t row, const std::string &s) { Set(col, row, s.c_str(), s.size() + 1); }
    void SetNull(uint16_t col, int32_t row) { rb.columns[col - 1].indicators[row] = RB_IND_NULL; }
    void SetLong(uint16_t col, int32_t row) { rb.columns[col - 1].indicators[row] = RB_IND_LONG; }
    // A heap cell: a malloc'd copy the block frees.
    void SetHeap(uint16_t col, int32_t row, const void *bytes, size_t n, uint32_t length)
    {
        char *copy = static_cast<char *>(std::malloc(n + 2));
        std::memcpy(copy, bytes, n);
        copy[n] = copy[n + 1] = 0;
        LongDataBuf buf{length, copy};
        Set(col, row, &buf, sizeof buf);
    }
};

ColDesc Desc(int32_t sqlType, ValueType vt, int16_t digits = 0)
{
    ColDesc d{};
    d.sqlType = sqlType;
    d.valueType = vt;
    d.decimalDigits = digits;
    return d;
}

struct Record {
    int16_t concise;
    int16_t precision;
    int16_t scale;
};

// The statement as GetColumn sees it.
class FakeHost : public GetColumnHost {
public:
    std::vector<ColDesc> descs;
    int colDescErr = 0;
    int colDescCalls = 0;
    std::map<std::pair<bool, uint16_t>, Record> records;
    int bookmarkErr = 0;
    int32_t firstBookmark = 11;
    // The long value the back end holds back, handed out in pieces.
    std::string longValue;
    ValueType longType = VT_NTS;
    bool longIsNull = false;
    size_t longPos = 0;
    std::string piece;
    int freeCalls = 0;

    int ColDescs(const ColDesc **d, uint16_t *count) override
    {
        ++colDescCalls;
        if (colDescErr)
            return colDescErr;
        *d = descs.data();
        *count = static_cast<uint16_t>(descs.size());
        return 0;
    }
    bool DescRecord(bool apd, uint16_t column, int16_t *concise, int16_t *precision, int16_t *scale) override
    {
        auto it = records.find({apd, column});
        if (it == records.end())
            return false;
        *concise = it->second.concise;
        *precision = it->second.precision;
        *scale = it->second.scale;
        return true;
    }
    int BookmarkGet(uint32_t row, int32_t *bookmark) override
    {
        if (bookmarkErr)
            return bookmarkErr;
        *bookmark = firstBookmark + static_cast<int32_t>(row);
        return 0;
    }
    int FetchColValue(GetDataState *gd, int64_t pieceSize) override
    {
        FreeColValue(gd);
        if (longIsNull) {
            gd->total = -1;
            return ERR_NO_DATA_FOUND;
        }
        if (longPos >= longValue.size())
            return ERR_NO_DATA_FOUND;
        size_t n = std::min(static_cast<size_t>(pieceSize), longValue.size() - longPos);
        piece = longValue.substr(longPos, n);
        longPos += n;
        gd->value = piece.data();
        gd->pieceLen = static_cast<uint32_t>(n);
        gd->valueType = longType;
        gd->total = static_cast<int32_t>(longValue.size());
        gd->ownsValue = 1;
        return 0;
    }
    void FreeColValue(GetDataState *gd) override
    {
        ++freeCalls;
        gd->value = nullptr;
        gd->ownsValue = 0;
    }
};

class GetColumnTest : public ::testing::Test {
protected:
    FakeHost host;
    GetDataState gd{};
    int32_t err = 0;
    GetColumnCtx ctx{&err, &gd, &host, 3, false, false, false};
    Bytes buf = Bytes(64, kGuard);
    SQLLEN ind = kNotWritten;

    ColBindingHead Binding(uint16_t col, int16_t cType, SQLLEN bufLen)
    {
        return ColBindingHead{col, cType, 0, buf.data(), bufLen, &ind, &ind};
    }
    SQLRETURN Get(const Block &b, uint32_t row, ColBindingHead &binding)
    {
        return GetColumn(ctx, row, &binding, &b.rb);
    }
    std::string Text() const { return std::string(reinterpret_cast<const char *>(buf.data())); }
    void NewFetch()
    {
        gd.column = 0;
        gd.row = 0;
    }
};

TEST_F(GetColumnTest, ColumnOutOfRange)
{
    Block b({{VT_NTS, 8}}, 1);
    host.descs = {Desc(SQL_VARCHAR, VT_NTS)};
    ColBindingHead bm = Binding(0, SQL_C_BINARY, 8);
    EXPECT_EQ(Get(b, 0, bm), SQL_ERROR);
    EXPECT_EQ(StateOf(err), "S1002");
    ColBindingHead past = Binding(2, SQL_C_CHAR, 8);
    EXPECT_EQ(Get(b, 0, past), SQL_ERROR);
    EXPECT_EQ(StateOf(err), "S1002");
    EXPECT_EQ(GetColumn(ctx, 0, &past, nullptr), SQL_ERROR);
}

TEST_F(GetColumnTest, Bookmarks)
{
    Block b({{VT_NTS, 8}}, 3);
    ctx.useBookmarks = true;
    for (int16_t bad : {SQL_C_LONG, SQL_C_ULONG, SQL_C_CHAR}) {
        ColBindingHead bm = Binding(0, bad, 8);
        EXPECT_EQ(Get(b, 0, bm), SQL_ERROR);
        EXPECT_EQ(StateOf(err), "07006");
    }
    ColBindingHead bm = Binding(0, SQL_C_BINARY, 8);
    EXPECT_EQ(Get(b, 2, bm), SQL_SUCCESS);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 8), Val<int64_t>(13));
    EXPECT_EQ(ind, 8);
    EXPECT_EQ(buf[8], kGuard);

    ColBindingHead ub = Binding(0, SQL_C_UBIGINT, 0);
    EXPECT_EQ(Get(b, 0, ub), SQL_SUCCESS);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 8), Val<int64_t>(11));

    // A binary target shorter than the bookmark takes its first bytes
    // (01004, the whole length reported) and nothing past its end.
    std::fill(buf.begin(), buf.end(), kGuard);
    ColBindingHead shortBm = Binding(0, SQL_C_BINARY, 4);
    EXPECT_EQ(Get(b, 0, shortBm), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(StateOf(err), "01004");
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 4), Val<int32_t>(11));
    EXPECT_EQ(ind, 8);
    EXPECT_EQ(buf[4], kGuard);

    ColBindingHead nullData = Binding(0, SQL_C_BINARY, 8);
    nullData.data = nullptr;
    EXPECT_EQ(Get(b, 0, nullData), SQL_ERROR);
    EXPECT_EQ(StateOf(err), "S1009");

    host.bookmarkErr = ERR_NOT_CAPABLE;
    EXPECT_EQ(Get(b, 0, bm), SQL_ERROR);
    EXPECT_EQ(StateOf(err), "S1C00");
}

TEST_F(GetColumnTest, RowOutOfRangeAfterIndicator)
{
    Block b({{VT_LONG, 4}}, 1);
    host.descs = {Desc(SQL_INTEGER, VT_LONG)};
    ColBindingHead c = Binding(1, SQL_C_LONG, 4);
    EXPECT_EQ(Get(b, 1, c), SQL_ERROR);
    EXPECT_EQ(StateOf(err), "24000");
    EXPECT_EQ(ind, 0);
    EXPECT_EQ(Get(b, static_cast<uint32_t>(-1), c), SQL_ERROR);
    EXPECT_EQ(StateOf(err), "24000");
}

TEST_F(GetColumnTest, DefaultCType)
{
    Block b({{VT_LONG, 4}, {VT_WNTS, 16}}, 1);
    host.descs = {Desc(SQL_INTEGER, VT_LONG), Desc(SQL_WVARCHAR, VT_WNTS)};
    int32_t v = 77;
    b.Set(1, 0, &v, 4);
    std::u16string w = u"h\u00e9";
    b.Set(2, 0, w.c_str(), (w.size() + 1) * 2);

    ColBindingHead c = Binding(1, SQL_C_DEFAULT, 0);
    EXPECT_EQ(Get(b, 0, c), SQL_SUCCESS);
    EXPECT_EQ(c.bufferLength, 4);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 4), Val<int32_t>(77));

    // ODBC 2: a wide column with SQL_C_DEFAULT is narrow text.
    ctx.odbcVersion = 2;
    ColBindingHead wc = Binding(2, SQL_C_DEFAULT, 20);
    EXPECT_EQ(Get(b, 0, wc), SQL_SUCCESS);
    EXPECT_EQ(Text(), "h\xC3\xA9");
    ctx.odbcVersion = 3;
    NewFetch();
    EXPECT_EQ(Get(b, 0, wc), SQL_SUCCESS);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 6), Wtxt(w));
}

TEST_F(GetColumnTest, PiecewiseText)
{
    Block b({{VT_NTS, 16}}, 1);
    host.descs = {Desc(SQL_VARCHAR, VT_NTS)};
    b.SetText(1, 0, "abcdefghij");
    struct Step {
        const char *text;
        SQLLEN octet;
        SQLRETURN rc;
    } steps[] = {{"abc", 10, SQL_SUCCESS_WITH_INFO},
                 {"def", 7, SQL_SUCCESS_WITH_INFO},
                 {"ghi", 4, SQL_SUCCESS_WITH_INFO},
                 {"j", 1, SQL_SUCCESS}};
    ColBindingHead c = Binding(1, SQL_C_CHAR, 4);
    for (const Step &s : steps) {
        EXPECT_EQ(Get(b, 0, c), s.rc);
        EXPECT_EQ(Text(), s.text);
        EXPECT_EQ(ind, s.octet);
    }
    EXPECT_EQ(Get(b, 0, c), SQL_NO_DATA);
}

TEST_F(GetColumnTest, PiecewiseSwitchingCType)
{
    Block b({{VT_NTS, 16}}, 2);
    host.descs = {Desc(SQL_VARCHAR, VT_NTS)};
    b.SetText(1, 0, "abcdefghij");
    b.SetText(1, 1, "xyz");
    ColBindingHead c = Binding(1, SQL_C_CHAR, 4);
    EXPECT_EQ(Get(b, 0, c), SQL_SUCCESS_WITH_INFO);
    ColBindingHead other = Binding(1, SQL_C_BINARY, 4);
    EXPECT_EQ(Get(b, 0, other), SQL_NO_DATA);
    ColBindingHead dflt = Binding(1, SQL_C_DEFAULT, 4);
    EXPECT_EQ(Get(b, 0, dflt), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(Text(), "def");
    // Another row starts afresh.
    EXPECT_EQ(Get(b, 1, c), SQL_SUCCESS);
    EXPECT_EQ(Text(), "xyz");
}

// Pieces of UTF-8 text end between characters and add up to the value.
TEST_F(GetColumnTest, PiecewiseNeverSplitsUtf8)
{
    const std::string value = "ab\xE2\x82\xAC" "c\xC3\xA9" "d";  // a b € c é d
    Block b({{VT_NTS, 32}}, 1);
    host.descs = {Desc(SQL_VARCHAR, VT_NTS)};
    b.SetText(1, 0, value);
    ctx.narrowUtf8 = true;
    ColBindingHead c = Binding(1, SQL_C_CHAR, 4);
    std::string joined;
    SQLRETURN rc;
    int calls = 0;
    while ((rc = Get(b, 0, c)) != SQL_NO_DATA && calls++ < 20) {
        ASSERT_NE(rc, SQL_ERROR);
        std::string p = Text();
        ASSERT_FALSE(p.empty());
        ASSERT_NE(static_cast<unsigned char>(p[0]) & 0xC0, 0x80) << "piece starts inside a character";
        joined += p;
    }
    EXPECT_EQ(joined, value);
}

TEST_F(GetColumnTest, PiecewiseWideAndBinary)
{
    Block b({{VT_WNTS, 16}, {VT_BINARY, 3}}, 1);
    host.descs = {Desc(SQL_WVARCHAR, VT_WNTS), Desc(SQL_BINARY, VT_BINARY)};
    std::u16string w = u"hello";
    b.Set(1, 0, w.c_str(), (w.size() + 1) * 2);
    uint8_t bytes[] = {1, 2, 0xAB};
    b.Set(2, 0, bytes, 3);

    ColBindingHead wc = Binding(1, SQL_C_WCHAR, 6);
    const char16_t *expect[] = {u"he", u"ll", u"o"};
    for (const char16_t *e : expect) {
        EXPECT_NE(Get(b, 0, wc), SQL_ERROR);
        EXPECT_EQ(Bytes(buf.begin(), buf.begin() + static_cast<long>((std::u16string(e).size() + 1) * 2)),
                  Wtxt(e));
    }
    EXPECT_EQ(Get(b, 0, wc), SQL_NO_DATA);

    ColBindingHead hex = Binding(2, SQL_C_CHAR, 3);
    for (const char *e : {"01", "02", "AB"}) {
        EXPECT_NE(Get(b, 0, hex), SQL_ERROR);
        EXPECT_EQ(Text(), e);
    }
    EXPECT_EQ(Get(b, 0, hex), SQL_NO_DATA);
}

TEST_F(GetColumnTest, NullValues)
{
    Block b({{VT_LONG, 4}, {VT_NTS, 16}}, 1);
    host.descs = {Desc(SQL_INTEGER, VT_LONG), Desc(SQL_VARCHAR, VT_NTS)};
    b.SetNull(1, 0);
    b.SetNull(2, 0);
    ColBindingHead l = Binding(1, SQL_C_LONG, 4);
    EXPECT_EQ(Get(b, 0, l), SQL_SUCCESS);
    EXPECT_EQ(ind, SQL_NULL_DATA);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 5), (Bytes{0, 0, 0, 0, kGuard}));

    ColBindingHead t = Binding(2, SQL_C_CHAR, 20);
    EXPECT_EQ(Get(b, 0, t), SQL_SUCCESS);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 21), [] { Bytes z(20, 0); z.push_back(kGuard); return z; }());

    ColBindingHead noInd = Binding(1, SQL_C_LONG, 4);
    noInd.indicatorPtr = nullptr;
    NewFetch();
    EXPECT_EQ(Get(b, 0, noInd), SQL_ERROR);
    EXPECT_EQ(StateOf(err), "22002");
}

// A BIGINT read as binary is its 8-byte integer and respects the buffer.
TEST_F(GetColumnTest, BigintAsBinary)
{
    Block b({{VT_NTS, 24}}, 1);
    host.descs = {Desc(SQL_BIGINT, VT_NTS)};
    b.SetText(1, 0, "-1234567890123");
    ColBindingHead c = Binding(1, SQL_C_BINARY, 8);
    EXPECT_EQ(Get(b, 0, c), SQL_SUCCESS);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 8), Val<int64_t>(-1234567890123LL));
    EXPECT_EQ(ind, 8);

    std::fill(buf.begin(), buf.end(), kGuard);
    NewFetch();
    ColBindingHead small = Binding(1, SQL_C_BINARY, 4);
    EXPECT_EQ(Get(b, 0, small), SQL_ERROR);
    EXPECT_EQ(StateOf(err), "22003");
    EXPECT_EQ(buf[0], kGuard);
}

TEST_F(GetColumnTest, ArdTypeAndNumeric)
{
    Block b({{VT_NTS, 16}}, 1);
    host.descs = {Desc(SQL_DECIMAL, VT_NTS)};
    b.SetText(1, 0, "12.5");
    host.records[{false, 1}] = {SQL_C_NUMERIC, 5, 2};
    ColBindingHead ard = Binding(1, SQL_ARD_TYPE, 19);
    EXPECT_EQ(Get(b, 0, ard), SQL_SUCCESS);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 19), Val(Numeric(5, 2, 1, 1250)));

    // SQL_C_NUMERIC without a record: precision from the digits, scale 0.
    host.records.clear();
    NewFetch();
    ColBindingHead num = Binding(1, SQL_C_NUMERIC, 19);
    EXPECT_EQ(Get(b, 0, num), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(StateOf(err), "01S07");
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 19), Val(Numeric(3, 0, 1, 12)));

    NewFetch();
    EXPECT_EQ(Get(b, 0, ard), SQL_ERROR);
    EXPECT_EQ(StateOf(err), "07009");
}

TEST_F(GetColumnTest, OutputParameterMode)
{
    Block b({{VT_TIMESTAMP, 16}, {VT_NTS, 16}}, 1);
    TIMESTAMP_STRUCT ts{2024, 1, 2, 3, 4, 5, 120000000};
    b.Set(1, 0, &ts, sizeof ts);
    b.SetText(2, 0, "3.25");
    host.colDescErr = ERR_GENERAL;  // never asked in deferred mode
    host.records[{true, 2}] = {SQL_C_NUMERIC, 10, 1};
    ctx.deferredOutParams = true;

    err = ERR_OUTPUT_PARAMS_PENDING;
    ColBindingHead c = Binding(1, SQL_C_CHAR, 40);
    c.decimalDigits = 2;
    EXPECT_EQ(Get(b, 0, c), SQL_SUCCESS);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(Text(), "2024-01-02 03:04:05.12");
    EXPECT_EQ(host.colDescCalls, 0);

    err = ERR_OUTPUT_PARAMS_PENDING;
    ColBindingHead n = Binding(2, SQL_C_NUMERIC, 19);
    EXPECT_EQ(Get(b, 0, n), SQL_SUCCESS_WITH_INFO);  // the APD's scale 1 cuts a digit
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 19), Val(Numeric(10, 1, 1, 32)));

    // Outside that mode the column descriptions are read and their failure reported.
    NewFetch();
    EXPECT_EQ(Get(b, 0, c), SQL_ERROR);
    EXPECT_EQ(StateOf(err), "S1000");
}

TEST_F(GetColumnTest, RefusedCells)
{
    Block b({{VT_BYTE, 1}, {VT_NTS, 8}, {VT_LONG, 2}}, 1);
    host.descs = {Desc(SQL_TINYINT, VT_BYTE), Desc(SQL_VARCHAR, VT_NTS), Desc(SQL_INTEGER, VT_LONG)};
    uint8_t z = 0;
    b.Set(1, 0, &z, 1);
    b.SetText(2, 0, "x");
    b.Set(3, 0, &z, 1);
    ColBindingHead c = Binding(1, SQL_C_CHAR, 8);
    EXPECT_EQ(Get(b, 0, c), SQL_ERROR);
    EXPECT_EQ(StateOf(err), "07006");

    ColBindingHead nodata = Binding(2, SQL_C_CHAR, 8);
    nodata.data = nullptr;
    EXPECT_EQ(Get(b, 0, nodata), SQL_ERROR);
    EXPECT_EQ(StateOf(err), "S1009");

    // An element too narrow for its value type is refused, not over-read.
    ColBindingHead narrow = Binding(3, SQL_C_LONG, 4);
    EXPECT_EQ(Get(b, 0, narrow), SQL_ERROR);
    EXPECT_EQ(StateOf(err), "S1000");
}

TEST_F(GetColumnTest, LongValuePieces)
{
    Block b({{VT_NTS, 8}}, 1);
    host.descs = {Desc(SQL_LONGVARCHAR, VT_NTS)};
    b.SetLong(1, 0);
    host.longValue = "abcdefghij";
    ColBindingHead c = Binding(1, SQL_C_CHAR, 5);
    struct Step {
        const char *text;
        SQLLEN octet;
        SQLRETURN rc;
    } steps[] = {{"abcd", 10, SQL_SUCCESS_WITH_INFO}, {"efgh", 6, SQL_SUCCESS_WITH_INFO}, {"ij", 2, SQL_SUCCESS}};
    for (const Step &s : steps) {
        EXPECT_EQ(Get(b, 0, c), s.rc);
        EXPECT_EQ(Text(), s.text);
        EXPECT_EQ(ind, s.octet);
    }
    EXPECT_EQ(Get(b, 0, c), SQL_NO_DATA);
}

// A piece that expands in the target keeps its rest for the next call.
TEST_F(GetColumnTest, LongValuePieceRestIsKept)
{
    Block b({{VT_NTS, 8}}, 1);
    host.descs = {Desc(SQL_LONGVARCHAR, VT_NTS)};
    b.SetLong(1, 0);
    host.longValue = "abcdef";
    ColBindingHead c = Binding(1, SQL_C_WCHAR, 7);  // pieces of 3 bytes, room for 2 characters
    std::u16string joined;
    SQLRETURN rc;
    int calls = 0;
    while ((rc = Get(b, 0, c)) != SQL_NO_DATA && calls++ < 20) {
        ASSERT_NE(rc, SQL_ERROR);
        joined += std::u16string(reinterpret_cast<const char16_t *>(buf.data()));
    }
    EXPECT_EQ(joined, u"abcdef");
}

TEST_F(GetColumnTest, LongValueNull)
{
    Block b({{VT_NTS, 8}}, 1);
    host.descs = {Desc(SQL_LONGVARCHAR, VT_NTS)};
    b.SetLong(1, 0);
    host.longIsNull = true;
    ColBindingHead c = Binding(1, SQL_C_CHAR, 5);
    EXPECT_EQ(Get(b, 0, c), SQL_SUCCESS);
    EXPECT_EQ(ind, SQL_NULL_DATA);
}

// Every value type's cell layout, read as text.
struct LayoutCase {
    const char *label;
    ValueType vt;
    uint32_t width;
    Bytes cell;
    std::string text;  // SQL_C_CHAR result
};

Bytes Utf16(const std::u16string &s)
{
    Bytes b(s.size() * 2);
    std::memcpy(b.data(), s.data(), b.size());
    return b;
}

const LayoutCase kLayouts[] = {
    {"char fixed", VT_CHAR, 4, Raw("ab  "), "ab  "},
    {"nts", VT_NTS, 8, Txt("abc"), "abc"},
    {"nts unterminated", VT_NTS, 3, Raw("abc"), "abc"},
    {"text1", VT_TEXT1, 6, Concat({3}, Raw("abcXX")), "abc"},
    {"text2", VT_TEXT2, 6, Concat({2, 0}, Raw("abXX")), "ab"},
    {"text4", VT_TEXT4, 8, Concat({3, 0, 0, 0}, Raw("abcX")), "abc"},
    {"text4 damaged length", VT_TEXT4, 8, Concat({0xFF, 0xFF, 0, 0}, Raw("abcd")), "abcd"},
    {"binary fixed", VT_BINARY, 2, {0x12, 0x34}, "1234"},
    {"bin1", VT_BIN1, 4, {1, 0xAB, 0xCD, 0xEF}, "AB"},
    {"bin2", VT_BIN2, 4, {2, 0, 0xAB, 0xCD}, "ABCD"},
    {"bin4", VT_BIN4, 6, {1, 0, 0, 0, 0x0F, 0xFF}, "0F"},
    {"wchar fixed", VT_WCHAR, 4, Utf16(u"hi"), "hi"},
    {"wnts", VT_WNTS, 8, Utf16(u"ok\0x"), "ok"},
    {"wtext4", VT_WTEXT4, 10, Concat({2, 0, 0, 0}, Utf16(u"abc")), "ab"},
    {"bit", VT_BIT, 1, {1}, "1"},
    {"utinyint", VT_UTINYINT, 1, {200}, "200"},
    {"tinyint", VT_TINYINT, 1, {0xFE}, "-2"},
    {"short", VT_SHORT, 2, Val<int16_t>(-300), "-300"},
    {"ushort", VT_USHORT, 2, Val<uint16_t>(60000), "60000"},
    {"long", VT_LONG, 4, Val<int32_t>(-70000), "-70000"},
    {"ulong", VT_ULONG, 4, Val<uint32_t>(4000000000U), "4000000000"},
    {"float", VT_FLOAT, 4, Val<float>(1.5f), "1.5"},
    {"double", VT_DOUBLE, 8, Val<double>(-0.25), "-0.25"},
    {"date", VT_DATE, 6, Val(DATE_STRUCT{2024, 3, 15}), "2024-03-15"},
    {"time", VT_TIME, 6, Val(TIME_STRUCT{1, 2, 3}), "01:02:03"},
    {"timestamp", VT_TIMESTAMP, 16, Val(TIMESTAMP_STRUCT{2024, 3, 15, 1, 2, 3, 0}), "2024-03-15 01:02:03"},
};

class CellLayout : public GetColumnTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(CellLayout, ReadsAsText)
{
    const LayoutCase &c = GetParam();
    Block b({{c.vt, c.width}}, 2);
    host.descs = {Desc(SQL_VARCHAR, c.vt)};
    b.Set(1, 1, c.cell.data(), c.cell.size());
    ColBindingHead t = Binding(1, SQL_C_CHAR, 40);
    EXPECT_EQ(Get(b, 1, t), SQL_SUCCESS);
    EXPECT_EQ(Text(), c.text);
}

INSTANTIATE_TEST_SUITE_P(ValueTypes, CellLayout, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<LayoutCase> &i) {
                             std::string n = i.param.label;
                             for (char &ch : n)
                                 if (!isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return n;
                         });

TEST_F(GetColumnTest, HeapCells)
{
    Block b({{VT_HEAP_TEXT, 16}, {VT_HEAP_BINARY, 16}, {VT_HEAP_WTEXT, 16}}, 1);
    host.descs = {Desc(SQL_LONGVARCHAR, VT_HEAP_TEXT), Desc(SQL_LONGVARBINARY, VT_HEAP_BINARY),
                  Desc(SQL_WLONGVARCHAR, VT_HEAP_WTEXT)};
    b.SetHeap(1, 0, "long text", 9, 9);
    uint8_t bytes[] = {0xDE, 0xAD};
    b.SetHeap(2, 0, bytes, 2, 2);
    std::u16string w = u"wide";
    b.SetHeap(3, 0, w.data(), 8, 4);

    ColBindingHead c1 = Binding(1, SQL_C_CHAR, 40);
    EXPECT_EQ(Get(b, 0, c1), SQL_SUCCESS);
    EXPECT_EQ(Text(), "long text");
    ColBindingHead c2 = Binding(2, SQL_C_CHAR, 40);
    EXPECT_EQ(Get(b, 0, c2), SQL_SUCCESS);
    EXPECT_EQ(Text(), "DEAD");
    ColBindingHead c3 = Binding(3, SQL_C_CHAR, 40);
    EXPECT_EQ(Get(b, 0, c3), SQL_SUCCESS);
    EXPECT_EQ(Text(), "wide");
    EXPECT_EQ(ind, 4);
}

} // namespace

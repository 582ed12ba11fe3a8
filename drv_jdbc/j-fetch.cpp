// Block fetch: ResultSet rows into the caller's RowBlock, with the patches
// that put catalog results into their ODBC form.
#include "drv_jdbc/j-blockread.h"
#include "drv_jdbc/j-call.h"
#include "drv_jdbc/j-catalog.h"
#include "drv_jdbc/j-cells.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-getters.h"
#include "drv_jdbc/j-proc.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap-ps.h"
#include "odbc/contract/flavour.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "util/log.h"
#include "util/utf8.h"

#include <cstdlib>
#include <cstring>

#define SRC "drv_jdbc/j-exec"

namespace {
template <class T>
void store(uint8_t *p, T v)
{
    memcpy(p, &v, sizeof v);
}

template <class T>
T load(const uint8_t *p)
{
    T v;
    memcpy(&v, p, sizeof v);
    return v;
}

// Value types the ResultSet family reads (the descriptions choose no others).
bool fetchReads(ValueType vt)
{
    switch (vt) {
    case VT_CHAR: case VT_NTS: case VT_BIT: case VT_TINYINT: case VT_SHORT: case VT_LONG: case VT_FLOAT:
    case VT_DOUBLE: case VT_DATE: case VT_TIME: case VT_TIMESTAMP: case VT_BINARY: case VT_HEAP_TEXT:
    case VT_HEAP_BINARY: case VT_TEXT4: case VT_BIN4: case VT_WCHAR: case VT_WNTS: case VT_HEAP_WTEXT:
    case VT_WTEXT4:
        return true;
    default:
        return false;
    }
}

unsigned prefixOf(ValueType vt)
{
    switch (vt) {
    case VT_TEXT1: case VT_BIN1: return 1;
    case VT_TEXT2: case VT_BIN2: return 2;
    default: return 4;
    }
}

void storePrefix(uint8_t *cell, unsigned prefix, int32_t len)
{
    if (prefix == 1)
        cell[0] = static_cast<uint8_t>(len);
    else if (prefix == 2)
        store<uint16_t>(cell, static_cast<uint16_t>(len));
    else
        store<uint32_t>(cell, static_cast<uint32_t>(len));
}

#define FAMILY(name) (callable ? jc_CallableStatement_##name : jc_ResultSet_##name)

int readCellValue(DrvStmt *s, jobject o, bool callable, int32_t i, ValueType vt, uint8_t *cell, uint32_t w)
{
    const int32_t size = static_cast<int32_t>(w);
    int32_t len = 0;
    int rc = 0;
    switch (vt) {
    case VT_CHAR: case VT_NTS:
        return FAMILY(getString)(s, o, i, reinterpret_cast<char *>(cell), &len, size);
    case VT_BIT: {
        uint8_t b = 0;
        rc = FAMILY(getBoolean)(s, o, i, &b);
        if (rc == 0)
            cell[0] = b ? 1 : 0;
        return rc;
    }
    case VT_TINYINT: return FAMILY(getByte)(s, o, i, reinterpret_cast<int8_t *>(cell));
    case VT_SHORT: {
        int16_t v = 0;
        rc = FAMILY(getShort)(s, o, i, &v);
        if (rc == 0)
            store(cell, v);
        return rc;
    }
    case VT_LONG: {
        int32_t v = 0;
        rc = FAMILY(getInt)(s, o, i, &v);
        if (rc == 0)
            store(cell, v);
        return rc;
    }
    case VT_UTINYINT: {
        int16_t v = 0;
        rc = jc_CallableStatement_getShort(s, o, i, &v);
        if (rc == 0)
            cell[0] = static_cast<uint8_t>(v);
        return rc;
    }
    case VT_USHORT: {
        int32_t v = 0;
        rc = jc_CallableStatement_getInt(s, o, i, &v);
        if (rc == 0)
            store(cell, static_cast<uint16_t>(v));
        return rc;
    }
    case VT_ULONG: {
        int64_t v = 0;
        rc = jc_CallableStatement_getLong(s, o, i, &v);
        if (rc == 0)
            store(cell, static_cast<uint32_t>(v));
        return rc;
    }
    case VT_FLOAT: {
        float v = 0;
        rc = FAMILY(getFloat)(s, o, i, &v);
        if (rc == 0)
            store(cell, v);
        return rc;
    }
    case VT_DOUBLE: {
        double v = 0;
        rc = FAMILY(getDouble)(s, o, i, &v);
        if (rc == 0)
            store(cell, v);
        return rc;
    }
    case VT_DATE: case VT_TIME: case VT_TIMESTAMP: {
        int32_t v[7] = {};
        uint16_t f[7] = {};
        uint32_t fraction = 0;
        if (vt == VT_DATE)
            rc = FAMILY(getDate)(s, o, i, &v[0], &f[1], &f[2]);
        else if (vt == VT_TIME)
            rc = FAMILY(getTime)(s, o, i, &f[0], &f[1], &f[2]);
        else
            rc = FAMILY(getTimestamp)(s, o, i, &v[0], &f[1], &f[2], &f[3], &f[4], &f[5], &fraction);
        if (rc != 0)
            return rc;
        for (int k = vt == VT_TIME ? 0 : 1; k < 6; ++k)
            v[k] = f[k];
        v[6] = static_cast<int32_t>(fraction);
        cellPutDateTime(vt, cell, v);
        return 0;
    }
    case VT_BINARY: return FAMILY(getBytes)(s, o, i, cell, &len, size);
    case VT_HEAP_TEXT: return FAMILY(getStringLong)(s, o, i, reinterpret_cast<LongDataBuf *>(cell));
    case VT_HEAP_BINARY: return FAMILY(getBytesLong)(s, o, i, reinterpret_cast<LongDataBuf *>(cell));
    case VT_TEXT1: case VT_TEXT2: case VT_TEXT4: {
        unsigned pre = prefixOf(vt);
        if (w <= pre)
            return ERR_GENERAL;
        rc = FAMILY(getString)(s, o, i, reinterpret_cast<char *>(cell + pre), &len, size - static_cast<int32_t>(pre));
        if (rc == 0)
            storePrefix(cell, pre, len);
        return rc;
    }
    case VT_BIN1: case VT_BIN2: case VT_BIN4: {
        unsigned pre = prefixOf(vt);
        if (w <= pre)
            return ERR_GENERAL;
        rc = FAMILY(getBytes)(s, o, i, cell + pre, &len, size - static_cast<int32_t>(pre));
        if (rc == 0)
            storePrefix(cell, pre, len);
        return rc;
    }
    case VT_WCHAR: case VT_WNTS:
        return FAMILY(getStringW)(s, o, i, reinterpret_cast<char16_t *>(cell), &len, size / 2);
    case VT_HEAP_WTEXT: return FAMILY(getStringLongW)(s, o, i, reinterpret_cast<LongDataBuf *>(cell));
    case VT_WTEXT4:
        if (w <= 4)
            return ERR_GENERAL;
        rc = FAMILY(getStringW)(s, o, i, reinterpret_cast<char16_t *>(cell + 4), &len, (size - 4) / 2);
        if (rc == 0)
            storePrefix(cell, 4, len);
        return rc;
    default:
        return ERR_GENERAL;
    }
}

} // namespace

// Catalog patches --------------------------------------------------------

int16_t shortCell(const RowBlock *b, int col, int32_t r)
{
    const RowBlockColumn &c = b->columns[col];
    if (c.indicators[r] == RB_IND_NULL)
        return 0;
    const uint8_t *p = c.data + static_cast<size_t>(r) * c.width;
    return c.valueType == VT_LONG ? static_cast<int16_t>(load<int32_t>(p)) : load<int16_t>(p);
}

void setShortCell(RowBlock *b, int col, int32_t r, int16_t v)
{
    RowBlockColumn &c = b->columns[col];
    uint8_t *p = c.data + static_cast<size_t>(r) * c.width;
    if (c.valueType == VT_LONG)
        store<int32_t>(p, v);
    else
        store<int16_t>(p, v);
    c.indicators[r] = RB_IND_VALUE;
}

void setLongCell(RowBlock *b, int col, int32_t r, int32_t v)
{
    RowBlockColumn &c = b->columns[col];
    uint8_t *p = c.data + static_cast<size_t>(r) * c.width;
    if (c.valueType == VT_SHORT)
        store<int16_t>(p, static_cast<int16_t>(v));
    else
        store<int32_t>(p, v);
    c.indicators[r] = RB_IND_VALUE;
}

void setNullCell(RowBlock *b, int col, int32_t r)
{
    if (col < b->columnsUsed)
        b->columns[col].indicators[r] = RB_IND_NULL;
}

// Writes a short text into a narrow or wide text cell.
void setTextCell(RowBlock *b, int col, int32_t r, const char *text)
{
    RowBlockColumn &c = b->columns[col];
    uint8_t *p = c.data + static_cast<size_t>(r) * c.width;
    size_t n = strlen(text);
    switch (c.valueType) {
    case VT_NTS: case VT_CHAR:
        if (c.width == 0)
            return;
        n = n < c.width - 1 ? n : c.width - 1;
        memcpy(p, text, n);
        p[n] = 0;
        break;
    case VT_WNTS: case VT_WCHAR: {
        size_t room = c.width / 2;
        if (room == 0)
            return;
        size_t k = 0;
        for (; k < n && k + 1 < room; ++k)
            store<char16_t>(p + 2 * k, static_cast<char16_t>(text[k]));
        store<char16_t>(p + 2 * k, 0);
        break;
    }
    case VT_HEAP_TEXT: case VT_HEAP_WTEXT: {
        LongDataBuf buf = load<LongDataBuf>(p);
        const bool wide = c.valueType == VT_HEAP_WTEXT;
        char *data = static_cast<char *>(calloc(n + 1, wide ? 2 : 1));
        if (!data)
            return;
        for (size_t k = 0; k < n; ++k) {
            if (wide)
                store<char16_t>(reinterpret_cast<uint8_t *>(data) + 2 * k, static_cast<char16_t>(text[k]));
            else
                data[k] = text[k];
        }
        free(buf.data);
        buf.data = data;
        buf.length = static_cast<uint32_t>(n);
        store(p, buf);
        break;
    }
    default:
        return;
    }
    c.indicators[r] = RB_IND_VALUE;
}

namespace {

struct SqlTypeMap {
    int16_t from, to;
};
constexpr SqlTypeMap kCatalogTypes[] = {
    {16, -7}, {70, 12}, {91, 9}, {92, 10}, {93, 11}, {1111, 0}, {2000, 0}, {2001, 0},
    {2002, 0}, {2003, 0}, {2006, 0}, {2004, -4}, {2005, -1},
};

void mapCatalogSqlType(DrvStmt *s, RowBlock *b, int32_t r, int typeCol, int nameCol, int sizeCol)
{
    if (typeCol >= b->columnsUsed || b->columns[typeCol].indicators[r] == RB_IND_NULL)
        return;
    int16_t t = shortCell(b, typeCol, r);
    // An ODBC 3 application reads the date and time types by their ODBC 3 codes.
    if (s->conn->odbcVersion == 3 && t >= 91 && t <= 93)
        return;
    for (const SqlTypeMap &m : kCatalogTypes) {
        if (m.from == t) {
            setShortCell(b, typeCol, r, m.to);
            return;
        }
    }
    if (t == -5 && s->conn->options.jet) {
        setShortCell(b, typeCol, r, 2);
        if (nameCol < b->columnsUsed)
            setTextCell(b, nameCol, r, "NUMERIC");
        if (sizeCol < b->columnsUsed)
            setLongCell(b, sizeCol, r, 20);
    }
}

// The bytes of a text cell (narrow or wide); false for NULL.
bool textBytes(const RowBlock *b, int col, int32_t r, const uint8_t **p, size_t *n)
{
    const RowBlockColumn &c = b->columns[col];
    if (c.indicators[r] == RB_IND_NULL)
        return false;
    const uint8_t *cell = c.data + static_cast<size_t>(r) * c.width;
    switch (c.valueType) {
    case VT_HEAP_TEXT: case VT_HEAP_WTEXT: {
        LongDataBuf buf = load<LongDataBuf>(cell);
        *p = reinterpret_cast<const uint8_t *>(buf.data ? buf.data : "");
        *n = buf.data ? buf.length * (c.valueType == VT_HEAP_WTEXT ? 2u : 1u) : 0;
        return true;
    }
    case VT_WNTS: case VT_WCHAR: {
        size_t k = 0;
        while (k < c.width / 2 && load<char16_t>(cell + 2 * k))
            ++k;
        *p = cell;
        *n = 2 * k;
        return true;
    }
    default:
        *p = cell;
        *n = strnlen(reinterpret_cast<const char *>(cell), c.width);
        return true;
    }
}

void fillProcColumnsV3(DrvStmt *s, RowBlock *b, int32_t r)
{
    const int cols = b->columnsUsed < s->colCount ? b->columnsUsed : s->colCount;
    if (cols <= 8)
        return;
    const uint8_t *name = nullptr;
    size_t nameLen = 0;
    if (textBytes(b, 2, r, &name, &nameLen)) {
        // The name is remembered as 8-bit text, a wide cell's converted first.
        const ValueType vt = b->columns[2].valueType;
        const bool wide = vt == VT_WNTS || vt == VT_WCHAR || vt == VT_HEAP_WTEXT;
        char *key = wide ? UTF8_DupFromWideN(reinterpret_cast<const char16_t *>(name), static_cast<int64_t>(nameLen / 2))
                         : strndup(reinterpret_cast<const char *>(name), nameLen);
        if (key && s->procName && strcmp(key, s->procName) == 0) {
            free(key);
        } else {
            free(s->procName);
            s->procName = key;
            s->ordinal = 1;
        }
    }
    const int16_t type = shortCell(b, 5, r);
    const int32_t length = b->columns[8].indicators[r] == RB_IND_NULL
                               ? 0
                               : load<int32_t>(b->columns[8].data + static_cast<size_t>(r) * b->columns[8].width);
    if (cols > 13)
        setNullCell(b, 13, r);
    if (cols > 14)
        setShortCell(b, 14, r, (type == 9 || type == 10 || type == 11 || type == 91 || type == 92 || type == 93) ? 9 : type);
    if (cols > 15) {
        int16_t sub = (type == 9 || type == 91) ? 1 : (type == 10 || type == 92) ? 2 : (type == 11 || type == 93) ? 3 : 0;
        if (sub)
            setShortCell(b, 15, r, sub);
        else
            setNullCell(b, 15, r);
    }
    if (cols > 16) {
        static const int16_t kText[] = {1, 12, -8, -9, -10, -1, -2, -3, -4};
        bool isText = false;
        for (int16_t t : kText)
            isText = isText || t == type;
        if (isText && b->columns[8].indicators[r] != RB_IND_NULL)
            setLongCell(b, 16, r, length);
        else
            setNullCell(b, 16, r);
    }
    // Parameters count from 1 in each procedure; its return value is 0.
    if (cols > 17)
        setLongCell(b, 17, r, shortCell(b, 4, r) == 5 ? 0 : s->ordinal++);
    if (cols > 18)
        setTextCell(b, 18, r, "");
}

// SQL_DATA_TYPE, which ODBC never leaves NULL, and SQL_DATETIME_SUB from
// the row's DATA_TYPE: the date and time types are SQL_DATETIME (9) with
// their subcode, every other type its own code.
void fillSqlDataType(RowBlock *b, int32_t r, int typeCol, int sqlTypeCol, int subCol)
{
    if (typeCol >= b->columnsUsed || subCol >= b->columnsUsed)
        return;
    const int16_t type = shortCell(b, typeCol, r);
    const int16_t sub = (type == 9 || type == 91) ? 1 : (type == 10 || type == 92) ? 2 : (type == 11 || type == 93) ? 3 : 0;
    setShortCell(b, sqlTypeCol, r, sub ? 9 : type);
    if (sub)
        setShortCell(b, subCol, r, sub);
}

void patchCatalogRow(DrvStmt *s, RowBlock *b, int32_t r)
{
    switch (s->catalogKind) {
    case 1:
        mapCatalogSqlType(s, b, r, 1, 0, 2);
        fillSqlDataType(b, r, 1, 15, 16);
        break;
    case 2:
        fillProcColumnsV3(s, b, r);
        mapCatalogSqlType(s, b, r, 5, 6, 7);
        break;
    case 4:
        if (b->columnsUsed > 3) {
            int32_t type = 0;
            jc_ResultSet_getInt(s, s->resultSet, 7, &type);
            errClear(&s->errors);
            if (type == 0)
                setNullCell(b, 3, r);
            else if (b->columns[3].indicators[r] == RB_IND_NULL)
                setShortCell(b, 3, r, 1);
        }
        break;
    case 6:
        mapCatalogSqlType(s, b, r, 4, 5, 6);
        fillSqlDataType(b, r, 4, 13, 14);
        break;
    case 7: mapCatalogSqlType(s, b, r, 2, 3, 4); break;
    default: break;
    }
    const int k = s->catalogKind;
    if (k == 3 || k == 4 || k == 6) {
        if (s->conn->options.jDropCatalog)
            setNullCell(b, 0, r);
        if (s->conn->options.jDropSchema)
            setNullCell(b, 1, r);
    }
}
} // namespace

int readValue(DrvStmt *s, jobject source, bool callable, int32_t index, RowBlockColumn *col, int32_t row)
{
    const ValueType vt = col->valueType;
    const bool wideType = vt >= VT_WCHAR && vt <= VT_WTEXT4;
    if ((!callable && !fetchReads(vt)) || (wideType && !KRS_IsUnicodeBuild()) || vt == VT_BYTE || vt > VT_WTEXT4)
        return ERR_GENERAL;
    uint8_t *cell = col->data + static_cast<size_t>(row) * col->width;
    int rc = readCellValue(s, source, callable, index, vt, cell, col->width);
    if (rc != 0)
        return rc;
    uint8_t wasNull = 0;
    rc = FAMILY(wasNull)(s, source, &wasNull);
    if (rc == 0)
        col->indicators[row] = wasNull ? RB_IND_NULL : RB_IND_VALUE;
    return rc;
}

namespace {

// Reads up to n rows of the open ResultSet into the block (laid out for n
// rows), skipping the type-information rows of other types and patching
// catalog rows into their ODBC form.  0 or the JDBC failure's number.
int readRows(DrvStmt *s, RowBlock *block, int32_t n)
{
    const int32_t redirect = s->redirectCol;
    int perRow = redirect >= 0 ? 1 : block->columnsUsed;
    if (s->jdbcColumns >= 0)
        perRow = s->jdbcColumns;
    int rc = 0;
    int32_t r = 0;
    if (s->resultSet && redirect < 0 && s->jdbcColumns < 0 && s->catalogKind == 0 && drvBlockReads()) {
        rc = drvReadBlock(s, block, n);
        r = n;
    }
    while (r < n) {
        if (!s->resultSet || (s->catalogKind == 4 && s->conn->options.jSqlStatisticsOff)) {
            s->flags |= DS_END_OF_DATA;
            break;
        }
        uint8_t moved = 0;
        if ((rc = jc_ResultSet_next(s, s->resultSet, &moved)) != 0)
            break;
        if (!moved) {
            s->flags |= DS_END_OF_DATA;
            break;
        }
        for (int k = 0; k < perRow && rc == 0; ++k) {
            int target = redirect >= 0 ? redirect : k;
            if (target >= block->columnsUsed)
                break;
            rc = readValue(s, s->resultSet, false, k + 1, &block->columns[target], r);
        }
        if (rc != 0)
            break;
        if (s->catalogKind)
            patchCatalogRow(s, block, r);
        ++r;
        ++s->blockRows;
    }
    return rc;
}

// The whole type-information result, read at the first fetch and put in
// ODBC's order; later fetches hand out its rows.  0, ERR_MEMORY_ALLOCATION or the read's number.
int stageTypeRows(DrvStmt *s)
{
    constexpr int32_t kChunk = 200;
    RowBlock *all = static_cast<RowBlock *>(calloc(1, sizeof(RowBlock)));
    if (!all)
        return ERR_MEMORY_ALLOCATION;
    int rc = 0;
    while (rc == 0 && !(s->flags & DS_END_OF_DATA)) {
        RowBlock chunk{};
        if ((rc = RB_InitFromColDescs(s->cols, s->colCount, kChunk, &chunk)) == 0) {
            s->blockRows = 0;
            rc = readRows(s, &chunk, kChunk);
            chunk.rowsUsed = s->blockRows;
            if (rc == 0 && chunk.rowsUsed > 0)
                rc = all->columnsUsed ? RB_AppendRows(all, &chunk) : RB_Clone(all, &chunk);
        }
        RB_Free(&chunk);
    }
    if (rc == 0)
        rc = typeInfoArrange(s, all);
    if (rc != 0) {
        RB_Free(all);
        free(all);
        return rc;
    }
    s->typeRows = all;
    s->typeRowNext = 0;
    return 0;
}

// Up to n staged type-information rows into the block.
int serveTypeRows(DrvStmt *s, RowBlock *block, int32_t n)
{
    RowBlock *all = s->typeRows;
    const int32_t left = all->rowsUsed - s->typeRowNext;
    if (n > left)
        n = left;
    if (int rc = RB_InitFromColDescs(s->cols, s->colCount, n > 0 ? n : 1, block))
        return rc;
    for (int32_t i = 0; i < n; ++i)
        if (int rc = RB_CopyRow(block, all, i, s->typeRowNext + i, 1))
            return rc;
    s->typeRowNext += n;
    s->blockRows = n;
    if (s->typeRowNext >= all->rowsUsed)
        s->flags |= DS_END_OF_DATA;
    return 0;
}

} // namespace

int DRV_Fetch(int stmt, uint16_t rows, RowBlock *block)
{
    DrvCall<DrvStmt> op(stmt);
    if (int rc = op.attach())
        return rc;
    DrvStmt *s = op.get();
    if (!block)
        return ERR_INVALID_ARGUMENT;
    s->blockRows = 0;
    const int32_t redirect = s->redirectCol;
    if (!(s->flags & DS_PENDING))
        return ERR_FUNCTION_SEQUENCE;
    if (int rc = op.pushFrame(256))
        return rc;
    if ((s->flags & DS_PROCCALL) && rows == 0) {
        int rc = fetchCallProc(s, block);
        s->flags |= DS_END_OF_DATA;
        // Delivered: more-results now reports the end instead of announcing them again.
        if (rc == 0)
            s->flags &= static_cast<uint16_t>(~DS_OUT_REGISTERED);
        return rc;
    }
    if (s->catalogKind == CAT_TYPE_INFO && !s->typeRows)
        if (int rc = stageTypeRows(s))
            return rc;
    int32_t n = rows;
    if (s->maxRows > 0) {
        int32_t left = s->maxRows - s->rowsFetched;
        n = left < n ? (left > 0 ? left : 0) : n;
    }
    if (n == 0 || (s->typeRows ? s->typeRowNext >= s->typeRows->rowsUsed : (s->flags & DS_END_OF_DATA) != 0)) {
        RB_Init(block, 0);
        return 0;
    }
    int rc = 0;
    if (s->typeRows) {
        rc = serveTypeRows(s, block, n);
    } else {
        for (uint16_t k = 0; k < s->colCount; ++k)
            if (s->cols[k].baseSqlType == -4 || s->cols[k].baseSqlType == -1)
                n = 1;
        if (int irc = RB_InitFromColDescs(s->cols, s->colCount, n, block))
            return irc;
        if (redirect >= 0 && redirect >= block->columnsUsed) {
            LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "The redirectCol is more than count of Columns");
            return ERR_GENERAL;
        }
        rc = readRows(s, block, n);
    }
    block->rowsUsed = s->blockRows;
    s->rowsFetched += s->blockRows;
    if (rc == 0 && s->blockRows == 0 && (s->flags & DS_END_OF_DATA)) {
        // Nothing was left: the caller sees the end as an empty block.
        RB_Free(block);
        RB_Init(block, 0);
    }
    return rc;
}

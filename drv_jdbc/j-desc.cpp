// Back-end statements: allocation and release, cursor names, the result and
// parameter descriptions and their column attributes, and closing results.
#include "drv_jdbc/j-desc.h"

#include "drv_jdbc/j-blockread.h"
#include "drv_jdbc/j-call.h"
#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-paramblock.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-typeinfo.h"
#include "drv_jdbc/j-wrap-ps.h"
#include "drv_jdbc/j-wrap.h"
#include "odbc/contract/param_types.h"
#include "odbc/contract/rb_ops.h"
#include "scrs/scs_install.h"
#include "util/codepage.h"
#include "util/log.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#define SRC "drv_jdbc/j-desc"

namespace {
constexpr uint32_t kHeapThreshold = 60000;

// A heap copy of a text (NULL stays NULL); false when out of memory.
bool dupText(char **dst, const char *src)
{
    *dst = src ? strdup(src) : nullptr;
    return !src || *dst;
}

// Cuts text to at most max bytes without splitting a UTF-8 sequence when
// the text is UTF-8.
void cutName(char *dst, const char *src, size_t max, bool utf8)
{
    size_t n = strlen(src);
    if (n > max) {
        n = max;
        while (utf8 && n > 0 && (static_cast<unsigned char>(src[n]) & 0xC0) == 0x80)
            --n;
    }
    memcpy(dst, src, n);
    dst[n] = '\0';
}

// Fixed layouts of the numeric types: size P, then display size, value type
// and buffer length.
struct FixedRule {
    int32_t sqlType;
    uint32_t display;
    ValueType vt;
    uint32_t buffer;
};
constexpr FixedRule kFixed[] = {
    {-7, 3, VT_BIT, 1}, {-6, 4, VT_SHORT, 2},  {5, 6, VT_SHORT, 2},   {4, 11, VT_LONG, 4},
    {7, 13, VT_FLOAT, 4}, {6, 22, VT_DOUBLE, 8}, {8, 22, VT_DOUBLE, 8},
};

// Long types: fixed size and display size.
struct LongRule {
    int32_t sqlType;
    uint32_t size;
    ValueType vt;
};
constexpr LongRule kLong[] = {
    {-1, 2147483643u, VT_HEAP_TEXT}, {-10, 1073741821u, VT_HEAP_WTEXT}, {-4, 2147483643u, VT_HEAP_BINARY}};

struct RawCol {
    int32_t type, display, scale, nullable, precision;
    uint8_t readOnly, writable;
};

// Size, display size, value type and buffer length of one column by its type.
void layoutColumn(ColDesc *d, const RawCol &r, const DrvConn *c, bool wide)
{
    const int32_t P = r.precision;
    const int32_t S = r.scale;
    int32_t D = r.display;
    const bool usable = c->options.negPrecFix ? P > 0 : P != 0;
    d->columnSize = static_cast<uint32_t>(P);
    d->decimalDigits = static_cast<int16_t>(S);
    for (const FixedRule &f : kFixed) {
        if (f.sqlType == d->sqlType) {
            d->displaySize = f.display;
            d->valueType = f.vt;
            d->bufferLength = f.buffer;
            return;
        }
    }
    for (const LongRule &l : kLong) {
        if (l.sqlType == d->sqlType) {
            d->columnSize = d->displaySize = l.size;
            d->valueType = l.vt;
            d->bufferLength = 0;
            return;
        }
    }
    switch (d->sqlType) {
    case 1: case 12: case -8: case -9: {
        if (D == 0)
            D = static_cast<int32_t>(c->options.patchNullSizeOfSqlChar);
        uint32_t size = usable && P >= D ? static_cast<uint32_t>(P) : static_cast<uint32_t>(D);
        bool heap = size > kHeapThreshold;
        bool isWide = d->sqlType == -8 || d->sqlType == -9;
        d->columnSize = d->displaySize = size;
        d->decimalDigits = 0;
        d->valueType = isWide ? (heap ? VT_HEAP_WTEXT : VT_WNTS) : (heap ? VT_HEAP_TEXT : VT_NTS);
        d->bufferLength = heap ? 0 : size + 1;
        return;
    }
    case -5: case 2: case 3: {
        d->columnSize = static_cast<uint32_t>(usable ? P : (d->sqlType == -5 ? D : D - 2));
        d->displaySize = static_cast<uint32_t>(usable ? P + 2 : D);
        d->valueType = VT_NTS;
        d->bufferLength = d->displaySize;
        if (d->sqlType == -5 && c->options.jet)
            d->sqlType = 2;
        return;
    }
    case -2: case -3: {
        uint32_t m = static_cast<uint32_t>(P > D / 2 ? P : D / 2);
        bool heap = m > kHeapThreshold;
        d->columnSize = m;
        d->displaySize = CD_SizeDoubled(m);
        d->valueType = heap ? VT_HEAP_BINARY : (d->sqlType == -2 ? VT_BINARY : VT_BIN4);
        d->bufferLength = heap ? 0 : (d->sqlType == -2 ? m : m + 4);
        return;
    }
    case 9: case 91:
        d->sqlType = 9;
        d->columnSize = d->displaySize = 10;
        d->valueType = VT_DATE;
        d->bufferLength = 6;
        return;
    case 10: case 92:
        d->sqlType = 10;
        d->columnSize = d->displaySize = S > 0 ? static_cast<uint32_t>(S) + 9 : 8;
        if (S <= 0)
            d->decimalDigits = 0;
        d->valueType = VT_TIME;
        d->bufferLength = 6;
        return;
    case 11: case 93:
        d->sqlType = 11;
        d->columnSize = d->displaySize = S > 0 ? static_cast<uint32_t>(S) + 20 : 19;
        if (S <= 0)
            d->decimalDigits = 0;
        d->valueType = VT_TIMESTAMP;
        d->bufferLength = 16;
        return;
    default:
        // Types without a row of their own (uuid, json, interval, arrays ...)
        // are read as text of any length.
        d->sqlType = wide ? -9 : 12;
        d->columnSize = d->displaySize = static_cast<uint32_t>(P);
        d->valueType = wide ? VT_HEAP_WTEXT : VT_HEAP_TEXT;
        d->bufferLength = 0;
        return;
    }
}

int32_t odbcTypeOf(int32_t jdbcType, bool wide)
{
    switch (jdbcType) {
    case 2004: return -4;
    case 2005: return wide ? -10 : -1;
    case 16: return -7;
    case -1: return wide ? -10 : -1;
    case 1: return wide ? -8 : 1;
    case 12: return wide ? -9 : 12;
    case -15: return wide ? -8 : 1;
    case -9: return wide ? -9 : 12;
    case -16: return wide ? -10 : -1;
    default: return jdbcType;
    }
}

// Reads one column's metadata; a failure of getScale or getPrecision counts as 0.
int readColumn(DrvStmt *s, jobject md, int32_t col, RawCol *r, char **label)
{
    *r = RawCol{};
    int rc = jc_ResultSetMetaData_getColumnType(s, md, col, &r->type);
    if (rc == 0)
        rc = jc_ResultSetMetaData_getColumnDisplaySize(s, md, col, &r->display);
    if (rc == 0 && jc_ResultSetMetaData_getScale(s, md, col, &r->scale) != 0) {
        errClear(&s->errors);
        r->scale = 0;
    }
    if (rc == 0)
        rc = jc_ResultSetMetaData_isNullable(s, md, col, &r->nullable);
    if (rc == 0)
        rc = jc_ResultSetMetaData_isReadOnly(s, md, col, &r->readOnly);
    if (rc == 0)
        rc = jc_ResultSetMetaData_isWritable(s, md, col, &r->writable);
    if (rc == 0 && jc_ResultSetMetaData_getPrecision(s, md, col, &r->precision) != 0) {
        errClear(&s->errors);
        r->precision = 0;
    }
    if (rc == 0)
        rc = jc_ResultSetMetaData_getColumnLabel(s, md, col, label);
    if (rc == 0 && !*label)
        rc = ERR_MEMORY_ALLOCATION;
    return rc;
}

// Builds the ColDesc array from the metadata held by the statement.
int buildColDescs(DrvStmt *s, int32_t n)
{
    ColDesc *cols = CD_Alloc(static_cast<uint32_t>(n));
    if (!cols)
        return ERR_MEMORY_ALLOCATION;
    const bool wide = s->stringMode == STRMODE_UTF8;
    const bool utf8 = wide || CP_AnsiIsUtf8();
    for (int32_t k = 0; k < n; ++k) {
        RawCol r;
        char *label = nullptr;
        int rc = readColumn(s, s->rsMetaData, k + 1, &r, &label);
        if (rc != 0) {
            free(label);
            CD_Free(cols, static_cast<uint32_t>(n));
            return rc;
        }
        ColDesc *d = &cols[k];
        cutName(d->name, label, 40, utf8);
        d->label = label;
        d->baseSqlType = static_cast<int16_t>(odbcTypeOf(r.type, wide));
        d->sqlType = d->baseSqlType;
        uint32_t upd = r.readOnly ? 1 : (r.writable ? 2 : 3);
        d->attrFlags = (static_cast<uint32_t>(r.nullable) & CD_NULLABLE_MASK) | (upd << CD_UPDATABLE_SHIFT);
        layoutColumn(d, r, s->conn, wide);
        if (r.type == 91 || r.type == 92 || r.type == 93)
            d->baseSqlType = static_cast<int16_t>(r.type);
    }
    s->colCount = static_cast<uint16_t>(n);
    s->cols = cols;
    s->flags |= DS_DESCRIBED;
    return 0;
}
} // namespace

DrvStmt *drvStmtOf(int handle)
{
    return static_cast<DrvStmt *>(HT_Lookup(&drvStmtTable, static_cast<uint32_t>(handle)));
}

namespace {
// Guards DrvStmt::stmt, which DRV_Cancel reads from a thread other than the
// one inside the statement's call.
PL_CriticalSection &stmtObjectLock()
{
    static PL_CriticalSection *lock = new PL_CriticalSection();
    return *lock;
}
} // namespace

void setStmtObject(DrvStmt *s, JGlobal<> global)
{
    JGlobal<> old;
    {
        PL_CsGuard guard(stmtObjectLock());
        old = std::move(s->stmt);
        s->stmt = std::move(global);
    }
    s->jdbcMaxRows = 0;
}

int stmtObjectRef(int handle, JNIEnv *env, jobject *out)
{
    *out = nullptr;
    PL_CsGuard guard(stmtObjectLock());
    DrvStmt *s = drvStmtOf(handle);
    if (!s)
        return ERR_INVALID_ARGUMENT;
    if (s->stmt)
        *out = env->NewLocalRef(s->stmt);
    return 0;
}

bool drvStmtEnter(DrvStmt *)
{
    return jvmAttachThread() != nullptr;
}

void freeResultDescs(DrvStmt *s)
{
    CD_Free(s->cols, s->colCount);
    s->cols = nullptr;
    s->colCount = 0;
    s->flags &= static_cast<uint16_t>(~DS_DESCRIBED);
}

void closeResultSet(DrvStmt *s)
{
    s->flags &= static_cast<uint16_t>(~(DS_PENDING | DS_END_OF_DATA | DS_HAS_RESULTSET));
    s->rowsFetched = 0;
    s->redirectCol = -1;
    s->catalogKind = 0;
    s->jdbcColumns = -1;
    free(s->procName);
    s->procName = nullptr;
    if (s->typeRows) {
        RB_Free(s->typeRows);
        free(s->typeRows);
        s->typeRows = nullptr;
    }
    if (s->resultSet) {
        jc_ResultSet_close(s, s->resultSet);
        errClear(&s->errors);
        s->resultSet.Drop();
    }
    s->rsMetaData.Drop();
}

void resetStmt(DrvStmt *s)
{
    if (!s)
        return;
    closeResultSet(s);
    s->flags &= static_cast<uint16_t>(
        ~(DS_PREPARED | DS_PROCCALL | DS_DESCRIBED | DS_EXECUTED_AT_PREPARE | DS_COUNTED | 0x20));
    s->flags |= DS_PARAMS_CHANGED;
    s->executions = 0;
    freeResultDescs(s);
    CD_Free(s->paramDescs, s->paramCount);
    s->paramDescs = nullptr;
    s->paramCount = 0;
    s->paramsDescribed = 0;
    if (s->stmt && s->env) {
        if (jc_CallVoidMethod(s->env, s->stmt, nullptr, "clearParameters", "()V") != 0)
            jc_ClearException(s->env);
        if (jc_CallVoidMethod(s->env, s->stmt, nullptr, "close", "()V") != 0)
            jc_ClearException(s->env);
    }
    setStmtObject(s, JGlobal<>());
    freeSQLText(&s->sql);
}

void drvStmtDiscard(DrvStmt *s)
{
    if (!s)
        return;
    resetStmt(s);
    if (s->params) {
        RB_Free(s->params);
        free(s->params);
        s->params = nullptr;
    }
    free(s->paramTypes);
    s->paramTypes = nullptr;
    drvFreeBlockReader(s);
    drvFreeBatchFiller(s);
    errClear(&s->errors);
    delete s;
}

int describeResultCols(DrvStmt *s, char mode)
{
    DrvConn *c = s->conn;
    jobject md = nullptr;
    if (mode == 'P') {
        if (!c->useGetMetaData || !s->stmt)
            return 0;
        int unsupported = 0;
        int rc = jc_PreparedStatement_getMetaData(s, s->stmt, &md, &unsupported);
        if (rc != 0) {
            if (!unsupported)
                return rc;
            c->useGetMetaData = 0;
            errClear(&s->errors);
            return 0;
        }
        if (!md)
            return 0;
    } else {
        if (!s->resultSet)
            return 0;
        if (int rc = jc_ResultSet_getMetaData(s, s->resultSet, &md))
            return rc;
    }
    bool held = s->rsMetaData.Set(s->env, md);
    jc_DeleteLocal(s->env, md);
    if (!held || !s->rsMetaData)
        return ERR_MEMORY_ALLOCATION;
    int32_t n = 0;
    if (int rc = jc_ResultSetMetaData_getColumnCount(s, s->rsMetaData, &n))
        return rc;
    freeResultDescs(s);
    if (n <= 0)
        return 0;
    return buildColDescs(s, n > 65535 ? 65535 : n);
}

int DRV_AllocStmt(int conn, int *outStmt)
{
    if (!outStmt)
        return ERR_INVALID_ARGUMENT;
    *outStmt = 0;
    DrvCall<DrvConn> op(conn);
    if (int rc = op.attach())
        return rc;
    DrvConn *c = op.get();
    DrvStmt *s = new (std::nothrow) DrvStmt();
    if (!s)
        return ERR_MEMORY_ALLOCATION;
    s->conn = c;
    s->stringMode = c->stringMode;
    s->redirectCol = -1;
    s->jdbcColumns = -1;
    s->cursorDefault = c->cursorDefault;
    s->maxRows = c->options.maxRows;
    s->flags = DS_PARAMS_CHANGED;
    int32_t handle = 0;
    int rc = HT_Insert(&drvStmtTable, &handle, s);
    if (rc != 0) {
        delete s;
        return rc;
    }
    s->handle = handle;
    if (c->oneStmtEmulation)
        s->forceStatic = 1;
    *outStmt = handle;
    return 0;
}

int DRV_FreeStmt(int stmt)
{
    DrvCall<DrvStmt> op(stmt);
    if (int rc = op.attach())
        return rc;
    // The statement is freed also without a frame.
    op.pushFrame();
    HT_Remove(&drvStmtTable, static_cast<uint32_t>(stmt));
    drvStmtDiscard(op.get());
    return 0;
}

int DRV_GetCursorName(int stmt, char *buf, int16_t len, int16_t *outLen)
{
    DrvCall<DrvStmt> op(stmt);
    if (int rc = op.attach())
        return rc;
    DrvStmt *s = op.get();
    if (!(s->flags & DS_PENDING))
        return ERR_FUNCTION_SEQUENCE;
    if (!s->resultSet)
        return 0;
    if (int rc = op.pushFrame())
        return rc;
    uint16_t n = 0;
    int rc = jc_ResultSet_getCursorName(s, s->resultSet, buf, static_cast<uint16_t>(len > 0 ? len : 0), &n);
    if (outLen)
        *outLen = static_cast<int16_t>(n);
    return rc;
}

int DRV_SetCursorName(int stmt, const char *name)
{
    DrvCall<DrvStmt> op(stmt);
    if (int rc = op.attach())
        return rc;
    DrvStmt *s = op.get();
    if (!s->stmt)
        return 0;
    if (int rc = op.pushFrame())
        return rc;
    return jc_Statement_setCursorName(s, s->stmt, name);
}

int DRV_GetColDescs(int stmt, uint16_t *outCount, ColDesc **outCopy)
{
    if (outCount)
        *outCount = 0;
    DrvStmt *s = drvStmtOf(stmt);
    if (!s)
        return ERR_INVALID_ARGUMENT;
    if (outCopy) {
        *outCopy = nullptr;
        ColDesc *copy = CD_Alloc(s->colCount);
        if (!copy)
            return ERR_MEMORY_ALLOCATION;
        if (s->colCount)
            memcpy(copy, s->cols, sizeof(ColDesc) * s->colCount);
        for (uint16_t i = 0; i < s->colCount; ++i) {
            ColDesc &d = copy[i];
            const ColDesc &src = s->cols[i];
            d.catalog = d.schema = d.table = d.label = nullptr;
            if (!dupText(&d.catalog, src.catalog) || !dupText(&d.schema, src.schema) ||
                !dupText(&d.table, src.table) || !dupText(&d.label, src.label)) {
                CD_Free(copy, i + 1u);
                return ERR_MEMORY_ALLOCATION;
            }
        }
        *outCopy = copy;
    }
    if (outCount)
        *outCount = s->colCount;
    return 0;
}

int DRV_GetParamDescs(int stmt, uint16_t *outCount, ColDesc **outCopy)
{
    if (outCount)
        *outCount = 0;
    DrvStmt *s = drvStmtOf(stmt);
    if (!s)
        return ERR_INVALID_ARGUMENT;
    if (outCopy) {
        *outCopy = nullptr;
        ColDesc *copy = CD_Alloc(s->paramCount);
        if (!copy)
            return ERR_MEMORY_ALLOCATION;
        if (s->paramCount)
            memcpy(copy, s->paramDescs, sizeof(ColDesc) * s->paramCount);
        *outCopy = copy;
    }
    if (outCount)
        *outCount = s->paramCount;
    return 0;
}

int DRV_CloseCursor(int stmt)
{
    DrvCall<DrvStmt> op(stmt);
    if (int rc = op.attach())
        return rc;
    // The result is closed also without a frame.
    op.pushFrame();
    closeResultSet(op.get());
    return 0;
}

namespace {
// The ten attribute rows of the column-attribute table.
struct AttrTemplate {
    int16_t id;
    int16_t kind;
    int32_t value;
};
constexpr AttrTemplate kAttrTemplate[] = {
    {11, TV_INT, 0},  {12, TV_INT, 0},  {-13, TV_INT, 0}, {10, TV_INT, 2},   {14, TV_TEXT, 0},
    {27, TV_TEXT, 0}, {28, TV_TEXT, 0}, {1053, TV_INT, 0}, {35, TV_INT, 0}, {1055, TV_INT, 0},
};

bool isCaseSensitiveType(int32_t t)
{
    return t == -10 || t == -9 || t == -8 || t == -1 || t == 1 || t == 12;
}

// Fills one per-column entry by its attribute rule; 0 or the failure.
int fillAttr(DrvStmt *s, const ColDesc &d, uint16_t col, TypedValue *e)
{
    jobject md = s->rsMetaData;
    const bool catalog = s->catalogKind != 0;
    uint8_t b = 0;
    int rc = 0;
    switch (e->attrId) {
    case 10:
        if (!md) {
            e->value.integer = 2;
        } else if (catalog) {
            e->value.integer = 0;
        } else {
            rc = jc_ResultSetMetaData_isWritable(s, md, col, &b);
            if (rc == 0 && b) {
                e->value.integer = 1;
            } else if (rc == 0) {
                rc = jc_ResultSetMetaData_isReadOnly(s, md, col, &b);
                e->value.integer = b ? 0 : 2;
            }
        }
        break;
    case 11:
        if (md && !catalog) {
            rc = jc_ResultSetMetaData_isAutoIncrement(s, md, col, &b);
            e->value.integer = b;
        }
        break;
    case 12:
        if (!md)
            e->value.integer = 0;
        else if (catalog)
            e->value.integer = isCaseSensitiveType(d.sqlType) ? 1 : 0;
        else {
            rc = jc_ResultSetMetaData_isCaseSensitive(s, md, col, &b);
            e->value.integer = b;
        }
        break;
    case 14:
        // An ordinary result names the column's own type; a catalog column
        // (whose JDBC metadata describes another layout) the usual name of
        // its SQL type.  The type table is read only when neither answers.
        if (md && !catalog) {
            if (jc_ResultSetMetaData_getColumnTypeName(s, md, col, &e->value.text) == 0 && e->value.text)
                break;
            errClear(&s->errors);
        }
        e->value.text = strdup(*typeUsualName(d.sqlType) ? typeUsualName(d.sqlType)
                                                         : typeInfoName(typeInfoCacheOf(s->conn), d.sqlType));
        if (!e->value.text)
            rc = ERR_MEMORY_ALLOCATION;
        break;
    case 27: case 28:
        // The type table costs a query over every type of the database: a
        // description made before anything read it leaves the literals to the
        // handle layer, which reads the same type information only when the
        // application asks for them.
        if (!s->conn->typeInfo)
            break;
        e->value.text = strdup(typeInfoLiteral(s->conn->typeInfo, d.sqlType, e->attrId == 27 ? 0 : 1));
        if (!e->value.text)
            rc = ERR_MEMORY_ALLOCATION;
        break;
    case 1053: case 1055:
        e->attrId = static_cast<int16_t>(-e->attrId);
        break;
    default:
        break;
    }
    return rc;
}

void freeAttrTable(TypedValue *t, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        TV_FreeValue(&t[i]);
    free(t);
}
} // namespace

int DRV_ColAttributes(int stmt, uint16_t *outCols, int16_t *outAttrs, ColDesc **outCopy, TypedValue **outTable)
{
    DrvCall<DrvStmt> op(stmt);
    DrvStmt *s = op.get();
    if (!s || !outCols || !outAttrs || !outCopy || !outTable)
        return ERR_INVALID_ARGUMENT;
    *outCols = 0;
    *outAttrs = 0;
    *outCopy = nullptr;
    *outTable = nullptr;
    if (int rc = op.enter())
        return rc;
    if (int rc = DRV_GetColDescs(stmt, outCols, outCopy))
        return rc;
    const uint16_t n = *outCols;
    const size_t rows = sizeof kAttrTemplate / sizeof kAttrTemplate[0];
    const size_t total = rows * (n + 1u);
    TypedValue *table = static_cast<TypedValue *>(calloc(total, sizeof(TypedValue)));
    if (!table)
        return ERR_MEMORY_ALLOCATION;
    size_t k = 0;
    for (const AttrTemplate &t : kAttrTemplate) {
        TypedValue def{};
        def.attrId = t.id;
        def.kind = t.kind;
        if (t.kind == TV_INT)
            def.value.integer = t.value;
        table[k++] = def;
        for (uint16_t col = 1; col <= n; ++col) {
            TypedValue &e = table[k++];
            e = def;
            e.column = col;
            if (e.attrId < 0)
                continue;
            if (int rc = fillAttr(s, (*outCopy)[col - 1], col, &e)) {
                freeAttrTable(table, total);
                return rc;
            }
        }
    }
    // Key and expression columns of a select list the cursor library
    // completed, with each column's base names.
    for (uint16_t col = 1; col <= n; ++col)
        SCS_GetSelColAttribs(stmt, col, &(*outCopy)[col - 1], 15, static_cast<uint16_t>(n + 1),
                             static_cast<uint16_t>(rows), table);
    int count = 0;
    TypedValue *kept = nullptr;
    int rc = TV_DedupCopy(static_cast<int>(total), table, &count, &kept, 2);
    freeAttrTable(table, total);
    if (rc != 0)
        return rc;
    *outTable = kept;
    *outAttrs = static_cast<int16_t>(count);
    return 0;
}

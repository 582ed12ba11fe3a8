// The cursor library's combined operations: allocate and prepare, execute
// and describe, the layout of a rowset, a scroll fetch that sets long values
// aside with their delivery piece by piece, batches of statements, and the
// variants that carry parameter types in the named record.  All of them are
// built on the library's ordinary operations.
#include "odbc/contract/drv_items.h"
#include "odbc/contract/err_report.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/rowblock.h"
#include "odbc/contract/typed_value.h"
#include "scrs/scs_combined.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyset.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace {

// Values longer than this are set aside by SCS_FetchScrollLong.
constexpr uint32_t kLongValueKept = 60000;
constexpr int32_t kRowCountItem = DrvInt(DRV_STMT_ROW_COUNT);
constexpr int32_t kRowsetSizeItem = DrvInt(DrvStmtOption(SQL_ROWSET_SIZE));
constexpr int32_t kNoTotal = -4;
constexpr int32_t kRowCountUnknown = -2;

bool isLongType(ValueType vt) { return vt == VT_HEAP_TEXT || vt == VT_HEAP_BINARY || vt == VT_HEAP_WTEXT; }

// The value type a piece of a long value is delivered as.
struct PieceType {
    ValueType from, to;
};
constexpr PieceType kPieceTypes[] = {{VT_HEAP_TEXT, VT_CHAR}, {VT_HEAP_WTEXT, VT_WCHAR}, {VT_HEAP_BINARY, VT_BINARY}};

// Diagnostics kept for connections whose failed statement is gone.
struct ConnDiags {
    int32_t firstNative = 0;
    std::vector<std::string> texts;
};

std::mutex &connDiagsLock()
{
    static auto *lock = new std::mutex;
    return *lock;
}

std::unordered_map<int, ConnDiags> &connDiags()
{
    static auto *map = new std::unordered_map<int, ConnDiags>;
    return *map;
}

// Drains a back-end handle's chain: its texts, or nothing.
std::vector<std::string> drainTexts(int h, int32_t *firstNative)
{
    std::vector<std::string> texts;
    ErrReport rep{};
    if (ScsLower()->GetErrors(h, &rep) != 0)
        return texts;
    if (firstNative)
        *firstNative = rep.firstNative;
    for (uint32_t i = 0; i < rep.count; ++i) {
        if (rep.texts && rep.texts[i])
            texts.emplace_back(rep.texts[i]);
        if (rep.texts)
            free(rep.texts[i]);
    }
    free(rep.texts);
    return texts;
}

// The connection's diagnostics become those of its statement, which is
// about to go.
void stmtDiagsToConn(ScsContext *ctx, int stmt, int conn)
{
    drainTexts(conn, nullptr);
    int32_t native = 0;
    std::vector<std::string> texts = drainTexts(stmt, &native);
    if (ctx) {
        scs_p_AuxDiagsMove(ctx);
        for (std::string &t : ctx->auxTexts)
            texts.push_back(std::move(t));
        ctx->auxTexts.clear();
    }
    scs_p_ConnDiagsSet(conn, native, std::move(texts));
}

// Length in bytes of a value set aside.
uint64_t valueBytes(ValueType vt, const LongDataBuf &cell)
{
    return vt == VT_HEAP_WTEXT ? 2ull * cell.length : cell.length;
}

// The first word of a text, split at any of `separators` (leading ones
// skipped), compared with `word` in any case.
int firstWordIs(const char *text, const char *separators, const char *word)
{
    if (!text)
        return 0;
    text += strspn(text, separators);
    const size_t n = strcspn(text, separators);
    return n == strlen(word) && strncasecmp(text, word, n) == 0 ? 1 : 0;
}

struct DescribeOut {
    int32_t *rowsetSize;
    uint16_t *colCount;
    ColDesc **cols;
    uint16_t *paramCount;
    ColDesc **paramDescs;
    int32_t *rowCount;
    int16_t *attrCount;   // ExecDescribeEx only
    TypedValue **attrs;
};

void freeAttrs(TypedValue *attrs, int16_t n)
{
    for (int16_t i = 0; attrs && i < n; ++i)
        TV_FreeValue(&attrs[i]);
    free(attrs);
}

// The body of ExecDescribe and ExecDescribeEx.
int execDescribe(int stmt, const char *sql, RowBlock *params, uint16_t typeCount, const ParamTypeDesc *types,
                 const DescribeOut &o, bool withAttrs)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx || !o.colCount || !o.cols || !o.paramCount || !o.paramDescs || !o.rowCount ||
        (withAttrs && (!o.attrCount || !o.attrs)) || (typeCount && !types)) {
        scs_p_ParamsRelease(params);
        return ERR_INVALID_ARGUMENT;
    }
    *o.colCount = *o.paramCount = 0;
    *o.cols = *o.paramDescs = nullptr;
    *o.rowCount = 0;
    if (withAttrs) {
        *o.attrCount = 0;
        *o.attrs = nullptr;
    }
    const DrvOpTable *low = ScsLower();
    if (!(withAttrs ? low->ColAttributes != nullptr : low->GetColDescs != nullptr) || !low->GetParamDescs) {
        scs_p_ParamsRelease(params);
        scs_p_ErrPostCode(ctx, ERR_FUNCTION_NOT_SUPPORTED);
        return ERR_FUNCTION_NOT_SUPPORTED;
    }
    scs_p_OptionsSync(ctx);
    if (ctx->opts.cursorType != SCS_FORWARD_ONLY && o.rowsetSize) {
        int32_t size = *o.rowsetSize;
        int rc = low->SetOption(stmt, kRowsetSizeItem, &size);
        if (rc == ERR_OPTION_VALUE_CHANGED) {
            int16_t len = 0;
            if (SCS_GetInfo(stmt, kRowsetSizeItem, &size, 4, &len) == 0)
                *o.rowsetSize = size;
        } else if (rc != 0) {
            scs_p_ParamsRelease(params);
            return rc;
        }
    }
    // The execute empties the long values of an earlier rowset.
    int rc = scs_p_RunDirect(stmt, sql, params,
                             [&] { return typeCount ? SCS_SetParamTypes(stmt, typeCount, types) : 0; });
    const bool outPending = rc == ERR_OUTPUT_PARAMS_PENDING;
    if (rc != 0 && !outPending)
        return rc;

    uint16_t cols = 0, params_ = 0;
    ColDesc *colDescs = nullptr, *paramDescs = nullptr;
    int16_t attrCount = 0;
    TypedValue *attrs = nullptr;
    rc = withAttrs ? low->ColAttributes(stmt, &cols, &attrCount, &colDescs, &attrs)
                   : low->GetColDescs(stmt, &cols, &colDescs);
    if (rc == 0)
        rc = low->GetParamDescs(stmt, &params_, &paramDescs);
    int32_t rowCount = 0;
    int16_t len = 0;
    if (rc == 0)
        rc = SCS_GetInfo(stmt, kRowCountItem, &rowCount, 4, &len);
    if (rc != 0) {
        // Nothing half-described reaches the caller.
        CD_Free(colDescs, cols);
        CD_Free(paramDescs, params_);
        freeAttrs(attrs, attrCount);
        return rc;
    }
    *o.colCount = cols;
    *o.cols = colDescs;
    *o.paramCount = params_;
    *o.paramDescs = paramDescs;
    *o.rowCount = rowCount < 0 ? 0 : rowCount;
    if (withAttrs) {
        *o.attrCount = attrCount;
        *o.attrs = attrs;
    }
    return outPending ? ERR_OUTPUT_PARAMS_PENDING : 0;
}

// The buffer length a caller binds for a column of the given layout.
uint32_t rowsetBufferLength(ValueType vt, uint32_t width)
{
    switch (vt) {
    case VT_WCHAR: case VT_WNTS:
        return width / 2;
    case VT_WTEXT4:
        return width >= 4 ? (width - 4) / 2 : 0;
    default:
        return width;
    }
}

} // namespace

// ---- execute and describe ----

int SCS_ExecDescribe(int stmt, const char *sql, RowBlock *params, uint16_t typeCount, const ParamTypeDesc *types,
                     int32_t *rowsetSize, uint16_t *colCount, ColDesc **cols, uint16_t *paramCount,
                     ColDesc **paramDescs, int32_t *rowCount)
{
    const DescribeOut o{rowsetSize, colCount, cols, paramCount, paramDescs, rowCount, nullptr, nullptr};
    return execDescribe(stmt, sql, params, typeCount, types, o, false);
}

int SCS_ExecDescribeEx(int stmt, const char *sql, RowBlock *params, uint16_t typeCount, const ParamTypeDesc *types,
                       int32_t *rowsetSize, uint16_t *colCount, ColDesc **cols, uint16_t *paramCount,
                       ColDesc **paramDescs, int32_t *rowCount, int16_t *attrCount, TypedValue **attrs)
{
    const DescribeOut o{rowsetSize, colCount, cols, paramCount, paramDescs, rowCount, attrCount, attrs};
    return execDescribe(stmt, sql, params, typeCount, types, o, true);
}

// ---- allocate and prepare ----

int SCS_AllocPrepare(int conn, const char *sql, int32_t concurrency, int32_t cursorType, int *outStmt)
{
    if (!outStmt)
        return ERR_INVALID_ARGUMENT;
    *outStmt = 0;
    int h = 0;
    int rc = scs_p_StmtAlloc(conn, &h);
    if (rc != 0)
        return rc;
    if (cursorType != SCS_FORWARD_ONLY) {
        // A value the back end settles on instead (ERR_OPTION_VALUE_CHANGED) is no failure: the
        // library reads the options back whenever it needs them.
        rc = ScsLower()->SetOption(h, DrvInt(DrvStmtOption(SQL_CURSOR_TYPE)), &cursorType);
        if (rc == 0 || rc == ERR_OPTION_VALUE_CHANGED)
            rc = ScsLower()->SetOption(h, DrvInt(DrvStmtOption(SQL_CONCURRENCY)), &concurrency);
        if (rc == ERR_OPTION_VALUE_CHANGED)
            rc = 0;
    }
    if (rc == 0 && sql)
        rc = SCS_Prepare(h, sql);
    if (rc != 0) {
        // The caller gets no statement: what went wrong is told on the
        // connection.
        stmtDiagsToConn(scs_p_CtxFind(h), h, conn);
        scs_p_StmtFree(h);
        return rc;
    }
    *outStmt = h;
    return 0;
}

// ---- the layout of a rowset ----

int SCS_DescribeRowset(int stmt, uint16_t *colCount, ColDesc **descs, RowBlock *block)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx || !colCount || !block)
        return ERR_INVALID_ARGUMENT;
    *colCount = 0;
    if (descs)
        *descs = nullptr;
    if (!ScsLower()->GetColDescs) {
        scs_p_ErrPostCode(ctx, ERR_FUNCTION_NOT_SUPPORTED);
        return ERR_FUNCTION_NOT_SUPPORTED;
    }
    // The layout the back end's fetch gives its blocks, from the result's
    // descriptions; no row is read (a fetch would take a call's output
    // values with it).
    uint16_t n = 0;
    ColDesc *result = nullptr;
    int rc = ScsLower()->GetColDescs(stmt, &n, &result);
    if (rc == 0)
        rc = RB_InitFromColDescs(result, n, 0, block);
    CD_Free(result, n);
    if (rc != 0)
        return rc;
    const uint16_t cols = block->columnsUsed;
    if (descs && cols) {
        ColDesc *out = CD_Alloc(cols);
        if (!out) {
            RB_Free(block);
            return ERR_MEMORY_ALLOCATION;
        }
        for (uint16_t i = 0; i < cols; ++i) {
            out[i].valueType = block->columns[i].valueType;
            out[i].bufferLength = rowsetBufferLength(block->columns[i].valueType, block->columns[i].width);
        }
        *descs = out;
    }
    *colCount = cols;
    return 0;
}

// ---- long values ----

void scs_p_LongValuesReset(ScsContext *ctx)
{
    RB_Free(&ctx->longValues);
    ctx->longValueCol = ctx->longValueRow = 0;
    ctx->longValueOffset = ctx->longValueLeft = 0;
}

int scs_p_LongDataDetach(RowBlock *block, RowBlock *side)
{
    RB_Free(side);
    if (!block || !block->columns || block->rowsUsed <= 0)
        return 0;
    const uint16_t cols = block->columnsUsed < block->columnsAllocated ? block->columnsUsed : block->columnsAllocated;
    const int32_t rows = block->rowsUsed < block->rowsAllocated ? block->rowsUsed : block->rowsAllocated;
    bool any = false;
    for (uint16_t c = 0; c < cols; ++c)
        any = any || (isLongType(block->columns[c].valueType) && block->columns[c].width >= sizeof(LongDataBuf));
    if (!any || rows <= 0)
        return 0;
    if (RB_Init(side, cols) != 0)
        return ERR_MEMORY_ALLOCATION;
    side->columnsUsed = cols;
    for (uint16_t c = 0; c < cols; ++c) {
        const RowBlockColumn &from = block->columns[c];
        RowBlockColumn &to = side->columns[c];
        to.valueType = from.valueType;
        to.width = isLongType(from.valueType) ? from.width : 0;
        if (RB_AllocColumn(&to, rows) != 0) {
            RB_Free(side);
            return ERR_MEMORY_ALLOCATION;
        }
    }
    side->rowsAllocated = side->rowsUsed = rows;
    // Nothing fails from here on: the values move.
    for (uint16_t c = 0; c < cols; ++c) {
        RowBlockColumn &from = block->columns[c];
        RowBlockColumn &to = side->columns[c];
        if (!isLongType(from.valueType) || from.width < sizeof(LongDataBuf))
            continue;
        for (int32_t r = 0; r < rows; ++r) {
            uint8_t *cell = from.data + static_cast<size_t>(r) * from.width;
            LongDataBuf v;
            memcpy(&v, cell, sizeof v);
            if (from.indicators[r] != RB_IND_VALUE || v.length <= kLongValueKept)
                continue;
            memcpy(to.data + static_cast<size_t>(r) * to.width, &v, sizeof v);
            to.indicators[r] = RB_IND_VALUE;
            const LongDataBuf empty{0, nullptr};
            memcpy(cell, &empty, sizeof empty);
            from.indicators[r] = RB_IND_LONG;
        }
    }
    return 0;
}

int SCS_FetchScrollLong(int stmt, RowsetCache **cache, int row, int *rowsOut, int *rowCount, int orientation)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx)
        return ERR_INVALID_ARGUMENT;
    // The values of the previous rowset go with it, whatever this fetch gives.
    scs_p_LongValuesReset(ctx);
    int rc = SCS_FetchScroll(stmt, nullptr, cache, row, rowsOut, rowCount, orientation);
    if (rc != 0 || !*cache)
        return rc;
    if ((rc = scs_p_LongDataDetach((*cache)->block, &ctx->longValues)) != 0) {
        RS_Free(cache);
        *rowsOut = 0;
    }
    return rc;
}

int SCS_GetLongData(int stmt, uint16_t column, uint32_t row, int64_t pieceSize, void **piece, uint32_t *pieceLen,
                    uint32_t *valueType, int32_t *left)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx || !piece || !pieceLen || !valueType || !left)
        return ERR_INVALID_ARGUMENT;
    RowBlock &side = ctx->longValues;
    const bool haveValues = side.columnsUsed > 0 && side.rowsUsed > 0;
    // A forward-only cursor's long values are the back end's, unless this
    // library set them aside itself.
    if (!haveValues && scs_p_CursorType(ctx) == SCS_FORWARD_ONLY) {
        if (auto op = ScsLower()->LongValue)
            return op(stmt, column, row, pieceSize, piece, pieceLen, valueType, left);
        scs_p_ErrPostCode(ctx, ERR_FUNCTION_NOT_SUPPORTED);
        return ERR_FUNCTION_NOT_SUPPORTED;
    }
    *piece = nullptr;
    *pieceLen = 0;
    *valueType = 0;
    *left = kNoTotal;
    if (!haveValues)
        return ERR_NO_DATA_FOUND;
    if (column < 1 || column > side.columnsUsed || row < 1 || row > static_cast<uint32_t>(side.rowsUsed) ||
        pieceSize < 0)
        return ERR_INVALID_ARGUMENT;
    const RowBlockColumn &col = side.columns[column - 1];
    const int32_t r = static_cast<int32_t>(row) - 1;
    if (col.indicators[r] != RB_IND_VALUE || !isLongType(col.valueType) || col.width < sizeof(LongDataBuf))
        return ERR_NO_DATA_FOUND;
    LongDataBuf v;
    memcpy(&v, col.data + static_cast<size_t>(r) * col.width, sizeof v);
    if (ctx->longValueCol != column || ctx->longValueRow != static_cast<int32_t>(row)) {
        ctx->longValueCol = column;
        ctx->longValueRow = static_cast<int32_t>(row);
        ctx->longValueOffset = 0;
        ctx->longValueLeft = v.data ? valueBytes(col.valueType, v) : 0;
    }
    for (const PieceType &t : kPieceTypes)
        if (t.from == col.valueType)
            *valueType = t.to;
    *left = ctx->longValueLeft > static_cast<uint64_t>(INT32_MAX) ? kNoTotal : static_cast<int32_t>(ctx->longValueLeft);
    if (ctx->longValueLeft == 0 || pieceSize == 0)
        return 0;
    // At most pieceSize bytes, or characters of wide text; a piece never
    // splits a character of wide text.
    const bool wide = col.valueType == VT_HEAP_WTEXT;
    const uint64_t want = static_cast<uint64_t>(pieceSize);
    uint64_t n = wide ? (want > UINT64_MAX / 2 ? UINT64_MAX : 2 * want) : want;
    if (n > ctx->longValueLeft)
        n = ctx->longValueLeft;
    const uint64_t maxPiece = wide ? 0xFFFFFFFEull : 0xFFFFFFFFull;
    if (n > maxPiece)
        n = maxPiece;
    auto *out = static_cast<char *>(malloc(static_cast<size_t>(n) + 2));
    if (!out)
        return ERR_MEMORY_ALLOCATION;
    memcpy(out, v.data + ctx->longValueOffset, static_cast<size_t>(n));
    out[n] = out[n + 1] = 0;
    ctx->longValueOffset += n;
    ctx->longValueLeft -= n;
    *piece = out;
    *pieceLen = static_cast<uint32_t>(n);
    return 0;
}

// ---- batches ----

int scs_p_IsSelectStmt(const char *text) { return firstWordIs(text, " \t\n\r\f(", "select"); }

int scs_p_IsCallStmt(const char *text) { return firstWordIs(text, " {?=\t\n\r\f", "call"); }

void scs_p_ParamsRelease(RowBlock *params)
{
    if (!params || (ScsLowerBinding()->flags & DRVB_FREES_PARAMS))
        return;
    KS_BlockFree(&params);
}

int SCS_ExecBatch(int stmt, uint16_t count, const BatchEntry *entries, int16_t *done, int32_t **rowCounts)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    auto releaseFrom = [&](uint32_t first) {
        for (uint32_t i = first; entries && i < count; ++i)
            scs_p_ParamsRelease(entries[i].params);
    };
    if (!ctx || !done || !rowCounts || (count && !entries) || count > INT16_MAX) {
        releaseFrom(0);
        return ERR_INVALID_ARGUMENT;
    }
    *done = 0;
    *rowCounts = nullptr;
    auto *counts = static_cast<int32_t *>(calloc(count ? count : 1, sizeof(int32_t)));
    if (!counts) {
        releaseFrom(0);
        return ERR_MEMORY_ALLOCATION;
    }
    int rc = 0;
    uint32_t i = 0;
    bool ran = false;  // the entry that stopped the batch took its block
    for (; i < count; ++i) {
        const BatchEntry &e = entries[i];
        // Without a text the statement's prepared text runs again.
        const char *text = e.sql ? e.sql : ctx->preparedText.c_str();
        const bool isCall = scs_p_IsCallStmt(text) != 0;
        ran = false;
        if (scs_p_IsSelectStmt(text)) {
            rc = ERR_ONLY_DDL_DML;
            scs_p_ErrPostCode(ctx, rc);
            break;
        }
        ran = true;
        rc = scs_p_RunDirect(stmt, e.sql, e.params, [&] {
            return e.typeCount ? (e.types ? SCS_SetParamTypes(stmt, e.typeCount, e.types) : ERR_INVALID_ARGUMENT) : 0;
        });
        if (rc != 0)
            break;
        int32_t n = 0;
        int16_t len = 0;
        counts[i] = SCS_GetInfo(stmt, kRowCountItem, &n, 4, &len) != 0 ? kRowCountUnknown : (n < 0 ? 0 : n);
        if (isCall && ScsLower()->GetColDescs) {
            // A call may give back its output parameters, never rows.
            uint16_t cols = 0;
            ColDesc *descs = nullptr;
            rc = ScsLower()->GetColDescs(stmt, &cols, &descs);
            const char *name = rc == 0 && cols && descs ? descs[0].name : nullptr;
            if (name && !(name[0] == '*' && name[1] && strchr("IOBU", name[1]))) {
                rc = ERR_ONLY_DDL_DML;
                scs_p_ErrPostCode(ctx, rc);
            }
            CD_Free(descs, cols);
            if (rc != 0)
                break;
        }
    }
    // The entries after the one that stopped the batch never ran, and a
    // refused one never took its block.
    if (i < count)
        releaseFrom(ran ? i + 1 : i);
    *rowCounts = counts;
    *done = static_cast<int16_t>(i);
    return rc;
}

// ---- parameter types in the named record ----

int SCS_SetParamTypesEx(int stmt, uint16_t count, const ParamTypeDescEx *types)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx || (count && !types))
        return ERR_INVALID_ARGUMENT;
    if (!ScsLower()->ParamTypesEx) {
        scs_p_ErrPostCode(ctx, ERR_FUNCTION_NOT_SUPPORTED);
        return ERR_FUNCTION_NOT_SUPPORTED;
    }
    ParamTypeDesc *copy = nullptr;
    if (count) {
        copy = static_cast<ParamTypeDesc *>(malloc(count * sizeof(ParamTypeDesc)));
        if (!copy)
            return ERR_MEMORY_ALLOCATION;
        for (uint16_t i = 0; i < count; ++i)
            copy[i] = ParamTypeDesc{types[i].sqlType, types[i].cType, types[i].columnSize, types[i].decimalDigits,
                                    types[i].direction};
    }
    free(ctx->appParamTypes);
    ctx->appParamTypes = copy;
    ctx->appParamTypeCount = count;
    return ScsLower()->ParamTypesEx(stmt, count, types);
}

int SCS_ExecDirectEx(int stmt, const char *sql, RowBlock *params, int16_t typeCount, const ParamTypeDescEx *types)
{
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx || typeCount < 0 || (typeCount && !types)) {
        scs_p_ParamsRelease(params);
        return ERR_INVALID_ARGUMENT;
    }
    // Types the back end cannot take refuse the call before anything runs.
    if (typeCount && !ScsLower()->ParamTypesEx) {
        scs_p_ParamsRelease(params);
        scs_p_ErrPostCode(ctx, ERR_FUNCTION_NOT_SUPPORTED);
        return ERR_FUNCTION_NOT_SUPPORTED;
    }
    return scs_p_RunDirect(stmt, sql, params, [&] {
        return typeCount ? SCS_SetParamTypesEx(stmt, static_cast<uint16_t>(typeCount), types) : 0;
    });
}

// ---- diagnostics kept for connections ----

void scs_p_ConnDiagsSet(int conn, int32_t firstNative, std::vector<std::string> texts)
{
    std::lock_guard<std::mutex> hold(connDiagsLock());
    ConnDiags &d = connDiags()[conn];
    d.firstNative = firstNative;
    d.texts = std::move(texts);
}

bool scs_p_ConnDiagsTake(int conn, int32_t *firstNative, std::vector<std::string> *texts)
{
    std::lock_guard<std::mutex> hold(connDiagsLock());
    auto it = connDiags().find(conn);
    if (it == connDiags().end())
        return false;
    *firstNative = it->second.firstNative;
    *texts = std::move(it->second.texts);
    connDiags().erase(it);
    return true;
}

void scs_p_ConnDiagsDrop(int conn)
{
    std::lock_guard<std::mutex> hold(connDiagsLock());
    connDiags().erase(conn);
}

// Positioned operations of the cursor library (SetPos): positioning on
// a row of the current rowset, and UPDATE, DELETE and ADD through SQL of the
// library's own against the cursor's single FROM table.  Rows are addressed
// by their key values and, under values concurrency, by the values read at
// fetch time; each statement runs on the positioned-operation statement and
// may touch exactly one row.
#include "odbc/contract/drv_items.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "scrs/sc_check.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_dynmix.h"
#include "scrs/scs_keyset.h"
#include "scrs/scs_owners.h"
#include "scrs/scs_rowlocks.h"
#include "scrs/scs_setpos.h"
#include "util/dynarray.h"
#include "util/log.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const char SRC[] = "sc_s";

// The row data and column map belong to the library from the call on.
struct Inputs {
    BlockOwner rowData;
    uint16_t *colMap;
    ~Inputs() { free(colMap); }
};

bool isHeap(ValueType t) { return t == VT_HEAP_TEXT || t == VT_HEAP_BINARY || t == VT_HEAP_WTEXT; }

// The value type a cell travels as: fixed-width text ends at its terminator.
ValueType paramType(ValueType t)
{
    if (t == VT_CHAR)
        return VT_NTS;
    if (t == VT_WCHAR)
        return VT_WNTS;
    return t;
}

} // namespace

int scs_p_ParamCellsAdd(PosParams *p, const RowBlock *src, int32_t row, const std::vector<int> *cols)
{
    if (!src || row < 0 || row >= src->rowsUsed)
        return SC_ERR_GENERAL;
    const int n = cols ? static_cast<int>(cols->size()) : src->columnsUsed;
    for (int k = 0; k < n; ++k) {
        const int c = cols ? (*cols)[static_cast<size_t>(k)] : k;
        if (c < 0 || c >= src->columnsUsed)
            return SC_ERR_GENERAL;
        const RowBlockColumn &col = src->columns[c];
        PosCell cell;
        cell.type = paramType(col.valueType);
        cell.width = col.width;
        cell.indicator = col.indicators[row];
        const uint8_t *from = col.data + static_cast<size_t>(row) * col.width;
        cell.bytes.assign(from, from + col.width);
        if (isHeap(col.valueType) && cell.indicator == RB_IND_VALUE) {
            LongDataBuf h;
            memcpy(&h, from, sizeof h);
            const size_t len = h.data ? h.length * (col.valueType == VT_HEAP_WTEXT ? 2u : 1u) : 0;
            cell.heap.assign(h.data, h.data + len);
        }
        p->cells.push_back(std::move(cell));
    }
    return 0;
}

int scs_p_ParamBlockMake(const PosParams &p, RowBlock **out)
{
    *out = nullptr;
    BlockOwner b(KS_BlockNew());
    if (!b)
        return ERR_MEMORY_ALLOCATION;
    int rc = RB_Init(b.get(), static_cast<uint16_t>(p.cells.size()));
    if (rc == 0) {
        for (size_t i = 0; i < p.cells.size(); ++i) {
            b->columns[i].valueType = p.cells[i].type;
            b->columns[i].width = p.cells[i].width;
        }
        b->columnsUsed = static_cast<uint16_t>(p.cells.size());
        rc = RB_AllocRows(b.get(), 1);
    }
    if (rc != 0)
        return rc;
    b->rowsUsed = 1;
    for (size_t i = 0; i < p.cells.size(); ++i) {
        const PosCell &c = p.cells[i];
        RowBlockColumn &col = b->columns[i];
        col.indicators[0] = c.indicator == RB_IND_VALUE ? RB_IND_VALUE : RB_IND_NULL;
        if (col.indicators[0] != RB_IND_VALUE)
            continue;
        if (isHeap(c.type)) {
            LongDataBuf h{0, nullptr};
            const size_t unit = c.type == VT_HEAP_WTEXT ? 2 : 1;
            // Text keeps a terminator behind its length.
            h.data = static_cast<char *>(malloc(c.heap.size() + 2));
            if (!h.data)
                return ERR_MEMORY_ALLOCATION;
            if (!c.heap.empty())
                memcpy(h.data, c.heap.data(), c.heap.size());
            h.data[c.heap.size()] = 0;
            h.data[c.heap.size() + 1] = 0;
            h.length = static_cast<uint32_t>(c.heap.size() / unit);
            memcpy(col.data, &h, sizeof h);
        } else {
            memcpy(col.data, c.bytes.data(), c.bytes.size());
        }
    }
    *out = b.release();
    return 0;
}

namespace {

// The C type a value type is sent as.
int16_t cTypeOf(ValueType t)
{
    struct M {
        ValueType vt;
        int16_t c;
    };
    static const M kMap[] = {
        {VT_BIT, SQL_C_BIT},           {VT_TINYINT, SQL_C_STINYINT},   {VT_UTINYINT, SQL_C_UTINYINT},
        {VT_SHORT, SQL_C_SSHORT},      {VT_USHORT, SQL_C_USHORT},      {VT_LONG, SQL_C_SLONG},
        {VT_ULONG, SQL_C_ULONG},       {VT_FLOAT, SQL_C_FLOAT},        {VT_DOUBLE, SQL_C_DOUBLE},
        {VT_DATE, SQL_C_TYPE_DATE},    {VT_TIME, SQL_C_TYPE_TIME},     {VT_TIMESTAMP, SQL_C_TYPE_TIMESTAMP},
        {VT_BINARY, SQL_C_BINARY},     {VT_HEAP_BINARY, SQL_C_BINARY}, {VT_BIN1, SQL_C_BINARY},
        {VT_BIN2, SQL_C_BINARY},       {VT_BIN4, SQL_C_BINARY},        {VT_WCHAR, SQL_C_WCHAR},
        {VT_WNTS, SQL_C_WCHAR},        {VT_HEAP_WTEXT, SQL_C_WCHAR},   {VT_WTEXT4, SQL_C_WCHAR},
    };
    for (const M &m : kMap)
        if (m.vt == t)
            return m.c;
    return SQL_C_CHAR;
}

const ScrColumnRef *colRefs(const DynArray *a) { return a ? static_cast<const ScrColumnRef *>(a->elements) : nullptr; }

// The table the statement changes: its owner and name as SQL identifiers.
std::string tableName(const ScsContext *ctx)
{
    const auto *t = static_cast<const ScrTableRef *>(ctx->fromTables->elements);
    std::string s;
    if (t->owner && t->owner[0])
        s = std::string(t->owner) + ".";
    return s + (t->table ? t->table : "");
}

// The base column of each result column (1-based), as an SQL identifier:
// the column a select item names, never its label, and nothing for an
// expression.
int baseColumns(ScsContext *ctx, std::vector<std::string> *out)
{
    DynArray *cols = nullptr;
    if (int rc = scs_p_SelectColsGet(ctx, &cols, nullptr))
        return rc;
    out->clear();
    const ScrColumnRef *c = colRefs(cols);
    for (uint32_t i = 0; i < cols->count; ++i)
        out->push_back(c[i].itemKind == SCR_ITEM_COLUMN ? c[i].column : "");
    DA_Free(&cols, nullptr);
    return 0;
}

// Statements of one positioned operation on posStmt.
struct Runner {
    ScsContext *ctx;
    int h;
    std::string prepared;

    int run(const std::string &text, const PosParams &params, int32_t *touched)
    {
        *touched = 0;
        int rc = 0;
        if (text != prepared) {
            if ((rc = ScsLower()->Prepare(h, text.c_str())) != 0) {
                prepared.clear();
                return rc;
            }
            prepared = text;
        }
        RowBlock *block = nullptr;
        if ((rc = scs_p_ParamBlockMake(params, &block)) != 0)
            return rc;
        if ((rc = ScsLower()->SetParams(h, block)) != 0)
            return rc;
        if (ctx->sendParamTypes && !params.types.empty() &&
            (rc = ScsLower()->SetParamTypes(h, static_cast<uint16_t>(params.types.size()), params.types.data())) != 0)
            return rc;
        if ((rc = ScsLower()->Execute(h)) != 0)
            return rc;
        int16_t len = 0;
        int32_t n = 0;
        if ((rc = ScsLower()->GetInfo(h, DrvInt(DRV_STMT_ROW_COUNT), &n, 4, &len)) != 0)
            return rc;
        *touched = n;
        return 0;
    }
};

ParamTypeDesc typeOf(const ColDesc *d, ValueType vt)
{
    ParamTypeDesc t{};
    t.sqlType = d ? d->sqlType : SQL_VARCHAR;
    t.cType = cTypeOf(vt);
    t.columnSize = d ? d->columnSize : 0;
    t.decimalDigits = d ? d->decimalDigits : 0;
    t.direction = PARAM_INPUT;
    return t;
}

ParamTypeDesc typeOf(const ScrColumnRef &c, ValueType vt)
{
    ParamTypeDesc t{};
    scs_p_ColDescToParamType(&c, &t);
    t.cType = cTypeOf(vt);
    return t;
}

// The SET list (UPDATE) or column list (INSERT) of the mapped columns.
int mappedColumns(ScsContext *ctx, const uint16_t *colMap, int n, std::vector<std::string> *names,
                  std::vector<const ColDesc *> *descs)
{
    std::vector<std::string> base;
    if (int rc = baseColumns(ctx, &base))
        return rc;
    for (int j = 0; j < n; ++j) {
        const uint16_t col = colMap[j];
        if (col < 1 || col > base.size() || base[col - 1].empty())
            return ERR_NOT_CAPABLE;   // no column of the table to write to
        const ColDesc *d = nullptr;
        scs_p_GetRsltColDesc(ctx, col, &d);
        names->push_back(base[col - 1]);
        descs->push_back(d);
    }
    return 0;
}

// The key row (0-based, of the keyset) of rowset row r (1-based).
int32_t keyRowOf(const ScsContext *ctx, int32_t r)
{
    const int32_t base = ctx->opts.cursorType == SCS_DYNAMIC ? 1 : ctx->place.absRow;
    return base + r - 2;
}

// The row of keyRows that holds key row k, or -1 when the window does not.
int32_t heldRow(const KeySet *ks, int32_t k)
{
    const int32_t start = ks->windowStart > 0 ? ks->windowStart : 0;
    const int32_t i = k - start;
    return ks->keyRows && i >= 0 && i < ks->keyRows->rowsUsed ? i : -1;
}

// The row of compareValues that holds the values of key row k (rowset row
// r): a static cursor keeps every row's values, a window of them once they
// spilled, at the row's absolute place; the others keep the rowset's.
int32_t compareRowOf(const ScsContext *ctx, int32_t k, int32_t r)
{
    if (ctx->opts.cursorType == SCS_STATIC && ctx->compareSet == 1)
        return k - (ctx->valueCacheStart > 0 ? ctx->valueCacheStart : 0);
    return r - 1;
}

// " WHERE k1 = ? AND k2 = ?" with the key values, the compare predicates of
// values concurrency, and a guard that lets the statement change a row only
// when its keys name exactly one row.
int whereClause(ScsContext *ctx, int32_t keyRow, int32_t rowsetRow, std::string *text, PosParams *params)
{
    const KeySet *ks = ctx->keySet;
    const int32_t held = heldRow(ks, keyRow);
    if (held < 0)
        return SC_ERR_GENERAL;
    const ScrColumnRef *keys = colRefs(ctx->keyCols);
    const uint32_t nKeys = ctx->keyCols ? ctx->keyCols->count : 0;
    if (nKeys == 0 || nKeys > ks->keyRows->columnsUsed)
        return ERR_NO_KEY_COLUMNS;
    std::string keyText;
    for (uint32_t i = 0; i < nKeys; ++i) {
        if (ks->keyRows->columns[i].indicators[held] != RB_IND_VALUE)
            keyText += std::string(i ? " AND " : "") + keys[i].column + " IS NULL";
        else
            keyText += std::string(i ? " AND " : "") + keys[i].column + " = ?";
    }
    std::vector<int> keyCols;
    for (uint32_t i = 0; i < nKeys; ++i)
        if (ks->keyRows->columns[i].indicators[held] == RB_IND_VALUE)
            keyCols.push_back(static_cast<int>(i));
    *text += " WHERE " + keyText;
    if (int rc = scs_p_ParamCellsAdd(params, ks->keyRows, held, &keyCols))
        return rc;
    std::vector<ParamTypeDesc> keyTypes;
    for (int c : keyCols)
        keyTypes.push_back(typeOf(keys[c], paramType(ks->keyRows->columns[c].valueType)));
    params->types.insert(params->types.end(), keyTypes.begin(), keyTypes.end());

    if (ctx->opts.concurrency == SCS_VALUES) {
        const DynArray *set = ctx->compareSet == 2 ? ctx->selectCols : ctx->tableCols;
        const RowBlock *vals = ctx->compareValues;
        const int32_t vr = compareRowOf(ctx, keyRow, rowsetRow);
        if (!set || !vals || vr < 0 || vr >= vals->rowsUsed || set->count != vals->columnsUsed)
            return ERR_NOT_CAPABLE;   // no values to compare with: the change would go unchecked
        const ScrColumnRef *cmp = colRefs(set);
        std::vector<int> with;
        for (uint32_t i = 0; i < set->count; ++i) {
            if (vals->columns[i].indicators[vr] != RB_IND_VALUE) {
                *text += std::string(" AND ") + cmp[i].column + " IS NULL";
            } else {
                *text += std::string(" AND ") + cmp[i].column + " = ?";
                with.push_back(static_cast<int>(i));
            }
        }
        if (int rc = scs_p_ParamCellsAdd(params, vals, vr, &with))
            return rc;
        for (int c : with)
            params->types.push_back(typeOf(cmp[c], paramType(vals->columns[c].valueType)));
    }
    // The keys once more, for the guard.
    *text += " AND (SELECT COUNT(*) FROM " + tableName(ctx) + " WHERE " + keyText + ") = 1";
    if (int rc = scs_p_ParamCellsAdd(params, ks->keyRows, held, &keyCols))
        return rc;
    params->types.insert(params->types.end(), keyTypes.begin(), keyTypes.end());
    return 0;
}

// The statement a positioned change runs for each row: its head (UPDATE
// ... SET, DELETE FROM, INSERT INTO ... VALUES) and the descriptions of the
// values it writes, one per column of the row data.
struct PosStatement {
    std::string head;
    int nValues = 0;
    std::vector<const ColDesc *> descs;
};

// Builds the head over the cursor's table.  0; ERR_DERIVED_TABLE_DEGREE
// when UPDATE or ADD has no column to write, ERR_NOT_CAPABLE for a column
// that is none of the table's, or the analysis' number.
int posStatementBuild(ScsContext *ctx, uint16_t op, const RowBlock *rowData, const uint16_t *colMap,
                      PosStatement *st)
{
    const bool update = op == SQL_UPDATE, add = op == SQL_ADD;
    st->nValues = rowData && (update || add) ? rowData->columnsUsed : 0;
    if ((update || add) && st->nValues == 0)
        return ERR_DERIVED_TABLE_DEGREE;   // no column to write
    std::vector<std::string> names;
    if (st->nValues)
        if (int rc = mappedColumns(ctx, colMap, st->nValues, &names, &st->descs))
            return rc;
    if (update) {
        st->head = "UPDATE " + tableName(ctx) + " SET ";
        for (int j = 0; j < st->nValues; ++j)
            st->head += (j ? ", " : "") + names[j] + " = ?";
    } else if (op == SQL_DELETE) {
        st->head = "DELETE FROM " + tableName(ctx);
    } else {
        st->head = "INSERT INTO " + tableName(ctx) + " ( ";
        for (int j = 0; j < st->nValues; ++j)
            st->head += (j ? ", " : "") + names[j];
        st->head += " ) VALUES ( ";
        for (int j = 0; j < st->nValues; ++j)
            st->head += j ? ", ?" : "?";
        st->head += " )";
    }
    return 0;
}

// The rows of a positioned change and what became of them: the rows
// changed, failed and in conflict, the first failure's number, and the
// key rows an UPDATE changed (with the places of their statuses) whose
// values or versions are read again.
struct PosTally {
    int32_t changed = 0;
    int32_t failed = 0;
    int32_t conflicts = 0;
    int firstError = 0;
    std::vector<int32_t> updatedKeys;
    std::vector<int32_t> updatedAt;
};

// One row's statement: the row's values, then (but for ADD) the WHERE of
// key row k, run on the positioned-operation statement.  The row's status:
// added, updated or deleted when one row changed, error when the statement
// failed (its diagnostics moved) or changed no row or several; *skip when
// the keys held do not reach the row, which keeps its status.
uint16_t posRowRun(ScsContext *ctx, Runner &runner, uint16_t op, const PosStatement &st, const RowBlock *rowData,
                   int32_t l, int32_t k, int32_t rowsetRow, PosTally *tally, bool *skip)
{
    const bool add = op == SQL_ADD;
    *skip = false;
    PosParams params;
    std::string text = st.head;
    int r = 0;
    if (st.nValues) {
        r = scs_p_ParamCellsAdd(&params, rowData, l, nullptr);
        for (int j = 0; r == 0 && j < st.nValues; ++j)
            params.types.push_back(typeOf(st.descs[j], paramType(rowData->columns[j].valueType)));
    }
    if (!add && r == 0) {
        if (heldRow(ctx->keySet, k) < 0) {
            *skip = true;   // beyond the keys held: no row
            return SQL_ROW_NOROW;
        }
        r = whereClause(ctx, k, rowsetRow, &text, &params);
    }
    int32_t touched = 0;
    if (r == 0)
        r = runner.run(text, params, &touched);
    if (r != 0) {
        ++tally->failed;
        if (!tally->firstError)
            tally->firstError = r;
        scs_p_AuxDiagsMove(ctx);
        return SQL_ROW_ERROR;
    }
    if (!add && touched != 1) {
        // Nothing (or, against the guard, several rows) changed: the row
        // was changed or removed by someone else.
        ++tally->conflicts;
        return SQL_ROW_ERROR;
    }
    ++tally->changed;
    return add ? SQL_ROW_ADDED : op == SQL_UPDATE ? SQL_ROW_UPDATED : SQL_ROW_DELETED;
}

// After the rows an UPDATE changed: under values concurrency their compare
// values are read again (a change of them is then checked against the
// values just written; values that cannot be read again stay, so such a
// change is refused, never let through unchecked); a dynamic cursor's rows
// get their versions stored and their statuses as that leaves them.
void posUpdatedRefresh(ScsContext *ctx, bool valuesUpdate, const PosTally &tally, uint16_t *statuses)
{
    if (tally.updatedKeys.empty())
        return;
    KeySet *ks = ctx->keySet;
    if (valuesUpdate) {
        if (int r = scs_p_RefreshOptConcVals(ctx, tally.updatedKeys.data(),
                                             static_cast<int32_t>(tally.updatedKeys.size())))
            LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "scs_p_RefreshOptConcVals failed (%d)", r);
        return;
    }
    std::vector<uint16_t> after(tally.updatedKeys.size(), SQL_ROW_UPDATED);
    scs_p_DynamicRowsUpdated(ctx, tally.updatedKeys.data(), after.data(), static_cast<int32_t>(after.size()));
    for (size_t i = 0; i < after.size(); ++i) {
        statuses[tally.updatedAt[i]] = after[i];
        const int32_t k = tally.updatedKeys[i];
        if (ks->statuses && k >= 0 && k < ks->statusCount)
            ks->statuses[k] = static_cast<int16_t>(after[i]);
    }
}

// The answer of a positioned change from its tally: 0 when every row
// changed; the failure's own number when the one row asked for failed;
// ERR_NO_ROWS_CHANGED when no row changed (but for ADD); else ERR_ROW_ERROR.
int posResult(const PosTally &t, uint16_t op, bool oneRow)
{
    if (t.failed + t.conflicts == 0)
        return 0;
    if (t.changed == 0 && t.failed > 0 && oneRow)
        return t.firstError;
    if (t.changed == 0 && op != SQL_ADD)
        return ERR_NO_ROWS_CHANGED;
    return ERR_ROW_ERROR;
}

} // namespace

int scs_p_PosChange(ScsContext *ctx, uint16_t op, int32_t row, uint16_t **statusesOut, uint16_t *countOut,
                    RowBlock *rowData, const uint16_t *colMap, const uint32_t *bookmarks, uint16_t count)
{
    if (scs_p_Concurrency(ctx) == SCS_READ_ONLY)
        return ERR_INVALID_ARGUMENT;
    if (int rc = scs_p_ChkUpdatable(ctx))
        return rc;
    if (!ctx->fromTables || ctx->fromTables->count == 0)
        return ERR_NOT_CAPABLE;
    const bool add = op == SQL_ADD;
    const bool update = op == SQL_UPDATE;
    if (!add && (!ctx->keySet || !ctx->keySet->keyRows || !ctx->keyCols))
        return ERR_NOT_CAPABLE;   // no keys to address the rows with
    if ((update || add) && (!rowData || !colMap))
        return ERR_INVALID_ARGUMENT;
    // Rows by bookmark (absolute row numbers of the keyset, each within the
    // current rowset), or rows of the rowset.
    const int32_t rows = bookmarks ? count : rowData ? rowData->rowsUsed : 1;
    if (rows < 1 || (bookmarks && rowData && rowData->rowsUsed < rows))
        return ERR_INVALID_ARGUMENT;
    const int32_t first = row == CUR_POS_ROWSET ? 1 : row;
    std::unique_ptr<uint16_t, void (*)(void *)> statuses(
        static_cast<uint16_t *>(malloc(static_cast<size_t>(rows) * sizeof(uint16_t))), free);
    if (!statuses)
        return ERR_MEMORY_ALLOCATION;
    for (int32_t i = 0; i < rows; ++i)
        statuses.get()[i] = SQL_ROW_NOROW;
    PosStatement st;
    if (int rc = posStatementBuild(ctx, op, rowData, colMap, &st))
        return rc;

    Runner runner{ctx, static_cast<int>(ctx->posStmt), {}};
    PosTally tally;
    KeySet *ks = ctx->keySet;
    // Rows a dynamic cursor's UPDATE changed: their key rows and the places
    // of their statuses.  Under values concurrency the other cursors' UPDATEs
    // (by bookmark too) note theirs to read their values again.
    const bool dynamicUpdate = update && !bookmarks && scs_p_CursorType(ctx) == SCS_DYNAMIC;
    const bool valuesUpdate =
        update && scs_p_CursorType(ctx) != SCS_DYNAMIC && scs_p_Concurrency(ctx) == SCS_VALUES;
    for (int32_t l = 0; l < rows; ++l) {
        const int32_t rowsetRow =
            bookmarks ? static_cast<int32_t>(bookmarks[l]) - ctx->place.absRow + 1 : first + l;
        const int16_t mark = rowData ? (rowData->columnsUsed ? rowData->columns[0].indicators[l] : 0) : 0;
        if (mark == RB_IND_IGNORED) {
            // Rows left alone keep the status they had.
            if (!add) {
                const int32_t k = keyRowOf(ctx, rowsetRow);
                if (ks->statuses && k >= 0 && k < ks->statusCount)
                    statuses.get()[l] = static_cast<uint16_t>(ks->statuses[k]);
            }
            continue;
        }
        const int32_t k = add ? 0 : bookmarks ? static_cast<int32_t>(bookmarks[l]) - 1 : keyRowOf(ctx, rowsetRow);
        bool skip = false;
        const uint16_t status = posRowRun(ctx, runner, op, st, rowData, l, k, rowsetRow, &tally, &skip);
        if (skip)
            continue;
        statuses.get()[l] = status;
        if (!add && !bookmarks && ks->statuses && k >= 0 && k < ks->statusCount)
            ks->statuses[k] = static_cast<int16_t>(status);
        if ((dynamicUpdate || valuesUpdate) && status == SQL_ROW_UPDATED) {
            tally.updatedKeys.push_back(k);
            tally.updatedAt.push_back(l);
        }
    }
    posUpdatedRefresh(ctx, valuesUpdate, tally, statuses.get());
    scs_p_AuxDiagsMove(ctx);
    ctx->posRowCount = tally.changed;
    *statusesOut = statuses.release();
    if (countOut)
        *countOut = static_cast<uint16_t>(rows);
    return posResult(tally, op, bookmarks ? rows == 1 : row != CUR_POS_ROWSET);
}

int SCS_SetPos(int stmt, const CursorOptions *options, int32_t row, uint16_t op, uint16_t lock,
               uint16_t **statuses, uint16_t *count, RowBlock *rowData, uint16_t *colMap, uint16_t colCount)
{
    (void)lock;
    (void)colCount;
    Inputs inputs{BlockOwner(rowData), colMap};
    if (statuses)
        *statuses = nullptr;
    if (count)
        *count = 0;
    ScsContext *ctx = scs_p_CtxFind(stmt);
    if (!ctx)
        return ERR_INVALID_ARGUMENT;
    scs_p_OptionsTake(ctx, options);
    const int32_t type = scs_p_CursorType(ctx);
    const bool staticReadOnly = type == SCS_STATIC && scs_p_Concurrency(ctx) == SCS_READ_ONLY;
    if (!(ctx->scsFlags & SCS_F_THROUGH_LIBRARY) && !staticReadOnly)
        return ERR_INVALID_CURSOR_STATE;
    if (type == SCS_FORWARD_ONLY)
        return ERR_NOT_CAPABLE;
    ctx->posRowCount = 0;
    if (op != SQL_ADD)
        if (int rc = CUR_PosSet(&ctx->place, row))
            return rc;
    int rc = 0;
    switch (op) {
    case SQL_POSITION:
        return 0;
    case SQL_REFRESH:
        return ERR_NOT_CAPABLE;
    case SQL_UPDATE:
    case SQL_DELETE:
    case SQL_ADD:
        if (!statuses)
            return ERR_INVALID_ARGUMENT;
        rc = scs_p_PosChange(ctx, op, row, statuses, count, rowData, colMap, nullptr, 0);
        break;
    default:
        return 0;
    }
    if (rc != 0 && rc != ERR_ROW_ERROR && rc != ERR_NO_ROWS_CHANGED)
        LOG_Printf(LOG_LEVEL_DEBUG, SRC, __LINE__, "SCS_SetPos: operation %u failed (%d)", op, rc);
    return rc;
}

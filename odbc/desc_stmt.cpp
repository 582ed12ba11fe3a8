// The statement side of descriptors.
#include "odbc/desc_stmt.h"

#include "odbc/handles.h"
#include "odbc/layer_links.h"
#include "odbc/contract/typed_value.h"
#include "odbc/stmt_bind.h"
#include "odbc/stmtattr.h"

// ---- bindings ----
// The statement's own records (stmt_bind.h) hold the bindings; the
// descriptor records mirror them.

namespace {

bool ParamBound(const ParamBinding *p) { return p && p->number != 0; }

void UnbindParam(Stmt *s, ParamBinding *p)
{
    if (!s->conn || !s->conn->cn_hasV2DAE)
        FreeRowValueBufs(&p->rowValues, static_cast<uint64_t>(p->rowCount), &p->rowLengths);
    *p = ParamBinding{};
}

} // namespace

bool DescStmtFindBinding(Stmt *s, bool row, uint16_t n, DescBinding *out)
{
    if (row) {
        const ColBinding *b = StmtFindBoundCol(n, s);
        if (!b)
            return false;
        *out = DescBinding{b->head.cType, b->head.bufferLength, 0, b->head.data, b->head.octetLengthPtr,
                           b->head.indicatorPtr, 0};
        return true;
    }
    const ParamBinding *p = StmtGetParamBinding(n, s);
    if (!ParamBound(p))
        return false;
    *out = DescBinding{p->cType, p->bufferLength, p->octetSize, p->data, p->octetLengthPtr, p->indicatorPtr,
                       p->paramType};
    return true;
}

void DescStmtUnbindData(Stmt *s, bool row, uint16_t n)
{
    if (row) {
        StmtRemoveBoundCol(s, n);
    } else if (ParamBinding *p = StmtGetParamBinding(n, s)) {
        p->data = nullptr;
    }
}

void DescStmtSetBindingPtr(Stmt *s, bool row, uint16_t n, DescBindPtr which, SQLLEN *ptr)
{
    SQLLEN **octet = nullptr, **ind = nullptr;
    if (row) {
        if (ColBinding *b = StmtFindBoundCol(n, s)) {
            octet = &b->head.octetLengthPtr;
            ind = &b->head.indicatorPtr;
        }
    } else if (ParamBinding *p = StmtGetParamBinding(n, s); ParamBound(p)) {
        octet = &p->octetLengthPtr;
        ind = &p->indicatorPtr;
    }
    if (octet)
        *(which == DBP_OCTET_LENGTH ? octet : ind) = ptr;
}

bool DescStmtSetParamItem(Stmt *s, uint16_t n, DescParamItem item, int64_t v)
{
    ParamBinding *p = StmtGetParamBinding(n, s);
    if (!ParamBound(p))
        return false;
    switch (item) {
    case DPI_SQL_TYPE: p->sqlType = static_cast<int16_t>(v); break;
    case DPI_COLUMN_SIZE: p->columnSize = static_cast<uint64_t>(v); break;
    case DPI_DIGITS: p->decimalDigits = static_cast<int16_t>(v); break;
    case DPI_PARAM_TYPE: p->paramType = static_cast<int16_t>(v); break;
    }
    s->flags &= static_cast<uint16_t>(~ST_PARAMTYPES_SENT);
    return true;
}

int16_t DescStmtParamSqlType(Stmt *s, uint16_t n)
{
    const ParamBinding *p = StmtGetParamBinding(n, s);
    return ParamBound(p) ? p->sqlType : 0;
}

void DescStmtUnbindAllCols(Stmt *s)
{
    while (s->boundCols)
        StmtRemoveBoundCol(s, s->boundCols->b.head.column);
}

void DescStmtUnbindAllParams(Stmt *s) { StmtResetParams(s); }

void DescStmtUnbindColsAbove(Stmt *s, uint16_t n)
{
    for (ColBindingNode *node = s->boundCols; node;) {
        ColBindingNode *next = node->next;
        if (node->b.head.column > n)
            StmtRemoveBoundCol(s, node->b.head.column);
        node = next;
    }
}

void DescStmtUnbindParamsAbove(Stmt *s, uint16_t n)
{
    for (uint16_t i = n; i < s->paramCapacity; ++i)
        UnbindParam(s, &s->paramBindings[i]);
}

// The statement layer's binders leave their error number on the statement;
// here it goes back to the descriptor's caller and the statement keeps what
// it had.
int DescStmtBindCol(Stmt *s, uint16_t n, int16_t cType, void *data, int64_t bufLen, SQLLEN *ind)
{
    const int32_t kept = s->diag.errNum;
    int err = Core_Links().stmt->BindCol(s, n, cType, data, bufLen, ind);
    s->diag.errNum = kept;
    return err;
}

int DescStmtBindParam(Stmt *s, uint16_t n, int16_t paramType, int16_t cType, int16_t sqlType,
                      uint64_t columnSize, int16_t digits, void *data, int64_t bufLen,
                      SQLLEN *octetLengthPtr, SQLLEN *ind)
{
    const int32_t kept = s->diag.errNum;
    s->diag.errNum = ERR_NONE;
    SQLRETURN rc = Core_Links().stmt->BindParam(s, n, paramType, cType, sqlType, columnSize, digits,
                                                data, bufLen, octetLengthPtr, ind);
    int err = rc == SQL_ERROR ? (s->diag.errNum ? static_cast<int>(s->diag.errNum) : ERR_GENERAL) : 0;
    s->diag.errNum = kept;
    return err;
}

// ---- attributes ----

SQLRETURN DescStmtSetRowsetSize(Stmt *s, uint64_t size, int *err)
{
    const int32_t kept = s->diag.errNum;
    s->diag.errNum = ERR_NONE;
    SQLRETURN rc = StmtSetOption(s, SQL_ROWSET_SIZE, size);
    *err = rc == SQL_SUCCESS ? 0 : s->diag.errNum;
    if (rc == SQL_ERROR && *err == 0)
        *err = ERR_GENERAL;
    s->diag.errNum = kept;
    return rc;
}

int DescStmtSetParamset(Stmt *s, uint64_t size, SQLULEN *processed)
{
    // Without parameter arrays the size can only be 1; the processed
    // pointer is still the application's.
    if ((!s->conn || !s->conn->cn_hasParamOp) && size != 1)
        return ERR_FUNCTION_NOT_SUPPORTED;
    if (size == 0)
        return ERR_ROW_VALUE_RANGE;
    s->paramsetSize = size;
    s->paramsProcessedPtr = processed;
    if (s->ipd)
        s->ipd->rowsProcessedPtr = processed;
    return 0;
}

SQLULEN *DescStmtRowsFetchedPtr(Stmt *s) { return s->rowsFetchedPtr; }
void DescStmtSetRowsFetchedPtr(Stmt *s, SQLULEN *p) { s->rowsFetchedPtr = p; }
SQLULEN *DescStmtParamsProcessedPtr(Stmt *s) { return s->paramsProcessedPtr; }

// ---- descriptions ----

int DescStmtNumResultCols(Stmt *s, uint16_t *count)
{
    const int32_t kept = s->diag.errNum;
    int err = StmtNumResultCols(s, count);
    s->diag.errNum = kept;
    return err;
}

const ColDesc *DescStmtColDesc(Stmt *s, uint16_t n, int *err)
{
    const int32_t kept = s->diag.errNum;
    s->diag.errNum = ERR_NONE;
    const ColDesc *d = StmtGetColDesc(s, n);
    *err = d ? 0 : (s->diag.errNum ? static_cast<int>(s->diag.errNum) : ERR_INVALID_COLUMN_NUMBER);
    s->diag.errNum = kept;
    return d;
}

const ColDesc *DescStmtParamDesc(Stmt *s, uint16_t n)
{
    const int32_t kept = s->diag.errNum;
    const ColDesc *d = StmtGetParamDesc(s, n);
    s->diag.errNum = kept;
    return d;
}

bool DescStmtOverride(Stmt *s, int attr, uint16_t column, int32_t *intOut, const char **textOut)
{
    return TV_Lookup(s->colAttrOverrides, attr, column, intOut, textOut, nullptr) != 0;
}

int DescStmtTypeInfoText(Stmt *s, int column, int16_t sqlType, char *buf)
{
    buf[0] = '\0';
    Conn *c = s->conn;
    const int32_t kept = c->diag.errNum;
    int64_t len = -1;
    SQLRETURN rc = Core_Links().stmt->TypeInfoColumn(c, column, sqlType, buf, 256, &len);
    int err = 0;
    if (rc == SQL_ERROR)
        err = c->diag.errNum ? static_cast<int>(c->diag.errNum) : ERR_GENERAL;
    c->diag.errNum = kept;
    if (rc != SQL_SUCCESS || len == -1)
        buf[0] = '\0';
    return err;
}

// Writing descriptor fields: DescSetField and SQLSetDescField.  A field of
// an application descriptor is also a statement attribute or binding; the
// write carries into every statement the descriptor describes, and keeps a
// record's type fields consistent with each other.
#include <cstdlib>

#include "odbc/desc_field.h"
#include "odbc/desc_internal.h"
#include "odbc/desc_rec.h"
#include "odbc/desc_types.h"
#include "odbc/handles.h"
#include "odbc/contract/textout.h"
#include "odbc/trace.h"

namespace {

SQLRETURN Fail(DescSetCtx &c, int err)
{
    c.d->diag.errNum = err;
    return SQL_ERROR;
}

// The result of a statement routine's error number, reported on D.
SQLRETURN FromStmt(DescSetCtx &c, int err) { return err ? Fail(c, err) : SQL_SUCCESS; }

bool IsIpd(const DescSetCtx &c) { return !c.app && !c.row; }

DescTypeFields TypeFieldsOf(const DescRec *r)
{
    return DescTypeFields{r->type, r->conciseType, r->datetimeIntervalCode,
                          r->datetimeIntervalPrecision, r->length, r->precision, r->scale};
}

void StoreTypeFields(DescRec *r, const DescTypeFields &f)
{
    r->type = f.type;
    r->conciseType = f.concise;
    r->datetimeIntervalCode = f.dic;
    r->datetimeIntervalPrecision = f.dip;
    r->length = f.length;
    r->precision = f.precision;
    r->scale = f.scale;
}

// Runs a type change on a copy of the record's type fields; a refused one
// (ERR_OPTION_TYPE_RANGE) leaves the record as it was.
SQLRETURN ChangeTypes(DescSetCtx &c, int (*apply)(DescTypeFields *, int16_t), int16_t value)
{
    DescTypeFields f = TypeFieldsOf(c.r);
    int err = apply(&f, value);
    if (err)
        return Fail(c, err);
    StoreTypeFields(c.r, f);
    return SQL_SUCCESS;
}

// Appends records to D up to n; on an APD that a statement follows, its IPD
// grows along.  False when a record cannot be made.
bool GrowRecs(DescSetCtx &c, uint16_t n)
{
    if (DescGrowRecs(c.d, n) != 0)
        return false;
    return !(c.withStmt && c.app && !c.row && c.s->ipd && c.s->ipd->count < n && DescGrowRecs(c.s->ipd, n) != 0);
}

// Stores a record's octet-length or indicator pointer and carries it into
// the binding of the column or parameter.
SQLRETURN StoreBindingPtr(DescSetCtx &c, SQLLEN *DescRec::*field, DescBindPtr which)
{
    c.r->*field = reinterpret_cast<SQLLEN *>(c.v);
    if (c.withStmt)
        DescStmtSetBindingPtr(c.s, c.row, static_cast<uint16_t>(c.rec), which, c.r->*field);
    return SQL_SUCCESS;
}

// Follow-up of an IPD field on the parameter's binding, when bound.
void ParamItem(DescSetCtx &c, DescParamItem item, int64_t v)
{
    if (IsIpd(c) && c.withStmt)
        DescStmtSetParamItem(c.s, static_cast<uint16_t>(c.rec), item, v);
}

bool IsOneOf(int64_t t, std::initializer_list<int16_t> list)
{
    for (int16_t x : list)
        if (x == t)
            return true;
    return false;
}

// Column size and decimal digits of a parameter from its IPD record.
void IpdSizeDigits(const DescRec *ipd, uint64_t *columnSize, int16_t *digits)
{
    const int16_t t = ipd ? ipd->conciseType : 0;
    *columnSize = 0;
    *digits = 0;
    if (!ipd)
        return;
    *columnSize = IsOneOf(t, {-10, -9, -8, -4, -3, -2, -1, 1, 9, 10, 12})
                      ? static_cast<uint32_t>(ipd->length)
                      : static_cast<uint64_t>(static_cast<uint16_t>(ipd->precision));
    if (t == SQL_NUMERIC || t == SQL_DECIMAL)
        *digits = ipd->scale;
    else if (DescVerboseType(t) == SQL_DATETIME || DescVerboseType(t) == SQL_INTERVAL)
        *digits = ipd->precision;
}

} // namespace

int DescBindColFromRec(Stmt *s, Desc *d, uint16_t n, const DescRec *r)
{
    SQLLEN *const octetLengthPtr = r->octetLengthPtr;
    int err = DescStmtBindCol(s, n, r->conciseType, r->dataPtr, r->octetLength, r->indicatorPtr);
    if (err)
        return err;
    // Binding gives the column one length/indicator pointer; a separate
    // octet-length pointer of the record stays its own.
    if (DescRec *bound = DescGetRec(d, n))
        bound->octetLengthPtr = octetLengthPtr;
    DescStmtSetBindingPtr(s, true, n, DBP_OCTET_LENGTH, octetLengthPtr);
    return 0;
}

int DescBindParamFromRec(Stmt *s, uint16_t n, const DescRec *r)
{
    uint64_t size = 0;
    int16_t digits = 0;
    const DescRec *ipd = s->ipd ? DescGetRec(s->ipd, n) : nullptr;
    IpdSizeDigits(ipd, &size, &digits);
    return DescStmtBindParam(s, n, ipd ? ipd->parameterType : SQL_PARAM_INPUT, r->conciseType,
                             ipd ? ipd->conciseType : 0, size, digits, r->dataPtr, r->octetLength,
                             r->octetLengthPtr, r->indicatorPtr);
}

// ---- header writers ----

SQLRETURN SH_ArraySize(DescSetCtx &c)
{
    if (!c.keep)
        c.d->arraySize = c.v;
    if (!c.withStmt)
        return SQL_SUCCESS;
    if (c.row) {
        int err = 0;
        SQLRETURN rc = DescStmtSetRowsetSize(c.s, c.d->arraySize, &err);
        if (err)
            c.d->diag.errNum = err;
        return rc;
    }
    return FromStmt(c, DescStmtSetParamset(c.s, c.d->arraySize, c.s->ipd ? c.s->ipd->rowsProcessedPtr : nullptr));
}

SQLRETURN SH_ArrayStatusPtr(DescSetCtx &c)
{
    c.d->arrayStatusPtr = reinterpret_cast<uint16_t *>(c.v);
    return SQL_SUCCESS;
}

SQLRETURN SH_BindOffsetPtr(DescSetCtx &c)
{
    c.d->bindOffsetPtr = reinterpret_cast<SQLLEN *>(c.v);
    return SQL_SUCCESS;
}

SQLRETURN SH_BindType(DescSetCtx &c)
{
    c.d->bindType = static_cast<uint32_t>(c.v);
    if (c.withStmt && c.row)
        c.s->bindType = c.d->bindType;
    return SQL_SUCCESS;
}

SQLRETURN SH_RowsProcessedPtr(DescSetCtx &c)
{
    if (!c.keep)
        c.d->rowsProcessedPtr = reinterpret_cast<SQLULEN *>(c.v);
    if (!c.withStmt)
        return SQL_SUCCESS;
    if (c.row) {
        DescStmtSetRowsFetchedPtr(c.s, c.d->rowsProcessedPtr);
        return SQL_SUCCESS;
    }
    return FromStmt(c, DescStmtSetParamset(c.s, c.s->paramsetSize, c.d->rowsProcessedPtr));
}

// COUNT: fewer records drop the rest (and their bindings), more records are
// appended (for an APD the IPD follows).
SQLRETURN SH_Count(DescSetCtx &c)
{
    if (c.keep)
        return SQL_SUCCESS;
    const uint16_t n = static_cast<uint16_t>(c.v);
    if (n < c.d->count) {
        DescTruncateRecs(c.d, n);
        c.d->count = n;
        if (c.withStmt && c.app) {
            if (c.row)
                DescStmtUnbindColsAbove(c.s, n);
            else
                DescStmtUnbindParamsAbove(c.s, n);
        }
        return SQL_SUCCESS;
    }
    if (n > c.d->count && !GrowRecs(c, n))
        return Fail(c, ERR_MEMORY_ALLOCATION);
    return SQL_SUCCESS;
}

// ---- record writers ----

SQLRETURN SR_Type(DescSetCtx &c)
{
    if (c.keep)
        return SQL_SUCCESS;
    SQLRETURN rc = ChangeTypes(c, DescApplyType, static_cast<int16_t>(c.v));
    if (rc == SQL_SUCCESS)
        ParamItem(c, DPI_SQL_TYPE, c.r->conciseType);
    return rc;
}

SQLRETURN SR_ConciseType(DescSetCtx &c)
{
    const int16_t value = c.keep ? c.r->conciseType : static_cast<int16_t>(c.v);
    if (value == 0)
        return SQL_SUCCESS;  // a record without a type keeps having none
    SQLRETURN rc = ChangeTypes(c, DescApplyConciseType, value);
    if (rc != SQL_SUCCESS)
        return rc;
    if (IsIpd(c)) {
        // A parameter keeps its direction; only a record without one is input.
        if (c.r->parameterType == 0)
            c.r->parameterType = SQL_PARAM_INPUT;
        ParamItem(c, DPI_SQL_TYPE, c.r->conciseType);
    }
    return SQL_SUCCESS;
}

SQLRETURN SR_IntervalPrecision(DescSetCtx &c)
{
    if (!c.keep)
        c.r->datetimeIntervalPrecision = static_cast<int32_t>(c.v);
    return SQL_SUCCESS;
}

SQLRETURN SR_Radix(DescSetCtx &c)
{
    if (!c.keep)
        c.r->numPrecRadix = static_cast<int32_t>(c.v);
    return SQL_SUCCESS;
}

SQLRETURN SR_ParameterType(DescSetCtx &c)
{
    if (c.keep)
        return SQL_SUCCESS;
    const int16_t t = static_cast<int16_t>(c.v);
    if (t != SQL_PARAM_INPUT && t != SQL_PARAM_INPUT_OUTPUT && t != SQL_PARAM_OUTPUT)
        return Fail(c, ERR_INVALID_ARGUMENT);
    c.r->parameterType = t;
    ParamItem(c, DPI_PARAM_TYPE, t);
    return SQL_SUCCESS;
}

SQLRETURN SR_Length(DescSetCtx &c)
{
    if (c.keep)
        return SQL_SUCCESS;
    c.r->length = static_cast<uint32_t>(c.v);
    if (IsIpd(c) && c.withStmt &&
        IsOneOf(DescStmtParamSqlType(c.s, static_cast<uint16_t>(c.rec)),
                {-10, -9, -8, -4, -3, -2, -1, 1, 9, 10, 12}))
        ParamItem(c, DPI_COLUMN_SIZE, static_cast<int64_t>(c.r->length));
    return SQL_SUCCESS;
}

SQLRETURN SR_OctetLengthPtr(DescSetCtx &c) { return StoreBindingPtr(c, &DescRec::octetLengthPtr, DBP_OCTET_LENGTH); }

SQLRETURN SR_Precision(DescSetCtx &c)
{
    c.r->precision = static_cast<int16_t>(c.v);
    if (IsIpd(c) && c.withStmt) {
        const int16_t t = DescStmtParamSqlType(c.s, static_cast<uint16_t>(c.rec));
        if (t == SQL_NUMERIC || t == SQL_DECIMAL)
            ParamItem(c, DPI_COLUMN_SIZE, static_cast<uint16_t>(c.r->precision));
        else if (DescVerboseType(t) == SQL_DATETIME || DescVerboseType(t) == SQL_INTERVAL)
            ParamItem(c, DPI_DIGITS, c.r->precision);
    }
    return SQL_SUCCESS;
}

SQLRETURN SR_Scale(DescSetCtx &c)
{
    c.r->scale = static_cast<int16_t>(c.v);
    ParamItem(c, DPI_DIGITS, c.r->scale);
    return SQL_SUCCESS;
}

SQLRETURN SR_IntervalCode(DescSetCtx &c)
{
    if (c.keep)
        return SQL_SUCCESS;
    return ChangeTypes(c, DescApplyIntervalCode, static_cast<int16_t>(c.v));
}

SQLRETURN SR_IndicatorPtr(DescSetCtx &c) { return StoreBindingPtr(c, &DescRec::indicatorPtr, DBP_INDICATOR); }

// DATA_PTR binds (or, with NULL, unbinds) the column or parameter in every
// statement that follows D; an IPD takes no data pointer.
SQLRETURN SR_DataPtr(DescSetCtx &c)
{
    if (IsIpd(c))
        return SQL_SUCCESS;
    void *const old = c.r->dataPtr;
    c.r->dataPtr = reinterpret_cast<void *>(c.v);
    if (!c.withStmt)
        return SQL_SUCCESS;
    const uint16_t n = static_cast<uint16_t>(c.rec);
    if (!c.r->dataPtr) {
        DescStmtUnbindData(c.s, c.row, n);
        return SQL_SUCCESS;
    }
    const int err = c.row ? DescBindColFromRec(c.s, c.d, n, c.r) : DescBindParamFromRec(c.s, n, c.r);
    if (err) {
        DescRec *r = DescGetRec(c.d, n);
        if (r)
            r->dataPtr = old;
        return Fail(c, err);
    }
    return SQL_SUCCESS;
}

SQLRETURN SR_Name(DescSetCtx &c)
{
    if (c.keep)
        return SQL_SUCCESS;
    char *copy = nullptr;
    if (c.v) {
        if (c.len < 0 && c.len != SQL_NTS)
            return Fail(c, ERR_INVALID_LENGTH);
        copy = TXT_In(reinterpret_cast<const void *>(c.v), c.len, c.width);
        if (!copy)
            return Fail(c, ERR_MEMORY_ALLOCATION);
    }
    std::free(c.r->name);
    c.r->name = copy;
    if (copy && copy[0])
        c.r->unnamed = SQL_NAMED;
    return SQL_SUCCESS;
}

SQLRETURN SR_Unnamed(DescSetCtx &c)
{
    if (c.keep)
        return SQL_SUCCESS;
    const bool exactZero = c.v == 0 && (c.flags & DSF_EXACT);
    if (c.app || (c.v != SQL_UNNAMED && !exactZero))
        return Fail(c, ERR_DESCRIPTOR_TYPE_RANGE);
    c.r->unnamed = static_cast<int16_t>(c.v);
    return SQL_SUCCESS;
}

SQLRETURN SR_OctetLength(DescSetCtx &c)
{
    if (c.keep)
        return SQL_SUCCESS;
    c.r->octetLength = static_cast<int32_t>(c.v);
    ParamItem(c, DPI_SQL_TYPE, c.r->conciseType);
    return SQL_SUCCESS;
}

// ---- applying one write ----

namespace {

// Whether the kind of descriptor (app, row) may write the field.
int WriteAllowed(const DescField &f, const DescSetCtx &c)
{
    switch (f.write) {
    case DWR_READONLY: return ERR_DESCRIPTOR_TYPE_RANGE;
    case DWR_APP: return c.app ? 0 : ERR_DESCRIPTOR_TYPE_RANGE;
    case DWR_NOT_APP: return c.app ? ERR_DESCRIPTOR_TYPE_RANGE : 0;
    case DWR_IMPL: return c.app ? ERR_DESCRIPTOR_TYPE_RANGE : 0;
    default: return 0;
    }
}

// Record fields that leave the binding's data pointer in place.
bool KeepsBinding(int16_t field)
{
    return field == SQL_DESC_OCTET_LENGTH_PTR || field == SQL_DESC_INDICATOR_PTR ||
           field == SQL_DESC_DATA_PTR;
}

} // namespace

SQLRETURN DescApplyField(Stmt *s, bool app, bool row, bool withStmt, Desc *d, int rec,
                         int16_t field, uint64_t value, int64_t length, int width, unsigned flags)
{
    const DescField *f = DescFindField(field);
    if (!f || !f->set) {
        d->diag.errNum = f ? ERR_DESCRIPTOR_TYPE_RANGE : ERR_FUNCTION_NOT_SUPPORTED;
        return SQL_ERROR;
    }
    DescSetCtx c{s, app, row, withStmt, d, rec, value, length, width, flags, false, nullptr};
    c.keep = value == 0 && !(f->zero == DZ_VALUE || (f->zero == DZ_EXACT && (flags & DSF_EXACT)));
    if (f->header) {
        if (int err = WriteAllowed(*f, c))
            return Fail(c, err);
        return f->set(c);
    }

    if (row && !app)
        return Fail(c, ERR_MODIFY_IRD);
    if (rec < 0 || (rec == 0 && !row))
        return Fail(c, ERR_INVALID_DESCRIPTOR_INDEX);
    if (d->count < rec && !GrowRecs(c, static_cast<uint16_t>(rec)))
        return Fail(c, ERR_MEMORY_ALLOCATION);
    c.r = DescGetRec(d, rec);
    if (!c.r)
        return Fail(c, ERR_MEMORY_ALLOCATION);

    if (app && !KeepsBinding(field)) {
        // Any other field of an application record unbinds its buffer.
        c.r->dataPtr = nullptr;
        if (withStmt)
            DescStmtUnbindData(s, row, static_cast<uint16_t>(rec));
    }
    if (int err = WriteAllowed(*f, c))
        return Fail(c, err);
    return f->set(c);
}

namespace {

// The worse of two results: an error over a warning over success.
SQLRETURN Worse(SQLRETURN a, SQLRETURN b)
{
    if (a == SQL_ERROR || b == SQL_ERROR)
        return SQL_ERROR;
    if (a == SQL_SUCCESS_WITH_INFO || b == SQL_SUCCESS_WITH_INFO)
        return SQL_SUCCESS_WITH_INFO;
    return a;
}

} // namespace

SQLRETURN DescSetFieldEx(Desc *d, int16_t rec, int16_t field, uint64_t value, int64_t length,
                         int width, unsigned flags)
{
    if (TR_IsOn())
        TR_Printf("Descriptor Type: %s", DescKindName(d));
    const DescField *f = DescFindField(field);
    if (!f) {
        d->diag.errNum = ERR_FUNCTION_NOT_SUPPORTED;
        return SQL_ERROR;
    }
    if (f->write == DWR_READONLY) {
        d->diag.errNum = ERR_DESCRIPTOR_TYPE_RANGE;
        return SQL_ERROR;
    }
    // An IRD takes only its status and rows-processed pointers.
    if (d->allocType == DA_IMPLICIT && d->kind == DK_IRD && f->write != DWR_ALWAYS &&
        f->write != DWR_IMPL) {
        d->diag.errNum = ERR_MODIFY_IRD;
        return SQL_ERROR;
    }
    if (d->allocType == DA_IMPLICIT) {
        const bool app = d->kind == DK_ARD || d->kind == DK_APD;
        const bool row = d->kind == DK_ARD || d->kind == DK_IRD;
        return DescApplyField(d->stmt, app, row, d->stmt != nullptr, d, rec, field, value, length,
                              width, flags);
    }

    // An explicit descriptor: every statement of its connection using it
    // follows; a warning does not stop the walk, an error does.
    SQLRETURN result = SQL_SUCCESS;
    bool used = false;
    for (Stmt *s = d->conn ? d->conn->stmts : nullptr; s; s = s->next) {
        for (const bool row : {true, false}) {
            if ((row ? s->ard : s->apd) != d)
                continue;
            used = true;
            result = Worse(result, DescApplyField(s, true, row, true, d, rec, field, value, length, width, flags));
            if (result == SQL_ERROR)
                return result;
        }
    }
    if (used)
        return result;
    return DescApplyField(nullptr, true, false, false, d, rec, field, value, length, width, flags);
}

SQLRETURN DescSetField(Desc *d, int16_t rec, int16_t field, uint64_t value, int64_t length,
                       int width)
{
    return DescSetFieldEx(d, rec, field, value, length, width, 0);
}

SQLRETURN DescSetFieldForStmt(Stmt *s, Desc *d, int16_t field, uint64_t value, int64_t length,
                              int width)
{
    const int32_t kept = d->diag.errNum;
    SQLRETURN rc = DescSetField(d, 0, field, value, length, width);
    if (rc != SQL_SUCCESS && d->diag.errNum != ERR_NONE)
        s->diag.errNum = d->diag.errNum;
    d->diag.errNum = kept;
    return rc;
}

SQLRETURN DS_SetDescField(Desc *d, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                          SQLINTEGER length, int width)
{
    return DescSetField(d, rec, field, reinterpret_cast<uint64_t>(value), length, width);
}

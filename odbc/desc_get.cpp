// Reading descriptor fields: DescGetField and SQLGetDescField.  Implicit
// application descriptors answer from the statement's live bindings, the
// IRD from the result column descriptions and the IPD mostly from the
// parameter descriptions; everything else from the descriptor's own fields.
#include <cstring>

#include "odbc/desc_field.h"
#include "odbc/desc_internal.h"
#include "odbc/desc_rec.h"
#include "odbc/desc_types.h"
#include "odbc/dispatch.h"
#include "odbc/handles.h"
#include "odbc/trace.h"

namespace {

// ---- answers ----

int Num(DescValue *v, int64_t n)
{
    v->num = n;
    return 0;
}
int Ptr(DescValue *v, const void *p)
{
    v->ptr = p;
    return 0;
}
int Text(DescValue *v, const char *t)
{
    v->text = t ? t : "";
    return 0;
}

// The own record, or ERR_GENERAL when it is missing.
#define OWN_OR_GENERAL(c) \
    if (!(c).own)         \
        return ERR_GENERAL;

// The IRD's column description for records from 1 (ERR_INVALID_DESCRIPTOR_INDEX
// when there is none).
#define COLUMN_OR_INDEX(c) \
    if (!(c).col)          \
        return ERR_INVALID_DESCRIPTOR_INDEX;

// A number or pointer field of record n itself, or ERR_GENERAL when D has no
// record n.
template <class T>
int OwnNum(DescReadCtx &c, DescValue *v, T DescRec::*field)
{
    OWN_OR_GENERAL(c);
    return Num(v, c.own->*field);
}
template <class T>
int OwnPtr(DescReadCtx &c, DescValue *v, T *DescRec::*field)
{
    OWN_OR_GENERAL(c);
    return Ptr(v, c.own->*field);
}

bool IsOneOf(int16_t t, std::initializer_list<int16_t> list)
{
    for (int16_t x : list)
        if (x == t)
            return true;
    return false;
}

// Column size as the octet-length rule takes it: wide text counts 2 bytes
// per character, held at the largest size a description reports.
int64_t OctetSizeOf(const ColDesc *col)
{
    const uint32_t size = col->columnSize;
    return IsOneOf(static_cast<int16_t>(col->sqlType), {-8, -9, -10}) ? CD_SizeDoubled(size) : size;
}

int16_t RawType(const ColDesc *col) { return static_cast<int16_t>(col->sqlType); }

// The SQL type as the application's ODBC version names it: an ODBC 3
// application sees the date, time and timestamp types as 91, 92 and 93.
int16_t SqlType(const DescReadCtx &c, const ColDesc *col)
{
    const int16_t t = RawType(col);
    return c.odbc3 && t >= SQL_DATE && t <= SQL_TIMESTAMP ? static_cast<int16_t>(t + 82) : t;
}

// LENGTH of a binding: a column binding counts its buffer less the
// terminator, a parameter binding its octet size.
uint64_t BindingLength(const DescReadCtx &c)
{
    int16_t t = c.b.cType;
    int64_t half = t == -8 || t == -9 ? c.b.bufferLength / 2 : c.b.bufferLength;
    int64_t a = c.d->kind == DK_ARD ? c.b.bufferLength - 1 : c.b.octetSize;
    return DescLengthRule(t, a, half - 1);
}

// The text of a type-information column for an SQL type (intervals as 10).
int TypeInfoText(DescReadCtx &c, int column, int16_t type, DescValue *v)
{
    if (type >= 101 && type <= 113)
        type = 10;
    int err = DescStmtTypeInfoText(c.s, column, type, v->buf);
    if (err != 0)
        return err;
    return Text(v, v->buf);
}

// An integer override of the statement for (field, column n).
bool IntOverride(DescReadCtx &c, int attr, int32_t *out)
{
    const char *text = nullptr;
    return DescStmtOverride(c.s, attr, static_cast<uint16_t>(c.rec), out, &text) && !text;
}

bool TextOverride(DescReadCtx &c, int attr, const char **out)
{
    int32_t n = 0;
    *out = nullptr;
    return DescStmtOverride(c.s, attr, static_cast<uint16_t>(c.rec), &n, out) && *out;
}

// ---- what a result column's or parameter's description gives a field ----

typedef int64_t (*ColRule)(const DescReadCtx &c, const ColDesc *d);

int64_t ConciseOf(const DescReadCtx &c, const ColDesc *d) { return SqlType(c, d); }
int64_t TypeOf(const DescReadCtx &c, const ColDesc *d) { return DescVerboseType(SqlType(c, d)); }
int64_t LengthOf(const DescReadCtx &c, const ColDesc *d)
{
    return static_cast<int64_t>(DescLengthRule(SqlType(c, d), d->columnSize, d->columnSize));
}
int64_t PrecisionOf(const DescReadCtx &c, const ColDesc *d)
{
    return DescPrecisionRule(SqlType(c, d), d->columnSize, d->decimalDigits);
}
int64_t ScaleOf(const DescReadCtx &, const ColDesc *d)
{
    return IsOneOf(RawType(d), {SQL_NUMERIC, SQL_DECIMAL}) ? d->decimalDigits : 0;
}
int64_t IntervalCodeOf(const DescReadCtx &c, const ColDesc *d) { return DescIntervalCode(SqlType(c, d)); }
int64_t NullableOf(const DescReadCtx &, const ColDesc *d) { return d->attrFlags & CD_NULLABLE_MASK; }
int64_t UnnamedOf(const DescReadCtx &, const ColDesc *d) { return d->name[0] ? SQL_NAMED : SQL_UNNAMED; }
int64_t OctetLengthOf(const DescReadCtx &c, const ColDesc *d)
{
    return DescOctetLengthRule(SqlType(c, d), OctetSizeOf(d));
}
// The display size the back end describes; its column size when it gives none.
int64_t DisplaySizeOf(const DescReadCtx &, const ColDesc *d)
{
    return d->displaySize ? d->displaySize : d->columnSize;
}
int64_t UnsignedOf(const DescReadCtx &c, const ColDesc *d) { return DescUnsignedRule(SqlType(c, d)); }
int64_t FixedPrecScaleOf(const DescReadCtx &, const ColDesc *d)
{
    return IsOneOf(RawType(d), {2, 3, 4, 5, -5, -6}) && d->decimalDigits != 0 ? 1 : 0;
}
int64_t RadixOf(const DescReadCtx &c, const ColDesc *d) { return DescRadixRule(SqlType(c, d)); }

// A number field of an IRD record: `bookmark` for record 0, else what the
// rule gives for the result column (ERR_INVALID_DESCRIPTOR_INDEX when there is none).
int IrdNum(DescReadCtx &c, DescValue *v, int64_t bookmark, ColRule rule)
{
    if (c.rec == 0)
        return Num(v, bookmark);
    COLUMN_OR_INDEX(c);
    return Num(v, rule(c, c.col));
}

// A number field of an IPD record: what the rule gives for the parameter's
// description, else what `own` reads from the record.
int IpdNum(DescReadCtx &c, DescValue *v, ColRule rule, DescGetFn own)
{
    return c.param ? Num(v, rule(c, c.param)) : own(c, v);
}

} // namespace

// ---- header readers ----

int GH_OwnArraySize(DescReadCtx &c, DescValue *v) { return Num(v, static_cast<int64_t>(c.d->arraySize)); }
int GH_RowsetSize(DescReadCtx &c, DescValue *v) { return Num(v, c.s->cursor.rowsetSize); }
int GH_ParamsetSize(DescReadCtx &c, DescValue *v) { return Num(v, static_cast<int64_t>(c.s->paramsetSize)); }
int GH_ArrayStatusPtr(DescReadCtx &c, DescValue *v) { return Ptr(v, c.d->arrayStatusPtr); }
int GH_BindOffsetPtr(DescReadCtx &c, DescValue *v) { return Ptr(v, c.d->bindOffsetPtr); }
int GH_OwnBindType(DescReadCtx &c, DescValue *v) { return Num(v, c.d->bindType); }
int GH_StmtBindType(DescReadCtx &c, DescValue *v) { return Num(v, c.s->bindType); }
int GH_RowsFetchedPtr(DescReadCtx &c, DescValue *v) { return Ptr(v, DescStmtRowsFetchedPtr(c.s)); }
int GH_ParamsProcessedPtr(DescReadCtx &c, DescValue *v) { return Ptr(v, DescStmtParamsProcessedPtr(c.s)); }
int GH_RecCount(DescReadCtx &c, DescValue *v) { return Num(v, DescRecCount(c.d)); }
int GH_AllocType(DescReadCtx &c, DescValue *v) { return Num(v, c.d->allocType); }

int GH_ResultCols(DescReadCtx &c, DescValue *v)
{
    uint16_t n = 0;
    int err = DescStmtNumResultCols(c.s, &n);
    return err ? err : Num(v, n);
}

// ---- record readers ----

int GR_OwnConcise(DescReadCtx &c, DescValue *v) { return OwnNum(c, v, &DescRec::conciseType); }
int GR_AppConcise(DescReadCtx &c, DescValue *v) { return c.bound ? Num(v, c.b.cType) : GR_OwnConcise(c, v); }
int GR_IrdConcise(DescReadCtx &c, DescValue *v) { return IrdNum(c, v, SQL_CHAR, ConciseOf); }
int GR_IpdConcise(DescReadCtx &c, DescValue *v) { return IpdNum(c, v, ConciseOf, GR_OwnConcise); }

int GR_OwnType(DescReadCtx &c, DescValue *v) { return OwnNum(c, v, &DescRec::type); }
int GR_AppType(DescReadCtx &c, DescValue *v) { return c.bound ? Num(v, DescVerboseType(c.b.cType)) : GR_OwnType(c, v); }
int GR_IrdType(DescReadCtx &c, DescValue *v) { return IrdNum(c, v, SQL_CHAR, TypeOf); }
int GR_IpdType(DescReadCtx &c, DescValue *v) { return IpdNum(c, v, TypeOf, GR_OwnType); }

int GR_OwnLength(DescReadCtx &c, DescValue *v)
{
    OWN_OR_GENERAL(c);
    return Num(v, static_cast<uint32_t>(c.own->length));
}
int GR_AppLength(DescReadCtx &c, DescValue *v)
{
    return c.bound ? Num(v, static_cast<int64_t>(BindingLength(c))) : GR_OwnLength(c, v);
}
int GR_IrdLength(DescReadCtx &c, DescValue *v) { return IrdNum(c, v, 8, LengthOf); }
int GR_IpdLength(DescReadCtx &c, DescValue *v) { return IpdNum(c, v, LengthOf, GR_OwnLength); }

int GR_OwnOctetLengthPtr(DescReadCtx &c, DescValue *v) { return OwnPtr(c, v, &DescRec::octetLengthPtr); }
int GR_AppOctetLengthPtr(DescReadCtx &c, DescValue *v)
{
    if (c.bound)
        return Ptr(v, c.b.octetLengthPtr);
    return c.own ? Ptr(v, c.own->octetLengthPtr) : DG_NOTHING;
}

int GR_OwnPrecision(DescReadCtx &c, DescValue *v) { return OwnNum(c, v, &DescRec::precision); }
int GR_IrdPrecision(DescReadCtx &c, DescValue *v) { return IrdNum(c, v, 0, PrecisionOf); }
int GR_IpdPrecision(DescReadCtx &c, DescValue *v)
{
    if (c.param)
        return Num(v, PrecisionOf(c, c.param));
    return c.own ? Num(v, c.own->precision) : ERR_INVALID_DESCRIPTOR_INDEX;
}

int GR_OwnScale(DescReadCtx &c, DescValue *v) { return OwnNum(c, v, &DescRec::scale); }
int GR_IrdScale(DescReadCtx &c, DescValue *v) { return IrdNum(c, v, 0, ScaleOf); }
int GR_IpdScale(DescReadCtx &c, DescValue *v) { return IpdNum(c, v, ScaleOf, GR_OwnScale); }

int GR_OwnIntervalCode(DescReadCtx &c, DescValue *v) { return OwnNum(c, v, &DescRec::datetimeIntervalCode); }
int GR_AppIntervalCode(DescReadCtx &c, DescValue *v)
{
    return c.bound ? Num(v, DescIntervalCode(c.b.cType)) : GR_OwnIntervalCode(c, v);
}
int GR_IrdIntervalCode(DescReadCtx &c, DescValue *v) { return IrdNum(c, v, 0, IntervalCodeOf); }
int GR_IpdIntervalCode(DescReadCtx &c, DescValue *v) { return IpdNum(c, v, IntervalCodeOf, GR_OwnIntervalCode); }

int GR_IrdNullable(DescReadCtx &c, DescValue *v) { return IrdNum(c, v, SQL_NO_NULLS, NullableOf); }
int GR_One(DescReadCtx &, DescValue *v) { return Num(v, 1); }

int GR_OwnIndicatorPtr(DescReadCtx &c, DescValue *v) { return OwnPtr(c, v, &DescRec::indicatorPtr); }
int GR_AppIndicatorPtr(DescReadCtx &c, DescValue *v)
{
    return c.bound ? Ptr(v, c.b.indicatorPtr) : GR_OwnIndicatorPtr(c, v);
}

int GR_OwnDataPtr(DescReadCtx &c, DescValue *v) { return OwnPtr(c, v, &DescRec::dataPtr); }
// An implicit ARD or APD binds through the statement: no binding, no data.
int GR_AppDataPtr(DescReadCtx &c, DescValue *v) { return Ptr(v, c.bound ? c.b.data : nullptr); }

int GR_IrdName(DescReadCtx &c, DescValue *v)
{
    if (c.rec == 0)
        return Text(v, "BOOKMARK");
    COLUMN_OR_INDEX(c);
    return Text(v, c.col->name);
}
int GR_OwnName(DescReadCtx &c, DescValue *v)
{
    OWN_OR_GENERAL(c);
    return Text(v, c.own->name);
}

int GR_IrdUnnamed(DescReadCtx &c, DescValue *v) { return IrdNum(c, v, SQL_NAMED, UnnamedOf); }
int GR_OwnUnnamed(DescReadCtx &c, DescValue *v) { return OwnNum(c, v, &DescRec::unnamed); }

int GR_OwnOctetLength(DescReadCtx &c, DescValue *v) { return OwnNum(c, v, &DescRec::octetLength); }
int GR_AppOctetLength(DescReadCtx &c, DescValue *v)
{
    return c.bound ? Num(v, DescOctetLengthRule(c.b.cType, c.b.bufferLength)) : GR_OwnOctetLength(c, v);
}
int GR_IrdOctetLength(DescReadCtx &c, DescValue *v) { return IrdNum(c, v, 8, OctetLengthOf); }
int GR_IpdOctetLength(DescReadCtx &c, DescValue *v)
{
    if (c.param)
        return Num(v, OctetLengthOf(c, c.param));
    return c.own ? Num(v, c.own->octetLength) : ERR_INVALID_DESCRIPTOR_INDEX;
}

int GR_IrdDisplaySize(DescReadCtx &c, DescValue *v) { return IrdNum(c, v, 8, DisplaySizeOf); }

int GR_IrdUnsigned(DescReadCtx &c, DescValue *v) { return IrdNum(c, v, 1, UnsignedOf); }
int GR_IpdUnsigned(DescReadCtx &c, DescValue *v)
{
    return Num(v, c.param ? UnsignedOf(c, c.param) : 0);
}

int GR_IrdFixedPrecScale(DescReadCtx &c, DescValue *v) { return IrdNum(c, v, 0, FixedPrecScaleOf); }
int GR_IpdFixedPrecScale(DescReadCtx &c, DescValue *v)
{
    if (c.param)
        return Num(v, FixedPrecScaleOf(c, c.param));
    return c.own ? Num(v, 0) : ERR_DESCRIPTOR_TYPE_RANGE;
}

int GR_IrdUpdatable(DescReadCtx &c, DescValue *v)
{
    if (c.rec == 0)
        return Num(v, SQL_ATTR_READONLY);
    int32_t o = 0;
    if (IntOverride(c, SQL_DESC_UPDATABLE, &o))
        return Num(v, o);
    COLUMN_OR_INDEX(c);
    uint32_t bits = (c.col->attrFlags >> CD_UPDATABLE_SHIFT) & 0xF;
    return Num(v, bits ? bits - 1 : SQL_ATTR_READWRITE_UNKNOWN);
}

int GR_IrdAutoUnique(DescReadCtx &c, DescValue *v)
{
    int32_t o = 0;
    if (c.rec != 0 && IntOverride(c, SQL_DESC_AUTO_UNIQUE_VALUE, &o))
        return Num(v, o);
    if (c.rec != 0)
        COLUMN_OR_INDEX(c);
    return Num(v, 0);
}

int GR_IrdCaseSensitive(DescReadCtx &c, DescValue *v)
{
    if (c.rec == 0)
        return Num(v, 1);
    int32_t o = 0;
    if (IntOverride(c, SQL_DESC_CASE_SENSITIVE, &o))
        return Num(v, o);
    COLUMN_OR_INDEX(c);
    return Num(v, IsOneOf(SqlType(c, c.col), {-10, -9, -8, -1, 1, 12}) ? 1 : 0);
}

int GR_IrdSearchable(DescReadCtx &c, DescValue *v)
{
    if (c.rec == 0)
        return Num(v, SQL_PRED_NONE);
    int32_t o = 0;
    if (IntOverride(c, SQL_DESC_SEARCHABLE, &o))
        return Num(v, o);
    COLUMN_OR_INDEX(c);
    const int16_t t = SqlType(c, c.col);
    if (IsOneOf(t, {-9, -8, 1, 12}))
        return Num(v, SQL_PRED_SEARCHABLE);
    if (IsOneOf(t, {-4, -3, -2}))
        return Num(v, SQL_PRED_NONE);
    return Num(v, SQL_PRED_BASIC);
}

int GR_IrdTypeName(DescReadCtx &c, DescValue *v)
{
    if (c.rec == 0)
        return TypeInfoText(c, 1, SQL_CHAR, v);
    const char *text = nullptr;
    if (TextOverride(c, SQL_DESC_TYPE_NAME, &text))
        return Text(v, text);
    COLUMN_OR_INDEX(c);
    return TypeInfoText(c, 1, SqlType(c, c.col), v);
}
int GR_IpdTypeName(DescReadCtx &c, DescValue *v)
{
    if (c.param)
        return TypeInfoText(c, 1, SqlType(c, c.param), v);
    OWN_OR_GENERAL(c);
    return TypeInfoText(c, 1, c.own->conciseType, v);
}

int GR_IrdTableName(DescReadCtx &c, DescValue *v)
{
    COLUMN_OR_INDEX(c);
    return Text(v, c.col->table);
}
int GR_IrdSchemaName(DescReadCtx &c, DescValue *v)
{
    COLUMN_OR_INDEX(c);
    return Text(v, c.col->schema);
}
int GR_IrdCatalogName(DescReadCtx &c, DescValue *v)
{
    COLUMN_OR_INDEX(c);
    return Text(v, c.col->catalog);
}

const char *LabelOrName(const ColDesc *d) { return d->label && d->label[0] ? d->label : d->name; }

int GR_IrdLabel(DescReadCtx &c, DescValue *v)
{
    if (c.rec == 0)
        return Text(v, "BOOKMARK");
    COLUMN_OR_INDEX(c);
    return Text(v, LabelOrName(c.col));
}
int GR_IrdBaseColumnName(DescReadCtx &c, DescValue *v)
{
    if (c.rec == 0)
        return Text(v, "BOOKMARK");
    int32_t expr = 0;
    if (IntOverride(c, 1055, &expr) && expr == 1)
        return Text(v, "");
    COLUMN_OR_INDEX(c);
    // The cursor library found the column the label stands for.
    if (c.col->attrFlags & CD_BASE_COLUMN)
        return Text(v, c.col->name);
    return Text(v, LabelOrName(c.col));
}

int GR_OwnIntervalPrecision(DescReadCtx &c, DescValue *v)
{
    return Num(v, c.own ? c.own->datetimeIntervalPrecision : 0);
}

int Literal(DescReadCtx &c, int16_t field, int column, DescValue *v)
{
    if (c.rec == 0)
        return Text(v, "");
    const char *text = nullptr;
    if (TextOverride(c, field, &text))
        return Text(v, text);
    COLUMN_OR_INDEX(c);
    // The wide text types quote their literals as their narrow twins do; the
    // type information lists only those.
    int16_t type = SqlType(c, c.col);
    if (type == SQL_WCHAR || type == SQL_WVARCHAR || type == SQL_WLONGVARCHAR)
        type = type == SQL_WCHAR ? SQL_CHAR : type == SQL_WVARCHAR ? SQL_VARCHAR : SQL_LONGVARCHAR;
    return TypeInfoText(c, column, type, v);
}
int GR_IrdLiteralPrefix(DescReadCtx &c, DescValue *v) { return Literal(c, SQL_DESC_LITERAL_PREFIX, 4, v); }
int GR_IrdLiteralSuffix(DescReadCtx &c, DescValue *v) { return Literal(c, SQL_DESC_LITERAL_SUFFIX, 5, v); }
int GR_EmptyText(DescReadCtx &, DescValue *v) { return Text(v, ""); }

int GR_OwnRadix(DescReadCtx &c, DescValue *v) { return OwnNum(c, v, &DescRec::numPrecRadix); }
int GR_AppRadix(DescReadCtx &c, DescValue *v) { return c.bound ? Num(v, DescRadixRule(c.b.cType)) : GR_OwnRadix(c, v); }
int GR_IrdRadix(DescReadCtx &c, DescValue *v) { return IrdNum(c, v, 0, RadixOf); }
int GR_IpdRadix(DescReadCtx &c, DescValue *v)
{
    if (c.param)
        return Num(v, RadixOf(c, c.param));
    return c.own ? Num(v, c.own->numPrecRadix) : ERR_INVALID_DESCRIPTOR_INDEX;
}

// The bound parameter's direction; an unbound parameter answers what the
// IPD record holds.
int GR_IpdParameterType(DescReadCtx &c, DescValue *v)
{
    DescBinding b{};
    if (c.s && DescStmtFindBinding(c.s, false, static_cast<uint16_t>(c.rec), &b))
        return Num(v, b.paramType);
    return Num(v, c.own ? c.own->parameterType : 0);
}

int GR_IrdRowver(DescReadCtx &c, DescValue *v)
{
    if (c.rec == 0)
        return Num(v, 0);
    int32_t o = 0;
    if (IntOverride(c, SQL_DESC_ROWVER, &o))
        return Num(v, o);
    COLUMN_OR_INDEX(c);
    return Num(v, 0);
}

// ---- the entry ----

const char *DescKindName(const Desc *d)
{
    if (d->allocType == DA_EXPLICIT)
        return "USER";
    switch (d->kind) {
    case DK_IRD: return "IRD";
    case DK_ARD: return "ARD";
    case DK_IPD: return "IPD";
    case DK_APD: return "APD";
    default: return "UNKNOWN_DESC";
    }
}

namespace {

SQLRETURN Fail(Desc *d, int err)
{
    d->diag.errNum = err;
    return SQL_ERROR;
}

// Writes a read value by the field's writer.
SQLRETURN Put(Desc *d, const DescField &f, const DescValue &v, const TextOut &out)
{
    int err = 0;
    switch (f.writer) {
    case DW_POINTER: err = DescPutPointer(v.ptr, out); break;
    case DW_TEXT: err = TXT_Put(v.text, out); break;
    default: err = DescPutNumber(f.writer, v.num, out); break;
    }
    return TXT_Post(&d->diag, err);
}

// Fills what record n is made of for the kind of D.
void LoadRecord(DescReadCtx &c)
{
    c.own = DescGetRec(c.d, c.rec);
    if (!c.s)
        return;
    const uint16_t n = static_cast<uint16_t>(c.rec);
    switch (c.d->kind) {
    case DK_ARD: c.bound = DescStmtFindBinding(c.s, true, n, &c.b); break;
    case DK_APD: c.bound = DescStmtFindBinding(c.s, false, n, &c.b); break;
    case DK_IRD: {
        int err = 0;
        c.col = DescStmtColDesc(c.s, n, &err);
        break;
    }
    case DK_IPD: c.param = DescStmtParamDesc(c.s, n); break;
    default: break;
    }
}

SQLRETURN GetField(Desc *d, int16_t rec, int16_t field, const TextOut &out)
{
    if (TR_IsOn())
        TR_Printf("Descriptor Type: %s", DescKindName(d));
    const DescField *f = DescFindField(field);
    if (!f)
        return Fail(d, ERR_FUNCTION_NOT_SUPPORTED);
    const int kind = d->allocType == DA_EXPLICIT ? static_cast<int>(DK_USER) : d->kind;
    if (kind < DK_USER || kind > DK_APD)
        return Fail(d, ERR_DESCRIPTOR_TYPE_RANGE);
    DescReadCtx c{};
    c.d = d;
    c.s = d->allocType == DA_IMPLICIT ? d->stmt : nullptr;
    c.rec = rec;
    c.odbc3 = HandleOdbcVersion(d, HK_DESC) == 3;
    if (!f->header) {
        if (rec < 0 || (rec == 0 && (kind == DK_IPD || kind == DK_APD)))
            return Fail(d, ERR_INVALID_DESCRIPTOR_INDEX);
        uint16_t count = d->count;
        if (kind == DK_IRD) {
            int err = c.s ? DescStmtNumResultCols(c.s, &count) : ERR_GENERAL;
            if (err)
                return Fail(d, err);
        }
        if (rec > count)
            return SQL_NO_DATA;
    }
    DescGetFn get = f->get[kind];
    if (!get)
        return Fail(d, ERR_DESCRIPTOR_TYPE_RANGE);
    if (!f->header)
        LoadRecord(c);
    DescValue v{};
    int r = get(c, &v);
    if (r == DG_NOTHING) {
        TXT_PutLen(out, 0);
        return SQL_SUCCESS;
    }
    if (r != 0)
        return Fail(d, r);
    return Put(d, *f, v, out);
}

} // namespace

SQLRETURN DescGetField(Desc *d, int16_t rec, int16_t field, const TextOut &out)
{
    return GetField(d, rec, field, out);
}

SQLRETURN DS_GetDescField(Desc *d, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                          SQLINTEGER bufLen, SQLINTEGER *outLen, int width)
{
    return GetField(d, rec, field, TXT_Out(width, TC_BYTES, value, bufLen, outLen));
}

// Whole descriptor records and whole descriptors: SQLGetDescRec,
// SQLSetDescRec and SQLCopyDesc, each a fixed sequence of field reads and
// writes so that every field rule applies step by step.
#include <cstring>

#include "odbc/desc_field.h"
#include "odbc/desc_internal.h"
#include "odbc/desc_rec.h"
#include "odbc/dispatch.h"
#include "odbc/contract/handle_table.h"
#include "odbc/handles.h"
#include "odbc/startup.h"
#include "odbc/trace.h"

namespace {

bool IsAppDesc(const Desc *d)
{
    return d->allocType == DA_EXPLICIT || d->kind == DK_ARD || d->kind == DK_APD;
}

bool IsRowDesc(const Desc *d)
{
    return d->allocType == DA_IMPLICIT && (d->kind == DK_ARD || d->kind == DK_IRD);
}

bool IsIrd(const Desc *d) { return d->allocType == DA_IMPLICIT && d->kind == DK_IRD; }

// Reads a 16-bit field.
SQLRETURN GetSmall(Desc *d, int16_t rec, int16_t field, SQLSMALLINT *out)
{
    SQLSMALLINT v = 0;
    SQLRETURN rc = DescGetField(d, rec, field, TXT_Out('A', TC_BYTES, &v, sizeof v));
    if (rc == SQL_SUCCESS && out)
        *out = v;
    return rc;
}

} // namespace

SQLRETURN DS_GetDescRec(Desc *d, SQLSMALLINT rec, SQLPOINTER name, SQLSMALLINT bufLen,
                        SQLSMALLINT *nameLen, SQLSMALLINT *type, SQLSMALLINT *subType,
                        SQLLEN *length, SQLSMALLINT *precision, SQLSMALLINT *scale,
                        SQLSMALLINT *nullable, int width)
{
    if (bufLen < 0) {
        d->diag.errNum = ERR_INVALID_LENGTH;
        return SQL_ERROR;
    }
    SQLRETURN rc;
    if (type || subType) {
        SQLSMALLINT t = 0;
        if ((rc = GetSmall(d, rec, SQL_DESC_TYPE, &t)) != SQL_SUCCESS)
            return rc;
        if (type)
            *type = t;
        SQLSMALLINT code = 0;
        if ((t == SQL_DATETIME || t == SQL_INTERVAL) &&
            (rc = GetSmall(d, rec, SQL_DESC_DATETIME_INTERVAL_CODE, &code)) != SQL_SUCCESS)
            return rc;
        if (subType)
            *subType = code;
    }
    SQLLEN octets = 0;
    if ((rc = DescGetField(d, rec, SQL_DESC_OCTET_LENGTH, TXT_Out('A', TC_BYTES, &octets, sizeof octets))) !=
        SQL_SUCCESS)
        return rc;
    if (length)
        *length = octets;
    if ((rc = GetSmall(d, rec, SQL_DESC_PRECISION, precision)) != SQL_SUCCESS ||
        (rc = GetSmall(d, rec, SQL_DESC_SCALE, scale)) != SQL_SUCCESS)
        return rc;
    // The wide form counts the name's buffer and length in characters.
    const TextOut nameOut = TXT_Out(width, TC_CHARS, name, bufLen, nameLen);
    // An application record has no name: it reads as empty (a Driver
    // Manager converting the name of a wide call needs a defined text), and
    // its nullability is left alone.
    if (IsAppDesc(d)) {
        TXT_Put("", nameOut);
        return SQL_SUCCESS;
    }
    if ((rc = GetSmall(d, rec, SQL_DESC_NULLABLE, nullable)) != SQL_SUCCESS)
        return rc;
    return DescGetField(d, rec, SQL_DESC_NAME, nameOut);
}

SQLRETURN DS_SetDescRec(Desc *d, SQLSMALLINT rec, SQLSMALLINT type, SQLSMALLINT subType,
                        SQLLEN length, SQLSMALLINT precision, SQLSMALLINT scale, SQLPOINTER data,
                        SQLLEN *strLen, SQLLEN *ind)
{
    if (IsIrd(d)) {
        d->diag.errNum = ERR_MODIFY_IRD;
        return SQL_ERROR;
    }
    // Every argument is the record's new value: zeros and NULL pointers too.
    auto set = [&](int16_t field, uint64_t v) {
        return DescSetFieldEx(d, rec, field, v, 0, 'A', DSF_EXACT);
    };
    SQLRETURN rc = set(SQL_DESC_TYPE, static_cast<uint16_t>(type));
    if (rc == SQL_SUCCESS && (type == SQL_DATETIME || type == SQL_INTERVAL))
        rc = set(SQL_DESC_DATETIME_INTERVAL_CODE, static_cast<uint16_t>(subType));
    if (rc == SQL_SUCCESS)
        rc = set(SQL_DESC_OCTET_LENGTH, static_cast<uint64_t>(length));
    if (rc == SQL_SUCCESS)
        rc = set(SQL_DESC_PRECISION, static_cast<uint16_t>(precision));
    if (rc == SQL_SUCCESS)
        rc = set(SQL_DESC_SCALE, static_cast<uint16_t>(scale));
    // The length and indicator pointers first, so that binding the data
    // pointer uses them.
    if (rc == SQL_SUCCESS && IsAppDesc(d))
        rc = set(SQL_DESC_OCTET_LENGTH_PTR, reinterpret_cast<uint64_t>(strLen));
    if (rc == SQL_SUCCESS && IsAppDesc(d))
        rc = set(SQL_DESC_INDICATOR_PTR, reinterpret_cast<uint64_t>(ind));
    if (rc == SQL_SUCCESS)
        rc = set(SQL_DESC_DATA_PTR, reinterpret_cast<uint64_t>(data));
    return rc;
}

// ---- SQLCopyDesc ----

namespace {

// When a copy step reads (of the source) and writes (of the target).
enum CopyWhen : uint8_t {
    CW_ALWAYS,
    CW_APP,        // the descriptor is an application descriptor
    CW_NOT_APP,
    CW_IMPL_PARAM, // neither an application nor a row descriptor (an IPD)
};

struct CopyStep {
    int16_t field;
    CopyWhen when;
};

const CopyStep kHeaderSteps[] = {
    {SQL_DESC_ARRAY_SIZE, CW_APP},         {SQL_DESC_ARRAY_STATUS_PTR, CW_ALWAYS},
    {SQL_DESC_BIND_OFFSET_PTR, CW_APP},    {SQL_DESC_BIND_TYPE, CW_APP},
    {SQL_DESC_COUNT, CW_ALWAYS},           {SQL_DESC_ROWS_PROCESSED_PTR, CW_NOT_APP},
};

// DATA_PTR last: binding on the target uses the fields copied before it.
const CopyStep kRecordSteps[] = {
    {SQL_DESC_TYPE, CW_ALWAYS},
    {SQL_DESC_CONCISE_TYPE, CW_ALWAYS},
    {SQL_DESC_DATETIME_INTERVAL_CODE, CW_ALWAYS},
    {SQL_DESC_DATETIME_INTERVAL_PRECISION, CW_ALWAYS},
    {SQL_DESC_INDICATOR_PTR, CW_APP},
    {SQL_DESC_LENGTH, CW_ALWAYS},
    {SQL_DESC_NAME, CW_NOT_APP},
    {SQL_DESC_NUM_PREC_RADIX, CW_ALWAYS},
    {SQL_DESC_OCTET_LENGTH, CW_ALWAYS},
    {SQL_DESC_OCTET_LENGTH_PTR, CW_APP},
    {SQL_DESC_PARAMETER_TYPE, CW_IMPL_PARAM},
    {SQL_DESC_PRECISION, CW_ALWAYS},
    {SQL_DESC_SCALE, CW_ALWAYS},
    {SQL_DESC_UNNAMED, CW_IMPL_PARAM},
    {SQL_DESC_DATA_PTR, CW_APP},
};

bool Holds(CopyWhen when, const Desc *d)
{
    switch (when) {
    case CW_APP: return IsAppDesc(d);
    case CW_NOT_APP: return !IsAppDesc(d);
    case CW_IMPL_PARAM: return !IsAppDesc(d) && !IsRowDesc(d);
    default: return true;
    }
}

// One copy step: a field of S read as it is and written to T.  A failed
// read reports S's error on T.
SQLRETURN CopyField(Desc *s, Desc *t, int16_t rec, const CopyStep &step)
{
    if (!Holds(step.when, t))
        return SQL_SUCCESS;
    uint64_t value = 0;
    int64_t len = 0;
    char name[256] = {};
    if (Holds(step.when, s)) {
        const bool text = step.field == SQL_DESC_NAME;
        const int32_t kept = s->diag.errNum;
        SQLRETURN rc = text ? DescGetField(s, rec, step.field, TXT_Out('A', TC_BYTES, name, 255, &len))
                            : DescGetField(s, rec, step.field, TXT_Out('A', TC_BYTES, &value, 8, &len));
        if (rc != SQL_SUCCESS) {
            t->diag.errNum = s->diag.errNum;
            s->diag.errNum = kept;
            return rc;
        }
        if (text)
            value = reinterpret_cast<uint64_t>(name);
    }
    return DescSetFieldEx(t, rec, step.field, value, len, 'A', DSF_EXACT);
}

bool BookmarksOn(const Desc *d) { return d->stmt && d->stmt->cursor.useBookmarks != 0; }

SQLRETURN Copy(Desc *s, Desc *t)
{
    if (TR_IsOn()) {
        TR_Printf("Source Descriptor Type: %s", DescKindName(s));
        TR_Printf("Source Descriptor Type: %s", DescKindName(t));
    }
    if (IsIrd(t)) {
        t->diag.errNum = ERR_MODIFY_IRD;
        return SQL_ERROR;
    }
    if (IsIrd(s) && (!s->stmt || (!(s->stmt->flags & ST_PREPARED) && s->stmt->state != STMT_EXECUTED))) {
        t->diag.errNum = ERR_FUNCTION_SEQUENCE;
        return SQL_ERROR;
    }
    SQLRETURN rc;
    for (const CopyStep &step : kHeaderSteps)
        if ((rc = CopyField(s, t, 0, step)) != SQL_SUCCESS)
            return rc;
    const int first = IsRowDesc(s) && IsRowDesc(t) && BookmarksOn(s) && BookmarksOn(t) ? 0 : 1;
    for (int rec = first; rec <= t->count; ++rec)
        for (const CopyStep &step : kRecordSteps)
            if ((rc = CopyField(s, t, static_cast<int16_t>(rec), step)) != SQL_SUCCESS)
                return rc;
    return SQL_SUCCESS;
}

} // namespace

SQLRETURN DS_CopyDesc(Desc *src, SQLHDESC target)
{
    // The target passed no dispatcher: find it, and when it belongs to
    // another connection mark that connection busy and take its call lock.
    Conn *other = nullptr;
    Desc *t = nullptr;
    {
        PL_CsGuard api(API_Lock());
        t = static_cast<Desc *>(HT_Lookup(&DescTable, HT_HandleIn(target)));
        if (!t || t->typeTag != DESC_TAG)
            return SQL_INVALID_HANDLE;
        ERR_Clear(&t->diag);
        Conn *tc = DescConn(t);
        if (tc && tc != DescConn(src)) {
            if (tc->typeTag != CONN_TAG)
                return SQL_INVALID_HANDLE;
            if (tc->busy.load()) {
                t->diag.errNum = ERR_FUNCTION_SEQUENCE;
                return SQL_ERROR;
            }
            tc->busy.store(t);
            other = tc;
        }
    }
    if (!other)
        return Copy(src, t);
    SQLRETURN rc;
    {
        PL_CallLockGuard held(other->callLock);
        rc = Copy(src, t);
    }
    other->busy.store(nullptr);
    return rc;
}

// The ODBC 3 statement attributes (SQLSetStmtAttr, SQLGetStmtAttr): a table
// of the attributes, each an option, a descriptor header field or its own.
#include "odbc/stmtattr.h"

#include <cstdint>

#include "odbc/conn.h"
#include "odbc/desc_field.h"
#include "odbc/contract/handle_table.h"
#include "odbc/handles.h"
#include "odbc/contract/krs_options.h"
#include "odbc/startup.h"
#include "odbc/contract/textout.h"

namespace {

SQLRETURN Fail(Stmt *s, int number)
{
    s->diag.errNum = number;
    return SQL_ERROR;
}

uint64_t Signed64(int32_t v) { return static_cast<uint64_t>(static_cast<int64_t>(v)); }

enum HeaderDesc : uint8_t { HD_NONE, HD_ARD, HD_APD, HD_IRD, HD_IPD };

// Writes an attribute as its descriptor's header field, so that every
// statement using that descriptor (an explicit ARD or APD may serve several)
// follows; the descriptor layer's diagnostic goes to S.
SQLRETURN SetHeader(Stmt *s, HeaderDesc which, int16_t field, SQLULEN value)
{
    Desc *d = which == HD_ARD ? s->ard : which == HD_APD ? s->apd : which == HD_IRD ? s->ird : s->ipd;
    if (!d)
        return Fail(s, ERR_GENERAL);
    return DescSetFieldForStmt(s, d, field, value, 0, 'A');
}

// ---- the ODBC 3 attributes ----

// Makes a descriptor (or, for NULL, the statement's own) the statement's ARD
// or APD: HY024 for a handle that is no descriptor or another connection's,
// HY017 for another statement's implicit one.
SQLRETURN SetAppDesc(Stmt *s, SQLINTEGER attr, SQLULEN v)
{
    const void *value = reinterpret_cast<const void *>(static_cast<uintptr_t>(v));
    const bool row = attr == SQL_ATTR_APP_ROW_DESC;
    Desc *implicit = row ? s->ardImplicit : s->apdImplicit;
    Desc *&current = row ? s->ard : s->apd;
    Desc *d = implicit;
    if (value) {
        d = static_cast<Desc *>(HT_Lookup(&DescTable, HT_HandleIn(const_cast<void *>(value))));
        if (!d || d->typeTag != DESC_TAG)
            return Fail(s, ERR_INVALID_ATTRIBUTE_VALUE);
        if (d->allocType == DA_IMPLICIT) {
            if (d != implicit)
                return Fail(s, ERR_AUTO_DESCRIPTOR_USE);
        } else if (d->conn != s->conn) {
            return Fail(s, ERR_INVALID_ATTRIBUTE_VALUE);
        }
    }
    // The statement follows the descriptor it now uses (NULL: its own again).
    current = d;
    int rc = row ? StmtApplyARD(s, d) : StmtApplyAPD(s, d);
    return rc == 0 ? SQL_SUCCESS : Fail(s, rc);
}

SQLRETURN SetScrollable(Stmt *s, SQLINTEGER, SQLULEN value)
{
    if (value == SQL_NONSCROLLABLE)
        return StmtSetOption(s, SQL_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY);
    if (value != SQL_SCROLLABLE)
        return Fail(s, ERR_INVALID_ATTRIBUTE_VALUE);
    // Without the cursor library's scrolling a scrollable cursor is an
    // optional feature this connection does not have.
    if (!ConnScrollCursorsBuilt(s->conn))
        return Fail(s, ERR_NOT_CAPABLE);
    if (s->cursor.cursorType != SQL_CURSOR_FORWARD_ONLY)
        return SQL_SUCCESS;
    // A keyset-driven cursor is asked for; a statement whose rows have no
    // keys gets a static one when it is prepared.
    SQLRETURN rc = StmtSetOption(s, SQL_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN);
    if (rc != SQL_SUCCESS_WITH_INFO)
        return rc;
    if (s->cursor.cursorType == SQL_CURSOR_FORWARD_ONLY)
        return SQL_SUCCESS_WITH_INFO;
    s->diag.errNum = ERR_NONE;
    return SQL_SUCCESS;
}

SQLRETURN SetSensitivity(Stmt *s, SQLINTEGER, SQLULEN value)
{
    switch (value) {
    case SQL_UNSPECIFIED:
        return SQL_SUCCESS;
    case SQL_INSENSITIVE: {
        SQLRETURN rc = StmtSetOption(s, SQL_CONCURRENCY, SQL_CONCUR_READ_ONLY);
        if (rc != SQL_SUCCESS)
            return rc;
        rc = StmtSetOption(s, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC);
        if (rc == SQL_SUCCESS_WITH_INFO)
            return SQL_SUCCESS;
        return rc;
    }
    case SQL_SENSITIVE: {
        if (s->cursor.concurrency != SQL_CONCUR_READ_ONLY)
            return SQL_SUCCESS;
        SQLRETURN rc = StmtSetOption(s, SQL_CONCURRENCY, SQL_CONCUR_VALUES);
        if (rc != SQL_SUCCESS_WITH_INFO)
            return rc;
        if (s->cursor.concurrency == SQL_CONCUR_READ_ONLY)
            return SQL_SUCCESS_WITH_INFO;
        s->diag.errNum = ERR_NONE;
        return SQL_SUCCESS;
    }
    default:
        return Fail(s, ERR_INVALID_ATTRIBUTE_VALUE);
    }
}

// Parameters are never described automatically: asking for it is 01S02.
SQLRETURN SetAutoIpd(Stmt *s, SQLINTEGER, SQLULEN value)
{
    if (!value)
        return SQL_SUCCESS;
    s->diag.errNum = ERR_OPTION_VALUE_CHANGED;
    return SQL_SUCCESS_WITH_INFO;
}

SQLRETURN SetFetchBookmarkPtr(Stmt *s, SQLINTEGER, SQLULEN value)
{
    s->fetchBookmarkPtr = reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(value));
    return SQL_SUCCESS;
}

SQLRETURN SetMetadataId(Stmt *s, SQLINTEGER, SQLULEN value)
{
    if (value != SQL_FALSE && value != SQL_TRUE)
        return Fail(s, ERR_INVALID_ATTRIBUTE_VALUE);
    s->metadataId = value;
    return SQL_SUCCESS;
}

// A value an ODBC 3 attribute answers with (every one of them succeeds).
typedef uint64_t (*AttrValue)(const Stmt *s, SQLINTEGER attr);
typedef SQLRETURN (*AttrSet)(Stmt *s, SQLINTEGER attr, SQLULEN value);

uint64_t P(const void *p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }

uint64_t DescHandle(const Stmt *s, SQLINTEGER attr)
{
    const Desc *d = attr == SQL_ATTR_APP_ROW_DESC   ? s->ard
                    : attr == SQL_ATTR_APP_PARAM_DESC ? s->apd
                    : attr == SQL_ATTR_IMP_ROW_DESC   ? s->ird
                                                      : s->ipd;
    return P(d ? HT_HandleOut(static_cast<uint32_t>(d->handle)) : nullptr);
}

// How SQLSetStmtAttr and SQLGetStmtAttr reach an attribute.
enum AttrRoad : uint8_t {
    AR_NONE,    // they do not: HY092
    AR_OPTION,  // as the ODBC 2 option of the same id
    AR_HEADER,  // (set) as a header field of one of the statement's descriptors
    AR_OWN,     // by the row's own setter or value
};

// What a header attribute does with a value before it is written.
enum SetRule : uint8_t {
    SR_ANY,
    SR_NOT_ZERO,     // 0 is HY024
};

struct AttrRow {
    SQLINTEGER attr;
    AttrRoad set;
    AttrRoad get;
    uint8_t width;     // bytes of the value SQLGetStmtAttr writes
    bool handle;       // a descriptor handle: the length reads SQL_IS_POINTER
    AttrSet ownSet;    // AR_OWN
    AttrValue value;   // AR_OWN
    HeaderDesc desc;   // AR_HEADER: the descriptor, its field and the rule
    int16_t field;
    SetRule rule;
};

constexpr AttrRow ViaOption(SQLINTEGER attr, AttrRoad set = AR_OPTION, uint8_t width = 8)
{
    return AttrRow{attr, set, AR_OPTION, width, false, nullptr, nullptr, HD_NONE, 0, SR_ANY};
}
constexpr AttrRow Own(SQLINTEGER attr, AttrSet set, AttrValue value, uint8_t width = 8, bool handle = false)
{
    return AttrRow{attr, set ? AR_OWN : AR_NONE, AR_OWN, width, handle, set, value, HD_NONE, 0, SR_ANY};
}
// Read as the row's value (or the ODBC 2 option when it has none).
constexpr AttrRow Header(SQLINTEGER attr, HeaderDesc desc, int16_t field, AttrValue value, SetRule rule = SR_ANY)
{
    return AttrRow{attr, AR_HEADER, value ? AR_OWN : AR_OPTION, 8, false, nullptr, value, desc, field, rule};
}

const AttrRow kAttrs[] = {
    ViaOption(SQL_ATTR_QUERY_TIMEOUT),
    ViaOption(SQL_ATTR_MAX_ROWS),
    ViaOption(SQL_ATTR_NOSCAN),
    ViaOption(SQL_ATTR_MAX_LENGTH),
    ViaOption(SQL_ATTR_ASYNC_ENABLE),
    Header(SQL_ATTR_ROW_BIND_TYPE, HD_ARD, SQL_DESC_BIND_TYPE, nullptr),
    ViaOption(SQL_ATTR_CURSOR_TYPE),
    ViaOption(SQL_ATTR_CONCURRENCY),
    ViaOption(SQL_ATTR_KEYSET_SIZE),
    ViaOption(SQL_ROWSET_SIZE),
    ViaOption(SQL_ATTR_SIMULATE_CURSOR),
    ViaOption(SQL_ATTR_RETRIEVE_DATA),
    ViaOption(SQL_ATTR_USE_BOOKMARKS),
    ViaOption(SQL_GET_BOOKMARK, AR_NONE, 4),  // a bookmark stays 32 bits
    ViaOption(SQL_ATTR_ROW_NUMBER),
    Own(SQL_ATTR_ENABLE_AUTO_IPD, SetAutoIpd, [](const Stmt *, SQLINTEGER) -> uint64_t { return SQL_FALSE; }, 4),
    Own(SQL_ATTR_FETCH_BOOKMARK_PTR, SetFetchBookmarkPtr,
        [](const Stmt *s, SQLINTEGER) { return P(s->fetchBookmarkPtr); }),
    Header(SQL_ATTR_PARAM_BIND_OFFSET_PTR, HD_APD, SQL_DESC_BIND_OFFSET_PTR,
           [](const Stmt *s, SQLINTEGER) { return P(s->apd->bindOffsetPtr); }),
    Header(SQL_ATTR_PARAM_BIND_TYPE, HD_APD, SQL_DESC_BIND_TYPE,
           [](const Stmt *s, SQLINTEGER) -> uint64_t { return s->apd->bindType; }),
    Header(SQL_ATTR_PARAM_OPERATION_PTR, HD_APD, SQL_DESC_ARRAY_STATUS_PTR,
           [](const Stmt *s, SQLINTEGER) { return P(s->apd->arrayStatusPtr); }),
    Header(SQL_ATTR_PARAM_STATUS_PTR, HD_IPD, SQL_DESC_ARRAY_STATUS_PTR,
           [](const Stmt *s, SQLINTEGER) { return P(s->ipd->arrayStatusPtr); }),
    Header(SQL_ATTR_PARAMS_PROCESSED_PTR, HD_IPD, SQL_DESC_ROWS_PROCESSED_PTR,
           [](const Stmt *s, SQLINTEGER) { return P(s->paramsProcessedPtr); }),
    Header(SQL_ATTR_PARAMSET_SIZE, HD_APD, SQL_DESC_ARRAY_SIZE,
           [](const Stmt *s, SQLINTEGER) -> uint64_t { return s->paramsetSize; }, SR_NOT_ZERO),
    Header(SQL_ATTR_ROW_BIND_OFFSET_PTR, HD_ARD, SQL_DESC_BIND_OFFSET_PTR,
           [](const Stmt *s, SQLINTEGER) { return P(s->ard->bindOffsetPtr); }),
    Header(SQL_ATTR_ROW_OPERATION_PTR, HD_ARD, SQL_DESC_ARRAY_STATUS_PTR,
           [](const Stmt *s, SQLINTEGER) { return P(s->ard->arrayStatusPtr); }),
    Header(SQL_ATTR_ROW_STATUS_PTR, HD_IRD, SQL_DESC_ARRAY_STATUS_PTR,
           [](const Stmt *s, SQLINTEGER) { return P(s->ird->arrayStatusPtr); }),
    Header(SQL_ATTR_ROWS_FETCHED_PTR, HD_IRD, SQL_DESC_ROWS_PROCESSED_PTR,
           [](const Stmt *s, SQLINTEGER) { return P(s->rowsFetchedPtr); }),
    Header(SQL_ATTR_ROW_ARRAY_SIZE, HD_ARD, SQL_DESC_ARRAY_SIZE,
           [](const Stmt *s, SQLINTEGER) { return Signed64(s->cursor.rowsetSize); }, SR_NOT_ZERO),
    ViaOption(KRS_STMT_BACKEND_VALUE, AR_NONE),
    ViaOption(KRS_STMT_LAST_SERIAL, AR_NONE),
    ViaOption(KRS_STMT_KEY_INFO),
    ViaOption(KRS_STMT_ADD_KEYS),
    Own(SQL_ATTR_APP_ROW_DESC, SetAppDesc, DescHandle, 8, true),
    Own(SQL_ATTR_APP_PARAM_DESC, SetAppDesc, DescHandle, 8, true),
    Own(SQL_ATTR_IMP_ROW_DESC, nullptr, DescHandle, 8, true),
    Own(SQL_ATTR_IMP_PARAM_DESC, nullptr, DescHandle, 8, true),
    Own(SQL_ATTR_METADATA_ID, SetMetadataId, [](const Stmt *s, SQLINTEGER) -> uint64_t { return s->metadataId; }),
    Own(SQL_ATTR_CURSOR_SCROLLABLE, SetScrollable,
        [](const Stmt *s, SQLINTEGER) -> uint64_t {
            return s->cursor.cursorType != SQL_CURSOR_FORWARD_ONLY ? SQL_SCROLLABLE : SQL_NONSCROLLABLE;
        }),
    Own(SQL_ATTR_CURSOR_SENSITIVITY, SetSensitivity,
        [](const Stmt *s, SQLINTEGER) -> uint64_t {
            return s->cursor.concurrency == SQL_CONCUR_READ_ONLY ? SQL_INSENSITIVE : SQL_SENSITIVE;
        }),
};

const AttrRow *FindAttr(SQLINTEGER attr)
{
    for (const AttrRow &r : kAttrs)
        if (r.attr == attr)
            return &r;
    return nullptr;
}

SQLRETURN SetHeaderAttr(Stmt *s, const AttrRow &r, SQLULEN value)
{
    if (value == 0 && r.rule == SR_NOT_ZERO)
        return Fail(s, ERR_INVALID_ATTRIBUTE_VALUE);
    return SetHeader(s, r.desc, r.field, value);
}

} // namespace

SQLRETURN ST_SetStmtAttr(Stmt *s, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER, int)
{
    const SQLULEN v = static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(value));
    const AttrRow *r = FindAttr(attr);
    switch (r ? r->set : AR_NONE) {
    case AR_OPTION: return StmtSetOption(s, static_cast<SQLUSMALLINT>(attr), v);
    case AR_HEADER: return SetHeaderAttr(s, *r, v);
    case AR_OWN: return r->ownSet(s, attr, v);
    default: return Fail(s, ERR_OPTION_TYPE_RANGE);
    }
}

SQLRETURN ST_GetStmtAttr(Stmt *s, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER, SQLINTEGER *outLen, int)
{
    const AttrRow *r = FindAttr(attr);
    if (!r || r->get == AR_NONE)
        return Fail(s, ERR_OPTION_TYPE_RANGE);
    uint64_t v = 0;
    if (r->get == AR_OWN) {
        v = r->value(s, attr);
    } else {
        int width = 4;
        SQLRETURN rc = StmtOptionValue(s, static_cast<SQLUSMALLINT>(attr), &v, &width);
        if (rc != SQL_SUCCESS)
            return rc;
        // Every option value is an SQLULEN here; a 32-bit one is not sign-extended.
        if (width != 8)
            v = static_cast<uint32_t>(v);
    }
    TXT_PutNumber(value, v, r->width);
    if (r->handle && outLen)
        *outLen = SQL_IS_POINTER;
    return SQL_SUCCESS;
}


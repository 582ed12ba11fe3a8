// Statement options negotiated with the back end, and the ODBC 3 statement
// attributes.
#include "odbc/stmtattr.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "odbc/contract/err_report.h"
#include "odbc/desc_field.h"
#include "odbc/dispatch.h"
#include "odbc/contract/drv_items.h"
#include "odbc/contract/handle_table.h"
#include "odbc/handles.h"
#include "odbc/contract/krs_options.h"
#include "odbc/startup.h"

namespace {

constexpr int32_t kMinMaxLength = 8192;

SQLRETURN Fail(Stmt *s, int number)
{
    s->diag.errNum = number;
    return SQL_ERROR;
}

SQLRETURN Changed(Stmt *s)
{
    s->diag.errNum = ERR_OPTION_VALUE_CHANGED;
    return SQL_SUCCESS_WITH_INFO;
}

// A 64-bit option value as the 32-bit integer the back end takes: values
// beyond its range are held at its largest, never wrapped.
int32_t Narrow(SQLULEN value)
{
    return value > static_cast<SQLULEN>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(value);
}

// Queues the back end's messages of the statement on it.
void FetchErrors(Stmt *s)
{
    const DrvBinding *b = s->binding;
    if (!b || !b->ops || !b->ops->GetErrors)
        return;
    ErrReport report{};
    if (b->ops->GetErrors(static_cast<int>(s->drvStmt), &report) != 0)
        return;
    for (uint32_t i = 0; i < report.count; ++i) {
        if (report.texts && report.texts[i]) {
            ERR_Push(&s->diag, report.texts[i], report.firstNative);
            std::free(report.texts[i]);
        }
    }
    std::free(report.texts);
}

// DRV_SetOption of an integer statement option; the answer becomes the
// statement's error number and *v may come back changed.
int Send(Stmt *s, SQLUSMALLINT option, int32_t *v)
{
    const DrvBinding *b = s->binding;
    int r = b && b->ops && b->ops->SetOption
                ? b->ops->SetOption(static_cast<int>(s->drvStmt), DrvInt(DrvStmtOption(option)), v)
                : ERR_NOT_CAPABLE;
    s->diag.errNum = r;
    return r;
}

SQLRETURN SendFailed(Stmt *s, int r)
{
    s->diag.errNum = r;
    FetchErrors(s);
    return SQL_ERROR;
}

// Asks the back end for an integer option's current value.
int Ask(Stmt *s, SQLUSMALLINT option, int32_t *out)
{
    const DrvBinding *b = s->binding;
    if (!b || !b->ops || !b->ops->GetInfo)
        return ERR_FUNCTION_NOT_SUPPORTED;
    int16_t len = 0;
    return b->ops->GetInfo(static_cast<int>(s->drvStmt), DrvInt(DrvStmtOption(option)), out, sizeof *out, &len);
}

// Reads back the value the back end stored instead of the one asked for.
// SQL_SUCCESS_WITH_INFO (01S02) with the value kept, or SQL_ERROR when the
// value cannot be read.
SQLRETURN ReRead(Stmt *s, SQLUSMALLINT option, int32_t *out)
{
    int32_t v = 0;
    int r = Ask(s, option, &v);
    if (r != 0)
        return Fail(s, r == ERR_FUNCTION_NOT_SUPPORTED ? ERR_OPTION_TYPE_RANGE : r);
    *out = v;
    return Changed(s);
}

bool HoldingBlock(const Stmt *s)
{
    return s->cursor.cursorType == SQL_CURSOR_FORWARD_ONLY && s->cursor.rowsetSize == 1 &&
           s->state == STMT_EXECUTED && s->currentRow > 0 && s->currentRow < s->result.rowsUsed;
}

// ---- the options ----

SQLRETURN SetQueryTimeout(Stmt *s, SQLULEN value)
{
    int32_t v = static_cast<SQLLEN>(value) < 0 ? 0 : Narrow(value);
    int r = Send(s, SQL_QUERY_TIMEOUT, &v);
    if (r == 0) {
        s->queryTimeout = static_cast<uint32_t>(v);
        return SQL_SUCCESS;
    }
    if (r == ERR_OPTION_VALUE_CHANGED || r == ERR_NOT_CAPABLE) {
        s->queryTimeout = 0;
        return Changed(s);
    }
    return SendFailed(s, r);
}

SQLRETURN SetMaxRows(Stmt *s, SQLULEN value)
{
    int32_t v = Narrow(value);
    int r = Send(s, SQL_MAX_ROWS, &v);
    if (r == 0) {
        s->maxRows = value;
        return SQL_SUCCESS;
    }
    if (r == ERR_OPTION_VALUE_CHANGED) {
        int32_t back = 0;
        SQLRETURN rc = ReRead(s, SQL_MAX_ROWS, &back);
        if (rc != SQL_ERROR)
            s->maxRows = static_cast<SQLULEN>(static_cast<SQLLEN>(back));
        return rc;
    }
    return SendFailed(s, r);
}

SQLRETURN SetNoScan(Stmt *s, SQLULEN value)
{
    int32_t v = value ? 1 : 0;
    int r = Send(s, SQL_NOSCAN, &v);
    if (r != 0)
        return SendFailed(s, r);
    s->noScan = static_cast<uint32_t>(v);
    return SQL_SUCCESS;
}

SQLRETURN SetMaxLength(Stmt *s, SQLULEN value)
{
    if (!s->conn->cn_stmtOptCap) {
        if (value == 0)
            return SQL_SUCCESS;
        s->maxLength = 0;
        return Changed(s);
    }
    if (s->state == STMT_EXECUTED)
        return Fail(s, ERR_OPERATION_INVALID_NOW);
    const int32_t wanted = Narrow(value);
    int32_t v = wanted != 0 && wanted < kMinMaxLength ? kMinMaxLength : wanted;
    const int32_t sent = v;
    int r = Send(s, SQL_MAX_LENGTH, &v);
    if (r == ERR_OPTION_VALUE_CHANGED) {
        int32_t back = 0;
        SQLRETURN rc = ReRead(s, SQL_MAX_LENGTH, &back);
        if (rc != SQL_ERROR)
            s->maxLength = static_cast<uint32_t>(back);
        return rc;
    }
    if (r != 0)
        return SendFailed(s, r);
    if (v != sent) {
        s->maxLength = static_cast<uint32_t>(v);
        return Changed(s);
    }
    // The value is kept at its full width when the back end took it.
    s->maxLength = sent == wanted ? value : static_cast<SQLULEN>(sent);
    return sent == wanted ? SQL_SUCCESS : Changed(s);
}

int32_t *CursorField(Stmt *s, SQLUSMALLINT option)
{
    CursorState &cs = s->cursor;
    switch (option) {
    case SQL_CURSOR_TYPE: return &cs.cursorType;
    case SQL_CONCURRENCY: return &cs.concurrency;
    case SQL_KEYSET_SIZE: return &cs.keysetSize;
    case SQL_ROWSET_SIZE: return &cs.rowsetSize;
    case SQL_SIMULATE_CURSOR: return &cs.simulateCursor;
    case SQL_RETRIEVE_DATA: return &cs.retrieveData;
    case SQL_USE_BOOKMARKS: return &cs.useBookmarks;
    default: return nullptr;
    }
}

// Cursor type, concurrency, keyset size, simulate cursor and retrieve data:
// a refusal is S1092; a changed value is read back (not for retrieve data).
SQLRETURN SetCursorOption(Stmt *s, SQLUSMALLINT option, SQLULEN value)
{
    // The statement engine serves forward-only cursors only: any other
    // cursor type is taken as forward-only and reported as changed (01S02).
    if (option == SQL_CURSOR_TYPE && value != SQL_CURSOR_FORWARD_ONLY) {
        SQLRETURN rc = SetCursorOption(s, option, SQL_CURSOR_FORWARD_ONLY);
        s->cursor.reqCursorType = Narrow(value);
        return SQL_SUCCEEDED(rc) ? Changed(s) : rc;
    }
    int32_t v = Narrow(value);
    int r = Send(s, option, &v);
    int32_t *field = CursorField(s, option);
    if (r == 0) {
        *field = v;
        if (option == SQL_CURSOR_TYPE)
            s->cursor.reqCursorType = Narrow(value);
        if (option == SQL_CONCURRENCY)
            s->cursor.reqConcurrency = Narrow(value);
        return SQL_SUCCESS;
    }
    if (r == ERR_OPTION_VALUE_CHANGED && option != SQL_RETRIEVE_DATA)
        return ReRead(s, option, field);
    return Fail(s, ERR_OPTION_TYPE_RANGE);
}

SQLRETURN SetRowsetSize(Stmt *s, SQLULEN value)
{
    int32_t v = value == 0 ? 1 : Narrow(value);
    if (HoldingBlock(s))
        return Changed(s);
    int r = Send(s, SQL_ROWSET_SIZE, &v);
    SQLRETURN rc = SQL_SUCCESS;
    if (r == ERR_OPTION_VALUE_CHANGED) {
        rc = ReRead(s, SQL_ROWSET_SIZE, &v);
        if (rc == SQL_ERROR)
            return rc;
    } else if (r != 0) {
        return SendFailed(s, r);
    }
    s->cursor.prevRowsetSize = s->cursor.rowsetSize;
    s->cursor.rowsetSize = v;
    s->cursor.flags |= 0x1;
    return rc;
}

// KRS_STMT_CURSOR_MODE: sent, kept when the back end takes it, read back when
// it changed it (01S02); a refusal is S1092.
SQLRETURN SetCursorMode(Stmt *s, SQLULEN value)
{
    int32_t v = Narrow(value);
    int r = Send(s, KRS_STMT_CURSOR_MODE, &v);
    if (r == 0) {
        s->cursor.cursorMode = v;
        return SQL_SUCCESS;
    }
    if (r == ERR_OPTION_VALUE_CHANGED)
        return ReRead(s, KRS_STMT_CURSOR_MODE, &s->cursor.cursorMode);
    return Fail(s, ERR_OPTION_TYPE_RANGE);
}

// KRS_STMT_KEPT_A or KRS_STMT_KEPT_B: sent, kept when the back end takes it; a
// refusal is S1092, another failure the back end's number.
SQLRETURN SetKeptOption(Stmt *s, SQLUSMALLINT option, SQLULEN value)
{
    int32_t v = Narrow(value);
    int r = Send(s, option, &v);
    if (r != 0)
        return Fail(s, r == ERR_NOT_CAPABLE ? ERR_OPTION_TYPE_RANGE : r);
    (option == KRS_STMT_KEPT_A ? s->cursor.keptOptionA : s->cursor.keptOptionB) = v;
    return SQL_SUCCESS;
}

// The integer options handed to the back end as they come and not kept
// (KRS_STMT_PASSED_TEXT is the one text among them).
const SQLUSMALLINT kPassedOptions[] = {1225, 1227, 1228, 1229, 1250, 1251, 1260,
                                       1261, 1264, 1265, 1268, 1276, 1277, 1278};

bool IsPassedOption(SQLUSMALLINT option)
{
    for (SQLUSMALLINT o : kPassedOptions)
        if (o == option)
            return true;
    return false;
}

SQLRETURN SetPassedOption(Stmt *s, SQLUSMALLINT option, SQLULEN value)
{
    int r;
    if (option == KRS_STMT_PASSED_TEXT) {
        const DrvBinding *b = s->binding;
        r = b && b->ops && b->ops->SetOption
                ? b->ops->SetOption(static_cast<int>(s->drvStmt), DrvText(DrvStmtOption(option)),
                                    reinterpret_cast<void *>(value))
                : ERR_NOT_CAPABLE;
        s->diag.errNum = r;
    } else {
        int32_t v = Narrow(value);
        r = Send(s, option, &v);
    }
    if (r == 0)
        return SQL_SUCCESS;
    return Fail(s, r == ERR_NOT_CAPABLE ? ERR_OPTION_TYPE_RANGE : r);
}

// ---- reading ----

// An option the back end is asked for while it just changed it (error 75),
// else the kept value.
SQLRETURN KeptOrAsked(Stmt *s, SQLUSMALLINT option, int32_t kept, int32_t *out)
{
    if (s->diag.errNum != ERR_OPTION_VALUE_CHANGED) {
        *out = kept;
        return SQL_SUCCESS;
    }
    int r = Ask(s, option, out);
    return r == 0 ? SQL_SUCCESS : Fail(s, ERR_OPTION_TYPE_RANGE);
}

SQLRETURN AskAlways(Stmt *s, SQLUSMALLINT option, int32_t *out)
{
    int r = Ask(s, option, out);
    return r == 0 ? SQL_SUCCESS : Fail(s, ERR_OPTION_TYPE_RANGE);
}

uint64_t Signed64(int32_t v) { return static_cast<uint64_t>(static_cast<int64_t>(v)); }

// ---- descriptors assigned as the application descriptors ----

SQLRETURN SetAppDesc(Stmt *s, SQLINTEGER attr, SQLPOINTER value)
{
    const bool row = attr == SQL_ATTR_APP_ROW_DESC;
    Desc *implicit = row ? s->ardImplicit : s->apdImplicit;
    Desc *&current = row ? s->ard : s->apd;
    Desc *d = implicit;
    if (value) {
        d = static_cast<Desc *>(HT_Lookup(&DescTable, HT_HandleIn(value)));
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

SQLRETURN SetScrollable(Stmt *s, SQLULEN value)
{
    if (value == SQL_NONSCROLLABLE)
        return StmtSetOption(s, SQL_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY);
    if (value != SQL_SCROLLABLE)
        return Fail(s, ERR_INVALID_ATTRIBUTE_VALUE);
    // Cursors are forward-only (see SetCursorOption): a scrollable one is an
    // optional feature this driver does not have.
    return Fail(s, ERR_NOT_CAPABLE);
}

SQLRETURN SetSensitivity(Stmt *s, SQLULEN value)
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

void PutValue(SQLPOINTER buf, uint64_t v, int width)
{
    if (!buf)
        return;
    if (width == 8) {
        SQLULEN x = static_cast<SQLULEN>(v);
        std::memcpy(buf, &x, sizeof x);
    } else {
        SQLUINTEGER x = static_cast<SQLUINTEGER>(v);
        std::memcpy(buf, &x, sizeof x);
    }
}

void PutPointer(SQLPOINTER buf, const void *p)
{
    if (buf)
        std::memcpy(buf, &p, sizeof p);
}

// The statement attributes kept in a descriptor header: which of the
// statement's current descriptors holds each, and as which field.
enum HeaderDesc : uint8_t { HD_ARD, HD_APD, HD_IRD, HD_IPD };
struct HeaderAttr {
    SQLINTEGER attr;
    HeaderDesc desc;
    int16_t field;
};
constexpr HeaderAttr kHeaderAttrs[] = {
    {SQL_ATTR_ROW_BIND_TYPE, HD_ARD, SQL_DESC_BIND_TYPE},
    {SQL_ATTR_ROW_BIND_OFFSET_PTR, HD_ARD, SQL_DESC_BIND_OFFSET_PTR},
    {SQL_ATTR_ROW_OPERATION_PTR, HD_ARD, SQL_DESC_ARRAY_STATUS_PTR},
    {SQL_ATTR_ROW_ARRAY_SIZE, HD_ARD, SQL_DESC_ARRAY_SIZE},
    {SQL_ATTR_ROW_STATUS_PTR, HD_IRD, SQL_DESC_ARRAY_STATUS_PTR},
    {SQL_ATTR_ROWS_FETCHED_PTR, HD_IRD, SQL_DESC_ROWS_PROCESSED_PTR},
    {SQL_ATTR_PARAM_BIND_TYPE, HD_APD, SQL_DESC_BIND_TYPE},
    {SQL_ATTR_PARAM_BIND_OFFSET_PTR, HD_APD, SQL_DESC_BIND_OFFSET_PTR},
    {SQL_ATTR_PARAM_OPERATION_PTR, HD_APD, SQL_DESC_ARRAY_STATUS_PTR},
    {SQL_ATTR_PARAMSET_SIZE, HD_APD, SQL_DESC_ARRAY_SIZE},
    {SQL_ATTR_PARAM_STATUS_PTR, HD_IPD, SQL_DESC_ARRAY_STATUS_PTR},
    {SQL_ATTR_PARAMS_PROCESSED_PTR, HD_IPD, SQL_DESC_ROWS_PROCESSED_PTR},
};

// Writes the attribute as its descriptor's header field, so that every
// statement using that descriptor (an explicit ARD or APD may serve several)
// follows; the descriptor layer's diagnostic goes to S.
SQLRETURN HeaderField(Stmt *s, SQLINTEGER attr, SQLULEN value)
{
    for (const HeaderAttr &h : kHeaderAttrs) {
        if (h.attr != attr)
            continue;
        Desc *d = h.desc == HD_ARD ? s->ard : h.desc == HD_APD ? s->apd : h.desc == HD_IRD ? s->ird : s->ipd;
        if (!d)
            return Fail(s, ERR_GENERAL);
        return DescSetFieldForStmt(s, d, h.field, value, 0, 'A');
    }
    return Fail(s, ERR_OPTION_TYPE_RANGE);
}

} // namespace

SQLRETURN StmtSetOption(Stmt *s, SQLUSMALLINT option, SQLULEN value)
{
    switch (option) {
    case SQL_QUERY_TIMEOUT: return SetQueryTimeout(s, value);
    case SQL_MAX_ROWS: return SetMaxRows(s, value);
    case SQL_NOSCAN: return SetNoScan(s, value);
    case SQL_MAX_LENGTH: return SetMaxLength(s, value);
    case SQL_ASYNC_ENABLE:
        s->asyncEnable = value ? 1 : 0;
        return SQL_SUCCESS;
    case SQL_BIND_TYPE:
        if (s->ard)
            return HeaderField(s, SQL_ATTR_ROW_BIND_TYPE, value);
        s->bindType = static_cast<uint32_t>(value);
        return SQL_SUCCESS;
    case SQL_CURSOR_TYPE:
    case SQL_CONCURRENCY:
    case SQL_KEYSET_SIZE:
    case SQL_SIMULATE_CURSOR:
    case SQL_RETRIEVE_DATA:
        return SetCursorOption(s, option, value);
    case SQL_ROWSET_SIZE: return SetRowsetSize(s, value);
    case SQL_USE_BOOKMARKS:
        s->cursor.useBookmarks = value ? 1 : 0;
        return SQL_SUCCESS;
    case KRS_STMT_CURSOR_MODE: return SetCursorMode(s, value);
    case KRS_STMT_KEPT_A:
    case KRS_STMT_KEPT_B: return SetKeptOption(s, option, value);
    default:
        if (option == KRS_STMT_PASSED_TEXT || IsPassedOption(option))
            return SetPassedOption(s, option, value);
        return Fail(s, ERR_OPTION_TYPE_RANGE);
    }
}

void StmtApplyConnDefaults(Stmt *s)
{
    const CursorState &cs = s->cursor;
    // Option, the statement's value, the value a new back-end statement has.
    const struct {
        SQLUSMALLINT option;
        SQLULEN value;
        SQLULEN fresh;
    } options[] = {
        {SQL_QUERY_TIMEOUT, s->queryTimeout, 0},
        {SQL_MAX_ROWS, static_cast<SQLULEN>(s->maxRows), 0},
        {SQL_NOSCAN, s->noScan, 0},
        {SQL_MAX_LENGTH, static_cast<SQLULEN>(s->maxLength), 0},
        {SQL_CURSOR_TYPE, static_cast<SQLULEN>(cs.cursorType), SQL_CURSOR_FORWARD_ONLY},
        {SQL_CONCURRENCY, static_cast<SQLULEN>(cs.concurrency), SQL_CONCUR_READ_ONLY},
        {SQL_KEYSET_SIZE, static_cast<SQLULEN>(cs.keysetSize), 0},
        {SQL_ROWSET_SIZE, static_cast<SQLULEN>(cs.rowsetSize), 1},
        {SQL_SIMULATE_CURSOR, static_cast<SQLULEN>(cs.simulateCursor), 0},
        {SQL_RETRIEVE_DATA, static_cast<SQLULEN>(cs.retrieveData), SQL_RD_ON},
    };
    for (const auto &o : options)
        if (o.value != o.fresh)
            StmtSetOption(s, o.option, o.value);
    s->diag.errNum = ERR_NONE;
    ERR_FreeMsgs(&s->diag);
}

SQLRETURN StmtOptionValue(Stmt *s, SQLUSMALLINT option, uint64_t *value, int *width)
{
    int32_t v = 0;
    SQLRETURN rc = SQL_SUCCESS;
    *width = 4;
    switch (option) {
    case SQL_QUERY_TIMEOUT: *value = s->queryTimeout; return SQL_SUCCESS;
    case SQL_MAX_ROWS:
        *width = 8;
        rc = AskAlways(s, SQL_MAX_ROWS, &v);
        *value = Signed64(v);
        return rc;
    case SQL_NOSCAN:
        rc = AskAlways(s, SQL_NOSCAN, &v);
        *value = static_cast<uint32_t>(v);
        return rc;
    case SQL_MAX_LENGTH:
        *width = 8;
        if (s->diag.errNum != ERR_OPTION_VALUE_CHANGED) {
            *value = s->maxLength;
            return SQL_SUCCESS;
        }
        rc = AskAlways(s, SQL_MAX_LENGTH, &v);
        *value = static_cast<uint32_t>(v);
        return rc;
    case SQL_ASYNC_ENABLE: *value = s->asyncEnable ? 1 : 0; return SQL_SUCCESS;
    case SQL_BIND_TYPE: *value = s->bindType; return SQL_SUCCESS;
    case SQL_CURSOR_TYPE:
    case SQL_CONCURRENCY:
    case SQL_ROWSET_SIZE:
    case SQL_SIMULATE_CURSOR:
        rc = KeptOrAsked(s, option, *CursorField(s, option), &v);
        *value = static_cast<uint32_t>(v);
        return rc;
    case SQL_KEYSET_SIZE:
        *width = 8;
        rc = KeptOrAsked(s, option, s->cursor.keysetSize, &v);
        *value = Signed64(v);
        return rc;
    case SQL_RETRIEVE_DATA: *value = static_cast<uint32_t>(s->cursor.retrieveData); return SQL_SUCCESS;
    case SQL_USE_BOOKMARKS: *value = static_cast<uint32_t>(s->cursor.useBookmarks); return SQL_SUCCESS;
    case SQL_GET_BOOKMARK:
        if (s->state != STMT_EXECUTED)
            return Fail(s, ERR_INVALID_CURSOR_STATE);
        if (!s->cursor.useBookmarks)
            return Fail(s, ERR_OPERATION_INVALID_NOW);
        return Fail(s, ERR_NOT_CAPABLE);
    case SQL_ROW_NUMBER:
        *width = 8;
        if (s->state != STMT_EXECUTED)
            return Fail(s, ERR_INVALID_CURSOR_STATE);
        *value = s->rowCounter;
        return SQL_SUCCESS;
    case KRS_STMT_BACKEND_VALUE:
    case KRS_STMT_LAST_SERIAL:
        rc = AskAlways(s, option, &v);
        *value = static_cast<uint32_t>(v);
        return rc;
    case KRS_STMT_CURSOR_MODE: *value = static_cast<uint32_t>(s->cursor.cursorMode); return SQL_SUCCESS;
    case KRS_STMT_KEPT_A: *value = static_cast<uint32_t>(s->cursor.keptOptionA); return SQL_SUCCESS;
    case KRS_STMT_KEPT_B: *value = static_cast<uint32_t>(s->cursor.keptOptionB); return SQL_SUCCESS;
    default:
        if (IsPassedOption(option)) {
            int r = Ask(s, option, &v);
            if (r != 0)
                return Fail(s, r == ERR_FUNCTION_NOT_SUPPORTED ? ERR_OPTION_TYPE_RANGE : r);
            *value = static_cast<uint32_t>(v);
            return SQL_SUCCESS;
        }
        return Fail(s, ERR_OPTION_TYPE_RANGE);
    }
}

SQLRETURN StmtGetOption(Stmt *s, SQLUSMALLINT option, SQLPOINTER value)
{
    uint64_t v = 0;
    int width = 4;
    SQLRETURN rc = StmtOptionValue(s, option, &v, &width);
    if (rc == SQL_SUCCESS)
        PutValue(value, v, width);
    return rc;
}

SQLRETURN StmtSetAttr(Stmt *s, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER, int)
{
    const SQLULEN v = static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(value));
    switch (attr) {
    case SQL_ATTR_QUERY_TIMEOUT:
    case SQL_ATTR_MAX_ROWS:
    case SQL_ATTR_NOSCAN:
    case SQL_ATTR_MAX_LENGTH:
    case SQL_ATTR_ASYNC_ENABLE:
    case SQL_ATTR_CURSOR_TYPE:
    case SQL_ATTR_CONCURRENCY:
    case SQL_ATTR_KEYSET_SIZE:
    case SQL_ROWSET_SIZE:
    case SQL_ATTR_SIMULATE_CURSOR:
    case SQL_ATTR_RETRIEVE_DATA:
    case SQL_ATTR_USE_BOOKMARKS:
    case SQL_ATTR_ROW_NUMBER:
    case KRS_STMT_KEPT_A:
    case KRS_STMT_KEPT_B:
        return StmtSetOption(s, static_cast<SQLUSMALLINT>(attr), v);
    case SQL_ATTR_ROW_BIND_TYPE:
        return HeaderField(s, attr, v);
    case SQL_ATTR_ENABLE_AUTO_IPD:
        return v ? Changed(s) : SQL_SUCCESS;
    case SQL_ATTR_FETCH_BOOKMARK_PTR:
        s->fetchBookmarkPtr = value;
        return SQL_SUCCESS;
    case SQL_ATTR_PARAMSET_SIZE:
        if (v == 0)
            return Fail(s, ERR_INVALID_ATTRIBUTE_VALUE);
        return HeaderField(s, attr, v);
    case SQL_ATTR_ROW_ARRAY_SIZE:
        return HeaderField(s, attr, v == 0 ? 1 : v);
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
    case SQL_ATTR_PARAM_BIND_TYPE:
    case SQL_ATTR_PARAM_OPERATION_PTR:
    case SQL_ATTR_PARAM_STATUS_PTR:
    case SQL_ATTR_PARAMS_PROCESSED_PTR:
    case SQL_ATTR_ROW_BIND_OFFSET_PTR:
    case SQL_ATTR_ROW_OPERATION_PTR:
    case SQL_ATTR_ROW_STATUS_PTR:
    case SQL_ATTR_ROWS_FETCHED_PTR:
        return HeaderField(s, attr, v);
    case SQL_ATTR_APP_ROW_DESC:
    case SQL_ATTR_APP_PARAM_DESC:
        return SetAppDesc(s, attr, value);
    case SQL_ATTR_METADATA_ID:
        if (v != SQL_FALSE && v != SQL_TRUE)
            return Fail(s, ERR_INVALID_ATTRIBUTE_VALUE);
        s->metadataId = v;
        return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_SCROLLABLE:
        return SetScrollable(s, v);
    case SQL_ATTR_CURSOR_SENSITIVITY:
        return SetSensitivity(s, v);
    default:
        return Fail(s, ERR_OPTION_TYPE_RANGE);
    }
}

SQLRETURN ST_SetStmtOption(Stmt *s, SQLUSMALLINT option, SQLULEN value)
{
    return StmtSetOption(s, option, value);
}

SQLRETURN ST_GetStmtOption(Stmt *s, SQLUSMALLINT option, SQLPOINTER value)
{
    return StmtGetOption(s, option, value);
}

SQLRETURN ST_SetStmtAttr(Stmt *s, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len, int width)
{
    return StmtSetAttr(s, attr, value, len, width);
}

SQLRETURN ST_GetStmtAttr(Stmt *s, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER,
                         SQLINTEGER *outLen, int)
{
    uint64_t v = 0;
    int width = 8;  // every integer attribute of ODBC 3 is an SQLULEN
    switch (attr) {
    case SQL_ATTR_ENABLE_AUTO_IPD:
        PutValue(value, SQL_FALSE, 4);
        return SQL_SUCCESS;
    case SQL_ATTR_FETCH_BOOKMARK_PTR: PutPointer(value, s->fetchBookmarkPtr); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR: PutPointer(value, s->apd->bindOffsetPtr); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_TYPE: PutValue(value, s->apd->bindType, 8); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_OPERATION_PTR: PutPointer(value, s->apd->arrayStatusPtr); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_STATUS_PTR: PutPointer(value, s->ipd->arrayStatusPtr); return SQL_SUCCESS;
    case SQL_ATTR_PARAMS_PROCESSED_PTR: PutPointer(value, s->paramsProcessedPtr); return SQL_SUCCESS;
    case SQL_ATTR_PARAMSET_SIZE: PutValue(value, s->paramsetSize, 8); return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_OFFSET_PTR: PutPointer(value, s->ard->bindOffsetPtr); return SQL_SUCCESS;
    case SQL_ATTR_ROW_OPERATION_PTR: PutPointer(value, s->ard->arrayStatusPtr); return SQL_SUCCESS;
    case SQL_ATTR_ROW_STATUS_PTR: PutPointer(value, s->ird->arrayStatusPtr); return SQL_SUCCESS;
    case SQL_ATTR_ROWS_FETCHED_PTR: PutPointer(value, s->rowsFetchedPtr); return SQL_SUCCESS;
    case SQL_ATTR_ROW_ARRAY_SIZE:
        PutValue(value, Signed64(s->cursor.rowsetSize), 8);
        return SQL_SUCCESS;
    case SQL_ATTR_APP_ROW_DESC:
    case SQL_ATTR_APP_PARAM_DESC:
    case SQL_ATTR_IMP_ROW_DESC:
    case SQL_ATTR_IMP_PARAM_DESC: {
        const Desc *d = attr == SQL_ATTR_APP_ROW_DESC   ? s->ard
                        : attr == SQL_ATTR_APP_PARAM_DESC ? s->apd
                        : attr == SQL_ATTR_IMP_ROW_DESC   ? s->ird
                                                          : s->ipd;
        PutPointer(value, d ? HT_HandleOut(static_cast<uint32_t>(d->handle)) : nullptr);
        if (outLen)
            *outLen = SQL_IS_POINTER;
        return SQL_SUCCESS;
    }
    case SQL_ATTR_METADATA_ID:
        PutValue(value, s->metadataId, 8);
        return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_SCROLLABLE:
        v = s->cursor.cursorType != SQL_CURSOR_FORWARD_ONLY ? SQL_SCROLLABLE : SQL_NONSCROLLABLE;
        PutValue(value, v, 8);
        return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_SENSITIVITY:
        v = s->cursor.concurrency == SQL_CONCUR_READ_ONLY ? SQL_INSENSITIVE : SQL_SENSITIVE;
        PutValue(value, v, 8);
        return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_TYPE:
        attr = SQL_BIND_TYPE;
        break;
    default:
        break;
    }
    const bool option = (attr >= SQL_QUERY_TIMEOUT && attr <= SQL_ROW_NUMBER) || attr == KRS_STMT_BACKEND_VALUE ||
                        attr == KRS_STMT_LAST_SERIAL || attr == KRS_STMT_KEPT_A || attr == KRS_STMT_KEPT_B;
    if (!option)
        return Fail(s, ERR_OPTION_TYPE_RANGE);
    int odbc2Width = 4;
    SQLRETURN rc = StmtOptionValue(s, static_cast<SQLUSMALLINT>(attr), &v, &odbc2Width);
    if (rc != SQL_SUCCESS)
        return rc;
    // A bookmark stays 32 bits; every other option value is an SQLULEN.
    if (attr == SQL_GET_BOOKMARK)
        width = 4;
    PutValue(value, odbc2Width == 8 ? v : static_cast<uint64_t>(static_cast<uint32_t>(v)), width);
    return SQL_SUCCESS;
}

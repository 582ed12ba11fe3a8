// Statement options negotiated with the back end (SQLSetStmtOption,
// SQLGetStmtOption): a table of the options with their setters and readers.
#include "odbc/stmtattr.h"

#include <climits>
#include <cstdlib>

#include "odbc/contract/err_report.h"
#include "odbc/conn.h"
#include "odbc/desc_field.h"
#include "odbc/dispatch.h"
#include "odbc/contract/drv_items.h"
#include "odbc/handles.h"
#include "odbc/contract/krs_options.h"
#include "odbc/startup.h"
#include "odbc/contract/textout.h"

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

SQLRETURN SetQueryTimeout(Stmt *s, SQLUSMALLINT, SQLULEN value)
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

SQLRETURN SetMaxRows(Stmt *s, SQLUSMALLINT, SQLULEN value)
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

SQLRETURN SetNoScan(Stmt *s, SQLUSMALLINT, SQLULEN value)
{
    int32_t v = value ? 1 : 0;
    int r = Send(s, SQL_NOSCAN, &v);
    if (r != 0)
        return SendFailed(s, r);
    s->noScan = static_cast<uint32_t>(v);
    return SQL_SUCCESS;
}

SQLRETURN SetMaxLength(Stmt *s, SQLUSMALLINT, SQLULEN value)
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

// Where the statement keeps a cursor option or a kept driver option.
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
    case KRS_STMT_CURSOR_MODE: return &cs.cursorMode;
    case KRS_STMT_KEY_INFO: return &cs.keyInfo;
    case KRS_STMT_ADD_KEYS: return &cs.addKeys;
    default: return nullptr;
    }
}

// Cursor type, concurrency, keyset size, simulate cursor and retrieve data:
// a refusal is S1092; a changed value is read back (not for retrieve data).
SQLRETURN SetCursorOption(Stmt *s, SQLUSMALLINT option, SQLULEN value)
{
    // Static, keyset-driven (and mixed) and dynamic cursors scroll when the
    // cursor library serves the connection (a statement whose rows have no
    // keys is made static when it is prepared); without it another cursor
    // type is taken as the nearest one there is (forward-only) and reported
    // as changed (01S02).
    if (option == SQL_CURSOR_TYPE && value != SQL_CURSOR_FORWARD_ONLY) {
        const bool scrolls = ConnScrollCursorsBuilt(s->conn);
        if (!(scrolls && (value == SQL_CURSOR_STATIC || value == SQL_CURSOR_KEYSET_DRIVEN ||
                          value == SQL_CURSOR_DYNAMIC))) {
            const SQLULEN nearest = scrolls ? SQL_CURSOR_STATIC : SQL_CURSOR_FORWARD_ONLY;
            SQLRETURN rc = SetCursorOption(s, option, nearest);
            s->cursor.reqCursorType = Narrow(value);
            return SQL_SUCCEEDED(rc) ? Changed(s) : rc;
        }
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

// The rowset size: 0 is HY024; held (01S02) while a forward-only block is
// only partly handed out.
SQLRETURN SetRowsetSize(Stmt *s, SQLUSMALLINT, SQLULEN value)
{
    if (value == 0)
        return Fail(s, ERR_INVALID_ATTRIBUTE_VALUE);
    int32_t v = Narrow(value);
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
    // NEXT moves by the size of the last fetch, however often the size
    // changed since.
    if (!(s->cursor.flags & CUR_F_ROWSET_SIZE_SET))
        s->cursor.prevRowsetSize = s->cursor.rowsetSize;
    s->cursor.rowsetSize = v;
    s->cursor.flags |= CUR_F_ROWSET_SIZE_SET;
    return rc;
}

// KRS_STMT_CURSOR_MODE: sent, kept when the back end takes it, read back when
// it changed it (01S02); a refusal is S1092.
SQLRETURN SetCursorMode(Stmt *s, SQLUSMALLINT, SQLULEN value)
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

// KRS_STMT_KEY_INFO or KRS_STMT_ADD_KEYS: sent, kept when the back end takes it; a
// refusal is S1092, another failure the back end's number.
SQLRETURN SetKeptOption(Stmt *s, SQLUSMALLINT option, SQLULEN value)
{
    int32_t v = Narrow(value);
    int r = Send(s, option, &v);
    if (r != 0)
        return Fail(s, r == ERR_NOT_CAPABLE ? ERR_OPTION_TYPE_RANGE : r);
    *CursorField(s, option) = v;
    return SQL_SUCCESS;
}

// An option handed to the back end as it comes and not kept
// (KRS_STMT_PASSED_TEXT is the one text among them).
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

SQLRETURN SetAsync(Stmt *s, SQLUSMALLINT, SQLULEN value)
{
    s->asyncEnable = value ? 1 : 0;
    return SQL_SUCCESS;
}

SQLRETURN SetUseBookmarks(Stmt *s, SQLUSMALLINT, SQLULEN value)
{
    s->cursor.useBookmarks = value ? 1 : 0;
    return SQL_SUCCESS;
}

// SQL_BIND_TYPE: the ARD's bind type (SQL_ATTR_ROW_BIND_TYPE), so that every
// statement using the descriptor follows.
SQLRETURN SetBindType(Stmt *s, SQLUSMALLINT, SQLULEN value)
{
    if (s->ard)
        return DescSetFieldForStmt(s, s->ard, SQL_DESC_BIND_TYPE, value, 0, 'A');
    s->bindType = static_cast<uint32_t>(value);
    return SQL_SUCCESS;
}

// ---- reading the options ----

uint64_t Signed64(int32_t v) { return static_cast<uint64_t>(static_cast<int64_t>(v)); }

// An option asked of the back end each time; HY092 when it cannot be read.
SQLRETURN GetAsked(Stmt *s, SQLUSMALLINT option, uint64_t *value)
{
    int32_t v = 0;
    SQLRETURN rc = Ask(s, option, &v) == 0 ? SQL_SUCCESS : Fail(s, ERR_OPTION_TYPE_RANGE);
    *value = Signed64(v);
    return rc;
}

// A negotiated cursor option: the kept value, or the back end's while it
// has just changed it (ERR_OPTION_VALUE_CHANGED).
SQLRETURN GetNegotiated(Stmt *s, SQLUSMALLINT option, uint64_t *value)
{
    if (s->diag.errNum == ERR_OPTION_VALUE_CHANGED)
        return GetAsked(s, option, value);
    *value = Signed64(*CursorField(s, option));
    return SQL_SUCCESS;
}

SQLRETURN GetKept(Stmt *s, SQLUSMALLINT option, uint64_t *value)
{
    *value = Signed64(*CursorField(s, option));
    return SQL_SUCCESS;
}

SQLRETURN GetMaxLength(Stmt *s, SQLUSMALLINT option, uint64_t *value)
{
    if (s->diag.errNum == ERR_OPTION_VALUE_CHANGED)
        return GetAsked(s, option, value);
    *value = s->maxLength;
    return SQL_SUCCESS;
}

SQLRETURN GetQueryTimeout(Stmt *s, SQLUSMALLINT, uint64_t *value)
{
    *value = s->queryTimeout;
    return SQL_SUCCESS;
}

SQLRETURN GetAsync(Stmt *s, SQLUSMALLINT, uint64_t *value)
{
    *value = s->asyncEnable ? 1 : 0;
    return SQL_SUCCESS;
}

SQLRETURN GetBindType(Stmt *s, SQLUSMALLINT, uint64_t *value)
{
    *value = s->bindType;
    return SQL_SUCCESS;
}

// The bookmark of the row the cursor stands on: 24000 without a result or a
// current row, HY011 with bookmarks off, HYC00 for a cursor without
// bookmarks.
SQLRETURN GetBookmark(Stmt *s, SQLUSMALLINT, uint64_t *value)
{
    if (s->state != STMT_EXECUTED)
        return Fail(s, ERR_INVALID_CURSOR_STATE);
    if (!s->cursor.useBookmarks)
        return Fail(s, ERR_OPERATION_INVALID_NOW);
    const CursorState &cs = s->cursor;
    if (cs.cursorType == SQL_CURSOR_FORWARD_ONLY)
        return Fail(s, ERR_NOT_CAPABLE);
    if (cs.position <= 0)
        return Fail(s, ERR_INVALID_CURSOR_STATE);
    int32_t bookmark = 0;
    if (int r = CUR_BookmarkGet(&s->cursor, static_cast<uint32_t>(cs.position - 1), &bookmark))
        return Fail(s, r);
    *value = static_cast<uint64_t>(static_cast<uint32_t>(bookmark));
    return SQL_SUCCESS;
}

SQLRETURN GetRowNumber(Stmt *s, SQLUSMALLINT, uint64_t *value)
{
    if (s->state != STMT_EXECUTED)
        return Fail(s, ERR_INVALID_CURSOR_STATE);
    const CursorState &cs = s->cursor;
    if (cs.cursorType == SQL_CURSOR_FORWARD_ONLY) {
        *value = s->rowCounter;
        return SQL_SUCCESS;
    }
    // A scrollable cursor: the absolute number of the row it stands on.
    if (cs.position <= 0)
        return Fail(s, ERR_INVALID_CURSOR_STATE);
    int32_t row = 0;
    if (int r = CUR_RowBookmark(&s->cursor, static_cast<uint32_t>(cs.position - 1), &row))
        return Fail(s, r);
    *value = row > 0 ? static_cast<uint64_t>(row) : 0;
    return SQL_SUCCESS;
}

// A passed option read back from the back end: HY092 when it does not
// answer it, else its number.
SQLRETURN GetPassed(Stmt *s, SQLUSMALLINT option, uint64_t *value)
{
    int32_t v = 0;
    int r = Ask(s, option, &v);
    if (r != 0)
        return Fail(s, r == ERR_FUNCTION_NOT_SUPPORTED ? ERR_OPTION_TYPE_RANGE : r);
    *value = Signed64(v);
    return SQL_SUCCESS;
}

// ---- the table and SQLGetStmtOption ----

typedef SQLRETURN (*OptionSet)(Stmt *s, SQLUSMALLINT option, SQLULEN value);
typedef SQLRETURN (*OptionGet)(Stmt *s, SQLUSMALLINT option, uint64_t *value);

struct OptionRow {
    SQLUSMALLINT first;  // the options first..last
    SQLUSMALLINT last;
    OptionSet set;       // null: read only (HY092)
    OptionGet get;       // null: write only (HY092)
    uint8_t width;       // bytes of the value SQLGetStmtOption writes
};

const OptionRow kOptions[] = {
    {SQL_QUERY_TIMEOUT, SQL_QUERY_TIMEOUT, SetQueryTimeout, GetQueryTimeout, 4},
    {SQL_MAX_ROWS, SQL_MAX_ROWS, SetMaxRows, GetAsked, 8},
    {SQL_NOSCAN, SQL_NOSCAN, SetNoScan, GetAsked, 4},
    {SQL_MAX_LENGTH, SQL_MAX_LENGTH, SetMaxLength, GetMaxLength, 8},
    {SQL_ASYNC_ENABLE, SQL_ASYNC_ENABLE, SetAsync, GetAsync, 4},
    {SQL_BIND_TYPE, SQL_BIND_TYPE, SetBindType, GetBindType, 4},
    {SQL_CURSOR_TYPE, SQL_CONCURRENCY, SetCursorOption, GetNegotiated, 4},
    {SQL_KEYSET_SIZE, SQL_KEYSET_SIZE, SetCursorOption, GetNegotiated, 8},
    {SQL_ROWSET_SIZE, SQL_ROWSET_SIZE, SetRowsetSize, GetNegotiated, 4},
    {SQL_SIMULATE_CURSOR, SQL_SIMULATE_CURSOR, SetCursorOption, GetNegotiated, 4},
    {SQL_RETRIEVE_DATA, SQL_RETRIEVE_DATA, SetCursorOption, GetKept, 4},
    {SQL_USE_BOOKMARKS, SQL_USE_BOOKMARKS, SetUseBookmarks, GetKept, 4},
    {SQL_GET_BOOKMARK, SQL_GET_BOOKMARK, nullptr, GetBookmark, 4},
    {SQL_ROW_NUMBER, SQL_ROW_NUMBER, nullptr, GetRowNumber, 8},
    {KRS_STMT_BACKEND_VALUE, KRS_STMT_LAST_SERIAL, nullptr, GetAsked, 4},
    {KRS_STMT_CURSOR_MODE, KRS_STMT_CURSOR_MODE, SetCursorMode, GetKept, 4},
    {KRS_STMT_KEY_INFO, KRS_STMT_KEY_INFO, SetKeptOption, GetKept, 4},
    {KRS_STMT_ADD_KEYS, KRS_STMT_ADD_KEYS, SetKeptOption, GetKept, 4},
    // Handed to the back end as they come, not kept.
    {1225, 1225, SetPassedOption, GetPassed, 4},
    {KRS_STMT_PASSED_TEXT, KRS_STMT_PASSED_TEXT, SetPassedOption, nullptr, 4},
    {1227, 1229, SetPassedOption, GetPassed, 4},
    {1250, 1251, SetPassedOption, GetPassed, 4},
    {1260, 1261, SetPassedOption, GetPassed, 4},
    {1264, 1265, SetPassedOption, GetPassed, 4},
    {1268, 1268, SetPassedOption, GetPassed, 4},
    {1276, 1278, SetPassedOption, GetPassed, 4},
};

const OptionRow *FindOption(SQLINTEGER option)
{
    for (const OptionRow &r : kOptions)
        if (option >= r.first && option <= r.last)
            return &r;
    return nullptr;
}

} // namespace

SQLRETURN StmtSetOption(Stmt *s, SQLUSMALLINT option, SQLULEN value)
{
    const OptionRow *r = FindOption(option);
    if (!r || !r->set)
        return Fail(s, ERR_OPTION_TYPE_RANGE);
    return r->set(s, option, value);
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

SQLRETURN ST_SetStmtOption(Stmt *s, SQLUSMALLINT option, SQLULEN value)
{
    return StmtSetOption(s, option, value);
}

SQLRETURN StmtOptionValue(Stmt *s, SQLUSMALLINT option, uint64_t *value, int *width)
{
    const OptionRow *r = FindOption(option);
    if (!r || !r->get)
        return Fail(s, ERR_OPTION_TYPE_RANGE);
    *width = r->width;
    return r->get(s, option, value);
}

SQLRETURN ST_GetStmtOption(Stmt *s, SQLUSMALLINT option, SQLPOINTER value)
{
    uint64_t v = 0;
    int width = 4;
    SQLRETURN rc = StmtOptionValue(s, option, &v, &width);
    if (rc == SQL_SUCCESS)
        TXT_PutNumber(value, v, width);
    return rc;
}


// Statement entry points: prepare, execute dispatch, close, more results,
// counts, cursor names and native SQL.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "exec/st_internal.h"
#include "odbc/stmt.h"
#include "odbc/conn.h"
#include "odbc/stmt.h"
#include "odbc/contract/textout.h"
#include "odbc/trace.h"
#include "util/strutil.h"
#include "util/utf8.h"

namespace {

// A text argument copied NUL-terminated; null when out of memory.
char *CopyText(const SQLCHAR *text, int64_t len)
{
    char *copy = nullptr;
    STR_CopyN(&copy, reinterpret_cast<const char *>(text), len);
    return copy;
}

// A length that is neither SQL_NTS nor at least 0.
bool BadLength(int64_t len) { return len < 0 && len != SQL_NTS; }

bool StartsWithSelect(const char *sql)
{
    static const char kWord[] = "SELECT";
    for (int i = 0; i < 6; ++i) {
        char c = sql[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != kWord[i])
            return false;
    }
    return true;
}

// Asks the back end again for an option the application had requested.
void ResendOption(Stmt *s, SQLUSMALLINT option, int32_t requested, int32_t *current)
{
    const DrvOpTable *ops = StOps(s);
    int32_t v = requested;
    if (ops && ops->SetOption && ops->SetOption(StDrv(s), DrvInt(DrvStmtOption(option)), &v) == 0)
        *current = requested;
}

// Re-reads an option the back end may have changed at prepare; true when it did.
bool OptionChanged(Stmt *s, SQLUSMALLINT option, int32_t *current)
{
    const DrvOpTable *ops = StOps(s);
    int32_t v = 0;
    int16_t len = 0;
    if (!ops || !ops->GetInfo || ops->GetInfo(StDrv(s), DrvInt(DrvStmtOption(option)), &v, 4, &len) != 0)
        return false;
    if (v == *current)
        return false;
    *current = v;
    return true;
}

// Runs the execute engine the connection's back end calls for.
SQLRETURN RunExecute(Stmt *s)
{
    if (s->conn && s->conn->cn_hasV2DAE)
        return StmtExecuteV2DAE(s);
    SQLRETURN rc = StmtPreExecute(s);
    if (rc != SQL_SUCCESS)
        return rc;
    return StmtExecuteClassic(s);
}

// The back end's native form of sql, whole, in a new work buffer (*text; the
// caller frees it).  The first buffer has the size asked; a cut text is asked
// for once more with room for its whole length.  0, ERR_MEMORY_ALLOCATION or the back end's number.
int NativeText(const DrvOpTable *ops, int drvConn, const char *sql, int64_t size, char **text)
{
    for (int attempt = 0;; ++attempt) {
        char *work = static_cast<char *>(std::calloc(static_cast<size_t>(size), 1));
        if (!work)
            return ERR_MEMORY_ALLOCATION;
        int32_t bytes = 0;
        int rc = ops->NativeSql(drvConn, sql, work, static_cast<int32_t>(size), &bytes);
        if (rc == ERR_DATA_TRUNCATED && bytes >= size && attempt == 0) {
            std::free(work);
            size = static_cast<int64_t>(bytes) + 1;
            continue;
        }
        if (rc != 0 && rc != ERR_DATA_TRUNCATED) {
            std::free(work);
            return rc;
        }
        *text = work;
        return 0;
    }
}

} // namespace

int StOdbcVersion(const Stmt *s)
{
    return s->conn && s->conn->env ? s->conn->env->odbcVersion : 3;
}

SQLULEN *StParamsProcessed(const Stmt *s)
{
    if (s->paramsProcessedPtr)
        return s->paramsProcessedPtr;
    return s->ipd ? s->ipd->rowsProcessedPtr : nullptr;
}

void StmtFreeResultDescs(Stmt *s)
{
    CD_Free(s->resultCols, s->resultColCount);
    s->resultCols = nullptr;
    s->resultColCount = 0;
}

void StmtClearColDescs(Stmt *s) { StmtFreeResultDescs(s); }

SQLRETURN StmtPrepare(Stmt *s, const char *sql)
{
    const DrvOpTable *ops = StOps(s);
    StmtClose(s);
    StmtFreeColDescs(s);
    StmtFreeParamDescs(s);
    CursorState &cs = s->cursor;
    if (cs.flags & CUR_F_OPTIONS_CHANGED) {
        ResendOption(s, SQL_CURSOR_TYPE, cs.reqCursorType, &cs.cursorType);
        ResendOption(s, SQL_CONCURRENCY, cs.reqConcurrency, &cs.concurrency);
        cs.flags &= static_cast<uint16_t>(~CUR_F_OPTIONS_CHANGED);
    }
    int rc = ops && ops->Prepare ? ops->Prepare(StDrv(s), sql) : ERR_NOT_CAPABLE;
    if (rc != 0) {
        StmtFetchErrors(s);
        return StFail(s, rc);
    }
    cs.reqCursorType = cs.cursorType;
    cs.reqConcurrency = cs.concurrency;
    bool changed = false;
    if (cs.cursorType != SQL_CURSOR_FORWARD_ONLY && OptionChanged(s, SQL_CURSOR_TYPE, &cs.cursorType))
        changed = true;
    if (cs.concurrency != SQL_CONCUR_READ_ONLY && OptionChanged(s, SQL_CONCURRENCY, &cs.concurrency))
        changed = true;
    if (changed)
        cs.flags |= CUR_F_OPTIONS_CHANGED;

    uint16_t count = 0;
    ColDesc *descs = nullptr;
    rc = ops->GetParamDescs ? ops->GetParamDescs(StDrv(s), &count, &descs) : 0;
    s->diag.errNum = rc;
    if (rc != 0) {
        if (ops->CloseCursor)
            ops->CloseCursor(StDrv(s));
        StmtFetchErrors(s);
        return SQL_ERROR;
    }
    s->paramCols = descs;
    s->paramCount = descs ? count : 0;
    ParamCountClasses(s, false);
    s->daeState = DAE_NONE;
    s->ex->daeScanParam = 0;
    s->ex->daeScanRow = 0;
    if (s->conn && s->conn->cn_needbind)
        s->flags &= static_cast<uint16_t>(~ST_PARAMTYPES_SENT);
    s->flags |= ST_PREPARED;
    s->flags &= static_cast<uint16_t>(~(ST_CURSOR_OPEN | ST_DIRECT));
    s->currentRow = 0;
    s->state = STMT_EXECUTED;
    s->selectFlag = StartsWithSelect(sql) ? 1 : 0;
    s->rowCounter = 0;
    if (changed) {
        s->diag.errNum = ERR_OPTION_VALUE_CHANGED;
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

namespace {

// Copies the application's statement text (len octets or SQL_NTS), traces it
// and prepares it.  S1090 for no text or a bad length, S1001, or StmtPrepare's.
SQLRETURN PrepareText(Stmt *s, const SQLCHAR *sql, SQLINTEGER len)
{
    if (!sql || BadLength(len))
        return StFail(s, ERR_INVALID_LENGTH);
    char *copy = CopyText(sql, len);
    if (!copy)
        return StFail(s, ERR_MEMORY_ALLOCATION);
    if (TR_IsOn())
        TR_Printf("  [%s]", copy);
    SQLRETURN rc = StmtPrepare(s, copy);
    std::free(copy);
    return rc;
}

} // namespace

SQLRETURN ST_Prepare(Stmt *s, SQLCHAR *sql, SQLINTEGER len) { return PrepareText(s, sql, len); }

SQLRETURN ST_ExecDirect(Stmt *s, SQLCHAR *sql, SQLINTEGER len)
{
    SQLRETURN prep = PrepareText(s, sql, len);
    if (prep == SQL_ERROR)
        return SQL_ERROR;
    s->flags |= ST_DIRECT;
    SQLRETURN rc = RunExecute(s);
    if (prep == SQL_SUCCESS_WITH_INFO && rc == SQL_SUCCESS) {
        s->diag.errNum = ERR_OPTION_VALUE_CHANGED;
        return SQL_SUCCESS_WITH_INFO;
    }
    return rc;
}

SQLRETURN ST_Execute(Stmt *s) { return RunExecute(s); }

SQLRETURN ST_CloseCursor(Stmt *s)
{
    if (!(s->flags & ST_CURSOR_OPEN))
        return StFail(s, ERR_INVALID_CURSOR_STATE);
    StmtClose(s);
    return s->diag.errNum != ERR_NONE ? SQL_ERROR : SQL_SUCCESS;
}

SQLRETURN ST_MoreResults(Stmt *s)
{
    if (s->state != STMT_EXECUTED)
        return SQL_NO_DATA;
    if (!s->conn || !s->conn->cn_hasMoreRes) {
        s->diag.errNum = ERR_NONE;
        return SQL_NO_DATA;
    }
    const DrvOpTable *ops = StOps(s);
    StmtFreeResults(s);
    StmtClearColDescs(s);
    CUR_PosSet(&s->cursor, CUR_POS_BEFORE_START);
    int rc = ops && ops->MoreResults ? ops->MoreResults(StDrv(s)) : ERR_NO_MORE_RESULTS;
    s->diag.errNum = rc;
    if (rc == ERR_OUTPUT_PARAMS_PENDING) {
        if (s->ex->outParams || s->ex->inoutParams) {
            SQLRETURN out = StmtGetOutParams(s);
            if (out != SQL_SUCCESS)
                return out;
        }
        rc = ops->MoreResults(StDrv(s));
        s->diag.errNum = rc;
    }
    if (rc == ERR_NO_MORE_RESULTS) {
        s->diag.errNum = ERR_NONE;
        return SQL_NO_DATA;
    }
    if (rc != 0) {
        StmtFetchErrors(s);
        return SQL_ERROR;
    }
    SQLULEN *processed = StParamsProcessed(s);
    if (s->selectFlag && processed && *processed < s->paramsetSize)
        ++*processed;
    s->currentRow = 0;
    std::memset(&s->ex->gd, 0, sizeof s->ex->gd);
    return StmtGetColDescs(s) ? SQL_SUCCESS : SQL_ERROR;
}

SQLRETURN ST_NumParams(Stmt *s, SQLSMALLINT *count)
{
    uint16_t n = 0;
    if (int rc = StmtNumParams(s, &n))
        return StFail(s, rc);
    if (count)
        *count = static_cast<SQLSMALLINT>(n);
    return SQL_SUCCESS;
}

SQLRETURN ST_NumResultCols(Stmt *s, SQLSMALLINT *count)
{
    uint16_t n = 0;
    if (int rc = StmtNumResultCols(s, &n))
        return StFail(s, rc);
    if (count)
        *count = static_cast<SQLSMALLINT>(n);
    return SQL_SUCCESS;
}

SQLRETURN ST_ParamOptions(Stmt *s, SQLULEN rows, SQLULEN *processed)
{
    if (int rc = StmtSetParamsetSize(s, rows, processed))
        return StFail(s, rc);
    s->paramsProcessedPtr = processed;
    if (s->apd)
        s->apd->arraySize = rows;
    return SQL_SUCCESS;
}

SQLRETURN ST_RowCount(Stmt *s, SQLLEN *count)
{
    int32_t n = -1;
    if (int rc = StmtGetRowCount(s, &n)) {
        StmtFetchErrors(s);
        return StFail(s, rc);
    }
    if (count)
        *count = n;
    return SQL_SUCCESS;
}

SQLRETURN ST_GetCursorName(Stmt *s, SQLPOINTER name, SQLSMALLINT bufLen, SQLSMALLINT *outLen, int width)
{
    const DrvOpTable *ops = StOps(s);
    if (!ops || !ops->GetCursorName)
        return StFail(s, ERR_NOT_CAPABLE);
    if (bufLen < 0)
        return StFail(s, ERR_INVALID_LENGTH);
    // The back end's name, else the one the application set, else one of
    // our own (a JDBC driver may know none, or none before an execute).
    char text[1024] = {};
    int16_t len = 0;
    int rc = ops->GetCursorName(StDrv(s), text, sizeof text, &len);
    if (rc != 0 && rc != ERR_DATA_TRUNCATED && rc != ERR_FUNCTION_SEQUENCE) {
        s->diag.errNum = rc;
        StmtFetchErrors(s);
        return SQL_ERROR;
    }
    if ((rc == 0 && text[0] == '\0') || rc == ERR_FUNCTION_SEQUENCE) {
        if (s->ex->cursorName[0])
            std::snprintf(text, sizeof text, "%s", s->ex->cursorName);
        else
            std::snprintf(text, sizeof text, "SQL_CUR%u", static_cast<unsigned>(s->id));
    }
    s->diag.errNum = ERR_NONE;
    // The wide form counts the name's buffer and length in characters.
    return TXT_Post(&s->diag, TXT_Put(text, TXT_Out(width, TC_CHARS, name, bufLen, outLen)));
}

SQLRETURN ST_SetCursorName(Stmt *s, SQLCHAR *name, SQLSMALLINT len)
{
    if (BadLength(len))
        return StFail(s, ERR_INVALID_LENGTH);
    char *copy = CopyText(name, len);
    if (!copy)
        return StFail(s, ERR_MEMORY_ALLOCATION);
    if (TR_IsOn())
        TR_Printf("SetCursorName [%s]\n", copy);
    const DrvOpTable *ops = StOps(s);
    int rc = ops && ops->SetCursorName ? ops->SetCursorName(StDrv(s), copy) : ERR_NOT_CAPABLE;
    if (rc == 0)
        std::snprintf(s->ex->cursorName, sizeof s->ex->cursorName, "%s", copy);
    std::free(copy);
    s->diag.errNum = rc;
    if (rc != 0) {
        StmtFetchErrors(s);
        return SQL_ERROR;
    }
    return SQL_SUCCESS;
}

// SQLNativeSql(W): the back end's native form of a text, cut to the buffer
// with 01004; the length out is always the whole text's (bytes, or characters
// for 'W').  S1090, 08003, S1C00, S1001 or the back end's error.
SQLRETURN CN_NativeSql(Conn *c, SQLCHAR *in, SQLINTEGER inLen, SQLPOINTER out, SQLINTEGER outMax,
                       SQLINTEGER *outLen, int width)
{
    if (!in || BadLength(inLen) || outMax < 0) {
        c->diag.errNum = ERR_INVALID_LENGTH;
        return SQL_ERROR;
    }
    if (c->state != CONN_CONNECTED) {
        c->diag.errNum = ERR_CONNECTION_NOT_OPEN;
        return SQL_ERROR;
    }
    const DrvOpTable *ops = c->binding.ops;
    if (!ops || !ops->NativeSql) {
        c->diag.errNum = ERR_NOT_CAPABLE;
        return SQL_ERROR;
    }
    char *copy = CopyText(in, inLen);
    if (!copy) {
        c->diag.errNum = ERR_MEMORY_ALLOCATION;
        return SQL_ERROR;
    }
    // The wide form counts the output buffer and length in characters.
    const TextOut text = TXT_Out(width, TC_CHARS, out, outMax, outLen);
    char *native = nullptr;
    int rc = NativeText(ops, static_cast<int>(c->drvConn), copy, TXT_WorkSize(text), &native);
    std::free(copy);
    c->diag.errNum = rc;
    if (rc != 0) {
        ConnFetchMessages(c, nullptr);
        return SQL_ERROR;
    }
    rc = TXT_Put(native, text);
    std::free(native);
    return TXT_Post(&c->diag, rc);
}

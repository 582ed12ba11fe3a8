// SQLGetDiagField: header and record fields of the diagnostic area, read
// without changing it.
#include "odbc/diagfield.h"

#include <cstdlib>
#include <cstring>

#include "odbc/dispatch.h"
#include "odbc/contract/drv_items.h"
#include "odbc/errors.h"
#include "odbc/handles.h"
#include "odbc/contract/rowblock.h"
#include "odbc/contract/textout.h"

namespace {

constexpr size_t kMessageMax = 32767;

// What a field answers with.
enum FieldKind : int16_t {
    FK_NOTHING,       // SQL_SUCCESS, nothing written
    FK_INT32,
    FK_LEN64,         // an SQLLEN
    FK_TEXT,
};

// One header field (record 0).
struct HeaderField {
    SQLSMALLINT id;
    bool stmtOnly;
    FieldKind kind;
};

const HeaderField kHeaderFields[] = {
    {SQL_DIAG_RETURNCODE, false, FK_NOTHING},
    {SQL_DIAG_NUMBER, false, FK_INT32},
    {SQL_DIAG_ROW_COUNT, true, FK_LEN64},
    {SQL_DIAG_CURSOR_ROW_COUNT, true, FK_LEN64},
    {SQL_DIAG_DYNAMIC_FUNCTION, true, FK_TEXT},
    {SQL_DIAG_DYNAMIC_FUNCTION_CODE, true, FK_INT32},
};

// One record field (records from 1).
enum RecordSource : int16_t {
    RS_SQLSTATE,
    RS_NATIVE,
    RS_MESSAGE,
    RS_ORIGIN,
    RS_SOURCE_NAME,
    RS_ROW_NUMBER,
    RS_COLUMN_NUMBER,
};

struct RecordField {
    SQLSMALLINT id;
    bool stmtOnly;
    RecordSource source;
};

const RecordField kRecordFields[] = {
    {SQL_DIAG_SQLSTATE, false, RS_SQLSTATE},
    {SQL_DIAG_NATIVE, false, RS_NATIVE},
    {SQL_DIAG_MESSAGE_TEXT, false, RS_MESSAGE},
    {SQL_DIAG_CLASS_ORIGIN, false, RS_ORIGIN},
    {SQL_DIAG_SUBCLASS_ORIGIN, false, RS_ORIGIN},
    {SQL_DIAG_CONNECTION_NAME, false, RS_SOURCE_NAME},
    {SQL_DIAG_SERVER_NAME, false, RS_SOURCE_NAME},
    {SQL_DIAG_ROW_NUMBER, true, RS_ROW_NUMBER},
    {SQL_DIAG_COLUMN_NUMBER, true, RS_COLUMN_NUMBER},
};

template <class T, size_t N>
const T *FindField(const T (&table)[N], SQLSMALLINT id)
{
    for (const T &f : table)
        if (f.id == id)
            return &f;
    return nullptr;
}

void PutInt32(SQLPOINTER buf, int32_t v)
{
    if (buf)
        std::memcpy(buf, &v, sizeof v);
}

void PutLen(SQLPOINTER buf, SQLLEN v)
{
    if (buf)
        std::memcpy(buf, &v, sizeof v);
}

// A text field: 01004 when cut answers SQL_SUCCESS_WITH_INFO and a negative
// length SQL_ERROR, neither posted (the diagnostics being read stay as they are).
SQLRETURN PutText(const char *text, SQLPOINTER buf, SQLSMALLINT bufLen, SQLSMALLINT *outLen,
                  int width)
{
    switch (TXT_Put(text, TXT_Out(width, TC_BYTES, buf, bufLen, outLen))) {
    case 0: return SQL_SUCCESS;
    case ERR_DATA_TRUNCATED: return SQL_SUCCESS_WITH_INFO;
    default: return SQL_ERROR;
    }
}

// The connection a handle belongs to, or null for an environment.
const Conn *ConnOfHandle(int handleType, void *object)
{
    switch (handleType) {
    case SQL_HANDLE_DBC: return static_cast<Conn *>(object);
    case SQL_HANDLE_STMT: return static_cast<Stmt *>(object)->conn;
    case SQL_HANDLE_DESC: return DescConn(static_cast<Desc *>(object));
    default: return nullptr;
    }
}

// The back end's row count of the statement's last execution; false when
// it cannot be had (nothing is stored on the statement).
bool BackendRowCount(Stmt *stmt, SQLLEN *out)
{
    const DrvBinding *b = stmt->binding;
    if (!b || !b->ops || !b->ops->GetInfo)
        return false;
    int32_t v = 0;
    int16_t len = 0;
    if (b->ops->GetInfo(static_cast<int>(stmt->drvStmt), DrvInt(DRV_STMT_ROW_COUNT), &v, sizeof v, &len) != 0)
        return false;
    *out = v;
    return true;
}

SQLRETURN HeaderFieldOf(int handleType, void *object, const ErrQueue *q, const HeaderField &f,
                        SQLPOINTER buf, SQLSMALLINT bufLen, SQLSMALLINT *outLen, int width)
{
    Stmt *stmt = handleType == SQL_HANDLE_STMT ? static_cast<Stmt *>(object) : nullptr;
    switch (f.id) {
    case SQL_DIAG_NUMBER:
        PutInt32(buf, static_cast<int32_t>(DiagCount(q)));
        return SQL_SUCCESS;
    case SQL_DIAG_ROW_COUNT:
    case SQL_DIAG_CURSOR_ROW_COUNT: {
        if (!buf)
            return SQL_SUCCESS;
        SQLLEN rows = 0;
        if (!BackendRowCount(stmt, &rows))
            return SQL_ERROR;
        PutLen(buf, rows);
        return SQL_SUCCESS;
    }
    case SQL_DIAG_DYNAMIC_FUNCTION:
        return PutText(stmt->selectFlag ? "SELECT CURSOR" : "", buf, bufLen, outLen, width);
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
        PutInt32(buf, stmt->selectFlag ? SQL_DIAG_SELECT_CURSOR : 0);
        return SQL_SUCCESS;
    default:
        return SQL_SUCCESS;
    }
}

SQLRETURN RecordFieldOf(int handleType, void *object, ErrQueue *q, SQLSMALLINT rec,
                        const RecordField &f, SQLPOINTER buf, SQLSMALLINT bufLen,
                        SQLSMALLINT *outLen, int width)
{
    switch (f.source) {
    case RS_SOURCE_NAME: {
        const Conn *conn = ConnOfHandle(handleType, object);
        return PutText(conn && conn->dsn ? conn->dsn : "", buf, bufLen, outLen, width);
    }
    case RS_ROW_NUMBER:
        PutLen(buf, SQL_ROW_NUMBER_UNKNOWN);
        return SQL_SUCCESS;
    case RS_COLUMN_NUMBER:
        PutInt32(buf, SQL_COLUMN_NUMBER_UNKNOWN);
        return SQL_SUCCESS;
    default:
        break;
    }

    // The record itself, with the whole of its message.
    char *message = static_cast<char *>(std::malloc(kMessageMax + 1));
    if (!message)
        return SQL_ERROR;
    char state[6] = "00000";
    int32_t native = 0;
    int16_t len = 0;
    q->curRec = static_cast<uint16_t>(rec);
    int16_t got = ERR_GetRec(q, HandleOdbcVersion(object, handleType + 1), ERR_MODE_KEEP, state,
                             &native, message, static_cast<int16_t>(kMessageMax), &len);
    if (got == SQL_ERROR) {
        std::free(message);
        return SQL_ERROR;
    }
    SQLRETURN rc = SQL_SUCCESS;
    switch (f.source) {
    case RS_SQLSTATE:
        rc = PutText(got == SQL_NO_DATA ? "00000" : state, buf, bufLen, outLen, width);
        break;
    case RS_NATIVE:
        PutInt32(buf, native);
        break;
    case RS_MESSAGE:
        rc = got == SQL_NO_DATA ? SQL_NO_DATA : PutText(message, buf, bufLen, outLen, width);
        break;
    case RS_ORIGIN:
        rc = got == SQL_NO_DATA
                 ? SQL_NO_DATA
                 : PutText(std::strncmp(state, "IM", 2) == 0 ? "ODBC 3.0" : "ISO 9075", buf, bufLen,
                           outLen, width);
        break;
    default:
        break;
    }
    std::free(message);
    return rc;
}

ErrQueue *QueueOf(int handleType, void *object)
{
    HandleHead *h = HeadOf(object, handleType + 1);
    return h ? &h->diag : nullptr;
}

} // namespace

size_t DiagCount(const ErrQueue *q)
{
    size_t queued = ERR_Count(q);
    if (queued)
        return queued;
    return q && q->errNum != ERR_NONE ? 1 : 0;
}

SQLRETURN DiagGetField(int handleType, void *object, SQLSMALLINT rec, SQLSMALLINT id,
                       SQLPOINTER buf, SQLSMALLINT bufLen, SQLSMALLINT *outLen, int width)
{
    ErrQueue *q = handleType >= SQL_HANDLE_ENV && handleType <= SQL_HANDLE_DESC
                      ? QueueOf(handleType, object)
                      : nullptr;
    if (!q)
        return SQL_INVALID_HANDLE;
    if (rec < 0)
        return SQL_ERROR;
    if (static_cast<size_t>(rec) > DiagCount(q))
        return SQL_NO_DATA;
    const bool isStmt = handleType == SQL_HANDLE_STMT;
    if (rec == 0) {
        const HeaderField *f = FindField(kHeaderFields, id);
        if (!f || (f->stmtOnly && !isStmt))
            return SQL_ERROR;
        return HeaderFieldOf(handleType, object, q, *f, buf, bufLen, outLen, width);
    }
    const RecordField *f = FindField(kRecordFields, id);
    if (!f)
        return SQL_SUCCESS;
    if (f->stmtOnly && !isStmt)
        return SQL_ERROR;
    return RecordFieldOf(handleType, object, q, rec, *f, buf, bufLen, outLen, width);
}

SQLRETURN EN_GetDiagField(Envr *env, SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER buf,
                          SQLSMALLINT bufLen, SQLSMALLINT *outLen, int width)
{
    return DiagGetField(SQL_HANDLE_ENV, env, rec, id, buf, bufLen, outLen, width);
}

SQLRETURN CN_GetDiagField(Conn *conn, SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER buf,
                          SQLSMALLINT bufLen, SQLSMALLINT *outLen, int width)
{
    return DiagGetField(SQL_HANDLE_DBC, conn, rec, id, buf, bufLen, outLen, width);
}

SQLRETURN ST_GetDiagField(Stmt *stmt, SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER buf,
                          SQLSMALLINT bufLen, SQLSMALLINT *outLen, int width)
{
    return DiagGetField(SQL_HANDLE_STMT, stmt, rec, id, buf, bufLen, outLen, width);
}

SQLRETURN DS_GetDiagField(Desc *desc, SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER buf,
                          SQLSMALLINT bufLen, SQLSMALLINT *outLen, int width)
{
    return DiagGetField(SQL_HANDLE_DESC, desc, rec, id, buf, bufLen, outLen, width);
}

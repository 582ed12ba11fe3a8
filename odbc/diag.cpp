// SQLError and SQLGetDiagRec: reading a handle's diagnostics.
#include "odbc/diag.h"

#include <cstdlib>
#include <cstring>

#include "odbc/diagfield.h"
#include "odbc/dispatch.h"
#include "odbc/errors.h"
#include "odbc/handles.h"
#include "odbc/startup.h"
#include "odbc/contract/textout.h"

namespace {

// The failure of the calling thread's last call that no handle could hold:
// the start-up message, or a fault of the dispatcher itself.
thread_local const char *t_pendingFailure = nullptr;

const char kStartupPrefix[] = "[Kestrune][ODBC][Driver]";

// The start-up failure as one record; true when it was reported (*rc:
// SQL_SUCCESS_WITH_INFO when the message was cut, SQL_ERROR with nothing
// written for a negative bufLen, when the record stays to be read).
bool StartupRecord(char *state, SQLINTEGER *native, char *msg, SQLSMALLINT bufLen,
                   SQLSMALLINT *textLen, SQLRETURN *rc)
{
    const char *failure = t_pendingFailure;
    if (!failure)
        return false;
    if (bufLen < 0) {
        *rc = SQL_ERROR;
        return true;
    }
    char text[256];
    std::strcpy(text, kStartupPrefix);
    std::strncat(text, failure, sizeof text - std::strlen(text) - 1);
    if (state)
        std::strcpy(state, "HY000");
    if (native)
        *native = 0;
    *rc = TXT_Put(text, TXT_Out('A', TC_BYTES, msg, bufLen, textLen)) == 0 ? SQL_SUCCESS
                                                                            : SQL_SUCCESS_WITH_INFO;
    return true;
}

SQLRETURN TakeRecord(HandleHead *h, int version, SQLCHAR *state, SQLINTEGER *native,
                     SQLCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *textLen)
{
    return ERR_GetRec(&h->diag, version, ERR_MODE_TAKE, reinterpret_cast<char *>(state), native,
                      reinterpret_cast<char *>(msg), bufLen, textLen);
}

SQLRETURN ReadRecord(HandleHead *h, int version, SQLSMALLINT rec, SQLCHAR *state,
                     SQLINTEGER *native, SQLCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *textLen)
{
    size_t count = DiagCount(&h->diag);
    if (rec < 1 || static_cast<size_t>(rec) > count) {
        if (rec < 1)
            return SQL_ERROR;
        if (state)
            std::strcpy(reinterpret_cast<char *>(state), "00000");
        if (native)
            *native = 0;
        TXT_Put("", TXT_Out('A', TC_BYTES, msg, bufLen, textLen));
        return SQL_NO_DATA;
    }
    if (bufLen < 0)
        return SQL_ERROR;
    h->diag.curRec = static_cast<uint16_t>(rec);
    return ERR_GetRec(&h->diag, version, ERR_MODE_KEEP, reinterpret_cast<char *>(state), native,
                      reinterpret_cast<char *>(msg), bufLen, textLen);
}

// The work buffer of a wide diagnostic read: room for the whole message, so
// that its length in characters is exact.
constexpr SQLSMALLINT kWorkSize = 32767;

// Hands a record read narrow into the work buffer to the wide caller: message
// and SQLSTATE as UTF-16 with lengths in characters (01004 when the message
// is cut), an empty message on SQL_NO_DATA.  Frees the work buffer; the
// call's result.
SQLRETURN WidenRecord(SQLRETURN rc, char *work, const char *narrowState, SQLWCHAR *state,
                      SQLWCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *textLen)
{
    const TextOut out = TXT_Out('W', TC_CHARS, msg, bufLen, textLen);
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
        if (TXT_Put(work, out) != 0)
            rc = SQL_SUCCESS_WITH_INFO;
    } else if (rc == SQL_NO_DATA) {
        TXT_Put("", out);
    }
    if (state && narrowState[0])
        TXT_Put(narrowState, TXT_Out('W', TC_CHARS, state, 6));
    std::free(work);
    return rc;
}

} // namespace

void DIAG_NoteStartupFailure()
{
    const char *failure = Core_StartupFailure();
    t_pendingFailure = failure ? failure : "The driver is not initialised (it is being loaded or unloaded)";
}

void DIAG_NoteDispatchFailure(const char *text) { t_pendingFailure = text; }

int HandleOdbcVersion(void *object, int kind)
{
    const Envr *env = nullptr;
    switch (kind) {
    case HK_ENV: env = static_cast<Envr *>(object); break;
    case HK_DBC: env = static_cast<Conn *>(object)->env; break;
    case HK_STMT: env = static_cast<Stmt *>(object)->conn->env; break;
    case HK_DESC: {
        Conn *c = DescConn(static_cast<Desc *>(object));
        env = c ? c->env : nullptr;
        if (!env)
            return 3;
        break;
    }
    default: return 3;
    }
    return env && env->odbcVersion == 3 ? 3 : 2;
}

SQLRETURN EN_Error(Envr *env, SQLCHAR *state, SQLINTEGER *native, SQLCHAR *msg, SQLSMALLINT bufLen,
                   SQLSMALLINT *textLen)
{
    return TakeRecord(env, HandleOdbcVersion(env, HK_ENV), state, native, msg, bufLen, textLen);
}

SQLRETURN CN_Error(Conn *conn, SQLCHAR *state, SQLINTEGER *native, SQLCHAR *msg, SQLSMALLINT bufLen,
                   SQLSMALLINT *textLen)
{
    return TakeRecord(conn, HandleOdbcVersion(conn, HK_DBC), state, native, msg, bufLen, textLen);
}

SQLRETURN ST_Error(Stmt *stmt, SQLCHAR *state, SQLINTEGER *native, SQLCHAR *msg, SQLSMALLINT bufLen,
                   SQLSMALLINT *textLen)
{
    return TakeRecord(stmt, HandleOdbcVersion(stmt, HK_STMT), state, native, msg, bufLen, textLen);
}

SQLRETURN EN_GetDiagRec(Envr *env, SQLSMALLINT rec, SQLCHAR *state, SQLINTEGER *native,
                        SQLCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *textLen)
{
    return ReadRecord(env, HandleOdbcVersion(env, HK_ENV), rec, state, native, msg, bufLen, textLen);
}

SQLRETURN CN_GetDiagRec(Conn *conn, SQLSMALLINT rec, SQLCHAR *state, SQLINTEGER *native,
                        SQLCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *textLen)
{
    return ReadRecord(conn, HandleOdbcVersion(conn, HK_DBC), rec, state, native, msg, bufLen,
                      textLen);
}

SQLRETURN ST_GetDiagRec(Stmt *stmt, SQLSMALLINT rec, SQLCHAR *state, SQLINTEGER *native,
                        SQLCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *textLen)
{
    return ReadRecord(stmt, HandleOdbcVersion(stmt, HK_STMT), rec, state, native, msg, bufLen,
                      textLen);
}

SQLRETURN DS_GetDiagRec(Desc *desc, SQLSMALLINT rec, SQLCHAR *state, SQLINTEGER *native,
                        SQLCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *textLen)
{
    return ReadRecord(desc, HandleOdbcVersion(desc, HK_DESC), rec, state, native, msg, bufLen,
                      textLen);
}

SQLRETURN API_ErrorBy(const ApiByHandle &api, SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt,
                      SQLCHAR *state, SQLINTEGER *native, SQLCHAR *msg, SQLSMALLINT bufLen,
                      SQLSMALLINT *textLen)
{
    SQLRETURN rc;
    if (StartupRecord(reinterpret_cast<char *>(state), native, reinterpret_cast<char *>(msg),
                      bufLen, textLen, &rc)) {
        if (rc != SQL_ERROR)
            t_pendingFailure = nullptr;
        return rc;
    }
    if (hstmt)
        return CallODBC(api.stmt, hstmt, state, native, msg, bufLen, textLen);
    if (hdbc)
        return CallODBC(api.dbc, hdbc, state, native, msg, bufLen, textLen);
    if (henv)
        return CallODBC(api.env, henv, state, native, msg, bufLen, textLen);
    return SQL_INVALID_HANDLE;
}

SQLRETURN API_ErrorWBy(const ApiByHandle &api, SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt,
                       SQLWCHAR *state, SQLINTEGER *native, SQLWCHAR *msg, SQLSMALLINT bufLen,
                       SQLSMALLINT *textLen)
{
    if (!hstmt && !hdbc && !henv && !t_pendingFailure)
        return SQL_INVALID_HANDLE;
    char *buf = static_cast<char *>(std::calloc(static_cast<size_t>(kWorkSize) + 1, 1));
    if (!buf)
        return SQL_ERROR;
    // A negative length goes on as it is, refused like the narrow reader's.
    SQLSMALLINT work = bufLen < 0 ? bufLen : kWorkSize;
    char narrowState[6] = {};
    SQLSMALLINT narrowLen = 0;
    SQLRETURN rc;
    if (StartupRecord(narrowState, native, buf, work, &narrowLen, &rc)) {
        if (rc != SQL_ERROR)
            t_pendingFailure = nullptr;
    } else if (hstmt) {
        rc = CallODBC(api.stmt, hstmt, narrowState, native, buf, work, &narrowLen);
    } else if (hdbc) {
        rc = CallODBC(api.dbc, hdbc, narrowState, native, buf, work, &narrowLen);
    } else {
        rc = CallODBC(api.env, henv, narrowState, native, buf, work, &narrowLen);
    }
    return WidenRecord(rc, buf, narrowState, state, msg, bufLen, textLen);
}

SQLRETURN API_GetDiagRecBy(const ApiByHandle &api, SQLSMALLINT type, SQLHANDLE handle,
                           SQLSMALLINT rec, SQLCHAR *state, SQLINTEGER *native, SQLCHAR *msg,
                           SQLSMALLINT bufLen, SQLSMALLINT *textLen)
{
    SQLRETURN rc;
    if (StartupRecord(reinterpret_cast<char *>(state), native, reinterpret_cast<char *>(msg),
                      bufLen, textLen, &rc))
        return rec == 1 ? rc : SQL_NO_DATA;
    switch (type) {
    case SQL_HANDLE_ENV:
        return CallODBC(api.env, handle, rec, state, native, msg, bufLen, textLen);
    case SQL_HANDLE_DBC:
        return CallODBC(api.dbc, handle, rec, state, native, msg, bufLen, textLen);
    case SQL_HANDLE_STMT:
        return CallODBC(api.stmt, handle, rec, state, native, msg, bufLen, textLen);
    case SQL_HANDLE_DESC:
        return CallODBC(api.desc, handle, rec, state, native, msg, bufLen, textLen);
    default:
        return SQL_INVALID_HANDLE;
    }
}

SQLRETURN API_GetDiagRecWBy(const ApiByHandle &api, SQLSMALLINT type, SQLHANDLE handle,
                            SQLSMALLINT rec, SQLWCHAR *state, SQLINTEGER *native, SQLWCHAR *msg,
                            SQLSMALLINT bufLen, SQLSMALLINT *textLen)
{
    const ApiDescriptor *d;
    switch (type) {
    case SQL_HANDLE_ENV: d = api.env; break;
    case SQL_HANDLE_DBC: d = api.dbc; break;
    case SQL_HANDLE_STMT: d = api.stmt; break;
    case SQL_HANDLE_DESC: d = api.desc; break;
    default: return SQL_INVALID_HANDLE;
    }
    char *buf = static_cast<char *>(std::calloc(static_cast<size_t>(kWorkSize) + 1, 1));
    if (!buf)
        return SQL_ERROR;
    // A negative length goes on as it is, so that the record checks come first.
    SQLSMALLINT work = bufLen < 0 ? bufLen : kWorkSize;
    char narrowState[6] = {};
    SQLSMALLINT narrowLen = 0;
    SQLRETURN rc;
    if (StartupRecord(narrowState, native, buf, work, &narrowLen, &rc)) {
        if (rec != 1)
            rc = SQL_NO_DATA;
    } else {
        rc = CallODBC(d, handle, rec, narrowState, native, buf, work, &narrowLen);
    }
    return WidenRecord(rc, buf, narrowState, state, msg, bufLen, textLen);
}

SQLRETURN API_GetDiagFieldBy(const ApiByHandle &api, SQLSMALLINT type, SQLHANDLE handle,
                             SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER value, SQLSMALLINT bufLen,
                             SQLSMALLINT *outLen, bool wide)
{
    const ApiDescriptor *byType[] = {api.env, api.dbc, api.stmt, api.desc};
    if (type < SQL_HANDLE_ENV || type > SQL_HANDLE_DESC)
        return SQL_INVALID_HANDLE;
    const ApiDescriptor *d = byType[type - SQL_HANDLE_ENV];
    return CallODBC(d, handle, rec, id, value, bufLen, outLen, wide ? 'W' : 'A');
}

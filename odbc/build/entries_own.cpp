// The exported wrappers that choose their ApiDescriptor at run time (by
// handle type), and SQLCancel, which does not go through the dispatcher.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include "odbc/cancel.h"
#include "odbc/build/export_vis.h"
#include "odbc/api/api_desc.h"

extern "C" {

KRS_VIS_EXPORT SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE in, SQLHANDLE *out)
{
    return API_AllocHandle(type, in, out);
}

KRS_VIS_EXPORT SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle)
{
    return API_FreeHandle(type, handle);
}

KRS_VIS_EXPORT SQLRETURN SQL_API SQLTransact(SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT type)
{
    return API_Transact(henv, hdbc, type);
}

KRS_VIS_EXPORT SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle,
                                            SQLSMALLINT completion)
{
    return API_EndTran(type, handle, completion);
}

KRS_VIS_EXPORT SQLRETURN SQL_API SQLCancel(SQLHSTMT hstmt)
{
    return API_Cancel(hstmt);
}

KRS_VIS_NARROW_TEXT SQLRETURN SQL_API SQLError(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt,
                                               SQLCHAR *state, SQLINTEGER *native, SQLCHAR *msg,
                                               SQLSMALLINT bufLen, SQLSMALLINT *textLen)
{
    return API_Error(henv, hdbc, hstmt, state, native, msg, bufLen, textLen);
}

KRS_VIS_WIDE_TEXT SQLRETURN SQL_API SQLErrorW(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt,
                                              SQLWCHAR *state, SQLINTEGER *native, SQLWCHAR *msg,
                                              SQLSMALLINT bufLen, SQLSMALLINT *textLen)
{
    return API_ErrorW(henv, hdbc, hstmt, state, native, msg, bufLen, textLen);
}

KRS_VIS_NARROW_TEXT SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle,
                                                    SQLSMALLINT rec, SQLCHAR *state,
                                                    SQLINTEGER *native, SQLCHAR *msg,
                                                    SQLSMALLINT bufLen, SQLSMALLINT *textLen)
{
    return API_GetDiagRec(type, handle, rec, state, native, msg, bufLen, textLen);
}

KRS_VIS_WIDE_TEXT SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE handle,
                                                   SQLSMALLINT rec, SQLWCHAR *state,
                                                   SQLINTEGER *native, SQLWCHAR *msg,
                                                   SQLSMALLINT bufLen, SQLSMALLINT *textLen)
{
    return API_GetDiagRecW(type, handle, rec, state, native, msg, bufLen, textLen);
}

KRS_VIS_NARROW_TEXT SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle,
                                                      SQLSMALLINT rec, SQLSMALLINT id,
                                                      SQLPOINTER value, SQLSMALLINT bufLen,
                                                      SQLSMALLINT *outLen)
{
    return API_GetDiagField(type, handle, rec, id, value, bufLen, outLen, false);
}

KRS_VIS_WIDE_TEXT SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT type, SQLHANDLE handle,
                                                     SQLSMALLINT rec, SQLSMALLINT id,
                                                     SQLPOINTER value, SQLSMALLINT bufLen,
                                                     SQLSMALLINT *outLen)
{
    return API_GetDiagField(type, handle, rec, id, value, bufLen, outLen, true);
}

} // extern "C"

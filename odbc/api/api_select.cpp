// The entries that choose their descriptor at run time, by handle type: the
// handle layer's bodies run with this function's descriptors.
#include "odbc/api/api_desc.h"
#include "odbc/diag.h"
#include "odbc/env.h"

namespace {

const ApiByHandle kAllocHandle = {&kApi_AllocHandle_Env, &kApi_AllocHandle_Dbc,
                                  &kApi_AllocHandle_Stmt, &kApi_AllocHandle_Desc};
const ApiByHandle kFreeHandle = {&kApi_FreeHandle_Env, &kApi_FreeHandle_Dbc, &kApi_FreeHandle_Stmt,
                                 &kApi_FreeHandle_Desc};
const ApiByHandle kTransact = {&kApi_Transact_Env, &kApi_Transact_Dbc, nullptr, nullptr};
const ApiByHandle kError = {&kApi_Error_Env, &kApi_Error_Dbc, &kApi_Error_Stmt, nullptr};
const ApiByHandle kErrorW = {&kApi_Error_Env_W, &kApi_Error_Dbc_W, &kApi_Error_Stmt_W, nullptr};
const ApiByHandle kGetDiagRec = {&kApi_GetDiagRec_Env, &kApi_GetDiagRec_Dbc, &kApi_GetDiagRec_Stmt,
                                 &kApi_GetDiagRec_Desc};
const ApiByHandle kGetDiagRecW = {&kApi_GetDiagRec_Env_W, &kApi_GetDiagRec_Dbc_W,
                                  &kApi_GetDiagRec_Stmt_W, &kApi_GetDiagRec_Desc_W};
const ApiByHandle kGetDiagField = {&kApi_GetDiagField_Env, &kApi_GetDiagField_Dbc,
                                   &kApi_GetDiagField_Stmt, &kApi_GetDiagField_Desc};
const ApiByHandle kGetDiagFieldW = {&kApi_GetDiagField_Env_W, &kApi_GetDiagField_Dbc_W,
                                    &kApi_GetDiagField_Stmt_W, &kApi_GetDiagField_Desc_W};

} // namespace

SQLRETURN API_AllocHandle(SQLSMALLINT type, SQLHANDLE in, SQLHANDLE *out)
{
    return API_AllocHandleBy(kAllocHandle, type, in, out);
}

SQLRETURN API_FreeHandle(SQLSMALLINT type, SQLHANDLE handle)
{
    return API_FreeHandleBy(kFreeHandle, type, handle);
}

SQLRETURN API_Transact(SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT type)
{
    return API_TransactBy(kTransact, henv, hdbc, type);
}

SQLRETURN API_EndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion)
{
    return API_EndTranBy(kTransact, type, handle, completion);
}

SQLRETURN API_Error(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR *state, SQLINTEGER *native,
                    SQLCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *textLen)
{
    return API_ErrorBy(kError, henv, hdbc, hstmt, state, native, msg, bufLen, textLen);
}

SQLRETURN API_ErrorW(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLWCHAR *state,
                     SQLINTEGER *native, SQLWCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *textLen)
{
    return API_ErrorWBy(kErrorW, henv, hdbc, hstmt, state, native, msg, bufLen, textLen);
}

SQLRETURN API_GetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLCHAR *state,
                         SQLINTEGER *native, SQLCHAR *msg, SQLSMALLINT bufLen,
                         SQLSMALLINT *textLen)
{
    return API_GetDiagRecBy(kGetDiagRec, type, handle, rec, state, native, msg, bufLen, textLen);
}

SQLRETURN API_GetDiagRecW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLWCHAR *state,
                          SQLINTEGER *native, SQLWCHAR *msg, SQLSMALLINT bufLen,
                          SQLSMALLINT *textLen)
{
    return API_GetDiagRecWBy(kGetDiagRecW, type, handle, rec, state, native, msg, bufLen, textLen);
}

SQLRETURN API_GetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLSMALLINT id,
                           SQLPOINTER value, SQLSMALLINT bufLen, SQLSMALLINT *outLen, bool wide)
{
    return API_GetDiagFieldBy(wide ? kGetDiagFieldW : kGetDiagField, type, handle, rec, id, value,
                              bufLen, outLen, wide);
}

// The ApiDescriptors of every ODBC function, made from odbc/api_list.inc:
// they name the implementations of the handle layer and of the statement
// layer, so they stand above both.
#pragma once
#include <sql.h>
#include <sqlucode.h>

#include "odbc/dispatch.h"

// ---- the 127 descriptors and the function list ----

extern const ApiDescriptor *const kApiDescriptors[];
extern const size_t kApiDescriptorCount;

// SQLGetFunctions answer from the list of exported functions: id 0
// (SQL_API_ALL_FUNCTIONS) fills 100 flags, 999 (SQL_API_ODBC3_ALL_FUNCTIONS)
// a 250-word bitmap, any other id one flag.
void API_GetFunctions(SQLUSMALLINT id, SQLUSMALLINT *exists);
bool API_FunctionExists(SQLUSMALLINT id);

// ---- the entries that choose their descriptor at run time ----
// The handle layer's bodies (odbc/env.h, odbc/diag.h) with this function's
// descriptors.
SQLRETURN API_AllocHandle(SQLSMALLINT type, SQLHANDLE in, SQLHANDLE *out);
SQLRETURN API_FreeHandle(SQLSMALLINT type, SQLHANDLE handle);
SQLRETURN API_Transact(SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT type);
SQLRETURN API_EndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion);
SQLRETURN API_Error(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR *state, SQLINTEGER *native,
                    SQLCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *textLen);
SQLRETURN API_ErrorW(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLWCHAR *state,
                     SQLINTEGER *native, SQLWCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *textLen);
SQLRETURN API_GetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLCHAR *state,
                         SQLINTEGER *native, SQLCHAR *msg, SQLSMALLINT bufLen,
                         SQLSMALLINT *textLen);
SQLRETURN API_GetDiagRecW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLWCHAR *state,
                          SQLINTEGER *native, SQLWCHAR *msg, SQLSMALLINT bufLen,
                          SQLSMALLINT *textLen);
SQLRETURN API_GetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLSMALLINT id,
                           SQLPOINTER value, SQLSMALLINT bufLen, SQLSMALLINT *outLen, bool wide);

#define KRS_IF_0(...)
#define KRS_IF_1(...) __VA_ARGS__

#define KRS_FN(Name, ApiId, Kind, Clear, Async, Text, Impl, Format, Params, Args, WParams, WArgs) \
    extern const ApiDescriptor kApi_##Name;                                                        \
    KRS_IF_##Text(extern const ApiDescriptor kApi_##Name##W;)
#define KRS_DESC(Var, Name, Kind, Clear, Async, Text, Impl, Format) \
    extern const ApiDescriptor kApi_##Var;                          \
    KRS_IF_##Text(extern const ApiDescriptor kApi_##Var##_W;)
#define KRS_OWN(Name, ApiId, Text)
#define KRS_RAW(Symbol)
#include "odbc/api_list.inc"
#undef KRS_FN
#undef KRS_DESC
#undef KRS_OWN
#undef KRS_RAW

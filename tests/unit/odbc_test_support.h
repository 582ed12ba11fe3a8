// Helpers shared by the handle-layer unit tests: handles made through the
// driver's own entry points and diagnostics read back as SQLSTATEs.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "tests/fakes/fake_backend.h"

// The SQLSTATE of record 1 of a handle ("" when SQLGetDiagRec has none).
inline std::string DiagState(SQLSMALLINT type, SQLHANDLE h, std::string *message = nullptr)
{
    SQLCHAR state[6] = {};
    SQLCHAR msg[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
        return "";
    if (message)
        *message = reinterpret_cast<char *>(msg);
    return reinterpret_cast<char *>(state);
}

// An ODBC 3 environment with one connection opened on a fake back end.
struct FakeSession {
    FakeBackend fake;
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;

    explicit FakeSession(bool connect = true)
    {
        SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        if (connect)
            FakeConnect(dbc, fake);
    }
    ~FakeSession()
    {
        if (env)
            SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    SQLHSTMT NewStmt()
    {
        SQLHSTMT s = nullptr;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s);
        return s;
    }
};

// SQLGetFunctions: answered from the list of exported entry points.
#include "odbc/getfunctions.h"

#include "odbc/dispatch.h"

SQLRETURN CN_GetFunctions(Conn *conn, SQLUSMALLINT id, SQLUSMALLINT *exists)
{
    API_GetFunctions(id, exists);
    return SQL_SUCCESS;
}

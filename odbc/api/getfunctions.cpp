// SQLGetFunctions: answered from the list of exported entry points.
#include "odbc/api/getfunctions.h"

#include "odbc/api/api_desc.h"

SQLRETURN CN_GetFunctions(Conn *conn, SQLUSMALLINT id, SQLUSMALLINT *exists)
{
    API_GetFunctions(id, exists);
    return SQL_SUCCESS;
}

// C-type facts for the conversion layer: octet sizes, names, and clearing
// the target of a NULL value.
#include <cstring>

#include "exec/convert.h"

namespace {

struct CTypeRow {
    int16_t cType;
    int16_t size;   // octet size of a fixed-length type, 0 for text and binary
    const char *name;
};

const CTypeRow kCTypes[] = {
    {SQL_C_CHAR, 0, "SQL_C_CHAR"},
    {SQL_C_WCHAR, 0, "SQL_C_WCHAR"},
    {SQL_C_BINARY, 0, "SQL_C_BINARY"},
    {SQL_C_BIT, 1, "SQL_C_BIT"},
    {SQL_C_TINYINT, 1, "SQL_C_TINYINT"},
    {SQL_C_STINYINT, 1, "SQL_C_STINYINT"},
    {SQL_C_UTINYINT, 1, "SQL_C_UTINYINT"},
    {SQL_C_SHORT, 2, "SQL_C_SHORT"},
    {SQL_C_SSHORT, 2, "SQL_C_SSHORT"},
    {SQL_C_USHORT, 2, "SQL_C_USHORT"},
    {SQL_C_LONG, 4, "SQL_C_LONG"},
    {SQL_C_SLONG, 4, "SQL_C_SLONG"},
    {SQL_C_ULONG, 4, "SQL_C_ULONG"},
    {SQL_C_SBIGINT, 8, "SQL_C_SBIGINT"},
    {SQL_C_UBIGINT, 8, "SQL_C_UBIGINT"},
    {SQL_C_FLOAT, 4, "SQL_C_FLOAT"},
    {SQL_C_DOUBLE, 8, "SQL_C_DOUBLE"},
    {SQL_C_NUMERIC, 19, "SQL_C_NUMERIC"},
    {SQL_C_GUID, 16, "SQL_C_GUID"},
    {SQL_C_DATE, 6, "SQL_C_DATE"},
    {SQL_C_TIME, 6, "SQL_C_TIME"},
    {SQL_C_TIMESTAMP, 16, "SQL_C_TIMESTAMP"},
    {SQL_C_TYPE_DATE, 6, "SQL_C_TYPE_DATE"},
    {SQL_C_TYPE_TIME, 6, "SQL_C_TYPE_TIME"},
    {SQL_C_TYPE_TIMESTAMP, 16, "SQL_C_TYPE_TIMESTAMP"},
};

const CTypeRow *Find(int16_t cType)
{
    for (const CTypeRow &row : kCTypes)
        if (row.cType == cType)
            return &row;
    return nullptr;
}

} // namespace

int16_t CTypeSize(int16_t cType)
{
    const CTypeRow *row = Find(cType);
    return row ? row->size : 0;
}

const char *CTypeName(int16_t cType)
{
    const CTypeRow *row = Find(cType);
    return row ? row->name : "(unknown type)";
}

void ClearTarget(void *data, SQLLEN bufLen, int16_t cType)
{
    if (!data)
        return;
    int16_t size = cType == SQL_C_GUID ? 0 : CTypeSize(cType);
    if (size > 0)
        std::memset(data, 0, static_cast<size_t>(size));
    else if (bufLen > 0)
        std::memset(data, 0, static_cast<size_t>(bufLen));
}

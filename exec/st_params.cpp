// Parameter binding: SQLBindParameter, SQLSetParam and SQLDescribeParam,
// and the binding core that keeps the APD and IPD records in step.
#include <cstring>

#include "exec/convert.h"
#include "odbc/ctype.h"
#include "exec/st_internal.h"
#include "odbc/desc_rec.h"
#include "odbc/trace.h"

namespace {

// SQL types whose negative decimal digits are refused.
bool SecondsScaled(int16_t sqlType)
{
    switch (sqlType) {
    case SQL_TYPE_TIME: case SQL_TYPE_TIMESTAMP: case SQL_INTERVAL_SECOND: case SQL_INTERVAL_DAY_TO_SECOND:
    case SQL_INTERVAL_HOUR_TO_SECOND: case SQL_INTERVAL_MINUTE_TO_SECOND:
        return true;
    default:
        return false;
    }
}

bool VariableCType(int16_t cType) { return cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY; }

// The fixed C types SQLBindParameter accepts.
bool FixedBindable(int16_t cType)
{
    static const int16_t kTypes[] = {SQL_C_NUMERIC, SQL_C_LONG, SQL_C_SHORT, SQL_C_FLOAT, SQL_C_DOUBLE,
                                     SQL_C_DATE, SQL_C_TIME, SQL_C_TIMESTAMP, SQL_C_TYPE_DATE, SQL_C_TYPE_TIME,
                                     SQL_C_TYPE_TIMESTAMP, SQL_C_TINYINT, SQL_C_BIT, SQL_C_GUID, SQL_C_SSHORT,
                                     SQL_C_SLONG, SQL_C_USHORT, SQL_C_ULONG, SQL_C_SBIGINT, SQL_C_STINYINT,
                                     SQL_C_UBIGINT, SQL_C_UTINYINT};
    for (int16_t t : kTypes)
        if (t == cType)
            return true;
    return false;
}

// Octet sizes SQLSetParam knows; 0 for a C type it does not bind.
int64_t SetParamOctets(int16_t cType)
{
    struct Row {
        int16_t cType;
        int16_t size;
    };
    static const Row kRows[] = {
        {SQL_C_CHAR, -3},    {SQL_C_WCHAR, -3},     {SQL_C_BINARY, -3},   {SQL_C_TINYINT, 1},
        {SQL_C_BIT, 1},      {SQL_C_STINYINT, 1},   {SQL_C_UTINYINT, 1},  {SQL_C_SHORT, 2},
        {SQL_C_SSHORT, 2},   {SQL_C_USHORT, 2},     {SQL_C_LONG, 4},      {SQL_C_FLOAT, 4},
        {SQL_C_SLONG, 4},    {SQL_C_ULONG, 4},      {SQL_C_DOUBLE, 8},    {SQL_C_SBIGINT, 8},
        {SQL_C_UBIGINT, 8},  {SQL_C_DATE, 6},       {SQL_C_TIME, 6},      {SQL_C_TYPE_DATE, 6},
        {SQL_C_TYPE_TIME, 6}, {SQL_C_TIMESTAMP, 16}, {SQL_C_TYPE_TIMESTAMP, 16}, {SQL_C_GUID, 16},
    };
    for (const Row &r : kRows)
        if (r.cType == cType)
            return r.size;
    return 0;
}

// IPD length, precision and scale by SQL type.
void SetIpdSizes(DescRec *r, int16_t sqlType, uint64_t columnSize, int16_t digits)
{
    switch (sqlType) {
    case SQL_CHAR: case SQL_VARCHAR: case SQL_TYPE_DATE: case SQL_LONGVARCHAR: case SQL_BINARY:
    case SQL_VARBINARY: case SQL_LONGVARBINARY: case SQL_WCHAR: case SQL_WVARCHAR: case SQL_WLONGVARCHAR:
    case SQL_GUID:
        r->length = columnSize;
        break;
    case SQL_NUMERIC: case SQL_DECIMAL:
        r->precision = static_cast<int16_t>(columnSize);
        r->scale = digits;
        break;
    case SQL_TYPE_TIME: case SQL_TYPE_TIMESTAMP: case SQL_INTERVAL_SECOND: case SQL_INTERVAL_DAY_TO_SECOND:
    case SQL_INTERVAL_HOUR_TO_SECOND: case SQL_INTERVAL_MINUTE_TO_SECOND:
        r->length = columnSize;
        r->precision = digits;
        break;
    case SQL_FLOAT: case SQL_REAL: case SQL_DOUBLE:
        r->precision = static_cast<int16_t>(columnSize);
        break;
    default:
        if ((sqlType >= SQL_INTERVAL_YEAR && sqlType <= SQL_INTERVAL_MINUTE) ||
            (sqlType >= SQL_INTERVAL_YEAR_TO_MONTH && sqlType <= SQL_INTERVAL_HOUR_TO_MINUTE) ||
            sqlType == SQL_INTERVAL_DAY_TO_HOUR)
            r->length = columnSize;
        break;
    }
}

// A parameter binding record: what the application bound and the octet
// size of one value.
ParamBinding NewParamBinding(uint16_t n, int16_t paramType, int16_t cType, int16_t sqlType, uint64_t columnSize,
                             int16_t digits, void *data, int64_t bufLen, SQLLEN *octetLengthPtr,
                             SQLLEN *indicatorPtr, int64_t octets)
{
    ParamBinding b{};
    b.number = n;
    b.cType = cType;
    b.sqlType = sqlType;
    b.columnSize = columnSize;
    b.decimalDigits = digits;
    b.data = data;
    b.octetLengthPtr = octetLengthPtr;
    b.indicatorPtr = indicatorPtr;
    b.octetSize = octets;
    b.bufferLength = bufLen;
    b.paramType = paramType;
    return b;
}

} // namespace

SQLRETURN StmtBindParam(Stmt *s, uint16_t n, int16_t paramType, int16_t cType, int16_t sqlType,
                        uint64_t columnSize, int16_t digits, void *data, int64_t bufLen, SQLLEN *octetLengthPtr,
                        SQLLEN *indicatorPtr)
{
    s->diag.errNum = ERR_NONE;
    if (!data && !indicatorPtr && paramType != SQL_PARAM_OUTPUT)
        return StFail(s, ERR_INVALID_ARGUMENT);
    if (digits < 0 && SecondsScaled(sqlType))
        return StFail(s, ERR_INVALID_SCALE);
    if (cType == SQL_C_DEFAULT) {
        const int version = StOdbcVersion(s);
        if (version == 2 && (sqlType == SQL_WLONGVARCHAR || sqlType == SQL_WVARCHAR || sqlType == SQL_WCHAR))
            cType = SQL_C_CHAR;
        else
            cType = DefaultCType(sqlType, version == 2 ? 2 : 3);
    }
    int64_t octets;
    if (VariableCType(cType))
        octets = -3;
    else if (FixedBindable(cType))
        octets = CTypeSize(cType);
    else
        return StFail(s, ERR_RESTRICTED_DATA_TYPE);

    ParamBinding b =
        NewParamBinding(n, bufLen == -1 ? static_cast<int16_t>(SQL_PARAM_INPUT) : paramType, cType, sqlType,
                        columnSize, digits, data, bufLen, octetLengthPtr, indicatorPtr, octets);
    if (TR_IsOn())
        TR_Printf("Par#%d c_type=%d sql_type=%d prec=%ld scale=%d size=%d cbValueMax=%d", n, cType, sqlType,
                  static_cast<long>(columnSize), digits, static_cast<int>(octets), static_cast<int>(bufLen));
    if (StmtSetParamBinding(s, &b) != SQL_SUCCESS)
        return SQL_ERROR;
    if ((s->apd && DescGrowRecs(s->apd, n) != 0) || (s->ipd && DescGrowRecs(s->ipd, n) != 0))
        return StFail(s, ERR_MEMORY_ALLOCATION);
    if (DescRec *r = s->apd ? DescGetRec(s->apd, n) : nullptr) {
        r->conciseType = cType;
        r->dataPtr = data;
        r->octetLengthPtr = octetLengthPtr;
        r->indicatorPtr = indicatorPtr;
    }
    if (DescRec *r = s->ipd ? DescGetRec(s->ipd, n) : nullptr) {
        r->conciseType = sqlType;
        r->parameterType = paramType;
        SetIpdSizes(r, sqlType, columnSize, digits);
    }
    return SQL_SUCCESS;
}

SQLRETURN ST_BindParameter(Stmt *s, SQLUSMALLINT n, SQLSMALLINT paramType, SQLSMALLINT cType,
                           SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT digits, SQLPOINTER data,
                           SQLLEN bufLen, SQLLEN *lenInd)
{
    return StmtBindParam(s, n, paramType, cType, sqlType, columnSize, digits, data, bufLen, lenInd, lenInd);
}

SQLRETURN ST_SetParam(Stmt *s, SQLUSMALLINT n, SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN columnSize,
                      SQLSMALLINT digits, SQLPOINTER data, SQLLEN *lenInd)
{
    if (!data && !lenInd)
        return StFail(s, ERR_INVALID_ARGUMENT);
    if (digits < 0)
        return StFail(s, ERR_INVALID_SCALE);
    if (cType == SQL_C_DEFAULT)
        cType = DefaultCType(sqlType, StOdbcVersion(s));
    const int64_t octets = SetParamOctets(cType);
    if (octets == 0)
        return StFail(s, ERR_RESTRICTED_DATA_TYPE);
    ParamBinding b = NewParamBinding(n, SQL_PARAM_INPUT, cType, sqlType, columnSize, digits, data, 0, lenInd,
                                     lenInd, octets);
    if (TR_IsOn())
        TR_Printf("Par#%d c_type=%d sql_type=%d prec=%ld scale=%d size=%d", n, cType, sqlType,
                  static_cast<long>(columnSize), digits, static_cast<int>(octets));
    return StmtSetParamBinding(s, &b) == SQL_SUCCESS && s->diag.errNum == ERR_NONE ? SQL_SUCCESS : SQL_ERROR;
}

SQLRETURN ST_DescribeParam(Stmt *s, SQLUSMALLINT n, SQLSMALLINT *sqlType, SQLULEN *columnSize,
                           SQLSMALLINT *digits, SQLSMALLINT *nullable)
{
    const ColDesc *d = StmtGetParamDesc(s, n);
    if (!d) {
        if (s->diag.errNum == ERR_NONE)
            s->diag.errNum = ERR_INVALID_PARAMETER_NUMBER;
        return SQL_ERROR;
    }
    if (sqlType)
        *sqlType = static_cast<SQLSMALLINT>(d->sqlType);
    if (columnSize)
        *columnSize = d->columnSize;
    if (digits)
        *digits = d->decimalDigits;
    if (nullable)
        *nullable = static_cast<SQLSMALLINT>(d->attrFlags & CD_NULLABLE_MASK);
    return SQL_SUCCESS;
}

// The C type that SQL_C_DEFAULT stands for.
#include "odbc/ctype.h"

namespace {

// SQL type -> C type; the date and time rows differ by ODBC version.
struct CTypeRow {
    int16_t sqlType;
    int16_t odbc2;
    int16_t odbc3;
};

const CTypeRow kDefaults[] = {
    {4, 4, 4},       {5, 5, 5},        {6, 8, 8},        {8, 8, 8},      {7, 7, 7},
    {9, 9, 91},      {10, 10, 92},     {11, 11, 93},     {91, 91, 91},   {92, 92, 92},
    {93, 93, 93},    {-10, -8, -8},    {-9, -8, -8},     {-8, -8, -8},   {-7, -7, -7},
    {-6, -6, -6},    {-5, 1, -25},     {1, 1, 1},        {2, 1, 1},      {3, 1, 1},
    {12, 1, 1},      {-11, 1, 1},      {-1, 1, 1},       {-4, -2, -2},   {-3, -2, -2},
    {-2, -2, -2},
};

} // namespace

int16_t DefaultCType(int16_t sqlType, int odbcVersion)
{
    for (const CTypeRow &row : kDefaults)
        if (row.sqlType == sqlType)
            return odbcVersion == 3 ? row.odbc3 : row.odbc2;
    return sqlType;
}

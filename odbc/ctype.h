// The C type that SQL_C_DEFAULT stands for.
#pragma once
#include <cstdint>

// The default C type of an SQL type for an ODBC 2 or 3 application; a type
// without a default comes back unchanged.
int16_t DefaultCType(int16_t sqlType, int odbcVersion);

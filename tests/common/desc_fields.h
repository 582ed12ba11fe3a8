// Descriptor field reads and writes for tests: each read takes the field at
// its own width into a variable that starts at a value the driver would not
// write, and a failing call fails the test.
#pragma once
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

template <class T>
T FieldRead(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field, T start, SQLINTEGER kind)
{
    T v = start;
    EXPECT_EQ(SQLGetDescField(d, rec, field, &v, kind, nullptr), SQL_SUCCESS) << field;
    return v;
}

inline SQLSMALLINT FieldSmall(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field)
{
    return FieldRead<SQLSMALLINT>(d, rec, field, -999, SQL_IS_SMALLINT);
}
inline SQLINTEGER FieldInt(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field)
{
    return FieldRead<SQLINTEGER>(d, rec, field, -999, SQL_IS_INTEGER);
}
// LENGTH, OCTET_LENGTH and DISPLAY_SIZE are SQLLEN fields.
inline SQLLEN FieldLen(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field)
{
    return FieldRead<SQLLEN>(d, rec, field, -999, SQL_IS_INTEGER);
}
inline SQLPOINTER FieldPtr(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field)
{
    return FieldRead<SQLPOINTER>(d, rec, field, reinterpret_cast<SQLPOINTER>(1), SQL_IS_POINTER);
}

inline SQLRETURN FieldSet(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field, intptr_t v, SQLINTEGER len = 0)
{
    return SQLSetDescField(d, rec, field, reinterpret_cast<SQLPOINTER>(v), len);
}
inline SQLRETURN FieldSetPtr(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field, const void *p)
{
    return SQLSetDescField(d, rec, field, const_cast<void *>(p), SQL_IS_POINTER);
}

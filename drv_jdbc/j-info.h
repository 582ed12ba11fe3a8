// DRV_GetInfo: the back end's capabilities, private items and the
// current connection attributes; GetOpTable: the SQL type
// conversion table; the scalar-function table behind each connection's map.
#pragma once
#include <cstdint>

struct HashTable;

// One row of the scalar-function table: name, SQL_FN_* bit, category
// (1 numeric, 2 string, 3 system, 4 time and date).
struct ScalarFunction {
    const char *name;
    uint32_t bit;
    int32_t category;
};

// The 65 rows in table order, then a row whose name is NULL.
extern const ScalarFunction kScalarFunctions[];

// A map of 65 buckets: each name to its 1-based row (a repeated name keeps
// its later row).  NULL when memory is short.
HashTable *BuildScalarFunctionMap();

// DRV_GetInfo: answers an item code of an environment, connection or statement
// handle as text or a 32-bit integer by the code's value kind.  0, 1 (not
// answered, nothing written), ERR_GENERAL (no JNIEnv), ERR_INVALID_ARGUMENT
// (unknown handle), or the failing JDBC call's number.
int DRV_GetInfo(int handle, int code, void *buf, int16_t len, int16_t *outLen);
// GetOpTable: table type 1 gets the conversion rows.  0, ERR_INVALID_ARGUMENT (unknown connection
// or no record), ERR_NOT_CAPABLE (another type; the record is left as it was).
int GetOpTable(int conn, void *request);

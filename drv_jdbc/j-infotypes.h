// DRV_GetInfo's answers to the ODBC information types (group 4 of a
// connection), the connection-dead question, and the statement items.
#pragma once
#include <cstdint>
#include <cstring>

struct DrvConn;
struct HashTable;

// Connection items beyond the capabilities: the information types (items
// DrvConnInfo(type)) and DRV_CONN_DEAD (1 when the JDBC connection is no
// longer valid: Connection.isValid false or failing, else 0).
// The caller has attached the thread and pushed a local frame.  0, 1 (not
// answered, nothing written) or the failing JDBC call's number.
int DRV_MoreConnectionItems(DrvConn *c, int item, int kind, void *buf, int16_t len,
                            int16_t *outLen);

// Statement items (class 3, kind bits cleared) of a back-end statement
// handle: the row count and the option values.  0, ERR_FUNCTION_NOT_SUPPORTED,
// ERR_GENERAL, ERR_INVALID_ARGUMENT.
int DRV_StatementItem(int handle, int item, int kind, void *buf, int16_t len, int16_t *outLen);

// The SQL_FN_* mask of a comma-separated function list (changed in place:
// cut at commas and upper-cased) for one category of the scalar-function
// table; names of another category or unknown names add nothing.
uint32_t parseScalarFunctions(char *list, const HashTable *map, int category);
// The SQL_CVT_* mask of the types a source type converts to
// (DatabaseMetaData.supportsConvert over the conversion pairs); a failing
// call ends the walk with *error set and mask 0.
uint32_t convertMask(DrvConn *c, int *error, int sqlType);
// SQL_SCROLL_OPTIONS: 17 when DYN_CURS_SENSITIVITY is DISABLED, else 31.
int32_t infoSensitivityFlags(const DrvConn *c);

// One item's answer: a number or a text.
struct InfoAnswer {
    bool isText = false;
    int32_t number = 0;
    char text[4096] = {};

    void Text(const char *t)
    {
        isText = true;
        std::strncpy(text, t, sizeof text - 1);
    }
};

// Writes an answer in the kind asked: a 32-bit number (0 for a text) or a
// text (empty for a number).  0, or 1 for an unknown kind.
int DeliverAnswer(const InfoAnswer &a, int kind, void *buf, int16_t len, int16_t *outLen);

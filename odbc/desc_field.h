// Descriptor fields and records: reading and writing one field, the record
// and copy entry points, and the routines that make a statement follow the
// application descriptor it uses.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/contract/textout.h"

struct Desc;
struct Stmt;

// Reads one header or record field into the application's output (a text by TXT_Put, in the
// output's width and unit).  Errors go to D: ERR_FUNCTION_NOT_SUPPORTED, ERR_GENERAL, ERR_DATA_TRUNCATED (with
// SQL_SUCCESS_WITH_INFO), ERR_INVALID_ARGUMENT, ERR_DESCRIPTOR_TYPE_RANGE,
// ERR_INVALID_DESCRIPTOR_INDEX, HY090 for a text field with a negative length; a record past the
// count is SQL_NO_DATA.  Nothing read changes D or its statement.
SQLRETURN DescGetField(Desc *d, int16_t rec, int16_t field, const TextOut &out);

// Writes one field and carries it into every statement that D describes (bindings and
// statement attributes).  Errors and warnings go to D: ERR_FUNCTION_NOT_SUPPORTED, ERR_MEMORY_ALLOCATION,
// ERR_DESCRIPTOR_TYPE_RANGE, ERR_OPTION_TYPE_RANGE, ERR_INVALID_DESCRIPTOR_INDEX,
// ERR_MODIFY_IRD, and those of the statement routines a field follows up.
SQLRETURN DescSetField(Desc *d, int16_t rec, int16_t field, uint64_t value, int64_t length,
                       int width);

// DescSetField for the statement attributes kept in descriptor headers
// (SQL_ATTR_ROW_ARRAY_SIZE, SQL_ATTR_PARAM_BIND_OFFSET_PTR ...): the
// diagnostic goes to the statement the application called, D keeps none.
SQLRETURN DescSetFieldForStmt(Stmt *s, Desc *d, int16_t field, uint64_t value, int64_t length,
                              int width);

// Make S follow its (newly assigned) current ARD or APD: its row or
// parameter attributes and its bindings become exactly those of D.  0 or an
// error number (ERR_GENERAL when an attribute cannot be applied).
int StmtApplyARD(Stmt *s, Desc *d);
int StmtApplyAPD(Stmt *s, Desc *d);

// Name of a descriptor kind for the trace: "USER", "IRD", "ARD", "IPD",
// "APD" or "UNKNOWN_DESC".
const char *DescKindName(const Desc *d);

// Implementations run by CallODBC.
SQLRETURN DS_GetDescField(Desc *d, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                          SQLINTEGER bufLen, SQLINTEGER *outLen, int width);
SQLRETURN DS_SetDescField(Desc *d, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value,
                          SQLINTEGER length, int width);
// SQLGetDescRec: HY090 for a negative name buffer length; the name is cut
// with 01004, its buffer and length in characters for the wide form.
SQLRETURN DS_GetDescRec(Desc *d, SQLSMALLINT rec, SQLPOINTER name, SQLSMALLINT bufLen,
                        SQLSMALLINT *nameLen, SQLSMALLINT *type, SQLSMALLINT *subType,
                        SQLLEN *length, SQLSMALLINT *precision, SQLSMALLINT *scale,
                        SQLSMALLINT *nullable, int width);
SQLRETURN DS_SetDescRec(Desc *d, SQLSMALLINT rec, SQLSMALLINT type, SQLSMALLINT subType,
                        SQLLEN length, SQLSMALLINT precision, SQLSMALLINT scale, SQLPOINTER data,
                        SQLLEN *strLen, SQLLEN *ind);
SQLRETURN DS_CopyDesc(Desc *src, SQLHDESC target);

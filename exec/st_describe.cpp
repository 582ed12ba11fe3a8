// Result description: SQLDescribeCol, SQLColAttribute (ODBC 3 fields) and
// the ODBC 2 column-attribute core behind SQLColAttributes.
#include <cstring>

#include "exec/st_internal.h"
#include "odbc/desc_field.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/textout.h"
#include "odbc/trace.h"

namespace {

const char *NameOf(const ColDesc &d) { return d.label && d.label[0] ? d.label : d.name; }

// SQL_COLUMN_LENGTH of an SQL type.
int64_t ColumnLength(int32_t sqlType, uint32_t size)
{
    switch (sqlType) {
    case SQL_CHAR: case SQL_VARCHAR: case SQL_LONGVARCHAR: case SQL_BINARY: case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return size;
    case SQL_NUMERIC: case SQL_DECIMAL: return static_cast<int64_t>(size) + 2;
    case SQL_INTEGER: case SQL_REAL: return 4;
    case SQL_SMALLINT: return 2;
    case SQL_FLOAT: case SQL_DOUBLE: return 8;
    case SQL_DATE: case SQL_TYPE_DATE: case SQL_TIME: case SQL_TYPE_TIME: return 6;
    case SQL_TIMESTAMP: case SQL_TYPE_TIMESTAMP: return 16;
    case SQL_WCHAR: case SQL_WVARCHAR: case SQL_WLONGVARCHAR: return CD_SizeDoubled(size);
    case SQL_BIT: case SQL_TINYINT: return 1;
    case SQL_BIGINT: return 20;
    case SQL_GUID: return 16;
    default:
        if (sqlType >= 101 && sqlType <= 113)
            return 28;
        return SQL_NO_TOTAL;
    }
}

int64_t Searchable(int32_t sqlType)
{
    switch (sqlType) {
    case SQL_LONGVARCHAR: case SQL_WLONGVARCHAR: return SQL_LIKE_ONLY;
    case SQL_CHAR: case SQL_VARCHAR: case SQL_WCHAR: case SQL_WVARCHAR: return SQL_SEARCHABLE;
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: return SQL_UNSEARCHABLE;
    default: return SQL_ALL_EXCEPT_LIKE;
    }
}

// The back end's override of an attribute of a column, when it sends them.
bool Override(Stmt *s, int item, uint16_t col, int64_t *out)
{
    if (!s->conn || !s->conn->cn_colAttrOp || !s->colAttrOverrides)
        return false;
    int32_t v = 0;
    const char *text = nullptr;
    double d = 0;
    if (TV_Lookup(s->colAttrOverrides, item, col, &v, &text, &d) != 1)
        return false;
    *out = v;
    return true;
}

// A descriptor field of the IRD record into the caller's buffers: a text
// field (kind 0) by the writer, a number (kind 2, 4 or 8) into num with its
// width as the length.
SQLRETURN IrdField(Stmt *s, uint16_t col, int16_t field, void *text, int16_t bufLen, int16_t *outLen, SQLLEN *num,
                   int kind, int width)
{
    if (!s->ird)
        return StFail(s, ERR_GENERAL);
    SQLRETURN rc;
    if (kind == 0) {
        rc = DescGetField(s->ird, static_cast<int16_t>(col), field, TXT_Out(width, TC_BYTES, text, bufLen, outLen));
    } else {
        if (!num) {
            if (outLen)
                *outLen = 0;
            return SQL_SUCCESS;
        }
        // Room for a field of any width; the length written says which.
        int64_t v = 0;
        int64_t len = 0;
        rc = DescGetField(s->ird, static_cast<int16_t>(col), field, TXT_Out(width, TC_BYTES, &v, sizeof v, &len));
        if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
            int16_t v16;
            int32_t v32;
            std::memcpy(&v16, &v, sizeof v16);
            std::memcpy(&v32, &v, sizeof v32);
            *num = len == 2 ? v16 : len == 4 ? v32 : static_cast<SQLLEN>(v);
        }
        if (outLen)
            *outLen = static_cast<int16_t>(len);
    }
    if (rc != SQL_SUCCESS)
        s->diag.errNum = s->ird->diag.errNum;
    return rc;
}

enum BookmarkAnswer { BA_NUMERIC, BA_TEXT, BA_UNKNOWN };

} // namespace

SQLRETURN ST_DescribeCol(Stmt *s, SQLUSMALLINT col, SQLPOINTER name, SQLSMALLINT bufLen, SQLSMALLINT *nameLen,
                         SQLSMALLINT *sqlType, SQLULEN *columnSize, SQLSMALLINT *digits, SQLSMALLINT *nullable,
                         int width)
{
    if (bufLen < 0)
        return StFail(s, ERR_INVALID_LENGTH);
    const ColDesc *d = StmtGetColDesc(s, col);
    if (!d) {
        if (s->diag.errNum == ERR_NONE)
            s->diag.errNum = ERR_INVALID_COLUMN_NUMBER;
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
    const char *text = col == 0 && s->cursor.useBookmarks ? "BOOKMARK" : NameOf(*d);
    // The wide form counts the name's buffer and length in characters.
    return TXT_Post(&s->diag, TXT_Put(text, TXT_Out(width, TC_CHARS, name, bufLen, nameLen)));
}

SQLRETURN StmtColAttributes(Stmt *s, uint16_t col, uint16_t item, void *text, int16_t bufLen, int16_t *outLen,
                            SQLLEN *num, int width)
{
    if (s->state != STMT_EXECUTED)
        return StFail(s, ERR_FUNCTION_SEQUENCE);
    if (bufLen < 0)
        return StFail(s, ERR_INVALID_LENGTH);
    if (item == SQL_COLUMN_COUNT) {
        uint16_t n = 0;
        if (int rc = StmtNumResultCols(s, &n))
            return StFail(s, rc);
        if (num)
            *num = n;
        return SQL_SUCCESS;
    }
    const ColDesc *d = StmtGetColDesc(s, col);
    if (!d) {
        if (s->diag.errNum == ERR_NONE)
            s->diag.errNum = ERR_INVALID_COLUMN_NUMBER;
        return SQL_ERROR;
    }
    if (!num && item >= 2 && item <= 13)
        return SQL_SUCCESS;
    const char *textAnswer = nullptr;
    int64_t v = 0;
    switch (item) {
    case SQL_COLUMN_NAME:
    case SQL_COLUMN_LABEL:
        textAnswer = NameOf(*d);
        break;
    case SQL_COLUMN_TYPE: v = d->sqlType; break;
    case SQL_COLUMN_LENGTH: v = ColumnLength(d->sqlType, d->columnSize); break;
    case SQL_COLUMN_PRECISION: v = d->columnSize; break;
    case SQL_COLUMN_SCALE: v = d->decimalDigits; break;
    case SQL_COLUMN_DISPLAY_SIZE: v = d->displaySize; break;
    case SQL_COLUMN_NULLABLE: v = d->attrFlags & CD_NULLABLE_MASK; break;
    case SQL_COLUMN_UNSIGNED:
        v = d->valueType == VT_BIT || d->valueType == VT_UTINYINT || d->valueType == VT_USHORT ||
                    d->valueType == VT_ULONG
                ? 1
                : 0;
        break;
    case SQL_COLUMN_MONEY: v = 0; break;
    case SQL_COLUMN_UPDATABLE:
        if (!Override(s, item, col, &v)) {
            const uint32_t code = (d->attrFlags & CD_UPDATABLE_MASK) >> CD_UPDATABLE_SHIFT;
            v = code == 0 ? SQL_ATTR_READWRITE_UNKNOWN : static_cast<int64_t>(code) - 1;
        }
        break;
    case SQL_COLUMN_AUTO_INCREMENT:
    case SQL_COLUMN_CASE_SENSITIVE:
    case 35:
    case 1053:
    case 1055:
        if (!Override(s, item, col, &v))
            v = 0;
        break;
    case SQL_COLUMN_SEARCHABLE:
        if (!Override(s, item, col, &v))
            v = Searchable(d->sqlType);
        break;
    case SQL_COLUMN_TYPE_NAME:
        return IrdField(s, col, SQL_DESC_TYPE_NAME, text, bufLen, outLen, num, 0, width);
    case SQL_COLUMN_TABLE_NAME: textAnswer = d->table ? d->table : ""; break;
    case SQL_COLUMN_OWNER_NAME: textAnswer = d->schema ? d->schema : ""; break;
    case SQL_COLUMN_QUALIFIER_NAME: textAnswer = d->catalog ? d->catalog : ""; break;
    default: v = 0; break;
    }
    if (textAnswer)
        return TXT_Post(&s->diag, TXT_Put(textAnswer, TXT_Out(width, TC_BYTES, text, bufLen, outLen)));
    if (num)
        *num = v;
    return SQL_SUCCESS;
}

SQLRETURN ST_ColAttributes(Stmt *s, SQLUSMALLINT col, SQLUSMALLINT item, SQLPOINTER text, SQLSMALLINT bufLen,
                           SQLSMALLINT *outLen, SQLLEN *num, int width)
{
    return StmtColAttributes(s, col, item, text, bufLen, outLen, num, width);
}

SQLRETURN ST_ColAttribute(Stmt *s, SQLUSMALLINT col, SQLUSMALLINT field, SQLPOINTER text, SQLSMALLINT bufLen,
                          SQLSMALLINT *outLen, SQLLEN *num, int width)
{
    if (col == 0 && s->cursor.useBookmarks) {
        static const uint16_t kZero[] = {2,    6,    8,    9,    10,   11,   12,   13,  32,
                                         35,   1001, 1003, 1005, 1006, 1008, 1012, 1053, 1055};
        static const uint16_t kEmpty[] = {14, 15, 16, 17, 18, 22, 23, 27, 28, 29, 1011};
        if (s->state != STMT_EXECUTED)
            return StFail(s, ERR_FUNCTION_SEQUENCE);
        if (field == SQL_DESC_TYPE || field == SQL_DESC_OCTET_LENGTH) {
            if (num)
                *num = field == SQL_DESC_TYPE ? 1 : 8;
            return SQL_SUCCESS;
        }
        for (uint16_t f : kZero) {
            if (f == field) {
                if (num)
                    *num = 0;
                return SQL_SUCCESS;
            }
        }
        for (uint16_t f : kEmpty) {
            if (f == field) {
                // An empty text answers SQL_SUCCESS even where its terminator found no room.
                const int err = TXT_Put("", TXT_Out(width, TC_BYTES, text, bufLen, outLen));
                return err == ERR_INVALID_LENGTH ? StFail(s, err) : SQL_SUCCESS;
            }
        }
    } else {
        switch (field) {
        case 0: case SQL_DESC_COUNT:
            return StmtColAttributes(s, col, SQL_COLUMN_COUNT, text, bufLen, outLen, num, width);
        case 1: case SQL_DESC_NAME:
            return StmtColAttributes(s, col, SQL_COLUMN_NAME, text, bufLen, outLen, num, width);
        case 7: case SQL_DESC_NULLABLE:
            return StmtColAttributes(s, col, SQL_COLUMN_NULLABLE, text, bufLen, outLen, num, width);
        case SQL_DESC_BASE_COLUMN_NAME: case SQL_DESC_BASE_TABLE_NAME: case SQL_DESC_LITERAL_PREFIX:
        case SQL_DESC_LITERAL_SUFFIX: case SQL_DESC_LOCAL_TYPE_NAME:
            if (s->state != STMT_EXECUTED)
                return StFail(s, ERR_FUNCTION_SEQUENCE);
            return IrdField(s, col, static_cast<int16_t>(field), text, bufLen, outLen, num, 0, width);
        case SQL_DESC_NUM_PREC_RADIX: case SQL_DESC_LENGTH: case SQL_DESC_OCTET_LENGTH:
            if (s->state != STMT_EXECUTED)
                return StFail(s, ERR_FUNCTION_SEQUENCE);
            return IrdField(s, col, static_cast<int16_t>(field), text, bufLen, outLen, num, 4, width);
        case SQL_DESC_TYPE: case SQL_DESC_PRECISION: case SQL_DESC_SCALE: case SQL_DESC_UNNAMED:
            if (s->state != STMT_EXECUTED)
                return StFail(s, ERR_FUNCTION_SEQUENCE);
            return IrdField(s, col, static_cast<int16_t>(field), text, bufLen, outLen, num, 2, width);
        default:
            if ((field >= 2 && field <= 18) || field == 35 || field == 1053 || field == 1055)
                return StmtColAttributes(s, col, field, text, bufLen, outLen, num, width);
            break;
        }
    }
    if (TR_IsOn())
        TR_Printf("SQLColAttribute - unknown field identifier\n");
    return StFail(s, ERR_DESCRIPTOR_TYPE_RANGE);
}

// One text column of the type-information row of an SQL type, read through
// a temporary statement (the descriptor and information layers ask for
// type names, literal prefixes and suffixes).
#include <cstdlib>
#include <cstring>

#include "exec/catalog.h"
#include "exec/st_internal.h"
#include "odbc/stmt.h"

namespace {

constexpr int kTypeNameColumn = 1;

// The back end's usual name of an SQL type into buf, "" when it has none.
void UsualTypeName(Stmt *s, int16_t sqlType, char *buf, int16_t size)
{
    buf[0] = '\0';
    const DrvBinding *b = s->binding;
    int16_t len = 0;
    if (!b || !b->ops || !b->ops->GetInfo ||
        b->ops->GetInfo(static_cast<int>(s->conn->drvConn), DrvText(DrvConnTypeName(sqlType)), buf, size,
                        &len) != 0)
        buf[0] = '\0';
}

// The current row's TYPE_NAME as read (room for any PostgreSQL type name).
struct RowName {
    SQLRETURN rc;
    SQLLEN ind;
    char text[256];
    bool Is(const char *name) const { return rc == SQL_SUCCESS && ind != SQL_NULL_DATA && std::strcmp(text, name) == 0; }
};

void ReadRowName(Stmt *s, RowName *n)
{
    n->text[0] = '\0';
    n->ind = SQL_NULL_DATA;
    n->rc = StmtGetData(s, kTypeNameColumn, SQL_C_CHAR, n->text, sizeof n->text, &n->ind);
}

// The row's answer for the column: TYPE_NAME from what was read, handed out
// as StmtGetData would (cut to the buffer with SQL_SUCCESS_WITH_INFO, the
// whole length or -1 for NULL in *len); any other column read now.
SQLRETURN Answer(Stmt *s, int column, const RowName &name, char *buf, int64_t bufSize, int64_t *len)
{
    if (column != kTypeNameColumn) {
        SQLLEN ind = 0;
        SQLRETURN rc = StmtGetData(s, static_cast<uint16_t>(column), SQL_C_CHAR, buf, bufSize, &ind);
        if (len)
            *len = ind;
        return rc;
    }
    if (len)
        *len = name.ind;
    if (name.rc != SQL_SUCCESS || name.ind == SQL_NULL_DATA)
        return name.rc;
    const size_t n = std::strlen(name.text);
    if (len)
        *len = static_cast<int64_t>(n);
    if (!buf || bufSize <= 0)
        return SQL_SUCCESS;
    const size_t room = static_cast<size_t>(bufSize) - 1;
    const size_t kept = n < room ? n : room;
    std::memcpy(buf, name.text, kept);
    buf[kept] = '\0';
    if (kept == n)
        return SQL_SUCCESS;
    s->diag.errNum = ERR_DATA_TRUNCATED;
    return SQL_SUCCESS_WITH_INFO;
}

// Reads the column from the open type-information result of one SQL type:
// from the row of the type's usual PostgreSQL name ("varchar", "bpchar" ...)
// when the result holds it, else from the first row.  The first fetch's
// result when it is not SQL_SUCCESS (SQL_NO_DATA for a type not listed),
// else the read's.
SQLRETURN ReadTypeRow(Stmt *s, int column, int16_t sqlType, char *buf, int64_t bufSize, int64_t *len)
{
    SQLRETURN rc = StmtFetchForward(s);
    if (rc != SQL_SUCCESS)
        return rc;
    char usual[64];
    UsualTypeName(s, sqlType, usual, sizeof usual);
    RowName name;
    ReadRowName(s, &name);
    rc = Answer(s, column, name, buf, bufSize, len);
    if (!*usual || name.Is(usual) || rc == SQL_ERROR)
        return rc;
    // Other types share the SQL type ("name" and "text" are VARCHAR too):
    // a later row of the usual one answers instead.
    while (StmtFetchForward(s) == SQL_SUCCESS) {
        ReadRowName(s, &name);
        if (name.Is(usual))
            return Answer(s, column, name, buf, bufSize, len);
    }
    return rc;
}

} // namespace

SQLRETURN ConnGetTypeInfoColumn(Conn *c, int column, int16_t sqlType, char *buf, int64_t bufSize, int64_t *len)
{
    if (c->state != CONN_CONNECTED) {
        c->diag.errNum = ERR_CONNECTION_NOT_OPEN;
        return SQL_ERROR;
    }
    Stmt *s = StmtAlloc(c);
    if (!s)
        return SQL_ERROR;
    SQLRETURN rc = ST_GetTypeInfo(s, sqlType);
    if (rc == SQL_SUCCESS)
        rc = ReadTypeRow(s, column, sqlType, buf, bufSize, len);
    if (rc == SQL_ERROR) {
        // The temporary statement's diagnostics become the connection's.
        c->diag.errNum = s->diag.errNum ? s->diag.errNum : ERR_GENERAL;
        int32_t native = 0;
        while (char *text = ERR_Pop(&s->diag, &native)) {
            ERR_Push(&c->diag, text, native);
            std::free(text);
        }
    }
    StmtClose(s);
    StmtFree(s);
    return rc;
}

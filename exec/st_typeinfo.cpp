// One text column of the type-information row of an SQL type, read through
// a temporary statement (the descriptor and information layers ask for
// type names, literal prefixes and suffixes).
#include <cstdlib>

#include "exec/st_internal.h"
#include "odbc/stmt.h"

SQLRETURN ConnGetTypeInfoColumn(Conn *c, int column, int16_t sqlType, char *buf, int64_t bufSize, int64_t *len)
{
    if (c->state != CONN_CONNECTED) {
        c->diag.errNum = STE_NOT_CONNECTED;
        return SQL_ERROR;
    }
    Stmt *s = StmtAlloc(c);
    if (!s)
        return SQL_ERROR;
    const DrvOpTable *ops = StOps(s);
    SQLRETURN rc;
    int err = ops && ops->DDGetTypeInfo ? ops->DDGetTypeInfo(StDrv(s), sqlType) : STE_NOT_CAPABLE;
    if (err != 0) {
        s->diag.errNum = err;
        StmtFetchErrors(s);
        rc = SQL_ERROR;
    } else {
        s->state = STMT_EXECUTED;
        s->flags |= ST_CURSOR_OPEN;
        rc = StmtFetchForward(s);
        if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
            SQLLEN ind = 0;
            rc = StmtGetData(s, static_cast<uint16_t>(column), SQL_C_CHAR, buf, bufSize, &ind);
            if (len)
                *len = ind;
        }
    }
    if (rc == SQL_ERROR) {
        // The temporary statement's diagnostics become the connection's.
        c->diag.errNum = s->diag.errNum ? s->diag.errNum : STE_GENERAL;
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

// The statement side of descriptors.
#include "odbc/desc_stmt.h"

#include <cstring>

#include "odbc/handles.h"
#include "odbc/stmtattr.h"

namespace {

// Result columns whose names mark them as internal are not shown.
bool HiddenColumn(const ColDesc &c)
{
    const char *n = c.name;
    return n[0] == '*' && (n[1] == 'I' || n[1] == 'O' || n[1] == 'B' || n[1] == 'U');
}

ColDesc MakeBookmarkDesc()
{
    ColDesc d{};
    std::strcpy(d.name, "BOOKMARK");
    d.sqlType = SQL_CHAR;
    d.baseSqlType = SQL_CHAR;
    d.columnSize = 8;
    d.displaySize = 8;
    d.bufferLength = 8;
    return d;
}

const ColDesc kBookmarkDesc = MakeBookmarkDesc();

} // namespace

// ---- bindings ----
// The statement keeps no column or parameter bindings of its own yet: the
// descriptor records are the only copy.

bool DescStmtFindBinding(Stmt *, bool, uint16_t, DescBinding *) { return false; }
void DescStmtUnbindData(Stmt *, bool, uint16_t) {}
void DescStmtSetBindingPtr(Stmt *, bool, uint16_t, DescBindPtr, SQLLEN *) {}
bool DescStmtSetParamItem(Stmt *, uint16_t, DescParamItem, int64_t) { return false; }
int16_t DescStmtParamSqlType(Stmt *, uint16_t) { return 0; }
void DescStmtUnbindAllCols(Stmt *) {}
void DescStmtUnbindAllParams(Stmt *) {}
void DescStmtUnbindColsAbove(Stmt *, uint16_t) {}
void DescStmtUnbindParamsAbove(Stmt *, uint16_t) {}
int DescStmtBindCol(Stmt *, uint16_t, int16_t, void *, int64_t, SQLLEN *) { return 0; }
int DescStmtBindParam(Stmt *, uint16_t, int16_t, int16_t, int16_t, uint64_t, int16_t, void *,
                      int64_t, SQLLEN *, SQLLEN *)
{
    return 0;
}

// ---- attributes ----

SQLRETURN DescStmtSetRowsetSize(Stmt *s, uint64_t size, int *err)
{
    const int32_t kept = s->diag.errNum;
    s->diag.errNum = 0;
    SQLRETURN rc = StmtSetOption(s, SQL_ROWSET_SIZE, size);
    *err = rc == SQL_SUCCESS ? 0 : s->diag.errNum;
    if (rc == SQL_ERROR && *err == 0)
        *err = 15;
    s->diag.errNum = kept;
    return rc;
}

int DescStmtSetParamset(Stmt *s, uint64_t size, SQLULEN *processed)
{
    if (!s->conn || !s->conn->cn_hasParamOp)
        return size == 1 ? 0 : 1;
    if (size == 0)
        return 39;
    s->paramsetSize = size;
    s->paramsProcessedPtr = processed;
    if (s->ipd)
        s->ipd->rowsProcessedPtr = processed;
    return 0;
}

SQLULEN *DescStmtRowsFetchedPtr(Stmt *s) { return s->rowsFetchedPtr; }
void DescStmtSetRowsFetchedPtr(Stmt *s, SQLULEN *p) { s->rowsFetchedPtr = p; }
SQLULEN *DescStmtParamsProcessedPtr(Stmt *s) { return s->paramsProcessedPtr; }

// ---- descriptions ----

int DescStmtNumResultCols(Stmt *s, uint16_t *count)
{
    if (s->state != STMT_EXECUTED)
        return 22;
    uint16_t n = 0;
    for (uint16_t i = 0; s->resultCols && i < s->resultColCount; ++i)
        if (!HiddenColumn(s->resultCols[i]))
            ++n;
    *count = n;
    return 0;
}

const ColDesc *DescStmtColDesc(Stmt *s, uint16_t n, int *err)
{
    *err = 0;
    if (n == 0 && s->cursor.useBookmarks)
        return &kBookmarkDesc;
    if (n >= 1 && s->resultCols && n <= s->resultColCount)
        return &s->resultCols[n - 1];
    *err = 17;
    return nullptr;
}

const ColDesc *DescStmtParamDesc(Stmt *s, uint16_t n)
{
    if (n >= 1 && s->paramCols && n <= s->paramCount)
        return &s->paramCols[n - 1];
    return nullptr;
}

bool DescStmtOverride(Stmt *, int, uint16_t, int32_t *, const char **) { return false; }

int DescStmtTypeInfoText(Stmt *, int, int16_t, char *buf)
{
    buf[0] = '\0';
    return 0;
}

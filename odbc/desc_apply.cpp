// A statement following the application descriptor it uses: when a
// descriptor becomes a statement's ARD or APD (assigned, or the implicit one
// back after an explicit one was freed), the statement's row or parameter
// attributes and its bindings become exactly the descriptor's.
#include "odbc/desc_field.h"
#include "odbc/desc_internal.h"
#include "odbc/desc_rec.h"
#include "odbc/handles.h"

int StmtApplyARD(Stmt *s, Desc *d)
{
    s->bindType = d->bindType;
    int err = 0;
    if (DescStmtSetRowsetSize(s, d->arraySize, &err) == SQL_ERROR)
        return ERR_GENERAL;
    // Columns the old ARD bound and this one does not are unbound.
    DescStmtUnbindAllCols(s);
    for (int i = 0; i <= d->count; ++i) {
        DescRec *r = DescGetRec(d, i);
        if (!r || !r->dataPtr)
            continue;
        err = DescBindColFromRec(s, d, static_cast<uint16_t>(i), r);
        if (err)
            return err;
    }
    return 0;
}

int StmtApplyAPD(Stmt *s, Desc *d)
{
    if (DescStmtSetParamset(s, d->arraySize, s->ipd ? s->ipd->rowsProcessedPtr : nullptr) != 0)
        return ERR_GENERAL;
    if (s->ipd && s->ipd->count < d->count && DescGrowRecs(s->ipd, d->count) != 0)
        return ERR_GENERAL;
    DescStmtUnbindAllParams(s);
    for (int i = 1; i <= d->count; ++i) {
        DescRec *r = DescGetRec(d, i);
        if (!r || !r->dataPtr)
            continue;
        int err = DescBindParamFromRec(s, static_cast<uint16_t>(i), r);
        if (err)
            return err;
    }
    return 0;
}

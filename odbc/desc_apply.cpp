// A statement following the application descriptor it uses: when a
// descriptor becomes a statement's ARD or APD (assigned, or the implicit one
// back after an explicit one was freed), the statement's row or parameter
// attributes and its bindings become exactly the descriptor's.
#include "odbc/desc_field.h"
#include "odbc/desc_internal.h"
#include "odbc/desc_rec.h"
#include "odbc/handles.h"

// Column size and decimal digits of a parameter from its IPD record
// (desc_set.cpp).
void DescIpdSizeDigits(const DescRec *ipd, uint64_t *columnSize, int16_t *digits);

int StmtApplyARD(Stmt *s, Desc *d)
{
    s->bindType = d->bindType;
    int err = 0;
    if (DescStmtSetRowsetSize(s, d->arraySize, &err) == SQL_ERROR)
        return 15;
    // Columns the old ARD bound and this one does not are unbound.
    DescStmtUnbindAllCols(s);
    for (int i = 0; i <= d->count; ++i) {
        DescRec *r = DescGetRec(d, i);
        if (!r || !r->dataPtr)
            continue;
        SQLLEN *const octetLengthPtr = r->octetLengthPtr;
        err = DescStmtBindCol(s, static_cast<uint16_t>(i), r->conciseType, r->dataPtr,
                              r->octetLength, r->indicatorPtr);
        if (err)
            return err;
        r->octetLengthPtr = octetLengthPtr;
        DescStmtSetBindingPtr(s, true, static_cast<uint16_t>(i), DBP_OCTET_LENGTH, octetLengthPtr);
    }
    return 0;
}

int StmtApplyAPD(Stmt *s, Desc *d)
{
    if (DescStmtSetParamset(s, d->arraySize, s->ipd ? s->ipd->rowsProcessedPtr : nullptr) != 0)
        return 15;
    if (s->ipd && s->ipd->count < d->count && DescGrowRecs(s->ipd, d->count) != 0)
        return 15;
    DescStmtUnbindAllParams(s);
    for (int i = 1; i <= d->count; ++i) {
        DescRec *r = DescGetRec(d, i);
        if (!r || !r->dataPtr)
            continue;
        DescRec *ipd = s->ipd ? DescGetRec(s->ipd, i) : nullptr;
        uint64_t size = 0;
        int16_t digits = 0;
        DescIpdSizeDigits(ipd, &size, &digits);
        int err = DescStmtBindParam(s, static_cast<uint16_t>(i),
                                    ipd ? ipd->parameterType : SQL_PARAM_INPUT, r->conciseType,
                                    ipd ? ipd->conciseType : 0, size, digits, r->dataPtr,
                                    r->octetLength, r->octetLengthPtr, r->indicatorPtr);
        if (err)
            return err;
    }
    return 0;
}

// The classic execute: checks, data at execution asked for, the parameter
// block sent with the parameter types, and the outcome (counts, row
// statuses, output parameters or the back end's messages); the parameter
// value and class helpers both engines use.
#include <cstring>
#include <vector>

#include "odbc/ctype.h"
#include "exec/st_build.h"
#include "exec/st_internal.h"
#include "odbc/stmt.h"
#include "odbc/contract/param_types.h"


// ---- parameter values ----

int64_t ParamValueLength(const ParamBinding &b)
{
    switch (b.cType) {
    case SQL_C_CHAR:
    case SQL_C_BINARY:
        return b.bufferLength > 0 ? b.bufferLength : static_cast<int64_t>(b.columnSize);
    case SQL_C_WCHAR:
        return b.bufferLength > 0 ? b.bufferLength : 2 * static_cast<int64_t>(b.columnSize);
    default:
        return b.octetSize > 0 ? b.octetSize : 0;
    }
}

ParamCell ParamCellAt(const Stmt *s, const ParamBinding &b, uint32_t row)
{
    const Desc *apd = s->apd;
    int64_t offset = apd && apd->bindOffsetPtr ? *apd->bindOffsetPtr : 0;
    int64_t dataStep, lenStep;
    if (apd && apd->bindType != SQL_PARAM_BIND_BY_COLUMN) {
        dataStep = lenStep = static_cast<int64_t>(row) * apd->bindType;
    } else {
        dataStep = static_cast<int64_t>(row) * ParamValueLength(b);
        lenStep = static_cast<int64_t>(row) * static_cast<int64_t>(sizeof(SQLLEN));
    }
    auto at = [&](void *p, int64_t step) -> char * {
        return p ? static_cast<char *>(p) + offset + step : nullptr;
    };
    return ParamCell{at(b.data, dataStep), reinterpret_cast<SQLLEN *>(at(b.octetLengthPtr, lenStep)),
                     reinterpret_cast<SQLLEN *>(at(b.indicatorPtr, lenStep))};
}

int64_t ParamValueLengthRow(const Stmt *s, const ParamBinding &b, uint32_t row)
{
    const ParamCell c = ParamCellAt(s, b, row);
    const SQLLEN ind = c.indicator ? *c.indicator : 0;
    if (ind == SQL_NULL_DATA)
        return 0;
    const SQLLEN len = c.length ? *c.length : b.octetSize;
    if (c.length && IsDataAtExec(len)) {
        if (!b.rowLengths || static_cast<int64_t>(row) >= b.rowCount)
            return 0;
        return b.rowLengths[row] > 0 ? b.rowLengths[row] : 0;
    }
    if (!c.data)
        return 0;
    if (len != SQL_NTS)
        return len > 0 ? len : 0;
    // Text up to its terminator, within the buffer when its length is known.
    const int64_t limit = b.bufferLength > 0 ? b.bufferLength : INT64_MAX;
    if (b.cType == SQL_C_WCHAR) {
        const SQLWCHAR *w = static_cast<const SQLWCHAR *>(c.data);
        int64_t n = 0;
        while (2 * (n + 1) <= limit && w[n] != 0)
            ++n;
        return 2 * n;
    }
    const char *t = static_cast<const char *>(c.data);
    int64_t n = 0;
    while (n < limit && t[n] != '\0')
        ++n;
    return n;
}

int64_t ParamMaxValueLength(const Stmt *s, const ParamBinding &b, uint32_t rows)
{
    int64_t longest = 0;
    for (uint32_t r = 0; r < rows; ++r) {
        int64_t n = ParamValueLengthRow(s, b, r);
        if (n > longest)
            longest = n;
    }
    return longest;
}

int16_t ParamClassOf(const Stmt *s, uint16_t i)
{
    const char *name = s->paramCols && i < s->paramCount ? s->paramCols[i].name : "";
    if (name[0] != '*' || (name[1] != 'O' && name[1] != 'B' && name[1] != 'U'))
        return PARAM_INPUT;  // a marker outside a procedure call returns nothing
    if (name[1] == 'O')
        return PARAM_OUTPUT;
    // A procedure call's markers may all be described as input-output ("*B")
    // or left open ("*U"): the direction the application bound decides.
    const ParamBinding *b = i < s->paramCapacity ? &s->paramBindings[i] : nullptr;
    if (b && b->number == i + 1) {
        if (b->paramType == SQL_PARAM_OUTPUT)
            return PARAM_OUTPUT;
        if (b->paramType == SQL_PARAM_INPUT_OUTPUT)
            return PARAM_INPUT_OUTPUT;
        if (b->paramType == SQL_PARAM_INPUT)
            return PARAM_INPUT;
    }
    return name[1] == 'B' ? PARAM_INPUT_OUTPUT : PARAM_INPUT;
}

bool ParamCountClasses(Stmt *s, bool resolve)
{
    StmtExec &ex = *s->ex;
    ex.inParams = ex.outParams = ex.inoutParams = 0;
    if (!resolve)
        ex.deferredClass = 0;
    for (uint16_t i = 0; i < s->paramCount; ++i) {
        const char *name = s->paramCols ? s->paramCols[i].name : "";
        if (!resolve && name[0] == '*' && name[1] == 'U') {
            ex.deferredClass = 1;
            return false;
        }
        switch (ParamClassOf(s, i)) {
        case PARAM_OUTPUT: ++ex.outParams; break;
        case PARAM_INPUT_OUTPUT: ++ex.inoutParams; break;
        default: ++ex.inParams; break;
        }
    }
    return true;
}

void NarrowParamSqlTypes(ParamTypeDesc *types, uint16_t n)
{
    for (uint16_t i = 0; i < n; ++i) {
        switch (types[i].sqlType) {
        case SQL_WLONGVARCHAR: types[i].sqlType = SQL_LONGVARCHAR; break;
        case SQL_WVARCHAR: types[i].sqlType = SQL_VARCHAR; break;
        case SQL_WCHAR: types[i].sqlType = SQL_CHAR; break;
        default: break;
        }
        if (types[i].cType == SQL_C_WCHAR)
            types[i].cType = SQL_C_CHAR;
    }
}

// ---- the engine ----

int StmtParamsNeedData(Stmt *s)
{
    const uint16_t n = s->paramCount < s->paramCapacity ? s->paramCount : s->paramCapacity;
    const uint32_t rows = static_cast<uint32_t>(s->paramsetSize);
    StmtExec &ex = *s->ex;
    for (uint32_t r = ex.daeScanRow; r < rows; ++r) {
        for (uint16_t i = r == ex.daeScanRow ? ex.daeScanParam : 0; i < n; ++i) {
            const ParamBinding &b = s->paramBindings[i];
            if (b.number != i + 1 || !b.octetLengthPtr)
                continue;
            const ParamCell c = ParamCellAt(s, b, r);
            if (c.length && IsDataAtExec(*c.length)) {
                ex.daeScanRow = r;
                ex.daeScanParam = i;
                return 1;
            }
        }
    }
    ex.daeScanRow = 0;
    ex.daeScanParam = 0;
    return 0;
}

SQLRETURN StmtPreExecute(Stmt *s)
{
    if (s->daeState != DAE_NONE)
        return StFail(s, ERR_FUNCTION_SEQUENCE);
    if (!(s->flags & ST_PREPARED))
        return StFail(s, ERR_FUNCTION_SEQUENCE);
    if (int rc = StmtAllocParamBufs(s))
        return StFail(s, rc);
    s->ex->daeScanParam = 0;
    s->ex->daeScanRow = 0;
    s->ex->daeCurRow = 0;
    s->ex->daeNamed = 0;
    if (StmtParamsNeedData(s)) {
        s->daeState = DAE_EXECUTE;
        return SQL_NEED_DATA;
    }
    return SQL_SUCCESS;
}

// ERR_WRONG_PARAMETER_COUNT (07001) when a parameter has no usable binding.
int CheckBindings(Stmt *s, bool v2)
{
    if (s->paramCount > s->paramCapacity)
        return ERR_WRONG_PARAMETER_COUNT;
    for (uint16_t i = 0; i < s->paramCount; ++i) {
        const ParamBinding &b = s->paramBindings[i];
        if (b.number != i + 1)
            return ERR_WRONG_PARAMETER_COUNT;
        if (!b.data && !b.octetLengthPtr) {
            if (!v2)
                return ERR_WRONG_PARAMETER_COUNT;
            if (b.paramType != SQL_PARAM_OUTPUT)
                return ERR_INVALID_ARGUMENT;
        }
    }
    return 0;
}

SQLRETURN StmtExecuteClassic(Stmt *s)
{
    if (!(s->flags & ST_PREPARED))
        return StFail(s, ERR_FUNCTION_SEQUENCE);
    if (int rc = CheckBindings(s, false))
        return StFail(s, rc);
    s->daeState = DAE_NONE;
    ParamCountClasses(s, true);
    ParamBlock pb;
    if (int rc = BuildParamBlock(s, false, &pb))
        return StFail(s, rc);
    std::vector<uint32_t> rows = pb.rows;
    const uint32_t sent = pb.block ? static_cast<uint32_t>(pb.block->rowsUsed) : 0;
    const bool any = pb.block != nullptr;
    int rc = SendParams(s, &pb);
    StmtFreeResultDescs(s);
    return StmtExecOutcome(s, rc, sent, any ? rows.data() : nullptr);
}

SQLRETURN StmtExecOutcome(Stmt *s, int number, uint32_t rowsSent, const uint32_t *sentRows)
{
    SQLULEN *processed = StParamsProcessed(s);
    uint16_t *status = s->ipd ? s->ipd->arrayStatusPtr : nullptr;
    const uint32_t setRows = static_cast<uint32_t>(s->paramsetSize);
    auto setStatus = [&](uint32_t doneRows, bool failed) {
        if (!status)
            return;
        for (uint32_t r = 0; r < setRows; ++r)
            status[r] = SQL_PARAM_UNUSED;
        for (uint32_t k = 0; k < rowsSent; ++k) {
            const uint32_t r = sentRows ? sentRows[k] : k;
            if (r >= setRows)
                continue;
            if (k < doneRows)
                status[r] = SQL_PARAM_SUCCESS;
            else if (failed && k == doneRows)
                status[r] = SQL_PARAM_ERROR;
        }
    };
    if (number == 0 || number == ERR_OUTPUT_PARAMS_PENDING) {
        if (processed)
            *processed = s->selectFlag && s->paramsetSize > 1 ? 1 : rowsSent;
        setStatus(rowsSent, false);
        s->currentRow = 0;
        std::memset(&s->ex->gd, 0, sizeof s->ex->gd);
        s->state = STMT_EXECUTED;
        s->flags |= ST_CURSOR_OPEN;
        s->diag.errNum = number == ERR_OUTPUT_PARAMS_PENDING ? 0 : number;
        if (s->conn && s->conn->cn_spOutDeferFetch && number != ERR_OUTPUT_PARAMS_PENDING)
            return SQL_SUCCESS;
        if (!s->ex->outParams && !s->ex->inoutParams)
            return SQL_SUCCESS;
        return StmtGetOutParams(s);
    }
    s->diag.errNum = number;
    StmtFetchErrors(s);
    int32_t done = -1;
    const DrvOpTable *ops = StOps(s);
    if ((processed || status) && ops && ops->GetInfo) {
        int16_t len = 0;
        if (ops->GetInfo(StDrv(s), DrvInt(DRV_STMT_ROW_COUNT), &done, 4, &len) != 0)
            done = -1;
    }
    if (processed && done >= -1)
        *processed = static_cast<SQLULEN>(done + 1);
    setStatus(done >= 0 ? static_cast<uint32_t>(done) : 0, true);
    s->diag.errNum = number;
    return number == ERR_COMPLETED_WITH_WARNING ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
}

SQLRETURN StmtGetOutParams(Stmt *s)
{
    const DrvOpTable *ops = StOps(s);
    const uint16_t n = s->paramCount < s->paramCapacity ? s->paramCount : s->paramCapacity;
    StmtFreeResults(s);
    int rc = ops && ops->Fetch ? ops->Fetch(StDrv(s), 0, &s->result) : ERR_NOT_CAPABLE;
    if (rc != 0) {
        StmtFetchErrors(s);
        return StFail(s, rc);
    }
    s->ex->gd.column = 0;
    s->ex->gd.row = 0;
    // The back end answers either a column per parameter or one per output
    // parameter, in parameter order.
    const bool perParameter = s->result.columnsUsed >= n;
    uint16_t outCol = 0;
    SQLRETURN result = SQL_SUCCESS;
    for (uint16_t i = 0; i < n; ++i) {
        const int16_t cls = ParamClassOf(s, i);
        if (cls != PARAM_OUTPUT && cls != PARAM_INPUT_OUTPUT)
            continue;
        outCol = perParameter ? static_cast<uint16_t>(i + 1) : static_cast<uint16_t>(outCol + 1);
        const ParamBinding &b = s->paramBindings[i];
        if (b.number != i + 1 || !b.data)
            continue;
        const ParamCell c = ParamCellAt(s, b, 0);
        ColBindingHead head{};
        head.column = outCol;
        head.cType = b.cType == SQL_C_DEFAULT ? DefaultCType(b.sqlType, StOdbcVersion(s)) : b.cType;
        head.decimalDigits = b.decimalDigits;
        head.data = c.data;
        head.bufferLength = (b.cType == SQL_C_CHAR || b.cType == SQL_C_BINARY || b.cType == SQL_C_WCHAR)
                                ? b.bufferLength
                                : b.octetSize;
        head.octetLengthPtr = c.length;
        head.indicatorPtr = c.indicator;
        s->diag.errNum = ERR_OUTPUT_PARAMS_PENDING;
        SQLRETURN one = StGetColumn(s, 0, &head, &s->result);
        if (one != SQL_SUCCESS && one != SQL_SUCCESS_WITH_INFO)
            return one;
        if (one == SQL_SUCCESS_WITH_INFO)
            result = one;
    }
    return result;
}

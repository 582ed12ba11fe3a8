// Data at execution gathered by the back end (the V2 capability): the block
// goes out with such values marked, the back end asks for them through
// ParamData and receives each piece through PutData.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "exec/conv_send.h"
#include "exec/st_build.h"
#include "exec/st_internal.h"
#include "exec/st_setpos.h"
#include "odbc/contract/flavour.h"
#include "odbc/contract/param_types.h"
#include "odbc/contract/rb_ops.h"
#include "util/acp.h"

namespace {

struct V2TypeRow {
    int16_t cType;
    ValueType vt;
    uint32_t width;
};

const V2TypeRow kV2Types[] = {
    {SQL_C_NUMERIC, VT_DOUBLE, 8},   {SQL_C_DOUBLE, VT_DOUBLE, 8},     {SQL_C_LONG, VT_LONG, 4},
    {SQL_C_SLONG, VT_LONG, 4},       {SQL_C_SHORT, VT_SHORT, 2},       {SQL_C_SSHORT, VT_SHORT, 2},
    {SQL_C_FLOAT, VT_FLOAT, 4},      {SQL_C_DATE, VT_DATE, 6},         {SQL_C_TYPE_DATE, VT_DATE, 6},
    {SQL_C_TIME, VT_TIME, 6},        {SQL_C_TYPE_TIME, VT_TIME, 6},    {SQL_C_TIMESTAMP, VT_TIMESTAMP, 16},
    {SQL_C_TYPE_TIMESTAMP, VT_TIMESTAMP, 16}, {SQL_C_UTINYINT, VT_UTINYINT, 1}, {SQL_C_SBIGINT, VT_CHAR, 32},
    {SQL_C_UBIGINT, VT_CHAR, 32},    {SQL_C_TINYINT, VT_TINYINT, 1},   {SQL_C_STINYINT, VT_TINYINT, 1},
    {SQL_C_ULONG, VT_ULONG, 4},      {SQL_C_USHORT, VT_USHORT, 2},     {SQL_C_GUID, VT_CHAR, 36},
    {SQL_C_WCHAR, VT_WCHAR, 0},      {SQL_C_BIT, VT_BIT, 1},           {SQL_C_BINARY, VT_BINARY, 0},
};

// One piece on its way to the back end; owns its bytes.
struct Piece {
    ValueType vt = VT_CHAR;
    int indicator = 0;
    uint8_t *bytes = nullptr;
    int64_t size = 0;
    ~Piece() { std::free(bytes); }
};

int NewBytes(Piece *p, int64_t size)
{
    p->bytes = static_cast<uint8_t *>(std::calloc(static_cast<size_t>(size > 0 ? size : 1), 1));
    p->size = size;
    return p->bytes ? 0 : ERR_MEMORY_ALLOCATION;
}

// Wide text of the piece as ANSI code-page text, for a back end that takes
// narrow text only.
int PutDataToNarrow(Piece *p)
{
    if (p->vt != VT_WCHAR || p->indicator == SQL_NULL_DATA)
        return 0;
    const int64_t units = p->size / 2;
    char *ansi = ACP_DupFromWideN<SQLWCHAR>(reinterpret_cast<const SQLWCHAR *>(p->bytes), units);
    if (!ansi)
        return ERR_MEMORY_ALLOCATION;
    std::free(p->bytes);
    p->bytes = reinterpret_cast<uint8_t *>(ansi);
    p->size = static_cast<int64_t>(std::strlen(ansi));
    p->vt = VT_CHAR;
    return 0;
}

// The C type (and SQL type) of the value the back end asked for: in an
// execute, the parameter at the V2 index; in SQLSetPos, the bound column
// (which has no SQL type).  False when there is none.
bool PieceTarget(Stmt *s, int16_t *cType, int16_t *sqlType)
{
    const uint16_t number = static_cast<uint16_t>(s->ex->v2Index + 1);
    if (s->daeState == DAE_EXECUTE) {
        const ParamBinding *b = StmtGetParamBinding(number, s);
        if (!b)
            return false;
        *cType = b->cType;
        *sqlType = b->sqlType;
        return true;
    }
    const ColBinding *b = s->daeState == DAE_SETPOS ? StmtFindBoundCol(number, s) : nullptr;
    if (!b)
        return false;
    *cType = b->head.cType;
    *sqlType = 0;
    return true;
}

} // namespace

ValueType CTypeToValueType(int16_t cType, uint32_t *width)
{
    for (const V2TypeRow &r : kV2Types) {
        if (r.cType == cType) {
            if (width)
                *width = r.width;
            return r.vt;
        }
    }
    if (width)
        *width = 0;
    return VT_CHAR;
}

SQLRETURN StmtExecuteV2DAE(Stmt *s)
{
    if (!(s->flags & ST_PREPARED))
        return StFail(s, ERR_FUNCTION_SEQUENCE);
    if (int rc = CheckBindings(s, true))
        return StFail(s, rc);
    s->daeState = DAE_NONE;
    if (uint16_t *status = s->ipd ? s->ipd->arrayStatusPtr : nullptr)
        for (uint64_t r = 0; r < s->paramsetSize; ++r)
            status[r] = SQL_PARAM_DIAG_UNAVAILABLE;
    ParamCountClasses(s, true);
    ParamBlock pb;
    if (int rc = BuildParamBlock(s, true, &pb))
        return StFail(s, rc);
    const uint32_t sent = pb.block ? static_cast<uint32_t>(pb.block->rowsUsed) : 0;
    int rc = SendParams(s, &pb);
    if (rc == ERR_NEED_DATA) {
        // A block the back end copied is kept until the sequence ends.
        s->daeState = DAE_EXECUTE;
        s->ex->v2Block = pb.block;
        pb.block = nullptr;
        s->ex->v2RowsSent = sent;
        s->diag.errNum = ERR_NONE;
        return SQL_NEED_DATA;
    }
    StmtFreeResultDescs(s);
    return StmtExecOutcome(s, rc, sent, nullptr);
}

SQLRETURN StmtPostExecute(Stmt *s, uint32_t rowsSent)
{
    StmtFreeResultDescs(s);
    if (s->ex->v2Block) {
        RB_Free(s->ex->v2Block);
        std::free(s->ex->v2Block);
    }
    s->ex->v2Block = nullptr;
    return StmtExecOutcome(s, s->diag.errNum, rowsSent, nullptr);
}

SQLRETURN StmtParamDataV2(Stmt *s, SQLPOINTER *token)
{
    const DrvOpTable *ops = StOps(s);
    if (s->daeState == DAE_NONE)
        return StFail(s, ERR_FUNCTION_SEQUENCE);
    auto slot = ops ? ops->ParamData : nullptr;
    int32_t index = 0, row = 0;
    void *scratch = nullptr;
    uint16_t *statuses = nullptr;
    OpCall *setPos = s->daeState == DAE_SETPOS ? s->ex->v2SetPos : nullptr;
    int rc = slot ? slot(StDrv(s), &index, &row, &statuses, &scratch) : ERR_NOT_CAPABLE;
    if (statuses && setPos) {
        // SQLSetPos statuses handed over at the end of the sequence.
        std::free(setPos->statuses);
        setPos->statuses = statuses;
        setPos->count = 0;
    } else {
        std::free(statuses);
    }
    s->diag.errNum = rc;
    s->ex->v2Index = index;
    s->ex->v2Row = row;
    if (SQLULEN *processed = StParamsProcessed(s))
        *processed = static_cast<SQLULEN>(row) + 1;
    if (rc == ERR_NEED_DATA) {
        void *data = nullptr;
        if (s->daeState == DAE_EXECUTE) {
            const ParamBinding *b = index >= 0 ? StmtGetParamBinding(static_cast<uint16_t>(index + 1), s) : nullptr;
            if (!b)
                return StFail(s, ERR_FUNCTION_SEQUENCE);
            data = b->data;
        } else if (s->daeState == DAE_SETPOS && setPos) {
            // The back end names an entry of the column list and a row of
            // the operation; the token is that row of the bound column.
            const ColBinding *b = index >= 0 && static_cast<size_t>(index) < setPos->columns.size()
                                      ? StmtFindBoundCol(setPos->columns[static_cast<size_t>(index)], s)
                                      : nullptr;
            if (!b)
                return StFail(s, ERR_FUNCTION_SEQUENCE);
            if (s->cursor.setPosRow > 0)
                row += static_cast<int32_t>(s->cursor.setPosRow) - 1;
            s->ex->v2Index = b->head.column - 1;
            s->ex->v2Row = row;
            data = StmtBindingAt(s, b->head, static_cast<uint32_t>(row)).data;
        } else {
            return StFail(s, ERR_FUNCTION_SEQUENCE);
        }
        if (token)
            *token = data;
        s->diag.errNum = ERR_NONE;
        return SQL_NEED_DATA;
    }
    if (s->daeState == DAE_EXECUTE) {
        s->daeState = DAE_NONE;
        return StmtPostExecute(s, s->ex->v2RowsSent);
    }
    if (s->daeState == DAE_SETPOS)
        return StmtSetPosFinish(s);
    s->daeState = DAE_NONE;
    return StFail(s, rc ? rc : ERR_FUNCTION_SEQUENCE);
}

// Hands one piece of the value the back end asked for to PutData, rewritten
// as the parameter's types want (escapes, hex text, BIGINT, NUMERIC and GUID
// as text).  S1010 outside a sequence, S1009, S1C00, 22007, 22018, 22003.
SQLRETURN StmtPutDataV2(Stmt *s, SQLPOINTER data, SQLLEN len)
{
    if (s->daeState == DAE_NONE)
        return StFail(s, ERR_FUNCTION_SEQUENCE);
    if (s->daeState != DAE_EXECUTE && s->daeState != DAE_SETPOS)
        return SQL_SUCCESS;
    // SQL_NULL_DATA and SQL_DEFAULT_PARAM need no data pointer.
    if ((!data && len != SQL_NULL_DATA && len != SQL_DEFAULT_PARAM) ||
        (len < 0 && len != SQL_NULL_DATA && len != SQL_NTS && len != SQL_DEFAULT_PARAM))
        return StFail(s, ERR_INVALID_ARGUMENT);
    if (len == SQL_DEFAULT_PARAM)
        return StFail(s, ERR_NOT_CAPABLE);
    int16_t cType = 0;
    int16_t sqlType = 0;
    if (!PieceTarget(s, &cType, &sqlType))
        return StFail(s, ERR_FUNCTION_SEQUENCE);
    uint32_t width = 0;
    Piece p;
    p.vt = CTypeToValueType(cType, &width);
    if (len == SQL_NTS)
        len = PieceTextLength(cType, data);
    if (len == SQL_NULL_DATA) {
        p.indicator = SQL_NULL_DATA;
    } else if (cType == SQL_C_CHAR && (sqlType == SQL_TIMESTAMP || sqlType == SQL_TYPE_TIMESTAMP ||
                                       sqlType == SQL_TIME || sqlType == SQL_TYPE_TIME ||
                                       sqlType == SQL_DATE || sqlType == SQL_TYPE_DATE)) {
        // The struct of an escape; other text travels unchanged.
        if (NewBytes(&p, len + 32))
            return StFail(s, ERR_MEMORY_ALLOCATION);
        RowBlockColumn probe{VT_CHAR, static_cast<uint32_t>(len), nullptr, nullptr};
        if (int rc = CharToDateTime(p.bytes, static_cast<const char *>(data), static_cast<size_t>(len), &probe, sqlType))
            return StFail(s, rc);
        p.vt = probe.valueType;
        p.size = probe.valueType == VT_CHAR ? len : probe.width;
    } else if (cType == SQL_C_CHAR && (sqlType == SQL_BINARY || sqlType == SQL_VARBINARY ||
                                       sqlType == SQL_LONGVARBINARY)) {
        if (NewBytes(&p, len / 2))
            return StFail(s, ERR_MEMORY_ALLOCATION);
        if (int rc = HexToBinary(p.bytes, static_cast<const char *>(data), static_cast<size_t>(len)))
            return StFail(s, rc);
        p.vt = VT_BINARY;
    } else if (cType == SQL_C_SBIGINT || cType == SQL_C_UBIGINT) {
        if (NewBytes(&p, 32))
            return StFail(s, ERR_MEMORY_ALLOCATION);
        char text[40];
        if (cType == SQL_C_SBIGINT) {
            long long v = 0;
            std::memcpy(&v, data, sizeof v);
            std::snprintf(text, sizeof text, "%-*lld", 31, v);
        } else {
            unsigned long long v = 0;
            std::memcpy(&v, data, sizeof v);
            std::snprintf(text, sizeof text, "%-*llu", 31, v);
        }
        std::memcpy(p.bytes, text, 31);
    } else if (cType == SQL_C_NUMERIC) {
        // Exact decimal text: the struct's bytes are no double.
        SQL_NUMERIC_STRUCT num;
        std::memcpy(&num, data, sizeof num);
        if (NewBytes(&p, NUMERIC_TEXT_MAX + 1))
            return StFail(s, ERR_MEMORY_ALLOCATION);
        size_t n = 0;
        if (int rc = NumericToChar(reinterpret_cast<char *>(p.bytes), NUMERIC_TEXT_MAX + 1, num, &n))
            return StFail(s, rc);
        p.vt = VT_CHAR;
        p.size = static_cast<int64_t>(n);
    } else if (cType == SQL_C_GUID) {
        // Its 36 characters; only the 16 bytes of the struct are read.
        SQLGUID guid;
        std::memcpy(&guid, data, sizeof guid);
        if (NewBytes(&p, 36))
            return StFail(s, ERR_MEMORY_ALLOCATION);
        GuidToChar(reinterpret_cast<char *>(p.bytes), guid);
        p.vt = VT_CHAR;
    } else {
        const int64_t size = (cType == SQL_C_CHAR || cType == SQL_C_BINARY || cType == SQL_C_WCHAR || width == 0)
                                 ? len
                                 : width;
        if (NewBytes(&p, size))
            return StFail(s, ERR_MEMORY_ALLOCATION);
        std::memcpy(p.bytes, data, static_cast<size_t>(size));
    }
    if ((s->conn && s->conn->narrowConversion) || !KRS_IsUnicodeBuild())
        if (int rc = PutDataToNarrow(&p))
            return StFail(s, rc);
    const DrvOpTable *ops = StOps(s);
    auto slot = ops ? ops->PutData : nullptr;
    int rc = slot ? slot(StDrv(s), p.vt, p.indicator, p.indicator ? nullptr : p.bytes, p.indicator ? 0 : p.size)
                  : ERR_NOT_CAPABLE;
    if (rc != 0) {
        StmtFetchErrors(s);
        return StFail(s, rc);
    }
    return SQL_SUCCESS;
}

// Procedure output parameters.
#include "drv_jdbc/j-proc.h"

#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-stmt.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/flavour.h"
#include "odbc/contract/param_types.h"
#include "odbc/contract/rowblock.h"
#include "util/log.h"

#include <cstdlib>
#include <cstring>

#define SRC "drv_jdbc/j-proc"

namespace {
bool isHeap(ValueType vt) { return vt == VT_HEAP_TEXT || vt == VT_HEAP_BINARY || vt == VT_HEAP_WTEXT; }

int16_t directionOf(const DrvStmt *s, uint16_t i)
{
    return i < s->paramTypeCount ? s->paramTypes[i].direction : static_cast<int16_t>(PARAM_INPUT);
}
} // namespace

int initCallProcRowSet(RowBlock *out, const RowBlock *params)
{
    if (int rc = RB_Init(out, params->columnsUsed))
        return rc;
    for (uint16_t i = 0; i < params->columnsUsed; ++i) {
        out->columns[i].valueType = params->columns[i].valueType;
        out->columns[i].width = params->columns[i].width;
    }
    out->columnsUsed = params->columnsUsed;
    const int32_t rows = params->rowsUsed;
    if (int rc = RB_AllocRows(out, rows)) {
        RB_Free(out);
        return rc;
    }
    for (uint16_t i = 0; i < params->columnsUsed; ++i) {
        const RowBlockColumn &src = params->columns[i];
        RowBlockColumn &dst = out->columns[i];
        if (!isHeap(src.valueType)) {
            if (rows > 0 && src.data) {
                memcpy(dst.data, src.data, static_cast<size_t>(rows) * src.width);
                memcpy(dst.indicators, src.indicators, static_cast<size_t>(rows) * sizeof(int16_t));
            }
            continue;
        }
        const size_t unit = src.valueType == VT_HEAP_WTEXT ? 2 : 1;
        for (int32_t r = 0; r < rows; ++r) {
            LongDataBuf from;
            memcpy(&from, src.data + static_cast<size_t>(r) * src.width, sizeof from);
            if (!from.data)
                continue;
            size_t bytes = static_cast<size_t>(from.length) * unit;
            char *copy = static_cast<char *>(calloc(bytes + unit, 1));
            if (!copy) {
                out->rowsUsed = rows;
                RB_Free(out);
                LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Memory allocation failure");
                return ERR_MEMORY_ALLOCATION;
            }
            memcpy(copy, from.data, bytes);
            LongDataBuf to{from.length, copy};
            memcpy(dst.data + static_cast<size_t>(r) * dst.width, &to, sizeof to);
        }
    }
    out->rowsUsed = rows;
    return 0;
}

int fetchCallProc(DrvStmt *s, RowBlock *out)
{
    if (!s->params) {
        RB_Init(out, 0);
        return 0;
    }
    if (int rc = initCallProcRowSet(out, s->params))
        return rc;
    for (uint16_t i = 0; i < out->columnsUsed; ++i) {
        if (directionOf(s, i) == PARAM_INPUT)
            continue;
        RowBlockColumn &col = out->columns[i];
        const bool wideType = col.valueType >= VT_WCHAR && col.valueType <= VT_WTEXT4;
        if (col.valueType < VT_CHAR || col.valueType > VT_WTEXT4 || (wideType && !KRS_IsUnicodeBuild())) {
            LOG_Printf(LOG_LEVEL_ERROR, SRC, __LINE__, "Unknown type = %d in fetchCallProc",
                       static_cast<int>(col.valueType));
            return ERR_GENERAL;
        }
        if (out->rowsUsed < 1)
            break;
        if (int rc = readValue(s, s->stmt, true, i + 1, &col, 0))
            return rc;
    }
    return 0;
}

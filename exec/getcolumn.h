// GetColumn: one cell of a RowBlock into the application's buffer.  Every
// fetch path ends here (bound columns, SQLGetData, the rowset fill, output
// parameters).  It resolves SQL_C_DEFAULT and SQL_ARD_TYPE, handles NULLs,
// bookmarks and long values, keeps the piecewise SQLGetData state, and hands
// the value to the converter of its ValueType.
//
// It takes what it needs of the statement as explicit records: the error
// number, the GetDataState, and a GetColumnHost for the column descriptions,
// descriptor records, bookmarks and long-value pieces.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/contract/rowblock.h"
#include "odbc/stmt_bind.h"

// A statement's piecewise SQLGetData state.  A fetch clears column and row.
struct GetDataState {
    uint16_t column;           // column of the value being read, 0 none
    uint32_t row;              // its row index + 1, 0 none
    ValueType valueType;       // value type of the value (or long-value piece)
    int32_t prevCType;         // C type of the call that left a rest
    const uint8_t *rest;       // unread part of an ordinary value
    int64_t remaining;         // its bytes; 0 when nothing is left
    // A long value (cell indicator -3), fetched piece by piece by the host.
    void *value;               // the piece: its bytes, or a LongDataBuf for 15, 16 and 26
    uint32_t pieceLen;         // bytes of the piece
    int32_t total;             // bytes of the whole value, -1 NULL, SQL_NO_TOTAL unknown
    int32_t ownsValue;         // the host frees value
    int64_t delivered;         // bytes of the long value converted so far
    int16_t cellIndicator;     // indicator of the cell being read
};

// What GetColumn asks of the statement.  Each routine answers an ErrorTable
// number (0 success) unless said otherwise.
class GetColumnHost {
public:
    virtual ~GetColumnHost() = default;
    // The result column descriptions (read once per result).
    virtual int ColDescs(const ColDesc **descs, uint16_t *count) = 0;
    // The descriptor record of a column in the ARD (the APD when apd):
    // false when there is none.
    virtual bool DescRecord(bool apd, uint16_t column, int16_t *conciseType, int16_t *precision,
                            int16_t *scale) = 0;
    // The bookmark of a rowset row (0-based).
    virtual int BookmarkGet(uint32_t row, int32_t *bookmark) = 0;
    // Fetches the next piece of the long value named by the state's column
    // and row into the state (value, pieceLen, valueType, total); ERR_NO_DATA_FOUND when
    // nothing is left.
    virtual int FetchColValue(GetDataState *gd, int64_t pieceSize) = 0;
    // Releases a long value the state holds.
    virtual void FreeColValue(GetDataState *gd) = 0;
};

// The statement facts GetColumn uses.
struct GetColumnCtx {
    // The statement's error number; ERR_OUTPUT_PARAMS_PENDING on entry selects
    // output-parameter mode.
    int32_t *err;
    GetDataState *gd;
    GetColumnHost *host;
    int odbcVersion;          // 2 or 3
    bool narrowUtf8;          // narrow text values are UTF-8 (the Unicode build), else the ANSI code page
    bool useBookmarks;        // the cursor serves column 0
    bool deferredOutParams;   // output parameters whose direction was left open at prepare
};

// Converts the cell (row, binding's column) of the block into the binding's
// buffer.  SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (warning number in *err),
// SQL_ERROR (number in *err) or SQL_NO_DATA.  Posts ERR_INVALID_COLUMN_NUMBER
// (S1002), ERR_PROGRAM_TYPE_RANGE (S1003), ERR_INVALID_ARGUMENT (S1009),
// ERR_INVALID_CURSOR_STATE (24000), ERR_INDICATOR_REQUIRED (22002), 07006,
// 07009 and the converters'.
SQLRETURN GetColumn(const GetColumnCtx &ctx, uint32_t row, ColBindingHead *binding, const RowBlock *block);

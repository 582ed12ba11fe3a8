// Row blocks filled with plausible result values, shared by the row-block
// and GetColumn benchmarks.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "odbc/contract/rowblock.h"

// One result column: how it is fetched and what it reports.
struct SampleCol {
    ValueType vt;
    uint32_t size;    // declared size (text and binary)
    int32_t sqlType;
    int16_t digits;
};

// Writes a sample value into cell `row` of the column (heap values are new
// malloc'd blocks that the block frees).
inline void FillSampleCell(RowBlockColumn &c, int32_t row)
{
    uint8_t *cell = c.data + static_cast<size_t>(row) * c.width;
    char text[96];
    switch (c.valueType) {
    case VT_LONG: {
        int32_t v = row * 7 - 100;
        std::memcpy(cell, &v, sizeof v);
        break;
    }
    case VT_DOUBLE: {
        double v = row * 1.25 + 0.1;
        std::memcpy(cell, &v, sizeof v);
        break;
    }
    case VT_DATE: {
        DATE_STRUCT d{2024, 5, static_cast<SQLUSMALLINT>(1 + row % 28)};
        std::memcpy(cell, &d, sizeof d);
        break;
    }
    case VT_TIMESTAMP: {
        TIMESTAMP_STRUCT ts{2024, 5, static_cast<SQLUSMALLINT>(1 + row % 28), 12, 34, 56, 123456000};
        std::memcpy(cell, &ts, sizeof ts);
        break;
    }
    case VT_NTS: {
        // Numeric-looking text for narrow columns, a name for wider ones.
        int n = c.width <= 24 ? std::snprintf(text, sizeof text, "%d.%02d", row * 37, row % 100)
                              : std::snprintf(text, sizeof text, "customer name %05d", row);
        size_t len = static_cast<size_t>(n) < c.width ? static_cast<size_t>(n) : c.width - 1;
        std::memcpy(cell, text, len);
        cell[len] = 0;
        break;
    }
    case VT_WNTS:
    case VT_WCHAR: {
        int n = std::snprintf(text, sizeof text, "M\xfcller %05d", row);  // one Latin-1 letter
        size_t units = c.width / 2 - (c.valueType == VT_WNTS ? 1 : 0);
        size_t len = static_cast<size_t>(n) < units ? static_cast<size_t>(n) : units;
        for (size_t i = 0; i < c.width / 2; ++i) {
            uint16_t u = i < len ? static_cast<uint8_t>(text[i]) : (c.valueType == VT_WCHAR ? u' ' : 0);
            std::memcpy(cell + 2 * i, &u, 2);
        }
        break;
    }
    case VT_HEAP_TEXT: {
        const uint32_t len = 100 + static_cast<uint32_t>(row % 50);
        char *data = static_cast<char *>(std::malloc(len + 1));
        for (uint32_t i = 0; i < len; ++i)
            data[i] = static_cast<char>('a' + (i + static_cast<uint32_t>(row)) % 26);
        data[len] = 0;
        LongDataBuf buf{len, data};
        std::memcpy(cell, &buf, sizeof buf);
        break;
    }
    default:
        std::memset(cell, 0x11, c.width);
        break;
    }
    c.indicators[row] = RB_IND_VALUE;
}

// Descriptions of the columns, as a statement keeps them.
inline std::vector<ColDesc> SampleDescs(const std::vector<SampleCol> &cols)
{
    std::vector<ColDesc> descs(cols.size());
    for (size_t i = 0; i < cols.size(); ++i) {
        std::snprintf(descs[i].name, sizeof descs[i].name, "c%zu", i + 1);
        descs[i].valueType = cols[i].vt;
        descs[i].bufferLength = cols[i].size;
        descs[i].sqlType = cols[i].sqlType;
        descs[i].baseSqlType = static_cast<int16_t>(cols[i].sqlType);
        descs[i].columnSize = cols[i].size;
        descs[i].decimalDigits = cols[i].digits;
    }
    return descs;
}

// A block of the columns with `rows` rows in use, every cell filled (every
// `nullEvery`th row NULL when above 0).  0, or the RB_ error.
inline int MakeSampleBlock(RowBlock *block, const std::vector<SampleCol> &cols, int32_t rows, int nullEvery = 0)
{
    const std::vector<ColDesc> descs = SampleDescs(cols);
    if (int rc = RB_InitFromColDescs(descs.data(), static_cast<uint16_t>(descs.size()), rows, block))
        return rc;
    for (uint16_t k = 0; k < block->columnsUsed; ++k) {
        for (int32_t r = 0; r < rows; ++r) {
            if (nullEvery > 0 && r % nullEvery == nullEvery - 1)
                continue;  // stays NULL
            FillSampleCell(block->columns[k], r);
        }
    }
    block->rowsUsed = rows;
    return 0;
}

// A typical result row: key, amount, name, created-at, a numeric as text.
inline std::vector<SampleCol> TypicalRow()
{
    return {
        {VT_LONG, 4, SQL_INTEGER, 0},
        {VT_DOUBLE, 8, SQL_DOUBLE, 0},
        {VT_NTS, 40, SQL_VARCHAR, 0},
        {VT_TIMESTAMP, 16, SQL_TYPE_TIMESTAMP, 6},
        {VT_NTS, 20, SQL_NUMERIC, 2},
    };
}

// How a value read from Java is laid into a RowBlock element: shared by the
// getters that read one cell and the block reader, so that both paths put
// the same bytes in the same places.
#pragma once
#include "drv_jdbc/j-wrap-ps.h"
#include "odbc/contract/rowblock.h"
#include "util/codepage.h"

#include <cstdint>
#include <cstring>

// Bytes of text that fit in room without splitting a UTF-8 sequence (when the
// code page is UTF-8).
inline size_t cellCutText(const char *text, size_t len, size_t room)
{
    if (len <= room)
        return len;
    size_t n = room;
    if (CP_AnsiIsUtf8()) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    return n;
}

// Narrow text (NULL for a null value) into a cell of `size` bytes: cut to
// size - 1 bytes and terminated; the length is the terminated text's.
inline int32_t cellPutText(char *cell, int32_t size, const char *text, size_t len)
{
    const size_t room = size > 0 ? static_cast<size_t>(size) - 1 : 0;
    if (!text) {
        memset(cell, 0, room ? room : 1);
        return 0;
    }
    const size_t n = cellCutText(text, len, room);
    memcpy(cell, text, n);
    cell[n] = '\0';
    return static_cast<int32_t>(strlen(cell));
}

// UTF-16 text (NULL for a null value; units in any alignment) into a cell of
// `size` units: cut to size - 1 units, never inside a surrogate pair, and
// terminated.
inline int32_t cellPutWide(char16_t *cell, int32_t size, const void *units, int32_t len)
{
    const int32_t room = size > 0 ? size - 1 : 0;
    if (!units) {
        memset(cell, 0, sizeof(char16_t) * static_cast<size_t>(room ? room : 1));
        return 0;
    }
    int32_t n = len;
    if (n > room) {
        n = room;
        char16_t last = 0;
        if (n > 0)
            memcpy(&last, static_cast<const uint8_t *>(units) + 2 * (n - 1), sizeof last);
        if (last >= 0xD800 && last <= 0xDBFF)
            --n;
    }
    memcpy(cell, units, sizeof(char16_t) * static_cast<size_t>(n));
    cell[n] = 0;
    return n;
}

// Bytes (len 0 for a null value) into a cell of `size` bytes: cut at size,
// the rest zero-filled.
inline int32_t cellPutBytes(uint8_t *cell, int32_t size, const uint8_t *bytes, int32_t len)
{
    const int32_t n = len > size ? size : len;
    if (n > 0)
        memcpy(cell, bytes, static_cast<size_t>(n));
    if (size > n)
        memset(cell + n, 0, static_cast<size_t>(size - n));
    return n;
}

// A date (3 fields), time (3) or timestamp (7) element from its values: an
// astronomical year, month, day, hours, minutes, seconds, nanoseconds.
inline void cellPutDateTime(ValueType vt, uint8_t *cell, const int32_t *v)
{
    DrvTimestamp t{};
    if (vt == VT_TIME) {
        const uint16_t f[3] = {static_cast<uint16_t>(v[0]), static_cast<uint16_t>(v[1]), static_cast<uint16_t>(v[2])};
        memcpy(cell, f, sizeof f);
        return;
    }
    t.day = static_cast<uint16_t>(v[2]);
    // A year beyond the 16-bit field keeps its high part in the month field.
    RB_PutYearMonth(v[0], static_cast<uint16_t>(v[1]), &t.year, &t.month);
    if (vt == VT_DATE) {
        const uint16_t f[3] = {static_cast<uint16_t>(t.year), t.month, t.day};
        memcpy(cell, f, sizeof f);
        return;
    }
    t.hour = static_cast<uint16_t>(v[3]);
    t.minute = static_cast<uint16_t>(v[4]);
    t.second = static_cast<uint16_t>(v[5]);
    t.fraction = static_cast<uint32_t>(v[6]);
    memcpy(cell, &t, sizeof t);
}

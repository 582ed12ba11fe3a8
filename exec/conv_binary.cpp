// Binary source conversions: bytes into binary, or into upper-case
// hexadecimal text, narrow or wide.
#include "exec/conv_internal.h"

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

// Each byte as two hexadecimal characters of unitSize bytes (1 narrow, 2
// UTF-16), cut to the buffer with a terminator; octet length 2T characters.
SQLRETURN PutHex(const uint8_t *bytes, int64_t len, int64_t total, int unitSize, ConvTarget &t)
{
    t.used = 0;
    if (!t.data) {
        *t.err = ERR_INVALID_ARGUMENT;
        return SQL_ERROR;
    }
    if (t.octetLen)
        *t.octetLen = total == SQL_NO_TOTAL ? SQL_NO_TOTAL : 2 * unitSize * total;
    const int64_t room = t.bufLen > 0 ? t.bufLen / unitSize : 0;  // characters
    if (room < 1) {
        *t.err = ERR_DATA_TRUNCATED;
        return SQL_SUCCESS_WITH_INFO;
    }
    const bool cut = room < 2 * len + 1;
    const int64_t n = cut ? (room - 1) / 2 : len;
    auto *out8 = static_cast<uint8_t *>(t.data);
    auto *out16 = static_cast<SQLWCHAR *>(t.data);
    for (int64_t i = 0; i <= 2 * n; ++i) {
        char c = i == 2 * n ? '\0' : kHexDigits[(i % 2 == 0) ? bytes[i / 2] >> 4 : bytes[i / 2] & 0xF];
        if (unitSize == 1)
            out8[i] = static_cast<uint8_t>(c);
        else
            out16[i] = static_cast<SQLWCHAR>(c);
    }
    t.used = n;
    if (cut || (total != SQL_NO_TOTAL && total > len)) {
        *t.err = ERR_DATA_TRUNCATED;
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

} // namespace

SQLRETURN ConvertBINARY(const uint8_t *bytes, int64_t len, int64_t total, int16_t cType, ConvTarget &t)
{
    CONV_TRACE("ConvertBINARY: retBufferLength(%ld) to %s", static_cast<long>(t.bufLen), CTypeName(cType));
    if (len < 0)
        len = 0;
    switch (cType) {
    case SQL_C_BINARY:
        return CopyCHARtoCHAR(reinterpret_cast<const char *>(bytes), len, len, total, false, true, ENC_BYTES, t);
    case SQL_C_CHAR:
        return PutHex(bytes, len, total, 1, t);
    case SQL_C_WCHAR:
        return PutHex(bytes, len, total, 2, t);
    default:
        t.used = 0;
        return Restricted(t);
    }
}

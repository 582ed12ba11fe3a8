// Descriptor field value writers.
#include "odbc/desc_put.h"

#include <sql.h>

#include <cstring>

#include "odbc/errors.h"
#include "odbc/contract/flavour.h"
#include "util/utf8.h"

int DescPutNumber(DescWriter w, int64_t v, const DescOut &o)
{
    int64_t len = 8;
    switch (w) {
    case DW_SMALLINT:
        if (o.value)
            *static_cast<int16_t *>(o.value) = static_cast<int16_t>(v);
        len = 2;
        break;
    case DW_INTEGER:
    case DW_UINTEGER:
        if (o.value)
            *static_cast<int32_t *>(o.value) = static_cast<int32_t>(v);
        len = 4;
        break;
    default:
        if (o.value)
            *static_cast<int64_t *>(o.value) = v;
        break;
    }
    if (o.outLen)
        *o.outLen = len;
    return 0;
}

int DescPutPointer(const void *p, const DescOut &o)
{
    if (o.value) {
        if (static_cast<uint64_t>(o.bufLen) < 8)
            return ERR_INVALID_ARGUMENT;
        std::memcpy(o.value, &p, sizeof p);
    }
    if (o.outLen)
        *o.outLen = 8;
    return 0;
}

namespace {

// Bytes of text that fit in room bytes without splitting a UTF-8 sequence
// (the Unicode build keeps narrow text as UTF-8).
size_t NarrowCut(const char *text, size_t room)
{
    if (!KRS_IsUnicodeBuild())
        return room;
    size_t n = room;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

int PutNarrow(const char *text, const DescOut &o)
{
    const size_t len = std::strlen(text);
    if (o.outLen)
        *o.outLen = static_cast<int64_t>(len);
    if (!o.value)
        return 0;
    char *buf = static_cast<char *>(o.value);
    if (o.bufLen > 0 && static_cast<uint64_t>(o.bufLen) > len) {
        std::memcpy(buf, text, len + 1);
        return 0;
    }
    if (o.bufLen > 0) {
        size_t n = NarrowCut(text, static_cast<size_t>(o.bufLen - 1));
        std::memcpy(buf, text, n);
        buf[n] = '\0';
    }
    return ERR_DATA_TRUNCATED;
}

int PutWide(const char *text, const DescOut &o)
{
    const int64_t units = UTF8_CharCount(text, SQL_NTS);
    if (o.outLen)
        *o.outLen = o.inChars ? units : units * 2;
    if (!o.value)
        return 0;
    const int64_t room = o.inChars ? o.bufLen : o.bufLen / 2;
    int64_t written = 0;
    return UTF8_ToWideBuf<SQLWCHAR>(text, static_cast<SQLWCHAR *>(o.value), room, &written) == 0
               ? 0
               : ERR_DATA_TRUNCATED;
}

} // namespace

int DescPutText(const char *text, const DescOut &o)
{
    if (!text)
        text = "";
    return o.width == 'W' ? PutWide(text, o) : PutNarrow(text, o);
}

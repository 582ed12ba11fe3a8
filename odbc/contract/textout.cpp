// The writer of texts into application buffers and the reader of text values.
#include "odbc/contract/textout.h"

#include <cstdlib>
#include <cstring>

#include "odbc/contract/errnum.h"
#include "odbc/contract/flavour.h"
#include "util/utf8.h"

namespace {

// Bytes of text that fit in room bytes: the Unicode build keeps narrow text as
// UTF-8 and never splits a sequence; code-page text is cut between bytes.
size_t NarrowCut(const char *text, size_t room)
{
    if (!KRS_IsUnicodeBuild())
        return room;
    size_t n = room;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

int PutNarrow(const char *text, const TextOut &o)
{
    const size_t len = std::strlen(text);
    TXT_PutLen(o, static_cast<int64_t>(len));
    if (!o.buf)
        return 0;
    char *buf = static_cast<char *>(o.buf);
    if (static_cast<uint64_t>(o.size) > len) {
        std::memcpy(buf, text, len + 1);
        return 0;
    }
    if (o.size > 0) {
        const size_t n = NarrowCut(text, static_cast<size_t>(o.size - 1));
        std::memcpy(buf, text, n);
        buf[n] = '\0';
    }
    return ERR_DATA_TRUNCATED;
}

int PutWide(const char *text, const TextOut &o)
{
    const int64_t units = UTF8_CharCount(text, SQL_NTS);
    const bool chars = o.count == TC_CHARS;
    TXT_PutLen(o, chars ? units : 2 * units);
    if (!o.buf)
        return 0;
    const int64_t room = chars ? o.size : o.size / 2;
    int64_t written = 0;
    return UTF8_ToWideBuf<SQLWCHAR>(text, static_cast<SQLWCHAR *>(o.buf), room, &written) == 0
               ? 0
               : ERR_DATA_TRUNCATED;
}

} // namespace

int64_t TXT_WorkSize(const TextOut &o)
{
    constexpr int64_t kWideFirst = 65537;
    if (!o.buf || o.size <= 0)
        return 1;
    if (o.width != 'W')
        return o.size;
    const int64_t units = o.count == TC_CHARS ? o.size : o.size / 2;
    return units >= (kWideFirst - 1) / 4 ? kWideFirst : 4 * units + 1;
}

void TXT_PutLen(const TextOut &o, int64_t n)
{
    if (!o.len)
        return;
    switch (o.lenBytes) {
    case 2: {
        const SQLSMALLINT v = static_cast<SQLSMALLINT>(n > INT16_MAX ? INT16_MAX : n);
        std::memcpy(o.len, &v, sizeof v);
        break;
    }
    case 4: {
        const SQLINTEGER v = static_cast<SQLINTEGER>(n > INT32_MAX ? INT32_MAX : n);
        std::memcpy(o.len, &v, sizeof v);
        break;
    }
    default:
        std::memcpy(o.len, &n, sizeof n);
        break;
    }
}

int TXT_Put(const char *text, const TextOut &o)
{
    if (o.size < 0)
        return ERR_INVALID_LENGTH;
    if (!text)
        text = "";
    return o.width == 'W' ? PutWide(text, o) : PutNarrow(text, o);
}

void TXT_PutNumber(void *buf, uint64_t v, int bytes)
{
    if (!buf)
        return;
    if (bytes == 8) {
        const SQLULEN x = static_cast<SQLULEN>(v);
        std::memcpy(buf, &x, sizeof x);
    } else {
        const SQLUINTEGER x = static_cast<SQLUINTEGER>(v);
        std::memcpy(buf, &x, sizeof x);
    }
}

char *TXT_In(const void *value, int64_t len, int width)
{
    if (!value || (len < 0 && len != SQL_NTS))
        return nullptr;
    if (width == 'W')
        return UTF8_DupFromWideN<SQLWCHAR>(static_cast<const SQLWCHAR *>(value),
                                           len == SQL_NTS ? SQL_NTS : len / 2);
    const char *text = static_cast<const char *>(value);
    const size_t n = len == SQL_NTS ? std::strlen(text) : static_cast<size_t>(len);
    char *copy = static_cast<char *>(std::malloc(n + 1));
    if (copy) {
        std::memcpy(copy, text, n);
        copy[n] = '\0';
    }
    return copy;
}

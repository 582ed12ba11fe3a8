// Descriptor field value writers.
#include "odbc/desc_put.h"

#include <sql.h>

#include <cstring>

#include "odbc/errors.h"

int DescPutNumber(DescWriter w, int64_t v, const TextOut &o)
{
    int64_t len = 8;
    switch (w) {
    case DW_SMALLINT:
        if (o.buf)
            *static_cast<int16_t *>(o.buf) = static_cast<int16_t>(v);
        len = 2;
        break;
    case DW_INTEGER:
    case DW_UINTEGER:
        if (o.buf)
            *static_cast<int32_t *>(o.buf) = static_cast<int32_t>(v);
        len = 4;
        break;
    default:
        if (o.buf)
            *static_cast<int64_t *>(o.buf) = v;
        break;
    }
    TXT_PutLen(o, len);
    return 0;
}

int DescPutPointer(const void *p, const TextOut &o)
{
    if (o.buf) {
        if (static_cast<uint64_t>(o.size) < 8)
            return ERR_INVALID_ARGUMENT;
        std::memcpy(o.buf, &p, sizeof p);
    }
    TXT_PutLen(o, 8);
    return 0;
}

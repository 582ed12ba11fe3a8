// Text source conversions: narrow text (ANSI or UTF-8) and UTF-16 text into
// every C type.
#include <cfloat>
#include <cmath>

#include "exec/conv_internal.h"

namespace {

// The parsers of one source width.
struct Parsers {
    int (*number64)(const void *text, int64_t len, int64_t lo, int64_t hi, int64_t *out, int32_t *err);
    int (*unumber64)(const void *text, int64_t len, uint64_t *out, int32_t *err);
    int (*decimal)(const void *text, int64_t len, double *out, int32_t *err);
    int (*numeric)(const void *text, int64_t len, SQL_NUMERIC_STRUCT *out, int scale, int precision,
                   int32_t *err);
};

const Parsers kNarrow = {
    [](const void *s, int64_t n, int64_t lo, int64_t hi, int64_t *o, int32_t *e) {
        return CharToNumber64(static_cast<const char *>(s), n, lo, hi, o, e);
    },
    [](const void *s, int64_t n, uint64_t *o, int32_t *e) {
        return CharToUNumber64(static_cast<const char *>(s), n, o, e);
    },
    [](const void *s, int64_t n, double *o, int32_t *e) {
        return CharToDecimal(static_cast<const char *>(s), n, o, e);
    },
    [](const void *s, int64_t n, SQL_NUMERIC_STRUCT *o, int sc, int pr, int32_t *e) {
        return CharToNumeric(static_cast<const char *>(s), n, o, sc, pr, e);
    },
};

const Parsers kWide = {
    [](const void *s, int64_t n, int64_t lo, int64_t hi, int64_t *o, int32_t *e) {
        return WCharToNumber64(static_cast<const SQLWCHAR *>(s), n, lo, hi, o, e);
    },
    [](const void *s, int64_t n, uint64_t *o, int32_t *e) {
        return WCharToUNumber64(static_cast<const SQLWCHAR *>(s), n, o, e);
    },
    [](const void *s, int64_t n, double *o, int32_t *e) {
        return WCharToDecimal(static_cast<const SQLWCHAR *>(s), n, o, e);
    },
    [](const void *s, int64_t n, SQL_NUMERIC_STRUCT *o, int sc, int pr, int32_t *e) {
        return WCharToNumeric(static_cast<const SQLWCHAR *>(s), n, o, sc, pr, e);
    },
};

bool IsDateTimeType(int16_t cType)
{
    switch (cType) {
    case SQL_C_DATE:
    case SQL_C_TIME:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME:
    case SQL_C_TYPE_TIMESTAMP:
        return true;
    default:
        return false;
    }
}

// The conversions both widths share: numbers parsed from the text (n counts
// bytes for narrow text, units for wide), date and time types refused.
SQLRETURN ParseInto(const Parsers &p, const void *text, int64_t n, int16_t cType, ConvTarget &t, int scale,
                    int precision)
{
    if (const IntTarget *it = FindIntTarget(cType)) {
        // A number with a fraction gives its integer part with 01S07 (rc 1).
        uint64_t bits = 0;
        int rc;
        if (it->ubigint) {
            rc = p.unumber64(text, n, &bits, t.err);
        } else {
            int64_t v = 0;
            rc = p.number64(text, n, it->lo, it->hi, &v, t.err);
            bits = static_cast<uint64_t>(v);
        }
        if (rc < 0 || (rc == 1 && cType == SQL_C_BIT)) {
            if (cType == SQL_C_BIT)
                *t.err = ERR_NUMERIC_RANGE;  // anything but 0 or 1 is out of a bit's range
            return SQL_ERROR;
        }
        const SQLRETURN put = PutInteger(t, bits, it->width);
        return put == SQL_SUCCESS && rc == 1 ? SQL_SUCCESS_WITH_INFO : put;
    }
    switch (cType) {
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE: {
        double d = 0;
        if (p.decimal(text, n, &d, t.err) != 0)
            return SQL_ERROR;
        if (cType == SQL_C_DOUBLE)
            return PutFixed(t, &d, sizeof d);
        if (std::isfinite(d) && std::fabs(d) > FLT_MAX) {
            *t.err = ERR_NUMERIC_RANGE;
            return SQL_ERROR;
        }
        float f = static_cast<float>(d);
        return PutFixed(t, &f, sizeof f);
    }
    case SQL_C_NUMERIC: {
        SQL_NUMERIC_STRUCT num;
        return PutNumeric(t, num, p.numeric(text, n, &num, scale, precision, t.err));
    }
    default:
        if (IsDateTimeType(cType)) {
            *t.err = ERR_NOT_CAPABLE;
            return SQL_ERROR;
        }
        return Restricted(t);
    }
}

// A total in bytes as UTF-16 units (SQL_NO_TOTAL and 0 stay).
int64_t Units(int64_t bytes)
{
    return bytes > 0 ? bytes / 2 : bytes;
}

} // namespace

SQLRETURN ConvertCHAR(const char *text, int64_t len, int64_t total, TextEnc enc, int16_t cType,
                      ConvTarget &t, int scale, int precision)
{
    CONV_TRACE("ConvertCHAR: retBufferLength(%ld) to %s", static_cast<long>(t.bufLen), CTypeName(cType));
    t.used = 0;
    switch (cType) {
    case SQL_C_CHAR:
        return CopyCHARtoCHAR(text, len, len, total, true, true, enc, t);
    case SQL_C_WCHAR:
        return CopyCHARtoWCHAR(text, len, len, total, true, true, enc, t);
    case SQL_C_BINARY:
        return CopyCHARtoCHAR(text, len, len, total, false, true, ENC_BYTES, t);
    case SQL_C_GUID: {
        SQLGUID g;
        if (CharToGuid(text, len, &g, t.err) != 0)
            return SQL_ERROR;
        return PutFixed(t, &g, sizeof g);
    }
    default:
        return ParseInto(kNarrow, text, len, cType, t, scale, precision);
    }
}

SQLRETURN ConvertWCHAR(const SQLWCHAR *text, int64_t len, int64_t total, int16_t cType, ConvTarget &t,
                       int scale, int precision)
{
    CONV_TRACE("ConvertWCHAR: retBufferLength(%ld) to %s", static_cast<long>(t.bufLen), CTypeName(cType));
    t.used = 0;
    const int64_t units = len / 2;
    switch (cType) {
    case SQL_C_CHAR:
        return CopyWCHARtoCHAR(text, units, units, Units(total), true, true, t);
    case SQL_C_WCHAR:
        return CopyWCHARtoWCHAR(text, len, len, total, true, true, t);
    case SQL_C_BINARY:
        return CopyCHARtoCHAR(reinterpret_cast<const char *>(text), len, len, total, false, true, ENC_BYTES, t);
    case SQL_C_GUID:
        return Restricted(t);
    default:
        return ParseInto(kWide, text, units, cType, t, scale, precision);
    }
}

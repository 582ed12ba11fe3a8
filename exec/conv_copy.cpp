// Copy helpers: text and bytes into an application buffer, with the unit
// width, terminator, truncation and length rules every converter shares.
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "exec/convert.h"
#include "util/codepage.h"
#include "util/utf8.h"

namespace {

// Result of writing into a room of target units.
struct Written {
    int64_t units;  // target units written, -1 when the code-set conversion was refused
    int64_t used;   // source bytes consumed
};

// The shared rules: octet length, empty buffer, truncation or refusal, the
// terminator, and 01004 for a piece of a longer value.  need = target units
// the n source bytes take; reported = octet length to report.
template <class WriteFn>
SQLRETURN CopyOut(int64_t need, bool whole, SQLLEN reported, int unitSize, bool terminate,
                  bool truncOk, ConvTarget &t, WriteFn write)
{
    t.used = 0;
    if (!t.data) {
        *t.err = ERR_INVALID_ARGUMENT;
        return SQL_ERROR;
    }
    if (need < 0) {
        *t.err = ERR_GENERAL;
        return SQL_ERROR;
    }
    const int64_t room = t.bufLen > 0 ? t.bufLen / unitSize : 0;
    const int64_t term = terminate ? 1 : 0;
    if (room <= 0) {
        if (t.octetLen)
            *t.octetLen = reported;
        *t.err = ERR_DATA_TRUNCATED;
        return SQL_SUCCESS_WITH_INFO;
    }
    const bool cut = need + term > room;
    if (cut && !truncOk) {
        *t.err = ERR_NUMERIC_RANGE;
        return SQL_ERROR;
    }
    Written w = write(cut ? room - term : need);
    if (w.units < 0) {
        *t.err = ERR_GENERAL;
        return SQL_ERROR;
    }
    if (terminate)
        std::memset(static_cast<char *>(t.data) + w.units * unitSize, 0, static_cast<size_t>(unitSize));
    if (t.octetLen)
        *t.octetLen = reported;
    t.used = w.used;
    if (cut || !whole) {
        *t.err = ERR_DATA_TRUNCATED;
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

// The whole value is in this call: no total, or the total is what is held.
bool IsWhole(int64_t avail, int64_t total)
{
    return total == 0 || total == SQL_NO_TOTAL || total <= avail;
}

// The largest k <= budget at which n bytes of UTF-8 can be cut between
// characters (a run of stray continuation bytes is cut anywhere).
int64_t Utf8Cut(const char *s, int64_t n, int64_t budget)
{
    if (budget >= n)
        return n;
    int64_t k = budget;
    for (int back = 0; back < 4 && k > 0; ++back) {
        if ((static_cast<unsigned char>(s[k]) & 0xC0) != 0x80)
            return k;
        --k;
    }
    return (static_cast<unsigned char>(s[k]) & 0xC0) != 0x80 ? k : budget;
}

// The largest k <= budget at which n bytes of ANSI text can be cut between
// characters, for a code set that is not UTF-8: the bytes of the most
// characters whose bytes fit.
int64_t AnsiCut(const char *s, int64_t n, int64_t budget)
{
    if (budget >= n)
        return n;
    if (budget <= 0)
        return 0;
    auto *scratch = static_cast<SQLWCHAR *>(std::malloc(static_cast<size_t>(budget) * sizeof(SQLWCHAR)));
    if (!scratch)
        return budget;
    int64_t used = 0;
    int64_t units = CP_AnsiToWide(s, n, scratch, budget, &used);
    int64_t best = 0;
    if (units >= 0 && used <= budget) {
        best = used;
    } else if (units > 0) {
        int64_t lo = 0, hi = units;  // find the most units whose bytes fit
        while (lo < hi) {
            int64_t mid = lo + (hi - lo + 1) / 2;
            CP_AnsiToWide(s, n, scratch, mid, &used);
            if (used <= budget) {
                lo = mid;
                best = used;
            } else {
                hi = mid - 1;
            }
        }
    }
    std::free(scratch);
    return best;
}

int64_t TextCut(const char *s, int64_t n, int64_t budget, TextEnc enc)
{
    if (budget >= n)
        return n;
    if (enc == ENC_BYTES)
        return budget;
    if (enc == ENC_UTF8 || CP_AnsiIsUtf8())
        return Utf8Cut(s, n, budget);
    return AnsiCut(s, n, budget);
}

// True when every unit is 7-bit: such text reads the same in UTF-8 and in
// every ANSI code set, so it needs no code-set conversion.
template <class U>
bool IsAscii(const U *s, int64_t n)
{
    for (int64_t i = 0; i < n; ++i)
        if (static_cast<uint32_t>(static_cast<typename std::make_unsigned<U>::type>(s[i])) >= 0x80)
            return false;
    return true;
}

// Frees a malloc'd block on every exit.
struct FreeGuard {
    void *p;
    ~FreeGuard() { std::free(p); }
};

// UTF-8 text into a narrow target whose code page is not UTF-8.
SQLRETURN RecodeUtf8ToAnsi(const char *src, int64_t n, int64_t avail, int64_t total, bool terminate,
                           bool truncOk, ConvTarget &t)
{
    SQLWCHAR *wide = UTF8_DupToWideN<SQLWCHAR>(src, n);
    FreeGuard guard{wide};
    if (!wide) {
        t.used = 0;
        *t.err = ERR_MEMORY_ALLOCATION;
        return SQL_ERROR;
    }
    const int64_t units = UTF8_CharCount(src, n);
    const int64_t need = CP_WideToAnsi(wide, units, nullptr, 0, nullptr);
    const bool whole = IsWhole(avail, total);
    const SQLLEN reported = whole ? need : SQL_NO_TOTAL;
    return CopyOut(need, whole, reported, 1, terminate, truncOk, t, [&](int64_t room) {
        int64_t unitsUsed = 0;
        int64_t bytes = CP_WideToAnsi(wide, units, static_cast<char *>(t.data), room, &unitsUsed);
        if (bytes < 0)
            return Written{-1, 0};
        if (unitsUsed >= units)
            return Written{bytes, n};
        int64_t srcBytes = 0;
        UTF8_ToWideN(src, wide, n, unitsUsed, &srcBytes);
        return Written{bytes, srcBytes};
    });
}

} // namespace

SQLRETURN CopyCHARtoCHAR(const char *src, int64_t n, int64_t avail, int64_t total, bool terminate,
                         bool truncOk, TextEnc enc, ConvTarget &t)
{
    if (n < 0)
        n = 0;
    if (enc == ENC_UTF8 && !CP_AnsiIsUtf8() && !IsAscii(src, n))
        return RecodeUtf8ToAnsi(src, n, avail, total, terminate, truncOk, t);
    const SQLLEN reported = total != 0 ? total : n;
    return CopyOut(n, IsWhole(avail, total), reported, 1, terminate, truncOk, t, [&](int64_t room) {
        int64_t k = TextCut(src, n, room, enc);
        if (k > 0)
            std::memcpy(t.data, src, static_cast<size_t>(k));
        return Written{k, k};
    });
}

SQLRETURN CopyWCHARtoCHAR(const SQLWCHAR *src, int64_t n, int64_t avail, int64_t total,
                          bool terminate, bool truncOk, ConvTarget &t)
{
    if (n < 0)
        n = 0;
    const bool whole = IsWhole(avail, total);
    if (IsAscii(src, n)) {
        return CopyOut(n, whole, whole ? n : SQL_NO_TOTAL, 1, terminate, truncOk, t, [&](int64_t room) {
            int64_t k = room < n ? room : n;
            auto *dst = static_cast<char *>(t.data);
            for (int64_t i = 0; i < k; ++i)
                dst[i] = static_cast<char>(src[i]);
            return Written{k, k * 2};
        });
    }
    // One pass for a text that fits: converted straight into the buffer, its
    // size is what was produced.  Only a text that does not fit is counted.
    const int64_t fitRoom = (t.bufLen > 0 ? t.bufLen : 0) - (terminate ? 1 : 0);
    Written first{-1, 0};
    if (t.data && truncOk && fitRoom > 0) {
        int64_t unitsUsed = 0;
        const int64_t bytes = CP_WideToAnsi(src, n, static_cast<char *>(t.data), fitRoom, &unitsUsed);
        if (bytes >= 0) {
            first = Written{bytes, unitsUsed * 2};
            if (unitsUsed == n) {
                return CopyOut(bytes, whole, whole ? bytes : SQL_NO_TOTAL, 1, terminate, truncOk, t,
                               [&](int64_t) { return first; });
            }
        }
    }
    const int64_t need = CP_WideToAnsi(src, n, nullptr, 0, nullptr);
    const SQLLEN reported = whole ? need : SQL_NO_TOTAL;
    return CopyOut(need, whole, reported, 1, terminate, truncOk, t, [&](int64_t room) {
        if (first.units >= 0 && room == fitRoom)
            return first;  // the cut the first pass already made
        int64_t unitsUsed = 0;
        int64_t bytes = n ? CP_WideToAnsi(src, n, static_cast<char *>(t.data), room, &unitsUsed) : 0;
        return Written{bytes, bytes < 0 ? 0 : unitsUsed * 2};
    });
}

SQLRETURN CopyCHARtoWCHAR(const char *src, int64_t n, int64_t avail, int64_t total, bool terminate,
                          bool truncOk, TextEnc enc, ConvTarget &t)
{
    if (n < 0)
        n = 0;
    const bool whole = IsWhole(avail, total);
    if (IsAscii(src, n)) {
        return CopyOut(n, whole, whole ? 2 * n : SQL_NO_TOTAL, 2, terminate, truncOk, t, [&](int64_t room) {
            int64_t k = room < n ? room : n;
            auto *dst = static_cast<SQLWCHAR *>(t.data);
            for (int64_t i = 0; i < k; ++i)
                dst[i] = static_cast<SQLWCHAR>(src[i]);
            return Written{k, k};
        });
    }
    const bool utf8 = enc == ENC_UTF8;
    const int64_t need = utf8 ? UTF8_CharCount(src, n) : CP_AnsiToWide<SQLWCHAR>(src, n, nullptr, 0, nullptr);
    const SQLLEN reported = whole ? need * 2 : SQL_NO_TOTAL;
    return CopyOut(need, whole, reported, 2, terminate, truncOk, t, [&](int64_t room) {
        auto *dst = static_cast<SQLWCHAR *>(t.data);
        int64_t used = 0;
        int64_t units = 0;
        if (n)
            units = utf8 ? UTF8_ToWideN(src, dst, n, room, &used) : CP_AnsiToWide(src, n, dst, room, &used);
        return Written{units, used};
    });
}

SQLRETURN CopyWCHARtoWCHAR(const SQLWCHAR *src, int64_t n, int64_t avail, int64_t total,
                           bool terminate, bool truncOk, ConvTarget &t)
{
    if (n < 0)
        n = 0;
    const int64_t units = n / 2;
    const SQLLEN reported = total != 0 ? total : n;
    return CopyOut(units, IsWhole(avail, total), reported, 2, terminate, truncOk, t, [&](int64_t room) {
        int64_t k = room < units ? room : units;
        if (k < units && k > 0 && src[k - 1] >= 0xD800 && src[k - 1] <= 0xDBFF)
            --k;  // never split a surrogate pair
        if (k > 0)
            std::memcpy(t.data, src, static_cast<size_t>(k) * 2);
        return Written{k, k * 2};
    });
}

int HexCharValue(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

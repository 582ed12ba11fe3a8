// UTF-16 <-> UTF-8 conversion, counting and case mapping.
#include "util/utf8.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "util/codepage.h"

#include "util/utf8_case.inc"

namespace {

constexpr int64_t kNTS = -3;
constexpr int64_t kUnlimited = -1;
constexpr char16_t kReplacement = 0xFFFD;

bool BadLength(int64_t n) { return n < 0 && n != kNTS; }

// ---- one character of UTF-8 ----

enum class SeqKind { Ok, Bad, Short };
struct Seq {
    SeqKind kind;
    uint32_t cp;
    int64_t len;  // bytes the sequence (or its rejected prefix) occupies
};

// Reads one well-formed sequence (encoded surrogates allowed) from at most
// avail bytes.  A NUL never continues a sequence, so terminated text is never
// read past its NUL.
Seq ReadSeq(const unsigned char *s, int64_t avail) {
    const unsigned b = s[0];
    if (b < 0x80) return {SeqKind::Ok, b, 1};
    int need;
    unsigned lo = 0x80, hi = 0xBF;
    uint32_t cp;
    if (b >= 0xC2 && b <= 0xDF) {
        need = 1;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2;
        cp = b & 0x0F;
        if (b == 0xE0) lo = 0xA0;  // no overlong forms
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3;
        cp = b & 0x07;
        if (b == 0xF0) lo = 0x90;  // no overlong forms
        if (b == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
        return {SeqKind::Bad, 0, 1};
    }
    for (int k = 1; k <= need; ++k) {
        if (k >= avail) return {SeqKind::Short, 0, k};
        const unsigned c = s[k];
        if (c < lo || c > hi) return {SeqKind::Bad, 0, k};
        lo = 0x80;
        hi = 0xBF;
        cp = cp << 6 | (c & 0x3F);
    }
    return {SeqKind::Ok, cp, need + 1};
}

struct Step {
    int units;  // 0: a cut-off sequence ends the input and is left for later
    char16_t u[2];
    int64_t len;
};

// Decodes one character into one or two units.  With flush, a sequence cut
// off by the end of the input becomes U+FFFD instead of being left over.
Step NextChar(const unsigned char *s, int64_t avail, bool flush) {
    const Seq q = ReadSeq(s, avail);
    if (q.kind == SeqKind::Short) {
        if (!flush) return {0, {0, 0}, 0};
        return {1, {kReplacement, 0}, q.len};
    }
    if (q.kind == SeqKind::Bad) return {1, {kReplacement, 0}, q.len};
    const uint32_t cp = q.cp;
    if (cp >= 0xD800 && cp <= 0xDFFF) {
        if (cp <= 0xDBFF) {
            if (avail > 3) {
                const Seq r = ReadSeq(s + 3, avail - 3);
                if (r.kind == SeqKind::Ok && r.cp >= 0xDC00 && r.cp <= 0xDFFF)
                    return {2, {static_cast<char16_t>(cp), static_cast<char16_t>(r.cp)}, 6};
                if (r.kind == SeqKind::Short && !flush) return {0, {0, 0}, 0};
            } else if (!flush) {
                return {0, {0, 0}, 0};
            }
        }
        return {1, {kReplacement, 0}, 3};
    }
    if (cp >= 0x10000) {
        const uint32_t v = cp - 0x10000;
        return {2, {static_cast<char16_t>(0xD800 + (v >> 10)), static_cast<char16_t>(0xDC00 + (v & 0x3FF))}, q.len};
    }
    return {1, {static_cast<char16_t>(cp), 0}, q.len};
}

// Writes (out non-NULL) the run of 7-bit bytes at the start of s as units,
// at most `bytes` of them, ending before a NUL when nulEnds; returns the run's
// length.  Reads no byte beyond the run's end.
template <class U>
int64_t AsciiRun(const unsigned char *s, int64_t bytes, bool nulEnds, U *out) {
    int64_t k = 0;
    if (nulEnds) {
        if (out)
            for (; k < bytes && static_cast<unsigned char>(s[k] - 1) < 0x7F; ++k) out[k] = static_cast<U>(s[k]);
        else
            while (k < bytes && static_cast<unsigned char>(s[k] - 1) < 0x7F) ++k;
        return k;
    }
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    for (; k + 8 <= bytes; k += 8) {
        uint64_t v;
        std::memcpy(&v, s + k, 8);
        if (v & kHigh) break;
        if (out)
            for (int i = 0; i < 8; ++i) out[k + i] = static_cast<U>(s[k + i]);
    }
    if (out)
        for (; k < bytes && s[k] < 0x80; ++k) out[k] = static_cast<U>(s[k]);
    else
        while (k < bytes && s[k] < 0x80) ++k;
    return k;
}

// Decodes m bytes (SQL_NTS: up to the NUL; stopAtNul: also up to a NUL within
// m) into at most room units (kUnlimited: no bound), or only counts when out
// is NULL.  Returns the units.
template <class U>
int64_t Decode(const char *src, int64_t m, U *out, int64_t room, bool flush, bool stopAtNul,
               int64_t *bytesUsed = nullptr) {
    const auto *s = reinterpret_cast<const unsigned char *>(src);
    const bool nts = m == kNTS;
    const bool nulEnds = nts || stopAtNul;
    const int64_t limit = room == kUnlimited ? INT64_MAX : room;
    int64_t p = 0, w = 0;
    for (;;) {
        const int64_t roomLeft = limit - w;
        const int64_t k = AsciiRun(s + p, nts || m - p > roomLeft ? roomLeft : m - p, nulEnds,
                                   out ? out + w : static_cast<U *>(nullptr));
        p += k;
        w += k;
        if (!nts && p >= m) break;
        if (nulEnds && s[p] == 0) break;
        if (w >= limit) break;
        const Step st = NextChar(s + p, nts ? INT64_MAX : m - p, flush);
        if (st.units == 0) break;
        if (w + st.units > limit) break;
        if (out) {
            out[w] = static_cast<U>(st.u[0]);
            if (st.units == 2) out[w + 1] = static_cast<U>(st.u[1]);
        }
        w += st.units;
        p += st.len;
    }
    if (bytesUsed) *bytesUsed = p;
    return w;
}

// ---- one character of UTF-16 ----

int EncodeCp(uint32_t cp, char *o) {
    if (cp < 0x80) {
        o[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        o[0] = static_cast<char>(0xC0 | (cp >> 6));
        o[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        o[0] = static_cast<char>(0xE0 | (cp >> 12));
        o[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        o[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    o[0] = static_cast<char>(0xF0 | (cp >> 18));
    o[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    o[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    o[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

bool IsHigh(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Writes (out non-NULL) the run of 7-bit units at the start of w as bytes, at
// most `units` of them, ending before a zero unit when nts; returns its length.
template <class U>
int64_t AsciiRunOut(const U *w, int64_t units, bool nts, char *out) {
    int64_t k = 0;
    if (nts) {
        for (; k < units; ++k) {
            const auto u = static_cast<uint16_t>(w[k]);
            if (u == 0 || u >= 0x80) break;
            if (out) out[k] = static_cast<char>(u);
        }
        return k;
    }
    for (; k < units; ++k) {
        const auto u = static_cast<uint16_t>(w[k]);
        if (u >= 0x80) break;
        if (out) out[k] = static_cast<char>(u);
    }
    return k;
}

// Encodes n units (SQL_NTS: up to the zero unit) into at most budget bytes
// (kUnlimited: no bound), or only counts when out is NULL.  Without flush a
// high surrogate ending the n units is left for the next piece.  A lone
// surrogate becomes `lone` (a 7-bit character), or U+FFFD when lone is 0.
template <class U>
int64_t Encode(const U *w, int64_t n, char *out, int64_t budget, bool flush, int64_t *unitsUsed = nullptr,
               char lone = 0) {
    const bool nts = n == kNTS;
    const int64_t limit = budget == kUnlimited ? INT64_MAX : budget;
    int64_t i = 0, b = 0;
    char tmp[4];
    for (;;) {
        const int64_t roomLeft = limit - b;
        const int64_t k = AsciiRunOut(w + i, nts || n - i > roomLeft ? roomLeft : n - i, nts,
                                      out ? out + b : nullptr);
        i += k;
        b += k;
        if (nts ? w[i] == 0 : i >= n) break;
        const uint32_t u = static_cast<uint16_t>(w[i]);
        uint32_t cp = u;
        int take = 1;
        bool bad = false;
        if (IsHigh(u)) {
            // In terminated text the unit after a nonzero unit is always readable.
            const bool haveNext = nts || i + 1 < n;
            if (haveNext && IsLow(static_cast<uint16_t>(w[i + 1]))) {
                cp = 0x10000 + ((u - 0xD800) << 10) + (static_cast<uint16_t>(w[i + 1]) - 0xDC00);
                take = 2;
            } else if (!haveNext && !flush) {
                break;
            } else {
                bad = true;
            }
        } else if (IsLow(u)) {
            bad = true;
        }
        int len;
        if (bad && lone) {
            tmp[0] = lone;
            len = 1;
        } else {
            len = EncodeCp(bad ? kReplacement : cp, tmp);
        }
        if (b + len > limit) break;
        if (out) std::memcpy(out + b, tmp, len);
        b += len;
        i += take;
    }
    if (unitsUsed) *unitsUsed = i;
    return b;
}

uint32_t MapCp(uint32_t cp, const uint32_t *table, size_t count) {
    const int64_t r = static_cast<int64_t>(cp) + UC_CaseDelta(table, count, cp);
    return r > 0 && r <= 0x10FFFF ? static_cast<uint32_t>(r) : cp;
}

// Maps every character of the buffer's text through the table in place.
char *CaseMap(char *buf, int64_t size, const uint32_t *table, size_t count) {
    if (!buf || size <= 0) return buf;
    const auto len = static_cast<int64_t>(strnlen(buf, static_cast<size_t>(size)));
    char16_t *w = UTF8_DupToWideN<char16_t>(buf, len);
    if (!w) return buf;
    for (int64_t i = 0; w[i]; ++i) {
        if (IsHigh(w[i]) && IsLow(w[i + 1])) {
            uint32_t cp = 0x10000 + ((w[i] - 0xD800u) << 10) + (w[i + 1] - 0xDC00u);
            cp = MapCp(cp, table, count);
            if (cp >= 0x10000) {
                w[i] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                w[i + 1] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            }
            ++i;
        } else {
            const uint32_t cp = MapCp(w[i], table, count);
            if (cp < 0x10000) w[i] = static_cast<char16_t>(cp);
        }
    }
    const int64_t b = Encode(w, kNTS, buf, size - 1, true);
    buf[b] = '\0';
    std::free(w);
    return buf;
}

}  // namespace

// ---- Counting ----

template <class U>
int64_t UTF8_LenFromWide(const U *w, int64_t n) {
    if (!w || BadLength(n)) return 0;
    return Encode(w, n, nullptr, kUnlimited, true);
}

int64_t UTF8_CharCount(const char *s, int64_t n) {
    if (!s || BadLength(n)) return 0;
    return Decode<char16_t>(s, n, nullptr, kUnlimited, true, true);
}

template <class U>
int64_t UC_StrLen(const U *w) {
    if (!w) return 0;
    int64_t n = 0;
    while (w[n]) ++n;
    return n;
}

// ---- UTF-16 to UTF-8 ----

template <class U>
int64_t UTF8_FromWide(const U *w, char *out, int64_t budget) {
    if (!w || !out || budget <= 0) return 0;
    return Encode(w, kNTS, out, budget, true);
}

template <class U>
int64_t UTF8_FromWideN(const U *w, char *out, int64_t n, int64_t budget, int64_t *unitsUsed) {
    if (unitsUsed) *unitsUsed = 0;
    if (!w || !out || BadLength(n) || budget <= 0) return 0;
    return Encode(w, n, out, budget, false, unitsUsed);
}

template <class U>
int64_t UTF8_FromWideAll(const U *w, int64_t n, char *out, int64_t budget, char lone, int64_t *unitsUsed) {
    if (unitsUsed) *unitsUsed = 0;
    if (!w || n < 0 || (out && budget < 0)) return 0;
    return Encode(w, n, out, out ? budget : kUnlimited, true, unitsUsed, lone);
}

template <class U>
int UTF8_FromWideBuf(const U *w, char *buf, int64_t size, int64_t *outBytes) {
    if (!w || !buf || size <= 0) return -1;
    // One pass: the text fits when encoding into size - 1 bytes reaches its end.
    int64_t used = 0;
    const int64_t b = Encode(w, kNTS, buf, size - 1, true, &used);
    buf[b] = '\0';
    if (outBytes) *outBytes = b;
    return w[used] == 0 ? 0 : -1;
}

template <class U>
char *UTF8_DupFromWide(const U *w) {
    return UTF8_DupFromWideN(w, kNTS);
}

template <class U>
char *UTF8_DupFromWideN(const U *w, int64_t n) {
    if (!w || BadLength(n)) return nullptr;
    const int64_t need = Encode(w, n, nullptr, kUnlimited, true);
    auto *out = static_cast<char *>(std::malloc(static_cast<size_t>(need) + 1));
    if (!out) return nullptr;
    const int64_t b = Encode(w, n, out, need, true);
    out[b] = '\0';
    return out;
}

// ---- UTF-8 to UTF-16 ----

template <class U>
int64_t UTF8_ToWide(const char *s, U *out, int64_t n) {
    if (!s || !out || n <= 0) return 0;
    return Decode(s, kNTS, out, n, true, true);
}

template <class U>
int64_t UTF8_ToWideN(const char *s, U *out, int64_t m, int64_t n, int64_t *bytesUsed) {
    if (bytesUsed) *bytesUsed = 0;
    if (!s || !out || BadLength(m) || n <= 0) return 0;
    return Decode(s, m, out, n, false, false, bytesUsed);
}

template <class U>
int64_t UTF8_ToWideAll(const char *s, int64_t m, U *out, int64_t room, int64_t *bytesUsed) {
    if (bytesUsed) *bytesUsed = 0;
    if (!s || m < 0 || (out && room < 0)) return 0;
    return Decode(s, m, out, out ? room : kUnlimited, true, false, bytesUsed);
}

template <class U>
U *UTF8_DupToWide(const char *s) {
    return UTF8_DupToWideN<U>(s, kNTS);
}

template <class U>
U *UTF8_DupToWideN(const char *s, int64_t n) {
    if (!s || BadLength(n)) return nullptr;
    const int64_t count = Decode<U>(s, n, nullptr, kUnlimited, true, true);
    auto *out = static_cast<U *>(std::calloc(static_cast<size_t>(count) + 1, sizeof(U)));
    if (!out) return nullptr;
    const int64_t w = Decode(s, n, out, count, true, true);
    out[w] = 0;
    return out;
}

template <class U>
int UTF8_ToWideBuf(const char *s, U *buf, int64_t size, int64_t *outUnits) {
    if (!s || !buf || size <= 0) return -1;
    // One pass: the text fits when decoding into size - 1 units reaches its NUL.
    int64_t used = 0;
    const int64_t w = Decode(s, kNTS, buf, size - 1, true, true, &used);
    buf[w] = 0;
    if (outUnits) *outUnits = w;
    return s[used] == 0 ? 0 : -1;
}

template <class U>
int UTF8_ToWideBufBytes(const char *s, U *buf, int64_t size, int64_t *outUnits) {
    if (!s) return -1;
    const int64_t count = UTF8_CharCount(s, kNTS);
    if (outUnits) *outUnits = count;
    if (!buf) return 0;
    if (size < 2) return -1;
    const int64_t units = size / 2;
    const bool fits = units >= count + 1;
    const int64_t w = Decode(s, kNTS, buf, fits ? count : units - 1, true, true);
    buf[w] = 0;
    return fits ? 0 : -1;
}

template <class U>
U *UTF8_ToWideCopy(U *buf, const char *s, int64_t n) {
    if (!buf || !s || n <= 0) return buf;
    const int64_t w = Decode(s, kNTS, buf, n - 1, true, true);
    buf[w] = 0;
    return buf;
}

template <class U>
U *UTF8_ToWideCopyAll(U *buf, const char *s) {
    if (!buf || !s) return buf;
    const int64_t w = Decode(s, kNTS, buf, kUnlimited, true, true);
    buf[w] = 0;
    return buf;
}

char *UTF8_FromAnsiCopy(char *buf, const char *ansi, int64_t n) {
    if (!buf || !ansi || n <= 0) return buf;
    const int64_t units = CP_AnsiToWide<char16_t>(ansi, kNTS, nullptr, 0, nullptr);
    if (units < 0) return buf;
    auto *w = static_cast<char16_t *>(std::calloc(static_cast<size_t>(units) + 1, sizeof(char16_t)));
    if (!w) return buf;
    const int64_t got = CP_AnsiToWide(ansi, kNTS, w, units, nullptr);
    if (got >= 0) {
        const int64_t b = Encode(w, got, buf, n - 1, true);
        buf[b] = '\0';
    }
    std::free(w);
    return buf;
}

// ---- Case ----

int32_t UC_CaseDelta(const uint32_t *table, size_t count, uint32_t cp) {
    if (!table || count == 0) return 0;
    size_t low = 0, high = count;  // half-open range [low, high)
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        const uint32_t e = table[mid];
        const uint32_t code = e & 0x1FFFF;
        if (code == cp) {
            const auto mag = static_cast<int32_t>((e >> 17) & 0x3FFF);
            return (e & 0x80000000u) ? -mag : mag;
        }
        if (cp < code)
            high = mid;
        else
            low = mid + 1;
    }
    return 0;
}

char16_t UC_ToUpper(char16_t u) {
    return static_cast<char16_t>(u + UC_CaseDelta(UC_UpperTable, UC_UPPER_COUNT, u));
}

char16_t UC_ToLower(char16_t u) {
    return static_cast<char16_t>(u + UC_CaseDelta(UC_LowerTable, UC_LOWER_COUNT, u));
}

char *UTF8_Upper(char *buf, int64_t size) { return CaseMap(buf, size, UC_UpperTable, UC_UPPER_COUNT); }

char *UTF8_Lower(char *buf, int64_t size) { return CaseMap(buf, size, UC_LowerTable, UC_LOWER_COUNT); }

// ---- instantiations for both 16-bit unit types ----

#define KRS_UTF8_INSTANTIATE(U)                                                              \
    template int64_t UTF8_LenFromWide<U>(const U *, int64_t);                                \
    template int64_t UC_StrLen<U>(const U *);                                                \
    template int64_t UTF8_FromWide<U>(const U *, char *, int64_t);                           \
    template int64_t UTF8_FromWideN<U>(const U *, char *, int64_t, int64_t, int64_t *);      \
    template int64_t UTF8_FromWideAll<U>(const U *, int64_t, char *, int64_t, char, int64_t *); \
    template int UTF8_FromWideBuf<U>(const U *, char *, int64_t, int64_t *);                 \
    template char *UTF8_DupFromWide<U>(const U *);                                           \
    template char *UTF8_DupFromWideN<U>(const U *, int64_t);                                 \
    template int64_t UTF8_ToWide<U>(const char *, U *, int64_t);                             \
    template int64_t UTF8_ToWideN<U>(const char *, U *, int64_t, int64_t, int64_t *);        \
    template int64_t UTF8_ToWideAll<U>(const char *, int64_t, U *, int64_t, int64_t *);      \
    template U *UTF8_DupToWide<U>(const char *);                                             \
    template U *UTF8_DupToWideN<U>(const char *, int64_t);                                   \
    template int UTF8_ToWideBuf<U>(const char *, U *, int64_t, int64_t *);                   \
    template int UTF8_ToWideBufBytes<U>(const char *, U *, int64_t, int64_t *);              \
    template U *UTF8_ToWideCopy<U>(U *, const char *, int64_t);                              \
    template U *UTF8_ToWideCopyAll<U>(U *, const char *);

KRS_UTF8_INSTANTIATE(char16_t)
KRS_UTF8_INSTANTIATE(unsigned short)

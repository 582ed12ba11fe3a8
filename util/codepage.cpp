// ANSI code page conversions: UTF-8 directly, other code sets over iconv
// with converters kept open per thread.
#include "util/codepage.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <strings.h>

#include "util/utf8.h"

namespace {

constexpr int64_t kNTS = -3;
constexpr size_t kNameMax = 64;

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
const char kUtf16[] = "UTF-16BE";
#else
const char kUtf16[] = "UTF-16LE";
#endif

// Closes an iconv descriptor on every exit.
class IconvGuard {
public:
    IconvGuard(const char *to, const char *from) : cd_(iconv_open(to, from)) {}
    ~IconvGuard() {
        if (ok()) iconv_close(cd_);
    }
    IconvGuard(const IconvGuard &) = delete;
    IconvGuard &operator=(const IconvGuard &) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

bool Convertible(const char *codeset) {
    IconvGuard a(kUtf16, codeset);
    IconvGuard b(codeset, kUtf16);
    return a.ok() && b.ok();
}

char g_localeCodeset[kNameMax];
char g_override[kNameMax];
std::atomic<bool> g_hasOverride{false};
// Changes whenever the ANSI code set may have changed; 0 is never current.
std::atomic<uint32_t> g_generation{1};

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// The converters of one thread, opened at first use and kept until the ANSI
// code set changes (or the thread ends), so a conversion opens nothing.
struct ThreadConverters {
    uint32_t generation = 0;
    bool utf8 = false;
    iconv_t toWide = kNoConverter;
    iconv_t toAnsi = kNoConverter;

    ~ThreadConverters() { Close(); }
    void Close() {
        if (toWide != kNoConverter) iconv_close(toWide);
        if (toAnsi != kNoConverter) iconv_close(toAnsi);
        toWide = toAnsi = kNoConverter;
    }
};

thread_local ThreadConverters t_converters;

bool IsUtf8Name(const char *cs) { return strcasecmp(cs, "UTF-8") == 0 || strcasecmp(cs, "UTF8") == 0; }

// This thread's converters for the current ANSI code set.
ThreadConverters &Current() {
    ThreadConverters &c = t_converters;
    const uint32_t gen = g_generation.load(std::memory_order_acquire);
    if (c.generation != gen) {
        c.Close();
        c.utf8 = IsUtf8Name(CP_AnsiCodeset());
        c.generation = gen;
    }
    return c;
}

// The thread's open converter of one direction; kNoConverter when iconv
// refuses the code set.
iconv_t Converter(ThreadConverters &c, bool toWide) {
    iconv_t &slot = toWide ? c.toWide : c.toAnsi;
    if (slot == kNoConverter)
        slot = toWide ? iconv_open(kUtf16, CP_AnsiCodeset()) : iconv_open(CP_AnsiCodeset(), kUtf16);
    return slot;
}

const char *LocaleCodesetOnce() {
    static const bool done = [] {
        CP_LocaleCodeset("", g_localeCodeset, sizeof g_localeCodeset);
        return true;
    }();
    (void)done;
    return g_localeCodeset;
}

// Input bytes an invalid character occupies, for the substitution step.
using SkipFn = size_t (*)(const char *in, size_t left);

size_t SkipOneByte(const char *, size_t left) { return left > 0 ? 1 : 0; }

// A valid surrogate pair the code set cannot represent is skipped whole;
// anything else one unit at a time.
size_t SkipWideChar(const char *in, size_t left) {
    if (left < 2) return left;
    char16_t u, v;
    std::memcpy(&u, in, 2);
    if (u >= 0xD800 && u <= 0xDBFF && left >= 4) {
        std::memcpy(&v, in + 2, 2);
        if (v >= 0xDC00 && v <= 0xDFFF) return 4;
    }
    return 2;
}

// Runs cd over the input into dst (room bytes), or with dst NULL counts the
// bytes the whole output needs.  Characters iconv rejects are replaced by
// subst.  Returns the output bytes, or -1 when iconv fails otherwise.
int64_t RunIconv(iconv_t cd, const char *in, size_t inLen, char *dst, size_t room,
                 const char *subst, size_t substLen, SkipFn skip, size_t *inUsed) {
    char scratch[512];
    const bool counting = dst == nullptr;
    char *base = counting ? scratch : dst;
    char *out = base;
    size_t left = counting ? sizeof scratch : room;
    int64_t counted = 0;
    char *ip = const_cast<char *>(in);
    size_t ileft = inLen;
    auto drain = [&] {
        counted += out - base;
        out = base;
        left = sizeof scratch;
    };

    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    bool flushing = false;
    for (;;) {
        size_t r = flushing ? iconv(cd, nullptr, nullptr, &out, &left)
                            : iconv(cd, &ip, &ileft, &out, &left);
        if (r != static_cast<size_t>(-1)) {
            if (flushing) break;
            flushing = true;  // end of input: write any closing shift sequence
            continue;
        }
        if (errno == E2BIG) {
            if (!counting) break;
            drain();
            continue;
        }
        if (!flushing && (errno == EILSEQ || errno == EINVAL)) {
            size_t k = errno == EINVAL ? ileft : skip(ip, ileft);
            if (k == 0) k = ileft;
            if (left < substLen) {
                if (!counting) break;
                drain();
            }
            std::memcpy(out, subst, substLen);
            out += substLen;
            left -= substLen;
            ip += k;
            ileft -= k;
            continue;
        }
        return -1;
    }
    if (inUsed) *inUsed = inLen - ileft;
    return counted + (out - base);
}

template <class U>
int64_t WideLen(const U *s) {
    int64_t n = 0;
    while (s[n]) ++n;
    return n;
}

}  // namespace

char *CP_LocaleCodeset(const char *localeName, char *buf, size_t size) {
    if (!buf || size == 0) return buf;
    const char *chosen = "UTF-8";
    locale_t loc = newlocale(LC_CTYPE_MASK, localeName ? localeName : "", static_cast<locale_t>(0));
    char found[kNameMax] = "";
    if (loc) {
        const char *cs = nl_langinfo_l(CODESET, loc);
        if (cs && *cs && std::strcmp(cs, "ANSI_X3.4-1968") != 0 && std::strlen(cs) < sizeof found) {
            std::strcpy(found, cs);
        }
        freelocale(loc);
    }
    if (found[0] && Convertible(found)) chosen = found;
    std::strncpy(buf, chosen, size - 1);
    buf[size - 1] = '\0';
    return buf;
}

const char *CP_AnsiCodeset() {
    if (g_hasOverride.load(std::memory_order_acquire)) return g_override;
    return LocaleCodesetOnce();
}

bool CP_AnsiIsUtf8() { return Current().utf8; }

bool CP_SetAnsiCodeset(const char *codeset) {
    if (!codeset) {
        g_hasOverride.store(false, std::memory_order_release);
        g_generation.fetch_add(1, std::memory_order_acq_rel);
        return true;
    }
    if (std::strlen(codeset) >= kNameMax || !Convertible(codeset)) return false;
    g_hasOverride.store(false, std::memory_order_release);
    std::strcpy(g_override, codeset);
    g_hasOverride.store(true, std::memory_order_release);
    g_generation.fetch_add(1, std::memory_order_acq_rel);
    return true;
}

template <class U>
int64_t CP_AnsiToWide(const char *src, int64_t n, U *dst, int64_t room, int64_t *bytesUsed) {
    static_assert(sizeof(U) == 2, "16-bit units");
    if (bytesUsed) *bytesUsed = 0;
    if (!src || (n < 0 && n != kNTS) || (dst && room < 0)) return CP_REFUSED;
    const size_t len = n == kNTS ? std::strlen(src) : static_cast<size_t>(n);
    if (len == 0) return 0;
    ThreadConverters &c = Current();
    if (c.utf8) return UTF8_ToWideAll(src, static_cast<int64_t>(len), dst, room, bytesUsed);
    iconv_t cd = Converter(c, true);
    if (cd == kNoConverter) return CP_REFUSED;
    static const char16_t kReplacement = 0xFFFD;
    size_t used = 0;
    int64_t bytes = RunIconv(cd, src, len, reinterpret_cast<char *>(dst),
                             dst ? static_cast<size_t>(room) * 2 : 0,
                             reinterpret_cast<const char *>(&kReplacement), 2, SkipOneByte, &used);
    if (bytes < 0) return CP_REFUSED;
    if (bytesUsed) *bytesUsed = static_cast<int64_t>(used);
    return bytes / 2;
}

template <class U>
int64_t CP_WideToAnsi(const U *src, int64_t n, char *dst, int64_t room, int64_t *unitsUsed) {
    static_assert(sizeof(U) == 2, "16-bit units");
    if (unitsUsed) *unitsUsed = 0;
    if (!src || (n < 0 && n != kNTS) || (dst && room < 0)) return CP_REFUSED;
    const int64_t units = n == kNTS ? WideLen(src) : n;
    if (units == 0) return 0;
    ThreadConverters &c = Current();
    if (c.utf8) return UTF8_FromWideAll(src, units, dst, room, '?', unitsUsed);
    iconv_t cd = Converter(c, false);
    if (cd == kNoConverter) return CP_REFUSED;
    size_t used = 0;
    int64_t bytes = RunIconv(cd, reinterpret_cast<const char *>(src), static_cast<size_t>(units) * 2,
                             dst, dst ? static_cast<size_t>(room) : 0, "?", 1, SkipWideChar, &used);
    if (bytes < 0) return CP_REFUSED;
    if (unitsUsed) *unitsUsed = static_cast<int64_t>(used / 2);
    return bytes;
}

template int64_t CP_AnsiToWide<char16_t>(const char *, int64_t, char16_t *, int64_t, int64_t *);
template int64_t CP_AnsiToWide<unsigned short>(const char *, int64_t, unsigned short *, int64_t, int64_t *);
template int64_t CP_WideToAnsi<char16_t>(const char16_t *, int64_t, char *, int64_t, int64_t *);
template int64_t CP_WideToAnsi<unsigned short>(const unsigned short *, int64_t, char *, int64_t, int64_t *);

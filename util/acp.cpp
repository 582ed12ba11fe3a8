// ANSI code-page text over the platform code-page layer.
#include "util/acp.h"

#include <cstdlib>
#include <cstring>

#include "util/codepage.h"

namespace {

constexpr int64_t kNTS = -3;

bool BadLength(int64_t n) { return n < 0 && n != kNTS; }

template <class U>
int64_t WideLen(const U *w) {
    int64_t n = 0;
    while (w[n]) ++n;
    return n;
}

// Converts the whole ANSI text into at most room units and writes the zero
// unit after them (buf holds room + 1 units).  -1 when refused.
template <class U>
int64_t ToWideTerminated(const char *a, int64_t n, U *buf, int64_t room) {
    int64_t got = n == 0 ? 0 : CP_AnsiToWide(a, n, buf, room, nullptr);
    buf[got < 0 ? 0 : got] = 0;
    return got;
}

// Converts the whole wide text into at most room bytes and writes the NUL
// after them (buf holds room + 1 bytes).  -1 when refused.
template <class U>
int64_t FromWideTerminated(const U *w, int64_t n, char *buf, int64_t room) {
    int64_t got = n == 0 ? 0 : CP_WideToAnsi(w, n, buf, room, nullptr);
    buf[got < 0 ? 0 : got] = '\0';
    return got;
}

}  // namespace

template <class U>
U *ACP_DupToWideN(const char *a, int64_t n) {
    if (!a || BadLength(n)) return nullptr;
    const int64_t need = n == 0 ? 0 : CP_AnsiToWide<U>(a, n, nullptr, 0, nullptr);
    const int64_t room = need < 0 ? 0 : need;
    auto *out = static_cast<U *>(std::calloc(static_cast<size_t>(room) + 1, sizeof(U)));
    if (!out) return nullptr;
    if (room > 0) ToWideTerminated(a, n, out, room);
    return out;
}

template <class U>
char *ACP_DupFromWideN(const U *w, int64_t n) {
    if (!w || BadLength(n)) return nullptr;
    const int64_t need = n == 0 ? 0 : CP_WideToAnsi(w, n, nullptr, 0, nullptr);
    const int64_t room = need < 0 ? 0 : need;
    auto *out = static_cast<char *>(std::malloc(static_cast<size_t>(room) + 1));
    if (!out) return nullptr;
    out[0] = '\0';
    if (room > 0) FromWideTerminated(w, n, out, room);
    return out;
}

template <class U>
char *ACP_DupFromWide(const U *w) {
    return ACP_DupFromWideN(w, kNTS);
}

template <class U>
int ACP_ToWideBufBytes(const char *a, U *buf, int64_t size, int64_t *outBytes) {
    if (!a) return -1;
    const int64_t need = *a ? CP_AnsiToWide<U>(a, kNTS, nullptr, 0, nullptr) : 0;
    if (outBytes) *outBytes = need < 0 ? 0 : 2 * need;
    if (!buf) return need < 0 ? ACP_REFUSED : 0;
    if (size < 2) return -1;
    const int64_t units = size / 2;
    if (need < 0) {
        buf[0] = 0;
        return ACP_REFUSED;
    }
    const bool fits = units >= need + 1;
    if (ToWideTerminated(a, kNTS, buf, fits ? need : units - 1) < 0) return ACP_REFUSED;
    return fits ? 0 : -1;
}

template <class U>
U *ACP_ToWideCopyAll(U *buf, const char *a) {
    if (!buf || !a) return buf;
    ToWideTerminated(a, kNTS, buf, static_cast<int64_t>(std::strlen(a)));
    return buf;
}

template <class U>
U *ACP_ToWideCopy(U *buf, const char *a, int64_t n) {
    if (!buf || !a || n <= 0) return buf;
    ToWideTerminated(a, kNTS, buf, n - 1);
    return buf;
}

template <class U>
char *ACP_FromWideCopy(char *buf, const U *w, int64_t n) {
    if (!buf || !w || n <= 0) return buf;
    FromWideTerminated(w, kNTS, buf, n - 1);
    return buf;
}

template <class U>
int UC_CopyBuf(const U *w, U *buf, int64_t size, int64_t *outLen) {
    if (!w || !buf || size <= 0) return -1;
    const int64_t len = WideLen(w);
    if (size >= len + 1) {
        std::memcpy(buf, w, static_cast<size_t>(len) * sizeof(U));
        buf[len] = 0;
        if (outLen) *outLen = len;
        return 0;
    }
    int64_t k = size - 1;
    const auto last = k > 0 ? static_cast<uint16_t>(w[k - 1]) : 0u;
    if (last >= 0xD800 && last <= 0xDBFF) --k;  // its low half does not fit
    std::memcpy(buf, w, static_cast<size_t>(k) * sizeof(U));
    buf[k] = 0;
    if (outLen) *outLen = k;
    return -1;
}

template <class U>
int UC_CopyBufLen(const U *w, U *buf, int64_t size, int64_t *outLen) {
    if (!w) return -1;
    if (outLen) *outLen = WideLen(w);
    if (!buf) return 0;
    int64_t copied = 0;
    return UC_CopyBuf(w, buf, size, &copied);
}

#define KRS_ACP_INSTANTIATE(U)                                               \
    template U *ACP_DupToWideN<U>(const char *, int64_t);                    \
    template char *ACP_DupFromWideN<U>(const U *, int64_t);                  \
    template char *ACP_DupFromWide<U>(const U *);                            \
    template int ACP_ToWideBufBytes<U>(const char *, U *, int64_t, int64_t *); \
    template U *ACP_ToWideCopyAll<U>(U *, const char *);                     \
    template U *ACP_ToWideCopy<U>(U *, const char *, int64_t);               \
    template char *ACP_FromWideCopy<U>(char *, const U *, int64_t);          \
    template int UC_CopyBuf<U>(const U *, U *, int64_t, int64_t *);          \
    template int UC_CopyBufLen<U>(const U *, U *, int64_t, int64_t *);

KRS_ACP_INSTANTIATE(char16_t)
KRS_ACP_INSTANTIATE(unsigned short)

// MD5 message digest (RFC 1321).
#include "util/md5.h"

#include <cstring>

namespace {

// Per-round shift amounts and additive constants (floor(abs(sin(i + 1)) * 2^32)).
const unsigned kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

const unsigned char kPadding[64] = {0x80};

uint32_t md5_Rotl(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

void md5_Encode(unsigned char *out, const uint32_t *in, unsigned len)
{
    for (unsigned i = 0, j = 0; j < len; ++i, j += 4) {
        out[j] = static_cast<unsigned char>(in[i] & 0xff);
        out[j + 1] = static_cast<unsigned char>((in[i] >> 8) & 0xff);
        out[j + 2] = static_cast<unsigned char>((in[i] >> 16) & 0xff);
        out[j + 3] = static_cast<unsigned char>((in[i] >> 24) & 0xff);
    }
}

void md5_Decode(uint32_t *out, const unsigned char *in, unsigned len)
{
    for (unsigned i = 0, j = 0; j < len; ++i, j += 4)
        out[i] = static_cast<uint32_t>(in[j]) | (static_cast<uint32_t>(in[j + 1]) << 8) |
                 (static_cast<uint32_t>(in[j + 2]) << 16) | (static_cast<uint32_t>(in[j + 3]) << 24);
}

} // namespace

void MD5Init(Md5Context *context)
{
    context->count[0] = context->count[1] = 0;
    context->state[0] = 0x67452301;
    context->state[1] = 0xefcdab89;
    context->state[2] = 0x98badcfe;
    context->state[3] = 0x10325476;
    std::memset(context->buffer, 0, sizeof context->buffer);
}

void MD5Update(Md5Context *context, const unsigned char *input, uint32_t length)
{
    if (!context || !input || length == 0)
        return;
    uint32_t index = (context->count[0] >> 3) & 0x3F;
    if ((context->count[0] += length << 3) < (length << 3))
        context->count[1]++;
    context->count[1] += length >> 29;

    uint32_t partLen = 64 - index;
    uint32_t i = 0;
    if (length >= partLen) {
        std::memcpy(&context->buffer[index], input, partLen);
        MD5Transform(context->state, context->buffer);
        for (i = partLen; i + 63 < length; i += 64)
            MD5Transform(context->state, &input[i]);
        index = 0;
    }
    std::memcpy(&context->buffer[index], &input[i], length - i);
}

void MD5Final(unsigned char digest[16], Md5Context *context)
{
    unsigned char bits[8];
    md5_Encode(bits, context->count, 8);
    uint32_t index = (context->count[0] >> 3) & 0x3f;
    uint32_t padLen = index < 56 ? 56 - index : 120 - index;
    MD5Update(context, kPadding, padLen);
    MD5Update(context, bits, 8);
    md5_Encode(digest, context->state, 16);
}

void MD5Transform(uint32_t state[4], const unsigned char block[64])
{
    uint32_t x[16];
    md5_Decode(x, block, 64);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (unsigned i = 0; i < 64; ++i) {
        uint32_t f;
        unsigned g;
        switch (i / 16) {
        case 0: f = (b & c) | (~b & d); g = i; break;
        case 1: f = (b & d) | (c & ~d); g = (5 * i + 1) % 16; break;
        case 2: f = b ^ c ^ d; g = (3 * i + 5) % 16; break;
        default: f = c ^ (b | ~d); g = (7 * i) % 16; break;
        }
        uint32_t next = b + md5_Rotl(a + f + kSine[i] + x[g], kShift[i / 16][i % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

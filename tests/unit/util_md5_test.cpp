#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "util/md5.h"

namespace {

std::string Hex(const unsigned char d[16])
{
    char buf[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(buf + 2 * i, 3, "%02x", d[i]);
    return buf;
}

std::string Md5Of(const std::string &text, size_t chunk)
{
    Md5Context ctx;
    MD5Init(&ctx);
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text.data());
    size_t left = text.size();
    while (left) {
        size_t n = left < chunk ? left : chunk;
        MD5Update(&ctx, p, static_cast<uint32_t>(n));
        p += n;
        left -= n;
    }
    unsigned char digest[16];
    MD5Final(digest, &ctx);
    return Hex(digest);
}

struct Vector {
    const char *text;
    const char *digest;
};

// The test suite of RFC 1321, appendix A.5.
const Vector kRfc1321[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

class Md5Rfc : public ::testing::TestWithParam<Vector> {};

TEST_P(Md5Rfc, WholeInput)
{
    EXPECT_EQ(Md5Of(GetParam().text, 1u << 20), GetParam().digest);
}

TEST_P(Md5Rfc, AnySplitGivesTheSameDigest)
{
    for (size_t chunk : {1, 3, 55, 56, 63, 64, 65})
        EXPECT_EQ(Md5Of(GetParam().text, chunk), GetParam().digest) << "chunks of " << chunk;
}

INSTANTIATE_TEST_SUITE_P(Suite, Md5Rfc, ::testing::ValuesIn(kRfc1321));

TEST(Md5, PaddingBoundaries)
{
    // Lengths around the 56-byte padding limit and the block size.
    struct Case {
        size_t len;
        const char *digest;
    };
    const Case cases[] = {
        {55, "ef1772b6dff9a122358552954ad0df65"},
        {56, "3b0c8ac703f828b04c6c197006d17218"},
        {57, "652b906d60af96844ebd21b674f35e93"},
        {63, "b06521f39153d618550606be297466d5"},
        {64, "014842d480b571495a4a0363793f7367"},
        {65, "c743a45e0d2e6a95cb859adae0248435"},
        {128, "e510683b3f5ffe4093d021808bc6ff70"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Md5Of(std::string(c.len, 'a'), 1u << 20), c.digest) << c.len;
}

TEST(Md5, FinalLeavesContextAndTransformMatchesOneBlock)
{
    Md5Context ctx;
    MD5Init(&ctx);
    EXPECT_EQ(ctx.state[0], 0x67452301u);
    EXPECT_EQ(ctx.count[0], 0u);
    const unsigned char abc[] = {'a', 'b', 'c'};
    MD5Update(&ctx, abc, 3);
    EXPECT_EQ(ctx.count[0], 24u);
    EXPECT_EQ(ctx.count[1], 0u);
    unsigned char digest[16];
    MD5Final(digest, &ctx);
    EXPECT_EQ(Hex(digest), "900150983cd24fb0d6963f7d28e17f72");

    // The padded block of "abc" through the bare transform gives the same state.
    unsigned char block[64] = {'a', 'b', 'c', 0x80};
    block[56] = 24;
    uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    MD5Transform(state, block);
    EXPECT_EQ(std::memcmp(state, ctx.state, sizeof state), 0);
}

TEST(Md5, BitCountCarriesIntoHighWord)
{
    Md5Context ctx;
    MD5Init(&ctx);
    ctx.count[0] = 0xFFFFFFF8u;  // one byte short of 2^32 bits
    const unsigned char two[] = {'x', 'y'};
    MD5Update(&ctx, two, 2);
    EXPECT_EQ(ctx.count[0], 8u);
    EXPECT_EQ(ctx.count[1], 1u);
}

} // namespace

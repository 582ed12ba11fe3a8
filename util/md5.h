// MD5 message digest (RFC 1321) under the RFC's routine names.
#pragma once
#include <cstdint>

struct Md5Context {
    uint32_t state[4];        // A, B, C, D
    uint32_t count[2];        // message length in bits, low word first
    unsigned char buffer[64]; // input block being filled
};

// Starts a digest: initial state, length 0.
void MD5Init(Md5Context *context);
// Adds length bytes; the block transform runs on every full 64-byte block.
void MD5Update(Md5Context *context, const unsigned char *input, uint32_t length);
// Pads, appends the length and writes the 16-byte digest; the context is not cleared.
void MD5Final(unsigned char digest[16], Md5Context *context);
// Transforms state by one 64-byte block.
void MD5Transform(uint32_t state[4], const unsigned char block[64]);

// Helpers of the conversion tests: expected byte strings and a target whose
// bytes past the buffer length are watched for overruns.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "exec/convert.h"
#include "odbc/errors.h"
#include "util/codepage.h"

using Bytes = std::vector<uint8_t>;

// The bytes of a value of any fixed type.
template <class T>
Bytes Val(const T &v)
{
    Bytes b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return b;
}

// Narrow text with its NUL.
inline Bytes Txt(const std::string &s)
{
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    return b;
}

// Raw bytes without a terminator.
inline Bytes Raw(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

// a followed by b.
inline Bytes Concat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// UTF-16 text with its zero unit.
inline Bytes Wtxt(const std::u16string &s)
{
    Bytes b((s.size() + 1) * 2, 0);
    std::memcpy(b.data(), s.data(), s.size() * 2);
    return b;
}

inline SQL_NUMERIC_STRUCT Numeric(int precision, int scale, int sign, unsigned __int128 mantissa)
{
    SQL_NUMERIC_STRUCT n{};
    n.precision = static_cast<SQLCHAR>(precision);
    n.scale = static_cast<SQLSCHAR>(scale);
    n.sign = static_cast<SQLCHAR>(sign);
    for (int i = 0; i < SQL_MAX_NUMERIC_LEN; ++i) {
        n.val[i] = static_cast<SQLCHAR>(mantissa & 0xFF);
        mantissa >>= 8;
    }
    return n;
}

// SQLSTATE of an error number, "" for none.
inline std::string StateOf(int32_t err)
{
    const ErrorRow *row = ERR_Lookup(err);
    return row ? row->sqlstate : "";
}

constexpr uint8_t kGuard = 0xCC;
constexpr SQLLEN kNotWritten = -999;

// One conversion's outcome.
struct Outcome {
    Bytes buf;          // the buffer and a guard area behind it
    SQLLEN bufLen = 0;
    SQLLEN octet = kNotWritten;
    int32_t err = 0;
    SQLRETURN rc = SQL_SUCCESS;
    int64_t used = 0;
};

// Runs fn on a target of bufLen bytes (at least 64 are allocated, so fixed
// results that ignore the length land inside it), followed by guard bytes.
template <class Fn>
Outcome RunConv(SQLLEN bufLen, Fn fn)
{
    Outcome o;
    o.bufLen = bufLen;
    size_t size = static_cast<size_t>(bufLen > 64 ? bufLen : 64) + 16;
    o.buf.assign(size, kGuard);
    ConvTarget t{o.buf.data(), bufLen, &o.octet, &o.err, 0};
    o.rc = fn(t);
    o.used = t.used;
    return o;
}

// Expected outcome: the leading bytes written (nothing written when empty and
// the buffer is expected untouched), octet length, SQLSTATE, return code.
struct Expect {
    Bytes bytes;
    SQLLEN octet;
    const char *state;
    SQLRETURN rc;
};

inline void CheckOutcome(const Outcome &o, const Expect &e, bool variableLength)
{
    EXPECT_EQ(o.rc, e.rc);
    EXPECT_EQ(StateOf(o.err), e.state);
    EXPECT_EQ(o.octet, e.octet);
    if (!e.bytes.empty()) {
        ASSERT_LE(e.bytes.size(), o.buf.size());
        EXPECT_EQ(Bytes(o.buf.begin(), o.buf.begin() + static_cast<long>(e.bytes.size())), e.bytes);
    }
    // Nothing past what was expected (or, for variable-length results, past
    // the buffer length) was touched.
    size_t from = e.bytes.size();
    if (variableLength && static_cast<size_t>(o.bufLen > 0 ? o.bufLen : 0) > from)
        from = static_cast<size_t>(o.bufLen);
    for (size_t i = from; i < o.buf.size(); ++i)
        ASSERT_EQ(o.buf[i], kGuard) << "byte " << i << " written";
}

// Every conversion test runs with a UTF-8 ANSI code page unless it sets another.
class Utf8CodePage : public ::testing::Environment {
public:
    void SetUp() override { CP_SetAnsiCodeset("UTF-8"); }
    void TearDown() override { CP_SetAnsiCodeset(nullptr); }
};

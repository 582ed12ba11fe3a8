// X/Open XA branch identifiers, flags and return codes as they travel inside
// the driver, between the XA switch, the worker proxies and the back end.
#pragma once
#include <cstdint>
#include <cstring>

constexpr int XA_XIDDATASIZE = 128;  // bytes of a branch identifier's data
constexpr int XA_MAXPARTSIZE = 64;   // most bytes of either part

// The driver's branch identifier: 32-bit fields, 140 bytes.  The data hold
// the gtrid_length bytes of the global transaction identifier followed
// directly by the bqual_length bytes of the branch qualifier.
struct XID {
    int32_t formatID;
    int32_t gtrid_length;
    int32_t bqual_length;
    char data[XA_XIDDATASIZE];
};
static_assert(sizeof(XID) == 140, "the driver's XID has 140 bytes");

// True when both part lengths lie in 0..64 (so the parts fit the data).
inline bool XA_XidLengthsValid(int64_t gtridLength, int64_t bqualLength)
{
    return gtridLength >= 0 && gtridLength <= XA_MAXPARTSIZE && bqualLength >= 0 &&
           bqualLength <= XA_MAXPARTSIZE;
}

// True when both name the same branch: format identifier and both parts.
inline bool XA_SameXid(const XID &a, const XID &b)
{
    return a.formatID == b.formatID && a.gtrid_length == b.gtrid_length &&
           a.bqual_length == b.bqual_length && XA_XidLengthsValid(a.gtrid_length, a.bqual_length) &&
           std::memcmp(a.data, b.data, static_cast<size_t>(a.gtrid_length + a.bqual_length)) == 0;
}

// Flags (X/Open values as 32-bit words).
constexpr int32_t XA_TMNOFLAGS = 0;
constexpr int32_t XA_TMASYNC = static_cast<int32_t>(0x80000000u);
constexpr int32_t XA_TMONEPHASE = 0x40000000;
constexpr int32_t XA_TMFAIL = 0x20000000;
constexpr int32_t XA_TMNOWAIT = 0x10000000;
constexpr int32_t XA_TMRESUME = 0x08000000;
constexpr int32_t XA_TMSUCCESS = 0x04000000;
constexpr int32_t XA_TMSUSPEND = 0x02000000;
constexpr int32_t XA_TMSTARTRSCAN = 0x01000000;
constexpr int32_t XA_TMENDRSCAN = 0x00800000;
constexpr int32_t XA_TMJOIN = 0x00200000;

// Return codes.
enum : int {
    XA_RBROLLBACK = 100,
    XA_RBCOMMFAIL = 101,
    XA_RBDEADLOCK = 102,
    XA_RBINTEGRITY = 103,
    XA_RBOTHER = 104,
    XA_RBPROTO = 105,
    XA_RBTIMEOUT = 106,
    XA_RBTRANSIENT = 107,
    XA_NOMIGRATE = 9,
    XA_HEURHAZ = 8,
    XA_HEURCOM = 7,
    XA_HEURRB = 6,
    XA_HEURMIX = 5,
    XA_RETRY = 4,
    XA_RDONLY = 3,
    XA_OK = 0,
    XAER_ASYNC = -2,
    XAER_RMERR = -3,
    XAER_NOTA = -4,
    XAER_INVAL = -5,
    XAER_PROTO = -6,
    XAER_RMFAIL = -7,
    XAER_DUPID = -8,
    XAER_OUTSIDE = -9,
};

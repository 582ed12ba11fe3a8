// The distributed transaction coordinator as the driver's resource manager
// sees it: the coordinator's objects are abstract classes of our own (the
// coordinator library and the driver are built from these declarations; no
// binary compatibility with any other object model is intended).
//
// The coordinator library is a shared library named by the environment
// variable KRS_DTC_LIBRARY; it exports
//     HRESULT DtcGetTransactionManager(const char *host, const char *tmName,
//                                      const IID &iid, uint32_t reserved1,
//                                      uint16_t reserved2Size, void *reserved2,
//                                      void **out);
// which hands out the local coordinator's transaction manager.  Every object
// handed over through an out pointer carries one reference that the receiver
// gives back with Release exactly once.
#pragma once
#include <cstdint>

typedef int32_t HRESULT;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT XACT_S_READONLY = 0x0004D002;
constexpr HRESULT XACT_S_SINGLEPHASE = 0x0004D009;
constexpr HRESULT XACT_E_ABORTED = static_cast<HRESULT>(0x8004D019u);
constexpr HRESULT XACT_E_INDOUBT = static_cast<HRESULT>(0x8004D016u);
constexpr HRESULT XACT_E_NOTRANSACTION = static_cast<HRESULT>(0x8004D00Eu);
constexpr HRESULT XACT_E_CONNECTION_DOWN = static_cast<HRESULT>(0x8004D01Cu);

inline bool PL_Failed(HRESULT hr) { return hr < 0; }

struct IID {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};

inline bool operator==(const IID &a, const IID &b)
{
    if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.data4[i] != b.data4[i])
            return false;
    return true;
}

constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_ITransactionResourceAsync = {
    0x69E971F0, 0x23CE, 0x11CF, {0xAD, 0x60, 0x00, 0xAA, 0x00, 0xA7, 0x4C, 0xCD}};
constexpr IID IID_IDtcToXaHelperSinglePipe = {
    0x47ED4971, 0x53B3, 0x11D1, {0xBB, 0xB9, 0x00, 0xC0, 0x4F, 0xD6, 0x58, 0xF6}};

// A unit of work or abort reason of the coordinator (opaque to the driver).
struct BOID {
    uint8_t rgb[16];
};
typedef BOID XACTUOW;

// The X/Open branch identifier with 32-bit fields (140 bytes); defined
// with the driver's XA identifiers.
struct XID;

// Reference counting and interface lookup of every coordinator object.
class IUnknown {
public:
    virtual HRESULT QueryInterface(const IID &iid, void **out) = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

// The application's transaction, begun with the coordinator.  The driver
// only passes it back to the coordinator.
class ITransaction : public IUnknown {
public:
    virtual HRESULT Commit(int32_t fRetaining, uint32_t grfTC, uint32_t grfRM) = 0;
    virtual HRESULT Abort(BOID *reason, int32_t fRetaining, int32_t fAsync) = 0;

protected:
    ~ITransaction() = default;
};

// The coordinator's side of one enlistment: the resource manager reports
// the outcome of each two-phase request through it.
class ITransactionEnlistmentAsync : public IUnknown {
public:
    virtual HRESULT PrepareRequestDone(HRESULT hr, void *moniker, BOID *reason) = 0;
    virtual HRESULT CommitRequestDone(HRESULT hr) = 0;
    virtual HRESULT AbortRequestDone(HRESULT hr) = 0;

protected:
    ~ITransactionEnlistmentAsync() = default;
};

// The resource manager's side of one enlistment: the coordinator's
// two-phase requests.
class ITransactionResourceAsync : public IUnknown {
public:
    virtual HRESULT PrepareRequest(int32_t fRetaining, uint32_t grfRM, int32_t fWantMoniker,
                                   int32_t fSinglePhase) = 0;
    virtual HRESULT CommitRequest(uint32_t grfRM, XACTUOW *newUow) = 0;
    virtual HRESULT AbortRequest(BOID *reason, int32_t fRetaining, XACTUOW *newUow) = 0;
    virtual HRESULT TMDown() = 0;

protected:
    ~ITransactionResourceAsync() = default;
};

// The coordinator's XA helper: registers an XA resource manager (the
// coordinator reaches it for recovery through the driver's XA switch, the
// connect text being its open text), names a transaction as an XA branch
// identifier and enlists the resource manager in a transaction.
class IDtcToXaHelperSinglePipe : public IUnknown {
public:
    virtual HRESULT XARMCreate(const char *connectText, const char *driverFile,
                               uint32_t *cookie) = 0;
    virtual HRESULT ConvertTridToXID(ITransaction *transaction, uint32_t cookie, XID *xid) = 0;
    virtual HRESULT EnlistWithRM(uint32_t cookie, ITransaction *transaction,
                                 ITransactionResourceAsync *resource,
                                 ITransactionEnlistmentAsync **enlistment) = 0;
    virtual void ReleaseRMCookie(uint32_t cookie, int32_t normal) = 0;

protected:
    ~IDtcToXaHelperSinglePipe() = default;
};

typedef HRESULT (*PL_DtcGetTransactionManagerFn)(const char *host, const char *tmName,
                                                  const IID &iid, uint32_t reserved1,
                                                  uint16_t reserved2Size, void *reserved2,
                                                  void **out);

// DtcGetTransactionManager of the library named by KRS_DTC_LIBRARY, loaded
// on the first call that finds it (and kept for the life of the process);
// null while the variable is unset or empty, or the library or its entry
// cannot be loaded (a later call tries again).
PL_DtcGetTransactionManagerFn PL_DtcManagerEntry();

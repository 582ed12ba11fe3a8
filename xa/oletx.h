// The MS DTC resource manager's objects and its trace (the OLE Transactions
// lines of the "-xa" trace file).
//
// One COdbcResourceDispenser per enlisted connection: it turns the
// connection's back-end connection into an XA branch connection, registers
// the driver with the coordinator through the coordinator's XA helper pipe
// and enlists; its CImpITransactionResourceAsync carries out the coordinator's
// two-phase requests with the back end's XA operations.  From a successful
// prepare until the outcome the dispenser holds the connection's call lock
// (a hold that only its own token ends), so that the application cannot use
// the connection while the branch is in doubt.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "odbc/contract/xid.h"
#include "platform/dtc.h"
#include "platform/locks.h"

struct DrvBinding;

// ---- trace ----

// Opens the OLE Transactions trace on the XA trace stream (opening that
// first when needed) and writes its header; stays off without a stream.
void OleTx_TraceOpen();
// Closes the XA trace when the OLE Transactions trace had it.
void OleTx_TraceClose();
// True once the trace found a stream (every call site tests it first).
bool OleTx_TraceOn();
// One line: "[<thread id>] " and the message (which ends in its own "\n").
void OleTx_Trace(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Writes the result line of an HRESULT and answers it.
HRESULT OleTx_TraceHResult(HRESULT hr);
// Writes "Call returned: <value>" and answers the value.
uint32_t OleTx_TraceCount(uint32_t value);
// The name of an HRESULT for the trace ("Unknown!" for one not listed).
const char *OleTx_HResultName(HRESULT hr);

// The object-type tag of the module's objects and the process-wide count of
// live objects (changed only by atomic operations).
class CObjCounter {
public:
    enum : uint32_t { kResourceDispenser = 1 };
    void SetType(uint32_t type) { m_type = type; }
    uint32_t Type() const { return m_type; }
    static void Raise() { s_live.fetch_add(1); }
    static void Lower() { s_live.fetch_sub(1); }
    static int32_t Live() { return s_live.load(); }
    static const char *TypeName(uint32_t type);
    static void DumpObjCounts();

private:
    uint32_t m_type = 0;
    static std::atomic<int32_t> s_live;
};

// ---- resource manager ----

class IOdbcResourceDispenser : public IUnknown {
public:
    virtual ~IOdbcResourceDispenser() = default;
    virtual HRESULT RMConnect() = 0;
    virtual HRESULT RMEnlist() = 0;
    virtual HRESULT GetDispenser(void **out) = 0;
};

class COdbcResourceDispenser;

// The coordinator's way into a dispenser's branch.  It has no count of its
// own: its QueryInterface, AddRef and Release are the owner's.
class CImpITransactionResourceAsync final : public ITransactionResourceAsync {
public:
    explicit CImpITransactionResourceAsync(COdbcResourceDispenser *owner) : m_owner(owner) {}
    ~CImpITransactionResourceAsync() = default;

    HRESULT QueryInterface(const IID &iid, void **out) override;
    uint32_t AddRef() override;
    uint32_t Release() override;
    HRESULT PrepareRequest(int32_t fRetaining, uint32_t grfRM, int32_t fWantMoniker,
                           int32_t fSinglePhase) override;
    HRESULT CommitRequest(uint32_t grfRM, XACTUOW *newUow) override;
    HRESULT AbortRequest(BOID *reason, int32_t fRetaining, XACTUOW *newUow) override;
    HRESULT TMDown() override;

private:
    COdbcResourceDispenser *m_owner;
};

// Branch states.
enum DtcBranchState : int32_t {
    DTC_NONE = 0,
    DTC_ACTIVE = 1,
    DTC_ENDED = 2,
    DTC_PREPARED = 3,
    DTC_HEURISTIC = 5,
};

// The module's own HRESULT: the back end's XA open or start failed.
constexpr HRESULT E_KRS_XA_FAILED = static_cast<HRESULT>(0x80044001u);

class COdbcResourceDispenser final : public IOdbcResourceDispenser, public CObjCounter {
public:
    COdbcResourceDispenser(ITransaction *transaction, int serverHandle, int hConnect,
                           DrvBinding *binding, void *generalLock, PL_CallLock *callLock,
                           const char *connectText);
    ~COdbcResourceDispenser() override;

    HRESULT QueryInterface(const IID &iid, void **out) override;
    uint32_t AddRef() override;
    uint32_t Release() override;
    HRESULT RMConnect() override;
    HRESULT RMEnlist() override;
    HRESULT GetDispenser(void **out) override;

    // The coordinator's requests (through the CImpITransactionResourceAsync).
    HRESULT Prepare(bool singlePhase);
    HRESULT Commit();
    HRESULT Abort();
    HRESULT CoordinatorDown();

    // The connection goes away while the coordinator still holds the
    // dispenser: it forgets the connection (a hold on its call lock is given
    // up) and later requests fail without reaching the back end.
    void Detach();
    // The handle layer lets go of the connection that stays open (the
    // enlistment ends or is replaced): the branch connection is given back
    // as the dispenser's destruction would (an active branch ends as failed,
    // the XA connection is closed), then the connection is forgotten.
    void GiveBack();
    // The process exits: the connection and the coordinator's objects are
    // forgotten without calling the back end or the coordinator.
    void Abandon();
    int32_t RefCount() const { return m_cRef.load(); }

    int32_t State() const { return m_state; }
    // 0 when no branch waits for its outcome, 1 when one does in
    // `transaction`, 2 when one does in another transaction.
    int BranchOpen(const ITransaction *transaction);
    bool HoldsCallLock() const { return m_holdToken != 0; }

private:
    HRESULT onePhaseCommit();
    // Keeps the call lock held while the branch is prepared and gives it up
    // as soon as it is not (whatever path left the prepared state).
    void syncCallLock();
    int end(int flags);
    // Ends an active branch as failed, gives a held call lock up and closes
    // the XA connection when it is open (results not looked at).
    void closeBranch();
    // Forgets the connection (binding, locks, branch state); under m_lock.
    void forgetConnection(const char *why);

    std::atomic<int32_t> m_cRef{0};
    PL_CriticalSection m_lock;
    CImpITransactionResourceAsync *m_resource = nullptr;
    void *m_generalLock;
    PL_CallLock *m_callLock;
    std::string m_connectText;
    int m_serverHandle;
    int m_hConnect;
    DrvBinding *m_binding;
    int32_t m_rmid = 0;
    int32_t m_xaOpen = 0;
    std::string m_xaInfo;
    int32_t m_state = DTC_NONE;
    ITransaction *m_transaction;
    uint32_t m_cookie = 0;
    XID m_xid{};
    IDtcToXaHelperSinglePipe *m_pipe = nullptr;
    ITransactionEnlistmentAsync *m_enlistment = nullptr;
    uint64_t m_holdToken = 0;  // the call lock's hold while prepared; 0 none
    std::atomic<bool> m_detached{false};
};

// Entry points of the handle layer's coordinator link (declared in xa/xat.h)
// and the library-unload clean-up: destroys every dispenser whatever its count.
void OleTx_ReleaseAll();
// The process-exit clean-up: every dispenser forgets its connection and the
// coordinator's objects without calling out; none is destroyed (the
// coordinator may still hold them).
void OleTx_AbandonAll();

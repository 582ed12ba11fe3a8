// The MS DTC resource manager: the dispenser of each enlisted connection,
// its registration with the coordinator, the enlistment and the two-phase
// requests, carried out with the back end's XA operations.
#include "xa/oletx.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <chrono>
#include <mutex>
#include <thread>
#include <new>
#include <vector>

#include "odbc/contract/drv_ops.h"
#include "odbc/layer_links.h"
#include "platform/odbcinst.h"
#include "xa/xa_switch.h"
#include "xa/xat.h"

namespace {
constexpr size_t kDsnMax = 255;
constexpr size_t kXaInfoSize = 256;
constexpr size_t kDriverNameSize = 160;

std::atomic<bool> g_initialised{false};
std::mutex g_initLock;

// The dispensers that exist, and the driver's file name as the coordinator
// is told it (read once per process); both under the list lock.  The list
// and its lock are never destroyed: the library's unload clean-up runs after
// the static destructors.
PL_CriticalSection &listLock()
{
    static PL_CriticalSection *lock = new PL_CriticalSection;
    return *lock;
}
std::vector<COdbcResourceDispenser *> &liveList()
{
    static auto *list = new std::vector<COdbcResourceDispenser *>;
    return *list;
}
char g_driverName[kDriverNameSize] = "";

// Takes the dispenser off the live list; false when it was not there.
bool unlist(COdbcResourceDispenser *d)
{
    auto &list = liveList();
    auto it = std::find(list.begin(), list.end(), d);
    if (it == list.end())
        return false;
    list.erase(it);
    return true;
}

bool isHeuristic(int r) { return r >= XA_HEURMIX && r <= XA_HEURHAZ; }

// The result line of an operation while the trace is on.
HRESULT answer(HRESULT hr) { return OleTx_TraceOn() ? OleTx_TraceHResult(hr) : hr; }

uint32_t answerCount(uint32_t n) { return OleTx_TraceOn() ? OleTx_TraceCount(n) : n; }

// The data source name of a connect text: after its leading "DSN=" up to
// the first ';', at most 255 characters.
std::string connectDsn(const std::string &text)
{
    if (text.size() < 4)
        return "";
    const size_t stop = text.find(';', 4);
    std::string dsn = text.substr(4, stop == std::string::npos ? std::string::npos : stop - 4);
    return dsn.size() > kDsnMax ? dsn.substr(0, kDsnMax) : dsn;
}

// The data source's "Driver" value, upper-cased, after its last backslash;
// read on the first call and kept.  False when the data source has none.
bool driverFileName(const std::string &dsn, std::string *out)
{
    PL_CsGuard guard(listLock());
    if (!g_driverName[0]) {
        char value[kDriverNameSize] = "";
        int got = inst::SQLGetPrivateProfileString(dsn.c_str(), "Driver", "", value,
                                                   sizeof value, "odbc.ini");
        if (got <= 0 || !value[0])
            return false;
        for (char *p = value; *p; ++p)
            *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
        const char *slash = std::strrchr(value, '\\');
        std::snprintf(g_driverName, sizeof g_driverName, "%s", slash ? slash + 1 : value);
    }
    *out = g_driverName;
    return true;
}

// Releases a coordinator object once and forgets it.
template <class T>
void releaseOnce(T *&object)
{
    if (object) {
        T *o = object;
        object = nullptr;
        o->Release();
    }
}
} // namespace

// ---- CImpITransactionResourceAsync ----

HRESULT CImpITransactionResourceAsync::QueryInterface(const IID &iid, void **out)
{
    return m_owner->QueryInterface(iid, out);
}

uint32_t CImpITransactionResourceAsync::AddRef() { return m_owner->AddRef(); }

uint32_t CImpITransactionResourceAsync::Release() { return m_owner->Release(); }

HRESULT CImpITransactionResourceAsync::PrepareRequest(int32_t, uint32_t, int32_t,
                                                      int32_t fSinglePhase)
{
    return m_owner->Prepare(fSinglePhase != 0);
}

HRESULT CImpITransactionResourceAsync::CommitRequest(uint32_t, XACTUOW *)
{
    return m_owner->Commit();
}

HRESULT CImpITransactionResourceAsync::AbortRequest(BOID *, int32_t, XACTUOW *)
{
    return m_owner->Abort();
}

HRESULT CImpITransactionResourceAsync::TMDown() { return m_owner->CoordinatorDown(); }

// ---- COdbcResourceDispenser ----

COdbcResourceDispenser::COdbcResourceDispenser(ITransaction *transaction, int serverHandle,
                                               int hConnect, DrvBinding *binding,
                                               void *generalLock, PL_CallLock *callLock,
                                               const char *connectText)
    : m_generalLock(generalLock), m_callLock(callLock), m_connectText(connectText ? connectText : ""),
      m_serverHandle(serverHandle), m_hConnect(hConnect), m_binding(binding),
      m_transaction(transaction)
{
    SetType(kResourceDispenser);
    if (OleTx_TraceOn())
        OleTx_Trace("COdbcResourceDispenser::COdbcResourceDispenser()\n");
    m_resource = new CImpITransactionResourceAsync(this);
    Raise();
    PL_CsGuard guard(listLock());
    liveList().push_back(this);
}

COdbcResourceDispenser::~COdbcResourceDispenser()
{
    if (OleTx_TraceOn())
        OleTx_Trace("COdbcResourceDispenser::~COdbcResourceDispenser()\n");
    closeBranch();
    if (m_cookie && m_pipe) {
        m_pipe->ReleaseRMCookie(m_cookie, 1);
        m_cookie = 0;
    }
    releaseOnce(m_pipe);
    releaseOnce(m_enlistment);
    delete m_resource;
    m_resource = nullptr;
    Lower();
}

HRESULT COdbcResourceDispenser::QueryInterface(const IID &iid, void **out)
{
    if (!out)
        return E_INVALIDARG;
    if (iid == IID_IUnknown) {
        AddRef();
        *out = static_cast<IOdbcResourceDispenser *>(this);
        return S_OK;
    }
    if (iid == IID_ITransactionResourceAsync) {
        AddRef();
        *out = static_cast<ITransactionResourceAsync *>(m_resource);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

uint32_t COdbcResourceDispenser::AddRef()
{
    if (OleTx_TraceOn())
        OleTx_Trace("COdbcResourceDispenser::AddRef(), this=%p, m_hConnect=%lX, m_cRef=%d\n",
                    static_cast<void *>(this), static_cast<unsigned long>(m_hConnect),
                    m_cRef.load() + 1);
    return answerCount(static_cast<uint32_t>(m_cRef.fetch_add(1) + 1));
}

uint32_t COdbcResourceDispenser::Release()
{
    if (OleTx_TraceOn())
        OleTx_Trace("COdbcResourceDispenser::Release(), this=%p, m_hConnect=%lX, m_cRef=%d\n",
                    static_cast<void *>(this), static_cast<unsigned long>(m_hConnect),
                    m_cRef.load() - 1);
    // Never below zero: a release without a reference changes nothing.
    int32_t n = m_cRef.load();
    do {
        if (n <= 0)
            return answerCount(0);
    } while (!m_cRef.compare_exchange_weak(n, n - 1));
    if (n - 1 > 0)
        return answerCount(static_cast<uint32_t>(n - 1));
    {
        PL_CsGuard guard(listLock());
        // Only a dispenser still listed is destroyed here (the library's
        // unload may have destroyed it already).
        if (unlist(this))
            delete this;
    }
    return answerCount(0);
}

HRESULT COdbcResourceDispenser::GetDispenser(void **out)
{
    if (!out)
        return E_INVALIDARG;
    *out = static_cast<IOdbcResourceDispenser *>(this);
    return S_OK;
}

HRESULT COdbcResourceDispenser::RMConnect()
{
    PL_CsGuard guard(m_lock);
    if (OleTx_TraceOn())
        OleTx_Trace("COdbcResourceDispenser::RMConnect()\n");
    if (m_pipe)
        return answer(E_UNEXPECTED);
    PL_DtcGetTransactionManagerFn getManager = PL_DtcManagerEntry();
    if (!getManager)
        return answer(E_FAIL);
    IUnknown *manager = nullptr;
    HRESULT hr = getManager(nullptr, nullptr, IID_IUnknown, 0, 0, nullptr,
                            reinterpret_cast<void **>(&manager));
    if (PL_Failed(hr) || !manager)
        return answer(PL_Failed(hr) ? hr : E_FAIL);
    IDtcToXaHelperSinglePipe *pipe = nullptr;
    hr = manager->QueryInterface(IID_IDtcToXaHelperSinglePipe, reinterpret_cast<void **>(&pipe));
    if (PL_Failed(hr) || !pipe) {
        releaseOnce(manager);
        return answer(PL_Failed(hr) ? hr : E_NOINTERFACE);
    }
    m_rmid = static_cast<int32_t>(clock());
    const std::string dsn = connectDsn(m_connectText);
    char xaInfo[kXaInfoSize] = "";
    XA_GetDsnXaInfo(dsn.c_str(), xaInfo, sizeof xaInfo);
    m_xaInfo = xaInfo;
    std::string driver;
    if (XA_CallOpen(m_binding, m_hConnect, m_generalLock, 1, m_xaInfo.c_str(), m_rmid,
                    XA_TMNOFLAGS) != XA_OK) {
        hr = E_KRS_XA_FAILED;
    } else {
        m_xaOpen = 1;
        if (!driverFileName(dsn, &driver))
            hr = E_FAIL;
        else
            hr = pipe->XARMCreate(m_connectText.c_str(), driver.c_str(), &m_cookie);
    }
    if (PL_Failed(hr)) {
        m_cookie = 0;
        releaseOnce(pipe);
    } else {
        m_pipe = pipe;
    }
    releaseOnce(manager);
    return answer(hr);
}

HRESULT COdbcResourceDispenser::RMEnlist()
{
    PL_CsGuard guard(m_lock);
    if (OleTx_TraceOn())
        OleTx_Trace("COdbcResourceDispenser::RMEnlist()\n");
    if (!m_pipe || m_enlistment)
        return answer(E_UNEXPECTED);
    HRESULT hr = m_pipe->ConvertTridToXID(m_transaction, m_cookie, &m_xid);
    if (PL_Failed(hr))
        return answer(hr);
    if (XA_CallStart(m_binding, m_hConnect, m_generalLock, &m_xid, m_rmid, XA_TMNOFLAGS) != XA_OK)
        return answer(E_KRS_XA_FAILED);
    m_state = DTC_ACTIVE;
    ITransactionEnlistmentAsync *enlistment = nullptr;
    hr = m_pipe->EnlistWithRM(m_cookie, m_transaction, m_resource, &enlistment);
    if (!PL_Failed(hr))
        m_enlistment = enlistment;
    return answer(hr);
}

int COdbcResourceDispenser::end(int flags)
{
    int r = XA_CallEnd(m_binding, m_hConnect, m_generalLock, &m_xid, m_rmid, flags);
    if (r == XA_OK)
        m_state = DTC_ENDED;
    return r;
}

void COdbcResourceDispenser::syncCallLock()
{
    if (m_state == DTC_PREPARED) {
        // Waits for the application's call in progress to end; a connection
        // that closes meanwhile (Detach) ends the wait.
        while (!m_holdToken && m_callLock && !m_detached.load()) {
            m_holdToken = m_callLock->TryHold();
            if (!m_holdToken)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    } else if (m_holdToken) {
        m_callLock->ReleaseHold(m_holdToken);
        m_holdToken = 0;
    }
}

void COdbcResourceDispenser::closeBranch()
{
    if (m_state == DTC_ACTIVE)
        XA_CallEnd(m_binding, m_hConnect, m_generalLock, &m_xid, m_rmid, XA_TMFAIL);
    if (m_holdToken) {
        m_callLock->ReleaseHold(m_holdToken);
        m_holdToken = 0;
    }
    if (m_xaOpen == 1) {
        char info[kXaInfoSize + 1] = {};
        std::strncpy(info, m_xaInfo.c_str(), kXaInfoSize);
        XA_CallClose(m_binding, m_hConnect, m_generalLock, info, m_rmid, XA_TMNOFLAGS);
        m_xaOpen = 0;
    }
}

void COdbcResourceDispenser::forgetConnection(const char *why)
{
    if (OleTx_TraceOn())
        OleTx_Trace("COdbcResourceDispenser::%s(), this=%p, m_hConnect=%lX\n", why,
                    static_cast<void *>(this), static_cast<unsigned long>(m_hConnect));
    if (m_holdToken && m_callLock)
        m_callLock->ReleaseHold(m_holdToken);
    m_holdToken = 0;
    m_callLock = nullptr;
    m_binding = nullptr;
    m_generalLock = nullptr;
    m_xaOpen = 0;
    m_state = DTC_NONE;
}

// Each of these first marks the dispenser detached, so that a prepare
// waiting for the call lock (which the application's call holds) gives up.
void COdbcResourceDispenser::Detach()
{
    m_detached.store(true);
    PL_CsGuard guard(m_lock);
    forgetConnection("Detach");
}

void COdbcResourceDispenser::GiveBack()
{
    m_detached.store(true);
    PL_CsGuard guard(m_lock);
    closeBranch();
    forgetConnection("GiveBack");
}

void COdbcResourceDispenser::Abandon()
{
    m_detached.store(true);
    PL_CsGuard guard(m_lock);
    forgetConnection("Abandon");
    // The coordinator may be gone already: its objects are dropped uncounted.
    m_pipe = nullptr;
    m_enlistment = nullptr;
    m_cookie = 0;
}

HRESULT COdbcResourceDispenser::onePhaseCommit()
{
    int r = XA_OK;
    if (m_state == DTC_ACTIVE)
        r = end(XA_TMSUCCESS);
    if (r != XA_OK)
        return E_FAIL;
    // A branch already prepared has only its second phase left.
    const int flags = m_state == DTC_PREPARED ? XA_TMNOFLAGS : XA_TMONEPHASE;
    r = XA_CallCommit(m_binding, m_hConnect, m_generalLock, &m_xid, m_rmid, flags);
    if (r == XA_OK) {
        m_state = DTC_NONE;
        return XACT_S_SINGLEPHASE;
    }
    if (isHeuristic(r)) {
        m_state = DTC_HEURISTIC;
        return E_FAIL;
    }
    if (r < 0 && flags == XA_TMONEPHASE)
        XA_CallRollback(m_binding, m_hConnect, m_generalLock, &m_xid, m_rmid, XA_TMNOFLAGS);
    m_state = DTC_NONE;
    return E_FAIL;
}

HRESULT COdbcResourceDispenser::Prepare(bool singlePhase)
{
    PL_CsGuard guard(m_lock);
    if (OleTx_TraceOn())
        OleTx_Trace("CImpITransactionResourceAsync::PrepareRequest(fSinglePhase=%d)\n",
                    singlePhase ? 1 : 0);
    if (!m_enlistment)
        return answer(XACT_E_NOTRANSACTION);
    HRESULT hr;
    if (singlePhase) {
        hr = onePhaseCommit();
    } else {
        int r = XA_OK;
        if (m_state == DTC_ACTIVE)
            r = end(XA_TMSUCCESS);
        if (r == XA_OK) {
            r = XA_CallPrepare(m_binding, m_hConnect, m_generalLock, &m_xid, m_rmid,
                               XA_TMNOFLAGS);
            m_state = r == XA_OK ? DTC_PREPARED : r == XAER_RMERR ? DTC_ENDED : DTC_NONE;
        }
        hr = r == XA_OK ? S_OK : r == XA_RDONLY ? XACT_S_READONLY : E_FAIL;
    }
    syncCallLock();
    m_enlistment->PrepareRequestDone(hr, nullptr, nullptr);
    return answer(hr);
}

HRESULT COdbcResourceDispenser::Commit()
{
    PL_CsGuard guard(m_lock);
    if (OleTx_TraceOn())
        OleTx_Trace("CImpITransactionResourceAsync::CommitRequest()\n");
    if (!m_enlistment)
        return answer(XACT_E_NOTRANSACTION);
    int r = XA_CallCommit(m_binding, m_hConnect, m_generalLock, &m_xid, m_rmid, XA_TMNOFLAGS);
    HRESULT hr = E_FAIL;
    if (r == XA_OK) {
        m_state = DTC_NONE;
        hr = S_OK;
    } else if (r == XA_RETRY) {
        m_state = DTC_PREPARED;
    } else if (isHeuristic(r)) {
        m_state = DTC_HEURISTIC;
    } else {
        m_state = DTC_NONE;
    }
    syncCallLock();
    m_enlistment->CommitRequestDone(hr);
    return answer(hr);
}

HRESULT COdbcResourceDispenser::Abort()
{
    PL_CsGuard guard(m_lock);
    if (OleTx_TraceOn())
        OleTx_Trace("CImpITransactionResourceAsync::AbortRequest()\n");
    if (!m_enlistment)
        return answer(XACT_E_NOTRANSACTION);
    int r = XA_OK;
    if (m_state == DTC_ACTIVE)
        r = end(XA_TMSUCCESS);
    if (r == XA_OK)
        r = XA_CallRollback(m_binding, m_hConnect, m_generalLock, &m_xid, m_rmid, XA_TMNOFLAGS);
    HRESULT hr = E_FAIL;
    if (r == XA_OK) {
        m_state = DTC_NONE;
        hr = S_OK;
    } else {
        m_state = isHeuristic(r) ? DTC_HEURISTIC : DTC_NONE;
    }
    syncCallLock();
    m_enlistment->AbortRequestDone(hr);
    return answer(hr);
}

HRESULT COdbcResourceDispenser::CoordinatorDown()
{
    PL_CsGuard guard(m_lock);
    if (OleTx_TraceOn())
        OleTx_Trace("CImpITransactionResourceAsync::TMDown()\n");
    HRESULT hr = S_OK;
    switch (m_state) {
    case DTC_ACTIVE:
        // Work that was never prepared cannot be recovered: undo it.
        end(XA_TMFAIL);
        [[fallthrough]];
    case DTC_ENDED:
        hr = XA_CallRollback(m_binding, m_hConnect, m_generalLock, &m_xid, m_rmid,
                             XA_TMNOFLAGS) == XA_OK
                 ? S_OK
                 : E_FAIL;
        m_state = DTC_NONE;
        break;
    case DTC_PREPARED:
        // A prepared branch stays prepared: the coordinator's recovery (through
        // the XA switch) decides its outcome.  The connection is given back.
        m_state = DTC_NONE;
        break;
    default:
        break;
    }
    syncCallLock();
    return answer(hr);
}

// ---- entry points of the handle layer ----

int OleTx_Init()
{
    if (g_initialised.load())
        return 0;
    std::lock_guard<std::mutex> lk(g_initLock);
    if (g_initialised.load())
        return 0;
    // Without a coordinator library no enlistment can be made.
    if (!PL_DtcManagerEntry())
        return -1;
    OleTx_TraceOpen();
    XA_SwitchInit();
    g_initialised.store(true);
    return 0;
}

void OleTx_Term(bool exiting)
{
    std::lock_guard<std::mutex> lk(g_initLock);
    if (!g_initialised.load())
        return;
    if (exiting)
        OleTx_AbandonAll();
    else
        OleTx_ReleaseAll();
    OleTx_TraceClose();
    XAT_Cleanup();
    g_initialised.store(false);
}

void *OleTx_CreateDispenser(void *transaction, int serverHandle, int drvConn, DrvBinding *binding,
                            void *generalLock, void *callLock, const char *connectText)
{
    auto *d = new (std::nothrow)
        COdbcResourceDispenser(static_cast<ITransaction *>(transaction), serverHandle, drvConn,
                               binding, generalLock, static_cast<PL_CallLock *>(callLock),
                               connectText);
    if (!d)
        return nullptr;
    d->AddRef();
    void *out = nullptr;
    d->GetDispenser(&out);
    return out;
}

namespace {
COdbcResourceDispenser *dispenserOf(void *dispenser)
{
    return static_cast<COdbcResourceDispenser *>(static_cast<IOdbcResourceDispenser *>(dispenser));
}

// Lets the dispenser go of the connection with `letGo`, then gives up the
// caller's reference: the references left, -1 for null.
int releaseAfter(void *dispenser, void (COdbcResourceDispenser::*letGo)())
{
    if (!dispenser)
        return -1;
    COdbcResourceDispenser *d = dispenserOf(dispenser);
    (d->*letGo)();
    return static_cast<int>(d->Release());
}
} // namespace

int OleTx_ReleaseDispenser(void *dispenser)
{
    return releaseAfter(dispenser, &COdbcResourceDispenser::GiveBack);
}

int OleTx_CloseDispenser(void *dispenser)
{
    if (!dispenser)
        return -1;
    COdbcResourceDispenser *d = dispenserOf(dispenser);
    {
        PL_CsGuard guard(listLock());
        if (d->RefCount() > 1)
            d->Detach();
    }
    return static_cast<int>(d->Release());
}

int OleTx_DropDispenser(void *dispenser)
{
    return releaseAfter(dispenser, &COdbcResourceDispenser::Abandon);
}

int OleTx_RMConnect(void *dispenser)
{
    if (!dispenser)
        return -1;
    return PL_Failed(static_cast<IOdbcResourceDispenser *>(dispenser)->RMConnect()) ? -1 : 0;
}

int COdbcResourceDispenser::BranchOpen(const ITransaction *transaction)
{
    PL_CsGuard guard(m_lock);
    if (m_state == DTC_NONE || m_state == DTC_HEURISTIC || m_detached.load())
        return 0;
    return m_transaction == transaction ? 1 : 2;
}

int OleTx_BranchOpen(void *dispenser, void *transaction)
{
    if (!dispenser)
        return 0;
    return dispenserOf(dispenser)->BranchOpen(static_cast<ITransaction *>(transaction));
}

int OleTx_RMEnlist(void *dispenser)
{
    if (!dispenser)
        return -1;
    return PL_Failed(static_cast<IOdbcResourceDispenser *>(dispenser)->RMEnlist()) ? -1 : 0;
}

void OleTx_ReleaseAll()
{
    PL_CsGuard guard(listLock());
    std::vector<COdbcResourceDispenser *> all;
    all.swap(liveList());
    for (COdbcResourceDispenser *d : all)
        delete d;
}

void OleTx_AbandonAll()
{
    PL_CsGuard guard(listLock());
    for (COdbcResourceDispenser *d : liveList())
        d->Abandon();
}

const DtcLinkOps *OleTx_Link()
{
    static const DtcLinkOps link = {OleTx_Init,      OleTx_CreateDispenser, OleTx_ReleaseDispenser,
                                    OleTx_RMConnect, OleTx_RMEnlist,        OleTx_CloseDispenser,
                                    OleTx_BranchOpen, OleTx_DropDispenser};
    return &link;
}

extern "C" int32_t GetXaSwitch(uint32_t, xa_switch_t **out)
{
    if (!out)
        return E_INVALIDARG;
    if (OleTx_Init() != 0)
        return E_FAIL;
    if (OleTx_TraceOn())
        OleTx_Trace("GetXaSwitch()\n");
    XA_SwitchSetup();
    *out = krs_xa_switch();
    return answer(S_OK);
}

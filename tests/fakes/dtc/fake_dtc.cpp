// The test coordinator (see fake_dtc.h).
#include "tests/fakes/dtc/fake_dtc.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "odbc/contract/xid.h"

#define FAKE_EXPORT __attribute__((visibility("default")))

namespace {
std::atomic<int> g_outstanding{0};
std::atomic<int> g_misuse{0};
std::atomic<int> g_unavailable{0};
std::atomic<int> g_txCounter{0};
std::mutex g_lock;  // the recorded texts and cookies
std::string g_connectText;
std::string g_driverName;
uint32_t g_nextCookie = 0;
std::set<uint32_t> g_cookies;

// Every object the coordinator made, kept reachable for its whole life
// (objects are never freed, so that a release too many is seen, not a crash).
// (The list itself is never destroyed, so that they stay reachable to the
// very end of the process.)
std::mutex g_keepLock;
std::vector<const void *> *g_kept = new std::vector<const void *>;

template <class T>
T *kept(T *object)
{
    std::lock_guard<std::mutex> lk(g_keepLock);
    g_kept->push_back(object);
    return object;
}

uint32_t threadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

// Set when the library's static destructors run: from then on every call
// into the coordinator is a fault of its caller, and is written out.
std::atomic<bool> g_unloaded{false};
struct UnloadMark {
    ~UnloadMark() { g_unloaded.store(true); }
} g_unloadMark;

void noteCall(const char *call)
{
    if (!g_unloaded.load())
        return;
    char line[160];
    int n = std::snprintf(line, sizeof line, "fake coordinator: %s after unload\n", call);
    if (n > 0 && write(2, line, static_cast<size_t>(n)) < 0)
        return;
}

// A reference count for objects handed to the driver: every reference
// handed over counts as outstanding until released; a release at zero is
// misuse.  The objects are never freed.
class Counted {
public:
    uint32_t addRef()
    {
        noteCall("AddRef");
        g_outstanding.fetch_add(1);
        return static_cast<uint32_t>(refs_.fetch_add(1) + 1);
    }
    uint32_t release()
    {
        noteCall("Release");
        int n = refs_.load();
        do {
            if (n <= 0) {
                g_misuse.fetch_add(1);
                return 0;
            }
        } while (!refs_.compare_exchange_weak(n, n - 1));
        g_outstanding.fetch_sub(1);
        return static_cast<uint32_t>(n - 1);
    }

private:
    std::atomic<int> refs_{0};
};

class FakeTransaction;

class FakeEnlistment final : public ITransactionEnlistmentAsync {
public:
    explicit FakeEnlistment(FakeTransaction *tx) : tx_(tx) {}
    HRESULT QueryInterface(const IID &, void **out) override
    {
        if (out)
            *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return count_.addRef(); }
    uint32_t Release() override { return count_.release(); }
    HRESULT PrepareRequestDone(HRESULT hr, void *, BOID *) override;
    HRESULT CommitRequestDone(HRESULT hr) override;
    HRESULT AbortRequestDone(HRESULT hr) override;

private:
    FakeTransaction *tx_;
    Counted count_;
};

class FakeTransaction final : public ITransaction {
public:
    FakeTransaction() : number_(g_txCounter.fetch_add(1) + 1)
    {
        report_.prepareDone = report_.commitDone = report_.abortDone = -1;
        report_.gtridNumber = number_;
    }
    HRESULT QueryInterface(const IID &, void **out) override
    {
        if (out)
            *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return static_cast<uint32_t>(refs_.fetch_add(1) + 1); }
    uint32_t Release() override
    {
        int n = refs_.fetch_sub(1) - 1;
        if (n < 0)
            g_misuse.fetch_add(1);
        if (n == 0)
            dropResource();  // the transaction object itself stays (never freed)
        return n < 0 ? 0 : static_cast<uint32_t>(n);
    }

    HRESULT Commit(int32_t, uint32_t, uint32_t) override
    {
        report_.callerThread = threadId();
        if (!resource())
            return S_OK;  // nothing enlisted
        HRESULT outcome;
        if (options_.singlePhase) {
            step([&] { prepareRequest(1); });
            outcome = report_.prepareDone == XACT_S_SINGLEPHASE ? S_OK : XACT_E_ABORTED;
            dropResourceAfterOutcome();
            return outcome;
        }
        step([&] { prepareRequest(0); });
        const HRESULT prepared = report_.prepareDone;
        if (prepared == S_OK) {
            if (options_.downAfterPrepare) {
                step([&] {
                    ++report_.downs;
                    resource()->TMDown();
                });
                dropResourceAfterOutcome();
                return XACT_E_INDOUBT;
            }
            if (options_.pauseAfterPrepare) {
                std::unique_lock<std::mutex> lk(m_);
                preparedSignal_ = true;
                cv_.notify_all();
                cv_.wait(lk, [this] { return resumed_; });
            }
            step([&] {
                ++report_.commits;
                report_.outcomeThread = threadId();
                resource()->CommitRequest(0, nullptr);
            });
            outcome = report_.commitDone == S_OK ? S_OK : XACT_E_INDOUBT;
        } else if (prepared == XACT_S_READONLY) {
            outcome = S_OK;
        } else {
            abortRequest();
            outcome = XACT_E_ABORTED;
        }
        dropResourceAfterOutcome();
        return outcome;
    }

    HRESULT Abort(BOID *, int32_t, int32_t) override
    {
        report_.callerThread = threadId();
        if (!resource())
            return S_OK;
        abortRequest();
        dropResourceAfterOutcome();
        return S_OK;
    }

    // The coordinator keeps one reference to the enlisted resource.
    HRESULT Enlist(ITransactionResourceAsync *resource, ITransactionEnlistmentAsync **out)
    {
        std::lock_guard<std::mutex> lk(m_);
        if (resource_)
            return static_cast<HRESULT>(0x8004D013u);  // XACT_E_XTIONEXISTS
        resource->AddRef();
        resource_ = resource;
        auto *e = kept(new FakeEnlistment(this));
        e->AddRef();
        *out = e;
        return S_OK;
    }

    void done(int which, HRESULT hr)
    {
        HRESULT *slot[] = {&report_.prepareDone, &report_.commitDone, &report_.abortDone};
        *slot[which] = hr;
    }

    FakeDtcOptions options_{};
    FakeDtcReport report_{};
    XID xid_{};
    int number_;
    std::mutex m_;
    std::condition_variable cv_;
    bool preparedSignal_ = false;
    bool resumed_ = false;

private:
    ITransactionResourceAsync *resource()
    {
        std::lock_guard<std::mutex> lk(m_);
        return resource_;
    }
    void dropResource()
    {
        ITransactionResourceAsync *r = nullptr;
        {
            std::lock_guard<std::mutex> lk(m_);
            r = resource_;
            resource_ = nullptr;
        }
        if (r)
            r->Release();
    }
    // After an outcome the resource object goes back, unless it is to be
    // held until the transaction object is released.
    void dropResourceAfterOutcome()
    {
        if (!options_.holdAfterOutcome)
            dropResource();
    }
    // Runs one request on a new thread (joined) or on the caller's.
    void step(const std::function<void()> &f)
    {
        if (options_.otherThreads) {
            std::thread t(f);
            t.join();
        } else {
            f();
        }
    }
    void prepareRequest(int singlePhase)
    {
        ++report_.prepares;
        report_.prepareThread = threadId();
        resource()->PrepareRequest(0, 0, 0, singlePhase);
    }
    void abortRequest()
    {
        step([&] {
            ++report_.aborts;
            report_.outcomeThread = threadId();
            resource()->AbortRequest(nullptr, 0, nullptr);
        });
    }

    std::atomic<int> refs_{1};
    ITransactionResourceAsync *resource_ = nullptr;
};

HRESULT FakeEnlistment::PrepareRequestDone(HRESULT hr, void *, BOID *)
{
    noteCall("PrepareRequestDone");
    tx_->done(0, hr);
    return S_OK;
}
HRESULT FakeEnlistment::CommitRequestDone(HRESULT hr)
{
    noteCall("CommitRequestDone");
    tx_->done(1, hr);
    return S_OK;
}
HRESULT FakeEnlistment::AbortRequestDone(HRESULT hr)
{
    noteCall("AbortRequestDone");
    tx_->done(2, hr);
    return S_OK;
}

class FakePipe final : public IDtcToXaHelperSinglePipe {
public:
    HRESULT QueryInterface(const IID &, void **out) override
    {
        if (out)
            *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return count_.addRef(); }
    uint32_t Release() override { return count_.release(); }

    HRESULT XARMCreate(const char *connectText, const char *driverFile, uint32_t *cookie) override
    {
        noteCall("XARMCreate");
        if (!connectText || !driverFile || !cookie)
            return E_INVALIDARG;
        std::lock_guard<std::mutex> lk(g_lock);
        g_connectText = connectText;
        g_driverName = driverFile;
        *cookie = ++g_nextCookie;
        g_cookies.insert(*cookie);
        return S_OK;
    }
    HRESULT ConvertTridToXID(ITransaction *transaction, uint32_t cookie, XID *xid) override
    {
        noteCall("ConvertTridToXID");
        auto *tx = dynamic_cast<FakeTransaction *>(transaction);
        if (!tx || !xid)
            return XACT_E_NOTRANSACTION;
        char gtrid[32], bqual[32];
        int g = std::snprintf(gtrid, sizeof gtrid, "fakedtc-%d", tx->number_);
        int b = std::snprintf(bqual, sizeof bqual, "rm-%u", cookie);
        XID x{};
        x.formatID = FAKE_DTC_FORMAT;
        x.gtrid_length = g;
        x.bqual_length = b;
        std::memcpy(x.data, gtrid, static_cast<size_t>(g));
        std::memcpy(x.data + g, bqual, static_cast<size_t>(b));
        *xid = x;
        tx->xid_ = x;
        tx->report_.cookie = cookie;
        return S_OK;
    }
    HRESULT EnlistWithRM(uint32_t cookie, ITransaction *transaction,
                         ITransactionResourceAsync *resource,
                         ITransactionEnlistmentAsync **enlistment) override
    {
        noteCall("EnlistWithRM");
        auto *tx = dynamic_cast<FakeTransaction *>(transaction);
        if (!enlistment)
            return E_INVALIDARG;
        *enlistment = nullptr;
        {
            std::lock_guard<std::mutex> lk(g_lock);
            if (!g_cookies.count(cookie))
                return E_INVALIDARG;
        }
        if (!tx || !resource)
            return XACT_E_NOTRANSACTION;
        return tx->Enlist(resource, enlistment);
    }
    void ReleaseRMCookie(uint32_t cookie, int32_t) override
    {
        noteCall("ReleaseRMCookie");
        std::lock_guard<std::mutex> lk(g_lock);
        if (!g_cookies.erase(cookie))
            g_misuse.fetch_add(1);
    }

private:
    Counted count_;
};

class FakeManager final : public IUnknown {
public:
    HRESULT QueryInterface(const IID &iid, void **out) override
    {
        if (!out)
            return E_INVALIDARG;
        *out = nullptr;
        if (iid == IID_IDtcToXaHelperSinglePipe) {
            auto *pipe = kept(new FakePipe());
            pipe->AddRef();
            *out = static_cast<IDtcToXaHelperSinglePipe *>(pipe);
            return S_OK;
        }
        if (iid == IID_IUnknown) {
            AddRef();
            *out = this;
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return count_.addRef(); }
    uint32_t Release() override { return count_.release(); }

private:
    Counted count_;
};

FakeTransaction *fake(ITransaction *tx) { return dynamic_cast<FakeTransaction *>(tx); }
} // namespace

extern "C" {

FAKE_EXPORT HRESULT DtcGetTransactionManager(const char *, const char *, const IID &iid, uint32_t,
                                             uint16_t, void *, void **out)
{
    noteCall("DtcGetTransactionManager");
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    if (g_unavailable.load())
        return static_cast<HRESULT>(0x8004D01Bu);  // XACT_E_TMNOTAVAILABLE
    auto *manager = kept(new FakeManager());
    HRESULT hr = manager->QueryInterface(iid, out);
    return hr;
}

FAKE_EXPORT ITransaction *FakeDtc_Begin(void) { return kept(new FakeTransaction()); }

FAKE_EXPORT void FakeDtc_SetOptions(ITransaction *tx, const FakeDtcOptions *options)
{
    if (FakeTransaction *t = fake(tx))
        t->options_ = *options;
}

FAKE_EXPORT int FakeDtc_WaitPrepared(ITransaction *tx)
{
    FakeTransaction *t = fake(tx);
    if (!t)
        return 0;
    std::unique_lock<std::mutex> lk(t->m_);
    return t->cv_.wait_for(lk, std::chrono::seconds(30), [t] { return t->preparedSignal_; }) ? 1 : 0;
}

FAKE_EXPORT void FakeDtc_Resume(ITransaction *tx)
{
    if (FakeTransaction *t = fake(tx)) {
        std::lock_guard<std::mutex> lk(t->m_);
        t->resumed_ = true;
        t->cv_.notify_all();
    }
}

FAKE_EXPORT void FakeDtc_Report(ITransaction *tx, FakeDtcReport *out)
{
    if (FakeTransaction *t = fake(tx))
        *out = t->report_;
}

FAKE_EXPORT void FakeDtc_Xid(ITransaction *tx, XID *out)
{
    if (FakeTransaction *t = fake(tx))
        *out = t->xid_;
}

FAKE_EXPORT const char *FakeDtc_ConnectText(void)
{
    std::lock_guard<std::mutex> lk(g_lock);
    static thread_local std::string copy;
    copy = g_connectText;
    return copy.c_str();
}

FAKE_EXPORT const char *FakeDtc_DriverName(void)
{
    std::lock_guard<std::mutex> lk(g_lock);
    static thread_local std::string copy;
    copy = g_driverName;
    return copy.c_str();
}

FAKE_EXPORT int FakeDtc_Outstanding(void) { return g_outstanding.load(); }
FAKE_EXPORT int FakeDtc_Misuse(void) { return g_misuse.load(); }

FAKE_EXPORT int FakeDtc_CookiesOpen(void)
{
    std::lock_guard<std::mutex> lk(g_lock);
    return static_cast<int>(g_cookies.size());
}

FAKE_EXPORT void FakeDtc_SetUnavailable(int unavailable) { g_unavailable.store(unavailable); }

} // extern "C"

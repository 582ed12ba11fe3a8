// The scriptable fake back end.
#include "tests/fakes/fake_backend.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "odbc/contract/err_report.h"
#include "odbc/conn.h"
#include "odbc/dispatch.h"
#include "odbc/handles.h"
#include "odbc/startup.h"

namespace {

std::atomic<FakeBackend *> g_active{nullptr};
DrvBinding g_savedDriverBinding;

int Answer(int slot, int handle, const std::function<int(int)> &hook)
{
    FakeBackend *f = FakeBackend::Active();
    if (!f)
        return ERR_GENERAL;
    f->Log(slot, handle);
    return hook ? hook(handle) : f->results[slot];
}

int F_GetInfo(int h, int, void *, int16_t, int16_t *) { return Answer(FS_GETINFO, h, nullptr); }
int F_SetOption(int h, int, void *) { return Answer(FS_SETOPTION, h, nullptr); }
int F_GetErrors(int h, ErrReport *out)
{
    FakeBackend *f = FakeBackend::Active();
    int rc = Answer(FS_GETERRORS, h, nullptr);
    if (rc != 0 || !out)
        return rc;
    *out = ErrReport{};
    if (f->pendingErrors.empty())
        return 0;
    out->firstNative = f->pendingNative;
    out->count = static_cast<uint32_t>(f->pendingErrors.size());
    out->texts = static_cast<char **>(std::calloc(out->count, sizeof(char *)));
    for (uint32_t i = 0; i < out->count; ++i)
        out->texts[i] = strdup(f->pendingErrors[i].c_str());
    f->pendingErrors.clear();
    return 0;
}
int F_EnvOpen(const void *, int *out)
{
    int rc = Answer(FS_ENVOPEN, 0, nullptr);
    if (rc == 0 && out)
        *out = FakeBackend::Active()->NextEnv();
    return rc;
}
int F_EnvClose(int env) { return Answer(FS_ENVCLOSE, env, nullptr); }
int F_Connect(int env, DrvConnectParams *, int *out)
{
    int rc = Answer(FS_CONNECT, env, nullptr);
    if (rc == 0 && out)
        *out = FakeBackend::Active()->NextConn();
    return rc;
}
int F_Disconnect(int conn)
{
    FakeBackend *f = FakeBackend::Active();
    return Answer(FS_DISCONNECT, conn, f ? f->onDisconnect : nullptr);
}
int F_AllocStmt(int conn, int *out)
{
    FakeBackend *f = FakeBackend::Active();
    if (!f)
        return ERR_GENERAL;
    f->Log(FS_ALLOCSTMT, conn);
    if (f->onAllocStmt)
        return f->onAllocStmt(conn, out);
    int rc = f->results[FS_ALLOCSTMT];
    if (rc == 0 && out)
        *out = f->NextStmt();
    return rc;
}
int F_FreeStmt(int stmt)
{
    FakeBackend *f = FakeBackend::Active();
    return Answer(FS_FREESTMT, stmt, f ? f->onFreeStmt : nullptr);
}
int F_Prepare(int stmt, const char *) { return Answer(FS_PREPARE, stmt, nullptr); }
int F_Execute(int stmt) { return Answer(FS_EXECUTE, stmt, nullptr); }
int F_Fetch(int stmt, uint16_t, RowBlock *) { return Answer(FS_FETCH, stmt, nullptr); }
int F_CloseCursor(int stmt)
{
    FakeBackend *f = FakeBackend::Active();
    return Answer(FS_CLOSECURSOR, stmt, f ? f->onCloseCursor : nullptr);
}
int F_Commit(int conn)
{
    FakeBackend *f = FakeBackend::Active();
    return Answer(FS_COMMIT, conn, f ? f->onCommit : nullptr);
}
int F_Rollback(int conn)
{
    FakeBackend *f = FakeBackend::Active();
    return Answer(FS_ROLLBACK, conn, f ? f->onRollback : nullptr);
}
int F_ExecDirect(int stmt, const char *, RowBlock *, int16_t, const ParamTypeDesc *)
{
    return Answer(FS_EXECDIRECT, stmt, nullptr);
}
int F_Cancel(int stmt)
{
    FakeBackend *f = FakeBackend::Active();
    return Answer(FS_CANCEL, stmt, f ? f->onCancel : nullptr);
}

} // namespace

FakeBackend::FakeBackend()
{
    table_.GetInfo = F_GetInfo;
    table_.SetOption = F_SetOption;
    table_.GetErrors = F_GetErrors;
    table_.EnvOpen = F_EnvOpen;
    table_.EnvClose = F_EnvClose;
    table_.Connect = F_Connect;
    table_.Disconnect = F_Disconnect;
    table_.AllocStmt = F_AllocStmt;
    table_.FreeStmt = F_FreeStmt;
    table_.Prepare = F_Prepare;
    table_.Execute = F_Execute;
    table_.Fetch = F_Fetch;
    table_.CloseCursor = F_CloseCursor;
    table_.Commit = F_Commit;
    table_.Rollback = F_Rollback;
    table_.ExecDirect = F_ExecDirect;
    table_.Cancel = F_Cancel;
    g_active.store(this);
}

FakeBackend::~FakeBackend()
{
    FakeBackend *self = this;
    g_active.compare_exchange_strong(self, nullptr);
}

FakeBackend *FakeBackend::Active() { return g_active.load(); }

void FakeBackend::Log(int slot, int handle)
{
    std::lock_guard<std::mutex> g(m_);
    calls_.push_back({slot, handle});
}

std::vector<FakeCall> FakeBackend::Calls() const
{
    std::lock_guard<std::mutex> g(m_);
    return calls_;
}

int FakeBackend::Count(int slot) const
{
    std::lock_guard<std::mutex> g(m_);
    int n = 0;
    for (const FakeCall &c : calls_)
        n += c.slot == slot;
    return n;
}

void FakeBackend::ClearCalls()
{
    std::lock_guard<std::mutex> g(m_);
    calls_.clear();
}

bool FakeConnect(SQLHDBC hdbc, FakeBackend &fake)
{
    PL_CsGuard api(API_Lock());
    auto *conn = static_cast<Conn *>(HT_Lookup(&ConnTable, HT_HandleIn(hdbc)));
    if (!conn || conn->typeTag != CONN_TAG)
        return false;
    conn->binding.flags = DRVB_THREAD_SAFE;
    conn->binding.ops = fake.Table();
    Core_SetThreadSafety(&conn->binding);
    int server = 0, drvConn = 0;
    if (fake.Table()->EnvOpen(nullptr, &server) != 0)
        return false;
    if (fake.Table()->Connect(server, nullptr, &drvConn) != 0)
        return false;
    conn->serverHandle = static_cast<uint32_t>(server);
    conn->drvConn = static_cast<uint32_t>(drvConn);
    conn->state = CONN_CONNECTED;
    return true;
}

void FakeBindDriver(FakeBackend &fake)
{
    g_savedDriverBinding = DriverBinding;
    DriverBinding.flags = DRVB_THREAD_SAFE;
    DriverBinding.ops = fake.Table();
}

void FakeRestoreDriverBinding() { DriverBinding = g_savedDriverBinding; }

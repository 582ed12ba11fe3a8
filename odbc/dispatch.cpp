// CallODBC: the one road of every ODBC call into the driver.
#include "odbc/dispatch.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "odbc/conn.h"
#include "odbc/diag.h"
#include "odbc/contract/handle_table.h"
#include "odbc/handles.h"
#include "odbc/startup.h"
#include "odbc/trace.h"
#include "util/log.h"
#include "platform/sysinfo.h"

namespace {

std::atomic<int> g_inFlight{0};
std::atomic<int> g_threadSafe{-1};  // -1 until the first connection opens

// Counts a dispatcher call for as long as it runs.
struct InFlight {
    InFlight() { g_inFlight.fetch_add(1); }
    ~InFlight() { g_inFlight.fetch_sub(1); }
};

const char *const kHandleNames[] = {"", "", "hEnv", "hDbc", "hStmt", "hDesc"};

HandleTable *TableOf(int kind)
{
    switch (kind) {
    case HK_ENV: return &EnvTable;
    case HK_DBC: return &ConnTable;
    case HK_STMT: return &StmtTable;
    case HK_DESC: return &DescTable;
    default: return nullptr;
    }
}

const uint32_t kTags[] = {0, 0, ENVR_TAG, CONN_TAG, STMT_TAG, DESC_TAG};

// The connection whose call lock covers the object.
Conn *OwnerOf(void *object, int kind)
{
    switch (kind) {
    case HK_DBC: return static_cast<Conn *>(object);
    case HK_STMT: return static_cast<Stmt *>(object)->conn;
    case HK_DESC: return DescConn(static_cast<Desc *>(object));
    default: return nullptr;
    }
}

void TraceHead(const ApiDescriptor *d, const ApiArgs &args)
{
    unsigned long tid = PL_ThreadId();
    if (d->kind == HK_NONE)
        TR_Printf("\n[%lX] SQL%s", tid, d->name);
    else
        TR_Printf("\n[%lX] SQL%s %s=%lX", tid, d->name, kHandleNames[d->kind],
                  static_cast<unsigned long>(static_cast<uint32_t>(args.v[0])));
    if (d->format && *d->format) {
        char line[251];
        int first = d->kind == HK_NONE ? 0 : 1;
        API_FormatArgs(d->format, args.v + first, args.n - first, line, sizeof line);
        TR_Printf("%s", line);
    }
}

// Runs a function that reads diagnostics on a connection that is inside a
// call on another handle: under the API lock only, so that the diagnostics
// being read are neither replaced by a sequence error nor made to wait.
SQLRETURN RunReader(const ApiDescriptor *d, void *object, const ApiArgs &args)
{
    return d->impl(object, args, d);
}

} // namespace

PL_CriticalSection &API_Lock() { return *Core_Locks().api; }
PL_CriticalSection &API_ConnectLock() { return *Core_Locks().connect; }
PL_CriticalSection &API_BackendLock() { return *Core_Locks().backend; }

void Core_SetThreadSafety(const DrvBinding *binding)
{
    int expected = -1;
    int value = binding && (binding->flags & DRVB_THREAD_SAFE) ? 1 : 0;
    g_threadSafe.compare_exchange_strong(expected, value);
}

bool Core_ThreadSafe() { return g_threadSafe.load() == 1; }

void Core_ResetThreadSafety() { g_threadSafe.store(-1); }

int API_CallsInFlight() { return g_inFlight.load(); }

const char *API_ResultName(SQLRETURN rc)
{
    switch (rc) {
    case SQL_SUCCESS: return "SUCCESS";
    case SQL_SUCCESS_WITH_INFO: return "SUCCESS_WITH_INFO";
    case SQL_STILL_EXECUTING: return "STILL_EXECUTING";
    case SQL_NEED_DATA: return "NEED_DATA";
    case SQL_NO_DATA: return "NO_DATA_FOUND";
    case SQL_INVALID_HANDLE: return "INVALID_HANDLE";
    case SQL_ERROR: return "ERROR";
    default: return "UNKNOWN_ERROR";
    }
}

void API_FormatArgs(const char *format, const uint64_t *values, int count, char *out, size_t size)
{
    if (size == 0)
        return;
    size_t used = 0;
    int next = 0;
    out[0] = '\0';
    auto append = [&](const char *text, size_t len) {
        if (used + 1 >= size)
            return;
        size_t room = size - 1 - used;
        if (len > room)
            len = room;
        std::memcpy(out + used, text, len);
        used += len;
        out[used] = '\0';
    };
    for (const char *p = format; *p && used + 1 < size;) {
        if (*p != '%') {
            const char *q = std::strchr(p, '%');
            size_t len = q ? static_cast<size_t>(q - p) : std::strlen(p);
            append(p, len);
            p += len;
            continue;
        }
        if (p[1] == '%') {
            append("%", 1);
            p += 2;
            continue;
        }
        // One conversion: flags, width, precision, length, letter.
        const char *start = p++;
        while (*p && std::strchr("-+ #0", *p))
            ++p;
        while (*p >= '0' && *p <= '9')
            ++p;
        if (*p == '.') {
            ++p;
            while (*p >= '0' && *p <= '9')
                ++p;
        }
        int longs = 0;
        bool isShort = false;
        while (*p == 'l' || *p == 'h') {
            if (*p == 'l')
                ++longs;
            else
                isShort = true;
            ++p;
        }
        char conv = *p;
        if (!conv)
            break;
        ++p;
        char fmt[32];
        size_t fmtLen = static_cast<size_t>(p - start);
        if (fmtLen >= sizeof fmt)
            fmtLen = sizeof fmt - 1;
        std::memcpy(fmt, start, fmtLen);
        fmt[fmtLen] = '\0';
        uint64_t v = next < count ? values[next] : 0;
        ++next;
        char piece[64];
        int n = 0;
        switch (conv) {
        case 'd':
        case 'i':
            if (longs)
                n = std::snprintf(piece, sizeof piece, fmt, static_cast<long>(v));
            else if (isShort)
                n = std::snprintf(piece, sizeof piece, fmt, static_cast<int>(static_cast<short>(v)));
            else
                n = std::snprintf(piece, sizeof piece, fmt, static_cast<int>(v));
            break;
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            if (longs)
                n = std::snprintf(piece, sizeof piece, fmt, static_cast<unsigned long>(v));
            else if (isShort)
                n = std::snprintf(piece, sizeof piece, fmt,
                                  static_cast<unsigned>(static_cast<unsigned short>(v)));
            else
                n = std::snprintf(piece, sizeof piece, fmt, static_cast<unsigned>(v));
            break;
        case 'p':
            n = std::snprintf(piece, sizeof piece, fmt,
                              reinterpret_cast<void *>(static_cast<uintptr_t>(v)));
            break;
        case 'c':
            n = std::snprintf(piece, sizeof piece, fmt, static_cast<int>(v));
            break;
        default:
            // Not an argument conversion this driver's formats use: copy as is.
            n = std::snprintf(piece, sizeof piece, "%s", fmt);
            break;
        }
        if (n > 0)
            append(piece, static_cast<size_t>(n) < sizeof piece ? static_cast<size_t>(n) : sizeof piece - 1);
    }
}

int FindFailoverMsg(const ErrMsg *first)
{
    for (const ErrMsg *m = first; m; m = m->next) {
        if (!m->text)
            continue;
        if (std::strstr(m->text, "Failover completed."))
            return ERR_FAILOVER_COMPLETED;
        if (std::strstr(m->text, "Failover aborted."))
            return ERR_FAILOVER_ABORTED;
    }
    return 0;
}

SQLRETURN NotifyFailover(Conn *conn, int kind, SQLRETURN result)
{
    if (!conn || !conn->failoverCallback)
        return result;
    HandleHead *h = kind == HK_DBC ? conn : conn->busy.load();
    if (!h)
        return result;
    int event = 0;
    SQLRETURN changed = result;
    if (h->diag.errNum == ERR_FAILOVER_COMPLETED) {
        event = 16;
        changed = SQL_SUCCESS_WITH_INFO;
    } else if (h->diag.errNum == ERR_FAILOVER_ABORTED) {
        event = 17;
        changed = SQL_ERROR;
    } else if (h->diag.head) {
        int found = FindFailoverMsg(h->diag.head);
        if (found == ERR_FAILOVER_COMPLETED)
            event = 16;
        else if (found == ERR_FAILOVER_ABORTED)
            event = 17;
        if (found)
            changed = SQL_ERROR;
    }
    if (event)
        conn->failoverCallback(event, conn->failoverContext, nullptr);
    // Only a failed call takes the notice's result: a call that succeeded,
    // returned data or needs data keeps its own.
    return result == SQL_ERROR ? changed : result;
}

SQLRETURN API_Unsupported(void *object, const ApiArgs &, const ApiDescriptor *d)
{
    HandleHead *h = HeadOf(object, d->kind);
    if (h && d->clear)
        h->diag.errNum = ERR_FUNCTION_NOT_SUPPORTED;
    if (TR_IsOn())
        TR_Printf("SQL%s: not supported by this driver", d->name);
    return SQL_ERROR;
}

SQLRETURN API_OutOfMemory(void *object, const ApiArgs &, const ApiDescriptor *d)
{
    if (HandleHead *h = HeadOf(object, d->kind))
        h->diag.errNum = ERR_MEMORY_ALLOCATION;
    return SQL_ERROR;
}

SQLRETURN CallODBCPacked(const ApiDescriptor *d, const ApiArgs &args)
{
    InFlight counted;
    if (!d || !Core_IsInitialised()) {
        DIAG_NoteStartupFailure();
        return SQL_ERROR;
    }

    if (d->clear)
        DIAG_NoteDispatchFailure(nullptr);
    SQLRETURN rc = SQL_ERROR;
    const int kind = d->kind;
    if (kind < HK_NONE || kind > HK_DESC || (kind != HK_NONE && args.n < 1) ||
        (d->arity >= 0 && d->arity != args.n - (kind == HK_NONE ? 0 : 1))) {
        if (TR_IsOn())
            TR_Printf("CallODBC: internal error");
        LOG_Printf(LOG_LEVEL_ERROR, "dispatch", __LINE__, "CallODBC: SQL%s reached the dispatcher with %d arguments",
                   d->name, args.n);
        DIAG_NoteDispatchFailure("Internal error: the call reached the dispatcher with arguments its entry does not take");
        rc = SQL_ERROR;
    } else {
        if (TR_IsOn())
            TraceHead(d, args);
        rc = [&]() -> SQLRETURN {
            PL_CsLock api(&API_Lock());
            if (!Core_IsInitialised()) {
                DIAG_NoteStartupFailure();
                return SQL_ERROR;
            }
            if (kind == HK_NONE)
                return d->impl(nullptr, args, d);
            const uint32_t handle = static_cast<uint32_t>(args.v[0]);
            void *object = HT_Lookup(TableOf(kind), handle);
            HandleHead *head = object ? HeadOf(object, kind) : nullptr;
            if (!head || head->typeTag != kTags[kind])
                return SQL_INVALID_HANDLE;
            if (kind == HK_ENV) {
                if (d->clear)
                    ERR_Clear(&head->diag);
                return d->impl(object, args, d);
            }
            Conn *conn = OwnerOf(object, kind);
            if (!conn || conn->typeTag != CONN_TAG)
                return SQL_INVALID_HANDLE;
            if (HandleHead *busy = conn->busy.load()) {
                if (busy == head && (kind != HK_DBC || !d->clear))
                    return SQL_STILL_EXECUTING;
                if (!d->clear)
                    return RunReader(d, object, args);
                head->diag.errNum = ERR_FUNCTION_SEQUENCE;
                return SQL_ERROR;
            }
            conn->busy.store(head);
            const bool threadSafe = Core_ThreadSafe();
            api.Leave();
            if (d->clear)
                ERR_Clear(&head->diag);

            SQLRETURN r;
            {
                // Released in reverse order: the back-end lock, then the call lock.
                PL_CriticalSection &backend = API_BackendLock();
                PL_CallLockGuard call(conn->callLock);
                PL_CsLock backendHeld(threadSafe ? nullptr : &backend);
                r = d->impl(object, args, d);
            }

            if (kind == HK_DBC && conn->typeTag == FREED_TAG) {
                ConnRelease(conn);
                return r;
            }
            if (r != SQL_SUCCESS && conn->failoverCallback && d->clear)
                r = NotifyFailover(conn, kind, r);
            conn->busy.store(nullptr);
            return r;
        }();
    }
    if (TR_IsOn())
        TR_Printf("[%lX] SQL%s: returning SQL_%s", static_cast<unsigned long>(PL_ThreadId()),
                  d->name, API_ResultName(rc));
    return rc;
}

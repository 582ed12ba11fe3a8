// The OLE Transactions trace: lines of the coordinator's resource manager in
// the XA trace file, with their own switch, lock and line format, and the
// HRESULT names.
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "odbc/trace.h"
#include "platform/sysinfo.h"
#include "xa/oletx.h"

namespace {
FILE *g_stream = nullptr;          // the XA trace stream while the trace is open
std::atomic<bool> g_on{false};      // set when the trace found a stream
// One line at a time; never destroyed (the unload clean-up writes after
// the static destructors ran).
PL_CriticalSection &g_traceLock = *new PL_CriticalSection;
thread_local int t_indent = 0;      // per-thread indent level (nothing sets it)

constexpr int kMaxIndent = 30;
constexpr size_t kMessageMax = 2048;

struct HResultName {
    HRESULT hr;
    const char *name;
};

constexpr HResultName kNames[] = {
    {0x00000000, "S_OK"},
    {0x0004D000, "XACT_S_ASYNC"},
    {0x0004D002, "XACT_S_READONLY"},
    {0x0004D008, "XACT_S_ABORTING"},
    {0x0004D009, "XACT_S_SINGLEPHASE"},
    {static_cast<HRESULT>(0x80004001u), "E_NOTIMPL"},
    {static_cast<HRESULT>(0x80004002u), "E_NOINTERFACE"},
    {static_cast<HRESULT>(0x80004004u), "E_ABORT"},
    {static_cast<HRESULT>(0x80004005u), "E_FAIL"},
    {static_cast<HRESULT>(0x8000FFFFu), "E_UNEXPECTED"},
    {static_cast<HRESULT>(0x80044002u), "E_KRS_DSN2HNDL_FAIL"},
    {static_cast<HRESULT>(0x8004D001u), "XACT_E_CANTRETAIN"},
    {static_cast<HRESULT>(0x8004D002u), "XACT_E_COMMITFAILED"},
    {static_cast<HRESULT>(0x8004D008u), "XACT_E_ISOLATIONLEVEL"},
    {static_cast<HRESULT>(0x8004D00Bu), "XACT_E_NOISORETAIN"},
    {static_cast<HRESULT>(0x8004D00Eu), "XACT_E_NOTRANSACTION"},
    {static_cast<HRESULT>(0x8004D00Fu), "XACT_E_NOTSUPPORTED"},
    {static_cast<HRESULT>(0x8004D013u), "XACT_E_XTIONEXISTS"},
    {static_cast<HRESULT>(0x8004D016u), "XACT_E_INDOUBT"},
    {static_cast<HRESULT>(0x8004D017u), "XACT_E_NOTIMEOUT"},
    {static_cast<HRESULT>(0x8004D018u), "XACT_E_ALREADYINPROGRESS"},
    {static_cast<HRESULT>(0x8004D019u), "XACT_E_ABORTED"},
    {static_cast<HRESULT>(0x8004D01Au), "XACT_E_LOGFULL"},
    {static_cast<HRESULT>(0x8004D01Bu), "XACT_E_TMNOTAVAILABLE"},
    {static_cast<HRESULT>(0x8004D01Cu), "XACT_E_CONNECTION_DOWN"},
    {static_cast<HRESULT>(0x8004D01Du), "XACT_E_CONNECTION_DENIED"},
    {static_cast<HRESULT>(0x8004D103u), "XACT_E_NOTSINGLEPHASE"},
    {static_cast<HRESULT>(0x8007000Eu), "E_OUTOFMEMORY"},
    {static_cast<HRESULT>(0x80070057u), "E_INVALIDARG"},
};
} // namespace

std::atomic<int32_t> CObjCounter::s_live{0};

const char *CObjCounter::TypeName(uint32_t type)
{
    return type == kResourceDispenser ? "Resource Dispenser" : "Unknown";
}

void CObjCounter::DumpObjCounts()
{
    if (OleTx_TraceOn())
        OleTx_Trace("CObjCounter::DumpObjCounts:\n");
}

void OleTx_TraceOpen()
{
    if (!TR_Stream(TR_KIND_XA))
        TR_Open(TR_KIND_XA);
    FILE *stream = TR_Stream(TR_KIND_XA);
    {
        PL_CsGuard guard(g_traceLock);
        g_stream = stream;
    }
    if (!stream)
        return;
    g_on.store(true);
    char stamp[200] = "";
    time_t now = time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local))
        strftime(stamp, sizeof stamp, "** Started on %a %b %d, %H:%M **\n\n", &local);
    fputs("** Kestrune OLE Transactions Interface: Trace file **\n", stream);
    fputs(stamp, stream);
    fflush(stream);
}

void OleTx_TraceClose()
{
    bool had = false;
    {
        PL_CsGuard guard(g_traceLock);
        had = g_stream != nullptr;
        g_stream = nullptr;
    }
    if (had)
        TR_Close(TR_KIND_XA);
}

bool OleTx_TraceOn() { return g_on.load(); }

void OleTx_Trace(const char *format, ...)
{
    if (t_indent > kMaxIndent || !format)
        return;
    char message[kMessageMax];
    va_list ap;
    va_start(ap, format);
    vsnprintf(message, sizeof message, format, ap);
    va_end(ap);
    PL_CsGuard guard(g_traceLock);
    if (!g_stream)
        return;
    fprintf(g_stream, "[%ld] %*s%s", static_cast<long>(PL_ThreadId()), 2 * t_indent, "", message);
    fflush(g_stream);
}

HRESULT OleTx_TraceHResult(HRESULT hr)
{
    OleTx_Trace(hr < 0 ? "Call failure >>>: Returned HRESULT: %#.8lx(%s)\n"
                       : "Call success    : Returned HRESULT: %#.8lx(%s)\n",
                static_cast<unsigned long>(static_cast<uint32_t>(hr)), OleTx_HResultName(hr));
    return hr;
}

uint32_t OleTx_TraceCount(uint32_t value)
{
    OleTx_Trace("Call returned: %lu\n", static_cast<unsigned long>(value));
    return value;
}

const char *OleTx_HResultName(HRESULT hr)
{
    for (const HResultName &n : kNames)
        if (n.hr == hr)
            return n.name;
    return "Unknown!";
}

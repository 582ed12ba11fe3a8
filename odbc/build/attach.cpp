// The library's start-up and shut-down sequences and the binding of the back
// end's operation table with its overlays.
#include "odbc/build/assembly.h"

#include "drv_jdbc/j-connstr.h"
#include "drv_jdbc/j-optable.h"
#include "drv_jdbc/j-setup.h"
#include "drv_jdbc/j-xa.h"
#include "exec/statement.h"
#include "odbc/contract/drv_ops.h"
#include "odbc/layer_links.h"
#include "odbc/resources.h"
#include "odbc/trace.h"
#include "scrs/scs_install.h"
#include "xa/xat.h"

int BindOpTable(DrvBinding *binding)
{
    binding->ops = DRV_JdbcOpTable();
    binding->flags = DRVB_THREAD_SAFE;
    SCS_Install(binding);
    XAT_InstallProxyOps(binding);
    return 0;
}

void Assembly_Link()
{
    CoreLinks links{};
    links.BindOpTable = BindOpTable;
    links.config = DRV_JdbcConfig();
    links.stmt = ExecLayerOps();
    links.dtc = OleTx_Link();
    Core_SetLinks(links);
    XAT_SetBackendSupport(DRV_JdbcXaSupport());
}

bool Dll_Attach(void *)
{
    Assembly_Link();
    if (Dll_CheckWindows() != 0)
        return Dll_AttachFailed(IDS_NEEDS_WIN32);
    DriverLoadSetup();
    if (Core_Init() != 0)
        return Dll_AttachFailed(IDS_INIT_FAILED);
    BindOpTable(&DriverBinding);
    TR_Open(TR_KIND_ODBC);
    Dll_AttachLogSinks();
    return true;
}

void Dll_Detach(ShutdownMode mode)
{
    Core_Shutdown(mode);
    Dll_CloseLogSinks();
    TR_Close(TR_KIND_ODBC);
    DriverUnloadSetup();
    OleTx_Term(mode == SHUTDOWN_EXIT);
    XA_TraceEnd();
}

extern "C" {

int LibMain(void *module, uint32_t, uint32_t, void *)
{
    return Dll_Attach(module) ? 1 : 0;
}

int WEP(int)
{
    Dll_Detach(SHUTDOWN_FULL);
    return 1;
}

} // extern "C"

// The library's load and unload: the process-exit path never calls into the
// back end (and so never into Java).
__attribute__((constructor)) static void KrsLibraryLoad()
{
    Dll_Attach(nullptr);
}

__attribute__((destructor)) static void KrsLibraryUnload()
{
    Dll_Detach(SHUTDOWN_EXIT);
}

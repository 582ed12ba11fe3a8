// Stand-ins of the distributed-transaction layer.
#include "xa/xat.h"

#include "odbc/drv_ops.h"
#include "odbc/errnum.h"

struct XaWorkerMode {
    int useWorker;
    int xaActive;
};

int XAT_InstallProxyOps(DrvBinding *binding)
{
    if (!binding || binding->flags == 0)
        return ERR_NOT_CAPABLE;
    return 0;
}

void XAT_Cleanup() {}

int XAT_SetXaActive(XaWorkerMode *mode, int active)
{
    if (!mode)
        return ERR_INVALID_ARGUMENT;
    mode->xaActive = active ? 1 : 0;
    return 0;
}

int XAT_GetXaActive(const XaWorkerMode *mode) { return mode ? mode->xaActive : 0; }

int OleTx_Init() { return -1; }

void *OleTx_CreateDispenser(void *, int, int, DrvBinding *, void *, void *, const char *)
{
    return nullptr;
}

int OleTx_ReleaseDispenser(void *dispenser) { return dispenser ? 0 : -1; }
int OleTx_RMConnect(void *) { return -1; }
int OleTx_RMEnlist(void *) { return -1; }
void OleTx_Term() {}
void XA_TraceEnd() {}

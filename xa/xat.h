// The distributed-transaction layer as the handle layer and the back end see
// it: the XA worker proxies on the operation table, the MS DTC resource
// manager and the XA trace.  Until that layer exists, installing leaves the
// binding as it is and every coordinator operation fails cleanly.
#pragma once

struct DrvBinding;
struct XaWorkerMode;

// 0, or 43 (S1C00) when the binding's flags are 0.
int XAT_InstallProxyOps(DrvBinding *binding);
void XAT_Cleanup();
// 21 for a null record, else 0 after storing the flag.
int XAT_SetXaActive(XaWorkerMode *mode, int active);
int XAT_GetXaActive(const XaWorkerMode *mode);

// -1: no coordinator link can be made.
int OleTx_Init();
// Null: no dispenser can be made.
void *OleTx_CreateDispenser(void *transaction, int serverHandle, int drvConn,
                            DrvBinding *binding, void *generalLock, void *callLock,
                            const char *connectText);
// -1 for a null dispenser.
int OleTx_ReleaseDispenser(void *dispenser);
int OleTx_RMConnect(void *dispenser);
int OleTx_RMEnlist(void *dispenser);
void OleTx_Term();
void XA_TraceEnd();

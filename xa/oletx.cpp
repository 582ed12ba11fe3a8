// Stand-ins of the MS DTC resource manager: no coordinator link can be made,
// so enlistment fails cleanly (IM932) and nothing is ever held.
#include "xa/xat.h"

int OleTx_Init() { return -1; }

void *OleTx_CreateDispenser(void *, int, int, DrvBinding *, void *, void *, const char *)
{
    return nullptr;
}

int OleTx_ReleaseDispenser(void *dispenser) { return dispenser ? 0 : -1; }
int OleTx_RMConnect(void *) { return -1; }
int OleTx_RMEnlist(void *) { return -1; }
void OleTx_Term() {}

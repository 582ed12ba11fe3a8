// Stand-ins of the MS DTC resource manager: no coordinator link can be made,
// so enlistment fails cleanly (IM932) and nothing is ever held.
#include "odbc/layer_links.h"
#include "xa/xat.h"
#include "xa/xa_switch.h"

int OleTx_Init() { return -1; }

void *OleTx_CreateDispenser(void *, int, int, DrvBinding *, void *, void *, const char *)
{
    return nullptr;
}

int OleTx_ReleaseDispenser(void *dispenser) { return dispenser ? 0 : -1; }
int OleTx_RMConnect(void *) { return -1; }
int OleTx_RMEnlist(void *) { return -1; }
void OleTx_Term() {}

const DtcLinkOps *OleTx_Link()
{
    static const DtcLinkOps link = {OleTx_Init, OleTx_CreateDispenser, OleTx_ReleaseDispenser,
                                    OleTx_RMConnect, OleTx_RMEnlist};
    return &link;
}

extern "C" int32_t GetXaSwitch(uint32_t, xa_switch_t **out)
{
    constexpr int32_t kFail = static_cast<int32_t>(0x80004005u);
    constexpr int32_t kInvalidArg = static_cast<int32_t>(0x80070057u);
    if (!out)
        return kInvalidArg;
    if (OleTx_Init() != 0)
        return kFail;
    XA_SwitchInit();
    *out = krs_xa_switch();
    return 0;
}

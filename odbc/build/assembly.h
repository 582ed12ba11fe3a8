// The library's assembly: what ties the layers together.  The start-up wires
// the layers (the handle layer's links to the statement layer, the back
// end's configuration and the coordinator link; the XA layer's view of the
// back end), binds the back end's operation table with its overlays, and
// runs the attach and detach sequences.
#pragma once

#include "odbc/startup.h"

struct DrvBinding;

// Fills a binding with flags 2 and the back end's table, then lets the
// cursor library and the XA worker layer put their overlays in front.  0.
int BindOpTable(DrvBinding *binding);

// Hands every layer its links to the layers above it (idempotent).
void Assembly_Link();

// The attach and detach sequences.  Dll_Attach answers false when the load
// must be refused; the start-up failure is then reported by every entry point.
bool Dll_Attach(void *module);
void Dll_Detach(ShutdownMode mode);

// The load exports (the same names in both libraries).
extern "C" {
KRS_LOAD_EXPORT int LibMain(void *module, uint32_t reserved1, uint32_t reserved2, void *reserved3);
KRS_LOAD_EXPORT int WEP(int reserved);
}

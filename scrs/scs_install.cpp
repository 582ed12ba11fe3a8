// The cursor library's overlay (not built yet: calls pass straight through).
#include "scrs/scs_install.h"

void SCS_Install(DrvBinding *) {}

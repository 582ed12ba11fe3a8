// The cursor library's overlay on the back-end operation table.
#pragma once

struct DrvBinding;

// Puts the cursor library's overlay in front of the binding's table.  Until
// the cursor library exists the binding is left as it is.
void SCS_Install(DrvBinding *binding);

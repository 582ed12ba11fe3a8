// Load and unload set-up of the back end.
#include "drv_jdbc/j-setup.h"

int DriverLoadSetup() { return 0; }
void DriverUnloadSetup() {}

// Driver version constants.
#include "util/version.h"
const char *KRS_VersionText() { return "6.3.0.0"; }

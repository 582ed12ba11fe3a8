// Keyset, dynamic and mixed cursor routines not yet built: each answers
// "Driver not capable" until its real body replaces it (and leaves this file).
#include "odbc/contract/errnum.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyset.h"

// key windows, dynamic and mixed fetch


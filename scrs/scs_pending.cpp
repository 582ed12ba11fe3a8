// Keyset, dynamic and mixed cursor routines not yet built: each answers
// "Driver not capable" until its real body replaces it (and leaves this file).
#include "odbc/contract/errnum.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyset.h"

// key windows, dynamic and mixed fetch
int KS_GetKeySet(ScsContext *, int16_t, int32_t) { return ERR_NOT_CAPABLE; }
int scs_p_FetchDynamic(ScsContext *, int32_t, int16_t, RowsetCache *) { return ERR_NOT_CAPABLE; }
int scs_p_RefetchDynamic(ScsContext *, int16_t, int32_t, RowsetCache *) { return ERR_NOT_CAPABLE; }
int scs_p_FetchMixed(ScsContext *, int32_t, int16_t, RowsetCache *) { return ERR_NOT_CAPABLE; }


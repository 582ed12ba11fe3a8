// Keyset, dynamic and mixed cursor routines not yet built: each answers
// "Driver not capable" until its real body replaces it (and leaves this file).
#include "odbc/contract/errnum.h"
#include "scrs/scs_ctx.h"
#include "scrs/scs_keyset.h"

// keyset and keys
int KS_Alloc(KeySet **out) { if (out) *out = nullptr; return 0; }
void KS_Free(KeySet **ks) { if (ks) *ks = nullptr; }
void KS_Close(KeySet *) {}
void ks_CloseData(KeySet *) {}
int ks_SelectListKeysSet(ScrAnalysedSql *, ScsContext *) { return ERR_NOT_CAPABLE; }
int KS_WhereKeysSet(ScrAnalysedSql *, ScsContext *, uint32_t) { return ERR_NOT_CAPABLE; }
int KS_OrderByKeysSet(ScrAnalysedSql *, ScsContext *) { return ERR_NOT_CAPABLE; }
int KS_GetKeySet_KSD(ScsContext *) { return ERR_NOT_CAPABLE; }
int KS_ParamRowsetMake(const RowBlock *, int32_t, uint32_t, uint32_t, RowBlock **, int, int, int, uint16_t *,
                       int16_t *) { return ERR_NOT_CAPABLE; }
int KS_GetExistingKeys(ScsContext *, const RowBlock *, int32_t, RowBlock **) { return ERR_NOT_CAPABLE; }
int scs_p_FetchKeyset(ScsContext *, RowsetCache *, int32_t) { return ERR_NOT_CAPABLE; }
int scs_p_MarkDeletedRows(ScsContext *, RowBlock *, RowBlock *, int32_t, int32_t, int16_t *)
{ return ERR_NOT_CAPABLE; }
int scs_p_GetKeySetBounds(ScsContext *, RowBlock **) { return ERR_NOT_CAPABLE; }

// key windows, dynamic and mixed fetch
int KS_GetKeySet(ScsContext *, int16_t, int32_t) { return ERR_NOT_CAPABLE; }
int scs_p_FetchDynamic(ScsContext *, int32_t, int16_t, RowsetCache *) { return ERR_NOT_CAPABLE; }
int scs_p_RefetchDynamic(ScsContext *, int16_t, int32_t, RowsetCache *) { return ERR_NOT_CAPABLE; }
int scs_p_FetchMixed(ScsContext *, int32_t, int16_t, RowsetCache *) { return ERR_NOT_CAPABLE; }


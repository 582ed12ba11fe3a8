// Build constants of one deliverable.  Compiled once per library with
// KRS_UNICODE_BUILD set to 1 (quorvexw) or 0 (quorvexa).
#include "odbc/contract/flavour.h"

#ifndef KRS_UNICODE_BUILD
#error "KRS_UNICODE_BUILD must be defined"
#endif

extern const int krs_unicode_build = KRS_UNICODE_BUILD;

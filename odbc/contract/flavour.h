// Which of the two deliverables this code runs in.  The value comes from the
// flavour object linked into each library (and into each test).
#pragma once

extern const int krs_unicode_build;

inline bool KRS_IsUnicodeBuild() { return krs_unicode_build != 0; }

// The driver's error numbers by name, made from odbc/contract/errlist.inc.  Every
// layer that answers or stores an error number uses these names.
#pragma once
#include <cstdint>

enum ErrNum : int32_t {
#define KRS_ERR(Number, Name, State, Text) Name = Number,
#define KRS_ERR_GAP(Number)
#include "odbc/contract/errlist.inc"
#undef KRS_ERR
#undef KRS_ERR_GAP
};

// The ApiDescriptors of every ODBC function, made from odbc/api_list.inc.
#pragma once
#include "odbc/dispatch.h"

#define KRS_IF_0(...)
#define KRS_IF_1(...) __VA_ARGS__

#define KRS_FN(Name, ApiId, Kind, Clear, Async, Text, Impl, Format, Params, Args, WParams, WArgs) \
    extern const ApiDescriptor kApi_##Name;                                                        \
    KRS_IF_##Text(extern const ApiDescriptor kApi_##Name##W;)
#define KRS_DESC(Var, Name, Kind, Clear, Async, Text, Impl, Format) \
    extern const ApiDescriptor kApi_##Var;                          \
    KRS_IF_##Text(extern const ApiDescriptor kApi_##Var##_W;)
#define KRS_OWN(Name, ApiId, Text)
#define KRS_RAW(Symbol)
#include "odbc/api_list.inc"
#undef KRS_FN
#undef KRS_DESC
#undef KRS_OWN
#undef KRS_RAW

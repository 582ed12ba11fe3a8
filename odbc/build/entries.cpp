// The exported wrappers of the functions with one ApiDescriptor, made from
// the list of entry points.  Both libraries hold every wrapper; the
// visibility (and the version script) decide which names each exports.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include "odbc/api/api_desc.h"
#include "odbc/build/export_vis.h"
#include "odbc/wide_args.h"

#define KRS_UNPAREN(...) __VA_ARGS__

#define KRS_FN(Name, ApiId, Kind, Clear, Async, Text, Impl, Format, Params, Args, WParams, WArgs) \
    extern "C" KRS_VIS_##Text SQLRETURN SQL_API SQL##Name Params                                   \
    {                                                                                              \
        return CallODBC(&kApi_##Name, KRS_UNPAREN Args);                                           \
    }                                                                                              \
    KRS_IF_##Text(extern "C" KRS_VIS_WIDE_TEXT SQLRETURN SQL_API SQL##Name##W WParams {           \
        WideArgs krsWide;                                                                          \
        return krsWide.Call(&kApi_##Name##W, KRS_UNPAREN WArgs);                                   \
    })
#define KRS_DESC(Var, Name, Kind, Clear, Async, Text, Impl, Format)
#define KRS_OWN(Name, ApiId, Text)
#define KRS_RAW(Symbol)
#include "odbc/api_list.inc"

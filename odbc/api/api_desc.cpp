// The ApiDescriptors, made from the list of entry points, and the
// SQLGetFunctions answers from the same list.
#include "odbc/api/api_desc.h"

#include <cstring>

#include "odbc/cancel.h"
#include "exec/statement.h"
#include "exec/catalog.h"
#include "odbc/conn.h"
#include "odbc/connattr.h"
#include "odbc/connect.h"
#include "odbc/api/getfunctions.h"
#include "odbc/desc.h"
#include "odbc/desc_field.h"
#include "odbc/diag.h"
#include "odbc/diagfield.h"
#include "odbc/env.h"
#include "odbc/info.h"
#include "odbc/stmt.h"
#include "odbc/stmtattr.h"

#define KRS_DESCRIPTOR(Var, Name, Kind, Clear, Async, Impl, Format) \
    const ApiDescriptor kApi_##Var = {Name, Format, Async, Clear, Kind, &ApiRun<Kind, Impl>,  \
                                      ApiArity<Kind, Impl>()};

#define KRS_FN(Name, ApiId, Kind, Clear, Async, Text, Impl, Format, Params, Args, WParams, WArgs) \
    KRS_DESCRIPTOR(Name, #Name, Kind, Clear, Async, Impl, Format)                                  \
    KRS_IF_##Text(KRS_DESCRIPTOR(Name##W, #Name "W", Kind, Clear, Async, Impl, Format))
#define KRS_DESC(Var, Name, Kind, Clear, Async, Text, Impl, Format) \
    KRS_DESCRIPTOR(Var, #Name, Kind, Clear, Async, Impl, Format)    \
    KRS_IF_##Text(KRS_DESCRIPTOR(Var##_W, #Name "W", Kind, Clear, Async, Impl, Format))
#define KRS_OWN(Name, ApiId, Text)
#define KRS_RAW(Symbol)
#include "odbc/api_list.inc"
#undef KRS_FN
#undef KRS_DESC

#define KRS_FN(Name, ApiId, Kind, Clear, Async, Text, Impl, Format, Params, Args, WParams, WArgs) \
    &kApi_##Name, KRS_IF_##Text(&kApi_##Name##W, )
#define KRS_DESC(Var, Name, Kind, Clear, Async, Text, Impl, Format) \
    &kApi_##Var, KRS_IF_##Text(&kApi_##Var##_W, )
const ApiDescriptor *const kApiDescriptors[] = {
#include "odbc/api_list.inc"
};
#undef KRS_FN
#undef KRS_DESC
#undef KRS_OWN

const size_t kApiDescriptorCount = sizeof kApiDescriptors / sizeof kApiDescriptors[0];
static_assert(sizeof kApiDescriptors / sizeof kApiDescriptors[0] == 127,
              "the driver has 127 ApiDescriptors");

namespace {

// Whether an entry's implementation is built: KRS_UNSUPPORTED is the one
// implementation with the dispatcher's own signature.
constexpr bool Built(SQLRETURN (*)(void *, const ApiArgs &, const ApiDescriptor *)) { return false; }
template <class F>
constexpr bool Built(F)
{
    return true;
}

// The exported functions that SQLGetFunctions reports.  One exported but not
// built is left out, so that the Driver Manager answers for it (IM001)
// instead of letting an application count on it.
#define KRS_FN(Name, ApiId, Kind, Clear, Async, Text, Impl, Format, Params, Args, WParams, WArgs) \
    {ApiId, Built(Impl)},
#define KRS_DESC(Var, Name, Kind, Clear, Async, Text, Impl, Format)
#define KRS_OWN(Name, ApiId, Text) {ApiId, true},
struct ExportedId {
    SQLUSMALLINT id;
    bool built;
};
constexpr ExportedId kExportedAll[] = {
#include "odbc/api_list.inc"
};
constexpr size_t CountBuilt()
{
    size_t n = 0;
    for (const ExportedId &e : kExportedAll)
        n += e.built ? 1 : 0;
    return n;
}
struct ReportedIds {
    SQLUSMALLINT ids[CountBuilt()];
};
constexpr ReportedIds Reported()
{
    ReportedIds r{};
    size_t n = 0;
    for (const ExportedId &e : kExportedAll)
        if (e.built)
            r.ids[n++] = e.id;
    return r;
}
constexpr ReportedIds kReported = Reported();
#undef KRS_FN
#undef KRS_DESC
#undef KRS_OWN
#undef KRS_RAW

} // namespace

bool API_FunctionExists(SQLUSMALLINT id)
{
    for (SQLUSMALLINT e : kReported.ids)
        if (e == id)
            return true;
    return false;
}

void API_GetFunctions(SQLUSMALLINT id, SQLUSMALLINT *exists)
{
    if (!exists)
        return;
    if (id == SQL_API_ALL_FUNCTIONS) {
        std::memset(exists, 0, 100 * sizeof(SQLUSMALLINT));
        for (SQLUSMALLINT e : kReported.ids)
            if (e < 100)
                exists[e] = SQL_TRUE;
        return;
    }
    if (id == SQL_API_ODBC3_ALL_FUNCTIONS) {
        std::memset(exists, 0, SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * sizeof(SQLUSMALLINT));
        for (SQLUSMALLINT e : kReported.ids)
            if (e < SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * 16)
                exists[e >> 4] |= static_cast<SQLUSMALLINT>(1u << (e & 0xF));
        return;
    }
    *exists = API_FunctionExists(id) ? SQL_TRUE : SQL_FALSE;
}

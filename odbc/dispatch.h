// The call dispatcher.  Every exported ODBC entry point except SQLCancel is
// one CallODBC with the static ApiDescriptor of its function: CallODBC traces
// the call, resolves and checks the input handle, marks the owning connection
// busy, clears the handle's diagnostics, takes the locks and runs the
// implementation with the handle object and the remaining arguments.
#pragma once
#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "platform/locks.h"

struct Conn;

// The handle an entry point receives.
enum HandleKind : int32_t {
    HK_NONE = 1,
    HK_ENV = 2,
    HK_DBC = 3,
    HK_STMT = 4,
    HK_DESC = 5,
};

// The arguments of one call, packed by the exported wrapper: every argument
// of the entry point in order, each widened to 64 bits.  Kinds 2..5 hold the
// input handle first.
struct ApiArgs {
    static constexpr int kMax = 16;
    uint64_t v[kMax];
    int n;
};

struct ApiDescriptor;
// Runs an implementation: the object (null for kind 1), the packed arguments
// and the descriptor (its kind tells where the arguments after the handle begin).
typedef SQLRETURN (*ApiRunFn)(void *object, const ApiArgs &args, const ApiDescriptor *d);

// The static record of one ODBC function.
struct ApiDescriptor {
    const char *name;    // without "SQL", "W" at the end of a wide twin
    const char *format;  // printf format of the arguments after the handle
    int32_t async;       // no behaviour depends on it
    int32_t clear;       // 1: drop the handle's diagnostics before the call
    int32_t kind;        // HandleKind of the input handle
    ApiRunFn impl;       // unpacks the arguments and runs the implementation
    int32_t arity;       // arguments the implementation takes after the object; -1 any
};

// ---- packing and unpacking of arguments ----

template <class T>
inline uint64_t ApiPack(T x)
{
    if constexpr (std::is_pointer_v<T> || std::is_null_pointer_v<T>)
        return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(x));
    else if constexpr (std::is_enum_v<T>)
        return ApiPack(static_cast<std::underlying_type_t<T>>(x));
    else {
        static_assert(std::is_integral_v<T>, "ODBC arguments are integers or pointers");
        if constexpr (std::is_signed_v<T>)
            return static_cast<uint64_t>(static_cast<int64_t>(x));
        else
            return static_cast<uint64_t>(x);
    }
}

template <class T>
inline T ApiUnpack(uint64_t v)
{
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<T>(static_cast<uintptr_t>(v));
    else
        return static_cast<T>(v);
}

template <class R, class O, class... T, size_t... I>
inline SQLRETURN ApiInvokeObj(R (*f)(O *, T...), void *o, const ApiArgs &a, int first,
                              std::index_sequence<I...>)
{
    return f(static_cast<O *>(o), ApiUnpack<T>(a.v[first + I])...);
}
template <class R, class... T, size_t... I>
inline SQLRETURN ApiInvokeFree(R (*f)(T...), const ApiArgs &a, std::index_sequence<I...>)
{
    return f(ApiUnpack<T>(a.v[I])...);
}

template <class R, class O, class... T>
constexpr std::index_sequence_for<T...> ApiIndexObj(R (*)(O *, T...)) { return {}; }
template <class R, class... T>
constexpr std::index_sequence_for<T...> ApiIndexFree(R (*)(T...)) { return {}; }
template <class R, class O, class... T>
constexpr int32_t ApiArityObj(R (*)(O *, T...)) { return sizeof...(T); }
template <class R, class... T>
constexpr int32_t ApiArityFree(R (*)(T...)) { return sizeof...(T); }

// Run thunks, one per implementation, made from the implementation's own
// parameter types.
template <int Kind, auto F>
SQLRETURN ApiRun(void *o, const ApiArgs &a, const ApiDescriptor *d)
{
    if constexpr (std::is_same_v<decltype(F), ApiRunFn>) {
        return F(o, a, d);
    } else if constexpr (Kind == HK_NONE) {
        return ApiInvokeFree(F, a, ApiIndexFree(F));
    } else {
        return ApiInvokeObj(F, o, a, 1, ApiIndexObj(F));
    }
}

template <int Kind, auto F>
constexpr int32_t ApiArity()
{
    if constexpr (std::is_same_v<decltype(F), ApiRunFn>)
        return -1;
    else if constexpr (Kind == HK_NONE)
        return ApiArityFree(F);
    else
        return ApiArityObj(F);
}

// The descriptors of one function by the handle type it receives, for the
// entries that choose their descriptor at run time (SQLAllocHandle,
// SQLGetDiagRec ...); a type the function does not take is null.
struct ApiByHandle {
    const ApiDescriptor *env;
    const ApiDescriptor *dbc;
    const ApiDescriptor *stmt;
    const ApiDescriptor *desc;
};

// The implementation of every function not built yet: ERR_FUNCTION_NOT_SUPPORTED (IM001 "Driver
// does not support this function") on the handle, SQL_ERROR.  Functions that
// read diagnostics store nothing, so that what is being read stays.
SQLRETURN API_Unsupported(void *object, const ApiArgs &args, const ApiDescriptor *d);
#define KRS_UNSUPPORTED API_Unsupported

// The implementation of a call whose wide arguments could not be converted:
// ERR_MEMORY_ALLOCATION (HY001) on the handle, SQL_ERROR.
SQLRETURN API_OutOfMemory(void *object, const ApiArgs &args, const ApiDescriptor *d);

// ---- the dispatcher ----

SQLRETURN CallODBCPacked(const ApiDescriptor *d, const ApiArgs &args);

// CallODBC (descriptor, arguments of the entry point in their order).
template <class... A>
inline SQLRETURN CallODBC(const ApiDescriptor *d, A... args)
{
    static_assert(sizeof...(A) <= ApiArgs::kMax, "too many arguments");
    ApiArgs packed{{ApiPack(args)...}, static_cast<int>(sizeof...(A))};
    return CallODBCPacked(d, packed);
}

// The failover notice after a call that did not succeed (kind 3 connection,
// 4 statement, 5 descriptor).  Only a failed call changes its result.
SQLRETURN NotifyFailover(Conn *conn, int kind, SQLRETURN result);

// ERR_FAILOVER_COMPLETED when a queued text contains "Failover completed.",
// ERR_FAILOVER_ABORTED when one contains "Failover aborted.", else 0; tested
// in queue order.
int FindFailoverMsg(const struct ErrMsg *first);

// Name of a result for the trace ("SUCCESS", "INVALID_HANDLE" ...).
const char *API_ResultName(SQLRETURN rc);

// Formats the packed arguments by a descriptor's format into out (at most
// size - 1 characters; longer output is cut).
void API_FormatArgs(const char *format, const uint64_t *values, int count, char *out, size_t size);

// ---- process-wide locks and flags (made by Core_Init) ----

PL_CriticalSection &API_Lock();       // global API lock
PL_CriticalSection &API_ConnectLock();
PL_CriticalSection &API_BackendLock();

// Records (flags & 2) of the first binding opened in the process; later
// calls do nothing.
struct DrvBinding;
void Core_SetThreadSafety(const DrvBinding *binding);
bool Core_ThreadSafe();

// Number of dispatcher calls in progress (shut-down leaves the locks alone
// while any is running).
int API_CallsInFlight();

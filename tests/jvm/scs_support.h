// The cursor library's tests at the operation-table level: the back end's
// table with the library's overlay in front of it.
#pragma once
#include "tests/jvm/stmt_support.h"

#include "scrs/scs_install.h"

inline const DrvOpTable &scsOps()
{
    static DrvBinding binding = [] {
        DrvBinding b{DRVB_THREAD_SAFE, DRV_JdbcOpTable()};
        SCS_Install(&b);
        return b;
    }();
    return *binding.ops;
}

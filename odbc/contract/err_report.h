// What the back end's DRV_GetErrors hands the layer that drains a
// back-end record's diagnostics.
#pragma once
#include <cstdint>

// The receiver frees the texts and the array with free().
struct ErrReport {
    int32_t firstNative;  // native code of the oldest record
    uint32_t count;       // records the chain held
    char **texts;         // "[Brennic Edition]<message>[SQLSTATE:<state>]", NULL for an empty message
};

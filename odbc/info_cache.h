// The per-connection cache of SQLGetInfo answers, so that each information
// type reaches the back end once per connection.  A zero-filled cache is
// empty.
#pragma once
#include <cstdint>

struct InfoCache {
    static constexpr int kInts = 120;
    static constexpr int kShorts = 40;
    static constexpr int kTexts = 40;
    int32_t ints[kInts];
    uint16_t shorts[kShorts];
    char *texts[kTexts];       // heap copies
    uint8_t intSet[kInts];     // 1 once the slot holds an answer
    uint8_t shortSet[kShorts];
};

// Empties the cache, freeing the cached texts.
void InfoCacheReset(InfoCache *cache);

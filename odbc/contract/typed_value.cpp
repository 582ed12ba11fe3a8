// Column attribute values (TypedValue) as the back end returns them beside
// descriptions: the override table's lookup, copies and releases, and the
// de-duplicated arrays handed between the layers; and StrPair's release.
#include "odbc/contract/typed_value.h"

#include <cstdlib>
#include <cstring>

#include "odbc/contract/errnum.h"
#include "util/hash.h"

void StrPair_Free(StrPair *pair) {
    if (!pair) return;
    std::free(pair->first);
    std::free(pair->second);
    pair->first = nullptr;
    pair->second = nullptr;
}

int TV_Lookup(const HashTable *table, int attrId, int column, int32_t *intOut, const char **textOut,
              double *dblOut) {
    if (!table) return 0;
    uint32_t key = TV_Key(attrId, unsigned(column));
    auto *e = reinterpret_cast<const TypedValue *>(uintptr_t(HASH_Get(table, &key)));
    if (!e) {
        key = TV_Key(attrId, 0);
        e = reinterpret_cast<const TypedValue *>(uintptr_t(HASH_Get(table, &key)));
    }
    if (!e || (e->column != column && e->column != 0) || e->attrId != attrId || e->attrId < 0) return 0;
    if ((e->kind == TV_INT || e->kind == TV_INT2) && intOut) {
        *intOut = e->value.integer;
        return 1;
    }
    if (e->kind == TV_TEXT && textOut) {
        *textOut = e->value.text;
        return 1;
    }
    if (e->kind == TV_DOUBLE && dblOut) {
        *dblOut = e->value.dbl;
        return 1;
    }
    return 0;
}

int TV_Equal(const TypedValue *a, const TypedValue *b) {
    if (!a || !b || a->kind != b->kind) return 0;
    switch (a->kind) {
    case TV_TEXT: return a->value.text == b->value.text;
    case TV_INT:
    case TV_INT2: return a->value.integer == b->value.integer;
    case TV_DOUBLE: return a->value.dbl == b->value.dbl;
    default: return a->value.raw == b->value.raw;
    }
}

int TV_CopyValue(TypedValue *target, const TypedValue *source, int mode) {
    if (!target || !source) return ERR_GENERAL;
    *target = *source;
    if (mode == 2 && source->kind == TV_TEXT && source->value.text) {
        target->value.text = strdup(source->value.text);
        if (!target->value.text) return ERR_MEMORY_ALLOCATION;
    }
    return 0;
}

void TV_FreeValue(TypedValue *entry) {
    if (!entry || entry->kind != TV_TEXT) return;
    std::free(entry->value.text);
    entry->value.text = nullptr;
}

void TV_FreeEntry(uint64_t value, const void *key, void *arg) {
    auto *e = reinterpret_cast<TypedValue *>(uintptr_t(value));
    TV_FreeValue(e);
    std::free(e);
}

int TV_DedupFill(int n, const TypedValue *entries, int capacity, TypedValue *out, int mode) {
    if (n <= 0 || !entries) return 0;
    int current = entries[0].attrId < 0 ? -int(entries[0].attrId) : entries[0].attrId;
    const TypedValue *def = nullptr;
    int kept = 0;
    for (int i = 0; i < n; ++i) {
        if (out && kept >= capacity) break;
        const TypedValue &e = entries[i];
        if (e.attrId < 0) continue;
        if (e.attrId != current) {
            current = e.attrId;
            def = nullptr;
        }
        if (e.column == 0) {
            def = &e;
        } else if (def && TV_Equal(&e, def)) {
            continue;
        }
        if (out && TV_CopyValue(&out[kept], &e, mode)) {
            for (int u = 0; u < kept && mode == 2; ++u) TV_FreeValue(&out[u]);
            return -1;
        }
        ++kept;
    }
    return kept;
}

int TV_DedupCopy(int n, const TypedValue *entries, int *outCount, TypedValue **outArray, int mode) {
    if (outCount) *outCount = 0;
    if (outArray) *outArray = nullptr;
    if (!outCount || !outArray || n <= 0 || !entries) return 0;
    int count = TV_DedupFill(n, entries, 0, nullptr, mode);
    if (count <= 0) return 0;
    auto *arr = static_cast<TypedValue *>(std::calloc(size_t(count), sizeof(TypedValue)));
    if (!arr) return ERR_MEMORY_ALLOCATION;
    int filled = TV_DedupFill(n, entries, count, arr, mode);
    if (filled < 0) {
        std::free(arr);
        return ERR_MEMORY_ALLOCATION;
    }
    *outArray = arr;
    *outCount = filled;
    return 0;
}

// The column attribute values that the back end returns beside descriptions
// (TypedValue, looked up in an override table by attribute and column), and
// a pair of owned texts.
#pragma once
#include <cstdint>

struct HashTable;

// Two owned texts.
struct StrPair {
    char *first;
    char *second;
};
void StrPair_Free(StrPair *pair);

// One column attribute value.
enum : int16_t { TV_TEXT = 0, TV_INT = 1, TV_INT2 = 2, TV_DOUBLE = 3 };

struct TypedValue {
    uint16_t column;  // 0: the attribute's default for every column
    int16_t attrId;   // negative: not reported
    int16_t kind;     // TV_TEXT, TV_INT, TV_INT2, TV_DOUBLE
    union {
        char *text;   // owned, NUL-terminated
        int32_t integer;
        double dbl;
        uint64_t raw;
    } value;
};

// Key of the override table (4-byte binary keys): attribute id x 65536 + column.
inline uint32_t TV_Key(int attrId, unsigned column) {
    return (uint32_t(uint16_t(attrId)) << 16) + uint16_t(column);
}

// Looks (attr, column) up in the override table, falling back to the
// attribute's default; 1 with the value written to the output of its kind.
int TV_Lookup(const HashTable *table, int attrId, int column, int32_t *intOut, const char **textOut,
              double *dblOut);
int TV_Equal(const TypedValue *a, const TypedValue *b);
// Copies an entry; mode 2 duplicates a text value (ERR_MEMORY_ALLOCATION when
// out of memory).
int TV_CopyValue(TypedValue *target, const TypedValue *source, int mode);
void TV_FreeValue(TypedValue *entry);
// Override-table visitor: frees the heap TypedValue held as the value.
void TV_FreeEntry(uint64_t value, const void *key, void *arg);
// Counts (out NULL) or copies the entries that carry information: each
// attribute's default and the column entries that differ from it.  Returns the
// number kept, -1 when a copy ran out of memory.
int TV_DedupFill(int n, const TypedValue *entries, int capacity, TypedValue *out, int mode);
// A new array of the kept entries (none when nothing is kept).  0 or
// ERR_MEMORY_ALLOCATION.
int TV_DedupCopy(int n, const TypedValue *entries, int *outCount, TypedValue **outArray, int mode);

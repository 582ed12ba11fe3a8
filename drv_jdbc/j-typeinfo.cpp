// Type-information cache of a back-end connection.
#include "drv_jdbc/j-typeinfo.h"

#include <cstdlib>
#include <cstring>

#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-optable.h"
#include "odbc/contract/drv_ops.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"
#include "util/hash.h"

namespace {

constexpr int kRowsPerFetch = 100;

// Column i (from 0) of a row as text, cut to size - 1 bytes; "" for NULL.
void CellText(const RowBlock *b, int32_t row, int col, char *out, uint32_t size)
{
    uint32_t len = size - 1;
    if (RB_GetCell(b, row, col, out, &len) != 0)
        len = 0;
    out[len < size ? len : size - 1] = '\0';
}

// DATA_TYPE of a row (a 16-bit or 32-bit column); false for NULL.
bool CellType(const RowBlock *b, int32_t row, int col, int16_t *out)
{
    ValueType type = 0;
    uint32_t width = 0;
    if (RB_GetColumnInfo(b, col, &type, &width) != 0)
        return false;
    unsigned char raw[8] = {};
    uint32_t len = width <= sizeof raw ? width : sizeof raw;
    if (RB_GetCell(b, row, col, raw, &len) != 0 || len == 0)
        return false;
    if (len >= 4) {
        int32_t v;
        memcpy(&v, raw, 4);
        *out = static_cast<int16_t>(v);
    } else {
        int16_t v;
        memcpy(&v, raw, 2);
        *out = v;
    }
    return true;
}

// The usual PostgreSQL name of an SQL type, preferred over the other types
// the database reports under the same code ("name" and "text" are VARCHAR
// too, the one-byte "char" is CHAR).
struct PreferredName {
    int16_t key;
    const char *name;
};
constexpr PreferredName kPreferred[] = {
    {-7, "bool"},    {-5, "int8"},   {-2, "bytea"},  {-1, "text"},  {1, "bpchar"},
    {2, "numeric"},  {4, "int4"},    {5, "int2"},    {7, "float4"}, {8, "float8"},
    {12, "varchar"}, {9, "date"},    {10, "time"},   {11, "timestamp"},
};

const char *preferredName(int16_t key)
{
    for (const PreferredName &p : kPreferred)
        if (p.key == key)
            return p.name;
    return nullptr;
}

void FreeEntry(uint64_t value, const void *, void *)
{
    free(reinterpret_cast<TypeInfoEntry *>(static_cast<uintptr_t>(value)));
}

// Frees a temporary statement when it goes.
struct TempStmt {
    const DrvOpTable *ops;
    int handle = 0;
    ~TempStmt()
    {
        if (handle && ops->FreeStmt)
            ops->FreeStmt(handle);
    }
};

} // namespace

int16_t typeInfoKey(int sqlType)
{
    switch (sqlType) {
    case 91: return 9;
    case 92: return 10;
    case 93: return 11;
    case -8: return 1;
    case -9: return 12;
    case -10: return -1;
    default: return static_cast<int16_t>(sqlType);
    }
}

const char *typeUsualName(int sqlType)
{
    const char *name = preferredName(typeInfoKey(sqlType));
    return name ? name : "";
}

HashTable *typeInfoCacheOf(DrvConn *c)
{
    if (!c->typeInfo)
        c->typeInfo = buildTypeInfoCache(c->handle, c);
    return c->typeInfo;
}

void freeTypeInfoCache(HashTable *cache)
{
    if (!cache)
        return;
    HASH_ForEach(cache, FreeEntry, nullptr);
    HASH_Free(cache);
}

HashTable *buildTypeInfoCache(int handle, DrvConn *c)
{
    HashTable *cache = HASH_Create(100, 2);
    if (!cache)
        return nullptr;
    const DrvOpTable *ops = DRV_JdbcOpTable();
    if (!ops->AllocStmt || !ops->DDGetTypeInfo || !ops->Fetch)
        return cache;
    TempStmt st{ops};
    if (ops->AllocStmt(handle, &st.handle) != 0)
        return cache;
    if (auto *s = static_cast<DrvStmt *>(HT_Lookup(&drvStmtTable, static_cast<uint32_t>(st.handle))))
        s->stringMode = 0;
    if (ops->DDGetTypeInfo(st.handle, 0) != 0)
        return cache;
    bool full = false;
    while (!full) {
        RowBlock block{};
        if (ops->Fetch(st.handle, kRowsPerFetch, &block) != 0 || block.columnsUsed <= 4) {
            RB_Free(&block);
            break;
        }
        for (int32_t row = 0; row < block.rowsUsed && !full; ++row) {
            int16_t type = 0;
            if (!CellType(&block, row, 1, &type))
                continue;
            auto *e = static_cast<TypeInfoEntry *>(calloc(1, sizeof(TypeInfoEntry)));
            if (!e) {
                full = true;
                break;
            }
            CellText(&block, row, 0, e->typeName, sizeof e->typeName);
            CellText(&block, row, 3, e->literalPrefix, sizeof e->literalPrefix);
            CellText(&block, row, 4, e->literalSuffix, sizeof e->literalSuffix);
            type = typeInfoKey(type);
            HashNode *old = HASH_Find(cache, &type);
            const char *preferred = preferredName(type);
            if (old) {
                if (preferred && strcmp(e->typeName, preferred) == 0) {
                    free(reinterpret_cast<TypeInfoEntry *>(static_cast<uintptr_t>(old->value)));
                    old->value = reinterpret_cast<uintptr_t>(e);
                } else {
                    free(e);
                }
            } else if (!HASH_Put(cache, &type, reinterpret_cast<uintptr_t>(e))) {
                free(e);
                full = true;
            }
        }
        RB_Free(&block);
    }
    (void)c;
    return cache;
}

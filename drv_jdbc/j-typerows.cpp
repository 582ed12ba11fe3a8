// The type-information result as ODBC orders it: rows by DATA_TYPE and, for
// each SQL type, the types that map to it most closely first, with the
// sizes and creation parameters of the text types.
#include "drv_jdbc/j-catalog.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-typeinfo.h"
#include "odbc/contract/errnum.h"
#include "odbc/contract/rb_ops.h"
#include "odbc/contract/rowblock.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Columns of the SQLGetTypeInfo layout.
enum : int {
    TI_TYPE_NAME = 0,
    TI_DATA_TYPE = 1,
    TI_COLUMN_SIZE = 2,
    TI_CREATE_PARAMS = 5,
    TI_AUTO_UNIQUE = 11,
    TI_SQL_DATA_TYPE = 15,
    TI_COLUMNS = 19,
};

// Types that serve one purpose of PostgreSQL's own (identifiers, one-byte
// codes, object ids, currency): listed after the general types of their SQL
// type.
const char *const kSpecialPurpose[] = {"name", "char", "oid", "money"};

// Sizes and creation parameters of the text and binary types: -1 leaves the
// size as the database gave it, NULL leaves the parameters empty.
struct TextTypeRule {
    const char *name;
    int64_t size;
    const char *createParams;
};
const TextTypeRule kTextTypes[] = {
    {"varchar", CD_SIZE_MAX, "max length"}, {"bpchar", -1, "length"}, {"text", CD_SIZE_MAX, nullptr},
    {"name", 63, nullptr},                  {"char", 1, nullptr},      {"bytea", CD_SIZE_MAX, nullptr},
    {"bit", -1, "length"},                  {"varbit", -1, "max length"},
};

constexpr int16_t kLongVarchar = -1;

// The type name of row r (type names are ASCII in both text forms).
std::string typeNameOf(const RowBlock *b, int32_t r)
{
    ValueType vt = 0;
    uint32_t width = 0;
    char buf[256];
    uint32_t len = sizeof buf - 2;
    if (RB_GetColumnInfo(b, TI_TYPE_NAME, &vt, &width) != 0 || RB_GetCell(b, r, TI_TYPE_NAME, buf, &len) != 0)
        return std::string();
    const bool wide = vt >= VT_WCHAR && vt <= VT_WTEXT4;
    std::string name;
    for (uint32_t i = 0; i < len; i += wide ? 2 : 1) {
        if (buf[i] == '\0')
            break;
        name += buf[i];
    }
    return name;
}

bool flagCell(const RowBlock *b, int col, int32_t r)
{
    unsigned char raw[8] = {};
    uint32_t len = sizeof raw;
    if (RB_GetCell(b, r, col, raw, &len) != 0)
        return false;
    for (uint32_t i = 0; i < len; ++i)
        if (raw[i])
            return true;
    return false;
}

// 0 the usual type of the SQL type, 1 another general type, 2 a
// special-purpose type, 3 an auto-incrementing type.
int closenessOf(const RowBlock *b, int32_t r)
{
    if (flagCell(b, TI_AUTO_UNIQUE, r))
        return 3;
    const std::string name = typeNameOf(b, r);
    const char *usual = typeUsualName(shortCell(b, TI_DATA_TYPE, r));
    if (*usual && name == usual)
        return 0;
    for (const char *special : kSpecialPurpose)
        if (name == special)
            return 2;
    return 1;
}

// Matches a type filter the way the catalog operation takes it: the date
// and time types under either of their codes.
int16_t odbc2Type(int16_t t) { return t == 91 ? 9 : t == 92 ? 10 : t == 93 ? 11 : t; }

void applyTextRule(RowBlock *b, int32_t r)
{
    const std::string name = typeNameOf(b, r);
    for (const TextTypeRule &rule : kTextTypes) {
        if (name != rule.name)
            continue;
        if (rule.size >= 0)
            setLongCell(b, TI_COLUMN_SIZE, r, static_cast<int32_t>(rule.size));
        if (rule.createParams)
            setTextCell(b, TI_CREATE_PARAMS, r, rule.createParams);
        return;
    }
}

} // namespace

int typeInfoArrange(DrvStmt *s, RowBlock *rows)
{
    if (!rows || rows->columnsUsed < TI_COLUMNS)
        return 0;
    // text is also the SQL type LONGVARCHAR: a copy of its row under that code.
    const int32_t read = rows->rowsUsed;
    for (int32_t r = 0; r < read; ++r) {
        if (typeNameOf(rows, r) != "text")
            continue;
        RowBlock *copy = nullptr;
        int rc = RB_NewLike(&copy, rows, 1);
        if (rc == 0)
            rc = RB_CopyRow(copy, rows, 0, r, 0);
        if (rc == 0)
            rc = RB_AppendRows(rows, copy);
        if (copy) {
            RB_Free(copy);
            free(copy);
        }
        if (rc != 0)
            return rc;
        const int32_t added = rows->rowsUsed - 1;
        setShortCell(rows, TI_DATA_TYPE, added, kLongVarchar);
        setShortCell(rows, TI_SQL_DATA_TYPE, added, kLongVarchar);
        break;
    }
    struct Key {
        int16_t type;
        int closeness;
        int32_t row;
    };
    std::vector<Key> keys;
    keys.reserve(static_cast<size_t>(rows->rowsUsed));
    const int16_t filter = odbc2Type(s->typeFilter);
    for (int32_t r = 0; r < rows->rowsUsed; ++r) {
        const int16_t type = shortCell(rows, TI_DATA_TYPE, r);
        if (filter != 0 && odbc2Type(type) != filter)
            continue;
        applyTextRule(rows, r);
        keys.push_back({type, closenessOf(rows, r), r});
    }
    std::stable_sort(keys.begin(), keys.end(), [](const Key &a, const Key &b) {
        return a.type != b.type ? a.type < b.type : a.closeness < b.closeness;
    });
    RowBlock *sorted = nullptr;
    if (int rc = RB_NewLike(&sorted, rows, static_cast<int32_t>(keys.size() > 0 ? keys.size() : 1)))
        return rc;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (int rc = RB_CopyRow(sorted, rows, static_cast<int32_t>(i), keys[i].row, 1)) {
            RB_Free(sorted);
            free(sorted);
            return rc;
        }
    }
    RB_Free(rows);
    *rows = *sorted;
    free(sorted);
    return 0;
}

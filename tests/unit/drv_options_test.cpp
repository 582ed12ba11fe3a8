// The back end's pure helpers of information and options: the scalar
// function lists and the negotiation of cursor type and concurrency.
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-info.h"
#include "drv_jdbc/j-infotypes.h"
#include "drv_jdbc/j-setoption.h"
#include "util/hash.h"

#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ScalarFunctions, ListsBecomeMasksOfTheirCategory)
{
    HashTable *map = BuildScalarFunctionMap();
    ASSERT_NE(map, nullptr);
    struct Case {
        const char *list;
        int category;
        uint32_t mask;
    } cases[] = {
        {"abs, mod,pi", 1, SQL_FN_NUM_ABS | SQL_FN_NUM_MOD | SQL_FN_NUM_PI},
        {"  ABS,MOD", 1, SQL_FN_NUM_ABS | SQL_FN_NUM_MOD},
        {"abs ,mod", 1, SQL_FN_NUM_MOD},  // a blank before a comma stays in the name
        {"ascii,abs", 2, SQL_FN_STR_ASCII},  // another category adds nothing
        {"user,ifnull,database", 3, SQL_FN_SYS_USERNAME | SQL_FN_SYS_IFNULL},
        {"now,curdate,timestampdiff", 4, SQL_FN_TD_NOW | SQL_FN_TD_CURDATE | SQL_FN_TD_TIMESTAMPDIFF},
        {"", 1, 0},
        {"nosuch", 1, 0},
        {"abs,", 1, SQL_FN_NUM_ABS},
    };
    for (const Case &c : cases) {
        std::string copy = c.list;
        EXPECT_EQ(parseScalarFunctions(&copy[0], map, c.category), c.mask) << c.list;
    }
    char list[] = "abs";
    EXPECT_EQ(parseScalarFunctions(list, nullptr, 1), 0u);
    HASH_Free(map);
}

TEST(Negotiation, NearestValueTheDriverGives)
{
    DrvConn c{};
    struct Case {
        int sensitivity;
        int option;
        int32_t asked;
        int rc;
        int32_t stored;
    } cases[] = {
        {0, SQL_CONCURRENCY, SQL_CONCUR_ROWVER, 75, SQL_CONCUR_VALUES},
        {0, SQL_CONCURRENCY, SQL_CONCUR_LOCK, 0, SQL_CONCUR_LOCK},
        {0, SQL_CONCURRENCY, SQL_CONCUR_READ_ONLY, 0, SQL_CONCUR_READ_ONLY},
        {0, SQL_CURSOR_TYPE, SQL_CURSOR_DYNAMIC, 0, SQL_CURSOR_DYNAMIC},
        {2, SQL_CURSOR_TYPE, SQL_CURSOR_DYNAMIC, 75, SQL_CURSOR_STATIC},
        {2, SQL_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN, 75, SQL_CURSOR_STATIC},
        {2, SQL_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY, 0, SQL_CURSOR_FORWARD_ONLY},
        // Values the driver does not know are refused, never taken as given.
        {0, SQL_CURSOR_TYPE, 7, 43, 7},
        {0, SQL_CONCURRENCY, 0, 43, 0},
        {0, SQL_CONCURRENCY, -999, 43, -999},
        // Options without a fallback row stand as asked.
        {0, SQL_ROWSET_SIZE, 12, 0, 12},
    };
    for (const Case &k : cases) {
        c.options.cursorSensitivity = k.sensitivity;
        int32_t v = k.asked;
        EXPECT_EQ(negotiateOption(&c, k.option, &v), k.rc) << k.option << " " << k.asked;
        EXPECT_EQ(v, k.stored) << k.option << " " << k.asked;
    }
    c.options.cursorSensitivity = 2;
    EXPECT_EQ(infoSensitivityFlags(&c), 17);
    c.options.cursorSensitivity = 1;
    EXPECT_EQ(infoSensitivityFlags(&c), 31);
}

} // namespace

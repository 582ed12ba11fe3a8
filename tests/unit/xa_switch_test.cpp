// The XA switch's conversions and checks at the monitor's boundary, and its
// entries on a thread without a resource manager (no Java VM needed).
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "xa/xa_switch.h"

namespace {

TEST(XaParseDsn, TakesTheNameAfterTheFirstDsnKeyword)
{
    struct Case {
        const char *info;
        int ok;
        const char *dsn;
    } cases[] = {
        {"DSN=pg", 1, "pg"},
        {"DSN=pg;UID=me", 1, "pg"},
        {"UID=me;DSN=pg  \t;PWD=x", 1, "pg"},
        {"DSN=;UID=me", 1, ""},
        {"FILEDSN=first;DSN=second", 1, "second"},
        {"  DSN=pg", 1, "pg"},
        {"FILEDSN=f.dsn", 0, ""},
        {"dsn=pg", 0, ""},
        {"UID=me", 0, ""},
        {"", 0, ""},
        {nullptr, 0, ""},
    };
    for (const Case &c : cases) {
        char out[256];
        memset(out, 'z', sizeof out);
        EXPECT_EQ(XA_ParseDsn(c.info, out), c.ok) << (c.info ? c.info : "(null)");
        EXPECT_STREQ(out, c.dsn) << (c.info ? c.info : "(null)");
    }
    // A name that does not fit the 256-byte buffer is refused, not cut.
    char out[256];
    std::string longest = "DSN=" + std::string(255, 'n');
    EXPECT_EQ(XA_ParseDsn(longest.c_str(), out), 1);
    EXPECT_EQ(strlen(out), 255u);
    std::string tooLong = "DSN=" + std::string(256, 'n') + ";UID=me";
    EXPECT_EQ(XA_ParseDsn(tooLong.c_str(), out), 0);
}

TEST(XaXid, ConvertsBetweenTheMonitorsLayoutAndTheDrivers)
{
    static_assert(sizeof(xid_t) == 3 * sizeof(long) + XA_XIDDATASIZE, "X/Open layout");
    xid_t in{};
    in.formatID = 0x4B52;
    in.gtrid_length = 64;
    in.bqual_length = 64;
    for (int i = 0; i < XA_XIDDATASIZE; ++i)
        in.data[i] = static_cast<char>(i);
    XID mid;
    memset(&mid, 0x77, sizeof mid);
    ASSERT_TRUE(XA_XidIn(&in, &mid));
    EXPECT_EQ(mid.formatID, 0x4B52);
    EXPECT_EQ(mid.gtrid_length, 64);
    EXPECT_EQ(mid.bqual_length, 64);
    EXPECT_EQ(memcmp(mid.data, in.data, XA_XIDDATASIZE), 0);
    xid_t back;
    memset(&back, 0x55, sizeof back);
    XA_XidOut(mid, &back);
    EXPECT_EQ(memcmp(&back, &in, sizeof in), 0);

    // Short parts: the unused data bytes are zero in the driver's copy.
    in.gtrid_length = 3;
    in.bqual_length = 2;
    ASSERT_TRUE(XA_XidIn(&in, &mid));
    EXPECT_EQ(mid.data[4], 4);
    EXPECT_EQ(mid.data[5], 0);
    EXPECT_EQ(mid.data[127], 0);
    in.formatID = -1;  // the null identifier travels as it is
    ASSERT_TRUE(XA_XidIn(&in, &mid));
    EXPECT_EQ(mid.formatID, -1);
}

TEST(XaXid, RefusesLengthsAndFormatsThatDoNotFitBeforeCopying)
{
    struct Case {
        long format, gtrid, bqual;
    } cases[] = {
        {1, 65, 0}, {1, 0, 65}, {1, -1, 1}, {1, 1, -1}, {1, 64, 65},
        {1, 1L << 33, 0}, {1, 0, LONG_MIN}, {1L << 32, 1, 1}, {LONG_MIN, 1, 1},
    };
    for (const Case &c : cases) {
        xid_t in{};
        in.formatID = c.format;
        in.gtrid_length = c.gtrid;
        in.bqual_length = c.bqual;
        XID mid;
        memset(&mid, 0x77, sizeof mid);
        EXPECT_FALSE(XA_XidIn(&in, &mid)) << c.format << " " << c.gtrid << " " << c.bqual;
        EXPECT_EQ(mid.formatID, 0x77777777);
    }
}

TEST(XaFlags, KeepTheLow32BitsAndRefuseWiderWords)
{
    struct Case {
        long in;
        bool ok;
        int32_t out;
    } cases[] = {
        {0, true, 0},
        {0x04000000L, true, 0x04000000},
        {0x80000000L, true, static_cast<int32_t>(0x80000000u)},  // TMASYNC as xa.h spells it
        {-2147483648L, true, static_cast<int32_t>(0x80000000u)}, // the same, sign-extended
        {0x01800000L, true, 0x01800000},
        {0x100000000L, false, 0},
        {-2147483649L, false, 0},
    };
    for (const Case &c : cases) {
        int32_t out = 12345;
        EXPECT_EQ(XA_FlagsIn(c.in, &out), c.ok) << c.in;
        if (c.ok) {
            EXPECT_EQ(out, c.out) << c.in;
        }
    }
}

TEST(XaResultName, NamesTheXOpenCodes)
{
    struct Case {
        int value;
        const char *name;
    } cases[] = {
        {0, "XA_OK"},           {3, "XA_RDONLY"},         {-3, "XAER_RMERR"},
        {-4, "XAER_NOTA"},      {-5, "XAER_INVAL"},       {-9, "XAER_OUTSIDE"},
        {-2, "XAER_ASYNC"},     {9, "XA_NOMIGRATE"},      {100, "XA_RBROLLBACK"},
        {103, "XA_RBINTEGRITY"}, {107, "XA_RBTRANSIENT"}, {104, "Unknown"},
        {-1, "Unknown"},        {1, "Unknown"},           {108, "Unknown"},
    };
    for (const Case &c : cases)
        EXPECT_STREQ(XA_ResultName(c.value), c.name) << c.value;
}

TEST(XaSwitch, RecordAndEntriesOfAThreadWithoutAResourceManager)
{
    xa_switch_t *sw = krs_xa_switch();
    ASSERT_NE(sw, nullptr);
    EXPECT_EQ(krs_xa_switch(), sw);
    EXPECT_STREQ(sw->name, "KESTRUNE");
    EXPECT_EQ(sw->flags, 0);
    EXPECT_EQ(sw->version, 0);

    xid_t x{};
    x.gtrid_length = 1;
    xid_t list[2];
    int handle = 0, result = 7;
    char info[] = "DSN=nothing";
    EXPECT_EQ(sw->xa_start_entry(&x, 1, 0), XAER_RMERR);
    EXPECT_EQ(sw->xa_end_entry(&x, 1, 0), XAER_RMERR);
    EXPECT_EQ(sw->xa_prepare_entry(&x, 1, 0), XAER_RMERR);
    EXPECT_EQ(sw->xa_commit_entry(&x, 1, 0), XAER_RMERR);
    EXPECT_EQ(sw->xa_rollback_entry(&x, 1, 0), XAER_RMERR);
    EXPECT_EQ(sw->xa_forget_entry(&x, 1, 0), XAER_RMERR);
    EXPECT_EQ(sw->xa_recover_entry(list, 2, 1, 0x01000000L), XAER_RMERR);
    EXPECT_EQ(sw->xa_complete_entry(&handle, &result, 1, 0), XAER_RMERR);
    EXPECT_EQ(result, 7);
    EXPECT_EQ(sw->xa_close_entry(info, 1, 0), XAER_RMERR);
    EXPECT_EQ(sw->xa_close_entry(nullptr, 1, 0), XAER_RMERR);
    char noDsn[] = "UID=me";
    EXPECT_EQ(sw->xa_open_entry(noDsn, 1, 0), XAER_RMERR);
    std::string tooLong = "DSN=x;" + std::string(250, 'y');
    EXPECT_EQ(sw->xa_open_entry(&tooLong[0], 1, 0), XAER_INVAL);

    SQLHENV env = reinterpret_cast<SQLHENV>(0x1);
    SQLHDBC dbc = reinterpret_cast<SQLHDBC>(0x1);
    EXPECT_EQ(SQLGetXaEnv(&env), SQL_ERROR);
    EXPECT_EQ(env, nullptr);
    EXPECT_EQ(SQLGetXaConnect(&dbc), SQL_ERROR);
    EXPECT_EQ(dbc, nullptr);
    EXPECT_EQ(SQLGetXaEnv(nullptr), SQL_ERROR);
    EXPECT_EQ(SQLGetXaConnect(nullptr), SQL_ERROR);

    // No coordinator link can be made: the out pointer is left alone.
    xa_switch_t *out = reinterpret_cast<xa_switch_t *>(0x1);
    EXPECT_EQ(GetXaSwitch(0, &out), static_cast<int32_t>(0x80004005u));
    EXPECT_EQ(out, reinterpret_cast<xa_switch_t *>(0x1));
    EXPECT_EQ(GetXaSwitch(0, nullptr), static_cast<int32_t>(0x80070057u));
}

} // namespace

// Type rules of descriptor records: the read-side derivations and the
// consistency of TYPE, CONCISE_TYPE and DATETIME_INTERVAL_CODE on writes.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include "odbc/desc_types.h"

namespace {

TEST(DescTypeRules, VerboseTypeAndIntervalCode)
{
    struct Case {
        int16_t t, verbose, code;
    } cases[] = {
        {SQL_DATE, 9, 1},          {SQL_TYPE_DATE, 9, 1},     {SQL_TIME, 9, 2},
        {SQL_TYPE_TIME, 9, 2},     {SQL_TIMESTAMP, 9, 3},     {SQL_TYPE_TIMESTAMP, 9, 3},
        {SQL_INTERVAL_YEAR, 10, 1}, {SQL_INTERVAL_MINUTE_TO_SECOND, 10, 13},
        {SQL_INTEGER, 4, 0},       {SQL_C_WCHAR, -8, 0},      {SQL_C_DEFAULT, 99, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(DescVerboseType(c.t), c.verbose) << c.t;
        EXPECT_EQ(DescIntervalCode(c.t), c.code) << c.t;
    }
}

TEST(DescTypeRules, OctetLength)
{
    struct Case {
        int16_t t;
        int64_t size;
        int32_t octets;
    } cases[] = {
        {SQL_BIGINT, 19, 20},          {SQL_C_SBIGINT, 0, 20},   {SQL_C_UBIGINT, 0, 20},
        {SQL_TINYINT, 3, 1},           {SQL_C_UTINYINT, 0, 1},   {SQL_C_STINYINT, 0, 1},
        {SQL_INTEGER, 10, 4},          {SQL_C_SLONG, 0, 4},      {SQL_REAL, 7, 4},
        {SQL_SMALLINT, 5, 2},          {SQL_C_SSHORT, 0, 2},
        {SQL_VARCHAR, 20, 20},         {SQL_WVARCHAR, 20, 20},   {SQL_LONGVARBINARY, 99, 99},
        {SQL_NUMERIC, 10, 12},         {SQL_DECIMAL, 5, 7},
        {SQL_DOUBLE, 15, 8},           {SQL_FLOAT, 15, 8},
        {SQL_TYPE_DATE, 10, 6},        {SQL_TYPE_TIME, 8, 6},    {SQL_TYPE_TIMESTAMP, 23, 16},
        {SQL_INTERVAL_DAY, 0, 34},     {SQL_BIT, 1, 0},          {SQL_C_DEFAULT, 8, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DescOctetLengthRule(c.t, c.size), c.octets) << c.t;
}

TEST(DescTypeRules, LengthPrecisionRadixUnsigned)
{
    // LENGTH: b for character types, a for fixed ones, 0 for long ones.
    EXPECT_EQ(DescLengthRule(SQL_VARCHAR, 9, 19), 19u);
    EXPECT_EQ(DescLengthRule(SQL_C_WCHAR, 9, 4), 4u);
    EXPECT_EQ(DescLengthRule(SQL_INTEGER, 10, 3), 10u);
    EXPECT_EQ(DescLengthRule(SQL_TYPE_TIMESTAMP, 23, 0), 23u);
    EXPECT_EQ(DescLengthRule(SQL_LONGVARCHAR, 100, 100), 0u);
    EXPECT_EQ(DescLengthRule(SQL_WLONGVARCHAR, 100, 100), 0u);

    EXPECT_EQ(DescPrecisionRule(SQL_NUMERIC, 10, 2), 10);
    EXPECT_EQ(DescPrecisionRule(SQL_BIGINT, 19, 0), 19);
    EXPECT_EQ(DescPrecisionRule(SQL_TYPE_TIMESTAMP, 23, 3), 3);
    EXPECT_EQ(DescPrecisionRule(SQL_INTERVAL_SECOND, 0, 6), 6);
    EXPECT_EQ(DescPrecisionRule(SQL_INTERVAL_DAY_TO_SECOND, 0, 6), 0);
    EXPECT_EQ(DescPrecisionRule(SQL_VARCHAR, 20, 0), 0);

    EXPECT_EQ(DescRadixRule(SQL_NUMERIC), 10);
    EXPECT_EQ(DescRadixRule(SQL_DOUBLE), 2);
    EXPECT_EQ(DescRadixRule(SQL_VARCHAR), 0);

    EXPECT_EQ(DescUnsignedRule(SQL_C_SLONG), 0);
    EXPECT_EQ(DescUnsignedRule(SQL_C_SBIGINT), 0);
    // Numeric SQL types are signed; other types read as "not a number".
    EXPECT_EQ(DescUnsignedRule(SQL_INTEGER), 0);
    EXPECT_EQ(DescUnsignedRule(SQL_NUMERIC), 0);
    EXPECT_EQ(DescUnsignedRule(SQL_DOUBLE), 0);
    EXPECT_EQ(DescUnsignedRule(SQL_BIGINT), 0);
    EXPECT_EQ(DescUnsignedRule(SQL_VARCHAR), 1);
    EXPECT_EQ(DescUnsignedRule(SQL_TYPE_TIMESTAMP), 1);
}

DescTypeFields Fresh()
{
    DescTypeFields f{};
    f.length = 77;
    f.precision = 11;
    f.scale = 5;
    return f;
}

TEST(DescTypeRules, ConciseTypeKeepsTheOtherFieldsConsistent)
{
    struct Case {
        int16_t c, type, dic;
        int32_t dip;
        uint64_t length;
        int16_t precision, scale;
    } cases[] = {
        {SQL_VARCHAR, SQL_VARCHAR, 0, 0, 1, 0, 5},
        {SQL_C_WCHAR, SQL_C_WCHAR, 0, 0, 1, 0, 5},
        {SQL_NUMERIC, SQL_NUMERIC, 0, 0, 77, 38, 0},
        {SQL_FLOAT, SQL_FLOAT, 0, 0, 77, 53, 5},
        {SQL_DOUBLE, SQL_DOUBLE, 0, 0, 77, 11, 5},
        {SQL_REAL, SQL_REAL, 0, 0, 77, 24, 5},
        {SQL_INTEGER, SQL_INTEGER, 0, 0, 77, 11, 5},
        {SQL_C_UBIGINT, SQL_C_UBIGINT, 0, 0, 77, 11, 5},
        {SQL_TYPE_DATE, 9, 1, 0, 77, 0, 5},
        {SQL_TIME, 9, 2, 0, 77, 0, 5},
        {SQL_TYPE_TIMESTAMP, 9, 3, 0, 77, 6, 5},
        {SQL_INTERVAL_YEAR, 10, 1, 2, 77, 11, 5},
        {SQL_INTERVAL_SECOND, 10, 6, 2, 77, 6, 5},
        {SQL_C_DEFAULT, 99, 0, 0, 77, 11, 5},
    };
    for (const Case &c : cases) {
        DescTypeFields f = Fresh();
        ASSERT_EQ(DescApplyConciseType(&f, c.c), 0) << c.c;
        EXPECT_EQ(f.concise, c.c);
        EXPECT_EQ(f.type, c.type) << c.c;
        EXPECT_EQ(f.dic, c.dic) << c.c;
        EXPECT_EQ(f.dip, c.dip) << c.c;
        EXPECT_EQ(f.length, c.length) << c.c;
        EXPECT_EQ(f.precision, c.precision) << c.c;
        EXPECT_EQ(f.scale, c.scale) << c.c;
    }
}

TEST(DescTypeRules, TypeSetsConciseTypeWhereTheCodeAllows)
{
    DescTypeFields f = Fresh();
    ASSERT_EQ(DescApplyType(&f, SQL_CHAR), 0);
    EXPECT_EQ(f.concise, SQL_CHAR);
    EXPECT_EQ(f.length, 1u);

    // TYPE 9 without an interval code leaves CONCISE_TYPE; the code set
    // afterwards completes it.
    f = Fresh();
    f.concise = SQL_INTEGER;
    ASSERT_EQ(DescApplyType(&f, SQL_DATETIME), 0);
    EXPECT_EQ(f.type, SQL_DATETIME);
    EXPECT_EQ(f.concise, SQL_INTEGER);
    ASSERT_EQ(DescApplyIntervalCode(&f, SQL_CODE_TIME), 0);
    EXPECT_EQ(f.concise, SQL_TYPE_TIME);

    f = Fresh();
    f.dic = 3;
    ASSERT_EQ(DescApplyType(&f, SQL_DATETIME), 0);
    EXPECT_EQ(f.concise, SQL_TYPE_TIMESTAMP);
    EXPECT_EQ(f.precision, 6);

    f = Fresh();
    f.dic = SQL_CODE_HOUR_TO_SECOND;
    ASSERT_EQ(DescApplyType(&f, SQL_INTERVAL), 0);
    EXPECT_EQ(f.concise, SQL_INTERVAL_HOUR_TO_SECOND);
    EXPECT_EQ(f.dip, 2);
    EXPECT_EQ(f.precision, 6);
}

TEST(DescTypeRules, RefusedTypesLeaveTheFieldsAsTheyWere)
{
    const int16_t badTypes[] = {SQL_TIMESTAMP, SQL_TYPE_DATE, -11, 0, 500};
    for (int16_t t : badTypes) {
        DescTypeFields f = Fresh();
        f.type = SQL_INTEGER;
        f.concise = SQL_INTEGER;
        EXPECT_EQ(DescApplyType(&f, t), 27) << t;
        EXPECT_EQ(f.type, SQL_INTEGER);
        EXPECT_EQ(f.concise, SQL_INTEGER);
        EXPECT_EQ(f.precision, 11);
    }
    const int16_t badConcise[] = {0, -11, 114, 100, 1000};
    for (int16_t c : badConcise) {
        DescTypeFields f = Fresh();
        f.type = f.concise = SQL_VARCHAR;
        EXPECT_EQ(DescApplyConciseType(&f, c), 27) << c;
        EXPECT_EQ(f.concise, SQL_VARCHAR);
        EXPECT_EQ(f.length, 77u);
    }
    // An interval code that the verbose type does not have.
    DescTypeFields f = Fresh();
    f.type = 9;
    f.concise = SQL_TYPE_DATE;
    f.dic = 1;
    EXPECT_EQ(DescApplyIntervalCode(&f, 4), 27);
    EXPECT_EQ(f.dic, 1);
    EXPECT_EQ(f.concise, SQL_TYPE_DATE);
    f.type = SQL_INTEGER;
    EXPECT_EQ(DescApplyIntervalCode(&f, 4), 0);
    EXPECT_EQ(f.concise, SQL_TYPE_DATE);
}

} // namespace

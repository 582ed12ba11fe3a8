#include <gtest/gtest.h>
#include "util/version.h"
#include "odbc/contract/flavour.h"
TEST(Skeleton, Version) { EXPECT_STREQ(KRS_VersionText(), "6.3.0.0"); EXPECT_TRUE(KRS_IsUnicodeBuild()); }

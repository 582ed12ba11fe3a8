// The text writer in the ANSI build: code-page text is cut between bytes,
// as the narrow functions count it.
#include <gtest/gtest.h>

#include "odbc/errors.h"
#include "odbc/contract/textout.h"

TEST(TextOutAnsi, NarrowTextIsCutBetweenBytes)
{
    const char *text = "a\xC3\xA9";
    char buf[4];
    SQLSMALLINT len = 0;
    EXPECT_EQ(TXT_Put(text, TXT_Out('A', TC_BYTES, buf, 3, &len)), ERR_DATA_TRUNCATED);
    EXPECT_STREQ(buf, "a\xC3");
    EXPECT_EQ(len, 3);
}

#include <gtest/gtest.h>

#include "host/net/HttpFields.h"

using paloma::host::net::parseContentLength;

TEST(HttpFields, ContentLengthIsDecimalDigitsOnly) {
    EXPECT_EQ(parseContentLength(u"300001"), 300001);
    EXPECT_EQ(parseContentLength(u" \t5368709120 "), 5368709120LL); // past 4 GB
    EXPECT_EQ(parseContentLength(u"9223372036854775807"), INT64_MAX);
    for (const char16_t* bad : {u"", u"  ", u"-1", u"12a", u"1 2", u"0x10", u"9223372036854775808", u"+5"})
        EXPECT_FALSE(parseContentLength(bad)) << std::u16string(bad).size();
}

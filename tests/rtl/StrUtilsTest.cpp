#include "rtl/StrUtils.h"

#include <gtest/gtest.h>

using namespace rtl;

TEST(StrUtils, ParseInt64AcceptsOnlyWholeNumbers)
{
    struct Case { const char* text; std::optional<std::int64_t> value; };
    const Case cases[] = {
        {"0", 0}, {" 42 ", 42}, {"-7", -7}, {"+7", 7},
        {"4294967296", 4294967296LL}, {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", std::nullopt}, {"", std::nullopt}, {"12a", std::nullopt},
        {"a12", std::nullopt}, {"+-1", std::nullopt}, {"1 2", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseInt64(c.text), c.value) << c.text;
    EXPECT_EQ(StrToIntDef("3000000000", -1), -1);
}

TEST(StrUtils, TrimAndCase)
{
    EXPECT_EQ(Trim("  a b \r\n"), "a b");
    EXPECT_EQ(UpperCase("4a"), "4A");
    EXPECT_TRUE(SameText("Ftp", "fTP"));
    EXPECT_FALSE(SameText("ftp", "ftps"));
}

#include "rtl/Format.h"

#include <gtest/gtest.h>

TEST(Format, ShortAndLongResults)
{
    EXPECT_EQ(rtl::Format("%s: WSAStartup error #%d", "wsock32.dll", 10091),
              "wsock32.dll: WSAStartup error #10091");
    std::string big(1000, 'x');
    EXPECT_EQ(rtl::Format("<%s>", big.c_str()), "<" + big + ">");
}

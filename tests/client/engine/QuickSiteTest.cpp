#include <gtest/gtest.h>

#include "client/engine/QuickSite.h"

namespace {

TEST(QuickSite, AMaskedHostBoxEntryResolvesToTheFullEntry)
{
    const std::vector<std::string> list{"a.example:21:ann:pw1", "b.example:2121:bob:p:w", "c.example:21:carl:pw3"};
    const TQuickSite bar{"", "99", "barUser", "barPass"};
    struct Case { std::string text; TQuickSite want; };
    const Case cases[] = {
        {"b.example:2121:bob:p:********", {"b.example", "2121", "bob:p", "w"}}, // masked at the last colon
        {"c.example:21:carl:********", {"c.example", "21", "carl", "pw3"}},
        {"a.example:21:ann:pw1", {"a.example", "21", "ann", "pw1"}},
        {"typed.example", {"typed.example", "99", "barUser", "barPass"}},
        {"x.example:21:u:********", {"x.example:21:u:********", "99", "barUser", "barPass"}},
    };
    for (const auto& c : cases) EXPECT_EQ(ResolveQuickSite(c.text, bar, list), c.want) << c.text;
}

} // namespace

#include "client/engine/FileTypeIcons.h"

#include <gtest/gtest.h>

namespace {
struct CountingProvider : IFileIconProvider {
    std::vector<std::string> asked;
    int FileTypeIconIndex(const std::string& name) override
    {
        asked.push_back(name);
        return int(asked.size()) + 10;
    }
};
} // namespace

TEST(FileTypeIcons, AsksByNameAndRemembersTheLastExtension)
{
    SetFileIconProvider(nullptr);
    EXPECT_EQ(GetFileTypeIconIndex("a.txt"), 0);

    CountingProvider provider;
    SetFileIconProvider(&provider);
    EXPECT_EQ(GetFileTypeIconIndex("../../etc/a.txt"), 11); // a name, never a path to make
    EXPECT_EQ(GetFileTypeIconIndex("b.txt"), 11);
    EXPECT_EQ(GetFileTypeIconIndex("c.zip"), 12);
    EXPECT_EQ(GetFileTypeIconIndex("d.txt"), 13); // only the previous call is remembered
    EXPECT_EQ(provider.asked, (std::vector<std::string>{"../../etc/a.txt", "c.zip", "d.txt"}));
    SetFileIconProvider(nullptr);
}

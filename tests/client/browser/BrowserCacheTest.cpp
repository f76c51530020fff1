// The browser's listing parser and its cache.
#include <gtest/gtest.h>

#include "client/browser/DirBuffer.h"
#include "client/browser/ExtractHostDir.h"

namespace {

struct LineCase {
    const char* line;
    TFileItem item;
};

TEST(ExtractHostDir, EntriesOfUnixAndDosLines)
{
    const LineCase cases[] = {
        {"-rw-r--r-- 1 ftp ftp 100 Mar 3 09:15 a.txt", {"a.txt", 100, "2031-03-03", "09:15", "-rw-r--r--", false, 1}},
        {"drwxr-xr-x 2 ftp ftp 512 Dec 24 1999 old", {"old", 512, "1999-12-24", "", "drwxr-xr-x", true, 0}},
        // Links count as folders and keep their target in the name.
        {"lrwxrwxrwx 1 ftp ftp 7 Jan 10 2020 up -> /srv/up",
         {"up -> /srv/up", 7, "2020-01-10", "", "lrwxrwxrwx", true, 0}},
        // Sizes beyond 32 bits.
        {"-rw-r--r-- 1 ftp ftp 6442450944 Feb 29 2024 big.iso",
         {"big.iso", 6442450944LL, "2024-02-29", "", "-rw-r--r--", false, 1}},
        {"-rw-r--r-- 1 ftp ftp x12 Feb 1 2024 odd", {"odd", 0, "2024-02-01", "", "-rw-r--r--", false, 1}},
        {"01-31-02  03:15PM       <DIR>          pub", {"pub", 0, "2002-01-31", "15:15", "<DIR>", true, 0}},
        {"12-31-98  12:05AM                 1234 old.zip", {"old.zip", 1234, "1998-12-31", "00:05", "     ", false, 1}},
    };
    TExtractHostDir parser("2031");
    for (const auto& c : cases) {
        std::vector<TFileItem> items;
        parser.Parse(c.line, items);
        ASSERT_EQ(items.size(), 1u) << c.line;
        EXPECT_EQ(items[0], c.item) << c.line;
    }
}

TEST(ExtractHostDir, DropsDotEntriesAndOtherLines)
{
    std::vector<TFileItem> items;
    TExtractHostDir("2031").Parse("total 3\r\ndrwxr-xr-x 2 a b 0 Jan 1 2000 .\r\n"
                                  "drwxr-xr-x 2 a b 0 Jan 1 2000 ..\r\n-rw-r--r-- 1 a b 5 Jan 1 2000 f\r\n",
                                  items);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].Name, "f");
    items.clear();
    TExtractHostDir("2031").Parse("", items);
    EXPECT_TRUE(items.empty());
}

TEST(ExtractHostDir, YearDefaultsToTheCalendarYear)
{
    EXPECT_EQ(TExtractHostDir().CurrentYear().size(), 4u);
}

TEST(EntryName, LinkIsReachedByItsName)
{
    EXPECT_EQ(EntryName("up -> /srv/up"), "up");
    EXPECT_EQ(EntryName("plain name"), "plain name");
}

TFileItem Item(const std::string& name, std::int64_t size, bool folder, const std::string& date = "2020-01-01",
               const std::string& time = "")
{
    TFileItem i;
    i.Name = name;
    i.Size = size;
    i.IsFolder = folder;
    i.Date = date;
    i.Time = time;
    return i;
}

std::vector<std::string> Names(const TBufferList& entry)
{
    std::vector<std::string> out;
    for (const auto& i : entry.Items) out.push_back(i.Name);
    return out;
}

TEST(DirBuffer, StoringAFolderAgainKeepsTheNewerAndTheShownOneAlive)
{
    TDirBuffer cache;
    EXPECT_EQ(cache.Add("/pub", {Item("old", 1, false)}), 0);
    EXPECT_EQ(cache.Add("/other", {}), 1);
    auto shown = cache.Get("/pub");
    EXPECT_EQ(cache.Add("/pub", {Item("new", 1, false)}), 1);
    EXPECT_EQ(cache.Count(), 2);
    EXPECT_EQ(Names(*cache.Get("/pub")), std::vector<std::string>{"new"});
    // The view still holds the replaced entry whole.
    EXPECT_EQ(Names(*shown), std::vector<std::string>{"old"});
    cache.Remove("/pub");
    EXPECT_FALSE(cache.Find("/pub"));
    EXPECT_EQ(cache.Get(5), nullptr);
}

TEST(DirBuffer, SortModesKeepFoldersFirst)
{
    TDirBuffer cache;
    cache.Add("/", {Item("b", 30, false, "2020-01-02", "10:00"), Item("Z", 5, true), Item("a", 20, false, "2020-01-02", "09:00"),
                    Item("c", 10, false, "2019-05-05"), Item("A", 7, true)});
    EXPECT_EQ(Names(*cache.Get(0)), (std::vector<std::string>{"A", "Z", "a", "b", "c"}));
    cache.SetSortMode(brSortSize);
    EXPECT_EQ(Names(*cache.Get(0)), (std::vector<std::string>{"Z", "A", "c", "a", "b"}));
    cache.SetSortMode(brSortDate);
    EXPECT_EQ(Names(*cache.Get(0)), (std::vector<std::string>{"Z", "A", "c", "a", "b"}));
    // New entries take the mode in force.
    cache.Add("/x", {Item("big", 9, false), Item("small", 1, false, "2000-01-01")});
    EXPECT_EQ(Names(*cache.Get("/x")), (std::vector<std::string>{"small", "big"}));
}

} // namespace

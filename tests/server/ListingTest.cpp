// Listing lines and listings of folders, patterns and files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <ctime>

#include "server/FtpSrvList.h"
#include "tests/support/TestSupport.h"

namespace {

struct stat StatAt(mode_t mode, std::int64_t size, int year, int month, int day, int hour, int minute)
{
    struct stat st {};
    st.st_mode = mode;
    st.st_size = size;
    std::tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = -1;
    st.st_mtim.tv_sec = std::mktime(&tm);
    return st;
}

TEST(ServerListing, LineFormat)
{
    struct Case { struct stat st; std::string name, expected; };
    for (const Case& c : std::vector<Case>{
             {StatAt(S_IFREG | 0644, 1234, 2026, 3, 5, 9, 7), "a.txt",
              "-rw-rw-rw-   1 ftp      ftp         1234 Mar 05 09:07 a.txt\r\n"},
             {StatAt(S_IFDIR | 0755, 4096, 2019, 12, 31, 23, 59), "dir",
              "drw-rw-rw-   1 ftp      ftp         4096 Dec 31  2019 dir\r\n"},
             {StatAt(S_IFREG | 0444, 0, 2026, 1, 1, 0, 0), "ro",
              "-r--r--r--   1 ftp      ftp            0 Jan 01 00:00 ro\r\n"},
             {StatAt(S_IFREG | 0755, 7, 2026, 7, 14, 12, 30), "run.sh",
              "-rwxrwxrwx   1 ftp      ftp            7 Jul 14 12:30 run.sh\r\n"},
             // Sizes are 64-bit: 3 GB and beyond stay positive.
             {StatAt(S_IFREG | 0644, 3000000000LL, 2026, 2, 2, 2, 2), "big",
              "-rw-rw-rw-   1 ftp      ftp   3000000000 Feb 02 02:02 big\r\n"},
             {StatAt(S_IFREG | 0644, 123456789012345LL, 2026, 2, 2, 2, 2), "huge",
              "-rw-rw-rw-   1 ftp      ftp  123456789012345 Feb 02 02:02 huge\r\n"},
         }) {
        EXPECT_EQ(FormatDirLine(c.name, c.st, 2026), c.expected);
    }
}

class ServerListingFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = dir / "home";
        ::mkdir(home.c_str(), 0755);
        ::mkdir((home + "/empty").c_str(), 0755);
        ::mkdir((home + "/b-dir").c_str(), 0755);
        testsupport::WriteFile(home + "/c.txt", "ccc");
        testsupport::WriteFile(home + "/a.txt", "a");
        testsupport::WriteFile(home + "/.hidden", "h");
        testsupport::WriteFile(dir / "secret", std::string(77777, 's'));
        ::symlink((dir / "secret").c_str(), (home + "/out").c_str());
        ::symlink((home + "/c.txt").c_str(), (home + "/in").c_str());
    }
    testsupport::TempDir dir;
    std::string home;
};

std::vector<std::string> Names(const std::string& listing)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < listing.size()) {
        std::size_t end = listing.find("\r\n", start);
        std::string line = listing.substr(start, end - start);
        names.push_back(line.substr(line.rfind(' ') + 1));
        start = end + 2;
    }
    return names;
}

TEST_F(ServerListingFolder, FolderListingsAreSortedAndSkipHiddenInDetail)
{
    EXPECT_EQ(Names(BuildDirListing(home, true, home)),
              (std::vector<std::string>{"a.txt", "b-dir", "c.txt", "empty", "in", "out"}));
    EXPECT_EQ(Names(BuildDirListing(home, false, home)),
              (std::vector<std::string>{".", "..", ".hidden", "a.txt", "b-dir", "c.txt", "empty", "in", "out"}));
}

TEST_F(ServerListingFolder, LinksOutOfTheHomeShowOnlyThemselves)
{
    std::string listing = BuildDirListing(home, true, home);
    EXPECT_EQ(listing.find("77777"), std::string::npos) << listing;
    // A link inside the home shows its target.
    EXPECT_NE(listing.find("           3 "), std::string::npos) << listing;
}

TEST_F(ServerListingFolder, PatternsFilesAndMisses)
{
    EXPECT_EQ(Names(BuildDirListing(home + "/*.txt", false, home)), (std::vector<std::string>{"a.txt", "c.txt"}));
    EXPECT_EQ(Names(BuildDirListing(home + "/c.txt", true, home)), (std::vector<std::string>{"c.txt"}));
    // An existing empty folder lists nothing; a name that matches nothing says so.
    EXPECT_EQ(BuildDirListing(home + "/empty", true, home), "");
    EXPECT_EQ(BuildDirListing(home + "/nothing", true, home), home + "/nothing not found\r\n");
    EXPECT_EQ(BuildDirListing(home + "/*.zip", false, home), home + "/*.zip not found\r\n");
}

} // namespace

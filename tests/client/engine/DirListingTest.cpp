#include "client/engine/DirListing.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

std::vector<TDirAnalyze> Parse(std::string_view text)
{
    std::vector<TDirAnalyze> list;
    ParseDirListing(text, list);
    return list;
}

} // namespace

// Listings captured from real servers over the same folder: a file, a 5 GB
// sparse file, links, folders, names with blanks, a date from another year,
// and "." and ".." (from LIST -la).
TEST(DirListing, RealServerListings)
{
    for (const char* server : {"vsftpd", "pure-ftpd", "pyftpdlib"}) {
        SCOPED_TRACE(server);
        const auto list = Parse(testsupport::ReadFile(std::string(ENGINE_FIXTURES) + "/" + server + "-list.txt"));
        struct Want { const char* attr; const char* size; const char* month; const char* day; const char* timeOrYear; const char* name; };
        const Want want[] = {
            {"-rw-r--r--", "6", "Nov", "20", "12:34", "a.txt"},
            {"-rw-r--r--", "5000000000", "Dec", "10", "10:14", "big.iso"},
            {"lrwxrwxrwx", "8", "Dec", "10", "10:14", "bin -> /usr/bin"},
            {"drwxr-xr-x", "4096", "Jan", "", "2001", "docs"},
            {"lrwxrwxrwx", "5", "Dec", "10", "10:14", "link to a -> a.txt"},
            {"drwxr-xr-x", "4096", "Dec", "10", "10:14", "my folder"},
            {"-rw-r--r--", "1234", "Dec", "10", "10:14", "name with  spaces.txt"},
            {"-rw-r--r--", "0", "Jan", "", "2001", "old.txt"},
        };
        ASSERT_EQ(list.size(), std::size(want));
        for (std::size_t i = 0; i < list.size(); ++i) {
            const auto& e = list[i];
            EXPECT_EQ(e.Attr, want[i].attr) << i;
            EXPECT_EQ(e.Size, want[i].size) << i;
            EXPECT_EQ(e.Month, want[i].month) << i;
            if (*want[i].day) EXPECT_EQ(e.Day, want[i].day) << i;
            else EXPECT_TRUE(e.Day == "5" || e.Day == "05") << e.Day; // pure-ftpd does not pad
            EXPECT_EQ(e.TimeOrYear, want[i].timeOrYear) << i;
            EXPECT_EQ(e.FileName, want[i].name) << i;
            EXPECT_FALSE(e.Owner.empty());
            EXPECT_FALSE(e.Group.empty());
        }
        EXPECT_EQ(ListingSizeToInt64(list[1].Size), 5000000000LL);
    }
}

TEST(DirListing, UnixLines)
{
    struct Case { const char* line; TDirAnalyze want; };
    const Case cases[] = {
        {"drwxr-xr-x   2 ftp   ftp    4096 Jan  5 12:00 my folder",
         {"drwxr-xr-x", "2", "ftp", "ftp", "4096", "Jan", "5", "12:00", "my folder"}},
        {"-rw-r--r-- 1 ftp 1234 Jan 5 2001 a.txt", // no group column
         {"-rw-r--r--", "1", "", "ftp", "1234", "Jan", "5", "2001", "a.txt"}},
        {"-rw-r--r-- 1 ftp 1234 Jan 5 2001 two words.txt",
         {"-rw-r--r--", "1", "", "ftp", "1234", "Jan", "5", "2001", "two words.txt"}},
        {"lrwxrwxrwx 1 root root 7 Feb 1 10:00 bin -> usr/bin",
         {"lrwxrwxrwx", "1", "root", "root", "7", "Feb", "1", "10:00", "bin -> usr/bin"}},
        {"-rw-r--r--\t1 u g 1 Mar 3 2020 tab",
         {"-rw-r--r--", "1", "u", "g", "1", "Mar", "3", "2020", "tab"}},
        {"-rw-r--r-- 1 u g 18446744073709551616 Mar 3 2020 huge",
         {"-rw-r--r--", "1", "u", "g", "18446744073709551616", "Mar", "3", "2020", "huge"}},
    };
    for (const auto& c : cases) {
        const auto list = Parse(c.line);
        ASSERT_EQ(list.size(), 1u) << c.line;
        EXPECT_EQ(list[0], c.want) << c.line;
    }
    // Skipped lines: totals, dots, other file types, short lines.
    EXPECT_TRUE(Parse("total 8\r\n"
                      "drwxr-xr-x 2 u g 4096 Jan 5 12:00 .\r\n"
                      "drwxr-xr-x 2 u g 4096 Jan 5 12:00 ..\r\n"
                      "crw-rw-rw- 1 root root 1, 3 Jan 5 12:00 null\r\n"
                      "prw-r--r-- 1 u g 0 Jan 5 12:00 fifo\n"
                      "-rw-r--r-- 1 u g\n"
                      "\n\r\n")
                    .empty());
    // CR, LF and CR LF all end lines; the text ends at its first 0 byte.
    const auto mixed = Parse(std::string_view("-rw-r--r-- 1 u g 1 Jan 5 2001 a\r"
                                              "-rw-r--r-- 1 u g 2 Jan 5 2001 b\n"
                                              "-rw-r--r-- 1 u g 3 Jan 5 2001 c\r\n"
                                              "-rw-r--r-- 1 u g 4 Jan 5 2001 d\0"
                                              "-rw-r--r-- 1 u g 5 Jan 5 2001 e",
                                              31 * 4 + 4 + 31));
    ASSERT_EQ(mixed.size(), 4u);
    EXPECT_EQ(mixed[3].FileName, "d");
}

TEST(DirListing, DosLines)
{
    struct Case { const char* line; const char* attr; const char* size; const char* date; const char* time; const char* name; };
    const Case cases[] = {
        {"01-31-02  10:15AM       <DIR>          docs", "<DIR>", "0", "01-31-02", "10:15", "docs"},
        {"01-31-02  10:15AM   1024 a.txt", "     ", "1024", "01-31-02", "10:15", "a.txt"},
        {"01-31-2002  10:15PM   5000000000 big file.iso", "     ", "5000000000", "01-31-2002", "22:15", "big file.iso"},
        {"12-01-99  12:05AM   7 midnight", "     ", "7", "12-01-99", "00:05", "midnight"},
        {"12-01-99  12:05PM   7 noon", "     ", "7", "12-01-99", "12:05", "noon"},
        {"2023-05-06  23:59   <DIR>  iso dated", "<DIR>", "0", "2023-05-06", "23:59", "iso dated"},
        {"01-31-02  01:00PM  1,234 commas.txt  ", "     ", "1,234", "01-31-02", "13:00", "commas.txt"},
    };
    for (const auto& c : cases) {
        const auto list = Parse(c.line);
        ASSERT_EQ(list.size(), 1u) << c.line;
        const auto& e = list[0];
        EXPECT_EQ(e.Attr, c.attr) << c.line;
        EXPECT_EQ(e.Size, c.size) << c.line;
        EXPECT_EQ(e.Month, c.date) << c.line;
        EXPECT_EQ(e.Day, "") << c.line;
        EXPECT_EQ(e.TimeOrYear, c.time) << c.line;
        EXPECT_EQ(e.FileName, c.name) << c.line;
        EXPECT_TRUE(e.Links.empty() && e.Owner.empty() && e.Group.empty());
    }
    // "." and ".." and summary lines never become entries.
    const auto list = Parse("01-31-02  10:15AM       <DIR>          .\r\n"
                            "01-31-02  10:15AM       <DIR>          ..\r\n"
                            "01-31-02  10:15AM       <DIR>          sub\r\n"
                            "               2 Dir(s)  1,024 bytes free\r\n"
                            "\r\n");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].FileName, "sub");
    // The format follows the first line: a UNIX listing led by a digit is read as DOS.
    EXPECT_TRUE(Parse("1 entry\n-rw-r--r-- 1 u g 1 Jan 5 2001 a\n").empty());
}

TEST(DirListing, AppendsAndToleratesNothing)
{
    std::vector<TDirAnalyze> list(1);
    ParseDirListing(static_cast<const char*>(nullptr), list);
    ParseDirListing("", list);
    ParseDirListing("-rw-r--r-- 1 u g 1 Jan 5 2001 a", list);
    EXPECT_EQ(list.size(), 2u);
}

TEST(DirListing, OneLineAppendsGrowTheListGeometrically)
{
    // A listing fed a line at a time must not move the whole list on each call.
    std::vector<TDirAnalyze> list;
    int moves = 0;
    for (int i = 0; i < 4000; ++i) {
        const TDirAnalyze* before = list.data();
        ParseDirListing("-rw-r--r-- 1 u g 1 Jan 5 2001 f" + std::to_string(i) + "\r\n", list);
        if (list.data() != before) ++moves;
    }
    ASSERT_EQ(list.size(), 4000u);
    EXPECT_EQ(list[3999].FileName, "f3999");
    EXPECT_LT(moves, 40);
}

TEST(DirListing, SizesNeverRaise)
{
    struct Case { const char* text; std::int64_t value; };
    const Case cases[] = {
        {"0", 0}, {"1024", 1024}, {"1,234,567", 1234567}, {" 42 ", 42},
        {"5000000000", 5000000000LL}, {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", 0}, {"18446744073709551616", 0},
        {"", 0}, {"-5", 0}, {"12k", 0}, {"<DIR>", 0}, {"Jan", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ListingSizeToInt64(c.text), c.value) << c.text;
}

#include "client/engine/FileListSort.h"

#include <gtest/gtest.h>

namespace {

std::time_t At(int year, int month, int day)
{
    std::tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::vector<TlvFileInfo> Rows()
{
    return {
        {"b.txt", "1,000", "2001 Jan 5", "-rw-r--r--", 1, false},
        {"..", "", "", "", -1, true},
        {"A.doc", "20", "10:00 Mar 3", "-rw-r--r--", 1, false},
        {"sub", "4,096", "2020 Feb 1", "drwxr-xr-x", 2, true},
        {"c.TXT", "5,000,000,000", "12:00 Mar 3", "-rw-r--r--", 1, false},
        {"a.txt", "20", "2001 Jan 5", "-rw-r--r--", 1, false},
    };
}

std::string Names(const std::vector<TlvFileInfo>& rows)
{
    std::string out;
    for (const auto& r : rows) out += (out.empty() ? "" : " ") + r.Name;
    return out;
}

} // namespace

TEST(FileListSort, ColumnsDirectionsAndFolders)
{
    const std::time_t now = At(2026, 6, 1);
    struct Case { int column; bool ascending; bool dirsFirst; const char* order; };
    const Case cases[] = {
        {0, true, false, ".. A.doc a.txt b.txt c.TXT sub"},
        {0, false, false, ".. sub c.TXT b.txt a.txt A.doc"},
        {0, true, true, ".. sub A.doc a.txt b.txt c.TXT"},
        {0, false, true, ".. sub c.TXT b.txt a.txt A.doc"},
        {1, true, false, ".. A.doc a.txt b.txt sub c.TXT"},  // numbers, not texts
        {1, false, false, ".. c.TXT sub b.txt A.doc a.txt"},
        {2, true, false, ".. b.txt a.txt sub A.doc c.TXT"},
        {3, true, false, ".. sub A.doc b.txt c.TXT a.txt"},  // extensions ignoring case, ties in order
    };
    for (const auto& c : cases) {
        auto rows = Rows();
        SortFileList(rows, c.ascending, c.column, c.dirsFirst, now);
        EXPECT_EQ(Names(rows), c.order) << c.column << " " << c.ascending << " " << c.dirsFirst;
    }
    // The pointer form, as panes hold their rows, gives the same order.
    auto rows = Rows();
    std::vector<TlvFileInfo*> pointers;
    for (auto& r : rows) pointers.push_back(&r);
    SortFileList(pointers, false, 1, false, now);
    EXPECT_EQ(pointers.front()->Name, "..");
    EXPECT_EQ(pointers[1]->Name, "c.TXT");
}

TEST(FileListSort, DateKeys)
{
    const std::time_t now = At(2026, 6, 1);
    struct Case { const char* text; const char* key; };
    const Case cases[] = {
        {"2001 Jan 5", "20010105"},
        {"12:00 Mar 3", "2026030312:00"},
        {"12:00 Jun 2", "2026060212:00"},  // tomorrow: clocks differ by a day
        {"12:00 Dec 20", "2025122012:00"}, // ahead of today: last year's
        {"12:00 Foo 7", "2026000712:00"},
    };
    for (const auto& c : cases) EXPECT_EQ(ListingDateKey(c.text, now), c.key) << c.text;
    auto [a, b] = ListingDateKey("2001 Jan 5", "09:00 Feb 10", now);
    EXPECT_LT(a, b);

    // Local rows ("yy-mm-dd hh:mm") and DOS rows ("hh:mm mm-dd-yy") across centuries.
    std::vector<TlvFileInfo> local = {
        {"new", "1", "03-01-02 10:00", "", 0, false},
        {"old", "1", "99-12-31 23:59", "", 0, false},
        {"mid", "1", "03-01-02 09:00", "", 0, false},
    };
    SortFileList(local, true, 2, false, now);
    EXPECT_EQ(Names(local), "old mid new");
    std::vector<TlvFileInfo> dos = {
        {"b", "1", "22:15 01-31-2002 ", "     ", 0, false},
        {"c", "1", "10:15 12-01-99 ", "     ", 0, false},
        {"a", "1", "10:15 01-31-02 ", "     ", 0, false},
        {"d", "1", "09:00 02-01-02 ", "     ", 0, false},
    };
    SortFileList(dos, true, 2, false, now);
    EXPECT_EQ(Names(dos), "c a b d");
}

TEST(FileListSort, KeepsEqualRowsInOrder)
{
    std::vector<TlvFileInfo> rows;
    for (int i = 0; i < 1000; ++i) rows.push_back({std::to_string(i), i % 2 ? "10" : "20", "", "", 0, false});
    SortFileList(rows, true, 1, true);
    for (int i = 0; i < 500; ++i) {
        EXPECT_EQ(rows[std::size_t(i)].Name, std::to_string(2 * i + 1));
        EXPECT_EQ(rows[std::size_t(500 + i)].Name, std::to_string(2 * i));
    }
}

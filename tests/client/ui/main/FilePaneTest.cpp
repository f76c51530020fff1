// The pane rows without a screen: filters, sorting, searches, local and
// remote entries.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "client/engine/DirListing.h"
#include "client/ui/main/FilePane.h"
#include "client/ui/main/LocalPane.h"
#include "client/ui/main/PaneActions.h"
#include "client/ui/main/RemotePane.h"
#include "tests/support/TestSupport.h"

namespace {
TlvFileInfo File(std::string name, std::string size = "1") { return {std::move(name), std::move(size), "", "", 0, false}; }
TlvFileInfo Dir(std::string name) { return {std::move(name), "", "", "", 0, true}; }
TlvFileInfo Up() { return {"..", "", "", "", -1, true}; }

std::vector<std::string> Names(const TFilePane& p)
{
    std::vector<std::string> out;
    for (int i = 0; i < p.RowCount(); ++i) out.push_back(p.Row(i).Name);
    return out;
}
} // namespace

TEST(FilePane, WildcardsAndFilters)
{
    struct Case { const char* pattern; const char* text; bool match; };
    for (const Case& c : {Case{"*b*", "abc", true}, Case{"ab*", "abc", true}, Case{"ab*", "cab", false},
                          Case{"*", "", true}, Case{"abc", "ABC", true}, Case{"a*c*e", "abcde", true},
                          Case{"a*c*e", "abcd", false}, Case{"", "", true}, Case{"", "x", false}})
        EXPECT_EQ(WildcardMatch(c.pattern, c.text), c.match) << c.pattern << " " << c.text;

    TFilePane p;
    p.SetFiles({Up(), Dir("sub"), File("a.txt"), File("README"), File("b.dat"), File("abc"), File(".hidden")});
    struct Filter { const char* filter; std::vector<std::string> rows; };
    for (const Filter& f : {Filter{"*.txt", {"..", "sub", "a.txt"}},
                            Filter{"*", {"..", "sub", "abc", "README"}},
                            Filter{"*.*", {"..", "sub", ".hidden", "a.txt", "abc", "b.dat", "README"}},
                            Filter{"", {"..", "sub"}},
                            Filter{"*b*", {"..", "sub", "abc"}}}) {
        p.Filter = f.filter;
        p.ShowRows();
        EXPECT_EQ(Names(p), f.rows) << f.filter;
    }
    // With folders filtered too only ".." is kept of them.
    p.Filter = "*.txt";
    p.FilterFolders = true;
    p.ShowRows();
    EXPECT_EQ(Names(p), (std::vector<std::string>{"..", "a.txt"}));
}

TEST(FilePane, SortingKeepsParentFirstAndFoldersOnTop)
{
    TFilePane p;
    p.SetFiles({File("b", "5,000,000,000"), Dir("z"), Up(), File("a", "20"), Dir("c"), File("c.zip", "3")});
    EXPECT_EQ(Names(p), (std::vector<std::string>{"..", "c", "z", "a", "b", "c.zip"}));
    p.Sort(0); // same key again: descending
    EXPECT_EQ(Names(p), (std::vector<std::string>{"..", "z", "c", "c.zip", "b", "a"}));
    p.Sort(1); // a new key: ascending; sizes beyond 32 bits order as numbers, equal rows keep their order
    EXPECT_EQ(Names(p), (std::vector<std::string>{"..", "z", "c", "c.zip", "a", "b"}));
    p.DirectoryOnTop = false;
    p.Sort(1);
    EXPECT_EQ(Names(p).front(), "..");
    EXPECT_EQ(Names(p)[1], "b");
    // 64-bit totals; an unknown size counts as 0.
    p.SetFiles({Up(), Dir("d"), File("big", "5,000,000,000"), File("odd", "n/a"), File("s", "1")});
    EXPECT_EQ(p.StatusText(), "1 folder(s) 3 file(s) 5,000,000,001 byte(s) listed");
}

TEST(FilePane, TypingFindAndGroupSelect)
{
    TFilePane p;
    p.SetFiles({Up(), File("alpha"), File("Report.txt"), File("readme"), File("zeta")});
    // rows: .., alpha, readme, Report.txt, zeta
    EXPECT_EQ(p.FindPrefix("re", 0), 2);
    EXPECT_EQ(p.FindPrefix("RE", 3), 3);
    EXPECT_EQ(p.FindPrefix("re", 4), -1);
    EXPECT_EQ(p.FindPrefix("q", 0), -1);
    p.FindText = "EA";
    p.FindStart = 0;
    EXPECT_EQ(p.FindNext(), 2);
    EXPECT_EQ(p.FindNext(), -1);
    const auto picked = p.GroupSelect("*.txt");
    EXPECT_EQ(picked, (std::vector<bool>{false, false, false, true, false}));
}

TEST(FilePane, RemoteRowsCutOnlyLinksAtTheArrow)
{
    const std::string text =
        "drwxr-xr-x 2 u g 4096 Jan 01 2020 pub\r\n"
        "lrwxrwxrwx 1 u g 12 Jan 01 2020 www -> /var/www\r\n"
        "-rw-r--r-- 1 u g 5000000000 Feb 02 10:00 a -> b\r\n"
        "-rw-r--r-- 1 u g 7 Feb 02 10:00 plain.txt\r\n";
    std::vector<TDirAnalyze> listing;
    ParseDirListing(text, listing);
    struct Case { bool showLink, resolve; std::vector<std::pair<std::string, bool>> rows; };
    for (const Case& c : {Case{true, false, {{"..", true}, {"pub", true}, {"www", true}, {"a -> b", false}, {"plain.txt", false}}},
                          Case{true, true, {{"..", true}, {"pub", true}, {"www", false}, {"a -> b", false}, {"plain.txt", false}}},
                          Case{false, false, {{"..", true}, {"pub", true}, {"a -> b", false}, {"plain.txt", false}}}}) {
        const auto rows = RemoteEntries(listing, c.showLink, c.resolve);
        std::vector<std::pair<std::string, bool>> got;
        for (const auto& r : rows) got.emplace_back(r.Name, r.IsDir);
        EXPECT_EQ(got, c.rows);
    }
    const auto rows = RemoteEntries(listing, true, false);
    EXPECT_EQ(rows[3].Size, "5,000,000,000");
    EXPECT_EQ(rows[3].DateTime, "10:00 Feb 02");
    EXPECT_EQ(rows[1].Attr, "drwxr-xr-x");
}

TEST(FilePane, LocalRowsHaveSixtyFourBitSizesAndHideDotFiles)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("panes-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "sub");
    testsupport::WriteFile((dir / ".dot").string(), "x");
    testsupport::WriteFile((dir / "small").string(), "abc");
    { std::ofstream big(dir / "big"); }
    fs::resize_file(dir / "big", (std::uintmax_t(1) << 32) + 5); // sparse
    auto rows = ListLocalEntries(dir.string() + "/", false);
    std::map<std::string, TlvFileInfo> byName;
    for (const auto& r : rows) byName[r.Name] = r;
    EXPECT_EQ(byName.count(".dot"), 0u);
    ASSERT_EQ(byName.count(".."), 1u);
    EXPECT_EQ(byName["big"].Size, "4,294,967,301");
    EXPECT_EQ(byName["small"].Size, "3");
    EXPECT_TRUE(byName["sub"].IsDir);
    EXPECT_EQ(byName["small"].DateTime.size(), 14u); // yy-mm-dd hh:mm
    rows = ListLocalEntries(dir.string(), true);
    EXPECT_EQ(rows.size(), 5u);
    EXPECT_TRUE(ListLocalEntries((dir / "missing").string(), true).empty());
    fs::remove_all(dir);

    for (const char* bad : {"", ".", "..", "a/b", "../x"}) EXPECT_FALSE(IsSafeLocalName(bad)) << bad;
    EXPECT_TRUE(IsSafeLocalName("..a"));
}

TEST(FilePane, LocalActionsRefuseToReplaceAndNeverLeaveTheFolder)
{
    namespace fs = std::filesystem;
    testsupport::TempDir tmp;
    const std::string dir = tmp.path() + "/";
    testsupport::WriteFile(dir + "a.txt", "a");
    testsupport::WriteFile(dir + "b.txt", "b");
    EXPECT_EQ(LocalMakeDir(dir, "sub"), "");
    EXPECT_TRUE(fs::is_directory(dir + "sub"));
    EXPECT_NE(LocalMakeDir(dir, "sub"), "");
    EXPECT_NE(LocalMakeDir(dir, "../out"), "");
    // Rename onto an existing name is refused; the file there stays.
    EXPECT_NE(LocalRename(dir, "a.txt", "b.txt"), "");
    EXPECT_EQ(testsupport::ReadFile(dir + "b.txt"), "b");
    EXPECT_NE(LocalRename(dir, "..", "x"), "");
    EXPECT_EQ(LocalRename(dir, "a.txt", "c.txt"), "");
    EXPECT_EQ(testsupport::ReadFile(dir + "c.txt"), "a");
    // Move: every name, a relative target resolved against the folder.
    EXPECT_EQ(LocalMove(dir, {"b.txt", "c.txt", ".."}, "sub"), "");
    EXPECT_EQ(testsupport::ReadFile(dir + "sub/b.txt"), "b");
    EXPECT_EQ(testsupport::ReadFile(dir + "sub/c.txt"), "a");
    testsupport::WriteFile(dir + "b.txt", "new");
    EXPECT_NE(LocalMove(dir, {"b.txt"}, dir + "sub"), "");
    EXPECT_EQ(testsupport::ReadFile(dir + "sub/b.txt"), "b");
    EXPECT_EQ(LocalMove(dir, {"b.txt"}, ""), "") << "no target: nothing moves";
    EXPECT_TRUE(fs::exists(dir + "b.txt"));
    // Across file systems (/dev/shm is a tmpfs of its own where there is one).
    char shm[] = "/dev/shm/panes-XXXXXX";
    if (fs::is_directory("/dev/shm") && ::mkdtemp(shm)) {
        EXPECT_EQ(LocalMove(dir, {"sub"}, shm), "");
        EXPECT_EQ(testsupport::ReadFile(std::string(shm) + "/sub/c.txt"), "a");
        EXPECT_FALSE(fs::exists(dir + "sub"));
        fs::remove_all(shm);
    }
    // Delete goes to the trash, not away.
    const std::string data = tmp.path() + "/data";
    fs::create_directories(data);
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    EXPECT_EQ(LocalDelete(dir, {"b.txt"}), "");
    EXPECT_FALSE(fs::exists(dir + "b.txt"));
}

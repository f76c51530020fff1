#include <gtest/gtest.h>

#include <sys/stat.h>

#include "client/engine/ConnBook.h"
#include "tests/support/TestSupport.h"

using namespace connbook;

namespace {

std::size_t SiteAt(int slot, std::size_t field) { return kSitesOffset + std::size_t(slot - 1) * kRecordSize + field; }

std::string Bytes(const std::string& book, std::size_t offset, std::size_t n) { return book.substr(offset, n); }

std::string Z(std::size_t n) { return std::string(n, '\0'); }

// Writes a record the way the layout describes it, independently of the codec.
void PutRecord(std::string& book, int slot, std::int32_t folder, const std::string& name, const std::string& addr)
{
    std::size_t at = SiteAt(slot, 0);
    for (int i = 0; i < 4; ++i) book[at + i] = char((std::uint32_t(folder) >> (8 * i)) & 0xFF);
    book.replace(at + kOffName, name.size(), name);
    book.replace(at + kOffAddr, addr.size(), addr);
}

TConnBookData TwoFolders()
{
    TConnBookData d;
    d.FolderNames[0] = "Work";
    d.FolderNames[1] = "Home";
    d.Sites[0] = {1, "alpha", "a.example", "21", "ann", "pw1", "first\r\nline"};
    d.Sites[1] = {1, "beta", "b.example", "2121", "bob", "pw2", ""};
    d.Sites[2] = {2, "gamma", "g.example", "21", "anonymous", "x@y", "m"};
    return d;
}

TEST(ConnBookCodec, LayoutOffsetsAndZeroFill)
{
    std::string book = TwoFolders().Encode();
    ASSERT_EQ(book.size(), 210500u);
    struct Case { std::size_t offset; std::string bytes; };
    const Case cases[] = {
        {0, "Work" + Z(46)},
        {50, "Home" + Z(46)},
        {100, Z(50)}, // third folder slot empty: ends the list
        {SiteAt(1, 0), std::string("\x01\0\0\0", 4)},
        {SiteAt(1, 4), "alpha" + Z(45)},
        {SiteAt(1, 54), "a.example" + Z(41)},
        {SiteAt(1, 104), "21" + Z(8)},
        {SiteAt(1, 114), "ann" + Z(47)},
        {SiteAt(1, 164), "pw1" + Z(47)},
        {SiteAt(1, 214), "first\r\nline" + Z(191)},
        {SiteAt(2, 104), "2121" + Z(6)},
        {SiteAt(3, 0), std::string("\x02\0\0\0", 4)},
        {SiteAt(4, 0), Z(416)},
        {SiteAt(500, 0), Z(416)},
    };
    for (const auto& c : cases) EXPECT_EQ(Bytes(book, c.offset, c.bytes.size()), c.bytes) << "offset " << c.offset;
}

TEST(ConnBookCodec, FieldsAreCutAtTheirLimitsOnACharacterBoundary)
{
    TConnBookData d;
    d.FolderNames[0] = std::string(60, 'F');
    // 48 ASCII bytes then a two-byte character: the character does not fit in 49.
    std::string name = std::string(48, 'n') + "\xC3\xA9" + "tail";
    d.Sites[0] = {1, name, std::string(80, 'a'), "123456789012", std::string(50, 'u'), std::string(49, 'p'),
                  std::string(300, 'm')};
    std::string book = d.Encode();
    struct Case { std::size_t offset, kept, size; char fill; };
    const Case cases[] = {
        {0, 49, 50, 'F'},
        {SiteAt(1, kOffAddr), 49, 50, 'a'},
        {SiteAt(1, kOffPort), 9, 10, 0},
        {SiteAt(1, kOffUser), 49, 50, 'u'},
        {SiteAt(1, kOffPass), 49, 50, 'p'},
        {SiteAt(1, kOffMemo), 200, 202, 'm'},
    };
    for (const auto& c : cases) {
        std::string field = Bytes(book, c.offset, c.size);
        if (c.fill) {
            EXPECT_EQ(field.substr(0, c.kept), std::string(c.kept, c.fill)) << c.offset;
        }
        EXPECT_EQ(field.substr(c.kept), Z(c.size - c.kept)) << "terminator and zero fill at " << c.offset;
    }
    EXPECT_EQ(Bytes(book, SiteAt(1, kOffPort), 9), "123456789");
    EXPECT_EQ(Bytes(book, SiteAt(1, kOffName), 50), std::string(48, 'n') + Z(2));

    TConnBookData back;
    back.Decode(book);
    EXPECT_EQ(back.Sites[0].Name, std::string(48, 'n'));
    EXPECT_EQ(back.Sites[0].Memo, std::string(200, 'm'));
    EXPECT_EQ(back.Encode(), book);
}

TEST(ConnBookCodec, FitFieldKeepsWholeCharacters)
{
    struct Case { std::string text; std::size_t max; std::string want; };
    const Case cases[] = {
        {"abc", 5, "abc"},
        {"abcdef", 3, "abc"},
        {"ab\xE2\x82\xAC", 4, "ab"},          // three-byte character, one byte short
        {"ab\xE2\x82\xAC", 5, "ab\xE2\x82\xAC"},
        {"\xF0\x9F\x98\x80x", 3, ""},
        {std::string("a\0b", 3), 5, "a"},       // an embedded zero ends the text
    };
    for (const auto& c : cases) EXPECT_EQ(FitField(c.text, c.max), c.want) << c.text;
}

TEST(ConnBookCodec, ReadsFieldsWithoutTerminatorAndCRLFTextAsStored)
{
    std::string book(kBookSize, '\0');
    book.replace(0, 50, std::string(50, 'x')); // a folder slot full to the last byte
    PutRecord(book, 1, 1, std::string(50, 'y'), "host");
    TConnBookData d;
    d.Decode(book);
    EXPECT_EQ(d.FolderNames[0], std::string(50, 'x'));
    EXPECT_EQ(d.Sites[0].Name, std::string(50, 'y'));
    EXPECT_EQ(d.Sites[0].Addr, "host");
}

TEST(ConnBookTree, BuildTreeFollowsFoldersAndStopsWhereTheOrderBreaks)
{
    struct Case {
        const char* what;
        std::vector<std::string> folders;
        std::vector<std::int32_t> siteFolders;
        std::vector<std::vector<int>> want; // site slots per folder
    };
    const Case cases[] = {
        {"grouped", {"A", "B"}, {1, 1, 2}, {{1, 2}, {3}}},
        {"empty first folder slot", {"", "B"}, {1, 2}, {}},
        {"site outside any folder ends the listing", {"A", "B"}, {1, 3, 2}, {{1}, {}}},
        {"negative index", {"A"}, {-1, 1}, {{}}},
        {"gap in the sites", {"A"}, {1, 0, 1}, {{1}}},
    };
    for (const auto& c : cases) {
        TConnBookData d;
        for (std::size_t f = 0; f < c.folders.size(); ++f) d.FolderNames[f] = c.folders[f];
        for (std::size_t i = 0; i < c.siteFolders.size(); ++i)
            d.Sites[i] = {c.siteFolders[i], "s" + std::to_string(i + 1), "", "", "", "", ""};
        TBookTree t = d.BuildTree();
        ASSERT_EQ(t.Folders.size(), c.want.size()) << c.what;
        for (std::size_t f = 0; f < c.want.size(); ++f) {
            std::vector<std::string> names;
            for (int s : c.want[f]) names.push_back("s" + std::to_string(s));
            EXPECT_EQ(t.Folders[f].Sites, names) << c.what;
        }
    }
}

TEST(ConnBookTree, DamagedBookNeverRunsPastTheArrays)
{
    std::string book(kBookSize, '\0');
    for (std::size_t f = 0; f < kFolderCount; ++f) book.replace(f * 50, 50, std::string(50, char('A' + f % 26)));
    for (int i = 1; i <= int(kSiteCount); ++i) PutRecord(book, i, 50, "s", "h");
    TConnBookData d;
    d.Decode(book);
    TBookTree t = d.BuildTree();
    ASSERT_EQ(t.Folders.size(), 50u);
    EXPECT_EQ(t.Folders[0].Sites.size(), 0u);
    // Every site in the last folder: the listing stops at the end of the array.
    EXPECT_EQ(t.Folders[49].Sites.size(), 500u);
    // Duplicate names in the damaged book keep their own records through a rebuild.
    for (int i = 1; i <= 2; ++i) PutRecord(book, i, 1, "dup", i == 1 ? "one" : "two");
    d.Decode(book);
    TRebuildRequest rq;
    d.RebuildArrays(d.BuildTree(), rq);
    EXPECT_EQ(d.Sites[0].Addr, "one");
    EXPECT_EQ(d.Sites[1].Addr, "two");
    // A short file reads as far as it goes.
    TConnBookData s;
    s.Decode(book.substr(0, 2500 + 416 + 54));
    EXPECT_EQ(s.Sites[0].Name, "dup");
    EXPECT_EQ(s.Sites[1].Name, "dup");
    EXPECT_EQ(s.Sites[1].Addr, ""); // the address lies beyond the cut
    EXPECT_EQ(s.Sites[2].FolderIndex, 0);
}

TEST(ConnBookTree, RebuildRegroupsCarriesFieldsAndRenames)
{
    TConnBookData d = TwoFolders();
    const std::string before = d.Encode();
    struct Case {
        const char* what;
        TBookTree tree;
        TRebuildRequest rq;
        std::vector<std::string> folders;
        std::vector<SiteBookRecord> sites;
        int current;
    };
    const SiteBookRecord alpha = d.Sites[0], beta = d.Sites[1], gamma = d.Sites[2];
    auto in = [](SiteBookRecord s, std::int32_t f) { s.FolderIndex = f; return s; };
    auto named = [](SiteBookRecord s, std::string n) { s.Name = std::move(n); return s; };
    TRebuildRequest sel; sel.SelectedFolder = 1; sel.SelectedSite = 0;
    TRebuildRequest siteRename; siteRename.RenameOldName = "beta"; siteRename.RenameNewName = "b2"; siteRename.RenameFolder = "Work";
    TRebuildRequest folderRename; folderRename.RenameOldName = "Work"; folderRename.RenameNewName = "Job"; folderRename.RenameIsFolder = true;
    TRebuildRequest find; find.FindByAddress = true; find.FindAddress = "g.example";
    const Case cases[] = {
        {"unchanged", {{{"Work", {"alpha", "beta"}}, {"Home", {"gamma"}}}}, sel, {"Work", "Home"}, {alpha, beta, gamma}, 3},
        {"folders swapped", {{{"Home", {"gamma"}}, {"Work", {"alpha", "beta"}}}}, {}, {"Home", "Work"},
         {in(gamma, 1), in(alpha, 2), in(beta, 2)}, 0},
        {"site renamed keeps its fields", {{{"Work", {"alpha", "beta"}}, {"Home", {"gamma"}}}}, siteRename,
         {"Work", "Home"}, {alpha, named(beta, "b2"), gamma}, 0},
        {"folder renamed keeps its sites", {{{"Work", {"alpha", "beta"}}, {"Home", {"gamma"}}}}, folderRename,
         {"Job", "Home"}, {alpha, beta, gamma}, 0},
        {"folder deleted", {{{"Home", {"gamma"}}}}, {}, {"Home"}, {in(gamma, 1)}, 0},
        {"new site starts empty", {{{"Work", {"alpha", "new"}}}}, {}, {"Work"},
         {alpha, SiteBookRecord{1, "new", "", "", "", "", ""}}, 0},
        {"site moved to a folder of another name loses nothing else", {{{"Work", {"alpha"}}, {"Home", {"gamma"}}}},
         find, {"Work", "Home"}, {alpha, in(gamma, 2)}, 2},
    };
    for (auto c : cases) {
        TConnBookData x;
        x.Decode(before);
        TRebuildResult r = x.RebuildArrays(c.tree, c.rq);
        for (std::size_t f = 0; f < kFolderCount; ++f)
            EXPECT_EQ(x.FolderNames[f], f < c.folders.size() ? c.folders[f] : "") << c.what << " folder " << f;
        for (std::size_t i = 0; i < kSiteCount; ++i)
            EXPECT_EQ(x.Sites[i], i < c.sites.size() ? c.sites[i] : SiteBookRecord{}) << c.what << " site " << i;
        EXPECT_EQ(r.CurrentSite, c.current) << c.what;
        EXPECT_TRUE(c.rq.RenameNewName.empty()) << c.what;
    }
}

TEST(ConnBookFile, SaveWritesWholeOwnerOnlyAndCopiesReplaceAsOneStep)
{
    testsupport::TempDir dir;
    const std::string book = dir / "book20.dat", backup = dir / "book20_.dat";
    TConnBookData d = TwoFolders();
    d.SaveToFile(book);
    EXPECT_EQ(testsupport::ReadFile(book), d.Encode());
    struct stat st {};
    ASSERT_EQ(::stat(book.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);

    ASSERT_TRUE(CopyBookFile(book, backup));
    EXPECT_EQ(testsupport::ReadFile(backup), testsupport::ReadFile(book));
    EXPECT_FALSE(CopyBookFile(dir / "missing.dat", backup));
    EXPECT_EQ(testsupport::ReadFile(backup), d.Encode()); // a failed copy leaves the old file

    TConnBookData back;
    back.LoadFromFile(book);
    EXPECT_EQ(back.Encode(), d.Encode());
    EXPECT_THROW(back.LoadFromFile(dir / "missing.dat"), std::exception);
}

TEST(ConnBookText, StripCRTakesLineEndsOfOtherSystems)
{
    EXPECT_EQ(StripCR("host.example\r"), "host.example");
    EXPECT_EQ(StripCR("a\r\n"), "a");
    EXPECT_EQ(StripCR("a b"), "a b");
}

} // namespace

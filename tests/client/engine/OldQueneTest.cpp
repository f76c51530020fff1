#include "client/engine/OldQuene.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "rtl/IniFile.h"
#include "tests/support/TestSupport.h"

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

TOldQuene Sample(const std::string& when)
{
    TOldQuene q;
    q.DateTime = when;
    q.Host = {"ftp.example.org", "21", "me", "pa,ss\\word"};
    // Two parts of one split file past 4 GiB, and an upload.
    q.Items.push_back({true, "/pub/big.iso", "/home/me/big.iso", 6000000000LL, 2147483648LL, 3000000000LL, false});
    q.Items.push_back({true, "/pub/big.iso", "/home/me/big.iso", 6000000000LL, 4294967296LL + 5, 6000000000LL, false});
    q.Items.push_back({false, "/up/a.txt", "/home/me/a.txt", 10, -1, 10, false});
    return q;
}

} // namespace

TEST(OldQuene, RoundTripKeepsPositionsPastTwoGiB)
{
    TempDir dir;
    const std::string file = dir / "oldquene.ini";
    std::vector<TOldQuene> lists = {Sample("2026-12-10 09:00:00"), Sample("2026-12-10 10:00:00")};
    lists[1].Items.resize(1);
    SaveOldQuenes(file, lists, {});

    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u); // it holds passwords

    rtl::TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("Count", "Count", ""), "2");
    EXPECT_EQ(ini.ReadString("1", "2BeginPos", ""), "4294967301");
    EXPECT_EQ(ini.ReadString("1", "3IsDownload", ""), "0");
    EXPECT_EQ(ini.ReadString("1", "3BeginPos", ""), "-1");
    EXPECT_EQ(ini.ReadString("2", "OldQueneCount", ""), "1");

    std::vector<TOldQuene> loaded;
    LoadOldQuenes(file, loaded);
    ASSERT_EQ(loaded.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(loaded[i].DateTime, lists[i].DateTime);
        EXPECT_EQ(loaded[i].Host, lists[i].Host);
        EXPECT_EQ(loaded[i].Items, lists[i].Items);
    }
}

TEST(OldQuene, PathsWithBlanksAtTheEndsResumeTheSameFile)
{
    TempDir dir;
    const std::string file = dir / "oldquene.ini";
    TOldQuene q = Sample("2026-12-10 11:00:00");
    q.Host.PassWord = " pass ";
    q.Items[0].HostPath = "/pub/trailing space ";
    q.Items[0].LocalPath = "/home/me/trailing space ";
    q.Items[2].HostPath = "\"/up/quoted\"";
    std::vector<TOldQuene> lists = {q};
    SaveOldQuenes(file, lists, {});

    std::vector<TOldQuene> loaded;
    LoadOldQuenes(file, loaded);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].Host, q.Host);
    EXPECT_EQ(loaded[0].Items, q.Items);
    EXPECT_EQ(BrokenQueueNodeTexts(loaded[0]).Downloads,
              (std::vector<std::string>{"/pub/trailing space ", "/pub/big.iso"}));
}

TEST(OldQuene, SaveMergesOtherCopiesAndForgetsRemovedLists)
{
    TempDir dir;
    const std::string file = dir / "oldquene.ini";
    std::vector<TOldQuene> first = {Sample("A"), Sample("B"), Sample("C")};
    SaveOldQuenes(file, first, {});

    // This session loaded A, B, C, resumed B and deleted C, and made D;
    // meanwhile another running copy wrote E into the file.
    {
        rtl::TIniFile ini(file);
        TOldQuene e = Sample("E");
        e.Host.HostName = "other.example.org";
        WriteOldQuene(ini, 4, e);
        ini.WriteInteger("Count", "Count", 4);
        ini.UpdateFile();
    }
    std::vector<TOldQuene> session = {Sample("A"), Sample("D")};
    SaveOldQuenes(file, session, {OldQueneKey(Sample("B")), OldQueneKey(Sample("C"))});

    std::vector<TOldQuene> loaded;
    LoadOldQuenes(file, loaded);
    std::vector<std::string> when;
    for (const auto& q : loaded) when.push_back(q.DateTime);
    EXPECT_EQ(when, (std::vector<std::string>{"A", "D", "E"}));
    EXPECT_EQ(loaded[2].Host.HostName, "other.example.org");
    EXPECT_EQ(session.size(), 3u); // the window's list holds the merged lists too
}

TEST(OldQuene, DamagedAndMissingFiles)
{
    TempDir dir;
    std::vector<TOldQuene> none;
    LoadOldQuenes(dir / "missing.ini", none);
    WriteFile(dir / "zero.ini", "[Count]\nCount=0\n[1]\nDateTime=x\n");
    LoadOldQuenes(dir / "zero.ini", none);
    EXPECT_TRUE(none.empty());

    WriteFile(dir / "damaged.ini",
              "[Count]\nCount=2147483647\n"
              "[1]\nDateTime=d\nHostName=h\nHostPort=21\nUserName=u\nPassWord=\nOldQueneCount=999999999\n"
              "1IsDownload=1\n1HostPath=/a\n1LocalPath=/l/a\n1FileSize=5\n1BeginPos=0\n1EndPos=5\n1IsDir=0\n"
              "2HostPath=/b\n2LocalPath=/home/me/b\n" // half an item: left out
              "3IsDownload=0\n3HostPath=/c\n3LocalPath=/l/c\n3FileSize=0\n3BeginPos=0\n3EndPos=0\n3IsDir=1\n"
              "4IsDownload=0\n4HostPath=/d\n4LocalPath=/l/d\n4FileSize=junk\n4BeginPos=0\n4EndPos=0\n4IsDir=0\n");
    std::vector<TOldQuene> lists;
    LoadOldQuenes(dir / "damaged.ini", lists);
    ASSERT_EQ(lists.size(), 1u);
    const std::vector<TTransferFileInfo> want = {
        {true, "/a", "/l/a", 5, 0, 5, false},
        {false, "/c", "/l/c", 0, 0, 0, true},
    };
    EXPECT_EQ(lists[0].Items, want);
    EXPECT_EQ(lists[0].Host.PassWord, "");
}

TEST(OldQuene, SectionsAndItemsWithGapsBeforeThemAreReadAndTold)
{
    // Lists or items before the survivors are gone (the file was edited, or
    // damaged): what is left up to Count still loads, the gaps are told, and
    // the next save keeps it, once the file is kept aside.
    TempDir dir;
    const std::string file = dir / "oldquene.ini";
    const std::string text = "[Count]\nCount=4\n"
                             "[4]\nDateTime=late\nHostName=h\nHostPort=21\nUserName=u\nPassWord=p\nOldQueneCount=12\n"
                             "12IsDownload=1\n12HostPath=/pub/twelfth\n12LocalPath=/l/twelfth\n12FileSize=9\n"
                             "12BeginPos=3\n12EndPos=9\n12IsDir=0\n"
                             "[9]\nDateTime=beyond Count\n";
    WriteFile(file, text);
    std::vector<TOldQuene> lists;
    std::vector<std::string> damage;
    LoadOldQuenes(file, lists, &damage);
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0].DateTime, "late");
    const std::vector<TTransferFileInfo> want = {{true, "/pub/twelfth", "/l/twelfth", 9, 3, 9, false}};
    EXPECT_EQ(lists[0].Items, want);
    EXPECT_EQ(damage, (std::vector<std::string>{"[Count] Count = 4, but 3 of them are missing",
                                                "1 lists of [Count] lie beyond its Count 4 and are not read",
                                                "[4] OldQueneCount = 12, but 11 of them are missing"}));

    std::vector<TOldQuene> session;
    SaveOldQuenes(file, session, {});
    EXPECT_EQ(ReadFile(file + ".damaged"), text);
    std::vector<TOldQuene> again;
    damage.clear();
    LoadOldQuenes(file, again, &damage);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].Items, want);
    EXPECT_TRUE(damage.empty());
}

TEST(OldQuene, NodeTextsShowEachFileOnce)
{
    const auto t = BrokenQueueNodeTexts(Sample("2026-12-10 09:00:00"));
    EXPECT_EQ(t.Root, "2026-12-10 09:00:00 - Broken");
    EXPECT_EQ(t.HostInfo, (std::vector<std::string>{"HostName = ftp.example.org", "HostPort = 21", "UserName = me"}));
    EXPECT_EQ(t.Downloads, (std::vector<std::string>{"/pub/big.iso"})); // two parts, one node
    EXPECT_EQ(t.Uploads, (std::vector<std::string>{"/up/a.txt"}));
}

TEST(OldQuene, DamageIsNamedAndWhatIsThereSurvivesTheSave)
{
    TempDir dir;
    const std::string file = dir / "oldquene.ini";
    const std::string host = "HostName=h\nHostPort=21\nUserName=u\nPassWord=p\n";
    const auto item = [](const std::string& n, const std::string& down, const std::string& path) {
        return n + "IsDownload=" + down + "\n" + n + "HostPath=" + path + "\n" + n + "LocalPath=/l" + path + "\n" + n +
               "FileSize=1\n" + n + "BeginPos=0\n" + n + "EndPos=1\n" + n + "IsDir=0\n";
    };
    const std::string lists = "[1]\nDateTime=one\n" + host + "OldQueneCount=1\n" + item("1", "1", "/a") +
                              "[2]\nDateTime=two\n" + host + "OldQueneCount=1\n" + item("1", "0", "/b");
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string> dates;
        std::vector<std::string> damage;
    };
    const Case cases[] = {
        {"negative count", "[Count]\nCount=-3\n" + lists, {"one", "two"},
         {"[Count] Count = -3 is out of range; the lists the file holds are read"}},
        {"count not a number", "[Count]\nCount=two\n" + lists, {"one", "two"},
         {"[Count] Count = two is out of range; the lists the file holds are read"}},
        {"lists beyond the count", "[Count]\nCount=1\n" + lists, {"one"},
         {"1 lists of [Count] lie beyond its Count 1 and are not read"}},
        {"item faults",
         "[Count]\nCount=1\n[1]\nDateTime=one\n" + host + "OldQueneCount=-1\n" + item("3", "1", "/c") +
             "1IsDownload=1\n1HostPath=/a\n1LocalPath=/l/a\n1FileSize=junk\n1BeginPos=-1\n1EndPos=1\n1IsDir=0\n"
             "2HostPath=/nodirection\n",
         {"one"},
         {"[1] OldQueneCount = -1 is out of range; the items the file holds are read",
          "[1] 2 items are not whole and are not read; item 1: 1FileSize = junk is not a number"}},
        {"sound", "[Count]\nCount=2\n" + lists, {"one", "two"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(file, c.text);
        std::vector<TOldQuene> loaded;
        std::vector<std::string> damage;
        LoadOldQuenes(file, loaded, &damage);
        std::vector<std::string> dates;
        for (const auto& q : loaded) dates.push_back(q.DateTime);
        EXPECT_EQ(dates, c.dates);
        EXPECT_EQ(damage, c.damage);
        // The save at exit keeps every list that was read.
        std::vector<TOldQuene> session;
        SaveOldQuenes(file, session, {});
        std::vector<TOldQuene> again;
        LoadOldQuenes(file, again);
        EXPECT_EQ(again.size(), c.dates.size());
    }
    // A begin position of -1 (the whole file) is no damage.
    WriteFile(file, "[Count]\nCount=1\n[1]\nDateTime=one\n" + host +
                        "OldQueneCount=1\n1IsDownload=0\n1HostPath=/a\n1LocalPath=/l/a\n1FileSize=1\n1BeginPos=-1\n"
                        "1EndPos=1\n1IsDir=0\n");
    std::vector<TOldQuene> loaded;
    std::vector<std::string> damage;
    LoadOldQuenes(file, loaded, &damage);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].Items.at(0).BeginPos, -1);
    EXPECT_TRUE(damage.empty());
}

namespace {

std::vector<std::string> DateTimes(const std::string& file)
{
    std::vector<TOldQuene> loaded;
    LoadOldQuenes(file, loaded);
    std::vector<std::string> when;
    for (const auto& q : loaded) when.push_back(q.DateTime);
    return when;
}

} // namespace

// One list put in or taken out, the others kept in their order.
TEST(OldQuene, StoreReplacesAddsAndRemovesOneList)
{
    TempDir dir;
    const std::string file = dir / "oldquene.ini";
    std::vector<TOldQuene> first = {Sample("A"), Sample("B"), Sample("C")};
    SaveOldQuenes(file, first, {});

    TOldQuene b = Sample("B");
    b.Items.resize(1);
    b.Items[0].BeginPos = 2500000000LL;
    EXPECT_EQ(StoreOldQuene(file, b, TOldQueneStore::Replace), "B");
    EXPECT_EQ(DateTimes(file), (std::vector<std::string>{"A", "B", "C"}));
    std::vector<TOldQuene> loaded;
    LoadOldQuenes(file, loaded);
    EXPECT_EQ(loaded[1].Items, b.Items);
    EXPECT_EQ(loaded[0].Items, Sample("A").Items);

    // A new list of an identity already there gets a DateTime of its own.
    EXPECT_EQ(StoreOldQuene(file, Sample("C"), TOldQueneStore::New), "C (2)");
    EXPECT_EQ(StoreOldQuene(file, Sample("C"), TOldQueneStore::New), "C (3)");
    TOldQuene other = Sample("C");
    other.Host.UserName = "someone else";
    EXPECT_EQ(StoreOldQuene(file, other, TOldQueneStore::New), "C");
    EXPECT_EQ(DateTimes(file), (std::vector<std::string>{"A", "B", "C", "C (2)", "C (3)", "C"}));

    EXPECT_EQ(StoreOldQuene(file, Sample("B"), TOldQueneStore::Remove), "B");
    EXPECT_EQ(StoreOldQuene(file, Sample("nothing"), TOldQueneStore::Remove), "nothing");
    EXPECT_EQ(DateTimes(file), (std::vector<std::string>{"A", "C", "C (2)", "C (3)", "C"}));
    rtl::TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("Count", "Count", ""), "5");
    EXPECT_FALSE(ini.SectionExists("6"));

    // Taking a list out of a file that is not there makes no file.
    StoreOldQuene(dir / "none.ini", Sample("A"), TOldQueneStore::Remove);
    EXPECT_FALSE(std::filesystem::exists(dir / "none.ini"));
}

// Copies of the program writing the file at the same time lose nothing of
// each other's lists.
TEST(OldQuene, CopiesWritingAtOnceKeepEveryList)
{
    TempDir dir;
    const std::string file = dir / "oldquene.ini";
    constexpr int kCopies = 4, kLists = 15;
    std::vector<pid_t> children;
    for (int c = 0; c < kCopies; ++c) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (int i = 0; i < kLists; ++i) {
                TOldQuene q = Sample("copy " + std::to_string(c) + " list " + std::to_string(i));
                StoreOldQuene(file, q, TOldQueneStore::New);
                // And the journal of a run, rewritten, then gone.
                q.DateTime += " run";
                StoreOldQuene(file, q, TOldQueneStore::New);
                StoreOldQuene(file, q, TOldQueneStore::Replace);
                StoreOldQuene(file, q, TOldQueneStore::Remove);
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto when = DateTimes(file);
    std::sort(when.begin(), when.end());
    std::vector<std::string> want;
    for (int c = 0; c < kCopies; ++c)
        for (int i = 0; i < kLists; ++i) want.push_back("copy " + std::to_string(c) + " list " + std::to_string(i));
    std::sort(want.begin(), want.end());
    EXPECT_EQ(when, want);
}

namespace {

// The text SaveOldQuenes writes for lists.
std::string FileOf(std::vector<TOldQuene> lists)
{
    TempDir dir;
    SaveOldQuenes(dir / "q.ini", lists, {});
    return ReadFile(dir / "q.ini");
}

} // namespace

// What a damaged file loses is only what was damaged: half lists and items
// are never read, and a file is never rewritten before it is kept aside.
TEST(OldQuene, OnlyWholeListsAndItemsOfADamagedFileAreRead)
{
    TempDir dir;
    const std::string file = dir / "oldquene.ini";
    TOldQuene first = Sample("first"), second = Sample("second");
    second.Items[0].IsDir = true;
    const std::string whole = FileOf({first, second});
    const std::size_t secondList = whole.find("[2]");
    const std::size_t secondItem = whole.find("2LocalPath=", whole.find("[1]"));
    ASSERT_NE(secondList, std::string::npos);
    ASSERT_NE(secondItem, std::string::npos);
    std::string junkOverHeader = whole;
    junkOverHeader.replace(secondList - 1, 5, "\x93\x01\xfe\xa7\x13"); // over "\n[2]\n"
    std::string randomBytes;
    for (int i = 0; i < 4096; ++i) randomBytes += char((i * 2654435761u) >> 13);
    std::string oneSection = whole.substr(0, secondList);

    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string> dates;
        std::size_t firstItems; // items of the first list read
    };
    const Case cases[] = {
        {"random bytes", randomBytes, {}, 0},
        {"cut inside the second item", whole.substr(0, secondItem + 14), {"first"}, 1},
        {"a count above the lists there", oneSection, {"first"}, 3},
        {"junk over a section header", junkOverHeader, {"first"}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(file, c.text);
        std::filesystem::remove(file + ".damaged");
        std::vector<TOldQuene> loaded;
        std::vector<std::string> damage;
        LoadOldQuenes(file, loaded, &damage);
        EXPECT_FALSE(damage.empty());
        std::vector<std::string> dates;
        for (const auto& q : loaded) dates.push_back(q.DateTime);
        EXPECT_EQ(dates, c.dates);
        if (!loaded.empty()) {
            // The first list's own items, none of the second's folded in.
            ASSERT_EQ(loaded[0].Items.size(), c.firstItems);
            for (std::size_t i = 0; i < c.firstItems; ++i) EXPECT_EQ(loaded[0].Items[i], first.Items[i]);
            EXPECT_EQ(loaded[0].Host, first.Host);
        }

        // No copy can be kept (a folder holds its name): the file stays.
        std::filesystem::create_directory(file + ".damaged");
        std::vector<TOldQuene> session;
        EXPECT_THROW(SaveOldQuenes(file, session, {}), rtl::EIniFileException);
        EXPECT_THROW(StoreOldQuene(file, Sample("new"), TOldQueneStore::New), rtl::EIniFileException);
        EXPECT_EQ(ReadFile(file), c.text);
        // Kept aside, the file is written from what was whole.
        std::filesystem::remove(file + ".damaged");
        SaveOldQuenes(file, session, {});
        EXPECT_EQ(ReadFile(file + ".damaged"), c.text);
        std::vector<TOldQuene> again;
        damage.clear();
        LoadOldQuenes(file, again, &damage);
        EXPECT_EQ(again.size(), c.dates.size());
        EXPECT_TRUE(damage.empty()) << damage.front();
    }
}

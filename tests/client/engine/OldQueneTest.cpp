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
              "[1]\nDateTime=d\nHostName=h\nOldQueneCount=999999999\n"
              "1IsDownload=1\n1HostPath=/a\n"          // other keys missing: empty, 0
              "2HostPath=/b\n2LocalPath=/home/me/b\n" // no direction: left out
              "3IsDownload=0\n3HostPath=/c\n3FileSize=junk\n3IsDir=1\n");
    std::vector<TOldQuene> lists;
    LoadOldQuenes(dir / "damaged.ini", lists);
    ASSERT_EQ(lists.size(), 1u);
    const std::vector<TTransferFileInfo> want = {
        {true, "/a", "", 0, 0, 0, false},
        {false, "/c", "", 0, 0, 0, true},
    };
    EXPECT_EQ(lists[0].Items, want);
    EXPECT_EQ(lists[0].Host.PassWord, "");
}

TEST(OldQuene, SectionsAndItemsWithGapsBeforeThemAreRead)
{
    // Lists or items before the survivors are gone (another copy deleted them,
    // or the file was edited): what is left up to Count still loads, and the
    // next save keeps it.
    TempDir dir;
    const std::string file = dir / "oldquene.ini";
    WriteFile(file,
              "[Count]\nCount=4\n"
              "[4]\nDateTime=late\nHostName=h\nOldQueneCount=12\n"
              "12IsDownload=1\n12HostPath=/pub/twelfth\n"
              "[9]\nDateTime=beyond Count\n");
    std::vector<TOldQuene> lists;
    LoadOldQuenes(file, lists);
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0].DateTime, "late");
    const std::vector<TTransferFileInfo> want = {{true, "/pub/twelfth", "", 0, 0, 0, false}};
    EXPECT_EQ(lists[0].Items, want);

    std::vector<TOldQuene> session;
    SaveOldQuenes(file, session, {});
    std::vector<TOldQuene> again;
    LoadOldQuenes(file, again);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].Items, want);
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
    const std::string lists = "[1]\nDateTime=one\nHostName=h\nOldQueneCount=1\n1IsDownload=1\n1HostPath=/a\n"
                              "[2]\nDateTime=two\nHostName=h\nOldQueneCount=1\n1IsDownload=0\n1HostPath=/b\n";
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
         "[Count]\nCount=1\n[1]\nDateTime=one\nOldQueneCount=-1\n1IsDownload=1\n1HostPath=/a\n1BeginPos=-1\n"
         "1FileSize=junk\n2HostPath=/nodirection\n",
         {"one"},
         {"[1] OldQueneCount = -1 is out of range; the items the file holds are read",
          "[1] 1 items without their direction are not read", "[1] 1FileSize = junk is not a number; 0 is used"}},
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
    WriteFile(file, "[Count]\nCount=1\n[1]\nDateTime=one\nOldQueneCount=1\n1IsDownload=0\n1BeginPos=-1\n");
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

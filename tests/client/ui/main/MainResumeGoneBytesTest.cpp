// The window's Resume of a broken list whose local bytes are gone: a file
// deleted, a file cut short, a split file whose partial file was removed.
// Each is fetched again from 0 and ends byte-exact, with the log saying so;
// none is left with zeros where its first bytes were.
#include <QApplication>
#include <filesystem>

#include "MainFixture.h"
#include "client/engine/FtpManager.h"
#include "client/engine/OldQuene.h"
#include "tests/client/engine/EngineServers.h"

namespace fs = std::filesystem;
using testsupport::PatternBytes;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

class MainResumeGoneBytesTest : public MainFixture {
protected:
    std::unique_ptr<EngineServer> server;
    testsupport::TempDir local;

    void SetUp() override
    {
        MainFixture::SetUp();
        server = StartEngineServer("pyftpdlib");
        if (!server->error.empty()) GTEST_SKIP() << server->error;
    }
};

TEST_F(MainResumeGoneBytesTest, ResumeFetchesAgainWhatIsNoLongerOnDisk)
{
    const std::map<std::string, std::string> files = {{"gone.bin", PatternBytes(200000, 21)},
                                                      {"short.bin", PatternBytes(200000, 22)},
                                                      {"split.bin", PatternBytes(400000, 23)}};
    for (const auto& [name, bytes] : files) {
        WriteFile(server->Local(name), bytes);
        server->Adopt(server->Local(name));
    }
    const std::string l = local.path() + "/";
    // The user deleted gone.bin, cut short.bin to 50,000 bytes and removed
    // split.bin's partial file after the run broke off.
    WriteFile(l + "short.bin", files.at("short.bin").substr(0, 50000));
    TOldQuene list;
    list.DateTime = "2026-02-03 04:05:06";
    list.Host = server->Host();
    list.Items = {{true, "/gone.bin", l + "gone.bin", 200000, 100000, 200000, false},
                  {true, "/short.bin", l + "short.bin", 200000, 100000, 200000, false},
                  {true, "/split.bin", l + "split.bin", 400000, 150000, 200000, false},
                  {true, "/split.bin", l + "split.bin", 400000, 350000, 400000, false}};
    const std::string journal = Program() + "oldquene.ini";
    StoreOldQuene(journal, list, TOldQueneStore::New);

    Open([&](TClientSettings& s) {
        s.FtpCliNum = 2;
        s.LocalPath = l;
        s.ConfirmFlags.ResumeBroken = false;
    });
    ASSERT_EQ(win->BrokenLists().size(), 1u);
    win->CommandLineUrl = "ftp://" + server->user + ":" + server->pass + "@127.0.0.1:" + std::to_string(server->port) + "/";
    win->show();
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, "split.bin"); })) << PageText(0);
    win->SelectBrokenList(0);
    win->miResumeBrokenClick(true);
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && !QApplication::activeModalWidget(); }, 60000))
        << PageText(0);
    for (const auto& [name, bytes] : files) {
        EXPECT_TRUE(ReadFile(l + name) == bytes) << name << ": " << ReadFile(l + name).size() << " bytes";
        EXPECT_FALSE(fs::exists(PartialFilePath(l + name))) << name;
    }
    const std::string page = PageText(0);
    for (const std::string name : {"gone.bin", "short.bin", "split.bin"}) {
        const bool told = page.find(name + " is gone") != std::string::npos || page.find(name + " holds") != std::string::npos;
        EXPECT_TRUE(told) << name << "\n" << page;
    }
    EXPECT_NE(page.find("fetched again from 0"), std::string::npos) << page;
    EXPECT_TRUE(win->BrokenLists().empty());
    std::vector<TOldQuene> left;
    LoadOldQuenes(journal, left);
    EXPECT_TRUE(left.empty()) << "the finished list left the file";
}

} // namespace

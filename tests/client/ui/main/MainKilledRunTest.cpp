// The real window's run killed (SIGKILL) part-way: the program started
// again on the same folder shows the run as a broken list in the queue
// tree, and Resume finishes every file byte-exact. The run to kill goes on
// in a child process: this test binary again, running this test with the
// folders and the server named in its environment.
#include <QAction>
#include <cstdio>
#include <QTreeWidget>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "MainFixture.h"
#include "client/engine/FtpManager.h"
#include "client/engine/OldQuene.h"
#include "tests/support/FtpServerPeers.h"

namespace fs = std::filesystem;
using testsupport::PatternBytes;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

const char* const kProgramVar = "SKELWICK_KILLED_RUN_PROGRAM";
const char* const kUrlVar = "SKELWICK_KILLED_RUN_URL";

class KilledRunTest : public MainFixture {
protected:
    void Connect(const std::string& url, const QString& shown)
    {
        win->CommandLineUrl = url;
        win->show();
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, shown); })) << PageText(0);
    }
};

std::vector<TOldQuene> Lists(const std::string& file)
{
    std::vector<TOldQuene> lists;
    LoadOldQuenes(file, lists);
    return lists;
}

std::int64_t BytesOnDisk(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? std::min<std::int64_t>(st.st_size, std::int64_t(st.st_blocks) * 512) : 0;
}

} // namespace

TEST_F(KilledRunTest, TheNextStartShowsTheBrokenListAndResumesItByteExact)
{
    if (const char* program = std::getenv(kProgramVar)) {
        // The child: the run that is killed.
        // Its output goes to a file and it is killed: nothing may wait in a buffer.
        std::setvbuf(stdout, nullptr, _IONBF, 0);
        win = std::make_unique<TfmMain>(program);
        Connect(std::getenv(kUrlVar), "big.bin");
        StartDownload({"big.bin", "small.bin"});
        std::fprintf(stderr, "state %d\n%s\n", win->SessionState(), PageText(0).c_str());
        WaitFor([] { return false; }, 120000);
        return;
    }
    testsupport::VsftpdPeer peer(testsupport::RateCapConfig(400000));
    if (!peer.Ok()) GTEST_SKIP() << peer.Error();
    const std::map<std::string, std::string> files = {{"big.bin", PatternBytes(3000000, 71)},
                                                      {"small.bin", PatternBytes(700000, 72)}};
    for (const auto& [name, bytes] : files) {
        fs::create_directories(fs::path(peer.LocalPath("pub/" + name)).parent_path());
        WriteFile(peer.LocalPath("pub/" + name), bytes);
        peer.Adopt(peer.LocalPath("pub/" + name));
    }
    const std::string url = "ftp://127.0.0.1:" + std::to_string(peer.Port()) + "/pub/";
    const std::string local = dir / "local";
    fs::create_directories(local);
    auto tweak = [&](TClientSettings& s) {
        s.FtpCliNum = 4;
        s.LocalPath = local + "/";
        s.MTFileSize = 100000;
        s.ConfirmFlags.ResumeBroken = false;
    };
    Open(tweak);
    win.reset();

    const std::string journal = Program() + "oldquene.ini";
    fs::create_directories(dir / "child-tmp");
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    testsupport::ChildProcess run(
        {fs::read_symlink("/proc/self/exe").string(),
         std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name()},
        dir / "child.log",
        {std::string(kProgramVar) + "=" + Program(), std::string(kUrlVar) + "=" + url, "TMPDIR=" + (dir / "child-tmp"),
         "QT_QPA_PLATFORM=offscreen"});
    // Killed once the journal is there and a good part of the bytes landed.
    auto landed = [&] {
        std::int64_t n = 0;
        for (const auto& e : fs::directory_iterator(local)) n += BytesOnDisk(e.path().string());
        return n;
    };
    const bool moving = WaitFor([&] { return !Lists(journal).empty() && landed() > 1200000; }, 60000);
    ASSERT_EQ(::kill(run.pid(), SIGKILL), 0);
    run.wait();
    ASSERT_TRUE(moving) << landed() << " bytes landed\n" << ReadFile(dir / "child.log");
    ASSERT_TRUE(fs::exists(PartialFilePath(local + "/big.bin"))) << "the split file is written under its partial name";
    EXPECT_NE(ReadFile(local + "/big.bin").size(), files.at("big.bin").size()) << "a damaged file under its own name";

    // Started again: the run is one broken list in the tree.
    Open(tweak);
    ASSERT_EQ(win->BrokenLists().size(), 1u);
    auto* tree = Find<QTreeWidget>("tvQuene");
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_TRUE(tree->topLevelItem(1)->text(0).endsWith(" - Broken"));
    Connect(url, "big.bin");
    win->SelectBrokenList(0);
    win->miResumeBrokenClick(true);
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && !QApplication::activeModalWidget(); }, 120000))
        << PageText(0);
    for (const auto& [name, bytes] : files) EXPECT_TRUE(ReadFile(local + "/" + name) == bytes) << name;
    EXPECT_FALSE(fs::exists(PartialFilePath(local + "/big.bin")));
    EXPECT_TRUE(win->BrokenLists().empty());
    EXPECT_TRUE(Lists(journal).empty()) << "the finished list left the file at once";
}

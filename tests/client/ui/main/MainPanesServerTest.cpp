// The panes and the queue tree with the real engine against real servers:
// a nested folder downloaded over four connections and uploaded back,
// byte-exact, with the marks and status rows the run shows.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QTreeWidget>
#include <filesystem>
#include <set>
#include <sys/stat.h>

#include "MainServerFixture.h"
#include "ModalHelper.h"
#include "client/engine/CommFunc.h"
#include "client/ui/main/BrokenList.h"
#include "tests/client/engine/EngineServers.h"

namespace fs = std::filesystem;

namespace {

// relative path -> size and hash of every file below root.
using TreeHashes = std::map<std::string, std::pair<std::size_t, std::size_t>>;
std::pair<std::size_t, std::size_t> Hash(const std::string& bytes) { return {bytes.size(), std::hash<std::string>{}(bytes)}; }
TreeHashes Tree(const std::string& root)
{
    TreeHashes files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file()) files[fs::relative(it->path(), root).string()] = Hash(testsupport::ReadFile(it->path().string()));
    return files;
}

// Notes the queue node texts and the status rows a run shows, at the moment
// it shows them: on loopback an item can be marked and done between two
// looks at the window.
class MarkRecordingMain : public TfmMain {
public:
    using TfmMain::TfmMain;
    std::set<std::string> nodeTexts;
    std::set<int> busyRows;

    void ShowSlotItem(const TTransferFileInfo& Item, int Slot) override
    {
        TfmMain::ShowSlotItem(Item, Slot);
        Note();
        auto* status = findChild<QTreeWidget*>("lvStatus");
        if (QTreeWidgetItem* row = status ? status->topLevelItem(Slot) : nullptr)
            if (row->text(1) == "Transfering") busyRows.insert(Slot);
    }
    void ItemCompleted(const TTransferFileInfo& Item, int Slot) override
    {
        TfmMain::ItemCompleted(Item, Slot);
        Note();
    }

private:
    void Note()
    {
        auto* tv = findChild<QTreeWidget*>("tvQuene");
        if (!tv || !tv->topLevelItem(0)) return;
        for (QTreeWidgetItem* parent : {tv->topLevelItem(0)->child(0), tv->topLevelItem(0)->child(1)})
            for (int i = 0; parent && i < parent->childCount(); ++i) nodeTexts.insert(parent->child(i)->text(0).toStdString());
    }
};

class MainPanesServerTest : public MainServerFixture {
protected:
    MarkRecordingMain* rec = nullptr;
    void SetUp() override
    {
        MainServerFixture::SetUp();
        BuildAs(rec);
    }
    // A server-side folder of files in nested folders, each with its own bytes.
    TreeHashes MakeServerTree(const std::string& name, int files)
    {
        TreeHashes made;
        const std::string base = server->Local(name);
        for (int i = 0; i < files; ++i) {
            const std::string rel = "d" + std::to_string(i % 5) + "/s" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".bin";
            fs::create_directories(fs::path(base + "/" + rel).parent_path());
            const std::string bytes = testsupport::PatternBytes(100 + i * 37 % 4000, std::uint32_t(i + 1));
            made[rel] = Hash(bytes);
            testsupport::WriteFile(base + "/" + rel, bytes);
        }
        for (auto it = fs::recursive_directory_iterator(base); it != fs::recursive_directory_iterator(); ++it)
            server->Adopt(it->path().string());
        server->Adopt(base);
        return made;
    }
    void Connect()
    {
        win->CommandLineUrl = Url();
        win->show();
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, "tree"); }))
            << "state " << win->SessionState() << "\n" << PageText(0);
    }
    // Runs action and waits for the run it starts to end, noting the queue
    // node texts and the status rows seen on the way.
    void RunToEnd(bool local, const char* actionName, std::set<std::string>& nodeTexts, std::set<int>& busyRows)
    {
        // As a person would: the pane focused, the command enabled for it.
        win->activateWindow();
        PaneView(local)->setFocus();
        QAction* action = Find<QAction>(actionName);
        ASSERT_TRUE(WaitFor([&] {
            win->UpdateEnabling();
            return action->isEnabled();
        }));
        action->trigger();
        ASSERT_NE(win->SessionState(), 2) << PageText(0);
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2; }, 60000))
            << "state " << win->SessionState() << "\n" << PageText(0);
        nodeTexts.insert(rec->nodeTexts.begin(), rec->nodeTexts.end());
        busyRows.insert(rec->busyRows.begin(), rec->busyRows.end());
    }
};

TEST_P(MainPanesServerTest, ANestedFolderGoesDownOverFourConnectionsAndBackUpByteExact)
{
    const auto made = MakeServerTree("tree", 200);
    Open([&](TClientSettings& s) {
        s.FtpCliNum = 4;
        s.LocalPath = local.path() + "/";
    });
    Connect();

    ASSERT_TRUE(SelectRows(false, {"tree"}));
    std::set<std::string> nodes;
    std::set<int> rows;
    RunToEnd(false, "miDownload", nodes, rows);
    EXPECT_EQ(Tree(local.path() + "/tree"), made);
    // The marks: a connection number in front while carried, "!!" once done.
    bool marked = false, ended = false;
    for (const auto& t : nodes) {
        marked |= t.rfind("#", 0) == 0;
        ended |= t.rfind("!!", 0) == 0;
    }
    EXPECT_TRUE(marked);
    EXPECT_TRUE(ended);
    EXPECT_GE(rows.size(), 2u) << "more than one connection carried files";
    EXPECT_TRUE(win->QueueTree().Download.empty()) << "a finished run clears the queue";
    EXPECT_TRUE(win->BrokenLists().empty());

    // Back up into a folder of another name (the local folder renamed), into
    // a remote folder that must be made, and over one that exists already.
    fs::rename(local.path() + "/tree", local.path() + "/back");
    fs::create_directories(server->Local("back/d0"));
    server->Adopt(server->Local("back"));
    server->Adopt(server->Local("back/d0"));
    win->ListLocalDir(win->LocalPath);
    ASSERT_TRUE(SelectRows(true, {"back"}));
    RunToEnd(true, "miUpload", nodes, rows);
    EXPECT_EQ(Tree(server->Local("back")), made) << PageText(0);
    EXPECT_TRUE(win->BrokenLists().empty());
}

INSTANTIATE_TEST_SUITE_P(Servers, MainPanesServerTest, ::testing::Values("portlorn", "vsftpd", "pyftpdlib"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace

namespace {

// A large file split over four connections of a rate-capped server: aborted
// mid-run, the program closed and started again, the broken list shown and
// resumed, first failing to connect, then on its own site.
class MainBrokenListTest : public MainFixture {
protected:
    std::unique_ptr<testsupport::VsftpdPeer> peer;
    testsupport::TempDir local;
    void SetUp() override
    {
        MainFixture::SetUp();
        peer = std::make_unique<testsupport::VsftpdPeer>(testsupport::RateCapConfig(400000));
        if (!peer->Ok()) GTEST_SKIP() << peer->Error();
    }
    void OpenAt()
    {
        Open([&](TClientSettings& s) {
            s.FtpCliNum = 4;
            s.LocalPath = local.path() + "/";
            s.MTFileSize = 100000;
            s.ConfirmFlags.ResumeBroken = false;
            s.ConfirmFlags.Abort = false;
        });
    }
    void Connect()
    {
        win->CommandLineUrl = "ftp://127.0.0.1:" + std::to_string(peer->Port()) + "/pub/";
        win->show();
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, "big.bin"); }))
            << PageText(0);
    }
};

TEST_F(MainBrokenListTest, AnAbortedSplitDownloadIsResumedAfterARestartByteExact)
{
    const std::string bytes = testsupport::PatternBytes(3 * 1000 * 1000, 7);
    testsupport::WriteFile(peer->LocalPath("pub/big.bin"), bytes);
    peer->Adopt(peer->LocalPath("pub/big.bin"));
    OpenAt();
    Connect();
    ASSERT_TRUE(SelectRows(false, {"big.bin"}));
    win->activateWindow();
    PaneView(false)->setFocus();
    ASSERT_TRUE(WaitFor([&] {
        win->UpdateEnabling();
        return Find<QAction>("miDownload")->isEnabled();
    }));
    Find<QAction>("miDownload")->trigger();
    // Abort once several connections carry parts of the file.
    ASSERT_TRUE(WaitBusyConnections(2)) << PageText(0);
    win->sbAbortClick();
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 || win->SessionState() == 0; })) << PageText(0);
    ASSERT_EQ(win->BrokenLists().size(), 1u);
    const TOldQuene list = win->BrokenLists()[0];
    EXPECT_GE(list.Items.size(), 2u) << "parts of one file";

    // Closed and started again: the list is in the tree, its details add up the parts.
    win->CloseWithoutQuery();
    win.reset();
    OpenAt();
    ASSERT_EQ(win->BrokenLists().size(), 1u);
    auto* tv = Find<QTreeWidget>("tvQuene");
    ASSERT_EQ(tv->topLevelItemCount(), 2);
    const auto rows = BrokenListDetails(win->BrokenLists()[0]);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].HostFileName, "/pub/big.bin");
    EXPECT_EQ(rows[0].FileSize, "3000000");
    EXPECT_GT(rows[0].Left, 0);
    EXPECT_LT(rows[0].Left, 3000000);

    // A connect that fails puts the list back: it is still there for the next try.
    win->SelectBrokenList(0);
    const int port = peer->Port();
    win->BrokenLists()[0].Host.HostPort = std::to_string(testsupport::FreeTcpPort());
    bool failureShown = false;
    WhenModal([&](QWidget* box) {
        failureShown = true;
        box->close();
    });
    win->miResumeBrokenClick(true);
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 0 && failureShown; })) << PageText(0);
    ASSERT_EQ(win->BrokenLists().size(), 1u);
    EXPECT_TRUE(win->TransferQueue().empty());
    EXPECT_EQ(tv->topLevelItemCount(), 2);

    // Its own site: the rest arrives and the whole file is exact.
    win->BrokenLists()[0].Host.HostPort = std::to_string(port);
    win->SelectBrokenList(0);
    win->miResumeBrokenClick(true);
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 5; })) << PageText(0);
    EXPECT_TRUE(win->BrokenLists().empty()) << "the list leaves once its run starts";
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2; }, 60000)) << PageText(0);
    EXPECT_TRUE(win->BrokenLists().empty());
    const std::string got = testsupport::ReadFile(local.path() + "/big.bin");
    EXPECT_EQ(got.size(), bytes.size());
    EXPECT_TRUE(got == bytes);
}

} // namespace

namespace {

using MainRemoteActionsTest = MainPanesServerTest;

// Make folder, rename, move, change mode and delete on the remote pane, each
// checked on the server's disk; cancelled or empty answers send nothing.
TEST_P(MainRemoteActionsTest, FolderRenameMoveChmodAndDeleteReachTheServer)
{
    MakeServerTree("tree", 1);
    testsupport::WriteFile(server->Local("a.txt"), "a");
    testsupport::WriteFile(server->Local("b.txt"), "b");
    server->Adopt(server->Local("a.txt"));
    server->Adopt(server->Local("b.txt"));
    Open([](TClientSettings& s) {
        s.ConfirmFlags.Delete = false;
        s.ConfirmFlags.MoveFiles = false;
    });
    Connect();
    win->activateWindow();
    PaneView(false)->setFocus();
    auto done = [&] { return WaitFor([&] { return win->SessionState() == 2; }); };
    auto sent = [&] { return PageText(0).size(); };

    // Cancelled and empty answers: nothing is sent.
    std::size_t before = sent();
    dialogs.get()->ReplyCancel();
    win->MakeDirectoryClick(false);
    dialogs.get()->ReplyText("");
    win->MakeDirectoryClick(false);
    EXPECT_EQ(win->SessionState(), 2);
    EXPECT_EQ(sent(), before);

    dialogs.get()->ReplyText("made");
    win->MakeDirectoryClick(false);
    ASSERT_TRUE(done()) << PageText(0);
    EXPECT_TRUE(fs::is_directory(server->Local("made")));
    ASSERT_TRUE(PaneShows(false, "made"));

    ASSERT_TRUE(SelectRows(false, {"a.txt"}));
    dialogs.get()->ReplyText("c.txt");
    win->RenameClick(false);
    ASSERT_TRUE(done()) << PageText(0);
    EXPECT_EQ(testsupport::ReadFile(server->Local("c.txt")), "a");

    // ".." is never acted on, even when selected with a file.
    ASSERT_TRUE(SelectRows(false, {"b.txt", "..", "c.txt"}));
    dialogs.get()->ReplyText("made");
    win->MoveClick(false);
    ASSERT_TRUE(done()) << PageText(0);
    // The pane follows the files into their new folder.
    EXPECT_NE(win->RemoteDir.find("made/"), std::string::npos) << win->RemoteDir;
    EXPECT_EQ(testsupport::ReadFile(server->Local("made/b.txt")), "b");
    EXPECT_EQ(testsupport::ReadFile(server->Local("made/c.txt")), "a");
    EXPECT_EQ(PageText(0).find("RNFR .."), std::string::npos);

    // The move showed the target folder: change mode there, then delete it all.
    if (server->name == "pyftpdlib") { // the others answer SITE CHMOD with a refusal
        ASSERT_TRUE(WaitFor([&] { return PaneShows(false, "c.txt"); })) << PageText(0);
        ASSERT_TRUE(SelectRows(false, {"c.txt"}));
        dialogs.get()->ReplyText("600");
        win->ChangeModeClick();
        ASSERT_TRUE(done()) << PageText(0);
        struct stat st{};
        ASSERT_EQ(::stat(server->Local("made/c.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    ASSERT_TRUE(WaitFor([&] { return PaneShows(false, "c.txt"); })) << PageText(0);
    ASSERT_TRUE(SelectRows(false, {"c.txt", "b.txt"}));
    win->DeleteClick(false);
    ASSERT_TRUE(done()) << PageText(0);
    EXPECT_FALSE(fs::exists(server->Local("made/c.txt")));
    EXPECT_FALSE(fs::exists(server->Local("made/b.txt")));
}

INSTANTIATE_TEST_SUITE_P(Servers, MainRemoteActionsTest, ::testing::Values("portlorn", "vsftpd", "pyftpdlib"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace

namespace {

using MainEditViewTest = MainPanesServerTest;

// Calculate Size counts only what is selected now, and Yes makes the local
// folders before the files arrive; a View leaves no upload question behind
// for the next Edit; Copy URL names the port and user and encodes the path.
TEST_P(MainEditViewTest, CalculateSizeViewThenEditAndCopyUrl)
{
    const auto made = MakeServerTree("tree", 12);
    testsupport::WriteFile(server->Local("a b.txt"), "text");
    server->Adopt(server->Local("a b.txt"));
    Open([&](TClientSettings& s) { s.LocalPath = local.path() + "/"; });
    Connect();

    ASSERT_TRUE(SelectRows(false, {"tree"}));
    dialogs.get()->ReplyId(IDYES);
    win->CalcSizeClick();
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() != 4; })) << PageText(0);
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2; }, 60000)) << PageText(0);
    const auto texts = dialogs.get()->Texts(TDialogCall::kMessageBox);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back().rfind("Total FileSize = ", 0), 0u) << texts.back();
    EXPECT_EQ(Tree(local.path() + "/tree"), made);

    // View, then Edit: the edit offers the upload back.
    ASSERT_TRUE(WaitFor([&] { return PaneShows(false, "a b.txt"); }));
    ASSERT_TRUE(SelectRows(false, {"a b.txt"}));
    win->EditViewClick(false, true);
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2; })) << PageText(0);
    EXPECT_FALSE(win->ViewOnly);
    // The copy is edited before No: an upload that ran would change the
    // server's file, and one still running holds the session in a run.
    const std::size_t asked = dialogs.get()->Calls.size();
    TDialogReply no;
    no.id = IDNO;
    no.during = [&](const TDialogCall&) { testsupport::WriteFile(win->EditLocalFile, "edited"); };
    dialogs.get()->Reply(no);
    win->EditViewClick(false, false);
    ASSERT_TRUE(WaitFor([&] { return dialogs.get()->Calls.size() > asked; })) << PageText(0);
    EXPECT_EQ(dialogs.get()->Calls.back().text, "Click Yes to upload back edited file, No to cancel");
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2; })) << PageText(0);
    EXPECT_TRUE(win->TransferQueue().empty());
    EXPECT_EQ(testsupport::ReadFile(server->Local("a b.txt")), "text") << PageText(0);

    win->miCopyUrlClick();
    const std::string url = QApplication::clipboard()->text().toStdString();
    EXPECT_NE(url.find(":" + std::to_string(server->port) + "/"), std::string::npos) << url;
    EXPECT_NE(url.find("a%20b.txt"), std::string::npos) << url;
    if (server->name == "pyftpdlib") {
        EXPECT_EQ(url.rfind("ftp://" + server->user + "@127.0.0.1:", 0), 0u) << url;
    }
}

// Calculate Size adds the selection to what is queued already and totals
// both; No then empties the queue.
TEST_P(MainEditViewTest, CalculateSizeKeepsWhatIsQueued)
{
    MakeServerTree("tree", 1);
    testsupport::WriteFile(server->Local("four.txt"), "text");
    server->Adopt(server->Local("four.txt"));
    Open([&](TClientSettings& s) { s.LocalPath = local.path() + "/"; });
    Connect();
    TTransferFileInfo queued{true, "/elsewhere/big.bin", local.path() + "/big.bin", 1000, 0, 1000, false};
    win->AddQueueItem(queued);
    ASSERT_TRUE(WaitFor([&] { return PaneShows(false, "four.txt"); }));
    ASSERT_TRUE(SelectRows(false, {"four.txt"}));
    std::size_t during = 0;
    TDialogReply no;
    no.id = IDNO;
    no.during = [&](const TDialogCall&) { during = win->TransferQueue().size(); };
    dialogs.get()->Reply(no);
    win->CalcSizeClick();
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && !dialogs.get()->Calls.empty(); })) << PageText(0);
    EXPECT_EQ(dialogs.get()->Calls.back().text, "Total FileSize = " + FormatBytes(std::int64_t(1004)) + "\rDownload Now ?");
    EXPECT_EQ(during, 2u);
    EXPECT_TRUE(win->TransferQueue().empty());
}

INSTANTIATE_TEST_SUITE_P(Servers, MainEditViewTest, ::testing::Values("portlorn", "pyftpdlib"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace

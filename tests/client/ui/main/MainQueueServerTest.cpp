// The queue and edit paths of the real window against real servers: Manual
// Download, the index file viewed after a connect, Edit's upload question,
// broken lists resumed on another site and deleted, and folder changes
// refused while a run goes on.
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <sys/stat.h>

#include "MainFixture.h"
#include "ModalHelper.h"
#include "client/engine/FtpManager.h"
#include "client/ui/main/BrokenList.h"
#include "client/ui/main/Launcher.h"
#include "os/MessageLoop.h"
#include "tests/client/engine/EngineServers.h"

namespace fs = std::filesystem;
using testsupport::PatternBytes;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

// The window, recording what the engine reports complete and the furthest
// position a connection reported.
class RecordingMain : public TfmMain {
public:
    using TfmMain::TfmMain;
    std::vector<std::string> completed;
    std::int64_t reached = 0;

    void ItemCompleted(const TTransferFileInfo& Item, int Slot) override
    {
        completed.push_back(Item.HostPath);
        TfmMain::ItemCompleted(Item, Slot);
    }
    void ShowSlotProgress(int Slot, std::int64_t Count) override
    {
        TfmMain::ShowSlotProgress(Slot, Count);
        reached = std::max(reached, Count);
    }
};

// Every node text of the queue tree, depth first.
std::vector<std::string> TreeTexts(QTreeWidget* tv)
{
    std::vector<std::string> out;
    std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* n) {
        out.push_back(n->text(0).toStdString());
        for (int i = 0; i < n->childCount(); ++i) walk(n->child(i));
    };
    for (int i = 0; i < tv->topLevelItemCount(); ++i) walk(tv->topLevelItem(i));
    return out;
}

// Folder changes sent on a log page.
int FolderChanges(const std::string& page)
{
    int n = 0;
    for (const char* verb : {"<COMMAND>    CWD", "<COMMAND>    CDUP"})
        for (auto at = page.find(verb); at != std::string::npos; at = page.find(verb, at + 1)) ++n;
    return n;
}

class QueueServerBase : public MainFixture {
protected:
    std::unique_ptr<EngineServer> server;
    testsupport::TempDir local;
    RecordingMain* rec = nullptr;

    void SetUp() override
    {
        MainFixture::SetUp();
        make = [this](const std::string& programDir) {
            auto w = std::make_unique<RecordingMain>(programDir);
            rec = w.get();
            return std::unique_ptr<TfmMain>(std::move(w));
        };
    }
    bool StartServer(const std::string& kind)
    {
        server = StartEngineServer(kind);
        return server->error.empty();
    }
    std::string Url() const
    {
        const std::string auth = server->user.empty() || server->user == "anonymous" || server->user == "ftp"
                                     ? std::string()
                                     : server->user + ":" + server->pass + "@";
        std::string path = server->dir;
        if (path != "/" && path != "/pub/") path = "/" + path;
        return "ftp://" + auth + "127.0.0.1:" + std::to_string(server->port) + path;
    }
    // A file below the server's working folder, readable by the server.
    void Put(const std::string& rel, const std::string& bytes)
    {
        const fs::path path = server->Local(rel);
        fs::create_directories(path.parent_path());
        WriteFile(path.string(), bytes);
        for (fs::path p = path; p.string().size() >= server->Local("").size(); p = p.parent_path()) {
            server->Adopt(p.string());
            if (p == p.parent_path()) break;
        }
    }
    void Connect(const QString& shown)
    {
        win->CommandLineUrl = Url();
        win->show();
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, shown); }))
            << "state " << win->SessionState() << "\n" << PageText(0);
    }
    bool Idle(int ms = 60000)
    {
        return WaitFor([&] { return win->SessionState() == 2 && !QApplication::activeModalWidget(); }, ms);
    }
    void Reopen(const std::function<void(TClientSettings&)>& tweak)
    {
        win->CloseWithoutQuery();
        win.reset();
        Open(tweak);
    }
};

class MainQueueServerTest : public QueueServerBase, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override
    {
        QueueServerBase::SetUp();
        if (!StartServer(GetParam())) GTEST_SKIP() << server->error;
    }
};

// A name typed by hand: refused when it leaves the local folder; an existing
// file arrives byte-exact in its sub-folder; a missing one ends failed with
// no file left; one cut off mid-way is no success and lands as a broken item
// at the bytes on disk.
TEST_P(MainQueueServerTest, ManualDownloadCompletesOnlyOnTheServersEnd)
{
    const std::string small = PatternBytes(300000, 11);
    const std::string big = PatternBytes(32 << 20, 12);
    Put("sub/x.bin", small);
    Put("big.bin", big);
    Open([&](TClientSettings& s) {
        s.LocalPath = local.path() + "/";
        s.FtpCliNum = 1;
        s.ConfirmFlags.Abort = false;
    });
    Connect("big.bin");
    const std::string remoteDir = win->RemoteDir;
    QAction* manual = Find<QAction>("miManualDownload");
    // The name typed, then the answer to the box that follows, if any.
    auto typed = [&](const std::string& text, int then = 0) {
        dialogs.get()->ReplyText(text);
        if (then) dialogs.get()->ReplyId(then);
        win->UpdateEnabling();
        ASSERT_TRUE(manual->isEnabled());
        manual->trigger();
    };

    dialogs.get()->ReplyCancel();
    win->UpdateEnabling();
    manual->trigger();
    typed("");
    typed("sub/../../x.bin", IDOK);
    EXPECT_EQ(win->SessionState(), 2);
    const auto boxes = dialogs.get()->Texts(TDialogCall::kMessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("sub/../../x.bin"), std::string::npos) << boxes[0];
    EXPECT_EQ(dialogs.get()->Texts(TDialogCall::kInputQuery).size(), 3u);
    EXPECT_EQ(PageText(0).find("RETR"), std::string::npos);
    EXPECT_FALSE(fs::exists(local.path() + "/sub"));

    typed("sub/x.bin");
    ASSERT_EQ(win->SessionState(), 5);
    ASSERT_TRUE(Idle()) << PageText(0);
    EXPECT_TRUE(ReadFile(local.path() + "/sub/x.bin") == small);
    EXPECT_EQ(rec->completed, std::vector<std::string>{remoteDir + "sub/x.bin"});
    EXPECT_TRUE(win->BrokenLists().empty());

    rec->completed.clear();
    {
        // A modal box (a server reply) would be closed and noted.
        bool failureShown = false;
        QTimer watch;
        watch.callOnTimeout([&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                failureShown = true;
                box->close();
            }
        });
        watch.start(5);
        typed("missing.bin", IDOK); // then the run's report: the file failed on its own
        ASSERT_TRUE(Idle()) << PageText(0);
        ASSERT_TRUE(Drain()); // the boxes come through the loop, posted before the state changed
        EXPECT_FALSE(failureShown) << "the report names the file; no server reply is shown for it";
    }
    EXPECT_TRUE(rec->completed.empty());
    EXPECT_FALSE(fs::exists(local.path() + "/missing.bin")) << "no empty file claims the name";
    const auto texts = dialogs.get()->Texts(TDialogCall::kMessageBox);
    EXPECT_EQ(texts.back().rfind("1 file was not transferred:", 0), 0u) << texts.back();
    EXPECT_NE(texts.back().find(remoteDir + "missing.bin failed: 5"), std::string::npos) << texts.back();
    ASSERT_EQ(win->BrokenLists().size(), 1u);
    EXPECT_EQ(win->BrokenLists()[0].Items.at(0).HostPath, remoteDir + "missing.bin");

    rec->reached = 0;
    typed("big.bin");
    // The engine's loop pumped message by message, so the moment is not missed.
    os::MessageLoop::ForThisThread().WaitUntil(
        [&] { return rec->reached >= (4 << 20) || win->SessionState() != 5; }, 60000);
    ASSERT_EQ(win->SessionState(), 5) << "the run ended before the abort\n" << PageText(0);
    win->sbAbortClick();
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 || win->SessionState() == 0; }, 60000)) << PageText(0);
    EXPECT_TRUE(rec->completed.empty()) << "a cut-off file of unknown size is not complete";
    ASSERT_EQ(win->BrokenLists().size(), 2u);
    const TOldQuene& cut = win->BrokenLists()[1];
    ASSERT_EQ(cut.Items.size(), 1u);
    const TTransferFileInfo& item = cut.Items[0];
    EXPECT_EQ(item.HostPath, remoteDir + "big.bin");
    EXPECT_EQ(item.EndPos, 0);
    const std::string got = ReadFile(local.path() + "/big.bin");
    EXPECT_EQ(item.BeginPos, std::int64_t(got.size())) << "resumes at the bytes on disk";
    // A fast server may have sent every byte before the abort lands: without
    // its end the item is still not complete.
    EXPECT_GT(got.size(), 0u);
    EXPECT_LE(got.size(), big.size());
    EXPECT_TRUE(got == big.substr(0, got.size()));
    const auto rows = BrokenListDetails(cut);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].LeftPercent, "-");
}

// Edit runs the configured editor on the fetched copy; the upload question
// answered No leaves the server's file and the queue as they were, Yes puts
// the edited bytes on the server.
TEST_P(MainQueueServerTest, EditUploadsTheEditedCopyOnlyWhenAnsweredYes)
{
    Put("e.txt", "hello\n");
    const std::string editor = local.path() + "/editor.sh";
    WriteFile(editor, "#!/bin/sh\nprintf 'added\\n' >> \"$1\"\n");
    ::chmod(editor.c_str(), 0755);
    Open([&](TClientSettings& s) { s.DefaultEditView = editor; });
    // The editor really runs, as the window starts it.
    win->StartProgram = [this](const std::string& p, const std::vector<std::string>& args) {
        std::vector<std::string> v{p};
        v.insert(v.end(), args.begin(), args.end());
        started.push_back(v);
        return StartDetached(p, args);
    };
    Connect("e.txt");
    const std::string copy = win->TempDir() + "e.txt";
    auto* tv = Find<QTreeWidget>("tvQuene");
    auto answer = [&](int id) {
        TDialogReply r;
        r.id = id;
        // A person answers once the editor is done.
        r.during = [&](const TDialogCall&) { WaitFor([&] { return ReadFile(copy) == "hello\nadded\n"; }); };
        dialogs.get()->Reply(r);
    };
    auto asked = [&] {
        const auto t = dialogs.get()->Texts(TDialogCall::kMessageBox);
        return std::count(t.begin(), t.end(), "Click Yes to upload back edited file, No to cancel");
    };

    const auto treeBefore = TreeTexts(tv);
    answer(IDNO);
    ASSERT_TRUE(SelectRows(false, {"e.txt"}));
    win->EditViewClick(false, false);
    ASSERT_TRUE(WaitFor([&] { return asked() == 1; })) << PageText(0);
    ASSERT_TRUE(Idle()) << PageText(0);
    ASSERT_FALSE(started.empty());
    EXPECT_EQ(started.back(), (std::vector<std::string>{editor, copy}));
    EXPECT_EQ(ReadFile(copy), "hello\nadded\n");
    EXPECT_EQ(ReadFile(server->Local("e.txt")), "hello\n");
    EXPECT_EQ(TreeTexts(tv), treeBefore);
    EXPECT_TRUE(win->TransferQueue().empty());
    EXPECT_TRUE(win->BrokenLists().empty());

    answer(IDYES);
    ASSERT_TRUE(SelectRows(false, {"e.txt"}));
    win->EditViewClick(false, false);
    ASSERT_TRUE(WaitFor([&] { return asked() == 2; })) << PageText(0);
    ASSERT_TRUE(WaitFor([&] { return ReadFile(server->Local("e.txt")) == "hello\nadded\n"; })) << PageText(0);
    ASSERT_TRUE(Idle()) << PageText(0);
    EXPECT_TRUE(win->BrokenLists().empty());
    EXPECT_FALSE(win->ViewOnly);
}

INSTANTIATE_TEST_SUITE_P(Servers, MainQueueServerTest, ::testing::Values("portlorn", "vsftpd", "pyftpdlib"),
                         [](const auto& info) { return std::string(info.param); });

// After a connect (here one with a start folder) the first small file of
// the index-file list is fetched into this copy's folder and shown; nothing
// else is fetched and no upload is offered.
TEST_F(QueueServerBase, AConnectShowsTheIndexFileOfItsFirstListing)
{
    if (!StartServer("vsftpd")) GTEST_SKIP() << server->error;
    const std::string welcome = "Welcome\nto this site\n";
    Put("aaa.txt", "a");
    Put("Index.TXT", welcome);
    Put("readme.txt", std::string(2000, 'r'));
    Open([](TClientSettings& s) {
        s.IndexFileList = {"readme.txt", "index.txt"};
        s.IndexFileMaxSize = 1;
    });
    std::string title, shown;
    WhenModal([&](QWidget* box) {
        title = box->windowTitle().toStdString();
        if (auto* text = box->findChild<QPlainTextEdit*>()) shown = text->toPlainText().toStdString();
        box->close();
    });
    Connect("aaa.txt");
    ASSERT_TRUE(WaitFor([&] { return !title.empty(); })) << PageText(0);
    ASSERT_TRUE(Idle()) << PageText(0);
    EXPECT_EQ(title, "Directory Inforamtion");
    EXPECT_NE(shown.find("Welcome"), std::string::npos) << shown;
    EXPECT_NE(shown.find("to this site"), std::string::npos) << shown;
    EXPECT_EQ(ReadFile(win->TempDir() + "Index.TXT"), welcome);
    EXPECT_FALSE(fs::exists(win->TempDir() + "readme.txt")) << "only one small file";
    EXPECT_TRUE(started.empty()) << "shown in the window, not handed to a program";
    EXPECT_TRUE(dialogs.get()->Texts(TDialogCall::kMessageBox).empty()) << "no upload question";
    EXPECT_FALSE(win->ViewOnly);
    EXPECT_FALSE(win->IndexViewActive);

    // Reconnected, the copy cannot be written this time: the view fails and
    // leaves neither flag behind.
    fs::remove(win->TempDir() + "Index.TXT");
    fs::create_directory(win->TempDir() + "Index.TXT");
    bool failureShown = false;
    WhenModal([&](QWidget* box) {
        failureShown = true;
        box->close();
    });
    dialogs.get()->ReplyId(IDYES); // "Break current connection ?"
    dialogs.get()->ReplyId(IDOK);  // "DOWNLOAD FAILED !"
    win->miReconnectClick();
    ASSERT_TRUE(WaitFor([&] { return failureShown; })) << PageText(0);
    ASSERT_TRUE(Idle()) << PageText(0);
    EXPECT_FALSE(win->ViewOnly);
    EXPECT_FALSE(win->IndexViewActive);
    EXPECT_TRUE(started.empty());
    const auto texts = dialogs.get()->Texts(TDialogCall::kMessageBox);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Click Yes to upload back edited file, No to cancel"), 0);
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const std::string& t) { return t.rfind("DOWNLOAD FAILED", 0) == 0; }));

}

// "Delete Broken List": No keeps the list, also on disk; Yes removes it from
// the tree and from "oldquene.ini" at once.
TEST_F(QueueServerBase, DeleteBrokenListAskedNoKeepsItYesRemovesIt)
{
    TOldQuene list;
    list.DateTime = "2026-01-02 03:04";
    list.Host = {"ftp.example.org", "21", "user", "pass"};
    list.Items = {{true, "/pub/a.bin", local.path() + "/a.bin", 1000, 200, 1000, false}};
    AppendBrokenList(Program() + "oldquene.ini", list);
    auto tweak = [](TClientSettings& s) { s.ConfirmFlags.DeleteBroken = true; };
    Open(tweak);
    auto tree = [&] { return Find<QTreeWidget>("tvQuene")->topLevelItemCount(); };
    ASSERT_EQ(win->BrokenLists().size(), 1u);
    ASSERT_EQ(tree(), 2);

    win->SelectBrokenList(0);
    dialogs.get()->ReplyId(IDNO);
    win->DeleteBrokenList1Click(true);
    ASSERT_EQ(dialogs.get()->Calls.size(), 1u);
    EXPECT_EQ(dialogs.get()->Calls[0].caption, "Delete Broken List");
    EXPECT_EQ(dialogs.get()->Calls[0].text, "Are you sure ?");
    EXPECT_EQ(tree(), 2);
    Reopen(tweak);
    ASSERT_EQ(win->BrokenLists().size(), 1u);
    EXPECT_EQ(tree(), 2);

    win->SelectBrokenList(0);
    dialogs.get()->ReplyId(IDYES);
    win->DeleteBrokenList1Click(true);
    EXPECT_TRUE(win->BrokenLists().empty());
    EXPECT_EQ(tree(), 1);
    std::vector<TOldQuene> before;
    LoadOldQuenes(Program() + "oldquene.ini", before);
    EXPECT_TRUE(before.empty()) << "gone from the file at once, before the window closes";
    Reopen(tweak);
    EXPECT_TRUE(win->BrokenLists().empty());
    EXPECT_EQ(tree(), 1);
    std::vector<TOldQuene> onDisk;
    LoadOldQuenes(Program() + "oldquene.ini", onDisk);
    EXPECT_TRUE(onDisk.empty());
}

// A rate-capped vsftpd keeps a run going long enough to act during it.
class CappedServerTest : public QueueServerBase {
protected:
    std::unique_ptr<testsupport::VsftpdPeer> peer;
    void SetUp() override
    {
        QueueServerBase::SetUp();
        peer = std::make_unique<testsupport::VsftpdPeer>(testsupport::RateCapConfig(400000));
        if (!peer->Ok()) GTEST_SKIP() << peer->Error();
    }
    void PutCapped(const std::string& rel, const std::string& bytes)
    {
        fs::create_directories(fs::path(peer->LocalPath(rel)).parent_path());
        WriteFile(peer->LocalPath(rel), bytes);
        for (fs::path p = peer->LocalPath(rel); p.string().size() > peer->LocalPath("pub").size(); p = p.parent_path())
            peer->Adopt(p.string());
    }
    void ConnectCapped(const QString& shown)
    {
        win->CommandLineUrl = "ftp://127.0.0.1:" + std::to_string(peer->Port()) + "/pub/";
        win->show();
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, shown); })) << PageText(0);
    }
    // Starts downloading the selected rows as a person would.
    void Download(const QStringList& names)
    {
        StartDownload(names);
        ASSERT_EQ(win->SessionState(), 5) << PageText(0);
    }
};

// A broken list made on site A, the program started again and connected to
// site B, which holds a file of the same name with other bytes: resuming
// the list connects to A first, and the list leaves the store only once its
// run starts.
TEST_F(CappedServerTest, ABrokenListOfAnotherSiteIsResumedOnItsOwnSite)
{
    auto siteB = std::make_unique<testsupport::PyFtpdPeer>();
    if (!siteB->Ok()) GTEST_SKIP() << siteB->Error();
    const std::string bytes = PatternBytes(3 * 1000 * 1000, 7);
    PutCapped("pub/big.bin", bytes);
    fs::create_directories(siteB->LocalPath("pub"));
    WriteFile(siteB->LocalPath("pub/big.bin"), PatternBytes(3 * 1000 * 1000, 8));
    WriteFile(siteB->LocalPath("b-only.txt"), "b");
    auto tweak = [&](TClientSettings& s) {
        s.FtpCliNum = 4;
        s.LocalPath = local.path() + "/";
        s.MTFileSize = 100000;
        s.ConfirmFlags.ResumeBroken = false;
        s.ConfirmFlags.Abort = false;
    };
    Open(tweak);
    ConnectCapped("big.bin");
    Download({"big.bin"});
    ASSERT_TRUE(WaitBusyConnections(2)) << PageText(0);
    win->sbAbortClick();
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 || win->SessionState() == 0; })) << PageText(0);
    ASSERT_EQ(win->BrokenLists().size(), 1u);

    Reopen(tweak);
    win->CommandLineUrl = "ftp://" + siteB->User() + ":" + siteB->Password() + "@127.0.0.1:" +
                          std::to_string(siteB->Port()) + "/";
    win->show();
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, "b-only.txt"); })) << PageText(0);
    ASSERT_EQ(win->BrokenLists().size(), 1u);

    win->SelectBrokenList(0);
    dialogs.get()->ReplyId(IDYES); // "Break current connection ?"
    win->miResumeBrokenClick(true);
    ASSERT_EQ(win->SessionState(), 1) << PageText(0);
    EXPECT_EQ(win->BrokenLists().size(), 1u) << "kept until its run starts";
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 5; })) << PageText(0);
    EXPECT_TRUE(win->BrokenLists().empty());
    ASSERT_TRUE(Idle()) << PageText(0);
    const std::string got = ReadFile(local.path() + "/big.bin");
    EXPECT_EQ(got.size(), bytes.size());
    EXPECT_TRUE(got == bytes) << "the rest came from the list's own site";
    Reopen(tweak);
    EXPECT_TRUE(win->BrokenLists().empty());
}

// While a run goes on, Enter, a double click and Backspace on the remote
// pane and a path chosen in the path box change no folder; before the run
// each of them does.
TEST_F(CappedServerTest, FolderChangesAreRefusedWhileARunGoesOn)
{
    const std::string bytes = PatternBytes(3 * 1000 * 1000, 5);
    PutCapped("pub/big.bin", bytes);
    PutCapped("pub/sub/s.txt", "s");
    Open([&](TClientSettings& s) {
        s.FtpCliNum = 1;
        s.LocalPath = local.path() + "/";
    });
    ConnectCapped("big.bin");
    QAbstractItemView* view = PaneView(false)->CurrentView();
    auto* paths = Find<QComboBox>("cbHost");
    ASSERT_TRUE(view && paths);
    auto doubleClickCurrent = [&] {
        // A widget's double click arrives after the press and release of its first click.
        const QPoint at = view->visualRect(view->currentIndex()).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at);
    };
    // A path chosen from the box's list, as from its drop-down.
    auto choosePath = [&](const QString& path) {
        const int i = paths->findText(path);
        ASSERT_GE(i, 0) << path.toStdString();
        paths->setCurrentIndex(i);
        emit paths->activated(i);
    };
    auto changes = [&] { return FolderChanges(PageText(0)); };
    // Each way changes the folder while connected and idle.
    auto changesTo = [&](const std::function<void()>& gesture, const QString& shown) {
        const int before = changes();
        gesture();
        return WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, shown); }) && changes() > before;
    };
    const QString pub = QString::fromStdString(win->RemoteDir);
    ASSERT_TRUE(SelectRows(false, {"sub"}));
    ASSERT_TRUE(changesTo([&] { QTest::keyClick(view, Qt::Key_Return); }, "s.txt")) << PageText(0);
    ASSERT_TRUE(changesTo([&] { QTest::keyClick(view, Qt::Key_Backspace); }, "big.bin")) << PageText(0);
    ASSERT_TRUE(SelectRows(false, {"sub"}));
    ASSERT_TRUE(changesTo(doubleClickCurrent, "s.txt")) << PageText(0);
    ASSERT_TRUE(changesTo([&] { choosePath(pub); }, "big.bin")) << PageText(0);

    Download({"big.bin"});
    const int before = changes();
    ASSERT_TRUE(SelectRows(false, {"sub"}));
    QTest::keyClick(view, Qt::Key_Return);
    doubleClickCurrent();
    QTest::keyClick(view, Qt::Key_Backspace);
    choosePath(pub + "sub/");
    ASSERT_TRUE(Drain()); // what the clicks set going has come through the loop
    EXPECT_EQ(win->SessionState(), 5) << "the run is still going";
    EXPECT_EQ(changes(), before) << PageText(0);
    ASSERT_TRUE(Idle()) << PageText(0);
    const std::string got = ReadFile(local.path() + "/big.bin");
    EXPECT_EQ(got.size(), bytes.size());
    EXPECT_TRUE(got == bytes);
}

} // namespace

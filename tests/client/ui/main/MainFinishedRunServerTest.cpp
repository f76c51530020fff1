// A run that completes leaves nothing queued: the next Calculate Size totals
// and sends only its own selection, whether the finished run went down or up.
#include <QAction>
#include <QApplication>
#include <QTreeWidget>
#include <filesystem>

#include "MainServerFixture.h"
#include "client/engine/CommFunc.h"

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

// The window, noting every "file exists" question instead of showing it.
class AskRecordingMain : public TfmMain {
public:
    using TfmMain::TfmMain;
    std::vector<std::string> asked;

    int AskFileExists(const std::string& Text) override
    {
        asked.push_back(Text);
        return 2; // skip: the file stays as it is
    }
};

// How often a command was sent, over every connection's log page.
int Sent(TfmMain& win, const std::string& command)
{
    int n = 0;
    const std::string verb = "<COMMAND>    " + command;
    for (int page = 0; page < 256; ++page) {
        QPlainTextEdit* edit = win.LogEdit(page);
        if (!edit) continue;
        const std::string text = edit->toPlainText().toStdString();
        for (auto at = text.find(verb); at != std::string::npos; at = text.find(verb, at + 1)) ++n;
    }
    return n;
}

class MainFinishedRunTest : public MainServerFixture {
protected:
    AskRecordingMain* rec = nullptr;

    void SetUp() override
    {
        MainServerFixture::SetUp();
        make = [this](const std::string& programDir) {
            auto w = std::make_unique<AskRecordingMain>(programDir);
            rec = w.get();
            return std::unique_ptr<TfmMain>(std::move(w));
        };
    }
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
        Open([&](TClientSettings& s) {
            s.LocalPath = local.path() + "/";
            s.ConfirmFlags.Overwrite = true;
        });
        win->CommandLineUrl = Url();
        win->show();
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, shown); }))
            << "state " << win->SessionState() << "\n" << PageText(0);
    }
    // Selects rows of one pane and triggers an action for them, as a person would.
    void Trigger(bool localPane, const QStringList& rows, const char* actionName)
    {
        ASSERT_TRUE(SelectRows(localPane, rows));
        win->activateWindow();
        PaneView(localPane)->setFocus();
        QAction* action = Find<QAction>(actionName);
        ASSERT_TRUE(WaitFor([&] {
            win->UpdateEnabling();
            return action->isEnabled();
        }));
        action->trigger();
    }
    // Runs rows of one pane to the end of their run.
    void RunToEnd(bool localPane, const QStringList& rows, const char* actionName)
    {
        Trigger(localPane, rows, actionName);
        ASSERT_NE(win->SessionState(), 2) << PageText(0);
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && !QApplication::activeModalWidget(); }, 60000))
            << "state " << win->SessionState() << "\n" << PageText(0);
    }
    // Nothing of a finished run stays queued or shown under "Download"/"Upload".
    void ExpectNothingQueued()
    {
        EXPECT_TRUE(win->TransferQueue().empty());
        EXPECT_TRUE(win->QueueTree().Download.empty());
        EXPECT_TRUE(win->QueueTree().Upload.empty());
        auto* tv = Find<QTreeWidget>("tvQuene");
        QTreeWidgetItem* current = tv->topLevelItem(0);
        ASSERT_NE(current, nullptr);
        for (int i = 0; i < current->childCount(); ++i) EXPECT_EQ(current->child(i)->childCount(), 0);
        EXPECT_TRUE(win->BrokenLists().empty());
    }
    // Calculate Size over rows, answered Yes, to the run's end; returns the box's text.
    std::string CalculateAndDownload(const QStringList& rows)
    {
        const std::size_t before = dialogs.get()->Calls.size();
        dialogs.get()->ReplyId(IDYES);
        Trigger(false, rows, "miCalcSize");
        EXPECT_TRUE(WaitFor([&] { return dialogs.get()->Calls.size() > before; }, 60000)) << PageText(0);
        EXPECT_TRUE(WaitFor([&] { return win->SessionState() == 2 && !QApplication::activeModalWidget(); }, 60000))
            << "state " << win->SessionState() << "\n" << PageText(0);
        return dialogs.get()->Calls.size() > before ? dialogs.get()->Calls[before].text : std::string();
    }
};

TEST_P(MainFinishedRunTest, ADownloadedFileIsNotCountedOrFetchedAgainByCalculateSize)
{
    Put("file one.txt", "first\n");
    Put("tree/a.txt", "0123456789");
    Put("tree/sub/b.txt", std::string(20, 'b'));
    Connect("tree");

    RunToEnd(false, {"file one.txt"}, "miDownload");
    EXPECT_EQ(ReadFile(local.path() + "/file one.txt"), "first\n");
    ExpectNothingQueued();

    const std::string box = CalculateAndDownload({"tree"});
    EXPECT_EQ(box, "Total FileSize = " + FormatBytes(std::int64_t(30)) + "\rDownload Now ?");
    EXPECT_TRUE(rec->asked.empty()) << "asked of a file not selected: " << rec->asked.front();
    EXPECT_EQ(ReadFile(local.path() + "/tree/a.txt"), "0123456789");
    EXPECT_EQ(ReadFile(local.path() + "/tree/sub/b.txt"), std::string(20, 'b'));
    EXPECT_EQ(Sent(*win, "RETR"), 3) << PageText(0);
    ExpectNothingQueued();
}

TEST_P(MainFinishedRunTest, AnUploadedFileIsNotSentAgainByCalculateSize)
{
    WriteFile(local.path() + "/ten.bin", "0123456789");
    Put("other/x.txt", "x");
    Connect("other");

    RunToEnd(true, {"ten.bin"}, "miUpload");
    ASSERT_EQ(ReadFile(server->Local("ten.bin")), "0123456789") << PageText(0);
    ExpectNothingQueued();

    // Someone changes it on the server meanwhile.
    WriteFile(server->Local("ten.bin"), "changed on the server");
    server->Adopt(server->Local("ten.bin"));
    const std::string box = CalculateAndDownload({"other"});
    EXPECT_EQ(box, "Total FileSize = " + FormatBytes(std::int64_t(1)) + "\rDownload Now ?");
    EXPECT_EQ(ReadFile(local.path() + "/other/x.txt"), "x");
    EXPECT_EQ(Sent(*win, "STOR"), 1) << PageText(0);
    EXPECT_EQ(ReadFile(server->Local("ten.bin")), "changed on the server");
    EXPECT_TRUE(rec->asked.empty());
    ExpectNothingQueued();
}

INSTANTIATE_TEST_SUITE_P(Servers, MainFinishedRunTest, ::testing::Values("vsftpd", "pyftpdlib"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace

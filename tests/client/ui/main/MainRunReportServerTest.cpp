// The end of a run tells the user of every selected file that did not come:
// names left out as unsafe while the queue was made, and items that failed
// on their own. "Transferring Completed !" only when every file came.
#include <QAction>
#include <QApplication>
#include <QTimer>
#include <filesystem>

#include "MainFixture.h"
#include "tests/client/engine/EngineServers.h"

namespace fs = std::filesystem;

namespace {

class MainRunReportTest : public MainFixture {
protected:
    std::unique_ptr<EngineServer> server;
    testsupport::TempDir local;

    void SetUp() override
    {
        MainFixture::SetUp();
        server = StartEngineServer("pyftpdlib");
        if (!server->error.empty()) GTEST_SKIP() << server->error;
    }
    void Put(const std::string& rel, const std::string& bytes)
    {
        fs::create_directories(fs::path(server->Local(rel)).parent_path());
        testsupport::WriteFile(server->Local(rel), bytes);
    }
    // Downloads the rows as a person would, and waits for the run's end.
    void Download(const QStringList& rows)
    {
        StartDownload(rows);
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2; }, 60000)) << PageText(0);
        ASSERT_TRUE(Drain()); // the boxes come through the loop, posted before the state changed
    }
    // Uploads the local rows as a person would, and waits for the run's end.
    void Upload(const QStringList& rows)
    {
        ASSERT_TRUE(SelectRows(true, rows));
        win->activateWindow();
        PaneView(true)->setFocus();
        QAction* upload = Find<QAction>("miUpload");
        ASSERT_TRUE(WaitFor([&] {
            win->UpdateEnabling();
            return upload->isEnabled();
        }));
        upload->trigger();
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2; }, 60000)) << PageText(0);
        ASSERT_TRUE(Drain()); // the boxes come through the loop, posted before the state changed
    }
    std::vector<std::string> Boxes() { return dialogs.get()->Texts(TDialogCall::kMessageBox); }
    // One connection, "Transferring Completed !" asked for, and a remote
    // extension "a" that becomes a local one too long for a file name.
    void Connect(const QString& shown)
    {
        Open([&](TClientSettings& s) {
            s.FtpCliNum = 1;
            s.LocalPath = local.path() + "/";
            s.ConfirmFlags.TransferOver = true;
            s.RenameExtList = {{std::string(252, 'x'), "a"}};
        });
        win->CommandLineUrl = "ftp://" + server->user + ":" + server->pass + "@127.0.0.1:" + std::to_string(server->port) + "/";
        win->show();
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, shown); })) << PageText(0);
    }
};

TEST_F(MainRunReportTest, SkippedAndFailedNamesAreToldNotCompleted)
{
    Put("ok.txt", "ok");
    Put("dir/fine", "fine");
    Put("dir/bad\x1b[1m", "bad");
    Put("esc\x1b[31mred", "esc");
    Put("long.a", "long");
    Connect("dir");

    // The walk of dir leaves one name out: told, not "Completed".
    Download({"dir", "ok.txt"});
    EXPECT_EQ(testsupport::ReadFile(local / "dir/fine"), "fine");
    EXPECT_EQ(testsupport::ReadFile(local / "ok.txt"), "ok");
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u) << ::testing::PrintToString(boxes);
    EXPECT_NE(boxes[0].find("1 file was not transferred"), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find("/dir/bad\\x1B[1m"), std::string::npos) << boxes[0];

    // A file picked by its escape-laden name is left out when queued; one
    // whose local name cannot be held fails alone. Both are told.
    // A modal box (the server's last reply) would be closed and noted; the
    // watch ends with the test.
    bool modal = false;
    QTimer watch;
    watch.callOnTimeout([&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            modal = true;
            box->close();
        }
    });
    watch.start(5);
    Download({QString::fromStdString("esc\x1b[31mred"), "long.a"});
    boxes = Boxes();
    ASSERT_GE(boxes.size(), 2u);
    EXPECT_TRUE(std::none_of(boxes.begin(), boxes.end(), [](const std::string& b) {
        return b.find("Transferring Completed") != std::string::npos;
    })) << ::testing::PrintToString(boxes);
    EXPECT_NE(boxes.back().find("2 files were not transferred"), std::string::npos) << boxes.back();
    EXPECT_NE(boxes.back().find("Left out, unsafe name: /esc\\x1B[31mred"), std::string::npos) << boxes.back();
    EXPECT_NE(boxes.back().find("Cannot open local file"), std::string::npos) << boxes.back();
    EXPECT_FALSE(modal) << "no server reply is shown for a file that failed alone";
    for (const auto& e : fs::directory_iterator(local.path()))
        EXPECT_EQ(e.path().filename().string().find('\x1b'), std::string::npos) << "no escape reached a local name";
    EXPECT_TRUE(win->BrokenLists().empty());

    // A selection of unsafe names only: no run, but still told.
    const auto before = Boxes().size();
    Download({QString::fromStdString("esc\x1b[31mred")});
    boxes = Boxes();
    ASSERT_EQ(boxes.size(), before + 1) << ::testing::PrintToString(boxes);
    EXPECT_NE(boxes.back().find("1 file was not transferred:\r\n  Left out, unsafe name: /esc\\x1B[31mred"),
              std::string::npos)
        << boxes.back();
}

TEST_F(MainRunReportTest, UploadsTellTheNamesTheyLeftOut)
{
    Put("here.txt", "here");
    const std::string base = local.path() + "/";
    testsupport::WriteFile(base + "up.txt", "up");
    testsupport::WriteFile(base + "up\x1b[2Jx", "top");
    fs::create_directories(base + "updir/bad\x1b]0;t\x07");
    testsupport::WriteFile(base + "updir/fine", "fine");
    testsupport::WriteFile(base + "updir/bad\x1b[1m", "bad");
    testsupport::WriteFile(base + "updir/bad\x1b]0;t\x07/inner", "inner");
    Connect("here.txt");
    ASSERT_TRUE(WaitFor([&] { return PaneShows(true, "updir"); }));

    Upload({"up.txt", QString::fromStdString("up\x1b[2Jx"), "updir"});

    EXPECT_EQ(testsupport::ReadFile(server->Local("up.txt")), "up");
    EXPECT_EQ(testsupport::ReadFile(server->Local("updir/fine")), "fine");
    for (auto it = fs::recursive_directory_iterator(server->Local("")); it != fs::recursive_directory_iterator(); ++it)
        EXPECT_EQ(it->path().string().find('\x1b'), std::string::npos) << "no escape reached a remote name";
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u) << ::testing::PrintToString(boxes);
    EXPECT_NE(boxes[0].find("3 files were not transferred"), std::string::npos) << boxes[0];
    for (const std::string name : {"up\\x1B[2Jx", "updir/bad\\x1B[1m", "updir/bad\\x1B]0;t\\x07/inner"})
        EXPECT_NE(boxes[0].find("Left out, unsafe name: " + base + name), std::string::npos) << name << "\n" << boxes[0];
    EXPECT_TRUE(win->BrokenLists().empty());

    // Unsafe names only: no run, but still told.
    Upload({QString::fromStdString("up\x1b[2Jx")});
    const auto after = Boxes();
    ASSERT_EQ(after.size(), 2u) << ::testing::PrintToString(after);
    EXPECT_EQ(after[1], "1 file was not transferred:\r\n  Left out, unsafe name: " + base + "up\\x1B[2Jx");
}

} // namespace

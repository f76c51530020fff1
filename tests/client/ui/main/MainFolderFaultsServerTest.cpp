// A folder download through the real window against vsftpd, where the
// account may not read everything: what cannot come is named in the run's
// report, every other file comes byte-exact, and no "Command Failed" box
// quotes a reply that is not the failure (a 226 of a file that came).
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <filesystem>
#include <sys/stat.h>

#include "MainServerFixture.h"

namespace fs = std::filesystem;

namespace {

// On vsftpd, whose sessions run as a user of their own: a file or folder
// of mode 0 is refused to them.
class MainFolderFaultsTest : public MainServerFixture {
protected:
    // A file of the server's, readable by it, or (mode 0) by nobody but root.
    void Put(const std::string& rel, const std::string& bytes, mode_t mode = 0644)
    {
        fs::create_directories(fs::path(server->Local(rel)).parent_path());
        for (fs::path p = fs::path(server->Local(rel)).parent_path(); p.string().size() >= server->localDir.size();
             p = p.parent_path())
            server->Adopt(p.string());
        testsupport::WriteFile(server->Local(rel), bytes);
        server->Adopt(server->Local(rel));
        ::chmod(server->Local(rel).c_str(), mode);
    }
    // Connected in the server's test folder over one connection, the local
    // folder empty.
    void Connect()
    {
        Open([&](TClientSettings& s) {
            s.FtpCliNum = 1;
            s.LocalPath = local.path() + "/";
        });
        win->CommandLineUrl = Url();
        win->show();
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, "d"); })) << PageText(0);
    }
    // Downloads folder d as a person would and waits for the run's end and
    // the boxes it posted; every "Command Failed" box that opens meanwhile
    // is closed, and its reply noted.
    void DownloadD()
    {
        QTimer watch;
        watch.callOnTimeout([&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                auto* reply = box->findChild<QLabel*>("lbResponse");
                failureBoxes.push_back(reply ? reply->text().toStdString() : box->objectName().toStdString());
                box->close();
            }
        });
        watch.start(5);
        StartDownload({"d"});
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2; }, 60000)) << PageText(0);
        ASSERT_TRUE(Drain());
        ASSERT_TRUE(Drain()) << "a box posted by the first";
    }
    // The "Not transferred" report, or empty.
    std::string Report()
    {
        for (const auto& text : dialogs.get()->Texts(TDialogCall::kMessageBox))
            if (text.find("not transferred:") != std::string::npos) return text;
        return {};
    }
    bool Came(const std::string& rel, const std::string& bytes) { return testsupport::ReadFile(local / rel) == bytes; }

    std::vector<std::string> failureBoxes;
};

// A sub-folder that cannot be entered is left out and named; the walk goes
// on, and the files beside and after it come.
TEST_P(MainFolderFaultsTest, AFolderThatCannotBeEnteredIsLeftOutAndNamed)
{
    const std::string a = testsupport::PatternBytes(3000, 1), b = testsupport::PatternBytes(5000, 2);
    Put("d/a", a);
    Put("d/sub/b", b);
    Put("d/locked/x", "x");
    ::chmod(server->Local("d/locked").c_str(), 0);
    Connect();

    DownloadD();
    EXPECT_TRUE(Came("d/a", a));
    EXPECT_TRUE(Came("d/sub/b", b));
    EXPECT_FALSE(fs::exists(local / "d/locked"));
    const std::string report = Report();
    EXPECT_EQ(report.rfind("1 folder was not transferred:", 0), 0u) << report;
    EXPECT_NE(report.find("Not listed: " + server->dir + "d/locked/: 550 "), std::string::npos) << report << "\n" << PageText(0);
    EXPECT_TRUE(failureBoxes.empty()) << failureBoxes.front();
}

// A file the server refuses (550) beside good ones fails alone: the report
// names it with its refusal, and no box quotes the server's last reply.
TEST_P(MainFolderFaultsTest, AFileRefusedBesideGoodOnesIsToldWithoutAReplyOfAnother)
{
    const std::string a = testsupport::PatternBytes(3000, 3), z = testsupport::PatternBytes(4000, 4);
    Put("d/a", a);
    Put("d/secret", "secret", 0);
    Put("d/z", z);
    Connect();

    DownloadD();
    EXPECT_TRUE(Came("d/a", a));
    EXPECT_TRUE(Came("d/z", z));
    const std::string report = Report();
    EXPECT_NE(report.find(server->dir + "d/secret failed: 550 "), std::string::npos) << report << "\n" << PageText(0);
    EXPECT_TRUE(failureBoxes.empty()) << failureBoxes.front();
    ASSERT_EQ(win->BrokenLists().size(), 1u) << "the refused file may be resumed once mended";
    EXPECT_EQ(win->BrokenLists()[0].Items.at(0).HostPath, server->dir + "d/secret");
}

INSTANTIATE_TEST_SUITE_P(Servers, MainFolderFaultsTest, ::testing::Values("vsftpd"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace

// The remote batches through the real window against real servers: a
// refused folder is told by the MKD's own reply, names keep their blanks,
// and a batch drops the cached listings of the folders it changed.
#include <QLabel>
#include <QTreeWidget>
#include <filesystem>

#include "MainServerFixture.h"
#include "ModalHelper.h"

namespace fs = std::filesystem;

namespace {

class MainBatchServerTest : public MainServerFixture {
protected:
    void Connect()
    {
        win->CommandLineUrl = Url();
        win->show();
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, "sub"); })) << PageText(0);
    }
    void ChangeDir(const std::string& path)
    {
        dialogs.get()->ReplyText(path);
        win->ChangeDirectoryClick(false);
    }
    bool Done() { return WaitFor([&] { return win->SessionState() == 2; }); }
};

TEST_P(MainBatchServerTest, MakeDirectoryTellsTheMkdReplyAndNamesKeepTheirBlanks)
{
    fs::create_directories(server->Local("sub"));
    testsupport::WriteFile(server->Local("r.txt"), "r");
    server->Adopt(server->Local("sub"));
    server->Adopt(server->Local("r.txt"));
    Open();
    Connect();
    // A folder that exists: one MKD, and its refusal is told.
    std::string shown;
    WhenModal([&](QWidget* d) {
        if (auto* l = d->findChild<QLabel*>("lbResponse")) shown = l->text().toStdString();
        d->close();
    });
    const std::size_t before = PageText(0).size();
    dialogs.get()->ReplyText("sub");
    win->MakeDirectoryClick(false);
    ASSERT_TRUE(WaitFor([&] { return !shown.empty(); })) << PageText(0);
    ASSERT_TRUE(Done()) << PageText(0);
    EXPECT_EQ(shown.rfind("550", 0), 0u) << shown;
    const std::string after = PageText(0).substr(before);
    EXPECT_EQ(after.find("CWD sub"), std::string::npos) << after;

    // Names as typed, blanks at either end included.
    dialogs.get()->ReplyText(" lead sp");
    win->MakeDirectoryClick(false);
    ASSERT_TRUE(Done()) << PageText(0);
    EXPECT_TRUE(fs::is_directory(server->Local(" lead sp"))) << PageText(0);
    ASSERT_TRUE(SelectRows(false, {"r.txt"}));
    dialogs.get()->ReplyText("trail sp ");
    win->RenameClick(false);
    ASSERT_TRUE(Done()) << PageText(0);
    EXPECT_EQ(testsupport::ReadFile(server->Local("trail sp ")), "r") << PageText(0);
}

TEST_P(MainBatchServerTest, AMoveDropsTheCachedListingsOfBothFolders)
{
    fs::create_directories(server->Local("sub"));
    testsupport::WriteFile(server->Local("moved.txt"), "m");
    server->Adopt(server->Local("sub"));
    server->Adopt(server->Local("moved.txt"));
    Open([](TClientSettings& s) { s.ConfirmFlags.MoveFiles = false; });
    Connect();
    // Both folders listed once, so both are cached.
    ChangeDir("sub");
    ASSERT_TRUE(Done()) << PageText(0);
    ChangeDir("..");
    ASSERT_TRUE(Done() && PaneShows(false, "moved.txt")) << PageText(0);
    ASSERT_TRUE(SelectRows(false, {"moved.txt"}));
    dialogs.get()->ReplyText(win->RemoteDir + "sub");
    win->MoveClick(false);
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && win->RemoteDir.find("sub/") != std::string::npos; }))
        << PageText(0);
    EXPECT_TRUE(PaneShows(false, "moved.txt")) << "the target folder listed anew";
    ChangeDir("..");
    ASSERT_TRUE(Done()) << PageText(0);
    ASSERT_TRUE(PaneShows(false, "sub"));
    EXPECT_FALSE(PaneShows(false, "moved.txt")) << "the folder the file left is listed anew";
}

INSTANTIATE_TEST_SUITE_P(Servers, MainBatchServerTest, ::testing::Values("vsftpd", "pyftpdlib"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace

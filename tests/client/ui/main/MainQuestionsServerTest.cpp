// What the window's questions leave behind, against a real server: a No to
// "Break current connection ?" leaves the session as it was, log and folder
// included; a Yes to "Open Local Directory ?" opens the folder or says why not.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QToolButton>
#include <filesystem>

#include "MainFixture.h"
#include "tests/client/engine/EngineServers.h"

namespace {

class MainQuestionsTest : public MainFixture {
protected:
    std::unique_ptr<EngineServer> server;
    testsupport::TempDir local;

    void SetUp() override
    {
        MainFixture::SetUp();
        server = StartEngineServer("pyftpdlib");
        if (!server->error.empty()) GTEST_SKIP() << server->error;
        std::filesystem::create_directories(server->Local("sub"));
        testsupport::WriteFile(server->Local("sub/f.txt"), "file");
    }
    std::string SubUrl() const
    {
        return "ftp://" + server->user + ":" + server->pass + "@127.0.0.1:" + std::to_string(server->port) + "/" +
               server->dir.substr(server->dir.front() == '/' ? 1 : 0) + "sub/";
    }
    // Connected to sub/ with one connection, f.txt shown.
    void Connect(const std::function<void(TClientSettings&)>& tweak)
    {
        Open([&](TClientSettings& s) {
            s.FtpCliNum = 1;
            s.LocalPath = local.path() + "/";
            tweak(s);
        });
        win->CommandLineUrl = SubUrl();
        win->show();
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, "f.txt"); })) << PageText(0);
    }
    std::vector<std::string> Boxes() { return dialogs.get()->Texts(TDialogCall::kMessageBox); }
    std::string CopiedUrl()
    {
        EXPECT_TRUE(SelectRows(false, {"f.txt"}));
        win->miCopyUrlClick();
        return QApplication::clipboard()->text().toStdString();
    }
};

TEST_F(MainQuestionsTest, NoToBreakingTheConnectionKeepsItsLogAndFolder)
{
    Connect([](TClientSettings& s) { s.ConfirmFlags.NewConnect = true; });
    const std::string log = PageText(0), url = CopiedUrl();
    ASSERT_NE(log.find("USER"), std::string::npos) << log;
    ASSERT_NE(url.find("/sub/f.txt"), std::string::npos) << url;

    dialogs.get()->ReplyId(IDNO);
    Find<QToolButton>("sbConnect")->click();
    ASSERT_EQ(Boxes(), std::vector<std::string>{"Break current connection ?"});
    EXPECT_EQ(win->SessionState(), 2);
    EXPECT_EQ(PageText(0), log);
    EXPECT_TRUE(PaneShows(false, "f.txt"));
    EXPECT_EQ(CopiedUrl(), url);

    // Yes: the log starts anew with the new session.
    dialogs.get()->ReplyId(IDYES);
    Find<QToolButton>("sbConnect")->click();
    ASSERT_EQ(win->SessionState(), 1);
    ASSERT_TRUE(WaitState(2)) << PageText(0);
    const std::string after = PageText(0);
    EXPECT_EQ(after.find("USER"), after.rfind("USER")) << after;
}

TEST_F(MainQuestionsTest, YesToOpeningTheLocalFolderOpensItOrSaysWhyNot)
{
    struct Case {
        const char* what;
        bool opens;
    };
    for (const Case c : {Case{"an opener", true}, Case{"no opener", false}}) {
        SCOPED_TRACE(c.what);
        Connect([](TClientSettings& s) { s.ConfirmFlags.TransferOver = true; });
        win->StartProgram = [&](const std::string& p, const std::vector<std::string>& args) {
            std::vector<std::string> v{p};
            v.insert(v.end(), args.begin(), args.end());
            started.push_back(v);
            return c.opens;
        };
        started.clear();
        dialogs.get()->Calls.clear();
        dialogs.get()->ReplyId(IDYES);
        if (!c.opens) dialogs.get()->ReplyId(IDOK);
        StartDownload({"f.txt"});
        ASSERT_TRUE(WaitFor([&] { return testsupport::ReadFile(local / "f.txt") == "file" && Boxes().size() >= (c.opens ? 1u : 2u); }))
            << PageText(0);
        ASSERT_TRUE(Drain());
        const std::string folder = local.path() + "/";
        ASSERT_EQ(started.size(), 1u);
        ASSERT_EQ(started[0].size(), 2u);
        EXPECT_NE(started[0][0].find("xdg-open"), std::string::npos) << started[0][0];
        EXPECT_EQ(started[0][1], folder);
        std::vector<std::string> told = {"Transferring Completed ! Open Local Directory ?"};
        if (!c.opens) told.push_back("Cannot open " + folder);
        EXPECT_EQ(Boxes(), told);
        win->CloseWithoutQuery();
        win.reset();
        std::filesystem::remove(local / "f.txt");
    }
}

} // namespace

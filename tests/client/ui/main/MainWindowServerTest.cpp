// The main window with the real engine against real servers on loopback:
// the project's server, vsftpd and pyftpdlib.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "MainFixture.h"
#include "ModalHelper.h"
#include "client/engine/FtpManager.h"
#include "tests/client/engine/EngineServers.h"
#include "tests/net/ftp/FakeFtpServer.h"

namespace fs = std::filesystem;

namespace {


class MainServerTest : public MainFixture, public ::testing::WithParamInterface<const char*> {
protected:
    std::unique_ptr<EngineServer> server;
    void SetUp() override
    {
        MainFixture::SetUp();
        server = StartEngineServer(GetParam());
        if (!server->error.empty()) GTEST_SKIP() << server->error;
        // A folder with a file in the server's working place.
        const std::string local = server->Local("start dir");
        fs::create_directories(local);
        testsupport::WriteFile(local + "/hello.txt", "hello");
        server->Adopt(local);
        server->Adopt(local + "/hello.txt");
    }
    // The URL of the start folder: relative to the login folder, or absolute
    // behind "//" where the server shows full paths.
    std::string Url() const
    {
        std::string auth = server->user.empty() || server->user == "anonymous" || server->user == "ftp"
                               ? std::string()
                               : server->user + ":" + server->pass + "@";
        std::string path = server->dir; // "/", "/pub/" or the server's full path
        if (path != "/" && path != "/pub/") path = "/" + path;
        return "ftp://" + auth + "127.0.0.1:" + std::to_string(server->port) + path + "start%20dir/";
    }
};

TEST_P(MainServerTest, CommandLineUrlConnectsAndListsTheStartFolder)
{
    Open([this](TClientSettings& s) {
        s.SaveLogToFile = true;
        s.LogFileName = dir / "ftp.log";
    });
    win->CommandLineUrl = Url();
    win->show();
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, "hello.txt"); }))
        << "state " << win->SessionState() << "\n" << PageText(0);
    EXPECT_NE(win->RemoteDir.find("start dir/"), std::string::npos) << win->RemoteDir;
    EXPECT_EQ(win->windowTitle().toStdString(), TfmMain::Title() + " - 127.0.0.1");
    EXPECT_EQ(win->StatusText(0), "Connected");
    if (server->user.empty() || server->name == "vsftpd") {
        // No user in the URL: anonymous with the address, on the URL's port.
        EXPECT_EQ(Find<QLineEdit>("edUser")->text(), "anonymous");
        EXPECT_EQ(Find<QLineEdit>("edPass")->text().toStdString(), win->Settings().AnonymousEmail);
    } else {
        const std::string page = PageText(0);
        EXPECT_NE(page.find("<COMMAND>    PASS ********"), std::string::npos);
        EXPECT_EQ(page.find(server->pass + "\n"), std::string::npos);
        const std::string file = testsupport::ReadFile(dir / "ftp.log");
        EXPECT_NE(file.find("PASS ********"), std::string::npos);
        EXPECT_EQ(file.find("PASS " + server->pass), std::string::npos);
    }
    const std::string file = testsupport::ReadFile(dir / "ftp.log");
    const auto logTime = file.find("[Log Time] ");
    const auto connecting = file.find("Connecting to");
    ASSERT_NE(logTime, std::string::npos);
    EXPECT_LT(logTime, connecting);
    // Connected, the history holds the site with its password.
    EXPECT_FALSE(win->Settings().QuickConnectList.empty());
}

TEST_P(MainServerTest, QuickBarConnectsDisconnectsAndReconnects)
{
    Open([](TClientSettings& s) { s.ConfirmFlags.Disconnect = true; });
    win->show();
    Find<QComboBox>("cbHostName")->setEditText("127.0.0.1");
    Find<QLineEdit>("edPort")->setText(QString::number(server->port));
    Find<QLineEdit>("edUser")->setText(QString::fromStdString(server->user.empty() ? "anonymous" : server->user));
    Find<QLineEdit>("edPass")->setText(QString::fromStdString(server->pass.empty() ? "a@b.c" : server->pass));
    Find<QAction>("miConnect")->trigger();
    ASSERT_TRUE(WaitState(2)) << PageText(0);
    EXPECT_TRUE(WaitFor([&] { return PaneRowCount(false) > 1; }));
    const std::string first = win->RemoteDir;

    dialogs.get()->ReplyId(IDYES);
    win->sbDisconnectClick();
    EXPECT_EQ(dialogs.get()->Texts(TDialogCall::kMessageBox).back(), "Disconnect Now ?");
    EXPECT_EQ(win->SessionState(), 0);
    // The rows stay until the next listing; nothing acts on them meanwhile.
    const int rows = PaneRowCount(false);
    EXPECT_GT(rows, 1);
    EXPECT_FALSE(Find<QAction>("miDownload")->isEnabled());
    EXPECT_EQ(win->windowTitle().toStdString(), TfmMain::Title() + " - Not connected");

    win->miReconnectClick();
    ASSERT_TRUE(WaitState(2)) << PageText(0);
    EXPECT_EQ(win->RemoteDir, first);
    EXPECT_TRUE(WaitFor([&] { return PaneRowCount(false) > 1; }));
    // While connected, Connect again asks before it breaks the session.
    dialogs.get()->ReplyId(IDNO);
    win->sbConnectClick();
    EXPECT_EQ(dialogs.get()->Texts(TDialogCall::kMessageBox).back(), "Break current connection ?");
    EXPECT_EQ(win->SessionState(), 2);
    dialogs.get()->ReplyId(IDYES);
    win->sbDisconnectClick();
}

// Completing a typed host never brings in a history entry's port, user and
// password: Enter connects with what the user typed.
TEST_P(MainServerTest, HostCompletionLeavesTheTypedFieldsAlone)
{
    Open([](TClientSettings& s) { s.QuickConnectList = {"127.0.0.1:1:nobody:wrong", "127.0.0.2:21:other:x"}; });
    win->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(win.get()));
    auto* host = Find<QComboBox>("cbHostName");
    host->setEditText("");
    const std::string user = server->user.empty() ? "anonymous" : server->user;
    Find<QLineEdit>("edPort")->setText(QString::number(server->port));
    Find<QLineEdit>("edUser")->setText(QString::fromStdString(user));
    Find<QLineEdit>("edPass")->setText(QString::fromStdString(server->pass));
    host->setFocus();
    QTest::keyClicks(host->lineEdit(), "127.0.0.");
    QTest::keyClick(host->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(Find<QLineEdit>("edPort")->text().toInt(), server->port);
    EXPECT_EQ(Find<QLineEdit>("edUser")->text().toStdString(), user);
    ASSERT_TRUE(WaitState(2)) << "state " << win->SessionState() << "\n" << PageText(0);
    EXPECT_EQ(win->Engine().GetHostInfo().HostName, "127.0.0.1");
    EXPECT_EQ(win->Engine().GetHostInfo().UserName, user);
    dialogs.get()->ReplyId(IDYES);
    win->sbDisconnectClick();
}

INSTANTIATE_TEST_SUITE_P(Servers, MainServerTest, ::testing::Values("portlorn", "vsftpd", "pyftpdlib"),
                         [](const auto& info) { return std::string(info.param); });

class MainPortlornTest : public MainFixture {
protected:
    std::unique_ptr<EngineServer> server;
    void SetUp() override
    {
        MainFixture::SetUp();
        server = StartEngineServer("portlorn");
        if (!server->error.empty()) GTEST_SKIP() << server->error;
    }
    void FillBar(const std::string& pass)
    {
        Find<QComboBox>("cbHostName")->setEditText("127.0.0.1");
        Find<QLineEdit>("edPort")->setText(QString::number(server->port));
        Find<QLineEdit>("edUser")->setText(QString::fromStdString(server->user));
        Find<QLineEdit>("edPass")->setText(QString::fromStdString(pass));
    }
};

TEST_F(MainPortlornTest, ARefusedLoginShowsTheServersReply)
{
    Open();
    win->show();
    FillBar("wrong");
    std::string shown;
    WhenModal([&](QWidget* dialog) {
        shown = dialog->objectName().toStdString() + ": " + dialog->findChild<QLabel*>("lbResponse")->text().toStdString();
        dialog->close();
    });
    win->sbConnectClick();
    ASSERT_TRUE(WaitFor([&] { return !shown.empty(); })) << PageText(0);
    EXPECT_NE(shown.find("530"), std::string::npos) << shown;
    EXPECT_EQ(win->SessionState(), 0);
}

// A connect aborted at each moment of the login: the server holds its reply
// until the client closes the connection.
TEST_F(MainFixture, AnAbortedConnectShowsNothing)
{
    using namespace fakeftp;
    Open([](TClientSettings& s) { s.ConfirmFlags.Abort = false; });
    win->show();
    const Step hold = [](Session& s) {
        if (!s.WaitControlClosed(20000)) s.Fail("the aborted connection stayed open");
    };
    const Step user = [](Session& s) {
        s.Expect("USER ");
        s.Reply("331 send password");
    };
    const struct {
        const char* moment;
        std::vector<Step> script;
        const char* shown; // the log line after which the abort comes
    } cases[] = {
        {"before the welcome", {hold}, "Session connected"},
        {"USER unanswered", {Welcome(), [&](Session& s) { s.Expect("USER "); hold(s); }}, "<COMMAND>    USER "},
        {"PASS unanswered", {Welcome(), user, [&](Session& s) { s.Expect("PASS "); hold(s); }}, "<COMMAND>    PASS "},
        // The server's probe after the login waits in the loop, not in place.
        {"logged in, SYST unanswered", {Welcome(), Login(), [&](Session& s) { s.Expect("SYST"); hold(s); }},
         "<COMMAND>    SYST"},
        {"logged in, PWD unanswered",
         {Welcome(), Login(), Answer("SYST", "215 UNIX Type: L8"), Answer("TYPE I", "200 Type set to I"),
          Answer("REST 100", "350 Restarting at 100"), Answer("REST 0", "350 Restarting at 0"),
          [&](Session& s) { s.Expect("PWD"); hold(s); }},
         "<COMMAND>    PWD"},
    };
    // Each case connects again after the abort before it: the window stays
    // ready. Any box that shows is noted and closed.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.moment);
        FakeFtpServer server(c.script);
        Find<QComboBox>("cbHostName")->setEditText("127.0.0.1");
        Find<QLineEdit>("edPort")->setText(QString::number(server.Port()));
        Find<QLineEdit>("edUser")->setText("u");
        Find<QLineEdit>("edPass")->setText("x");
        // The abort comes from the event loop, as a click would.
        bool aborted = false, modal = false;
        QTimer watch;
        watch.setInterval(5);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                modal = true;
                dialog->close();
            }
            if (!aborted && PageText(0).find(c.shown) != std::string::npos) {
                aborted = true;
                EXPECT_TRUE(Find<QAction>("tbAbort")->isEnabled());
                win->sbAbortClick();
                EXPECT_EQ(win->SessionState(), 0);
            }
        });
        watch.start();
        win->sbConnectClick();
        EXPECT_EQ(win->SessionState(), 1);
        EXPECT_TRUE(Find<QAction>("tbAbort")->isEnabled());
        ASSERT_TRUE(WaitFor([&] { return aborted; })) << PageText(0);
        EXPECT_TRUE(server.Join(20000));
        EXPECT_TRUE(server.Errors().empty()) << server.Errors().front();
        // A box would come from an event already posted: run those first.
        bool flushed = false;
        QTimer::singleShot(0, [&] { flushed = true; });
        ASSERT_TRUE(WaitFor([&] { return flushed; }));
        watch.stop();
        EXPECT_FALSE(modal || QApplication::activeModalWidget());
        EXPECT_EQ(win->SessionState(), 0);
        EXPECT_TRUE(Find<QAction>("tbConnect")->isEnabled());
        EXPECT_FALSE(Find<QAction>("tbAbort")->isEnabled());
        const std::string page = PageText(0);
        EXPECT_NE(page.find("User Aborted"), std::string::npos) << page;
        EXPECT_EQ(page.find("Connection Failed"), std::string::npos) << page;
    }
}

TEST_F(MainPortlornTest, ALostConnectionLogsItAndStaysReady)
{
    Open();
    win->show();
    FillBar(server->pass);
    win->sbConnectClick();
    ASSERT_TRUE(WaitState(2)) << PageText(0);
    ASSERT_TRUE(WaitFor([&] { return PaneRowCount(false) > 0; }));
    server->runner.kill();
    ASSERT_TRUE(WaitFor([&] { return PageText(0).find("Connection Lost") != std::string::npos; })) << PageText(0);
    EXPECT_EQ(win->SessionState(), 0);
    EXPECT_GT(PaneRowCount(false), 0) << "the rows stay until the next listing";
    // A failure the engine reports afterwards does not make it "Connected".
    win->OperationFailed();
    EXPECT_EQ(win->SessionState(), 0);
}

TEST_F(MainPortlornTest, AMaskedTextThatIsNoHistoryEntryKeepsTheBarsPassword)
{
    Open();
    win->show();
    FillBar(server->pass);
    Find<QComboBox>("cbHostName")->setEditText(
        QString::fromStdString("127.0.0.1:" + std::to_string(server->port) + ":" + server->user + ":********"));
    win->sbConnectClick();
    ASSERT_TRUE(WaitState(2)) << PageText(0);
    EXPECT_EQ(Find<QLineEdit>("edPass")->text().toStdString(), server->pass);
}

// A window whose log hook runs another anti-idle tick while a command waits
// for its reply, as a timer event pumped by that wait would.
class ReentrantMain : public TfmMain {
public:
    using TfmMain::TfmMain;
    int nestedTicks = 0;
    void ClientDisplay(TObject* Sender, std::string& Msg) override
    {
        TfmMain::ClientDisplay(Sender, Msg);
        if (Msg.rfind("<COMMAND>", 0) == 0 && nestedTicks < 3) {
            ++nestedTicks;
            tiAntiIdleTimer();
        }
    }
};

TEST_F(MainPortlornTest, AnAntiIdleTickInsideTheWaitOfAnotherSendsNothing)
{
    make = [](const std::string& program) { return std::make_unique<ReentrantMain>(program); };
    Open();
    auto& w = static_cast<ReentrantMain&>(*win);
    w.nestedTicks = 3; // quiet while logging in
    win->show();
    FillBar(server->pass);
    win->sbConnectClick();
    ASSERT_TRUE(WaitState(2)) << PageText(0);
    win->ClearAllLogs();
    w.nestedTicks = 0;
    win->tiAntiIdleTimer();
    EXPECT_GE(w.nestedTicks, 1);
    int commands = 0;
    for (const auto& line : QString::fromStdString(PageText(0)).split('\n'))
        if (line.startsWith("<COMMAND>")) ++commands;
    EXPECT_EQ(commands, 1) << PageText(0);
    EXPECT_EQ(win->SessionState(), 2);
}

TEST_F(MainPortlornTest, AnEmptyPortIsRefusedWithAMessage)
{
    Open();
    FillBar(server->pass);
    Find<QComboBox>("cbHostName")->setEditText("127.0.0.1:");
    dialogs.get()->ReplyId(IDOK);
    win->sbConnectClick();
    EXPECT_EQ(win->SessionState(), 0);
    ASSERT_EQ(dialogs.get()->Calls.size(), 1u);
    EXPECT_NE(dialogs.get()->Calls[0].text.find("port"), std::string::npos);
}

} // namespace

TEST_F(MainPortlornTest, BrowseServerOpensOnTheQuickBarsSite)
{
    Open();
    win->show();
    // An empty host box opens nothing.
    Find<QComboBox>("cbHostName")->setEditText("");
    Find<QAction>("miBrowseServer")->trigger();

    FillBar(server->pass);
    std::string caption;
    int rows = 0;
    WhenModal([&](QWidget* dialog) {
        caption = dialog->windowTitle().toStdString();
        auto* list = dialog->findChild<QTreeWidget*>("ListView1");
        WaitFor([&] { return list && list->topLevelItemCount() > 0; });
        rows = list ? list->topLevelItemCount() : 0;
        dialog->close();
    });
    Find<QAction>("miBrowseServer")->trigger();
    EXPECT_EQ(caption, "Browse Server");
    EXPECT_GT(rows, 0);
    // The browsing window has a connection of its own: the main window's session is untouched.
    EXPECT_EQ(win->SessionState(), 0);
}

TEST_F(MainPortlornTest, ModemConnectWithoutTheDialServiceSaysSoAndConnects)
{
    // Linux has no remote access service: dialling cannot be done, and the
    // network is there without it.
    Open([](TClientSettings& s) { s.DialUPType = 1; });
    win->show();
    FillBar(server->pass);
    dialogs.get()->ReplyId(IDOK);
    win->sbConnectClick();
    ASSERT_TRUE(WaitState(2)) << PageText(0);
    const auto texts = dialogs.get()->Texts(TDialogCall::kMessageBox);
    ASSERT_FALSE(texts.empty());
    EXPECT_NE(texts.front().find("RASAPI32"), std::string::npos) << texts.front();
}

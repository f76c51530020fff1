// The two browsing windows on the real widgets, against real servers and,
// for replies no real server gives, the scripted one.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <chrono>
#include <filesystem>
#include <sys/stat.h>

#include "client/browser/Browser.h"
#include "client/browser/BrowserServer.h"
#include "client/browser/Remote.h"
#include "client/engine/CommFunc.h"
#include "net/FtpCli.h"
#include "os/MessageTarget.h"
#include "platform/dialogs/ScriptedDialogs.h"
#include "tests/client/browser/BrowserPeers.h"
#include "tests/client/browser/BrowserScripts.h"

using namespace browser;

using namespace fakeftp;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

template <class T>
T* Child(QWidget* parent, const char* name)
{
    auto* w = parent->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
}

std::vector<std::string> Column0(QTreeWidget* list)
{
    std::vector<std::string> out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) out.push_back(list->topLevelItem(i)->text(0).toStdString());
    return out;
}

QTreeWidgetItem* ChildNamed(QTreeWidgetItem* node, const std::string& name)
{
    for (int i = 0; node && i < node->childCount(); ++i)
        if (node->child(i)->text(0).toStdString() == name) return node->child(i);
    return nullptr;
}

// Waits until the GUI thread has delivered what was posted to it before the
// call: the socket events of the os loop first, then Qt's queued calls (a
// handler of the first may post one of the second).
bool Drain()
{
    auto reached = std::make_shared<bool>(false);
    os::HWND marker = os::CreateMessageTarget([reached](os::UINT, os::WPARAM, os::LPARAM) {
        QMetaObject::invokeMethod(qApp, [reached] { *reached = true; }, Qt::QueuedConnection);
        return os::LRESULT(0);
    });
    os::PostMessage(marker, os::WM_USER, 0, 0);
    const bool done = QTest::qWaitFor([reached] { return *reached; }, 20000);
    os::DestroyMessageTarget(marker);
    return done;
}

class BrowserWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto d = std::make_unique<TScriptedDialogs>();
        dialogs = d.get();
        previous = SetDialogs(std::move(d));
    }
    void TearDown() override { SetDialogs(std::move(previous)); }
    TScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<TDialogs> previous;
};

TEST_F(BrowserWindows, FtpBrowserShowsListsAndChangesTheServer)
{
    auto server = browsertest::StartServer("pyftpdlib");
    ASSERT_TRUE(server->error.empty()) << server->error;
    ::mkdir((server->root + "/sub").c_str(), 0777);
    testsupport::WriteFile(server->root + "/sub/inner.txt", "inner");
    testsupport::WriteFile(server->root + "/a.txt", std::string(1536000, 'a'));
    testsupport::WriteFile(server->root + "/b.txt", "b");

    TfmBrowser form;
    auto& view = form.View();
    auto* tree = Child<QTreeWidget>(&form, "tvFolder");
    auto* list = Child<QTreeWidget>(&form, "lvFile");
    auto* status = Child<QLabel>(&form, "StatusBar");
    view.SetHostName("127.0.0.1");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "127.0.0.1");
    view.Manager().Connect({"127.0.0.1", std::to_string(server->port), server->user, server->pass});
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->topLevelItemCount() == 3; }, 20000));
    EXPECT_EQ(Column0(list), (std::vector<std::string>{"sub", "a.txt", "b.txt"}));
    EXPECT_EQ(status->text().toStdString(), "1 folder and 2 files listed. (1,500 KB)");
    EXPECT_EQ(list->topLevelItem(1)->text(1).toStdString(), "1,500 KB");
    EXPECT_EQ(list->topLevelItem(2)->text(1).toStdString(), "0 KB");
    auto* root = tree->topLevelItem(0);
    EXPECT_TRUE(root->isExpanded());
    auto* sub = ChildNamed(root, "sub");
    ASSERT_NE(sub, nullptr);

    // A folder never listed is listed once; shown again from the cache.
    tree->setCurrentItem(sub);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Column0(list) == std::vector<std::string>{"inner.txt"}; }, 20000));
    auto* log = Child<QPlainTextEdit>(&form, "reLog");
    const auto commands = log->toPlainText().count("accecped command");
    tree->setCurrentItem(root);
    EXPECT_EQ(list->topLevelItemCount(), 3);
    tree->setCurrentItem(sub);
    EXPECT_EQ(Column0(list), std::vector<std::string>{"inner.txt"});
    EXPECT_EQ(view.Manager().Pending(), 0);
    EXPECT_EQ(log->toPlainText().count("accecped command"), commands);

    // A new file shows after REFRESH.
    testsupport::WriteFile(server->root + "/sub/later.txt", "x");
    view.ButtonClick("REFRESH");
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->topLevelItemCount() == 2; }, 20000));

    // NEW DIR, then a failing one that shows its error and does not refresh.
    dialogs->ReplyText("made");
    view.ButtonClick("NEW DIR");
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->topLevelItemCount() == 3; }, 20000));
    EXPECT_TRUE(std::filesystem::is_directory(server->root + "/sub/made"));
    dialogs->ReplyText("made");
    view.ButtonClick("NEW DIR");
    ASSERT_TRUE(QTest::qWaitFor([&] { return log->toPlainText().contains("Make dir failed("); }, 20000));

    // A re-sort drops the selection; DELETE asks first and deletes what was picked.
    list->topLevelItem(0)->setSelected(true);
    list->header()->sectionClicked(1);
    EXPECT_TRUE(list->selectedItems().isEmpty());
    QTreeWidgetItem* later = nullptr;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(0) == "later.txt") later = list->topLevelItem(i);
    ASSERT_NE(later, nullptr);
    later->setSelected(true);
    dialogs->ReplyId(IDNO);
    view.ButtonClick("DELETE");
    EXPECT_TRUE(std::filesystem::exists(server->root + "/sub/later.txt"));
    later->setSelected(true);
    dialogs->ReplyId(IDYES);
    view.ButtonClick("DELETE");
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->topLevelItemCount() == 2; }, 20000));
    EXPECT_FALSE(std::filesystem::exists(server->root + "/sub/later.txt"));
    EXPECT_EQ(dialogs->Texts(TDialogCall::kMessageBox), (std::vector<std::string>{"Delete later.txt?", "Delete later.txt?"}));
}

TEST_F(BrowserWindows, FtpBrowserOpensALinkByItsName)
{
    FakeFtpServer server({Welcome(), Login(), Answer("TYPE I", "200 binary"), Answer("REST 1", "350 restart"),
                          Answer("TYPE A", "200 ascii"), ActiveList("lrwxrwxrwx 1 a b 7 Jan 1 2020 up -> /srv/up\r\n"),
                          Answer("PWD", "257 \"/\""), Answer("CWD /up", "250 ok"),
                          ActiveList("-rw-r--r-- 1 a b 1 Jan 1 2000 in.txt\r\n"), Answer("PWD", "257 \"/srv/up\""),
                          Silent()});
    TfmBrowser form;
    auto* tree = Child<QTreeWidget>(&form, "tvFolder");
    auto* list = Child<QTreeWidget>(&form, "lvFile");
    form.View().SetHostName("127.0.0.1");
    form.View().Manager().Connect({"127.0.0.1", std::to_string(server.Port()), "user", "pass"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->topLevelItemCount() == 1; }, 20000));
    EXPECT_EQ(list->topLevelItem(0)->text(0), "up -> /srv/up");
    list->setCurrentItem(list->topLevelItem(0));
    list->itemDoubleClicked(list->topLevelItem(0), 0);
    ASSERT_EQ(tree->currentItem()->text(0), "up");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Column0(list) == std::vector<std::string>{"in.txt"}; }, 20000));
}

TEST_F(BrowserWindows, ClosingTheFtpBrowserMidCommandEndsAtOnce)
{
    FakeFtpServer server({Welcome(), [](Session& s) {
                              s.Expect("USER");
                              s.WaitControlClosed(15000);
                          }});
    auto form = std::make_unique<TfmBrowser>();
    form->View().SetHostName("127.0.0.1");
    form->View().Manager().Connect({"127.0.0.1", std::to_string(server.Port()), "user", "pass"});
    auto* log = Child<QPlainTextEdit>(form.get(), "reLog");
    ASSERT_TRUE(QTest::qWaitFor([&] { return log->toPlainText().contains("<COMMAND>    USER"); }, 20000));
    const auto start = Clock::now();
    form.reset();
    EXPECT_LT(Clock::now() - start, 2s);
}

TEST_F(BrowserWindows, FtpBrowserAbortRefreshesNothingForTheCommandsItEnded)
{
    // The listing of "pub" never ends; make, delete and rename wait behind it.
    FakeFtpServer server(ConnectScript({Answer("CWD /pub", "250 ok"), EndlessList()}));
    TfmBrowser form;
    auto& view = form.View();
    auto* tree = Child<QTreeWidget>(&form, "tvFolder");
    auto* list = Child<QTreeWidget>(&form, "lvFile");
    auto* log = Child<QPlainTextEdit>(&form, "reLog");
    view.SetHostName("127.0.0.1");
    view.Manager().Connect({"127.0.0.1", std::to_string(server.Port()), "user", "pass"});
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->topLevelItemCount() == 2; }, 20000)) << log->toPlainText().toStdString();
    auto* root = tree->topLevelItem(0);
    tree->setCurrentItem(ChildNamed(root, "pub"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return log->toPlainText().contains("150 never ends"); }, 20000));
    // Back on the listed root, the user asks for more while the listing hangs.
    tree->setCurrentItem(root);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    dialogs->ReplyText("made");
    view.ButtonClick("NEW DIR");
    list->topLevelItem(1)->setSelected(true);
    dialogs->ReplyId(IDYES);
    view.ButtonClick("DELETE");
    list->setCurrentItem(list->topLevelItem(1));
    dialogs->ReplyText("b.txt");
    view.ButtonClick("RENAME");
    ASSERT_EQ(view.Manager().Pending(), 4);

    view.ButtonClick("ABORT");
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.Manager().Pending() == 0; }, 5000));
    // The abort closed the session: the server has read all the client sent.
    ASSERT_TRUE(server.Join());
    ASSERT_TRUE(Drain());
    // The four came back aborted, and nothing was handed over after them.
    EXPECT_EQ(view.Manager().Pending(), 0);
    EXPECT_EQ(view.Manager().LastReply(), brAborted);
    for (const auto& c : server.Commands()) {
        EXPECT_NE(c.rfind("MKD", 0), 0u) << c;
        EXPECT_NE(c.rfind("DELE", 0), 0u) << c;
        EXPECT_NE(c.rfind("RNFR", 0), 0u) << c;
    }
    EXPECT_EQ(log->toPlainText().count("accecped command"), 5) << log->toPlainText().toStdString();
}

struct BrowseServer {
    TfmBrowserServer form;
    QTreeWidget* list;
    QLabel* status;
    QPlainTextEdit* log;
    QComboBox* combo;
    BrowseServer(int port, const std::string& user, const std::string& pass)
    {
        list = Child<QTreeWidget>(&form, "ListView1");
        status = Child<QLabel>(&form, "Panel2");
        log = Child<QPlainTextEdit>(&form, "RichEdit1");
        combo = Child<QComboBox>(&form, "ComboBox1");
        form.Client().SetHostName("127.0.0.1");
        form.Client().SetPort(std::to_string(port));
        form.Client().SetUserName(user);
        form.Client().SetPassWord(pass);
        form.Remote().Connect();
    }
    bool WaitIdle() { return QTest::qWaitFor([&] { return form.Remote().State() == TRemote::rsIdle; }, 20000); }
    void DoubleClick(const std::string& name)
    {
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->text(0).toStdString() == name) {
                list->setCurrentItem(list->topLevelItem(i));
                list->itemDoubleClicked(list->topLevelItem(i), 0);
                return;
            }
        ADD_FAILURE() << "no row " << name;
    }
};

TEST_F(BrowserWindows, BrowseServerListsAndChangesFolders)
{
    auto server = browsertest::StartServer("portlorn");
    ASSERT_TRUE(server->error.empty()) << server->error;
    ::mkdir((server->root + "/sub").c_str(), 0755);
    testsupport::WriteFile(server->root + "/sub/inner.txt", "inner");
    testsupport::WriteFile(server->root + "/big.bin", std::string(1234567, 'x'));
    BrowseServer b(server->port, server->user, server->pass);
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.combo->count() == 1; }, 20000)) << b.log->toPlainText().toStdString();
    EXPECT_EQ(Column0(b.list), (std::vector<std::string>{"..", "sub", "big.bin"}));
    EXPECT_EQ(b.list->topLevelItem(2)->text(1).toStdString(), "1,234,567");
    // Every row's size counts, the folder's too.
    struct stat st {};
    ::stat((server->root + "/sub").c_str(), &st);
    EXPECT_EQ(b.status->text().toStdString(),
              "1 folder(s) 1 file(s) " + FormatThousands(std::int64_t(1234567 + st.st_size)) + " byte(s) listed");
    // This server names folders by their local paths.
    const std::string top = server->root + "/";
    EXPECT_EQ(b.combo->currentText().toStdString(), top);
    EXPECT_TRUE(b.log->toPlainText().contains("<COMMAND>    PASS ********"));
    EXPECT_FALSE(b.log->toPlainText().contains(QString::fromStdString("PASS " + server->pass)));

    b.DoubleClick("sub");
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.combo->count() == 2; }, 20000));
    EXPECT_EQ(b.combo->currentText().toStdString(), top + "sub/");
    EXPECT_EQ(Column0(b.list), (std::vector<std::string>{"..", "inner.txt"}));
    // ".." is a folder row: double click goes up.
    b.DoubleClick("..");
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.combo->count() == 3; }, 20000));
    EXPECT_EQ(b.combo->currentText().toStdString(), top);

    // Name twice reverses the order; Attr does nothing.
    b.list->header()->sectionClicked(0);
    EXPECT_EQ(Column0(b.list), (std::vector<std::string>{"..", "sub", "big.bin"}));
    b.list->header()->sectionClicked(3);
    EXPECT_EQ(Column0(b.list), (std::vector<std::string>{"..", "sub", "big.bin"}));

    // Type-ahead finds a row, goes on over short pauses (each measured from
    // the key before), and starts afresh after a pause of more than a second.
    // No row begins with "i" or "g": only the whole prefix finds big.bin.
    auto now = Clock::now();
    b.form.Remote().Now = [&now] { return now; };
    b.list->setFocus();
    QTest::keyClicks(b.list, "b");
    ASSERT_NE(b.list->currentItem(), nullptr);
    EXPECT_EQ(b.list->currentItem()->text(0), "big.bin");
    for (const char* key : {"i", "g"}) {
        b.list->setCurrentItem(nullptr);
        now += 900ms;
        QTest::keyClicks(b.list, key);
        ASSERT_NE(b.list->currentItem(), nullptr) << "the prefix was dropped at " << key;
        EXPECT_EQ(b.list->currentItem()->text(0), "big.bin");
    }
    now += 1001ms;
    b.list->setCurrentItem(nullptr);
    QTest::keyClicks(b.list, "s");
    ASSERT_NE(b.list->currentItem(), nullptr);
    EXPECT_EQ(b.list->currentItem()->text(0), "sub");
    EXPECT_TRUE(dialogs->Calls.empty());
}

TEST_F(BrowserWindows, BrowseServerSendsNoPasswordAfterA230)
{
    auto server = browsertest::StartServer("vsftpd");
    ASSERT_TRUE(server->error.empty()) << server->error;
    BrowseServer b(server->port, server->user, server->pass);
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.combo->count() == 1; }, 20000)) << b.log->toPlainText().toStdString();
    EXPECT_FALSE(b.log->toPlainText().contains("<COMMAND>    PASS"));
    EXPECT_TRUE(dialogs->Calls.empty());
}

TEST_F(BrowserWindows, BrowseServerRefusedLoginShowsOneErrorAndStaysUsable)
{
    auto server = browsertest::StartServer("pyftpdlib");
    ASSERT_TRUE(server->error.empty()) << server->error;
    BrowseServer b(server->port, server->user, "wrong");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs->Calls.empty(); }, 20000));
    // The refusal ended the step: nothing already on its way adds a box.
    EXPECT_EQ(b.form.Remote().State(), TRemote::rsIdle);
    ASSERT_TRUE(Drain());
    EXPECT_EQ(dialogs->Texts(TDialogCall::kMessageBox), std::vector<std::string>{"error"});
    EXPECT_EQ(b.list->topLevelItemCount(), 0);
    b.list->setFocus();
    QTest::keyClick(b.list, Qt::Key_Backspace);
    QTest::keyClick(b.list, Qt::Key_Return);
    EXPECT_EQ(b.form.Remote().State(), TRemote::rsIdle);
}

TEST_F(BrowserWindows, BrowseServerLinkRowIsAFolderOpenedByItsName)
{
    FakeFtpServer server({Welcome(), Login(),
                          ActiveList("lrwxrwxrwx 1 a b 7 Jan 1 2020 up -> /srv/up\r\n"
                                     "01-31-02  03:15PM                  12 dos.txt\r\n"),
                          Answer("PWD", "257 \"/\""), Answer("CWD up", "250 ok"), ActiveList(""),
                          Answer("PWD", "257 \"/up\""), Silent()});
    BrowseServer b(server.Port(), "user", "pass");
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.combo->count() == 1; }, 20000)) << b.log->toPlainText().toStdString();
    EXPECT_EQ(Column0(b.list), (std::vector<std::string>{"..", "up"}));
    b.DoubleClick("up");
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.combo->count() == 2; }, 20000)) << b.log->toPlainText().toStdString();
    EXPECT_EQ(b.combo->currentText().toStdString(), "/up/");
}

TEST_F(BrowserWindows, BrowseServerIgnoresClicksWhileBusyAndReportsALostConnection)
{
    FakeFtpServer server({Welcome(), Login(), ActiveList(kListing), Answer("PWD", "257 \"/\""), Answer("CWD pub", "250 ok"),
                          [](Session& s) {
                              s.ActiveFromPort(s.Expect("PORT"));
                              s.Reply("200 PORT ok");
                              s.Expect("LIST");
                              s.Reply("150 slow listing");
                              s.Sleep(600);
                              s.OpenData();
                              s.CloseData();
                              s.Reply("226 done");
                          },
                          Answer("PWD", "257 \"/pub\""), [](Session& s) { s.CloseControl(); }});
    BrowseServer b(server.Port(), "user", "pass");
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.combo->count() == 1; }, 20000)) << b.log->toPlainText().toStdString();
    b.DoubleClick("pub");
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.log->toPlainText().contains("150 slow listing"); }, 20000));
    // The old rows are still there, but a change now would cut the listing short.
    b.DoubleClick("..");
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.combo->count() == 2; }, 20000)) << b.log->toPlainText().toStdString();
    EXPECT_EQ(Column0(b.list), std::vector<std::string>{".."});
    ASSERT_TRUE(server.Join());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !b.form.Client().HasSession(); }, 20000));
    b.DoubleClick("..");
    EXPECT_EQ(dialogs->Texts(TDialogCall::kMessageBox), std::vector<std::string>{"error"});
    EXPECT_TRUE(dialogs->Texts(TDialogCall::kError).empty());
    EXPECT_TRUE(b.log->toPlainText().contains("not connected"));
    for (const auto& c : server.Commands()) EXPECT_NE(c, "CWD ..");
}

TEST_F(BrowserWindows, BrowseServerEndsAStepTheServerNeverAnswers)
{
    struct Case {
        const char* what;
        std::vector<Step> script;
        bool listedFirst;
    };
    const Case cases[] = {
        {"login", {Welcome(), NoAnswerTo("USER")}, false},
        {"listing", {Welcome(), Login(), EndlessList()}, false},
        {"folder change", {Welcome(), Login(), ActiveList(kListing), Answer("PWD", "257 \"/\""), NoAnswerTo("CWD")},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dialogs->Calls.clear();
        FakeFtpServer server(c.script);
        TfmBrowserServer form;
        // The window's own limit is the FTP browser's ten seconds; a second here.
        EXPECT_EQ(form.Client().Timeout(), 10);
        form.Client().SetTimeout(1);
        form.Client().SetHostName("127.0.0.1");
        form.Client().SetPort(std::to_string(server.Port()));
        form.Client().SetUserName("user");
        form.Client().SetPassWord("pass");
        auto* combo = Child<QComboBox>(&form, "ComboBox1");
        auto* log = Child<QPlainTextEdit>(&form, "RichEdit1");
        form.Remote().Connect();
        if (c.listedFirst) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return combo->count() == 1; }, 20000)) << log->toPlainText().toStdString();
            form.Remote().ChangeDir("pub");
        }
        const auto start = Clock::now();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs->Calls.empty(); }, 8000)) << log->toPlainText().toStdString();
        EXPECT_LT(Clock::now() - start, 4s);
        // The time-out dropped the session, and what it set going has arrived.
        ASSERT_TRUE(server.Join());
        ASSERT_TRUE(Drain());
        EXPECT_EQ(dialogs->Texts(TDialogCall::kMessageBox), std::vector<std::string>{"error"});
        EXPECT_EQ(form.Remote().State(), TRemote::rsIdle);
        EXPECT_TRUE(log->toPlainText().contains("<ERROR>      426 Timeout")) << log->toPlainText().toStdString();
    }
}

} // namespace

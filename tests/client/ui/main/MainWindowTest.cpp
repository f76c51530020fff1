// The main window without a server: start-up, shutdown, the close query,
// log pages, timers and the wiring of every command.
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QMetaMethod>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <set>

#include "MainFixture.h"
#include "ModalHelper.h"
#include "rtl/IniFile.h"
#include "widgets/skStatusBar.h"

namespace fs = std::filesystem;

namespace {

// Whether a signal has a receiver (the query is protected in QObject).
struct SignalPeek : QObject {
    static bool Connected(const QObject* o, const QMetaMethod& m) { return (o->*(&SignalPeek::isSignalConnected))(m); }
};

TEST_F(MainFixture, StartUpMakesTheFilesFromTheirDefaultCopiesAndAFreshSession)
{
    win = std::make_unique<TfmMain>(Program());
    for (const char* f : {"setting.ini", "book20.dat", "oldquene.ini"})
        EXPECT_EQ(testsupport::ReadFile(dir / f), testsupport::ReadFile(dir / (std::string("def_") + f))) << f;
    EXPECT_EQ(win->SessionState(), 0);
    EXPECT_EQ(win->windowTitle().toStdString(), TfmMain::Title() + " - Not connected");
    EXPECT_EQ(win->StatusText(0), "Ready");
    EXPECT_EQ(Find<QTabWidget>("pcDisplay")->count(), 3);
    EXPECT_EQ(Find<QTreeWidget>("lvStatus")->topLevelItemCount(), 3);
    EXPECT_EQ(Find<QTreeWidget>("lvStatus")->topLevelItem(2)->text(1), "Ready");
    auto* tree = Find<QTreeWidget>("tvQuene");
    EXPECT_TRUE(tree->topLevelItem(0)->text(0).endsWith(" - Current"));
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), "Download");
    EXPECT_EQ(tree->topLevelItem(0)->child(1)->text(0), "Upload");
    EXPECT_NE(dynamic_cast<TskStatusBar*>(win->findChild<QWidget*>("sbStatus")), nullptr);
    const std::string tmp = win->TempDir();
    ASSERT_FALSE(tmp.empty());
    EXPECT_EQ(tmp.rfind(Program() + "tmp/", 0), 0u);
    EXPECT_TRUE(fs::is_directory(tmp));
    win.reset();
    EXPECT_FALSE(fs::exists(tmp));
}

TEST_F(MainFixture, SettingsAreSavedAtExitAndReadBack)
{
    Open();
    win->MutableSettings().AnonymousEmail = "saved@example.com";
    Find<QAction>("miIncreaseThread")->trigger();
    EXPECT_EQ(Find<QTabWidget>("pcDisplay")->count(), 4);
    EXPECT_EQ(Find<QTreeWidget>("lvStatus")->topLevelItemCount(), 4);
    win.reset();
    TClientSettings back;
    back.LoadFromFile(dir / "setting.ini", Program());
    EXPECT_EQ(back.AnonymousEmail, "saved@example.com");
    EXPECT_EQ(back.FtpCliNum, 4);
    EXPECT_TRUE(dialogs.get()->Calls.empty());
}

TEST_F(MainFixture, FilesThatCannotBeWrittenAtExitAreReported)
{
    Open([](TClientSettings& s) {
        s.SaveLogToFile = true;
        s.LogFileName = "/nonexistent-folder/ftp.log";
    });
    win->DisplayLine(0, "<STATUS>     hello");
    // Folders where the files should go: neither can be replaced.
    fs::remove(dir / "setting.ini");
    fs::create_directory(dir / "setting.ini");
    fs::remove(dir / "oldquene.ini");
    fs::create_directory(dir / "oldquene.ini");
    win->BrokenLists().push_back(TOldQuene{"now", {"h", "21", "u", "p"}, {TTransferFileInfo{}}});
    win.reset();
    const auto texts = dialogs.get()->Texts(TDialogCall::kMessageBox);
    ASSERT_EQ(texts.size(), 1u);
    for (const char* f : {"setting.ini", "oldquene.ini", "/nonexistent-folder/ftp.log"})
        EXPECT_NE(texts[0].find(f), std::string::npos) << f;
}

TEST_F(MainFixture, CloseAsksAccordingToTheSessionState)
{
    struct Case {
        int state;
        int answer; // 0: no question expected
        bool closes;
        const char* question;
    };
    const Case cases[] = {
        {0, 0, true, nullptr},
        {5, IDOK, false, "Please Abort transferring first!"},
        {2, IDNO, false, "Still connected to host, Quit anyway?"},
        {3, IDYES, true, "Still connected to host, Quit anyway?"},
    };
    for (const auto& c : cases) {
        Open();
        win->show();
        win->SetSessionState(c.state);
        dialogs.get()->Calls.clear();
        if (c.answer) dialogs.get()->ReplyId(c.answer);
        EXPECT_EQ(win->close(), c.closes) << c.state;
        const auto texts = dialogs.get()->Texts(TDialogCall::kMessageBox);
        if (c.question) {
            ASSERT_EQ(texts.size(), 1u) << c.state;
            EXPECT_EQ(texts[0], c.question);
        } else {
            EXPECT_TRUE(texts.empty()) << c.state;
        }
        win->SetSessionState(0);
        win.reset();
    }
}

TEST_F(MainFixture, LogPagesColourMaskAndDropLinesAndWriteTheLogFile)
{
    Open([this](TClientSettings& s) {
        s.SaveLogToFile = true;
        s.LogFileName = dir / "ftp.log";
    });
    win->DisplayLine(0, "<STATUS>     Connecting to 127.0.0.1");
    win->DisplayLine(0, "             220 ready");
    win->DisplayLine(0, "<COMMAND>    pass Secret1");
    win->DisplayLine(0, "! trace");
    win->DisplayLine(0, "Connection Lost");
    win->DisplayLine(7, "no such page");
    EXPECT_EQ(PageText(0), "<STATUS>     Connecting to 127.0.0.1\n             220 ready\n"
                           "<COMMAND>    PASS ********\nConnection Lost");
    const QColor expected[] = {QColor(0, 0, 255), QColor(0, 128, 0), QColor(255, 0, 0), QColor(255, 0, 0)};
    QTextBlock b = win->LogEdit(0)->document()->begin();
    for (const QColor& c : expected) {
        EXPECT_EQ(b.begin().fragment().charFormat().foreground().color(), c) << b.text().toStdString();
        b = b.next();
    }
    const std::string file = testsupport::ReadFile(dir / "ftp.log");
    EXPECT_EQ(file.rfind("[Log Time] ", 0), 0u);
    EXPECT_NE(file.find("\r\n<STATUS>     Connecting to 127.0.0.1\r\n"), std::string::npos);
    EXPECT_NE(file.find("PASS ********"), std::string::npos);
    EXPECT_EQ(file.find("Secret1"), std::string::npos);
    EXPECT_EQ(file.find("trace"), std::string::npos);
}

TEST_F(MainFixture, AFocusedPageKeepsItsPlaceAndPagesFollowTheConnectionCount)
{
    Open();
    win->show();
    win->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(win.get()));
    for (int i = 0; i < 300; ++i) win->DisplayLine(0, "<STATUS>     line " + std::to_string(i));
    QScrollBar* bar = win->LogEdit(0)->verticalScrollBar();
    EXPECT_TRUE(WaitFor([&] { return bar->value() == bar->maximum() && bar->maximum() > 0; }, 2000));
    win->LogEdit(0)->setFocus();
    ASSERT_TRUE(WaitFor([&] { return win->LogEdit(0)->hasFocus(); }, 2000));
    bar->setValue(10);
    win->DisplayLine(0, "<STATUS>     one more");
    ASSERT_TRUE(Drain()); // the scroll to the end is posted, for the other pages
    EXPECT_EQ(bar->value(), 10);

    win->SetConnectionCount(5);
    auto* pages = Find<QTabWidget>("pcDisplay");
    ASSERT_EQ(pages->count(), 5);
    EXPECT_EQ(pages->tabText(3), "3");
    EXPECT_EQ(pages->tabText(4), "4");
    EXPECT_EQ(Find<QTreeWidget>("lvStatus")->topLevelItem(4)->text(1), "Ready");
    win->SetConnectionCount(3);
    EXPECT_EQ(pages->count(), 3);
    EXPECT_EQ(Find<QTreeWidget>("lvStatus")->topLevelItemCount(), 3);
    EXPECT_EQ(win->LogEdit(3), nullptr);
}

TEST_F(MainFixture, EveryCommandIsWiredAndNoShortcutIsShared)
{
    Open();
    std::map<QString, QString> shortcuts;
    const QMetaMethod triggered = QMetaMethod::fromSignal(&QAction::triggered);
    int count = 0;
    for (QAction* a : win->findChildren<QAction*>()) {
        if (a->isSeparator() || a->menu() || a->text() == "<EMPTY>") continue;
        ++count;
        EXPECT_TRUE(SignalPeek::Connected(a, triggered)) << a->objectName().toStdString() << " " << a->text().toStdString();
        if (!a->shortcut().isEmpty()) {
            const QString key = a->shortcut().toString();
            EXPECT_FALSE(shortcuts.count(key)) << key.toStdString() << " on " << a->objectName().toStdString()
                                               << " and " << shortcuts[key].toStdString();
            shortcuts[key] = a->objectName();
        }
    }
    EXPECT_GT(count, 90);
    EXPECT_EQ(Find<QAction>("miReconnect")->shortcut().toString(), "Ctrl+R");
}

TEST_F(MainFixture, TheWindowAppliesTheEnablingRulesWhenIdle)
{
    Open();
    auto* host = Find<QComboBox>("cbHostName");
    host->setEditText("");
    win->UpdateEnabling();
    EXPECT_FALSE(Find<QAction>("tbConnect")->isEnabled());
    EXPECT_FALSE(Find<QAction>("miAddCurrentSite")->isEnabled());
    host->setEditText("example.org");
    win->UpdateEnabling();
    EXPECT_TRUE(Find<QAction>("tbConnect")->isEnabled());
    EXPECT_TRUE(Find<QAction>("tbExit")->isEnabled());
    win->SetSessionState(5);
    win->UpdateEnabling();
    EXPECT_FALSE(Find<QAction>("miConnect")->isEnabled());
    EXPECT_FALSE(Find<QAction>("tbExit")->isEnabled());
    EXPECT_TRUE(Find<QAction>("tbAbort")->isEnabled());
    win->SetSessionState(0);
}

TEST_F(MainFixture, AntiIdleRunsOnlyConnectedAndNeverWithAZeroInterval)
{
    for (int interval : {0, -5, 2}) {
        // The file's loader refuses such values; the preferences may not.
        Open([](TClientSettings& s) { s.AntiIdleEnable = true; });
        win->MutableSettings().AntiIdleInterval = interval;
        auto* timer = win->findChild<QTimer*>("tiAntiIdle");
        win->SetSessionState(2);
        EXPECT_EQ(timer->isActive(), interval > 0) << interval;
        if (interval > 0) {
            EXPECT_EQ(timer->interval(), interval * 1000);
        }
        win->SetSessionState(3);
        EXPECT_FALSE(timer->isActive());
        win->SetSessionState(0);
        win.reset();
    }
}

TEST_F(MainFixture, CopyUrlDoesNotAskToConnectToItsOwnText)
{
    Open([](TClientSettings& s) { s.MoniterClipboard = true; });
    win->SetSessionState(2);
    win->miCopyUrlClick();
    EXPECT_EQ(QApplication::clipboard()->text().left(6), "ftp://");
    win->tmMoniterClipboardTimer();
    EXPECT_TRUE(dialogs.get()->Calls.empty());
    // Another program's URL is offered, with its own case, once.
    QApplication::clipboard()->setText("ftp://Other.Example/Pub/");
    dialogs.get()->ReplyId(IDNO);
    win->tmMoniterClipboardTimer();
    win->tmMoniterClipboardTimer();
    ASSERT_EQ(dialogs.get()->Calls.size(), 1u);
    EXPECT_EQ(dialogs.get()->Calls[0].text, "Connect to ftp://Other.Example/Pub/ now ?");
    win->SetSessionState(0);
}

TEST_F(MainFixture, AnEditDownloadOpensTheFileInTheEditorAndAsksBeforeUploadingBack)
{
    Open([](TClientSettings& s) { s.DefaultEditView = "/opt/my editor/edit"; });
    const std::string file = dir / "tmp file; rm -rf ~.txt";
    testsupport::WriteFile(file, "text");
    win->EditLocalFile = file;
    win->EditRemoteFile = "/pub/file.txt";
    win->SetSessionState(9);
    dialogs.get()->ReplyId(IDNO);
    win->OperationDone();
    EXPECT_EQ(win->SessionState(), 2);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], (std::vector<std::string>{"/opt/my editor/edit", file}));
    ASSERT_TRUE(WaitFor([&] { return !dialogs.get()->Calls.empty(); }, 2000));
    EXPECT_EQ(dialogs.get()->Calls[0].text, "Click Yes to upload back edited file, No to cancel");
    EXPECT_TRUE(win->TransferQueue().empty());
    // View only: opened, no question.
    win->ViewOnly = true;
    win->SetSessionState(9);
    win->OperationDone();
    ASSERT_TRUE(Drain());
    EXPECT_EQ(started.size(), 2u);
    EXPECT_EQ(dialogs.get()->Calls.size(), 1u);
    EXPECT_FALSE(win->ViewOnly);
    win->SetSessionState(0);
}

TEST_F(MainFixture, TabWalksTheQuickBarAndThePanes)
{
    Open();
    win->show();
    win->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(win.get()));
    Find<QComboBox>("cbHostName")->setFocus();
    const char* order[] = {"edUser", "edPass", "edPort", "lvLocal", "lvHost", "lvLocal"};
    for (const char* name : order) {
        Find<QAction>("miSwitchBrowser")->trigger();
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        // A pane's focus is on the view of its style, inside it.
        QWidget* want = Find<QWidget>(name);
        EXPECT_TRUE(focus == want || want->isAncestorOf(focus)) << name << " " << focus->objectName().toStdString();
    }
}

TEST_F(MainFixture, ResizingLeavesTheHostTextAlone)
{
    Open();
    win->show();
    auto* host = Find<QComboBox>("cbHostName");
    host->setEditText("ftp://example.org/pub/");
    win->resize(900, 700);
    win->FormResize();
    EXPECT_EQ(host->currentText(), "ftp://example.org/pub/");
}

} // namespace

TEST_F(MainFixture, TheLocalPaneFiltersSortsFindsAndChangesFolder)
{
    const std::string root = dir / "pane";
    std::filesystem::create_directories(root + "/sub");
    for (const char* f : {"a.txt", "b.dat", "README", "Report.txt"}) testsupport::WriteFile(root + "/" + f, f);
    testsupport::WriteFile(root + "/sub/inner.txt", "x");
    Open([&](TClientSettings& s) { s.LocalPath = root + "/"; });
    auto names = [&] { return PaneNames(true); };
    EXPECT_EQ(names(), (std::vector<std::string>{"..", "sub", "a.txt", "b.dat", "README", "Report.txt"}));
    dialogs.get()->ReplyText("*.txt");
    win->FilterFilesClick(true);
    EXPECT_EQ(names(), (std::vector<std::string>{"..", "sub", "a.txt", "Report.txt"}));
    // A click on the name column reverses; folders stay on top.
    PaneView(true)->DetailsView()->header()->sectionClicked(0);
    EXPECT_EQ(names(), (std::vector<std::string>{"..", "sub", "Report.txt", "a.txt"}));
    dialogs.get()->ReplyText("rep");
    win->FindFileClick(true);
    EXPECT_EQ(PaneSelectedNames(true), (std::vector<std::string>{"Report.txt"}));
    win->SelectRows(true, false);
    EXPECT_EQ(PaneSelectedNames(true), (std::vector<std::string>{"sub", "Report.txt", "a.txt"}));
    // Enter on a folder opens it; Backspace goes back up.
    ASSERT_TRUE(SelectRows(true, {"sub"}));
    QWidget* lv = PaneView(true)->CurrentView();
    QTest::keyClick(lv, Qt::Key_Return);
    EXPECT_EQ(win->LocalPath, root + "/sub/");
    EXPECT_EQ(names(), (std::vector<std::string>{"..", "inner.txt"})); // the filter stays
    QTest::keyClick(lv, Qt::Key_Backspace);
    EXPECT_EQ(win->LocalPath, root + "/");
    // Typing finds from the selected row on.
    dialogs.get()->ReplyText("*.*");
    win->FilterFilesClick(true);
    PaneView(true)->ClearSelection();
    QTest::keyClicks(lv, "re");
    const auto typed = PaneSelectedNames(true);
    ASSERT_EQ(typed.size(), 1u);
    EXPECT_EQ(QString::fromStdString(typed[0]).toLower().left(2), "re");
}

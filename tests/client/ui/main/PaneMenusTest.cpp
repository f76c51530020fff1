// The panes' pop-up menus, the local path box, and the local pane's desktop
// actions (Execute, Properties, Open Current Directory), on the real window.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QTreeWidget>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <QDir>

#include "MainFixture.h"
#include "ModalHelper.h"
#include "client/ui/main/Launcher.h"
#include "client/ui/main/LocalPathCombo.h"
#include "client/ui/main/PanePopupMenus.h"
#include "client/ui/small/FileProperties.h"
#include "tests/client/engine/EngineServers.h"

namespace fs = std::filesystem;

namespace {

TEST(PanePopupMenus, TheStateAndTheSelectionChooseTheMenu)
{
    struct Case {
        bool local;
        int state;
        bool selected;
        const char* menu;
    };
    const Case cases[] = {
        {true, 0, true, "pmLocalSelected"},   {true, 0, false, "pmLocalNoSelect"},
        {true, 2, true, "pmLocalSelected"},   {true, 2, false, "pmLocalNoSelect"},
        {true, 1, true, nullptr},             {true, 5, false, nullptr},
        {true, 9, true, nullptr},             {false, 2, true, "pmHostSelected"},
        {false, 2, false, "pmHostNoSelect"},  {false, 0, true, nullptr},
        {false, 0, false, nullptr},           {false, 3, true, nullptr},
        {false, 5, false, nullptr},           {false, 13, true, nullptr},
    };
    for (const auto& c : cases) {
        const char* got = PanePopupMenuName(c.local, c.state, c.selected);
        EXPECT_EQ(std::string(got ? got : "none"), std::string(c.menu ? c.menu : "none"))
            << (c.local ? "local" : "remote") << " state " << c.state << (c.selected ? " selected" : "");
    }
}

TEST(LocalPathCombo, TheRootEachLevelAndHomeAsASecondDrive)
{
    struct Case {
        std::string path, home;
        std::vector<std::string> items; // path|text|depth, "*" in front of the current one
    };
    auto flat = [](const std::vector<TLocalPathItem>& items) {
        std::vector<std::string> out;
        for (const auto& i : items)
            out.push_back(std::string(i.Current ? "*" : "") + i.Path + "|" + i.Text + "|" + std::to_string(i.Depth));
        return out;
    };
    const Case cases[] = {
        {"/", "/home/u", {"*/|/|1", "/home/u/|/home/u|1"}},
        {"/", "", {"*/|/|1"}},
        {"/", "/", {"*/|/|1"}},
        {"/srv/data/deep/", "/home/u/",
         {"/|/|1", "/srv/|srv|2", "/srv/data/|data|3", "*/srv/data/deep/|deep|4", "/home/u/|/home/u|1"}},
        // Home on the way down is a level already.
        {"/home/u/docs/", "/home/u", {"/|/|1", "/home/|home|2", "/home/u/|u|3", "*/home/u/docs/|docs|4"}},
        {"/home/u/", "/home/u", {"/|/|1", "/home/|home|2", "*/home/u/|u|3"}},
        // A name that only begins like home is not below it.
        {"/home/user2/", "/home/u", {"/|/|1", "/home/|home|2", "*/home/user2/|user2|3", "/home/u/|/home/u|1"}},
        {"/home/", "/home/u", {"/|/|1", "*/home/|home|2", "/home/u/|/home/u|1"}},
        {"/a b/c", "", {"/|/|1", "/a b/|a b|2", "*/a b/c/|c|3"}},
    };
    for (const auto& c : cases) EXPECT_EQ(flat(LocalPathItems(c.path, c.home)), c.items) << c.path;
}

TEST(FileProperties, PermissionsInLettersAndOctal)
{
    const std::pair<unsigned, const char*> cases[] = {
        {S_IFREG | 0644, "-rw-r--r-- (0644)"},  {S_IFDIR | 0755, "drwxr-xr-x (0755)"},
        {S_IFREG | 04755, "-rwsr-xr-x (4755)"}, {S_IFREG | 02640, "-rw-r-S--- (2640)"},
        {S_IFDIR | 01777, "drwxrwxrwt (1777)"}, {S_IFDIR | 01770, "drwxrwx--T (1770)"},
        {S_IFREG | 0, "---------- (0000)"},
    };
    for (const auto& [mode, text] : cases) EXPECT_EQ(PermissionText(mode), text);
}

TEST(FileProperties, TheDialogShowsAFileAndAFolder)
{
    testsupport::TempDir dir;
    fs::create_directories(dir / "folder/sub1");
    fs::create_directories(dir / "folder/sub2");
    testsupport::WriteFile(dir / "folder/a.txt", "a");
    testsupport::WriteFile(dir / "folder/.hidden", "h");
    const std::string file = dir / "report.txt";
    testsupport::WriteFile(file, std::string(12345, 'x'));
    ::chmod(file.c_str(), 0640);
    const std::time_t when = 1700000000;
    struct timespec times[2] = {{when, 0}, {when, 0}};
    ::utimensat(AT_FDCWD, file.c_str(), times, 0);
    std::tm tm{};
    localtime_r(&when, &tm);
    char expected[32];
    std::strftime(expected, sizeof expected, "%Y-%m-%d %H:%M:%S", &tm);

    auto text = [](QWidget& d, const char* name) { return d.findChild<QLabel*>(name)->text().toStdString(); };
    auto shown = [](QWidget& d, const char* name) { return !d.findChild<QLabel*>(name)->isHidden(); };

    const auto info = ReadFileProperties(file);
    ASSERT_TRUE(info);
    TfmFileProperties fileBox(*info);
    EXPECT_EQ(fileBox.windowTitle().toStdString(), "report.txt Properties");
    EXPECT_EQ(text(fileBox, "lbName"), "report.txt");
    EXPECT_EQ(text(fileBox, "lbLocation"), dir.path());
    EXPECT_NE(text(fileBox, "lbType").find("(text/plain)"), std::string::npos) << text(fileBox, "lbType");
    EXPECT_EQ(text(fileBox, "lbSize"), "12KB (12,345 bytes)");
    EXPECT_TRUE(shown(fileBox, "lbSize"));
    EXPECT_FALSE(shown(fileBox, "lbContents"));
    EXPECT_EQ(text(fileBox, "lbModified"), expected);
    EXPECT_EQ(text(fileBox, "lbPermissions"), "-rw-r----- (0640)");
    EXPECT_NE(text(fileBox, "lbOwner").find("(" + std::to_string(::getuid()) + ")"), std::string::npos);
    EXPECT_NE(text(fileBox, "lbGroup").find(std::to_string(::getgid())), std::string::npos);

    const auto folder = ReadFileProperties(dir / "folder/");
    ASSERT_TRUE(folder);
    TfmFileProperties folderBox(*folder);
    EXPECT_EQ(text(folderBox, "lbName"), "folder");
    EXPECT_EQ(text(folderBox, "lbContents"), "2 files, 2 folders");
    EXPECT_TRUE(shown(folderBox, "lbContents"));
    EXPECT_FALSE(shown(folderBox, "lbSize"));
    EXPECT_EQ(text(folderBox, "lbPermissions").substr(0, 1), "d");
    EXPECT_NE(text(folderBox, "lbType").find("inode/directory"), std::string::npos);

    // A small file has no short form; a link says where it points.
    testsupport::WriteFile(dir / "tiny", "abc");
    fs::create_symlink(dir / "tiny", dir / "link");
    const auto link = ReadFileProperties(dir / "link");
    ASSERT_TRUE(link);
    EXPECT_EQ(link->Size, "3 bytes");
    EXPECT_NE(link->Type.find("link to " + (dir / "tiny")), std::string::npos) << link->Type;
    EXPECT_FALSE(ReadFileProperties(dir / "missing"));
}

TEST(Launcher, TheDesktopOpenRunsAProgramAndHandsAnythingElseToTheOpener)
{
    testsupport::TempDir dir;
    const std::string program = dir / "tool", text = dir / "notes.txt", script = dir / "setup.sh";
    testsupport::WriteFile(program, "#!/bin/sh\nexit 0\n");
    ::chmod(program.c_str(), 0755);
    testsupport::WriteFile(text, "hello");
    testsupport::WriteFile(script, "#!/bin/sh\nexit 0\n"); // no execute bit: opened, not run
    EXPECT_EQ(DesktopOpenCommand(program), (std::vector<std::string>{program}));
    for (const auto& path : {text, script, dir.path() + "/"}) {
        const auto cmd = DesktopOpenCommand(path);
        ASSERT_EQ(cmd.size(), 2u);
        EXPECT_EQ(fs::path(cmd[0]).filename(), "xdg-open");
        EXPECT_EQ(cmd[1], path);
    }
}

// The window with a local folder of one file, one program and one folder.
class PaneMenusTest : public MainFixture {
protected:
    std::string root;
    void SetUp() override
    {
        MainFixture::SetUp();
        root = dir / "local";
        fs::create_directories(root + "/folder");
        testsupport::WriteFile(root + "/notes.txt", "notes");
        testsupport::WriteFile(root + "/tool", "#!/bin/sh\nexit 0\n");
        ::chmod((root + "/tool").c_str(), 0755);
        Open([&](TClientSettings& s) { s.LocalPath = root + "/"; });
        win->show();
        win->activateWindow();
        ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == win.get(); }));
    }
    QWidget* Pane(bool local) { return Find<QWidget>(local ? "lvLocal" : "lvHost"); }
    // Focuses the pane and applies the enabling rules, as idle time would.
    void Focus(bool local)
    {
        Pane(local)->setFocus();
        ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == Pane(local); }));
        win->UpdateEnabling();
    }
    // The pane asks for its menu as the menu key does; the name of the menu shown, "" for none.
    std::string AskMenu(bool local)
    {
        QWidget* pane = Pane(local);
        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(10, 10), pane->mapToGlobal(QPoint(10, 10)));
        QCoreApplication::sendEvent(pane, &key);
        QWidget* popup = QApplication::activePopupWidget();
        const std::string name = popup ? popup->objectName().toStdString() : std::string();
        if (popup) popup->close();
        return name;
    }
    std::vector<std::string> Items(const char* menu)
    {
        std::vector<std::string> out;
        for (QAction* a : Find<QMenu>(menu)->actions()) out.push_back(a->text().toStdString());
        return out;
    }
};

TEST_F(PaneMenusTest, EachPaneShowsTheMenuOfItsStateAndSelection)
{
    struct Case {
        bool local;
        int state;
        bool selected;
        std::string menu;
    };
    const Case cases[] = {
        {true, 0, true, "pmLocalSelected"}, {true, 0, false, "pmLocalNoSelect"}, {true, 2, true, "pmLocalSelected"},
        {true, 2, false, "pmLocalNoSelect"}, {true, 5, true, ""},                {true, 3, false, ""},
        {false, 2, false, "pmHostNoSelect"}, {false, 0, false, ""},              {false, 5, false, ""},
    };
    for (const auto& c : cases) {
        win->SetSessionState(c.state);
        Focus(c.local);
        if (c.selected) ASSERT_TRUE(SelectRows(c.local, {"notes.txt"}));
        else if (c.local) SelectRows(c.local, {});
        EXPECT_EQ(AskMenu(c.local), c.menu) << (c.local ? "local" : "remote") << " state " << c.state;
    }
    win->SetSessionState(0);
    // A right click on a row selects it and shows the menu at the mouse.
    auto* lv = PaneView(true);
    SelectRows(true, {});
    const QRect row = lv->visualItemRect(lv->topLevelItem(2));
    QTest::mouseClick(lv->viewport(), Qt::RightButton, {}, row.center());
    // The window system turns the click into the menu event.
    QContextMenuEvent mouse(QContextMenuEvent::Mouse, row.center(), lv->viewport()->mapToGlobal(row.center()));
    QCoreApplication::sendEvent(lv->viewport(), &mouse);
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->objectName(), "pmLocalSelected");
    EXPECT_TRUE(popup->geometry().contains(lv->viewport()->mapToGlobal(row.center()) + QPoint(1, 1)));
    popup->close();

    EXPECT_EQ(Items("pmHostSelected"), (std::vector<std::string>{"Download", "Edit", "View", "Move", "Copy URL",
                                                                 "Invert Selection", "Delete", "Change Mode", "Rename",
                                                                 "Calculate Size"}));
    EXPECT_EQ(Items("pmHostNoSelect"), (std::vector<std::string>{"View", "Arrange Icons", "Select All", "Make Directory",
                                                                 "Change Directory", "Refresh"}));
    EXPECT_EQ(Items("pmLocalSelected"), (std::vector<std::string>{"Upload", "Edit", "View", "Move", "Execute",
                                                                  "Invert Selection", "Delete", "Rename", "Properties"}));
    EXPECT_EQ(Items("pmLocalNoSelect"), (std::vector<std::string>{"View", "Arrange Icons", "Select All", "Make Directory",
                                                                  "Change Directory", "Refresh", "Open Current Directory"}));
    EXPECT_EQ(Items("pmLocalView"), (std::vector<std::string>{"Large Icons", "Small Icons", "List", "Details"}));
    EXPECT_EQ(Items("pmHostArrangeIcons"), (std::vector<std::string>{"By Name", "By Extension", "By Size", "By DateTime"}));
}

TEST_F(PaneMenusTest, MenuItemsRunTheMainCommandsAndFollowTheirEnabling)
{
    Focus(true);
    // Make Directory from the menu of no selection makes the folder.
    dialogs.get()->ReplyText("made here");
    ASSERT_EQ(AskMenu(true), "pmLocalNoSelect");
    Find<QAction>("pmLocalNoSelectMakeDirectory")->trigger();
    EXPECT_TRUE(fs::is_directory(root + "/made here"));
    EXPECT_TRUE(PaneShows(true, "made here"));

    // Execute is there only for a file, as in the main menu.
    auto* execute = Find<QAction>("pmLocalSelectedExecute");
    ASSERT_TRUE(SelectRows(true, {"folder"}));
    win->UpdateEnabling();
    EXPECT_FALSE(Find<QAction>("miExecute")->isEnabled());
    EXPECT_FALSE(execute->isEnabled());
    execute->trigger();
    EXPECT_TRUE(started.empty());
    ASSERT_TRUE(SelectRows(true, {"tool"}));
    win->UpdateEnabling();
    EXPECT_TRUE(execute->isEnabled());
    execute->trigger();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], (std::vector<std::string>{root + "/tool"}));

    // Arrange by size from the menu sorts this pane; the view style is the pane's own.
    SelectRows(true, {});
    Find<QAction>("pmLocalArrangeIconsBySize")->trigger();
    Find<QAction>("pmLocalArrangeIconsBySize")->trigger(); // the same key again: largest first
    EXPECT_EQ(PaneView(true)->topLevelItem(PaneRowCount(true) - 1)->text(0), "notes.txt");
    Find<QAction>("pmLocalList")->trigger();
    EXPECT_EQ(win->PaneViewStyle(true), 2);
    EXPECT_EQ(win->PaneViewStyle(false), 3);
    EXPECT_TRUE(Find<QAction>("miList")->isChecked());
    emit Find<QMenu>("pmHostView")->aboutToShow();
    EXPECT_TRUE(Find<QAction>("pmHostDetails")->isChecked());
    // The main menu's marks follow the active pane.
    Focus(false);
    emit Find<QMenu>("mnView")->aboutToShow();
    EXPECT_TRUE(Find<QAction>("miDetails")->isChecked());
    Focus(true);
    emit Find<QMenu>("mnView")->aboutToShow();
    EXPECT_TRUE(Find<QAction>("miList")->isChecked());
}

TEST_F(PaneMenusTest, ExecuteOpenCurrentDirectoryAndPropertiesGoThroughTheDesktop)
{
    Focus(true);
    auto run = [&](const char* action) {
        win->UpdateEnabling();
        Find<QAction>(action)->trigger();
    };
    ASSERT_TRUE(SelectRows(true, {"notes.txt"}));
    run("miExecute");
    ASSERT_EQ(started.size(), 1u);
    ASSERT_EQ(started[0].size(), 2u);
    EXPECT_EQ(fs::path(started[0][0]).filename(), "xdg-open");
    EXPECT_EQ(started[0][1], root + "/notes.txt");
    ASSERT_TRUE(SelectRows(true, {"tool"}));
    run("tbExecute");
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[1], (std::vector<std::string>{root + "/tool"}));
    run("miOpenCurrentDirectory");
    ASSERT_EQ(started.size(), 3u);
    EXPECT_EQ(started[2].back(), root + "/");
    EXPECT_EQ(fs::path(started[2][0]).filename(), "xdg-open");
    // Not while a transfer runs.
    win->SetSessionState(5);
    win->ExecuteClick();
    win->OpenCurrentDirectoryClick();
    EXPECT_EQ(started.size(), 3u);
    win->SetSessionState(0);

    std::string title, contents;
    WhenModal([&](QWidget* d) {
        title = d->windowTitle().toStdString();
        contents = d->findChild<QLabel*>("lbContents")->text().toStdString();
        d->close();
    });
    ASSERT_TRUE(SelectRows(true, {"folder"}));
    run("tbProperty");
    EXPECT_EQ(title, "folder Properties");
    EXPECT_EQ(contents, "0 files, 0 folders");
}

TEST_F(PaneMenusTest, ThePathBoxHoldsTheLevelsAndListsTheOneChosen)
{
    auto* box = Find<QComboBox>("cbLocal");
    const auto levels = LocalPathItems(root + "/", QDir::homePath().toStdString());
    ASSERT_EQ(box->count(), int(levels.size()));
    for (int i = 0; i < box->count(); ++i) EXPECT_EQ(box->itemText(i).toStdString(), levels[std::size_t(i)].Text);
    // The closed box shows the current folder by its name.
    EXPECT_EQ(box->currentText(), "local");
    EXPECT_EQ(LocalPathOfItem(box, box->currentIndex()), root + "/");

    // The dropped-down list: drives with their free space while asked for.
    auto* delegate = dynamic_cast<TLocalPathDelegate*>(box->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    const QModelIndex rootItem = box->model()->index(0, 0), current = box->model()->index(box->currentIndex(), 0);
    win->MutableSettings().CheckFreeSpace = true;
    EXPECT_NE(delegate->ItemText(rootItem).find(" bytes free]"), std::string::npos) << delegate->ItemText(rootItem);
    EXPECT_EQ(delegate->ItemText(current), "local");
    win->MutableSettings().CheckFreeSpace = false;
    EXPECT_EQ(delegate->ItemText(rootItem), "/");
    // Deeper items are drawn further in.
    QStyleOptionViewItem option;
    option.font = box->font();
    EXPECT_GT(delegate->sizeHint(option, current).width(), delegate->sizeHint(option, rootItem).width());

    // Choosing the level above lists it.
    const int parent = box->currentIndex() - 1;
    emit box->activated(parent);
    EXPECT_EQ(win->LocalPath, dir.path() + "/");
    EXPECT_TRUE(PaneShows(true, "local"));
    EXPECT_EQ(box->currentText(), QString::fromStdString(fs::path(dir.path()).filename().string()));
    emit box->activated(0);
    EXPECT_EQ(win->LocalPath, "/");
    EXPECT_EQ(box->currentIndex(), 0);
}

// pmHostSelected's Download against a real server fetches the file exactly.
TEST_F(MainFixture, TheRemoteMenuDownloadsTheSelectedFileByteExact)
{
    auto server = StartEngineServer("vsftpd");
    if (!server->error.empty()) GTEST_SKIP() << server->error;
    const std::string bytes = testsupport::PatternBytes(1 << 20, 7);
    testsupport::WriteFile(server->Local("data.bin"), bytes);
    server->Adopt(server->Local("data.bin"));
    testsupport::TempDir local;
    Open([&](TClientSettings& s) { s.LocalPath = local.path() + "/"; });
    win->CommandLineUrl = "ftp://127.0.0.1:" + std::to_string(server->port) + server->dir;
    win->show();
    win->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, "data.bin"); })) << PageText(0);
    QWidget* pane = Find<QWidget>("lvHost");
    pane->setFocus();
    ASSERT_TRUE(SelectRows(false, {"data.bin"}));
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(5, 5), pane->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(pane, &key);
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->objectName(), "pmHostSelected");
    popup->close();
    auto* download = Find<QAction>("pmHostSelectedDownload");
    ASSERT_TRUE(download->isEnabled());
    download->trigger();
    ASSERT_NE(win->SessionState(), 2);
    ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2; }, 60000)) << PageText(0);
    EXPECT_TRUE(testsupport::ReadFile(local.path() + "/data.bin") == bytes);
}

} // namespace

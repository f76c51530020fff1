// The main window's ties to the desktop: attention, hiding to the tray and
// back, and the help items, on the real window (offscreen).
#include <QAction>
#include <QComboBox>
#include <cstdlib>
#include <filesystem>
#include <QMenu>
#include <QUrlQuery>

#include "MainFixture.h"
#include "client/ui/main/DesktopTies.h"
#include "platform/tray/Trayicon.h"

namespace {

class DesktopTiesTest : public MainFixture {
protected:
    std::vector<QUrl> opened;
    int flashes = 0;

    TDesktopTies& Open(const std::function<void(TClientSettings&)>& tweak = {})
    {
        MainFixture::Open(tweak);
        TDesktopTies& ties = win->DesktopTies();
        ties.OpenUrl = [this](const QUrl& url) {
            opened.push_back(url);
            return true;
        };
        ties.Flash = [this](QWidget*) { ++flashes; };
        return ties;
    }
    void ShowActive(QWidget* w)
    {
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    }
    void Trigger(const char* name)
    {
        QAction* a = win->findChild<QAction*>(name);
        ASSERT_NE(a, nullptr) << name;
        a->setEnabled(true);
        a->trigger();
    }
    void TearDown() override
    {
        TTrayIcon::SetAvailableOverride(-1);
        MainFixture::TearDown();
    }
};

TEST_F(DesktopTiesTest, AttentionByMethodWithTheWindowActiveInactiveAndHidden)
{
    enum Where { Active, Inactive, Hidden };
    const struct {
        int method;
        Where where;
        bool flashed, active, visible;
    } cases[] = {
        {0, Active, false, true, true},    {1, Active, false, true, true},    {2, Active, false, true, true},
        {0, Inactive, false, true, true},  {1, Inactive, true, false, true},  {2, Inactive, false, false, true},
        {0, Hidden, false, true, true},    {1, Hidden, true, false, true},    {2, Hidden, false, false, false},
    };
    TTrayIcon::SetAvailableOverride(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "method " << c.method << " where " << c.where);
        TDesktopTies& ties = Open([&](TClientSettings& s) { s.PromoteMethod = c.method; });
        QWidget other;
        other.resize(100, 100);
        flashes = 0;
        ShowActive(win.get());
        if (c.where != Active) ShowActive(&other);
        if (c.where == Hidden) {
            Trigger("miHide");
            ASSERT_FALSE(win->isVisible());
            ASSERT_TRUE(ties.TrayIcon1().Active());
        }
        win->DrawAttention();
        EXPECT_EQ(flashes, c.flashed ? 1 : 0);
        EXPECT_EQ(win->isVisible(), c.visible);
        // Shown again means out of the tray.
        EXPECT_EQ(ties.TrayIcon1().Active(), !c.visible);
        if (c.active) EXPECT_TRUE(QTest::qWaitForWindowActive(win.get()));
        else EXPECT_FALSE(win->isActiveWindow());
        win.reset();
    }
}

TEST_F(DesktopTiesTest, BringingToTheFrontRestoresAMinimisedWindow)
{
    TTrayIcon::SetAvailableOverride(0);
    Open([](TClientSettings& s) { s.PromoteMethod = 0; });
    win->showMinimized();
    ASSERT_TRUE(win->isMinimized());
    win->DrawAttention();
    EXPECT_FALSE(win->isMinimized());
    EXPECT_TRUE(win->isVisible());
}

TEST_F(DesktopTiesTest, HideGoesToTheTrayOnlyWhereThereIsOne)
{
    // With a notification area: hidden, and a double click brings it back.
    TTrayIcon::SetAvailableOverride(1);
    TDesktopTies& ties = Open();
    win->show();
    Trigger("miHide");
    EXPECT_FALSE(win->isVisible());
    EXPECT_TRUE(ties.TrayIcon1().Active());
    ties.TrayIcon1().LeftButtonDblClick();
    EXPECT_TRUE(win->isVisible());
    EXPECT_FALSE(win->isMinimized());
    EXPECT_FALSE(ties.TrayIcon1().Active());

    // Without one the window could not be found again: it is minimised.
    TTrayIcon::SetAvailableOverride(0);
    Trigger("miHide");
    EXPECT_TRUE(win->isVisible());
    EXPECT_TRUE(win->isMinimized());
    EXPECT_FALSE(ties.TrayIcon1().Active());
}

TEST_F(DesktopTiesTest, MinimisingHidesOnlyWithHideOnMinimizeAndATray)
{
    const struct {
        bool hideOnMinimize;
        int tray;
        bool hidden;
    } cases[] = {{true, 1, true}, {false, 1, false}, {true, 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hideOnMinimize << " " << c.tray);
        TTrayIcon::SetAvailableOverride(c.tray);
        TDesktopTies& ties = Open([&](TClientSettings& s) { s.HideOnMinimize = c.hideOnMinimize; });
        win->show();
        win->showMinimized();
        if (c.hidden) {
            EXPECT_TRUE(WaitFor([&] { return !win->isVisible(); }, 5000));
            EXPECT_TRUE(ties.TrayIcon1().Active());
            ties.TrayIcon1().LeftButtonDblClick();
            EXPECT_TRUE(win->isVisible());
            EXPECT_FALSE(win->isMinimized());
        } else {
            QCoreApplication::processEvents();
            EXPECT_TRUE(win->isVisible());
            EXPECT_TRUE(win->isMinimized());
            EXPECT_FALSE(ties.TrayIcon1().Active());
        }
        win.reset();
    }
}

TEST_F(DesktopTiesTest, ContentOpensTheShippedHelpPage)
{
    Open();
    // Missing: said so, nothing opened.
    dialogs.get()->ReplyId(IDOK);
    Trigger("miContent");
    ASSERT_EQ(dialogs.get()->Calls.size(), 1u);
    EXPECT_NE(dialogs.get()->Calls[0].text.find("Skelwick.html"), std::string::npos);
    EXPECT_TRUE(opened.empty());

    const std::string shipped = testsupport::ReadFile(std::string(CLIENT_FILES_DIR) + "/Skelwick.html");
    EXPECT_NE(shipped.find("<title>Skelwick Help</title>"), std::string::npos);
    testsupport::WriteFile(dir / "Skelwick.html", shipped);
    Trigger("miContent");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(QString::fromStdString(Program() + "Skelwick.html")));
    EXPECT_EQ(dialogs.get()->Calls.size(), 1u);
}

TEST_F(DesktopTiesTest, TheMakerItemsOpenTheProjectsOwnAddresses)
{
    Open();
    auto* menu = win->findChild<QMenu*>("mnAbout");
    ASSERT_NE(menu, nullptr);
    const struct {
        const char* name;
        QString url;
    } items[] = {
        {"miEMailToAuthor", TDesktopTies::kAuthorMail},
        {"miHomePage", TDesktopTies::kHomePage},
        {"miCheckNewVersion", TDesktopTies::kNewVersionPage},
        {"miTellAFriend", "mailto:"},
    };
    for (const auto& item : items) {
        QAction* a = win->findChild<QAction*>(item.name);
        ASSERT_NE(a, nullptr) << item.name;
        EXPECT_TRUE(menu->actions().contains(a)) << item.name;
        opened.clear();
        a->setEnabled(true);
        a->trigger();
        ASSERT_EQ(opened.size(), 1u) << item.name;
        EXPECT_TRUE(opened[0].toString().startsWith(item.url)) << item.name;
    }
    const QUrlQuery mail(opened[0]);
    EXPECT_FALSE(mail.queryItemValue("subject").isEmpty());
    EXPECT_TRUE(mail.queryItemValue("body", QUrl::FullyDecoded).contains(TDesktopTies::kHomePage));
    // The about box stays last.
    EXPECT_EQ(menu->actions().last(), win->findChild<QAction*>("miAbout"));
}

TEST(ShortcutText, TakesTheHostBoxOrTheBarAndLooksUpMaskedEntries)
{
    const std::vector<std::string> history{"ftp.one:21:ann:secret", "two:2121:bob:pw"};
    const TQuickSite bar{"", "2121", "me", "pass"};
    const struct {
        const char* box;
        const char* text;
    } cases[] = {
        {"", ""},
        {"myhost", "myhost:2121:me:pass"},
        {"ftp.one:21:ann:********", "ftp.one:21:ann:secret"},
        {"ftp://u:p@h/dir/", "ftp://u:p@h/dir/"},
        {"other:21:x:********", "other:21:x:********"}, // no such entry: as it stands
    };
    for (const auto& c : cases)
        EXPECT_EQ(TDesktopTies::ShortcutText(c.box, {c.box, bar.Port, bar.User, bar.Pass}, history), c.text) << c.box;
}

TEST_F(DesktopTiesTest, CreateShortcutWritesTheFullEntryOnTheDesktop)
{
    testsupport::TempDir home;
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfig = oldConfig ? oldConfig : "";
    ::setenv("HOME", home.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    Open([](TClientSettings& s) { s.QuickConnectList = {"ftp.one:21:ann:secret"}; });
    auto* box = win->findChild<QComboBox*>("cbHostName");
    box->setEditText("ftp.one:21:ann:********");
    QAction* create = win->findChild<QAction*>("miCreateShortcut");
    create->setEnabled(true);
    create->trigger();
    const std::string file = home / "Desktop/ftp.one.desktop";
    const std::string entry = testsupport::ReadFile(file);
    EXPECT_NE(entry.find("ftp.one:21:ann:secret"), std::string::npos) << entry;
    EXPECT_EQ(entry.find("********"), std::string::npos);
    EXPECT_TRUE(dialogs.get()->Calls.empty());
    // An empty host box makes nothing.
    box->setEditText("");
    create->setEnabled(true);
    create->trigger();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home / "Desktop"), {}), 1);
    if (oldHome) ::setenv("HOME", savedHome.c_str(), 1);
    if (oldConfig) ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
}

} // namespace

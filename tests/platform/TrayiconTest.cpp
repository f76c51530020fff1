#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSystemTrayIcon>
#include <QWidget>
#include <unistd.h>

#include "platform/tray/Trayicon.h"
#include "tests/platform/TrayAvailableScope.h"

namespace {

TEST(TrayIcon, ToolTipIsCutTo62Characters)
{
    struct Case { std::size_t length; std::size_t kept; };
    for (Case c : {Case{0, 0}, Case{61, 61}, Case{62, 62}, Case{63, 62}, Case{70, 62}}) {
        TTrayIcon tray;
        std::string tip;
        for (std::size_t i = 0; i < c.length; ++i)
            tip += char('a' + i % 26);
        tray.SetToolTip(tip);
        EXPECT_EQ(tray.ToolTip(), tip.substr(0, c.kept)) << c.length;
        EXPECT_EQ(tray.Handle()->toolTip().toStdString(), tip.substr(0, c.kept));
    }
}

TEST(TrayIcon, ActiveShowsAndHidesTheIconOnlyOnChange)
{
    TrayAvailableScope area(true);
    TTrayIcon tray;
    tray.SetToolTip("Portlorn");
    EXPECT_FALSE(tray.Shown());
    tray.SetActive(false); // unchanged: nothing
    EXPECT_FALSE(tray.Shown());
    tray.SetActive(true);
    EXPECT_TRUE(tray.Active());
    EXPECT_TRUE(tray.Shown());
    tray.SetActive(true);
    EXPECT_TRUE(tray.Shown());
    tray.SetActive(false);
    EXPECT_FALSE(tray.Shown());
}

TEST(TrayIcon, WithoutANotificationAreaNothingIsShownButActiveIsKept)
{
    TrayAvailableScope area(false);
    TTrayIcon tray;
    EXPECT_FALSE(tray.AddIcon());
    tray.SetActive(true);
    EXPECT_TRUE(tray.Active());
    EXPECT_FALSE(TTrayIcon::Available());
}

TEST(TrayIcon, MouseActionsFireTheirEvents)
{
    TTrayIcon tray;
    std::vector<std::string> fired;
    tray.OnClick = [&](TObject* s) { EXPECT_EQ(s, &tray); fired.push_back("click"); };
    tray.OnDblClick = [&](TObject*) { fired.push_back("dblclick"); };
    tray.OnRightClick = [&](TObject*, TMouseButton b, TShiftState shift, int, int) {
        EXPECT_EQ(b, mbRight);
        EXPECT_EQ(shift, 0u);
        fired.push_back("right");
    };
    // As the notification area reports them.
    emit tray.Handle()->activated(QSystemTrayIcon::Trigger);
    emit tray.Handle()->activated(QSystemTrayIcon::DoubleClick);
    emit tray.Handle()->activated(QSystemTrayIcon::Context); // no popup menu: still fires
    emit tray.Handle()->activated(QSystemTrayIcon::MiddleClick);
    EXPECT_EQ(fired, (std::vector<std::string>{"click", "dblclick", "right"}));
}

TEST(TrayIcon, ShowAppShowsAndHidesTheApplicationWindowEveryTime)
{
    QWidget window;
    TTrayIcon tray;
    tray.SetAppWindow(&window);
    tray.SetShowApp(true);
    EXPECT_TRUE(window.isVisible());
    window.hide();
    tray.SetShowApp(true); // unchanged value, applied again
    EXPECT_TRUE(window.isVisible());
    tray.SetShowApp(false);
    EXPECT_FALSE(window.isVisible());
}

TEST(TrayIcon, SecondCopyWithTheSameIDMessageKnocksAndEnds)
{
    const std::string id = "trayicon-test-" + std::to_string(getpid());
    TTrayIcon first;
    first.SetIDMessage(id);
    int knocks = 0;
    first.OnIDMessage = [&](TObject*) { ++knocks; };
    int firstHalts = 0;
    first.Halt = [&] { ++firstHalts; };
    ASSERT_TRUE(first.Loaded());

    TTrayIcon second;
    second.SetIDMessage(id);
    int halts = 0;
    second.Halt = [&] { ++halts; };
    EXPECT_FALSE(second.Loaded());
    EXPECT_EQ(halts, 1);
    for (int i = 0; i < 100 && knocks == 0; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(knocks, 1);
    EXPECT_EQ(firstHalts, 0);

    // No IDMessage: no check at all.
    TTrayIcon plain;
    plain.Halt = [&] { ++halts; };
    EXPECT_TRUE(plain.Loaded());
    EXPECT_EQ(halts, 1);
}

} // namespace

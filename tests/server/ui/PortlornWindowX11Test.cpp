// The server window on a real X server with a window manager: where it
// lands, what it saves, and how it hides, as a user on a desktop sees it.
#include <gtest/gtest.h>

#include <QAction>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QWindow>
#include <sys/stat.h>

#include "ModalHelper.h"
#include "TestXServer.h"
#include "platform/dialogs/ScriptedDialogs.h"
#include "platform/tray/Trayicon.h"
#include "rtl/IniFile.h"
#include "server/ui/FtpServ1.h"
#include "server/ui/MessagePump.h"
#include "server/ui/PortlornSettings.h"
#include "tests/support/TestSupport.h"

extern TTestXServer* TestX;

namespace {

class PortlornWindowX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = testsupport::FreeTcpPort();
        ::mkdir((dir / "home").c_str(), 0755);
    }
    void TearDown() override
    {
        form.reset();
        TTrayIcon::SetAvailableOverride(-1);
    }
    void WriteSettings(const std::string& window)
    {
        testsupport::WriteFile(dir / "portlorn.ini", window + "[Data]\nPort=" + std::to_string(port) +
                                                         "\n[UserInfo]\ncount=1\nUserName1=bob\nPassWord1=pw\n"
                                                         "HomeDir1=" + dir / "home" + "\nAcessRight1=1\n");
    }
    void Start()
    {
        form = std::make_unique<TPortlornForm>(dir.path());
        form->show();
        ASSERT_TRUE(WaitFor([&] { return form->windowTitle().toStdString() == form->TitleLine(); }));
    }
    // Closes the window as the user does and forgets it; the settings are then on disk.
    void Close()
    {
        form->close();
        form.reset();
    }
    // Shown, framed by the window manager, and its frame at topLeft.
    bool FrameAt(QPoint topLeft)
    {
        return WaitFor([&] {
            return form->isVisible() && form->frameGeometry() != form->geometry() &&
                   form->frameGeometry().topLeft() == topLeft;
        });
    }
    std::string Where() const
    {
        QRect f = form->frameGeometry(), g = form->geometry();
        return "frame " + std::to_string(f.x()) + "," + std::to_string(f.y()) + " inside " + std::to_string(g.x()) +
               "," + std::to_string(g.y()) + " " + std::to_string(g.width()) + "x" + std::to_string(g.height()) +
               " on " + TestX->Display() + ", window manager: " +
               XQuery(TestX->Display(), {"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}) +
               XQuery(TestX->Display(), {"xprop", "-id", std::to_string(form->winId()), "_NET_FRAME_EXTENTS", "WM_STATE"}) +
               XQuery(TestX->Display(), {"xwininfo", "-id", std::to_string(form->winId()), "-tree"}) +
               XQuery(TestX->Display(), {"xwininfo", "-id", std::to_string(form->winId())});
    }
    QRect Saved()
    {
        rtl::TIniFile ini(dir / "portlorn.ini");
        return QRect(static_cast<int>(ini.ReadInteger("Window", "Left", -1)),
                     static_cast<int>(ini.ReadInteger("Window", "Top", -1)),
                     static_cast<int>(ini.ReadInteger("Window", "Width", -1)),
                     static_cast<int>(ini.ReadInteger("Window", "Height", -1)));
    }
    // What the window manager says of the window's state (WM_STATE).
    std::string WmState() { return XQuery(TestX->Display(), {"xprop", "-id", std::to_string(form->winId()), "WM_STATE"}); }

    testsupport::TempDir dir;
    TMessagePump pump;
    TScriptedDialogsScope scripted;
    std::unique_ptr<TPortlornForm> form;
    int port = 0;
};

TEST_F(PortlornWindowX11, SavedBoundsComeBackAsTheyWereStartAfterStart)
{
    WriteSettings("[Window]\nLeft=100\nTop=100\nWidth=400\nHeight=300\n");
    for (int start = 0; start < 3; ++start) {
        Start();
        EXPECT_TRUE(FrameAt(QPoint(100, 100))) << "start " << start << ": " << Where();
        EXPECT_EQ(form->size(), QSize(400, 300));
        Close();
        EXPECT_EQ(Saved(), QRect(100, 100, 400, 300)) << "start " << start;
    }
    // Moved by the user: the frame's new place is what comes back.
    Start();
    ASSERT_TRUE(FrameAt(QPoint(100, 100))) << Where();
    form->move(220, 150);
    ASSERT_TRUE(FrameAt(QPoint(220, 150))) << Where();
    Close();
    EXPECT_EQ(Saved(), QRect(220, 150, 400, 300));
    Start();
    EXPECT_TRUE(FrameAt(QPoint(220, 150))) << Where();
}

TEST_F(PortlornWindowX11, FirstStartTakesTheDesignedSizeCentredWithItsTitleBarOnScreen)
{
    WriteSettings("");
    Start();
    const QSize screen = QGuiApplication::primaryScreen()->size();
    const QRect expected = CentredBounds(TPortlornForm::DesignedSize, screen);
    EXPECT_TRUE(FrameAt(expected.topLeft())) << Where();
    EXPECT_EQ(form->size(), TPortlornForm::DesignedSize);
    EXPECT_GE(form->frameGeometry().top(), 0);
    EXPECT_GE(form->frameGeometry().left(), 0);
}

TEST_F(PortlornWindowX11, StartedHiddenInTheTrayItComesBackWhereItWasSaved)
{
    TTrayIcon::SetAvailableOverride(1);
    WriteSettings("[Window]\nLeft=100\nTop=100\nWidth=400\nHeight=300\nRunMinimized=1\n");
    Start();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->TrayIcon1()->Active());
    form->TrayIcon1()->LeftButtonDblClick();
    EXPECT_TRUE(FrameAt(QPoint(100, 100))) << Where();
    Close();
    EXPECT_EQ(Saved(), QRect(100, 100, 400, 300));
}

TEST_F(PortlornWindowX11, StartHideToTrayWithoutANotificationAreaMinimises)
{
    ASSERT_FALSE(TTrayIcon::Available()) << "openbox alone has no notification area";
    WriteSettings("[Window]\nLeft=100\nTop=100\nWidth=400\nHeight=300\nRunMinimized=1\n");
    Start();
    EXPECT_TRUE(WaitFor([&] { return WmState().find("Iconic") != std::string::npos; })) << WmState();
    EXPECT_FALSE(form->TrayIcon1()->Active());
    // Brought back, it stands where it was saved.
    form->showNormal();
    EXPECT_TRUE(FrameAt(QPoint(100, 100))) << Where();
    Close();
    EXPECT_EQ(Saved(), QRect(100, 100, 400, 300));
}

TEST_F(PortlornWindowX11, ScreenshotOfTheWindowInItsFrame)
{
    WriteSettings("[Window]\nLeft=40\nTop=30\nWidth=520\nHeight=300\n");
    Start();
    ASSERT_TRUE(WaitFor([&] { return form->findChild<QLabel*>("GreenImage")->isVisible(); }));
    ASSERT_TRUE(FrameAt(QPoint(40, 30))) << Where();
    // The log's text area as it stands on the screen, within the frame.
    const QRect frame = form->frameGeometry();
    QWidget* logArea = form->findChild<QPlainTextEdit*>("InfoMemo")->viewport();
    const QRect area(logArea->mapToGlobal(QPoint(0, 0)) - frame.topLeft(), logArea->size());
    ASSERT_TRUE(QRect(QPoint(0, 0), frame.size()).contains(area)) << Where();
    // The window manager and the window paint on their own time: the screen is
    // read until the area shows what the log holds.
    QImage image;
    auto logShowsText = [&](bool text) {
        return WaitFor([&] {
            image = QGuiApplication::primaryScreen()
                        ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                        .toImage();
            const int dark = DarkPixels(image.copy(area));
            return text ? dark > 300 : dark == 0;
        });
    };
    form->FlushLog();
    form->findChild<QAction*>("Cleardisplay1")->trigger();
    ASSERT_TRUE(logShowsText(false)) << "the cleared log still shows text: " << DarkPixels(image.copy(area));
    form->AddLog("< 127.0.0.1 USER bob");
    form->AddLog("> 127.0.0.1 331 Password required for bob.");
    form->FlushLog();
    const bool shown = logShowsText(true);
    std::string path;
    ASSERT_TRUE(SaveScreenshot(image, "portlorn_main", &path)) << path;
    EXPECT_EQ(image.size(), frame.size()) << path;
    EXPECT_TRUE(shown) << "the log lines never showed on the screen: " << path;
}

} // namespace

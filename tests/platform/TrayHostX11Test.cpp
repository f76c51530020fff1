// Hiding into the notification area on a real X server (Xvfb with openbox),
// with a real tray host (trayer) started in the middle of the test, as a
// user starts one: with no host, hiding minimises the window, which the user
// brings back from the window manager; once a host runs, hiding puts an icon
// there, and a double click on it gives the window back. Both programs'
// windows; the client's also hidden by minimising with "hide on minimise".
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QSystemTrayIcon>
#include <QTest>
#include <cstring>
#include <sys/stat.h>

#include "TestXServer.h"
#include "client/engine/ClientSettings.h"
#include "client/ui/main/DesktopTies.h"
#include "client/ui/main/Main.h"
#include "os/qt/QtLoopBridge.h"
#include "platform/dialogs/ScriptedDialogs.h"
#include "platform/tray/Trayicon.h"
#include "server/ui/FtpServ1.h"
#include "tests/support/TestSupport.h"

// Last: its macros would clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

extern TTestXServer* TestX;

namespace {

bool WaitFor(const std::function<bool()>& cond, int ms = 20000) { return QTest::qWaitFor(cond, ms); }

// What the window manager holds of a window: "Normal", "Iconic", or "" once
// withdrawn (ICCCM WM_STATE), with _NET_WM_STATE_HIDDEN noted.
std::string WmState(QWidget* w)
{
    const std::string out =
        XQuery(TestX->Display(), {"xprop", "-id", std::to_string(w->winId()), "WM_STATE", "_NET_WM_STATE"});
    std::string state;
    if (out.find("window state: Normal") != std::string::npos) state = "Normal";
    if (out.find("window state: Iconic") != std::string::npos) state = "Iconic";
    if (out.find("_NET_WM_STATE_HIDDEN") != std::string::npos) state += " hidden";
    return state;
}

// The pointer and the window manager as the user works them, through the
// X server itself.
class TUserHands {
public:
    TUserHands() : FDisplay(XOpenDisplay(TestX->Display().c_str())) {}
    ~TUserHands()
    {
        if (FDisplay) XCloseDisplay(FDisplay);
    }
    bool Ok() const { return FDisplay != nullptr; }
    void DoubleClick(QPoint at)
    {
        XTestFakeMotionEvent(FDisplay, -1, at.x(), at.y(), CurrentTime);
        for (int i = 0; i < 2; ++i) {
            XTestFakeButtonEvent(FDisplay, 1, True, CurrentTime);
            XTestFakeButtonEvent(FDisplay, 1, False, CurrentTime);
        }
        XFlush(FDisplay);
    }
    // The icons the tray host shows: the windows embedded in its panel.
    std::vector<Window> TrayIcons()
    {
        std::vector<Window> icons;
        const Window panel = FindNamed(DefaultRootWindow(FDisplay), "panel");
        if (panel == None) return icons;
        for (Window socket : Children(panel))
            for (Window icon : Children(socket)) {
                XWindowAttributes a{};
                if (XGetWindowAttributes(FDisplay, icon, &a) && a.map_state == IsViewable) icons.push_back(icon);
            }
        return icons;
    }
    // Where a window is on the screen.
    QRect ScreenRect(Window w)
    {
        XWindowAttributes a{};
        int x = 0, y = 0;
        Window child = None;
        if (!XGetWindowAttributes(FDisplay, w, &a) ||
            !XTranslateCoordinates(FDisplay, w, DefaultRootWindow(FDisplay), 0, 0, &x, &y, &child))
            return {};
        return QRect(x, y, a.width, a.height);
    }
    // The frame's minimise button (ICCCM WM_CHANGE_STATE to Iconic).
    void Minimise(QWidget* w)
    {
        XIconifyWindow(FDisplay, Window(w->winId()), DefaultScreen(FDisplay));
        XFlush(FDisplay);
    }
    // _NET_ACTIVE_WINDOW from a pager or task bar (source 2): the user picks
    // the window there, which brings a minimised one back.
    void Activate(QWidget* w)
    {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = Window(w->winId());
        e.xclient.message_type = XInternAtom(FDisplay, "_NET_ACTIVE_WINDOW", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = 2;
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(FDisplay, DefaultRootWindow(FDisplay), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XFlush(FDisplay);
    }

private:
    std::vector<Window> Children(Window w)
    {
        Window root = None, parent = None, *children = nullptr;
        unsigned count = 0;
        std::vector<Window> out;
        if (XQueryTree(FDisplay, w, &root, &parent, &children, &count)) {
            out.assign(children, children + count);
            if (children) XFree(children);
        }
        return out;
    }
    Window FindNamed(Window w, const char* name)
    {
        char* own = nullptr;
        const bool found = XFetchName(FDisplay, w, &own) && own && std::strcmp(own, name) == 0;
        if (own) XFree(own);
        if (found) return w;
        for (Window child : Children(w))
            if (Window hit = FindNamed(child, name); hit != None) return hit;
        return None;
    }
    Display* FDisplay;
};

// A window that hides into the tray, and how the user hides it: before a
// tray host runs, and once one does.
struct TTrayRoad {
    QWidget* window;
    std::function<void(TUserHands&)> hideBefore, hideAfter;
    TTrayIcon* tray;
    // The window's own minimise ("hide on minimise") is on this road: the
    // program must have taken in the return before the next minimise.
    bool minimiseOnRoad = false;
};

class TrayHostX11 : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::ChildProcess trayer;

    void TearDown() override { trayer.kill(); }

    void StartTrayHost()
    {
        // A panel of a fixed place and size: it does not move as icons come and go.
        trayer = testsupport::ChildProcess({"trayer", "--edge", "top", "--align", "left", "--widthtype", "pixel",
                                            "--width", "120", "--heighttype", "pixel", "--height", "24",
                                            "--expand", "false"},
                                           dir / "trayer.log", {"DISPLAY=" + TestX->Display()});
        ASSERT_TRUE(WaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }))
            << testsupport::ReadFile(dir / "trayer.log");
    }

    // No tray host: hiding minimises, and the window manager gives the
    // window back (the task bar's click). A host started then: hiding puts
    // the icon there, and a double click on it brings the window back,
    // mapped and not minimised, the icon gone.
    void Walk(const TTrayRoad& road)
    {
        TUserHands hands;
        ASSERT_TRUE(hands.Ok());
        QWidget* w = road.window;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
        ASSERT_TRUE(WaitFor([&] { return WmState(w) == "Normal"; })) << WmState(w);
        ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "a tray host left by another test";

        road.hideBefore(hands);
        ASSERT_TRUE(WaitFor([&] { return WmState(w) == "Iconic hidden"; })) << WmState(w);
        EXPECT_FALSE(road.tray->Shown());
        hands.Activate(w);
        // Back on the screen and, to the program too, no longer minimised: a
        // minimise sent before the program took in the return would meet a
        // window it still counts as minimised.
        ASSERT_TRUE(WaitFor([&] { return WmState(w) == "Normal" && !(road.minimiseOnRoad && w->isMinimized()); }))
            << WmState(w) << ", minimised: " << w->isMinimized();

        StartTrayHost();
        road.hideAfter(hands);
        ASSERT_TRUE(WaitFor([&] { return WmState(w).empty() && road.tray->Shown() && hands.TrayIcons().size() == 1; }))
            << WmState(w) << ", icon shown: " << road.tray->Shown() << ", " << hands.TrayIcons().size()
            << " icons in the host";

        // The icon is embedded in steps, and made anew when the host shows
        // itself again: a double click that met none of it does nothing, and
        // the user double-clicks the icon there again.
        for (int tries = 0; tries < 5 && road.tray->Active(); ++tries) {
            if (const auto icons = hands.TrayIcons(); icons.size() == 1)
                hands.DoubleClick(hands.ScreenRect(icons.front()).center());
            WaitFor([&] { return !road.tray->Active(); }, 3000);
        }
        EXPECT_TRUE(WaitFor([&] { return WmState(w) == "Normal" && w->isVisible() && !w->isMinimized(); }))
            << WmState(w) << ", visible: " << w->isVisible() << ", minimised: " << w->isMinimized();
        EXPECT_TRUE(WaitFor([&] { return hands.TrayIcons().empty() && !road.tray->Shown(); }))
            << "the icon stays after the window came back";
        EXPECT_TRUE(QRect(QPoint(0, 0), w->screen()->size()).intersects(w->frameGeometry()));
    }
};

// Hidden by its Hide command, or by the frame's minimise button with "hide
// on minimise" set.
TEST_F(TrayHostX11, TheClientWindowComesBackFromTheTrayAfterAMinimisedHide)
{
    struct Case {
        const char* what;
        bool commandBefore, commandAfter;
    };
    for (const Case c : {Case{"Hide, then Hide", true, true}, Case{"Hide, then minimise", true, false},
                         Case{"minimise, then minimise", false, false}}) {
        SCOPED_TRACE(c.what);
        os::QtLoopBridge bridge;
        TScriptedDialogsScope dialogs;
        testsupport::TempDir program;
        for (const char* f : {"def_setting.ini", "def_book20.dat", "def_oldquene.ini", "Logo.bmp"})
            testsupport::WriteFile(program / f, testsupport::ReadFile(std::string(CLIENT_FILES_DIR) + "/" + f));
        TClientSettings s;
        s.LoadFromFile(program / "def_setting.ini", program.path() + "/");
        s.MoniterClipboard = false;
        s.AntiIdleEnable = false;
        s.HideOnMinimize = true;
        s.SaveToFile(program / "setting.ini");
        TfmMain win(program.path() + "/");
        win.show();
        QAction* hide = win.findChild<QAction*>("miHide");
        ASSERT_NE(hide, nullptr);
        const auto how = [&](bool command) {
            return [&, command](TUserHands& hands) {
                if (command) hide->trigger();
                else hands.Minimise(&win);
            };
        };
        Walk({&win, how(c.commandBefore), how(c.commandAfter), &win.DesktopTies().TrayIcon1(), true});
        win.CloseWithoutQuery();
        trayer.kill();
        ASSERT_TRUE(WaitFor([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }));
    }
}

TEST_F(TrayHostX11, TheServerWindowComesBackFromTheTrayAfterAMinimisedHide)
{
    TScriptedDialogsScope dialogs;
    ::mkdir((dir / "home").c_str(), 0755);
    testsupport::WriteFile(dir / "portlorn.ini", "[Data]\nPort=" + std::to_string(testsupport::FreeTcpPort()) +
                                                     "\n[UserInfo]\ncount=1\nUserName1=bob\nPassWord1=pw\nHomeDir1=" +
                                                     dir / "home" + "\nAcessRight1=1\n");
    TPortlornForm form(dir.path());
    form.show();
    ASSERT_TRUE(WaitFor([&] { return form.windowTitle().toStdString() == form.TitleLine(); }));
    QAction* hide = form.findChild<QAction*>("HidetoTray1");
    ASSERT_NE(hide, nullptr);
    const auto byCommand = [hide](TUserHands&) { hide->trigger(); };
    Walk({&form, byCommand, byCommand, form.TrayIcon1()});
    form.close();
}

} // namespace

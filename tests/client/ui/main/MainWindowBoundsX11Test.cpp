// The window's bounds under a real window manager: the user moves and sizes
// it, closes it from the frame, and the next start shows it where it was.
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <array>

#include "MainFixture.h"
#include "TestXServer.h"
#include "rtl/IniFile.h"

// Last: its macros would clash with Qt's names.
#include <X11/Xlib.h>

extern TTestXServer* TestX;

namespace {

// Asks the window manager for what its frame's buttons and edges do.
class TWindowManagerAsk {
public:
    TWindowManagerAsk() : FDisplay(XOpenDisplay(TestX->Display().c_str())) {}
    ~TWindowManagerAsk()
    {
        if (FDisplay) XCloseDisplay(FDisplay);
    }
    bool Ok() const { return FDisplay != nullptr; }
    // _NET_MOVERESIZE_WINDOW from the user (source 2), x, y, width and height given.
    void MoveResize(QWidget* w, int x, int y, int width, int height)
    {
        Send(w, "_NET_MOVERESIZE_WINDOW", {(1 << 8) | (1 << 9) | (1 << 10) | (1 << 11) | (2 << 12), x, y, width, height});
    }
    // _NET_CLOSE_WINDOW from the user: the frame's close button.
    void Close(QWidget* w) { Send(w, "_NET_CLOSE_WINDOW", {CurrentTime, 2, 0, 0, 0}); }

private:
    void Send(QWidget* w, const char* message, std::array<long, 5> data)
    {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = Window(w->winId());
        e.xclient.message_type = XInternAtom(FDisplay, message, False);
        e.xclient.format = 32;
        for (std::size_t i = 0; i < data.size(); ++i) e.xclient.data.l[i] = data[i];
        XSendEvent(FDisplay, DefaultRootWindow(FDisplay), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XFlush(FDisplay);
    }
    Display* FDisplay;
};

TEST_F(MainFixture, BoundsSetByTheUserAreKeptWhenTheFrameClosesTheWindow)
{
    TWindowManagerAsk wm;
    ASSERT_TRUE(wm.Ok());
    Open([](TClientSettings& s) {
        s.Left = 30;
        s.Top = 40;
        s.Width = 800;
        s.Height = 560;
        s.Maximized = false;
    });
    win->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(win.get()));
    wm.MoveResize(win.get(), 150, 110, 720, 480);
    ASSERT_TRUE(WaitFor([&] { return win->width() == 720 && win->height() == 480 && win->x() != 30; }, 5000))
        << win->x() << "," << win->y() << " " << win->width() << "x" << win->height();
    const QPoint at = win->pos();
    wm.Close(win.get());
    ASSERT_TRUE(WaitFor([&] { return !win->isVisible(); }, 5000)) << "the frame's close closed the window";
    win.reset();
    rtl::TIniFile ini(dir / "setting.ini");
    EXPECT_EQ(ini.ReadInteger("WindowState", "Width", 0), 720);
    EXPECT_EQ(ini.ReadInteger("WindowState", "Height", 0), 480);
    EXPECT_EQ(ini.ReadInteger("WindowState", "Left", 0), at.x());
    EXPECT_EQ(ini.ReadInteger("WindowState", "Top", 0), at.y());

    // The next start shows it there, at that size.
    win = std::make_unique<TfmMain>(Program());
    win->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(win.get()));
    EXPECT_TRUE(WaitFor([&] { return win->size() == QSize(720, 480) && win->pos() == at; }, 5000))
        << win->x() << "," << win->y() << " " << win->width() << "x" << win->height();
    // Maximised, it starts maximised and keeps the bounds of before.
    win->showMaximized();
    ASSERT_TRUE(WaitFor([&] { return win->isMaximized(); }, 5000));
    wm.Close(win.get());
    ASSERT_TRUE(WaitFor([&] { return !win->isVisible(); }, 5000));
    win.reset();
    TClientSettings back;
    back.LoadFromFile(dir / "setting.ini", Program());
    EXPECT_TRUE(back.Maximized);
    EXPECT_EQ(back.Width, 720);
    win = std::make_unique<TfmMain>(Program());
    win->show();
    EXPECT_TRUE(WaitFor([&] { return win->isMaximized(); }, 5000));
}

TEST_F(MainFixture, SavedBoundsWithTheTitleBarOffTheScreenOpenOnIt)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    struct Case {
        const char* name;
        int left, top, width, height;
    };
    for (const Case& c : {Case{"above the screen", 100, -20, 800, 560},
                          Case{"left of it", -3000, 40, 800, 560},
                          Case{"below and right of it", 5000, 5000, 800, 560},
                          Case{"larger than it", 30, -40, 3000, 2000}}) {
        Open([&](TClientSettings& s) {
            s.Left = c.left;
            s.Top = c.top;
            s.Width = c.width;
            s.Height = c.height;
            s.Maximized = false;
        });
        win->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(win.get())) << c.name;
        // The frame's title bar is on the screen, where it can be taken with the mouse.
        EXPECT_TRUE(WaitFor([&] {
            const QRect frame = win->frameGeometry();
            return frame.top() >= screen.top() && frame.top() < screen.bottom() - 24 &&
                   frame.left() >= screen.left() && frame.left() < screen.right() - 100;
        }, 5000)) << c.name << ": frame at " << win->frameGeometry().x() << "," << win->frameGeometry().y();
        EXPECT_LE(win->width(), screen.width()) << c.name;
        EXPECT_LE(win->height(), screen.height()) << c.name;
        win->CloseWithoutQuery();
        win.reset();
    }
}

} // namespace

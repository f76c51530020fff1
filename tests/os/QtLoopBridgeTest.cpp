// A Qt event loop driving the thread's message loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "os/MessageTarget.h"
#include "os/qt/QtLoopBridge.h"

using namespace os;

namespace {

// Ends a test's exec() that went wrong.
void Guard(int ms)
{
    QTimer::singleShot(ms, [] { QCoreApplication::exit(99); });
}

} // namespace

TEST(QtLoopBridge, PostsFromAnotherThreadAndTimersRunUnderQt)
{
    QtLoopBridge bridge;
    int posted = 0, ticks = 0;
    HWND t = CreateMessageTarget([&](UINT m, WPARAM, LPARAM) {
        if (m == WM_USER)
            ++posted;
        if (m == WM_TIMER && ++ticks == 3)
            KillTimer(t, 1);
        if (posted == 100 && ticks >= 3)
            QCoreApplication::exit(0);
        return 0;
    });
    // Started from a Qt handler, outside any pump of the loop.
    QTimer::singleShot(0, [t] { SetTimer(t, 1, 20); });
    std::thread poster([t] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        for (int i = 0; i < 100; ++i)
            PostMessage(t, WM_USER, i, 0);
    });
    Guard(10000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    poster.join();
    EXPECT_EQ(posted, 100);
    EXPECT_EQ(ticks, 3);
    DestroyMessageTarget(t);
}

TEST(QtLoopBridge, QuitMessageEndsTheQtLoop)
{
    QtLoopBridge bridge;
    QTimer::singleShot(10, [] { PostQuitMessage(7); });
    Guard(10000);
    EXPECT_EQ(QCoreApplication::exec(), 7);

    int seen = -1;
    bridge.OnQuit = [&](int code) {
        seen = code;
        QCoreApplication::exit(0);
    };
    QTimer::singleShot(10, [] { PostQuitMessage(8); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(seen, 8);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

TEST(QtLoopBridge, AThrowingHandlerGoesToTheHookAndTheLoopGoesOn)
{
    QtLoopBridge bridge;
    int caught = 0, after = 0;
    bridge.OnHandlerException = [&] {
        try {
            throw;
        } catch (const std::runtime_error&) {
            ++caught;
        }
    };
    HWND t = CreateMessageTarget([&](UINT m, WPARAM, LPARAM) -> LRESULT {
        if (m == WM_USER)
            throw std::runtime_error("handler failed");
        if (m == WM_USER + 1 && ++after == 1)
            QCoreApplication::exit(0);
        return 0;
    });
    PostMessage(t, WM_USER, 0, 0);
    PostMessage(t, WM_USER + 1, 0, 0);
    Guard(10000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(caught, 1);
    EXPECT_EQ(after, 1);
    DestroyMessageTarget(t);
}

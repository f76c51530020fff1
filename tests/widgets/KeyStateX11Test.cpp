// Lock-key states against a real X server: a private Xvfb on a display
// number it picks itself, and the application on the xcb platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QVBoxLayout>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "widgets/skKeyState.h"
#include "widgets/skStatusBar.h"

namespace {

pid_t Xserver = -1;

// Starts Xvfb with -displayfd and returns its display name, empty on failure.
std::string StartXvfb()
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    Xserver = fork();
    if (Xserver == 0) {
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    return number.empty() ? std::string() : ":" + number;
}

void StopXvfb()
{
    if (Xserver > 0) {
        kill(Xserver, SIGTERM);
        waitpid(Xserver, nullptr, 0);
    }
}

struct Bar {
    QWidget window;
    TskStatusBar* bar;
    Bar()
    {
        auto* layout = new QVBoxLayout(&window);
        layout->addStretch();
        bar = new TskStatusBar(&window);
        layout->addWidget(bar);
        window.resize(400, 80);
        window.show();
        QApplication::processEvents();
    }
};

TEST(KeyStatesOnX11, LocksComeFromTheServerAndToggleThroughIt)
{
    ASSERT_TRUE(KeyStatesAvailable());
    bool caps = KeyToggled(VK_CAPITAL);
    ASSERT_TRUE(ToggleKey(VK_CAPITAL));
    EXPECT_EQ(KeyToggled(VK_CAPITAL), !caps);
    ASSERT_TRUE(ToggleKey(VK_CAPITAL));
    EXPECT_EQ(KeyToggled(VK_CAPITAL), caps);
    for (int vk : {VK_NUMLOCK, VK_SCROLL}) {
        bool before = KeyToggled(vk);
        ASSERT_TRUE(ToggleKey(vk)) << vk;
        EXPECT_EQ(KeyToggled(vk), !before) << vk;
        ASSERT_TRUE(ToggleKey(vk)) << vk;
        EXPECT_EQ(KeyToggled(vk), before) << vk;
    }
}

TEST(KeyStatesOnX11, DoubleClickingACapsPanelTogglesCapsLockAndRedrawsIt)
{
    Bar b;
    TskStatusPanel* caps = b.bar->Panels().Add();
    caps->SetWidth("100");
    caps->SetStyle(psCapsLock);
    bool drawnOn = false;
    caps->OnDrawText = [&](TskStatusPanel*, std::string&, bool& enabled) { drawnOn = enabled; };
    b.bar->repaint();
    bool before = KeyToggled(VK_CAPITAL);
    EXPECT_EQ(drawnOn, before);
    TRect r = caps->PanelRect();
    QTest::mouseDClick(b.bar, Qt::LeftButton, {}, QPoint(r.Left + 4, r.Top + 4));
    EXPECT_EQ(KeyToggled(VK_CAPITAL), !before);
    EXPECT_TRUE(QTest::qWaitFor([&] { return drawnOn == !before; }, 5000));
    QTest::mouseDClick(b.bar, Qt::LeftButton, {}, QPoint(r.Left + 4, r.Top + 4));
    EXPECT_EQ(KeyToggled(VK_CAPITAL), before);
}

} // namespace

int main(int argc, char** argv)
{
    std::string display = StartXvfb();
    if (display.empty()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    // After the program's own statics (its X connection among them) are gone.
    std::atexit(StopXvfb);
    setenv("DISPLAY", display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // No session bus: the test needs none, and the bus library keeps a buffer to the end.
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

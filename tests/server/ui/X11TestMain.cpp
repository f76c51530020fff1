// main() of the window tests under a real X server: Xvfb and openbox are
// started first and the application connects to them. A server that cannot
// start fails the run. Listing the tests (as discovery does at build time)
// needs no display. TEST_X_SCREEN ("800x600x24") sets the screen's size.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "TestXServer.h"
#include "platform/dialogs/ExceptionHandler.h"

TTestXServer* TestX = nullptr;

int main(int argc, char** argv)
{
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    if (listing) {
        ::testing::InitGoogleTest(&argc, argv);
        return RUN_ALL_TESTS();
    }
    const char* screen = std::getenv("TEST_X_SCREEN");
    TTestXServer x(screen && *screen ? screen : "1024x768x24");
    if (!x.Ok()) {
        std::fprintf(stderr, "no X server for the window tests: %s\n", x.Error().c_str());
        return 1;
    }
    TestX = &x;
    setenv("DISPLAY", x.Display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The desktop bus library keeps an allocation of its connection attempt for
// the life of the process (Qt asks the bus for the notification area and the
// theme on X); it is not ours to free.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}

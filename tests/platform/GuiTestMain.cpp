// main() of the GUI tests: the offscreen platform unless another was asked
// for (test discovery runs the binary without the test's environment), and
// the program's own application object, so the central handler is in place.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/dialogs/ExceptionHandler.h"

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Appends 20,000 log lines to page 0 of the real main window (offscreen
// unless a display is asked for) and prints the time taken, the slowest
// single append and how long the window then takes to answer an event.
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "client/ui/main/Main.h"
#include "platform/dialogs/ExceptionHandler.h"
#include "tests/support/TestSupport.h"

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TApplication app(argc, argv);
    testsupport::TempDir dir;
    for (const char* f : {"def_setting.ini", "def_book20.dat", "def_oldquene.ini"})
        testsupport::WriteFile(dir / f, testsupport::ReadFile(std::string(CLIENT_FILES_DIR) + "/" + f));
    const int lines = argc > 1 ? std::atoi(argv[1]) : 20000;
    std::vector<double> runs;
    double worstLine = 0, answer = 0;
    for (int run = 0; run < 3; ++run) {
        TfmMain win(dir.path());
        win.show();
        app.processEvents();
        const char* kinds[] = {"<COMMAND>    RETR file.bin", "<STATUS>     Transfering file.bin",
                               "             226 Transfer complete.", "<COMMAND>    PASS secret"};
        QElapsedTimer total, one;
        total.start();
        for (int i = 0; i < lines; ++i) {
            one.start();
            win.DisplayLine(0, std::string(kinds[i % 4]) + " " + std::to_string(i));
            worstLine = std::max(worstLine, one.nsecsElapsed() / 1e6);
            if (i % 500 == 0) app.processEvents(); // the loop runs between socket events
        }
        runs.push_back(total.nsecsElapsed() / 1e9);
        // How long until a queued event runs once the lines are in.
        QElapsedTimer t;
        t.start();
        bool ran = false;
        QTimer::singleShot(0, [&] { ran = true; });
        while (!ran) app.processEvents();
        answer = std::max(answer, t.nsecsElapsed() / 1e6);
        win.SetSessionState(0);
    }
    std::sort(runs.begin(), runs.end());
    std::printf("log page: %d lines in %.3f s (median of 3), slowest line %.2f ms, next event after %.1f ms\n", lines,
                runs[1], worstLine, answer);
    return 0;
}

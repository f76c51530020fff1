#include "TestXServer.h"

#include <chrono>
#include <thread>

using namespace testsupport;

namespace {

// Waits until done() holds; the X server and the window manager start on their own time.
template <class F>
bool WaitUntil(F done, std::chrono::milliseconds timeout)
{
    auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace

std::string XQuery(const std::string& display, const std::vector<std::string>& argv)
{
    std::vector<std::string> cmd = {"env", "DISPLAY=" + display};
    cmd.insert(cmd.end(), argv.begin(), argv.end());
    std::string out;
    RunCommand(cmd, &out, std::chrono::seconds(10));
    return out;
}

TTestXServer::TTestXServer()
{
    for (const char* program : {"Xvfb", "openbox", "xprop"}) {
        if (FindProgram(program).empty()) {
            error_ = std::string(program) + " is not installed";
            return;
        }
    }
    // -displayfd: the server takes a free display number and writes it once it accepts clients.
    const std::string numberFile = dir_ / "display";
    xvfb_ = ChildProcess({"/bin/sh", "-c",
                          "exec Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>'" + numberFile + "'"},
                         dir_ / "xvfb.log");
    if (!WaitUntil([&] { return ReadFile(numberFile).find('\n') != std::string::npos || !xvfb_.running(); },
                   std::chrono::seconds(20)) ||
        !xvfb_.running()) {
        error_ = "Xvfb did not start: " + ReadFile(dir_ / "xvfb.log");
        return;
    }
    std::string number = ReadFile(numberFile);
    number.erase(number.find('\n'));
    display_ = ":" + number;
    openbox_ = ChildProcess({"openbox"}, dir_ / "openbox.log", {"DISPLAY=" + display_});
    // openbox lists the windows it manages on the root window once its start-up is over;
    // a window mapped before that may be left unmanaged.
    if (!WaitUntil([&] {
            return XQuery(display_, {"xprop", "-root", "_NET_CLIENT_LIST"}).find("_NET_CLIENT_LIST(WINDOW)") !=
                       std::string::npos ||
                   !openbox_.running();
        }, std::chrono::seconds(20)) ||
        !openbox_.running()) {
        error_ = "openbox did not start on " + display_ + ": " + ReadFile(dir_ / "openbox.log") + "\nXvfb: " + ReadFile(dir_ / "xvfb.log");
        display_.clear();
    }
}

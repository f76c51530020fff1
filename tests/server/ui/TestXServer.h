#pragma once
// A private X server for window tests that need a real one: Xvfb on a
// display number it picks itself, with openbox managing the windows (frames,
// minimising, placement as on a desktop). Ok() is false, with Error() saying
// why, when either cannot start.
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

class TTestXServer {
public:
    // screen: "WIDTHxHEIGHTxDEPTH" of the one screen.
    explicit TTestXServer(std::string screen = "1024x768x24");
    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    // ":N"
    const std::string& Display() const { return display_; }

private:
    // One try on a display the server picks; what went wrong, or "" when both run.
    std::string Start();

    testsupport::TempDir dir_;
    testsupport::ChildProcess xvfb_;
    testsupport::ChildProcess openbox_;
    std::string screen_;
    std::string display_;
    std::string error_;
};

// The output of an X client program run against display (xprop, xwininfo).
std::string XQuery(const std::string& display, const std::vector<std::string>& argv);

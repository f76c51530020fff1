#include "TestXServer.h"

#include <chrono>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
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

// The process listening on the local socket at path (abstract: in the abstract
// namespace), as the kernel tells its peer; -1 when nobody does.
int ListenerPid(const std::string& path, bool abstract)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof addr.sun_path)
        return -1;
    std::memcpy(addr.sun_path + offset, path.data(), path.size());
    const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() +
                                                    (abstract ? 0 : 1));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int pid = -1;
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), length) == 0 &&
        ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0)
        pid = peer.pid;
    ::close(fd);
    return pid;
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

TTestXServer::TTestXServer(std::string screen) : screen_(std::move(screen))
{
    for (const char* program : {"Xvfb", "openbox", "xprop"}) {
        if (FindProgram(program).empty()) {
            error_ = std::string(program) + " is not installed";
            return;
        }
    }
    // Servers of other test processes start and stop beside ours, on display
    // numbers next to ours: a display that does not answer as ours is given
    // up and the start made again on a new one.
    std::string errors;
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::string why = Start();
        if (why.empty())
            return;
        errors += why + "\n";
        openbox_.kill();
        xvfb_.kill();
        display_.clear();
    }
    error_ = errors;
}

std::string TTestXServer::Start()
{
    // -displayfd: the server takes a free display number and writes it once it accepts clients.
    const std::string numberFile = dir_ / "display";
    ::unlink(numberFile.c_str());
    xvfb_ = ChildProcess({"/bin/sh", "-c",
                          "exec Xvfb -displayfd 3 -screen 0 " + screen_ + " -nolisten tcp 3>'" + numberFile + "'"},
                         dir_ / "xvfb.log");
    if (!WaitUntil([&] { return ReadFile(numberFile).find('\n') != std::string::npos || !xvfb_.running(); },
                   std::chrono::seconds(20)) ||
        !xvfb_.running())
        return "Xvfb did not start: " + ReadFile(dir_ / "xvfb.log");
    std::string number = ReadFile(numberFile);
    number.erase(number.find('\n'));
    const std::string display = ":" + number;
    // Servers picking numbers at once can take each other's socket away: clients
    // reach the display through both the abstract and the file socket, and both
    // must be held by ours (the shell became Xvfb).
    const std::string socket = "/tmp/.X11-unix/X" + number;
    const int abstractPid = ListenerPid(socket, true), filePid = ListenerPid(socket, false);
    if (abstractPid != xvfb_.pid() || filePid != xvfb_.pid())
        return "Xvfb on " + display + " (" + std::to_string(xvfb_.pid()) + ") does not hold its sockets (" +
               std::to_string(abstractPid) + ", " + std::to_string(filePid) + "): " + ReadFile(dir_ / "xvfb.log");
    openbox_ = ChildProcess({"openbox"}, dir_ / "openbox.log", {"DISPLAY=" + display});
    // openbox lists the windows it manages on the root window once its start-up is over;
    // a window mapped before that may be left unmanaged.
    if (!WaitUntil([&] {
            return XQuery(display, {"xprop", "-root", "_NET_CLIENT_LIST"}).find("_NET_CLIENT_LIST(WINDOW)") !=
                       std::string::npos ||
                   !openbox_.running();
        }, std::chrono::seconds(20)) ||
        !openbox_.running())
        return "openbox did not start on " + display + ": " + ReadFile(dir_ / "openbox.log") +
               "\nXvfb: " + ReadFile(dir_ / "xvfb.log");
    display_ = display;
    return "";
}

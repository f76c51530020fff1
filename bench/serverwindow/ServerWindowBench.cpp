// The built Portlorn program (its window logs every command and answer)
// with idle logged-in sessions open and one client flooding it with NOOPs:
// how long a new client takes to log in meanwhile, and how long the flood
// takes to drain.
//
//   bench_serverwindow [idle-sessions] [noops] [probes]
//
// Defaults: 1,000 idle sessions, 200,000 NOOPs, 5 log-ins during the flood.
// Exits with 1 when a log-in took a second or more.
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestSupport.h"

using namespace testsupport;
using Clock = std::chrono::steady_clock;

namespace {

// A blocking control connection read line by line.
class Session {
public:
    explicit Session(int port) : fd_(ConnectTcpPort(port))
    {
        timeval tv{10, 0};
        if (fd_ >= 0)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~Session()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    int fd() const { return fd_; }

    std::string Line()
    {
        for (;;) {
            std::size_t eol = buffer_.find("\r\n");
            if (eol != std::string::npos) {
                std::string line = buffer_.substr(0, eol);
                buffer_.erase(0, eol + 2);
                return line;
            }
            char chunk[65536];
            ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0)
                return "";
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    void Send(const std::string& text) { ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL); }
    std::string Ask(const std::string& command)
    {
        Send(command + "\r\n");
        return Line();
    }
    bool LogIn()
    {
        return fd_ >= 0 && Line().rfind("220", 0) == 0 && Ask("USER user").rfind("331", 0) == 0 &&
               Ask("PASS pass").rfind("230", 0) == 0;
    }

private:
    int fd_ = -1;
    std::string buffer_;
};

void RaiseDescriptorLimit(int wanted)
{
    rlimit r{};
    ::getrlimit(RLIMIT_NOFILE, &r);
    if (r.rlim_cur < static_cast<rlim_t>(wanted)) {
        r.rlim_cur = std::min<rlim_t>(r.rlim_max, static_cast<rlim_t>(wanted));
        ::setrlimit(RLIMIT_NOFILE, &r); // the program started below inherits it
    }
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

} // namespace

int main(int argc, char** argv)
{
    const int idle = argc > 1 ? std::atoi(argv[1]) : 1000;
    const long noops = argc > 2 ? std::atol(argv[2]) : 200000;
    const int probes = argc > 3 ? std::atoi(argv[3]) : 5;
    RaiseDescriptorLimit(2 * idle + 256);

    TempDir dir;
    const std::string home = dir / "home";
    ::mkdir(home.c_str(), 0755);
    const int port = FreeTcpPort();
    if (RunCommand({"cp", PORTLORN_PROGRAM, dir / "Portlorn"}) != 0)
        return 1;
    WriteFile(dir / "portlorn.ini", "[Data]\nPort=" + std::to_string(port) +
                                        "\n[UserInfo]\ncount=1\nUserName1=user\nPassWord1=pass\nHomeDir1=" + home +
                                        "\nAcessRight1=1\n");
    ChildProcess program({dir / "Portlorn"}, dir / "program.log", {"QT_QPA_PLATFORM=offscreen"}, dir.path());
    if (!WaitForTcpPort(port)) {
        std::fprintf(stderr, "Portlorn did not start: %s\n", ReadFile(dir / "program.log").c_str());
        return 1;
    }

    auto t0 = Clock::now();
    std::vector<std::unique_ptr<Session>> sessions;
    for (int i = 0; i < idle; ++i) {
        sessions.push_back(std::make_unique<Session>(port));
        if (!sessions.back()->LogIn()) {
            std::fprintf(stderr, "idle session %d could not log in\n", i);
            return 1;
        }
    }
    std::printf("%d idle sessions logged in: %.2f s\n", idle, Seconds(Clock::now() - t0));

    Session flood(port);
    if (!flood.LogIn())
        return 1;
    std::atomic<long> answered{0};
    const auto floodStart = Clock::now();
    std::thread writer([&] {
        std::string batch;
        for (int i = 0; i < 1000; ++i)
            batch += "NOOP\r\n";
        for (long sent = 0; sent < noops; sent += 1000)
            flood.Send(batch);
    });
    Clock::duration drained{};
    std::thread reader([&] {
        while (answered < noops) {
            std::string line = flood.Line();
            if (line.empty())
                break;
            ++answered;
        }
        drained = Clock::now() - floodStart;
    });

    // Log-ins spread over the flood, each timed from connect to "230".
    std::vector<double> logins;
    for (int p = 0; p < probes; ++p) {
        while (answered < noops * (p + 1) / (probes + 2))
            std::this_thread::sleep_for(std::chrono::milliseconds(5)); // pacing only, not synchronisation
        auto start = Clock::now();
        Session probe(port);
        bool ok = probe.LogIn();
        logins.push_back(ok ? Seconds(Clock::now() - start) : 1e9);
        std::printf("log-in %d at %ld of %ld NOOPs answered: %s\n", p + 1, answered.load(), noops,
                    ok ? (std::to_string(logins.back() * 1000).substr(0, 6) + " ms").c_str() : "failed");
    }
    writer.join();
    reader.join();
    std::printf("%ld NOOPs answered: %.2f s (%.0f per second)\n", answered.load(), Seconds(drained),
                answered / Seconds(drained));
    const double worst = *std::max_element(logins.begin(), logins.end());
    std::printf("slowest log-in during the flood: %.1f ms (target: under 1000 ms)\n", worst * 1000);
    return answered == noops && worst < 1.0 ? 0 : 1;
}

#pragma once
// Helpers shared by the tests: temporary folders, free loopback ports, child
// processes that die with the test, and whole-file reads and writes.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
private:
    std::string path_;
};

// A TCP port on 127.0.0.1 that was free a moment ago, drawn at random from
// below the kernel's ephemeral range (so no socket bound to port 0 can take
// it meanwhile). A process does not hand out a port it handed out lately; other
// processes may, so a peer started on it checks that it is its own listener
// (ChildProcess::WaitUntilListening).
int FreeTcpPort();
// Like FreeTcpPort, for a run of count consecutive free ports (passive ranges).
int FreeTcpPortRange(int count);

// A socket listening on host:port (port 0 picks one, and port then tells
// which), or -1 when it cannot listen there.
int ListenTcp(const std::string& host, int& port, int backlog);
// A socket connected to 127.0.0.1:port, or -1 when nothing accepts there.
int ConnectTcpPort(int port);
// True while something accepts on 127.0.0.1:port.
bool TcpPortAccepts(int port);
// Waits until something accepts on 127.0.0.1:port.
bool WaitForTcpPort(int port, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// A child process in its own process group; killed (group-wide) on destruction.
class ChildProcess {
public:
    ChildProcess() = default;
    // argv[0] is the program (searched on PATH). stdout and stderr go to logPath
    // when given, else to /dev/null. env entries "NAME=value" are added.
    ChildProcess(const std::vector<std::string>& argv, const std::string& logPath = "",
                 const std::vector<std::string>& env = {}, const std::string& cwd = "");
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    int pid() const { return pid_; }
    bool running();
    // Waits until this process or one of its descendants listens on the TCP
    // port. Something accepting there is not enough: a peer of another test
    // process may have taken the port first, and ours then failed to bind.
    // False at once when the process ends.
    bool WaitUntilListening(int port, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Whether this process or one of its descendants listens on any TCP port now.
    bool ListensAnywhere();
    // Waits for the exit; returns the exit status, -1 on time-out (then kills).
    int wait(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    void kill();
private:
    int pid_ = -1;
};

// Runs a command to its end; returns its exit status; output into *output.
int RunCommand(const std::vector<std::string>& argv, std::string* output = nullptr,
               std::chrono::milliseconds timeout = std::chrono::seconds(60));

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
// Deterministic bytes of the given size, different for different seeds.
std::string PatternBytes(std::int64_t size, std::uint32_t seed = 1);
// The path of a program, or empty when it is not installed.
std::string FindProgram(const std::string& name);

} // namespace testsupport

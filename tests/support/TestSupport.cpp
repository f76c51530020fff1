#include "tests/support/TestSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testsupport {

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/skt-XXXXXX";
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

namespace {
std::mutex portMutex;
// Ports handed out lately, oldest first. Only recent ones are kept: a peer
// binds its port within moments, and a process that starts peers by the
// thousand (a repeated test) would otherwise run out of ports.
std::set<int> handedOut;
std::deque<int> handedOrder;
constexpr std::size_t rememberedPorts = 2048;

sockaddr_in Loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// The kernel's ephemeral range, where bind(0) and outgoing connections take
// their ports.
std::pair<int, int> EphemeralRange()
{
    int low = 32768, high = 60999;
    std::ifstream in("/proc/sys/net/ipv4/ip_local_port_range");
    in >> low >> high;
    return {low, high};
}

// Free for a server, which binds with SO_REUSEADDR as every peer here does:
// a port whose earlier connections linger in TIME_WAIT is free. Without the
// option, loopback traffic of a loaded run (ours and other processes') leaves
// a third of the ports looking taken for a minute, and runs of free ports
// for passive ranges become too rare to find.
bool PortFree(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = Loopback(port);
    bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// Inodes of the TCP sockets listening on the port (any port when it is -1), any local address.
std::set<unsigned long> ListeningInodes(int port)
{
    std::set<unsigned long> inodes;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line); // the heading
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
            unsigned long inode = 0;
            fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
            const auto colon = local.rfind(':');
            if (state != "0A" || colon == std::string::npos || inode == 0) continue; // 0A: LISTEN
            if (port < 0 || std::stoi(local.substr(colon + 1), nullptr, 16) == port) inodes.insert(inode);
        }
    }
    return inodes;
}

// The process and its descendants (by parent or by process group; the
// group is the process's own).
std::set<int> ProcessTree(int root)
{
    struct Proc {
        int pid, ppid, pgrp;
    };
    std::vector<Proc> all;
    if (DIR* d = ::opendir("/proc")) {
        while (dirent* e = ::readdir(d)) {
            const int pid = std::atoi(e->d_name);
            if (pid <= 0) continue;
            const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
            const auto paren = stat.rfind(')'); // the name may hold blanks and parentheses
            if (paren == std::string::npos) continue;
            std::istringstream fields(stat.substr(paren + 1));
            std::string state;
            Proc p{pid, 0, 0};
            fields >> state >> p.ppid >> p.pgrp;
            all.push_back(p);
        }
        ::closedir(d);
    }
    std::set<int> tree{root};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& p : all)
            if (!tree.count(p.pid) && (tree.count(p.ppid) || p.pgrp == root)) grew = tree.insert(p.pid).second;
    }
    return tree;
}

bool TreeHoldsSocket(int root, const std::set<unsigned long>& inodes)
{
    for (int pid : ProcessTree(root)) {
        const std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
        DIR* d = ::opendir(fdDir.c_str());
        if (!d) continue;
        bool found = false;
        while (dirent* e = ::readdir(d)) {
            char target[64];
            const ssize_t n = ::readlink((fdDir + "/" + e->d_name).c_str(), target, sizeof target - 1);
            if (n <= 0) continue;
            target[n] = '\0';
            unsigned long inode = 0;
            if (std::sscanf(target, "socket:[%lu]", &inode) == 1 && inodes.count(inode)) found = true;
            if (found) break;
        }
        ::closedir(d);
        if (found) return true;
    }
    return false;
}
} // namespace

int FreeTcpPort() { return FreeTcpPortRange(1); }

// Ports for peers are drawn at random from below the ephemeral range: a port
// taken from inside it could meanwhile be handed by the kernel to a passive
// or active data listener of another test, whose readiness probe or peer
// would then connect to the wrong socket.
int FreeTcpPortRange(int count)
{
    std::lock_guard<std::mutex> lock(portMutex);
    static std::mt19937 pick(static_cast<unsigned>(std::random_device{}()) ^ static_cast<unsigned>(::getpid()));
    auto [ephemeralLow, ephemeralHigh] = EphemeralRange();
    int low = 10000, high = ephemeralLow - 1;
    if (high - low < 1000) { // an unusual range: use what lies above it
        low = ephemeralHigh + 1;
        high = 65535;
    }
    std::uniform_int_distribution<int> firsts(low, high - count + 1);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        int first = firsts(pick);
        bool ok = true;
        for (int p = first; p < first + count && ok; ++p) ok = !handedOut.count(p) && PortFree(p);
        if (!ok) continue;
        for (int p = first; p < first + count; ++p) {
            handedOut.insert(p);
            handedOrder.push_back(p);
        }
        while (handedOrder.size() > rememberedPorts) {
            handedOut.erase(handedOrder.front());
            handedOrder.pop_front();
        }
        return first;
    }
    throw std::runtime_error("no free port range");
}

int ListenTcp(const std::string& host, int& port, int backlog)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, host.c_str(), &a.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

int ConnectTcpPort(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
    ::close(fd);
    return -1;
}

bool TcpPortAccepts(int port)
{
    int fd = ConnectTcpPort(port);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool WaitForTcpPort(int port, std::chrono::milliseconds timeout)
{
    auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (TcpPortAccepts(port)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& logPath,
                           const std::vector<std::string>& env, const std::string& cwd)
{
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        ::setpgid(0, 0);
        int out = ::open(logPath.empty() ? "/dev/null" : logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
        for (const auto& e : env) ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::setpgid(pid_, pid_);
}

ChildProcess::~ChildProcess() { kill(); }

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : pid_(other.pid_) { other.pid_ = -1; }

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept
{
    if (this != &other) {
        kill();
        pid_ = other.pid_;
        other.pid_ = -1;
    }
    return *this;
}

bool ChildProcess::running()
{
    if (pid_ <= 0) return false;
    int status;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

bool ChildProcess::WaitUntilListening(int port, std::chrono::milliseconds timeout)
{
    auto end = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        const auto inodes = ListeningInodes(port);
        if (!inodes.empty() && TreeHoldsSocket(pid_, inodes)) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

bool ChildProcess::ListensAnywhere()
{
    const auto inodes = ListeningInodes(-1);
    return running() && !inodes.empty() && TreeHoldsSocket(pid_, inodes);
}

int ChildProcess::wait(std::chrono::milliseconds timeout)
{
    if (pid_ <= 0) return -1;
    auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        int status;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill();
    return -1;
}

void ChildProcess::kill()
{
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        int status;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            ::kill(-pid_, SIGKILL); // stragglers of the group
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(-pid_, SIGKILL);
    int status;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

int RunCommand(const std::vector<std::string>& argv, std::string* output, std::chrono::milliseconds timeout)
{
    TempDir dir;
    std::string log = dir / "out";
    ChildProcess child(argv, log);
    int rc = child.wait(timeout);
    if (output) *output = ReadFile(log);
    return rc;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

std::string PatternBytes(std::int64_t size, std::uint32_t seed)
{
    std::string out(static_cast<size_t>(size), '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return out;
}

std::string FindProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string dirs = std::string(path ? path : "") + ":/usr/sbin:/sbin:/usr/bin";
    std::stringstream ss(dirs);
    std::string d;
    while (std::getline(ss, d, ':')) {
        std::string p = d + "/" + name;
        if (!d.empty() && ::access(p.c_str(), X_OK) == 0) return p;
    }
    return "";
}

} // namespace testsupport

#include "tests/server/FtpScriptClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <future>
#include <thread>

#include "os/MessageLoop.h"
#include "os/MessageTarget.h"
#include "server/FtpSrv.h"
#include "tests/support/TestSupport.h"

namespace servertest {

int ConnectTo(const std::string& host, int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, host.c_str(), &a.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    SetTimeout(fd, 10000);
    return fd;
}

int ListenOn(const std::string& host, int& port)
{
    return testsupport::ListenTcp(host, port, 16);
}

int AcceptOne(int listener, int timeoutMs)
{
    pollfd p {listener, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1) return -1;
    int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) SetTimeout(fd, 10000);
    return fd;
}

void SetTimeout(int fd, int ms)
{
    timeval tv {ms / 1000, (ms % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool SendAll(int fd, const std::string& data)
{
    std::size_t off = 0;
    while (off < data.size()) {
        ssize_t n = ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
        if (n <= 0) return false;
        off += static_cast<std::size_t>(n);
    }
    return true;
}

std::string ReadToEnd(int fd, int timeoutMs)
{
    SetTimeout(fd, timeoutMs);
    std::string out;
    char buf[65536];
    while (true) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

void CloseWithReset(int fd)
{
    linger l {1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(fd);
}

ScriptClient::~ScriptClient()
{
    Close();
}

bool ScriptClient::Open(int port)
{
    Close();
    fd_ = ConnectTo("127.0.0.1", port);
    if (fd_ < 0) return false;
    Reply r = Read();
    banner_ = r.text();
    return r.code != 0;
}

void ScriptClient::Close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buf_.clear();
}

Reply ScriptClient::Read(int timeoutMs)
{
    Reply reply;
    if (fd_ < 0) return reply;
    SetTimeout(fd_, timeoutMs);
    while (true) {
        std::size_t lf;
        while ((lf = buf_.find('\n')) != std::string::npos) {
            std::string line = buf_.substr(0, lf);
            buf_.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            reply.lines.push_back(line);
            // A reply ends with "ddd " (or a bare code); "ddd-" continues it.
            if (line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                std::isdigit(static_cast<unsigned char>(line[1])) &&
                std::isdigit(static_cast<unsigned char>(line[2])) && (line.size() == 3 || line[3] != '-')) {
                if (reply.lines.size() == 1 || line.compare(0, 3, reply.lines.front(), 0, 3) == 0) {
                    reply.code = std::stoi(line.substr(0, 3));
                    return reply;
                }
            }
        }
        char buf[4096];
        ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return reply;
        buf_.append(buf, static_cast<std::size_t>(n));
    }
}

Reply ScriptClient::Cmd(const std::string& line)
{
    if (!Send(line + "\r\n")) return {};
    return Read();
}

bool ScriptClient::Login(const std::string& user, const std::string& pass)
{
    if (Cmd("USER " + user).code != 331) return false;
    return Cmd("PASS " + pass).code == 230;
}

int ScriptClient::Pasv()
{
    Reply r = Cmd("PASV");
    if (r.code != 227) return -1;
    unsigned h1, h2, h3, h4, p1, p2;
    std::size_t open = r.text().find('(');
    if (open == std::string::npos ||
        std::sscanf(r.text().c_str() + open, "(%u,%u,%u,%u,%u,%u)", &h1, &h2, &h3, &h4, &p1, &p2) != 6)
        return -1;
    return ConnectTo(std::to_string(h1) + "." + std::to_string(h2) + "." + std::to_string(h3) + "." +
                         std::to_string(h4),
                     static_cast<int>(p1 * 256 + p2));
}

bool CloseAndWaitUntilPeerHasTheEnd(int fd, int timeoutMs)
{
    bool acknowledged = ::shutdown(fd, SHUT_WR) == 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (; acknowledged; std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
        // FIN_WAIT2 (or later): the peer acknowledged our end of the stream.
        tcp_info info {};
        socklen_t len = sizeof info;
        if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &len) != 0) acknowledged = false;
        else if (info.tcpi_state != TCP_FIN_WAIT1) break;
        else if (std::chrono::steady_clock::now() > deadline) acknowledged = false;
    }
    ::close(fd);
    return acknowledged;
}

Reply RetrIntoClosedDataConnection(ScriptClient& Client, const std::string& Name)
{
    int data = Client.Pasv();
    if (data < 0) return {};
    // Part of the fault: the close reaches the server before the RETR.
    if (!CloseAndWaitUntilPeerHasTheEnd(data)) return {};
    Reply r = Client.Cmd("RETR " + Name);
    return r.code == 150 ? Client.Read() : r;
}

DefaultSigpipeForChildren::DefaultSigpipeForChildren() : old_(std::signal(SIGPIPE, SIG_DFL)) {}

DefaultSigpipeForChildren::~DefaultSigpipeForChildren()
{
    std::signal(SIGPIPE, old_);
}

ServerThread::ServerThread(const std::string& home, Setup setup)
{
    thread_ = std::thread(&ServerThread::Main, this, home, std::move(setup));
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return ready_; });
}

ServerThread::~ServerThread()
{
    stop_ = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (wake_ != 0) os::PostMessage(wake_, os::WM_NULL, 0, 0);
    }
    thread_.join();
}

void ServerThread::Main(std::string home, Setup setup)
{
    auto& loop = os::MessageLoop::ForThisThread();
    {
        TPortlorn server;
        server.SetAddr("127.0.0.1");
        server.SetPort("0");
        server.OnAuthenticate = [home](TObject*, TFtpCtrlSocket* client, const TFtpString& u, const TFtpString& p,
                                       bool& ok) {
            ok = u == "user" && p == "pass";
            if (ok) client->SetHomeDir(home);
        };
        if (setup) setup(server);
        server.Start();
        os::HWND wake = os::CreateMessageTarget([this](os::UINT, os::WPARAM, os::LPARAM) {
            std::vector<std::function<void()>> tasks;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                tasks.swap(tasks_);
            }
            for (auto& t : tasks) t();
            return os::LRESULT(0);
        });
        {
            std::lock_guard<std::mutex> lock(mutex_);
            server_ = &server;
            wake_ = wake;
            port_ = std::stoi(server.GetBoundPort());
            ready_ = true;
        }
        cv_.notify_all();
        loop.WaitUntil([this] { return stop_.load(); }, -1);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            wake_ = 0;
            server_ = nullptr;
        }
        os::DestroyMessageTarget(wake);
        server.Stop();
        server.DisconnectAll();
    }
    loop.ProcessMessages();
}

void ServerThread::Run(const std::function<void(TPortlorn&)>& fn)
{
    std::promise<void> done;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back([&] {
            fn(*server_);
            done.set_value();
        });
        os::PostMessage(wake_, os::WM_USER, 0, 0);
    }
    done.get_future().wait();
}

int ServerThread::ClientCount()
{
    int n = 0;
    Run([&](TPortlorn& s) { n = s.GetClientCount(); });
    return n;
}

} // namespace servertest

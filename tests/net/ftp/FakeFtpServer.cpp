#include "tests/net/ftp/FakeFtpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <cstdlib>

#include "tests/support/TestSupport.h"

namespace fakeftp {

namespace {

int ListenLoopback(int* port)
{
    int picked = 0;
    const int fd = testsupport::ListenTcp("127.0.0.1", picked, 4);
    if (fd >= 0) *port = picked;
    return fd;
}

bool WaitReadable(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

void SendAll(int fd, const char* p, std::size_t n)
{
    while (n > 0) {
        ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
        if (k <= 0) return;
        p += k;
        n -= static_cast<std::size_t>(k);
    }
}

void CloseFd(int& fd)
{
    if (fd >= 0) ::close(fd);
    fd = -1;
}

constexpr int kWaitMs = 10000;

} // namespace

void Session::Fail(const std::string& message)
{
    std::lock_guard<std::mutex> lock(*mutex);
    errors->push_back(message);
}

void Session::Send(const std::string& bytes)
{
    if (control >= 0) SendAll(control, bytes.data(), bytes.size());
}

void Session::Reply(const std::string& line) { Send(line + "\r\n"); }

namespace {

enum class ReadResult { Line, Silent, Closed };

// One command line (without CR LF) from the control connection.
ReadResult ReadLine(Session& s, std::string& line, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto lf = s.pending.find('\n');
        if (lf != std::string::npos) {
            line = s.pending.substr(0, lf);
            s.pending.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::lock_guard<std::mutex> lock(*s.mutex);
            s.commands->push_back(line);
            return ReadResult::Line;
        }
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        deadline - std::chrono::steady_clock::now())
                                        .count());
        if (s.control < 0) return ReadResult::Closed;
        if (left <= 0 || !WaitReadable(s.control, left)) return ReadResult::Silent;
        char buf[4096];
        ssize_t n = ::recv(s.control, buf, sizeof buf, 0);
        if (n <= 0) {
            CloseFd(s.control);
            return ReadResult::Closed;
        }
        s.pending.append(buf, static_cast<std::size_t>(n));
    }
}

} // namespace

std::string Session::Expect(const std::string& prefix)
{
    std::string line;
    switch (ReadLine(*this, line, kWaitMs)) {
    case ReadResult::Line:
        if (line.compare(0, prefix.size(), prefix) != 0) Fail("expected \"" + prefix + "\", got \"" + line + "\"");
        return line;
    case ReadResult::Silent: Fail("no command while waiting for \"" + prefix + "\""); return {};
    case ReadResult::Closed: Fail("control closed while waiting for \"" + prefix + "\""); return {};
    }
    return {};
}

bool Session::NextCommand(std::string& line, int timeoutMs)
{
    return ReadLine(*this, line, timeoutMs) == ReadResult::Line;
}

void Session::Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void Session::Trickle(const std::string& bytes, std::size_t chunk, int pauseMs)
{
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        if (at) Sleep(pauseMs);
        Send(bytes.substr(at, chunk));
    }
}

void Session::CloseControl() { CloseFd(control); }

bool Session::WaitControlClosed(int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (control >= 0) {
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        deadline - std::chrono::steady_clock::now())
                                        .count());
        if (left <= 0 || !WaitReadable(control, left)) return false;
        char buf[4096];
        ssize_t n = ::recv(control, buf, sizeof buf, 0);
        if (n <= 0) CloseFd(control);
        else pending.append(buf, static_cast<std::size_t>(n));
    }
    return true;
}

void Session::PassiveReply()
{
    CloseFd(dataListen);
    int port = 0;
    dataListen = ListenLoopback(&port);
    // Set before any connection comes, so the connection takes it over.
    if (dataReceiveBuffer > 0)
        ::setsockopt(dataListen, SOL_SOCKET, SO_RCVBUF, &dataReceiveBuffer, sizeof dataReceiveBuffer);
    char text[128];
    std::snprintf(text, sizeof text, "227 Entering Passive Mode (127,0,0,1,%d,%d).", port / 256, port % 256);
    Reply(text);
}

void Session::ActiveFromPort(const std::string& portLine)
{
    int h1, h2, h3, h4, p1, p2;
    if (std::sscanf(portLine.c_str(), "PORT %d,%d,%d,%d,%d,%d", &h1, &h2, &h3, &h4, &p1, &p2) != 6) {
        Fail("bad PORT line: " + portLine);
        return;
    }
    activePort = p1 * 256 + p2;
}

void Session::OpenData()
{
    CloseFd(data);
    if (dataListen >= 0) {
        if (!WaitReadable(dataListen, kWaitMs)) {
            Fail("no data connection");
            return;
        }
        data = ::accept4(dataListen, nullptr, nullptr, SOCK_CLOEXEC);
        CloseFd(dataListen);
    } else if (activePort) {
        data = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(activePort));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(data, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            Fail("active connect failed");
            CloseFd(data);
        }
        activePort = 0;
    } else {
        Fail("OpenData without PASV or PORT");
    }
}

void Session::DataSend(const std::string& bytes)
{
    if (data >= 0) SendAll(data, bytes.data(), bytes.size());
}

std::string Session::DataReceiveAll()
{
    std::string all;
    while (data >= 0) {
        if (!WaitReadable(data, kWaitMs)) {
            Fail("data connection silent");
            break;
        }
        char buf[65536];
        ssize_t n = ::recv(data, buf, sizeof buf, 0);
        if (n < 0 && errno == ECONNRESET) dataReset = true;
        if (n <= 0) break;
        all.append(buf, static_cast<std::size_t>(n));
    }
    CloseFd(data);
    std::lock_guard<std::mutex> lock(*mutex);
    received->append(all);
    return all;
}

std::string Session::DataReceive(std::size_t count)
{
    std::string some;
    while (data >= 0 && some.size() < count) {
        if (!WaitReadable(data, kWaitMs)) {
            Fail("data connection silent");
            break;
        }
        char buf[65536];
        ssize_t n = ::recv(data, buf, std::min(sizeof buf, count - some.size()), 0);
        if (n <= 0) break;
        some.append(buf, static_cast<std::size_t>(n));
    }
    return some;
}

std::string Session::DataReceiveSlowly(std::size_t chunk, int pauseMs)
{
    std::string all;
    for (;;) {
        std::string piece = DataReceive(chunk);
        all += piece;
        if (piece.size() < chunk) break;
        Sleep(pauseMs);
    }
    CloseFd(data);
    std::lock_guard<std::mutex> lock(*mutex);
    received->append(all);
    return all;
}

void Session::BeginPassiveUpload(const std::string& verb)
{
    Expect("PASV");
    PassiveReply();
    OpenData();
    Expect(verb);
    Reply("150 go on");
}

void Session::CloseData() { CloseFd(data); }

void Session::AbortData()
{
    if (data >= 0) {
        linger l{1, 0};
        ::setsockopt(data, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    CloseFd(data);
}

FakeFtpServer::FakeFtpServer(std::vector<Step> script) : FakeFtpServer(std::vector<std::vector<Step>>{std::move(script)}) {}

FakeFtpServer::FakeFtpServer(std::vector<std::vector<Step>> scripts) : scripts_(std::move(scripts))
{
    listen_ = ListenLoopback(&port_);
    for (std::size_t i = 0; i < std::max<std::size_t>(scripts_.size(), 1); ++i) {
        auto session = std::make_unique<Session>();
        session->commands = &commands_;
        session->errors = &errors_;
        session->received = &received_;
        session->mutex = &mutex_;
        sessions_.push_back(std::move(session));
    }
    thread_ = std::thread([this] { Run(); });
}

FakeFtpServer::~FakeFtpServer()
{
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (auto& s : sessions_) {
        CloseFd(s->control);
        CloseFd(s->data);
        CloseFd(s->dataListen);
    }
    CloseFd(listen_);
}

void FakeFtpServer::RunSession(std::size_t index)
{
    Session& s = *sessions_[index];
    int one = 1;
    ::setsockopt(s.control, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    for (auto& step : scripts_[index]) step(s);
    // Let the client see everything sent before the connection ends.
    s.WaitControlClosed(300);
    CloseFd(s.data);
    CloseFd(s.control);
}

void FakeFtpServer::Run()
{
    std::vector<std::thread> workers;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    for (std::size_t i = 0; i < scripts_.size() && listen_ >= 0;) {
        // In slices, so a server whose later connections never come ends with its test.
        if (stop_ && i > 0) break;
        if (!WaitReadable(listen_, 50)) {
            if (std::chrono::steady_clock::now() < deadline) continue;
            if (i == 0) sessions_[0]->Fail("no client connected");
            break;
        }
        sessions_[i]->control = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        ++accepted_;
        if (scripts_.size() == 1) RunSession(i);
        else workers.emplace_back([this, i] { RunSession(i); });
        ++i;
        deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    }
    for (auto& t : workers) t.join();
    done_ = true;
}

bool FakeFtpServer::Join(int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done_ && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (done_ && thread_.joinable()) thread_.join();
    return done_;
}

std::vector<std::string> FakeFtpServer::Commands()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

std::vector<std::string> FakeFtpServer::Errors()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
}

std::string FakeFtpServer::Received()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

Step Welcome(const std::string& text)
{
    return [text](Session& s) { s.Reply(text); };
}

Step Login()
{
    return [](Session& s) {
        s.Expect("USER ");
        s.Reply("331 send password");
        s.Expect("PASS ");
        s.Reply("230 logged in");
    };
}

Step Answer(const std::string& prefix, const std::string& reply)
{
    return [prefix, reply](Session& s) {
        s.Expect(prefix);
        s.Reply(reply);
    };
}

Step PassiveDownload(const std::string& verb, const std::string& data)
{
    return [verb, data](Session& s) {
        s.Expect("PASV");
        s.PassiveReply();
        s.Expect(verb);
        s.Reply("150 opening data connection");
        s.OpenData();
        s.DataSend(data);
        s.CloseData();
        s.Reply("226 transfer complete");
    };
}

} // namespace fakeftp

namespace fakeftp {

void HoldSilently(Session& s) { s.WaitControlClosed(kWaitMs); }

Step Serve(Files files, Intercept intercept, int silenceMs)
{
    return [files = std::move(files), intercept = std::move(intercept), silenceMs](Session& s) {
        std::int64_t rest = 0;
        std::string line;
        while (s.control >= 0 && s.NextCommand(line, silenceMs)) {
            if (intercept && intercept(s, line)) continue;
            const auto space = line.find(' ');
            const std::string verb = line.substr(0, space);
            const std::string arg = space == std::string::npos ? std::string() : line.substr(space + 1);
            if (verb == "USER") s.Reply("331 send password");
            else if (verb == "PASS") s.Reply("230 logged in");
            else if (verb == "SYST") s.Reply("215 UNIX Type: L8");
            else if (verb == "TYPE") s.Reply("200 Type set");
            else if (verb == "PWD") s.Reply("257 \"/\" is the current directory");
            else if (verb == "CWD") s.Reply("250 ok");
            else if (verb == "PASV") s.PassiveReply();
            else if (verb == "PORT") {
                s.ActiveFromPort(line);
                s.Reply("200 PORT ok");
            } else if (verb == "REST") {
                rest = std::atoll(arg.c_str());
                s.Reply("350 Restarting at " + arg);
            } else if (verb == "RETR") {
                auto it = files.find(arg);
                if (it == files.end()) {
                    s.Reply("550 No such file");
                    continue;
                }
                s.Reply("150 Opening BINARY mode data connection");
                s.OpenData();
                s.DataSend(it->second.substr(static_cast<std::size_t>(std::min<std::int64_t>(rest, it->second.size()))));
                s.CloseData();
                s.Reply("226 Transfer complete");
                rest = 0;
            } else if (verb == "LIST") {
                std::string listing;
                for (const auto& [path, content] : files)
                    listing += "-rw-r--r-- 1 u g " + std::to_string(content.size()) + " Jan 01 00:00 " + path.substr(1) + "\r\n";
                s.Reply("150 Here comes the listing");
                s.OpenData();
                s.DataSend(listing);
                s.CloseData();
                s.Reply("226 Transfer complete");
            } else if (verb == "QUIT") {
                s.Reply("221 bye");
                s.CloseControl();
            } else {
                s.Reply("502 not implemented");
            }
        }
    };
}

} // namespace fakeftp

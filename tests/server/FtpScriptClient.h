#pragma once
// A scripted FTP client on blocking sockets with time-outs, for byte-level
// and fault cases; and a server component running on a thread of its own.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TPortlorn;

namespace servertest {

// One reply: its code and all its lines (CR LF removed).
struct Reply {
    int code = 0;
    std::vector<std::string> lines;
    std::string text() const { return lines.empty() ? "" : lines.back(); }
};

int ConnectTo(const std::string& host, int port); // -1 on failure
int ListenOn(const std::string& host, int& port);  // port 0 picks one
int AcceptOne(int listener, int timeoutMs);        // -1 on time-out
void SetTimeout(int fd, int ms);
bool SendAll(int fd, const std::string& data);
// Reads until the peer closes (or the time-out): everything received.
std::string ReadToEnd(int fd, int timeoutMs = 10000);
// Closes with a reset instead of an orderly close.
void CloseWithReset(int fd);
// Closes in order and waits until the peer's system has taken the end of
// the stream; false when it did not within the time-out.
bool CloseAndWaitUntilPeerHasTheEnd(int fd, int timeoutMs = 10000);

class ScriptClient {
public:
    ScriptClient() = default;
    explicit ScriptClient(int port) { Open(port); }
    ~ScriptClient();
    bool Open(int port);
    bool Connected() const { return fd_ >= 0; }
    // The next reply; code 0 on time-out or close.
    Reply Read(int timeoutMs = 10000);
    Reply Cmd(const std::string& line);
    bool Send(const std::string& raw) { return SendAll(fd_, raw); }
    bool Login(const std::string& user = "user", const std::string& pass = "pass");
    // PASV, then connects to the port it names; -1 on failure.
    int Pasv();
    void Close();
    int fd() const { return fd_; }
    const std::string& LastBanner() const { return banner_; }

private:
    int fd_ = -1;
    std::string buf_;
    std::string banner_;
};

// PASV, connects the data connection and closes it, waits until the server
// has taken the close, then RETR Name: the server writes into a connection
// its peer has closed. The transfer's final reply (code 0 when none came).
Reply RetrIntoClosedDataConnection(ScriptClient& Client, const std::string& Name);

// Programs started while one lives get SIGPIPE's default action, as from a
// shell (an ignored signal stays ignored across exec).
class DefaultSigpipeForChildren {
public:
    DefaultSigpipeForChildren();
    ~DefaultSigpipeForChildren();
    DefaultSigpipeForChildren(const DefaultSigpipeForChildren&) = delete;
    DefaultSigpipeForChildren& operator=(const DefaultSigpipeForChildren&) = delete;

private:
    void (*old_)(int) = nullptr;
};

// A server component on its own thread and message loop, listening on
// 127.0.0.1 and a port the system picks, serving Home for "user"/"pass".
class ServerThread {
public:
    using Setup = std::function<void(TPortlorn&)>;
    explicit ServerThread(const std::string& home, Setup setup = {});
    ~ServerThread();
    int Port() const { return port_; }
    // Runs the function on the server's thread and waits for it.
    void Run(const std::function<void(TPortlorn&)>& fn);
    int ClientCount();

private:
    void Main(std::string home, Setup setup);
    std::thread thread_;
    std::atomic<bool> stop_ {false};
    std::mutex mutex_;
    std::condition_variable cv_;
    int port_ = 0;
    bool ready_ = false;
    std::uint64_t wake_ = 0;
    std::vector<std::function<void()>> tasks_;
    TPortlorn* server_ = nullptr;
};

} // namespace servertest

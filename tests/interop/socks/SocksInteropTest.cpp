// TAsyncSocket through real SOCKS servers to a small greeting-and-echo
// server of the test's own.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <list>
#include <mutex>
#include <thread>

#include "net/AsyncSocket.h"
#include "os/MessageLoop.h"
#include "tests/support/SocksPeers.h"
#include "tests/support/TestSupport.h"

using testsupport::SocksPeer;

namespace {

// Greets every connection with "220 echo ready" CR LF, then echoes.
class EchoServer {
public:
    EchoServer()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 16);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        acceptor_ = std::thread([this] {
            for (;;) {
                int c = ::accept(fd_, nullptr, nullptr);
                if (c < 0) return;
                std::lock_guard<std::mutex> lock(m_);
                clients_.push_back(c);
                workers_.emplace_back([c] {
                    const char hello[] = "220 echo ready\r\n";
                    ::send(c, hello, sizeof hello - 1, MSG_NOSIGNAL);
                    char buf[65536];
                    for (;;) {
                        ssize_t n = ::recv(c, buf, sizeof buf, 0);
                        if (n <= 0) break;
                        for (ssize_t off = 0; off < n;) {
                            ssize_t w = ::send(c, buf + off, static_cast<std::size_t>(n - off), MSG_NOSIGNAL);
                            if (w <= 0) return;
                            off += w;
                        }
                    }
                    ::shutdown(c, SHUT_WR);
                });
            }
        });
    }
    ~EchoServer()
    {
        ::shutdown(fd_, SHUT_RDWR);
        acceptor_.join();
        {
            std::lock_guard<std::mutex> lock(m_);
            for (int c : clients_) ::shutdown(c, SHUT_RDWR);
        }
        for (auto& w : workers_) w.join();
        for (int c : clients_) ::close(c);
        ::close(fd_);
    }
    int Port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::thread acceptor_;
    std::mutex m_;
    std::vector<int> clients_;
    std::list<std::thread> workers_;
};

struct Case {
    const char* name;
    SocksPeer::Kind kind;
    const char* level;
    const char* addr;   // the destination as the client names it
    bool credentials;   // hand the server's user and password over
    const char* wrongPassword; // non-empty: expect the login to fail
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ThroughSocks : public ::testing::TestWithParam<Case> {};

} // namespace

TEST_P(ThroughSocks, GreetingAndEchoArriveByteExact)
{
    const Case& c = GetParam();
    SocksPeer peer(c.kind);
    // The set-up script installs every peer: one that cannot start is a failure.
    ASSERT_TRUE(peer.Error().empty()) << peer.Error();
    EchoServer echo;

    TAsyncSocket s;
    std::string received;
    std::vector<std::string> events;
    bool closed = false;
    s.OnSocksConnected = [&](TObject*, std::uint16_t e) { events.push_back("socks " + std::to_string(e)); };
    s.OnSocksError = [&](TObject*, int e, const std::string& m) { events.push_back("error " + std::to_string(e) + " " + m); };
    s.OnSocksAuthState = [&](TObject*, TSocksAuthState a) { events.push_back("auth " + std::to_string(a)); };
    s.OnSessionConnected = [&](TObject*, std::uint16_t e) { events.push_back("connected " + std::to_string(e)); };
    s.OnSessionClosed = [&](TObject*, std::uint16_t e) {
        events.push_back("closed " + std::to_string(e));
        closed = true;
    };
    s.OnDataAvailable = [&](TObject*, std::uint16_t) {
        char buf[65536];
        int n = s.ReadBytes(buf, sizeof buf);
        if (n > 0) received.append(buf, static_cast<std::size_t>(n));
    };
    if (c.credentials) {
        s.SetSocksUsercode(peer.User());
        s.SetSocksPassword(*c.wrongPassword ? std::string(c.wrongPassword) : peer.Password());
        s.SetSocksAuthentication(socksAuthenticateUsercode);
    }
    s.SetSocksServer("127.0.0.1");
    s.SetSocksPort(std::to_string(peer.Port()));
    s.SetSocksLevel(c.level);
    s.SetAddr(c.addr);
    s.SetPort(std::to_string(echo.Port()));
    s.Connect();
    auto& loop = os::MessageLoop::ForThisThread();

    if (*c.wrongPassword) {
        ASSERT_TRUE(loop.WaitUntil([&] { return closed; }, 20000)) << peer.Log();
        EXPECT_EQ(events.front(), "socks 0");
        EXPECT_EQ(events.back().rfind("closed ", 0), 0u);
        // The owner learns of the failure as a failed connect, never as a session.
        bool failedConnect = false;
        for (const auto& e : events) {
            EXPECT_NE(e, "connected 0") << "a wrong password must not connect";
            failedConnect |= e.rfind("connected ", 0) == 0 && e != "connected 0";
        }
        EXPECT_TRUE(failedConnect) << ::testing::PrintToString(events);
        return;
    }

    const std::string greeting = "220 echo ready\r\n";
    ASSERT_TRUE(loop.WaitUntil([&] { return received.size() >= greeting.size() || closed; }, 20000))
        << peer.Log();
    ASSERT_EQ(received, greeting) << peer.Log();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "socks 0");
    EXPECT_EQ(events.back(), "connected 0");

    const std::string data = testsupport::PatternBytes(3 * 1024 * 1024 + 5, 17);
    received.clear();
    s.SendBuffer(data.data(), static_cast<std::int64_t>(data.size()));
    ASSERT_TRUE(loop.WaitUntil([&] { return received.size() >= data.size() || closed; }, 60000));
    EXPECT_EQ(received.size(), data.size());
    EXPECT_TRUE(received == data);
    s.CloseSession();
    EXPECT_EQ(events.back(), "closed 0");
    EXPECT_EQ(s.SocksServer(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Servers, ThroughSocks,
    ::testing::Values(Case{"dante_socks4", SocksPeer::Dante, "4", "127.0.0.1", false, ""},
                      Case{"dante_socks5", SocksPeer::Dante, "5", "127.0.0.1", false, ""},
                      Case{"dante_socks5_username", SocksPeer::DanteUser, "5", "127.0.0.1", true, ""},
                      Case{"dante_socks5_wrong_password", SocksPeer::DanteUser, "5", "127.0.0.1", true, "wrong"},
                      Case{"microsocks_socks5_password", SocksPeer::Microsocks, "5", "localhost", true, ""},
                      Case{"microsocks_socks5_wrong_password", SocksPeer::Microsocks, "5", "localhost", true, "bad"},
                      Case{"ssh_socks4a_name", SocksPeer::SshDynamic, "4A", "localhost", false, ""},
                      Case{"ssh_socks4", SocksPeer::SshDynamic, "4", "127.0.0.1", false, ""},
                      Case{"ssh_socks5", SocksPeer::SshDynamic, "5", "localhost", false, ""}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

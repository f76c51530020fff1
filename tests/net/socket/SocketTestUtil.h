#pragma once
// Small helpers shared by the socket component's tests: pumping the
// thread's loop, a listening component with its accepted peer, and plain
// blocking sockets for peers the tests script byte by byte.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/AsyncSocket.h"
#include "os/MessageLoop.h"

namespace sockettest {

// Pumps this thread's loop until done() holds or timeoutMs passed.
inline bool Pump(const std::function<bool()>& done, std::int64_t timeoutMs = 5000)
{
    return os::MessageLoop::ForThisThread().WaitUntil(done, timeoutMs);
}

// Pumps for a while whatever happens (to show that something does NOT arrive).
inline void PumpFor(std::int64_t ms)
{
    os::MessageLoop::ForThisThread().WaitUntil([] { return false; }, ms);
}

// A component listening on 127.0.0.1 at a port the system picks; every
// accepted connection becomes a new TAsyncSocket through Dup.
struct Listener {
    TAsyncSocket socket;
    std::unique_ptr<TAsyncSocket> accepted;
    std::function<void(TAsyncSocket&)> onAccepted;

    Listener()
    {
        socket.SetAddr("127.0.0.1");
        socket.SetPort("0");
        socket.OnSessionAvailable = [this](TObject*, std::uint16_t) {
            auto s = std::make_unique<TAsyncSocket>();
            if (onAccepted) onAccepted(*s);
            s->Dup(socket.Accept());
            accepted = std::move(s);
        };
        socket.Listen();
    }
    int Port() { return std::stoi(socket.GetBoundPort()); }
};

// Plain blocking sockets.
// A receive buffer given here (before listen) is inherited by accepted
// sockets with a window that fits it; shrinking it after the handshake can
// stall the connection in the kernel.
inline int RawListen(int& port, int receiveBuffer = 0)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (receiveBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 8);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

inline int RawConnect(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

inline bool RawSendAll(int fd, const std::string& data)
{
    std::size_t off = 0;
    while (off < data.size()) {
        ssize_t n = ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
        if (n <= 0) return false;
        off += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads exactly n bytes (fewer when the stream ends or fails first).
inline std::string RawRecvN(int fd, std::size_t n)
{
    std::string out;
    char buf[4096];
    while (out.size() < n) {
        ssize_t r = ::recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
        if (r <= 0) break;
        out.append(buf, static_cast<std::size_t>(r));
    }
    return out;
}

// Reads to the end of the stream; *reset tells whether it ended in a reset.
inline std::string RawRecvAll(int fd, bool* reset = nullptr)
{
    std::string out;
    char buf[65536];
    for (;;) {
        ssize_t r = ::recv(fd, buf, sizeof buf, 0);
        if (r > 0) {
            out.append(buf, static_cast<std::size_t>(r));
            continue;
        }
        if (reset) *reset = r < 0;
        break;
    }
    return out;
}

// An owner that reads everything offered in OnDataAvailable into `received`.
inline void CollectInto(TCustomAsyncSocket& s, std::string& received, int chunk = 65536)
{
    s.OnDataAvailable = [&s, &received, chunk](TObject*, std::uint16_t) {
        std::string buf(static_cast<std::size_t>(chunk), '\0');
        int n = s.ReadBytes(buf.data(), chunk);
        if (n > 0) received.append(buf.data(), static_cast<std::size_t>(n));
    };
}

} // namespace sockettest

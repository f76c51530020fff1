#include "os/Winsock.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netinet/tcp.h>
#include <shared_mutex>
#include <sys/epoll.h>
#include <unistd.h>
#include <unordered_map>

#include "os/LoopCore.h"
#include "os/MessageLoop.h"
#include "os/TargetRegistry.h"
#include "os/WinsockInternal.h"

namespace os {
namespace detail {

namespace {
thread_local int tlsWsaError = 0;
std::atomic<int> startupCount{0};
} // namespace

void SetWsaError(int error) { tlsWsaError = error; }

bool WinsockStarted()
{
    if (startupCount.load() > 0)
        return true;
    tlsWsaError = WSANOTINITIALISED;
    return false;
}

} // namespace detail

namespace winsock {
namespace {

using detail::SetWsaError;

// One socket of the library. Its select state is touched on the thread of
// the loop it is watched by.
struct Sock {
    SOCKET id = INVALID_SOCKET;
    int fd = -1;
    int type = SOCK_STREAM;
    bool nonBlocking = false;

    HWND target = 0;
    UINT message = 0;
    long mask = 0;
    MessageLoop* loop = nullptr;
    std::weak_ptr<detail::PostCore> loopCore; // tells whether loop still lives
    bool watched = false;

    bool listening = false;
    bool connecting = false;
    bool connected = false;
    bool readArmed = true;
    bool writeArmed = false;
    bool acceptArmed = true;
    bool closeReported = false;
    bool sendShutdown = false;

    bool lingerStored = false;
    linger lingerValue{};
};

struct Table {
    std::shared_mutex mu;
    std::unordered_map<SOCKET, std::shared_ptr<Sock>> socks;
    std::atomic<SOCKET> nextId{1};
};

Table& Socks()
{
    static Table* t = new Table; // threads may close sockets during exit
    return *t;
}

std::shared_ptr<Sock> Find(SOCKET s)
{
    if (!detail::WinsockStarted())
        return nullptr;
    Table& t = Socks();
    std::shared_lock lock(t.mu);
    auto it = t.socks.find(s);
    if (it == t.socks.end()) {
        SetWsaError(WSAENOTSOCK);
        return nullptr;
    }
    return it->second;
}

int Fail(int wsaError)
{
    SetWsaError(wsaError);
    return SOCKET_ERROR;
}

int FailErrno() { return Fail(WsaErrorFromErrno(errno)); }

void Post(Sock& s, long event, int error)
{
    if (s.target == 0 || !(s.mask & event))
        return;
    PostMessage(s.target, s.message, static_cast<WPARAM>(s.id),
                WSAMAKESELECTREPLY(static_cast<std::uint16_t>(event), static_cast<std::uint16_t>(error)));
}

bool LoopAlive(const Sock& s)
{
    if (!s.loop)
        return false;
    auto core = s.loopCore.lock();
    if (!core)
        return false;
    std::lock_guard lock(core->mu);
    return core->alive; // false once the loop's thread has ended
}

// The epoll interest that the armed events need. Read interest is dropped
// lazily: an event that nobody armed removes it, so a recv that comes
// before the next poll costs no system call.
std::uint32_t WantedInterest(const Sock& s)
{
    if (s.mask == 0)
        return 0;
    std::uint32_t want = 0;
    if (s.listening) {
        if (s.acceptArmed && (s.mask & FD_ACCEPT))
            want |= EPOLLIN;
        return want;
    }
    if (s.connecting)
        return EPOLLOUT;
    if (s.type == SOCK_STREAM && !s.connected)
        return 0;
    if (!s.closeReported) {
        if (s.mask & FD_READ) {
            // With data waiting unread, nothing on the read side is watched:
            // the close comes after the data, once recv re-armed.
            if (s.readArmed)
                want |= EPOLLIN | EPOLLRDHUP;
        } else if ((s.mask & FD_CLOSE) && s.type == SOCK_STREAM) {
            want |= EPOLLRDHUP;
        }
    }
    if (s.writeArmed && (s.mask & FD_WRITE))
        want |= EPOLLOUT;
    return want;
}

void UpdateInterest(Sock& s, std::uint32_t keep = 0)
{
    if (!s.watched || !LoopAlive(s))
        return;
    s.loop->ModifyFd(s.fd, WantedInterest(s) | keep);
}

int PendingError(int fd)
{
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        return errno;
    return err;
}

int BytesWaiting(int fd)
{
    int n = 0;
    if (::ioctl(fd, FIONREAD, &n) != 0)
        return 0;
    return n;
}

void OnEvents(const std::shared_ptr<Sock>& sp, std::uint32_t ev)
{
    Sock& s = *sp;
    if (s.mask == 0 || s.fd < 0)
        return;
    const bool hup = ev & (EPOLLHUP | EPOLLERR | EPOLLRDHUP);
    std::uint32_t keep = 0;
    if (s.connecting) {
        if (ev & (EPOLLOUT | EPOLLERR | EPOLLHUP)) {
            int err = PendingError(s.fd);
            s.connecting = false;
            if (err == 0) {
                s.connected = true;
                Post(s, FD_CONNECT, 0);
                // The one write event a connect gives.
                Post(s, FD_WRITE, 0);
                s.writeArmed = false;
            } else {
                Post(s, FD_CONNECT, WsaErrorFromErrno(err));
                s.closeReported = true; // a failed connect reports nothing more
            }
        }
    } else if (s.listening) {
        if ((ev & EPOLLIN) && s.acceptArmed && (s.mask & FD_ACCEPT)) {
            Post(s, FD_ACCEPT, 0);
            s.acceptArmed = false;
        }
    } else {
        if ((ev & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) && !s.closeReported) {
            if ((s.mask & FD_READ) && s.readArmed) {
                // Without a hang-up, readable means data; with one, look.
                bool data = s.type != SOCK_STREAM || !hup || BytesWaiting(s.fd) > 0;
                if (data) {
                    Post(s, FD_READ, 0);
                    s.readArmed = false;
                    keep = EPOLLIN | EPOLLRDHUP;
                } else {
                    int err = (ev & EPOLLERR) ? PendingError(s.fd) : 0;
                    s.closeReported = true;
                    Post(s, FD_CLOSE, err ? WsaErrorFromErrno(err) : 0);
                }
            } else if (!(s.mask & FD_READ) && hup && s.type == SOCK_STREAM) {
                int err = (ev & EPOLLERR) ? PendingError(s.fd) : 0;
                s.closeReported = true;
                Post(s, FD_CLOSE, err ? WsaErrorFromErrno(err) : 0);
            }
        }
        if ((ev & (EPOLLOUT | EPOLLERR | EPOLLHUP)) && s.writeArmed && (s.mask & FD_WRITE)) {
            Post(s, FD_WRITE, 0);
            s.writeArmed = false;
        }
    }
    UpdateInterest(s, keep);
}

void Unwatch(Sock& s)
{
    if (s.watched && LoopAlive(s))
        s.loop->UnwatchFd(s.fd);
    s.watched = false;
    s.loop = nullptr;
}

std::shared_ptr<Sock> Adopt(int fd, int type)
{
    auto s = std::make_shared<Sock>();
    s->fd = fd;
    s->type = type;
    Table& t = Socks();
    s->id = t.nextId.fetch_add(1);
    std::unique_lock lock(t.mu);
    t.socks.emplace(s->id, s);
    return s;
}

bool SetNonBlocking(int fd, bool on)
{
    int fl = ::fcntl(fd, F_GETFL);
    if (fl < 0)
        return false;
    fl = on ? (fl | O_NONBLOCK) : (fl & ~O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, fl) == 0;
}

socklen_t Len(int n) { return n < 0 ? 0 : static_cast<socklen_t>(n); }

} // namespace

int WSAStartup(std::uint16_t versionRequested, WSADATA* data)
{
    std::uint8_t major = versionRequested & 0xFF;
    if (major < 1)
        return WSAVERNOTSUPPORTED;
    if (data) {
        *data = WSADATA{};
        data->wVersion = 0x0101;
        data->wHighVersion = 0x0101;
        std::strcpy(data->szDescription, "Built-in socket library");
        std::strcpy(data->szSystemStatus, "Running");
        data->iMaxSockets = 0xFFFF;
        data->iMaxUdpDg = 65467;
    }
    detail::startupCount.fetch_add(1);
    return 0;
}

int WSACleanup()
{
    int n = detail::startupCount.load();
    while (n > 0 && !detail::startupCount.compare_exchange_weak(n, n - 1)) {
    }
    if (n <= 0)
        return Fail(WSANOTINITIALISED);
    return 0;
}

void WSASetLastError(int error) { detail::tlsWsaError = error; }
int WSAGetLastError() { return detail::tlsWsaError; }

int WSAAsyncSelect(SOCKET sock, HWND target, UINT message, long events)
{
    auto sp = Find(sock);
    if (!sp)
        return SOCKET_ERROR;
    Sock& s = *sp;
    if (events != 0 && !detail::TargetOwnedByThisThread(target))
        return Fail(WSAEINVAL);
    if (!SetNonBlocking(s.fd, true))
        return FailErrno();
    s.nonBlocking = true;
    MessageLoop& loop = MessageLoop::ForThisThread();
    if (s.watched && s.loop != &loop)
        Unwatch(s);
    s.target = events ? target : 0;
    s.message = message;
    s.mask = events;
    if (events == 0) {
        Unwatch(s);
        return 0;
    }
    // A new selection re-evaluates: read and accept armed again, and an
    // already connected socket can write now.
    s.readArmed = true;
    s.acceptArmed = true;
    s.writeArmed = false;
    if (!s.listening && !s.connecting && (s.connected || s.type != SOCK_STREAM))
        Post(s, FD_WRITE, 0);
    if (!s.watched) {
        s.loop = &loop;
        s.loopCore = loop.impl().core;
        s.watched = true;
        std::weak_ptr<Sock> weak = sp;
        loop.WatchFd(s.fd, WantedInterest(s), [weak](std::uint32_t ev) {
            if (auto p = weak.lock())
                OnEvents(p, ev);
        });
    } else {
        UpdateInterest(s);
    }
    return 0;
}

SOCKET socket(int af, int type, int protocol)
{
    if (!detail::WinsockStarted())
        return INVALID_SOCKET;
    int fd = ::socket(af, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        SetWsaError(WsaErrorFromErrno(errno));
        return INVALID_SOCKET;
    }
    return Adopt(fd, type)->id;
}

int bind(SOCKET sock, const sockaddr* addr, int namelen)
{
    auto sp = Find(sock);
    if (!sp)
        return SOCKET_ERROR;
    if (sp->type == SOCK_STREAM) {
        // Taking a port still in TIME_WAIT works only when asked before bind.
        int one = 1;
        ::setsockopt(sp->fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    }
    if (::bind(sp->fd, addr, Len(namelen)) != 0)
        return FailErrno();
    return 0;
}

int listen(SOCKET sock, int backlog)
{
    auto sp = Find(sock);
    if (!sp)
        return SOCKET_ERROR;
    int one = 1;
    ::setsockopt(sp->fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::listen(sp->fd, backlog) != 0)
        return FailErrno();
    sp->listening = true;
    sp->acceptArmed = true;
    UpdateInterest(*sp);
    return 0;
}

SOCKET accept(SOCKET sock, sockaddr* addr, int* addrlen)
{
    auto sp = Find(sock);
    if (!sp)
        return INVALID_SOCKET;
    Sock& s = *sp;
    socklen_t len = addrlen ? Len(*addrlen) : 0;
    int fd = ::accept4(s.fd, addr, addr ? &len : nullptr, SOCK_CLOEXEC | (s.nonBlocking ? SOCK_NONBLOCK : 0));
    s.acceptArmed = true;
    UpdateInterest(s);
    if (fd < 0) {
        SetWsaError(WsaErrorFromErrno(errno));
        return INVALID_SOCKET;
    }
    if (addrlen)
        *addrlen = static_cast<int>(len);
    auto n = Adopt(fd, SOCK_STREAM);
    n->nonBlocking = s.nonBlocking;
    n->connected = true;
    return n->id;
}

int connect(SOCKET sock, const sockaddr* name, int namelen)
{
    auto sp = Find(sock);
    if (!sp)
        return SOCKET_ERROR;
    Sock& s = *sp;
    if (s.connecting)
        return Fail(WSAEALREADY);
    if (s.connected && s.type == SOCK_STREAM)
        return Fail(WSAEISCONN);
    if (::connect(s.fd, name, Len(namelen)) == 0) {
        s.connected = true;
        if (s.nonBlocking && s.type == SOCK_STREAM) {
            // Report it the one way callers expect: would block, then FD_CONNECT.
            s.connected = false;
            s.connecting = true;
            UpdateInterest(s);
            return Fail(WSAEWOULDBLOCK);
        }
        return 0;
    }
    int err = errno;
    if (s.nonBlocking && s.type == SOCK_STREAM) {
        if (err == EINPROGRESS || err == EAGAIN) {
            s.connecting = true;
            UpdateInterest(s);
            return Fail(WSAEWOULDBLOCK);
        }
        if (err == ECONNREFUSED || err == ENETUNREACH || err == EHOSTUNREACH || err == ETIMEDOUT) {
            // A network outcome known at once still arrives as FD_CONNECT.
            Post(s, FD_CONNECT, WsaErrorFromErrno(err));
            s.closeReported = true;
            return Fail(WSAEWOULDBLOCK);
        }
    }
    return Fail(WsaErrorFromErrno(err));
}

int shutdown(SOCKET sock, int how)
{
    auto sp = Find(sock);
    if (!sp)
        return SOCKET_ERROR;
    if (::shutdown(sp->fd, how) != 0)
        return FailErrno();
    if (how == SHUT_WR || how == SHUT_RDWR)
        sp->sendShutdown = true;
    return 0;
}

int closesocket(SOCKET sock)
{
    std::shared_ptr<Sock> sp;
    {
        if (!detail::WinsockStarted())
            return SOCKET_ERROR;
        Table& t = Socks();
        std::unique_lock lock(t.mu);
        auto it = t.socks.find(sock);
        if (it == t.socks.end())
            return Fail(WSAENOTSOCK);
        sp = std::move(it->second);
        t.socks.erase(it);
    }
    Unwatch(*sp);
    // A linger with a time-out was never given to the kernel, so this close
    // returns at once and the connection ends in the background.
    int fd = sp->fd;
    sp->fd = -1;
    sp->mask = 0;
    if (::close(fd) != 0 && errno != EINTR)
        return FailErrno();
    return 0;
}

int send(SOCKET sock, const char* buf, int len, int flags)
{
    return sendto(sock, buf, len, flags, nullptr, 0);
}

int sendto(SOCKET sock, const char* buf, int len, int flags, const sockaddr* to, int tolen)
{
    auto sp = Find(sock);
    if (!sp)
        return SOCKET_ERROR;
    Sock& s = *sp;
    if (len < 0)
        return Fail(WSAEINVAL);
    ssize_t n = to ? ::sendto(s.fd, buf, static_cast<size_t>(len), flags | MSG_NOSIGNAL, to, Len(tolen))
                   : ::send(s.fd, buf, static_cast<size_t>(len), flags | MSG_NOSIGNAL);
    if (n < 0) {
        int err = errno;
        if (err == EAGAIN || err == EWOULDBLOCK) {
            s.writeArmed = true;
            UpdateInterest(s);
            return Fail(WSAEWOULDBLOCK);
        }
        // Linux says EPIPE for three different things.
        if (err == EPIPE)
            return Fail(s.sendShutdown ? WSAESHUTDOWN : (s.connected || s.type != SOCK_STREAM) ? WSAECONNRESET : WSAENOTCONN);
        return Fail(WsaErrorFromErrno(err));
    }
    if (n < len && s.nonBlocking && s.type == SOCK_STREAM) {
        // The rest would block: room for it is announced like after a refusal.
        s.writeArmed = true;
        UpdateInterest(s);
    }
    return static_cast<int>(n);
}

int recv(SOCKET sock, char* buf, int len, int flags)
{
    return recvfrom(sock, buf, len, flags, nullptr, nullptr);
}

int recvfrom(SOCKET sock, char* buf, int len, int flags, sockaddr* from, int* fromlen)
{
    auto sp = Find(sock);
    if (!sp)
        return SOCKET_ERROR;
    Sock& s = *sp;
    if (len < 0)
        return Fail(WSAEINVAL);
    socklen_t flen = fromlen ? Len(*fromlen) : 0;
    ssize_t n = from ? ::recvfrom(s.fd, buf, static_cast<size_t>(len), flags, from, &flen)
                     : ::recv(s.fd, buf, static_cast<size_t>(len), flags);
    int err = errno;
    if (!s.readArmed && !(flags & MSG_PEEK)) {
        s.readArmed = true; // what is left behind posts the next FD_READ
        UpdateInterest(s);
    }
    if (n < 0)
        return Fail(err == EAGAIN ? WSAEWOULDBLOCK : WsaErrorFromErrno(err));
    if (fromlen)
        *fromlen = static_cast<int>(flen);
    return static_cast<int>(n);
}

int setsockopt(SOCKET sock, int level, int optname, const char* optval, int optlen)
{
    auto sp = Find(sock);
    if (!sp)
        return SOCKET_ERROR;
    Sock& s = *sp;
    if (optlen < 0 || (optlen > 0 && !optval))
        return Fail(WSAEFAULT);
    if (level == SOL_SOCKET && optname == SO_LINGER) {
        if (optlen < static_cast<int>(sizeof(linger)))
            return Fail(WSAEFAULT);
        linger l;
        std::memcpy(&l, optval, sizeof l);
        s.lingerStored = true;
        s.lingerValue = l;
        // Only "off" and "reset on close" reach the kernel: a linger time
        // there would make close block the thread.
        linger k = l;
        if (l.l_onoff && l.l_linger > 0)
            k = linger{0, 0};
        if (::setsockopt(s.fd, SOL_SOCKET, SO_LINGER, &k, sizeof k) != 0)
            return FailErrno();
        return 0;
    }
    // Flags may come as a single byte; the host wants an int.
    int wide = 0;
    const void* val = optval;
    socklen_t vlen = Len(optlen);
    if (optlen > 0 && optlen < static_cast<int>(sizeof(int))) {
        wide = static_cast<unsigned char>(optval[0]);
        val = &wide;
        vlen = sizeof wide;
    }
    if (::setsockopt(s.fd, level, optname, val, vlen) != 0)
        return FailErrno();
    return 0;
}

int getsockopt(SOCKET sock, int level, int optname, char* optval, int* optlen)
{
    auto sp = Find(sock);
    if (!sp)
        return SOCKET_ERROR;
    Sock& s = *sp;
    if (!optval || !optlen || *optlen < 0)
        return Fail(WSAEFAULT);
    if (level == SOL_SOCKET && optname == SO_LINGER && s.lingerStored) {
        if (*optlen < static_cast<int>(sizeof(linger)))
            return Fail(WSAEFAULT);
        std::memcpy(optval, &s.lingerValue, sizeof(linger));
        *optlen = sizeof(linger);
        return 0;
    }
    socklen_t len = Len(*optlen);
    if (::getsockopt(s.fd, level, optname, optval, &len) != 0)
        return FailErrno();
    if (level == SOL_SOCKET && optname == SO_ERROR && len == sizeof(int)) {
        int e;
        std::memcpy(&e, optval, sizeof e);
        e = WsaErrorFromErrno(e);
        std::memcpy(optval, &e, sizeof e);
    }
    *optlen = static_cast<int>(len);
    return 0;
}

int ioctlsocket(SOCKET sock, long cmd, unsigned long* argp)
{
    auto sp = Find(sock);
    if (!sp)
        return SOCKET_ERROR;
    if (!argp)
        return Fail(WSAEFAULT);
    if (static_cast<unsigned long>(cmd) == FIONREAD) {
        int n = 0;
        if (sp->listening) {
            *argp = 0;
            return 0;
        }
        if (::ioctl(sp->fd, FIONREAD, &n) != 0)
            return FailErrno();
        *argp = static_cast<unsigned long>(n);
        return 0;
    }
    if (static_cast<unsigned long>(cmd) == FIONBIO) {
        bool on = *argp != 0;
        if (!on && sp->mask != 0)
            return Fail(WSAEINVAL); // events need a non-blocking socket
        if (!SetNonBlocking(sp->fd, on))
            return FailErrno();
        sp->nonBlocking = on;
        return 0;
    }
    return Fail(WSAEINVAL);
}

namespace {

// getsockname and getpeername differ only in the call made.
int AddressOf(SOCKET sock, sockaddr* name, int* namelen, int (*call)(int, sockaddr*, socklen_t*))
{
    auto sp = Find(sock);
    if (!sp)
        return SOCKET_ERROR;
    if (!name || !namelen)
        return Fail(WSAEFAULT);
    socklen_t len = Len(*namelen);
    if (call(sp->fd, name, &len) != 0)
        return FailErrno();
    *namelen = static_cast<int>(len);
    return 0;
}

} // namespace

int getsockname(SOCKET sock, sockaddr* name, int* namelen)
{
    return AddressOf(sock, name, namelen, ::getsockname);
}

int getpeername(SOCKET sock, sockaddr* name, int* namelen)
{
    return AddressOf(sock, name, namelen, ::getpeername);
}

unsigned long inet_addr(const char* cp)
{
    if (!cp)
        return INADDR_NONE;
    return ::inet_addr(cp);
}

char* inet_ntoa(in_addr in)
{
    thread_local char buf[INET_ADDRSTRLEN];
    ::inet_ntop(AF_INET, &in, buf, sizeof buf);
    return buf;
}

int DescriptorOf(SOCKET sock)
{
    Table& t = Socks();
    std::shared_lock lock(t.mu);
    auto it = t.socks.find(sock);
    return it == t.socks.end() ? -1 : it->second->fd;
}

} // namespace winsock
} // namespace os

// The asynchronous event rules of the socket library.
#include <chrono>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>

#include "WinsockFixture.h"

using namespace ostest;
namespace ws = os::winsock;
using namespace std::chrono_literals;

namespace {

// Fills the client's send path until a send would block; returns bytes sent.
long long FillUntilBlocked(SOCKET s)
{
    std::string chunk(64 * 1024, 'x');
    long long total = 0;
    for (int i = 0; i < 100000; ++i) {
        int n = ws::send(s, chunk.data(), static_cast<int>(chunk.size()), 0);
        if (n == SOCKET_ERROR) {
            EXPECT_EQ(ws::WSAGetLastError(), WSAEWOULDBLOCK);
            return total;
        }
        total += n;
    }
    ADD_FAILURE() << "send never blocked";
    return total;
}

// Whether data waits at the socket (within 5 s), seen by the system
// without the message loop.
bool Readable(SOCKET s)
{
    pollfd p{ws::DescriptorOf(s), POLLIN, 0};
    return ::poll(&p, 1, 5000) == 1 && (p.revents & POLLIN);
}

void DrainBlocking(SOCKET s, long long bytes)
{
    std::string buf(256 * 1024, 0);
    while (bytes > 0) {
        int n = ws::recv(s, buf.data(), static_cast<int>(buf.size()), 0);
        ASSERT_GT(n, 0);
        bytes -= n;
    }
}

} // namespace

TEST_F(WinsockTest, ConnectWouldBlockThenOneConnectAndOneWrite)
{
    SOCKET c, s;
    Pair(&c, &s);
    ASSERT_TRUE(WaitFor(c, FD_WRITE));
    Settle();
    EXPECT_EQ(Count(c, FD_CONNECT), 1);
    EXPECT_EQ(First(c, FD_CONNECT)->error, 0);
    EXPECT_EQ(Count(c, FD_WRITE), 1);
    // A send that leaves completely gives no further write event.
    ASSERT_EQ(ws::send(c, "hello", 5, 0), 5);
    Settle();
    EXPECT_EQ(Count(c, FD_WRITE), 1);
    EXPECT_EQ(Count(c, FD_READ), 0);
    EXPECT_EQ(Count(c, FD_CLOSE), 0);
}

TEST_F(WinsockTest, RefusedConnectGivesConnectEventWithTheError)
{
    int port = 0;
    SOCKET l = Listener(&port);
    ws::closesocket(l); // nobody listens there now
    Forget(l);
    SOCKET c = Track(ws::socket(AF_INET, SOCK_STREAM, 0));
    ASSERT_EQ(ws::WSAAsyncSelect(c, target, kSelectMsg, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE), 0);
    sockaddr_in a = Loopback(port);
    EXPECT_EQ(ws::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a), SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), WSAEWOULDBLOCK);
    ASSERT_TRUE(WaitFor(c, FD_CONNECT));
    EXPECT_EQ(First(c, FD_CONNECT)->error, WSAECONNREFUSED);
    Settle();
    EXPECT_EQ(events.size(), 1u) << "a refused connect reports nothing but FD_CONNECT";
}

TEST_F(WinsockTest, WriteEventOnlyOncePerSendThatWouldBlock)
{
    SOCKET c, s;
    Pair(&c, &s);
    // The one write event of the connect, and nothing after it.
    ASSERT_TRUE(WaitFor(c, FD_WRITE));
    Settle();
    ASSERT_EQ(Count(c, FD_WRITE), 1);
    for (int round = 0; round < 2; ++round) {
        long long sent = FillUntilBlocked(c);
        Settle(50);
        // Under load the kernel may free or grow the send buffer by itself,
        // which is room coming back too; but never more than one event.
        EXPECT_LE(Count(c, FD_WRITE), 2 + round);
        std::thread reader([&] { DrainBlocking(s, sent); });
        ASSERT_TRUE(MessageLoop::ForThisThread().WaitUntil([&] { return Count(c, FD_WRITE) == 2 + round; }, 10000));
        reader.join();
        Settle(50);
        EXPECT_EQ(Count(c, FD_WRITE), 2 + round) << "more than one write event for one blocked send";
    }
}

TEST_F(WinsockTest, ReadEventRepostedOnlyWhileDataRemainsAfterRecv)
{
    SOCKET c, s;
    Pair(&c, &s);
    ASSERT_EQ(ws::send(s, "0123456789", 10, 0), 10);
    ASSERT_TRUE(WaitFor(c, FD_READ));
    ASSERT_EQ(ws::send(s, "abcdefghij", 10, 0), 10); // more data, no recv yet
    Settle();
    EXPECT_EQ(Count(c, FD_READ), 1) << "read event again before any recv";

    char buf[64];
    ASSERT_EQ(ws::recv(c, buf, 5, 0), 5); // 15 bytes left
    Settle();
    EXPECT_EQ(Count(c, FD_READ), 2);
    ASSERT_EQ(ws::recv(c, buf, sizeof buf, 0), 15); // nothing left
    Settle();
    EXPECT_EQ(Count(c, FD_READ), 2) << "read event with nothing waiting";
    EXPECT_EQ(ws::recv(c, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST_F(WinsockTest, QueuedDataIsReadBeforeTheCloseEvent)
{
    SOCKET c, s;
    Pair(&c, &s);
    ASSERT_EQ(ws::send(s, "last words", 10, 0), 10);
    ws::closesocket(s);
    Forget(s);
    ASSERT_TRUE(WaitFor(c, FD_READ));
    Settle();
    EXPECT_EQ(Count(c, FD_CLOSE), 0) << "close reported while data still waited";
    char buf[64];
    ASSERT_EQ(ws::recv(c, buf, sizeof buf, 0), 10);
    ASSERT_TRUE(WaitFor(c, FD_CLOSE));
    Settle();
    EXPECT_EQ(Count(c, FD_CLOSE), 1);
    EXPECT_EQ(First(c, FD_CLOSE)->error, 0);
    EXPECT_EQ(ws::recv(c, buf, sizeof buf, 0), 0);
    Settle();
    EXPECT_EQ(Count(c, FD_CLOSE), 1);
}

TEST_F(WinsockTest, ResetByPeerGivesCloseWithTheError)
{
    SOCKET c, s;
    Pair(&c, &s);
    linger reset{1, 0};
    ASSERT_EQ(ws::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&reset), sizeof reset), 0);
    ws::closesocket(s);
    Forget(s);
    ASSERT_TRUE(WaitFor(c, FD_CLOSE));
    EXPECT_EQ(First(c, FD_CLOSE)->error, WSAECONNRESET);
    // No SIGPIPE: the send fails with a number.
    EXPECT_EQ(ws::send(c, "x", 1, 0), SOCKET_ERROR);
    EXPECT_TRUE(ws::WSAGetLastError() == WSAECONNRESET || ws::WSAGetLastError() == WSAECONNABORTED);
}

TEST_F(WinsockTest, CloseEventWithoutReadInterestStillComesOnce)
{
    SOCKET c, s;
    Pair(&c, &s, FD_CONNECT | FD_CLOSE);
    ASSERT_EQ(ws::send(s, "unread", 6, 0), 6);
    ws::closesocket(s);
    Forget(s);
    ASSERT_TRUE(WaitFor(c, FD_CLOSE));
    Settle();
    EXPECT_EQ(Count(c, FD_CLOSE), 1);
    EXPECT_EQ(Count(c, FD_READ), 0);
}

TEST_F(WinsockTest, MessageForAClosedSocketDoesNotNameTheSocketThatReusedItsDescriptor)
{
    SOCKET c, s;
    Pair(&c, &s);
    // The connect's events are all in before the read event is looked for:
    // the message peeked below must be that read event.
    ASSERT_TRUE(WaitFor(c, FD_WRITE));
    events.clear();
    ASSERT_EQ(ws::send(s, "stale", 5, 0), 5);
    // The data is there; the peek below posts the read event but does not
    // dispatch it.
    ASSERT_TRUE(Readable(c));
    MSG msg;
    auto& loop = MessageLoop::ForThisThread();
    ASSERT_TRUE(loop.PeekMessage(msg));
    ASSERT_EQ(msg.message, kSelectMsg);
    ASSERT_EQ(static_cast<SOCKET>(msg.wParam), c);
    ASSERT_EQ(WSAGETSELECTEVENT(msg.lParam), FD_READ);
    int oldFd = ws::DescriptorOf(c);
    ws::closesocket(c);
    Forget(c);

    std::vector<Event> other;
    HWND otherTarget = CreateMessageTarget([&](UINT m, WPARAM w, LPARAM l) {
        other.push_back({static_cast<SOCKET>(w), WSAGETSELECTEVENT(l), WSAGETSELECTERROR(l)});
        return 0;
    });
    SOCKET n = Track(ws::socket(AF_INET, SOCK_STREAM, 0));
    ASSERT_EQ(ws::DescriptorOf(n), oldFd) << "the kernel did not hand the number out again";
    EXPECT_NE(n, c);
    ASSERT_EQ(ws::WSAAsyncSelect(n, otherTarget, kSelectMsg, FD_READ | FD_CLOSE), 0);
    loop.DispatchMessage(msg);
    Settle();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].sock, c);
    EXPECT_EQ(events[0].event, FD_READ);
    EXPECT_NE(events[0].sock, n);
    for (auto& e : other)
        EXPECT_NE(e.event, FD_READ);
    DestroyMessageTarget(otherTarget);
}

TEST_F(WinsockTest, AcceptEventRearmedByAccept)
{
    int port = 0;
    SOCKET l = Listener(&port);
    ASSERT_EQ(ws::WSAAsyncSelect(l, target, kSelectMsg, FD_ACCEPT), 0);
    std::vector<int> clients;
    for (int i = 0; i < 2; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = Loopback(port);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        clients.push_back(fd);
    }
    ASSERT_TRUE(WaitFor(l, FD_ACCEPT));
    Settle();
    EXPECT_EQ(Count(l, FD_ACCEPT), 1);
    sockaddr_in peer{};
    int len = sizeof peer;
    SOCKET a1 = Track(ws::accept(l, reinterpret_cast<sockaddr*>(&peer), &len));
    ASSERT_NE(a1, INVALID_SOCKET);
    EXPECT_EQ(peer.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    ASSERT_TRUE(MessageLoop::ForThisThread().WaitUntil([&] { return Count(l, FD_ACCEPT) == 2; }, 5000));
    SOCKET a2 = Track(ws::accept(l, nullptr, nullptr));
    ASSERT_NE(a2, INVALID_SOCKET);
    Settle();
    EXPECT_EQ(Count(l, FD_ACCEPT), 2);
    EXPECT_EQ(ws::accept(l, nullptr, nullptr), INVALID_SOCKET);
    EXPECT_EQ(ws::WSAGetLastError(), WSAEWOULDBLOCK);
    for (int fd : clients)
        ::close(fd);
}

TEST_F(WinsockTest, SelectingAConnectedSocketWithDataPostsWriteAndRead)
{
    SOCKET c, s;
    Pair(&c, &s);
    ASSERT_EQ(ws::send(c, "waiting", 7, 0), 7);
    ASSERT_TRUE(Readable(s)); // the data waits before the select
    ASSERT_EQ(ws::WSAAsyncSelect(s, target, kSelectMsg, FD_READ | FD_WRITE | FD_CLOSE), 0);
    ASSERT_TRUE(WaitFor(s, FD_READ));
    Settle();
    EXPECT_EQ(Count(s, FD_WRITE), 1);
    EXPECT_EQ(Count(s, FD_READ), 1);
    // A mask of 0 stops everything.
    ASSERT_EQ(ws::WSAAsyncSelect(s, target, kSelectMsg, 0), 0);
    char buf[16];
    ASSERT_EQ(ws::recv(s, buf, 3, 0), 3);
    ASSERT_EQ(ws::send(c, "more", 4, 0), 4);
    Settle();
    EXPECT_EQ(Count(s, FD_READ), 1);
}

TEST_F(WinsockTest, LingerNeverBlocksTheClose)
{
    struct Case {
        const char* name;
        linger value;
        bool reset; // whether the peer sees a reset instead of all data and the end
    };
    const Case cases[] = {
        {"reset on close", {1, 0}, true},
        {"linger with a time-out", {1, 5}, false},
        {"linger off", {0, 0}, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SOCKET c, s;
        Pair(&c, &s);
        long long sent = FillUntilBlocked(c); // unsent data sits in the kernel
        ASSERT_EQ(ws::setsockopt(c, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&k.value), sizeof k.value), 0);
        linger back{};
        int len = sizeof back;
        ASSERT_EQ(ws::getsockopt(c, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&back), &len), 0);
        EXPECT_EQ(back.l_onoff, k.value.l_onoff);
        EXPECT_EQ(back.l_linger, k.value.l_linger);
        auto t0 = std::chrono::steady_clock::now();
        ASSERT_EQ(ws::closesocket(c), 0);
        Forget(c);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, 200ms);

        std::string buf(256 * 1024, 0);
        long long got = 0;
        int last = 0;
        for (;;) {
            last = ws::recv(s, buf.data(), static_cast<int>(buf.size()), 0);
            if (last <= 0)
                break;
            got += last;
        }
        if (k.reset) {
            EXPECT_EQ(last, SOCKET_ERROR);
            EXPECT_EQ(ws::WSAGetLastError(), WSAECONNRESET);
        } else {
            EXPECT_EQ(last, 0);
            EXPECT_EQ(got, sent);
        }
        ws::closesocket(s);
        Forget(s);
    }
}

TEST_F(WinsockTest, AWorkerThreadRunsItsOwnSocketsOnItsOwnLoop)
{
    int port = 0;
    SOCKET l = Listener(&port);
    std::string got;
    int connectError = -1;
    std::thread worker([&] {
        std::vector<Event> mine;
        HWND t = CreateMessageTarget([&](UINT, WPARAM w, LPARAM lp) {
            mine.push_back({static_cast<SOCKET>(w), WSAGETSELECTEVENT(lp), WSAGETSELECTERROR(lp)});
            return 0;
        });
        // A target of another thread cannot receive this thread's events.
        SOCKET c = ws::socket(AF_INET, SOCK_STREAM, 0);
        EXPECT_EQ(ws::WSAAsyncSelect(c, target, kSelectMsg, FD_READ), SOCKET_ERROR);
        EXPECT_EQ(ws::WSAGetLastError(), WSAEINVAL);
        ASSERT_EQ(ws::WSAAsyncSelect(c, t, kSelectMsg, FD_READ | FD_CONNECT | FD_CLOSE), 0);
        sockaddr_in a = Loopback(port);
        ws::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
        auto& loop = MessageLoop::ForThisThread();
        auto has = [&](int ev) {
            for (auto& e : mine)
                if (e.event == ev)
                    return true;
            return false;
        };
        ASSERT_TRUE(loop.WaitUntil([&] { return has(FD_CONNECT); }, 5000));
        connectError = mine[0].error;
        ASSERT_TRUE(loop.WaitUntil([&] { return has(FD_READ); }, 5000));
        char buf[16];
        int n = ws::recv(c, buf, sizeof buf, 0);
        if (n > 0)
            got.assign(buf, static_cast<size_t>(n));
        ws::closesocket(c);
        DestroyMessageTarget(t);
    });
    SOCKET s = Track(ws::accept(l, nullptr, nullptr));
    ASSERT_NE(s, INVALID_SOCKET);
    ASSERT_EQ(ws::send(s, "worker", 6, 0), 6);
    worker.join();
    EXPECT_EQ(connectError, 0);
    EXPECT_EQ(got, "worker");
    EXPECT_TRUE(events.empty());
}

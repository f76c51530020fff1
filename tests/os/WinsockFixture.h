#pragma once
// A started socket library, a message target that records select events,
// and loopback helpers.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <vector>

#include "os/MessageLoop.h"
#include "os/Winsock.h"

namespace ostest {

using namespace os;
namespace ws = os::winsock;

constexpr UINT kSelectMsg = WM_USER + 1;

struct Event {
    SOCKET sock;
    int event;
    int error;
};

class WinsockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(ws::WSAStartup(0x0101, &data), 0);
        target = CreateMessageTarget([this](UINT m, WPARAM w, LPARAM l) {
            if (m == kSelectMsg)
                events.push_back({static_cast<SOCKET>(w), WSAGETSELECTEVENT(l), WSAGETSELECTERROR(l)});
            return 0;
        });
    }
    void TearDown() override
    {
        for (SOCKET s : opened)
            ws::closesocket(s);
        DestroyMessageTarget(target);
        ws::WSACleanup();
    }

    static sockaddr_in Loopback(int port)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return a;
    }
    SOCKET Track(SOCKET s)
    {
        if (s != INVALID_SOCKET)
            opened.push_back(s);
        return s;
    }
    void Forget(SOCKET s) { std::erase(opened, s); }
    // A listener on 127.0.0.1 at a port the kernel picks.
    SOCKET Listener(int* port)
    {
        SOCKET l = Track(ws::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in a = Loopback(0);
        EXPECT_EQ(ws::bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(ws::listen(l, 5), 0);
        int len = sizeof a;
        ws::getsockname(l, reinterpret_cast<sockaddr*>(&a), &len);
        *port = ntohs(a.sin_port);
        return l;
    }
    // A connected pair: the client selected with mask on the recording
    // target, the accepted end left blocking and unselected.
    void Pair(SOCKET* client, SOCKET* server, long mask = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE)
    {
        int port = 0;
        SOCKET l = Listener(&port);
        *client = Track(ws::socket(AF_INET, SOCK_STREAM, 0));
        ASSERT_EQ(ws::WSAAsyncSelect(*client, target, kSelectMsg, mask), 0);
        sockaddr_in a = Loopback(port);
        ASSERT_EQ(ws::connect(*client, reinterpret_cast<sockaddr*>(&a), sizeof a), SOCKET_ERROR);
        ASSERT_EQ(ws::WSAGetLastError(), WSAEWOULDBLOCK);
        *server = Track(ws::accept(l, nullptr, nullptr));
        ASSERT_NE(*server, INVALID_SOCKET);
        ASSERT_TRUE(WaitFor(*client, FD_CONNECT));
    }
    bool WaitFor(SOCKET s, int event, int timeoutMs = 5000)
    {
        return MessageLoop::ForThisThread().WaitUntil([&] { return Count(s, event) > 0; }, timeoutMs);
    }
    // Lets the loop run for a while, to show that nothing more arrives.
    void Settle(int ms = 100)
    {
        MessageLoop::ForThisThread().WaitUntil([] { return false; }, ms);
    }
    int Count(SOCKET s, int event) const
    {
        int n = 0;
        for (auto& e : events)
            n += e.sock == s && e.event == event;
        return n;
    }
    const Event* First(SOCKET s, int event) const
    {
        for (auto& e : events)
            if (e.sock == s && e.event == event)
                return &e;
        return nullptr;
    }

    HWND target = 0;
    std::vector<Event> events;
    std::vector<SOCKET> opened;
};

} // namespace ostest

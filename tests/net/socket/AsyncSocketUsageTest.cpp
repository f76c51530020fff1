// Misuse and its reports, properties, listening, datagrams and look-ups.
#include <gtest/gtest.h>

#include <thread>

#include "tests/net/socket/SocketTestUtil.h"
#include "tests/support/TestSupport.h"

using namespace sockettest;

TEST(AsyncSocketUsage, SendOnAClosedSocketReportsTheSocketError)
{
    TAsyncSocket s;
    try {
        s.SendText("x");
        ADD_FAILURE() << "no exception";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "Error 10057 in function Send\r\nSocket is not connected");
    }
    int errors = 0;
    s.OnError = [&](TObject*) { ++errors; };
    EXPECT_EQ(s.SendText("x"), -1);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(s.LastError(), 10057);
}

TEST(AsyncSocketUsage, MisuseReportsTable)
{
    struct Case {
        const char* what;
        std::function<void(TAsyncSocket&)> call;
        std::string message;
    } cases[] = {
        {"connect without address", [](TAsyncSocket& s) { s.SetPort("21"); s.Connect(); },
         "Connect: No IP Address Specified"},
        {"bad local address", [](TAsyncSocket& s) { s.SetLocalAddr("1.2.3"); }, "SetLocalAddr(): Invalid IP address"},
        {"bad send flags", [](TAsyncSocket& s) { s.SetSendFlags(static_cast<TSocketSendFlags>(7)); }, "Invalid SendFlags"},
        {"bad socks level", [](TAsyncSocket& s) { s.SetSocksLevel("4B"); }, "Invalid socks level. Must be 4, 4A or 5."},
        {"udp through socks",
         [](TAsyncSocket& s) {
             s.SetSocksServer("127.0.0.1");
             s.SetSocksPort("1080");
             s.SetProto("udp");
             s.SetAddr("127.0.0.1");
             s.SetPort("21");
             s.Connect();
         },
         "tcp is the only protocol supported thru socks server"},
        {"listen through socks",
         [](TAsyncSocket& s) {
             s.SetSocksServer("127.0.0.1");
             s.SetAddr("0.0.0.0");
             s.SetPort("0");
             s.Listen();
         },
         "Listening is not supported thru socks server"},
        {"accept while not listening", [](TAsyncSocket& s) { s.Accept(); },
         "Error 10022 in function not a listening socket\r\nInvalid argument"},
        {"unresolvable port",
         [](TAsyncSocket& s) {
             s.SetAddr("127.0.0.1");
             s.SetPort("no-such-service-here");
             s.Connect();
         },
         "connect: SocketResolvePort: Cannot convert port 'no-such-service-here', Error #"},
    };
    for (auto& c : cases) {
        TAsyncSocket s;
        try {
            c.call(s);
            ADD_FAILURE() << c.what << ": no report";
        } catch (const ESocketException& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, c.message.size()), c.message) << c.what;
        }
    }
}

TEST(AsyncSocketUsage, PropertiesRefuseChangesWhileOpenAndReturnToDefaultsAfterClose)
{
    Listener l;
    TAsyncSocket s;
    s.SetSocksLevel("4a");
    EXPECT_EQ(s.SocksLevel(), "4A");
    s.SetSocksLevel("5");
    s.SetAddr(" 127.0.0.1 ");
    EXPECT_EQ(s.Addr(), "127.0.0.1");
    s.SetPort(std::to_string(l.Port()));
    s.SetLocalAddr("");
    EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
    int connected = -1;
    s.OnSessionConnected = [&](TObject*, std::uint16_t e) { connected = e; };
    s.Connect();
    ASSERT_TRUE(Pump([&] { return connected == 0; }));
    EXPECT_EQ(s.PeerAddr(), "127.0.0.1");
    EXPECT_EQ(s.PeerPort(), std::to_string(l.Port()));
    EXPECT_NE(s.GetBoundPort(), "error");
    // The same value again is no change; another one is refused and not stored.
    s.SetAddr("127.0.0.1");
    try {
        s.SetAddr("127.0.0.2");
        ADD_FAILURE();
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "Cannot change Addr if not closed");
    }
    EXPECT_EQ(s.Addr(), "127.0.0.1");
    EXPECT_THROW(s.SetSocksServer("x"), ESocketException);
    EXPECT_THROW(s.SetLocalPort("1"), ESocketException);
    s.CloseSession();
    EXPECT_EQ(s.Addr(), "");
    EXPECT_EQ(s.Port(), "");
    EXPECT_EQ(s.Proto(), "tcp");
    EXPECT_EQ(s.LocalPort(), "0");
    EXPECT_EQ(s.SocksServer(), "");
    EXPECT_EQ(s.PeerAddr(), "error");
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(AsyncSocketUsage, ListenAcceptAndDupCarryDataBothWays)
{
    Listener l;
    std::vector<TSocketState> listenerStates;
    EXPECT_EQ(l.socket.State(), wsListening);
    TAsyncSocket c;
    std::string atClient, atServer;
    CollectInto(c, atClient);
    int connected = -1;
    c.OnSessionConnected = [&](TObject*, std::uint16_t e) { connected = e; };
    c.SetAddr("localhost");
    c.SetPort(std::to_string(l.Port()));
    c.Connect();
    ASSERT_TRUE(Pump([&] { return connected == 0 && l.accepted; }));
    EXPECT_EQ(l.accepted->State(), wsConnected);
    CollectInto(*l.accepted, atServer);
    c.SendText("USER anonymous\r\n");
    l.accepted->SendText("220 ready\r\n");
    ASSERT_TRUE(Pump([&] { return atServer == "USER anonymous\r\n" && atClient == "220 ready\r\n"; }));
    EXPECT_EQ(c.ReadCount(), 11);
    EXPECT_EQ(l.accepted->RcvdCount(), 0);
}

TEST(AsyncSocketUsage, DatagramsGoBothWays)
{
    TAsyncSocket a, b;
    a.SetProto("udp");
    a.SetAddr("127.0.0.1");
    a.SetPort("0");
    int aUp = -1;
    a.OnSessionConnected = [&](TObject*, std::uint16_t e) { aUp = e; };
    a.Listen();
    EXPECT_EQ(aUp, 0);
    EXPECT_EQ(a.State(), wsConnected);
    std::string got;
    a.OnDataAvailable = [&](TObject*, std::uint16_t) {
        char buf[512];
        sockaddr_in from{};
        int len = sizeof from;
        int n = a.ReadBytesFrom(buf, sizeof buf, from, len);
        if (n > 0) got.assign(buf, static_cast<std::size_t>(n));
    };
    b.SetProto("udp");
    b.SetAddr("127.0.0.1");
    b.SetPort(a.GetBoundPort());
    b.Connect();
    EXPECT_EQ(b.State(), wsConnected);
    b.SendText("datagram");
    ASSERT_TRUE(Pump([&] { return got == "datagram"; }));
}

TEST(AsyncSocketLookup, DottedInsideTheCallNamesThroughTheLoopAndCancel)
{
    TAsyncSocket s;
    std::vector<int> done;
    s.OnDnsLookupDone = [&](TObject*, std::uint16_t e) { done.push_back(e); };
    s.StartDnsLookup(" 127.0.0.1 ");
    ASSERT_EQ(done, std::vector<int>{0});
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");

    done.clear();
    s.StartDnsLookup("localhost");
    EXPECT_TRUE(done.empty()) << "a name is answered from the loop, never inside the call";
    ASSERT_TRUE(Pump([&] { return !done.empty(); }));
    EXPECT_EQ(done, std::vector<int>{0});
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
    ASSERT_FALSE(s.DnsResultList().empty());
    EXPECT_EQ(s.DnsResultList().front(), "127.0.0.1");

    done.clear();
    s.StartDnsLookup("localhost");
    s.StopDnsLookup();
    EXPECT_EQ(done, std::vector<int>{10004});
    PumpFor(300);
    EXPECT_EQ(done, std::vector<int>{10004}) << "a cancelled look-up must not answer";

    done.clear();
    s.StartReverseDnsLookup("127.0.0.1");
    ASSERT_TRUE(Pump([&] { return !done.empty(); }));
    EXPECT_EQ(done, std::vector<int>{0});
    EXPECT_FALSE(s.DnsResult().empty());

    done.clear();
    int errors = 0;
    s.OnError = [&](TObject*) { ++errors; };
    s.StartDnsLookup("");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(done, std::vector<int>{10022});
}

TEST(AsyncSocketSync, WaitForFlagEndsOnFlagTimeOutAndQuit)
{
    TAsyncSocket s;
    bool flag = false;
    // Set from the loop while the wait blocks.
    os::HWND t = os::CreateMessageTarget([&](os::UINT, os::WPARAM, os::LPARAM) -> os::LRESULT {
        flag = true;
        return 0;
    });
    EXPECT_EQ(s.RunAndWait(flag, [&] { os::PostMessage(t, os::WM_USER, 0, 0); }), 0);
    EXPECT_TRUE(flag);

    s.SetTimeout(150);
    flag = false;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(s.WaitForFlag(flag), SocketWaitTimeoutError);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(140));
    EXPECT_LT(took, std::chrono::seconds(3));

    s.SetTimeout(0);
    os::PostQuitMessage(0);
    EXPECT_EQ(s.WaitForFlag(flag), SocketWaitTimeoutError);
    EXPECT_TRUE(s.Terminated());
    os::MessageLoop::ForThisThread().ClearQuit();
    os::DestroyMessageTarget(t);
}

TEST(AsyncSocketSync, ASocketOnAWorkerThreadWaitsOnThatThreadsLoop)
{
    int port = 0;
    int lfd = RawListen(port);
    std::string greeting;
    int waitConnect = -1, waitData = -1;
    std::thread worker([&] {
        TAsyncSocket s;
        s.SetMultiThreaded(true);
        bool connected = false, data = false;
        s.OnSessionConnected = [&](TObject*, std::uint16_t e) { connected = e == 0; };
        s.OnDataAvailable = [&](TObject*, std::uint16_t) {
            greeting += s.ReadAvailableText();
            data = greeting.find("\r\n") != std::string::npos;
        };
        s.SetTimeout(10000);
        waitConnect = s.RunAndWait(connected, [&] {
            s.SetAddr("127.0.0.1");
            s.SetPort(std::to_string(port));
            s.Connect();
        });
        waitData = s.WaitForFlag(data);
        s.CloseSession();
    });
    int fd = ::accept(lfd, nullptr, nullptr);
    RawSendAll(fd, "220 worker\r\n");
    worker.join();
    ::close(fd);
    ::close(lfd);
    EXPECT_EQ(waitConnect, 0);
    EXPECT_EQ(waitData, 0);
    EXPECT_EQ(greeting, "220 worker\r\n");
}

TEST(AsyncSocketUsage, FlushSendBufferReturnsOnceTheQueueLeft)
{
    int port = 0;
    int lfd = RawListen(port);
    TAsyncSocket s;
    int connected = -1;
    s.OnSessionConnected = [&](TObject*, std::uint16_t e) { connected = e; };
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(port));
    s.Connect();
    int fd = ::accept(lfd, nullptr, nullptr);
    ASSERT_TRUE(Pump([&] { return connected == 0; }));
    const std::string data = testsupport::PatternBytes(16 << 20, 9);
    std::string got;
    std::thread reader([&] { got = RawRecvAll(fd); });
    s.SendBuffer(data.data(), static_cast<std::int64_t>(data.size()));
    s.FlushSendBuffer();
    EXPECT_TRUE(s.AllSent());
    s.CloseSession();
    reader.join();
    ::close(fd);
    ::close(lfd);
    EXPECT_TRUE(got == data);
}

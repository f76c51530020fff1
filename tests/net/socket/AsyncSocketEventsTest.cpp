// Event rules of the socket component, seen through its events.
#include <gtest/gtest.h>

#include <thread>

#include "tests/net/socket/SocketTestUtil.h"
#include "tests/support/TestSupport.h"

using namespace sockettest;

namespace {

struct Connected {
    Listener server;
    TAsyncSocket client;
    int connectError = -1;

    Connected()
    {
        client.OnSessionConnected = [this](TObject*, std::uint16_t e) { connectError = e; };
        client.SetAddr("127.0.0.1");
        client.SetPort(std::to_string(server.Port()));
        client.Connect();
        EXPECT_TRUE(Pump([&] { return connectError >= 0 && server.accepted; }));
        EXPECT_EQ(connectError, 0);
        EXPECT_EQ(client.State(), wsConnected);
        // The write event that follows a connect comes and goes first.
        PumpFor(30);
    }
};

} // namespace

TEST(AsyncSocketEvents, OnDataSentFiresOncePerCompletedSendAndNeverInsideTheCall)
{
    Connected c;
    int sent = 0;
    c.client.OnDataSent = [&](TObject*, std::uint16_t e) {
        EXPECT_EQ(e, 0);
        ++sent;
    };
    std::string got;
    CollectInto(*c.server.accepted, got);

    EXPECT_EQ(c.client.SendText("one"), 3);
    EXPECT_EQ(sent, 0) << "fired inside SendBuffer";
    ASSERT_TRUE(Pump([&] { return sent == 1 && got == "one"; }));
    PumpFor(50);
    EXPECT_EQ(sent, 1);

    c.client.SendText("two");
    c.client.SendText("three");
    EXPECT_EQ(sent, 1);
    ASSERT_TRUE(Pump([&] { return sent == 3; }));
    PumpFor(50);
    EXPECT_EQ(sent, 3);
    EXPECT_TRUE(Pump([&] { return got == "onetwothree"; }));
}

TEST(AsyncSocketEvents, RefusedConnectFiresItsEventsInOrder)
{
    int port = testsupport::FreeTcpPort();
    TAsyncSocket s;
    std::vector<std::string> events;
    s.OnChangeState = [&](TObject*, TSocketState, TSocketState n) { events.push_back("state " + std::to_string(n)); };
    s.OnSessionConnected = [&](TObject*, std::uint16_t e) { events.push_back("connected " + std::to_string(e)); };
    s.OnSessionClosed = [&](TObject*, std::uint16_t e) { events.push_back("closed " + std::to_string(e)); };
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(port));
    s.Connect();
    ASSERT_TRUE(Pump([&] { return !events.empty() && events.back().rfind("closed", 0) == 0; }));
    std::vector<std::string> want = {"state 1", "state 3", "state 4", "connected 10061", "state 7", "closed 0"};
    EXPECT_EQ(events, want);
    // The defaults came back with the close.
    EXPECT_EQ(s.Port(), "");
    try {
        s.Connect();
        ADD_FAILURE() << "Connect without a port must fail";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "Connect: No Port Specified");
    }
}

TEST(AsyncSocketEvents, DataSentBeforeThePeerClosesArrivesBeforeTheCloseEvent)
{
    Connected c;
    std::string got;
    std::string order;
    c.client.OnDataAvailable = [&](TObject*, std::uint16_t) {
        char buf[4096];
        int n = c.client.ReadBytes(buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    };
    int closed = 0;
    std::size_t atClose = 0;
    c.client.OnSessionClosed = [&](TObject*, std::uint16_t) {
        ++closed;
        atClose = got.size();
        // A close from inside the event must not report a second time.
        c.client.CloseSession();
    };
    const std::string data = testsupport::PatternBytes(300000, 7);
    bool sentAll = false;
    c.server.accepted->OnDataSent = [&](TObject*, std::uint16_t) { sentAll = true; };
    c.server.accepted->SendBuffer(data.data(), static_cast<std::int64_t>(data.size()));
    ASSERT_TRUE(Pump([&] { return sentAll; }));
    c.server.accepted->CloseSession();
    ASSERT_TRUE(Pump([&] { return closed > 0; }));
    PumpFor(50);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(atClose, data.size());
    EXPECT_TRUE(got == data);
    EXPECT_EQ(c.client.State(), wsClosed);
    // Closing what is closed fires nothing.
    c.client.CloseSession();
    EXPECT_EQ(closed, 1);
}

TEST(AsyncSocketEvents, StaleAndPausedSelectMessagesAreIgnored)
{
    Connected c;
    int data = 0, closed = 0;
    c.client.OnDataAvailable = [&](TObject*, std::uint16_t) {
        char b[64];
        c.client.ReadBytes(b, sizeof b);
        ++data;
    };
    c.client.OnSessionClosed = [&](TObject*, std::uint16_t) { ++closed; };
    const os::SOCKET old = c.client.HSocket();
    // Posted before the close, delivered after a new connection took over.
    os::PostMessage(c.client.Handle(), WM_ASYNCSELECT, static_cast<os::WPARAM>(old),
                    os::WSAMAKESELECTREPLY(os::FD_READ | os::FD_CLOSE, 0));
    c.client.CloseSession();
    EXPECT_EQ(closed, 1);
    int connected = -1;
    c.client.OnSessionConnected = [&](TObject*, std::uint16_t e) { connected = e; };
    c.client.SetAddr("127.0.0.1");
    c.client.SetPort(std::to_string(c.server.Port()));
    c.client.Connect();
    ASSERT_TRUE(Pump([&] { return connected == 0; }));
    ASSERT_NE(c.client.HSocket(), old);
    os::PostMessage(c.client.Handle(), WM_ASYNCSELECT, static_cast<os::WPARAM>(old),
                    os::WSAMAKESELECTREPLY(os::FD_READ | os::FD_CLOSE, 0));
    PumpFor(50);
    EXPECT_EQ(data, 0);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(c.client.State(), wsConnected);

    // While paused, even messages for the current handle are ignored.
    c.client.PauseEvents();
    os::PostMessage(c.client.Handle(), WM_ASYNCSELECT, static_cast<os::WPARAM>(c.client.HSocket()),
                    os::WSAMAKESELECTREPLY(os::FD_CLOSE, 0));
    PumpFor(50);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(c.client.State(), wsConnected);
    c.client.ResumeEvents();
}

TEST(AsyncSocketEvents, LargeSendToASlowReaderArrivesWholeAndInOrder)
{
    int port = 0;
    int lfd = RawListen(port, 32768);
    const std::string data = testsupport::PatternBytes(24 * 1024 * 1024 + 777, 3);
    std::string got;
    bool reset = false;
    std::thread reader([&] {
        int fd = ::accept(lfd, nullptr, nullptr);
        char buf[8192];
        for (;;) {
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n < 0) reset = true;
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
            if (got.size() < 2 * 1024 * 1024) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ::close(fd);
    });
    TAsyncSocket s;
    int connected = -1;
    bool sent = false;
    std::int64_t reported = 0;
    s.OnSessionConnected = [&](TObject*, std::uint16_t e) {
        connected = e;
        // Several sends queue behind each other.
        std::size_t third = data.size() / 3;
        s.SendBuffer(data.data(), static_cast<std::int64_t>(third));
        s.SendBuffer(data.data() + third, static_cast<std::int64_t>(third));
        s.SendBuffer(data.data() + 2 * third, static_cast<std::int64_t>(data.size() - 2 * third));
        sent = false;
    };
    s.OnSendData = [&](TObject*, int n) { reported += n; };
    s.OnDataSent = [&](TObject*, std::uint16_t) {
        if (connected == 0) sent = true;
    };
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(port));
    s.Connect();
    ASSERT_TRUE(Pump([&] { return sent && reported == static_cast<std::int64_t>(data.size()); }, 60000))
        << "reported " << reported << " sent " << sent << " all sent " << s.AllSent() << " got " << got.size();
    s.CloseSession();
    reader.join();
    ::close(lfd);
    EXPECT_FALSE(reset);
    ASSERT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data);
}

// The default linger (on, time-out 0) must not turn an orderly close into a
// reset that throws away what the kernel still holds for the peer.
TEST(AsyncSocketEvents, OrderlyCloseDeliversWhatTheKernelStillHolds)
{
    int port = 0;
    int lfd = RawListen(port);
    TAsyncSocket s;
    ASSERT_EQ(s.LingerOnOff(), wsLingerOn);
    ASSERT_EQ(s.LingerTimeout(), 0);
    const std::string data = testsupport::PatternBytes(1 << 20, 11);
    bool sent = false;
    int connected = -1;
    s.OnSessionConnected = [&](TObject*, std::uint16_t e) {
        connected = e;
        s.SendBuffer(data.data(), static_cast<std::int64_t>(data.size()));
    };
    s.OnDataSent = [&](TObject*, std::uint16_t) {
        if (connected == 0 && s.AllSent()) sent = true;
    };
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(port));
    s.Connect();
    int fd = ::accept(lfd, nullptr, nullptr);
    // The peer has also sent something we never read.
    RawSendAll(fd, "unread bytes");
    ASSERT_TRUE(Pump([&] { return sent; }, 20000));
    PumpFor(20);
    s.CloseSession();
    bool reset = false;
    std::string got = RawRecvAll(fd, &reset);
    ::close(fd);
    ::close(lfd);
    EXPECT_FALSE(reset);
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data);
}

TEST(AsyncSocketEvents, AbortDropsTheQueueAndReportsTheCloseOnce)
{
    Connected c;
    int closed = 0;
    c.client.OnSessionClosed = [&](TObject*, std::uint16_t e) {
        EXPECT_EQ(e, 0);
        ++closed;
    };
    std::string big = testsupport::PatternBytes(64 << 20, 5);
    c.client.SendBuffer(big.data(), static_cast<std::int64_t>(big.size()));
    EXPECT_FALSE(c.client.AllSent());
    c.client.AbortSession();
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(c.client.State(), wsClosed);
    EXPECT_TRUE(c.client.AllSent());
    int peerClosed = 0;
    c.server.accepted->OnDataAvailable = [&](TObject*, std::uint16_t) {
        char b[65536];
        c.server.accepted->ReadBytes(b, sizeof b);
    };
    c.server.accepted->OnSessionClosed = [&](TObject*, std::uint16_t) { ++peerClosed; };
    EXPECT_TRUE(Pump([&] { return peerClosed == 1; }));
    PumpFor(30);
    EXPECT_EQ(closed, 1);
}

TEST(AsyncSocketEvents, HandlerExceptionsGoToOnBgExceptionWhichClosesByDefault)
{
    Connected c;
    std::string seen;
    c.client.OnBgException = [&](TObject*, rtl::Exception& e, bool&) { seen = e.Message(); };
    os::PostMessage(c.client.Handle(), WM_TRIGGER_EXCEPTION, 0, 0);
    ASSERT_TRUE(Pump([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, "Test exception in AsyncSocket");
    EXPECT_EQ(c.client.State(), wsClosed);

    // A handler that keeps the socket open.
    Connected d;
    d.server.accepted->OnDataAvailable = [&](TObject*, std::uint16_t) { throw rtl::Exception("handler failed"); };
    d.server.accepted->OnBgException = [&](TObject*, rtl::Exception& e, bool& canClose) {
        seen = e.Message();
        canClose = false;
    };
    d.client.SendText("x");
    ASSERT_TRUE(Pump([&] { return seen == "handler failed"; }));
    EXPECT_EQ(d.server.accepted->State(), wsConnected);
}

TEST(AsyncSocketEvents, PostFreeDeletesTheComponentFromTheLoop)
{
    Connected c;
    struct Counted : TAsyncSocket {
        bool* gone;
        explicit Counted(bool* g) : gone(g) {}
        ~Counted() override { *gone = true; }
    };
    bool gone = false;
    auto* s = new Counted(&gone);
    s->OnSessionConnected = [s](TObject*, std::uint16_t) { s->PostFree(); };
    s->SetAddr("127.0.0.1");
    s->SetPort(std::to_string(c.server.Port()));
    s->Connect();
    ASSERT_TRUE(Pump([&] { return gone; }));
}

TEST(AsyncSocketEvents, AHandlerThatReadsNothingIsNotCalledForEver)
{
    Connected c;
    int calls = 0;
    c.server.accepted->OnDataAvailable = [&](TObject*, std::uint16_t) { ++calls; };
    c.client.SendText("waiting bytes");
    ASSERT_TRUE(Pump([&] { return calls > 0; }));
    PumpFor(50);
    EXPECT_EQ(calls, 1);
    // The bytes are still there for a later read.
    EXPECT_EQ(c.server.accepted->ReadAvailableText(), "waiting bytes");
}

TEST(AsyncSocketEvents, ReconnectingFromTheCloseEventKeepsTheNewConnection)
{
    Connected c;
    int closes = 0, connects = 0;
    const int port = c.server.Port();
    c.client.OnSessionClosed = [&](TObject*, std::uint16_t) {
        if (++closes > 1) return;
        c.client.SetAddr("127.0.0.1");
        c.client.SetPort(std::to_string(port));
        c.client.Connect();
    };
    c.client.OnSessionConnected = [&](TObject*, std::uint16_t e) {
        if (e == 0) ++connects;
    };
    TAsyncSocket* before = c.server.accepted.get();
    c.client.CloseSession();
    ASSERT_TRUE(Pump([&] { return connects == 1 && c.server.accepted.get() != before; }));
    EXPECT_EQ(c.client.State(), wsConnected);
    EXPECT_EQ(c.client.Addr(), "127.0.0.1");
    std::string got;
    CollectInto(*c.server.accepted, got);
    c.client.SendText("again");
    EXPECT_TRUE(Pump([&] { return got == "again"; }));
}

TEST(AsyncSocketEvents, AnEmptySendStillEndsInOnDataSent)
{
    Connected c;
    int sent = 0;
    c.client.OnDataSent = [&](TObject*, std::uint16_t) { ++sent; };
    EXPECT_EQ(c.client.SendBuffer(nullptr, 0), 0);
    EXPECT_TRUE(c.client.AllSent());
    auto start = std::chrono::steady_clock::now();
    c.client.FlushSendBuffer();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(Pump([&] { return sent == 1; }));
}

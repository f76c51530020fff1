// Resolvers, the dotted-address test, error texts, the send-queue chunk and
// the run-time binding of the socket library.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <functional>
#include <string>

#include "net/AsyncSocket.h"
#include "net/SockBuf.h"
#include "os/Module.h"

TEST(SocketResolve, IsDottedAddressTable)
{
    struct Case {
        const char* text;
        bool dotted;
    } cases[] = {
        {"10.0.0.1", true},       {"  10.0.0.1  ", true},  {"255.255.255.255", true}, {"0.0.0.0", true},
        {"10.0.0", false},        {"10.0.0.256", false},   {".10.0.0.1", false},      {"10.0.0.1.", false},
        {"10.0.0.1a", false},     {"10.0.0.1 x", false},   {"10..0.1", false},        {"1.2.3.4.5", false},
        {"", false},              {"a.b.c.d", false},      {"300.1.1.1", false},      {"10.0.0.99999999999", false},
        {"localhost", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsDottedAddress(c.text), c.dotted) << "'" << c.text << "'";
}

TEST(SocketResolve, HostPortAndProtocol)
{
    EXPECT_EQ(SocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(SocketResolveHost(" 127.0.0.1 "), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(SocketResolveHost("localhost"), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(SocketResolvePort("2121", "tcp"), 2121);
    EXPECT_EQ(SocketResolvePort("21abc", "tcp"), 21); // digits up to the first non-digit
    EXPECT_EQ(SocketResolvePort("ftp", "tcp"), 21);
    EXPECT_EQ(SocketResolvePort("ftp-data", "tcp"), 20);
    EXPECT_EQ(SocketResolveProto("tcp"), 6);
    EXPECT_EQ(SocketResolveProto("udp"), 17);
    EXPECT_EQ(SocketResolveProto("6"), 6);

    struct Failure {
        std::function<void()> call;
        std::string message;
    } failures[] = {
        {[] { SocketResolveHost(""); }, "SocketResolveHost: '' Invalid Hostname."},
        {[] { SocketResolveHost(std::string(257, 'a')); },
         "SocketResolveHost: '" + std::string(257, 'a') + "' Invalid Hostname."},
        {[] { SocketResolvePort("", "tcp"); }, "SocketResolvePort: Invalid Port."},
        {[] { SocketResolvePort(std::string(32, '1'), "tcp"); }, "SocketResolvePort: Invalid Port."},
        {[] { SocketResolveProto(""); }, "SocketResolveProto: Invalid Protocol."},
    };
    for (auto& f : failures) {
        try {
            f.call();
            ADD_FAILURE() << "no exception for " << f.message;
        } catch (const ESocketException& e) {
            EXPECT_EQ(e.what(), f.message);
        }
    }
    EXPECT_THROW(SocketResolvePort("no-such-service-here", "tcp"), ESocketException);
    EXPECT_THROW(SocketResolveProto("no-such-proto"), ESocketException);
}

TEST(SocketResolve, ErrorTexts)
{
    EXPECT_EQ(SocketErrorText(0), "No Error");
    EXPECT_EQ(SocketErrorText(10057), "Socket is not connected");
    EXPECT_EQ(SocketErrorText(10061), "Connection refused");
    EXPECT_EQ(SocketErrorText(11001), "Host not found");
    EXPECT_EQ(SocketErrorText(10047), "Address family not supported by protocol family");
    EXPECT_EQ(SocketErrorText(12345), "Not a WinSock error");
    EXPECT_EQ(ParseDecimal("  42x"), 42);
    EXPECT_EQ(ParseDecimal("x42"), 0);
}

TEST(SockBuf, ChunkAppendsPeeksConsumesAndRewinds)
{
    TBuffer b(0);
    EXPECT_EQ(b.Size(), 1514);
    std::string big(2000, 'x');
    EXPECT_EQ(b.AppendData(big.data(), 2000), 1514);
    EXPECT_EQ(b.AppendData("y", 1), 0);
    int len = 0;
    const char* p = b.PeekData(len);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(len, 1514);
    EXPECT_EQ(b.ConsumeData(1000), 1000);
    EXPECT_EQ(b.PeekData(len) - p, 1000);
    EXPECT_EQ(len, 514);
    EXPECT_EQ(b.ConsumeData(10000), 514);
    // Emptied: back to the start, so it is reused.
    EXPECT_EQ(b.PeekData(len), nullptr);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(b.AppendData("abc", 3), 3);
    b.SetSize(2);
    const char* kept = b.PeekData(len);
    EXPECT_EQ(std::string(kept, static_cast<std::size_t>(len)), "ab");
}

// The library is bound by name at run time; its failures keep their texts.
TEST(WinsockBinding, LoadFailuresKeepTheirTexts)
{
    ASSERT_EQ(WinsockComponentCount(), 0);
    UnloadWinsock();
    os::testing::SetModuleMissing("wsock32.dll", true);
    try {
        GetWinsockProc("socket");
        ADD_FAILURE() << "loaded a missing library";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "Unable to load wsock32.dll Error #126");
    }
    os::testing::SetModuleMissing("wsock32.dll", false);

    os::testing::SetProcMissing("wsock32.dll", "recv", true);
    try {
        GetWinsockProc("recv");
        ADD_FAILURE() << "bound a missing entry";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "Procedure recv not found in wsock32.dll Error #127");
    }
    os::testing::SetProcMissing("wsock32.dll", "recv", false);
    EXPECT_NE(GetWinsockProc("recv"), nullptr);
    EXPECT_EQ(GetWinsockProc(""), nullptr);

    // The last component to go unloads the library; the next call loads it again.
    {
        TAsyncSocket s;
        EXPECT_EQ(WinsockComponentCount(), 1);
        s.SetLocalAddr("127.0.0.1");
        EXPECT_TRUE(WinsockLoaded());
    }
    EXPECT_FALSE(WinsockLoaded());
    EXPECT_EQ(SocketResolvePort("ftp", "tcp"), 21);
    EXPECT_TRUE(WinsockLoaded());
}

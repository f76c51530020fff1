// The socket library's calls, error numbers, look-ups and module table.
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "WinsockFixture.h"
#include "os/Module.h"

using namespace ostest;
namespace ws = os::winsock;
using namespace std::chrono_literals;

TEST(WsaErrorTable, MapsThroughTheTableNotByAddingTenThousand)
{
    const std::pair<int, int> cases[] = {
        {0, 0},
        {EWOULDBLOCK, WSAEWOULDBLOCK},
        {EAGAIN, WSAEWOULDBLOCK},
        {EINPROGRESS, WSAEINPROGRESS},
        {ECONNREFUSED, WSAECONNREFUSED},
        {ECONNRESET, WSAECONNRESET},
        {ECONNABORTED, WSAECONNABORTED},
        {ENOTCONN, WSAENOTCONN},
        {EADDRINUSE, WSAEADDRINUSE},
        {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
        {ETIMEDOUT, WSAETIMEDOUT},
        {EHOSTUNREACH, WSAEHOSTUNREACH},
        {ENETUNREACH, WSAENETUNREACH},
        {ENOTSOCK, WSAENOTSOCK},
        {EMFILE, WSAEMFILE},
        {EINVAL, WSAEINVAL},
        {EPIPE, WSAESHUTDOWN},
        {ENOBUFS, WSAENOBUFS},
        {EIO, WSAEINVAL}, // no counterpart
    };
    for (auto [err, wsa] : cases)
        EXPECT_EQ(WsaErrorFromErrno(err), wsa) << std::strerror(err);
}

TEST(WinsockStartup, CallsFailUntilStarted)
{
    // Other suites in this binary start and clean up in pairs.
    EXPECT_EQ(ws::socket(AF_INET, SOCK_STREAM, 0), INVALID_SOCKET);
    EXPECT_EQ(ws::WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(ws::WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(ws::WSAStartup(0x0000, nullptr), WSAVERNOTSUPPORTED);
    WSADATA data;
    ASSERT_EQ(ws::WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    SOCKET s = ws::socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_NE(s, INVALID_SOCKET);
    EXPECT_EQ(ws::closesocket(s), 0);
    EXPECT_EQ(ws::closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), WSAENOTSOCK);
    EXPECT_EQ(ws::WSACleanup(), 0);
}

TEST_F(WinsockTest, SocketHandlesAreNeverReused)
{
    SOCKET last = 0;
    for (int i = 0; i < 50; ++i) {
        SOCKET s = ws::socket(AF_INET, SOCK_STREAM, 0);
        EXPECT_GT(s, last);
        last = s;
        ws::closesocket(s);
    }
}

TEST_F(WinsockTest, SendOnAnUnconnectedSocketFailsWithNotConnected)
{
    SOCKET s = Track(ws::socket(AF_INET, SOCK_STREAM, 0));
    EXPECT_EQ(ws::send(s, "x", 1, 0), SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), WSAENOTCONN);
}

TEST_F(WinsockTest, BindingATakenPortGivesAddressInUse)
{
    int port = 0;
    Listener(&port);
    SOCKET s = Track(ws::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in a = Loopback(port);
    EXPECT_EQ(ws::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), WSAEADDRINUSE);
}

TEST_F(WinsockTest, ListenerReusesAddressAndOptionsRoundTrip)
{
    int port = 0;
    SOCKET l = Listener(&port);
    int on = 0, len = sizeof on;
    ASSERT_EQ(ws::getsockopt(l, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<char*>(&on), &len), 0);
    EXPECT_NE(on, 0);
    // A one-byte flag is taken as the host's int.
    char yes = 1;
    ASSERT_EQ(ws::setsockopt(l, SOL_SOCKET, SO_KEEPALIVE, &yes, 1), 0);
    len = sizeof on;
    ASSERT_EQ(ws::getsockopt(l, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<char*>(&on), &len), 0);
    EXPECT_NE(on, 0);
    int sndbuf = 0;
    len = sizeof sndbuf;
    EXPECT_EQ(ws::getsockopt(l, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&sndbuf), &len), 0);
    EXPECT_GT(sndbuf, 0);
}

TEST_F(WinsockTest, IoctlReadsWaitingBytesAndRefusesBlockingWhileSelected)
{
    SOCKET c, s;
    Pair(&c, &s);
    ASSERT_EQ(ws::send(s, "12345", 5, 0), 5);
    ASSERT_TRUE(WaitFor(c, FD_READ));
    unsigned long n = 0;
    ASSERT_EQ(ws::ioctlsocket(c, FIONREAD, &n), 0);
    EXPECT_EQ(n, 5u);
    unsigned long blocking = 0;
    EXPECT_EQ(ws::ioctlsocket(c, FIONBIO, &blocking), SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), WSAEINVAL);
    unsigned long nb = 1;
    EXPECT_EQ(ws::ioctlsocket(s, FIONBIO, &nb), 0);
    char buf[8];
    EXPECT_EQ(ws::recv(s, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST_F(WinsockTest, AddressesAndNames)
{
    EXPECT_EQ(ws::inet_addr("127.0.0.1"), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(ws::inet_addr("1.2.3"), htonl(0x01020003)); // the classic short forms
    EXPECT_EQ(ws::inet_addr("not an address"), INADDR_NONE);
    in_addr in{htonl(0x0A000001)};
    EXPECT_STREQ(ws::inet_ntoa(in), "10.0.0.1");

    char host[256];
    ASSERT_EQ(ws::gethostname(host, sizeof host), 0);
    EXPECT_GT(std::strlen(host), 0u);
    char tiny[1];
    EXPECT_EQ(ws::gethostname(tiny, sizeof tiny), SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), WSAEFAULT);

    hostent* he = ws::gethostbyname("127.0.0.1");
    ASSERT_NE(he, nullptr);
    EXPECT_EQ(he->h_addrtype, AF_INET);
    EXPECT_EQ(*reinterpret_cast<std::uint32_t*>(he->h_addr_list[0]), htonl(INADDR_LOOPBACK));
    he = ws::gethostbyname("localhost");
    ASSERT_NE(he, nullptr);
    EXPECT_EQ(*reinterpret_cast<std::uint32_t*>(he->h_addr_list[0]), htonl(INADDR_LOOPBACK));
    // A malformed name fails without asking any server.
    EXPECT_EQ(ws::gethostbyname("a..b"), nullptr);
    EXPECT_EQ(ws::WSAGetLastError(), WSAHOST_NOT_FOUND);
}

TEST_F(WinsockTest, ServiceAndProtocolNames)
{
    struct Svc {
        const char* name;
        const char* proto;
        int port;
    };
    const Svc svcs[] = {{"ftp", "tcp", 21}, {"ftp", nullptr, 21}, {"ftp-data", "tcp", 20}, {"FTP", "tcp", 21}};
    for (bool withoutDatabases : {false, true}) {
        SCOPED_TRACE(withoutDatabases ? "built-in answers" : "system databases");
        os::testing::SetNameDatabasesMissing(withoutDatabases);
        for (const Svc& k : svcs) {
            servent* se = ws::getservbyname(k.name, k.proto);
            ASSERT_NE(se, nullptr) << k.name;
            EXPECT_EQ(ntohs(static_cast<std::uint16_t>(se->s_port)), k.port) << k.name;
            EXPECT_STREQ(se->s_proto, "tcp");
        }
        EXPECT_EQ(ws::getservbyname("ftp", "udp"), nullptr);
        EXPECT_EQ(ws::getservbyname("no-such-service", "tcp"), nullptr);
        EXPECT_EQ(ws::WSAGetLastError(), WSANO_DATA);

        ASSERT_NE(ws::getprotobyname("tcp"), nullptr);
        EXPECT_EQ(ws::getprotobyname("tcp")->p_proto, IPPROTO_TCP);
        ASSERT_NE(ws::getprotobyname("udp"), nullptr);
        EXPECT_EQ(ws::getprotobyname("udp")->p_proto, IPPROTO_UDP);
        EXPECT_EQ(ws::getprotobyname("no-such-protocol"), nullptr);
    }
    os::testing::SetNameDatabasesMissing(false);
}

namespace {

constexpr UINT kLookupMsg = WM_USER + 2;

struct LookupRecorder {
    struct Reply {
        HANDLE handle;
        int length;
        int error;
    };
    std::vector<Reply> replies;
    HWND hwnd;
    LookupRecorder()
    {
        hwnd = CreateMessageTarget([this](UINT m, WPARAM w, LPARAM l) {
            if (m == kLookupMsg)
                replies.push_back({static_cast<HANDLE>(w), WSAGETASYNCBUFLEN(l), WSAGETASYNCERROR(l)});
            return 0;
        });
    }
    ~LookupRecorder() { DestroyMessageTarget(hwnd); }
    bool Wait(size_t n)
    {
        return MessageLoop::ForThisThread().WaitUntil([&] { return replies.size() >= n; }, 10000);
    }
};

} // namespace

TEST_F(WinsockTest, AsyncHostLookUpsAnswerThroughTheLoop)
{
    struct Case {
        const char* name;
        int error;
        std::uint32_t addr; // host order, when found
    };
    const Case cases[] = {
        {"127.0.0.1", 0, INADDR_LOOPBACK},
        {"10.1.2.3", 0, 0x0A010203},
        {"localhost", 0, INADDR_LOOPBACK},
        {"a..b", WSAHOST_NOT_FOUND, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        LookupRecorder rec;
        char buf[MAXGETHOSTSTRUCT];
        HANDLE h = ws::WSAAsyncGetHostByName(rec.hwnd, kLookupMsg, k.name, buf, sizeof buf);
        ASSERT_NE(h, 0u);
        EXPECT_TRUE(rec.replies.empty()) << "answered inside the call";
        ASSERT_TRUE(rec.Wait(1));
        EXPECT_EQ(rec.replies[0].handle, h);
        EXPECT_EQ(rec.replies[0].error, k.error);
        if (k.error == 0) {
            auto* he = reinterpret_cast<hostent*>(buf);
            EXPECT_GT(rec.replies[0].length, 0);
            EXPECT_LE(rec.replies[0].length, MAXGETHOSTSTRUCT);
            ASSERT_NE(he->h_addr_list[0], nullptr);
            EXPECT_EQ(*reinterpret_cast<std::uint32_t*>(he->h_addr_list[0]), htonl(k.addr));
            // Every pointer lies inside the caller's buffer.
            EXPECT_GE(he->h_name, buf);
            EXPECT_LT(he->h_name, buf + sizeof buf);
        }
        EXPECT_EQ(ws::WSACancelAsyncRequest(h), SOCKET_ERROR) << "cancel after the answer";
    }
}

TEST_F(WinsockTest, AsyncAddressLookUpAndTooSmallABuffer)
{
    LookupRecorder rec;
    char buf[MAXGETHOSTSTRUCT];
    std::uint32_t lo = htonl(INADDR_LOOPBACK);
    HANDLE h = ws::WSAAsyncGetHostByAddr(rec.hwnd, WM_USER + 2, reinterpret_cast<char*>(&lo), 4, AF_INET, buf,
                                     sizeof buf);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(rec.Wait(1));
    ASSERT_EQ(rec.replies[0].error, 0);
    EXPECT_STREQ(reinterpret_cast<hostent*>(buf)->h_name, "localhost");

    char small[16];
    std::memset(small, 0x5A, sizeof small);
    h = ws::WSAAsyncGetHostByName(rec.hwnd, kLookupMsg, "127.0.0.1", small, sizeof small);
    ASSERT_TRUE(rec.Wait(2));
    EXPECT_EQ(rec.replies[1].error, WSAENOBUFS);
    EXPECT_GT(rec.replies[1].length, static_cast<int>(sizeof small)); // the size it needs
    for (char ch : small)
        EXPECT_EQ(ch, 0x5A);
}

TEST_F(WinsockTest, CancelledLookUpNeverWritesOrPosts)
{
    LookupRecorder rec;
    const char* names[] = {"127.0.0.1", "localhost", "a..b"};
    std::vector<std::string> bufs(3, std::string(MAXGETHOSTSTRUCT, '\x5A'));
    for (int i = 0; i < 3; ++i) {
        HANDLE h = ws::WSAAsyncGetHostByName(rec.hwnd, kLookupMsg, names[i], bufs[i].data(), MAXGETHOSTSTRUCT);
        ASSERT_NE(h, 0u);
        EXPECT_EQ(ws::WSACancelAsyncRequest(h), 0);
        EXPECT_EQ(ws::WSACancelAsyncRequest(h), SOCKET_ERROR);
    }
    Settle(300);
    EXPECT_TRUE(rec.replies.empty());
    for (auto& b : bufs)
        EXPECT_EQ(b, std::string(MAXGETHOSTSTRUCT, '\x5A'));
    EXPECT_EQ(ws::WSACancelAsyncRequest(0), SOCKET_ERROR);
}

TEST(ModuleTable, SocketLibraryLoadsByNameWithAllItsEntries)
{
    HMODULE m = LoadLibrary("WSock32.DLL");
    ASSERT_NE(m, 0u);
    const char* names[] = {"WSAStartup", "WSACleanup", "WSASetLastError", "WSAGetLastError",
                           "WSACancelAsyncRequest", "WSAAsyncGetHostByName", "WSAAsyncGetHostByAddr",
                           "WSAAsyncSelect", "getservbyname", "getprotobyname", "gethostbyname", "socket",
                           "shutdown", "setsockopt", "getsockopt", "gethostname", "sendto", "ntohs", "listen",
                           "ioctlsocket", "inet_ntoa", "inet_addr", "htons", "htonl", "getsockname",
                           "getpeername", "connect", "closesocket", "bind", "accept", "recv", "recvfrom", "send"};
    for (const char* n : names)
        EXPECT_NE(GetProcAddress(m, n), nullptr) << n;
    EXPECT_EQ(GetProcAddress(m, "NoSuchEntry"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(m, "wsastartup"), nullptr) << "entry names match exactly";

    auto start = reinterpret_cast<int (*)(std::uint16_t, WSADATA*)>(GetProcAddress(m, "WSAStartup"));
    auto htonsFn = reinterpret_cast<std::uint16_t (*)(std::uint16_t)>(GetProcAddress(m, "htons"));
    WSADATA d;
    EXPECT_EQ(start(0x0101, &d), 0);
    ws::WSACleanup();
    EXPECT_EQ(htonsFn(0x1234), htons(0x1234));
    EXPECT_TRUE(FreeLibrary(m));
}

TEST(ModuleTable, FailuresAreReachable)
{
    EXPECT_EQ(LoadLibrary("nosuch.dll"), 0u);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);

    os::testing::SetModuleMissing("wsock32.dll", true);
    EXPECT_EQ(LoadLibrary("wsock32.dll"), 0u);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    os::testing::SetModuleMissing("wsock32.dll", false);

    HMODULE m = LoadLibrary("wsock32.dll");
    ASSERT_NE(m, 0u);
    os::testing::SetProcMissing("wsock32.dll", "WSAAsyncSelect", true);
    EXPECT_EQ(GetProcAddress(m, "WSAAsyncSelect"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    os::testing::SetProcMissing("wsock32.dll", "WSAAsyncSelect", false);
    EXPECT_NE(GetProcAddress(m, "WSAAsyncSelect"), nullptr);

    EXPECT_TRUE(FreeLibrary(m));
    EXPECT_EQ(GetProcAddress(m, "socket"), nullptr) << "entry of a freed module";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(FreeLibrary(m));
}

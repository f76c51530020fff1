// The SOCKS client layer byte by byte, against a scripted fake server that
// stands in for both the SOCKS server and the host behind it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "tests/net/socket/SocketTestUtil.h"
#include "tests/support/TestSupport.h"

using namespace sockettest;

namespace {

struct Step {
    enum Kind { Expect, Send, Pause, Close, Hold } kind;
    std::string bytes;
    int ms = 0;
};
Step Expect(std::string b) { return {Step::Expect, std::move(b)}; }
Step Send(std::string b) { return {Step::Send, std::move(b)}; }
Step Pause(int ms) { return {Step::Pause, {}, ms}; }
// Answers nothing more and waits for the client to close.
Step Hold() { return {Step::Hold, {}}; }

std::string B(std::initializer_list<int> bytes)
{
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

// Runs the script on the one connection it accepts; a mismatch ends it.
class FakeSocksServer {
public:
    explicit FakeSocksServer(std::vector<Step> script) : script_(std::move(script))
    {
        fd_ = RawListen(port_);
        thread_ = std::thread([this] { Run(); });
    }
    ~FakeSocksServer()
    {
        ::shutdown(fd_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        ::close(fd_);
    }
    int Port() const { return port_; }
    void Join()
    {
        if (thread_.joinable()) thread_.join();
    }
    std::string mismatch;

private:
    void Run()
    {
        int c = ::accept(fd_, nullptr, nullptr);
        if (c < 0) return;
        int one = 1;
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        timeval tv{5, 0};
        ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        for (const auto& s : script_) {
            if (s.kind == Step::Expect) {
                std::string got = RawRecvN(c, s.bytes.size());
                if (got != s.bytes) {
                    mismatch = "expected " + Hex(s.bytes) + " got " + Hex(got);
                    break;
                }
            } else if (s.kind == Step::Send) {
                RawSendAll(c, s.bytes);
            } else if (s.kind == Step::Pause) {
                std::this_thread::sleep_for(std::chrono::milliseconds(s.ms));
            } else if (s.kind == Step::Hold) {
                RawRecvAll(c);
                break;
            } else {
                break;
            }
        }
        ::close(c);
    }
    static std::string Hex(const std::string& s)
    {
        std::string out;
        char buf[4];
        for (unsigned char ch : s) {
            std::snprintf(buf, sizeof buf, "%02x", ch);
            out += buf;
        }
        return out;
    }
    std::vector<Step> script_;
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

struct Recorder {
    TAsyncSocket s;
    std::vector<std::string> events;
    bool closed = false;

    Recorder()
    {
        s.OnSocksConnected = [this](TObject*, std::uint16_t e) { events.push_back("socks " + std::to_string(e)); };
        s.OnSocksAuthState = [this](TObject*, TSocksAuthState a) { events.push_back("auth " + std::to_string(a)); };
        s.OnSocksError = [this](TObject*, int e, const std::string& m) {
            events.push_back("error " + std::to_string(e) + " " + m);
        };
        s.OnSessionConnected = [this](TObject*, std::uint16_t e) { events.push_back("connected " + std::to_string(e)); };
        s.OnDataAvailable = [this](TObject*, std::uint16_t) {
            // Read as an owner does: what RcvdCount says, through the receive operations.
            std::int64_t n = s.RcvdCount();
            if (n <= 0) return;
            std::string buf(static_cast<std::size_t>(n), '\0');
            int got = s.ReadBytes(buf.data(), static_cast<int>(n));
            if (got > 0) {
                if (!events.empty() && events.back().rfind("data ", 0) == 0)
                    events.back() += buf.substr(0, static_cast<std::size_t>(got));
                else
                    events.push_back("data " + buf.substr(0, static_cast<std::size_t>(got)));
            }
        };
        s.OnSessionClosed = [this](TObject*, std::uint16_t e) {
            events.push_back("closed " + std::to_string(e));
            closed = true;
        };
    }

    // User and password offered to the server; none when user is empty.
    void SetUser(const std::string& user, const std::string& password)
    {
        if (user.empty()) return;
        s.SetSocksUsercode(user);
        s.SetSocksPassword(password);
        s.SetSocksAuthentication(socksAuthenticateUsercode);
    }

    // Connects to addr:2121 through the SOCKS server on port.
    void Start(int port, const std::string& level, const std::string& addr = "ftp.example.test")
    {
        s.SetSocksServer("127.0.0.1");
        s.SetSocksPort(std::to_string(port));
        s.SetSocksLevel(level);
        s.SetAddr(addr);
        s.SetPort("2121");
        s.Connect();
    }

    void Run(int port, const std::string& level, const std::string& addr = "ftp.example.test")
    {
        Start(port, level, addr);
        EXPECT_TRUE(Pump([&] { return closed; }, 10000)) << "no close event";
    }
};

const std::string Greeting = B({5, 1, 0});
const std::string GreetingWithUser = B({5, 2, 0, 2});
std::string Request5(const std::string& host) { return B({5, 1, 0, 3, static_cast<int>(host.size())}) + host + B({0x08, 0x49}); }
const std::string Reply5 = B({5, 0, 0, 1, 127, 0, 0, 1, 0x08, 0x49});

struct Case {
    const char* name;
    std::string level;
    std::vector<Step> script;
    std::vector<std::string> events;
    std::string user = "", password = "";
    std::string addr = "ftp.example.test";
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class SocksScript : public ::testing::TestWithParam<Case> {};

} // namespace

TEST_P(SocksScript, EventsAndBytes)
{
    const Case& c = GetParam();
    FakeSocksServer server(c.script);
    Recorder r;
    r.SetUser(c.user, c.password);
    r.Run(server.Port(), c.level, c.addr);
    server.Join();
    EXPECT_EQ(server.mismatch, "");
    EXPECT_EQ(r.events, c.events);
    // Whatever happened, the SOCKS settings are back to their defaults.
    EXPECT_EQ(r.s.SocksServer(), "");
    EXPECT_EQ(r.s.SocksLevel(), "5");
    EXPECT_EQ(r.s.SocksState(), 0);
}

namespace {

std::vector<Case> Cases()
{
    const std::string host = "ftp.example.test";
    std::vector<Case> cases = {
        {"socks5_reply_split_over_reads", "5",
         {Expect(Greeting), Send(B({5})), Pause(40), Send(B({0})), Expect(Request5(host)), Send(Reply5.substr(0, 3)),
          Pause(40), Send(Reply5.substr(3, 4)), Pause(40), Send(Reply5.substr(7)), Pause(40), Send("220 hello\r\n"),
          Pause(40)},
         {"socks 0", "connected 0", "data 220 hello\r\n", "closed 0"}},
        {"socks5_reply_and_greeting_in_one_read", "5",
         {Expect(Greeting), Send(B({5, 0})), Expect(Request5(host)), Send(Reply5 + "220 at once\r\n"), Pause(40)},
         {"socks 0", "connected 0", "data 220 at once\r\n", "closed 0"}},
        {"socks5_domain_reply_of_255_bytes", "5",
         {Expect(Greeting), Send(B({5, 0})), Expect(Request5(host)),
          Send(B({5, 0, 0, 3, 255}) + std::string(255, 'h') + B({0, 21}) + "220 long\r\n"), Pause(40)},
         {"socks 0", "connected 0", "data 220 long\r\n", "closed 0"}},
        {"socks5_ipv6_bound_address", "5",
         {Expect(Greeting), Send(B({5, 0})), Expect(Request5(host)),
          Send(B({5, 0, 0, 4}) + std::string(16, '\0') + B({0, 21}) + "220 six\r\n"), Pause(40)},
         {"socks 0", "connected 0", "data 220 six\r\n", "closed 0"}},
        {"socks5_user_password", "5",
         {Expect(GreetingWithUser), Send(B({5, 2})), Expect(B({1, 4}) + "user" + B({6}) + "secret"), Send(B({1, 0})),
          Expect(Request5(host)), Send(Reply5), Pause(40)},
         {"socks 0", "auth 0", "auth 1", "connected 0", "closed 0"},
         "user", "secret"},
        {"socks5_no_auth_chosen_though_offered", "5",
         {Expect(GreetingWithUser), Send(B({5, 0})), Expect(Request5(host)), Send(Reply5), Pause(40)},
         {"socks 0", "auth 3", "connected 0", "closed 0"},
         "user", "secret"},
        {"socks5_password_refused", "5",
         {Expect(GreetingWithUser), Send(B({5, 2})), Expect(B({1, 4}) + "user" + B({6}) + "secret"), Send(B({1, 1})),
          Pause(200)},
         {"socks 0", "auth 0", "error 20015 socks authentication failed", "connected 20015", "auth 2", "closed 20015"},
         "user", "secret"},
        {"socks5_server_hangs_up_after_the_greeting", "5", {Expect(Greeting)},
         {"socks 0", "error 20001 socks server closed the connection", "connected 20001", "closed 20001"}},
        {"socks5_server_hangs_up_while_authenticating", "5",
         {Expect(GreetingWithUser), Send(B({5, 2})), Expect(B({1, 4}) + "user" + B({6}) + "secret")},
         {"socks 0", "auth 0", "auth 2", "error 20001 socks server closed the connection", "connected 20001",
          "closed 20001"},
         "user", "secret"},
        {"socks5_wrong_version", "5", {Expect(Greeting), Send(B({4, 0})), Pause(200)},
         {"socks 0", "error 20002 socks version error", "connected 20002", "closed 20002"}},
        {"socks5_method_refused", "5", {Expect(Greeting), Send(B({5, 0xFF})), Pause(200)},
         {"socks 0", "error 20003 authentification method not acceptable", "connected 20003", "closed 20003"}},
        {"socks5_unknown_address_type", "5",
         {Expect(Greeting), Send(B({5, 0})), Expect(Request5(host)), Send(B({5, 0, 0, 9, 1, 2, 3, 4, 5, 6})), Pause(200)},
         {"socks 0", "error 20011 address type not supported", "connected 20011", "closed 20011"}},
        {"socks5_host_name_too_long", "5", {Expect(Greeting), Send(B({5, 0})), Pause(200)},
         {"socks 0", "error 20014 socks request field too long", "connected 20014", "closed 20014"},
         "", "", std::string(300, 'a')},
        {"socks5_user_too_long", "5", {Expect(GreetingWithUser), Send(B({5, 2})), Pause(200)},
         {"socks 0", "auth 0", "error 20014 socks request field too long", "connected 20014", "auth 2",
          "closed 20014"},
         std::string(256, 'u'), "p"},
        {"socks4_reply_followed_by_data", "4",
         {Expect(B({4, 1, 0x08, 0x49, 127, 0, 0, 1}) + "user" + B({0})), Send(B({0, 90, 0, 0, 0, 0, 0, 0}) + "220 four\r\n"),
          Pause(40)},
         {"socks 0", "connected 0", "data 220 four\r\n", "closed 0"},
         "user", "", "127.0.0.1"},
        {"socks4a_sends_the_name", "4A",
         {Expect(B({4, 1, 0x08, 0x49, 0, 0, 0, 1}) + B({0}) + host + B({0})), Send(B({0, 90, 0, 0, 0, 0, 0, 0})),
          Pause(40)},
         {"socks 0", "connected 0", "closed 0"}},
    };
    // Every SOCKS 5 reply code.
    const std::vector<std::pair<int, std::string>> codes5 = {
        {1, "20004 general SOCKS server failure"}, {2, "20005 connection not allowed by ruleset"},
        {3, "20006 network unreachable"},          {4, "20007 host unreachable"},
        {5, "20008 connection refused"},           {6, "20009 time to live expired"},
        {7, "20010 command not supported"},        {8, "20011 address type not supported"},
        {9, "20012 unassigned error #9"},
    };
    static std::vector<std::string> names;
    names.reserve(32);
    for (const auto& [code, text] : codes5) {
        names.push_back("socks5_reply_code_" + std::to_string(code));
        std::string num = text.substr(0, 5);
        cases.push_back({names.back().c_str(), "5",
                         {Expect(Greeting), Send(B({5, 0})), Expect(Request5(host)),
                          Send(B({5, code, 0, 1, 0, 0, 0, 0, 0, 0})), Pause(200)},
                         {"socks 0", "error " + text, "connected " + num, "closed " + num}});
    }
    // Every SOCKS 4 reply code.
    const std::vector<std::pair<int, std::string>> codes4 = {
        {91, "20016 request rejected or failed"}, {92, "20008 connection refused"},
        {93, "20015 authentification failed"},    {99, "20012 unassigned error #99"},
    };
    for (const auto& [code, text] : codes4) {
        names.push_back("socks4_reply_code_" + std::to_string(code));
        std::string num = text.substr(0, 5);
        cases.push_back({names.back().c_str(), "4",
                         {Expect(B({4, 1, 0x08, 0x49, 127, 0, 0, 1, 0})), Send(B({0, code, 0, 0, 0, 0, 0, 0})),
                          Pause(200)},
                         {"socks 0", "error " + text, "connected " + num, "closed " + num},
                         "", "", "127.0.0.1"});
    }
    return cases;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Fake, SocksScript, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(SocksLayer, UnresolvableSocks4DestinationFailsWithoutAConnectEvent)
{
    FakeSocksServer server({Pause(300)});
    Recorder r;
    r.Run(server.Port(), "4", "no-such-host.invalid");
    ASSERT_EQ(r.events.size(), 3u);
    EXPECT_EQ(r.events[0], "socks 0");
    EXPECT_EQ(r.events[1].rfind("error 20017 ESocketException SocketResolveHost: Cannot convert host address", 0), 0u)
        << r.events[1];
    EXPECT_EQ(r.events[2], "closed 20017");
}

TEST(SocksLayer, UnreachableSocksServerIsAFailedConnect)
{
    Recorder r;
    r.Run(testsupport::FreeTcpPort(), "5");
    std::vector<std::string> want = {"socks 10061", "connected 10061", "closed 0"};
    EXPECT_EQ(r.events, want);
}

namespace {

// Where the owner closes its socket while the negotiation runs.
struct OwnCloseCase {
    const char* name;
    std::string level;
    std::vector<Step> script;
    std::string user;
    // Holds once the negotiation reached the point to close at.
    std::function<bool(const Recorder&)> reached;
    std::vector<std::string> events; // told from the close on
    bool abort = false;              // AbortSession, else CloseSession
};

void PrintTo(const OwnCloseCase& c, std::ostream* os) { *os << c.name; }

class SocksOwnClose : public ::testing::TestWithParam<OwnCloseCase> {};

std::vector<OwnCloseCase> OwnCloseCases()
{
    const std::string host = "ftp.example.test";
    const auto tcpConnecting = [](const Recorder& r) { return r.s.State() == wsConnecting; };
    const auto told = [](const char* event) {
        return [event](const Recorder& r) { return std::find(r.events.begin(), r.events.end(), event) != r.events.end(); };
    };
    const auto waitingForTheConnectReply = [](const Recorder& r) { return r.s.SocksState() == 3; };
    const OwnCloseCase points[] = {
        {"socks_server_not_reached_yet", "5", {Hold()}, "", tcpConnecting, {"closed 0"}},
        {"socks5_greeting_sent", "5", {Expect(Greeting), Hold()}, "", told("socks 0"), {"closed 0"}},
        {"socks5_authenticating", "5",
         {Expect(GreetingWithUser), Send(B({5, 2})), Expect(B({1, 4}) + "user" + B({6}) + "secret"), Hold()}, "user",
         told("auth 0"), {"auth 2", "closed 0"}},
        {"socks5_connect_request_sent", "5", {Expect(Greeting), Send(B({5, 0})), Expect(Request5(host)), Hold()}, "",
         waitingForTheConnectReply, {"closed 0"}},
        {"socks4a_request_sent", "4A", {Expect(B({4, 1, 0x08, 0x49, 0, 0, 0, 1, 0}) + host + B({0})), Hold()}, "",
         waitingForTheConnectReply, {"closed 0"}},
    };
    static std::vector<std::string> names;
    names.reserve(2 * std::size(points));
    std::vector<OwnCloseCase> cases;
    for (const auto& p : points)
        for (bool abort : {false, true}) {
            names.push_back(std::string(p.name) + (abort ? "_aborted" : "_closed"));
            cases.push_back(p);
            cases.back().name = names.back().c_str();
            cases.back().abort = abort;
        }
    return cases;
}

} // namespace

// The owner's own close of a socket whose negotiation is still running
// tells it what a plain socket's close tells: the session closed (0), with
// no connect event, which the owner would take for a failed connection
// and report in place of whatever made it close.
TEST_P(SocksOwnClose, FiresWhatAPlainSocketsCloseFires)
{
    const OwnCloseCase& c = GetParam();
    FakeSocksServer server(c.script);
    Recorder r;
    r.SetUser(c.user, "secret");
    r.Start(server.Port(), c.level);
    ASSERT_TRUE(Pump([&] { return c.reached(r) || r.closed; }, 10000));
    ASSERT_FALSE(r.closed) << ::testing::PrintToString(r.events);
    r.events.clear();
    if (c.abort) r.s.AbortSession();
    else r.s.CloseSession();
    EXPECT_EQ(r.events, c.events);
    // Nothing more arrives once the server has seen the close.
    server.Join();
    os::MessageLoop::ForThisThread().ProcessMessages();
    EXPECT_EQ(r.events, c.events);
    EXPECT_EQ(server.mismatch, "");
    EXPECT_EQ(r.s.SocksState(), 0);
    EXPECT_EQ(r.s.SocksServer(), "");
}

INSTANTIATE_TEST_SUITE_P(Fake, SocksOwnClose, ::testing::ValuesIn(OwnCloseCases()),
                         [](const ::testing::TestParamInfo<OwnCloseCase>& info) { return std::string(info.param.name); });

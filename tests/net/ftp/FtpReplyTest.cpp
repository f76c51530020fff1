// The control connection: welcome, reply reading and classing, chains,
// refusals, time-out.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <future>

#include "net/WsBinding.h"
#include "tests/net/ftp/FakeFtpServer.h"
#include "tests/net/ftp/FtpTestClient.h"
#include "tests/support/TestSupport.h"

using namespace fakeftp;

namespace {

struct WelcomeCase {
    const char* name;
    std::vector<Step> script;
    bool ok;
    int error;           // OnRequestDone's error
    int sessionConnected;
};

class WelcomeTest : public ::testing::TestWithParam<int> {};

std::vector<WelcomeCase> WelcomeCases()
{
    return {
        {"multi-line welcome shows every line and connects once",
         {[](Session& s) { s.Send("220-first\r\n220-second\r\n220 third\r\n"); }}, true, 0, 1},
        {"welcome split into single bytes",
         {[](Session& s) { s.Trickle("220-one\r\nnot numbered\r\n220 ready\r\n", 1, 2); }}, true, 0, 1},
        {"preliminary 120 waits for the 220",
         {[](Session& s) {
             s.Reply("120 ready in 1 minutes");
             s.Sleep(100);
             s.Reply("220 now ready");
         }},
         true, 0, 1},
        {"refusing welcome ends the open with its code", {Welcome("421 too many users")}, false, 421, 0},
        {"closed before the welcome is an error",
         {[](Session& s) {
             s.Send("220-partial\r\n");
             s.CloseControl();
         }},
         false, 426, 0},
    };
}

TEST_P(WelcomeTest, Opens)
{
    const auto c = WelcomeCases()[GetParam()];
    SCOPED_TRACE(c.name);
    FakeFtpServer server(c.script);
    FtpTestClient client(server.Port());
    EXPECT_EQ(client.Block(&TCustomFtpCli::StartOpen), c.ok);
    ASSERT_TRUE(client.WaitDone());
    EXPECT_FALSE(client.doneInsideCall);
    EXPECT_EQ(client.done[0], std::make_pair(rqOpen, c.error));
    EXPECT_EQ(client.sessionConnected, c.sessionConnected);
    if (GetParam() == 0) {
        EXPECT_TRUE(client.Shown("220-first"));
        EXPECT_TRUE(client.Shown("220-second"));
        EXPECT_TRUE(client.Shown("220 third"));
    }
    server.Join();
    EXPECT_TRUE(server.Errors().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, WelcomeTest, ::testing::Range(0, 5));

TEST(FtpReply, RepliesSplitAcrossReadsAndManyInOneRead)
{
    FakeFtpServer server({Welcome(),
                          [](Session& s) {
                              s.Expect("USER user");
                              s.Trickle("33", 1, 20);
                              s.Trickle("1 password please\r", 1, 20);
                              s.Sleep(50);
                              s.Send("\n");
                              s.Expect("PASS pass");
                              // intermediate lines without digits, LF-only ends
                              s.Send("230-Welcome\n  to the\nserver\n230 logged in\n");
                          },
                          [](Session& s) {
                              s.Expect("PWD");
                              s.Send("257 \"/a \"\"q\"\" dir\" is current\r\n");
                          },
                          [](Session& s) {
                              s.Expect("MKD x");
                              s.Send("257 created, no quotes\r\n");
                          }});
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    EXPECT_TRUE(client.Shown("  to the"));
    EXPECT_EQ(client.ftp.ReplyText(), "230 logged in");
    ASSERT_TRUE(client.Block(&TCustomFtpCli::SendPwd));
    EXPECT_EQ(client.ftp.ReplyDirectory(), "/a \"q\" dir");
    client.ftp.SetHostFileName("x");
    ASSERT_TRUE(client.Block(&TCustomFtpCli::SendMkd));
    EXPECT_EQ(client.ftp.ReplyDirectory(), "");
    ASSERT_TRUE(client.WaitDone(3));
    EXPECT_FALSE(client.doneInsideCall);
    EXPECT_EQ(client.done[0].first, rqLogin);
    EXPECT_EQ(client.done[1].first, rqPwd);
    EXPECT_EQ(client.done[2].first, rqMakeDir);
    server.Join();
    EXPECT_TRUE(server.Errors().empty()) << server.Errors()[0];
}

TEST(FtpReply, RawCommandsAreClassedByTheFiveHundredRule)
{
    FakeFtpServer server({Welcome(), Login(), Answer("SITE A", "200 fine"), Answer("SITE B", "450 busy"),
                          Answer("SITE C", "502 not implemented")});
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    for (auto [cmd, ok] : {std::pair{"SITE A", true}, {"SITE B", true}, {"SITE C", false}}) {
        client.ftp.SetLocalFileName(cmd);
        EXPECT_EQ(client.ftp.RawCommandBlocking(), ok) << cmd;
    }
    EXPECT_EQ(client.ftp.ErrorMessage(), "502 not implemented");
    server.Join();
}

TEST(FtpReply, UserAnsweredWith230SkipsPass)
{
    FakeFtpServer server({Welcome(), Answer("USER", "230 no password needed"), Answer("SYST", "215 UNIX Type: L8"),
                          Answer("QUIT", "221 bye")});
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainSystemSession));
    // the chain reports the reply before its QUIT
    EXPECT_EQ(client.ftp.ReplyText(), "215 UNIX Type: L8");
    EXPECT_FALSE(client.ftp.HasSession());
    server.Join();
    EXPECT_TRUE(server.Errors().empty());
}

TEST(FtpReply, SilenceLongerThanTimeoutEndsTheBlockingCall)
{
    FakeFtpServer server({Welcome(), [](Session& s) {
                              s.Expect("USER");
                              s.WaitControlClosed(5000);
                          }});
    FtpTestClient client(server.Port());
    client.ftp.SetTimeout(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.Block(&TCustomFtpCli::ChainLogin));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::seconds(4));
    EXPECT_EQ(client.ftp.ReplyCode(), 426);
    EXPECT_EQ(client.ftp.ErrorMessage(), "426 Timeout");
    EXPECT_FALSE(client.ftp.HasSession());
    ASSERT_TRUE(client.WaitDone());
    EXPECT_EQ(client.done[0], std::make_pair(rqLogin, 426));
    server.Join();
}

TEST(FtpReply, ControlClosedWhileAwaitingAReplyIsAnError)
{
    FakeFtpServer server({Welcome(), Login(), [](Session& s) {
                              s.Expect("CWD");
                              s.CloseControl();
                          }});
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    client.ftp.SetHostDirName("/x");
    EXPECT_FALSE(client.Block(&TCustomFtpCli::SendCwd));
    ASSERT_TRUE(client.WaitDone(2));
    EXPECT_EQ(client.done[1], std::make_pair(rqCwd, 426));
    server.Join();
}

TEST(FtpReply, OverlongReplyLineIsAProtocolError)
{
    FakeFtpServer server({Welcome(), Login(), [](Session& s) {
                              s.Expect("PWD");
                              s.Send("257 \"" + std::string(5000, 'a') + "\"\r\n");
                          }});
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    EXPECT_FALSE(client.Block(&TCustomFtpCli::SendPwd));
    ASSERT_TRUE(client.WaitDone(2));
    EXPECT_EQ(client.done[1], std::make_pair(rqPwd, 500));
    EXPECT_EQ(client.ftp.ErrorMessage(), "500 Reply line too long");
    EXPECT_FALSE(client.ftp.HasSession());
    server.Join();
}

// A reply that never ends (too many lines, or too many bytes) ends its
// connection with an error instead of growing the log without bound; one
// just inside the bounds is still a reply.
TEST(FtpReply, AReplyPastItsBoundsEndsTheConnection)
{
    const struct {
        const char* name;
        int lines;
        std::size_t width;
        bool ok;
    } cases[] = {
        {"9,999 lines", 9999, 10, true},
        {"10,001 lines", 10001, 10, false},
        {"over 1 MiB", 400, 3000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFtpServer server({Welcome(), Login(), [&](Session& s) {
                                  s.Expect("SYST");
                                  std::string all;
                                  for (int i = 0; i < c.lines; ++i) all += "215-" + std::string(c.width, 'x') + "\r\n";
                                  s.Send(all + "215 UNIX Type: L8\r\n");
                                  s.WaitControlClosed(3000);
                              }});
        FtpTestClient client(server.Port());
        ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
        EXPECT_EQ(client.Block(&TCustomFtpCli::SendSyst), c.ok);
        ASSERT_TRUE(client.WaitDone(2));
        if (c.ok) {
            EXPECT_EQ(client.done[1], std::make_pair(rqSyst, 0));
        } else {
            EXPECT_EQ(client.done[1], std::make_pair(rqSyst, 500));
            EXPECT_EQ(client.ftp.ErrorMessage(), "500 Reply too long");
            EXPECT_FALSE(client.ftp.HasSession());
            EXPECT_LE(client.lines.size(), 10100u) << "nothing of the rest is shown";
        }
        server.Join();
    }
}

TEST(FtpReply, RefusedConnectReportsTheSocketError)
{
    const int port = testsupport::FreeTcpPort();
    FtpTestClient client(port);
    client.Start(&TCustomFtpCli::StartOpen);
    ASSERT_TRUE(client.WaitDone());
    EXPECT_FALSE(client.doneInsideCall);
    EXPECT_EQ(client.done[0], std::make_pair(rqOpen, 10061));
    EXPECT_EQ(client.ftp.ReplyCode(), 500);
}

// CR, LF or NUL in a name would smuggle a second command to the server.
TEST(FtpReply, LineBreaksInNamesAreRefusedNotSent)
{
    struct Case {
        void (TCustomFtpCli::*set)(const std::string&);
        TCustomFtpCli::TAction action;
    };
    const std::string evil = std::string("x\r\nDELE victim", 14);
    const Case cases[] = {
        {&TCustomFtpCli::SetHostFileName, &TCustomFtpCli::SendDele},
        {&TCustomFtpCli::SetHostDirName, &TCustomFtpCli::SendCwd},
        {&TCustomFtpCli::SetUserName, &TCustomFtpCli::SendUser},
        {&TCustomFtpCli::SetPassWord, &TCustomFtpCli::SendPass},
        {&TCustomFtpCli::SetLocalFileName, &TCustomFtpCli::SendRnto},
    };
    FakeFtpServer server({Welcome(), Login(), Answer("NOOP", "200 ok")});
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    for (const auto& c : cases) {
        FtpTestClient* cl = &client;
        ((cl->ftp).*c.set)(evil);
        EXPECT_FALSE(client.Block(c.action));
        ((cl->ftp).*c.set)(std::string("a\0b", 3));
        EXPECT_FALSE(client.Block(c.action));
    }
    client.ftp.SetLocalFileName("NOOP");
    EXPECT_TRUE(client.ftp.RawCommandBlocking());
    server.Join();
    EXPECT_EQ(server.Commands().back(), "NOOP");
    for (const auto& cmd : server.Commands()) EXPECT_EQ(cmd.find("victim"), std::string::npos) << cmd;
}

TEST(FtpReply, RefusedStepInsideAChainEndsItWithOneEvent)
{
    FakeFtpServer server({Welcome(), Answer("USER", "331 password please")});
    FtpTestClient client(server.Port());
    client.ftp.SetPassWord("");
    client.Start(&TCustomFtpCli::ChainLogin);
    ASSERT_TRUE(client.WaitDone());
    ASSERT_TRUE(client.Drain());
    ASSERT_EQ(client.done.size(), 1u);
    EXPECT_EQ(client.done[0], std::make_pair(rqLogin, 500));
    EXPECT_EQ(client.ftp.ErrorMessage(), "Password emtpy");
    EXPECT_FALSE(client.doneInsideCall);
    client.ftp.AbortRequest();
    server.Join();
}

// Calls refused while a chain runs raise to their caller (or go to the error
// handler); the chain neither ends nor changes its outcome.
TEST(FtpReply, CallRefusedDuringAChainLeavesTheChainRunning)
{
    std::promise<void> refused;
    auto go = refused.get_future().share();
    FakeFtpServer server({Welcome(), Login(), [go](Session& s) {
                              s.Expect("RNFR a");
                              go.wait_for(std::chrono::seconds(10));
                              s.Reply("350 ready for the new name");
                              s.Expect("RNTO b");
                              s.Reply("250 renamed");
                          }});
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    client.ftp.SetHostFileName("a");
    client.ftp.SetLocalFileName("b");
    client.Start(&TCustomFtpCli::ChainRename);
    ASSERT_TRUE(os::MessageLoop::ForThisThread().WaitUntil(
        [&] { return client.ftp.ClientState() == csAwaitingReply && client.Shown("RNFR a"); }, 5000));
    client.ftp.SetUserName("");
    client.ftp.SetPassWord("");
    client.ftp.SetHostDirName("");
    const TCustomFtpCli::TAction refusedCalls[] = {&TCustomFtpCli::SendUser, &TCustomFtpCli::SendPass,
                                                   &TCustomFtpCli::SendCwd, &TCustomFtpCli::ChainLogin};
    for (auto call : refusedCalls) EXPECT_THROW((client.ftp.*call)(), FtpException);
    std::vector<std::string> reported;
    client.ftp.SetErrorHandler([&](TObject*, std::string& msg) { reported.push_back(msg); });
    for (auto call : refusedCalls) (client.ftp.*call)();
    EXPECT_EQ(reported, (std::vector<std::string>{"UserName emtpy", "Password emtpy", "HostDirName emtpy",
                                                  "FTP component already connected"}));
    refused.set_value();
    ASSERT_TRUE(client.WaitDone(2));
    ASSERT_TRUE(client.Drain());
    ASSERT_EQ(client.done.size(), 2u);
    EXPECT_EQ(client.done[1], std::make_pair(rqRename, 0));
    EXPECT_EQ(client.ftp.RequestStatus(), 0);
    EXPECT_TRUE(client.ftp.ErrorMessage().empty()) << client.ftp.ErrorMessage();
    server.Join();
    EXPECT_TRUE(server.Errors().empty());
}

// Small commands and replies must not wait for delayed acknowledgements.
TEST(FtpReply, ControlConnectionSendsWithoutDelay)
{
    FakeFtpServer server({Welcome(), Login()});
    FtpTestClient client(server.Port());
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
    int on = 0;
    int len = sizeof on;
    ASSERT_EQ(WsGetsockopt(client.ftp.CommandSocket()->HSocket(), IPPROTO_TCP, TCP_NODELAY,
                           reinterpret_cast<char*>(&on), &len),
              0);
    EXPECT_NE(on, 0);
    client.ftp.AbortRequest();
    server.Join();
}

TEST(FtpReply, MisuseRaisesOrGoesToTheErrorHandler)
{
    FtpTestClient client(testsupport::FreeTcpPort());
    EXPECT_THROW(client.ftp.SendPwd(), FtpException);
    EXPECT_FALSE(client.ftp.RawCommandBlocking()); // refused, not raised
    std::vector<std::string> reported;
    client.ftp.SetErrorHandler([&](TObject*, std::string& msg) { reported.push_back(msg); });
    EXPECT_FALSE(client.Block(&TCustomFtpCli::SendPwd));
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "FTP component not connected");
    ASSERT_TRUE(client.Drain());
    EXPECT_TRUE(client.done.empty());
}

TEST(FtpReply, ConnectionTypeSetterRules)
{
    TFtpClient ftp;
    ftp.SetConnectionType(ftpProxySite);
    EXPECT_EQ(ftp.ConnectionType(), ftpDirect);
    ftp.SetPassiveMode(false);
    EXPECT_FALSE(ftp.PassiveMode());
    for (auto type : {ftpProxy, ftpSocks4, ftpSocks4A, ftpSocks5}) {
        ftp.SetConnectionType(type);
        EXPECT_EQ(ftp.ConnectionType(), type);
        ftp.SetPassiveMode(false);
        EXPECT_TRUE(ftp.PassiveMode());
    }
    ftp.SetConnectionType(static_cast<TFtpConnectionType>(7));
    EXPECT_EQ(ftp.ConnectionType(), ftpDirect);
    ftp.SetShareMode(ftpShareDenyNone);
    EXPECT_EQ(ftp.ShareMode(), ftpShareDenyNone);
}

TEST(FtpReply, AbortDuringAChainReportsTheChainWith426)
{
    FakeFtpServer server({Welcome(), [](Session& s) {
                              s.Expect("USER");
                              s.WaitControlClosed(5000);
                          }});
    FtpTestClient client(server.Port());
    client.Start(&TCustomFtpCli::ChainLogin);
    ASSERT_TRUE(os::MessageLoop::ForThisThread().WaitUntil(
        [&] { return client.ftp.ClientState() == csAwaitingReply && client.Shown("USER"); }, 5000));
    client.Start(&TCustomFtpCli::AbortRequest);
    ASSERT_TRUE(client.WaitDone());
    ASSERT_TRUE(client.Drain());
    ASSERT_EQ(client.done.size(), 1u);
    EXPECT_EQ(client.done[0], std::make_pair(rqLogin, 426));
    EXPECT_EQ(client.ftp.ErrorMessage(), "426 Operation aborted.");
    server.Join();
}

} // namespace

namespace {

// SOCKS 4 needs the address here; 4A and 5 leave the name to the SOCKS
// server, so a name unknown here gets as far as the (absent) SOCKS server.
TEST(FtpReply, OnlySocks4ResolvesTheServerNameLocally)
{
    const int closedPort = testsupport::FreeTcpPort();
    for (auto type : {ftpSocks4, ftpSocks4A, ftpSocks5}) {
        SCOPED_TRACE(static_cast<int>(type));
        FtpTestClient client(21);
        client.ftp.SetHostName("no-such-host.invalid");
        client.ftp.SetConnectionType(type);
        client.ftp.SetSocksServer("127.0.0.1");
        client.ftp.SetSocksPort(std::to_string(closedPort));
        EXPECT_FALSE(client.Block(&TCustomFtpCli::StartOpen));
        ASSERT_TRUE(client.WaitDone());
        if (type == ftpSocks4) {
            EXPECT_EQ(client.ftp.ErrorMessage(), "500 DNS look up failed");
        } else {
            EXPECT_EQ(client.done[0], std::make_pair(rqOpen, 10061));
        }
    }
}

} // namespace

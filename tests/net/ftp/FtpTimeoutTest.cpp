// The silence deadline: every request, waited on or not, ends after Timeout
// seconds in which no byte moved either way.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/net/ftp/FakeFtpServer.h"
#include "tests/net/ftp/FtpTestClient.h"
#include "tests/support/TestSupport.h"

using namespace fakeftp;
using namespace testsupport;
using Clock = std::chrono::steady_clock;

namespace {

// After the login, a RETR of f whose data stops after part (closeData: the
// data connection ends, but no final reply follows).
std::vector<Step> RetrThenSilence(const std::string& part, bool closeData)
{
    return {Welcome(), Login(), [part, closeData](Session& s) {
                s.Expect("PASV");
                s.PassiveReply();
                s.Expect("RETR f");
                s.Reply("150 go");
                s.OpenData();
                s.DataSend(part);
                if (closeData) s.CloseData();
                HoldSilently(s);
            }};
}

// A request started without waiting, on a peer that falls silent, ends by
// itself: 426 "Timeout" shown, the control connection dropped, and the
// bytes that came before written to the local file.
TEST(FtpTimeout, ARequestNobodyWaitsOnEndsAfterTheSilence)
{
    const std::string part = PatternBytes(3000, 5);
    struct Case {
        const char* name;
        std::vector<Step> script;
        bool login;                      // the request runs after a login
        TCustomFtpCli::TAction request;
        TFtpRequest code;
        std::string local;               // what the local file holds afterwards
    };
    const std::vector<Case> cases = {
        {"greeting never comes", {HoldSilently}, false, &TCustomFtpCli::StartOpen, rqOpen, ""},
        {"USER never answered",
         {Welcome(), [](Session& s) {
              s.Expect("USER");
              HoldSilently(s);
          }},
         false, &TCustomFtpCli::ChainLogin, rqLogin, ""},
        {"data stops mid-file", RetrThenSilence(part, false), true, &TCustomFtpCli::ChainDownload, rqRetrieve, part},
        {"226 never comes", RetrThenSilence(part, true), true, &TCustomFtpCli::ChainDownload, rqRetrieve, part},
        {"upload whose 226 never comes",
         {Welcome(), Login(), [](Session& s) {
              s.BeginPassiveUpload("STOR f");
              s.DataReceiveAll();
              HoldSilently(s);
          }},
         true, &TCustomFtpCli::ChainUpload, rqStore, ""},
        {"LIST whose data never comes",
         {Welcome(), Login(), [](Session& s) {
              s.Expect("PASV");
              s.PassiveReply();
              s.Expect("LIST");
              s.Reply("150 here it comes");
              HoldSilently(s);
          }},
         true, &TCustomFtpCli::ChainList, rqList, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFtpServer server(c.script);
        TempDir dir;
        FtpTestClient client(server.Port());
        client.ftp.SetTimeout(1);
        std::size_t before = 0;
        if (c.login) {
            ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
            ASSERT_TRUE(client.WaitDone(1));
            before = 1;
        }
        client.ftp.SetHostFileName(c.code == rqList ? "" : "f");
        client.ftp.SetLocalFileName(dir / "f");
        if (c.code == rqStore) WriteFile(dir / "f", part);
        const auto start = Clock::now();
        client.Start(c.request);
        ASSERT_TRUE(client.WaitDone(before + 1, 6000)) << "the request never ended";
        const auto took = Clock::now() - start;
        EXPECT_GE(took, std::chrono::milliseconds(900));
        EXPECT_LT(took, std::chrono::milliseconds(2500));
        EXPECT_EQ(client.done[before], std::make_pair(c.code, 426));
        EXPECT_EQ(client.ftp.ErrorMessage(), "426 Timeout");
        EXPECT_TRUE(client.Shown("426 Timeout"));
        EXPECT_FALSE(client.ftp.HasSession());
        if (!c.local.empty()) {
            EXPECT_EQ(ReadFile(dir / "f"), c.local);
        }
        server.Join();
    }
}

// Reply lines that keep coming keep the request alive, waited on or not:
// only silence counts, not the time the whole reply takes.
TEST(FtpTimeout, ASlowReplyThatKeepsComingIsNoTimeout)
{
    for (bool blocking : {true, false}) {
        SCOPED_TRACE(blocking ? "blocking call" : "request");
        FakeFtpServer server({Welcome(), Login(), [](Session& s) {
                                  s.Expect("SYST");
                                  for (int i = 0; i < 6; ++i) {
                                      s.Reply("215-line " + std::to_string(i));
                                      s.Sleep(400);
                                  }
                                  s.Reply("215 UNIX Type: L8");
                              }});
        FtpTestClient client(server.Port());
        client.ftp.SetTimeout(1);
        ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin));
        if (blocking) {
            EXPECT_TRUE(client.Block(&TCustomFtpCli::SendSyst)) << client.ftp.ErrorMessage();
        } else {
            client.Start(&TCustomFtpCli::SendSyst);
            ASSERT_TRUE(client.WaitDone(2, 6000));
            EXPECT_EQ(client.done[1], std::make_pair(rqSyst, 0));
        }
        EXPECT_EQ(client.ftp.ReplyText(), "215 UNIX Type: L8");
        EXPECT_FALSE(client.Shown("426 Timeout"));
        server.Join();
    }
}

} // namespace

namespace {

// A SOCKS server that takes the connection and never answers: the open ends
// after the silence as a time-out, told as one, waited on or not; nothing
// says the server closed the connection, or quotes an error number alone.
TEST(FtpTimeout, ASilentSocksServerEndsTheOpenAsATimeout)
{
    for (bool blocking : {true, false}) {
        SCOPED_TRACE(blocking ? "blocking call" : "request");
        FakeFtpServer socks({HoldSilently});
        FtpTestClient client(FreeTcpPort());
        client.ftp.SetTimeout(1);
        client.ftp.SetConnectionType(ftpSocks5);
        client.ftp.SetSocksServer("127.0.0.1");
        client.ftp.SetSocksPort(std::to_string(socks.Port()));
        if (blocking) {
            EXPECT_FALSE(client.Block(&TCustomFtpCli::StartOpen));
        } else {
            client.Start(&TCustomFtpCli::StartOpen);
        }
        ASSERT_TRUE(client.WaitDone(1, 6000));
        EXPECT_NE(client.done[0].second, 0);
        EXPECT_TRUE(client.Shown("426 Timeout"));
        EXPECT_EQ(client.ftp.ErrorMessage(), "426 Timeout");
        for (const std::string& text : {client.ftp.ReplyText(), client.ftp.ErrorMessage()}) {
            EXPECT_EQ(text.find("Not a WinSock error"), std::string::npos) << text;
            EXPECT_EQ(text.find("closed the connection"), std::string::npos) << text;
        }
        EXPECT_FALSE(client.Shown("closed the connection"));
        socks.Join();
    }
}

} // namespace

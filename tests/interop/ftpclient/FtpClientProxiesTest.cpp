// The FTP client component through real proxies: the FTP proxy login
// (USER user@host:port) through ftp-proxy, and the SOCKS connection types.
#include <gtest/gtest.h>

#include "tests/support/SocksPeers.h"
#include "tests/net/ftp/FtpTestClient.h"
#include "tests/support/FtpServerPeers.h"

using testsupport::PatternBytes;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// A listing and a download through whatever the client was set up for.
void ListAndDownload(FtpTestClient& client, const testsupport::FtpServerPeer& peer)
{
    const std::string data = PatternBytes(1048576 + 333, 5);
    WriteFile(peer.LocalPath("through.bin"), data);
    peer.Adopt(peer.LocalPath("through.bin"));
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin)) << client.ftp.ErrorMessage();
    ASSERT_TRUE(client.ftp.TypeBinaryBlocking());
    TFtpMemoryStream list;
    client.ftp.AttachStream(&list);
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainList)) << client.ftp.ErrorMessage();
    EXPECT_NE(list.DataString().find("through.bin"), std::string::npos);
    TempDir local;
    client.ftp.SetHostFileName("through.bin");
    client.ftp.SetLocalFileName(local / "through.bin");
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainDownload)) << client.ftp.ErrorMessage();
    EXPECT_EQ(ReadFile(local / "through.bin"), data);
    EXPECT_TRUE(client.ftp.QuitBlocking());
    EXPECT_FALSE(client.doneInsideCall);
}

TEST(FtpProxies, FtpProxyLogin)
{
    testsupport::PyFtpdPeer server;
    ASSERT_TRUE(server.Ok()) << server.Error();
    testsupport::FtpProxyPeer proxy(server.Port());
    ASSERT_TRUE(proxy.Ok()) << proxy.Error();
    FtpTestClient client(server.Port(), false);
    client.ftp.SetUserName(server.User());
    client.ftp.SetPassWord(server.Password());
    client.ftp.SetConnectionType(ftpProxy);
    client.ftp.SetProxyServer("127.0.0.1");
    client.ftp.SetProxyPort(std::to_string(proxy.Port()));
    EXPECT_TRUE(client.ftp.PassiveMode());
    ListAndDownload(client, server);
    EXPECT_TRUE(client.Shown("USER " + server.User() + "@127.0.0.1:" + std::to_string(server.Port())));
}

// A proxy whose destination refuses closes without a reply: the login
// ends saying the connection closed, shown on the log page, and never
// quotes the proxy's greeting as the reason.
TEST(FtpProxies, ADestinationThatRefusesIsToldAsTheClose)
{
    const int closed = testsupport::FreeTcpPort();
    testsupport::FtpProxyPeer proxy(closed);
    ASSERT_TRUE(proxy.Ok()) << proxy.Error();
    FtpTestClient client(closed, false);
    client.ftp.SetConnectionType(ftpProxy);
    client.ftp.SetProxyServer("127.0.0.1");
    client.ftp.SetProxyPort(std::to_string(proxy.Port()));
    EXPECT_FALSE(client.Block(&TCustomFtpCli::ChainLogin));
    ASSERT_TRUE(client.WaitDone(1));
    EXPECT_NE(client.done.back().second, 0);
    EXPECT_EQ(client.ftp.ErrorMessage(), "426 Connection closed");
    EXPECT_EQ(client.ftp.ReplyText(), "426 Connection closed");
    EXPECT_TRUE(client.Shown("<ERROR>      426 Connection closed"));
}

struct SocksCase {
    const char* name;
    testsupport::SocksPeer::Kind kind;
    TFtpConnectionType type;
};

class FtpSocks : public ::testing::TestWithParam<SocksCase> {};

// Every data connection goes through the SOCKS server as well: a socket
// forgets its SOCKS settings at each close, and the client sets them again.
TEST_P(FtpSocks, ListingAndDownloadThroughTheSocksServer)
{
    testsupport::PyFtpdPeer server;
    ASSERT_TRUE(server.Ok()) << server.Error();
    testsupport::SocksPeer socks(GetParam().kind);
    ASSERT_TRUE(socks.Error().empty()) << socks.Error();
    FtpTestClient client(server.Port(), false);
    // 4A and 5 hand the name to the SOCKS server to resolve.
    client.ftp.SetHostName("localhost");
    client.ftp.SetUserName(server.User());
    client.ftp.SetPassWord(server.Password());
    client.ftp.SetConnectionType(GetParam().type);
    client.ftp.SetSocksServer("127.0.0.1");
    client.ftp.SetSocksPort(std::to_string(socks.Port()));
    client.ftp.SetSocksUserCode(socks.User());
    client.ftp.SetSocksPassword(socks.Password());
    EXPECT_TRUE(client.ftp.PassiveMode());
    ListAndDownload(client, server);
    // control, listing and download all went through the server
    if (socks.ConnectionsMade() >= 0) {
        EXPECT_EQ(socks.ConnectionsMade(), 3);
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpSocks,
                         ::testing::Values(SocksCase{"dante_socks4", testsupport::SocksPeer::Dante, ftpSocks4},
                                           SocksCase{"dante_socks5", testsupport::SocksPeer::Dante, ftpSocks5},
                                           SocksCase{"microsocks_socks5_password", testsupport::SocksPeer::Microsocks,
                                                     ftpSocks5},
                                           SocksCase{"ssh_socks4a", testsupport::SocksPeer::SshDynamic, ftpSocks4A}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

struct SocksRefusalCase {
    const char* name;
    testsupport::SocksPeer::Kind kind;
};

class FtpSocksRefusal : public ::testing::TestWithParam<SocksRefusalCase> {};

// A SOCKS server that refuses the password: the open fails with the SOCKS
// layer's own text, on the log page and in the failure, not an error number.
TEST_P(FtpSocksRefusal, AWrongPasswordIsToldInTheSocksLayersWords)
{
    testsupport::SocksPeer socks(GetParam().kind);
    ASSERT_TRUE(socks.Error().empty()) << socks.Error();
    FtpTestClient client(testsupport::FreeTcpPort(), false);
    client.ftp.SetHostName("localhost");
    client.ftp.SetConnectionType(ftpSocks5);
    client.ftp.SetSocksServer("127.0.0.1");
    client.ftp.SetSocksPort(std::to_string(socks.Port()));
    client.ftp.SetSocksUserCode(socks.User());
    client.ftp.SetSocksPassword("not-" + socks.Password());
    EXPECT_FALSE(client.Block(&TCustomFtpCli::StartOpen));
    ASSERT_TRUE(client.WaitDone(1));
    EXPECT_EQ(client.done[0].second, socksAuthenticationFailed);
    EXPECT_TRUE(client.Shown("socks authentication failed")) << socks.Log();
    EXPECT_NE(client.ftp.ErrorMessage().find("socks authentication failed (SOCKS error #20015)"), std::string::npos)
        << client.ftp.ErrorMessage();
    EXPECT_EQ(client.ftp.ErrorMessage().find("Not a WinSock error"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpSocksRefusal,
                         ::testing::Values(SocksRefusalCase{"dante_socks5_user", testsupport::SocksPeer::DanteUser},
                                           SocksRefusalCase{"microsocks_socks5", testsupport::SocksPeer::Microsocks}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

// The FTP client component against real servers: pyftpdlib and vsftpd, in
// passive and active mode.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "tests/net/ftp/FtpTestClient.h"
#include "tests/support/FtpServerPeers.h"

using testsupport::FtpServerPeer;
using testsupport::PatternBytes;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

struct Setup {
    const char* server;
    bool passive;
};

std::unique_ptr<FtpServerPeer> StartPeer(const std::string& name)
{
    if (name == "vsftpd") return std::make_unique<testsupport::VsftpdPeer>();
    return std::make_unique<testsupport::PyFtpdPeer>();
}

class FtpServers : public ::testing::TestWithParam<Setup> {
protected:
    void SetUp() override
    {
        peer = StartPeer(GetParam().server);
        ASSERT_TRUE(peer->Ok()) << peer->Error();
        client = std::make_unique<FtpTestClient>(peer->Port(), GetParam().passive);
        client->ftp.SetUserName(peer->User());
        client->ftp.SetPassWord(peer->Password());
        ASSERT_TRUE(client->Block(&TCustomFtpCli::ChainLogin)) << client->ftp.ErrorMessage();
        ASSERT_TRUE(client->ftp.TypeBinaryBlocking());
        base = peer->WritableDir().empty() ? peer->Root() : peer->LocalPath(peer->WritableDir());
        if (!peer->WritableDir().empty()) {
            ftp().SetHostDirName(peer->WritableDir());
            ASSERT_TRUE(client->Block(&TCustomFtpCli::SendCwd));
        }
    }
    TFtpClient& ftp() { return client->ftp; }
    bool Run(TCustomFtpCli::TAction action)
    {
        const bool ok = client->Block(action);
        EXPECT_FALSE(client->doneInsideCall);
        return ok;
    }

    std::unique_ptr<FtpServerPeer> peer;
    std::unique_ptr<FtpTestClient> client;
    std::string base; // local path of the remote working folder
    TempDir local;
};

TEST_P(FtpServers, FoldersNamesAndListings)
{
    ftp().SetHostFileName("made");
    ASSERT_TRUE(Run(&TCustomFtpCli::SendMkd)) << ftp().ErrorMessage();
    EXPECT_TRUE(std::filesystem::is_directory(base + "/made"));
    ftp().SetHostDirName("made");
    ASSERT_TRUE(Run(&TCustomFtpCli::SendCwd));
    ASSERT_TRUE(Run(&TCustomFtpCli::SendPwd));
    EXPECT_NE(ftp().ReplyDirectory().find("made"), std::string::npos) << ftp().ReplyText();
    ASSERT_TRUE(Run(&TCustomFtpCli::SendCdup));
    ASSERT_TRUE(Run(&TCustomFtpCli::SendPwd));
    EXPECT_EQ(ftp().ReplyDirectory().find("made"), std::string::npos);

    WriteFile(base + "/old.txt", "12345");
    peer->Adopt(base + "/old.txt");
    ftp().SetHostFileName("old.txt");
    ftp().SetLocalFileName("new.txt");
    ASSERT_TRUE(Run(&TCustomFtpCli::ChainRename)) << ftp().ErrorMessage();
    EXPECT_EQ(ReadFile(base + "/new.txt"), "12345");
    ftp().SetHostFileName("new.txt");
    ASSERT_TRUE(Run(&TCustomFtpCli::SendSize));
    EXPECT_EQ(ftp().RemoteSize(), 5);

    TFtpMemoryStream list, names;
    ftp().SetHostFileName("");
    ftp().AttachStream(&list);
    ASSERT_TRUE(Run(&TCustomFtpCli::ChainList)) << ftp().ErrorMessage();
    EXPECT_NE(list.DataString().find("new.txt"), std::string::npos);
    EXPECT_NE(list.DataString().find("made"), std::string::npos);
    ftp().AttachStream(&names);
    ASSERT_TRUE(Run(&TCustomFtpCli::ChainNameList));
    EXPECT_NE(names.DataString().find("new.txt"), std::string::npos);
    ftp().AttachStream(nullptr);

    ftp().SetHostFileName("new.txt");
    ASSERT_TRUE(Run(&TCustomFtpCli::SendDele));
    EXPECT_FALSE(std::filesystem::exists(base + "/new.txt"));
    ftp().SetHostFileName("made");
    ASSERT_TRUE(Run(&TCustomFtpCli::SendRmd));
    EXPECT_FALSE(std::filesystem::exists(base + "/made"));
    ftp().SetHostFileName("not-there");
    EXPECT_FALSE(Run(&TCustomFtpCli::SendDele));
    EXPECT_EQ(ftp().ReplyCode(), 550);
}

TEST_P(FtpServers, StoreAndRetrieveAreByteExact)
{
    for (std::int64_t size : {0LL, 1LL, 2047LL, 2048LL, 1048575LL, 1048577LL, 3LL * 1048576 + 17}) {
        SCOPED_TRACE(size);
        const std::string name = "f" + std::to_string(size);
        const std::string data = PatternBytes(size, static_cast<std::uint32_t>(size));
        WriteFile(local / name, data);
        ftp().SetHostFileName(name);
        ftp().SetLocalFileName(local / name);
        ASSERT_TRUE(Run(&TCustomFtpCli::ChainUpload)) << ftp().ErrorMessage();
        EXPECT_EQ(ReadFile(base + "/" + name), data);
        ftp().SetLocalFileName(local / (name + ".back"));
        ASSERT_TRUE(Run(&TCustomFtpCli::ChainDownload)) << ftp().ErrorMessage();
        EXPECT_EQ(ReadFile(local / (name + ".back")), data);
    }
    ASSERT_TRUE(client->WaitDone(client->done.size()));
    for (const auto& d : client->done) EXPECT_EQ(d.second, 0);
}

TEST_P(FtpServers, ResumedDownloadOverALongerFile)
{
    const std::string remote = PatternBytes(100000, 21);
    WriteFile(base + "/r.bin", remote);
    peer->Adopt(base + "/r.bin");
    std::string existing = PatternBytes(150000, 22);
    WriteFile(local / "r.bin", existing);
    ftp().SetHostFileName("r.bin");
    ftp().SetLocalFileName(local / "r.bin");
    ftp().SetResumePosition(40000);
    ASSERT_TRUE(Run(&TCustomFtpCli::ChainResumeDownload)) << ftp().ErrorMessage();
    existing.replace(40000, 60000, remote.substr(40000));
    EXPECT_EQ(ReadFile(local / "r.bin"), existing);
}

TEST_P(FtpServers, ResumePastFourGigabytesInASparseFile)
{
    const std::int64_t size = (std::int64_t{4} << 30) + 123457;
    const std::string tail = PatternBytes(4096, 77);
    const std::string path = base + "/huge.bin";
    ASSERT_EQ(testsupport::RunCommand({"truncate", "-s", std::to_string(size - 4096), path}), 0);
    {
        std::FILE* f = std::fopen(path.c_str(), "ab");
        ASSERT_TRUE(f);
        std::fwrite(tail.data(), 1, tail.size(), f);
        std::fclose(f);
    }
    peer->Adopt(path);
    ftp().SetHostFileName("huge.bin");
    ASSERT_TRUE(Run(&TCustomFtpCli::SendSize));
    EXPECT_EQ(ftp().RemoteSize(), size);
    const std::int64_t from = size - 1000;
    std::int64_t lastCount = 0;
    ftp().OnProgress = [&](TObject*, std::int64_t count, bool&) { lastCount = count; };
    ftp().SetLocalFileName(local / "huge.bin");
    ftp().SetShareMode(ftpShareDenyNone);
    ftp().SetResumePosition(from);
    ASSERT_TRUE(Run(&TCustomFtpCli::ChainResumeDownload)) << ftp().ErrorMessage();
    EXPECT_EQ(lastCount, size);
    EXPECT_EQ(ftp().TransferredBytes(), 1000);
    struct stat st{};
    ASSERT_EQ(::stat((local / "huge.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, size);
    std::FILE* f = std::fopen((local / "huge.bin").c_str(), "rb");
    ASSERT_TRUE(f);
    ASSERT_EQ(fseeko(f, from, SEEK_SET), 0);
    std::string got(1000, '\0');
    EXPECT_EQ(std::fread(got.data(), 1, got.size(), f), 1000u);
    std::fclose(f);
    EXPECT_EQ(got, tail.substr(tail.size() - 1000));
}

TEST_P(FtpServers, SessionChainsRunEveryStep)
{
    WriteFile(base + "/s.bin", "session data");
    peer->Adopt(base + "/s.bin");
    FtpTestClient other(peer->Port(), GetParam().passive);
    other.ftp.SetUserName(peer->User());
    other.ftp.SetPassWord(peer->Password());
    other.ftp.SetHostDirName(peer->WritableDir());
    other.ftp.SetHostFileName("s.bin");
    other.ftp.SetLocalFileName(local / "s.bin");
    ASSERT_TRUE(other.Block(&TCustomFtpCli::ChainDownloadSession)) << other.ftp.ErrorMessage();
    EXPECT_EQ(ReadFile(local / "s.bin"), "session data");
    EXPECT_FALSE(other.ftp.HasSession());
    ASSERT_TRUE(other.WaitDone());
    EXPECT_EQ(other.done[0], std::make_pair(rqDownloadSession, 0));
}

// pyftpdlib refusing an upload past a storage limit drops the data
// connection first and answers afterwards: the answer is the outcome.
TEST(FtpServerRefusal, UploadPastAStorageLimitReportsTheServersReply)
{
    TempDir work;
    std::filesystem::create_directories(work / "root");
    const int port = testsupport::FreeTcpPort();
    testsupport::ChildProcess server({"/usr/bin/python3", FTPCLIENT_INTEROP_DIR "/pyftpd_quota.py", std::to_string(port),
                                      work / "root", "100000", std::to_string(testsupport::FreeTcpPortRange(20))},
                                     work / "server.log");
    ASSERT_TRUE(server.WaitUntilListening(port)) << ReadFile(work / "server.log");
    FtpTestClient client(port);
    client.ftp.SetUserName("tester");
    client.ftp.SetPassWord("secret");
    ASSERT_TRUE(client.Block(&TCustomFtpCli::ChainLogin)) << client.ftp.ErrorMessage();
    WriteFile(work / "big", PatternBytes(8 * 1048576, 21));
    client.ftp.SetLocalFileName(work / "big");
    client.ftp.SetHostFileName("big");
    EXPECT_FALSE(client.Block(&TCustomFtpCli::ChainUpload));
    ASSERT_TRUE(client.WaitDone(2));
    const std::string message = client.ftp.ErrorMessage();
    EXPECT_NE(message.find("transfer aborted"), std::string::npos) << message;
    EXPECT_EQ(client.done[1], std::make_pair(rqStore, std::atoi(message.c_str()))) << message;
    // The session goes on.
    EXPECT_TRUE(client.Block(&TCustomFtpCli::SendPwd)) << client.ftp.ErrorMessage();
}

INSTANTIATE_TEST_SUITE_P(Peers, FtpServers,
                         ::testing::Values(Setup{"pyftpdlib", true}, Setup{"pyftpdlib", false}, Setup{"vsftpd", true},
                                           Setup{"vsftpd", false}),
                         [](const auto& info) {
                             return std::string(info.param.server) + (info.param.passive ? "_passive" : "_active");
                         });

} // namespace

// bench_engine downloading a folder from vsftpd through each real SOCKS
// server, with files the server refuses to open beside good ones.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <iostream>
#include <map>

#include "client/engine/ClientSettings.h"
#include "tests/support/FtpServerPeers.h"
#include "tests/support/SocksPeers.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

struct Case {
    const char* name;
    SocksPeer::Kind kind;
    std::uint8_t type; // the setting: 2 SOCKS4, 3 SOCKS4A, 4 SOCKS5
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class RunThroughSocks : public ::testing::TestWithParam<Case> {};

int CountLines(const std::string& text, const std::string& part)
{
    int n = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (text.substr(at, end - at).find(part) != std::string::npos) ++n;
        at = end + 1;
    }
    return n;
}

} // namespace

// A refusal reaches the run while the data connection's SOCKS negotiation
// may still be running (a server that answers the SOCKS request only once
// it reached the FTP server leaves it running nearly always): each refused
// file fails alone with its 550 after its second try, as on the direct
// route, and the one connection, allowed a single failure of its own, goes
// on to fetch every other file.
TEST_P(RunThroughSocks, ARefusedFileFailsAloneAndTheOthersArriveByteExact)
{
    const Case& c = GetParam();
    VsftpdPeer server;
    ASSERT_TRUE(server.Ok()) << server.Error();
    SocksPeer socks(c.kind);
    ASSERT_TRUE(socks.Error().empty()) << socks.Error();

    // The anonymous session reads only what everyone may read. Each refusal
    // races the data connection's negotiation: several give it its chances.
    // Good and refused files take turns in the queue.
    std::filesystem::create_directories(server.LocalPath("tree"));
    std::map<std::string, std::string> good;
    std::vector<std::string> locked;
    for (int i = 0; i < 12; ++i) {
        const std::string name = std::string(1, static_cast<char>('a' + i)) + (i % 2 ? "-locked.bin" : ".bin");
        const std::string data = PatternBytes(i == 2 ? 300000 : 20000 + i, i);
        WriteFile(server.LocalPath("tree/" + name), data);
        if (i % 2 == 0) {
            good[name] = data;
            continue;
        }
        locked.push_back(name);
        ASSERT_EQ(::chmod(server.LocalPath("tree/" + name).c_str(), 0600), 0);
    }

    TempDir local;
    TClientSettings settings;
    settings.PasvMode = true;
    settings.FtpCliNum = 1;
    settings.ConnectionRetryTimes = 1;
    settings.TransferType = 1;
    settings.SocksSetting = {true, "127.0.0.1", std::to_string(socks.Port()), socks.User(), socks.Password(), c.type};
    ASSERT_TRUE(settings.SaveToFile(local / "setting.ini"));

    std::string out;
    const int status = RunCommand({BENCH_ENGINE, "ftp://localhost:" + std::to_string(server.Port()) + "/tree/",
                                   "--local", local / "down", "--settings", local / "setting.ini", "--log",
                                   local / "run.log"},
                                  &out, std::chrono::minutes(3));
    const std::string log = ReadFile(local / "run.log");
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("6 of 12 items completed"), std::string::npos);
    // Only the refused files stay in the broken list, to be resumed once mended.
    EXPECT_EQ(CountLines(out, "left in the queue:"), 6);
    for (const auto& name : locked) {
        SCOPED_TRACE(name);
        EXPECT_EQ(CountLines(out, "failed: Transfer of /tree/" + name + " failed: 550 Failed to open file."), 1);
        EXPECT_EQ(CountLines(out, "left in the queue: /tree/" + name), 1);
        EXPECT_EQ(CountLines(log, "<COMMAND>    RETR /tree/" + name), 2);
    }
    EXPECT_EQ(log.find("Unable to establish data connection"), std::string::npos);
    for (const auto& [name, data] : good) EXPECT_TRUE(ReadFile(local / ("down/" + name)) == data) << name;
    if (HasFailure()) std::cerr << "bench_engine said:\n" << out << "\nits log:\n" << log;
}

INSTANTIATE_TEST_SUITE_P(Servers, RunThroughSocks,
                         ::testing::Values(Case{"dante_socks4", SocksPeer::Dante, 2},
                                           Case{"dante_socks5", SocksPeer::Dante, 4},
                                           Case{"microsocks_socks5_password", SocksPeer::Microsocks, 4},
                                           Case{"ssh_socks4a", SocksPeer::SshDynamic, 3},
                                           Case{"ssh_socks5", SocksPeer::SshDynamic, 4}),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The engine against peers that fall silent: every request of every slot
// ends after the client's Timeout of silence, the item goes on elsewhere
// (or on a new connection), and a run fails only when no slot can go on.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

#include "tests/client/engine/ScriptedEngineTest.h"
#include "tests/support/FtpServerPeers.h"

using namespace testsupport;
using namespace fakeftp;
using Clock = std::chrono::steady_clock;

namespace {

// A server that answers everything, each file after 20 ms: slow enough that
// every slot logged in for a run gets files to carry.
std::vector<Step> Good(const Files& files)
{
    return {Welcome(), Serve(files, [](Session& s, const std::string& line) {
                if (line.rfind("RETR ", 0) == 0) s.Sleep(20);
                return false;
            })};
}

// Takes the nth command starting with prefix (and only that one).
Intercept Nth(const std::string& prefix, int n, std::function<void(Session&)> then)
{
    auto seen = std::make_shared<int>(0);
    return [=](Session& s, const std::string& line) {
        if (line.rfind(prefix, 0) != 0 || ++*seen != n) return false;
        then(s);
        return true;
    };
}

Intercept Once(const std::string& prefix, std::function<void(Session&)> then) { return Nth(prefix, 1, then); }

class EngineTimeouts : public ScriptedEngineTest {
protected:
    void SetUp() override
    {
        ScriptedEngineTest::SetUp();
        for (int i = 1; i <= 8; ++i) files["/f" + std::to_string(i)] = PatternBytes(5000, i);
    }
    std::vector<TTransferFileInfo> Queue() const { return Downloads(files); }

    Files files;
};

// One silent connection among four costs that slot a time-out, never the
// run. A slot takes an item only once logged in, so one that gets no
// greeting or no answer to USER holds nothing and the run does not wait for
// it; one that falls silent holding an item gives it back at the bytes on
// disk after the time-out, and another slot (or the same one, logged in
// again) carries it on.
TEST_F(EngineTimeouts, OneSilentConnectionOfFourCostsOnlyATimeout)
{
    for (int i = 9; i <= 40; ++i) files["/f" + std::to_string(i)] = PatternBytes(5000, i);
    struct Case {
        const char* name;
        int session;              // the connection (in the order they come) that falls silent
        std::vector<Step> script; // what that connection does
        const char* shown;        // what the log shows; nullptr: the run ends before the time-out
    };
    // What a RETR sends before the connection falls silent.
    auto retrThenSilence = [this](std::size_t upTo, bool closeData) {
        auto taken = std::make_shared<bool>(false);
        return [this, upTo, closeData, taken](Session& s, const std::string& line) {
            if (*taken || line.rfind("RETR ", 0) != 0) return false;
            *taken = true;
            const std::string& content = files.at(line.substr(5));
            s.Reply("150 Opening BINARY mode data connection");
            s.OpenData();
            s.DataSend(content.substr(0, std::min(upTo, content.size())));
            if (closeData) s.CloseData();
            HoldSilently(s);
            return true;
        };
    };
    const std::vector<Case> cases = {
        {"greeting never comes", 2, {HoldSilently}, nullptr},
        {"USER never answered", 2, {Welcome(), Serve(files, Once("USER", HoldSilently))}, nullptr},
        {"data stops mid-file", 2, {Welcome(), Serve(files, retrThenSilence(2500, false))}, "<ERROR>      426 Timeout"},
        {"226 never comes", 2, {Welcome(), Serve(files, retrThenSilence(5000, true))}, "<ERROR>      426 Timeout"},
        {"data stops mid-file on slot 0", 0, {Welcome(), Serve(files, retrThenSilence(2500, false))},
         "0 <ERROR>      426 Timeout"},
        {"a reply that never ends", 2,
         {Welcome(), Serve(files, Once("PASV", [](Session& s) {
              std::string flood;
              for (int i = 0; i < 20000; ++i) flood += "227-and more\r\n";
              s.Send(flood);
              HoldSilently(s);
          }))},
         "<ERROR>      Reply too long"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& [path, content] : files) ::unlink((dir / path.substr(1)).c_str());
        w.log.clear();
        w.completed.clear();
        w.messages.clear();
        w.settings.ConnectionRetryTimes = 2;
        // Long enough that a run which waited for the silent slot shows it.
        w.settings.Timeout = c.shown ? kTimeout : 5;
        std::vector<std::vector<Step>> scripts(12, Good(files));
        scripts[c.session] = c.script;
        FakeFtpServer server(scripts);
        TFtpManager m(w);
        ASSERT_TRUE(Connect(m, server.Port(), 4));
        w.state = 5;
        const auto start = Clock::now();
        EXPECT_TRUE(w.Run([&] { m.StartTransfer(Queue(), 0); }, 15000));
        EXPECT_TRUE(w.lastEnded) << "the run hangs";
        const auto took = Clock::now() - start;
        w.state = 2;
        EXPECT_EQ(w.completed.size(), files.size());
        for (const auto& [path, content] : files) EXPECT_EQ(ReadFile(dir / path.substr(1)), content) << path;
        EXPECT_TRUE(w.messages.empty());
        if (!c.shown) {
            EXPECT_LT(took, std::chrono::seconds(5)) << "the run waited for the silent slot";
            continue;
        }
        EXPECT_LT(took, std::chrono::seconds(kTimeout + 5));
        EXPECT_TRUE(Shown(c.shown));
        const auto commands = server.Commands();
        if (std::string(c.name).find("mid-file") != std::string::npos) {
            EXPECT_NE(std::find(commands.begin(), commands.end(), "REST 2500"), commands.end())
                << "the item goes on at the bytes on disk";
        }
    }
}

// Over one connection, a server that stops answering after the login: the
// slot tries a new connection until it has failed ConnectionRetryTimes
// times, then it is retired and the run fails (never hangs) within
// Timeout x (retries + 1), the item kept in the broken list.
TEST_F(EngineTimeouts, AServerThatNeverAnswersFailsTheRunWithinTheRetries)
{
    for (int retries : {1, 3}) {
        SCOPED_TRACE(retries);
        ::unlink(w.brokenFile.c_str());
        w.log.clear();
        w.messages.clear();
        w.settings.ConnectionRetryTimes = retries;
        std::vector<std::vector<Step>> scripts(6, {HoldSilently});
        // The first PASV lists the login folder.
        scripts[0] = {Welcome(), Serve(files, Nth("PASV", 2, HoldSilently))};
        FakeFtpServer server(scripts);
        TFtpManager m(w);
        ASSERT_TRUE(Connect(m, server.Port(), 1));
        w.state = 5;
        const int failed = w.failed;
        const auto start = Clock::now();
        EXPECT_FALSE(w.Run([&] { m.StartTransfer({Queue()[0]}, 0); }, 15000));
        const auto took = Clock::now() - start;
        ASSERT_TRUE(w.lastEnded) << "the run hangs";
        w.state = 2;
        EXPECT_EQ(w.failed, failed + 1);
        EXPECT_GE(took, std::chrono::milliseconds(900 * kTimeout * retries));
        EXPECT_LT(took, std::chrono::seconds(kTimeout * (retries + 1)));
        EXPECT_EQ(w.messages, std::vector<std::string>{"DOWNLOAD FAILED ! Check status to see more information"});
        EXPECT_EQ(std::count(w.log.begin(), w.log.end(), "0 <ERROR>      426 Timeout"), retries);
        EXPECT_EQ(server.Sessions(), retries) << "one new connection per retry";
        const auto broken = BrokenOnDisk();
        ASSERT_EQ(broken.size(), 1u);
        EXPECT_EQ(broken[0].HostPath, "/f1");
    }
}

// A server that sends every byte of a file but never its final reply: each
// try ends on the time-out with the whole file on disk, which moves the
// restart position no further, so the slot is retired after
// ConnectionRetryTimes tries instead of fetching the file for ever.
TEST_F(EngineTimeouts, AFileWhoseEndIsNeverConfirmedFailsWithinTheRetries)
{
    w.settings.ConnectionRetryTimes = 2;
    const auto allThenSilence = [this](Session& s, const std::string& line) {
        if (line.rfind("RETR ", 0) != 0) return false;
        s.Reply("150 Opening BINARY mode data connection");
        s.OpenData();
        s.DataSend(files.at(line.substr(5)));
        s.CloseData();
        HoldSilently(s);
        return true;
    };
    FakeFtpServer server(std::vector<std::vector<Step>>(8, {Welcome(), Serve(files, allThenSilence)}));
    TFtpManager m(w);
    ASSERT_TRUE(Connect(m, server.Port(), 1));
    w.state = 5;
    EXPECT_FALSE(w.Run([&] { m.StartTransfer({Queue()[0]}, 0); }, 6000));
    ASSERT_TRUE(w.lastEnded) << "the file is fetched again and again";
    EXPECT_EQ(std::count(w.log.begin(), w.log.end(), "0 <ERROR>      426 Timeout"), 2);
    EXPECT_EQ(BrokenOnDisk().size(), 1u);
}

// Browsing on slot 0 times out the same way and ends in OperationFailed.
TEST_F(EngineTimeouts, BrowsingRequestsOnASilentPeerEndFailed)
{
    struct Case {
        const char* name;
        Intercept silence; // after a good login
        std::function<void(TFtpManager&, std::vector<TGetFileInfo>&)> start;
        int state;
    };
    // The folder /sub, entered: CWD and PWD answered, then its LIST silent.
    auto enterSub = [] {
        auto entered = std::make_shared<bool>(false);
        return [entered](Session& s, const std::string& line) {
            if (line.rfind("CWD", 0) == 0) {
                *entered = true;
                s.Reply("250 ok");
            } else if (line.rfind("PWD", 0) == 0 && *entered) {
                s.Reply("257 \"/sub\" is the current directory");
            } else if (line.rfind("LIST", 0) == 0 && *entered) {
                s.Reply("150 Here comes the listing");
                HoldSilently(s);
            } else {
                return false;
            }
            return true;
        };
    };
    const std::vector<Case> cases = {
        {"LIST whose data never comes", enterSub(), [](TFtpManager& m, auto&) { m.ChangeRemoteDir("sub"); }, 3},
        {"refresh never answered", Nth("LIST", 2, HoldSilently),
         [](TFtpManager& m, auto&) { m.RefreshRemoteDir("/"); }, 3},
        {"expansion whose CWD is never answered", Once("CWD", HoldSilently),
         [](TFtpManager& m, auto& found) { m.ExpandRemoteDir("tree", found); }, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        w.log.clear();
        FakeFtpServer server(std::vector<Step>{Welcome(), Serve(files, c.silence)});
        TFtpManager m(w);
        ASSERT_TRUE(Connect(m, server.Port(), 1));
        std::vector<TGetFileInfo> found;
        w.state = c.state;
        const auto start = Clock::now();
        EXPECT_FALSE(w.Run([&] { c.start(m, found); }, 8000));
        EXPECT_TRUE(w.lastEnded) << "the window waits for ever";
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(kTimeout * 1000 + 1500));
        EXPECT_TRUE(Shown("0 <ERROR>      426 Timeout"));
        w.state = 2;
    }

    // A connect whose greeting never comes is tried ConnectionRetryTimes times.
    w.log.clear();
    w.settings.ConnectionRetryTimes = 2;
    FakeFtpServer silent(std::vector<std::vector<Step>>(3, {HoldSilently}));
    TFtpManager m(w);
    const auto start = Clock::now();
    EXPECT_FALSE(Connect(m, silent.Port(), 1));
    EXPECT_TRUE(w.lastEnded);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(kTimeout * 3));
    EXPECT_EQ(std::count(w.log.begin(), w.log.end(), "0 <ERROR>      426 Timeout"), 2);
    EXPECT_EQ(std::count(w.log.begin(), w.log.end(), "0 Retry Connection..."), 1);
}

// vsftpd listens with a backlog of 32: of 128 connections opened at once,
// many get a connection but no greeting for a long time. They cost their own
// slots a time-out at most, and the run ends complete and byte-exact.
TEST(EngineManyConnections, MoreThanTheServersListenBacklogEndByteExact)
{
    const int pasv = FreeTcpPortRange(600);
    VsftpdPeer server("\nmax_clients=300\nmax_per_ip=300\npasv_min_port=" + std::to_string(pasv) +
                      "\npasv_max_port=" + std::to_string(pasv + 599) + "\n");
    ASSERT_TRUE(server.Ok()) << server.Error();
    TempDir dir;
    std::vector<TTransferFileInfo> queue;
    std::vector<std::string> contents;
    const std::string remoteDir = server.Root() + "/pub/many";
    std::filesystem::create_directories(remoteDir);
    server.Adopt(remoteDir);
    for (int i = 0; i < 300; ++i) {
        const std::string name = "f" + std::to_string(i);
        contents.push_back(PatternBytes(16384, i + 3));
        WriteFile(remoteDir + "/" + name, contents.back());
        server.Adopt(remoteDir + "/" + name);
        queue.push_back({true, "/pub/many/" + name, dir / name, 16384, 0, 16384, false});
    }
    HeadlessWindow w;
    w.settings.Timeout = 10;
    TFtpManager m(w);
    m.CreateConnections(128);
    w.state = 1;
    ASSERT_TRUE(w.Run([&] { m.ConnectHost({"127.0.0.1", std::to_string(server.Port()), server.User(), server.Password()}); }));
    w.state = 5;
    EXPECT_TRUE(w.Run([&] { m.StartTransfer(queue, 0); }, 60000));
    ASSERT_TRUE(w.lastEnded) << "the run hangs";
    EXPECT_EQ(w.completed.size(), queue.size());
    for (std::size_t i = 0; i < queue.size(); ++i) EXPECT_TRUE(ReadFile(queue[i].LocalPath) == contents[i]) << i;
}

} // namespace

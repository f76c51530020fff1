// The browser's worker and manager: command sequences against real servers
// and, for replies no real server gives, against the scripted one. These
// tests also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "tests/client/browser/BrowserScripts.h"
#include "tests/client/browser/BrowserTestKit.h"
#include "tests/net/ftp/FakeFtpServer.h"
#include "net/FtpCli.h"
#include "tests/client/browser/BrowserPeers.h"
#include "tests/support/TestSupport.h"

using namespace browser;

using namespace fakeftp;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

TBrHostInfo Site(int port, const std::string& user = "user", const std::string& pass = "pass")
{
    return {"127.0.0.1", std::to_string(port), user, pass};
}

bool Sent(FakeFtpServer& server, const std::string& prefix)
{
    for (const auto& c : server.Commands())
        if (c.rfind(prefix, 0) == 0) return true;
    return false;
}

TEST(BrowserScripted, ConnectListsTheRootOnce)
{
    FakeFtpServer server(ConnectScript({Silent()}));
    BrowserKit kit;
    kit->Connect(Site(server.Port()));
    ASSERT_TRUE(kit.WaitIdle());
    EXPECT_EQ(kit.roots, 1);
    EXPECT_EQ(kit.ShownNames(kit.indexes.at(0)), (std::vector<std::string>{"pub", "a.txt"}));
    EXPECT_EQ(kit->DirBuffer().Get(0)->Path, "/");
    EXPECT_TRUE(BrowserKit::Holds(kit.debug, "created"));
    EXPECT_TRUE(BrowserKit::Holds(kit.debug, "Tag=0:ID="));
    EXPECT_TRUE(BrowserKit::Holds(kit.display, "<COMMAND>    PASS ********"));
    kit.manager.reset();
    EXPECT_TRUE(server.Errors().empty()) << server.Errors()[0];
}

TEST(BrowserScripted, UserAnswered230IsNotSentAgainNorFollowedByPass)
{
    std::vector<Step> s{Welcome(), Answer("USER", "230 come in")};
    for (auto& p : Probe()) s.push_back(p);
    s.push_back(ActiveList(kListing));
    s.push_back(Answer("PWD", "257 \"/\""));
    s.push_back(Silent());
    FakeFtpServer server(s);
    BrowserKit kit;
    kit->Connect(Site(server.Port()));
    ASSERT_TRUE(kit.WaitIdle());
    EXPECT_EQ(kit.roots, 1);
    kit.manager.reset();
    EXPECT_TRUE(server.Errors().empty()) << server.Errors()[0];
    EXPECT_FALSE(Sent(server, "PASS"));
}

TEST(BrowserScripted, RefusedTypeSkipsTheProbeAndDispatchesOnce)
{
    FakeFtpServer server({Welcome(), Login(), Answer("TYPE I", "504 not here"), ActiveList(kListing),
                          Answer("PWD", "257 \"/\""), Silent()});
    BrowserKit kit;
    kit->Connect(Site(server.Port()));
    ASSERT_TRUE(kit.WaitIdle());
    kit.WaitUntil([] { return false; }, 100); // nothing more may come
    EXPECT_EQ(kit.roots, 1);
    EXPECT_EQ(std::count(kit.debug.begin(), kit.debug.end(), "accecped command"), 1);
    kit.manager.reset();
    EXPECT_FALSE(Sent(server, "REST"));
    EXPECT_TRUE(server.Errors().empty()) << server.Errors()[0];
}

TEST(BrowserScripted, RefusedPasswordShowsItsErrorAndNothingElse)
{
    FakeFtpServer server({Welcome(), Answer("USER", "331 password"), Answer("PASS", "530 no"), Silent()});
    BrowserKit kit;
    kit->Connect(Site(server.Port()));
    ASSERT_TRUE(kit.WaitIdle());
    EXPECT_EQ(kit.roots, 0);
    EXPECT_TRUE(BrowserKit::Holds(kit.display, "<ERROR>      Password not correct!(530 no)"));
    EXPECT_EQ(kit->DirBuffer().Count(), 0);
}

TEST(BrowserScripted, FailedFolderOpenCallsNothingAndTheNextOpenWorks)
{
    FakeFtpServer server(ConnectScript({Answer("CWD /gone", "550 no such folder"), Answer("CWD /pub", "250 ok"),
                                        ActiveList("-rw-r--r-- 1 a b 1 Jan 1 2000 in.txt\r\n"),
                                        Answer("PWD", "257 \"/pub\""), Silent()}));
    BrowserKit kit;
    kit->Connect(Site(server.Port()));
    kit->OpenDir("/gone");
    kit->OpenDir("/pub");
    ASSERT_TRUE(kit.WaitIdle());
    EXPECT_EQ(kit.folders, 1);
    EXPECT_EQ(kit->DirBuffer().Count(), 2);
    EXPECT_EQ(kit.ShownNames(kit.indexes.at(0)), std::vector<std::string>{"in.txt"});
    kit.manager.reset();
    EXPECT_TRUE(server.Errors().empty()) << server.Errors()[0];
}

TEST(BrowserScripted, SilenceBeyondTheLimitTimesOutAndSkipsTheRest)
{
    FakeFtpServer server({Welcome(), Login(), [](Session& s) { s.Expect("TYPE I"); }, Silent()});
    BrowserKit kit(300ms);
    const auto start = Clock::now();
    kit->Connect(Site(server.Port()));
    ASSERT_TRUE(kit.WaitIdle(5000));
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_EQ(kit->LastReply(), brTimedOut);
    EXPECT_TRUE(BrowserKit::Holds(kit.debug, ":time out"));
    EXPECT_EQ(kit.roots, 0);
    kit.manager.reset();
    EXPECT_FALSE(Sent(server, "REST"));
}

TEST(BrowserScripted, ListingThatKeepsComingOutlastsTheLimit)
{
    std::string listing;
    for (int i = 0; i < 12; ++i) listing += "-rw-r--r-- 1 a b 1 Jan 1 2000 file" + std::to_string(i) + "\r\n";
    std::vector<Step> s{Welcome(), Login()};
    for (auto& p : Probe()) s.push_back(p);
    s.push_back([listing](Session& s) {
        s.ActiveFromPort(s.Expect("PORT"));
        s.Reply("200 PORT ok");
        s.Expect("LIST");
        s.Reply("150 slowly");
        s.OpenData();
        // 1.2 s in all, never more than 100 ms of silence.
        for (std::size_t at = 0; at < listing.size(); at += listing.size() / 12) {
            s.DataSend(listing.substr(at, listing.size() / 12));
            s.Sleep(100);
        }
        s.CloseData();
        s.Reply("226 done");
    });
    s.push_back(Answer("PWD", "257 \"/\""));
    s.push_back(Silent());
    FakeFtpServer server(s);
    BrowserKit kit(400ms);
    kit->Connect(Site(server.Port()));
    ASSERT_TRUE(kit.WaitIdle());
    EXPECT_EQ(kit.roots, 1);
    EXPECT_EQ(kit.ShownNames(0).size(), 12u);
}

TEST(BrowserScripted, AbortEndsTheWaitAtOnce)
{
    std::vector<Step> s{Welcome(), Login()};
    for (auto& p : Probe()) s.push_back(p);
    s.push_back([](Session& s) {
        s.ActiveFromPort(s.Expect("PORT"));
        s.Reply("200 PORT ok");
        s.Expect("LIST");
        s.Reply("150 never ends");
        s.OpenData();
    });
    s.push_back(Silent());
    FakeFtpServer server(s);
    BrowserKit kit;
    kit->Connect(Site(server.Port()));
    ASSERT_TRUE(kit.WaitDisplay("150 never ends"));
    const auto start = Clock::now();
    kit->Abort();
    ASSERT_TRUE(kit.WaitIdle(5000));
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_EQ(kit->LastReply(), brAborted);
    EXPECT_TRUE(BrowserKit::Holds(kit.debug, ":aborted"));
    EXPECT_EQ(kit.roots, 0);
}

struct MidCommandCase {
    const char* verb; // the command the server never answers
    std::function<void(TFtpManager&)> start;
};

TEST(BrowserScripted, ClosingInTheMiddleOfEachCommandEndsAtOnce)
{
    const MidCommandCase cases[] = {
        {"USER", nullptr},
        {"CWD", [](TFtpManager& m) { m.OpenDir("/pub"); }},
        {"MKD", [](TFtpManager& m) { m.MakeDirs({"/new"}); }},
        {"DELE", [](TFtpManager& m) { m.DeleteItems({{false, "/a.txt"}}); }},
        {"RMD", [](TFtpManager& m) { m.DeleteItems({{true, "/pub"}}); }},
        {"RNFR", [](TFtpManager& m) { m.Rename("/a.txt", "/b.txt"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.verb);
        const std::string verb = c.verb;
        auto hang = [verb](Session& s) {
            s.Expect(verb);
            s.WaitControlClosed(15000);
        };
        std::vector<Step> script = c.start ? ConnectScript({hang}) : std::vector<Step>{Welcome(), hang};
        FakeFtpServer server(script);
        BrowserKit kit; // the full ten seconds: closing must not wait for them
        kit->Connect(Site(server.Port()));
        if (c.start) {
            ASSERT_TRUE(kit.WaitUntil([&] { return kit.roots == 1; }));
            c.start(*kit);
        }
        ASSERT_TRUE(kit.WaitDisplay("<COMMAND>    " + verb));
        const auto start = Clock::now();
        kit.manager.reset();
        EXPECT_LT(Clock::now() - start, 2s);
        EXPECT_TRUE(server.Join(5000));
    }
}

// ---- real servers ------------------------------------------------------------

struct ServerAndVariant {
    const char* server;
    bool browserVariant;
};

class BrowserServers : public ::testing::TestWithParam<ServerAndVariant> {};

TEST_P(BrowserServers, BrowsesMakesRenamesAndDeletes)
{
    auto server = browsertest::StartServer(GetParam().server);
    ASSERT_TRUE(server->error.empty()) << server->error;
    const std::string base = server->root; // local path of the writable folder
    ::mkdir((base + "/sub").c_str(), 0777);
    testsupport::WriteFile(base + "/sub/inner.txt", "inner");
    testsupport::WriteFile(base + "/f.txt", "12345");
    server->Adopt(base + "/sub");
    server->Adopt(base + "/f.txt");

    // The worker runs either variant of the client through the same chains.
    BrowserKit kit(10s, GetParam().browserVariant ? std::function<std::unique_ptr<TFtpClient>()>()
                                                  : [] { return std::make_unique<TFtpClient>(); });
    kit->Connect(Site(server->port, server->user, server->pass));
    ASSERT_TRUE(kit.WaitIdle()) << testing::PrintToString(kit.display);
    ASSERT_EQ(kit.roots, 1) << testing::PrintToString(kit.display);
    const std::string rootPath = kit->DirBuffer().Get(kit.indexes.at(0))->Path;
    auto join = [](std::string a, const std::string& b) { return (a.empty() || a.back() != '/' ? a + "/" : a) + b; };
    const std::string dir = server->writable.empty() ? rootPath : join(rootPath, server->writable);
    if (!server->writable.empty()) {
        const auto names = kit.ShownNames(kit.indexes.at(0));
        EXPECT_NE(std::find(names.begin(), names.end(), server->writable), names.end());
    }

    kit->OpenDir(join(dir, "sub"));
    ASSERT_TRUE(kit.WaitIdle());
    ASSERT_EQ(kit.folders, 1) << testing::PrintToString(kit.display);
    EXPECT_EQ(kit.ShownNames(kit.indexes.at(0)), std::vector<std::string>{"inner.txt"});

    kit->MakeDirs({join(dir, "made")});
    ASSERT_TRUE(kit.WaitIdle());
    EXPECT_EQ(kit.refreshes, 1);
    EXPECT_FALSE(kit.refreshError) << testing::PrintToString(kit.display);
    EXPECT_TRUE(std::filesystem::is_directory(base + "/made"));

    kit->Rename(join(dir, "f.txt"), join(dir, "g.txt"));
    ASSERT_TRUE(kit.WaitIdle());
    EXPECT_FALSE(kit.refreshError) << testing::PrintToString(kit.display);
    EXPECT_EQ(testsupport::ReadFile(base + "/g.txt"), "12345");

    kit->DeleteItems({{false, join(dir, "g.txt")}, {true, join(dir, "made")}});
    ASSERT_TRUE(kit.WaitIdle());
    EXPECT_FALSE(kit.refreshError) << testing::PrintToString(kit.display);
    EXPECT_FALSE(std::filesystem::exists(base + "/g.txt"));
    EXPECT_FALSE(std::filesystem::exists(base + "/made"));

    // Deleting three where the second fails deletes the first only.
    testsupport::WriteFile(base + "/one", "1");
    testsupport::WriteFile(base + "/three", "3");
    server->Adopt(base + "/one");
    server->Adopt(base + "/three");
    kit->DeleteItems({{false, join(dir, "one")}, {false, join(dir, "missing")}, {false, join(dir, "three")}});
    ASSERT_TRUE(kit.WaitIdle());
    EXPECT_EQ(kit.refreshes, 4);
    EXPECT_TRUE(kit.refreshError);
    EXPECT_TRUE(BrowserKit::Holds(kit.display, "<ERROR>      Delete file failed("));
    EXPECT_FALSE(std::filesystem::exists(base + "/one"));
    EXPECT_TRUE(std::filesystem::exists(base + "/three"));
}

TEST(BrowserReconnect, FolderOpenAfterTheConnectionDroppedLogsInAgain)
{
    auto server = browsertest::StartServer("portlorn");
    ASSERT_TRUE(server->error.empty()) << server->error;
    ::mkdir((server->root + "/sub").c_str(), 0755);
    BrowserKit kit;
    kit->Connect(Site(server->port, server->user, server->pass));
    ASSERT_TRUE(kit.WaitIdle());
    ASSERT_EQ(kit.roots, 1);
    const std::string root = kit->DirBuffer().Get(0)->Path;
    ASSERT_TRUE(server->Restart());
    kit->OpenDir(root + "/sub");
    ASSERT_TRUE(kit.WaitIdle());
    EXPECT_EQ(kit.folders, 1) << testing::PrintToString(kit.display);
    EXPECT_EQ(std::count(kit.display.begin(), kit.display.end(), "<COMMAND>    USER user"), 2);
}

INSTANTIATE_TEST_SUITE_P(Peers, BrowserServers,
                         ::testing::Values(ServerAndVariant{"pyftpdlib", true}, ServerAndVariant{"vsftpd", true},
                                           ServerAndVariant{"portlorn", true}, ServerAndVariant{"pyftpdlib", false},
                                           ServerAndVariant{"vsftpd", false}, ServerAndVariant{"portlorn", false}),
                         [](const auto& info) {
                             return std::string(info.param.server) + (info.param.browserVariant ? "_browser" : "_main");
                         });

} // namespace

// What the engine tells of a run or an expansion is what happened: names no
// file or command can carry fail alone and are told, links reach every
// folder once per path, and a proxy the client cannot use is said so.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "client/engine/LocalFiles.h"
#include "tests/client/engine/EngineScripts.h"
#include "tests/client/engine/HeadlessWindow.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;
using namespace fakeftp;

namespace {

bool Logged(const HeadlessWindow& w, const std::string& text)
{
    return std::any_of(w.log.begin(), w.log.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

std::vector<Step> CwdPwd(const std::string& cwd, const std::string& pwd)
{
    return {Answer("CWD " + cwd, "250 ok"), Answer("PWD", "257 \"" + pwd + "\" is current")};
}

Step Sends(const std::string& data, const std::string& path)
{
    return Retr("", [data](Session& s) {
        s.DataSend(data);
        s.CloseData();
        s.Reply("226 Transfer complete");
    }, path);
}

class EngineOutcomes : public ::testing::Test {
protected:
    void SetUp() override { w.brokenFile = dir / "oldquene.ini"; }
    void TearDown() override
    {
        if (HasFailure())
            for (const auto& l : w.log) std::cerr << l << "\n";
    }
    void Connect(TFtpManager& m, FakeFtpServer& server)
    {
        m.CreateConnections(1);
        w.state = 1;
        ASSERT_TRUE(w.Run([&] { m.ConnectHost({"127.0.0.1", std::to_string(server.Port()), "user", "pass"}); }));
        w.state = 2;
    }
    // Expands folder over the scripted session and plays the whole script.
    std::vector<TGetFileInfo> ExpandAll(FakeFtpServer& server, const std::string& folder)
    {
        TFtpManager m(w);
        Connect(m, server);
        std::vector<TGetFileInfo> found;
        w.state = 4;
        EXPECT_TRUE(w.Run([&] { m.ExpandRemoteDir(folder, found); }));
        EXPECT_TRUE(server.Join());
        EXPECT_EQ(server.Errors(), std::vector<std::string>{});
        return found;
    }
    bool RunQueue(TFtpManager& m, std::vector<TTransferFileInfo> q)
    {
        w.state = 5;
        const bool ok = w.Run([&] { m.StartTransfer(std::move(q), 0); }, 30000);
        EXPECT_TRUE(w.lastEnded);
        w.state = 2;
        return ok;
    }
    std::vector<TTransferFileInfo> BrokenOnDisk() const
    {
        std::vector<TOldQuene> lists;
        LoadOldQuenes(w.brokenFile, lists);
        return lists.empty() ? std::vector<TTransferFileInfo>{} : lists.back().Items;
    }
    TTransferFileInfo Down(const std::string& host, const std::string& local) const
    {
        return {true, host, local, 1000, 0, 1000, false};
    }

    TempDir dir;
    HeadlessWindow w;
    const std::string data = PatternBytes(1000, 3);
};

// A local name of 256 bytes: the free space is that of its folder, the item
// fails on its own (no file system takes the name, so it is not kept for a
// broken list) and the next item still comes.
TEST_F(EngineOutcomes, LocalNameTooLongFailsItsItemAlone)
{
    FakeFtpServer server(EngineLogin() + std::vector<Step>{Answer("TYPE I", "200 Type set to I"), Sends(data, "/f"),
                                                           Sends(data, "/g")});
    TFtpManager m(w);
    Connect(m, server);
    const std::string longName = dir / std::string(256, 'n');
    EXPECT_FALSE(RunQueue(m, {Down("/f", longName), Down("/g", dir / "g")})) << "not every item came";
    EXPECT_TRUE(server.Join());
    EXPECT_EQ(server.Errors(), std::vector<std::string>{});
    EXPECT_TRUE(w.questions.empty()) << w.questions.front();
    ASSERT_EQ(w.completed.size(), 1u);
    EXPECT_EQ(ReadFile(dir / "g"), data);
    ASSERT_EQ(m.GetFailedItems().size(), 1u);
    EXPECT_EQ(m.GetFailedItems()[0].Item.LocalPath, longName);
    EXPECT_NE(m.GetFailedItems()[0].Reason.find("File name too long"), std::string::npos) << m.GetFailedItems()[0].Reason;
    EXPECT_TRUE(BrokenOnDisk().empty());
    EXPECT_NE(GetDiskFree(longName), 0) << "the folder's free space";
}

// A listed name holding a 0 byte or an escape sequence: the listing keeps
// its other lines, an expansion leaves the name out and tells it, and an
// item naming it sends nothing for it (a 0 would end the command early and
// fetch another file).
TEST_F(EngineOutcomes, NamesWithControlCharactersAreRefusedAndTold)
{
    const std::string nulLine = std::string("-rw-r--r-- 1 u g 5 Jan 01 00:00 nul") + '\0' + "name\r\n";
    const std::string login = "drwxr-xr-x 1 u g 0 Jan 01 00:00 tree\r\n" + nulLine +
                              "-rw-r--r-- 1 u g 1000 Jan 01 00:00 f\r\n";
    const std::string tree = nulLine + "-rw-r--r-- 1 u g 5 Jan 01 00:00 esc\x1b[31mred\r\n" +
                             "-rw-r--r-- 1 u g 5 Jan 01 00:00 ok\r\n" + "lrwxrwxrwx 1 u g 5 Jan 01 00:00 bad -> x\x1b[2J\r\n";
    FakeFtpServer server(EngineLogin(true, true, login) + CwdPwd("/tree/", "/tree") +
                         std::vector<Step>{PassiveDownload("LIST", tree), Answer("CWD /", "250 back"),
                                           Answer("TYPE I", "200 Type set to I"), Sends(data, "/f")});
    w.settings.IgnoreLinksOnGet = false;
    TFtpManager m(w);
    Connect(m, server);
    const std::string listing = m.GetListingText();
    EXPECT_NE(listing.find(" f\r\n"), std::string::npos) << "the lines after the 0 byte are there";
    EXPECT_EQ(listing.find("nul"), std::string::npos);
    EXPECT_TRUE(Logged(w, "Refused listing line holding a 0 byte"));

    std::vector<TGetFileInfo> found;
    w.state = 4;
    ASSERT_TRUE(w.Run([&] { m.ExpandRemoteDir("tree", found); }));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].FileName, "/tree/ok");
    const auto& refused = m.GetRefusedNames();
    ASSERT_EQ(refused.size(), 3u) << ::testing::PrintToString(refused);
    EXPECT_TRUE(std::any_of(refused.begin(), refused.end(), [](const std::string& r) {
        return r == "/tree/esc\\x1B[31mred";
    })) << ::testing::PrintToString(refused);
    EXPECT_TRUE(std::any_of(refused.begin(), refused.end(), [](const std::string& r) {
        return r.find("nul\\x00name") != std::string::npos;
    }));
    EXPECT_TRUE(Logged(w, "Refused listing name: esc\\x1B[31mred"));
    for (const auto& l : w.log) EXPECT_EQ(l.find('\x1b'), std::string::npos) << "no escape reaches the log";

    // Items naming them, queued as a pane would: only f goes out.
    w.state = 5;
    EXPECT_FALSE(RunQueue(m, {Down(std::string("/nul") + '\0' + "name", dir / "nul"), Down("/esc\x1b[31mred", dir / "esc"),
                              Down("/f", dir / "f")}));
    EXPECT_TRUE(server.Join());
    EXPECT_EQ(server.Errors(), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(dir / "f"), data);
    EXPECT_FALSE(std::filesystem::exists(dir / "nul"));
    EXPECT_EQ(m.GetFailedItems().size(), 2u);
    EXPECT_EQ(w.completed.size(), 1u);
}

// With links shown as folders, "sub -> real" and "real" are two folders of
// the tree: both are fetched. Only a link to a folder it lies in is a loop.
TEST_F(EngineOutcomes, ASecondPathToAFolderIsExpandedALoopIsNot)
{
    const std::string top = "drwxr-xr-x 1 u g 0 Jan 01 00:00 real\r\n"
                            "lrwxrwxrwx 1 u g 4 Jan 01 00:00 sub -> real\r\n"
                            "lrwxrwxrwx 1 u g 1 Jan 01 00:00 loop -> .\r\n";
    FakeFtpServer server(EngineLogin(true, true, "drwxr-xr-x 1 u g 0 Jan 01 00:00 top\r\n") +
                         CwdPwd("/top/", "/top") + std::vector<Step>{PassiveDownload("LIST", top)} +
                         // "loop" was found last and comes first: the folder it lies in
                         CwdPwd("/top/", "/top") +
                         CwdPwd("/top/real/", "/top/real") +
                         std::vector<Step>{PassiveDownload("LIST", "-rw-r--r-- 1 u g 3 Jan 01 00:00 f.txt\r\n")} +
                         CwdPwd("/top/real/", "/top/real") +
                         std::vector<Step>{PassiveDownload("LIST", "-rw-r--r-- 1 u g 3 Jan 01 00:00 f.txt\r\n"),
                                           Answer("CWD /", "250 back")});
    w.settings.IgnoreLinksOnGet = false;
    w.settings.ResolveLinkAsFile = false;
    const std::vector<TGetFileInfo> found = ExpandAll(server, "top");
    std::vector<std::string> names;
    for (const auto& f : found) names.push_back(f.FileName);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"/top/real/f.txt", "/top/sub/f.txt"}));
    EXPECT_TRUE(Logged(w, "Link loop: /top/loop/ is /top/"));
}

// Links that fan out to one folder: it is expanded under a bounded number of
// paths, so a listing cannot multiply the work without end.
TEST_F(EngineOutcomes, AFolderIsExpandedUnderAtMostEightPaths)
{
    std::string top = "drwxr-xr-x 1 u g 0 Jan 01 00:00 real\r\n";
    for (int i = 1; i <= 9; ++i) top += "lrwxrwxrwx 1 u g 4 Jan 01 00:00 l" + std::to_string(i) + " -> real\r\n";
    std::vector<Step> script = EngineLogin(true, true, "drwxr-xr-x 1 u g 0 Jan 01 00:00 top\r\n") +
                               CwdPwd("/top/", "/top") + std::vector<Step>{PassiveDownload("LIST", top)};
    // l9 .. l1, then real: ten paths to one folder, eight listed.
    for (int visit = 0; visit < 10; ++visit) {
        script = script + CwdPwd("/top/real/", "/top/real");
        if (visit < 8) script.push_back(PassiveDownload("LIST", "-rw-r--r-- 1 u g 3 Jan 01 00:00 f\r\n"));
    }
    script.push_back(Answer("CWD /", "250 back"));
    FakeFtpServer server(script);
    w.settings.IgnoreLinksOnGet = false;
    const std::vector<TGetFileInfo> found = ExpandAll(server, "top");
    EXPECT_EQ(found.size(), 8u);
    EXPECT_TRUE(Logged(w, "Already expanded 8 times: /top/real/"));
}

// Proxy types 5, 6 and 7 have no login form in the client and connect
// directly: the log says so, and the user is told once.
TEST_F(EngineOutcomes, ProxyTypesWithoutALoginFormSayTheyConnectDirectly)
{
    for (int type : {5, 6, 7}) {
        SCOPED_TRACE(type);
        w.settings.ProxySetting = {true, "proxy.example", "2121", "pu", "pp", static_cast<std::uint8_t>(type)};
        w.messages.clear();
        w.log.clear();
        TFtpManager m(w);
        for (int round = 0; round < 2; ++round) {
            FakeFtpServer server(EngineLogin());
            if (round == 0) m.CreateConnections(1);
            w.state = 1;
            ASSERT_TRUE(w.Run([&] { m.ConnectHost({"127.0.0.1", std::to_string(server.Port()), "user", "pass"}); }));
            EXPECT_TRUE(server.Join());
        }
        EXPECT_FALSE(Logged(w, "Using Proxy")) << "USER went straight to the server";
        EXPECT_TRUE(Logged(w, "Connecting to 127.0.0.1 directly"));
        ASSERT_EQ(w.messages.size(), 1u) << "told once";
        EXPECT_NE(w.messages[0].find("Proxy type " + std::to_string(type) + " is not supported"), std::string::npos);
    }
}

} // namespace

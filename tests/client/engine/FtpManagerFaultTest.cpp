// The engine against a scripted server: faults no real server produces on
// demand, hostile listings and the order of batch commands.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <filesystem>

#include "client/engine/LocalFiles.h"
#include "tests/client/engine/EngineScripts.h"
#include "tests/client/engine/HeadlessWindow.h"
#include "tests/net/ftp/FakeFtpServer.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;
using namespace fakeftp;

namespace {

// The data connection dropped after 400 bytes, then the rest from there.
std::vector<Step> DroppedAt400ThenResumed(const std::string& data)
{
    return {Retr("", [data](Session& s) {
                s.DataSend(data.substr(0, 400));
                // The bytes are in before the failure is told.
                ::shutdown(s.data, SHUT_WR);
                s.DataReceiveAll();
                s.Reply("426 Connection closed; transfer aborted");
            }),
            Retr("REST 400", [data](Session& s) {
                s.DataSend(data.substr(400));
                s.CloseData();
                s.Reply("226 Transfer complete");
            })};
}

class EngineFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        w.brokenFile = dir / "oldquene.ini";
        w.settings.SplitNum = 0;
        // A slot that lost its session tries a new one, which the scripted
        // server (one session) leaves without a greeting.
        w.settings.Timeout = 2;
    }
    void Connect(TFtpManager& m, FakeFtpServer& server)
    {
        m.CreateConnections(1);
        w.state = 1;
        ASSERT_TRUE(w.Run([&] { m.ConnectHost({"127.0.0.1", std::to_string(server.Port()), "user", "pass"}); }));
        w.state = 2;
    }
    // A download of the remote file f (1000 bytes) into the local file "f".
    TTransferFileInfo Item(std::int64_t begin = 0) const { return {true, "/f", dir / "f", 1000, begin, 1000, false}; }
    // Runs the queue; true when the run completed.
    bool RunQueue(TFtpManager& m, std::vector<TTransferFileInfo> q, int mode = 0)
    {
        w.state = 5;
        const bool ok = w.Run([&] { m.StartTransfer(std::move(q), mode); }, 30000);
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
    void TearDown() override
    {
        if (HasFailure())
            for (const auto& l : w.log) std::cerr << l << "\n";
    }

    TempDir dir;
    HeadlessWindow w;
    const std::string data = PatternBytes(1000, 3);
};

TEST_F(EngineFaults, DataConnectionDroppedMidFileResumesWhereTheBytesLanded)
{
    FakeFtpServer server(EngineLogin() + std::vector<Step>{Answer("TYPE I", "200 Type set to I")} +
                         DroppedAt400ThenResumed(data));
    TFtpManager m(w);
    Connect(m, server);
    EXPECT_TRUE(RunQueue(m, {Item()}));
    EXPECT_TRUE(server.Join());
    EXPECT_EQ(server.Errors(), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(dir / "f"), data);
    ASSERT_EQ(w.completed.size(), 1u);
}

// Each fault ends the run as failed, the item given back at the bytes on
// disk and kept in the broken list on disk, never as complete.
TEST_F(EngineFaults, FaultsEndFailedWithTheItemGivenBack)
{
    struct Case {
        const char* name;
        std::int64_t begin;        // restart position of the item (a resumed broken list)
        std::vector<Step> steps;   // after the login's TYPE I
        std::int64_t expectBegin;  // where the item must resume
    };
    const std::string prefix(500, 'p');
    std::vector<Case> cases;
    cases.push_back({"RETR refused", 0, {Retr("", nullptr)}, 0});
    cases.back().steps = {[](Session& s) {
        s.Expect("PASV");
        s.PassiveReply();
        s.Expect("RETR /f");
        s.Reply("550 No such file");
    }};
    cases.push_back({"REST refused", 500, {[](Session& s) {
                         s.Expect("PASV");
                         s.PassiveReply();
                         s.Expect("REST 500");
                         s.Reply("502 REST not implemented");
                     }},
                     500});
    cases.push_back({"control connection lost", 0, {Retr("", [this](Session& s) {
                         s.DataSend(data.substr(0, 300));
                         s.CloseControl();
                         s.CloseData();
                     })},
                     -1});
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        w.completed.clear();
        ::unlink(w.brokenFile.c_str());
        if (c.begin > 0) WriteFile(dir / "f", data.substr(0, static_cast<std::size_t>(c.begin)));
        else ::unlink((dir / "f").c_str());
        FakeFtpServer server(EngineLogin() + std::vector<Step>{Answer("TYPE I", "200 Type set to I")} + c.steps);
        TFtpManager m(w);
        Connect(m, server);
        EXPECT_FALSE(RunQueue(m, {Item(c.begin)}, c.begin > 0 ? 1 : 0));
        EXPECT_TRUE(w.completed.empty());
        server.Join();
        const auto broken = BrokenOnDisk();
        ASSERT_EQ(broken.size(), 1u) << "the broken list is on disk when the run ends";
        const std::string got = ReadFile(dir / "f");
        const std::int64_t expect = c.expectBegin >= 0 ? c.expectBegin : static_cast<std::int64_t>(got.size());
        EXPECT_EQ(broken[0].BeginPos, expect);
        EXPECT_EQ(got, data.substr(0, got.size())) << "only the file's own bytes, in place";
        EXPECT_LE(static_cast<std::int64_t>(got.size()), expect == 0 ? 0 : expect) << "nothing past the position";
    }
}

TEST_F(EngineFaults, LocalWriteFailureGivesBackTheWrittenPositionAndResumesInANewEngine)
{
    const std::string big = PatternBytes(10000, 9);
    auto item = TTransferFileInfo{true, "/f", dir / "f", 10000, 0, 10000, false};
    {
        FakeFtpServer server(EngineLogin() + std::vector<Step>{
            Answer("TYPE I", "200 Type set to I"),
            Retr("", [&](Session& s) {
                s.DataSend(big);
                s.CloseData();
                s.Reply("226 Transfer complete");
            }),
        });
        TFtpManager m(w);
        Connect(m, server);
        // The file may not grow past 4096 bytes.
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit lim = old;
        lim.rlim_cur = 4096;
        ::setrlimit(RLIMIT_FSIZE, &lim);
        const bool ok = RunQueue(m, {item});
        ::setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_FALSE(ok);
        EXPECT_TRUE(w.completed.empty());
        server.Join();
    }
    auto broken = BrokenOnDisk();
    ASSERT_EQ(broken.size(), 1u);
    EXPECT_EQ(broken[0].BeginPos, 4096) << "the position written, not the one received";
    EXPECT_EQ(ReadFile(dir / "f"), big.substr(0, 4096));

    // A new engine resumes the broken list from disk.
    HeadlessWindow w2;
    FakeFtpServer server(EngineLogin() + std::vector<Step>{
        Answer("TYPE I", "200 Type set to I"),
        Retr("REST 4096", [&](Session& s) {
            s.DataSend(big.substr(4096));
            s.CloseData();
            s.Reply("226 Transfer complete");
        }),
    });
    TFtpManager m2(w2);
    m2.CreateConnections(1);
    w2.state = 1;
    ASSERT_TRUE(w2.Run([&] { m2.ConnectHost({"127.0.0.1", std::to_string(server.Port()), "user", "pass"}); }));
    w2.state = 5;
    EXPECT_TRUE(w2.Run([&] { m2.StartTransfer(broken, 1); }));
    EXPECT_TRUE(server.Join());
    EXPECT_EQ(server.Errors(), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(dir / "f"), big);
}

// The local file is made while the commands go out: one that cannot be made
// fails the item, also when no byte arrives to write.
TEST_F(EngineFaults, DownloadIntoAFileThatCannotBeMadeIsNotComplete)
{
    // A folder where the file should be.
    std::filesystem::create_directories(dir / "taken");
    for (const std::string& remote : {std::string(), data}) {
        SCOPED_TRACE(remote.size());
        w.completed.clear();
        w.log.clear();
        ::unlink(w.brokenFile.c_str());
        const auto size = static_cast<std::int64_t>(remote.size());
        FakeFtpServer server(EngineLogin() + std::vector<Step>{Answer("TYPE I", "200 Type set to I"),
                                                               Retr("", [remote](Session& s) {
                                                                   s.DataSend(remote);
                                                                   s.CloseData();
                                                                   s.Reply("226 Transfer complete");
                                                               })});
        TFtpManager m(w);
        Connect(m, server);
        EXPECT_FALSE(RunQueue(m, {{true, "/f", dir / "taken", size, 0, size, false}}));
        EXPECT_TRUE(w.completed.empty());
        server.Join();
        EXPECT_EQ(BrokenOnDisk().size(), 1u);
        EXPECT_TRUE(std::any_of(w.log.begin(), w.log.end(), [](const std::string& l) {
            return l.find("Cannot open local file") != std::string::npos;
        }));
    }
}

// A file of unknown size (a name typed by hand: FileSize and EndPos 0) has
// no end to check the bytes against: only the server's clean end completes
// it. A cut resumes where the bytes landed; a refusal leaves no empty file.
TEST_F(EngineFaults, UnknownSizeCompletesOnlyOnTheServersCleanEnd)
{
    const TTransferFileInfo unknown{true, "/f", dir / "f", 0, 0, 0, false};
    struct Case {
        const char* name;
        std::vector<Step> steps; // after the login's TYPE I
        bool complete;
    };
    const std::vector<Case> cases = {
        {"clean end", {Retr("", [this](Session& s) {
             s.DataSend(data);
             s.CloseData();
             s.Reply("226 Transfer complete");
         })},
         true},
        {"cut, then resumed", DroppedAt400ThenResumed(data), true},
        {"reset data connection", {Retr("", [this](Session& s) {
             s.DataSend(data.substr(0, 400));
             s.Sleep(200);
             s.AbortData();
             s.Reply("226 Transfer complete");
         })},
         false},
        {"refused", {[](Session& s) {
             s.Expect("PASV");
             s.PassiveReply();
             s.Expect("RETR /f");
             s.Reply("550 No such file");
         }},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w.completed.clear();
        ::unlink(w.brokenFile.c_str());
        ::unlink((dir / "f").c_str());
        FakeFtpServer server(EngineLogin() + std::vector<Step>{Answer("TYPE I", "200 Type set to I")} + c.steps);
        TFtpManager m(w);
        Connect(m, server);
        EXPECT_EQ(RunQueue(m, {unknown}), c.complete);
        server.Join();
        EXPECT_EQ(w.completed.size(), c.complete ? 1u : 0u);
        const bool exists = std::filesystem::exists(dir / "f");
        if (c.complete) {
            EXPECT_EQ(ReadFile(dir / "f"), data);
            EXPECT_EQ(server.Errors(), std::vector<std::string>{});
            continue;
        }
        const auto broken = BrokenOnDisk();
        ASSERT_EQ(broken.size(), 1u);
        EXPECT_EQ(broken[0].EndPos, 0) << "still of unknown size";
        const std::string got = ReadFile(dir / "f");
        EXPECT_EQ(broken[0].BeginPos, static_cast<std::int64_t>(got.size())) << "resumes at the bytes on disk";
        EXPECT_EQ(got, data.substr(0, got.size()));
        if (broken[0].BeginPos == 0) {
            EXPECT_FALSE(exists) << "no empty file is left behind";
        }
    }
}

TEST_F(EngineFaults, HostileListingWritesNothingOutsideTheTarget)
{
    const std::string tree = "-rw-r--r-- 1 u g 5 Jan 01 00:00 ../evil\r\n"
                             "-rw-r--r-- 1 u g 5 Jan 01 00:00 /etc/evil\r\n"
                             "drwxr-xr-x 1 u g 0 Jan 01 00:00 .\r\n"
                             "drwxr-xr-x 1 u g 0 Jan 01 00:00 ..\r\n"
                             "drwxr-xr-x 1 u g 0 Jan 01 00:00 ../../outside\r\n"
                             "-rw-r--r-- 1 u g 5 Jan 01 00:00 ok.txt\r\n"
                             "drwxr-xr-x 1 u g 0 Jan 01 00:00 sub\r\n"
                             "lrwxrwxrwx 1 u g 1 Jan 01 00:00 loop -> .\r\n"
                             "lrwxrwxrwx 1 u g 1 Jan 01 00:00 up -> ..\r\n";
    const std::string root = "drwxr-xr-x 1 u g 0 Jan 01 00:00 tree\r\n"
                             "-rw-r--r-- 1 u g 7 Jan 01 00:00 rootfile\r\n";
    auto cwdPwd = [](const std::string& cwd, const std::string& pwd) {
        return std::vector<Step>{Answer("CWD " + cwd, "250 ok"), Answer("PWD", "257 \"" + pwd + "\" is current")};
    };
    FakeFtpServer server(EngineLogin(true, true, root) + cwdPwd("/tree/", "/tree") +
                         std::vector<Step>{PassiveDownload("LIST", tree)} +
                         // "up" was found last: it is visited first; "/" comes from the cache,
                         // and its "tree" (and the link "loop") lead to a folder already seen
                         cwdPwd("/", "/") +
                         cwdPwd("/tree/", "/tree") + cwdPwd("/tree/", "/tree") +
                         cwdPwd("/tree/sub/", "/tree/sub") + std::vector<Step>{PassiveDownload("LIST", "")} +
                         std::vector<Step>{Answer("CWD /", "250 back")});
    w.settings.IgnoreLinksOnGet = false;
    w.settings.ResolveLinkAsFile = false;
    TFtpManager m(w);
    Connect(m, server);
    std::vector<TGetFileInfo> found;
    w.state = 4;
    ASSERT_TRUE(w.Run([&] { m.ExpandRemoteDir("tree", found); }));
    EXPECT_TRUE(server.Join());
    EXPECT_EQ(server.Errors(), std::vector<std::string>{});
    std::vector<std::string> names;
    for (const auto& f : found) {
        names.push_back(f.FileName);
        const std::string local = ExpandedLocalPath(dir / "target", m.GetRemoteDir(), f.FileName);
        EXPECT_EQ(local.rfind(dir / "target/", 0), 0u) << f.FileName;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"/tree/ok.txt", "/tree/up/rootfile"}));
    EXPECT_EQ(m.GetRemoteDir(), "/");
}

TEST_F(EngineFaults, UploadRefusedAtTheEndIsNotComplete)
{
    WriteFile(dir / "up", data);
    FakeFtpServer server(EngineLogin() + std::vector<Step>{
        Answer("TYPE I", "200 Type set to I"),
        [](Session& s) {
            s.Expect("PASV");
            s.PassiveReply();
            s.Expect("STOR /up");
            s.Reply("150 Ok to send data");
            s.OpenData();
            s.DataReceiveAll();
            s.Reply("552 Quota exceeded");
        },
    });
    TFtpManager m(w);
    Connect(m, server);
    EXPECT_FALSE(RunQueue(m, {{false, "/up", dir / "up", 1000, 0, 1000, false}}));
    EXPECT_TRUE(w.completed.empty());
    EXPECT_EQ(server.Received(), data);
    EXPECT_EQ(BrokenOnDisk().size(), 1u);
}

// A folder that cannot be entered is left out and named with the refusal;
// the expansion goes on and ends with the files beside it.
TEST_F(EngineFaults, ExpansionLeavesARefusedFolderOutAndNamesIt)
{
    FakeFtpServer server(EngineLogin(true, true, "drwxr-xr-x 1 u g 0 Jan 01 00:00 tree\r\n") + std::vector<Step>{
        Answer("CWD /tree/", "250 ok"), Answer("PWD", "257 \"/tree\""),
        PassiveDownload("LIST", "drwxr-xr-x 1 u g 0 Jan 01 00:00 locked\r\n-rw-r--r-- 1 u g 3 Jan 01 00:00 a\r\n"),
        Answer("CWD /tree/locked/", "550 Permission denied"),
        Answer("CWD /", "250 back"),
    });
    TFtpManager m(w);
    Connect(m, server);
    std::vector<TGetFileInfo> found;
    w.state = 4;
    EXPECT_TRUE(w.Run([&] { m.ExpandRemoteDir("tree", found); }));
    EXPECT_TRUE(server.Join());
    EXPECT_EQ(server.Errors(), std::vector<std::string>{});
    ASSERT_EQ(m.GetUnlistedDirs().size(), 1u);
    EXPECT_EQ(m.GetUnlistedDirs()[0].Item.HostPath, "/tree/locked/");
    EXPECT_EQ(m.GetUnlistedDirs()[0].Reason, "Not listed: /tree/locked/: 550 Permission denied");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].FileName, "/tree/a");
}

TEST(EngineLogin, RetriesARefusingHostThenFails)
{
    HeadlessWindow w;
    w.settings.ConnectionRetryTimes = 3;
    TFtpManager m(w);
    m.CreateConnections(1);
    const int port = FreeTcpPort(); // nothing listens there
    EXPECT_FALSE(w.Run([&] { m.ConnectHost({"127.0.0.1", std::to_string(port), "u", "p"}); }));
    auto count = [&](const std::string& text) {
        return std::count_if(w.log.begin(), w.log.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
    };
    EXPECT_EQ(count("Server Connection Failed."), 3);
    EXPECT_EQ(count("Retry Connection..."), 2);
    EXPECT_EQ(w.failed, 1);
}

TEST(EngineWithoutSession, FolderChangeAndRefreshEndFailed)
{
    HeadlessWindow w;
    TFtpManager m(w);
    m.CreateConnections(2);
    EXPECT_FALSE(w.Run([&] { m.ChangeRemoteDir("pub"); }));
    EXPECT_FALSE(w.Run([&] { m.RefreshRemoteDir("/pub/"); }));
    EXPECT_EQ(w.failed, 2);
}

TEST(ExpandedLocalPath, RefusesEveryPathThatLeavesTheTarget)
{
    const struct {
        const char* remote;
        const char* local;
    } cases[] = {
        {"/pub/a/b.txt", "/t/a/b.txt"}, {"/pub/../x", ""}, {"/pub/a/../../x", ""}, {"/pub//x", ""},
        {"/pub/./x", ""},               {"/other/x", ""},  {"/pub/", ""},            {"/pub/a\\..\\x", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ExpandedLocalPath("/t", "/pub/", c.remote), c.local) << c.remote;
    EXPECT_EQ(NormalizeRemotePath("/a/b/../c/./d/"), "/a/c/d");
    EXPECT_EQ(NormalizeRemotePath("/../.."), "/");
}

TEST_F(EngineFaults, BatchesSendOneCommandAtATimeAndStopAtTheFirstRefusal)
{
    FakeFtpServer server(EngineLogin(false, false) + std::vector<Step>{
        Answer("RNFR a", "350 ready"), Answer("RNTO a2", "250 renamed"),
        Answer("RNFR b", "350 ready"), Answer("RNTO b2", "250 renamed"),
        Answer("RNFR c", "550 no such file"),
        Answer("NOOP", "200 ok"), // nothing of the refused batch came before it
        Answer("RMD d", "250 removed"), Answer("DELE e", "250 deleted"),
        Answer("SITE CHMOD 755 x", "200 ok"), Answer("SITE CHMOD 755 y", "450 busy"),
        Answer("NOOP", "200 ok"),
        Answer("MKD new", "257 \"/new\" made"),
    });
    TFtpManager m(w);
    Connect(m, server);
    EXPECT_FALSE(m.GetRestSupported()) << "REST 100 was refused";
    w.state = 13;
    EXPECT_TRUE(w.Run([&] { m.RenameRemoteFiles({{"a", "a2"}, {"b", "b2"}}); }));
    EXPECT_FALSE(w.Run([&] { m.RenameRemoteFiles({{"c", "c2"}, {"d", "d2"}}); }));
    EXPECT_TRUE(m.SendRawCommand("NOOP"));
    w.state = 11;
    EXPECT_TRUE(w.Run([&] { m.DeleteRemoteFiles({{"d", true}, {"e", false}}); }));
    w.state = 12;
    EXPECT_FALSE(w.Run([&] { m.ChmodRemoteFiles({"x", "y", "z"}, "755"); })) << "450 is no success";
    EXPECT_TRUE(m.SendRawCommand("NOOP"));
    w.state = 8;
    EXPECT_TRUE(w.Run([&] { m.MakeRemoteDirs({"new/"}); }));
    EXPECT_TRUE(w.Run([&] { m.MakeRemoteDirs({}); }));
    EXPECT_TRUE(server.Join());
    EXPECT_EQ(server.Errors(), std::vector<std::string>{});
}

} // namespace

// An item given back before its own transfer began (here while its TYPE is
// unanswered) keeps its own restart position, not the bytes the slot's
// previous file reached: a broken list must not resume it past bytes that
// were never written.
TEST_F(EngineFaults, AnItemGivenBackBeforeItsTransferKeepsItsOwnPosition)
{
    w.settings.TransferType = 2;
    w.settings.TextExtList = {"txt"};
    const std::string text(1000, 't');
    FakeFtpServer server(EngineLogin() + std::vector<Step>{Retr("",
                                                                [text](Session& s) {
                                                                    s.DataSend(text);
                                                                    s.CloseData();
                                                                    s.Reply("226 Transfer complete");
                                                                },
                                                                "/a.txt"),
                                                           [](Session& s) {
                                                               s.Expect("TYPE I");
                                                               HoldSilently(s);
                                                           }});
    TFtpManager m(w);
    Connect(m, server);
    w.state = 5;
    const int d = w.done, f = w.failed;
    m.StartTransfer({{true, "/a.txt", dir / "a.txt", 1000, 0, 1000, false}, {true, "/f", dir / "f", 5000, 0, 5000, false}},
                    0);
    auto& loop = os::MessageLoop::ForThisThread();
    loop.WaitUntil([&] { return w.completed.size() == 1 || w.done + w.failed > d + f; }, 20000);
    ASSERT_EQ(w.completed.size(), 1u);
    m.AbortOperation();
    loop.WaitUntil([&] { return w.done + w.failed > d + f; }, 20000);
    const auto broken = BrokenOnDisk();
    ASSERT_EQ(broken.size(), 1u);
    EXPECT_EQ(broken[0].HostPath, "/f");
    EXPECT_EQ(broken[0].BeginPos, 0);
}

// The engine against real servers on loopback: login, browsing, expansion
// and transfer runs, byte-exact.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "client/engine/LocalFiles.h"
#include "tests/client/engine/EngineServers.h"
#include "tests/client/engine/HeadlessWindow.h"
#include "tests/support/SocksPeers.h"

using namespace testsupport;

namespace {

int CountSent(const HeadlessWindow& w, const std::string& command)
{
    return static_cast<int>(std::count_if(w.log.begin(), w.log.end(), [&](const std::string& l) {
        return l.find("<COMMAND>    " + command) != std::string::npos;
    }));
}

void MakeDirs(const EngineServer& s, const std::string& local)
{
    std::filesystem::create_directories(local);
    for (std::filesystem::path p = local; p.string().size() > s.root.size(); p = p.parent_path()) s.Adopt(p.string());
}

void Put(const EngineServer& s, const std::string& rel, const std::string& data)
{
    const std::string local = s.Local(rel);
    MakeDirs(s, std::filesystem::path(local).parent_path().string());
    WriteFile(local, data);
    s.Adopt(local);
}

class EngineOnServer : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override
    {
        server = StartEngineServer(GetParam());
        ASSERT_TRUE(server->error.empty()) << server->error;
        local = std::make_unique<TempDir>();
    }
    void TearDown() override
    {
        if (HasFailure()) {
            const std::string log = server->Log();
            std::cerr << "server log:\n" << log.substr(log.size() > 20000 ? log.size() - 20000 : 0) << "\nengine log:\n";
            // Slot 0's lines, then the last of all.
            for (const auto& l : w.log)
                if (l.rfind("0 ", 0) == 0 && l.find(" !") == std::string::npos) std::cerr << l << "\n";
            std::cerr << "...\n";
            for (std::size_t i = w.log.size() > 300 ? w.log.size() - 300 : 0; i < w.log.size(); ++i)
                std::cerr << w.log[i] << "\n";
        }
    }
    // A fresh engine with n connections, logged in.
    std::unique_ptr<TFtpManager> Connect(int n)
    {
        auto m = std::make_unique<TFtpManager>(w);
        m->CreateConnections(n);
        w.state = 1;
        EXPECT_TRUE(w.Run([&] { m->ConnectHost(server->Host()); })) << "login failed";
        w.state = 2;
        return m;
    }
    bool ChangeDir(TFtpManager& m, const std::string& path)
    {
        w.state = 3;
        const bool ok = w.Run([&] { m.ChangeRemoteDir(path); });
        w.state = 2;
        return ok;
    }
    bool Transfer(TFtpManager& m, std::vector<TTransferFileInfo> queue, int mode = 0)
    {
        w.state = 5;
        const bool ok = w.Run([&] { m.StartTransfer(std::move(queue), mode); }, 300000);
        EXPECT_TRUE(w.lastEnded) << "the run never ended";
        w.state = 2;
        return ok;
    }
    // Download items for every file below the remote folder rel, into dest.
    std::vector<TTransferFileInfo> Expand(TFtpManager& m, const std::string& rel, const std::string& dest)
    {
        std::vector<TGetFileInfo> found;
        w.state = 4;
        EXPECT_TRUE(w.Run([&] { m.ExpandRemoteDir(rel, found); }));
        w.state = 2;
        std::vector<TTransferFileInfo> q;
        for (const auto& f : found) {
            const std::string lp = ExpandedLocalPath(dest, m.GetRemoteDir(), f.FileName);
            EXPECT_FALSE(lp.empty()) << f.FileName;
            q.push_back({true, f.FileName, lp, f.FileSize, 0, f.FileSize, false});
        }
        return q;
    }

    HeadlessWindow w;
    std::unique_ptr<EngineServer> server;
    std::unique_ptr<TempDir> local;
};

TEST_P(EngineOnServer, LoginProbesAndBrowsesThroughTheCache)
{
    Put(*server, "sub/inner.txt", "x");
    auto m = Connect(1);
    EXPECT_TRUE(m->GetRestSupported());
    // The restart marker of the probe is cleared before anything is stored.
    EXPECT_EQ(CountSent(w, "REST 100"), 1);
    EXPECT_EQ(CountSent(w, "REST 0"), 1);
    if (server->name == "vsftpd") {
        EXPECT_EQ(CountSent(w, "PASS"), 0) << "PASS after 230";
    }
    ASSERT_TRUE(ChangeDir(*m, server->dir));
    EXPECT_EQ(m->GetRemoteDir(), server->dir);
    EXPECT_NE(m->GetListingText().find("sub"), std::string::npos) << m->GetListingText();

    // relative, then absolute back, then the same folder again from the cache
    ASSERT_TRUE(ChangeDir(*m, "sub"));
    EXPECT_EQ(m->GetRemoteDir(), server->dir + "sub/");
    EXPECT_NE(m->GetListingText().find("inner.txt"), std::string::npos);
    const int lists = CountSent(w, "LIST");
    ASSERT_TRUE(ChangeDir(*m, server->dir));
    ASSERT_TRUE(ChangeDir(*m, "sub"));
    EXPECT_EQ(CountSent(w, "LIST"), lists) << "a cached folder was listed again";

    // a refresh lists again and sees the change
    Put(*server, "sub/new.txt", "y");
    w.state = 7;
    ASSERT_TRUE(w.Run([&] { m->RefreshRemoteDir(server->dir + "sub/"); }));
    EXPECT_EQ(CountSent(w, "LIST"), lists + 1);
    EXPECT_NE(m->GetListingText().find("new.txt"), std::string::npos);

    // a failed change keeps the old folder
    EXPECT_FALSE(ChangeDir(*m, "missing"));
    EXPECT_EQ(m->GetRemoteDir(), server->dir + "sub/");
}

TEST_P(EngineOnServer, ExpansionVisitsTheLastFolderFirstAndReturnsTheServer)
{
    Put(*server, "tree/a/one", "1");
    Put(*server, "tree/b/c/two", "22");
    Put(*server, "tree/top", "333");
    auto m = Connect(1);
    ASSERT_TRUE(ChangeDir(*m, server->dir));
    std::vector<TGetFileInfo> found;
    w.state = 4;
    ASSERT_TRUE(w.Run([&] { m->ExpandRemoteDir("tree", found); }));
    std::vector<std::string> names;
    std::map<std::string, std::int64_t> sizes;
    for (const auto& f : found) {
        names.push_back(f.FileName);
        sizes[f.FileName] = f.FileSize;
    }
    const std::string t = server->dir + "tree/";
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(sizes[t + "top"], 3);
    EXPECT_EQ(sizes[t + "b/c/two"], 2);
    auto pos = [&](const std::string& n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
    EXPECT_LT(pos(t + "b/c/two"), pos(t + "a/one")) << "b was found last, so it comes first";
    EXPECT_EQ(m->GetRemoteDir(), server->dir);
    // The server is back in the shown folder: a refresh lists it, not tree/a.
    w.state = 7;
    ASSERT_TRUE(w.Run([&] { m->RefreshRemoteDir(server->dir); }));
    EXPECT_NE(m->GetListingText().find("tree"), std::string::npos) << m->GetListingText();
}

struct RunCase {
    int connections;
    int split; // SplitNum; 0 leaves large files whole (threshold above them)
};

TEST_P(EngineOnServer, RunsOverOneFourAndSixteenConnectionsAreByteExact)
{
    // 200 small files in two folders, and two large files
    std::map<std::string, std::string> files;
    for (int i = 0; i < 200; ++i)
        files["small/" + std::string(i % 2 ? "odd/" : "even/") + "f" + std::to_string(i)] =
            PatternBytes(1000 + i * 37, i + 1);
    files["large/big1"] = PatternBytes(6 * 1024 * 1024 + 3, 900);
    files["large/big2"] = PatternBytes(3 * 1024 * 1024 + 1, 901);
    for (const auto& [rel, data] : files) Put(*server, "src/" + rel, data);

    for (const RunCase rc : {RunCase{1, 0}, RunCase{4, 0}, RunCase{4, 3}, RunCase{16, 0}}) {
        SCOPED_TRACE("connections " + std::to_string(rc.connections) + " split " + std::to_string(rc.split));
        w.settings.SplitNum = rc.split;
        w.settings.EnableSplitDownload = true;
        auto m = Connect(rc.connections);
        m->SetSplitFileSize(rc.split ? 1000000 : (1LL << 40));
        ASSERT_TRUE(ChangeDir(*m, server->dir));
        const std::string dest = local->path() + "/down" + std::to_string(rc.connections) + "_" + std::to_string(rc.split);
        auto q = Expand(*m, "src", dest);
        ASSERT_EQ(q.size(), files.size());
        w.completed.clear();
        ASSERT_TRUE(Transfer(*m, q));
        std::size_t parts = w.completed.size();
        if (rc.split) {
            EXPECT_EQ(parts, files.size() + 2 * 2) << "each large file in three parts";
        }
        for (const auto& [rel, data] : files) ASSERT_TRUE(HasBytes(dest + "/src/" + rel, data));

        // and back up, into a folder that partly exists already
        const std::string up = "up" + std::to_string(rc.connections) + "_" + std::to_string(rc.split);
        w.state = 6; // preparing an upload, as the window does
        ASSERT_TRUE(w.Run([&] { m->MakeRemoteDirs({up + "/", up + "/small", up + "/small/odd", up + "/small/even", up + "/large"}); }));
        ASSERT_TRUE(w.Run([&] { m->MakeRemoteDirs({up, up + "/small"}); })) << "existing folders count as made";
        std::vector<TTransferFileInfo> uq;
        for (const auto& [rel, data] : files) {
            const auto n = static_cast<std::int64_t>(data.size());
            uq.push_back({false, server->dir + up + "/" + rel, dest + "/src/" + rel, n, 0, n, false});
        }
        ASSERT_TRUE(Transfer(*m, uq));
        for (const auto& [rel, data] : files) ASSERT_TRUE(HasBytes(server->Local(up + "/" + rel), data)) << rel;
    }
}

TEST_P(EngineOnServer, PoolShrinksAndGrowsDuringARun)
{
    const std::string big = PatternBytes(24 * 1024 * 1024 + 5, 77);
    Put(*server, "grow/big", big);
    for (int i = 0; i < 40; ++i) Put(*server, "grow/s" + std::to_string(i), PatternBytes(20000 + i, 100 + i));
    w.settings.SplitNum = 6;
    auto m = Connect(4);
    m->SetSplitFileSize(1000000);
    ASSERT_TRUE(ChangeDir(*m, server->dir));
    auto q = Expand(*m, "grow", local->path() + "/g");
    w.state = 5;
    const int d = w.done, f = w.failed;
    auto& loop = os::MessageLoop::ForThisThread();
    auto ended = [&] { return w.done + w.failed > d + f; };
    bool moved = false;
    w.onProgress = [&] { moved = true; };
    m->StartTransfer(q, 0);
    // Shrink at the first bytes, grow at the next: both while parts run.
    loop.WaitUntil([&] { return ended() || moved; }, 60000);
    ASSERT_FALSE(ended());
    m->SetConnectionCount(2);
    EXPECT_EQ(m->ClientCount(), 2);
    moved = false;
    w.onProgress = [&] { moved = true; };
    loop.WaitUntil([&] { return ended() || moved; }, 60000);
    ASSERT_FALSE(ended());
    m->SetConnectionCount(5);
    loop.WaitUntil(ended, 120000);
    w.state = 2;
    ASSERT_EQ(w.done, d + 1) << "the run did not complete";
    EXPECT_TRUE(HasBytes(local->path() + "/g/grow/big", big));
    for (int i = 0; i < 40; ++i)
        EXPECT_TRUE(HasBytes(local->path() + "/g/grow/s" + std::to_string(i), PatternBytes(20000 + i, 100 + i)));
}

TEST_P(EngineOnServer, UserAbortGivesItemsBackAndTheBrokenListResumesByteExact)
{
    const std::string big = PatternBytes(64 * 1024 * 1024, 5);
    Put(*server, "ab/big", big);
    w.settings.SplitNum = 4;
    w.brokenFile = local->path() + "/oldquene.ini";
    auto m = Connect(4);
    m->SetSplitFileSize(1000000);
    ASSERT_TRUE(ChangeDir(*m, server->dir));
    auto q = Expand(*m, "ab", local->path() + "/a");
    w.state = 5;
    auto& loop = os::MessageLoop::ForThisThread();
    const int d = w.done, f = w.failed;
    bool moved = false;
    w.onProgress = [&] { moved = true; };
    m->StartTransfer(q, 0);
    // Somewhere in the middle: the parts have started, none may be complete.
    loop.WaitUntil([&] { return w.done + w.failed > d + f || moved; }, 60000);
    if (w.done + w.failed == d + f) {
        m->AbortOperation();
        loop.WaitUntil([&] { return w.done + w.failed > d + f; }, 30000);
        EXPECT_EQ(w.failed, f + 1);
        EXPECT_TRUE(m->GetUserAborted());
        std::vector<TOldQuene> lists;
        LoadOldQuenes(w.brokenFile, lists);
        ASSERT_EQ(lists.size(), 1u) << "the broken list is on disk at once";
        EXPECT_EQ(lists[0].Items.size() + w.completed.size(), 4u);
        // A new engine resumes the list.
        w.state = 2;
        HeadlessWindow w2;
        w2.settings = w.settings;
        TFtpManager m2(w2);
        m2.CreateConnections(3);
        w2.state = 1;
        ASSERT_TRUE(w2.Run([&] { m2.ConnectHost(lists[0].Host); }));
        w2.state = 5;
        const bool resumed = w2.Run([&] { m2.StartTransfer(lists[0].Items, 1); }, 120000);
        if (!resumed)
            for (const auto& l : w2.log) std::cerr << l << "\n";
        ASSERT_TRUE(resumed);
        EXPECT_EQ(CountSent(w2, "REST") - 2, static_cast<int>(lists[0].Items.size()) -
                      static_cast<int>(std::count_if(lists[0].Items.begin(), lists[0].Items.end(),
                                                     [](const TTransferFileInfo& i) { return i.BeginPos == 0; })));
    } else {
        ADD_FAILURE() << "the run ended before the abort, " << (w.failed > f ? "failed" : "complete");
    }
    EXPECT_TRUE(HasBytes(local->path() + "/a/ab/big", big));
}

// What is on the local disk changes only once a run starts, and then a file
// that is not resumed is replaced whole: no old tail behind the new bytes.
TEST(EngineLocalFiles, ReplacedWholeAndOnlyAfterTheQuestions)
{
    auto server = StartEngineServer("pyftpdlib");
    ASSERT_TRUE(server->error.empty()) << server->error;
    WriteFile(server->Local("two"), "ab");
    WriteFile(server->Local("whole"), "new");
    TempDir local;
    const std::string old(100, 'o');
    WriteFile(local / "two", old);
    WriteFile(local / "whole", old);

    HeadlessWindow w;
    w.settings.SplitNum = 3;
    w.settings.ConfirmFlags.Overwrite = true;
    TFtpManager m(w);
    m.CreateConnections(3);
    m.SetSplitFileSize(0);
    w.state = 1;
    ASSERT_TRUE(w.Run([&] { m.ConnectHost(server->Host()); }));
    auto item = [&](const std::string& name, std::int64_t size) {
        return TTransferFileInfo{true, server->dir + name, local / name, size, 0, size, false};
    };

    // The dialog's close box skips: nothing is asked further, nothing changes.
    w.fileExists = [](const std::string&) { return -1; };
    w.state = 5;
    EXPECT_TRUE(w.Run([&] { m.StartTransfer({item("two", 2), item("whole", 3)}, 0); }));
    EXPECT_EQ(w.questions.size(), 2u);
    EXPECT_EQ(ReadFile(local / "two"), old);

    // A split file skipped while another file goes on stays as it was.
    w.fileExists = [](const std::string& text) { return text.find("/two") != std::string::npos ? 2 : 0; };
    EXPECT_TRUE(w.Run([&] { m.StartTransfer({item("two", 2), item("whole", 3)}, 0); }));
    EXPECT_EQ(ReadFile(local / "two"), old);
    EXPECT_EQ(ReadFile(local / "whole"), "new");
    WriteFile(local / "whole", old);
    w.completed.clear();

    // Overwrite, then No to the free-space question: the run does not start,
    // the file is still there and the item is kept, as after an abort.
    w.fileExists = [](const std::string&) { return 1; };
    auto huge = item("whole", 1LL << 60);
    EXPECT_FALSE(w.Run([&] { m.StartTransfer({huge}, 0); }));
    EXPECT_TRUE(m.GetUserAborted());
    m.ClearUserAborted();
    ASSERT_FALSE(w.broken.empty());
    for (const auto& b : w.broken) EXPECT_EQ(b.LocalPath, huge.LocalPath);
    EXPECT_NE(w.questions.back().find("Disk free space not enough"), std::string::npos);
    EXPECT_EQ(ReadFile(local / "whole"), old);
    EXPECT_TRUE(w.completed.empty());

    // Overwrite all: a 2-byte file split by 3 comes in 2 parts, never an
    // empty one, the 3-byte file in 3; both files lose their old tails.
    EXPECT_TRUE(w.Run([&] { m.StartTransfer({item("two", 2), item("whole", 3)}, 0); }));
    EXPECT_EQ(w.runItems.size(), 5u);
    EXPECT_EQ(ReadFile(local / "two"), "ab");
    EXPECT_EQ(ReadFile(local / "whole"), "new");

    // An edit download (state 9) asks nothing, and its parts stop at their
    // ends as in a run.
    const std::string edit = PatternBytes(3 * 1024 * 1024, 8);
    WriteFile(server->Local("edit"), edit);
    WriteFile(local / "edit", old);
    const std::size_t asked = w.questions.size();
    m.SetSplitFileSize(1000000);
    w.log.clear();
    w.state = 9;
    EXPECT_TRUE(w.Run([&] { m.StartTransfer({item("edit", static_cast<std::int64_t>(edit.size()))}, 0); }));
    EXPECT_EQ(w.questions.size(), asked);
    EXPECT_EQ(std::count_if(w.log.begin(), w.log.end(),
                            [](const std::string& l) { return l.find("Abort requested") != std::string::npos; }),
              2);
    EXPECT_TRUE(HasBytes(local / "edit", edit));
}

// Parts of a 13 GiB sparse file: every boundary lies past 4 GiB. The split
// is taken from the run's items; then the tail of each part (as a broken
// list holds it) is fetched, and the REST positions and the bytes around
// each boundary are checked.
TEST(EngineLargeFile, SplitPartsPastFourGiB)
{
    auto server = StartEngineServer("vsftpd");
    ASSERT_TRUE(server->error.empty()) << server->error;
    const std::int64_t size = 13LL * 1024 * 1024 * 1024 + 12345;
    const std::int64_t v = size / 3;
    const std::int64_t tail = 65536;
    const std::string remote = server->Local("huge");
    const int fd = ::open(remote.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    // Distinct bytes around each boundary and at the end; holes elsewhere.
    for (std::int64_t b : {v, 2 * v, size}) {
        const std::int64_t from = b - tail - 4096;
        const std::string bytes = PatternBytes(std::min<std::int64_t>(tail + 8192, size - from), static_cast<std::uint32_t>(b));
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), from), static_cast<ssize_t>(bytes.size()));
    }
    ::close(fd);
    server->Adopt(remote);

    TempDir local;
    HeadlessWindow w;
    w.settings.SplitNum = 3;
    TFtpManager m(w);
    m.CreateConnections(3);
    w.state = 1;
    ASSERT_TRUE(w.Run([&] { m.ConnectHost(server->Host()); }));
    const std::string lp = local / "huge";
    w.state = 5;
    m.StartTransfer({{true, server->dir + "huge", lp, size, 0, size, false}}, 0);
    // Only the split is wanted from this run.
    m.AbortOperation();
    os::MessageLoop::ForThisThread().WaitUntil([&] { return w.failed > 0; }, 30000);
    ASSERT_EQ(w.failed, 1);
    ASSERT_EQ(w.runItems.size(), 3u);
    const std::pair<std::int64_t, std::int64_t> want[] = {{0, v}, {v, 2 * v}, {2 * v, size}};
    for (int g = 0; g < 3; ++g) {
        EXPECT_EQ(w.runItems[g].BeginPos, want[g].first);
        EXPECT_EQ(w.runItems[g].EndPos, want[g].second);
    }

    std::vector<TTransferFileInfo> q = w.runItems;
    for (auto& item : q) item.BeginPos = item.EndPos - tail;
    // The bytes before those positions count as on disk (holes read as the
    // server's holes); else the file would be fetched again from 0.
    ASSERT_EQ(::truncate(PartialFilePath(lp).c_str(), size), 0);
    w.state = 5;
    ASSERT_TRUE(w.Run([&] { m.StartTransfer(q, 1); }, 120000));
    const std::string log = server->Log();
    for (const auto& item : q) EXPECT_NE(log.find("REST " + std::to_string(item.BeginPos)), std::string::npos) << item.BeginPos;

    auto readAt = [](const std::string& path, std::int64_t at, std::size_t n) {
        std::string out(n, '\0');
        const int f = ::open(path.c_str(), O_RDONLY);
        const ssize_t got = f >= 0 ? ::pread(f, out.data(), n, at) : -1;
        if (f >= 0) ::close(f);
        out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return out;
    };
    for (const auto& item : q) {
        // The part's own bytes, up to its boundary, are the server's.
        EXPECT_EQ(readAt(lp, item.BeginPos, tail), readAt(remote, item.BeginPos, tail)) << item.EndPos;
        // Past a boundary: the server's bytes where written, else a hole.
        if (item.EndPos < size) {
            const std::string after = readAt(lp, item.EndPos, 4096), server4k = readAt(remote, item.EndPos, 4096);
            for (std::size_t i = 0; i < after.size(); ++i)
                if (after[i] != 0) {
                    ASSERT_EQ(after[i], server4k[i]) << "byte " << item.EndPos + static_cast<std::int64_t>(i);
                }
        }
    }
    EXPECT_EQ(GetLocalFileSize(lp), size);
}

INSTANTIATE_TEST_SUITE_P(Servers, EngineOnServer, ::testing::Values("vsftpd", "pyftpdlib", "portlorn"),
                         [](const auto& info) { return info.param; });

// Every way the client reaches a server, as the settings choose it, down and
// up over two connections with a split file: direct in passive and in active
// mode, through an FTP proxy, and through SOCKS 4, 4A, 5 and 5 with a user.
struct ConnectionCase {
    const char* name;
    const char* server;
    enum { Passive, Active, Proxy, Socks } how;
    SocksPeer::Kind socks;
    std::uint8_t socksType; // the setting: 2 SOCKS4, 3 SOCKS4A, 4 SOCKS5
};

void PrintTo(const ConnectionCase& c, std::ostream* os) { *os << c.name; }

class EngineConnectionTypes : public ::testing::TestWithParam<ConnectionCase> {};

TEST_P(EngineConnectionTypes, DownAndUpByteExact)
{
    const ConnectionCase& c = GetParam();
    auto server = StartEngineServer(c.server);
    ASSERT_TRUE(server->error.empty()) << server->error;
    std::unique_ptr<FtpProxyPeer> proxy;
    std::unique_ptr<SocksPeer> socks;
    HeadlessWindow w;
    w.settings.SplitNum = 2;
    w.settings.PasvMode = c.how != ConnectionCase::Active;
    THostInfo host = server->Host();
    if (c.how == ConnectionCase::Proxy) {
        proxy = std::make_unique<FtpProxyPeer>(server->port);
        ASSERT_TRUE(proxy->Ok()) << proxy->Error();
        w.settings.ProxySetting = {true, "127.0.0.1", std::to_string(proxy->Port()), "", "", 1};
    } else if (c.how == ConnectionCase::Socks) {
        socks = std::make_unique<SocksPeer>(c.socks);
        ASSERT_TRUE(socks->Error().empty()) << socks->Error();
        w.settings.SocksSetting = {true, "127.0.0.1", std::to_string(socks->Port()), socks->User(), socks->Password(),
                                   c.socksType};
        // 4A and 5 hand the name over for the SOCKS server to resolve.
        host.HostName = "localhost";
    }
    const std::map<std::string, std::string> files = {{"big", PatternBytes(2 * 1024 * 1024 + 5, 41)},
                                                      {"d/small", PatternBytes(1000, 42)}};
    for (const auto& [rel, data] : files) Put(*server, "src/" + rel, data);
    TempDir local;

    TFtpManager m(w);
    m.CreateConnections(2);
    m.SetSplitFileSize(1000000);
    w.state = 1;
    ASSERT_TRUE(w.Run([&] { m.ConnectHost(host); })) << "login failed: " << m.GetLastReply();
    w.state = 3;
    ASSERT_TRUE(w.Run([&] { m.ChangeRemoteDir(server->dir); }));
    std::vector<TGetFileInfo> found;
    w.state = 4;
    ASSERT_TRUE(w.Run([&] { m.ExpandRemoteDir("src", found); }));
    std::vector<TTransferFileInfo> down;
    for (const auto& f : found) {
        const std::string lp = ExpandedLocalPath(local.path(), m.GetRemoteDir(), f.FileName);
        down.push_back({true, f.FileName, lp, f.FileSize, 0, f.FileSize, false});
    }
    ASSERT_EQ(down.size(), files.size());
    w.state = 5;
    ASSERT_TRUE(w.Run([&] { m.StartTransfer(down, 0); }, 120000)) << m.GetLastReply();
    EXPECT_EQ(w.runItems.size(), 3u) << "the big file in two parts";
    for (const auto& [rel, data] : files) EXPECT_TRUE(HasBytes(local / ("src/" + rel), data));

    w.state = 8;
    ASSERT_TRUE(w.Run([&] { m.MakeRemoteDirs({"up/", "up/d"}); }));
    std::vector<TTransferFileInfo> up;
    for (const auto& [rel, data] : files) {
        const auto n = static_cast<std::int64_t>(data.size());
        up.push_back({false, server->dir + "up/" + rel, local / ("src/" + rel), n, 0, n, false});
    }
    w.state = 5;
    ASSERT_TRUE(w.Run([&] { m.StartTransfer(up, 0); }, 120000)) << m.GetLastReply();
    for (const auto& [rel, data] : files) EXPECT_TRUE(HasBytes(server->Local("up/" + rel), data));

    // It went the way chosen.
    const bool active = CountSent(w, "PORT") > 0, passive = CountSent(w, "PASV") > 0;
    EXPECT_EQ(active, c.how == ConnectionCase::Active);
    EXPECT_EQ(passive, c.how != ConnectionCase::Active);
    if (proxy) {
        EXPECT_GE(CountSent(w, "USER " + server->user + "@127.0.0.1:" + std::to_string(server->port)), 2)
            << "both connections logged in through the proxy";
    }
    if (socks && socks->ConnectionsMade() >= 0) {
        // slot 0: control, 2 listings, 2 data connections; slot 1: the same less the listings
        EXPECT_GE(socks->ConnectionsMade(), 6) << socks->Log();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ways, EngineConnectionTypes,
    ::testing::Values(ConnectionCase{"direct_passive", "pyftpdlib", ConnectionCase::Passive, SocksPeer::Dante, 0},
                      ConnectionCase{"direct_active", "vsftpd", ConnectionCase::Active, SocksPeer::Dante, 0},
                      ConnectionCase{"ftp_proxy", "pyftpdlib", ConnectionCase::Proxy, SocksPeer::Dante, 0},
                      ConnectionCase{"socks4_dante", "pyftpdlib", ConnectionCase::Socks, SocksPeer::Dante, 2},
                      ConnectionCase{"socks4a_ssh", "pyftpdlib", ConnectionCase::Socks, SocksPeer::SshDynamic, 3},
                      ConnectionCase{"socks5_dante", "pyftpdlib", ConnectionCase::Socks, SocksPeer::Dante, 4},
                      ConnectionCase{"socks5_user_microsocks", "pyftpdlib", ConnectionCase::Socks,
                                     SocksPeer::Microsocks, 4}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

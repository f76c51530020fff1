// The running queue journalled in oldquene.ini: on disk from the start of a
// run, never ahead of the bytes written (nor of those synced), gone when the
// run completes; and a bench_engine killed at any moment leaves a broken
// list that resumes byte-exact.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>

#include "client/engine/OldQuene.h"
#include "tests/client/engine/EngineServers.h"
#include "tests/client/engine/HeadlessWindow.h"
#include "tests/net/ftp/FakeFtpServer.h"
#include "tests/support/FtpServerPeers.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

// What the system was asked to make durable, seen from the calls
// themselves: per file, the size it had when a sync of it began; per
// folder, when it was last synced.
struct TSyncSeen {
    std::mutex mu;
    long seq = 0;
    std::map<std::pair<dev_t, ino_t>, std::pair<std::int64_t, long>> files; // size, seq it was reached
    std::map<std::pair<dev_t, ino_t>, long> folders;
    // Called with the journal's temporary file when it is synced, before
    // it replaces the journal.
    std::function<void(const std::string&)> onJournalSync;
    std::atomic<bool> watching{false}; // onJournalSync is set
    // A syncfs makes every file and folder below root durable, at the size
    // each had when it began.
    std::string root;
};
TSyncSeen& SyncSeen()
{
    static TSyncSeen seen;
    return seen;
}

int SeenSync(int fd, const char* name)
{
    using TSync = int (*)(int);
    static const auto fsyncReal = reinterpret_cast<TSync>(::dlsym(RTLD_NEXT, "fsync"));
    static const auto fdatasyncReal = reinterpret_cast<TSync>(::dlsym(RTLD_NEXT, "fdatasync"));
    struct stat st{};
    const bool known = ::fstat(fd, &st) == 0;
    auto& seen = SyncSeen();
    if (known && S_ISREG(st.st_mode) && seen.watching) {
        char link[4096];
        const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link, sizeof link - 1);
        const std::string path(link, n > 0 ? std::size_t(n) : 0);
        if (path.find("/oldquene.ini.") != std::string::npos && path.ends_with(".tmp")) seen.onJournalSync(path);
    }
    const int rc = std::string_view(name) == "fsync" ? fsyncReal(fd) : fdatasyncReal(fd);
    if (rc == 0 && known) {
        std::lock_guard lock(seen.mu);
        const auto key = std::make_pair(st.st_dev, st.st_ino);
        ++seen.seq;
        if (S_ISDIR(st.st_mode)) seen.folders[key] = seen.seq;
        else if (auto& f = seen.files[key]; std::int64_t(st.st_size) > f.first || f.second == 0)
            f = {std::int64_t(st.st_size), seen.seq};
    }
    return rc;
}

} // namespace

int SeenSyncfs(int fd)
{
    using TSync = int (*)(int);
    static const auto syncfsReal = reinterpret_cast<TSync>(::dlsym(RTLD_NEXT, "syncfs"));
    auto& seen = SyncSeen();
    std::vector<std::pair<struct stat, bool>> below; // what it covers, taken before it begins
    if (seen.watching && !seen.root.empty()) {
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(seen.root, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            struct stat st{};
            if (::stat(it->path().c_str(), &st) == 0) below.emplace_back(st, S_ISDIR(st.st_mode));
        }
        struct stat st{};
        if (::stat(seen.root.c_str(), &st) == 0) below.emplace_back(st, true);
    }
    const int rc = syncfsReal(fd);
    if (rc == 0) {
        std::lock_guard lock(seen.mu);
        ++seen.seq;
        for (const auto& [st, dir] : below) {
            const auto key = std::make_pair(st.st_dev, st.st_ino);
            if (dir) seen.folders[key] = seen.seq;
            else if (auto& f = seen.files[key]; std::int64_t(st.st_size) > f.first || f.second == 0)
                f = {std::int64_t(st.st_size), seen.seq};
        }
    }
    return rc;
}

extern "C" int fsync(int fd) { return SeenSync(fd, "fsync"); }
extern "C" int fdatasync(int fd) { return SeenSync(fd, "fdatasync"); }
extern "C" int syncfs(int fd) { return SeenSyncfs(fd); }

namespace {

// vsftpd holding each session to a rate, so a run lasts long enough to be
// looked at (or killed) part-way, with files below pub/ to fetch.
class SlowServer {
public:
    explicit SlowServer(int bytesPerSecond) : peer(RateCapConfig(bytesPerSecond, 60)) {}
    bool Ok() const { return peer.Ok(); }
    std::string Error() const { return peer.Error(); }
    void Put(const std::string& rel, const std::string& data)
    {
        const std::filesystem::path local = peer.Root() + "/pub/" + rel;
        std::filesystem::create_directories(local.parent_path());
        for (auto p = local.parent_path(); p.string().size() > peer.Root().size() + 4; p = p.parent_path())
            peer.Adopt(p.string());
        WriteFile(local.string(), data);
        peer.Adopt(local.string());
        files[rel] = data;
    }
    THostInfo Host() const { return {"127.0.0.1", std::to_string(peer.Port()), peer.User(), peer.Password()}; }
    std::string Url(const std::string& rel) const
    {
        return "ftp://" + peer.User() + ":" + peer.Password() + "@127.0.0.1:" + std::to_string(peer.Port()) + "/pub/" +
               rel;
    }

    VsftpdPeer peer;
    std::map<std::string, std::string> files; // below pub/
};

// Where the bytes of a local file are while it is being written: a split
// file's under its partial name.
std::string BytesOf(const std::string& path)
{
    return std::filesystem::exists(PartialFilePath(path)) ? ReadFile(PartialFilePath(path)) : ReadFile(path);
}

// Files under their own names that have their full size but not their bytes.
std::vector<std::string> LookCompleteButAreNot(const std::string& local, const std::map<std::string, std::string>& files)
{
    std::vector<std::string> bad;
    for (const auto& [rel, data] : files) {
        const std::string path = local + "/" + rel;
        struct stat st{};
        if (::stat(path.c_str(), &st) == 0 && std::uint64_t(st.st_size) == data.size() && ReadFile(path) != data)
            bad.push_back(rel);
    }
    return bad;
}

// Bytes a folder's files take on disk (holes of split files not counted).
std::int64_t BytesOnDisk(const std::string& dir)
{
    std::int64_t n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        struct stat st{};
        if (::stat(it->path().c_str(), &st) == 0 && S_ISREG(st.st_mode))
            n += std::min<std::int64_t>(st.st_size, std::int64_t(st.st_blocks) * 512);
    }
    return n;
}

std::vector<TOldQuene> Lists(const std::string& file)
{
    std::vector<TOldQuene> lists;
    LoadOldQuenes(file, lists);
    return lists;
}

} // namespace

// A server whose every RETR sends the first 1.5 MiB of what it was asked
// for (so the client's write-behind has put a part of it on disk) and then
// holds the rest until open is set (or a minute passed, the failure bound).
fakeftp::Step GatedServe(const fakeftp::Files& files, std::shared_future<void> open)
{
    auto rest = std::make_shared<std::int64_t>(0);
    return fakeftp::Serve(files, [files, open, rest](fakeftp::Session& s, const std::string& line) {
        if (line.rfind("REST ", 0) == 0) {
            *rest = std::atoll(line.c_str() + 5);
            s.Reply("350 Restarting at " + line.substr(5));
            return true;
        }
        if (line.rfind("RETR ", 0) != 0) return false;
        const auto it = files.find(line.substr(5));
        if (it == files.end()) return false;
        const std::string tail = it->second.substr(std::size_t(std::min<std::int64_t>(*rest, it->second.size())));
        *rest = 0;
        const std::size_t first = std::min<std::size_t>(tail.size(), 1536 * 1024);
        s.Reply("150 Opening BINARY mode data connection");
        s.OpenData();
        s.DataSend(tail.substr(0, first));
        if (first < tail.size()) {
            open.wait_for(std::chrono::minutes(1));
            s.DataSend(tail.substr(first));
        }
        s.CloseData();
        s.Reply("226 Transfer complete");
        return true;
    // On a loaded machine a session may wait long between its commands
    // while the others' parts are held: it must not end for that.
    }, 60000);
}

// Every version of the journal, as a crash would find it, holds the earlier
// list and the run's, with no position past the bytes written. The files
// stop part-way until a journal write has recorded positions that moved, so
// the test waits on what it checks, however slow the disk's syncs are.
TEST(EngineJournal, FollowsTheRunNeverAheadOfTheBytesWrittenAndLeavesWhenComplete)
{
    fakeftp::Files files;
    files["/j/big"] = PatternBytes(8000000, 21);
    for (int i = 0; i < 6; ++i) files["/j/s" + std::to_string(i)] = PatternBytes(300000 + i, 30 + i);
    std::promise<void> moved;
    std::shared_future<void> open = moved.get_future().share();
    std::vector<std::vector<fakeftp::Step>> scripts;
    for (int i = 0; i < 8; ++i) scripts.push_back({fakeftp::Welcome(), GatedServe(files, open)});
    fakeftp::FakeFtpServer server(scripts);
    TempDir local;
    HeadlessWindow w;
    w.brokenFile = local / "oldquene.ini";
    w.settings.SplitNum = 4;
    // The held files must not time out while the test waits for the journal.
    w.settings.Timeout = 120;
    // A list of an earlier run, which the journal must leave alone.
    TOldQuene earlier;
    earlier.DateTime = "earlier";
    earlier.Host = {"elsewhere.example.org", "21", "me", "secret"};
    earlier.Items.push_back({true, "/x", local / "x", 10, 4, 10, false});
    StoreOldQuene(w.brokenFile, earlier, TOldQueneStore::New);

    TFtpManager m(w);
    m.CreateConnections(4);
    m.SetSplitFileSize(1000000);
    w.state = 1;
    const THostInfo host{"127.0.0.1", std::to_string(server.Port()), "user", "pass"};
    ASSERT_TRUE(w.Run([&] { m.ConnectHost(host); }));
    std::vector<TTransferFileInfo> queue;
    for (const auto& [path, data] : files)
        queue.push_back({true, path, local / path.substr(1), std::int64_t(data.size()), 0, std::int64_t(data.size()), false});

    // Each journal write, looked at as its new file is made durable, before
    // it replaces the journal.
    std::mutex mu;
    int writes = 0, positions = 0;
    bool told = false;
    std::vector<std::string> faults;
    auto& seen = SyncSeen();
    seen.onJournalSync = [&](const std::string& temp) {
        const auto lists = Lists(temp);
        std::lock_guard lock(mu);
        ++writes;
        // The last write of a complete run takes the journal out.
        const bool complete = !w.runItems.empty() && w.completed.size() == w.runItems.size();
        if (complete && lists.size() == 1 && lists[0].DateTime == "earlier") return;
        if (lists.size() != 2 || lists[0].DateTime != "earlier" || lists[1].DateTime != m.GetRunListDateTime() ||
            !(lists[1].Host == host)) {
            faults.push_back("the file does not hold the earlier list and the journal");
            return;
        }
        // The first write is the run's queue as it starts.
        if (w.runItems.empty()) return;
        for (const auto& item : lists[1].Items) {
            // The part of the run's items this one is (split parts differ in their ends).
            auto part = std::find_if(w.runItems.begin(), w.runItems.end(), [&](const TTransferFileInfo& r) {
                return r.HostPath == item.HostPath && r.EndPos == item.EndPos;
            });
            if (part == w.runItems.end()) {
                faults.push_back("not an item of the run: " + item.HostPath);
                continue;
            }
            if (item.BeginPos == part->BeginPos) continue;
            ++positions;
            const std::string& data = files[item.HostPath];
            const std::string got = BytesOf(item.LocalPath);
            const auto from = std::size_t(part->BeginPos), to = std::size_t(item.BeginPos);
            if (item.BeginPos < part->BeginPos || got.size() < to ||
                got.compare(from, to - from, data, from, to - from) != 0)
                faults.push_back(item.HostPath + " recorded at " + std::to_string(item.BeginPos) +
                                 " past the bytes written");
        }
        if (positions > 0 && !told) {
            told = true;
            moved.set_value();
        }
    };
    seen.watching = true;
    w.state = 5;
    const bool done = w.Run([&] { m.StartTransfer(queue, 0); }, 180000);
    seen.watching = false;
    seen.onJournalSync = nullptr;
    {
        std::lock_guard lock(mu);
        if (!told) moved.set_value();
    }
    ASSERT_TRUE(done) << [&] {
        std::string text;
        for (const auto& line : w.log) text += line + "\n";
        return text;
    }();
    EXPECT_EQ(faults, std::vector<std::string>{});
    EXPECT_GT(writes, 1);
    EXPECT_GT(positions, 0) << "the positions were never written while the run went on";
    for (const auto& [path, data] : files) EXPECT_TRUE(HasBytes(local / path.substr(1), data)) << path;
    EXPECT_FALSE(std::filesystem::exists(PartialFilePath(local / "j/big")));
    // Complete: the journal is gone, the earlier list stays.
    const auto lists = Lists(w.brokenFile);
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0].DateTime, "earlier");
    EXPECT_EQ(lists[0].Items, earlier.Items);
}

// bench_engine killed (SIGKILL) at several moments of a run; --resume then
// finishes every file byte-exact and leaves no list.
TEST(EngineJournal, KilledAtAnyMomentTheRunResumesByteExact)
{
    SlowServer server(2000000);
    ASSERT_TRUE(server.Ok()) << server.Error();
    server.Put("c/big", PatternBytes(12000000, 41));
    server.Put("c/mid", PatternBytes(3000001, 42));
    for (int i = 0; i < 12; ++i) server.Put("c/d/s" + std::to_string(i), PatternBytes(150000 + 7 * i, 50 + i));
    std::int64_t total = 0;
    for (const auto& [rel, data] : server.files) total += std::int64_t(data.size());

    struct Moment {
        const char* name;
        double share; // of the bytes on disk; 0: as soon as the journal is there
    };
    for (const Moment moment : {Moment{"at the start", 0}, Moment{"a third in", 0.33}, Moment{"near the end", 0.8}}) {
        SCOPED_TRACE(moment.name);
        TempDir local, state;
        const std::string file = state / "oldquene.ini";
        ChildProcess run({BENCH_ENGINE, server.Url("c/"), "--local", local.path(), "--connections", "4", "--split", "4",
                          "--threshold", "1000000", "--state", state.path()},
                         state / "run.log");
        bool reached = false;
        for (int i = 0; i < 3000 && !reached && run.running(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            reached = !Lists(file).empty() && BytesOnDisk(local.path()) >= std::int64_t(moment.share * double(total));
        }
        ASSERT_TRUE(reached) << "the run ended first: " << ReadFile(state / "run.log");
        ASSERT_EQ(::kill(run.pid(), SIGKILL), 0);
        run.wait();

        std::map<std::string, std::string> landing; // as they land in the local folder
        for (const auto& [rel, data] : server.files) landing[rel.substr(2)] = data;
        EXPECT_EQ(LookCompleteButAreNot(local.path(), landing), std::vector<std::string>{});
        const auto lists = Lists(file);
        ASSERT_EQ(lists.size(), 1u) << "the killed run is one broken list";
        EXPECT_FALSE(lists[0].Items.empty());
        EXPECT_TRUE(lists[0].Host == server.Host());

        ChildProcess resume({BENCH_ENGINE, "--state", state.path(), "--resume", "--connections", "4"},
                            state / "resume.log");
        EXPECT_EQ(resume.wait(std::chrono::seconds(120)), 0) << ReadFile(state / "resume.log");
        for (const auto& [rel, data] : landing) EXPECT_TRUE(HasBytes(local / rel, data));
        for (const auto& [rel, data] : landing) EXPECT_FALSE(std::filesystem::exists(PartialFilePath(local / rel)));
        EXPECT_TRUE(Lists(file).empty());
    }
}

// A split file whose last part landed while an earlier one did not is not
// found under its own name at its full size: its bytes wait under the
// partial name until every part is in, and a resume finishes it.
TEST(EngineJournal, ASplitFileTakesItsNameOnlyWhenEveryPartLanded)
{
    auto server = StartEngineServer("vsftpd");
    ASSERT_TRUE(server->error.empty()) << server->error;
    const std::string data = PatternBytes(4000000, 61);
    WriteFile(server->Local("split"), data);
    server->Adopt(server->Local("split"));
    TempDir local, state;
    const std::string path = local / "split";
    const auto size = std::int64_t(data.size());
    HeadlessWindow w;
    w.brokenFile = state / "oldquene.ini";
    TFtpManager m(w);
    m.CreateConnections(1);
    w.state = 1;
    ASSERT_TRUE(w.Run([&] { m.ConnectHost(server->Host()); }));
    // A broken list of a split file, its last part first; the earlier part
    // is stopped once it moved.
    const std::vector<TTransferFileInfo> parts = {{true, server->dir + "split", path, size, size / 2, size, false},
                                                  {true, server->dir + "split", path, size, 0, size / 2, false}};
    std::function<void()> stopEarlierPart = [&] {
        w.onProgress = stopEarlierPart;
        if (w.completed.size() == 1 && BytesOf(path).size() == data.size()) {
            w.onProgress = nullptr;
            m.AbortOperation();
        }
    };
    w.onProgress = stopEarlierPart;
    w.state = 5;
    EXPECT_FALSE(w.Run([&] { m.StartTransfer(parts, 1); }));
    w.onProgress = nullptr;
    ASSERT_EQ(w.completed.size(), 1u);
    EXPECT_EQ(w.completed[0].BeginPos, size / 2);
    EXPECT_FALSE(std::filesystem::exists(path)) << "a file with a hole under its own name";
    const std::string partial = ReadFile(PartialFilePath(path));
    ASSERT_EQ(partial.size(), data.size());
    EXPECT_EQ(partial.substr(std::size_t(size / 2)), data.substr(std::size_t(size / 2)));
    auto lists = Lists(w.brokenFile);
    ASSERT_EQ(lists.size(), 1u);
    ASSERT_EQ(lists[0].Items.size(), 1u);
    EXPECT_EQ(lists[0].Items[0].EndPos, size / 2);

    // Resumed: the last part lands, the file takes its name.
    m.ClearUserAborted();
    w.resumedDateTime = lists[0].DateTime;
    EXPECT_TRUE(w.Run([&] { m.StartTransfer(lists[0].Items, 1); }));
    EXPECT_TRUE(HasBytes(path, data));
    EXPECT_FALSE(std::filesystem::exists(PartialFilePath(path)));
    EXPECT_TRUE(Lists(w.brokenFile).empty());
}

// A power cut loses what the page cache held: every journal write may count
// only bytes a sync made durable before it, and a finished file leaves the
// list only once its bytes and its name (its folder) were synced.
TEST(EngineJournal, RecordsOnlyBytesMadeDurableBeforeTheWrite)
{
    SlowServer server(600000);
    ASSERT_TRUE(server.Ok()) << server.Error();
    for (int i = 0; i < 2; ++i) server.Put("d/big" + std::to_string(i), PatternBytes(2500000 + i, 70 + i));
    for (int i = 0; i < 30; ++i) server.Put("d/small" + std::to_string(i), PatternBytes(20000 + i, 80 + i));
    TempDir local;
    HeadlessWindow w;
    w.brokenFile = local / "oldquene.ini";
    w.settings.EnableSplitDownload = false;
    TFtpManager m(w);
    m.CreateConnections(4);
    w.state = 1;
    ASSERT_TRUE(w.Run([&] { m.ConnectHost(server.Host()); }));
    std::vector<TTransferFileInfo> queue;
    for (const auto& [rel, data] : server.files)
        queue.push_back({true, "/pub/" + rel, local / rel, std::int64_t(data.size()), 0, std::int64_t(data.size()), false});

    int writes = 0, positions = 0, left = 0;
    std::vector<std::string> faults;
    auto& seen = SyncSeen();
    seen.onJournalSync = [&](const std::string& temp) {
        std::vector<TOldQuene> lists;
        LoadOldQuenes(temp, lists);
        ++writes;
        std::map<std::string, std::int64_t> listed;
        for (const auto& list : lists)
            for (const auto& item : list.Items) listed[item.HostPath] = item.BeginPos;
        std::lock_guard lock(seen.mu);
        for (const auto& item : queue) {
            struct stat st{}, dir{};
            const bool there = ::stat(item.LocalPath.c_str(), &st) == 0;
            const auto synced = there ? seen.files.find({st.st_dev, st.st_ino}) : seen.files.end();
            const std::int64_t durable = synced == seen.files.end() ? 0 : synced->second.first;
            const auto at = listed.find(item.HostPath);
            if (at != listed.end()) {
                if (at->second <= 0) continue;
                ++positions;
                if (at->second > durable)
                    faults.push_back(item.HostPath + " recorded at " + std::to_string(at->second) + ", synced " +
                                     std::to_string(durable));
                continue;
            }
            ++left;
            const std::string folder = std::filesystem::path(item.LocalPath).parent_path().string();
            const auto folderSeq = ::stat(folder.c_str(), &dir) == 0 ? seen.folders.find({dir.st_dev, dir.st_ino})
                                                                      : seen.folders.end();
            if (durable < item.FileSize)
                faults.push_back(item.HostPath + " left the list with " + std::to_string(durable) + " bytes synced");
            else if (folderSeq == seen.folders.end() || folderSeq->second < synced->second.second)
                faults.push_back(item.HostPath + " left the list before its folder was synced");
        }
    };
    seen.root = local.path();
    seen.watching = true;
    w.state = 5;
    const bool done = w.Run([&] { m.StartTransfer(queue, 0); }, 120000);
    seen.watching = false;
    seen.root.clear();
    seen.onJournalSync = nullptr;
    ASSERT_TRUE(done);
    for (const auto& [rel, data] : server.files) EXPECT_TRUE(HasBytes(local / rel, data));
    EXPECT_EQ(faults, std::vector<std::string>{});
    EXPECT_GT(writes, 2);
    EXPECT_GT(positions, 0) << "no position was recorded while the run went on";
    EXPECT_GE(left, int(queue.size())) << "the finished files never left the list";
    EXPECT_TRUE(Lists(w.brokenFile).empty());
}

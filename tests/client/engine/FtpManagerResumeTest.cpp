// A broken list resumed by bench_engine goes on only over the bytes of the
// file its earlier parts were written to, and ends at the remote file's
// size: a file moved, deleted or cut short since is fetched again from 0,
// every part of it, and says so; one that holds its bytes goes on where it
// stopped; one longer than the list says is cut at the end; an older copy
// under the file's own name never stands in for a split file's partial file.
#include <gtest/gtest.h>

#include <filesystem>

#include "client/engine/FtpManager.h"
#include "client/engine/OldQuene.h"
#include "tests/client/engine/EngineServers.h"
#include "tests/client/engine/HeadlessWindow.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

int Bench(const std::vector<std::string>& args, std::string& out)
{
    std::vector<std::string> argv = {BENCH_ENGINE};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCommand(argv, &out, std::chrono::minutes(3));
}

class EngineResume : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = StartEngineServer("pyftpdlib");
        if (!server->error.empty()) GTEST_SKIP() << server->error;
        for (const auto& [name, data] : {std::pair{"f.bin", &small}, std::pair{"big.bin", &big}}) {
            WriteFile(server->Local(name), *data);
            server->Adopt(server->Local(name));
        }
    }
    // bench_engine --resume over the broken lists in state; every list must
    // finish with path byte-exact and leave the file. The run's log.
    std::string Resume(const TempDir& state, const std::string& path, const std::string& want)
    {
        std::string out;
        const std::string log = state / "run.log";
        EXPECT_EQ(Bench({"--state", state.path(), "--resume", "--log", log}, out), 0) << out;
        EXPECT_TRUE(HasBytes(path, want)) << "no bytes but the server's, and all of them";
        EXPECT_FALSE(fs::exists(PartialFilePath(path)));
        std::vector<TOldQuene> left;
        LoadOldQuenes(state / "oldquene.ini", left);
        EXPECT_TRUE(left.empty());
        return ReadFile(log);
    }

    std::unique_ptr<EngineServer> server;
    const std::string small = PatternBytes(200000, 11), big = PatternBytes(400000, 12);
};

TEST_F(EngineResume, BytesGoneBeforeTheRestartPositionAreFetchedAgainFromZero)
{
    struct Case {
        const char* name;
        bool split;           // big.bin in two parts, else f.bin whole
        std::string onDisk;   // what the local file (or the split file's partial file) holds; "-": nothing
        bool again;           // fetched again from 0
    };
    const Case cases[] = {
        {"missing file", false, "-", true},
        {"short file", false, small.substr(0, 50000), true},
        {"split file, partial file gone", true, "-", true},
        {"split file, partial file short", true, big.substr(0, 150000), true},
        {"file that holds its bytes", false, small.substr(0, 100000), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir state;
        const std::string local = state / "down";
        fs::create_directories(local);
        const std::string name = c.split ? "big.bin" : "f.bin";
        const std::string& want = c.split ? big : small;
        const std::string path = local + "/" + name;
        TOldQuene list;
        list.DateTime = "2026-01-02 03:04:05";
        list.Host = server->Host();
        const std::string remote = server->dir + name;
        if (c.split) {
            list.Items = {{true, remote, path, 400000, 100000, 200000, false},
                          {true, remote, path, 400000, 300000, 400000, false}};
            if (c.onDisk != "-") WriteFile(PartialFilePath(path), c.onDisk);
        } else {
            list.Items = {{true, remote, path, 200000, 100000, 200000, false}};
            if (c.onDisk != "-") WriteFile(path, c.onDisk);
        }
        StoreOldQuene(state / "oldquene.ini", list, TOldQueneStore::New);

        const std::string text = Resume(state, path, want);
        EXPECT_EQ(text.find("fetched again from 0") != std::string::npos, c.again) << text;
        EXPECT_EQ(text.find("REST 100000") != std::string::npos, !c.again) << "resumed where it stopped";
    }
}

// The last part of f.bin (200,000 bytes) from 100,000, over a local file
// that holds the right first bytes and more than the list says: the part
// goes on where it stopped and the file ends where the server's does.
TEST_F(EngineResume, ALocalFileLongerThanTheListSaysEndsAtTheRemoteSize)
{
    const std::string junk = PatternBytes(200000, 99);
    struct Case {
        const char* name;
        std::string onDisk;
    };
    const Case cases[] = {
        {"the bytes before the position, then 200,000 more", small.substr(0, 100000) + junk},
        {"the whole file, then 50,000 more", small + junk.substr(0, 50000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir state;
        const std::string path = state / "f.bin";
        WriteFile(path, c.onDisk);
        TOldQuene list;
        list.DateTime = "2026-01-02 03:04:05";
        list.Host = server->Host();
        list.Items = {{true, server->dir + "f.bin", path, 200000, 100000, 200000, false}};
        StoreOldQuene(state / "oldquene.ini", list, TOldQueneStore::New);

        const std::string text = Resume(state, path, small);
        EXPECT_NE(text.find("REST 100000"), std::string::npos) << "resumed where it stopped\n" << text;
    }
}

// big.bin split in two over one connection and stopped by the user 50,000
// bytes into its first part (both parts left), or into its last part once
// the first landed (only the last part left). Its partial file is then lost, and an older copy of the
// file of the full size lies under its own name. Resumed, the file is
// fetched again from 0 and ends byte-exact: the older copy's bytes never
// stand in for the earlier parts'.
TEST_F(EngineResume, AnOlderCopyNeverStandsInForASplitFilesLostPartialFile)
{
    const std::string older = PatternBytes(big.size(), 77);
    for (const std::size_t partsLanded : {0u, 1u}) {
        SCOPED_TRACE(std::to_string(partsLanded) + " part(s) landed");
        TempDir state;
        const std::string path = state / "big.bin";
        {
            HeadlessWindow w;
            w.brokenFile = state / "oldquene.ini";
            w.settings.EnableSplitDownload = true;
            w.settings.SplitNum = 2;
            TFtpManager m(w);
            m.SetSplitFileSize(100000);
            m.CreateConnections(1);
            w.state = 1;
            ASSERT_TRUE(w.Run([&] { m.ConnectHost(server->Host()); }));
            std::function<void()> stop = [&] {
                w.onProgress = stop;
                if (w.completed.size() < partsLanded || m.Client(0)->TransferredBytes() < 50000) return;
                w.onProgress = nullptr;
                m.AbortOperation();
            };
            w.onProgress = stop;
            w.state = 5;
            const auto size = std::int64_t(big.size());
            EXPECT_FALSE(w.Run([&] { m.StartTransfer({{true, server->dir + "big.bin", path, size, 0, size, false}}, 0); }));
            ASSERT_TRUE(w.lastEnded);
            ASSERT_EQ(w.runItems.size(), 2u) << "split in two";
            ASSERT_EQ(w.completed.size(), partsLanded);
        }
        std::vector<TOldQuene> lists;
        LoadOldQuenes(state / "oldquene.ini", lists);
        ASSERT_EQ(lists.size(), 1u);
        ASSERT_EQ(lists[0].Items.size(), 2 - partsLanded);
        ASSERT_TRUE(fs::remove(PartialFilePath(path))) << "the run wrote under the partial name";
        WriteFile(path, older);

        const std::string text = Resume(state, path, big);
        EXPECT_NE(text.find("fetched again from 0"), std::string::npos) << text;
    }
}

} // namespace

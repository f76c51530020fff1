// A broken list resumed when the bytes before its restart positions are no
// longer on disk (the file moved, deleted or cut short): bench_engine fetches
// such a file again from 0, every part of it, says so, and never writes past
// a hole; a file that still holds its bytes goes on where it stopped.
#include <gtest/gtest.h>

#include <filesystem>

#include "client/engine/FtpManager.h"
#include "client/engine/OldQuene.h"
#include "tests/client/engine/EngineServers.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

int Bench(const std::vector<std::string>& args, std::string& out)
{
    std::vector<std::string> argv = {BENCH_ENGINE};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCommand(argv, &out, std::chrono::minutes(3));
}

TEST(EngineResume, BytesGoneBeforeTheRestartPositionAreFetchedAgainFromZero)
{
    auto server = StartEngineServer("pyftpdlib");
    ASSERT_TRUE(server->error.empty()) << server->error;
    const std::string small = PatternBytes(200000, 11), big = PatternBytes(400000, 12);
    WriteFile(server->Local("f.bin"), small);
    WriteFile(server->Local("big.bin"), big);
    server->Adopt(server->Local("f.bin"));
    server->Adopt(server->Local("big.bin"));

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

        std::string out;
        const std::string log = state / "run.log";
        EXPECT_EQ(Bench({"--state", state.path(), "--resume", "--log", log}, out), 0) << out;
        EXPECT_TRUE(HasBytes(path, want)) << "no zeros where bytes were gone";
        EXPECT_FALSE(fs::exists(PartialFilePath(path)));
        std::vector<TOldQuene> left;
        LoadOldQuenes(state / "oldquene.ini", left);
        EXPECT_TRUE(left.empty());
        const std::string text = ReadFile(log);
        EXPECT_EQ(text.find("fetched again from 0") != std::string::npos, c.again) << text;
        EXPECT_EQ(text.find("REST 100000") != std::string::npos, !c.again) << "resumed where it stopped";
    }
}

} // namespace

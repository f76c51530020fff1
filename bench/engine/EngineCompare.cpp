// bench_engine_compare: one run against vsftpd on loopback, bench_engine
// beside lftp.
//  1. vsftpd capped at 32 MiB/s per connection (anon_max_rate, as many
//     servers cap each connection): a 128 MiB file over 1 connection, over
//     4 connections split in 4, and with `lftp pget -n 4`.
//  2. vsftpd uncapped: a tree of 500 files of 8 KiB over 4 connections, and
//     with `lftp mirror --parallel=4`.
// Every download is compared with its source. The machine may be busy with
// other work: each measurement runs --rounds times (3 unless given), the
// order of the programs turned round every round, and the medians count.
// Exits 0 when the engine met its targets: 4 connections at least 2x faster
// than 1 and within 10% of pget; the tree at least as fast as mirror.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/engine/BenchRuns.h"
#include "tests/support/FtpServerPeers.h"

#ifndef BENCH_ENGINE
#error BENCH_ENGINE must name the bench_engine program
#endif

using namespace testsupport;

using namespace benchruns;

namespace {

double EngineRun(const std::vector<std::string>& args) { return benchruns::EngineRun(BENCH_ENGINE, args); }

} // namespace

int main(int argc, char** argv)
{
    const int rounds = ParseRounds(argc, argv, "usage: bench_engine_compare [--rounds N]");
    if (rounds < 0) return 2;
    bool ok = true;
    TempDir work;
    const std::string lftpSet = "set net:max-retries 1; set cmd:fail-exit yes; set ftp:passive-mode on; ";
    {
        VsftpdPeer capped("\nanon_max_rate=33554432\n");
        if (!capped.Ok()) {
            std::fprintf(stderr, "vsftpd: %s\n", capped.Error().c_str());
            return 1;
        }
        const std::string src = capped.Root() + "/pub/big128";
        {
            const std::string block = PatternBytes(1 << 20, 42);
            std::FILE* f = std::fopen(src.c_str(), "wb");
            for (int i = 0; i < 128; ++i) std::fwrite(block.data(), 1, block.size(), f);
            std::fclose(f);
        }
        capped.Adopt(src);
        const std::string url = "ftp://127.0.0.1:" + std::to_string(capped.Port()) + "/pub/big128";
        std::printf("128 MiB, each connection capped at 32 MiB/s, %d rounds:\n", rounds);
        const std::string pgetCmd = lftpSet + "open -u anonymous,bench@example.org 127.0.0.1:" +
                                    std::to_string(capped.Port()) + "; pget -n 4 /pub/big128 -o ";
        // Each download is compared with the source, then goes.
        auto checked = [&](const std::string& dir, double seconds) {
            if (ReadFile(work / (dir + "/big128")) != ReadFile(src)) {
                std::fprintf(stderr, "%s: the download differs from the source\n", dir.c_str());
                ok = false;
            }
            std::filesystem::remove_all(work / dir);
            return seconds;
        };
        const auto t = Interleaved(rounds, {
            [&](int) { return checked("one", EngineRun({url, "--local", work / "one", "--connections", "1", "--split", "1"})); },
            [&](int) { return checked("four", EngineRun({url, "--local", work / "four", "--connections", "4", "--split", "4"})); },
            [&](int) {
                std::filesystem::create_directories(work / "pget");
                const double s = Timed({"lftp", "-c", pgetCmd + (work / "pget/big128")});
                std::printf("  lftp pget -n 4: %.3f s\n", s);
                return checked("pget", s);
            },
        });
        const double one = Median(t[0]), four = Median(t[1]), pget = Median(t[2]);
        std::printf("  runs (s): 1 connection %s; 4 connections %s; pget %s\n", Figures(t[0]).c_str(),
                    Figures(t[1]).c_str(), Figures(t[2]).c_str());
        const bool twice = one > 0 && four > 0 && one >= 2 * four;
        const bool nearPget = four > 0 && pget > 0 && four <= pget * 1.10;
        std::printf("  medians: 1 connection %.3f s, 4 connections %.3f s (%.2fx), pget %.3f s (engine/pget %.2f): %s, %s\n", one,
                    four, four > 0 ? one / four : 0.0, pget, pget > 0 ? four / pget : 0.0,
                    twice ? "2x met" : "2x MISSED", nearPget ? "within 10% of pget" : "NOT within 10% of pget");
        ok = ok && twice && nearPget;
    }
    {
        const TreeServer plain("", 500, 10, 8192, 1);
        if (!plain.Ok()) return 1;
        const std::string& tree = plain.Tree();
        std::printf("500 files of 8 KiB, uncapped, %d rounds:\n", rounds);
        const std::string mirrorCmd = lftpSet + "open -u anonymous,bench@example.org 127.0.0.1:" +
                                      std::to_string(plain.Port()) + "; mirror --parallel=4 /pub/tree ";
        auto checked = [&](const std::string& dir, double seconds) {
            if (!SameTree(tree, work / dir)) {
                std::fprintf(stderr, "%s: the tree download differs from the source\n", dir.c_str());
                ok = false;
            }
            std::filesystem::remove_all(work / dir);
            return seconds;
        };
        const auto t = Interleaved(rounds, {
            [&](int) { return checked("tree", EngineRun({plain.Url(), "--local", work / "tree", "--connections", "4"})); },
            [&](int) {
                const double s = Timed({"lftp", "-c", mirrorCmd + (work / "mirror")});
                std::printf("  lftp mirror --parallel=4: %.3f s\n", s);
                return checked("mirror", s);
            },
        });
        const double engine = Median(t[0]), mirror = Median(t[1]);
        std::printf("  runs (s): engine %s; mirror %s\n", Figures(t[0]).c_str(), Figures(t[1]).c_str());
        const bool asFast = engine > 0 && mirror > 0 && engine <= mirror;
        std::printf("  medians: engine %.3f s, mirror %.3f s: %s\n", engine, mirror, asFast ? "as fast or faster" : "SLOWER");
        ok = ok && asFast;
    }
    std::printf("%s\n", ok ? "targets met" : "targets missed");
    return ok ? 0 : 1;
}

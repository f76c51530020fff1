// bench_engine_journal: what the running queue's journal costs. A tree of
// 5,000 files of 2 KiB on vsftpd (loopback) goes over 8 connections three
// ways, in turned order each round (--rounds, 3 unless given): bench_engine
// with --state (the journal, as the window always runs), bench_engine
// without it, and `lftp mirror --parallel=8`. Every download is compared
// with its source; a run with --state must leave no list behind. Prints
// each run's seconds and the medians; exits 0 when the journal costs at
// most 10 % and the engine with it is at least as fast as mirror.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/engine/BenchRuns.h"
#include "client/engine/OldQuene.h"

#ifndef BENCH_ENGINE
#error BENCH_ENGINE must name the bench_engine program
#endif

using namespace testsupport;
using namespace benchruns;

int main(int argc, char** argv)
{
    const int rounds = ParseRounds(argc, argv, "usage: bench_engine_journal [--rounds N]");
    if (rounds < 0) return 2;
    const TreeServer server(ManySessionsConfig(100, 200), 5000, 20, 2048, 3);
    if (!server.Ok()) return 1;
    const std::string& tree = server.Tree();
    const std::string& url = server.Url();
    const std::string mirrorCmd =
        "set net:max-retries 1; set cmd:fail-exit yes; set ftp:passive-mode on; open -u anonymous,bench@example.org "
        "127.0.0.1:" + std::to_string(server.Port()) + "; mirror --parallel=8 /pub/tree ";
    // The local folders live where the program's own files would: on disk,
    // so that durability costs what it costs there.
    TempDir work;
    // Each run starts on a file system with nothing left to write back: the
    // runs before it (their files, and the removal of them) are not one
    // run's cost, whichever comes next.
    auto settle = [&] {
        const int fd = ::open(work.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::syncfs(fd);
            ::close(fd);
        }
    };
    bool ok = true;
    auto checked = [&](const std::string& dir, double seconds) {
        if (seconds >= 0 && !SameTree(tree, work / dir)) {
            std::fprintf(stderr, "%s: the download differs from the source\n", dir.c_str());
            ok = false;
        }
        if (seconds < 0) ok = false;
        std::filesystem::remove_all(work / dir);
        settle();
        return seconds;
    };
    settle();
    std::printf("5000 files of 2 KiB on vsftpd over 8 connections, %d rounds:\n", rounds);
    const auto t = Interleaved(rounds, {
        [&](int) {
            const std::string state = work / "state";
            std::filesystem::create_directories(state);
            const double s = EngineRun(BENCH_ENGINE, {url, "--local", work / "journal", "--connections", "8", "--state", state});
            std::vector<TOldQuene> left;
            LoadOldQuenes(state + "/oldquene.ini", left);
            if (!left.empty()) {
                std::fprintf(stderr, "a complete run left %zu list(s) in oldquene.ini\n", left.size());
                ok = false;
            }
            std::filesystem::remove_all(state);
            return checked("journal", s);
        },
        [&](int) { return checked("plain", EngineRun(BENCH_ENGINE, {url, "--local", work / "plain", "--connections", "8"})); },
        [&](int) {
            const double s = Timed({"lftp", "-c", mirrorCmd + (work / "mirror")});
            std::printf("  lftp mirror --parallel=8: %.3f s\n", s);
            return checked("mirror", s);
        },
    });
    const double journal = Median(t[0]), plain = Median(t[1]), mirror = Median(t[2]);
    std::printf("  runs (s): --state %s; without %s; mirror %s\n", Figures(t[0]).c_str(), Figures(t[1]).c_str(),
                Figures(t[2]).c_str());
    const bool near = journal > 0 && plain > 0 && journal <= plain * 1.10;
    const bool asFast = journal > 0 && mirror > 0 && journal <= mirror;
    std::printf("  medians: --state %.3f s, without %.3f s (%.2fx), mirror %.3f s (--state/mirror %.2f): %s, %s\n",
                journal, plain, plain > 0 ? journal / plain : 0.0, mirror, mirror > 0 ? journal / mirror : 0.0,
                near ? "journal within 10%" : "journal NOT within 10%",
                asFast ? "as fast as mirror or faster" : "SLOWER than mirror");
    ok = ok && near && asFast;
    std::printf("%s\n", ok ? "targets met" : "targets missed");
    return ok ? 0 : 1;
}

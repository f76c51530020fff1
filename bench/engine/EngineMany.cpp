// bench_engine_many: bench_engine over many connections at once against
// vsftpd on loopback, whose listen backlog (32) is far below the number of
// connections that open together: slots that get no greeting must cost a
// time-out, never the run. A tree of 1,020 files of 32 KiB goes over 128
// and over 255 connections, --rounds times each (3 unless given); every run
// must end complete and byte-exact. Prints each run's seconds and the
// medians; exits 0 when every run was complete and exact.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/engine/BenchRuns.h"

#ifndef BENCH_ENGINE
#error BENCH_ENGINE must name the bench_engine program
#endif

using namespace testsupport;
using namespace benchruns;

int main(int argc, char** argv)
{
    const int rounds = ParseRounds(argc, argv, "usage: bench_engine_many [--rounds N]");
    if (rounds < 0) return 2;
    const TreeServer server(ManySessionsConfig(600, 2000), 1020, 12, 32768, 7);
    if (!server.Ok()) return 1;
    const std::string& tree = server.Tree();
    const std::string& url = server.Url();
    TempDir work;
    bool ok = true;
    std::printf("1020 files of 32 KiB on vsftpd (listen backlog 32), %d rounds:\n", rounds);
    for (const int connections : {128, 255}) {
        std::vector<double> seconds;
        for (int r = 0; r < rounds; ++r) {
            const std::string local = work / ("many" + std::to_string(connections));
            const double s = EngineRun(BENCH_ENGINE, {url, "--local", local, "--connections", std::to_string(connections)});
            if (s >= 0 && !SameTree(tree, local)) {
                std::fprintf(stderr, "%d connections: the download differs from the source\n", connections);
                ok = false;
            }
            if (s < 0) ok = false;
            seconds.push_back(s);
            std::filesystem::remove_all(local);
        }
        std::printf("  %d connections: runs (s) %s; median %.3f s\n", connections, Figures(seconds).c_str(),
                    Median(seconds));
    }
    std::printf("%s\n", ok ? "every run complete and byte-exact" : "a run FAILED");
    return ok ? 0 : 1;
}
